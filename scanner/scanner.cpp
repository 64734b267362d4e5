#include "scanner/scanner.h"

#include <cstdio>

#include "radio/channel_plan.h"
#include "radio/port_protocol.h"
#include "radio/radio_state.h"
#include "res/resource.h"
#include "scanner/channel_memory.h"

HeardStop heardStop;

namespace {

// The scan stops on the current channel for a signal.
void rememberStop()
{
    heardStop.channel = radioState.channel;
    heardStop.ticksSinceLeft = -1;
}

// Before a scanning tick: a channel moved by the operator since the last tick
// (a channel button, a typed frequency, Mode) is theirs, and what the scan
// heard before is not what they answer; otherwise one more tick since leaving.
void ageHeardStop()
{
    HeardStop &h = heardStop;
    if (h.channel != 0 && radioState.channel != h.scanChannel) {
        forgetHeardStop();
    }
    if (h.ticksSinceLeft >= 0 && h.ticksSinceLeft <= answerWindow) {
        ++h.ticksSinceLeft;
    }
}

// After a scanning tick: the scan has left the heard channel when it stands
// elsewhere.
void followScan()
{
    HeardStop &h = heardStop;
    h.scanChannel = radioState.channel;
    if (h.channel != 0 && h.ticksSinceLeft < 0 && radioState.channel != h.channel) {
        h.ticksSinceLeft = 0;
    }
}

}  // namespace

void forgetHeardStop()
{
    heardStop = HeardStop();
}

void onTimerTick(PanelWindow window)
{
    RadioState &rs = radioState;
    if (rs.scanState == ScanOff) {
        forgetHeardStop();
        retune(rs.channel, window);
        return;
    }
    ageHeardStop();
    if (transmitKeyed()) {
        stopScanForTransmit(window);
    } else {
        scanTick(window);
        followScan();
    }
}

namespace {

// The scanner off, with duplex mode `mode` marked and "Mode: Off" shown.
void stopScanWith(PanelWindow window, int mode)
{
    RadioState &rs = radioState;
    rs.scanState = ScanOff;
    rs.duplexMode = mode;
    int button = mode == 2 ? IDC_SIMPLEX : mode == 1 ? IDC_DUPLEX : IDC_REV_DUP;
    checkRadioButton(window, IDC_DUPLEX, IDC_SIMPLEX, button);
    setControlText(window, scannerDisplayId, "Mode: Off");
}

}  // namespace

void stopScan(PanelWindow window)
{
    // Back on the channel's own working: duplex on a repeater output, reverse
    // duplex on its input, simplex elsewhere.
    stopScanWith(window, channelDuplexMode(radioState.channel));
}

void stopScanForTransmit(PanelWindow window)
{
    // The operator keyed to answer on the channel the scan stands on, where the
    // station was heard: the scan stops there and the transmitter goes to that
    // channel's transmit channel in this tick. On a repeater output that is the
    // repeater's input (duplex); anywhere else, a repeater input included, it
    // is the channel itself (simplex), and the answer is heard there too.
    // Nothing steps, jumps or samples the watch channel while keyed. Keyed
    // soon after the scan left a station, the operator answers that station:
    // the stop goes back to it.
    RadioState &rs = radioState;
    const HeardStop &h = heardStop;
    if (h.channel != 0 && h.ticksSinceLeft >= 0 && h.ticksSinceLeft <= answerWindow) {
        rs.channel = h.channel;
    }
    forgetHeardStop();
    stopScanWith(window, channelDuplexMode(rs.channel) == 1 ? 1 : 2);
    // The next Scan starts afresh, as from the panel's start: no rest of a
    // hold, and no jump armed, from the scan that was stopped.
    rs.dwellLimit = stepDwell;
    rs.dwellCount = 0;
    rs.jumpArmed = 0;
    retune(rs.channel, nullptr);
    // Written after retune has seen the line keyed: the display names the
    // transmit frequency in the transmit colour.
    showFrequencies(window, rs.channel);
}

