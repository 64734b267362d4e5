#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>

#include "radio/port_protocol.h"
#include "radio/radio_state.h"
#include "res/resource.h"
#include "tests/core/port_double.h"
#include "ui/panel_commands.h"

namespace {

PanelWindow const panel = reinterpret_cast<PanelWindow>(0x1101);

// A port library that pumps the panel's messages inside its calls: the next
// data write runs what `atDataWrite` holds, after recording the write and
// before returning, as a tick or a click dispatched in the middle of a load.
PortOutProc recordOut;
std::deque<std::vector<std::function<void()>>> atDataWrite;

void PORT_CALL pumpingOut(int p, int value)
{
    recordOut(p, value);
    if (p == dataPort && !atDataWrite.empty()) {
        std::vector<std::function<void()>> messages = atDataWrite.front();
        atDataWrite.pop_front();
        for (const auto &message : messages) {
            message();
        }
    }
}

void resetPumpingCore()
{
    resetCore();
    recordOut = PortOut;
    PortOut = pumpingOut;
    atDataWrite.clear();
}

std::function<void()> tick()
{
    return [] { onPanelTick(panel); };
}

std::function<void()> command(int id)
{
    return [id] { onPanelCommand(panel, id); };
}

// Every data write is followed by its settle wait and its own control write
// before anything else reaches the port.
bool loadsAreWhole()
{
    const std::vector<PortEvent> &e = port.events;
    for (size_t i = 0; i < e.size(); ++i) {
        if (e[i].kind == PortEvent::Write && e[i].port == dataPort &&
            (i + 2 >= e.size() || !(e[i + 1] == wait(2)) || !(e[i + 2].kind == PortEvent::Write) ||
             e[i + 2].port != controlPort)) {
            return false;
        }
    }
    return true;
}

TEST(PanelOneThingAtATime, ATickInsideALoadTouchesNothing)
{
    resetPumpingCore();
    // Inside the tick's load, and inside a command's.
    atDataWrite = {{tick(), tick()}};
    onPanelTick(panel);
    EXPECT_EQ(loadedChannels(), std::vector<int>({432}));
    EXPECT_EQ(port.reads, 1) << "only the outer tick samples the transmitter";

    atDataWrite = {{tick()}};
    onPanelCommand(panel, IDC_STEP_UP);
    EXPECT_EQ(loadedChannels(), std::vector<int>({432, 433}));
    EXPECT_EQ(port.reads, 2);
    EXPECT_TRUE(loadsAreWhole());

    // Once the panel is free again, the next tick runs.
    onPanelTick(panel);
    EXPECT_EQ(loadedChannels(), std::vector<int>({432, 433, 433}));
}

TEST(PanelOneThingAtATime, ACommandInsideALoadRunsWhenItIsDoneInTheOrderTheyCame)
{
    resetPumpingCore();
    // Two clicks inside a tick's load, a third inside the first click's load.
    atDataWrite = {{command(IDC_STEP_UP), command(IDC_FAST_UP)}, {command(IDC_STEP_DOWN)}};
    onPanelTick(panel);
    EXPECT_EQ(loadedChannels(), std::vector<int>({432, 433, 441, 440}));
    EXPECT_EQ(radioState.channel, 440);
    EXPECT_TRUE(loadsAreWhole());
    EXPECT_EQ(port.texts[IDC_FREQUENCY_DISPLAY], "RX 145.700\n\nTX 145.100");

    // The panel's start takes a click the same way.
    resetPumpingCore();
    atDataWrite = {{command(IDC_STEP_DOWN), tick()}};
    initialisePanel(panel);
    EXPECT_EQ(loadedChannels(), std::vector<int>({432, 431}));
    EXPECT_EQ(radioState.channel, 431);
    EXPECT_TRUE(loadsAreWhole());
}

TEST(PanelOneThingAtATime, CommandsBeyondTheWaitingRoomAreDropped)
{
    resetPumpingCore();
    std::vector<std::function<void()>> clicks(maxWaitingCommands + 8, command(IDC_STEP_DOWN));
    atDataWrite = {clicks};
    onPanelTick(panel);
    EXPECT_EQ(radioState.channel, 432 - maxWaitingCommands);
    EXPECT_EQ(loadedChannels().size(), 1u + maxWaitingCommands);
    EXPECT_TRUE(loadsAreWhole());

    // The waiting room goes on working, across its end and round again.
    for (int round = 0; round < 8; ++round) {
        atDataWrite = {std::vector<std::function<void()>>(5, command(IDC_STEP_UP))};
        onPanelTick(panel);
    }
    EXPECT_EQ(radioState.channel, 432 - maxWaitingCommands + 40);
    onPanelCommand(panel, IDC_STEP_UP);
    EXPECT_EQ(radioState.channel, 432 - maxWaitingCommands + 41);
    EXPECT_TRUE(loadsAreWhole());
}

// A typed channel is selected as "[" selects 304: both displays at once, the
// load at the next tick; inside a load it waits its turn as a click does.
TEST(PanelOneThingAtATime, ATypedChannelIsSelectedAsTheBandEdgeButtonsSelectTheirs)
{
    resetPumpingCore();
    onPanelChannelEntered(panel, 440);
    EXPECT_EQ(radioState.channel, 440);
    EXPECT_EQ(port.textOrder, std::vector<int>({IDC_SCANNER_DISPLAY, IDC_FREQUENCY_DISPLAY}));
    EXPECT_EQ(port.texts[IDC_FREQUENCY_DISPLAY], "RX 145.700\n\nTX 145.100");
    EXPECT_TRUE(loadedChannels().empty());
    onPanelTick(panel);
    EXPECT_EQ(loadedChannels(), std::vector<int>({440}));

    for (int channel : {303, 465, 0, -1}) {
        onPanelChannelEntered(panel, channel);
        EXPECT_EQ(radioState.channel, 440) << "outside the band: " << channel;
    }

    bool busyInside = false;
    atDataWrite = {{[&] { busyInside = panelIsBusy(); }, [] { onPanelChannelEntered(panel, 304); },
                    command(IDC_STEP_UP)}};
    onPanelTick(panel);
    EXPECT_TRUE(busyInside);
    EXPECT_FALSE(panelIsBusy());
    EXPECT_EQ(loadedChannels(), std::vector<int>({440, 440, 305}));
    EXPECT_TRUE(loadsAreWhole());
}

}  // namespace
