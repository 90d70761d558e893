#pragma once
// The sensor-driven update mode: listens to the hand-status sensor through the sensor
// service and hands each change of its value to Vibrator::updateMode.

#include <memory>

#include <android/frameworks/sensorservice/1.0/ISensorManager.h>
#include <android/hardware/sensors/1.0/types.h>
#include <utils/StrongPointer.h>

#include "Vibrator.h"

namespace aidl::android::hardware::vibrator {

// The vendor hand-status sensor.
inline constexpr int32_t kHandStatusSensorType = 33171067;
inline constexpr int32_t kHandStatusSamplingUs = 20000;

class SensorModeCallback : public ::android::frameworks::sensorservice::V1_0::IEventQueueCallback {
 public:
  explicit SensorModeCallback(std::shared_ptr<Vibrator> vibrator) : mVibrator(std::move(vibrator)) {}
  ::android::hardware::Return<void> onEvent(const ::android::hardware::sensors::V1_0::Event& e) override;

 private:
  std::shared_ptr<Vibrator> mVibrator;
};

class SensorMode {
 public:
  explicit SensorMode(std::shared_ptr<Vibrator> vibrator);
  int getDefaultSensor(int32_t type);
  void enableSensorMode();
  void disableSensorMode();

 private:
  ::android::sp<::android::frameworks::sensorservice::V1_0::ISensorManager> mSmgr;
  ::android::sp<::android::frameworks::sensorservice::V1_0::IEventQueue> mSensorEventQueue;
  ::android::sp<SensorModeCallback> mCallback;
  ::android::hardware::sensors::V1_0::SensorInfo mSensorInfo;
};

}  // namespace aidl::android::hardware::vibrator
