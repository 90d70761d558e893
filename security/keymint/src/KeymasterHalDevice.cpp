#define LOG_TAG "SecProcKeyMasterHalDevice"

#include "KeymasterHalDevice.h"

#include <log/log.h>
#include <openssl/crypto.h>

#include <cstring>
#include <ctime>

namespace keymasterdevice {

namespace {

constexpr CommandId kCommands[] = {
    {Command::kConfigure, "configure", 0x2116, 0x2116},
    {Command::kGenerateKey, "generate_key", 0x2508, 0x2108},
    {Command::kGetKeyCharacteristics, "get_key_characteristics", 0x2509, 0x2109},
    {Command::kImportKey, "import_key", 0x250b, 0x210b},
    {Command::kExportKey, "export_key", 0x250c, 0x210c},
    {Command::kDeleteKey, "delete_key", 0x250d, 0x210d},
    {Command::kDeleteAllKeys, "delete_all_keys", 0x250e, 0x210e},
    {Command::kBeginOperation, "begin_operation", 0x250f, 0x210f},
    {Command::kUpdateOperation, "update_operation", 0x2511, 0x2111},
    {Command::kFinishOperation, "finish_operation", 0x2512, 0x2112},
    {Command::kAbortOperation, "abort_operation", 0x2513, 0x2113},
    {Command::kUpgradeKey, "upgrade_key", 0x2514, 0x2114},
    {Command::kAttestKey, "attest_key", 0x2515, 0x2115},
    {Command::kImportWrappedKey, "import_wrapped_key", 0x2517, 0x2117},
    {Command::kDestroyDeviceIds, "destroy_device_ids", 0x2704, 0x220b},
    {Command::kGetHmacSharingParameters, "get_hmac_sharing_parameters", 0x2706, 0x220e},
    {Command::kComputeSharedHmac, "compute_shared_hmac", 0x2707, 0x220f},
    {Command::kVerifyAuthorization, "verifyAuthorization", 0, 0x2118},
    {Command::kSetDeviceLocked, "set_device_locked", 0x211d, 0x211a},
    {Command::kGenerateTimestamp, "generate_timestamp", 0x211a, 0x211a},
    {Command::kKeymintGenerateKey, "keymint_generate_key", 0x3108, 0x3108},
    {Command::kKeymintImportKey, "keymint_import_key", 0x310b, 0x310b},
    {Command::kKeymintImportWrappedKey, "keymint_import_wrapped_key", 0x3117, 0x3117},
    {Command::kKeymintBeginOperation, "keymint_begin_operation", 0x310f, 0x310f},
    {Command::kKeymintUpdateAadOperation, "keymint_update_aad_operation", 0x311b, 0x311b},
    {Command::kKeymintUpdateOperation, "keymint_update_operation", 0x3111, 0x3111},
    {Command::kKeymintFinishOperation, "keymint_finish_operation", 0x3112, 0x3112},
    {Command::kKeymintConvertStorageKeyToEphemeral, "keymint_convert_storage_key_to_ephemeral", 0x311d, 0x311d},
    {Command::kKeymintGenerateTimestamp, "keymint_generate_timestamp", 0x311c, 0x311c},
    {Command::kKeymintGenerateCsr, "keymint_generate_csr", 0x311e, 0x311e},
    {Command::kKeymintGenerateCsrV2, "keymint_generate_csr_v2", 0x3121, 0x3121},
};
static_assert(sizeof kCommands / sizeof kCommands[0] == static_cast<size_t>(Command::kCount));

constexpr bool tableInOrder() {
  for (size_t k = 0; k < sizeof kCommands / sizeof kCommands[0]; k++) {
    if (static_cast<size_t>(kCommands[k].command) != k) return false;
  }
  return true;
}
static_assert(tableInOrder(), "rows are indexed by their command");

int logRet(const char* name, int rc) {
  if (rc != 0) {
    ALOGE("%s", name);
    ALOGE("ret: %d", rc);
  }
  return rc;
}

bool blobMissing(const keymaster_key_blob_t* b) {
  return b == nullptr || b->key_material == nullptr || b->key_material_size == 0;
}

void emptyOutputs(keymaster_key_param_set_t* outParams, keymaster_blob_t* output) {
  if (outParams != nullptr) *outParams = {nullptr, 0};
  if (output != nullptr) *output = {nullptr, 0};
}

// The codec's -1 (an entry of the wrong CBOR type) would read as an error code of its own
// to clients (ROOT_OF_TRUST_ALREADY_SET); what cannot be read is an unknown error.
int codecResult(int rc) { return rc == -1 ? KM_ERROR_UNKNOWN_ERROR : rc; }

uint64_t readU64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

}  // namespace

const CommandId& commandId(Command command) { return kCommands[static_cast<size_t>(command)]; }

KeymasterHalDevice::KeymasterHalDevice(keymaster_security_level_t level)
    : utils_(std::make_unique<keymasterutils::KeymasterUtils>(level)),
      tz_(std::make_unique<keymasterutils::KeymasterTzUtils>()),
      level_(level) {}

KeymasterHalDevice::~KeymasterHalDevice() = default;

uint32_t KeymasterHalDevice::id(Command command) const {
  const CommandId& row = commandId(command);
  return level_ == KM_SECURITY_LEVEL_STRONGBOX ? row.strongbox : row.other;
}

template <typename Ser, typename De>
int KeymasterHalDevice::request(Command command, bool checkLegacy, KeymasterSerialize& /*s*/, Ser ser, De de) {
  const char* name = commandId(command).name;
  // The command area is this request's from init until its answer is decoded.
  auto lock = utils_->lockRequest();
  int rc = utils_->secproc_init();
  if (rc != 0) return logRet(name, rc);
  if (checkLegacy && utils_->isLegacy()) return KM_ERROR_UNIMPLEMENTED;
  keymaster_blob_t req;
  utils_->init(id(command), &req);
  rc = ser(&req);
  if (rc != 0) return logRet(name, rc);
  keymaster_blob_t rsp{};
  rc = utils_->sendCmd(req, &rsp);
  if (rc != 0) return logRet(name, rc);
  return codecResult(logRet(name, de(rsp)));
}

namespace {
auto emptyBody() {
  return [](keymaster_blob_t* req) {
    req->data_length = 0;
    return 0;
  };
}
auto statusOnly() {
  return [](const keymaster_blob_t&) { return 0; };
}
}  // namespace

bool KeymasterHalDevice::oldKeyblobLayout() {
  auto lock = utils_->lockRequest();
  return utils_->isOldKeyblob();
}

int KeymasterHalDevice::keyBlobResult(KeymasterSerialize& s, const keymaster_blob_t& rsp, keymaster_key_blob_t* blob,
                                      keymaster_key_characteristics_t* characteristics) {
  if (utils_->isOldKeyblob()) {
    int rc = s.deserializeClientKeyblobLegacy(rsp, blob);
    if (rc != 0) return rc;
    return getCharacteristicsLegacy(blob->key_material, blob->key_material_size, characteristics);
  }
  int rc = s.deserializeClientKeyblob(rsp, blob);
  if (rc != 0) return rc;
  return characteristics != nullptr ? s.getCharacteristics(blob->key_material, blob->key_material_size, characteristics)
                                    : 0;
}

int KeymasterHalDevice::configure(const keymaster_key_param_set_t* params) {
  auto lock = utils_->lockRequest();
  KeymasterSerialize s(utils_.get());
  keymaster_blob_t req;
  utils_->init(id(Command::kConfigure), &req);
  int rc = s.serializeClientParams(params, &req);
  if (rc == 0) rc = utils_->save_configure_cmd(&req);
  return logRet("configure", rc);
}

int KeymasterHalDevice::set_device_locked(bool locked) {
  auto lock = utils_->lockRequest();
  KeymasterSerialize s(utils_.get());
  keymaster_blob_t req;
  utils_->init(id(Command::kSetDeviceLocked), &req);
  int rc = s.serializeClientSetDeviceLocked(locked, &req);
  if (rc == 0) rc = utils_->save_device_locked(&req);
  return logRet("set_device_locked", rc);
}

int KeymasterHalDevice::set_early_boot_ended() {
  auto lock = utils_->lockRequest();
  utils_->save_early_boot_ended();
  return 0;
}

int KeymasterHalDevice::generate_key(const keymaster_key_param_set_t* params, keymaster_key_blob_t* blob,
                                     keymaster_key_characteristics_t* characteristics) {
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kGenerateKey, true, s, [&](keymaster_blob_t* req) { return s.serializeClientParams(params, req); },
      [&](const keymaster_blob_t& rsp) { return keyBlobResult(s, rsp, blob, characteristics); });
}

