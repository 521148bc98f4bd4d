// The warm-up stream of a loop-back line (see LineWarmer).
#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace quavix::pulse {

// A record stream of its own on a loop-back line, kept open while the filter
// sits in a graph. An output that nobody records renders ahead in blocks of
// its largest latency (about 2 s on a null output), and a new record stream's
// request for less only takes effect one or two blocks later: the run's
// recording would begin with a block rendered ahead, and the whole recording
// would lag the music by as much. With this stream already there, the output is already
// rendering in short blocks when the run connects its own stream.
//
// Its data is dropped unread. It asks for fragments of kWarmLatencyUs, so it
// wakes rarely and the first block after a run's stream connects is short.
// It does not keep an idle output from being suspended: resuming one starts
// its rendering afresh, which is just as prompt.
class LineWarmer {
 public:
  static constexpr pa_usec_t kWarmLatencyUs = 50000;
  static constexpr pa_usec_t kStartLatencyUs = 10000;
  static constexpr pa_usec_t kStartSpellUs = 1500000;
  // How far the received audio may run ahead of the clock for the output to
  // count as rendering in short blocks.
  static constexpr double kAheadLimitSeconds = 0.25;

  LineWarmer() = default;
  LineWarmer(const LineWarmer &) = delete;
  LineWarmer &operator=(const LineWarmer &) = delete;
  ~LineWarmer() { Close(); }

  // Records source from now on (another source is let go first); "" closes.
  // Returns at once: the server is reached on the warmer's own thread.
  void Open(const std::string &source);
  void Close();
  // Waits at most timeout for the stream to deliver at the pace of the
  // clock. Returns at once when it already does, when there is none, when it failed or when its
  // source is suspended (nothing will arrive before a run wakes it).
  void WaitUntilDelivering(std::chrono::milliseconds timeout);
  // Asks for fragments of kStartLatencyUs for kStartSpellUs, then for
  // kWarmLatencyUs again. The output renders in blocks of the shortest
  // fragment any of its recordings asks for, and PipeWire runs its whole
  // graph in cycles of that length: at a run's start short blocks bring the
  // music that starts then into the recording one or two long cycles
  // sooner (about 35 ms on PipeWire). Later they would only cost the sound
  // server wake-ups.
  void AskShortBlocksForAWhile();

 private:
  enum class Phase { kIdle, kConnecting, kDelivering, kSuspended, kFailed };

  bool StartLoop();
  void ConnectStream();  // with the main loop locked
  void DropStream();     // with the main loop locked
  void SetPhase(Phase phase);
  void AskFragment(pa_usec_t latency);  // with the main loop locked

  static void OnContextState(pa_context *c, void *self);
  static void OnStreamState(pa_stream *s, void *self);
  static void OnStreamRead(pa_stream *s, size_t nbytes, void *self);
  static void OnStreamSuspended(pa_stream *s, void *self);
  static void OnStartSpellOver(pa_mainloop_api *, pa_time_event *, const struct timeval *,
                               void *self);

  // Data of the current stream, on the main loop's thread only: when the
  // first arrived and how much audio came since.
  std::chrono::steady_clock::time_point m_firstData;
  bool m_gotData = false;
  double m_receivedSeconds = 0;

  std::mutex m_use;  // serialises Open and Close
  pa_threaded_mainloop *m_loop = nullptr;
  pa_context *m_context = nullptr;
  pa_stream *m_stream = nullptr;               // guarded by the main loop's lock
  pa_time_event *m_startSpellTimer = nullptr;  // likewise; ends the short blocks
  std::string m_source;                        // likewise

  std::mutex m_phaseLock;
  std::condition_variable m_phaseChanged;
  Phase m_phase = Phase::kIdle;
};

}  // namespace quavix::pulse
