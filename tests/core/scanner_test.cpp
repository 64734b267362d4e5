#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "radio/port_protocol.h"
#include "radio/radio_state.h"
#include "scanner/channel_memory.h"
#include "scanner/scanner.h"
#include "res/resource.h"
#include "tests/core/port_double.h"
#include "ui/panel_commands.h"

namespace {

PanelWindow const panel = reinterpret_cast<PanelWindow>(0x1101);
constexpr int forever = INT_MAX;

// A channel loaded into the synthesizer during a tick.
struct Load {
    int tick;
    int channel;
    bool operator==(const Load &o) const { return tick == o.tick && channel == o.channel; }
};

void PrintTo(const Load &l, std::ostream *os)
{
    *os << "tick " << l.tick << ": " << l.channel;
}

// A signal on a channel during ticks from..to-1.
struct Scenario {
    const char *name;
    int state, start, low, high, step, watch;
    std::vector<std::pair<int, int>> modes;  // channel, scan mode
    std::vector<Signal> signals;
    int ticks;
    std::vector<Load> loads;
};

// Drives the scanner through the panel's tick with the transceiver played by the
// port double, and records which channels were loaded at which tick.
class Scan : public ::testing::Test {
protected:
    int tick = 0;
    std::vector<Load> loads;
    std::vector<int> channelAt{0};  // channel after each tick, from tick 1
    std::vector<Signal> signals;

    // The transceiver holds `channel`, as the panel left it; the range and
    // dwell fields keep their start values unless changed afterwards.
    void start(int channel, int state)
    {
        resetCore();
        radioState.duplexMode = 2;
        radioState.scanState = state;
        radioState.channel = channel;
        tuneChannel(channel);
        port.events.clear();
    }

    void run(int ticks)
    {
        for (int i = 0; i < ticks; ++i) {
            ++tick;
            setBusyAt(signals, tick);
            size_t before = loadedChannels().size();
            onTimerTick(panel);
            std::vector<int> all = loadedChannels();
            for (size_t k = before; k < all.size(); ++k) {
                loads.push_back({tick, all[k]});
            }
            channelAt.push_back(radioState.channel);
        }
    }

    void play(const Scenario &s)
    {
        start(s.start, s.state);
        radioState.scanLow = s.low;
        radioState.scanHigh = s.high;
        radioState.channelStep = s.step;
        radioState.watchChannel = s.watch;
        for (const auto &m : s.modes) {
            setChannelScanMode(m.first, m.second);
        }
        signals = s.signals;
        run(s.ticks);
    }

