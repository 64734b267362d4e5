#include "ui/timer_resolution.h"

#include "radio/system_library.h"

namespace {

using TimerPeriodProc = UINT(WINAPI *)(UINT ms);
constexpr UINT timerNoCanDo = 97;  // TIMERR_NOCANDO

// winmm's two calls, bound once at the first request or release; both empty
// when winmm or either call is missing.
TimerPeriodProc winmmBegin = nullptr;
TimerPeriodProc winmmEnd = nullptr;

void bindWinmm()
{
    static bool tried = false;
    if (tried) {
        return;
    }
    tried = true;
    // Kept for the rest of the run: a period requested must be given back
    // through the same library.
    HMODULE winmm = loadSystemLibrary(L"winmm.dll");
    if (!bindEntry(winmm, "timeBeginPeriod", winmmBegin) || !bindEntry(winmm, "timeEndPeriod", winmmEnd)) {
        winmmBegin = nullptr;
        winmmEnd = nullptr;
    }
}

UINT WINAPI systemBeginPeriod(UINT ms)
{
    bindWinmm();
    return winmmBegin ? winmmBegin(ms) : timerNoCanDo;
}

UINT WINAPI systemEndPeriod(UINT ms)
{
    bindWinmm();
    return winmmEnd ? winmmEnd(ms) : timerNoCanDo;
}

// An entry point of a system DLL that the program has loaded already.
template <typename Proc>
Proc loadedEntry(const wchar_t *library, const char *name)
{
    Proc entry = nullptr;
    bindEntry(GetModuleHandleW(library), name, entry);
    return entry;
}

void optOutOfThrottling(ULONG flag)
{
    PowerThrottlingState state = {powerThrottlingVersion, flag, 0};  // controlled, and off
    setProcessInformation(GetCurrentProcess(), processPowerThrottling, &state, sizeof state);
}

// Windows 11 may ignore a process's timer resolution while its windows are
// hidden or minimised, and may run such a process at reduced speed (EcoQoS).
// The process opts out of both, in two calls: a Windows that does not know a
// flag refuses the whole call, and Windows 10 knows the execution-speed flag
// alone (from version 1709 on; Windows 8 and 8.1 know neither). A refusal
// changes nothing else.
void keepFullSpeedWhenHidden()
{
    if (setProcessInformation == nullptr) {
        return;
    }
    optOutOfThrottling(throttleIgnoreTimerResolution);
    optOutOfThrottling(throttleExecutionSpeed);
}

}  // namespace

UINT(WINAPI *beginTimerPeriod)(UINT ms) = systemBeginPeriod;
UINT(WINAPI *endTimerPeriod)(UINT ms) = systemEndPeriod;
SetProcessInformationProc setProcessInformation =
    loadedEntry<SetProcessInformationProc>(L"kernel32.dll", "SetProcessInformation");
SetCoalescableTimerProc setCoalescableTimer =
    loadedEntry<SetCoalescableTimerProc>(L"user32.dll", "SetCoalescableTimer");

void requestFineTimer()
{
    keepFullSpeedWhenHidden();
    beginTimerPeriod(fineTimerMs);
}

void releaseFineTimer()
{
    endTimerPeriod(fineTimerMs);
}

UINT_PTR startHeartbeat(HWND window, UINT_PTR id, UINT ms, TIMERPROC callback)
{
    // SetTimer's timers are coalesced as the system's default has it, which
    // is not specified; TIMERV_NO_COALESCING turns that off whatever the
    // default or the compatibility settings say.
    if (setCoalescableTimer != nullptr) {
        UINT_PTR timer = setCoalescableTimer(window, id, ms, callback, noTimerCoalescing);
        if (timer != 0) {
            return timer;
        }
    }
    return SetTimer(window, id, ms, callback);
}
