#include "tests/soak/core_driver.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "radio/channel_plan.h"
#include "radio/platform_seam.h"
#include "radio/port_protocol.h"
#include "radio/radio_state.h"
#include "res/resource.h"
#include "scanner/channel_memory.h"
#include "scanner/scanner.h"
#include "ui/panel_commands.h"

namespace drive {
namespace {

// The buffers the core formats its three texts into, less the terminator.
constexpr size_t frequencyTextMax = 63;
constexpr size_t scannerTextMax = 127;
constexpr size_t shiftTextMax = 31;

constexpr int lowChannel = 304;
constexpr int highChannel = 464;

std::string format(const char *fmt, ...)
{
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}

// Two's complement subtraction, as the 32-bit program computes a shifted channel.
int32_t wrapSub(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

int32_t wrapAdd(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

bool inBand(int channel)
{
    return channel >= lowChannel && channel <= highChannel;
}

// The channel plan's flag word, written out here on its own.
int32_t planWord(int channel)
{
    if (channel >= 384 && channel <= 399) {
        return 4 | 32;
    }
    if (channel >= 432 && channel <= 447) {
        return 4 | 16;
    }
    return 4 | 8;
}

int transmitOf(const RadioState &rs)
{
    return rs.duplexMode == 1 ? wrapSub(rs.channel, rs.shiftChannels) : rs.channel;
}

// What the transmitter is to do were the line keyed: a channel and its working.
struct Choice {
    int channel;
    int mode;
};

int transmitOf(Choice c, int32_t shift)
{
    return c.mode == 1 ? wrapSub(c.channel, shift) : c.channel;
}

// The keyed stop's rule, written out here on its own: back on the station the
// scan last stopped on when it left that 500 ticks ago or less (the scan not
// moved by the operator since, the station not locked out, its transmit
// channel in the band); otherwise where the scan stands. Duplex on a repeater
// output, simplex elsewhere.
Choice keyedStopOf(const RadioState &rs, const int32_t *flags, int heard, int heardAgo, int scanAt)
{
    auto mode = [&](int c) { return inBand(c) ? flags[c - lowChannel] & 7 : 0; };
    auto working = [&](int c) { return (inBand(c) && (flags[c - lowChannel] & 16) != 0) ? 1 : 2; };
    if (heard != 0 && rs.channel == scanAt && heardAgo >= 0 && heardAgo <= 500 && mode(heard) != 1) {
        Choice back{heard, working(heard)};
        if (inBand(transmitOf(back, rs.shiftChannels))) {
            return back;
        }
    }
    return Choice{rs.channel, working(rs.channel)};
}

// The keyed stop's choice from the core's state as it is now.
Choice liveKeyedStop()
{
    return keyedStopOf(radioState, channelFlags, heardStop.channel, heardStop.ticksSinceLeft, heardStop.scanChannel);
}

// The three texts as the panel must show them, built from the state. While
// the scanner runs, the TX line names where a key-up would transmit.
std::string frequencyText(const RadioState &rs)
{
    int rx = rs.duplexMode == 3 ? wrapSub(rs.channel, rs.shiftChannels) : rs.channel;
    int tx = rs.scanState != 1 ? transmitOf(liveKeyedStop(), rs.shiftChannels) : transmitOf(rs);
    ChannelFrequency r = channelToFrequency(rx);
    ChannelFrequency t = channelToFrequency(tx);
    return format("RX %d.%.3d\n\nTX %d.%.3d", r.mhz, r.khz, t.mhz, t.khz);
}

std::string scannerText(const RadioState &rs)
{
    ChannelFrequency low = channelToFrequency(rs.scanLow);
    ChannelFrequency high = channelToFrequency(rs.scanHigh);
    std::string watch = "Watch: ";
    if (rs.watchChannel != 0) {
        ChannelFrequency w = channelToFrequency(rs.watchChannel);
        watch = format("Watch\xB4: %d.%.3d", w.mhz, w.khz);
    }
    const char *state = rs.scanState == 1 ? "Off" : rs.scanState == 3 ? "Halt" : "Jump";
    int mode = inBand(rs.channel) ? channelFlags[rs.channel - lowChannel] & 7 : 0;
    const char *word = mode == 4 ? "On" : mode == 1 ? "Off" : "Jump";
    return format(" Mode: %s\n\n%d.%.3d  -  %d.%.3d\n%s\n%s", state, low.mhz, low.khz, high.mhz, high.khz,
                  word, watch.c_str());
}

std::string shiftText(int32_t shift)
{
    return format("- %.1fKHz", 12.5 * shift);
}

const char *scanAnnouncement(int scanState)
{
    return scanState == 3 ? "mode: Halt" : scanState == 2 ? "Mode: Skip" : "Mode: Off";
}

// What the doubles saw, over the whole run and within the current step.
struct Recorder {
    PanelWindow window = reinterpret_cast<PanelWindow>(static_cast<uintptr_t>(0x7150));
    StatusLine line;
    AccessHook atAccess;
    unsigned long readCount = 0;
    bool outBound = true;
    bool inBound = true;

    // The wire: each load is data byte, 2 ms, control byte, 2 ms.
    enum Phase { Idle, DataWritten, DataSettled, ControlWritten } phase = Idle;
    int pendingData = 0;
    int tuned = -1;

    // Every load comes right after a status read, the gate's: whether the last
    // port access was that read, and what it read.
    bool lastWasRead = false;
    uint32_t lastRead = 0;
    bool loadAfterRead = false;
    bool loadKeyed = false;
    int heldBeforeLoad = -1;

    // What the keyed rules pick in this step, should a load find the line
    // keyed: none (the step loads nothing while keyed), or a choice.
    bool pickAny = false;
    Choice pick{0, 0};
    int32_t pickShift = 0;

    // Within the step.
    std::vector<int> loads;
    std::vector<uint32_t> reads;
    std::vector<int> textIds;
    std::vector<std::string> scannerTexts;
    int loneWaits = 0;
    bool inScanCommand = false;
    bool inScanningTick = false;
    bool mayStopScan = false;  // a scanning tick, Scan or Mode: may say "Mode: Off"
    std::string fault;

    // Last text per display and the radio buttons marked.
    std::string frequency, scanner, shift;
    int duplexMark = -1;
    int spacingMark = -1;

    void fail(const std::string &what)
    {
        if (fault.empty()) {
            fault = what;
        }
    }

    void beginStep()
    {
        loads.clear();
        reads.clear();
        textIds.clear();
        scannerTexts.clear();
        loneWaits = 0;
        inScanCommand = false;
        inScanningTick = false;
        mayStopScan = false;
        fault.clear();
    }
};

Recorder rec;

void atAccess(bool read, int loaded)
{
    if (rec.atAccess) {
        rec.atAccess(PortAccess{read, rec.readCount, loaded});
    }
}

// At the completion of each load: one that the gate read the line keyed for
// must be inside the band and the transmit channel the keyed rules pick.
void checkLoad(int channel)
{
    if (rec.inBound && !rec.loadAfterRead) {
        rec.fail(format("channel %d loaded without a status read right before it", channel));
    }
    if (!rec.loadKeyed) {
        return;
    }
    if (!inBand(channel)) {
        rec.fail(format("the line read keyed, and channel %d outside the band loaded", channel));
        return;
    }
    if (!rec.pickAny) {
        rec.fail(format("the line read keyed, and channel %d loaded by a step that loads nothing keyed", channel));
        return;
    }
    int expected = transmitOf(rec.pick, rec.pickShift);
    if (!inBand(expected)) {
        // Off the band: only the chosen channel itself, and only when the
        // synthesizer held a channel off the band.
        expected = !inBand(rec.heldBeforeLoad) ? rec.pick.channel : -1;
    }
    if (channel != expected) {
        rec.fail(format("the line read keyed, and channel %d loaded; the keyed rules pick %d (channel %d, working %d)",
                        channel, expected, rec.pick.channel, rec.pick.mode));
    }
}

void PORT_CALL recordOut(int port, int value)
{
    // The core hands over a signed byte widened to int.
    if (value < -128 || value > 127) {
        rec.fail(format("PortOut(%d, %d): not a signed byte", port, value));
    }
    int byte = value & 0xFF;
    if (port == dataPort) {
        if (rec.phase != Recorder::Idle) {
            rec.fail(format("data byte 0x%02X written in the middle of a load", byte));
        }
        if ((byte >> 4) > 9 || (byte & 0x0F) > 9) {
            rec.fail(format("data byte 0x%02X is not two decimal digits", byte));
        }
        rec.pendingData = byte;
        rec.phase = Recorder::DataWritten;
        rec.loadAfterRead = rec.lastWasRead;
        rec.loadKeyed = rec.lastWasRead && (rec.lastRead & 0x80) != 0;
        rec.heldBeforeLoad = rec.tuned;
    } else if (port == controlPort) {
        if (rec.phase != Recorder::DataSettled) {
            rec.fail(format("control byte 0x%02X written without a settled data byte", byte));
        }
        int hundreds = (byte ^ controlInvert) & 0x0F;
        if ((byte & 0xF0) != 0) {
            rec.fail(format("control byte 0x%02X has bits 7..4 set", byte));
        }
        if (hundreds > 9) {
            rec.fail(format("control byte 0x%02X carries the hundreds digit %d", byte, hundreds));
        }
        int channel = hundreds * 100 + (rec.pendingData >> 4) * 10 + (rec.pendingData & 0x0F);
        rec.loads.push_back(channel);
        rec.tuned = channel;
        rec.phase = Recorder::ControlWritten;
        checkLoad(channel);
        rec.lastWasRead = false;
        atAccess(false, channel);
        return;
    } else {
        rec.fail(format("PortOut to port %d", port));
    }
    rec.lastWasRead = false;
    atAccess(false, -1);
}

int PORT_CALL recordIn(int port)
{
    if (port != statusPort) {
        rec.fail(format("PortIn from port %d", port));
    }
    if (rec.phase != Recorder::Idle) {
        rec.fail("status read in the middle of a load");
    }
    ++rec.readCount;
    atAccess(true, -1);
    uint32_t value = rec.line ? rec.line(rec.tuned) : 0;
    rec.reads.push_back(value);
    rec.lastWasRead = true;
    rec.lastRead = value;
    return static_cast<int>(value);
}

void recordWait(unsigned ms)
{
    if (ms != settleMs) {
        rec.fail(format("a wait of %u ms", ms));
    }
    switch (rec.phase) {
    case Recorder::DataWritten:
        rec.phase = Recorder::DataSettled;
        break;
    case Recorder::ControlWritten:
        rec.phase = Recorder::Idle;
        break;
    case Recorder::Idle:
        ++rec.loneWaits;
        break;
    case Recorder::DataSettled:
        rec.fail("two waits between the data and the control byte");
        break;
    }
}

void recordText(PanelWindow window, int id, const char *text)
{
    rec.textIds.push_back(id);
    if (window != rec.window) {
        rec.fail(format("text for control %d written to window %p, not the panel", id, window));
    }
    std::string s = text;
    const RadioState &rs = radioState;
    switch (id) {
    case IDC_FREQUENCY_DISPLAY:
        if (s.size() > frequencyTextMax) {
            rec.fail(format("frequency text of %zu characters", s.size()));
        }
        if (s != frequencyText(rs)) {
            rec.fail("frequency text \"" + s + "\", expected \"" + frequencyText(rs) + "\"");
        }
        rec.frequency = s;
        break;
    case IDC_SCANNER_DISPLAY:
        if (s.size() > scannerTextMax) {
            rec.fail(format("scanner text of %zu characters", s.size()));
        }
        if (s == "mode: Halt" || s == "Mode: Skip" || s == "Mode: Off") {
            // The Scan button announces; a scan stopped by keying, or with
            // nothing left to scan, says "Mode: Off".
            bool stopped = rec.mayStopScan && s == "Mode: Off" && rs.scanState == 1;
            if (!rec.inScanCommand && !stopped) {
                rec.fail("scanner announcement \"" + s + "\" outside the Scan button");
            }
        } else if (s != scannerText(rs)) {
            rec.fail("scanner text \"" + s + "\", expected \"" + scannerText(rs) + "\"");
        }
        rec.scannerTexts.push_back(s);
        rec.scanner = s;
        break;
    case IDC_SHIFT_DISPLAY:
        if (s.size() > shiftTextMax) {
            rec.fail(format("shift text of %zu characters", s.size()));
        }
        if (s != "-600.0KHz" && s != shiftText(rs.shiftChannels)) {
            rec.fail("shift text \"" + s + "\", expected \"" + shiftText(rs.shiftChannels) + "\"");
        }
        if (s == "-600.0KHz" && rs.shiftChannels != 48) {
            rec.fail(format("shift text -600.0KHz with a shift of %d", rs.shiftChannels));
        }
        rec.shift = s;
        break;
    default:
        rec.fail(format("text written to control %d", id));
        break;
    }
}

void recordRadio(PanelWindow window, int first, int last, int id)
{
    if (window != rec.window) {
        rec.fail(format("radio button %d marked in window %p, not the panel", id, window));
    }
    if (first == IDC_DUPLEX && last == IDC_SIMPLEX && id >= first && id <= last) {
        rec.duplexMark = id;
    } else if (first == IDC_SPACING_12K5 && last == IDC_SPACING_25K && id >= first && id <= last) {
        rec.spacingMark = id;
    } else {
        rec.fail(format("radio button %d marked in the group %d..%d", id, first, last));
    }
}

void bindSlots()
{
    PortOut = rec.outBound ? recordOut : nullptr;
    PortIn = rec.inBound ? recordIn : nullptr;
}

// The scanner and the panel by their rules, run on a copy of the state and fed
// with the status values the core actually read during the step.
struct Model {
    RadioState rs;
    int32_t flags[channelMemorySize];
    int held;  // the channel the core last loaded
    std::vector<int> loads;
    const std::vector<uint32_t> &reads;
    bool inBound;
    size_t cursor = 0;
    bool deciding = false;
    bool stoppedByKeying = false;
    bool stoppedAllOff = false;
    bool txChanged = false;
    bool txLineChanged = false;  // a counting tick: the keyed stop's TX changed
    // The channel the scan last stopped on for a signal; left `heardAgo` ticks
    // ago (-1: not left), and where the scan's last tick left the channel.
    int heard, heardAgo, scanAt;

    Model(const RadioState &state, const int32_t *memory, int lastLoaded, const HeardStop &h,
          const std::vector<uint32_t> &r, bool in)
        : rs(state), held(lastLoaded), reads(r), inBound(in), heard(h.channel), heardAgo(h.ticksSinceLeft),
          scanAt(h.scanChannel)
    {
        std::memcpy(flags, memory, sizeof flags);
    }

    int sample()
    {
        size_t i = cursor++;
        // An unbound PortIn reads as no signal and no transmitter.
        if (!inBound || i >= reads.size()) {
            return 0;
        }
        return static_cast<int>(reads[i] & 0xFF);
    }

    int mode(int channel) const { return inBand(channel) ? flags[channel - lowChannel] & 7 : 0; }

    int duplexClass(int channel) const
    {
        int32_t word = inBand(channel) ? flags[channel - lowChannel] : 0;
        return (word & 8) ? 2 : (word & 16) ? 1 : 3;
    }

    void fill()
    {
        for (int c = lowChannel; c <= highChannel; ++c) {
            flags[c - lowChannel] = planWord(c);
        }
    }

    void load(int channel)
    {
        // Numbers outside 0..999 have no three decimal digits and are not sent.
        if (channel >= 0 && channel <= 999) {
            loads.push_back(channel);
            held = channel;
        }
    }

    int rxOf(int n) const { return rs.duplexMode == 3 ? wrapSub(n, rs.shiftChannels) : n; }

    // The gate: the line read, then the channel to listen on, or keyed the
    // choice's transmit channel when it lies in the band. True when keyed.
    bool gate(int listen, Choice keyed)
    {
        int line = (sample() & 0x80) ? 1 : 0;
        rs.txActive = line;
        txChanged = line != rs.prevTxActive;
        rs.prevTxActive = line;
        int target = listen;
        if (line) {
            target = transmitOf(keyed, rs.shiftChannels);
            if (!inBand(target)) {
                // Never off the band; holding a channel off it, the chosen channel itself.
                target = (!inBand(held) && inBand(keyed.channel)) ? keyed.channel : -1;
            }
        }
        load(target);
        return line == 1;
    }

    void retune(int n) { gate(rxOf(n), Choice{n, rs.duplexMode}); }

    void stepUp(int k)
    {
        rs.channel = rs.channel + k >= highChannel ? highChannel : rs.channel + k;
        retune(rs.channel);
    }

    void stepDown(int k)
    {
        rs.channel = rs.channel - k <= lowChannel ? lowChannel : rs.channel - k;
        retune(rs.channel);
    }

    Choice keyedStop() const { return keyedStopOf(rs, flags, heard, heardAgo, scanAt); }

    void enterKeyedStop(Choice c)
    {
        rs.channel = c.channel;
        forgetHeard();
        stoppedByKeying = true;
        rs.scanState = 1;
        rs.duplexMode = c.mode;
        rs.dwellLimit = 5;
        rs.dwellCount = 0;
        rs.jumpArmed = 0;
    }

    enum Out { Done, Keyed, Stopped };

    // A load of the scanner's: keyed, the keyed stop instead of the rest of the step.
    Out scanLoad(int listen, Choice stop)
    {
        if (gate(listen, stop)) {
            enterKeyedStop(stop);
            return Keyed;
        }
        return Done;
    }

    int low() const { return std::min(rs.scanLow, rs.scanHigh); }
    int high() const { return std::max(rs.scanLow, rs.scanHigh); }

    // Up by the step, never past the upper end; after it, or from outside
    // the range, the lower end; Off channels passed. 0: all Off.
    int nextChannel(int from) const
    {
        int step = rs.channelStep > 0 ? rs.channelStep : 1;
        int c = from;
        for (int i = 0; i < 2 * ((high() - low()) / step + 2); ++i) {
            c = (c < low() || c >= high()) ? low() : std::min(c + step, high());
            if (mode(c) != 1) {
                return c;
            }
        }
        return 0;
    }

    Out moveOn(Choice stop)
    {
        rs.jumpArmed = 0;
        int next = nextChannel(rs.channel);
        if (next == 0) {
            // Nothing to scan: the scanner stops as the Scan button stops it.
            rs.scanState = 1;
            rs.duplexMode = duplexClass(rs.channel);
            stoppedAllOff = true;
            return scanLoad(rxOf(rs.channel), stop) == Keyed ? Keyed : Stopped;
        }
        Out o = scanLoad(rxOf(next), stop);
        if (o != Done) {
            return o;
        }
        rs.channel = next;
        rs.dwellLimit = 5;
        rs.dwellCount = 0;
        return Done;
    }

    Out decide()
    {
        const Choice stop = keyedStop();
        const int c = rs.channel;
        const int watch = (rs.watchChannel != 0 && mode(rs.watchChannel) != 1) ? rs.watchChannel : 0;
        const int listen = rxOf(c);
        bool inRange = c >= low() && c <= high();
        if ((!inRange && c != watch) || mode(c) == 1 || listen < 0 || listen > 999) {
            return moveOn(stop);
        }
        if (held != listen) {
            // Not loaded (the operator moved the scan): loaded, and a dwell first.
            Out o = scanLoad(listen, stop);
            rs.dwellLimit = 5;
            rs.dwellCount = 0;
            return o;
        }
        bool busy = (sample() & 0x40) != 0;
        if (busy && (rs.scanState == 2 || mode(c) == 2)) {
            if (rs.jumpArmed == 1) {
                return moveOn(stop);
            }
            rs.jumpArmed = 1;
            rs.dwellLimit = 100;
            rs.dwellCount = 0;
            stopHere();
            return Done;
        }
        int before = held;
        if (watch != 0) {
            if (scanLoad(watch, stop) == Keyed) {
                return Keyed;
            }
            if (sample() & 0x40) {
                rs.channel = watch;
                rs.jumpArmed = 0;
                if (scanLoad(rxOf(watch), stop) == Keyed) {
                    return Keyed;
                }
                rs.dwellCount = 0;
                rs.dwellLimit = 500;
                stopHere();
                return Done;
            }
        }
        size_t loaded = loads.size();
        if (busy) {
            rs.dwellCount = 0;
            rs.dwellLimit = 500;
            stopHere();
        } else {
            Out o = moveOn(stop);
            if (o != Done) {
                return o;
            }
        }
        // A free watch channel is not left in the synthesizer.
        if (watch != 0 && loads.size() == loaded && before >= 0) {
            return scanLoad(before, stop);
        }
        return Done;
    }

    // After a scanning tick: where the scan stands, and a tick more since it
    // left the heard channel, as the next tick counts.
    void age()
    {
        scanAt = rs.channel;
        if (heard == 0) {
            return;
        }
        if (heardAgo < 0) {
            if (rs.channel != heard) {
                heardAgo = 1;
            }
        } else if (heardAgo <= 500) {
            ++heardAgo;
        }
    }

    void scanTick()
    {
        if (rs.dwellCount < rs.dwellLimit) {
            ++rs.dwellCount;
            int shown = transmitOf(keyedStop(), rs.shiftChannels);
            age();
            txLineChanged = transmitOf(keyedStop(), rs.shiftChannels) != shown;
            return;
        }
        deciding = true;
        if (decide() == Keyed) {
            return;
        }
        if (rs.scanState != 1) {
            age();
        }
    }

    void stopHere()
    {
        heard = rs.channel;
        heardAgo = -1;
    }

    void forgetHeard()
    {
        heard = 0;
        heardAgo = -1;
        scanAt = 0;
    }

    void tick()
    {
        if (rs.scanState == 1) {
            forgetHeard();
            retune(rs.channel);
            return;
        }
        // The operator moved the scan: what it heard is forgotten.
        if (heard != 0 && rs.channel != scanAt) {
            forgetHeard();
        }
        // Scanning: the transmit line first. Keyed stops the scan by the
        // keyed stop's choice and loads its transmit channel.
        if (sample() & 0x80) {
            enterKeyedStop(keyedStop());
            retune(rs.channel);
            return;
        }
        scanTick();
    }

    void startScan()
    {
        int c = rs.channel;
        if (c < low() || c > high() || mode(c) == 1) {
            moveOn(keyedStop());
        }
    }

    void reset()
    {
        // Home in duplex through the gate: keyed, its transmit channel.
        rs.scanState = 1;
        forgetHeard();
        rs.channel = homeChannel;
        rs.duplexMode = 1;
        rs.shiftChannels = 48;
        retune(homeChannel);
        fill();
    }

    void reopen()
    {
        fill();
        reset();
        rs.channelStep = 1;
    }

    void command(int id)
    {
        switch (id) {
        case IDC_STEP_UP: stepUp(rs.channelStep); break;
        case IDC_STEP_DOWN: stepDown(rs.channelStep); break;
        case IDC_FAST_UP: stepUp(8); break;
        case IDC_FAST_DOWN: stepDown(8); break;
        case IDC_BAND_HIGH: rs.channel = highChannel; break;
        case IDC_BAND_LOW: rs.channel = lowChannel; break;
        case IDC_RESET: reset(); break;
        case IDC_SCAN:
            if (rs.scanState == 1) {
                rs.scanState = 3;
                rs.duplexMode = 2;
                startScan();
            } else if (rs.scanState == 3) {
                rs.scanState = 2;
            } else {
                rs.scanState = 1;
                rs.duplexMode = duplexClass(rs.channel);
            }
            break;
        case IDC_SCAN_START: rs.scanLow = rs.channel; break;
        case IDC_SCAN_STOP: rs.scanHigh = rs.channel; break;
        case IDC_WATCH: rs.watchChannel = rs.watchChannel == rs.channel ? 0 : rs.channel; break;
        case IDC_MODE: {
            if (!inBand(rs.channel)) {
                break;
            }
            int32_t &word = flags[rs.channel - lowChannel];
            int m = word & 7;
            word = (word & 0xF8) | (m == 1 ? 4 : m == 4 ? 2 : 1);
            if (rs.scanState != 1) {
                moveOn(keyedStop());
            }
            break;
        }
        case IDC_DUPLEX: rs.duplexMode = 1; break;
        case IDC_REV_DUP: rs.duplexMode = 3; break;
        case IDC_SIMPLEX: rs.duplexMode = 2; break;
        case IDC_SPACING_12K5: rs.channelStep = 1; break;
        case IDC_SPACING_25K: rs.channelStep = 2; break;
        case IDC_SHIFT_DOWN: rs.shiftChannels = wrapSub(rs.shiftChannels, 1); break;
        case IDC_SHIFT_UP: rs.shiftChannels = wrapAdd(rs.shiftChannels, 1); break;
        case IDC_SHIFT_DEFAULT: rs.shiftChannels = 48; break;
        default: break;
        }
    }
};

std::string listOf(const std::vector<int> &v)
{
    std::string s = "[";
    for (size_t i = 0; i < v.size(); ++i) {
        s += (i ? " " : "") + std::to_string(v[i]);
    }
    return s + "]";
}

void compareField(const char *name, int32_t actual, int32_t expected)
{
    if (actual != expected) {
        rec.fail(format("%s is %d, expected %d", name, actual, expected));
    }
}

void compareState(const Model &m)
{
    const RadioState &a = radioState;
    const RadioState &e = m.rs;
    compareField("channel", a.channel, e.channel);
    compareField("scanLow", a.scanLow, e.scanLow);
    compareField("scanHigh", a.scanHigh, e.scanHigh);
    compareField("dwellLimit", a.dwellLimit, e.dwellLimit);
    compareField("dwellCount", a.dwellCount, e.dwellCount);
    compareField("jumpArmed", a.jumpArmed, e.jumpArmed);
    compareField("channelStep", a.channelStep, e.channelStep);
    compareField("shiftChannels", a.shiftChannels, e.shiftChannels);
    compareField("scanState", a.scanState, e.scanState);
    compareField("watchChannel", a.watchChannel, e.watchChannel);
    compareField("txActive", a.txActive, e.txActive);
    compareField("prevTxActive", a.prevTxActive, e.prevTxActive);
    compareField("duplexMode", a.duplexMode, e.duplexMode);
    for (int i = 0; i < channelMemorySize; ++i) {
        if (channelFlags[i] != m.flags[i]) {
            rec.fail(format("flag word of channel %d is %d, expected %d", i + lowChannel, channelFlags[i],
                            m.flags[i]));
            break;
        }
    }
    if (rec.outBound && rec.loads != m.loads) {
        rec.fail("loaded " + listOf(rec.loads) + ", expected " + listOf(m.loads));
    }
    if (rec.inBound && m.cursor != rec.reads.size()) {
        rec.fail(format("%zu status reads, expected %zu", rec.reads.size(), m.cursor));
    }
    if (heardStop.channel != m.heard || heardStop.ticksSinceLeft != m.heardAgo ||
        (m.heard != 0 && heardStop.scanChannel != m.scanAt)) {
        rec.fail(format("the scan heard channel %d, left %d ticks ago (scan on %d); expected %d, %d ticks (%d)",
                        heardStop.channel, heardStop.ticksSinceLeft, heardStop.scanChannel, m.heard, m.heardAgo,
                        m.scanAt));
    }
    if (lastLoadedChannel() != m.held) {
        rec.fail(format("the core remembers channel %d as loaded, expected %d", lastLoadedChannel(), m.held));
    }
}

// A jump-rule hold, once armed, belongs to the channel it began on: every move
// of the scan clears it, so only the operator's own channel buttons can leave
// it armed on another channel.
struct ArmedHold {
    int channel = 0;
    bool operatorMoved = false;
} armed;

void checkInvariants(const Step &step, int channelBefore, int armedBefore)
{
    const RadioState &rs = radioState;
    if (!inBand(rs.channel)) {
        rec.fail(format("channel %d outside %d..%d", rs.channel, lowChannel, highChannel));
    }
    // Whatever the step (a tick, a keyed stop, any button), with the transmit
    // line seen keyed nothing outside the band is loaded.
    if (rs.txActive == 1) {
        for (int c : rec.loads) {
            if (!inBand(c)) {
                rec.fail(format("keyed, loaded channel %d outside the band", c));
            }
        }
    }
    if (rs.dwellLimit != 5 && rs.dwellLimit != 100 && rs.dwellLimit != 500) {
        rec.fail(format("dwellLimit %d", rs.dwellLimit));
    }
    if (rs.dwellCount < 0 || rs.dwellCount > rs.dwellLimit) {
        rec.fail(format("dwellCount %d outside 0..%d", rs.dwellCount, rs.dwellLimit));
    }
    if (rs.jumpArmed != 0 && rs.jumpArmed != 1) {
        rec.fail(format("jumpArmed %d", rs.jumpArmed));
    }
    if (rs.jumpArmed == 1 && armedBefore == 0) {
        // Armed now: only a deciding tick that began the jump hold does that.
        if (step.kind != Kind::Tick || rs.dwellLimit != 100 || rs.dwellCount != 0 ||
            rs.channel != channelBefore) {
            rec.fail("jumpArmed set without a jump hold beginning on the channel");
        }
        armed = ArmedHold{rs.channel, false};
    } else if (rs.jumpArmed == 1) {
        if (step.kind != Kind::Tick && rs.channel != channelBefore) {
            armed.operatorMoved = true;
        }
        if (!armed.operatorMoved && rs.channel != armed.channel) {
            rec.fail(format("jumpArmed still set on channel %d after the scan left %d", rs.channel, armed.channel));
        }
    }
    if (rs.scanState < 1 || rs.scanState > 3) {
        rec.fail(format("scanState %d", rs.scanState));
    }
    if (rs.duplexMode < 1 || rs.duplexMode > 3) {
        rec.fail(format("duplexMode %d", rs.duplexMode));
    }
    if (rs.channelStep != 1 && rs.channelStep != 2) {
        rec.fail(format("channelStep %d", rs.channelStep));
    }
    if (!inBand(rs.scanLow) || !inBand(rs.scanHigh)) {
        rec.fail(format("scan range %d..%d outside the band", rs.scanLow, rs.scanHigh));
    }
    if (rs.watchChannel != 0 && !inBand(rs.watchChannel)) {
        rec.fail(format("watch channel %d", rs.watchChannel));
    }
    if ((rs.txActive & ~1) != 0 || (rs.prevTxActive & ~1) != 0) {
        rec.fail(format("txActive %d, prevTxActive %d", rs.txActive, rs.prevTxActive));
    }
    for (int i = 0; i < channelMemorySize; ++i) {
        int32_t word = channelFlags[i];
        int mode = word & 7;
        int classes = ((word >> 3) & 1) + ((word >> 4) & 1) + ((word >> 5) & 1);
        if ((mode != 1 && mode != 2 && mode != 4) || classes != 1 || (word & ~0x3F) != 0) {
            rec.fail(format("flag word %d of channel %d", word, i + lowChannel));
            break;
        }
    }
    // The radio buttons and the frequency display follow the state.
    int duplexButton = rs.duplexMode == 1 ? IDC_DUPLEX : rs.duplexMode == 3 ? IDC_REV_DUP : IDC_SIMPLEX;
    if (rec.duplexMark != duplexButton) {
        rec.fail(format("duplex button %d marked with duplexMode %d", rec.duplexMark, rs.duplexMode));
    }
    int spacingButton = rs.channelStep == 2 ? IDC_SPACING_25K : IDC_SPACING_12K5;
    if (rec.spacingMark != spacingButton) {
        rec.fail(format("spacing button %d marked with channelStep %d", rec.spacingMark, rs.channelStep));
    }
    if (rec.frequency != frequencyText(rs)) {
        rec.fail("frequency display shows \"" + rec.frequency + "\" for \"" + frequencyText(rs) + "\"");
    }
    if (rec.phase != Recorder::Idle) {
        rec.fail("a load left unfinished");
    }
}

// Scanner off, the tick loads the channel the transmitter or receiver is on:
// the one the frequency display names on its TX line while keyed, RX otherwise.
void checkFollowing()
{
    if (!rec.outBound || rec.loads.empty()) {
        return;
    }
    int loaded = rec.loads.back();
    int rxMhz, rxKhz, txMhz, txKhz;
    if (std::sscanf(rec.frequency.c_str(), "RX %d.%d\n\nTX %d.%d", &rxMhz, &rxKhz, &txMhz, &txKhz) != 4) {
        rec.fail("frequency display \"" + rec.frequency + "\" does not parse");
        return;
    }
    bool keyed = radioState.txActive == 1;
    if (keyed && !inBand(transmitOf(radioState))) {
        return;  // a transmit channel outside the band is shown, never loaded
    }
    ChannelFrequency f = channelToFrequency(loaded);
    int mhz = keyed ? txMhz : rxMhz;
    int khz = keyed ? txKhz : rxKhz;
    if (f.mhz != mhz || f.khz != khz) {
        rec.fail(format("%s: loaded channel %d (%d.%.3d) but the display says %s %d.%.3d",
                        keyed ? "keyed" : "receiving", loaded, f.mhz, f.khz, keyed ? "TX" : "RX", mhz, khz));
    }
}

void expectTexts(const std::vector<int> &ids)
{
    if (rec.textIds != ids) {
        rec.fail("texts written to " + listOf(rec.textIds) + ", expected " + listOf(ids));
    }
}

}  // namespace

const std::vector<int> &panelCommands()
{
    static const std::vector<int> ids = {
        IDC_FAST_DOWN, IDC_FAST_UP,   IDC_BAND_LOW,      IDC_BAND_HIGH,   IDC_STEP_DOWN,
        IDC_STEP_UP,   IDC_RESET,     IDC_SCAN,          IDC_DUPLEX,      IDC_REV_DUP,
        IDC_SIMPLEX,   IDC_SPACING_12K5, IDC_SPACING_25K, IDC_SCAN_START, IDC_SCAN_STOP,
        IDC_WATCH,     IDC_MODE,      IDC_SHIFT_DOWN,    IDC_SHIFT_UP,    IDC_SHIFT_DEFAULT,
    };
    return ids;
}

const std::vector<int> &ignoredCommands()
{
    static const std::vector<int> ids = {1, 2, 2127, 2128, 2129, IDC_SCANNER_DISPLAY, IDC_FREQUENCY_DISPLAY,
                                         IDC_SHIFT_DISPLAY, IDM_VFO, 0, -1, 65535};
    return ids;
}

std::string describe(const Step &step)
{
    switch (step.kind) {
    case Kind::Tick: return "tick";
    case Kind::Command: return format("command %d", step.value);
    case Kind::Reopen: return "reopen the panel";
    case Kind::ShiftRun: return format("shift presses up to %d", step.value);
    case Kind::Library:
        return format("port library: PortOut %s, PortIn %s", (step.value & 1) ? "bound" : "empty",
                      (step.value & 2) ? "bound" : "empty");
    }
    return "?";
}

int tunedChannel()
{
    return rec.tuned;
}

std::string start(StatusLine line, AccessHook atAccess)
{
    // From the program's start values, so that a run depends on its steps only.
    radioState = RadioState();
    std::memset(channelFlags, 0, sizeof channelFlags);
    rec = Recorder();
    rec.line = std::move(line);
    rec.atAccess = std::move(atAccess);
    armed = ArmedHold();
    bindSlots();
    settleWait = recordWait;
    setControlText = recordText;
    checkRadioButton = recordRadio;
    return run(Step{Kind::Reopen, 0});
}

namespace {

// What the keyed rules pick for the loads of the step about to run, from the
// state before it: the operator's own channel for the ticks with the scanner
// off, the channel buttons, Reset and the opening; the keyed stop for the
// scanning ticks and for Scan and Mode when they move the scan.
void setPick(Kind kind, int id)
{
    const RadioState &rs = radioState;
    rec.pickAny = true;
    rec.pickShift = rs.shiftChannels;
    auto up = [&](int k) { return rs.channel + k >= highChannel ? highChannel : rs.channel + k; };
    auto down = [&](int k) { return rs.channel - k <= lowChannel ? lowChannel : rs.channel - k; };
    bool scanning = rs.scanState != 1;
    if (kind == Kind::Tick) {
        rec.pick = scanning ? liveKeyedStop() : Choice{rs.channel, rs.duplexMode};
        return;
    }
    if (kind == Kind::Reopen || id == IDC_RESET) {
        rec.pick = Choice{homeChannel, 1};
        rec.pickShift = 48;
        return;
    }
    switch (id) {
    case IDC_STEP_UP: rec.pick = Choice{up(rs.channelStep), rs.duplexMode}; return;
    case IDC_STEP_DOWN: rec.pick = Choice{down(rs.channelStep), rs.duplexMode}; return;
    case IDC_FAST_UP: rec.pick = Choice{up(8), rs.duplexMode}; return;
    case IDC_FAST_DOWN: rec.pick = Choice{down(8), rs.duplexMode}; return;
    case IDC_SCAN:
        rec.pickAny = !scanning;
        rec.pick = liveKeyedStop();
        return;
    case IDC_MODE:
        rec.pickAny = scanning;
        rec.pick = liveKeyedStop();
        return;
    default: rec.pickAny = false; return;
    }
}

}  // namespace

std::string run(const Step &step)
{
    RadioState &rs = radioState;
    if (step.kind == Kind::Library) {
        rec.outBound = (step.value & 1) != 0;
        rec.inBound = (step.value & 2) != 0;
        bindSlots();
        return {};
    }
    int id = step.kind == Kind::ShiftRun ? IDC_SHIFT_UP : step.value;
    if (step.kind == Kind::ShiftRun) {
        // All but the last press of the run; the last one goes through the panel.
        rs.shiftChannels = wrapSub(step.value, 1);
    }

    rec.beginStep();
    const RadioState before = rs;
    unsigned long loadsBefore = loadCount();
    int lastBefore = lastLoadedChannel();
    const HeardStop heardBefore = heardStop;
    int32_t memory[channelMemorySize];
    std::memcpy(memory, channelFlags, sizeof memory);

    setPick(step.kind, id);
    switch (step.kind) {
    case Kind::Tick:
        rec.inScanningTick = rs.scanState != 1;
        rec.mayStopScan = rec.inScanningTick;
        onTimerTick(rec.window);
        break;
    case Kind::Reopen: initialisePanel(rec.window); break;
    default:
        rec.inScanCommand = id == IDC_SCAN;
        rec.mayStopScan = id == IDC_SCAN || id == IDC_MODE;
        onPanelCommand(rec.window, id);
        break;
    }

    Model m(before, memory, lastBefore, heardBefore, rec.reads, rec.inBound);
    switch (step.kind) {
    case Kind::Tick: m.tick(); break;
    case Kind::Reopen: m.reopen(); break;
    default: m.command(id); break;
    }
    compareState(m);
    if (loadCount() - loadsBefore != m.loads.size()) {
        rec.fail(format("%lu loads counted, expected %zu", loadCount() - loadsBefore, m.loads.size()));
    }

    // Lone 2 ms waits: only the reset's own, after the channel memory fill,
    // and the two of each load while PortOut is empty.
    bool resets = step.kind == Kind::Reopen || (step.kind == Kind::Command && id == IDC_RESET);
    size_t lone = (resets ? 1 : 0) + (rec.outBound ? 0 : 2 * m.loads.size());
    if (static_cast<size_t>(rec.loneWaits) != lone) {
        rec.fail(format("%d waits outside a load, expected %zu", rec.loneWaits, lone));
    }

    if (step.kind == Kind::Tick) {
        if (before.scanState == 1) {
            // Scanner off: the texts are rewritten only when the transmit line changed.
            expectTexts(m.txChanged ? std::vector<int>{IDC_FREQUENCY_DISPLAY, IDC_SCANNER_DISPLAY}
                                    : std::vector<int>{});
            checkFollowing();
        } else if (m.stoppedByKeying) {
            // "Mode: Off", then the display in the transmit colour (after a
            // stop with nothing left to scan, its own "Mode: Off" before).
            expectTexts(m.stoppedAllOff
                            ? std::vector<int>{IDC_SCANNER_DISPLAY, IDC_SCANNER_DISPLAY, IDC_FREQUENCY_DISPLAY}
                            : std::vector<int>{IDC_SCANNER_DISPLAY, IDC_FREQUENCY_DISPLAY});
            if (rec.scannerTexts.empty() || rec.scannerTexts.back() != "Mode: Off") {
                rec.fail("keying stopped the scan without \"Mode: Off\"");
            }
            checkFollowing();
        } else if (m.stoppedAllOff) {
            // Nothing to scan: "Mode: Off", then both displays as after a decision.
            expectTexts({IDC_SCANNER_DISPLAY, IDC_SCANNER_DISPLAY, IDC_FREQUENCY_DISPLAY});
            if (rec.scannerTexts.empty() || rec.scannerTexts.front() != "Mode: Off") {
                rec.fail("the scan stopped with nothing to scan without \"Mode: Off\"");
            }
            checkFollowing();
        } else if (m.deciding) {
            expectTexts({IDC_SCANNER_DISPLAY, IDC_FREQUENCY_DISPLAY});
        } else {
            // A counting tick samples the transmit line once and touches
            // nothing else: no load, and no display but the TX line when the
            // time to answer the station the scan left has just run out.
            expectTexts(m.txLineChanged ? std::vector<int>{IDC_FREQUENCY_DISPLAY} : std::vector<int>{});
            if (rec.reads.size() != (rec.inBound ? 1u : 0u) || !rec.loads.empty()) {
                rec.fail(format("a counting tick read the port %zu times and loaded %zu channels",
                                rec.reads.size(), rec.loads.size()));
            }
        }
    } else if (step.kind == Kind::Command && id == IDC_SCAN) {
        if (rec.scannerTexts.empty() || rec.scannerTexts.back() != scanAnnouncement(rs.scanState)) {
            rec.fail(format("the Scan button did not announce \"%s\"", scanAnnouncement(rs.scanState)));
        }
    } else if (step.kind == Kind::Command) {
        bool handled = false;
        for (int c : panelCommands()) {
            handled = handled || c == id;
        }
        if (!handled) {
            // Not a control of the panel: nothing is written, read or loaded.
            expectTexts({});
            if (!rec.reads.empty()) {
                rec.fail("an unknown command read the port");
            }
        }
    }

    checkInvariants(step, before.channel, before.jumpArmed);
    if (rec.fault.empty()) {
        return {};
    }
    return describe(step) + ": " + rec.fault;
}

}  // namespace drive
