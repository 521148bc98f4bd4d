// The filters RenderFile puts into a graph: a source for the file and the
// renderers its streams end in.
#pragma once

#include <memory>
#include <string>

#include "platform/dshow/base_filter.h"

// The audio output (pulsesink), behind audioconvert, audioresample and a
// volume stage. Input pin "Audio Input pin (rendered)". It plays to the
// output whose loop-back line a capture filter records (see
// pulse/playback_route.h), else to the default output; which one is decided
// each time the graph leaves the stopped state.
class CAudioRendererFilter final : public CBaseFilter {
 public:
  CAudioRendererFilter();
  // Linear gain (1.0 = unchanged), applied now and to later elements.
  void SetGain(double gain);
  double Gain() const { return m_gain; }

 protected:
  GstElement *CreateElement() override;
  HRESULT OnPrepareState(FILTER_STATE target) override;

 private:
  void ApplyOutput();
  double m_gain = 1.0;
};

// The video renderer is in video_renderer.h.

// A file decoded by uridecodebin. Output pins "Audio" and/or "Video", as
// the file has them; other streams are discarded inside the filter.
class CFileSourceFilter final : public CBaseFilter {
 public:
  CFileSourceFilter(std::string uri, bool audio, bool video);

 protected:
  GstElement *CreateElement() override;

 private:
  std::string m_uri;
  bool m_audio;
  bool m_video;
};

class MidiSong;

// A MIDI song played by the synthesiser element. Output pin "Audio". The
// element (and with it the SoundFont) is only made when the graph starts.
class CMidiSourceFilter final : public CBaseFilter {
 public:
  explicit CMidiSourceFilter(std::shared_ptr<const MidiSong> song);

 protected:
  GstElement *CreateElement() override;

 private:
  std::shared_ptr<const MidiSong> m_song;
};
