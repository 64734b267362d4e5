// Our own io.dll: the port library's thirteen entry points, stdcall with plain
// names, in front of a simulated QD-7150 instead of a parallel port.
//
// The transceiver as it looks from the port: the data register (888) latches
// the tens digit (high nibble) and units digit (low nibble); when a byte
// arrives on the control register (890) its lines carry the hundreds digit,
// the register bits 0, 1 and 3 being inverted at the connector, and the
// synthesizer takes the three digits as its channel. The status register
// (889) shows bit 6 while a signal is on that channel and bit 7 while the
// transmitter is keyed. State and a record of every access live in the shared
// memory of sim_shared.h. A trigger armed there keys or releases the
// transmitter right after a chosen access, here, before the call returns: the
// program's very next access sees the change.
#include "sim/sim_shared.h"

#include "sim/io_unused_entries.h"

namespace {

constexpr int dataPort = 888;
constexpr int statusPort = 889;
constexpr int controlPort = 890;
constexpr int controlInvert = 0x0B;

HANDLE mapping;
QdSimShared *volatile shared;

// Opens (or creates) the shared state on first use; null if that fails, and
// then the ports read 0 and writes go nowhere.
QdSimShared *sim()
{
    if (shared)
        return shared;
    HANDLE h;
    QdSimShared *s = qdSimOpen(true, &h);
    if (!s)
        return nullptr;
    if (InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile *>(&shared), s,
                                          nullptr) != nullptr) {
        qdSimClose(s, h);  // another thread of ours was first
        return shared;
    }
    mapping = h;
    return s;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    // At process exit (reserved non-null) the system tears everything down.
    if (reason == DLL_PROCESS_DETACH && !reserved && shared) {
        qdSimClose(shared, mapping);
        shared = nullptr;
        mapping = nullptr;
    }
    return TRUE;
}

IO_API void WINAPI PortOut(int port, int value)
{
    QdSimShared *s = sim();
    if (!s)
        return;
    int byte = value & 0xFF;
    int loaded = -1;
    if (port == dataPort) {
        InterlockedExchange(&s->dataLatch, byte);
    } else if (port == controlPort) {
        InterlockedExchange(&s->controlLatch, byte);
        int data = s->dataLatch;
        int hundreds = (byte ^ controlInvert) & 0x0F;
        loaded = hundreds * 100 + (data >> 4) * 10 + (data & 0x0F);
        InterlockedExchange(&s->channel, loaded);
        InterlockedExchange64(&s->lastLoadTime, qdSimNow());
        InterlockedIncrement(&s->loads);
    }
    LONG64 index = qdSimLogAppend(s, port, byte, QD_SIM_OUT);
    if (loaded >= 0)
        qdSimTriggerAfterLoad(s, loaded, index);
}

IO_API int WINAPI PortIn(int port)
{
    QdSimShared *s = sim();
    if (!s)
        return 0;
    int byte = 0;
    if (port == statusPort)
        byte = qdSimStatus(s);
    else if (port == dataPort)
        byte = s->dataLatch;
    else if (port == controlPort)
        byte = s->controlLatch;
    LONG64 index = qdSimLogAppend(s, port, byte, QD_SIM_IN);
    if (port == statusPort)
        qdSimTriggerAfterStatusRead(s, index);
    return byte;
}
