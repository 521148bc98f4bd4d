// Windows of their own class, messages sent and posted (also from other
// threads), timers, subclassing, painting through WM_PAINT and owner drawing.
#include "tests/win/gui_test_support.h"

#include "platform/win/window_internal.h"

#include <QImage>
#include <QPointer>
#include <QPushButton>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

struct Received {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  std::thread::id thread;
};

std::vector<Received> g_received;
LPVOID g_createParam = nullptr;
bool g_paintIcon = false;
DRAWITEMSTRUCT g_lastDraw{};
HWND g_lastDrawDcWindow = nullptr;
LRESULT g_closeResult = 0;

LRESULT TestWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  g_received.push_back({hwnd, msg, wParam, lParam, std::this_thread::get_id()});
  switch (msg) {
    case WM_CREATE:
      g_createParam = reinterpret_cast<CREATESTRUCTA *>(lParam)->lpCreateParams;
      return 0;
    case WM_USER + 1: return static_cast<LRESULT>(wParam + lParam);  // a result travels back
    case WM_CLOSE: return g_closeResult;  // the window decides; it does not go away
    case WM_DRAWITEM:
      g_lastDraw = *reinterpret_cast<DRAWITEMSTRUCT *>(lParam);
      g_lastDrawDcWindow = WindowFromDC(g_lastDraw.hDC);
      return TRUE;
    case WM_PAINT:
      if (g_paintIcon) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        DrawIcon(dc, 0, 0, LoadIconA(nullptr, MAKEINTRESOURCEA(103)));
        EndPaint(hwnd, &ps);
        return 0;
      }
      break;
    default: break;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

int Count(UINT msg, HWND hwnd = nullptr) {
  int n = 0;
  for (const Received &r : g_received)
    if (r.msg == msg && (hwnd == nullptr || r.hwnd == hwnd)) ++n;
  return n;
}

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &TestWndProc;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = "QuavixTestWindow";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    // A second registration of the name fails and keeps the first class.
    EXPECT_EQ(RegisterClassExA(&wc), 0);
  }

  void SetUp() override {
    g_received.clear();
    g_paintIcon = false;
    hwnd_ = CreateWindowExA(0, "QUAVIXTESTWINDOW", "Video Window",
                            WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 100, 50,
                            320, 240, nullptr, nullptr, nullptr, &marker_);
    ASSERT_NE(hwnd_, nullptr);
  }

  void TearDown() override {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
  }

  HWND hwnd_ = nullptr;
  int marker_ = 0;
};

TEST_F(WindowTest, CreatedHiddenWithItsCreationParameterAndText) {
  EXPECT_EQ(g_createParam, &marker_);
  EXPECT_EQ(Count(WM_CREATE, hwnd_), 1);
  EXPECT_FALSE(IsWindowVisible(hwnd_));
  EXPECT_FALSE(guitest::Widget(hwnd_)->isVisible());
  char title[64];
  EXPECT_EQ(GetWindowTextA(hwnd_, title, sizeof title), 12);
  EXPECT_STREQ(title, "Video Window");
  EXPECT_EQ(guitest::Widget(hwnd_)->windowTitle(), QStringLiteral("Video Window"));
  EXPECT_TRUE(SetWindowTextA(hwnd_, "song.mid  "));
  EXPECT_EQ(GetWindowTextLengthA(hwnd_), 10);
  // A short buffer takes what fits, terminated.
  EXPECT_EQ(GetWindowTextA(hwnd_, title, 5), 4);
  EXPECT_STREQ(title, "song");

  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&marker_));
  EXPECT_EQ(GetWindowLongPtrA(hwnd_, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&marker_));
  EXPECT_EQ(GetWindowLongPtrA(hwnd_, GWL_STYLE) & WS_VISIBLE, 0);
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  EXPECT_TRUE(IsWindowVisible(hwnd_));
  EXPECT_NE(GetWindowLongPtrA(hwnd_, GWL_STYLE) & WS_VISIBLE, 0);
}

