// The input lines of the chosen capture device: listing them, finding the
// loop-back line by its name, enabling exactly the chosen one and coupling
// the slider to that line's recording level.
//
// Every entry of the input list carries, as item data, the position of its
// pin among the filter's input pins (or kNoLine for an entry that stands for
// no usable pin, such as "<ERROR>"). The list's positions and the pins do
// not line up one to one when a pin's direction cannot be read, so acting on
// "entry i" as "pin i" would switch on a line the person did not choose.
#include <cstring>

#include "app/converter_app.h"
#include "platform/dshow/capture.h"
#include "platform/dshow/filter.h"
#include "platform/win/text.h"
#include "ui/converter_dlg.h"
#include "ui/input_hint_dlg.h"

namespace {

constexpr DWORD_PTR kNoLine = static_cast<DWORD_PTR>(-1);

// The slider runs from 0 to 200; one step is 0.005 of the full level.
constexpr double kLevelPerStep = 0.005;
constexpr double kStepsPerLevel = 200.0;

const char *const kLoopbackKeywords[] = {"wave", "stereo", "mix", "mixer", "what u hear", "output"};

template <class T>
void SafeRelease(T *&p) {
  if (p) p->Release();
  p = nullptr;
}

// The pin name as UTF-8, bounded by the name field even when a filter left
// it without a terminator.
void PinNameToAnsi(const WCHAR *name, char *out, int outSize) {
  int length = 0;
  while (length < MAX_PIN_NAME && name[length] != 0) ++length;
  out[0] = 0;
  if (length == 0) return;
  int written = WideCharToMultiByte(CP_ACP, 0, name, length, out, outSize - 1, nullptr, nullptr);
  out[written > 0 ? written : 0] = 0;
}

bool NameLooksLikeLoopback(const char *name) {
  char lowered[MAX_PIN_NAME * 3 + 1];
  std::strncpy(lowered, name, sizeof lowered - 1);
  lowered[sizeof lowered - 1] = 0;
  // ASCII letters only: multi-byte characters must stay intact.
  for (char *p = lowered; *p; ++p)
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
  for (const char *keyword : kLoopbackKeywords)
    if (std::strstr(lowered, keyword) != nullptr) return true;
  return false;
}

// The n-th pin of a direction in the filter's pin order; a pin whose
// direction cannot be read counts for no direction.
IPin *NthPinOfDirection(IBaseFilter *filter, PIN_DIRECTION dir, int n) {
  if (!filter || n < 0) return nullptr;
  IEnumPins *pEnum = nullptr;
  if (FAILED(filter->EnumPins(&pEnum)) || !pEnum) return nullptr;
  IPin *pin = nullptr, *found = nullptr;
  while (!found && pEnum->Next(1, &pin, nullptr) == S_OK) {
    PIN_DIRECTION pinDir;
    if (pin && SUCCEEDED(pin->QueryDirection(&pinDir)) && pinDir == dir && n-- == 0)
      found = pin;
    else
      SafeRelease(pin);
  }
  SafeRelease(pEnum);
  return found;
}

// The mixer of the line behind list entry `entry`, or null when the entry
// stands for no pin or its pin offers none.
IAMAudioInputMixer *MixerOfEntry(IBaseFilter *filter, CComboBox &list, int entry) {
  DWORD_PTR data = list.GetItemData(entry);
  if (data == kNoLine || data == static_cast<DWORD_PTR>(CB_ERR)) return nullptr;
  IPin *pin = NthPinOfDirection(filter, PINDIR_INPUT, static_cast<int>(data));
  if (!pin) return nullptr;
  IAMAudioInputMixer *mixer = nullptr;
  if (FAILED(pin->QueryInterface(IID_IAMAudioInputMixer, reinterpret_cast<void **>(&mixer))))
    mixer = nullptr;
  SafeRelease(pin);
  return mixer;
}

}  // namespace

