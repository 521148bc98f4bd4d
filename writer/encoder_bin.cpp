#include "writer/encoder_bin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quavix::writer {
namespace {

constexpr const char *kFdKey = "quavix-output-fd";
constexpr const char *kFileSinkName = "wma-file";

void CloseStoredFd(gpointer data) {
  const int fd = GPOINTER_TO_INT(data) - 1;
  if (fd >= 0) close(fd);
}

// Gives the file sink `fd` and makes the bin its owner. fdsink refuses an
// invalid descriptor by keeping its old one (stdout by default), so it is
// only ever given open ones.
void HandOver(GstElement *bin, GstElement *sink, int fd) {
  g_object_set(sink, "fd", fd, nullptr);
  g_object_set_data_full(G_OBJECT(bin), kFdKey, GINT_TO_POINTER(fd + 1), CloseStoredFd);
}

// Until a file is attached the sink holds a descriptor that cannot be
// written, so a run without a file fails at its first packet instead of
// writing to stdout or succeeding silently.
bool HandOverUnwritable(GstElement *bin, GstElement *sink) {
  const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  HandOver(bin, sink, fd);
  return true;
}

GstElement *Make(const char *factory, const char *name) {
  GstElement *e = gst_element_factory_make(factory, name);
  if (!e) g_warning("quavix writer: GStreamer element '%s' is not installed", factory);
  return e;
}

GstPadProbeReturn RepairPacketProbe(GstPad *, GstPadProbeInfo *info, gpointer) {
  GstBuffer *buf = GST_PAD_PROBE_INFO_BUFFER(info);
  if (!buf || gst_buffer_get_size(buf) != kAsfPacketSize) return GST_PAD_PROBE_OK;
  std::uint8_t copy[kAsfPacketSize];
  gst_buffer_extract(buf, 0, copy, sizeof copy);
  if (!RepairShortAsfPacket(copy, sizeof copy)) return GST_PAD_PROBE_OK;
  buf = gst_buffer_make_writable(buf);
  gst_buffer_fill(buf, 0, copy, sizeof copy);
  GST_PAD_PROBE_INFO_DATA(info) = buf;
  return GST_PAD_PROBE_OK;
}

// At the clean end of a run the muxer has rewritten the header; the index
// goes after the data before the file sink sees the end of stream.
GstPadProbeReturn IndexAtEndProbe(GstPad *, GstPadProbeInfo *info, gpointer bin) {
  GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
  if (event && GST_EVENT_TYPE(event) == GST_EVENT_EOS) {
    const int fd = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(bin), kFdKey)) - 1;
    if (fd >= 0 && !AppendAsfIndex(fd))
      GST_WARNING_OBJECT(bin, "the WMA file was finished without an index");
  }
  return GST_PAD_PROBE_OK;
}

bool AddAndLink(GstBin *bin, std::initializer_list<GstElement *> chain) {
  for (GstElement *e : chain) gst_bin_add(bin, e);
  GstElement *prev = nullptr;
  for (GstElement *e : chain) {
    if (prev && !gst_element_link(prev, e)) return false;
    prev = e;
  }
  return true;
}

}  // namespace

