#include "platform/win/video_surface.h"

#include "platform/win/gdi.h"
#include "platform/win/icon.h"
#include "platform/win/message_post.h"
#include "platform/win/messages.h"
#include "platform/win/paint_internal.h"
#include "platform/win/window.h"
#include "platform/win/window_internal.h"

#include <QImage>
#include <QPainter>

namespace quavix::win {

// ---- slot ------------------------------------------------------------------

bool VideoFrameSlot::Put(VideoFrame frame) {
  if (!frame.Valid()) return false;
  HWND notify = nullptr;
  VideoFrame previous;
  {
    std::lock_guard<std::mutex> guard(lock_);
    previous = std::move(latest_);
    latest_ = std::move(frame);
    if (surface_ != nullptr && !repaintPending_) {
      repaintPending_ = true;
      notify = surface_;
    }
  }
  framesPut_.fetch_add(1);
  // Posting outside the lock: the poster may block briefly on the event
  // queue and must not hold up the painting side.
  if (notify != nullptr && !PostMessageA(notify, WM_VIDEO_FRAME_READY, 0, 0)) {
    // The surface is gone; let a later surface be asked again.
    std::lock_guard<std::mutex> guard(lock_);
    if (surface_ == notify) repaintPending_ = false;
  }
  return true;
  // `previous` is released here, after the lock, as it may return a buffer
  // to its pool.
}

VideoFrame VideoFrameSlot::Latest() {
  std::lock_guard<std::mutex> guard(lock_);
  repaintPending_ = false;
  return latest_;
}

void VideoFrameSlot::Clear() {
  VideoFrame dropped;
  std::lock_guard<std::mutex> guard(lock_);
  dropped = std::move(latest_);
  latest_ = VideoFrame{};
}

void VideoFrameSlot::Bind(HWND surface) {
  std::lock_guard<std::mutex> guard(lock_);
  surface_ = surface;
  repaintPending_ = false;
}

void VideoFrameSlot::Unbind(HWND surface) {
  std::lock_guard<std::mutex> guard(lock_);
  if (surface_ != surface) return;
  surface_ = nullptr;
  repaintPending_ = false;
}

// ---- surface window --------------------------------------------------------

namespace {

constexpr const char *kClassName = "QuavixVideoSurface";

struct SurfaceState {
  std::shared_ptr<VideoFrameSlot> slot;
  HWND drain = nullptr;
  std::uint64_t framePaints = 0;
};

SurfaceState *StateOf(HWND hwnd) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr || w->className != kClassName) return nullptr;
  return reinterpret_cast<SurfaceState *>(w->userData);
}

// Mouse messages (move to the middle button's double click) and key
// messages (key down to system key up, characters included).
bool IsInputMessage(UINT msg) {
  return (msg >= 0x0200 && msg <= 0x0209) || (msg >= 0x0100 && msg <= 0x0105);
}

void Paint(HWND hwnd, SurfaceState *state) {
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(hwnd, &ps);
  if (QPainter *painter = PainterOf(dc)) {
    RECT client{};
    GetClientRect(hwnd, &client);
    const QRect target(0, 0, client.right, client.bottom);
    VideoFrame frame = state ? state->slot->Latest() : VideoFrame{};
    if (frame.Valid()) {
      // Wraps the decoder's pixels without copying; the frame (and with it
      // the buffer) stays referenced until the painting is done.
      QImage image(frame.pixels, frame.width, frame.height, frame.stride, QImage::Format_RGBX8888);
      painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
      painter->drawImage(target, image);
      ++state->framePaints;
    } else {
      painter->fillRect(target, Qt::black);
    }
  }
  EndPaint(hwnd, &ps);
}

LRESULT SurfaceProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  SurfaceState *state = StateOf(hwnd);
  switch (msg) {
    case WM_PAINT: Paint(hwnd, state); return 0;
    case WM_ERASEBKGND: return 1;  // the picture covers the whole client area
    case WM_VIDEO_FRAME_READY: InvalidateRect(hwnd, nullptr, FALSE); return 0;
    case WM_NCDESTROY:
      if (state != nullptr) {
        state->slot->Unbind(hwnd);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        delete state;
      }
      return DefWindowProcA(hwnd, msg, wParam, lParam);
    default: break;
  }
  if (state != nullptr && IsInputMessage(msg) && state->drain != nullptr &&
      IsWindow(state->drain)) {
    // Posted, not sent: the host may open a menu or destroy this window in
    // answer, which must not happen inside our own handler.
    PostMessageA(state->drain, msg, wParam, lParam);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void RegisterSurfaceClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &SurfaceProc;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kClassName;
  RegisterClassExA(&wc);  // fails only when it exists already
  registered = true;
}

}  // namespace

HWND CreateVideoSurface(HWND parent, std::shared_ptr<VideoFrameSlot> slot, DWORD style, int x,
                        int y, int cx, int cy) {
  if (slot == nullptr || !IsWindow(parent)) return nullptr;
  RegisterSurfaceClass();
  const DWORD childStyle =
      (style & ~(WS_POPUP | WS_CAPTION | WS_THICKFRAME)) | WS_CHILD | WS_CLIPSIBLINGS;
  HWND hwnd = CreateWindowExA(0, kClassName, "", childStyle, x, y, cx, cy, parent, nullptr, nullptr,
                              nullptr);
  if (hwnd == nullptr) return nullptr;
  auto *state = new SurfaceState{slot, nullptr, 0};
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
  if (QWidget *widget = WidgetOf(hwnd)) {
    // Every pixel is painted each time: nothing below needs drawing first.
    widget->setAttribute(Qt::WA_OpaquePaintEvent, true);
  }
  slot->Bind(hwnd);
  return hwnd;
}

bool SetVideoSurfaceDrain(HWND surface, HWND drain) {
  SurfaceState *state = StateOf(surface);
  if (state == nullptr) return false;
  state->drain = drain;
  return true;
}

bool IsVideoSurface(HWND hwnd) { return StateOf(hwnd) != nullptr; }

std::uint64_t VideoSurfaceFramePaints(HWND surface) {
  SurfaceState *state = StateOf(surface);
  return state ? state->framePaints : 0;
}

}  // namespace quavix::win
