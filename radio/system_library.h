// Windows' own DLLs that are not Known DLLs (winmm, comctl32, oleacc) are
// loaded at run time from the system folder, never by a search: a search
// looks in the program's folder first, and a DLL planted there (in a
// Downloads folder, say) would run inside the program. The program imports
// statically only Known DLLs, and binds everything else through these.
#pragma once

#include <windows.h>

// Loads `path` with Windows' own error boxes off ("Bad Image" for a damaged
// file, "no disk" for an empty drive), so that the operator sees only our
// messages; the process's error mode is restored afterwards.
HMODULE loadLibraryQuietly(const wchar_t *path, DWORD flags);

// Loads the system DLL `fileName` ("winmm.dll") from the system folder only:
// by LOAD_LIBRARY_SEARCH_SYSTEM32 where Windows has it, else by the full path
// from GetSystemDirectoryW. Empty when it cannot be loaded; the feature that
// needs it is then left off.
HMODULE loadSystemLibrary(const wchar_t *fileName);

// Fills `slot` with the entry point `name` of `library`; false, and the slot
// empty, when the library or the entry point is missing.
template <typename Proc>
bool bindEntry(HMODULE library, const char *name, Proc &slot)
{
    slot = library ? reinterpret_cast<Proc>(reinterpret_cast<void *>(GetProcAddress(library, name))) : nullptr;
    return slot != nullptr;
}
