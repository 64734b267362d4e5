// The transmit line keyed at chosen moments inside the program's own work: in
// the middle of a scanner step (right after the watch sample, at a given
// status read), at Reset and at the panel's opening. Whatever the step was
// about to do, with the line keyed only the transmit channel the keyed rules
// pick reaches the synthesizer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "radio/channel_plan.h"
#include "radio/port_protocol.h"
#include "radio/radio_state.h"
#include "res/resource.h"
#include "scanner/channel_memory.h"
#include "scanner/scanner.h"
#include "tests/core/port_double.h"
#include "ui/panel_commands.h"

namespace {

PanelWindow const panel = reinterpret_cast<PanelWindow>(0x1101);
constexpr int forever = 1 << 30;

// The panel's ticks with the transceiver played by the port double.
class Keyed : public ::testing::Test {
protected:
    int tick = 0;
    std::vector<Signal> signals;

    void start(int channel, int state, int watch = 0)
    {
        resetCore();
        tick = 0;
        radioState.duplexMode = 2;
        radioState.scanState = state;
        radioState.channel = channel;
        radioState.watchChannel = watch;
        loadSynthesizer(channel, KeyedChoice{channel, 2});
        port.events.clear();
        port.lineLoads.clear();
    }

    void run(int ticks)
    {
        for (int i = 0; i < ticks; ++i) {
            ++tick;
            setBusyAt(signals, tick);
            onPanelTick(panel);
        }
    }

    // Runs until the scan stands on `channel`, at most `limit` ticks.
    void runTo(int channel, int limit = 2000)
    {
        for (int i = 0; i < limit && radioState.channel != channel; ++i) {
            run(1);
        }
        ASSERT_EQ(radioState.channel, channel) << "the scan never reached " << channel;
    }

