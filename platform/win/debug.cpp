#include "platform/win/debug.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void OutputDebugStringA(LPCSTR lpOutputString) {
  const char *on = std::getenv("QUAVIX_DEBUG");
  if (!on || !*on || std::strcmp(on, "0") == 0 || !lpOutputString) return;
  std::fputs(lpOutputString, stderr);
  std::fflush(stderr);
}
