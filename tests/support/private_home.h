// A private home for a test or a whole test program: HOME, XDG_CONFIG_HOME
// (where the registry file lives), XDG_RUNTIME_DIR, XDG_CACHE_HOME (where the
// temporary folder is made) and XDG_DATA_HOME point into a fresh folder that
// is removed afterwards, so no test reads or writes a person's settings.
// Environment variables changed through Set are restored when it goes.
#pragma once

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

#include <cstddef>
#include <deque>
#include <string>

namespace quavix::test {

class PrivateHome {
 public:
  PrivateHome();
  ~PrivateHome();
  PrivateHome(const PrivateHome &) = delete;
  PrivateHome &operator=(const PrivateHome &) = delete;

  // Sets (or unsets) an environment variable for the object's life.
  void Set(const std::string &name, const std::string &value);
  void Unset(const std::string &name);
  // Creates $HOME/Music, the music folder the shell lookup finds.
  void MakeMusicFolder();
  // Points XDG_CACHE_HOME at a new private folder whose temporary folder
  // (<folder>/quavix) is `length` characters long; returns that path.
  std::string MakeDeepCacheFolder(std::size_t length);

  // home, config and runtime exist (mode 0700); cache and data are made by
  // whoever writes there first.
  std::string root, home, config, runtime, cache, data;

 private:
  TempDir folder_{"quavix-home"};
  // Restored last to first, so a variable changed twice gets its first value.
  std::deque<ScopedEnv> variables_;
};

}  // namespace quavix::test
