// The audio capture filter of one capture device.
//
// Input pins: the device's lines in order (loop-back lines first), named by
// the server's descriptions. They carry no data and accept no connection;
// each offers IAMAudioInputMixer: put_Enable(TRUE) makes that line the one
// recorded (one at a time; with none enabled the first loop-back line is
// recorded), get/put_MixLevel read and set the line's own volume on the
// sound server. One output pin, "Capture": 44.1 kHz 16-bit stereo PCM.
//
// Its element records the enabled line with pulsesrc. While the filter is in
// a graph and its recorded line is a loop-back line, it also keeps a light
// record stream of its own open on that line (client "Quavix", stream "Line
// warm-up"), re-targeted when another line is enabled and closed when it
// leaves the graph: an output nobody records renders ahead in long blocks
// (2 s on a null output), and a run's recording would otherwise lag the
// music by such a block and lose the end of it. Preparing a run (Pause or
// Run) waits at most 4.5 s for that stream's data to keep pace with the
// clock; this only costs time when the run comes within seconds of the
// filter joining its graph. Real inputs (not loop-back) are not held open.
//
// While the filter is in a graph it also watches the server: when its
// device disappears it reports EC_DEVICE_LOST with param2 0, when the device
// comes back EC_DEVICE_LOST with param2 1 (param1 is 0), from the
// sound-server client's thread.
#pragma once

#include <memory>

#include "platform/dshow/capture.h"
#include "platform/dshow/pulse/pulse_client.h"

namespace quavix::pulse {

// HRESULT for a client status.
HRESULT StatusToHresult(PulseStatus status);

// Creates the capture filter of a device and returns its interface riid
// (IID_IBaseFilter, IID_IGstFilter, ...). The class itself stays inside the
// library: callers only ever hold it through its interfaces.
HRESULT CreateAudioCaptureFilter(const CaptureDevice &device, std::shared_ptr<PulseClient> client,
                                 REFIID riid, void **ppv);

}  // namespace quavix::pulse
