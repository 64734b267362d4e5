#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "radio/radio_state.h"
#include "scanner/channel_memory.h"
#include "tests/core/port_double.h"

namespace {

std::vector<int32_t> memory()
{
    return std::vector<int32_t>(channelFlags, channelFlags + channelMemorySize);
}

// The panel's Mode button: Off -> On, On -> Jump, anything else -> Off.
void pressMode(int channel)
{
    if (isModeOff(channel)) {
        setChannelScanMode(channel, ModeOn);
    } else if (isModeOn(channel)) {
        setChannelScanMode(channel, ModeJump);
    } else {
        setChannelScanMode(channel, ModeOff);
    }
}

TEST(ChannelMemory, FillWritesTheChannelPlan)
{
    const struct { int low, high; int32_t word; int duplexMode; } ranges[] = {
        {304, 383, 12, 2}, {384, 399, 36, 3}, {400, 431, 12, 2}, {432, 447, 20, 1}, {448, 464, 12, 2},
    };
    std::memset(channelFlags, 0x5A, sizeof channelFlags);
    fillChannelMemory();
    for (const auto &r : ranges) {
        for (int n = r.low; n <= r.high; ++n) {
            EXPECT_EQ(channelFlags[n - 304], r.word) << "channel " << n;
            EXPECT_EQ(channelScanMode(n), ModeOn) << "channel " << n;
            EXPECT_EQ(isModeOn(n), 1) << "channel " << n;
            EXPECT_EQ(isModeOff(n), 0) << "channel " << n;
            EXPECT_EQ(isModeJump(n), 0) << "channel " << n;
            EXPECT_EQ(channelDuplexMode(n), r.duplexMode) << "channel " << n;
        }
    }
}

TEST(ChannelMemory, SettingAModeKeepsTheDuplexClass)
{
    const struct { int channel, mode; int32_t word; int duplexMode, on, off, jump; } cases[] = {
        {432, ModeOff, 17, 1, 0, 1, 0}, {432, ModeJump, 18, 1, 0, 0, 1}, {447, ModeOn, 20, 1, 1, 0, 0},
        {384, ModeOff, 33, 3, 0, 1, 0}, {399, ModeJump, 34, 3, 0, 0, 1}, {304, ModeOff, 9, 2, 0, 1, 0},
        {464, ModeJump, 10, 2, 0, 0, 1}, {448, ModeOff, 9, 2, 0, 1, 0},
    };
    for (const auto &c : cases) {
        resetCore();
        std::vector<int32_t> expected = memory();
        expected[c.channel - 304] = c.word;
        setChannelScanMode(c.channel, c.mode);
        EXPECT_EQ(memory(), expected) << "channel " << c.channel << " mode " << c.mode;
        EXPECT_EQ(channelScanMode(c.channel), c.mode) << "channel " << c.channel;
        EXPECT_EQ(channelDuplexMode(c.channel), c.duplexMode) << "channel " << c.channel;
        EXPECT_EQ(isModeOn(c.channel), c.on) << "channel " << c.channel;
        EXPECT_EQ(isModeOff(c.channel), c.off) << "channel " << c.channel;
        EXPECT_EQ(isModeJump(c.channel), c.jump) << "channel " << c.channel;
    }
}

TEST(ChannelMemory, SettingClearsBitsAboveTheFlags)
{
    resetCore();
    channelFlags[432 - 304] = 0x7F3C;
    setChannelScanMode(432, ModeJump);
    EXPECT_EQ(channelFlags[432 - 304], 0x3A);
}

TEST(ChannelMemory, SettingTouchesNoRadioState)
{
    resetCore();
    radioState.channel = 464;
    const RadioState before = radioState;
    setChannelScanMode(464, ModeOff);
    setChannelScanMode(463, ModeJump);
    EXPECT_EQ(std::memcmp(&before, &radioState, sizeof before), 0);
    EXPECT_TRUE(port.events.empty());
}

TEST(ChannelMemory, ModeButtonCyclesOnJumpOffOn)
{
    const struct { int channel; int32_t words[4]; } cases[] = {
        {432, {20, 18, 17, 20}}, {390, {36, 34, 33, 36}}, {464, {12, 10, 9, 12}},
    };
    for (const auto &c : cases) {
        resetCore();
        for (int press = 1; press <= 3; ++press) {
            pressMode(c.channel);
            EXPECT_EQ(channelFlags[c.channel - 304], c.words[press])
                << "channel " << c.channel << " press " << press;
        }
    }
    // An empty word cycles to Off, then On.
    resetCore();
    channelFlags[0] = 0;
    pressMode(304);
    EXPECT_EQ(channelFlags[0], ModeOff);
    pressMode(304);
    EXPECT_EQ(channelFlags[0], ModeOn);
}

TEST(ChannelMemory, RefillRestoresEveryChannel)
{
    resetCore();
    std::vector<int32_t> filled = memory();
    for (int n = 304; n <= 464; n += 3) {
        setChannelScanMode(n, n % 2 ? ModeOff : ModeJump);
    }
    fillChannelMemory();
    EXPECT_EQ(memory(), filled);
}

TEST(ChannelMemory, EmptyWordIsReverseDuplexWithoutMode)
{
    resetCore();
    std::memset(channelFlags, 0, sizeof channelFlags);
    EXPECT_EQ(channelDuplexMode(432), 3);
    EXPECT_EQ(channelScanMode(432), 0);
    EXPECT_EQ(isModeOn(432) + isModeOff(432) + isModeJump(432), 0);
}

TEST(ChannelMemory, OutsideTheBandReportsNothingAndKeepsTheTable)
{
    // decision 4
    const int channels[] = {303, 465, 466, 0, -1, 256, 999, 1000, INT_MIN, INT_MAX};
    for (int n : channels) {
        resetCore();
        // make the neighbours of the table distinctive: an overrun would show them
        setChannelScanMode(304, ModeOff);
        setChannelScanMode(464, ModeOff);
        std::vector<int32_t> before = memory();
        EXPECT_EQ(channelScanMode(n), 0) << "channel " << n;
        EXPECT_EQ(isModeOn(n), 0) << "channel " << n;
        EXPECT_EQ(isModeOff(n), 0) << "channel " << n;
        EXPECT_EQ(isModeJump(n), 0) << "channel " << n;
        EXPECT_EQ(channelDuplexMode(n), 3) << "channel " << n;
        for (int mode : {ModeOff, ModeJump, ModeOn}) {
            setChannelScanMode(n, mode);
            EXPECT_EQ(channelScanMode(n), 0) << "channel " << n << " mode " << mode;
        }
        EXPECT_EQ(memory(), before) << "channel " << n;
    }
}

}  // namespace
