// Stand-ins for the input lines and the recording level. Removed when the
// real versions land in input/.
#include "ui/converter_dlg.h"

void CConverterDlg::OnSelchangeInputList() {}

void CConverterDlg::OnReleasedcaptureVolume(NMHDR *, LRESULT *pResult) { *pResult = 0; }
