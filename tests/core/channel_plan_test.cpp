#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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

// The kilohertz a channel shows, from its place in the band: channels sit on
// 12.5 kHz, so even channels show an exact multiple of 25 kHz and odd ones a
// half kilohertz, whose three digits are fixed per 100 kHz block and offset.
std::string expectedFrequency(int n)
{
    static const int oddDigits[10][4] = {
        {12, 38, 63, 87},     {113, 137, 163, 188}, {212, 238, 262, 288}, {313, 337, 363, 387},
        {413, 438, 462, 488}, {512, 538, 563, 587}, {613, 637, 663, 688}, {712, 738, 762, 788},
        {813, 837, 863, 887}, {913, 938, 962, 988},
    };
    int halfKhz = 280400 + 25 * n;  // 140.2 MHz + n x 12.5 kHz, in 0.5 kHz
    int mhz = halfKhz / 2000;
    int within = halfKhz % 2000;    // 0.5 kHz within the megahertz
    int khz = within / 2;
    if (within % 2 != 0) {
        int block = khz / 100;
        int offset = (khz % 100 - 12) / 25;  // 12.5, 37.5, 62.5, 87.5
        khz = oddDigits[block][offset];
    }
    char text[32];
    std::snprintf(text, sizeof text, "%d.%.3d", mhz, khz);
    return text;
}

TEST(ChannelPlan, EveryChannelFollowsTheKilohertzTable)
{
    // The band, and the shifted channels down to 143 MHz that the default shift reaches.
    for (int n = 256; n <= bandHighChannel; ++n) {
        EXPECT_EQ(frequency(n), expectedFrequency(n)) << "channel " << n;
    }
}

TEST(ChannelPlan, ShiftedAndUnshiftedTexts)
{
    const struct { int channel, duplexMode, shift; const char *text; } cases[] = {
        // negative shift: the shifted channel lies above
        {432, 1, -48, "RX 145.600\n\nTX 146.200"},
        {432, 3, -48, "RX 146.200\n\nTX 145.600"},
        // zero shift: RX equals TX in every mode
        {432, 1, 0, "RX 145.600\n\nTX 145.600"},
        {432, 2, 0, "RX 145.600\n\nTX 145.600"},
        {432, 3, 0, "RX 145.600\n\nTX 145.600"},
        {307, 3, 0, "RX 144.038\n\nTX 144.038"},
        // below the band
        {304, 1, 48, "RX 144.000\n\nTX 143.400"},
        {305, 3, 48, "RX 143.413\n\nTX 144.012"},
        {311, 1, 49, "RX 144.087\n\nTX 143.475"},
        // simplex, and the mode 0 before the panel sets one: no shift
        {432, 0, 48, "RX 145.600\n\nTX 145.600"},
        {432, 2, 48, "RX 145.600\n\nTX 145.600"},
        {433, 0, 48, "RX 145.613\n\nTX 145.613"},
        {309, 2, 48, "RX 144.063\n\nTX 144.063"},
        {433, 7, 48, "RX 145.613\n\nTX 145.613"},
    };
    for (const auto &c : cases) {
        resetCore();
        radioState.duplexMode = c.duplexMode;
        radioState.shiftChannels = c.shift;
        showFrequencies(nullptr, c.channel);
        EXPECT_EQ(port.texts[2112], c.text)
            << "channel " << c.channel << " mode " << c.duplexMode << " shift " << c.shift;
        EXPECT_EQ(port.textWrites[2112], 1) << "channel " << c.channel;
        EXPECT_TRUE(port.events.empty()) << "the display touches no port, channel " << c.channel;
    }
}

}  // namespace
