// The tracks on their own: the sine against an independent phase computation, the prebaked
// table waveforms, and the HE tracks' frame walk over a scripted wave library.
#include "TrackInterface.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <vector>

#include "GeneratorTestRoot.h"

namespace {

// Reference sine: sample k (from 1) is at phase step 725 * k of a 102400-entry table
// spanning 0 .. 6.2831852 (the last entry being 6.2831852 itself).
int referenceSine(int k, double scale, int step) {
  const int idx = (step * k) % 102400;
  const double phase = idx == 102399 ? 6.2831852 : idx * (6.2831852 / 102399);
  return static_cast<int>(128.0 * scale * std::sin(phase));
}

class Tracks : public ::testing::Test {
 protected:
  gentest::Root env;
};

TEST_F(Tracks, SineAt170HzForTenMilliseconds) {
  for (bool decay : {false, true}) {
    SineTrack sine(1.0, 0.7, 0.01);
    sine.setDecay(decay);
    const double scale = decay ? 0.06 * 1.3398 : 1.0;
    int n = 0;
    while (!sine.empty() && n < 1000) {
      ++n;
      ASSERT_EQ(sine.getByte(), referenceSine(n, scale, 725)) << "sample " << n << " decay " << decay;
    }
    EXPECT_EQ(n, 240);
    EXPECT_EQ(sine.lastFrequency(), 170);
  }
}

TEST_F(Tracks, SineFrequencyStaysInTheGainTable) {
  // Parameters outside 0..1 are held to 100 and 200 Hz.
  const std::pair<double, int> cases[] = {{-3.0, 100}, {0.0, 100}, {1.0, 200}, {7.0, 200}};
  for (const auto& [param, hz] : cases) {
    SineTrack sine(1.0, param, 0.001);
    sine.getByte();
    EXPECT_EQ(sine.lastFrequency(), hz) << param;
  }
}

TEST_F(Tracks, SineCurveDrivesBaseAmplitudeAndResets) {
  SineTrack sine(1.0, 0.7, 0.01);
  sine.addParameter(0.0f, {{0.0, 0.5}}, 0);  // jump to half amplitude at once
  sine.addParameter(0.0f, {{0.0, 0.5}}, 5);  // no target: dropped
  for (int pass = 0; pass < 2; ++pass) {
    for (int k = 1; k <= 240; ++k) {
      sine.setGlobalParameter(1.0, 0.0);
      ASSERT_EQ(sine.getByte(), referenceSine(k, k == 1 ? 1.0 : 0.5, 725)) << k;
    }
    EXPECT_TRUE(sine.empty());
    sine.reset();
  }
}

TEST_F(Tracks, PrebakedWaveformsByEffectParameter) {
  const auto waves = gentest::prebakedWaveforms();
  struct Case {
    double amplitude, effect;
    size_t index;
  } cases[] = {{0.5, 1.0, 9}, {1.0, 0.55, 4}, {1.0, 0.0, 0}, {1.0, 4.0, 9}, {1.0, -1.0, 0}};
  for (const auto& c : cases) {
    prebaked_Track t(c.amplitude, c.effect);
    ASSERT_EQ(static_cast<size_t>(t.waveformIndex()), c.index);
    const auto& w = waves[c.index];
    for (size_t i = 0; i < w.size(); ++i) {
      ASSERT_FALSE(t.empty());
      ASSERT_EQ(t.getByte(), static_cast<int>(c.amplitude * w[i])) << c.index << ":" << i;
    }
    EXPECT_TRUE(t.empty());
    EXPECT_EQ(t.getByte(), 0);
    t.reset();
    EXPECT_EQ(t.getByte(), static_cast<int>(c.amplitude * w[0]));
  }
}

TEST_F(Tracks, StaticTrackWithoutSamplesIsEmpty) {
  static_Track none(nullptr, 100, 1.0);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(none.getByte(), 0);
  EffectBuffer bytes(new signed char[3]{10, -20, 30});
  static_Track t(bytes, 3, 0.5);
  EXPECT_EQ(t.getByte(), 5);
  t.flush();
  EXPECT_TRUE(t.empty());
  t.reset();
  EXPECT_EQ(t.getByte(), 5);
  EXPECT_EQ(t.getByte(), -10);
  EXPECT_EQ(t.getByte(), 15);
  EXPECT_TRUE(t.empty());
}

// A scripted haptics core: every process installs `frames` (each a frame length), whose
// bytes are 1, 2, 3, ... counting across the effect.
struct FakeCore {
  static inline std::vector<uint32_t> frames;
  static inline std::deque<uint32_t> pending;
  static inline int processCalls = 0;
  static inline int getFrameCalls = 0;
  static inline int processResult = 0;
  static inline uint8_t next = 1;
  static inline std::vector<uint32_t> lastProcessLen;

