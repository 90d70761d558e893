#pragma once
#include <aidl/android/hardware/security/secureclock/ISecureClock.h>

namespace aidl::android::hardware::security::secureclock {

class BpSecureClock : public ::ndk::BpCInterface<ISecureClock> {
 public:
  explicit BpSecureClock(const ::ndk::SpAIBinder& binder);
  ::ndk::ScopedAStatus generateTimeStamp(int64_t challenge, TimeStampToken* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) override;
};

}  // namespace aidl::android::hardware::security::secureclock