int KeymasterHalDevice::get_key_characteristics(const keymaster_key_blob_t* blob, const keymaster_blob_t* clientId,
                                                const keymaster_blob_t* appData,
                                                keymaster_key_characteristics_t* characteristics) {
  if (blobMissing(blob)) return KM_ERROR_UNEXPECTED_NULL_POINTER;
  if (characteristics == nullptr) return KM_ERROR_OUTPUT_PARAMETER_NULL;
  if (oldKeyblobLayout()) {
    return getCharacteristicsLegacy(blob->key_material, blob->key_material_size, characteristics);
  }
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kGetKeyCharacteristics, true, s,
      [&](keymaster_blob_t* req) { return s.serializeGetKeyCharacterisitcs(blob, clientId, appData, req); },
      [&](const keymaster_blob_t&) {
        return s.getCharacteristics(blob->key_material, blob->key_material_size, characteristics);
      });
}

int KeymasterHalDevice::import_key(const keymaster_key_param_set_t* params, keymaster_key_format_t format,
                                   const keymaster_blob_t* keyData, keymaster_key_blob_t* blob,
                                   keymaster_key_characteristics_t* characteristics) {
  if (params == nullptr || keyData == nullptr || keyData->data == nullptr || keyData->data_length == 0) {
    return KM_ERROR_UNEXPECTED_NULL_POINTER;
  }
  if (blob == nullptr) return KM_ERROR_OUTPUT_PARAMETER_NULL;
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kImportKey, true, s,
      [&](keymaster_blob_t* req) { return s.serializeClientImpKey(params, format, keyData, req); },
      [&](const keymaster_blob_t& rsp) { return keyBlobResult(s, rsp, blob, characteristics); });
}

