// Sending, posting and the default handling of window messages, the quit
// request, and the text helpers shared by the window layer.
#include "platform/win/messages.h"

#include "platform/win/menu.h"
#include "platform/win/window.h"
#include "platform/win/window_internal.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPaintEvent>
#include <QThread>

#include <algorithm>
#include <mutex>
#include <vector>

namespace quavix::win {

namespace {

QEvent::Type PostedMessageType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

QEvent::Type QuitRequestType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

class PostedMessageEvent : public QEvent {
 public:
  PostedMessageEvent(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
      : QEvent(PostedMessageType()), hwnd(hwnd), msg(msg), wParam(wParam), lParam(lParam) {}
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

bool g_quitPending = false;
int g_quitCode = 0;
std::vector<QEventLoop *> g_loops;

void ExitAllLoops() {
  for (QEventLoop *loop : g_loops) loop->exit(kLoopWake);
}

// Lives on the user-interface thread; every posted message is an event to it.
class MessageDispatcher : public QObject {
 public:
  using QObject::QObject;
  ~MessageDispatcher() override;

  bool event(QEvent *e) override {
    if (e->type() == PostedMessageType()) {
      auto *m = static_cast<PostedMessageEvent *>(e);
      // A message for a window destroyed meanwhile is dropped.
      if (IsLiveHandle(m->hwnd)) {
        ToolkitCallScope scope;
        SendMessageA(m->hwnd, m->msg, m->wParam, m->lParam);
      }
      return true;
    }
    if (e->type() == QuitRequestType()) {
      if (g_quitPending) ExitAllLoops();
      return true;
    }
    return QObject::event(e);
  }
};

std::mutex g_posterMutex;
MessageDispatcher *g_dispatcher = nullptr;

MessageDispatcher::~MessageDispatcher() {
  std::lock_guard<std::mutex> lock(g_posterMutex);
  if (g_dispatcher == this) g_dispatcher = nullptr;
}

BOOL PostThroughEventLoop(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> lock(g_posterMutex);
  if (g_dispatcher == nullptr || !IsLiveHandle(hwnd)) return FALSE;
  QCoreApplication::postEvent(g_dispatcher, new PostedMessageEvent(hwnd, msg, wParam, lParam));
  return TRUE;
}

std::string TextOf(Window *w) {
  std::string text;
  if (WindowWidget *host = w->Host(); host && host->ReadText(&text)) return text;
  return w->text;
}

}  // namespace

void PushEventLoop(QEventLoop *loop) { g_loops.push_back(loop); }
void PopEventLoop(QEventLoop *loop) {
  auto it = std::find(g_loops.begin(), g_loops.end(), loop);
  if (it != g_loops.end()) g_loops.erase(it);
}

QString ToQ(const char *text) { return QString::fromUtf8(text ? text : ""); }
QString ToQ(const std::string &text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
std::string FromQ(const QString &text) { return text.toUtf8().toStdString(); }

QString StripMnemonic(const QString &text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'&') {
      if (i + 1 < text.size() && text[i + 1] == u'&') {
        out += u'&';
        ++i;
      }
      continue;
    }
    out += text[i];
  }
  return out;
}

int VirtualKeyFromQt(int key) {
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return key;
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return VK_F1 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Tab: return VK_TAB;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Menu: return VK_APPS;
    default: return 0;
  }
}

}  // namespace quavix::win

using namespace quavix::win;

void InstallWindowMessagePoster() {
  if (QCoreApplication::instance() == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(g_posterMutex);
    if (g_dispatcher != nullptr) return;
    g_dispatcher = new MessageDispatcher(QCoreApplication::instance());
  }
  SetMessagePoster(&PostThroughEventLoop);
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  QCoreApplication *app = QCoreApplication::instance();
  if (app != nullptr && QThread::currentThread() != app->thread()) {
    // From another thread the message runs on the user-interface thread
    // while the sender waits, as Windows does it.
    LRESULT result = 0;
    std::unique_lock<std::mutex> lock(g_posterMutex);
    MessageDispatcher *dispatcher = g_dispatcher;
    if (dispatcher == nullptr || !IsLiveHandle(hwnd)) return 0;
    lock.unlock();
    QMetaObject::invokeMethod(
        dispatcher, [&] { result = SendMessageA(hwnd, msg, wParam, lParam); },
        Qt::BlockingQueuedConnection);
    return result;
  }
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr || w->proc == nullptr) return 0;
  WNDPROC proc = w->proc;
  const bool staticText = msg == WM_SETTEXT && w->className == "STATIC";
  LRESULT result = proc(hwnd, msg, wParam, lParam);
  if (staticText) {
    // A label that paints its own copy of the text (and keeps it from the
    // toolkit's label) still tells assistive technology what it shows.
    if (Window *after = FindWindowObject(hwnd);
        after && after->widget && !(after->style & SS_NOPREFIX))
      after->widget->setAccessibleName(StripMnemonic(ToQ(reinterpret_cast<const char *>(lParam))));
  }
  return result;
}

