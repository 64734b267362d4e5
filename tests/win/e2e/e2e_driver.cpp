// The real program against the simulated transceiver, driven from outside as
// an operator would drive it:
//   e2e_driver.exe PROGRAM.exe [GoogleTest options]
// PROGRAM.exe lies in a folder with our simulated io.dll beside it. Each test
// holds a simulator of its own (a mapping name of its own, handed to the
// program through QD7150_SIM_NAME), starts the program, clicks the panel's
// buttons, keys the transmitter and puts carriers on channels through the
// simulator's shared memory, and reads back the panel's texts, its radio
// marks, the colour of the frequency display on the screen, and the
// simulator's record of the channels loaded.
//
// The order of the channels loaded is checked exactly; times only against
// wide bounds, since the machine may be busy with other work.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "res/resource.h"
#include "sim/sim_shared.h"
#include "tests/win/common/outside_driver.h"
#include "ui/single_copy.h"

namespace {

std::string program;

constexpr DWORD patienceMs = 20000;  // for windows to come and go under Wine

constexpr int homeChannel = 432;
constexpr COLORREF receiveColour = RGB(200, 240, 200);   // light green
constexpr COLORREF transmitColour = RGB(255, 220, 180);  // peach
constexpr COLORREF outsideBandColour = RGB(255, 176, 0);  // amber: TX outside the band
constexpr COLORREF keyedOutsideColour = RGB(255, 64, 64); // red: keyed, TX outside the band

// One load of the synthesizer, as the simulator recorded it: a write to the
// control port after a write to the data port.
struct Load {
    LONG64 index;      // log index of the control-port write
    int64_t time;      // its performance-counter time
    int channel;       // decoded from the two bytes; -1 if no data byte came first
    LONG64 dataIndex;  // log index of the data-port write before it; -1 if none came
};

int decodeChannel(int data, int control)
{
    // The control lines carry the hundreds once bits 0, 1 and 3 are inverted.
    return ((control ^ 0x0B) & 0x0F) * 100 + (data >> 4) * 10 + (data & 0x0F);
}

template <typename Condition>
bool waitFor(Condition condition, DWORD ms)
{
    return outside::waitFor(condition, ms, 5);
}

// Sends a message to a window of the program and waits for its answer, but
// not forever: a program that hangs fails the test instead of stalling it.
bool ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR *answer = nullptr)
{
    DWORD_PTR result = 0;
    bool answered = SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, patienceMs, &result) != 0;
    if (answer) {
        *answer = result;
    }
    return answered;
}

std::string textOf(HWND window)
{
    char text[256] = "";
    ask(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string colourName(COLORREF c)
{
    if (c == CLR_INVALID) {
        return "no pixel";
    }
    char s[40];
    std::snprintf(s, sizeof s, "RGB(%d,%d,%d)", GetRValue(c), GetGValue(c), GetBValue(c));
    return s;
}

bool sameColour(COLORREF a, COLORREF b)
{
    auto within = [](int x, int y) { return x - y <= 3 && y - x <= 3; };
    return a != CLR_INVALID && within(GetRValue(a), GetRValue(b)) && within(GetGValue(a), GetGValue(b)) &&
           within(GetBValue(a), GetBValue(b));
}

std::vector<int> channelsOf(const std::vector<Load> &loads)
{
    std::vector<int> v;
    for (const Load &l : loads) {
        v.push_back(l.channel);
    }
    return v;
}

// What a copy that found the port taken must have done: loaded libraries (so
// that we saw them) but never io.dll, and ended with 0.
void expectLeftThePortAlone(outside::WatchedCopy &copy)
{
    ASSERT_TRUE(copy.ended(patienceMs)) << "the copy did not end";
    EXPECT_EQ(copy.exitCode(), 0u);
    EXPECT_EQ(std::count(copy.libraries.begin(), copy.libraries.end(), "?"), 0) << "unnamed library loads";
    EXPECT_TRUE(copy.loaded("user32.dll")) << "the library loads were not all seen";
    EXPECT_FALSE(copy.loaded("io.dll")) << "the second copy loaded the port library";
}

using outside::ForegroundWindow;

bool waitForForeground(HWND window)
{
    return outside::waitForForeground(window, patienceMs);
}

// One test: a simulator of its own and the program running against it, with
// its control panel open.
class Radio : public testing::Test {
protected:
    QdSimShared *sim = nullptr;
    HANDLE mapping = nullptr;
    PROCESS_INFORMATION process = {};
    HWND panel = nullptr;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(openSimulator());
        ASSERT_NO_FATAL_FAILURE(startProgram());
    }

    void openSimulator()
    {
        static int count = 0;
        char name[96];
        std::snprintf(name, sizeof name, "Local\\QD7150E2E.%lu.%d", GetCurrentProcessId(), ++count);
        // The program inherits the name; we create and hold the mapping first.
        ASSERT_TRUE(SetEnvironmentVariableA(QD_SIM_NAME_VARIABLE, name));
        sim = qdSimOpen(true, &mapping, name);
        ASSERT_NE(sim, nullptr) << "cannot create the simulator " << name;
        ASSERT_EQ(sim->writeIndex, 0) << "the simulator " << name << " was in use already";
    }

    // Starts the program, once the copy started before has ended, and waits
    // for its control panel.
    void startProgram()
    {
        if (process.hProcess) {
            ASSERT_EQ(WaitForSingleObject(process.hProcess, 0), static_cast<DWORD>(WAIT_OBJECT_0));
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
            process = {};
        }
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        std::string commandLine = "\"" + program + "\"";
        ASSERT_TRUE(CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &si, &process))
            << "cannot start " << program;
        panel = waitForPanel(nullptr);
        ASSERT_NE(panel, nullptr) << "the control panel did not appear";
    }

    void TearDown() override
    {
        if (process.hProcess) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process.hProcess, 99);
                WaitForSingleObject(process.hProcess, patienceMs);
            }
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        qdSimClose(sim, mapping);
    }

    // A visible top-level window of our program.
    HWND findWindow(const char *className, const char *title)
    {
        return outside::findWindow(process.dwProcessId, className, title, true);
    }

    // A visible control panel of our program other than `except`.
    HWND waitForPanel(HWND except)
    {
        return outside::waitForWindow(process.dwProcessId, "#32770", "QD-7150 Control", patienceMs, except);
    }

    // --- the operator's side -------------------------------------------------

    // Closes the panel and waits for the main window it shows.
    void closePanel(HWND *main)
    {
        PostMessageA(panel, WM_CLOSE, 0, 0);
        ASSERT_TRUE(waitFor([&] { return (*main = findWindow("RootClass", "QD7150-Control")) != nullptr; },
                            patienceMs))
            << "the main window was not shown";
    }

    void click(int id)
    {
        HWND button = GetDlgItem(panel, id);
        ASSERT_NE(button, nullptr) << "no control " << id;
        // Returns once the panel has handled the click.
        ASSERT_TRUE(ask(button, BM_CLICK, 0, 0)) << "the program did not take the click on " << id;
    }

    void clicks(int id, int times)
    {
        for (int i = 0; i < times; ++i) {
            ASSERT_NO_FATAL_FAILURE(click(id));
        }
    }

    std::string text(int id) { return textOf(GetDlgItem(panel, id)); }

    bool marked(int id)
    {
        DWORD_PTR state = 0;
        return ask(GetDlgItem(panel, id), BM_GETCHECK, 0, 0, &state) && state == BST_CHECKED;
    }

    // The duplex radio button that is marked, or 0 when not exactly one is.
    int markedDuplexButton()
    {
        int found = 0, count = 0;
        for (int id : {IDC_DUPLEX, IDC_REV_DUP, IDC_SIMPLEX}) {
            if (marked(id)) {
                found = id;
                ++count;
            }
        }
        return count == 1 ? found : 0;
    }

    // Steps with "»", "«", ">" and "<" from one channel to another (scanner
    // off, 12.5 kHz spacing), then waits until the transceiver is on it.
    void stepTo(int from, int to)
    {
        int d = to - from;
        ASSERT_NO_FATAL_FAILURE(clicks(d > 0 ? IDC_FAST_UP : IDC_FAST_DOWN, (d > 0 ? d : -d) / 8));
        ASSERT_NO_FATAL_FAILURE(clicks(d > 0 ? IDC_STEP_UP : IDC_STEP_DOWN, (d > 0 ? d : -d) % 8));
        ASSERT_TRUE(waitFor([&] { return sim->channel == to; }, patienceMs))
            << "stepping from " << from << " did not reach " << to << "; the transceiver is on " << sim->channel;
    }

    void key(bool on) { InterlockedExchange(&sim->keyed, on ? 1 : 0); }

    // Keys or releases the line; returns the log index from which on the
    // record is of accesses made after the change (for loadsBegunFrom).
    LONG64 changeLine(bool on)
    {
        key(on);
        return mark();
    }

    // Keys or releases, then holds the line so for `holdMs`; returns the loads
    // begun meanwhile (none that was under way as the line changed), in `at`
    // the time of the change and in `changedAt` its log index.
    std::vector<Load> keyAndHold(bool on, double holdMs, int64_t *at, LONG64 *changedAt = nullptr)
    {
        *at = now();
        LONG64 from = changeLine(on);
        if (changedAt) {
            *changedAt = from;
        }
        return waitForLoadsBegun(
            from, [&](const std::vector<Load> &l) { return !l.empty() && ms(*at, l.back().time) >= holdMs; },
            patienceMs);
    }

    void carrier(int channel, bool on) { qdSimSetCarrier(sim, channel, QD_SIM_CARRIER_MANUAL, on); }

    // The colour of the frequency display as the screen shows it, at a point
    // near its lower right corner, below and beside the text. CLR_INVALID when
    // another window covers that point.
    COLORREF displayColour()
    {
        HWND display = GetDlgItem(panel, IDC_FREQUENCY_DISPLAY);
        RECT r;
        GetClientRect(display, &r);
        POINT p = {r.right - 6, r.bottom - 6};
        ClientToScreen(display, &p);
        if (GetAncestor(WindowFromPoint(p), GA_ROOT) != panel) {
            return CLR_INVALID;
        }
        HDC screen = GetDC(nullptr);
        COLORREF c = GetPixel(screen, p.x, p.y);
        ReleaseDC(nullptr, screen);
        return c;
    }

    // Waits until the display shows `colour`; returns the last colour seen.
    COLORREF waitForColour(COLORREF colour)
    {
        COLORREF seen = CLR_INVALID;
        waitFor([&] { return sameColour(seen = displayColour(), colour); }, 5000);
        return seen;
    }

    // Asked again for as long as it is not there, the driver's messages run
    // meanwhile: the window that had the front (the driver's own, or Wine's desktop)
    // can take it back when its activation comes through late, as on a busy
    // machine, and a single request is then lost.
    void bringToFront(HWND window)
    {
        ASSERT_TRUE(waitFor([&] {
            ForegroundWindow::pump();
            if (GetForegroundWindow() == window) {
                return true;
            }
            SetForegroundWindow(window);
            return false;
        }, patienceMs)) << "the window did not come to the front";
    }

    // Moves the panel where no other test's window goes, above all others, so
    // that the screen shows it.
    void bringPanelIntoView()
    {
        RECT r;
        GetWindowRect(panel, &r);
        int x = GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left) - 20;
        int y = GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top) - 20;
        SetWindowPos(panel, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        waitFor([&] {
            GetWindowRect(panel, &r);
            return r.left == x && r.top == y;
        }, patienceMs);
    }

    // --- the simulator's record ----------------------------------------------

    // Waits until the panel has loaded the transceiver `count` times.
    void waitForTicks(size_t count)
    {
        std::vector<Load> v = waitForLoads(0, [&](const std::vector<Load> &l) { return l.size() >= count; },
                                           patienceMs);
        ASSERT_GE(v.size(), count) << (IsWindow(panel) ? "the panel is open; " : "the panel was closed; ")
                                   << describe(v, v.empty() ? now() : v.front().time);
    }

    // The next log index: what is recorded from now on.
    LONG64 mark() const { return sim->writeIndex; }

    int64_t now() const { return qdSimNow(); }

    double ms(int64_t from, int64_t to) const
    {
        return static_cast<double>(to - from) * 1000.0 / static_cast<double>(sim->qpcFrequency);
    }

    // The port traffic from log index `from` on begins with one look at the
    // transmit line (a status read), then the home load: unkeyed, 432.
    void expectHomeLoadFirst(LONG64 from)
    {
        QdSimLogEntry e[3] = {};
        ASSERT_TRUE(qdSimLogRead(sim, from, &e[0]) && qdSimLogRead(sim, from + 1, &e[1]) &&
                    qdSimLogRead(sim, from + 2, &e[2]));
        const char *direction[] = {"write", "read"};
        EXPECT_TRUE(e[0].direction == QD_SIM_IN && e[0].port == 889 && e[1].direction == QD_SIM_OUT &&
                    e[1].port == 888 && e[1].value == 0x32 && e[2].direction == QD_SIM_OUT && e[2].port == 890 &&
                    e[2].value == 0x0F)
            << "the port traffic begins with a " << direction[e[0].direction & 1] << " of " << int(e[0].value)
            << " on port " << e[0].port << ", then a " << direction[e[1].direction & 1] << " of "
            << int(e[1].value) << " on port " << e[1].port << ", then a " << direction[e[2].direction & 1]
            << " of " << int(e[2].value) << " on port " << e[2].port;
    }

    // The loads recorded from log index `from` on.
    std::vector<Load> loads(LONG64 from = 0) const
    {
        std::vector<Load> v;
        LONG64 end = sim->writeIndex;
        EXPECT_EQ(qdSimLogFirst(sim), 0) << "the record overflowed";
        int data = -1;
        LONG64 dataIndex = -1;
        for (LONG64 i = 0; i < end; ++i) {
            QdSimLogEntry e;
            if (!qdSimLogRead(sim, i, &e)) {
                break;  // still being written
            }
            if (e.direction != QD_SIM_OUT) {
                continue;
            }
            if (e.port == 888) {
                data = e.value;
                dataIndex = i;
            } else if (e.port == 890) {
                if (i >= from) {
                    v.push_back({i, e.time, data < 0 ? -1 : decodeChannel(data, e.value), data < 0 ? -1 : dataIndex});
                }
                data = -1;
            }
        }
        return v;
    }

    // The loads begun from log index `from` on: a load whose data write came
    // before it was already under way there, and is left out. From the index
    // of a change of the transmit line, these are the loads made with the
    // line changed.
    std::vector<Load> loadsBegunFrom(LONG64 from) const
    {
        std::vector<Load> v = loads(from);
        v.erase(std::remove_if(v.begin(), v.end(), [&](const Load &l) { return l.dataIndex < from; }), v.end());
        return v;
    }

    // Waits until the loads from `from` on satisfy `done`; returns them.
    std::vector<Load> waitForLoads(LONG64 from, const std::function<bool(const std::vector<Load> &)> &done,
                                   DWORD ms)
    {
        std::vector<Load> v;
        waitFor([&] { return done(v = loads(from)); }, ms);
        return v;
    }

    std::vector<Load> waitForLoadsBegun(LONG64 from, const std::function<bool(const std::vector<Load> &)> &done,
                                        DWORD ms)
    {
        std::vector<Load> v;
        waitFor([&] { return done(v = loadsBegunFrom(from)); }, ms);
        return v;
    }

    // The loads for a failure message: runs of one channel, each with its
    // count and the time of its first load after `origin`.
    std::string describe(const std::vector<Load> &v, int64_t origin) const
    {
        std::string s;
        for (size_t i = 0; i < v.size();) {
            size_t j = i;
            while (j < v.size() && v[j].channel == v[i].channel) {
                ++j;
            }
            char run[64];
            if (j - i > 1) {
                std::snprintf(run, sizeof run, "%d x%u @%+.0fms", v[i].channel, static_cast<unsigned>(j - i),
                              ms(origin, v[i].time));
            } else {
                std::snprintf(run, sizeof run, "%d @%+.0fms", v[i].channel, ms(origin, v[i].time));
            }
            s += (s.empty() ? "" : ", ") + std::string(run);
            i = j;
        }
        return "loads: " + (s.empty() ? std::string("none") : s);
    }

    void keyAfterTheScanLeft(int start, int station, int scanPresses, bool dropCarrierBeforeHoldEnds,
                             bool keepCarrier, double keyAfterMs, std::vector<Load> *keyed, int *stood);

    // From the home channel to the scan range 400..410, marked with Start and
    // Stop, ending on 400 with the scanner off.
    void setRange400To410(int from)
    {
        ASSERT_NO_FATAL_FAILURE(stepTo(from, 400));
        ASSERT_NO_FATAL_FAILURE(click(IDC_SCAN_START));
        ASSERT_NO_FATAL_FAILURE(stepTo(400, 410));
        ASSERT_NO_FATAL_FAILURE(click(IDC_SCAN_STOP));
        // Start and Stop show the range at once.
        EXPECT_EQ(text(IDC_SCANNER_DISPLAY).substr(0, 32), " Mode: Off\n\n145.200  -  145.325\n");
        ASSERT_NO_FATAL_FAILURE(stepTo(410, 400));
    }
};

