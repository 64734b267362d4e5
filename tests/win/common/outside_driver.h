// Helpers for programs that drive the real program from outside, as an
// operator would: finding its windows, waiting for them, reading their texts.
#pragma once

#include <windows.h>

#include <cstdlib>
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
// loads is seen, however briefly it runs. The debugging runs in a process of
// its own, watch_copy.exe, which reports through a pipe read here: the driver
// keeps to its one thread while it looks at windows (watch_copy.cpp says why).
class WatchedCopy {
public:
    // Starts `path` in the working directory `cwd` (null: ours), both UTF-8.
    explicit WatchedCopy(const std::string &path, const char *cwd = nullptr)
    {
        // QD_WATCH_COPY names the watcher (the tests name the x86_64 build's
        // for both builds); else it is the one of the driver's own build.
        wchar_t named[MAX_PATH] = L"", self[MAX_PATH] = L"";
        std::wstring watcher;
        DWORD n = GetEnvironmentVariableW(L"QD_WATCH_COPY", named, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
            watcher = named;
        } else {
            GetModuleFileNameW(nullptr, self, MAX_PATH);
            watcher = self;
            watcher = watcher.substr(0, watcher.find_last_of(L'\\')) + L"\\..\\common\\watch_copy.exe";
        }
        std::wstring commandLine = L"\"" + watcher + L"\" " + std::to_wstring(GetCurrentProcessId()) + L" \"" +
                                   wide(path) + L"\"" + (cwd ? L" \"" + wide(cwd) + L"\"" : L"");
        SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
        HANDLE writeEnd = nullptr;
        // Room for every line of a run, so that the watcher never waits for
        // the driver to read (the copy would wait with it).
        if (!CreatePipe(&pipe, &writeEnd, &inherited, 1 << 16)) {
            finished = true;
            return;
        }
        SetHandleInformation(pipe, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = writeEnd;
        si.hStdError = writeEnd;
        PROCESS_INFORMATION pi = {};
        if (CreateProcessW(watcher.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                           nullptr, &si, &pi)) {
            watcherProcess = pi.hProcess;
            CloseHandle(pi.hThread);
        } else {
            startError = GetLastError();
            finished = true;
        }
        CloseHandle(writeEnd);  // the watcher's copy is the only one left: its end is the pipe's
        read([this] { return process != nullptr || finished; }, INFINITE);
    }

    ~WatchedCopy()
    {
        end();
        ended(INFINITE);
        if (watcherProcess) {
            WaitForSingleObject(watcherProcess, INFINITE);
            CloseHandle(watcherProcess);
        }
        if (process) {
            CloseHandle(process);
        }
        if (pipe) {
            CloseHandle(pipe);
        }
    }

    // Ends the copy at once, if it still runs.
    void end()
    {
        if (process && !ended(0)) {
            TerminateProcess(process, 99);
        }
    }

    bool running() const { return process != nullptr; }
    DWORD pid() const { return processId; }
    // Why it could not be started (GetLastError's code), when it could not.
    DWORD startError = 0;
    // Whether the copy's own code has begun: its loader has loaded what it
    // imports and stops at the breakpoint it gives a debugger, the last thing
    // before the program's entry point runs.
    bool hasEntered(DWORD ms) { return read([this] { return entered || finished; }, ms); }
    // Whether the copy has ended and its last debugging event has been seen.
    bool ended(DWORD ms) { return read([this] { return finished; }, ms); }

    DWORD exitCode() const
    {
        DWORD code = 99;
        GetExitCodeProcess(process, &code);
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
    HANDLE pipe = nullptr;            // our end of the watcher's output
    HANDLE watcherProcess = nullptr;  // watch_copy.exe
    HANDLE process = nullptr;         // the copy, duplicated to us by the watcher
    DWORD processId = 0;
    bool entered = false;
    bool finished = false;  // the copy's end seen, or no watcher (any more)
    std::string pending;    // a line not yet whole

    // Reads the watcher's lines until `done` holds or `ms` have passed
    // (INFINITE: until it holds or the watcher has gone); what `done` says then.
    template <typename Done>
    bool read(Done done, DWORD ms)
    {
        DWORD start = GetTickCount();
        while (!done()) {
            DWORD available = 0;
            if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
                finished = true;  // the watcher has gone, and said all it had to say
                break;
            }
            if (available == 0) {
                if (ms != INFINITE && GetTickCount() - start >= ms) {
                    break;
                }
                Sleep(5);
                continue;
            }
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(pipe, buffer, available < sizeof buffer ? available : sizeof buffer, &got, nullptr)) {
                finished = true;
                break;
            }
            pending.append(buffer, got);
            for (size_t n; (n = pending.find('\n')) != std::string::npos;) {
                take(pending.substr(0, n));
                pending.erase(0, n + 1);
            }
        }
        return done();
    }

    void take(const std::string &line)
    {
        std::string word = line.substr(0, line.find(' '));
        std::string rest = line.size() > word.size() ? line.substr(word.size() + 1) : "";
        if (word == "started") {
            processId = std::strtoul(rest.c_str(), nullptr, 10);
            process = reinterpret_cast<HANDLE>(
                static_cast<ULONG_PTR>(std::strtoull(rest.substr(rest.find(' ') + 1).c_str(), nullptr, 10)));
        } else if (word == "failed") {
            startError = std::strtoul(rest.c_str(), nullptr, 10);
            finished = true;
        } else if (word == "entered") {
            entered = true;
        } else if (word == "library") {
            libraries.push_back(rest);
        } else if (word == "exit") {
            finished = true;
        }
    }
};

}  // namespace outside
