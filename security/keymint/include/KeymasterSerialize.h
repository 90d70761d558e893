#pragma once
// The CBOR bodies of the KeyMint, KeyMaster, shared-secret, secure-clock and provisioning
// requests to the secure processor, and of their answers; also the readers of the
// characteristics and validity dates inside the processor's key blobs.
#include <hardware/keymaster_defs.h>

#include <cstdint>
#include <vector>

#include "KeymasterUtils.h"
#include "secproc_api.h"

namespace keymaster {
struct GenerateCsrRequest;
}

namespace vcbor {
class Encoder;
class Decoder;
struct Item;
}  // namespace vcbor

struct hmac_sharing_params_t {
  uint8_t seed[32];
  uint8_t nonce[32];
};

struct verification_token_t {
  uint64_t challenge;
  uint64_t timestamp;
  uint32_t security_level;
  uint8_t mac[32];
};

// A UTC calendar time: the first six fields are second, minute, hour, day of month, month
// (1-12) and the full year; the last three travel as the caller left them.
struct tztm {
  int32_t tm_sec;
  int32_t tm_min;
  int32_t tm_hour;
  int32_t tm_mday;
  int32_t tm_mon;
  int32_t tm_year;
  int32_t tm_wday;
  int32_t tm_yday;
  int32_t tm_isdst;
};
static_assert(sizeof(tztm) == 36);
static_assert(sizeof(hmac_sharing_params_t) == 64);

namespace keymasterdevice {

inline constexpr uint64_t kKeyBlobMagic = 0x4B4D4B44;

class SECPROC_API KeymasterSerialize {
 public:
  explicit KeymasterSerialize(keymasterutils::KeymasterUtils* utils) : utils_(utils) {}
  virtual ~KeymasterSerialize();

  // Set when a parsed characteristics list holds KM_TAG_EC_CURVE = curve 25519.
  bool curve25519() const { return curve25519_ != 0; }
  // The channel its creator gave it (the codec itself never talks to it).
  keymasterutils::KeymasterUtils* utils() const { return utils_; }

  // ---- requests (the output blob is the free room; on success its length is the body's)
  int serializeClientParams(const keymaster_key_param_set_t* params, keymaster_blob_t* out);
  int serializeClientKeyblob(const keymaster_key_blob_t* blob, keymaster_blob_t* out);
  int serializeClientParamsKeyblob(const keymaster_key_param_set_t* params,
                                   const keymaster_key_blob_t* blob, keymaster_blob_t* out);
  int serializeGetKeyCharacterisitcs(const keymaster_key_blob_t* blob, const keymaster_blob_t* clientId,
                                     const keymaster_blob_t* appData, keymaster_blob_t* out);
  int serializeClientImpKey(const keymaster_key_param_set_t* params, keymaster_key_format_t format,
                            const keymaster_blob_t* keyData, keymaster_blob_t* out);
  int serializeClientExpKey(keymaster_key_format_t format, const keymaster_key_blob_t* blob,
                            const keymaster_blob_t* clientId, const keymaster_blob_t* appData,
                            keymaster_blob_t* out);
  int serializeClientAttestKey(const keymaster_key_param_set_t* params, const keymaster_key_blob_t* blob,
                               tztm start, tztm end, keymaster_blob_t* out);
  int serializeClientBegin(keymaster_purpose_t purpose, const keymaster_key_param_set_t* params,
                           const keymaster_key_blob_t* blob, keymaster_blob_t* out);
  int serializeClientUpdate(uint64_t handle, const keymaster_key_param_set_t* params,
                            const keymaster_blob_t* input, keymaster_blob_t* out);
  int serializeClientFinish(uint64_t handle, const keymaster_key_param_set_t* params,
                            const keymaster_blob_t* input, const keymaster_blob_t* signature,
                            keymaster_blob_t* out);
  int serializeClientAbort(uint64_t handle, keymaster_blob_t* out);
  int serializeClientDestroyDeviceIds(bool flag, keymaster_blob_t* out);
  int serializeClientSecureImportKey(const keymaster_key_param_set_t* params, uint64_t passwordSid,
                                     uint64_t biometricSid, const keymaster_blob_t* wrappedKeyData,
                                     const keymaster_key_blob_t* wrappingKeyBlob,
                                     const keymaster_blob_t* maskingKey, keymaster_blob_t* out);
  int serializeClientComputeHmacParams(const std::vector<hmac_sharing_params_t>& params, keymaster_blob_t* out);
  int serializeClientSetDeviceLocked(bool locked, keymaster_blob_t* out);
  int serializeverifyAuthorization(uint64_t challenge, keymaster_blob_t* out);
  int serializeKeymintGenerateKey(const keymaster_key_param_set_t* params, const keymaster_key_blob_t* attestKey,
                                  const keymaster_key_param_set_t* attestKeyParams,
                                  const keymaster_blob_t* issuerSubject, tztm notBefore, tztm notAfter,
                                  keymaster_blob_t* out);
  int serializeKeymintImportKey(const keymaster_key_param_set_t* params, keymaster_key_format_t format,
                                const keymaster_blob_t* keyData, const keymaster_key_blob_t* attestKey,
                                const keymaster_key_param_set_t* attestKeyParams,
                                const keymaster_blob_t* issuerSubject, tztm notBefore, tztm notAfter,
                                keymaster_blob_t* out);
  int serializeKeymintUpdateAad(uint64_t handle, const keymaster_key_param_set_t* params, keymaster_blob_t* out);
  int serializeConvertStorageKey(const keymaster_key_blob_t* blob, keymaster_blob_t* out);
  int serializeGenerateCsr(keymaster_blob_t* out, const keymaster::GenerateCsrRequest& request,
                           const std::vector<uint8_t>& keysToSign, const keymaster_blob_t& keysToSignMac);
  int serializeGenerateCsrV2(keymaster_blob_t* out, const std::vector<uint8_t>& challenge,
                             const std::vector<uint8_t>& keysToSign);
  int serializeGetRootOfTrust(keymaster_blob_t* out, const std::vector<uint8_t>& challenge);