// Start-up: the home channel is the first thing loaded, then each 10 ms tick
// loads it again.
TEST_F(Radio, StartUpLoadsHomeThenEveryTick)
{
    std::vector<Load> v = waitForLoads(
        0, [&](const std::vector<Load> &l) { return !l.empty() && ms(l.front().time, l.back().time) >= 2000; },
        patienceMs);
    ASSERT_FALSE(v.empty()) << "nothing was loaded";
    int64_t origin = v.front().time;

    EXPECT_EQ(v.front().channel, homeChannel) << describe(v, origin);
    expectHomeLoadFirst(0);

    // Two seconds of ticks, each loading 432.
    std::vector<Load> window;
    for (const Load &l : v) {
        if (ms(origin, l.time) <= 2000) {
            window.push_back(l);
        }
    }
    for (const Load &l : window) {
        ASSERT_EQ(l.channel, homeChannel) << describe(window, origin);
    }
    ASSERT_GE(window.size(), 2000u / 30) << describe(window, origin);
    double mean = ms(window.front().time, window.back().time) / static_cast<double>(window.size() - 1);
    std::printf("%u loads in 2 s, %.2f ms apart on average\n", static_cast<unsigned>(window.size()), mean);
    EXPECT_GE(mean, 5.0) << window.size() << " loads in 2 s";
    EXPECT_LE(mean, 30.0) << window.size() << " loads in 2 s";
}

// Keying in duplex at 432 moves the synthesizer to 384 within a tick or two,
// and the frequency display turns peach; releasing brings back 432 and light
// green.
TEST_F(Radio, KeyingInDuplexFollowsTheTransmitter)
{
    bringPanelIntoView();
    ASSERT_NO_FATAL_FAILURE(waitForTicks(10));
    EXPECT_EQ(markedDuplexButton(), IDC_DUPLEX);
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.600\n\nTX 145.000");
    COLORREF c = waitForColour(receiveColour);
    ASSERT_TRUE(sameColour(c, receiveColour)) << "receiving, the frequency display shows " << colourName(c);

    struct Change {
        bool keyed;
        int before, after;
        COLORREF colour;
        const char *name;
    };
    for (const Change &change : {Change{true, 432, 384, transmitColour, "keyed"},
                                 Change{false, 384, 432, receiveColour, "released"}}) {
        SCOPED_TRACE(change.name);
        int64_t at = now();
        LONG64 from = changeLine(change.keyed);
        std::vector<Load> v = waitForLoadsBegun(
            from,
            [&](const std::vector<Load> &l) {
                return !l.empty() && l.back().channel == change.after && ms(at, l.back().time) >= 300;
            },
            5000);
        // A load of the old channel decided on a status read just before the
        // change may begin after it, then only the new one.
        size_t k = 0;
        while (k < v.size() && v[k].channel == change.before) {
            ++k;
        }
        ASSERT_LT(k, v.size()) << change.after << " was never loaded; " << describe(v, at);
        EXPECT_LE(k, 1u) << describe(v, at);
        for (size_t j = k; j < v.size(); ++j) {
            ASSERT_EQ(v[j].channel, change.after) << describe(v, at);
        }
        EXPECT_LT(ms(at, v[k].time), 100.0) << describe(v, at);
        std::printf("%s: %d loaded %.1f ms later\n", change.name, change.after, ms(at, v[k].time));

        // The text stays: the TX frequency shown is the one transmitted on.
        EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.600\n\nTX 145.000");
        c = waitForColour(change.colour);
        EXPECT_TRUE(sameColour(c, change.colour)) << "the frequency display shows " << colourName(c);
    }
}

// Halt: the scan climbs from 400, stops on the busy 405 and holds it, and
// goes on once the carrier is gone.
TEST_F(Radio, HaltScanStopsOnABusyChannelAndGoesOnWhenItIsFree)
{
    ASSERT_NO_FATAL_FAILURE(setRange400To410(homeChannel));
    carrier(405, true);
    int64_t at = now();
    click(IDC_SCAN);
    // From here on only the scanner loads; its first step comes six ticks on.
    LONG64 from = mark();
    EXPECT_EQ(markedDuplexButton(), IDC_SIMPLEX);

    std::vector<Load> v = waitForLoads(
        from, [](const std::vector<Load> &l) { return !l.empty() && l.back().channel == 405; }, patienceMs);
    ASSERT_EQ(channelsOf(v), (std::vector<int>{401, 402, 403, 404, 405})) << describe(v, at);
    double step = ms(v.front().time, v.back().time) / 4;
    EXPECT_GE(step, 30.0) << describe(v, at);
    EXPECT_LE(step, 300.0) << describe(v, at);

    // Held: nothing more is loaded, and the panel shows the channel.
    Sleep(2000);
    v = loads(from);
    ASSERT_EQ(channelsOf(v), (std::vector<int>{401, 402, 403, 404, 405})) << "not held; " << describe(v, at);
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.262\n\nTX 145.262");
    EXPECT_EQ(text(IDC_SCANNER_DISPLAY), " Mode: Halt\n\n145.200  -  145.325\nOn\nWatch: ");

    // Free again: on at the end of the hold, about five seconds after the stop.
    carrier(405, false);
    v = waitForLoads(
        from, [](const std::vector<Load> &l) { return l.size() >= 8; }, patienceMs);
    ASSERT_GE(v.size(), 8u) << describe(v, at);
    v.resize(8);
    ASSERT_EQ(channelsOf(v), (std::vector<int>{401, 402, 403, 404, 405, 406, 407, 408})) << describe(v, at);
    double hold = ms(v[4].time, v[5].time);
    EXPECT_GE(hold, 4000.0) << describe(v, at);
    EXPECT_LE(hold, 15000.0) << describe(v, at);
}

// Jump: a busy channel is held about a second, then left while still busy.
// Every busy channel gets a hold of its own, also after a held one went free
// during its hold.
TEST_F(Radio, JumpScanHoldsEachBusyChannelBriefly)
{
    ASSERT_NO_FATAL_FAILURE(setRange400To410(homeChannel));
    carrier(405, true);
    carrier(408, true);
    int64_t at = now();
    click(IDC_SCAN);
    LONG64 from = mark();  // only the scanner loads from here on
    click(IDC_SCAN);       // halt, then jump

    // 405 goes free while it is held.
    std::vector<Load> v = waitForLoads(
        from, [](const std::vector<Load> &l) { return !l.empty() && l.back().channel == 405; }, 5000);
    ASSERT_EQ(channelsOf(v), (std::vector<int>{401, 402, 403, 404, 405})) << describe(v, at);
    Sleep(300);
    carrier(405, false);

    const std::vector<int> expected = {401, 402, 403, 404, 405, 406, 407, 408, 409, 410,
                                       400, 401, 402, 403, 404, 405, 406, 407, 408, 409};
    v = waitForLoads(from, [&](const std::vector<Load> &l) { return l.size() >= expected.size(); }, patienceMs);
    ASSERT_GE(v.size(), expected.size()) << describe(v, at);
    v.resize(expected.size());
    ASSERT_EQ(channelsOf(v), expected) << describe(v, at);
    // Held: 405 the first time, 408 both times. From the load of a held
    // channel to the next load: 107 ticks, against 6 for a free one.
    for (size_t i = 0; i + 1 < v.size(); ++i) {
        double gap = ms(v[i].time, v[i + 1].time);
        if (i == 4 || i == 7 || i == 18) {
            EXPECT_GE(gap, 900.0) << "no hold on " << v[i].channel << " at load " << i << "; " << describe(v, at);
            EXPECT_LE(gap, 4000.0) << "hold on " << v[i].channel << " at load " << i << "; " << describe(v, at);
        } else {
            EXPECT_LT(gap, 900.0) << "held " << v[i].channel << " at load " << i << "; " << describe(v, at);
        }
    }
}

// A watch channel above the range: looked at before every move, reached when
// busy and held there; when it is free the scan goes on from the range's start.
TEST_F(Radio, BusyWatchChannelOutsideTheRangeIsReached)
{
    ASSERT_NO_FATAL_FAILURE(stepTo(homeChannel, 440));
    click(IDC_WATCH);
    std::string status = text(IDC_SCANNER_DISPLAY);
    EXPECT_EQ(status.substr(status.size() - 9), ": 145.700") << status;
    ASSERT_NO_FATAL_FAILURE(setRange400To410(440));

    int64_t at = now();
    click(IDC_SCAN);
    LONG64 from = mark();  // only the scanner loads from here on
    // Each move: the watch channel first, then the next channel of the range.
    std::vector<Load> v =
        waitForLoads(from, [](const std::vector<Load> &l) { return l.size() >= 6; }, patienceMs);
    ASSERT_GE(v.size(), 6u) << describe(v, at);
    v.resize(6);
    ASSERT_EQ(channelsOf(v), (std::vector<int>{440, 401, 440, 402, 440, 403})) << describe(v, at);

    carrier(440, true);
    int64_t busyAt = now();
    v = waitForLoads(
        from,
        [](const std::vector<Load> &l) {
            return l.size() >= 2 && l[l.size() - 1].channel == 440 && l[l.size() - 2].channel == 440;
        },
        patienceMs);
    size_t n = v.size();
    ASSERT_GE(n, 8u) << describe(v, at);
    std::vector<int> expected;
    for (int ch = 401; expected.size() < n - 2; ch = ch == 410 ? 400 : ch + 1) {
        expected.push_back(440);
        expected.push_back(ch);
    }
    expected.push_back(440);  // the check finds it busy
    expected.push_back(440);  // and the scan moves onto it
    ASSERT_EQ(channelsOf(v), expected) << describe(v, at);
    EXPECT_LE(ms(busyAt, v[n - 1].time), 1000.0) << describe(v, at);

    // Held on the watch channel, a repeater output: the TX line names its
    // input, where a key-up would transmit.
    Sleep(2000);
    std::vector<Load> held = loads(from);
    ASSERT_EQ(held.size(), n) << "not held; " << describe(held, at);
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.700\n\nTX 145.100");
    status = text(IDC_SCANNER_DISPLAY);
    EXPECT_EQ(status.substr(0, 41), " Mode: Halt\n\n145.200  -  145.325\nOn\nWatch") << status;

    // Free: at the end of the hold the scan wraps to the range's start.
    carrier(440, false);
    v = waitForLoads(from, [&](const std::vector<Load> &l) { return l.size() >= n + 4; }, patienceMs);
    ASSERT_GE(v.size(), n + 4) << describe(v, at);
    v.resize(n + 4);
    expected.insert(expected.end(), {440, 400, 440, 401});
    ASSERT_EQ(channelsOf(v), expected) << describe(v, at);
    double hold = ms(v[n - 1].time, v[n].time);
    EXPECT_GE(hold, 4000.0) << describe(v, at);
    EXPECT_LE(hold, 15000.0) << describe(v, at);
}

