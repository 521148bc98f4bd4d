// The FluidSynth source element. See midi_source.h for what it promises.
#include "platform/dshow/midi/midi_source.h"
#include "platform/dshow/midi/player_schedule.h"
#include "platform/dshow/midi/synth_pool.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fluidsynth.h>
#include <gst/base/gstbasesrc.h>
#include <gst/gst.h>

GST_DEBUG_CATEGORY_STATIC(quavix_midi_src_debug);
#define GST_CAT_DEFAULT quavix_midi_src_debug

namespace {

// Frames per buffer: about 23 ms at 44.1 kHz, short enough for an audio
// sink to start promptly, long enough to keep the per-buffer cost low.
constexpr std::int64_t kBlockFrames = 1024;

struct MidiSrcState {
  std::shared_ptr<const MidiSong> song;
  MidiSynthOptions options;

  // Taken from the pool when the element starts, given back when it stops.
  std::unique_ptr<PooledSynth> synth;
  // Where and in which order the events are sent (made on the first start).
  PlayerSchedule schedule;

  // Everything below is touched by the streaming thread, and by seeks,
  // which the base class serialises with it (stream lock).
  std::int64_t nextFrame = 0;          // next frame to render, from the start of the song
  std::size_t nextEvent = 0;           // next place in the schedule to dispatch
  std::int64_t stopFrame = INT64_MAX;  // end of the configured segment
  std::int64_t pendingSeekFrame = -1;  // where the next Create must reposition first
  float limiterGain = 1.0f;
  float limiterRelease = 0.0f;

  // Read by position queries from any thread.
  std::atomic<std::int64_t> renderedFrames{0};

  std::int64_t FrameOf(REFERENCE_TIME t) const {
    // t < 1000 hours, so t * rate stays far inside 64 bits.
    return std::int64_t(t) * options.sampleRate / 10000000;
  }
  std::int64_t EndFrame() const { return FrameOf(song->Length()); }
  std::int64_t TailEndFrame() const { return FrameOf(song->Length() + kMidiMaxReleaseTail); }
};

}  // namespace

G_BEGIN_DECLS
struct QuavixMidiSrc {
  GstBaseSrc parent;
  MidiSrcState *state;
};
struct QuavixMidiSrcClass {
  GstBaseSrcClass parent_class;
};
GType quavix_midi_src_get_type(void);
G_END_DECLS

G_DEFINE_TYPE(QuavixMidiSrc, quavix_midi_src, GST_TYPE_BASE_SRC)

namespace {

QuavixMidiSrc *Self(gpointer p) { return reinterpret_cast<QuavixMidiSrc *>(p); }

GstCaps *CapsForRate(int rate) {
  return gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "F32LE", "layout",
                             G_TYPE_STRING, "interleaved", "channels", G_TYPE_INT, 2, "rate",
                             G_TYPE_INT, rate, "channel-mask", GST_TYPE_BITMASK, guint64(0x3),
                             nullptr);
}

// A MIDI Tuning Standard message (universal, sub-ID 08) defines tunings that
// outlive a system reset.
bool DefinesTuning(const std::uint8_t *p, std::size_t n) {
  return n >= 3 && (p[0] == 0x7E || p[0] == 0x7F) && p[2] == 0x08;
}

