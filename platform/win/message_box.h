// Message boxes. The program shows the desktop's message box with the icon
// and buttons of uType; a test answers them through the seam of
// platform/win/ui_seam.h instead, so none waits for a person.
#pragma once

#include "platform/win/winuser_more.h"

// Returns the id of the chosen button (IDOK, IDCANCEL, IDYES, ...); closing
// the box counts as Cancel (or as OK / No where the box has no Cancel).
int MessageBoxA(HWND hwnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
