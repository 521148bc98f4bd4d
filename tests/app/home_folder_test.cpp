// The output folder of last resort: the home folder, always one trailing '/',
// so that a file name can be appended to it directly.
#include "ui/home_folder.h"

#include "tests/support/scoped_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// Each test changes HOME; it gets its value back afterwards.
class HomeFolderTest : public ::testing::Test {
 protected:
  quavix::test::ScopedEnv home_{"HOME", std::getenv("HOME")};
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
