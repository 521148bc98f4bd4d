// Drawing through device contexts on real images: pens, brushes, clip
// regions, rounded rectangles, copies from a resource bitmap, text, and the
// count of GDI objects that a drawing must give back.
#include "platform/afx/afxwin.h"
#include "platform/win/paint_internal.h"
#include "platform/win/images.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <cstring>

namespace {

using quavix::win::CreateImageDc;
using quavix::win::LiveGdiObjectCount;
using quavix::win::ReleaseWidgetDc;

constexpr QRgb kGround = qRgb(10, 200, 10);

// An image filled with one colour and a device context that paints on it.
struct Canvas {
  Canvas(int w, int h) : image(w, h, QImage::Format_RGB32) {
    image.fill(kGround);
    dc = CreateImageDc(&image);
  }
  ~Canvas() { Release(); }
  void Release() {
    if (dc) ReleaseWidgetDc(dc);
    dc = nullptr;
  }
  QRgb At(int x, int y) const { return image.pixel(x, y); }
  QImage image;
  HDC dc = nullptr;
};

QRgb Rgb(COLORREF c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }

TEST(GdiObjects, EveryObjectIsCountedUntilItsDeletion) {
  const int before = LiveGdiObjectCount();
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
  HBRUSH brush = CreateSolidBrush(RGB(4, 5, 6));
  LOGBRUSH hollowDesc{BS_NULL, 0, 0};
  HBRUSH hollow = CreateBrushIndirect(&hollowDesc);
  HRGN region = CreateRectRgn(0, 0, 5, 5);
  HDC memory = CreateCompatibleDC(nullptr);
  ASSERT_TRUE(pen && brush && hollow && region && memory);
  EXPECT_EQ(LiveGdiObjectCount(), before + 5);

  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_FALSE(DeleteObject(pen)) << "a handle is deleted once";
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_TRUE(DeleteObject(hollow));
  EXPECT_TRUE(DeleteObject(region));
  EXPECT_TRUE(DeleteDC(memory));
  EXPECT_FALSE(DeleteDC(memory));
  EXPECT_EQ(LiveGdiObjectCount(), before);

  // Shared objects are not the caller's to free: deleting them is harmless.
  EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH)));
  EXPECT_TRUE(DeleteObject(LoadBitmapA(nullptr, MAKEINTRESOURCEA(IDB_BUTTON_FACE))));
  EXPECT_NE(LoadBitmapA(nullptr, MAKEINTRESOURCEA(IDB_BUTTON_FACE)), nullptr);
  EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCEA(148)), nullptr);

  LOGBRUSH hatched{2, 0, 0};
  EXPECT_EQ(CreateBrushIndirect(&hatched), nullptr);
  EXPECT_EQ(CreatePen(PS_SOLID, -1, 0), nullptr);
  EXPECT_EQ(LiveGdiObjectCount(), before);
}

TEST(GdiObjects, FrameworkObjectsDeleteOnceAndOnDestruction) {
  const int before = LiveGdiObjectCount();
  {
    CPen pen;
    CBrush brush;
    CRgn region;
    CDC memory;
    ASSERT_TRUE(pen.CreatePen(PS_SOLID, 1, RGB(9, 9, 9)));
    ASSERT_TRUE(brush.CreateSolidBrush(RGB(9, 9, 9)));
    ASSERT_TRUE(region.CreateRectRgn(0, 0, 3, 3));
    ASSERT_TRUE(memory.CreateCompatibleDC(nullptr));
    EXPECT_EQ(LiveGdiObjectCount(), before + 4);
    EXPECT_TRUE(pen.DeleteObject());
    EXPECT_FALSE(pen.DeleteObject());
    EXPECT_TRUE(memory.DeleteDC());
    EXPECT_EQ(LiveGdiObjectCount(), before + 2);
  }
  EXPECT_EQ(LiveGdiObjectCount(), before) << "the rest went with their objects";

  // A temporary object for a device context never frees what it wraps.
  Canvas canvas(4, 4);
  CDC *temp = CDC::FromHandle(canvas.dc);
  ASSERT_NE(temp, nullptr);
  EXPECT_FALSE(temp->DeleteDC());
  EXPECT_TRUE(quavix::win::IsLiveDc(canvas.dc));
}

