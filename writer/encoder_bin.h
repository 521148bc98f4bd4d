// The encoding core of the WMA writer: a bin of stock GStreamer elements.
//
//   sink (raw audio) -> audioconvert -> audioresample -> 44.1 kHz stereo S16
//        -> tee -> queue -> audioconvert -> avenc_wmav2 -> asfmux -> fdsink (output file)
//               -> queue -> wavenc -> src (WAV bytes for the next filter)
//
// The bin registers no GType of its own: this code lives in a module that the
// program loads, and a second registration of a type would collide.
#pragma once

#include <gst/gst.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "writer/asf_file.h"

namespace quavix::writer {

constexpr gint kWmaBitrate = 128000;
constexpr gint kWmaRate = 44100;
constexpr gint kWmaChannels = 2;
// One ASF packet holds 0.3 s at 128 kbit/s, so a killed run loses at most
// that much plus what the encoder still holds.
constexpr guint kAsfPacketSize = 4800;

// Builds the bin with a ghost sink pad named `sinkPad` (raw audio in) and a
// ghost src pad named `srcPad` (WAV out). Returns a floating reference, or
// null when an element is missing from the installation. Until
// AttachOutputFile has given it a file the WMA branch cannot write, and a run
// fails with an error from the element named "wma-file".
GstElement *CreateEncoderBin(const char *name, const char *sinkPad = "sink",
                             const char *srcPad = "src");

// Opens `path` for the WMA (created, or truncated if it exists) without ever
// following a symbolic link at its last component, and hands the descriptor
// to the bin's file sink. The bin keeps the descriptor and closes it when it
// is destroyed or given another file. Call only while the bin is in the NULL
// or READY state. Returns 0, or the errno value of the failure (the bin then
// keeps no file and will fail to start).
int AttachOutputFile(GstElement *bin, const char *path);

// Lets go of the output file after a run (its data flushed to the disk), so
// that the file is closed even while the bin lives on. A file whose stream
// never ended is finished first from what was written. Call only while the
// bin is in the NULL state. Harmless without a file.
void DetachOutputFile(GstElement *bin);

// Posts a resource error on the bin's bus for an output file that could not
// be opened, so the graph reports the failure instead of finishing silently.
void PostOutputFileError(GstElement *bin, const char *path, int err);

// Text of an output-file error, also used in the message posted above.
std::string OutputFileErrorText(const char *path, int err);

}  // namespace quavix::writer
