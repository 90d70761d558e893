#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <android/binder_interface_utils.h>
#include <aidl/android/hardware/security/secureclock/TimeStampToken.h>

namespace aidl::android::hardware::security::secureclock {

class ISecureClock : public ::ndk::ICInterface {
 public:
  static const char* descriptor;
  static const int32_t version = 1;
  static inline const std::string hash = "cd55ca9963c6a57fa5f2f120a45c6e0c4fafb423";
  static inline const char* TIME_STAMP_MAC_LABEL = "Auth Verification";
  static constexpr uint32_t TRANSACTION_generateTimeStamp = FIRST_CALL_TRANSACTION + 0;
  static constexpr uint32_t TRANSACTION_getInterfaceVersion = 16777215;
  static constexpr uint32_t TRANSACTION_getInterfaceHash = 16777214;

  static std::shared_ptr<ISecureClock> fromBinder(const ::ndk::SpAIBinder& binder);

  virtual ::ndk::ScopedAStatus generateTimeStamp(int64_t challenge, TimeStampToken* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) = 0;
};

}  // namespace aidl::android::hardware::security::secureclock
