// The simulated QD-7150's state, kept in named shared memory so that every
// process can watch and drive it: the simulated io.dll (inside the control
// program), the front panel qd7150-sim.exe, simctl.exe, tests and benchmarks.
//
// Mapping name: "Local\QD7150Sim", or the whole name given in the environment
// variable QD7150_SIM_NAME (tests use a name of their own so that parallel runs
// do not meet). The mapping exists while at least one process holds it open:
// the front panel, `simctl hold`, or a program that has called into io.dll.
//
// Layout (version 2), the same in 32- and 64-bit processes; LONG is 32 bits
// and LONG64 64 bits on both, and every offset is checked below:
//
//   offset  size  field
//        0     4  magic          0x4D533751 ("Q7SM"), written last by the creator
//        4     4  version        1
//        8     4  size           sizeof(QdSimShared)
//       12     4  logCapacity    QD_SIM_LOG_CAPACITY (65536, a power of two)
//       16     8  qpcFrequency   QueryPerformanceFrequency, ticks per second
//       24     8  createdAt      QueryPerformanceCounter when the mapping was made
//       32     4  channel        channel the synthesizer is on; -1 before the first load
//       36     4  keyed          1 while the transmitter is keyed (PTT)
//       40     4  dataLatch      last byte written to the data port 888
//       44     4  controlLatch   last byte written to the control port 890
//       48     4  loads          number of loads (control writes) so far
//       52     4  activity       1 while the front panel's band-activity generator runs
//       56     8  lastLoadTime   QueryPerformanceCounter of the last load
//       64  4000  carrier[1000]  per channel 0..999: 0 = no signal; bit 0 set by
//                                hand (front panel, simctl), bit 1 by the generator
//     4064     8  writeIndex     number of log entries ever reserved
//     4072  24*N  log[N]         ring of port traffic; entry i lives in log[i % N]
//  1576936     4  triggerState   0 idle; 1 waiting for the load of triggerChannel;
//                                2 counting status reads; written last when armed
//  1576940     4  triggerChannel the load that starts the count; -1: counted from arming
//  1576944     4  triggerReads   status reads still to come before it fires; 0: it
//                                fires right after the load itself
//  1576948     4  triggerKeyed   what the transmit line becomes: 1 keyed, 0 released
//  1576952     8  triggerFiredAt 0 until it fires, then the log index of the first
//                                access that sees the line changed
//  (1576960: the end)
//
// The trigger changes the transmit line right after a chosen port access,
// inside the PortIn or PortOut of the program that made it, so that the very
// next access sees the change: after the load of a given channel, or at the
// Nth status read from there (or from arming). It fires once, then is idle.
//
// Log entry (24 bytes): seq (i + 1 once entry i is complete, 0 while it is
// written), time (QueryPerformanceCounter), port, value (low 8 bits), direction
// (0 = written by PortOut, 1 = read by PortIn).
//
// Concurrency: writers reserve an entry with InterlockedIncrement64 on
// writeIndex, clear its seq, fill it and publish seq last. Readers copy an
// entry between two reads of seq and keep it only when both equal i + 1, so a
// torn or overwritten entry is never taken for a good one. Single fields are
// read and written whole with interlocked operations where they are shared.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#define QD_SIM_DEFAULT_NAME "Local\\QD7150Sim"
#define QD_SIM_NAME_VARIABLE "QD7150_SIM_NAME"
#define QD_SIM_MAGIC 0x4D533751u
#define QD_SIM_VERSION 2u
#define QD_SIM_CHANNELS 1000
#define QD_SIM_LOG_CAPACITY 65536u

// Bits of a carrier[] word.
#define QD_SIM_CARRIER_MANUAL 1
#define QD_SIM_CARRIER_ACTIVITY 2

// States of the trigger.
#define QD_SIM_TRIGGER_IDLE 0
#define QD_SIM_TRIGGER_AWAITS_LOAD 1
#define QD_SIM_TRIGGER_COUNTS_READS 2

// Directions of a log entry.
#define QD_SIM_OUT 0
#define QD_SIM_IN 1

