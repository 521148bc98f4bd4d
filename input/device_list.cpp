// The capture devices in the device list: each entry owns its device's
// moniker; choosing an entry puts that device's capture filter into the
// capture graph. Also the capture graph's reports that the chosen device
// was unplugged or came back, that other devices came or went, and that a
// run recorded nothing.
//
// Devices are told apart by their identity ("DeviceId" of the moniker's
// property bag), which survives unplugging and server restarts: the list is
// refreshed whenever devices come or go, keeping the chosen device chosen,
// and after the chosen device was unplugged the list offers the others so
// the person can go on without a restart.
#include "ui/converter_dlg.h"

#include "app/converter_app.h"
#include "platform/com/combase.h"
#include "platform/dshow/dshow.h"
#include "platform/win/text.h"
#include "platform/win/winerror.h"

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

constexpr const char *kSilentRunText =
    "Nothing was heard on the chosen input line: the recording is silent. The output file is "
    "kept.\r\n\r\nChoose the input line of the output that plays the song (\"Monitor of ...\") "
    "and convert again.";

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
  return hr == HRESULT_FROM_WIN32(ERROR_DISK_FULL) || hr == HRESULT_FROM_WIN32(ERROR_WRITE_FAULT) ||
         hr == E_ACCESSDENIED;
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

// The identity of the device behind a list entry; "" when it has none.
std::string DeviceIdOfEntry(CComboBox &list, int entry) {
  if (entry < 0) return {};
  DWORD_PTR data = list.GetItemData(entry);
  if (data == 0 || data == static_cast<DWORD_PTR>(CB_ERR)) return {};
  IPropertyBag *pBag = nullptr;
  if (FAILED(reinterpret_cast<IMoniker *>(data)->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                                               reinterpret_cast<void **>(&pBag))) ||
      !pBag)
    return {};
  VARIANT var;
  VariantInit(&var);
  var.vt = VT_BSTR;
  std::string id;
  if (SUCCEEDED(pBag->Read(u"DeviceId", &var, nullptr)) && var.vt == VT_BSTR)
    id = ToAnsi(var.bstrVal);
  VariantClear(&var);
  pBag->Release();
  return id;
}

int EntryOfDevice(CComboBox &list, const std::string &id) {
  if (id.empty()) return -1;
  const int count = list.GetCount();
  for (int i = 0; i < count; ++i)
    if (DeviceIdOfEntry(list, i) == id) return i;
  return -1;
}

// The device that was unplugged while chosen, while it is away; a return
// selects it again even if other devices came or went meanwhile (which
// shifts positions).
std::string g_strLostDeviceId;
// Set only while the list is refilled after that return.
std::string g_strWantedDeviceId;

// Lists the devices there are now without choosing one, for the time after
// the chosen device was unplugged; the list stays usable so that another
// device can be chosen. Returns the number listed.
int ListDevicesToChooseFrom(CConverterDlg &dlg) {
  ICreateDevEnum *pDevEnum = nullptr;
  IEnumMoniker *pClassEnum = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr,
                                 CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_ICreateDevEnum,
                                 reinterpret_cast<void **>(&pDevEnum))) &&
      pDevEnum) {
    if (FAILED(pDevEnum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, &pClassEnum, 0)))
      pClassEnum = nullptr;
    pDevEnum->Release();
  }
  dlg.ReleaseDeviceList();
  // No device at all: the list stays empty (no "<< No entries >>" entry,
  // which would look like something to choose).
  if (!pClassEnum) return 0;
  dlg.FillDeviceList(pClassEnum, dlg.m_cbDeviceList);
  pClassEnum->Release();
  return g_nDeviceCount;
}

void ShowDeviceList(CConverterDlg &dlg) {
  dlg.m_cbDeviceList.ShowWindow(SW_SHOW);
  if (CWnd *tag = dlg.GetDlgItem(IDC_DEVICE_TAG)) tag->ShowWindow(SW_SHOW);
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

  if (!g_strWantedDeviceId.empty()) {
    const int entry = EntryOfDevice(m_cbDeviceList, g_strWantedDeviceId);
    if (entry >= 0) g_nSoundCaptureIndex = entry;
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
  // After an unplug the graph only watches for the lost device's return;
  // a device chosen instead gets a graph of its own.
  IBaseFilter *pWatcher = nullptr;
  if (!m_pCaptureFilter && m_pGB &&
      SUCCEEDED(m_pGB->FindFilterByName(kLostDeviceWatchName, &pWatcher)) && pWatcher) {
    pWatcher->Release();
    g_strLostDeviceId.clear();
    ReleaseCaptureGraph();
    ResetGraphPointers();
    BuildCaptureGraph();
  }
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
    // The run that just ended recorded silence: the song played on an
    // output other than the one recorded, or the line is muted. The run
    // ended as usual; the person learns why the file is silent.
    if (lEventCode == EC_CAPTURE_SILENT) {
      MessageBox(kSilentRunText, "Error", MB_OK | MB_ICONEXCLAMATION);
      continue;
    }
    // Another device came or went: the list shows what there is now and
    // keeps the chosen device chosen (positions may have moved).
    if (lEventCode == EC_CAPTURE_DEVICES_CHANGED) {
      const bool bLostState = !m_pCaptureFilter;
      const std::string chosen = DeviceIdOfEntry(m_cbDeviceList, m_cbDeviceList.GetCurSel());
      ListDevicesToChooseFrom(*this);
      const int entry = EntryOfDevice(m_cbDeviceList, chosen);
      m_cbDeviceList.SetCurSel(entry);
      if (entry >= 0) g_nSoundCaptureIndex = entry;
      if (g_nDeviceCount > 1 || (bLostState && g_nDeviceCount > 0)) {
        ShowDeviceList(*this);
      } else {
        // One device, and it is the chosen one: nothing to choose, as at
        // start-up.
        m_cbDeviceList.ShowWindow(SW_HIDE);
        if (CWnd *tag = GetDlgItem(IDC_DEVICE_TAG)) tag->ShowWindow(SW_HIDE);
      }
      continue;
    }
    if (lEventCode != EC_DEVICE_LOST) continue;

    if (lParam2 == 0) {
      // Held across the teardown so it can go on watching for the device.
      IBaseFilter *pLost = m_pCaptureFilter;
      if (pLost) pLost->AddRef();
      g_strLostDeviceId = DeviceIdOfEntry(m_cbDeviceList, m_cbDeviceList.GetCurSel());

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

      // The devices that are left, none chosen: the person may take one
      // now instead of waiting for the lost one.
      if (ListDevicesToChooseFrom(*this) > 0) ShowDeviceList(*this);
      m_cbDeviceList.SetCurSel(-1);

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
      g_strWantedDeviceId.swap(g_strLostDeviceId);
      g_strLostDeviceId.clear();
      if (SUCCEEDED(BuildCaptureGraph())) EnumerateAudioCaptureDevices();
      g_strWantedDeviceId.clear();

      MessageBeep(0);
      MessageBox("The audio input device has been reattached!", kDeviceCaption,
                 MB_OK | MB_ICONINFORMATION);
    }
  }
}
