// A child window that shows video frames handed to it from any thread.
//
// A media pipeline delivers frames on its own threads while windows belong
// to the user-interface thread, so the two meet in a VideoFrameSlot: the
// streaming thread only stores a reference to the newest frame and, when no
// repaint is pending yet, posts one to the surface window. The surface picks
// up whatever frame is newest when it paints, scaled to its client area, so
// a slow interface skips frames instead of queueing them.
//
// Mouse and keyboard messages that reach the surface are posted to its
// message drain (when one is set), as a video renderer's window does, so a
// click on the picture reaches the window that hosts it.
#pragma once

#include "platform/win/windef.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace quavix::win {

// One picture: 4 bytes a pixel in memory order R, G, B, unused. `keeper`
// holds whatever owns the pixels (a decoder's buffer) for as long as the
// frame is in use.
struct VideoFrame {
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes from one row to the next
  const unsigned char *pixels = nullptr;
  std::shared_ptr<const void> keeper;

  bool Valid() const { return pixels != nullptr && width > 0 && height > 0 && stride >= width * 4; }
};

// The newest frame, shared between the thread that produces frames and the
// surface that paints them. Put is safe from any thread; everything else is
// for the user-interface thread.
class VideoFrameSlot {
 public:
  // Keeps the frame as the newest one (dropping the previous one) and asks
  // the bound surface to repaint unless it has been asked already. An
  // invalid frame is ignored and returns false.
  bool Put(VideoFrame frame);
  // The newest frame (an empty one before the first); clears the pending
  // repaint so that the next Put asks again.
  VideoFrame Latest();
  // Drops the frame the slot holds (its buffer goes back to its owner).
  void Clear();
  // The window asked to repaint on new frames (null: nobody is asked).
  void Bind(HWND surface);
  // Stops asking `surface` (a window going away); another bound window stays.
  void Unbind(HWND surface);

  // Frames accepted so far.
  std::uint64_t FramesPut() const { return framesPut_.load(); }

 private:
  std::mutex lock_;
  VideoFrame latest_;
  HWND surface_ = nullptr;
  bool repaintPending_ = false;
  std::atomic<std::uint64_t> framesPut_{0};
};

// The message a slot posts to its surface when a new frame waits.
constexpr UINT WM_VIDEO_FRAME_READY = 0x8000 + 0x3A0;  // WM_APP + 0x3A0

// Creates the surface as a child of `parent` (style gets WS_CHILD), at the
// given client rectangle of the parent, painting the frames of `slot` (which
// it binds to itself). Null when the parent is not a window or `slot` is
// null. The surface lives until it or its parent is destroyed.
HWND CreateVideoSurface(HWND parent, std::shared_ptr<VideoFrameSlot> slot, DWORD style, int x,
                        int y, int cx, int cy);
// The window that receives the surface's mouse and key messages; null for
// none. False when `surface` is not a video surface.
bool SetVideoSurfaceDrain(HWND surface, HWND drain);
// Whether the handle is a live video surface.
bool IsVideoSurface(HWND hwnd);
// Paints made by the surface that showed a frame (for tests and diagnostics).
std::uint64_t VideoSurfaceFramePaints(HWND surface);

}  // namespace quavix::win
