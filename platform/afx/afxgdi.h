// Device contexts and bitmaps of the framework, as far as the program uses
// them so far: painting a window in its WM_PAINT handler and drawing an
// icon, and bitmaps loaded from the resources.
#pragma once

#include "platform/afx/afxwnd.h"

class CDC {
 public:
  CDC() = default;
  virtual ~CDC() = default;
  CDC(const CDC &) = delete;
  CDC &operator=(const CDC &) = delete;

  HDC m_hDC = nullptr;

  // A temporary CDC for a device context, valid while that context is.
  static CDC *FromHandle(HDC hDC);
  HDC GetSafeHdc() const { return m_hDC; }
  operator HDC() const { return m_hDC; }  // NOLINT
  BOOL DrawIcon(int x, int y, HICON hIcon);
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
  virtual ~CGdiObject() = default;
  CGdiObject(const CGdiObject &) = delete;
  CGdiObject &operator=(const CGdiObject &) = delete;
  HGDIOBJ m_hObject = nullptr;
  HGDIOBJ GetSafeHandle() const { return m_hObject; }
  BOOL DeleteObject();
};

class CBitmap : public CGdiObject {
 public:
  // Bitmap resource nIDResource (res/images.h); FALSE when there is none.
  BOOL LoadBitmap(UINT nIDResource);
  operator HBITMAP() const { return m_hObject; }  // NOLINT
  // The resource id the bitmap was loaded from, 0 when none.
  UINT GetResourceId() const { return m_nResourceId; }

 private:
  UINT m_nResourceId = 0;
};

// The resource id behind a bitmap handle from CBitmap::LoadBitmap; 0 when
// the handle is not one.
UINT AfxBitmapResourceId(HBITMAP hBitmap);
