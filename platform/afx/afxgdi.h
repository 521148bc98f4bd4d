// Device contexts and GDI objects of the framework: painting a window in its
// WM_PAINT handler, memory device contexts, pens, brushes, regions, fonts and
// bitmaps loaded from the resources. A GDI object made through one of these
// classes is deleted by DeleteObject or, at the latest, with the object; a
// memory device context made by CreateCompatibleDC likewise with DeleteDC.
#pragma once

#include "platform/afx/afxwnd.h"

class CGdiObject;
class CPen;
class CBrush;
class CFont;
class CBitmap;
class CRgn;

class CDC {
 public:
  CDC() = default;
  virtual ~CDC();
  CDC(const CDC &) = delete;
  CDC &operator=(const CDC &) = delete;

  HDC m_hDC = nullptr;

  // A temporary CDC for a device context, valid while that context is.
  static CDC *FromHandle(HDC hDC);
  HDC GetSafeHdc() const { return m_hDC; }
  operator HDC() const { return m_hDC; }  // NOLINT
  BOOL DrawIcon(int x, int y, HICON hIcon);

  // A memory device context compatible with pDC (null: the screen).
  BOOL CreateCompatibleDC(CDC *pDC);
  BOOL DeleteDC();

  // Each returns the object selected before, as a temporary object of the
  // framework (null when there was none or the selection failed).
  CPen *SelectObject(CPen *pPen);
  CBrush *SelectObject(CBrush *pBrush);
  CFont *SelectObject(CFont *pFont);
  CBitmap *SelectObject(CBitmap *pBitmap);
  CGdiObject *SelectObject(CGdiObject *pObject);
  HGDIOBJ SelectObject(HGDIOBJ hObject);
  // A null region removes clipping.
  int SelectClipRgn(CRgn *pRgn);
  int ExcludeClipRect(int x1, int y1, int x2, int y2);
  int ExcludeClipRect(const RECT *lpRect);

  BOOL BitBlt(int x, int y, int nWidth, int nHeight, CDC *pSrcDC, int xSrc, int ySrc, DWORD dwRop);
  BOOL StretchBlt(int x, int y, int nWidth, int nHeight, CDC *pSrcDC, int xSrc, int ySrc,
                  int nSrcWidth, int nSrcHeight, DWORD dwRop);
  BOOL RoundRect(int x1, int y1, int x2, int y2, int x3, int y3);
  BOOL RoundRect(const RECT *lpRect, POINT point);

  int SetBkMode(int nBkMode);
  COLORREF SetTextColor(COLORREF crColor);
  CSize GetTextExtent(LPCSTR lpszString, int nCount) const;
  CSize GetTextExtent(const CString &str) const;
  BOOL TextOut(int x, int y, LPCSTR lpszString, int nCount);
  BOOL TextOut(int x, int y, const CString &str);

 private:
  bool m_bOwnsDC = false;
};

// Paints the window during its WM_PAINT (BeginPaint / EndPaint).
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd *pWnd);
  ~CPaintDC() override;
  PAINTSTRUCT m_ps{};

 protected:
  HWND m_hWnd = nullptr;
};

class CGdiObject {
 public:
  CGdiObject() = default;
  // Deletes the GDI object this object still holds.
  virtual ~CGdiObject();
  CGdiObject(const CGdiObject &) = delete;
  CGdiObject &operator=(const CGdiObject &) = delete;
  HGDIOBJ m_hObject = nullptr;
  HGDIOBJ GetSafeHandle() const { return m_hObject; }
  operator HGDIOBJ() const { return m_hObject; }  // NOLINT
  BOOL Attach(HGDIOBJ hObject);
  HGDIOBJ Detach();
  // Deletes the GDI object and lets go of it; FALSE when there was none.
  BOOL DeleteObject();
  // A temporary object for a handle (not deleted with it).
  static CGdiObject *FromHandle(HGDIOBJ hObject);
};

class CPen : public CGdiObject {
 public:
  BOOL CreatePen(int nPenStyle, int nWidth, COLORREF crColor);
  static CPen *FromHandle(HPEN hPen);
};

class CBrush : public CGdiObject {
 public:
  BOOL CreateSolidBrush(COLORREF crColor);
  BOOL CreateBrushIndirect(const LOGBRUSH *lpLogBrush);
  static CBrush *FromHandle(HBRUSH hBrush);
};

class CFont : public CGdiObject {
 public:
  static CFont *FromHandle(HFONT hFont);
};

class CRgn : public CGdiObject {
 public:
  BOOL CreateRectRgn(int x1, int y1, int x2, int y2);
  BOOL CreateRectRgnIndirect(const RECT *lpRect);
};

class CBitmap : public CGdiObject {
 public:
  // Bitmap resource nIDResource (platform/win/images.h); FALSE when there is none.
  BOOL LoadBitmap(UINT nIDResource);
  operator HBITMAP() const { return m_hObject; }  // NOLINT
  // The resource id the bitmap was loaded from, 0 when none.
  UINT GetResourceId() const { return m_nResourceId; }
  static CBitmap *FromHandle(HBITMAP hBitmap);

 private:
  UINT m_nResourceId = 0;
};

// The resource id behind a bitmap handle from CBitmap::LoadBitmap; 0 when
// the handle is not one.
UINT AfxBitmapResourceId(HBITMAP hBitmap);
