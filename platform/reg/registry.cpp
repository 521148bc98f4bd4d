#include "platform/reg/registry.h"

#include "platform/reg/registry_text.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <mutex>
#include <unordered_set>
#include <vector>

using quavix::reg::RegKey;
using quavix::reg::RegValue;

struct HKEY__ {
  std::vector<std::string> path;  // names below HKEY_CURRENT_USER
  REGSAM access = 0;
};

namespace {

constexpr REGSAM kFullAccess = KEY_ALL_ACCESS;

std::mutex g_handleMutex;
std::unordered_set<HKEY__ *> &LiveHandles() {
  static auto *set = new std::unordered_set<HKEY__ *>();  // outlives static destructors
  return *set;
}

bool IsRootHandle(HKEY h) { return h == HKEY_CURRENT_USER; }

// Copies what a handle stands for; false for a handle that is not open.
bool ResolveHandle(HKEY h, std::vector<std::string> *path, REGSAM *access) {
  if (IsRootHandle(h)) {
    path->clear();
    *access = kFullAccess;
    return true;
  }
  std::lock_guard<std::mutex> lock(g_handleMutex);
  if (!h || !LiveHandles().count(h)) return false;
  *path = h->path;
  *access = h->access;
  return true;
}

HKEY NewHandle(std::vector<std::string> path, REGSAM access) {
  auto *h = new HKEY__{std::move(path), access};
  std::lock_guard<std::mutex> lock(g_handleMutex);
  LiveHandles().insert(h);
  return h;
}

// Splits "a\b\c" into names. One trailing backslash is allowed; empty names
// and over-long names are not.
bool SplitSubKey(LPCSTR subKey, std::vector<std::string> *out) {
  out->clear();
  if (!subKey || !*subKey) return true;
  std::string_view s(subKey);
  if (s.back() == '\\') s.remove_suffix(1);
  if (s.empty()) return false;
  size_t start = 0;
  while (true) {
    size_t sep = s.find('\\', start);
    std::string_view name =
        s.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start);
    if (name.empty() || name.size() > quavix::reg::kMaxKeyNameLength) return false;
    out->emplace_back(name);
    if (sep == std::string_view::npos) break;
    start = sep + 1;
  }
  return true;
}

struct StorePaths {
  std::string configDir;  // $XDG_CONFIG_HOME or ~/.config
  std::string dir;        // <configDir>/quavix
  std::string file;       // <dir>/registry
  std::string lock;       // <dir>/registry.lock
};

StorePaths CurrentPaths() {
  StorePaths p;
  const char *xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    p.configDir = xdg;
  } else {
    const char *home = std::getenv("HOME");
    std::string h = (home && home[0] == '/') ? home : "";
    if (h.empty()) {
      if (const passwd *pw = getpwuid(getuid()); pw && pw->pw_dir) h = pw->pw_dir;
    }
    p.configDir = h + "/.config";
  }
  p.dir = p.configDir + "/quavix";
  p.file = p.dir + "/registry";
  p.lock = p.dir + "/registry.lock";
  return p;
}

// The file as read: its identity, to tell whether a damaged file is still the
// one that was seen when it is set aside.
struct FileSeen {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
};

enum class LoadResult { Ok, Damaged, Unreadable };

// Reads and parses the file. A missing file is an empty registry. A symbolic
// link or anything but a regular file counts as unreadable: it is never
// followed.
LoadResult LoadFile(const StorePaths &p, RegKey *root, FileSeen *seen) {
  *root = RegKey{};
  *seen = FileSeen{};
  int fd = open(p.file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? LoadResult::Ok : LoadResult::Unreadable;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return LoadResult::Unreadable;
  }
  seen->exists = true;
  seen->dev = st.st_dev;
  seen->ino = st.st_ino;
  std::string text;
  char buf[65536];
  while (true) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return LoadResult::Unreadable;
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
    if (text.size() > quavix::reg::kMaxRegistryFileSize) break;  // absurd size: damaged
  }
  close(fd);
  return quavix::reg::ParseRegistryText(text, root) ? LoadResult::Ok : LoadResult::Damaged;
}

constexpr int kLockWaitMs = 5000;
constexpr int kLockPollMs = 10;

