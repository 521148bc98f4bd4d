// A conversion run: the capture graph records the loop-back line into the
// writer chain while the preview player plays the song. Convert starts it,
// Stop (the button, the player at the end of the song, a lost device, a
// changed line) ends it; the clock shows the time used once a second.
#include "ui/converter_dlg.h"

#include "app/converter_app.h"
#include "platform/dshow/dshow.h"
#include "platform/win/files.h"
#include "platform/win/text.h"
#include "player/preview_player.h"
#include "settings/paths.h"
#include "settings/writer_handoff.h"
#include "ui/song_paths.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char *kStartErrorText =
    "1. Your audio hardware may be used by other program. Please exit the program.\n"
    "2. Or your audio hardware has unknown problem. The program can not start converting.\n"
    "3. Or the output WMA file is played by other program now. Please exit the program.\n"
    "4. Or the output WMA file has incorrect directory name.";

constexpr const char *kNoCaptureSourceText =
    "No audio capture device is ready for recording. Reconnect the device or choose another one, "
    "then press Convert again.";

constexpr const char *kPathTooLongText =
    "The output path is too long. Please choose a path of at most 255 characters.";

constexpr const char *kHandOffFailedText =
    "The output path could not be stored in the settings, where the file writer reads it. "
    "Check that the settings folder (~/.config/quavix) can be written, then press Convert again.";

// Told after a run whose capture lost audio; the file is complete by then.
std::string LostAudioText(LONGLONG lost100ns) {
  char text[400];
  const double seconds = static_cast<double>(lost100ns) / 1e7;
  std::snprintf(text, sizeof text,
                "The computer was too busy while recording: the recording has gaps.\n"
                "%.1f seconds of audio were lost in total. The file was completed with "
                "what was recorded; close other programs and convert again for a whole "
                "recording.",
                seconds < 0.1 ? 0.1 : seconds);
  return text;
}

// Audio the capture filter could not record during the run just stopped.
LONGLONG LostAudio(IBaseFilter *capture) {
  LONGLONG lost = 0;
  ICaptureLoss *loss = nullptr;
  if (capture && SUCCEEDED(capture->QueryInterface(IID_ICaptureLoss, (void **)&loss)) && loss) {
    if (FAILED(loss->GetLostTime(&lost))) lost = 0;
    loss->Release();
  }
  return lost;
}

}  // namespace

void CConverterDlg::OnConvert() {
  UpdateData(TRUE);

  // After a lost device the window has no capture source until it returns:
  // a run would record nothing, so none starts.
  if (!m_pGB || !m_pMC || !m_pCaptureFilter) {
    MessageBox(kNoCaptureSourceText, "Error", MB_OK);
    return;
  }
  // The writer learns the path through a buffer of 256 bytes. A cut path
  // would write (and first delete) another file than the one shown, so a
  // path that does not fit is refused before anything is touched.
  const char *pszOutput = m_strOutputPath;
  if (std::strlen(pszOutput) >= kWriterHandOffBufferSize) {
    MessageBox(kPathTooLongText, "Error", MB_OK);
    return;
  }
  // Deleting the old output first would delete the song being converted.
  if (OutputPathIsTheOpenSong(pszOutput, m_szMidiPath)) {
    MessageBox(kOutputIsTheSongMessage, "Error", MB_OK);
    return;
  }

  char szOutput[MAX_PATH];
  std::snprintf(szOutput, sizeof szOutput, "%s", pszOutput);
  // No keeps the file and starts nothing.
  const BOOL bReplace = ConfirmReplaceOutput(szOutput, "Quavix");
  m_strReplaceConfirmed = "";
  if (!bReplace) return;
  if (FileExists(szOutput)) DeleteFileA(szOutput);

  // The writer reads the output path from the settings; if it cannot be
  // stored there, the writer would record into the path of an earlier run.
  if (!WriteWriterHandOff(szOutput, m_nOutputWave)) {
    MessageBox(kHandOffFailedText, "Error", MB_OK);
    return;
  }

  HRESULT hr = InsertWriterChain();
  if (FAILED(hr)) {
    // Whatever part of the chain got in goes again, so the next Convert
    // starts from the capture filter alone.
    RemoveWriterChain();
    return;
  }

  bool bRunFailed = false;
  if (m_pMC) {
    if (FAILED(m_pMC->Run())) {
      MessageBox(kStartErrorText, "Start Converting Error", MB_OK);
      bRunFailed = true;
    }
    m_stStatus.SetWindowText("Status : Converting - Used Time: 00:00:00");
    m_nElapsed = 0;
    SetTimer(IDT_ELAPSED, 1000, nullptr);
    if (g_pPlayer) g_pPlayer->Play();
  }
  m_bConverting = 1;

  for (int id : {IDC_CONVERT, IDC_PLAY, IDC_OPEN, IDC_INPUT_LIST, IDC_DEVICE_LIST})
    GetDlgItem(id)->EnableWindow(FALSE);

  if (bRunFailed) PostMessage(WM_COMMAND, IDC_STOP, 0);
}

void CConverterDlg::OnStop() {
  if (!m_bConverting) return;
  if (g_pPlayer) g_pPlayer->Stop();
  if (m_pMC) {
    m_pMC->StopWhenReady();
    KillTimer(IDT_ELAPSED);
    m_nElapsed = 0;
  }
  RemoveWriterChain();
  m_bConverting = 0;
  EnableControls(TRUE);
  m_stStatus.SetWindowText("Status : Ready");
  const LONGLONG lost = LostAudio(m_pCaptureFilter);
  if (lost > 0) MessageBox(LostAudioText(lost).c_str(), "Error", MB_OK);
}

void CConverterDlg::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == IDT_ELAPSED) {
    ++m_nElapsed;
    char szStatus[80];
    wsprintfA(szStatus, "Status : Converting - Used Time: %02d:%02d:%02d", m_nElapsed / 3600,
              (m_nElapsed % 3600) / 60, m_nElapsed % 60);
    m_stStatus.SetWindowText(szStatus);
  }
  CDialog::OnTimer(nIDEvent);
}
