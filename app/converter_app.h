// The application object: sets up the profile and the shared button faces,
// runs the main window modally, and offers the profile operations that every
// part of the program reaches through it.
#pragma once

#include "platform/afx/afxwin.h"

#include <string>

class CPreviewPlayer;

// The input choice: capture device, input line, and whether the loop-back
// line was found by name. Read at start-up, saved when the main window closes.
extern int g_nSoundCaptureIndex;
extern int g_nCapturePinIndex;
extern int g_nSearchFlag;
// Capture devices found by the last listing.
extern int g_nDeviceCount;
// The one preview player, null while no song is open.
extern CPreviewPlayer *g_pPlayer;

// Faces and colours that every rounded button copies when it is made.
extern CBitmap *g_pbmpButtonDown;
extern CBitmap *g_pbmpButtonUp;
extern COLORREF g_crButtonLight;
extern COLORREF g_crButtonShadow;
extern COLORREF g_crButtonGrayText;
extern COLORREF g_crButtonText;

class CConverterApp : public CWinApp {
 public:
  CConverterApp();
  ~CConverterApp() override;

  BOOL InitInstance() override;

  // The profile lives under HKEY_CURRENT_USER\Software\<maker>\<application
  // name>\<section>; the application name is the executable's base name.
  int GetSettingInt(LPCSTR pszSection, LPCSTR pszEntry, int nDefault);
  CString GetSettingString(LPCSTR pszSection, LPCSTR pszEntry, LPCSTR pszDefault);
  BOOL SetSettingInt(LPCSTR pszSection, LPCSTR pszEntry, int nValue);
  BOOL SetSettingString(LPCSTR pszSection, LPCSTR pszEntry, LPCSTR pszValue);

  // The song named on the command line, opened by the main window once it
  // is up as if chosen with Open. Taking it leaves none behind.
  void SetStartSong(const std::string &path) { m_strStartSong = path; }
  std::string TakeStartSong() {
    std::string path;
    path.swap(m_strStartSong);
    return path;
  }

 private:
  CBitmap m_bmpButtonDown;
  CBitmap m_bmpButtonUp;
  std::string m_strStartSong;
};

// The one application object.
CConverterApp *ConverterApp();
