// The vibrator service end to end, in process: the service registers with the service
// manager, a client reaches IVibrator and its IVibratorExt extension through binder, and
// the effects arrive at the simulated force-feedback device, the LED node and the PCM
// recording sink, HE effects rendered by the real libbraxhaptics.
#include <dlfcn.h>
#include <linux/input.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <aidl/android/hardware/vibrator/BnVibratorCallback.h>
#include <aidl/android/hardware/vibrator/IVibrator.h>
#include <aidl/vendor/hardware/vibratorfeature/IVibratorExt.h>
#include <android/binder_manager.h>
#include <platform_binder_test.h>
#include <platform_tinyalsa_test.h>

#include "GeneratorTestRoot.h"
#include "HeEffect.h"
#include "ServiceFixture.h"
#include "VibratorService.h"
#include "VibratorState.h"
#include "brax_haptics.h"

namespace vib = aidl::android::hardware::vibrator;
using aidl::vendor::hardware::vibratorfeature::IVibratorExt;
using vibrator_test::ServiceRoot;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kPeriodBytes = 1024;
constexpr size_t kPeriodSamples = 512;

class Callback : public vib::BnVibratorCallback {
 public:
  ndk::ScopedAStatus onComplete() override {
    std::lock_guard<std::mutex> g(mLock);
    mAt = Clock::now();
    mCalled = true;
    mChanged.notify_all();
    return ndk::ScopedAStatus::ok();
  }
  std::optional<Clock::time_point> wait(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> g(mLock);
    if (!mChanged.wait_for(g, timeout, [&] { return mCalled; })) return std::nullopt;
    return mAt;
  }

 private:
  std::mutex mLock;
  std::condition_variable mChanged;
  Clock::time_point mAt;
  bool mCalled = false;
};

// The 8-bit samples a recorded 16-bit period carries (each sample's high byte).
std::vector<int8_t> samplesOf(const std::vector<uint8_t>& period) {
  std::vector<int8_t> out;
  for (size_t i = 0; i + 1 < period.size(); i += 2) out.push_back(static_cast<int8_t>(period[i + 1]));
  return out;
}