int KeymasterHalDevice::export_key(keymaster_key_format_t format, const keymaster_key_blob_t* blob,
                                   const keymaster_blob_t* clientId, const keymaster_blob_t* appData,
                                   keymaster_blob_t* exported) {
  if (blobMissing(blob)) return KM_ERROR_UNEXPECTED_NULL_POINTER;
  if (exported == nullptr) return KM_ERROR_OUTPUT_PARAMETER_NULL;
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kExportKey, true, s,
      [&](keymaster_blob_t* req) { return s.serializeClientExpKey(format, blob, clientId, appData, req); },
      [&](const keymaster_blob_t& rsp) { return s.deserializeClientExpKey(rsp, exported); });
}

int KeymasterHalDevice::delete_key(const keymaster_key_blob_t* blob) {
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kDeleteKey, true, s, [&](keymaster_blob_t* req) { return s.serializeClientKeyblob(blob, req); },
      statusOnly());
}

int KeymasterHalDevice::delete_all_keys() {
  if (level_ == KM_SECURITY_LEVEL_STRONGBOX) return 0;
  KeymasterSerialize s(utils_.get());
  return request(Command::kDeleteAllKeys, true, s, emptyBody(), statusOnly());
}

int KeymasterHalDevice::begin_operation(keymaster_purpose_t purpose, const keymaster_key_blob_t* blob,
                                        const keymaster_key_param_set_t* params, keymaster_key_param_set_t* outParams,
                                        keymaster_operation_handle_t* handle) {
  if (blob == nullptr || blob->key_material == nullptr) return KM_ERROR_UNEXPECTED_NULL_POINTER;
  if (outParams != nullptr) *outParams = {nullptr, 0};
  if (handle == nullptr) return KM_ERROR_OUTPUT_PARAMETER_NULL;
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kBeginOperation, true, s,
      [&](keymaster_blob_t* req) { return s.serializeClientBegin(purpose, params, blob, req); },
      [&](const keymaster_blob_t& rsp) { return s.deserializeClientBegin(rsp, outParams, handle); });
}

