// The timing benchmark's driver: starts the real program beside our simulated
// io.dll, operates it from outside as an operator would (panel buttons by
// WM_COMMAND, the transmitter keyed and carriers put on channels through the
// simulator's shared memory), and measures the program's timing from the
// simulator's time-stamped record of the port traffic.
//
//   timing_driver.exe PROGRAM.exe OUTDIR [--idle-seconds N] [--keyings N] [--sweeps N]
//   timing_driver.exe PROGRAM.exe OUTDIR --holds-only
//
// It prints a table of figures against their ideal values and goals and
// writes into OUTDIR: table.md (the same table), ticks.csv, follow.csv,
// sweep.csv and holds.csv (the samples behind it, for the plot). With
// --holds-only it measures the holds alone (about 20 s), and table.md
// holds their rows only. Exit code 0
// when every figure was measured, 1 when the program could not be driven,
// 2 on bad usage. Goals that are missed do not change the exit code: this
// is a measurement, not a test.
#include "sim/sim_shared.h"
#include "tests/win/common/outside_driver.h"

#include <winternl.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Panel controls and menu commands, as the program's resources number them.
constexpr int scanButton = 1109;
constexpr int menuExit = 1002;
constexpr int frequencyDisplay = 2112;

constexpr int dataPort = 888;
constexpr int statusPort = 889;
constexpr int controlPort = 890;

constexpr int homeChannel = 432;
constexpr int shiftedHome = 384;  // 432 less the 600 kHz shift
constexpr int scanLow = 384;      // the scan range the program starts with
constexpr int scanHigh = 448;
constexpr int rangeChannels = scanHigh - scanLow + 1;

// Ideal values: a 10 ms tick, a load 2 ms from data to control byte, six ticks
// per free channel, holds of 101 and 501 ticks after the deciding tick.
constexpr double tickMs = 10.0;
constexpr double followIdealMeanMs = 7.0;
constexpr double followIdealMaxMs = 12.0;
constexpr double sweepIdealMs = 60.0;
constexpr double jumpHoldS = 1.01;
constexpr double haltHoldS = 5.01;
constexpr double dwellS = 0.06;

// The scanner's counts, in ticks (scanner/scanner.h): a decision after 5
// ticks counted on a channel, holds of 100 and 500 ticks counted after it.
constexpr int stepDwellTicks = 5;
constexpr int jumpHoldTicks = 100;
constexpr int haltHoldTicks = 500;

// Goals.
constexpr double tickMeanTolerance = 0.02;
constexpr double tickP99GoalMs = 12.0;
constexpr double followMaxGoalMs = 12.5;
constexpr double scanTolerance = 0.03;
constexpr double holdAgreement = 0.01;  // hold against the time on the channel
constexpr double idleCpuGoal = 0.02;

constexpr DWORD patienceMs = 20000;

QdSimShared *sim;
double qpcPerMs;

int64_t now()
{
    return qdSimNow();
}

double msBetween(int64_t from, int64_t to)
{
    return static_cast<double>(to - from) / qpcPerMs;
}

