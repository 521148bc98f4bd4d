// The hint that explains which input line a conversion needs (the loop-back
// line) and how the program picks it. Its box silences it for good.
#pragma once

#include "platform/afx/afxwin.h"
#include "res/resource.h"

class CInputHintDlg : public CDialog {
 public:
  enum { IDD = IDD_INPUT_HINT };

  CInputHintDlg();
  ~CInputHintDlg() override;

  // The box "Do not show the message in the future"; ticked at every opening.
  int m_bDontShow;

 protected:
  void DoDataExchange(CDataExchange *pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
};
