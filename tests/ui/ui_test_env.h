// A private home for one test: HOME, XDG_CONFIG_HOME (where the registry
// file lives), XDG_CACHE_HOME (where the temporary folder is made) and
// XDG_RUNTIME_DIR point into a
// fresh folder that is removed afterwards, so no test touches a person's
// settings. Environment variables changed through Set are restored.
#pragma once

#include "tests/support/temp_dir.h"

#include <map>
#include <optional>
#include <string>

class UiTestEnvironment {
 public:
  UiTestEnvironment();
  ~UiTestEnvironment();
  UiTestEnvironment(const UiTestEnvironment &) = delete;
  UiTestEnvironment &operator=(const UiTestEnvironment &) = delete;

  // Sets an environment variable for the test's duration.
  void Set(const std::string &name, const std::string &value);
  // Creates $HOME/Music, the music folder the shell lookup finds.
  void MakeMusicFolder();
  // Points XDG_CACHE_HOME at a new private folder whose temporary folder
  // (<folder>/quavix) is `length` characters long; returns that path.
  std::string MakeDeepCacheFolder(size_t length);

  std::string root, home, config, runtime, cache;

 private:
  quavix::test::TempDir folder_{"quavix-ui"};
  std::map<std::string, std::optional<std::string>> saved_;
};
