// The program-wide radio state. Every field is a signed 32-bit integer and
// starts from its built-in default at each run; nothing is saved.
#pragma once

#include <cstdint>

struct RadioState {
    int32_t channel = 432;        // selected channel, kept within 304..464
    int32_t scanLow = 384;        // lower end of the scan range (145.000 MHz)
    int32_t scanHigh = 448;       // upper end of the scan range (145.800 MHz)
    int32_t dwellLimit = 5;       // ticks to count before the scanner's next decision
    int32_t dwellCount = 0;       // ticks counted towards dwellLimit
    int32_t jumpArmed = 0;        // 1 while a busy channel is held under the jump rule
    int32_t channelStep = 1;      // channels per step: 1 = 12.5 kHz, 2 = 25 kHz
    int32_t shiftChannels = 48;   // repeater shift in channels (600 kHz); unbounded
    int32_t scanState = 1;        // 1 off, 2 jump, 3 halt
    int32_t watchChannel = 0;     // priority watch channel; 0 means none
    int32_t txActive = 0;         // last sample of the transmit line
    int32_t prevTxActive = 0;     // txActive as the previous retune left it
    int32_t duplexMode = 0;       // 1 duplex, 2 simplex, 3 reverse duplex; others act as simplex
};

extern RadioState radioState;
