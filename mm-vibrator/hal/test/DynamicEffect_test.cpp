// The playback path end to end: generator -> DynamicEffectThread -> PCM recording sink (or
// the force-feedback streaming node), with a prebaked effect file and an HE list rendered
// by the real libbraxhaptics.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <utility>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "DynamicEffectDevice.h"
#include "DynamicEffectThread.h"
#include "GeneratorTestRoot.h"
#include "platform/force_feedback_device.h"
#include "StreamEffect.h"
#include "WaveformGenerator.h"
#include "platform/devio.h"
#include "platform/simdev.h"
#include "platform_tinyalsa_test.h"

namespace {

namespace sink = platform_tinyalsa_test;
using namespace std::chrono_literals;

// The 16-bit little-endian PCM that the device makes of 8-bit samples: each sample is the
// high byte, and a period always carries 512 samples.
std::vector<std::vector<uint8_t>> expectedPeriods(const std::vector<int8_t>& samples) {
  std::vector<std::vector<uint8_t>> out;
  for (size_t at = 0; at < samples.size(); at += 512) {
    std::vector<uint8_t> period(1024, 0);
    for (size_t i = 0; i < 512 && at + i < samples.size(); ++i) period[2 * i + 1] = static_cast<uint8_t>(samples[at + i]);
    out.push_back(period);
  }
  return out;
}

class Playback : public ::testing::Test {
 protected:
  void SetUp() override {
    sink::useRecordingSink();
    sink::clearRecording();
    effectCache().clear();
  }
  void TearDown() override {
    effectCache().clear();
    sink::useAlsa();
  }

