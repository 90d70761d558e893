// The IVibrator object and the IVibratorExt extension against a simulated phone.
#include "Vibrator.h"

#include <dirent.h>
#include <linux/input.h>
#include <math.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include <aidl/android/hardware/vibrator/BnVibratorCallback.h>
#include <platform_wavelibs_test.h>
#include <vibrator/thrumwave_abi.h>

#include "ServiceFixture.h"
#include "StreamEffect.h"
#include "VibratorExt.h"

namespace vib = aidl::android::hardware::vibrator;
using aidl::vendor::hardware::vibratorfeature::VibratorExt;
using vib::Effect;
using vib::EffectStrength;
using vibrator_test::ServiceRoot;
using Clock = std::chrono::steady_clock;

namespace {

class Callback : public vib::BnVibratorCallback {
 public:
  ndk::ScopedAStatus onComplete() override {
    std::lock_guard<std::mutex> g(mLock);
    mCalls.push_back(Clock::now());
    mChanged.notify_all();
    return ndk::ScopedAStatus::ok();
  }
  // Time from `since` to the first call, or nullopt when none came within `timeout`.
  std::optional<std::chrono::milliseconds> waitFirst(Clock::time_point since, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> g(mLock);
    if (!mChanged.wait_for(g, timeout, [&] { return !mCalls.empty(); })) return std::nullopt;
    return std::chrono::duration_cast<std::chrono::milliseconds>(mCalls.front() - since);
  }
  size_t calls() {
    std::lock_guard<std::mutex> g(mLock);
    return mCalls.size();
  }

 private:
  std::mutex mLock;
  std::condition_variable mChanged;
  std::vector<Clock::time_point> mCalls;
};

class VibratorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_wavelibs_test::reset();
    fixture = std::make_unique<ServiceRoot>();
  }
  void TearDown() override {
    ext.reset();
    vibrator.reset();
    fixture.reset();
  }
  void start() {
    vibrator = ndk::SharedRefBase::make<vib::Vibrator>();
    ext = ndk::SharedRefBase::make<VibratorExt>(vibrator);
  }
  // The standard phone: a force-feedback device with every capability and four effects.
  void startStandard() {
    fixture->addForceFeedback();
    fixture->addEffect("2_tick_S_RTP.bin", vibrator_test::sineEffectBytes(720));   // 30 ms
    fixture->addEffect("3_thud_S_RTP.bin", vibrator_test::sineEffectBytes(2400));  // 100 ms
    fixture->addEffect("5_heavy_P_RTP.bin", "");                                   // driver data only
    fixture->addEffect("1_double_P_RTP.bin", std::string(24, '\x01'));             // 1 ms
    fixture->ff->setWaveformLength(5, 1, 250);
    start();
  }
  static int exceptionOf(const ndk::ScopedAStatus& status) { return status.getExceptionCode(); }

  std::unique_ptr<ServiceRoot> fixture;
  std::shared_ptr<vib::Vibrator> vibrator;
  std::shared_ptr<VibratorExt> ext;
};

TEST_F(VibratorTest, CapabilitiesFollowTheOutputs) {
  struct Case {
    const char* what;
    std::initializer_list<unsigned> codes;
    bool externalControl;
    bool led;
    int32_t caps;
  } cases[] = {
      {"constant only", {FF_CONSTANT}, false, false, 1},
      {"gain", {FF_CONSTANT, FF_GAIN}, false, false, 1 | 4},
      {"everything", {FF_CONSTANT, FF_GAIN, FF_CUSTOM}, true, false, 1 | 2 | 4 | 8},
      {"led node", {FF_CONSTANT, FF_GAIN, FF_CUSTOM}, true, true, 3},
  };
  for (const Case& c : cases) {
    TearDown();
    fixture = std::make_unique<ServiceRoot>();
    fixture->addForceFeedback(c.codes);
    if (c.externalControl) fixture->setProperty("ro.odm.mm.vibrator.audio_haptic_support", "1");
    if (c.led) fixture->addLedNode();
    start();
    int32_t caps = -1;
    ASSERT_TRUE(vibrator->getCapabilities(&caps).isOk());
    EXPECT_EQ(caps, c.caps) << c.what;
  }
}

TEST_F(VibratorTest, OnUploadsAConstantEffectAndCallsBackNoSoonerThan10ms) {
  startStandard();
  struct Case {
    int32_t timeoutMs;
    int32_t minDelayMs;
  } cases[] = {{5, 10}, {100, 100}};
  for (const Case& c : cases) {
    auto cb = ndk::SharedRefBase::make<Callback>();
    const auto start = Clock::now();
    ASSERT_TRUE(vibrator->on(c.timeoutMs, cb).isOk());
    auto delay = cb->waitFirst(start, std::chrono::seconds(2));
    ASSERT_TRUE(delay.has_value());
    EXPECT_GE(delay->count(), c.minDelayMs);
    auto up = fixture->ff->uploads(FF_CONSTANT);
    ASSERT_FALSE(up.empty());
    EXPECT_EQ(up.back().effect.replay.length, c.timeoutMs);
  }
}

