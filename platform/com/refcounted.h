// Helpers for implementing COM objects: an atomic reference count with
// delete-on-last-release, a QueryInterface helper and a smart pointer.
#pragma once

#include <atomic>
#include <utility>

#include "platform/com/unknown.h"

// Base of implementation classes. The derived class lists its interfaces and
// forwards its IUnknown methods, e.g.
//
//   class CThing final : public IFoo, public CRefCounted {
//    public:
//     HRESULT QueryInterface(REFIID riid, void **ppv) override {
//       return QiHelper<IFoo>(this, riid, ppv, IID_IFoo);
//     }
//     ULONG AddRef() override { return AddRefImpl(); }
//     ULONG Release() override { return ReleaseImpl(); }
//   };
//
// New objects start with a count of 0; the creator takes the first reference
// with QueryInterface or AddRef.
class CRefCounted {
 public:
  CRefCounted() = default;
  CRefCounted(const CRefCounted &) = delete;
  CRefCounted &operator=(const CRefCounted &) = delete;
  virtual ~CRefCounted() = default;

  // Live objects of all classes based on CRefCounted in this module; tests
  // use it to prove that nothing leaked.
  static long LiveObjects();

 protected:
  ULONG AddRefImpl() { return m_cRef.fetch_add(1, std::memory_order_relaxed) + 1; }
  // Out of line: inlined into a caller that holds the object through one of
  // several interface bases, GCC 12 takes `delete this` for a delete of an
  // offset pointer and warns (-Wfree-nonheap-object), wrongly.
  ULONG ReleaseImpl();
  ULONG RefCount() const { return m_cRef.load(std::memory_order_relaxed); }

 private:
  std::atomic<ULONG> m_cRef{0};
  struct LiveCounter {
    LiveCounter();
    ~LiveCounter();
  } m_live;
};

// Answers riid when it is IID_IUnknown or one of the listed interface ids;
// Itf is the interface the object's IUnknown is reached through.
template <class Itf, class T>
HRESULT QiHelper(T *self, REFIID riid, void **ppv, REFIID iid) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == iid) {
    auto *p = static_cast<Itf *>(self);
    *ppv = p;
    p->AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

// A reference-holding interface pointer for implementation code (the
// program's own code releases by hand, as it always has).
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  explicit ComPtr(T *p, bool addRef = true) : m_p(p) {
    if (m_p && addRef) m_p->AddRef();
  }
  ComPtr(const ComPtr &o) : m_p(o.m_p) {
    if (m_p) m_p->AddRef();
  }
  ComPtr(ComPtr &&o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
  ~ComPtr() { Reset(); }
  ComPtr &operator=(ComPtr o) noexcept {
    std::swap(m_p, o.m_p);
    return *this;
  }
  void Reset() {
    if (m_p) std::exchange(m_p, nullptr)->Release();
  }
  // Takes over a reference the caller owns.
  static ComPtr Attach(T *p) { return ComPtr(p, false); }
  T *Detach() { return std::exchange(m_p, nullptr); }
  T *Get() const { return m_p; }
  T *operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  // Out-parameter for calls that hand out a reference; releases the old one.
  T **Out() {
    Reset();
    return &m_p;
  }
  void **OutVoid() { return reinterpret_cast<void **>(Out()); }

 private:
  T *m_p = nullptr;
};
