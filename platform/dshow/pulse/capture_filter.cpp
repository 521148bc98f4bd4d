#include "platform/dshow/pulse/capture_filter.h"

#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/dshow/base_filter.h"

#include "platform/com/olestr.h"
#include "platform/dshow/evcode.h"
#include "platform/dshow/pulse/line_warmer.h"
#include "platform/dshow/pulse/playback_route.h"
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

class CAudioCaptureFilter final : public CBaseFilter, public ICaptureLoss, public ICaptureCatchUp {
 public:
  CAudioCaptureFilter(CaptureDevice device, std::shared_ptr<PulseClient> client);
  ~CAudioCaptureFilter() override;

  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return CBaseFilter::QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return CBaseFilter::AddRef(); }
  ULONG Release() override { return CBaseFilter::Release(); }

  // ICaptureLoss
  HRESULT GetLostTime(LONGLONG *pLost) override {
    if (!pLost) return E_POINTER;
    // Scheduling alone delays the audio received by some tens of
    // milliseconds on a busy machine; only more counts as lost.
    constexpr gint64 kLagToleranceUs = 250000;
    const gint64 lag = m_lagLostUs.load();
    *pLost = static_cast<LONGLONG>(m_lostNs.load() / 100) +
             (lag > kLagToleranceUs ? static_cast<LONGLONG>(lag) * 10 : 0);
    return S_OK;
  }

  // ICaptureCatchUp
  HRESULT WaitForCapturedAudio(DWORD msTimeout) override;

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
  HRESULT QueryFilterInterface(REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_ICaptureLoss) {
      *ppv = static_cast<ICaptureLoss *>(this);
      AddRef();
      return S_OK;
    }
    if (riid == IID_ICaptureCatchUp) {
      *ppv = static_cast<ICaptureCatchUp *>(this);
      AddRef();
      return S_OK;
    }
    return CBaseFilter::QueryFilterInterface(riid, ppv);
  }
  void OnStateChanged(FILTER_STATE state) override;

 private:
  // Audio is lost two ways: pulsesrc drops what its ring buffer cannot hold
  // and says so by a jump of its timestamps; the sound server drops what its
  // record buffer cannot hold and says nothing, so the audio received falls
  // behind the clock for good. Both are counted on the streaming thread.
  static GstPadProbeReturn CountLostAudio(GstPad *pad, GstPadProbeInfo *info, gpointer self);
  void TrackLag(gint64 nowUs, GstClockTime duration);

  // Waits until pulsesrc has handed on its first audio, at most timeout:
  // the stream starts recording when the server has acted on pulsesrc's
  // request, which may come after the pipeline says it plays.
  void WaitForFirstAudio(std::chrono::milliseconds timeout);
  // The pipeline's running time now, or GST_CLOCK_TIME_NONE without a clock.
  GstClockTime RunningTimeNow();

  void ApplyDevice();
  // Names the output that the recorded loop-back line monitors as the one
  // the player plays to, or withdraws it.
  void UpdateRoute();
  static GstPadProbeReturn OnCapturedBuffer(GstPad *pad, GstPadProbeInfo *info, gpointer self);
  // Opens, re-targets or closes the warm-up stream to match the graph and
  // the recorded line.
  void UpdateWarmer();
  void OnDeviceEvent(const DeviceEvent &e);

  const CaptureDevice m_device;
  const std::shared_ptr<PulseClient> m_client;
  mutable std::mutex m_lineLock;
  int m_enabled = -1;      // the line enabled with put_Enable(TRUE), or -1
  std::mutex m_watchLock;  // guards m_watchToken
  int m_watchToken = 0;
  std::atomic<bool> m_deviceGone{false};
  LineWarmer m_warmer;
  std::atomic<guint64> m_lostNs{0};
  // Where the audio handed on so far ends, in the pipeline's running time.
  std::atomic<GstClockTime> m_nextPts{GST_CLOCK_TIME_NONE};
  // How far the audio received lags the monotonic clock; the smallest lag
  // of the run is the baseline, the smallest of the last two seconds above
  // it what the run has lost (a backlog caught up with returns to it).
  std::mutex m_lagLock;
  gint64 m_firstUs = -1;
  guint64 m_receivedUs = 0;
  gint64 m_baselineLagUs = G_MAXINT64;                 // none yet
  std::deque<std::pair<gint64, gint64>> m_recentLags;  // (when, lag)
  std::atomic<gint64> m_lagLostUs{0};
  std::condition_variable m_audioArrived;  // with m_lagLock, at every buffer
  // The loudest sample of the current run (absolute 16-bit value), kept by
  // a probe on the streaming thread; whether a run was going.
  std::atomic<int> m_runPeak{0};
  std::atomic<long long> m_runFrames{0};
  bool m_running = false;
};

