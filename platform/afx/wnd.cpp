// CWnd: binding objects to windows, routing messages through the message
// tables, and the window operations.
#include "platform/afx/afxwnd.h"

#include "platform/afx/afxapp.h"
#include "platform/afx/afxgdi.h"
#include "platform/afx/afximpl.h"
#include "platform/afx/afxmenu.h"

#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

std::map<HWND, CWnd *> &Permanent() {
  static std::map<HWND, CWnd *> map;
  return map;
}

std::map<HWND, std::unique_ptr<CWnd>> &Temporary() {
  static std::map<HWND, std::unique_ptr<CWnd>> map;
  return map;
}

struct CurrentMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<CurrentMessage> g_messages;

void PurgeTemporaries() {
  auto &temps = Temporary();
  for (auto it = temps.begin(); it != temps.end();) {
    if (!::IsWindow(it->first) || Permanent().count(it->first)) {
      it->second->m_hWnd = nullptr;
      it = temps.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace

void AfxReleaseTemporaryWindows() {
  for (auto &[h, w] : Temporary()) w->m_hWnd = nullptr;
  Temporary().clear();
}

LRESULT AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd *wnd = CWnd::FromHandlePermanent(hwnd);
  if (wnd == nullptr) return ::DefWindowProcA(hwnd, message, wParam, lParam);
  g_messages.push_back({message, wParam, lParam});
  LRESULT result = wnd->WindowProc(message, wParam, lParam);
  g_messages.pop_back();
  if (message == WM_NCDESTROY && CWnd::FromHandlePermanent(hwnd) == wnd) {
    // The window is gone: the object lets go of it (it may delete itself).
    wnd->Detach();
    wnd->m_pfnSuper = nullptr;
    wnd->PostNcDestroy();
  }
  return result;
}

CWnd::CWnd() = default;

CWnd::~CWnd() {
  if (m_hWnd == nullptr) return;
  if (FromHandlePermanent(m_hWnd) == this) {
    ::DestroyWindow(m_hWnd);
    if (m_hWnd != nullptr) Detach();
  }
}

CWnd *CWnd::FromHandlePermanent(HWND hwnd) {
  auto it = Permanent().find(hwnd);
  return it == Permanent().end() ? nullptr : it->second;
}

CWnd *CWnd::FromHandle(HWND hwnd) {
  if (hwnd == nullptr) return nullptr;
  if (CWnd *w = FromHandlePermanent(hwnd)) return w;
  PurgeTemporaries();
  if (!::IsWindow(hwnd)) return nullptr;
  auto &slot = Temporary()[hwnd];
  if (!slot) {
    slot = std::make_unique<CWnd>();
    slot->m_hWnd = hwnd;
  }
  return slot.get();
}

BOOL CWnd::Attach(HWND hwnd) {
  if (hwnd == nullptr || m_hWnd != nullptr || FromHandlePermanent(hwnd) != nullptr) return FALSE;
  auto temp = Temporary().find(hwnd);
  if (temp != Temporary().end()) {
    temp->second->m_hWnd = nullptr;
    Temporary().erase(temp);
  }
  m_hWnd = hwnd;
  Permanent()[hwnd] = this;
  return TRUE;
}

HWND CWnd::Detach() {
  HWND hwnd = m_hWnd;
  if (hwnd != nullptr) {
    auto it = Permanent().find(hwnd);
    if (it != Permanent().end() && it->second == this) Permanent().erase(it);
  }
  m_hWnd = nullptr;
  return hwnd;
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
  if (!::IsWindow(hwnd) || !Attach(hwnd)) return FALSE;
  PreSubclassWindow();
  auto previous = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
  if (previous != &AfxWndProc) m_pfnSuper = previous;
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd *pParent) {
  if (pParent == nullptr) return FALSE;
  HWND item = ::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID));
  return item ? SubclassWindow(item) : FALSE;
}

HWND CWnd::UnsubclassWindow() {
  if (m_hWnd == nullptr) return nullptr;
  if (m_pfnSuper != nullptr)
    ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
  m_pfnSuper = nullptr;
  return Detach();
}

