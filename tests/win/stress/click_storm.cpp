// Random clicks on the real program, with random signals and keying on the
// simulated transceiver, while a second thread keeps asking the frequency
// display for its text:
//
//   click_storm.exe PROGRAM.exe [--seconds N] [--seed S] [--rate R]
//
// PROGRAM.exe lies in a folder of its own with the simulated io.dll beside it;
// the simulator's shared memory gets a name of this run's own (QD7150_SIM_NAME).
// For N seconds (default 20, or the environment variable QD_STRESS_SECONDS; 60
// or more for the full run) the driver clicks R times a second (default 200,
// at least 100) on random panel buttons, every one of them including Scan,
// Mode, Watch, the shift buttons and Reset, and now and then closes the panel
// and opens it again through "VFO"; in between it puts carriers on random
// channels, takes them off again, and keys and releases the transmitter. All
// the while:
//   - the program stays alive, raises no exception (it runs under the
//     debugging API, which sees the faults the system would swallow) and
//     takes every click within 5 s;
//   - the frequency display answers WM_GETTEXT, asked every few milliseconds,
//     within 100 ms, and always with a receive and a transmit frequency. The
//     slowest answer and the late ones are reported. For the noise of a
//     shared machine, 0.2% of the answers may come late, but none after more
//     than a second; a handler that blocks makes many late answers;
//   - no message box appears;
//   - in the simulator's record of the port traffic, read as it comes, every
//     data write is followed at once by its own control write, and every
//     control write follows a data write: no load is interrupted by another
//     access to the port, even when the port library pumps the program's
//     messages inside its calls (the storm against tests/win/stress/pumping).
// After the storm the program must still work: Reset shows "RX 145.600\n\nTX
// 145.000", the synthesizer is loaded every tick and follows the transmitter,
// and "Avsluta" ends the program with exit code 0.
//
// The seed (--seed, or QD_STRESS_SEED; by default from the clock) is printed
// first and with every failure; the same seed gives the same sequence of
// actions (the program's timing may still differ from run to run).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_shared.h"
#include "tests/win/common/outside_driver.h"

namespace {

// ---- Settings ----------------------------------------------------------------------

std::string program;
double seconds = 20;
double clickRate = 200;
uint32_t seed = 0;

constexpr DWORD patienceMs = 20000;     // for windows to come and go on a noisy machine
constexpr DWORD clickLimitMs = 5000;    // a click not taken by then: the program hangs
constexpr double answerLimitMs = 100;   // the display must answer within this
constexpr double lateShare = 0.002;     // the machine's noise: late answers allowed, a share of all
constexpr double answerCeilingMs = 1000;  // no answer may ever take longer
constexpr double minimumRate = 100;     // clicks a second the driver must reach

const char panelTitle[] = "QD-7150 Control";
const char homeText[] = "RX 145.600\n\nTX 145.000";

// Every control of the panel that does something, and the identifiers
// between them that carry no control.
const int buttonIds[] = {1102, 1103, 1104, 1105, 1106, 1107, 1108, 1109, 2000, 2001, 2002,
                         2010, 2011, 2124, 2125, 2126, 2130, 3001, 3002, 3003};
const int emptyIds[] = {2127, 2128, 2129};

// ---- Windows of the program ----------------------------------------------------------

HWND findWindow(DWORD pid, const char *className, const char *title, bool otherTitle = false,
                bool visibleOnly = true)
{
    return outside::findWindow(pid, className, title, visibleOnly, nullptr, otherTitle);
}

template <typename Condition>
bool waitFor(Condition condition, DWORD ms = patienceMs)
{
    return outside::waitFor(condition, ms);
}

std::string textOf(HWND window)
{
    char text[256] = "";
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, clickLimitMs,
                        &result);
    return text;
}

double nowMs()
{
    static const double perMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart / 1000.0;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart / perMs;
}

// "RX <frequency>\n\nTX <frequency>", whatever the frequencies.
bool looksLikeFrequencies(const char *text)
{
    const char *tx = std::strstr(text, "\n\nTX ");
    return std::strncmp(text, "RX ", 3) == 0 && tx != nullptr && tx[5] != '\0';
}

// ---- The display prober: a thread of its own ------------------------------------------

