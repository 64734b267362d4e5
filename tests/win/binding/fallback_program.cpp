// The program itself, on the road it takes on Windows versions that lack
// SetDefaultDllDirectories (XP, Vista, 7 without KB2533623): its lookup of
// that function names one that no kernel32 has.
#include <windows.h>

#include "radio/port_library.h"
#include "ui/main_window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    defaultDllDirectoriesEntry = "NoSuchFunctionAnywhere";
    return appMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWNORMAL);
}
