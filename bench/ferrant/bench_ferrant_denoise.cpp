// Per-frame time of the LCD denoise (row fit, row denoise body, row offset cancel, shaking
// lines) followed by the self-diff offset cancel and the step mask, on 32 x 18 and 52 x 56
// panels: idle, one finger, LCD row noise, and LCD row noise beside an edge touch that hands
// the map to the denoise network (network in). allocs_per_frame counts heap allocations
// made inside the timed loop.
#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frnn.h"
#include "lcd_denoise.h"
#include "self_ofs_cancel.h"
#include "signal_proc.h"
#include "tsa_common.h"

namespace {
std::atomic<uint64_t> gAllocs{0};
}  // namespace

// Every heap allocation (operator new included) goes through malloc: count them.
extern "C" void* __libc_malloc(std::size_t n);
extern "C" void* malloc(std::size_t n) {
  gAllocs.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}

namespace {

enum Scene { kIdle, kFinger, kLcdNoise, kLcdNoiseNet };

struct Panel {
  uint8_t rows, cols;
  std::vector<int16_t> profile, frame, diff, self, selfFrame;
  std::vector<uint8_t> scratch, net;
  std::array<uint32_t, 12> rects{};
  std::array<uint16_t, 12> rectNodes{};
  std::array<uint8_t, 56> shake{};
  LcdDenoiseInput in{};
  SelfDiffOffsetCancelInput self_in{};
};

void Build(Panel& p, Scene scene) {
  const uint32_t R = p.rows, C = p.cols;
  p.profile.assign(56, 0);
  for (uint32_t c = 0; c < C; ++c) {
    const int32_t k = static_cast<int32_t>(c) - static_cast<int32_t>(C / 2);
    p.profile[c] = static_cast<int16_t>(300 * k * k / static_cast<int32_t>((C / 2) * (C / 2)) - 100);
  }
  p.frame.assign(R * C, 0);
  for (uint32_t i = 0; i < R * C; ++i) p.frame[i] = static_cast<int16_t>((i * 7) % 11 - 5);
  if (scene != kIdle) {
    for (uint32_t r = 5; r < 8; ++r)
      for (uint32_t c = 10; c < 13; ++c) p.frame[r * C + c] = static_cast<int16_t>(r == 6 && c == 11 ? 600 : 350);
  }
  if (scene == kLcdNoise || scene == kLcdNoiseNet) {
    for (uint32_t r = 0; r < R; r += 3)
      for (uint32_t c = 0; c < C; ++c)
        p.frame[r * C + c] = static_cast<int16_t>(p.frame[r * C + c] + 600 + 100 * (r % 5) + p.profile[c]);
  }
  p.diff = p.frame;
  p.scratch.assign(kLcdDenoiseScratchBytes, 0);
  p.shake.fill(255);
  p.in = {};
  p.in.ubCols = p.cols;
  p.in.ubRows = p.rows;
  p.in.uwNodes = static_cast<uint16_t>(R * C);
  p.in.uwMaskThreshold = 60;
  p.in.uwTouchedThreshold = 200;
  p.in.pswProfile = p.profile.data();
  p.in.puiRects = p.rects.data();
  p.in.puwRectNodes = p.rectNodes.data();
  p.in.pubShakeList = p.shake.data();
  p.in.pswDiff = p.diff.data();
  p.in.pubScratch = p.scratch.data();
  p.in.ubTouchNum = scene == kIdle ? 0 : 1;
  if (scene == kLcdNoiseNet) {
    static std::vector<uint8_t> weights(kDenoiseNetWeightBytes, 0);
    DenoiseNetSetWeights(weights.data(), kDenoiseNetWeightBytes);
    p.net.assign(kDenoiseNetPoolBytes, 0);
    p.in.pubNetBuffer = p.net.data();
    p.in.ubNetEnable = 1;
    p.rects[0] = 0x01000302u;  // a small touch at the left side asks for the network
    p.rectNodes[0] = 4;
  }
  AppLcdDenoiseInitial(&p.in, 1);
  p.selfFrame.assign(R + C, 0);
  for (uint32_t i = 0; i < R + C; ++i) p.selfFrame[i] = static_cast<int16_t>(150 + 3 * (i % 17));
  if (scene != kIdle) p.selfFrame[6] = 700;
  p.self = p.selfFrame;
  p.self_in = {};
  p.self_in.ubDrvNum = p.rows;
  p.self_in.ubSenNum = p.cols;
  p.self_in.ubMode = 1;
  p.self_in.pswSelfDiff = p.self.data();
  p.self_in.uwStylusTest = 1000;
  SelfDiffOffsetCancelInit(p.scratch.data());
  MutualOfsCancelTempInit(p.scratch.data());
}

void BM_FerrantDenoise(benchmark::State& state) {
  Panel p;
  p.rows = static_cast<uint8_t>(state.range(0));
  p.cols = static_cast<uint8_t>(state.range(1));
  const auto scene = static_cast<Scene>(state.range(2));
  Build(p, scene);
  const uint32_t N = static_cast<uint32_t>(p.rows) * p.cols;
  uint64_t allocs = 0;
  uint64_t mask = 0;
  std::chrono::duration<double, std::nano> ns{0};
  for (auto _ : state) {
    // A new frame: the map as the diff stage hands it over.
    std::memcpy(p.diff.data(), p.frame.data(), N * sizeof(int16_t));
    std::memcpy(p.self.data(), p.selfFrame.data(), p.self.size() * sizeof(int16_t));
    const uint64_t before = gAllocs.load(std::memory_order_relaxed);
    const auto t0 = std::chrono::steady_clock::now();
    AppLcdDenoiseFilter(&p.in);
    SelfDiffOffsetCancel(&p.self_in);
    mask ^= ResetMaskFlag(p.diff.data(), p.rows, p.cols, 60);
    ns += std::chrono::steady_clock::now() - t0;
    allocs += gAllocs.load(std::memory_order_relaxed) - before;
    benchmark::DoNotOptimize(p.diff.data());
    benchmark::DoNotOptimize(mask);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["allocs_per_frame"] = static_cast<double>(allocs) / n;
  // Share of the 240 Hz frame budget (4.17 ms) in percent.
  state.counters["budget_pct"] = ns.count() / n / 4.17e6 * 100.0;
}

BENCHMARK(BM_FerrantDenoise)
    ->ArgsProduct({{18}, {32}, {kIdle, kFinger, kLcdNoise, kLcdNoiseNet}})
    ->ArgsProduct({{52}, {56}, {kIdle, kFinger, kLcdNoise, kLcdNoiseNet}})
    ->ArgNames({"drv", "sen", "scene"});

}  // namespace

BENCHMARK_MAIN();
