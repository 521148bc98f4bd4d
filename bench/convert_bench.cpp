// What a conversion costs and how faithful its result is. Three songs, each
// cut to 20 s, go through the real graphs on a private sound server: the
// player's graph (RenderFile: our MIDI source on FluidSynth into pulsesink
// on a null output) plays while the recording graph (the capture filter on
// that output's monitor -> WAV Dest writer -> File Writer) records; when
// the player's graph completes (the excerpt and its release tail have been
// heard) the recording graph drains (StopWhenReady), as the program does.
// The WMA is then decoded and compared with FluidSynth's own offline
// rendering of the same 20-s excerpt.
#include <dirent.h>
#include <gst/gst.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <algorithm>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/audio_analysis.h"
#include "bench/bench_common.h"
#include "bench/gst_decode.h"
#include "platform/com/olestr.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/midi/midi_source.h"
#include "settings/writer_handoff.h"
#include "tests/support/capture_device.h"
#include "tests/support/private_pulse.h"

using namespace quavix::bench;

namespace {

constexpr double kExcerptSeconds = 20.0;
constexpr int kRate = 44100;
constexpr float kSoundThreshold = 0.00316f;  // -50 dBFS: where a note has begun
constexpr float kDigitalSilence = 0.00002f;  // below one step of 16-bit audio
constexpr double kReferenceFloor = 0.00316;  // the reference is playing here
constexpr const char *kSinkName = "bench_out";
constexpr const char *kSinkDescription = "Bench Output";
// An output nobody has played into or recorded yet, for a run right after
// its device appeared.
constexpr const char *kFreshSinkName = "bench_fresh";
constexpr const char *kFreshSinkDescription = "Bench Fresh Output";
const CLSID kWriterClass = MakeGuid("3c78b8e2-6c4d-11d1-ade2-0000f875a888");

template <class T>
void SafeRelease(T *&p) {
  if (p) p->Release();
  p = nullptr;
}

// CPU seconds of the sound server: the children of this process that make
// it (pulseaudio; or pipewire, wireplumber and pipewire-pulse).
double SoundServerCpuSeconds() {
  DIR *proc = opendir("/proc");
  if (!proc) return 0;
  double total = 0;
  long ticks = sysconf(_SC_CLK_TCK);
  while (dirent *e = readdir(proc)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    auto close = line.rfind(')');
    auto open = line.find('(');
    if (close == std::string::npos || open == std::string::npos) continue;
    std::string comm = line.substr(open + 1, close - open - 1);
    std::istringstream rest(line.substr(close + 2));
    std::vector<std::string> f;
    std::string tok;
    while (rest >> tok) f.push_back(tok);
    // f[0] = state, f[1] = ppid, f[11] = utime, f[12] = stime
    const bool server = comm == "pulseaudio" || comm == "pipewire" || comm == "wireplumber" ||
                        comm == "pipewire-pulse";
    if (f.size() < 13 || !server || std::atol(f[1].c_str()) != getpid()) continue;
    total += static_cast<double>(std::atoll(f[11].c_str()) + std::atoll(f[12].c_str())) / ticks;
  }
  closedir(proc);
  return total;
}

IPin *FirstOutputPin(IBaseFilter *f) {
  IEnumPins *e = nullptr;
  if (FAILED(f->EnumPins(&e))) return nullptr;
  IPin *p = nullptr;
  IPin *found = nullptr;
  while (!found && e->Next(1, &p, nullptr) == S_OK) {
    PIN_DIRECTION d = PINDIR_INPUT;
    if (SUCCEEDED(p->QueryDirection(&d)) && d == PINDIR_OUTPUT)
      found = p;
    else
      SafeRelease(p);
  }
  e->Release();
  return found;
}

struct Conversion {
  std::string song;
  std::string wma;
  bool ok = false;
  std::string failure;
  double cpuSeconds = 0;         // this process
  double serverCpuSeconds = 0;   // the sound server
  double wallSeconds = 0;        // from opening the song to the drained recording
  double playedSeconds = 0;      // how long the song played
  double stopSeconds = 0;        // StopWhenReady
  double prepareSeconds = 0;     // opening the song and inserting the writer chain
  double captureRunSeconds = 0;  // IMediaControl::Run of the recording graph
  double playerRunSeconds = 0;   // IMediaControl::Run of the player
};

// One conversion run of `seconds`, recorded through the capture filter.
Conversion Convert(IGraphBuilder *capture, IMediaControl *captureControl,
                   IBaseFilter *captureFilter, const std::string &song, const std::string &excerpt,
                   const std::string &wma, const std::string &tempWav, double seconds) {
  Conversion c;
  c.song = song;
  c.wma = wma;
  double cpu0 = ProcessCpuSeconds(), server0 = SoundServerCpuSeconds(), wall0 = NowSeconds();

  IGraphBuilder *player = nullptr;
  IMediaControl *playerControl = nullptr;
  IBaseFilter *wavDest = nullptr;
  IBaseFilter *fileWriter = nullptr;
  IFileSinkFilter2 *sink = nullptr;
  IPin *out = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void **>(&player));
  if (SUCCEEDED(hr))
    hr = player->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&playerControl));
  if (SUCCEEDED(hr)) hr = player->RenderFile(Utf8ToUtf16(excerpt).c_str(), nullptr);
  if (SUCCEEDED(hr)) hr = playerControl->Pause();  // the player is loaded before Convert
  if (SUCCEEDED(hr)) {
    OAFilterState st;
    playerControl->GetState(10000, &st);
  }
  if (FAILED(hr)) c.failure = "player graph";

  if (SUCCEEDED(hr) && !WriteWriterHandOff(wma.c_str(), 0)) {
    hr = E_FAIL;
    c.failure = "writer hand-off";
  }
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(kWriterClass, nullptr, 3, IID_IBaseFilter,
                          reinterpret_cast<void **>(&wavDest));
    if (FAILED(hr)) c.failure = "writer module (vorlinta-wmawriter.so beside the program)";
  }
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(CLSID_FileWriter, nullptr, 3, IID_IFileSinkFilter2,
                          reinterpret_cast<void **>(&sink));
  if (SUCCEEDED(hr))
    hr = sink->QueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&fileWriter));
  if (SUCCEEDED(hr)) hr = capture->AddFilter(wavDest, u"WAV Dest");
  if (SUCCEEDED(hr)) hr = capture->AddFilter(fileWriter, u"File Writer");
  if (SUCCEEDED(hr)) {
    sink->SetMode(AM_FILE_OVERWRITE);
    hr = sink->SetFileName(Utf8ToUtf16(tempWav).c_str(), nullptr);
  }
  if (SUCCEEDED(hr)) {
    out = FirstOutputPin(captureFilter);
    hr = out ? capture->Render(out) : E_FAIL;
  }
  if (FAILED(hr) && c.failure.empty()) c.failure = "writer chain";

  double run0 = NowSeconds();
  c.prepareSeconds = run0 - wall0;
  if (SUCCEEDED(hr)) hr = captureControl->Run();
  if (FAILED(hr) && c.failure.empty()) c.failure = "recording graph did not run";
  double playStart = NowSeconds();
  c.captureRunSeconds = playStart - run0;
  if (SUCCEEDED(hr)) hr = playerControl->Run();
  c.playerRunSeconds = NowSeconds() - playStart;
  if (FAILED(hr) && c.failure.empty()) c.failure = "player did not run";
  if (SUCCEEDED(hr)) {
    // The program ends a run on the player's completion, which comes once
    // the song's end has been heard; a run timed by the wall clock would
    // cut off what the output still had to play.
    IMediaEvent *events = nullptr;
    long code = 0;
    if (SUCCEEDED(player->QueryInterface(IID_IMediaEvent, reinterpret_cast<void **>(&events)))) {
      if (events->WaitForCompletion(static_cast<long>((seconds + 10) * 1000), &code) != S_OK &&
          c.failure.empty())
        c.failure = "the player did not complete";
      events->Release();
    }
  }
  c.playedSeconds = NowSeconds() - playStart;
  if (playerControl) playerControl->Stop();
  double stop0 = NowSeconds();
  HRESULT stopHr = captureControl->StopWhenReady();
  c.stopSeconds = NowSeconds() - stop0;
  if (wavDest) capture->RemoveFilter(wavDest);
  if (fileWriter) capture->RemoveFilter(fileWriter);
  SafeRelease(out);
  SafeRelease(sink);
  SafeRelease(fileWriter);
  SafeRelease(wavDest);
  SafeRelease(playerControl);
  SafeRelease(player);
  c.wallSeconds = NowSeconds() - wall0;
  c.cpuSeconds = ProcessCpuSeconds() - cpu0;
  c.serverCpuSeconds = SoundServerCpuSeconds() - server0;
  c.ok = SUCCEEDED(hr) && SUCCEEDED(stopHr);
  if (SUCCEEDED(hr) && FAILED(stopHr)) c.failure = "StopWhenReady";
  return c;
}

