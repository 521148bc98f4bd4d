#include "platform/win/system.h"
#include "settings/paths.h"
#include "tests/winbase/test_env.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;
using quavix::test::ScopedEnv;
using quavix::test::TempDir;
using quavix::test::WriteWholeFile;

namespace {

std::string Proposed(const std::string &folder, const char *midi) {
  std::string out = "untouched";
  EXPECT_TRUE(ProposeOutputPath(folder, midi, &out)) << midi;
  return out;
}

std::string Browsed(const char *confirmed) {
  std::string out;
  EXPECT_TRUE(BrowseOutputPath(confirmed, &out)) << confirmed;
  return out;
}

TEST(PathRules, FolderAndTail) {
  EXPECT_EQ(GetFolderOfPath("/a/b.mid"), "/a/");
  EXPECT_EQ(GetFolderOfPath("b.mid"), "");
  EXPECT_EQ(GetFolderOfPath("/"), "/");
  EXPECT_EQ(GetPathTail("/home/me/"), "/");  // the stand-in for "c:\"
  EXPECT_EQ(GetPathTail("/a/b.mid"), "/b.mid");
  EXPECT_EQ(GetPathTail("b.mid"), "");
  // Backslashes are ordinary characters here.
  EXPECT_EQ(GetFolderOfPath("C:\\a\\b.mid"), "");
  EXPECT_EQ(GetFolderOfPath("/x/Grüße\\y/z"), "/x/Grüße\\y/");
}

TEST(PathRules, MediaFileName) {
  char out[MAX_PATH] = "untouched";
  EXPECT_FALSE(GetMediaFileName("", out));
  EXPECT_STREQ(out, "untouched");
  ASSERT_TRUE(GetMediaFileName("/music/My Song.mid", out));
  EXPECT_STREQ(out, "My Song.mid");
  ASSERT_TRUE(GetMediaFileName("song", out));
  EXPECT_STREQ(out, "song");
  // Fourth or fifth character a colon: a URL, shown whole.
  ASSERT_TRUE(GetMediaFileName("http://example.org/a.mid", out));
  EXPECT_STREQ(out, "http://example.org/a.mid");
  ASSERT_TRUE(GetMediaFileName("ftp:/x/a.mid", out));
  EXPECT_STREQ(out, "ftp:/x/a.mid");
  ASSERT_TRUE(GetMediaFileName("/x:/a.mid", out));  // colon third: an ordinary path
  EXPECT_STREQ(out, "a.mid");
  ASSERT_TRUE(GetMediaFileName("/abcde:/a.mid", out));  // colon sixth
  EXPECT_STREQ(out, "a.mid");

  char small[8] = "keep";
  EXPECT_FALSE(GetMediaFileName("/m/longer-name.mid", small, sizeof small));  // refused, not cut
  EXPECT_STREQ(small, "keep");
}

TEST(PathRules, ProposedOutputName) {
  EXPECT_EQ(Proposed("/out/", "/music/My Song.mid"), "/out/My Song.wma");
  EXPECT_EQ(Proposed("/out/", "/music/song"), "/out/song.wma");
  EXPECT_EQ(Proposed("/out/", "/music/a.b.mid"), "/out/a.b.wma");
  // A stored folder without its '/' runs folder and name together.
  EXPECT_EQ(Proposed("/out", "/music/x.mid"), "/outx.wma");
  std::string out = "untouched";
  EXPECT_FALSE(ProposeOutputPath("/out/", "", &out));
  EXPECT_FALSE(ProposeOutputPath("/out/", ("/m/" + std::string(256, 'n') + ".mid").c_str(), &out));
  EXPECT_EQ(out, "untouched");
  EXPECT_EQ(Proposed("/out/", ("/m/" + std::string(255, 'n') + ".mid").c_str()),
            "/out/" + std::string(255, 'n') + ".wma");
}

TEST(PathRules, BrowseRules) {
  EXPECT_EQ(Browsed("/My.Folder/track"), "/My.Folder/track.wma");
  EXPECT_EQ(Browsed("/Out/x.mp3"), "/Out/x.wma");
  EXPECT_EQ(Browsed("/Out/x.wma"), "/Out/x.wma");
  EXPECT_EQ(Browsed("bare.name.ogg"), "bare.name.wma");
  std::string out = "untouched";
  EXPECT_FALSE(BrowseOutputPath("", &out));
  EXPECT_FALSE(BrowseOutputPath(std::string(kFileDialogBufferSize, 'p').c_str(), &out));
  EXPECT_EQ(out, "untouched");

  EXPECT_EQ(BrowseInitialFolder("/Out/song.wma"), "/Out");
  EXPECT_EQ(BrowseInitialFolder("song.wma"), ".");
  EXPECT_EQ(BrowseInitialFolder("/song.wma"), "/");
}

TEST(PathRules, FileExistsOnlyForReadableRegularFiles) {
  TempDir dir;
  std::string file = dir.File("song.wma"), link = dir.File("link.wma"),
              dangling = dir.File("dangling.wma"), fifo = dir.File("fifo.wma");
  WriteWholeFile(file, "x");
  ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
  ASSERT_EQ(symlink(dir.File("gone").c_str(), dangling.c_str()), 0);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_TRUE(FileExists(file.c_str()));
  EXPECT_TRUE(FileExists(link.c_str()));
  EXPECT_FALSE(FileExists(dangling.c_str()));
  EXPECT_FALSE(FileExists((dir.File("missing.wma")).c_str()));
  EXPECT_FALSE(FileExists(dir.path().c_str()));
  EXPECT_FALSE(FileExists(fifo.c_str()));  // and does not wait for a writer
  EXPECT_FALSE(FileExists(""));
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(file.c_str(), 0), 0);
    EXPECT_FALSE(FileExists(file.c_str()));
  }
}

