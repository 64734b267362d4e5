#include "ui/panel_commands.h"

#include <cstdint>
#include <cstdio>

#include "radio/channel_plan.h"
#include "radio/port_protocol.h"
#include "radio/radio_state.h"
#include "res/resource.h"
#include "scanner/channel_memory.h"
#include "scanner/scanner.h"

namespace {

constexpr int defaultShift = 48;  // 600 kHz
constexpr int fastStep = 8;       // 100 kHz, whatever the spacing

// The command of a typed channel: beyond the 16 bits of a control identifier,
// so no WM_COMMAND can carry it.
constexpr int enteredChannelCommand = 0x10000;

// What the panel is doing: nothing, or a tick, a command or its start. While
// it is busy, commands wait in a ring, oldest at `firstWaiting`.
struct WaitingCommand {
    PanelWindow window;
    int id;
    int channel;  // enteredChannelCommand: the channel typed
};
bool panelBusy = false;
WaitingCommand waitingCommands[maxWaitingCommands];
int firstWaiting = 0;
int waitingCount = 0;

void markDuplex(PanelWindow window, int id)
{
    checkRadioButton(window, IDC_DUPLEX, IDC_SIMPLEX, id);
}

void markSpacing(PanelWindow window, int id)
{
    checkRadioButton(window, IDC_SPACING_12K5, IDC_SPACING_25K, id);
}

void showShift(PanelWindow window)
{
    char text[32];
    formatShift(text, sizeof text, radioState.shiftChannels);
    setControlText(window, IDC_SHIFT_DISPLAY, text);
}

// After a channel button: the scanner display (mode word), then the frequencies.
void showChannel(PanelWindow window)
{
    showScannerStatus(window);
    showFrequencyDisplay(window);
}

void setDuplexMode(PanelWindow window, int mode, int button)
{
    radioState.duplexMode = mode;
    markDuplex(window, button);
    showFrequencyDisplay(window);
}

void setSpacing(PanelWindow window, int step, int button)
{
    radioState.channelStep = step;
    markSpacing(window, button);
    showFrequencyDisplay(window);
}

// The shift buttons also rewrite the frequency display, so the TX frequency
// shown is always the one that will be transmitted on.
void setShift(PanelWindow window, int shiftChannels)
{
    radioState.shiftChannels = shiftChannels;
    showShift(window);
    showFrequencyDisplay(window);
}

// The shift has no bound: a press past either end of the int range wraps
// round, as the 32-bit program's arithmetic does, instead of overflowing.
int nextShift(int shiftChannels, int delta)
{
    return static_cast<int>(static_cast<uint32_t>(shiftChannels) + static_cast<uint32_t>(delta));
}

void cycleScanState(PanelWindow window)
{
    RadioState &rs = radioState;
    if (rs.scanState == ScanOff) {
        rs.scanState = ScanHalt;
        rs.duplexMode = 2;
        markDuplex(window, IDC_SIMPLEX);
        setControlText(window, IDC_SCANNER_DISPLAY, "mode: Halt");
        // Started outside its range, or on a locked-out channel, the scan
        // goes at once to the first channel it scans.
        startScan(window);
    } else if (rs.scanState == ScanHalt) {
        rs.scanState = ScanJump;
        setControlText(window, IDC_SCANNER_DISPLAY, "Mode: Skip");
    } else {
        stopScan(window);
    }
    showFrequencyDisplay(window);
}

void cycleChannelMode(PanelWindow window)
{
    RadioState &rs = radioState;
    if (isModeOff(rs.channel)) {
        setChannelScanMode(rs.channel, ModeOn);
    } else if (isModeOn(rs.channel)) {
        setChannelScanMode(rs.channel, ModeJump);
    } else {
        setChannelScanMode(rs.channel, ModeOff);
    }
    if (rs.scanState != ScanOff) {
        // The running scan leaves the channel at once.
        advanceScan(window);
        showFrequencyDisplay(window);
    }
    showScannerStatus(window);
}

void selectEnteredChannel(PanelWindow window, int channel)
{
    if (isBandChannel(channel)) {
        radioState.channel = channel;
        showChannel(window);
    }
}

// One command, run at once.
void runPanelCommand(PanelWindow window, int id, int channel)
{
    RadioState &rs = radioState;
    switch (id) {
    case enteredChannelCommand:
        selectEnteredChannel(window, channel);
        break;
    case IDC_STEP_UP:
        stepUp(rs.channelStep);
        showChannel(window);
        break;
    case IDC_STEP_DOWN:
        stepDown(rs.channelStep);
        showChannel(window);
        break;
    case IDC_FAST_UP:
        stepUp(fastStep);
        showChannel(window);
        break;
    case IDC_FAST_DOWN:
        stepDown(fastStep);
        showChannel(window);
        break;
    case IDC_BAND_HIGH:
        rs.channel = bandHighChannel;
        showChannel(window);
        break;
    case IDC_BAND_LOW:
        rs.channel = bandLowChannel;
        showChannel(window);
        break;
    case IDC_RESET:
        resetPanel(window);
        showScannerStatus(window);
        break;
    case IDC_SCAN:
        cycleScanState(window);
        break;
    // Start, Stop and Watch show the range and watch channel they set at once.
    case IDC_SCAN_START:
        rs.scanLow = rs.channel;
        showScannerStatus(window);
        break;
    case IDC_SCAN_STOP:
        rs.scanHigh = rs.channel;
        showScannerStatus(window);
        break;
    case IDC_WATCH:
        rs.watchChannel = (rs.watchChannel == rs.channel) ? 0 : rs.channel;
        showScannerStatus(window);
        break;
    case IDC_MODE:
        cycleChannelMode(window);
        break;
    case IDC_DUPLEX:
        setDuplexMode(window, 1, IDC_DUPLEX);
        break;
    case IDC_REV_DUP:
        setDuplexMode(window, 3, IDC_REV_DUP);
        break;
    case IDC_SIMPLEX:
        setDuplexMode(window, 2, IDC_SIMPLEX);
        break;
    case IDC_SPACING_12K5:
        setSpacing(window, 1, IDC_SPACING_12K5);
        break;
    case IDC_SPACING_25K:
        setSpacing(window, 2, IDC_SPACING_25K);
        break;
    case IDC_SHIFT_DOWN:
        setShift(window, nextShift(rs.shiftChannels, -1));
        break;
    case IDC_SHIFT_UP:
        setShift(window, nextShift(rs.shiftChannels, 1));
        break;
    case IDC_SHIFT_DEFAULT:
        setShift(window, defaultShift);
        break;
    default:
        break;
    }
}

// Takes the panel for one tick, command or start; false while it is busy.
bool takePanel()
{
    if (panelBusy) {
        return false;
    }
    panelBusy = true;
    return true;
}

// Runs the commands that came while the panel was busy, those that come
// meanwhile included, then frees the panel.
void releasePanel()
{
    while (waitingCount > 0) {
        WaitingCommand command = waitingCommands[firstWaiting];
        firstWaiting = (firstWaiting + 1) % maxWaitingCommands;
        --waitingCount;
        runPanelCommand(command.window, command.id, command.channel);
    }
    panelBusy = false;
}

// Runs a command now, or once the panel is free.
void takeCommand(PanelWindow window, int id, int channel)
{
    if (takePanel()) {
        runPanelCommand(window, id, channel);
        releasePanel();
    } else if (waitingCount < maxWaitingCommands) {
        waitingCommands[(firstWaiting + waitingCount) % maxWaitingCommands] = {window, id, channel};
        ++waitingCount;
    }
}

}  // namespace

