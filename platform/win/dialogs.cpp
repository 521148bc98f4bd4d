// Dialogs from templates, their modal loop and the dialog class's default
// procedure.
#include "platform/win/dialogs.h"

#include "platform/win/messages.h"
#include "platform/win/ui_seam.h"
#include "platform/win/window.h"
#include "platform/win/window_internal.h"

#include <QComboBox>
#include <QLabel>
#include <QEventLoop>
#include <QFontMetrics>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <vector>

namespace quavix::win {
namespace {

int MulDivRound(int value, int mul, int div) {
  long long p = static_cast<long long>(value) * mul;
  return static_cast<int>(p >= 0 ? (p + div / 2) / div : (p - div / 2) / div);
}

// Base units of a dialog font, as Windows measures them: the average width
// of the Latin letters (rounded) and the font's height.
void BaseUnits(const QFont &font, int *x, int *y) {
  QFontMetrics fm(font);
  int width =
      fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  *x = std::max(1, (width / 26 + 1) / 2);
  *y = std::max(1, fm.height());
}

HWND FirstTabStop(HWND dialog) {
  Window *d = FindWindowObject(dialog);
  if (d == nullptr || !d->widget) return nullptr;
  // Handles grow with creation, and controls are created in template order.
  HWND first = nullptr;
  for (QObject *o : d->widget->children()) {
    auto *host = dynamic_cast<WindowWidget *>(o);
    if (host == nullptr) continue;
    HWND h = host->Hwnd();
    Window *c = FindWindowObject(h);
    if (c == nullptr || !(c->style & WS_TABSTOP) || !(c->style & WS_VISIBLE) ||
        (c->style & WS_DISABLED))
      continue;
    if (first == nullptr ||
        reinterpret_cast<std::uintptr_t>(h) < reinterpret_cast<std::uintptr_t>(first))
      first = h;
  }
  return first;
}

// Assistive technology reads an input control's name from its label, as
// Windows takes it from the text beside it: the nearest non-empty static
// text on the control's row to its left, else one right above it.
void NameInputsAfterTheirLabels(HWND dialog, const DialogTemplate &t) {
  auto classIs = [](const ControlTemplate &c, const char *name) {
    return c.className != nullptr && std::strcmp(c.className, name) == 0;
  };
  std::vector<QLabel *> labels;
  for (QObject *o : WidgetOf(dialog)->children())
    if (auto *l = dynamic_cast<QLabel *>(o)) labels.push_back(l);
  for (const ControlTemplate &input : t.controls) {
    if (!classIs(input, kEditClass) && !classIs(input, kComboBoxClass) &&
        !classIs(input, kTrackbarClass))
      continue;
    // A drop-down list's template height is its dropped height.
    const int inputCy = classIs(input, kComboBoxClass) ? std::min<int>(input.cy, 14) : input.cy;
    std::size_t best = t.controls.size();
    int bestDistance = 0;
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
      const ControlTemplate &label = t.controls[i];
      if (!classIs(label, kStaticClass) || label.text == nullptr || label.text[0] == 0) continue;
      if ((label.style & SS_TYPEMASK) == SS_ICON) continue;
      const bool sameRow = label.y < input.y + inputCy && input.y < label.y + label.cy;
      const bool leftOf = label.x + label.cx <= input.x + 2;
      const bool above = label.y + label.cy <= input.y + 2 && label.x < input.x + input.cx &&
                         input.x < label.x + label.cx;
      int distance = 0;
      if (sameRow && leftOf)
        distance = input.x - (label.x + label.cx);
      else if (above && input.y - (label.y + label.cy) <= 12)
        distance = 1000 + input.y - (label.y + label.cy);
      else
        continue;
      if (best == t.controls.size() || distance < bestDistance) {
        best = i;
        bestDistance = distance;
      }
    }
    QWidget *control = WidgetOf(GetDlgItem(dialog, input.id));
    if (best == t.controls.size() || control == nullptr) continue;
    // Controls are created in template order, so the label is the one at
    // the same place among the dialog's static texts.
    int staticIndex = 0;
    for (std::size_t i = 0; i < best; ++i)
      if (classIs(t.controls[i], kStaticClass)) ++staticIndex;
    if (staticIndex < static_cast<int>(labels.size()))
      labels[static_cast<std::size_t>(staticIndex)]->setBuddy(control);
  }
}

std::vector<HWND> g_modalDialogs;

}  // namespace

HWND InnermostModalDialog() {
  for (auto it = g_modalDialogs.rbegin(); it != g_modalDialogs.rend(); ++it)
    if (IsLiveHandle(*it)) return *it;
  return nullptr;
}

}  // namespace quavix::win

