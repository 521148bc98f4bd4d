// CWnd: a window object of the framework bound to a window handle. A CWnd
// that subclasses its window (SubclassWindow, DDX_Control) receives the
// window's messages through WindowProc: its message table first, then
// DefWindowProc, which passes them on to the window's own procedure.
#pragma once

#include "platform/afx/afxgeom.h"
#include "platform/afx/afxmsg.h"
#include "platform/afx/afxstr.h"
#include "platform/win/gui.h"

class CDataExchange;
class CMenu;

class CWnd {
 public:
  CWnd();
  virtual ~CWnd();
  CWnd(const CWnd &) = delete;
  CWnd &operator=(const CWnd &) = delete;

  HWND m_hWnd = nullptr;

  // The CWnd bound to a window; for a window no CWnd is bound to, a
  // temporary one the framework keeps while the window lives. Null for null.
  static CWnd *FromHandle(HWND hwnd);
  // Only a CWnd bound by Attach / SubclassWindow; null otherwise.
  static CWnd *FromHandlePermanent(HWND hwnd);

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }  // NOLINT

  BOOL Attach(HWND hwnd);
  HWND Detach();
  // Binds this object to the window and routes its messages here; calls
  // PreSubclassWindow first (m_hWnd is already set then).
  BOOL SubclassWindow(HWND hwnd);
  BOOL SubclassDlgItem(UINT nID, CWnd *pParent);
  HWND UnsubclassWindow();
  virtual void PreSubclassWindow();

  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *pResult);
  // A message the parent passes on to the control it concerns (WM_DRAWITEM).
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *pResult);
  // After WM_NCDESTROY, when the object is no longer bound to the window.
  virtual void PostNcDestroy();
  virtual BOOL DestroyWindow();

  // Default processing of the message being handled.
  LRESULT Default();

  CWnd *GetDlgItem(int nID) const;
  int GetDlgCtrlID() const;
  CWnd *GetParent() const;

  void SetWindowText(LPCSTR text);
  int GetWindowText(LPSTR buffer, int nMaxCount) const;
  void GetWindowText(CString &text) const;
  int GetWindowTextLength() const;
  void SetDlgItemText(int nID, LPCSTR text);
  int GetDlgItemText(int nID, CString &text) const;

  BOOL ShowWindow(int nCmdShow);
  BOOL IsWindowVisible() const;
  BOOL EnableWindow(BOOL bEnable = TRUE);
  BOOL IsWindowEnabled() const;
  BOOL IsIconic() const;
  DWORD GetStyle() const;
  DWORD GetExStyle() const;
  BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);

  void Invalidate(BOOL bErase = TRUE);
  void InvalidateRect(const RECT *rect, BOOL bErase = TRUE);
  void UpdateWindow();

  void GetClientRect(LPRECT rect) const;
  void GetWindowRect(LPRECT rect) const;
  BOOL SetWindowPos(const CWnd *pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
  void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
  void ClientToScreen(LPPOINT point) const;
  void ClientToScreen(LPRECT rect) const;
  void ScreenToClient(LPPOINT point) const;
  CWnd *SetFocus();
  static CWnd *GetFocus();
  BOOL SetForegroundWindow();

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

  UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer = nullptr);
  BOOL KillTimer(UINT_PTR nIDEvent);

  CMenu *GetSystemMenu(BOOL bRevert) const;
  HICON SetIcon(HICON hIcon, BOOL bBigIcon);

  void CheckDlgButton(int nIDButton, UINT nCheck);
  UINT IsDlgButtonChecked(int nIDButton) const;

  // The owner is this window; the box's text and caption as given.
  int MessageBox(LPCSTR lpszText, LPCSTR lpszCaption = nullptr, UINT nType = MB_OK);

  // Runs DoDataExchange: TRUE moves the controls' state into the members,
  // FALSE the members into the controls. FALSE when a control was missing.
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
  virtual void DoDataExchange(CDataExchange *pDX);

 protected:
  // Handlers of the window messages the tables can route (default: the
  // message's default processing).
  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnClose();
  void OnDestroy();
  void OnTimer(UINT_PTR nIDEvent);
  BOOL OnEraseBkgnd(CDC *pDC);

  static const AFX_MSGMAP *GetThisMessageMap();
  virtual const AFX_MSGMAP *GetMessageMap() const;

  WNDPROC m_pfnSuper = nullptr;

  friend LRESULT AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

// The window procedure of every subclassed window.
LRESULT AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Data exchange between a dialog's controls and its members.
class CDataExchange {
 public:
  CDataExchange(CWnd *pDlgWnd, BOOL bSaveAndValidate)
      : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
  BOOL m_bSaveAndValidate;
  CWnd *m_pDlgWnd;
  // The control's window; null (and the exchange marked failed) when the
  // dialog has no such control.
  HWND PrepareCtrl(int nIDC);
  void Fail() { m_bFailed = true; }
  bool m_bFailed = false;
};

// Binds the member object to the control: it subclasses the control.
void DDX_Control(CDataExchange *pDX, int nIDC, CWnd &rControl);
// The control's text <-> the string.
void DDX_Text(CDataExchange *pDX, int nIDC, CString &value);
void DDX_Text(CDataExchange *pDX, int nIDC, int &value);
// A check box's state (0, 1, 2) <-> the int.
void DDX_Check(CDataExchange *pDX, int nIDC, int &value);
// A slider's position <-> the int.
void DDX_Slider(CDataExchange *pDX, int nIDC, int &value);
// A drop-down list's selected index <-> the int.
void DDX_CBIndex(CDataExchange *pDX, int nIDC, int &value);
