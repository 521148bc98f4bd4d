// Menus: the window's system menu, menus built from the program's menu
// templates, and popup menus tracked at a screen point.
//
// On this desktop the window manager owns the title bar's menu, so a dialog
// offers its system menu as its context menu (right click on the dialog's
// background, the Menu key, Shift+F10): Minimize (when the dialog has a
// minimize box) and Close, then whatever the program appended. Choosing an
// item posts WM_SYSCOMMAND with the item's id to the dialog.
#pragma once

#include "platform/win/winuser_more.h"

// bRevert FALSE: the window's system menu, made on first use. TRUE: resets
// it to the default items and returns null.
HMENU GetSystemMenu(HWND hwnd, BOOL bRevert);

HMENU CreateMenu();
HMENU CreatePopupMenu();
// MF_STRING with an id and text, MF_SEPARATOR, MF_POPUP (uIDNewItem is then
// the sub-menu, which the menu takes over); MF_GRAYED / MF_DISABLED /
// MF_CHECKED as the item's state.
BOOL AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem);
// A menu with one popup, from the menu template with that resource id
// (FindMenuTemplate); null when there is none.
HMENU LoadMenuA(HINSTANCE hInstance, LPCSTR lpMenuName);
HMENU GetSubMenu(HMENU hMenu, int nPos);
int GetMenuItemCount(HMENU hMenu);
UINT GetMenuItemID(HMENU hMenu, int nPos);
// Returns the item's previous state (MF_ENABLED / MF_GRAYED / MF_DISABLED)
// or -1 (as UINT) when there is no such item.
UINT EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable);
UINT GetMenuState(HMENU hMenu, UINT uId, UINT uFlags);
int GetMenuStringA(HMENU hMenu, UINT uIDItem, LPSTR lpString, int cchMax, UINT flags);
// Shows the popup at the screen point and waits for the choice. The chosen
// command is posted to hwnd as WM_COMMAND (WM_SYSCOMMAND for a system menu),
// or returned with TPM_RETURNCMD. Returns 0 when nothing was chosen.
BOOL TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int nReserved, HWND hwnd,
                    const RECT *prcRect);
BOOL DestroyMenu(HMENU hMenu);
BOOL IsMenu(HMENU hMenu);
