#pragma once
#include <aidl/vendor/tamrel/hardware/aidl/vaultsvc/IRERoririz.h>

namespace aidl::vendor::tamrel::hardware::aidl::vaultsvc {

// Base of a server: its binder dispatches every call to the derived object.
class BnRERoririz : public ::ndk::BnCInterface<IRERoririz> {
 public:
  Status getInterfaceVersion(int32_t* _aidl_return) final;
  Status getInterfaceHash(std::string* _aidl_return) final;

 protected:
  ::ndk::SpAIBinder createBinder() override;
};

}  // namespace aidl::vendor::tamrel::hardware::aidl::vaultsvc
