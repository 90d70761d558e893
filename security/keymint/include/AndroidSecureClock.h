#pragma once
// ISecureClock over the request layer of a KeyMint device.
#include <aidl/android/hardware/security/secureclock/BnSecureClock.h>

#include <memory>

#include "AndroidKeyMintDevice.h"
#include "KeymasterHalDevice.h"
#include "secproc_api.h"

namespace aidl::android::hardware::security::secureclock {

class SECPROC_API AndroidSecureClock : public BnSecureClock {
 public:
  // Takes a share of the device's request layer, so the clock stays usable whatever the
  // order in which the service lets go of the two objects.
  explicit AndroidSecureClock(const std::shared_ptr<keymint::AndroidKeyMintDevice>& keyMintDevice);
  ~AndroidSecureClock() override;

  ::ndk::ScopedAStatus generateTimeStamp(int64_t challenge, TimeStampToken* token) override;

 private:
  std::shared_ptr<keymasterdevice::KeymasterHalDevice> impl_;
};

}  // namespace aidl::android::hardware::security::secureclock
