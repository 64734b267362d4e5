// The control panel as the operator meets it: dialog 1101 built by the window
// system from the linked-in template with the real dialog procedure, the port
// slots and the settle wait replaced by recorders. The displays, radio marks,
// port traffic, colours, timer and teardown are all read back through Win32.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "radio/platform_seam.h"
#include "radio/port_library.h"
#include "radio/radio_state.h"
#include "scanner/channel_memory.h"
#include "ui/control_panel.h"
#include "ui/panel_names.h"

namespace {

// ---- Recorders in the port slots ------------------------------------------------

struct PortEvent {
    char kind;  // 'R' status read, 'W' port write, 'S' settle wait
    int port;   // R, W: the port; S: 0
    int value;  // W: the byte written (low 8 bits); S: milliseconds; R: 0
    bool operator==(const PortEvent &o) const { return kind == o.kind && port == o.port && value == o.value; }
};

void PrintTo(const PortEvent &e, std::ostream *os)
{
    char text[40];
    if (e.kind == 'W') {
        std::snprintf(text, sizeof text, "write(%d, 0x%02X)", e.port, e.value);
    } else if (e.kind == 'R') {
        std::snprintf(text, sizeof text, "read(%d)", e.port);
    } else {
        std::snprintf(text, sizeof text, "wait(%d)", e.value);
    }
    *os << text;
}

std::vector<PortEvent> traffic;  // everything the program did on the port, in order
int statusByte = 0;              // what PortIn answers

void PORT_CALL recordOut(int port, int value)
{
    traffic.push_back({'W', port, value & 0xFF});
}

int PORT_CALL recordIn(int port)
{
    traffic.push_back({'R', port, 0});
    return statusByte;
}

void recordWait(unsigned ms)
{
    traffic.push_back({'S', 0, static_cast<int>(ms)});
}

// Channels loaded so far, decoded from the data byte and the control byte that follows it.
std::vector<int> loadedChannels()
{
    std::vector<int> channels;
    int digits = -1;
    for (const PortEvent &e : traffic) {
        if (e.kind == 'W' && e.port == 888) {
            digits = e.value;
        } else if (e.kind == 'W' && e.port == 890 && digits >= 0) {
            channels.push_back(((e.value ^ 0x0B) & 0x0F) * 100 + (digits >> 4) * 10 + (digits & 0x0F));
            digits = -1;
        }
    }
    return channels;
}

constexpr PortEvent statusRead{'R', 889, 0};
constexpr PortEvent settle{'S', 0, 2};
constexpr PortEvent data(int v) { return {'W', 888, v}; }
constexpr PortEvent control(int v) { return {'W', 890, v}; }

// The transmit line looked at, the home load, then the reset's own 2 ms after
// refilling the channel memory.
const PortEvent resetTraffic[] = {statusRead, data(0x32), settle, control(0x0F), settle, settle};
// A step: the transmit line is sampled, then the channel is loaded.
const PortEvent step464[] = {statusRead, data(0x64), settle, control(0x0F), settle};
const PortEvent step432[] = {statusRead, data(0x32), settle, control(0x0F), settle};
const PortEvent step408[] = {statusRead, data(0x08), settle, control(0x0F), settle};
const PortEvent step304[] = {statusRead, data(0x04), settle, control(0x08), settle};
const PortEvent step434[] = {statusRead, data(0x34), settle, control(0x0F), settle};
const PortEvent step386[] = {statusRead, data(0x86), settle, control(0x08), settle};

struct Traffic {
    const PortEvent *events;
    size_t size;
};
template <size_t N>
constexpr Traffic of(const PortEvent (&events)[N])
{
    return {events, N};
}
constexpr Traffic none{nullptr, 0};
std::vector<PortEvent> expected(Traffic t)
{
    return std::vector<PortEvent>(t.events, t.events + t.size);
}

// ---- The panel through the window system ----------------------------------------

constexpr int keyed = 0x80;
constexpr int busy = 0x40;
const char homeFrequencies[] = "RX 145.600\n\nTX 145.000";
const char homeScanner[] = " Mode: Off\n\n145.000  -  145.800\nOn\nWatch: ";
const char unwritten[] = "?";  // put into the displays before a press
const int displayIds[] = {2112, 2101, 3004};

void resetProgram()
{
    radioState = RadioState();
    fillChannelMemory();
    traffic.clear();
    statusByte = 0;
    PortOut = recordOut;
    PortIn = recordIn;
    settleWait = recordWait;
}

HWND createPanel(DLGPROC proc)
{
    return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1101), nullptr, proc, 0);
}

std::string text(HWND dialog, int id)
{
    char buffer[256] = "";
    GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
    return buffer;
}

std::wstring wideText(HWND window)
{
    wchar_t buffer[256] = L"";
    GetWindowTextW(window, buffer, 256);
    return buffer;
}

void press(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The one checked button of first..last; 0 when none is, -1 when several are.
int checkedIn(HWND dialog, int first, int last)
{
    int found = 0;
    for (int id = first; id <= last; ++id) {
        if (IsDlgButtonChecked(dialog, id) == BST_CHECKED) {
            found = found == 0 ? id : -1;
        }
    }
    return found;
}

// Runs this thread's message loop for at least minMs, then until done() holds or
// maxMs have passed. The timer ticks only while this loop runs.
template <class Done>
bool pump(DWORD minMs, DWORD maxMs, Done done)
{
    ULONGLONG start = GetTickCount64();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed >= minMs && done()) {
            return true;
        }
        if (elapsed >= maxMs) {
            return done();
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void pumpFor(DWORD ms)
{
    pump(ms, ms, [] { return true; });
}

std::vector<HWND> children(HWND dialog)
{
    std::vector<HWND> found;
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        found.push_back(c);
    }
    return found;
}

class Panel : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetProgram();
        dialog = createPanel(controlPanelProc);
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override
    {
        if (IsWindow(dialog)) {
            DestroyWindow(dialog);
        }
    }
    void markDisplays()
    {
        for (int id : displayIds) {
            SetDlgItemTextA(dialog, id, unwritten);
        }
    }
    HWND dialog = nullptr;
};

// ---- 1. The controls as the platform created them -------------------------------

struct ControlRow {
    int id;
    const char *className;
    const wchar_t *text;
    DWORD style, exStyle;  // as the template gives them
    int x, y, cx, cy;      // dialog units
};

