#pragma once
// The vibrator service's IVibrator object. It owns the three outputs and decides, call by
// call, which one plays: the LED node when it exists, the force-feedback device for on,
// off, amplitudes and "P" effects, and the dynamic-effect path (waveform generator and
// playback thread) for "S" effects and HE lists.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include <aidl/android/hardware/vibrator/BnVibrator.h>
#include <utils/StrongPointer.h>

#include "CompletionTimer.h"
#include "DynamicEffectThread.h"
#include "StreamEffect.h"
#include "VibratorDevices.h"

class DynamicEffectDevice;
class WaveformGenerator;

namespace aidl::android::hardware::vibrator {

// The outside HE 2.0 player libbraxvibrator, bound on first use.
struct ThrumwaveLibrary {
  bool initialised = false;
  int (*init)(int32_t* handle) = nullptr;
  void (*looperStart)() = nullptr;
  bool (*looperStopPerformHe)() = nullptr;
  int (*looperPost)(const int* data, int length, int interval, int loop, int amplitude,
                    int reserved) = nullptr;
};

class Vibrator : public BnVibrator {
 public:
  Vibrator();
  ~Vibrator() override;

  ndk::ScopedAStatus getCapabilities(int32_t* _aidl_return) override;
  ndk::ScopedAStatus off() override;
  ndk::ScopedAStatus on(int32_t timeoutMs, const std::shared_ptr<IVibratorCallback>& callback) override;
  ndk::ScopedAStatus perform(Effect effect, EffectStrength strength,
                             const std::shared_ptr<IVibratorCallback>& callback,
                             int32_t* _aidl_return) override;
  ndk::ScopedAStatus getSupportedEffects(std::vector<Effect>* _aidl_return) override;
  ndk::ScopedAStatus setAmplitude(float amplitude) override;
  ndk::ScopedAStatus setExternalControl(bool enabled) override;
  ndk::ScopedAStatus getCompositionDelayMax(int32_t* _aidl_return) override;
  ndk::ScopedAStatus getCompositionSizeMax(int32_t* _aidl_return) override;
  ndk::ScopedAStatus getSupportedPrimitives(std::vector<CompositePrimitive>* _aidl_return) override;
  ndk::ScopedAStatus getPrimitiveDuration(CompositePrimitive primitive, int32_t* _aidl_return) override;
  ndk::ScopedAStatus compose(const std::vector<CompositeEffect>& composite,
                             const std::shared_ptr<IVibratorCallback>& callback) override;
  ndk::ScopedAStatus getSupportedAlwaysOnEffects(std::vector<Effect>* _aidl_return) override;
  ndk::ScopedAStatus alwaysOnEnable(int32_t id, Effect effect, EffectStrength strength) override;
  ndk::ScopedAStatus alwaysOnDisable(int32_t id) override;
  ndk::ScopedAStatus getResonantFrequency(float* _aidl_return) override;
  ndk::ScopedAStatus getQFactor(float* _aidl_return) override;
  ndk::ScopedAStatus getFrequencyResolution(float* _aidl_return) override;
  ndk::ScopedAStatus getFrequencyMinimum(float* _aidl_return) override;
  ndk::ScopedAStatus getBandwidthAmplitudeMap(std::vector<float>* _aidl_return) override;
  ndk::ScopedAStatus getPwlePrimitiveDurationMax(int32_t* _aidl_return) override;
  ndk::ScopedAStatus getPwleCompositionSizeMax(int32_t* _aidl_return) override;
  ndk::ScopedAStatus getSupportedBraking(std::vector<Braking>* _aidl_return) override;
  ndk::ScopedAStatus composePwle(const std::vector<PrimitivePwle>& composite,
                                 const std::shared_ptr<IVibratorCallback>& callback) override;

  // Sensor-driven update mode (0 interaction, 1 warn).
  void updateMode(int mode);
  // ExtPlay's results: played (queued or posted), failed, or refused as a list the service
  // does not play; a refused list leaves nothing of itself behind.
  static constexpr int kExtPlayOk = 0;
  static constexpr int kExtPlayFailed = -1;
  static constexpr int kExtPlayRefused = -2;
  // Plays an HE list; one of the results above.
  int ExtPlay(const std::vector<int32_t>& list, int32_t loop, int64_t interval, int32_t amplitude);
  // The HE 2.0 list the Thrumwave road plays for an `on` of durationMs.
  std::vector<int32_t> transfromEffectHe_2_0(int32_t durationMs);
  // Stops every output at once (setAmplitudeExt flag 2).
  void quickOff();
  // Sets the strength of a prebaked effect; false for an unknown id.
  bool configStrength(int32_t id, float strength);

  // Serialises every call that touches the outputs or the service-wide values: binder
  // calls arrive on several pool threads, and the extension's calls take it too.
  std::recursive_mutex& callLock() { return mLock; }

  // For tests and the demo: the parts the Parts above describe as members.
  InputFFDevice& ffDevice() { return ff; }
  bool ledDetected() const { return led.detected; }
  ::android::sp<::android::DynamicEffectThread> effectThread() const { return mThread; }
  WaveformGenerator* generator() const { return mGenerator.get(); }
  DynamicEffectDevice* dynamicDevice() const { return mDevice.get(); }

 private:
  ndk::ScopedAStatus unsupported();
  // Calls the callback's onComplete after delayMs on the completion timer, which keeps the
  // callback alive until then.
  void notifyLater(std::shared_ptr<IVibratorCallback> callback, int32_t delayMs, const char* doneLog,
                   bool reportFailure);
  DynamicEffectDevice* createDynamicDevice();
  bool thrumwaveInit();
  int thrumwavePost(const std::vector<int32_t>& list, int32_t loop, int64_t interval,
                    int32_t amplitude);
  int generatorPlay(const std::vector<int32_t>& list, int32_t loop, int64_t interval);

  InputFFDevice ff;
  LedVibratorDevice led;
  std::unique_ptr<WaveformGenerator> mGenerator;
  std::unique_ptr<DynamicEffectDevice> mDevice;
  ::android::sp<::android::DynamicEffectThread> mThread;
  EffectTable mEffects;
  ThrumwaveLibrary mThrumwave;
  std::recursive_mutex mLock;
  // Set under mLock as the teardown begins: calls from then on (a completion callback's,
  // during the teardown) are refused as calls to a service that has gone.
  bool mTornDown = false;
  CompletionTimer mTimer;
};

}  // namespace aidl::android::hardware::vibrator
