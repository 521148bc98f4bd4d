// The control classes: thin wrappers of the control messages. A member
// bound with DDX_Control receives its control's messages; the owner-drawn
// kinds get WM_DRAWITEM from their parent as DrawItem.
#pragma once

#include "platform/afx/afxwnd.h"

class CButton : public CWnd {
 public:
  int GetCheck() const;
  void SetCheck(int nCheck);
  UINT GetState() const;
  void SetState(BOOL bHighlight);
  UINT GetButtonStyle() const;
  void SetButtonStyle(UINT nStyle, BOOL bRedraw = TRUE);
  // Owner drawing (BS_OWNERDRAW); the default draws nothing.
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *pResult) override;
};

class CStatic : public CWnd {
 public:
  // Owner drawing (SS_OWNERDRAW); the default draws nothing.
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *pResult) override;
};

class CEdit : public CWnd {};

class CComboBox : public CWnd {
 public:
  int AddString(LPCSTR text);
  int InsertString(int nIndex, LPCSTR text);
  int DeleteString(UINT nIndex);
  void ResetContent();
  int GetCount() const;
  int GetCurSel() const;
  int SetCurSel(int nSelect);
  int SetItemData(int nIndex, DWORD_PTR data);
  DWORD_PTR GetItemData(int nIndex) const;
  int SetItemDataPtr(int nIndex, void *p) {
    return SetItemData(nIndex, reinterpret_cast<DWORD_PTR>(p));
  }
  void *GetItemDataPtr(int nIndex) const { return reinterpret_cast<void *>(GetItemData(nIndex)); }
  int GetLBTextLen(int nIndex) const;
  // Copies item nIndex into the buffer, which must hold GetLBTextLen + 1.
  int GetLBText(int nIndex, LPSTR buffer) const;
  void GetLBText(int nIndex, CString &text) const;
  int FindStringExact(int nIndexStart, LPCSTR text) const;
};

class CSliderCtrl : public CWnd {
 public:
  void SetRange(int nMin, int nMax, BOOL bRedraw = FALSE);
  void SetRangeMin(int nMin, BOOL bRedraw = FALSE);
  void SetRangeMax(int nMax, BOOL bRedraw = FALSE);
  int GetRangeMin() const;
  int GetRangeMax() const;
  void GetRange(int &nMin, int &nMax) const;
  void SetPos(int nPos);
  int GetPos() const;
  int SetPageSize(int nSize);
  int GetPageSize() const;
};
