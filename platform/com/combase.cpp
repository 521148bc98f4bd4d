#include "platform/com/combase.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

// ---- initialisation -------------------------------------------------------

namespace {
struct ApartmentState {
  int count = 0;
  DWORD model = 0;
};
thread_local ApartmentState t_apartment;

constexpr DWORD kModelMask = COINIT_APARTMENTTHREADED;  // the bit that tells the two models apart
}  // namespace

HRESULT CoInitializeEx(LPVOID, DWORD dwCoInit) {
  DWORD model = dwCoInit & kModelMask;
  if (t_apartment.count > 0) {
    if (t_apartment.model != model) return RPC_E_CHANGED_MODE;
    ++t_apartment.count;
    return S_FALSE;
  }
  t_apartment.model = model;
  t_apartment.count = 1;
  return S_OK;
}

HRESULT CoInitialize(LPVOID pvReserved) {
  return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
  if (t_apartment.count > 0) --t_apartment.count;
}

// ---- class tables ---------------------------------------------------------

namespace {
struct BuiltInEntry {
  CLSID clsid;
  BuiltInClassFactoryFn factory;
};
struct ModuleEntry {
  CLSID clsid;
  std::string file;
};
struct LoadedModule {
  std::string file;
  void *handle;
  DllGetClassObjectFn entry;
};

struct ClassTables {
  std::mutex lock;
  std::vector<BuiltInEntry> builtIn;
  std::vector<ModuleEntry> modules{
      {MakeGuid("3c78b8e2-6c4d-11d1-ade2-0000f875a888"), "vorlinta-wmawriter.so"}};
  std::vector<LoadedModule> loaded;  // modules stay loaded: their objects may outlive any caller
};

ClassTables &Tables() {
  static ClassTables *tables = new ClassTables;  // never destroyed: objects may be released late
  return *tables;
}

std::string ExecutableFolder() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  buf[n] = 0;
  std::string path(buf);
  auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::vector<std::string> ModuleFolders() {
  std::vector<std::string> dirs;
  if (const char *env = std::getenv("QUAVIX_MODULE_DIR"); env && *env) {
    std::string d(env);
    if (d.back() != '/') d += '/';
    dirs.push_back(d);
  }
  std::string exe = ExecutableFolder();
  if (!exe.empty()) {
    dirs.push_back(exe);
    dirs.push_back(exe + "../lib/vorlinta/");
  }
  return dirs;
}

// Called with the table lock held. Null entry and hr set on failure.
DllGetClassObjectFn LoadModule(ClassTables &t, const std::string &file, HRESULT *hr) {
  for (const auto &m : t.loaded)
    if (m.file == file) return m.entry;
  // A module name is a plain file name: never let a table entry climb out
  // of the program's folders.
  if (file.empty() || file.find('/') != std::string::npos) {
    *hr = REGDB_E_CLASSNOTREG;
    return nullptr;
  }
  for (const auto &dir : ModuleFolders()) {
    std::string path = dir + file;
    if (access(path.c_str(), F_OK) != 0) continue;
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      std::fprintf(stderr, "quavix: cannot load module %s: %s\n", path.c_str(), dlerror());
      *hr = CO_E_ERRORINDLL;
      return nullptr;
    }
    auto entry = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    if (!entry) {
      std::fprintf(stderr, "quavix: module %s exports no DllGetClassObject\n", path.c_str());
      dlclose(handle);
      *hr = CO_E_ERRORINDLL;
      return nullptr;
    }
    t.loaded.push_back({file, handle, entry});
    return entry;
  }
  *hr = REGDB_E_CLASSNOTREG;
  return nullptr;
}

bool InProcess(DWORD ctx) { return (ctx & CLSCTX_INPROC) != 0; }
}  // namespace

void RegisterBuiltInClass(REFCLSID rclsid, BuiltInClassFactoryFn factory) {
  auto &t = Tables();
  std::lock_guard<std::mutex> g(t.lock);
  for (auto &e : t.builtIn)
    if (e.clsid == rclsid) {
      e.factory = factory;
      return;
    }
  t.builtIn.push_back({rclsid, factory});
}

bool UnregisterBuiltInClass(REFCLSID rclsid) {
  auto &t = Tables();
  std::lock_guard<std::mutex> g(t.lock);
  for (auto it = t.builtIn.begin(); it != t.builtIn.end(); ++it)
    if (it->clsid == rclsid) {
      t.builtIn.erase(it);
      return true;
    }
  return false;
}

void RegisterModuleClass(REFCLSID rclsid, const char *moduleFile) {
  auto &t = Tables();
  std::lock_guard<std::mutex> g(t.lock);
  for (auto &e : t.modules)
    if (e.clsid == rclsid) {
      e.file = moduleFile ? moduleFile : "";
      return;
    }
  t.modules.push_back({rclsid, moduleFile ? moduleFile : ""});
}

