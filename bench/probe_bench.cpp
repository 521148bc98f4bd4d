// How fast and how exact the song length probe is: the program's probe (a
// throw-away filter graph: RenderFile, then the stop position) and the MIDI
// reader alone, against python3-mido's MidiFile.length (the independent
// reference) and GStreamer's own discovery of the same files.
#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "platform/com/olestr.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/midi/midi_song.h"

using namespace quavix::bench;

namespace {

constexpr int kRepeats = 7;
constexpr int kDiscoverRepeats = 3;

// The program's probe: a graph of its own on the file, rendered, asked for
// its stop position and released; never run.
bool GraphProbe(const std::string &path, LONGLONG *out) {
  IGraphBuilder *graph = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                              reinterpret_cast<void **>(&graph))) ||
      !graph)
    return false;
  std::u16string wide = Utf8ToUtf16(path);
  if (FAILED(graph->RenderFile(wide.c_str(), nullptr))) {
    graph->Release();
    return false;
  }
  IMediaSeeking *seeking = nullptr;
  if (FAILED(graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void **>(&seeking)))) {
    graph->Release();
    return false;
  }
  LONGLONG stop = 0;
  HRESULT hr = seeking->GetStopPosition(&stop);
  seeking->Release();
  graph->Release();
  if (FAILED(hr)) return false;
  *out = stop;
  return true;
}

// GStreamer's discovery of the file, as gst-discoverer-1.0 does it: a new
// discoverer per file. Returns the reported duration in seconds (-1 when
// none) and the time it took.
double Discover(const std::string &path, double *seconds) {
  double start = NowSeconds();
  double duration = -1;
  GError *err = nullptr;
  GstDiscoverer *disc = gst_discoverer_new(10 * GST_SECOND, &err);
  if (err) g_clear_error(&err);
  gchar *uri = gst_filename_to_uri(path.c_str(), nullptr);
  if (disc && uri) {
    GstDiscovererInfo *info = gst_discoverer_discover_uri(disc, uri, &err);
    if (err) g_clear_error(&err);
    if (info) {
      GstClockTime d = gst_discoverer_info_get_duration(info);
      if (GST_CLOCK_TIME_IS_VALID(d)) duration = static_cast<double>(d) / GST_SECOND;
      gst_discoverer_info_unref(info);
    }
  }
  g_free(uri);
  if (disc) g_object_unref(disc);
  *seconds = NowSeconds() - start;
  return duration;
}

struct MidoResult {
  double length = -1;
  double seconds = 0;
};

std::map<std::string, MidoResult> RunMido(const std::vector<std::string> &songs, bool *ran) {
  std::map<std::string, MidoResult> out;
  std::vector<std::string> argv = {"/usr/bin/python3", QUAVIX_BENCH_SOURCE_DIR "/mido_lengths.py",
                                   std::to_string(kRepeats)};
  argv.insert(argv.end(), songs.begin(), songs.end());
  ChildRun r = RunChild(argv);
  *ran = r.started && r.exitCode == 0;
  std::istringstream in(r.output);
  std::string first, second, path;
  while (in >> first >> second && std::getline(in >> std::ws, path)) {
    if (first == "error") continue;
    out[path] = {std::atof(first.c_str()), std::atof(second.c_str())};
  }
  return out;
}

}  // namespace

