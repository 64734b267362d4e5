#include "scanner/scanner.h"

#include <cstdio>

#include "radio/channel_plan.h"
#include "radio/port_protocol.h"
#include "radio/radio_state.h"
#include "res/resource.h"
#include "scanner/channel_memory.h"

HeardStop heardStop;

namespace {

// What a load of the scanner's own, or a move of the scan, came to.
enum class Outcome {
    Done,     // the scan goes on
    Keyed,    // the line read keyed: the tick ended in the keyed stop
    Stopped,  // nothing in the range to scan: the scanner is off
};

// The channels between the range's two ends, whichever was set higher: Start
// and Stop may be pressed in either order.
struct ScanRange {
    int low, high;
};

ScanRange scanRange()
{
    const RadioState &rs = radioState;
    return rs.scanLow < rs.scanHigh ? ScanRange{rs.scanLow, rs.scanHigh} : ScanRange{rs.scanHigh, rs.scanLow};
}

bool inScanRange(int channel)
{
    ScanRange r = scanRange();
    return channel >= r.low && channel <= r.high;
}

// The watch channel the scan samples: none while unset or locked out.
int activeWatch()
{
    int w = radioState.watchChannel;
    return (w != 0 && !isModeOff(w)) ? w : 0;
}

// The keyed stop's working on a channel: duplex on a repeater output, simplex
// anywhere else, repeater inputs included (the answer is heard where the
// station was).
int keyedWorking(int channel)
{
    return channelDuplexMode(channel) == 1 ? 1 : 2;
}

// The scan stops on the current channel for a signal.
void rememberStop()
{
    heardStop.channel = radioState.channel;
    heardStop.ticksSinceLeft = -1;
}

// After a scanning tick: where the scan stands, and the ticks since it left
// the heard channel as the next tick counts them.
void followScan()
{
    HeardStop &h = heardStop;
    h.scanChannel = radioState.channel;
    if (h.channel == 0) {
        return;
    }
    if (h.ticksSinceLeft < 0) {
        if (radioState.channel != h.channel) {
            h.ticksSinceLeft = 1;
        }
    } else if (h.ticksSinceLeft <= answerWindow) {
        ++h.ticksSinceLeft;
    }
}

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

// The keyed stop on `choice`, all but its load: the scanner off on that
// channel in that working, and the next Scan starting afresh, as from the
// panel's start: no rest of a hold, and no jump armed, from the scan that was
// stopped.
void enterKeyedStop(PanelWindow window, KeyedChoice choice)
{
    RadioState &rs = radioState;
    rs.channel = choice.channel;
    forgetHeardStop();
    stopScanWith(window, choice.duplexMode);
    rs.dwellLimit = stepDwell;
    rs.dwellCount = 0;
    rs.jumpArmed = 0;
}

// A load of the scanner's own: `listen` while the line reads unkeyed. Keyed,
// the gate has loaded the keyed stop's transmit channel instead, and the scan
// stops there: whatever the step was about to do, nothing else is loaded.
Outcome scanLoad(PanelWindow window, int listen, KeyedChoice stop)
{
    if (!loadSynthesizer(listen, stop).keyed) {
        return Outcome::Done;
    }
    enterKeyedStop(window, stop);
    // Written after the gate has seen the line keyed: the display names the
    // transmit frequency in the transmit colour.
    showFrequencies(window, radioState.channel);
    return Outcome::Keyed;
}

// The next channel the scan goes to from `from`: one step up, but never past
// the range's upper end, which is scanned whatever the step; after the upper
// end, or from outside the range, the lower end. A locked-out channel is
// passed over in the same move. 0 when every channel the steps reach is
// locked out.
int nextScanChannel(int from)
{
    const RadioState &rs = radioState;
    ScanRange r = scanRange();
    int step = rs.channelStep > 0 ? rs.channelStep : 1;
    // Up to the upper end, then once round from the lower end: every channel
    // the steps can reach.
    int moves = 2 * ((r.high - r.low) / step + 2);
    int channel = from;
    for (int i = 0; i < moves; ++i) {
        if (channel < r.low || channel >= r.high) {
            channel = r.low;
        } else {
            channel = channel + step < r.high ? channel + step : r.high;
        }
        if (!isModeOff(channel)) {
            return channel;
        }
    }
    return 0;
}

// The scan moves on to the next channel it scans, loaded through the gate.
Outcome moveOn(PanelWindow window, KeyedChoice stop)
{
    RadioState &rs = radioState;
    // Every move leaves the hold of the channel behind.
    rs.jumpArmed = 0;
    int next = nextScanChannel(rs.channel);
    if (next == 0) {
        // Every channel of the range is locked out: nothing to scan. The
        // scanner stops as the Scan button stops it, on the channel it stands
        // on, and the synthesizer goes where the displays then say.
        stopScan(window);
        Outcome loaded = scanLoad(window, receiveChannel(rs.channel), stop);
        return loaded == Outcome::Keyed ? loaded : Outcome::Stopped;
    }
    Outcome loaded = scanLoad(window, receiveChannel(next), stop);
    if (loaded != Outcome::Done) {
        return loaded;
    }
    rs.channel = next;
    rs.dwellLimit = stepDwell;
    rs.dwellCount = 0;
    return Outcome::Done;
}

// One decision of the scan, on the channel it stands on.
Outcome decide(PanelWindow window)
{
    RadioState &rs = radioState;
    // Should the line read keyed at any load of this decision, the keyed stop
    // is the one this tick's own reading would have made.
    const KeyedChoice stop = keyedStopChoice();
    const int channel = rs.channel;
    const int watch = activeWatch();

    // Nothing is decided on a channel the scan does not scan (outside the
    // range, the watch channel apart, or locked out), nor on one whose receive
    // channel cannot be loaded: the scan moves on.
    const int listen = receiveChannel(channel);
    if ((!inScanRange(channel) && channel != watch) || isModeOff(channel) || listen < 0 || listen > 999) {
        return moveOn(window, stop);
    }
    // Nor on a channel the synthesizer does not hold (the operator moved the
    // scan with a button that loads nothing): it is loaded, and listened to
    // for a dwell first.
    if (lastLoadedChannel() != listen) {
        Outcome loaded = scanLoad(window, listen, stop);
        rs.dwellLimit = stepDwell;
        rs.dwellCount = 0;
        return loaded;
    }

    int busy = channelBusy();
    if (busy && (rs.scanState == ScanJump || isModeJump(channel))) {
        if (rs.jumpArmed == 1) {
            return moveOn(window, stop);
        }
        rs.jumpArmed = 1;
        rs.dwellLimit = jumpHold;
        rs.dwellCount = 0;
        rememberStop();
        return Outcome::Done;
    }

    // A free watch channel is not left in the synthesizer: when this decision
    // then loads nothing else, the channel the operator hears is put back.
    int heldBefore = lastLoadedChannel();
    if (watch != 0) {
        if (scanLoad(window, watch, stop) == Outcome::Keyed) {
            return Outcome::Keyed;
        }
        if (channelBusy()) {
            // Land on the watch channel itself, wherever it lies: the scan
            // goes on from there once it is free.
            rs.channel = watch;
            rs.jumpArmed = 0;
            if (scanLoad(window, receiveChannel(watch), stop) == Outcome::Keyed) {
                return Outcome::Keyed;
            }
            rs.dwellCount = 0;
            rs.dwellLimit = haltHold;
            rememberStop();
            return Outcome::Done;
        }
    }
    unsigned long loadsBefore = loadCount();
    if (busy) {
        rs.dwellCount = 0;
        rs.dwellLimit = haltHold;
        rememberStop();
    } else {
        Outcome moved = moveOn(window, stop);
        if (moved != Outcome::Done) {
            return moved;
        }
    }
    if (watch != 0 && loadCount() == loadsBefore && heldBefore >= 0) {
        return scanLoad(window, heldBefore, stop);
    }
    return Outcome::Done;
}

}  // namespace

