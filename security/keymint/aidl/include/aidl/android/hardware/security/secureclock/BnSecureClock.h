#pragma once
#include <aidl/android/hardware/security/secureclock/ISecureClock.h>

namespace aidl::android::hardware::security::secureclock {

class BnSecureClock : public ::ndk::BnCInterface<ISecureClock> {
 public:
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) final;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) final;

 protected:
  ::ndk::SpAIBinder createBinder() override;
};

}  // namespace aidl::android::hardware::security::secureclock