class ServiceE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_binder_test::resetProcess();
    platform_binder_test::resetServiceManager();
    platform_binder_test::setWaitForServiceTimeout(std::chrono::seconds(10));
    platform_tinyalsa_test::useRecordingSink();
    fixture = std::make_unique<ServiceRoot>();
    fixture->addForceFeedback();
    fixture->ff->setWaveformLength(5, 0, 80);
    fixture->setProperty("ro.odm.mm.vibrator.device_type", deviceType);  // "led": the PCM output
    fixture->addEffect("3_thud_S_RTP.bin", vibrator_test::sineEffectBytes(2400));  // 100 ms
    fixture->addEffect("5_heavy_P_RTP.bin", "");
    ASSERT_TRUE(fixture->installLibrary("libbraxhaptics"));
  }
  void TearDown() override {
    vibrator.reset();
    ext.reset();
    if (service.joinable()) {
      platform_binder_test::stopProcess();
      service.join();
    }
    platform_binder_test::resetServiceManager();  // releases the service's objects
    platform_binder_test::resetProcess();
    platform_tinyalsa_test::useAlsa();
    fixture.reset();
  }

  void startService() {
    service = std::thread([this] { exitStatus = vib::runVibratorService(); });
    const std::string instance = std::string(vib::IVibrator::descriptor) + vib::kInstanceSuffix;
    ndk::SpAIBinder binder(AServiceManager_waitForService(instance.c_str()));
    ASSERT_NE(binder.get(), nullptr);
    vibrator = vib::IVibrator::fromBinder(binder);
    ASSERT_NE(vibrator, nullptr);
    AIBinder* extBinder = nullptr;
    ASSERT_EQ(AIBinder_getExtension(binder.get(), &extBinder), STATUS_OK);
    ASSERT_NE(extBinder, nullptr);
    ext = IVibratorExt::fromBinder(ndk::SpAIBinder(extBinder));
    ASSERT_NE(ext, nullptr);
  }

  // Recorded periods once `count` have arrived and the stream has been quiet for a while.
  std::vector<std::vector<uint8_t>> periodsAfter(size_t count) {
    EXPECT_TRUE(platform_tinyalsa_test::waitForPeriods(count, std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return platform_tinyalsa_test::periods();
  }

  const char* deviceType = "led";
  std::unique_ptr<ServiceRoot> fixture;
  std::thread service;
  int exitStatus = 0;
  std::shared_ptr<vib::IVibrator> vibrator;
  std::shared_ptr<IVibratorExt> ext;
};

TEST_F(ServiceE2ETest, RegistersWithItsExtensionAndExitsWhenThePoolEnds) {
  startService();
  EXPECT_EQ(platform_binder_test::threadPoolMaxThreadCount(), 0u);
  int32_t version = 0;
  ASSERT_TRUE(ext->getInterfaceVersion(&version).isOk());
  EXPECT_EQ(version, 1);
  vibrator.reset();
  ext.reset();
  platform_binder_test::stopProcess();
  service.join();
  EXPECT_EQ(exitStatus, 1);
}

TEST_F(ServiceE2ETest, OnDrivesTheForceFeedbackDeviceAndCallsBack) {
  startService();
  auto cb = ndk::SharedRefBase::make<Callback>();
  const auto start = Clock::now();
  ASSERT_TRUE(vibrator->on(100, cb).isOk());
  auto done = cb->wait(std::chrono::seconds(3));
  ASSERT_TRUE(done.has_value());
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(*done - start).count();
  EXPECT_GE(elapsed, 100);
  EXPECT_LT(elapsed, 1000);

  auto constant = fixture->ff->uploads(FF_CONSTANT);
  ASSERT_EQ(constant.size(), 1u);
  EXPECT_EQ(constant[0].effect.replay.length, 100);
  auto played = fixture->ff->written(static_cast<uint16_t>(constant[0].assignedId));
  ASSERT_FALSE(played.empty());
  EXPECT_EQ(played.back().type, EV_FF);
  EXPECT_EQ(played.back().value, 1);
  ASSERT_TRUE(vibrator->off().isOk());
  EXPECT_EQ(fixture->ff->liveEffects(FF_CONSTANT), 0u);
}

TEST_F(ServiceE2ETest, LedNodeIsChosenWhenItExists) {
  fixture->addLedNode();
  startService();
  int32_t caps = 0;
  ASSERT_TRUE(vibrator->getCapabilities(&caps).isOk());
  EXPECT_EQ(caps, 3);
  ASSERT_TRUE(vibrator->on(250, nullptr).isOk());
  EXPECT_EQ(fixture->root.readFile("/sys/class/leds/vibrator/duration"), std::string("250\n\0", 5));
  EXPECT_EQ(fixture->root.readFile("/sys/class/leds/vibrator/activate"), std::string("1\0", 2));
  EXPECT_TRUE(fixture->ff->uploads(FF_CONSTANT).empty());
}

TEST_F(ServiceE2ETest, PrebakedStreamReachesThePcmInWholePeriodsThenOneSilentPeriod) {
  startService();
  platform_tinyalsa_test::clearRecording();
  int32_t length = 0;
  ASSERT_TRUE(vibrator->perform(static_cast<vib::Effect>(3), vib::EffectStrength::STRONG, nullptr, &length).isOk());
  EXPECT_EQ(length, 140);

  const std::string file = vibrator_test::sineEffectBytes(2400);
  const size_t dataPeriods = (file.size() + kPeriodSamples - 1) / kPeriodSamples;  // 5
  auto periods = periodsAfter(dataPeriods + 1);
  ASSERT_EQ(periods.size(), dataPeriods + 1);
  for (size_t p = 0; p < periods.size(); ++p) {
    ASSERT_EQ(periods[p].size(), kPeriodBytes) << p;
    std::vector<int8_t> got = samplesOf(periods[p]);
    for (size_t i = 0; i < kPeriodSamples; ++i) {
      const size_t at = p * kPeriodSamples + i;
      const int8_t want = at < file.size() ? static_cast<int8_t>(file[at]) : 0;
      ASSERT_EQ(got[i], want) << "period " << p << " sample " << i;
      ASSERT_EQ(periods[p][2 * i], 0) << "low byte, period " << p << " sample " << i;
    }
  }
  auto config = platform_tinyalsa_test::lastConfig();
  EXPECT_EQ(config.rate, 24000u);
  EXPECT_EQ(config.period_size, 512u);
  EXPECT_EQ(config.channels, 1u);
}

// The HE core rendering the same records on its own: the reference for the service's output.
std::vector<int8_t> renderDirectly(const std::vector<int32_t>& records) {
  void* h = dlopen(VENDOR_PLUGIN_DIR "/libbraxhaptics.so", RTLD_NOW);
  if (h == nullptr) return {};
  auto init = reinterpret_cast<decltype(&brax_haptics_init)>(dlsym(h, "brax_haptics_init"));
  auto process = reinterpret_cast<decltype(&brax_haptics_process)>(dlsym(h, "brax_haptics_process"));
  auto getFrame = reinterpret_cast<decltype(&brax_haptics_get_frame)>(dlsym(h, "brax_haptics_get_frame"));
  const brax_haptics_config config{512, 24000, 1, 170};
  std::vector<int8_t> out;
  if (init(&config) != 0) return out;
  if (process(reinterpret_cast<const brax_haptic_event*>(records.data()),
               static_cast<uint32_t>(records.size() * sizeof(int32_t))) != 0)
    return out;
  int8_t frame[1024];
  uint32_t len = 0;
  while (getFrame(frame, &len) == 0 && len > 0) out.insert(out.end(), frame, frame + len);
  return out;
}

TEST_F(ServiceE2ETest, HeListIsRenderedByTheHapticsCoreWithItsGapAsSilence) {
  startService();
  platform_tinyalsa_test::clearRecording();
  // Two transients 100 ms apart, global intensity 100: the generator plays the core's
  // frames as they stand.
  const std::vector<int32_t> list = {0, 1, 100, 0, 0, 2,
                                     0, 0, 80, 50, 0, 0,
                                     0, 100, 60, 30, 0, 0};
  std::vector<int32_t> withTotal = list;
  withTotal[0] = static_cast<int32_t>(withTotal.size());
  ASSERT_TRUE(ext->play(withTotal, 0, 0, 100).isOk());

  std::vector<int32_t> records(2 * 17, 0);
  records[0] = BRAX_HE_TRANSIENT, records[1] = 0, records[2] = 80, records[3] = 50;
  records[17] = BRAX_HE_TRANSIENT, records[18] = 100, records[19] = 60, records[20] = 30;
  const std::vector<int8_t> reference = renderDirectly(records);
  ASSERT_GT(reference.size(), 2400u);

  const size_t dataPeriods = (reference.size() + kPeriodSamples - 1) / kPeriodSamples;
  auto periods = periodsAfter(dataPeriods + 1);
  ASSERT_EQ(periods.size(), dataPeriods + 1);
  std::vector<int8_t> got;
  for (const auto& p : periods) {
    auto s = samplesOf(p);
    got.insert(got.end(), s.begin(), s.end());
  }
  for (size_t i = 0; i < got.size(); ++i) {
    const int8_t want = i < reference.size() ? reference[i] : 0;
    ASSERT_EQ(got[i], want) << "sample " << i;
  }
  // The first event is over well before 100 ms; the gap up to the second is silence.
  size_t lastOfFirst = 0;
  for (size_t i = 0; i < 2400; ++i)
    if (got[i] != 0) lastOfFirst = i;
  EXPECT_GT(lastOfFirst, 0u);
  EXPECT_LT(lastOfFirst, 2000u);
  bool secondStarts = false;
  for (size_t i = 2400; i < 2400 + 240; ++i) secondStarts |= got[i] != 0;
  EXPECT_TRUE(secondStarts);
}

// A continuous event whose two curves are neither intensity nor frequency curves cannot be
// merged into points: the call is refused and the service goes on serving.
TEST_F(ServiceE2ETest, UnmergeableCurvesAreRefusedAndTheServiceKeepsRunning) {
  startService();
  const std::vector<int32_t> points = {0, 0, 10, 100, 90, 100, 100, 0};
  std::vector<int32_t> list = {0, 1, 100, 0, 0, 1, 1, 0, 90, 20, 100, 2, 2, 0, 4};
  list.insert(list.end(), points.begin(), points.end());
  list.insert(list.end(), {3, 0, 4});
  list.insert(list.end(), points.begin(), points.end());
  list[0] = static_cast<int32_t>(list.size());
  const ndk::ScopedAStatus refused = ext->play(list, 0, 0, 100);
  EXPECT_FALSE(refused.isOk());
  EXPECT_EQ(refused.getExceptionCode(), EX_UNSUPPORTED_OPERATION);

  int32_t caps = 0;
  EXPECT_TRUE(vibrator->getCapabilities(&caps).isOk());
  platform_tinyalsa_test::clearRecording();
  const std::vector<int32_t> good = {18, 1, 100, 0, 0, 2, 0, 0, 80, 50, 0, 0, 0, 100, 60, 30, 0, 0};
  ASSERT_TRUE(ext->play(good, 0, 0, 100).isOk());
  EXPECT_TRUE(platform_tinyalsa_test::waitForPeriods(1, std::chrono::seconds(10)));
}

// Quick off (setAmplitudeExt flag 2) from a second binder client while a one-second effect
// streams to a PCM whose writes block as a card's do: the PCM is closed between writes, never
// under one, nothing is written after the call returns, and the next effect plays again.
TEST_F(ServiceE2ETest, QuickOffFromASecondThreadClosesThePcmBetweenWrites) {
  platform_tinyalsa_test::useRecordingSink(true);
  fixture->addEffect("3_thud_S_RTP.bin", vibrator_test::sineEffectBytes(24000));
  // A short standby: the playback thread closes the PCM again soon after the quick off, so
  // that its close and the quick off's meet (under ThreadSanitizer) unless they share a lock.
  vib::serviceState().standbyWaitNs = 50'000'000;
  startService();
  platform_tinyalsa_test::clearRecording();
  int32_t length = 0;
  ASSERT_TRUE(vibrator->perform(static_cast<vib::Effect>(3), vib::EffectStrength::STRONG, nullptr, &length).isOk());
  ASSERT_TRUE(platform_tinyalsa_test::waitForPeriods(3, std::chrono::seconds(10)));

  std::thread second([this] { EXPECT_TRUE(ext->setAmplitudeExt(0.0f, 2).isOk()); });
  second.join();
  const auto events = platform_tinyalsa_test::events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), "close");
  const size_t written = platform_tinyalsa_test::periods().size();
  EXPECT_LT(written, 47u);  // the effect was cut short
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // past the standby
  EXPECT_EQ(platform_tinyalsa_test::periods().size(), written);

  platform_tinyalsa_test::clearRecording();
  ASSERT_TRUE(vibrator->perform(static_cast<vib::Effect>(3), vib::EffectStrength::STRONG, nullptr, &length).isOk());
  EXPECT_TRUE(platform_tinyalsa_test::waitForPeriods(2, std::chrono::seconds(10)));
  EXPECT_EQ(platform_tinyalsa_test::events().front(), "open 0 41");
}

