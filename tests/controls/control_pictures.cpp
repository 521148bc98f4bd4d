#include "control_pictures.h"

#include "app/converter_app.h"
#include "platform/win/window_internal.h"
#include "res/resource.h"

#include <QWidget>

void PublishButtonFaces() {
  static CBitmap down, up;
  if (down.GetSafeHandle() == nullptr) {
    down.LoadBitmap(IDB_BUTTON_FACE);
    up.LoadBitmap(IDB_BUTTON_FACE);
  }
  g_pbmpButtonDown = &down;
  g_pbmpButtonUp = &up;
}

TestDialog::TestDialog(std::vector<ControlTemplate> controls, short cx, short cy, CWnd *host)
    : template_{9001,
                "Controls",
                "MS Shell Dlg",
                8,
                cx,
                cy,
                WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT,
                0,
                std::move(controls)},
      host_(host ? host : &ownHost_) {
  HWND dialog = CreateDialogIndirectParamA(nullptr, &template_, nullptr, nullptr, 0);
  if (dialog != nullptr) {
    host_->SubclassWindow(dialog);
    ::ShowWindow(dialog, SW_SHOW);
  }
}

TestDialog::~TestDialog() {
  if (host_->m_hWnd != nullptr) host_->DestroyWindow();
  PumpPendingMessages();
}

bool TestDialog::Bind(int id, CWnd &control) {
  CDataExchange dx(host_, FALSE);
  DDX_Control(&dx, id, control);
  return !dx.m_bFailed && control.m_hWnd != nullptr;
}

QImage Picture(HWND control) {
  QWidget *widget = quavix::win::WidgetOf(control);
  QWidget *parent = widget ? widget->parentWidget() : nullptr;
  if (parent == nullptr) return widget ? widget->grab().toImage() : QImage();
  // Rendered through the parent, so what shows through a control that
  // paints no background is the parent's own painting.
  return parent->grab(widget->geometry()).toImage().convertToFormat(QImage::Format_RGB32);
}

QRect InkBox(const QImage &image, QRgb ground, int tolerance) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      QRgb p = image.pixel(x, y);
      if (std::abs(qRed(p) - qRed(ground)) > tolerance ||
          std::abs(qGreen(p) - qGreen(ground)) > tolerance ||
          std::abs(qBlue(p) - qBlue(ground)) > tolerance)
        box |= QRect(x, y, 1, 1);
    }
  return box;
}

bool SameShifted(const QImage &a, const QImage &b, const QRect &area, int dx, int dy) {
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      if (!a.rect().contains(x, y) || !b.rect().contains(x + dx, y + dy)) return false;
      if (a.pixel(x, y) != b.pixel(x + dx, y + dy)) return false;
    }
  return true;
}
