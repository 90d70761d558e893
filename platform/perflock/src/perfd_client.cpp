// Stand-in of the performance-lock client: each lock taken is a handle, released by it.
#include <atomic>

#include "vendor_export.h"

namespace {
std::atomic<int> g_next{1};
std::atomic<int> g_held{0};
}  // namespace

VENDOR_EXPORT int perf_lock_acq(int handle, int duration_ms, int *, int count) {
  if (duration_ms < 0 || count < 0) return -1;
  g_held.fetch_add(1);
  return handle > 0 ? handle : g_next.fetch_add(1);
}

VENDOR_EXPORT int perf_lock_rel(int handle) {
  if (handle <= 0) return -1;
  g_held.fetch_sub(1);
  return 0;
}

// Locks taken and not released (for tests).
VENDOR_EXPORT int perf_lock_held() { return g_held.load(); }
