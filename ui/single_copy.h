// One copy of the program drives the transceiver at a time. The parallel port
// has no owner of its own, as a COM port has: two copies would interleave their
// data and control bytes and load channels that neither chose. The running copy
// holds a named mutex, machine-wide, for as long as its process lives; Windows
// drops it when the process ends, however it ends.
#pragma once

#include <windows.h>

// The claim's name: the port is one per PC, whatever user or session runs us.
constexpr char transceiverClaimName[] = "Global\\QD7150-Control.Transceiver";

extern HANDLE transceiverClaim;  // our claim on the port; empty until taken, never closed

// Takes the claim. Returns 1 when this process holds it (already held counts),
// 0 when another copy holds it.
int claimTransceiver();

// For a copy that found the claim taken: brings the running copy's control
// panel (or else its main window, restored) to the front; when no window of it
// shows on this desktop, says in a message box that it is already running.
void showRunningCopy();
