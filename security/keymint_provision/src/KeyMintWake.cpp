#define LOG_TAG "SecProcKeyMasterKeyProvision"

#include "KeyMintWake.h"

#include <log/log.h>

#include <cstdint>
#include <vector>

#include "AndroidKeyMintDevice.h"

namespace keymasterdevice::internal {

void wakeStrongBoxKeyMint() {
  using ::aidl::android::hardware::security::keymint::GetKeyMintDeviceService;
  using ::aidl::android::hardware::security::keymint::SecurityLevel;
  auto device = GetKeyMintDeviceService(SecurityLevel::STRONGBOX);
  if (device == nullptr) return;  // the lookup has logged why
  // The blob is refused; what matters is that the device brought the processor up on the way.
  (void)device->deleteKey(std::vector<uint8_t>(16, 0));
}

}  // namespace keymasterdevice::internal