int OpenLock(const StorePaths &p, bool create) {
  if (create) {
    // Like mkdir -p: XDG_CONFIG_HOME may name a folder that does not exist yet.
    for (size_t slash = p.dir.find('/', 1); slash != std::string::npos;
         slash = p.dir.find('/', slash + 1))
      mkdir(p.dir.substr(0, slash).c_str(), 0700);
    mkdir(p.dir.c_str(), 0700);
  }
  int fd = open(p.lock.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
  if (fd < 0) return -1;
  // A writer holds the lock for the few milliseconds of one write. A copy
  // that hangs (or a stranger) holding it longer must not hang this one: the
  // operation then fails like any other unwritable settings file.
  for (int waitedMs = 0; flock(fd, LOCK_EX | LOCK_NB) != 0; waitedMs += kLockPollMs) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || waitedMs >= kLockWaitMs) {
      close(fd);
      return -1;
    }
    usleep(kLockPollMs * 1000);
  }
  return fd;
}

// Renames a damaged file aside, if it is still the one that was read. The
// caller holds the lock.
void SetAside(const StorePaths &p, const FileSeen &seen) {
  struct stat st;
  if (!seen.exists || lstat(p.file.c_str(), &st) != 0) return;
  if (st.st_dev != seen.dev || st.st_ino != seen.ino) return;
  static std::atomic<unsigned> counter{0};
  char stamp[32];
  time_t now = time(nullptr);
  struct tm tmv;
  gmtime_r(&now, &tmv);
  strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &tmv);
  std::string aside = p.file + ".damaged-" + stamp + "-" + std::to_string(getpid()) + "-" +
                      std::to_string(counter.fetch_add(1));
  rename(p.file.c_str(), aside.c_str());
}

// The registry as it is now, for reading. A damaged file is set aside and
// read as empty; an unreadable one reads as empty and stays where it is.
RegKey ReadTree() {
  StorePaths p = CurrentPaths();
  RegKey root;
  FileSeen seen;
  if (LoadFile(p, &root, &seen) != LoadResult::Damaged) return root;
  int lockFd = OpenLock(p, true);
  if (lockFd >= 0) {
    // Another writer may have replaced the file meanwhile; read again.
    LoadResult again = LoadFile(p, &root, &seen);
    if (again == LoadResult::Damaged) SetAside(p, seen);
    close(lockFd);
    if (again == LoadResult::Ok) return root;
  }
  return RegKey{};
}

