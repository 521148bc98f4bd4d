#include "platform/dshow/video_renderer.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include "platform/dshow/gst_util.h"
#include "platform/dshow/uuids.h"

#include "platform/win/video_surface.h"
#include "platform/win/window.h"

namespace {

// Window style bits as the renderer's window reports and accepts them.
constexpr long kChild = 0x40000000;
constexpr long kMinimized = 0x20000000;
constexpr long kDisabled = 0x08000000;
constexpr long kClipSiblings = 0x04000000;
constexpr long kClipChildren = 0x02000000;
constexpr long kMaximized = 0x01000000;
constexpr long kScrollBars = 0x00300000;
constexpr long kOverlappedWindow = 0x00CF0000;  // caption, system menu, sizing frame, boxes

AM_MEDIA_TYPE VideoType() {
  AM_MEDIA_TYPE mt{};
  mt.majortype = MEDIATYPE_Video;
  return mt;
}

using quavix::win::VideoFrame;
using quavix::win::VideoFrameSlot;

// A decoded frame mapped for reading; unmapped and released with its last
// reference, which may be dropped on any thread.
struct MappedFrame {
  GstSample *sample = nullptr;
  GstVideoFrame frame{};
  ~MappedFrame() {
    gst_video_frame_unmap(&frame);
    gst_sample_unref(sample);
  }
};

// Runs on a streaming thread: only maps the buffer and hands a reference
// to the slot; the copy to the screen happens when the window paints.
void Deliver(VideoFrameSlot *slot, GstSample *sample) {
  if (sample == nullptr) return;
  GstVideoInfo info;
  GstCaps *caps = gst_sample_get_caps(sample);
  GstBuffer *buffer = gst_sample_get_buffer(sample);
  if (caps == nullptr || buffer == nullptr || !gst_video_info_from_caps(&info, caps) ||
      GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_RGBx) {
    gst_sample_unref(sample);
    return;
  }
  auto mapped = std::make_shared<MappedFrame>();
  if (!gst_video_frame_map(&mapped->frame, &info, buffer, GST_MAP_READ)) {
    gst_sample_unref(sample);
    return;
  }
  mapped->sample = sample;
  VideoFrame frame;
  frame.width = GST_VIDEO_FRAME_WIDTH(&mapped->frame);
  frame.height = GST_VIDEO_FRAME_HEIGHT(&mapped->frame);
  frame.stride = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped->frame, 0);
  frame.pixels = static_cast<const unsigned char *>(GST_VIDEO_FRAME_PLANE_DATA(&mapped->frame, 0));
  frame.keeper = std::move(mapped);
  slot->Put(std::move(frame));
}

GstFlowReturn OnNewSample(GstAppSink *sink, gpointer data) {
  auto *slot = static_cast<std::shared_ptr<VideoFrameSlot> *>(data);
  Deliver(slot->get(), gst_app_sink_pull_sample(sink));
  return GST_FLOW_OK;
}

// A cued (paused) graph shows its first frame too.
GstFlowReturn OnNewPreroll(GstAppSink *sink, gpointer data) {
  auto *slot = static_cast<std::shared_ptr<VideoFrameSlot> *>(data);
  Deliver(slot->get(), gst_app_sink_pull_preroll(sink));
  return GST_FLOW_OK;
}

void ReleaseSlotRef(gpointer data) { delete static_cast<std::shared_ptr<VideoFrameSlot> *>(data); }

}  // namespace

CVideoRendererFilter::CVideoRendererFilter()
    : CBaseFilter(CLSID_VideoRenderer), m_style(kOverlappedWindow | kClipSiblings | kClipChildren) {
  AddPin(std::make_unique<CBasePin>(this, PINDIR_INPUT, u"Input", VideoType()));
  m_slot = std::make_shared<VideoFrameSlot>();
}

CVideoRendererFilter::~CVideoRendererFilter() { DestroySurface(); }

GstElement *CVideoRendererFilter::CreateElement() {
  GstElement *convert = MakeElement("videoconvert");
  GstElement *sink = MakeElement("appsink", "frames");
  if (!convert || !sink) {
    if (convert) gst_object_unref(gst_object_ref_sink(convert));
    if (sink) gst_object_unref(gst_object_ref_sink(sink));
    return nullptr;
  }
  GstCaps *caps = gst_caps_from_string("video/x-raw,format=RGBx");
  // Keep only the newest frame: a window that paints late must never hold
  // the stream up.
  g_object_set(sink, "caps", caps, "max-buffers", 1u, "drop", TRUE, "sync", TRUE, nullptr);
  gst_caps_unref(caps);
  GstAppSinkCallbacks callbacks{};
  callbacks.new_preroll = &OnNewPreroll;
  callbacks.new_sample = &OnNewSample;
  gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks,
                             new std::shared_ptr<VideoFrameSlot>(m_slot), &ReleaseSlotRef);
  GstElement *bin = gst_bin_new(nullptr);
  gst_bin_add_many(GST_BIN(bin), convert, sink, nullptr);
  if (!gst_element_link(convert, sink) || !AddGhostPad(bin, convert, "sink", Pin(0))) {
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  return bin;
}

