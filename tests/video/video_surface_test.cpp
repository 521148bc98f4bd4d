// The video surface: frames handed over from other threads, painted scaled
// to the client area on the interface thread, the newest one winning; its
// mouse and key messages go to its drain; it goes with its parent.
#include "platform/win/gui.h"
#include "platform/win/video_surface.h"
#include "platform/win/window_internal.h"
#include "tests/player/player_test_support.h"
#include "tests/video/video_test_support.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include <atomic>
#include <functional>
#include <thread>

namespace {

using player_test::PumpFor;
using player_test::PumpUntil;
using quavix::win::CreateVideoSurface;
using quavix::win::VideoFrame;
using quavix::win::VideoFrameSlot;
using quavix::win::VideoSurfaceFramePaints;
using video_test::Near;
using video_test::RecordingWindow;

std::atomic<int> g_framesReleased{0};

// Counts its own release, so a test can see frames go back to their owner.
struct CountedPixels {
  std::vector<unsigned char> bytes;
  ~CountedPixels() { ++g_framesReleased; }
};

// A frame of `w` x `h` pixels coloured by `colour(x, y)`, rows padded to
// show that the stride, not the width, steps from row to row.
VideoFrame MakeFrame(int w, int h, const std::function<QColor(int, int)> &colour) {
  auto pixels = std::make_shared<CountedPixels>();
  const int stride = w * 4 + 16;
  pixels->bytes.assign(static_cast<size_t>(stride * h), 0xEE);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      QColor c = colour(x, y);
      unsigned char *p = pixels->bytes.data() + y * stride + x * 4;
      p[0] = static_cast<unsigned char>(c.red());
      p[1] = static_cast<unsigned char>(c.green());
      p[2] = static_cast<unsigned char>(c.blue());
      p[3] = 0;
    }
  VideoFrame f;
  f.width = w;
  f.height = h;
  f.stride = stride;
  f.pixels = pixels->bytes.data();
  f.keeper = pixels;
  return f;
}

VideoFrame Solid(QColor c) {
  return MakeFrame(8, 6, [c](int, int) { return c; });
}

QColor At(HWND hwnd, int x, int y) { return video_test::GrabWindow(hwnd).pixelColor(x, y); }

class VideoSurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_framesReleased = 0;
    host_ = std::make_unique<RecordingWindow>(200, 150);
    ASSERT_NE(host_->hwnd(), nullptr);
    slot_ = std::make_shared<VideoFrameSlot>();
    surface_ = CreateVideoSurface(host_->hwnd(), slot_, WS_VISIBLE, 0, 0, 200, 150);
    ASSERT_NE(surface_, nullptr);
    PumpFor(50);
  }
  void TearDown() override {
    host_.reset();
    slot_.reset();
  }

  // Waits until the surface has painted a frame more than before.
  bool WaitForPaint(std::uint64_t before) {
    return PumpUntil([&] { return VideoSurfaceFramePaints(surface_) > before; }, 5000);
  }

  std::unique_ptr<RecordingWindow> host_;
  std::shared_ptr<VideoFrameSlot> slot_;
  HWND surface_ = nullptr;
};

TEST_F(VideoSurfaceTest, IsAChildOfItsParentAndBlackBeforeTheFirstFrame) {
  EXPECT_TRUE(quavix::win::IsVideoSurface(surface_));
  EXPECT_FALSE(quavix::win::IsVideoSurface(host_->hwnd()));
  EXPECT_EQ(GetParent(surface_), host_->hwnd());
  EXPECT_NE(GetWindowLongA(surface_, GWL_STYLE) & WS_CHILD, 0);
  EXPECT_TRUE(IsWindowVisible(surface_));
  EXPECT_TRUE(Near(At(host_->hwnd(), 100, 75), Qt::black, 0));
  EXPECT_EQ(VideoSurfaceFramePaints(surface_), 0u);
}

