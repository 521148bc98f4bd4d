// The input lines of real capture devices on a private sound server: the
// search finds the loop-back line by the server's own description, and the
// chosen line is the one recorded. (The level on the server is checked
// through the running window, in input_window_test.cpp.)
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "app/converter_app.h"
#include "platform/com/olestr.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/gst_filter.h"
#include "platform/dshow/pulse/capture_filter.h"
#include "tests/input/input_test_support.h"
#include "tests/support/private_pulse.h"
#include "tests/ui/ui_test_env.h"

namespace {

using inputtest::Entries;
using inputtest::RunWithInputControls;
using quavix::pulse::CaptureDevice;
using quavix::pulse::CreateAudioCaptureFilter;
using quavix::pulse::PulseClient;

// Records `seconds` of the filter's output through a real pipeline (the
// filter's element, wavenc, filesink) and returns the left channel.
std::vector<double> RecordLeft(IBaseFilter *filter, const std::string &path, double seconds) {
  std::vector<double> left;
  IGstFilter *gf = nullptr;
  if (FAILED(filter->QueryInterface(IID_IGstFilter, reinterpret_cast<void **>(&gf)))) return left;
  GstElement *bin = gf->GetGstElement();
  GstElement *pipeline = gst_pipeline_new(nullptr);
  GstElement *enc = gst_element_factory_make("wavenc", nullptr);
  GstElement *sink = gst_element_factory_make("filesink", nullptr);
  bool ok = bin && enc && sink;
  if (ok) {
    g_object_set(sink, "location", path.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(pipeline), bin, enc, sink, nullptr);
    ok = gst_element_link_pads(bin, "Capture", enc, "sink") && gst_element_link(enc, sink);
    ok = ok && SUCCEEDED(gf->PrepareState(State_Running));
    ok = ok && gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
  }
  GstBus *bus = gst_element_get_bus(pipeline);
  if (ok) {
    // Wait for that much audio in the file, not for that much time: on a
    // loaded machine a fresh recording stream may start late.
    const off_t wanted = 44 + static_cast<off_t>(seconds * 44100) * 4;
    GstMessage *msg = nullptr;
    for (int waited = 0; waited < 30000 && !msg; waited += 100) {
      struct stat st {};
      if (::stat(path.c_str(), &st) == 0 && st.st_size >= wanted) break;
      msg = gst_bus_timed_pop_filtered(bus, 100 * GST_MSECOND, GST_MESSAGE_ERROR);
    }
    if (msg) {
      ok = false;
      gst_message_unref(msg);
    } else {
      gst_element_send_event(pipeline, gst_event_new_eos());
      msg = gst_bus_timed_pop_filtered(bus, 10 * GST_SECOND,
                                       static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
      ok = msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS;
      if (msg) gst_message_unref(msg);
    }
  }
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  if (bin) {
    gst_object_ref(bin);
    gst_bin_remove(GST_BIN(pipeline), bin);
    gf->ReleaseGstElement();
    gst_object_unref(bin);
  } else {
    if (enc) gst_object_unref(enc);
    if (sink) gst_object_unref(sink);
  }
  gst_object_unref(pipeline);
  gf->StateChanged(State_Stopped);
  gf->Release();
  if (!ok) return left;

  std::ifstream f(path, std::ios::binary);
  std::vector<char> d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  // wavenc writes a 44-byte header: 16-bit stereo PCM follows.
  for (size_t o = 44; o + 4 <= d.size(); o += 4) {
    int16_t s;
    std::memcpy(&s, d.data() + o, 2);
    left.push_back(s / 32768.0);
  }
  return left;
}

// Amplitude of one frequency (full scale 1.0): the median over 20 ms blocks
// after the first 0.3 s, so a glitch of the playing tone spoils one block.
double ToneAmplitude(const std::vector<double> &x, double freq) {
  const int rate = 44100;
  const size_t block = rate / 50, start = static_cast<size_t>(0.3 * rate);
  const double coeff = 2.0 * std::cos(2.0 * M_PI * freq / rate);
  std::vector<double> amps;
  for (size_t b = start; b + block <= x.size(); b += block) {
    double s1 = 0, s2 = 0;
    for (size_t i = b; i < b + block; ++i) {
      double s0 = x[i] + coeff * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    amps.push_back(2.0 * std::sqrt(std::max(s1 * s1 + s2 * s2 - coeff * s1 * s2, 0.0)) / block);
  }
  if (amps.empty()) return -1;
  std::nth_element(amps.begin(), amps.begin() + amps.size() / 2, amps.end());
  return amps[amps.size() / 2];
}

IBaseFilter *BindDevice(const std::string &id) {
  ICreateDevEnum *devEnum = nullptr;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC, IID_ICreateDevEnum,
                              reinterpret_cast<void **>(&devEnum))))
    return nullptr;
  IEnumMoniker *e = nullptr;
  devEnum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, &e, 0);
  devEnum->Release();
  if (!e) return nullptr;
  IBaseFilter *filter = nullptr;
  IMoniker *m = nullptr;
  while (!filter && e->Next(1, &m, nullptr) == S_OK) {
    IPropertyBag *bag = nullptr;
    if (SUCCEEDED(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void **>(&bag)))) {
      VARIANT v;
      VariantInit(&v);
      v.vt = VT_BSTR;
      if (SUCCEEDED(bag->Read(u"DeviceId", &v, nullptr)) && Utf16ToUtf8(v.bstrVal) == id)
        m->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void **>(&filter));
      VariantClear(&v);
      bag->Release();
    }
    m->Release();
  }
  e->Release();
  return filter;
}

