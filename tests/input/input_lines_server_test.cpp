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
#include "tests/support/capture_device.h"
#include "tests/support/private_pulse.h"
#include "tests/support/record_capture.h"

namespace {

using inputtest::Entries;

// Records `seconds` of the filter's output and returns the left channel.
std::vector<double> RecordLeft(IBaseFilter *filter, const std::string &path, double seconds) {
  std::vector<double> left;
  if (!quavix::test::RecordCaptureToWav(filter, path, seconds)) return left;

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
  return quavix::test::BindCaptureDevice(id, u"DeviceId");
}

class InputLinesServerTest : public inputtest::InputControlsTest {
 protected:
  void SetUp() override {
    InputControlsTest::SetUp();
    if (HasFatalFailure()) return;
    com_ = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
  void TearDown() override {
    if (SUCCEEDED(com_)) CoUninitialize();
    InputControlsTest::TearDown();
  }
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

TEST_F(InputLinesServerTest, AMonitorWhoseNameHoldsNoSearchedWordIsFoundAllTheSame) {
  // An output named as HDMI or a 5.1 profile names it: its monitor's
  // description holds none of the words the search looks for.
  ASSERT_GE(pulse_.LoadNullSink({"quavix_hdmi", "HDMI 1"}), 0);
  ASSERT_GE(pulse_.LoadNullSink({"quavix_51", "Surround 5.1"}), 0);
  for (const char *id : {"sink:quavix_hdmi", "sink:quavix_51"}) {
    g_nSearchFlag = 0;
    g_nCapturePinIndex = 3;
    IBaseFilter *f = BindDevice(id);
    ASSERT_NE(f, nullptr) << id;
    RunWithInputControls([&](CConverterDlg &dlg) {
      dlg.m_pCaptureFilter = f;
      EXPECT_TRUE(SUCCEEDED(dlg.FillInputLineList(f, PINDIR_INPUT, dlg.m_cbInputList)));
      EXPECT_EQ(g_nSearchFlag, 1) << id;
      EXPECT_EQ(g_nCapturePinIndex, 0) << id;
      EXPECT_NE(Entries(dlg.m_cbInputList).find("Monitor of "), std::string::npos);
      EXPECT_NE(Entries(dlg.m_cbInputList).find(" (output)"), std::string::npos);
    });
    f->Release();
  }
}

TEST_F(InputLinesServerTest, OnlyTheChosenLineIsRecorded) {
  auto toneA = pulse_.PlayTone("quavix_a", 1000.0, 0.5);
  auto toneB = pulse_.PlayTone("quavix_b", 400.0, 0.5);
  ASSERT_NE(toneA, nullptr);
  ASSERT_NE(toneB, nullptr);
  ASSERT_TRUE(pulse_.WaitUntilSounding("quavix_a"));
  ASSERT_TRUE(pulse_.WaitUntilSounding("quavix_b"));
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
