// The seam on Windows: the settle wait is Sleep, a control's text is set with
// SetDlgItemTextA.
#include <windows.h>

#include "radio/platform_seam.h"

namespace {

void winWait(unsigned ms)
{
    Sleep(ms);
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
