#include "ui/control_panel.h"

#include <initializer_list>

#include "radio/channel_plan.h"
#include "radio/platform_seam.h"
#include "radio/radio_state.h"
#include "res/resource.h"
#include "scanner/scanner.h"
#include "ui/panel_commands.h"
#include "ui/panel_input.h"
#include "ui/panel_names.h"
#include "ui/panel_tips.h"
#include "ui/radio_groups.h"
#include "ui/timer_resolution.h"

namespace {

HBRUSH transmitBrush;       // background of the frequency display while keyed
HBRUSH receiveBrush;        // background of the frequency display while receiving
HBRUSH outsideBrush;        // its background while the TX frequency lies outside the band
HBRUSH keyedOutsideBrush;   // the same while keyed

void CALLBACK timerTick(HWND dialog, UINT, UINT_PTR, DWORD)
{
    onPanelTick(dialog);
    updateFrequencyTip();
}

// By default Windows runs a timer callback inside a handler that swallows any
// fault, so a fault in a tick would come back every 10 ms, perhaps between a
// data and a control write, where the same fault from a button ends the
// program. Turned off for the whole process where Windows offers it; older
// Windows (and Wine) refuses the setting, and the default stays.
void stopSwallowingTimerFaults()
{
    BOOL suppress = FALSE;
    SetUserObjectInformationW(GetCurrentProcess(), UOI_TIMERPROC_EXCEPTION_SUPPRESSION, &suppress,
                              sizeof suppress);
}

HICON loadProgramIcon(HWND dialog, int widthMetric, int heightMetric)
{
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
    return static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), 0));
}

// The first panel has no owner: it is the program's window in the taskbar and
// in Alt+Tab, and carries the program's icon there and in its caption. The
// two sizes are loaded once for the run and kept, so that no opening makes
// icons of its own.
void giveProgramIcon(HWND dialog)
{
    static HICON bigIcon = loadProgramIcon(dialog, SM_CXICON, SM_CYICON);
    static HICON smallIcon = loadProgramIcon(dialog, SM_CXSMICON, SM_CYSMICON);
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
}

INT_PTR onInitDialog(HWND dialog)
{
    requestFineTimer();
    transmitBrush = CreateSolidBrush(transmitColour);
    receiveBrush = CreateSolidBrush(receiveColour);
    outsideBrush = CreateSolidBrush(outsideBandColour);
    keyedOutsideBrush = CreateSolidBrush(keyedOutsideBandColour);
    initialisePanel(dialog);
    startPanelInput(dialog);
    InvalidateRect(dialog, nullptr, FALSE);
    stopSwallowingTimerFaults();
    startHeartbeat(dialog, panelTimerId, panelTimerMs, timerTick);
    giveProgramIcon(dialog);
    // What the operator needs to find the way round comes after the first
    // load: COM and comctl32 take their time to load on the first opening.
    groupRadioButtons(dialog);
    addPanelTips(dialog);
    namePanelButtons(dialog);
    return TRUE;  // focus to the first tab stop, the channel "<"
}

INT_PTR onCtlColorStatic(HDC dc, HWND control)
{
    if (GetDlgCtrlID(control) != IDC_FREQUENCY_DISPLAY) {
        return 0;
    }
    bool keyed = radioState.txActive != 0;
    COLORREF colour = keyed ? transmitColour : receiveColour;
    HBRUSH brush = keyed ? transmitBrush : receiveBrush;
    // The TX frequency the display names: while scanning, where a key-up would
    // transmit.
    if (!isBandChannel(shownTransmitChannel())) {
        colour = keyed ? keyedOutsideBandColour : outsideBandColour;
        brush = keyed ? keyedOutsideBrush : outsideBrush;
    }
    SetBkColor(dc, colour);
    SetTextColor(dc, displayTextColour);
    return reinterpret_cast<INT_PTR>(brush);
}

// The working's and the spacing's buttons, radio buttons each.
bool isRadioCommand(int id)
{
    switch (id) {
    case IDC_DUPLEX:
    case IDC_REV_DUP:
    case IDC_SIMPLEX:
    case IDC_SPACING_12K5:
    case IDC_SPACING_25K:
        return true;
    default:
        return false;
    }
}

// The marks as the radio state has them, where a button marked itself.
void showRadioState(HWND dialog)
{
    const RadioState &rs = radioState;
    // Any other working acts as simplex.
    int working = rs.duplexMode == 1 ? IDC_DUPLEX : rs.duplexMode == 3 ? IDC_REV_DUP : IDC_SIMPLEX;
    checkRadioButton(dialog, IDC_DUPLEX, IDC_SIMPLEX, working);
    if (rs.channelStep == 1 || rs.channelStep == 2) {
        checkRadioButton(dialog, IDC_SPACING_12K5, IDC_SPACING_25K,
                         rs.channelStep == 2 ? IDC_SPACING_25K : IDC_SPACING_12K5);
    }
}

// While keyed, another working moves the transmitter by the repeater shift:
// only the operator's own click, or Space, on the button gives one, and the
// same for the spacing. Windows itself clicks a radio button that gets the
// focus other than by a click (a focus put back as the panel is activated
// again), and other programs can send clicks: while keyed those change
// nothing, and a button that marked itself is unmarked again.
bool refusedWhileKeyed(HWND dialog, int id, HWND control)
{
    if (radioState.txActive == 0 || !isRadioCommand(id) || isOperatorsPress(control)) {
        return false;
    }
    showRadioState(dialog);
    return true;
}

// The panel has no OK button, and Enter is the panel's own (panel_input):
// IDOK, the dialog's Enter where that could not be taken, ends nothing.
INT_PTR onCommand(HWND dialog, int id, HWND control)
{
    switch (id) {
    case IDOK:
        return TRUE;
    case IDCANCEL:
        return TRUE;  // Escape: the panel stays (onClose)
    default:
        if (!refusedWhileKeyed(dialog, id, control)) {
            onPanelCommand(dialog, id);
        }
        return 0;
    }
}

// The close box, Alt+F4 and Close in the system menu end the panel: all three
// come as WM_CLOSE. The dialog would make IDCANCEL of it, as it does of Escape;
// taken here, it leaves IDCANCEL free to end nothing, so that a stray Escape
// never closes the panel and leaves the transmitter unfollowed, whether the
// panel's message hook is set or not.
INT_PTR onClose(HWND dialog)
{
    EndDialog(dialog, 1);
    return TRUE;
}

// The heartbeat and the keys stop first: nothing may act on a panel that is
// being taken apart. Then the names go, while their buttons still exist.
void onDestroy(HWND dialog)
{
    KillTimer(dialog, panelTimerId);
    stopPanelInput(dialog);
    clearPanelNames(dialog);
    removePanelTips();
    for (HBRUSH *brush : {&transmitBrush, &receiveBrush, &outsideBrush, &keyedOutsideBrush}) {
        DeleteObject(*brush);
        *brush = nullptr;
    }
    releaseFineTimer();
}

}  // namespace

INT_PTR CALLBACK controlPanelProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog);
    case WM_COMMAND:
        return onCommand(dialog, LOWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_CLOSE:
        return onClose(dialog);
    case WM_CTLCOLORSTATIC:
        return onCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_DESTROY:
        onDestroy(dialog);
        return 0;
    default:
        return FALSE;
    }
}