TEST(DeviceContexts, SelectObjectHandsBackWhatWasSelected) {
  Canvas canvas(10, 10);
  HPEN first = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HPEN second = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
  HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
  EXPECT_EQ(SelectObject(canvas.dc, first), GetStockObject(BLACK_PEN));
  EXPECT_EQ(SelectObject(canvas.dc, second), first);
  EXPECT_EQ(SelectObject(canvas.dc, brush), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(SelectObject(canvas.dc, GetStockObject(NULL_BRUSH)), brush);
  // Bitmaps go into memory device contexts only.
  HBITMAP face = LoadBitmapA(nullptr, MAKEINTRESOURCEA(IDB_BUTTON_FACE));
  EXPECT_EQ(SelectObject(canvas.dc, face), nullptr);
  HDC memory = CreateCompatibleDC(canvas.dc);
  HGDIOBJ initial = SelectObject(memory, face);
  EXPECT_NE(initial, nullptr);
  EXPECT_NE(initial, face);
  EXPECT_EQ(SelectObject(memory, initial), face);
  EXPECT_EQ(SelectObject(canvas.dc, nullptr), nullptr);
  EXPECT_EQ(SelectObject(nullptr, first), nullptr);
  SelectObject(canvas.dc, GetStockObject(BLACK_PEN));
  EXPECT_TRUE(DeleteDC(memory));
  EXPECT_TRUE(DeleteObject(first));
  EXPECT_TRUE(DeleteObject(second));
  EXPECT_TRUE(DeleteObject(brush));
}

TEST(Drawing, RoundRectKeepsItsOutlineInsideAndAHollowBrushFillsNothing) {
  Canvas canvas(40, 20);
  HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  LOGBRUSH hollowDesc{BS_NULL, 0, 0};
  HBRUSH hollow = CreateBrushIndirect(&hollowDesc);
  SelectObject(canvas.dc, red);
  SelectObject(canvas.dc, hollow);
  EXPECT_TRUE(RoundRect(canvas.dc, 0, 0, 40, 20, 6, 6));
  canvas.Release();
  const QRgb r = qRgb(255, 0, 0);
  EXPECT_EQ(canvas.At(20, 0), r);
  EXPECT_EQ(canvas.At(20, 19), r);
  EXPECT_EQ(canvas.At(0, 10), r);
  EXPECT_EQ(canvas.At(39, 10), r);
  EXPECT_EQ(canvas.At(20, 10), kGround) << "the hollow brush leaves the inside";
  EXPECT_EQ(canvas.At(20, 1), kGround);
  EXPECT_EQ(canvas.At(0, 0), kGround) << "the corners are rounded";
  DeleteObject(red);
  DeleteObject(hollow);

  Canvas filled(12, 12);
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  SelectObject(filled.dc, blue);
  RoundRect(filled.dc, 2, 2, 10, 10, 0, 0);
  filled.Release();
  EXPECT_EQ(filled.At(2, 2), qRgb(0, 0, 0)) << "the stock black pen";
  EXPECT_EQ(filled.At(9, 9), qRgb(0, 0, 0));
  EXPECT_EQ(filled.At(10, 10), kGround);
  EXPECT_EQ(filled.At(5, 5), qRgb(0, 0, 255));
  DeleteObject(blue);
}

TEST(Drawing, ClipRegionsAndExcludedRectanglesLimitWhatIsPainted) {
  Canvas canvas(30, 20);
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  SelectObject(canvas.dc, blue);
  SelectObject(canvas.dc, GetStockObject(NULL_PEN));
  // Only a band of three pixels along the top and the left.
  EXPECT_EQ(ExcludeClipRect(canvas.dc, 3, 3, 30, 20), COMPLEXREGION);
  RoundRect(canvas.dc, 0, 0, 30, 20, 0, 0);
  EXPECT_EQ(SelectClipRgn(canvas.dc, nullptr), SIMPLEREGION);
  // The region is copied: deleting it keeps the clipping in force.
  HRGN region = CreateRectRgn(20, 10, 25, 15);
  EXPECT_EQ(SelectClipRgn(canvas.dc, region), SIMPLEREGION);
  DeleteObject(region);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  SelectObject(canvas.dc, red);
  RoundRect(canvas.dc, 0, 0, 30, 20, 0, 0);
  canvas.Release();
  const QRgb b = qRgb(0, 0, 255), r = qRgb(255, 0, 0);
  EXPECT_EQ(canvas.At(15, 2), b);
  EXPECT_EQ(canvas.At(2, 15), b);
  EXPECT_EQ(canvas.At(3, 3), kGround);
  EXPECT_EQ(canvas.At(15, 8), kGround);
  EXPECT_EQ(canvas.At(20, 10), r);
  EXPECT_EQ(canvas.At(24, 14), r);
  EXPECT_EQ(canvas.At(25, 14), kGround) << "right and bottom edges are outside the region";
  EXPECT_EQ(canvas.At(24, 15), kGround);
  EXPECT_EQ(canvas.At(19, 12), kGround);
  DeleteObject(blue);
  DeleteObject(red);
}

TEST(Drawing, BitBltCopiesTheResourceBitmapUnscaled) {
  const BitmapResource *face = FindBitmapResource(IDB_BUTTON_FACE);
  ASSERT_NE(face, nullptr);
  Canvas canvas(face->width + 20, face->height + 10);
  HDC memory = CreateCompatibleDC(nullptr);
  SelectObject(memory, LoadBitmapA(nullptr, MAKEINTRESOURCEA(IDB_BUTTON_FACE)));
  EXPECT_FALSE(BitBlt(canvas.dc, 0, 0, 5, 5, memory, 0, 0, 0x00EE0086)) << "only SRCCOPY";
  // More than the bitmap holds: what lies beyond it stays as it was.
  EXPECT_TRUE(BitBlt(canvas.dc, 1, 1, face->width + 10, face->height + 5, memory, 0, 0, SRCCOPY));
  DeleteDC(memory);
  canvas.Release();
  for (auto [x, y] : {std::pair{0, 0},
                      {3, 5},
                      {face->width / 2, face->height / 2},
                      {face->width - 1, face->height - 1}})
    EXPECT_EQ(canvas.At(x + 1, y + 1), Rgb(face->At(x, y))) << x << "," << y;
  EXPECT_EQ(canvas.At(0, 0), kGround);
  EXPECT_EQ(canvas.At(face->width + 2, 3), kGround);
  EXPECT_EQ(canvas.At(3, face->height + 2), kGround);
}

// The rectangle of pixels that differ from the ground colour.
QRect Ink(const QImage &image) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != kGround) box |= QRect(x, y, 1, 1);
  return box;
}

