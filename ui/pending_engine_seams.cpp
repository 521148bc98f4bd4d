// Stand-ins for the capture graph, the device list and the conversion run.
// Each does the least that keeps the window usable: no graph is built and no
// device is listed. Removed when the real versions land in engine/ and input/.
#include "ui/converter_dlg.h"

HRESULT CConverterDlg::BuildCaptureGraph() { return S_OK; }

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

void CConverterDlg::ReleaseCaptureGraph() {}

HRESULT CConverterDlg::RemoveWriterChain() { return S_OK; }

HRESULT CConverterDlg::EnumerateAudioCaptureDevices() { return S_OK; }

void CConverterDlg::ReleaseDeviceList() { m_cbDeviceList.ResetContent(); }

void CConverterDlg::HandleCaptureGraphEvents() {}

void CConverterDlg::OnConvert() {}
void CConverterDlg::OnStop() {}
void CConverterDlg::OnSelchangeDeviceList() {}

void CConverterDlg::OnTimer(UINT_PTR nIDEvent) { CDialog::OnTimer(nIDEvent); }

// No graph to measure a song with yet: every song is refused.
BOOL CConverterDlg::MeasureMidiLength() { return FALSE; }
