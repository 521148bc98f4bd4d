// Device loss and return as the program sees them: the capture filter in a
// real filter graph, the graph's event queue and its notification message,
// while null outputs of a private daemon are unloaded and loaded again.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/com/olestr.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/pulse/pulse_client.h"
#include "platform/win/message_post.h"
#include "tests/support/capture_device.h"
#include "tests/support/private_pulse.h"

namespace quavix::pulse {
namespace {

constexpr UINT kNotifyMessage = 0x8001;
HWND const kWindow = reinterpret_cast<HWND>(0x5151);

// What the graph posts; PostMessageA arrives here from the client's thread.
struct Posts {
  std::mutex m;
  std::condition_variable cv;
  int count = 0;
};
Posts g_posts;

BOOL RecordPost(HWND hwnd, UINT msg, WPARAM, LPARAM lParam) {
  if (hwnd == kWindow && msg == kNotifyMessage && lParam == 0) {
    std::lock_guard<std::mutex> l(g_posts.m);
    ++g_posts.count;
    g_posts.cv.notify_all();
  }
  return TRUE;
}

bool WaitForPosts(int n) {
  std::unique_lock<std::mutex> l(g_posts.m);
  return g_posts.cv.wait_for(l, std::chrono::seconds(15), [&] { return g_posts.count >= n; });
}

// A listener of our own: once it has seen an event, every listener that
// was registered at that moment has seen it too (they are called in turn).
class Barrier {
 public:
  explicit Barrier(PulseClient *client) : client_(client) {
    token_ = client_->AddDeviceListener([this](const DeviceEvent &e) {
      std::lock_guard<std::mutex> l(m_);
      seen_.push_back(e.device_id + (e.kind == DeviceEvent::kRemoved ? " removed" : " added"));
      cv_.notify_all();
    });
  }
  ~Barrier() { client_->RemoveDeviceListener(token_); }
  bool WaitFor(const std::string &what) {
    std::unique_lock<std::mutex> l(m_);
    return cv_.wait_for(l, std::chrono::seconds(15),
                        [&] { return std::find(seen_.begin(), seen_.end(), what) != seen_.end(); });
  }
  int token() const { return token_; }

 private:
  PulseClient *client_;
  int token_ = 0;
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<std::string> seen_;
};

class DeviceLossTest : public test::PrivatePulseTest {
 protected:
  void SetUp() override {
    PrivatePulseTest::SetUp();
    if (HasFatalFailure()) return;
    old_poster_ = SetMessagePoster(&RecordPost);
    {
      std::lock_guard<std::mutex> l(g_posts.m);
      g_posts.count = 0;
    }
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    com_ = true;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                               reinterpret_cast<void **>(&graph_)),
              S_OK);
    ASSERT_EQ(graph_->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void **>(&events_)), S_OK);
    ASSERT_EQ(events_->SetNotifyWindow(reinterpret_cast<OAHWND>(kWindow), kNotifyMessage, 0), S_OK);
  }
  void TearDown() override {
    if (events_) {
      events_->SetNotifyWindow(0, 0, 0);
      events_->Release();
    }
    if (graph_) graph_->Release();
    if (com_) CoUninitialize();
    SetMessagePoster(old_poster_);
    PrivatePulseTest::TearDown();
  }

  IBaseFilter *Bind(const std::string &friendly) { return test::BindCaptureDevice(friendly); }

  // The next queued event, or false when the queue is empty.
  bool NextEvent(long *code, LONG_PTR *p1, LONG_PTR *p2) {
    if (events_->GetEvent(code, p1, p2, 0) != S_OK) return false;
    events_->FreeEventParams(*code, *p1, *p2);
    return true;
  }

  MessagePoster old_poster_ = nullptr;
  bool com_ = false;
  IGraphBuilder *graph_ = nullptr;
  IMediaEventEx *events_ = nullptr;
};

