// Window objects behind handles: the handle table, window classes, creation
// and destruction, and the properties the program reads and sets.
#include "platform/win/window.h"

#include "platform/win/dialogs.h"
#include "platform/win/gdi.h"
#include "platform/win/menu.h"
#include "platform/win/messages.h"
#include "platform/win/window_internal.h"

#include <QApplication>
#include <QPalette>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace quavix::win {

namespace {

// Handles are numbers that are never reused, spaced so they cannot be
// mistaken for the special values HWND_TOP/BOTTOM/TOPMOST/NOTOPMOST.
std::atomic<std::uintptr_t> g_nextHandle{0x10000};

std::mutex g_tableMutex;
std::unordered_map<std::uintptr_t, std::unique_ptr<Window>> &Table() {
  static auto *table = new std::unordered_map<std::uintptr_t, std::unique_ptr<Window>>();
  return *table;
}

std::uintptr_t Key(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd); }

struct WindowClass {
  std::string name;
  UINT style{};
  WNDPROC proc{};
  HICON icon{};
  HBRUSH background{};
};

std::string Lower(const std::string &s) {
  std::string out = s;
  for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::map<std::string, WindowClass> &Classes() {
  static std::map<std::string, WindowClass> classes = [] {
    std::map<std::string, WindowClass> m;
    for (const char *name : {"BUTTON", "EDIT", "STATIC", "COMBOBOX", "msctls_trackbar32"}) {
      std::string lower = Lower(name);
      m[lower] = WindowClass{name, 0, ControlClassProc(lower), nullptr, nullptr};
    }
    m["#32770"] = WindowClass{"#32770", 0, &DefDlgProcA, nullptr, nullptr};
    return m;
  }();
  return classes;
}

int g_callDepth = 0;

// Children of a window in creation order.
std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> out;
  std::lock_guard<std::mutex> lock(g_tableMutex);
  for (auto &[key, w] : Table())
    if (w->IsChild() && w->parent == parent) out.push_back(w->hwnd);
  std::sort(out.begin(), out.end(), [](HWND a, HWND b) { return Key(a) < Key(b); });
  return out;
}

std::vector<HWND> OwnedBy(HWND owner) {
  std::vector<HWND> out;
  std::lock_guard<std::mutex> lock(g_tableMutex);
  for (auto &[key, w] : Table())
    if (!w->IsChild() && w->owner == owner) out.push_back(w->hwnd);
  std::sort(out.begin(), out.end(), [](HWND a, HWND b) { return Key(a) < Key(b); });
  return out;
}

void SendDestroy(HWND hwnd) {
  SendMessageA(hwnd, WM_DESTROY, 0, 0);
  for (HWND child : ChildrenOf(hwnd)) SendDestroy(child);
}

void SendNcDestroy(HWND hwnd) {
  for (HWND child : ChildrenOf(hwnd)) SendNcDestroy(child);
  SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
}

void CollectTree(HWND hwnd, std::vector<HWND> *out) {
  out->push_back(hwnd);
  for (HWND child : ChildrenOf(hwnd)) CollectTree(child, out);
}

// Frame added around a top-level window's client area (see window.h).
void FrameExtents(const Window &w, int *cx, int *cy, int *captionCy) {
  bool framed =
      !w.IsChild() && (w.style & (WS_CAPTION | WS_THICKFRAME | WS_DLGFRAME | WS_BORDER)) != 0;
  *cx = framed ? GetSystemMetrics(SM_CXFRAME) : 0;
  *cy = framed ? GetSystemMetrics(SM_CYFRAME) : 0;
  *captionCy =
      (!w.IsChild() && (w.style & WS_CAPTION) == WS_CAPTION) ? GetSystemMetrics(SM_CYCAPTION) : 0;
}

void ApplyVisibility(Window *w) {
  QWidget *widget = w->widget;
  if (!widget) return;
  bool visible = (w->style & WS_VISIBLE) != 0;
  if (w->IsChild()) {
    widget->setVisible(visible);
  } else if (visible) {
    if (widget->isHidden()) widget->show();
  } else {
    widget->hide();
  }
}

// A top-level window without a sizing border keeps the size the program
// gives it: the person cannot drag it to another one.
void SizeTopLevel(Window &w, int cx, int cy) {
  if (w.IsChild() || (w.style & WS_THICKFRAME) != 0 || w.isDialog)
    w.widget->resize(cx, cy);
  else
    w.widget->setFixedSize(cx, cy);
}

}  // namespace

ToolkitCallScope::ToolkitCallScope() { ++g_callDepth; }
ToolkitCallScope::~ToolkitCallScope() { --g_callDepth; }
bool ToolkitCallScope::Active() { return g_callDepth > 0; }