// The force-feedback streaming output: the playback thread uploads the custom effect when it
// opens the stream; an off from a second binder client removes it under the same lock, so
// no effect is left on the driver and the next effect uploads a fresh one.
class FfStreamE2ETest : public ServiceE2ETest {
 protected:
  FfStreamE2ETest() { deviceType = "ff"; }
};

TEST_F(FfStreamE2ETest, OffFromASecondThreadRemovesTheStreamingEffect) {
  fixture->addEffect("3_thud_S_RTP.bin", vibrator_test::sineEffectBytes(480000));  // 20 s
  startService();
  int32_t length = 0;
  ASSERT_TRUE(vibrator->perform(static_cast<vib::Effect>(3), vib::EffectStrength::STRONG, nullptr, &length).isOk());
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (fixture->ff->liveEffects(FF_PERIODIC) == 0 && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(fixture->ff->liveEffects(FF_PERIODIC), 1u);

  std::thread second([this] { EXPECT_TRUE(vibrator->off().isOk()); });
  second.join();
  EXPECT_EQ(fixture->ff->liveEffects(FF_PERIODIC), 0u);
  const size_t uploads = fixture->ff->uploads(FF_PERIODIC).size();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(fixture->ff->liveEffects(FF_PERIODIC), 0u);

  ASSERT_TRUE(vibrator->perform(static_cast<vib::Effect>(3), vib::EffectStrength::STRONG, nullptr, &length).isOk());
  const auto again = Clock::now() + std::chrono::seconds(10);
  while (fixture->ff->uploads(FF_PERIODIC).size() == uploads && Clock::now() < again)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_GT(fixture->ff->uploads(FF_PERIODIC).size(), uploads);
  ASSERT_TRUE(vibrator->off().isOk());

  // An off right behind the perform, while the playback thread opens the stream: once the
  // off has returned, no streaming effect is left on the driver.
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(vibrator->perform(static_cast<vib::Effect>(3), vib::EffectStrength::STRONG, nullptr, &length).isOk());
    std::thread off([this] { EXPECT_TRUE(vibrator->off().isOk()); });
    off.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(fixture->ff->liveEffects(FF_PERIODIC), 0u) << "round " << round;
  }
}

