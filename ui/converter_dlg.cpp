#include "ui/converter_dlg.h"

#include "app/converter_app.h"
#include "platform/com/combase.h"
#include "platform/dshow/control.h"
#include "platform/win/shell.h"
#include "platform/win/system.h"
#include "settings/paths.h"
#include "ui/about_dlg.h"
#include "ui/home_folder.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr LPCSTR kOptionSection = "Option";

using PFNSHGETFOLDERPATHA = HRESULT (*)(HWND, int, HANDLE, DWORD, LPSTR);

}  // namespace

CConverterDlg::CConverterDlg() : CDialog(CConverterDlg::IDD, nullptr) {
  m_strOutputPath = "";
  m_hIcon = AfxGetApp()->LoadIcon(IDI_QUAVIX);
  m_nElapsed = 0;
  m_bConverting = 0;
  m_llDuration = 0;
  m_nDurationSec = 0;
  m_szMidiPath[0] = 0;
  m_hInstance = AfxGetInstanceHandle();
  g_pPlayer = nullptr;
  m_nOutputWave = 0;
}

CConverterDlg::~CConverterDlg() = default;

void CConverterDlg::DoDataExchange(CDataExchange *pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_OUTPUT_LABEL, m_lblOutput);
  DDX_Control(pDX, IDC_MAX_LABEL, m_lblMax);
  DDX_Control(pDX, IDC_VOLUME_LABEL, m_lblVolume);
  DDX_Control(pDX, IDC_DEVICE_TAG, m_lblDeviceTag);
  DDX_Control(pDX, IDC_INPUT_TAG, m_lblInputTag);
  DDX_Control(pDX, IDC_BROWSE, m_btnBrowse);
  DDX_Control(pDX, IDC_ABOUT, m_btnAbout);
  DDX_Control(pDX, IDC_HELP_BTN, m_btnHelp);
  DDX_Text(pDX, IDC_OUTPUT_PATH, m_strOutputPath);
  DDX_Control(pDX, IDC_VOLUME, m_sliderVolume);
  DDX_Control(pDX, IDC_STATUS, m_stStatus);
  DDX_Control(pDX, IDC_OPEN, m_btnOpen);
  DDX_Control(pDX, IDC_STOP, m_btnStop);
  DDX_Control(pDX, IDC_PLAY, m_btnPlay);
  DDX_Control(pDX, IDC_CONVERT, m_btnConvert);
  DDX_Control(pDX, IDC_DEVICE_LIST, m_cbDeviceList);
  DDX_Control(pDX, IDC_INPUT_LIST, m_cbInputList);
  DDX_Control(pDX, IDC_OUTPUT_PATH, m_editOutputPath);
  DDX_Control(pDX, IDC_EXIT, m_btnExit);
}

BEGIN_MESSAGE_MAP(CConverterDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_CLOSE()
ON_WM_DESTROY()
ON_WM_TIMER()
ON_CBN_SELCHANGE(IDC_DEVICE_LIST, &CConverterDlg::OnSelchangeDeviceList)
ON_CBN_SELCHANGE(IDC_INPUT_LIST, &CConverterDlg::OnSelchangeInputList)
ON_NOTIFY(NM_RELEASEDCAPTURE, IDC_VOLUME, &CConverterDlg::OnReleasedcaptureVolume)
ON_BN_CLICKED(IDC_CONVERT, &CConverterDlg::OnConvert)
ON_BN_CLICKED(IDC_STOP, &CConverterDlg::OnStop)
ON_BN_CLICKED(IDC_OPEN, &CConverterDlg::OnOpen)
ON_BN_CLICKED(IDC_PLAY, &CConverterDlg::OnPlay)
ON_BN_CLICKED(IDC_BROWSE, &CConverterDlg::OnBrowse)
ON_BN_CLICKED(IDC_HELP_BTN, &CConverterDlg::OnHelpButton)
ON_BN_CLICKED(IDC_ABOUT, &CConverterDlg::OnAbout)
ON_BN_CLICKED(IDC_CLOSE_BTN, &CConverterDlg::OnCloseMedia)
ON_BN_CLICKED(IDC_EXIT, &CConverterDlg::OnExit)
END_MESSAGE_MAP()

LRESULT CConverterDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PLAYER_TICK) {
    // A tick that outlived its player: the caption's song name is stale.
    if (g_pPlayer == nullptr) SetWindowText("");
  } else if (message == WM_CAPTURE_NOTIFY) {
    if (lParam == 0) HandleCaptureGraphEvents();
  } else if (message == WM_OPEN_START_SONG) {
    const std::string strSong = ConverterApp()->TakeStartSong();
    if (!strSong.empty()) OpenSong(strSong.c_str());
    return 0;
  } else if (message == WM_PLAYER_FAILED) {
    OnPlayerFailed(static_cast<HRESULT>(static_cast<DWORD>(wParam)));
  }
  return CDialog::WindowProc(message, wParam, lParam);
}

