// The control panel dialog (template 1101): the operator's whole interface.
#pragma once

#include <windows.h>

INT_PTR CALLBACK controlPanelProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

constexpr UINT_PTR panelTimerId = 1;
constexpr UINT panelTimerMs = 10;
constexpr COLORREF transmitColour = RGB(255, 220, 180);  // peach while keyed
constexpr COLORREF receiveColour = RGB(200, 240, 200);   // light green while receiving
constexpr COLORREF displayTextColour = RGB(10, 10, 80);
// The transmit channel outside the band: amber while receiving, red while
// keyed (the transmitter then stays on the last channel loaded inside the band).
constexpr COLORREF outsideBandColour = RGB(255, 176, 0);
constexpr COLORREF keyedOutsideBandColour = RGB(255, 64, 64);