Window *FindWindowObject(HWND hwnd) {
  if (hwnd == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(g_tableMutex);
  auto it = Table().find(Key(hwnd));
  return it == Table().end() ? nullptr : it->second.get();
}

bool IsLiveHandle(HWND hwnd) { return FindWindowObject(hwnd) != nullptr; }

HWND HwndFromWidget(const QWidget *widget) {
  for (const QWidget *w = widget; w != nullptr; w = w->parentWidget()) {
    if (auto *host = dynamic_cast<const WindowWidget *>(w)) {
      if (IsLiveHandle(host->Hwnd())) return host->Hwnd();
    }
  }
  return nullptr;
}

HWND TopLevelOf(HWND hwnd) {
  Window *w = FindWindowObject(hwnd);
  while (w != nullptr && w->IsChild()) {
    Window *p = FindWindowObject(w->parent);
    if (p == nullptr) break;
    w = p;
  }
  return w ? w->hwnd : nullptr;
}

QWidget *WidgetOf(HWND hwnd) {
  Window *w = FindWindowObject(hwnd);
  return w ? w->widget.data() : nullptr;
}

HWND CreateWindowObject(const CreateParams &p) {
  if (QApplication::instance() == nullptr) return nullptr;
  InstallWindowMessagePoster();
  const std::string lower = Lower(p.className);
  auto cls = Classes().find(lower);
  if (cls == Classes().end()) return nullptr;

  const bool child = (p.style & WS_CHILD) != 0;
  QWidget *parentWidget = nullptr;
  if (child) {
    parentWidget = WidgetOf(p.parent);
    if (parentWidget == nullptr) return nullptr;
  } else if (p.parent != nullptr) {
    parentWidget = WidgetOf(TopLevelOf(p.parent));
  }

  auto object = std::make_unique<Window>();
  Window *w = object.get();
  HWND hwnd = reinterpret_cast<HWND>(g_nextHandle.fetch_add(0x10));
  w->hwnd = hwnd;
  w->className = cls->second.name;
  w->proc = cls->second.proc;
  w->style = p.style & ~WS_VISIBLE;
  w->exStyle = p.exStyle;
  w->id = child ? p.id : 0;
  w->parent = child ? p.parent : nullptr;
  w->owner = child ? nullptr : TopLevelOf(p.parent);
  w->instance = p.instance;
  w->text = p.text ? p.text : "";
  w->isDialog = p.isDialog;
  w->dialogId = p.dialogId;
  w->dlgProc = p.dlgProc;
  w->iconBig = cls->second.icon;
  {
    std::lock_guard<std::mutex> lock(g_tableMutex);
    Table()[Key(hwnd)] = std::move(object);
  }

  QWidget *widget = nullptr;
  if (child) {
    widget = CreateControlWidget(lower, hwnd, p.style, parentWidget);
    if (widget == nullptr) widget = CreateGenericChildWidget(hwnd, parentWidget);
  } else {
    widget = CreateTopLevelWidget(hwnd, parentWidget, p.style, p.exStyle, p.isDialog);
  }
  w->widget = widget;
  w->host = dynamic_cast<WindowWidget *>(widget);

  COLORREF background = 0;
  if (cls->second.background != nullptr &&
      GetStockBrushColor(cls->second.background, &background)) {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window,
                 QColor(GetRValue(background), GetGValue(background), GetBValue(background)));
    widget->setPalette(pal);
    widget->setAutoFillBackground(true);
  }

  if (child) {
    widget->setGeometry(p.x, p.y, std::max(p.cx, 0), std::max(p.cy, 0));
    if (p.style & WS_DISABLED) widget->setEnabled(false);
  } else {
    int fx = 0, fy = 0, cap = 0;
    FrameExtents(*w, &fx, &fy, &cap);
    if (p.x != CW_USEDEFAULT) widget->move(p.x, p.y);
    if (p.cx != CW_USEDEFAULT)
      SizeTopLevel(*w, std::max(p.cx - 2 * fx, 1), std::max(p.cy - 2 * fy - cap, 1));
    widget->setWindowTitle(ToQ(w->text));
    // The class's icon is the window's, in the title bar and the task list.
    if (w->iconBig != nullptr) widget->setWindowIcon(IconFromHandle(w->iconBig));
  }
  if (w->host) {
    // The creation text is no change the parent hears of.
    QSignalBlocker quiet(widget);
    w->host->ShowText(w->text);
  }
  if (p.font != nullptr) SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(p.font), FALSE);

  if (p.sendCreate) {
    CREATESTRUCTA cs{};
    cs.lpCreateParams = p.createParam;
    cs.hInstance = p.instance;
    cs.hMenu = child ? reinterpret_cast<HMENU>(static_cast<std::intptr_t>(p.id)) : nullptr;
    cs.hwndParent = p.parent;
    cs.cx = p.cx;
    cs.cy = p.cy;
    cs.x = p.x;
    cs.y = p.y;
    cs.style = static_cast<LONG>(p.style);
    cs.lpszName = p.text;
    cs.lpszClass = p.className.c_str();
    cs.dwExStyle = p.exStyle;
    if (SendMessageA(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
      DestroyWindow(hwnd);
      return nullptr;
    }
  }
  w = FindWindowObject(hwnd);
  if (w == nullptr) return nullptr;
  if (p.style & WS_VISIBLE) {
    w->style |= WS_VISIBLE;
    ApplyVisibility(w);
  }
  return hwnd;
}

}  // namespace quavix::win

