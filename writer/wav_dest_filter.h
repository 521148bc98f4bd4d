// "WAV Dest": the writer filter. Its input takes the captured audio; at the
// start of a run it reads the output path from the registry hand-off and
// writes the WMA file there while it passes the audio on, as WAV, at its
// output to the File Writer.
#pragma once

#include <string>

#include "platform/dshow/base_filter.h"
#include "platform/dshow/capture.h"
#include "writer/handoff.h"

namespace quavix::writer {

inline constexpr const char16_t *kInputPinName = u"In";
inline constexpr const char16_t *kOutputPinName = u"Out";

// Besides the registry hand-off, a caller may name the output with
// IFileSinkFilter::SetFileName; that name then wins. Graphs that run side by
// side (one process converting several songs at once) cannot share one
// registry value.
class CWavDestFilter final : public CBaseFilter, public IFileSinkFilter {
 public:
  CWavDestFilter();

  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return CBaseFilter::QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return CBaseFilter::AddRef(); }
  ULONG Release() override { return CBaseFilter::Release(); }
  // IFileSinkFilter
  HRESULT SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE *pmt) override;
  HRESULT GetCurFile(LPOLESTR *ppszFileName, AM_MEDIA_TYPE *pmt) override;

  // The hand-off read for the current (or last) run.
  const WriterHandOff &HandOff() const { return m_handOff; }

 protected:
  GstElement *CreateElement() override;
  HRESULT QueryFilterInterface(REFIID riid, void **ppv) override;
  HRESULT OnPrepareState(FILTER_STATE target) override;
  void OnStateChanged(FILTER_STATE state) override;

 private:
  HRESULT Fail(const char *path, int err, HRESULT hr);

  WriterHandOff m_handOff;
  std::string m_fileName;  // set by SetFileName; empty: the registry names it
};

// Creates the filter for riid (the class factory's work).
HRESULT CreateWavDestFilter(IUnknown *pUnkOuter, REFIID riid, void **ppv);

}  // namespace quavix::writer
