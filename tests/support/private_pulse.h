// A private sound server for tests that need a real one: a PulseAudio
// daemon, or PipeWire with WirePlumber and pipewire-pulse (the pulse
// protocol on PipeWire, as current desktops run it). Which one is chosen by
// QUAVIX_TEST_SOUND_SERVER ("pulseaudio", the default, or "pipewire"), so
// one test program runs against either; ctest runs the sound tests once per
// server that way.
//
// The server lives in a fresh 0700 folder (its runtime, state, home and
// configuration all point there) and listens on a socket in that folder.
// PulseAudio is started with -n, so none of the system's default modules
// load; PipeWire gets a configuration that watches no hardware (no ALSA,
// Bluetooth or camera monitors) and makes no fallback output. Either way
// the only devices are the null outputs and null inputs the test asks for. While it
// runs, PULSE_SERVER, PULSE_COOKIE and PULSE_CLIENTCONFIG of the test process
// point at it (client autospawn off), so libpulse, pactl, paplay and GStreamer's
// pulsesrc/pulsesink in the test reach this daemon and never the person's own
// sound server. Stop() (also run by the destructor, so a failing assertion
// still cleans up) terminates the daemon, restores the environment and
// deletes the folder. The daemon also dies with the test process
// (PR_SET_PDEATHSIG), so a crashed test leaves nothing running.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quavix::test {

// A null output (module-null-sink): a virtual sound card output whose
// monitor source carries what is played into it.
struct NullSink {
  std::string name;         // letters, digits, '_', '-', '.'; e.g. "quavix_a"
  std::string description;  // any text; what device lists show, e.g. "Test Output A"
};

// Result of a child program run to completion.
struct ProcessResult {
  bool started = false;
  bool timed_out = false;
  int exit_code = -1;  // -1 when it died of a signal or did not start
  std::string output;  // its standard output
};

// Runs a program (no shell) with the current environment, waits at most
// `timeout_ms`, kills it after that. Standard error is discarded unless
// `keep_stderr` is set, in which case it is appended to output.
ProcessResult RunProcess(const std::vector<std::string> &argv, int timeout_ms = 10000,
                         bool keep_stderr = false);

// A child process that runs until stopped; killed and reaped on destruction.
class ChildProcess {
 public:
  // Starts argv (no shell; the program is looked up in PATH) with the given
  // environment (the current one when empty), its standard output and error
  // appended to log_path; check running().
  explicit ChildProcess(const std::vector<std::string> &argv,
                        const std::vector<std::string> &env = {},
                        const std::string &log_path = "/dev/null");
  ~ChildProcess();
  ChildProcess(const ChildProcess &) = delete;
  ChildProcess &operator=(const ChildProcess &) = delete;

  bool running();
  pid_t pid() const { return pid_; }
  // SIGTERM, a bounded wait, then SIGKILL; returns the exit code (or -1).
  int Stop(int grace_ms = 2000);
  // Waits for the child to end by itself, at most timeout_ms; -1 on timeout
  // (the child then keeps running) or when it died of a signal.
  int Wait(int timeout_ms);

 private:
  pid_t pid_ = -1;
  int status_ = 0;
  bool reaped_ = true;
};

// Writes a 16-bit stereo PCM WAV file holding a sine tone.
bool WriteToneWav(const std::string &path, double frequency_hz, double seconds,
                  int sample_rate = 44100, double amplitude = 0.5);

enum class SoundServer { kPulseAudio, kPipeWire };

// The server QUAVIX_TEST_SOUND_SERVER names (PulseAudio when unset).
SoundServer SoundServerFromEnvironment();
const char *SoundServerName(SoundServer server);

class PrivatePulse {
 public:
  PrivatePulse() : kind_(SoundServerFromEnvironment()) {}
  explicit PrivatePulse(SoundServer kind) : kind_(kind) {}
  ~PrivatePulse();
  PrivatePulse(const PrivatePulse &) = delete;
  PrivatePulse &operator=(const PrivatePulse &) = delete;

  // Starts the daemon with the given null outputs (loaded in this order, so
  // the first one is the default output) and waits until it answers.
  // Returns false with a reason in *error when it cannot start.
  bool Start(const std::vector<NullSink> &sinks, std::string *error = nullptr);
  // Terminates the daemon (SIGTERM, then SIGKILL), restores the client
  // environment and removes the folder. Safe to call more than once.
  void Stop();

  bool running() const { return daemon_ != nullptr; }
  SoundServer kind() const { return kind_; }
  bool is_pipewire() const { return kind_ == SoundServer::kPipeWire; }
  const std::string &folder() const { return folder_; }
  // "unix:<folder>/native", the value PULSE_SERVER holds while running.
  const std::string &server() const { return server_; }
  // The server's log (stderr of its processes), for diagnostics.
  std::string Log() const;

