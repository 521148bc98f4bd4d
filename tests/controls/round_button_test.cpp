// The rounded button drawn by the real window layer: edges, face, caption
// and its place, held down by a real mouse press, disabled, a long caption,
// a check box bound to the class, and every GDI object given back.
#include "app/converter_app.h"
#include "control_pictures.h"
#include "controls/round_button.h"
#include "platform/win/paint_internal.h"
#include "platform/win/window_internal.h"
#include "platform/win/images.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include <string>

namespace {

using quavix::win::WidgetOf;

constexpr int kButton = 10, kEmpty = 11, kDefault = 12, kCheck = 13, kGrey = 14, kLongA = 15,
              kLongB = 16;
constexpr QRgb kLight = qRgb(255, 255, 255);
constexpr QRgb kShadow = qRgb(0x60, 0x60, 0x60);

std::vector<ControlTemplate> Controls() {
  const DWORD push = BS_PUSHBUTTON | WS_TABSTOP;
  return {
      {kButton, kButtonClass, "OK", 10, 10, 50, 14, push, 0},
      {kEmpty, kButtonClass, "", 70, 10, 50, 14, push, 0},
      {kDefault, kButtonClass, "OK", 130, 10, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
      {kCheck, kButtonClass, "Check", 10, 40, 50, 14, BS_AUTOCHECKBOX | WS_TABSTOP, 0},
      {kGrey, kButtonClass, "OK", 70, 40, 50, 14, push, 0},
      {kLongA, kButtonClass, "", 10, 70, 50, 14, push, 0},
      {kLongB, kButtonClass, "", 70, 70, 50, 14, push, 0},
  };
}

class RoundButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int id : {kButton, kEmpty, kDefault, kCheck, kGrey, kLongA, kLongB})
      ASSERT_TRUE(dialog_.Bind(id, buttons_[id - kButton])) << id;
  }
  CRoundButton &Button(int id) { return buttons_[id - kButton]; }

  // The caption's pixels: where the button differs from an empty one.
  QRect CaptionInk(const QImage &picture) {
    QImage empty = Picture(dialog_.Item(kEmpty));
    QRect box;
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x)
        if (picture.pixel(x, y) != empty.pixel(x, y)) box |= QRect(x, y, 1, 1);
    return box;
  }

  // Published before the buttons are made, as the application does it.
  struct Faces {
    Faces() { PublishButtonFaces(); }
  } faces_;
  TestDialog dialog_{Controls()};
  CRoundButton buttons_[7];
};

TEST_F(RoundButtonTest, BindingTakesTheButtonKindAndMakesItOwnerDrawn) {
  EXPECT_EQ(Button(kButton).m_nButtonType, static_cast<int>(BS_PUSHBUTTON));
  EXPECT_EQ(Button(kDefault).m_nButtonType, static_cast<int>(BS_DEFPUSHBUTTON));
  EXPECT_EQ(Button(kCheck).m_nButtonType, static_cast<int>(BS_AUTOCHECKBOX));
  for (int id : {kButton, kDefault, kCheck}) {
    DWORD style = Button(id).GetStyle();
    EXPECT_EQ(style & BS_TYPEMASK, BS_OWNERDRAW) << id;
    EXPECT_TRUE(style & WS_TABSTOP) << "no other style changes";
  }
  CRoundButton fresh;
  EXPECT_EQ(fresh.m_nButtonType, 0);
  EXPECT_EQ(fresh.m_pbmpDown, g_pbmpButtonDown);
  EXPECT_EQ(fresh.m_pbmpUp, g_pbmpButtonUp);
  EXPECT_EQ(fresh.m_crLight, 0xFFFFFFu);
  EXPECT_EQ(fresh.m_crShadow, 0x606060u);
  EXPECT_EQ(fresh.m_crGrayText, 0x808080u);
  EXPECT_EQ(fresh.m_crText, 0u);
}

