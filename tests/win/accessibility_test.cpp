// What assistive technology reads from the controls: their text as their
// name and their state (enabled, shown, checked).
#include "tests/win/gui_test_support.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const DialogTemplate kA11yDialog{
    920,
    "Access",
    "MS Shell Dlg",
    8,
    160,
    90,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    0,
    {
        {1, kButtonClass, "&Open", 7, 7, 50, 14, BS_PUSHBUTTON | WS_TABSTOP, 0},
        {2, kButtonClass, "Do not show the message in the future", 7, 25, 140, 10,
         BS_AUTOCHECKBOX | WS_TABSTOP, 0},
        {3, kStaticClass, "Status : Ready", 7, 40, 100, 12, SS_LEFT | SS_SUNKEN, 0},
        {4, kStaticClass, "Volume:", 7, 55, 40, 8, SS_LEFT, 0},
    },
};

WNDPROC g_previous = nullptr;
LRESULT OwnTextProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_SETTEXT) return 0;
  return CallWindowProcA(g_previous, hwnd, msg, wParam, lParam);
}

QAccessibleInterface *Access(HWND dialog, int id) {
  return QAccessible::queryAccessibleInterface(guitest::Widget(GetDlgItem(dialog, id)));
}

TEST(Accessibility, ControlsExposeTextAndState) {
  HWND dialog = CreateDialogIndirectParamA(nullptr, &kA11yDialog, nullptr, nullptr, 0);
  ASSERT_NE(dialog, nullptr);
  ShowWindow(dialog, SW_SHOW);

  QAccessibleInterface *open = Access(dialog, 1);
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(open->role(), QAccessible::Button);
  EXPECT_EQ(open->text(QAccessible::Name), QStringLiteral("Open"));
  EXPECT_FALSE(open->state().disabled);
  EnableWindow(GetDlgItem(dialog, 1), FALSE);
  EXPECT_TRUE(open->state().disabled);

  QAccessibleInterface *check = Access(dialog, 2);
  ASSERT_NE(check, nullptr);
  EXPECT_EQ(check->role(), QAccessible::CheckBox);
  EXPECT_EQ(check->text(QAccessible::Name),
            QStringLiteral("Do not show the message in the future"));
  EXPECT_FALSE(check->state().checked);
  CheckDlgButton(dialog, 2, BST_CHECKED);
  EXPECT_TRUE(check->state().checked);

  QAccessibleInterface *status = Access(dialog, 3);
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->text(QAccessible::Name), QStringLiteral("Status : Ready"));
  SetWindowTextA(GetDlgItem(dialog, 3), "Status : 00:00:07");
  EXPECT_EQ(status->text(QAccessible::Name), QStringLiteral("Status : 00:00:07"));

  // A label whose procedure keeps WM_SETTEXT to itself and paints the text
  // itself still has the shown text as its name.
  HWND status3 = GetDlgItem(dialog, 3);
  g_previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(status3, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OwnTextProc)));
  SetWindowTextA(status3, "Status : Converting");
  EXPECT_EQ(status->text(QAccessible::Name), QStringLiteral("Status : Converting"));

  QAccessibleInterface *label = Access(dialog, 4);
  ASSERT_NE(label, nullptr);
  EXPECT_FALSE(label->state().invisible);
  ShowWindow(GetDlgItem(dialog, 4), SW_HIDE);
  EXPECT_TRUE(label->state().invisible);

  DestroyWindow(dialog);
}

}  // namespace

namespace {

LRESULT PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// A screen reader announces a window by its role and title: a dialog as a
// dialog, a window as a frame, a message box as an alert, never as a
// nameless filler.
TEST(Accessibility, TopLevelWindowsAnnounceWhatTheyAre) {
  HWND dialog = CreateDialogIndirectParamA(nullptr, &kA11yDialog, nullptr, nullptr, 0);
  ASSERT_NE(dialog, nullptr);
  ShowWindow(dialog, SW_SHOW);
  QAccessibleInterface *d = QAccessible::queryAccessibleInterface(guitest::Widget(dialog));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->role(), QAccessible::Dialog);
  EXPECT_EQ(d->text(QAccessible::Name), QStringLiteral("Access"));

  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &PlainProc;
  wc.lpszClassName = "QuavixA11yWindow";
  RegisterClassExA(&wc);
  HWND window = CreateWindowExA(0, "QuavixA11yWindow", "Video Window",
                                WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 10, 10, 200, 150, nullptr,
                                nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_SHOW);
  QAccessibleInterface *w = QAccessible::queryAccessibleInterface(guitest::Widget(window));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->role(), QAccessible::Window);
  EXPECT_EQ(w->text(QAccessible::Name), QStringLiteral("Video Window"));

  // The real message box (no test seam), looked at while it is up.
  UiSeamHandler previous = SetUiSeamForTest({});
  QAccessible::Role boxRole = QAccessible::NoRole;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget *box = QApplication::activeModalWidget();
    if (box == nullptr) return;
    poll.stop();
    if (QAccessibleInterface *b = QAccessible::queryAccessibleInterface(box)) boxRole = b->role();
    QTest::keyClick(box, Qt::Key_Escape);
  });
  poll.start(10);
  MessageBoxA(dialog, "The song could not be played.", "Error", MB_OK | MB_ICONEXCLAMATION);
  SetUiSeamForTest(previous);
  EXPECT_EQ(boxRole, QAccessible::AlertMessage);

  DestroyWindow(window);
  DestroyWindow(dialog);
}

TEST(Accessibility, InputsAreNamedByTheirLabelsInTheMainWindow) {
  const DialogTemplate *main = FindDialogTemplate(102);
  ASSERT_NE(main, nullptr);
  HWND dialog = CreateDialogIndirectParamA(nullptr, main, nullptr, nullptr, 0);
  ASSERT_NE(dialog, nullptr);
  ShowWindow(dialog, SW_SHOW);
  for (const ControlTemplate &c : main->controls)
    EXPECT_NE(GetDlgItem(dialog, c.id), nullptr) << c.id;

  QAccessibleInterface *output = Access(dialog, 1008);
  ASSERT_NE(output, nullptr);
  EXPECT_EQ(output->role(), QAccessible::EditableText);
  EXPECT_EQ(output->text(QAccessible::Name), QStringLiteral("Output:"));
  SetWindowTextA(GetDlgItem(dialog, 1008), "/home/u/Music/");
  EXPECT_EQ(output->text(QAccessible::Value), QStringLiteral("/home/u/Music/"));

  QAccessibleInterface *volume = Access(dialog, 1038);
  ASSERT_NE(volume, nullptr);
  EXPECT_EQ(volume->text(QAccessible::Name), QStringLiteral("Volume:"));

  QAccessibleInterface *convert = Access(dialog, 1004);
  ASSERT_NE(convert, nullptr);
  EXPECT_EQ(convert->text(QAccessible::Name), QStringLiteral("Convert"));
  DestroyWindow(dialog);
}

}  // namespace