// What the PCM received of one stream: where its first and last non-zero samples lie and
// its loudest sample (-1 and 0 when all of it was silence).
struct StreamShape {
  long first = -1;
  long last = -1;
  int peak = 0;
};

StreamShape shapeOf(const std::vector<std::vector<uint8_t>>& periods) {
  StreamShape out;
  long at = 0;
  for (const auto& p : periods) {
    for (int8_t v : samplesOf(p)) {
      if (v != 0) {
        if (out.first < 0) out.first = at;
        out.last = at;
        out.peak = std::max(out.peak, std::abs(int{v}));
      }
      ++at;
    }
  }
  return out;
}

// HE 1.0 lists: the device's tuning data (sine gains and prebaked waveforms) and a short
// standby, so that each list plays on a generator that has gone idle (reset, PCM closed).
void prepareHe1(ServiceRoot& fixture) {
  std::string gains;
  for (int hz = kSineMinHz; hz <= kSineMaxHz; ++hz) gains += std::to_string(gentest::sineGain(hz)) + "\n";
  fixture.root.writeFile(kSineGainTablePath, gains);
  std::string bytes;
  for (const auto& w : gentest::prebakedWaveforms()) bytes.append(reinterpret_cast<const char*>(w.data()), w.size());
  fixture.root.writeFile(kPrebakedWaveformsPath, bytes);
  vib::serviceState().standbyWaitNs = 20'000'000;
}

