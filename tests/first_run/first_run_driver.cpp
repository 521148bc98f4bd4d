// Stands in for a person at the first run: runs the real program's window
// headless, opens the song named on the command line through the open
// dialog, presses Convert and waits until the run has ended by itself.
// Started by the launcher of `make run`, so it meets whatever sound server
// the launcher found or started. Prints the output path; exits 0 when the
// run ended with "Status : Ready" and no message box was shown.
#include "app/converter_app.h"
#include "platform/win/gui.h"
#include "platform/win/window_internal.h"
#include "tests/player/player_test_support.h"
#include "ui/converter_dlg.h"

#include <QApplication>
#include <QTest>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string ItemText(HWND dlg, int id) { return player_test::WindowText(GetDlgItem(dlg, id)); }

void Click(HWND dlg, int id) {
  QTest::mouseClick(quavix::win::WidgetOf(GetDlgItem(dlg, id)), Qt::LeftButton);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SONG SECONDS-TO-WAIT\n", argv[0]);
    return 2;
  }
  const std::string song = argv[1];
  const int waitMs = std::stoi(argv[2]) * 1000;
  QApplication qapp(argc, argv);

  CConverterApp *app = ConverterApp();
  char exe[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  app->SetNamesFromExecutable(exe);

  std::vector<std::string> boxes;
  bool ready = false, openAnswered = false;
  std::string output;
  SetUiSeamForTest([&](const UiRequest &r) {
    UiAnswer answer;
    switch (r.kind) {
      case UiRequestKind::MessageBox:
        boxes.push_back(r.text);
        answer.button = IDOK;
        break;
      case UiRequestKind::OpenFile:
        answer.path = song;
        openAnswered = true;
        break;
      case UiRequestKind::SaveFile: answer.cancel = true; break;
      case UiRequestKind::ModalDialog:
        if (r.dialogId == IDD_CONVERTER_DIALOG) {
          HWND h = app->m_pMainWnd->m_hWnd;
          Click(h, IDC_OPEN);
          output = ItemText(h, IDC_OUTPUT_PATH);
          if (IsWindowEnabled(GetDlgItem(h, IDC_CONVERT))) {
            Click(h, IDC_CONVERT);
            player_test::PumpFor(1500);
            ready = player_test::PumpUntil(
                [&] { return ItemText(h, IDC_STATUS) == "Status : Ready"; }, waitMs);
          }
          Click(h, IDC_EXIT);
        }
        break;
    }
    return answer;
  });
  app->InitInstance();

  std::printf("output: %s\n", output.c_str());
  for (const std::string &text : boxes) std::printf("message box: %s\n", text.c_str());
  if (!openAnswered) std::printf("the open dialog was never shown\n");
  std::printf("run ended: %s\n", ready ? "yes" : "no");
  return ready && boxes.empty() ? 0 : 1;
}
