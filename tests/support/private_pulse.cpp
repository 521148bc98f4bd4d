#include "tests/support/private_pulse.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

extern char **environ;

namespace quavix::test {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> CurrentEnvironment() {
  std::vector<std::string> env;
  for (char **e = environ; e && *e; ++e) env.emplace_back(*e);
  return env;
}

std::vector<char *> CStrings(std::vector<std::string> &v) {
  std::vector<char *> out;
  out.reserve(v.size() + 1);
  for (auto &s : v) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Everything between fork and exec must be async-signal-safe: the test
// process may have other threads (GStreamer, libpulse) holding locks.
[[noreturn]] void ExecChild(char *const *argv, char *const *envp, int out_fd, int err_fd,
                            pid_t parent) {
  // The child must not outlive a crashed test; the check afterwards closes
  // the race where the parent died before prctl ran.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(127);
  int devnull = open("/dev/null", O_RDONLY);
  if (devnull >= 0) dup2(devnull, 0);
  if (out_fd >= 0) dup2(out_fd, 1);
  if (err_fd >= 0) dup2(err_fd, 2);
  close_range(3, ~0U, 0);
  execvpe(argv[0], argv, envp);
  _exit(127);
}

bool WaitPid(pid_t pid, int *status, int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    pid_t r = waitpid(pid, status, WNOHANG);
    if (r == pid) return true;
    if (r < 0 && errno != EINTR) return true;  // not our child any more
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

// The module argument parser only uses a backslash to keep the next
// character from ending a quoted value and passes both on; the property list
// parser then removes the escapes. So a description is escaped once for the
// property list (double quotes) and its single quotes once more so the
// module argument (single quotes) does not end early.
std::string ProplistQuote(const std::string &v) {
  std::string out = "\"";
  for (char c : v) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string ModargQuote(const std::string &v) {
  std::string out = "'";
  for (char c : v) {
    if (c == '\'') out += '\\';
    out += c;
  }
  return out + "'";
}

bool IsPlainName(const std::string &name) {
  if (name.empty()) return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.')
      return false;
  return true;
}

std::string TempBase() {
  // A unix socket path holds at most 107 bytes; a long TMPDIR would not fit.
  const char *t = getenv("TMPDIR");
  if (t && *t && std::strlen(t) < 60) return t;
  return "/tmp";
}

const char *const kClientVars[] = {"PULSE_SERVER", "PULSE_COOKIE", "PULSE_CLIENTCONFIG",
                                   "PULSE_SINK", "PULSE_SOURCE"};

}  // namespace

ProcessResult RunProcess(const std::vector<std::string> &argv_in, int timeout_ms,
                         bool keep_stderr) {
  ProcessResult result;
  if (argv_in.empty()) return result;
  std::vector<std::string> argv_copy = argv_in;
  std::vector<std::string> env = CurrentEnvironment();
  auto argv = CStrings(argv_copy);
  auto envp = CStrings(env);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return result;
  int devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
  const pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    if (devnull >= 0) close(devnull);
    return result;
  }
  if (pid == 0) ExecChild(argv.data(), envp.data(), fds[1], keep_stderr ? fds[1] : devnull, parent);
  close(fds[1]);
  if (devnull >= 0) close(devnull);
  result.started = true;

  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  char buf[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      result.timed_out = true;
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) continue;
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.output.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  if (result.timed_out || !WaitPid(pid, &status, 2000)) {
    result.timed_out = true;
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    result.exit_code = -1;
  } else {
    result.exit_code = ExitCode(status);
  }
  return result;
}

ChildProcess::ChildProcess(const std::vector<std::string> &argv_in,
                           const std::vector<std::string> &env_in, const std::string &log_path) {
  if (argv_in.empty()) return;
  std::vector<std::string> argv_copy = argv_in;
  std::vector<std::string> env = env_in.empty() ? CurrentEnvironment() : env_in;
  auto argv = CStrings(argv_copy);
  auto envp = CStrings(env);
  int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  const pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) ExecChild(argv.data(), envp.data(), log, log, parent);
  if (log >= 0) close(log);
  if (pid > 0) {
    pid_ = pid;
    reaped_ = false;
  }
}

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::running() {
  if (reaped_) return false;
  pid_t r = waitpid(pid_, &status_, WNOHANG);
  if (r == pid_ || (r < 0 && errno == ECHILD)) {
    reaped_ = true;
    return false;
  }
  return true;
}

int ChildProcess::Wait(int timeout_ms) {
  if (!reaped_) {
    if (!WaitPid(pid_, &status_, timeout_ms)) return -1;
    reaped_ = true;
  }
  return ExitCode(status_);
}

int ChildProcess::Stop(int grace_ms) {
  if (!reaped_) {
    kill(pid_, SIGTERM);
    if (!WaitPid(pid_, &status_, grace_ms)) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status_, 0);
    }
    reaped_ = true;
  }
  return pid_ < 0 ? -1 : ExitCode(status_);
}

