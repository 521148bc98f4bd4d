// The filter graph manager with real GStreamer elements: naming, rendering
// through the graph, running to a complete file, draining, events.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/com/olestr.h"
#include "tests/dshow/test_filters.h"
#include "tests/support/process_counts.h"

using namespace dshow_test;
using quavix::test::OpenDescriptorsOn;

namespace {

const HWND kWindow = reinterpret_cast<HWND>(0x4321);
constexpr long kNotifyMsg = 0x8001;

class GraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_live = CRefCounted::LiveObjects();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               m_graph.OutVoid()),
              S_OK);
    ASSERT_EQ(m_graph->QueryInterface(IID_IMediaControl, m_control.OutVoid()), S_OK);
    ASSERT_EQ(m_graph->QueryInterface(IID_IMediaEventEx, m_events.OutVoid()), S_OK);
    ASSERT_FALSE(m_dir.path().empty());
    StartRecordingPosts();
  }
  void TearDown() override {
    StopRecordingPosts();
    m_events.Reset();
    m_control.Reset();
    m_graph.Reset();
    CoUninitialize();
    EXPECT_EQ(CRefCounted::LiveObjects(), m_live) << "graph objects leaked";
  }

  // The chain the program builds for a run: source, "WAV Dest" and a
  // "File Writer" writing to path, connected by rendering the source.
  ComPtr<IBaseFilter> AddWriterChain(IBaseFilter *source, const std::string &path,
                                     DWORD mode = AM_FILE_OVERWRITE) {
    ComPtr<IBaseFilter> wav = Hold(new CWavEncoderFilter);
    ComPtr<IFileSinkFilter2> sink;
    EXPECT_EQ(
        CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                         IID_IFileSinkFilter2, sink.OutVoid()),
        S_OK);
    ComPtr<IBaseFilter> writer;
    EXPECT_EQ(sink->QueryInterface(IID_IBaseFilter, writer.OutVoid()), S_OK);
    EXPECT_EQ(m_graph->AddFilter(wav.Get(), u"WAV Dest"), S_OK);
    EXPECT_EQ(m_graph->AddFilter(writer.Get(), u"File Writer"), S_OK);
    EXPECT_EQ(sink->SetMode(mode), S_OK);
    EXPECT_EQ(sink->SetFileName(Wide(path).c_str(), nullptr), S_OK);
    ComPtr<IPin> out;
    EXPECT_EQ(source->FindPin(u"Capture", out.Out()), S_OK);
    EXPECT_EQ(m_graph->Render(out.Get()), S_OK);
    return writer;
  }

  void RemoveByName(const char16_t *name) {
    ComPtr<IBaseFilter> f;
    ASSERT_EQ(m_graph->FindFilterByName(name, f.Out()), S_OK);
    EXPECT_EQ(m_graph->RemoveFilter(f.Get()), S_OK);
  }

  long m_live = 0;
  TempDir m_dir;
  ComPtr<IGraphBuilder> m_graph;
  ComPtr<IMediaControl> m_control;
  ComPtr<IMediaEventEx> m_events;
};

bool Connected(IBaseFilter *a, const char16_t *pinA, IBaseFilter *b, const char16_t *pinB) {
  ComPtr<IPin> pa, pb, peer;
  if (a->FindPin(pinA, pa.Out()) != S_OK || b->FindPin(pinB, pb.Out()) != S_OK) return false;
  return pa->ConnectedTo(peer.Out()) == S_OK && peer.Get() == pb.Get();
}

bool Unconnected(IBaseFilter *a, const char16_t *pin) {
  ComPtr<IPin> p, peer;
  return a->FindPin(pin, p.Out()) == S_OK && p->ConnectedTo(peer.Out()) == VFW_E_NOT_CONNECTED;
}