// Plays a list and records its stream up to the PCM's close after it: the stream ends with
// a silent period, then the standby closes the PCM.
StreamShape playUntilClosed(IVibratorExt& ext, const std::vector<int32_t>& list) {
  platform_tinyalsa_test::clearRecording();
  const ndk::ScopedAStatus status = ext.play(list, 0, 0, 100);
  EXPECT_TRUE(status.isOk()) << status.getDescription();
  if (!status.isOk()) return {};
  EXPECT_TRUE(platform_tinyalsa_test::waitForPeriods(1, std::chrono::seconds(10)));
  auto closed = [] {
    const auto events = platform_tinyalsa_test::events();
    return !events.empty() && events.back() == "close";
  };
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline && !closed()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(closed());
  return shapeOf(platform_tinyalsa_test::periods());
}

using List = std::vector<int32_t>;

// A list of the generator layout: [total, version, intensity 100, sharpness 0], then the
// parameter curves as given ([C, curves...]), the event count and the events.
List generatorList(int32_t version, const List& parameterCurves, const std::vector<List>& events) {
  List list = {0, version, 100, 0};
  list.insert(list.end(), parameterCurves.begin(), parameterCurves.end());
  list.push_back(static_cast<int32_t>(events.size()));
  for (const List& e : events) list.insert(list.end(), e.begin(), e.end());
  list[0] = static_cast<int32_t>(list.size());
  return list;
}

// Events: kind, start ms, intensity, frequency, duration ms, curve count, then curves of
// [type, start, K, K points].
const List kSineEvent = {1, 50, 100, 50, 100, 0};  // 100 ms from 50 ms
// A global intensity curve at 0 from the list's start.
const List kSilencingCurve = {1, 0, 0, 2, 0, 0, 100, 0};

