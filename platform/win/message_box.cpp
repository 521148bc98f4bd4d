// Message boxes: the test seam first, else the desktop's message box.
#include "platform/win/message_box.h"

#include "platform/win/ui_seam.h"
#include "platform/win/window_internal.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include <vector>

using namespace quavix::win;

namespace {

struct ButtonSpec {
  QMessageBox::StandardButton button;
  int id;
};

std::vector<ButtonSpec> ButtonsFor(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
      return {{QMessageBox::Abort, IDABORT},
              {QMessageBox::Retry, IDRETRY},
              {QMessageBox::Ignore, IDIGNORE}};
    case MB_YESNOCANCEL:
      return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO: return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case MB_RETRYCANCEL: return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    default: return {{QMessageBox::Ok, IDOK}};
  }
}

QMessageBox::Icon IconFor(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONASTERISK: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

int MessageBoxA(HWND hwnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  UiRequest request;
  request.kind = UiRequestKind::MessageBox;
  request.owner = hwnd;
  request.text = lpText ? lpText : "";
  // Windows titles a message box without caption "Error".
  request.caption = lpCaption ? lpCaption : "Error";
  request.type = uType;
  UiAnswer answer;
  if (AnswerThroughUiSeam(request, &answer)) return answer.button;

  if (QApplication::instance() == nullptr) return 0;
  const std::vector<ButtonSpec> buttons = ButtonsFor(uType);
  QWidget *parent = WidgetOf(TopLevelOf(hwnd));
  QPointer<QMessageBox> box = new QMessageBox(IconFor(uType), ToQ(request.caption),
                                              ToQ(request.text), QMessageBox::NoButton, parent);
  box->setTextFormat(Qt::PlainText);
  for (const ButtonSpec &b : buttons) box->addButton(b.button);
  std::size_t def = (uType & MB_DEFMASK) >> 8;
  if (def < buttons.size()) box->setDefaultButton(buttons[def].button);
  // Closing the box is Cancel where there is one, else the only button.
  for (const ButtonSpec &b : buttons)
    if (b.id == IDCANCEL || buttons.size() == 1) box->setEscapeButton(b.button);
  if (parent != nullptr) box->setWindowModality(Qt::WindowModal);

  int clicked = box->exec();
  if (!box) return 0;
  delete box.data();
  for (const ButtonSpec &b : buttons)
    if (clicked == b.button) return b.id;
  for (const ButtonSpec &b : buttons)
    if (b.id == IDCANCEL) return IDCANCEL;
  return buttons.size() == 1 ? buttons[0].id : 0;
}
