#include "platform/afx/afxgdi.h"

#include "platform/afx/afximpl.h"
#include "platform/win/paint_internal.h"

#include <map>
#include <memory>
#include <typeindex>

namespace {

std::map<HDC, std::unique_ptr<CDC>> &Temporary() {
  static std::map<HDC, std::unique_ptr<CDC>> map;
  return map;
}

// Temporary objects for GDI handles, one per handle and class; they never
// delete their handle.
std::map<std::pair<HGDIOBJ, std::type_index>, std::unique_ptr<CGdiObject>> &TemporaryObjects() {
  static std::map<std::pair<HGDIOBJ, std::type_index>, std::unique_ptr<CGdiObject>> map;
  return map;
}

template <typename T>
T *TemporaryObject(HGDIOBJ h) {
  if (h == nullptr) return nullptr;
  auto &slot = TemporaryObjects()[{h, std::type_index(typeid(T))}];
  if (!slot) {
    slot = std::make_unique<T>();
    slot->m_hObject = h;
  }
  return static_cast<T *>(slot.get());
}

}  // namespace

void AfxReleaseTemporaryDcs() {
  for (auto &[h, dc] : Temporary()) dc->m_hDC = nullptr;
  Temporary().clear();
  for (auto &[h, object] : TemporaryObjects()) object->m_hObject = nullptr;
  TemporaryObjects().clear();
}

CDC::~CDC() {
  if (m_bOwnsDC) DeleteDC();
}

CDC *CDC::FromHandle(HDC hDC) {
  if (hDC == nullptr) return nullptr;
  auto &temps = Temporary();
  for (auto it = temps.begin(); it != temps.end();) {
    if (!quavix::win::IsLiveDc(it->first))
      it = temps.erase(it);
    else
      ++it;
  }
  auto &slot = temps[hDC];
  if (!slot) {
    slot = std::make_unique<CDC>();
    slot->m_hDC = hDC;
  }
  return slot.get();
}

BOOL CDC::DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }

BOOL CDC::CreateCompatibleDC(CDC *pDC) {
  if (m_hDC != nullptr) return FALSE;
  m_hDC = ::CreateCompatibleDC(pDC ? pDC->m_hDC : nullptr);
  m_bOwnsDC = m_hDC != nullptr;
  return m_bOwnsDC ? TRUE : FALSE;
}

BOOL CDC::DeleteDC() {
  if (m_hDC == nullptr || !m_bOwnsDC) return FALSE;
  BOOL ok = ::DeleteDC(m_hDC);
  m_hDC = nullptr;
  m_bOwnsDC = false;
  return ok;
}

CPen *CDC::SelectObject(CPen *pPen) {
  return pPen ? CPen::FromHandle(::SelectObject(m_hDC, pPen->m_hObject)) : nullptr;
}
CBrush *CDC::SelectObject(CBrush *pBrush) {
  return pBrush ? CBrush::FromHandle(::SelectObject(m_hDC, pBrush->m_hObject)) : nullptr;
}
CFont *CDC::SelectObject(CFont *pFont) {
  return pFont ? CFont::FromHandle(::SelectObject(m_hDC, pFont->m_hObject)) : nullptr;
}
CBitmap *CDC::SelectObject(CBitmap *pBitmap) {
  return pBitmap ? CBitmap::FromHandle(::SelectObject(m_hDC, pBitmap->m_hObject)) : nullptr;
}
CGdiObject *CDC::SelectObject(CGdiObject *pObject) {
  return pObject ? CGdiObject::FromHandle(::SelectObject(m_hDC, pObject->m_hObject)) : nullptr;
}
HGDIOBJ CDC::SelectObject(HGDIOBJ hObject) { return ::SelectObject(m_hDC, hObject); }

int CDC::SelectClipRgn(CRgn *pRgn) {
  return ::SelectClipRgn(m_hDC, pRgn ? pRgn->m_hObject : nullptr);
}
int CDC::ExcludeClipRect(int x1, int y1, int x2, int y2) {
  return ::ExcludeClipRect(m_hDC, x1, y1, x2, y2);
}
int CDC::ExcludeClipRect(const RECT *lpRect) {
  return lpRect ? ::ExcludeClipRect(m_hDC, lpRect->left, lpRect->top, lpRect->right, lpRect->bottom)
                : RGN_ERROR;
}

