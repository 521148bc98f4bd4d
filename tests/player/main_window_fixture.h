// Runs the real program's main window headless, inside the application
// object's modal run, with a private home, settings, runtime folder and sound
// server, and answers its dialogs through the window layer's seam.
#pragma once

#include "app/converter_app.h"
#include "platform/win/gui.h"
#include "platform/win/window_internal.h"
#include "player/preview_player.h"
#include "tests/player/player_test_support.h"
#include "tests/support/private_pulse.h"
#include "ui/converter_dlg.h"
#include "tests/support/private_home.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace player_test {

class MainWindowFixture : public quavix::test::PrivatePulseTest {
 protected:
  void SetUp() override {
    env_.emplace();
    env_->MakeMusicFolder();
    music_ = env_->home + "/Music/";
    PrivatePulseTest::SetUp();
    app_ = ConverterApp();
    char exe[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    app_->SetNamesFromExecutable(exe);
    previousSeam_ = SetUiSeamForTest([this](const UiRequest &r) { return Answer(r); });
  }

  void TearDown() override {
    SetUiSeamForTest(previousSeam_);
    PrivatePulseTest::TearDown();
    env_.reset();
  }

  UiAnswer Answer(const UiRequest &request) {
    UiAnswer answer;
    switch (request.kind) {
      case UiRequestKind::MessageBox:
        boxes_.push_back(request);
        // A question (replace the output?) is answered as a person going on
        // would, unless the test queued its own answers.
        answer.button = (request.type & 0xF) == MB_YESNO ? IDYES : IDOK;
        if (!boxAnswers_.empty()) {
          answer.button = boxAnswers_.front();
          boxAnswers_.pop_front();
        }
        break;
      case UiRequestKind::OpenFile:
      case UiRequestKind::SaveFile:
        fileDialogs_.push_back(request);
        if (fileAnswers_.empty()) {
          answer.cancel = true;
        } else {
          answer.path = fileAnswers_.front();
          fileAnswers_.pop_front();
        }
        break;
      case UiRequestKind::ModalDialog:
        if (request.dialogId == IDD_CONVERTER_DIALOG && drive_) {
          auto drive = std::move(drive_);
          drive_ = nullptr;
          CConverterDlg &dlg = *static_cast<CConverterDlg *>(app_->m_pMainWnd);
          HWND h = dlg.m_hWnd;
          drive(dlg);
          // A driver that stopped at a failed assertion still ends the
          // program; after an exit this message finds no window.
          PostMessageA(h, WM_CLOSE, 0, 0);
        }
        break;
    }
    return answer;
  }

  // Runs the program; `drive` acts inside the main window's modal loop and
  // must end it (ExitProgram).
  void RunProgram(std::function<void(CConverterDlg &)> drive) {
    drive_ = std::move(drive);
    app_->InitInstance();
  }

  void Click(HWND dlg, int id) {
    QTest::mouseClick(quavix::win::WidgetOf(GetDlgItem(dlg, id)), Qt::LeftButton);
  }

  // Open through the real button and the open dialog answered with `path`.
  void OpenSong(CConverterDlg &dlg, const std::string &path) {
    fileAnswers_.push_back(path);
    Click(dlg.m_hWnd, IDC_OPEN);
  }

  void ExitProgram(CConverterDlg &dlg) { Click(dlg.m_hWnd, IDC_EXIT); }

  static std::string ItemText(HWND dlg, int id) { return WindowText(GetDlgItem(dlg, id)); }
  static bool Enabled(HWND dlg, int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE; }

  std::optional<quavix::test::PrivateHome> env_;
  std::string music_;
  CConverterApp *app_ = nullptr;
  UiSeamHandler previousSeam_;
  std::function<void(CConverterDlg &)> drive_;
  std::deque<std::string> fileAnswers_;
  std::deque<int> boxAnswers_;
  std::vector<UiRequest> boxes_;
  std::vector<UiRequest> fileDialogs_;
};

}  // namespace player_test
