// Helpers of the video tests: clips made with GStreamer's own tools, grabs
// of a window's picture, and the colours of the test pattern's bars.
#pragma once

#include "platform/win/windef.h"

#include <QColor>
#include <QImage>

#include <map>
#include <string>
#include <vector>

namespace video_test {

// A shown top-level window with a caption and the given client size that
// records the messages its procedure gets (each window its own).
class RecordingWindow {
 public:
  struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  RecordingWindow(int clientWidth, int clientHeight);
  ~RecordingWindow();
  RecordingWindow(const RecordingWindow &) = delete;
  RecordingWindow &operator=(const RecordingWindow &) = delete;

  HWND hwnd() const { return hwnd_; }
  std::vector<Message> Of(UINT message) const;
  // The window is destroyed already (by the test).
  void Forget() { hwnd_ = nullptr; }

 private:
  HWND hwnd_ = nullptr;
};

// Runs gst-launch-1.0 with these arguments; true when it exited with 0.
bool GstLaunch(const std::vector<std::string> &args);

// A clip of `frames` frames of videotestsrc's colour bars at 320 x 240,
// 30 frames a second, the bars sliding sideways by `speed` pixels a frame
// (so successive frames differ), with a tone as its sound track when
// `withSound`; Theora (and Vorbis) in Ogg.
bool MakeBarsClip(const std::string &path, int frames, int speed, bool withSound);

// What the window shows now, as the toolkit paints it (children included),
// in the window's client coordinates.
QImage GrabWindow(HWND hwnd);

// Whether two colours agree within `tolerance` in every channel.
bool Near(QColor a, QColor b, int tolerance);

// The seven upper bars of the pattern (white, yellow, cyan, green, magenta,
// red, blue, at full strength), left to right.
std::vector<QColor> UpperBarColours();

// Checks the upper bars of a picture of `width` x `height` (the pattern
// scaled to it): the middle of each bar, a quarter of the way down. Returns
// a description of the first bar that differs, empty when all agree.
std::string CheckUpperBars(const QImage &picture, int width, int height, int tolerance = 48);

}  // namespace video_test
