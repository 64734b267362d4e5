#include "tests/core/port_double.h"

#include "radio/platform_seam.h"
#include "radio/radio_state.h"
#include "scanner/channel_memory.h"

PortDouble port;

namespace {

void PORT_CALL recordOut(int p, int value)
{
    port.events.push_back({PortEvent::Write, p, value & 0xFF});
}

int PORT_CALL scriptedIn(int)
{
    ++port.reads;
    if (!port.script.empty()) {
        int s = port.script.front();
        port.script.pop_front();
        return s;
    }
    return port.status;
}

void recordWait(unsigned ms)
{
    port.events.push_back({PortEvent::Wait, 0, static_cast<int>(ms)});
}

void recordText(PanelWindow, int id, const char *text)
{
    port.texts[id] = text;
    ++port.textWrites[id];
}

}  // namespace

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
            int hundreds = (e.value ^ 0x0B) & 0x0F;
            channels.push_back(hundreds * 100 + (data >> 4) * 10 + (data & 0x0F));
            data = -1;
        }
    }
    return channels;
}

void resetCore()
{
    port = PortDouble();
    PortOut = recordOut;
    PortIn = scriptedIn;
    settleWait = recordWait;
    setControlText = recordText;
    radioState = RadioState();
    radioState.duplexMode = 1;
    fillChannelMemory();
}
