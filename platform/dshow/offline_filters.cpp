#include "platform/dshow/offline_filters.h"

#include <gst/gst.h>

#include "platform/com/combase.h"
#include "platform/com/olestr.h"
#include "platform/dshow/gst_util.h"
#include "platform/dshow/uuids.h"

#include "platform/dshow/midi/midi_song.h"
#include "platform/dshow/midi/midi_source.h"

namespace {

template <class T, class... Args>
HRESULT Create(IUnknown *outer, REFIID riid, void **ppv, Args... args) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  EnsureGstInit();
  auto *f = new T(args...);
  f->AddRef();
  HRESULT hr = f->QueryInterface(riid, ppv);
  f->Release();
  return hr;
}

void Discard(GstElement *e) { gst_object_unref(gst_object_ref_sink(e)); }

// The first sent buffer carries the tags behind it: by then stream-start,
// caps and segment have gone out, so the tags reach the encoders in order.
GstPadProbeReturn PushTagsOnce(GstPad *pad, GstPadProbeInfo *, gpointer data) {
  auto *tags = static_cast<GstTagList *>(data);
  gst_pad_push_event(pad, gst_event_new_tag(gst_tag_list_copy(tags)));
  return GST_PAD_PROBE_REMOVE;
}

void AddTag(GstTagList *list, const char *tag, LPCOLESTR text) {
  if (text && text[0])
    gst_tag_list_add(list, GST_TAG_MERGE_REPLACE, tag, Utf16ToUtf8(text).c_str(), nullptr);
}

}  // namespace

// ---- MIDI file source --------------------------------------------------------

CMidiFileSource::CMidiFileSource() : CBaseFilter(CLSID_MidiFileSource) {
  AM_MEDIA_TYPE mt{};
  mt.majortype = MEDIATYPE_Audio;
  AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, u"Audio", mt));
  m_soundFont = kDefaultSoundFontPath;
}

CMidiFileSource::~CMidiFileSource() {
  ReleaseGstElement();
  if (m_tags) gst_tag_list_unref(m_tags);
}

HRESULT CMidiFileSource::CreateInstance(IUnknown *outer, REFIID riid, void **ppv) {
  return Create<CMidiFileSource>(outer, riid, ppv);
}

HRESULT CMidiFileSource::QueryFilterInterface(REFIID riid, void **ppv) {
  if (riid == IID_IFileSourceFilter) {
    *ppv = static_cast<IFileSourceFilter *>(this);
  } else if (riid == IID_IMidiSourceSettings) {
    *ppv = static_cast<IMidiSourceSettings *>(this);
  } else {
    return CBaseFilter::QueryFilterInterface(riid, ppv);
  }
  AddRef();
  return S_OK;
}

HRESULT CMidiFileSource::Load(LPCOLESTR pszFileName, const AM_MEDIA_TYPE *) {
  if (!pszFileName) return E_POINTER;
  if (State() != State_Stopped) return VFW_E_WRONG_STATE;
  std::string path = Utf16ToUtf8(pszFileName);
  if (path.empty()) return VFW_E_NOT_FOUND;
  std::string error;
  std::shared_ptr<const MidiSong> song = ReadMidiFile(path, &error);
  if (!song) {
    // The reader's reason ("no such file", "not a MIDI file", "track 2 is
    // cut short") is what a user needs; the log carries it.
    g_info("%s: %s", path.c_str(), error.c_str());
    return LooksLikeMidiFile(path) ? VFW_E_INVALID_FILE_FORMAT : VFW_E_UNSUPPORTED_STREAM;
  }
  m_song = std::move(song);
  m_fileName.assign(pszFileName, WideLength(pszFileName));
  return S_OK;
}

HRESULT CMidiFileSource::GetCurFile(LPOLESTR *ppszFileName, AM_MEDIA_TYPE *pmt) {
  if (!ppszFileName) return E_POINTER;
  *ppszFileName = nullptr;
  if (pmt) *pmt = AM_MEDIA_TYPE{};
  if (m_fileName.empty()) return E_FAIL;
  *ppszFileName = CoTaskMemDupWide(m_fileName);
  return *ppszFileName ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMidiFileSource::SetSoundFont(LPCOLESTR pszPath) {
  if (!pszPath) return E_POINTER;
  if (State() != State_Stopped) return VFW_E_WRONG_STATE;
  std::string path = Utf16ToUtf8(pszPath);
  if (!CheckSoundFont(path, nullptr)) return E_INVALIDARG;
  m_soundFont = path;
  return S_OK;
}

HRESULT CMidiFileSource::SetStreamTags(LPCOLESTR pszTitle, LPCOLESTR pszCopyright,
                                       LPCOLESTR pszComment) {
  if (State() != State_Stopped) return VFW_E_WRONG_STATE;
  GstTagList *tags = gst_tag_list_new_empty();
  AddTag(tags, GST_TAG_TITLE, pszTitle);
  AddTag(tags, GST_TAG_COPYRIGHT, pszCopyright);
  AddTag(tags, GST_TAG_COMMENT, pszComment);
  if (m_tags) gst_tag_list_unref(m_tags);
  m_tags = nullptr;
  if (gst_tag_list_is_empty(tags))
    gst_tag_list_unref(tags);
  else
    m_tags = tags;
  return S_OK;
}

HRESULT CMidiFileSource::GetSongLength(REFERENCE_TIME *pLength) {
  if (!pLength) return E_POINTER;
  if (!m_song) return VFW_E_NOT_FOUND;
  *pLength = m_song->Length();
  return S_OK;
}

GstElement *CMidiFileSource::CreateElement() {
  if (!m_song) return nullptr;
  MidiSynthOptions options;
  options.soundFontPath = m_soundFont;
  GstElement *src = CreateMidiSourceElement(m_song, options);
  if (!src) return nullptr;
  GstElement *bin = gst_bin_new(nullptr);
  gst_bin_add(GST_BIN(bin), src);
  if (!AddGhostPad(bin, src, "src", Pin(0))) {
    Discard(bin);
    return nullptr;
  }
  if (m_tags) {
    GstPad *pad = gst_element_get_static_pad(src, "src");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, PushTagsOnce, gst_tag_list_ref(m_tags),
                      reinterpret_cast<GDestroyNotify>(gst_tag_list_unref));
    gst_object_unref(pad);
  }
  return bin;
}

