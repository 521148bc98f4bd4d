// IUnknown and IClassFactory. Interfaces are abstract classes with the
// interface's methods as pure virtual functions; an interface pointer is a
// pointer to one. Objects count their references and delete themselves on
// the last Release.
#pragma once

#include "platform/com/comerror.h"
#include "platform/com/guid.h"

QX_DEFINE_GUID(IID_IUnknown, "00000000-0000-0000-c000-000000000046");
QX_DEFINE_GUID(IID_IClassFactory, "00000001-0000-0000-c000-000000000046");
QX_DEFINE_GUID(IID_IPersist, "0000010c-0000-0000-c000-000000000046");

#define STDMETHODCALLTYPE
#define STDMETHOD(name) virtual HRESULT name
#define STDMETHOD_(type, name) virtual type name

class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID riid, void **ppvObject) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;  // objects are destroyed by Release, never through an interface
};
using LPUNKNOWN = IUnknown *;

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObject) = 0;
  virtual HRESULT LockServer(BOOL fLock) = 0;

 protected:
  ~IClassFactory() = default;
};

class IPersist : public IUnknown {
 public:
  virtual HRESULT GetClassID(CLSID *pClassID) = 0;

 protected:
  ~IPersist() = default;
};
