// The video renderer of a rendered file: decoded frames end in an appsink
// and are shown in a child window of whatever window the graph's
// IVideoWindow names as owner. The window is painted by the window layer
// itself (see platform/win/video_surface.h); no native window is ever handed
// to GStreamer, so this works the same on X11, Wayland and without a display.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/dshow/base_filter.h"
#include "platform/dshow/control.h"

namespace quavix::win {
class VideoFrameSlot;
}

// Input pin "Input". The window operations below are what the graph's
// IVideoWindow forwards to; they run on the user-interface thread.
class CVideoRendererFilter final : public CBaseFilter {
 public:
  CVideoRendererFilter();
  ~CVideoRendererFilter() override;

  // The size the window takes when an owner is set before any position.
  void SetNativeSize(long width, long height);

  HRESULT PutVisible(long visible);
  HRESULT GetVisible(long *visible) const;
  HRESULT PutWindowStyle(long style);
  HRESULT GetWindowStyle(long *style) const;
  HRESULT PutOwner(OAHWND owner);
  HRESULT GetOwner(OAHWND *owner) const;
  HRESULT PutMessageDrain(OAHWND drain);
  HRESULT GetMessageDrain(OAHWND *drain) const;
  HRESULT SetWindowPosition(long left, long top, long width, long height);
  HRESULT GetWindowPosition(long *left, long *top, long *width, long *height) const;
  HRESULT NotifyOwnerMessage(OAHWND hwnd, long msg, LONG_PTR wParam, LONG_PTR lParam);

  // The child window showing the frames (null without an owner).
  OAHWND SurfaceWindow() const { return m_surface; }
  // Frames that reached the window's slot so far (any thread).
  std::uint64_t FramesDelivered() const;

 protected:
  GstElement *CreateElement() override;
  void OnStateChanged(FILTER_STATE state) override;

 private:
  void DestroySurface();
  void ApplyVisibility();

  std::shared_ptr<quavix::win::VideoFrameSlot> m_slot;
  OAHWND m_owner = 0;
  OAHWND m_drain = 0;
  OAHWND m_surface = 0;
  long m_style;
  long m_visible = OAFALSE;
  // Until the caller decides, the window shows itself once the graph is
  // cued or running, as a renderer's window does by default.
  bool m_autoShow = true;
  long m_left = 0, m_top = 0, m_width = 0, m_height = 0;
  bool m_positionSet = false;
};