const ControlRow templateControls[] = {
    {2158, "Button", L"Frequency", 0x50000307, 0x201, 5, 0, 125, 85},
    {2112, "Static", L"145.600", 0x50821000, 0x200, 25, 10, 85, 45},
    {1106, "Button", L"<", 0x50010000, 0x1, 10, 10, 15, 15},
    {1107, "Button", L">", 0x50010000, 0x1, 110, 10, 15, 15},
    {1102, "Button", L"\u00AB", 0x50010000, 0x1, 10, 25, 15, 15},
    {1103, "Button", L"\u00BB", 0x50010000, 0x1, 110, 25, 15, 15},
    {1104, "Button", L"[", 0x50010000, 0x1, 10, 40, 15, 15},
    {1105, "Button", L"]", 0x50010000, 0x1, 110, 40, 15, 15},
    {2010, "Button", L"12.5 KHz", 0x50020009, 0x0, 10, 70, 45, 10},
    {2011, "Button", L"25 KHz", 0x50020009, 0x0, 60, 70, 39, 10},
    {2155, "Button", L"Repeater shift", 0x50000007, 0x1, 5, 85, 255, 30},
    {2000, "Button", L"duplex", 0x50020009, 0x0, 55, 95, 51, 15},
    {2001, "Button", L"Rev dup", 0x50020009, 0x0, 115, 95, 51, 15},
    {2002, "Button", L"Simplex", 0x50020009, 0x0, 10, 95, 40, 15},
    {3003, "Button", L"=", 0x50010000, 0x1, 165, 95, 15, 15},
    {3001, "Button", L"<", 0x50010000, 0x1, 180, 95, 15, 15},
    {3002, "Button", L">", 0x50010000, 0x1, 240, 95, 15, 15},
    {3004, "Static", L"-600.0KHz", 0x50821201, 0x0, 195, 95, 44, 15},
    {2159, "Button", L"Scanner", 0x50000307, 0x201, 135, 0, 165, 85},
    {1109, "Button", L"Scan", 0x50010000, 0x1, 270, 10, 25, 15},
    {2124, "Button", L"Start", 0x50010000, 0x1, 145, 15, 25, 15},
    {2125, "Button", L"Stop", 0x50010000, 0x1, 170, 15, 25, 15},
    {2126, "Button", L"Watch", 0x50010000, 0x1, 145, 30, 25, 15},
    {2130, "Button", L"Mode", 0x50010000, 0x1, 170, 30, 25, 15},
    {2101, "Static", L"Mode: Off", 0x50821000, 0x200, 205, 10, 65, 45},
    {1108, "Button", L"Reset", 0x50010000, 0x1, 270, 95, 25, 15},
    {-1, "Button", L"Channel", 0x50000007, 0x0, 140, 5, 60, 45},
};

// What the platform makes of a template item's styles. The dialog manager
// draws bordered items in the 3-D look (WS_BORDER becomes WS_EX_CLIENTEDGE) and
// gives every item WS_EX_NOPARENTNOTIFY; a modal frame brings WS_EX_WINDOWEDGE
// and a static with SS_SUNKEN adds WS_EX_STATICEDGE. Everything else is kept
// bit for bit, so any other difference is the template's.
DWORD createdStyle(const ControlRow &c)
{
    return c.style & ~static_cast<DWORD>(WS_BORDER);
}

DWORD createdExStyle(const ControlRow &c)
{
    DWORD ex = c.exStyle | WS_EX_NOPARENTNOTIFY;
    if (c.style & WS_BORDER) {
        ex |= WS_EX_CLIENTEDGE;
    }
    if (c.exStyle & WS_EX_DLGMODALFRAME) {
        ex |= WS_EX_WINDOWEDGE;
    }
    if (std::strcmp(c.className, "Static") == 0 && (c.style & SS_SUNKEN)) {
        ex |= WS_EX_STATICEDGE;
    }
    return ex;
}

// What the panel makes of the radio buttons as it opens: two keyboard groups,
// {12.5 KHz, 25 KHz} and {duplex, Rev dup, Simplex}, each begun by its first
// button, which is marked and so the group's tab stop; the control after each
// group begins a group of its own.
DWORD openedStyle(const ControlRow &c)
{
    switch (c.id) {
    case 2010:
    case 2000:
        return createdStyle(c) | WS_TABSTOP;
    case 2011:
    case 2001:
    case 2002:
        return createdStyle(c) & ~static_cast<DWORD>(WS_GROUP);
    case 2155:
    case 3003:
        return createdStyle(c) | WS_GROUP;
    default:
        return createdStyle(c);
    }
}

// Checks every created item against the template, or with `panelTexts` as the
// panel leaves it once it has opened.
void expectControls(HWND dialog, bool panelTexts)
{
    std::vector<HWND> items = children(dialog);
    ASSERT_EQ(items.size(), std::size(templateControls));
    for (size_t i = 0; i < items.size(); ++i) {
        const ControlRow &c = templateControls[i];
        HWND item = items[i];
        SCOPED_TRACE(testing::Message() << "item " << i + 1 << ", id " << c.id);
        EXPECT_EQ(GetDlgCtrlID(item), c.id);
        char className[64] = "";
        GetClassNameA(item, className, sizeof className);
        EXPECT_EQ(lstrcmpiA(className, c.className), 0) << className;

        DWORD style = static_cast<DWORD>(GetWindowLongA(item, GWL_STYLE));
        EXPECT_EQ(style, panelTexts ? openedStyle(c) : createdStyle(c)) << std::hex << style;
        DWORD ex = static_cast<DWORD>(GetWindowLongA(item, GWL_EXSTYLE));
        EXPECT_EQ(ex, createdExStyle(c)) << std::hex << ex;

        if (panelTexts && c.id == 2112) {
            EXPECT_EQ(text(dialog, c.id), homeFrequencies);
        } else if (panelTexts && c.id == 2101) {
            EXPECT_EQ(text(dialog, c.id), homeScanner);
        } else {
            EXPECT_EQ(wideText(item), std::wstring(c.text));
        }

        // The dialog manager converts position and size separately, so each is
        // mapped on its own (mapping the right edge could round differently).
        RECT origin = {c.x, c.y, c.x, c.y};
        RECT size = {0, 0, c.cx, c.cy};
        MapDialogRect(dialog, &origin);
        MapDialogRect(dialog, &size);
        RECT placed;
        GetWindowRect(item, &placed);
        MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT *>(&placed), 2);
        EXPECT_EQ(placed.left, origin.left);
        EXPECT_EQ(placed.top, origin.top);
        EXPECT_EQ(placed.right - placed.left, size.right);
        EXPECT_EQ(placed.bottom - placed.top, size.bottom);
    }
}

INT_PTR CALLBACK templateOnlyProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

TEST(PanelTemplate, ItemsAsThePlatformCreatesThem)
{
    resetProgram();
    HWND dialog = createPanel(templateOnlyProc);
    ASSERT_NE(dialog, nullptr);
    expectControls(dialog, false);
    DestroyWindow(dialog);
}

TEST_F(Panel, ItemsAfterInitialisation)
{
    expectControls(dialog, true);
}

TEST_F(Panel, DialogCaptionAndStyle)
{
    EXPECT_EQ(wideText(dialog), std::wstring(L"QD-7150 Control"));
    // The template's style and extended style, with what the platform adds to
    // every dialog: the 3-D look and WS_EX_CONTROLPARENT, WS_CLIPSIBLINGS for a
    // top-level window and WS_EX_WINDOWEDGE for its caption frame.
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)), 0x80C80040u | DS_3DLOOK | WS_CLIPSIBLINGS);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE)),
              0x200u | WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE);
    RECT client;
    GetClientRect(dialog, &client);
    RECT units = {0, 0, 302, 115};
    MapDialogRect(dialog, &units);
    EXPECT_EQ(client.right, units.right);
    EXPECT_EQ(client.bottom, units.bottom);
}

// The width of an icon's image; 0 for no icon.
int iconWidth(HICON icon)
{
    ICONINFO info = {};
    if (icon == nullptr || !GetIconInfo(icon, &info)) {
        return 0;
    }
    BITMAP bm = {};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bm.bmWidth;
}