void CWnd::PreSubclassWindow() {}
void CWnd::PostNcDestroy() {}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
  return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper != nullptr) return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
  return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *pResult) {
  UINT code = 0;
  UINT id = 0;
  if (message == WM_COMMAND) {
    code = HIWORD(wParam);
    id = LOWORD(wParam);
  } else if (message == WM_NOTIFY) {
    const auto *header = reinterpret_cast<const NMHDR *>(lParam);
    if (header == nullptr) return FALSE;
    code = static_cast<UINT>(header->code);
    id = static_cast<UINT>(header->idFrom);
  }
  const bool byControl = message == WM_COMMAND || message == WM_NOTIFY;
  for (const AFX_MSGMAP *map = GetMessageMap(); map != nullptr;
       map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY *e = map->lpEntries; e->pfnDispatch != nullptr; ++e) {
      if (e->nMessage != message) continue;
      if (byControl && (e->nCode != code || id < e->nID || id > e->nLastID)) continue;
      LRESULT result = 0;
      if (e->pfnDispatch(this, wParam, lParam, &result)) {
        if (pResult) *pResult = result;
        return TRUE;
      }
    }
  }
  // Owner drawing belongs to the control: pass it on to the control's object.
  if (message == WM_DRAWITEM && lParam != 0) {
    const auto *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
    if (CWnd *child = FromHandlePermanent(item->hwndItem)) {
      if (child->OnChildNotify(message, wParam, lParam, pResult)) return TRUE;
    }
  }
  return FALSE;
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT *) { return FALSE; }

BOOL CWnd::DestroyWindow() {
  if (m_hWnd == nullptr) return FALSE;
  HWND hwnd = m_hWnd;
  BOOL ok = ::DestroyWindow(hwnd);
  // An object only attached (not subclassed) hears no WM_NCDESTROY.
  if (m_hWnd == hwnd && !::IsWindow(hwnd)) Detach();
  return ok;
}

LRESULT CWnd::Default() {
  if (g_messages.empty()) return 0;
  CurrentMessage m = g_messages.back();
  return DefWindowProc(m.message, m.wParam, m.lParam);
}

const AFX_MSGMAP *CWnd::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {nullptr, &entries[0]};
  return &map;
}

const AFX_MSGMAP *CWnd::GetMessageMap() const { return GetThisMessageMap(); }

void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
void CWnd::OnPaint() { Default(); }
HCURSOR CWnd::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
void CWnd::OnClose() { Default(); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
BOOL CWnd::OnEraseBkgnd(CDC *) { return static_cast<BOOL>(Default()); }

CWnd *CWnd::GetDlgItem(int nID) const { return FromHandle(::GetDlgItem(m_hWnd, nID)); }
int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
CWnd *CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }

void CWnd::SetWindowText(LPCSTR text) { ::SetWindowTextA(m_hWnd, text); }
int CWnd::GetWindowText(LPSTR buffer, int nMaxCount) const {
  return ::GetWindowTextA(m_hWnd, buffer, nMaxCount);
}

void CWnd::GetWindowText(CString &text) const {
  int length = ::GetWindowTextLengthA(m_hWnd);
  std::string buffer(static_cast<std::size_t>(length) + 1, '\0');
  int n = ::GetWindowTextA(m_hWnd, buffer.data(), length + 1);
  buffer.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  text = CString(buffer);
}

int CWnd::GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }
void CWnd::SetDlgItemText(int nID, LPCSTR text) { ::SetDlgItemTextA(m_hWnd, nID, text); }

int CWnd::GetDlgItemText(int nID, CString &text) const {
  text.Empty();
  CWnd *item = GetDlgItem(nID);
  if (item == nullptr) return 0;
  item->GetWindowText(text);
  return text.GetLength();
}

BOOL CWnd::ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
BOOL CWnd::EnableWindow(BOOL bEnable) { return ::EnableWindow(m_hWnd, bEnable); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }
DWORD CWnd::GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_STYLE)); }
DWORD CWnd::GetExStyle() const {
  return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE));
}

BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
  DWORD style = GetStyle();
  DWORD changed = (style & ~dwRemove) | dwAdd;
  if (changed == style) return FALSE;
  ::SetWindowLongPtrA(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(static_cast<LONG>(changed)));
  if (nFlags != 0)
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
  return TRUE;
}

void CWnd::Invalidate(BOOL bErase) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
void CWnd::InvalidateRect(const RECT *rect, BOOL bErase) { ::InvalidateRect(m_hWnd, rect, bErase); }
void CWnd::UpdateWindow() { ::UpdateWindow(m_hWnd); }

void CWnd::GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
void CWnd::GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }

BOOL CWnd::SetWindowPos(const CWnd *pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
  return ::SetWindowPos(m_hWnd, pWndInsertAfter ? pWndInsertAfter->m_hWnd : nullptr, x, y, cx, cy,
                        nFlags);
}

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint) {
  ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
}

void CWnd::ClientToScreen(LPPOINT point) const { ::ClientToScreen(m_hWnd, point); }