BOOL CDC::BitBlt(int x, int y, int nWidth, int nHeight, CDC *pSrcDC, int xSrc, int ySrc,
                 DWORD dwRop) {
  return ::BitBlt(m_hDC, x, y, nWidth, nHeight, pSrcDC ? pSrcDC->m_hDC : nullptr, xSrc, ySrc,
                  dwRop);
}
BOOL CDC::StretchBlt(int x, int y, int nWidth, int nHeight, CDC *pSrcDC, int xSrc, int ySrc,
                     int nSrcWidth, int nSrcHeight, DWORD dwRop) {
  return ::StretchBlt(m_hDC, x, y, nWidth, nHeight, pSrcDC ? pSrcDC->m_hDC : nullptr, xSrc, ySrc,
                      nSrcWidth, nSrcHeight, dwRop);
}
BOOL CDC::RoundRect(int x1, int y1, int x2, int y2, int x3, int y3) {
  return ::RoundRect(m_hDC, x1, y1, x2, y2, x3, y3);
}
BOOL CDC::RoundRect(const RECT *lpRect, POINT point) {
  return lpRect ? ::RoundRect(m_hDC, lpRect->left, lpRect->top, lpRect->right, lpRect->bottom,
                              point.x, point.y)
                : FALSE;
}

int CDC::SetBkMode(int nBkMode) { return ::SetBkMode(m_hDC, nBkMode); }
COLORREF CDC::SetTextColor(COLORREF crColor) { return ::SetTextColor(m_hDC, crColor); }

CSize CDC::GetTextExtent(LPCSTR lpszString, int nCount) const {
  SIZE size{0, 0};
  ::GetTextExtentPointA(m_hDC, lpszString, nCount, &size);
  return CSize(size.cx, size.cy);
}
CSize CDC::GetTextExtent(const CString &str) const {
  return GetTextExtent(str.GetString(), str.GetLength());
}

BOOL CDC::TextOut(int x, int y, LPCSTR lpszString, int nCount) {
  return ::TextOutA(m_hDC, x, y, lpszString, nCount);
}
BOOL CDC::TextOut(int x, int y, const CString &str) {
  return TextOut(x, y, str.GetString(), str.GetLength());
}

CPaintDC::CPaintDC(CWnd *pWnd) : m_hWnd(pWnd ? pWnd->m_hWnd : nullptr) {
  m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC() {
  if (m_hDC != nullptr) ::EndPaint(m_hWnd, &m_ps);
  m_hDC = nullptr;
}

CGdiObject::~CGdiObject() { DeleteObject(); }

BOOL CGdiObject::Attach(HGDIOBJ hObject) {
  if (hObject == nullptr || m_hObject != nullptr) return FALSE;
  m_hObject = hObject;
  return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
  HGDIOBJ h = m_hObject;
  m_hObject = nullptr;
  return h;
}

BOOL CGdiObject::DeleteObject() {
  if (m_hObject == nullptr) return FALSE;
  return ::DeleteObject(Detach());
}

CGdiObject *CGdiObject::FromHandle(HGDIOBJ hObject) { return TemporaryObject<CGdiObject>(hObject); }

BOOL CPen::CreatePen(int nPenStyle, int nWidth, COLORREF crColor) {
  return Attach(::CreatePen(nPenStyle, nWidth, crColor));
}
CPen *CPen::FromHandle(HPEN hPen) { return TemporaryObject<CPen>(hPen); }

BOOL CBrush::CreateSolidBrush(COLORREF crColor) { return Attach(::CreateSolidBrush(crColor)); }
BOOL CBrush::CreateBrushIndirect(const LOGBRUSH *lpLogBrush) {
  return Attach(::CreateBrushIndirect(lpLogBrush));
}
CBrush *CBrush::FromHandle(HBRUSH hBrush) { return TemporaryObject<CBrush>(hBrush); }

CFont *CFont::FromHandle(HFONT hFont) { return TemporaryObject<CFont>(hFont); }

BOOL CRgn::CreateRectRgn(int x1, int y1, int x2, int y2) {
  return Attach(::CreateRectRgn(x1, y1, x2, y2));
}
BOOL CRgn::CreateRectRgnIndirect(const RECT *lpRect) {
  return lpRect ? CreateRectRgn(lpRect->left, lpRect->top, lpRect->right, lpRect->bottom) : FALSE;
}

BOOL CBitmap::LoadBitmap(UINT nIDResource) {
  if (nIDResource == 0 || nIDResource > 0xFFFF) return FALSE;
  HBITMAP h = ::LoadBitmapA(nullptr, MAKEINTRESOURCEA(static_cast<WORD>(nIDResource)));
  if (h == nullptr) return FALSE;
  DeleteObject();
  m_hObject = h;
  m_nResourceId = nIDResource;
  return TRUE;
}

CBitmap *CBitmap::FromHandle(HBITMAP hBitmap) { return TemporaryObject<CBitmap>(hBitmap); }

UINT AfxBitmapResourceId(HBITMAP hBitmap) { return ::BitmapResourceId(hBitmap); }
