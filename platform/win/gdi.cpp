// Device contexts on widgets, images and memory, the GDI objects drawn
// with (pens, brushes, regions, stock objects, fonts, resource bitmaps) and
// the drawing functions, all on QPainter.
#include "platform/win/gdi.h"

#include "platform/win/paint_internal.h"
#include "platform/win/window_internal.h"
#include "platform/win/images.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

struct HDC__ {
  HWND hwnd{};
  std::unique_ptr<QPainter> painter;
  bool memory{};  // CreateCompatibleDC: holds a bitmap, draws nothing
  QRect surface;  // the pixels the device context covers
  HGDIOBJ pen{};
  HGDIOBJ brush{};
  HGDIOBJ font{};
  HGDIOBJ bitmap{};
  QFont qfont;
  int bkMode = OPAQUE;
  COLORREF bkColor = RGB(255, 255, 255);
  COLORREF textColor = RGB(0, 0, 0);
  bool clipped{};
  QRegion clip;
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

// Pens, brushes and regions: numbered handles of their own range, never
// reused, so a deleted one stays dead.
constexpr std::uintptr_t kObjectBase = 0x7A000000;
constexpr std::uintptr_t kBitmapBase = 0x7C000000;
// The 1 x 1 bitmap a memory device context starts with.
constexpr std::uintptr_t kDefaultBitmap = kStockBase + 0x100;

enum class ObjectKind { Pen, Brush, Region };

struct GdiObject {
  ObjectKind kind = ObjectKind::Pen;
  int style = 0;
  int width = 0;
  COLORREF color = 0;
  QRegion region;
};

std::map<std::uintptr_t, GdiObject> &Objects() {
  static std::map<std::uintptr_t, GdiObject> objects;
  return objects;
}
std::uintptr_t g_nextObject = kObjectBase;

HGDIOBJ NewObject(GdiObject object) {
  std::uintptr_t h = ++g_nextObject;
  Objects().emplace(h, std::move(object));
  return reinterpret_cast<HGDIOBJ>(h);
}

GdiObject *FindObject(HGDIOBJ h) {
  auto it = Objects().find(reinterpret_cast<std::uintptr_t>(h));
  return it == Objects().end() ? nullptr : &it->second;
}

std::uintptr_t Value(HGDIOBJ h) { return reinterpret_cast<std::uintptr_t>(h); }
bool IsStock(HGDIOBJ h, int i) { return Value(h) == kStockBase + static_cast<std::uintptr_t>(i); }

QColor ToColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

// The toolkit's pen for a pen handle; a width of 0 or 1 is one pixel wide.
QPen PenFor(HGDIOBJ h) {
  COLORREF color = 0;
  int style = PS_SOLID;
  int width = 1;
  if (const GdiObject *o = FindObject(h); o && o->kind == ObjectKind::Pen) {
    color = o->color;
    style = o->style;
    width = o->width;
  } else if (IsStock(h, WHITE_PEN)) {
    color = RGB(255, 255, 255);
  } else if (IsStock(h, NULL_PEN)) {
    style = PS_NULL;
  }
  if (style == PS_NULL) return QPen(Qt::NoPen);
  QPen pen(ToColor(color));
  if (width <= 1) {
    pen.setWidth(1);
    pen.setCosmetic(true);
  } else {
    pen.setWidth(width);
  }
  pen.setJoinStyle(Qt::MiterJoin);
  pen.setCapStyle(Qt::SquareCap);
  return pen;
}

QBrush BrushFor(HGDIOBJ h) {
  if (const GdiObject *o = FindObject(h); o && o->kind == ObjectKind::Brush)
    return o->style == static_cast<int>(BS_NULL) ? QBrush(Qt::NoBrush) : QBrush(ToColor(o->color));
  COLORREF color = 0;
  if (GetStockBrushColor(h, &color)) return QBrush(ToColor(color));
  return QBrush(Qt::NoBrush);
}

// Runs a drawing operation within the clip region. A painter that draws on
// a widget inside another widget's rendering (the backing store, a grab) does
// not keep to a clip region of several rectangles, so the operation runs
// once per rectangle of the region, each time clipped to that rectangle.
template <typename Op>
void Clipped(HDC dc, Op op) {
  QPainter *painter = dc->painter.get();
  if (!dc->clipped) {
    op(painter);
    return;
  }
  for (const QRect &r : dc->clip) {
    painter->save();
    painter->setClipRect(r);
    op(painter);
    painter->restore();
  }
}

int RegionType(const QRegion &r) {
  if (r.isEmpty()) return NULLREGION;
  return r.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

HDC NewDc(HWND hwnd, QPaintDevice *device, QWidget *widget) {
  auto *dc = new HDC__;
  dc->hwnd = hwnd;
  dc->pen = GetStockObject(BLACK_PEN);
  dc->brush = GetStockObject(WHITE_BRUSH);
  dc->qfont = widget ? widget->font() : DialogFont("MS Shell Dlg", 8);
  dc->font = widget ? FontHandleFor(dc->qfont) : GetStockObject(DEFAULT_GUI_FONT);
  if (device != nullptr) {
    dc->surface = QRect(0, 0, device->width(), device->height());
    dc->painter = std::make_unique<QPainter>(device);
    dc->painter->setFont(dc->qfont);
    dc->painter->setRenderHint(QPainter::Antialiasing, false);
    dc->painter->setPen(PenFor(dc->pen));
    dc->painter->setBrush(BrushFor(dc->brush));
  }
  LiveDcs().insert(dc);
  return dc;
}

HDC NewDc(HWND hwnd, QWidget *widget) { return NewDc(hwnd, widget, widget); }

int g_memoryDcs = 0;

}  // namespace

HDC CreateWidgetDc(HWND hwnd, QWidget *widget) { return NewDc(hwnd, widget); }

HDC CreateImageDc(QImage *image) { return NewDc(nullptr, image, nullptr); }

int LiveGdiObjectCount() { return static_cast<int>(Objects().size()) + g_memoryDcs; }

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
    if (f.family == desc.family && f.pointSize == desc.pointSize && f.weight == desc.weight &&
        f.italic == desc.italic)
      return reinterpret_cast<HFONT>(kFontBase + i);
  }
  fonts.push_back(desc);
  return reinterpret_cast<HFONT>(kFontBase + fonts.size() - 1);
}

