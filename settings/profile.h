// The application profile: named values in sections under
// HKEY_CURRENT_USER\Software\<maker>\<application>\<section>. Each call opens
// the keys it needs (creating them, so a read creates the section key),
// reads or writes one value and closes every key before it returns. The
// application object forwards its GetSettingInt / GetSettingString /
// SetSettingInt / SetSettingString here with its maker key and name.
#pragma once

#include "platform/win/windef.h"

#include <string>

// The maker key the program sets at start.
inline constexpr const char *kProfileMakerKey = "ZORVEKA";

// The stored integer; def when it is missing, not a 4-byte REG_DWORD, or the
// keys cannot be opened.
int ProfileGetInt(LPCSTR makerKey, LPCSTR appName, LPCSTR section, LPCSTR entry, int def);
// The stored text (up to its first zero byte); def (or "" for null) when it
// is missing, not REG_SZ, or the keys cannot be opened.
std::string ProfileGetString(LPCSTR makerKey, LPCSTR appName, LPCSTR section, LPCSTR entry,
                             LPCSTR def);
BOOL ProfileSetInt(LPCSTR makerKey, LPCSTR appName, LPCSTR section, LPCSTR entry, int value);
// A null value removes the entry.
BOOL ProfileSetString(LPCSTR makerKey, LPCSTR appName, LPCSTR section, LPCSTR entry, LPCSTR value);
