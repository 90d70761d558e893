#pragma once
// Each KeyMaster or KeyMint operation as one request to the secure processor, and the
// parameter lists of the old key-blob layout.
#include <hardware/keymaster_defs.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "KeymasterBuffer.h"
#include "KeymasterSerialize.h"
#include "KeymasterTzUtils.h"
#include "KeymasterUtils.h"
#include "secproc_api.h"

namespace keymasterdevice {

// The KeyMint command set: one row per operation, with the id sent at StrongBox level and
// at any other level. Two operations may share a wire id (0x211a); requests are always
// chosen by operation, never looked up by id.
enum class Command {
  kConfigure, kGenerateKey, kGetKeyCharacteristics, kImportKey, kExportKey, kDeleteKey,
  kDeleteAllKeys, kBeginOperation, kUpdateOperation, kFinishOperation, kAbortOperation,
  kUpgradeKey, kAttestKey, kImportWrappedKey, kDestroyDeviceIds, kGetHmacSharingParameters,
  kComputeSharedHmac, kVerifyAuthorization, kSetDeviceLocked, kGenerateTimestamp,
  kKeymintGenerateKey, kKeymintImportKey, kKeymintImportWrappedKey, kKeymintBeginOperation,
  kKeymintUpdateAadOperation, kKeymintUpdateOperation, kKeymintFinishOperation,
  kKeymintConvertStorageKeyToEphemeral, kKeymintGenerateTimestamp, kKeymintGenerateCsr,
  kKeymintGenerateCsrV2, kCount
};
struct CommandId {
  Command command;
  const char* name;
  uint32_t strongbox;  // 0: not sent at this level
  uint32_t other;
};
SECPROC_API const CommandId& commandId(Command command);
inline constexpr uint32_t kCmdGetDateSupport = 0x215;
inline constexpr uint32_t kCmdSetRot = 0x201;
inline constexpr uint32_t kCmdSetBootState = 0x208;
inline constexpr size_t kCurve25519MaxInput = 16384;

// Packed records of the old key-blob layout.
struct __attribute__((packed)) orvTeeParamsAuthorizationList {
  uint32_t purpose[5];
  uint32_t purpose_count;
  uint8_t algorithm_set;
  uint32_t algorithm;
  uint8_t key_size_set;
  uint32_t key_size;
  uint32_t block_mode[5];
  uint32_t block_mode_count;
  uint32_t digest[8];
  uint32_t digest_count;
  uint32_t padding[8];
  uint32_t padding_count;
  uint8_t caller_nonce;
  uint8_t min_mac_length_set;
  uint32_t min_mac_length;
  uint8_t ec_curve_set;
  uint32_t ec_curve;
  uint8_t rsa_public_exponent_set;
  uint64_t rsa_public_exponent;
  uint8_t include_unique_id;
  uint8_t blob_usage_requirements_set;
  uint32_t blob_usage_requirements;
  uint8_t min_seconds_between_ops_set;
  uint32_t min_seconds_between_ops;
  uint8_t max_uses_per_boot_set;
  uint32_t max_uses_per_boot;
  uint8_t all_users;
  uint64_t user_secure_id[5];
  uint32_t user_secure_id_count;
  uint8_t no_auth_required;
  uint8_t user_auth_type_set;
  uint32_t user_auth_type;
  uint8_t auth_timeout_set;
  uint32_t auth_timeout;
  uint8_t all_applications;
  uint8_t exportable;
  uint8_t origin_set;
  uint32_t origin;
  uint8_t rollback_resistance;
  uint8_t os_version_set;
  uint32_t os_version;
  uint8_t os_patchlevel_set;
  uint32_t os_patchlevel;
};
struct __attribute__((packed)) orvTeeParams2AuthorizationList {
  uint32_t hardware_type;
  uint8_t trusted_user_presence_required;
  uint8_t trusted_confirmation_required;
  uint32_t vendor_patchlevel;
  uint8_t vendor_patchlevel_set;
  uint32_t boot_patchlevel;
  uint8_t boot_patchlevel_set;
};
struct __attribute__((packed)) orvSwParamsAuthorizationList {
  uint8_t active_datetime_set;
  uint64_t active_datetime;
  uint8_t origination_expire_datetime_set;
  uint64_t origination_expire_datetime;
  uint8_t usage_expire_datetime_set;
  uint64_t usage_expire_datetime;
  uint8_t user_id_set;
  uint32_t user_id;
  uint8_t allow_while_on_body;
  uint8_t creation_datetime_set;
  uint64_t creation_datetime;
};
struct __attribute__((packed)) orvSwParams2AuthorizationList {
  uint8_t unlocked_device_required;
};

// Byte offsets in an old-layout key blob.
inline constexpr size_t kOldBlobVersionOffset = 8;
inline constexpr size_t kOldBlobHwCountOffset = 24;
inline constexpr size_t kOldBlobHwListOffset = 28;
inline constexpr size_t kOldBlobSwCountOffset = 273;
inline constexpr size_t kOldBlobSwListOffset = 277;
inline constexpr size_t kOldBlobHw2Offset = 319;
inline constexpr size_t kOldBlobSw2Offset = 344;
inline constexpr uint64_t kOldBlobNewerVersion = 0x400000000;
// Bytes an old blob must hold for each form of the layout.
inline constexpr size_t kOldBlobMinSize = kOldBlobSwListOffset + sizeof(orvSwParamsAuthorizationList);
inline constexpr size_t kOldBlobMinSizeNewer = kOldBlobSw2Offset + sizeof(orvSwParams2AuthorizationList);

struct TagName {
  uint32_t tag;
  char name[100];
};
SECPROC_API extern const TagName tag_string[42];

class SECPROC_API KeymasterHalDevice {
 public:
  explicit KeymasterHalDevice(keymaster_security_level_t level);
  virtual ~KeymasterHalDevice();