// -60 dBFS of a 16-bit full scale: below this a run recorded nothing a
// listener could hear (a silent output's monitor records exact zeros; a
// quiet song still peaks far above it).
constexpr int kSilencePeak = 33;
// A run is judged only once it recorded a second: a run stopped at once may
// end before the music's first note, and that says nothing about the line.
constexpr long long kJudgedFrames = 44100;

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

  HRESULT CheckMediaType(const AM_MEDIA_TYPE *mt) override { return mt ? S_FALSE : E_POINTER; }
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

// pulsesrc asks the server for fragments of latency-time: the delay between
// the sound and its recording, and how often the server and this process
// wake up for it (at 10 ms, a third of a conversion's CPU went to them).
// 25 ms keeps a run's leading silence far below what a listener notices.
// buffer-time is how long this process may fall behind (stopped, starved of
// CPU, swapping) before audio is lost: the client's ring buffer holds that
// much, and what does not fit is dropped or read back as silence. At 200 ms
// a stall of 150 ms already left 25 ms holes in both the WAV and the WMA
// (a lossy codec fills such a hole with low noise, which read as a wrong
// pitch). 2 s (350 KB) rides out every stall short of a hang; it adds no
// delay, since each fragment is handed on as soon as it arrives.
constexpr gint64 kBufferTimeUs = 2000000;
constexpr gint64 kLatencyTimeUs = 25000;
// Longest wait for the warm-up stream before a run: two blocks of an idle
// output (2 s each) and some slack. A server that does not answer costs no
// more. Only a run that comes within seconds of the filter joining its
// graph waits at all.
constexpr std::chrono::milliseconds kWarmUpLimit{4500};
// Longest wait for the first audio of a run. A line that delivers comes
// within a fragment; the warm-up above has already waited for a line that
// starts late, so only a line that delivers nothing at all costs this.
constexpr std::chrono::milliseconds kFirstAudioLimit{1000};

CAudioCaptureFilter::CAudioCaptureFilter(CaptureDevice device, std::shared_ptr<PulseClient> client)
    : CBaseFilter(CLSID_AudioRecord), m_device(std::move(device)), m_client(std::move(client)) {
  for (std::size_t i = 0; i < m_device.lines.size(); ++i)
    AddPin(std::make_unique<CLinePin>(this, static_cast<int>(i), m_device.lines[i]));
  AM_MEDIA_TYPE mt = CaptureType();
  AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, u"Capture", mt));
  FreeMediaType(mt);
}

CAudioCaptureFilter::~CAudioCaptureFilter() {
  RoutePlaybackTo(this, "");
  std::lock_guard<std::mutex> g(m_watchLock);
  if (m_client && m_watchToken) m_client->RemoveDeviceListener(m_watchToken);
  m_watchToken = 0;
}

