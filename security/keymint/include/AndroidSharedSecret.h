#pragma once
// ISharedSecret over the request layer of a KeyMint device.
#include <aidl/android/hardware/security/sharedsecret/BnSharedSecret.h>

#include <memory>

#include "AndroidKeyMintDevice.h"
#include "KeymasterHalDevice.h"
#include "secproc_api.h"

namespace aidl::android::hardware::security::sharedsecret {

class SECPROC_API AndroidSharedSecret : public BnSharedSecret {
 public:
  explicit AndroidSharedSecret(const std::shared_ptr<keymint::AndroidKeyMintDevice>& keyMintDevice);
  ~AndroidSharedSecret() override;

  ::ndk::ScopedAStatus getSharedSecretParameters(SharedSecretParameters* params) override;
  ::ndk::ScopedAStatus computeSharedSecret(const std::vector<SharedSecretParameters>& params,
                                           std::vector<uint8_t>* sharingCheck) override;

 private:
  std::shared_ptr<keymasterdevice::KeymasterHalDevice> impl_;
};

}  // namespace aidl::android::hardware::security::sharedsecret
