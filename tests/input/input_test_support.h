// Shared pieces of the input-line tests: the main window's input list and
// slider as real controls, on the shared main-window fixture.
#pragma once

#include <functional>
#include <string>

#include "tests/support/main_window_fixture.h"
#include "ui/converter_dlg.h"

namespace inputtest {

// Each test starts with no line searched for or chosen (g_nSearchFlag and
// g_nCapturePinIndex 0), in a private home; the dialogs it opens are
// answered by the fixture.
class InputControlsTest : public quavix::test::MainWindowFixture {
 protected:
  void SetUp() override;

  // Runs `body` with a main-window object whose input list and slider are
  // the real controls of the main window's template, shown in a plain host
  // dialog (so none of the window's start-up runs). The slider has the range
  // 0-200 at 200; m_bOnlyOnce is 1.
  void RunWithInputControls(const std::function<void(CConverterDlg &)> &body);

  // A capture filter whose lines are both outputs' monitors, B's first (the
  // fixture's outputs quavix_a and quavix_b); null on failure.
  IBaseFilter *TwoMonitorDevice();
};

// Puts the entries' texts in one string, "a|b|c", for readable checks.
std::string Entries(CComboBox &list);

}  // namespace inputtest
