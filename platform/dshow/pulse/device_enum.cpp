#include "platform/dshow/pulse/device_enum.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/com/olestr.h"
#include "platform/com/refcounted.h"
#include "platform/dshow/pulse/capture_filter.h"
#include "platform/dshow/uuids.h"

namespace quavix::pulse {
namespace {

using DeviceList = std::shared_ptr<const std::vector<CaptureDevice>>;

class CDevicePropertyBag final : public IPropertyBag, public CRefCounted {
 public:
  explicit CDevicePropertyBag(const CaptureDevice &device) : m_device(device) {}
  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return QiHelper<IPropertyBag>(this, riid, ppv, IID_IPropertyBag);
  }
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }

  HRESULT Read(LPCOLESTR pszPropName, VARIANT *pVar, IErrorLog *) override {
    if (!pszPropName || !pVar) return E_POINTER;
    const std::u16string name(pszPropName, WideLength(pszPropName));
    const std::string *value = nullptr;
    if (name == u"FriendlyName")
      value = &m_device.description;
    else if (name == u"DeviceId")
      value = &m_device.id;
    else
      return E_INVALIDARG;
    if (pVar->vt != VT_EMPTY && pVar->vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
    BSTR b = SysAllocStringUtf8(value->c_str());
    if (!b) return E_OUTOFMEMORY;
    pVar->vt = VT_BSTR;
    pVar->bstrVal = b;
    return S_OK;
  }
  HRESULT Write(LPCOLESTR, VARIANT *) override { return E_ACCESSDENIED; }

 private:
  const CaptureDevice m_device;
};

class CDeviceMoniker final : public IMoniker, public CRefCounted {
 public:
  explicit CDeviceMoniker(const CaptureDevice &device) : m_device(device) {}
  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return QiHelper<IMoniker>(this, riid, ppv, IID_IMoniker);
  }
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }

  HRESULT BindToObject(IBindCtx *, IMoniker *, REFIID riidResult, void **ppvResult) override {
    if (!ppvResult) return E_POINTER;
    *ppvResult = nullptr;
    if (riidResult != IID_IUnknown && riidResult != IID_IBaseFilter &&
        riidResult != IID_IMediaFilter && riidResult != IID_IPersist)
      return E_NOINTERFACE;
    // The filter takes the device as the server lists it now: its lines may
    // have changed since the list was made, and a device that has gone
    // cannot be recorded, so binding to it fails instead of yielding a
    // filter that records nothing.
    auto client = PulseClient::Shared();
    if (!client) return E_FAIL;
    std::vector<CaptureDevice> devices;
    PulseStatus st = client->ListDevices(&devices);
    if (st != PulseStatus::kOk) return StatusToHresult(st);
    auto it = std::find_if(devices.begin(), devices.end(),
                           [&](const CaptureDevice &d) { return d.id == m_device.id; });
    if (it == devices.end()) return VFW_E_NOT_FOUND;
    return CreateAudioCaptureFilter(*it, client, riidResult, ppvResult);
  }

  HRESULT BindToStorage(IBindCtx *, IMoniker *, REFIID riid, void **ppvObj) override {
    if (!ppvObj) return E_POINTER;
    *ppvObj = nullptr;
    auto *bag = new CDevicePropertyBag(m_device);
    HRESULT hr = bag->QueryInterface(riid, ppvObj);
    if (FAILED(hr)) delete bag;
    return hr;
  }

 private:
  const CaptureDevice m_device;
};

class CEnumDevices final : public IEnumMoniker, public CRefCounted {
 public:
  CEnumDevices(DeviceList devices, std::size_t position)
      : m_devices(std::move(devices)), m_pos(position) {}
  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return QiHelper<IEnumMoniker>(this, riid, ppv, IID_IEnumMoniker);
  }
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }

  HRESULT Next(ULONG celt, IMoniker **rgelt, ULONG *pceltFetched) override {
    if (!rgelt) return E_POINTER;
    if (!pceltFetched && celt != 1) return E_POINTER;
    ULONG n = 0;
    while (n < celt && m_pos < m_devices->size()) {
      auto *m = new CDeviceMoniker((*m_devices)[m_pos++]);
      m->QueryInterface(IID_IMoniker, reinterpret_cast<void **>(&rgelt[n++]));
    }
    if (pceltFetched) *pceltFetched = n;
    return n == celt ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG celt) override {
    const std::size_t left = m_devices->size() - m_pos;
    if (celt > left) {
      m_pos = m_devices->size();
      return S_FALSE;
    }
    m_pos += celt;
    return S_OK;
  }
  HRESULT Reset() override {
    m_pos = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumMoniker **ppenum) override {
    if (!ppenum) return E_POINTER;
    auto *e = new CEnumDevices(m_devices, m_pos);
    return e->QueryInterface(IID_IEnumMoniker, reinterpret_cast<void **>(ppenum));
  }

 private:
  DeviceList m_devices;
  std::size_t m_pos;
};

class CSystemDeviceEnum final : public ICreateDevEnum, public CRefCounted {
 public:
  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return QiHelper<ICreateDevEnum>(this, riid, ppv, IID_ICreateDevEnum);
  }
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }

  HRESULT CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker **ppEnumMoniker,
                                DWORD) override {
    if (!ppEnumMoniker) return E_POINTER;
    *ppEnumMoniker = nullptr;
    // Other categories have no devices here.
    if (clsidDeviceClass != CLSID_AudioInputDeviceCategory) return S_FALSE;
    auto devices = std::make_shared<std::vector<CaptureDevice>>();
    if (auto client = PulseClient::Shared()) client->ListDevices(devices.get());
    // No server, as no device: an empty category.
    if (devices->empty()) return S_FALSE;
    auto *e = new CEnumDevices(std::move(devices), 0);
    return e->QueryInterface(IID_IEnumMoniker, reinterpret_cast<void **>(ppEnumMoniker));
  }
};

}  // namespace

HRESULT CreateSystemDeviceEnum(IUnknown *pUnkOuter, REFIID riid, void **ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  auto *e = new CSystemDeviceEnum;
  HRESULT hr = e->QueryInterface(riid, ppv);
  if (FAILED(hr)) delete e;
  return hr;
}

}  // namespace quavix::pulse

void RegisterCaptureDeviceClasses() {
  RegisterBuiltInClass(CLSID_SystemDeviceEnum, &quavix::pulse::CreateSystemDeviceEnum);
}
