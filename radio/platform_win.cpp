// The seam on Windows: the settle wait is Sleep topped up on the performance
// counter, a control's text is set with SetDlgItemTextA, radio buttons are
// marked with CheckRadioButton.
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

void winCheckRadio(PanelWindow window, int first, int last, int id)
{
    CheckRadioButton(static_cast<HWND>(window), first, last, id);
}

}  // namespace

void (*settleWait)(unsigned ms) = winWait;
void (*setControlText)(PanelWindow window, int id, const char *text) = winSetText;
void (*checkRadioButton)(PanelWindow window, int first, int last, int id) = winCheckRadio;
