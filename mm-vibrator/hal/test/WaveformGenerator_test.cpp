// The generator's schedule, commands, curves and 8-bit mix. Expected mixes come from a
// saturating reference written here; the HE commands run over the AWA stand-in library.
#include "WaveformGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "GeneratorTestRoot.h"
#include "platform_wavelibs_test.h"

namespace {

// A track that plays a constant byte for a number of samples under any name.
class ConstTrack : public Track {
 public:
  ConstTrack(std::string name, int value, int samples) : mName(std::move(name)), mValue(value) { mRemain = samples; }
  int getByte() override {
    --mRemain;
    return mValue;
  }
  std::string getName() override { return mName; }
  void reset() override {}
  void setGlobalParameter(double intensity, double sharpness) override {
    intensities.push_back(intensity);
    sharpnesses.push_back(sharpness);
  }
  void flush() override { ++flushes; }

  std::vector<double> intensities, sharpnesses;
  int flushes = 0;

 private:
  std::string mName;
  int mValue;
};

class Generator : public ::testing::Test {
 protected:
  gentest::Root env;
};

TEST_F(Generator, EmptyStreamReturnsNothing) {
  WaveformGenerator gen;
  signed char buf[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_EQ(gen.gen(buf, 8), 0);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[1], 9);
  EXPECT_EQ(gen.gen(buf, 0), 0);
  EXPECT_EQ(gen.f0(), 176);
  EXPECT_EQ(gen.library().kind, kWaveLibNone);
}

TEST_F(Generator, F0FromTheDriverOrTheResonantFrequency) {
  const struct {
    const char* file;
    const char* resonant;
    int32_t f0;
  } cases[] = {{"1705\n", nullptr, 170}, {"1705\n", "150", 150}, {"1760\n", nullptr, 176}, {"1900\n", nullptr, 170}};
  for (const auto& c : cases) {
    plat_properties_reset();
    env.setProperty("ro.odm.mm.vibrator.sys_path", gentest::kSysPath);
    if (c.resonant != nullptr) env.setProperty("ro.odm.mm.vibrator.resonant_frequency", c.resonant);
    env.root.writeFile(std::string(gentest::kSysPath) + "/f0_value", c.file);
    WaveformGenerator gen;
    EXPECT_EQ(gen.f0(), c.f0) << c.file << " " << (c.resonant ? c.resonant : "-");
  }
}

// One sample of a mix, worked by hand. Each prebaked track adds trunc(0.6 v) and each sine
// trunc(0.4 v) to an accumulator that saturates at -128..127 after every step; any other
// track replaces the accumulator with its byte (saturated). The sum is then divided by the
// weights of the weighted tracks and saturated once more (truncating toward zero).
TEST_F(Generator, MixesWithSaturation) {
  const struct {
    std::vector<std::pair<std::string, int>> tracks;
    int expected;
  } cases[] = {
      {{{"prebaked_Track", 101}}, 100},                        // trunc(60.6) = 60, 60 / 0.6
      {{{"prebaked_Track", -77}}, -76},                        // -46 / 0.6 = -76.7
      {{{"SineTrack", 101}}, 100},                             // trunc(40.4) = 40, 40 / 0.4
      {{{"prebaked_Track", 127}, {"prebaked_Track", 127}}, 105},    // 76 + 76 saturates at 127; 127 / 1.2
      {{{"prebaked_Track", -128}, {"prebaked_Track", -128}}, -106},  // -76 - 76 saturates at -128; / 1.2
      {{{"SineTrack", 100}, {"BraxTrack", 50}}, 125},          // the HE byte replaces the 40; 50 / 0.4
      {{{"BraxTrack", 50}, {"SineTrack", 100}}, 127},          // 50 + 40 = 90; 90 / 0.4 = 225 saturates
      {{{"static_Track", 90}, {"prebaked_Track", 90}}, 127},   // 90 + 54 saturates; 127 / 0.6 saturates
      {{{"static_Track", 300}}, 127},                          // a track byte past 8 bits saturates
  };
  for (const auto& c : cases) {
    WaveformGenerator gen;
    for (const auto& [name, v] : c.tracks) gen.addTrack(0.0f, std::make_unique<ConstTrack>(name, v, 4));
    signed char buf[4] = {};
    ASSERT_EQ(gen.gen(buf, 4), 4);
    for (signed char b : buf) ASSERT_EQ(b, c.expected) << c.tracks.front().first << " " << c.tracks.front().second;
  }
}

TEST_F(Generator, StreamEndsWithItsLastTrackSample) {
  WaveformGenerator gen;
  gen.addTrack(0.0f, std::make_unique<ConstTrack>("static_Track", 5, 300));
  std::vector<signed char> buf(512, 9);
  EXPECT_EQ(gen.gen(buf.data(), 512), 300);
  EXPECT_EQ(buf[299], 5);
  EXPECT_EQ(buf[300], 9);  // the stream ended with the track's last sample
  EXPECT_EQ(gen.gen(buf.data(), 512), 0);
}

TEST_F(Generator, ScheduledTracksStartOnTheirSample) {
  WaveformGenerator gen;
  auto* late = new ConstTrack("static_Track", 7, 10);
  auto command = std::make_unique<GeneratorCommand>();
  auto data = std::make_unique<TrackData>();
  data->track.reset(late);
  data->start = 0.001f;  // 24 samples on
  command->data = std::move(data);
  command->type = kScheduleTrack;
  gen.sendCommand(std::move(command));
  std::vector<signed char> buf(64, 9);
  ASSERT_EQ(gen.gen(buf.data(), 64), 34);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(buf[i], 0) << i;
  for (int i = 24; i < 34; ++i) EXPECT_EQ(buf[i], 7) << i;
}

TEST_F(Generator, PassedEntryDoesNotHoldBackLaterTracks) {
  WaveformGenerator gen;
  gen.addTrack(0.0f, std::make_unique<ConstTrack>("static_Track", 1, 10));
  std::vector<signed char> buf(64);
  ASSERT_EQ(gen.gen(buf.data(), 5), 5);
  // Scheduled from the stream's start: the cursor goes back to the entry at 0, which has
  // already played; the track at 20 must still start.
  gen.addTrack(0.001f, std::make_unique<ConstTrack>("static_Track", 3, 4));  // sample 24
  ASSERT_EQ(gen.gen(buf.data(), 64), 23);  // samples 5 .. 27
  EXPECT_EQ(buf[0], 1);
  EXPECT_EQ(buf[10], 0);
  EXPECT_EQ(buf[19], 3);
  EXPECT_EQ(buf[22], 3);
}

TEST_F(Generator, CurvesSteerTheGlobalIntensity) {
  WaveformGenerator gen;
  auto* sine = new ConstTrack("SineTrack", 10, 300);
  gen.addTrack(0.0f, std::unique_ptr<TrackInterface>(sine));
  // Jump to 0.5 at once, then ramp to 1.0 over 10 ms.
  gen.addParameter(0.0f, {{0.0, 0.5}, {0.01, 1.0}}, 0);
  gen.addParameter(0.0f, {{0.0, 0.9}}, 7);  // no target: dropped
  std::vector<signed char> buf(300);
  ASSERT_EQ(gen.gen(buf.data(), 300), 300);
  ASSERT_EQ(sine->intensities.size(), 300u);
  EXPECT_DOUBLE_EQ(sine->intensities[0], 0.5);
  EXPECT_NEAR(sine->intensities[120], 0.75, 0.005);
  EXPECT_NEAR(sine->intensities[240], 1.0, 0.005);
  EXPECT_NEAR(sine->intensities[299], sine->intensities[241], 1e-12);  // finished
  for (double s : sine->sharpnesses) EXPECT_EQ(s, 0.0);
}

TEST_F(Generator, CurveToALaterFirstPointRamps) {
  WaveformGenerator gen;
  auto* sine = new ConstTrack("SineTrack", 10, 300);
  gen.addTrack(0.0f, std::unique_ptr<TrackInterface>(sine));
  auto command = std::make_unique<GeneratorCommand>();
  auto data = std::make_unique<ParameterData>();
  data->start = 0.0f;
  data->points = {{0.01, 0.5}};
  data->type = 1;  // sharpness, from 0.0
  command->data = std::move(data);
  command->type = kScheduleCurve;
  gen.sendCommand(std::move(command));
  std::vector<signed char> buf(300);
  ASSERT_EQ(gen.gen(buf.data(), 300), 300);
  EXPECT_NEAR(sine->sharpnesses[119], 0.25, 1e-9);
  EXPECT_NEAR(sine->sharpnesses[239], 0.5, 1e-9);
  for (double s : sine->sharpnesses) EXPECT_LE(s, 0.5 + 0.5 / 240 + 1e-12);
}

TEST_F(Generator, GlobalParametersAndResetInQueueOrder) {
  WaveformGenerator gen;
  gen.setGlobalParameters(0.3, 0.2);
  auto* sine = new ConstTrack("SineTrack", 10, 4);
  gen.addTrack(0.0f, std::unique_ptr<TrackInterface>(sine));
  std::vector<signed char> buf(4);
  gen.gen(buf.data(), 4);
  EXPECT_DOUBLE_EQ(sine->intensities.at(0), 0.3);
  EXPECT_DOUBLE_EQ(sine->sharpnesses.at(0), 0.2);
  gen.reset();
  EXPECT_DOUBLE_EQ(gen.globalIntensity(), 1.0);
  EXPECT_DOUBLE_EQ(gen.globalSharpness(), 0.0);
  EXPECT_EQ(gen.currentSample(), 0);
}

std::unique_ptr<GeneratorCommand> createTrack(uint8_t events, int32_t amplitude) {
  auto data = std::make_unique<CreateTrackData>();
  data->events.assign(static_cast<size_t>(events) * 17, 0);
  for (uint8_t e = 0; e < events; ++e) {
    int32_t* w = data->events.data() + e * 17;
    w[0] = 4097;  // transient
    w[1] = e * 50;
    w[2] = 100;
    w[3] = 50;
  }
  data->eventCount = events;
  data->amplitude = amplitude;
  auto command = std::make_unique<GeneratorCommand>();
  command->data = std::move(data);
  command->type = kCreateTrack;
  return command;
}

TEST_F(Generator, OneHeTrackPerPeriodOnTheAwaLibrary) {
  env.installLibrary("vendor.awa.wavelib.so");
  platform_wavelibs_test::reset();
  WaveformGenerator gen;
  ASSERT_EQ(gen.library().kind, kWaveLibAwa);
  const auto init = platform_wavelibs_test::calls("awa");
  ASSERT_FALSE(init.empty());
  EXPECT_EQ(init.front().name, "awa_haptics_init");
  EXPECT_EQ(init.front().args.at(0), 176);

  auto* earlier = new ConstTrack("static_Track", 9, 100000);
  gen.addTrack(0.0f, std::unique_ptr<TrackInterface>(earlier));
  std::vector<signed char> buf(512);
  ASSERT_EQ(gen.gen(buf.data(), 16), 16);

  gen.sendCommand(createTrack(1, 100));
  gen.sendCommand(createTrack(2, 100));  // same period: dropped
  ASSERT_GT(gen.gen(buf.data(), 512), 0);
  EXPECT_EQ(earlier->flushes, 1);  // the active track was flushed for the HE track
  int lengthCalls = 0;
  for (const auto& c : platform_wavelibs_test::calls("awa")) {
    if (c.name == "awa_haptics_get_waves_length") {
      ++lengthCalls;
      EXPECT_EQ(c.args.at(0), 1);
    }
  }
  EXPECT_EQ(lengthCalls, 1);
  EXPECT_TRUE(std::any_of(buf.begin(), buf.end(), [](signed char b) { return b != 0; }));
}

}  // namespace
