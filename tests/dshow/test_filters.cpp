#include "tests/dshow/test_filters.h"

#include "tests/support/audio_measures.h"

#include <gst/gst.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "platform/com/olestr.h"
#include "platform/win/message_post.h"

namespace dshow_test {

namespace {
AM_MEDIA_TYPE Major(const GUID &g) {
  AM_MEDIA_TYPE mt{};
  mt.majortype = g;
  return mt;
}

GstElement *BinOf(const char *description, bool ghostUnlinked) {
  GError *err = nullptr;
  GstElement *bin = gst_parse_bin_from_description(description, ghostUnlinked, &err);
  if (err) g_error_free(err);
  return bin;
}

// Gives the bin's unlinked pad of a direction a ghost pad named after pin.
bool NamePad(GstElement *bin, const char *dir, const CBasePin *pin) {
  GstPad *inner = gst_bin_find_unlinked_pad(
      GST_BIN(bin), std::strcmp(dir, "src") == 0 ? GST_PAD_SRC : GST_PAD_SINK);
  if (!inner) return false;
  GstPad *ghost = gst_ghost_pad_new(pin->PadName().c_str(), inner);
  gst_object_unref(inner);
  return ghost && gst_element_add_pad(bin, ghost);
}
}  // namespace

CToneSourceFilter::CToneSourceFilter(double hz, bool live, int buffers)
    : CBaseFilter(CLSID_TestToneSource), m_hz(hz), m_live(live), m_buffers(buffers) {
  AM_MEDIA_TYPE mt{};
  InitAudioMediaType(&mt);
  AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, u"Capture", mt));
  FreeMediaType(mt);
}

GstElement *CToneSourceFilter::CreateElement() {
  ++m_built;
  std::string d = "audiotestsrc wave=sine freq=" + std::to_string(m_hz) +
                  " samplesperbuffer=1024 is-live=" + (m_live ? "true" : "false");
  if (m_buffers > 0) d += " num-buffers=" + std::to_string(m_buffers);
  d += " ! capsfilter caps=audio/x-raw,format=S16LE,rate=44100,channels=2";
  GstElement *bin = BinOf(d.c_str(), false);
  if (bin && !NamePad(bin, "src", Pin(0))) {
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  return bin;
}

CMonitorSourceFilter::CMonitorSourceFilter(std::string device)
    : CBaseFilter(CLSID_TestMonitorSource), m_device(std::move(device)) {
  AM_MEDIA_TYPE mt{};
  InitAudioMediaType(&mt);
  AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, u"Capture", mt));
  FreeMediaType(mt);
}

GstElement *CMonitorSourceFilter::CreateElement() {
  std::string d = "pulsesrc device=" + m_device +
                  " ! audioconvert ! audioresample ! capsfilter "
                  "caps=audio/x-raw,format=S16LE,rate=44100,channels=2";
  GstElement *bin = BinOf(d.c_str(), false);
  if (bin && !NamePad(bin, "src", Pin(0))) {
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  return bin;
}

CWavEncoderFilter::CWavEncoderFilter() : CBaseFilter(CLSID_TestWavEncoder) {
  AddPin(std::make_unique<CBasePin>(this, PINDIR_INPUT, u"In", Major(MEDIATYPE_Audio)));
  AM_MEDIA_TYPE out = Major(MEDIATYPE_Stream);
  out.subtype = MEDIASUBTYPE_WAVE;
  AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, u"Out", out));
}

GstElement *CWavEncoderFilter::CreateElement() {
  GstElement *bin = BinOf("audioconvert ! wavenc", false);
  if (bin && (!NamePad(bin, "sink", Pin(0)) || !NamePad(bin, "src", Pin(1)))) {
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  return bin;
}

CBrokenSourceFilter::CBrokenSourceFilter() : CBaseFilter(CLSID_TestBrokenSource) {
  AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, u"Out", Major(MEDIATYPE_Stream)));
}

