#pragma once
// The CBOR maps of the Weaver requests and responses.
#include <hardware/keymaster_defs.h>

#include <cstdint>
#include <vector>

#include <aidl/android/hardware/weaver/WeaverConfig.h>
#include <aidl/android/hardware/weaver/WeaverReadResponse.h>

class WeaverSerialize {
 public:
  virtual ~WeaverSerialize() = default;

  // Encode into the body space `out` (pointer and room); on 0 its length is the body's.
  int serializeRead(int32_t slotId, const std::vector<uint8_t>& key, keymaster_blob_t* out) const;
  int serializeWrite(int32_t slotId, const std::vector<uint8_t>& key,
                     const std::vector<uint8_t>& value, keymaster_blob_t* out) const;
  // 0, or -1000 when the body is not exactly the expected map.
  int deserializeConfig(const keymaster_blob_t& body,
                        aidl::android::hardware::weaver::WeaverConfig* config) const;
  int deserializeRead(const keymaster_blob_t& body,
                      aidl::android::hardware::weaver::WeaverReadResponse* response) const;
};
