// How fast the core renders against real time: one effect (a transient and a one-second
// continuous event) rendered and pulled frame by frame through the public interface.
// The counter audio_x_realtime is seconds of output per second of wall time; the vibrator
// needs it well above 1 to keep its PCM period fed.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "brax_haptics.h"
#include "he_events.h"
#include "synthesis.h"

namespace {

std::vector<brax_haptic_event> Effect() {
  brax_haptic_event t;
  std::memset(&t, 0, sizeof t);
  t.type = BRAX_HE_TRANSIENT;
  t.intensity = 100;
  t.frequency = 50;
  brax_haptic_event c;
  std::memset(&c, 0, sizeof c);
  c.type = BRAX_HE_CONTINUOUS;
  c.start_time = 20;
  c.intensity = 100;
  c.frequency = 50;
  c.duration = 1000;
  const int32_t times[4] = {0, 50, 950, 1000};
  const int32_t levels[4] = {0, 100, 80, 0};
  for (int j = 0; j < 4; ++j) c.points[j] = {times[j], levels[j], j * 10};
  return {t, c};
}

void BM_RenderEffect(benchmark::State& state) {
  const int32_t rate = static_cast<int32_t>(state.range(0));
  const int32_t frame = static_cast<int32_t>(state.range(1));
  const brax_haptics_config cfg = {frame, rate, 1, 170};
  if (brax_haptics_init(&cfg) != 0) {
    state.SkipWithError("init failed");
    return;
  }
  const auto effect = Effect();
  std::vector<int8_t> buf(static_cast<size_t>(frame));
  int64_t samples = 0;
  int64_t frames = 0;
  for (auto _ : state) {
    brax_haptics_process(effect.data(), static_cast<uint32_t>(effect.size() * sizeof(brax_haptic_event)));
    uint32_t len = 1;
    while (len != 0) {
      brax_haptics_get_frame(buf.data(), &len);
      samples += len;
      frames += len != 0;
    }
    benchmark::DoNotOptimize(buf.data());
  }
  state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["audio_x_realtime"] =
      benchmark::Counter(static_cast<double>(samples) / rate, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_RenderEffect)->Args({24000, 512})->Args({48000, 512})->Args({48000, 1024})->UseRealTime();

// The synthesis alone, without the frame handshake: the one-second continuous event of the
// effect above rendered chunk by chunk on this thread.
void BM_SynthesisOnly(benchmark::State& state) {
  const int32_t rate = static_cast<int32_t>(state.range(0));
  const size_t chunk = static_cast<size_t>(state.range(1));
  brax::Voice v;
  v.f0 = 170;
  v.rate = rate;
  v.samples_per_ms = rate / 1000;
  v.model = brax::LraModel::Make(170, rate);
  v.displacement = brax::DisplacementFilter(170, rate);
  v.fir = brax::LowPassFir(rate);
  v.equaliser = brax::EqualiserFilter(v.model);
  v.fast = brax::FastSignal::Make(170, rate);
  std::vector<double> calc(3 * brax::kCalcLen);
  brax::ContinuousRenderer r(v, calc.data());
  brax::ConvertedEvent e{};
  e.kind = brax::kKindContinuous;
  const int32_t times[4] = {0, 50, 950, 1000};
  const int32_t levels[4] = {0, 100, 80, 0};
  for (int j = 0; j < 4; ++j) e.points[j] = {times[j], levels[j], 154 + 10 * j};
  std::vector<int8_t> out(chunk);
  int64_t samples = 0;
  for (auto _ : state) {
    r.Start(e);
    while (size_t n = r.Next(out.data(), chunk)) samples += static_cast<int64_t>(n);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["audio_x_realtime"] =
      benchmark::Counter(static_cast<double>(samples) / rate, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_SynthesisOnly)->Args({48000, 1024})->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
