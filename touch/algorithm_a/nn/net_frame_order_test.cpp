// The three networks in frame order inside algorithm A's one 4 MiB work buffer: denoise
// (pool at the start), floating finger (pool at the start, maps from 1 MiB on) and water
// (2 MiB further on) give exactly what each gives in a buffer of its own, and the maps of
// the floating network survive the water run that follows it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "net_denoise_internal.h"
#include "net_float_internal.h"
#include "net_water_internal.h"
#include "nn_test_util.h"
#include "tsa_common.h"

namespace {

std::vector<uint8_t> Blob(uint32_t bytes, uint32_t seed, float scale) {
  const auto h = Halves(Random(bytes / 2, seed, scale));
  std::vector<uint8_t> b(bytes);
  memcpy(b.data(), h.data(), bytes);
  return b;
}

struct Frame {
  std::vector<int16_t> denoised;
  std::vector<uint16_t> halfMeans = std::vector<uint16_t>(kDenoiseNetMaxRows);
  std::vector<uint16_t> map1, map2;
  uint32_t s1 = 0, s2 = 0;
};

Frame RunFrame(uint8_t* dlNet, uint8_t* fl, uint8_t* water, const std::vector<int16_t>& diff,
               const std::vector<uint8_t>& wd, const std::vector<uint8_t>& wf, const std::vector<uint8_t>& ww) {
  Frame f;
  f.denoised = diff;
  const DenoiseNetRunArgs da{f.denoised.data(), f.halfMeans.data(), dlNet, 30, 40, wd.data(),
                             static_cast<uint32_t>(wd.size())};
  EXPECT_EQ(DenoiseNetRun(da, nullptr), FRNN_OK);
  uint16_t* m1 = nullptr;
  uint16_t* m2 = nullptr;
  const FloatNetRunArgs fa{f.denoised.data(), fl, 30, 40, &m1, &m2, wf.data(), static_cast<uint32_t>(wf.size())};
  EXPECT_EQ(NetFloatRun(fa, nullptr), FRNN_OK);
  std::vector<float> planes(3 * 20 * 40);
  for (size_t j = 0; j < planes.size(); ++j) planes[j] = static_cast<float>(f.denoised[j % diff.size()]) * 0.1f;
  WaterNetState st{};
  InitNetWater(&st);
  const WaterNetRunArgs wa{planes.data(), &st, 20, 40, 3, &f.s1, &f.s2, water, ww.data(),
                           static_cast<uint32_t>(ww.size())};
  EXPECT_EQ(NetWaterRun(wa, nullptr), 0u);
  if (m1 != nullptr) f.map1.assign(m1, m1 + kFloatNetAreaValues);
  if (m2 != nullptr) f.map2.assign(m2, m2 + kFloatNetAreaValues);
  return f;
}

TEST(NetFrameOrder, SharedWorkBufferGivesWhatSeparateBuffersGive) {
  uint8_t* cache = GlobalCommonInit();
  ASSERT_NE(cache, nullptr);
  DenoiseNetInit();
  const auto wd = Blob(kDenoiseNetWeightBytes, 11, 0.05f);
  const auto wf = Blob(kFloatNetWeightBytes, 12, 0.2f);
  const auto ww = Blob(kWaterNetWeightBytes, 13, 0.2f);
  std::vector<uint8_t> own1(kDenoiseNetPoolBytes), own2(kFloatNetBufferBytes), own3(kWaterNetPoolBytes);
  for (int frame = 0; frame < 2; ++frame) {
    std::vector<int16_t> diff(30 * 40);
    for (size_t j = 0; j < diff.size(); ++j) diff[j] = static_cast<int16_t>((j * 37 + frame * 11) % 301 - 150);
    const Frame shared = RunFrame(cache, cache, cache + (2u << 20), diff, wd, wf, ww);
    // The maps are read after the water run, as region detection reads them.
    const auto* m1 = reinterpret_cast<const uint16_t*>(cache + kFloatNetMap1Offset);
    const Frame alone = RunFrame(own1.data(), own2.data(), own3.data(), diff, wd, wf, ww);
    EXPECT_EQ(shared.denoised, alone.denoised);
    EXPECT_EQ(shared.halfMeans, alone.halfMeans);
    EXPECT_EQ(shared.map1, alone.map1);
    EXPECT_EQ(shared.map2, alone.map2);
    EXPECT_TRUE(std::equal(alone.map1.begin(), alone.map1.end(), m1));
    EXPECT_EQ(shared.s1, alone.s1);
    EXPECT_EQ(shared.s2, alone.s2);
    EXPECT_NE(shared.denoised, diff);
  }
  GlobalCommonRelease();
}

}  // namespace