// ---- encoders ----------------------------------------------------------------

CAudioEncoderFilter::CAudioEncoderFilter(AudioFileFormat format)
    : CBaseFilter(format == AudioFileFormat::Wav    ? CLSID_WavEncoder
                  : format == AudioFileFormat::Flac ? CLSID_FlacEncoder
                  : format == AudioFileFormat::Mp3  ? CLSID_Mp3Encoder
                                                    : CLSID_OggVorbisEncoder),
      m_format(format) {
  AM_MEDIA_TYPE in{};
  in.majortype = MEDIATYPE_Audio;
  AddPin(std::make_unique<CBasePin>(this, PINDIR_INPUT, u"In", in));
  AM_MEDIA_TYPE out{};
  out.majortype = MEDIATYPE_Stream;
  AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, u"Out", out));
}

template <AudioFileFormat F>
HRESULT CAudioEncoderFilter::CreateInstance(IUnknown *outer, REFIID riid, void **ppv) {
  return Create<CAudioEncoderFilter>(outer, riid, ppv, F);
}

GstElement *CAudioEncoderFilter::CreateElement() {
  std::vector<GstElement *> chain = {MakeElement("audioconvert"), MakeElement("audioresample"),
                                     MakeElement("capsfilter")};
  // 16-bit samples where the format stores integers; Vorbis takes floats.
  const char *caps = "audio/x-raw,format=S16LE,rate=44100,channels=2";
  switch (m_format) {
    case AudioFileFormat::Wav: chain.push_back(MakeElement("wavenc")); break;
    case AudioFileFormat::Flac: chain.push_back(MakeElement("flacenc")); break;
    case AudioFileFormat::OggVorbis:
      caps = "audio/x-raw,rate=44100,channels=2";
      chain.push_back(MakeElement("vorbisenc"));
      chain.push_back(MakeElement("oggmux"));
      break;
    case AudioFileFormat::Mp3: {
      GstElement *enc = MakeElement("lamemp3enc");
      // Constant 192 kbit/s: every player seeks in it without a VBR header.
      if (enc) g_object_set(enc, "target", 1, "bitrate", 192, "cbr", TRUE, nullptr);
      chain.push_back(enc);
      chain.push_back(MakeElement("id3v2mux"));
      break;
    }
  }
  bool ok = true;
  for (GstElement *e : chain) ok = ok && e;
  if (!ok) {
    for (GstElement *e : chain)
      if (e) Discard(e);
    return nullptr;
  }
  GstCaps *c = gst_caps_from_string(caps);
  g_object_set(chain[2], "caps", c, nullptr);
  gst_caps_unref(c);
  GstElement *bin = gst_bin_new(nullptr);
  for (GstElement *e : chain) gst_bin_add(GST_BIN(bin), e);
  for (std::size_t i = 1; i < chain.size() && ok; ++i)
    ok = gst_element_link(chain[i - 1], chain[i]);
  ok = ok && AddGhostPad(bin, chain.front(), "sink", Pin(0)) &&
       AddGhostPad(bin, chain.back(), "src", Pin(1));
  if (!ok) {
    Discard(bin);
    return nullptr;
  }
  return bin;
}

// ---- null renderer -----------------------------------------------------------

CNullRenderer::CNullRenderer() : CBaseFilter(CLSID_NullRenderer) {
  AddPin(std::make_unique<CBasePin>(this, PINDIR_INPUT, u"In", AM_MEDIA_TYPE{}));
}

HRESULT CNullRenderer::CreateInstance(IUnknown *outer, REFIID riid, void **ppv) {
  return Create<CNullRenderer>(outer, riid, ppv);
}

GstElement *CNullRenderer::CreateElement() {
  GstElement *sink = MakeElement("fakesink");
  if (!sink) return nullptr;
  g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
  GstElement *bin = gst_bin_new(nullptr);
  gst_bin_add(GST_BIN(bin), sink);
  if (!AddGhostPad(bin, sink, "sink", Pin(0))) {
    Discard(bin);
    return nullptr;
  }
  return bin;
}

void RegisterOfflineFilterClasses() {
  RegisterBuiltInClass(CLSID_MidiFileSource, &CMidiFileSource::CreateInstance);
  RegisterBuiltInClass(CLSID_NullRenderer, &CNullRenderer::CreateInstance);
  RegisterBuiltInClass(CLSID_WavEncoder,
                       &CAudioEncoderFilter::CreateInstance<AudioFileFormat::Wav>);
  RegisterBuiltInClass(CLSID_FlacEncoder,
                       &CAudioEncoderFilter::CreateInstance<AudioFileFormat::Flac>);
  RegisterBuiltInClass(CLSID_OggVorbisEncoder,
                       &CAudioEncoderFilter::CreateInstance<AudioFileFormat::OggVorbis>);
  RegisterBuiltInClass(CLSID_Mp3Encoder,
                       &CAudioEncoderFilter::CreateInstance<AudioFileFormat::Mp3>);
}