GstElement *CBrokenSourceFilter::CreateElement() {
  GstElement *bin = BinOf("filesrc location=/nonexistent/quavix-test-input", false);
  if (bin && !NamePad(bin, "src", Pin(0))) {
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  return bin;
}

CPinBoardFilter::CPinBoardFilter(const std::string &layout) : CBaseFilter(CLSID_TestPinBoard) {
  int n = 0;
  for (char c : layout) {
    std::u16string name = Wide(std::string(1, c) + std::to_string(n++));
    switch (c) {
      case 'i':
        AddPin(std::make_unique<CBasePin>(this, PINDIR_INPUT, name, Major(MEDIATYPE_Audio)));
        break;
      case 'o':
        AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, name, Major(MEDIATYPE_Audio)));
        break;
      case 's':
        AddPin(std::make_unique<CBasePin>(this, PINDIR_INPUT, name, Major(MEDIATYPE_Stream)));
        break;
      case 'S':
        AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, name, Major(MEDIATYPE_Stream)));
        break;
      default: break;
    }
  }
}

WavInfo ReadWav(const std::string &path) {
  WavInfo w;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    w.error = "cannot open";
    return w;
  }
  std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
  w.fileSize = b.size();
  auto u32 = [&](std::size_t o) {
    return static_cast<std::uint32_t>(b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) |
                                      (static_cast<std::uint32_t>(b[o + 3]) << 24));
  };
  auto u16 = [&](std::size_t o) { return static_cast<int>(b[o] | (b[o + 1] << 8)); };
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
      std::memcmp(b.data() + 8, "WAVE", 4) != 0) {
    w.error = "no RIFF/WAVE header";
    return w;
  }
  w.riffSize = u32(4);
  std::size_t o = 12;
  bool haveFmt = false, haveData = false;
  while (o + 8 <= b.size()) {
    std::uint32_t size = u32(o + 4);
    if (std::memcmp(b.data() + o, "fmt ", 4) == 0 && o + 8 + 16 <= b.size()) {
      w.channels = u16(o + 10);
      w.rate = static_cast<int>(u32(o + 12));
      w.bits = u16(o + 22);
      haveFmt = true;
    } else if (std::memcmp(b.data() + o, "data", 4) == 0 && !haveData) {
      haveData = true;
      w.dataSize = size;
      w.dataOffset = o + 8;
      if (!haveFmt || w.bits != 16 || w.channels < 1) {
        w.error = "not 16-bit PCM";
        return w;
      }
      std::size_t avail = std::min<std::size_t>(size, b.size() - (o + 8));
      std::size_t frame = static_cast<std::size_t>(w.channels) * 2;
      for (std::size_t i = 0; i + frame <= avail; i += frame)
        w.left.push_back(static_cast<std::int16_t>(u16(o + 8 + i)));
    }
    o += 8 + static_cast<std::size_t>(size) + (size & 1);
  }
  w.chunksEnd = o;
  if (!haveData) {
    w.error = "no data chunk";
    return w;
  }
  w.ok = true;
  return w;
}

double EstimateFrequency(const std::vector<std::int16_t> &s, int rate) {
  return quavix::test::MedianPeriodFrequency(s, rate);
}

std::vector<std::int16_t> LoudPart(const std::vector<std::int16_t> &s, int threshold) {
  std::size_t first = s.size(), last = 0;
  for (std::size_t i = 0; i < s.size(); ++i)
    if (std::abs(static_cast<int>(s[i])) > threshold) {
      if (first == s.size()) first = i;
      last = i;
    }
  if (first == s.size()) return {};
  return std::vector<std::int16_t>(s.begin() + static_cast<long>(first),
                                   s.begin() + static_cast<long>(last) + 1);
}

std::u16string Wide(const std::string &s) { return Utf8ToUtf16(s); }

namespace {
std::mutex g_postLock;
std::vector<PostedMessage> g_posts;
std::thread::id g_testThread;

BOOL Recorder(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> g(g_postLock);
  g_posts.push_back({hwnd, msg, wParam, lParam, std::this_thread::get_id() == g_testThread});
  return TRUE;
}
}  // namespace

void StartRecordingPosts() {
  std::lock_guard<std::mutex> g(g_postLock);
  g_posts.clear();
  g_testThread = std::this_thread::get_id();
  SetMessagePoster(&Recorder);
}

std::vector<PostedMessage> RecordedPosts() {
  std::lock_guard<std::mutex> g(g_postLock);
  return g_posts;
}

std::vector<PostedMessage> WaitForPosts(std::size_t n, int timeoutMs) {
  for (int waited = 0;; waited += 10) {
    auto posts = RecordedPosts();
    if (posts.size() >= n || waited >= timeoutMs) return posts;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void StopRecordingPosts() { SetMessagePoster(nullptr); }

}  // namespace dshow_test
