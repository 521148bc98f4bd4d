// Helpers of the robustness tests: private mounts (the test program runs in
// a mount namespace of its own, so a full or read-only disk it makes is seen
// by no one else) and decoding what the program wrote.
#pragma once

#include "platform/win/windef.h"

#include <string>

namespace robust {

// True when the process could be given a mount namespace of its own at its
// start (as root); tests that mount skip otherwise.
bool HavePrivateMounts();

// A tmpfs mounted at `path` (created when missing) for the object's life.
class ScopedTmpfs {
 public:
  ScopedTmpfs(const std::string &path, const std::string &options);
  ~ScopedTmpfs();
  ScopedTmpfs(const ScopedTmpfs &) = delete;
  ScopedTmpfs &operator=(const ScopedTmpfs &) = delete;
  bool ok() const { return ok_; }
  // Makes the mount read-only from now on.
  bool MakeReadOnly();

 private:
  std::string path_;
  bool ok_ = false;
};

// How many seconds of sound a file decodes to; negative (with *error) when it
// does not decode.
double DecodedSeconds(const std::string &path, std::string *error);
// Whether the settings file at `path` is whole (parses, ends with its mark).
bool RegistryFileIsWhole(const std::string &path, std::string *error);

// Replaces the text of an edit control as a person would: select all, type.
void TypeInto(HWND dlg, int id, const std::string &text);

}  // namespace robust
