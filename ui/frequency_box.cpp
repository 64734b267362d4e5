#include "ui/frequency_box.h"

#include <cstring>

#include "radio/frequency_entry.h"
#include "radio/radio_state.h"
#include "res/resource.h"
#include "ui/panel_commands.h"
#include "ui/panel_tips.h"

namespace {

constexpr int maxEntryLength = 40;  // longer than any frequency, with room for blanks

const char transmittingLine[] = "The transmitter is keyed: release it, then press OK.";

struct BoxStart {
    const char *text;
    bool selectAll;
};

FrequencyEntry readField(HWND box)
{
    char text[maxEntryLength + 1] = "";
    GetDlgItemTextA(box, IDC_ENTRY_FIELD, text, sizeof text);
    return readFrequencyEntry(text);
}

void showEntryLine(HWND box)
{
    char line[160];
    describeFrequencyEntry(line, sizeof line, readField(box));
    SetDlgItemTextA(box, IDC_ENTRY_LINE, line);
}

// Just below the panel, or above it where the screen ends below; where it
// ends on both sides, just below the frequency display. The display stays
// in sight.
void placeBesidePanel(HWND box, HWND panel)
{
    RECT p, b, d;
    GetWindowRect(panel, &p);
    GetWindowRect(box, &b);
    GetWindowRect(GetDlgItem(panel, IDC_FREQUENCY_DISPLAY), &d);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromWindow(panel, MONITOR_DEFAULTTONEAREST), &monitor)) {
        return;
    }
    const RECT &work = monitor.rcWork;
    int width = b.right - b.left, height = b.bottom - b.top;
    int y = p.bottom + height <= work.bottom ? p.bottom : p.top - height >= work.top ? p.top - height : d.bottom;
    int x = p.left;
    x = x + width > work.right ? work.right - width : x;
    y = y + height > work.bottom ? work.bottom - height : y;
    x = x < work.left ? work.left : x;
    y = y < work.top ? work.top : y;
    SetWindowPos(box, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR onInitDialog(HWND box, const BoxStart &start)
{
    placeBesidePanel(box, GetWindow(box, GW_OWNER));
    HWND field = GetDlgItem(box, IDC_ENTRY_FIELD);
    SendMessageA(field, EM_LIMITTEXT, maxEntryLength, 0);
    SetDlgItemTextA(box, IDC_ENTRY_FIELD, start.text);
    WPARAM length = std::strlen(start.text);
    SendMessageA(field, EM_SETSEL, start.selectAll ? 0 : length, static_cast<LPARAM>(length));
    showEntryLine(box);
    SetFocus(field);
    return FALSE;  // the focus is set
}

// A channel is selected and the box closes; anything else leaves the box
// open, the field as typed, and the line saying why.
void onOk(HWND box)
{
    FrequencyEntry entry = readField(box);
    if (radioState.txActive != 0) {
        SetDlgItemTextA(box, IDC_ENTRY_LINE, transmittingLine);
    } else if (entry.kind == EntryChannel) {
        onPanelChannelEntered(GetWindow(box, GW_OWNER), entry.channel);
        EndDialog(box, IDOK);
        return;
    } else {
        showEntryLine(box);
    }
    MessageBeep(MB_ICONEXCLAMATION);
    SetFocus(GetDlgItem(box, IDC_ENTRY_FIELD));
}

INT_PTR onCommand(HWND box, int id, int code)
{
    switch (id) {
    case IDOK:
        onOk(box);
        return TRUE;
    case IDCANCEL:
        EndDialog(box, IDCANCEL);
        return TRUE;
    case IDC_ENTRY_FIELD:
        if (code == EN_CHANGE) {
            showEntryLine(box);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK frequencyBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(box, *reinterpret_cast<const BoxStart *>(lParam));
    case WM_COMMAND:
        return onCommand(box, LOWORD(wParam), HIWORD(wParam));
    default:
        return FALSE;
    }
}

}  // namespace

void openFrequencyBox(HWND panel, const char *text, bool selectAll)
{
    BoxStart start = {text, selectAll};
    setPanelTipsActive(false);
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_FREQUENCY_BOX), panel, frequencyBoxProc,
                    reinterpret_cast<LPARAM>(&start));
    setPanelTipsActive(true);
}
