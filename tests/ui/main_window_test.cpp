// The program's start-up and main window, run for real on the headless
// toolkit: the application object's InitInstance runs the main dialog
// modally, and each test acts inside that modal loop through the window
// layer's seam (which also answers message boxes), with real key presses,
// clicks and menus. Every test has a home, configuration and runtime folder
// of its own, so the person's settings are never touched.
#include "app/converter_app.h"
#include "platform/reg/registry.h"
#include "platform/win/ui_seam.h"
#include "platform/win/window_internal.h"
#include "settings/app_name.h"
#include "settings/profile.h"
#include "ui/converter_dlg.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/stored_settings.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QImage>
#include <QPixmap>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using quavix::test::StoredInt;
using quavix::test::StoredString;
using quavix::win::WidgetOf;

// The window starts on a private sound server with one output, as on a
// desktop with one sound card: one capture device, its loop-back line found.
class MainWindowTest : public quavix::test::MainWindowFixture {
 protected:
  std::vector<quavix::test::NullSink> Sinks() const override {
    return {{"quavix_a", "Test Output A"}};
  }
  // The first start without a music folder is a case of its own.
  bool WantMusicFolder() const override { return false; }

  void PressKey(HWND target, Qt::Key key) {
    QWidget *focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : WidgetOf(target), key);
  }

  // Ends the program as the close box does, once the driver returns.
  void CloseWindow(HWND dlg) { PostMessageA(dlg, WM_CLOSE, 0, 0); }
};

TEST_F(MainWindowTest, FirstStartProposesMusicFolderAndWaitsForASong) {
  env_->MakeMusicFolder();
  bool ran = false;
  BOOL result = StartProgram([&](CConverterDlg &dlg) {
    ran = true;
    HWND h = dlg.m_hWnd;
    EXPECT_EQ(WindowText(h), "Quavix");
    EXPECT_EQ(ItemText(h, IDC_OUTPUT_PATH), env_->home + "/Music/");
    EXPECT_STREQ(dlg.m_strOutputPath, (env_->home + "/Music/").c_str());
    EXPECT_STREQ(dlg.m_strOutputFolder, (env_->home + "/Music/").c_str());
    EXPECT_EQ(ItemText(h, IDC_STATUS), "Status : Ready");
    for (int id : {IDC_CONVERT, IDC_STOP, IDC_OUTPUT_PATH, IDC_BROWSE, IDC_PLAY})
      EXPECT_FALSE(Enabled(h, id)) << id;
    for (int id : {IDC_OPEN, IDC_HELP_BTN, IDC_EXIT, IDC_DEVICE_LIST, IDC_INPUT_LIST, IDC_VOLUME})
      EXPECT_TRUE(Enabled(h, id)) << id;
    for (int id : {IDC_ABOUT, IDC_INPUT_TAG, IDC_CLOSE_BTN, IDC_DEVICE_TAG})
      EXPECT_FALSE(Visible(h, id)) << id;
    // One device whose loop-back line ("Monitor of Test Output A") the name
    // search found: nothing to choose, so both lists are hidden.
    EXPECT_FALSE(Visible(h, IDC_DEVICE_LIST));
    EXPECT_FALSE(Visible(h, IDC_INPUT_LIST))
        << "the loop-back line was found and there is one device";
    EXPECT_EQ(dlg.m_sliderVolume.GetRangeMin(), 0);
    EXPECT_EQ(dlg.m_sliderVolume.GetRangeMax(), 200);
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 200);
    EXPECT_EQ(g_nSoundCaptureIndex, 0);
    EXPECT_EQ(g_nCapturePinIndex, 0);
    EXPECT_EQ(g_nSearchFlag, 1);
    EXPECT_EQ(dlg.m_bOnlyOnce, 0);
    EXPECT_EQ(dlg.m_bConverting, 0);
    EXPECT_EQ(dlg.m_szMidiPath[0], '\0');
    EXPECT_EQ(g_pPlayer, nullptr);
    // On disk in the user's cache folder, not in the runtime folder (memory).
    EXPECT_STREQ(dlg.m_szTempWavPath, (env_->cache + "/quavix/kqzttemp.wav").c_str());
    EXPECT_EQ(dlg.m_nOutputWave, 0);
    ASSERT_NE(dlg.m_hIcon, nullptr) << "icon 103 is the window's icon";
    EXPECT_EQ(reinterpret_cast<HICON>(dlg.SendMessage(WM_QUERYDRAGICON)), dlg.m_hIcon);
    EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;
    CloseWindow(h);
  });
  EXPECT_TRUE(ran);
  EXPECT_FALSE(result) << "the program ends when its main window does";
  EXPECT_EQ(app_->m_pMainWnd, nullptr) << "no pointer to the destroyed window stays behind";
  // The application object published the rounded buttons' faces and colours.
  ASSERT_NE(g_pbmpButtonDown, nullptr);
  ASSERT_NE(g_pbmpButtonUp, nullptr);
  EXPECT_NE(g_pbmpButtonDown, g_pbmpButtonUp) << "two separate bitmap objects";
  EXPECT_NE(g_pbmpButtonDown->GetSafeHandle(), nullptr);
  EXPECT_NE(g_pbmpButtonUp->GetSafeHandle(), nullptr);
  EXPECT_EQ(g_crButtonLight, 0xFFFFFFu);
  EXPECT_EQ(g_crButtonShadow, 0x606060u);
  EXPECT_EQ(g_crButtonGrayText, 0x808080u);
  EXPECT_EQ(g_crButtonText, 0u);
}

