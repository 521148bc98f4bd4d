// Windows: handles, classes, creation and destruction, and the properties
// the program reads and sets (text, visibility, enabling, geometry, styles,
// user data, focus). A handle names a live window object; a destroyed
// window's handle is never reused, so a stale handle is simply not a window.
// Everything here runs on the user-interface thread.
#pragma once

#include "platform/win/winuser_more.h"

// Classes: every window class with its own procedure (the built-in control
// classes "BUTTON", "EDIT", "STATIC", "COMBOBOX", "msctls_trackbar32" and the
// dialog class exist from the start). Names compare case-insensitively.
// Registering a name twice fails (returns 0) and keeps the first class.
ATOM RegisterClassExA(const WNDCLASSEXA *wc);

// Creates a top-level window (no WS_CHILD; hWndParent is then the owner) or
// a child window (WS_CHILD; hMenu carries the control id). Coordinates are
// the outer rectangle in screen pixels for a top-level window, the parent's
// client pixels for a child. WM_CREATE reaches the window procedure before
// this returns; a result of -1 from it destroys the window and fails.
HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int x,
                     int y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                     HINSTANCE hInstance, LPVOID lpParam);

// Sends WM_DESTROY (the window, then its children) and WM_NCDESTROY, stops
// its timers, destroys the windows it owns, and frees the handle.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);

HWND GetDlgItem(HWND hDlg, int nIDDlgItem);
int GetDlgCtrlID(HWND hwnd);
HWND GetParent(HWND hwnd);

// Text. These go through WM_SETTEXT / WM_GETTEXT / WM_GETTEXTLENGTH, so a
// window procedure that handles those messages sees them.
BOOL SetWindowTextA(HWND hwnd, LPCSTR text);
int GetWindowTextA(HWND hwnd, LPSTR buffer, int nMaxCount);
int GetWindowTextLengthA(HWND hwnd);
BOOL SetDlgItemTextA(HWND hDlg, int id, LPCSTR text);
UINT GetDlgItemTextA(HWND hDlg, int id, LPSTR buffer, int nMaxCount);

// Visibility and state. IsWindowVisible is true when the window and all its
// parents carry WS_VISIBLE, as on Windows.
BOOL ShowWindow(HWND hwnd, int nCmdShow);
BOOL IsWindowVisible(HWND hwnd);
BOOL EnableWindow(HWND hwnd, BOOL bEnable);
BOOL IsWindowEnabled(HWND hwnd);
BOOL IsIconic(HWND hwnd);

// Painting: requests a WM_PAINT; UpdateWindow paints pending areas now.
BOOL InvalidateRect(HWND hwnd, const RECT *rect, BOOL bErase);
BOOL UpdateWindow(HWND hwnd);

// Geometry. A top-level window's outer rectangle is its client area plus a
// frame of SM_CXFRAME/SM_CYFRAME on each side and, with WS_CAPTION, a caption
// of SM_CYCAPTION: the window manager draws the real frame, but the program's
// arithmetic (outer size from client size and back) stays exact.
BOOL GetClientRect(HWND hwnd, RECT *rect);
BOOL GetWindowRect(HWND hwnd, RECT *rect);
BOOL SetWindowPos(HWND hwnd, HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT uFlags);
BOOL MoveWindow(HWND hwnd, int x, int y, int nWidth, int nHeight, BOOL bRepaint);
BOOL ClientToScreen(HWND hwnd, POINT *point);
BOOL ScreenToClient(HWND hwnd, POINT *point);

BOOL SetForegroundWindow(HWND hwnd);
HWND SetActiveWindow(HWND hwnd);
HWND GetActiveWindow();
// Returns the window that had the focus before (null when none).
HWND SetFocus(HWND hwnd);
HWND GetFocus();

// GWL_STYLE, GWL_EXSTYLE, GWLP_USERDATA, GWLP_ID, GWLP_WNDPROC (subclassing:
// returns the previous procedure, which the new one passes messages on to
// with CallWindowProcA), GWLP_HINSTANCE, GWLP_HWNDPARENT (read only).
LONG_PTR GetWindowLongPtrA(HWND hwnd, int nIndex);
LONG_PTR SetWindowLongPtrA(HWND hwnd, int nIndex, LONG_PTR value);
inline LONG GetWindowLongA(HWND hwnd, int nIndex) {
  return static_cast<LONG>(GetWindowLongPtrA(hwnd, nIndex));
}
inline LONG SetWindowLongA(HWND hwnd, int nIndex, LONG value) {
  return static_cast<LONG>(SetWindowLongPtrA(hwnd, nIndex, value));
}

// Screen and desktop: SM_CXSCREEN, SM_CYSCREEN, SM_CYCAPTION, SM_CXFRAME,
// SM_CYFRAME, SM_CXICON, SM_CYICON, SM_CXSMICON, SM_CYSMICON.
int GetSystemMetrics(int nIndex);
// SPI_GETWORKAREA: the primary screen's area without panels, into a RECT.
BOOL SystemParametersInfoA(UINT uiAction, UINT uiParam, PVOID pvParam, UINT fWinIni);

// Plays the desktop's alert sound (a beep where there is none).
BOOL MessageBeep(UINT uType);
