// The panel's radio buttons as two keyboard groups. The template gives each
// radio button a group of its own and no tab stop, so the keyboard never
// reaches "Rev dup", "Simplex" or "25 KHz". The panel regroups them when it
// opens (the template stays as it is): the spacing buttons and the working
// buttons are each one group, Tab lands on the marked button of each and
// changes nothing, and the arrows move within a group, selecting as a click
// does.
#pragma once

#include <windows.h>

void groupRadioButtons(HWND dialog);

// Whether `control` is one of the radio buttons of `dialog`'s two groups.
bool isGroupedRadioButton(HWND dialog, HWND control);
