// The transparent label drawn by the real window layer over its dialog:
// lines and their places, alignment, a disabled label, the clipped top row
// and left column, the parent repainted under a new text, and what
// assistive technology reads.
#include "control_pictures.h"
#include "controls/transparent_label.h"
#include "platform/win/paint_internal.h"
#include "platform/win/window_internal.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleInterface>
#include <QWidget>

#include <cstring>
#include <string>
#include <vector>

namespace {

using quavix::win::WidgetOf;

constexpr int kTwoLines = 20, kOneLine = 21, kCentred = 22, kRight = 23, kLeft = 24, kDisabled = 25,
              kEnabled = 26, kNarrow = 27, kBlock = 28;
// Full blocks: ink over the whole height of a line in the desktop's font.
const char *const kBlocks = "\u2588\u2588\u2588\u2588\u2588\u2588";

std::vector<ControlTemplate> Controls() {
  return {
      {kTwoLines, kStaticClass, "Ab", 10, 10, 60, 24, SS_LEFT, 0},
      {kOneLine, kStaticClass, "Cd", 80, 10, 60, 24, SS_LEFT, 0},
      {kCentred, kStaticClass, "Cd", 10, 40, 60, 10, SS_CENTER, 0},
      {kRight, kStaticClass, "Cd", 80, 40, 60, 10, SS_RIGHT, 0},
      {kLeft, kStaticClass, "Cd", 150, 40, 60, 10, SS_LEFT, 0},
      {kDisabled, kStaticClass, "Cd", 10, 60, 60, 10, SS_LEFT | WS_DISABLED, 0},
      {kEnabled, kStaticClass, "Cd", 80, 60, 60, 10, SS_LEFT, 0},
      {kNarrow, kStaticClass, "", 10, 80, 10, 10, SS_CENTER, 0},
      {kBlock, kStaticClass, "", 80, 80, 30, 10, SS_LEFT, 0},
  };
}

// A dialog that notes the areas it is asked to repaint.
class PaintRecorder : public CWnd {
 public:
  std::vector<RECT> painted;

 protected:
  void OnPaint() {
    CPaintDC dc(this);
    painted.push_back(dc.m_ps.rcPaint);
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(PaintRecorder, CWnd)
ON_WM_PAINT()
END_MESSAGE_MAP()

class TransparentLabelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int id = kTwoLines; id <= kBlock; ++id)
      ASSERT_TRUE(dialog_.Bind(id, labels_[id - kTwoLines])) << id;
    ground_ = WidgetOf(dialog_.Hwnd())->grab().toImage().pixel(1, 1);
  }
  CTransparentLabel &Label(int id) { return labels_[id - kTwoLines]; }
  SIZE Extent(int id, const char *text) {
    QImage probe(4, 4, QImage::Format_RGB32);
    HDC dc = quavix::win::CreateImageDc(&probe);
    SelectObject(dc, reinterpret_cast<HGDIOBJ>(Label(id).SendMessage(WM_GETFONT)));
    SIZE size{};
    GetTextExtentPointA(dc, text, static_cast<int>(std::strlen(text)), &size);
    quavix::win::ReleaseWidgetDc(dc);
    return size;
  }

  PaintRecorder recorder_;
  TestDialog dialog_{Controls(), 220, 100, &recorder_};
  CTransparentLabel labels_[kBlock - kTwoLines + 1];
  QRgb ground_{};
};

TEST_F(TransparentLabelTest, BindingTakesStyleTextAndLines) {
  EXPECT_EQ(Label(kCentred).m_dwStyle & 3, SS_CENTER);
  EXPECT_EQ(Label(kRight).m_dwStyle & 3, SS_RIGHT);
  EXPECT_STREQ(Label(kOneLine).m_szText, "Cd");
  EXPECT_EQ(Label(kOneLine).m_nLines, 1);
  CTransparentLabel fresh;
  EXPECT_EQ(fresh.m_dwStyle, 0u);
  EXPECT_EQ(fresh.m_nLines, 1);
  EXPECT_EQ(fresh.m_crText, RGB(0, 0, 0));
  EXPECT_EQ(fresh.m_crDisabledText, RGB(0, 0, 0));
}

TEST_F(TransparentLabelTest, TwoLinesStartAtTheLeftOneLineHeightAndAPixelApart) {
  Label(kTwoLines).SetWindowText("Cd\nCd");
  EXPECT_EQ(Label(kTwoLines).m_nLines, 2);
  EXPECT_STREQ(Label(kTwoLines).m_szText, "Cd\nCd");
  const SIZE line = Extent(kTwoLines, "Cd");
  QImage two = Picture(dialog_.Item(kTwoLines));
  QImage one = Picture(dialog_.Item(kOneLine));
  ASSERT_GE(two.height(), 2 * line.cy + 1);
  QRect first(1, 1, two.width() - 1, line.cy - 1);
  EXPECT_TRUE(SameShifted(one, two, first, 0, 0)) << "the first line as a label of one line";
  EXPECT_TRUE(SameShifted(one, two, first, 0, line.cy + 1)) << "the second line cy + 1 below";
  QRect ink = InkBox(one, ground_);
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_GE(ink.left(), 2);
  EXPECT_LE(ink.left(), 4);

  Label(kTwoLines).SetWindowText("Cd\n");
  EXPECT_EQ(Label(kTwoLines).m_nLines, 2) << "a final line feed counts an empty line";
  Label(kTwoLines).SetWindowText("");
  EXPECT_EQ(Label(kTwoLines).m_nLines, 1);
  EXPECT_TRUE(InkBox(Picture(dialog_.Item(kTwoLines)), ground_, 0).isEmpty())
      << "no text, nothing drawn";
}

