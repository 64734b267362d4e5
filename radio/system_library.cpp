#include "radio/system_library.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32 is known to LoadLibraryExW exactly where
// SetDefaultDllDirectories exists (Windows 8, and 7 or Vista with
// KB2533623); older Windows refuses the flag.
bool systemSearchFlagKnown()
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel != nullptr && GetProcAddress(kernel, "SetDefaultDllDirectories") != nullptr;
}

}  // namespace

HMODULE loadLibraryQuietly(const wchar_t *path, DWORD flags)
{
    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    SetErrorMode(previous | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryExW(path, nullptr, flags);
    SetErrorMode(previous);
    return library;
}

HMODULE loadSystemLibrary(const wchar_t *fileName)
{
    if (systemSearchFlagKnown()) {
        return loadLibraryQuietly(fileName, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenW(fileName) >= MAX_PATH) {
        return nullptr;  // no system folder, or its path too long to add the name
    }
    path[length] = L'\\';
    lstrcpyW(path + length + 1, fileName);
    return loadLibraryQuietly(path, 0);
}
