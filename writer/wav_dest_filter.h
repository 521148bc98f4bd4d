// "WAV Dest": the writer filter. Its input takes the captured audio; at the
// start of a run it reads the output path from the registry hand-off and
// writes the WMA file there while it passes the audio on, as WAV, at its
// output to the File Writer.
#pragma once

#include <string>

#include "platform/dshow/base_filter.h"
#include "writer/handoff.h"

namespace quavix::writer {

inline constexpr const char16_t *kInputPinName = u"In";
inline constexpr const char16_t *kOutputPinName = u"Out";

class CWavDestFilter final : public CBaseFilter {
 public:
  CWavDestFilter();

  // The hand-off read for the current (or last) run.
  const WriterHandOff &HandOff() const { return m_handOff; }

 protected:
  GstElement *CreateElement() override;
  HRESULT OnPrepareState(FILTER_STATE target) override;
  void OnStateChanged(FILTER_STATE state) override;

 private:
  HRESULT Fail(const char *path, int err, HRESULT hr);

  WriterHandOff m_handOff;
};

// Creates the filter for riid (the class factory's work).
HRESULT CreateWavDestFilter(IUnknown *pUnkOuter, REFIID riid, void **ppv);

}  // namespace quavix::writer
