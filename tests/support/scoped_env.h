// One environment variable changed for the object's life and restored as it
// was (set or unset) when it goes. Header-only: any test program may include
// it.
#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

namespace quavix::test {

class ScopedEnv {
 public:
  // value null: unset while in scope.
  ScopedEnv(const char *name, const char *value) : name_(name) {
    if (const char *old = getenv(name)) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ScopedEnv(const char *name, const std::string &value) : ScopedEnv(name, value.c_str()) {}
  ~ScopedEnv() {
    if (old_)
      setenv(name_.c_str(), old_->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace quavix::test