int KeymasterHalDevice::update(Command command, bool checkLegacy, keymaster_operation_handle_t handle,
                               const keymaster_key_param_set_t* params, const keymaster_blob_t* input,
                               size_t* consumed, keymaster_key_param_set_t* outParams, keymaster_blob_t* output) {
  if (consumed == nullptr) return KM_ERROR_OUTPUT_PARAMETER_NULL;
  emptyOutputs(outParams, output);
  *consumed = 0;
  KeymasterSerialize s(utils_.get());
  return request(
      command, checkLegacy, s, [&](keymaster_blob_t* req) { return s.serializeClientUpdate(handle, params, input, req); },
      [&](const keymaster_blob_t& rsp) { return s.deserializeClientUpdate(rsp, outParams, output, consumed); });
}

int KeymasterHalDevice::finish(Command command, bool checkLegacy, keymaster_operation_handle_t handle,
                               const keymaster_key_param_set_t* params, const keymaster_blob_t* input,
                               const keymaster_blob_t* signature, keymaster_key_param_set_t* outParams,
                               keymaster_blob_t* output) {
  emptyOutputs(outParams, output);
  KeymasterSerialize s(utils_.get());
  return request(
      command, checkLegacy, s,
      [&](keymaster_blob_t* req) { return s.serializeClientFinish(handle, params, input, signature, req); },
      [&](const keymaster_blob_t& rsp) { return s.deserializeClientFinish(rsp, outParams, output); });
}

int KeymasterHalDevice::update_operation(keymaster_operation_handle_t handle, const keymaster_key_param_set_t* params,
                                         const keymaster_blob_t* input, size_t* consumed,
                                         keymaster_key_param_set_t* outParams, keymaster_blob_t* output) {
  return update(Command::kUpdateOperation, true, handle, params, input, consumed, outParams, output);
}

int KeymasterHalDevice::finish_operation(keymaster_operation_handle_t handle, const keymaster_key_param_set_t* params,
                                         const keymaster_blob_t* input, const keymaster_blob_t* signature,
                                         keymaster_key_param_set_t* outParams, keymaster_blob_t* output) {
  return finish(Command::kFinishOperation, true, handle, params, input, signature, outParams, output);
}

int KeymasterHalDevice::abort_operation(keymaster_operation_handle_t handle) {
  {
    std::lock_guard<std::mutex> g(curveLock_);
    curve25519Ops_.erase(handle);
  }
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kAbortOperation, true, s, [&](keymaster_blob_t* req) { return s.serializeClientAbort(handle, req); },
      statusOnly());
}

int KeymasterHalDevice::upgrade_key(const keymaster_key_blob_t* blob, const keymaster_key_param_set_t* params,
                                    keymaster_key_blob_t* upgraded) {
  if (blobMissing(blob)) return KM_ERROR_UNEXPECTED_NULL_POINTER;
  if (upgraded == nullptr) return KM_ERROR_OUTPUT_PARAMETER_NULL;
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kUpgradeKey, true, s,
      [&](keymaster_blob_t* req) { return s.serializeClientParamsKeyblob(params, blob, req); },
      [&](const keymaster_blob_t& rsp) {
        return utils_->isOldKeyblob() ? s.deserializeClientKeyblobLegacy(rsp, upgraded)
                                      : s.deserializeClientKeyblob(rsp, upgraded);
      });
}

int KeymasterHalDevice::attest_key(const keymaster_key_blob_t* blob, const keymaster_key_param_set_t* params,
                                   keymaster_cert_chain_t* chain) {
  if (blobMissing(blob) || params == nullptr || chain == nullptr) return KM_ERROR_UNEXPECTED_NULL_POINTER;
  KeymasterSerialize s(utils_.get());
  tztm start{}, end{};
  if (oldKeyblobLayout()) {
    const uint8_t* b = blob->key_material;
    if (blob->key_material_size >= 395 && readU64(b) == kKeyBlobMagic) {
      if (!secondsToTztm(readU64(b + 278) / 1000, &start)) {
        ALOGE("activeDateTime handle is NULL");
        start = tztm{};
      } else {
        uint64_t expire = b[295] != 0 ? readU64(b + 296) / 1000 : 0xFFFFFFFF;
        if (!secondsToTztm(expire, &end)) {
          ALOGE("usageExpireDateTime handle is NULL");
          end = tztm{};
        }
      }
    }
  } else {
    int rc = s.get_gm_time(blob, &start, &end);
    if (rc != 0) return logRet("attest_key", rc);
  }
  return request(
      Command::kAttestKey, true, s,
      [&](keymaster_blob_t* req) { return s.serializeClientAttestKey(params, blob, start, end, req); },
      [&](const keymaster_blob_t& rsp) { return s.deserializeClientAttestKey(rsp, chain); });
}

