// The operator's keys and mouse wheel on the control panel, and the ways into
// the frequency box: a message-filter hook on the panel's thread sees the
// panel's messages before its dialog loop does, from the panel's start to
// its end. Every key, notch or entry acts through the panel's own commands.
#pragma once

#include <windows.h>

void startPanelInput(HWND panel);

// Whether the message the panel's thread is handling now is the operator's
// own press of `control`: a mouse button on it, or Space while it has the
// focus. A button clicked any other way (BM_CLICK, WM_COMMAND sent to the
// panel, Windows clicking a radio button that gets the focus) is not.
bool isOperatorsPress(HWND control);

// Ends the input of `panel`; nothing when another panel reads it.
void stopPanelInput(HWND panel);
