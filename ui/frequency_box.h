// The frequency box (dialog IDD_FREQUENCY_BOX): one field in which the
// operator types a frequency, OK and Cancel, and a line under the field that
// says what OK would give, or why it would change nothing. OK selects the
// channel typed as "[" and "]" select theirs.
#pragma once

#include <windows.h>

// Opens the box over `panel` with `text` in its field, selected whole when
// `selectAll`, the caret after it otherwise. Modal: returns once it is
// closed. The panel's timer goes on ticking meanwhile, so the caller must
// not hold the panel (panelIsBusy).
void openFrequencyBox(HWND panel, const char *text, bool selectAll);
