// The per-frame path of algorithm A (update frame data, then update diff data, through the
// stage runner) makes no heap allocation once the module runs: every allocation the
// process makes is counted while frames run after a warm-up.
#include <android/log.h>
#include <gtest/gtest.h>

#include "ferrant_frame_driver_test.h"
#include "ferx_syslog_capture_test.h"
#include "vendor_test/alloc_counter.h"

namespace {

struct Panel {
  uint8_t drv, sen;
};

class FrameAllocation : public ::testing::TestWithParam<Panel> {};

TEST_P(FrameAllocation, FramesAfterWarmUpAllocateNothing) {
  ASSERT_TRUE(vendor_test::allocationCountingWorks()) << "allocations cannot be counted";
  // The system log is a host service; its writer is not the module's per-frame path.
  fxtest::SysLogCapture::Silence();
  fxtest::FrameDriver driver;
  ASSERT_TRUE(driver.Start(GetParam().drv, GetParam().sen));
  // Warm-up: one touch down, moved and lifted.
  fxtest::FrameDriver::Touch(true, 500, 600);
  driver.Frame();
  fxtest::FrameDriver::Touch(true, 510, 610);
  driver.Frame();
  fxtest::FrameDriver::Touch(false);
  driver.Frame();

  const uint32_t reportsBefore = driver.reports();
  const uint16_t runsBefore = gstCommon.uwFrameCounter;
  vendor_test::AllocationCount allocations;
  for (int i = 0; i < 60; ++i) {
    // Touches come and go, so the down, move and up paths all run while counting.
    fxtest::FrameDriver::Touch(i % 6 < 4, static_cast<uint16_t>(500 + i), static_cast<uint16_t>(600 + i));
    driver.Frame();
  }
  EXPECT_EQ(allocations.count(), 0u);
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