std::vector<std::string> PickSongs(const std::vector<std::string> &all) {
  // A format 0 song, a format 1 song with tempo changes, and a busy one.
  std::vector<std::string> wanted = {"5432gone_redfarn.mid", "be_sharp_bw_redfarn.mid",
                                     "tttheme2.mid"};
  std::vector<std::string> picked;
  for (const auto &w : wanted)
    for (const auto &s : all)
      if (BaseName(s) == w) picked.push_back(s);
  for (size_t i = 0; picked.size() < 3 && i < all.size(); ++i)
    if (std::find(picked.begin(), picked.end(), all[i]) == picked.end()) picked.push_back(all[i]);
  return picked;
}

struct Quality {
  bool ok = false;
  std::string failure;
  double wmaSeconds = 0;
  double leadWma = -1, leadRef = -1;
  double correlation = 0;
  double lagMs = 0;
  double missingEnd = 0;  // seconds of the excerpt's end not in the WMA
  std::vector<Gap> dropouts;
  double refCpuPerSecond = 0;  // FluidSynth's offline render
  double refDynCpuPerSecond = 0;
};

Quality Compare(const Conversion &c, const std::string &scratch, int index) {
  Quality q;
  std::string excerpt = scratch + "/excerpt" + std::to_string(index) + ".mid";
  std::string ref = scratch + "/reference" + std::to_string(index) + ".wav";
  // FluidSynth renders at the gain our source uses, so both are equally loud.
  char gain[32];
  std::snprintf(gain, sizeof gain, "%.2f", kMidiDefaultGain);
  ChildRun render = RunChild({"fluidsynth", "-ni", "-g", gain, "-F", ref, "-r",
                              std::to_string(kRate), kDefaultSoundFontPath, excerpt});
  ChildRun renderDyn =
      RunChild({"fluidsynth", "-ni", "-g", gain, "-o", "synth.dynamic-sample-loading=1", "-F",
                scratch + "/dyn.wav", "-r", std::to_string(kRate), kDefaultSoundFontPath, excerpt});
  DecodedAudio refAudio, wmaAudio;
  std::string error;
  if (!render.started || render.exitCode != 0 || !DecodeToMono(ref, kRate, &refAudio, &error)) {
    q.failure = "offline FluidSynth render failed " + error;
    return q;
  }
  q.refCpuPerSecond = render.cpuSeconds / refAudio.Seconds();
  q.refDynCpuPerSecond = renderDyn.cpuSeconds / refAudio.Seconds();
  if (!DecodeToMono(c.wma, kRate, &wmaAudio, &error)) {
    q.failure = "the WMA does not decode: " + error;
    return q;
  }
  q.wmaSeconds = wmaAudio.Seconds();
  q.leadWma = LeadingSilenceSeconds(wmaAudio.mono, kRate, kSoundThreshold);
  q.leadRef = LeadingSilenceSeconds(refAudio.mono, kRate, kSoundThreshold);

  // Alignment first, on fine envelopes (5 ms steps, up to 3 s either way),
  // so the comparison is not blurred by a misalignment of up to half a
  // comparison window. The reference's release tail after the cut is left
  // out.
  const std::size_t fine = kRate / 200;
  const std::size_t excerptEnd = static_cast<std::size_t>((kExcerptSeconds - 0.5) * kRate);
  std::vector<float> refExcerpt(
      refAudio.mono.begin(),
      refAudio.mono.begin() + static_cast<long>(std::min(excerptEnd, refAudio.mono.size())));
  long lagSteps = BestLag(RmsEnvelope(refExcerpt, fine), RmsEnvelope(wmaAudio.mono, fine), 600);
  long lagSamples = lagSteps * static_cast<long>(fine);
  q.lagMs = lagSteps * 5.0;

  // The recording from the matching point on, as long as the excerpt
  // (silence where the recording has nothing: music it lost counts against it).
  std::vector<float> aligned(refExcerpt.size(), 0.0f);
  for (std::size_t i = 0; i < aligned.size(); ++i) {
    long j = static_cast<long>(i) + lagSamples;
    if (j >= 0 && j < static_cast<long>(wmaAudio.mono.size())) aligned[i] = wmaAudio.mono[j];
  }
  // Loudness envelopes in 50 ms windows.
  q.correlation = Pearson(RmsEnvelope(refExcerpt, kRate / 20), RmsEnvelope(aligned, kRate / 20));
  // What the excerpt plays after the WMA's end never made it into the file.
  q.missingEnd = std::max(0.0, kExcerptSeconds + lagSamples / double(kRate) - q.wmaSeconds);

  std::vector<float> wmaExcerpt = wmaAudio.mono;
  std::size_t end = static_cast<std::size_t>(std::max<long>(0, lagSamples)) + excerptEnd;
  if (wmaExcerpt.size() > end) wmaExcerpt.resize(end);
  q.dropouts = FindDropouts(wmaExcerpt, refAudio.mono, lagSamples, kRate / 50, kDigitalSilence,
                            kReferenceFloor);
  q.ok = true;
  return q;
}

