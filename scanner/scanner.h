// The scanner: driven by the panel's 10 ms tick, it steps through the scan range
// and stops on busy channels by the jump and halt rules and the watch channel.
#pragma once

#include <cstddef>

#include "radio/platform_seam.h"
#include "radio/port_protocol.h"

enum ScannerState : int {
    ScanOff = 1,
    ScanJump = 2,
    ScanHalt = 3,
};

constexpr int stepDwell = 5;   // 60 ms per free channel
constexpr int jumpHold = 100;  // 1.01 s on a busy channel under the jump rule
constexpr int haltHold = 500;  // 5.01 s on a busy channel under the halt rule

constexpr int scannerDisplayId = 2101;

// An operator who keys during a scan answers the station just heard, which the
// scan has often left by then (a Halt scan leaves a channel the moment its
// station stops; Jump leaves after its hold even while the station speaks).
// Keyed within this many ticks (5 s) of the scan leaving the channel it last
// stopped on for a signal, the keyed stop goes back there.
constexpr int answerWindow = 500;

// The channel the scan last stopped on for a signal (a halt, a jump hold, a
// busy watch channel), and the ticks since the scan left it, as the next tick
// counts them. Forgotten when the scanner is off and when the operator moves
// the scan to another channel.
struct HeardStop {
    int channel = 0;          // 0: none
    int ticksSinceLeft = -1;  // -1 while the scan stands on it; counts up to answerWindow + 1
    int scanChannel = 0;      // `channel` as the scanner's last tick left it
};
extern HeardStop heardStop;

void forgetHeardStop();

// Where a key-up would stop the scan, and how it would transmit there, were
// the line to read keyed now: back on the station the scan last stopped on
// when it left that within answerWindow ticks (and the operator has not moved
// the scan since, the station is not locked out, and its transmit channel
// lies in the band); otherwise where the scan stands. Duplex on a repeater
// output, simplex anywhere else. The keyed stop and the TX line of the
// frequency display while scanning both take it from here.
KeyedChoice keyedStopChoice();

// One tick of the panel's 10 ms timer. Scanner off: follow the transmitter.
// Scanning: sample the transmit line first; keyed stops the scan
// (stopScanForTransmit), otherwise one scanner tick.
void onTimerTick(PanelWindow window);
// The scanner off: channel n through the gate, and both displays rewritten
// when the transmit line has changed since it was last read.
void retune(int n, PanelWindow window);
// The scanner's stop, as the Scan button makes it: scanState Off, the channel's
// own working marked, the scanner display "Mode: Off".
void stopScan(PanelWindow window);
// The scan stopped by keying, and the transmit channel loaded at once: the
// keyedStopChoice, the dwell and jump fields back at their start values, so
// the next Scan starts afresh.
void stopScanForTransmit(PanelWindow window);
// One scanner tick. Every load it makes goes through the gate; a load that
// finds the line keyed ends the tick in the keyed stop instead.
void scanTick(PanelWindow window);
// The Scan button has just started the scan: standing outside the range, or
// on a locked-out channel, the scan goes at once to the first channel it
// scans (from the range's lower end when outside). With no channel of the
// range to scan the scanner stays off.
void startScan(PanelWindow window);
// The running scan moves on from its channel at once (the Mode button).
void advanceScan(PanelWindow window);

void formatScannerStatus(char *buffer, size_t size);
void showScannerStatus(PanelWindow window);
// The channel the frequency display's TX line names: with the scanner off the
// selected channel's transmit channel; while it runs, where a key-up would
// transmit (keyedStopChoice). The display's colour and tip follow it too.
int shownTransmitChannel();
// The frequency display: with the scanner off, the selected channel's RX and
// TX; while it runs, the TX line names where a key-up would transmit.
void showFrequencyDisplay(PanelWindow window);
