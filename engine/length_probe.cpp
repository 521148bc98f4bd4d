#include "engine/length_probe.h"

#include "platform/com/combase.h"
#include "platform/dshow/dshow.h"
#include "platform/win/text.h"
#include "ui/converter_dlg.h"

int ProbeStopPosition(const char *path, LONGLONG *out) {
  if (!path || !out) return 0;
  IGraphBuilder *pGraph = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                              reinterpret_cast<void **>(&pGraph))) ||
      !pGraph)
    return 0;

  WCHAR wszPath[MAX_PATH];
  wszPath[0] = 0;
  // A path that does not fit is not cut into the name of another file.
  if (MultiByteToWideChar(CP_ACP, 0, path, -1, wszPath, MAX_PATH) == 0) {
    pGraph->Release();
    return 0;
  }
  wszPath[MAX_PATH - 1] = 0;

  if (FAILED(pGraph->RenderFile(wszPath, nullptr))) {
    pGraph->Release();
    return 0;
  }
  IMediaSeeking *pSeeking = nullptr;
  if (FAILED(pGraph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void **>(&pSeeking))) ||
      !pSeeking) {
    pGraph->Release();
    return 0;
  }
  LONGLONG llStop = 0;
  HRESULT hr = pSeeking->GetStopPosition(&llStop);
  pSeeking->Release();
  pGraph->Release();
  if (FAILED(hr)) return 0;
  *out = llStop;
  return 1;
}

BOOL CConverterDlg::MeasureMidiLength() {
  LONGLONG llLength = 0;
  if (ProbeStopPosition(m_szMidiPath, &llLength) != 1) return 0;
  m_llDuration = llLength;
  m_nDurationSec = static_cast<int>(llLength / 10000000);
  return 1;
}