HRESULT CAudioCaptureFilter::JoinFilterGraph(IFilterGraph *pGraph, LPCWSTR pName) {
  HRESULT hr = CBaseFilter::JoinFilterGraph(pGraph, pName);
  if (FAILED(hr)) return hr;
  UpdateWarmer();
  UpdateRoute();
  if (!m_client) return hr;
  std::lock_guard<std::mutex> g(m_watchLock);
  if (pGraph && !m_watchToken) {
    // Watching starts only in a graph: only a graph can be told. A server
    // that cannot be reached now is watched for its return all the same.
    m_watchToken = m_client->AddDeviceListener([this](const DeviceEvent &e) { OnDeviceEvent(e); });
  } else if (!pGraph && m_watchToken) {
    // The base class has already detached from the graph's event sink, so
    // a callback running now delivers nothing and cannot wait on the graph.
    m_client->RemoveDeviceListener(m_watchToken);
    m_watchToken = 0;
  }
  return hr;
}

void CAudioCaptureFilter::OnDeviceEvent(const DeviceEvent &e) {
  if (e.device_id != m_device.id) {
    NotifyEvent(EC_CAPTURE_DEVICES_CHANGED, 0, 0);
    return;
  }
  // Playing to an output that is gone would fail; the default output is
  // taken until the device is back.
  m_deviceGone = e.kind == DeviceEvent::kRemoved;
  UpdateRoute();
  NotifyEvent(EC_DEVICE_LOST, 0, e.kind == DeviceEvent::kRemoved ? 0 : 1);
}

void CAudioCaptureFilter::UpdateRoute() {
  std::string output;
  if (Graph() && !m_deviceGone) {
    int line = RecordedLine();
    if (line >= 0 && m_device.lines[static_cast<std::size_t>(line)].loopback)
      output = m_device.lines[static_cast<std::size_t>(line)].output;
  }
  RoutePlaybackTo(this, output);
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
  UpdateWarmer();
  UpdateRoute();
  return S_OK;
}

