// A DLL of someone else's under the name of a Windows DLL that is not a Known
// DLL, planted beside the program as in a Downloads folder that the ZIP is
// unpacked into. Built as winmm.dll and as comctl32.dll (PLANTED_NAME). Once
// loaded it says so: it signals the named event whose name is in
// QD7150_PLANTED_EVENT with its own name added ("...winmm"). Otherwise it
// behaves: what a program could ask of it succeeds and does nothing, so that a
// program that loads it runs on and the record is all that tells.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

extern "C" {

#ifdef PLANTED_WINMM
__declspec(dllexport) UINT WINAPI timeBeginPeriod(UINT)
{
    return 0;
}

__declspec(dllexport) UINT WINAPI timeEndPeriod(UINT)
{
    return 0;
}
#else
__declspec(dllexport) BOOL WINAPI InitCommonControlsEx(const void *)
{
    return TRUE;
}

__declspec(dllexport) void WINAPI InitCommonControls() {}
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        char name[200];
        DWORD length = GetEnvironmentVariableA("QD7150_PLANTED_EVENT", name, sizeof name - 16);
        if (length > 0 && length < sizeof name - 16) {
            lstrcatA(name, PLANTED_NAME);
            HANDLE loaded = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
            if (loaded) {
                SetEvent(loaded);
                CloseHandle(loaded);
            }
        }
    }
    return TRUE;
}

}  // extern "C"