int KeymasterHalDevice::import_wrapped_key(const keymaster_key_param_set_t* params, uint64_t passwordSid,
                                           uint64_t biometricSid, const keymaster_blob_t* wrappedKeyData,
                                           const keymaster_key_blob_t* wrappingKeyBlob,
                                           const keymaster_blob_t* maskingKey, keymaster_key_blob_t* blob,
                                           keymaster_key_characteristics_t* characteristics) {
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kImportWrappedKey, true, s,
      [&](keymaster_blob_t* req) {
        return s.serializeClientSecureImportKey(params, passwordSid, biometricSid, wrappedKeyData, wrappingKeyBlob,
                                                maskingKey, req);
      },
      [&](const keymaster_blob_t& rsp) { return keyBlobResult(s, rsp, blob, characteristics); });
}

int KeymasterHalDevice::destroy_device_ids() {
  KeymasterSerialize s(utils_.get());
  // The record goes once the processor has let the identifiers go, still under the request
  // lock: the trusted-application utilities serve one request at a time, as the channel does.
  return request(Command::kDestroyDeviceIds, true, s, emptyBody(), [&](const keymaster_blob_t&) {
    return tz_->tzServiceDelete(keymasterutils::KeymasterTzUtils::TZ_KEY_ID_DEVICE_IDS);
  });
}

int KeymasterHalDevice::get_hmac_sharing_parameters(hmac_sharing_params_t* params) {
  KeymasterSerialize s(utils_.get());
  return request(Command::kGetHmacSharingParameters, true, s, emptyBody(),
                 [&](const keymaster_blob_t& rsp) { return s.deserializeClientGetHmacParams(rsp, params); });
}

int KeymasterHalDevice::compute_shared_hmac(const std::vector<hmac_sharing_params_t>& params,
                                            std::vector<uint8_t>* sharingCheck) {
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kComputeSharedHmac, true, s,
      [&](keymaster_blob_t* req) { return s.serializeClientComputeHmacParams(params, req); },
      [&](const keymaster_blob_t& rsp) { return s.deserializeClientComputeHmacParams(rsp, sharingCheck); });
}

int KeymasterHalDevice::verifyAuthorization(uint64_t challenge, verification_token_t* token) {
  if (level_ == KM_SECURITY_LEVEL_STRONGBOX) return KM_ERROR_UNIMPLEMENTED;
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kVerifyAuthorization, true, s,
      [&](keymaster_blob_t* req) { return s.serializeverifyAuthorization(challenge, req); },
      [&](const keymaster_blob_t& rsp) { return s.deserializeverifyAuthorization(rsp, token); });
}

int KeymasterHalDevice::generate_timestamp() {
  KeymasterSerialize s(utils_.get());
  return request(Command::kGenerateTimestamp, false, s, emptyBody(), statusOnly());
}

template <typename Ser>
int KeymasterHalDevice::createKey(Command command, const keymaster_key_param_set_t* params, Ser ser,
                                  keymaster_key_blob_t* blob, keymaster_key_characteristics_t* characteristics,
                                  keymaster_cert_chain_t* chain) {
  KeymasterSerialize s(utils_.get());
  tztm notBefore{}, notAfter{};
  int rc = s.getCertNotBeforeAfter(params, &notBefore, &notAfter);
  if (rc != 0) return logRet(commandId(command).name, rc);
  return request(
      command, false, s, [&](keymaster_blob_t* req) { return ser(s, notBefore, notAfter, req); },
      [&](const keymaster_blob_t& rsp) { return s.deserializeKeyCreationResult(rsp, blob, characteristics, chain); });
}

