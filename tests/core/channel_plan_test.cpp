#include <gtest/gtest.h>

#include <cstdio>

#include "radio/channel_plan.h"
#include "radio/radio_state.h"
#include "tests/core/port_double.h"

namespace {

std::string frequency(int n)
{
    ChannelFrequency f = channelToFrequency(n);
    char text[32];
    std::snprintf(text, sizeof text, "%d.%.3d", f.mhz, f.khz);
    return text;
}

TEST(ChannelPlan, WorkedConversions)
{
    const struct { int channel; const char *text; } cases[] = {
        {304, "144.000"}, {305, "144.012"}, {307, "144.038"}, {309, "144.063"}, {311, "144.087"},
        {384, "145.000"}, {431, "145.587"}, {432, "145.600"}, {433, "145.613"}, {434, "145.625"},
        {448, "145.800"}, {463, "145.988"}, {464, "146.000"}, {0, "140.200"}, {256, "143.400"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(frequency(c.channel), c.text) << "channel " << c.channel;
    }
}

TEST(ChannelPlan, ShowFrequenciesWorkedExamples)
{
    const struct { int channel, duplexMode; const char *text; } cases[] = {
        {432, 1, "RX 145.600\n\nTX 145.000"}, {432, 3, "RX 145.000\n\nTX 145.600"},
        {432, 2, "RX 145.600\n\nTX 145.600"}, {433, 1, "RX 145.613\n\nTX 145.012"},
        {431, 1, "RX 145.587\n\nTX 144.988"}, {305, 1, "RX 144.012\n\nTX 143.413"},
        {304, 1, "RX 144.000\n\nTX 143.400"}, {464, 3, "RX 145.400\n\nTX 146.000"},
    };
    for (const auto &c : cases) {
        resetCore();
        radioState.duplexMode = c.duplexMode;
        showFrequencies(nullptr, c.channel);
        EXPECT_EQ(port.texts[2112], c.text) << "channel " << c.channel << " mode " << c.duplexMode;
    }
}

}  // namespace