  // pactl against this daemon; output is pactl's standard output.
  ProcessResult Pactl(const std::vector<std::string> &args, int timeout_ms = 10000) const;

  // Loads another null output; returns its module index or -1. The module
  // is remembered under the sink's name for UnloadNullSink. pipewire-pulse
  // passes escapes in module arguments on unchanged, so there a description
  // holding quotes, apostrophes or backslashes is refused (-1) rather than
  // shown wrong.
  int LoadNullSink(const NullSink &sink);
  // Unloads the null output that was loaded under this sink name (also one
  // given to Start). Used to simulate a device being unplugged.
  bool UnloadNullSink(const std::string &sink_name);
  // Loads a null input (module-null-source): a capture source that belongs
  // to no card and is no monitor. Returns the module index or -1 (also for
  // a description holding quotes or backslashes, which this module cannot
  // take). UnloadNullSink unloads it by its name too. On PipeWire, which
  // has no such module, it is a null node of the virtual-source class
  // loaded the same way, which lists as a plain input.
  int LoadNullSource(const NullSink &source);
  bool UnloadModule(int module_index);

  // Sets the default output and waits (at most 5 s) until the server
  // reports it: on PipeWire the session manager applies it a moment later.
  bool SetDefaultSink(const std::string &sink_name);
  // The default output's name as the server reports it ("" when unknown).
  std::string DefaultSink() const;

  // Starts playing a sine tone into the sink until the returned process is
  // stopped or destroyed (it loops a WAV written into the folder with paplay).
  std::unique_ptr<ChildProcess> PlayTone(const std::string &sink_name, double frequency_hz,
                                         double amplitude = 0.5);
  // Waits until the sink's loop-back (monitor) carries sound louder than
  // -26 dBFS and has delivered half a second more after it, at most
  // timeout_ms: a player started on a busy machine may take seconds before
  // it is heard, and a fresh output delivers its first blocks late. False
  // on timeout.
  bool WaitUntilSounding(const std::string &sink_name, int timeout_ms = 30000);
  // Plays a WAV file into the sink and waits until it has been played.
  bool PlayFile(const std::string &sink_name, const std::string &wav_path, int timeout_ms = 30000);

  // The source volume of a source as pactl reports it, in percent of the
  // normal volume (average over the channels); nullopt when unreadable.
  std::optional<double> SourceVolumePercent(const std::string &source_name) const;

 private:
  int LoadModule(const std::string &module, const NullSink &what, const char *name_key,
                 const std::string &props);
  bool StartPulseAudio(const std::vector<std::string> &env, std::string *why);
  bool StartPipeWire(const std::vector<std::string> &env, std::string *why);
  bool WaitUntilAnswering(std::string *why);
  void SetClientEnv();
  void RestoreClientEnv();

  SoundServer kind_;
  std::string folder_;
  std::string server_;
  // The process that serves the pulse protocol (pulseaudio, or
  // pipewire-pulse); on PipeWire also the ones it needs, in start order.
  std::unique_ptr<ChildProcess> daemon_;
  std::vector<std::unique_ptr<ChildProcess>> helpers_;
  std::map<std::string, int> modules_by_sink_;
  std::map<std::string, std::optional<std::string>> saved_env_;
};

// Points the test process's sound clients at a server that is not there,
// for as long as it lives: kind kMissing names a socket that does not exist
// (connections fail at once), kSilent a socket that accepts connections and
// never answers (clients must give up on their own). Restores the
// environment and removes its folder on destruction.
class UnreachablePulse {
 public:
  enum Kind { kMissing, kSilent };
  explicit UnreachablePulse(Kind kind = kMissing);
  ~UnreachablePulse();
  UnreachablePulse(const UnreachablePulse &) = delete;
  UnreachablePulse &operator=(const UnreachablePulse &) = delete;
  bool ok() const { return ok_; }

 private:
  std::string folder_;
  int listen_fd_ = -1;
  bool ok_ = false;
  std::map<std::string, std::optional<std::string>> saved_env_;
};

// GoogleTest fixture: a private server with two null outputs, "quavix_a"
// ("Test Output A", the default output) and "quavix_b" ("Test Output B"),
// started before each test and stopped after it. Derive and override
// Sinks() to start other outputs.
class PrivatePulseTest : public ::testing::Test {
 protected:
  virtual std::vector<NullSink> Sinks() const;
  void SetUp() override;
  void TearDown() override;

  PrivatePulse pulse_;
};

}  // namespace quavix::test
