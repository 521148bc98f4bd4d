// Shared pieces of the input-line tests: the main window's input list and
// slider as real controls, and reading the settings back.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/win/ui_seam.h"
#include "ui/converter_dlg.h"

namespace inputtest {

// Runs `body` with a main-window object whose input list and slider are the
// real controls of the main window's template, shown in a plain host dialog
// (so none of the window's start-up runs). The slider has the range 0-200
// at 200; m_bOnlyOnce is 1. `onDialog` answers modal dialogs opened inside.
void RunWithInputControls(const std::function<void(CConverterDlg &)> &body,
                          const std::function<void(const UiRequest &)> &onDialog = {});

// The integer setting of section "Option" as stored in the registry file.
std::optional<DWORD> StoredOption(const char *entry);

// Names the application and its profile key as the program does at start.
void NameApplicationAfterExecutable();

// Puts the entries' texts in one string, "a|b|c", for readable checks.
std::string Entries(CComboBox &list);

}  // namespace inputtest