// The panel carries the program's icon at the system's two sizes, the same
// two icons at every opening (loaded once for the run).
TEST_F(Panel, CarriesTheProgramsIconAtBothSizes)
{
    auto icon = [&](HWND panel, WPARAM size) {
        return reinterpret_cast<HICON>(SendMessageA(panel, WM_GETICON, size, 0));
    };
    HICON big = icon(dialog, ICON_BIG), small_ = icon(dialog, ICON_SMALL);
    EXPECT_EQ(iconWidth(big), GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(iconWidth(small_), GetSystemMetrics(SM_CXSMICON));
    EXPECT_NE(big, small_);

    DestroyWindow(dialog);
    dialog = createPanel(controlPanelProc);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(icon(dialog, ICON_BIG), big);
    EXPECT_EQ(icon(dialog, ICON_SMALL), small_);
    EXPECT_EQ(iconWidth(big), GetSystemMetrics(SM_CXICON)) << "the icon was destroyed with the panel";
}

// ---- 2. Initialisation ------------------------------------------------------------

TEST_F(Panel, OpeningLoadsHomeAndShowsTheStartValues)
{
    EXPECT_EQ(traffic, expected(of(resetTraffic)));
    EXPECT_EQ(text(dialog, 2112), homeFrequencies);
    EXPECT_EQ(text(dialog, 2101), homeScanner);
    EXPECT_EQ(text(dialog, 3004), "-600.0KHz");
    EXPECT_EQ(checkedIn(dialog, 2000, 2002), 2000);
    EXPECT_EQ(checkedIn(dialog, 2010, 2011), 2010);
    EXPECT_EQ(radioState.channel, 432);
    EXPECT_EQ(radioState.duplexMode, 1);
    EXPECT_EQ(radioState.channelStep, 1);
    EXPECT_EQ(radioState.shiftChannels, 48);
    EXPECT_EQ(radioState.scanState, 1);
}

TEST(PanelOpening, StartsOverButKeepsRangeAndWatch)
{
    resetProgram();
    RadioState &rs = radioState;
    rs.channel = 300;
    rs.duplexMode = 3;
    rs.channelStep = 2;
    rs.shiftChannels = 10;
    rs.scanState = 2;
    rs.scanLow = 400;
    rs.scanHigh = 440;
    rs.watchChannel = 408;
    setChannelScanMode(432, ModeOff);
    HWND dialog = createPanel(controlPanelProc);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(rs.channel, 432);
    EXPECT_EQ(rs.duplexMode, 1);
    EXPECT_EQ(rs.channelStep, 1);
    EXPECT_EQ(rs.shiftChannels, 48);
    EXPECT_EQ(rs.scanState, 1);
    EXPECT_EQ(isModeOn(432), 1);
    EXPECT_EQ(text(dialog, 2101), " Mode: Off\n\n145.200  -  145.700\nOn\nWatch\xB4: 145.300");
    DestroyWindow(dialog);
}

// ---- 3. Commands ------------------------------------------------------------------

struct CommandCase {
    const char *what;
    int channel;       // selected before anything is pressed
    int setup[3];      // buttons pressed first, unrecorded (0 ends the list)
    int id;            // the button under test
    Traffic traffic;   // port traffic of that press
    int channelAfter;
    const char *frequencies;  // 2112 afterwards; nullptr: not written
    const char *scanner;      // 2101 afterwards; nullptr: not written
    const char *shift;        // 3004 afterwards; nullptr: not written
    int duplexMark, spacingMark;
};

const CommandCase commandCases[] = {
    {"> at 463, 25 kHz", 463, {2011}, 1107, of(step464), 464, "RX 146.000\n\nTX 145.400", homeScanner, nullptr, 2000, 2011},
    {"> at 432, 25 kHz, reverse duplex", 432, {2001, 2011}, 1107, of(step386), 434, "RX 145.025\n\nTX 145.625",
     homeScanner, nullptr, 2001, 2011},
    {"< at 433", 433, {}, 1106, of(step432), 432, homeFrequencies, homeScanner, nullptr, 2000, 2010},
    {"\xBB at 460", 460, {}, 1103, of(step464), 464, "RX 146.000\n\nTX 145.400", homeScanner, nullptr, 2000, 2010},
    {"\xBB at 400, simplex", 400, {2002}, 1103, of(step408), 408, "RX 145.300\n\nTX 145.300", homeScanner, nullptr,
     2002, 2010},
    {"\xAB at 306", 306, {}, 1102, of(step304), 304, "RX 144.000\n\nTX 143.400", homeScanner, nullptr, 2000, 2010},
    {"] loads nothing at once", 432, {}, 1105, none, 464, "RX 146.000\n\nTX 145.400", homeScanner, nullptr, 2000, 2010},
    {"[ loads nothing at once", 432, {}, 1104, none, 304, "RX 144.000\n\nTX 143.400", homeScanner, nullptr, 2000, 2010},
    {"Reset from 400, reverse duplex, 25 kHz, shift 49", 400, {2001, 2011, 3002}, 1108, of(resetTraffic), 432,
     homeFrequencies, homeScanner, "-600.0KHz", 2000, 2011},
    {"Start at 400", 400, {}, 2124, none, 400, nullptr, " Mode: Off\n\n145.200  -  145.800\nOn\nWatch: ", nullptr,
     2000, 2010},
    {"Stop at 440", 440, {}, 2125, none, 440, nullptr, " Mode: Off\n\n145.000  -  145.700\nOn\nWatch: ", nullptr,
     2000, 2010},
    {"Watch at 432", 432, {}, 2126, none, 432, nullptr, " Mode: Off\n\n145.000  -  145.800\nOn\nWatch\xB4: 145.600",
     nullptr, 2000, 2010},
    {"Watch twice clears", 432, {2126}, 2126, none, 432, nullptr, homeScanner, nullptr, 2000, 2010},
    {"Watch on 408 replaces 400", 400, {2126, 1103}, 2126, none, 408, nullptr,
     " Mode: Off\n\n145.000  -  145.800\nOn\nWatch\xB4: 145.300", nullptr, 2000, 2010},
    {"Mode: On to Jump", 432, {}, 2130, none, 432, nullptr, " Mode: Off\n\n145.000  -  145.800\nJump\nWatch: ",
     nullptr, 2000, 2010},
    {"Mode: Jump to Off", 432, {2130}, 2130, none, 432, nullptr, " Mode: Off\n\n145.000  -  145.800\nOff\nWatch: ",
     nullptr, 2000, 2010},
    {"Mode: Off to On", 432, {2130, 2130}, 2130, none, 432, nullptr, homeScanner, nullptr, 2000, 2010},
    {"duplex", 432, {2002}, 2000, none, 432, homeFrequencies, nullptr, nullptr, 2000, 2010},
    {"Rev dup", 432, {}, 2001, none, 432, "RX 145.000\n\nTX 145.600", nullptr, nullptr, 2001, 2010},
    {"Simplex", 432, {}, 2002, none, 432, "RX 145.600\n\nTX 145.600", nullptr, nullptr, 2002, 2010},
    {"25 KHz", 432, {}, 2011, none, 432, homeFrequencies, nullptr, nullptr, 2000, 2011},
    {"12.5 KHz", 432, {2011}, 2010, none, 432, homeFrequencies, nullptr, nullptr, 2000, 2010},
    {"shift <", 432, {}, 3001, none, 432, "RX 145.600\n\nTX 145.012", nullptr, "- 587.5KHz", 2000, 2010},
    {"shift >", 432, {}, 3002, none, 432, "RX 145.600\n\nTX 144.988", nullptr, "- 612.5KHz", 2000, 2010},
    {"= after two shift >", 432, {3002, 3002}, 3003, none, 432, homeFrequencies, nullptr, "- 600.0KHz", 2000, 2010},
};

TEST_F(Panel, Commands)
{
    for (const CommandCase &c : commandCases) {
        SCOPED_TRACE(c.what);
        DestroyWindow(dialog);
        resetProgram();
        dialog = createPanel(controlPanelProc);
        ASSERT_NE(dialog, nullptr);
        radioState.channel = c.channel;
        for (int id : c.setup) {
            if (id != 0) {
                press(dialog, id);
            }
        }
        traffic.clear();
        markDisplays();

        press(dialog, c.id);

        EXPECT_EQ(traffic, expected(c.traffic));
        EXPECT_EQ(radioState.channel, c.channelAfter);
        EXPECT_EQ(text(dialog, 2112), c.frequencies ? c.frequencies : unwritten);
        EXPECT_EQ(text(dialog, 2101), c.scanner ? c.scanner : unwritten);
        EXPECT_EQ(text(dialog, 3004), c.shift ? c.shift : unwritten);
        EXPECT_EQ(checkedIn(dialog, 2000, 2002), c.duplexMark);
        EXPECT_EQ(checkedIn(dialog, 2010, 2011), c.spacingMark);
    }
}

TEST_F(Panel, BandEndButtonsLeaveTheLoadToTheNextTick)
{
    const struct { int id, channel; } cases[] = {{1104, 304}, {1105, 464}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.id);
        traffic.clear();
        press(dialog, c.id);
        EXPECT_TRUE(loadedChannels().empty());
        ASSERT_TRUE(pump(0, 5000, [] { return !loadedChannels().empty(); }));
        EXPECT_EQ(loadedChannels().front(), c.channel);
    }
}

