// A static text control that paints its own copy of the text and no
// background, so the parent's painting shows around the letters. Several
// lines (separated by line feeds) and the static's left, centred or right
// alignment. A new text (WM_SETTEXT) is kept by the label alone, and the
// parent repaints the area under it.
#pragma once

#include "platform/afx/afxwin.h"

class CTransparentLabel : public CStatic {
 public:
  CTransparentLabel();
  ~CTransparentLabel() override;

  DWORD m_dwStyle;            // the style when bound; its low two bits align
  char m_szText[1024];        // the text shown, at most 1023 bytes
  COLORREF m_crDisabledText;  // the offset copy of a disabled label
  COLORREF m_crText;
  int m_nLines;  // 1 + the line feeds in m_szText

 protected:
  void PreSubclassWindow() override;
  void OnPaint();
  LRESULT OnSetText(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()
};