// Start pressed on the upper end and Stop on the lower: the display shows the
// range as set, and the scan covers it, both ends loaded within 1.5 s.
TEST_F(Radio, ARangeSetFromTheTopScansBothEnds)
{
    ASSERT_NO_FATAL_FAILURE(stepTo(homeChannel, 440));
    ASSERT_NO_FATAL_FAILURE(click(IDC_SCAN_START));
    ASSERT_NO_FATAL_FAILURE(stepTo(440, 436));
    ASSERT_NO_FATAL_FAILURE(click(IDC_SCAN_STOP));
    EXPECT_EQ(text(IDC_SCANNER_DISPLAY).substr(0, 32), " Mode: Off\n\n145.700  -  145.650\n");

    LONG64 from = mark();
    int64_t at = now();
    click(IDC_SCAN);
    auto covered = [](const std::vector<Load> &l) {
        for (int ch = 436; ch <= 440; ++ch) {
            if (std::none_of(l.begin(), l.end(), [ch](const Load &x) { return x.channel == ch; })) {
                return false;
            }
        }
        return true;
    };
    std::vector<Load> v = waitForLoads(from, covered, 1500);
    ASSERT_TRUE(covered(v)) << "not every channel of 436..440 in 1.5 s; " << describe(v, at);
    for (const Load &l : v) {
        EXPECT_TRUE(l.channel >= 436 && l.channel <= 440) << describe(v, at);
    }
    std::printf("436..440 covered %.0f ms after Scan\n", ms(at, v.back().time));
}

// The TX frequency outside the band shows on the screen at once: "[" in
// duplex (TX 143.400) turns the display amber, keying red, releasing amber
// again, and "Simplex" (TX 144.000) light green.
TEST_F(Radio, TransmitOutsideTheBandShowsOnTheDisplay)
{
    bringPanelIntoView();
    ASSERT_NO_FATAL_FAILURE(waitForTicks(3));
    struct Step {
        int button;  // clicked first; 0: none
        bool keyed;
        COLORREF colour;
        const char *name;
    };
    for (const Step &step : {Step{IDC_BAND_LOW, false, outsideBandColour, "[ in duplex"},
                             Step{0, true, keyedOutsideColour, "keyed"},
                             Step{0, false, outsideBandColour, "released"},
                             Step{IDC_SIMPLEX, false, receiveColour, "Simplex"}}) {
        SCOPED_TRACE(step.name);
        if (step.button != 0) {
            ASSERT_NO_FATAL_FAILURE(click(step.button));
        }
        key(step.keyed);
        COLORREF c = waitForColour(step.colour);
        EXPECT_TRUE(sameColour(c, step.colour)) << "the frequency display shows " << colourName(c);
    }
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 144.000\n\nTX 144.000");
}

// Halted on a busy repeater output, the operator keys to answer: the scan
// stops there, the transmitter goes to the repeater's input within a tick and
// stays there for longer than the hold would have lasted; released, the
// transceiver listens on the output again and the scan does not go on.
TEST_F(Radio, KeyingStopsTheScanOnTheChannelItHaltedOn)
{
    bringPanelIntoView();
    carrier(440, true);  // 145.700 MHz, a repeater output
    int64_t at = now();
    click(IDC_SCAN);
    LONG64 from = mark();
    std::vector<Load> v = waitForLoads(
        from, [](const std::vector<Load> &l) { return !l.empty() && l.back().channel == 440; }, patienceMs);
    ASSERT_EQ(channelsOf(v), (std::vector<int>{433, 434, 435, 436, 437, 438, 439, 440})) << describe(v, at);
    Sleep(300);  // halted
    EXPECT_EQ(loads(from).size(), v.size()) << "not halted; " << describe(loads(from), at);

    v = keyAndHold(true, 6000, &at);
    ASSERT_FALSE(v.empty()) << "nothing loaded while keyed";
    for (const Load &l : v) {
        ASSERT_EQ(l.channel, 392) << "keyed: only 145.100 MHz; " << describe(v, at);
    }
    EXPECT_LT(ms(at, v.front().time), 100.0) << describe(v, at);
    std::printf("keyed: 392 loaded %.1f ms later, %u loads in 6 s\n", ms(at, v.front().time),
                static_cast<unsigned>(v.size()));
    EXPECT_EQ(text(IDC_SCANNER_DISPLAY), "Mode: Off");
    EXPECT_EQ(markedDuplexButton(), IDC_DUPLEX);
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.700\n\nTX 145.100");
    COLORREF c = waitForColour(transmitColour);
    EXPECT_TRUE(sameColour(c, transmitColour)) << "keyed, the frequency display shows " << colourName(c);

    v = keyAndHold(false, 2000, &at);
    size_t k = 0;
    while (k < v.size() && v[k].channel == 392) {
        ++k;  // a load under way as the line went
    }
    ASSERT_LT(k, v.size()) << "440 was never loaded again; " << describe(v, at);
    EXPECT_LE(k, 2u) << describe(v, at);
    EXPECT_LT(ms(at, v[k].time), 100.0) << describe(v, at);
    for (size_t j = k; j < v.size(); ++j) {
        ASSERT_EQ(v[j].channel, 440) << "released: 145.700 MHz and no scan step; " << describe(v, at);
    }
    std::string status = text(IDC_SCANNER_DISPLAY);
    EXPECT_EQ(status.substr(0, 10), " Mode: Off") << status;
    c = waitForColour(receiveColour);
    EXPECT_TRUE(sameColour(c, receiveColour)) << "released, the frequency display shows " << colourName(c);
}

// ---- The operator's keyboard and wheel, and the frequency box ------------------------
//
// Real input through the input queue (SendInput), as a keyboard and a mouse
// give it, to the panel brought to the front.
class Operator : public Radio {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(Radio::SetUp());
        bringPanelIntoView();
        ASSERT_NO_FATAL_FAILURE(bringToFront(panel));
        ASSERT_NO_FATAL_FAILURE(waitForTicks(3));
    }

    static INPUT keyInput(WORD key, wchar_t character, bool up)
    {
        INPUT in = {};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = key;
        in.ki.wScan = character;
        in.ki.dwFlags = (character ? KEYEVENTF_UNICODE : 0) | (up ? KEYEVENTF_KEYUP : 0);
        return in;
    }

    static void send(std::vector<INPUT> inputs)
    {
        UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        ASSERT_EQ(sent, inputs.size()) << "SendInput took " << sent << " of " << inputs.size();
    }

    // Presses and releases one key of the keyboard.
    static void pressKey(WORD key) { send({keyInput(key, 0, false), keyInput(key, 0, true)}); }

    // Types `text` character by character, as a keyboard of any layout gives
    // them; "\r" is Enter, "\x1b" Escape and "\b" Backspace.
    static void type(const std::string &text)
    {
        std::vector<INPUT> inputs;
        for (char c : text) {
            WORD key = c == '\r' ? VK_RETURN : c == '\x1b' ? VK_ESCAPE : c == '\b' ? VK_BACK : 0;
            wchar_t character = key ? 0 : static_cast<wchar_t>(c);
            inputs.push_back(keyInput(key, character, false));
            inputs.push_back(keyInput(key, character, true));
        }
        send(inputs);
    }

    static void pointAt(POINT p)
    {
        SetCursorPos(p.x, p.y);
        ASSERT_TRUE(waitFor([&] {
            POINT now;
            return GetCursorPos(&now) && now.x == p.x && now.y == p.y;
        }, patienceMs)) << "the pointer did not move";
    }

    static POINT centreOf(HWND window)
    {
        RECT r;
        GetWindowRect(window, &r);
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }

    static INPUT mouseInput(DWORD flags, int wheel = 0)
    {
        INPUT in = {};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = flags;
        in.mi.mouseData = static_cast<DWORD>(wheel);
        return in;
    }

    // A turn of the wheel where the pointer is: 120 is a notch away from the
    // operator.
    static void turnWheel(int delta) { send({mouseInput(MOUSEEVENTF_WHEEL, delta)}); }

    static void doubleClick(POINT p)
    {
        ASSERT_NO_FATAL_FAILURE(pointAt(p));
        INPUT down = mouseInput(MOUSEEVENTF_LEFTDOWN), up = mouseInput(MOUSEEVENTF_LEFTUP);
        send({down, up, down, up});
    }

    // The frequency box of the program, once it is up.
    HWND waitForBox() { return outside::waitForWindow(process.dwProcessId, "#32770", "Go to frequency", patienceMs); }

    bool boxGone(HWND box)
    {
        return waitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, patienceMs);
    }

    std::string field(HWND box) { return textOf(GetDlgItem(box, IDC_ENTRY_FIELD)); }
    std::string line(HWND box) { return textOf(GetDlgItem(box, IDC_ENTRY_LINE)); }

    bool fieldShows(HWND box, const std::string &text)
    {
        return waitFor([&] { return field(box) == text; }, patienceMs);
    }

    // Waits until the keyboard's focus is on the panel or one of its controls.
    void waitForPanelFocus(GUITHREADINFO *focus)
    {
        focus->cbSize = sizeof *focus;
        ASSERT_TRUE(waitFor([&] {
            return GetGUIThreadInfo(GetWindowThreadProcessId(panel, nullptr), focus) &&
                   GetAncestor(focus->hwndFocus, GA_ROOT) == panel;
        }, patienceMs)) << "the focus did not come back to the panel";
    }

    // Waits until the transceiver is on `channel` and the frequency display
    // shows `display`.
    void expectTuned(int channel, const char *display)
    {
        EXPECT_TRUE(waitFor([&] { return sim->channel == channel && text(IDC_FREQUENCY_DISPLAY) == display; },
                            patienceMs))
            << "the transceiver is on " << sim->channel << ", not " << channel << "; the display shows "
            << text(IDC_FREQUENCY_DISPLAY);
    }

    // The channels loaded from log index `from` on, each run of one channel
    // once.
    std::vector<int> channelRuns(LONG64 from)
    {
        std::vector<int> runs;
        for (int channel : channelsOf(loads(from))) {
            if (runs.empty() || runs.back() != channel) {
                runs.push_back(channel);
            }
        }
        return runs;
    }

    // Expects of the loads `v` after a change at `at`: perhaps one or two of
    // `before` already under way, then `after` alone, the first within 100 ms.
    void expectChange(const std::vector<Load> &v, int64_t at, int before, int after)
    {
        size_t k = 0;
        while (k < v.size() && v[k].channel == before) {
            ++k;
        }
        ASSERT_LT(k, v.size()) << after << " was not loaded; " << describe(v, at);
        EXPECT_LT(ms(at, v[k].time), 100.0) << describe(v, at);
        for (size_t j = k; j < v.size(); ++j) {
            ASSERT_EQ(v[j].channel, after) << describe(v, at);
        }
    }

    // Expects that for `ms` no channel but `channel` is loaded, and the
    // display keeps `display`.
    void expectNothingNew(LONG64 from, int channel, const char *display, DWORD ms = 200)
    {
        Sleep(ms);
        EXPECT_EQ(channelRuns(from), std::vector<int>{channel}) << describe(loads(from), now());
        EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), display);
    }
};

