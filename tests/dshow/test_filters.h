// Filters built from real GStreamer elements for the graph tests, and a
// reader for the WAV files the graph writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dshow/base_filter.h"
#include "platform/dshow/dshow.h"
#include "tests/support/temp_dir.h"

namespace dshow_test {

QX_DEFINE_GUID(CLSID_TestToneSource, "9d1f3a60-7b2c-4e8d-a1f0-5c6b7a8d9e01");
QX_DEFINE_GUID(CLSID_TestWavEncoder, "9d1f3a61-7b2c-4e8d-a1f0-5c6b7a8d9e01");
QX_DEFINE_GUID(CLSID_TestBrokenSource, "9d1f3a62-7b2c-4e8d-a1f0-5c6b7a8d9e01");
QX_DEFINE_GUID(CLSID_TestPinBoard, "9d1f3a63-7b2c-4e8d-a1f0-5c6b7a8d9e01");
QX_DEFINE_GUID(CLSID_TestMonitorSource, "9d1f3a64-7b2c-4e8d-a1f0-5c6b7a8d9e01");

// audiotestsrc sine as 44.1 kHz 16-bit stereo; output pin "Capture".
// live: paced like a capture device (ends only when told to);
// buffers > 0: ends by itself after that many 1024-sample buffers.
class CToneSourceFilter final : public CBaseFilter {
 public:
  CToneSourceFilter(double hz, bool live, int buffers);
  int ElementsBuilt() const { return m_built; }
  // Reports an event to the graph (as a capture filter reports device loss).
  using CBaseFilter::NotifyEvent;

 protected:
  GstElement *CreateElement() override;

 private:
  double m_hz;
  bool m_live;
  int m_buffers;
  int m_built = 0;
};

// Records a sound server source (e.g. an output's monitor) with pulsesrc,
// as 44.1 kHz 16-bit stereo; output pin "Capture".
class CMonitorSourceFilter final : public CBaseFilter {
 public:
  explicit CMonitorSourceFilter(std::string device);

 protected:
  GstElement *CreateElement() override;

 private:
  std::string m_device;
};

// wavenc: input "In" (audio), output "Out" (a WAV byte stream), as the
// writer filter passes WAV on to the File Writer.
class CWavEncoderFilter final : public CBaseFilter {
 public:
  CWavEncoderFilter();

 protected:
  GstElement *CreateElement() override;
};

// A source whose element fails to start (it reads a file that is not there).
class CBrokenSourceFilter final : public CBaseFilter {
 public:
  CBrokenSourceFilter();

 protected:
  GstElement *CreateElement() override;
};

// Pins only, no element: inputs and outputs in a given order, for the pin
// and connection rules. Each letter of layout is a pin: 'i' audio input,
// 'o' audio output, 's' stream input, 'S' stream output.
class CPinBoardFilter final : public CBaseFilter {
 public:
  explicit CPinBoardFilter(const std::string &layout);

 protected:
  GstElement *CreateElement() override { return nullptr; }
};

// Takes the first reference of a new filter.
template <class F>
ComPtr<IBaseFilter> Hold(F *f) {
  return ComPtr<IBaseFilter>(static_cast<IBaseFilter *>(f));
}

struct WavInfo {
  bool ok = false;
  std::string error;
  std::uint32_t riffSize = 0;  // as written in the header
  std::uint64_t fileSize = 0;
  int channels = 0;
  int rate = 0;
  int bits = 0;
  std::uint32_t dataSize = 0;      // as written in the header
  std::uint64_t dataOffset = 0;    // where the samples start
  std::uint64_t chunksEnd = 0;     // where the chain of chunks ends (the file size when complete)
  std::vector<std::int16_t> left;  // first channel's samples
};
WavInfo ReadWav(const std::string &path);

// Frequency of a sine by the median period between its rising crossings,
// which a hole or codec noise does not shift.
double EstimateFrequency(const std::vector<std::int16_t> &samples, int rate);
// The samples from the first to the last one louder than threshold.
std::vector<std::int16_t> LoudPart(const std::vector<std::int16_t> &samples, int threshold);

using quavix::test::TempDir;

std::u16string Wide(const std::string &s);

// Records PostMessageA calls (installed with SetMessagePoster).
struct PostedMessage {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  bool fromTestThread;
};
void StartRecordingPosts();
std::vector<PostedMessage> RecordedPosts();
// The posts recorded once there are at least n (or after timeoutMs): a
// message is posted right after its event is queued, on the queuing thread.
std::vector<PostedMessage> WaitForPosts(std::size_t n, int timeoutMs = 10000);
void StopRecordingPosts();

}  // namespace dshow_test
