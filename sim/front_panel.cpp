// qd7150-sim.exe: the front panel of the simulated QD-7150. It shows the
// frequency the synthesizer is on and whether it receives or transmits, keys
// the transmitter while its PTT button is held, puts carriers on channels, and
// runs a band-activity generator. It holds the simulator's shared memory open
// for as long as it runs.
//
//   qd7150-sim.exe [--name MAPPING] [--carrier CH|MHZ]... [--activity] [--seed N] [--at X,Y]
#include "sim/sim_shared.h"

#include <string.h>

namespace {

enum {
    IdPtt = 101,
    IdActivity,
    IdChannelEdit,
    IdToggle,
    IdClearAll,
    IdCarrierList,
};
constexpr UINT_PTR refreshTimer = 1;
constexpr UINT refreshMs = 50;
constexpr int clientWidth = 400;
constexpr int clientHeight = 300;
const RECT displayRect = {10, 10, 390, 110};
const char panelClass[] = "QD7150SimPanel";

QdSimShared *sim;
HANDLE releaseEvent;
HFONT bigFont, smallFont, uiFont;
HWND activityBox, channelEdit, carrierList;
WNDPROC buttonProc;
bool pttHeld;

// What the display last showed, and the carrier words the list was built from.
struct Shown {
    LONG channel = -2, keyed = -1, signal = -1, loads = -1;
} shown;
LONG listed[QD_SIM_CHANNELS];
bool listValid;

// ---- band activity -------------------------------------------------------

// Repeater outputs 432..447 and a few simplex channels.
const int simplexChannels[] = {400, 404, 416, 424, 428};
constexpr int activityCount = 16 + sizeof simplexChannels / sizeof simplexChannels[0];
struct Station {
    int channel;
    bool on;
    ULONGLONG next;  // tick count of the next change
} stations[activityCount];
unsigned rng = 1;
bool generating;

unsigned nextRandom()
{
    rng ^= rng << 13;
    rng ^= rng >> 17;
    rng ^= rng << 5;
    return rng;
}

ULONGLONG randomMs(unsigned lo, unsigned hi)
{
    return lo + nextRandom() % (hi - lo + 1);
}

void startActivity()
{
    ULONGLONG now = qdSimMilliseconds();
    for (int i = 0; i < activityCount; ++i) {
        stations[i].channel = i < 16 ? 432 + i : simplexChannels[i - 16];
        stations[i].on = false;
        stations[i].next = now + randomMs(300, 15000);
    }
    generating = true;
}

void stopActivity()
{
    for (int ch = 0; ch < QD_SIM_CHANNELS; ++ch)
        qdSimSetCarrier(sim, ch, QD_SIM_CARRIER_ACTIVITY, false);
    generating = false;
}

void runActivity()
{
    ULONGLONG now = qdSimMilliseconds();
    for (Station &st : stations) {
        if (now < st.next)
            continue;
        st.on = !st.on;
        bool repeater = st.channel >= 432 && st.channel <= 447;
        if (st.on)
            st.next = now + (repeater ? randomMs(2000, 15000) : randomMs(1000, 8000));
        else
            st.next = now + (repeater ? randomMs(6000, 60000) : randomMs(15000, 90000));
        qdSimSetCarrier(sim, st.channel, QD_SIM_CARRIER_ACTIVITY, st.on);
    }
}

// ---- the display -----------------------------------------------------------

void paintDisplay(HDC dc)
{
    int w = displayRect.right - displayRect.left, h = displayRect.bottom - displayRect.top;
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateCompatibleBitmap(dc, w, h);
    HGDIOBJ oldBmp = SelectObject(mem, bmp);

    RECT r = {0, 0, w, h};
    HBRUSH bg = CreateSolidBrush(RGB(16, 24, 20));
    FillRect(mem, &r, bg);
    DeleteObject(bg);
    SetBkMode(mem, TRANSPARENT);

    bool tx = shown.keyed != 0;
    char text[64];
    if (shown.channel < 0)
        lstrcpyA(text, "---.---");
    else
        qdSimFrequencyText(shown.channel, text, sizeof text);
    SelectObject(mem, bigFont);
    SetTextColor(mem, tx ? RGB(255, 150, 110) : RGB(120, 255, 150));
    RECT fr = {12, 4, 290, 64};
    DrawTextA(mem, text, -1, &fr, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    SIZE extent;
    GetTextExtentPoint32A(mem, text, lstrlenA(text), &extent);

    SelectObject(mem, smallFont);
    SetTextColor(mem, RGB(170, 200, 180));
    RECT mr = {12 + extent.cx + 8, 4, 300, 56};
    DrawTextA(mem, "MHz", -1, &mr, DT_LEFT | DT_BOTTOM | DT_SINGLELINE);

    // RX / TX badge.
    RECT badge = {306, 14, 366, 48};
    HBRUSH b = CreateSolidBrush(tx ? RGB(200, 40, 30) : RGB(30, 120, 50));
    FillRect(mem, &badge, b);
    DeleteObject(b);
    SetTextColor(mem, RGB(255, 255, 255));
    DrawTextA(mem, tx ? "TX" : "RX", -1, &badge, DT_CENTER | DT_VCENTER | DT_SINGLELINE);

    // Channel, signal lamp and load count.
    SetTextColor(mem, RGB(170, 200, 180));
    if (shown.channel < 0)
        lstrcpyA(text, "no channel loaded");
    else
        wsprintfA(text, "channel %ld", shown.channel);
    RECT cr = {14, 66, 170, 94};
    DrawTextA(mem, text, -1, &cr, DT_LEFT | DT_VCENTER | DT_SINGLELINE);

    HBRUSH lamp = CreateSolidBrush(shown.signal ? RGB(255, 210, 40) : RGB(60, 60, 50));
    HGDIOBJ oldBrush = SelectObject(mem, lamp);
    HGDIOBJ oldPen = SelectObject(mem, GetStockObject(NULL_PEN));
    Ellipse(mem, 170, 72, 186, 88);
    SelectObject(mem, oldPen);
    SelectObject(mem, oldBrush);
    DeleteObject(lamp);
    RECT sr = {192, 66, 260, 94};
    SetTextColor(mem, shown.signal ? RGB(255, 210, 40) : RGB(110, 120, 110));
    DrawTextA(mem, "signal", -1, &sr, DT_LEFT | DT_VCENTER | DT_SINGLELINE);

    wsprintfA(text, "loads %ld", shown.loads);
    SetTextColor(mem, RGB(170, 200, 180));
    RECT lr = {260, 66, 366, 94};
    DrawTextA(mem, text, -1, &lr, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);

    BitBlt(dc, displayRect.left, displayRect.top, w, h, mem, 0, 0, SRCCOPY);
    SelectObject(mem, oldBmp);
    DeleteObject(bmp);
    DeleteDC(mem);
}

void refreshCarrierList()
{
    bool same = listValid;
    for (int ch = 0; ch < QD_SIM_CHANNELS && same; ++ch)
        same = listed[ch] == sim->carrier[ch];
    if (same)
        return;
    int top = static_cast<int>(SendMessageA(carrierList, LB_GETTOPINDEX, 0, 0));
    SendMessageA(carrierList, WM_SETREDRAW, FALSE, 0);
    SendMessageA(carrierList, LB_RESETCONTENT, 0, 0);
    for (int ch = 0; ch < QD_SIM_CHANNELS; ++ch) {
        LONG c = listed[ch] = sim->carrier[ch];
        if (!c)
            continue;
        char f[32], line[80];
        qdSimFrequencyText(ch, f, sizeof f);
        wsprintfA(line, "%d   %s MHz%s", ch, f,
                  (c & QD_SIM_CARRIER_MANUAL) ? "" : "   (activity)");
        LRESULT i = SendMessageA(carrierList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
        SendMessageA(carrierList, LB_SETITEMDATA, i, ch);
    }
    SendMessageA(carrierList, LB_SETTOPINDEX, top, 0);
    SendMessageA(carrierList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(carrierList, nullptr, TRUE);
    listValid = true;
}

void refresh(HWND wnd)
{
    // The generator follows the shared flag, which simctl may set too.
    bool want = sim->activity != 0;
    if (want && !generating)
        startActivity();
    else if (!want && generating)
        stopActivity();
    if (generating)
        runActivity();
    if ((SendMessageA(activityBox, BM_GETCHECK, 0, 0) == BST_CHECKED) != want)
        SendMessageA(activityBox, BM_SETCHECK, want ? BST_CHECKED : BST_UNCHECKED, 0);

    Shown now;
    now.channel = sim->channel;
    now.keyed = sim->keyed != 0;
    now.signal = qdSimHasCarrier(sim, now.channel);
    now.loads = sim->loads;
    if (memcmp(&now, &shown, sizeof now) != 0) {
        shown = now;
        InvalidateRect(wnd, &displayRect, FALSE);
    }
    refreshCarrierList();
}

// ---- controls ---------------------------------------------------------------

void setKeyed(bool on)
{
    pttHeld = on;
    InterlockedExchange(&sim->keyed, on ? 1 : 0);
}

// The PTT button keys the transmitter while the mouse button (or the space
// bar) is held down on it.
LRESULT CALLBACK pttProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        setKeyed(true);
        break;
    case WM_LBUTTONUP: {
        LRESULT r = CallWindowProcA(buttonProc, wnd, msg, wp, lp);
        if (pttHeld)
            setKeyed(false);
        return r;
    }
    case WM_CAPTURECHANGED:
        // Pressed again while it still holds the capture (a press whose
        // release went with the focus): Wine tells the button that it takes
        // the capture it already has. It keeps it, so the PTT stays held.
        if (reinterpret_cast<HWND>(lp) == wnd)
            break;
        if (pttHeld)
            setKeyed(false);
        break;
    case WM_KILLFOCUS:
        if (pttHeld)
            setKeyed(false);
        break;
    case WM_KEYDOWN:
        if (wp == VK_SPACE && !(lp & (1 << 30)))
            setKeyed(true);
        break;
    case WM_KEYUP:
        if (wp == VK_SPACE && pttHeld)
            setKeyed(false);
        break;
    }
    return CallWindowProcA(buttonProc, wnd, msg, wp, lp);
}

HWND makeControl(HWND parent, const char *cls, const char *text, DWORD style, int x, int y,
                 int w, int h, int id, DWORD exStyle = 0)
{
    HWND c = CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                             parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleA(nullptr), nullptr);
    SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(uiFont), TRUE);
    return c;
}

