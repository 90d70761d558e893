#pragma once
#include <aidl/android/hardware/weaver/BnWeaver.h>

#include <memory>

#include "WeaverHalDevice.h"

namespace aidl::android::hardware::weaver {

class Weaver : public BnWeaver {
 public:
  explicit Weaver(std::unique_ptr<WeaverHalDevice> device) : device_(std::move(device)) {}

  ::ndk::ScopedAStatus getConfig(WeaverConfig* out_config) override;
  ::ndk::ScopedAStatus read(int32_t slotId, const std::vector<uint8_t>& key,
                            WeaverReadResponse* outResponse) override;
  ::ndk::ScopedAStatus write(int32_t slotId, const std::vector<uint8_t>& key,
                             const std::vector<uint8_t>& value) override;

 private:
  std::unique_ptr<WeaverHalDevice> device_;
};

// Registers the service and serves calls until the binder pool is stopped; -1 then.
int runWeaverService();

}  // namespace aidl::android::hardware::weaver
