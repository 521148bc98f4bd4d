// The about box: the product's name, icon and version, and one OK button.
#pragma once

#include "platform/afx/afxwin.h"
#include "res/resource.h"

class CAboutDlg : public CDialog {
 public:
  enum { IDD = IDD_ABOUTBOX };

  CAboutDlg();
  ~CAboutDlg() override;

 protected:
  void DoDataExchange(CDataExchange *pDX) override;
  BOOL OnInitDialog() override;
};
