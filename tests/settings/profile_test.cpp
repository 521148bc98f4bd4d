#include "platform/reg/registry.h"
#include "settings/app_name.h"
#include "settings/profile.h"
#include "settings/writer_handoff.h"
#include "platform/win/lasterror.h"
#include "tests/winbase/test_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;
using quavix::test::ReadWholeFile;
using quavix::test::ScopedEnv;
using quavix::test::TempDir;

namespace {

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_.emplace("XDG_CONFIG_HOME", dir_.path());
    handles_ = quavix::reg::OpenKeyHandleCount();
  }
  void TearDown() override {
    EXPECT_EQ(quavix::reg::OpenKeyHandleCount(), handles_) << "a key was left open";
  }

  int GetInt(const char *entry, int def, const char *app = "vorlinta") {
    return ProfileGetInt(kProfileMakerKey, app, "Option", entry, def);
  }
  std::string GetString(const char *entry, const char *def, const char *app = "vorlinta") {
    return ProfileGetString(kProfileMakerKey, app, "Option", entry, def);
  }
  bool KeyExists(const char *path) {
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
  }

  TempDir dir_;
  std::optional<ScopedEnv> config_;
  size_t handles_ = 0;
};

TEST_F(ProfileTest, FirstRunGivesDefaultsAndAReadCreatesTheSection) {
  EXPECT_FALSE(KeyExists("Software\\ZORVEKA"));
  EXPECT_EQ(GetInt("nSoundCaptureIndex", 0), 0);
  EXPECT_EQ(GetInt("nSearchFlag", -3), -3);
  EXPECT_EQ(GetString("LastPhotoFolder", ""), "");
  EXPECT_EQ(GetString("last_output_folder", "/home/me/Music/"), "/home/me/Music/");
  EXPECT_TRUE(KeyExists("Software\\ZORVEKA\\vorlinta\\Option"));
}