// Each key and each notch gives the load its button gives, and the display
// the button writes: "+" and "-" typed and on the keypad as ">" and "<",
// Page Up and Down as "»" and "«", Home and End as "[" and "]". The wheel
// acts only with the pointer over the panel, notch by notch, parts of a notch
// added up. While the transmitter is keyed none of them changes anything.
TEST_F(Operator, KeysAndWheelActAsTheirButtonsAndNotWhileKeyed)
{
    HWND display = GetDlgItem(panel, IDC_FREQUENCY_DISPLAY);
    POINT overPanel = centreOf(display);
    ASSERT_NO_FATAL_FAILURE(pointAt(overPanel));
    LONG64 from = mark();
    waitForLoads(from, [](const std::vector<Load> &l) { return !l.empty(); }, patienceMs);
    struct Input {
        const char *name;
        std::function<void()> give;
        int channel;
        const char *display;
    };
    const Input inputs[] = {
        {"+", [] { type("+"); }, 433, "RX 145.613\n\nTX 145.012"},
        {"keypad +", [] { pressKey(VK_ADD); }, 434, "RX 145.625\n\nTX 145.025"},
        {"-", [] { type("-"); }, 433, "RX 145.613\n\nTX 145.012"},
        {"keypad -", [] { pressKey(VK_SUBTRACT); }, 432, "RX 145.600\n\nTX 145.000"},
        {"Page Up", [] { pressKey(VK_PRIOR); }, 440, "RX 145.700\n\nTX 145.100"},
        {"Page Down", [] { pressKey(VK_NEXT); }, 432, "RX 145.600\n\nTX 145.000"},
        {"End", [] { pressKey(VK_END); }, 464, "RX 146.000\n\nTX 145.400"},
        {"Home", [] { pressKey(VK_HOME); }, 304, "RX 144.000\n\nTX 143.400"},
        {"a notch away", [] { turnWheel(120); }, 305, "RX 144.012\n\nTX 143.413"},
        {"a notch back", [] { turnWheel(-120); }, 304, "RX 144.000\n\nTX 143.400"},
        {"two notches at once", [] { turnWheel(240); }, 306, "RX 144.025\n\nTX 143.425"},
    };
    for (const Input &input : inputs) {
        SCOPED_TRACE(input.name);
        ASSERT_NO_FATAL_FAILURE(input.give());
        ASSERT_NO_FATAL_FAILURE(expectTuned(input.channel, input.display));
    }

    // A fine wheel: a third of a notch twice changes nothing, the third time
    // one step.
    turnWheel(40);
    turnWheel(40);
    turnWheel(40);
    ASSERT_NO_FATAL_FAILURE(expectTuned(307, "RX 144.038\n\nTX 143.438"));
    EXPECT_EQ(channelRuns(from), (std::vector<int>{432, 433, 434, 433, 432, 440, 432, 464, 304, 305, 304, 305,
                                                   306, 307}))
        << "other loads than the buttons give";

    // The pointer elsewhere: the wheel retunes nothing. Wine gives the
    // notches to the window under the pointer; Windows set to scroll the
    // window with the focus gives them to the panel's focused control
    // wherever the pointer is, and they are posted there as it does.
    {
        ForegroundWindow other;
        POINT elsewhere = centreOf(other.window);
        ASSERT_NO_FATAL_FAILURE(pointAt(elsewhere));
        ASSERT_NO_FATAL_FAILURE(bringToFront(panel));
        GUITHREADINFO focus = {};
        ASSERT_NO_FATAL_FAILURE(waitForPanelFocus(&focus));
        auto postNotches = [&](POINT p, int delta) {
            PostMessageA(focus.hwndFocus, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), MAKELPARAM(p.x, p.y));
        };
        LONG64 unmoved = mark();
        waitForLoads(unmoved, [](const std::vector<Load> &l) { return !l.empty(); }, patienceMs);
        turnWheel(120);
        turnWheel(-240);
        postNotches(elsewhere, 120);
        postNotches(elsewhere, -240);
        postNotches(overPanel, 120);  // taken after those posted before it
        ASSERT_NO_FATAL_FAILURE(expectTuned(308, "RX 144.050\n\nTX 143.450"));
        EXPECT_EQ(channelRuns(unmoved), (std::vector<int>{307, 308})) << describe(loads(unmoved), now());
    }
    // The other window gone and the pointer back over the panel, which has
    // the keyboard again before the keys go on: on a busy machine the other
    // window, under the pointer, took the front back late, and the keys went
    // to it.
    ASSERT_NO_FATAL_FAILURE(pointAt(overPanel));
    ASSERT_NO_FATAL_FAILURE(bringToFront(panel));
    GUITHREADINFO focus = {};
    ASSERT_NO_FATAL_FAILURE(waitForPanelFocus(&focus));

    // Keyed: the transmit channel alone, whatever is pressed or turned. (On
    // 356, whose transmit channel lies in the band: keyed, none outside it is
    // loaded.)
    for (int i = 0; i < 6; ++i) {
        pressKey(VK_PRIOR);
    }
    ASSERT_NO_FATAL_FAILURE(expectTuned(356, "RX 144.650\n\nTX 144.050"));
    int64_t at = 0;
    std::vector<Load> v = keyAndHold(true, 100, &at);
    ASSERT_FALSE(v.empty());
    ASSERT_EQ(v.back().channel, 308) << describe(v, at);
    LONG64 keyed = mark();
    type("+-");
    for (WORD key : {VK_ADD, VK_SUBTRACT, VK_PRIOR, VK_NEXT, VK_HOME, VK_END}) {
        pressKey(key);
    }
    turnWheel(120);
    turnWheel(-120);
    turnWheel(80);
    expectNothingNew(keyed, 308, "RX 144.650\n\nTX 144.050", 300);

    // Released: the keys work again, and a part of a notch turned while
    // keyed is not added to the next one.
    v = keyAndHold(false, 100, &at);
    ASSERT_FALSE(v.empty());
    ASSERT_EQ(v.back().channel, 356) << describe(v, at);
    ASSERT_NO_FATAL_FAILURE(bringToFront(panel));
    turnWheel(80);
    pressKey(VK_PRIOR);
    ASSERT_NO_FATAL_FAILURE(expectTuned(364, "RX 144.750\n\nTX 144.150"));
}

// The frequency box. A digit typed opens it with the digit in it, and the
// line under the field shows what OK would give. It holds nothing up:
// keying while it is open moves the transmitter within a tick, and OK while
// keyed changes nothing and says why. What is no channel leaves it open with
// the reason under the field and loads nothing; "145.7" and Enter load 440
// by the next tick. A double click on the frequency display opens it with
// the channel's frequency selected, in reverse duplex the TX line's; Escape
// closes it, and only it, changing nothing.
TEST_F(Operator, TheFrequencyBox)
{
    type("145.7");  // the digits after the first reach the box as it opens
    HWND box = waitForBox();
    ASSERT_NE(box, nullptr) << "a digit opened no box";
    ASSERT_TRUE(fieldShows(box, "145.7")) << field(box);
    EXPECT_EQ(line(box), "RX 145.700   TX 145.100");

    int64_t at = 0;
    std::vector<Load> v = keyAndHold(true, 150, &at);
    ASSERT_NO_FATAL_FAILURE(expectChange(v, at, homeChannel, 384));
    LONG64 from = mark();
    type("\r");
    const char transmitting[] = "The transmitter is keyed: release it, then press OK.";
    EXPECT_TRUE(waitFor([&] { return line(box) == transmitting; }, patienceMs)) << line(box);
    expectNothingNew(from, 384, "RX 145.600\n\nTX 145.000");
    v = keyAndHold(false, 100, &at);
    ASSERT_FALSE(v.empty());
    ASSERT_EQ(v.back().channel, homeChannel) << describe(v, at);

    from = mark();
    HWND entry = GetDlgItem(box, IDC_ENTRY_FIELD);
    const struct {
        const char *typed;
        const char *reason;
    } bad[] = {
        // "+" and the digits go into the field: the panel's keys are the panel's.
        {"+145.7", "Not a frequency. Type MHz (145.7 or 145,7) or kHz (145700), from 144.000 to 146.000 MHz."},
        {"146.0125", "Outside the band: type a frequency from 144.000 to 146.000 MHz."},
        {"145.71", "Between two channels (12.5 kHz apart): the nearest are 145.700 and 145.7125 MHz."},
        {"\b", "Type MHz (145.7 or 145,7) or kHz (145700), from 144.000 to 146.000 MHz."},
    };
    for (const auto &c : bad) {
        SCOPED_TRACE(c.typed);
        ask(entry, EM_SETSEL, 0, -1);
        // A blank typed after Enter reaches the field only if the box is
        // still open once Enter has been taken; it changes no reason.
        type(std::string(c.typed) + "\r ");
        std::string typed = c.typed[0] == '\b' ? "" : c.typed;
        ASSERT_TRUE(fieldShows(box, typed + " ")) << "the box closed or lost the text: " << field(box);
        EXPECT_EQ(line(box), c.reason);
    }
    EXPECT_EQ(channelRuns(from), std::vector<int>{homeChannel}) << describe(loads(from), now());

    ask(entry, EM_SETSEL, 0, -1);
    type("145.7");
    ASSERT_TRUE(fieldShows(box, "145.7"));
    from = mark();
    type("\r");
    ASSERT_TRUE(boxGone(box)) << "Enter did not close the box";
    // Under Wine without a window manager, hiding a window holds its program
    // for two seconds, waiting for a manager that is not there: the next
    // tick comes once the program answers again.
    ASSERT_TRUE(ask(panel, WM_NULL, 0, 0));
    at = now();
    v = waitForLoads(from, [&](const std::vector<Load> &l) { return !l.empty() && ms(at, l.back().time) >= 100; },
                     patienceMs);
    ASSERT_NO_FATAL_FAILURE(expectChange(v, at, homeChannel, 440));
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.700\n\nTX 145.100");
    EXPECT_EQ(text(IDC_SCANNER_DISPLAY).substr(0, 10), " Mode: Off");

    ASSERT_NO_FATAL_FAILURE(click(IDC_REV_DUP));
    ASSERT_NO_FATAL_FAILURE(expectTuned(392, "RX 145.100\n\nTX 145.700"));
    ASSERT_NO_FATAL_FAILURE(doubleClick(centreOf(GetDlgItem(panel, IDC_FREQUENCY_DISPLAY))));
    box = waitForBox();
    ASSERT_NE(box, nullptr) << "a double click on the frequency display opened no box";
    EXPECT_EQ(field(box), "145.700");
    DWORD_PTR selection = 0;
    ask(GetDlgItem(box, IDC_ENTRY_FIELD), EM_GETSEL, 0, 0, &selection);
    EXPECT_EQ(LOWORD(selection), 0);
    EXPECT_EQ(HIWORD(selection), 7) << "the frequency is not selected whole";
    EXPECT_EQ(line(box), "RX 145.100   TX 145.700");
    type("145,6");  // replaces the selection
    ASSERT_TRUE(fieldShows(box, "145,6"));
    EXPECT_EQ(line(box), "RX 145.000   TX 145.600");
    from = mark();
    type("\x1b");
    ASSERT_TRUE(boxGone(box)) << "Escape did not close the box";
    ASSERT_TRUE(ask(panel, WM_NULL, 0, 0));
    EXPECT_TRUE(IsWindowVisible(panel)) << "Escape closed the panel too";
    expectNothingNew(from, 392, "RX 145.100\n\nTX 145.700");
}

// Halted on a busy repeater input, 145.050 MHz, the operator keys to answer
// the station heard there: the keyed stop selects simplex, so the transmitter
// and, after the release, the receiver stay on that channel. The next Scan
// starts afresh: its first step comes a few ticks on, not at the end of the
// hold that the keying cut short.
TEST_F(Radio, KeyingOnARepeaterInputAnswersThereAndTheNextScanStartsAfresh)
{
    ASSERT_NO_FATAL_FAILURE(stepTo(homeChannel, 386));
    carrier(388, true);
    int64_t at = now();
    click(IDC_SCAN);
    LONG64 from = mark();
    std::vector<Load> v = waitForLoads(
        from, [](const std::vector<Load> &l) { return !l.empty() && l.back().channel == 388; }, patienceMs);
    ASSERT_EQ(channelsOf(v), (std::vector<int>{387, 388})) << describe(v, at);
    Sleep(300);  // halted, early in the hold
    EXPECT_EQ(loads(from).size(), v.size()) << "not halted; " << describe(loads(from), at);

    v = keyAndHold(true, 1000, &at);
    ASSERT_FALSE(v.empty()) << "nothing loaded while keyed";
    EXPECT_LT(ms(at, v.front().time), 100.0) << describe(v, at);
    for (const Load &l : v) {
        ASSERT_EQ(l.channel, 388) << "keyed: only 145.050 MHz; " << describe(v, at);
    }
    EXPECT_EQ(text(IDC_SCANNER_DISPLAY), "Mode: Off");
    EXPECT_EQ(markedDuplexButton(), IDC_SIMPLEX);
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.050\n\nTX 145.050");

    v = keyAndHold(false, 1000, &at);
    ASSERT_FALSE(v.empty()) << "nothing loaded after the release";
    for (const Load &l : v) {
        ASSERT_EQ(l.channel, 388) << "released: 145.050 MHz again; " << describe(v, at);
    }

    // About 4.4 s of the halt hold were left when the keying stopped the scan.
    carrier(388, false);
    from = mark();
    at = now();
    click(IDC_SCAN);
    v = waitForLoads(
        from, [](const std::vector<Load> &l) { return !l.empty() && l.back().channel == 390; }, patienceMs);
    size_t k = 0;
    while (k < v.size() && v[k].channel == 388) {
        ++k;  // a tick's load before the press
    }
    ASSERT_EQ(v.size(), k + 2) << describe(v, at);
    EXPECT_EQ(v[k].channel, 389) << describe(v, at);
    EXPECT_LT(ms(at, v[k].time), 1500.0) << "the rest of the old hold ran first; " << describe(v, at);
}

// The operator keys a moment after the scan left a station, to answer it.
// The scan from `start` (Halt, or Jump after two presses) reaches `station`
// and leaves it: the carrier dropped 0.5 s before the halt hold ends, or a
// Jump hold run out (the carrier kept or then dropped); the line is
// keyed `keyAfterMs` after the scan's first load past the station. Returns the
// loads from the keying on, held keyed for 0.4 s, in `keyed`, and the channel
// the scan stood on as the line was keyed in `stood`.
void Radio::keyAfterTheScanLeft(int start, int station, int scanPresses, bool dropCarrierBeforeHoldEnds,
                                bool keepCarrier, double keyAfterMs, std::vector<Load> *keyed, int *stood)
{
    ASSERT_NO_FATAL_FAILURE(stepTo(homeChannel, start));
    carrier(station, true);
    int64_t at = now();
    LONG64 from = mark();
    clicks(IDC_SCAN, scanPresses);
    std::vector<Load> v = waitForLoads(
        from, [&](const std::vector<Load> &l) { return !l.empty() && l.back().channel == station; }, patienceMs);
    ASSERT_FALSE(v.empty() || v.back().channel != station) << describe(v, at);
    int64_t halted = v.back().time;
    if (dropCarrierBeforeHoldEnds) {
        // The hold's decision comes 60 ms + 5.01 s after the halting load.
        while (ms(halted, now()) < 60.0 + 5010.0 - 500.0) {
            Sleep(5);
        }
        carrier(station, false);
    }
    size_t onStation = v.size();
    v = waitForLoads(
        from, [&](const std::vector<Load> &l) { return l.size() > onStation; }, patienceMs);
    ASSERT_GT(v.size(), onStation) << "the scan did not leave " << station << "; " << describe(v, at);
    int64_t left = v.back().time;
    ASSERT_EQ(v.back().channel, station + 1) << describe(v, at);
    if (!keepCarrier) {
        carrier(station, false);  // the scan would come round to it again
    }
    while (ms(left, now()) < keyAfterMs) {
        Sleep(5);
    }
    LONG64 keyedFrom = 0;
    *keyed = keyAndHold(true, 400, &at, &keyedFrom);
    std::vector<Load> before = loads(from);
    before.resize(static_cast<size_t>(std::count_if(before.begin(), before.end(),
                                                    [&](const Load &l) { return l.dataIndex < keyedFrom; })));
    *stood = before.empty() ? -1 : before.back().channel;
    std::printf("%d left %.0f ms before keying; keyed: %s\n", station, ms(left, at),
                describe(*keyed, at).c_str());
}

