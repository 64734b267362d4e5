// The transceiver on the parallel port: loading a channel into the synthesizer
// and reading its two status lines. The only code that talks to the port.
#pragma once

#include "radio/platform_seam.h"

constexpr int dataPort = 888;     // 0x378, tens and units digits
constexpr int statusPort = 889;   // 0x379, squelch (bit 6) and transmit (bit 7) lines
constexpr int controlPort = 890;  // 0x37A, hundreds digit

constexpr int busyMask = 0x40;      // status bit 6: a signal on the channel
constexpr int keyedMask = 0x80;     // status bit 7: the transmitter is keyed
constexpr int controlInvert = 0x0B; // control lines 0, 1 and 3 are inverted at the connector
constexpr unsigned settleMs = 2;    // the synthesizer's settle time after each write

// Three packed decimal digits of n: hundreds in bits 11..8, tens 7..4, units 3..0.
int toBcd(int n);

// Loads channel n (0..999); any other number is not sent and the transceiver
// keeps its last channel.
void tuneChannel(int n);
void tuneHome();

// The last channel actually loaded into the synthesizer, or -1 before the first load.
int lastLoadedChannel();
// Counts completed loads; lets the scanner tell whether a decision loaded anything.
unsigned long loadCount();

int readStatus();
int channelBusy();
int transmitKeyed();

// Samples the transmit line and loads the channel to listen or transmit on.
// Keyed, a transmit channel outside the band is not loaded.
void retune(int n, PanelWindow window);
void stepUp(int k);
void stepDown(int k);