void fail(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    fputs("timing_driver: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    fflush(stderr);
}

// ---------------------------------------------------------------------------
// The record of port traffic, copied out of the simulator's ring as it grows.

struct Load {
    int64_t time;  // the control write that completed the load
    int channel;
};

struct StatusRead {
    int64_t time;
    int value;
};

std::vector<Load> loads;
std::vector<StatusRead> reads;
LONG64 nextEntry;
int dataLatch;
long long lostEntries;

void readTraffic()
{
    LONG64 end = sim->writeIndex;
    while (nextEntry < end) {
        QdSimLogEntry e;
        if (!qdSimLogRead(sim, nextEntry, &e)) {
            if (nextEntry < qdSimLogFirst(sim)) {
                ++lostEntries;  // overwritten before we came to it
                ++nextEntry;
                continue;
            }
            break;  // still being written: take it next time
        }
        ++nextEntry;
        if (e.direction == QD_SIM_OUT && e.port == dataPort) {
            dataLatch = e.value;
        } else if (e.direction == QD_SIM_OUT && e.port == controlPort) {
            int hundreds = (e.value ^ 0x0B) & 0x0F;
            loads.push_back({e.time, hundreds * 100 + (dataLatch >> 4) * 10 + (dataLatch & 0x0F)});
        } else if (e.direction == QD_SIM_IN && e.port == statusPort) {
            reads.push_back({e.time, e.value});
        }
    }
}

// Waits for the first load at or after index `from` that satisfies `match`;
// returns its index, or -1 after `timeoutMs`.
template <typename Match>
long waitLoad(size_t from, DWORD timeoutMs, Match match)
{
    DWORD start = GetTickCount();
    for (;;) {
        readTraffic();
        for (size_t i = from; i < loads.size(); ++i) {
            if (match(loads[i])) {
                return static_cast<long>(i);
            }
        }
        from = loads.size();
        if (GetTickCount() - start > timeoutMs) {
            return -1;
        }
        Sleep(1);
    }
}

// The first status read after `time` that satisfies `match`; -1 if none yet.
template <typename Match>
long findRead(int64_t time, Match match)
{
    auto it = std::lower_bound(reads.begin(), reads.end(), time,
                               [](const StatusRead &r, int64_t t) { return r.time < t; });
    for (; it != reads.end(); ++it) {
        if (match(*it)) {
            return static_cast<long>(it - reads.begin());
        }
    }
    return -1;
}

// The index of the first status read at or after `time`: the reads before it came before `time`.
size_t readsBefore(int64_t time)
{
    return static_cast<size_t>(std::lower_bound(reads.begin(), reads.end(), time,
                                                [](const StatusRead &r, int64_t t) { return r.time < t; }) -
                               reads.begin());
}

// While the scanner runs, the program reads the status at the start of every
// tick, for the transmit line; a deciding tick reads it once more at once, for
// the squelch; and a decision that moves on reads it a third time, for the
// transmit line again, as it loads the next channel. So the reads on a channel
// the scan has loaded, counted from that load, are: one in each of the
// stepDwellTicks + 1 ticks up to the first decision, then its squelch read;
// one in each tick of a hold; two in the deciding tick that ends the hold, the
// second its squelch read; one before the load that leaves. Counting, unlike
// the time between reads, does not take two ticks that fire back to back
// after a late one for a decision.
constexpr size_t firstDecisionRead = stepDwellTicks + 1;  // index among the reads after the load

size_t readsOnHeldChannel(int holdTicks)
{
    return static_cast<size_t>(stepDwellTicks + 2 + holdTicks + 3);
}

// Sleeps in slices, keeping up with the record meanwhile.
void pause(DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        Sleep(std::min<DWORD>(200, ms - (GetTickCount() - start)));
        readTraffic();
    }
}

// ---------------------------------------------------------------------------
// The program and its windows.

PROCESS_INFORMATION program;

HWND waitForWindow(const char *className, const char *title)
{
    return outside::waitForWindow(program.dwProcessId, className, title, patienceMs);
}

bool press(HWND panel, int id)
{
    DWORD_PTR result;
    return SendMessageTimeoutA(panel, WM_COMMAND, static_cast<WPARAM>(id), 0, SMTO_NORMAL, patienceMs, &result) != 0;
}

std::string controlText(HWND panel, int id)
{
    char text[256] = "";
    DWORD_PTR result;
    SendMessageTimeoutA(GetDlgItem(panel, id), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                        patienceMs, &result);
    return text;
}

