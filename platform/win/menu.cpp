// Menus as data behind handles, shown as toolkit popup menus.
#include "platform/win/menu.h"

#include "platform/win/messages.h"
#include "platform/win/window.h"
#include "platform/win/window_internal.h"
#include "platform/win/dialog_template.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace quavix::win {
namespace {

struct MenuItem {
  std::string text;
  UINT id = 0;
  UINT flags = 0;
  HMENU sub = nullptr;
};

struct Menu {
  std::vector<MenuItem> items;
  bool system = false;
};

std::uintptr_t g_nextMenu = 0x20000;

std::unordered_map<std::uintptr_t, std::unique_ptr<Menu>> &Menus() {
  static auto *menus = new std::unordered_map<std::uintptr_t, std::unique_ptr<Menu>>();
  return *menus;
}

Menu *FindMenu(HMENU h) {
  auto it = Menus().find(reinterpret_cast<std::uintptr_t>(h));
  return it == Menus().end() ? nullptr : it->second.get();
}

HMENU NewMenu() {
  HMENU h = reinterpret_cast<HMENU>(g_nextMenu);
  g_nextMenu += 0x10;
  Menus()[reinterpret_cast<std::uintptr_t>(h)] = std::make_unique<Menu>();
  return h;
}

// The item by command (searching sub-menus) or by position.
MenuItem *FindItem(HMENU h, UINT which, UINT flags) {
  Menu *m = FindMenu(h);
  if (m == nullptr) return nullptr;
  if (flags & MF_BYPOSITION) return which < m->items.size() ? &m->items[which] : nullptr;
  for (MenuItem &item : m->items) {
    if (item.sub != nullptr) {
      if (MenuItem *found = FindItem(item.sub, which, flags)) return found;
    } else if (!(item.flags & MF_SEPARATOR) && item.id == which) {
      return &item;
    }
  }
  return nullptr;
}

void Fill(QMenu *qmenu, HMENU h) {
  Menu *m = FindMenu(h);
  if (m == nullptr) return;
  for (const MenuItem &item : m->items) {
    if (item.flags & MF_SEPARATOR) {
      qmenu->addSeparator();
      continue;
    }
    const bool enabled = !(item.flags & (MF_GRAYED | MF_DISABLED));
    if (item.sub != nullptr) {
      QMenu *sub = qmenu->addMenu(ToQ(item.text));
      sub->setEnabled(enabled);
      Fill(sub, item.sub);
      continue;
    }
    QAction *action = qmenu->addAction(ToQ(item.text));
    action->setData(static_cast<qulonglong>(item.id));
    action->setEnabled(enabled);
    if (item.flags & MF_CHECKED) {
      action->setCheckable(true);
      action->setChecked(true);
    }
  }
}

}  // namespace

void ShowSystemMenuAt(HWND hwnd, const QPoint &globalPos) {
  HMENU menu = GetSystemMenu(hwnd, FALSE);
  if (menu != nullptr)
    TrackPopupMenu(menu, TPM_LEFTALIGN, globalPos.x(), globalPos.y(), 0, hwnd, nullptr);
}

}  // namespace quavix::win

using namespace quavix::win;

HMENU GetSystemMenu(HWND hwnd, BOOL bRevert) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr || w->IsChild()) return nullptr;
  if (bRevert) {
    if (w->systemMenu) DestroyMenu(w->systemMenu);
    w->systemMenu = nullptr;
    return nullptr;
  }
  if (w->systemMenu == nullptr) {
    HMENU h = NewMenu();
    FindMenu(h)->system = true;
    if (w->style & WS_MINIMIZEBOX) AppendMenuA(h, MF_STRING, SC_MINIMIZE, "Mi&nimize");
    if (w->style & WS_SYSMENU) AppendMenuA(h, MF_STRING, SC_CLOSE, "&Close");
    w->systemMenu = h;
  }
  return w->systemMenu;
}

HMENU CreateMenu() { return NewMenu(); }
HMENU CreatePopupMenu() { return NewMenu(); }

BOOL AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem) {
  Menu *m = FindMenu(hMenu);
  if (m == nullptr) return FALSE;
  MenuItem item;
  item.flags = uFlags;
  if (uFlags & MF_SEPARATOR) {
    m->items.push_back(item);
    return TRUE;
  }
  item.text = lpNewItem ? lpNewItem : "";
  if (uFlags & MF_POPUP) {
    item.sub = reinterpret_cast<HMENU>(uIDNewItem);
    if (FindMenu(item.sub) == nullptr) return FALSE;
  } else {
    item.id = static_cast<UINT>(uIDNewItem);
  }
  m->items.push_back(item);
  return TRUE;
}

