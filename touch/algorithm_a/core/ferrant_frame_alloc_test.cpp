// The per-frame path of algorithm A (update frame data, then update diff data, through the
// stage runner) makes no heap allocation once the module runs: every allocation the
// process makes is counted while frames run after a warm-up.
#include <android/log.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>

#include "ferrant_frame_driver_test.h"
#include "ferx_syslog_capture_test.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's allocation hooks (its allocator_interface.h, not shipped with g++).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*));
#endif

namespace {

std::atomic<bool> gCounting{false};
std::atomic<uint64_t> gAllocations{0};

void Count() {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
}

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator serves malloc, calloc, realloc and operator new alike and
// reports each to this hook.
void MallocHook(const volatile void*, size_t) { Count(); }
void FreeHook(const volatile void*) {}
const int gHooked = __sanitizer_install_malloc_and_free_hooks(MallocHook, FreeHook);
#endif

}  // namespace

#if !defined(__SANITIZE_ADDRESS__)
// Without the sanitizer: count at the C allocator, which operator new also goes through.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* malloc(size_t n) {
  Count();
  return __libc_malloc(n);
}
void* calloc(size_t n, size_t m) {
  Count();
  return __libc_calloc(n, m);
}
void* realloc(void* p, size_t n) {
  Count();
  return __libc_realloc(p, n);
}
}
#endif

namespace {

struct Panel {
  uint8_t drv, sen;
};

class FrameAllocation : public ::testing::TestWithParam<Panel> {};

TEST_P(FrameAllocation, FramesAfterWarmUpAllocateNothing) {
#if defined(__SANITIZE_ADDRESS__)
  ASSERT_NE(gHooked, 0) << "allocation hooks not installed";
#endif
  // The system log is a host service; its writer is not the module's per-frame path.
  fxtest::SysLogCapture::Silence();
  gAllocations = 0;
  fxtest::FrameDriver driver;
  ASSERT_TRUE(driver.Start(GetParam().drv, GetParam().sen));
  // Warm-up: one touch down, moved and lifted.
  fxtest::FrameDriver::Touch(true, 500, 600);
  driver.Frame();
  fxtest::FrameDriver::Touch(true, 510, 610);
  driver.Frame();
  fxtest::FrameDriver::Touch(false);
  driver.Frame();

  // The counting itself is checked: an allocation while counting is seen.
  gCounting = true;
  void* volatile probe = std::malloc(16);
  gCounting = false;
  std::free(probe);
  ASSERT_EQ(gAllocations.exchange(0), 1u);

  const uint32_t reportsBefore = driver.reports();
  const uint16_t runsBefore = gstCommon.uwFrameCounter;
  gCounting = true;
  for (int i = 0; i < 60; ++i) {
    // Touches come and go, so the down, move and up paths all run while counting.
    fxtest::FrameDriver::Touch(i % 6 < 4, static_cast<uint16_t>(500 + i), static_cast<uint16_t>(600 + i));
    driver.Frame();
  }
  gCounting = false;
  EXPECT_EQ(gAllocations.load(), 0u);
  EXPECT_EQ(driver.reports() - reportsBefore, 60u) << "every frame reached host slot 0";
  EXPECT_EQ(static_cast<uint16_t>(gstCommon.uwFrameCounter - runsBefore), 60u) << "every frame ran its stage list";
  driver.Stop();
  __android_log_set_logger(__android_log_stderr_logger);
}

INSTANTIATE_TEST_SUITE_P(Panels, FrameAllocation, ::testing::Values(Panel{32, 18}, Panel{52, 56}),
                         [](const ::testing::TestParamInfo<Panel>& info) {
                           return std::to_string(info.param.drv) + "x" + std::to_string(info.param.sen);
                         });

}  // namespace