// CPU seconds (user and kernel) of a process. On Windows, GetProcessTimes of
// the program's process. Wine (8.0) answers GetProcessTimes for another
// process with the caller's own times, so there the figure comes from the
// system process list, which Wine fills from the kernel's accounting of the
// program's Unix process (10 ms resolution).
bool underWine()
{
    static const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

double hundredNs(LARGE_INTEGER t)
{
    return static_cast<double>(t.QuadPart) / 1e7;
}

double listedCpuSeconds(DWORD pid)
{
    using QuerySystemInformation = LONG(WINAPI *)(int, void *, ULONG, ULONG *);
    static auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    constexpr int systemProcessInformation = 5;
    if (!query) {
        return -1.0;
    }
    static std::vector<unsigned char> buffer(1 << 16);
    ULONG needed = 0;
    LONG status;
    while ((status = query(systemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    }
    if (status != 0) {
        return -1.0;
    }
    for (size_t at = 0;;) {
        auto *p = reinterpret_cast<SYSTEM_PROCESS_INFORMATION *>(buffer.data() + at);
        if (static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(p->UniqueProcessId)) == pid) {
            return hundredNs(p->UserTime) + hundredNs(p->KernelTime);
        }
        if (p->NextEntryOffset == 0) {
            return -1.0;
        }
        at += p->NextEntryOffset;
    }
}

double cpuSeconds()
{
    if (underWine()) {
        return listedCpuSeconds(program.dwProcessId);
    }
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(program.hProcess, &created, &exited, &kernel, &user)) {
        return -1.0;
    }
    auto seconds = [](const FILETIME &t) {
        LARGE_INTEGER v;
        v.LowPart = t.dwLowDateTime;
        v.HighPart = static_cast<LONG>(t.dwHighDateTime);
        return hundredNs(v);
    };
    return seconds(kernel) + seconds(user);
}

// Under Wine part of the program's work (its message queue and timer) is done
// by the wine server of the prefix, a Unix process of its own: found by its
// name and WINEPREFIX among the host's processes, seen as drive Z:.
std::string readWhole(const std::string &path)
{
    std::string text;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        return text;
    }
    char chunk[4096];
    DWORD got;
    while (ReadFile(f, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        text.append(chunk, got);
    }
    CloseHandle(f);
    return text;
}

long serverPid = -1;

void findServer()
{
    char prefix[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
    if (!underWine() || n == 0 || n >= sizeof prefix) {
        return;
    }
    std::string wanted = std::string("WINEPREFIX=") + prefix;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        char *end;
        long pid = strtol(found.cFileName, &end, 10);
        if (*end || pid <= 0) {
            continue;
        }
        std::string dir = std::string("Z:\\proc\\") + found.cFileName;
        if (readWhole(dir + "\\comm").compare(0, 10, "wineserver") != 0) {
            continue;
        }
        std::string variables = readWhole(dir + "\\environ");
        for (size_t at = 0; at < variables.size();) {
            size_t next = variables.find('\0', at);
            if (next == std::string::npos) {
                next = variables.size();
            }
            if (variables.compare(at, next - at, wanted) == 0) {
                serverPid = pid;
            }
            at = next + 1;
        }
    } while (serverPid < 0 && FindNextFileA(search, &found));
    FindClose(search);
}

// CPU seconds of the wine server, from the kernel's accounting (ticks of 10 ms).
double serverCpuSeconds()
{
    if (serverPid < 0) {
        return -1.0;
    }
    std::string stat = readWhole("Z:\\proc\\" + std::to_string(serverPid) + "\\stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) {
        return -1.0;
    }
    // After the name: state, then fields 4 to 13, then utime and stime.
    unsigned long long utime = 0, stime = 0;
    if (sscanf(stat.c_str() + close + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
               &stime) != 2) {
        return -1.0;
    }
    return static_cast<double>(utime + stime) / 100.0;
}

// CPU used over one or more intervals of wall time, by the program and by the
// wine server.
struct CpuWindow {
    double cpu = 0, server = 0, wallMs = 0;
    bool cpuKnown = true, serverKnown = true;
    double cpu0 = 0, server0 = 0;
    int64_t wall0 = 0;
    void begin()
    {
        cpu0 = cpuSeconds();
        server0 = serverCpuSeconds();
        wall0 = now();
    }
    void end()
    {
        double cpu1 = cpuSeconds(), server1 = serverCpuSeconds();
        wallMs += msBetween(wall0, now());
        cpuKnown = cpuKnown && cpu0 >= 0 && cpu1 >= 0;
        serverKnown = serverKnown && server0 >= 0 && server1 >= 0;
        cpu += cpu1 - cpu0;
        server += server1 - server0;
    }
    double share() const { return cpuKnown && wallMs > 0 ? cpu / (wallMs / 1000.0) : -1.0; }
    double serverShare() const { return serverKnown && wallMs > 0 ? server / (wallMs / 1000.0) : -1.0; }
};

// ---------------------------------------------------------------------------
// Statistics and the table.

struct Stats {
    size_t n = 0;
    double mean = 0, median = 0, p99 = 0, min = 0, max = 0;
};

Stats statsOf(std::vector<double> v)
{
    Stats s;
    s.n = v.size();
    if (v.empty()) {
        return s;
    }
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v) {
        sum += x;
    }
    s.mean = sum / static_cast<double>(v.size());
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    size_t rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(v.size())));
    s.p99 = v[std::max<size_t>(rank, 1) - 1];
    s.min = v.front();
    s.max = v.back();
    return s;
}

struct Row {
    std::string figure, measured, ideal, goal, result;
};

std::vector<Row> rows;
int goalsMissed;

