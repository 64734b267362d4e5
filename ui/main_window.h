// Start-up, the main window "QD7150-Control" with its menu, and shut-down.
#pragma once

#include <windows.h>

constexpr char rootClassName[] = "RootClass";
constexpr char mainWindowTitle[] = "QD7150-Control";

extern HINSTANCE appInstance;  // the running program
extern HWND mainWindow;        // the main window, once its creation has returned

int appMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
int registerRootClass(HINSTANCE instance);
int createRootWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK rootWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT onRootCommand(HWND window, int id, LPARAM lParam);