TEST_F(GraphTest, FiltersAreNamedFoundListedAndRemoved) {
  auto a = Hold(new CPinBoardFilter("o"));
  auto b = Hold(new CPinBoardFilter("i"));
  EXPECT_EQ(m_graph->AddFilter(a.Get(), u"Audio Capture"), S_OK);
  EXPECT_EQ(m_graph->AddFilter(b.Get(), u"Audio Capture"), VFW_S_DUPLICATE_NAME);
  EXPECT_EQ(m_graph->AddFilter(a.Get(), u"Again"), E_INVALIDARG);

  FILTER_INFO info{};
  ASSERT_EQ(b->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(std::u16string(info.achName), u"Audio Capture 0001");
  ASSERT_NE(info.pGraph, nullptr);
  info.pGraph->Release();

  ComPtr<IBaseFilter> found;
  ASSERT_EQ(m_graph->FindFilterByName(u"Audio Capture", found.Out()), S_OK);
  EXPECT_EQ(found.Get(), a.Get());
  EXPECT_EQ(m_graph->FindFilterByName(u"WAV Dest", found.Out()), VFW_E_NOT_FOUND);
  EXPECT_FALSE(found);

  ComPtr<IEnumFilters> e;
  ASSERT_EQ(m_graph->EnumFilters(e.Out()), S_OK);
  IBaseFilter *list[3] = {};
  ULONG n = 0;
  EXPECT_EQ(e->Next(3, list, &n), S_FALSE);
  ASSERT_EQ(n, 2u);
  EXPECT_EQ(list[0], a.Get());  // in the order they were added
  EXPECT_EQ(list[1], b.Get());
  list[0]->Release();
  list[1]->Release();

  EXPECT_EQ(m_graph->RemoveFilter(a.Get()), S_OK);
  EXPECT_EQ(m_graph->RemoveFilter(a.Get()), VFW_E_NOT_FOUND);
  ASSERT_EQ(a->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.pGraph, nullptr);  // it left the graph
  EXPECT_EQ(m_graph->AddFilter(nullptr, u"x"), E_POINTER);
}

TEST_F(GraphTest, RenderGoesThroughTheFiltersInTheGraphAndBacksOutOfDeadEnds) {
  auto source = Hold(new CPinBoardFilter("o"));
  auto deadEnd = Hold(new CPinBoardFilter("iS"));  // takes audio, but its output leads nowhere
  auto wavDest = Hold(new CPinBoardFilter("iS"));
  auto sink = Hold(new CPinBoardFilter("s"));  // takes a stream only
  auto streamOnly = Hold(new CPinBoardFilter("s"));
  ASSERT_EQ(m_graph->AddFilter(source.Get(), u"Audio Capture"), S_OK);
  ASSERT_EQ(m_graph->AddFilter(streamOnly.Get(), u"Other"), S_OK);
  ASSERT_EQ(m_graph->AddFilter(wavDest.Get(), u"WAV Dest"), S_OK);
  ASSERT_EQ(m_graph->AddFilter(sink.Get(), u"File Writer"), S_OK);

  ComPtr<IPin> out;
  ASSERT_EQ(source->FindPin(u"o0", out.Out()), S_OK);
  ASSERT_EQ(m_graph->Render(out.Get()), S_OK);
  EXPECT_TRUE(Connected(source.Get(), u"o0", wavDest.Get(), u"i0"));
  // The first stream input in the graph takes WAV Dest's output.
  EXPECT_TRUE(Connected(wavDest.Get(), u"S1", streamOnly.Get(), u"s0"));
  EXPECT_TRUE(Unconnected(sink.Get(), u"s0"));
  EXPECT_EQ(m_graph->Render(out.Get()), VFW_E_ALREADY_CONNECTED);

  // A second graph where the first candidate is a dead end.
  ComPtr<IGraphBuilder> g2;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                             g2.OutVoid()),
            S_OK);
  auto src2 = Hold(new CPinBoardFilter("o"));
  auto end2 = Hold(new CPinBoardFilter("i"));
  ASSERT_EQ(g2->AddFilter(src2.Get(), u"src"), S_OK);
  ASSERT_EQ(g2->AddFilter(deadEnd.Get(), u"dead end"), S_OK);
  ASSERT_EQ(g2->AddFilter(end2.Get(), u"renderer"), S_OK);
  ComPtr<IPin> out2;
  ASSERT_EQ(src2->FindPin(u"o0", out2.Out()), S_OK);
  ASSERT_EQ(g2->Render(out2.Get()), S_OK);
  EXPECT_TRUE(Connected(src2.Get(), u"o0", end2.Get(), u"i0"));
  EXPECT_TRUE(Unconnected(deadEnd.Get(), u"i0"));  // tried, then let go
  EXPECT_TRUE(Unconnected(deadEnd.Get(), u"S1"));
}

