#pragma once
#include <cstdint>

#include <android/frameworks/sensorservice/1.0/types.h>
#include <hidl/Status.h>
#include <utils/RefBase.h>

namespace android::frameworks::sensorservice::V1_0 {

class IEventQueue : public virtual ::android::RefBase {
 public:
  virtual ::android::hardware::Return<Result> enableSensor(int32_t sensorHandle, int32_t samplingPeriodUs,
                                                          int64_t maxBatchReportLatencyUs) = 0;
  virtual ::android::hardware::Return<Result> disableSensor(int32_t sensorHandle) = 0;
};

}  // namespace android::frameworks::sensorservice::V1_0
