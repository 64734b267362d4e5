#include "ui/panel_tips.h"

#include <commctrl.h>

#include "radio/system_library.h"
#include "res/resource.h"

namespace {

struct PanelTip {
    int id;
    const wchar_t *text;
};

// The program is an ANSI program, but "«" and "→" are not in every ANSI code
// page: the tips are wide-character text, given to a wide-character tooltip
// control.
const PanelTip panelTips[] = {
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
    {IDC_SCAN, L"Scan: scanner halt \u2192 skip \u2192 off"},
    {IDC_SCAN_START, L"Start: this channel begins the scan range"},
    {IDC_SCAN_STOP, L"Stop: this channel ends the scan range"},
    {IDC_WATCH, L"Watch: this channel is the priority watch channel; again to clear"},
    {IDC_MODE, L"Mode: this channel's scan mode, on \u2192 jump \u2192 off"},
    {IDC_SCANNER_DISPLAY, L"Scanner: state, scan range, this channel's scan mode, watch channel"},
    {IDC_RESET, L"Reset: back to 145.600 MHz, duplex, 600 kHz shift, scanner off"},
};

using InitCommonControlsExProc = BOOL(WINAPI *)(const INITCOMMONCONTROLSEX *);

InitCommonControlsExProc initCommonControls;  // comctl32's, once bound
HWND tipControl;                              // the open panel's tooltip control

// Whether the tooltip class is registered: comctl32 from the system folder,
// bound and initialised once for the process and kept loaded.
bool tooltipClassReady()
{
    static int ready = -1;
    if (ready < 0) {
        INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_BAR_CLASSES};
        HMODULE library = loadSystemLibrary(L"comctl32.dll");
        ready = bindEntry(library, "InitCommonControlsEx", initCommonControls) && initCommonControls(&classes);
    }
    return ready == 1;
}

void addTool(TTTOOLINFOW &tool, const wchar_t *text)
{
    // The size that comctl32 5.8 (no visual styles, XP's default) accepts as
    // well as 6.0: 5.8 refuses the full size, which 6.0 brought.
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.lpszText = const_cast<wchar_t *>(text);
    SendMessageW(tipControl, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// A control that sees the mouse is a tool of its own.
void addWindowTool(HWND dialog, HWND control, const wchar_t *text)
{
    TTTOOLINFOW tool = {};
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    addTool(tool, text);
}

// A static without SS_NOTIFY lets the mouse through to the dialog: its tip is
// the dialog's, over the static's rectangle.
void addAreaTool(HWND dialog, HWND control, int id, const wchar_t *text)
{
    TTTOOLINFOW tool = {};
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = dialog;
    tool.uId = static_cast<UINT_PTR>(id);
    GetWindowRect(control, &tool.rect);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT *>(&tool.rect), 2);
    addTool(tool, text);
}

bool isDisplay(int id)
{
    return id == IDC_FREQUENCY_DISPLAY || id == IDC_SCANNER_DISPLAY || id == IDC_SHIFT_DISPLAY;
}

}  // namespace

void addPanelTips(HWND dialog)
{
    if (tipControl != nullptr || !tooltipClassReady()) {
        return;
    }
    // Owned by the panel, so that it sits above it and goes with it.
    tipControl = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                                 reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE)), nullptr);
    if (tipControl == nullptr) {
        return;
    }
    for (const PanelTip &tip : panelTips) {
        HWND control = GetDlgItem(dialog, tip.id);
        if (control == nullptr) {
            continue;
        }
        addWindowTool(dialog, control, tip.text);
        // A display takes the mouse itself only if it was given SS_NOTIFY;
        // otherwise the dialog gets it, over the display's rectangle.
        if (isDisplay(tip.id)) {
            addAreaTool(dialog, control, tip.id, tip.text);
        }
    }
}

// Windows destroys the windows a window owns before that window's WM_DESTROY,
// so the tooltip control is usually gone already when the panel closes; this
// destroys it where it is not.
void removePanelTips()
{
    if (tipControl != nullptr) {
        if (IsWindow(tipControl)) {
            DestroyWindow(tipControl);
        }
        tipControl = nullptr;
    }
}

void setPanelTipsActive(bool active)
{
    if (tipControl != nullptr) {
        if (!active) {
            SendMessageW(tipControl, TTM_POP, 0, 0);
        }
        SendMessageW(tipControl, TTM_ACTIVATE, active ? TRUE : FALSE, 0);
    }
}
