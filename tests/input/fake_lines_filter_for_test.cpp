#include "tests/input/fake_lines_filter_for_test.h"

#include <algorithm>

namespace {
QX_DEFINE_GUID(CLSID_FakeLinesFilterForTest, "5b0c7d8e-3f4a-4c21-9a6e-0d1f2e3c4b5a");

AM_MEDIA_TYPE AudioType() {
  AM_MEDIA_TYPE mt{};
  mt.majortype = MEDIATYPE_Audio;
  return mt;
}
}  // namespace

FakeLinePinForTest::FakeLinePinForTest(CBaseFilter *filter, const FakeLineSetupForTest &s)
    : CBasePin(filter, s.dir, s.name, AudioType()), setup(s) {}

HRESULT FakeLinePinForTest::QueryDirection(PIN_DIRECTION *pPinDir) {
  if (setup.directionFails) return E_UNEXPECTED;
  return CBasePin::QueryDirection(pPinDir);
}

HRESULT FakeLinePinForTest::QueryPinInfo(PIN_INFO *pInfo) {
  ++static_cast<FakeLinesFilterForTest *>(m_pFilter)->nameQueries;
  if (setup.infoFails) return E_FAIL;
  return CBasePin::QueryPinInfo(pInfo);
}

HRESULT FakeLinePinForTest::QueryPinInterface(REFIID riid, void **ppv) {
  if (setup.hasMixer && riid == IID_IAMAudioInputMixer) {
    *ppv = static_cast<IAMAudioInputMixer *>(this);
    AddRef();
    return S_OK;
  }
  return CBasePin::QueryPinInterface(riid, ppv);
}

HRESULT FakeLinePinForTest::put_Enable(BOOL fEnable) {
  ++enableCalls;
  enabled = fEnable != FALSE;
  return S_OK;
}

HRESULT FakeLinePinForTest::get_Enable(BOOL *pfEnable) {
  *pfEnable = enabled ? TRUE : FALSE;
  return S_OK;
}

HRESULT FakeLinePinForTest::put_MixLevel(double Level) {
  levelsSet.push_back(Level);
  setup.level = Level;
  return S_OK;
}

HRESULT FakeLinePinForTest::get_MixLevel(double *pLevel) {
  ++levelReads;
  if (setup.levelFails) return E_FAIL;
  *pLevel = setup.level;
  return S_OK;
}

FakeLinesFilterForTest::FakeLinesFilterForTest(const std::vector<FakeLineSetupForTest> &lines)
    : CBaseFilter(CLSID_FakeLinesFilterForTest) {
  for (const auto &line : lines) AddPin(std::make_unique<FakeLinePinForTest>(this, line));
}

FakeLinesFilterForTest *FakeLinesFilterForTest::Create(
    const std::vector<FakeLineSetupForTest> &lines) {
  auto *filter = new FakeLinesFilterForTest(lines);
  filter->AddRef();
  return filter;
}

std::vector<int> FakeLinesFilterForTest::EnabledLines() const {
  std::vector<int> on;
  for (int i = 0; i < PinCount(); ++i)
    if (Line(i)->enabled) on.push_back(i);
  return on;
}

HRESULT FakeLinesFilterForTest::EnumPins(IEnumPins **ppEnum) {
  if (enumFails) {
    if (ppEnum) *ppEnum = nullptr;
    return E_OUTOFMEMORY;
  }
  return CBaseFilter::EnumPins(ppEnum);
}
