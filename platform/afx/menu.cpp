#include "platform/afx/afxmenu.h"

#include "platform/afx/afximpl.h"

#include <map>
#include <memory>

namespace {
std::map<HMENU, std::unique_ptr<CMenu>> &Temporary() {
  static std::map<HMENU, std::unique_ptr<CMenu>> map;
  return map;
}
}  // namespace

void AfxReleaseTemporaryMenus() {
  for (auto &[h, m] : Temporary()) m->m_hMenu = nullptr;
  Temporary().clear();
}

CMenu::~CMenu() { DestroyMenu(); }

CMenu *CMenu::FromHandle(HMENU hMenu) {
  if (hMenu == nullptr) return nullptr;
  auto &temps = Temporary();
  for (auto it = temps.begin(); it != temps.end();) {
    if (!::IsMenu(it->first)) {
      it->second->m_hMenu = nullptr;
      it = temps.erase(it);
    } else {
      ++it;
    }
  }
  if (!::IsMenu(hMenu)) return nullptr;
  auto &slot = temps[hMenu];
  if (!slot) {
    slot = std::make_unique<CMenu>();
    slot->m_hMenu = hMenu;
  }
  return slot.get();
}

BOOL CMenu::Attach(HMENU hMenu) {
  if (m_hMenu != nullptr || hMenu == nullptr) return FALSE;
  m_hMenu = hMenu;
  return TRUE;
}

HMENU CMenu::Detach() {
  HMENU h = m_hMenu;
  m_hMenu = nullptr;
  return h;
}

BOOL CMenu::LoadMenu(UINT nIDResource) {
  DestroyMenu();
  m_hMenu = ::LoadMenuA(nullptr, MAKEINTRESOURCEA(static_cast<WORD>(nIDResource)));
  return m_hMenu != nullptr ? TRUE : FALSE;
}

BOOL CMenu::CreatePopupMenu() {
  DestroyMenu();
  m_hMenu = ::CreatePopupMenu();
  return m_hMenu != nullptr ? TRUE : FALSE;
}

BOOL CMenu::DestroyMenu() {
  if (m_hMenu == nullptr) return FALSE;
  BOOL ok = ::DestroyMenu(m_hMenu);
  m_hMenu = nullptr;
  return ok;
}

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, LPCSTR lpszNewItem) {
  return ::AppendMenuA(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
}

UINT CMenu::EnableMenuItem(UINT nIDEnableItem, UINT nEnable) {
  return ::EnableMenuItem(m_hMenu, nIDEnableItem, nEnable);
}
CMenu *CMenu::GetSubMenu(int nPos) const { return FromHandle(::GetSubMenu(m_hMenu, nPos)); }
int CMenu::GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }
UINT CMenu::GetMenuItemID(int nPos) const { return ::GetMenuItemID(m_hMenu, nPos); }

BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd *pWnd, const RECT *lpRect) {
  return ::TrackPopupMenu(m_hMenu, nFlags, x, y, 0, pWnd ? pWnd->m_hWnd : nullptr, lpRect);
}
