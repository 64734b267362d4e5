// The panel asks for a 1 ms system timer while it is open and gives it back
// when it closes, however often it is opened; it opts out of Windows 11's
// throttling of hidden programs; its heartbeat is a timer that Windows may not
// coalesce, where Windows has such timers. Windows' calls are replaced by
// recorders in their slots.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "radio/platform_seam.h"
#include "res/resource.h"
#include "ui/control_panel.h"
#include "ui/timer_resolution.h"

namespace {

// The slots as the program fills them (constant initialization, before any
// test replaces them).
const auto systemBegin = beginTimerPeriod;
const auto systemEnd = endTimerPeriod;

std::vector<std::string> calls;

UINT WINAPI recordBegin(UINT ms)
{
    calls.push_back("begin " + std::to_string(ms));
    return 0;
}

UINT WINAPI recordEnd(UINT ms)
{
    calls.push_back("end " + std::to_string(ms));
    return 0;
}

// Ends this thread's panel only: other programs' panels may be open meanwhile.
BOOL CALLBACK closeOwnPanel(HWND window, LPARAM)
{
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    if (lstrcmpA(title, "QD-7150 Control") == 0) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return FALSE;
    }
    return TRUE;
}

void CALLBACK closePanel(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    EnumThreadWindows(GetCurrentThreadId(), closeOwnPanel, 0);
}

TEST(TimerResolution, RequestAndReleasePairUpAcrossOpenings)
{
    calls.clear();
    beginTimerPeriod = recordBegin;
    endTimerPeriod = recordEnd;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    std::vector<std::string> expected;

    // Modeless openings, destroyed directly.
    for (int i = 0; i < 3; ++i) {
        HWND panel = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_CONTROL_PANEL), nullptr, controlPanelProc, 0);
        ASSERT_NE(panel, nullptr);
        expected.push_back("begin 1");
        EXPECT_EQ(calls, expected) << "while open, opening " << i;
        DestroyWindow(panel);
        expected.push_back("end 1");
        EXPECT_EQ(calls, expected) << "after closing, opening " << i;
    }

    // Modal openings, ended as the operator ends them.
    for (int i = 0; i < 3; ++i) {
        SetTimer(nullptr, 0, 200, closePanel);
        INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CONTROL_PANEL), nullptr, controlPanelProc, 0);
        EXPECT_EQ(result, 1);
        expected.push_back("begin 1");
        expected.push_back("end 1");
        EXPECT_EQ(calls, expected) << "modal opening " << i;
    }
}

// What the panel asked of SetProcessInformation and SetCoalescableTimer.
struct ThrottlingCall {
    bool ownProcess;
    int informationClass;
    DWORD size;
    PowerThrottlingState state;
};
std::vector<ThrottlingCall> throttlingCalls;
BOOL throttlingAnswer;

BOOL WINAPI recordSetProcessInformation(HANDLE process, int informationClass, void *information, DWORD size)
{
    ThrottlingCall call = {process == GetCurrentProcess(), informationClass, size, {}};
    if (size == sizeof(PowerThrottlingState)) {
        call.state = *static_cast<PowerThrottlingState *>(information);
    }
    throttlingCalls.push_back(call);
    return throttlingAnswer;
}

struct TimerCall {
    HWND window;
    UINT_PTR id;
    UINT ms;
    ULONG tolerance;
};
std::vector<TimerCall> timerCalls;
bool timerRefused;

// Succeeds with a timer SetTimer makes, so that the panel ticks; or fails.
UINT_PTR WINAPI recordSetCoalescableTimer(HWND window, UINT_PTR id, UINT ms, TIMERPROC callback, ULONG tolerance)
{
    timerCalls.push_back({window, id, ms, tolerance});
    return timerRefused ? 0 : SetTimer(window, id, ms, callback);
}

int statusReads;
int WINAPI countStatusRead(int)
{
    ++statusReads;
    return 0;
}

// Lets the panel run for `ms`, with this thread's messages dispatched.
void runFor(DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
        Sleep(1);
    }
}

