#include "tests/video/video_test_support.h"

#include "platform/win/gui.h"
#include "platform/win/window_internal.h"

#include <QWidget>

#include <spawn.h>
#include <sys/wait.h>

#include <sstream>

extern char **environ;

namespace video_test {

namespace {
std::map<HWND, std::vector<RecordingWindow::Message>> &Records() {
  static std::map<HWND, std::vector<RecordingWindow::Message>> records;
  return records;
}

LRESULT RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto it = Records().find(hwnd);
  if (it != Records().end()) it->second.push_back({msg, wParam, lParam});
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}
}  // namespace

RecordingWindow::RecordingWindow(int clientWidth, int clientHeight) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &RecordingProc;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = "VideoTestWindow";
  RegisterClassExA(&wc);  // the second window finds it declared
  const int cx = clientWidth + 2 * GetSystemMetrics(SM_CXFRAME);
  const int cy = clientHeight + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFRAME);
  hwnd_ =
      CreateWindowExA(0, "VideoTestWindow", "Video test", WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                      50, 60, cx, cy, nullptr, nullptr, nullptr, nullptr);
  if (hwnd_ != nullptr) {
    Records()[hwnd_];
    ShowWindow(hwnd_, SW_SHOWNORMAL);
  }
}

RecordingWindow::~RecordingWindow() {
  if (hwnd_ != nullptr) {
    DestroyWindow(hwnd_);
    Records().erase(hwnd_);
  }
}

std::vector<RecordingWindow::Message> RecordingWindow::Of(UINT message) const {
  std::vector<Message> out;
  auto it = Records().find(hwnd_);
  if (it == Records().end()) return out;
  for (const Message &m : it->second)
    if (m.message == message) out.push_back(m);
  return out;
}

bool GstLaunch(const std::vector<std::string> &args) {
  std::vector<std::string> all{"gst-launch-1.0", "-q"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (auto &a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool MakeBarsClip(const std::string &path, int frames, int speed, bool withSound) {
  std::vector<std::string> args{"-e",
                                "videotestsrc",
                                "num-buffers=" + std::to_string(frames),
                                "horizontal-speed=" + std::to_string(speed),
                                "!",
                                "video/x-raw,width=320,height=240,framerate=30/1",
                                "!",
                                "theoraenc",
                                "!",
                                "oggmux",
                                "name=mux",
                                "!",
                                "filesink",
                                "location=" + path};
  if (withSound) {
    // As long as the picture: 44100 / 30 samples a frame.
    const int buffers = frames * 1470 / 1024 + 1;
    for (const char *a : {"audiotestsrc", "wave=sine", "freq=440"}) args.emplace_back(a);
    args.push_back("num-buffers=" + std::to_string(buffers));
    for (const char *a :
         {"samplesperbuffer=1024", "!", "audioconvert", "!", "vorbisenc", "!", "mux."})
      args.emplace_back(a);
  }
  return GstLaunch(args);
}

QImage GrabWindow(HWND hwnd) {
  QWidget *widget = quavix::win::WidgetOf(hwnd);
  if (widget == nullptr) return {};
  return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool Near(QColor a, QColor b, int tolerance) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

std::vector<QColor> UpperBarColours() {
  return {QColor(255, 255, 255), QColor(255, 255, 0), QColor(0, 255, 255), QColor(0, 255, 0),
          QColor(255, 0, 255),   QColor(255, 0, 0),   QColor(0, 0, 255)};
}

std::string CheckUpperBars(const QImage &picture, int width, int height, int tolerance) {
  const std::vector<QColor> bars = UpperBarColours();
  if (picture.width() < width || picture.height() < height)
    return "the picture is smaller than expected";
  for (int i = 0; i < 7; ++i) {
    const int x = (2 * i + 1) * width / 14;
    const int y = height / 4;
    QColor seen = picture.pixelColor(x, y);
    if (!Near(seen, bars[static_cast<size_t>(i)], tolerance)) {
      std::ostringstream why;
      why << "bar " << i << " at (" << x << "," << y << ") is " << seen.red() << "," << seen.green()
          << "," << seen.blue() << " instead of " << bars[static_cast<size_t>(i)].red() << ","
          << bars[static_cast<size_t>(i)].green() << "," << bars[static_cast<size_t>(i)].blue();
      return why.str();
    }
  }
  return {};
}

}  // namespace video_test