TEST_F(VibratorTest, OnFailureIsServiceSpecificWithoutCallback) {
  startStandard();
  fixture->ff->failUploads(EIO);
  auto cb = ndk::SharedRefBase::make<Callback>();
  EXPECT_EQ(exceptionOf(vibrator->on(100, cb)), EX_SERVICE_SPECIFIC);
  EXPECT_EQ(exceptionOf(vibrator->on(-1, cb)), EX_ILLEGAL_ARGUMENT);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(cb->calls(), 0u);
}

TEST_F(VibratorTest, PerformReturnsThePlayLengthWithItsMargin) {
  startStandard();
  struct Case {
    const char* what;
    Effect effect;
    int32_t lengthMs;
  } cases[] = {
      {"S stream of 30 ms", static_cast<Effect>(2), 30 + 39},
      {"S stream of 100 ms", static_cast<Effect>(3), 100 + 40},
      {"P effect without stream length", static_cast<Effect>(5), 1250 + 40},
      {"P effect of 1 ms", static_cast<Effect>(1), 1 + 39},
  };
  for (const Case& c : cases) {
    int32_t length = -1;
    auto cb = ndk::SharedRefBase::make<Callback>();
    // "P" effects are skipped while a stream plays: let the previous one end first
    for (int i = 0; i < 400 && !vibrator->effectThread()->paused(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto start = Clock::now();
    ASSERT_TRUE(vibrator->perform(c.effect, EffectStrength::STRONG, cb, &length).isOk()) << c.what;
    EXPECT_EQ(length, c.lengthMs) << c.what;
    auto delay = cb->waitFirst(start, std::chrono::seconds(3));
    ASSERT_TRUE(delay.has_value()) << c.what;
    EXPECT_GE(delay->count(), c.lengthMs) << c.what;
  }
  auto up = fixture->ff->uploads(FF_PERIODIC).back();
  EXPECT_EQ(up.customWords[0], 1);
}

TEST_F(VibratorTest, PerformRefusals) {
  startStandard();
  int32_t length = 0;
  EXPECT_EQ(exceptionOf(vibrator->perform(static_cast<Effect>(9), EffectStrength::LIGHT, nullptr, &length)),
            EX_UNSUPPORTED_OPERATION);
  EXPECT_EQ(exceptionOf(vibrator->perform(static_cast<Effect>(3), static_cast<EffectStrength>(3), nullptr, &length)),
            EX_UNSUPPORTED_OPERATION);
  EXPECT_EQ(exceptionOf(vibrator->perform(static_cast<Effect>(3), static_cast<EffectStrength>(-1), nullptr, &length)),
            EX_UNSUPPORTED_OPERATION);
  // a "P" effect the driver refuses has not played
  fixture->ff->failUploads(EIO);
  EXPECT_EQ(exceptionOf(vibrator->perform(static_cast<Effect>(5), EffectStrength::LIGHT, nullptr, &length)),
            EX_SERVICE_SPECIFIC);
}

TEST_F(VibratorTest, SupportedEffectsAreTheEffectFiles) {
  startStandard();
  std::vector<Effect> effects;
  ASSERT_TRUE(vibrator->getSupportedEffects(&effects).isOk());
  std::sort(effects.begin(), effects.end());
  EXPECT_EQ(effects, (std::vector<Effect>{static_cast<Effect>(1), static_cast<Effect>(2), static_cast<Effect>(3),
                                          static_cast<Effect>(5)}));
}

TEST_F(VibratorTest, SetAmplitudeChecksItsArgumentAndWritesTheGain) {
  startStandard();
  struct Case {
    float amplitude;
    int exception;
  } cases[] = {{0.0f, EX_ILLEGAL_ARGUMENT}, {1.5f, EX_ILLEGAL_ARGUMENT}, {-0.5f, EX_ILLEGAL_ARGUMENT},
               {NAN, EX_ILLEGAL_ARGUMENT}, {1.0f, EX_NONE}};
  for (const Case& c : cases) EXPECT_EQ(exceptionOf(vibrator->setAmplitude(c.amplitude)), c.exception) << c.amplitude;
  auto written = fixture->ff->written(FF_GAIN);
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(written[0].value, 32766);

  fixture->ff->failWrites(EIO);
  EXPECT_EQ(exceptionOf(vibrator->setAmplitude(0.5f)), EX_SERVICE_SPECIFIC);
}

TEST_F(VibratorTest, ExternalControlAndMissingMotorRefuseAmplitudes) {
  fixture->setProperty("ro.odm.mm.vibrator.audio_haptic_support", "true");
  startStandard();
  ASSERT_TRUE(vibrator->setExternalControl(true).isOk());
  EXPECT_EQ(exceptionOf(vibrator->setAmplitude(0.5f)), EX_UNSUPPORTED_OPERATION);
  ASSERT_TRUE(vibrator->setExternalControl(false).isOk());
  EXPECT_TRUE(vibrator->setAmplitude(0.5f).isOk());

  vib::serviceState().mMotorNotSupport = true;
  EXPECT_EQ(exceptionOf(vibrator->setAmplitude(0.5f)), EX_UNSUPPORTED_OPERATION);
}

TEST_F(VibratorTest, ExternalControlNeedsTheProperty) {
  startStandard();
  EXPECT_EQ(exceptionOf(vibrator->setExternalControl(true)), EX_UNSUPPORTED_OPERATION);
}

TEST_F(VibratorTest, ComposingAndAlwaysOnAreUnsupported) {
  startStandard();
  int32_t i = 0;
  float f = 0;
  std::vector<vib::CompositePrimitive> primitives;
  std::vector<Effect> effects;
  std::vector<float> map;
  std::vector<vib::Braking> braking;
  const std::function<ndk::ScopedAStatus()> calls[] = {
      [&] { return vibrator->getCompositionDelayMax(&i); },
      [&] { return vibrator->getCompositionSizeMax(&i); },
      [&] { return vibrator->getSupportedPrimitives(&primitives); },
      [&] { return vibrator->getPrimitiveDuration(vib::CompositePrimitive::CLICK, &i); },
      [&] { return vibrator->compose({}, nullptr); },
      [&] { return vibrator->getSupportedAlwaysOnEffects(&effects); },
      [&] { return vibrator->alwaysOnEnable(1, Effect::CLICK, EffectStrength::LIGHT); },
      [&] { return vibrator->alwaysOnDisable(1); },
      [&] { return vibrator->getResonantFrequency(&f); },
      [&] { return vibrator->getBandwidthAmplitudeMap(&map); },
      [&] { return vibrator->getSupportedBraking(&braking); },
      [&] { return vibrator->composePwle({}, nullptr); },
  };
  for (size_t k = 0; k < std::size(calls); ++k) EXPECT_EQ(exceptionOf(calls[k]()), EX_UNSUPPORTED_OPERATION) << k;
}

TEST_F(VibratorTest, LedNodeTakesPrecedence) {
  fixture->addLedNode();
  startStandard();
  std::vector<Effect> effects;
  ASSERT_TRUE(vibrator->getSupportedEffects(&effects).isOk());
  EXPECT_TRUE(effects.empty());
  int32_t length = 0;
  EXPECT_EQ(exceptionOf(vibrator->perform(static_cast<Effect>(3), EffectStrength::LIGHT, nullptr, &length)),
            EX_UNSUPPORTED_OPERATION);
  EXPECT_EQ(exceptionOf(vibrator->setAmplitude(0.5f)), EX_UNSUPPORTED_OPERATION);
  ASSERT_TRUE(vibrator->on(250, nullptr).isOk());
  EXPECT_EQ(fixture->root.readFile("/sys/class/leds/vibrator/duration"), std::string("250\n\0", 5));
  EXPECT_TRUE(fixture->ff->uploads(FF_CONSTANT).empty());
  ASSERT_TRUE(vibrator->off().isOk());
  EXPECT_EQ(fixture->root.readFile("/sys/class/leds/vibrator/activate"), std::string("0\0", 2));
}

TEST_F(VibratorTest, StrengthAmplitudeWithExtensionMagnitudes) {
  startStandard();
  effect_stream stream;
  // the table, and 1.0 for strengths outside it
  const float table[][2] = {{0, 0.0f}, {1, 0.5f}, {2, 1.0f}, {3, 1.0f}, {200, 1.0f}};
  for (const auto& row : table)
    EXPECT_FLOAT_EQ(vib::getAmplitudeFromEffectStrength(static_cast<uint8_t>(row[0]), nullptr), row[1]);

  ASSERT_TRUE(ext->setAmplitudeExt(0.3f, 0).isOk());
  ASSERT_TRUE(ext->setAmplitudeExt(0.8f, 1).isOk());
  EXPECT_FLOAT_EQ(vib::getAmplitudeFromEffectStrength(0, &stream), 0.8f);  // the one-shot value, once
  stream.strength = 0.5f;
  EXPECT_FLOAT_EQ(vib::getAmplitudeFromEffectStrength(0, &stream), 0.15f);  // stream strength x persistent
  EXPECT_FLOAT_EQ(stream.strength, -1.0f);
  EXPECT_FLOAT_EQ(vib::getAmplitudeFromEffectStrength(0, &stream), 0.3f);
  ASSERT_TRUE(ext->setAmplitudeExt(1.4f, 1).isOk());
  EXPECT_FLOAT_EQ(vib::getAmplitudeFromEffectStrength(0, &stream), 1.0f);  // capped at 1
  ASSERT_TRUE(ext->setAmplitudeExt(1.6f, 0).isOk());                        // out of range: unused
  EXPECT_FLOAT_EQ(vib::getAmplitudeFromEffectStrength(1, &stream), 0.5f);
}

TEST_F(VibratorTest, ConfiguredStrengthScalesThePersistentMagnitudeOnce) {
  startStandard();
  ASSERT_TRUE(ext->configStrengthForEffect(5, 0.5f).isOk());
  ASSERT_TRUE(ext->configStrengthForEffect(42, 0.25f).isOk());  // unknown: only logged
  ASSERT_TRUE(ext->setAmplitudeExt(0.8f, 0).isOk());
  // The playback thread uploads its own streaming effect (periodic too) when it starts, and
  // a "P" effect is skipped while that thread plays: wait for it to pause, then look only at
  // the uploads of waveform 5.
  auto performWhenPaused = [&] {
    for (int i = 0; i < 400 && !vibrator->effectThread()->paused(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    int32_t length = 0;
    return vibrator->perform(static_cast<Effect>(5), EffectStrength::LIGHT, nullptr, &length).isOk();
  };
  auto lastMagnitudeOfWaveform5 = [&] {
    int16_t magnitude = 0;
    for (const auto& up : fixture->ff->uploads(FF_PERIODIC)) {
      if (!up.customWords.empty() && up.customWords[0] == 5) magnitude = up.effect.u.periodic.magnitude;
    }
    return magnitude;
  };
  ASSERT_TRUE(performWhenPaused());
  EXPECT_EQ(lastMagnitudeOfWaveform5(), static_cast<int16_t>(0.4f * 0x4000 + 0x3fff));
  ASSERT_TRUE(performWhenPaused());
  EXPECT_EQ(lastMagnitudeOfWaveform5(), static_cast<int16_t>(0.8f * 0x4000 + 0x3fff));
}

TEST_F(VibratorTest, UpdateModeStoresEveryValue) {
  startStandard();
  for (int mode : {0, 1, 2, -1}) {
    vibrator->updateMode(mode);
    EXPECT_EQ(vib::serviceState().updateMode.load(), mode);
  }
}

TEST_F(VibratorTest, QuickOffUploadsAndRemovesADamper) {
  startStandard();
  ASSERT_TRUE(ext->setAmplitudeExt(0.0f, 2).isOk());
  auto up = fixture->ff->uploads(FF_DAMPER);
  ASSERT_EQ(up.size(), 1u);
  EXPECT_EQ(fixture->ff->removals().back(), up[0].assignedId);
  EXPECT_TRUE(vibrator->effectThread()->paused());
}

TEST_F(VibratorTest, ExtensionStubsAreUnsupported) {
  startStandard();
  ASSERT_TRUE(vibrator->on(1000, nullptr).isOk());
  EXPECT_EQ(exceptionOf(ext->stop()), EX_UNSUPPORTED_OPERATION);
  EXPECT_EQ(fixture->ff->liveEffects(FF_CONSTANT), 1u);  // stop does not turn off
  EXPECT_EQ(exceptionOf(ext->pause()), EX_UNSUPPORTED_OPERATION);
  EXPECT_EQ(fixture->ff->liveEffects(FF_CONSTANT), 0u);  // pause does
  ASSERT_TRUE(vibrator->on(1000, nullptr).isOk());
  EXPECT_EQ(exceptionOf(ext->seekTo(10)), EX_UNSUPPORTED_OPERATION);
  EXPECT_EQ(fixture->ff->liveEffects(FF_CONSTANT), 0u);
  ASSERT_TRUE(ext->setUsageExt(33).isOk());
  EXPECT_EQ(vib::serviceState().usage, 33);
}

// Clients call on several binder threads at once. Whatever interleaving they take, the
// driver ends with nothing uploaded after a final off(), and no `on` fails for want of a
// free effect slot.
TEST_F(VibratorTest, ManyClientsAtOnceLeaveNoEffectUploadedAfterOff) {
  startStandard();
  constexpr int kClients = 8;
  constexpr int kCallsPerClient = 300;
  std::atomic<int> failedOns{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      for (int i = 0; i < kCallsPerClient; ++i) {
        int32_t length = 0;
        switch ((i + c) % 6) {
          case 0:
            if (!vibrator->on(20 + i % 50, nullptr).isOk()) ++failedOns;
            break;
          case 1:
            vibrator->off();
            break;
          case 2:
            vibrator->perform(static_cast<Effect>(5), EffectStrength::MEDIUM, nullptr, &length);
            break;
          case 3:
            vibrator->perform(static_cast<Effect>(2), EffectStrength::LIGHT, nullptr, &length);
            break;
          case 4:
            vibrator->setAmplitude(0.25f + 0.5f * static_cast<float>(i % 2));
            break;
          default:
            ext->setAmplitudeExt(0.8f, i % 2);
            break;
        }
      }
    });
  }
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(failedOns.load(), 0);
  ASSERT_TRUE(vibrator->off().isOk());
  EXPECT_EQ(fixture->ff->liveEffects(), 0u);
}

// The driver's replay length is 16 bits of milliseconds: a longer `on` cannot be played as
// asked and is refused instead of stopping early.
TEST_F(VibratorTest, OnLongerThanTheDriverCanPlayIsRefused) {
  startStandard();
  struct Case {
    int32_t timeoutMs;
    int exception;
  } cases[] = {{65535, EX_NONE}, {65536, EX_ILLEGAL_ARGUMENT}, {INT32_MAX, EX_ILLEGAL_ARGUMENT}};
  for (const Case& c : cases) {
    const size_t before = fixture->ff->uploads(FF_CONSTANT).size();
    EXPECT_EQ(exceptionOf(vibrator->on(c.timeoutMs, nullptr)), c.exception) << c.timeoutMs;
    auto up = fixture->ff->uploads(FF_CONSTANT);
    if (c.exception == EX_NONE) {
      ASSERT_EQ(up.size(), before + 1) << c.timeoutMs;
      EXPECT_EQ(up.back().effect.replay.length, c.timeoutMs);
    } else {
      EXPECT_EQ(up.size(), before) << c.timeoutMs;
    }
  }
  ASSERT_TRUE(vibrator->off().isOk());
}

// Threads of this process, from the kernel's own list.
size_t threadCount() {
  size_t n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.' ? 1 : 0;
    closedir(d);
  }
  return n;
}

// Callbacks of long vibrations wait on one timer, not on a thread each; a service torn
// down with callbacks still pending neither calls them nor hangs.
TEST_F(VibratorTest, PendingCallbacksShareOneTimerThread) {
  startStandard();
  auto first = ndk::SharedRefBase::make<Callback>();
  ASSERT_TRUE(vibrator->on(60000, first).isOk());
  const size_t threads = threadCount();
  ASSERT_GT(threads, 0u);
  std::vector<std::shared_ptr<Callback>> callbacks;
  for (int i = 0; i < 300; ++i) {
    callbacks.push_back(ndk::SharedRefBase::make<Callback>());
    ASSERT_TRUE(vibrator->on(60000, callbacks.back()).isOk());
  }
  EXPECT_EQ(threadCount(), threads);
  // A short one still fires while the long ones wait.
  auto shortOne = ndk::SharedRefBase::make<Callback>();
  const auto start = Clock::now();
  ASSERT_TRUE(vibrator->on(20, shortOne).isOk());
  auto delay = shortOne->waitFirst(start, std::chrono::seconds(2));
  ASSERT_TRUE(delay.has_value());
  EXPECT_GE(delay->count(), 20);
  EXPECT_EQ(first->calls(), 0u);
  ASSERT_TRUE(vibrator->off().isOk());
  vibrator.reset();
  ext.reset();
  EXPECT_EQ(first->calls(), 0u);
  EXPECT_EQ(callbacks.back()->calls(), 0u);
}

// ---- Callbacks released by the completion timer ----------------------------------------

// Sets its promise when destroyed: as the first member of a callback, it says that the
// callback's other members are gone.
struct SignalOnDestruction {
  std::promise<void> promise;
  ~SignalOnDestruction() { promise.set_value(); }
};

// Calls `on` with a callback of its own when the timer releases it, as a client's object
// may when its last reference goes.
class OnWhenReleased : public vib::BnVibratorCallback {
 public:
  OnWhenReleased(vib::Vibrator* vibrator, std::shared_ptr<Callback> next)
      : mVibrator(vibrator), mNext(std::move(next)) {}
  ~OnWhenReleased() override { mVibrator->on(20, mNext); }
  ndk::ScopedAStatus onComplete() override { return ndk::ScopedAStatus::ok(); }

 private:
  vib::Vibrator* mVibrator;
  std::shared_ptr<Callback> mNext;
};

// Holds a reference to the service: once the client has let go of it, the timer's release
// of this callback ends the service, on the timer's own thread.
class HoldsTheService : public vib::BnVibratorCallback {
 public:
  HoldsTheService(std::shared_ptr<vib::Vibrator> vibrator, std::promise<void> released)
      : mReleased{std::move(released)}, mVibrator(std::move(vibrator)) {}
  ndk::ScopedAStatus onComplete() override { return ndk::ScopedAStatus::ok(); }

 private:
  SignalOnDestruction mReleased;  // declared first: destroyed after the service is released
  std::shared_ptr<vib::Vibrator> mVibrator;
};

// A regression here deadlocks the timer thread, and with it the service's teardown: the
// service is then left behind, so that the test fails instead of hanging the suite.
class TimerReleaseTest : public VibratorTest {
 protected:
  void abandonService() {
    new std::shared_ptr<vib::Vibrator>(std::move(vibrator));
    new std::shared_ptr<VibratorExt>(std::move(ext));
  }
  // Ends the service on a thread of its own; false, the thread left behind, when the
  // teardown does not finish within the limit.
  bool endService() {
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> ended = finished->get_future();
    std::thread teardown([v = std::move(vibrator), e = std::move(ext), finished]() mutable {
      e.reset();
      v.reset();
      finished->set_value();
    });
    if (ended.wait_for(kLimit) != std::future_status::ready) {
      teardown.detach();
      return false;
    }
    teardown.join();
    return true;
  }
  static constexpr std::chrono::seconds kLimit{10};
};

TEST_F(TimerReleaseTest, ACallbackWhoseReleaseCallsOnBlocksNeitherTheTimerNorTheClients) {
  startStandard();
  auto next = ndk::SharedRefBase::make<Callback>();
  const auto start = Clock::now();
  ASSERT_TRUE(vibrator->on(10, ndk::SharedRefBase::make<OnWhenReleased>(vibrator.get(), next)).isOk());
  // The timer holds the only reference; the `on` of its release is served, and its own
  // callback comes from the same timer.
  const auto delay = next->waitFirst(start, kLimit);
  if (!delay.has_value()) {
    abandonService();
    FAIL() << "the callback of the on() made while the timer released a callback never came";
  }
  EXPECT_GE(delay->count(), 30);
  // Other clients are served meanwhile.
  auto answered = std::make_shared<std::promise<bool>>();
  std::future<bool> answer = answered->get_future();
  std::thread([v = vibrator, answered] {
    int32_t caps = 0;
    answered->set_value(v->getCapabilities(&caps).isOk());
  }).detach();
  if (answer.wait_for(kLimit) != std::future_status::ready) {
    abandonService();
    FAIL() << "a client's call was blocked";
  }
  EXPECT_TRUE(answer.get());
}

TEST_F(TimerReleaseTest, ACallbackHoldingTheLastReferenceEndsTheServiceOnTheTimerThread) {
  startStandard();
  std::promise<void> released;
  std::future<void> serviceGone = released.get_future();
  std::weak_ptr<vib::Vibrator> weak = vibrator;
  ext.reset();
  ASSERT_TRUE(vibrator->on(10, ndk::SharedRefBase::make<HoldsTheService>(vibrator, std::move(released))).isOk());
  vibrator.reset();
  ASSERT_FALSE(weak.expired());  // the pending callback keeps it
  ASSERT_EQ(serviceGone.wait_for(kLimit), std::future_status::ready)
      << "the service's teardown on the timer thread did not finish";
  EXPECT_TRUE(weak.expired());
}

// ---- Teardown with callbacks on the timer -----------------------------------------------
// In-process clients (the demo, these tests) hold the service by a plain pointer. A
// completion callback that calls it while the service is torn down, from its onComplete or
// from its release, must be answered as a client of a service that has gone is, not meet
// outputs and effect streams already freed.

// How a call was answered.
struct Reply {
  bool ok = false;
  binder_exception_t exception = EX_NONE;
  binder_status_t status = STATUS_OK;
};

Reply replyOf(const ndk::ScopedAStatus& status) {
  return {status.isOk(), status.getExceptionCode(), status.getStatus()};
}

::testing::AssertionResult refusedAsGone(const Reply& reply) {
  if (!reply.ok && reply.status == STATUS_DEAD_OBJECT) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "answered ok " << reply.ok << ", exception " << reply.exception
                                       << ", status " << reply.status << " instead of STATUS_DEAD_OBJECT";
}

using ServiceCall = std::function<ndk::ScopedAStatus(vib::Vibrator*)>;

ndk::ScopedAStatus performTick(vib::Vibrator* vibrator) {
  int32_t length = 0;
  return vibrator->perform(Effect::TICK, EffectStrength::LIGHT, nullptr, &length);
}

// Waits in onComplete until the test lets it go, then calls the service until it is
// refused: a client that keeps its vibration going from its completion callback.
class CallsWhenLetGo : public vib::BnVibratorCallback {
 public:
  CallsWhenLetGo(vib::Vibrator* vibrator, ServiceCall call) : mVibrator(vibrator), mCall(std::move(call)) {}
  ndk::ScopedAStatus onComplete() override {
    {
      std::unique_lock<std::mutex> g(mLock);
      mRunning = true;
      mChanged.notify_all();
      mChanged.wait(g, [this] { return mLetGo; });
    }
    ndk::ScopedAStatus status = mCall(mVibrator);
    for (int calls = 1; status.isOk() && calls < kMaxCalls; ++calls) status = mCall(mVibrator);
    mReply.set_value(replyOf(status));
    return ndk::ScopedAStatus::ok();
  }
  bool waitRunning(std::chrono::seconds limit) {
    std::unique_lock<std::mutex> g(mLock);
    return mChanged.wait_for(g, limit, [this] { return mRunning; });
  }
  void letGo() {
    std::lock_guard<std::mutex> g(mLock);
    mLetGo = true;
    mChanged.notify_all();
  }
  std::future<Reply> reply() { return mReply.get_future(); }

 private:
  static constexpr int kMaxCalls = 100000;
  vib::Vibrator* mVibrator;
  ServiceCall mCall;
  std::mutex mLock;
  std::condition_variable mChanged;
  bool mRunning = false;
  bool mLetGo = false;
  std::promise<Reply> mReply;
};

// Calls the service through a plain pointer when the timer lets go of it.
class CallsWhenReleased : public vib::BnVibratorCallback {
 public:
  CallsWhenReleased(vib::Vibrator* vibrator, ServiceCall call, std::promise<Reply> reply)
      : mVibrator(vibrator), mCall(std::move(call)), mReply(std::move(reply)) {}
  ~CallsWhenReleased() override { mReply.set_value(replyOf(mCall(mVibrator))); }
  ndk::ScopedAStatus onComplete() override { return ndk::ScopedAStatus::ok(); }

 private:
  vib::Vibrator* mVibrator;
  ServiceCall mCall;
  std::promise<Reply> mReply;
};

TEST_F(TimerReleaseTest, ACallbackRunningAtTeardownIsWaitedForAndItsCallsRefused) {
  startStandard();
  auto running = ndk::SharedRefBase::make<CallsWhenLetGo>(vibrator.get(), performTick);
  std::future<Reply> reply = running->reply();
  ASSERT_TRUE(vibrator->on(10, running).isOk());
  if (!running->waitRunning(kLimit)) {
    abandonService();
    FAIL() << "the completion callback was never called";
  }
  // From here the callback calls until it is refused, which only the teardown does: it is
  // still running when the teardown begins, on a thread of its own.
  running->letGo();
  ASSERT_TRUE(endService()) << "the teardown did not finish";
  ASSERT_EQ(reply.wait_for(kLimit), std::future_status::ready);
  EXPECT_TRUE(refusedAsGone(reply.get()));
}

// A callback still pending at teardown is released, not called; its release calls the
// service. `next` is a callback of the call's own, for the calls that take one.
struct PendingCase {
  const char* name;
  std::function<ndk::ScopedAStatus(vib::Vibrator*, const std::shared_ptr<Callback>& next)> call;
};

void PrintTo(const PendingCase& c, std::ostream* os) { *os << c.name; }

class PendingAtTeardownTest : public TimerReleaseTest, public ::testing::WithParamInterface<PendingCase> {};

TEST_P(PendingAtTeardownTest, ACallMadeByItsReleaseIsRefused) {
  startStandard();
  auto next = ndk::SharedRefBase::make<Callback>();
  std::promise<Reply> replied;
  std::future<Reply> reply = replied.get_future();
  ServiceCall call = [call = GetParam().call, next](vib::Vibrator* v) { return call(v, next); };
  ASSERT_TRUE(
      vibrator->on(60000, ndk::SharedRefBase::make<CallsWhenReleased>(vibrator.get(), call, std::move(replied)))
          .isOk());
  call = nullptr;
  ASSERT_TRUE(endService()) << "the teardown did not finish";
  // Released within the teardown, not after it.
  ASSERT_EQ(reply.wait_for(std::chrono::seconds(0)), std::future_status::ready);
  EXPECT_TRUE(refusedAsGone(reply.get()));
  EXPECT_EQ(next->calls(), 0u);
  EXPECT_EQ(next.use_count(), 1);  // a refused call keeps nothing of its callback
}

INSTANTIATE_TEST_SUITE_P(
    Calls, PendingAtTeardownTest,
    ::testing::Values(
        PendingCase{"Perform", [](vib::Vibrator* v, const auto&) { return performTick(v); }},
        PendingCase{"OnWithACallback", [](vib::Vibrator* v, const auto& next) { return v->on(20, next); }},
        PendingCase{"Off", [](vib::Vibrator* v, const auto&) { return v->off(); }}),
    [](const ::testing::TestParamInfo<PendingCase>& info) { return std::string(info.param.name); });

// The service ended by a callback's release on the timer thread: that thread cannot wait
// for itself, and the callbacks still pending are released within the teardown.
TEST_F(TimerReleaseTest, CallbacksPendingWhenTheServiceEndsOnTheTimerThreadAreRefused) {
  startStandard();
  std::promise<Reply> replied;
  std::future<Reply> reply = replied.get_future();
  ASSERT_TRUE(vibrator
                  ->on(60000, ndk::SharedRefBase::make<CallsWhenReleased>(vibrator.get(), performTick,
                                                                           std::move(replied)))
                  .isOk());
  std::promise<void> released;
  std::future<void> serviceGone = released.get_future();
  ext.reset();
  ASSERT_TRUE(vibrator->on(10, ndk::SharedRefBase::make<HoldsTheService>(vibrator, std::move(released))).isOk());
  vibrator.reset();
  ASSERT_EQ(serviceGone.wait_for(kLimit), std::future_status::ready)
      << "the service's teardown on the timer thread did not finish";
  ASSERT_EQ(reply.wait_for(kLimit), std::future_status::ready);
  EXPECT_TRUE(refusedAsGone(reply.get()));
}

// ---- The Thrumwave road ----------------------------------------------------------------

class ThrumwaveTest : public VibratorTest {
 protected:
  void SetUp() override {
    VibratorTest::SetUp();
    fixture->setProperty("ro.odm.mm.vibrator.he2.0", "thrumwave");
    fixture->setProperty("persist.vendor.audio.vibrator.aihaptic", "true");
  }
  std::vector<platform_wavelibs_test::Call> posts() {
    std::vector<platform_wavelibs_test::Call> out;
    for (auto& call : platform_wavelibs_test::calls("braxvibrator"))
      if (call.name == "brax_vibra_looper_post") out.push_back(call);
    return out;
  }
};

TEST_F(ThrumwaveTest, RingtoneOnPostsTheBuiltEffect) {
  ASSERT_TRUE(fixture->installLibrary("libbraxvibrator"));
  startStandard();
  ASSERT_TRUE(ext->setUsageExt(33).isOk());
  struct Case {
    int32_t t;
    std::vector<int32_t> posted;
  } cases[] = {
      {15, {2, 2, 0, 0, 1 | (1 << 16), 0, 0, 1, 4097, 5, 0, 0, 100, 50, 0}},
      {100, {2, 2, 0, 0, 1 | (1 << 16), 0, 0, 2, 4097, 5, 0, 50, 100, 50, 0,
             4096, 18, 0, 0, 100, 50, 100, 4, 0, 0, 0, 10, 100, 0, 90, 100, 0, 100, 0, 0}},
  };
  for (const Case& c : cases) {
    platform_wavelibs_test::reset();
    ASSERT_TRUE(vibrator->on(c.t, nullptr).isOk());
    auto p = posts();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].data, c.posted) << "t=" << c.t;
    // length, interval, loop (0 becomes 1), amplitude, reserved
    EXPECT_EQ(p[0].args, (std::vector<int64_t>{static_cast<int64_t>(c.posted.size()), 0, 1, -1, 0}));
  }
  EXPECT_TRUE(fixture->ff->uploads(FF_CONSTANT).empty());  // the motor was not driven directly

  // off also stops the HE player
  ASSERT_TRUE(vibrator->off().isOk());
  bool stopped = false;
  for (auto& call : platform_wavelibs_test::calls("braxvibrator"))
    stopped |= call.name == "brax_vibra_looper_stopPerformHe";
  EXPECT_TRUE(stopped);
  // an amplitude on the Thrumwave road is left to the player
  EXPECT_TRUE(vibrator->setAmplitude(0.5f).isOk());
  EXPECT_TRUE(fixture->ff->written(FF_GAIN).empty());
}

