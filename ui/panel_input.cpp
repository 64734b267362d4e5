#include "ui/panel_input.h"

#include "radio/frequency_entry.h"
#include "radio/radio_state.h"
#include "res/resource.h"
#include "ui/frequency_box.h"
#include "ui/panel_commands.h"
#include "ui/radio_groups.h"

namespace {

HWND inputPanel;  // the open panel whose keys and wheel are read; null while none is
HHOOK filterHook;  // the message-filter hook on the panel's thread
int wheelTurned;   // wheel turn not yet a whole notch (WHEEL_DELTA), signed
HWND pressedControl;  // the radio button the operator is pressing, while its press is handled; else null

// The panel itself or one of its controls; the frequency box is neither.
bool isPanelWindow(HWND window)
{
    return window != nullptr && GetAncestor(window, GA_ROOT) == inputPanel;
}

// Retuning in the middle of a transmission is what keys and wheel must never do.
bool transmitting()
{
    return radioState.txActive != 0;
}

void press(int button)
{
    if (!transmitting()) {
        onPanelCommand(inputPanel, button);
    }
}

// The button a key stands for, or 0. "+" and "-" of the main keyboard come
// as characters (any layout); the keypad's are taken by their keys.
int buttonOfKey(WPARAM key)
{
    switch (key) {
    case VK_ADD:
        return IDC_STEP_UP;
    case VK_SUBTRACT:
        return IDC_STEP_DOWN;
    case VK_PRIOR:
        return IDC_FAST_UP;
    case VK_NEXT:
        return IDC_FAST_DOWN;
    case VK_HOME:
        return IDC_BAND_LOW;
    case VK_END:
        return IDC_BAND_HIGH;
    default:
        return 0;
    }
}

int buttonOfCharacter(WPARAM character)
{
    switch (character) {
    case '+':
        return IDC_STEP_UP;
    case '-':
        return IDC_STEP_DOWN;
    default:
        return 0;
    }
}

// The box runs a message loop of its own, and the panel's ticks with it:
// never opened inside a load (a port library pumping messages).
void openBox(const char *text, bool selectAll)
{
    if (!panelIsBusy()) {
        openFrequencyBox(inputPanel, text, selectAll);
    }
}

bool isArrowKey(WPARAM key)
{
    return key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN;
}

// In a radio group an arrow selects the next button as a click does, and a
// new working moves a keyed transmitter by the repeater shift: while keyed
// the arrows are taken there and do nothing. Elsewhere they only move the
// focus, and go on to the dialog.
bool onArrowKey(HWND focus)
{
    return transmitting() && isGroupedRadioButton(inputPanel, focus);
}

// The dialog's own Enter sends IDOK unless a push button has the focus, and
// IDOK ends nothing (the panel has no OK button; with the panel closed nothing
// would follow the transmitter): Enter is taken here. On a push button it
// presses that button as the dialog would, keyed or not, as Space and the
// mouse do; anywhere else it does nothing.
// VK_EXECUTE is the dialog's other Enter.
bool onEnter(HWND focus)
{
    bool pushButton = focus != nullptr && GetAncestor(focus, GA_PARENT) == inputPanel &&
                      (SendMessageA(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
    if (pushButton && IsWindowEnabled(focus)) {
        SendMessageA(inputPanel, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED),
                     reinterpret_cast<LPARAM>(focus));
    }
    return true;
}

bool onKeyDown(HWND focus, WPARAM key)
{
    if (isArrowKey(key)) {
        return onArrowKey(focus);
    }
    if (key == VK_RETURN || key == VK_EXECUTE) {
        return onEnter(focus);
    }
    int button = buttonOfKey(key);
    if (button != 0) {
        press(button);
    }
    return button != 0;
}

bool onCharacter(WPARAM character)
{
    if (character >= '0' && character <= '9') {
        char text[2] = {static_cast<char>(character), '\0'};
        openBox(text, false);
        return true;
    }
    int button = buttonOfCharacter(character);
    if (button != 0) {
        press(button);
    }
    return button != 0;
}

// Whether the pointer at `point` (screen) is over the panel. Windows may give
// the wheel to the window with the focus wherever the pointer is (before
// Windows 10, and with "Scroll inactive windows" off).
bool pointerOverPanel(POINT point)
{
    return GetAncestor(WindowFromPoint(point), GA_ROOT) == inputPanel;
}

// One step per whole notch, ">" away from the operator and "<" towards;
// finer wheels send parts of a notch, which are added up. A turn the other
// way, or one while transmitting, starts the count afresh.
bool onWheel(WPARAM wParam, LPARAM lParam)
{
    POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (!pointerOverPanel(point)) {
        return false;
    }
    int delta = static_cast<short>(HIWORD(wParam));
    if (transmitting() || (wheelTurned < 0 && delta > 0) || (wheelTurned > 0 && delta < 0)) {
        wheelTurned = 0;
    }
    if (transmitting()) {
        return true;
    }
    wheelTurned += delta;
    for (; wheelTurned >= WHEEL_DELTA; wheelTurned -= WHEEL_DELTA) {
        press(IDC_STEP_UP);
    }
    for (; wheelTurned <= -WHEEL_DELTA; wheelTurned += WHEEL_DELTA) {
        press(IDC_STEP_DOWN);
    }
    return true;
}

// A double click on the frequency display (a static that lets the mouse
// through to the panel) opens the box with the channel's frequency selected:
// the RX line's in duplex and simplex, the TX line's in reverse duplex.
bool onDoubleClick(POINT point)
{
    RECT d;
    GetWindowRect(GetDlgItem(inputPanel, IDC_FREQUENCY_DISPLAY), &d);
    if (point.x < d.left || point.x >= d.right || point.y < d.top || point.y >= d.bottom) {
        return false;
    }
    char text[16];
    formatExactFrequency(text, sizeof text, radioState.channel);
    openBox(text, true);
    return true;
}

// Whether the message is input for the panel that it can take now: while a
// box of the panel's is open the panel is disabled, and input already on its
// way to it is left alone.
bool forOpenPanel(const MSG &msg)
{
    return isPanelWindow(msg.hwnd) && IsWindowEnabled(inputPanel);
}

// True when the message is the panel's own input and has been acted on; the
// dialog loop then never sees it. Every other message (the timer's among
// them) is let through after a look at its number alone.
bool takeMessage(const MSG &msg)
{
    switch (msg.message) {
    case WM_KEYDOWN:
        return forOpenPanel(msg) && onKeyDown(msg.hwnd, msg.wParam);
    case WM_CHAR:
        return forOpenPanel(msg) && onCharacter(msg.wParam);
    case WM_MOUSEWHEEL:
        return forOpenPanel(msg) && onWheel(msg.wParam, msg.lParam);
    case WM_LBUTTONDBLCLK:
        return forOpenPanel(msg) && onDoubleClick(msg.pt);
    default:
        return false;
    }
}

// The operator's own press of one of the panel's radio buttons: a mouse
// button going down or up on it, or Space on it while it has the focus. The
// button sends its click while it handles the message.
bool pressesRadioButton(const MSG &msg)
{
    bool mouse = msg.message == WM_LBUTTONDOWN || msg.message == WM_LBUTTONUP || msg.message == WM_LBUTTONDBLCLK;
    bool space = (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) && msg.wParam == VK_SPACE;
    return (mouse || space) && forOpenPanel(msg) && isGroupedRadioButton(inputPanel, msg.hwnd);
}

// Hands the press to its button as the dialog would (the dialog only
// translates and dispatches these), noting meanwhile that the click the
// button sends is the operator's (isOperatorsPress).
void handOnPress(const MSG &msg)
{
    HWND outer = pressedControl;  // a press handled around this one, in a loop of a port library's
    pressedControl = msg.hwnd;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    pressedControl = outer;
}

// Called by every dialog loop of the thread (the panel's, the box's, a port
// library's message box) for each message before the dialog handles it.
LRESULT CALLBACK filterMessage(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == MSGF_DIALOGBOX && inputPanel != nullptr) {
        const MSG &msg = *reinterpret_cast<MSG *>(lParam);
        if (takeMessage(msg)) {
            return TRUE;
        }
        if (pressesRadioButton(msg)) {
            handOnPress(msg);
            return TRUE;
        }
    }
    return CallNextHookEx(filterHook, code, wParam, lParam);
}

}  // namespace

bool isOperatorsPress(HWND control)
{
    return control != nullptr && control == pressedControl;
}

void startPanelInput(HWND panel)
{
    stopPanelInput(inputPanel);  // one panel at a time reads input: the newest
    inputPanel = panel;
    wheelTurned = 0;
    pressedControl = nullptr;
    filterHook = SetWindowsHookExA(WH_MSGFILTER, filterMessage, nullptr, GetCurrentThreadId());
}

void stopPanelInput(HWND panel)
{
    if (panel != inputPanel) {
        return;
    }
    if (filterHook != nullptr) {
        UnhookWindowsHookEx(filterHook);
    }
    filterHook = nullptr;
    inputPanel = nullptr;
    pressedControl = nullptr;
}