// One pass over the songs; figures are named with `prefix`. The program
// adds the device to its recording graph at start-up, seconds before anyone
// can open a song and press Convert: `settleSeconds` stands for that time.
void RunPass(const std::vector<std::string> &songs, const std::string &scratch, const char *device,
             double settleSeconds, const std::string &title, const std::string &prefix,
             Figures *figures) {
  std::printf("\n== %s ==\n", title.c_str());
  // The player plays the excerpt itself, so its run ends where the
  // reference's does; cut before the device joins the graph, so the cutting
  // does not count as the time between the two.
  std::vector<std::string> excerpts;
  for (std::size_t i = 0; i < songs.size(); ++i) {
    excerpts.push_back(scratch + "/excerpt" + std::to_string(i) + ".mid");
    ChildRun cut = RunChild({"/usr/bin/python3", QUAVIX_BENCH_SOURCE_DIR "/midi_excerpt.py",
                             songs[i], excerpts.back(), std::to_string(kExcerptSeconds)},
                            true);
    if (!cut.started || cut.exitCode != 0) {
      std::printf("FAILED: cutting %s with mido: %s\n", songs[i].c_str(), cut.output.c_str());
      figures->Add(prefix + "failures", static_cast<double>(songs.size()), "runs");
      return;
    }
  }
  // The recording graph lives across the runs, as in the program.
  IGraphBuilder *capture = nullptr;
  IMediaControl *captureControl = nullptr;
  IBaseFilter *captureFilter = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                              reinterpret_cast<void **>(&capture))) ||
      FAILED(
          capture->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&captureControl)))) {
    std::printf("FAILED: no filter graph\n");
    SafeRelease(capture);
    figures->Add(prefix + "failures", static_cast<double>(songs.size()), "runs");
    return;
  }
  captureFilter = quavix::test::BindCaptureDevice(device);
  if (!captureFilter || FAILED(capture->AddFilter(captureFilter, u"Audio Capture"))) {
    std::printf("FAILED: the capture device \"%s\" is not listed or cannot be added\n", device);
    SafeRelease(captureFilter);
    SafeRelease(captureControl);
    SafeRelease(capture);
    figures->Add(prefix + "failures", static_cast<double>(songs.size()), "runs");
    return;
  }

  std::vector<Conversion> runs;
  std::this_thread::sleep_for(std::chrono::duration<double>(settleSeconds));
  for (std::size_t i = 0; i < songs.size(); ++i)
    runs.push_back(Convert(capture, captureControl, captureFilter, songs[i], excerpts[i],
                           scratch + "/" + prefix + std::to_string(i) + ".wma",
                           scratch + "/kqzttemp.wav", kExcerptSeconds));
  double peakMiB = PeakResidentMiB();
  SafeRelease(captureFilter);
  SafeRelease(captureControl);
  SafeRelease(capture);

  std::printf("%-24s %7s %7s %8s %6s %7s %7s %7s %7s %6s %6s %7s %5s\n", "song", "cpu/s", "+server",
              "fs cpu/s", "ratio", "overrun", "lead ms", "ref ms", "excess", "corr", "lag ms",
              "cut s", "drops");
  std::vector<double> ratios, overruns, excess, correlations, cpuPerSec, serverPerSec, refPerSec,
      refDynPerSec, missing;
  int dropouts = 0, failures = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const Conversion &c = runs[i];
    if (!c.ok) {
      std::printf("%-24.24s FAILED: %s\n", BaseName(c.song).c_str(), c.failure.c_str());
      ++failures;
      continue;
    }
    Quality q = Compare(c, scratch, static_cast<int>(i));
    if (!q.ok) {
      std::printf("%-24.24s FAILED: %s\n", BaseName(c.song).c_str(), q.failure.c_str());
      ++failures;
      continue;
    }
    double cps = c.cpuSeconds / c.playedSeconds;
    double sps = c.serverCpuSeconds / c.playedSeconds;
    double ratio = q.refCpuPerSecond > 0 ? cps / q.refCpuPerSecond : 0;
    double overrun = c.wallSeconds - kExcerptSeconds;
    double extraLead = (q.leadWma - q.leadRef) * 1e3;
    cpuPerSec.push_back(cps);
    serverPerSec.push_back(sps);
    refPerSec.push_back(q.refCpuPerSecond);
    refDynPerSec.push_back(q.refDynCpuPerSecond);
    ratios.push_back(ratio);
    overruns.push_back(overrun);
    excess.push_back(extraLead);
    correlations.push_back(q.correlation);
    missing.push_back(q.missingEnd);
    dropouts += static_cast<int>(q.dropouts.size());
    std::printf("%-24.24s %7.3f %7.3f %8.3f %6.2f %7.2f %7.0f %7.0f %7.0f %6.3f %6.0f %7.2f %5zu\n",
                BaseName(c.song).c_str(), cps, sps, q.refCpuPerSecond, ratio, overrun,
                q.leadWma * 1e3, q.leadRef * 1e3, extraLead, q.correlation, q.lagMs, q.missingEnd,
                q.dropouts.size());
    for (const Gap &g : q.dropouts)
      std::printf("    dropout at %.3f s for %.1f ms\n", double(g.start) / kRate,
                  g.length * 1e3 / kRate);
    std::printf(
        "    WMA %.2f s decoded; opening and writer chain %.0f ms, recording Run %.0f ms, player "
        "Run %.0f ms, "
        "StopWhenReady %.0f ms;\n    FluidSynth with dynamic sample loading %.3f cpu/s\n",
        q.wmaSeconds, c.prepareSeconds * 1e3, c.captureRunSeconds * 1e3, c.playerRunSeconds * 1e3,
        c.stopSeconds * 1e3, q.refDynCpuPerSecond);
  }
  double worstCorrelation =
      correlations.empty() ? 0 : *std::min_element(correlations.begin(), correlations.end());
  std::printf("recorded through the capture filter on \"%s\" (monitor of a private null output)\n",
              device);
  std::printf("CPU per second of song (this process): %.3f s; the sound server adds %.3f s\n",
              Median(cpuPerSec), Median(serverPerSec));
  std::printf("  against FluidSynth's offline render: worst ratio %.2f   goal: <= 1.3  %s\n",
              Max(ratios), Verdict(!ratios.empty() && Max(ratios) <= 1.3));
  std::printf("peak resident memory: %.1f MiB   goal: < 120 MB  %s\n", peakMiB,
              Verdict(peakMiB * 1.048576 < 120));
  std::printf("wall time minus song length: worst %.2f s   goal: < 2.5 s  %s\n", Max(overruns),
              Verdict(!overruns.empty() && Max(overruns) < 2.5));
  std::printf("leading silence beyond the offline render's: worst %.0f ms   goal: < 150 ms  %s\n",
              Max(excess), Verdict(!excess.empty() && Max(excess) < 150));
  std::printf("loudness envelope correlation: worst %.3f   goal: >= 0.95  %s\n", worstCorrelation,
              Verdict(!correlations.empty() && worstCorrelation >= 0.95));
  std::printf("music of the excerpt missing at the WMA's end: worst %.2f s\n", Max(missing));
  std::printf("dropouts (> 20 ms of digital silence inside the music): %d   goal: none  %s\n",
              dropouts, Verdict(dropouts == 0 && failures == 0));
  std::printf("failed runs: %d\n", failures);

  figures->Add(prefix + "cpu_per_song_second", Median(cpuPerSec), "s/s");
  figures->Add(prefix + "server_cpu_per_song_second", Median(serverPerSec), "s/s");
  figures->Add(prefix + "fluidsynth_offline_cpu_per_song_second", Median(refPerSec), "s/s");
  figures->Add(prefix + "fluidsynth_offline_dynamic_cpu_per_song_second", Median(refDynPerSec),
               "s/s");
  figures->Add(prefix + "cpu_ratio_worst", Max(ratios), "x");
  figures->Add(prefix + "peak_resident", peakMiB, "MiB");
  figures->Add(prefix + "overrun_worst", Max(overruns), "s");
  figures->Add(prefix + "leading_silence_excess_worst", Max(excess), "ms");
  figures->Add(prefix + "envelope_correlation_worst", worstCorrelation, "r");
  figures->Add(prefix + "missing_at_end_worst", Max(missing), "s");
  figures->Add(prefix + "dropouts", dropouts, "gaps");
  figures->Add(prefix + "failures", failures, "runs");
}

}  // namespace