using namespace quavix::win;

ATOM RegisterClassExA(const WNDCLASSEXA *wc) {
  if (wc == nullptr || wc->lpszClassName == nullptr || wc->lpfnWndProc == nullptr) return 0;
  if (IS_INTRESOURCE(wc->lpszClassName)) return 0;
  std::string lower = Lower(wc->lpszClassName);
  if (Classes().count(lower)) return 0;
  Classes()[lower] =
      WindowClass{wc->lpszClassName, wc->style, wc->lpfnWndProc, wc->hIcon, wc->hbrBackground};
  return static_cast<ATOM>(0xC000 + Classes().size());
}

HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int x,
                     int y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                     HINSTANCE hInstance, LPVOID lpParam) {
  if (lpClassName == nullptr || IS_INTRESOURCE(lpClassName)) return nullptr;
  CreateParams p;
  p.exStyle = dwExStyle;
  p.className = lpClassName;
  p.text = lpWindowName;
  p.style = dwStyle;
  p.x = x;
  p.y = y;
  p.cx = nWidth;
  p.cy = nHeight;
  p.parent = hWndParent;
  p.id = static_cast<int>(reinterpret_cast<std::intptr_t>(hMenu));
  p.instance = hInstance;
  p.createParam = lpParam;
  return CreateWindowObject(p);
}

BOOL DestroyWindow(HWND hwnd) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr) return FALSE;
  if (w->destroying) return TRUE;
  w->destroying = true;

  for (HWND owned : OwnedBy(hwnd)) DestroyWindow(owned);

  if (w->modalLoop != nullptr && !w->modalEnded) {
    w->modalEnded = true;
    w->modalResult = -1;
  }
  if (w->modalLoop != nullptr) w->modalLoop->exit(kLoopWake);
  if (!w->IsChild() && w->widget) w->widget->hide();

  SendDestroy(hwnd);
  SendNcDestroy(hwnd);

  std::vector<HWND> tree;
  CollectTree(hwnd, &tree);
  QPointer<QWidget> widget;
  if (Window *self = FindWindowObject(hwnd)) widget = self->widget;
  std::vector<std::unique_ptr<Window>> removed;
  for (HWND h : tree) {
    if (Window *x = FindWindowObject(h)) {
      KillAllTimers(x);
      if (x->systemMenu) DestroyMenu(x->systemMenu);
      x->systemMenu = nullptr;
    }
  }
  {
    std::lock_guard<std::mutex> lock(g_tableMutex);
    for (HWND h : tree) {
      auto it = Table().find(Key(h));
      if (it != Table().end()) {
        removed.push_back(std::move(it->second));
        Table().erase(it);
      }
    }
  }
  if (widget) {
    widget->hide();
    if (ToolkitCallScope::Active())
      widget->deleteLater();
    else
      delete widget.data();
  }
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return IsLiveHandle(hwnd) ? TRUE : FALSE; }

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
  if (!IsLiveHandle(hDlg)) return nullptr;
  for (HWND child : ChildrenOf(hDlg)) {
    Window *c = FindWindowObject(child);
    if (c && c->id == nIDDlgItem) return child;
  }
  return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  Window *w = FindWindowObject(hwnd);
  return (w && w->IsChild()) ? w->id : 0;
}

