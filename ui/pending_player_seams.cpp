// Stand-ins for the preview player and the song commands. No player is ever
// created. Removed when the real versions land in player/ and ui/.
#include "ui/about_dlg.h"
#include "ui/converter_dlg.h"

int CConverterDlg::DiscardPlayer() {
  // No player is ever created yet, so g_pPlayer stays null.
  Invalidate(FALSE);
  return 1;
}

void CConverterDlg::OnOpen() {}
void CConverterDlg::OnPlay() {}
void CConverterDlg::OnBrowse() {}
void CConverterDlg::OnHelpButton() {}
void CConverterDlg::OnCloseMedia() {}

void CConverterDlg::OnAbout() {
  CAboutDlg dlgAbout;
  dlgAbout.DoModal();
}

// No player can be made yet: the path is emptied, as after a failed load.
int CConverterDlg::OpenPlayer(char *pszPath) {
  pszPath[0] = '\0';
  return 0;
}
