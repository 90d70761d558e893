// Mixing throughput of the waveform generator as the playback thread drives it: periods of
// 512 samples from eight voices that all sound, and are all steered by curves, for the whole
// one-minute run: an HE effect rendered by the haptics core (a wave-library track, first in
// the mix so that the others add to it) and seven sines with amplitude and frequency curves,
// under a global intensity curve. Everything is scheduled through commands, as the service
// sends them.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "TrackInterface.h"
#include "WaveformGenerator.h"
#include "platform/paths.h"
#include "platform/properties.h"
#include "platform/temp_root.h"

namespace {

constexpr int32_t kPeriod = 512;
constexpr int32_t kRunMs = 60000;
constexpr int kSines = 7;

std::unique_ptr<GeneratorCommand> command(int32_t type, std::unique_ptr<GeneratorCommandData> data) {
  auto c = std::make_unique<GeneratorCommand>();
  c->type = type;
  c->data = std::move(data);
  return c;
}

void schedule(WaveformGenerator& gen) {
  // One continuous HE event for the whole run, its frequency moving along its points.
  std::vector<int32_t> words(17, 0);
  words[0] = 4096, words[1] = 0, words[2] = 100, words[3] = 50, words[4] = kRunMs;
  const int32_t points[4][3] = {{0, 0, 0}, {200, 100, 20}, {kRunMs - 200, 80, -20}, {kRunMs, 0, 0}};
  for (int j = 0; j < 4; ++j)
    for (int k = 0; k < 3; ++k) words[5 + 3 * j + k] = points[j][k];
  auto he = std::make_unique<CreateTrackData>();
  he->events = words;
  he->eventCount = 1;
  he->amplitude = 100;
  gen.sendCommand(command(kCreateTrack, std::move(he)));

  const double run = kRunMs / 1000.0;
  for (int i = 0; i < kSines; ++i) {
    auto sine = std::make_unique<SineTrack>(0.5, 0.2 + 0.1 * i, run);
    sine->addParameter(0.0f, {{0.0, 0.3}, {run / 2, 1.0}, {run, 0.4}}, 0);
    sine->addParameter(0.0f, {{0.0, 0.1 * i}, {run, 0.9 - 0.1 * i}}, 1);
    auto data = std::make_unique<TrackData>();
    data->track = std::move(sine);
    data->start = 0.0f;
    gen.sendCommand(command(kScheduleTrack, std::move(data)));
  }
  auto global = std::make_unique<ParameterData>();
  global->start = 0.0f;
  global->points = {{0.0, 0.6}, {run, 1.0}};
  global->type = 0;
  gen.sendCommand(command(kScheduleCurve, std::move(global)));
}

void BM_GenPeriodEightVoices(benchmark::State& state) {
  // A device under a temporary root: the driver's f0 and the haptics core where the
  // generator loads its wave library.
  platform::testing::TempRoot root;
  property_set("ro.odm.mm.vibrator.sys_path", "/sys/class/vib");
  root.writeFile("/sys/class/vib/f0_value", "1700\n");
  plat_mkdir_p("/odm/lib64", 0755);
  const std::string core = std::string(VENDOR_PLUGIN_DIR) + "/libbraxhaptics.so";
  if (symlink(core.c_str(), plat_path("/odm/lib64/libbraxhaptics.so").c_str()) != 0) {
    state.SkipWithError("cannot install the haptics core");
    return;
  }
  WaveformGenerator gen;
  if (gen.library().kind != kWaveLibBrax) {
    state.SkipWithError("haptics core not loaded");
    return;
  }
  schedule(gen);
  std::vector<signed char> period(kPeriod);
  int64_t runs = 0;
  for (auto _ : state) {
    if (gen.gen(period.data(), kPeriod) < kPeriod) {
      state.PauseTiming();
      gen.reset();
      schedule(gen);
      ++runs;
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(period.data());
  }
  state.SetItemsProcessed(state.iterations() * kPeriod);
  state.counters["audio_x_realtime"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kPeriod / 24000.0, benchmark::Counter::kIsRate);
  state.counters["restarts"] = static_cast<double>(runs);
}
BENCHMARK(BM_GenPeriodEightVoices)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
