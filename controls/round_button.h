// A push button that draws itself: a face picture, a rounded two-colour edge
// that looks raised while the button is up and sunken while it is held, and
// the centred caption. A dialog binds it with DDX_Control; the faces and
// colours are copied at construction from the application's defaults.
#pragma once

#include "platform/afx/afxwin.h"

class CRoundButton : public CButton {
 public:
  CRoundButton();
  ~CRoundButton() override;

  int m_nButtonType;    // low 8 bits of the style when bound; 0 before
  CBitmap *m_pbmpDown;  // face while held down (not owned)
  CBitmap *m_pbmpUp;    // face otherwise (not owned)
  COLORREF m_crLight;
  COLORREF m_crShadow;
  COLORREF m_crGrayText;
  COLORREF m_crText;

 protected:
  void PreSubclassWindow() override;
  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;
  BOOL OnEraseBkgnd(CDC *pDC);

  DECLARE_MESSAGE_MAP()
};
