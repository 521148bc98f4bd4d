#include "ui/input_hint_dlg.h"

#include "app/converter_app.h"

CInputHintDlg::CInputHintDlg() : CDialog(CInputHintDlg::IDD, nullptr), m_bDontShow(1) {}

CInputHintDlg::~CInputHintDlg() = default;

void CInputHintDlg::DoDataExchange(CDataExchange *pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Check(pDX, IDC_DONT_SHOW, m_bDontShow);
}

BOOL CInputHintDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  return TRUE;
}

void CInputHintDlg::OnOK() {
  // A box that cannot be read leaves the dialog open rather than storing a
  // choice the person did not make.
  if (!UpdateData(TRUE)) return;
  ConverterApp()->SetSettingInt("Option", "b_only_once", m_bDontShow);
  EndDialog(IDOK);
}