TEST_F(RoundButtonTest, UpButtonIsRaisedWithTheFaceAndTheCaptionInTheMiddle) {
  QImage up = Picture(dialog_.Item(kButton));
  const int w = up.width(), h = up.height();
  ASSERT_GT(w, 20);
  ASSERT_GT(h, 10);
  EXPECT_EQ(up.pixel(w / 2, 0), kLight);
  EXPECT_EQ(up.pixel(0, h / 2), kLight);
  EXPECT_EQ(up.pixel(w / 2, h - 1), kShadow);
  EXPECT_EQ(up.pixel(w - 1, h / 2), kShadow);
  // The face picture fitted to the button one pixel in: its corners as they
  // are, wherever the button's size puts them.
  const BitmapResource *face = FindBitmapResource(IDB_BUTTON_FACE);
  ASSERT_NE(face, nullptr);
  const int fw = face->width, fh = face->height;
  const struct {
    int x, y, fx, fy;
  } corners[] = {{1, 1, 0, 0},          {2, 2, 1, 1},          {5, 2, 4, 1},
                 {2, h - 3, 1, fh - 2}, {w - 3, 2, fw - 2, 1}, {w - 3, h - 3, fw - 2, fh - 2}};
  for (auto p : corners) {
    COLORREF c = face->At(p.fx, p.fy);
    EXPECT_EQ(up.pixel(p.x, p.y), qRgb(GetRValue(c), GetGValue(c), GetBValue(c)))
        << p.x << "," << p.y;
  }

  // The caption sits at ((W - width) / 2, (H - height) / 2) in black.
  QImage probe(4, 4, QImage::Format_RGB32);
  HDC dc = quavix::win::CreateImageDc(&probe);
  SelectObject(dc, reinterpret_cast<HGDIOBJ>(Button(kButton).SendMessage(WM_GETFONT)));
  SIZE extent{};
  GetTextExtentPointA(dc, "OK", 2, &extent);
  quavix::win::ReleaseWidgetDc(dc);
  const int x = (w - extent.cx) / 2, y = (h - extent.cy) / 2;
  QRect ink = CaptionInk(up);
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_GE(ink.left(), x);
  EXPECT_LE(ink.left(), x + 3);
  EXPECT_GE(ink.top(), y);
  EXPECT_LE(ink.right(), x + extent.cx);
  EXPECT_LE(ink.bottom(), y + extent.cy);
  int darkest = 255;
  for (int yy = ink.top(); yy <= ink.bottom(); ++yy)
    for (int xx = ink.left(); xx <= ink.right(); ++xx)
      darkest = std::min(darkest, qRed(up.pixel(xx, yy)));
  EXPECT_LT(darkest, 60) << "an enabled caption is black";
}

TEST_F(RoundButtonTest, HoldingTheMouseDownSinksTheButtonAndReleasingRestoresIt) {
  HWND hwnd = dialog_.Item(kButton);
  // Without faces the caption lies on the dialog's flat colour, so its
  // move shows pixel for pixel.
  Button(kButton).m_pbmpDown = Button(kButton).m_pbmpUp = nullptr;
  Button(kEmpty).m_pbmpDown = Button(kEmpty).m_pbmpUp = nullptr;
  QImage up = Picture(hwnd);
  QWidget *widget = WidgetOf(hwnd);
  QTest::mousePress(widget, Qt::LeftButton, {}, widget->rect().center());
  EXPECT_TRUE(Button(kButton).GetState() & BST_PUSHED);
  QImage down = Picture(hwnd);
  QTest::mouseRelease(widget, Qt::LeftButton, {}, widget->rect().center());
  QImage again = Picture(hwnd);

  const int w = up.width(), h = up.height();
  EXPECT_EQ(down.pixel(w / 2, 0), kShadow);
  EXPECT_EQ(down.pixel(0, h / 2), kShadow);
  EXPECT_EQ(down.pixel(w / 2, h - 1), kLight);
  EXPECT_EQ(down.pixel(w - 1, h / 2), kLight);
  QRect ink = CaptionInk(up);
  ASSERT_FALSE(ink.isEmpty());
  ink.adjust(-1, -1, 0, 0);
  EXPECT_TRUE(SameShifted(up, down, ink, 1, 1)) << "the caption moves one pixel right and down";
  EXPECT_FALSE(SameShifted(up, down, ink, 0, 0));
  EXPECT_EQ(again, up);
}

