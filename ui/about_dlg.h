// The about box: the product's name, icon and version, and one OK button,
// which is a rounded, owner-drawn button.
#pragma once

#include "controls/round_button.h"
#include "platform/afx/afxwin.h"
#include "res/resource.h"

class CAboutDlg : public CDialog {
 public:
  enum { IDD = IDD_ABOUTBOX };

  CAboutDlg();
  ~CAboutDlg() override;

  CRoundButton m_btnOK;

 protected:
  void DoDataExchange(CDataExchange *pDX) override;
  BOOL OnInitDialog() override;
};
