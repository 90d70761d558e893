#pragma once
#include <aidl/android/hardware/weaver/IWeaver.h>

namespace aidl::android::hardware::weaver {

class BnWeaver : public ::ndk::BnCInterface<IWeaver> {
 public:
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) final;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) final;

 protected:
  ::ndk::SpAIBinder createBinder() override;
};

}  // namespace aidl::android::hardware::weaver
