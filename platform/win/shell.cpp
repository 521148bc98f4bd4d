#include "platform/win/shell.h"

#include "platform/win/lasterror.h"

#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

extern char **environ;

namespace {

std::string HomeFolder() {
  const char *home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  if (const passwd *pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "";
}

std::string ConfigFolder() {
  const char *xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  return HomeFolder() + "/.config";
}

// XDG_MUSIC_DIR from user-dirs.dirs, by the rules of xdg-user-dirs: a quoted
// value, "$HOME" or "$HOME/..." or an absolute path; the last one wins.
std::string MusicFolder() {
  const std::string home = HomeFolder();
  std::string result;
  std::ifstream in(ConfigFolder() + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    size_t p = line.find_first_not_of(" \t");
    if (p == std::string::npos || line.compare(p, 13, "XDG_MUSIC_DIR") != 0) continue;
    p = line.find_first_not_of(" \t", p + 13);
    if (p == std::string::npos || line[p] != '=') continue;
    p = line.find_first_not_of(" \t", p + 1);
    if (p == std::string::npos || line[p] != '"') continue;
    std::string value;
    bool closed = false;
    for (++p; p < line.size(); ++p) {
      if (line[p] == '\\' && p + 1 < line.size()) {
        value += line[++p];
      } else if (line[p] == '"') {
        closed = true;
        break;
      } else {
        value += line[p];
      }
    }
    if (!closed) continue;
    if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/')) {
      result = home + value.substr(5);
    } else if (!value.empty() && value[0] == '/') {
      result = value;
    }
  }
  if (result.empty()) result = home + "/Music";
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

enum class SpawnResult { Started, NotFound, Failed };

// Starts argv[0] with the arguments, detached: an intermediate child starts
// the program and exits at once, so the program is adopted by init and never
// becomes our zombie. Everything that allocates is prepared before the fork.
SpawnResult SpawnDetached(const std::vector<std::string> &args, const char *dir) {
  std::vector<char *> argv;
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) return SpawnResult::Failed;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return SpawnResult::Failed;
  }
  if (dir && *dir) posix_spawn_file_actions_addchdir_np(&actions, dir);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

  SpawnResult result = SpawnResult::Failed;
  pid_t middle = fork();
  if (middle == 0) {
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    _exit(rc == 0 ? 0 : (rc == ENOENT ? 2 : 3));
  }
  if (middle > 0) {
    int status = 0;
    pid_t w;
    do {
      w = waitpid(middle, &status, 0);
    } while (w < 0 && errno == EINTR);
    if (w < 0) {
      result = SpawnResult::Started;  // SIGCHLD ignored: the child reaped itself
    } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      result = SpawnResult::Started;
    } else if (WIFEXITED(status) && WEXITSTATUS(status) == 2) {
      result = SpawnResult::NotFound;
    }
  }
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return result;
}

}  // namespace

HRESULT SHGetFolderPathA(HWND, int csidl, HANDLE, DWORD, LPSTR pszPath) {
  if (!pszPath) return E_INVALIDARG;
  pszPath[0] = '\0';
  if ((csidl & 0xFF) != CSIDL_MYMUSIC) return E_INVALIDARG;
  std::string folder = MusicFolder();
  struct stat st;
  if (folder.size() >= static_cast<size_t>(MAX_PATH) || stat(folder.c_str(), &st) != 0 ||
      !S_ISDIR(st.st_mode))
    return E_FAIL;
  std::memcpy(pszPath, folder.c_str(), folder.size() + 1);
  return S_OK;
}

UINT WinExec(LPCSTR lpCmdLine, UINT) {
  if (!lpCmdLine) return 0;
  std::string line(lpCmdLine);
  size_t start = line.find_first_not_of(' ');
  if (start == std::string::npos) return ERROR_FILE_NOT_FOUND;
  line.erase(0, start);

  std::vector<std::string> args;
  constexpr std::string_view kHelpViewer = "hh.exe ";
  constexpr std::string_view kHelpFile = "help.chm::/";
  size_t chm = line.rfind(kHelpFile);
  if (line.compare(0, kHelpViewer.size(), kHelpViewer) == 0 && chm != std::string::npos) {
    std::string folder = line.substr(kHelpViewer.size(), chm - kHelpViewer.size());
    std::string page = line.substr(chm + kHelpFile.size());
    // Beside the program in a build folder; under share/ once installed.
    std::string help = folder + "help/" + page;
    std::string installed = folder + "../share/vorlinta/help/" + page;
    struct stat st;
    if (stat(help.c_str(), &st) != 0 && stat(installed.c_str(), &st) == 0) help = installed;
    args = {"xdg-open", help};
  } else {
    size_t blank = line.find(' ');
    args.push_back(line.substr(0, blank));
    if (blank != std::string::npos && blank + 1 < line.size())
      args.push_back(line.substr(blank + 1));
  }
  switch (SpawnDetached(args, nullptr)) {
    case SpawnResult::Started: return 33;
    case SpawnResult::NotFound: return ERROR_FILE_NOT_FOUND;
    default: return 0;
  }
}

HINSTANCE ShellExecuteA(HWND, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR, LPCSTR lpDirectory, INT) {
  auto result = [](INT_PTR v) { return reinterpret_cast<HINSTANCE>(v); };
  if (lpOperation && std::strcmp(lpOperation, "open") != 0) return result(SE_ERR_NOASSOC);
  if (!lpFile || !*lpFile) return result(ERROR_FILE_NOT_FOUND);
  std::string file(lpFile);
  if (file.find("://") == std::string::npos) {
    std::string probe = (file[0] != '/' && lpDirectory && *lpDirectory)
                            ? std::string(lpDirectory) + "/" + file
                            : file;
    struct stat st;
    if (stat(probe.c_str(), &st) != 0) return result(ERROR_FILE_NOT_FOUND);
    // A relative name beginning with '-' must not be read as an option.
    if (file[0] == '-') file = "./" + file;
  }
  switch (SpawnDetached({"xdg-open", file}, lpDirectory)) {
    case SpawnResult::Started: return result(42);
    case SpawnResult::NotFound: return result(ERROR_FILE_NOT_FOUND);
    default: return result(0);
  }
}
