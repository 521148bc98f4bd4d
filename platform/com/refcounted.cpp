#include "platform/com/refcounted.h"

namespace {
std::atomic<long> g_live{0};
}

CRefCounted::LiveCounter::LiveCounter() { g_live.fetch_add(1, std::memory_order_relaxed); }
CRefCounted::LiveCounter::~LiveCounter() { g_live.fetch_sub(1, std::memory_order_relaxed); }
long CRefCounted::LiveObjects() { return g_live.load(std::memory_order_relaxed); }

ULONG CRefCounted::ReleaseImpl() {
  ULONG n = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (n == 0) delete this;
  return n;
}