struct Prober {
    std::atomic<HWND> display{nullptr};  // null while the panel is closed
    std::atomic<bool> stop{false};
    // Written by the prober thread only; read after it has ended.
    long probes = 0;
    long late = 0;      // answered after answerLimitMs
    long unanswered = 0;  // no answer within clickLimitMs
    long badTexts = 0;
    double slowestMs = 0;
    double startedAt = nowMs();
    std::string lateAnswers;  // when the first late answers came, and how late
    std::string firstBadText;
    std::vector<double> latencies;

    void run()
    {
        std::minstd_rand pause(seed ^ 0x9E3779B9u);
        while (!stop) {
            HWND target = display;
            if (target == nullptr) {
                Sleep(5);
                continue;
            }
            char text[256] = "";
            DWORD_PTR result = 0;
            double start = nowMs();
            LRESULT ok = SendMessageTimeoutA(target, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                                             SMTO_NORMAL, clickLimitMs, &result);
            double took = nowMs() - start;
            // A panel closed by the driver in the meantime does not count.
            if (display != target || !IsWindow(target)) {
                continue;
            }
            ++probes;
            if (!ok) {
                ++unanswered;
            } else {
                latencies.push_back(took);
                slowestMs = std::max(slowestMs, took);
                if (took > answerLimitMs && ++late <= 10) {
                    char text[48];
                    std::snprintf(text, sizeof text, "%s%.0f ms at %.1f s", late > 1 ? ", " : "", took,
                                  (start - startedAt) / 1000);
                    lateAnswers += text;
                }
                if (!looksLikeFrequencies(text)) {
                    if (badTexts++ == 0) {
                        firstBadText = text;
                    }
                }
            }
            Sleep(2 + pause() % 12);
        }
    }

    double percentile(double p) const
    {
        if (latencies.empty()) {
            return 0;
        }
        std::vector<double> sorted = latencies;
        std::sort(sorted.begin(), sorted.end());
        return sorted[static_cast<size_t>(p * (sorted.size() - 1))];
    }
};

// ---- The record of the port traffic ---------------------------------------------------

// Reads the simulator's record as it grows and checks every load in it: a data
// write (888) and at once its control write (890), with no other access to the
// port between them.
struct LoadCheck {
    LONG64 next = 0;         // the next entry to read
    LONG64 dataAt = -1;      // the entry of a data write still waiting for its control write
    long loads = 0;
    long faults = 0;
    std::string firstFault;

    void fault(LONG64 entry, const std::string &what)
    {
        if (faults++ == 0) {
            char text[64];
            std::snprintf(text, sizeof text, "entry %lld: ", static_cast<long long>(entry));
            firstFault = text + what;
        }
    }

    void readNew(const QdSimShared *sim)
    {
        LONG64 end = sim->writeIndex;
        if (next < qdSimLogFirst(sim)) {
            fault(next, "the record ran over before it was read");
            next = qdSimLogFirst(sim);
            dataAt = -1;
        }
        for (; next < end; ++next) {
            QdSimLogEntry e;
            if (!qdSimLogRead(sim, next, &e)) {
                return;  // still being written: read it next time
            }
            check(next, e);
        }
    }

    void check(LONG64 entry, const QdSimLogEntry &e)
    {
        bool data = e.direction == QD_SIM_OUT && e.port == 888;
        bool control = e.direction == QD_SIM_OUT && e.port == 890;
        char text[160];
        if (dataAt >= 0 && !control) {
            std::snprintf(text, sizeof text,
                          "the data write of entry %lld is followed by %s %d before its control write",
                          static_cast<long long>(dataAt), e.direction == QD_SIM_OUT ? "a write to" : "a read of",
                          e.port);
            fault(entry, text);
        } else if (control && dataAt < 0) {
            fault(entry, "a control write with no data write before it");
        } else if (control) {
            ++loads;
        }
        dataAt = data ? entry : -1;
    }
};

// ---- The program under test ------------------------------------------------------------

// The program runs under the debugging API, on a thread of the driver's own:
// a fault in a window procedure, dialog procedure or timer callback reached
// through a call back from the system is swallowed there on x64 (Windows and
// Wine alike), and the process lives on as if nothing had happened. The
// debugger still sees the exception, and every one is a failure.
struct Program {
    PROCESS_INFORMATION info = {};
    HWND panel = nullptr;
    HWND main = nullptr;