void createControls(HWND wnd)
{
    HWND ptt = makeControl(wnd, "BUTTON", "PTT  (hold to transmit)", BS_PUSHBUTTON | WS_TABSTOP,
                           10, 120, 200, 36, IdPtt);
    buttonProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(ptt, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pttProc)));
    activityBox = makeControl(wnd, "BUTTON", "Band activity", BS_AUTOCHECKBOX | WS_TABSTOP,
                              230, 128, 150, 20, IdActivity);
    makeControl(wnd, "STATIC", "Carrier on channel or MHz:", SS_LEFT, 10, 170, 170, 18, 0);
    channelEdit = makeControl(wnd, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, 180, 167, 80, 22,
                              IdChannelEdit, WS_EX_CLIENTEDGE);
    makeControl(wnd, "BUTTON", "On / off", BS_DEFPUSHBUTTON | WS_TABSTOP, 266, 166, 60, 24,
                IdToggle);
    makeControl(wnd, "BUTTON", "Clear", BS_PUSHBUTTON | WS_TABSTOP, 330, 166, 60, 24, IdClearAll);
    carrierList = makeControl(wnd, "LISTBOX", "",
                              LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP, 10,
                              198, 380, 92, IdCarrierList, WS_EX_CLIENTEDGE);
}

void toggleCarrierFromEdit(HWND wnd)
{
    char text[64];
    GetWindowTextA(channelEdit, text, sizeof text);
    int ch = qdSimParseChannel(text);
    if (ch < 0) {
        MessageBeep(MB_ICONWARNING);
        SetFocus(channelEdit);
        return;
    }
    bool on = !(sim->carrier[ch] & QD_SIM_CARRIER_MANUAL);
    qdSimSetCarrier(sim, ch, QD_SIM_CARRIER_MANUAL, on);
    refresh(wnd);
}