  // ---- responses
  int deserializeClientKeyblobLegacy(const keymaster_blob_t& rsp, keymaster_key_blob_t* blob);
  int deserializeClientKeyblob(const keymaster_blob_t& rsp, keymaster_key_blob_t* blob);
  int deserializeClientExpKey(const keymaster_blob_t& rsp, keymaster_blob_t* exported);
  int deserializeClientAttestKey(const keymaster_blob_t& rsp, keymaster_cert_chain_t* chain);
  int deserializeClientBegin(const keymaster_blob_t& rsp, keymaster_key_param_set_t* outParams,
                             uint64_t* handle);
  int deserializeClientUpdate(const keymaster_blob_t& rsp, keymaster_key_param_set_t* outParams,
                              keymaster_blob_t* output, size_t* consumed);
  int deserializeClientFinish(const keymaster_blob_t& rsp, keymaster_key_param_set_t* outParams,
                              keymaster_blob_t* output);
  int deserializeClientGetHmacParams(const keymaster_blob_t& rsp, hmac_sharing_params_t* params);
  int deserializeClientComputeHmacParams(const keymaster_blob_t& rsp, std::vector<uint8_t>* sharingCheck);
  int deserializeverifyAuthorization(const keymaster_blob_t& rsp, verification_token_t* token);
  int deserializeGenerateTimestamp(const keymaster_blob_t& rsp, verification_token_t* token);
  int deserializeKeyCreationResult(const keymaster_blob_t& rsp, keymaster_key_blob_t* blob,
                                   keymaster_key_characteristics_t* characteristics,
                                   keymaster_cert_chain_t* chain);
  int deserializeGenerateCsr(const keymaster_blob_t& rsp, std::vector<uint8_t>* deviceInfo,
                             std::vector<uint8_t>* protectedData);
  int deserializeGenerateCsrV2(const keymaster_blob_t& rsp, std::vector<uint8_t>* csr);
  int deserializeGetRootOfTrust(const keymaster_blob_t& rsp, keymaster_blob_t* rootOfTrust);

  // ---- key blobs
  static bool is_km_20_blob(uint64_t value) { return value == kKeyBlobMagic; }
  int parseKeyBlob(const uint8_t* blob, size_t length, keymaster_blob_t* characteristics);
  int deserializeCharacteristics(const keymaster_blob_t& bytes, keymaster_key_characteristics_t* out);
  int getCharacteristics(const uint8_t* blob, size_t length, keymaster_key_characteristics_t* out);
  int getCertNotBeforeAfter(const keymaster_key_param_set_t* params, tztm* notBefore, tztm* notAfter);
  int getTimeDateTags(const keymaster_blob_t& characteristics, uint64_t* activeSeconds, uint64_t* expireSeconds);
  int get_gm_time(const keymaster_key_blob_t* blob, tztm* start, tztm* end);

  // Writes one parameter entry.
  static void addParams(const keymaster_key_param_t& param, vcbor::Encoder& enc);
  // Turns one characteristics entry (its label and value) into a parameter.
  int parseKeyParam(const vcbor::Item& label, const vcbor::Item& value, keymaster_key_param_t* param);

 private:
  uint8_t curve25519_ = 0;
  keymasterutils::KeymasterUtils* utils_;
};

// Breaks `seconds` down as UTC into the first six fields; false when it cannot.
SECPROC_API bool secondsToTztm(uint64_t seconds, tztm* out);

}  // namespace keymasterdevice
