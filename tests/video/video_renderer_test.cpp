// The video renderer of a decoded file on the real graph: the owner gets a
// child window that shows the cued frame and then the running picture, the
// window follows the position, visibility and owner the caller sets, and a
// graph without video offers no window at all. Sound goes to a private
// sound server.
#include "platform/com/olestr.h"
#include "platform/com/refcounted.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/video_renderer.h"
#include "platform/win/gui.h"
#include "platform/win/video_surface.h"
#include "platform/win/window_internal.h"
#include "tests/player/player_test_support.h"
#include "tests/support/private_pulse.h"
#include "tests/video/video_test_support.h"

#include <gtest/gtest.h>

namespace {

using player_test::PumpFor;
using player_test::PumpUntil;
using video_test::RecordingWindow;

class VideoRendererTest : public quavix::test::PrivatePulseTest {
 protected:
  static void SetUpTestSuite() {
    folder_ = new player_test::TempDir;
    clip_ = folder_->path() + "/bars.ogv";
    sound_ = folder_->path() + "/tone.ogg";
    clipMade_ =
        video_test::MakeBarsClip(clip_, 90, 4, true) &&
        video_test::GstLaunch({"audiotestsrc", "num-buffers=20", "!", "audioconvert", "!",
                               "vorbisenc", "!", "oggmux", "!", "filesink", "location=" + sound_});
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(clipMade_) << "gst-launch-1.0 could not make the test clips";
    PrivatePulseTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               graph_.OutVoid()),
              S_OK);
    ASSERT_EQ(graph_->QueryInterface(IID_IMediaControl, control_.OutVoid()), S_OK);
    ASSERT_EQ(graph_->QueryInterface(IID_IVideoWindow, window_.OutVoid()), S_OK);
    host_ = std::make_unique<RecordingWindow>(320, 240);
  }

  void TearDown() override {
    if (control_) control_->Stop();
    window_.Reset();
    control_.Reset();
    graph_.Reset();
    host_.reset();
    CoUninitialize();
    PrivatePulseTest::TearDown();
  }

  HRESULT Render(const std::string &path) {
    return graph_->RenderFile(Utf8ToUtf16(path).c_str(), nullptr);
  }

  CVideoRendererFilter *Renderer() {
    ComPtr<IBaseFilter> f;
    if (graph_->FindFilterByName(u"Video Renderer", f.Out()) != S_OK) return nullptr;
    return dynamic_cast<CVideoRendererFilter *>(f.Get());  // the graph keeps it alive
  }
  HWND Surface() { return reinterpret_cast<HWND>(Renderer()->SurfaceWindow()); }

  bool WaitForFramesPainted(std::uint64_t more) {
    HWND surface = Surface();
    std::uint64_t target = quavix::win::VideoSurfaceFramePaints(surface) + more;
    return PumpUntil([&] { return quavix::win::VideoSurfaceFramePaints(surface) >= target; },
                     10000);
  }

  // Attaches the window as the player window does.
  void Attach() {
    long style = 0;
    ASSERT_EQ(window_->get_WindowStyle(&style), S_OK);
    ASSERT_EQ(window_->put_WindowStyle((style & 0xFF3BFFFF) | WS_CHILD), S_OK);
    ASSERT_EQ(window_->put_Owner(reinterpret_cast<OAHWND>(host_->hwnd())), S_OK);
    ASSERT_EQ(window_->put_MessageDrain(reinterpret_cast<OAHWND>(host_->hwnd())), S_OK);
    ASSERT_EQ(window_->SetWindowPosition(0, 0, 320, 240), S_OK);
  }

  static player_test::TempDir *folder_;
  static std::string clip_, sound_;
  static bool clipMade_;
  ComPtr<IGraphBuilder> graph_;
  ComPtr<IMediaControl> control_;
  ComPtr<IVideoWindow> window_;
  std::unique_ptr<RecordingWindow> host_;
};

