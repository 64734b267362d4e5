// Helpers for programs that drive the real program from outside, as an
// operator would: finding its windows, waiting for them, reading their texts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace outside {

// Paths are kept as UTF-8 here, so that a folder named in any script reaches
// Windows whole through the wide-character functions.
inline std::wstring wide(const std::string &utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &w[0], n);
    w.resize(w.size() - 1);
    return w;
}

inline std::string utf8(const wchar_t *w)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, nullptr, nullptr);
    s.resize(s.size() - 1);
    return s;
}

// The name of an open file as the system gives it, in UTF-8; empty if none.
inline std::string finalPathOf(HANDLE file)
{
    wchar_t name[MAX_PATH] = L"";
    DWORD length = GetFinalPathNameByHandleW(file, name, MAX_PATH, 0);
    return length > 0 && length < MAX_PATH ? utf8(name) : "";
}

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

// A window of the driver's own, brought to the front, so that a copy of the
// program has to bring a window of another copy's forward for it to be there.
struct ForegroundWindow {
    HWND window = CreateWindowExA(0, "Static", "another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                                  200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ForegroundWindow()
    {
        SetForegroundWindow(window);
        pump();
    }
    ~ForegroundWindow() { DestroyWindow(window); }
    static void pump()
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
    }
};

// Waits until `window` is the foreground window, pumping this thread's
// messages meanwhile.
inline bool waitForForeground(HWND window, DWORD ms)
{
    return waitFor([&] {
        ForegroundWindow::pump();
        return GetForegroundWindow() == window;
    }, ms);
}

// What a message box says: the texts of its Static controls.
inline std::string boxText(HWND box)
{
    std::string said;
    for (HWND s = nullptr; (s = FindWindowExA(box, s, "Static", nullptr)) != nullptr;) {
        said += windowText(s);
    }
    return said;
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
    // Starts `path` in the working directory `cwd` (null: ours), both UTF-8.
    explicit WatchedCopy(const std::string &path, const char *cwd = nullptr)
    {
        started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
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
        CloseHandle(entered);
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
    // Whether the copy's own code has begun: its loader has loaded what it
    // imports and stops at the breakpoint it gives a debugger, the last thing
    // before the program's entry point runs.
    bool hasEntered(DWORD ms) const { return WaitForSingleObject(entered, ms) == WAIT_OBJECT_0; }
    // Whether the copy has ended and its last debugging event has been seen.
    bool ended(DWORD ms) const { return WaitForSingleObject(done, ms) == WAIT_OBJECT_0; }

    DWORD exitCode() const
    {
        DWORD code = 99;
        GetExitCodeProcess(info.hProcess, &code);
        return code;
    }

    // The libraries it loaded, as lower-case UTF-8 paths; "?" for one whose
    // file could not be named. Read it once the copy has ended.
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
    HANDLE entered = nullptr;
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
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        std::wstring program = wide(path), directory = wide(cwd);
        std::wstring commandLine = L"\"" + program + L"\"";
        PROCESS_INFORMATION pi = {};
        bool ok = CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                                 nullptr, cwd.empty() ? nullptr : directory.c_str(), &si, &pi) != 0;
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
                std::string name;
                if (event.u.LoadDll.hFile) {
                    name = finalPathOf(event.u.LoadDll.hFile);
                    CloseHandle(event.u.LoadDll.hFile);
                }
                libraries.push_back(name.empty() ? "?" : lowerCase(name));
            }
            DWORD status = DBG_CONTINUE;
            if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
                if (event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT) {
                    SetEvent(entered);  // the loader's, before the entry point
                } else {
                    status = DBG_EXCEPTION_NOT_HANDLED;  // the program's own handling goes on
                }
            }
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
            if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
                break;
            }
        }
        SetEvent(entered);  // no longer to be waited for
        SetEvent(done);
    }
};

}  // namespace outside
