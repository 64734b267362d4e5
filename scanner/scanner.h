// The scanner: driven by the panel's 10 ms tick, it steps through the scan range
// and stops on busy channels by the jump and halt rules and the watch channel.
#pragma once

#include <cstddef>

#include "radio/platform_seam.h"

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
// busy watch channel), and the ticks since the scan left it. Forgotten when
// the scanner is off and when the operator moves the scan to another channel.
struct HeardStop {
    int channel = 0;          // 0: none
    int ticksSinceLeft = -1;  // -1 while the scan stands on it; counts up to answerWindow + 1
    int scanChannel = 0;      // `channel` as the scanner's last tick left it
};
extern HeardStop heardStop;

void forgetHeardStop();

// One tick of the panel's 10 ms timer. Scanner off: follow the transmitter.
// Scanning: sample the transmit line first; keyed stops the scan
// (stopScanForTransmit), otherwise one scanner tick.
void onTimerTick(PanelWindow window);
// The scanner's stop, as the Scan button makes it: scanState Off, the channel's
// own working marked, the scanner display "Mode: Off".
void stopScan(PanelWindow window);
// The scan stopped by keying, and the transmit channel loaded at once: duplex
// on a repeater output, simplex elsewhere (repeater inputs too), and the dwell
// and jump fields back at their start values, so the next Scan starts afresh.
// It stops on the channel the scan stands on, or on the one it last stopped on
// for a signal when it left that within answerWindow ticks.
void stopScanForTransmit(PanelWindow window);
void scanTick(PanelWindow window);
int checkWatchChannel(int w);
void advanceScan();

void formatScannerStatus(char *buffer, size_t size);
void showScannerStatus(PanelWindow window);
