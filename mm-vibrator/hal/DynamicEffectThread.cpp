#define LOG_TAG "vendor.hardware.vibratorfeature"

#include "DynamicEffectThread.h"

#include <log/log.h>

#include "DynamicEffectDevice.h"
#include "WaveformGenerator.h"
#include "platform/paths.h"

namespace android {

DynamicEffectThread::DynamicEffectThread(WaveformGenerator* generator, DynamicEffectDevice* device,
                                         std::chrono::nanoseconds standbyWait)
    : Thread(true), mDevice(device), mGenerator(generator), mStandbyWait(standbyWait) {
  mBuffer.assign(kPeriodSamples, 0);
  mDump = plat_fopen(kDumpPath, "wb+");  // no dump when it cannot be created
}

DynamicEffectThread::~DynamicEffectThread() {
  stop();
  if (mDump != nullptr) fclose(mDump);
}

// The lock for a caller (a binder thread), counted while it waits: a write holds the lock
// for up to a period of the device.
std::unique_lock<std::mutex> DynamicEffectThread::callerLock() {
  ++mCallers;
  std::unique_lock<std::mutex> lock(mLock);
  --mCallers;
  return lock;
}

void DynamicEffectThread::wake() {
  ALOGD("wake");
  std::unique_lock<std::mutex> lock = callerLock();
  mPaused = false;
  ++mWakes;
  mCond.notify_all();
}

void DynamicEffectThread::haltOutput(bool closeDevice) {
  std::unique_lock<std::mutex> lock = callerLock();
  mPaused = true;
  mCond.notify_all();  // the playback thread may wait for callers to be done
  if (mDevice == nullptr) return;
  mDevice->off();
  if (closeDevice) mDevice->close();
}

void DynamicEffectThread::pause() {
  ALOGD("pause");
  mPaused = true;
}

void DynamicEffectThread::stop() {
  {
    std::unique_lock<std::mutex> lock = callerLock();
    mExit = true;
    mCond.notify_all();
  }
  requestExit();
  // Joins the loop; a no-op when it never ran or already ended (or from the loop itself).
  requestExitAndWait();
}

bool DynamicEffectThread::threadLoop() {
  ALOGD("DynamicEffectThread::threadLoop Entry");
  if (mDevice == nullptr || mGenerator == nullptr) {
    ALOGE("DynamicEffectThread without %s", mDevice == nullptr ? "device" : "generator");
    return false;
  }
  std::unique_lock<std::mutex> lock(mLock);
  while (!mExit && !exitPending()) {
    ALOGV("continue");
    mDevice->open();
    while (!mPaused && !mExit) {
      const uint64_t wakes = mWakes;
      lock.unlock();
      const int32_t bytes = mGenerator->gen(mBuffer.data(), kPeriodSamples);
      lock.lock();
      // This thread takes the lock again right after each period it renders, and a write
      // holds it for up to a period of the device: callers waiting go first, or a stream
      // could keep them out for as long as it plays.
      mCond.wait(lock, [this] { return mCallers.load() == 0; });
      const int written = mDevice->write(mBuffer.data(), bytes);
      if (mDump != nullptr && bytes > 0) fwrite(mBuffer.data(), 1, static_cast<size_t>(bytes), mDump);
      if (written < kPeriodSamples || bytes < kPeriodSamples) {
        if (mWakes != wakes && !mPaused) {
          // A new effect was queued while this period was rendered: it follows at once
          // (through a fresh open when the device was stopped meanwhile).
          ALOGD("woken while the stream ran dry, write: %d, genBytes: %d", written, bytes);
          if (written < bytes) break;
          continue;
        }
        ALOGD("thread paused, can't fill one period, write: %d, genBytes: %d", written, bytes);
        mDevice->eos();
        mPaused = true;
        break;
      }
    }
    if (mExit) break;
    ALOGD("standby");
    // The device stays open for the standby wait, so a wake soon after plays at once.
    const auto now = std::chrono::steady_clock::now();
    const auto room = std::chrono::steady_clock::time_point::max() - now;
    const auto deadline = mStandbyWait >= room ? std::chrono::steady_clock::time_point::max()
                                               : now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(mStandbyWait);
    mCond.wait_until(lock, deadline, [this] { return !mPaused || mExit; });
    if (mPaused && !mExit) {
      ALOGD("wait");
      // The generator and its tracks belong to this thread: they go without the lock that
      // off() and wake() take, so that no track's end holds up a binder call.
      lock.unlock();
      mGenerator->reset();
      lock.lock();
      if (mPaused && !mExit) {
        mDevice->close();
        ++mIdleCount;
        mCond.wait(lock, [this] { return !mPaused || mExit; });
      }
    }
  }
  lock.unlock();
  ALOGD("threadLoop exit, should not reached");
  return false;
}

}  // namespace android
