// Share of the signal-conditioning and diff-data stages in the per-frame time of algorithm
// A: the same frames as bench_ferrant_frame (32 x 18 and 52 x 56 panels), with the frame's
// signal stages run again on their own after each frame, so that one run gives both times.
// The counter signal_share is the stages' time over the whole frame's.
#include <benchmark/benchmark.h>

#include <chrono>

#include "core_stages.h"
#include "ferrant_frame_driver_test.h"
#include "ferx_syslog_capture_test.h"
#include "signal_proc.h"

namespace {

// The signal stages of the finger list, in list order, with the raw-data preparation the
// frame entry runs before it.
void SignalStages() {
  NoiseRawdataProc();
  MutualRawDataScale();
  MutualRawDataNormalize(0);
  ImDataProc();
  GetRxJitter();
  NoiseTypeDetectProc();
  NoiseDurationPostProcess();
  FreqHoppingProc();
  RawdataDenoise();
  NormalizeCheck();
  GetDiff();
  LcdHighNoiseProc();
  DenoiseDiff();
  DiffDataStateAcquire();
  NoiseDiffDrvSmooth();
  LcdHighNoiseHandle();
  ComplementDiff();
  LowTempCompensatePro();
  ResetDiffInfo();
  JudgeFpTouchState();
}

void BM_FerrantSignalShare(benchmark::State& state) {
  fxtest::SysLogCapture::Silence();
  fxtest::FrameDriver driver;
  if (!driver.Start(static_cast<uint8_t>(state.range(0)), static_cast<uint8_t>(state.range(1)))) {
    state.SkipWithError("the module did not start");
    return;
  }
  using Clock = std::chrono::steady_clock;
  Clock::duration frame{}, signal{};
  uint16_t x = 500;
  for (auto _ : state) {
    fxtest::FrameDriver::Touch(true, x, 600);
    x = static_cast<uint16_t>(x == 900 ? 500 : x + 1);
    const auto t0 = Clock::now();
    driver.Frame();
    const auto t1 = Clock::now();
    SignalStages();
    const auto t2 = Clock::now();
    frame += t1 - t0;
    signal += t2 - t1;
  }
  const double frameNs = std::chrono::duration<double, std::nano>(frame).count();
  const double signalNs = std::chrono::duration<double, std::nano>(signal).count();
  const double n = static_cast<double>(state.iterations());
  state.counters["frame_ns"] = frameNs / n;
  state.counters["signal_ns"] = signalNs / n;
  state.counters["signal_share"] = frameNs > 0 ? signalNs / frameNs : 0;
  driver.Stop();
}

BENCHMARK(BM_FerrantSignalShare)->Args({32, 18})->Args({52, 56})->ArgNames({"drv", "sen"});

}  // namespace

BENCHMARK_MAIN();
