// The open-file and save-file dialogs. The program shows the desktop's file
// dialog with the request's filters, folder and title; a test answers the
// request through platform/win/ui_seam.h instead.
#pragma once

#include "platform/win/winuser_more.h"

using LPOFNHOOKPROC = UINT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

struct OPENFILENAMEA {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCSTR lpstrFilter;  // pairs of zero-terminated strings, ended by one more zero
  LPSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;  // 1-based; the chosen filter on return
  LPSTR lpstrFile;     // in: initial name; out: the chosen full path
  DWORD nMaxFile;
  LPSTR lpstrFileTitle;  // out: the chosen name without folder (may be null)
  DWORD nMaxFileTitle;
  LPCSTR lpstrInitialDir;
  LPCSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCSTR lpstrDefExt;
  LPARAM lCustData;
  LPOFNHOOKPROC lpfnHook;
  LPCSTR lpTemplateName;
  void *pvReserved;
  DWORD dwReserved;
  DWORD FlagsEx;
};
using LPOPENFILENAMEA = OPENFILENAMEA *;

// The size of the version-4 layout (no pvReserved, dwReserved, FlagsEx) as
// the program gives it; the fields it covers are the ones read and written.
constexpr DWORD OPENFILENAME_SIZE_VERSION_400A = 76;

// More flags
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;

// Extended errors (CommDlgExtendedError)
constexpr DWORD CDERR_STRUCTSIZE = 0x0001;
constexpr DWORD CDERR_INITIALIZATION = 0x0002;
constexpr DWORD FNERR_BUFFERTOOSMALL = 0x3003;

// TRUE with lpstrFile (and lpstrFileTitle, nFilterIndex, nFileOffset,
// nFileExtension) filled when the user chose a file; FALSE when cancelled
// or failed (CommDlgExtendedError says which; 0 for cancel). A chosen path
// longer than nMaxFile - 1 is refused with a message, never cut.
BOOL GetOpenFileNameA(LPOPENFILENAMEA ofn);
BOOL GetSaveFileNameA(LPOPENFILENAMEA ofn);
DWORD CommDlgExtendedError();
