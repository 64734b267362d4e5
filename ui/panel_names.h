// Names for screen readers. A button whose caption is a symbol ("<", "«",
// "[") is read out by its symbol; each is given a name that says what it
// does, by Dynamic Annotation: Windows' own accessibility proxy serves the
// name to every client and everything else about the button stays Windows'.
// A failure anywhere (no service, as on Wine or older Windows) leaves the
// buttons as they were.
#pragma once

#include <windows.h>

#include <oleacc.h>

// Names the panel's symbol buttons; the first time, starts COM on the thread
// for the rest of the run.
void namePanelButtons(HWND dialog);

// Takes the names back and releases the service; COM stays.
void clearPanelNames(HWND dialog);

// Ends COM where the names started it; once, when no panel is left to open.
void endPanelNaming();

// Makes the annotation service: CoCreateInstance of the accessibility
// property services. A slot, so that tests can record what the panel asks of
// the service.
extern HRESULT (*createNameService)(IAccPropServices **service);
