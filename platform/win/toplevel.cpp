// The widgets of top-level windows (dialogs and windows of registered
// classes) and of plain child windows: they turn the toolkit's events into
// the window messages the program handles, and run painting through WM_PAINT.
#include "platform/win/dialogs.h"
#include "platform/win/messages.h"
#include "platform/win/window.h"
#include "platform/win/window_internal.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QPaintEvent>
#include <QPushButton>
#include <QResizeEvent>

#include <vector>

namespace quavix::win {

namespace {

std::vector<std::pair<HWND, QPaintEvent *>> g_paints;

WPARAM MouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
  WPARAM keys = 0;
  if (buttons & Qt::LeftButton) keys |= MK_LBUTTON;
  if (buttons & Qt::RightButton) keys |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) keys |= MK_MBUTTON;
  if (mods & Qt::ShiftModifier) keys |= MK_SHIFT;
  if (mods & Qt::ControlModifier) keys |= MK_CONTROL;
  return keys;
}

void SendMouse(HWND hwnd, UINT msg, QMouseEvent *e) {
  if (!IsLiveHandle(hwnd)) return;
  QPoint p = e->position().toPoint();
  ToolkitCallScope scope;
  SendMessageA(hwnd, msg, MouseKeys(e->buttons(), e->modifiers()),
               MAKELPARAM(static_cast<WORD>(p.x()), static_cast<WORD>(p.y())));
}

UINT ButtonMessage(Qt::MouseButton button, bool down) {
  switch (button) {
    case Qt::LeftButton: return down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    case Qt::RightButton: return down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    case Qt::MiddleButton: return down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
    default: return 0;
  }
}

bool IsPushButton(HWND hwnd) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr || w->className != "BUTTON") return false;
  DWORD kind = w->style & BS_TYPEMASK;
  return kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON || kind == BS_OWNERDRAW;
}

// The id Enter stands for: the default push button's, else IDOK.
int DefaultCommandId(HWND dialog) {
  Window *d = FindWindowObject(dialog);
  if (d == nullptr || !d->widget) return IDOK;
  for (QObject *child : d->widget->children()) {
    auto *host = dynamic_cast<WindowWidget *>(child);
    if (host == nullptr) continue;
    Window *c = FindWindowObject(host->Hwnd());
    if (c && c->className == "BUTTON" && (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return c->id;
  }
  return IDOK;
}

// A dialog's Esc and Enter, as the dialog manager of Windows does them.
void SendDialogCommand(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  if (control != nullptr && !IsWindowEnabled(control)) {
    MessageBeep(0);
    return;
  }
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
               reinterpret_cast<LPARAM>(control));
}

class TopLevelWidget : public QWidget, public WindowWidget {
 public:
  TopLevelWidget(HWND hwnd, QWidget *owner, Qt::WindowFlags flags, bool isDialog)
      : QWidget(owner, flags), WindowWidget(hwnd), isDialog_(isDialog) {}

  QWidget *Widget() override { return this; }
  void PaintDefault(QPaintEvent *event) override { QWidget::paintEvent(event); }

 protected:
  void paintEvent(QPaintEvent *event) override { DispatchPaint(this, event); }

  void closeEvent(QCloseEvent *event) override {
    // The window decides: the caption's close box is the system command.
    event->ignore();
    if (!IsLiveHandle(hwnd_)) return;
    ToolkitCallScope scope;
    SendMessageA(hwnd_, WM_SYSCOMMAND, SC_CLOSE, 0);
  }

  void keyPressEvent(QKeyEvent *event) override {
    if (!IsLiveHandle(hwnd_)) return QWidget::keyPressEvent(event);
    ToolkitCallScope scope;
    const int key = event->key();
    const bool menuKey =
        key == Qt::Key_Menu || (key == Qt::Key_F10 && (event->modifiers() & Qt::ShiftModifier));
    if (isDialog_) {
      if (menuKey) {
        SendMessageA(hwnd_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd_), -1);
        return;
      }
      if (key == Qt::Key_Escape) {
        SendDialogCommand(hwnd_, IDCANCEL);
        return;
      }
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        QWidget *focus = focusWidget();
        HWND focused = HwndFromWidget(focus);
        if (focused != nullptr && focused != hwnd_ && IsPushButton(focused)) {
          if (auto *button = dynamic_cast<QAbstractButton *>(WidgetOf(focused))) button->click();
          return;
        }
        SendDialogCommand(hwnd_, DefaultCommandId(hwnd_));
        return;
      }
      return QWidget::keyPressEvent(event);
    }
    if (int vk = VirtualKeyFromQt(key)) {
      SendMessageA(hwnd_, WM_KEYDOWN, static_cast<WPARAM>(vk), 1);
      return;
    }
    QWidget::keyPressEvent(event);
  }

  void keyReleaseEvent(QKeyEvent *event) override {
    if (!isDialog_ && IsLiveHandle(hwnd_)) {
      if (int vk = VirtualKeyFromQt(event->key())) {
        ToolkitCallScope scope;
        SendMessageA(hwnd_, WM_KEYUP, static_cast<WPARAM>(vk), static_cast<LPARAM>(0xC0000001u));
        return;
      }
    }
    QWidget::keyReleaseEvent(event);
  }

  void contextMenuEvent(QContextMenuEvent *event) override {
    if (!IsLiveHandle(hwnd_)) return;
    ToolkitCallScope scope;
    LPARAM where = -1;
    if (event->reason() != QContextMenuEvent::Keyboard)
      where = MAKELPARAM(static_cast<WORD>(event->globalPos().x()),
                         static_cast<WORD>(event->globalPos().y()));
    SendMessageA(hwnd_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd_), where);
    event->accept();
  }

  void mousePressEvent(QMouseEvent *event) override {
    if (UINT msg = ButtonMessage(event->button(), true)) SendMouse(hwnd_, msg, event);
    QWidget::mousePressEvent(event);
  }
  void mouseReleaseEvent(QMouseEvent *event) override {
    if (UINT msg = ButtonMessage(event->button(), false)) SendMouse(hwnd_, msg, event);
    QWidget::mouseReleaseEvent(event);
  }
  void mouseDoubleClickEvent(QMouseEvent *event) override {
    if (event->button() == Qt::LeftButton) SendMouse(hwnd_, WM_LBUTTONDBLCLK, event);
    QWidget::mouseDoubleClickEvent(event);
  }
  void mouseMoveEvent(QMouseEvent *event) override {
    SendMouse(hwnd_, WM_MOUSEMOVE, event);
    QWidget::mouseMoveEvent(event);
  }

  void resizeEvent(QResizeEvent *event) override {
    QWidget::resizeEvent(event);
    if (!IsLiveHandle(hwnd_)) return;
    ToolkitCallScope scope;
    SendMessageA(hwnd_, WM_SIZE, isMinimized() ? SIZE_MINIMIZED : SIZE_RESTORED,
                 MAKELPARAM(static_cast<WORD>(width()), static_cast<WORD>(height())));
  }

  void moveEvent(QMoveEvent *event) override {
    QWidget::moveEvent(event);
    if (!IsLiveHandle(hwnd_)) return;
    ToolkitCallScope scope;
    QPoint origin = geometry().topLeft();
    SendMessageA(hwnd_, WM_MOVE, 0,
                 MAKELPARAM(static_cast<WORD>(origin.x()), static_cast<WORD>(origin.y())));
  }

  void changeEvent(QEvent *event) override {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !IsLiveHandle(hwnd_)) return;
    ToolkitCallScope scope;
    SendMessageA(hwnd_, WM_SIZE, isMinimized() ? SIZE_MINIMIZED : SIZE_RESTORED,
                 MAKELPARAM(static_cast<WORD>(width()), static_cast<WORD>(height())));
    update();
  }

 public:
  bool IsDialog() const { return isDialog_; }

 private:
  bool isDialog_;
};

