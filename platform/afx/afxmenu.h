// CMenu: a menu handle with the framework's helpers.
#pragma once

#include "platform/afx/afxwnd.h"

class CMenu {
 public:
  CMenu() = default;
  virtual ~CMenu();
  CMenu(const CMenu &) = delete;
  CMenu &operator=(const CMenu &) = delete;

  HMENU m_hMenu = nullptr;

  // A temporary CMenu for a handle, kept while the menu lives.
  static CMenu *FromHandle(HMENU hMenu);
  HMENU GetSafeHmenu() const { return m_hMenu; }
  operator HMENU() const { return m_hMenu; }  // NOLINT
  BOOL Attach(HMENU hMenu);
  HMENU Detach();

  BOOL LoadMenu(UINT nIDResource);
  BOOL CreatePopupMenu();
  BOOL DestroyMenu();
  BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCSTR lpszNewItem = nullptr);
  UINT EnableMenuItem(UINT nIDEnableItem, UINT nEnable);
  CMenu *GetSubMenu(int nPos) const;
  int GetMenuItemCount() const;
  UINT GetMenuItemID(int nPos) const;
  BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd *pWnd, const RECT *lpRect = nullptr);
};
