#define LOG_TAG "weaver-service-secproc"

#include "Weaver.h"

#include <android-base/logging.h>
#include <android/binder_manager.h>
#include <android/binder_process.h>

#include <climits>
#include <string>

namespace aidl::android::hardware::weaver {

namespace {

::ndk::ScopedAStatus serviceError(int32_t code, const char* message) {
  return ::ndk::ScopedAStatus(AStatus_fromServiceSpecificErrorWithMessage(code, message));
}

constexpr int32_t kInvalidArgument = -22;

}  // namespace

::ndk::ScopedAStatus Weaver::getConfig(WeaverConfig* out_config) {
  if (out_config == nullptr) return serviceError(kInvalidArgument, "GetConfig: Invalid out_config pointer");
  if (device_->getConfig(out_config) != 0) return serviceError(INT32_MIN, "GetConfig failed");
  return ::ndk::ScopedAStatus(AStatus_newOk());
}

::ndk::ScopedAStatus Weaver::read(int32_t slotId, const std::vector<uint8_t>& key,
                                  WeaverReadResponse* outResponse) {
  if (outResponse == nullptr) return serviceError(kInvalidArgument, "Read: Invalid outResponse pointer");
  if (key.empty()) return serviceError(kInvalidArgument, "Read: Invalid inKey");
  if (device_->read(slotId, key, outResponse) != 0) return serviceError(IWeaver::STATUS_FAILED, "Read failed");
  return ::ndk::ScopedAStatus(AStatus_newOk());
}

::ndk::ScopedAStatus Weaver::write(int32_t slotId, const std::vector<uint8_t>& key,
                                   const std::vector<uint8_t>& value) {
  if (key.empty() || value.empty()) return serviceError(kInvalidArgument, "Write: Invalid input");
  if (device_->write(slotId, key, value) != 0) return serviceError(INT32_MIN, "Write failed");
  return ::ndk::ScopedAStatus(AStatus_newOk());
}

int runWeaverService() {
  ABinderProcess_setThreadPoolMaxThreadCount(0);
  auto weaver = ::ndk::SharedRefBase::make<Weaver>(std::make_unique<WeaverHalDevice>());
  const std::string instance = std::string(IWeaver::descriptor) + "/default";
  binder_status_t status = AServiceManager_addService(weaver->asBinder().get(), instance.c_str());
  CHECK_EQ(status, STATUS_OK);
  ABinderProcess_joinThreadPool();
  return -1;
}

}  // namespace aidl::android::hardware::weaver