void CAudioCaptureFilter::UpdateWarmer() {
  // Only loop-back lines: they are the ones that start late, and holding a
  // real input (a microphone) open between runs would show it as in use.
  std::string source;
  if (Graph()) {
    int line = RecordedLine();
    if (line >= 0 && m_device.lines[static_cast<std::size_t>(line)].loopback)
      source = m_device.lines[static_cast<std::size_t>(line)].source;
  }
  m_warmer.Open(source);
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
  GstCaps *c =
      gst_caps_from_string("audio/x-raw,format=S16LE,layout=interleaved,rate=44100,channels=2");
  g_object_set(caps, "caps", c, nullptr);
  gst_caps_unref(c);

  GstElement *bin = gst_bin_new(nullptr);
  gst_bin_add_many(GST_BIN(bin), src, convert, resample, caps, nullptr);
  if (!gst_element_link_many(src, convert, resample, caps, nullptr) ||
      !AddGhostPad(bin, caps, "src", Pin(PinCount() - 1))) {
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  if (GstPad *out = gst_element_get_static_pad(caps, "src")) {
    gst_pad_add_probe(out, GST_PAD_PROBE_TYPE_BUFFER, &CAudioCaptureFilter::OnCapturedBuffer, this,
                      nullptr);
    gst_object_unref(out);
  }
  std::string source = RecordedSource();
  if (!source.empty()) g_object_set(src, "device", source.c_str(), nullptr);
  GstPad *out = gst_element_get_static_pad(src, "src");
  gst_pad_add_probe(out, GST_PAD_PROBE_TYPE_BUFFER, &CAudioCaptureFilter::CountLostAudio, this,
                    nullptr);
  gst_object_unref(out);
  return bin;
}

GstPadProbeReturn CAudioCaptureFilter::CountLostAudio(GstPad *, GstPadProbeInfo *info,
                                                      gpointer self) {
  // Timestamps of consecutive buffers may differ by rounding; a jump beyond
  // this is audio that was dropped.
  constexpr GstClockTime kTolerance = 5 * GST_MSECOND;
  auto *filter = static_cast<CAudioCaptureFilter *>(self);
  GstBuffer *buf = GST_PAD_PROBE_INFO_BUFFER(info);
  if (!buf || !GST_BUFFER_PTS_IS_VALID(buf)) return GST_PAD_PROBE_OK;
  const GstClockTime pts = GST_BUFFER_PTS(buf);
  const GstClockTime expected = filter->m_nextPts.load();
  if (expected != GST_CLOCK_TIME_NONE && pts > expected + kTolerance) {
    filter->m_lostNs += pts - expected;
    GST_WARNING("the capture lost %" GST_TIME_FORMAT " of audio", GST_TIME_ARGS(pts - expected));
  }
  const GstClockTime duration =
      GST_BUFFER_DURATION_IS_VALID(buf) ? GST_BUFFER_DURATION(buf) : GstClockTime{0};
  filter->m_nextPts = pts + duration;
  filter->TrackLag(g_get_monotonic_time(), duration);
  return GST_PAD_PROBE_OK;
}

void CAudioCaptureFilter::TrackLag(gint64 nowUs, GstClockTime duration) {
  constexpr gint64 kRecentUs = 2 * G_USEC_PER_SEC;
  constexpr gint64 kSettleUs = 3 * G_USEC_PER_SEC;
  std::lock_guard<std::mutex> g(m_lagLock);
  const auto durationUs = static_cast<gint64>(duration / GST_USECOND);
  if (m_firstUs < 0) {
    m_firstUs = nowUs - durationUs;  // the first buffer ended just now
    m_receivedUs = 0;
    m_baselineLagUs = G_MAXINT64;
    m_recentLags.clear();
  }
  m_receivedUs += static_cast<guint64>(durationUs);
  const gint64 lag = nowUs - (m_firstUs + static_cast<gint64>(m_receivedUs));
  // An output that was idle may deliver its first seconds in a burst, ahead
  // of the clock; the baseline is taken once that has passed.
  if (nowUs - m_firstUs >= kSettleUs) m_baselineLagUs = std::min(m_baselineLagUs, lag);
  while (!m_recentLags.empty() && m_recentLags.front().first < nowUs - kRecentUs)
    m_recentLags.pop_front();
  while (!m_recentLags.empty() && m_recentLags.back().second >= lag) m_recentLags.pop_back();
  m_recentLags.emplace_back(nowUs, lag);
  m_audioArrived.notify_all();
  // The front holds the smallest lag of the recent seconds: what the run
  // has lost so far, once any backlog has been caught up with.
  if (m_baselineLagUs != G_MAXINT64) m_lagLostUs = m_recentLags.front().second - m_baselineLagUs;
}

GstPadProbeReturn CAudioCaptureFilter::OnCapturedBuffer(GstPad *, GstPadProbeInfo *info,
                                                        gpointer self) {
  auto *filter = static_cast<CAudioCaptureFilter *>(self);
  GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
  GstMapInfo map;
  if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return GST_PAD_PROBE_OK;
  // The caps after this point are S16LE stereo.
  filter->m_runFrames.fetch_add(static_cast<long long>(map.size / 4), std::memory_order_relaxed);
  int peak = filter->m_runPeak.load(std::memory_order_relaxed);
  if (peak < kSilencePeak) {
    const auto *samples = reinterpret_cast<const gint16 *>(map.data);
    const std::size_t n = map.size / sizeof(gint16);
    for (std::size_t i = 0; i < n && peak < kSilencePeak; ++i)
      peak = std::max(peak, std::abs(static_cast<int>(GINT16_FROM_LE(samples[i]))));
    filter->m_runPeak.store(peak, std::memory_order_relaxed);
  }
  gst_buffer_unmap(buffer, &map);
  return GST_PAD_PROBE_OK;
}

GstClockTime CAudioCaptureFilter::RunningTimeNow() {
  GstElement *bin = Element();
  if (!bin) return GST_CLOCK_TIME_NONE;
  GstClock *clock = gst_element_get_clock(bin);
  if (!clock) return GST_CLOCK_TIME_NONE;
  const GstClockTime now = gst_clock_get_time(clock);
  gst_object_unref(clock);
  const GstClockTime base = gst_element_get_base_time(bin);
  if (!GST_CLOCK_TIME_IS_VALID(now) || now < base) return GST_CLOCK_TIME_NONE;
  return now - base;
}

HRESULT CAudioCaptureFilter::WaitForCapturedAudio(DWORD msTimeout) {
  // A device that hands on nothing for this long has stopped delivering
  // (unplugged, suspended): there is nothing more to wait for.
  constexpr auto kSilentDevice = std::chrono::milliseconds(1000);
  // Rounding of the timestamps.
  constexpr GstClockTime kTolerance = 2 * GST_MSECOND;
  GstElement *bin = Element();
  if (!bin || GST_STATE(bin) != GST_STATE_PLAYING) return S_OK;
  // What the device captured up to now carries timestamps up to now:
  // pulsesrc stamps each buffer with the running time of its capture.
  const GstClockTime stopAt = RunningTimeNow();
  if (!GST_CLOCK_TIME_IS_VALID(stopAt)) return S_OK;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(msTimeout);
  auto caughtUp = [&] {
    const GstClockTime end = m_nextPts.load();
    return end != GST_CLOCK_TIME_NONE && end + kTolerance >= stopAt;
  };
  std::unique_lock<std::mutex> g(m_lagLock);
  while (!caughtUp()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return S_FALSE;
    const guint64 before = m_receivedUs;
    // Only a whole silent wait means the device stopped; a wake-up without
    // news (condition variables may wake spuriously) waits again.
    const bool timedOut = m_audioArrived.wait_until(g, std::min(deadline, now + kSilentDevice)) ==
                          std::cv_status::timeout;
    if (timedOut && m_receivedUs == before && !caughtUp()) return S_FALSE;
  }
  return S_OK;
}

void CAudioCaptureFilter::WaitForFirstAudio(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> g(m_lagLock);
  m_audioArrived.wait_for(g, timeout, [this] { return m_firstUs >= 0; });
}

void CAudioCaptureFilter::OnStateChanged(FILTER_STATE state) {
  if (state == State_Running && !m_running) {
    m_running = true;
    // Whatever is played once Run has returned (the song) must be recorded
    // from its first moment; pulsesrc asks the server to start the stream
    // without waiting for it, and a process starved of CPU may send that
    // request tens of milliseconds late.
    WaitForFirstAudio(kFirstAudioLimit);
  } else if (state == State_Stopped && m_running) {
    m_running = false;
    // Told after the graph has stopped, so the run ends as any other does
    // first; the file is kept.
    if (m_runFrames.load() >= kJudgedFrames && m_runPeak.load() < kSilencePeak)
      NotifyEvent(EC_CAPTURE_SILENT, 0, 0);
  }
}

HRESULT CAudioCaptureFilter::OnPrepareState(FILTER_STATE target) {
  if (target != State_Stopped && RecordedLine() < 0) return VFW_E_NOT_CONNECTED;
  if (target != State_Stopped && State() == State_Stopped) {
    // A new run: pulsesrc starts its timestamps again.
    m_lostNs = 0;
    m_runPeak = 0;
    m_runFrames = 0;
    m_nextPts = GST_CLOCK_TIME_NONE;
    std::lock_guard<std::mutex> g(m_lagLock);
    m_firstUs = -1;
    m_lagLostUs = 0;
  }
  ApplyDevice();
  if (target != State_Stopped) {
    // A run that comes right after the filter joined its graph waits here
    // for the output to leave its long blocks (at most one block) rather
    // than in pulsesrc, where the wait would become a lag of the whole
    // recording behind the music.
    UpdateWarmer();
    m_warmer.WaitUntilDelivering(kWarmUpLimit);
    // The music starts right after a run does.
    if (target == State_Running) m_warmer.AskShortBlocksForAWhile();
  }
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