struct ScanPress {
    const char *scanner;
    int scanState, duplexMode, duplexMark;
    const char *frequencies;
};

TEST_F(Panel, ScanCycle)
{
    const struct {
        int channel;
        ScanPress presses[3];
    } cases[] = {
        {440,
         // Scanning, the TX line names where a key-up would transmit: on a
         // repeater output, its input.
         {{"mode: Halt", 3, 2, 2002, "RX 145.700\n\nTX 145.100"},
          {"Mode: Skip", 2, 2, 2002, "RX 145.700\n\nTX 145.100"},
          {"Mode: Off", 1, 1, 2000, "RX 145.700\n\nTX 145.100"}}},
        {390,
         {{"mode: Halt", 3, 2, 2002, "RX 145.075\n\nTX 145.075"},
          {"Mode: Skip", 2, 2, 2002, "RX 145.075\n\nTX 145.075"},
          {"Mode: Off", 1, 3, 2001, "RX 144.475\n\nTX 145.075"}}},
        {420,
         {{"mode: Halt", 3, 2, 2002, "RX 145.450\n\nTX 145.450"},
          {"Mode: Skip", 2, 2, 2002, "RX 145.450\n\nTX 145.450"},
          {"Mode: Off", 1, 2, 2002, "RX 145.450\n\nTX 145.450"}}},
    };
    for (const auto &c : cases) {
        radioState.channel = c.channel;
        for (const ScanPress &p : c.presses) {
            SCOPED_TRACE(testing::Message() << "channel " << c.channel << ", " << p.scanner);
            traffic.clear();
            markDisplays();
            press(dialog, 1109);
            EXPECT_EQ(text(dialog, 2101), p.scanner);
            EXPECT_EQ(text(dialog, 2112), p.frequencies);
            EXPECT_EQ(text(dialog, 3004), unwritten);
            EXPECT_EQ(radioState.scanState, p.scanState);
            EXPECT_EQ(radioState.duplexMode, p.duplexMode);
            EXPECT_EQ(checkedIn(dialog, 2000, 2002), p.duplexMark);
            EXPECT_TRUE(traffic.empty());
        }
    }
}

TEST_F(Panel, ModeWhileScanningMovesOn)
{
    press(dialog, 2011);  // 25 kHz
    press(dialog, 1109);  // halt
    press(dialog, 1109);  // jump
    traffic.clear();
    markDisplays();
    press(dialog, 2130);
    EXPECT_EQ(channelScanMode(432), ModeJump);
    EXPECT_EQ(radioState.channel, 434);
    EXPECT_EQ(traffic, expected(of(step434)));
    // 145.625 is a repeater output: a key-up would transmit on its input.
    EXPECT_EQ(text(dialog, 2112), "RX 145.625\n\nTX 145.025");
    EXPECT_EQ(text(dialog, 2101), " Mode: Jump\n\n145.000  -  145.800\nOn\nWatch: ");
}

TEST_F(Panel, ModeTurnsAnyOtherValueOff)
{
    for (int mode : {0, 3, 5, 6, 7}) {
        SCOPED_TRACE(mode);
        setChannelScanMode(432, mode);
        press(dialog, 2130);
        EXPECT_EQ(channelScanMode(432), ModeOff);
        EXPECT_EQ(text(dialog, 2101), " Mode: Off\n\n145.000  -  145.800\nOff\nWatch: ");
    }
}

TEST_F(Panel, ShiftGoesBelowZeroUnbounded)
{
    for (int i = 0; i < 49; ++i) {
        press(dialog, 3001);
    }
    EXPECT_EQ(radioState.shiftChannels, -1);
    EXPECT_EQ(text(dialog, 3004), "- -12.5KHz");
    EXPECT_EQ(text(dialog, 2112), "RX 145.600\n\nTX 145.613");
    EXPECT_EQ(traffic, expected(of(resetTraffic)));  // the opening's load only
}

TEST_F(Panel, UnknownIdentifiersDoNothing)
{
    for (int id : {2127, 2128, 2129, 1101, 1110, 2003, 2012, 3000, 3005}) {
        SCOPED_TRACE(id);
        RadioState before = radioState;
        traffic.clear();
        markDisplays();
        press(dialog, id);
        EXPECT_TRUE(traffic.empty());
        for (int display : displayIds) {
            EXPECT_EQ(text(dialog, display), unwritten);
        }
        EXPECT_EQ(std::memcmp(&before, &radioState, sizeof before), 0);
        EXPECT_EQ(checkedIn(dialog, 2000, 2002), 2000);
        EXPECT_EQ(checkedIn(dialog, 2010, 2011), 2010);
        EXPECT_EQ(controlPanelProc(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0), 0);
        EXPECT_TRUE(IsWindow(dialog));
    }
}

// ---- 4. Colours of the frequency display -----------------------------------------

// What the panel answers when the frequency display is painted.
HBRUSH brushFor(HWND dialog)
{
    HWND item = GetDlgItem(dialog, 2112);
    HDC dc = GetDC(item);
    LRESULT brush = SendMessageA(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(item));
    ReleaseDC(item, dc);
    return reinterpret_cast<HBRUSH>(brush);
}

