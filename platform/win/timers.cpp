// Timers on toolkit timers. A tick is delivered from the event loop like a
// posted message; a busy thread gets one tick when it is free, not a burst.
#include "platform/win/timers.h"

#include "platform/win/messages.h"
#include "platform/win/window_internal.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <map>

namespace quavix::win {
namespace {

std::map<UINT_PTR, QTimer *> &ThreadTimers() {
  static std::map<UINT_PTR, QTimer *> timers;
  return timers;
}
UINT_PTR g_nextThreadTimer = 0x7000;
QTimer *g_firing = nullptr;

void Fire(QTimer *timer, HWND hwnd, UINT_PTR id, TIMERPROC proc) {
  if (hwnd != nullptr && !IsLiveHandle(hwnd)) return;
  ToolkitCallScope scope;
  QTimer *outer = g_firing;
  g_firing = timer;
  if (proc != nullptr)
    proc(hwnd, WM_TIMER, id, GetTickCount());
  else
    SendMessageA(hwnd, WM_TIMER, id, 0);
  g_firing = outer;
}

void Dispose(QTimer *timer) {
  timer->stop();
  timer->disconnect();
  // Never delete a timer under its own timeout.
  if (timer == g_firing)
    timer->deleteLater();
  else
    delete timer;
}

}  // namespace

void KillAllTimers(Window *window) {
  for (auto &[id, timer] : window->timers) Dispose(timer);
  window->timers.clear();
}

}  // namespace quavix::win

using namespace quavix::win;

UINT_PTR SetTimer(HWND hwnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
  if (QCoreApplication::instance() == nullptr) return 0;
  InstallWindowMessagePoster();
  std::map<UINT_PTR, QTimer *> *timers = nullptr;
  if (hwnd != nullptr) {
    Window *w = FindWindowObject(hwnd);
    if (w == nullptr) return 0;
    timers = &w->timers;
  } else {
    if (lpTimerFunc == nullptr) return 0;
    timers = &ThreadTimers();
    nIDEvent = ++g_nextThreadTimer;
  }
  QTimer *&timer = (*timers)[nIDEvent];
  if (timer == nullptr) {
    timer = new QTimer(QCoreApplication::instance());
    timer->setTimerType(Qt::PreciseTimer);
  }
  timer->disconnect();
  QTimer *self = timer;
  QObject::connect(timer, &QTimer::timeout, timer, [self, hwnd, nIDEvent, lpTimerFunc] {
    Fire(self, hwnd, nIDEvent, lpTimerFunc);
  });
  // Windows raises shorter intervals to its minimum of 10 ms.
  timer->start(static_cast<int>(std::max<UINT>(uElapse, 10)));
  return nIDEvent;
}

BOOL KillTimer(HWND hwnd, UINT_PTR uIDEvent) {
  std::map<UINT_PTR, QTimer *> *timers = nullptr;
  if (hwnd != nullptr) {
    Window *w = FindWindowObject(hwnd);
    if (w == nullptr) return FALSE;
    timers = &w->timers;
  } else {
    timers = &ThreadTimers();
  }
  auto it = timers->find(uIDEvent);
  if (it == timers->end()) return FALSE;
  QTimer *timer = it->second;
  timers->erase(it);
  Dispose(timer);
  return TRUE;
}

DWORD GetTickCount() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}
