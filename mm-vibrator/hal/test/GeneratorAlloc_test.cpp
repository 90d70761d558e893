// The playback thread never allocates: every allocation a new schedule needs (tracks,
// curves, their places in the schedule) is made on the thread that sends the command, and
// the generator reserves its working lists up front. Here the test thread plays the
// playback thread's part and counts the allocations of gen() over whole effects.
#include <android/log.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "GeneratorTestRoot.h"
#include "StreamEffect.h"
#include "TrackInterface.h"
#include "WaveformGenerator.h"
#include "vendor_test/alloc_counter.h"

namespace {

std::unique_ptr<GeneratorCommand> command(int32_t type, std::unique_ptr<GeneratorCommandData> data) {
  auto c = std::make_unique<GeneratorCommand>();
  c->type = type;
  c->data = std::move(data);
  return c;
}

// Eight voices as a service schedules them: sines with curves, prebaked waveforms, a
// stored effect, an HE effect of the haptics core, and a global intensity curve.
void scheduleEffect(WaveformGenerator& gen) {
  gen.setGlobalParameters(0.9, 0.1);
  auto curve = std::make_unique<ParameterData>();
  curve->start = 0.0f;
  curve->points = {{0.0, 1.0}, {0.5, 0.5}, {1.0, 1.0}};
  curve->type = 0;
  gen.sendCommand(command(kScheduleCurve, std::move(curve)));
  for (int i = 0; i < 3; ++i) {
    auto sine = std::make_unique<SineTrack>(0.8, 0.3 + 0.2 * i, 0.2);
    sine->addParameter(0.0f, {{0.0, 0.5}, {0.1, 1.0}, {0.2, 0.2}}, 0);
    sine->addParameter(0.05f, {{0.0, 0.2}, {0.1, 0.6}}, 1);
    auto data = std::make_unique<TrackData>();
    data->track = std::move(sine);
    data->start = 0.01f * static_cast<float>(i);
    gen.sendCommand(command(kScheduleTrack, std::move(data)));
  }
  for (int i = 0; i < 2; ++i) {
    auto data = std::make_unique<TrackData>();
    data->track = std::make_unique<prebaked_Track>(0.7, 0.2 + 0.5 * i);
    data->start = 0.02f + 0.03f * static_cast<float>(i);
    gen.sendCommand(command(kScheduleTrack, std::move(data)));
  }
  {
    auto* bytes = new signed char[3000];
    for (int i = 0; i < 3000; ++i) bytes[i] = static_cast<signed char>((i * 7) % 200 - 100);
    auto data = std::make_unique<TrackData>();
    data->track = std::make_unique<static_Track>(EffectBuffer(bytes), 3000, 0.5);
    data->start = 0.04f;
    gen.sendCommand(command(kScheduleTrack, std::move(data)));
  }
  {
    std::vector<int32_t> words(2 * 17, 0);
    words[0] = 4097, words[1] = 0, words[2] = 100, words[3] = 50;
    words[17] = 4096, words[18] = 30, words[19] = 100, words[20] = 50, words[21] = 100;
    const int32_t points[4][3] = {{0, 0, 0}, {20, 100, 0}, {80, 100, 0}, {100, 0, 0}};
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 3; ++k) words[22 + 3 * j + k] = points[j][k];
    auto data = std::make_unique<CreateTrackData>();
    data->events = words;
    data->eventCount = 2;
    data->amplitude = 100;
    gen.sendCommand(command(kCreateTrack, std::move(data)));
  }
}

void silentLogger(const __android_logger_data*, const char*) {}

TEST(GeneratorAllocation, PlaybackSideOfWholeEffectsAllocatesNothing) {
  gentest::Root env;
  env.installLibrary("libbraxhaptics.so");
  ASSERT_TRUE(vendor_test::allocationCountingWorks());
  // The host's log writer allocates per message; the device's does not.
  __android_log_set_logger(silentLogger);
  WaveformGenerator gen;
  ASSERT_EQ(gen.library().kind, kWaveLibBrax);
  std::vector<signed char> period(512);
  // Round 0 warms up: tables the haptics core and the log build on first use.
  for (int round = 0; round < 4; ++round) {
    scheduleEffect(gen);
    int32_t samples = 0;
    int32_t n = 0;
    vendor_test::AllocationCount allocations;
    do {
      n = gen.gen(period.data(), 512);
      samples += n;
    } while (n == 512 && samples < 24000 * 5);
    const uint64_t count = allocations.count();
    if (round > 0) {
      EXPECT_EQ(count, 0u) << "round " << round;
    }
    EXPECT_GT(samples, 4800) << "round " << round;
    gen.reset();  // as the playback thread does after its standby
  }
  __android_log_set_logger(__android_log_stderr_logger);
}

}  // namespace
