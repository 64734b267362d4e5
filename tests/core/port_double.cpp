#include "tests/core/port_double.h"

#include "radio/platform_seam.h"
#include "radio/radio_state.h"
#include "scanner/channel_memory.h"
#include "scanner/scanner.h"

PortDouble port;

namespace {

int pendingData = -1;

int decodeChannel(int data, int control)
{
    int hundreds = (control ^ 0x0B) & 0x0F;
    return hundreds * 100 + (data >> 4) * 10 + (data & 0x0F);
}

void setLine(bool keyed)
{
    port.status = keyed ? (port.status | 0x80) : (port.status & ~0x80);
}

// Fires the first pending change of the line with this trigger and value.
void fireLineChange(LineChange::Trigger trigger, int value)
{
    for (auto it = port.lineChanges.begin(); it != port.lineChanges.end(); ++it) {
        if (it->trigger == trigger && it->value == value) {
            setLine(it->keyed);
            port.lineChanges.erase(it);
            return;
        }
    }
}

void PORT_CALL recordOut(int p, int value)
{
    port.events.push_back({PortEvent::Write, p, value & 0xFF});
    if (p == 888) {
        pendingData = value & 0xFF;
    } else if (p == 890 && pendingData >= 0) {
        port.tuned = decodeChannel(pendingData, value & 0xFF);
        pendingData = -1;
        port.lineLoads.push_back({port.tuned, (port.status & 0x80) != 0});
        fireLineChange(LineChange::AfterLoadOf, port.tuned);
    }
}

int PORT_CALL scriptedIn(int p)
{
    ++port.reads;
    port.readPort = p;
    fireLineChange(LineChange::AtRead, port.reads);
    if (!port.script.empty()) {
        int s = port.script.front();
        port.script.pop_front();
        return s;
    }
    return port.status | (port.busyChannels.count(port.tuned) ? 0x40 : 0);
}

void recordWait(unsigned ms)
{
    port.events.push_back({PortEvent::Wait, 0, static_cast<int>(ms)});
}

void recordText(PanelWindow, int id, const char *text)
{
    port.texts[id] = text;
    ++port.textWrites[id];
    port.textOrder.push_back(id);
}

}  // namespace

void PrintTo(const PortEvent &e, std::ostream *os)
{
    if (e.kind == PortEvent::Write) {
        *os << "write(" << e.port << ", 0x" << std::hex << e.value << std::dec << ")";
    } else {
        *os << "wait(" << e.value << ")";
    }
}

void PrintTo(const LineLoad &l, std::ostream *os)
{
    *os << l.channel << (l.keyed ? " keyed" : " unkeyed");
}

std::vector<int> keyedLoads()
{
    std::vector<int> channels;
    for (const LineLoad &l : port.lineLoads) {
        if (l.keyed) {
            channels.push_back(l.channel);
        }
    }
    return channels;
}

PortEvent write(int p, int value)
{
    return {PortEvent::Write, p, value};
}

PortEvent wait(int ms)
{
    return {PortEvent::Wait, 0, ms};
}

std::vector<int> loadedChannels()
{
    std::vector<int> channels;
    int data = -1;
    for (const PortEvent &e : port.events) {
        if (e.kind != PortEvent::Write) {
            continue;
        }
        if (e.port == 888) {
            data = e.value;
        } else if (e.port == 890 && data >= 0) {
            channels.push_back(decodeChannel(data, e.value));
            data = -1;
        }
    }
    return channels;
}

void resetCore()
{
    port = PortDouble();
    pendingData = -1;
    PortOut = recordOut;
    PortIn = scriptedIn;
    settleWait = recordWait;
    setControlText = recordText;
    radioState = RadioState();
    radioState.duplexMode = 1;
    forgetHeardStop();
    fillChannelMemory();
}

void setBusyAt(const std::vector<Signal> &signals, int tick)
{
    port.busyChannels.clear();
    for (const Signal &s : signals) {
        if (s.from <= tick && tick < s.to) {
            port.busyChannels.insert(s.channel);
        }
    }
}
