// What `vorlinta --convert` costs on the openttd-openmsx songs, beside the
// pipeline a user would script by hand (FluidSynth's own offline render to
// WAV, then ffmpeg to WMA at the same bit rate):
// - speed in times real time, one job pinned to one core;
// - CPU against that hand-made pipeline (a ratio under 1 is cheaper);
// - --jobs 2 against --jobs 1 (wall time);
// - peak memory of the process with one job and with two (the difference is
//   what each further job costs), and where the first job's goes: the
//   program alone, a WAV conversion (no libav), a WMA conversion;
// - the machine's load average before and after, since the machine may be
//   shared and wall times mean little under load.
// The program is the one beside this benchmark (BUILD/vorlinta).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_common.h"

using namespace quavix::bench;
namespace fs = std::filesystem;

namespace {

constexpr const char *kSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

struct Batch {
  ChildRun run;
  double songSeconds = 0;
  int converted = 0;
};

// Sums the song seconds of the report lines of converted songs.
Batch ReadReport(const ChildRun &run) {
  Batch b;
  b.run = run;
  std::size_t at = 0;
  while ((at = run.output.find("\"status\":\"converted\"", at)) != std::string::npos) {
    ++b.converted;
    const std::size_t s = run.output.find("\"song_seconds\":", at);
    if (s != std::string::npos) b.songSeconds += std::atof(run.output.c_str() + s + 15);
    at += 20;
  }
  return b;
}

std::string Fixed(double value, int decimals, const char *unit) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f%s", decimals, value, unit);
  return text;
}

// The 1-minute load average, or -1.
double LoadAverage() {
  std::ifstream in("/proc/loadavg");
  double load = -1;
  in >> load;
  return load;
}

bool HaveProgram(const char *name) {
  return RunChild({"sh", "-c", std::string("command -v ") + name + " >/dev/null"}).exitCode == 0;
}

}  // namespace