LRESULT SendDlgItemMessageA(HWND hDlg, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND item = GetDlgItem(hDlg, id);
  return item ? SendMessageA(item, msg, wParam, lParam) : 0;
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr) return 0;
  switch (msg) {
    case WM_SETTEXT: {
      const char *text = reinterpret_cast<const char *>(lParam);
      w->text = text ? text : "";
      if (WindowWidget *host = w->Host()) host->ShowText(w->text);
      if (!w->IsChild() && w->widget) w->widget->setWindowTitle(ToQ(w->text));
      return TRUE;
    }
    case WM_GETTEXT: {
      char *buffer = reinterpret_cast<char *>(lParam);
      if (buffer == nullptr || wParam == 0) return 0;
      std::string text = TextOf(w);
      std::size_t n = std::min<std::size_t>(text.size(), wParam - 1);
      // Never cut inside a UTF-8 sequence.
      while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
      std::copy_n(text.data(), n, buffer);
      buffer[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(TextOf(w).size());
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE: SendMessageA(hwnd, WM_CLOSE, 0, 0); break;
        case SC_MINIMIZE: ShowWindow(hwnd, SW_MINIMIZE); break;
        case SC_RESTORE: ShowWindow(hwnd, SW_RESTORE); break;
        case SC_MAXIMIZE:
          if (w->widget && !w->IsChild()) w->widget->showMaximized();
          break;
        default: break;
      }
      return 0;
    case WM_CONTEXTMENU:
      if (w->IsChild()) return SendMessageA(w->parent, WM_CONTEXTMENU, wParam, lParam);
      if (w->isDialog && w->widget) {
        QPoint at;
        if (lParam == -1)
          at = w->widget->mapToGlobal(w->widget->rect().center());
        else
          at = QPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        ShowSystemMenuAt(hwnd, at);
      }
      return 0;
    case WM_PAINT:
      if (QPaintEvent *event = CurrentPaintEvent(hwnd)) {
        if (WindowWidget *host = w->Host()) host->PaintDefault(event);
      }
      return 0;
    case WM_ERASEBKGND: return 1;
    case WM_SETFONT: {
      w->font = reinterpret_cast<HFONT>(wParam);
      QFont font;
      if (w->widget && FontFromHandle(w->font, &font)) {
        w->widget->setFont(font);
        if (lParam) w->widget->update();
      }
      return 0;
    }
    case WM_GETFONT: return reinterpret_cast<LRESULT>(w->font);
    case WM_SETICON: {
      HICON icon = reinterpret_cast<HICON>(lParam);
      HICON previous = wParam == ICON_BIG ? w->iconBig : w->iconSmall;
      (wParam == ICON_BIG ? w->iconBig : w->iconSmall) = icon;
      if (!w->IsChild() && w->widget)
        w->widget->setWindowIcon(IconFromHandle(w->iconBig ? w->iconBig : w->iconSmall));
      return reinterpret_cast<LRESULT>(previous);
    }
    default: return 0;
  }
}

void PostQuitMessage(int nExitCode) {
  g_quitPending = true;
  g_quitCode = nExitCode;
  // Queued behind what is already posted, as a quit is taken only after the
  // messages before it.
  std::lock_guard<std::mutex> lock(g_posterMutex);
  if (g_dispatcher != nullptr)
    QCoreApplication::postEvent(g_dispatcher, new QEvent(QuitRequestType()));
}

bool IsQuitPending() { return g_quitPending; }

bool TakeQuitMessage(int *exitCode) {
  if (!g_quitPending) return false;
  g_quitPending = false;
  if (exitCode) *exitCode = g_quitCode;
  return true;
}

int RunMessageLoop() {
  InstallWindowMessagePoster();
  if (!g_quitPending) {
    QEventLoop loop;
    PushEventLoop(&loop);
    while (!g_quitPending) {
      if (loop.exec() != kLoopWake && !g_quitPending) {
        // The toolkit's application is quitting (the session ends).
        g_quitPending = true;
        g_quitCode = 0;
      }
    }
    PopEventLoop(&loop);
  }
  int code = 0;
  TakeQuitMessage(&code);
  return code;
}

void PumpPendingMessages() {
  if (QCoreApplication::instance() == nullptr) return;
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}