TEST_F(ProfileTest, ValuesRoundTripWithTheirTypes) {
  ASSERT_TRUE(ProfileSetInt(kProfileMakerKey, "vorlinta", "Option", "nSoundCaptureIndex", 3));
  ASSERT_TRUE(ProfileSetInt(kProfileMakerKey, "vorlinta", "Option", "nCapturePinIndex", -1));
  ASSERT_TRUE(ProfileSetString(kProfileMakerKey, "vorlinta", "Option", "last_output_folder",
                               "/home/me/Müsik/"));
  ASSERT_TRUE(ProfileSetString(kProfileMakerKey, "vorlinta", "Option", "LastPhotoFolder", ""));
  EXPECT_EQ(GetInt("nSoundCaptureIndex", 0), 3);
  EXPECT_EQ(GetInt("NCAPTUREPININDEX", 0), -1);
  EXPECT_EQ(GetString("last_output_folder", "x"), "/home/me/Müsik/");
  EXPECT_EQ(GetString("LastPhotoFolder", "default"), "");  // stored empty, not missing

  // Stored as REG_DWORD of 4 bytes and REG_SZ counting its zero.
  HKEY k;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\ZORVEKA\\VORLINTA\\Option", 0, KEY_READ, &k),
      ERROR_SUCCESS);
  DWORD type = 0, cb = 0;
  ASSERT_EQ(RegQueryValueExA(k, "nSoundCaptureIndex", nullptr, &type, nullptr, &cb), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(cb, 4u);
  ASSERT_EQ(RegQueryValueExA(k, "last_output_folder", nullptr, &type, nullptr, &cb), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(cb, std::strlen("/home/me/Müsik/") + 1);
  RegCloseKey(k);

  // A null string removes the entry.
  ASSERT_TRUE(ProfileSetString(kProfileMakerKey, "vorlinta", "Option", "LastPhotoFolder", nullptr));
  EXPECT_EQ(GetString("LastPhotoFolder", "default"), "default");
}

TEST_F(ProfileTest, ValuesOfTheWrongKindReadAsDefaults) {
  ASSERT_TRUE(ProfileSetString(kProfileMakerKey, "vorlinta", "Option", "nSearchFlag", "1"));
  EXPECT_EQ(GetInt("nSearchFlag", 0), 0);
  ASSERT_TRUE(ProfileSetInt(kProfileMakerKey, "vorlinta", "Option", "last_output_folder", 7));
  EXPECT_EQ(GetString("last_output_folder", "fallback"), "fallback");
  HKEY k;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\ZORVEKA\\vorlinta\\Option", &k),
            ERROR_SUCCESS);
  const BYTE eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(RegSetValueExA(k, "b_only_once", 0, REG_BINARY, eight, 8), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(GetInt("b_only_once", 0), 0);
  // No maker or application name: nothing is read or written.
  EXPECT_FALSE(ProfileSetInt(kProfileMakerKey, "", "Option", "x", 1));
  EXPECT_EQ(ProfileGetInt(nullptr, "vorlinta", "Option", "nSoundCaptureIndex", 9), 9);
}

TEST_F(ProfileTest, OtherApplicationNameHasItsOwnProfile) {
  ASSERT_TRUE(ProfileSetInt(kProfileMakerKey, "vorlinta", "Option", "nSoundCaptureIndex", 2));
  EXPECT_EQ(GetInt("nSoundCaptureIndex", 0, "VORLINTA"), 2);  // case does not matter
  EXPECT_EQ(GetInt("nSoundCaptureIndex", 0, "renamed"), 0);
  EXPECT_EQ(GetString("last_output_folder", "/m/", "renamed"), "/m/");

  EXPECT_EQ(AppNameFromExecutablePath("/usr/bin/vorlinta"), "vorlinta");
  EXPECT_EQ(AppNameFromExecutablePath("C:/Program Files/Q/VORLINTA.EXE"), "VORLINTA");
  EXPECT_EQ(AppNameFromExecutablePath("/opt/x/my.tool.bin"), "my.tool");
  EXPECT_EQ(AppNameFromExecutablePath("/opt/x.d/tool"), "tool");
  EXPECT_EQ(AppNameOfThisProcess(), "settings_test");
}

// The probe is a real executable that reads and writes its own profile; run
// under two names it must see two profiles.
std::string RunProbe(const std::string &exe, const std::string &args) {
  std::string out;
  FILE *p = popen(("'" + exe + "' " + args).c_str(), "r");
  if (!p) return out;
  char buf[256];
  while (fgets(buf, sizeof buf, p)) out += buf;
  pclose(p);
  return out;
}

TEST_F(ProfileTest, RenamedExecutableStartsWithFreshDefaults) {
  const std::string shipped = dir_.File("vorlinta"), renamed = dir_.File("quavix-copy"),
                    upper = dir_.File("VORLINTA.EXE");
  for (const std::string &name : {shipped, renamed, upper})
    fs::copy_file(QUAVIX_SETTINGS_PROBE, name);
  EXPECT_EQ(RunProbe(shipped, "set 5"), "vorlinta 5\n");
  EXPECT_EQ(RunProbe(shipped, "get"), "vorlinta 5\n");
  EXPECT_EQ(RunProbe(renamed, "get"), "quavix-copy 0\n");
  EXPECT_EQ(RunProbe(upper, "get"), "VORLINTA 5\n");
  EXPECT_EQ(GetInt("nSoundCaptureIndex", 0), 5);
}

TEST_F(ProfileTest, HandOffWritesSubkeyDefaultsBesideTheProfile) {
  ASSERT_TRUE(ProfileSetInt(kProfileMakerKey, "vorlinta", "Option", "nSearchFlag", 1));
  ASSERT_TRUE(WriteWriterHandOff("/home/me/Music/My Song.wma", 0));
  std::string path = "?";
  int wave = -1;
  ASSERT_TRUE(ReadWriterHandOff(&path, &wave));
  EXPECT_EQ(path, "/home/me/Music/My Song.wma");
  EXPECT_EQ(wave, 0);

  HKEY k;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\ZORVEKA\\vorlinta", 0, KEY_READ, &k),
            ERROR_SUCCESS);
  char buf[300];
  LONG cb = sizeof buf;
  ASSERT_EQ(RegQueryValueA(k, "OutputWMAName", buf, &cb), ERROR_SUCCESS);
  EXPECT_STREQ(buf, "/home/me/Music/My Song.wma");
  cb = sizeof buf;
  ASSERT_EQ(RegQueryValueA(k, "outputwave", buf, &cb), ERROR_SUCCESS);
  EXPECT_STREQ(buf, "0");
  EXPECT_EQ(cb, 2);
  // No named values on the key itself.
  DWORD dcb = 0;
  EXPECT_EQ(RegQueryValueExA(k, "OutputWMAName", nullptr, nullptr, nullptr, &dcb),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(k, nullptr, nullptr, nullptr, nullptr, &dcb), ERROR_FILE_NOT_FOUND);
  RegCloseKey(k);
  EXPECT_EQ(GetInt("nSearchFlag", 0), 1);  // the profile is untouched
  // One key holds both: the hand-off's VORLINTA is the profile's vorlinta.
  std::string text = ReadWholeFile(quavix::reg::RegistryFilePath());
  EXPECT_EQ(text.find("VORLINTA"), std::string::npos) << text;
}

TEST_F(ProfileTest, HandOffRefusesPathsTheBufferCannotHold) {
  const std::string longest(255, 'p');
  ASSERT_TRUE(WriteWriterHandOff(("/" + longest.substr(1)).c_str(), 0));
  std::string path;
  ASSERT_TRUE(ReadWriterHandOff(&path, nullptr));
  EXPECT_EQ(path.size(), 255u);

  SetLastError(0);
  EXPECT_FALSE(WriteWriterHandOff(("/" + std::string(255, 'q')).c_str(), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  ASSERT_TRUE(ReadWriterHandOff(&path, nullptr));
  EXPECT_EQ(path, "/" + longest.substr(1));  // the earlier value, not a cut new one
  EXPECT_FALSE(WriteWriterHandOff(nullptr, 0));
}

TEST_F(ProfileTest, HandOffReportsARegistryItCannotWrite) {
  EXPECT_FALSE(ReadWriterHandOff(nullptr, nullptr));  // nothing handed over yet
  ASSERT_TRUE(ProfileSetInt(kProfileMakerKey, "vorlinta", "Option", "nSearchFlag", 1));
  fs::permissions(quavix::reg::RegistryFilePath(), fs::perms::owner_read);
  EXPECT_FALSE(WriteWriterHandOff("/out/a.wma", 0));
  EXPECT_FALSE(ProfileSetInt(kProfileMakerKey, "vorlinta", "Option", "nSearchFlag", 0));
  EXPECT_EQ(GetInt("nSearchFlag", 0), 1);
  EXPECT_FALSE(ReadWriterHandOff(nullptr, nullptr));
}

}  // namespace
