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

void formatFrequencyLines(char *buffer, size_t size, int rx, int tx)
{
    ChannelFrequency r = channelToFrequency(rx);
    ChannelFrequency t = channelToFrequency(tx);
    std::snprintf(buffer, size, "RX %d.%.3d\n\nTX %d.%.3d", r.mhz, r.khz, t.mhz, t.khz);
}

void formatFrequencies(char *buffer, size_t size, int n)
{
    formatFrequencyLines(buffer, size, receiveChannel(n), transmitChannel(n));
}

void showFrequencyLines(PanelWindow window, int rx, int tx)
{
    char text[64];
    formatFrequencyLines(text, sizeof text, rx, tx);
    setControlText(window, frequencyDisplayId, text);
}

void showFrequencies(PanelWindow window, int n)
{
    showFrequencyLines(window, receiveChannel(n), transmitChannel(n));
}
