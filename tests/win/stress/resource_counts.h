// Counts of what a process holds, taken from inside it: GDI objects, kernel
// handles and the windows of one thread. Where the platform's own counters
// answer (GetGuiResources, GetProcessHandleCount) they are used; Wine answers
// 0 to both, so there the tables are probed:
//   - GDI: Wine indexes its GDI table by a handle's low 16 bits and accepts a
//     handle that carries the index alone, so GetObjectType over 1..0xFFFF
//     finds every live object of the process;
//   - kernel handles: GetHandleInformation over the handle values 4, 8, ...
//     up to 0x10000 (Wine hands out the lowest free value first).
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace stress {

inline int gdiObjects()
{
    DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (n != 0) {
        return static_cast<int>(n);
    }
    int count = 0;
    for (UINT_PTR index = 1; index < 0x10000; ++index) {
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) {
            ++count;
        }
    }
    return count;
}

inline int kernelHandles()
{
    DWORD n = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &n) && n != 0) {
        return static_cast<int>(n);
    }
    int count = 0;
    for (UINT_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
        }
    }
    return count;
}

inline BOOL CALLBACK countChild(HWND, LPARAM param)
{
    ++*reinterpret_cast<int *>(param);
    return TRUE;
}

inline BOOL CALLBACK countTopLevel(HWND window, LPARAM param)
{
    ++*reinterpret_cast<int *>(param);
    EnumChildWindows(window, countChild, param);  // all descendants
    return TRUE;
}

// The thread's windows: its top-level windows and all their descendants.
inline int threadWindows(DWORD threadId = GetCurrentThreadId())
{
    int count = 0;
    EnumThreadWindows(threadId, countTopLevel, reinterpret_cast<LPARAM>(&count));
    return count;
}

struct Counts {
    int gdi = 0;
    int handles = 0;
    int windows = 0;
};

inline Counts countNow()
{
    return {gdiObjects(), kernelHandles(), threadWindows()};
}

inline std::string describe(const Counts &c)
{
    if (c.gdi == 0 && c.handles == 0 && c.windows == 0) {
        return "not counted";
    }
    char text[96];
    std::snprintf(text, sizeof text, "%d GDI objects, %d kernel handles, %d windows", c.gdi, c.handles, c.windows);
    return text;
}

}  // namespace stress
