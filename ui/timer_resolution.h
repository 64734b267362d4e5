// The panel's 10 ms heartbeat and the 2 ms settle waits need a 1 ms system
// timer: stock Windows runs timers and Sleep at about 15.6 ms. The panel asks
// for 1 ms while it is open and gives it back when it closes.
#pragma once

#include <windows.h>

// The multimedia timer calls, kept in slots so that tests can count them.
extern UINT(WINAPI *beginTimerPeriod)(UINT ms);
extern UINT(WINAPI *endTimerPeriod)(UINT ms);

constexpr UINT fineTimerMs = 1;

void requestFineTimer();
void releaseFineTimer();
