#include "ui/timer_resolution.h"

#include <mmsystem.h>

UINT(WINAPI *beginTimerPeriod)(UINT ms) = timeBeginPeriod;
UINT(WINAPI *endTimerPeriod)(UINT ms) = timeEndPeriod;

namespace {

// Windows 11 may ignore a process's timer resolution while its windows are
// hidden or minimised; this opts the process out of that. Bound at run time,
// since older Windows has no SetProcessInformation.
void keepTimerResolutionWhenHidden()
{
    struct PowerThrottlingState {
        ULONG version;
        ULONG controlMask;
        ULONG stateMask;
    };
    constexpr int processPowerThrottling = 4;
    constexpr ULONG throttlingCurrentVersion = 1;
    constexpr ULONG ignoreTimerResolution = 0x4;
    using SetProcessInformationProc = BOOL(WINAPI *)(HANDLE, int, LPVOID, DWORD);

    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setInformation = kernel ? reinterpret_cast<SetProcessInformationProc>(reinterpret_cast<void *>(
                                       GetProcAddress(kernel, "SetProcessInformation")))
                                 : nullptr;
    if (setInformation == nullptr) {
        return;
    }
    // Control the flag, and clear it: timer resolution requests are always honoured.
    PowerThrottlingState state = {throttlingCurrentVersion, ignoreTimerResolution, 0};
    setInformation(GetCurrentProcess(), processPowerThrottling, &state, sizeof state);
}

}  // namespace

void requestFineTimer()
{
    keepTimerResolutionWhenHidden();
    beginTimerPeriod(fineTimerMs);
}

void releaseFineTimer()
{
    endTimerPeriod(fineTimerMs);
}