LRESULT CALLBACK panelProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        createControls(wnd);
        SetTimer(wnd, refreshTimer, refreshMs, nullptr);
        refresh(wnd);
        return 0;
    case WM_TIMER:
        if (WaitForSingleObject(releaseEvent, 0) == WAIT_OBJECT_0)
            DestroyWindow(wnd);
        else
            refresh(wnd);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IdActivity:
            InterlockedExchange(&sim->activity,
                                SendMessageA(activityBox, BM_GETCHECK, 0, 0) == BST_CHECKED);
            refresh(wnd);
            break;
        case IdToggle:
        case IDOK:  // Enter in the edit box
            toggleCarrierFromEdit(wnd);
            break;
        case IdClearAll:
            for (int ch = 0; ch < QD_SIM_CHANNELS; ++ch)
                qdSimSetCarrier(sim, ch, QD_SIM_CARRIER_MANUAL, false);
            refresh(wnd);
            break;
        case IdCarrierList:
            if (HIWORD(wp) == LBN_DBLCLK) {
                // Double click: take the hand-set carrier off that channel.
                LRESULT i = SendMessageA(carrierList, LB_GETCURSEL, 0, 0);
                if (i != LB_ERR) {
                    int ch = static_cast<int>(SendMessageA(carrierList, LB_GETITEMDATA, i, 0));
                    qdSimSetCarrier(sim, ch, QD_SIM_CARRIER_MANUAL, false);
                    refresh(wnd);
                }
            }
            break;
        }
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        paintDisplay(dc);
        EndPaint(wnd, &ps);
        return 0;
    }
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_DESTROY:
        KillTimer(wnd, refreshTimer);
        if (pttHeld)
            setKeyed(false);
        if (generating)
            stopActivity();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