HWND GetParent(HWND hwnd) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr) return nullptr;
  return w->IsChild() ? w->parent : w->owner;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
  if (!IsLiveHandle(hwnd)) return FALSE;
  return SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) >= 0 ? TRUE
                                                                                            : FALSE;
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int nMaxCount) {
  if (buffer == nullptr || nMaxCount <= 0) return 0;
  buffer[0] = 0;
  if (!IsLiveHandle(hwnd)) return 0;
  return static_cast<int>(SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                       reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND hwnd) {
  if (!IsLiveHandle(hwnd)) return 0;
  return static_cast<int>(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL SetDlgItemTextA(HWND hDlg, int id, LPCSTR text) {
  HWND item = GetDlgItem(hDlg, id);
  return item ? SetWindowTextA(item, text) : FALSE;
}

UINT GetDlgItemTextA(HWND hDlg, int id, LPSTR buffer, int nMaxCount) {
  HWND item = GetDlgItem(hDlg, id);
  if (item == nullptr) {
    if (buffer && nMaxCount > 0) buffer[0] = 0;
    return 0;
  }
  return static_cast<UINT>(GetWindowTextA(item, buffer, nMaxCount));
}

BOOL ShowWindow(HWND hwnd, int nCmdShow) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr) return FALSE;
  BOOL wasVisible = (w->style & WS_VISIBLE) ? TRUE : FALSE;
  QWidget *widget = w->widget;
  switch (nCmdShow) {
    case SW_HIDE:
      w->style &= ~WS_VISIBLE;
      ApplyVisibility(w);
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
      w->style |= WS_VISIBLE;
      if (widget && !w->IsChild()) {
        widget->showMinimized();
      } else {
        ApplyVisibility(w);
      }
      break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
      w->style |= WS_VISIBLE;
      if (widget && !w->IsChild()) {
        widget->showNormal();
      } else {
        ApplyVisibility(w);
      }
      break;
    default:
      w->style |= WS_VISIBLE;
      ApplyVisibility(w);
      break;
  }
  return wasVisible;
}

BOOL IsWindowVisible(HWND hwnd) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr) return FALSE;
  while (w != nullptr) {
    if (!(w->style & WS_VISIBLE)) return FALSE;
    if (!w->IsChild()) return TRUE;
    w = FindWindowObject(w->parent);
  }
  return FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL bEnable) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr) return FALSE;
  BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
  if (bEnable)
    w->style &= ~WS_DISABLED;
  else
    w->style |= WS_DISABLED;
  // A disabled top-level window keeps its widget enabled: the toolkit would
  // disable the windows it owns along with it. Modal dialogs block their
  // owner through the toolkit's modality instead.
  if (w->IsChild() && w->widget) w->widget->setEnabled(bEnable != FALSE);
  if (wasDisabled != (bEnable ? FALSE : TRUE))
    SendMessageA(hwnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr) return FALSE;
  return (w->style & WS_DISABLED) ? FALSE : TRUE;
}

BOOL IsIconic(HWND hwnd) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr || w->IsChild() || !w->widget) return FALSE;
  return w->widget->isMinimized() ? TRUE : FALSE;
}

BOOL InvalidateRect(HWND hwnd, const RECT *rect, BOOL bErase) {
  (void)bErase;  // the toolkit always paints a widget's background first
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr || !w->widget) return FALSE;
  if (rect)
    w->widget->update(
        QRect(QPoint(rect->left, rect->top), QPoint(rect->right - 1, rect->bottom - 1)));
  else
    w->widget->update();
  return TRUE;
}