bool FontFromHandle(HFONT handle, QFont *font) {
  auto value = reinterpret_cast<std::uintptr_t>(handle);
  if (font == nullptr) return false;
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
  if (face.empty() || face == "MS Shell Dlg" || face == "MS Shell Dlg 2" ||
      face == "MS Sans Serif") {
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
  if ((i >= WHITE_BRUSH && i <= NULL_PEN) || i == DEFAULT_GUI_FONT)
    return reinterpret_cast<HGDIOBJ>(kStockBase + static_cast<std::uintptr_t>(i));
  return nullptr;
}

bool GetStockBrushColor(HGDIOBJ brush, COLORREF *color) {
  auto value = reinterpret_cast<std::uintptr_t>(brush);
  if (value < kStockBase || value > kStockBase + DKGRAY_BRUSH + 1) return false;
  static const COLORREF colors[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128),
                                    RGB(64, 64, 64), RGB(0, 0, 0)};
  std::uintptr_t i = value - kStockBase;
  if (i > BLACK_BRUSH) return false;
  *color = colors[i];
  return true;
}

DWORD GetSysColor(int nIndex) {
  const QPalette palette = QApplication::palette();
  QColor c;
  switch (nIndex) {
    case COLOR_BTNFACE: c = palette.color(QPalette::Window); break;
    case COLOR_BTNTEXT: c = palette.color(QPalette::WindowText); break;
    case COLOR_WINDOW: c = palette.color(QPalette::Base); break;
    case COLOR_WINDOWTEXT: c = palette.color(QPalette::Text); break;
    default: return 0;
  }
  return RGB(c.red(), c.green(), c.blue());
}