TEST_F(WindowTest, OuterAndClientSizesAgree) {
  RECT outer{}, client{};
  GetWindowRect(hwnd_, &outer);
  GetClientRect(hwnd_, &client);
  EXPECT_EQ(outer.left, 100);
  EXPECT_EQ(outer.top, 50);
  EXPECT_EQ(outer.right - outer.left, 320);
  EXPECT_EQ(outer.bottom - outer.top, 240);
  EXPECT_EQ(client.right, 320 - 2 * GetSystemMetrics(SM_CXFRAME));
  EXPECT_EQ(client.bottom, 240 - GetSystemMetrics(SM_CYCAPTION) - 2 * GetSystemMetrics(SM_CYFRAME));
  // Sizing for a video of 176 x 144 gives exactly that client area.
  SetWindowPos(hwnd_, nullptr, 0, 0, 176 + 2 * GetSystemMetrics(SM_CXFRAME),
               144 + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFRAME),
               SWP_NOMOVE | SWP_NOOWNERZORDER);
  GetClientRect(hwnd_, &client);
  EXPECT_EQ(client.right, 176);
  EXPECT_EQ(client.bottom, 144);
  GetWindowRect(hwnd_, &outer);
  EXPECT_EQ(outer.left, 100);  // SWP_NOMOVE kept the place

  RECT work{};
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_GT(work.right - work.left, 0);
  EXPECT_GT(work.bottom - work.top, 0);
  EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);

  SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_TRUE(guitest::Widget(hwnd_)->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(IsWindowVisible(hwnd_));
  SetWindowPos(hwnd_, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_FALSE(guitest::Widget(hwnd_)->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(guitest::Widget(hwnd_)->isVisible());
}

TEST_F(WindowTest, SendCallsTheProcedureAtOnce) {
  EXPECT_EQ(SendMessageA(hwnd_, WM_USER + 1, 40, 2), 42);
  EXPECT_EQ(Count(WM_USER + 1), 1);
  EXPECT_EQ(SendMessageA(reinterpret_cast<HWND>(0x7777770), WM_USER + 1, 1, 1), 0);
}

TEST_F(WindowTest, PostedMessagesArriveInOrderOnTheInterfaceThread) {
  const auto uiThread = std::this_thread::get_id();
  EXPECT_TRUE(PostMessageA(hwnd_, WM_USER + 2, 1, 10));
  std::thread worker([this] {
    for (int i = 2; i <= 50; ++i) PostMessageA(hwnd_, WM_USER + 2, static_cast<WPARAM>(i), 10);
  });
  worker.join();
  EXPECT_EQ(Count(WM_USER + 2), 0);  // nothing runs before the loop delivers it
  ASSERT_TRUE(guitest::WaitFor([] { return Count(WM_USER + 2) == 50; }));
  WPARAM expected = 1;
  for (const Received &r : g_received) {
    if (r.msg != WM_USER + 2) continue;
    EXPECT_EQ(r.wParam, expected++);
    EXPECT_EQ(r.thread, uiThread);
  }
}

TEST_F(WindowTest, SendFromAnotherThreadRunsOnTheInterfaceThreadAndWaits) {
  const auto uiThread = std::this_thread::get_id();
  std::atomic<LRESULT> result{-1};
  std::atomic<bool> done{false};
  std::thread worker([&] {
    result = SendMessageA(hwnd_, WM_USER + 1, 30, 12);
    done = true;
  });
  EXPECT_TRUE(guitest::WaitFor([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(result.load(), 42);
  ASSERT_EQ(Count(WM_USER + 1), 1);
  for (const Received &r : g_received) {
    if (r.msg == WM_USER + 1) {
      EXPECT_EQ(r.thread, uiThread);
    }
  }
}

TEST_F(WindowTest, MessagesForADestroyedWindowAreDropped) {
  EXPECT_TRUE(PostMessageA(hwnd_, WM_USER + 3, 0, 0));
  HWND stale = hwnd_;
  DestroyWindow(hwnd_);
  EXPECT_FALSE(IsWindow(stale));
  EXPECT_EQ(Count(WM_DESTROY, stale), 1);
  EXPECT_EQ(Count(WM_NCDESTROY, stale), 1);
  guitest::Pump(50);
  EXPECT_EQ(Count(WM_USER + 3), 0);
  // Posting to a stale handle fails at once; a new window never gets its handle.
  EXPECT_FALSE(PostMessageA(stale, WM_USER + 3, 0, 0));
  HWND fresh = CreateWindowExA(0, "QuavixTestWindow", "", WS_CAPTION, 0, 0, 10, 10, nullptr,
                               nullptr, nullptr, nullptr);
  EXPECT_NE(fresh, stale);
  DestroyWindow(fresh);
}

TEST_F(WindowTest, TimerTicksAndStops) {
  EXPECT_EQ(SetTimer(hwnd_, 2, 20, nullptr), 2u);
  ASSERT_TRUE(guitest::WaitFor([this] { return Count(WM_TIMER, hwnd_) >= 3; }));
  for (const Received &r : g_received) {
    if (r.msg == WM_TIMER) {
      EXPECT_EQ(r.wParam, 2u);
    }
  }
  EXPECT_TRUE(KillTimer(hwnd_, 2));
  EXPECT_FALSE(KillTimer(hwnd_, 2));
  int ticks = Count(WM_TIMER);
  guitest::Pump(120);
  EXPECT_EQ(Count(WM_TIMER), ticks);
}

TEST_F(WindowTest, MissedTicksAreNotMadeUp) {
  SetTimer(hwnd_, 9, 20, nullptr);
  // The thread is busy for many intervals...
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  for (int i = 0; i < 100000 && Count(WM_TIMER, hwnd_) == 0; ++i) QCoreApplication::processEvents();
  ASSERT_GE(Count(WM_TIMER, hwnd_), 1);
  // ...and then gets a tick, not a burst of twenty (a few allow for a slow
  // machine's next regular ticks).
  EXPECT_LE(Count(WM_TIMER, hwnd_), 5);
  KillTimer(hwnd_, 9);
}

TEST_F(WindowTest, TimersEndWithTheirWindow) {
  SetTimer(hwnd_, 1, 10, nullptr);
  DestroyWindow(hwnd_);
  g_received.clear();
  guitest::Pump(80);
  EXPECT_EQ(Count(WM_TIMER), 0);
}

TEST_F(WindowTest, CloseBoxAsksTheWindowWhichMayRefuse) {
  ShowWindow(hwnd_, SW_SHOW);
  g_closeResult = 0;
  guitest::Widget(hwnd_)->close();
  EXPECT_EQ(Count(WM_SYSCOMMAND, hwnd_), 1);
  EXPECT_EQ(Count(WM_CLOSE, hwnd_), 1);
  EXPECT_TRUE(IsWindow(hwnd_));
  EXPECT_TRUE(guitest::Widget(hwnd_)->isVisible());
  // Default processing of WM_CLOSE destroys the window.
  DefWindowProcA(hwnd_, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(hwnd_));
}

TEST_F(WindowTest, MouseAndKeysBecomeWindowMessages) {
  ShowWindow(hwnd_, SW_SHOW);
  QWidget *w = guitest::Widget(hwnd_);
  QTest::mouseClick(w, Qt::RightButton, {}, QPoint(30, 40));
  QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(5, 6));
  QTest::keyClick(w, Qt::Key_Escape);
  bool sawRight = false, sawLeft = false, sawEscUp = false;
  for (const Received &r : g_received) {
    if (r.msg == WM_RBUTTONUP && GET_X_LPARAM(r.lParam) == 30 && GET_Y_LPARAM(r.lParam) == 40)
      sawRight = true;
    if (r.msg == WM_LBUTTONUP && GET_X_LPARAM(r.lParam) == 5 && GET_Y_LPARAM(r.lParam) == 6)
      sawLeft = true;
    if (r.msg == WM_KEYUP && r.wParam == static_cast<WPARAM>(VK_ESCAPE)) sawEscUp = true;
  }
  EXPECT_TRUE(sawRight);
  EXPECT_TRUE(sawLeft);
  EXPECT_TRUE(sawEscUp);
}

TEST_F(WindowTest, PaintingGoesThroughWmPaintAndItsDeviceContext) {
  ShowWindow(hwnd_, SW_SHOW);
  QWidget *w = guitest::Widget(hwnd_);
  QImage blank = w->grab().toImage();
  g_paintIcon = true;
  InvalidateRect(hwnd_, nullptr, TRUE);
  QImage painted = w->grab().toImage();
  EXPECT_GE(Count(WM_PAINT, hwnd_), 2);
  // The icon's 32 x 32 pixels at the origin changed; the far corner did not.
  int changed = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      if (painted.pixel(x, y) != blank.pixel(x, y)) ++changed;
  EXPECT_GT(changed, 100);
  QPoint far(w->width() - 2, w->height() - 2);
  EXPECT_EQ(painted.pixel(far), blank.pixel(far));
  // Outside WM_PAINT a device context draws nothing, and fails no caller.
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  EXPECT_NE(dc, nullptr);
  EXPECT_FALSE(DrawIcon(dc, 0, 0, LoadIconA(nullptr, MAKEINTRESOURCEA(103))));
  EXPECT_TRUE(EndPaint(hwnd_, &ps));
}

// Subclassing: the new procedure sees the messages first and passes the rest on.
WNDPROC g_previousButtonProc = nullptr;
int g_subclassClicks = 0;
LRESULT SubclassedButton(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == BM_CLICK) ++g_subclassClicks;
  if (msg == WM_SETTEXT) return TRUE;  // keeps its text
  return CallWindowProcA(g_previousButtonProc, hwnd, msg, wParam, lParam);
}

TEST_F(WindowTest, SubclassedControlRoutesThroughTheNewProcedure) {
  HWND button = CreateWindowExA(
      0, "BUTTON", "Play", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 80, 24, hwnd_,
      reinterpret_cast<HMENU>(static_cast<std::intptr_t>(1001)), nullptr, nullptr);
  ASSERT_NE(button, nullptr);
  g_previousButtonProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassedButton)));
  ASSERT_NE(g_previousButtonProc, nullptr);
  g_subclassClicks = 0;
  SendMessageA(button, BM_CLICK, 0, 0);
  EXPECT_EQ(g_subclassClicks, 1);
  // The click still reached the button, which told its parent.
  bool clicked = false;
  for (const Received &r : g_received)
    if (r.msg == WM_COMMAND && LOWORD(r.wParam) == 1001 && HIWORD(r.wParam) == BN_CLICKED)
      clicked = true;
  EXPECT_TRUE(clicked);
  SetWindowTextA(button, "Other");
  char text[16];
  GetWindowTextA(button, text, sizeof text);
  EXPECT_STREQ(text, "Play");
  EXPECT_EQ(static_cast<QPushButton *>(guitest::Widget(button))->text(), QStringLiteral("Play"));
}