TEST_F(DeviceLossTest, UnpluggingTheDeviceReportsItsLossAndReplugItsReturn) {
  IBaseFilter *f = Bind("Test Output B");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(graph_->AddFilter(f, u"Audio Capture"), S_OK);
  auto client = PulseClient::Shared();
  Barrier barrier(client.get());
  ASSERT_NE(barrier.token(), 0);

  // Another device going away is told as a change of the list, not as a
  // loss.
  ASSERT_TRUE(pulse_.UnloadNullSink("quavix_a"));
  ASSERT_TRUE(barrier.WaitFor("sink:quavix_a removed"));
  ASSERT_TRUE(WaitForPosts(1));
  long code = 0;
  LONG_PTR p1 = -1, p2 = -1;
  ASSERT_TRUE(NextEvent(&code, &p1, &p2));
  EXPECT_EQ(code, EC_CAPTURE_DEVICES_CHANGED);
  EXPECT_FALSE(NextEvent(&code, &p1, &p2)) << "unexpected event " << code;

  ASSERT_TRUE(pulse_.UnloadNullSink("quavix_b"));
  ASSERT_TRUE(WaitForPosts(2));
  ASSERT_TRUE(NextEvent(&code, &p1, &p2));
  EXPECT_EQ(code, EC_DEVICE_LOST);
  EXPECT_EQ(p1, 0);
  EXPECT_EQ(p2, 0);
  EXPECT_FALSE(NextEvent(&code, &p1, &p2)) << "unexpected event " << code;

  ASSERT_GE(pulse_.LoadNullSink({"quavix_b", "Test Output B"}), 0);
  ASSERT_TRUE(WaitForPosts(3));
  ASSERT_TRUE(NextEvent(&code, &p1, &p2));
  EXPECT_EQ(code, EC_DEVICE_LOST);
  EXPECT_EQ(p2, 1);
  EXPECT_FALSE(NextEvent(&code, &p1, &p2)) << "unexpected event " << code;

  // A device that appears is told too.
  ASSERT_GE(pulse_.LoadNullSink({"quavix_c", "Test Output C"}), 0);
  ASSERT_TRUE(WaitForPosts(4));
  ASSERT_TRUE(NextEvent(&code, &p1, &p2));
  EXPECT_EQ(code, EC_CAPTURE_DEVICES_CHANGED);

  // Out of the graph the filter reports nothing.
  ASSERT_EQ(graph_->RemoveFilter(f), S_OK);
  ASSERT_TRUE(pulse_.UnloadNullSink("quavix_b"));
  ASSERT_TRUE(barrier.WaitFor("sink:quavix_b removed"));
  EXPECT_FALSE(NextEvent(&code, &p1, &p2)) << "unexpected event " << code;
  f->Release();
}

TEST_F(DeviceLossTest, LossDuringARecordingIsReportedAndTheGraphStillStops) {
  IBaseFilter *f = Bind("Test Output B");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(graph_->AddFilter(f, u"Audio Capture"), S_OK);
  IBaseFilter *writer = test::RecordIntoFile(graph_, f, pulse_.folder() + "/capture.raw");
  ASSERT_NE(writer, nullptr);
  IMediaControl *control = nullptr;
  ASSERT_EQ(graph_->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&control)), S_OK);
  ASSERT_TRUE(SUCCEEDED(control->Run()));

  ASSERT_TRUE(pulse_.UnloadNullSink("quavix_b"));
  // The loss comes among whatever else the failing recording reports.
  bool lost = false;
  for (int posts = 1; !lost && WaitForPosts(posts); ++posts) {
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (!lost && NextEvent(&code, &p1, &p2)) lost = code == EC_DEVICE_LOST && p2 == 0;
  }
  EXPECT_TRUE(lost);
  control->StopWhenReady();  // bounded; the source is gone, so it may not drain
  OAFilterState state = -1;
  EXPECT_EQ(control->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);
  control->Release();
  writer->Release();
  f->Release();
}

TEST_F(DeviceLossTest, AFilterThatWasNeverAddedWatchesNothing) {
  IBaseFilter *f = Bind("Test Output A");
  ASSERT_NE(f, nullptr);
  auto client = PulseClient::Shared();
  Barrier barrier(client.get());
  ASSERT_TRUE(pulse_.UnloadNullSink("quavix_a"));
  ASSERT_TRUE(barrier.WaitFor("sink:quavix_a removed"));
  long code = 0;
  LONG_PTR p1 = 0, p2 = 0;
  EXPECT_FALSE(NextEvent(&code, &p1, &p2));
  f->Release();
}

TEST_F(DeviceLossTest, ReleasingTheGraphWhileTheDeviceComesAndGoesIsSafe) {
  IBaseFilter *f = Bind("Test Output B");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(graph_->AddFilter(f, u"Audio Capture"), S_OK);
  f->Release();  // the graph holds the only reference now
  // Changes racing with the graph's teardown: no crash, no event after it.
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(pulse_.UnloadNullSink("quavix_b"));
    ASSERT_GE(pulse_.LoadNullSink({"quavix_b", "Test Output B"}), 0);
  }
  events_->SetNotifyWindow(0, 0, 0);
  events_->Release();
  events_ = nullptr;
  graph_->Release();
  graph_ = nullptr;
  ASSERT_TRUE(pulse_.UnloadNullSink("quavix_b"));
  auto client = PulseClient::Shared();
  std::vector<CaptureDevice> devices;
  EXPECT_EQ(client->ListDevices(&devices), PulseStatus::kOk);
  EXPECT_EQ(devices.size(), 1u);
}

}  // namespace
}  // namespace quavix::pulse