TEST_F(GraphTest, RenderWithNothingToTakeTheStreamFails) {
  auto source = Hold(new CPinBoardFilter("oi"));
  auto other = Hold(new CPinBoardFilter("s"));
  ASSERT_EQ(m_graph->AddFilter(source.Get(), u"Audio Capture"), S_OK);
  ASSERT_EQ(m_graph->AddFilter(other.Get(), u"Other"), S_OK);
  ComPtr<IPin> out, in;
  ASSERT_EQ(source->FindPin(u"o0", out.Out()), S_OK);
  ASSERT_EQ(source->FindPin(u"i1", in.Out()), S_OK);
  EXPECT_EQ(m_graph->Render(out.Get()), VFW_E_CANNOT_RENDER);
  EXPECT_TRUE(Unconnected(source.Get(), u"o0"));
  EXPECT_TRUE(Unconnected(source.Get(), u"i1"));  // never its own input
  EXPECT_EQ(m_graph->Render(in.Get()), VFW_E_INVALID_DIRECTION);
  EXPECT_EQ(m_graph->Render(nullptr), E_POINTER);
}

TEST_F(GraphTest, RunToTheEndWritesACompleteWavFileAndReportsCompletion) {
  // 43 buffers of 1024 frames: 44032 frames, 176128 bytes of data.
  auto source = Hold(new CToneSourceFilter(440.0, false, 43));
  ASSERT_EQ(m_graph->AddFilter(source.Get(), u"Audio Capture"), S_OK);
  std::string path = m_dir.File("kqzttemp.wav");
  AddWriterChain(source.Get(), path);
  ASSERT_EQ(m_events->SetNotifyWindow(reinterpret_cast<OAHWND>(kWindow), kNotifyMsg, 5), S_OK);

  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  OAFilterState state = -1;
  m_control->GetState(0, &state);
  EXPECT_EQ(state, State_Running);
  long code = 0;
  LONG_PTR p1 = 1, p2 = 1;
  ASSERT_EQ(m_events->GetEvent(&code, &p1, &p2, 30000), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(p1, S_OK);
  EXPECT_EQ(m_events->FreeEventParams(code, p1, p2), S_OK);
  EXPECT_EQ(m_events->GetEvent(&code, &p1, &p2, 0), E_ABORT);

  auto posts = WaitForPosts(1);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].hwnd, kWindow);
  EXPECT_EQ(posts[0].msg, static_cast<UINT>(kNotifyMsg));
  EXPECT_EQ(posts[0].wParam, 0u);
  EXPECT_EQ(posts[0].lParam, 5);
  EXPECT_FALSE(posts[0].fromTestThread);  // the streaming thread posted it

  // The streams ended already: stopping when ready has nothing to wait for.
  ASSERT_EQ(m_control->StopWhenReady(), S_OK);
  WavInfo w = ReadWav(path);
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.channels, 2);
  EXPECT_EQ(w.rate, 44100);
  EXPECT_EQ(w.dataSize, 44032u * 4u);
  EXPECT_EQ(w.riffSize, w.fileSize - 8);
  EXPECT_EQ(w.chunksEnd, w.fileSize);
  EXPECT_EQ(w.left.size(), 44032u);
  EXPECT_NEAR(EstimateFrequency(w.left, w.rate), 440.0, 2.0);
}

