#include "radio/frequency_entry.h"

#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "radio/channel_plan.h"

namespace {

// Frequencies here are whole hertz: every channel lies on a whole hertz, so
// the arithmetic is exact, unlike the display's single-precision kilohertz.
constexpr int64_t channelZeroHz = 140200000;  // channel 0
constexpr int64_t channelHz = 12500;
constexpr int64_t bandLowHz = channelZeroHz + bandLowChannel * channelHz;    // 144.000 MHz
constexpr int64_t bandHighHz = channelZeroHz + bandHighChannel * channelHz;  // 146.000 MHz
constexpr int maxWholeDigits = 12;  // more than these, and the number is far off the band

const char acceptedForms[] = "MHz (145.7 or 145,7) or kHz (145700), from 144.000 to 146.000 MHz.";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A number as typed, in hertz. `inexact` holds when digits finer than a hertz
// were not zero: the number is then a little above `hz`.
struct TypedHz {
    bool isNumber;
    bool huge;  // too many whole digits to be anywhere near the band
    int64_t hz;
    bool inexact;
};

// Reads the whole part; `*p` is left on the first character after it.
int64_t readWhole(const char *&p, bool *huge)
{
    int64_t whole = 0;
    int digits = 0;
    for (; isDigit(*p); ++p) {
        if (whole != 0 || *p != '0') {
            ++digits;
        }
        if (digits > maxWholeDigits) {
            *huge = true;
        } else {
            whole = whole * 10 + (*p - '0');
        }
    }
    return whole;
}

TypedHz readHz(const char *p)
{
    TypedHz t = {false, false, 0, false};
    if (!isDigit(*p)) {
        return t;
    }
    int64_t whole = readWhole(p, &t.huge);
    int64_t unitHz = whole < 1000 ? 1000000 : 1000;  // MHz below 1000, kHz from there on
    t.hz = whole * unitHz;
    if (*p == '.' || *p == ',') {
        int64_t place = unitHz;
        for (++p; isDigit(*p); ++p) {
            place /= 10;
            if (place > 0) {
                t.hz += (*p - '0') * place;
            } else if (*p != '0') {
                t.inexact = true;
            }
        }
    }
    while (isBlank(*p)) {
        ++p;
    }
    t.isNumber = *p == '\0';
    return t;
}

// The frequency the display shows for channel n, in hertz: whole kilohertz,
// so a channel on a half kilohertz shows a little above or below its own.
int64_t displayedHz(int n)
{
    ChannelFrequency f = channelToFrequency(n);
    return f.mhz * int64_t{1000000} + f.khz * int64_t{1000};
}

void describeChannel(char *buffer, size_t size, int n)
{
    ChannelFrequency r = channelToFrequency(receiveChannel(n));
    int tx = transmitChannel(n);
    ChannelFrequency t = channelToFrequency(tx);
    std::snprintf(buffer, size, "RX %d.%.3d   TX %d.%.3d%s", r.mhz, r.khz, t.mhz, t.khz,
                  isBandChannel(tx) ? "" : "\nThe TX frequency is outside the band.");
}

}  // namespace

FrequencyEntry readFrequencyEntry(const char *text)
{
    while (isBlank(*text)) {
        ++text;
    }
    if (*text == '\0') {
        return {EntryEmpty, 0, 0};
    }
    TypedHz t = readHz(text);
    if (!t.isNumber) {
        return {EntryNotAFrequency, 0, 0};
    }
    if (t.huge || t.hz < bandLowHz || t.hz > bandHighHz || (t.hz == bandHighHz && t.inexact)) {
        return {EntryOutsideBand, 0, 0};
    }
    int64_t offset = t.hz - channelZeroHz;
    int below = static_cast<int>(offset / channelHz);
    if (offset % channelHz == 0 && !t.inexact) {
        return {EntryChannel, below, 0};
    }
    // What the display shows for a channel selects it: "145.788" is 145.7875.
    for (int n : {below, below + 1}) {
        if (!t.inexact && displayedHz(n) == t.hz) {
            return {EntryChannel, n, 0};
        }
    }
    return {EntryOffGrid, below, below + 1};
}

void formatExactFrequency(char *buffer, size_t size, int n)
{
    int64_t hz = channelZeroHz + n * channelHz;
    int mhz = static_cast<int>(hz / 1000000);
    int withinMhz = static_cast<int>(hz % 1000000);
    if (withinMhz % 1000 == 0) {
        std::snprintf(buffer, size, "%d.%03d", mhz, withinMhz / 1000);
    } else {
        std::snprintf(buffer, size, "%d.%04d", mhz, withinMhz / 100);
    }
}

void describeFrequencyEntry(char *buffer, size_t size, const FrequencyEntry &entry)
{
    char below[16], above[16];
    switch (entry.kind) {
    case EntryChannel:
        describeChannel(buffer, size, entry.channel);
        break;
    case EntryOffGrid:
        formatExactFrequency(below, sizeof below, entry.channel);
        formatExactFrequency(above, sizeof above, entry.above);
        std::snprintf(buffer, size, "Between two channels (12.5 kHz apart): the nearest are %s and %s MHz.",
                      below, above);
        break;
    case EntryOutsideBand:
        std::snprintf(buffer, size, "Outside the band: type a frequency from 144.000 to 146.000 MHz.");
        break;
    case EntryNotAFrequency:
        std::snprintf(buffer, size, "Not a frequency. Type %s", acceptedForms);
        break;
    case EntryEmpty:
    default:
        std::snprintf(buffer, size, "Type %s", acceptedForms);
        break;
    }
}
