// The application object and the program's entry.
#include "platform/afx/afxapp.h"

#include "platform/afx/afximpl.h"

#include <QApplication>
#include <QEvent>

#include <climits>
#include <cstdio>
#include <unistd.h>

namespace {

CWinApp *g_app = nullptr;

// The one module of this program; resources come from the program itself.
HINSTANCE const kInstance = reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(0x00400000));

std::string ExecutablePath(const char *argv0) {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n > 0) return std::string(buffer, static_cast<std::size_t>(n));
  return argv0 ? argv0 : "";
}

}  // namespace

void AfxReleaseTemporaries() {
  AfxReleaseTemporaryWindows();
  AfxReleaseTemporaryMenus();
  AfxReleaseTemporaryDcs();
}

CWinApp::CWinApp(LPCSTR lpszAppName) {
  // Normally the only one; a second one (a test's) stands in while it lives.
  m_pPreviousApp = g_app;
  g_app = this;
  m_hInstance = kInstance;
  if (lpszAppName != nullptr) {
    m_strAppName = lpszAppName;
    m_pszAppName = m_strAppName.c_str();
  }
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = m_pPreviousApp;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::Run() {
  m_nQuitCode = RunMessageLoop();
  return ExitInstance();
}

int CWinApp::ExitInstance() {
  int code = 0;
  if (TakeQuitMessage(&code)) m_nQuitCode = code;
  return m_nQuitCode;
}

void CWinApp::SetNamesFromExecutable(const std::string &exePath) {
  std::size_t slash = exePath.rfind('/');
  std::string base = slash == std::string::npos ? exePath : exePath.substr(slash + 1);
  std::size_t dot = base.rfind('.');
  std::string stem = (dot == std::string::npos || dot == 0) ? base : base.substr(0, dot);
  if (m_pszAppName == nullptr) {
    m_strAppName = stem;
    m_pszAppName = m_strAppName.c_str();
  }
  m_strExeName = stem;
  m_pszExeName = m_strExeName.c_str();
  std::string withoutExtension = exePath.substr(0, exePath.size() - (base.size() - stem.size()));
  m_strHelpFilePath = withoutExtension + ".HLP";
  m_pszHelpFilePath = m_strHelpFilePath.c_str();
}

void CWinApp::SetRegistryKey(LPCSTR lpszRegistryKey) {
  m_strRegistryKey = lpszRegistryKey ? lpszRegistryKey : "";
  m_pszRegistryKey = m_strRegistryKey.c_str();
  m_strProfileName = m_pszAppName ? m_pszAppName : "";
  m_pszProfileName = m_strProfileName.c_str();
}

HICON CWinApp::LoadIcon(UINT nIDResource) const {
  return ::LoadIconA(m_hInstance, MAKEINTRESOURCEA(static_cast<WORD>(nIDResource)));
}
HICON CWinApp::LoadIcon(LPCSTR lpszResourceName) const {
  return ::LoadIconA(m_hInstance, lpszResourceName);
}
HICON CWinApp::LoadStandardIcon(LPCSTR lpszIconName) const {
  return ::LoadIconA(nullptr, lpszIconName);
}

CWinApp *AfxGetApp() { return g_app; }
CWnd *AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }
HINSTANCE AfxGetInstanceHandle() { return kInstance; }
HINSTANCE AfxGetResourceHandle() { return kInstance; }
void AfxEnableControlContainer() {}

int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT) {
  CWnd *main = AfxGetMainWnd();
  LPCSTR caption = (g_app && g_app->m_pszAppName) ? g_app->m_pszAppName : "Error";
  return ::MessageBoxA(main ? main->m_hWnd : nullptr, lpszText, caption, nType);
}

int AfxWinMain(int argc, char **argv) {
  CWinApp *app = AfxGetApp();
  if (app == nullptr) {
    std::fprintf(stderr, "The program has no application object.\n");
    return 1;
  }
  app->SetNamesFromExecutable(ExecutablePath(argc > 0 ? argv[0] : nullptr));
  static int qtArgc;
  qtArgc = argc;
  int code = 0;
  {
    QApplication qtApp(qtArgc, argv);
    // The program ends when its code says so, never because a window closed.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QString::fromUtf8(app->m_pszAppName));
    QGuiApplication::setDesktopFileName(QStringLiteral("quavix"));
    InstallWindowMessagePoster();
    if (!app->InitInstance()) {
      if (app->m_pMainWnd != nullptr && app->m_pMainWnd->m_hWnd != nullptr)
        app->m_pMainWnd->DestroyWindow();
      code = app->ExitInstance();
    } else {
      code = app->Run();
    }
    AfxReleaseTemporaries();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  return code;
}