void CVideoRendererFilter::OnStateChanged(FILTER_STATE state) {
  if (state != State_Stopped && m_autoShow && m_visible == OAFALSE) {
    m_visible = OATRUE;
    ApplyVisibility();
  }
}

std::uint64_t CVideoRendererFilter::FramesDelivered() const { return m_slot->FramesPut(); }

void CVideoRendererFilter::SetNativeSize(long width, long height) {
  if (m_positionSet) return;
  m_width = width;
  m_height = height;
}

HRESULT CVideoRendererFilter::PutVisible(long visible) {
  if (visible != OATRUE && visible != OAFALSE) return E_INVALIDARG;
  m_autoShow = false;
  m_visible = visible;
  ApplyVisibility();
  return S_OK;
}

HRESULT CVideoRendererFilter::GetVisible(long *visible) const {
  if (!visible) return E_POINTER;
  *visible = m_visible;
  return S_OK;
}

HRESULT CVideoRendererFilter::PutWindowStyle(long style) {
  // Styles a renderer's window refuses: states and scroll bars are its own.
  if (style & (kDisabled | kMinimized | kMaximized | kScrollBars)) return E_INVALIDARG;
  m_style = style;
  return S_OK;
}

HRESULT CVideoRendererFilter::GetWindowStyle(long *style) const {
  if (!style) return E_POINTER;
  *style = m_style;
  return S_OK;
}

HRESULT CVideoRendererFilter::PutOwner(OAHWND owner) {
  if (owner == m_owner && (owner == 0 || m_surface != 0)) return S_OK;
  DestroySurface();
  m_owner = owner;
  if (owner == 0) return S_OK;
  HWND parent = reinterpret_cast<HWND>(owner);
  if (!IsWindow(parent)) return E_INVALIDARG;
  HWND surface = quavix::win::CreateVideoSurface(
      parent, m_slot, static_cast<DWORD>(m_style | kChild), m_left, m_top, m_width, m_height);
  if (surface == nullptr) return E_FAIL;
  m_surface = reinterpret_cast<OAHWND>(surface);
  quavix::win::SetVideoSurfaceDrain(surface, reinterpret_cast<HWND>(m_drain));
  // Cued or running already: the picture shows at once.
  if (m_autoShow && State() != State_Stopped) m_visible = OATRUE;
  ApplyVisibility();
  return S_OK;
}

HRESULT CVideoRendererFilter::GetOwner(OAHWND *owner) const {
  if (!owner) return E_POINTER;
  *owner = m_owner;
  return S_OK;
}

HRESULT CVideoRendererFilter::PutMessageDrain(OAHWND drain) {
  m_drain = drain;
  if (m_surface)
    quavix::win::SetVideoSurfaceDrain(reinterpret_cast<HWND>(m_surface),
                                      reinterpret_cast<HWND>(drain));
  return S_OK;
}

HRESULT CVideoRendererFilter::GetMessageDrain(OAHWND *drain) const {
  if (!drain) return E_POINTER;
  *drain = m_drain;
  return S_OK;
}

HRESULT CVideoRendererFilter::SetWindowPosition(long left, long top, long width, long height) {
  if (width < 0 || height < 0) return E_INVALIDARG;
  m_left = left;
  m_top = top;
  m_width = width;
  m_height = height;
  m_positionSet = true;
  if (m_surface && !MoveWindow(reinterpret_cast<HWND>(m_surface), left, top, width, height, TRUE))
    return E_FAIL;
  return S_OK;
}

HRESULT CVideoRendererFilter::GetWindowPosition(long *left, long *top, long *width,
                                                long *height) const {
  if (!left || !top || !width || !height) return E_POINTER;
  *left = m_left;
  *top = m_top;
  *width = m_width;
  *height = m_height;
  return S_OK;
}

HRESULT CVideoRendererFilter::NotifyOwnerMessage(OAHWND, long, LONG_PTR, LONG_PTR) {
  // The window layer repaints the child with its owner and reports display
  // changes to it directly, so no owner message needs handling here.
  return S_OK;
}

void CVideoRendererFilter::ApplyVisibility() {
  if (m_surface)
    ShowWindow(reinterpret_cast<HWND>(m_surface), m_visible == OATRUE ? SW_SHOW : SW_HIDE);
}

void CVideoRendererFilter::DestroySurface() {
  // The owner may have taken the window with it already; a handle is never
  // reused, so a stale one is simply not a window any more.
  HWND surface = reinterpret_cast<HWND>(m_surface);
  if (surface != nullptr && IsWindow(surface)) DestroyWindow(surface);
  m_surface = 0;
}
