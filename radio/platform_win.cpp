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

}  // namespace

void (*settleWait)(unsigned ms) = winWait;
void (*setControlText)(PanelWindow window, int id, const char *text) = winSetText;
