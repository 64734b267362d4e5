#include "ui/single_copy.h"

#include "ui/main_window.h"

HANDLE transceiverClaim = nullptr;

namespace {

const char panelTitle[] = "QD-7150 Control";  // the caption of dialog 1101
// A copy that is still starting gets this long to show a window, and one that
// is ending this long to give up the claim.
constexpr DWORD startingCopyMs = 3000;
constexpr DWORD pollMs = 50;

struct PanelSearch {
    DWORD process;
    HWND panel;
};

BOOL CALLBACK matchPanel(HWND window, LPARAM param)
{
    auto *search = reinterpret_cast<PanelSearch *>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[16] = "", title[32] = "";
    // Reading another process's caption this way sends it no message, so a
    // copy that hangs cannot hang us.
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    if (process == search->process && lstrcmpA(className, "#32770") == 0 && lstrcmpA(title, panelTitle) == 0) {
        search->panel = window;
        return FALSE;
    }
    return TRUE;
}

// The control panel of the process that owns `main`, shown or not.
HWND findPanel(HWND main)
{
    PanelSearch search = {0, nullptr};
    GetWindowThreadProcessId(main, &search.process);
    EnumWindows(matchPanel, reinterpret_cast<LPARAM>(&search));
    return search.panel;
}

// The box of a copy that could not load io.dll, which comes before its main
// window: the copy waits for the operator's answer there. FindWindowEx reads
// the text the box holds, sending it no message.
HWND findLibraryBox()
{
    HWND box = nullptr;
    while ((box = FindWindowExA(nullptr, box, "#32770", libraryBoxCaption)) != nullptr) {
        if (FindWindowExA(box, nullptr, "Static", libraryBoxText) != nullptr) {
            return box;
        }
    }
    return nullptr;
}

// The window of the panel the operator works in: the panel, or the box it
// has open (the frequency box), which alone takes input while it is up.
// Windows gives the owner itself when none of its popups was active, or the
// last one is gone; the popup must also show and take input.
HWND windowOfPanel(HWND panel)
{
    HWND popup = GetLastActivePopup(panel);
    if (popup == nullptr || !IsWindowVisible(popup) || !IsWindowEnabled(popup)) {
        return panel;
    }
    return popup;
}

// One look for the running copy's windows: brings the window the operator
// works in to the front and returns 1, or returns 0 when there is none to
// show yet. `seen` tells whether the copy's main window exists at all.
int bringRunningCopyForward(bool *seen)
{
    HWND main = FindWindowA(rootClassName, mainWindowTitle);
    *seen = main != nullptr;
    if (main == nullptr) {
        HWND box = findLibraryBox();
        if (box == nullptr) {
            return 0;
        }
        SetForegroundWindow(box);
        return 1;
    }
    if (IsIconic(main)) {
        // Restoring the main window shows a panel it owns again too. Not
        // waited for: a copy that hangs must not hang us.
        ShowWindowAsync(main, SW_RESTORE);
    }
    HWND panel = findPanel(main);
    if (panel != nullptr) {
        if (!IsWindowVisible(panel)) {
            return 0;
        }
        SetForegroundWindow(windowOfPanel(panel));
        return 1;
    }
    // Hidden while the copy is still starting, before its first panel.
    if (!IsWindowVisible(main) || IsIconic(main)) {
        return 0;
    }
    SetForegroundWindow(main);
    return 1;
}

}  // namespace

int claimTransceiver()
{
    if (transceiverClaim != nullptr) {
        return 1;
    }
    HANDLE claim = CreateMutexA(nullptr, FALSE, transceiverClaimName);
    if (claim == nullptr) {
        // Another user's copy made the claim, and its security keeps us from
        // even opening it (ERROR_ACCESS_DENIED); or something else holds the
        // name, an object of another kind (ERROR_INVALID_HANDLE). Either way
        // this copy cannot be sure of the port, so the claim counts as taken:
        // running unclaimed would let two copies drive it.
        return 0;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        // Not kept: the claim must go with the copy that made it.
        CloseHandle(claim);
        return 0;
    }
    transceiverClaim = claim;
    return 1;
}

int awaitClaimOrShowRunningCopy()
{
    bool seen = false;
    DWORD start = GetTickCount();
    for (;;) {
        if (bringRunningCopyForward(&seen)) {
            return 0;
        }
        if (GetTickCount() - start >= startingCopyMs) {
            break;
        }
        Sleep(pollMs);
        // The copy may be ending: its windows gone, its process not yet.
        if (claimTransceiver()) {
            return 1;
        }
    }
    if (seen) {
        // A copy of ours on this desktop, not showing a window yet: it will.
        return 0;
    }
    // The copy that holds the port runs for another user or in another session,
    // or something else holds the claim's name.
    MessageBoxA(nullptr, "QD7150-Control is already running", "error", MB_OK);
    return 0;
}