HPEN CreatePen(int iStyle, int cWidth, COLORREF color) {
  if (cWidth < 0) return nullptr;
  GdiObject o;
  o.kind = ObjectKind::Pen;
  o.style = iStyle == PS_NULL ? PS_NULL : PS_SOLID;
  o.width = cWidth;
  o.color = color & 0xFFFFFF;
  return NewObject(o);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  LOGBRUSH lb{BS_SOLID, color, 0};
  return CreateBrushIndirect(&lb);
}

HBRUSH CreateBrushIndirect(const LOGBRUSH *plbrush) {
  if (plbrush == nullptr || (plbrush->lbStyle != BS_SOLID && plbrush->lbStyle != BS_NULL))
    return nullptr;
  GdiObject o;
  o.kind = ObjectKind::Brush;
  o.style = static_cast<int>(plbrush->lbStyle);
  o.color = plbrush->lbColor & 0xFFFFFF;
  return NewObject(o);
}

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
  GdiObject o;
  o.kind = ObjectKind::Region;
  // Windows orders the corners itself.
  o.region = QRegion(std::min(left, right), std::min(top, bottom), std::abs(right - left),
                     std::abs(bottom - top));
  return NewObject(o);
}

BOOL DeleteObject(HGDIOBJ ho) {
  if (ho == nullptr) return FALSE;
  if (Objects().erase(Value(ho)) != 0) return TRUE;
  // Stock objects, fonts and resource bitmaps live as long as the program.
  std::uintptr_t v = Value(ho);
  if (v >= kStockBase && v <= kDefaultBitmap)
    return GetStockObject(static_cast<int>(v - kStockBase)) != nullptr ? TRUE : FALSE;
  QFont font;
  if (FontFromHandle(ho, &font)) return TRUE;
  return BitmapResourceId(ho) != 0 ? TRUE : FALSE;
}

HBITMAP LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName) {
  (void)hInstance;
  if (lpBitmapName == nullptr || !IS_INTRESOURCE(lpBitmapName)) return nullptr;
  auto id = reinterpret_cast<std::uintptr_t>(lpBitmapName);
  if (id == 0 || FindBitmapResource(static_cast<int>(id)) == nullptr) return nullptr;
  return reinterpret_cast<HBITMAP>(kBitmapBase + id);
}

UINT BitmapResourceId(HBITMAP hBitmap) {
  std::uintptr_t v = Value(hBitmap);
  if (v <= kBitmapBase || v > kBitmapBase + 0xFFFF) return 0;
  return static_cast<UINT>(v - kBitmapBase);
}

HDC CreateCompatibleDC(HDC hdc) {
  if (hdc != nullptr && !IsLiveDc(hdc)) return nullptr;
  HDC dc = NewDc(nullptr, nullptr, nullptr);
  dc->memory = true;
  dc->bitmap = reinterpret_cast<HGDIOBJ>(kDefaultBitmap);
  dc->surface = QRect(0, 0, 1, 1);
  ++g_memoryDcs;
  return dc;
}

BOOL DeleteDC(HDC hdc) {
  if (!IsLiveDc(hdc) || !hdc->memory) return FALSE;
  --g_memoryDcs;
  ReleaseWidgetDc(hdc);
  return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
  if (!IsLiveDc(hdc) || h == nullptr) return nullptr;
  QPainter *painter = hdc->painter.get();
  HGDIOBJ previous = nullptr;
  if (const GdiObject *o = FindObject(h)) {
    switch (o->kind) {
      case ObjectKind::Pen:
        previous = hdc->pen;
        hdc->pen = h;
        if (painter) painter->setPen(PenFor(h));
        return previous;
      case ObjectKind::Brush:
        previous = hdc->brush;
        hdc->brush = h;
        if (painter) painter->setBrush(BrushFor(h));
        return previous;
      case ObjectKind::Region:
        return reinterpret_cast<HGDIOBJ>(static_cast<std::uintptr_t>(SelectClipRgn(hdc, h)));
    }
  }
  COLORREF ignored = 0;
  if (IsStock(h, WHITE_PEN) || IsStock(h, BLACK_PEN) || IsStock(h, NULL_PEN)) {
    previous = hdc->pen;
    hdc->pen = h;
    if (painter) painter->setPen(PenFor(h));
    return previous;
  }
  if (IsStock(h, NULL_BRUSH) || GetStockBrushColor(h, &ignored)) {
    previous = hdc->brush;
    hdc->brush = h;
    if (painter) painter->setBrush(BrushFor(h));
    return previous;
  }
  if (BitmapResourceId(h) != 0 || Value(h) == kDefaultBitmap) {
    if (!hdc->memory) return nullptr;
    previous = hdc->bitmap;
    hdc->bitmap = h;
    const BitmapResource *b = FindBitmapResource(static_cast<int>(BitmapResourceId(h)));
    hdc->surface = b ? QRect(0, 0, b->width, b->height) : QRect(0, 0, 1, 1);
    return previous;
  }
  QFont font;
  if (FontFromHandle(h, &font)) {
    previous = hdc->font;
    hdc->font = h;
    hdc->qfont = font;
    if (painter) painter->setFont(font);
    return previous;
  }
  return nullptr;
}