TEST_F(GraphTest, StopWhenReadyDrainsALiveSourceIntoACompleteFileEachRun) {
  auto source = Hold(new CToneSourceFilter(1000.0, true, 0));
  ASSERT_EQ(m_graph->AddFilter(source.Get(), u"Audio Capture"), S_OK);
  std::string path = m_dir.File("kqzttemp.wav");

  for (int run = 0; run < 2; ++run) {
    AddWriterChain(source.Get(), path);
    ASSERT_TRUE(SUCCEEDED(m_control->Run())) << "run " << run;
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(m_control->StopWhenReady(), S_OK) << "the streams did not end";
    OAFilterState state = -1;
    EXPECT_EQ(m_control->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);

    // Complete the moment StopWhenReady returns: sizes in the header match.
    WavInfo w = ReadWav(path);
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_EQ(w.riffSize, w.fileSize - 8);
    EXPECT_EQ(w.chunksEnd, w.fileSize);
    EXPECT_GT(w.left.size(), 44100u * 3 / 10) << "at least the 0.3 s certainly recorded";
    EXPECT_NEAR(EstimateFrequency(w.left, w.rate), 1000.0, 5.0);

    // Draining is no end of the song: nothing for the caller.
    long code = 0;
    LONG_PTR p1, p2;
    EXPECT_EQ(m_events->GetEvent(&code, &p1, &p2, 0), E_ABORT) << "event " << code;

    // The writer chain goes after each run, as the program does it.
    RemoveByName(u"WAV Dest");
    RemoveByName(u"File Writer");
    EXPECT_TRUE(Unconnected(source.Get(), u"Capture"));
  }
  EXPECT_EQ(static_cast<CToneSourceFilter *>(source.Get())->ElementsBuilt(), 1)
      << "the source keeps its element across runs";
}

TEST_F(GraphTest, RemovingTheWriterFromARunningGraphClosesItsFile) {
  auto source = Hold(new CToneSourceFilter(440.0, true, 0));
  ASSERT_EQ(m_graph->AddFilter(source.Get(), u"Audio Capture"), S_OK);
  std::string path = m_dir.File("kqzttemp.wav");
  AddWriterChain(source.Get(), path);
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(OpenDescriptorsOn(path), 1);
  RemoveByName(u"File Writer");
  EXPECT_EQ(OpenDescriptorsOn(path), 0) << "the removed writer still holds its file";
  RemoveByName(u"WAV Dest");
  EXPECT_TRUE(Unconnected(source.Get(), u"Capture"));
  EXPECT_EQ(m_control->Stop(), S_OK);
}

TEST_F(GraphTest, FilterEventsArePostedFromAnyThreadUntilPostingIsTurnedOff) {
  auto *raw = new CToneSourceFilter(440.0, true, 0);
  auto source = Hold(raw);
  ASSERT_EQ(m_graph->AddFilter(source.Get(), u"Audio Capture"), S_OK);
  ASSERT_EQ(m_events->SetNotifyWindow(reinterpret_cast<OAHWND>(kWindow), kNotifyMsg, 0), S_OK);

  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([raw, t] {
      for (int i = 0; i < 50; ++i) raw->NotifyEvent(EC_DEVICE_LOST, 0, t);
    });
  for (auto &t : threads) t.join();

  auto posts = RecordedPosts();
  ASSERT_EQ(posts.size(), 200u);
  for (auto &p : posts) {
    EXPECT_EQ(p.msg, static_cast<UINT>(kNotifyMsg));
    EXPECT_EQ(p.lParam, 0);
    EXPECT_FALSE(p.fromTestThread);
  }
  int seen = 0;
  long code;
  LONG_PTR p1, p2;
  int perThread[4] = {};
  while (m_events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
    EXPECT_EQ(code, EC_DEVICE_LOST);
    ASSERT_GE(p2, 0);
    ASSERT_LT(p2, 4);
    ++perThread[p2];
    ++seen;
  }
  EXPECT_EQ(seen, 200);
  for (int n : perThread) EXPECT_EQ(n, 50);

  ASSERT_EQ(m_events->SetNotifyWindow(0, 0, 0), S_OK);
  EXPECT_EQ(raw->NotifyEvent(EC_DEVICE_LOST, 0, 1), S_OK);
  EXPECT_EQ(RecordedPosts().size(), 200u);  // queued, not posted
  ASSERT_EQ(m_events->GetEvent(&code, &p1, &p2, 0), S_OK);
  EXPECT_EQ(p2, 1);

  ASSERT_EQ(m_graph->RemoveFilter(source.Get()), S_OK);
  EXPECT_EQ(raw->NotifyEvent(EC_DEVICE_LOST, 0, 0), S_FALSE);  // out of the graph: nobody hears
}

