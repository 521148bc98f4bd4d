// The open and save dialogs: the request structure read and filled as on
// Windows, answered by the test seam or by the desktop's file dialog.
#include "platform/win/file_dialog.h"

#include "platform/win/message_box.h"
#include "platform/win/ui_seam.h"
#include "platform/win/window_internal.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QPointer>

#include <cstring>

using namespace quavix::win;

namespace {

DWORD g_extendedError = 0;

std::vector<std::pair<std::string, std::string>> ParseFilters(const char *f) {
  std::vector<std::pair<std::string, std::string>> out;
  if (f == nullptr) return out;
  while (*f != 0) {
    std::string description = f;
    f += description.size() + 1;
    std::string pattern = f;
    f += pattern.size() + 1;
    out.emplace_back(description, pattern);
    if (pattern.empty()) break;  // a filter list cut short ends here
  }
  return out;
}

// "MIDI files (*.midi;*.mid;*.rmi)" with "*.midi;*.mid;*.rmi" becomes
// "MIDI files (*.midi *.mid *.rmi)": the toolkit reads the patterns from the
// last parentheses. "*.*" matches every file, with or without a dot.
QString ToolkitFilter(const std::string &description, const std::string &pattern) {
  QString desc = ToQ(description).trimmed();
  if (desc.endsWith(u')')) {
    qsizetype open = desc.lastIndexOf(u'(');
    if (open > 0) desc = desc.left(open).trimmed();
  }
  QStringList patterns;
  for (const QString &p : ToQ(pattern).split(u';', Qt::SkipEmptyParts)) {
    QString t = p.trimmed();
    if (t.isEmpty()) continue;
    patterns << (t == QStringLiteral("*.*") ? QStringLiteral("*") : t);
  }
  if (patterns.isEmpty()) patterns << QStringLiteral("*");
  return desc + QStringLiteral(" (") + patterns.join(u' ') + u')';
}

bool AskDesktop(const UiRequest &request, bool save, UiAnswer *answer) {
  if (QApplication::instance() == nullptr) return false;
  QWidget *parent = WidgetOf(TopLevelOf(request.owner));
  QPointer<QFileDialog> dialog = new QFileDialog(parent);
  dialog->setWindowTitle(request.caption.empty()
                             ? (save ? QStringLiteral("Save As") : QStringLiteral("Open"))
                             : ToQ(request.caption));
  dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog->setFileMode((!save && (request.flags & OFN_FILEMUSTEXIST)) ? QFileDialog::ExistingFile
                                                                     : QFileDialog::AnyFile);
  if (save && !(request.flags & OFN_OVERWRITEPROMPT))
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
  QStringList filters;
  for (const auto &[d, p] : request.filters) filters << ToolkitFilter(d, p);
  if (!filters.isEmpty()) {
    dialog->setNameFilters(filters);
    int index = request.filterIndex >= 1 && request.filterIndex <= filters.size()
                    ? request.filterIndex - 1
                    : 0;
    dialog->selectNameFilter(filters[index]);
  }
  QString initialFile = ToQ(request.initialFile);
  const bool wildcard = initialFile.contains(u'*') || initialFile.contains(u'?');
  QString folder = ToQ(request.initialDir);
  if (folder.isEmpty() && !wildcard && initialFile.contains(u'/'))
    folder = QFileInfo(initialFile).path();
  dialog->setDirectory(folder.isEmpty() ? QDir::currentPath() : folder);
  if (!initialFile.isEmpty() && !wildcard) dialog->selectFile(initialFile);

  const int result = dialog->exec();
  if (!dialog) return false;
  if (result == QDialog::Accepted && !dialog->selectedFiles().isEmpty()) {
    answer->path = FromQ(dialog->selectedFiles().first());
    answer->filterIndex = static_cast<int>(filters.indexOf(dialog->selectedNameFilter())) + 1;
  } else {
    answer->cancel = true;
  }
  delete dialog.data();
  return true;
}

BOOL RunFileDialog(LPOPENFILENAMEA ofn, bool save) {
  g_extendedError = 0;
  if (ofn == nullptr) return FALSE;
  if (ofn->lStructSize != OPENFILENAME_SIZE_VERSION_400A &&
      ofn->lStructSize != sizeof(OPENFILENAMEA)) {
    g_extendedError = CDERR_STRUCTSIZE;
    return FALSE;
  }
  if (ofn->lpstrFile == nullptr || ofn->nMaxFile == 0) {
    g_extendedError = CDERR_INITIALIZATION;
    return FALSE;
  }
  UiRequest request;
  request.kind = save ? UiRequestKind::SaveFile : UiRequestKind::OpenFile;
  request.owner = ofn->hwndOwner;
  request.caption = ofn->lpstrTitle ? ofn->lpstrTitle : "";
  request.flags = ofn->Flags;
  request.filters = ParseFilters(ofn->lpstrFilter);
  request.filterIndex = static_cast<int>(ofn->nFilterIndex);
  request.initialDir = ofn->lpstrInitialDir ? ofn->lpstrInitialDir : "";
  request.initialFile.assign(ofn->lpstrFile, strnlen(ofn->lpstrFile, ofn->nMaxFile));

  UiAnswer answer;
  if (!AnswerThroughUiSeam(request, &answer) && !AskDesktop(request, save, &answer)) {
    g_extendedError = CDERR_INITIALIZATION;
    return FALSE;
  }
  if (answer.cancel || answer.path.empty()) return FALSE;

  const std::string &path = answer.path;
  if (path.size() + 1 > ofn->nMaxFile) {
    // Cutting the name would name another file: refuse it, and say so.
    g_extendedError = FNERR_BUFFERTOOSMALL;
    ofn->lpstrFile[0] = 0;
    std::string text = "The chosen path is too long for this program (" +
                       std::to_string(path.size()) + " characters, at most " +
                       std::to_string(ofn->nMaxFile - 1) + "):\n" + path;
    MessageBoxA(ofn->hwndOwner, text.c_str(), "Error", MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  std::memcpy(ofn->lpstrFile, path.c_str(), path.size() + 1);
  std::size_t slash = path.rfind('/');
  std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  ofn->nFileOffset = static_cast<WORD>(nameAt);
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameAt)
    ofn->nFileExtension = static_cast<WORD>(path.size());
  else if (dot + 1 == path.size())
    ofn->nFileExtension = 0;
  else
    ofn->nFileExtension = static_cast<WORD>(dot + 1);
  if (ofn->lpstrFileTitle != nullptr && ofn->nMaxFileTitle > 0) {
    std::string name = path.substr(nameAt);
    if (name.size() + 1 <= ofn->nMaxFileTitle)
      std::memcpy(ofn->lpstrFileTitle, name.c_str(), name.size() + 1);
    else
      ofn->lpstrFileTitle[0] = 0;
  }
  if (answer.filterIndex > 0) ofn->nFilterIndex = static_cast<DWORD>(answer.filterIndex);
  return TRUE;
}

}  // namespace

BOOL GetOpenFileNameA(LPOPENFILENAMEA ofn) { return RunFileDialog(ofn, false); }
BOOL GetSaveFileNameA(LPOPENFILENAMEA ofn) { return RunFileDialog(ofn, true); }
DWORD CommDlgExtendedError() { return g_extendedError; }
