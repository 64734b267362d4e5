// The seam on Windows: the settle wait is Sleep topped up on the performance
// counter, a control's text is set with SetDlgItemTextA, radio buttons are
// marked with CheckRadioButton, the keyboard focus going with the mark.
#include <windows.h>

#include "radio/platform_seam.h"
#include "radio/settle_wait.h"

namespace {

void winSleep(unsigned ms)
{
    Sleep(ms);
}

int64_t performanceCounter()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int64_t performanceFrequency()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

void winWait(unsigned ms)
{
    static const SettleClock clock = {winSleep, performanceCounter, performanceFrequency()};
    settleFor(clock, ms);
}

void winSetText(PanelWindow window, int id, const char *text)
{
    SetDlgItemTextA(static_cast<HWND>(window), id, text);
}

// The keyboard focus goes with the mark: a group that holds the focus has it
// moved to the button marked, as the dialog moves it, so that it never rests
// on a button the program unmarked. A focus put back there later (the panel
// activated again, a box closed) would click that button on Windows.
void winCheckRadio(PanelWindow window, int first, int last, int id)
{
    HWND dialog = static_cast<HWND>(window);
    CheckRadioButton(dialog, first, last, id);
    HWND focus = GetFocus();
    HWND marked = GetDlgItem(dialog, id);
    if (dialog == nullptr || focus == nullptr || marked == nullptr || focus == marked ||
        GetAncestor(focus, GA_PARENT) != dialog) {
        return;
    }
    int focused = GetDlgCtrlID(focus);
    if (focused >= first && focused <= last) {
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(marked), TRUE);
    }
}

}  // namespace

void (*settleWait)(unsigned ms) = winWait;
void (*setControlText)(PanelWindow window, int id, const char *text) = winSetText;
void (*checkRadioButton)(PanelWindow window, int first, int last, int id) = winCheckRadio;
