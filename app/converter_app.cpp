#include "app/converter_app.h"

#include "res/resource.h"
#include "settings/profile.h"
#include "ui/converter_dlg.h"

int g_nSoundCaptureIndex = 0;
int g_nCapturePinIndex = 0;
int g_nSearchFlag = 0;
int g_nDeviceCount = 0;
CPreviewPlayer *g_pPlayer = nullptr;

CBitmap *g_pbmpButtonDown = nullptr;
CBitmap *g_pbmpButtonUp = nullptr;
COLORREF g_crButtonLight = RGB(255, 255, 255);
COLORREF g_crButtonShadow = RGB(96, 96, 96);
COLORREF g_crButtonGrayText = RGB(128, 128, 128);
COLORREF g_crButtonText = RGB(0, 0, 0);

namespace {
CConverterApp theApp;
}  // namespace

CConverterApp *ConverterApp() { return &theApp; }

CConverterApp::CConverterApp() = default;

CConverterApp::~CConverterApp() {
  // The buttons only borrow the faces; nothing may reach them once they go.
  g_pbmpButtonDown = nullptr;
  g_pbmpButtonUp = nullptr;
}

BOOL CConverterApp::InitInstance() {
  AfxEnableControlContainer();
  SetRegistryKey(kProfileMakerKey);

  m_bmpButtonDown.LoadBitmap(IDB_BUTTON_FACE);
  m_bmpButtonUp.LoadBitmap(IDB_BUTTON_FACE);
  g_pbmpButtonDown = &m_bmpButtonDown;
  g_pbmpButtonUp = &m_bmpButtonUp;
  g_crButtonLight = 0xFFFFFF;
  g_crButtonShadow = 0x606060;
  g_crButtonGrayText = 0x808080;
  g_crButtonText = 0x000000;

  {
    CConverterDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    // The dialog is gone when this block ends; leave no pointer to it behind.
    m_pMainWnd = nullptr;
  }
  // The modal run was the program: end without a message loop of our own.
  return FALSE;
}

int CConverterApp::GetSettingInt(LPCSTR pszSection, LPCSTR pszEntry, int nDefault) {
  return ProfileGetInt(m_pszRegistryKey, m_pszProfileName, pszSection, pszEntry, nDefault);
}

CString CConverterApp::GetSettingString(LPCSTR pszSection, LPCSTR pszEntry, LPCSTR pszDefault) {
  return CString(
      ProfileGetString(m_pszRegistryKey, m_pszProfileName, pszSection, pszEntry, pszDefault)
          .c_str());
}

BOOL CConverterApp::SetSettingInt(LPCSTR pszSection, LPCSTR pszEntry, int nValue) {
  return ProfileSetInt(m_pszRegistryKey, m_pszProfileName, pszSection, pszEntry, nValue);
}

BOOL CConverterApp::SetSettingString(LPCSTR pszSection, LPCSTR pszEntry, LPCSTR pszValue) {
  return ProfileSetString(m_pszRegistryKey, m_pszProfileName, pszSection, pszEntry, pszValue);
}
