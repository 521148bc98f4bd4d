// Start-up: from exec of the program to its main window being shown. The
// program runs under a private X server (Xvfb) with a throw-away home and
// settings and a private sound server (it lists the capture devices before
// it shows its window); the window is seen by the X server's own map
// notification of a top-level window titled "Quavix".
//
// Usage: bench_startup PROGRAM   (e.g. build/vorlinta)
// The test fixture (and GoogleTest with it) comes before Xlib, whose macros
// (None, Bool, Status) would otherwise break its templates.
#include "tests/support/private_pulse.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_common.h"

using namespace quavix::bench;

namespace {

constexpr int kRuns = 7;
constexpr double kTimeoutSeconds = 20;
constexpr const char *kTitle = "Quavix";

std::string WindowTitle(Display *dpy, Window w) {
  Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
  Atom netName = XInternAtom(dpy, "_NET_WM_NAME", False);
  Atom type;
  int format;
  unsigned long n, after;
  unsigned char *data = nullptr;
  std::string title;
  if (XGetWindowProperty(dpy, w, netName, 0, 1024, False, utf8, &type, &format, &n, &after,
                         &data) == Success &&
      data) {
    title.assign(reinterpret_cast<char *>(data), n);
    XFree(data);
  }
  if (title.empty()) {
    char *name = nullptr;
    if (XFetchName(dpy, w, &name) && name) {
      title = name;
      XFree(name);
    }
  }
  return title;
}

bool TitleMatches(const std::string &title) {
  // The caption may carry a song's name before the program's; "Quavix" is in it.
  return title.find(kTitle) != std::string::npos;
}

// Starts Xvfb on a free display number; returns its pid or -1.
pid_t StartXvfb(int *displayNumber, const std::string &scratch) {
  for (int n = 90; n < 140; ++n) {
    std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
    if (access(lock.c_str(), F_OK) == 0) continue;
    pid_t pid = fork();
    if (pid == 0) {
      int devnull = open("/dev/null", O_RDWR);
      dup2(devnull, 0);
      dup2(devnull, 1);
      dup2(devnull, 2);
      std::string d = ":" + std::to_string(n);
      execlp("Xvfb", "Xvfb", d.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
             "-noreset", static_cast<char *>(nullptr));
      _exit(127);
    }
    std::string name = ":" + std::to_string(n);
    for (int i = 0; i < 200; ++i) {  // up to 10 s for the server to answer
      usleep(50000);
      if (Display *dpy = XOpenDisplay(name.c_str())) {
        XCloseDisplay(dpy);
        *displayNumber = n;
        (void)scratch;
        return pid;
      }
      int status;
      if (waitpid(pid, &status, WNOHANG) == pid) break;  // taken after all: try the next
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  return -1;
}

// One start: seconds from exec to the map of the main window, or -1.
double TimeOneStart(Display *dpy, const std::string &program, const std::vector<std::string> &env,
                    std::string *shownWindow) {
  Window root = DefaultRootWindow(dpy);
  XSelectInput(dpy, root, SubstructureNotifyMask);
  XSync(dpy, True);  // drop anything left from the previous run

  std::vector<std::string> envStore = env;
  std::vector<char *> envp;
  for (auto &e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);
  double start = NowSeconds();
  pid_t pid = fork();
  if (pid == 0) {
    int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    char *argv[] = {const_cast<char *>(program.c_str()), nullptr};
    execve(program.c_str(), argv, envp.data());
    _exit(127);
  }
  double shown = -1;
  int fd = ConnectionNumber(dpy);
  while (shown < 0 && NowSeconds() - start < kTimeoutSeconds) {
    while (XPending(dpy)) {
      XEvent ev;
      XNextEvent(dpy, &ev);
      if (ev.type != MapNotify) continue;
      std::string title = WindowTitle(dpy, ev.xmap.window);
      if (TitleMatches(title)) {
        shown = NowSeconds() - start;
        // Which window it was, so a message box titled like the program is
        // not taken for the main window unnoticed.
        XWindowAttributes a{};
        XGetWindowAttributes(dpy, ev.xmap.window, &a);
        *shownWindow =
            "\"" + title + "\" " + std::to_string(a.width) + "x" + std::to_string(a.height);
        break;
      }
    }
    if (shown >= 0) break;
    int status;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      pid = -1;
      break;  // ended without showing a window
    }
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, 2);
  }
  if (pid > 0) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 100 && waitpid(pid, nullptr, WNOHANG) == 0; ++i) usleep(20000);
    if (waitpid(pid, nullptr, WNOHANG) == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  return shown;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PROGRAM\n", argv[0]);
    return 2;
  }
  char resolved[4096];
  if (!realpath(argv[1], resolved) || access(resolved, X_OK) != 0) {
    std::fprintf(stderr, "no program at %s\n", argv[1]);
    return 2;
  }
  std::string program = resolved;
  ScratchDir scratch;
  std::string home = scratch.File("home"), config = scratch.File("config"),
              runtime = scratch.File("runtime");
  for (const auto &d : {home, config, runtime, home + "/Music"}) mkdir(d.c_str(), 0700);