    static std::string frequencies(int rx, int tx)
    {
        char text[64];
        formatFrequencyLines(text, sizeof text, rx, tx);
        return text;
    }
};

// The line keyed right after a watch sample, in the decision's few
// milliseconds: the tick ends in the keyed stop, its first load (and every
// load while keyed) the transmit channel of the answer, never the sweep's next
// channel nor the channel put back.
TEST_F(Keyed, RightAfterTheWatchSampleOnlyTheAnswersTransmitChannel)
{
    const struct {
        const char *name;
        int start, watch;
        std::vector<Signal> signals;
        int standOn;       // the scan stands here when the watch sample is keyed
        int answered, tx;  // the keyed stop's channel and its transmit channel
    } cases[] = {
        {"sweeping from 437, no station heard: where the scan stands, duplex", 437, 460, {}, 437, 437, 389},
        {"sweeping on a simplex channel", 412, 460, {}, 412, 412, 412},
        {"0.5 s after leaving the busy 440: back to 440's input", 437, 460, {{440, 0, 475}}, 442, 440, 392},
        {"halted on the busy 440: it stays, duplex", 437, 460, {{440, 0, forever}}, 440, 440, 392},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        start(c.start, ScanHalt, c.watch);
        signals = c.signals;
        runTo(c.standOn);
        // Wait for the decision that samples the watch channel (the one 0.5 s
        // after leaving needs the halt hold to end first).
        while (radioState.dwellCount < radioState.dwellLimit) {
            run(1);
        }
        port.lineChanges.push_back({LineChange::AfterLoadOf, c.watch});
        port.lineLoads.clear();
        run(1);
        ASSERT_TRUE(port.lineChanges.empty()) << "the watch channel was not sampled";
        EXPECT_EQ(radioState.scanState, ScanOff);
        EXPECT_EQ(radioState.channel, c.answered);
        EXPECT_EQ(port.lineLoads, (std::vector<LineLoad>{{c.watch, false}, {c.tx, true}}))
            << "in the keyed tick";
        run(40);
        for (int channel : keyedLoads()) {
            EXPECT_EQ(channel, c.tx);
        }
        EXPECT_EQ(port.texts[2101], "Mode: Off");
        EXPECT_EQ(radioState.txActive, 1);
    }
}

// Keyed at any status read of a deciding tick with a watch channel: the
// tick's own, the squelch read, the gate's before the watch sample, the
// squelch of the watch channel, the gate's before the step. Whichever, the
// only channel loaded with the line keyed is 437's transmit channel.
TEST_F(Keyed, AtEveryStatusReadOfADecision)
{
    for (int read = 1; read <= 5; ++read) {
        SCOPED_TRACE("keyed at read " + std::to_string(read) + " of the deciding tick");
        start(437, ScanHalt, 460);
        run(5);
        port.lineChanges.push_back({LineChange::AtRead, port.reads + read});
        port.lineLoads.clear();
        run(20);
        EXPECT_EQ(radioState.scanState, ScanOff);
        EXPECT_EQ(radioState.channel, 437);
        ASSERT_FALSE(keyedLoads().empty());
        for (int channel : keyedLoads()) {
            EXPECT_EQ(channel, 389);
        }
    }
}

// Jump scan, a station on 400 goes on speaking, 401 locked out: the scan
// leaves 400 after its hold straight for 402, in the same tick, never standing
// on 401 nor showing it. Keyed soon after, only 400 (simplex) is loaded.
TEST_F(Keyed, JumpPastALockedOutChannelAnswersTheStationHeard)
{
    start(398, ScanJump);
    setChannelScanMode(401, ModeOff);
    signals = {{400, 0, forever}};
    std::vector<int> stood;
    int at400 = 0, at402 = 0;
    for (int i = 0; i < 124; ++i) {
        size_t before = port.lineLoads.size();
        run(1);
        for (size_t k = before; k < port.lineLoads.size(); ++k) {
            if (port.lineLoads[k].channel == 400 && at400 == 0) {
                at400 = tick;
            }
            if (port.lineLoads[k].channel == 402 && at402 == 0) {
                at402 = tick;
            }
        }
        EXPECT_NE(radioState.channel, 401) << "tick " << tick;
    }
    EXPECT_EQ(at400, 12);
    // 6 ticks on 400 before the decision that holds it, the 101-tick hold,
    // and the step on in the hold's last tick.
    EXPECT_EQ(at402, 119);
    EXPECT_EQ(radioState.channel, 402);
    EXPECT_EQ(port.texts[2112].rfind("RX 145.225", 0), 0u) << port.texts[2112];

    port.lineChanges.push_back({LineChange::AtRead, port.reads + 1});
    port.lineLoads.clear();
    run(30);
    EXPECT_EQ(radioState.channel, 400);
    EXPECT_EQ(keyedLoads(), std::vector<int>(30, 400));
}

// A locked-out channel is never where the keyed stop lands: 441 locked out,
// keyed at the gate's read of the step that leaves 440, or right after that
// step's load (of 442, passing 441 over), the transmitter never goes to 393.
TEST_F(Keyed, TheKeyedStopNeverLandsOnALockedOutChannel)
{
    const struct {
        const char *name;
        LineChange change;  // read numbers counted from the deciding tick on 440
        int stop, tx;
    } cases[] = {
        {"keyed at the step's own read", {LineChange::AtRead, 3}, 440, 392},
        {"keyed right after the load of 442", {LineChange::AfterLoadOf, 442}, 442, 394},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        start(437, ScanHalt);
        setChannelScanMode(441, ModeOff);
        runTo(440);
        run(5);
        LineChange change = c.change;
        if (change.trigger == LineChange::AtRead) {
            change.value += port.reads;
        }
        port.lineChanges.push_back(change);
        port.lineLoads.clear();
        run(10);
        EXPECT_EQ(radioState.scanState, ScanOff);
        EXPECT_EQ(radioState.channel, c.stop);
        ASSERT_FALSE(keyedLoads().empty());
        for (int channel : keyedLoads()) {
            EXPECT_EQ(channel, c.tx);
        }
    }
}

// Keyed exactly 500 ticks after the scan left the station, the stop still
// answers it; 501 ticks after, it stops where the scan stands.
TEST_F(Keyed, TheLookBackWindowEndsAfterFiveHundredTicks)
{
    for (int after : {500, 501}) {
        SCOPED_TRACE(std::to_string(after) + " ticks after leaving");
        start(398, ScanJump);
        signals = {{400, 0, 130}};  // gone before the scan comes round again
        run(119);                   // 400 left in this tick
        ASSERT_EQ(radioState.channel, 401);
        run(after - 1);
        int standing = radioState.channel;
        ASSERT_NE(standing, 400);
        // The TX line says already where a key-up would transmit.
        int expected = after <= 500 ? 400 : standing;
        EXPECT_EQ(port.texts[2112], frequencies(standing, expected));
        port.status = keyedMask;
        port.lineLoads.clear();
        run(1);
        EXPECT_EQ(radioState.channel, expected);
        EXPECT_EQ(keyedLoads(), std::vector<int>{expected});
    }
}

// Keyed stop on a station whose transmit channel lies off the band (a shift of
// 200 channels takes 440's input to 240): the stop does not go back, it stops
// where the scan stands, and the synthesizer and the displays agree on it.
TEST_F(Keyed, AnAnswerOffTheBandStopsWhereTheScanIs)
{
    start(437, ScanHalt);
    radioState.shiftChannels = 200;
    signals = {{440, 0, 475}};
    runTo(448);
    port.status = keyedMask;
    port.lineLoads.clear();
    run(10);
    EXPECT_EQ(radioState.channel, 448);
    EXPECT_EQ(radioState.duplexMode, 2);
    EXPECT_EQ(keyedLoads(), std::vector<int>(10, 448));
    EXPECT_EQ(port.texts[2112], frequencies(448, 448));
}

// Reset while keyed, in duplex on 410 (transmitting on 362): the home
// channel's transmit channel, 384, and never the repeater output 432.
TEST_F(Keyed, ResetWhileKeyedLoadsOnlyTheHomeTransmitChannel)
{
    for (bool atItsRead : {false, true}) {
        SCOPED_TRACE(atItsRead ? "keyed at Reset's own status read" : "keyed before Reset");
        resetCore();
        radioState.channel = 410;
        radioState.duplexMode = 1;
        onPanelTick(panel);
        if (atItsRead) {
            port.lineChanges.push_back({LineChange::AtRead, port.reads + 1});
        } else {
            port.status = keyedMask;
            onPanelTick(panel);
        }
        port.lineLoads.clear();
        onPanelCommand(panel, IDC_RESET);
        EXPECT_EQ(port.lineLoads, (std::vector<LineLoad>{{384, true}}));
        EXPECT_EQ(radioState.channel, 432);
        EXPECT_EQ(radioState.txActive, 1) << "the display in the transmit colour";
        EXPECT_EQ(port.texts[2112], "RX 145.600\n\nTX 145.000");
        onPanelTick(panel);
        port.status = 0;
        onPanelTick(panel);
        EXPECT_EQ(port.lineLoads, (std::vector<LineLoad>{{384, true}, {384, true}, {432, false}}));
    }
}

// The panel's opening looks at the line before its first load: keyed, 384
// alone; unkeyed, the same traffic as ever (the load of 432, then the 2 ms
// after the channel memory fill), one status read before it.
TEST_F(Keyed, TheOpeningLooksAtTheLineFirst)
{
    resetCore();
    port.status = keyedMask;
    initialisePanel(panel);
    EXPECT_EQ(port.lineLoads, (std::vector<LineLoad>{{384, true}}));
    EXPECT_EQ(port.texts[2112], "RX 145.600\n\nTX 145.000");

    resetCore();
    initialisePanel(panel);
    EXPECT_EQ(port.events, (std::vector<PortEvent>{write(888, 0x32), wait(2), write(890, 0x0F), wait(2), wait(2)}));
    EXPECT_EQ(port.reads, 1);
    EXPECT_EQ(port.texts[2112], "RX 145.600\n\nTX 145.000");
}

// Scan pressed outside the range starts at its lower end at once, below or
// above it; inside it goes on from where it is. Pressed on a busy locked-out
// channel it leaves at once, and keyed then never transmits there.
TEST_F(Keyed, ScanStartsInsideItsRange)
{
    const struct {
        const char *name;
        int channel;
        bool lockedOut;
        std::vector<int> loads;  // from the press, through tick 12
    } cases[] = {
        {"below the range", 304, false, {384, 385, 386}},
        {"above the range", 460, false, {384, 385, 386}},
        {"inside: from where it is", 400, false, {401, 402}},
        {"on a busy locked-out channel inside", 420, true, {421, 422, 423}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        start(c.channel, ScanOff);
        if (c.lockedOut) {
            setChannelScanMode(c.channel, ModeOff);
        }
        signals.clear();
        if (c.lockedOut) {
            signals = {{c.channel, 0, forever}};
        }
        onPanelCommand(panel, IDC_SCAN);
        run(12);
        std::vector<int> loads;
        for (const LineLoad &l : port.lineLoads) {
            loads.push_back(l.channel);
        }
        EXPECT_EQ(loads, c.loads);
        EXPECT_EQ(radioState.scanState, ScanHalt);
    }

    // Inside, in reverse duplex: the synthesizer holds the shifted channel.
    // The first decision decides nothing on it: it loads the channel itself
    // and listens there a dwell first.
    start(400, ScanOff);
    radioState.duplexMode = 3;
    signals.clear();
    onPanelTick(panel);
    port.lineLoads.clear();
    onPanelCommand(panel, IDC_SCAN);
    run(12);
    EXPECT_EQ(port.lineLoads, (std::vector<LineLoad>{{400, false}, {401, false}}));

    start(420, ScanOff);
    setChannelScanMode(420, ModeOff);
    signals = {{420, 0, forever}};
    onPanelCommand(panel, IDC_SCAN);
    run(3);
    port.status = keyedMask;
    port.lineLoads.clear();
    run(20);
    EXPECT_EQ(radioState.channel, 421);
    EXPECT_EQ(keyedLoads(), std::vector<int>(20, 421));
}

// While the scanner runs, the TX line names where a key-up would transmit: on
// a repeater output its input, the station just left while it may still be
// answered, the channel itself elsewhere; stopped by the Scan button, the
// display is the channel's own again.
TEST_F(Keyed, TheTxLineWhileScanningSaysWhereAKeyUpTransmits)
{
    start(436, ScanHalt);
    signals = {{440, 0, 475}};
    run(6);
    EXPECT_EQ(port.texts[2112], frequencies(437, 389));
    runTo(441);
    EXPECT_EQ(port.texts[2112], frequencies(441, 392)) << "the station on 440 just left";
    runTo(446);
    EXPECT_EQ(port.texts[2112], frequencies(446, 392));
    run(600);
    int here = radioState.channel;
    EXPECT_EQ(port.texts[2112], frequencies(here, channelDuplexMode(here) == 1 ? here - 48 : here));
    onPanelCommand(panel, IDC_SCAN);
    onPanelCommand(panel, IDC_SCAN);
    EXPECT_EQ(radioState.scanState, ScanOff);
    EXPECT_EQ(port.texts[2112], frequencies(receiveChannel(here), transmitChannel(here)));
}

}  // namespace