int KeymasterHalDevice::keymint_generate_key(const keymaster_key_param_set_t* params,
                                             const keymaster_key_blob_t* attestKey,
                                             const keymaster_key_param_set_t* attestKeyParams,
                                             const keymaster_blob_t* issuerSubject, keymaster_key_blob_t* blob,
                                             keymaster_key_characteristics_t* characteristics,
                                             keymaster_cert_chain_t* chain) {
  return createKey(
      Command::kKeymintGenerateKey, params,
      [&](KeymasterSerialize& s, tztm notBefore, tztm notAfter, keymaster_blob_t* req) {
        return s.serializeKeymintGenerateKey(params, attestKey, attestKeyParams, issuerSubject, notBefore, notAfter,
                                             req);
      },
      blob, characteristics, chain);
}

int KeymasterHalDevice::keymint_import_key(const keymaster_key_param_set_t* params, keymaster_key_format_t format,
                                           const keymaster_blob_t* keyData, const keymaster_key_blob_t* attestKey,
                                           const keymaster_key_param_set_t* attestKeyParams,
                                           const keymaster_blob_t* issuerSubject, keymaster_key_blob_t* blob,
                                           keymaster_key_characteristics_t* characteristics,
                                           keymaster_cert_chain_t* chain) {
  return createKey(
      Command::kKeymintImportKey, params,
      [&](KeymasterSerialize& s, tztm notBefore, tztm notAfter, keymaster_blob_t* req) {
        return s.serializeKeymintImportKey(params, format, keyData, attestKey, attestKeyParams, issuerSubject,
                                           notBefore, notAfter, req);
      },
      blob, characteristics, chain);
}

int KeymasterHalDevice::keymint_import_wrapped_key(const keymaster_key_param_set_t* params, uint64_t passwordSid,
                                                   uint64_t biometricSid, const keymaster_blob_t* wrappedKeyData,
                                                   const keymaster_key_blob_t* wrappingKeyBlob,
                                                   const keymaster_blob_t* maskingKey, keymaster_key_blob_t* blob,
                                                   keymaster_key_characteristics_t* characteristics,
                                                   keymaster_cert_chain_t* chain) {
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kKeymintImportWrappedKey, false, s,
      [&](keymaster_blob_t* req) {
        return s.serializeClientSecureImportKey(params, passwordSid, biometricSid, wrappedKeyData, wrappingKeyBlob,
                                                maskingKey, req);
      },
      [&](const keymaster_blob_t& rsp) { return s.deserializeKeyCreationResult(rsp, blob, characteristics, chain); });
}

int KeymasterHalDevice::keymint_begin_operation(keymaster_purpose_t purpose, const keymaster_key_blob_t* blob,
                                                const keymaster_key_param_set_t* params,
                                                keymaster_key_param_set_t* outParams,
                                                keymaster_operation_handle_t* handle) {
  if (blob == nullptr || blob->key_material == nullptr) return KM_ERROR_UNEXPECTED_NULL_POINTER;
  if (outParams != nullptr) *outParams = {nullptr, 0};
  if (handle == nullptr) return KM_ERROR_OUTPUT_PARAMETER_NULL;
  KeymasterSerialize s(utils_.get());
  int rc = request(
      Command::kKeymintBeginOperation, false, s,
      [&](keymaster_blob_t* req) { return s.serializeClientBegin(purpose, params, blob, req); },
      [&](const keymaster_blob_t& rsp) { return s.deserializeClientBegin(rsp, outParams, handle); });
  if (rc != 0) return rc;
  keymaster_key_characteristics_t chars{};
  rc = s.getCharacteristics(blob->key_material, blob->key_material_size, &chars);
  keymaster_free_param_set(&chars.hw_enforced);
  keymaster_free_param_set(&chars.sw_enforced);
  if (rc != 0) {
    logRet("keymint_begin_operation", rc);
    // The processor began an operation on a blob this device cannot read. The client gets
    // no handle to end it with, so it is aborted here rather than left holding a slot.
    const keymaster_operation_handle_t begun = *handle;
    *handle = 0;
    if (outParams != nullptr) {
      keymaster_free_param_set(outParams);
      *outParams = {nullptr, 0};
    }
    const int aborted = abort_operation(begun);
    if (aborted != 0) ALOGE("abort of operation after a failed begin: %d", aborted);
    return codecResult(rc);
  }
  if (s.curve25519()) {
    std::lock_guard<std::mutex> g(curveLock_);
    curve25519Ops_.insert(*handle);
  }
  return 0;
}

