// The screen as the program asks about it: its size, the work area, the
// sizes the window layer assumes for frames and captions, and the beep.
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include "platform/win/window.h"

int GetSystemMetrics(int nIndex) {
  QScreen *screen = QGuiApplication::primaryScreen();
  switch (nIndex) {
    case SM_CXSCREEN: return screen ? screen->geometry().width() : 0;
    case SM_CYSCREEN: return screen ? screen->geometry().height() : 0;
    // The window manager draws captions and frames; these are the sizes the
    // window layer assumes for them (see GetWindowRect).
    case SM_CYCAPTION: return 23;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    default: return 0;
  }
}

BOOL SystemParametersInfoA(UINT uiAction, UINT uiParam, PVOID pvParam, UINT fWinIni) {
  (void)uiParam;
  (void)fWinIni;
  if (uiAction != SPI_GETWORKAREA || pvParam == nullptr) return FALSE;
  QScreen *screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return FALSE;
  QRect area = screen->availableGeometry();
  *static_cast<RECT *>(pvParam) =
      RECT{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
  return TRUE;
}

BOOL MessageBeep(UINT uType) {
  (void)uType;
  if (QApplication::instance() == nullptr) return FALSE;
  QApplication::beep();
  return TRUE;
}