TEST_F(TransparentLabelTest, CentredAndRightAlignedLinesMoveByTheirMeasuredPlace) {
  const SIZE line = Extent(kLeft, "Cd");
  QImage left = Picture(dialog_.Item(kLeft));
  QImage centred = Picture(dialog_.Item(kCentred));
  QImage right = Picture(dialog_.Item(kRight));
  const int w = left.width();
  QRect ink = InkBox(left, ground_);
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_TRUE(SameShifted(left, centred, ink, (w - line.cx) / 2 - 2, 0));
  EXPECT_TRUE(SameShifted(left, right, ink, w - line.cx - 2 - 2, 0));
  EXPECT_FALSE(SameShifted(left, right, ink, 0, 0));
}

TEST_F(TransparentLabelTest, DisabledLabelDrawsEachLineTwiceInBlack) {
  QImage enabled = Picture(dialog_.Item(kEnabled));
  QImage disabled = Picture(dialog_.Item(kDisabled));
  QRect a = InkBox(enabled, ground_), b = InkBox(disabled, ground_);
  ASSERT_FALSE(a.isEmpty());
  EXPECT_EQ(b, a.adjusted(0, 0, 1, 1)) << "the second copy one pixel left of and above the first";
  int darkest = 255;
  for (int y = b.top(); y <= b.bottom(); ++y)
    for (int x = b.left(); x <= b.right(); ++x)
      darkest = std::min(darkest, qRed(disabled.pixel(x, y)));
  EXPECT_LT(darkest, 40) << "black, not grey";
}

TEST_F(TransparentLabelTest, TopRowAndLeftColumnAreNeverPainted) {
  Label(kBlock).SetWindowText(kBlocks);
  QImage block = Picture(dialog_.Item(kBlock));
  QRect ink = InkBox(block, ground_);
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_EQ(ink.top(), 1) << "the blocks reach the top, which stays unpainted";
  // A centred text wider than its label starts left of it: clipped on both
  // sides, and the left column stays unpainted.
  Label(kNarrow).SetWindowText(kBlocks);
  QImage narrow = Picture(dialog_.Item(kNarrow));
  QRect cut = InkBox(narrow, ground_);
  ASSERT_FALSE(cut.isEmpty());
  EXPECT_EQ(cut.left(), 1);
  EXPECT_EQ(cut.right(), narrow.width() - 1);
  for (int y = 0; y < narrow.height(); ++y) EXPECT_EQ(narrow.pixel(0, y), ground_) << y;
  for (int x = 0; x < block.width(); ++x) EXPECT_EQ(block.pixel(x, 0), ground_) << x;
}

TEST_F(TransparentLabelTest, NewTextRepaintsTheParentUnderTheLabelAndIsKeptByTheLabel) {
  PumpPendingMessages();
  recorder_.painted.clear();
  HWND hwnd = dialog_.Item(kOneLine);
  EXPECT_TRUE(SetWindowTextA(hwnd, "Volume:"));
  PumpPendingMessages();
  QRect label = WidgetOf(hwnd)->geometry();
  bool covered = false;
  for (const RECT &r : recorder_.painted)
    covered |= QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)).contains(label);
  EXPECT_TRUE(covered) << recorder_.painted.size() << " repaints of the parent";

  char text[64] = "";
  GetWindowTextA(hwnd, text, sizeof text);
  EXPECT_STREQ(text, "Cd") << "the window system keeps the old text";
  EXPECT_STREQ(Label(kOneLine).m_szText, "Volume:");
  QAccessibleInterface *a = QAccessible::queryAccessibleInterface(WidgetOf(hwnd));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->text(QAccessible::Name).toStdString(), "Volume:")
      << "assistive technology reads what is shown";
}

TEST_F(TransparentLabelTest, OverlongTextIsCutToTheLimits) {
  std::string longText(1500, 'a');
  Label(kOneLine).SetWindowText(longText.c_str());
  EXPECT_EQ(std::strlen(Label(kOneLine).m_szText), 1023u);
  // A cut never splits a character of several bytes.
  std::string accents;
  while (accents.size() < 1100) accents += "\xC3\xA9";
  Label(kOneLine).SetWindowText(accents.c_str());
  EXPECT_EQ(std::strlen(Label(kOneLine).m_szText), 1022u);
  Picture(dialog_.Item(kOneLine));  // a line over 255 bytes is drawn cut, without harm
  Label(kOneLine).SendMessage(WM_SETTEXT, 0, 0);
  EXPECT_STREQ(Label(kOneLine).m_szText, "");
}

TEST_F(TransparentLabelTest, EveryPaintingGivesItsObjectsBack) {
  const int before = quavix::win::LiveGdiObjectCount();
  for (int id = kTwoLines; id <= kBlock; ++id) Picture(dialog_.Item(id));
  Label(kCentred).SetWindowText("One\nTwo\nThree");
  PumpPendingMessages();
  Picture(dialog_.Item(kCentred));
  EXPECT_EQ(quavix::win::LiveGdiObjectCount(), before);
}

}  // namespace