  static void reset(std::vector<uint32_t> f) {
    frames = std::move(f);
    pending.clear();
    processCalls = getFrameCalls = processResult = 0;
    lastProcessLen.clear();
  }
  static int32_t process(const brax_haptic_event*, uint32_t len) {
    ++processCalls;
    lastProcessLen.push_back(len);
    if (processResult != 0) return processResult;
    pending.assign(frames.begin(), frames.end());
    pending.push_back(0);
    next = 1;
    return 0;
  }
  static int32_t getFrame(void* buf, uint32_t* len) {
    ++getFrameCalls;
    EXPECT_FALSE(pending.empty()) << "get_frame after the frame of length 0";
    if (pending.empty()) {
      *len = 0;
      return -1;
    }
    *len = pending.front();
    pending.pop_front();
    for (uint32_t i = 0; i < *len; ++i) static_cast<int8_t*>(buf)[i] = static_cast<int8_t>(next++);
    return 0;
  }
};

WaveLibrary fakeBrax() {
  WaveLibrary lib;
  lib.kind = kWaveLibBrax;
  lib.braxProcess = &FakeCore::process;
  lib.braxGetFrame = &FakeCore::getFrame;
  return lib;
}

HeTrackParams params(int8_t repeat, int32_t interval, uint8_t events) {
  HeTrackParams p;
  p.id = 7;
  p.repeat = repeat;
  p.events.assign(static_cast<size_t>(events) * 17, 0);
  p.amplitude = 100;
  p.interval = interval;
  p.eventCount = events;
  return p;
}

std::vector<int> drain(TrackInterface& t, size_t limit = 100000) {
  std::vector<int> out;
  while (!t.empty() && out.size() < limit) out.push_back(t.getByte());
  return out;
}

TEST_F(Tracks, BraxTrackRepeatsAfterItsInterval) {
  FakeCore::reset({300, 200});
  const WaveLibrary lib = fakeBrax();
  BraxTrack track(lib, params(1, 100, 2));
  track.reset();
  EXPECT_EQ(FakeCore::lastProcessLen.at(0), 2u * 68);
  const std::vector<int> out = drain(track);
  std::vector<int> expected;
  for (int i = 1; i <= 500; ++i) expected.push_back(static_cast<int8_t>(i));
  expected.insert(expected.end(), 2400, 0);  // 100 ms at 24 samples per ms
  for (int i = 1; i <= 500; ++i) expected.push_back(static_cast<int8_t>(i));
  EXPECT_EQ(out, expected);
  EXPECT_EQ(FakeCore::processCalls, 2);
  EXPECT_TRUE(track.empty());
}

TEST_F(Tracks, BraxTrackScalesByItsAmplitude) {
  FakeCore::reset({4});
  const WaveLibrary lib = fakeBrax();
  HeTrackParams p = params(0, 0, 1);
  p.amplitude = 50;
  BraxTrack track(lib, std::move(p));
  track.reset();
  EXPECT_EQ(drain(track), (std::vector<int>{0, 1, 1, 2}));  // trunc(v / 2)
}

TEST_F(Tracks, BraxTrackWithoutFramesOrEntryPointsEndsAtOnce) {
  const WaveLibrary lib = fakeBrax();
  FakeCore::reset({});
  BraxTrack noFrames(lib, params(3, 10, 1));
  noFrames.reset();
  EXPECT_TRUE(noFrames.empty());

  FakeCore::reset({100});
  FakeCore::processResult = -1;
  BraxTrack refused(lib, params(0, 0, 1));
  refused.reset();
  EXPECT_TRUE(refused.empty());
  EXPECT_EQ(FakeCore::getFrameCalls, 0);  // nothing installed: nothing to fetch

  FakeCore::reset({100});
  BraxTrack tooMany(lib, params(0, 0, 17));  // past the core's 16 events
  tooMany.reset();
  EXPECT_TRUE(tooMany.empty());
  EXPECT_EQ(FakeCore::processCalls, 0);

  WaveLibrary unbound;
  BraxTrack noLib(unbound, params(0, 0, 1));
  noLib.reset();
  EXPECT_TRUE(noLib.empty());
}

// A flushed effect is abandoned, not drained: the core leaves it when the next effect is
// installed, so an effect that claims minutes costs nothing to stop (neither in flush nor
// in the destructor).
TEST_F(Tracks, BraxFlushAbandonsTheEffectWithoutFetchingIt) {
  FakeCore::reset({512, 512, 512, 100});
  const WaveLibrary lib = fakeBrax();
  {
    BraxTrack track(lib, params(0, 0, 1));
    track.reset();
    for (int i = 0; i < 600; ++i) track.getByte();
    const int fetched = FakeCore::getFrameCalls;
    EXPECT_EQ(fetched, 2);
    track.flush();
    EXPECT_TRUE(track.empty());
    EXPECT_EQ(FakeCore::getFrameCalls, fetched);
  }
  EXPECT_EQ(FakeCore::getFrameCalls, 2);
  EXPECT_EQ(FakeCore::pending.size(), 3u);  // left to the core
}

// The outside libraries render at once; an empty rendering ends the track instead of
// playing silence for ever.
int32_t fakeAwaLength(const int32_t*, int count) { return count * 10; }
int32_t fakeAwaData(const int32_t*, int count, int8_t* buf) {
  for (int i = 0; i < count * 10; ++i) buf[i] = static_cast<int8_t>(i + 1);
  return 0;
}

TEST_F(Tracks, AwaTrackPlaysItsRendering) {
  WaveLibrary lib;
  lib.kind = kWaveLibAwa;
  lib.awaGetWavesLength = &fakeAwaLength;
  lib.awaGetWavesData = &fakeAwaData;
  AWATrack track(lib, params(0, 0, 2));
  track.reset();
  std::vector<int> expected;
  for (int i = 1; i <= 20; ++i) expected.push_back(i);
  EXPECT_EQ(drain(track), expected);

  AWATrack empty(lib, params(0, 0, 0));
  empty.reset();
  EXPECT_TRUE(empty.empty());

  lib.awaGetWavesData = nullptr;
  AWATrack noData(lib, params(0, 0, 2));
  noData.reset();
  EXPECT_TRUE(noData.empty());
}

// The two-array form: one type word per event (1 transient: 3 numbers, 0 continuous: 16).
int gQuonLenCalls = 0;
int fakeQuonLen(int32_t*, int32_t* count, int32_t*, int32_t* length) {
  ++gQuonLenCalls;
  *length = *count * 6;
  return 0;
}
int fakeQuonGen(int32_t*, int32_t* count, int32_t* params, int8_t* buf, int32_t* length) {
  // Renders one sample short of what it announced.
  *length = *count * 6 - 1;
  for (int32_t i = 0; i < *length; ++i) buf[i] = static_cast<int8_t>(params[0] + i);
  return 0;
}

TEST_F(Tracks, QuonTrackChecksTheTwoArrayForm) {
  gQuonLenCalls = 0;  // counted per run of this test
  WaveLibrary lib;
  lib.kind = kWaveLibQuon;
  lib.quonLenAlgorithm = &fakeQuonLen;
  lib.quonGenAlgorithm = &fakeQuonGen;
  auto quon = [&](std::vector<int32_t> words, uint8_t count) {
    HeTrackParams p;
    p.events = std::move(words);
    p.eventCount = count;
    p.amplitude = 100;
    return QuonV1Track(lib, std::move(p));
  };
  // Two transients: types {1, 1}, then 2 x 3 numbers starting with a frequency of 40.
  QuonV1Track ok = quon({1, 1, 40, 100, 0, 40, 100, 50}, 2);
  ok.reset();
  std::vector<int> expected;
  for (int i = 0; i < 11; ++i) expected.push_back(40 + i);
  EXPECT_EQ(drain(ok), expected);
  EXPECT_EQ(gQuonLenCalls, 1);

  // A continuous event needs 16 numbers; the words end early: refused before the library.
  QuonV1Track shortList = quon({0, 10, 20, 30}, 1);
  shortList.reset();
  EXPECT_TRUE(shortList.empty());
  QuonV1Track badType = quon({4, 1, 2, 3}, 1);
  badType.reset();
  EXPECT_TRUE(badType.empty());
  EXPECT_EQ(gQuonLenCalls, 1);
}

}  // namespace
