// CWinApp: the one application object. AfxWinMain, called by main(), names
// the application after the executable, creates the window system's
// application, runs InitInstance and, when that returns TRUE, the message
// loop; it returns the program's exit code.
#pragma once

#include "platform/afx/afxwnd.h"

#include <string>

class CWinApp {
 public:
  explicit CWinApp(LPCSTR lpszAppName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp &) = delete;
  CWinApp &operator=(const CWinApp &) = delete;

  virtual BOOL InitInstance();
  // The message loop, until a quit; returns ExitInstance().
  virtual int Run();
  // Returns the exit code: the code of the quit request that ended the
  // program, else 0.
  virtual int ExitInstance();

  // Keeps the maker key; the profile is then named after the application:
  // HKEY_CURRENT_USER\Software\<key>\<m_pszProfileName>.
  void SetRegistryKey(LPCSTR lpszRegistryKey);
  HICON LoadIcon(UINT nIDResource) const;
  HICON LoadIcon(LPCSTR lpszResourceName) const;
  HICON LoadStandardIcon(LPCSTR lpszIconName) const;

  CWnd *m_pMainWnd = nullptr;
  HINSTANCE m_hInstance = nullptr;
  LPCSTR m_pszAppName = nullptr;  // the executable's base name without extension
  LPCSTR m_pszExeName = nullptr;  // the same
  LPCSTR m_pszHelpFilePath =
      nullptr;  // the executable's full path with ".HLP" in place of its extension
  LPCSTR m_pszRegistryKey = nullptr;
  LPCSTR m_pszProfileName = nullptr;

  // Sets the names from the executable's path (AfxWinMain does this).
  void SetNamesFromExecutable(const std::string &exePath);

 private:
  std::string m_strAppName;
  std::string m_strExeName;
  std::string m_strHelpFilePath;
  std::string m_strRegistryKey;
  std::string m_strProfileName;
  int m_nQuitCode = 0;
  CWinApp *m_pPreviousApp = nullptr;
};

CWinApp *AfxGetApp();
CWnd *AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
// Controls are all built in; nothing to enable.
void AfxEnableControlContainer();
int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);

// The program's entry: see CWinApp.
int AfxWinMain(int argc, char **argv);