  int configure(const keymaster_key_param_set_t* params);
  int generate_key(const keymaster_key_param_set_t* params, keymaster_key_blob_t* blob,
                   keymaster_key_characteristics_t* characteristics);
  int get_key_characteristics(const keymaster_key_blob_t* blob, const keymaster_blob_t* clientId,
                              const keymaster_blob_t* appData, keymaster_key_characteristics_t* characteristics);
  int import_key(const keymaster_key_param_set_t* params, keymaster_key_format_t format,
                 const keymaster_blob_t* keyData, keymaster_key_blob_t* blob,
                 keymaster_key_characteristics_t* characteristics);
  int export_key(keymaster_key_format_t format, const keymaster_key_blob_t* blob, const keymaster_blob_t* clientId,
                 const keymaster_blob_t* appData, keymaster_blob_t* exported);
  int delete_key(const keymaster_key_blob_t* blob);
  int delete_all_keys();
  int begin_operation(keymaster_purpose_t purpose, const keymaster_key_blob_t* blob,
                      const keymaster_key_param_set_t* params, keymaster_key_param_set_t* outParams,
                      keymaster_operation_handle_t* handle);
  int update_operation(keymaster_operation_handle_t handle, const keymaster_key_param_set_t* params,
                       const keymaster_blob_t* input, size_t* consumed, keymaster_key_param_set_t* outParams,
                       keymaster_blob_t* output);
  int finish_operation(keymaster_operation_handle_t handle, const keymaster_key_param_set_t* params,
                       const keymaster_blob_t* input, const keymaster_blob_t* signature,
                       keymaster_key_param_set_t* outParams, keymaster_blob_t* output);
  int abort_operation(keymaster_operation_handle_t handle);
  int upgrade_key(const keymaster_key_blob_t* blob, const keymaster_key_param_set_t* params,
                  keymaster_key_blob_t* upgraded);
  int attest_key(const keymaster_key_blob_t* blob, const keymaster_key_param_set_t* params,
                 keymaster_cert_chain_t* chain);
  int import_wrapped_key(const keymaster_key_param_set_t* params, uint64_t passwordSid, uint64_t biometricSid,
                         const keymaster_blob_t* wrappedKeyData, const keymaster_key_blob_t* wrappingKeyBlob,
                         const keymaster_blob_t* maskingKey, keymaster_key_blob_t* blob,
                         keymaster_key_characteristics_t* characteristics);
  int destroy_device_ids();
  int get_hmac_sharing_parameters(hmac_sharing_params_t* params);
  int compute_shared_hmac(const std::vector<hmac_sharing_params_t>& params, std::vector<uint8_t>* sharingCheck);
  int verifyAuthorization(uint64_t challenge, verification_token_t* token);
  int set_device_locked(bool locked);
  int set_early_boot_ended();
  int generate_timestamp();
  int keymint_generate_key(const keymaster_key_param_set_t* params, const keymaster_key_blob_t* attestKey,
                           const keymaster_key_param_set_t* attestKeyParams, const keymaster_blob_t* issuerSubject,
                           keymaster_key_blob_t* blob, keymaster_key_characteristics_t* characteristics,
                           keymaster_cert_chain_t* chain);
  int keymint_import_key(const keymaster_key_param_set_t* params, keymaster_key_format_t format,
                         const keymaster_blob_t* keyData, const keymaster_key_blob_t* attestKey,
                         const keymaster_key_param_set_t* attestKeyParams, const keymaster_blob_t* issuerSubject,
                         keymaster_key_blob_t* blob, keymaster_key_characteristics_t* characteristics,
                         keymaster_cert_chain_t* chain);
  int keymint_import_wrapped_key(const keymaster_key_param_set_t* params, uint64_t passwordSid,
                                 uint64_t biometricSid, const keymaster_blob_t* wrappedKeyData,
                                 const keymaster_key_blob_t* wrappingKeyBlob, const keymaster_blob_t* maskingKey,
                                 keymaster_key_blob_t* blob, keymaster_key_characteristics_t* characteristics,
                                 keymaster_cert_chain_t* chain);
  int keymint_begin_operation(keymaster_purpose_t purpose, const keymaster_key_blob_t* blob,
                              const keymaster_key_param_set_t* params, keymaster_key_param_set_t* outParams,
                              keymaster_operation_handle_t* handle);
  int keymint_update_aad_operation(keymaster_operation_handle_t handle, const keymaster_key_param_set_t* params);
  int keymint_update_operation(keymaster_operation_handle_t handle, const keymaster_key_param_set_t* params,
                               const keymaster_blob_t* input, size_t* consumed, size_t inputLength,
                               keymaster_key_param_set_t* outParams, keymaster_blob_t* output);
  int keymint_finish_operation(keymaster_operation_handle_t handle, const keymaster_key_param_set_t* params,
                               const keymaster_blob_t* input, const keymaster_blob_t* signature,
                               keymaster_key_param_set_t* outParams, keymaster_blob_t* output);
  int keymint_convert_storage_key_to_ephemeral(const keymaster_key_blob_t* blob, keymaster_blob_t* ephemeral);
  int keymint_generate_timestamp(uint64_t challenge, verification_token_t* token);
  int keymint_generate_csr(const keymaster::GenerateCsrRequest& csrRequest, std::vector<uint8_t> keysToSign,
                           keymaster_blob_t keysToSignMac, std::vector<uint8_t>* deviceInfo,
                           std::vector<uint8_t>* protectedData);
  int keymint_generate_csr_v2(const std::vector<uint8_t>& challenge, const std::vector<uint8_t>& keysToSign,
                              std::vector<uint8_t>* csr);
  int legacy_get_date_support(bool* supported);
  int get_date_support(bool* supported) { return legacy_get_date_support(supported); }
  int legacySetRot(const uint8_t* rootOfTrust, const void* unused, bool locked, const uint32_t* osVersion,
                   uint32_t color, uint32_t sixth, uint32_t seventh);
  int SetRot(const uint8_t* rootOfTrust, const void* unused, bool locked, const uint32_t* osVersion,
             uint32_t color, uint32_t sixth, uint32_t seventh) {
    return legacySetRot(rootOfTrust, unused, locked, osVersion, color, sixth, seventh);
  }
  uint32_t get_keymaster_version() const { return keymasterutils::KeymasterUtils::getKeymasterVersion(); }
  uint32_t get_keymaster_api_version() const { return utils_->getKeymasterAPIVersion(); }

