// A fresh private folder under $TMPDIR (or /tmp), removed with everything in
// it when the object goes. Folders a test made unreadable or read-only are
// opened up again first, so nothing is left behind.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace quavix::test {

class TempDir {
 public:
  // `prefix` names the folder (prefix-XXXXXX), so a left-over one tells
  // which tests made it.
  explicit TempDir(const std::string &prefix = "quavix-test") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
      throw std::system_error(errno, std::generic_category(), "cannot create " + pattern);
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    OpenUp(path_);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const { return path_; }
  // `name` inside the folder (no check that it exists).
  std::string File(const std::string &name) const { return path_ + "/" + name; }

 private:
  static void OpenUp(const std::filesystem::path &dir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    std::vector<fs::path> subfolders;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
      if (it->is_directory(ec) && !it->is_symlink(ec)) subfolders.push_back(it->path());
    for (const fs::path &sub : subfolders) OpenUp(sub);
  }

  std::string path_;
};

}  // namespace quavix::test
