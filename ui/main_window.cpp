#include "ui/main_window.h"

#include "radio/port_library.h"
#include "res/resource.h"
#include "ui/control_panel.h"
#include "ui/panel_names.h"
#include "ui/single_copy.h"

#include <cstddef>

HINSTANCE appInstance;
HWND mainWindow;

namespace {

void openControlPanel()
{
    DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_CONTROL_PANEL), mainWindow, controlPanelProc, 0);
}

// The width of the caption's text `title` in the system's caption font; 0
// where it cannot be measured.
int captionTextWidth(const char *title)
{
    // The structure as XP knows it: later Windows take this size too.
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
        return 0;
    }
    HFONT font = CreateFontIndirectA(&metrics.lfCaptionFont);
    HDC screen = GetDC(nullptr);
    SIZE text = {0, 0};
    if (font != nullptr && screen != nullptr) {
        HGDIOBJ previous = SelectObject(screen, font);
        GetTextExtentPoint32A(screen, title, lstrlenA(title), &text);
        SelectObject(screen, previous);
    }
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    if (font != nullptr) {
        DeleteObject(font);
    }
    return text.cx;
}

// The main window is created 0 by 0, and Windows grows it only to its
// smallest size: a caption whose menu bar below is cut off, so that the way
// back to the panel ("Fil", "VFO") is out of sight. It is made just large
// enough for the caption, its title whole, and the whole menu bar on one
// line, with a client area of height 0, where the system placed it.
void fitToMenuBar(HWND window)
{
    HMENU menu = GetMenu(window);
    int width = 0;
    for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
        RECT item;
        if (GetMenuItemRect(window, menu, i, &item)) {
            width += item.right - item.left;
        }
    }
    // The caption holds the small icon, the title and the three buttons,
    // with a little room between them.
    int caption = GetSystemMetrics(SM_CXSMICON) + captionTextWidth(mainWindowTitle) + 3 * GetSystemMetrics(SM_CXSIZE) +
                  4 * GetSystemMetrics(SM_CXEDGE);
    RECT frame = {0, 0, width > caption ? width : caption, 0};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, menu != nullptr, 0);
    // Narrower than the system's smallest window it is widened to that.
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

int registerRootClass(HINSTANCE instance)
{
    WNDCLASSA wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW;
    wc.lpfnWndProc = rootWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = "IDM_MENU";
    wc.lpszClassName = rootClassName;
    if (RegisterClassA(&wc) != 0) {
        return 1;
    }
    MessageBoxA(mainWindow, "can't create root class!", "error", MB_OK);
    return 0;
}

int createRootWindow(HINSTANCE instance, int showCommand)
{
    if (bindPortLibrary() != 0) {
        MessageBoxA(nullptr, libraryBoxText, libraryBoxCaption, MB_OK);
    }
    // The control panel runs modally inside this call (WM_CREATE).
    mainWindow = CreateWindowExA(0, rootClassName, mainWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, nullptr);
    if (mainWindow == nullptr) {
        MessageBoxA(mainWindow, "can't create root win!", "error", MB_OK);
        return 0;
    }
    fitToMenuBar(mainWindow);
    ShowWindow(mainWindow, showCommand);
    UpdateWindow(mainWindow);
    return 1;
}

LRESULT CALLBACK rootWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        openControlPanel();
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_COMMAND:
        return onRootCommand(window, LOWORD(wParam), lParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT onRootCommand(HWND window, int id, LPARAM)
{
    switch (id) {
    case IDM_EXIT:
        SendMessageA(window, WM_CLOSE, 0, 0);
        break;
    case IDM_VFO:
        openControlPanel();
        break;
    case IDM_ABOUT:
    case IDM_HELP:
    default:
        break;
    }
    return 0;
}

int appMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    appInstance = instance;
    // Another copy drives the transceiver: leave the port to it, touch
    // nothing, unless it is ending and gives up its claim meanwhile.
    if (!claimTransceiver() && !awaitClaimOrShowRunningCopy()) {
        return 0;
    }
    if (!registerRootClass(appInstance)) {
        MessageBoxA(nullptr, "error", "Creating Classes", MB_OK);
        return 1;
    }
    if (!createRootWindow(appInstance, showCommand)) {
        MessageBoxA(nullptr, "error", "Creating windows", MB_OK);
        return 2;
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    endPanelNaming();  // every window is gone
    return static_cast<int>(msg.wParam);
}