TEST_F(Panel, FrequencyDisplayColoursFollowTheTransmitLine)
{
    const struct {
        const char *what;
        int status, control;
        bool brush;  // false: the platform's colours (result 0)
        COLORREF background;
    } cases[] = {
        {"keyed", keyed, 2112, true, RGB(255, 220, 180)},
        {"keyed and busy", keyed | busy, 2112, true, RGB(255, 220, 180)},
        {"receiving", 0, 2112, true, RGB(200, 240, 200)},
        {"busy only", busy, 2112, true, RGB(200, 240, 200)},
        {"keyed below bits above the status byte", 0x7F00 | keyed, 2112, true, RGB(255, 220, 180)},
        {"only bits above the status byte", 0xFF00, 2112, true, RGB(200, 240, 200)},
        {"shift display, keyed", keyed, 3004, false, 0},
        {"scanner display, keyed", keyed, 2101, false, 0},
        {"shift display, receiving", 0, 3004, false, 0},
    };
    const COLORREF untouchedBk = RGB(1, 2, 3), untouchedText = RGB(4, 5, 6);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        statusByte = c.status;
        radioState.channel = 433;
        press(dialog, 1106);  // a step samples the transmit line
        ASSERT_EQ(radioState.txActive, (c.status & keyed) ? 1 : 0);

        HWND item = GetDlgItem(dialog, c.control);
        HWND display = GetDlgItem(dialog, 2112);
        HDC dc = GetDC(display);
        SetBkColor(dc, untouchedBk);
        SetTextColor(dc, untouchedText);
        // Other statics are left to the platform's own colours: the dialog
        // procedure answers 0 (sent through the dialog, the platform's default
        // handling would answer for it).
        LRESULT result = c.brush ? SendMessageA(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                reinterpret_cast<LPARAM>(item))
                                 : controlPanelProc(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                    reinterpret_cast<LPARAM>(item));
        COLORREF bk = GetBkColor(dc), fg = GetTextColor(dc);
        ReleaseDC(display, dc);
        if (!c.brush) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(bk, untouchedBk);
            EXPECT_EQ(fg, untouchedText);
            continue;
        }
        LOGBRUSH lb = {};
        ASSERT_EQ(GetObjectA(reinterpret_cast<HBRUSH>(result), sizeof lb, &lb), static_cast<int>(sizeof lb));
        EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_SOLID));
        EXPECT_EQ(lb.lbColor, c.background);
        EXPECT_EQ(bk, c.background);
        EXPECT_EQ(fg, RGB(10, 10, 80));
        // The same brush every time: the panel owns two and makes no more.
        EXPECT_EQ(reinterpret_cast<LRESULT>(brushFor(dialog)), result);
    }
}

// The background the panel gives the frequency display: the colour of the
// brush it answers with, which must be the text's background too.
COLORREF displayBackground(HWND dialog)
{
    HWND item = GetDlgItem(dialog, 2112);
    HDC dc = GetDC(item);
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageA(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(item)));
    COLORREF bk = GetBkColor(dc);
    ReleaseDC(item, dc);
    LOGBRUSH lb = {};
    if (GetObjectA(brush, sizeof lb, &lb) != static_cast<int>(sizeof lb) || lb.lbColor != bk) {
        return CLR_INVALID;
    }
    return bk;
}

BOOL CALLBACK findTipControl(HWND window, LPARAM found)
{
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    HWND *tip = reinterpret_cast<HWND *>(found);
    if (lstrcmpiA(className, TOOLTIPS_CLASSA) == 0 && GetWindow(window, GW_OWNER) == *tip) {
        *tip = window;
        return FALSE;
    }
    return TRUE;
}

// The frequency display's tip as each of its two tools carries it: the
// display itself, and its rectangle on the panel. Empty when they differ.
std::wstring frequencyTip(HWND dialog)
{
    HWND tip = dialog;  // in: the owner; out: its tooltip control
    EnumThreadWindows(GetCurrentThreadId(), findTipControl, reinterpret_cast<LPARAM>(&tip));
    std::wstring texts[2];
    for (int area = 0; area < 2; ++area) {
        wchar_t text[1024] = L"";
        TTTOOLINFOW tool = {};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = dialog;
        tool.uId = area ? 2112 : reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, 2112));
        tool.lpszText = text;
        if (tip != dialog) {
            SendMessageW(tip, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool));
        }
        texts[area] = text;
    }
    return texts[0] == texts[1] ? texts[0] : std::wstring(L"(the two tools differ)");
}

const std::wstring displayTip = L"RX and TX frequency: type a digit or double-click to enter one; the wheel tunes";
const std::wstring outsideTip =
    L"TX outside the band, 144.000-146.000 MHz: the transmitter will not be moved there.\r\n" + displayTip;

// The tip follows within a tick: the panel's timer rewrites it.
std::wstring tipAfterTicks(HWND dialog, const std::wstring &expected)
{
    std::wstring shown;
    pump(0, 5000, [&] { return (shown = frequencyTip(dialog)) == expected; });
    return shown;
}

// Whenever the transmit channel lies outside the band, the frequency display
// turns amber, red while keyed, and its tip says why; in the band again it
// takes its usual colours and tip. Receiving outside the band, with the
// transmitter inside, changes nothing.
TEST_F(Panel, TransmitOutsideTheBandShowsInColourAndTip)
{
    const COLORREF green = RGB(200, 240, 200), peach = RGB(255, 220, 180);
    const COLORREF amber = RGB(255, 176, 0), red = RGB(255, 64, 64);
    const struct {
        const char *what;
        int status;
        int shift;      // set before the presses
        int presses[2];
        const char *frequencies;
        COLORREF colour;
        bool outside;
    } steps[] = {
        {"Home in duplex: TX 143.400", 0, 48, {1104}, "RX 144.000\n\nTX 143.400", amber, true},
        {"keyed there", keyed, 48, {1106}, "RX 144.000\n\nTX 143.400", red, true},
        {"released", 0, 48, {1106}, "RX 144.000\n\nTX 143.400", amber, true},
        {"Simplex: back in the band", 0, 48, {2002}, "RX 144.000\n\nTX 144.000", green, false},
        {"keyed in the band", keyed, 48, {1106}, "RX 144.000\n\nTX 144.000", peach, false},
        {"Rev dup: RX outside, TX inside", 0, 48, {1106, 2001}, "RX 143.400\n\nTX 144.000", green, false},
        {"End, duplex, shift -2: TX 146.025", 0, -2, {2000, 1105}, "RX 146.000\n\nTX 146.025", amber, true},
        {"one step down: TX 146.012", 0, -2, {1106}, "RX 145.988\n\nTX 146.012", amber, true},
        {"two: TX 146.000, the band's edge", 0, -2, {1106}, "RX 145.975\n\nTX 146.000", green, false},
    };
    EXPECT_EQ(frequencyTip(dialog), displayTip);
    for (const auto &step : steps) {
        SCOPED_TRACE(step.what);
        statusByte = step.status;
        radioState.shiftChannels = step.shift;
        for (int id : step.presses) {
            if (id != 0) {
                press(dialog, id);
            }
        }
        EXPECT_EQ(text(dialog, 2112), step.frequencies);
        COLORREF c = displayBackground(dialog);
        EXPECT_EQ(c, step.colour) << std::hex << c;
        EXPECT_EQ(tipAfterTicks(dialog, step.outside ? outsideTip : displayTip),
                  step.outside ? outsideTip : displayTip);
    }
    // While scanning the TX line names where a key-up would transmit, and the
    // colour and tip go with it: on a repeater output with a shift of 200
    // channels that is 143.200 MHz, though the scan itself listens in simplex.
    SCOPED_TRACE("scanning on 440 with the shift at 200");
    statusByte = 0;
    radioState.shiftChannels = 200;
    radioState.channel = 440;
    press(dialog, 1109);
    EXPECT_EQ(text(dialog, 2112), "RX 145.700\n\nTX 143.200");
    COLORREF c = displayBackground(dialog);
    EXPECT_EQ(c, amber) << std::hex << c;
    EXPECT_EQ(tipAfterTicks(dialog, outsideTip), outsideTip);
}

