// The program's settings as its registry file holds them, read back through
// the registry layer: section "Option" of HKCU\Software\ZORVEKA\<appName>.
#pragma once

#include "platform/win/windef.h"

#include <optional>
#include <string>

namespace quavix::test {

// A whole-number setting; empty when it is missing or stored as another type.
std::optional<DWORD> StoredInt(const std::string &appName, const char *entry);
// A text setting; empty when it is missing or stored as another type.
std::optional<std::string> StoredString(const std::string &appName, const char *entry);

}  // namespace quavix::test
