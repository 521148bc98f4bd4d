// CDialog: a dialog from a template, run modally. OK and Cancel (the IDOK
// and IDCANCEL commands: the buttons, Enter, Esc, the caption's close box)
// call OnOK and OnCancel.
#pragma once

#include "platform/afx/afxwnd.h"
#include "platform/win/dialog_template.h"

class CDialog : public CWnd {
 public:
  CDialog();
  explicit CDialog(UINT nIDTemplate, CWnd *pParentWnd = nullptr);
  ~CDialog() override;

  // Uses this template instead of the resource id's.
  BOOL InitModalIndirect(const DialogTemplate *pTemplate, CWnd *pParentWnd = nullptr);

  // Runs the dialog modally. Without a parent, the application's main window
  // (when it is another window) owns it. Returns the EndDialog result, or -1
  // when the template is missing or a quit request ended the dialog.
  virtual INT_PTR DoModal();
  // Transfers the members to the controls; TRUE gives the default focus.
  virtual BOOL OnInitDialog();
  void EndDialog(int nResult);

 protected:
  // UpdateData(TRUE), then EndDialog(IDOK) (not when the exchange failed).
  virtual void OnOK();
  // EndDialog(IDCANCEL).
  virtual void OnCancel();

  UINT m_nIDTemplate = 0;
  const DialogTemplate *m_lpDialogTemplate = nullptr;
  CWnd *m_pParentWnd = nullptr;

  friend INT_PTR AfxDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  DECLARE_MESSAGE_MAP()
};

INT_PTR AfxDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
