// A port library of our own for the binding tests: the thirteen entry points,
// stdcall with plain names. PortOut records what it is given; PortIn answers
// with garbage in the high bits around a status byte of 0x40 (a signal). It
// also tells the process's error mode at the time it was loaded.
// Built in three forms: full, without PortIn, and without PortOut.
#include <windows.h>

namespace {
int writes[16][2];
int writeCount;
UINT errorModeAtLoad;  // the process's error mode while it was being loaded
}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        errorModeAtLoad = SetErrorMode(0);  // read, and put back at once
        SetErrorMode(errorModeAtLoad);
    }
    return TRUE;
}

extern "C" {

#ifndef TEST_IO_WITHOUT_PORT_OUT
__declspec(dllexport) void WINAPI PortOut(int port, int value)
{
    if (writeCount < 16) {
        writes[writeCount][0] = port;
        writes[writeCount][1] = value;
    }
    ++writeCount;
}
#endif

#ifndef TEST_IO_WITHOUT_PORT_IN
__declspec(dllexport) int WINAPI PortIn(int)
{
    return static_cast<int>(0xABCDEF40u);
}
#endif

__declspec(dllexport) void WINAPI PortWordOut(int, int) {}
__declspec(dllexport) void WINAPI PortDWordOut(int, int) {}
__declspec(dllexport) int WINAPI PortWordIn(int) { return 0; }
__declspec(dllexport) int WINAPI PortDWordIn(int) { return 0; }
__declspec(dllexport) void WINAPI SetPortBit(int, int) {}
__declspec(dllexport) void WINAPI ClrPortBit(int, int) {}
__declspec(dllexport) void WINAPI NotPortBit(int, int) {}
__declspec(dllexport) int WINAPI GetPortBit(int, int) { return 0; }
__declspec(dllexport) int WINAPI RightPortShift(int, int) { return 0; }
__declspec(dllexport) int WINAPI LeftPortShift(int, int) { return 0; }
__declspec(dllexport) int WINAPI IsDriverInstalled() { return 1; }

// For the test: what PortOut was given.
__declspec(dllexport) int WINAPI TestWriteCount() { return writeCount; }
__declspec(dllexport) int WINAPI TestWrite(int i, int field) { return writes[i][field]; }
__declspec(dllexport) UINT WINAPI TestErrorModeAtLoad() { return errorModeAtLoad; }
}