// Halted on the busy 145.700 MHz (440, a repeater output), the station stops
// 0.5 s before the hold runs out and the scan sweeps on; keyed 0.8 s after the
// scan left, the transmitter goes straight to the repeater's input, 392, and
// only there; released, the radio listens on 440.
TEST_F(Radio, KeyedSoonAfterAHaltScanLeftAStationAnswersIt)
{
    std::vector<Load> v;
    int stood = 0;
    ASSERT_NO_FATAL_FAILURE(keyAfterTheScanLeft(437, 440, 1, true, false, 800.0, &v, &stood));
    ASSERT_FALSE(v.empty()) << "nothing loaded while keyed";
    for (const Load &l : v) {
        ASSERT_EQ(l.channel, 392) << "keyed: only 145.100 MHz";
    }
    EXPECT_NE(stood, 440) << "the scan had not moved on";
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.700\n\nTX 145.100");
    EXPECT_EQ(markedDuplexButton(), IDC_DUPLEX);

    int64_t at;
    v = keyAndHold(false, 300, &at);
    size_t k = 0;
    while (k < v.size() && v[k].channel == 392) {
        ++k;  // a load under way as the line went
    }
    ASSERT_LT(k, v.size()) << describe(v, at);
    for (size_t j = k; j < v.size(); ++j) {
        ASSERT_EQ(v[j].channel, 440) << "released: 145.700 MHz; " << describe(v, at);
    }
}

// A Jump hold leaves 145.200 MHz (400) while its station still speaks; keyed
// 0.8 s later, the transmitter goes back to 400 and nowhere else.
TEST_F(Radio, KeyedSoonAfterAJumpHoldLeftAStationAnswersIt)
{
    std::vector<Load> v;
    int stood = 0;
    ASSERT_NO_FATAL_FAILURE(keyAfterTheScanLeft(397, 400, 2, false, true, 800.0, &v, &stood));
    ASSERT_FALSE(v.empty()) << "nothing loaded while keyed";
    for (const Load &l : v) {
        ASSERT_EQ(l.channel, 400) << "keyed: only 145.200 MHz";
    }
    EXPECT_NE(stood, 400) << "the scan had not moved on";
}

// Keyed 6.5 s after the scan left 440, the stop is where the scan stands: one
// channel while keyed, that channel's transmit channel.
TEST_F(Radio, KeyedLongAfterTheScanLeftAStationStopsWhereTheScanIs)
{
    std::vector<Load> v;
    int stood = 0;
    ASSERT_NO_FATAL_FAILURE(keyAfterTheScanLeft(437, 440, 2, false, false, 6500.0, &v, &stood));
    ASSERT_FALSE(v.empty()) << "nothing loaded while keyed";
    ASSERT_TRUE(stood >= 384 && stood <= 448) << "the scan stood on " << stood;
    int tx = stood >= 432 && stood <= 447 ? stood - 48 : stood;  // duplex on a repeater output
    for (const Load &l : v) {
        ASSERT_EQ(l.channel, tx) << "keyed: the transmit channel of " << stood << ", where the scan was";
    }
}

// Keyed where the repeater shift puts the transmit channel off the band, the
// synthesizer stays on the band channel it holds: duplex on 144.000 MHz (TX
// 143.400), and on 146.000 MHz with the shift at -2 (TX 146.025).
TEST_F(Radio, KeyedNothingOutsideTheBandIsLoaded)
{
    const struct {
        const char *name;
        int edge;          // the band edge button
        int channel;       // its channel
        int shiftPresses;  // presses of the shift's "<" (12.5 kHz off the 600 kHz each)
    } cases[] = {
        {"duplex at 144.000 MHz", IDC_BAND_LOW, 304, 0},
        {"duplex at 146.000 MHz, shift -2", IDC_BAND_HIGH, 464, 50},
    };
    for (const auto &c : cases) {
        ASSERT_NO_FATAL_FAILURE(click(c.edge));
        ASSERT_NO_FATAL_FAILURE(clicks(IDC_SHIFT_DOWN, c.shiftPresses));
        ASSERT_TRUE(waitFor([&] { return sim->channel == c.channel; }, patienceMs)) << c.name;
        int64_t at = now();
        LONG64 from = changeLine(true);
        Sleep(300);
        std::vector<Load> v = loadsBegunFrom(from);
        // At most a load decided just before the line went, of the channel itself.
        EXPECT_LE(v.size(), 1u) << c.name << ": keyed, " << describe(v, at);
        for (const Load &l : v) {
            EXPECT_EQ(l.channel, c.channel) << c.name << ": keyed, " << describe(v, at);
        }
        EXPECT_EQ(sim->channel, c.channel) << c.name << ": keyed";
        key(false);
        from = mark();
        v = waitForLoads(from, [](const std::vector<Load> &l) { return l.size() >= 3; }, patienceMs);
        ASSERT_GE(v.size(), 3u) << c.name << ": released, the ticks did not go on";
        EXPECT_EQ(v.back().channel, c.channel) << c.name;
    }
}

// Closing the panel stops the loads and shows the main window; "VFO" opens a
// fresh panel that loads the home channel first; "Avsluta" ends the program.
TEST_F(Radio, WithoutAPanelNothingIsLoaded)
{
    ASSERT_NO_FATAL_FAILURE(waitForTicks(5));
    ASSERT_NO_FATAL_FAILURE(stepTo(homeChannel, 433));

    HWND main = findWindow("RootClass", "QD7150-Control");
    EXPECT_EQ(main, nullptr) << "the main window is visible while the panel is open";
    ASSERT_NO_FATAL_FAILURE(closePanel(&main));
    EXPECT_FALSE(IsWindow(panel));

    for (int opening = 0; opening < 2; ++opening) {
        SCOPED_TRACE(opening);
        LONG64 from = mark();
        int64_t at = now();
        Sleep(1000);
        std::vector<Load> v = loads(from);
        EXPECT_TRUE(v.empty()) << "with no panel open: " << describe(v, at);
        EXPECT_EQ(sim->channel, opening == 0 ? 433 : 432) << "the transceiver did not keep its channel";

        HWND old = panel;
        from = mark();
        at = now();
        PostMessageA(main, WM_COMMAND, IDM_VFO, 0);
        panel = waitForPanel(old);
        ASSERT_NE(panel, nullptr) << "\"VFO\" opened no panel";
        EXPECT_EQ(GetWindow(panel, GW_OWNER), main);
        v = waitForLoads(from, [](const std::vector<Load> &l) { return l.size() >= 20; }, patienceMs);
        ASSERT_GE(v.size(), 20u) << describe(v, at);
        expectHomeLoadFirst(from);
        for (const Load &l : v) {
            ASSERT_EQ(l.channel, homeChannel) << describe(v, at);
        }
        EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.600\n\nTX 145.000");

        PostMessageA(panel, WM_CLOSE, 0, 0);
        ASSERT_TRUE(waitFor([&] { return !IsWindow(panel) && IsWindowEnabled(main); }, patienceMs));
    }

    PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, patienceMs), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 99;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
}

// A second copy started beside the first never touches the port: the first
// copy's loads go on alone, the second loads no io.dll, brings the first one's
// panel (or later its minimised main window) to the front and ends with 0.
TEST_F(Radio, ASecondCopyLeavesTheTransceiverToTheFirst)
{
    ASSERT_NO_FATAL_FAILURE(waitForTicks(5));
    ASSERT_NO_FATAL_FAILURE(stepTo(homeChannel, 305));  // 144.0125 MHz
    {
        ForegroundWindow other;
        ASSERT_TRUE(waitForForeground(other.window)) << "the driver's window did not come to the front";
        LONG64 from = mark();
        int64_t at = now();
        outside::WatchedCopy second(program);
        ASSERT_TRUE(second.running()) << "cannot start a second copy";
        ASSERT_NO_FATAL_FAILURE(expectLeftThePortAlone(second));
        EXPECT_TRUE(waitForForeground(panel)) << "the first copy's panel is not in front";
        // The second copy may come and go within a few ticks: the first
        // copy's loads are counted on past its end.
        std::vector<Load> v = waitForLoads(from, [](const std::vector<Load> &l) { return l.size() >= 5; },
                                           patienceMs);
        EXPECT_GE(v.size(), 5u) << "the first copy stopped loading; " << describe(v, at);
        for (const Load &l : v) {
            ASSERT_EQ(l.channel, 305) << "a channel the first copy did not choose; " << describe(v, at);
        }
    }

    // The first copy still answers its buttons.
    ASSERT_NO_FATAL_FAILURE(stepTo(305, 306));
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 144.025\n\nTX 143.425");

    // With the panel closed and the main window minimised, the main window
    // comes back.
    HWND main = nullptr;
    ASSERT_NO_FATAL_FAILURE(closePanel(&main));
    ShowWindowAsync(main, SW_MINIMIZE);
    ASSERT_TRUE(waitFor([&] { return IsIconic(main) != FALSE; }, patienceMs)) << "the main window did not minimise";
    ForegroundWindow other;
    ASSERT_TRUE(waitForForeground(other.window));
    outside::WatchedCopy second(program);
    ASSERT_TRUE(second.running());
    ASSERT_NO_FATAL_FAILURE(expectLeftThePortAlone(second));
    EXPECT_TRUE(waitFor([&] { return !IsIconic(main); }, patienceMs)) << "the main window stayed minimised";
    EXPECT_TRUE(waitForForeground(main)) << "the first copy's main window is not in front";
    EXPECT_EQ(sim->channel, 306);
}

// The claim goes with the copy that made it, whether the copy ends normally
// or is killed: a copy started afterwards runs normally.
TEST_F(Radio, ANewCopyStartsOnceTheFirstHasEndedOrBeenKilled)
{
    ASSERT_NO_FATAL_FAILURE(waitForTicks(5));
    HWND main = nullptr;
    ASSERT_NO_FATAL_FAILURE(closePanel(&main));
    PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, patienceMs), static_cast<DWORD>(WAIT_OBJECT_0));

    for (const char *before : {"ended", "killed"}) {
        SCOPED_TRACE(std::string("after a copy was ") + before);
        LONG64 from = mark();
        ASSERT_NO_FATAL_FAILURE(startProgram());
        std::vector<Load> v = waitForLoads(from, [](const std::vector<Load> &l) { return l.size() >= 5; },
                                           patienceMs);
        ASSERT_GE(v.size(), 5u) << "the new copy does not load the transceiver";
        expectHomeLoadFirst(from);
        TerminateProcess(process.hProcess, 1);
        ASSERT_EQ(WaitForSingleObject(process.hProcess, patienceMs), static_cast<DWORD>(WAIT_OBJECT_0));
    }
}

// ---- The operator's aids: tooltips under the pointer, the keyboard --------------

// Input through the system's input queue, as from the mouse and the keyboard.
class Aids : public Radio {
protected:
    // Moves the pointer to the middle of control `id`.
    void pointAt(int id)
    {
        RECT r;
        GetWindowRect(GetDlgItem(panel, id), &r);
        INPUT in = {};
        in.type = INPUT_MOUSE;
        in.mi.dx = MulDiv((r.left + r.right) / 2, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        in.mi.dy = MulDiv((r.top + r.bottom) / 2, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
        in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        ASSERT_EQ(SendInput(1, &in, sizeof in), 1u);
    }

    // The text of the program's tooltip that is showing; empty when none is.
    std::wstring tipShown()
    {
        HWND tip = outside::findWindow(process.dwProcessId, "tooltips_class32", nullptr, true);
        wchar_t text[256] = L"";
        if (tip != nullptr) {
            SendMessageTimeoutW(tip, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, patienceMs,
                                nullptr);
        }
        return text;
    }

    void pressKey(WORD key, bool shift = false)
    {
        std::vector<INPUT> in;
        auto add = [&](WORD vk, DWORD up) {
            INPUT i = {};
            i.type = INPUT_KEYBOARD;
            i.ki.wVk = vk;
            i.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
            i.ki.dwFlags = up | (vk >= VK_LEFT && vk <= VK_DOWN ? KEYEVENTF_EXTENDEDKEY : 0);
            in.push_back(i);
        };
        if (shift) {
            add(VK_SHIFT, 0);
        }
        add(key, 0);
        add(key, KEYEVENTF_KEYUP);
        if (shift) {
            add(VK_SHIFT, KEYEVENTF_KEYUP);
        }
        ASSERT_EQ(SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)), in.size());
    }

    // The control of the panel that has the keyboard focus, by identifier.
    int focused()
    {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(process.dwThreadId, &info) || info.hwndFocus == nullptr) {
            return 0;
        }
        return GetParent(info.hwndFocus) == panel ? GetDlgCtrlID(info.hwndFocus) : -1;
    }

    // The marked button of the spacing and of the working, as 2010 * 10000 + 2000.
    int marks()
    {
        int spacing = marked(IDC_SPACING_12K5) ? IDC_SPACING_12K5 : marked(IDC_SPACING_25K) ? IDC_SPACING_25K : 0;
        return spacing * 10000 + markedDuplexButton();
    }
};

