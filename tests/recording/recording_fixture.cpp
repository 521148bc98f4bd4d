#include "recording_fixture.h"

#include "platform/reg/registry.h"
#include "platform/win/messages.h"
#include "platform/win/window_internal.h"
#include "tests/support/test_main.h"
#include "tests/writer/gst_helpers.h"

#include <QApplication>
#include <QTest>

#include <gst/gst.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace recording_test {

using quavix::test::NullSink;

namespace {
// The tests decode the files written through GStreamer of their own.
void StartGStreamer() { gst_init(nullptr, nullptr); }
[[maybe_unused]] const bool kGStreamerStep = quavix::test::BeforeTests(&StartGStreamer);
}  // namespace

std::vector<std::string> ListTexts(CComboBox &list) {
  std::vector<std::string> texts;
  for (int i = 0; i < list.GetCount(); ++i) {
    CString text;
    list.GetLBText(i, text);
    texts.emplace_back(static_cast<const char *>(text));
  }
  return texts;
}

bool WaitUntil(const std::function<bool()> &pred, int timeout_ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= end) return pred();
    QTest::qWait(20);
  }
  return true;
}

void Pump(int ms) { QTest::qWait(ms); }

std::optional<std::string> HandOffValue(const char *subkey) {
  std::string path = std::string("Software\\ZORVEKA\\VORLINTA\\") + subkey;
  char buffer[1024] = "";
  LONG size = sizeof buffer;
  if (RegQueryValueA(HKEY_CURRENT_USER, path.c_str(), buffer, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::string(buffer);
}

namespace {

const unsigned char kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                       0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const unsigned char kFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                               0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const unsigned char kSimpleIndexGuid[16] = {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                                            0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB};

std::uint64_t Le64(const std::string &data, size_t at) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i)
    v = (v << 8) | static_cast<unsigned char>(data[at + static_cast<size_t>(i)]);
  return v;
}

}  // namespace

AsfFacts ReadAsfFacts(const std::string &path) {
  AsfFacts facts;
  std::string data = writer_test::ReadWholeFile(path);
  if (data.size() < 30 || std::memcmp(data.data(), kHeaderGuid, 16) != 0) return facts;
  facts.header = true;
  auto props = data.find(std::string(reinterpret_cast<const char *>(kFilePropertiesGuid), 16));
  if (props != std::string::npos && props + 92 <= data.size()) {
    facts.playDuration = Le64(data, props + 64);
    facts.broadcast = (static_cast<unsigned char>(data[props + 88]) & 1) != 0;
  }
  facts.simpleIndex = data.find(std::string(reinterpret_cast<const char *>(kSimpleIndexGuid),
                                            16)) != std::string::npos;
  return facts;
}

double DecodedSeconds(const std::string &path) {
  std::vector<std::int16_t> pcm;
  if (!writer_test::DecodeFile(path, &pcm)) return -1;
  return writer_test::Seconds(pcm);
}

double MiddleFrequency(const std::string &path) {
  std::vector<std::int16_t> pcm;
  if (!writer_test::DecodeFile(path, &pcm) || pcm.size() < 44100 * 2 * 2) return -1;
  // The middle half: the edges may hold the output's start-up and the cut.
  size_t frames = pcm.size() / 2;
  std::vector<std::int16_t> middle(pcm.begin() + static_cast<long>(frames / 4 * 2),
                                   pcm.begin() + static_cast<long>(frames * 3 / 4 * 2));
  return writer_test::LeftFrequency(middle);
}

void RecordingTest::OtherDialog(const UiRequest &request) {
  otherDialogs_.push_back(request.dialogId);
  PostMessageA(request.dialog, WM_COMMAND, IDOK, 0);
}

void RecordingTest::SetOutputPath(CConverterDlg &dlg, const std::string &path) {
  SetWindowTextA(GetDlgItem(dlg.m_hWnd, IDC_OUTPUT_PATH), path.c_str());
}

bool RecordingTest::ConvertUntil(CConverterDlg &dlg, const std::string &output, int seconds) {
  HWND h = dlg.m_hWnd;
  AsIfASongWasOpened(dlg);
  SetOutputPath(dlg, output);
  Click(h, IDC_CONVERT);
  if (dlg.m_bConverting != 1) return false;
  char counted[64];
  std::snprintf(counted, sizeof counted, "Status : Converting - Used Time: 00:00:%02d", seconds);
  return WaitUntil([&] { return ItemText(h, IDC_STATUS) == counted; }, 15000);
}

std::unique_ptr<quavix::test::ChildProcess> RecordingTest::StartTone(const std::string &sink,
                                                                     double hz) {
  auto tone = pulse_.PlayTone(sink, hz);
  // Heard on the loop-back line, the tone plays and the output is past its
  // late start; on a busy machine that may take seconds.
  EXPECT_TRUE(tone && pulse_.WaitUntilSounding(sink)) << "the tone on " << sink << " is not heard";
  return tone;
}

}  // namespace recording_test
