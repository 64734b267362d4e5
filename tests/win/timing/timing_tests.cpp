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

void CALLBACK closePanel(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    HWND panel = FindWindowA("#32770", "QD-7150 Control");
    if (panel != nullptr) {
        PostMessageA(panel, WM_COMMAND, IDCANCEL, 0);
    }
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