int main() {
  gst_init(nullptr, nullptr);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // Measuring must never reach a sound server: point the client at nothing.
  setenv("PULSE_SERVER", "unix:/nonexistent/quavix-bench", 1);

  std::vector<std::string> songs = BenchSongs();
  if (songs.empty()) {
    std::fprintf(stderr, "no songs found (install openttd-openmsx or set QUAVIX_BENCH_SONGS)\n");
    return 2;
  }

  // The very first probe pays for loading GStreamer's registry and the
  // graph classes; it is reported on its own.
  LONGLONG firstLength = 0;
  double t0 = NowSeconds();
  bool firstOk = GraphProbe(songs[0], &firstLength);
  double firstProbe = NowSeconds() - t0;

  bool midoRan = false;
  std::map<std::string, MidoResult> mido = RunMido(songs, &midoRan);

  std::vector<double> probeMedians, readerMedians, probeAll, readerAll, midoTimes, discoverTimes;
  std::vector<double> probeRatioDiscover, probeRatioMido;
  double worstDiffMs = 0, worstDiscoverDiffMs = 0;
  std::string worstDiffSong, worstDiscoverSong;
  int failures = 0, compared = 0;

  std::printf("%-22s %10s %10s %9s %9s %9s %11s %10s %10s\n", "song", "length s", "mido s",
              "diff ms", "probe ms", "reader ms", "discover ms", "disc len s", "disc/probe");
  for (const auto &song : songs) {
    std::vector<double> probe, reader;
    LONGLONG graphLength = -1;
    REFERENCE_TIME readerLength = -1;
    for (int i = 0; i < kRepeats; ++i) {
      double a = NowSeconds();
      std::string error;
      auto parsed = ReadMidiFile(song, &error);
      double b = NowSeconds();
      if (parsed) readerLength = parsed->Length();
      parsed.reset();
      LONGLONG len = -1;
      double c = NowSeconds();
      bool ok = GraphProbe(song, &len);
      double d = NowSeconds();
      if (!ok) {
        ++failures;
        continue;
      }
      graphLength = len;
      reader.push_back((b - a) * 1e3);
      probe.push_back((d - c) * 1e3);
    }
    std::vector<double> disc;
    double discoveredLength = -1;
    for (int i = 0; i < kDiscoverRepeats; ++i) {
      double s = 0;
      discoveredLength = Discover(song, &s);
      disc.push_back(s * 1e3);
    }
    probeAll.insert(probeAll.end(), probe.begin(), probe.end());
    readerAll.insert(readerAll.end(), reader.begin(), reader.end());
    double pm = Median(probe), rm = Median(reader), dm = Median(disc);
    probeMedians.push_back(pm);
    readerMedians.push_back(rm);
    discoverTimes.push_back(dm);
    if (pm > 0) probeRatioDiscover.push_back(dm / pm);

    double ours = graphLength / 1e7;
    double ref = -1, diffMs = NAN;
    auto it = mido.find(song);
    if (it != mido.end()) {
      ref = it->second.length;
      midoTimes.push_back(it->second.seconds * 1e3);
      if (pm > 0) probeRatioMido.push_back(it->second.seconds * 1e3 / pm);
      diffMs = (ours - ref) * 1e3;
      ++compared;
      if (std::fabs(diffMs) >= std::fabs(worstDiffMs)) {
        worstDiffMs = diffMs;
        worstDiffSong = BaseName(song);
      }
      if (readerLength >= 0 && std::llabs(readerLength - graphLength) > 0)
        std::printf("  note: reader and graph disagree on %s\n", BaseName(song).c_str());
      if (discoveredLength >= 0 &&
          std::fabs(discoveredLength - ref) * 1e3 >= std::fabs(worstDiscoverDiffMs)) {
        worstDiscoverDiffMs = (discoveredLength - ref) * 1e3;
        worstDiscoverSong = BaseName(song);
      }
    }
    std::printf("%-22.22s %10.3f %10.3f %9.3f %9.3f %9.3f %11.1f %10.3f %10.0f\n",
                BaseName(song).c_str(), ours, ref, diffMs, pm, rm, dm, discoveredLength,
                pm > 0 ? dm / pm : 0.0);
  }

  double probeMedian = Median(probeAll), probeWorst = Max(probeAll);
  double readerMedian = Median(readerAll), readerWorst = Max(readerAll);
  double discoverMedian = Median(discoverTimes), midoMedian = Median(midoTimes);
  double ratioDiscover = Median(probeRatioDiscover),
         ratioDiscoverMin = probeRatioDiscover.empty() ? 0 : 1e300;
  for (double r : probeRatioDiscover) ratioDiscoverMin = std::min(ratioDiscoverMin, r);

  std::printf("\n%zu songs, %d probes each; %d failed probes; %d songs compared with mido%s\n",
              songs.size(), kRepeats, failures, compared,
              midoRan ? "" : " (python3-mido did not run)");
  std::printf("first probe in the process: %.2f ms (%s)\n", firstProbe * 1e3,
              firstOk ? "ok" : "failed");
  std::printf("graph probe:   median %.3f ms, worst %.3f ms   goal: median < 1 ms  %s\n",
              probeMedian, probeWorst, Verdict(probeMedian < 1.0));
  std::printf("reader alone:  median %.3f ms, worst %.3f ms\n", readerMedian, readerWorst);
  std::printf("mido:          median %.3f ms per song (read + length)  -> %.0fx our probe\n",
              midoMedian, Median(probeRatioMido));
  std::printf(
      "GStreamer discovery: median %.1f ms -> %.0fx our probe (smallest ratio %.0fx)   goal: >= "
      "100x  %s\n",
      discoverMedian, ratioDiscover, ratioDiscoverMin, Verdict(ratioDiscoverMin >= 100));
  std::printf("exactness: worst |probe - mido| = %.3f ms (%s)   goal: <= 1 ms on every song  %s\n",
              std::fabs(worstDiffMs), worstDiffSong.c_str(),
              Verdict(compared == static_cast<int>(songs.size()) && std::fabs(worstDiffMs) <= 1.0));
  std::printf("GStreamer discovery's worst length error against mido: %.0f ms (%s)\n",
              worstDiscoverDiffMs, worstDiscoverSong.c_str());

  Figures f;
  f.Add("probe_graph_median", probeMedian, "ms");
  f.Add("probe_graph_worst", probeWorst, "ms");
  f.Add("probe_graph_first_in_process", firstProbe * 1e3, "ms");
  f.Add("probe_reader_median", readerMedian, "ms");
  f.Add("probe_reader_worst", readerWorst, "ms");
  f.Add("mido_length_median", midoMedian, "ms");
  f.Add("gst_discover_median", discoverMedian, "ms");
  f.Add("ratio_discover_over_probe_median", ratioDiscover, "x");
  f.Add("ratio_discover_over_probe_min", ratioDiscoverMin, "x");
  f.Add("ratio_mido_over_probe_median", Median(probeRatioMido), "x");
  f.Add("probe_worst_diff_vs_mido", std::fabs(worstDiffMs), "ms");
  f.Add("gst_discover_worst_diff_vs_mido", std::fabs(worstDiscoverDiffMs), "ms");
  f.Add("songs_compared_with_mido", compared, "songs");
  f.Add("probe_failures", failures, "probes");
  f.Print();
  CoUninitialize();
  return 0;
}
