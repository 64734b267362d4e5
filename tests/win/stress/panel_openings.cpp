// The control panel opened and closed through "VFO" 200 times, in process: the
// program's own appMain runs with the simulated io.dll beside this test
// program, and a thread timer of the test plays the operator. For every panel
// it keys the simulated transmitter and lets it go again, takes the two
// brushes the frequency display is painted with, presses a few buttons and
// closes the panel (Close in the system menu, IDOK then the close box, the
// close box or Alt+F4, in turn); back in the main window it checks that the
// panel and both brushes are gone and opens the next one. GDI objects, kernel handles and the thread's windows are
// counted after the first few openings and after the last: they must not
// grow. Ten more openings then leave a brush, an event and a window behind on
// purpose, to show that the counts see a leak of one object per opening.
// Finally "Avsluta" ends appMain with 0.
//
//   panel_openings.exe [--openings N]     (default 200)
//
// Under Wine on a display with no window manager, as in our test environment,
// hiding a window that Wine leaves to the window manager waits two seconds for
// a state change that never comes, and every panel hides when it closes. So
// that 200 openings take seconds and not minutes, this program marks itself
// (itself only, by its file name) as one whose windows Wine manages on its own
// (HKCU\Software\Wine\AppDefaults\panel_openings.exe\X11 Driver, Managed=N);
// Wine reads that when a process starts, so the first run that sets it runs
// the program again and passes on its exit code.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "radio/radio_state.h"
#include "res/resource.h"
#include "sim/sim_shared.h"
#include "tests/win/stress/resource_counts.h"
#include "ui/control_panel.h"
#include "ui/main_window.h"

