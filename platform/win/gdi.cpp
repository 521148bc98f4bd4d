// Device contexts on widgets, stock objects and font handles.
#include "platform/win/gdi.h"

#include "platform/win/paint_internal.h"
#include "platform/win/window_internal.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPaintEvent>
#include <QPainter>

#include <cstring>
#include <memory>
#include <set>
#include <vector>

struct HDC__ {
  HWND hwnd{};
  std::unique_ptr<QPainter> painter;
};

namespace quavix::win {

namespace {

std::set<HDC> &LiveDcs() {
  static std::set<HDC> dcs;
  return dcs;
}

// Stock objects and fonts are numbered handles in ranges of their own.
constexpr std::uintptr_t kStockBase = 0x7E000000;
constexpr std::uintptr_t kFontBase = 0x7F000000;

struct FontDesc {
  std::string family;
  double pointSize;
  int weight;
  bool italic;
};

std::vector<FontDesc> &Fonts() {
  static std::vector<FontDesc> fonts;
  return fonts;
}

HDC NewDc(HWND hwnd, QWidget *widget) {
  auto *dc = new HDC__;
  dc->hwnd = hwnd;
  if (widget != nullptr) {
    dc->painter = std::make_unique<QPainter>(widget);
    dc->painter->setFont(widget->font());
  }
  LiveDcs().insert(dc);
  return dc;
}

}  // namespace

HDC CreateWidgetDc(HWND hwnd, QWidget *widget) { return NewDc(hwnd, widget); }

void ReleaseWidgetDc(HDC dc) {
  if (LiveDcs().erase(dc) == 0) return;
  if (dc->painter && dc->painter->isActive()) dc->painter->end();
  delete dc;
}

bool IsLiveDc(HDC dc) { return dc != nullptr && LiveDcs().count(dc) != 0; }

QPainter *PainterOf(HDC dc) {
  if (dc == nullptr || LiveDcs().count(dc) == 0) return nullptr;
  return dc->painter.get();
}

HFONT FontHandleFor(const QFont &font) {
  FontDesc desc{font.family().toStdString(), font.pointSizeF(), font.weight(), font.italic()};
  auto &fonts = Fonts();
  for (std::size_t i = 0; i < fonts.size(); ++i) {
    const FontDesc &f = fonts[i];
    if (f.family == desc.family && f.pointSize == desc.pointSize && f.weight == desc.weight && f.italic == desc.italic)
      return reinterpret_cast<HFONT>(kFontBase + i);
  }
  fonts.push_back(desc);
  return reinterpret_cast<HFONT>(kFontBase + fonts.size() - 1);
}

bool FontFromHandle(HFONT handle, QFont *font) {
  auto value = reinterpret_cast<std::uintptr_t>(handle);
  if (value == kStockBase + DEFAULT_GUI_FONT) {
    *font = DialogFont("MS Shell Dlg", 8);
    return true;
  }
  if (value < kFontBase || value - kFontBase >= Fonts().size()) return false;
  const FontDesc &d = Fonts()[value - kFontBase];
  QFont f(QString::fromStdString(d.family));
  if (d.pointSize > 0) f.setPointSizeF(d.pointSize);
  f.setWeight(static_cast<QFont::Weight>(d.weight));
  f.setItalic(d.italic);
  *font = f;
  return true;
}

QFont DialogFont(const char *faceName, int pointSize) {
  QFont general = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  std::string face = faceName ? faceName : "";
  // The old Windows dialog faces stand for the desktop's sans font; their
  // 8 points read small on this desktop, so they take one point more.
  if (face.empty() || face == "MS Shell Dlg" || face == "MS Shell Dlg 2" || face == "MS Sans Serif") {
    QFont f = general;
    f.setPointSize(pointSize > 0 ? pointSize + 1 : 9);
    return f;
  }
  QFont f(QString::fromUtf8(face.c_str()));
  if (pointSize > 0) f.setPointSize(pointSize);
  return f;
}

}  // namespace quavix::win

using namespace quavix::win;

HDC BeginPaint(HWND hwnd, PAINTSTRUCT *ps) {
  if (ps == nullptr) return nullptr;
  std::memset(ps, 0, sizeof(*ps));
  if (!IsLiveHandle(hwnd)) return nullptr;
  QPaintEvent *event = CurrentPaintEvent(hwnd);
  QWidget *widget = event ? WidgetOf(hwnd) : nullptr;
  HDC dc = NewDc(hwnd, widget);
  ps->hdc = dc;
  if (event != nullptr) {
    QRect r = event->rect();
    ps->rcPaint = RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  }
  return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT *ps) {
  (void)hwnd;
  if (ps == nullptr || ps->hdc == nullptr) return FALSE;
  ReleaseWidgetDc(ps->hdc);
  return TRUE;
}

HWND WindowFromDC(HDC hdc) {
  if (hdc == nullptr || LiveDcs().count(hdc) == 0) return nullptr;
  return hdc->hwnd;
}

HGDIOBJ GetStockObject(int i) {
  if ((i >= WHITE_BRUSH && i <= NULL_BRUSH) || i == DEFAULT_GUI_FONT)
    return reinterpret_cast<HGDIOBJ>(kStockBase + static_cast<std::uintptr_t>(i));
  return nullptr;
}

bool GetStockBrushColor(HGDIOBJ brush, COLORREF *color) {
  auto value = reinterpret_cast<std::uintptr_t>(brush);
  if (value < kStockBase || value > kStockBase + DKGRAY_BRUSH + 1) return false;
  static const COLORREF colors[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128), RGB(64, 64, 64),
                                    RGB(0, 0, 0)};
  std::uintptr_t i = value - kStockBase;
  if (i > BLACK_BRUSH) return false;
  *color = colors[i];
  return true;
}
