// Per-frame time of algorithm B (update_frame_data then update_diff_data) on synthetic
// 17 x 38 frames; the budget at 240 Hz is 4.17 ms per frame.
#include <benchmark/benchmark.h>

#include <vector>

#include "luma_core.h"
#include "luma_frame.h"

namespace {

void FrameTaken(DecodedFrame *) {}
void Report(AlgTouchPoint *, uint8_t) {}

enum Scene { kIdle, kOneFinger, kFiveFingers, kOverload, kWater };

LumaFrame MakeFrame(Scene scene) {
  LumaFrame f;
  switch (scene) {
    case kIdle: break;
    case kOneFinger: f.Bump(8, 19, 600); break;
    case kFiveFingers:
      for (int k = 0; k < 5; ++k) f.Bump(2 + 3 * k, 4 + 7 * k, 500);
      break;
    case kOverload:
      // The controller reports overloaded conversions: the heavy filter path and the
      // time average run from the first frame on.
      f.Bump(8, 19, 900);
      f.frame()->tail.sat.mutual_adc_sat_word = 200;
      break;
    case kWater:
      // Water raises the raw values over a patch; it latches after seven frames and the
      // smoothing inside the water rectangle runs from then on.
      for (int tx = 4; tx <= 12; ++tx) {
        for (int rx = 10; rx <= 24; ++rx) f.At(tx, rx) = static_cast<int16_t>(LumaFrame::kRawLevel + 250);
      }
      f.Bump(8, 17, 700);
      break;
  }
  return f;
}

void BM_Frame(benchmark::State &state) {
  static AlgHostCallbacks host{};
  host.frame_processed = FrameTaken;
  host.report_points = Report;
  register_alg_module(&host);
  alg_module_init();
  LumaFrame base;
  update_frame_data(base.frame());
  update_diff_data(base.frame());
  const LumaFrame scene = MakeFrame(static_cast<Scene>(state.range(0)));
  std::vector<LumaFrame> frames(16, scene);
  size_t i = 0;
  for (auto _ : state) {
    LumaFrame &f = frames[i++ % frames.size()];
    f.mutual = scene.mutual;  // the module writes the diff back into the host buffer
    benchmark::DoNotOptimize(update_frame_data(f.frame()));
    benchmark::DoNotOptimize(update_diff_data(f.frame()));
  }
  register_alg_module(nullptr);
}

BENCHMARK(BM_Frame)->Arg(kIdle)->Arg(kOneFinger)->Arg(kFiveFingers)->Arg(kOverload)->Arg(kWater)->ArgName("scene");

}  // namespace

BENCHMARK_MAIN();
