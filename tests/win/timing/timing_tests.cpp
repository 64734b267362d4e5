// The panel asks for a 1 ms system timer while it is open and gives it back
// when it closes, however often it is opened.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "ui/control_panel.h"
#include "ui/timer_resolution.h"

namespace {

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
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
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

}  // namespace