// The HE 1.0 road: IVibratorExt.play of a version-0 list through binder; the service turns
// each event into a track (continuous: a sine with its curves, transient: a prebaked
// waveform, any other kind skipped) and the list's parameter curves into global curves.
TEST_F(ServiceE2ETest, He1ListsBecomeTracksOnTheirTimes) {
  prepareHe1(*fixture);
  startService();

  const List silencedSine = {1, 50, 100, 50, 100, 1, 0, 0, 2, 0, 0, 100, 0};  // amplitude curve at 0
  const List prebaked = {0, 0, 100, 50, 0, 0};                    // waveform 4 from 0 ms
  const List unknown = {2, 0, 100, 50, 100, 0};
  const long prebakedLen = kPrebakedLengths[4];
  struct Case {
    const char* what;
    List parameterCurves;  // [C, curves...]
    std::vector<List> events;
    StreamShape expected;  // first and last within a period of the track's ends
  } cases[] = {
      {"sine", {0}, {kSineEvent}, {1200, 3599, 1}},
      {"sine with an amplitude curve at 0", {0}, {silencedSine}, {-1, -1, 0}},
      {"prebaked", {0}, {prebaked}, {0, prebakedLen - 1, 1}},
      {"unknown kind alone", {0}, {unknown}, {-1, -1, 0}},
      {"unknown kind skipped", {0}, {unknown, kSineEvent}, {1200, 3599, 1}},
      {"global intensity curve at 0", kSilencingCurve, {kSineEvent}, {-1, -1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const StreamShape got = playUntilClosed(*ext, generatorList(vib::he::kVersionHe1, c.parameterCurves, c.events));
    if (c.expected.first < 0) {
      EXPECT_EQ(got.first, -1);
      EXPECT_EQ(got.peak, 0);
      continue;
    }
    EXPECT_GE(got.first, c.expected.first);
    EXPECT_LT(got.first, c.expected.first + 48);
    EXPECT_LE(got.last, c.expected.last);
    EXPECT_GT(got.last, c.expected.last - 48);
    EXPECT_GT(got.peak, 20);
  }
}

// A list the service does not play (more events than one effect plays, or a version it
// does not know) is refused whole, before any of it is queued: the caller is told, and the
// global curves it carried do not reach the next list.
TEST_F(ServiceE2ETest, AListOfTooManyEventsIsRefusedAndLeavesNothingBehind) {
  prepareHe1(*fixture);
  startService();
  const List sine = generatorList(vib::he::kVersionHe1, {0}, {kSineEvent});
  const StreamShape alone = playUntilClosed(*ext, sine);
  ASSERT_GT(alone.peak, 20);

  const List transient = {0, 0, 100, 50, 0, 0};
  struct Case {
    const char* what;
    int32_t version;
    const List& event;
    size_t events;
  } cases[] = {
      {"HE 1.0", vib::he::kVersionHe1, kSineEvent, vib::he::kMaxHe2Events + 1},
      {"HE 2.0", vib::he::kVersionHe2, transient, vib::he::kMaxHe2Events + 1},
      {"a version of neither", 2, kSineEvent, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<List> events(c.events, c.event);
    const ndk::ScopedAStatus refused = ext->play(generatorList(c.version, kSilencingCurve, events), 0, 0, 100);
    EXPECT_EQ(refused.getExceptionCode(), EX_ILLEGAL_ARGUMENT);

    const StreamShape after = playUntilClosed(*ext, sine);
    EXPECT_EQ(after.peak, alone.peak);
    EXPECT_EQ(after.first, alone.first);
    EXPECT_EQ(after.last, alone.last);
  }
  // At the limit the list still plays: the sine behind events of a kind that is skipped.
  std::vector<List> atLimit(vib::he::kMaxHe2Events - 1, List{2, 0, 100, 50, 100, 0});
  atLimit.push_back(kSineEvent);
  const StreamShape limit = playUntilClosed(*ext, generatorList(vib::he::kVersionHe1, {0}, atLimit));
  EXPECT_EQ(limit.peak, alone.peak);
  EXPECT_EQ(limit.first, alone.first);
  EXPECT_EQ(limit.last, alone.last);
}

}  // namespace