HRESULT CConverterDlg::FillInputLineList(IBaseFilter *pFilter, PIN_DIRECTION dir, CComboBox &list) {
  list.ResetContent();
  if (!pFilter) return E_NOINTERFACE;

  IEnumPins *pEnum = nullptr;
  HRESULT hr = pFilter->EnumPins(&pEnum);
  if (FAILED(hr) || !pEnum) {
    list.SetItemData(list.AddString("<ERROR>"), kNoLine);
    return FAILED(hr) ? hr : E_POINTER;
  }
  pEnum->Reset();

  // Position among the pins of the wanted direction, counted as the pin
  // lookup counts them: a pin whose details cannot be read still counts.
  int nPinOfDirection = 0;
  IPin *pPin = nullptr;
  while ((hr = pEnum->Next(1, &pPin, nullptr)) == S_OK) {
    PIN_DIRECTION pinDir;
    if (FAILED(pPin->QueryDirection(&pinDir))) {
      list.SetItemData(list.AddString("<ERROR>"), kNoLine);
      SafeRelease(pPin);
      continue;
    }
    if (pinDir == dir) {
      const int nPin = nPinOfDirection++;
      PIN_INFO info;
      std::memset(&info, 0, sizeof info);
      if (SUCCEEDED(pPin->QueryPinInfo(&info))) {
        char name[MAX_PIN_NAME * 3 + 1];
        PinNameToAnsi(info.achName, name, sizeof name);
        const int entry = list.AddString(name);
        if (entry >= 0) {
          list.SetItemData(entry, static_cast<DWORD_PTR>(nPin));
          // Once found, the loop-back line is never searched for again; the
          // index then follows the person's choices alone.
          if (g_nSearchFlag == 0 && NameLooksLikeLoopback(name)) {
            g_nCapturePinIndex = entry;
            g_nSearchFlag = 1;
          }
        }
        SafeRelease(info.pFilter);
      }
    }
    SafeRelease(pPin);
  }
  SafeRelease(pEnum);
  return hr;
}

void CConverterDlg::OnSelchangeInputList() {
  if (m_bOnlyOnce == 0) {
    CInputHintDlg hint;
    if (hint.DoModal() == IDOK) m_bOnlyOnce = hint.m_bDontShow;
  }
  OnStop();
  SelectInputLine();
}

HRESULT CConverterDlg::SelectInputLine() {
  const int count = m_cbInputList.GetCount();
  const int selection = m_cbInputList.GetCurSel();
  g_nCapturePinIndex = selection;
  HRESULT hr = S_OK;
  for (int i = 0; i < count; ++i) {
    IAMAudioInputMixer *pMixer = MixerOfEntry(m_pCaptureFilter, m_cbInputList, i);
    if (!pMixer) continue;
    if (i == selection) {
      ShowLineLevel(pMixer);
      hr = pMixer->put_Enable(TRUE);
    } else {
      hr = pMixer->put_Enable(FALSE);
    }
    SafeRelease(pMixer);
  }
  return hr;
}

void CConverterDlg::ShowLineLevel(IAMAudioInputMixer *pMixer) {
  if (!pMixer) return;
  double level = 0.0;
  if (FAILED(pMixer->get_MixLevel(&level))) level = 0.0;
  m_sliderVolume.SendMessage(TBM_SETPOS, TRUE,
                             static_cast<LPARAM>(static_cast<int>(level * kStepsPerLevel)));
}

void CConverterDlg::OnReleasedcaptureVolume(NMHDR *, LRESULT *pResult) {
  const int position = static_cast<int>(m_sliderVolume.SendMessage(TBM_GETPOS, 0, 0));
  ApplyMixLevel(position * kLevelPerStep);
  if (pResult) *pResult = 0;
}

HRESULT CConverterDlg::ApplyMixLevel(double dLevel) {
  const int count = m_cbInputList.GetCount();
  const int selection = m_cbInputList.GetCurSel();
  g_nCapturePinIndex = selection;
  HRESULT hr = S_OK;
  for (int i = 0; i < count; ++i) {
    IAMAudioInputMixer *pMixer = MixerOfEntry(m_pCaptureFilter, m_cbInputList, i);
    if (!pMixer) continue;
    if (i == selection) {
      hr = pMixer->put_MixLevel(dLevel);
      hr = pMixer->put_Enable(TRUE);
    } else {
      hr = pMixer->put_Enable(FALSE);
    }
    SafeRelease(pMixer);
  }
  return hr;
}