TEST_F(RoundButtonTest, DisabledButtonShowsAGreyCaptionMovedByOnePixel) {
  // The same caption in grey on an enabled button is what the disabled one
  // must show, one pixel right and down.
  Button(kGrey).m_crText = Button(kGrey).m_crGrayText;
  for (int id : {kGrey, kButton, kEmpty}) Button(id).m_pbmpDown = Button(id).m_pbmpUp = nullptr;
  QImage grey = Picture(dialog_.Item(kGrey));
  QImage up = Picture(dialog_.Item(kButton));
  Button(kButton).EnableWindow(FALSE);
  QImage disabled = Picture(dialog_.Item(kButton));
  const int w = up.width(), h = up.height();
  EXPECT_EQ(disabled.pixel(w / 2, 0), kLight) << "edges as for an up button";
  EXPECT_EQ(disabled.pixel(w / 2, h - 1), kShadow);
  QRect ink = CaptionInk(grey);
  ASSERT_FALSE(ink.isEmpty());
  ink.adjust(-1, -1, 0, 0);
  EXPECT_TRUE(SameShifted(grey, disabled, ink, 1, 1));
  int darkest = 255;
  for (int y = 3; y < h - 3; ++y)
    for (int x = 3; x < w - 3; ++x) darkest = std::min(darkest, qRed(disabled.pixel(x, y)));
  EXPECT_GE(darkest, 110) << "nothing black on a disabled button";
  EXPECT_LE(darkest, 140);
}

TEST_F(RoundButtonTest, CaptionIsCutAfter127Characters) {
  const std::string first(127, 'x');
  Button(kLongA).SetWindowText((first + std::string(40, 'W')).c_str());
  Button(kLongB).SetWindowText(first.c_str());
  EXPECT_EQ(Picture(dialog_.Item(kLongA)), Picture(dialog_.Item(kLongB)));
  // One character less does show: the cut is what made the two alike.
  Button(kLongB).SetWindowText(first.substr(1).c_str());
  EXPECT_NE(Picture(dialog_.Item(kLongA)), Picture(dialog_.Item(kLongB)));
}

TEST_F(RoundButtonTest, CheckBoxBoundToTheClassStaysBlank) {
  QImage check = Picture(dialog_.Item(kCheck));
  QRgb ground = check.pixel(0, 0);
  EXPECT_TRUE(InkBox(check, ground, 0).isEmpty()) << "nothing of its own: no box, no text, no edge";
  // The parent's background it shows is the dialog's own.
  QImage dialog = WidgetOf(dialog_.Hwnd())->grab().toImage();
  EXPECT_EQ(ground, dialog.pixel(2, 2));
}

TEST_F(RoundButtonTest, ErasingTheBackgroundDrawsNothing) {
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(qRgb(1, 2, 3));
  QImage before = image;
  HDC dc = quavix::win::CreateImageDc(&image);
  EXPECT_NE(Button(kButton).SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc)), 0);
  quavix::win::ReleaseWidgetDc(dc);
  EXPECT_EQ(image, before);
}

TEST_F(RoundButtonTest, EveryDrawingGivesItsObjectsBack) {
  const int before = quavix::win::LiveGdiObjectCount();
  HWND hwnd = dialog_.Item(kButton);
  QWidget *widget = WidgetOf(hwnd);
  Picture(hwnd);
  QTest::mousePress(widget, Qt::LeftButton, {}, widget->rect().center());
  Picture(hwnd);
  QTest::mouseRelease(widget, Qt::LeftButton, {}, widget->rect().center());
  Button(kButton).EnableWindow(FALSE);
  Picture(hwnd);
  Picture(dialog_.Item(kCheck));
  EXPECT_EQ(quavix::win::LiveGdiObjectCount(), before);
}

}  // namespace
