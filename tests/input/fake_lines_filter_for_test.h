// A capture filter whose input lines a test defines. A sound card with
// lines named "Stereo Mix", "What U Hear" and the like, or one whose pins
// fail to answer, cannot exist on this machine; this filter stands in for
// it. Each line records what the program did to it.
#pragma once

#include <string>
#include <vector>

#include "platform/dshow/base_filter.h"
#include "platform/dshow/capture.h"

struct FakeLineSetupForTest {
  std::u16string name;
  PIN_DIRECTION dir = PINDIR_INPUT;
  bool directionFails = false;  // QueryDirection fails
  bool infoFails = false;       // QueryPinInfo fails
  bool hasMixer = true;         // offers IAMAudioInputMixer
  double level = 1.0;           // what get_MixLevel reports
  bool levelFails = false;      // get_MixLevel fails (after writing garbage)
};

class FakeLinePinForTest final : public CBasePin, public IAMAudioInputMixer {
 public:
  FakeLinePinForTest(CBaseFilter *filter, const FakeLineSetupForTest &setup);

  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return CBasePin::QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return CBasePin::AddRef(); }
  ULONG Release() override { return CBasePin::Release(); }
  HRESULT QueryDirection(PIN_DIRECTION *pPinDir) override;
  HRESULT QueryPinInfo(PIN_INFO *pInfo) override;
  HRESULT QueryPinInterface(REFIID riid, void **ppv) override;

  HRESULT put_Enable(BOOL fEnable) override;
  HRESULT get_Enable(BOOL *pfEnable) override;
  HRESULT put_MixLevel(double Level) override;
  HRESULT get_MixLevel(double *pLevel) override;

  FakeLineSetupForTest setup;
  bool enabled = false;
  int enableCalls = 0;  // put_Enable calls of either kind
  int levelReads = 0;   // get_MixLevel calls (name tests do not read levels)
  std::vector<double> levelsSet;
};

class FakeLinesFilterForTest final : public CBaseFilter {
 public:
  // Returns the filter with one reference, which the caller releases.
  static FakeLinesFilterForTest *Create(const std::vector<FakeLineSetupForTest> &lines);

  IBaseFilter *AsFilter() { return this; }
  FakeLinePinForTest *Line(int i) const { return static_cast<FakeLinePinForTest *>(Pin(i)); }
  // Indices of the lines that are enabled now.
  std::vector<int> EnabledLines() const;

  bool enumFails = false;
  int nameQueries = 0;  // QueryPinInfo calls over all pins

  HRESULT EnumPins(IEnumPins **ppEnum) override;

 private:
  explicit FakeLinesFilterForTest(const std::vector<FakeLineSetupForTest> &lines);
  GstElement *CreateElement() override { return nullptr; }
};
