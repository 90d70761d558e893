#pragma once
// The sensor manager of android.frameworks.sensorservice@1.0 (stand-in: one simulated
// service per process; test control in platform_sensors_test.h).
#include <functional>
#include <string>

#include <android/frameworks/sensorservice/1.0/IEventQueue.h>
#include <android/frameworks/sensorservice/1.0/IEventQueueCallback.h>
#include <android/frameworks/sensorservice/1.0/types.h>
#include <android/hardware/sensors/1.0/types.h>
#include <hidl/HidlSupport.h>
#include <hidl/Status.h>
#include <utils/RefBase.h>
#include <utils/StrongPointer.h>

namespace android::frameworks::sensorservice::V1_0 {

class ISensorManager : public virtual ::android::RefBase {
 public:
  using SensorInfo = ::android::hardware::sensors::V1_0::SensorInfo;
  using SensorType = ::android::hardware::sensors::V1_0::SensorType;
  using getSensorList_cb =
      std::function<void(const ::android::hardware::hidl_vec<SensorInfo>& list, Result result)>;
  using getDefaultSensor_cb = std::function<void(const SensorInfo& sensor, Result result)>;
  using createEventQueue_cb =
      std::function<void(const ::android::sp<IEventQueue>& queue, Result result)>;

  // Null when the service is not running.
  static ::android::sp<ISensorManager> getService(const std::string& serviceName = "default",
                                                  bool getStub = false);

  virtual ::android::hardware::Return<void> getSensorList(getSensorList_cb _hidl_cb) = 0;
  virtual ::android::hardware::Return<void> getDefaultSensor(SensorType type,
                                                             getDefaultSensor_cb _hidl_cb) = 0;
  virtual ::android::hardware::Return<void> createEventQueue(
      const ::android::sp<IEventQueueCallback>& callback, createEventQueue_cb _hidl_cb) = 0;
};

}  // namespace android::frameworks::sensorservice::V1_0
