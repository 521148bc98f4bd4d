// Menus: the dialog's system menu offered as its context menu, menus from
// the program's templates, and popup menus chosen with the mouse.
#include "tests/win/gui_test_support.h"

#include <QContextMenuEvent>

#include <gtest/gtest.h>

#include <vector>

namespace {

const DialogTemplate kMenuDialog{
    910,
    "Menus",
    "MS Shell Dlg",
    8,
    160,
    90,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME,
    0,
    {
        {1, kButtonClass, "OK", 7, 7, 50, 14, BS_PUSHBUTTON | WS_TABSTOP, 0},
        {2, kStaticClass, "Label", 7, 30, 50, 10, SS_LEFT, 0},
    },
};

std::vector<std::pair<UINT, WPARAM>> g_commands;

INT_PTR MenuDialogProc(HWND, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_SYSCOMMAND || msg == WM_COMMAND) {
    g_commands.emplace_back(msg, wParam);
    // System commands other than ours get the default handling.
    return msg == WM_COMMAND || wParam == 0x0010;
  }
  return FALSE;
}

bool Seen(UINT msg, WPARAM wParam) {
  for (auto &c : g_commands)
    if (c.first == msg && c.second == wParam) return true;
  return false;
}

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_commands.clear();
    dialog_ = CreateDialogIndirectParamA(nullptr, &kMenuDialog, nullptr, &MenuDialogProc, 0);
    ASSERT_NE(dialog_, nullptr);
    ShowWindow(dialog_, SW_SHOW);
  }
  void TearDown() override { DestroyWindow(dialog_); }
  HWND dialog_ = nullptr;
};

TEST_F(MenuTest, SystemMenuIsTheDialogsContextMenu) {
  HMENU sys = GetSystemMenu(dialog_, FALSE);
  ASSERT_NE(sys, nullptr);
  EXPECT_EQ(GetSystemMenu(dialog_, FALSE), sys);  // made once
  EXPECT_TRUE(AppendMenuA(sys, MF_SEPARATOR, 0, nullptr));
  EXPECT_TRUE(AppendMenuA(sys, MF_STRING, 0x0010, FindStringResource(101)));

  // A right click on the background (here on a label, which passes it on).
  QStringList items;
  guitest::ClickMenuItemWhenShown(QStringLiteral("&About Quavix"), &items);
  QWidget *label = guitest::Widget(GetDlgItem(dialog_, 2));
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(3, 3), label->mapToGlobal(QPoint(3, 3)));
  QApplication::sendEvent(label, &click);
  EXPECT_EQ(items, (QStringList{"Mi&nimize", "&Close", "-", "&About Quavix"}));
  ASSERT_TRUE(guitest::WaitFor([] { return Seen(WM_SYSCOMMAND, 0x0010); }));

  // Shift+F10 opens it too; Minimize minimises the dialog.
  guitest::ClickMenuItemWhenShown(QStringLiteral("Mi&nimize"));
  QTest::keyClick(guitest::Widget(GetDlgItem(dialog_, 1)), Qt::Key_F10, Qt::ShiftModifier);
  ASSERT_TRUE(guitest::WaitFor([] { return Seen(WM_SYSCOMMAND, SC_MINIMIZE); }));
  EXPECT_TRUE(guitest::WaitFor([this] { return IsIconic(dialog_) != FALSE; }));
  ShowWindow(dialog_, SW_RESTORE);

  // The Menu key and Close: the dialog hears WM_SYSCOMMAND SC_CLOSE.
  guitest::ClickMenuItemWhenShown(QStringLiteral("&Close"));
  QTest::keyClick(guitest::Widget(GetDlgItem(dialog_, 1)), Qt::Key_Menu);
  ASSERT_TRUE(guitest::WaitFor([] { return Seen(WM_SYSCOMMAND, SC_CLOSE); }));
  // Its default turned into WM_CLOSE and then the Cancel command.
  ASSERT_TRUE(guitest::WaitFor([] { return Seen(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED)); }));
}

TEST_F(MenuTest, PlayerMenuFromTheTemplate) {
  HMENU menu = LoadMenuA(nullptr, MAKEINTRESOURCEA(145));
  ASSERT_NE(menu, nullptr);
  HMENU popup = GetSubMenu(menu, 0);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(GetMenuItemCount(popup), 5);
  EXPECT_EQ(GetMenuItemID(popup, 1), 32772u);
  char text[16];
  GetMenuStringA(popup, 32772, text, sizeof text, MF_BYCOMMAND);
  EXPECT_STREQ(text, "pause");
  EXPECT_EQ(EnableMenuItem(popup, 32772, MF_GRAYED), MF_ENABLED);
  EXPECT_EQ(EnableMenuItem(popup, 32772, MF_GRAYED), MF_GRAYED);
  EXPECT_EQ(EnableMenuItem(popup, 4711, MF_GRAYED), static_cast<UINT>(-1));
  EXPECT_EQ(LoadMenuA(nullptr, MAKEINTRESOURCEA(146)), nullptr);

  // A greyed item cannot be chosen; an enabled one is posted as WM_COMMAND.
  QStringList items;
  guitest::ClickMenuItemWhenShown(QStringLiteral("Stop"), &items);
  POINT at{10, 10};
  ClientToScreen(dialog_, &at);
  EXPECT_TRUE(TrackPopupMenu(popup, 0, at.x, at.y, 0, dialog_, nullptr));
  EXPECT_EQ(items, (QStringList{"Play", "pause", "Stop", "-", "Close"}));
  ASSERT_TRUE(guitest::WaitFor([] { return Seen(WM_COMMAND, 32773); }));
  EXPECT_TRUE(DestroyMenu(menu));
  EXPECT_FALSE(IsMenu(popup));  // its sub-menu went with it
}

}  // namespace
