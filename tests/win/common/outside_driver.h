// Helpers for programs that drive the real program from outside, as an
// operator would: finding its windows, waiting for them, reading their texts.
#pragma once

#include <windows.h>

#include <string>

namespace outside {

// A path from the host side reaches a Windows program in its Unix form; Wine
// shows the host's root as drive Z:.
inline std::string windowsPath(std::string path)
{
    if (path.empty() || path[0] != '/') {
        return path;
    }
    path = "Z:" + path;
    for (char &c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

struct WindowQuery {
    DWORD pid;
    const char *className;  // null: any class
    const char *title;      // null: any title
    bool visibleOnly;
    HWND except;            // a window not to be found again
    bool otherTitle;        // match a title other than `title`
    HWND found;
};

inline BOOL CALLBACK matchWindow(HWND window, LPARAM param)
{
    WindowQuery *q = reinterpret_cast<WindowQuery *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[64] = "", title[128] = "";
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, title, sizeof title);
    if (pid == q->pid && window != q->except && (!q->className || lstrcmpiA(cls, q->className) == 0) &&
        (!q->title || (lstrcmpA(title, q->title) == 0) != q->otherTitle) &&
        (!q->visibleOnly || IsWindowVisible(window))) {
        q->found = window;
        return FALSE;
    }
    return TRUE;
}

// A top-level window of process `pid` by class and title (or, with
// `otherTitle`, any title but that one).
inline HWND findWindow(DWORD pid, const char *className, const char *title, bool visibleOnly = false,
                       HWND except = nullptr, bool otherTitle = false)
{
    WindowQuery q = {pid, className, title, visibleOnly, except, otherTitle, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

// Polls `condition` until it holds or `ms` have passed; true when it held.
template <typename Condition>
bool waitFor(Condition condition, DWORD ms, DWORD pollMs = 10)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        if (condition()) {
            return true;
        }
        Sleep(pollMs);
    }
    return condition();
}

// Waits for a visible top-level window of process `pid`; null if none came.
inline HWND waitForWindow(DWORD pid, const char *className, const char *title, DWORD ms,
                          HWND except = nullptr)
{
    HWND found = nullptr;
    waitFor([&] { return (found = findWindow(pid, className, title, true, except)) != nullptr; }, ms);
    return found;
}

// A window's text as another process sees it (WM_GETTEXT).
inline std::string windowText(HWND window)
{
    char text[512] = "";
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

}  // namespace outside