int main() {
  const std::string program = fs::path(QUAVIX_BENCH_BINARY_DIR) / "vorlinta";
  const std::vector<std::string> songs = BenchSongs();
  if (songs.empty()) {
    std::fprintf(stderr, "no songs (install openttd-openmsx or set QUAVIX_BENCH_SONGS)\n");
    return 1;
  }
  char pattern[] = "/tmp/quavix-bench-offline-XXXXXX";
  const std::string scratch = mkdtemp(pattern);
  // Neither a display nor a sound server is needed; none is offered.
  const std::vector<std::string> env = {"PULSE_SERVER=unix:/nonexistent",
                                        "DISPLAY=", "QUAVIX_MODULE_DIR=" QUAVIX_BENCH_BINARY_DIR};

  auto batch = [&](const std::string &name, std::vector<std::string> prefix,
                   const std::string &jobs) {
    std::vector<std::string> argv = prefix;
    argv.insert(argv.end(), {program, "--convert", "-q", "--report", "json", "--force", "-j", jobs,
                             "-o", scratch + "/" + name + "/"});
    argv.insert(argv.end(), songs.begin(), songs.end());
    return ReadReport(RunChild(argv, false, env));
  };

  const double loadBefore = LoadAverage();
  std::printf("%zu songs, load average %.2f on %ld cores\n\n", songs.size(), loadBefore,
              sysconf(_SC_NPROCESSORS_ONLN));
  // The scratch cache is empty: the first program to start GStreamer builds
  // its plugin registry, which would count in the first run's time and
  // memory. That run is not measured.
  RunChild(
      {program, "--convert", "-q", "--force", "-f", "wav", "-o", scratch + "/warm-up/", songs[0]},
      false, env);

  std::vector<std::string> oneCore;
  if (HaveProgram("taskset")) oneCore = {"taskset", "-c", "0"};
  const Batch pinned = batch("pinned", oneCore, "1");
  const Batch one = batch("one", {}, "1");
  const Batch two = batch("two", {}, "2");

  // The hand-made pipeline, song by song.
  double refCpu = 0, refWall = 0;
  bool refOk = HaveProgram("fluidsynth") && HaveProgram("ffmpeg");
  for (std::size_t i = 0; refOk && i < songs.size(); ++i) {
    const std::string wav = scratch + "/ref.wav", wma = scratch + "/ref.wma";
    ChildRun synth = RunChild(
        {"fluidsynth", "-ni", "-F", wav, "-r", "44100", "-g", "0.3", kSoundFont, songs[i]});
    ChildRun encode = RunChild(
        {"ffmpeg", "-loglevel", "error", "-y", "-i", wav, "-c:a", "wmav2", "-b:a", "128k", wma});
    refOk = synth.exitCode == 0 && encode.exitCode == 0;
    refCpu += synth.cpuSeconds + encode.cpuSeconds;
    refWall += synth.wallSeconds + encode.wallSeconds;
  }

  // Where the first job's memory goes, on the first song alone.
  auto single = [&](const std::vector<std::string> &args) {
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunChild(argv, false, env);
  };
  const ChildRun alone = single({"--help"});
  const ChildRun wavSong =
      single({"--convert", "-q", "--force", "-f", "wav", "-o", scratch + "/single/", songs[0]});
  const ChildRun wmaSong =
      single({"--convert", "-q", "--force", "-f", "wma", "-o", scratch + "/single/", songs[0]});
  const double loadAfter = LoadAverage();

  std::printf("%-28s %8s %8s %8s %8s %9s\n", "run", "songs", "wall s", "CPU s", "x real",
              "peak MiB");
  for (auto [label, b] : {std::pair{"--jobs 1, one core", &pinned}, std::pair{"--jobs 1", &one},
                          std::pair{"--jobs 2", &two}})
    std::printf("%-28s %8d %8.1f %8.1f %8.1f %9.1f\n", label, b->converted, b->run.wallSeconds,
                b->run.cpuSeconds, b->songSeconds / b->run.wallSeconds, b->run.peakMiB);
  if (refOk)
    std::printf("%-28s %8zu %8.1f %8.1f %8.1f %9s\n", "fluidsynth -F + ffmpeg", songs.size(),
                refWall, refCpu, one.songSeconds / refWall, "-");
  else
    std::printf("fluidsynth or ffmpeg missing or failing: no hand-made pipeline measured\n");

  std::printf(
      "\npeak memory of one song (%s): program alone %.1f MiB, WAV %.1f MiB, WMA %.1f MiB\n",
      BaseName(songs[0]).c_str(), alone.peakMiB, wavSong.peakMiB, wmaSong.peakMiB);
  std::printf("load average %.2f before, %.2f after\n", loadBefore, loadAfter);

  const double xRealTime = pinned.songSeconds / pinned.run.wallSeconds;
  const double cpuRatio = refOk ? one.run.cpuSeconds / refCpu : -1;
  const double speedup = one.run.wallSeconds / two.run.wallSeconds;
  const double perJobMB = (two.run.peakMiB - one.run.peakMiB) * 1.048576;
  std::printf("\n%-44s %-10s %-22s %s\n", "goal", "target", "measured", "");
  std::printf("%-44s %-10s %-22s %s\n", "WMA, one job on one core (wall)", ">= 30x",
              Fixed(xRealTime, 1, "x").c_str(), Verdict(xRealTime >= 30));
  if (refOk)
    std::printf("%-44s %-10s %-22s %s\n", "CPU against fluidsynth -F + ffmpeg", "<= 1.0",
                Fixed(cpuRatio, 2, "").c_str(), Verdict(cpuRatio <= 1.0));
  std::printf("%-44s %-10s %-22s %s\n", "--jobs 2 against --jobs 1 (wall)", ">= 1.8x",
              Fixed(speedup, 2, "x").c_str(), Verdict(speedup >= 1.8));
  std::printf("%-44s %-10s %-22s %s\n", "peak memory, process with one job", "< 80 MB",
              Fixed(one.run.peakMiB * 1.048576, 1, " MB").c_str(),
              Verdict(one.run.peakMiB * 1.048576 < 80));
  std::printf("%-44s %-10s %-22s %s\n", "peak memory each further job adds", "< 80 MB",
              Fixed(perJobMB, 1, " MB").c_str(), Verdict(perJobMB < 80));

  Figures f;
  f.Add("offline_load_average", std::max(loadBefore, loadAfter), "load");
  f.Add("offline_songs_converted", pinned.converted, "songs");
  f.Add("offline_song_seconds", pinned.songSeconds, "s");
  f.Add("offline_x_realtime_one_core", xRealTime, "x");
  f.Add("offline_cpu_per_song_second", pinned.run.cpuSeconds / pinned.songSeconds, "s/s");
  if (refOk) f.Add("offline_cpu_vs_fluidsynth_ffmpeg", cpuRatio, "ratio");
  f.Add("offline_jobs2_speedup", speedup, "x");
  // The process with one job, and what a second job at once adds to it.
  f.Add("offline_peak_memory_one_job", one.run.peakMiB, "MiB");
  f.Add("offline_peak_memory_two_jobs", two.run.peakMiB, "MiB");
  f.Add("offline_memory_added_per_job", two.run.peakMiB - one.run.peakMiB, "MiB");
  f.Add("offline_peak_memory_program_alone", alone.peakMiB, "MiB");
  f.Add("offline_peak_memory_wav_song", wavSong.peakMiB, "MiB");
  f.Add("offline_peak_memory_wma_song", wmaSong.peakMiB, "MiB");
  std::printf("\n");
  f.Print();
  fs::remove_all(scratch);
  return 0;
}