struct QdSimLogEntry {
    volatile LONG64 seq;
    int64_t time;
    int32_t port;
    uint8_t value;
    uint8_t direction;
    uint8_t reserved[2];
};

struct QdSimShared {
    uint32_t magic;
    uint32_t version;
    uint32_t size;
    uint32_t logCapacity;
    int64_t qpcFrequency;
    int64_t createdAt;
    volatile LONG channel;
    volatile LONG keyed;
    volatile LONG dataLatch;
    volatile LONG controlLatch;
    volatile LONG loads;
    volatile LONG activity;
    volatile LONG64 lastLoadTime;
    volatile LONG carrier[QD_SIM_CHANNELS];
    volatile LONG64 writeIndex;
    QdSimLogEntry log[QD_SIM_LOG_CAPACITY];
    volatile LONG triggerState;
    volatile LONG triggerChannel;
    volatile LONG triggerReads;
    volatile LONG triggerKeyed;
    volatile LONG64 triggerFiredAt;
};

static_assert(sizeof(LONG) == 4 && sizeof(LONG64) == 8, "fixed-size fields");
static_assert(sizeof(QdSimLogEntry) == 24, "log entry layout");
static_assert(offsetof(QdSimShared, qpcFrequency) == 16, "layout");
static_assert(offsetof(QdSimShared, channel) == 32, "layout");
static_assert(offsetof(QdSimShared, lastLoadTime) == 56, "layout");
static_assert(offsetof(QdSimShared, carrier) == 64, "layout");
static_assert(offsetof(QdSimShared, writeIndex) == 4064, "layout");
static_assert(offsetof(QdSimShared, log) == 4072, "layout");
static_assert(offsetof(QdSimShared, triggerState) == 1576936, "layout");
static_assert(offsetof(QdSimShared, triggerReads) == 1576944, "layout");
static_assert(offsetof(QdSimShared, triggerFiredAt) == 1576952, "layout");
static_assert(sizeof(QdSimShared) == 1576960, "layout");
static_assert((QD_SIM_LOG_CAPACITY & (QD_SIM_LOG_CAPACITY - 1)) == 0, "ring size");

// The mapping name this process uses: QD7150_SIM_NAME if set, else the default.
inline const char *qdSimName(char *buf, DWORD size)
{
    DWORD n = GetEnvironmentVariableA(QD_SIM_NAME_VARIABLE, buf, size);
    if (n == 0 || n >= size)
        lstrcpynA(buf, QD_SIM_DEFAULT_NAME, static_cast<int>(size));
    return buf;
}

// Opens the simulator's shared memory, creating and initialising it when
// `create` is true and nobody has made it yet. `name` may be null for the
// process's own name (qdSimName). Returns null when it cannot be opened, does
// not exist (create false), or belongs to another layout version. Keep
// *mapping and pass both to qdSimClose.
inline QdSimShared *qdSimOpen(bool create, HANDLE *mapping, const char *name = nullptr)
{
    char own[256];
    if (!name)
        name = qdSimName(own, sizeof own);
    *mapping = nullptr;
    HANDLE h;
    bool fresh = false;
    if (create) {
        h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                               sizeof(QdSimShared), name);
        fresh = h && GetLastError() != ERROR_ALREADY_EXISTS;
    } else {
        h = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    }
    if (!h)
        return nullptr;
    auto *s = static_cast<QdSimShared *>(MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!s) {
        CloseHandle(h);
        return nullptr;
    }
    if (fresh) {
        // New pages are zero: no carriers, not keyed, empty log.
        LARGE_INTEGER f, now;
        QueryPerformanceFrequency(&f);
        QueryPerformanceCounter(&now);
        s->version = QD_SIM_VERSION;
        s->size = sizeof(QdSimShared);
        s->logCapacity = QD_SIM_LOG_CAPACITY;
        s->qpcFrequency = f.QuadPart;
        s->createdAt = now.QuadPart;
        s->channel = -1;
        MemoryBarrier();
        InterlockedExchange(reinterpret_cast<volatile LONG *>(&s->magic),
                            static_cast<LONG>(QD_SIM_MAGIC));
    } else {
        // Another process may be initialising it right now.
        for (int i = 0; i < 200 && s->magic != QD_SIM_MAGIC; ++i)
            Sleep(5);
        MemoryBarrier();
    }
    if (s->magic != QD_SIM_MAGIC || s->version != QD_SIM_VERSION ||
        s->size != sizeof(QdSimShared)) {
        UnmapViewOfFile(s);
        CloseHandle(h);
        return nullptr;
    }
    *mapping = h;
    return s;
}