// Both opt-outs are asked for in calls of their own, each time the panel
// opens, and a refusal of either changes nothing else: the other is still
// asked for and the fine timer still requested. Without SetProcessInformation
// (before Windows 8) nothing is asked.
TEST(TimerResolution, OptsOutOfThrottlingInTwoCallsWhoseRefusalChangesNothing)
{
    const struct {
        const char *name;
        SetProcessInformationProc slot;
        BOOL answer;
        size_t calls;
    } cases[] = {
        {"Windows 11: both taken", recordSetProcessInformation, TRUE, 2},
        {"older Windows 10: both refused", recordSetProcessInformation, FALSE, 2},
        {"before Windows 8: no SetProcessInformation", nullptr, TRUE, 0},
    };
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const auto system = setProcessInformation;
    for (const auto &c : cases) {
        throttlingCalls.clear();
        calls.clear();
        setProcessInformation = c.slot;
        throttlingAnswer = c.answer;
        beginTimerPeriod = recordBegin;
        endTimerPeriod = recordEnd;
        HWND panel = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_CONTROL_PANEL), nullptr, controlPanelProc, 0);
        ASSERT_NE(panel, nullptr) << c.name;
        EXPECT_EQ(calls, std::vector<std::string>{"begin 1"}) << c.name;
        ASSERT_EQ(throttlingCalls.size(), c.calls) << c.name;
        const ULONG flags[] = {throttleIgnoreTimerResolution, throttleExecutionSpeed};
        for (size_t i = 0; i < throttlingCalls.size(); ++i) {
            const ThrottlingCall &t = throttlingCalls[i];
            EXPECT_TRUE(t.ownProcess) << c.name << ", call " << i;
            EXPECT_EQ(t.informationClass, processPowerThrottling) << c.name << ", call " << i;
            EXPECT_EQ(t.size, sizeof(PowerThrottlingState)) << c.name << ", call " << i;
            EXPECT_EQ(t.state.version, 1u) << c.name << ", call " << i;
            EXPECT_EQ(t.state.controlMask, flags[i]) << c.name << ", call " << i << ": one flag a call";
            EXPECT_EQ(t.state.stateMask, 0u) << c.name << ", call " << i << ": throttling off";
        }
        DestroyWindow(panel);
        EXPECT_EQ(calls, (std::vector<std::string>{"begin 1", "end 1"})) << c.name;
    }
    setProcessInformation = system;
}

// The heartbeat: SetCoalescableTimer with TIMERV_NO_COALESCING where Windows
// has it; SetTimer where it does not, or should it fail. Either way timer 1
// of the panel, every 10 ms, and the panel ticks.
TEST(Heartbeat, UncoalescedWhereWindowsHasItElseSetTimer)
{
    const struct {
        const char *name;
        SetCoalescableTimerProc slot;
        bool refused;
        size_t calls;
    } cases[] = {
        {"Windows 8 and later", recordSetCoalescableTimer, false, 1},
        {"SetCoalescableTimer refused", recordSetCoalescableTimer, true, 1},
        {"before Windows 8: SetTimer", nullptr, false, 0},
    };
    HINSTANCE instance = GetModuleHandleA(nullptr);
    beginTimerPeriod = recordBegin;
    endTimerPeriod = recordEnd;
    PortIn = countStatusRead;  // each tick reads the transmit line
    const auto system = setCoalescableTimer;
    for (const auto &c : cases) {
        timerCalls.clear();
        setCoalescableTimer = c.slot;
        timerRefused = c.refused;
        HWND panel = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_CONTROL_PANEL), nullptr, controlPanelProc, 0);
        ASSERT_NE(panel, nullptr) << c.name;
        ASSERT_EQ(timerCalls.size(), c.calls) << c.name;
        if (c.calls == 1) {
            EXPECT_EQ(timerCalls[0].window, panel) << c.name;
            EXPECT_EQ(timerCalls[0].id, panelTimerId) << c.name;
            EXPECT_EQ(timerCalls[0].ms, panelTimerMs) << c.name;
            EXPECT_EQ(timerCalls[0].tolerance, 0xFFFFFFFFu) << c.name << ": TIMERV_NO_COALESCING";
        }
        statusReads = 0;
        runFor(300);
        EXPECT_GE(statusReads, 5) << c.name << ": the panel does not tick";  // 30 at 10 ms
        DestroyWindow(panel);
        // The heartbeat was timer 1 of the panel: gone with it.
        int readsAfter = statusReads;
        runFor(100);
        EXPECT_EQ(statusReads, readsAfter) << c.name << ": ticks after the panel closed";
    }
    PortIn = nullptr;
    setCoalescableTimer = system;
}

// By default the slots reach winmm.dll, loaded from the system folder when
// the fine timer is first asked for.
TEST(TimerResolution, WinmmComesFromTheSystemFolder)
{
    beginTimerPeriod = systemBegin;
    endTimerPeriod = systemEnd;
    requestFineTimer();
    releaseFineTimer();
    HMODULE winmm = GetModuleHandleW(L"winmm.dll");
    ASSERT_NE(winmm, nullptr) << "winmm.dll was not loaded";
    wchar_t path[MAX_PATH] = L"", system[MAX_PATH] = L"";
    GetModuleFileNameW(winmm, path, MAX_PATH);
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(CompareStringOrdinal(path, static_cast<int>(length), system, static_cast<int>(length), TRUE),
              CSTR_EQUAL);
    EXPECT_EQ(lstrlenW(path), static_cast<int>(length) + 10) << "\\winmm.dll in the system folder";
    std::printf("SetCoalescableTimer %s, SetProcessInformation %s here\n",
                setCoalescableTimer ? "present" : "missing", setProcessInformation ? "present" : "missing");
}

}  // namespace
