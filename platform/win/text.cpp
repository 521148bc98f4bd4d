#include "platform/win/text.h"

#include "platform/win/lasterror.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool KnownCodePage(UINT cp) {
  return cp == CP_ACP || cp == CP_OEMCP || cp == CP_THREAD_ACP || cp == CP_UTF8;
}

// Decodes one code point at s[*i]; an ill-formed sequence (its longest valid
// prefix, at least one byte) yields *ok = false.
char32_t DecodeUtf8(const unsigned char *s, size_t n, size_t *i, bool *ok) {
  unsigned char c = s[*i];
  *ok = true;
  if (c < 0x80) {
    ++*i;
    return c;
  }
  size_t len;
  char32_t cp;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    cp = c & 0x0F;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    cp = c & 0x07;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    ++*i;
    *ok = false;
    return kReplacement;
  }
  size_t k = 1;
  for (; k < len; ++k) {
    if (*i + k >= n) break;
    unsigned char b = s[*i + k];
    if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) break;
    cp = (cp << 6) | (b & 0x3F);
  }
  *i += k;
  if (k < len) {
    *ok = false;
    return kReplacement;
  }
  return cp;
}

}  // namespace

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
  if (!KnownCodePage(CodePage) || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 ||
      cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr) ||
      (dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS | 0x1 /*MB_PRECOMPOSED*/))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const auto *s = reinterpret_cast<const unsigned char *>(lpMultiByteStr);
  size_t n = cbMultiByte == -1 ? std::char_traits<char>::length(lpMultiByteStr) + 1
                               : static_cast<size_t>(cbMultiByte);
  std::u16string out;
  for (size_t i = 0; i < n;) {
    bool ok;
    char32_t cp = DecodeUtf8(s, n, &i, &ok);
    if (!ok && (dwFlags & MB_ERR_INVALID_CHARS)) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  if (cchWideChar == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(cchWideChar)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  out.copy(lpWideCharStr, out.size());
  return static_cast<int>(out.size());
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR, BOOL *lpUsedDefaultChar) {
  if (!KnownCodePage(CodePage) || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 ||
      cbMultiByte < 0 || (cbMultiByte > 0 && !lpMultiByteStr) ||
      (dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = cchWideChar == -1 ? std::char_traits<char16_t>::length(lpWideCharStr) + 1
                               : static_cast<size_t>(cchWideChar);
  std::string out;
  bool replaced = false;
  for (size_t i = 0; i < n; ++i) {
    char32_t cp = lpWideCharStr[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && lpWideCharStr[i + 1] >= 0xDC00 &&
        lpWideCharStr[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (lpWideCharStr[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      if (dwFlags & WC_ERR_INVALID_CHARS) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      cp = kReplacement;
      replaced = true;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  if (lpUsedDefaultChar) *lpUsedDefaultChar = replaced ? TRUE : FALSE;
  if (cbMultiByte == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(cbMultiByte)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  out.copy(lpMultiByteStr, out.size());
  return static_cast<int>(out.size());
}

int wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
  constexpr int kLimit = 1024;
  if (!lpOut || !lpFmt) return 0;
  va_list ap;
  va_start(ap, lpFmt);
  int n = std::vsnprintf(lpOut, kLimit, lpFmt, ap);
  va_end(ap);
  if (n < 0) {
    lpOut[0] = '\0';
    return 0;
  }
  return n < kLimit ? n : kLimit - 1;
}