TEST(Drawing, TextIsDrawnFromItsTopLeftInTheTextColour) {
  Canvas canvas(120, 40);
  SIZE size{};
  ASSERT_TRUE(GetTextExtentPointA(canvas.dc, "Hg", 2, &size));
  EXPECT_GT(size.cx, 0);
  EXPECT_GT(size.cy, 0);
  SIZE wider{};
  GetTextExtentPointA(canvas.dc, "HgHg", 4, &wider);
  EXPECT_GT(wider.cx, size.cx);
  EXPECT_EQ(wider.cy, size.cy);
  SIZE none{};
  ASSERT_TRUE(GetTextExtentPointA(canvas.dc, "", 0, &none));
  EXPECT_EQ(none.cx, 0);

  EXPECT_EQ(SetBkMode(canvas.dc, TRANSPARENT), OPAQUE);
  EXPECT_EQ(SetTextColor(canvas.dc, RGB(0, 0, 255)), RGB(0, 0, 0));
  ASSERT_TRUE(TextOutA(canvas.dc, 10, 5, "Hg", 2));
  canvas.Release();
  QRect ink = Ink(canvas.image);
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_GE(ink.left(), 10);
  EXPECT_LE(ink.left(), 12);
  EXPECT_GE(ink.top(), 5);
  EXPECT_LE(ink.right(), 10 + size.cx);
  EXPECT_LE(ink.bottom(), 5 + size.cy);
  // Transparent: outside the letters the ground stays.
  EXPECT_EQ(canvas.At(10, 5), kGround);
  // The strongest letter pixel is (close to) the text colour itself.
  QColor strongest(kGround);
  for (int y = ink.top(); y <= ink.bottom(); ++y)
    for (int x = ink.left(); x <= ink.right(); ++x)
      if (qGreen(canvas.At(x, y)) < strongest.green()) strongest = QColor(canvas.At(x, y));
  EXPECT_GE(strongest.blue(), 200) << strongest.name().toStdString();
  EXPECT_LE(strongest.green(), 60) << strongest.name().toStdString();
  EXPECT_LE(strongest.red(), 20) << strongest.name().toStdString();

  // Opaque: the text's whole cell takes the background colour.
  Canvas opaque(120, 40);
  SetBkColor(opaque.dc, RGB(255, 255, 0));
  TextOutA(opaque.dc, 10, 5, "Hg", 2);
  opaque.Release();
  EXPECT_EQ(opaque.At(10, 5), qRgb(255, 255, 0));
  EXPECT_EQ(opaque.At(10 + size.cx - 1, 5 + size.cy - 1), qRgb(255, 255, 0));
  EXPECT_EQ(opaque.At(10 + size.cx, 5), kGround);
}

TEST(Drawing, OnlyTheCountedBytesAreDrawn) {
  Canvas whole(200, 30), cut(200, 30);
  SetBkMode(whole.dc, TRANSPARENT);
  SetBkMode(cut.dc, TRANSPARENT);
  const char *text = "Quavix and more";
  TextOutA(whole.dc, 0, 0, "Quavix", 6);
  TextOutA(cut.dc, 0, 0, text, 6);
  whole.Release();
  cut.Release();
  EXPECT_EQ(whole.image, cut.image);
}

TEST(Drawing, DeviceContextsThatShowNothingStillAnswer) {
  HDC memory = CreateCompatibleDC(nullptr);
  ASSERT_NE(memory, nullptr);
  SIZE size{};
  EXPECT_TRUE(GetTextExtentPointA(memory, "Quavix", 6, &size));
  EXPECT_GT(size.cx, 0);
  EXPECT_TRUE(TextOutA(memory, 0, 0, "Quavix", 6));
  EXPECT_TRUE(RoundRect(memory, 0, 0, 10, 10, 2, 2));
  EXPECT_EQ(ExcludeClipRect(memory, 0, 0, 1, 1), NULLREGION);
  EXPECT_TRUE(DeleteDC(memory));
  EXPECT_FALSE(TextOutA(memory, 0, 0, "x", 1)) << "a deleted device context";
  EXPECT_EQ(SetBkMode(memory, TRANSPARENT), 0);
}

}  // namespace