TEST_F(ThrumwaveTest, InteractionModeTakesTheInteractionLevels) {
  ASSERT_TRUE(fixture->installLibrary("libbraxvibrator"));
  fixture->setProperty("vendor.aihaptic.interaction.transient_intensity", "70");
  startStandard();
  vibrator->updateMode(0);
  auto list = vibrator->transfromEffectHe_2_0(100);
  ASSERT_EQ(list.size(), 38u);
  EXPECT_EQ(list[15], 70);  // transient intensity
  EXPECT_EQ(list[16], 20);  // transient sharpness
  EXPECT_EQ(list[23], 20);  // continuous sharpness
}

TEST_F(ThrumwaveTest, WithoutTheLibraryHe2ListsFail) {
  startStandard();
  EXPECT_EQ(exceptionOf(ext->play(vibrator->transfromEffectHe_2_0(100), 0, 0, 100)), EX_UNSUPPORTED_OPERATION);
}

TEST_F(ThrumwaveTest, FailedPlayerInitFailsTheList) {
  ASSERT_TRUE(fixture->installLibrary("libbraxvibrator"));
  platform_wavelibs_test::setResult("braxvibrator", "brax_vibra_init", -19);
  startStandard();
  EXPECT_EQ(exceptionOf(ext->play(vibrator->transfromEffectHe_2_0(100), 0, 0, 100)), EX_UNSUPPORTED_OPERATION);
  EXPECT_TRUE(posts().empty());
}

