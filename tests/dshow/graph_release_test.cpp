// A graph that has been run lets go of everything when its last reference
// goes: the pipeline and every filter's element are finalised, and no
// descriptor (a bus's wake-up socket pair, a file) stays open.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/com/olestr.h"
#include "tests/dshow/test_filters.h"
#include "tests/support/process_counts.h"

using namespace dshow_test;
using quavix::test::OpenDescriptors;

namespace {

// Counts the watched objects that have been finalised.
struct Finalised {
  std::atomic<int> count{0};
  void Watch(gpointer object) {
    g_object_weak_ref(
        G_OBJECT(object), [](gpointer self, GObject *) { ++static_cast<Finalised *>(self)->count; },
        this);
  }
};

class GraphReleaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override { CoUninitialize(); }

  // Source, "WAV Dest" and "File Writer" to path, run to the end of the
  // tone (or only paused), stopped; the objects the graph made are watched.
  // Returns the number of objects watched.
  int RunOnce(const std::string &path, bool run, Finalised &finalised) {
    ComPtr<IGraphBuilder> graph;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               graph.OutVoid()),
              S_OK);
    if (!graph) return -1;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    EXPECT_EQ(graph->QueryInterface(IID_IMediaControl, control.OutVoid()), S_OK);
    EXPECT_EQ(graph->QueryInterface(IID_IMediaEventEx, events.OutVoid()), S_OK);
    auto source = Hold(new CToneSourceFilter(440.0, false, 10));
    auto wav = Hold(new CWavEncoderFilter);
    ComPtr<IFileSinkFilter2> sink;
    EXPECT_EQ(CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IFileSinkFilter2, sink.OutVoid()),
              S_OK);
    ComPtr<IBaseFilter> writer;
    EXPECT_EQ(sink->QueryInterface(IID_IBaseFilter, writer.OutVoid()), S_OK);
    EXPECT_EQ(graph->AddFilter(source.Get(), u"Audio Capture"), S_OK);
    EXPECT_EQ(graph->AddFilter(wav.Get(), u"WAV Dest"), S_OK);
    EXPECT_EQ(graph->AddFilter(writer.Get(), u"File Writer"), S_OK);
    EXPECT_EQ(sink->SetMode(AM_FILE_OVERWRITE), S_OK);
    EXPECT_EQ(sink->SetFileName(Wide(path).c_str(), nullptr), S_OK);
    ComPtr<IPin> out;
    EXPECT_EQ(source->FindPin(u"Capture", out.Out()), S_OK);
    EXPECT_EQ(graph->Render(out.Get()), S_OK);

    EXPECT_TRUE(SUCCEEDED(run ? control->Run() : control->Pause()));
    int watched = 0;
    GstObject *pipeline = nullptr;
    for (IBaseFilter *f : {source.Get(), wav.Get(), writer.Get()}) {
      ComPtr<IGstFilter> gst;
      EXPECT_EQ(f->QueryInterface(IID_IGstFilter, gst.OutVoid()), S_OK);
      GstElement *element = gst ? gst->GetGstElement() : nullptr;
      EXPECT_NE(element, nullptr);
      if (!element) continue;
      finalised.Watch(element);
      ++watched;
      if (!pipeline) pipeline = GST_OBJECT_PARENT(element);
    }
    EXPECT_NE(pipeline, nullptr) << "the elements were not put in a pipeline";
    if (pipeline) {
      finalised.Watch(pipeline);
      ++watched;
    }
    if (run) {
      long code = 0;
      LONG_PTR p1 = 0, p2 = 0;
      EXPECT_EQ(events->GetEvent(&code, &p1, &p2, 30000), S_OK);
      EXPECT_EQ(code, EC_COMPLETE);
    }
    EXPECT_TRUE(SUCCEEDED(control->Stop()));
    return watched;
  }

  TempDir m_dir;
};

TEST_F(GraphReleaseTest, RunGraphsReleasedAgainAndAgainFinaliseEverythingAndCloseAllDescriptors) {
  const std::string path = m_dir.File("tone.wav");
  int warm = 0;
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    Finalised finalised;
    const bool run = i % 2 == 0;  // paused-only graphs make their elements too
    const int watched = RunOnce(path, run, finalised);
    ASSERT_EQ(watched, 4);
    EXPECT_EQ(finalised.count.load(), watched)
        << "objects of the graph are still alive after its release";
    WavInfo w = ReadWav(path);
    if (run) {
      EXPECT_TRUE(w.ok) << w.error;
    }
    if (i == 1) warm = OpenDescriptors();
  }
  EXPECT_LE(OpenDescriptors(), warm) << "descriptors left open by the released graphs";
}

}  // namespace
