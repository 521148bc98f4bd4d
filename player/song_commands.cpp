// The main dialog's song commands: Open, Browse, Play, Help, About and Close.
#include "app/converter_app.h"
#include "platform/win/gui.h"
#include "platform/win/shell.h"
#include "platform/win/system.h"
#include "platform/dshow/midi/midi_song.h"
#include "platform/dshow/midi/midi_source.h"
#include "player/preview_player.h"
#include "settings/paths.h"
#include "ui/about_dlg.h"
#include "ui/converter_dlg.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr LPCSTR kOptionSection = "Option";
constexpr LPCSTR kLastMidiFolder = "LastPhotoFolder";
constexpr LPCSTR kLastOutputFolder = "last_output_folder";

// Two filters, each a name and a pattern; the literal's own zero ends the list.
constexpr char kOpenFilter[] =
    "MIDI files (*.midi;*.mid;*.rmi)\0*.midi;*.mid;*.rmi\0Any Files (*.*)\0*.*;\0";
constexpr char kSaveFilter[] = "Windows Media Audio file(*.wma)\0*.wma\0";

}  // namespace

void CConverterDlg::OnOpen() {
  char szInitialDir[MAX_PATH] = "";
  CString strLast = ConverterApp()->GetSettingString(kOptionSection, kLastMidiFolder, "");
  // A folder too long for the buffer is not used at all: a cut one could name
  // another folder.
  if (strLast.GetLength() < MAX_PATH) strcpy(szInitialDir, strLast);

  char szFile[kFileDialogBufferSize] = "";
  char szFileTitle[kFileDialogBufferSize] = "";
  OPENFILENAMEA ofn{};
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  ofn.hwndOwner = GetSafeHwnd();
  ofn.lpstrFilter = kOpenFilter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = szFile;
  ofn.nMaxFile = sizeof szFile;
  ofn.lpstrFileTitle = szFileTitle;
  ofn.nMaxFileTitle = sizeof szFileTitle;
  ofn.lpstrInitialDir = szInitialDir;
  ofn.lpstrTitle = "Select an MIDI file";
  ofn.Flags = OFN_HIDEREADONLY;
  if (!GetOpenFileNameA(&ofn)) return;
  OpenSong(szFile);
}

void CConverterDlg::OpenSong(LPCSTR szFile) {
  // The song's path lives in a MAX_PATH buffer; a longer one would be cut to
  // the name of some other file.
  if (strlen(szFile) >= MAX_PATH) {
    MessageBox("The path of the file is too long.", "Error", MB_OK);
    return;
  }

  // A failed probe keeps the previously opened song as it was, its path and
  // length included.
  char szPrevious[MAX_PATH];
  memcpy(szPrevious, m_szMidiPath, MAX_PATH);
  LONGLONG llPrevious = m_llDuration;
  int nPreviousSec = m_nDurationSec;
  strcpy(m_szMidiPath, szFile);
  if (!MeasureMidiLength()) {
    memcpy(m_szMidiPath, szPrevious, MAX_PATH);
    m_llDuration = llPrevious;
    m_nDurationSec = nPreviousSec;
    MessageBox("Cannot open the file and get the total time. \nOr the file May be corrupt.",
               "Error", MB_OK);
    return;
  }
  // A song cannot sound without the synthesiser's instruments; without them
  // a conversion would record silence, so the song is not taken.
  std::string soundFontProblem;
  if (LooksLikeMidiFile(m_szMidiPath) &&
      !CheckSoundFont(kDefaultSoundFontPath, &soundFontProblem)) {
    memcpy(m_szMidiPath, szPrevious, MAX_PATH);
    m_llDuration = llPrevious;
    m_nDurationSec = nPreviousSec;
    MessageBox(soundFontProblem.c_str(), "Error", MB_OK);
    return;
  }

  char szName[MAX_PATH] = "";
  GetMediaFileName(m_szMidiPath, szName, sizeof szName);
  char szCaption[MAX_PATH + 64];
  snprintf(szCaption, sizeof szCaption, "%s   %02d:%02d:%02d", szName, m_nDurationSec / 3600,
           (m_nDurationSec % 3600) / 60, m_nDurationSec % 60);
  SetWindowText(szCaption);

  std::string strProposed;
  if (ProposeOutputPath(std::string(m_strOutputFolder), m_szMidiPath, &strProposed)) {
    m_strOutputPath = strProposed;
    m_editOutputPath.SetWindowText(m_strOutputPath);
  }

  DiscardPlayer();
  const int bLoaded = OpenPlayer(m_szMidiPath);
  EnableControls(TRUE);
  ConverterApp()->SetSettingString(kOptionSection, kLastMidiFolder,
                                   GetFolderOfPath(m_szMidiPath).c_str());
  // Without a player nothing would sound: a run would record silence. The
  // window goes back to having no song (the player said why).
  if (!bLoaded) OnCloseMedia();
}

