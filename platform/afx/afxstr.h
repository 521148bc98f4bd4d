// CString: the framework's string, UTF-8 text in a std::string. Only what
// the program uses.
#pragma once

#include "platform/win/windef.h"

#include <string>

class CString {
 public:
  CString() = default;
  CString(const char *text) : s_(text ? text : "") {}  // NOLINT: implicit as in the framework
  CString(const std::string &text) : s_(text) {}       // NOLINT
  CString(char c, int repeat = 1) : s_(repeat > 0 ? static_cast<std::size_t>(repeat) : 0, c) {}

  CString &operator=(const char *text) {
    s_ = text ? text : "";
    return *this;
  }

  int GetLength() const { return static_cast<int>(s_.size()); }
  bool IsEmpty() const { return s_.empty(); }
  void Empty() { s_.clear(); }
  operator LPCSTR() const { return s_.c_str(); }  // NOLINT: the framework converts implicitly
  LPCSTR GetString() const { return s_.c_str(); }
  const std::string &str() const { return s_; }

  char GetAt(int i) const { return s_.at(static_cast<std::size_t>(i)); }
  char operator[](int i) const { return GetAt(i); }
  void SetAt(int i, char c) { s_.at(static_cast<std::size_t>(i)) = c; }

  // A writable buffer of at least nMinBufLength characters plus the
  // terminator; ReleaseBuffer(-1) takes the text up to its first zero.
  LPSTR GetBuffer(int nMinBufLength = 0);
  LPSTR GetBufferSetLength(int nNewLength);
  void ReleaseBuffer(int nNewLength = -1);

  void Format(LPCSTR format, ...) __attribute__((format(printf, 2, 3)));
  // The string resource id (FindStringResource); FALSE and empty when absent.
  BOOL LoadString(UINT nID);

  CString &operator+=(const CString &other) {
    s_ += other.s_;
    return *this;
  }
  CString &operator+=(const char *text) {
    if (text) s_ += text;
    return *this;
  }
  CString &operator+=(char c) {
    s_ += c;
    return *this;
  }

  int Compare(LPCSTR other) const;
  int CompareNoCase(LPCSTR other) const;
  int Find(char c, int nStart = 0) const;
  int Find(LPCSTR sub, int nStart = 0) const;
  int ReverseFind(char c) const;
  CString Left(int nCount) const;
  CString Right(int nCount) const;
  CString Mid(int nFirst) const;
  CString Mid(int nFirst, int nCount) const;
  CString &MakeLower();
  CString &MakeUpper();
  CString &Trim();
  int Replace(char from, char to);

  friend CString operator+(const CString &a, const CString &b) { return CString(a.s_ + b.s_); }
  friend CString operator+(const CString &a, const char *b) { return CString(a.s_ + (b ? b : "")); }
  friend CString operator+(const char *a, const CString &b) { return CString((a ? a : "") + b.s_); }
  friend CString operator+(const CString &a, char b) { return CString(a.s_ + b); }
  friend bool operator==(const CString &a, const CString &b) { return a.s_ == b.s_; }
  friend bool operator==(const CString &a, const char *b) { return a.s_ == (b ? b : ""); }
  friend bool operator==(const char *a, const CString &b) { return b == a; }
  friend bool operator!=(const CString &a, const CString &b) { return !(a == b); }
  friend bool operator!=(const CString &a, const char *b) { return !(a == b); }
  friend bool operator!=(const char *a, const CString &b) { return !(b == a); }
  friend bool operator<(const CString &a, const CString &b) { return a.s_ < b.s_; }
  friend bool operator>(const CString &a, const CString &b) { return a.s_ > b.s_; }

 private:
  std::string s_;
};
