// What the control panel's buttons do to the radio and the displays. Kept free
// of the window system so the same handlers run in the host tests.
#pragma once

#include <cstddef>

#include "radio/platform_seam.h"

// Back to home: channel 432 selected, duplex, 600 kHz shift, scanner off,
// channel memory refilled, and the home channel loaded through the gate after
// a look at the transmit line: 432 to listen on, 384 (its transmit channel)
// while keyed.
void resetPanel(PanelWindow window);

// The panel's initialisation after its brushes exist and before its timer runs.
void initialisePanel(PanelWindow window);

// The panel does one thing at a time. A port library may pump the thread's
// messages inside PortIn or PortOut (a message box of its own, say), and so
// dispatch the panel's timer or a button in the middle of a load, between its
// data and its control write. A tick that comes while a tick, a command or the
// panel's start is running returns at once and touches nothing: the next one
// comes 10 ms later. A command that comes then waits, and runs as soon as what
// was running has finished, in the order the commands came.
constexpr int maxWaitingCommands = 32;  // beyond these, a command that must wait is dropped

// One tick of the panel's timer.
void onPanelTick(PanelWindow window);

// One WM_COMMAND of the panel, by control identifier (IDOK and IDCANCEL are
// the dialog procedure's own).
void onPanelCommand(PanelWindow window, int id);

// A band channel the operator typed, selected as "[" and "]" select theirs:
// the scanner display, then the frequency display are written, and the next
// tick loads it. It waits as a command does while the panel is busy; a channel
// outside the band changes nothing.
void onPanelChannelEntered(PanelWindow window, int channel);

// Whether a tick, a command or the panel's start is running. Anything that
// runs a message loop of its own for the operator (a box) must not start
// then: every tick would be dropped while it is up.
bool panelIsBusy();

// "- %.1fKHz" of the shift in kilohertz.
void formatShift(char *buffer, size_t size, int shiftChannels);
