// The one seam through which every message box, file dialog and modal
// dialog passes. Without a handler the program shows the desktop's real
// dialogs. A test installs a handler that sees what was asked and answers
// it, so nothing a test needs waits for a person.
#pragma once

#include "platform/win/winuser_more.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

enum class UiRequestKind { MessageBox, OpenFile, SaveFile, ModalDialog };

struct UiRequest {
  UiRequestKind kind{};
  HWND owner{};  // the owner window given by the program (may be null)
  // Message box
  std::string text;
  std::string caption;  // message box caption; file dialog title
  UINT type{};          // MB_ flags of a message box
  // File dialogs
  DWORD flags{};                                             // OFN_ flags
  std::vector<std::pair<std::string, std::string>> filters;  // (description, pattern) as given
  int filterIndex{};                                         // 1-based, as given
  std::string initialDir;
  std::string initialFile;  // the file buffer's content on entry
  // Modal dialog: called once the dialog is shown, inside its modal loop.
  HWND dialog{};
  int dialogId{};  // the template's resource id
};

struct UiAnswer {
  int button = 0;       // message box: IDOK, IDCANCEL, IDYES, ...
  bool cancel = false;  // file dialog: the user cancelled
  std::string path;     // file dialog: the chosen full path
  int filterIndex = 0;  // file dialog: the chosen filter (1-based); 0 keeps the given one
};

// The handler answers on the user-interface thread. For ModalDialog it may
// drive the dialog (send or post messages, click its widgets); its answer is
// ignored. Returns the previous handler; an empty one restores the real
// dialogs.
using UiSeamHandler = std::function<UiAnswer(const UiRequest &)>;
UiSeamHandler SetUiSeamForTest(UiSeamHandler handler);
bool HasUiSeamHandler();
// Passes a request to the installed handler; false when there is none.
bool AnswerThroughUiSeam(const UiRequest &request, UiAnswer *answer);
