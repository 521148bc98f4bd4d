#include "tests/support/private_home.h"

#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

namespace quavix::test {

namespace fs = std::filesystem;

namespace {
void MakePrivateFolder(const std::string &path) {
  fs::create_directories(path);
  if (::chmod(path.c_str(), 0700) != 0) throw std::runtime_error("chmod " + path);
}
}  // namespace

PrivateHome::PrivateHome() {
  root = folder_.path();
  home = root + "/home";
  config = root + "/config";
  runtime = root + "/runtime";
  cache = root + "/cache";
  data = root + "/data";
  MakePrivateFolder(home);
  MakePrivateFolder(config);
  MakePrivateFolder(runtime);
  Set("HOME", home);
  Set("XDG_CONFIG_HOME", config);
  Set("XDG_RUNTIME_DIR", runtime);
  Set("XDG_CACHE_HOME", cache);
  Set("XDG_DATA_HOME", data);
  Unset("QUAVIX_WINDOWS_MAJOR");
}

PrivateHome::~PrivateHome() {
  while (!variables_.empty()) variables_.pop_back();
}

void PrivateHome::Set(const std::string &name, const std::string &value) {
  variables_.emplace_back(name.c_str(), value);
}

void PrivateHome::Unset(const std::string &name) { variables_.emplace_back(name.c_str(), nullptr); }

void PrivateHome::MakeMusicFolder() { fs::create_directories(home + "/Music"); }

std::string PrivateHome::MakeDeepCacheFolder(std::size_t length) {
  const size_t ownPart = std::string("/quavix").size();
  std::string path = root + "/deep";
  while (path.size() + ownPart < length) {
    size_t part = std::min<size_t>(100, length - ownPart - path.size() - 1);
    if (part == 0) part = 1;
    path += "/" + std::string(part, 'd');
  }
  path.resize(length - ownPart);
  if (path.back() == '/') path.back() = 'e';
  MakePrivateFolder(path);
  Set("XDG_CACHE_HOME", path);
  return path + "/quavix";
}

}  // namespace quavix::test