player_test::TempDir *VideoRendererTest::folder_ = nullptr;
std::string VideoRendererTest::clip_, VideoRendererTest::sound_;
bool VideoRendererTest::clipMade_ = false;

TEST_F(VideoRendererTest, TheOwnerGetsAChildShowingTheCuedFrame) {
  ASSERT_EQ(Render(clip_), S_OK);
  ASSERT_NE(Renderer(), nullptr);
  long style = 0, visible = 1, l = -1, t = -1, w = 0, h = 0;
  ASSERT_EQ(window_->get_WindowStyle(&style), S_OK);
  EXPECT_EQ(static_cast<unsigned long>(style), 0x06CF0000ul)
      << "an overlapped window until made a child";
  EXPECT_EQ(window_->put_WindowStyle(style | WS_DISABLED), E_INVALIDARG);
  ASSERT_EQ(window_->GetWindowPosition(&l, &t, &w, &h), S_OK);
  EXPECT_EQ(l, 0);
  EXPECT_EQ(t, 0);
  EXPECT_EQ(w, 320) << "the video's own size before anyone places it";
  EXPECT_EQ(h, 240);
  EXPECT_EQ(Renderer()->SurfaceWindow(), 0) << "no window before an owner";

  Attach();
  HWND surface = Surface();
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(GetParent(surface), host_->hwnd());
  EXPECT_NE(GetWindowLongA(surface, GWL_STYLE) & WS_CHILD, 0);
  ASSERT_EQ(window_->get_Visible(&visible), S_OK);
  EXPECT_EQ(visible, OAFALSE) << "a stopped graph shows nothing yet";
  EXPECT_FALSE(IsWindowVisible(surface));
  OAHWND owner = 0, drain = 0;
  EXPECT_EQ(window_->get_Owner(&owner), S_OK);
  EXPECT_EQ(window_->get_MessageDrain(&drain), S_OK);
  EXPECT_EQ(owner, reinterpret_cast<OAHWND>(host_->hwnd()));
  EXPECT_EQ(drain, reinterpret_cast<OAHWND>(host_->hwnd()));

  // Cueing the graph shows the window with the first frame.
  ASSERT_EQ(control_->Pause(), S_OK);
  ASSERT_EQ(window_->get_Visible(&visible), S_OK);
  EXPECT_EQ(visible, OATRUE);
  EXPECT_TRUE(IsWindowVisible(surface));
  ASSERT_TRUE(WaitForFramesPainted(1));
  QImage grab = video_test::GrabWindow(host_->hwnd());
  EXPECT_EQ(video_test::CheckUpperBars(grab, 320, 240), "");
  RECT r{};
  GetClientRect(surface, &r);
  EXPECT_EQ(r.right, 320);
  EXPECT_EQ(r.bottom, 240);
}

TEST_F(VideoRendererTest, RunningAdvancesThePictureAndClicksReachTheDrain) {
  ASSERT_EQ(Render(clip_), S_OK);
  Attach();
  ASSERT_EQ(control_->Run(), S_OK);
  ASSERT_TRUE(WaitForFramesPainted(3));
  QImage first = video_test::GrabWindow(host_->hwnd());
  const std::uint64_t delivered = Renderer()->FramesDelivered();
  ASSERT_TRUE(PumpUntil([&] { return Renderer()->FramesDelivered() >= delivered + 10; }, 10000));
  ASSERT_TRUE(WaitForFramesPainted(1));
  QImage later = video_test::GrabWindow(host_->hwnd());
  EXPECT_NE(first.copy(0, 0, 320, 240), later.copy(0, 0, 320, 240))
      << "the bars slide as the clip plays";

  // A click on the picture arrives at the drain in its client coordinates.
  SendMessageA(Surface(), WM_RBUTTONUP, 0, MAKELPARAM(12, 34));
  ASSERT_TRUE(PumpUntil([&] { return !host_->Of(WM_RBUTTONUP).empty(); }, 3000));
  EXPECT_EQ(host_->Of(WM_RBUTTONUP)[0].lParam, MAKELPARAM(12, 34));
}