BOOL UpdateWindow(HWND hwnd) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr || !w->widget) return FALSE;
  if (w->widget->isVisible()) w->widget->repaint();
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT *rect) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr || rect == nullptr || !w->widget) return FALSE;
  *rect = RECT{0, 0, w->widget->width(), w->widget->height()};
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT *rect) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr || rect == nullptr || !w->widget) return FALSE;
  QWidget *widget = w->widget;
  if (w->IsChild()) {
    QPoint tl = widget->mapToGlobal(QPoint(0, 0));
    *rect = RECT{tl.x(), tl.y(), tl.x() + widget->width(), tl.y() + widget->height()};
  } else {
    int fx = 0, fy = 0, cap = 0;
    FrameExtents(*w, &fx, &fy, &cap);
    QPoint pos = widget->pos();
    *rect = RECT{pos.x(), pos.y(), pos.x() + widget->width() + 2 * fx,
                 pos.y() + widget->height() + 2 * fy + cap};
  }
  return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT uFlags) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr || !w->widget) return FALSE;
  QWidget *widget = w->widget;
  if (!(uFlags & SWP_NOMOVE)) widget->move(x, y);
  if (!(uFlags & SWP_NOSIZE)) {
    int fx = 0, fy = 0, cap = 0;
    FrameExtents(*w, &fx, &fy, &cap);
    SizeTopLevel(*w, std::max(cx - 2 * fx, 0), std::max(cy - 2 * fy - cap, 0));
  }
  if (!(uFlags & SWP_NOZORDER) && !w->IsChild()) {
    if (hWndInsertAfter == HWND_TOPMOST || hWndInsertAfter == HWND_NOTOPMOST) {
      bool top = hWndInsertAfter == HWND_TOPMOST;
      if (widget->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != top) {
        bool wasVisible = widget->isVisible();
        widget->setWindowFlag(Qt::WindowStaysOnTopHint, top);
        if (wasVisible) widget->show();  // changing window flags hides a window
      }
      if (top) widget->raise();
    } else if (hWndInsertAfter == HWND_TOP) {
      widget->raise();
    } else if (hWndInsertAfter == HWND_BOTTOM) {
      widget->lower();
    }
  } else if (!(uFlags & SWP_NOZORDER) && w->IsChild()) {
    if (hWndInsertAfter == HWND_TOP) widget->raise();
    if (hWndInsertAfter == HWND_BOTTOM) widget->lower();
  }
  if (uFlags & SWP_SHOWWINDOW) ShowWindow(hwnd, SW_SHOW);
  if (uFlags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int nWidth, int nHeight, BOOL bRepaint) {
  (void)bRepaint;
  return SetWindowPos(hwnd, nullptr, x, y, nWidth, nHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL ClientToScreen(HWND hwnd, POINT *point) {
  QWidget *widget = WidgetOf(hwnd);
  if (widget == nullptr || point == nullptr) return FALSE;
  QPoint g = widget->mapToGlobal(QPoint(point->x, point->y));
  point->x = g.x();
  point->y = g.y();
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT *point) {
  QWidget *widget = WidgetOf(hwnd);
  if (widget == nullptr || point == nullptr) return FALSE;
  QPoint c = widget->mapFromGlobal(QPoint(point->x, point->y));
  point->x = c.x();
  point->y = c.y();
  return TRUE;
}

BOOL SetForegroundWindow(HWND hwnd) {
  QWidget *widget = WidgetOf(TopLevelOf(hwnd));
  if (widget == nullptr) return FALSE;
  widget->raise();
  widget->activateWindow();
  return TRUE;
}

HWND SetActiveWindow(HWND hwnd) {
  HWND previous = GetActiveWindow();
  QWidget *widget = WidgetOf(TopLevelOf(hwnd));
  if (widget == nullptr) return nullptr;
  widget->activateWindow();
  return previous;
}

HWND GetActiveWindow() { return HwndFromWidget(QApplication::activeWindow()); }

HWND SetFocus(HWND hwnd) {
  HWND previous = GetFocus();
  QWidget *widget = WidgetOf(hwnd);
  if (widget == nullptr) return nullptr;
  widget->setFocus(Qt::OtherFocusReason);
  return previous;
}

HWND GetFocus() {
  QWidget *focus = QApplication::focusWidget();
  if (focus == nullptr) {
    if (QWidget *active = QApplication::activeWindow()) focus = active->focusWidget();
  }
  // A window system that has not activated the dialog yet: the focus is the
  // one the innermost modal dialog keeps for itself.
  if (focus == nullptr) {
    if (QWidget *modal = WidgetOf(InnermostModalDialog())) focus = modal->focusWidget();
  }
  return HwndFromWidget(focus);
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int nIndex) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr) return 0;
  switch (nIndex) {
    case GWL_STYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->style));
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->exStyle));
    case GWLP_USERDATA: return w->userData;
    case GWLP_ID: return w->id;
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->IsChild() ? w->parent : w->owner);
    default: return 0;
  }
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int nIndex, LONG_PTR value) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr) return 0;
  LONG_PTR previous = GetWindowLongPtrA(hwnd, nIndex);
  switch (nIndex) {
    case GWL_STYLE: {
      DWORD style = static_cast<DWORD>(value);
      DWORD changed = style ^ w->style;
      w->style = style;
      if (changed & WS_VISIBLE) ApplyVisibility(w);
      if ((changed & WS_DISABLED) && w->IsChild() && w->widget)
        w->widget->setEnabled(!(style & WS_DISABLED));
      if (w->widget) w->widget->update();
      break;
    }
    case GWL_EXSTYLE: w->exStyle = static_cast<DWORD>(value); break;
    case GWLP_USERDATA: w->userData = value; break;
    case GWLP_ID: w->id = static_cast<int>(value); break;
    case GWLP_WNDPROC:
      if (value == 0) return 0;
      w->proc = reinterpret_cast<WNDPROC>(value);
      break;
    case GWLP_HINSTANCE: w->instance = reinterpret_cast<HINSTANCE>(value); break;
    default: return 0;
  }
  return previous;
}
