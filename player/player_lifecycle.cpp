#include "app/converter_app.h"
#include "player/preview_player.h"
#include "ui/converter_dlg.h"

#include <cstring>

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