void formatShift(char *buffer, size_t size, int shiftChannels)
{
    std::snprintf(buffer, size, "- %.1fKHz", 12.5 * shiftChannels);
}

void resetPanel(PanelWindow window)
{
    RadioState &rs = radioState;
    rs.scanState = ScanOff;
    forgetHeardStop();
    rs.channel = homeChannel;
    rs.duplexMode = 1;
    rs.shiftChannels = defaultShift;
    // The home channel through the gate, in duplex: keyed, its transmit
    // channel (145.000 MHz) and nothing else, never the repeater's output.
    loadOperatorChannel(rs.channel);
    fillChannelMemory();
    settleWait(2);
    markDuplex(window, IDC_DUPLEX);
    setControlText(window, IDC_SHIFT_DISPLAY, "-600.0KHz");
    showFrequencies(window, rs.channel);
}

void initialisePanel(PanelWindow window)
{
    bool taken = takePanel();
    fillChannelMemory();
    resetPanel(window);
    radioState.channelStep = 1;
    markDuplex(window, IDC_DUPLEX);
    markSpacing(window, IDC_SPACING_12K5);
    showFrequencies(window, radioState.channel);
    showScannerStatus(window);
    if (taken) {
        releasePanel();
    }
}

void onPanelTick(PanelWindow window)
{
    if (!takePanel()) {
        return;
    }
    onTimerTick(window);
    releasePanel();
}

void onPanelCommand(PanelWindow window, int id)
{
    if (id != enteredChannelCommand) {
        takeCommand(window, id, 0);
    }
}

void onPanelChannelEntered(PanelWindow window, int channel)
{
    takeCommand(window, enteredChannelCommand, channel);
}

bool panelIsBusy()
{
    return panelBusy;
}
