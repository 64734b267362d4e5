#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "radio/channel_plan.h"
#include "radio/port_protocol.h"
#include "radio/radio_state.h"
#include "scanner/channel_memory.h"
#include "scanner/scanner.h"
#include "tests/core/port_double.h"

namespace {

PanelWindow const panel = reinterpret_cast<PanelWindow>(0x1101);
constexpr int keyed = 0x80;

// A load: tens and units to the data port, the hundreds digit (xor 0x0B) to the
// control port, each followed by the 2 ms settle wait.
std::vector<PortEvent> load(int data, int control)
{
    return {write(888, data), wait(2), write(890, control), wait(2)};
}

TEST(PortProtocol, TuneChannelSendsDigitsWithWaits)
{
    const struct { int channel, data, control; } cases[] = {
        {304, 0x04, 0x08}, {384, 0x84, 0x08}, {432, 0x32, 0x0F},
        {464, 0x64, 0x0F}, {256, 0x56, 0x09}, {0, 0x00, 0x0B},
        {999, 0x99, 0x02}, {7, 0x07, 0x0B},
    };
    for (const auto &c : cases) {
        resetCore();
        tuneChannel(c.channel);
        EXPECT_EQ(port.events, load(c.data, c.control)) << "channel " << c.channel;
        EXPECT_EQ(lastLoadedChannel(), c.channel);
        EXPECT_EQ(port.reads, 0) << "a load reads nothing back, channel " << c.channel;
    }
}

TEST(PortProtocol, StepsClampAtTheBandEdgesAndReload)
{
    const struct { int from, k; bool up; int to; } cases[] = {
        {460, 8, true, 464}, {456, 8, true, 464}, {455, 8, true, 463},
        {464, 1, true, 464}, {463, 1, true, 464}, {463, 2, true, 464},
        {462, 2, true, 464}, {461, 2, true, 463}, {432, 1, true, 433},
        {310, 8, false, 304}, {313, 8, false, 305}, {312, 8, false, 304},
        {305, 1, false, 304}, {304, 1, false, 304}, {306, 2, false, 304},
        {432, 1, false, 431},
    };
    for (const auto &c : cases) {
        resetCore();
        radioState.duplexMode = 2;
        radioState.channel = c.from;
        c.up ? stepUp(c.k) : stepDown(c.k);
        const char *op = c.up ? "stepUp(" : "stepDown(";
        EXPECT_EQ(radioState.channel, c.to) << op << c.k << ") from " << c.from;
        EXPECT_EQ(loadedChannels(), std::vector<int>{c.to}) << op << c.k << ") from " << c.from;
        EXPECT_TRUE(port.textOrder.empty()) << "a step refreshes no text, from " << c.from;
    }
}

TEST(PortProtocol, StepFollowsTheTransmitLine)
{
    resetCore();
    radioState.channel = 431;
    port.status = keyed;
    stepUp(1);
    EXPECT_EQ(loadedChannels(), std::vector<int>{384});
    EXPECT_EQ(radioState.channel, 432);
    EXPECT_EQ(radioState.txActive, 1);
}

TEST(PortProtocol, RetuneLoadsByDuplexModeAndTransmitLine)
{
    // decision 1: keyed, the shifted channel is loaded exactly in duplex,
    // whatever the flag word of channel + 1 says.
    const struct { int duplexMode, status, loaded; } cases[] = {
        {1, 0, 432}, {1, keyed, 384}, {2, 0, 432}, {2, keyed, 432},
        {3, 0, 384}, {3, keyed, 432}, {0, 0, 432}, {0, keyed, 432},
        {5, 0, 432}, {5, keyed, 432}, {3, 0x40, 384}, {1, 0xC0, 384},
    };
    for (int nextOff = 0; nextOff <= 1; ++nextOff) {
        for (const auto &c : cases) {
            resetCore();
            if (nextOff) {
                setChannelScanMode(433, ModeOff);
            }
            radioState.channel = 432;
            radioState.duplexMode = c.duplexMode;
            port.status = c.status;
            retune(432, nullptr);
            EXPECT_EQ(loadedChannels(), std::vector<int>{c.loaded})
                << "mode " << c.duplexMode << " status 0x" << std::hex << c.status
                << std::dec << " channel 433 " << (nextOff ? "Off" : "On");
            EXPECT_EQ(port.readPort, 889);
        }
    }
}

TEST(PortProtocol, KeyedAtTheTopEdgeIgnoresChannelFlags)
{
    // 464 has no channel above it; 463 with 464 Off must not shift in simplex.
    const struct { int channel, duplexMode, loaded; } cases[] = {
        {464, 2, 464}, {464, 1, 416}, {463, 2, 463}, {463, 3, 463}, {463, 1, 415},
    };
    for (const auto &c : cases) {
        resetCore();
        setChannelScanMode(464, ModeOff);
        radioState.channel = c.channel;
        radioState.duplexMode = c.duplexMode;
        port.status = keyed;
        retune(c.channel, nullptr);
        EXPECT_EQ(loadedChannels(), std::vector<int>{c.loaded})
            << "channel " << c.channel << " mode " << c.duplexMode;
    }
}

TEST(PortProtocol, TextsRefreshOnlyOnATransmitLineChange)
{
    // status per call, and the refreshes counted after it
    const int statuses[] = {0, 0, keyed, keyed, keyed, 0, 0, 0xC0, 0x40};
    const int refreshes[] = {0, 0, 1, 1, 1, 2, 2, 3, 4};
    resetCore();
    for (int i = 0; i < 9; ++i) {
        port.status = statuses[i];
        retune(432, panel);
        EXPECT_EQ(port.textWrites[2112], refreshes[i]) << "call " << i;
        EXPECT_EQ(port.textWrites[2101], refreshes[i]) << "call " << i;
        EXPECT_EQ(radioState.prevTxActive, statuses[i] >> 7) << "call " << i;
    }
    EXPECT_EQ(loadedChannels(), (std::vector<int>{432, 432, 384, 384, 384, 432, 432, 384, 432}));
    EXPECT_EQ(port.textOrder.size(), 8u);
    for (size_t i = 0; i + 1 < port.textOrder.size(); i += 2) {
        EXPECT_EQ(port.textOrder[i], 2112) << "write " << i;
        EXPECT_EQ(port.textOrder[i + 1], 2101) << "write " << i + 1;
    }
}

TEST(PortProtocol, RefreshedTextsShowTheNewState)
{
    resetCore();
    port.status = keyed;
    retune(432, panel);
    EXPECT_EQ(port.texts[2112], "RX 145.600\n\nTX 145.000");
    EXPECT_EQ(port.texts[2101], " Mode: Off\n\n145.000  -  145.800\nOn\nWatch: ");
}

TEST(PortProtocol, ChangeSeenByAStepIsNotRefreshedLater)
{
    const struct { bool up; int status; } cases[] = {
        {true, keyed}, {false, keyed}, {true, 0}, {false, 0},
    };
    for (const auto &c : cases) {
        resetCore();
        radioState.prevTxActive = radioState.txActive = c.status ? 0 : 1;
        port.status = c.status;
        c.up ? stepUp(1) : stepDown(1);
        EXPECT_EQ(radioState.prevTxActive, c.status ? 1 : 0);
        retune(radioState.channel, panel);
        EXPECT_TRUE(port.textOrder.empty())
            << (c.up ? "stepUp" : "stepDown") << " status 0x" << std::hex << c.status;
    }
}

TEST(PortProtocol, StatusHighBitsAreIgnored)
{
    const struct { int in, status, busy, keyed; } cases[] = {
        {0x00, 0, 0, 0}, {0xC0, -64, 1, 1}, {0x40, 0x40, 1, 0}, {0x80, -128, 0, 1},
        {0x3F, 0x3F, 0, 0}, {0xBF, -65, 0, 1}, {static_cast<int>(0xFFFFFF40u), 0x40, 1, 0},
        {-64, -64, 1, 1}, {0x140, 0x40, 1, 0}, {0x7F00, 0, 0, 0}, {0x1FF, -1, 1, 1},
        {INT_MIN, 0, 0, 0}, {static_cast<int>(0xFFFFFF3Fu), 0x3F, 0, 0},
    };
    for (const auto &c : cases) {
        resetCore();
        port.status = c.in;
        EXPECT_EQ(readStatus(), c.status) << "PortIn 0x" << std::hex << c.in;
        EXPECT_EQ(channelBusy(), c.busy) << "PortIn 0x" << std::hex << c.in;
        EXPECT_EQ(transmitKeyed(), c.keyed) << "PortIn 0x" << std::hex << c.in;
        EXPECT_EQ(port.reads, 3) << "each test reads the port afresh";
    }
}

TEST(PortProtocol, EmptySlotsDoNothing)
{
    resetCore();
    PortOut = nullptr;
    PortIn = nullptr;
    radioState.channel = 432;
    radioState.prevTxActive = 1;
    tuneChannel(400);
    loadSynthesizer(432, KeyedChoice{432, 1});
    stepUp(1);
    stepDown(8);
    retune(radioState.channel, panel);
    EXPECT_EQ(readStatus(), 0);
    EXPECT_EQ(channelBusy(), 0);
    EXPECT_EQ(transmitKeyed(), 0);
    EXPECT_EQ(radioState.txActive, 0);
    EXPECT_EQ(radioState.channel, 425);
    for (const PortEvent &e : port.events) {
        EXPECT_NE(e.kind, PortEvent::Write) << "port " << e.port;
    }
    EXPECT_EQ(port.reads, 0);

    // A running scan without the library goes on as over a quiet band: its
    // first decision loads 384, where it stands, the next steps on.
    radioState.scanState = ScanHalt;
    radioState.channel = 384;
    radioState.watchChannel = 440;
    for (int tick = 0; tick < 12; ++tick) {
        onTimerTick(panel);
    }
    EXPECT_EQ(radioState.channel, 385);
    EXPECT_EQ(port.reads, 0);
}

TEST(PortProtocol, ChannelsOutsideTheDigitsAreNotSent)
{
    // decision 3: nothing sent, the last channel kept, the texts show the arithmetic
    const struct { int channel, duplexMode, shift, status; const char *text; } cases[] = {
        {304, 1, 400, keyed, "RX 144.000\n\nTX 139.000"},   // loads -96
        {304, 3, 400, 0, "RX 139.000\n\nTX 144.000"},       // loads -96
        {432, 1, -600, keyed, "RX 145.600\n\nTX 153.100"},  // loads 1032
        {432, 3, -568, 0, "RX 152.700\n\nTX 145.600"},      // loads 1000
        {304, 1, 305, keyed, "RX 144.000\n\nTX 140.188"},   // loads -1
    };
    for (const auto &c : cases) {
        resetCore();
        tuneChannel(333);
        port.events.clear();
        radioState.channel = c.channel;
        radioState.duplexMode = c.duplexMode;
        radioState.shiftChannels = c.shift;
        port.status = c.status;
        radioState.prevTxActive = c.status ? 0 : 1;
        retune(c.channel, panel);
        EXPECT_TRUE(port.events.empty()) << "channel " << c.channel << " shift " << c.shift;
        EXPECT_EQ(lastLoadedChannel(), 333) << "channel " << c.channel << " shift " << c.shift;
        EXPECT_EQ(port.texts[2112], c.text) << "channel " << c.channel << " shift " << c.shift;
    }
}

// Keyed, the transmitter stays in the band: a transmit channel the shift puts
// outside 304..464 is not loaded, and the synthesizer keeps the band channel it
// holds. Receiving outside the band (reverse duplex near an edge) still loads.
TEST(PortProtocol, KeyedNeverLoadsATransmitChannelOutsideTheBand)
{
    const struct {
        const char *name;
        int channel, duplexMode, shift, held, status;
        std::vector<int> loads;
    } cases[] = {
        {"duplex at the low edge", 304, 1, 48, 304, keyed, {}},
        {"duplex one channel under the lowest that transmits", 351, 1, 48, 351, keyed, {}},
        {"duplex transmitting on the low edge itself", 352, 1, 48, 352, keyed, {304}},
        {"a negative shift at the high edge", 464, 1, -2, 464, keyed, {}},
        {"a negative shift transmitting on the high edge", 463, 1, -1, 463, keyed, {464}},
        {"released at the low edge: receives there", 304, 1, 48, 304, 0, {304}},
        {"reverse duplex receives below the band", 304, 3, 48, 304, 0, {256}},
        {"reverse duplex transmits on the channel", 304, 3, 48, 256, keyed, {304}},
        {"holding a channel off the band, duplex keyed: the channel itself", 304, 1, 48, 256, keyed, {304}},
    };
    for (const auto &c : cases) {
        resetCore();
        tuneChannel(c.held);
        port.events.clear();
        radioState.channel = c.channel;
        radioState.duplexMode = c.duplexMode;
        radioState.shiftChannels = c.shift;
        port.status = c.status;
        retune(c.channel, panel);
        EXPECT_EQ(loadedChannels(), c.loads) << c.name;
    }
}

TEST(PortProtocol, OnlyChannelNumbersOfThreeDigitsAreLoaded)
{
    const struct { int channel; bool sent; } cases[] = {
        {0, true}, {999, true}, {-1, false}, {1000, false}, {-96, false},
        {1032, false}, {INT_MIN, false}, {INT_MAX, false},
    };
    for (const auto &c : cases) {
        resetCore();
        tuneChannel(500);
        unsigned long loads = loadCount();
        port.events.clear();
        tuneChannel(c.channel);
        EXPECT_EQ(port.events.empty(), !c.sent) << "channel " << c.channel;
        EXPECT_EQ(loadCount(), loads + (c.sent ? 1 : 0)) << "channel " << c.channel;
        if (c.sent) {
            EXPECT_EQ(loadedChannels(), std::vector<int>{c.channel});
        }
    }
}

}  // namespace