bool WriteToneWav(const std::string &path, double frequency_hz, double seconds, int sample_rate,
                  double amplitude) {
  const uint32_t frames = static_cast<uint32_t>(seconds * sample_rate);
  const uint32_t data_bytes = frames * 4;
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) return false;
  auto u32 = [&](uint32_t v) {
    char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    f.write(b, 4);
  };
  auto u16 = [&](uint16_t v) {
    char b[2] = {char(v & 0xFF), char(v >> 8)};
    f.write(b, 2);
  };
  f.write("RIFF", 4);
  u32(36 + data_bytes);
  f.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(2);
  u32(static_cast<uint32_t>(sample_rate));
  u32(static_cast<uint32_t>(sample_rate) * 4);
  u16(4);
  u16(16);
  f.write("data", 4);
  u32(data_bytes);
  std::vector<int16_t> block;
  block.reserve(8192);
  for (uint32_t i = 0; i < frames; ++i) {
    double v = amplitude * std::sin(2.0 * M_PI * frequency_hz * i / sample_rate);
    auto s = static_cast<int16_t>(std::lround(v * 32767.0));
    block.push_back(s);
    block.push_back(s);
    if (block.size() >= 8192 || i + 1 == frames) {
      // Little-endian host (x86-64, arm64): samples can be written as they are.
      f.write(reinterpret_cast<const char *>(block.data()),
              static_cast<std::streamsize>(block.size() * sizeof(int16_t)));
      block.clear();
    }
  }
  return static_cast<bool>(f.flush());
}

PrivatePulse::~PrivatePulse() { Stop(); }

SoundServer SoundServerFromEnvironment() {
  const char *v = getenv("QUAVIX_TEST_SOUND_SERVER");
  return v && std::strcmp(v, "pipewire") == 0 ? SoundServer::kPipeWire : SoundServer::kPulseAudio;
}

const char *SoundServerName(SoundServer server) {
  return server == SoundServer::kPipeWire ? "PipeWire" : "PulseAudio";
}

