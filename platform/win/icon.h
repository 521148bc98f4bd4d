// Icons: the program's icon resources (PNG images at desktop sizes, see
// platform/win/images.h) and the standard icons. Icon handles live as long as the
// process, as icons loaded from resources do on Windows.
#pragma once

#include "platform/win/winuser_more.h"

// An icon resource by id (MAKEINTRESOURCEA) or a standard icon
// (IDI_APPLICATION, ...); null when there is no such icon.
HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName);
HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName);
// Draws the icon at SM_CXICON x SM_CYICON pixels on a device context.
BOOL DrawIcon(HDC hdc, int x, int y, HICON hIcon);
BOOL DestroyIcon(HICON hIcon);
