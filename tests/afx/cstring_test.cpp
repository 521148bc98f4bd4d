// CString: the operations the program's path and text handling rely on.
#include "platform/afx/afxstr.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(CString, FormatBuildsTheCaptionAndGrowsPastAnyBuffer) {
  CString caption;
  caption.Format("%s   %02d:%02d:%02d", "Tune.mid", 1, 2, 5);
  EXPECT_STREQ(caption, "Tune.mid   01:02:05");
  EXPECT_EQ(caption.GetLength(), 19);
  std::string longName(5000, 'x');
  caption.Format("%s.wma", longName.c_str());
  EXPECT_EQ(caption.GetLength(), 5004);
  EXPECT_EQ(caption.Right(4), CString(".wma"));
}

TEST(CString, BufferRoundTrip) {
  CString path;
  char *buffer = path.GetBuffer(260);
  std::strcpy(buffer, "/home/u/Music/");
  path.ReleaseBuffer();
  EXPECT_EQ(path, "/home/u/Music/");
  EXPECT_EQ(path.GetLength(), 14);
  buffer = path.GetBuffer(0);  // keeps the text
  EXPECT_STREQ(buffer, "/home/u/Music/");
  path.ReleaseBuffer(5);
  EXPECT_EQ(path, "/home");
  path.GetBufferSetLength(3);
  path.ReleaseBuffer();
  EXPECT_EQ(path, "/ho");
}

TEST(CString, SearchAndCut) {
  CString s("C:/My.Folder/track.mid");
  EXPECT_EQ(s.ReverseFind('/'), 12);
  EXPECT_EQ(s.ReverseFind('.'), 18);
  EXPECT_EQ(s.Find('.'), 5);
  EXPECT_EQ(s.Find('.', 6), 18);
  EXPECT_EQ(s.Find("track"), 13);
  EXPECT_EQ(s.Find('#'), -1);
  EXPECT_EQ(s.Find('.', 99), -1);
  EXPECT_EQ(s.Left(12), "C:/My.Folder");
  EXPECT_EQ(s.Mid(13), "track.mid");
  EXPECT_EQ(s.Mid(13, 5), "track");
  EXPECT_EQ(s.Mid(40), "");
  EXPECT_EQ(s.Left(-3), "");
  EXPECT_EQ(s.Right(100), s);
}

TEST(CString, ConcatenationAndComparison) {
  CString folder = "/out/";
  CString path = folder + "song" + ".wma";
  EXPECT_EQ(path, "/out/song.wma");
  path += '!';
  path += CString("?");
  EXPECT_EQ(path, "/out/song.wma!?");
  EXPECT_TRUE(CString("a") < CString("b"));
  EXPECT_TRUE("x" != CString("y"));
  EXPECT_EQ(CString("MiXed").CompareNoCase("mixed"), 0);
  EXPECT_NE(CString("MiXed").Compare("mixed"), 0);
  CString nullText(static_cast<const char *>(nullptr));
  EXPECT_TRUE(nullText.IsEmpty());
  EXPECT_EQ(CString("  pad \t").Trim(), "pad");
}

TEST(CString, LoadStringReadsTheStringTable) {
  CString about;
  EXPECT_TRUE(about.LoadString(101));
  EXPECT_EQ(about, "&About Quavix");
  EXPECT_FALSE(about.LoadString(4711));
  EXPECT_TRUE(about.IsEmpty());
}