void DispatchEvent(PooledSynth &pooled, const MidiSong &song, const MidiEvent &e) {
  fluid_synth_t *synth = pooled.get();
  const int ch = e.Channel();
  switch (e.Command()) {
    case 0x80: fluid_synth_noteoff(synth, ch, e.data1); break;
    case 0x90:
      if (e.data2 == 0)
        fluid_synth_noteoff(synth, ch, e.data1);
      else
        fluid_synth_noteon(synth, ch, e.data1, e.data2);
      break;
    case 0xA0: fluid_synth_key_pressure(synth, ch, e.data1, e.data2); break;
    case 0xB0: fluid_synth_cc(synth, ch, e.data1, e.data2); break;
    case 0xC0: fluid_synth_program_change(synth, ch, e.data1); break;
    case 0xD0: fluid_synth_channel_pressure(synth, ch, e.data1); break;
    case 0xE0: fluid_synth_pitch_bend(synth, ch, e.data1 | (e.data2 << 7)); break;
    default:
      if (e.IsSysEx()) {
        // FluidSynth takes the message without its F0 and F7. An F7
        // escape is only passed on when it carries a whole F0..F7 message.
        auto bytes = song.Payload(e);
        const std::uint8_t *p = bytes.data();
        std::size_t n = bytes.size();
        if (e.status == 0xF7) {
          if (n < 2 || p[0] != 0xF0) break;
          ++p;
          --n;
        }
        if (n > 0 && p[n - 1] == 0xF7) --n;
        if (DefinesTuning(p, n)) pooled.MarkNotReusable();
        if (n > 0)
          fluid_synth_sysex(synth, reinterpret_cast<const char *>(p), int(n), nullptr, nullptr,
                            nullptr, 0);
      }
      break;
  }
}

// Notes would sound wrong from the middle of a song (a note that began
// before the target has no start); everything else that shapes the sound
// (programs, controllers, bends, pressure, system exclusive) is replayed.
bool IsChased(const MidiEvent &e) {
  if (e.IsSysEx()) return true;
  if (!e.IsChannelMessage()) return false;
  switch (e.Command()) {
    case 0xB0:
    case 0xC0:
    case 0xD0:
    case 0xE0: return true;
    default: return false;
  }
}

// Puts the synthesiser where the song stands at `frame`: silent, reset,
// with the state of the song's controllers replayed up to there.
void PositionAt(MidiSrcState &s, std::int64_t frame) {
  s.nextFrame = frame;
  s.limiterGain = 1.0f;
  const auto &events = s.song->Events();
  const auto &order = s.schedule.order;
  std::size_t i = 0;
  if (s.synth) {
    // In this order: FluidSynth 2.3 lets voices play on when their
    // sounds are cut just before a system reset.
    fluid_synth_system_reset(s.synth->get());
    fluid_synth_all_sounds_off(s.synth->get(), -1);
  }
  while (i < order.size() && s.schedule.frames[i] < frame) {
    const MidiEvent &e = events[order[i]];
    if (s.synth && IsChased(e)) DispatchEvent(*s.synth, *s.song, e);
    ++i;
  }
  s.nextEvent = i;
  s.renderedFrames.store(frame);
}

// Keeps every sample under the ceiling: the gain drops at once to what the
// loudest sample allows and recovers over about 200 ms. At the default gain
// most songs never reach it; the loudest quarter of the openmsx songs are
// turned down by up to 4.5 dB at their peaks instead of clipping.
void Limit(MidiSrcState &s, float *frames, std::int64_t count) {
  const float ceiling = s.options.ceiling;
  float g = s.limiterGain;
  for (std::int64_t i = 0; i < count; ++i) {
    float *f = frames + 2 * i;
    float peak = std::max(std::fabs(f[0]), std::fabs(f[1]));
    if (peak * g > ceiling)
      g = ceiling / peak;
    else
      g += (1.0f - g) * s.limiterRelease;
    f[0] *= g;
    f[1] *= g;
  }
  s.limiterGain = g;
}

void Render(MidiSrcState &s, float *out, std::int64_t frames) { s.synth->Render(out, frames); }

}  // namespace

bool CheckSoundFont(const std::string &path, std::string *message) {
  auto fail = [&](const char *format) {
    if (message) {
      char text[1024];
      std::snprintf(text, sizeof text, format, path.c_str());
      *message = text;
    }
    return false;
  };
  if (::access(path.c_str(), F_OK) != 0)
    return fail("The SoundFont \"%s\" is missing. Install the Debian package fluid-soundfont-gm.");
  // A folder or a device would pass access(); only a regular file can hold a SoundFont.
  struct stat st;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    return fail(
        "The SoundFont \"%s\" cannot be read (from the Debian package fluid-soundfont-gm).");
  }
  unsigned char head[12] = {};
  ssize_t got = ::read(fd, head, sizeof head);
  ::close(fd);
  if (got != static_cast<ssize_t>(sizeof head) || std::memcmp(head, "RIFF", 4) != 0 ||
      std::memcmp(head + 8, "sfbk", 4) != 0)
    return fail(
        "The SoundFont \"%s\" is damaged. Reinstall the Debian package fluid-soundfont-gm.");
  return true;
}