bool PrivatePulse::Start(const std::vector<NullSink> &sinks, std::string *error) {
  std::string why;
  auto fail = [&](const std::string &reason) {
    if (error)
      *error = std::string(SoundServerName(kind_)) + ": " + reason +
               (folder_.empty() ? "" : "\n--- server log ---\n" + Log());
    Stop();
    return false;
  };
  Stop();
  std::string templ = TempBase() + "/quavix-pulse.XXXXXX";
  if (!mkdtemp(templ.data())) return fail("cannot create a temporary folder");
  folder_ = templ;
  chmod(folder_.c_str(), 0700);
  for (const char *sub : {"/run", "/state", "/config"}) mkdir((folder_ + sub).c_str(), 0700);
  server_ = "unix:" + folder_ + "/native";
  {
    std::ofstream client(folder_ + "/client.conf");
    client << "autospawn = no\n";
  }
  // Clients (pactl here included) must not read or create a cookie in the
  // person's home either.
  SetClientEnv();

  // The server sees only this folder: no home, runtime, state or
  // configuration of the person, no session bus, no X display.
  std::vector<std::string> env;
  for (auto &e : CurrentEnvironment()) {
    static const char *const drop[] = {"HOME=",    "XDG_RUNTIME_DIR=", "XDG_CONFIG_HOME=",
                                       "PULSE_",   "PIPEWIRE_",        "DBUS_SESSION_BUS_ADDRESS=",
                                       "DISPLAY=", "WAYLAND_DISPLAY=", "XDG_STATE_HOME="};
    bool keep = true;
    for (const char *d : drop)
      if (e.rfind(d, 0) == 0) keep = false;
    if (keep) env.push_back(e);
  }
  env.push_back("HOME=" + folder_);
  env.push_back("XDG_RUNTIME_DIR=" + folder_ + "/run");
  env.push_back("XDG_CONFIG_HOME=" + folder_ + "/config");
  env.push_back("XDG_STATE_HOME=" + folder_ + "/state");
  env.push_back("PULSE_RUNTIME_PATH=" + folder_ + "/run");
  env.push_back("PULSE_STATE_PATH=" + folder_ + "/state");

  const bool started =
      kind_ == SoundServer::kPipeWire ? StartPipeWire(env, &why) : StartPulseAudio(env, &why);
  if (!started || !WaitUntilAnswering(&why)) return fail(why);

  for (const auto &s : sinks)
    if (LoadNullSink(s) < 0) return fail("cannot load null sink " + s.name);
  if (!sinks.empty() && !SetDefaultSink(sinks.front().name))
    return fail("cannot set the default sink");
  return true;
}

bool PrivatePulse::StartPulseAudio(const std::vector<std::string> &env, std::string *why) {
  {
    std::ofstream script(folder_ + "/default.pa");
    script << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << folder_
           << "/native\n";
  }
  // Running as root works with --system=no; the daemon only warns about it.
  daemon_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"pulseaudio", "--daemonize=no", "-n", "--exit-idle-time=-1",
                               "--disable-shm=yes", "--use-pid-file=no", "--system=no",
                               "--realtime=no", "--high-priority=no", "--log-target=stderr", "-F",
                               folder_ + "/default.pa"},
      env, folder_ + "/daemon.log");
  if (!daemon_->running()) return *why = "pulseaudio did not start", false;
  return true;
}