// A port that reaches nothing, or a transmitter that cannot be followed, is
// said first in the frequency display's tip, from the moment the panel opens:
// before a TX frequency outside the band, before the display's own tip. The
// display's texts and colours stay as they are.
TEST(PanelTip, SaysFirstWhatThePortLibraryLacks)
{
    const std::wstring notLoaded =
        L"Port silent: io.dll could not be loaded, and nothing reaches the transceiver.\r\n"
        L"io.dll belongs beside qd7150.exe, or in the Windows system folder (Windows\\SysWOW64 on 64-bit "
        L"Windows).\r\n";
    const std::wstring noOut = L"Port silent: io.dll has no PortOut, and nothing reaches the transceiver.\r\n";
    const std::wstring noIn =
        L"io.dll has no PortIn: the transmitter is not followed, and the scan hears no signal.\r\n";
    const struct {
        const char *what;
        bool loaded, out, in;
        std::wstring tip;
    } cases[] = {
        {"io.dll not loaded", false, false, false, notLoaded + displayTip},
        {"io.dll without PortOut", true, false, true, noOut + displayTip},
        {"io.dll without PortIn", true, true, false, noIn + displayTip},
        {"io.dll without either", true, false, false, noOut + noIn + displayTip},
        {"both slots filled", true, true, true, displayTip},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        resetProgram();
        HMODULE bound = portLibrary;
        portLibrary = c.loaded ? GetModuleHandleA(nullptr) : nullptr;
        PortOut = c.out ? recordOut : nullptr;
        PortIn = c.in ? recordIn : nullptr;
        HWND dialog = createPanel(controlPanelProc);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(frequencyTip(dialog), c.tip) << "as the panel opens";
        EXPECT_EQ(text(dialog, 2112), homeFrequencies);
        EXPECT_EQ(displayBackground(dialog), RGB(200, 240, 200));

        press(dialog, 1104);  // TX 143.400
        std::wstring outside = c.tip.substr(0, c.tip.size() - displayTip.size()) + outsideTip;
        EXPECT_EQ(tipAfterTicks(dialog, outside), outside);
        DestroyWindow(dialog);
        portLibrary = bound;
    }
}

// ---- 5. The timer -------------------------------------------------------------------

size_t countOf(const std::vector<int> &channels, int channel)
{
    size_t n = 0;
    for (int c : channels) {
        n += c == channel;
    }
    return n;
}

TEST_F(Panel, TimerRetunesAndFollowsTheTransmitter)
{
    traffic.clear();
    ASSERT_TRUE(pump(100, 5000, [] { return loadedChannels().size() >= 3; }));
    std::vector<int> loads = loadedChannels();
    EXPECT_EQ(countOf(loads, 432), loads.size()) << "receiving on 432 in duplex";
    EXPECT_EQ(traffic.front(), statusRead);

    const struct { int status, channel; const char *txActive; } phases[] = {
        {keyed, 384, "keyed: transmit 48 below"},
        {0, 432, "released: back to 432"},
        {keyed | busy, 384, "keyed again"},
    };
    for (const auto &p : phases) {
        SCOPED_TRACE(p.txActive);
        statusByte = p.status;
        traffic.clear();
        markDisplays();
        ASSERT_TRUE(pump(0, 5000, [] { return loadedChannels().size() >= 3; }));
        loads = loadedChannels();
        EXPECT_EQ(countOf(loads, p.channel), loads.size());
        EXPECT_EQ(radioState.txActive, (p.status & keyed) ? 1 : 0);
        EXPECT_EQ(text(dialog, 2112), homeFrequencies);  // rewritten on the change
        EXPECT_EQ(text(dialog, 2101), homeScanner);
        EXPECT_EQ(text(dialog, 3004), unwritten);
    }
}

// ---- 6. Teardown ----------------------------------------------------------------------

TEST_F(Panel, DestroyStopsTheTimerAndDeletesTheBrushes)
{
    radioState.txActive = 1;
    HBRUSH transmit = brushFor(dialog);
    radioState.txActive = 0;
    HBRUSH receive = brushFor(dialog);
    ASSERT_NE(transmit, receive);
    EXPECT_EQ(GetObjectType(transmit), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_EQ(GetObjectType(receive), static_cast<DWORD>(OBJ_BRUSH));

    ASSERT_TRUE(pump(0, 5000, [] { return !loadedChannels().empty(); })) << "the timer runs before";
    ASSERT_TRUE(DestroyWindow(dialog));
    traffic.clear();
    pumpFor(150);
    EXPECT_TRUE(traffic.empty());
    EXPECT_EQ(GetObjectType(transmit), 0u);
    EXPECT_EQ(GetObjectType(receive), 0u);
}

// ---- 7. The modal dialog's result ---------------------------------------------------

struct Ending {
    const char *what;
    UINT message;
    WPARAM wParam;
    bool okFirst;  // IDOK posted first, the ending once the panel has ticked on after it
};
const Ending *ending;  // what the thread timer posts to the open panel
size_t loadsAtOk;      // loads when IDOK was posted; 0: not yet
bool endingPosted;

BOOL CALLBACK findPanel(HWND window, LPARAM found)
{
    char caption[64] = "";
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(caption, "QD-7150 Control") == 0) {
        *reinterpret_cast<HWND *>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK endPanel(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND panel = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findPanel, reinterpret_cast<LPARAM>(&panel));
    size_t loads = loadedChannels().size();
    if (panel == nullptr || loads < 2) {  // the home load and a tick
        return;
    }
    if (ending->okFirst && loadsAtOk == 0) {
        loadsAtOk = loads;
        PostMessageA(panel, WM_COMMAND, IDOK, 0);
    } else if (!ending->okFirst || (loads >= loadsAtOk + 3 && IsWindowVisible(panel))) {
        KillTimer(nullptr, timer);
        endingPosted = true;
        PostMessageA(panel, ending->message, ending->wParam, 0);
    }
}

// The close box and Close in the system menu (Alt+F4) end the panel with 1.
// The panel has no OK button: IDOK (the dialog's Enter, should the panel's
// own keys not be read) ends nothing, and the panel goes on ticking.
TEST(PanelModal, ClosingsGiveResultOneAndOkEndsNothing)
{
    const Ending endings[] = {
        {"close box", WM_CLOSE, 0, false},
        {"Close in the system menu, Alt+F4", WM_SYSCOMMAND, SC_CLOSE, false},
        {"IDOK, then the close box", WM_CLOSE, 0, true},
    };
    for (const Ending &e : endings) {
        SCOPED_TRACE(e.what);
        resetProgram();
        ending = &e;
        loadsAtOk = 0;
        endingPosted = false;
        UINT_PTR timer = SetTimer(nullptr, 0, 50, endPanel);
        ASSERT_NE(timer, 0u);
        INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1101), nullptr, controlPanelProc, 0);
        KillTimer(nullptr, timer);
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(endingPosted) << "IDOK ended the panel";
        EXPECT_GE(loadedChannels().size(), 2u) << "the home load and at least one tick";
        traffic.clear();
        pumpFor(100);
        EXPECT_TRUE(traffic.empty()) << "no tick after the panel is gone";
    }
}

