#include "platform/dshow/graph_filters.h"

#include <gst/gst.h>

#include <cstring>

#include "platform/dshow/gst_util.h"
#include "platform/dshow/uuids.h"

#include "platform/dshow/midi/midi_source.h"
#include "platform/dshow/pulse/playback_route.h"

namespace {
AM_MEDIA_TYPE MajorType(const GUID &major) {
  AM_MEDIA_TYPE mt{};
  mt.majortype = major;
  return mt;
}

void Discard(GstElement *bin) { gst_object_unref(gst_object_ref_sink(bin)); }

// Builds "a ! b ! c" inside a new bin with a ghost sink pad for pin on the
// first element. Null when an element is missing.
GstElement *ChainBin(std::initializer_list<GstElement *> chain, const CBasePin *pin,
                     bool (*ghost)(GstElement *, GstElement *, const char *, const CBasePin *)) {
  GstElement *bin = gst_bin_new(nullptr);
  bool ok = true;
  for (GstElement *e : chain) {
    if (!e) {
      ok = false;
      continue;
    }
    gst_bin_add(GST_BIN(bin), e);
  }
  if (ok) {
    GstElement *prev = nullptr;
    for (GstElement *e : chain) {
      if (prev && !gst_element_link(prev, e)) ok = false;
      prev = e;
    }
  }
  if (ok) ok = ghost(bin, *chain.begin(), "sink", pin);
  if (!ok) {
    Discard(bin);
    return nullptr;
  }
  return bin;
}
}  // namespace

// ---- audio renderer --------------------------------------------------------

CAudioRendererFilter::CAudioRendererFilter() : CBaseFilter(CLSID_DSoundRender) {
  AddPin(std::make_unique<CBasePin>(this, PINDIR_INPUT, u"Audio Input pin (rendered)",
                                    MajorType(MEDIATYPE_Audio)));
}

GstElement *CAudioRendererFilter::CreateElement() {
  GstElement *volume = MakeElement("volume", "gain");
  GstElement *sink = MakeElement("pulsesink", "output");
  if (volume) g_object_set(volume, "volume", m_gain, nullptr);
  if (sink) g_object_set(sink, "client-name", "Quavix", nullptr);
  return ChainBin({MakeElement("audioconvert"), MakeElement("audioresample"), volume, sink}, Pin(0),
                  &CBaseFilter::AddGhostPad);
}

HRESULT CAudioRendererFilter::OnPrepareState(FILTER_STATE target) {
  if (target != State_Stopped) ApplyOutput();
  return S_OK;
}

// The song must be heard where it is recorded: with several outputs, the
// default one is often not the one whose loop-back line was chosen.
void CAudioRendererFilter::ApplyOutput() {
  GstElement *bin = Element();
  if (!bin) return;
  GstElement *sink = gst_bin_get_by_name(GST_BIN(bin), "output");
  if (!sink) return;
  // Only a closed sink takes another device; an open one keeps its output
  // until the graph stops.
  if (GST_STATE(sink) == GST_STATE_NULL) {
    const std::string output = quavix::pulse::PlaybackOutput();
    g_object_set(sink, "device", output.empty() ? nullptr : output.c_str(), nullptr);
  }
  gst_object_unref(sink);
}

void CAudioRendererFilter::SetGain(double gain) {
  m_gain = gain;
  if (GstElement *bin = Element()) {
    if (GstElement *v = gst_bin_get_by_name(GST_BIN(bin), "gain")) {
      g_object_set(v, "volume", gain, nullptr);
      gst_object_unref(v);
    }
  }
}

// ---- file source -----------------------------------------------------------

namespace {
// Runs on a streaming thread: routes each decoded stream to the ghost pad
// of its kind, or into a discarding sink.
void OnDecodedPad(GstElement *decodebin, GstPad *pad, gpointer) {
  GstElement *bin = GST_ELEMENT(gst_element_get_parent(decodebin));
  if (!bin) return;
  GstCaps *caps = gst_pad_get_current_caps(pad);
  if (!caps) caps = gst_pad_query_caps(pad, nullptr);
  const char *kind = nullptr;
  if (caps && gst_caps_get_size(caps) > 0) {
    const char *name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
    if (g_str_has_prefix(name, "audio/x-raw")) kind = "Audio";
    if (g_str_has_prefix(name, "video/x-raw")) kind = "Video";
  }
  if (caps) gst_caps_unref(caps);

  bool routed = false;
  if (kind) {
    if (GstPad *ghost = gst_element_get_static_pad(bin, kind)) {
      // Only the first stream of a kind is rendered.
      GstPad *target = gst_ghost_pad_get_target(GST_GHOST_PAD(ghost));
      if (!target) routed = gst_ghost_pad_set_target(GST_GHOST_PAD(ghost), pad);
      if (target) gst_object_unref(target);
      gst_object_unref(ghost);
    }
  }
  if (!routed) {
    GstElement *sink = gst_element_factory_make("fakesink", nullptr);
    if (sink) {
      g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
      gst_bin_add(GST_BIN(bin), sink);
      gst_element_sync_state_with_parent(sink);
      GstPad *sinkPad = gst_element_get_static_pad(sink, "sink");
      gst_pad_link(pad, sinkPad);
      gst_object_unref(sinkPad);
    }
  }
  gst_object_unref(bin);
}
}  // namespace

CFileSourceFilter::CFileSourceFilter(std::string uri, bool audio, bool video)
    : CBaseFilter(GUID_NULL), m_uri(std::move(uri)), m_audio(audio), m_video(video) {
  if (m_audio)
    AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, u"Audio", MajorType(MEDIATYPE_Audio)));
  if (m_video)
    AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, u"Video", MajorType(MEDIATYPE_Video)));
}

GstElement *CFileSourceFilter::CreateElement() {
  GstElement *decode = MakeElement("uridecodebin");
  if (!decode) return nullptr;
  GstElement *bin = gst_bin_new(nullptr);
  g_object_set(decode, "uri", m_uri.c_str(), nullptr);
  gst_bin_add(GST_BIN(bin), decode);
  for (int i = 0; i < PinCount(); ++i) {
    if (!AddUntargetedGhostPad(bin, Pin(i))) {
      Discard(bin);
      return nullptr;
    }
  }
  g_signal_connect(decode, "pad-added", G_CALLBACK(OnDecodedPad), nullptr);
  return bin;
}

// ---- MIDI source -----------------------------------------------------------

CMidiSourceFilter::CMidiSourceFilter(std::shared_ptr<const MidiSong> song)
    : CBaseFilter(GUID_NULL), m_song(std::move(song)) {
  AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, u"Audio", MajorType(MEDIATYPE_Audio)));
}

GstElement *CMidiSourceFilter::CreateElement() {
  GstElement *src = CreateMidiSourceElement(m_song, MidiSynthOptions{});
  if (!src) return nullptr;
  GstElement *bin = gst_bin_new(nullptr);
  gst_bin_add(GST_BIN(bin), src);
  GstPad *pad = gst_element_get_static_pad(src, "src");
  bool ok = pad != nullptr;
  if (pad) gst_object_unref(pad);
  if (ok) ok = AddGhostPad(bin, src, "src", Pin(0));
  if (!ok) {
    Discard(bin);
    return nullptr;
  }
  return bin;
}
