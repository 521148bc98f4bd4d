// Timers: WM_TIMER to a window (or a call of a timer procedure) every
// elapse milliseconds, on the user-interface thread. Ticks missed while the
// thread was busy are not made up: one tick comes when it is free again.
#pragma once

#include "platform/win/winuser_more.h"

// With a window: (re)starts that window's timer nIDEvent and returns
// nIDEvent (0 on failure). Without a window: a new timer whose id is returned;
// lpTimerFunc is then required.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
BOOL KillTimer(HWND hwnd, UINT_PTR uIDEvent);

// Milliseconds since an arbitrary start (WM_TIMER's time argument).
DWORD GetTickCount();