int SelectClipRgn(HDC hdc, HRGN hrgn) {
  if (!IsLiveDc(hdc)) return RGN_ERROR;
  if (hrgn == nullptr) {
    hdc->clipped = false;
    hdc->clip = QRegion();
    return SIMPLEREGION;
  }
  const GdiObject *o = FindObject(hrgn);
  if (o == nullptr || o->kind != ObjectKind::Region) return RGN_ERROR;
  hdc->clipped = true;
  hdc->clip = o->region;
  return RegionType(hdc->clip);
}

int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
  if (!IsLiveDc(hdc)) return RGN_ERROR;
  QRegion base = hdc->clipped ? hdc->clip : QRegion(hdc->surface);
  if (right > left && bottom > top) base -= QRegion(left, top, right - left, bottom - top);
  hdc->clipped = true;
  hdc->clip = base;
  return RegionType(hdc->clip);
}

namespace {

// The pixels of the bitmap selected into a memory device context; the
// decoded resource pictures are kept, as the resources themselves are.
const QImage *SourceImage(HDC src) {
  static std::map<UINT, QImage> images;
  UINT id = BitmapResourceId(src->bitmap);
  if (id == 0) return nullptr;
  auto it = images.find(id);
  if (it != images.end()) return &it->second;
  const BitmapResource *b = FindBitmapResource(static_cast<int>(id));
  if (b == nullptr) return nullptr;
  QImage image(b->width, b->height, QImage::Format_RGB32);
  for (int y = 0; y < b->height; ++y)
    for (int x = 0; x < b->width; ++x) {
      COLORREF c = b->At(x, y);
      image.setPixel(x, y, qRgb(GetRValue(c), GetGValue(c), GetBValue(c)));
    }
  return &images.emplace(id, std::move(image)).first->second;
}

QFontMetrics MetricsOf(HDC hdc) {
  if (hdc->painter && hdc->painter->isActive()) return hdc->painter->fontMetrics();
  return QFontMetrics(hdc->qfont);
}

QString TextOf(LPCSTR text, int c) {
  if (text == nullptr || c <= 0) return {};
  return QString::fromUtf8(text, c);
}

}  // namespace

// The picture a blit copies from: a memory device context's bitmap, or an
// image being painted.
const QImage *BlitSource(HDC hdcSrc) {
  if (hdcSrc->memory) return SourceImage(hdcSrc);
  if (hdcSrc->painter && hdcSrc->painter->device() &&
      hdcSrc->painter->device()->devType() == QInternal::Image)
    return static_cast<const QImage *>(hdcSrc->painter->device());
  return nullptr;
}

BOOL StretchBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, int cx1, int cy1,
                DWORD rop) {
  if (rop != SRCCOPY || !IsLiveDc(hdc) || !IsLiveDc(hdcSrc)) return FALSE;
  if (cx <= 0 || cy <= 0 || cx1 <= 0 || cy1 <= 0) return TRUE;
  const QImage *source = BlitSource(hdcSrc);
  QPainter *painter = hdc->painter.get();
  if (painter == nullptr || !painter->isActive() || source == nullptr) return TRUE;
  const QRect from(x1, y1, cx1, cy1);
  if (!source->rect().contains(from)) return FALSE;
  Clipped(hdc, [&](QPainter *p) { p->drawImage(QRect(x, y, cx, cy), *source, from); });
  return TRUE;
}

BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  if (rop != SRCCOPY || !IsLiveDc(hdc) || !IsLiveDc(hdcSrc)) return FALSE;
  if (cx <= 0 || cy <= 0) return TRUE;
  const QImage *source = BlitSource(hdcSrc);
  QPainter *painter = hdc->painter.get();
  if (painter == nullptr || !painter->isActive()) return TRUE;  // a surface that shows nothing
  if (source == nullptr) return TRUE;  // the 1 x 1 default bitmap: nothing to copy
  QRect from = QRect(x1, y1, cx, cy).intersected(source->rect());
  if (from.isEmpty()) return TRUE;
  Clipped(hdc, [&](QPainter *p) {
    p->drawImage(QPoint(x + from.left() - x1, y + from.top() - y1), *source, from);
  });
  return TRUE;
}

BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
  if (!IsLiveDc(hdc)) return FALSE;
  QPainter *painter = hdc->painter.get();
  if (painter == nullptr || !painter->isActive()) return TRUE;
  if (right - left < 2 || bottom - top < 2) return TRUE;
  painter->setRenderHint(QPainter::Antialiasing, false);
  // A one-pixel outline of QRect(l, t, w, h) covers l..l+w: one less than
  // the rectangle, so the pen stays inside (left, top)-(right, bottom).
  QRectF r(left, top, right - left - 1, bottom - top - 1);
  Clipped(hdc,
          [&](QPainter *p) { p->drawRoundedRect(r, width / 2.0, height / 2.0, Qt::AbsoluteSize); });
  return TRUE;
}

int SetBkMode(HDC hdc, int mode) {
  if (!IsLiveDc(hdc) || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int previous = hdc->bkMode;
  hdc->bkMode = mode;
  return previous;
}

int GetBkMode(HDC hdc) { return IsLiveDc(hdc) ? hdc->bkMode : 0; }

COLORREF SetBkColor(HDC hdc, COLORREF color) {
  if (!IsLiveDc(hdc)) return 0xFFFFFFFF;
  COLORREF previous = hdc->bkColor;
  hdc->bkColor = color & 0xFFFFFF;
  return previous;
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  if (!IsLiveDc(hdc)) return 0xFFFFFFFF;
  COLORREF previous = hdc->textColor;
  hdc->textColor = color & 0xFFFFFF;
  return previous;
}

COLORREF GetTextColor(HDC hdc) { return IsLiveDc(hdc) ? hdc->textColor : 0xFFFFFFFF; }

BOOL GetTextExtentPointA(HDC hdc, LPCSTR lpString, int c, SIZE *lpsz) {
  if (!IsLiveDc(hdc) || lpsz == nullptr || c < 0 || (lpString == nullptr && c > 0)) return FALSE;
  QFontMetrics fm = MetricsOf(hdc);
  lpsz->cx = fm.horizontalAdvance(TextOf(lpString, c));
  lpsz->cy = fm.height();
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, SIZE *lpsz) {
  return GetTextExtentPointA(hdc, lpString, c, lpsz);
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
  if (!IsLiveDc(hdc) || c < 0 || (lpString == nullptr && c > 0)) return FALSE;
  QPainter *painter = hdc->painter.get();
  if (painter == nullptr || !painter->isActive() || c == 0) return TRUE;
  QString text = TextOf(lpString, c);
  QFontMetrics fm = painter->fontMetrics();
  const QColor background = ToColor(hdc->bkColor);
  const QColor color = ToColor(hdc->textColor);
  const bool opaque = hdc->bkMode == OPAQUE;
  Clipped(hdc, [&](QPainter *p) {
    if (opaque) p->fillRect(QRect(x, y, fm.horizontalAdvance(text), fm.height()), background);
    QPen pen = p->pen();
    p->setPen(color);
    p->drawText(QPoint(x, y + fm.ascent()), text);
    p->setPen(pen);
  });
  return TRUE;
}
