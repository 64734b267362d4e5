#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "radio/channel_plan.h"
#include "radio/frequency_entry.h"
#include "radio/radio_state.h"
#include "tests/core/port_double.h"

namespace {

// A locale whose decimal sign is a comma, compiled for the tests (LOCPATH).
const char commaLocale[] = "sv_SE.UTF-8";

TEST(FrequencyEntry, ReadsEveryFormInAnyLocale)
{
    const std::string blanks(5000, ' ');
    const struct {
        std::string text;
        FrequencyEntryKind kind;
        int channel;  // EntryChannel: the channel; EntryOffGrid: the nearest below
        int above;    // EntryOffGrid: the nearest above
    } cases[] = {
        // The accepted forms: MHz with a point or a comma, kHz, blanks around.
        {"145.7", EntryChannel, 440, 0},
        {"145,700", EntryChannel, 440, 0},
        {"145.7125", EntryChannel, 441, 0},
        {"145700", EntryChannel, 440, 0},
        {"145712,5", EntryChannel, 441, 0},
        {"  145.7\t ", EntryChannel, 440, 0},
        {"145.", EntryChannel, 384, 0},
        // The band's edges are channels; a channel beyond either is not.
        {"144.000", EntryChannel, 304, 0},
        {"146.000", EntryChannel, 464, 0},
        {"144000", EntryChannel, 304, 0},
        {"143.9875", EntryOutsideBand, 0, 0},
        {"146.0125", EntryOutsideBand, 0, 0},
        {"146.0000001", EntryOutsideBand, 0, 0},
        {"143.9999999", EntryOutsideBand, 0, 0},
        {"1450", EntryOutsideBand, 0, 0},  // from 1000 on, kHz: 1.45 MHz
        // Off the grid: the nearest channels below and above.
        {"145.71", EntryOffGrid, 440, 441},
        {"145.714", EntryOffGrid, 441, 442},
        {"145.7000001", EntryOffGrid, 440, 441},
        {"144.0000001", EntryOffGrid, 304, 305},
        {"145712.4", EntryOffGrid, 440, 441},
        // A channel as the frequency display shows it, in whole kilohertz:
        // 145.7875 as "145.788", in every form.
        {"145.788", EntryChannel, 447, 0},
        {"145,788", EntryChannel, 447, 0},
        {"145788", EntryChannel, 447, 0},
        {"145.7880", EntryChannel, 447, 0},
        {"145.613", EntryChannel, 433, 0},
        {"145.7880001", EntryOffGrid, 447, 448},
        // Garbage and nothing.
        {"abc", EntryNotAFrequency, 0, 0},
        {"145.7.5", EntryNotAFrequency, 0, 0},
        {"1 45.7", EntryNotAFrequency, 0, 0},
        {"-145.7", EntryNotAFrequency, 0, 0},
        {".7", EntryNotAFrequency, 0, 0},
        {"1e2", EntryNotAFrequency, 0, 0},
        {"", EntryEmpty, 0, 0},
        {" \t ", EntryEmpty, 0, 0},
        // Very long text: read to its end, without overflow.
        {std::string(10000, '1'), EntryOutsideBand, 0, 0},
        {std::string(10000, '0') + "145.7", EntryChannel, 440, 0},
        {blanks + "145.7" + blanks, EntryChannel, 440, 0},
        {"145.7" + std::string(10000, '0') + "1", EntryOffGrid, 440, 441},
        {"145.7" + blanks + "x", EntryNotAFrequency, 0, 0},
    };
    for (const char *locale : {"C", commaLocale}) {
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << "no locale " << locale << " (LOCPATH)";
        ASSERT_EQ(std::string(std::localeconv()->decimal_point), locale == commaLocale ? "," : ".");
        for (const auto &c : cases) {
            FrequencyEntry e = readFrequencyEntry(c.text.c_str());
            int above = e.kind == EntryOffGrid ? e.above : 0;
            int channel = e.kind == EntryChannel || e.kind == EntryOffGrid ? e.channel : 0;
            EXPECT_TRUE(e.kind == c.kind && channel == c.channel && above == c.above)
                << "\"" << c.text.substr(0, 40) << (c.text.size() > 40 ? "...\"" : "\"") << " in locale " << locale
                << ": read as kind " << e.kind << " " << channel << "/" << above << ", expected kind " << c.kind
                << " " << c.channel << "/" << c.above;
        }
    }
    std::setlocale(LC_ALL, "C");
}

TEST(FrequencyEntry, EveryChannelsExactFrequencyReadsBackAsIt)
{
    for (int n = 304; n <= 464; ++n) {
        char text[32];
        formatExactFrequency(text, sizeof text, n);
        FrequencyEntry e = readFrequencyEntry(text);
        EXPECT_TRUE(e.kind == EntryChannel && e.channel == n) << text << " for channel " << n;
    }
}

// Each channel's text on the frequency display reads back as that channel;
// on a half kilohertz, the whole kilohertz on its other side is still between
// two channels.
TEST(FrequencyEntry, WhatTheDisplayShowsForAChannelReadsBackAsIt)
{
    for (int n = bandLowChannel; n <= bandHighChannel; ++n) {
        ChannelFrequency shown = channelToFrequency(n);
        char text[32];
        std::snprintf(text, sizeof text, "%d.%03d", shown.mhz, shown.khz);
        FrequencyEntry e = readFrequencyEntry(text);
        EXPECT_TRUE(e.kind == EntryChannel && e.channel == n) << text << " for channel " << n;
        if (n % 2 != 0) {
            // In hertz: the channel's own, and the whole kilohertz on the far side of it.
            int shownHz = shown.mhz * 1000000 + shown.khz * 1000;
            int otherHz = 2 * (140200000 + n * 12500) - shownHz;
            std::snprintf(text, sizeof text, "%d.%03d", otherHz / 1000000, otherHz % 1000000 / 1000);
            EXPECT_EQ(readFrequencyEntry(text).kind, EntryOffGrid) << text << " beside channel " << n;
        }
    }
}

// The typed frequency is the channel's: the RX in duplex and simplex, the TX
// in reverse duplex. The digits are the display's own.
TEST(FrequencyEntry, TheLineUnderTheFieldShowsWhatOkWouldGive)
{
    const struct {
        int channel, duplexMode;
        const char *line;
    } cases[] = {
        {440, 1, "RX 145.700   TX 145.100"},
        {440, 3, "RX 145.100   TX 145.700"},
        {441, 2, "RX 145.712   TX 145.712"},
        {351, 1, "RX 144.587   TX 143.988\nThe TX frequency is outside the band."},
        {352, 1, "RX 144.600   TX 144.000"},
    };
    for (const auto &c : cases) {
        resetCore();
        radioState.duplexMode = c.duplexMode;
        char line[200];
        describeFrequencyEntry(line, sizeof line, {EntryChannel, c.channel, 0});
        EXPECT_EQ(std::string(line), c.line) << "channel " << c.channel << " in duplex mode " << c.duplexMode;
    }
}

// Whatever is typed, the line says what OK would do with it, exactly: a channel
// gives its RX and TX; anything else changes nothing, and the line says why.
TEST(FrequencyEntry, TheLineUnderTheFieldForEachKindOfEntry)
{
    const struct {
        const char *typed;
        FrequencyEntryKind kind;
        const char *line;
    } cases[] = {
        {"145.7", EntryChannel, "RX 145.700   TX 145.100"},
        {"146.0125", EntryOutsideBand, "Outside the band: type a frequency from 144.000 to 146.000 MHz."},
        {"145.7.5", EntryNotAFrequency,
         "Not a frequency. Type MHz (145.7 or 145,7) or kHz (145700), from 144.000 to 146.000 MHz."},
        {"145.71", EntryOffGrid,
         "Between two channels (12.5 kHz apart): the nearest are 145.700 and 145.7125 MHz."},
        {" \t", EntryEmpty, "Type MHz (145.7 or 145,7) or kHz (145700), from 144.000 to 146.000 MHz."},
    };
    for (const auto &c : cases) {
        resetCore();  // duplex, 600 kHz shift
        FrequencyEntry e = readFrequencyEntry(c.typed);
        ASSERT_EQ(e.kind, c.kind) << "\"" << c.typed << "\"";
        // A line left unwritten would show what the buffer held before.
        char line[200] = "left over from the last entry";
        describeFrequencyEntry(line, sizeof line, e);
        EXPECT_EQ(std::string(line), c.line) << "\"" << c.typed << "\"";
    }
}

}  // namespace