TEST_F(GraphTest, AFailedStartReturnsTheErrorAndQueuesAnAbort) {
  auto source = Hold(new CBrokenSourceFilter);
  ASSERT_EQ(m_graph->AddFilter(source.Get(), u"Source"), S_OK);
  ComPtr<IFileSinkFilter> sink;
  ASSERT_EQ(CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER, IID_IFileSinkFilter,
                             sink.OutVoid()),
            S_OK);
  ComPtr<IBaseFilter> writer;
  sink->QueryInterface(IID_IBaseFilter, writer.OutVoid());
  ASSERT_EQ(m_graph->AddFilter(writer.Get(), u"File Writer"), S_OK);
  ASSERT_EQ(sink->SetFileName(Wide(m_dir.File("out.bin")).c_str(), nullptr), S_OK);
  ComPtr<IPin> out;
  ASSERT_EQ(source->FindPin(u"Out", out.Out()), S_OK);
  ASSERT_EQ(m_graph->Render(out.Get()), S_OK);

  HRESULT hr = m_control->Run();
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(hr, VFW_E_NOT_FOUND);
  OAFilterState state = -1;
  m_control->GetState(0, &state);
  EXPECT_EQ(state, State_Stopped);
  long code = 0;
  LONG_PTR p1 = 0, p2 = 0;
  ASSERT_EQ(m_events->GetEvent(&code, &p1, &p2, 0), S_OK);
  EXPECT_EQ(code, EC_ERRORABORT);
  EXPECT_EQ(static_cast<HRESULT>(p1), VFW_E_NOT_FOUND);
}

