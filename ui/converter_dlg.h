// The main window: a modal dialog that lives as long as the program runs.
// It owns the capture graph's interfaces and the input controls that the
// conversion run, the device list and the input lines act on.
#pragma once

#include "controls/transparent_label.h"
#include "platform/afx/afxwin.h"
#include "platform/dshow/dshow_types.h"
#include "platform/win/system.h"
#include "res/resource.h"

class IGraphBuilder;
class IMediaControl;
class IMediaEventEx;
class ICaptureGraphBuilder2;
class IBaseFilter;
class IPin;
class IEnumMoniker;
class IAMAudioInputMixer;

class CConverterDlg : public CDialog {
 public:
  enum { IDD = IDD_CONVERTER_DIALOG };

  CConverterDlg();
  ~CConverterDlg() override;

  // Enables or disables, together: Convert, Stop, Play, Open, the output
  // path, Browse, the input list and the device list.
  void EnableControls(BOOL bEnable);
  // Disables the controls that need an opened song: Convert, Stop, the
  // output path, Browse and Play.
  void DisableMediaControls();

  // The output folder at start-up: the stored value, else a default made of
  // the shell folder `nFolder` followed by the tail of `pszFallback`, or
  // `pszFallback` itself when the shell folder cannot be had.
  CString GetProfileFolderString(LPCSTR pszSection, LPCSTR pszKey, LPCSTR pszFallback, int nFolder);

  // Capture graph and writer chain (engine/).
  HRESULT BuildCaptureGraph();
  void ResetGraphPointers();
  void ReleaseCaptureGraph();
  HRESULT InsertWriterChain();
  HRESULT RemoveWriterChain();
  static HRESULT FindPin(IBaseFilter *pFilter, PIN_DIRECTION dir, int nIndex, IPin **ppPin);
  static void DebugTrace(const char *pszFormat, ...);
  // Length of the song at m_szMidiPath (engine/).
  BOOL MeasureMidiLength();
  // Capture devices and the capture graph's events (input/).
  HRESULT EnumerateAudioCaptureDevices();
  int FillDeviceList(IEnumMoniker *pEnum, CComboBox &list);
  void ReleaseDeviceList();
  void HandleCaptureGraphEvents();
  // Input lines and the recording level (input/).
  HRESULT FillInputLineList(IBaseFilter *pFilter, PIN_DIRECTION dir, CComboBox &list);
  HRESULT SelectInputLine();
  void ShowLineLevel(IAMAudioInputMixer *pMixer);
  HRESULT ApplyMixLevel(double dLevel);
  // TRUE when nothing is at pszPath, or the person agreed to replace it
  // (asked in a box titled pszCaption, unless the save dialog already asked).
  BOOL ConfirmReplaceOutput(LPCSTR pszPath, LPCSTR pszCaption);
  // The preview player's lifecycle (player/).
  int OpenPlayer(char *pszPath);
  // Unloads and deletes the preview player, if any, and repaints; returns 1.
  int DiscardPlayer();
  // The player could not play the song (WM_PLAYER_FAILED): a run ends, and
  // the person is told why.
  void OnPlayerFailed(HRESULT hr);

  // Handlers; public so that other parts of the program can run them directly.
  void OnConvert();
  void OnStop();
  void OnOpen();
  // Open's work once a path is chosen (in the open dialog or on the command
  // line): measure, caption, output path, player.
  void OpenSong(LPCSTR pszPath);
  void OnPlay();
  void OnBrowse();
  void OnHelpButton();
  void OnAbout();
  void OnCloseMedia();
  void OnExit();
  void OnSelchangeDeviceList();
  void OnSelchangeInputList();
  void OnReleasedcaptureVolume(NMHDR *pNMHDR, LRESULT *pResult);

 protected:
  void DoDataExchange(CDataExchange *pDX) override;
  BOOL OnInitDialog() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // A main window does not end on Enter or Esc: the dialog's OK and Cancel
  // do nothing here, and the window ends only through closing it (Exit, the
  // close box, the system menu), which completes a run and saves the
  // settings.
  void OnOK() override;
  void OnCancel() override;

  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnClose();
  void OnDestroy();
  void OnTimer(UINT_PTR nIDEvent);

  DECLARE_MESSAGE_MAP()

 public:
  // Labels: output, max, volume, device tag, input tag.
  CTransparentLabel m_lblOutput;
  CTransparentLabel m_lblMax;
  CTransparentLabel m_lblVolume;
  CTransparentLabel m_lblDeviceTag;
  CTransparentLabel m_lblInputTag;
  CButton m_btnBrowse;
  CButton m_btnAbout;
  CButton m_btnHelp;
  CButton m_btnOpen;
  CButton m_btnStop;
  CButton m_btnPlay;
  CButton m_btnConvert;
  CButton m_btnExit;
  CString m_strOutputPath;
  CSliderCtrl m_sliderVolume;
  CStatic m_stStatus;
  CComboBox m_cbDeviceList;
  CComboBox m_cbInputList;
  CEdit m_editOutputPath;
  HICON m_hIcon;
  IGraphBuilder *m_pGB = nullptr;
  IMediaControl *m_pMC = nullptr;
  IMediaEventEx *m_pME = nullptr;
  ICaptureGraphBuilder2 *m_pCapture = nullptr;
  IBaseFilter *m_pCaptureFilter = nullptr;
  IBaseFilter *m_pFileWriter = nullptr;
  IBaseFilter *m_pWavDest = nullptr;
  int m_nElapsed;
  BOOL m_bConverting;
  BOOL m_bOnlyOnce = 0;
  char m_szMidiPath[MAX_PATH];
  LONGLONG m_llDuration;
  int m_nDurationSec;
  HINSTANCE m_hInstance;
  CString m_strOutputFolder;
  // The output path whose replacement the person agreed to in the save
  // dialog; the next Convert does not ask again. Empty otherwise.
  CString m_strReplaceConfirmed;
  char m_szTempWavPath[MAX_PATH] = "";
  OSVERSIONINFOA m_osvi{};
  int m_nOutputWave;
};