BOOL CConverterDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  if (CMenu *pSysMenu = GetSystemMenu(FALSE)) {
    CString strAboutMenu;
    strAboutMenu.LoadString(IDS_ABOUTBOX);
    if (!strAboutMenu.IsEmpty()) {
      pSysMenu->AppendMenu(MF_SEPARATOR);
      pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu);
    }
  }

  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  m_osvi.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  if (!GetVersionExA(&m_osvi)) MessageBox("Can get Windows Version", "Error", MB_OK);

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  CConverterApp *app = ConverterApp();
  g_nDeviceCount = 0;
  g_nSoundCaptureIndex = app->GetSettingInt(kOptionSection, "nSoundCaptureIndex", 0);
  g_nCapturePinIndex = app->GetSettingInt(kOptionSection, "nCapturePinIndex", 0);
  g_nSearchFlag = app->GetSettingInt(kOptionSection, "nSearchFlag", 0);

  m_sliderVolume.SetRange(0, 200, FALSE);
  m_sliderVolume.SetPos(200);

  m_strOutputFolder = GetProfileFolderString(kOptionSection, "last_output_folder",
                                             HomeFolderFallback().c_str(), CSIDL_MYMUSIC);
  m_editOutputPath.SetWindowText(m_strOutputFolder);
  m_strOutputPath = m_strOutputFolder;

  // Keeps the input-selection hint away while the lists are first filled.
  m_bOnlyOnce = 1;
  ResetGraphPointers();

  if (FAILED(BuildCaptureGraph()) || FAILED(EnumerateAudioCaptureDevices())) {
    ReleaseDeviceList();
    m_cbInputList.ResetContent();
    RemoveWriterChain();
    ReleaseCaptureGraph();
    PostQuitMessage(0);
  }

  m_bOnlyOnce = app->GetSettingInt(kOptionSection, "b_only_once", 0);

  if (g_nDeviceCount <= 1) GetDlgItem(IDC_DEVICE_TAG)->ShowWindow(SW_HIDE);
  GetDlgItem(IDC_INPUT_TAG)->ShowWindow(SW_HIDE);
  GetDlgItem(IDC_CLOSE_BTN)->ShowWindow(SW_HIDE);
  DisableMediaControls();
  GetDlgItem(IDC_ABOUT)->ShowWindow(SW_HIDE);

  // The recording's temporary file. A folder too long for the file name is
  // refused rather than cut: a cut path would write somewhere else.
  char szTempPath[MAX_PATH];
  DWORD nTemp = GetTempPathA(MAX_PATH, szTempPath);
  m_szTempWavPath[0] = 0;
  if (nTemp > 0 && nTemp < MAX_PATH) {
    int n = std::snprintf(m_szTempWavPath, MAX_PATH, "%skqzttemp.wav", szTempPath);
    if (n < 0 || n >= MAX_PATH) {
      m_szTempWavPath[0] = 0;
      CString strMessage;
      strMessage.Format(
          "The temporary folder %s is too long to hold the recording's temporary file.",
          szTempPath);
      MessageBox(strMessage, "Error", MB_OK);
    }
  }

  if (g_nSearchFlag == 1 && g_nDeviceCount <= 1) GetDlgItem(IDC_INPUT_LIST)->ShowWindow(SW_HIDE);
  // A song named on the command line opens once the window is up, so that
  // its error box, if any, has the window to stand on.
  PostMessage(WM_OPEN_START_SONG, 0, 0);
  return TRUE;
}

