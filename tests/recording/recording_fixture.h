// The program's main window run for real on a private sound server: the
// application object's InitInstance runs the dialog modally and the test acts
// inside that modal loop through the window layer's seam, which also answers
// and records message boxes. Home, settings and runtime folders are private.
#pragma once

#include "app/converter_app.h"
#include "platform/win/ui_seam.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/process_counts.h"
#include "tests/support/stored_settings.h"
#include "ui/converter_dlg.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace recording_test {

std::vector<std::string> ListTexts(CComboBox &list);

// Runs the event loop until pred holds or timeout_ms passed; returns pred().
bool WaitUntil(const std::function<bool()> &pred, int timeout_ms);
// Runs the event loop for ms.
void Pump(int ms);

// Default value of HKCU\Software\ZORVEKA\VORLINTA\<subkey>.
std::optional<std::string> HandOffValue(const char *subkey);
using quavix::test::StoredInt;

// What a written WMA (ASF) file says about itself.
struct AsfFacts {
  bool header = false;             // begins with the ASF header object
  std::uint64_t playDuration = 0;  // File Properties, 100 ns; 0 while unfinished
  bool broadcast = false;          // File Properties' broadcast flag
  bool simpleIndex = false;        // a Simple Index Object follows the data
};
AsfFacts ReadAsfFacts(const std::string &path);

// Decoded length in seconds (GStreamer), or -1.
double DecodedSeconds(const std::string &path);
// Frequency of the left channel over the middle of the decoded file, or -1.
double MiddleFrequency(const std::string &path);

using quavix::test::DescribeDescriptors;
using quavix::test::OpenDescriptors;
using quavix::test::ThreadCount;

class RecordingTest : public quavix::test::MainWindowFixture {
 protected:
  // Other dialogs (the input hint) are acknowledged as a person would.
  void OtherDialog(const UiRequest &request) override;

  // What Open leaves behind for a song: the controls of a run are usable.
  void AsIfASongWasOpened(CConverterDlg &dlg) { dlg.EnableControls(TRUE); }
  void SetOutputPath(CConverterDlg &dlg, const std::string &path);
  // Opens a stand-in song, sets the output path and presses Convert; true
  // once the run is going and its status line has counted `seconds` (at
  // most 15 s of waiting).
  bool ConvertUntil(CConverterDlg &dlg, const std::string &output, int seconds);
  // Plays a tone into `sink` and waits until it is heard on its loop-back.
  std::unique_ptr<quavix::test::ChildProcess> StartTone(const std::string &sink, double hz);

  std::vector<int> otherDialogs_;  // other modal dialogs shown
};

}  // namespace recording_test
