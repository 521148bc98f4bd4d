// GUIDs, interface and class identifiers. Constants are defined inline and
// constexpr from their registry text form, so every module (the program and
// the writer module) shares the same values without a link-time definition.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win/windef.h"

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID &;
using REFIID = const IID &;
using REFCLSID = const CLSID &;
using LPGUID = GUID *;
using LPCLSID = CLSID *;

constexpr bool operator==(const GUID &a, const GUID &b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
constexpr bool operator!=(const GUID &a, const GUID &b) { return !(a == b); }

inline BOOL IsEqualGUID(REFGUID a, REFGUID b) { return a == b ? TRUE : FALSE; }
inline BOOL IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline BOOL IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }

namespace guid_detail {
constexpr std::uint32_t HexDigit(char c) {
  if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<std::uint32_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<std::uint32_t>(c - 'A' + 10);
  throw "not a hexadecimal digit";  // a compile-time error: bad GUID text
}
constexpr std::uint32_t Hex(const char *s, int pos, int digits) {
  std::uint32_t v = 0;
  for (int i = 0; i < digits; ++i) v = (v << 4) | HexDigit(s[pos + i]);
  return v;
}
}  // namespace guid_detail

// MakeGuid("56a86895-0ad4-11ce-b03a-0020af0ba770"): the text without braces.
// Evaluated at compile time; malformed text does not compile.
template <std::size_t N>
consteval GUID MakeGuid(const char (&s)[N]) {
  static_assert(N == 37, "a GUID is written as 8-4-4-4-12 hexadecimal digits");
  if (s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') throw "GUID dashes misplaced";
  GUID g{guid_detail::Hex(s, 0, 8),
         static_cast<std::uint16_t>(guid_detail::Hex(s, 9, 4)),
         static_cast<std::uint16_t>(guid_detail::Hex(s, 14, 4)),
         {}};
  g.Data4[0] = static_cast<std::uint8_t>(guid_detail::Hex(s, 19, 2));
  g.Data4[1] = static_cast<std::uint8_t>(guid_detail::Hex(s, 21, 2));
  for (int i = 0; i < 6; ++i)
    g.Data4[2 + i] = static_cast<std::uint8_t>(guid_detail::Hex(s, 24 + 2 * i, 2));
  return g;
}

// DEFINE_GUID-style constant: QX_DEFINE_GUID(IID_IFoo, "xxxxxxxx-....");
#define QX_DEFINE_GUID(name, text) inline constexpr GUID name = MakeGuid(text)

QX_DEFINE_GUID(GUID_NULL, "00000000-0000-0000-0000-000000000000");
#define IID_NULL GUID_NULL
#define CLSID_NULL GUID_NULL

// "{56A86895-0AD4-11CE-B03A-0020AF0BA770}", for traces and module lookup.
std::string GuidToString(REFGUID g);
