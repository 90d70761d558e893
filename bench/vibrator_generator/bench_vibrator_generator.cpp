// Mixing throughput of the waveform generator: periods of 512 samples from a number of
// active tracks (caller buffers and sines with their curves), as the playback thread asks
// for them.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "TrackInterface.h"
#include "WaveformGenerator.h"

namespace {

constexpr int32_t kPeriod = 512;
constexpr int32_t kBufferSamples = 24000 * 60;  // a minute of samples per buffer track

void schedule(WaveformGenerator& gen, int tracks, const EffectBuffer& bytes) {
  for (int t = 0; t < tracks; ++t) {
    if (t % 2 == 0) {
      gen.addTrack(0.0f, std::make_unique<static_Track>(bytes, kBufferSamples, 0.8));
    } else {
      auto sine = std::make_unique<SineTrack>(0.9, 0.5, 60.0);
      sine->addParameter(0.0f, {{0.0, 0.2}, {0.5, 1.0}, {1.0, 0.4}}, 0);
      gen.addTrack(0.0f, std::move(sine));
    }
  }
  gen.addParameter(0.0f, {{0.0, 0.5}, {2.0, 1.0}}, 0);
}

void BM_GenPeriod(benchmark::State& state) {
  const int tracks = static_cast<int>(state.range(0));
  std::shared_ptr<signed char[]> raw(new signed char[kBufferSamples]);
  for (int32_t i = 0; i < kBufferSamples; ++i) raw[i] = static_cast<signed char>((i * 13) % 255 - 127);
  const EffectBuffer bytes = raw;
  WaveformGenerator gen;
  schedule(gen, tracks, bytes);
  std::vector<signed char> period(kPeriod);
  for (auto _ : state) {
    if (gen.gen(period.data(), kPeriod) < kPeriod) {
      state.PauseTiming();
      gen.reset();
      schedule(gen, tracks, bytes);
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(period.data());
  }
  state.SetItemsProcessed(state.iterations() * kPeriod);
}
BENCHMARK(BM_GenPeriod)->Arg(1)->Arg(2)->Arg(4)->Arg(8);

}  // namespace

BENCHMARK_MAIN();
