#include "platform/dshow/pulse/capture_filter.h"

#include <gst/gst.h>

#include <mutex>
#include <string>

#include "platform/dshow/base_filter.h"

#include "platform/com/olestr.h"
#include "platform/dshow/evcode.h"
#include "platform/dshow/uuids.h"

namespace quavix::pulse {

HRESULT StatusToHresult(PulseStatus status) {
  switch (status) {
    case PulseStatus::kOk: return S_OK;
    case PulseStatus::kInvalidArgument: return E_INVALIDARG;
    case PulseStatus::kNotFound: return VFW_E_NOT_FOUND;
    case PulseStatus::kTimeout: return VFW_E_TIMEOUT;
    case PulseStatus::kWrongThread: return E_UNEXPECTED;
    case PulseStatus::kNoServer:
    case PulseStatus::kFailed: return E_FAIL;
  }
  return E_FAIL;
}

namespace {

class CAudioCaptureFilter final : public CBaseFilter {
 public:
  CAudioCaptureFilter(CaptureDevice device, std::shared_ptr<PulseClient> client);
  ~CAudioCaptureFilter() override;

  HRESULT JoinFilterGraph(IFilterGraph *pGraph, LPCWSTR pName) override;

  // The line recorded now: the enabled one, else the first loop-back line,
  // else the first line; -1 when the device has no line.
  int RecordedLine() const;
  // The source pulsesrc records ("" when there is no line).
  std::string RecordedSource() const;

  // Used by the line pins.
  HRESULT EnableLine(int line, bool enable);
  bool IsLineRecorded(int line) const;
  PulseClient *Client() const { return m_client.get(); }

 protected:
  GstElement *CreateElement() override;
  HRESULT OnPrepareState(FILTER_STATE target) override;

 private:
  void ApplyDevice();
  void OnDeviceEvent(const DeviceEvent &e);

  const CaptureDevice m_device;
  const std::shared_ptr<PulseClient> m_client;
  mutable std::mutex m_lineLock;
  int m_enabled = -1;  // the line enabled with put_Enable(TRUE), or -1
  std::mutex m_watchLock;  // guards m_watchToken
  int m_watchToken = 0;
};

// A line of the device. It carries no data: nothing connects to it, which
// also keeps the graph's rendering from wiring the filter's own output back
// into one of its lines.
class CLinePin final : public CBasePin, public IAMAudioInputMixer {
 public:
  CLinePin(CAudioCaptureFilter *filter, int line, const CaptureLine &info)
      : CBasePin(filter, PINDIR_INPUT, Utf8ToUtf16(info.description), NoType()),
        m_owner(filter),
        m_line(line),
        m_source(info.source) {}

  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return CBasePin::QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return CBasePin::AddRef(); }
  ULONG Release() override { return CBasePin::Release(); }

  HRESULT CheckMediaType(const AM_MEDIA_TYPE *mt) override {
    return mt ? S_FALSE : E_POINTER;
  }
  HRESULT QueryPinInterface(REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IAMAudioInputMixer) {
      *ppv = static_cast<IAMAudioInputMixer *>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }

  // IAMAudioInputMixer
  HRESULT put_Enable(BOOL fEnable) override { return m_owner->EnableLine(m_line, fEnable != 0); }
  HRESULT get_Enable(BOOL *pfEnable) override {
    if (!pfEnable) return E_POINTER;
    *pfEnable = m_owner->IsLineRecorded(m_line) ? TRUE : FALSE;
    return S_OK;
  }
  HRESULT put_MixLevel(double Level) override {
    if (!m_owner->Client()) return E_FAIL;
    return StatusToHresult(m_owner->Client()->SetLevel(m_source, Level));
  }
  HRESULT get_MixLevel(double *pLevel) override {
    if (!pLevel) return E_POINTER;
    if (!m_owner->Client()) return E_FAIL;
    return StatusToHresult(m_owner->Client()->GetLevel(m_source, pLevel));
  }

 private:
  static AM_MEDIA_TYPE NoType() {
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Audio;
    return mt;
  }

  CAudioCaptureFilter *const m_owner;
  const int m_line;
  const std::string m_source;
};

AM_MEDIA_TYPE CaptureType() {
  AM_MEDIA_TYPE mt{};
  InitAudioMediaType(&mt, 44100, 2, 16);
  return mt;
}

// pulsesrc asks the server for fragments of latency-time, which is what
// sets the delay between the sound and its recording (and so the leading
// silence of a run). The buffer only has to hold what arrives in a burst
// from outputs that render in large blocks; it adds no delay of its own.
constexpr gint64 kBufferTimeUs = 200000;
constexpr gint64 kLatencyTimeUs = 10000;

CAudioCaptureFilter::CAudioCaptureFilter(CaptureDevice device, std::shared_ptr<PulseClient> client)
    : CBaseFilter(CLSID_AudioRecord), m_device(std::move(device)), m_client(std::move(client)) {
  for (std::size_t i = 0; i < m_device.lines.size(); ++i)
    AddPin(std::make_unique<CLinePin>(this, static_cast<int>(i), m_device.lines[i]));
  AM_MEDIA_TYPE mt = CaptureType();
  AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, u"Capture", mt));
  FreeMediaType(mt);
}