    std::thread debugger;
    HANDLE created = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool startedOk = false;
    DWORD startError = 0;
    std::mutex faultsLock;
    std::vector<std::string> faults;
    std::atomic<int> faultCount{0};
    uintptr_t imageBase = 0;

    ~Program()
    {
        if (info.hProcess && alive()) {
            TerminateProcess(info.hProcess, 99);
        }
        if (debugger.joinable()) {
            debugger.join();
        }
        if (info.hProcess) {
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
        CloseHandle(created);
    }

    bool start(const std::string &path)
    {
        debugger = std::thread([this, path] { debug(path); });
        WaitForSingleObject(created, INFINITE);
        return startedOk;
    }

    void debug(const std::string &path)
    {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        std::string commandLine = "\"" + path + "\"";
        startedOk = CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                                   nullptr, nullptr, &si, &info) != 0;
        startError = GetLastError();
        SetEvent(created);
        if (!startedOk) {
            return;
        }
        for (;;) {
            DEBUG_EVENT event;
            if (!WaitForDebugEvent(&event, 1000)) {
                continue;
            }
            DWORD status = DBG_CONTINUE;
            switch (event.dwDebugEventCode) {
            case CREATE_PROCESS_DEBUG_EVENT:
                imageBase = reinterpret_cast<uintptr_t>(event.u.CreateProcessInfo.lpBaseOfImage);
                if (event.u.CreateProcessInfo.hFile) {
                    CloseHandle(event.u.CreateProcessInfo.hFile);
                }
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (event.u.LoadDll.hFile) {
                    CloseHandle(event.u.LoadDll.hFile);
                }
                break;
            case EXCEPTION_DEBUG_EVENT: {
                const EXCEPTION_RECORD &e = event.u.Exception.ExceptionRecord;
                if (e.ExceptionCode != EXCEPTION_BREAKPOINT) {
                    status = DBG_EXCEPTION_NOT_HANDLED;  // the program's own handling goes on
                }
                if ((e.ExceptionCode & 0xC0000000u) == 0xC0000000u) {
                    // Where in the program's image, for addr2line, when it is there.
                    auto address = reinterpret_cast<uintptr_t>(e.ExceptionAddress);
                    char where[48] = "";
                    if (address >= imageBase && address - imageBase < 0x1000000) {
                        std::snprintf(where, sizeof where, " (image offset 0x%llx)",
                                      static_cast<unsigned long long>(address - imageBase));
                    }
                    char text[200];
                    std::snprintf(text, sizeof text, "exception 0x%08lX at %p%s in thread %lu, %s chance",
                                  e.ExceptionCode, e.ExceptionAddress, where, event.dwThreadId,
                                  event.u.Exception.dwFirstChance ? "first" : "second");
                    std::lock_guard<std::mutex> hold(faultsLock);
                    faults.push_back(text);
                    ++faultCount;
                }
                break;
            }
            default:
                break;
            }
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
            if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
                return;
            }
        }
    }

    std::vector<std::string> faultsSoFar()
    {
        std::lock_guard<std::mutex> hold(faultsLock);
        return faults;
    }
    DWORD pid() const { return info.dwProcessId; }
    bool alive() const { return WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT; }
    DWORD exitCode() const
    {
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        return code;
    }
    HWND waitForPanel()
    {
        HWND found = nullptr;
        waitFor([&] { return !alive() || (found = findWindow(pid(), "#32770", panelTitle)) != nullptr; });
        return found;
    }
    HWND errorBox() const { return findWindow(pid(), "#32770", panelTitle, true); }
};

std::string exitText(DWORD code)
{
    char text[64];
    std::snprintf(text, sizeof text, "exit code %lu (0x%08lX)", code, code);
    return text;
}

// ---- The storm -------------------------------------------------------------------------

