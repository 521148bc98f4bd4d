#include "platform/com/olestr.h"

#include <cstring>

#include "platform/com/combase.h"

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string &out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::u16string &out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}
}  // namespace

std::u16string Utf8ToUtf16(const std::string &in) {
  std::u16string out;
  out.reserve(in.size());
  const auto *s = reinterpret_cast<const unsigned char *>(in.data());
  std::size_t n = in.size(), i = 0;
  while (i < n) {
    unsigned char b = s[i];
    char32_t c;
    int extra;
    if (b < 0x80) {
      c = b;
      extra = 0;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F;
      extra = 1;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F;
      extra = 2;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07;
      extra = 3;
    } else {
      AppendUtf16(out, kReplacement);
      ++i;
      continue;
    }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= n || (s[i + k] & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (s[i + k] & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      AppendUtf16(out, kReplacement);
      ++i;  // resynchronise on the next byte
      continue;
    }
    AppendUtf16(out, c);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

std::u16string Utf8ToUtf16(const char *utf8) {
  return utf8 ? Utf8ToUtf16(std::string(utf8)) : std::u16string();
}

std::string Utf16ToUtf8(const std::u16string &in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    char32_t c = in[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
        ++i;
      } else {
        c = kReplacement;
      }
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string Utf16ToUtf8(const WCHAR *utf16) {
  return utf16 ? Utf16ToUtf8(std::u16string(utf16, WideLength(utf16))) : std::string();
}

std::size_t WideLength(const WCHAR *s) {
  std::size_t n = 0;
  if (s)
    while (s[n]) ++n;
  return n;
}

void CopyWide(WCHAR *dst, std::size_t cch, const std::u16string &src) {
  if (!dst || cch == 0) return;
  std::size_t n = src.size() < cch - 1 ? src.size() : cch - 1;
  std::memcpy(dst, src.data(), n * sizeof(WCHAR));
  dst[n] = 0;
}

WCHAR *CoTaskMemDupWide(const std::u16string &src) {
  auto *p = static_cast<WCHAR *>(CoTaskMemAlloc((src.size() + 1) * sizeof(WCHAR)));
  if (p) CopyWide(p, src.size() + 1, src);
  return p;
}

BSTR SysAllocStringUtf8(const char *utf8) {
  if (!utf8) return nullptr;
  std::u16string w = Utf8ToUtf16(utf8);
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}