void CConverterDlg::OnBrowse() {
  char szFile[kFileDialogBufferSize] = "*.*";
  char szFileTitle[kFileDialogBufferSize] = "";
  std::string strInitialDir = BrowseInitialFolder(std::string(m_strOutputPath));
  OPENFILENAMEA ofn{};
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  ofn.hwndOwner = GetSafeHwnd();
  ofn.lpstrFilter = kSaveFilter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = szFile;
  ofn.nMaxFile = sizeof szFile;
  ofn.lpstrFileTitle = szFileTitle;
  ofn.nMaxFileTitle = sizeof szFileTitle;
  ofn.lpstrInitialDir = strInitialDir.c_str();
  ofn.lpstrTitle = "Select Output";
  ofn.Flags = OFN_HIDEREADONLY;
  std::string strOutput;
  // The file asked about is the one the run would write: the chosen name
  // with ".wma" in place of its extension. No goes back to the dialog, as a
  // save dialog's own question does.
  for (;;) {
    if (GetSaveFileNameA(&ofn) != TRUE) return;
    if (!BrowseOutputPath(szFile, &strOutput)) return;
    m_strReplaceConfirmed = "";
    if (ConfirmReplaceOutput(strOutput.c_str(), "Select Output")) break;
  }
  if (FileExists(strOutput.c_str())) m_strReplaceConfirmed = strOutput.c_str();
  m_strOutputPath = strOutput;
  m_editOutputPath.SetWindowText(m_strOutputPath);
  m_strOutputFolder = GetFolderOfPath(strOutput.c_str());
  ConverterApp()->SetSettingString(kOptionSection, kLastOutputFolder, m_strOutputFolder);
}

void CConverterDlg::OnPlay() {
  CString strText;
  m_editOutputPath.GetWindowText(strText);
  // A path longer than the program's buffers is never cut: cut, it could
  // name some other file, which would then be played.
  char szOutput[MAX_PATH] = "";
  if (strText.GetLength() < MAX_PATH) strcpy(szOutput, strText);
  if (strText.GetLength() >= MAX_PATH || !FileExists(szOutput)) {
    std::string strMessage = std::string(strText) + " does not exist!";
    MessageBoxA(nullptr, strMessage.c_str(), "Error", MB_OK);
    return;
  }
  char szTemp[MAX_PATH] = "";
  std::string strPlayer;
  if (GetTempPathA(MAX_PATH, szTemp) != 0) strPlayer = MediaPlayerPath(szTemp);
  if (!strPlayer.empty() && FileExists(strPlayer.c_str())) {
    std::string strCommand = strPlayer + " " + szOutput;
    WinExec(strCommand.c_str(), SW_SHOW);
  } else {
    ShellExecuteA(nullptr, "open", szOutput, nullptr, nullptr, SW_SHOWNORMAL);
  }
}

void CConverterDlg::OnHelpButton() {
  char szExe[MAX_PATH] = "";
  LPCSTR pszHelp = AfxGetApp() ? AfxGetApp()->m_pszHelpFilePath : nullptr;
  if (pszHelp == nullptr) {
    GetModuleFileNameA(nullptr, szExe, MAX_PATH);
    pszHelp = szExe;
  }
  WinExec(HelpCommandLine(pszHelp).c_str(), SW_SHOW);
}

void CConverterDlg::OnAbout() {
  CAboutDlg dlgAbout;
  dlgAbout.DoModal();
}

void CConverterDlg::OnCloseMedia() {
  // Closing the song in the middle of a run would leave the recording going
  // with Stop disabled; finish the run first so the file is complete.
  if (m_bConverting) OnStop();
  DiscardPlayer();
  m_llDuration = 0;
  m_szMidiPath[0] = 0;
  SetWindowText("Quavix");
  DisableMediaControls();
  m_strOutputPath = m_strOutputFolder;
  UpdateData(FALSE);
}