// Many desktops have no Music folder: that is no error to show at every
// start. The folder chosen before wins, else the home folder.
TEST_F(MainWindowTest, MissingMusicFolderFallsBackSilently) {
  StartProgram([&](CConverterDlg &dlg) {
    EXPECT_EQ(ItemText(dlg.m_hWnd, IDC_OUTPUT_PATH), env_->home + "/");
    EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;
    CloseWindow(dlg.m_hWnd);
  });
  ProfileSetString(kProfileMakerKey, appName_.c_str(), "Option", "last_output_folder",
                   "/srv/songs/");
  RunMainWindowAlone([&](CConverterDlg &dlg) {
    EXPECT_EQ(ItemText(dlg.m_hWnd, IDC_OUTPUT_PATH), "/srv/songs/");
    EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;
    CloseWindow(dlg.m_hWnd);
  });
}

TEST_F(MainWindowTest, OlderSystemSkipsTheShellLookup) {
  env_->Set("QUAVIX_WINDOWS_MAJOR", "5");
  StartProgram([&](CConverterDlg &dlg) {
    EXPECT_EQ(dlg.m_osvi.dwMajorVersion, 5u);
    EXPECT_EQ(ItemText(dlg.m_hWnd, IDC_OUTPUT_PATH), env_->home + "/");
    EXPECT_TRUE(boxes_.empty()) << "no lookup, so nothing to report";
    CloseWindow(dlg.m_hWnd);
  });
}

TEST_F(MainWindowTest, ExitSavesTheInputChoiceAndFolderForTheNextStart) {
  env_->MakeMusicFolder();
  const std::string music = env_->home + "/Music/";
  StartProgram([&](CConverterDlg &dlg) {
    // As the device and line logic leave them after the user's choices.
    g_nSoundCaptureIndex = 2;
    g_nCapturePinIndex = 3;
    g_nSearchFlag = 1;
    // A path typed by hand is not a folder choice and must not be kept.
    SetWindowTextA(GetDlgItem(dlg.m_hWnd, IDC_OUTPUT_PATH), "/elsewhere/typed.wma");
    Click(dlg.m_hWnd, IDC_EXIT);
    PumpPendingMessages();
  });
  EXPECT_EQ(StoredInt(appName_, "nSoundCaptureIndex"), 2u);
  EXPECT_EQ(StoredInt(appName_, "nCapturePinIndex"), 3u);
  EXPECT_EQ(StoredInt(appName_, "nSearchFlag"), 1u);
  EXPECT_EQ(StoredString(appName_, "last_output_folder"), music);

  g_nSoundCaptureIndex = g_nCapturePinIndex = g_nSearchFlag = 0;
  RunMainWindowAlone([&](CConverterDlg &dlg) {
    // Read back, then met by the one device there is: index 2 names no
    // entry, so the first is selected and kept; with the flag read as 1 no
    // name is searched, and line 3 names no entry, so no line is selected.
    // Defaults read instead would have searched and selected line 0.
    EXPECT_EQ(g_nSoundCaptureIndex, 0);
    EXPECT_EQ(g_nCapturePinIndex, -1);
    EXPECT_EQ(g_nSearchFlag, 1);
    EXPECT_EQ(ItemText(dlg.m_hWnd, IDC_OUTPUT_PATH), music);
    EXPECT_FALSE(Visible(dlg.m_hWnd, IDC_INPUT_LIST))
        << "line found and at most one device: list hidden";
    CloseWindow(dlg.m_hWnd);
  });
}

