// The channel plan: channel n lies at 140.2 MHz + n x 12.5 kHz.
#pragma once

#include <cstddef>
#include <cstdint>

#include "radio/platform_seam.h"

constexpr int bandLowChannel = 304;   // 144.000 MHz
constexpr int bandHighChannel = 464;  // 146.000 MHz
constexpr int homeChannel = 432;      // 145.600 MHz

// Whether channel n lies in the band, 144.000 to 146.000 MHz.
constexpr bool isBandChannel(int n)
{
    return n >= bandLowChannel && n <= bandHighChannel;
}

constexpr int frequencyDisplayId = 2112;

struct ChannelFrequency {
    int32_t mhz;  // whole megahertz
    int32_t khz;  // kilohertz within the megahertz
};

// The integer part of k, plus 1 when its fraction is one half or more.
int roundHalfUp(float k);

ChannelFrequency channelToFrequency(int n);

// The repeater-shifted channel n - shift. The shift has no bound, so the
// difference may leave the int range: it wraps round in 32-bit two's complement,
// as the 32-bit program's arithmetic does, instead of overflowing. For a band
// channel a wrapped result is negative, so it is never loaded.
int shiftedChannel(int n, int shift);

// The channels received and transmitted on when channel n is selected, under
// the current duplex mode and shift.
int receiveChannel(int n);
int transmitChannel(int n);

// "RX %d.%.3d\n\nTX %d.%.3d" for channel n under the current duplex mode and shift.
void formatFrequencies(char *buffer, size_t size, int n);
// The same text for a receive channel rx and a transmit channel tx.
void formatFrequencyLines(char *buffer, size_t size, int rx, int tx);

// Writes the receive and transmit frequencies of channel n into the frequency display.
void showFrequencies(PanelWindow window, int n);
// Writes receive channel rx and transmit channel tx into the frequency display.
void showFrequencyLines(PanelWindow window, int rx, int tx);
