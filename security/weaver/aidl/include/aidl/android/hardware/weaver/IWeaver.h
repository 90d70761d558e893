#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <android/binder_interface_utils.h>
#include <aidl/android/hardware/weaver/WeaverConfig.h>
#include <aidl/android/hardware/weaver/WeaverReadResponse.h>

namespace aidl::android::hardware::weaver {

class IWeaver : public ::ndk::ICInterface {
 public:
  static const char* descriptor;
  static const int32_t version = 2;
  static inline const std::string hash = "0d60d74c2704ad281e219244514516db8482ef3d";
  static constexpr int32_t STATUS_FAILED = 1;
  static constexpr int32_t STATUS_INCORRECT_KEY = 2;
  static constexpr int32_t STATUS_THROTTLE = 3;
  static constexpr uint32_t TRANSACTION_getConfig = FIRST_CALL_TRANSACTION + 0;
  static constexpr uint32_t TRANSACTION_read = FIRST_CALL_TRANSACTION + 1;
  static constexpr uint32_t TRANSACTION_write = FIRST_CALL_TRANSACTION + 2;
  static constexpr uint32_t TRANSACTION_getInterfaceVersion = 16777214 + 1;
  static constexpr uint32_t TRANSACTION_getInterfaceHash = 16777214;

  static std::shared_ptr<IWeaver> fromBinder(const ::ndk::SpAIBinder& binder);

  virtual ::ndk::ScopedAStatus getConfig(WeaverConfig* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus read(int32_t slotId, const std::vector<uint8_t>& key,
                                    WeaverReadResponse* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus write(int32_t slotId, const std::vector<uint8_t>& key,
                                     const std::vector<uint8_t>& value) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) = 0;
};

}  // namespace aidl::android::hardware::weaver