TEST_F(MainWindowTest, CloseMessageSavesAndStoredFolderWinsOverTheDefault) {
  env_->MakeMusicFolder();
  ProfileSetString(kProfileMakerKey, appName_.c_str(), "Option", "last_output_folder",
                   "/srv/songs/");
  ProfileSetInt(kProfileMakerKey, appName_.c_str(), "Option", "b_only_once", 1);
  StartProgram([&](CConverterDlg &dlg) {
    EXPECT_EQ(ItemText(dlg.m_hWnd, IDC_OUTPUT_PATH), "/srv/songs/");
    EXPECT_EQ(dlg.m_bOnlyOnce, 1);
    EXPECT_TRUE(boxes_.empty());
    g_nCapturePinIndex = 4;
    dlg.PostMessage(WM_CLOSE);
    PumpPendingMessages();
  });
  EXPECT_EQ(StoredInt(appName_, "nSoundCaptureIndex"), 0u);
  EXPECT_EQ(StoredInt(appName_, "nCapturePinIndex"), 4u);
  EXPECT_EQ(StoredInt(appName_, "nSearchFlag"), 1u) << "the loop-back line was found at this start";
  EXPECT_EQ(StoredString(appName_, "last_output_folder"), "/srv/songs/");
}

// A main window stays open on Enter and Esc, wherever the focus is (a
// dialog's OK and Cancel would end the program without saving anything);
// closing it still saves.
TEST_F(MainWindowTest, EnterAndEscapeLeaveTheWindowOpen) {
  env_->MakeMusicFolder();
  StartProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    g_nSoundCaptureIndex = 7;
    dlg.m_cbInputList.ShowWindow(SW_SHOW);
    for (HWND target :
         {h, dlg.m_sliderVolume.m_hWnd, dlg.m_editOutputPath.m_hWnd, dlg.m_cbInputList.m_hWnd}) {
      for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        SCOPED_TRACE(testing::Message() << "key " << key << " on " << WindowText(target));
        SetFocus(target);
        QTest::keyClick(WidgetOf(target), key);
        PumpPendingMessages();
        ASSERT_TRUE(IsWindow(h)) << "the window ended";
        EXPECT_TRUE(IsWindowVisible(h));
      }
    }
    EXPECT_EQ(StoredInt(appName_, "nSoundCaptureIndex"), std::nullopt) << "nothing closed yet";
    CloseWindow(h);
  });
  EXPECT_EQ(StoredInt(appName_, "nSoundCaptureIndex"), 7u) << "closing saved the choice";
}

TEST_F(MainWindowTest, ContextMenuAboutItemOpensTheAboutBox) {
  env_->MakeMusicFolder();
  std::vector<std::string> menuItems;
  std::string aboutCaption, aboutTitleLine;
  drivers_[IDD_ABOUTBOX] = [&](HWND about) {
    aboutCaption = WindowText(about);
    aboutTitleLine = WindowText(GetDlgItem(about, IDOK));
    QTest::keyClick(WidgetOf(about), Qt::Key_Escape);
  };
  StartProgram([&](CConverterDlg &dlg) {
    QTimer::singleShot(0, [&] {
      auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
      ASSERT_NE(menu, nullptr) << "no context menu came up";
      QAction *about = nullptr;
      for (QAction *action : menu->actions()) {
        menuItems.push_back(action->isSeparator() ? "-" : action->text().toStdString());
        if (action->text().remove('&') == "About Quavix") about = action;
      }
      ASSERT_NE(about, nullptr);
      // Chosen from the keyboard, as a person would.
      menu->setActiveAction(about);
      QTest::keyClick(menu, Qt::Key_Return);
    });
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(10, 10),
                            WidgetOf(dlg.m_hWnd)->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(WidgetOf(dlg.m_hWnd), &event);
    PumpPendingMessages();
    EXPECT_EQ(aboutCaption, "About Quavix");
    // The same box through the system command with the low bits set.
    aboutCaption.clear();
    dlg.SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX | 0x2, 0);
    EXPECT_EQ(aboutCaption, "About Quavix");
    CloseWindow(dlg.m_hWnd);
  });
  ASSERT_GE(menuItems.size(), 2u);
  EXPECT_EQ(menuItems[menuItems.size() - 2], "-");
  EXPECT_EQ(menuItems.back(), "&About Quavix");
  EXPECT_EQ(aboutTitleLine, "OK");
  EXPECT_EQ(std::count(dialogsShown_.begin(), dialogsShown_.end(), IDD_ABOUTBOX), 2);
}