namespace {

gboolean Start(GstBaseSrc *base) {
  MidiSrcState &s = *Self(base)->state;
  // The factory is registered, so the element can be made by name, without a song.
  if (!s.song) {
    GST_ELEMENT_ERROR(base, CORE, FAILED, ("The MIDI source was given no song."), (nullptr));
    return FALSE;
  }
  const std::string &path = s.options.soundFontPath;
  std::string problem;
  if (!CheckSoundFont(path, &problem)) {
    if (::access(path.c_str(), F_OK) != 0)
      GST_ELEMENT_ERROR(base, RESOURCE, NOT_FOUND, ("%s", problem.c_str()), (nullptr));
    else
      GST_ELEMENT_ERROR(base, RESOURCE, OPEN_READ, ("%s", problem.c_str()), (nullptr));
    return FALSE;
  }
  // A synthesiser that played before is reset and set to this element's
  // gain; loading the SoundFont again would cost about 64 ms.
  SynthFailure failure = SynthFailure::None;
  s.synth = TakeSynth(path, s.options.sampleRate, s.options.gain, &failure);
  if (!s.synth && failure != SynthFailure::SoundFont) {
    GST_ELEMENT_ERROR(base, LIBRARY, INIT, ("FluidSynth could not be set up."), (nullptr));
    return FALSE;
  }
  if (!s.synth) {
    GST_ELEMENT_ERROR(base, RESOURCE, OPEN_READ,
                      ("The SoundFont \"%s\" could not be loaded. Reinstall the Debian package "
                       "fluid-soundfont-gm.",
                       path.c_str()),
                      (nullptr));
    return FALSE;
  }
  s.limiterRelease = float(1.0 - std::exp(-1.0 / (0.2 * s.options.sampleRate)));
  if (s.schedule.order.size() != s.song->Events().size())
    s.schedule = SchedulePlayerEvents(*s.song, s.options.sampleRate);
  PositionAt(s, 0);
  return TRUE;
}

gboolean Stop(GstBaseSrc *base) {
  // Kept for the next element that plays with the same SoundFont.
  ReturnSynth(std::move(Self(base)->state->synth));
  return TRUE;
}

GstCaps *GetCaps(GstBaseSrc *base, GstCaps *filter) {
  GstCaps *caps = CapsForRate(Self(base)->state->options.sampleRate);
  if (filter) {
    GstCaps *both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(caps);
    caps = both;
  }
  return caps;
}

gboolean IsSeekable(GstBaseSrc *) { return TRUE; }

// Only normal speed: the synthesiser cannot play faster or backwards, and
// a refused seek leaves playback where it was.
gboolean PrepareSeekSegment(GstBaseSrc *base, GstEvent *seek, GstSegment *segment) {
  gdouble rate;
  GstFormat format;
  gst_event_parse_seek(seek, &rate, &format, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (rate != 1.0) {
    GST_WARNING_OBJECT(base, "refusing a seek at rate %f", rate);
    return FALSE;
  }
  if (format != GST_FORMAT_TIME) return FALSE;
  return GST_BASE_SRC_CLASS(quavix_midi_src_parent_class)
      ->prepare_seek_segment(base, seek, segment);
}

gboolean DoSeek(GstBaseSrc *base, GstSegment *segment) {
  MidiSrcState &s = *Self(base)->state;
  if (!s.song || segment->format != GST_FORMAT_TIME || segment->rate != 1.0) return FALSE;
  const int rate = s.options.sampleRate;
  std::int64_t frame = std::int64_t(gst_util_uint64_scale_int(segment->start, rate, GST_SECOND));
  frame = std::min(frame, s.TailEndFrame());
  s.stopFrame = GST_CLOCK_TIME_IS_VALID(segment->stop)
                    ? std::int64_t(gst_util_uint64_scale_int_ceil(segment->stop, rate, GST_SECOND))
                    : INT64_MAX;
  // The streaming thread repositions the synthesiser itself, just before
  // it renders again, so that only one thread ever drives FluidSynth
  // while the element runs.
  s.pendingSeekFrame = frame;
  s.nextFrame = frame;
  s.renderedFrames.store(frame);
  segment->time = segment->start;
  segment->position = segment->start;
  return TRUE;
}

GstFlowReturn Create(GstBaseSrc *base, guint64, guint, GstBuffer **out) {
  MidiSrcState &s = *Self(base)->state;
  if (!s.synth) return GST_FLOW_FLUSHING;
  if (s.pendingSeekFrame >= 0) {
    PositionAt(s, s.pendingSeekFrame);
    s.pendingSeekFrame = -1;
  }
  const auto &events = s.song->Events();
  const auto &order = s.schedule.order;
  const std::int64_t endFrame = s.EndFrame();
  const std::int64_t tailEnd = s.TailEndFrame();
  if (s.nextFrame >= s.stopFrame || s.nextFrame >= tailEnd) return GST_FLOW_EOS;
  // Past the last event, the song is over once the last voice has
  // released; the reverb's own decay is not waited for.
  if (s.nextEvent >= order.size() && s.nextFrame >= endFrame &&
      fluid_synth_get_active_voice_count(s.synth->get()) == 0)
    return GST_FLOW_EOS;

  std::int64_t frames = std::min({kBlockFrames, s.stopFrame - s.nextFrame, tailEnd - s.nextFrame});
  GstBuffer *buffer = gst_buffer_new_allocate(nullptr, gsize(frames * 2 * sizeof(float)), nullptr);
  if (!buffer) return GST_FLOW_ERROR;
  GstMapInfo map;
  if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
    gst_buffer_unref(buffer);
    return GST_FLOW_ERROR;
  }
  float *samples = reinterpret_cast<float *>(map.data);
  const std::int64_t first = s.nextFrame;
  std::int64_t at = first;
  // Each event takes effect on the synthesiser block its schedule names.
  while (s.nextEvent < order.size()) {
    const MidiEvent &e = events[order[s.nextEvent]];
    std::int64_t eventFrame = std::max(s.schedule.frames[s.nextEvent], first);
    if (eventFrame >= first + frames) break;
    if (eventFrame > at) {
      Render(s, samples + 2 * (at - first), eventFrame - at);
      at = eventFrame;
    }
    DispatchEvent(*s.synth, *s.song, e);
    ++s.nextEvent;
  }
  if (at < first + frames) Render(s, samples + 2 * (at - first), first + frames - at);
  Limit(s, samples, frames);
  gst_buffer_unmap(buffer, &map);

  const int rate = s.options.sampleRate;
  GstClockTime pts = gst_util_uint64_scale_int(guint64(first), GST_SECOND, rate);
  GstClockTime end = gst_util_uint64_scale_int(guint64(first + frames), GST_SECOND, rate);
  GST_BUFFER_PTS(buffer) = pts;
  GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
  GST_BUFFER_DURATION(buffer) = end - pts;
  GST_BUFFER_OFFSET(buffer) = guint64(first);
  GST_BUFFER_OFFSET_END(buffer) = guint64(first + frames);
  if (first == 0) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
  s.nextFrame = first + frames;
  s.renderedFrames.store(s.nextFrame);
  *out = buffer;
  return GST_FLOW_OK;
}

gboolean Query(GstBaseSrc *base, GstQuery *query) {
  MidiSrcState &s = *Self(base)->state;
  if (!s.song) return GST_BASE_SRC_CLASS(quavix_midi_src_parent_class)->query(base, query);
  switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_DURATION: {
      GstFormat format;
      gst_query_parse_duration(query, &format, nullptr);
      if (format != GST_FORMAT_TIME) break;
      gst_query_set_duration(query, GST_FORMAT_TIME, gint64(s.song->Length()) * 100);
      return TRUE;
    }
    case GST_QUERY_POSITION: {
      GstFormat format;
      gst_query_parse_position(query, &format, nullptr);
      if (format != GST_FORMAT_TIME) break;
      std::int64_t frames = s.renderedFrames.load();
      gst_query_set_position(
          query, GST_FORMAT_TIME,
          gint64(gst_util_uint64_scale_int(guint64(frames), GST_SECOND, s.options.sampleRate)));
      return TRUE;
    }
    default: break;
  }
  return GST_BASE_SRC_CLASS(quavix_midi_src_parent_class)->query(base, query);
}

