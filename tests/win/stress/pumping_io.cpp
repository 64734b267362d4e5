// A port library that misbehaves as some do when their driver is missing:
// every PortIn and PortOut pumps the calling thread's messages
// (PeekMessage/DispatchMessage) for a millisecond, so that the program's timer
// ticks and button clicks are dispatched inside the call, between a data write
// and its control write. The port traffic itself goes on to the simulated io.dll, which lies
// beside this one as sim_io.dll and keeps its record of every access; the pump
// comes after it, so a load that another one interrupts shows in the record.
#include <windows.h>

#include "sim/io_unused_entries.h"

namespace {

using PortOutProc = void(WINAPI *)(int port, int value);
using PortInProc = int(WINAPI *)(int port);

constexpr DWORD pumpMs = 1;  // how long each call pumps

HMODULE self;
PortOutProc simulatedOut;
PortInProc simulatedIn;

// Loads sim_io.dll from our own folder on the first call (not in DllMain,
// where loading a library is not allowed).
bool bindSimulator()
{
    if (simulatedOut != nullptr && simulatedIn != nullptr) {
        return true;
    }
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    while (length > 0 && path[length - 1] != '\\') {
        --length;
    }
    static const char name[] = "sim_io.dll";
    if (length == 0 || length + sizeof name > MAX_PATH) {
        return false;
    }
    lstrcpyA(path + length, name);
    HMODULE simulator = LoadLibraryA(path);
    if (simulator == nullptr) {
        return false;
    }
    simulatedOut = reinterpret_cast<PortOutProc>(reinterpret_cast<void *>(GetProcAddress(simulator, "PortOut")));
    simulatedIn = reinterpret_cast<PortInProc>(reinterpret_cast<void *>(GetProcAddress(simulator, "PortIn")));
    return simulatedOut != nullptr && simulatedIn != nullptr;
}

// Dispatches the thread's messages, timers and sent messages included, for
// a millisecond, as the modal loop of a message box would while it is up. A
// quit message is put back for the program's own loop.
void pumpMessages()
{
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        QueryPerformanceCounter(&now);
        if ((now.QuadPart - start.QuadPart) * 1000 >= frequency.QuadPart * pumpMs) {
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, pumpMs, QS_ALLINPUT);
    }
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
    }
    return TRUE;
}

IO_API void WINAPI PortOut(int port, int value)
{
    if (bindSimulator()) {
        simulatedOut(port, value);
    }
    pumpMessages();
}

IO_API int WINAPI PortIn(int port)
{
    int value = bindSimulator() ? simulatedIn(port) : 0;
    pumpMessages();
    return value;
}
