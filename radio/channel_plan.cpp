#include "radio/channel_plan.h"

#include <cstdio>

#include "radio/radio_state.h"

int roundHalfUp(float k)
{
    int whole = static_cast<int>(k);
    return (k - static_cast<float>(whole) >= 0.5f) ? whole + 1 : whole;
}

ChannelFrequency channelToFrequency(int n)
{
    // The displayed kilohertz of odd channels depend on computing in double and
    // rounding once to single precision before splitting. The volatile keeps an
    // x87 build from carrying the double's extra bits past that rounding.
    double s = 0.00625 * n + 70.1;
    volatile float f = static_cast<float>(2.0 * s);
    ChannelFrequency result;
    result.mhz = static_cast<int32_t>(f);
    volatile float r = f - static_cast<float>(result.mhz);
    volatile float k = 1000.0f * r;
    result.khz = roundHalfUp(k);
    return result;
}

int shiftedChannel(int n, int shift)
{
    return static_cast<int>(static_cast<uint32_t>(n) - static_cast<uint32_t>(shift));
}

int receiveChannel(int n)
{
    return (radioState.duplexMode == 3) ? shiftedChannel(n, radioState.shiftChannels) : n;
}

int transmitChannel(int n)
{
    return (radioState.duplexMode == 1) ? shiftedChannel(n, radioState.shiftChannels) : n;
}

bool transmitOutsideBand()
{
    return !isBandChannel(transmitChannel(radioState.channel));
}

void formatFrequencies(char *buffer, size_t size, int n)
{
    ChannelFrequency r = channelToFrequency(receiveChannel(n));
    ChannelFrequency t = channelToFrequency(transmitChannel(n));
    std::snprintf(buffer, size, "RX %d.%.3d\n\nTX %d.%.3d", r.mhz, r.khz, t.mhz, t.khz);
}

void showFrequencies(PanelWindow window, int n)
{
    char text[64];
    formatFrequencies(text, sizeof text, n);
    setControlText(window, frequencyDisplayId, text);
}
