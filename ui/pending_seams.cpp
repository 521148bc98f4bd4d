// Stand-ins for the main window's operations whose real versions belong to
// the capture graph, the device and input lists, the conversion run, the
// song commands and the preview player. Each does the least that keeps the
// window usable: no graph is built, no device is listed, no player exists.
// They are replaced, one by one, when the media graph and those commands land.
#include "ui/about_dlg.h"
#include "ui/converter_dlg.h"

#include "app/converter_app.h"

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

int CConverterDlg::DiscardPlayer() {
  // No player is ever created yet, so g_pPlayer stays null.
  Invalidate(FALSE);
  return 1;
}

void CConverterDlg::OnConvert() {}
void CConverterDlg::OnStop() {}
void CConverterDlg::OnOpen() {}
void CConverterDlg::OnPlay() {}
void CConverterDlg::OnBrowse() {}
void CConverterDlg::OnHelpButton() {}
void CConverterDlg::OnCloseMedia() {}
void CConverterDlg::OnSelchangeDeviceList() {}
void CConverterDlg::OnSelchangeInputList() {}

void CConverterDlg::OnReleasedcaptureVolume(NMHDR *, LRESULT *pResult) { *pResult = 0; }

void CConverterDlg::OnTimer(UINT_PTR nIDEvent) { CDialog::OnTimer(nIDEvent); }

void CConverterDlg::OnAbout() {
  CAboutDlg dlgAbout;
  dlgAbout.DoModal();
}
