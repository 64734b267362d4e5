#include "ui/panel_tips.h"

#include <commctrl.h>

#include <cwchar>

#include "radio/channel_plan.h"
#include "radio/platform_seam.h"
#include "radio/port_library.h"
#include "radio/system_library.h"
#include "res/resource.h"
#include "scanner/scanner.h"

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
    {IDC_FREQUENCY_DISPLAY, nullptr},  // frequencyTip, composed from the state
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

const wchar_t frequencyTip[] = L"RX and TX frequency: type a digit or double-click to enter one; the wheel tunes";

// What the frequency display's tip says before its own tip, in this order:
// a port that reaches nothing, a transmitter that is not followed, a transmit
// frequency outside the band. One bit each.
enum FrequencyTipPart : unsigned {
    PortNotLoaded = 1,    // no io.dll: the port is silent
    PortWithoutOut = 2,   // io.dll without PortOut: the port is silent
    PortWithoutIn = 4,    // io.dll without PortIn: keying is never seen
    TransmitOutside = 8,  // the TX frequency lies outside the band
};

const struct {
    unsigned part;
    const wchar_t *text;
} frequencyTipParts[] = {
    {PortNotLoaded, L"Port silent: io.dll could not be loaded, and nothing reaches the transceiver.\r\n"
                    L"io.dll belongs beside qd7150.exe, or in the Windows system folder "
                    L"(Windows\\SysWOW64 on 64-bit Windows)."},
    {PortWithoutOut, L"Port silent: io.dll has no PortOut, and nothing reaches the transceiver."},
    {PortWithoutIn, L"io.dll has no PortIn: the transmitter is not followed, and the scan hears no signal."},
    {TransmitOutside, L"TX outside the band, 144.000-146.000 MHz: the transmitter will not be moved there."},
};

using InitCommonControlsExProc = BOOL(WINAPI *)(const INITCOMMONCONTROLSEX *);

InitCommonControlsExProc initCommonControls;  // comctl32's, once bound
HWND tipControl;                              // the open panel's tooltip control
HWND tipPanel;                                // the panel whose tools it holds
unsigned frequencyTipShown;                   // the parts the frequency display's tip carries

// The parts the frequency display's tip must carry now. The port library's
// slots are what decides: they are empty when nothing reaches the port.
unsigned currentFrequencyTipParts()
{
    unsigned parts = 0;
    if (PortOut == nullptr && portLibrary == nullptr) {
        parts |= PortNotLoaded;
    } else {
        if (PortOut == nullptr) {
            parts |= PortWithoutOut;
        }
        if (PortIn == nullptr) {
            parts |= PortWithoutIn;
        }
    }
    if (!isBandChannel(shownTransmitChannel())) {
        parts |= TransmitOutside;
    }
    return parts;
}

// The tip of `parts`, one line each, then the display's own tip.
void composeFrequencyTip(wchar_t *text, size_t size, unsigned parts)
{
    text[0] = L'\0';
    for (const auto &part : frequencyTipParts) {
        if (parts & part.part) {
            std::wcsncat(text, part.text, size - std::wcslen(text) - 1);
            std::wcsncat(text, L"\r\n", size - std::wcslen(text) - 1);
        }
    }
    std::wcsncat(text, frequencyTip, size - std::wcslen(text) - 1);
}

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
    tipPanel = dialog;
    // A tooltip control keeps the line breaks of a tip only once it has a
    // greatest width: half the screen's, past which a line wraps.
    SendMessageW(tipControl, TTM_SETMAXTIPWIDTH, 0, GetSystemMetrics(SM_CXSCREEN) / 2);
    for (const PanelTip &tip : panelTips) {
        HWND control = GetDlgItem(dialog, tip.id);
        if (control == nullptr) {
            continue;
        }
        const wchar_t *text = tip.text != nullptr ? tip.text : frequencyTip;
        addWindowTool(dialog, control, text);
        // A display takes the mouse itself only if it was given SS_NOTIFY;
        // otherwise the dialog gets it, over the display's rectangle.
        if (isDisplay(tip.id)) {
            addAreaTool(dialog, control, tip.id, text);
        }
    }
    frequencyTipShown = 0;
    updateFrequencyTip();
}

void updateFrequencyTip()
{
    unsigned parts = currentFrequencyTipParts();
    if (tipControl == nullptr || parts == frequencyTipShown) {
        return;
    }
    wchar_t text[512];
    composeFrequencyTip(text, sizeof text / sizeof text[0], parts);
    // The display's two tools: the control itself, and its rectangle on the panel.
    TTTOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = tipPanel;
    tool.lpszText = text;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(tipPanel, IDC_FREQUENCY_DISPLAY));
    SendMessageW(tipControl, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    tool.uId = IDC_FREQUENCY_DISPLAY;
    SendMessageW(tipControl, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    frequencyTipShown = parts;
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
    tipPanel = nullptr;
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
