#define LOG_TAG "secproc_android_keymaster"

#include "RemotelyProvisionedComponent.h"

#include <keymaster/contexts/pure_soft_remote_provisioning_context.h>
#include <keymaster/km_openssl/openssl_utils.h>
#include <keymaster/remote_provisioning_utils.h>
#include <log/log.h>
#include <openssl/crypto.h>

#include "KeyMintConversions.h"

namespace keymaster {

namespace {

using aidl::android::hardware::security::keymint::KeyParameter;
namespace km_utils = aidl::android::hardware::security::keymint::km_utils;

constexpr keymaster_error_t kRkpFailure = static_cast<keymaster_error_t>(-1);
constexpr size_t kCoordinateSize = 32;

// The attestation key of remote provisioning: an EC P-256 key that only attests, valid
// from the epoch to 9999-12-31 23:59:59 UTC.
keymaster_key_param_t enumParam(uint32_t tag, uint32_t v) {
  keymaster_key_param_t p{};
  p.tag = static_cast<keymaster_tag_t>(tag);
  p.enumerated = v;
  return p;
}
keymaster_key_param_t dateParam(uint32_t tag, uint64_t v) {
  keymaster_key_param_t p{};
  p.tag = static_cast<keymaster_tag_t>(tag);
  p.date_time = v;
  return p;
}
keymaster_key_param_t boolParam(uint32_t tag) {
  keymaster_key_param_t p{};
  p.tag = static_cast<keymaster_tag_t>(tag);
  p.boolean = true;
  return p;
}
const keymaster_key_param_t kRkpKeyParams[] = {
    enumParam(0x20000001, 7),                   // purpose: attest key
    enumParam(0x10000002, 3),                   // algorithm: EC
    enumParam(0x30000003, 256),                 // key size
    enumParam(0x20000005, 4),                   // digest: SHA-256
    enumParam(0x1000000A, 1),                   // curve: P-256
    boolParam(0x700001F7),                      // no auth required
    dateParam(0x600003F0, 0),                   // certificate not before
    dateParam(0x600003F1, 253402300799000ull),  // certificate not after
};

// The bytes, unless they reach the message's limit (then the field stays empty).
void setLimited(KeymasterBlob* field, const uint8_t* data, size_t length) {
  if (length >= kMaxMessageBlobSize) {
    field->Clear();
    return;
  }
  *field = KeymasterBlob(data, length);
}
void setLimited(KeymasterBlob* field, const std::vector<uint8_t>& v) { setLimited(field, v.data(), v.size()); }

}  // namespace

std::vector<uint8_t> make_test_mac_key() {
  std::vector<uint8_t> key(32);
  for (size_t i = 0; i < key.size(); i++) key[i] = static_cast<uint8_t>(i);
  return key;
}

cppcose::HmacSha256Function getMacFunction(bool testMode, RemoteProvisioningContext* context) {
  if (testMode) {
    return [](const cppcose::bytevec& input) { return cppcose::generateHmacSha256(make_test_mac_key(), input); };
  }
  return [context](const cppcose::bytevec& input) -> cppcose::ErrMsgOr<cppcose::HmacSha256> {
    auto mac = context != nullptr ? context->GenerateHmacSha256(input) : std::nullopt;
    if (!mac) return "Remote provisioning context failed to sign MAC.";
    return *mac;
  };
}

void GenerateRkpKey(const GenerateRkpKeyRequest& request, GenerateRkpKeyResponse* response,
                    std::shared_ptr<keymasterdevice::KeymasterHalDevice> impl) {
  response->error = kRkpFailure;
  std::vector<KeyParameter> aidlParams;
  aidlParams.reserve(std::size(kRkpKeyParams));
  for (const keymaster_key_param_t& p : kRkpKeyParams) aidlParams.push_back(km_utils::kmParam2Aidl(p));
  km_utils::KmParamSet params(km_utils::aidlKeyParams2Km(aidlParams));

  const keymaster_key_blob_t noAttestKey{nullptr, 0};
  const keymaster_key_param_set_t noAttestParams{nullptr, 0};
  const keymaster_blob_t noIssuer{nullptr, 0};
  km_utils::KmKeyBlob blob;
  km_utils::KmCharacteristics characteristics;
  km_utils::KmCertChain chain;
  int rc = impl->keymint_generate_key(params.get(), &noAttestKey, &noAttestParams, &noIssuer, blob.get(),
                                      characteristics.get(), chain.get());
  if (rc != 0 || (*chain).entry_count != 1) return;

  uint8_t x[kCoordinateSize];
  uint8_t y[kCoordinateSize];
  if (GetEcdsa256KeyFromCert(&(*chain).entries[0], x, sizeof x, y, sizeof y) != KM_ERROR_OK) return;

  cppbor::Map coseKey;
  coseKey.add(cppcose::KEY_TYPE, cppcose::EC2)
      .add(cppcose::COSE_KEY_ALGORITHM, cppcose::ES256)
      .add(cppcose::CURVE, cppcose::P256)
      .add(cppcose::PUBKEY_X, cppbor::Bstr(x, sizeof x))
      .add(cppcose::PUBKEY_Y, cppbor::Bstr(y, sizeof y));
  if (request.test_mode) coseKey.add(cppcose::TEST_KEY, cppbor::Null());
  const std::vector<uint8_t> encodedKey = coseKey.canonicalize().encode();

  PureSoftRemoteProvisioningContext context(KM_SECURITY_LEVEL_STRONGBOX);
  auto macedKey = cppcose::constructCoseMac0(getMacFunction(request.test_mode, &context), {}, encodedKey);
  if (!macedKey) return;

  setLimited(&response->maced_public_key, macedKey->encode());
  setLimited(&response->key_blob, (*blob).key_material, (*blob).key_material_size);
  response->error = KM_ERROR_OK;
}

void GenerateCsrV2(const GenerateCsrV2Request& request, GenerateCsrV2Response* response,
                   std::shared_ptr<keymasterdevice::KeymasterHalDevice> impl) {
  PureSoftRemoteProvisioningContext context(KM_SECURITY_LEVEL_STRONGBOX);
  auto [pubKeys, err] =
      validateAndExtractPubkeys(false, request.num_keys, request.keys_to_sign_array, getMacFunction(false, &context));
  if (err != KM_ERROR_OK) {
    ALOGE("Failed to validate and extract the public keys for the CSR");
    response->error = err;
    return;
  }
  const std::vector<uint8_t> challenge(request.challenge.begin(), request.challenge.end());
  std::vector<uint8_t> csr;
  int rc = impl->keymint_generate_csr_v2(challenge, pubKeys.encode(), &csr);
  if (rc != 0) {
    ALOGE("Failed to generate CSR V2 with error: %d", rc);
    response->error = kRkpFailure;
    return;
  }
  setLimited(&response->csr, csr);
  response->error = KM_ERROR_OK;
}

void GenerateCsr(const GenerateCsrRequest& request, GenerateCsrResponse* response,
                 std::shared_ptr<keymasterdevice::KeymasterHalDevice> impl) {
  PureSoftRemoteProvisioningContext context(KM_SECURITY_LEVEL_STRONGBOX);
  auto [pubKeys, err] = validateAndExtractPubkeys(request.test_mode, request.num_keys, request.keys_to_sign_array,
                                                  getMacFunction(request.test_mode, &context));
  if (err != KM_ERROR_OK) {
    ALOGE("Failed to validate and extract the public keys for the CSR");
    response->error = err;
    return;
  }
  std::vector<uint8_t> ephemeralMacKey(32);
  if (GenerateRandom(ephemeralMacKey.data(), ephemeralMacKey.size()) != KM_ERROR_OK) {
    ALOGE("Failed to generate a random mac key.");
    response->error = kRkpFailure;
    return;
  }
  const std::vector<uint8_t> encodedKeys = pubKeys.encode();
  auto tag = cppcose::generateCoseMac0Mac(
      [&](const cppcose::bytevec& input) { return cppcose::generateHmacSha256(ephemeralMacKey, input); }, {},
      encodedKeys);
  OPENSSL_cleanse(ephemeralMacKey.data(), ephemeralMacKey.size());
  if (!tag) {
    ALOGE("Failed to generate COSE_Mac0 over the public keys to sign.");
    response->error = kRkpFailure;
    return;
  }
  response->keys_to_sign_mac = KeymasterBlob(tag->data(), tag->size());
  std::vector<uint8_t> deviceInfo, protectedData;
  int rc = impl->keymint_generate_csr(request, encodedKeys, response->keys_to_sign_mac, &deviceInfo, &protectedData);
  if (rc != 0) {
    ALOGE("TA call to generate_csr() failed");
    response->error = static_cast<keymaster_error_t>(rc);
    return;
  }
  setLimited(&response->device_info_blob, deviceInfo);
  setLimited(&response->protected_data_blob, protectedData);
  response->error = KM_ERROR_OK;
}

}  // namespace keymaster

