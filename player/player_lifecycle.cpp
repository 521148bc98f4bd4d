#include "app/converter_app.h"
#include "platform/dshow/midi/midi_song.h"
#include "platform/dshow/midi/midi_source.h"
#include "platform/win/gui.h"
#include "player/preview_player.h"
#include "ui/converter_dlg.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char *kSongFailedText =
    "The conversion stopped: the song could not be played (error 0x%08X). What was written so "
    "far is kept.";

}  // namespace

int CConverterDlg::OpenPlayer(char *pszPath) {
  g_pPlayer = new CPreviewPlayer(m_hInstance, GetSafeHwnd());
  memcpy(g_pPlayer->m_szFile, pszPath, MAX_PATH);
  // The caller's buffer is terminated, but a copy that filled all of it must
  // still end inside the player's.
  g_pPlayer->m_szFile[MAX_PATH - 1] = 0;
  if (g_pPlayer->Load()) return 1;
  pszPath[0] = 0;
  DiscardPlayer();
  return 0;
}

int CConverterDlg::DiscardPlayer() {
  if (g_pPlayer) {
    if (g_pPlayer->m_state != NoClip) g_pPlayer->Unload();
    delete g_pPlayer;
    g_pPlayer = nullptr;
  }
  Invalidate(FALSE);
  return 1;
}

void CConverterDlg::OnPlayerFailed(HRESULT hr) {
  // Outside a run nothing is lost; a run would record silence until Stop
  // while the status line said all was well. A second report of the same
  // failure (the failed start and the graph's event) finds the run ended.
  if (!m_bConverting) return;
  OnStop();
  std::string strText;
  std::string strSoundFont;
  if (LooksLikeMidiFile(m_szMidiPath) && !CheckSoundFont(kDefaultSoundFontPath, &strSoundFont)) {
    strText = "The conversion stopped: the song could not be played.\n" + strSoundFont;
  } else {
    char szText[256];
    std::snprintf(szText, sizeof szText, kSongFailedText, static_cast<unsigned>(hr));
    strText = szText;
  }
  MessageBox(strText.c_str(), "Error", MB_OK | MB_ICONEXCLAMATION);
}