// PipeWire as a desktop runs it, minus everything that would reach beyond
// the folder: the session manager watches no hardware and asks no portal
// (there is no session bus; what still looks for one only logs that), and
// the pulse server listens on the folder's socket and makes no fallback
// output, so an empty server stays empty as PulseAudio's does.
bool PrivatePulse::StartPipeWire(const std::vector<std::string> &env, std::string *why) {
  const std::string config = folder_ + "/config";
  for (const char *sub :
       {"/pipewire", "/wireplumber", "/wireplumber/main.lua.d", "/wireplumber/bluetooth.lua.d"})
    mkdir((config + sub).c_str(), 0700);
  {
    std::ofstream pulse(config + "/pipewire/pipewire-pulse.conf");
    pulse << "context.properties = { }\n"
             "context.spa-libs = {\n"
             "  audio.convert.* = audioconvert/libspa-audioconvert\n"
             "  support.* = support/libspa-support\n"
             "}\n"
             "context.modules = [\n"
             // As the stock configuration: the streams of every pulse client
             // pass through this process, and a desktop never lets other
             // work starve it.
             "  { name = libpipewire-module-rt args = { nice.level = -11 } flags = [ ifexists "
             "nofail ] }\n"
             "  { name = libpipewire-module-protocol-native }\n"
             "  { name = libpipewire-module-client-node }\n"
             "  { name = libpipewire-module-adapter }\n"
             "  { name = libpipewire-module-metadata }\n"
             "  { name = libpipewire-module-protocol-pulse args = { } }\n"
             "]\n"
             "pulse.properties = {\n"
             "  server.address = [ \""
          << server_
          << "\" ]\n"
             "  vm.overrides = { pulse.min.quantum = 1024/48000 }\n"
             "}\n";
    std::ofstream main(config + "/wireplumber/main.lua.d/51-quavix-private.lua");
    main << "alsa_monitor.enabled = false\n"
            "v4l2_monitor.enabled = false\n"
            "libcamera_monitor.enabled = false\n"
            "default_access.properties[\"enable-flatpak-portal\"] = false\n";
    std::ofstream bluetooth(config + "/wireplumber/bluetooth.lua.d/51-quavix-private.lua");
    bluetooth << "bluez_monitor.enabled = false\n";
  }
  const std::string log = folder_ + "/daemon.log";
  helpers_.push_back(
      std::make_unique<ChildProcess>(std::vector<std::string>{"pipewire"}, env, log));
  // The session manager and the pulse server connect to PipeWire's socket;
  // they give up when it is not there yet.
  const std::string socket = folder_ + "/run/pipewire-0";
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (access(socket.c_str(), F_OK) != 0) {
    if (!helpers_.back()->running()) return *why = "pipewire exited at start-up", false;
    if (Clock::now() >= deadline) return *why = "pipewire made no socket within 10 s", false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  helpers_.push_back(
      std::make_unique<ChildProcess>(std::vector<std::string>{"wireplumber"}, env, log));
  daemon_ = std::make_unique<ChildProcess>(std::vector<std::string>{"pipewire-pulse"}, env, log);
  for (auto &p : helpers_)
    if (!p->running()) return *why = "pipewire or wireplumber did not start", false;
  if (!daemon_->running()) return *why = "pipewire-pulse did not start", false;
  return true;
}

bool PrivatePulse::WaitUntilAnswering(std::string *why) {
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  bool answering = false;
  while (Clock::now() < deadline) {
    if (!daemon_->running()) return *why = "the server exited at start-up", false;
    for (auto &p : helpers_)
      if (!p->running()) return *why = "pipewire or wireplumber exited at start-up", false;
    if (!answering && access((folder_ + "/native").c_str(), F_OK) == 0 &&
        Pactl({"info"}, 3000).exit_code == 0)
      answering = true;
    // PipeWire links no stream and applies no default output before its
    // session manager has come up.
    if (answering &&
        (kind_ != SoundServer::kPipeWire ||
         Pactl({"list", "clients"}, 3000).output.find("\"WirePlumber\"") != std::string::npos))
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  *why = "the server did not answer within 10 s";
  return false;
}

void PrivatePulse::Stop() {
  if (daemon_) {
    daemon_->Stop(3000);
    daemon_.reset();
  }
  // The session manager before PipeWire itself.
  while (!helpers_.empty()) {
    helpers_.back()->Stop(3000);
    helpers_.pop_back();
  }
  RestoreClientEnv();
  modules_by_sink_.clear();
  if (!folder_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
    folder_.clear();
  }
  server_.clear();
}

void PrivatePulse::SetClientEnv() {
  saved_env_.clear();
  for (const char *v : kClientVars) {
    const char *old = getenv(v);
    saved_env_[v] = old ? std::optional<std::string>(old) : std::nullopt;
  }
  setenv("PULSE_SERVER", server_.c_str(), 1);
  setenv("PULSE_COOKIE", (folder_ + "/cookie").c_str(), 1);
  setenv("PULSE_CLIENTCONFIG", (folder_ + "/client.conf").c_str(), 1);
  unsetenv("PULSE_SINK");
  unsetenv("PULSE_SOURCE");
}

void PrivatePulse::RestoreClientEnv() {
  for (auto &[name, value] : saved_env_) {
    if (value)
      setenv(name.c_str(), value->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
  saved_env_.clear();
}

std::string PrivatePulse::Log() const {
  if (folder_.empty()) return {};
  std::ifstream f(folder_ + "/daemon.log");
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

ProcessResult PrivatePulse::Pactl(const std::vector<std::string> &args, int timeout_ms) const {
  if (server_.empty()) return {};
  std::vector<std::string> argv{"pactl", "--server=" + server_};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, timeout_ms);
}

int PrivatePulse::LoadModule(const std::string &module, const NullSink &what, const char *name_key,
                             const std::string &props) {
  if (!IsPlainName(what.name)) return -1;
  auto r = Pactl({"load-module", module, std::string(name_key) + "=" + what.name, props});
  if (r.exit_code != 0) return -1;
  try {
    return std::stoi(r.output);
  } catch (...) {
    return -1;
  }
}

int PrivatePulse::LoadNullSink(const NullSink &sink) {
  // module-null-sink: the description goes in as a device property.
  if (is_pipewire() && sink.description.find_first_of("'\"\\") != std::string::npos) return -1;
  const std::string props = "device.description=" + ProplistQuote(sink.description);
  int index =
      LoadModule("module-null-sink", sink, "sink_name", "sink_properties=" + ModargQuote(props));
  if (index >= 0) modules_by_sink_[sink.name] = index;
  return index;
}

int PrivatePulse::LoadNullSource(const NullSink &source) {
  // This module takes its description as a plain argument, which passes
  // quotes and backslashes on unchanged: refuse them rather than show them.
  if (!IsPlainName(source.name) || source.description.find_first_of("'\"\\") != std::string::npos)
    return -1;
  int index;
  if (is_pipewire()) {
    // pipewire-pulse has no module-null-source; its null sink made a
    // virtual source is an input that belongs to no card and is no monitor.
    index = LoadModule("module-null-sink", source, "sink_name",
                       "sink_properties='media.class=Audio/Source/Virtual device.description=\"" +
                           source.description + "\"'");
  } else {
    index = LoadModule("module-null-source", source, "source_name",
                       "description='" + source.description + "'");
  }
  if (index >= 0) modules_by_sink_[source.name] = index;
  return index;
}

bool PrivatePulse::UnloadNullSink(const std::string &sink_name) {
  auto it = modules_by_sink_.find(sink_name);
  if (it == modules_by_sink_.end()) return false;
  bool ok = UnloadModule(it->second);
  if (ok) modules_by_sink_.erase(it);
  return ok;
}

bool PrivatePulse::UnloadModule(int module_index) {
  return Pactl({"unload-module", std::to_string(module_index)}).exit_code == 0;
}

bool PrivatePulse::SetDefaultSink(const std::string &sink_name) {
  if (Pactl({"set-default-sink", sink_name}).exit_code != 0) return false;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  for (;;) {
    if (DefaultSink() == sink_name) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string PrivatePulse::DefaultSink() const {
  auto r = Pactl({"get-default-sink"});
  if (r.exit_code != 0) return {};
  std::string name = r.output;
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
  return name;
}

std::unique_ptr<ChildProcess> PrivatePulse::PlayTone(const std::string &sink_name,
                                                     double frequency_hz, double amplitude) {
  if (server_.empty()) return nullptr;
  char freq[32], vol[32];
  std::snprintf(freq, sizeof freq, "freq=%.3f", frequency_hz);
  std::snprintf(vol, sizeof vol, "volume=%.3f", amplitude);
  auto p = std::make_unique<ChildProcess>(
      std::vector<std::string>{"gst-launch-1.0", "-q", "audiotestsrc", "is-live=true", freq, vol,
                               "!", "audio/x-raw,format=S16LE,rate=44100,channels=2", "!",
                               "pulsesink", "server=" + server_, "device=" + sink_name});
  if (!p->running()) return nullptr;
  return p;
}

bool PrivatePulse::WaitUntilSounding(const std::string &sink_name, int timeout_ms) {
  constexpr int kAudible = 1638;  // -26 dBFS in 16 bits
  if (server_.empty()) return false;
  const std::string raw = folder_ + "/sounding-" + sink_name + ".raw";
  std::remove(raw.c_str());
  ChildProcess recorder(
      {"parec", "--server=" + server_, "--device=" + sink_name + ".monitor", "--raw",
       "--format=s16le", "--rate=44100", "--channels=2", "--latency-msec=20", raw},
      {}, folder_ + "/parec.log");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::ifstream in;
  std::vector<char> chunk(8192);
  // After the first sound, half a second more must come: an output that
  // was just loaded delivers its first blocks late and then in a burst.
  constexpr std::streamoff kSteadyBytes = 44100 * 4 / 2;
  std::streamoff read = 0;  // whole samples only: parec may have written half of one
  std::streamoff heardAt = -1;
  auto steady = [&] { return heardAt >= 0 && read >= heardAt + kSteadyBytes; };
  while (!steady() && recorder.running() && std::chrono::steady_clock::now() < deadline) {
    if (!in.is_open()) in.open(raw, std::ios::binary);
    if (in.is_open()) {
      in.clear();
      in.seekg(read);
      in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
      const std::streamsize got = in.gcount() & ~std::streamsize{1};
      for (std::streamsize i = 0; i < got && heardAt < 0; i += 2) {
        const auto sample = static_cast<std::int16_t>(
            static_cast<std::uint8_t>(chunk[static_cast<std::size_t>(i)]) |
            (static_cast<std::uint8_t>(chunk[static_cast<std::size_t>(i + 1)]) << 8));
        if (std::abs(static_cast<int>(sample)) > kAudible) heardAt = read + i;
      }
      read += got;
      if (got > 0) continue;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  recorder.Stop();
  std::remove(raw.c_str());
  return steady();
}

bool PrivatePulse::PlayFile(const std::string &sink_name, const std::string &wav_path,
                            int timeout_ms) {
  if (server_.empty()) return false;
  auto r =
      RunProcess({"paplay", "--server=" + server_, "--device=" + sink_name, wav_path}, timeout_ms);
  return r.exit_code == 0;
}

std::optional<double> PrivatePulse::SourceVolumePercent(const std::string &source_name) const {
  auto r = Pactl({"get-source-volume", source_name});
  if (r.exit_code != 0) return std::nullopt;
  // "Volume: front-left: 32768 /  50% / -18.06 dB,   front-right: ..."
  static const std::regex channel(R"(:\s*(\d+)\s*/\s*\d+%)");
  double sum = 0;
  int n = 0;
  for (std::sregex_iterator it(r.output.begin(), r.output.end(), channel), end; it != end; ++it) {
    sum += std::stod((*it)[1].str());
    ++n;
  }
  if (n == 0) return std::nullopt;
  return sum / n * 100.0 / 65536.0;
}

UnreachablePulse::UnreachablePulse(Kind kind) {
  std::string templ = TempBase() + "/quavix-nopulse.XXXXXX";
  if (!mkdtemp(templ.data())) return;
  folder_ = templ;
  const std::string socket_path = folder_ + "/native";
  if (kind == kSilent) {
    listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (listen_fd_ < 0 || socket_path.size() >= sizeof addr.sun_path) return;
    std::memcpy(addr.sun_path, socket_path.c_str(), socket_path.size() + 1);
    if (bind(listen_fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        listen(listen_fd_, 16) != 0)
      return;
  }
  for (const char *v : kClientVars) {
    const char *old = getenv(v);
    saved_env_[v] = old ? std::optional<std::string>(old) : std::nullopt;
  }
  {
    std::ofstream client(folder_ + "/client.conf");
    client << "autospawn = no\n";
  }
  setenv("PULSE_SERVER", ("unix:" + socket_path).c_str(), 1);
  setenv("PULSE_COOKIE", (folder_ + "/cookie").c_str(), 1);
  setenv("PULSE_CLIENTCONFIG", (folder_ + "/client.conf").c_str(), 1);
  unsetenv("PULSE_SINK");
  unsetenv("PULSE_SOURCE");
  ok_ = true;
}

UnreachablePulse::~UnreachablePulse() {
  for (auto &[name, value] : saved_env_) {
    if (value)
      setenv(name.c_str(), value->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
  if (listen_fd_ >= 0) close(listen_fd_);
  if (!folder_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
}

std::vector<NullSink> PrivatePulseTest::Sinks() const {
  return {{"quavix_a", "Test Output A"}, {"quavix_b", "Test Output B"}};
}

void PrivatePulseTest::SetUp() {
  std::string error;
  ASSERT_TRUE(pulse_.Start(Sinks(), &error)) << error;
}

void PrivatePulseTest::TearDown() { pulse_.Stop(); }

}  // namespace quavix::test
