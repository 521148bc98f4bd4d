// The module's one entry point: the class object of the writer filter.
#include <new>

#include "platform/com/refcounted.h"
#include "platform/dshow/uuids.h"
#include "writer/wav_dest_filter.h"

namespace {

class CWavDestClassFactory final : public IClassFactory, public CRefCounted {
 public:
  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return QiHelper<IClassFactory>(this, riid, ppv, IID_IClassFactory);
  }
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }
  HRESULT CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppv) override {
    return quavix::writer::CreateWavDestFilter(pUnkOuter, riid, ppv);
  }
  // The module stays loaded for the life of the process.
  HRESULT LockServer(BOOL) override { return S_OK; }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid,
                                                                            REFIID riid,
                                                                            void **ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_WavDestWriter) return CLASS_E_CLASSNOTAVAILABLE;
  auto *factory = new (std::nothrow) CWavDestClassFactory();
  if (!factory) return E_OUTOFMEMORY;
  factory->AddRef();
  const HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}