bool WriteAll(int fd, const std::string &text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

constexpr char kTempPrefix[] = ".registry.tmp-";

// Temporary files are only made while the lock is held, so any found by the
// holder of the lock were left by a writer that died.
void RemoveStaleTemporaries(const StorePaths &p) {
  DIR *d = opendir(p.dir.c_str());
  if (!d) return;
  while (const dirent *e = readdir(d)) {
    if (std::strncmp(e->d_name, kTempPrefix, sizeof kTempPrefix - 1) == 0)
      unlinkat(dirfd(d), e->d_name, 0);
  }
  closedir(d);
}

// Applies a change under the lock to the latest file and replaces the file
// atomically. The change returns ERROR_SUCCESS and sets *changed when the
// file must be written.
LONG Mutate(const std::function<LONG(RegKey &root, bool *changed)> &change) {
  StorePaths p = CurrentPaths();
  int lockFd = OpenLock(p, true);
  if (lockFd < 0) return ERROR_ACCESS_DENIED;
  struct Unlock {
    int fd;
    ~Unlock() { close(fd); }
  } unlock{lockFd};

  RemoveStaleTemporaries(p);
  RegKey root;
  FileSeen seen;
  LoadResult lr = LoadFile(p, &root, &seen);
  if (lr == LoadResult::Unreadable) return ERROR_ACCESS_DENIED;
  if (lr == LoadResult::Damaged) SetAside(p, seen);
  if (seen.exists && lr == LoadResult::Ok) {
    // A file the user made read-only stays as it is.
    struct stat st;
    if (lstat(p.file.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0) return ERROR_ACCESS_DENIED;
  }

  bool changed = false;
  LONG rc = change(root, &changed);
  if (rc != ERROR_SUCCESS || !changed) return rc;

  std::string text = quavix::reg::SerializeRegistryText(root);
  static std::atomic<unsigned> counter{0};
  std::string tmp = p.dir + "/" + kTempPrefix + std::to_string(getpid()) + "-" +
                    std::to_string(counter.fetch_add(1));
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return ERROR_CANTWRITE;
  bool ok = WriteAll(fd, text) && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  if (!ok || rename(tmp.c_str(), p.file.c_str()) != 0) {
    unlink(tmp.c_str());
    return ERROR_CANTWRITE;
  }
  int dirFd = open(p.dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return ERROR_SUCCESS;
}

std::vector<std::string> Join(const std::vector<std::string> &a,
                              const std::vector<std::string> &b) {
  std::vector<std::string> r = a;
  r.insert(r.end(), b.begin(), b.end());
  return r;
}

// Copies data out with the Win32 size rules.
LONG CopyOut(const std::string &data, LPBYTE out, LPDWORD cb) {
  if (!cb) return out ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  DWORD have = *cb;
  *cb = static_cast<DWORD>(data.size());
  if (!out) return ERROR_SUCCESS;
  if (have < data.size()) return ERROR_MORE_DATA;
  if (!data.empty()) std::memcpy(out, data.data(), data.size());
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                        LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  std::vector<std::string> base, sub;
  REGSAM access;
  if (!ResolveHandle(hKey, &base, &access)) return ERROR_INVALID_HANDLE;
  if (!SplitSubKey(lpSubKey, &sub)) return ERROR_INVALID_PARAMETER;
  std::vector<std::string> full = Join(base, sub);
  if (full.size() > quavix::reg::kMaxKeyDepth) return ERROR_INVALID_PARAMETER;

  // Opening an existing key needs no write.
  RegKey root = ReadTree();
  if (!quavix::reg::FindKey(root, base)) return ERROR_KEY_DELETED;
  DWORD disposition = REG_OPENED_EXISTING_KEY;
  if (!quavix::reg::FindKey(root, full)) {
    if (!(access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    LONG rc = Mutate([&](RegKey &r, bool *changed) -> LONG {
      RegKey *k = quavix::reg::FindKey(r, base);
      if (!k) return ERROR_KEY_DELETED;
      for (const std::string &n : sub) {
        bool added = false;
        k = &k->SubkeyFor(n, &added);
        if (added) *changed = true;
      }
      disposition = *changed ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
      return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) return rc;
  }
  *phkResult = NewHandle(std::move(full), samDesired);
  if (lpdwDisposition) *lpdwDisposition = disposition;
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  return RegCreateKeyExA(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                         nullptr, phkResult, nullptr);
}

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  std::vector<std::string> base, sub;
  REGSAM access;
  if (!ResolveHandle(hKey, &base, &access)) return ERROR_INVALID_HANDLE;
  if (!SplitSubKey(lpSubKey, &sub)) return ERROR_INVALID_PARAMETER;
  std::vector<std::string> full = Join(base, sub);
  RegKey root = ReadTree();
  if (!quavix::reg::FindKey(root, full)) return ERROR_FILE_NOT_FOUND;
  *phkResult = NewHandle(std::move(full), samDesired);
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY hKey) {
  if (IsRootHandle(hKey)) return ERROR_SUCCESS;
  std::lock_guard<std::mutex> lock(g_handleMutex);
  if (!hKey || !LiveHandles().erase(hKey)) return ERROR_INVALID_HANDLE;
  delete hKey;
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE *lpData,
                       DWORD cbData) {
  std::vector<std::string> path;
  REGSAM access;
  if (!ResolveHandle(hKey, &path, &access)) return ERROR_INVALID_HANDLE;
  if (!(access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if ((!lpData && cbData) || cbData > quavix::reg::kMaxValueDataSize)
    return ERROR_INVALID_PARAMETER;
  std::string name = lpValueName ? lpValueName : "";
  if (name.size() > quavix::reg::kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  std::string data(reinterpret_cast<const char *>(lpData), lpData ? cbData : 0);
  return Mutate([&](RegKey &r, bool *changed) -> LONG {
    RegKey *k = quavix::reg::FindKey(r, path);
    if (!k) return ERROR_KEY_DELETED;
    k->SetValue(name, dwType, data);
    *changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData) {
  std::vector<std::string> path;
  REGSAM access;
  if (!ResolveHandle(hKey, &path, &access)) return ERROR_INVALID_HANDLE;
  if (!(access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  RegKey root = ReadTree();
  RegKey *k = quavix::reg::FindKey(root, path);
  if (!k) return ERROR_KEY_DELETED;
  const RegValue *v = k->FindValue(lpValueName ? lpValueName : "");
  if (!v) return ERROR_FILE_NOT_FOUND;
  if (lpType) *lpType = v->type;
  return CopyOut(v->data, lpData, lpcbData);
}

LSTATUS RegSetValueA(HKEY hKey, LPCSTR lpSubKey, DWORD dwType, LPCSTR lpData, DWORD) {
  std::vector<std::string> base, sub;
  REGSAM access;
  if (!ResolveHandle(hKey, &base, &access)) return ERROR_INVALID_HANDLE;
  if (dwType != REG_SZ || !lpData) return ERROR_INVALID_PARAMETER;
  if (!SplitSubKey(lpSubKey, &sub)) return ERROR_INVALID_PARAMETER;
  if (!(access & (sub.empty() ? KEY_SET_VALUE : KEY_CREATE_SUB_KEY))) return ERROR_ACCESS_DENIED;
  std::vector<std::string> full = Join(base, sub);
  if (full.size() > quavix::reg::kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
  std::string data(lpData, std::strlen(lpData) + 1);
  if (data.size() > quavix::reg::kMaxValueDataSize) return ERROR_INVALID_PARAMETER;
  return Mutate([&](RegKey &r, bool *changed) -> LONG {
    RegKey *k = quavix::reg::FindKey(r, base);
    if (!k) return ERROR_KEY_DELETED;
    for (const std::string &n : sub) k = &k->SubkeyFor(n);
    k->SetValue("", REG_SZ, data);
    *changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegQueryValueA(HKEY hKey, LPCSTR lpSubKey, LPSTR lpData, PLONG lpcbData) {
  std::vector<std::string> base, sub;
  REGSAM access;
  if (!ResolveHandle(hKey, &base, &access)) return ERROR_INVALID_HANDLE;
  if (!SplitSubKey(lpSubKey, &sub)) return ERROR_INVALID_PARAMETER;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  if (lpcbData && *lpcbData < 0) return ERROR_INVALID_PARAMETER;
  RegKey root = ReadTree();
  RegKey *k = quavix::reg::FindKey(root, Join(base, sub));
  if (!k) return ERROR_FILE_NOT_FOUND;
  const RegValue *v = k->FindValue("");
  std::string data = v ? v->data : std::string(1, '\0');
  if (!lpcbData) return ERROR_SUCCESS;
  DWORD cb = static_cast<DWORD>(*lpcbData);
  LONG rc = CopyOut(data, reinterpret_cast<LPBYTE>(lpData), &cb);
  *lpcbData = static_cast<LONG>(cb);
  return rc;
}

LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  std::vector<std::string> path;
  REGSAM access;
  if (!ResolveHandle(hKey, &path, &access)) return ERROR_INVALID_HANDLE;
  if (!(access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  std::string name = lpValueName ? lpValueName : "";
  return Mutate([&](RegKey &r, bool *changed) -> LONG {
    RegKey *k = quavix::reg::FindKey(r, path);
    if (!k) return ERROR_KEY_DELETED;
    if (!k->RemoveValue(name)) return ERROR_FILE_NOT_FOUND;
    *changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  std::vector<std::string> base, sub;
  REGSAM access;
  if (!ResolveHandle(hKey, &base, &access)) return ERROR_INVALID_HANDLE;
  if (!SplitSubKey(lpSubKey, &sub) || sub.empty()) return ERROR_INVALID_PARAMETER;
  std::vector<std::string> parentPath =
      Join(base, std::vector<std::string>(sub.begin(), sub.end() - 1));
  return Mutate([&](RegKey &r, bool *changed) -> LONG {
    RegKey *parent = quavix::reg::FindKey(r, parentPath);
    RegKey *k = parent ? parent->FindSubkey(sub.back()) : nullptr;
    if (!k) return ERROR_FILE_NOT_FOUND;
    if (!k->subkeys.empty()) return ERROR_ACCESS_DENIED;
    parent->RemoveSubkey(sub.back());
    *changed = true;
    return ERROR_SUCCESS;
  });
}

namespace quavix::reg {

std::string RegistryFilePath() { return CurrentPaths().file; }

size_t OpenKeyHandleCount() {
  std::lock_guard<std::mutex> lock(g_handleMutex);
  return LiveHandles().size();
}

}  // namespace quavix::reg