  bool waitForEvent(const std::string& event, size_t count = 1) {
    for (int i = 0; i < 500; ++i) {
      size_t n = 0;
      for (const auto& e : sink::events()) n += e == event;
      if (n >= count) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  gentest::Root env;
};

TEST_F(Playback, PcmWritesWholePeriods) {
  PCMDevice pcm;
  ASSERT_EQ(pcm.open(), 0);
  EXPECT_EQ(sink::lastConfig().rate, 24000u);
  EXPECT_EQ(sink::lastConfig().period_size, 512u);
  EXPECT_EQ(sink::lastConfig().period_count, 4u);
  std::vector<int8_t> samples(1300);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int8_t>(i * 3);
  // Longer than a period: split into periods, never past the period buffer.
  EXPECT_EQ(pcm.write(reinterpret_cast<signed char*>(samples.data()), 1300), 1300);
  pcm.eos();
  auto expected = expectedPeriods(samples);
  expected.push_back(std::vector<uint8_t>(1024, 0));  // the end of stream's silent period
  EXPECT_EQ(sink::periods(), expected);

  pcm.off();  // standby: nothing more is accepted
  EXPECT_EQ(pcm.write(reinterpret_cast<signed char*>(samples.data()), 10), 0);
  EXPECT_EQ(pcm.write(nullptr, -1), 0);
  ASSERT_EQ(pcm.open(), 0);  // reopening clears standby
  EXPECT_EQ(pcm.write(nullptr, -1), -1);
  pcm.close();
  const auto events = sink::events();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.front(), "open 0 41");
  EXPECT_EQ(events[events.size() - 2], "drain");
  EXPECT_EQ(events.back(), "close");
}

TEST_F(Playback, PcmThatCannotOpenRefusesWrites) {
  sink::failNextOpen("no such card");
  PCMDevice pcm;
  EXPECT_EQ(pcm.open(), -1);
  signed char s[4] = {1, 2, 3, 4};
  EXPECT_EQ(pcm.write(s, 4), -1);
  pcm.eos();
  EXPECT_TRUE(sink::periods().empty());
}

// A prebaked "S" effect: 1300 bytes stream in 1024-byte periods (three, the last padded),
// then one silent period; the thread stands by, then resets and closes the PCM.
TEST_F(Playback, PrebakedEffectStreamsToThePcm) {
  std::vector<int8_t> bytes(1300);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<int8_t>((i * 37) % 251 - 125);
  env.root.writeFile("/odm/firmware/21_ring_S_RTP.bin", std::string(bytes.begin(), bytes.end()));
  EffectTable table = get_effect_stream();
  ASSERT_EQ(table.count(21), 1u);
  effect_stream* stream = table.at(21);
  EXPECT_EQ(stream->playLengthMs(), 1300 * 1000 / 24000);  // 54 ms

  WaveformGenerator generator;
  PCMDevice pcm;
  android::sp<android::DynamicEffectThread> thread = new android::DynamicEffectThread(&generator, &pcm, 50ms);
  ASSERT_EQ(thread->run("DynamicEffectThread"), android::OK);
  ASSERT_TRUE(waitForEvent("close"));  // the first pass goes idle
  sink::clearRecording();

  EffectBuffer data;
  const uint32_t size = stream->data(&data);
  ASSERT_EQ(size, 1300u);
  auto command = std::make_unique<GeneratorCommand>();
  auto payload = std::make_unique<TrackData>();
  payload->track = std::make_unique<static_Track>(data, static_cast<int32_t>(size), 1.0);
  command->data = std::move(payload);
  command->type = kScheduleTrack;
  generator.sendCommand(std::move(command));
  thread->wake();

  ASSERT_TRUE(sink::waitForPeriods(4, 5s));
  ASSERT_TRUE(waitForEvent("close"));
  auto expected = expectedPeriods(bytes);
  expected.push_back(std::vector<uint8_t>(1024, 0));
  EXPECT_EQ(sink::periods(), expected);
  EXPECT_TRUE(thread->paused());
  thread->stop();
  for (auto& [id, s] : table) delete s;
}

// Waking during standby plays on without closing the PCM.
TEST_F(Playback, WakeDuringStandbyKeepsThePcmOpen) {
  WaveformGenerator generator;
  PCMDevice pcm;
  android::sp<android::DynamicEffectThread> thread = new android::DynamicEffectThread(&generator, &pcm, 10s);
  ASSERT_EQ(thread->run("DynamicEffectThread"), android::OK);
  generator.sendCommand([] {
    auto c = std::make_unique<GeneratorCommand>();
    auto d = std::make_unique<TrackData>();
    d->track = std::make_unique<static_Track>(EffectBuffer(new signed char[600]()), 600, 1.0);
    c->data = std::move(d);
    c->type = kScheduleTrack;
    return c;
  }());
  thread->wake();
  ASSERT_TRUE(sink::waitForPeriods(3, 5s));  // 2 periods + silence
  thread->wake();                           // nothing queued: one short period ends it
  ASSERT_TRUE(sink::waitForPeriods(5, 5s));
  size_t opens = 0, closes = 0;
  for (const auto& e : sink::events()) {
    opens += e == "open 0 41";
    closes += e == "close";
  }
  EXPECT_EQ(opens, 1u);
  EXPECT_EQ(closes, 0u);
  EXPECT_EQ(thread->idleCount(), 0u);
  thread->stop();
}

// Runs `onDry` (once) when a stream runs dry, before the short period goes back to the
// playback thread: what it does lands between the last period's rendering and the thread's
// decision to pause.
class DryHookGenerator : public WaveformGenerator {
 public:
  std::function<void()> onDry;
  int32_t gen(signed char* buffer, int32_t n) override {
    const int32_t got = WaveformGenerator::gen(buffer, n);
    if (got < n && onDry) std::exchange(onDry, nullptr)();
    return got;
  }
};

std::unique_ptr<GeneratorCommand> staticTrack(const std::vector<int8_t>& bytes) {
  auto c = std::make_unique<GeneratorCommand>();
  auto d = std::make_unique<TrackData>();
  auto* raw = new signed char[bytes.size()];
  std::memcpy(raw, bytes.data(), bytes.size());
  EffectBuffer data(raw);
  d->track = std::make_unique<static_Track>(data, static_cast<int32_t>(bytes.size()), 1.0);
  c->data = std::move(d);
  c->type = kScheduleTrack;
  return c;
}

// A perform made (from a second thread) while the last short period of a stream renders:
// its wake is not lost, the new effect follows at once instead of after the standby wait.
TEST_F(Playback, WakeWhileTheLastPeriodRendersIsKept) {
  DryHookGenerator generator;
  PCMDevice pcm;
  android::sp<android::DynamicEffectThread> thread = new android::DynamicEffectThread(&generator, &pcm, 10s);
  ASSERT_EQ(thread->run("DynamicEffectThread"), android::OK);
  std::vector<int8_t> second(1300);
  for (size_t i = 0; i < second.size(); ++i) second[i] = static_cast<int8_t>(i % 100 + 1);
  generator.onDry = [&] {
    std::thread perform([&] {
      generator.sendCommand(staticTrack(second));
      thread->wake();
    });
    perform.join();
  };
  generator.sendCommand(staticTrack(std::vector<int8_t>(600, 9)));
  thread->wake();
  // 600 samples (a full and a short period), the second effect's three, then silence.
  ASSERT_TRUE(sink::waitForPeriods(6, 3s));
  const auto periods = sink::periods();
  std::vector<int8_t> played;
  for (size_t p = 2; p < 5; ++p)
    for (size_t i = 0; i < 512; ++i) played.push_back(static_cast<int8_t>(periods[p][2 * i + 1]));
  played.resize(second.size());
  EXPECT_EQ(played, second);
  thread->stop();
}

// Teardown joins the loop wherever it waits: idle, standby, or not started at all.
TEST_F(Playback, StopJoinsThePlaybackThread) {
  WaveformGenerator generator;
  PCMDevice pcm;
  for (auto standby : {std::chrono::nanoseconds(1ms), std::chrono::nanoseconds(1h)}) {
    android::sp<android::DynamicEffectThread> thread = new android::DynamicEffectThread(&generator, &pcm, standby);
    ASSERT_EQ(thread->run("DynamicEffectThread"), android::OK);
    std::this_thread::sleep_for(50ms);
    const auto begin = std::chrono::steady_clock::now();
    thread->stop();
    EXPECT_FALSE(thread->isRunning());
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
    thread->stop();  // again: nothing left to do
  }
  android::sp<android::DynamicEffectThread> never = new android::DynamicEffectThread(&generator, &pcm);
  never->stop();
}

// Two transients 100 ms apart rendered by the real haptics core at f0 176 Hz: 408 samples
// each (class 6, strong, 24 kHz), and between them the 100 ms less the first event's
// counted 18 ms (408 / 24 + 1) as silence.
TEST_F(Playback, HeListThroughTheHapticsCore) {
  env.installLibrary("libbraxhaptics.so");
  WaveformGenerator generator;
  ASSERT_EQ(generator.library().kind, kWaveLibBrax);
  PCMDevice pcm;
  android::sp<android::DynamicEffectThread> thread = new android::DynamicEffectThread(&generator, &pcm, 20ms);
  ASSERT_EQ(thread->run("DynamicEffectThread"), android::OK);
  ASSERT_TRUE(waitForEvent("close"));
  sink::clearRecording();

  std::vector<int32_t> words(2 * 17, 0);
  for (int e = 0; e < 2; ++e) {
    int32_t* w = words.data() + e * 17;
    w[0] = 4097;  // transient
    w[1] = e * 100;
    w[2] = 100;
    w[3] = 50;
  }
  auto data = std::make_unique<CreateTrackData>();
  data->events = words;
  data->eventCount = 2;
  data->amplitude = 100;
  auto command = std::make_unique<GeneratorCommand>();
  command->data = std::move(data);
  command->type = kCreateTrack;
  generator.sendCommand(std::move(command));
  thread->wake();
  ASSERT_TRUE(waitForEvent("close"));
  thread->stop();

  // The core's own rendering of the same events, fetched straight from it now that the
  // track has drained it: the stream must carry exactly these samples.
  const WaveLibrary& lib = generator.library();
  std::vector<brax_haptic_event> events(2);
  std::memcpy(events.data(), words.data(), sizeof(brax_haptic_event) * 2);
  ASSERT_EQ(lib.braxProcess(events.data(), 2 * sizeof(brax_haptic_event)), 0);
  std::vector<int8_t> reference;
  std::vector<std::pair<uint32_t, bool>> frames;  // length, silent
  for (int guard = 0; guard < 100; ++guard) {
    int8_t frame[1024];
    uint32_t len = 0;
    ASSERT_EQ(lib.braxGetFrame(frame, &len), 0);
    if (len == 0) break;
    reference.insert(reference.end(), frame, frame + len);
    frames.emplace_back(len, std::all_of(frame, frame + len, [](int8_t v) { return v == 0; }));
  }
  const size_t kTransient = 408, kGap = (100 - (408 / 24 + 1)) * 24;  // 1968
  ASSERT_EQ(reference.size(), 2 * kTransient + kGap);
  size_t silence = 0;
  for (const auto& [len, silent] : frames) silence += silent ? len : 0;
  EXPECT_EQ(silence, kGap);
  for (size_t i = kTransient; i < kTransient + kGap; ++i) ASSERT_EQ(reference[i], 0) << i;

  auto expected = expectedPeriods(reference);
  expected.push_back(std::vector<uint8_t>(1024, 0));
  EXPECT_EQ(sink::periods(), expected);
}

TEST_F(Playback, ForceFeedbackStreamingNode) {
  const std::string node = std::string(gentest::kSysPath) + "/custom_wave";
  env.root.writeFile(node, "custom_wave_id=5");
  auto ff = std::make_shared<platform::sim::ForceFeedbackDevice>("vib", std::initializer_list<unsigned>{FF_PERIODIC, FF_CUSTOM});
  ASSERT_EQ(platform::sim::registerDevice("/dev/input/event0", ff), 0);
  const int fd = plat_open("/dev/input/event0", O_RDWR);
  ASSERT_GE(fd, 0);
  {
    FFDevice dev(fd);
    EXPECT_EQ(dev.customWaveId(), 5);
    ff->interruptUploads(1);  // retried on EINTR
    ASSERT_EQ(dev.open(), 0);
    auto uploads = ff->uploads();
    ASSERT_FALSE(uploads.empty());
    EXPECT_EQ(uploads.back().effect.type, FF_PERIODIC);
    EXPECT_EQ(uploads.back().effect.u.periodic.waveform, FF_CUSTOM);
    ASSERT_EQ(uploads.back().customWords.size(), 6u);
    EXPECT_EQ(uploads.back().customWords[0], 5);
    EXPECT_EQ(ff->liveEffects(), 1u);
    signed char samples[3] = {1, 2, 3};
    EXPECT_EQ(dev.write(samples, 3), 3);
    dev.off();
    EXPECT_EQ(ff->liveEffects(), 0u);
    EXPECT_EQ(dev.effectId(), -1);
  }
  // A driver directory named for the orvn driver has no custom-wave node; the effect
  // still goes up, with wave id -1.
  plat_properties_reset();
  env.root.writeFile("/sys/class/orvn_haptic/f0_value", "1700\n");
  env.setProperty("ro.odm.mm.vibrator.sys_path", "/sys/class/orvn_haptic");
  {
    FFDevice dev(fd);
    EXPECT_EQ(dev.customWaveId(), -1);
    ASSERT_EQ(dev.open(), 0);
    EXPECT_EQ(ff->uploads().back().customWords.at(0), -1);
  }
  plat_close(fd);
  platform::sim::unregisterDevice("/dev/input/event0");
}

}  // namespace

namespace {

// An HE list of the given records as the service queues it for the haptics core.
std::unique_ptr<GeneratorCommand> heTrack(const std::vector<brax_haptic_event>& events) {
  auto data = std::make_unique<CreateTrackData>();
  data->events.resize(events.size() * 17);
  std::memcpy(data->events.data(), events.data(), events.size() * sizeof(brax_haptic_event));
  data->eventCount = static_cast<uint8_t>(events.size());
  data->amplitude = 100;
  auto command = std::make_unique<GeneratorCommand>();
  command->data = std::move(data);
  command->type = kCreateTrack;
  return command;
}

brax_haptic_event longContinuous(int32_t ms) {
  brax_haptic_event e{};
  e.type = BRAX_HE_CONTINUOUS;
  e.intensity = 100;
  e.frequency = 50;
  e.duration = ms;
  const int32_t times[4] = {0, 10, ms - 10, ms};
  const int32_t levels[4] = {0, 100, 100, 0};
  for (int j = 0; j < 4; ++j) e.points[j] = {times[j], levels[j], 0};
  return e;
}

brax_haptic_event click() {
  brax_haptic_event e{};
  e.type = BRAX_HE_TRANSIENT;
  e.intensity = 100;
  e.frequency = 50;
  return e;
}

// A period of the PCM (512 frames at 24000 Hz), rounded up to the nanosecond so that steps
// of it never fall behind the device's time.
constexpr std::chrono::nanoseconds kPcmPeriod{512 * 1000000000LL / 24000 + 1};

}  // namespace

// Steps the paced PCM until the stream has filled the device's buffer and written `periods`
// periods, and a write waits again for the device.
// Waits until a caller waits for the playback thread.
bool callerWaits(const android::DynamicEffectThread& thread) {
  for (int i = 0; i < 10000 && thread.callersWaiting() == 0; ++i) std::this_thread::yield();
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (thread.callersWaiting() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  return thread.callersWaiting() > 0;
}

::testing::AssertionResult streamUntil(size_t periods) {
  for (;;) {
    if (!sink::waitForBlockedWrite(10s)) return ::testing::AssertionFailure() << "no write waits for the device";
    if (sink::periods().size() >= periods) return ::testing::AssertionSuccess();
    sink::advanceClock(kPcmPeriod);
  }
}

// A PCM whose writes block as a card's do, on a clock the test moves, while a long HE effect
// (a minute) streams through the haptics core: the next effect is written with the period that
// follows, however much of the long one was left; and off() returns once the write under way
// has been taken (one period of the device's clock), every time. (What is rendered in
// between costs processor time only, which this clock does not see: that an abandoned effect
// is never rendered is the haptics core's and the track's own tests' concern.)
TEST_F(Playback, PacedPcmNextEffectAndOffWithinOnePeriod) {
  env.installLibrary("libbraxhaptics.so");
  sink::useRecordingSinkOnTestClock();
  WaveformGenerator generator;
  ASSERT_EQ(generator.library().kind, kWaveLibBrax);
  PCMDevice pcm;
  android::sp<android::DynamicEffectThread> thread = new android::DynamicEffectThread(&generator, &pcm, 10s);
  ASSERT_EQ(thread->run("DynamicEffectThread"), android::OK);

  // The next effect replaces the long one at the next period.
  generator.sendCommand(heTrack({longContinuous(60000)}));
  thread->wake();
  ASSERT_TRUE(streamUntil(8));
  const size_t before = sink::periods().size();
  // As a binder call queues it: its wake waits for the write under way, one period at most.
  auto perform = std::async(std::launch::async, [&] {
    generator.sendCommand(heTrack({click()}));
    thread->wake();
  });
  ASSERT_TRUE(callerWaits(*thread));
  sink::advanceClock(kPcmPeriod);
  const bool woke = perform.wait_for(5s) == std::future_status::ready;
  EXPECT_TRUE(woke) << "the wake still waits after one period";
  if (!woke) sink::advanceClock(100 * kPcmPeriod);
  perform.wait();
  ASSERT_TRUE(sink::waitForPeriods(before + 1, 10s)) << "the click was not written within the period";
  const std::vector<uint8_t> clickPeriod = sink::periods()[before];
  sink::advanceClock(100 * kPcmPeriod);  // the click plays out

  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    generator.sendCommand(heTrack({longContinuous(60000)}));
    thread->wake();
    sink::clearRecording();
    ASSERT_TRUE(streamUntil(8));
    auto off = std::async(std::launch::async, [&] { thread->haltOutput(false); });
    ASSERT_TRUE(callerWaits(*thread));
    sink::advanceClock(kPcmPeriod);
    // The real-time bound only catches a failure: off returns as soon as the write is taken.
    const bool returned = off.wait_for(5s) == std::future_status::ready;
    EXPECT_TRUE(returned) << "off() still waits after one period of the device";
    if (!returned) sink::advanceClock(100 * kPcmPeriod);
    off.wait();
    sink::advanceClock(100 * kPcmPeriod);  // the end of stream's silence plays out
  }
  sink::useAlsa();  // releases any write still waiting for the clock
  thread->stop();

  // The click as the core renders it alone, at the start of its period.
  const WaveLibrary& lib = generator.library();
  const brax_haptic_event c = click();
  ASSERT_EQ(lib.braxProcess(&c, sizeof c), 0);
  std::vector<int8_t> reference;
  for (int guard = 0; guard < 10; ++guard) {
    int8_t frame[1024];
    uint32_t len = 0;
    ASSERT_EQ(lib.braxGetFrame(frame, &len), 0);
    if (len == 0) break;
    reference.insert(reference.end(), frame, frame + len);
  }
  ASSERT_FALSE(reference.empty());
  reference.resize(512, 0);
  EXPECT_EQ(clickPeriod, expectedPeriods(reference)[0]);
}
