// Inside the window layer: the window object behind a handle and the widget
// mixin through which the toolkit reaches window procedures. Not for the
// program's code (it includes Qt).
#pragma once

#include "platform/win/winuser_more.h"

#include <QFont>
#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>
#include <string>

class QEventLoop;
class QPaintEvent;
class QTimer;

namespace quavix::win {

// Every widget that stands for a window derives from this as well.
class WindowWidget {
 public:
  explicit WindowWidget(HWND hwnd) : hwnd_(hwnd) {}
  virtual ~WindowWidget() = default;
  WindowWidget(const WindowWidget &) = delete;
  WindowWidget &operator=(const WindowWidget &) = delete;

  HWND Hwnd() const { return hwnd_; }
  virtual QWidget *Widget() = 0;
  // The toolkit's own painting of the widget, run by DefWindowProcA(WM_PAINT).
  virtual void PaintDefault(QPaintEvent *event) = 0;
  // The window text as the control shows it (edit boxes hold what the user
  // typed); the default is the text last set.
  virtual bool ReadText(std::string *text) {
    (void)text;
    return false;
  }
  // Shows new window text; false when the widget keeps no text of its own.
  virtual void ShowText(const std::string &text) { (void)text; }

 protected:
  HWND hwnd_;
};

struct Window {
  HWND hwnd{};
  std::string className;  // as registered
  WNDPROC proc{};         // current procedure (subclassing replaces it)
  DWORD style{};
  DWORD exStyle{};
  int id{};
  LONG_PTR userData{};
  HWND parent{};  // child windows
  HWND owner{};   // top-level windows
  HINSTANCE instance{};
  QPointer<QWidget> widget;
  WindowWidget *host{};  // the same object as widget
  std::string text;
  HFONT font{};
  HICON iconBig{};
  HICON iconSmall{};
  HMENU systemMenu{};
  std::map<UINT_PTR, QTimer *> timers;
  bool destroying{};
  // Dialogs
  bool isDialog{};
  int dialogId{};
  DLGPROC dlgProc{};
  bool modalEnded{};
  INT_PTR modalResult{};
  QEventLoop *modalLoop{};
  int baseUnitX{4};
  int baseUnitY{8};

  bool IsChild() const { return (style & WS_CHILD) != 0; }
  WindowWidget *Host() const { return widget ? host : nullptr; }
};

// Creates a window object and its widget; the body of CreateWindowExA,
// also used for a dialog (isDialog, dlgProc) and its controls.
struct CreateParams {
  DWORD exStyle{};
  std::string className;
  const char *text{};
  DWORD style{};
  int x{}, y{}, cx{}, cy{};
  HWND parent{};  // parent (child window) or owner (top-level window)
  int id{};
  HINSTANCE instance{};
  LPVOID createParam{};
  bool isDialog{};
  int dialogId{};
  DLGPROC dlgProc{};
  HFONT font{};
  bool sendCreate = true;
};
HWND CreateWindowObject(const CreateParams &params);

// The window object of a live handle; null otherwise. User-interface thread.
Window *FindWindowObject(HWND hwnd);
// Whether the handle is live; any thread.
bool IsLiveHandle(HWND hwnd);
// The window a widget (or the nearest of its ancestors) stands for.
HWND HwndFromWidget(const QWidget *widget);
// The top-level window of a window (itself for a top-level window).
HWND TopLevelOf(HWND hwnd);
QWidget *WidgetOf(HWND hwnd);

// Counts calls from the toolkit into window procedures in progress, so a
// window destroyed from inside one is deleted once control is back in the
// event loop instead of under the caller's feet.
class ToolkitCallScope {
 public:
  ToolkitCallScope();
  ~ToolkitCallScope();
  ToolkitCallScope(const ToolkitCallScope &) = delete;
  ToolkitCallScope &operator=(const ToolkitCallScope &) = delete;
  static bool Active();
};

// Creates the widget of a built-in control class; null when the class is
// not one of them. Defined with the controls.
QWidget *CreateControlWidget(const std::string &classLower, HWND hwnd, DWORD style,
                             QWidget *parent);
// The procedure of a built-in control class, null for other names.
WNDPROC ControlClassProc(const std::string &classLower);

// The top-level widget for dialogs and windows of registered classes.
QWidget *CreateTopLevelWidget(HWND hwnd, QWidget *ownerWidget, DWORD style, DWORD exStyle,
                              bool isDialog);
QWidget *CreateGenericChildWidget(HWND hwnd, QWidget *parent);

// Paint dispatch: the paint event in progress for a window, if any.
QPaintEvent *CurrentPaintEvent(HWND hwnd);
void DispatchPaint(WindowWidget *host, QPaintEvent *event);

// Fonts behind HFONT handles (process lifetime, as stock fonts are).
HFONT FontHandleFor(const QFont &font);
bool FontFromHandle(HFONT handle, QFont *font);
// The font for a dialog template's face and size.
QFont DialogFont(const char *faceName, int pointSize);

// Icons behind HICON handles.
bool IconPixmap(HICON icon, int size, QPixmap *pixmap);
QIcon IconFromHandle(HICON icon);

// Shows the system menu of a dialog as a popup at a global point.
void ShowSystemMenuAt(HWND hwnd, const QPoint &globalPos);

// The code our own wake-ups end a nested event loop with; any other code
// comes from the toolkit's application quitting, which counts as a quit.
constexpr int kLoopWake = 0x5157;

// The dialog whose modal loop runs innermost (null when none).
HWND InnermostModalDialog();

// Message loops that a quit request ends (modal loops, the program's loop).
void PushEventLoop(QEventLoop *loop);
void PopEventLoop(QEventLoop *loop);

// Stops and frees a window's timers (at destruction).
void KillAllTimers(Window *window);

// Text conversion between the program's UTF-8 and the toolkit.
QString ToQ(const char *text);
QString ToQ(const std::string &text);
std::string FromQ(const QString &text);
// Strips the '&' mnemonic markers of a control text ("&&" stays one '&').
QString StripMnemonic(const QString &text);

// Keyboard: the virtual key of a toolkit key (0 when none).
int VirtualKeyFromQt(int qtKey);

}  // namespace quavix::win
