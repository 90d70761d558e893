#pragma once
// The Weaver calls as requests on the secure-processor channel.
#include <KeymasterUtils.h>

#include <memory>
#include <vector>

#include "WeaverSerialize.h"

class WeaverHalDevice {
 public:
  WeaverHalDevice();
  virtual ~WeaverHalDevice();

  static constexpr uint32_t kCmdGetConfig = 0x41501;
  static constexpr uint32_t kCmdRead = 0x41502;
  static constexpr uint32_t kCmdWrite = 0x41503;

  // 0 or the failing step's code.
  int getConfig(aidl::android::hardware::weaver::WeaverConfig* config);
  int read(int32_t slotId, const std::vector<uint8_t>& key,
           aidl::android::hardware::weaver::WeaverReadResponse* response);
  int write(int32_t slotId, const std::vector<uint8_t>& key, const std::vector<uint8_t>& value);

 private:
  std::unique_ptr<keymasterutils::KeymasterUtils> utils_;
  WeaverSerialize serializer_;
};
