// The writer chain of a conversion run in the real media graph: a tone
// source as "Audio Capture", the module's "WAV Dest" and the "File Writer",
// connected by rendering, as the program builds it.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/com/olestr.h"
#include "platform/dshow/base_filter.h"
#include "platform/dshow/capture.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/evcode.h"
#include "platform/dshow/uuids.h"
#include "platform/reg/registry.h"
#include "tests/writer/gst_helpers.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using namespace writer_test;

namespace {

QX_DEFINE_GUID(CLSID_WriterTestTone, "5d0f3a52-8a1e-4c55-9a64-0c1f5e7b2d31");

// A live audiotestsrc standing where the capture device would be.
class CToneCaptureFilter final : public CBaseFilter {
 public:
  CToneCaptureFilter() : CBaseFilter(CLSID_WriterTestTone) {
    AM_MEDIA_TYPE mt{};
    InitAudioMediaType(&mt);
    AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, u"Capture", mt));
    FreeMediaType(mt);
  }

 protected:
  GstElement *CreateElement() override {
    GstElement *bin =
        gst_parse_bin_from_description(ToneSource(1000, 0, true).c_str(), FALSE, nullptr);
    GstPad *inner = gst_bin_find_unlinked_pad(GST_BIN(bin), GST_PAD_SRC);
    gst_element_add_pad(bin, gst_ghost_pad_new(Pin(0)->PadName().c_str(), inner));
    gst_object_unref(inner);
    return bin;
  }
};

class WriterChain : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                               graph_.OutVoid()),
              S_OK);
    ASSERT_EQ(graph_->QueryInterface(IID_IMediaControl, control_.OutVoid()), S_OK);
    ASSERT_EQ(graph_->QueryInterface(IID_IMediaEventEx, events_.OutVoid()), S_OK);
    source_ = ComPtr<IBaseFilter>(new CToneCaptureFilter);
    ASSERT_EQ(graph_->AddFilter(source_.Get(), u"Audio Capture"), S_OK);
  }
  void TearDown() override {
    source_.Reset();
    events_.Reset();
    control_.Reset();
    graph_.Reset();
    CoUninitialize();
  }

  // Hands over `wma` (nothing when null), then inserts the chain.
  void InsertChain(const char *wma) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\ZORVEKA\\VORLINTA", &key), 0);
    if (wma)
      RegSetValueA(key, "OutputWMAName", REG_SZ, wma, 0);
    else
      RegDeleteKeyA(key, "OutputWMAName");
    RegSetValueA(key, "OUTPUTWAVE", REG_SZ, "0", 0);
    RegCloseKey(key);
    ComPtr<IBaseFilter> wavDest, fileWriter;
    ComPtr<IFileSinkFilter2> sink;
    ASSERT_EQ(CoCreateInstance(CLSID_WavDestWriter, nullptr, CLSCTX_INPROC, IID_IBaseFilter,
                               wavDest.OutVoid()),
              S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC, IID_IFileSinkFilter2,
                               sink.OutVoid()),
              S_OK);
    ASSERT_EQ(sink->QueryInterface(IID_IBaseFilter, fileWriter.OutVoid()), S_OK);
    ASSERT_EQ(graph_->AddFilter(wavDest.Get(), u"WAV Dest"), S_OK);
    ASSERT_EQ(graph_->AddFilter(fileWriter.Get(), u"File Writer"), S_OK);
    sink->SetMode(AM_FILE_OVERWRITE);
    ASSERT_EQ(sink->SetFileName(Utf8ToUtf16(wav_).c_str(), nullptr), S_OK);
    ComPtr<IPin> out;
    ASSERT_EQ(source_->FindPin(u"Capture", out.Out()), S_OK);
    ASSERT_EQ(graph_->Render(out.Get()), S_OK);
  }

  void RemoveChain() {
    for (const char16_t *name : {u"WAV Dest", u"File Writer"}) {
      ComPtr<IBaseFilter> f;
      ASSERT_EQ(graph_->FindFilterByName(name, f.Out()), S_OK);
      EXPECT_EQ(graph_->RemoveFilter(f.Get()), S_OK);
    }
  }

  quavix::test::TempDir dir_{"writer-chain"};
  std::string wav_;
  ComPtr<IGraphBuilder> graph_;
  ComPtr<IMediaControl> control_;
  ComPtr<IMediaEventEx> events_;
  ComPtr<IBaseFilter> source_;
};

TEST_F(WriterChain, ARunWritesTheWmaAndPassesTheWavOn) {
  const std::string wma = dir_.File("song.wma");
  wav_ = dir_.File("kqzttemp.wav");
  InsertChain(wma.c_str());
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  // The end of the song: drained, and the file complete once the chain is out.
  EXPECT_EQ(control_->StopWhenReady(), S_OK);
  RemoveChain();

  std::vector<std::int16_t> pcm;
  ASSERT_TRUE(DecodeFile(wma, &pcm));
  EXPECT_GE(Seconds(pcm), 1.0);
  EXPECT_NEAR(LeftFrequency(pcm), 1000.0, 5.0);
  std::string errors;
  EXPECT_NEAR(FfmpegSeconds(wma, &errors), Seconds(pcm), 0.1);
  EXPECT_EQ(errors, "");
  std::vector<std::int16_t> wav;
  ASSERT_TRUE(DecodeFile(wav_, &wav));
  EXPECT_NEAR(Seconds(wav), Seconds(pcm), 0.1);  // the same audio went both ways
}

TEST_F(WriterChain, RunFailsWhenNoOutputWasHandedOver) {
  wav_ = dir_.File("kqzttemp.wav");
  InsertChain(nullptr);
  EXPECT_TRUE(FAILED(control_->Run()));
  control_->Stop();
  RemoveChain();
}

}  // namespace