int KeymasterHalDevice::keymint_update_aad_operation(keymaster_operation_handle_t handle,
                                                     const keymaster_key_param_set_t* params) {
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kKeymintUpdateAadOperation, false, s,
      [&](keymaster_blob_t* req) { return s.serializeKeymintUpdateAad(handle, params, req); }, statusOnly());
}

int KeymasterHalDevice::keymint_update_operation(keymaster_operation_handle_t handle,
                                                 const keymaster_key_param_set_t* params,
                                                 const keymaster_blob_t* input, size_t* consumed, size_t inputLength,
                                                 keymaster_key_param_set_t* outParams, keymaster_blob_t* output) {
  if (inputLength > kCurve25519MaxInput) {
    std::lock_guard<std::mutex> g(curveLock_);
    if (curve25519Ops_.count(handle) != 0) return KM_ERROR_INVALID_INPUT_LENGTH;
  }
  return update(Command::kKeymintUpdateOperation, false, handle, params, input, consumed, outParams, output);
}

int KeymasterHalDevice::keymint_finish_operation(keymaster_operation_handle_t handle,
                                                 const keymaster_key_param_set_t* params,
                                                 const keymaster_blob_t* input, const keymaster_blob_t* signature,
                                                 keymaster_key_param_set_t* outParams, keymaster_blob_t* output) {
  {
    std::lock_guard<std::mutex> g(curveLock_);
    curve25519Ops_.erase(handle);
  }
  return finish(Command::kKeymintFinishOperation, false, handle, params, input, signature, outParams, output);
}

int KeymasterHalDevice::keymint_convert_storage_key_to_ephemeral(const keymaster_key_blob_t* blob,
                                                                 keymaster_blob_t* ephemeral) {
  if (blobMissing(blob)) return KM_ERROR_UNEXPECTED_NULL_POINTER;
  if (ephemeral == nullptr) return KM_ERROR_OUTPUT_PARAMETER_NULL;
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kKeymintConvertStorageKeyToEphemeral, false, s,
      [&](keymaster_blob_t* req) { return s.serializeConvertStorageKey(blob, req); },
      [&](const keymaster_blob_t& rsp) { return s.deserializeClientExpKey(rsp, ephemeral); });
}

int KeymasterHalDevice::keymint_generate_timestamp(uint64_t challenge, verification_token_t* token) {
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kKeymintGenerateTimestamp, false, s,
      [&](keymaster_blob_t* req) { return s.serializeverifyAuthorization(challenge, req); },
      [&](const keymaster_blob_t& rsp) { return s.deserializeGenerateTimestamp(rsp, token); });
}

int KeymasterHalDevice::keymint_generate_csr(const keymaster::GenerateCsrRequest& csrRequest,
                                             std::vector<uint8_t> keysToSign, keymaster_blob_t keysToSignMac,
                                             std::vector<uint8_t>* deviceInfo, std::vector<uint8_t>* protectedData) {
  if (deviceInfo == nullptr || protectedData == nullptr) return KM_ERROR_OUTPUT_PARAMETER_NULL;
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kKeymintGenerateCsr, false, s,
      [&](keymaster_blob_t* req) {
        // The MAC travels as a copy that is wiped once written into the request.
        std::vector<uint8_t> mac(keysToSignMac.data, keysToSignMac.data + (keysToSignMac.data != nullptr
                                                                               ? keysToSignMac.data_length
                                                                               : 0));
        keymaster_blob_t copy{mac.data(), mac.size()};
        int rc = s.serializeGenerateCsr(req, csrRequest, keysToSign, copy);
        OPENSSL_cleanse(mac.data(), mac.size());
        return rc;
      },
      [&](const keymaster_blob_t& rsp) { return s.deserializeGenerateCsr(rsp, deviceInfo, protectedData); });
}

