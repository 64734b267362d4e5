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

// The BCD writer: loads channel n (0..999) as it is, whatever the transmit
// line; any other number is not sent and the transceiver keeps its last
// channel. Only loadSynthesizer calls it (the build.one-gate test checks the
// sources): everything else loads through that gate.
void tuneChannel(int n);

// The last channel actually loaded into the synthesizer, or -1 before the first load.
int lastLoadedChannel();
// Counts completed loads; lets the scanner tell whether a decision loaded anything.
unsigned long loadCount();

int readStatus();
int channelBusy();
int transmitKeyed();

// What the transmitter is to do should the line read keyed: transmit on
// `channel` worked in `duplexMode` (1 duplex: its shifted channel; any other:
// the channel itself).
struct KeyedChoice {
    int channel;
    int duplexMode;
};

// The channel a keyed choice transmits on, under the current shift. It may lie
// outside the band; the gate never loads it then.
int keyedTransmitChannel(KeyedChoice choice);

// What the gate did: the channel it loaded (-1: none), the transmit line as it
// read it right before, and whether that reading differs from the one before.
struct GateLoad {
    int loaded;
    bool keyed;
    bool lineChanged;
};

// The one way to the synthesizer, for the panel and the scanner alike. Reads
// the transmit line once, immediately before it loads, and keeps the reading
// in radioState.txActive and prevTxActive. Unkeyed, it loads `listen`, the
// channel to receive on. Keyed, it loads the transmit channel of `keyed`, and
// only when that lies in the band (144.000 to 146.000 MHz); otherwise nothing,
// unless the synthesizer holds a channel off the band itself, when it loads
// `keyed.channel`, so that the transmitter at least stays in the band.
GateLoad loadSynthesizer(int listen, KeyedChoice keyed);

// The operator's channel n through the gate, under the current working:
// unkeyed its receive channel, keyed its transmit channel.
GateLoad loadOperatorChannel(int n);

void stepUp(int k);
void stepDown(int k);
