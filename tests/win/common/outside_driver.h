// Helpers for programs that drive the real program from outside, as an
// operator would: finding its windows, waiting for them, reading their texts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

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

// `s` with its ASCII capitals made small, as Windows compares file names.
inline std::string lowerCase(std::string s)
{
    for (char &c : s) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    return s;
}

// A copy of the program run under our debugging, so that every library it
// loads is seen, however briefly it runs. The debugging loop runs on a thread
// of its own, the one that started the copy, while the test looks at windows.
class WatchedCopy {
public:
    // Starts `path` in the working directory `cwd` (null: ours).
    explicit WatchedCopy(const std::string &path, const char *cwd = nullptr)
    {
        started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        this->path = path;
        if (cwd) {
            this->cwd = cwd;
        }
        watcher = CreateThread(nullptr, 0, watchThread, this, 0, nullptr);
        if (watcher) {
            WaitForSingleObject(started, INFINITE);  // set once CreateProcess has returned
        } else {
            SetEvent(done);
        }
    }

    ~WatchedCopy()
    {
        end();
        if (watcher) {
            WaitForSingleObject(watcher, INFINITE);
            CloseHandle(watcher);
        }
        if (info.hProcess) {
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
        CloseHandle(started);
        CloseHandle(done);
    }

    // Ends the copy at once, if it still runs.
    void end()
    {
        if (info.hProcess && !ended(0)) {
            TerminateProcess(info.hProcess, 99);
        }
    }

    bool running() const { return info.hProcess != nullptr; }
    DWORD pid() const { return info.dwProcessId; }
    // Whether the copy has ended and its last debugging event has been seen.
    bool ended(DWORD ms) const { return WaitForSingleObject(done, ms) == WAIT_OBJECT_0; }

    DWORD exitCode() const
    {
        DWORD code = 99;
        GetExitCodeProcess(info.hProcess, &code);
        return code;
    }

    // The libraries it loaded, as lower-case paths; "?" for one whose file
    // could not be named. Read it once the copy has ended.
    std::vector<std::string> libraries;

    // The path of the library file `name` (lower case) it loaded, or empty.
    std::string library(const char *name) const
    {
        std::string end = std::string("\\") + name;
        for (const std::string &l : libraries) {
            if (l.size() >= end.size() && l.compare(l.size() - end.size(), end.size(), end) == 0) {
                return l;
            }
        }
        return "";
    }

    bool loaded(const char *name) const { return !library(name).empty(); }

private:
    PROCESS_INFORMATION info = {};
    HANDLE started = nullptr;
    HANDLE done = nullptr;
    HANDLE watcher = nullptr;
    std::string path, cwd;

    static DWORD WINAPI watchThread(void *self)
    {
        static_cast<WatchedCopy *>(self)->watch();
        return 0;
    }

    // Plain threads, not std::thread: the shipped build's drivers have no
    // threading runtime.
    void watch()
    {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        std::string commandLine = "\"" + path + "\"";
        PROCESS_INFORMATION pi = {};
        bool ok = CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                                 nullptr, cwd.empty() ? nullptr : cwd.c_str(), &si, &pi) != 0;
        if (ok) {
            info = pi;
        }
        SetEvent(started);
        while (ok) {
            DEBUG_EVENT event;
            if (!WaitForDebugEvent(&event, 1000)) {
                continue;
            }
            if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT && event.u.CreateProcessInfo.hFile) {
                CloseHandle(event.u.CreateProcessInfo.hFile);
            } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
                char name[MAX_PATH] = "?";
                if (!event.u.LoadDll.hFile ||
                    GetFinalPathNameByHandleA(event.u.LoadDll.hFile, name, sizeof name, 0) == 0) {
                    lstrcpyA(name, "?");
                }
                if (event.u.LoadDll.hFile) {
                    CloseHandle(event.u.LoadDll.hFile);
                }
                libraries.push_back(lowerCase(name));
            }
            DWORD status = DBG_CONTINUE;
            if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
                event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
                status = DBG_EXCEPTION_NOT_HANDLED;  // the program's own handling goes on
            }
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
            if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
                break;
            }
        }
        SetEvent(done);
    }
};

}  // namespace outside