// Resting the pointer on each control shows its tip, read back whole, with
// the characters that not every ANSI code page has ("«", "→"). Moving from
// one control straight to the next shows the next tip after the short delay
// that tooltips keep between two tips.
TEST_F(Aids, EveryControlShowsItsTipUnderThePointer)
{
    const struct {
        int id;
        const wchar_t *tip;
    } tips[] = {
        {IDC_STEP_DOWN, L"<: one step down, 12.5 or 25 kHz (- key, wheel towards you)"},
        {IDC_STEP_UP, L">: one step up, 12.5 or 25 kHz (+ key, wheel away from you)"},
        {IDC_FAST_DOWN, L"\u00AB: 100 kHz down (Page Down)"},
        {IDC_FAST_UP, L"\u00BB: 100 kHz up (Page Up)"},
        {IDC_BAND_LOW, L"[: band low edge, 144.000 MHz (Home)"},
        {IDC_BAND_HIGH, L"]: band high edge, 146.000 MHz (End)"},
        {IDC_FREQUENCY_DISPLAY, L"RX and TX frequency: type a digit or double-click to enter one; the wheel tunes"},
        {IDC_SPACING_12K5, L"12.5 KHz: < and > step 12.5 kHz"},
        {IDC_SPACING_25K, L"25 KHz: < and > step 25 kHz"},
        {IDC_DUPLEX, L"duplex: TX the repeater shift below RX"},
        {IDC_REV_DUP, L"Rev dup: reverse duplex, RX the repeater shift below TX"},
        {IDC_SIMPLEX, L"Simplex: RX and TX on one frequency"},
        {IDC_SHIFT_DEFAULT, L"=: repeater shift back to 600 kHz"},
        {IDC_SHIFT_DOWN, L"<: repeater shift 12.5 kHz smaller"},
        {IDC_SHIFT_UP, L">: repeater shift 12.5 kHz larger"},
        {IDC_SHIFT_DISPLAY, L"Repeater shift: how far TX lies below RX in duplex"},
        {IDC_SCAN, L"Scan: scanner Halt \u2192 Jump (shown first as Skip) \u2192 Off"},
        {IDC_SCAN_START, L"Start: this channel begins the scan range"},
        {IDC_SCAN_STOP, L"Stop: this channel ends the scan range"},
        {IDC_WATCH, L"Watch: this channel is the priority watch channel; again to clear"},
        {IDC_MODE, L"Mode: this channel's scan mode, on \u2192 jump \u2192 off"},
        {IDC_SCANNER_DISPLAY, L"Scanner: state, scan range, this channel's scan mode, watch channel"},
        {IDC_RESET, L"Reset: back to 145.600 MHz, duplex, 600 kHz shift, scanner off; "
         L"every channel's scan mode back to On (lock-outs lost)"},
    };
    bringPanelIntoView();
    for (const auto &t : tips) {
        SCOPED_TRACE(testing::Message() << "control " << t.id);
        ASSERT_NO_FATAL_FAILURE(pointAt(t.id));
        std::wstring shown;
        waitFor([&] { return (shown = tipShown()) == t.tip; }, 5000);
        EXPECT_EQ(shown, std::wstring(t.tip));
    }
}

// Tab goes round every tab stop, landing on the marked button of each radio
// group, forwards and backwards, and changes no mark and no load; the arrows
// move within a group and select as a click does, which the loads show for
// the working (reverse duplex receives 600 kHz below) and the next step for
// the spacing.
TEST_F(Aids, TabChangesNothingAndTheArrowsSelectEveryRadioButton)
{
    constexpr int home = IDC_SPACING_12K5 * 10000 + IDC_DUPLEX, wide = IDC_SPACING_25K * 10000;
    constexpr int wideRev = wide + IDC_REV_DUP;
    const struct Step {
        WORD key;
        bool shift;
        int focus, marks, channel;  // afterwards: the focused control, the marks, the channel loaded
    } steps[] = {
        {VK_TAB, false, IDC_STEP_UP, home, 432},       {VK_TAB, false, IDC_FAST_DOWN, home, 432},
        {VK_TAB, false, IDC_FAST_UP, home, 432},       {VK_TAB, false, IDC_BAND_LOW, home, 432},
        {VK_TAB, false, IDC_BAND_HIGH, home, 432},     {VK_TAB, false, IDC_SPACING_12K5, home, 432},
        {VK_TAB, false, IDC_DUPLEX, home, 432},        {VK_TAB, true, IDC_SPACING_12K5, home, 432},
        {VK_RIGHT, false, IDC_SPACING_25K, wide + IDC_DUPLEX, 432},
        {VK_RIGHT, false, IDC_SPACING_12K5, home, 432},
        {VK_LEFT, false, IDC_SPACING_25K, wide + IDC_DUPLEX, 432},
        {VK_TAB, false, IDC_DUPLEX, wide + IDC_DUPLEX, 432},
        {VK_RIGHT, false, IDC_REV_DUP, wideRev, 384},
        {VK_DOWN, false, IDC_SIMPLEX, wide + IDC_SIMPLEX, 432},
        {VK_RIGHT, false, IDC_DUPLEX, wide + IDC_DUPLEX, 432},
        {VK_UP, false, IDC_SIMPLEX, wide + IDC_SIMPLEX, 432},
        {VK_LEFT, false, IDC_REV_DUP, wideRev, 384},
        // Out and back in, both ways: Tab lands on the marked button, not the group's first.
        {VK_TAB, false, IDC_SHIFT_DEFAULT, wideRev, 384}, {VK_TAB, true, IDC_REV_DUP, wideRev, 384},
        {VK_TAB, true, IDC_SPACING_25K, wideRev, 384},    {VK_TAB, true, IDC_BAND_HIGH, wideRev, 384},
        {VK_TAB, false, IDC_SPACING_25K, wideRev, 384},   {VK_TAB, false, IDC_REV_DUP, wideRev, 384},
        {VK_TAB, false, IDC_SHIFT_DEFAULT, wideRev, 384}, {VK_TAB, false, IDC_SHIFT_DOWN, wideRev, 384},
        {VK_TAB, false, IDC_SHIFT_UP, wideRev, 384},      {VK_TAB, false, IDC_SCAN, wideRev, 384},
        {VK_TAB, false, IDC_SCAN_START, wideRev, 384},    {VK_TAB, false, IDC_SCAN_STOP, wideRev, 384},
        {VK_TAB, false, IDC_WATCH, wideRev, 384},         {VK_TAB, false, IDC_MODE, wideRev, 384},
        {VK_TAB, false, IDC_RESET, wideRev, 384},         {VK_TAB, false, IDC_STEP_DOWN, wideRev, 384},
    };
    bringPanelIntoView();
    ASSERT_NO_FATAL_FAILURE(bringToFront(panel));
    ASSERT_TRUE(waitFor([&] { return focused() == IDC_STEP_DOWN; }, patienceMs))
        << "the focus is on " << focused() << ", not on the first tab stop";
    int channel = homeChannel;
    for (size_t i = 0; i < std::size(steps); ++i) {
        const Step &s = steps[i];
        SCOPED_TRACE(testing::Message() << "step " << i << ", to " << s.focus);
        LONG64 from = mark();
        int64_t at = now();
        ASSERT_NO_FATAL_FAILURE(pressKey(s.key, s.shift));
        ASSERT_TRUE(waitFor([&] { return focused() == s.focus; }, patienceMs)) << "the focus is on " << focused();
        EXPECT_EQ(marks(), s.marks);
        // The ticks go on: after a load that was under way as the key came,
        // every load is of the channel the step gives.
        std::vector<Load> v = waitForLoads(
            from, [&](const std::vector<Load> &l) { return l.size() >= 3 && l.back().channel == s.channel; },
            patienceMs);
        ASSERT_GE(v.size(), 3u) << describe(v, at);
        for (size_t k = v[0].channel == channel ? 1 : 0; k < v.size(); ++k) {
            ASSERT_EQ(v[k].channel, s.channel) << describe(v, at);
        }
        channel = s.channel;
    }
    // The arrows left 25 kHz selected: ">" steps two channels (reverse duplex: RX 48 below).
    LONG64 from = mark();
    ASSERT_NO_FATAL_FAILURE(click(IDC_STEP_UP));
    std::vector<Load> v = waitForLoads(
        from, [](const std::vector<Load> &l) { return !l.empty() && l.back().channel != 384; }, patienceMs);
    ASSERT_FALSE(v.empty());
    EXPECT_EQ(v.back().channel, 434 - 48) << describe(v, now());
}

// ---- What no key may do: move a keyed transmitter, close the panel ---------------

// The panel brought to the front with the focus on its first tab stop, for
// keys through the system's input queue.
class Safety : public Aids {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(Aids::SetUp());
        bringPanelIntoView();
        ASSERT_NO_FATAL_FAILURE(bringToFront(panel));
        ASSERT_TRUE(waitFor([&] { return focused() == IDC_STEP_DOWN; }, patienceMs))
            << "the focus is on " << focused() << ", not on the first tab stop";
        ASSERT_NO_FATAL_FAILURE(waitForTicks(3));
    }

    // Presses `key` and waits until the focus is on `id`.
    void focusBy(WORD key, bool shift, int id)
    {
        ASSERT_NO_FATAL_FAILURE(pressKey(key, shift));
        ASSERT_TRUE(waitFor([&] { return focused() == id; }, patienceMs))
            << "the focus is on " << focused() << ", not on " << id;
    }

    // Presses `key` and waits until the focus is on one of `first`..`last`.
    void focusIn(WORD key, bool shift, int first, int last)
    {
        ASSERT_NO_FATAL_FAILURE(pressKey(key, shift));
        ASSERT_TRUE(waitFor([&] { return focused() >= first && focused() <= last; }, patienceMs))
            << "the focus is on " << focused() << ", not on " << first << " to " << last;
    }

    // Tab from the first tab stop to "duplex", over the spacing's "12.5 KHz".
    void tabToDuplex()
    {
        for (int id : {IDC_STEP_UP, IDC_FAST_DOWN, IDC_FAST_UP, IDC_BAND_LOW, IDC_BAND_HIGH, IDC_SPACING_12K5,
                       IDC_DUPLEX}) {
            ASSERT_NO_FATAL_FAILURE(focusBy(VK_TAB, false, id));
        }
    }

    // A digit typed on the panel opens the frequency box.
    HWND openBox()
    {
        pressKey('1');
        return outside::waitForWindow(process.dwProcessId, "#32770", "Go to frequency", patienceMs);
    }
};

// Keyed in duplex on 432, the arrows in the working and in the spacing change
// no mark and move the transmitter nowhere: 384 alone is loaded. Released,
// the same arrow selects again.
TEST_F(Safety, ArrowsInTheRadioGroupsChangeNothingWhileKeyed)
{
    constexpr int home = IDC_SPACING_12K5 * 10000 + IDC_DUPLEX;
    ASSERT_NO_FATAL_FAILURE(tabToDuplex());
    int64_t at = 0;
    std::vector<Load> v = keyAndHold(true, 100, &at);
    ASSERT_FALSE(v.empty());
    ASSERT_EQ(v.back().channel, 384) << describe(v, at);

    LONG64 keyed = mark();
    at = now();
    ASSERT_NO_FATAL_FAILURE(pressKey(VK_DOWN));
    ASSERT_NO_FATAL_FAILURE(pressKey(VK_DOWN));
    // Tab lands on a group's marked button, and each focus move comes after
    // the arrows before it were handled.
    ASSERT_NO_FATAL_FAILURE(focusIn(VK_TAB, true, IDC_SPACING_12K5, IDC_SPACING_25K));
    ASSERT_NO_FATAL_FAILURE(pressKey(VK_RIGHT));
    ASSERT_NO_FATAL_FAILURE(focusIn(VK_TAB, false, IDC_DUPLEX, IDC_SIMPLEX));
    ASSERT_NO_FATAL_FAILURE(pressKey(VK_UP));
    ASSERT_NO_FATAL_FAILURE(focusIn(VK_TAB, true, IDC_SPACING_12K5, IDC_SPACING_25K));
    ASSERT_EQ(marks(), home);
    Sleep(200);  // the ticks after the last arrow
    v = loads(keyed);
    EXPECT_GE(v.size(), 3u) << "the ticks stopped; " << describe(v, at);
    for (const Load &l : v) {
        ASSERT_EQ(l.channel, 384) << "keyed: 145.000 MHz alone; " << describe(v, at);
    }
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.600\n\nTX 145.000");

    v = keyAndHold(false, 100, &at);
    ASSERT_FALSE(v.empty());
    ASSERT_EQ(v.back().channel, homeChannel) << describe(v, at);
    ASSERT_NO_FATAL_FAILURE(focusBy(VK_TAB, false, IDC_DUPLEX));
    ASSERT_NO_FATAL_FAILURE(focusBy(VK_DOWN, false, IDC_REV_DUP));
    EXPECT_EQ(marks(), IDC_SPACING_12K5 * 10000 + IDC_REV_DUP);
}

