// The eleven entry points of the port library that the program binds and
// never calls: present in each io.dll of ours so that a binding finds every
// name, with no effect. Included once in each library, which exports its own
// PortOut and PortIn with IO_API.
#pragma once

#include <windows.h>

#define IO_API extern "C" __declspec(dllexport)

IO_API void WINAPI PortWordOut(int, int) {}
IO_API void WINAPI PortDWordOut(int, DWORD) {}
IO_API int WINAPI PortWordIn(int) { return 0; }
IO_API DWORD WINAPI PortDWordIn(int) { return 0; }
IO_API void WINAPI SetPortBit(int, int) {}
IO_API void WINAPI ClrPortBit(int, int) {}
IO_API void WINAPI NotPortBit(int, int) {}
IO_API int WINAPI GetPortBit(int, int) { return 0; }
IO_API void WINAPI RightPortShift(int, int) {}
IO_API void WINAPI LeftPortShift(int, int) {}
IO_API int WINAPI IsDriverInstalled() { return 0; }
