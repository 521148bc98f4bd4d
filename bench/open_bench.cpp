// What opening a song costs: the length probe, then the player's graph on
// the file (RenderFile) and its first Pause, which starts the synthesiser
// and loads the SoundFont, into a private sound server's null output. The
// first open of the process is reported apart from the later ones.
#include <gst/gst.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "platform/com/olestr.h"
#include "platform/dshow/dshow.h"
#include "tests/support/private_pulse.h"

using namespace quavix::bench;

namespace {

constexpr int kLaterOpens = 20;

struct OpenTimes {
  bool ok = false;
  double probeMs = 0;   // throw-away graph, stop position
  double renderMs = 0;  // the player's graph: RenderFile
  double pauseMs = 0;   // Pause until the graph reports paused
  double Total() const { return probeMs + renderMs + pauseMs; }
};

OpenTimes OpenSong(const std::string &path) {
  OpenTimes t;
  std::u16string wide = Utf8ToUtf16(path);
  double a = NowSeconds();
  {
    IGraphBuilder *probe = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void **>(&probe))))
      return t;
    HRESULT hr = probe->RenderFile(wide.c_str(), nullptr);
    IMediaSeeking *seeking = nullptr;
    LONGLONG stop = 0;
    if (SUCCEEDED(hr))
      hr = probe->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void **>(&seeking));
    if (SUCCEEDED(hr)) hr = seeking->GetStopPosition(&stop);
    if (seeking) seeking->Release();
    probe->Release();
    if (FAILED(hr)) return t;
  }
  double b = NowSeconds();
  IGraphBuilder *graph = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                              reinterpret_cast<void **>(&graph))))
    return t;
  IMediaControl *control = nullptr;
  graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&control));
  HRESULT hr = graph->RenderFile(wide.c_str(), nullptr);
  double c = NowSeconds();
  OAFilterState state = -1;
  if (SUCCEEDED(hr) && control) {
    hr = control->Pause();
    if (SUCCEEDED(hr)) hr = control->GetState(10000, &state);
  }
  double d = NowSeconds();
  t.ok = SUCCEEDED(hr) && hr != VFW_S_STATE_INTERMEDIATE && state == State_Paused;
  t.probeMs = (b - a) * 1e3;
  t.renderMs = (c - b) * 1e3;
  t.pauseMs = (d - c) * 1e3;
  if (control) {
    control->Stop();
    control->Release();
  }
  graph->Release();
  return t;
}

}  // namespace

int main() {
  std::vector<std::string> songs = BenchSongs();
  if (songs.empty()) {
    std::fprintf(stderr, "no songs found (install openttd-openmsx or set QUAVIX_BENCH_SONGS)\n");
    return 2;
  }
  ScratchDir scratch;
  setenv("XDG_CONFIG_HOME", scratch.path().c_str(), 1);
  quavix::test::PrivatePulse pulse;
  std::string error;
  if (!pulse.Start({{"bench_out", "Bench Output"}}, &error)) {
    std::fprintf(stderr, "cannot start a private sound server: %s\n", error.c_str());
    return 2;
  }

  double initStart = NowSeconds();
  gst_init(nullptr, nullptr);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  double initMs = (NowSeconds() - initStart) * 1e3;

  std::printf("%-4s %-26s %9s %9s %9s %9s\n", "open", "song", "probe ms", "render ms", "pause ms",
              "total ms");
  OpenTimes first = OpenSong(songs[0]);
  std::printf("%-4s %-26.26s %9.2f %9.2f %9.2f %9.2f%s\n", "1st", BaseName(songs[0]).c_str(),
              first.probeMs, first.renderMs, first.pauseMs, first.Total(),
              first.ok ? "" : "  FAILED");
  std::vector<double> later, laterPause;
  int failed = first.ok ? 0 : 1;
  for (int i = 0; i < kLaterOpens; ++i) {
    const std::string &song = songs[(i + 1) % songs.size()];
    OpenTimes t = OpenSong(song);
    if (!t.ok) ++failed;
    later.push_back(t.Total());
    laterPause.push_back(t.pauseMs);
    std::printf("%-4d %-26.26s %9.2f %9.2f %9.2f %9.2f%s\n", i + 2, BaseName(song).c_str(),
                t.probeMs, t.renderMs, t.pauseMs, t.Total(), t.ok ? "" : "  FAILED");
  }
  std::printf("\nGStreamer and COM start-up before the first open: %.1f ms (not counted)\n",
              initMs);
  std::printf("first open:  %.1f ms   goal: < 300 ms  %s\n", first.Total(),
              Verdict(first.ok && first.Total() < 300));
  std::printf("later opens: median %.1f ms, worst %.1f ms   goal: < 50 ms  %s\n", Median(later),
              Max(later), Verdict(failed == 0 && Max(later) < 50));
  std::printf("failed opens: %d\n", failed);

  Figures f;
  f.Add("open_first_total", first.Total(), "ms");
  f.Add("open_first_pause", first.pauseMs, "ms");
  f.Add("open_later_median", Median(later), "ms");
  f.Add("open_later_worst", Max(later), "ms");
  f.Add("open_later_pause_median", Median(laterPause), "ms");
  f.Add("open_failures", failed, "opens");
  f.Print();
  CoUninitialize();
  pulse.Stop();
  return 0;
}
