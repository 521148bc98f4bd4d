// The capture devices in the device list: each entry owns its device's
// moniker; choosing an entry puts that device's capture filter into the
// capture graph. Also the capture graph's reports that the chosen device
// was unplugged or came back.
#include "ui/converter_dlg.h"

#include "app/converter_app.h"
#include "platform/com/combase.h"
#include "platform/dshow/dshow.h"
#include "platform/win/text.h"

#include <cstdio>
#include <string>

namespace {

constexpr const char *kNoHardwareText =
    "There were no audio capture devices detected on this system.\r\n\r\n"
    "If your system has an audio capture device (sound card, video camera, etc.),\r\n"
    "then make sure that it is working properly and that you are not running\r\n"
    "this program through a Windows XP Remote Desktop connection.\r\n\r\n"
    "This program will now exit.";

constexpr const char *kDeviceCaption = "DirectShow Audio Capture Sample";

constexpr const char *kRunFailedText =
    "The conversion stopped: recording or writing the output file failed (error 0x%08X). "
    "The disk may be full or the output folder no longer writable. What was written so far is "
    "kept.";
constexpr const char *kSoundFailedText =
    "The conversion stopped: the sound server or the sound device stopped working (error 0x%08X). "
    "What was written so far is kept.";

// The graph says a file could not be written with these; anything else
// that ends a run comes from the sound side (a server killed mid-run
// breaks every stream at once), and blaming the disk for it would mislead.
bool IsWriteFailure(HRESULT hr) {
  return hr == HRESULT_FROM_WIN32(112) || hr == HRESULT_FROM_WIN32(29) || hr == E_ACCESSDENIED;
}

// The filter of a device that was unplugged stays in an otherwise empty
// graph under this name: there it keeps watching the sound server and
// reports the device's return, which nothing else could see.
constexpr const WCHAR *kLostDeviceWatchName = u"Lost Audio Capture";

std::string ToAnsi(const WCHAR *wide) {
  if (!wide) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), n, nullptr, nullptr);
  text.resize(static_cast<size_t>(n - 1));
  return text;
}

}  // namespace

HRESULT CConverterDlg::EnumerateAudioCaptureDevices() {
  ICreateDevEnum *pDevEnum = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_ICreateDevEnum,
                                reinterpret_cast<void **>(&pDevEnum));
  if (FAILED(hr)) return hr;
  if (!pDevEnum) return E_NOINTERFACE;

  IEnumMoniker *pClassEnum = nullptr;
  hr = pDevEnum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, &pClassEnum, 0);
  int nFill = 0;
  if (SUCCEEDED(hr)) {
    nFill = FillDeviceList(pClassEnum, m_cbDeviceList);
    if (pClassEnum) pClassEnum->Release();
  }
  pDevEnum->Release();

  if (FAILED(hr)) return hr;
  if (nFill < 0) return nFill;
  if (nFill == 1) {
    MessageBeep(0);
    MessageBox(kNoHardwareText, "No audio capture hardware!", MB_OK | MB_ICONHAND);
    return E_FAIL;
  }

  // A remembered device that is no longer there: the first one is taken,
  // and the index stored from here on is the one actually selected.
  if (m_cbDeviceList.SetCurSel(g_nSoundCaptureIndex) == CB_ERR) m_cbDeviceList.SetCurSel(0);
  OnSelchangeDeviceList();
  return nFill;
}

int CConverterDlg::FillDeviceList(IEnumMoniker *pEnum, CComboBox &list) {
  if (!pEnum) {
    list.AddString("<< No entries >>");
    return 1;
  }

  HRESULT hrLast = S_OK;
  int nDevices = 0;
  IMoniker *pMoniker = nullptr;
  while (pEnum->Next(1, &pMoniker, nullptr) == S_OK) {
    IPropertyBag *pBag = nullptr;
    hrLast = pMoniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                     reinterpret_cast<void **>(&pBag));
    if (FAILED(hrLast) || !pBag) {
      if (SUCCEEDED(hrLast)) hrLast = E_NOINTERFACE;
      pMoniker->Release();
      continue;
    }
    VARIANT var;
    VariantInit(&var);
    var.vt = VT_BSTR;
    hrLast = pBag->Read(u"FriendlyName", &var, nullptr);
    if (FAILED(hrLast) || var.vt != VT_BSTR) {
      if (SUCCEEDED(hrLast)) hrLast = E_FAIL;
      VariantClear(&var);
      pBag->Release();
      pMoniker->Release();
      continue;
    }
    std::string name = ToAnsi(var.bstrVal);
    SysFreeString(var.bstrVal);
    var.vt = VT_EMPTY;
    ++nDevices;

    int nIndex = list.AddString(name.c_str());
    if (nIndex >= 0) {
      list.SetItemData(nIndex, reinterpret_cast<DWORD_PTR>(pMoniker));
    } else {
      pMoniker->Release();
    }
    pMoniker = nullptr;
    pBag->Release();
  }

  g_nDeviceCount = nDevices;
  if (nDevices <= 1) list.ShowWindow(SW_HIDE);
  // A device whose name cannot be read is left out; when others were listed
  // the program goes on with them rather than ending because the unreadable
  // one happened to come last.
  if (nDevices > 0) return 0;
  return FAILED(hrLast) ? static_cast<int>(hrLast) : 0;
}