  quavix::test::PrivatePulse pulse;
  std::string error;
  if (!pulse.Start({{"bench_out", "Bench Output"}}, &error)) {
    std::fprintf(stderr, "cannot start a private sound server: %s\n", error.c_str());
    return 2;
  }
  int display = -1;
  pid_t xvfb = StartXvfb(&display, scratch.path());
  if (xvfb < 0) {
    std::fprintf(stderr, "cannot start Xvfb\n");
    return 2;
  }
  std::string displayName = ":" + std::to_string(display);
  Display *dpy = XOpenDisplay(displayName.c_str());

  std::vector<std::string> env = {
      "PATH=/usr/bin:/bin",
      "HOME=" + home,
      "XDG_CONFIG_HOME=" + config,
      "XDG_RUNTIME_DIR=" + runtime,
      "DISPLAY=" + displayName,
      "QT_QPA_PLATFORM=xcb",
      "PULSE_SERVER=" + pulse.server(),
      "PULSE_COOKIE=" + pulse.folder() + "/cookie",
      "PULSE_CLIENTCONFIG=" + pulse.folder() + "/client.conf",
      "LANG=C.UTF-8",
  };

  std::printf("%-5s %12s  %s\n", "start", "shown after", "window");
  std::vector<double> times;
  int failures = 0;
  for (int i = 0; i < kRuns; ++i) {
    std::string window;
    double t = TimeOneStart(dpy, program, env, &window);
    if (t < 0) {
      ++failures;
      std::printf("%-5d %12s\n", i + 1, "no window");
      continue;
    }
    times.push_back(t * 1e3);
    std::printf("%-5d %9.1f ms  %s\n", i + 1, t * 1e3, window.c_str());
  }
  XCloseDisplay(dpy);
  kill(xvfb, SIGTERM);
  waitpid(xvfb, nullptr, 0);
  pulse.Stop();

  double first = times.empty() ? -1 : times.front();
  std::vector<double> later(times.size() > 1 ? times.begin() + 1 : times.end(), times.end());
  std::printf("\nprogram: %s under Xvfb %s (no window manager)\n", program.c_str(),
              displayName.c_str());
  std::printf(
      "first start %.1f ms; later starts median %.1f ms, worst %.1f ms   goal: < 400 ms  %s\n",
      first, Median(later), Max(later),
      Verdict(failures == 0 && !times.empty() && Max(times) < 400));
  std::printf("starts without a window within %.0f s: %d\n", kTimeoutSeconds, failures);

  Figures f;
  f.Add("startup_first", first, "ms");
  f.Add("startup_median", Median(later), "ms");
  f.Add("startup_worst", Max(later), "ms");
  f.Add("startup_failures", failures, "starts");
  f.Print();
  return 0;
}