void CWnd::ClientToScreen(LPRECT rect) const {
  POINT tl{rect->left, rect->top};
  POINT br{rect->right, rect->bottom};
  ::ClientToScreen(m_hWnd, &tl);
  ::ClientToScreen(m_hWnd, &br);
  *rect = RECT{tl.x, tl.y, br.x, br.y};
}

void CWnd::ScreenToClient(LPPOINT point) const { ::ScreenToClient(m_hWnd, point); }
CWnd *CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
CWnd *CWnd::GetFocus() { return FromHandle(::GetFocus()); }
BOOL CWnd::SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendDlgItemMessage(int nID, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendDlgItemMessageA(m_hWnd, nID, message, wParam, lParam);
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer) {
  return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }

CMenu *CWnd::GetSystemMenu(BOOL bRevert) const {
  return CMenu::FromHandle(::GetSystemMenu(m_hWnd, bRevert));
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
  return reinterpret_cast<HICON>(
      SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
}

void CWnd::CheckDlgButton(int nIDButton, UINT nCheck) {
  ::CheckDlgButton(m_hWnd, nIDButton, nCheck);
}
UINT CWnd::IsDlgButtonChecked(int nIDButton) const {
  return ::IsDlgButtonChecked(m_hWnd, nIDButton);
}

int CWnd::MessageBox(LPCSTR lpszText, LPCSTR lpszCaption, UINT nType) {
  if (lpszCaption == nullptr) {
    CWinApp *app = AfxGetApp();
    lpszCaption = (app && app->m_pszAppName) ? app->m_pszAppName : "Error";
  }
  return ::MessageBoxA(m_hWnd, lpszText, lpszCaption, nType);
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return dx.m_bFailed ? FALSE : TRUE;
}

void CWnd::DoDataExchange(CDataExchange *) {}

HWND CDataExchange::PrepareCtrl(int nIDC) {
  HWND control = m_pDlgWnd ? ::GetDlgItem(m_pDlgWnd->m_hWnd, nIDC) : nullptr;
  if (control == nullptr) Fail();
  return control;
}

void DDX_Control(CDataExchange *pDX, int nIDC, CWnd &rControl) {
  if (rControl.m_hWnd != nullptr) return;
  HWND control = pDX->PrepareCtrl(nIDC);
  if (control != nullptr && !rControl.SubclassWindow(control)) pDX->Fail();
}

void DDX_Text(CDataExchange *pDX, int nIDC, CString &value) {
  HWND control = pDX->PrepareCtrl(nIDC);
  if (control == nullptr) return;
  CWnd *wnd = CWnd::FromHandle(control);
  if (pDX->m_bSaveAndValidate) {
    wnd->GetWindowText(value);
  } else {
    // Only a change is written, so the control hears no needless WM_SETTEXT.
    CString current;
    wnd->GetWindowText(current);
    if (current != value) wnd->SetWindowText(value);
  }
}

void DDX_Text(CDataExchange *pDX, int nIDC, int &value) {
  HWND control = pDX->PrepareCtrl(nIDC);
  if (control == nullptr) return;
  CWnd *wnd = CWnd::FromHandle(control);
  if (pDX->m_bSaveAndValidate) {
    CString text;
    wnd->GetWindowText(text);
    text.Trim();
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (text.IsEmpty() || *end != 0 || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) {
      pDX->Fail();
      return;
    }
    value = static_cast<int>(v);
  } else {
    wnd->SetWindowText(std::to_string(value).c_str());
  }
}

void DDX_Check(CDataExchange *pDX, int nIDC, int &value) {
  HWND control = pDX->PrepareCtrl(nIDC);
  if (control == nullptr) return;
  if (pDX->m_bSaveAndValidate)
    value = static_cast<int>(::SendMessageA(control, BM_GETCHECK, 0, 0));
  else
    ::SendMessageA(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_Slider(CDataExchange *pDX, int nIDC, int &value) {
  HWND control = pDX->PrepareCtrl(nIDC);
  if (control == nullptr) return;
  if (pDX->m_bSaveAndValidate)
    value = static_cast<int>(::SendMessageA(control, TBM_GETPOS, 0, 0));
  else
    ::SendMessageA(control, TBM_SETPOS, TRUE, value);
}

void DDX_CBIndex(CDataExchange *pDX, int nIDC, int &value) {
  HWND control = pDX->PrepareCtrl(nIDC);
  if (control == nullptr) return;
  if (pDX->m_bSaveAndValidate)
    value = static_cast<int>(::SendMessageA(control, CB_GETCURSEL, 0, 0));
  else
    ::SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(value), 0);
}
