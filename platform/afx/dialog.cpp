#include "platform/afx/afxdlg.h"

#include "platform/afx/afxapp.h"

CDialog::CDialog() = default;

CDialog::CDialog(UINT nIDTemplate, CWnd *pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() = default;

BOOL CDialog::InitModalIndirect(const DialogTemplate *pTemplate, CWnd *pParentWnd) {
  if (pTemplate == nullptr) return FALSE;
  m_lpDialogTemplate = pTemplate;
  m_pParentWnd = pParentWnd;
  return TRUE;
}

INT_PTR AfxDlgProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  // From here on the dialog's messages go through the object's table.
  auto *dialog = reinterpret_cast<CDialog *>(lParam);
  if (dialog == nullptr || !dialog->SubclassWindow(hwnd)) return FALSE;
  return dialog->OnInitDialog();
}

INT_PTR CDialog::DoModal() {
  const DialogTemplate *tmpl =
      m_lpDialogTemplate ? m_lpDialogTemplate : FindDialogTemplate(static_cast<int>(m_nIDTemplate));
  if (tmpl == nullptr || m_hWnd != nullptr) return -1;
  HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  if (owner == nullptr) {
    CWnd *main = AfxGetMainWnd();
    if (main != nullptr && main != this) owner = main->m_hWnd;
  }
  if (owner != nullptr && !::IsWindow(owner)) owner = nullptr;
  return ::DialogBoxIndirectParamA(AfxGetInstanceHandle(), tmpl, owner, &AfxDlgProc,
                                   reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()
