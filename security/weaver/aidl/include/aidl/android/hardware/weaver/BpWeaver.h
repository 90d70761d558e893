#pragma once
#include <aidl/android/hardware/weaver/IWeaver.h>

namespace aidl::android::hardware::weaver {

class BpWeaver : public ::ndk::BpCInterface<IWeaver> {
 public:
  explicit BpWeaver(const ::ndk::SpAIBinder& binder);
  ::ndk::ScopedAStatus getConfig(WeaverConfig* _aidl_return) override;
  ::ndk::ScopedAStatus read(int32_t slotId, const std::vector<uint8_t>& key,
                            WeaverReadResponse* _aidl_return) override;
  ::ndk::ScopedAStatus write(int32_t slotId, const std::vector<uint8_t>& key,
                             const std::vector<uint8_t>& value) override;
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) override;
};

}  // namespace aidl::android::hardware::weaver
