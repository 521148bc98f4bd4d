// The output folder of last resort: the home folder, always one trailing '/',
// so that a file name can be appended to it directly.
#include "ui/home_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

class HomeFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char *h = std::getenv("HOME")) saved_ = h;
  }
  void TearDown() override {
    if (saved_)
      setenv("HOME", saved_->c_str(), 1);
    else
      unsetenv("HOME");
  }
  std::optional<std::string> saved_;
};

TEST_F(HomeFolderTest, EndsWithExactlyOneSlash) {
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(HomeFolderFallback(), "/home/someone/");
  setenv("HOME", "/home/someone//", 1);
  EXPECT_EQ(HomeFolderFallback(), "/home/someone/");
  setenv("HOME", "/", 1);
  EXPECT_EQ(HomeFolderFallback(), "/");
}

TEST_F(HomeFolderTest, UnusableHomeFallsBackToTheUsersEntry) {
  for (const char *bad : {"", "relative/home"}) {
    setenv("HOME", bad, 1);
    std::string folder = HomeFolderFallback();
    ASSERT_FALSE(folder.empty()) << bad;
    EXPECT_EQ(folder.front(), '/') << "never a relative folder: " << folder;
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(folder.find("relative"), std::string::npos);
  }
  unsetenv("HOME");
  std::string folder = HomeFolderFallback();
  EXPECT_EQ(folder.front(), '/');
  EXPECT_EQ(folder.back(), '/');
}

}  // namespace