CString CConverterDlg::GetProfileFolderString(LPCSTR pszSection, LPCSTR pszKey, LPCSTR pszFallback,
                                              int nFolder) {
  CConverterApp *app = ConverterApp();
  if (m_osvi.dwMajorVersion < 6u) return app->GetSettingString(pszSection, pszKey, pszFallback);

  CString strDefault = pszFallback;
  HMODULE hShell = LoadLibraryA("shell32.dll");
  PFNSHGETFOLDERPATHA pfnGetFolderPath =
      hShell ? reinterpret_cast<PFNSHGETFOLDERPATHA>(GetProcAddress(hShell, "SHGetFolderPathA"))
             : nullptr;
  if (pfnGetFolderPath == nullptr) {
    MessageBox("Can not get SHGetFolderPathA!", "Error", MB_OK);
  } else {
    char szFolder[MAX_PATH] = "";
    // Many desktops have no music folder; that is no error to report at every
    // start: the stored folder, else the fallback, serves.
    if (pfnGetFolderPath(m_hWnd, nFolder, nullptr, SHGFP_TYPE_CURRENT, szFolder) == S_OK) {
      strDefault = szFolder;
      strDefault += GetPathTail(pszFallback).c_str();
    }
  }
  if (hShell) FreeLibrary(hShell);
  return app->GetSettingString(pszSection, pszKey, strDefault);
}

void CConverterDlg::EnableControls(BOOL bEnable) {
  for (int id : {IDC_CONVERT, IDC_STOP, IDC_PLAY, IDC_OPEN, IDC_OUTPUT_PATH, IDC_BROWSE,
                 IDC_INPUT_LIST, IDC_DEVICE_LIST})
    GetDlgItem(id)->EnableWindow(bEnable);
}

void CConverterDlg::DisableMediaControls() {
  for (int id : {IDC_CONVERT, IDC_STOP, IDC_OUTPUT_PATH, IDC_BROWSE, IDC_PLAY})
    GetDlgItem(id)->EnableWindow(FALSE);
}

void CConverterDlg::OnExit() { PostMessage(WM_CLOSE, 0, 0); }

void CConverterDlg::OnSysCommand(UINT nID, LPARAM lParam) {
  if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg dlgAbout;
    dlgAbout.DoModal();
  } else {
    CDialog::OnSysCommand(nID, lParam);
  }
}

void CConverterDlg::OnPaint() {
  if (IsIconic()) {
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    int cxIcon = GetSystemMetrics(SM_CXICON);
    int cyIcon = GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(&rect);
    int x = (rect.Width() - cxIcon + 1) / 2;
    int y = (rect.Height() - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
  } else {
    CDialog::OnPaint();
  }
}

HCURSOR CConverterDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CConverterDlg::OnClose() {
  if (m_pMC) m_pMC->Stop();
  ReleaseDeviceList();
  m_cbInputList.ResetContent();
  RemoveWriterChain();
  ReleaseCaptureGraph();
  DiscardPlayer();
  CoUninitialize();

  CConverterApp *app = ConverterApp();
  app->SetSettingInt(kOptionSection, "nSoundCaptureIndex", g_nSoundCaptureIndex);
  app->SetSettingInt(kOptionSection, "nCapturePinIndex", g_nCapturePinIndex);
  app->SetSettingInt(kOptionSection, "nSearchFlag", g_nSearchFlag);
  UpdateData(TRUE);
  app->SetSettingString(kOptionSection, "last_output_folder", m_strOutputFolder);

  // Not the dialog's default close, which ends through Cancel: Cancel is
  // what Esc sends, and Esc does not close this window.
  EndDialog(IDCANCEL);
}

void CConverterDlg::OnOK() {}

void CConverterDlg::OnCancel() {}

void CConverterDlg::OnDestroy() {
  ReleaseDeviceList();
  m_cbInputList.ResetContent();
  RemoveWriterChain();
  ReleaseCaptureGraph();
  CDialog::OnDestroy();
}