void forgetHeardStop()
{
    heardStop = HeardStop();
}

KeyedChoice keyedStopChoice()
{
    // The operator keyed to answer on the channel the scan stands on, where
    // the station was heard. Keyed soon after the scan left a station, the
    // operator answers that station: the stop goes back to it, unless that
    // would transmit off the band or on a locked-out channel.
    const RadioState &rs = radioState;
    const HeardStop &h = heardStop;
    bool left = h.channel != 0 && rs.channel == h.scanChannel && h.ticksSinceLeft >= 0 &&
                h.ticksSinceLeft <= answerWindow && !isModeOff(h.channel);
    if (left) {
        KeyedChoice back{h.channel, keyedWorking(h.channel)};
        if (isBandChannel(keyedTransmitChannel(back))) {
            return back;
        }
    }
    return KeyedChoice{rs.channel, keyedWorking(rs.channel)};
}

void onTimerTick(PanelWindow window)
{
    RadioState &rs = radioState;
    if (rs.scanState == ScanOff) {
        forgetHeardStop();
        retune(rs.channel, window);
        return;
    }
    // A channel moved by the operator since the last tick (a channel button,
    // a typed frequency, Mode) is theirs, and what the scan heard before is
    // not what they answer.
    if (heardStop.channel != 0 && rs.channel != heardStop.scanChannel) {
        forgetHeardStop();
    }
    if (transmitKeyed()) {
        stopScanForTransmit(window);
    } else {
        scanTick(window);
    }
}

