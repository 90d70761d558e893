#define LOG_TAG "VibratorSensor"

#include "SensorMode.h"

#include <cmath>

#include <log/log.h>

#include "VibratorState.h"

namespace aidl::android::hardware::vibrator {

using ::android::frameworks::sensorservice::V1_0::IEventQueue;
using ::android::frameworks::sensorservice::V1_0::ISensorManager;
using ::android::frameworks::sensorservice::V1_0::Result;
using ::android::hardware::hidl_vec;
using ::android::hardware::sensors::V1_0::SensorInfo;
using ::android::hardware::sensors::V1_0::SensorType;

::android::hardware::Return<void> SensorModeCallback::onEvent(const ::android::hardware::sensors::V1_0::Event& e) {
  int status = -1;
  if (static_cast<int32_t>(e.sensorType) == kHandStatusSensorType) {
    const double rounded = std::floor(static_cast<double>(e.u.data[0]) + 0.5);
    // NaN, infinities and values beyond int are no hand status (and converting them would
    // be undefined): the event is dropped.
    if (!(rounded >= static_cast<double>(INT32_MIN) && rounded <= static_cast<double>(INT32_MAX))) {
      ALOGE("%s: hand status %f out of range, dropped", "onEvent", static_cast<double>(e.u.data[0]));
      return ::android::hardware::Void();
    }
    status = static_cast<int>(rounded);
  }
  VibratorServiceState& state = serviceState();
  const int last = state.lastHandStatus.load();
  ALOGI("%s: handStatus = %d , lastHandStatus = %d", "onEvent", status, last);
  if (status != last) {
    ALOGI("%s: type=%d, data0=%f", "onEvent", static_cast<int32_t>(e.sensorType), e.u.data[0]);
    state.lastHandStatus = status;
    mVibrator->updateMode(status);
  }
  return ::android::hardware::Void();
}

SensorMode::SensorMode(std::shared_ptr<Vibrator> vibrator) {
  mSmgr = ISensorManager::getService("default");
  if (mSmgr == nullptr) {
    ALOGE("%s: get sensormanager failed", "SensorMode");
    return;
  }
  mCallback = new SensorModeCallback(std::move(vibrator));
  Result result = Result::NO_INIT;
  ::android::sp<IEventQueue> queue;
  auto ret = mSmgr->createEventQueue(mCallback, [&](const ::android::sp<IEventQueue>& q, Result r) {
    queue = q;
    result = r;
  });
  if (!ret.isOk() || result != Result::OK || queue == nullptr) {
    ALOGE("%s: createEventQueue error", "SensorMode");
    return;
  }
  mSensorEventQueue = queue;
  ALOGI("%s: SensorMode init complete", "SensorMode");
}

int SensorMode::getDefaultSensor(int32_t type) {
  if (mSmgr == nullptr) {
    ALOGE("%s: mSmgr is null, return", "getDefaultSensor");
    return -1;
  }
  Result result = Result::NO_INIT;
  bool found = false;
  auto ret = mSmgr->getSensorList([&](const hidl_vec<SensorInfo>& list, Result r) {
    result = r;
    if (r != Result::OK) return;
    for (const SensorInfo& info : list) {
      if (static_cast<int32_t>(info.type) == type) {
        mSensorInfo = info;
        found = true;
        break;
      }
    }
  });
  if (!ret.isOk() || result != Result::OK) {
    ALOGE("%s: Failed to get sensor list", "getDefaultSensor");
    return -1;
  }
  ALOGI("%s: get sensor res: %d, sensor info: (%d/%d)", "getDefaultSensor", found ? 0 : 5,
        static_cast<int32_t>(mSensorInfo.type), type);
  return found ? 0 : -1;
}

void SensorMode::enableSensorMode() {
  if (mSensorEventQueue == nullptr) {
    ALOGE("%s: mSensorEventQueue is null, return", "enableSensorMode");
    return;
  }
  if (getDefaultSensor(kHandStatusSensorType) != 0) return;
  auto ret = mSensorEventQueue->enableSensor(mSensorInfo.sensorHandle, kHandStatusSamplingUs, 0);
  if (!ret.isOk() || static_cast<Result>(ret) != Result::OK) {
    ALOGE("%s: enable sensor error, sensor type: %d", "enableSensorMode", kHandStatusSensorType);
  } else {
    ALOGI("%s: enable sensor %d", "enableSensorMode", kHandStatusSensorType);
  }
}

void SensorMode::disableSensorMode() {
  if (mSensorEventQueue == nullptr) {
    ALOGE("%s: mSensorEventQueue is null, return", "disableSensorMode");
    return;
  }
  if (getDefaultSensor(kHandStatusSensorType) != 0) return;
  auto ret = mSensorEventQueue->disableSensor(mSensorInfo.sensorHandle);
  if (!ret.isOk() || static_cast<Result>(ret) != Result::OK) {
    ALOGE("%s: disable sensor error, sensor type: %d", "disableSensorMode", kHandStatusSensorType);
  } else {
    ALOGI("%s: disable sensor %d", "disableSensorMode", kHandStatusSensorType);
  }
}

}  // namespace aidl::android::hardware::vibrator
