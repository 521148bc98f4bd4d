#include "platform/win/system.h"

#include "platform/win/lasterror.h"
#include "platform/win/shell.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

char g_exeModule;
char g_shell32Module;

HMODULE ExeModule() { return reinterpret_cast<HMODULE>(&g_exeModule); }
HMODULE Shell32Module() { return reinterpret_cast<HMODULE>(&g_shell32Module); }

// Shared objects loaded through LoadLibraryA, with their load counts, so a
// stray handle is refused rather than handed to dlclose.
std::mutex g_modulesMutex;
std::unordered_map<void *, int> &LoadedModules() {
  static auto *m = new std::unordered_map<void *, int>();
  return *m;
}

bool IsPrivateFolder(const std::string &path, bool exactly0700) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return false;
  return exactly0700 ? (st.st_mode & 07777) == 0700
                     : (st.st_mode & 0077) == 0 && (st.st_mode & 0700) == 0700;
}

std::string WithoutTrailingSlashes(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// Makes `folder` (and its missing parents) with mode 0700; false when it
// cannot be had.
bool MakeFolders(const std::string &folder) {
  if (folder.empty() || folder == "/") return true;
  struct stat st;
  if (lstat(folder.c_str(), &st) == 0) return true;
  size_t slash = folder.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash)))
    return false;
  return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// The user's cache folder ($XDG_CACHE_HOME, else ~/.cache), or "".
std::string CacheHome() {
  const char *cache = std::getenv("XDG_CACHE_HOME");
  if (cache && cache[0] == '/') return WithoutTrailingSlashes(cache);
  const char *home = std::getenv("HOME");
  if (home && home[0] == '/') {
    std::string h = WithoutTrailingSlashes(home);
    return (h == "/" ? "" : h) + "/.cache";
  }
  return "";
}

// A folder of ours where others cannot reach: made 0700 when missing, and
// refused unless it is a real folder (not a link) of this user that nobody
// else may enter.
std::string OwnFolder(const std::string &base, const std::string &name) {
  if (base.empty() || !MakeFolders(base)) return "";
  std::string folder = (base == "/" ? "" : base) + "/" + name;
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return "";
  return IsPrivateFolder(folder, false) ? folder + "/" : "";
}

// The recording's temporary WAV grows by about 10 MB a minute, so it lives
// on disk, in the user's cache folder, not in $XDG_RUNTIME_DIR (memory,
// capped at a tenth of it). /tmp is only the fallback when there is no
// usable cache folder.
std::string PrivateTempFolder() {
  std::string folder = OwnFolder(CacheHome(), "quavix");
  if (!folder.empty()) return folder;
  const char *tmp = std::getenv("TMPDIR");
  std::string base = (tmp && tmp[0] == '/') ? WithoutTrailingSlashes(tmp) : "/tmp";
  if (base == "/") base.clear();
  folder = base + "/quavix-" + std::to_string(geteuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return "";
  return IsPrivateFolder(folder, false) ? folder + "/" : "";
}

}  // namespace

DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
  std::string folder = PrivateTempFolder();
  if (folder.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  if (!lpBuffer || nBufferLength <= folder.size()) return static_cast<DWORD>(folder.size() + 1);
  std::memcpy(lpBuffer, folder.c_str(), folder.size() + 1);
  return static_cast<DWORD>(folder.size());
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  DWORD major = 10;
  if (const char *forced = std::getenv("QUAVIX_WINDOWS_MAJOR"); forced && *forced) {
    char *end = nullptr;
    unsigned long v = std::strtoul(forced, &end, 10);
    if (*end == '\0' && v <= 0xFFFFFFFFul) major = static_cast<DWORD>(v);
  }
  info->dwMajorVersion = major;
  info->dwMinorVersion = 0;
  info->dwBuildNumber = 19045;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  info->szCSDVersion[0] = '\0';
  return TRUE;
}

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  std::string path;
  if (!hModule || hModule == ExeModule()) {
    std::string buf(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<size_t>(n) >= buf.size()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return 0;
    }
    path.assign(buf.data(), static_cast<size_t>(n));
  } else {
    std::lock_guard<std::mutex> lock(g_modulesMutex);
    link_map *lm = nullptr;
    if (!LoadedModules().count(hModule) || dlinfo(hModule, RTLD_DI_LINKMAP, &lm) != 0 || !lm ||
        !lm->l_name) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    path = lm->l_name;
  }
  if (!lpFilename || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() >= nSize) {
    std::memcpy(lpFilename, path.data(), nSize - 1);
    lpFilename[nSize - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  std::memcpy(lpFilename, path.c_str(), path.size() + 1);
  SetLastError(0);
  return static_cast<DWORD>(path.size());
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
  if (!lpModuleName) return ExeModule();
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

HMODULE LoadLibraryA(LPCSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (strcasecmp(name, "shell32.dll") == 0 || strcasecmp(name, "shell32") == 0)
    return Shell32Module();
  if (std::strchr(name, '/')) {
    void *h = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (h) {
      std::lock_guard<std::mutex> lock(g_modulesMutex);
      ++LoadedModules()[h];
      return reinterpret_cast<HMODULE>(h);
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (hModule == Shell32Module() && lpProcName && std::strcmp(lpProcName, "SHGetFolderPathA") == 0)
    return reinterpret_cast<FARPROC>(&SHGetFolderPathA);
  if (hModule && hModule != Shell32Module() && hModule != ExeModule() && lpProcName) {
    std::lock_guard<std::mutex> lock(g_modulesMutex);
    if (LoadedModules().count(hModule))
      if (void *sym = dlsym(hModule, lpProcName)) return reinterpret_cast<FARPROC>(sym);
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL FreeLibrary(HMODULE hLibModule) {
  if (hLibModule == Shell32Module()) return TRUE;
  std::lock_guard<std::mutex> lock(g_modulesMutex);
  auto it = hLibModule ? LoadedModules().find(hLibModule) : LoadedModules().end();
  if (it == LoadedModules().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (--it->second == 0) LoadedModules().erase(it);
  dlclose(hLibModule);
  return TRUE;
}