std::string format(const char *fmt, ...)
{
    char buffer[256];
    va_list args;
    va_start(args, fmt);
    vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

void row(const std::string &figure, const std::string &measured, const std::string &ideal,
         const std::string &goal = "", int pass = -1)
{
    std::string result = pass < 0 ? "" : pass ? "pass" : "**fail**";
    if (pass == 0) {
        ++goalsMissed;
    }
    rows.push_back({figure, measured, ideal, goal, result});
}

std::string tableText()
{
    std::string t = "| Figure | Measured | Ideal | Goal | Result |\n|---|---|---|---|---|\n";
    for (const Row &r : rows) {
        t += "| " + r.figure + " | " + r.measured + " | " + r.ideal + " | " + r.goal + " | " + r.result + " |\n";
    }
    return t;
}

FILE *openOut(const std::string &dir, const char *name)
{
    std::string path = dir + "\\" + name;
    FILE *f = fopen(path.c_str(), "w");
    if (!f) {
        fail("cannot write %s", path.c_str());
    }
    return f;
}


// Channel `offset` positions further along the scan from `channel`, in 384..448.
int ahead(int channel, int offset)
{
    int position = (channel < scanLow || channel > scanHigh) ? 0 : channel - scanLow;
    return scanLow + (position + offset) % rangeChannels;
}

struct Options {
    std::string program, outDir;
    int idleSeconds = 30;
    int keyings = 100;
    int sweeps = 2;
    int halts = 2;
    int jumps = 3;
    bool holdsOnly = false;
};

// ---------------------------------------------------------------------------

int run(const Options &o)
{
    std::mt19937 random(7150);
    std::string programDir = o.program.substr(0, o.program.find_last_of('\\'));

    // A simulator of our own, so that nothing else running meets it.
    char simName[64];
    snprintf(simName, sizeof simName, "Local\\QD7150Bench%lu", GetCurrentProcessId());
    SetEnvironmentVariableA(QD_SIM_NAME_VARIABLE, simName);
    HANDLE mapping;
    sim = qdSimOpen(true, &mapping, simName);
    if (!sim) {
        fail("cannot create the simulator's shared memory %s", simName);
        return 1;
    }
    qpcPerMs = static_cast<double>(sim->qpcFrequency) / 1000.0;
    nextEntry = sim->writeIndex;

    // Start-up: from CreateProcess to the program's first port write.
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::string commandLine = "\"" + o.program + "\"";
    int64_t started = now();
    if (!CreateProcessA(o.program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, programDir.c_str(),
                        &si, &program)) {
        fail("cannot start %s (error %lu)", o.program.c_str(), GetLastError());
        return 1;
    }
    int64_t firstWrite = 0;
    for (DWORD t0 = GetTickCount(); GetTickCount() - t0 < patienceMs && !firstWrite; Sleep(1)) {
        QdSimLogEntry e;
        for (LONG64 i = 0; i < sim->writeIndex && !firstWrite && qdSimLogRead(sim, i, &e); ++i) {
            if (e.direction == QD_SIM_OUT) {
                firstWrite = e.time;
            }
        }
    }
    HWND panel = waitForWindow("#32770", "QD-7150 Control");
    if (!firstWrite || !panel) {
        fail("the program wrote nothing to the port or showed no control panel");
        TerminateProcess(program.hProcess, 99);
        return 1;
    }
    double startupMs = msBetween(started, firstWrite);
    findServer();
    pause(1000);
    if (controlText(panel, frequencyDisplay) != "RX 145.600\n\nTX 145.000") {
        fail("the panel does not start on 145.600 in duplex");
        TerminateProcess(program.hProcess, 99);
        return 1;
    }
    fprintf(stderr, "started; first port write %.0f ms after CreateProcess\n", startupMs);

    // The figures of parts 1 to 3, which --holds-only leaves out.
    size_t idleFirst = 0, idleEnd = 0;
    std::vector<double> periods, tickStarts, follow, followPhase, release, steps;
    double perChannelMs = 0;
    CpuWindow idleCpu, scanCpu;
    if (o.holdsOnly) {
        press(panel, scanButton);  // off -> halt
    } else {
        // 1. The tick with the scanner off and the panel idle.
        fprintf(stderr, "idle tick, %d s ...\n", o.idleSeconds);
        readTraffic();
        idleFirst = loads.size();
        idleCpu.begin();
        pause(static_cast<DWORD>(o.idleSeconds) * 1000);
        readTraffic();
        idleCpu.end();
        idleEnd = loads.size();
        FILE *ticks = openOut(o.outDir, "ticks.csv");
        if (!ticks) {
            return 1;
        }
        fprintf(ticks, "time_s,period_ms\n");
        int strayLoads = 0;
        for (size_t i = idleFirst; i < idleEnd; ++i) {
            strayLoads += loads[i].channel != homeChannel;
            if (i > idleFirst) {
                double p = msBetween(loads[i - 1].time, loads[i].time);
                periods.push_back(p);
                fprintf(ticks, "%.4f,%.4f\n", msBetween(loads[idleFirst].time, loads[i].time) / 1000.0, p);
            }
        }
        fclose(ticks);
        // The tick's first port access is the status read of retune: its
        // intervals leave out the variable length of the first settle wait.
        for (size_t i = 1; i < reads.size(); ++i) {
            if (reads[i - 1].time >= loads[idleFirst].time && reads[i].time <= loads[idleEnd - 1].time) {
                tickStarts.push_back(msBetween(reads[i - 1].time, reads[i].time));
            }
        }
        if (periods.size() < 100 || strayLoads) {
            fail("idle: %zu ticks, %d loads of a channel other than %d", periods.size(), strayLoads, homeChannel);
            TerminateProcess(program.hProcess, 99);
            return 1;
        }

        // 2. Keying the transmitter at random phases of the tick, in duplex at 432:
        // from the key to the control byte of 384, and from the release to that of 432.
        fprintf(stderr, "transmit-follow, %d keyings ...\n", o.keyings);
        // Pauses of 15 to 35 ms (two to three ticks and a random part) put each
        // change of the line at a random phase of the tick; the moment itself is
        // taken from the performance counter as the line changes.
        std::uniform_int_distribution<DWORD> restMs(15, 35);
        FILE *followOut = openOut(o.outDir, "follow.csv");
        if (!followOut) {
            return 1;
        }
        fprintf(followOut, "keying,latency_ms,sampled_after_ms,release_ms,release_sampled_after_ms\n");
        for (int k = 0; k < o.keyings; ++k) {
            Sleep(restMs(random));
            readTraffic();
            size_t from = loads.size();
            int64_t keyedAt = now();
            InterlockedExchange(&sim->keyed, 1);
            long shifted =
                waitLoad(from, 2000, [&](const Load &l) { return l.time > keyedAt && l.channel == shiftedHome; });
            Sleep(restMs(random));
            readTraffic();
            from = loads.size();
            int64_t releasedAt = now();
            InterlockedExchange(&sim->keyed, 0);
            long home =
                waitLoad(from, 2000, [&](const Load &l) { return l.time > releasedAt && l.channel == homeChannel; });
            if (shifted < 0 || home < 0) {
                fail("keying %d: the synthesizer did not follow the transmitter", k);
                TerminateProcess(program.hProcess, 99);
                return 1;
            }
            long sampled = findRead(keyedAt, [](const StatusRead &r) { return (r.value & 0x80) != 0; });
            double latency = msBetween(keyedAt, loads[static_cast<size_t>(shifted)].time);
            double phase = sampled >= 0 ? msBetween(keyedAt, reads[static_cast<size_t>(sampled)].time) : NAN;
            double back = msBetween(releasedAt, loads[static_cast<size_t>(home)].time);
            long sampledFree = findRead(releasedAt, [](const StatusRead &r) { return (r.value & 0x80) == 0; });
            double backPhase =
                sampledFree >= 0 ? msBetween(releasedAt, reads[static_cast<size_t>(sampledFree)].time) : NAN;
            follow.push_back(latency);
            followPhase.push_back(phase);
            release.push_back(back);
            fprintf(followOut, "%d,%.4f,%.4f,%.4f,%.4f\n", k + 1, latency, phase, back, backPhase);
        }
        fclose(followOut);

        // 3. A full sweep of 384..448 with no signal: the scanner in halt.
        fprintf(stderr, "scan sweep, %d x %d channels ...\n", o.sweeps, rangeChannels);
        press(panel, scanButton);  // off -> halt
        readTraffic();
        long sweepStart = waitLoad(loads.size(), 10000, [](const Load &l) { return l.channel == scanLow; });
        if (sweepStart < 0) {
            fail("the scan did not come round to %d", scanLow);
            TerminateProcess(program.hProcess, 99);
            return 1;
        }
        scanCpu.begin();
        long sweepEnd = sweepStart;
        for (int s = 0; s < o.sweeps && sweepEnd >= 0; ++s) {
            sweepEnd = waitLoad(static_cast<size_t>(sweepEnd) + 1, 10000,
                                [](const Load &l) { return l.channel == scanLow; });
        }
        scanCpu.end();
        if (sweepEnd < 0) {
            fail("the scan did not complete %d sweeps", o.sweeps);
            TerminateProcess(program.hProcess, 99);
            return 1;
        }
        int outOfOrder = 0;
        FILE *sweepOut = openOut(o.outDir, "sweep.csv");
        if (!sweepOut) {
            return 1;
        }
        fprintf(sweepOut, "time_s,channel,step_ms\n");
        for (long i = sweepStart + 1; i <= sweepEnd; ++i) {
            const Load &a = loads[static_cast<size_t>(i - 1)], &b = loads[static_cast<size_t>(i)];
            outOfOrder += b.channel != (a.channel == scanHigh ? scanLow : a.channel + 1);
            double step = msBetween(a.time, b.time);
            steps.push_back(step);
            fprintf(sweepOut, "%.4f,%d,%.4f\n", msBetween(loads[static_cast<size_t>(sweepStart)].time, b.time) / 1000.0,
                    b.channel, step);
        }
        fclose(sweepOut);
        perChannelMs = msBetween(loads[static_cast<size_t>(sweepStart)].time,
                                 loads[static_cast<size_t>(sweepEnd)].time) /
                       (o.sweeps * rangeChannels);
        if (outOfOrder) {
            fail("the sweep loaded %d channels out of order", outOfOrder);
        }
    }  // parts 1 to 3

    // 4 and 5. Holds: a carrier on a channel ahead of the scan. Under halt it is
    // taken off 4 s into the hold, so that the scan leaves at the hold's end;
    // under jump it stays on, and the scan leaves it by itself.
    // The hold runs from the decision that found the channel busy to the
    // decision that ends the hold, both found by counting the program's status
    // reads from the load of the channel (readsOnHeldChannel); the time on the
    // channel, from its load to the load that leaves it, adds the first dwell
    // of 6 ticks, and the two must agree.
    FILE *holdsOut = openOut(o.outDir, "holds.csv");
    if (!holdsOut) {
        return 1;
    }
    fprintf(holdsOut, "rule,channel,hold_s,on_channel_s,difference_percent\n");
    std::vector<double> haltHolds, haltDwells, jumpHolds, jumpDwells;
    CpuWindow holdCpu;
    auto measureHold = [&](const char *rule, int channel, bool clearDuringHold, int holdTicks,
                           std::vector<double> &holds, std::vector<double> &dwells) {
        readTraffic();
        long arrived = waitLoad(loads.size(), 15000, [&](const Load &l) { return l.channel == channel; });
        if (arrived < 0) {
            fail("%s: the scan did not reach %d", rule, channel);
            return false;
        }
        int64_t loadedAt = loads[static_cast<size_t>(arrived)].time;
        size_t first = readsBefore(loadedAt + 1);
        size_t decision = first + firstDecisionRead;
        for (DWORD t0 = GetTickCount(); reads.size() <= decision && GetTickCount() - t0 < 2000; Sleep(5)) {
            readTraffic();
        }
        if (reads.size() <= decision) {
            fail("%s: the program did not come to a decision on %d", rule, channel);
            return false;
        }
        if ((reads[decision].value & 0x40) == 0) {
            fail("%s: %d was read free at its first decision", rule, channel);
            return false;
        }
        if (clearDuringHold) {
            holdCpu.begin();
            pause(4000);
            holdCpu.end();
            qdSimSetCarrier(sim, channel, QD_SIM_CARRIER_MANUAL, false);
        }
        long left = waitLoad(static_cast<size_t>(arrived) + 1, 12000, [](const Load &) { return true; });
        if (left < 0 || loads[static_cast<size_t>(left)].channel == channel) {
            fail("%s: the scan did not leave %d", rule, channel);
            return false;
        }
        int64_t leftAt = loads[static_cast<size_t>(left)].time;
        size_t end = readsBefore(leftAt);
        if (end - first != readsOnHeldChannel(holdTicks)) {
            fail("%s: the program read the status %zu times on %d, where a hold of %d ticks takes %zu", rule,
                 end - first, channel, holdTicks, readsOnHeldChannel(holdTicks));
            return false;
        }
        double hold = msBetween(reads[decision].time, reads[end - 2].time) / 1000.0;
        double dwell = msBetween(loadedAt, leftAt) / 1000.0;
        double difference = (dwell - dwellS - hold) / hold;
        holds.push_back(hold);
        dwells.push_back(dwell);
        fprintf(holdsOut, "%s,%d,%.5f,%.5f,%.3f\n", rule, channel, hold, dwell, 100 * difference);
        qdSimSetCarrier(sim, channel, QD_SIM_CARRIER_MANUAL, false);
        return true;
    };

    fprintf(stderr, "halt holds, %d ...\n", o.halts);
    bool held = true;
    for (int h = 0; h < o.halts && held; ++h) {
        readTraffic();
        int channel = ahead(loads.back().channel, 8);
        qdSimSetCarrier(sim, channel, QD_SIM_CARRIER_MANUAL, true);
        held = measureHold("halt", channel, true, haltHoldTicks, haltHolds, haltDwells);
    }
    if (held) {
        fprintf(stderr, "jump holds, %d ...\n", o.jumps);
        press(panel, scanButton);  // halt -> jump
        readTraffic();
        std::vector<int> channels;
        for (int j = 0; j < o.jumps; ++j) {
            channels.push_back(ahead(loads.back().channel, 6 + 10 * j));
            qdSimSetCarrier(sim, channels.back(), QD_SIM_CARRIER_MANUAL, true);
        }
        for (int j = 0; j < o.jumps && held; ++j) {
            held = measureHold("jump", channels[static_cast<size_t>(j)], false, jumpHoldTicks, jumpHolds,
                               jumpDwells);
        }
        press(panel, scanButton);  // jump -> off
    }
    fclose(holdsOut);
    for (int ch = 0; ch < QD_SIM_CHANNELS; ++ch) {
        qdSimSetCarrier(sim, ch, QD_SIM_CARRIER_MANUAL, false);
    }
    if (!held) {
        TerminateProcess(program.hProcess, 99);
        return 1;
    }

    // Close the panel, then "Avsluta" in the main window.
    PostMessageA(panel, WM_CLOSE, 0, 0);
    HWND main = waitForWindow("RootClass", "QD7150-Control");
    if (main) {
        PostMessageA(main, WM_COMMAND, menuExit, 0);
    }
    if (WaitForSingleObject(program.hProcess, patienceMs) != WAIT_OBJECT_0) {
        fail("the program did not end; terminating it");
        TerminateProcess(program.hProcess, 99);
    }

    // The table; --holds-only gives the rows of the holds alone.
    if (!o.holdsOnly) {
        Stats tick = statsOf(periods);
        row(format("Tick period, scanner off: mean (%zu ticks)", tick.n), format("%.3f ms", tick.mean), "10 ms",
            "within 2 %", std::fabs(tick.mean - tickMs) <= tickMs * tickMeanTolerance);
        row("Tick period: median", format("%.3f ms", tick.median), "10 ms");
        row("Tick period: p99", format("%.3f ms", tick.p99), "10 ms", "at most 12 ms", tick.p99 <= tickP99GoalMs);
        row("Tick period: max", format("%.3f ms", tick.max), "10 ms");
        double idleSpanMs = msBetween(loads[idleFirst].time, loads[idleEnd - 1].time);
        long missed = std::lround(idleSpanMs / tickMs) - static_cast<long>(periods.size());
        row("  ticks that never came (an overdue timer fires once)", format("%ld of %ld", std::max(missed, 0L),
            std::lround(idleSpanMs / tickMs)), "0");
        Stats starts = statsOf(tickStarts);
        row("  the same from the status read that starts each tick: p99 / max",
            format("%.3f / %.3f ms", starts.p99, starts.max), "10 ms");

        Stats f = statsOf(follow), fp = statsOf(followPhase), r = statsOf(release);
        row(format("Transmit-follow, key to control byte of 384: mean (%zu keyings)", f.n), format("%.2f ms", f.mean),
            "about 7 ms");
        row("Transmit-follow: max", format("%.2f ms", f.max), "12 ms", "at most 12.5 ms", f.max <= followMaxGoalMs);
        row("  of which key to the status read that saw it: mean / max", format("%.2f / %.2f ms", fp.mean, fp.max),
            "5 / 10 ms");
        row("Release-follow, release to control byte of 432: mean / max", format("%.2f / %.2f ms", r.mean, r.max),
            "7 / 12 ms");

        Stats st = statsOf(steps);
        row(format("Scan period per free channel (%d sweeps of 384..448)", o.sweeps), format("%.2f ms", perChannelMs),
            "60 ms", "within 3 %", std::fabs(perChannelMs - sweepIdealMs) <= sweepIdealMs * scanTolerance);
        row("  step to step: median / p99 / max", format("%.2f / %.2f / %.2f ms", st.median, st.p99, st.max), "60 ms");
    }

    auto holdRows = [&](const char *name, const std::vector<double> &holds, const std::vector<double> &dwells,
                        double ideal) {
        Stats hs = statsOf(holds), ds = statsOf(dwells);
        double worst = std::max(std::fabs(hs.min - ideal), std::fabs(hs.max - ideal));
        double apart = 0;  // hold against the time on the channel less its first dwell
        for (size_t i = 0; i < holds.size(); ++i) {
            apart = std::max(apart, std::fabs(dwells[i] - dwellS - holds[i]) / holds[i]);
        }
        row(format("%s hold, busy decision to the decision that ends it (%zu): mean [min, max]", name, hs.n),
            format("%.3f s [%.3f, %.3f]", hs.mean, hs.min, hs.max), format("%.2f s", ideal), "within 3 %",
            worst <= ideal * scanTolerance);
        row(format("  time on the channel, its load to the next load: mean [min, max]"),
            format("%.3f s [%.3f, %.3f]", ds.mean, ds.min, ds.max), format("%.2f s", ideal + dwellS));
        row("  hold against that time less the 60 ms first dwell: largest difference", format("%.2f %%", 100 * apart),
            "0 %", "within 1 %", apart <= holdAgreement);
    };
    holdRows("Jump", jumpHolds, jumpDwells, jumpHoldS);
    holdRows("Halt", haltHolds, haltDwells, haltHoldS);

    if (!o.holdsOnly) {
        auto cpuText = [](const CpuWindow &w) {
            std::string t = w.share() < 0 ? std::string("n/a") : format("%.2f %% of a core", 100 * w.share());
            if (w.serverShare() >= 0) {
                t += format(" (wine server meanwhile: %.2f %%)", 100 * w.serverShare());
            }
            return t;
        };
        const char *cpuSource = underWine() ? "process list" : "GetProcessTimes";
        row(format("CPU of the program, panel idle (%d s; %s)", o.idleSeconds, cpuSource), cpuText(idleCpu), "",
            "at most 2 %", idleCpu.share() >= 0 && idleCpu.share() <= idleCpuGoal);
        row(format("CPU of the program, scanning free channels (%.0f s)", scanCpu.wallMs / 1000), cpuText(scanCpu),
            "");
        row(format("CPU of the program, scan held on a busy channel (%.0f s)", holdCpu.wallMs / 1000),
            cpuText(holdCpu), "");
        row("Start-up: CreateProcess to the first port write", format("%.0f ms", startupMs), "");
    }

    // Every load and status read of the run, for a closer look.
    FILE *traffic = openOut(o.outDir, "traffic.csv");
    if (traffic) {
        fprintf(traffic, "time_ms,kind,value\n");
        size_t l = 0, r = 0;
        while (l < loads.size() || r < reads.size()) {
            bool takeLoad = r == reads.size() || (l < loads.size() && loads[l].time <= reads[r].time);
            if (takeLoad) {
                fprintf(traffic, "%.4f,load,%d\n", msBetween(started, loads[l].time), loads[l].channel);
                ++l;
            } else {
                fprintf(traffic, "%.4f,status,0x%02X\n", msBetween(started, reads[r].time), reads[r].value);
                ++r;
            }
        }
        fclose(traffic);
    }

    std::string table = tableText();
    fputs(table.c_str(), stdout);
    if (lostEntries) {
        printf("\n%lld entries of the port record were overwritten before they were read.\n", lostEntries);
    }
    printf("\n%d goal(s) missed.\n", goalsMissed);
    fflush(stdout);
    FILE *tableOut = openOut(o.outDir, "table.md");
    if (!tableOut) {
        return 1;
    }
    fputs(table.c_str(), tableOut);
    fclose(tableOut);

    CloseHandle(program.hThread);
    CloseHandle(program.hProcess);
    qdSimClose(sim, mapping);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    Options o;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto number = [&](int &into) {
            if (i + 1 >= argc) {
                return false;
            }
            into = atoi(argv[++i]);
            return into > 0;
        };
        bool ok = true;
        if (a == "--idle-seconds") {
            ok = number(o.idleSeconds);
        } else if (a == "--keyings") {
            ok = number(o.keyings);
        } else if (a == "--sweeps") {
            ok = number(o.sweeps);
        } else if (a == "--holds-only") {
            o.holdsOnly = true;
        } else if (positional == 0) {
            o.program = outside::windowsPath(a);
            ++positional;
        } else if (positional == 1) {
            o.outDir = outside::windowsPath(a);
            ++positional;
        } else {
            ok = false;
        }
        if (!ok) {
            positional = -1;
            break;
        }
    }
    if (positional != 2) {
        fputs("usage: timing_driver.exe PROGRAM.exe OUTDIR [--idle-seconds N] [--keyings N] [--sweeps N]"
              " [--holds-only]\n",
              stderr);
        return 2;
    }
    return run(o);
}
