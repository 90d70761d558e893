#define LOG_TAG "vendor.tamrel.hardware.vibratorfeature.service"

#include "VibratorService.h"

#include <string>

#include <android/binder_manager.h>
#include <android/binder_process.h>
#include <log/log.h>

#include "SensorMode.h"
#include "Vibrator.h"
#include "VibratorExt.h"

namespace aidl::android::hardware::vibrator {

using ::aidl::vendor::hardware::vibratorfeature::VibratorExt;

int runVibratorService() {
  ABinderProcess_setThreadPoolMaxThreadCount(0);
  std::shared_ptr<Vibrator> vib = ndk::SharedRefBase::make<Vibrator>();
  std::shared_ptr<VibratorExt> dvib = ndk::SharedRefBase::make<VibratorExt>(vib);

  // The extension belongs to the binder object: keep it for the life of the service.
  ndk::SpAIBinder vibBinder = vib->asBinder();
  LOG_ALWAYS_FATAL_IF(STATUS_OK != AIBinder_setExtension(vibBinder.get(), dvib->asBinder().get()),
                      "Check failed: STATUS_OK == AIBinder_setExtension(vibBinder.get(), "
                      "dvib->asBinder().get())");

  const std::string instance = std::string() + IVibrator::descriptor + kInstanceSuffix;
  ALOGI("registering %s", instance.c_str());
  LOG_ALWAYS_FATAL_IF(STATUS_OK != AServiceManager_addService(vibBinder.get(), instance.c_str()),
                      "Check failed: STATUS_OK == AServiceManager_addService(vibBinder.get(), "
                      "instance.c_str())");
  ABinderProcess_startThreadPool();

  SensorMode sensorMode(vib);
  sensorMode.enableSensorMode();
  ABinderProcess_joinThreadPool();
  sensorMode.disableSensorMode();
  return 1;
}

}  // namespace aidl::android::hardware::vibrator
