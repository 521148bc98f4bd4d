// Stand-ins for the input lines and the recording level. Removed when the
// real versions land in input/.
#include "ui/converter_dlg.h"

void CConverterDlg::OnSelchangeInputList() {}

void CConverterDlg::OnReleasedcaptureVolume(NMHDR *, LRESULT *pResult) { *pResult = 0; }

HRESULT CConverterDlg::FillInputLineList(IBaseFilter *, PIN_DIRECTION, CComboBox &list) {
  list.ResetContent();
  return S_OK;
}

HRESULT CConverterDlg::SelectInputLine() { return S_OK; }

void CConverterDlg::ShowLineLevel(IAMAudioInputMixer *) {}

HRESULT CConverterDlg::ApplyMixLevel(double) { return S_OK; }
