// The registry's tree of keys and values and its text form. Kept free of any
// file access so the reader can be fuzzed on plain strings.
//
// The text form (UTF-8, '\n' line ends):
//
//   QUAVIX-REGISTRY 1
//   [Software\ZORVEKA\VORLINTA\Option]
//   "nSoundCaptureIndex"=dword:00000000
//   "last_output_folder"=sz:"/home/me/Music/"
//   @=sz:"0"
//   "odd"=hex(1):41,42
//   END
//
// A section line names a key by its path below HKEY_CURRENT_USER ("[]" is
// HKEY_CURRENT_USER itself); inside it '%', '[', ']', '\' within a name,
// control characters and bytes that are not UTF-8 are written %HH. A value
// line's name is "@" (the key's default value) or a quoted string. Data is
// dword:<8 hex digits> (REG_DWORD of 4 bytes), sz:"<text>" (REG_SZ whose data
// is the text followed by one zero byte; the zero is not written), or
// hex(<type>):<bytes> for anything else. Quoted strings escape '"', '\' and
// every byte that is not printable UTF-8 as \", \\, \xHH. The END line makes
// a file cut short detectable. Lines starting with ';' or '#' are comments.
#pragma once

#include "platform/win/windef.h"

#include <string>
#include <string_view>
#include <vector>

namespace quavix::reg {

// Bounds of what the reader accepts; anything beyond them is a damaged file.
constexpr size_t kMaxRegistryFileSize = 8u * 1024u * 1024u;
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr size_t kMaxValueDataSize = 1024u * 1024u;
constexpr size_t kMaxKeyDepth = 64;

struct RegValue {
  std::string name;  // "" is the key's default value
  DWORD type = 0;
  std::string data;  // raw bytes
};

struct RegKey {
  std::string name;
  std::vector<RegValue> values;
  std::vector<RegKey> subkeys;

  RegKey *FindSubkey(std::string_view n);
  const RegKey *FindSubkey(std::string_view n) const;
  RegValue *FindValue(std::string_view n);
  const RegValue *FindValue(std::string_view n) const;
  // Finds or adds; returns the key and whether it was added.
  RegKey &SubkeyFor(std::string_view n, bool *added = nullptr);
  void SetValue(std::string_view n, DWORD type, std::string data);
  bool RemoveValue(std::string_view n);
  bool RemoveSubkey(std::string_view n);
  bool operator==(const RegKey &other) const;  // exact, case included
};

// Names compare without regard to ASCII case.
bool NamesEqual(std::string_view a, std::string_view b);

// Reads the text form into *root (replaced). Returns false, with a reason in
// *error when given, for anything that is not a complete, well-formed file
// within the bounds above. An empty text is an empty registry.
bool ParseRegistryText(std::string_view text, RegKey *root, std::string *error = nullptr);
std::string SerializeRegistryText(const RegKey &root);

// Walks a path of names from root; null when a key is missing.
RegKey *FindKey(RegKey &root, const std::vector<std::string> &path);

}  // namespace quavix::reg
