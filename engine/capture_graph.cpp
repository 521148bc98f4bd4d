// The recording graph of the main window: built empty at start-up, given the
// chosen device's capture filter by the device list, and, only while a
// conversion runs, the writer chain behind it ("WAV Dest" into "File
// Writer").
#include "ui/converter_dlg.h"

#include "platform/com/combase.h"
#include "platform/dshow/dshow.h"
#include "platform/win/debug.h"
#include "platform/win/text.h"
#include "ui/home_folder.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kInProc = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

template <class T>
void SafeRelease(T *&p) {
  if (p) {
    p->Release();
    p = nullptr;
  }
}

}  // namespace

void CConverterDlg::DebugTrace(const char *pszFormat, ...) {
  char szBuffer[1024];
  va_list args;
  va_start(args, pszFormat);
  std::vsnprintf(szBuffer, sizeof szBuffer, pszFormat, args);
  va_end(args);
  OutputDebugStringA(szBuffer);
}

HRESULT CConverterDlg::BuildCaptureGraph() {
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, kInProc, IID_IGraphBuilder,
                                reinterpret_cast<void **>(&m_pGB));
  if (FAILED(hr) || !m_pGB) return E_NOINTERFACE;

  hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, kInProc, IID_ICaptureGraphBuilder2,
                        reinterpret_cast<void **>(&m_pCapture));
  if (FAILED(hr) || !m_pCapture) return E_NOINTERFACE;

  hr = m_pCapture->SetFiltergraph(m_pGB);
  if (FAILED(hr)) return hr;

  hr = m_pGB->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&m_pMC));
  if (FAILED(hr)) {
    DebugTrace("FAILED(0x%x) hr = m_pGB->QueryInterface(IID_IMediaControl, (void **)&m_pMC)\n",
               static_cast<unsigned>(hr));
    return hr;
  }
  hr = m_pGB->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void **>(&m_pME));
  if (FAILED(hr)) {
    DebugTrace("FAILED(0x%x) hr = m_pGB->QueryInterface(IID_IMediaEventEx, (void **)&m_pME)\n",
               static_cast<unsigned>(hr));
    return hr;
  }
  return m_pME->SetNotifyWindow(reinterpret_cast<OAHWND>(m_hWnd), WM_CAPTURE_NOTIFY, 0);
}

void CConverterDlg::ResetGraphPointers() {
  m_pGB = nullptr;
  m_pMC = nullptr;
  m_pME = nullptr;
  m_pCapture = nullptr;
  m_pCaptureFilter = nullptr;
  m_pFileWriter = nullptr;
  m_pWavDest = nullptr;
  m_editOutputPath.SetWindowText(m_strOutputPath);
}

void CConverterDlg::ReleaseCaptureGraph() {
  // No notification may reach the window once the graph is going away.
  if (m_pME) m_pME->SetNotifyWindow(0, 0, 0);
  SafeRelease(m_pMC);
  SafeRelease(m_pME);
  SafeRelease(m_pFileWriter);
  SafeRelease(m_pWavDest);
  SafeRelease(m_pCaptureFilter);
  SafeRelease(m_pGB);
  SafeRelease(m_pCapture);
}

HRESULT CConverterDlg::InsertWriterChain() {
  HRESULT hr = CoCreateInstance(CLSID_WavDestWriter, nullptr, kInProc, IID_IBaseFilter,
                                reinterpret_cast<void **>(&m_pWavDest));
  if (FAILED(hr) || !m_pWavDest) {
    m_pWavDest = nullptr;
    MessageBox("The program does not detect its file writer. Please install the program again!",
               "Error", MB_OK);
    return E_NOINTERFACE;
  }

  IFileSinkFilter2 *pSink = nullptr;
  hr = CoCreateInstance(CLSID_FileWriter, nullptr, kInProc, IID_IFileSinkFilter2,
                        reinterpret_cast<void **>(&pSink));
  if (FAILED(hr) || !pSink) return E_NOINTERFACE;

  auto finish = [&](HRESULT result) {
    pSink->Release();
    return result;
  };

  hr = pSink->QueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&m_pFileWriter));
  if (FAILED(hr)) return finish(E_NOINTERFACE);

  // Without a graph (its device was lost and has not returned) there is
  // nothing to add the chain to.
  if (!m_pGB) return finish(E_POINTER);
  hr = m_pGB->AddFilter(m_pWavDest, u"WAV Dest");
  if (FAILED(hr)) return finish(hr);
  hr = m_pGB->AddFilter(m_pFileWriter, u"File Writer");
  if (FAILED(hr)) return finish(hr);

  pSink->SetMode(AM_FILE_OVERWRITE);

  char szFile[MAX_PATH];
  std::snprintf(szFile, sizeof szFile, "%s", m_szTempWavPath);
  if (szFile[0] == '\0') {
    // "c:\" of the original layout is the home folder here.
    std::string fallback = HomeFolderFallback() + "vorlinta_temp.wma";
    if (fallback.size() >= sizeof szFile) return finish(E_FAIL);
    std::snprintf(szFile, sizeof szFile, "%s", fallback.c_str());
  }
  WCHAR wszFile[MAX_PATH];
  wszFile[0] = 0;
  MultiByteToWideChar(CP_ACP, 0, szFile, -1, wszFile, MAX_PATH);
  wszFile[MAX_PATH - 1] = 0;

  hr = pSink->SetFileName(wszFile, nullptr);
  if (FAILED(hr)) return finish(hr);

  IPin *pPin = nullptr;
  hr = FindPin(m_pCaptureFilter, PINDIR_OUTPUT, 0, &pPin);
  if (SUCCEEDED(hr) && pPin) {
    hr = m_pGB->Render(pPin);
    pPin->Release();
  }
  return finish(hr);
}

HRESULT CConverterDlg::RemoveWriterChain() {
  HRESULT hr = S_OK;
  if (m_pWavDest) {
    if (m_pGB) hr = m_pGB->RemoveFilter(m_pWavDest);
    SafeRelease(m_pWavDest);
  }
  if (m_pFileWriter) {
    if (m_pGB) hr = m_pGB->RemoveFilter(m_pFileWriter);
    SafeRelease(m_pFileWriter);
  }
  return hr;
}

HRESULT CConverterDlg::FindPin(IBaseFilter *pFilter, PIN_DIRECTION dir, int nIndex, IPin **ppPin) {
  if (!ppPin) return E_POINTER;
  *ppPin = nullptr;
  if (!pFilter) return E_POINTER;

  IEnumPins *pEnum = nullptr;
  HRESULT hr = pFilter->EnumPins(&pEnum);
  if (FAILED(hr)) {
    if (pEnum) pEnum->Release();
    return hr;
  }
  if (!pEnum) return E_FAIL;

  hr = E_FAIL;
  IPin *pPin = nullptr;
  while (pEnum->Next(1, &pPin, nullptr) == S_OK) {
    PIN_DIRECTION pinDir = static_cast<PIN_DIRECTION>(3);
    pPin->QueryDirection(&pinDir);
    if (pinDir == dir) {
      if (nIndex == 0) {
        *ppPin = pPin;
        hr = S_OK;
        break;
      }
      --nIndex;
    }
    pPin->Release();
    pPin = nullptr;
  }
  pEnum->Release();
  return hr;
}
