// A frequency typed by the operator: read into a band channel, or the reason
// it is none, and the line of plain words that tells the operator either.
#pragma once

#include <cstddef>

enum FrequencyEntryKind {
    EntryEmpty,           // nothing but spaces
    EntryNotAFrequency,   // not a number in one of the accepted forms
    EntryOutsideBand,     // a frequency outside 144.000..146.000 MHz
    EntryOffGrid,         // inside the band, between two channels
    EntryChannel,         // a band channel
};

struct FrequencyEntry {
    FrequencyEntryKind kind;
    int channel;  // EntryChannel: the channel; EntryOffGrid: the nearest below
    int above;    // EntryOffGrid: the nearest channel above
};

// Reads MHz with a point or a comma as the decimal sign ("145.7", "145,7125",
// "145"), or kHz ("145700", "145712.5"): a number below 1000 is MHz, any other
// kHz. Spaces and tabs around it are allowed. The comma is read as a decimal
// sign whatever the locale; text of any length is read without overflow.
// A channel's frequency as the frequency display shows it, in whole kilohertz
// ("145.788" for 145.7875 MHz), is that channel too.
FrequencyEntry readFrequencyEntry(const char *text);

// The exact frequency of channel n: three decimals, four where the channel
// lies on a half kilohertz ("145.700", "145.7125"). Read back by
// readFrequencyEntry, it gives the channel again.
void formatExactFrequency(char *buffer, size_t size, int n);

// The line shown under the frequency field: for a channel, the RX and TX that
// selecting it would give under the current duplex mode and shift, in the
// frequency display's own format, with a transmit frequency outside the band
// marked; otherwise why nothing would change.
void describeFrequencyEntry(char *buffer, size_t size, const FrequencyEntry &entry);