// Enter on a radio button does nothing: the panel stays open, and the ticks
// go on. On a push button it presses that button. Escape does not close the
// panel either.
TEST_F(Safety, EnterNeverClosesThePanel)
{
    ASSERT_NO_FATAL_FAILURE(tabToDuplex());
    LONG64 from = mark();
    int64_t at = now();
    ASSERT_NO_FATAL_FAILURE(pressKey(VK_RETURN));
    // The next key is handled after Enter: a panel closed by it takes none.
    ASSERT_NO_FATAL_FAILURE(pressKey(VK_TAB, true));
    waitFor([&] { return focused() == IDC_SPACING_12K5 || !IsWindow(panel) || !IsWindowVisible(panel); },
            patienceMs);
    ASSERT_TRUE(IsWindow(panel) && IsWindowVisible(panel)) << "Enter closed the panel";
    ASSERT_EQ(focused(), IDC_SPACING_12K5);
    std::vector<Load> v = waitForLoads(
        from, [&](const std::vector<Load> &l) { return !l.empty() && ms(at, l.back().time) >= 300; }, patienceMs);
    ASSERT_GE(v.size(), 10u) << "the ticks stopped; " << describe(v, at);
    for (const Load &l : v) {
        ASSERT_EQ(l.channel, homeChannel) << describe(v, at);
    }
    EXPECT_EQ(marks(), IDC_SPACING_12K5 * 10000 + IDC_DUPLEX);

    ASSERT_NO_FATAL_FAILURE(focusBy(VK_TAB, true, IDC_BAND_HIGH));
    from = mark();
    at = now();
    ASSERT_NO_FATAL_FAILURE(pressKey(VK_RETURN));
    v = waitForLoads(
        from, [&](const std::vector<Load> &l) { return !l.empty() && l.back().channel == 464; }, patienceMs);
    ASSERT_FALSE(v.empty() || v.back().channel != 464) << "Enter did not press \"]\"; " << describe(v, at);
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 146.000\n\nTX 145.400");
    EXPECT_TRUE(IsWindowVisible(panel));

    from = mark();
    at = now();
    ASSERT_NO_FATAL_FAILURE(pressKey(VK_ESCAPE));
    ASSERT_NO_FATAL_FAILURE(pressKey(VK_TAB, true));  // handled after Escape
    waitFor([&] { return focused() == IDC_BAND_LOW || !IsWindow(panel) || !IsWindowVisible(panel); }, patienceMs);
    ASSERT_TRUE(IsWindow(panel) && IsWindowVisible(panel)) << "Escape closed the panel";
    v = waitForLoads(
        from, [&](const std::vector<Load> &l) { return !l.empty() && ms(at, l.back().time) >= 300; }, patienceMs);
    ASSERT_GE(v.size(), 10u) << "the ticks stopped; " << describe(v, at);
    EXPECT_EQ(v.back().channel, 464) << describe(v, at);
}

// With the frequency box open, a second copy brings the box to the front,
// not the panel it disables.
TEST_F(Safety, ASecondCopyBringsTheOpenBoxForward)
{
    HWND box = openBox();
    ASSERT_NE(box, nullptr) << "a digit opened no box";
    ForegroundWindow other;
    ASSERT_TRUE(waitForForeground(other.window)) << "the driver's window did not come to the front";
    outside::WatchedCopy second(program);
    ASSERT_TRUE(second.running()) << "cannot start a second copy";
    ASSERT_NO_FATAL_FAILURE(expectLeftThePortAlone(second));
    EXPECT_TRUE(waitForForeground(box)) << "the foreground window is " << GetForegroundWindow() << ", the box "
                                        << box << ", the panel " << panel;
}

// A tip showing as the box opens goes as it comes up, none shows over the
// disabled panel while it is open, and they come back when it closes.
TEST_F(Safety, NoPanelTipShowsWhileTheBoxIsOpen)
{
    ASSERT_NO_FATAL_FAILURE(pointAt(IDC_SCAN));
    ASSERT_TRUE(waitFor([&] { return !tipShown().empty(); }, 5000)) << "no tip under the pointer";
    HWND box = openBox();
    ASSERT_NE(box, nullptr) << "a digit opened no box";
    EXPECT_EQ(tipShown(), L"") << "a tip over the open box";
    for (int id : {IDC_MODE, IDC_RESET, IDC_SCAN}) {
        ASSERT_NO_FATAL_FAILURE(pointAt(id));
        EXPECT_FALSE(waitFor([&] { return !tipShown().empty(); }, 700)) << "a tip over the open box";
    }

    ASSERT_NO_FATAL_FAILURE(pressKey(VK_ESCAPE));
    ASSERT_TRUE(waitFor([&] { return !IsWindow(box); }, patienceMs)) << "Escape did not close the box";
    ASSERT_NO_FATAL_FAILURE(pointAt(IDC_RESET));
    EXPECT_TRUE(waitFor([&] { return !tipShown().empty(); }, 5000)) << "no tip after the box closed";
}

// A claim held by a process without windows (this driver, here), as by a copy
// of another user's: a new copy says it is already running, loads no io.dll,
// opens no window of its own and ends with 0 once the box is closed.
class ClaimTaken : public Radio {
protected:
    HANDLE claim = nullptr;
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(openSimulator());
        claim = CreateMutexA(nullptr, FALSE, transceiverClaimName);
        ASSERT_NE(claim, nullptr);
        ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "the claim was taken already";
    }
    void TearDown() override
    {
        if (claim) {
            CloseHandle(claim);
        }
        Radio::TearDown();
    }
    void expectAlreadyRunningBox();
};

// The claim's name held by an object of another kind, an event here: no claim
// can be made at all, and that counts as the claim taken.
class ClaimTakenByAnotherKind : public ClaimTaken {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(openSimulator());
        claim = CreateEventA(nullptr, TRUE, FALSE, transceiverClaimName);
        ASSERT_NE(claim, nullptr);
        ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "the name was taken already";
        HANDLE mutex = CreateMutexA(nullptr, FALSE, transceiverClaimName);
        ASSERT_EQ(mutex, nullptr) << "a claim can still be made";
    }
};

TEST_F(ClaimTaken, ANewCopySaysTheProgramIsAlreadyRunning)
{
    expectAlreadyRunningBox();
}

TEST_F(ClaimTakenByAnotherKind, ANewCopySaysTheProgramIsAlreadyRunning)
{
    expectAlreadyRunningBox();
}

void ClaimTaken::expectAlreadyRunningBox()
{
    outside::WatchedCopy copy(program);
    ASSERT_TRUE(copy.running());
    HWND box = outside::waitForWindow(copy.pid(), "#32770", "error", patienceMs);
    ASSERT_NE(box, nullptr) << "no message box";
    EXPECT_NE(FindWindowExA(box, nullptr, "Static", "QD7150-Control is already running"), nullptr)
        << "the box does not say \"QD7150-Control is already running\"";
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    HWND ok = FindWindowExA(box, nullptr, "Button", nullptr);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(textOf(ok), "OK");
    EXPECT_EQ(FindWindowExA(box, ok, "Button", nullptr), nullptr) << "more buttons than OK";
    EXPECT_EQ(outside::findWindow(copy.pid(), "RootClass", nullptr), nullptr) << "it made a main window";
    EXPECT_EQ(outside::findWindow(copy.pid(), "#32770", "QD-7150 Control"), nullptr) << "it opened a panel";

    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_NO_FATAL_FAILURE(expectLeftThePortAlone(copy));
    EXPECT_EQ(sim->writeIndex, 0) << "the port was used";
}

// A claim given up while a new copy looks for the copy that holds it, as by a
// copy that has lost its windows but is still ending: the new copy leaves the
// port alone while the claim is held, then starts as a first copy does, with
// no box.
TEST_F(ClaimTaken, ANewCopyStartsOnceTheClaimComesFree)
{
    outside::WatchedCopy copy(program);
    ASSERT_TRUE(copy.running());
    // From its entry point it reaches the claim within milliseconds.
    ASSERT_TRUE(copy.hasEntered(patienceMs)) << "the copy never began";
    Sleep(1000);
    ASSERT_FALSE(copy.ended(0)) << "the copy ended while the claim was held";
    EXPECT_EQ(sim->writeIndex, 0) << "the port was used while the claim was held";
    EXPECT_EQ(outside::findWindow(copy.pid(), nullptr, nullptr, true), nullptr)
        << "a window came while the claim was held";
    CloseHandle(claim);
    claim = nullptr;

    HWND box = nullptr;
    waitFor([&] {
        box = outside::findWindow(copy.pid(), "#32770", "error", true);
        panel = outside::findWindow(copy.pid(), "#32770", "QD-7150 Control", true);
        return box || panel;
    }, patienceMs);
    EXPECT_EQ(box, nullptr) << "a box came: " << (box ? outside::boxText(box) : "");
    ASSERT_NE(panel, nullptr) << "the control panel did not appear";
    std::vector<Load> v = waitForLoads(0, [](const std::vector<Load> &l) { return l.size() >= 5; }, patienceMs);
    ASSERT_GE(v.size(), 5u) << "the copy does not load the transceiver";
    expectHomeLoadFirst(0);
    for (const Load &l : v) {
        ASSERT_EQ(l.channel, homeChannel) << describe(v, v.front().time);
    }
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.600\n\nTX 145.000");
}

// A winmm.dll and a comctl32.dll of someone else's beside the program, as in
// a Downloads folder that the ZIP was unpacked into. Wine is told to prefer
// such files to its own copies, and then searches for them as Windows does for
// a DLL that is not a Known DLL: the program's folder first. Neither may be
// loaded, and the panel ticks as ever.
class PlantedLibraries : public Radio {
protected:
    HANDLE recorded[2] = {};
    std::string folder;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(openSimulator());
        // Run with the program of planted/.
        folder = program.substr(0, program.find_last_of('\\') + 1);
        char name[96];
        std::snprintf(name, sizeof name, "Local\\QD7150Planted.%lu.", GetCurrentProcessId());
        ASSERT_TRUE(SetEnvironmentVariableA("QD7150_PLANTED_EVENT", name));
        const char *dlls[] = {"winmm", "comctl32"};
        for (int i = 0; i < 2; ++i) {
            recorded[i] = CreateEventA(nullptr, TRUE, FALSE, (std::string(name) + dlls[i]).c_str());
            ASSERT_NE(recorded[i], nullptr);
        }
    }

    void TearDown() override
    {
        for (HANDLE h : recorded) {
            if (h) {
                CloseHandle(h);
            }
        }
        Radio::TearDown();
    }
};

TEST_F(PlantedLibraries, AreNeverLoaded)
{
    // Under Wine the test runs with WINEDLLOVERRIDES=...;winmm,comctl32=n,b
    // (Wine reads it from its own start, so it cannot be set from here);
    // without it Wine would take its own copies whatever the program did.
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr) {
        char overrides[256] = "";
        GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
        ASSERT_NE(std::string(overrides).find("winmm,comctl32=n,b"), std::string::npos)
            << "run under Wine with WINEDLLOVERRIDES=winmm,comctl32=n,b; it is \"" << overrides << "\"";
    }
    outside::WatchedCopy copy(program);
    ASSERT_TRUE(copy.running()) << "cannot start " << program << " (error " << copy.startError << ")";

    HWND panel = outside::waitForWindow(copy.pid(), "#32770", "QD-7150 Control", patienceMs);
    ASSERT_NE(panel, nullptr) << "the control panel did not appear";
    std::vector<Load> v = waitForLoads(0, [](const std::vector<Load> &l) { return l.size() >= 20; }, patienceMs);
    ASSERT_GE(v.size(), 20u) << "the panel does not tick; " << describe(v, v.empty() ? now() : v.front().time);
    expectHomeLoadFirst(0);
    for (const Load &l : v) {
        ASSERT_EQ(l.channel, homeChannel) << describe(v, v.front().time);
    }

    HWND main = nullptr;
    PostMessageA(panel, WM_CLOSE, 0, 0);
    ASSERT_TRUE(waitFor([&] {
        return (main = outside::findWindow(copy.pid(), "RootClass", "QD7150-Control", true)) != nullptr;
    }, patienceMs)) << "the main window was not shown";
    PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    ASSERT_TRUE(copy.ended(patienceMs)) << "the program did not end";
    EXPECT_EQ(copy.exitCode(), 0u);

    EXPECT_EQ(WaitForSingleObject(recorded[0], 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the planted winmm.dll ran";
    EXPECT_EQ(WaitForSingleObject(recorded[1], 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the planted comctl32.dll ran";
    // From the program's folder io.dll alone.
    std::string planted = outside::lowerCase(folder);
    for (const std::string &l : copy.libraries) {
        bool fromFolder = l.find(planted) != std::string::npos;
        EXPECT_TRUE(!fromFolder || l.substr(l.size() - 7) == "\\io.dll") << "loaded from the program's folder: " << l;
    }
    EXPECT_TRUE(copy.loaded("user32.dll")) << "the library loads were not all seen";
    EXPECT_TRUE(copy.loaded("winmm.dll")) << "the system's winmm.dll was not loaded: no fine timer";
    EXPECT_NE(copy.library("io.dll").find(planted), std::string::npos) << "io.dll was not loaded beside it";
}

// ---- An evening at the station: openings while keyed, the scan range, the TX line ----

// Each scenario starts the program itself, the line keyed first where it says.
class Evening : public Radio {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(openSimulator()); }

    // Waits for 15 loads from `from` on, over 200 ms at least (an opening
    // takes its time after its first load); returns them.
    std::vector<Load> openingLoads(LONG64 from)
    {
        return waitForLoads(from, [&](const std::vector<Load> &l) {
            return l.size() >= 15 && ms(l.front().time, l.back().time) >= 200;
        }, patienceMs);
    }

    // Expects that the loads `v` are all of `channel`, and 15 of them.
    void expectOnly(const std::vector<Load> &v, int channel, const char *what)
    {
        EXPECT_GE(v.size(), 15u) << what << ": the ticks stopped; " << describe(v, v.empty() ? now() : v.front().time);
        for (const Load &l : v) {
            if (l.channel != channel) {
                ADD_FAILURE() << what << ": " << channel << " alone; " << describe(v, v.front().time);
                return;
            }
        }
    }

    // The panel closed (`how` posted to it, or Alt+F4 through the input
    // queue when `how` is 0), then the main window it shows.
    HWND closeBy(UINT how)
    {
        if (how != 0) {
            PostMessageA(panel, how, how == WM_SYSCOMMAND ? SC_CLOSE : 0, 0);
        } else {
            bringPanelIntoView();
            bringToFront(panel);
            INPUT keys[4] = {};
            const WORD order[] = {VK_MENU, VK_F4, VK_F4, VK_MENU};  // Alt held around F4
            for (int i = 0; i < 4; ++i) {
                keys[i].type = INPUT_KEYBOARD;
                keys[i].ki.wVk = order[i];
                keys[i].ki.wScan = static_cast<WORD>(MapVirtualKeyA(order[i], MAPVK_VK_TO_VSC));
                keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
            }
            SendInput(4, keys, sizeof(INPUT));
        }
        HWND main = nullptr;
        waitFor([&] { return !IsWindow(panel) && (main = findWindow("RootClass", "QD7150-Control")) != nullptr; },
                patienceMs);
        return main;
    }
};

// Keyed as the program starts, and keyed as "VFO" opens the panel again, the
// opening loads only the home channel's transmit channel, 384 in duplex, never
// the home channel 432 (a repeater's output). Between them, Alt+F4 closes the
// panel, and so does Close in the system menu (the close box's way) at the end.
TEST_F(Evening, KeyedAtAnOpeningOnlyTheTransmitChannelIsLoaded)
{
    key(true);
    ASSERT_NO_FATAL_FAILURE(startProgram());
    expectOnly(openingLoads(0), 384, "started keyed");
    key(false);
    ASSERT_TRUE(waitFor([&] { return sim->channel == homeChannel; }, patienceMs)) << "released: not back on 432";

    HWND main = closeBy(0);
    ASSERT_NE(main, nullptr) << "Alt+F4 did not close the panel";
    key(true);
    LONG64 from = mark();
    HWND old = panel;
    PostMessageA(main, WM_COMMAND, IDM_VFO, 0);
    panel = waitForPanel(old);
    ASSERT_NE(panel, nullptr) << "\"VFO\" opened no panel";
    expectOnly(openingLoads(from), 384, "reopened keyed");
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.600\n\nTX 145.000");
    key(false);
    EXPECT_NE(closeBy(WM_SYSCOMMAND), nullptr) << "Close in the system menu did not close the panel";
}

// The range 400..410 and Scan pressed on 390, below it: after the scan's first
// load, every load lies in the range, and the whole range is swept.
TEST_F(Evening, AScanStartedBelowItsRangeScansTheRange)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    ASSERT_NO_FATAL_FAILURE(setRange400To410(homeChannel));
    ASSERT_NO_FATAL_FAILURE(stepTo(400, 390));
    int64_t at = now();
    ASSERT_NO_FATAL_FAILURE(click(IDC_SCAN));
    LONG64 from = mark();  // only the scanner loads from here on
    auto swept = [](const std::vector<Load> &l) {
        for (int ch = 400; ch <= 410; ++ch) {
            if (std::none_of(l.begin(), l.end(), [ch](const Load &x) { return x.channel == ch; })) {
                return false;
            }
        }
        return true;
    };
    std::vector<Load> v = waitForLoads(from, swept, 3000);
    ASSERT_FALSE(v.empty()) << "the scan loaded nothing";
    for (size_t i = 1; i < v.size(); ++i) {
        ASSERT_TRUE(v[i].channel >= 400 && v[i].channel <= 410) << "outside 400..410; " << describe(v, at);
    }
    EXPECT_TRUE(swept(v)) << "not every channel of 400..410 in 3 s; " << describe(v, at);
}

// Halted on the busy repeater output 145.7125 MHz (441), the TX line names
// where a key-up would transmit: its input, 145.1125 MHz (393), in the
// display's digits; keyed, that channel alone is loaded.
TEST_F(Evening, WhileScanningTheTxLineShowsWhereAKeyUpWouldTransmit)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    carrier(441, true);
    int64_t at = now();
    ASSERT_NO_FATAL_FAILURE(click(IDC_SCAN));
    LONG64 from = mark();
    std::vector<Load> v = waitForLoads(
        from, [](const std::vector<Load> &l) { return !l.empty() && l.back().channel == 441; }, patienceMs);
    ASSERT_FALSE(v.empty() || v.back().channel != 441) << "the scan did not halt on 441; " << describe(v, at);
    Sleep(200);
    ASSERT_EQ(loads(from).size(), v.size()) << "not halted; " << describe(loads(from), at);
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.712\n\nTX 145.113");

    v = keyAndHold(true, 400, &at);
    ASSERT_FALSE(v.empty()) << "nothing loaded while keyed";
    for (const Load &l : v) {
        ASSERT_EQ(l.channel, 393) << "keyed: 145.1125 MHz alone; " << describe(v, at);
    }
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.712\n\nTX 145.113");
}

}  // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: e2e_driver.exe PROGRAM.exe [GoogleTest options]\n");
        return 2;
    }
    program = outside::windowsPath(argv[1]);
    int result = RUN_ALL_TESTS();
    if (testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        std::fprintf(stderr, "no scenario matches the filter\n");
        return 1;
    }
    return result;
}

