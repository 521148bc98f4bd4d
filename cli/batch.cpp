#include "cli/batch.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

#include "cli/offline_conversion.h"
#include "cli/output_names.h"
#include "cli/song_report.h"
#include "cli/song_tags.h"
#include "engine/length_probe.h"
#include "platform/com/combase.h"
#include "platform/dshow/midi/midi_song.h"
#include "platform/dshow/midi/midi_source.h"
#include "settings/paths.h"
#include "ui/song_paths.h"

namespace {

// ---- files being written, removed if the batch is interrupted ---------------

constexpr int kMaxJobs = 64;
constexpr std::size_t kMaxTempName = 4096;
char g_tempNames[kMaxJobs][kMaxTempName];
volatile sig_atomic_t g_tempInUse[kMaxJobs];

void RemoveTemporaryFilesAndDie(int sig) {
  for (int i = 0; i < kMaxJobs; ++i)
    if (g_tempInUse[i]) unlink(g_tempNames[i]);
  signal(sig, SIG_DFL);
  raise(sig);
}

void HoldTemporaryName(int slot, const std::string &name) {
  g_tempInUse[slot] = 0;
  std::snprintf(g_tempNames[slot], kMaxTempName, "%s", name.c_str());
  g_tempInUse[slot] = name.size() < kMaxTempName;
}

void ReleaseTemporaryName(int slot) { g_tempInUse[slot] = 0; }

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

bool IsRegularOrMissing(const std::string &path, bool *exists) {
  struct stat st {};
  *exists = lstat(path.c_str(), &st) == 0;
  return !*exists || S_ISREG(st.st_mode);
}

// Puts the finished file in place. Without --force an output that appeared
// meanwhile (another program, another batch) is never replaced.
int MoveIntoPlace(const std::string &from, const std::string &to, bool force) {
  if (force) return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without RENAME_NOREPLACE: a hard link fails on an existing name.
  if (link(from.c_str(), to.c_str()) != 0) return errno;
  unlink(from.c_str());
  return 0;
}

struct Song {
  PlannedOutput plan;
  SongTags tags;
  double lengthSeconds = -1;
  std::string failure;  // known before converting
  enum State { Waiting, Running, Done } state = Waiting;
  std::atomic<long long> position{0};
  double cpuSeconds = 0;
  bool converted = false;
  std::string reason;
};

bool ReadSongList(const std::string &list, std::vector<std::string> *songs, std::string *error) {
  std::ifstream file;
  std::istream *in = &std::cin;
  if (list != "-") {
    file.open(list);
    if (!file) {
      *error = "cannot read the song list \"" + list + "\": " + std::strerror(errno);
      return false;
    }
    in = &file;
  }
  std::string line;
  while (std::getline(*in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) songs->push_back(line);
  }
  return true;
}

// What the batch needs to know of a song before converting it: that it is a
// MIDI song (with the reader's reason if not), its length by the program's
// length probe, and its tags.
void Examine(Song &song, const std::string &soundFont, bool force) {
  if (!song.plan.error.empty()) {
    song.failure = song.plan.error;
    return;
  }
  // Even with --force the song itself is never replaced by its conversion.
  if (OutputPathIsTheOpenSong(song.plan.output.c_str(), song.plan.input.c_str())) {
    song.failure = "the output \"" + song.plan.output + "\" is the song itself";
    return;
  }
  bool exists = false;
  if (!IsRegularOrMissing(song.plan.output, &exists)) {
    song.failure = "the output \"" + song.plan.output + "\" exists and is not a regular file";
    return;
  }
  if (exists && !force) {
    song.failure = "the output \"" + song.plan.output + "\" exists (--force replaces it)";
    return;
  }
  std::string error;
  std::shared_ptr<const MidiSong> midi = ReadMidiFile(song.plan.input, &error);
  if (!midi) {
    song.failure = error.empty() ? "not a MIDI song" : error;
    return;
  }
  LONGLONG length = 0;
  if (ProbeStopPosition(song.plan.input.c_str(), &length) != 1) {
    song.failure = "the song's length cannot be measured";
    return;
  }
  song.lengthSeconds = static_cast<double>(length) / 1e7;
  song.tags = ReadSongTags(*midi, song.plan.input, soundFont);
}

void Convert(Song &song, const ConvertOptions &options, const std::string &soundFont, int slot) {
  const std::string temp = TemporaryNameFor(song.plan.output);
  HoldTemporaryName(slot, temp);
  OfflineConversion job;
  job.song = song.plan.input;
  job.file = temp;
  job.format = options.format;
  job.soundFont = soundFont;
  job.tags = song.tags;
  job.position = &song.position;
  std::string reason;
  if (RunOfflineConversion(job, &reason)) {
    const int err = MoveIntoPlace(temp, song.plan.output, options.force);
    if (err == 0) {
      song.converted = true;
    } else if (err == EEXIST) {
      reason = "the output \"" + song.plan.output + "\" appeared meanwhile (--force replaces it)";
    } else {
      reason = "the finished file cannot be renamed to \"" + song.plan.output +
               "\": " + std::strerror(err);
    }
  }
  if (!song.converted) {
    unlink(temp.c_str());
    song.reason = reason;
  }
  ReleaseTemporaryName(slot);
}

int TerminalWidth() {
  winsize ws{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

}  // namespace

int RunConversionBatch(const ConvertOptions &given) {
  ConvertOptions options = given;
  std::vector<std::string> songs = options.songs;
  std::string error;
  if (!options.fromList.empty() && !ReadSongList(options.fromList, &songs, &error)) {
    std::fprintf(stderr, "vorlinta: %s\n", error.c_str());
    return 2;
  }
  if (songs.empty()) {
    std::fprintf(stderr, "vorlinta: no song to convert\n");
    return 2;
  }

  // Where the files go.
  std::string folder, singleFile;
  if (!options.output.empty() && !OutputIsFolder(options.output)) {
    if (songs.size() > 1) {
      std::fprintf(
          stderr, "vorlinta: \"%s\" is not a folder; several songs need a folder (end it with /)\n",
          options.output.c_str());
      return 2;
    }
    singleFile = options.output;
    if (!options.formatGiven) FormatFromExtension(singleFile, &options.format);
  } else if (!options.output.empty()) {
    folder = options.output;
    if (folder.back() != '/') folder += '/';
    std::string partial;
    for (std::size_t i = 0; i < folder.size(); ++i) {
      partial += folder[i];
      if (folder[i] == '/' && partial.size() > 1 && mkdir(partial.c_str(), 0777) != 0 &&
          errno != EEXIST) {
        std::fprintf(stderr, "vorlinta: cannot make the folder \"%s\": %s\n", partial.c_str(),
                     std::strerror(errno));
        return 2;
      }
    }
  }

  const std::string soundFont =
      options.soundFont.empty() ? std::string(kDefaultSoundFontPath) : options.soundFont;
  std::string soundFontProblem;
  if (!CheckSoundFont(soundFont, &soundFontProblem)) {
    std::fprintf(stderr, "vorlinta: %s\n", soundFontProblem.c_str());
    return options.soundFont.empty() ? 1 : 2;
  }

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::vector<PlannedOutput> plan = PlanOutputs(songs, folder, singleFile, options.format);
  std::vector<Song> batch(plan.size());
  for (std::size_t i = 0; i < plan.size(); ++i) {
    batch[i].plan = plan[i];
    Examine(batch[i], soundFont, options.force);
  }

  int jobs = options.jobs > 0 ? options.jobs
                              : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  jobs = std::min({jobs, kMaxJobs, static_cast<int>(batch.size())});

  for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, RemoveTemporaryFilesAndDie);

  // One job converts in the given order. Several take the longest songs
  // first, so the batch does not end with one job converting a long song
  // while the others have nothing left to do.
  std::vector<std::size_t> order(batch.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  // (Songs already known to fail take no time and are reported first.)
  auto work = [&](std::size_t i) {
    return batch[i].failure.empty() ? batch[i].lengthSeconds : 1e300;
  };
  if (jobs > 1)
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return work(a) > work(b); });

