#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "radio/frequency_entry.h"
#include "radio/radio_state.h"
#include "tests/core/port_double.h"

namespace {

const char *kindName(FrequencyEntryKind kind)
{
    static const char *const names[] = {"empty", "not a frequency", "outside the band", "off the grid",
                                        "channel"};
    return names[kind];
}

std::string describe(const FrequencyEntry &e)
{
    std::string s = kindName(e.kind);
    if (e.kind == EntryChannel) {
        s += " " + std::to_string(e.channel);
    } else if (e.kind == EntryOffGrid) {
        s += " " + std::to_string(e.channel) + "/" + std::to_string(e.above);
    }
    return s;
}

std::string entry(FrequencyEntryKind kind, int channel = 0, int above = 0)
{
    return describe({kind, channel, above});
}

// A locale whose decimal sign is a comma, compiled for the tests (LOCPATH).
const char commaLocale[] = "sv_SE.UTF-8";

TEST(FrequencyEntry, ReadsEveryFormInAnyLocale)
{
    const std::string spaces(5000, ' ');
    const struct {
        std::string text;
        std::string read;
    } cases[] = {
        // The accepted forms: MHz with a point or a comma, kHz, blanks around.
        {"145.7", entry(EntryChannel, 440)},
        {"145,700", entry(EntryChannel, 440)},
        {"145.7125", entry(EntryChannel, 441)},
        {"145700", entry(EntryChannel, 440)},
        {"145712.5", entry(EntryChannel, 441)},
        {"145712,5", entry(EntryChannel, 441)},
        {"  145.7\t ", entry(EntryChannel, 440)},
        {"145", entry(EntryChannel, 384)},
        {"145.", entry(EntryChannel, 384)},
        {"0145.70", entry(EntryChannel, 440)},
        // The band's edges are channels; a channel beyond either is not.
        {"144.000", entry(EntryChannel, 304)},
        {"146.000", entry(EntryChannel, 464)},
        {"144000", entry(EntryChannel, 304)},
        {"146", entry(EntryChannel, 464)},
        {"143.9875", entry(EntryOutsideBand)},
        {"146.0125", entry(EntryOutsideBand)},
        {"143987.5", entry(EntryOutsideBand)},
        {"146.0000001", entry(EntryOutsideBand)},
        {"143.9999999", entry(EntryOutsideBand)},
        {"0", entry(EntryOutsideBand)},
        {"999.9", entry(EntryOutsideBand)},
        {"1450", entry(EntryOutsideBand)},  // kHz: 1.45 MHz
        // Off the grid: the nearest channels below and above.
        {"145.71", entry(EntryOffGrid, 440, 441)},
        {"145.613", entry(EntryOffGrid, 433, 434)},  // the display's text of 433
        {"145.6999", entry(EntryOffGrid, 439, 440)},
        {"145.7000001", entry(EntryOffGrid, 440, 441)},
        {"144.0000001", entry(EntryOffGrid, 304, 305)},
        {"145712.4", entry(EntryOffGrid, 440, 441)},
        // Garbage.
        {"abc", entry(EntryNotAFrequency)},
        {"145.7.5", entry(EntryNotAFrequency)},
        {"145,7,5", entry(EntryNotAFrequency)},
        {"1 45.7", entry(EntryNotAFrequency)},
        {"-145.7", entry(EntryNotAFrequency)},
        {"+145.7", entry(EntryNotAFrequency)},
        {".7", entry(EntryNotAFrequency)},
        {"145.7x", entry(EntryNotAFrequency)},
        {"1e2", entry(EntryNotAFrequency)},
        // Empty.
        {"", entry(EntryEmpty)},
        {" \t ", entry(EntryEmpty)},
        // Very long text: read to its end, without overflow.
        {std::string(10000, '1'), entry(EntryOutsideBand)},
        {std::string(10000, '0') + "145.7", entry(EntryChannel, 440)},
        {spaces + "145.7" + spaces, entry(EntryChannel, 440)},
        {"145.7" + std::string(10000, '0'), entry(EntryChannel, 440)},
        {"145.7" + std::string(10000, '0') + "1", entry(EntryOffGrid, 440, 441)},
        {"145.7" + spaces + "x", entry(EntryNotAFrequency)},
    };
    for (const char *locale : {"C", commaLocale}) {
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << "no locale " << locale << " (LOCPATH)";
        ASSERT_EQ(std::string(std::localeconv()->decimal_point), locale == commaLocale ? "," : ".");
        for (const auto &c : cases) {
            EXPECT_EQ(describe(readFrequencyEntry(c.text.c_str())), c.read)
                << "\"" << c.text.substr(0, 40) << (c.text.size() > 40 ? "...\"" : "\"") << " in locale "
                << locale;
        }
    }
    std::setlocale(LC_ALL, "C");
}

TEST(FrequencyEntry, EveryChannelsExactFrequencyReadsBackAsIt)
{
    for (int n = 304; n <= 464; ++n) {
        char text[32];
        formatExactFrequency(text, sizeof text, n);
        EXPECT_EQ(describe(readFrequencyEntry(text)), entry(EntryChannel, n)) << text;
    }
}

TEST(FrequencyEntry, TheLineUnderTheFieldSaysWhatOkWouldGiveOrWhyNot)
{
    const struct {
        FrequencyEntry entry;
        int duplexMode;
        const char *line;
    } cases[] = {
        {{EntryChannel, 440, 0}, 1, "RX 145.700   TX 145.100"},
        {{EntryChannel, 440, 0}, 3, "RX 145.100   TX 145.700"},  // typed as the TX in reverse duplex
        {{EntryChannel, 441, 0}, 2, "RX 145.712   TX 145.712"},  // the display's own digits
        {{EntryChannel, 304, 0}, 1, "RX 144.000   TX 143.400\nThe TX frequency is outside the band."},
        {{EntryChannel, 351, 0}, 1, "RX 144.587   TX 143.988\nThe TX frequency is outside the band."},
        {{EntryChannel, 352, 0}, 1, "RX 144.600   TX 144.000"},
        {{EntryOffGrid, 440, 441}, 1,
         "Between two channels (12.5 kHz apart): the nearest are 145.700 and 145.7125 MHz."},
        {{EntryOutsideBand, 0, 0}, 1, "Outside the band: type a frequency from 144.000 to 146.000 MHz."},
        {{EntryNotAFrequency, 0, 0}, 1,
         "Not a frequency. Type MHz (145.7 or 145,7) or kHz (145700), from 144.000 to 146.000 MHz."},
        {{EntryEmpty, 0, 0}, 1, "Type MHz (145.7 or 145,7) or kHz (145700), from 144.000 to 146.000 MHz."},
    };
    for (const auto &c : cases) {
        resetCore();
        radioState.duplexMode = c.duplexMode;
        char line[200];
        describeFrequencyEntry(line, sizeof line, c.entry);
        EXPECT_EQ(std::string(line), c.line) << describe(c.entry) << " in duplex mode " << c.duplexMode;
    }
}

}  // namespace