using namespace quavix::win;

HWND CreateDialogIndirectParamA(HINSTANCE hInstance, const DialogTemplate *tmpl, HWND hWndOwner,
                                DLGPROC dlgProc, LPARAM initParam) {
  if (tmpl == nullptr) return nullptr;
  QFont font = DialogFont(tmpl->fontName, tmpl->fontPointSize);
  HFONT hfont = FontHandleFor(font);
  int bx = 4, by = 8;
  BaseUnits(font, &bx, &by);

  CreateParams p;
  p.className = "#32770";
  p.text = tmpl->caption;
  p.style = tmpl->style & ~(WS_VISIBLE | WS_CHILD);
  p.exStyle = tmpl->exStyle;
  p.x = p.y = p.cx = p.cy = CW_USEDEFAULT;
  p.parent = hWndOwner;
  p.instance = hInstance;
  p.isDialog = true;
  p.dialogId = tmpl->id;
  p.dlgProc = dlgProc;
  p.sendCreate = false;
  HWND dialog = CreateWindowObject(p);
  if (dialog == nullptr) return nullptr;
  Window *w = FindWindowObject(dialog);
  w->baseUnitX = bx;
  w->baseUnitY = by;
  w->font = hfont;
  QWidget *widget = w->widget;
  widget->setFont(font);
  QSize client(MulDivRound(tmpl->cx, bx, 4), MulDivRound(tmpl->cy, by, 8));
  if (tmpl->style & WS_THICKFRAME)
    widget->resize(client);
  else
    widget->setFixedSize(client);

  for (const ControlTemplate &c : tmpl->controls) {
    CreateParams cp;
    cp.className = c.className ? c.className : "";
    cp.text = c.text;
    cp.style = c.style | WS_CHILD | WS_VISIBLE;
    cp.exStyle = c.exStyle;
    cp.x = MulDivRound(c.x, bx, 4);
    cp.y = MulDivRound(c.y, by, 8);
    cp.cx = MulDivRound(c.cx, bx, 4);
    cp.cy = MulDivRound(c.cy, by, 8);
    cp.parent = dialog;
    cp.id = c.id;
    cp.instance = hInstance;
    cp.font = hfont;
    HWND control = CreateWindowObject(cp);
    if (control == nullptr) {
      DestroyWindow(dialog);
      return nullptr;
    }
    // A drop-down list's template height is its dropped-down height; the
    // closed box is as tall as its text needs.
    if (auto *combo = dynamic_cast<QComboBox *>(WidgetOf(control))) {
      int closed = combo->sizeHint().height();
      combo->resize(cp.cx, closed);
      int item = std::max(1, QFontMetrics(font).height() + 2);
      combo->setMaxVisibleItems(std::max(1, (cp.cy - closed) / item));
    }
  }

  NameInputsAfterTheirLabels(dialog, *tmpl);
  SendMessageA(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(hfont), FALSE);
  HWND first = FirstTabStop(dialog);
  LRESULT focusDefault =
      SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), initParam);
  if (!IsLiveHandle(dialog)) return nullptr;
  if (focusDefault) {
    // The dialog's initialisation may have disabled or hidden the first one.
    if (HWND focus = FirstTabStop(dialog)) SetFocus(focus);
  }
  if (tmpl->style & WS_VISIBLE) ShowWindow(dialog, SW_SHOW);
  return dialog;
}

INT_PTR RunModalDialogLoop(HWND hDlg) {
  Window *w = FindWindowObject(hDlg);
  if (w == nullptr) return -1;
  if (!w->modalEnded && !IsQuitPending()) {
    QWidget *widget = w->widget;
    if (widget) {
      if (!widget->isVisible())
        widget->setWindowModality(w->owner ? Qt::WindowModal : Qt::NonModal);
      ShowWindow(hDlg, SW_SHOW);
      widget->raise();
      widget->activateWindow();
    }
    if (HasUiSeamHandler() && widget) {
      const int dialogId = w->dialogId;
      const HWND owner = w->owner;
      QTimer::singleShot(0, widget, [hDlg, dialogId, owner] {
        Window *d = FindWindowObject(hDlg);
        if (d == nullptr || d->modalEnded) return;
        UiRequest request;
        request.kind = UiRequestKind::ModalDialog;
        request.owner = owner;
        request.dialog = hDlg;
        request.dialogId = dialogId;
        request.caption = d->text;
        UiAnswer answer;
        ToolkitCallScope scope;
        AnswerThroughUiSeam(request, &answer);
      });
    }
    QEventLoop loop;
    w->modalLoop = &loop;
    PushEventLoop(&loop);
    g_modalDialogs.push_back(hDlg);
    for (;;) {
      Window *d = FindWindowObject(hDlg);
      if (d == nullptr || d->modalEnded || IsQuitPending()) break;
      if (loop.exec() != kLoopWake) {
        // The toolkit's application is quitting (the session ends).
        if (!IsQuitPending()) PostQuitMessage(0);
        break;
      }
    }
    PopEventLoop(&loop);
    if (auto it = std::find(g_modalDialogs.begin(), g_modalDialogs.end(), hDlg);
        it != g_modalDialogs.end())
      g_modalDialogs.erase(it);
    if (Window *d = FindWindowObject(hDlg)) d->modalLoop = nullptr;
  }
  w = FindWindowObject(hDlg);
  if (w == nullptr) return -1;
  if (w->widget) w->widget->hide();
  return w->modalEnded ? w->modalResult : -1;
}

