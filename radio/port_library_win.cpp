#include "radio/port_library.h"

#include <cstdlib>
#include <type_traits>

#include "radio/platform_seam.h"

// A 32-bit port library exports its entry points stdcall; calling them any other
// way corrupts the stack of the 32-bit build.
static_assert(std::is_same<PortOutProc, void(WINAPI *)(int, int)>::value, "PortOut is called stdcall");
static_assert(std::is_same<PortInProc, int(WINAPI *)(int)>::value, "PortIn is called stdcall");

HMODULE portLibrary = nullptr;
FARPROC PortWordOut, PortDWordOut, PortWordIn, PortDWordIn, SetPortBit, ClrPortBit, NotPortBit, GetPortBit,
    RightPortShift, LeftPortShift, IsDriverInstalled;

namespace {

#ifndef LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000
#endif

// Nobody may plant an io.dll in the working directory or on PATH: only the
// program's own folder and the system folders are searched. Older Windows
// lacks SetDefaultDllDirectories; there SetDllDirectoryA("") at least takes
// the working directory out of the search.
void restrictLibrarySearch()
{
    using SetDefaultDllDirectoriesProc = BOOL(WINAPI *)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesProc>(
                                   reinterpret_cast<void *>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                             : nullptr;
    if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) {
        SetDllDirectoryA("");
    }
}

template <typename Slot>
void resolve(Slot &slot, const char *name)
{
    slot = reinterpret_cast<Slot>(reinterpret_cast<void *>(GetProcAddress(portLibrary, name)));
}

}  // namespace

int bindPortLibrary()
{
    restrictLibrarySearch();
    portLibrary = LoadLibraryA("IO");
    if (portLibrary == nullptr) {
        return 1;
    }
    resolve(PortOut, "PortOut");
    resolve(PortWordOut, "PortWordOut");
    resolve(PortDWordOut, "PortDWordOut");
    resolve(PortIn, "PortIn");
    resolve(PortWordIn, "PortWordIn");
    resolve(PortDWordIn, "PortDWordIn");
    resolve(SetPortBit, "SetPortBit");
    resolve(ClrPortBit, "ClrPortBit");
    resolve(NotPortBit, "NotPortBit");
    resolve(GetPortBit, "GetPortBit");
    resolve(RightPortShift, "RightPortShift");
    resolve(LeftPortShift, "LeftPortShift");
    resolve(IsDriverInstalled, "IsDriverInstalled");
    std::atexit(releasePortLibrary);
    return 0;
}

void releasePortLibrary()
{
    FreeLibrary(portLibrary);
}
