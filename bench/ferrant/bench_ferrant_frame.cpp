// Per-frame time of algorithm A: update frame data plus update diff data through the stage
// runner, a touch moving in slot 0, on the two panel sizes of the range the module takes
// (32 x 18 = 576 nodes, 52 x 56 = 2912 nodes, the largest). Each iteration also refills the
// frame's mutual buffer, as the host's decoder does for every frame.
#include <benchmark/benchmark.h>

#include "ferrant_frame_driver_test.h"
#include "ferx_syslog_capture_test.h"

namespace {

void BM_FerrantFrame(benchmark::State& state) {
  fxtest::SysLogCapture::Silence();
  fxtest::FrameDriver driver;
  if (!driver.Start(static_cast<uint8_t>(state.range(0)), static_cast<uint8_t>(state.range(1)))) {
    state.SkipWithError("the module did not start");
    return;
  }
  uint16_t x = 500;
  for (auto _ : state) {
    fxtest::FrameDriver::Touch(true, x, 600);
    x = static_cast<uint16_t>(x == 900 ? 500 : x + 1);
    driver.Frame();
  }
  state.counters["nodes"] = static_cast<double>(state.range(0) * state.range(1));
  driver.Stop();
}

BENCHMARK(BM_FerrantFrame)->Args({32, 18})->Args({52, 56})->ArgNames({"drv", "sen"});

}  // namespace

BENCHMARK_MAIN();
