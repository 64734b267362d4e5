#include "radio/port_library.h"

#include <cstdlib>
#include <type_traits>

#include "radio/platform_seam.h"
#include "radio/system_library.h"

// A 32-bit port library exports its entry points stdcall; calling them any other
// way corrupts the stack of the 32-bit build.
static_assert(std::is_same<PortOutProc, void(WINAPI *)(int, int)>::value, "PortOut is called stdcall");
static_assert(std::is_same<PortInProc, int(WINAPI *)(int)>::value, "PortIn is called stdcall");

HMODULE portLibrary = nullptr;
const char *defaultDllDirectoriesEntry = "SetDefaultDllDirectories";
FARPROC PortWordOut, PortDWordOut, PortWordIn, PortDWordIn, SetPortBit, ClrPortBit, NotPortBit, GetPortBit,
    RightPortShift, LeftPortShift, IsDriverInstalled;

namespace {

#ifndef LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000
#endif

// Nobody may plant an io.dll in the working directory or on PATH: only the
// program's own folder and the system folders are searched. Returns false
// where Windows cannot limit the search so (XP, Vista, and 7 without
// KB2533623, which lack SetDefaultDllDirectories); SetDllDirectoryA("") there
// still takes the working directory out of the search for what io.dll itself
// needs.
bool restrictLibrarySearch()
{
    using SetDefaultDllDirectoriesProc = BOOL(WINAPI *)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesProc>(
                                   reinterpret_cast<void *>(GetProcAddress(kernel, defaultDllDirectoriesEntry)))
                             : nullptr;
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) {
        return true;
    }
    SetDllDirectoryA("");
    return false;
}

// Loads io.dll from `folder` (a path of `length` characters) by its full
// path, so that no search takes place.
HMODULE loadFromFolder(wchar_t (&folder)[MAX_PATH], DWORD length)
{
    static const wchar_t fileName[] = L"\\IO.dll";
    if (length == 0 || length + sizeof fileName / sizeof fileName[0] > MAX_PATH) {
        return nullptr;  // no such folder, or its path is too long to add ours
    }
    lstrcpyW(folder + length, fileName);
    return loadLibraryQuietly(folder, 0);
}

// Where the search cannot be limited, the only two places that may hold
// io.dll are named in full: the program's own folder, else the system folder.
// The paths are kept in UTF-16, as the file system names them: the ANSI
// functions would turn every character outside the ANSI code page into '?'
// (a Greek user name under a Western code page), and then find nothing.
HMODULE loadByFullPath()
{
    wchar_t path[MAX_PATH];
    // A path that did not fit comes back cut short, and on XP without its end.
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        while (length > 0 && path[length - 1] != L'\\') {
            --length;
        }
        if (length > 0) {
            HMODULE library = loadFromFolder(path, length - 1);
            if (library != nullptr) {
                return library;
            }
        }
    }
    length = GetSystemDirectoryW(path, MAX_PATH);
    return length < MAX_PATH ? loadFromFolder(path, length) : nullptr;
}

template <typename Slot>
void resolve(Slot &slot, const char *name)
{
    slot = reinterpret_cast<Slot>(reinterpret_cast<void *>(GetProcAddress(portLibrary, name)));
}

}  // namespace

int bindPortLibrary()
{
    // Every load with Windows' own error boxes off: a damaged io.dll brings
    // only our "can't initiate io.dll", not a "Bad Image" box of Windows' first.
    portLibrary = restrictLibrarySearch() ? loadLibraryQuietly(L"IO", 0) : loadByFullPath();
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