TEST_F(VideoSurfaceTest, PaintsTheFrameScaledToItsClientArea) {
  // Four quadrants of a 4 x 2 frame must land in the four quadrants of the
  // 200 x 150 client area.
  ASSERT_TRUE(slot_->Put(MakeFrame(4, 2, [](int x, int y) {
    if (y == 0) return x < 2 ? QColor(255, 0, 0) : QColor(0, 255, 0);
    return x < 2 ? QColor(0, 0, 255) : QColor(255, 255, 255);
  })));
  ASSERT_TRUE(WaitForPaint(0));
  QImage grab = video_test::GrabWindow(host_->hwnd());
  EXPECT_TRUE(Near(grab.pixelColor(40, 30), QColor(255, 0, 0), 8));
  EXPECT_TRUE(Near(grab.pixelColor(160, 30), QColor(0, 255, 0), 8));
  EXPECT_TRUE(Near(grab.pixelColor(40, 120), QColor(0, 0, 255), 8));
  EXPECT_TRUE(Near(grab.pixelColor(160, 120), QColor(255, 255, 255), 8));
  EXPECT_TRUE(Near(grab.pixelColor(199, 149), QColor(255, 255, 255), 8))
      << "the picture fills the corner";

  // Moved and resized, the picture follows the new client rectangle.
  ASSERT_TRUE(MoveWindow(surface_, 100, 0, 100, 150, TRUE));
  std::uint64_t before = VideoSurfaceFramePaints(surface_);
  ASSERT_TRUE(WaitForPaint(before));
  grab = video_test::GrabWindow(host_->hwnd());
  EXPECT_TRUE(Near(grab.pixelColor(120, 30), QColor(255, 0, 0), 8));
  EXPECT_TRUE(Near(grab.pixelColor(180, 120), QColor(255, 255, 255), 8));
  EXPECT_TRUE(Near(grab.pixelColor(50, 75), QColor(255, 255, 255), 0))
      << "the host's own background";
}

TEST_F(VideoSurfaceTest, FramesFromAnotherThreadLeaveOnlyTheNewestAndOneRepaintRequest) {
  // Count the repaint requests that reach the surface.
  static int requests = 0;
  static WNDPROC previous = nullptr;
  requests = 0;
  previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
      surface_, GWLP_WNDPROC,
      reinterpret_cast<LONG_PTR>(+[](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == quavix::win::WM_VIDEO_FRAME_READY) ++requests;
        return CallWindowProcA(previous, h, m, w, l);
      })));
  ASSERT_NE(previous, nullptr);

  constexpr int kFrames = 200;
  std::thread producer([this] {
    for (int i = 0; i < kFrames; ++i) slot_->Put(Solid(QColor(i, 255 - i, 40)));
  });
  producer.join();
  // Nothing has been painted yet, yet all but the newest frame went back.
  EXPECT_EQ(g_framesReleased.load(), kFrames - 1);
  EXPECT_EQ(slot_->FramesPut(), static_cast<std::uint64_t>(kFrames));

  ASSERT_TRUE(WaitForPaint(0));
  PumpFor(50);
  EXPECT_EQ(requests, 1) << "one request while a repaint was pending";
  EXPECT_TRUE(Near(At(host_->hwnd(), 100, 75), QColor(kFrames - 1, 255 - (kFrames - 1), 40), 4));

  // Once painted, the next frame asks again.
  std::uint64_t before = VideoSurfaceFramePaints(surface_);
  std::thread([this] { slot_->Put(Solid(QColor(10, 20, 250))); }).join();
  ASSERT_TRUE(WaitForPaint(before));
  EXPECT_EQ(requests, 2);
  EXPECT_TRUE(Near(At(host_->hwnd(), 10, 10), QColor(10, 20, 250), 4));
}