TEST_F(GraphTest, FileWriterNeverWritesThroughALinkAndOverwritesCleanly) {
  auto source = Hold(new CToneSourceFilter(440.0, false, 10));
  ASSERT_EQ(m_graph->AddFilter(source.Get(), u"Audio Capture"), S_OK);

  // A link planted where the temporary file goes.
  std::string victim = m_dir.File("victim.txt"), link = m_dir.File("kqzttemp.wav");
  { std::ofstream(victim) << "precious"; }
  ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
  AddWriterChain(source.Get(), link);
  EXPECT_EQ(m_control->Run(), E_ACCESSDENIED);
  std::string content;
  std::getline(std::ifstream(victim), content);
  EXPECT_EQ(content, "precious");
  RemoveByName(u"WAV Dest");
  RemoveByName(u"File Writer");

  // Without the overwrite mode an existing file is left alone.
  std::string existing = m_dir.File("existing.wav");
  { std::ofstream(existing) << "keep me"; }
  AddWriterChain(source.Get(), existing, 0);
  EXPECT_TRUE(FAILED(m_control->Run()));
  std::getline(std::ifstream(existing), content);
  EXPECT_EQ(content, "keep me");
  RemoveByName(u"WAV Dest");
  RemoveByName(u"File Writer");

  // With it, a longer old file leaves no tail behind.
  { std::ofstream(existing) << std::string(1 << 20, 'x'); }
  AddWriterChain(source.Get(), existing);
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  long code = 0;
  LONG_PTR p1, p2;
  ASSERT_EQ(m_events->GetEvent(&code, &p1, &p2, 30000), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  m_control->Stop();
  WavInfo w = ReadWav(existing);
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.dataSize, 10u * 1024u * 4u);
  EXPECT_EQ(w.chunksEnd, w.fileSize);
  RemoveByName(u"WAV Dest");
  RemoveByName(u"File Writer");

  // A file name is needed, and a mode the writer knows.
  ComPtr<IFileSinkFilter2> sink;
  ASSERT_EQ(CoCreateInstance(CLSID_FileWriter, nullptr, 3, IID_IFileSinkFilter2, sink.OutVoid()),
            S_OK);
  EXPECT_EQ(sink->SetFileName(u"", nullptr), E_INVALIDARG);
  EXPECT_EQ(sink->SetMode(0x2), E_INVALIDARG);

  // A folder that does not exist.
  AddWriterChain(source.Get(), m_dir.File("no/such/folder/x.wav"));
  EXPECT_EQ(m_control->Run(), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
}

TEST_F(GraphTest, AGraphWithoutVideoAnswersTheVideoInterfacesWithNoInterface) {
  ComPtr<IVideoWindow> vw;
  ComPtr<IBasicVideo> bv;
  ComPtr<IBasicAudio> ba;
  ComPtr<IMediaSeeking> ms;
  // Always there, as callers expect, but without a video stream they say so.
  ASSERT_EQ(m_graph->QueryInterface(IID_IVideoWindow, vw.OutVoid()), S_OK);
  ASSERT_EQ(m_graph->QueryInterface(IID_IBasicVideo, bv.OutVoid()), S_OK);
  ASSERT_EQ(m_graph->QueryInterface(IID_IBasicAudio, ba.OutVoid()), S_OK);
  ASSERT_EQ(m_graph->QueryInterface(IID_IMediaSeeking, ms.OutVoid()), S_OK);
  long v = 0, w = 0, h = 0;
  EXPECT_EQ(vw->get_Visible(&v), E_NOINTERFACE);
  EXPECT_EQ(vw->put_Owner(0), E_NOINTERFACE);
  EXPECT_EQ(bv->GetVideoSize(&w, &h), E_NOINTERFACE);
  EXPECT_EQ(ba->get_Volume(&v), E_NOTIMPL);

  LONGLONG t = 0;
  EXPECT_EQ(ms->GetDuration(&t), E_NOTIMPL);
  EXPECT_EQ(ms->GetStopPosition(&t), E_NOTIMPL);
  EXPECT_EQ(ms->IsFormatSupported(&TIME_FORMAT_MEDIA_TIME), S_OK);
  EXPECT_EQ(ms->IsFormatSupported(&TIME_FORMAT_FRAME), S_FALSE);
  EXPECT_TRUE(FAILED(ms->SetTimeFormat(&TIME_FORMAT_FRAME)));
  EXPECT_EQ(ms->SetRate(1.0), S_OK);
  EXPECT_EQ(ms->SetRate(0.0), E_INVALIDARG);
  void *p = nullptr;
  EXPECT_EQ(m_graph->QueryInterface(IID_IBaseFilter, &p), E_NOINTERFACE);
}

TEST_F(GraphTest, CaptureGraphBuilderHoldsItsGraph) {
  ComPtr<ICaptureGraphBuilder2> builder;
  ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr,
                             CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                             IID_ICaptureGraphBuilder2, builder.OutVoid()),
            S_OK);
  ComPtr<IGraphBuilder> got;
  EXPECT_EQ(builder->GetFiltergraph(got.Out()), E_UNEXPECTED);
  EXPECT_EQ(builder->SetFiltergraph(nullptr), E_POINTER);
  ASSERT_EQ(builder->SetFiltergraph(m_graph.Get()), S_OK);
  EXPECT_EQ(builder->SetFiltergraph(m_graph.Get()), E_UNEXPECTED);
  IGraphBuilder *raw = m_graph.Get();
  m_events.Reset();
  m_control.Reset();
  m_graph.Reset();  // the builder's reference keeps the graph
  ASSERT_EQ(builder->GetFiltergraph(got.Out()), S_OK);
  EXPECT_EQ(got.Get(), raw);
}

}  // namespace
