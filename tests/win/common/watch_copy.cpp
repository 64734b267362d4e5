// Runs a copy of a program under debugging, so that every library it loads is
// seen however briefly it runs, and tells a driver what it saw:
//   watch_copy.exe DRIVER_PID PROGRAM [WORKING_DIRECTORY]
// Its standard output gets one line for each of these, in UTF-8:
//   started PID HANDLE   the copy runs; HANDLE is the copy's process handle,
//                        duplicated into the driver (DRIVER_PID)
//   failed ERROR         CreateProcess failed (GetLastError's code)
//   entered              the loader's breakpoint, before the entry point
//   library PATH         a library it loaded, lower case; "?" if unnamed
//   exit CODE            the copy ended, its last debugging event seen
// The debugging lives in this process of its own, on its only thread: the
// debugging loop must run on the thread that started the copy, and the
// driver keeps to one thread too. Under the user-mode emulator that runs
// 32-bit programs where the kernel cannot, a 32-bit Wine process with a
// second thread now and then crashed (a thread running with another one's
// thread data); a process with one thread does not. The tests run the x86_64
// build's watcher for the i686 copies too: a 64-bit debugger sees their
// events alike, and it starts at once where an i686 one is emulated.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/win/common/outside_driver.h"

namespace {

HANDLE out;
// A 32-bit program's breakpoint as Windows shows it to a 64-bit debugger.
const DWORD wx86Breakpoint = 0x4000001F;

// The words of our command line: each either in double quotes or up to the
// next blank (no quotes inside a word; the driver writes it so). Not
// CommandLineToArgvW: shell32 and all it imports take long to load under
// the emulator.
std::vector<std::wstring> words(const wchar_t *line)
{
    std::vector<std::wstring> w;
    while (*line) {
        if (*line == L' ') {
            ++line;
            continue;
        }
        const wchar_t *end = *line == L'"' ? wcschr(line + 1, L'"') : wcschr(line, L' ');
        if (*line == L'"') {
            ++line;
        }
        w.push_back(end ? std::wstring(line, end) : std::wstring(line));
        line = end ? end + 1 : line + wcslen(line);
    }
    return w;
}

void say(const std::string &line)
{
    std::string l = line + "\n";
    DWORD written = 0;
    WriteFile(out, l.data(), static_cast<DWORD>(l.size()), &written, nullptr);
}

}  // namespace

int main()
{
    out = GetStdHandle(STD_OUTPUT_HANDLE);
    std::vector<std::wstring> argv = words(GetCommandLineW());
    size_t argc = argv.size();
    if (argc < 3) {
        say("failed " + std::to_string(ERROR_BAD_ARGUMENTS));
        return 2;
    }
    HANDLE driver = OpenProcess(PROCESS_DUP_HANDLE, FALSE, static_cast<DWORD>(wcstoul(argv[1].c_str(), nullptr, 10)));
    std::wstring program = argv[2];
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!driver || !CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                   DEBUG_ONLY_THIS_PROCESS, nullptr, argc > 3 ? argv[3].c_str() : nullptr, &si, &pi)) {
        say("failed " + std::to_string(GetLastError()));
        return 1;
    }
    HANDLE theirs = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), pi.hProcess, driver, &theirs, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        say("failed " + std::to_string(GetLastError()));
        TerminateProcess(pi.hProcess, 99);
        return 1;
    }
    say("started " + std::to_string(pi.dwProcessId) + " " +
        std::to_string(static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(theirs))));
    for (;;) {
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, INFINITE)) {
            say("exit " + std::to_string(GetLastError()));
            return 1;
        }
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile) {
                CloseHandle(event.u.CreateProcessInfo.hFile);
            }
            break;
        case LOAD_DLL_DEBUG_EVENT: {
            std::string name;
            if (event.u.LoadDll.hFile) {
                name = outside::finalPathOf(event.u.LoadDll.hFile);
                CloseHandle(event.u.LoadDll.hFile);
            }
            say("library " + (name.empty() ? std::string("?") : outside::lowerCase(name)));
            break;
        }
        case EXCEPTION_DEBUG_EVENT:
            if (event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT ||
                event.u.Exception.ExceptionRecord.ExceptionCode == wx86Breakpoint) {
                say("entered");  // the loader's, before the entry point
            } else {
                status = DBG_EXCEPTION_NOT_HANDLED;  // the program's own handling goes on
            }
            break;
        default:
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
            say("exit " + std::to_string(event.u.ExitProcess.dwExitCode));
            return 0;
        }
    }
}
