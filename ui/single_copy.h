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
// 0 when another copy holds it, or the claim cannot be made at all (the name
// taken by an object of another kind): that counts as taken too.
int claimTransceiver();

// The box a copy shows when it cannot load io.dll, before its main window.
constexpr char libraryBoxCaption[] = "error";
constexpr char libraryBoxText[] = "can't initiate io.dll";

// For a copy that found the claim taken. Looks for the running copy for a
// while, trying the claim again at every look: returns 1 as soon as the claim
// is ours (the copy that held it has ended), and the program then starts as
// any first copy does. Otherwise brings the running copy's control panel (its
// frequency box while that is open; or else its main window, restored, or its
// io.dll box) to the front and returns 0; when no window of it shows on this
// desktop, says in a message box that it is already running, then returns 0.
int awaitClaimOrShowRunningCopy();
