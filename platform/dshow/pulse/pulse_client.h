// The program's connection to the sound server (libpulse, threaded main
// loop): the list of capture devices, the level of a line, and device
// removal and return as they happen.
//
// Every call waits a bounded time (kTimeoutMs) and never hangs: with no
// server it returns at once with kNoServer; a server that stops answering
// gives kTimeout. A connection that broke is made again on the next call.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dshow/pulse/pulse_devices.h"

namespace quavix::pulse {

enum class PulseStatus {
  kOk,
  kNoServer,         // no server answered
  kTimeout,          // the server did not answer in time
  kNotFound,         // no such source
  kInvalidArgument,  // e.g. a level outside 0.0-1.0
  kWrongThread,      // a synchronous call from inside a device callback
  kFailed,           // any other refusal by the server
};

const char *StatusText(PulseStatus status);

struct DeviceEvent {
  enum Kind { kRemoved, kAdded };
  Kind kind;
  std::string device_id;  // CaptureDevice::id
};

class PulseClient {
 public:
  static constexpr int kTimeoutMs = 3000;

  // The process-wide client, created at the first use and kept while anyone
  // holds it. Null only when the main loop cannot be created at all.
  static std::shared_ptr<PulseClient> Shared();

  ~PulseClient();
  PulseClient(const PulseClient &) = delete;
  PulseClient &operator=(const PulseClient &) = delete;

  // The capture devices in the server's order. On failure *devices is empty.
  PulseStatus ListDevices(std::vector<CaptureDevice> *devices);

  // A source's volume as a level: the average over its channels of
  // volume / normal volume, limited to 0.0-1.0 (a boost above 100 % reads 1.0).
  PulseStatus GetLevel(const std::string &source, double *level);
  // Sets every channel of the source to level x normal volume (0.0-1.0).
  PulseStatus SetLevel(const std::string &source, double level);

  // Device removal and return, delivered on the client's own thread. The
  // callback must not call this client's synchronous functions (they
  // answer kWrongThread there) and must return quickly. Returns a token
  // for RemoveDeviceListener (0 only for an empty callback or a call from
  // a callback). Watching also starts while the server cannot be reached:
  // it is tried again every second, and its devices are reported as added
  // once it answers.
  using DeviceCallback = std::function<void(const DeviceEvent &)>;
  int AddDeviceListener(DeviceCallback callback);
  // After this returns the callback is not running and will not run again.
  void RemoveDeviceListener(int token);

  struct Impl;

 private:
  explicit PulseClient(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace quavix::pulse
