#pragma once
#include <android/hardware/sensors/1.0/types.h>
#include <hidl/Status.h>
#include <utils/RefBase.h>

namespace android::frameworks::sensorservice::V1_0 {

// Implemented by the client; called on the sensor service's delivery thread.
class IEventQueueCallback : public virtual ::android::RefBase {
 public:
  virtual ::android::hardware::Return<void> onEvent(const ::android::hardware::sensors::V1_0::Event& event) = 0;
};

}  // namespace android::frameworks::sensorservice::V1_0
