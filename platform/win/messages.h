// Window messages: sending (a direct call of the window procedure), posting
// (queued on the user-interface thread's event loop, from any thread; see
// platform/win/message_post.h), the default procedures, subclassing and the
// quit request that ends message loops.
#pragma once

#include "platform/win/message_post.h"
#include "platform/win/winuser_more.h"

// Calls the window procedure at once and returns its result; 0 for a handle
// that is not a window. From another thread, the procedure runs on the
// user-interface thread while the caller waits (which must therefore not be
// waited for by the user-interface thread).
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendDlgItemMessageA(HWND hDlg, int id, UINT msg, WPARAM wParam, LPARAM lParam);

// The default handling of every message a window procedure does not handle
// itself (text, close, system commands, the dialog's system menu as its
// context menu, painting by the toolkit).
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Passes a message on to a procedure saved when a window was subclassed.
LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Asks every running message loop, modal ones included, to end; the request
// stays pending (as Windows' WM_QUIT does) until the outermost loop takes it
// with TakeQuitMessage. A modal loop that sees it ends its dialog with -1.
void PostQuitMessage(int nExitCode);
bool IsQuitPending();
// Removes a pending quit request; true (and its exit code) when there was one.
bool TakeQuitMessage(int *exitCode);

// Runs the event loop until a quit is requested and returns its exit code
// (the quit is taken). The program's own message loop when it has one.
int RunMessageLoop();

// Delivers the events already queued (posted messages, timers due, paints)
// without waiting. For code that must let queued work run, and for tests.
void PumpPendingMessages();

// Installs the poster that queues PostMessageA on the user-interface thread.
// Call on that thread once the toolkit application exists; creating a window
// does it too. Idempotent.
void InstallWindowMessagePoster();
