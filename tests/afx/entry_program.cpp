// A tiny program on the framework, run by entry_test.cpp in a process of its
// own: AfxWinMain makes the toolkit application, so it cannot run inside a
// test process that has one already. What it does depends on its argument:
//   names      prints the names taken from the executable and exits 0
//   dialog-ok  runs a dialog modally that ends itself with OK; InitInstance
//              returns FALSE; prints the result
//   dialog-quit  the dialog posts a quit (code 7) during its initialisation
//   loop-quit  InitInstance returns TRUE; a timer posts a quit with code 3
#include "platform/afx/afxwin.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const DialogTemplate kEntryDialog{
    960,
    "Entry",
    "MS Shell Dlg",
    8,
    100,
    40,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    0,
    {{IDOK, kButtonClass, "OK", 7, 7, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP, 0}},
};

class CEntryDlg : public CDialog {
 public:
  explicit CEntryDlg(bool quit) : quit_(quit) { InitModalIndirect(&kEntryDialog); }

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (quit_)
      PostQuitMessage(7);
    else
      PostMessage(WM_COMMAND, IDOK, 0);  // as if OK were pressed once the loop runs
    return TRUE;
  }

 private:
  bool quit_;
};

void QuitTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  PostQuitMessage(3);
}

class CEntryApp : public CWinApp {
 public:
  BOOL InitInstance() override {
    std::string mode = mode_;
    if (mode == "names") {
      SetRegistryKey("ZORVEKA");
      std::printf("app=%s exe=%s profile=%s key=%s\n", m_pszAppName, m_pszExeName, m_pszProfileName,
                  m_pszRegistryKey);
      return FALSE;
    }
    if (mode == "dialog-ok" || mode == "dialog-quit") {
      CEntryDlg dlg(mode == "dialog-quit");
      m_pMainWnd = &dlg;
      INT_PTR result = dlg.DoModal();
      m_pMainWnd = nullptr;
      std::printf("result=%d\n", static_cast<int>(result));
      return FALSE;
    }
    if (mode == "loop-quit") {
      SetTimer(nullptr, 0, 20, &QuitTimerProc);
      return TRUE;
    }
    return FALSE;
  }
  const char *mode_ = "";
};

CEntryApp theApp;

}  // namespace

int main(int argc, char **argv) {
  if (argc > 1) theApp.mode_ = argv[1];
  int code = AfxWinMain(argc, argv);
  std::fflush(stdout);
  return code;
}
