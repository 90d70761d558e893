#pragma once
// The playback thread of the dynamic-effect path: pulls one 512-sample period at a time
// from the waveform generator and writes it to the output device; after a short period it
// ends the stream, stands by (device open) for the standby wait, then resets the generator,
// closes the device and sleeps until woken.

#include <stdint.h>
#include <stdio.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include <utils/Thread.h>

class DynamicEffectDevice;
class WaveformGenerator;

namespace android {

class DynamicEffectThread : public Thread {
 public:
  static constexpr int32_t kPeriodSamples = 512;
  static constexpr const char* kDumpPath = "/data/local/log/hapticDump.bin";

  // Neither the generator nor the device is owned; both must outlive the thread.
  // standbyWait: how long the device stays open after a stream ends.
  DynamicEffectThread(WaveformGenerator* generator, DynamicEffectDevice* device,
                      std::chrono::nanoseconds standbyWait = std::chrono::seconds(2));
  ~DynamicEffectThread() override;

  // Starts (or continues) playing what the generator holds.
  void wake();
  // Stops after the current period (the thread sees the flag at its next check).
  void pause();
  // Pauses and stops the output device at once: its off (and, with closeDevice, its close)
  // runs under the lock the playback thread holds while it opens and writes the device,
  // so that neither meets a write in progress on the same handle.
  void haltOutput(bool closeDevice);
  bool paused() const { return mPaused.load(); }
  // Asks the loop to end, wakes it and joins it. Idempotent.
  void stop();

  // Times the loop went idle (generator reset, device closed); for tests.
  uint32_t idleCount() const { return mIdleCount.load(); }
  // Callers (wake, haltOutput, stop) waiting for the playback thread's lock; for tests.
  uint32_t callersWaiting() const { return mCallers.load(); }

 private:
  bool threadLoop() override;
  std::unique_lock<std::mutex> callerLock();

  std::mutex mLock;
  std::condition_variable mCond;
  DynamicEffectDevice* mDevice;
  WaveformGenerator* mGenerator;
  std::atomic<bool> mPaused{true};
  std::atomic<uint32_t> mCallers{0};  // callers waiting for mLock
  bool mExit = false;  // guarded by mLock
  // Counts wakes (guarded by mLock): a wake during the rendering of a short last period
  // keeps the loop playing instead of being overwritten by its pause.
  uint64_t mWakes = 0;
  std::chrono::nanoseconds mStandbyWait;
  std::vector<signed char> mBuffer;
  FILE* mDump = nullptr;
  std::atomic<uint32_t> mIdleCount{0};
};

}  // namespace android