int main() {
  std::vector<std::string> songs = PickSongs(BenchSongs());
  if (songs.size() < 3) {
    std::fprintf(stderr, "no songs found (install openttd-openmsx or set QUAVIX_BENCH_SONGS)\n");
    return 2;
  }
  ScratchDir scratch;
  setenv("XDG_CONFIG_HOME", scratch.path().c_str(), 1);
  gst_init(nullptr, nullptr);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Figures figures;
  // Both sound servers a desktop runs, one after the other (the
  // PulseAudio figures keep their names); QUAVIX_BENCH_SERVERS=pulseaudio
  // or =pipewire measures one.
  const char *only = std::getenv("QUAVIX_BENCH_SERVERS");
  for (auto kind : {quavix::test::SoundServer::kPulseAudio, quavix::test::SoundServer::kPipeWire}) {
    const bool pipewire = kind == quavix::test::SoundServer::kPipeWire;
    if (only && *only && std::strcmp(only, pipewire ? "pipewire" : "pulseaudio") != 0) continue;
    const std::string server = quavix::test::SoundServerName(kind);
    const std::string prefix = pipewire ? "convert_pipewire_" : "convert_";
    quavix::test::PrivatePulse pulse(kind);
    std::string error;
    if (!pulse.Start({{kSinkName, kSinkDescription}, {kFreshSinkName, kFreshSinkDescription}},
                     &error)) {
      std::fprintf(stderr, "cannot start a private %s: %s\n", server.c_str(), error.c_str());
      return 2;
    }
    RunPass(songs, scratch.path(), kSinkDescription, 3.0,
            server + ", as in the program: the device was added 3 s before the first Convert",
            prefix, &figures);
    // A quick person: Convert about a second after the window appeared.
    RunPass({songs.begin(), songs.begin() + 3}, scratch.path(), kSinkDescription, 1.0,
            server + ", Convert 1 s after the device was added", prefix + "quick_", &figures);
    // A person can hardly press Convert this soon after a device appears, but
    // the case shows what the line's warm-up wait leaves. The player plays
    // into the output that is recorded.
    if (!std::getenv("QUAVIX_BENCH_COLD_ONLY") && pulse.SetDefaultSink(kFreshSinkName))
      RunPass({songs.front()}, scratch.path(), kFreshSinkDescription, 0.0,
              server + ", Convert at once after the device was added",
              prefix + "device_just_added_", &figures);
    pulse.Stop();
  }
  figures.Print();
  CoUninitialize();
  return 0;
}
