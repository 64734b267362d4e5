// The operator's keys and mouse wheel on the control panel, and the ways into
// the frequency box: a message-filter hook on the panel's thread sees the
// panel's messages before its dialog loop does, from the panel's start to
// its end. Every key, notch or entry acts through the panel's own commands.
#pragma once

#include <windows.h>

void startPanelInput(HWND panel);
// Ends the input of `panel`; nothing when another panel reads it.
void stopPanelInput(HWND panel);
