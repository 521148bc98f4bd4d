// What a window shows as its text (a caption, a control's label or
// contents), as the window layer gives it. Header-only, for any test program
// that links the window layer.
#pragma once

#include "platform/win/window.h"

#include <string>

namespace quavix::test {

inline std::string WindowText(HWND hwnd) {
  char buffer[1024] = "";
  GetWindowTextA(hwnd, buffer, sizeof buffer);
  return buffer;
}

}  // namespace quavix::test
