#include "platform/win/debug.h"
#include "platform/win/lasterror.h"
#include "platform/win/text.h"
#include "tests/winbase/test_env.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <thread>

using quavix::test::ScopedEnv;
using quavix::test::TempDir;

namespace {

std::u16string ToWide(const std::string &s, DWORD flags = 0) {
  int n = MultiByteToWideChar(CP_ACP, flags, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::u16string w(static_cast<size_t>(n), u'\0');
  if (n > 0) {
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, flags, s.data(), static_cast<int>(s.size()), w.data(), n),
              n);
  }
  return w;
}

std::string ToNarrow(const std::u16string &w, DWORD flags = 0, BOOL *usedDefault = nullptr) {
  int n = WideCharToMultiByte(CP_UTF8, flags, w.data(), static_cast<int>(w.size()), nullptr, 0,
                              nullptr, usedDefault);
  std::string s(static_cast<size_t>(n), '\0');
  if (n > 0) {
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, flags, w.data(), static_cast<int>(w.size()), s.data(), n,
                                  nullptr, usedDefault),
              n);
  }
  return s;
}

TEST(TextConversion, RoundTripsIncludingCharactersBeyondTheBmp) {
  const std::string utf8 = "C:/Music/My Song – Grüße € \xF0\x9F\x8E\xB5.mid";
  const std::u16string expected = u"C:/Music/My Song – Grüße € \U0001F3B5.mid";
  std::u16string wide = ToWide(utf8);
  EXPECT_EQ(wide, expected);
  EXPECT_EQ(wide.size(), expected.size());  // the note is a surrogate pair
  EXPECT_EQ(ToNarrow(wide), utf8);
}

TEST(TextConversion, WholeStringLengthAndBufferSizes) {
  // -1: the terminator is converted and counted.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
  WCHAR buf[8];
  std::fill(std::begin(buf), std::end(buf), u'x');
  ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, buf, 8), 4);
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_EQ(buf[4], u'x');  // nothing written past the result

  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", -1, buf, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 0, buf, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  char out[4];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u20AC", -1, nullptr, 0, nullptr, nullptr),
            4);  // 3 bytes + zero
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u20AC", -1, out, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u20AC", -1, out, 4, nullptr, nullptr), 4);
  EXPECT_STREQ(out, "\xE2\x82\xAC");
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", -1, buf, 8), 0);  // no other code pages here
}

TEST(TextConversion, IllFormedInputIsReplacedOrRefused) {
  const struct {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"a\xFF"
       "b",
       u"a\uFFFDb"},
      {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong '/'
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {"\xE2\x82"
       "A",
       u"\uFFFDA"},                                       // cut sequence
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
  };
  for (const auto &c : cases) {
    EXPECT_EQ(ToWide(c.in), c.out) << c.in;
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, c.in.data(),
                                  static_cast<int>(c.in.size()), nullptr, 0),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  }
  BOOL used = FALSE;
  const std::u16string lone = {u'a', static_cast<char16_t>(0xD800), u'b'};
  EXPECT_EQ(ToNarrow(lone, 0, &used),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_TRUE(used);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone.data(), 3, nullptr, 0, nullptr,
                                nullptr),
            0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(LastError, IsPerThread) {
  SetLastError(1234);
  DWORD seenByOther = 99;
  std::thread([&] {
    seenByOther = GetLastError();
    SetLastError(5);
  }).join();
  EXPECT_EQ(seenByOther, 0u);
  EXPECT_EQ(GetLastError(), 1234u);
}

TEST(Formatting, WsprintfFormatsAndStopsAt1024Bytes) {
  char buf[2048];
  EXPECT_EQ(wsprintfA(buf, "%02d:%02d:%02d", 1, 2, 3), 8);
  EXPECT_STREQ(buf, "01:02:03");
  EXPECT_EQ(wsprintfA(buf, "%skqzttemp.wav", "/run/user/1000/"), 27);
  EXPECT_STREQ(buf, "/run/user/1000/kqzttemp.wav");

  std::string longText(2000, 'a');
  std::fill(std::begin(buf), std::end(buf), 'z');
  EXPECT_EQ(wsprintfA(buf, "%s", longText.c_str()), 1023);
  EXPECT_EQ(buf[1023], '\0');
  EXPECT_EQ(buf[1024], 'z');
  EXPECT_EQ(std::string(buf), longText.substr(0, 1023));
}

// Captures what OutputDebugStringA writes to standard error.
std::string DebugOutputOf(const char *text) {
  TempDir dir;
  std::string file = dir.File("stderr");
  fflush(stderr);
  int saved = dup(2);
  int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(fd, 2);
  close(fd);
  OutputDebugStringA(text);
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  return quavix::test::ReadWholeFile(file);
}

TEST(DebugOutput, OnlyWhenAskedFor) {
  {
    ScopedEnv off("QUAVIX_DEBUG", nullptr);
    EXPECT_EQ(DebugOutputOf("FAILED(0x80004005) hr = x\n"), "");
  }
  {
    ScopedEnv zero("QUAVIX_DEBUG", "0");
    EXPECT_EQ(DebugOutputOf("quiet\n"), "");
  }
  ScopedEnv on("QUAVIX_DEBUG", "1");
  EXPECT_EQ(DebugOutputOf("FAILED(0x80004005) hr = x\n"), "FAILED(0x80004005) hr = x\n");
}

}  // namespace
