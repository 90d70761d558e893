#include "vendor_test/alloc_counter.h"

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VENDOR_SANITIZER_HOOKS 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VENDOR_SANITIZER_HOOKS 1
#endif

#if defined(VENDOR_SANITIZER_HOOKS)
// The sanitizer runtime's allocation hooks (its allocator_interface.h, not shipped with g++).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*));
#endif

namespace {

std::atomic<bool> gCounting{false};
std::atomic<uint64_t> gAllocations{0};
// When set, only the allocations of gThread count.
std::atomic<bool> gOneThread{false};
pthread_t gThread;

void count() {
  if (!gCounting.load(std::memory_order_relaxed)) return;
  if (gOneThread.load(std::memory_order_acquire) && pthread_equal(pthread_self(), gThread) == 0) return;
  gAllocations.fetch_add(1, std::memory_order_relaxed);
}

#if defined(VENDOR_SANITIZER_HOOKS)
// The sanitizer's allocator serves malloc, calloc, realloc and operator new alike and
// reports each to this hook.
void mallocHook(const volatile void*, size_t) { count(); }
void freeHook(const volatile void*) {}
const int gHooked = __sanitizer_install_malloc_and_free_hooks(mallocHook, freeHook);
#else
const int gHooked = 1;
#endif

}  // namespace

#if !defined(VENDOR_SANITIZER_HOOKS)
// Without a sanitizer: count at the C allocator, which operator new also goes through.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* malloc(size_t n) {
  count();
  return __libc_malloc(n);
}
void* calloc(size_t n, size_t m) {
  count();
  return __libc_calloc(n, m);
}
void* realloc(void* p, size_t n) {
  count();
  return __libc_realloc(p, n);
}
}
#endif

namespace vendor_test {

bool allocationCountingWorks() {
  if (gHooked == 0) return false;
  // The counting itself is checked: an allocation while counting is seen.
  startCountingAllocations();
  void* volatile probe = std::malloc(16);
  const uint64_t seen = stopCountingAllocations();
  std::free(probe);
  return seen == 1;
}

void startCountingAllocations() {
  gOneThread.store(false);
  gAllocations.store(0);
  gCounting.store(true);
}

void startCountingAllocationsOnThisThread() {
  gThread = pthread_self();
  gOneThread.store(true, std::memory_order_release);
  gAllocations.store(0);
  gCounting.store(true);
}

void pauseCountingAllocations() { gCounting.store(false); }
void resumeCountingAllocations() { gCounting.store(true); }

uint64_t stopCountingAllocations() {
  gCounting.store(false);
  gOneThread.store(false);
  return gAllocations.exchange(0);
}

}  // namespace vendor_test
