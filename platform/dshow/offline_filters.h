// The filters of a graph that renders a song into a file without a sound
// server: the MIDI file source, the encoders of the common audio formats
// and the Null Renderer. All are made through CoCreateInstance.
#pragma once

#include <memory>
#include <string>

#include "platform/dshow/base_filter.h"
#include "platform/dshow/file_source.h"

typedef struct _GstTagList GstTagList;
class MidiSong;

class CMidiFileSource final : public CBaseFilter,
                              public IFileSourceFilter,
                              public IMidiSourceSettings {
 public:
  CMidiFileSource();
  ~CMidiFileSource() override;
  static HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv);

  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return CBaseFilter::QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return CBaseFilter::AddRef(); }
  ULONG Release() override { return CBaseFilter::Release(); }

  // IFileSourceFilter
  HRESULT Load(LPCOLESTR pszFileName, const AM_MEDIA_TYPE *pmt) override;
  HRESULT GetCurFile(LPOLESTR *ppszFileName, AM_MEDIA_TYPE *pmt) override;
  // IMidiSourceSettings
  HRESULT SetSoundFont(LPCOLESTR pszPath) override;
  HRESULT SetStreamTags(LPCOLESTR pszTitle, LPCOLESTR pszCopyright, LPCOLESTR pszComment) override;
  HRESULT GetSongLength(REFERENCE_TIME *pLength) override;

 protected:
  GstElement *CreateElement() override;
  HRESULT QueryFilterInterface(REFIID riid, void **ppv) override;

 private:
  std::u16string m_fileName;
  std::shared_ptr<const MidiSong> m_song;
  std::string m_soundFont;
  GstTagList *m_tags = nullptr;
};

enum class AudioFileFormat { Wav, Flac, OggVorbis, Mp3 };

// audioconvert and audioresample to 44.1 kHz stereo, then the format's stock
// encoder (and muxer). Tags that reach it are written where the format
// holds them.
class CAudioEncoderFilter final : public CBaseFilter {
 public:
  explicit CAudioEncoderFilter(AudioFileFormat format);
  template <AudioFileFormat F>
  static HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv);

 protected:
  GstElement *CreateElement() override;

 private:
  AudioFileFormat m_format;
};

// Input pin "In" (any type); everything it receives is dropped at once.
class CNullRenderer final : public CBaseFilter {
 public:
  CNullRenderer();
  static HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv);

 protected:
  GstElement *CreateElement() override;
};

// Adds the classes above to the class table (done with the graph's classes).
void RegisterOfflineFilterClasses();
