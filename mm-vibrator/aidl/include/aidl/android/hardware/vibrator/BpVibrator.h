#pragma once
#include <aidl/android/hardware/vibrator/IVibrator.h>

namespace aidl::android::hardware::vibrator {

class BpVibrator : public ::ndk::BpCInterface<IVibrator> {
 public:
  explicit BpVibrator(const ::ndk::SpAIBinder& binder);

  ::ndk::ScopedAStatus getCapabilities(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus off() override;
  ::ndk::ScopedAStatus on(int32_t in_timeoutMs, const std::shared_ptr<IVibratorCallback>& in_callback) override;
  ::ndk::ScopedAStatus perform(Effect in_effect, EffectStrength in_strength, const std::shared_ptr<IVibratorCallback>& in_callback, int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getSupportedEffects(std::vector<Effect>* _aidl_return) override;
  ::ndk::ScopedAStatus setAmplitude(float in_amplitude) override;
  ::ndk::ScopedAStatus setExternalControl(bool in_enabled) override;
  ::ndk::ScopedAStatus getCompositionDelayMax(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getCompositionSizeMax(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getSupportedPrimitives(std::vector<CompositePrimitive>* _aidl_return) override;
  ::ndk::ScopedAStatus getPrimitiveDuration(CompositePrimitive in_primitive, int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus compose(const std::vector<CompositeEffect>& in_composite, const std::shared_ptr<IVibratorCallback>& in_callback) override;
  ::ndk::ScopedAStatus getSupportedAlwaysOnEffects(std::vector<Effect>* _aidl_return) override;
  ::ndk::ScopedAStatus alwaysOnEnable(int32_t in_id, Effect in_effect, EffectStrength in_strength) override;
  ::ndk::ScopedAStatus alwaysOnDisable(int32_t in_id) override;
  ::ndk::ScopedAStatus getResonantFrequency(float* _aidl_return) override;
  ::ndk::ScopedAStatus getQFactor(float* _aidl_return) override;
  ::ndk::ScopedAStatus getFrequencyResolution(float* _aidl_return) override;
  ::ndk::ScopedAStatus getFrequencyMinimum(float* _aidl_return) override;
  ::ndk::ScopedAStatus getBandwidthAmplitudeMap(std::vector<float>* _aidl_return) override;
  ::ndk::ScopedAStatus getPwlePrimitiveDurationMax(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getPwleCompositionSizeMax(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getSupportedBraking(std::vector<Braking>* _aidl_return) override;
  ::ndk::ScopedAStatus composePwle(const std::vector<PrimitivePwle>& in_composite, const std::shared_ptr<IVibratorCallback>& in_callback) override;
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) override;
};

}  // namespace aidl::android::hardware::vibrator