INT_PTR DialogBoxIndirectParamA(HINSTANCE hInstance, const DialogTemplate *tmpl, HWND hWndOwner,
                                DLGPROC dlgProc, LPARAM initParam) {
  if (tmpl == nullptr) return -1;
  HWND owner = TopLevelOf(hWndOwner);
  bool disabledOwner = false;
  if (owner != nullptr && IsWindowEnabled(owner)) {
    EnableWindow(owner, FALSE);
    disabledOwner = true;
  }
  INT_PTR result = -1;
  HWND dialog = CreateDialogIndirectParamA(hInstance, tmpl, owner, dlgProc, initParam);
  if (dialog != nullptr) result = RunModalDialogLoop(dialog);
  if (disabledOwner && IsWindow(owner)) EnableWindow(owner, TRUE);
  if (dialog != nullptr) DestroyWindow(dialog);
  if (owner != nullptr && IsWindow(owner) && IsWindowVisible(owner)) SetActiveWindow(owner);
  return result;
}

INT_PTR DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndOwner, DLGPROC dlgProc,
                        LPARAM initParam) {
  if (!IS_INTRESOURCE(lpTemplateName)) return -1;
  const DialogTemplate *tmpl =
      FindDialogTemplate(static_cast<int>(reinterpret_cast<std::uintptr_t>(lpTemplateName)));
  return DialogBoxIndirectParamA(hInstance, tmpl, hWndOwner, dlgProc, initParam);
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
  Window *w = FindWindowObject(hDlg);
  if (w == nullptr || !w->isDialog) return FALSE;
  w->modalEnded = true;
  w->modalResult = nResult;
  if (w->modalLoop != nullptr) w->modalLoop->exit(kLoopWake);
  return TRUE;
}

LRESULT DefDlgProcA(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window *w = FindWindowObject(hDlg);
  if (w == nullptr) return 0;
  if (DLGPROC proc = w->dlgProc) {
    INT_PTR handled = proc(hDlg, msg, wParam, lParam);
    if (msg == WM_INITDIALOG) return handled;
    if (handled) return (msg == WM_QUERYDRAGICON || msg == WM_CTLCOLORSTATIC) ? handled : 0;
    if (!IsLiveHandle(hDlg)) return 0;
  }
  switch (msg) {
    case WM_INITDIALOG: return TRUE;
    case WM_CLOSE: {
      HWND cancel = GetDlgItem(hDlg, IDCANCEL);
      if (cancel != nullptr && !IsWindowEnabled(cancel)) {
        MessageBeep(0);
        return 0;
      }
      PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(cancel));
      return 0;
    }
    default: return DefWindowProcA(hDlg, msg, wParam, lParam);
  }
}

BOOL MapDialogRect(HWND hDlg, RECT *rect) {
  Window *w = FindWindowObject(hDlg);
  if (w == nullptr || rect == nullptr) return FALSE;
  rect->left = MulDivRound(rect->left, w->baseUnitX, 4);
  rect->right = MulDivRound(rect->right, w->baseUnitX, 4);
  rect->top = MulDivRound(rect->top, w->baseUnitY, 8);
  rect->bottom = MulDivRound(rect->bottom, w->baseUnitY, 8);
  return TRUE;
}

BOOL CheckDlgButton(HWND hDlg, int id, UINT uCheck) {
  HWND item = GetDlgItem(hDlg, id);
  if (item == nullptr) return FALSE;
  SendMessageA(item, BM_SETCHECK, uCheck, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND hDlg, int id) {
  HWND item = GetDlgItem(hDlg, id);
  return item ? static_cast<UINT>(SendMessageA(item, BM_GETCHECK, 0, 0)) : 0;
}