size_t loadsAtEscape;  // the loads made before Escape came; 0 until it has

// Escape as the dialog makes it of the key (IDCANCEL), and the key itself
// through the panel's dialog loop; ten ticks later, the close box.
void CALLBACK escapeThenClose(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND panel = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findPanel, reinterpret_cast<LPARAM>(&panel));
    size_t loads = loadedChannels().size();
    if (panel == nullptr || loads < 2) {
        return;
    }
    if (loadsAtEscape == 0) {
        loadsAtEscape = loads;
        PostMessageA(panel, WM_COMMAND, IDCANCEL, 0);
        HWND focus = GetFocus() != nullptr ? GetFocus() : panel;
        PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(focus, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
    } else if (loads >= loadsAtEscape + 10) {
        KillTimer(nullptr, timer);
        PostMessageA(panel, WM_CLOSE, 0, 0);
    }
}

// Closed, the panel no longer follows the transmitter: one stray key must
// not do that. Escape ends nothing, as the dialog's IDCANCEL or as the key.
TEST(PanelModal, EscapeEndsNothing)
{
    resetProgram();
    loadsAtEscape = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, escapeThenClose);
    ASSERT_NE(timer, 0u);
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1101), nullptr, controlPanelProc, 0);
    KillTimer(nullptr, timer);
    EXPECT_EQ(result, 1);
    ASSERT_NE(loadsAtEscape, 0u) << "Escape never came";
    EXPECT_GE(loadedChannels().size(), loadsAtEscape + 10) << "Escape ended the panel";
}

// ---- 8. Names for screen readers --------------------------------------------------

using ControlName = std::pair<int, std::wstring>;  // by control identifier

// Stands for the accessibility property services and records what the panel
// asks of them. A name given any other way than as the client object's own
// name (PROPID_ACC_NAME) is recorded under the identifier -1.
struct NameService : IAccPropServices {
    std::vector<ControlName> named;
    std::vector<int> cleared;
    int references = 0;