  std::mutex lock;
  std::vector<std::size_t> finished;  // indexes in the order they ended
  std::atomic<std::size_t> next{0};
  auto worker = [&](int slot) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (std::size_t k; (k = next.fetch_add(1)) < batch.size();) {
      const std::size_t i = order[k];
      Song &song = batch[i];
      if (song.failure.empty()) {
        {
          std::lock_guard<std::mutex> g(lock);
          song.state = Song::Running;
        }
        Convert(song, options, soundFont, slot);
      } else {
        song.reason = song.failure;
      }
      std::lock_guard<std::mutex> g(lock);
      song.state = Song::Done;
      finished.push_back(i);
    }
    CoUninitialize();
  };
  std::vector<std::thread> threads;
  for (int slot = 0; slot < jobs; ++slot) threads.emplace_back(worker, slot);

  double totalSeconds = 0;
  for (const Song &s : batch)
    if (s.failure.empty()) totalSeconds += s.lengthSeconds;
  const bool bar = !options.quiet && isatty(STDERR_FILENO);
  const auto start = std::chrono::steady_clock::now();
  double lastCpu = ProcessCpuSeconds();
  std::size_t reported = 0;
  int failures = 0, done = 0;
  bool barShown = false;

  auto report = [&](Song &s) {
    SongOutcome o;
    o.input = s.plan.input;
    o.output = s.converted ? s.plan.output : (s.plan.output.empty() ? "" : s.plan.output);
    o.converted = s.converted;
    o.reason = s.reason;
    o.numbered = s.plan.numbered;
    if (s.plan.numbered)
      o.note = "numbered: \"" + s.plan.taken + "\" is the output of an earlier song of this batch";
    o.songSeconds = s.lengthSeconds;
    o.cpuSeconds = s.cpuSeconds;
    if (!s.converted) ++failures;
    ++done;
    if (options.reportJson) {
      std::printf("%s\n", JsonReportLine(o).c_str());
      std::fflush(stdout);
    }
    if (barShown) std::fprintf(stderr, "\r\033[K");
    if (!s.converted)
      std::fprintf(stderr, "vorlinta: %s\n", HumanReportLine(o).c_str());
    else if (!options.quiet && !options.reportJson && !bar)
      std::printf("%s\n", HumanReportLine(o).c_str());
  };

  for (;;) {
    bool allDone;
    {
      std::lock_guard<std::mutex> g(lock);
      // The CPU of the last moment is shared among the songs converting in it.
      const double cpu = ProcessCpuSeconds();
      std::vector<Song *> running;
      for (Song &s : batch)
        if (s.state == Song::Running) running.push_back(&s);
      for (Song *s : running)
        s->cpuSeconds += (cpu - lastCpu) / static_cast<double>(running.size());
      lastCpu = cpu;
      while (reported < finished.size()) report(batch[finished[reported++]]);
      allDone = reported == batch.size();
      if (bar && !allDone) {
        double rendered = 0;
        for (const Song &s : batch) {
          if (!s.failure.empty()) continue;
          if (s.state == Song::Done)
            rendered += s.lengthSeconds;
          else if (s.state == Song::Running)
            rendered += std::min(s.lengthSeconds, static_cast<double>(s.position.load()) / 1e7);
        }
        const double fraction = totalSeconds > 0 ? rendered / totalSeconds : 0;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double left = fraction > 0.01 ? elapsed * (1 - fraction) / fraction : -1;
        const int width = std::clamp(TerminalWidth() - 45, 10, 50);
        std::fprintf(
            stderr, "\r\033[K%s",
            ProgressBarLine(done, static_cast<int>(batch.size()), fraction, left, width).c_str());
        std::fflush(stderr);
        barShown = true;
      }
    }
    if (allDone) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  for (std::thread &t : threads) t.join();
  if (barShown) std::fprintf(stderr, "\r\033[K");
  if (bar) std::fprintf(stderr, "%d of %zu songs converted\n", done - failures, batch.size());
  return failures == 0 ? 0 : 1;
}