TEST_F(VideoRendererTest, FollowsPositionVisibilityAndOwner) {
  ASSERT_EQ(Render(clip_), S_OK);
  Attach();
  HWND surface = Surface();
  ASSERT_EQ(window_->SetWindowPosition(10, 20, 160, 120), S_OK);
  RECT outer{};
  GetWindowRect(surface, &outer);
  RECT hostOuter{};
  GetWindowRect(host_->hwnd(), &hostOuter);
  EXPECT_EQ(outer.right - outer.left, 160);
  EXPECT_EQ(outer.bottom - outer.top, 120);
  EXPECT_EQ(window_->SetWindowPosition(0, 0, -1, 10), E_INVALIDARG);

  // The caller's choice to hide it holds also when the graph is cued.
  ASSERT_EQ(window_->put_Visible(OAFALSE), S_OK);
  ASSERT_EQ(control_->Pause(), S_OK);
  EXPECT_FALSE(IsWindowVisible(surface));
  ASSERT_EQ(window_->put_Visible(OATRUE), S_OK);
  EXPECT_TRUE(IsWindowVisible(surface));

  // No owner: the window goes; a new owner gets a new one at the same place.
  ASSERT_EQ(window_->put_Owner(0), S_OK);
  EXPECT_FALSE(IsWindow(surface));
  EXPECT_EQ(Renderer()->SurfaceWindow(), 0);
  RecordingWindow other(200, 200);
  ASSERT_EQ(window_->put_Owner(reinterpret_cast<OAHWND>(other.hwnd())), S_OK);
  HWND again = Surface();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(GetParent(again), other.hwnd());
  RECT client{};
  GetClientRect(again, &client);
  EXPECT_EQ(client.right, 160);
  EXPECT_TRUE(IsWindowVisible(again));
  ASSERT_TRUE(WaitForFramesPainted(1)) << "the held frame is painted in the new window";
  EXPECT_EQ(window_->put_Owner(static_cast<OAHWND>(0x7777770)), E_INVALIDARG);
}

TEST_F(VideoRendererTest, AnOwnerDestroyedFirstLeavesNothingToTidyUp) {
  ASSERT_EQ(Render(clip_), S_OK);
  Attach();
  HWND surface = Surface();
  ASSERT_EQ(control_->Run(), S_OK);
  ASSERT_TRUE(WaitForFramesPainted(1));
  // The order a player unloads in: its window goes first, then the video
  // window is hidden and let go of while frames may still arrive.
  DestroyWindow(host_->hwnd());
  host_->Forget();
  EXPECT_FALSE(IsWindow(surface));
  const std::uint64_t delivered = Renderer()->FramesDelivered();
  ASSERT_TRUE(PumpUntil([&] { return Renderer()->FramesDelivered() > delivered + 3; }, 10000));
  EXPECT_EQ(window_->put_Visible(OAFALSE), S_OK);
  EXPECT_EQ(window_->put_Owner(0), S_OK);
  EXPECT_EQ(control_->Stop(), S_OK);
}

TEST_F(VideoRendererTest, AFileWithoutVideoHasNoVideoWindow) {
  ASSERT_EQ(Render(sound_), S_OK);
  long visible = 0;
  EXPECT_EQ(window_->get_Visible(&visible), E_NOINTERFACE);
  EXPECT_EQ(window_->put_Owner(reinterpret_cast<OAHWND>(host_->hwnd())), E_NOINTERFACE);
  EXPECT_EQ(Renderer(), nullptr);
  ASSERT_EQ(control_->Run(), S_OK);
  PumpFor(200);
  EXPECT_TRUE(quavix::win::WidgetOf(host_->hwnd())->findChildren<QWidget *>().isEmpty())
      << "nothing was attached to the window";
}

}  // namespace