TEST_F(VideoSurfaceTest, RefusesFramesItCannotShow) {
  VideoFrame empty;
  EXPECT_FALSE(slot_->Put(empty));
  VideoFrame narrow = Solid(Qt::red);
  narrow.stride = narrow.width * 4 - 1;  // rows would overlap
  EXPECT_FALSE(slot_->Put(narrow));
  EXPECT_EQ(slot_->FramesPut(), 0u);
  EXPECT_EQ(CreateVideoSurface(host_->hwnd(), nullptr, 0, 0, 0, 10, 10), nullptr);
  EXPECT_EQ(CreateVideoSurface(reinterpret_cast<HWND>(0x7777770), slot_, 0, 0, 0, 10, 10), nullptr);
}

TEST_F(VideoSurfaceTest, MouseAndKeysGoToTheDrainOnly) {
  RecordingWindow drain(50, 50);
  QWidget *widget = quavix::win::WidgetOf(surface_);
  ASSERT_NE(widget, nullptr);

  // Without a drain the messages stop at the surface.
  QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(30, 40));
  PumpFor(50);
  EXPECT_TRUE(host_->Of(WM_LBUTTONUP).empty());

  ASSERT_TRUE(quavix::win::SetVideoSurfaceDrain(surface_, drain.hwnd()));
  QTest::mouseClick(widget, Qt::RightButton, {}, QPoint(30, 40));
  QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(7, 9));
  EXPECT_TRUE(drain.Of(WM_RBUTTONUP).empty()) << "posted, not sent";
  ASSERT_TRUE(PumpUntil([&] { return !drain.Of(WM_LBUTTONUP).empty(); }, 3000));
  ASSERT_EQ(drain.Of(WM_RBUTTONDOWN).size(), 1u);
  ASSERT_EQ(drain.Of(WM_RBUTTONUP).size(), 1u);
  EXPECT_EQ(drain.Of(WM_RBUTTONUP)[0].lParam, MAKELPARAM(30, 40));
  EXPECT_EQ(drain.Of(WM_LBUTTONUP)[0].lParam, MAKELPARAM(7, 9));
  EXPECT_TRUE(host_->Of(WM_RBUTTONUP).empty());

  // A key message sent to the surface is passed on as well.
  SendMessageA(surface_, WM_KEYUP, 27, 0);
  ASSERT_TRUE(PumpUntil([&] { return !drain.Of(WM_KEYUP).empty(); }, 3000));
  EXPECT_EQ(drain.Of(WM_KEYUP)[0].wParam, 27u);

  // A drain that has gone is not posted to.
  HWND gone = drain.hwnd();
  DestroyWindow(gone);
  drain.Forget();
  QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(3, 3));
  PumpFor(50);
  EXPECT_TRUE(IsWindow(surface_));
}

TEST_F(VideoSurfaceTest, GoesWithItsParentAndANewSurfaceShowsTheHeldFrame) {
  ASSERT_TRUE(slot_->Put(Solid(QColor(0, 200, 0))));
  ASSERT_TRUE(WaitForPaint(0));
  DestroyWindow(host_->hwnd());
  host_->Forget();
  EXPECT_FALSE(IsWindow(surface_));
  EXPECT_FALSE(quavix::win::IsVideoSurface(surface_));
  // Frames still arriving from a stream find nobody to ask and do no harm.
  std::thread([this] { EXPECT_TRUE(slot_->Put(Solid(QColor(200, 0, 200)))); }).join();
  PumpFor(50);

  RecordingWindow other(120, 90);
  HWND again = CreateVideoSurface(other.hwnd(), slot_, WS_VISIBLE, 0, 0, 120, 90);
  ASSERT_NE(again, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return VideoSurfaceFramePaints(again) > 0; }, 5000));
  EXPECT_TRUE(Near(At(other.hwnd(), 60, 45), QColor(200, 0, 200), 4));
  // New frames ask the new surface.
  std::uint64_t before = VideoSurfaceFramePaints(again);
  std::thread([this] { slot_->Put(Solid(QColor(250, 250, 0))); }).join();
  ASSERT_TRUE(PumpUntil([&] { return VideoSurfaceFramePaints(again) > before; }, 5000));
  EXPECT_TRUE(Near(At(other.hwnd(), 60, 45), QColor(250, 250, 0), 4));
}

}  // namespace