int KeymasterHalDevice::keymint_generate_csr_v2(const std::vector<uint8_t>& challenge,
                                                const std::vector<uint8_t>& keysToSign, std::vector<uint8_t>* csr) {
  KeymasterSerialize s(utils_.get());
  return request(
      Command::kKeymintGenerateCsrV2, false, s,
      [&](keymaster_blob_t* req) { return s.serializeGenerateCsrV2(req, challenge, keysToSign); },
      [&](const keymaster_blob_t& rsp) { return s.deserializeGenerateCsrV2(rsp, csr); });
}

int KeymasterHalDevice::legacy_get_date_support(bool* supported) {
  auto lock = utils_->lockRequest();
  int rc = utils_->secproc_init();
  if (rc != 0) return logRet("legacy_get_date_support", rc);
  uint8_t* area = utils_->celvarcom_dev_init();
  if (area == nullptr) {
    ALOGE("req handle NULL");
    return KM_ERROR_INVALID_ARGUMENT;
  }
  KeymasterBuffer buf(area, keymasterutils::kCmdAreaSize);
  const uint32_t header[3] = {kCmdGetDateSupport, 0, 0};
  buf.append_to_buf(header, sizeof header);
  rc = utils_->send_cmd(area, static_cast<uint32_t>(buf.get_offset()), buf.get_curr_addr(),
                        static_cast<uint32_t>(buf.get_buf_size_remaining()));
  int32_t status;
  std::memcpy(&status, buf.get_curr_addr(), 4);
  if (rc != 0) {
    ALOGE("resp->status: %d", status);
    return logRet("legacy_get_date_support", rc);
  }
  if (status == 0) {
    *supported = true;
    return 0;
  }
  if (status == KM_ERROR_INVALID_TAG) {
    ALOGE("Keymaster does not support date for security patch level");
    *supported = false;
    return 0;
  }
  ALOGE("resp->status: %d", status);
  return status;
}

int KeymasterHalDevice::legacySetRot(const uint8_t* rootOfTrust, const void* /*unused*/, bool locked,
                                     const uint32_t* osVersion, uint32_t color, uint32_t sixth, uint32_t seventh) {
  auto lock = utils_->lockRequest();
  uint8_t* area = utils_->celvarcom_dev_init();
  if (area == nullptr) {
    ALOGE("set_rot_req handle NULL");
    return KM_ERROR_INVALID_ARGUMENT;
  }
  int32_t status = 0;
  {
    KeymasterBuffer buf(area, keymasterutils::kCmdAreaSize);
    const uint32_t header[3] = {kCmdSetRot, 12, 32};
    buf.append_to_buf(header, sizeof header);
    buf.append_to_buf(rootOfTrust, 32);
    int rc = utils_->send_cmd(area, 44, buf.get_curr_addr(), static_cast<uint32_t>(buf.get_buf_size_remaining()));
    std::memcpy(&status, buf.get_curr_addr(), 4);
    if (rc != 0 || status != 0) {
      ALOGE("resp->status: %d", status);
      return rc != 0 ? rc : status;
    }
  }
  area = utils_->celvarcom_dev_init();
  if (area == nullptr) {
    ALOGE("set_boot_state_req handle NULL");
    return KM_ERROR_INVALID_ARGUMENT;
  }
  KeymasterBuffer buf(area, keymasterutils::kCmdAreaSize);
  const uint32_t header[4] = {kCmdSetBootState, 0, 16, 48};
  uint8_t payload[48] = {};
  const uint32_t lockedWord = locked ? 1 : 0;
  const uint32_t os = osVersion != nullptr ? *osVersion : 0;
  std::memcpy(payload, &lockedWord, 4);
  std::memcpy(payload + 4, &os, 4);
  std::memcpy(payload + 36, &color, 4);
  std::memcpy(payload + 40, &sixth, 4);
  std::memcpy(payload + 44, &seventh, 4);
  buf.append_to_buf(header, sizeof header);
  buf.append_to_buf(payload, sizeof payload);
  int rc = utils_->send_cmd(area, 64, buf.get_curr_addr(), static_cast<uint32_t>(buf.get_buf_size_remaining()));
  std::memcpy(&status, buf.get_curr_addr(), 4);
  if (rc != 0 || status != 0) {
    ALOGE("resp->status: %d", status);
    return rc != 0 ? rc : status;
  }
  return 0;
}

}  // namespace keymasterdevice