    static int annotated(HWND control, DWORD object, DWORD child, const MSAAPROPID &property)
    {
        const GUID name = {0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};
        bool asName = object == static_cast<DWORD>(OBJID_CLIENT) && child == CHILDID_SELF && property == name;
        return asName ? GetDlgCtrlID(control) : -1;
    }
    HRESULT STDMETHODCALLTYPE SetHwndPropStr(HWND control, DWORD object, DWORD child, MSAAPROPID property,
                                             LPCWSTR text) override
    {
        named.push_back({annotated(control, object, child, property), text});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ClearHwndProps(HWND control, DWORD object, DWORD child, const MSAAPROPID *properties,
                                             int count) override
    {
        cleared.push_back(count == 1 ? annotated(control, object, child, properties[0]) : -1);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Not for the panel.
    HRESULT STDMETHODCALLTYPE SetPropValue(const BYTE *, DWORD, MSAAPROPID, VARIANT) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE SetPropServer(const BYTE *, DWORD, const MSAAPROPID *, int, IAccPropServer *,
                                            AnnoScope) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE ClearProps(const BYTE *, DWORD, const MSAAPROPID *, int) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE SetHwndProp(HWND, DWORD, DWORD, MSAAPROPID, VARIANT) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE SetHwndPropServer(HWND, DWORD, DWORD, const MSAAPROPID *, int, IAccPropServer *,
                                                AnnoScope) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE ComposeHwndIdentityString(HWND, DWORD, DWORD, BYTE **, DWORD *) override
    { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE DecomposeHwndIdentityString(const BYTE *, DWORD, HWND *, DWORD *, DWORD *) override
    { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE SetHmenuProp(HMENU, DWORD, MSAAPROPID, VARIANT) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE SetHmenuPropStr(HMENU, DWORD, MSAAPROPID, LPCWSTR) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE SetHmenuPropServer(HMENU, DWORD, const MSAAPROPID *, int, IAccPropServer *,
                                                 AnnoScope) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE ClearHmenuProps(HMENU, DWORD, const MSAAPROPID *, int) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE ComposeHmenuIdentityString(HMENU, DWORD, BYTE **, DWORD *) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE DecomposeHmenuIdentityString(const BYTE *, DWORD, HMENU *, DWORD *) override
    { return E_FAIL; }
};

NameService *nameService;  // what the panel gets when it asks for the service

HRESULT giveNameService(IAccPropServices **service)
{
    nameService->AddRef();
    *service = nameService;
    return S_OK;
}

// A panel of a fresh program that gets `service` when it asks for the name
// service.
HWND createPanelNamedBy(NameService *service)
{
    resetProgram();
    nameService = service;
    HRESULT (*createService)(IAccPropServices **) = createNameService;
    createNameService = giveNameService;
    HWND dialog = createPanel(controlPanelProc);
    createNameService = createService;
    return dialog;
}

template <typename T>
std::vector<T> sorted(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

// Each symbol button is named for what it does while the panel is open, the
// names are taken back when it closes, and the service is released.
TEST(PanelNames, SymbolButtonsAreNamedWhileThePanelIsOpen)
{
    const std::vector<ControlName> names = {
        {1102, L"100 kHz down"},  {1103, L"100 kHz up"},    {1104, L"Band low edge"},
        {1105, L"Band high edge"}, {1106, L"Channel down"}, {1107, L"Channel up"},
        {3001, L"Shift down"},    {3002, L"Shift up"},      {3003, L"Shift 600 kHz"},
    };
    std::vector<int> ids;
    for (const ControlName &n : names) {
        ids.push_back(n.first);
    }
    NameService service;
    HWND dialog = createPanelNamedBy(&service);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(sorted(service.named), names);
    EXPECT_TRUE(service.cleared.empty());
    EXPECT_EQ(service.references, 1);

    DestroyWindow(dialog);
    EXPECT_EQ(sorted(service.cleared), ids);
    EXPECT_EQ(service.references, 0) << "the service was not released";
}

// Ending COM in a single-threaded apartment may run the thread's messages,
// and so may taking the names back. This service runs them while the panel
// takes its names back, and tries one of the panel's keys there: by then the
// heartbeat and the keys have stopped, so nothing acts on a panel being
// destroyed, and the buttons still exist to be cleared. COM itself stays
// started until the run ends (endPanelNaming).
struct PumpingNameService : NameService {
    size_t loadsWhileClearing = 0;
    bool keyTaken = false;
    int missingButtons = 0;

    HRESULT STDMETHODCALLTYPE ClearHwndProps(HWND control, DWORD object, DWORD child, const MSAAPROPID *properties,
                                             int count) override
    {
        missingButtons += IsWindow(control) ? 0 : 1;
        if (cleared.empty()) {
            HWND dialog = GetParent(control);
            size_t before = loadedChannels().size();
            pumpFor(60);  // six ticks' worth
            MSG key = {dialog, WM_KEYDOWN, VK_PRIOR, 0x01490001, 0, {0, 0}};
            keyTaken = CallMsgFilterA(&key, MSGF_DIALOGBOX) != FALSE;
            loadsWhileClearing = loadedChannels().size() - before;
        }
        return NameService::ClearHwndProps(control, object, child, properties, count);
    }
};

TEST(PanelNames, TakenBackAfterTheHeartbeatAndKeysStopWithComLeftForTheRun)
{
    PumpingNameService service;
    HWND dialog = createPanelNamedBy(&service);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(pump(0, 5000, [] { return loadedChannels().size() >= 3; })) << "the timer runs before";

    DestroyWindow(dialog);
    EXPECT_EQ(service.cleared.size(), 9u);
    EXPECT_EQ(service.missingButtons, 0) << "names taken back from buttons already destroyed";
    EXPECT_EQ(service.loadsWhileClearing, 0u) << "ticks ran on the panel being destroyed";
    EXPECT_FALSE(service.keyTaken) << "a key acted on the panel being destroyed";
    EXPECT_EQ(service.references, 0) << "the service was not released";

    // COM is still started on the thread (S_FALSE: already), until the run ends.
    HRESULT again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CoUninitialize();
    EXPECT_EQ(again, S_FALSE);
    endPanelNaming();
    again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CoUninitialize();
    EXPECT_EQ(again, S_OK) << "COM was not ended once at the run's end";
}

// ---- 9. The radio buttons while keyed, and the focus going with the mark -------------

// The control of `dialog` that has the keyboard focus, by identifier; 0 when none has.
int focusedId(HWND dialog)
{
    HWND focus = GetFocus();
    return focus != nullptr && GetParent(focus) == dialog ? GetDlgCtrlID(focus) : 0;
}

// Runs this thread's messages for `ms` as the dialog's own loop does: each
// through IsDialogMessage first, and so past the panel's message filter.
void pumpDialog(HWND dialog, DWORD ms)
{
    ULONGLONG end = GetTickCount64() + ms;
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageA(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount64() < end);
}

// The operator's own presses, as input through the dialog's loop: the left
// mouse button down and up on a button, and Space on the button with the focus.
void clickWithTheMouse(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    PostMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    PostMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
    pumpDialog(dialog, 30);
}

void pressSpace(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    SetFocus(button);
    PostMessageA(button, WM_KEYDOWN, VK_SPACE, 0x00390001);
    PostMessageA(button, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001u));
    pumpDialog(dialog, 30);
}

// Keyed, another working would move the transmitter by the repeater shift.
// A click of "Simplex", "Rev dup" or "25 KHz" that is not the operator's own
// (BN_CLICKED sent to the panel, as Windows sends it for a radio button that
// gets the focus; BM_CLICK, which also marks the button) changes nothing, and
// the marks stay as they were. The mouse and Space act as ever; released, a
// sent click acts again.
TEST_F(Panel, KeyedOnlyTheOperatorsOwnPressChangesTheWorkingOrSpacing)
{
    statusByte = keyed;
    ASSERT_TRUE(pump(0, 5000, [] { return radioState.txActive == 1; }));
    for (bool bmClick : {false, true}) {
        SCOPED_TRACE(bmClick ? "BM_CLICK" : "BN_CLICKED sent");
        for (int id : {2002, 2001, 2011}) {
            if (bmClick) {
                SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
            } else {
                press(dialog, id);
            }
        }
        EXPECT_EQ(radioState.duplexMode, 1);
        EXPECT_EQ(radioState.channelStep, 1);
        EXPECT_EQ(checkedIn(dialog, 2000, 2002), 2000);
        EXPECT_EQ(checkedIn(dialog, 2010, 2011), 2010);
    }
    traffic.clear();
    ASSERT_TRUE(pump(0, 5000, [] { return loadedChannels().size() >= 2; }));
    EXPECT_EQ(countOf(loadedChannels(), 384), loadedChannels().size()) << "keyed in duplex: 384 alone";

    clickWithTheMouse(dialog, 2002);
    EXPECT_EQ(radioState.duplexMode, 2) << "the mouse on \"Simplex\"";
    EXPECT_EQ(checkedIn(dialog, 2000, 2002), 2002);
    pressSpace(dialog, 2011);
    EXPECT_EQ(radioState.channelStep, 2) << "Space on \"25 KHz\"";
    EXPECT_EQ(checkedIn(dialog, 2010, 2011), 2011);
    traffic.clear();
    ASSERT_TRUE(pump(0, 5000, [] { return loadedChannels().size() >= 2; }));
    EXPECT_EQ(countOf(loadedChannels(), 432), loadedChannels().size()) << "keyed in simplex: 432 alone";

    statusByte = 0;
    ASSERT_TRUE(pump(0, 5000, [] { return radioState.txActive == 0; }));
    press(dialog, 2001);
    EXPECT_EQ(radioState.duplexMode, 3) << "released, a sent click acts";
    EXPECT_EQ(checkedIn(dialog, 2000, 2002), 2001);
}

// Whenever the program marks a radio button in a group that holds the
// keyboard focus, the focus goes to the button marked: the keyed stop on a
// repeater output marking "duplex" after Scan marked "Simplex", and Reset
// after "Rev dup" was clicked. With the focus outside the group, it stays.
// Each radio button is told not to click itself when it gets the focus.
std::vector<int> toldNotToClick;  // the controls sent BM_SETDONTCLICK (TRUE), by identifier

LRESULT CALLBACK watchSentMessages(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT &m = *reinterpret_cast<const CWPSTRUCT *>(lParam);
    if (code == HC_ACTION && m.message == 0x00F8 && m.wParam == TRUE) {  // BM_SETDONTCLICK
        toldNotToClick.push_back(GetDlgCtrlID(m.hwnd));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(Panel, TheFocusGoesWithTheMark)
{
    // Wine keeps no such flag to read back: the messages are watched as the panel opens.
    DestroyWindow(dialog);
    resetProgram();
    toldNotToClick.clear();
    HHOOK watch = SetWindowsHookExA(WH_CALLWNDPROC, watchSentMessages, nullptr, GetCurrentThreadId());
    ASSERT_NE(watch, nullptr);
    dialog = createPanel(controlPanelProc);
    UnhookWindowsHookEx(watch);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(sorted(toldNotToClick), (std::vector<int>{2000, 2001, 2002, 2010, 2011}));

    radioState.channel = 440;  // 145.700 MHz, a repeater output
    press(dialog, 1109);       // Scan: Halt, "Simplex" marked
    SetFocus(GetDlgItem(dialog, 2002));
    ASSERT_EQ(focusedId(dialog), 2002);
    statusByte = keyed;
    ASSERT_TRUE(pump(0, 5000, [] { return radioState.scanState == 1; })) << "the keyed stop did not come";
    EXPECT_EQ(checkedIn(dialog, 2000, 2002), 2000);
    EXPECT_EQ(focusedId(dialog), 2000) << "the keyed stop left the focus where it was";

    statusByte = 0;
    ASSERT_TRUE(pump(0, 5000, [] { return radioState.txActive == 0; }));
    press(dialog, 2001);
    SetFocus(GetDlgItem(dialog, 2001));
    press(dialog, 1108);  // Reset: duplex
    EXPECT_EQ(checkedIn(dialog, 2000, 2002), 2000);
    EXPECT_EQ(focusedId(dialog), 2000) << "Reset left the focus where it was";

    press(dialog, 2002);
    SetFocus(GetDlgItem(dialog, 1108));
    press(dialog, 1108);
    EXPECT_EQ(checkedIn(dialog, 2000, 2002), 2000);
    EXPECT_EQ(focusedId(dialog), 1108) << "the focus left Reset";
}

}  // namespace