HMENU LoadMenuA(HINSTANCE hInstance, LPCSTR lpMenuName) {
  (void)hInstance;
  if (lpMenuName == nullptr || !IS_INTRESOURCE(lpMenuName)) return nullptr;
  const MenuTemplate *t =
      FindMenuTemplate(static_cast<int>(reinterpret_cast<std::uintptr_t>(lpMenuName)));
  if (t == nullptr) return nullptr;
  HMENU bar = NewMenu();
  HMENU popup = NewMenu();
  for (const MenuItemTemplate &item : t->items) {
    if (item.text == nullptr)
      AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
    else
      AppendMenuA(popup, MF_STRING, item.id, item.text);
  }
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), t->popupName ? t->popupName : "");
  return bar;
}

HMENU GetSubMenu(HMENU hMenu, int nPos) {
  MenuItem *item = nPos < 0 ? nullptr : FindItem(hMenu, static_cast<UINT>(nPos), MF_BYPOSITION);
  return item ? item->sub : nullptr;
}

int GetMenuItemCount(HMENU hMenu) {
  Menu *m = FindMenu(hMenu);
  return m ? static_cast<int>(m->items.size()) : -1;
}

UINT GetMenuItemID(HMENU hMenu, int nPos) {
  MenuItem *item = nPos < 0 ? nullptr : FindItem(hMenu, static_cast<UINT>(nPos), MF_BYPOSITION);
  if (item == nullptr || item->sub != nullptr) return static_cast<UINT>(-1);
  return item->id;
}

UINT EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable) {
  MenuItem *item = FindItem(hMenu, uIDEnableItem, uEnable);
  if (item == nullptr) return static_cast<UINT>(-1);
  UINT previous = item->flags & (MF_GRAYED | MF_DISABLED);
  item->flags = (item->flags & ~(MF_GRAYED | MF_DISABLED)) | (uEnable & (MF_GRAYED | MF_DISABLED));
  return previous;
}

UINT GetMenuState(HMENU hMenu, UINT uId, UINT uFlags) {
  MenuItem *item = FindItem(hMenu, uId, uFlags);
  if (item == nullptr) return static_cast<UINT>(-1);
  return item->flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_SEPARATOR | MF_POPUP);
}

int GetMenuStringA(HMENU hMenu, UINT uIDItem, LPSTR lpString, int cchMax, UINT flags) {
  MenuItem *item = FindItem(hMenu, uIDItem, flags);
  if (item == nullptr) return 0;
  if (lpString == nullptr || cchMax <= 0) return static_cast<int>(item->text.size());
  std::size_t n = std::min<std::size_t>(item->text.size(), static_cast<std::size_t>(cchMax - 1));
  std::memcpy(lpString, item->text.data(), n);
  lpString[n] = 0;
  return static_cast<int>(n);
}

BOOL TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int nReserved, HWND hwnd,
                    const RECT *prcRect) {
  (void)nReserved;
  (void)prcRect;
  Menu *m = FindMenu(hMenu);
  if (m == nullptr || !IsWindow(hwnd)) return FALSE;
  const bool system = m->system;
  // No toolkit parent: the window may be destroyed while the menu is open.
  QPointer<QMenu> qmenu = new QMenu();
  Fill(qmenu, hMenu);
  QAction *chosen = qmenu->exec(QPoint(x, y));
  UINT id = 0;
  if (qmenu) {
    if (chosen != nullptr) id = static_cast<UINT>(chosen->data().toULongLong());
    delete qmenu.data();
  }
  if (uFlags & TPM_RETURNCMD) return static_cast<BOOL>(id);
  if (id != 0 && !(uFlags & TPM_NONOTIFY))
    PostMessageA(hwnd, system ? WM_SYSCOMMAND : WM_COMMAND, id, 0);
  return TRUE;
}

BOOL DestroyMenu(HMENU hMenu) {
  auto it = Menus().find(reinterpret_cast<std::uintptr_t>(hMenu));
  if (it == Menus().end()) return FALSE;
  std::unique_ptr<Menu> menu = std::move(it->second);
  Menus().erase(it);
  for (const MenuItem &item : menu->items)
    if (item.sub != nullptr) DestroyMenu(item.sub);
  return TRUE;
}

BOOL IsMenu(HMENU hMenu) { return FindMenu(hMenu) ? TRUE : FALSE; }
