// Dialog and menu templates: a program's resources as data, in dialog units,
// as a resource compiler would have produced them. The window layer builds
// real dialogs and menus from these; the program registers its own
// (platform/win/resources.h).
#pragma once

#include "platform/win/windef.h"

#include <vector>

// Window class names of the standard controls.
inline constexpr const char *kButtonClass = "BUTTON";
inline constexpr const char *kEditClass = "EDIT";
inline constexpr const char *kStaticClass = "STATIC";
inline constexpr const char *kComboBoxClass = "COMBOBOX";
inline constexpr const char *kTrackbarClass = "msctls_trackbar32";

struct ControlTemplate {
  int id;                 // -1 for a control without an id (IDC_STATIC)
  const char *className;  // one of the k...Class names above
  const char *text;       // caption; for an SS_ICON static, the icon resource id as "#103"
  short x, y, cx, cy;     // dialog units
  // WS_ and class styles (WS_CHILD and WS_VISIBLE implied unless hidden by the caller)
  DWORD style;
  DWORD exStyle;
};

struct DialogTemplate {
  int id;
  const char *caption;
  const char *fontName;
  int fontPointSize;
  short cx, cy;  // dialog units
  DWORD style;
  DWORD exStyle;
  std::vector<ControlTemplate> controls;  // in tab order
};

struct MenuItemTemplate {
  const char *text;  // nullptr for a separator
  UINT id;           // 0 for a separator
};

struct MenuTemplate {
  int id;
  const char *popupName;
  std::vector<MenuItemTemplate> items;
};

// Looks a template up by resource id among the registered resources;
// nullptr when the program has none.
const DialogTemplate *FindDialogTemplate(int id);
const MenuTemplate *FindMenuTemplate(int id);
// String table; nullptr when absent.
const char *FindStringResource(int id);