TEST(ClickStorm, RandomClicksSignalsAndKeyingDoNotBreakTheProgram)
{
    char rerun[512];
    std::snprintf(rerun, sizeof rerun, "seed %u (again: click_storm.exe PROGRAM.exe --seed %u --seconds %g)", seed,
                  seed, seconds);
    SCOPED_TRACE(rerun);

    // A simulator of this run's own, which the program finds through its environment.
    char simName[64];
    std::snprintf(simName, sizeof simName, "Local\\QD7150Storm-%lu", GetCurrentProcessId());
    SetEnvironmentVariableA(QD_SIM_NAME_VARIABLE, simName);
    HANDLE mapping = nullptr;
    QdSimShared *sim = qdSimOpen(true, &mapping);
    ASSERT_NE(sim, nullptr) << "the simulator's shared memory could not be made";
    struct CloseSim {
        QdSimShared *s;
        HANDLE m;
        ~CloseSim() { qdSimClose(s, m); }
    } closeSim{sim, mapping};

    Program p;
    ASSERT_TRUE(p.start(program)) << "cannot start " << program << ": error " << p.startError;
    p.panel = p.waitForPanel();
    ASSERT_NE(p.panel, nullptr) << "the control panel did not appear";
    ASSERT_EQ(p.errorBox(), nullptr) << "a message box came up at start-up";
    // Hidden while the first panel is open.
    p.main = findWindow(p.pid(), "RootClass", nullptr, false, false);
    ASSERT_NE(p.main, nullptr) << "no main window";

    Prober prober;
    prober.display = GetDlgItem(p.panel, 2112);
    std::thread probeThread([&] { prober.run(); });
    struct StopProber {
        Prober &pr;
        std::thread &t;
        ~StopProber()
        {
            pr.stop = true;
            if (t.joinable()) {
                t.join();
            }
        }
    } stopProber{prober, probeThread};

    std::mt19937 rng(seed);
    auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };

    long clicks = 0, buttonClicks = 0, emptyClicks = 0, carrierChanges = 0, keyChanges = 0, reopenings = 0;
    long unansweredClicks = 0;
    std::vector<int> carriers;  // channels given a carrier, to clear at the end
    std::string failure;
    double closedMs = 0;  // time spent closing and reopening, not clicking
    const LONG loadsBefore = sim->loads;
    LoadCheck record;

    auto click = [&](int id) {
        HWND control = GetDlgItem(p.panel, id);
        DWORD_PTR result = 0;
        LRESULT ok;
        if (control != nullptr && chance(0.25)) {
            // Through the button's own code, as a mouse click goes.
            ok = SendMessageTimeoutA(control, BM_CLICK, 0, 0, SMTO_NORMAL, clickLimitMs, &result);
            ++buttonClicks;
        } else {
            ok = SendMessageTimeoutA(p.panel, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                     reinterpret_cast<LPARAM>(control), SMTO_NORMAL, clickLimitMs, &result);
        }
        ++clicks;
        if (!ok && p.alive()) {
            ++unansweredClicks;
        }
    };

    // Closes the panel one of three ways and opens it again through "VFO".
    auto reopen = [&]() -> bool {
        double start = nowMs();
        prober.display = nullptr;
        HWND old = p.panel;
        switch (pick(0, 2)) {
        case 0:
            PostMessageA(old, WM_COMMAND, IDOK, 0);  // ends nothing
            PostMessageA(old, WM_CLOSE, 0, 0);
            break;
        case 1:
            PostMessageA(old, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        default:
            PostMessageA(old, WM_CLOSE, 0, 0);
            break;
        }
        if (!waitFor([&] { return !IsWindow(old) && IsWindowVisible(p.main) && IsWindowEnabled(p.main); })) {
            failure = "the panel did not close, or the main window did not come back";
            return false;
        }
        PostMessageA(p.main, WM_COMMAND, 1005, 0);
        p.panel = p.waitForPanel();
        if (p.panel == nullptr) {
            failure = "\"VFO\" did not open the panel again";
            return false;
        }
        prober.display = GetDlgItem(p.panel, 2112);
        ++reopenings;
        closedMs += nowMs() - start;
        return true;
    };

    timeBeginPeriod(1);
    const double period = 1000.0 / clickRate;
    const double start = nowMs();
    const double end = start + seconds * 1000.0;
    double next = start;
    long step = 0;
    while (failure.empty()) {
        double now = nowMs();
        if (now >= end) {
            break;
        }
        if (now < next) {
            Sleep(static_cast<DWORD>(std::min(next - now, 5.0)));
            continue;
        }
        // Keep to the rate, but do not rush to catch up after a stall.
        next = std::max(next + period, now - 5 * period);
        ++step;

        // One click in each slot; now and then the panel is closed and
        // opened again instead.
        if (chance(0.0007)) {
            reopen();
            next = nowMs();
        } else if (chance(0.01)) {
            click(emptyIds[pick(0, 2)]);
            ++emptyClicks;
        } else {
            click(buttonIds[pick(0, sizeof buttonIds / sizeof buttonIds[0] - 1)]);
        }
        // Besides the clicks: a carrier on or off, mostly in the band,
        // sometimes on the channel the synthesizer is on right now, sometimes
        // anywhere; and the transmitter keyed or released.
        if (chance(0.15)) {
            int channel = chance(0.3) ? static_cast<int>(sim->channel) : chance(0.8) ? pick(300, 470) : pick(0, 999);
            bool on = chance(0.6);
            qdSimSetCarrier(sim, channel, QD_SIM_CARRIER_MANUAL, on);
            if (on && channel >= 0 && channel < QD_SIM_CHANNELS) {
                carriers.push_back(channel);
            }
            ++carrierChanges;
        }
        if (chance(0.05)) {
            InterlockedExchange(&sim->keyed, chance(0.5) ? 1 : 0);
            ++keyChanges;
        }

        record.readNew(sim);
        if (!p.alive()) {
            failure = "the program ended during the storm, " + exitText(p.exitCode());
        } else if (p.faultCount != 0) {
            failure = "the program faulted: " + p.faultsSoFar().front();
        } else if (step % 100 == 0) {
            if (HWND box = p.errorBox()) {
                char title[64] = "";
                GetWindowTextA(box, title, sizeof title);
                failure = std::string("a message box came up: \"") + title + "\"";
            }
        }
    }
    const double stormMs = nowMs() - start;
    const LONG loadsDuring = sim->loads - loadsBefore;
    prober.stop = true;
    probeThread.join();
    timeEndPeriod(1);

    const double clickingMs = stormMs - closedMs;
    const double rate = clickingMs > 0 ? clicks * 1000.0 / clickingMs : 0;
    std::printf("storm: %.1f s, %ld clicks (%ld through the button, %ld on empty identifiers), %.0f clicks/s while "
                "the panel was open\n",
                stormMs / 1000, clicks, buttonClicks, emptyClicks, rate);
    std::printf("       %ld carrier changes, %ld keying changes, %ld closings and reopenings (%.1f s), %ld loads\n",
                carrierChanges, keyChanges, reopenings, closedMs / 1000, static_cast<long>(loadsDuring));
    std::printf("record: %ld loads checked, %ld interrupted\n", record.loads, record.faults);
    std::printf("display: %ld answers, slowest %.1f ms, 99th percentile %.1f ms, median %.1f ms, %ld later than "
                "%.0f ms, %ld unanswered\n",
                prober.probes, prober.slowestMs, prober.percentile(0.99), prober.percentile(0.5), prober.late,
                answerLimitMs, prober.unanswered);

    ASSERT_EQ(failure, "");
    EXPECT_EQ(unansweredClicks, 0) << "clicks not taken within " << clickLimitMs << " ms";
    EXPECT_GE(rate, minimumRate) << "the program did not take clicks as fast as asked";
    EXPECT_GT(prober.probes, static_cast<long>(seconds * 20)) << "the display was hardly asked";
    EXPECT_EQ(prober.unanswered, 0) << "the display did not answer within " << clickLimitMs << " ms";
    EXPECT_LE(prober.slowestMs, answerCeilingMs) << "the display did not answer for " << prober.slowestMs << " ms";
    EXPECT_LE(prober.late, static_cast<long>(prober.probes * lateShare))
        << "answers later than " << answerLimitMs << " ms: " << prober.lateAnswers;
    EXPECT_EQ(prober.badTexts, 0) << "the display showed \"" << prober.firstBadText << "\"";
    EXPECT_GT(loadsDuring, 0) << "nothing was loaded during the storm";
    EXPECT_EQ(record.faults, 0) << "loads interrupted in the record of the port traffic, the first at "
                                << record.firstFault;

    // ---- Afterwards: the program still works ----
    ASSERT_TRUE(p.alive()) << exitText(p.exitCode());
    for (int channel : carriers) {
        qdSimSetCarrier(sim, channel, QD_SIM_CARRIER_MANUAL, false);
    }
    InterlockedExchange(&sim->keyed, 0);
    Sleep(200);  // a few ticks with the transmitter released

    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(p.panel, WM_COMMAND, MAKEWPARAM(1108, BN_CLICKED),
                                    reinterpret_cast<LPARAM>(GetDlgItem(p.panel, 1108)), SMTO_NORMAL, clickLimitMs,
                                    &result))
        << "Reset was not taken";
    // A click taken in the middle of a tick (a port library that pumps
    // messages) is carried out once the tick is done: wait for what it shows.
    auto shows = [&](int id, const char *text) {
        return waitFor([&] { return textOf(GetDlgItem(p.panel, id)) == text; }, 5000);
    };
    EXPECT_TRUE(shows(2112, homeText)) << textOf(GetDlgItem(p.panel, 2112));
    EXPECT_TRUE(shows(3004, "-600.0KHz")) << textOf(GetDlgItem(p.panel, 3004));
    EXPECT_NE(textOf(GetDlgItem(p.panel, 2101)).find("Mode: Off"), std::string::npos) << "the scanner still runs";

    // The ticks go on loading the home channel, and follow the transmitter.
    EXPECT_TRUE(waitFor([&] { return sim->channel == 432; }, 5000)) << "the home channel is not loaded";
    LONG loads = sim->loads;
    Sleep(1000);
    EXPECT_GE(sim->loads - loads, 20) << "the synthesizer is no longer loaded every tick";
    InterlockedExchange(&sim->keyed, 1);
    EXPECT_TRUE(waitFor([&] { return sim->channel == 384; }, 5000))
        << "keyed, the transmit channel (432 less the 600 kHz shift) is not loaded; on " << sim->channel;
    InterlockedExchange(&sim->keyed, 0);
    EXPECT_TRUE(waitFor([&] { return sim->channel == 432; }, 5000)) << "released, not back on the home channel";
    EXPECT_EQ(textOf(GetDlgItem(p.panel, 2112)), homeText);

    // Close the panel, then "Avsluta": exit code 0.
    PostMessageA(p.panel, WM_CLOSE, 0, 0);
    ASSERT_TRUE(waitFor([&] { return !IsWindow(p.panel) && IsWindowVisible(p.main) && IsWindowEnabled(p.main); }))
        << "the panel did not close";
    PostMessageA(p.main, WM_COMMAND, 1002, 0);
    ASSERT_EQ(WaitForSingleObject(p.info.hProcess, patienceMs), static_cast<DWORD>(WAIT_OBJECT_0))
        << "\"Avsluta\" did not end the program";
    EXPECT_EQ(p.exitCode(), 0u);
    long faultsInStorm = record.faults;
    record.readNew(sim);
    EXPECT_EQ(record.faults, faultsInStorm)
        << "loads interrupted after the storm, the first at " << record.firstFault;
    for (const std::string &fault : p.faultsSoFar()) {
        ADD_FAILURE() << "the program faulted: " << fault;
    }
}

}  // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (const char *s = std::getenv("QD_STRESS_SECONDS")) {
        seconds = std::atof(s);
    }
    bool seeded = false;
    if (const char *s = std::getenv("QD_STRESS_SEED")) {
        seed = static_cast<uint32_t>(std::strtoul(s, nullptr, 10));
        seeded = true;
    }
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (a == "--seed" && i + 1 < argc) {
            seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
            seeded = true;
        } else if (a == "--rate" && i + 1 < argc) {
            clickRate = std::atof(argv[++i]);
        } else if (program.empty() && a.rfind("--", 0) != 0) {
            program = a;
        } else {
            program.clear();
            break;
        }
    }
    if (program.empty() || seconds <= 0 || clickRate < minimumRate) {
        std::fprintf(stderr,
                     "usage: click_storm.exe PROGRAM.exe [--seconds N] [--seed S] [--rate R]  (R >= %.0f)\n",
                     minimumRate);
        return 2;
    }
    if (!seeded) {
        LARGE_INTEGER t;
        QueryPerformanceCounter(&t);
        seed = static_cast<uint32_t>(t.QuadPart ^ (t.QuadPart >> 32)) ^ (GetCurrentProcessId() * 2654435761u);
    }
    program = outside::windowsPath(program);
    std::printf("click storm: seed %u, %g s, %g clicks/s, %s\n", seed, seconds, clickRate, program.c_str());
    std::fflush(stdout);
    int result = RUN_ALL_TESTS();
    if (result != 0) {
        std::printf("FAILED with seed %u: click_storm.exe %s --seed %u --seconds %g\n", seed, program.c_str(), seed,
                    seconds);
    }
    return result;
}
