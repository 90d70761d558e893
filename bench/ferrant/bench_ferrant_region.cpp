// Region detection of algorithm A: time of the region acquisition stage (touch mode, the
// acquisition with its search, the filters) per frame on a 32 x 18 and a 52 x 56 panel with
// 0, 1, 5 and 10 touches, on the module as the host brought it up.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "ferrant_frame_driver_test.h"
#include "ferx_syslog_capture_test.h"
#include "region.h"
#include "region_proc.h"

namespace {

// Blobs of peak 300 spread over the panel, at least three nodes apart.
std::vector<int16_t> Touches(uint8_t drv, uint8_t sen, int count) {
  std::vector<int16_t> d(static_cast<size_t>(drv) * sen, 0);
  int placed = 0;
  for (int r = 2; r + 2 < drv && placed < count; r += 5) {
    for (int c = 2; c + 2 < sen && placed < count; c += 5, ++placed) {
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
          d[static_cast<size_t>(r + dr) * sen + (c + dc)] =
              static_cast<int16_t>(dr == 0 && dc == 0 ? 300 : (dr == 0 || dc == 0) ? 150 : 75);
    }
  }
  return d;
}

void BM_FerrantRegionAcquire(benchmark::State& state) {
  fxtest::SysLogCapture::Silence();
  fxtest::FrameDriver driver;
  const uint8_t drv = static_cast<uint8_t>(state.range(0));
  const uint8_t sen = static_cast<uint8_t>(state.range(1));
  if (!driver.Start(drv, sen)) {
    state.SkipWithError("the module did not start");
    return;
  }
  driver.Frame();
  const std::vector<int16_t> map = Touches(drv, sen, static_cast<int>(state.range(2)));
  int16_t* diff = gstCommon.stData.pswDiffData;
  gstCommon.swTouchThreshold = 100;
  gstCommon.uwSecondThreshold = 120;
  for (auto _ : state) {
    std::memcpy(diff, map.data(), map.size() * sizeof(int16_t));
    RegionAcquireProcPkg();
    benchmark::DoNotOptimize(gstMutualRegion.ubRegionNum);
  }
  state.counters["regions"] = gstMutualRegion.ubRegionNum;
  driver.Stop();
}

BENCHMARK(BM_FerrantRegionAcquire)
    ->ArgsProduct({{32}, {18}, {0, 1, 5, 10}})
    ->ArgsProduct({{52}, {56}, {0, 1, 5, 10}})
    ->ArgNames({"drv", "sen", "touches"});

}  // namespace

BENCHMARK_MAIN();
