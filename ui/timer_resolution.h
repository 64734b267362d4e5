// The panel's 10 ms heartbeat and the 2 ms settle waits need a 1 ms system
// timer: stock Windows runs timers and Sleep at about 15.6 ms. The panel asks
// for 1 ms while it is open and gives it back when it closes. Its heartbeat is
// a timer that Windows may not stretch to save power, where Windows lets the
// program say so.
#pragma once

#include <windows.h>

// The multimedia timer calls, kept in slots so that tests can count them. By
// default they reach winmm.dll, loaded from the system folder at the first
// call (winmm is no Known DLL, and a winmm.dll beside the program must never
// be loaded); without winmm they do nothing.
extern UINT(WINAPI *beginTimerPeriod)(UINT ms);
extern UINT(WINAPI *endTimerPeriod)(UINT ms);

// Windows' calls that newer Windows has and older Windows lacks, looked up at
// start and kept in slots, empty where missing; tests replace them.
// SetProcessInformation: Windows 8 on. SetCoalescableTimer: Windows 8 on.
using SetProcessInformationProc = BOOL(WINAPI *)(HANDLE process, int informationClass, void *information,
                                                DWORD size);
using SetCoalescableTimerProc = UINT_PTR(WINAPI *)(HWND window, UINT_PTR id, UINT ms, TIMERPROC callback,
                                                   ULONG toleranceDelay);
extern SetProcessInformationProc setProcessInformation;
extern SetCoalescableTimerProc setCoalescableTimer;

constexpr UINT fineTimerMs = 1;

// ProcessPowerThrottling and its state as SetProcessInformation takes them.
constexpr int processPowerThrottling = 4;
constexpr ULONG powerThrottlingVersion = 1;
constexpr ULONG throttleExecutionSpeed = 0x1;        // Windows 10 1709 on (EcoQoS on 11)
constexpr ULONG throttleIgnoreTimerResolution = 0x4;  // Windows 11 on
struct PowerThrottlingState {
    ULONG version;
    ULONG controlMask;
    ULONG stateMask;
};

// No coalescing for a timer made by SetCoalescableTimer.
constexpr ULONG noTimerCoalescing = 0xFFFFFFFF;

void requestFineTimer();
void releaseFineTimer();

// Starts the panel's heartbeat: SetCoalescableTimer with no coalescing where
// Windows has it, else (or should it fail) SetTimer. Returns the timer's
// identifier, 0 if none could be made.
UINT_PTR startHeartbeat(HWND window, UINT_PTR id, UINT ms, TIMERPROC callback);
