// What the control panel's buttons do to the radio and the displays. Kept free
// of the window system so the same handlers run in the host tests.
#pragma once

#include <cstddef>

#include "radio/platform_seam.h"

// Back to home: channel 432 loaded and selected, duplex, 600 kHz shift, scanner
// off, channel memory refilled.
void resetPanel(PanelWindow window);

// The panel's initialisation after its brushes exist and before its timer runs.
void initialisePanel(PanelWindow window);

// One WM_COMMAND of the panel, by control identifier (IDOK and IDCANCEL are
// the dialog procedure's own).
void onPanelCommand(PanelWindow window, int id);

// "- %.1fKHz" of the shift in kilohertz.
void formatShift(char *buffer, size_t size, int shiftChannels);