// Assistive technology announces a window by its role: a plain widget
// would be a nameless "filler". Dialogs are dialogs, other top-level
// windows frames (message boxes are the toolkit's, alerts already).
QAccessibleInterface *TopLevelAccessible(const QString &, QObject *object) {
  auto *widget = dynamic_cast<TopLevelWidget *>(object);
  if (widget == nullptr) return nullptr;
  return new QAccessibleWidget(widget,
                               widget->IsDialog() ? QAccessible::Dialog : QAccessible::Window);
}

class ChildWidget : public QWidget, public WindowWidget {
 public:
  ChildWidget(HWND hwnd, QWidget *parent) : QWidget(parent), WindowWidget(hwnd) {}
  QWidget *Widget() override { return this; }
  void PaintDefault(QPaintEvent *event) override { QWidget::paintEvent(event); }

 protected:
  void paintEvent(QPaintEvent *event) override { DispatchPaint(this, event); }
  void mousePressEvent(QMouseEvent *event) override {
    if (UINT msg = ButtonMessage(event->button(), true)) SendMouse(hwnd_, msg, event);
  }
  void mouseReleaseEvent(QMouseEvent *event) override {
    if (UINT msg = ButtonMessage(event->button(), false)) SendMouse(hwnd_, msg, event);
  }
  void mouseMoveEvent(QMouseEvent *event) override { SendMouse(hwnd_, WM_MOUSEMOVE, event); }
};

}  // namespace

QWidget *CreateTopLevelWidget(HWND hwnd, QWidget *ownerWidget, DWORD style, DWORD exStyle,
                              bool isDialog) {
  (void)exStyle;
  Qt::WindowFlags flags = ownerWidget ? Qt::Dialog : Qt::Window;
  if ((style & WS_CAPTION) == WS_CAPTION) {
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
    if (style & WS_MAXIMIZEBOX) flags |= Qt::WindowMaximizeButtonHint;
  } else if (style & WS_POPUP) {
    flags |= Qt::FramelessWindowHint;
  }
  static const bool rolesInstalled = (QAccessible::installFactory(TopLevelAccessible), true);
  (void)rolesInstalled;
  auto *widget = new TopLevelWidget(hwnd, ownerWidget, flags, isDialog);
  widget->setAttribute(Qt::WA_DeleteOnClose, false);
  return widget;
}

QWidget *CreateGenericChildWidget(HWND hwnd, QWidget *parent) {
  return new ChildWidget(hwnd, parent);
}

QPaintEvent *CurrentPaintEvent(HWND hwnd) {
  for (auto it = g_paints.rbegin(); it != g_paints.rend(); ++it)
    if (it->first == hwnd) return it->second;
  return nullptr;
}

void DispatchPaint(WindowWidget *host, QPaintEvent *event) {
  HWND hwnd = host->Hwnd();
  if (!IsLiveHandle(hwnd)) {
    host->PaintDefault(event);
    return;
  }
  ToolkitCallScope scope;
  g_paints.emplace_back(hwnd, event);
  SendMessageA(hwnd, WM_PAINT, 0, 0);
  g_paints.pop_back();
}

}  // namespace quavix::win