inline void qdSimClose(QdSimShared *s, HANDLE mapping)
{
    if (s)
        UnmapViewOfFile(s);
    if (mapping)
        CloseHandle(mapping);
}

inline int64_t qdSimNow()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

// Milliseconds on the performance counter, which does not wrap (Windows XP
// has no GetTickCount64, and GetTickCount wraps after 49 days).
inline ULONGLONG qdSimMilliseconds()
{
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return static_cast<ULONGLONG>((t.QuadPart / f.QuadPart) * 1000 + (t.QuadPart % f.QuadPart) * 1000 / f.QuadPart);
}

// Microseconds from the mapping's creation to `time`.
inline int64_t qdSimMicros(const QdSimShared *s, int64_t time)
{
    int64_t d = time - s->createdAt;
    int64_t f = s->qpcFrequency;
    return (d / f) * 1000000 + (d % f) * 1000000 / f;
}

// Appends one record of port traffic; returns its log index.
inline LONG64 qdSimLogAppend(QdSimShared *s, int port, int value, int direction)
{
    LONG64 i = InterlockedIncrement64(&s->writeIndex) - 1;
    QdSimLogEntry &e = s->log[static_cast<size_t>(i) & (QD_SIM_LOG_CAPACITY - 1)];
    InterlockedExchange64(&e.seq, 0);
    e.time = qdSimNow();
    e.port = port;
    e.value = static_cast<uint8_t>(value);
    e.direction = static_cast<uint8_t>(direction);
    InterlockedExchange64(&e.seq, i + 1);
    return i;
}

// Copies log entry `index` into *out. False when it is not complete yet or
// has already been overwritten by a newer one.
inline bool qdSimLogRead(const QdSimShared *s, LONG64 index, QdSimLogEntry *out)
{
    const QdSimLogEntry &e = s->log[static_cast<size_t>(index) & (QD_SIM_LOG_CAPACITY - 1)];
    LONG64 before = e.seq;
    MemoryBarrier();
    out->time = e.time;
    out->port = e.port;
    out->value = e.value;
    out->direction = e.direction;
    MemoryBarrier();
    LONG64 after = e.seq;
    out->seq = after;
    return before == index + 1 && after == index + 1;
}

// The oldest entry still in the ring.
inline LONG64 qdSimLogFirst(const QdSimShared *s)
{
    LONG64 w = s->writeIndex;
    return w > static_cast<LONG64>(QD_SIM_LOG_CAPACITY) ? w - QD_SIM_LOG_CAPACITY : 0;
}

inline bool qdSimHasCarrier(const QdSimShared *s, int channel)
{
    return channel >= 0 && channel < QD_SIM_CHANNELS && s->carrier[channel] != 0;
}

// Sets or clears the given carrier bits of a channel.
inline void qdSimSetCarrier(QdSimShared *s, int channel, LONG bits, bool on)
{
    if (channel < 0 || channel >= QD_SIM_CHANNELS)
        return;
    if (on)
        InterlockedOr(&s->carrier[channel], bits);
    else
        InterlockedAnd(&s->carrier[channel], ~bits);
}