void CConverterDlg::ReleaseDeviceList() {
  int nCount = m_cbDeviceList.GetCount();
  for (int i = 0; i < nCount; ++i) {
    DWORD_PTR data = m_cbDeviceList.GetItemData(i);
    if (data != 0 && data != static_cast<DWORD_PTR>(CB_ERR))
      reinterpret_cast<IMoniker *>(data)->Release();
    m_cbDeviceList.SetItemData(i, 0);
  }
  m_cbDeviceList.ResetContent();
}

void CConverterDlg::OnSelchangeDeviceList() {
  if (m_pCaptureFilter) {
    m_cbInputList.ResetContent();
    ReleaseCaptureGraph();
    BuildCaptureGraph();
  }
  g_nSoundCaptureIndex = m_cbDeviceList.GetCurSel();

  int nSel = g_nSoundCaptureIndex;
  if (nSel < 0) return;
  DWORD_PTR data = m_cbDeviceList.GetItemData(nSel);
  if (data == 0 || data == static_cast<DWORD_PTR>(CB_ERR)) return;
  auto *pMoniker = reinterpret_cast<IMoniker *>(data);

  HRESULT hr = pMoniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                      reinterpret_cast<void **>(&m_pCaptureFilter));
  if (FAILED(hr) || !m_pCaptureFilter) {
    m_pCaptureFilter = nullptr;
    return;
  }
  if (!m_pGB) return;
  hr = m_pGB->AddFilter(m_pCaptureFilter, u"Audio Capture");
  if (FAILED(hr)) return;

  hr = FillInputLineList(m_pCaptureFilter, PINDIR_INPUT, m_cbInputList);
  if (FAILED(hr)) return;

  m_cbInputList.SetCurSel(g_nCapturePinIndex);
  OnSelchangeInputList();
}

void CConverterDlg::HandleCaptureGraphEvents() {
  if (!m_pME) return;
  long lEventCode = 0;
  LONG_PTR lParam1 = 0, lParam2 = 0;
  while (m_pME) {
    IMediaEventEx *pEvent = m_pME;
    if (FAILED(pEvent->GetEvent(&lEventCode, &lParam1, &lParam2, 0))) break;
    pEvent->FreeEventParams(lEventCode, lParam1, lParam2);
    // A run whose recording or writing failed (a full disk, a folder gone)
    // would go on showing "Converting" while nothing more is written: it is
    // stopped, which keeps what was written, and the person is told.
    if (lEventCode == EC_ERRORABORT && m_bConverting) {
      OnStop();
      char szText[512];
      const HRESULT hrRun = static_cast<HRESULT>(lParam1);
      std::snprintf(szText, sizeof szText,
                    IsWriteFailure(hrRun) ? kRunFailedText : kSoundFailedText,
                    static_cast<unsigned>(hrRun));
      MessageBox(szText, "Error", MB_OK | MB_ICONEXCLAMATION);
      continue;
    }
    if (lEventCode != EC_DEVICE_LOST) continue;

    if (lParam2 == 0) {
      // Held across the teardown so it can go on watching for the device.
      IBaseFilter *pLost = m_pCaptureFilter;
      if (pLost) pLost->AddRef();

      OnStop();
      ReleaseDeviceList();
      m_cbInputList.ResetContent();
      RemoveWriterChain();
      ReleaseCaptureGraph();
      ResetGraphPointers();

      if (pLost) {
        // An empty graph that notifies this window as before, holding only
        // the lost device's filter, which reports the device's return. It
        // is no capture source: m_pCaptureFilter stays null.
        if (SUCCEEDED(BuildCaptureGraph()) && m_pGB) m_pGB->AddFilter(pLost, kLostDeviceWatchName);
        pLost->Release();
      }

      MessageBeep(0);
      MessageBox("The selected input device was removed!", kDeviceCaption,
                 MB_OK | MB_ICONEXCLAMATION);
    } else {
      // A run (should one be going) is finished before its graph goes.
      OnStop();
      // Whatever graph reported the return (the watching one) goes first;
      // with nothing held this changes nothing.
      ReleaseCaptureGraph();
      ReleaseDeviceList();
      m_cbInputList.ResetContent();
      ResetGraphPointers();
      if (SUCCEEDED(BuildCaptureGraph())) EnumerateAudioCaptureDevices();

      MessageBeep(0);
      MessageBox("The audio input device has been reattached!", kDeviceCaption,
                 MB_OK | MB_ICONINFORMATION);
    }
  }
}