GstElement *CreateEncoderBin(const char *name, const char *sinkPad, const char *srcPad) {
  GstElement *convertIn = Make("audioconvert", "convert-in");
  GstElement *resample = Make("audioresample", "resample");
  GstElement *caps = Make("capsfilter", "format");
  GstElement *tee = Make("tee", "split");
  GstElement *wmaQueue = Make("queue", "wma-queue");
  GstElement *convertWma = Make("audioconvert", "convert-wma");
  GstElement *encoder = Make("avenc_wmav2", "wma-encoder");
  GstElement *mux = Make("asfmux", "asf-mux");
  GstElement *fileSink = Make("fdsink", kFileSinkName);
  GstElement *wavQueue = Make("queue", "wav-queue");
  GstElement *wavEnc = Make("wavenc", "wav-encoder");
  GstElement *all[] = {convertIn, resample, caps,     tee,      wmaQueue, convertWma,
                       encoder,   mux,      fileSink, wavQueue, wavEnc};
  bool missing = false;
  for (GstElement *e : all) missing = missing || !e;
  if (missing) {
    for (GstElement *e : all)
      if (e) gst_object_unref(gst_object_ref_sink(e));
    return nullptr;
  }

  GstCaps *raw = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "rate",
                                     G_TYPE_INT, kWmaRate, "channels", G_TYPE_INT, kWmaChannels,
                                     "layout", G_TYPE_STRING, "interleaved", nullptr);
  g_object_set(caps, "caps", raw, nullptr);
  gst_caps_unref(raw);
  g_object_set(encoder, "bitrate", kWmaBitrate, nullptr);
  // Not streamable: the header is rewritten with the duration at the end of
  // stream, while a run cut short still leaves a readable broadcast-style file.
  g_object_set(mux, "streamable", FALSE, "packet-size", kAsfPacketSize, nullptr);
  g_object_set(fileSink, "sync", FALSE, nullptr);
  // A capture does not wait: room for a few seconds of disk stalls in either
  // branch before the tee has to hold the audio back.
  for (GstElement *q : {wmaQueue, wavQueue})
    g_object_set(q, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                 static_cast<guint64>(5 * GST_SECOND), nullptr);

  GstElement *bin = gst_bin_new(name);
  GstBin *b = GST_BIN(bin);
  bool ok = AddAndLink(b, {convertIn, resample, caps, tee}) &&
            AddAndLink(b, {wmaQueue, convertWma, encoder, mux, fileSink}) &&
            AddAndLink(b, {wavQueue, wavEnc}) && gst_element_link(tee, wmaQueue) &&
            gst_element_link(tee, wavQueue);
  if (ok) {
    GstPad *in = gst_element_get_static_pad(convertIn, "sink");
    GstPad *out = gst_element_get_static_pad(wavEnc, "src");
    ok = gst_element_add_pad(bin, gst_ghost_pad_new(sinkPad, in)) &&
         gst_element_add_pad(bin, gst_ghost_pad_new(srcPad, out));
    gst_object_unref(in);
    gst_object_unref(out);
  }
  if (ok) {
    GstPad *muxOut = gst_element_get_static_pad(mux, "src");
    gst_pad_add_probe(muxOut, GST_PAD_PROBE_TYPE_BUFFER, RepairPacketProbe, nullptr, nullptr);
    gst_object_unref(muxOut);
    GstPad *fileIn = gst_element_get_static_pad(fileSink, "sink");
    gst_pad_add_probe(fileIn, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, IndexAtEndProbe, bin, nullptr);
    gst_object_unref(fileIn);
  }
  if (ok) ok = HandOverUnwritable(bin, fileSink);
  if (!ok) {
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  return bin;
}

int AttachOutputFile(GstElement *bin, const char *path) {
  if (!bin || !GST_IS_BIN(bin)) return EINVAL;
  GstElement *sink = gst_bin_get_by_name(GST_BIN(bin), kFileSinkName);
  if (!sink) return EINVAL;
  int err = 0;
  if (!path || !*path) {
    err = ENOENT;
  } else {
    // O_NONBLOCK keeps a FIFO planted at the path from blocking the open; the
    // descriptor is refused below unless it is a regular file.
    const int fd =
        open(path, O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
      err = errno;
    } else {
      struct stat st;
      if (fstat(fd, &st) != 0) {
        err = errno;
      } else if (!S_ISREG(st.st_mode)) {
        err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
      } else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        err = errno;
      }
      if (err)
        close(fd);
      else
        HandOver(bin, sink, fd);
    }
  }
  // A failure leaves the bin without a file, whatever it had before.
  if (err && !HandOverUnwritable(bin, sink)) err = errno;
  gst_object_unref(sink);
  return err;
}

void DetachOutputFile(GstElement *bin) {
  if (!bin || !GST_IS_BIN(bin)) return;
  GstElement *sink = gst_bin_get_by_name(GST_BIN(bin), kFileSinkName);
  if (!sink) return;
  const int fd = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(bin), kFdKey)) - 1;
  // The end of the stream never reached the file (the graph gave up waiting
  // for it on a slow machine, or the run failed): finish it from the
  // packets that were written, so it still plays whole and seeks.
  if (fd >= 0 && FinishCutAsfFile(fd)) {
    GST_WARNING_OBJECT(bin, "the WMA file was finished from the packets written");
    if (!AppendAsfIndex(fd)) GST_WARNING_OBJECT(bin, "the WMA file was finished without an index");
  }
  if (fd >= 0) fdatasync(fd);
  HandOverUnwritable(bin, sink);
  gst_object_unref(sink);
}

std::string OutputFileErrorText(const char *path, int err) {
  std::string text = "Cannot write the WMA file \"";
  text += path ? path : "";
  text += "\": ";
  if (!path || !*path)
    text += "no output file name was given";
  else if (err == ELOOP)
    text += "the path is a symbolic link";
  else
    text += g_strerror(err);
  return text;
}

void PostOutputFileError(GstElement *bin, const char *path, int err) {
  const std::string text = OutputFileErrorText(path, err);
  GError *error =
      g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_OPEN_WRITE, text.c_str());
  gst_element_post_message(bin, gst_message_new_error(GST_OBJECT(bin), error, text.c_str()));
  g_error_free(error);
}

}  // namespace quavix::writer