bool UnregisterModuleClass(REFCLSID rclsid) {
  auto &t = Tables();
  std::lock_guard<std::mutex> g(t.lock);
  for (auto it = t.modules.begin(); it != t.modules.end(); ++it)
    if (it->clsid == rclsid) {
      t.modules.erase(it);
      return true;
    }
  return false;
}

namespace {
// Finds the class: a built-in factory function or a module entry point.
HRESULT FindClass(REFCLSID rclsid, BuiltInClassFactoryFn *builtIn, DllGetClassObjectFn *module) {
  auto &t = Tables();
  std::lock_guard<std::mutex> g(t.lock);
  *builtIn = nullptr;
  *module = nullptr;
  for (const auto &e : t.builtIn)
    if (e.clsid == rclsid) {
      *builtIn = e.factory;
      return S_OK;
    }
  for (const auto &e : t.modules)
    if (e.clsid == rclsid) {
      HRESULT hr = S_OK;
      *module = LoadModule(t, e.file, &hr);
      return *module ? S_OK : hr;
    }
  return REGDB_E_CLASSNOTREG;
}
}  // namespace

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID *ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (t_apartment.count == 0) return CO_E_NOTINITIALIZED;
  if (!InProcess(dwClsContext)) return REGDB_E_CLASSNOTREG;
  BuiltInClassFactoryFn builtIn;
  DllGetClassObjectFn module;
  HRESULT hr = FindClass(rclsid, &builtIn, &module);
  if (FAILED(hr)) return hr;
  if (builtIn) {
    hr = builtIn(pUnkOuter, riid, ppv);
  } else {
    IClassFactory *factory = nullptr;
    hr = module(rclsid, IID_IClassFactory, reinterpret_cast<void **>(&factory));
    if (SUCCEEDED(hr) && !factory) hr = E_UNEXPECTED;
    if (SUCCEEDED(hr)) {
      hr = factory->CreateInstance(pUnkOuter, riid, ppv);
      factory->Release();
    }
  }
  if (FAILED(hr)) {
    *ppv = nullptr;
  } else if (!*ppv) {
    hr = E_UNEXPECTED;  // a class that reports success must hand out an object
  }
  return hr;
}

// ---- task memory ----------------------------------------------------------

LPVOID CoTaskMemAlloc(std::size_t cb) { return std::malloc(cb ? cb : 1); }
LPVOID CoTaskMemRealloc(LPVOID pv, std::size_t cb) { return std::realloc(pv, cb ? cb : 1); }
void CoTaskMemFree(LPVOID pv) { std::free(pv); }

// ---- BSTR -----------------------------------------------------------------

namespace {
constexpr std::size_t kPrefix = sizeof(std::uint32_t);

std::uint32_t *Prefix(BSTR b) {
  return reinterpret_cast<std::uint32_t *>(reinterpret_cast<char *>(b) - kPrefix);
}
}  // namespace

BSTR SysAllocStringLen(const OLECHAR *strIn, UINT ui) {
  if (ui > (UINT_MAX - kPrefix - sizeof(OLECHAR)) / sizeof(OLECHAR)) return nullptr;
  std::size_t bytes = static_cast<std::size_t>(ui) * sizeof(OLECHAR);
  auto *block = static_cast<char *>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  auto len = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &len, kPrefix);
  auto *str = reinterpret_cast<BSTR>(block + kPrefix);
  if (strIn)
    std::memcpy(str, strIn, bytes);
  else
    std::memset(str, 0, bytes);
  str[ui] = 0;
  return str;
}

BSTR SysAllocString(const OLECHAR *psz) {
  if (!psz) return nullptr;
  UINT n = 0;
  while (psz[n]) ++n;
  return SysAllocStringLen(psz, n);
}

void SysFreeString(BSTR bstr) {
  if (bstr) std::free(reinterpret_cast<char *>(bstr) - kPrefix);
}

UINT SysStringByteLen(BSTR bstr) {
  if (!bstr) return 0;
  std::uint32_t len;
  std::memcpy(&len, Prefix(bstr), kPrefix);
  return len;
}

UINT SysStringLen(BSTR bstr) { return SysStringByteLen(bstr) / sizeof(OLECHAR); }

// ---- VARIANT --------------------------------------------------------------

void VariantInit(VARIANT *pvarg) {
  if (!pvarg) return;
  std::memset(pvarg, 0, sizeof *pvarg);
  pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT *pvarg) {
  if (!pvarg) return E_INVALIDARG;
  switch (pvarg->vt) {
    case VT_BSTR: SysFreeString(pvarg->bstrVal); break;
    case VT_UNKNOWN:
      if (pvarg->punkVal) pvarg->punkVal->Release();
      break;
    default: break;
  }
  VariantInit(pvarg);
  return S_OK;
}