void Finalize(GObject *object) {
  QuavixMidiSrc *self = Self(object);
  if (self->state) {
    Stop(GST_BASE_SRC(object));
    delete self->state;
    self->state = nullptr;
  }
  G_OBJECT_CLASS(quavix_midi_src_parent_class)->finalize(object);
}

}  // namespace

static void quavix_midi_src_class_init(QuavixMidiSrcClass *klass) {
  GObjectClass *objectClass = G_OBJECT_CLASS(klass);
  GstElementClass *elementClass = GST_ELEMENT_CLASS(klass);
  GstBaseSrcClass *baseClass = GST_BASE_SRC_CLASS(klass);
  objectClass->finalize = Finalize;
  GstCaps *caps = gst_caps_from_string(
      "audio/x-raw, format=(string)F32LE, layout=(string)interleaved, channels=(int)2, "
      "rate=(int)[8000,192000], channel-mask=(bitmask)0x3");
  gst_element_class_add_pad_template(
      elementClass, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
  gst_caps_unref(caps);
  gst_element_class_set_static_metadata(elementClass, "Quavix MIDI source", "Source/Audio",
                                        "Plays a MIDI song through FluidSynth", "Quavix");
  baseClass->start = Start;
  baseClass->stop = Stop;
  baseClass->get_caps = GetCaps;
  baseClass->is_seekable = IsSeekable;
  baseClass->prepare_seek_segment = PrepareSeekSegment;
  baseClass->do_seek = DoSeek;
  baseClass->create = Create;
  baseClass->query = Query;
}

static void quavix_midi_src_init(QuavixMidiSrc *self) {
  self->state = new MidiSrcState();
  gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
  gst_base_src_set_live(GST_BASE_SRC(self), FALSE);
}

namespace {

GType RegisteredType() {
  static std::once_flag once;
  std::call_once(once, [] {
    GST_DEBUG_CATEGORY_INIT(quavix_midi_src_debug, "quavixmidisrc", 0, "Quavix MIDI source");
    gst_element_register(nullptr, kMidiSourceFactoryName, GST_RANK_NONE,
                         quavix_midi_src_get_type());
  });
  return quavix_midi_src_get_type();
}

}  // namespace

void RegisterMidiSourceElement() { RegisteredType(); }

GstElement *CreateMidiSourceElement(std::shared_ptr<const MidiSong> song,
                                    const MidiSynthOptions &options) {
  if (!song) return nullptr;
  if (options.sampleRate < 8000 || options.sampleRate > 192000) return nullptr;
  if (!(options.gain >= 0.0 && options.gain <= 10.0)) return nullptr;
  if (!(options.ceiling > 0.0f && options.ceiling <= 1.0f)) return nullptr;
  GType type = RegisteredType();
  auto *element = static_cast<GstElement *>(g_object_new(type, nullptr));
  MidiSrcState &s = *Self(element)->state;
  s.song = std::move(song);
  s.options = options;
  return element;
}

std::shared_ptr<const MidiSong> GetMidiSourceSong(GstElement *element) {
  if (!element || !G_TYPE_CHECK_INSTANCE_TYPE(element, quavix_midi_src_get_type())) return nullptr;
  return Self(element)->state->song;
}
