#include "platform/afx/afxctrl.h"

#include <string>

int CButton::GetCheck() const {
  return static_cast<int>(::SendMessageA(m_hWnd, BM_GETCHECK, 0, 0));
}
void CButton::SetCheck(int nCheck) {
  ::SendMessageA(m_hWnd, BM_SETCHECK, static_cast<WPARAM>(nCheck), 0);
}
UINT CButton::GetState() const {
  return static_cast<UINT>(::SendMessageA(m_hWnd, BM_GETSTATE, 0, 0));
}
void CButton::SetState(BOOL bHighlight) { ::SendMessageA(m_hWnd, BM_SETSTATE, bHighlight, 0); }
UINT CButton::GetButtonStyle() const { return static_cast<UINT>(GetStyle() & 0xFFFF); }
void CButton::SetButtonStyle(UINT nStyle, BOOL bRedraw) {
  ::SendMessageA(m_hWnd, BM_SETSTYLE, nStyle, bRedraw);
}
void CButton::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *pResult) {
  if (message != WM_DRAWITEM) return CWnd::OnChildNotify(message, wParam, lParam, pResult);
  DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
  if (pResult) *pResult = TRUE;
  return TRUE;
}

void CStatic::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CStatic::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *pResult) {
  if (message != WM_DRAWITEM) return CWnd::OnChildNotify(message, wParam, lParam, pResult);
  DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
  if (pResult) *pResult = TRUE;
  return TRUE;
}

int CComboBox::AddString(LPCSTR text) {
  return static_cast<int>(::SendMessageA(m_hWnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}
int CComboBox::InsertString(int nIndex, LPCSTR text) {
  return static_cast<int>(::SendMessageA(m_hWnd, CB_INSERTSTRING, static_cast<WPARAM>(nIndex),
                                         reinterpret_cast<LPARAM>(text)));
}
int CComboBox::DeleteString(UINT nIndex) {
  return static_cast<int>(::SendMessageA(m_hWnd, CB_DELETESTRING, nIndex, 0));
}
void CComboBox::ResetContent() { ::SendMessageA(m_hWnd, CB_RESETCONTENT, 0, 0); }
int CComboBox::GetCount() const {
  return static_cast<int>(::SendMessageA(m_hWnd, CB_GETCOUNT, 0, 0));
}
int CComboBox::GetCurSel() const {
  return static_cast<int>(::SendMessageA(m_hWnd, CB_GETCURSEL, 0, 0));
}
int CComboBox::SetCurSel(int nSelect) {
  return static_cast<int>(::SendMessageA(m_hWnd, CB_SETCURSEL, static_cast<WPARAM>(nSelect), 0));
}
int CComboBox::SetItemData(int nIndex, DWORD_PTR data) {
  return static_cast<int>(::SendMessageA(m_hWnd, CB_SETITEMDATA, static_cast<WPARAM>(nIndex),
                                         static_cast<LPARAM>(data)));
}
DWORD_PTR CComboBox::GetItemData(int nIndex) const {
  return static_cast<DWORD_PTR>(
      ::SendMessageA(m_hWnd, CB_GETITEMDATA, static_cast<WPARAM>(nIndex), 0));
}
int CComboBox::GetLBTextLen(int nIndex) const {
  return static_cast<int>(::SendMessageA(m_hWnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(nIndex), 0));
}
int CComboBox::GetLBText(int nIndex, LPSTR buffer) const {
  return static_cast<int>(::SendMessageA(m_hWnd, CB_GETLBTEXT, static_cast<WPARAM>(nIndex),
                                         reinterpret_cast<LPARAM>(buffer)));
}
void CComboBox::GetLBText(int nIndex, CString &text) const {
  int length = GetLBTextLen(nIndex);
  if (length < 0) {
    text.Empty();
    return;
  }
  std::string buffer(static_cast<std::size_t>(length) + 1, '\0');
  GetLBText(nIndex, buffer.data());
  buffer.resize(static_cast<std::size_t>(length));
  text = CString(buffer);
}
int CComboBox::FindStringExact(int nIndexStart, LPCSTR text) const {
  return static_cast<int>(::SendMessageA(m_hWnd, CB_FINDSTRINGEXACT,
                                         static_cast<WPARAM>(nIndexStart),
                                         reinterpret_cast<LPARAM>(text)));
}

void CSliderCtrl::SetRange(int nMin, int nMax, BOOL bRedraw) {
  ::SendMessageA(m_hWnd, TBM_SETRANGE, bRedraw,
                 MAKELPARAM(static_cast<WORD>(nMin), static_cast<WORD>(nMax)));
}
void CSliderCtrl::SetRangeMin(int nMin, BOOL bRedraw) {
  ::SendMessageA(m_hWnd, TBM_SETRANGEMIN, bRedraw, nMin);
}
void CSliderCtrl::SetRangeMax(int nMax, BOOL bRedraw) {
  ::SendMessageA(m_hWnd, TBM_SETRANGEMAX, bRedraw, nMax);
}
int CSliderCtrl::GetRangeMin() const {
  return static_cast<int>(::SendMessageA(m_hWnd, TBM_GETRANGEMIN, 0, 0));
}
int CSliderCtrl::GetRangeMax() const {
  return static_cast<int>(::SendMessageA(m_hWnd, TBM_GETRANGEMAX, 0, 0));
}
void CSliderCtrl::GetRange(int &nMin, int &nMax) const {
  nMin = GetRangeMin();
  nMax = GetRangeMax();
}
void CSliderCtrl::SetPos(int nPos) { ::SendMessageA(m_hWnd, TBM_SETPOS, TRUE, nPos); }
int CSliderCtrl::GetPos() const {
  return static_cast<int>(::SendMessageA(m_hWnd, TBM_GETPOS, 0, 0));
}
int CSliderCtrl::SetPageSize(int nSize) {
  return static_cast<int>(::SendMessageA(m_hWnd, TBM_SETPAGESIZE, 0, nSize));
}
int CSliderCtrl::GetPageSize() const {
  return static_cast<int>(::SendMessageA(m_hWnd, TBM_GETPAGESIZE, 0, 0));
}
