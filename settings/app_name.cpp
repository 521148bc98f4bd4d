#include "settings/app_name.h"

#include "platform/win/system.h"

#include <vector>

std::string AppNameFromExecutablePath(LPCSTR exePath) {
  if (!exePath) return "";
  std::string name(exePath);
  if (size_t slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
  if (size_t dot = name.rfind('.'); dot != std::string::npos) name.erase(dot);
  return name;
}

std::string AppNameOfThisProcess() {
  std::vector<char> buf(4096);
  DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  if (n == 0 || n >= buf.size()) return "";
  return AppNameFromExecutablePath(buf.data());
}