int windowX = CW_USEDEFAULT;  // the window's place on the screen, if given
int windowY = CW_USEDEFAULT;

// Reads the options; false on an unknown one or a bad value.
bool parseOptions(int argc, char **argv, bool *activity)
{
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        bool hasValue = i + 1 < argc;
        if (!strcmp(a, "--activity")) {
            *activity = true;
        } else if (!strcmp(a, "--name") && hasValue) {
            SetEnvironmentVariableA(QD_SIM_NAME_VARIABLE, argv[++i]);
        } else if (!strcmp(a, "--seed") && hasValue) {
            rng = static_cast<unsigned>(strtoul(argv[++i], nullptr, 10));
            if (!rng)
                rng = 1;
        } else if (!strcmp(a, "--carrier") && hasValue) {
            ++i;  // applied once the shared memory is open
        } else if (!strcmp(a, "--at") && hasValue) {
            // Where the window opens, e.g. beside the control panel.
            if (sscanf(argv[++i], "%d,%d", &windowX, &windowY) != 2)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int show)
{
    rng = GetTickCount() | 1;
    bool activity = false;
    if (!parseOptions(__argc, __argv, &activity)) {
        MessageBoxA(nullptr,
                    "usage: qd7150-sim.exe [--name MAPPING] [--carrier CHANNEL|MHZ]... "
                    "[--activity] [--seed N] [--at X,Y]",
                    "QD-7150 simulator", MB_OK | MB_ICONERROR);
        return 2;
    }
    HANDLE mapping;
    sim = qdSimOpen(true, &mapping);
    if (!sim) {
        MessageBoxA(nullptr, "The simulator's shared memory cannot be opened.",
                    "QD-7150 simulator", MB_OK | MB_ICONERROR);
        return 1;
    }
    for (int i = 1; i + 1 < __argc; ++i) {
        if (!strcmp(__argv[i], "--carrier"))
            qdSimSetCarrier(sim, qdSimParseChannel(__argv[i + 1]), QD_SIM_CARRIER_MANUAL, true);
    }
    if (activity)
        InterlockedExchange(&sim->activity, 1);

    char name[256], eventName[300];
    wsprintfA(eventName, "%s.release", qdSimName(name, sizeof name));
    releaseEvent = CreateEventA(nullptr, TRUE, FALSE, eventName);
    ResetEvent(releaseEvent);

    NONCLIENTMETRICSA ncm = {};
    ncm.cbSize = sizeof ncm;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
    uiFont = CreateFontIndirectA(&ncm.lfMessageFont);
    bigFont = CreateFontA(-46, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY,
                          0, "Tahoma");
    smallFont = CreateFontA(-15, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                            ANTIALIASED_QUALITY, 0, "Tahoma");

    WNDCLASSA wc = {};
    wc.lpfnWndProc = panelProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = panelClass;
    if (!RegisterClassA(&wc))
        return 1;
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT r = {0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&r, style, FALSE);
    HWND wnd = CreateWindowA(panelClass, "QD-7150 simulator", style, windowX, windowY,
                             r.right - r.left, r.bottom - r.top, nullptr, nullptr, inst, nullptr);
    if (!wnd)
        return 1;
    ShowWindow(wnd, show);
    UpdateWindow(wnd);

    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(wnd, &m)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    CloseHandle(releaseEvent);
    qdSimClose(sim, mapping);
    DeleteObject(bigFont);
    DeleteObject(smallFont);
    DeleteObject(uiFont);
    return 0;
}