TEST_F(MainWindowTest, PlayerTickWithoutPlayerClearsTheCaption) {
  env_->MakeMusicFolder();
  StartProgram([&](CConverterDlg &dlg) {
    dlg.SetWindowText("Tune.mid   00:01:02");
    dlg.SendMessage(WM_CAPTURE_NOTIFY, 0, 7);
    EXPECT_EQ(WindowText(dlg.m_hWnd), "Tune.mid   00:01:02")
        << "only the player's tick touches the caption";
    PostMessageA(dlg.m_hWnd, WM_PLAYER_TICK, 0, 0);
    PumpPendingMessages();
    EXPECT_EQ(WindowText(dlg.m_hWnd), "");
    CloseWindow(dlg.m_hWnd);
  });
}

TEST_F(MainWindowTest, MinimisedWindowPaintsItsIconInTheMiddle) {
  env_->MakeMusicFolder();
  StartProgram([&](CConverterDlg &dlg) {
    dlg.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    PumpPendingMessages();
    ASSERT_TRUE(dlg.IsIconic());
    RECT client{};
    GetClientRect(dlg.m_hWnd, &client);
    const int icon = GetSystemMetrics(SM_CXICON);
    const int x = (client.right - icon + 1) / 2,
              y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
    QImage picture = WidgetOf(dlg.m_hWnd)->grab().toImage();
    // The icon's tile is indigo to teal: clearly more blue than red, unlike
    // the grey dialog face that the buttons would show there otherwise.
    for (auto [dx, dy] : {std::pair{icon / 4, icon / 2}, {icon / 2, icon * 3 / 4}}) {
      QColor c = picture.pixelColor(x + dx, y + dy);
      EXPECT_GT(c.blue(), c.red() + 40) << dx << "," << dy << " " << c.name().toStdString();
    }
    dlg.ShowWindow(SW_RESTORE);
    CloseWindow(dlg.m_hWnd);
  });
}

TEST_F(MainWindowTest, EnableControlsSwitchesItsEightControlsTogether) {
  env_->MakeMusicFolder();
  const int eight[] = {IDC_CONVERT,     IDC_STOP,   IDC_PLAY,       IDC_OPEN,
                       IDC_OUTPUT_PATH, IDC_BROWSE, IDC_INPUT_LIST, IDC_DEVICE_LIST};
  StartProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    dlg.EnableControls(TRUE);
    for (int id : eight) EXPECT_TRUE(Enabled(h, id)) << id;
    dlg.DisableMediaControls();
    for (int id : {IDC_CONVERT, IDC_STOP, IDC_OUTPUT_PATH, IDC_BROWSE, IDC_PLAY})
      EXPECT_FALSE(Enabled(h, id)) << id;
    for (int id : {IDC_OPEN, IDC_INPUT_LIST, IDC_DEVICE_LIST}) EXPECT_TRUE(Enabled(h, id)) << id;
    dlg.EnableControls(FALSE);
    for (int id : eight) EXPECT_FALSE(Enabled(h, id)) << id;
    for (int id : {IDC_EXIT, IDC_HELP_BTN, IDC_VOLUME}) EXPECT_TRUE(Enabled(h, id)) << id;
    CloseWindow(h);
  });
}

TEST_F(MainWindowTest, EveryControlIsReadableByAssistiveTechnology) {
  env_->MakeMusicFolder();
  StartProgram([&](CConverterDlg &dlg) {
    // The window itself is announced as a dialog with its title, not as a
    // nameless filler.
    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(WidgetOf(dlg.m_hWnd));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->role(), QAccessible::Dialog);
    EXPECT_EQ(window->text(QAccessible::Name).toStdString(), "Quavix");
    for (const ControlTemplate &c : FindDialogTemplate(IDD_CONVERTER_DIALOG)->controls) {
      SCOPED_TRACE(c.id);
      HWND control = GetDlgItem(dlg.m_hWnd, c.id);
      ASSERT_NE(control, nullptr);
      QAccessibleInterface *a = QAccessible::queryAccessibleInterface(WidgetOf(control));
      ASSERT_NE(a, nullptr);
      std::string text = WindowText(control);
      QString name = a->text(QAccessible::Name);
      if (c.id == IDC_OUTPUT_PATH) {
        EXPECT_EQ(a->text(QAccessible::Value).toStdString(), text);
      } else if (!text.empty()) {
        EXPECT_EQ(name.toStdString(), text);
      }
      EXPECT_EQ(a->state().disabled, !IsWindowEnabled(control));
      EXPECT_EQ(a->state().invisible, !IsWindowVisible(control));
    }
    CloseWindow(dlg.m_hWnd);
  });
}

