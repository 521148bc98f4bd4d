// A module as the program loads them: one class behind DllGetClassObject.
#include <atomic>

#include "platform/com/refcounted.h"
#include "tests/com/test_interface.h"

namespace {
std::atomic<long> g_live{0};

class CAdder final : public IQxTestAdder, public CRefCounted {
 public:
  CAdder() { ++g_live; }
  ~CAdder() override { --g_live; }
  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return QiHelper<IQxTestAdder>(this, riid, ppv, IID_IQxTestAdder);
  }
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }
  int Add(int a, int b) override { return a + b; }
  long LiveInModule() override { return g_live.load(); }
};

class CFactory final : public IClassFactory, public CRefCounted {
 public:
  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return QiHelper<IClassFactory>(this, riid, ppv, IID_IClassFactory);
  }
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }
  HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto *a = new CAdder;
    a->AddRef();
    HRESULT hr = a->QueryInterface(riid, ppv);
    a->Release();
    return hr;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
};
}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid,
                                                                            REFIID riid,
                                                                            void **ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_QxTestModuleAdder) return CLASS_E_CLASSNOTAVAILABLE;
  auto *f = new CFactory;
  f->AddRef();
  HRESULT hr = f->QueryInterface(riid, ppv);
  f->Release();
  return hr;
}
