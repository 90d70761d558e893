// The allocation counter behind touch_host/alloc_counter.h.
#include "touch_host/alloc_counter.h"

#include <atomic>
#include <cstddef>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ALLOC_COUNTER_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ALLOC_COUNTER_SANITIZER 1
#endif

#if defined(ALLOC_COUNTER_SANITIZER)
// The sanitizer runtime's allocation hooks (its allocator_interface.h, not shipped with g++).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void *, size_t),
                                                         void (*free_hook)(const volatile void *));
#endif

namespace {

std::atomic<bool> g_counting{false};
std::atomic<uint64_t> g_allocations{0};

void count_one() {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
}

#if defined(ALLOC_COUNTER_SANITIZER)
void malloc_hook(const volatile void *, size_t) { count_one(); }
void free_hook(const volatile void *) {}
const int g_hooked = __sanitizer_install_malloc_and_free_hooks(malloc_hook, free_hook);
#else
const int g_hooked = 1;
#endif

}  // namespace

#if !defined(ALLOC_COUNTER_SANITIZER)
// Without a sanitizer: count at the C allocator, which operator new also goes through.
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *malloc(size_t n) {
  count_one();
  return __libc_malloc(n);
}
void *calloc(size_t n, size_t m) {
  count_one();
  return __libc_calloc(n, m);
}
void *realloc(void *p, size_t n) {
  count_one();
  return __libc_realloc(p, n);
}
}
#endif

namespace alloc_counter {

bool installed() { return g_hooked != 0; }

void start() {
  g_allocations = 0;
  g_counting = true;
}

uint64_t stop() {
  g_counting = false;
  return g_allocations.load();
}

uint64_t count() { return g_allocations.load(); }

}  // namespace alloc_counter