namespace {

int cleanOpenings = 200;            // through "VFO", after the one at start-up
constexpr int warmUpOpenings = 3;   // before the first count
constexpr int plantedOpenings = 10; // each leaving one object of every kind behind
constexpr DWORD phasePatienceMs = 20000;  // a noisy machine under Wine
constexpr DWORD runPatienceMs = 240000;

const char panelTitle[] = "QD-7150 Control";

enum class Phase { waitKeyed, waitUnkeyed, closing };

struct Planted {
    std::vector<HBRUSH> brushes;
    std::vector<HANDLE> events;
    std::vector<HWND> windows;
};

// Everything one run of appMain leaves for the tests to look at.
struct RunResult {
    int exitCode = -1;
    int panelsSeen = 0;       // openings, the one at start-up included
    int panelsChecked = 0;    // openings whose teardown was checked
    stress::Counts baseline;  // after the warm-up openings
    stress::Counts halfway;
    stress::Counts afterClean;    // after the last clean opening
    stress::Counts afterPlanted;  // after the openings that leak on purpose
    stress::Counts afterCleanup;  // planted objects freed again
    bool countedAll = false;
    std::vector<std::string> failures;
    double seconds = 0;
};

QdSimShared *sim;
RunResult run;

// Faults anywhere in the process. One in a window procedure, dialog procedure
// or timer callback is swallowed by the system on x64 and the program goes
// on; a handler that sees every exception first still catches it.
std::atomic<long> faults{0};
std::atomic<DWORD> firstFault{0};

LONG CALLBACK noteFault(EXCEPTION_POINTERS *info)
{
    DWORD code = info->ExceptionRecord->ExceptionCode;
    if ((code & 0xC0000000u) == 0xC0000000u && faults++ == 0) {
        firstFault = code;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

// The operator's state between timer callbacks.
struct Operator {
    HWND panel = nullptr;
    HBRUSH transmit = nullptr;
    HBRUSH receive = nullptr;
    Phase phase = Phase::closing;
    DWORD since = 0;
    bool awaitingPanel = false;  // "VFO" posted, no panel seen yet
    bool exitPosted = false;
    DWORD startedAt = 0;
    Planted planted;
} op;

void fail(const std::string &what)
{
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "opening %d: ", run.panelsSeen - 1);
    run.failures.push_back(prefix + what);
}

struct FindPanel {
    HWND panel;
    HWND errorBox;
};

BOOL CALLBACK matchPanel(HWND window, LPARAM param)
{
    auto *f = reinterpret_cast<FindPanel *>(param);
    char cls[16] = "", title[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, title, sizeof title);
    if (std::strcmp(cls, "#32770") == 0 && IsWindowVisible(window)) {
        if (std::strcmp(title, panelTitle) == 0) {
            f->panel = window;
        } else {
            f->errorBox = window;
        }
    }
    return TRUE;
}

// The brush the panel paints the frequency display with, as the display asks for it.
HBRUSH displayBrush(HWND panel)
{
    HWND display = GetDlgItem(panel, IDC_FREQUENCY_DISPLAY);
    HDC dc = GetDC(display);
    auto brush = reinterpret_cast<HBRUSH>(SendMessageA(panel, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                       reinterpret_cast<LPARAM>(display)));
    ReleaseDC(display, dc);
    return brush;
}

COLORREF brushColour(HBRUSH brush)
{
    LOGBRUSH lb = {};
    if (GetObjectA(brush, sizeof lb, &lb) != sizeof lb) {
        return CLR_INVALID;
    }
    return lb.lbColor;
}

// A few presses, different from one opening to the next, some of which leave
// the scanner running when the panel closes.
void pressButtons(HWND panel, int opening)
{
    static const int ids[] = {IDC_STEP_UP,    IDC_FAST_UP,    IDC_SPACING_25K, IDC_REV_DUP, IDC_SHIFT_UP,
                              IDC_WATCH,      IDC_MODE,       IDC_SCAN_START,  IDC_FAST_DOWN, IDC_SCAN_STOP,
                              IDC_SCAN,       IDC_BAND_HIGH,  IDC_SIMPLEX,     IDC_SCAN,      IDC_SHIFT_DOWN,
                              IDC_BAND_LOW,   IDC_SHIFT_DEFAULT, IDC_RESET,    IDC_SCAN};
    constexpr int count = sizeof ids / sizeof ids[0];
    int presses = opening % (count + 1);
    for (int i = 0; i < presses; ++i) {
        SendMessageA(panel, WM_COMMAND, MAKEWPARAM(ids[i], BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(panel, ids[i])));
    }
}

// Close in the system menu, IDOK (which ends nothing) followed by the close
// box, the close box and the keys Alt+F4, in turn.
void closePanel(HWND panel, int opening)
{
    switch (opening % 4) {
    case 0:
        PostMessageA(panel, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case 1:
        PostMessageA(panel, WM_COMMAND, IDOK, 0);
        PostMessageA(panel, WM_CLOSE, 0, 0);
        break;
    case 2:
        PostMessageA(panel, WM_CLOSE, 0, 0);
        break;
    default: {
        HWND focus = GetDlgItem(panel, IDC_STEP_DOWN);
        PostMessageA(focus, WM_SYSKEYDOWN, VK_F4, 0x203E0001);  // with Alt held
        PostMessageA(focus, WM_SYSKEYUP, VK_F4, static_cast<LPARAM>(0xE03E0001u));
        break;
    }
    }
}

void plantLeaks()
{
    op.planted.brushes.push_back(CreateSolidBrush(RGB(1, 2, 3)));
    op.planted.events.push_back(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    op.planted.windows.push_back(
        CreateWindowExA(0, "STATIC", "planted", 0, 0, 0, 10, 10, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr));
}

void freePlanted()
{
    for (HBRUSH b : op.planted.brushes) {
        DeleteObject(b);
    }
    for (HANDLE e : op.planted.events) {
        CloseHandle(e);
    }
    for (HWND w : op.planted.windows) {
        DestroyWindow(w);
    }
    op.planted = Planted();
}

// A new panel has appeared: check its owner and start keying.
void onNewPanel(HWND panel)
{
    op.panel = panel;
    op.transmit = op.receive = nullptr;
    op.awaitingPanel = false;
    ++run.panelsSeen;
    HWND owner = GetWindow(panel, GW_OWNER);
    if (run.panelsSeen == 1) {
        if (owner != nullptr) {
            fail("the panel at start-up has an owner");
        }
    } else {
        if (owner != mainWindow) {
            fail("the panel opened by \"VFO\" is not owned by the main window");
        }
        if (IsWindowEnabled(mainWindow)) {
            fail("the main window is enabled while the panel is open");
        }
    }
    InterlockedExchange(&sim->keyed, 1);
    op.phase = Phase::waitKeyed;
    op.since = GetTickCount();
}

void onOpenPanel(HWND panel)
{
    int opening = run.panelsSeen - 1;
    switch (op.phase) {
    case Phase::waitKeyed:
        if (radioState.txActive != 0) {
            op.transmit = displayBrush(panel);
            InterlockedExchange(&sim->keyed, 0);
            op.phase = Phase::waitUnkeyed;
            op.since = GetTickCount();
        }
        break;
    case Phase::waitUnkeyed:
        if (radioState.txActive == 0) {
            op.receive = displayBrush(panel);
            if (brushColour(op.transmit) != transmitColour) {
                fail("the display is not painted with the transmit brush while keyed");
            }
            if (brushColour(op.receive) != receiveColour) {
                fail("the display is not painted with the receive brush while receiving");
            }
            pressButtons(panel, opening);
            if (run.panelsSeen > 1 + cleanOpenings) {
                plantLeaks();
            }
            closePanel(panel, opening);
            op.phase = Phase::closing;
            op.since = GetTickCount();
        }
        break;
    case Phase::closing:
        break;
    }
    if (GetTickCount() - op.since > phasePatienceMs) {
        fail(op.phase == Phase::waitKeyed     ? "the display never followed the keyed transmitter"
             : op.phase == Phase::waitUnkeyed ? "the display never followed the released transmitter"
                                              : "the panel did not close");
        InterlockedExchange(&sim->keyed, 0);
        EndDialog(panel, 1);
        op.phase = Phase::closing;
        op.since = GetTickCount();
    }
}

// The panel has closed and the main loop runs: check what the panel left.
void checkTeardown()
{
    if (IsWindow(op.panel)) {
        fail("the panel window still exists after closing");
    }
    if (op.transmit == nullptr || op.receive == nullptr || op.transmit == op.receive) {
        fail("the panel did not hand out two brushes");
    } else {
        if (GetObjectType(op.transmit) != 0) {
            fail("the transmit brush outlived the panel");
        }
        if (GetObjectType(op.receive) != 0) {
            fail("the receive brush outlived the panel");
        }
    }
    if (!IsWindowEnabled(mainWindow)) {
        fail("the main window stays disabled after the panel closed");
    }
    op.panel = nullptr;
    ++run.panelsChecked;
}

void finish(const char *why)
{
    if (why != nullptr) {
        run.failures.push_back(why);
    }
    if (!op.exitPosted) {
        op.exitPosted = true;
        PostMessageA(mainWindow, WM_COMMAND, IDM_EXIT, 0);
    }
}

// In the main loop between openings: count, then open the next or end.
void onMainWindow()
{
    if (op.panel != nullptr) {
        checkTeardown();
    }
    int vfoDone = run.panelsSeen - 1;  // openings through "VFO" so far
    if (vfoDone == warmUpOpenings) {
        run.baseline = stress::countNow();
    }
    if (vfoDone == cleanOpenings / 2) {
        run.halfway = stress::countNow();
    }
    if (vfoDone == cleanOpenings) {
        run.afterClean = stress::countNow();
    }
    if (vfoDone == cleanOpenings + plantedOpenings) {
        run.afterPlanted = stress::countNow();
        freePlanted();
        run.afterCleanup = stress::countNow();
        run.countedAll = true;
        finish(nullptr);
        return;
    }
    op.awaitingPanel = true;
    op.since = GetTickCount();
    PostMessageA(mainWindow, WM_COMMAND, IDM_VFO, 0);
}

void CALLBACK operatorTick(HWND, UINT, UINT_PTR, DWORD)
{
    // Nothing here pumps messages, so the callback never runs inside itself.
    if (op.exitPosted) {
        return;
    }
    FindPanel found = {nullptr, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), matchPanel, reinterpret_cast<LPARAM>(&found));
    if (found.errorBox != nullptr) {
        char title[64] = "";
        GetWindowTextA(found.errorBox, title, sizeof title);
        fail(std::string("a message box appeared: \"") + title + "\"");
        PostMessageA(found.errorBox, WM_COMMAND, IDOK, 0);
    }
    if (faults != 0 || GetTickCount() - op.startedAt > runPatienceMs) {
        if (found.panel != nullptr) {
            EndDialog(found.panel, 1);
        }
        finish(faults != 0 ? "the run stopped at the first exception" : "the run took too long");
    } else if (found.panel != nullptr) {
        if (found.panel != op.panel) {
            if (op.panel != nullptr) {
                fail("a new panel appeared before the last one was seen to close");
            }
            onNewPanel(found.panel);
        }
        onOpenPanel(found.panel);
    } else if (op.panel != nullptr && IsWindow(op.panel)) {
        // Closed but not yet destroyed: the modal loop is still unwinding.
        if (GetTickCount() - op.since > phasePatienceMs) {
            finish("the closed panel was never destroyed");
        }
    } else if (op.panel != nullptr && IsWindow(op.panel)) {
        // Closed but not yet destroyed: the modal loop is still unwinding.
        if (GetTickCount() - op.since > phasePatienceMs) {
            finish("the closed panel was never destroyed");
        }
    } else if (mainWindow != nullptr && IsWindowVisible(mainWindow)) {
        if (!op.awaitingPanel) {
            onMainWindow();
        } else if (GetTickCount() - op.since > phasePatienceMs) {
            finish("\"VFO\" did not open the panel");
        }
    }
}

const RunResult &theRun()
{
    static bool done = false;
    if (!done) {
        done = true;
        HANDLE mapping = nullptr;
        sim = qdSimOpen(true, &mapping);
        if (sim == nullptr) {
            run.failures.push_back("the simulator's shared memory could not be opened");
            return run;
        }
        op.startedAt = GetTickCount();
        PVOID handler = AddVectoredExceptionHandler(1, noteFault);
        UINT_PTR timer = SetTimer(nullptr, 0, 5, operatorTick);
        DWORD start = GetTickCount();
        run.exitCode = appMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL);
        run.seconds = (GetTickCount() - start) / 1000.0;
        KillTimer(nullptr, timer);
        RemoveVectoredExceptionHandler(handler);
        freePlanted();
        std::printf("%d panels in %.1f s\n", run.panelsSeen, run.seconds);
        std::printf("after %d openings:  %s\n", warmUpOpenings, stress::describe(run.baseline).c_str());
        std::printf("after %d openings:  %s\n", cleanOpenings / 2, stress::describe(run.halfway).c_str());
        std::printf("after %d openings:  %s\n", cleanOpenings, stress::describe(run.afterClean).c_str());
        std::printf("%d planted leaks:   %s\n", plantedOpenings, stress::describe(run.afterPlanted).c_str());
        std::printf("planted ones freed: %s\n", stress::describe(run.afterCleanup).c_str());
        qdSimClose(sim, mapping);
    }
    return run;
}

TEST(PanelOpenings, EveryOpeningIsTornDownCompletely)
{
    const RunResult &r = theRun();
    constexpr size_t shown = 10;
    for (size_t i = 0; i < r.failures.size() && i < shown; ++i) {
        ADD_FAILURE() << r.failures[i];
    }
    if (r.failures.size() > shown) {
        ADD_FAILURE() << "... and " << r.failures.size() - shown << " more";
    }
    EXPECT_EQ(faults, 0) << "exceptions during the run, the first 0x" << std::hex << firstFault;
    EXPECT_EQ(r.panelsSeen, 1 + cleanOpenings + plantedOpenings);
    EXPECT_EQ(r.panelsChecked, r.panelsSeen);
}

// Under parallel load the platform now and then creates a few GDI objects of
// its own, at any time (seen: 3), which is not a leak of ours.
constexpr int platformSlack = 8;

TEST(PanelOpenings, TwoHundredOpeningsThroughVfoLeaveNothingBehind)
{
    const RunResult &r = theRun();
    ASSERT_TRUE(r.countedAll) << "the run did not get to the last count";
    // A leak in the panel's opening or teardown grows the GDI count by 200 or
    // more over these openings.
    EXPECT_LE(r.afterClean.gdi - r.baseline.gdi, platformSlack) << "GDI objects grew over the openings";
    EXPECT_EQ(r.afterClean.handles, r.baseline.handles) << "kernel handles grew over the openings";
    EXPECT_EQ(r.afterClean.windows, r.baseline.windows) << "windows grew over the openings";
}

// The counts are only worth something if they see a leak: one brush, one
// event and one window left behind per opening.
TEST(PanelOpenings, TheCountsSeeAPlantedLeak)
{
    const RunResult &r = theRun();
    ASSERT_TRUE(r.countedAll) << "the run did not get to the last count";
    EXPECT_GE(r.afterPlanted.gdi - r.afterClean.gdi, plantedOpenings);
    EXPECT_LE(r.afterPlanted.gdi - r.afterClean.gdi, plantedOpenings + platformSlack);
    EXPECT_EQ(r.afterPlanted.handles - r.afterClean.handles, plantedOpenings);
    EXPECT_EQ(r.afterPlanted.windows - r.afterClean.windows, plantedOpenings);
    EXPECT_LE(r.afterCleanup.gdi - r.afterClean.gdi, platformSlack);
    EXPECT_LE(r.afterCleanup.gdi, r.afterPlanted.gdi - plantedOpenings) << "the planted brushes were not all freed";
    EXPECT_EQ(r.afterCleanup.handles, r.afterClean.handles);
    EXPECT_EQ(r.afterCleanup.windows, r.afterClean.windows);
}

TEST(PanelOpenings, AvslutaEndsTheProgramWithZero)
{
    const RunResult &r = theRun();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(IsWindow(mainWindow));
}

bool underWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Returns -1 when this process already runs with its windows unmanaged (or
// not under Wine); otherwise sets that up and returns the exit code of a
// second run of the program.
int runUnmanaged()
{
    if (!underWine()) {
        return -1;
    }
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return -1;
    }
    const char *name = path;
    for (const char *p = path; *p; ++p) {
        if (*p == '\\' || *p == '/') {
            name = p + 1;
        }
    }
    std::string keyName = std::string("Software\\Wine\\AppDefaults\\") + name + "\\X11 Driver";
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyName.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return -1;
    }
    char value[8] = "";
    DWORD size = sizeof value - 1, type = 0;
    bool already = RegQueryValueExA(key, "Managed", nullptr, &type, reinterpret_cast<BYTE *>(value), &size) ==
                       ERROR_SUCCESS &&
                   type == REG_SZ && (value[0] == 'N' || value[0] == 'n');
    if (!already) {
        already = RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE *>("N"), 2) != ERROR_SUCCESS;
    }
    RegCloseKey(key);
    if (already) {
        return -1;
    }
    std::fflush(stdout);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string commandLine = GetCommandLineA();
    if (!CreateProcessA(path, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "could not run the program again: error %lu\n", GetLastError());
        return 1;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return static_cast<int>(code);
}

}  // namespace

int main(int argc, char **argv)
{
    int code = runUnmanaged();
    if (code >= 0) {
        return code;
    }
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--openings") == 0) {
            cleanOpenings = std::atoi(argv[i + 1]);
        }
    }
    if (cleanOpenings < 2 * warmUpOpenings) {
        std::fprintf(stderr, "usage: panel_openings.exe [--openings N], N >= %d\n", 2 * warmUpOpenings);
        return 2;
    }
    // A simulator of our own, so that parallel runs do not meet.
    char name[64];
    std::snprintf(name, sizeof name, "Local\\QD7150StressPanel-%lu", GetCurrentProcessId());
    SetEnvironmentVariableA(QD_SIM_NAME_VARIABLE, name);
    return RUN_ALL_TESTS();
}