TEST(PathRules, TemporaryWavFile) {
  TempDir dir;
  std::string cache = dir.File("cache");
  ASSERT_EQ(mkdir(cache.c_str(), 0700), 0);
  std::string wav;
  {
    ScopedEnv xdg("XDG_CACHE_HOME", cache);
    ASSERT_TRUE(MakeTempWavPath(&wav));
    EXPECT_EQ(wav, cache + "/quavix/kqzttemp.wav");
  }
  // A folder too long for the 260-byte buffer: no path rather than a cut one.
  // <deep>/quavix/ takes 255 bytes; the file name does not fit after it.
  ASSERT_LT(cache.size(), 40u);
  std::string deep = cache + "/" + std::string(200, 'd') + "/";
  deep += std::string(247 - deep.size(), 'e');
  fs::create_directories(deep);
  fs::permissions(deep, fs::perms::owner_all, fs::perm_options::replace);
  ScopedEnv xdg("XDG_CACHE_HOME", deep);
  char folder[MAX_PATH];
  ASSERT_GT(GetTempPathA(MAX_PATH, folder), 0u);  // the folder alone fits
  ASSERT_EQ(std::string(folder), deep + "/quavix/");
  EXPECT_FALSE(MakeTempWavPath(&wav));
  EXPECT_EQ(wav, "");

  // No private temporary folder at all.
  ScopedEnv noCache("XDG_CACHE_HOME", nullptr);
  ScopedEnv noHome("HOME", nullptr);
  ScopedEnv tmp("TMPDIR", dir.File("missing-base"));
  EXPECT_FALSE(MakeTempWavPath(&wav));
}

TEST(PathRules, HelpAndMediaPlayer) {
  EXPECT_EQ(HelpCommandLine("/opt/quavix/bin/vorlinta"),
            "hh.exe /opt/quavix/bin/help.chm::/Introduction.htm");
  EXPECT_EQ(MediaPlayerPath("/run/user/1000/"),
            "/ruProgram Files/Windows Media Player/mplayer2.exe");
  EXPECT_FALSE(FileExists(MediaPlayerPath("/run/user/1000/").c_str()));
  EXPECT_EQ(MediaPlayerPath(""), "");
}

}  // namespace
