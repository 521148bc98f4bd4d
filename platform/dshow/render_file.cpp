// RenderFile: a source for the file and the renderers for its streams. The
// file is examined without connecting to the sound server or loading a
// SoundFont: a graph that is only measured (never run) costs nothing more.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <cerrno>
#include <cstring>

#include "platform/com/olestr.h"
#include "platform/dshow/filter_graph.h"
#include "platform/dshow/graph_filters.h"
#include "platform/dshow/gst_util.h"
#include "platform/dshow/video_renderer.h"

#include "platform/dshow/midi/midi_song.h"

namespace {
constexpr GstClockTime kDiscoverTimeout = 10 * GST_SECOND;

bool HasMidiSignature(const unsigned char *b, std::size_t n) {
  if (n >= 4 && std::memcmp(b, "MThd", 4) == 0) return true;
  return n >= 12 && std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "RMID", 4) == 0;
}

std::u16string FileNamePart(const std::string &path) {
  auto slash = path.rfind('/');
  return Utf8ToUtf16(slash == std::string::npos ? path : path.substr(slash + 1));
}

struct Discovered {
  bool audio = false;
  bool video = false;
  long width = 0, height = 0;
  double frameTime = 0;
  REFERENCE_TIME duration = -1;
  bool seekable = false;
};

HRESULT Discover(const std::string &path, Discovered *out) {
  GError *err = nullptr;
  gchar *uri = gst_filename_to_uri(path.c_str(), &err);
  if (!uri) {
    if (err) g_error_free(err);
    return VFW_E_NOT_FOUND;
  }
  GstDiscoverer *disc = gst_discoverer_new(kDiscoverTimeout, &err);
  if (!disc) {
    if (err) g_error_free(err);
    g_free(uri);
    return E_FAIL;
  }
  GstDiscovererInfo *info = gst_discoverer_discover_uri(disc, uri, &err);
  g_free(uri);
  if (err) g_error_free(err);
  HRESULT hr = VFW_E_UNSUPPORTED_STREAM;
  if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
    GList *audio = gst_discoverer_info_get_audio_streams(info);
    GList *video = gst_discoverer_info_get_video_streams(info);
    out->audio = audio != nullptr;
    for (GList *l = video; l; l = l->next) {
      auto *v = GST_DISCOVERER_VIDEO_INFO(l->data);
      if (gst_discoverer_video_info_is_image(v)) continue;  // a picture is no video
      out->video = true;
      out->width = static_cast<long>(gst_discoverer_video_info_get_width(v));
      out->height = static_cast<long>(gst_discoverer_video_info_get_height(v));
      guint num = gst_discoverer_video_info_get_framerate_num(v);
      guint den = gst_discoverer_video_info_get_framerate_denom(v);
      out->frameTime = num ? static_cast<double>(den) / num : 0.0;
      break;
    }
    gst_discoverer_stream_info_list_free(audio);
    gst_discoverer_stream_info_list_free(video);
    GstClockTime d = gst_discoverer_info_get_duration(info);
    if (GST_CLOCK_TIME_IS_VALID(d)) out->duration = GstToRefTime(d);
    out->seekable = gst_discoverer_info_get_seekable(info) && out->duration >= 0;
    if (out->audio || out->video) hr = S_OK;
  }
  if (info) gst_discoverer_info_unref(info);
  g_object_unref(disc);
  return hr;
}
}  // namespace

HRESULT CFilterGraph::RenderFile(LPCWSTR lpcwstrFile, LPCWSTR) {
  if (!lpcwstrFile) return E_POINTER;
  std::lock_guard<std::recursive_mutex> g(m_lock);
  if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
  std::string path = Utf16ToUtf8(lpcwstrFile);
  if (path.empty()) return VFW_E_NOT_FOUND;

  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? VFW_E_NOT_FOUND : E_ACCESSDENIED;
  struct stat st {};
  unsigned char head[12] = {};
  ssize_t got = -1;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) got = read(fd, head, sizeof head);
  close(fd);
  if (got < 0) return E_FAIL;  // a folder, a device, a pipe: nothing to play
  if (got == 0) return VFW_E_UNSUPPORTED_STREAM;

  std::vector<ComPtr<IBaseFilter>> added;
  auto undo = [&](HRESULT hr) {
    for (auto &f : added) RemoveFilter(f.Get());
    return hr;
  };
  auto add = [&](CBaseFilter *f, const std::u16string &name) {
    ComPtr<IBaseFilter> ref(static_cast<IBaseFilter *>(f));
    HRESULT hr = AddFilter(ref.Get(), name.c_str());
    if (SUCCEEDED(hr)) added.push_back(ref);
    return hr;
  };
  auto connect = [&](CBaseFilter *from, CBaseFilter *to) {
    return ConnectDirect(from->Pin(0), to->Pin(0), nullptr);
  };
  auto addAudioRenderer = [&](CBaseFilter *src) -> HRESULT {
    auto *renderer = new CAudioRendererFilter;
    HRESULT hr = add(renderer, u"Default DirectSound Device");
    if (SUCCEEDED(hr)) hr = connect(src, renderer);
    if (SUCCEEDED(hr)) m_audioRenderer = renderer;
    return hr;
  };

  if (HasMidiSignature(head, static_cast<std::size_t>(got))) {
    std::string error;
    std::shared_ptr<const MidiSong> song = ReadMidiFile(path, &error);
    if (!song) {
      std::fprintf(stderr, "quavix: %s: %s\n", path.c_str(), error.c_str());
      return VFW_E_INVALID_FILE_FORMAT;
    }
    auto *src = new CMidiSourceFilter(song);
    HRESULT hr = add(src, FileNamePart(path));
    if (SUCCEEDED(hr)) hr = addAudioRenderer(src);
    if (FAILED(hr)) return undo(hr);
    m_seekable = true;
    m_duration = song->Length();
    m_hasVideo = false;
    return S_OK;
  }

  Discovered d;
  HRESULT hr = Discover(path, &d);
  if (FAILED(hr)) return hr;
  gchar *uri = gst_filename_to_uri(path.c_str(), nullptr);
  if (!uri) return VFW_E_NOT_FOUND;
  auto *src = new CFileSourceFilter(uri, d.audio, d.video);
  g_free(uri);
  hr = add(src, FileNamePart(path));
  if (SUCCEEDED(hr) && d.audio) hr = addAudioRenderer(src);
  if (SUCCEEDED(hr) && d.video) {
    auto *renderer = new CVideoRendererFilter;
    renderer->SetNativeSize(d.width, d.height);
    hr = add(renderer, u"Video Renderer");
    if (SUCCEEDED(hr)) hr = ConnectDirect(src->Pin(d.audio ? 1 : 0), renderer->Pin(0), nullptr);
  }
  if (FAILED(hr)) return undo(hr);
  m_seekable = d.seekable;
  m_duration = d.duration;
  m_hasVideo = d.video;
  m_videoWidth = d.width;
  m_videoHeight = d.height;
  m_frameTime = d.frameTime;
  return S_OK;
}