// Arms the trigger: the transmit line becomes `keyed` right after the load of
// `channel` (reads 0), or right after the `reads`th status read from that load
// on; with `channel` -1, the `reads`th status read from now on (reads >= 1).
// Replaces a trigger armed before. False for a trigger that could never fire.
inline bool qdSimArmTrigger(QdSimShared *s, bool keyed, int channel, int reads)
{
    if (reads < 0 || (channel < 0 && reads < 1) || channel >= QD_SIM_CHANNELS || channel < -1)
        return false;
    InterlockedExchange(&s->triggerState, QD_SIM_TRIGGER_IDLE);
    InterlockedExchange(&s->triggerChannel, channel);
    InterlockedExchange(&s->triggerReads, reads);
    InterlockedExchange(&s->triggerKeyed, keyed ? 1 : 0);
    InterlockedExchange64(&s->triggerFiredAt, 0);
    InterlockedExchange(&s->triggerState,
                        channel < 0 ? QD_SIM_TRIGGER_COUNTS_READS : QD_SIM_TRIGGER_AWAITS_LOAD);
    return true;
}

inline void qdSimDisarmTrigger(QdSimShared *s)
{
    InterlockedExchange(&s->triggerState, QD_SIM_TRIGGER_IDLE);
}

// Changes the line now, once, if the trigger is counting and nothing else has
// fired it: `index` is the log index of the access just made.
inline void qdSimFireTrigger(QdSimShared *s, LONG64 index)
{
    if (InterlockedCompareExchange(&s->triggerState, QD_SIM_TRIGGER_IDLE, QD_SIM_TRIGGER_COUNTS_READS) !=
        QD_SIM_TRIGGER_COUNTS_READS)
        return;
    InterlockedExchange(&s->keyed, s->triggerKeyed);
    InterlockedExchange64(&s->triggerFiredAt, index + 1);
}

// After a load of `channel`, logged at `index`: the trigger waiting for it
// starts counting, or fires at once when it counts no reads.
inline void qdSimTriggerAfterLoad(QdSimShared *s, int channel, LONG64 index)
{
    if (s->triggerState != QD_SIM_TRIGGER_AWAITS_LOAD || s->triggerChannel != channel)
        return;
    if (InterlockedCompareExchange(&s->triggerState, QD_SIM_TRIGGER_COUNTS_READS, QD_SIM_TRIGGER_AWAITS_LOAD) !=
        QD_SIM_TRIGGER_AWAITS_LOAD)
        return;
    if (s->triggerReads <= 0)
        qdSimFireTrigger(s, index);
}

// After a status read, logged at `index`.
inline void qdSimTriggerAfterStatusRead(QdSimShared *s, LONG64 index)
{
    if (s->triggerState != QD_SIM_TRIGGER_COUNTS_READS)
        return;
    if (InterlockedDecrement(&s->triggerReads) == 0)
        qdSimFireTrigger(s, index);
}

// The status byte the transceiver shows on port 889.
inline int qdSimStatus(const QdSimShared *s)
{
    return (qdSimHasCarrier(s, s->channel) ? 0x40 : 0) | (s->keyed ? 0x80 : 0);
}

// "145.600" for 432, "145.6125" for 433: 140.2 MHz + n x 12.5 kHz.
inline const char *qdSimFrequencyText(int channel, char *buf, size_t size)
{
    long long hz = 140200000LL + 12500LL * channel;
    long long mhz = hz / 1000000, rest = hz % 1000000;
    if (rest % 1000)
        snprintf(buf, size, "%lld.%04lld", mhz, rest / 100);
    else
        snprintf(buf, size, "%lld.%03lld", mhz, rest / 1000);
    return buf;
}

// A channel from "440" or a frequency in MHz such as "145.700"; -1 when the
// text is neither or the channel lies outside 0..999.
inline int qdSimParseChannel(const char *text)
{
    char *end;
    double v = strtod(text, &end);
    if (end == text)
        return -1;
    while (*end == ' ')
        ++end;
    if (*end)
        return -1;
    long ch;
    bool hasDot = false;
    for (const char *p = text; *p; ++p)
        hasDot = hasDot || *p == '.';
    if (hasDot) {
        double steps = (v * 1000.0 - 140200.0) / 12.5;
        ch = static_cast<long>(steps + (steps < 0 ? -0.5 : 0.5));
    } else {
        ch = strtol(text, &end, 10);
    }
    return ch >= 0 && ch < QD_SIM_CHANNELS ? static_cast<int>(ch) : -1;
}
