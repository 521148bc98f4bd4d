#include "platform/afx/afxgdi.h"

#include "platform/afx/afximpl.h"
#include "platform/win/paint_internal.h"
#include "res/images.h"

#include <map>
#include <memory>

namespace {

std::map<HDC, std::unique_ptr<CDC>> &Temporary() {
  static std::map<HDC, std::unique_ptr<CDC>> map;
  return map;
}

// Bitmap handles name their resource, in a range of their own.
constexpr std::uintptr_t kBitmapBase = 0x7C000000;

}  // namespace

void AfxReleaseTemporaryDcs() {
  for (auto &[h, dc] : Temporary()) dc->m_hDC = nullptr;
  Temporary().clear();
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

CPaintDC::CPaintDC(CWnd *pWnd) : m_hWnd(pWnd ? pWnd->m_hWnd : nullptr) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }

CPaintDC::~CPaintDC() {
  if (m_hDC != nullptr) ::EndPaint(m_hWnd, &m_ps);
  m_hDC = nullptr;
}

BOOL CGdiObject::DeleteObject() {
  if (m_hObject == nullptr) return FALSE;
  m_hObject = nullptr;
  return TRUE;
}

BOOL CBitmap::LoadBitmap(UINT nIDResource) {
  if (nIDResource == 0 || nIDResource > 0xFFFF || FindBitmapResource(static_cast<int>(nIDResource)) == nullptr)
    return FALSE;
  m_hObject = reinterpret_cast<HGDIOBJ>(kBitmapBase + nIDResource);
  m_nResourceId = nIDResource;
  return TRUE;
}

UINT AfxBitmapResourceId(HBITMAP hBitmap) {
  auto v = reinterpret_cast<std::uintptr_t>(hBitmap);
  if (v <= kBitmapBase || v > kBitmapBase + 0xFFFF) return 0;
  return static_cast<UINT>(v - kBitmapBase);
}
