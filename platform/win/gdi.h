// GDI as far as the program draws: painting a window during its WM_PAINT
// (BeginPaint/EndPaint give a device context that draws on the window's
// widget), memory device contexts holding a bitmap, pens, brushes, clip
// regions, rounded rectangles, bitmap copies and text. Every pen, brush,
// region and memory device context lives until it is deleted, and
// LiveGdiObjectCount() (paint_internal.h) counts them, so a drawing that
// forgets one can be caught.
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

// The desktop palette's colours: the face of dialogs and buttons and its
// text, an edit box's background and text. 0 (black) for other indexes.
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_3DFACE = COLOR_BTNFACE;
constexpr int COLOR_BTNTEXT = 18;
DWORD GetSysColor(int nIndex);

// Stock objects beyond the brushes
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;

// Pens and brushes
constexpr int PS_SOLID = 0;
constexpr int PS_NULL = 5;
constexpr UINT BS_SOLID = 0;
constexpr UINT BS_NULL = 1;
constexpr UINT BS_HOLLOW = BS_NULL;
struct LOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG_PTR lbHatch;
};
// A pen of one of the styles above; other styles are drawn solid. Null for
// a negative width.
HPEN CreatePen(int iStyle, int cWidth, COLORREF color);
HBRUSH CreateSolidBrush(COLORREF color);
// BS_SOLID and BS_NULL; null for the other (hatched, patterned) styles.
HBRUSH CreateBrushIndirect(const LOGBRUSH *plbrush);

// Regions (rectangles; a clip region may become any union of them)
constexpr int RGN_ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;
HRGN CreateRectRgn(int left, int top, int right, int bottom);

// Frees a pen, brush or region. Stock objects, fonts and bitmaps loaded from
// the resources live as long as the program: deleting them does nothing and
// succeeds. FALSE for a handle that is no GDI object (or already deleted).
BOOL DeleteObject(HGDIOBJ ho);

// Bitmap resources (platform/win/images.h) by id; the handle names the resource.
HBITMAP LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName);
// The resource id behind a bitmap handle from LoadBitmapA; 0 for others.
UINT BitmapResourceId(HBITMAP hBitmap);

// A memory device context "compatible with" hdc (null: the screen): it draws
// nothing itself and holds the bitmap selected into it, for BitBlt to copy
// from. Freed with DeleteDC (which leaves the selected bitmap alone).
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);

// Selects a pen, brush, font or bitmap (bitmaps into memory device contexts
// only) and returns the one it replaces; null when it cannot. A region
// becomes the clip region (SelectClipRgn) and the region type is returned.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);

// Clipping. SelectClipRgn copies the region (the caller still owns and
// deletes it); null removes clipping. ExcludeClipRect takes the rectangle
// out of the current clip region (the whole surface when there is none).
// Both return the type of the resulting region, RGN_ERROR on failure.
int SelectClipRgn(HDC hdc, HRGN hrgn);
int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom);

// Raster operations
constexpr DWORD SRCCOPY = 0x00CC0020;
// Copies cx x cy pixels unscaled from (x1, y1) of the source (a memory
// device context's bitmap) to (x, y). Only SRCCOPY; pixels beyond the
// source bitmap are left as they were.
BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
// Copies the cx1 x cy1 pixels at (x1, y1) of the source scaled (nearest
// pixel) to cx x cy at (x, y). Only SRCCOPY; FALSE when the source rectangle
// is not inside the source bitmap.
BOOL StretchBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, int cx1, int cy1,
                DWORD rop);
// The outline with the selected pen, the inside with the selected brush;
// the pen's pixels lie inside (left, top)-(right, bottom), corners are
// ellipses of width x height.
BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height);

// Text, drawn with its top-left corner at (x, y). c counts bytes of UTF-8.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
int SetBkMode(HDC hdc, int mode);
int GetBkMode(HDC hdc);
COLORREF SetBkColor(HDC hdc, COLORREF color);
COLORREF SetTextColor(HDC hdc, COLORREF color);
COLORREF GetTextColor(HDC hdc);
BOOL GetTextExtentPointA(HDC hdc, LPCSTR lpString, int c, SIZE *lpsz);
BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, SIZE *lpsz);
BOOL TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c);