class InputLinesServerTest : public quavix::test::PrivatePulseTest {
 protected:
  void SetUp() override {
    PrivatePulseTest::SetUp();
    if (HasFatalFailure()) return;
    env_.emplace();
    com_ = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    g_nSearchFlag = 0;
    g_nCapturePinIndex = 0;
  }
  void TearDown() override {
    if (SUCCEEDED(com_)) CoUninitialize();
    env_.reset();
    PrivatePulseTest::TearDown();
  }
  // Both outputs' monitors as the lines of one device, B's first.
  IBaseFilter *TwoMonitorDevice() {
    CaptureDevice device{"test:two-monitors",
                         "Two Monitors",
                         {{"quavix_b.monitor", "Monitor of Test Output B", true},
                          {"quavix_a.monitor", "Monitor of Test Output A", true}}};
    IBaseFilter *f = nullptr;
    EXPECT_EQ(CreateAudioCaptureFilter(device, PulseClient::Shared(), IID_IBaseFilter,
                                       reinterpret_cast<void **>(&f)),
              S_OK);
    return f;
  }
  std::optional<UiTestEnvironment> env_;
  HRESULT com_ = E_FAIL;
};

TEST_F(InputLinesServerTest, SearchFindsTheMonitorByTheServersDescription) {
  IBaseFilter *f = BindDevice("sink:quavix_a");
  ASSERT_NE(f, nullptr);
  RunWithInputControls([&](CConverterDlg &dlg) {
    dlg.m_pCaptureFilter = f;
    EXPECT_TRUE(SUCCEEDED(dlg.FillInputLineList(f, PINDIR_INPUT, dlg.m_cbInputList)));
    EXPECT_EQ(Entries(dlg.m_cbInputList), "Monitor of Test Output A");
    EXPECT_EQ(g_nSearchFlag, 1) << "\"output\" is in the monitor's description";
    EXPECT_EQ(g_nCapturePinIndex, 0);
  });
  f->Release();
}

TEST_F(InputLinesServerTest, OnlyTheChosenLineIsRecorded) {
  auto toneA = pulse_.PlayTone("quavix_a", 1000.0, 0.5);
  auto toneB = pulse_.PlayTone("quavix_b", 400.0, 0.5);
  ASSERT_NE(toneA, nullptr);
  ASSERT_NE(toneB, nullptr);
  g_usleep(2500000);  // both tones flowing, the outputs past their late start
  IBaseFilter *f = TwoMonitorDevice();
  ASSERT_NE(f, nullptr);
  RunWithInputControls([&](CConverterDlg &dlg) {
    dlg.m_pCaptureFilter = f;
    dlg.FillInputLineList(f, PINDIR_INPUT, dlg.m_cbInputList);
    ASSERT_EQ(g_nCapturePinIndex, 0) << "the first monitor matches";
    dlg.m_cbInputList.SetCurSel(g_nCapturePinIndex);
    dlg.OnSelchangeInputList();
    std::vector<double> rec = RecordLeft(f, pulse_.folder() + "/searched.wav", 2.0);
    ASSERT_GT(rec.size(), 44100u);
    EXPECT_NEAR(ToneAmplitude(rec, 400.0), 0.5, 0.05) << "output B's tone";
    EXPECT_LT(ToneAmplitude(rec, 1000.0), 0.01) << "the other line is not recorded";

    // Chosen by hand: the other monitor.
    dlg.m_cbInputList.SetCurSel(1);
    dlg.OnSelchangeInputList();
    EXPECT_EQ(g_nCapturePinIndex, 1);
    rec = RecordLeft(f, pulse_.folder() + "/chosen.wav", 2.0);
    ASSERT_GT(rec.size(), 44100u);
    EXPECT_NEAR(ToneAmplitude(rec, 1000.0), 0.5, 0.05) << "output A's tone";
    EXPECT_LT(ToneAmplitude(rec, 400.0), 0.01);
  });
  f->Release();
}

}  // namespace
