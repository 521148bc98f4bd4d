#include "tests/support/stored_settings.h"

#include "platform/reg/registry.h"

namespace quavix::test {

namespace {
HKEY OpenOptions(const std::string &appName) {
  HKEY key = nullptr;
  std::string path = "Software\\ZORVEKA\\" + appName + "\\Option";
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return nullptr;
  return key;
}
}  // namespace

std::optional<DWORD> StoredInt(const std::string &appName, const char *entry) {
  HKEY key = OpenOptions(appName);
  if (!key) return std::nullopt;
  DWORD type = 0, value = 0, size = sizeof value;
  LSTATUS status =
      RegQueryValueExA(key, entry, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != 4) return std::nullopt;
  return value;
}

std::optional<std::string> StoredString(const std::string &appName, const char *entry) {
  HKEY key = OpenOptions(appName);
  if (!key) return std::nullopt;
  DWORD type = 0, size = 0;
  std::optional<std::string> result;
  if (RegQueryValueExA(key, entry, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      type == REG_SZ) {
    std::string data(size, '\0');
    if (RegQueryValueExA(key, entry, nullptr, &type, reinterpret_cast<BYTE *>(data.data()),
                         &size) == ERROR_SUCCESS) {
      data.resize(data.find('\0') == std::string::npos ? data.size() : data.find('\0'));
      result = data;
    }
  }
  RegCloseKey(key);
  return result;
}

}  // namespace quavix::test
