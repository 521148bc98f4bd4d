#include "ui/home_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

std::string HomeFolderFallback() {
  std::string home;
  if (const char *env = std::getenv("HOME"); env && env[0] == '/') {
    home = env;
  } else {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd *found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
      home = found->pw_dir;
  }
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  if (home.empty() || home == "/") return "/";
  return home + "/";
}
