// The program's entry. The runtime's start-up passes WinMain's result to exit,
// which runs the exit routines (the port library's release among them).
#include <windows.h>

#include "ui/main_window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    // The program has no options, and always opens its window normally.
    return appMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWNORMAL);
}
