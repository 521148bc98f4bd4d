// Message tables: each class that handles messages declares a static table
// of typed entries with DECLARE_MESSAGE_MAP and fills it between
// BEGIN_MESSAGE_MAP(Class, Base) and END_MESSAGE_MAP(). Every entry carries a
// small function that calls the handler with the message's arguments
// unpacked, so a handler of the wrong signature does not compile. A message
// no entry of the class or its bases takes goes to DefWindowProc.
#pragma once

#include "platform/win/winuser_more.h"

class CWnd;
class CDC;

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;  // the window message
  UINT nCode;     // WM_COMMAND: the notification code; WM_NOTIFY: NMHDR::code
  UINT nID;       // WM_COMMAND / WM_NOTIFY: the first control id served
  UINT nLastID;   // ... and the last
  // Calls the handler; returns TRUE when the message is handled, with the
  // message's result in *result.
  BOOL (*pfnDispatch)(CWnd *target, WPARAM wParam, LPARAM lParam, LRESULT *result);
};

struct AFX_MSGMAP {
  const AFX_MSGMAP *(*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY *lpEntries;
};

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP *GetThisMessageMap(); \
  const AFX_MSGMAP *GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
  const AFX_MSGMAP *theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const AFX_MSGMAP *theClass::GetThisMessageMap() {                                 \
    using ThisClass [[maybe_unused]] = theClass;                                    \
    using TheBaseClass = baseClass;                                                 \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                       \
  { 0, 0, 0, 0, nullptr }                                                                       \
  }                                                                                             \
  ;                                                                                             \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
  return &messageMap;                                                                           \
  }

#define AFX_MSG_ENTRY_(msg, code, id, lastId, body)                                     \
  {static_cast<UINT>(msg), static_cast<UINT>(code), static_cast<UINT>(id),              \
   static_cast<UINT>(lastId),                                                           \
   [](CWnd *afxTarget_, [[maybe_unused]] WPARAM wParam, [[maybe_unused]] LPARAM lParam, \
      LRESULT *afxResult_) -> BOOL {                                                    \
     [[maybe_unused]] ThisClass *self_ = static_cast<ThisClass *>(afxTarget_);          \
     *afxResult_ = 0;                                                                   \
     body;                                                                              \
     return TRUE;                                                                       \
   }},

// Window messages, handled by the member of the fixed name.
#define ON_WM_SYSCOMMAND() \
  AFX_MSG_ENTRY_(WM_SYSCOMMAND, 0, 0, 0, self_->OnSysCommand(static_cast<UINT>(wParam), lParam))
#define ON_WM_PAINT() AFX_MSG_ENTRY_(WM_PAINT, 0, 0, 0, self_->OnPaint())
#define ON_WM_QUERYDRAGICON()               \
  AFX_MSG_ENTRY_(WM_QUERYDRAGICON, 0, 0, 0, \
                 *afxResult_ = reinterpret_cast<LRESULT>(self_->OnQueryDragIcon()))
#define ON_WM_CLOSE() AFX_MSG_ENTRY_(WM_CLOSE, 0, 0, 0, self_->OnClose())
#define ON_WM_DESTROY() AFX_MSG_ENTRY_(WM_DESTROY, 0, 0, 0, self_->OnDestroy())
#define ON_WM_TIMER() \
  AFX_MSG_ENTRY_(WM_TIMER, 0, 0, 0, self_->OnTimer(static_cast<UINT_PTR>(wParam)))
#define ON_WM_ERASEBKGND()    \
  AFX_MSG_ENTRY_(             \
      WM_ERASEBKGND, 0, 0, 0, \
      *afxResult_ = self_->OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(wParam))))

// Control notifications and commands, handled by the member given.
#define ON_COMMAND(id, memberFxn) AFX_MSG_ENTRY_(WM_COMMAND, 0, id, id, (self_->*(memberFxn))())
#define ON_CONTROL(code, id, memberFxn) \
  AFX_MSG_ENTRY_(WM_COMMAND, code, id, id, (self_->*(memberFxn))())
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)
#define ON_NOTIFY(code, id, memberFxn)    \
  AFX_MSG_ENTRY_(WM_NOTIFY, code, id, id, \
                 (self_->*(memberFxn))(reinterpret_cast<NMHDR *>(lParam), afxResult_))

// Any message, handled by LRESULT memberFxn(WPARAM, LPARAM).
#define ON_MESSAGE(message, memberFxn) \
  AFX_MSG_ENTRY_(message, 0, 0, 0, *afxResult_ = (self_->*(memberFxn))(wParam, lParam))
