// A private home for one test: HOME, XDG_CONFIG_HOME (where the registry
// file lives) and XDG_RUNTIME_DIR (the private temporary folder) point into a
// fresh folder that is removed afterwards, so no test touches a person's
// settings. Environment variables changed through Set are restored.
#pragma once

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
  // Points XDG_RUNTIME_DIR at a new private folder whose path is `length`
  // characters long; returns that path.
  std::string MakeDeepRuntimeFolder(size_t length);

  std::string root, home, config, runtime;

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};
