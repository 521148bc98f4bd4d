// The little of GDI the window layer needs now: painting a window during its
// WM_PAINT (BeginPaint/EndPaint give a device context that draws on the
// window's widget), stock objects and font handles. Drawing primitives come
// with the owner-drawn controls.
#pragma once

#include "platform/win/winuser_more.h"

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};

// Inside WM_PAINT: a device context drawing on the window. Outside, a device
// context that draws nothing (the window has nothing to repaint).
HDC BeginPaint(HWND hwnd, PAINTSTRUCT *ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT *ps);
// The window a device context belongs to (null for none).
HWND WindowFromDC(HDC hdc);

// Stock objects
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int DEFAULT_GUI_FONT = 17;
HGDIOBJ GetStockObject(int i);
// The colour of a stock brush; false for other objects.
bool GetStockBrushColor(HGDIOBJ brush, COLORREF *color);