void scanTick(PanelWindow window)
{
    RadioState &rs = radioState;
    if (rs.dwellCount < rs.dwellLimit) {
        ++rs.dwellCount;
        return;
    }

    int busy = channelBusy();
    if (busy && (rs.scanState == ScanJump || isModeJump(rs.channel))) {
        if (rs.jumpArmed == 1) {
            rs.jumpArmed = 0;
            advanceScan();
        } else {
            rs.jumpArmed = 1;
            rs.dwellLimit = jumpHold;
            rs.dwellCount = 0;
            rememberStop();
        }
    } else {
        // A free watch channel leaves the synthesizer on it; when this decision
        // then loads nothing else, put back the channel the operator hears.
        int heldBefore = lastLoadedChannel();
        bool watchChecked = rs.watchChannel != 0;
        if (checkWatchChannel(rs.watchChannel) == 0) {
            unsigned long loadsAfterCheck = loadCount();
            if (busy) {
                rs.dwellCount = 0;
                rs.dwellLimit = haltHold;
                rememberStop();
            } else {
                advanceScan();
            }
            if (watchChecked && loadCount() == loadsAfterCheck && heldBefore >= 0) {
                tuneChannel(heldBefore);
            }
        }
    }

    showScannerStatus(window);
    showFrequencies(window, rs.channel);
}

int checkWatchChannel(int w)
{
    RadioState &rs = radioState;
    if (w == 0) {
        return 0;
    }
    tuneChannel(w);
    if (!channelBusy()) {
        return 0;
    }
    // Land on the watch channel itself, wherever it lies: going through
    // advanceScan from one step below would wrap to scanLow when the watch
    // channel is above the range. A watch channel in ModeOff is already loaded.
    rs.channel = w;
    rs.jumpArmed = 0;
    if (!isModeOff(w)) {
        retune(rs.channel, nullptr);
    }
    rs.dwellCount = 0;
    rs.dwellLimit = haltHold;
    rememberStop();
    return 1;
}

void advanceScan()
{
    RadioState &rs = radioState;
    // Start and Stop may be pressed in either order: the range is the
    // channels between its two ends, whichever was set higher.
    int low = rs.scanLow < rs.scanHigh ? rs.scanLow : rs.scanHigh;
    int high = rs.scanLow < rs.scanHigh ? rs.scanHigh : rs.scanLow;
    if (rs.channel >= high) {
        rs.channel = low - rs.channelStep;
    }
    // Every move leaves the hold of the channel behind.
    rs.jumpArmed = 0;
    if (isModeOff(rs.channel + rs.channelStep)) {
        rs.channel += rs.channelStep;
        return;
    }
    stepUp(rs.channelStep);
    rs.dwellLimit = stepDwell;
    rs.dwellCount = 0;
}

void formatScannerStatus(char *buffer, size_t size)
{
    const RadioState &rs = radioState;
    ChannelFrequency low = channelToFrequency(rs.scanLow);
    ChannelFrequency high = channelToFrequency(rs.scanHigh);

    char watch[24];
    if (rs.watchChannel != 0) {
        ChannelFrequency w = channelToFrequency(rs.watchChannel);
        // 0xB4 is the acute accent of the Windows-1252 code page.
        std::snprintf(watch, sizeof watch, "Watch\xB4: %d.%.3d", w.mhz, w.khz);
    } else {
        std::snprintf(watch, sizeof watch, "Watch: ");
    }

    const char *state = rs.scanState == ScanOff ? "Off" : rs.scanState == ScanHalt ? "Halt" : "Jump";
    const char *mode = isModeOn(rs.channel) ? "On" : isModeOff(rs.channel) ? "Off" : "Jump";

    std::snprintf(buffer, size, " Mode: %s\n\n%d.%.3d  -  %d.%.3d\n%s\n%s", state, low.mhz, low.khz,
                  high.mhz, high.khz, mode, watch);
}

void showScannerStatus(PanelWindow window)
{
    char text[128];
    formatScannerStatus(text, sizeof text);
    setControlText(window, scannerDisplayId, text);
}