TEST_F(ThrumwaveTest, ListPlayKeepsItsLoopAndIntervalAndRefusesMalformedLists) {
  ASSERT_TRUE(fixture->installLibrary("libbraxvibrator"));
  startStandard();
  ASSERT_TRUE(ext->play(vibrator->transfromEffectHe_2_0(15), 3, 250, 80).isOk());
  auto p = posts();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].args, (std::vector<int64_t>{15, 250, 3, 80, 0}));
  std::vector<int32_t> broken = vibrator->transfromEffectHe_2_0(100);
  broken.resize(30);
  EXPECT_EQ(exceptionOf(ext->play(broken, 0, 0, 80)), EX_UNSUPPORTED_OPERATION);
  EXPECT_EQ(exceptionOf(ext->play({4, 1}, 0, 0, 80)), EX_UNSUPPORTED_OPERATION);
  EXPECT_EQ(posts().size(), 1u);
}

// A list of more than 10 patterns goes to the player as several packets, each at most
// kBraxVibraMaxPost integers. A list with a packet over that is refused before any packet is
// posted, however late the packet comes; a packet exactly at the limit plays.
TEST_F(ThrumwaveTest, AListWithAPacketOverThePostLimitPostsNothing) {
  ASSERT_TRUE(fixture->installLibrary("libbraxvibrator"));
  startStandard();
  // Ten patterns of one transient, then one of a continuous event of `points` points: the
  // second packet holds its 5-word header, the pattern's 3 words and the 8 + 3 * points
  // of the event.
  auto list = [](int32_t points) {
    std::vector<int32_t> l = {0, 1, 100, 0, 2, 0, 0, 11};
    for (int32_t p = 0; p < 10; ++p) l.insert(l.end(), {p, 10 * p, 1, 4097, 5, 0, 0, 100, 50, 0});
    l.insert(l.end(), {10, 100, 1, 4096, 18, 0, 0, 100, 50, 1000, points});
    for (int32_t k = 0; k < points; ++k) l.insert(l.end(), {k % 1000, 100, 50});
    l[0] = static_cast<int32_t>(l.size());
    return l;
  };
  constexpr int32_t kAtLimit = (kBraxVibraMaxPost - 5 - 3 - 8) / 3;
  static_assert(5 + 3 + 8 + 3 * kAtLimit == kBraxVibraMaxPost);
  struct Case {
    int32_t points;
    int exception;
    std::vector<size_t> posted;  // lengths of the posts, in order
  } cases[] = {
      {kAtLimit, EX_NONE, {5 + 10 * 10, static_cast<size_t>(kBraxVibraMaxPost)}},
      {kAtLimit + 1, EX_UNSUPPORTED_OPERATION, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.points);
    platform_wavelibs_test::reset();
    EXPECT_EQ(exceptionOf(ext->play(list(c.points), 0, 0, 100)), c.exception);
    std::vector<size_t> lengths;
    for (const auto& call : posts()) lengths.push_back(call.data.size());
    EXPECT_EQ(lengths, c.posted);
  }
}

}  // namespace