namespace {

// ---- Keyed at a chosen moment of the program's own step ---------------------------
//
// The simulated io.dll keys the line right after a chosen port access, inside
// the program's own PortIn or PortOut, so that the program's very next access
// sees it keyed: each race with a step comes out the same every time. The line
// is held keyed for 0.4 s, about 40 ticks, every load of which is checked.
class KeyedAtAChosenMoment : public Aids {
protected:
    // Keys the line right after the next load of `channel`, or right after the
    // `reads`th status read from there on.
    void keyAfterLoadOf(int channel, int reads)
    {
        ASSERT_TRUE(qdSimArmTrigger(sim, true, channel, reads));
    }

    // Waits until the simulator has keyed the line; returns the log index of
    // the first access after the key, 0 when it never keyed.
    LONG64 waitForTheKey()
    {
        waitFor([&] { return sim->triggerFiredAt != 0; }, patienceMs);
        return sim->triggerFiredAt;
    }

    int64_t timeOf(LONG64 index)
    {
        QdSimLogEntry e = {};
        EXPECT_TRUE(qdSimLogRead(sim, index, &e)) << "log entry " << index;
        return e.time;
    }

    // The loads begun with the line keyed from log index `keyedAt` on, held
    // keyed for 0.4 s, then released.
    std::vector<Load> holdKeyed(LONG64 keyedAt)
    {
        int64_t at = timeOf(keyedAt - 1);
        while (ms(at, now()) < 400.0) {
            Sleep(5);
        }
        std::vector<Load> v = loadsBegunFrom(keyedAt);
        key(false);
        return v;
    }

    // The loads begun before log index `index`, from `from` on.
    std::vector<Load> loadsBefore(LONG64 from, LONG64 index)
    {
        std::vector<Load> v = loads(from);
        v.erase(std::remove_if(v.begin(), v.end(), [&](const Load &l) { return l.dataIndex >= index; }), v.end());
        return v;
    }

    static void expectOnly(const std::vector<Load> &v, int channel, const std::string &what)
    {
        EXPECT_FALSE(v.empty()) << what << ": nothing loaded";
        EXPECT_TRUE(std::all_of(v.begin(), v.end(), [&](const Load &l) { return l.channel == channel; }))
            << channel << " alone expected; " << what;
    }
};

// A sweep from 145.6625 MHz (437, a repeater output) with the free watch
// channel 460, keyed right after a load of 460 whose squelch read found it
// free, as the step goes on to 438: the step ends in the keyed stop, and the
// only channel loaded while keyed is the stop's transmit channel, 437's
// repeater input 389. The sweep's next channel is never loaded.
TEST_F(KeyedAtAChosenMoment, RightAfterAWatchSampleOneChannelIsLoaded)
{
    ASSERT_NO_FATAL_FAILURE(stepTo(homeChannel, 460));
    ASSERT_NO_FATAL_FAILURE(click(IDC_WATCH));
    ASSERT_NO_FATAL_FAILURE(stepTo(460, 437));
    ASSERT_NO_FATAL_FAILURE(keyAfterLoadOf(460, 1));
    LONG64 from = mark();
    int64_t at = now();
    ASSERT_NO_FATAL_FAILURE(click(IDC_SCAN));
    LONG64 keyedAt = waitForTheKey();
    ASSERT_NE(keyedAt, 0) << "the scan sampled no watch channel; " << describe(loads(from), at);
    std::vector<Load> v = holdKeyed(keyedAt);
    std::string what = "keyed right after the watch sample; " + describe(v, timeOf(keyedAt - 1)) +
                       "; before: " + describe(loadsBefore(from, keyedAt), at);
    expectOnly(v, 389, what);
    EXPECT_EQ(markedDuplexButton(), IDC_DUPLEX) << what;
}

// Jump scan from 397, a station on 145.200 MHz (400) goes on speaking, the
// next channel, 401, is set Off: 400 is held about a second, then the scan
// passes 401 over within the same step, and 402 is loaded one step after the
// hold ends, not after a second hold on a channel it never loaded. Keyed
// right after that load of 402, the operator answers the station heard on
// 400: its transmit channel alone is loaded, never the locked-out 401.
TEST_F(KeyedAtAChosenMoment, JumpPassesALockedOutChannelAndAnswersTheStationHeard)
{
    ASSERT_NO_FATAL_FAILURE(stepTo(homeChannel, 401));
    ASSERT_NO_FATAL_FAILURE(clicks(IDC_MODE, 2));  // On, Jump, Off
    std::string status = text(IDC_SCANNER_DISPLAY);
    ASSERT_NE(status.find("\nOff\n"), std::string::npos) << status;
    ASSERT_NO_FATAL_FAILURE(stepTo(401, 397));
    carrier(400, true);
    ASSERT_NO_FATAL_FAILURE(keyAfterLoadOf(402, 0));
    LONG64 from = mark();
    int64_t at = now();
    ASSERT_NO_FATAL_FAILURE(clicks(IDC_SCAN, 2));  // Halt, then Jump
    LONG64 keyedAt = waitForTheKey();
    std::vector<Load> before = loadsBefore(from, keyedAt ? keyedAt : mark());
    ASSERT_NE(keyedAt, 0) << "402 was never loaded; " << describe(before, at);
    ASSERT_EQ(channelsOf(before), (std::vector<int>{398, 399, 400, 402})) << describe(before, at);
    double passed = ms(before[2].time, before[3].time);
    std::printf("from 400 to 402: %.0f ms\n", passed);
    EXPECT_GE(passed, 900.0) << "no hold on 400; " << describe(before, at);
    EXPECT_LE(passed, 1600.0) << "402 came long after 400's hold (about 1.07 s: the hold and one step); "
                              << describe(before, at);

    std::vector<Load> v = holdKeyed(keyedAt);
    expectOnly(v, 400, "keyed right after 402: the station heard on 400; " + describe(v, timeOf(keyedAt - 1)));
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.200\n\nTX 145.200");
}

// Keyed on 145.325 MHz (410) in duplex, Reset: the transmitter goes from 410's
// transmit channel (362) straight to the home channel's, 384, and never to the
// home channel itself, 432, a repeater output.
TEST_F(KeyedAtAChosenMoment, ResetWhileKeyedLoadsOnlyTheHomeTransmitChannel)
{
    ASSERT_NO_FATAL_FAILURE(stepTo(homeChannel, 410));
    int64_t at = 0;
    LONG64 keyedAt = 0;
    std::vector<Load> v = keyAndHold(true, 100, &at, &keyedAt);
    ASSERT_FALSE(v.empty() || v.back().channel != 362) << describe(v, at);
    ASSERT_NO_FATAL_FAILURE(click(IDC_RESET));
    LONG64 reset = mark();  // Reset has been handled, its own loads made
    while (ms(at, now()) < 400.0) {
        Sleep(5);
    }
    v = loadsBegunFrom(keyedAt);
    key(false);
    std::string what = "keyed, Reset; " + describe(v, at);
    EXPECT_TRUE(std::all_of(v.begin(), v.end(), [](const Load &l) { return l.channel == 362 || l.channel == 384; }))
        << "362, then 384 alone expected; " << what;
    expectOnly(loadsBegunFrom(reset), 384, what);
    EXPECT_EQ(text(IDC_FREQUENCY_DISPLAY), "RX 145.600\n\nTX 145.000");
}

// The keyed stop on a repeater output marks "duplex": the keyboard focus goes
// with the mark, so that no focus put back later lands on (and, on Windows,
// clicks) the button it left. Before it the focus was on "Simplex": clicked by
// the operator while the scan halted, or reached with the keyboard after Scan
// marked it.
TEST_F(KeyedAtAChosenMoment, TheFocusGoesWithTheKeyedStopsMark)
{
    bringPanelIntoView();
    ASSERT_NO_FATAL_FAILURE(bringToFront(panel));
    carrier(440, true);  // 145.700 MHz, a repeater output
    const struct {
        const char *name;
        bool clicked;  // "Simplex" clicked; otherwise reached with the keyboard
    } cases[] = {{"Simplex clicked", true}, {"Simplex marked by Scan, reached by Shift+Tab", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        LONG64 from = mark();
        ASSERT_NO_FATAL_FAILURE(click(IDC_SCAN));
        ASSERT_TRUE(waitFor([&] { return sim->channel == 440; }, patienceMs))
            << "the scan did not reach 440; " << describe(loads(from), now());
        Sleep(200);
        ASSERT_EQ(sim->channel, 440) << "not halted on 440; " << describe(loads(from), now());
        if (c.clicked) {
            ASSERT_NO_FATAL_FAILURE(click(IDC_SIMPLEX));
        } else {
            for (int i = 0; i < 4; ++i) {  // from Scan over ">", "<" and "=" of the shift
                ASSERT_NO_FATAL_FAILURE(pressKey(VK_TAB, true));
            }
        }
        ASSERT_TRUE(waitFor([&] { return focused() == IDC_SIMPLEX; }, patienceMs))
            << "the focus is on " << focused() << ", not on \"Simplex\"";
        ASSERT_EQ(markedDuplexButton(), IDC_SIMPLEX);

        int64_t at = 0;
        std::vector<Load> v = keyAndHold(true, 300, &at);
        expectOnly(v, 392, "keyed while halted on 440; " + describe(v, at));
        EXPECT_EQ(markedDuplexButton(), IDC_DUPLEX);
        EXPECT_TRUE(waitFor([&] { return focused() == IDC_DUPLEX; }, 2000))
            << "the focus is on " << focused() << ", not on \"duplex\"";
        v = keyAndHold(false, 100, &at);
        ASSERT_FALSE(v.empty() || v.back().channel != 440) << "released: " << describe(v, at);
    }
}

}  // namespace
