// io.dll, the port input/output library, bound at run time. Its thirteen entry
// points are kept in slots; only PortOut and PortIn (platform_seam.h) are ever
// called, the other eleven are resolved and left alone.
#pragma once

#if defined(_WIN32)
#include <windows.h>

extern HMODULE portLibrary;  // the loaded library; empty until bound, never cleared

// The slots of the entry points that nothing calls, in resolution order.
extern FARPROC PortWordOut, PortDWordOut, PortWordIn, PortDWordIn, SetPortBit, ClrPortBit, NotPortBit,
    GetPortBit, RightPortShift, LeftPortShift, IsDriverInstalled;

// The kernel32 function that limits the library search. Tests name one that
// does not exist, to take the road of Windows versions without it.
extern const char *defaultDllDirectoriesEntry;

// Loads "IO" from the program's folder or the system folders and fills the
// slots. Returns 0 when the library was loaded, 1 when it could not be.
int bindPortLibrary();
// Frees the library; registered with atexit by a successful binding.
void releasePortLibrary();
#endif