CAudioCaptureFilter::~CAudioCaptureFilter() {
  std::lock_guard<std::mutex> g(m_watchLock);
  if (m_client && m_watchToken) m_client->RemoveDeviceListener(m_watchToken);
  m_watchToken = 0;
}

HRESULT CAudioCaptureFilter::JoinFilterGraph(IFilterGraph *pGraph, LPCWSTR pName) {
  HRESULT hr = CBaseFilter::JoinFilterGraph(pGraph, pName);
  if (FAILED(hr) || !m_client) return hr;
  std::lock_guard<std::mutex> g(m_watchLock);
  if (pGraph && !m_watchToken) {
    // Watching starts only in a graph: only a graph can be told. A server
    // that cannot be reached now leaves the filter unwatched; its run fails
    // on its own.
    m_watchToken =
        m_client->AddDeviceListener([this](const DeviceEvent &e) { OnDeviceEvent(e); });
  } else if (!pGraph && m_watchToken) {
    // The base class has already detached from the graph's event sink, so
    // a callback running now delivers nothing and cannot wait on the graph.
    m_client->RemoveDeviceListener(m_watchToken);
    m_watchToken = 0;
  }
  return hr;
}

void CAudioCaptureFilter::OnDeviceEvent(const DeviceEvent &e) {
  if (e.device_id != m_device.id) return;
  NotifyEvent(EC_DEVICE_LOST, 0, e.kind == DeviceEvent::kRemoved ? 0 : 1);
}

int CAudioCaptureFilter::RecordedLine() const {
  std::lock_guard<std::mutex> g(m_lineLock);
  if (m_enabled >= 0) return m_enabled;
  for (std::size_t i = 0; i < m_device.lines.size(); ++i)
    if (m_device.lines[i].loopback) return static_cast<int>(i);
  return m_device.lines.empty() ? -1 : 0;
}

std::string CAudioCaptureFilter::RecordedSource() const {
  int line = RecordedLine();
  return line < 0 ? std::string() : m_device.lines[static_cast<std::size_t>(line)].source;
}

bool CAudioCaptureFilter::IsLineRecorded(int line) const { return RecordedLine() == line; }

HRESULT CAudioCaptureFilter::EnableLine(int line, bool enable) {
  if (line < 0 || static_cast<std::size_t>(line) >= m_device.lines.size()) return E_INVALIDARG;
  {
    std::lock_guard<std::mutex> g(m_lineLock);
    if (enable)
      m_enabled = line;
    else if (m_enabled == line)
      m_enabled = -1;
  }
  ApplyDevice();
  return S_OK;
}

void CAudioCaptureFilter::ApplyDevice() {
  GstElement *bin = Element();
  if (!bin) return;
  GstElement *src = gst_bin_get_by_name(GST_BIN(bin), "src");
  if (!src) return;
  std::string source = RecordedSource();
  g_object_set(src, "device", source.empty() ? nullptr : source.c_str(), nullptr);
  gst_object_unref(src);
}

GstElement *CAudioCaptureFilter::CreateElement() {
  if (!gst_is_initialized() && !gst_init_check(nullptr, nullptr, nullptr)) return nullptr;
  GstElement *src = gst_element_factory_make("pulsesrc", "src");
  GstElement *convert = gst_element_factory_make("audioconvert", nullptr);
  GstElement *resample = gst_element_factory_make("audioresample", nullptr);
  GstElement *caps = gst_element_factory_make("capsfilter", nullptr);
  if (!src || !convert || !resample || !caps) {
    for (GstElement *e : {src, convert, resample, caps})
      if (e) gst_object_unref(gst_object_ref_sink(e));
    return nullptr;
  }
  g_object_set(src, "buffer-time", kBufferTimeUs, "latency-time", kLatencyTimeUs, "client-name",
               "Quavix", nullptr);
  GstCaps *c = gst_caps_from_string(
      "audio/x-raw,format=S16LE,layout=interleaved,rate=44100,channels=2");
  g_object_set(caps, "caps", c, nullptr);
  gst_caps_unref(c);

  GstElement *bin = gst_bin_new(nullptr);
  gst_bin_add_many(GST_BIN(bin), src, convert, resample, caps, nullptr);
  if (!gst_element_link_many(src, convert, resample, caps, nullptr) ||
      !AddGhostPad(bin, caps, "src", Pin(PinCount() - 1))) {
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  std::string source = RecordedSource();
  if (!source.empty()) g_object_set(src, "device", source.c_str(), nullptr);
  return bin;
}

HRESULT CAudioCaptureFilter::OnPrepareState(FILTER_STATE target) {
  if (target != State_Stopped && RecordedLine() < 0) return VFW_E_NOT_CONNECTED;
  ApplyDevice();
  return S_OK;
}

}  // namespace

HRESULT CreateAudioCaptureFilter(const CaptureDevice &device, std::shared_ptr<PulseClient> client,
                                 REFIID riid, void **ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  auto *filter = new CAudioCaptureFilter(device, std::move(client));
  HRESULT hr = filter->QueryInterface(riid, ppv);
  if (FAILED(hr)) delete filter;
  return hr;
}

}  // namespace quavix::pulse