  // Old key-blob layout and flat parameter form.
  int getCharacteristicsLegacy(const uint8_t* blob, size_t length, keymaster_key_characteristics_t* out);
  int parseTeeParams(const orvTeeParamsAuthorizationList* list, const orvTeeParams2AuthorizationList* list2,
                     size_t count, keymaster_key_characteristics_t* out);
  int parseSwParams(const orvSwParamsAuthorizationList* list, const orvSwParams2AuthorizationList* list2,
                    size_t count, keymaster_key_characteristics_t* out);
  static int params_serialize(KeymasterBuffer& buf, const keymaster_key_param_t* params, size_t count);
  static const char* TagToString(keymaster_tag_t tag);
  static void PrintParams(const keymaster_key_param_t* /*params*/, size_t /*count*/) {}

  keymasterutils::KeymasterUtils* utils() { return utils_.get(); }
  uint32_t id(Command command) const;

 private:
  template <typename Ser, typename De>
  int request(Command command, bool checkLegacy, KeymasterSerialize& s, Ser ser, De de);
  template <typename Ser>
  int createKey(Command command, const keymaster_key_param_set_t* params, Ser ser, keymaster_key_blob_t* blob,
                keymaster_key_characteristics_t* characteristics, keymaster_cert_chain_t* chain);
  int update(Command command, bool checkLegacy, keymaster_operation_handle_t handle,
             const keymaster_key_param_set_t* params, const keymaster_blob_t* input, size_t* consumed,
             keymaster_key_param_set_t* outParams, keymaster_blob_t* output);
  int finish(Command command, bool checkLegacy, keymaster_operation_handle_t handle,
             const keymaster_key_param_set_t* params, const keymaster_blob_t* input,
             const keymaster_blob_t* signature, keymaster_key_param_set_t* outParams, keymaster_blob_t* output);
  // The blob layout outside a request: the first bring-up on another thread writes the
  // versions it is read from, so it is read under the request lock.
  bool oldKeyblobLayout();
  int keyBlobResult(KeymasterSerialize& s, const keymaster_blob_t& rsp, keymaster_key_blob_t* blob,
                    keymaster_key_characteristics_t* characteristics);

  std::unique_ptr<keymasterutils::KeymasterUtils> utils_;
  // Used under the request lock only (it loads the application on first use).
  std::unique_ptr<keymasterutils::KeymasterTzUtils> tz_;
  keymaster_security_level_t level_;
  // Operations begun on a curve-25519 key, by handle: the input limit belongs to each
  // operation, not to the device.
  std::mutex curveLock_;
  std::set<keymaster_operation_handle_t> curve25519Ops_;
};

}  // namespace keymasterdevice