    void playTable(const std::vector<Scenario> &table)
    {
        for (const Scenario &s : table) {
            tick = 0;
            loads.clear();
            channelAt.assign(1, 0);
            play(s);
            EXPECT_EQ(loads, s.loads) << s.name;
        }
    }
};

TEST_F(Scan, FreeSweepTunesEveryChannelEverySixTicksAndWraps)
{
    for (int state : {ScanHalt, ScanJump}) {
        tick = 0;
        loads.clear();
        start(384, state);
        run(390);
        std::vector<Load> expected;
        for (int n = 385; n <= 448; ++n) {
            expected.push_back({6 * (n - 384), n});
        }
        expected.push_back({390, 384});
        EXPECT_EQ(loads, expected) << "state " << state;
        EXPECT_EQ(port.textWrites[2101], 65) << "state " << state;
        EXPECT_EQ(port.textWrites[2112], 65) << "state " << state;
    }
}

TEST_F(Scan, CountingTicksTouchNothingAndADecisionWritesBothTexts)
{
    start(384, ScanHalt);
    for (int i = 1; i <= 5; ++i) {
        run(1);
        EXPECT_EQ(radioState.dwellCount, i) << "tick " << tick;
    }
    EXPECT_TRUE(port.events.empty());
    EXPECT_EQ(port.reads, 5) << "one sample of the transmit line a tick";
    EXPECT_TRUE(port.textOrder.empty());
    run(1);
    EXPECT_EQ(port.textOrder, (std::vector<int>{2101, 2112}));
    EXPECT_EQ(port.texts[2112], "RX 145.012\n\nTX 145.012");
    EXPECT_EQ(radioState.dwellCount, 0);
    EXPECT_EQ(radioState.dwellLimit, 5);
}

TEST_F(Scan, ScannerOffRetunesEveryTickAndKeepsTheDwell)
{
    start(432, ScanOff);
    radioState.duplexMode = 1;
    radioState.dwellCount = 3;
    radioState.dwellLimit = 100;
    radioState.jumpArmed = 1;
    port.script = {0, 0, 0x80, 0x80, 0, 0};
    run(6);
    EXPECT_EQ(loads, (std::vector<Load>{{1, 432}, {2, 432}, {3, 384}, {4, 384}, {5, 432}, {6, 432}}));
    EXPECT_EQ(port.textOrder, (std::vector<int>{2112, 2101, 2112, 2101}));
    EXPECT_EQ(radioState.dwellCount, 3);
    EXPECT_EQ(radioState.dwellLimit, 100);
    EXPECT_EQ(radioState.jumpArmed, 1);
    EXPECT_EQ(radioState.channel, 432);
}

TEST_F(Scan, RangesAndSteps)
{
    playTable({
        {"start inside the range goes up first", ScanHalt, 432, 384, 448, 1, 0, {}, {}, 12,
         {{6, 433}, {12, 434}}},
        {"start below the range: the lower end first", ScanHalt, 304, 384, 448, 1, 0, {}, {}, 12,
         {{6, 384}, {12, 385}}},
        {"start above the range wraps", ScanHalt, 460, 384, 448, 1, 0, {}, {}, 12,
         {{6, 384}, {12, 385}}},
        {"scanLow equal to scanHigh", ScanHalt, 400, 400, 400, 1, 0, {}, {}, 18,
         {{6, 400}, {12, 400}, {18, 400}}},
        {"25 kHz from 463: 465 has no mode, step stops at 464", ScanHalt, 463, 384, 464, 2, 0,
         {}, {}, 18, {{6, 464}, {12, 384}, {18, 386}}},
        {"25 kHz odd distance: scanHigh itself, never past it", ScanJump, 445, 385, 448, 2, 0, {},
         {}, 18, {{6, 447}, {12, 448}, {18, 385}}},
    });
}

// Start and Stop pressed in either order: the same channels, both ends
// included, with the same steps and the same wrap.
TEST_F(Scan, TheEndsMayBeSetInEitherOrder)
{
    for (bool fromTheTop : {false, true}) {
        SCOPED_TRACE(fromTheTop ? "Start above Stop" : "Start below Stop");
        auto range = [&](int a, int b) { return fromTheTop ? std::make_pair(b, a) : std::make_pair(a, b); };
        struct Row {
            const char *name;
            int start, low, high, step, ticks;
            std::vector<Load> loads;
        };
        const Row rows[] = {
            {"12.5 kHz: both ends, then round again", 437, 436, 440, 1, 36,
             {{6, 438}, {12, 439}, {18, 440}, {24, 436}, {30, 437}, {36, 438}}},
            {"12.5 kHz: from below the range it starts at the lower end", 397, 400, 402, 1, 36,
             {{6, 400}, {12, 401}, {18, 402}, {24, 400}, {30, 401}, {36, 402}}},
            {"12.5 kHz: from above the range it wraps to the lower end", 460, 400, 440, 1, 12,
             {{6, 400}, {12, 401}}},
            {"25 kHz: even distance, both ends", 436, 436, 440, 2, 30,
             {{6, 438}, {12, 440}, {18, 436}, {24, 438}, {30, 440}}},
            {"25 kHz: odd distance, the upper end itself, never past it", 445, 385, 448, 2, 18,
             {{6, 447}, {12, 448}, {18, 385}}},
            {"25 kHz: the band's upper edge", 462, 304, 464, 2, 18, {{6, 464}, {12, 304}, {18, 306}}},
        };
        for (const Row &r : rows) {
            SCOPED_TRACE(r.name);
            tick = 0;
            loads.clear();
            start(r.start, ScanHalt);
            radioState.scanLow = range(r.low, r.high).first;
            radioState.scanHigh = range(r.low, r.high).second;
            radioState.channelStep = r.step;
            run(r.ticks);
            EXPECT_EQ(loads, r.loads);
            // The range stays as it was set: the display shows it so.
            EXPECT_EQ(radioState.scanLow, range(r.low, r.high).first);
            EXPECT_EQ(radioState.scanHigh, range(r.low, r.high).second);
        }
    }
}

// Locked-out channels are passed over within the step that leaves the channel
// before them: the scan never stands on one, and the next decision listens on
// the channel it loaded.
TEST_F(Scan, OffChannelsArePassedWithinTheStep)
{
    start(384, ScanHalt);
    for (int n = 386; n <= 389; ++n) {
        setChannelScanMode(n, ModeOff);
    }
    run(18);
    EXPECT_EQ(loads, (std::vector<Load>{{6, 385}, {12, 390}, {18, 391}}));
    for (int t = 1; t <= 18; ++t) {
        EXPECT_FALSE(isModeOff(channelAt[t])) << "tick " << t << ": the scan stands on " << channelAt[t];
    }
}

// Every channel of the range locked out: nothing to scan. The first decision
// stops the scanner where it stands, as the Scan button would, and the
// synthesizer, the displays and the ticks after it agree on that channel. A
// Scan press then does not start it either.
TEST_F(Scan, AllOffRangeStopsTheScanner)
{
    start(400, ScanHalt);
    for (int n = 384; n <= 448; ++n) {
        setChannelScanMode(n, ModeOff);
    }
    run(5);
    EXPECT_TRUE(loads.empty());
    run(1);
    EXPECT_EQ(radioState.scanState, ScanOff);
    EXPECT_EQ(radioState.channel, 400);
    EXPECT_EQ(radioState.duplexMode, 2) << "400 is a simplex channel";
    EXPECT_EQ(loads, (std::vector<Load>{{6, 400}}));
    EXPECT_EQ(port.texts[2112], "RX 145.200\n\nTX 145.200");
    EXPECT_EQ(port.texts[2101], " Mode: Off\n\n145.000  -  145.800\nOff\nWatch: ");
    run(10);
    EXPECT_EQ(port.tuned, 400);
    EXPECT_EQ(loads.size(), 11u);

    onPanelCommand(panel, IDC_SCAN);
    EXPECT_EQ(radioState.scanState, ScanOff);
    EXPECT_EQ(port.texts[2101], "Mode: Off");
    EXPECT_EQ(port.tuned, 400);
}

TEST_F(Scan, BusyChannelsHoldByTheJumpAndHaltRules)
{
    playTable({
        {"jump: held 101 ticks, left by the deciding tick", ScanJump, 384, 384, 448, 1, 0, {},
         {{385, 0, forever}}, 119, {{6, 385}, {113, 386}, {119, 387}}},
        {"jump: the watch channel is not looked at while busy", ScanJump, 384, 384, 448, 1, 440,
         {}, {{385, 0, forever}}, 119,
         {{6, 440}, {6, 385}, {113, 386}, {119, 440}, {119, 387}}},
        {"halt: a Jump channel follows the jump rule", ScanHalt, 384, 384, 448, 1, 0,
         {{385, ModeJump}}, {{385, 0, forever}}, 119, {{6, 385}, {113, 386}, {119, 387}}},
        {"halt: held in 501-tick steps while busy", ScanHalt, 384, 384, 448, 1, 0, {},
         {{385, 0, 700}}, 1020, {{6, 385}, {1014, 386}, {1020, 387}}},
        {"halt: left at the first free decision", ScanHalt, 384, 384, 448, 1, 0, {},
         {{385, 0, 300}}, 519, {{6, 385}, {513, 386}, {519, 387}}},
        {"jump: a busy Off neighbour is passed, not held", ScanJump, 384, 384, 448, 1, 0,
         {{386, ModeOff}}, {{386, 0, forever}}, 18, {{6, 385}, {12, 387}, {18, 388}}},
    });
}

TEST_F(Scan, HaltHoldCountsFromZeroToFiveHundred)
{
    start(384, ScanHalt);
    signals = {{385, 0, forever}};
    const struct { int tick, dwellCount, dwellLimit; } checks[] = {
        {12, 0, 500}, {13, 1, 500}, {512, 500, 500}, {513, 0, 500}, {1014, 0, 500},
    };
    for (const auto &c : checks) {
        run(c.tick - tick);
        EXPECT_EQ(radioState.dwellCount, c.dwellCount) << "tick " << c.tick;
        EXPECT_EQ(radioState.dwellLimit, c.dwellLimit) << "tick " << c.tick;
        EXPECT_EQ(radioState.channel, 385) << "tick " << c.tick;
    }
    EXPECT_EQ(port.textWrites[2101], 4);  // decisions at 6, 12, 513, 1014
}

TEST_F(Scan, WatchChannel)
{
    playTable({
        {"free watch: checked before every step", ScanHalt, 384, 384, 448, 1, 440, {}, {}, 12,
         {{6, 440}, {6, 385}, {12, 440}, {12, 386}}},
        {"busy watch: moved to and held 501, then the channel after it", ScanHalt, 384, 384, 448,
         1, 440, {}, {{440, 0, 300}}, 513,
         {{6, 440}, {6, 440}, {507, 440}, {507, 441}, {513, 440}, {513, 442}}},
        {"busy watch: halt holds it again while busy", ScanHalt, 384, 384, 448, 1, 440, {},
         {{440, 0, 600}}, 1008,
         {{6, 440}, {6, 440}, {507, 440}, {507, 440}, {1008, 440}, {1008, 441}}},
        {"busy watch at 25 kHz", ScanHalt, 384, 384, 448, 2, 441, {}, {{441, 0, 300}}, 507,
         {{6, 441}, {6, 441}, {507, 441}, {507, 443}}},
        {"a locked-out watch channel is not sampled, busy or not", ScanHalt, 384, 384, 448, 1, 440,
         {{440, ModeOff}}, {{440, 0, 300}}, 12, {{6, 385}, {12, 386}}},
        {"jump: busy watch held, left, and returned to", ScanJump, 384, 384, 448, 1, 440, {},
         {{440, 0, forever}}, 614,
         {{6, 440}, {6, 440}, {608, 441}, {614, 440}, {614, 440}}},
        // decision 6: reached above scanHigh, then wraps as usual
        {"busy watch above the range is reached", ScanHalt, 384, 384, 448, 1, 460, {},
         {{460, 0, 300}}, 507, {{6, 460}, {6, 460}, {507, 460}, {507, 384}}},
        {"busy watch at the band top, 25 kHz", ScanHalt, 400, 384, 448, 2, 464, {},
         {{464, 0, 300}}, 507, {{6, 464}, {6, 464}, {507, 464}, {507, 384}}},
    });
}

TEST_F(Scan, WatchMoveEndsOnTheWatchChannel)
{
    const struct { int watch, step, high; } cases[] = {
        {440, 1, 448}, {460, 1, 448}, {449, 2, 448}, {384, 1, 448}, {464, 2, 440},
    };
    for (const auto &c : cases) {
        start(420, ScanHalt);
        radioState.channelStep = c.step;
        radioState.scanHigh = c.high;
        radioState.watchChannel = c.watch;
        signals = {{c.watch, 0, forever}};
        run(6);
        EXPECT_EQ(radioState.channel, c.watch) << "watch " << c.watch << " step " << c.step;
        EXPECT_EQ(port.tuned, c.watch) << "watch " << c.watch;
        EXPECT_EQ(radioState.dwellLimit, 500) << "watch " << c.watch;
        EXPECT_EQ(radioState.dwellCount, 0) << "watch " << c.watch;
    }
}

TEST_F(Scan, FreeWatchPutsTheHeldChannelBack)
{
    // decision 5
    playTable({
        {"halt hold", ScanHalt, 384, 384, 448, 1, 440, {}, {{385, 0, forever}}, 513,
         {{6, 440}, {6, 385}, {12, 440}, {12, 385}, {513, 440}, {513, 385}}},
        {"a step passing an Off channel needs no restore", ScanHalt, 384, 384, 448, 1, 440,
         {{386, ModeOff}}, {}, 13, {{6, 440}, {6, 385}, {12, 440}, {12, 387}}},
        {"nor one passing an Off channel at the wrap", ScanHalt, 448, 384, 448, 1, 440,
         {{384, ModeOff}}, {}, 7, {{6, 440}, {6, 385}}},
    });
}

TEST_F(Scan, EveryBusyJumpChannelGetsItsOwnHold)
{
    // decision 7: a hold that ends on a free channel leaves nothing armed
    playTable({
        {"next busy channel after a step", ScanJump, 384, 384, 448, 1, 0, {},
         {{385, 0, 50}, {386, 0, forever}}, 220, {{6, 385}, {113, 386}, {220, 387}}},
        {"next busy channel after a pass", ScanJump, 384, 384, 448, 1, 0, {{386, ModeOff}},
         {{385, 0, 50}, {387, 0, forever}}, 220, {{6, 385}, {113, 387}, {220, 388}}},
        {"busy watch channel after a watch move", ScanJump, 384, 384, 448, 1, 440, {},
         {{385, 0, 50}, {440, 100, forever}}, 715,
         {{6, 440}, {6, 385}, {113, 440}, {113, 440}, {715, 441}}},
        {"halt rule with a Jump channel", ScanHalt, 384, 384, 448, 1, 0,
         {{385, ModeJump}, {386, ModeJump}}, {{385, 0, 50}, {386, 0, forever}}, 220,
         {{6, 385}, {113, 386}, {220, 387}}},
    });
}

// Keying while the scanner runs: the scan stops where it stands, and while the
// line is keyed only the transmit channel is loaded: the repeater's input on a
// repeater output (duplex), the channel itself anywhere else (simplex), so that
// the answer comes back where the station was heard.
TEST_F(Scan, KeyingStopsTheScanAndTransmitsOnTheChannelItStoodOn)
{
    constexpr int keyedTicks = 600;  // longer than a halt hold
    constexpr int afterTicks = 600;
    const struct {
        const char *name;
        int state, start, watch;
        std::vector<Signal> signals;
        int keyAt;       // the first keyed tick
        bool scanPress;  // Scan pressed after the stop, while still keyed
        int stood, duplexMode;  // the channel the scan stood on, and its working
        int rx, tx;             // its receive and transmit channels
    } cases[] = {
        {"during a dwell, on a repeater output", ScanHalt, 437, 0, {}, 9, false, 438, 1, 438, 390},
        {"on the deciding tick", ScanHalt, 437, 0, {}, 12, false, 438, 1, 438, 390},
        {"halted on a busy repeater output", ScanHalt, 437, 0, {{440, 0, forever}}, 100, false,
         440, 1, 440, 392},
        {"held on a busy channel under Jump", ScanJump, 437, 0, {{440, 0, forever}}, 100, false,
         440, 1, 440, 392},
        {"halted on a busy repeater input: simplex, heard there after release", ScanHalt, 386, 0,
         {{388, 0, forever}}, 300, false, 388, 2, 388, 388},
        {"held on a busy repeater input under Jump: simplex", ScanJump, 396, 0, {{399, 0, forever}},
         80, false, 399, 2, 399, 399},
        {"halted on a busy simplex channel", ScanHalt, 410, 0, {{412, 0, forever}}, 40, false, 412,
         2, 412, 412},
        {"a quiet watch channel set, keyed on the deciding tick", ScanHalt, 437, 460, {}, 12, false,
         438, 1, 438, 390},
        {"Scan pressed again while keyed", ScanHalt, 437, 0, {{440, 0, forever}}, 100, true, 440,
         1, 440, 392},
    };
    for (const auto &c : cases) {
        tick = 0;
        loads.clear();
        start(c.start, c.state);
        radioState.watchChannel = c.watch;
        signals = c.signals;
        run(c.keyAt - 1);
        ASSERT_NE(radioState.scanState, ScanOff) << c.name;

        port.status = keyedMask;
        size_t firstKeyed = loads.size();
        run(1);
        EXPECT_EQ(radioState.scanState, ScanOff) << c.name;
        EXPECT_EQ(radioState.duplexMode, c.duplexMode) << c.name;
        EXPECT_EQ(port.texts[2101], "Mode: Off") << c.name;
        EXPECT_EQ(radioState.txActive, 1) << c.name << ": the display in the transmit colour";
        ASSERT_GT(loads.size(), firstKeyed) << c.name << ": nothing loaded in the keyed tick";
        EXPECT_EQ(loads[firstKeyed].tick, c.keyAt) << c.name;
        if (c.scanPress) {
            onPanelCommand(panel, IDC_SCAN);
        }
        run(keyedTicks - 1);
        EXPECT_EQ(radioState.scanState, ScanOff) << c.name;
        for (size_t i = firstKeyed; i < loads.size(); ++i) {
            EXPECT_EQ(loads[i].channel, c.tx) << c.name << ", " << ::testing::PrintToString(loads[i]);
        }

        port.status = 0;
        size_t firstReleased = loads.size();
        run(afterTicks);
        ASSERT_GT(loads.size(), firstReleased) << c.name;
        EXPECT_EQ(loads[firstReleased].tick, c.keyAt + keyedTicks) << c.name;
        for (size_t i = firstReleased; i < loads.size(); ++i) {
            EXPECT_EQ(loads[i].channel, c.rx) << c.name << ", " << ::testing::PrintToString(loads[i]);
        }
        EXPECT_EQ(radioState.channel, c.stood) << c.name;
        EXPECT_EQ(radioState.scanState, ScanOff) << c.name;
    }
}

// Keyed soon after the scan left the channel it last stopped on for a signal,
// the keyed stop answers there: the first load of the keyed tick and every load
// while keyed is that channel's transmit channel, and released the radio
// receives there. Keyed later, or after another stop, or after the operator
// moved the scan, it stops where the scan stands. (Ticks: the scan from 437
// reaches 440 at 18 and decides at 24; a halt decides again at 525, a jump
// hold leaves at 125.)
TEST_F(Scan, KeyingSoonAfterTheScanLeftAStationAnswersThere)
{
    constexpr int here = 0;  // where the scan stands at the keyed tick
    const struct {
        const char *name;
        int state, start, watch;
        std::vector<Signal> signals;
        int pressAt, press;  // a panel command before that tick, or 0
        int keyAt;           // the first keyed tick
        int answered;        // the channel the stop answers on
    } cases[] = {
        {"halted, the station stops 0.5 s before the hold ends, keyed 0.8 s after", ScanHalt, 437, 0,
         {{440, 0, 475}}, 0, 0, 525 + 80, 440},
        {"a Jump hold leaves a station still speaking, keyed 0.8 s after", ScanJump, 397, 0,
         {{400, 0, forever}}, 0, 0, 125 + 80, 400},
        {"a busy watch channel, left when it went free", ScanHalt, 437, 412, {{412, 0, 300}}, 0, 0,
         507 + 80, 412},
        {"keyed 4.9 s after leaving", ScanHalt, 437, 0, {{440, 0, 475}}, 0, 0, 525 + 490, 440},
        {"keyed 5.1 s after leaving", ScanHalt, 437, 0, {{440, 0, 475}}, 0, 0, 525 + 510, here},
        {"a second stop since, then left", ScanHalt, 437, 0, {{440, 0, 475}, {445, 0, 600}}, 0, 0,
         1056 + 80, 445},
        {"halted on a second station", ScanHalt, 437, 0, {{440, 0, 475}, {445, 0, forever}}, 0, 0,
         700, 445},
        {"the operator stepped on after the scan left", ScanHalt, 437, 0, {{440, 0, 475}},
         525 + 40, IDC_STEP_UP, 525 + 80, here},
    };
    for (const auto &c : cases) {
        tick = 0;
        loads.clear();
        channelAt.assign(1, 0);
        start(c.start, c.state);
        radioState.watchChannel = c.watch;
        signals = c.signals;
        if (c.press != 0) {
            run(c.pressAt - 1);
            onPanelCommand(panel, c.press);
        }
        run(c.keyAt - 1 - tick);
        ASSERT_NE(radioState.scanState, ScanOff) << c.name;
        int answered = c.answered == here ? radioState.channel : c.answered;
        if (c.answered == here) {
            ASSERT_NE(radioState.channel, 440) << c.name << ": the scan stands on the station";
        }
        int tx = channelDuplexMode(answered) == 1 ? answered - 48 : answered;

        port.status = keyedMask;
        size_t firstKeyed = loads.size();
        run(100);
        ASSERT_GT(loads.size(), firstKeyed) << c.name;
        EXPECT_EQ(loads[firstKeyed].tick, c.keyAt) << c.name;
        for (size_t i = firstKeyed; i < loads.size(); ++i) {
            EXPECT_EQ(loads[i].channel, tx) << c.name << ", " << ::testing::PrintToString(loads[i]);
        }
        EXPECT_EQ(radioState.channel, answered) << c.name << ": the displays name another channel";

        port.status = 0;
        size_t firstReleased = loads.size();
        run(20);
        ASSERT_GT(loads.size(), firstReleased) << c.name;
        for (size_t i = firstReleased; i < loads.size(); ++i) {
            EXPECT_EQ(loads[i].channel, answered) << c.name << ", " << ::testing::PrintToString(loads[i]);
        }
    }
}

// The Scan button's own stop still selects the channel's class working:
// reverse duplex on a repeater input.
TEST_F(Scan, TheScanButtonStopsOnTheChannelsClassWorking)
{
    const struct {
        int channel, duplexMode;
    } cases[] = {{388, 3}, {440, 1}, {412, 2}};
    for (const auto &c : cases) {
        start(c.channel, ScanJump);
        onPanelCommand(panel, IDC_SCAN);
        EXPECT_EQ(radioState.scanState, ScanOff) << c.channel;
        EXPECT_EQ(radioState.duplexMode, c.duplexMode) << c.channel;
    }
}

// A Scan press after a keyed stop starts a fresh scan: its first decision six
// ticks on, with no rest of the old hold and no jump armed from before. (After
// the Scan button's own stop a scan goes on with what was left.)
TEST_F(Scan, AScanAfterAKeyedStopStartsAfresh)
{
    const struct {
        const char *name;
        int state;       // the scan keyed on, and the one Scan presses bring back
        int keyAt;       // 20 ticks after the scan reached the busy 440
        int presses;     // Scan presses after the release: 1 Halt, 2 Jump
        bool stillBusy;  // 440 still busy when the scan starts again
        std::vector<Load> after;  // loads from the first press on, ticks counted from it
    } cases[] = {
        // The halt hold had 480 ticks left: the scan moves on at its first decision.
        {"halted, then free", ScanHalt, 42, 1, false, {{6, 441}, {12, 442}}},
        // Held under Jump with jumpArmed set: a fresh jump hold, not an
        // immediate leave.
        {"held under Jump, still busy", ScanJump, 42, 2, true, {{107, 441}, {113, 442}}},
    };
    for (const auto &c : cases) {
        tick = 0;
        loads.clear();
        start(437, c.state);
        signals = {{440, 0, forever}};
        run(c.keyAt - 1);
        ASSERT_EQ(radioState.channel, 440) << c.name;
        ASSERT_GT(radioState.dwellLimit, stepDwell) << c.name << ": not held";
        port.status = keyedMask;
        run(50);
        ASSERT_EQ(radioState.scanState, ScanOff) << c.name;
        port.status = 0;
        run(50);
        if (!c.stillBusy) {
            signals.clear();
        }

        size_t first = loads.size();
        int pressedAt = tick;
        for (int i = 0; i < c.presses; ++i) {
            onPanelCommand(panel, IDC_SCAN);
        }
        EXPECT_EQ(radioState.dwellCount, 0) << c.name;
        EXPECT_EQ(radioState.dwellLimit, stepDwell) << c.name;
        EXPECT_EQ(radioState.jumpArmed, 0) << c.name;
        run(120);
        std::vector<Load> after;
        for (size_t i = first; i < loads.size() && after.size() < c.after.size(); ++i) {
            after.push_back({loads[i].tick - pressedAt, loads[i].channel});
        }
        EXPECT_EQ(after, c.after) << c.name;
    }
}

TEST_F(Scan, StatusText)
{
    const struct { int state, channel, mode, watch, low, high; const char *text; } cases[] = {
        {ScanOff, 432, ModeOn, 0, 384, 448, " Mode: Off\n\n145.000  -  145.800\nOn\nWatch: "},
        {ScanHalt, 432, ModeOff, 432, 384, 448,
         " Mode: Halt\n\n145.000  -  145.800\nOff\nWatch\xB4: 145.600"},
        {ScanJump, 433, ModeJump, 305, 304, 464,
         " Mode: Jump\n\n144.000  -  146.000\nJump\nWatch\xB4: 144.012"},
        {0, 311, 0, 463, 311, 309, " Mode: Jump\n\n144.087  -  144.063\nJump\nWatch\xB4: 145.988"},
        {7, 384, ModeOn, 0, 400, 400, " Mode: Jump\n\n145.200  -  145.200\nOn\nWatch: "},
    };
    for (const auto &c : cases) {
        start(c.channel, c.state);
        channelFlags[c.channel - 304] = (channelFlags[c.channel - 304] & ~7) | c.mode;
        radioState.watchChannel = c.watch;
        radioState.scanLow = c.low;
        radioState.scanHigh = c.high;
        showScannerStatus(panel);
        EXPECT_EQ(port.texts[2101], c.text) << "state " << c.state << " channel " << c.channel;
        EXPECT_EQ(port.textOrder, std::vector<int>{2101}) << "state " << c.state;
        EXPECT_TRUE(port.events.empty()) << "state " << c.state;
    }
}

}  // namespace
