// Whole algorithm B per frame (update frame data, then update diff data) on 17 x 38 frames
// with 0, 1, 5 and 10 fingertips landing, moving and lifting, dry and wet (water raising the
// raw values over a patch of the panel): median and 99th percentile of the frame times
// against the 240 Hz budget (frame_budget.h). The counter points is the most points the
// module reported for one frame, water_pct the share of frames in which it held water to be
// on the panel (its base takes in a patch that stays); the times depend on neither.
#include <algorithm>
#include <utility>
#include <vector>

#include "frame_budget.h"
#include "luma_core.h"
#include "luma_env.h"
#include "luma_frame.h"
#include "touch_host/luma_road.h"

namespace {

namespace road = touch_host::testsupport::luma_road;

// A gesture of 64 frames: the fingertips touch for 48 frames, walking back and forth, and
// are lifted for 16. (Fingertips held for thousands of frames would let the base follow
// them, and the panel would be judged wet where they had been.)
constexpr int kCycle = 64;
constexpr int kTouching = 48;

uint8_t g_most_points = 0;
void FrameTaken(DecodedFrame *) {}
void OnPoints(AlgTouchPoint *, uint8_t count) { g_most_points = std::max(g_most_points, count); }

// COUNT fingertips on a grid (drive lines 2, 6, 10, 14; sense lines 5, 15, 25), each walking
// four sense lines forth and back, a line per frame, while they touch; with WET, water over
// drive lines 6 to 10 and sense lines 12 to 19. Each frame of the cycle as the controller
// sends it: the raw mutual values and both self scans, the normal one (self2) seeing the
// water with the fingertips, the one guarded against water (self1) the fingertips alone.
struct ScanFrame {
  std::vector<int16_t> mutual;
  std::vector<int16_t> self1;
  std::vector<int16_t> self2;
};
std::vector<ScanFrame> Cycle(int count, bool wet) {
  std::vector<road::Tip> at;
  for (int tx = 2; tx < road::kTx && static_cast<int>(at.size()) < count; tx += 4)
    for (int rx = 5; rx + 4 < road::kRx && static_cast<int>(at.size()) < count; rx += 10) at.push_back({tx, rx});
  std::vector<ScanFrame> frames;
  for (int f = 0; f < kCycle; ++f) {
    const int shift = f % 8 < 4 ? f % 8 : 8 - f % 8;
    std::vector<road::Tip> now = f < kTouching ? at : std::vector<road::Tip>{};
    for (road::Tip &g : now) g.rx += shift;
    std::vector<int16_t> raw = road::raw_with_tips(now);
    std::vector<int16_t> guarded = road::self_lines(raw, 0);
    if (wet) {
      for (int tx = 6; tx <= 10; ++tx)
        for (int rx = 12; rx <= 19; ++rx) raw[static_cast<size_t>(tx * road::kRx + rx)] += 250;
    }
    std::vector<int16_t> normal = road::self_lines(raw, 0);
    frames.push_back({std::move(raw), std::move(guarded), std::move(normal)});
  }
  return frames;
}

void BM_TapsenseTouches(benchmark::State &state) {
  static AlgHostCallbacks host{};
  host.frame_processed = FrameTaken;
  host.report_points = OnPoints;
  register_alg_module(&host);
  alg_module_init();
  LumaFrame base;  // the untouched frame gives the base
  update_frame_data(base.frame());
  update_diff_data(base.frame());

  const std::vector<ScanFrame> cycle = Cycle(static_cast<int>(state.range(0)), state.range(1) != 0);
  LumaFrame frame;
  bench::FrameTimes times;
  g_most_points = 0;
  size_t f = 0;
  size_t wet_frames = 0;
  for (auto _ : state) {
    // The decoder's fresh copy of the frame (the module writes its diff back into it).
    const ScanFrame &scan = cycle[f++ % cycle.size()];
    std::copy(scan.mutual.begin(), scan.mutual.end(), frame.mutual.begin());
    std::copy(scan.self1.begin(), scan.self1.end(), frame.self1.begin());
    std::copy(scan.self2.begin(), scan.self2.end(), frame.self2.begin());
    times.Time([&] {
      update_frame_data(frame.frame());
      update_diff_data(frame.frame());
    });
    wet_frames += AppIsWaterExist() != 0;
  }
  times.Report(state);
  state.counters["points"] = g_most_points;
  state.counters["water_pct"] = f == 0 ? 0 : 100.0 * static_cast<double>(wet_frames) / static_cast<double>(f);
  alg_module_exit();
  register_alg_module(nullptr);
}

BENCHMARK(BM_TapsenseTouches)->ArgsProduct({{0, 1, 5, 10}, {0, 1}})->ArgNames({"touches", "wet"});

}  // namespace

BENCHMARK_MAIN();
