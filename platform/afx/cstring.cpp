#include "platform/afx/afxstr.h"

#include "platform/win/dialog_template.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>

LPSTR CString::GetBuffer(int nMinBufLength) {
  std::size_t want = std::max<std::size_t>(
      s_.size(), nMinBufLength > 0 ? static_cast<std::size_t>(nMinBufLength) : 0);
  // One more for the terminator the caller writes.
  s_.resize(want + 1, '\0');
  return s_.data();
}

LPSTR CString::GetBufferSetLength(int nNewLength) {
  std::size_t n = nNewLength > 0 ? static_cast<std::size_t>(nNewLength) : 0;
  s_.resize(n + 1, '\0');
  s_[n] = '\0';
  return s_.data();
}

void CString::ReleaseBuffer(int nNewLength) {
  std::size_t n =
      nNewLength < 0 ? strnlen(s_.data(), s_.size()) : static_cast<std::size_t>(nNewLength);
  s_.resize(std::min(n, s_.size()));
}

void CString::Format(LPCSTR format, ...) {
  if (format == nullptr) {
    s_.clear();
    return;
  }
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n < 0) {
    s_.clear();
  } else {
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<std::size_t>(n));
    s_ = std::move(out);
  }
  va_end(args);
}

BOOL CString::LoadString(UINT nID) {
  const char *text = FindStringResource(static_cast<int>(nID));
  s_ = text ? text : "";
  return text != nullptr ? TRUE : FALSE;
}

int CString::Compare(LPCSTR other) const { return std::strcmp(s_.c_str(), other ? other : ""); }
int CString::CompareNoCase(LPCSTR other) const {
  return strcasecmp(s_.c_str(), other ? other : "");
}

int CString::Find(char c, int nStart) const {
  if (nStart < 0 || static_cast<std::size_t>(nStart) > s_.size()) return -1;
  std::size_t at = s_.find(c, static_cast<std::size_t>(nStart));
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(LPCSTR sub, int nStart) const {
  if (sub == nullptr || nStart < 0 || static_cast<std::size_t>(nStart) > s_.size()) return -1;
  std::size_t at = s_.find(sub, static_cast<std::size_t>(nStart));
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(char c) const {
  std::size_t at = s_.rfind(c);
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

CString CString::Left(int nCount) const {
  std::size_t n = std::clamp<long>(nCount, 0, static_cast<long>(s_.size()));
  return CString(s_.substr(0, n));
}

CString CString::Right(int nCount) const {
  std::size_t n = std::clamp<long>(nCount, 0, static_cast<long>(s_.size()));
  return CString(s_.substr(s_.size() - n));
}

CString CString::Mid(int nFirst) const { return Mid(nFirst, GetLength()); }

CString CString::Mid(int nFirst, int nCount) const {
  std::size_t first = std::clamp<long>(nFirst, 0, static_cast<long>(s_.size()));
  std::size_t count = std::clamp<long>(nCount, 0, static_cast<long>(s_.size() - first));
  return CString(s_.substr(first, count));
}

CString &CString::MakeLower() {
  for (char &c : s_) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return *this;
}

CString &CString::MakeUpper() {
  for (char &c : s_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return *this;
}

CString &CString::Trim() {
  auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!s_.empty() && space(s_.back())) s_.pop_back();
  std::size_t i = 0;
  while (i < s_.size() && space(s_[i])) ++i;
  s_.erase(0, i);
  return *this;
}

int CString::Replace(char from, char to) {
  int n = 0;
  for (char &c : s_)
    if (c == from) {
      c = to;
      ++n;
    }
  return n;
}
