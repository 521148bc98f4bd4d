// Device enumeration: the system device enumerator, monikers and property
// bags.
#pragma once

#include "platform/com/com.h"

QX_DEFINE_GUID(IID_ICreateDevEnum, "29840822-5b84-11d0-bd3b-00a0c911ce86");
QX_DEFINE_GUID(IID_IEnumMoniker, "00000102-0000-0000-c000-000000000046");
QX_DEFINE_GUID(IID_IMoniker, "0000000f-0000-0000-c000-000000000046");
QX_DEFINE_GUID(IID_IPropertyBag, "55272a00-42cb-11ce-8135-00aa004bb851");
QX_DEFINE_GUID(IID_IErrorLog, "3127ca40-446e-11ce-8135-00aa004bb851");
QX_DEFINE_GUID(IID_IBindCtx, "0000000e-0000-0000-c000-000000000046");

class IBindCtx;   // never implemented: callers pass null
class IErrorLog;  // never implemented: callers pass null

class IMoniker : public IUnknown {
 public:
  // Binds to the device's object (e.g. IID_IBaseFilter: a new capture filter).
  virtual HRESULT BindToObject(IBindCtx *pbc, IMoniker *pmkToLeft, REFIID riidResult,
                               void **ppvResult) = 0;
  // Binds to the device's storage (IID_IPropertyBag: "FriendlyName", ...).
  virtual HRESULT BindToStorage(IBindCtx *pbc, IMoniker *pmkToLeft, REFIID riid, void **ppvObj) = 0;

 protected:
  ~IMoniker() = default;
};

class IEnumMoniker : public IUnknown {
 public:
  virtual HRESULT Next(ULONG celt, IMoniker **rgelt, ULONG *pceltFetched) = 0;
  virtual HRESULT Skip(ULONG celt) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumMoniker **ppenum) = 0;

 protected:
  ~IEnumMoniker() = default;
};

class ICreateDevEnum : public IUnknown {
 public:
  // S_FALSE and a null enumerator when the category is empty.
  virtual HRESULT CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker **ppEnumMoniker,
                                        DWORD dwFlags) = 0;

 protected:
  ~ICreateDevEnum() = default;
};

class IPropertyBag : public IUnknown {
 public:
  // pVar->vt names the wanted type (VT_EMPTY: any); VT_BSTR values are
  // allocated with SysAllocString and freed by the caller (VariantClear).
  virtual HRESULT Read(LPCOLESTR pszPropName, VARIANT *pVar, IErrorLog *pErrorLog) = 0;
  virtual HRESULT Write(LPCOLESTR pszPropName, VARIANT *pVar) = 0;

 protected:
  ~IPropertyBag() = default;
};
