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
void stopScanForTransmit(PanelWindow window);
void scanTick(PanelWindow window);
int checkWatchChannel(int w);
void advanceScan();

void formatScannerStatus(char *buffer, size_t size);
void showScannerStatus(PanelWindow window);
