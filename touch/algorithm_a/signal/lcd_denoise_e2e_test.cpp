// End to end through the touch host with the real plug-in: LCD row noise on the rows of a
// finger and on free rows of 32 x 18 and 56 x 52 panels comes off the diff map the module
// hands back, while the finger keeps its height.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cfg_blob_builder_test.h"
#include "decoded_frame_bytes_test.h"
#include "ferrant_host_start_test.h"
#include "platform/temp_root.h"
#include "touch_host/host.h"

namespace {

using fxtest::Bytes;

const std::string kPlugin = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant.so";

// The column profile of the panel's LCD coupling: a bowl rising by 300 to the sides,
// mean-free over COLS columns.
int32_t Bowl(uint32_t c, uint32_t cols) {
  const int32_t half = static_cast<int32_t>(cols / 2);
  auto rise = [&](uint32_t i) {
    const int32_t k = static_cast<int32_t>(i) - half;
    return 300 * k * k / (half * half);
  };
  int32_t sum = 0;
  for (uint32_t i = 0; i < cols; ++i) sum += rise(i);
  return rise(c) - sum / static_cast<int32_t>(cols);
}

Bytes Blob(uint32_t cols) {
  Bytes time(32, 0);
  cfgtest::PutU16(time, 3, 5000);
  Bytes panel(38, 0);
  cfgtest::PutU16(panel, 0, 1080);
  cfgtest::PutU16(panel, 2, 2400);
  cfgtest::PutU16(panel, 4, 100);
  panel[20] = 10;
  Bytes denoise(130, 0);
  denoise[0] = 0x01;  // LCD denoise on the diff map
  for (uint32_t c = 0; c < cols; ++c) cfgtest::PutU16(denoise, 18 + 2 * c, static_cast<uint16_t>(Bowl(c, cols)));
  return cfgtest::BuildBlob(
      {.sections = {cfgtest::Section(8, panel), cfgtest::Section(32, time), cfgtest::Section(91, denoise)}});
}

TEST(LcdDenoiseEndToEnd, RowNoiseComesOffAroundAFinger) {
  const struct {
    uint8_t rows, cols;
  } panels[] = {{18, 32}, {52, 56}};
  for (const auto& p : panels) {
    SCOPED_TRACE(testing::Message() << int{p.rows} << " x " << int{p.cols});
    platform::testing::TempRoot root;
    auto host = fxtest::StartFerrantHost(root, kPlugin, Blob(p.cols), p.rows, p.cols);
    ASSERT_NE(host, nullptr);
    fxtest::FingerFrames frames(p.rows, p.cols, 1);
    uint16_t index = 2;
    DecodedFrame frame = frames.Next(0x01, index++);
    ASSERT_EQ(host->process_frame(&frame), touch_host::HostStatus::kOk);
    for (int i = 0; i < 5; ++i) {
      frame = frames.Next(0x00, index++);
      ASSERT_EQ(host->process_frame(&frame), touch_host::HostStatus::kOk);
    }
    const uint32_t R = p.rows, C = p.cols;
    ASSERT_EQ(frames.Mutual(), std::vector<int16_t>(R * C, 0)) << "the power-on reference is in place";

    // Offsets along the profile on the finger's rows 5 to 7 and on two free rows.
    std::vector<int32_t> offset(R, 0);
    offset[2] = 800;
    offset[5] = 700;
    offset[6] = -650;
    offset[7] = 900;
    offset[R - 3] = -1200;
    std::vector<int16_t> touch(R * C, 0);
    for (uint32_t r = 0; r < R; ++r)
      for (uint32_t c = 0; c < C && offset[r] != 0; ++c) touch[r * C + c] = static_cast<int16_t>(offset[r] + Bowl(c, C));
    for (uint32_t r = 5; r < 8; ++r)
      for (uint32_t c = 10; c < 13; ++c) touch[r * C + c] = static_cast<int16_t>(touch[r * C + c] + (r == 6 && c == 11 ? 600 : 350));
    frames.SetTouch(touch);
    frame = frames.Next(0x00, index++);
    ASSERT_EQ(host->process_frame(&frame), touch_host::HostStatus::kOk);
    const std::vector<int16_t>& out = frames.Mutual();
    for (uint32_t r = 0; r < R; ++r) {
      SCOPED_TRACE(r);
      const bool fingerRow = r >= 5 && r < 8;
      int32_t peak = 0;
      for (uint32_t c = 0; c < C; ++c)
        if (!fingerRow || c < 9 || c > 13) peak = std::max<int32_t>(peak, std::abs(out[r * C + c]));
      // Means go through Q10 reciprocals (1024 / 56 is taken as 18, 1024 / 29 as 35): up to
      // about 2% of a row's offset stays.
      EXPECT_LE(peak, std::abs(offset[r]) / 50 + 4);
    }
    EXPECT_GE(out[6 * C + 11], 590);
    EXPECT_GE(out[5 * C + 10], 340);
    EXPECT_GE(out[7 * C + 12], 340);
  }
}

}  // namespace
