// UTF-8 <-> UTF-16 conversion for the wide strings of COM interfaces.
// Malformed input never fails: invalid sequences become U+FFFD.
#pragma once

#include <string>

#include "platform/win/windef.h"

std::u16string Utf8ToUtf16(const char *utf8);
std::u16string Utf8ToUtf16(const std::string &utf8);
std::string Utf16ToUtf8(const WCHAR *utf16);  // null -> ""
std::string Utf16ToUtf8(const std::u16string &utf16);
// Length of a zero-terminated UTF-16 string.
std::size_t WideLength(const WCHAR *s);
// Copies into a fixed buffer, cutting at cch - 1 units and terminating.
void CopyWide(WCHAR *dst, std::size_t cch, const std::u16string &src);
// A CoTaskMemAlloc'd copy (null on allocation failure).
WCHAR *CoTaskMemDupWide(const std::u16string &src);
