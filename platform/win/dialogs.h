// Dialogs built from the program's templates (platform/win/dialog_template.h): the
// dialog and its controls as toolkit widgets at their dialog-unit rectangles,
// converted with the dialog font's base units. Modal dialogs run a nested
// event loop with their owner disabled; Esc sends WM_COMMAND IDCANCEL, Enter
// sends WM_COMMAND IDOK (or the default push button's id) unless a push
// button has the focus, which is then clicked, as on Windows.
#pragma once

#include "platform/win/winuser_more.h"
#include "platform/win/dialog_template.h"

// Creates the dialog hidden (unless its style has WS_VISIBLE), sends
// WM_SETFONT and WM_INITDIALOG (lParam = initParam) and returns it; a TRUE
// result of WM_INITDIALOG gives the focus to the first tab-stop control.
// dlgProc may be null. The dialog's window procedure is DefDlgProcA.
HWND CreateDialogIndirectParamA(HINSTANCE hInstance, const DialogTemplate *tmpl, HWND hWndOwner,
                                DLGPROC dlgProc, LPARAM initParam);

// Creates the dialog, disables its owner (the owner's top-level window),
// shows the dialog and runs its modal loop until EndDialog or a quit request;
// then re-enables the owner, destroys the dialog and returns the result
// given to EndDialog, or -1 (no template, or the loop ended by a quit).
INT_PTR DialogBoxIndirectParamA(HINSTANCE hInstance, const DialogTemplate *tmpl, HWND hWndOwner,
                                DLGPROC dlgProc, LPARAM initParam);
// The same with the template looked up by resource id (FindDialogTemplate).
INT_PTR DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndOwner, DLGPROC dlgProc,
                        LPARAM initParam);

// Runs the modal loop of a dialog that already exists (shown here) and
// returns its result as DialogBoxIndirectParamA does; does not destroy it.
INT_PTR RunModalDialogLoop(HWND hDlg);

// Ends the dialog's modal loop with nResult. Allowed during WM_INITDIALOG:
// the dialog then never shows.
BOOL EndDialog(HWND hDlg, INT_PTR nResult);

// The dialog class's window procedure: offers each message to the dialog
// procedure first, then: WM_CLOSE posts WM_COMMAND IDCANCEL (unless an
// IDCANCEL control exists and is disabled), everything else DefWindowProcA.
LRESULT DefDlgProcA(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);

// Dialog units to pixels with the dialog's base units.
BOOL MapDialogRect(HWND hDlg, RECT *rect);

// Check boxes by id.
BOOL CheckDlgButton(HWND hDlg, int id, UINT uCheck);
UINT IsDlgButtonChecked(HWND hDlg, int id);