namespace aidl::android::hardware::security::keymint {

namespace {

using ::ndk::ScopedAStatus;

constexpr int32_t kMessageVersion = 3;

// Wipes a message's bytes before they are released.
void wipe(keymaster::KeymasterBlob& b) {
  if (b.data != nullptr) OPENSSL_cleanse(b.writable_data(), b.data_length);
}

ScopedAStatus rkpStatus(int32_t status, const char* message = nullptr) {
  return message != nullptr ? ScopedAStatus::fromServiceSpecificErrorWithMessage(status, message)
                            : ScopedAStatus::fromServiceSpecificError(status);
}

}  // namespace

AndroidRemotelyProvisionedComponentDevice::AndroidRemotelyProvisionedComponentDevice(
    const std::shared_ptr<AndroidKeyMintDevice>& keymint)
    : impl_(keymint->getKeymasterImpl()), keymint_(keymint) {}

AndroidRemotelyProvisionedComponentDevice::~AndroidRemotelyProvisionedComponentDevice() = default;

ScopedAStatus AndroidRemotelyProvisionedComponentDevice::getHardwareInfo(RpcHardwareInfo* info) {
  info->versionNumber = 3;
  info->rpcAuthorName = "Orvenna Technologies";
  info->uniqueId = "Orvenna SECPROC KeyMint 3";
  info->supportedNumKeysInCsr = 20;
  return ScopedAStatus::ok();
}

ScopedAStatus AndroidRemotelyProvisionedComponentDevice::generateEcdsaP256KeyPair(
    bool testMode, MacedPublicKey* macedPublicKey, std::vector<uint8_t>* privateKeyHandle) {
  ScopedAStatus st = keymint_->init();
  if (!st.isOk()) return st;
  if (testMode) return rkpStatus(STATUS_REMOVED);
  keymaster::GenerateRkpKeyRequest request(kMessageVersion);
  request.test_mode = false;
  keymaster::GenerateRkpKeyResponse response(kMessageVersion);
  keymaster::GenerateRkpKey(request, &response, impl_);
  if (response.error != KM_ERROR_OK) {
    st = rkpStatus(-response.error, "Failure in key generation.");
  } else {
    macedPublicKey->macedKey.assign(response.maced_public_key.begin(), response.maced_public_key.end());
    privateKeyHandle->assign(response.key_blob.begin(), response.key_blob.end());
  }
  wipe(response.maced_public_key);
  wipe(response.key_blob);
  return st;
}

ScopedAStatus AndroidRemotelyProvisionedComponentDevice::generateCertificateRequest(
    bool /*testMode*/, const std::vector<MacedPublicKey>& /*keysToSign*/,
    const std::vector<uint8_t>& /*endpointEncCertChain*/, const std::vector<uint8_t>& /*challenge*/,
    DeviceInfo* /*deviceInfo*/, ProtectedData* /*protectedData*/, std::vector<uint8_t>* /*keysToSignMac*/) {
  return rkpStatus(STATUS_REMOVED);
}

ScopedAStatus AndroidRemotelyProvisionedComponentDevice::generateCertificateRequestV2(
    const std::vector<MacedPublicKey>& keysToSign, const std::vector<uint8_t>& challenge,
    std::vector<uint8_t>* csr) {
  ScopedAStatus st = keymint_->init();
  if (!st.isOk()) return st;
  keymaster::GenerateCsrV2Request request(kMessageVersion);
  if (!request.InitKeysToSign(static_cast<uint32_t>(keysToSign.size()))) {
    return rkpStatus(KM_ERROR_MEMORY_ALLOCATION_FAILED);
  }
  for (size_t i = 0; i < keysToSign.size(); i++) {
    request.SetKeyToSign(static_cast<uint32_t>(i), keysToSign[i].macedKey.data(), keysToSign[i].macedKey.size());
  }
  request.SetChallenge(challenge.data(), challenge.size());
  keymaster::GenerateCsrV2Response response(kMessageVersion);
  keymaster::GenerateCsrV2(request, &response, impl_);
  if (response.error != KM_ERROR_OK) {
    st = rkpStatus(-response.error, "Failure in CSR v2 generation.");
  } else {
    csr->assign(response.csr.begin(), response.csr.end());
  }
  for (size_t i = 0; i < request.num_keys; i++) wipe(request.keys_to_sign_array[i]);
  wipe(request.challenge);
  wipe(response.csr);
  return st;
}

}  // namespace aidl::android::hardware::security::keymint