void retune(int n, PanelWindow window)
{
    GateLoad load = loadOperatorChannel(n);
    if (load.lineChanged && window != nullptr) {
        showFrequencies(window, n);
        showScannerStatus(window);
    }
}

void stopScan(PanelWindow window)
{
    // Back on the channel's own working: duplex on a repeater output, reverse
    // duplex on its input, simplex elsewhere.
    stopScanWith(window, channelDuplexMode(radioState.channel));
}

void stopScanForTransmit(PanelWindow window)
{
    // The scan stops and the transmitter goes to the choice's transmit
    // channel in this tick. Nothing steps, jumps or samples the watch channel
    // while keyed.
    enterKeyedStop(window, keyedStopChoice());
    loadOperatorChannel(radioState.channel);
    showFrequencies(window, radioState.channel);
}

void scanTick(PanelWindow window)
{
    RadioState &rs = radioState;
    if (rs.dwellCount < rs.dwellLimit) {
        ++rs.dwellCount;
        // The TX line changes on a counting tick only when the time to answer
        // the station the scan left runs out.
        int shown = keyedTransmitChannel(keyedStopChoice());
        followScan();
        if (keyedTransmitChannel(keyedStopChoice()) != shown) {
            showFrequencyDisplay(window);
        }
        return;
    }
    if (decide(window) == Outcome::Keyed) {
        return;
    }
    if (rs.scanState != ScanOff) {
        followScan();
    }
    showScannerStatus(window);
    showFrequencyDisplay(window);
}

void startScan(PanelWindow window)
{
    int channel = radioState.channel;
    if (inScanRange(channel) && !isModeOff(channel)) {
        // The scan goes on from where it is; its first decision loads the
        // channel itself first should the synthesizer hold another (its
        // shifted channel, in reverse duplex).
        return;
    }
    moveOn(window, keyedStopChoice());
}

void advanceScan(PanelWindow window)
{
    moveOn(window, keyedStopChoice());
}

int shownTransmitChannel()
{
    const RadioState &rs = radioState;
    if (rs.scanState == ScanOff) {
        return transmitChannel(rs.channel);
    }
    return keyedTransmitChannel(keyedStopChoice());
}

void showFrequencyDisplay(PanelWindow window)
{
    showFrequencyLines(window, receiveChannel(radioState.channel), shownTransmitChannel());
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
