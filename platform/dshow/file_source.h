// Reading a song from a file into a graph built by hand (rather than by
// RenderFile): the file source interface and the synthesiser's settings.
#pragma once

#include "platform/dshow/filter.h"

QX_DEFINE_GUID(IID_IFileSourceFilter, "56a868a6-0ad4-11ce-b03a-0020af0ba770");
QX_DEFINE_GUID(IID_IMidiSourceSettings, "0536c2b3-7784-4de3-be23-64e141395075");

class IFileSourceFilter : public IUnknown {
 public:
  // Reads the file now: a file that is missing, not MIDI or damaged fails
  // here (VFW_E_NOT_FOUND, VFW_E_UNSUPPORTED_STREAM, VFW_E_INVALID_FILE_FORMAT)
  // rather than when the graph runs. pmt is ignored and may be null.
  virtual HRESULT Load(LPCOLESTR pszFileName, const AM_MEDIA_TYPE *pmt) = 0;
  // *ppszFileName is CoTaskMemAlloc'd; pmt may be null.
  virtual HRESULT GetCurFile(LPOLESTR *ppszFileName, AM_MEDIA_TYPE *pmt) = 0;

 protected:
  ~IFileSourceFilter() = default;
};

// Settings of the synthesiser source, taken when the graph next starts.
class IMidiSourceSettings : public IUnknown {
 public:
  // Another SoundFont than the default one. A SoundFont that is missing or
  // not a SoundFont fails here with E_INVALIDARG (and the start would fail).
  virtual HRESULT SetSoundFont(LPCOLESTR pszPath) = 0;
  // Text that travels with the stream as tags, for encoders and muxers that
  // write them (title, copyright, comment). Null or empty: no such tag.
  virtual HRESULT SetStreamTags(LPCOLESTR pszTitle, LPCOLESTR pszCopyright,
                                LPCOLESTR pszComment) = 0;
  // The song's length in 100 ns units, once loaded.
  virtual HRESULT GetSongLength(REFERENCE_TIME *pLength) = 0;

 protected:
  ~IMidiSourceSettings() = default;
};
