// The program's main window run for real, headless: the application object's
// InitInstance runs the dialog modally and the test acts inside that modal
// loop through the window layer's seam, which also answers and records
// message boxes and file dialogs. Each test has a private home, settings and
// runtime folder (PrivateHome) and a private sound server.
#pragma once

#include "app/converter_app.h"
#include "platform/win/ui_seam.h"
#include "tests/support/private_home.h"
#include "tests/support/private_pulse.h"
#include "tests/support/window_text.h"
#include "ui/converter_dlg.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quavix::test {

class MainWindowFixture : public PrivatePulseTest {
 protected:
  // False: no sound server at all for this test (Sinks() says which null
  // outputs it has otherwise; the first is the default).
  virtual bool WantServer() const { return true; }
  // False: $HOME/Music is not made before the test.
  virtual bool WantMusicFolder() const { return true; }

  void SetUp() override;
  void TearDown() override;

  // The seam's answers. Message boxes: recorded in boxes_, answered from
  // boxAnswers_, else as a person going on would (Yes to a question, OK
  // otherwise). File dialogs: recorded in fileDialogs_, answered from
  // fileAnswers_, else cancelled. Modal dialogs: recorded in dialogsShown_,
  // driven by drivers_[id]; OtherDialog gets the rest.
  virtual UiAnswer Answer(const UiRequest &request);
  virtual void OtherDialog(const UiRequest &) {}

  CConverterDlg &MainDialog() { return *static_cast<CConverterDlg *>(app_->m_pMainWnd); }
  // Starts the program as the desktop does; `drive` acts in the main
  // window's modal run each time it is shown and ends it (ExitProgram).
  BOOL StartProgram(std::function<void(CConverterDlg &)> drive);
  // Runs the program; `drive` acts in the first run of the main window. A
  // driver that stopped at a failed assertion still ends the program.
  void RunProgram(std::function<void(CConverterDlg &)> drive);
  // Runs a main window of its own without the program's start-up (the
  // application object is not initialised again); `drive` acts in it each
  // time it is shown and ends it.
  INT_PTR RunMainWindowAlone(std::function<void(CConverterDlg &)> drive);

  // What a window or a dialog's control shows.
  static std::string WindowText(HWND hwnd) { return quavix::test::WindowText(hwnd); }
  static std::string ItemText(HWND dlg, int id) { return WindowText(GetDlgItem(dlg, id)); }
  static bool Enabled(HWND dlg, int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE; }
  static bool Visible(HWND dlg, int id) { return IsWindowVisible(GetDlgItem(dlg, id)) != FALSE; }

  static void Click(HWND dlg, int id);
  // Opens through the real button and the open dialog answered with `path`.
  void OpenSong(CConverterDlg &dlg, const std::string &path);
  void ExitProgram(CConverterDlg &dlg) { Click(dlg.m_hWnd, IDC_EXIT); }
  // Opens `song`, converts it for `ms` and stops, as a person would. When the
  // output is there from an earlier run, the question whether to replace it
  // is the one box shown (answered Yes) and is cleared. Fails fatally unless
  // the run started and the window is ready again.
  void ConvertAndStop(CConverterDlg &dlg, const std::string &song, bool outputExists, int ms);
  // Message boxes shown so far with this text; the last one, or null.
  int BoxesWithText(const std::string &text) const;
  const UiRequest *LastBoxWithText(const std::string &text) const;

  std::optional<PrivateHome> env_;
  std::string music_;  // the private music folder, with a slash at the end
  CConverterApp *app_ = nullptr;
  std::string appName_;  // the profile the program's settings are under
  UiSeamHandler previousSeam_;
  std::map<int, std::function<void(HWND)>> drivers_;
  std::deque<int> boxAnswers_;
  std::deque<std::string> fileAnswers_;
  std::vector<UiRequest> boxes_;
  std::vector<UiRequest> fileDialogs_;
  std::vector<int> dialogsShown_;
};

}  // namespace quavix::test
