#include "controls/round_button.h"

#include "app/converter_app.h"
#include "platform/win/images.h"

#include <algorithm>
#include <cstring>

namespace {
// The caption is read through a buffer of this size.
constexpr int kCaptionBuffer = 128;
// The face picture's rounded corners lie within this many pixels.
constexpr int kFaceCorner = 4;

// Draws the face picture over cx x cy at (1, 1). The picture is 21 pixels
// high, while the fonts here make the button taller (and narrower than the
// picture): copied as it is, it left a band and its own outline twice at the
// bottom and cut its outline on the right. It is fitted to the button: the
// corners as they are, the sides and the middle stretched.
void DrawFaceFitted(CDC *pDC, CDC *pMemDC, const CBitmap &face, int cx, int cy) {
  const BitmapResource *picture = FindBitmapResource(static_cast<int>(face.GetResourceId()));
  if (picture == nullptr) {
    pDC->BitBlt(1, 1, cx, cy, pMemDC, 0, 0, SRCCOPY);
    return;
  }
  const int w = picture->width, h = picture->height;
  const int k = std::min({kFaceCorner, w / 2, h / 2, cx / 2, cy / 2});
  const int fromX[] = {0, k, w - k}, fromW[] = {k, w - 2 * k, k};
  const int fromY[] = {0, k, h - k}, fromH[] = {k, h - 2 * k, k};
  const int toX[] = {0, k, cx - k}, toW[] = {k, cx - 2 * k, k};
  const int toY[] = {0, k, cy - k}, toH[] = {k, cy - 2 * k, k};
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 3; ++column)
      pDC->StretchBlt(1 + toX[column], 1 + toY[row], toW[column], toH[row], pMemDC, fromX[column],
                      fromY[row], fromW[column], fromH[row], SRCCOPY);
}

}  // namespace

CRoundButton::CRoundButton()
    : m_nButtonType(0),
      m_pbmpDown(g_pbmpButtonDown),
      m_pbmpUp(g_pbmpButtonUp),
      m_crLight(g_crButtonLight),
      m_crShadow(g_crButtonShadow),
      m_crGrayText(g_crButtonGrayText),
      m_crText(g_crButtonText) {}

CRoundButton::~CRoundButton() { DestroyWindow(); }

BEGIN_MESSAGE_MAP(CRoundButton, CButton)
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

void CRoundButton::PreSubclassWindow() {
  m_nButtonType = static_cast<int>(GetStyle() & 0xFF);
  CButton::PreSubclassWindow();
  ModifyStyle(0, BS_OWNERDRAW);
}

// The face covers the whole button; there is no background to erase.
BOOL CRoundButton::OnEraseBkgnd(CDC *) { return TRUE; }

void CRoundButton::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) {
  // Only push buttons and default push buttons have this look; anything
  // else bound to the class stays blank.
  if (m_nButtonType != static_cast<int>(BS_PUSHBUTTON) &&
      m_nButtonType != static_cast<int>(BS_DEFPUSHBUTTON))
    return;
  if (lpDrawItemStruct == nullptr) return;
  CDC *pDC = CDC::FromHandle(lpDrawItemStruct->hDC);
  if (pDC == nullptr) return;
  const CRect rect(lpDrawItemStruct->rcItem);
  const int width = rect.right;
  const int height = rect.bottom;

  CPen penLight;
  CPen penShadow;
  CBrush brushHollow;
  penLight.CreatePen(PS_SOLID, 1, m_crLight);
  penShadow.CreatePen(PS_SOLID, 1, m_crShadow);
  LOGBRUSH lb{BS_NULL, 0, 0};
  brushHollow.CreateBrushIndirect(&lb);

  CDC memDC;
  memDC.CreateCompatibleDC(nullptr);

  const bool down = (GetState() & BST_PUSHED) != 0;

  CBitmap *face = down ? m_pbmpDown : m_pbmpUp;
  if (face != nullptr) {
    memDC.SelectObject(face);
    DrawFaceFitted(pDC, &memDC, *face, width - 2, height - 2);
  }

  // Upper-left edge: only a band of three pixels along the top and left.
  pDC->SelectClipRgn(nullptr);
  pDC->ExcludeClipRect(3, 3, width, height);
  CPen *pOldPen = pDC->SelectObject(down ? &penShadow : &penLight);
  CBrush *pOldBrush = pDC->SelectObject(&brushHollow);
  pDC->RoundRect(0, 0, width, height, 6, 6);

  // Lower-right edge: the band along the bottom and right.
  pDC->SelectClipRgn(nullptr);
  pDC->ExcludeClipRect(0, 0, width - 3, height - 3);
  pDC->SelectObject(down ? &penLight : &penShadow);
  pDC->RoundRect(0, 0, width, height, 6, 6);

  pDC->SelectClipRgn(nullptr);

  pDC->SelectObject(reinterpret_cast<HGDIOBJ>(SendMessage(WM_GETFONT)));

  char caption[kCaptionBuffer] = "";
  GetWindowText(caption, kCaptionBuffer);
  const int length = static_cast<int>(std::strlen(caption));
  CSize extent = pDC->GetTextExtent(caption, length);
  pDC->SetBkMode(TRANSPARENT);

  int x = (width - extent.cx) / 2;
  int y = (height - extent.cy) / 2;
  if (down) {
    ++x;
    ++y;
  }
  if (IsWindowEnabled()) {
    pDC->SetTextColor(m_crText);
    pDC->TextOut(x, y, caption, length);
  } else {
    pDC->SetTextColor(m_crGrayText);
    pDC->TextOut(x + 1, y + 1, caption, length);
  }

  if (pOldPen != nullptr) pDC->SelectObject(pOldPen);
  if (pOldBrush != nullptr) pDC->SelectObject(pOldBrush);
  penLight.DeleteObject();
  penShadow.DeleteObject();
  brushHollow.DeleteObject();
  memDC.DeleteDC();
}
