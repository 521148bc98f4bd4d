// Asking before an existing output file is replaced: a run writes its output
// afresh, so whatever was at that path is gone once the run starts.
#include "settings/paths.h"
#include "ui/converter_dlg.h"

#include <string>

namespace {

constexpr const char *kReplaceQuestion = " already exists.\nDo you want to replace it?";

}  // namespace

BOOL CConverterDlg::ConfirmReplaceOutput(LPCSTR pszPath, LPCSTR pszCaption) {
  if (pszPath == nullptr || pszPath[0] == 0 || !FileExists(pszPath)) return TRUE;
  // Already answered in the save dialog; the run that follows uses the answer.
  if (!m_strReplaceConfirmed.IsEmpty() && m_strReplaceConfirmed == pszPath) return TRUE;
  const std::string strText = std::string(pszPath) + kReplaceQuestion;
  return MessageBox(strText.c_str(), pszCaption, MB_YESNO | MB_ICONWARNING) == IDYES;
}
