#include "settings/profile.h"

#include "platform/reg/registry.h"

#include <cstring>
#include <vector>

namespace {

constexpr REGSAM kSectionAccess = KEY_READ | KEY_WRITE;

// Opens Software\<maker>\<app>\<section> one level at a time, creating what
// is missing, and closes every intermediate key on the way. HKEY_CURRENT_USER
// here starts empty, so "Software" is created too rather than only opened.
class SectionKey {
 public:
  SectionKey(LPCSTR makerKey, LPCSTR appName, LPCSTR section) {
    if (!makerKey || !*makerKey || !appName || !*appName || !section || !*section) return;
    HKEY parent = HKEY_CURRENT_USER;
    for (LPCSTR name : {"Software", makerKey, appName, section}) {
      HKEY child = nullptr;
      DWORD disposition = 0;
      LONG rc = RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, kSectionAccess,
                                nullptr, &child, &disposition);
      if (parent != HKEY_CURRENT_USER) RegCloseKey(parent);
      if (rc != ERROR_SUCCESS) return;
      parent = child;
    }
    key_ = parent;
  }
  ~SectionKey() {
    if (key_) RegCloseKey(key_);
  }
  SectionKey(const SectionKey &) = delete;
  SectionKey &operator=(const SectionKey &) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

int ProfileGetInt(LPCSTR makerKey, LPCSTR appName, LPCSTR section, LPCSTR entry, int def) {
  SectionKey key(makerKey, appName, section);
  if (!key.get() || !entry) return def;
  DWORD type = 0, value = 0, cb = sizeof value;
  if (RegQueryValueExA(key.get(), entry, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &cb) !=
      ERROR_SUCCESS)
    return def;
  if (type != REG_DWORD || cb != sizeof value) return def;
  return static_cast<int>(value);
}

std::string ProfileGetString(LPCSTR makerKey, LPCSTR appName, LPCSTR section, LPCSTR entry,
                             LPCSTR def) {
  std::string fallback = def ? def : "";
  SectionKey key(makerKey, appName, section);
  if (!key.get() || !entry) return fallback;
  DWORD type = 0, cb = 0;
  if (RegQueryValueExA(key.get(), entry, nullptr, &type, nullptr, &cb) != ERROR_SUCCESS ||
      type != REG_SZ)
    return fallback;
  // The value may grow between the size query and the read (another copy of
  // the program); ask again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::vector<BYTE> buf(cb + 1, 0);
    DWORD got = cb;
    LONG rc = RegQueryValueExA(key.get(), entry, nullptr, &type, buf.data(), &got);
    if (rc == ERROR_MORE_DATA) {
      cb = got;
      continue;
    }
    if (rc != ERROR_SUCCESS || type != REG_SZ) return fallback;
    return std::string(reinterpret_cast<const char *>(buf.data()),
                       strnlen(reinterpret_cast<const char *>(buf.data()), got));
  }
  return fallback;
}

BOOL ProfileSetInt(LPCSTR makerKey, LPCSTR appName, LPCSTR section, LPCSTR entry, int value) {
  SectionKey key(makerKey, appName, section);
  if (!key.get() || !entry) return FALSE;
  DWORD v = static_cast<DWORD>(value);
  return RegSetValueExA(key.get(), entry, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v),
                        sizeof v) == ERROR_SUCCESS
             ? TRUE
             : FALSE;
}

BOOL ProfileSetString(LPCSTR makerKey, LPCSTR appName, LPCSTR section, LPCSTR entry, LPCSTR value) {
  SectionKey key(makerKey, appName, section);
  if (!key.get() || !entry) return FALSE;
  if (!value) {
    LONG rc = RegDeleteValueA(key.get(), entry);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? TRUE : FALSE;
  }
  return RegSetValueExA(key.get(), entry, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                        static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS
             ? TRUE
             : FALSE;
}