TEST_F(WindowTest, OwnerDrawnButtonIsDrawnByItsParent) {
  ShowWindow(hwnd_, SW_SHOW);
  HWND button = CreateWindowExA(
      0, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 90, 26, hwnd_,
      reinterpret_cast<HMENU>(static_cast<std::intptr_t>(1)), nullptr, nullptr);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(Count(WM_DRAWITEM), 0);
  LONG_PTR style = GetWindowLongPtrA(button, GWL_STYLE);
  SetWindowLongPtrA(button, GWL_STYLE,
                    (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
  guitest::Widget(button)->grab();
  ASSERT_GE(Count(WM_DRAWITEM, hwnd_), 1);
  // The record names the button, its size and a device context on it.
  EXPECT_EQ(g_lastDraw.CtlType, ODT_BUTTON);
  EXPECT_EQ(g_lastDraw.CtlID, 1u);
  EXPECT_EQ(g_lastDraw.hwndItem, button);
  EXPECT_EQ(g_lastDraw.rcItem.right, 90);
  EXPECT_EQ(g_lastDraw.rcItem.bottom, 26);
  EXPECT_EQ(g_lastDrawDcWindow, button);
  EXPECT_EQ(g_lastDraw.itemState & ODS_SELECTED, 0u);
  // Held down, it is drawn as selected.
  SendMessageA(button, BM_SETSTATE, TRUE, 0);
  EXPECT_EQ(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED, BST_PUSHED);
  guitest::Widget(button)->grab();
  EXPECT_NE(g_lastDraw.itemState & ODS_SELECTED, 0u);
}

}  // namespace

namespace {

// Windows destroyed from inside their own handlers: the handle dies at once,
// the widget once control is back in the event loop, and nothing is touched
// after it is gone (the sanitizer build checks the last part).
const DialogTemplate kSelfDestroying{
    930,
    "Gone",
    "MS Shell Dlg",
    8,
    100,
    40,
    WS_POPUP | WS_CAPTION | WS_SYSMENU,
    0,
    {{1, kButtonClass, "Close", 7, 7, 50, 14, BS_PUSHBUTTON | WS_TABSTOP, 0}},
};

INT_PTR SelfDestroyingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_COMMAND && LOWORD(wParam) == 1) {
    DestroyWindow(hwnd);
    return TRUE;
  }
  if (msg == WM_TIMER) {
    KillTimer(hwnd, wParam);
    DestroyWindow(hwnd);
    return TRUE;
  }
  return FALSE;
}

TEST(WindowLifetime, DestroyedFromItsOwnClickHandler) {
  HWND dialog =
      CreateDialogIndirectParamA(nullptr, &kSelfDestroying, nullptr, &SelfDestroyingProc, 0);
  ASSERT_NE(dialog, nullptr);
  ShowWindow(dialog, SW_SHOW);
  QPointer<QWidget> widget = guitest::Widget(dialog);
  QTest::mouseClick(guitest::Widget(GetDlgItem(dialog, 1)), Qt::LeftButton);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_TRUE(guitest::WaitFor([&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return widget.isNull();
  }));
}

TEST(WindowLifetime, DestroyedFromItsOwnTimer) {
  HWND dialog =
      CreateDialogIndirectParamA(nullptr, &kSelfDestroying, nullptr, &SelfDestroyingProc, 0);
  ASSERT_NE(dialog, nullptr);
  QPointer<QWidget> widget = guitest::Widget(dialog);
  SetTimer(dialog, 3, 10, nullptr);
  EXPECT_TRUE(guitest::WaitFor([&] { return !IsWindow(dialog); }));
  EXPECT_TRUE(guitest::WaitFor([&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return widget.isNull();
  }));
}

}  // namespace