TEST_F(MainWindowTest, TemporaryFolderTooLongIsRefusedNotCut) {
  env_->MakeMusicFolder();
  std::string deep = env_->MakeDeepCacheFolder(250);
  StartProgram([&](CConverterDlg &dlg) {
    EXPECT_STREQ(dlg.m_szTempWavPath, "") << "a cut path would name another file";
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].text.find(deep), std::string::npos) << boxes_[0].text;
    EXPECT_NE(boxes_[0].text.find("too long"), std::string::npos);
    CloseWindow(dlg.m_hWnd);
  });
}

TEST_F(MainWindowTest, RenamedProgramStartsWithAFreshProfile) {
  // This test program is a renamed copy of the main window's program: its
  // profile is named after its own executable, not after "vorlinta".
  char exe[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  EXPECT_EQ(appName_, AppNameFromExecutablePath(exe));
  EXPECT_EQ(AppNameFromExecutablePath("/usr/bin/vorlinta"), "vorlinta");
  EXPECT_EQ(AppNameFromExecutablePath("/opt/q/VORLINTA.EXE"), "VORLINTA");
  ASSERT_NE(appName_, "vorlinta");

  env_->MakeMusicFolder();
  for (const char *entry : {"nSoundCaptureIndex", "nCapturePinIndex", "nSearchFlag"})
    ProfileSetInt(kProfileMakerKey, "vorlinta", "Option", entry, 1);
  ProfileSetString(kProfileMakerKey, "vorlinta", "Option", "last_output_folder", "/srv/shipped/");
  StartProgram([&](CConverterDlg &dlg) {
    // Fresh defaults: the name search ran and found line 0. The shipped
    // name's profile (line 1, flag 1) would have left no line selected.
    EXPECT_EQ(g_nSoundCaptureIndex, 0);
    EXPECT_EQ(g_nCapturePinIndex, 0);
    EXPECT_EQ(g_nSearchFlag, 1);
    EXPECT_EQ(ItemText(dlg.m_hWnd, IDC_OUTPUT_PATH), env_->home + "/Music/");
    g_nSoundCaptureIndex = 5;
    dlg.PostMessage(WM_CLOSE);
    PumpPendingMessages();
  });
  EXPECT_EQ(StoredInt(appName_, "nSoundCaptureIndex"), 5u);
  EXPECT_EQ(app_->GetSettingInt("Option", "nSoundCaptureIndex", -1), 5);
  EXPECT_EQ(StoredInt("vorlinta", "nSoundCaptureIndex"), 1u)
      << "the shipped name's profile is left alone";
  EXPECT_EQ(StoredInt("VORLINTA", "nSoundCaptureIndex"), 1u) << "key names compare without case";
  EXPECT_EQ(StoredString("vorlinta", "last_output_folder"), "/srv/shipped/");

  // The application object's profile operations use the same key.
  EXPECT_EQ(app_->GetSettingInt("Option", "absent", -1), -1);
  EXPECT_STREQ(app_->GetSettingString("Option", "LastPhotoFolder", "none"), "none");
  EXPECT_TRUE(app_->SetSettingString("Option", "LastPhotoFolder", "/songs/"));
  EXPECT_TRUE(app_->SetSettingInt("Option", "b_only_once", 1));
  EXPECT_EQ(StoredString(appName_, "LastPhotoFolder"), "/songs/");
  EXPECT_EQ(StoredInt(appName_, "b_only_once"), 1u);
  EXPECT_STREQ(app_->GetSettingString("Option", "LastPhotoFolder", "none"), "/songs/");
  EXPECT_EQ(StoredString("vorlinta", "LastPhotoFolder"), std::nullopt);
}

}  // namespace
