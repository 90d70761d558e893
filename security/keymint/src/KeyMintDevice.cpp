#define LOG_TAG "android.hardware.security.keymint-secproc-impl"

#include <android/binder_manager.h>
#include <log/log.h>
#include <platform/properties.h>
#include <regex.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

#include "AndroidKeyMintDevice.h"
#include "AndroidKeyMintOperation.h"
#include "KeyMintConversions.h"

namespace aidl::android::hardware::security::keymint {

using ::ndk::ScopedAStatus;
using keymasterdevice::KeymasterHalDevice;
using namespace km_utils;

namespace {

// Set once the secure processor holds this process's configuration. Binder threads enter
// the device concurrently: the first caller configures under the lock while the others wait
// for its outcome instead of each sending a configuration of its own.
std::atomic<bool> gConfigured{false};
std::mutex gConfigureLock;

constexpr char kVersionRegex[] = "^([0-9]{1,2})(\\.([0-9]{1,2}))?(\\.([0-9]{1,2}))?";
constexpr char kPatchlevelRegex[] = "^([0-9]{4})-([0-9]{2})-([0-9]{2})$";
constexpr size_t kMaxEntropy = 2048;

uint32_t match_to_uint32(const char* str, const regmatch_t& match) {
  if (match.rm_so == -1) return 0;
  std::string s(str + match.rm_so, static_cast<size_t>(match.rm_eo - match.rm_so));
  return static_cast<uint32_t>(std::stoul(s, nullptr, 10));
}

std::string property(const char* key) {
  char value[PROP_VALUE_MAX] = {};
  property_get(key, value, "");
  return value;
}

uint32_t GetOsVersion(const std::string& version) {
  regex_t regex;
  if (regcomp(&regex, kVersionRegex, REG_EXTENDED) != 0) {
    ALOGE("Failed to compile version regex! (%s)", kVersionRegex);
    return 0;
  }
  regmatch_t m[6];
  uint32_t v = 0;
  if (regexec(&regex, version.c_str(), 6, m, 0) != 0) {
    ALOGI("Platform version string does not match expected format.  Using version 0.");
  } else {
    v = match_to_uint32(version.c_str(), m[1]) * 10000 + match_to_uint32(version.c_str(), m[3]) * 100 +
        match_to_uint32(version.c_str(), m[5]);
  }
  regfree(&regex);
  return v;
}

// YYYYMM (withDay false) or YYYYMMDD of a "YYYY-MM-DD" patch level; 0 when malformed.
uint32_t GetPatchlevel(const std::string& level, bool withDay, const char* noMatch) {
  regex_t regex;
  if (regcomp(&regex, kPatchlevelRegex, REG_EXTENDED) != 0) {
    ALOGE("Failed to compile platform patchlevel regex! (%s)", kPatchlevelRegex);
    return 0;
  }
  regmatch_t m[4];
  uint32_t v = 0;
  if (regexec(&regex, level.c_str(), 4, m, 0) != 0) {
    ALOGI("%s", noMatch);
  } else {
    uint32_t year = match_to_uint32(level.c_str(), m[1]);
    uint32_t month = match_to_uint32(level.c_str(), m[2]);
    uint32_t day = match_to_uint32(level.c_str(), m[3]);
    if (month < 1 || month > 12) {
      ALOGE("Invalid patch month %d", month);
    } else if (withDay && (day < 1 || day > 31)) {
      ALOGE("Invalid patch date %d", day);
    } else {
      v = withDay ? year * 10000 + month * 100 + day : year * 100 + month;
    }
  }
  regfree(&regex);
  return v;
}

uint32_t GetPatchlevelWithDate(const std::string& level) {
  return GetPatchlevel(level, true, "Patchlevel string does not match expected format.  Using patchlevel 0");
}

keymaster_key_param_t uintParam(uint32_t tag, uint32_t value) {
  keymaster_key_param_t p{};
  p.tag = static_cast<keymaster_tag_t>(tag);
  p.integer = value;
  return p;
}

ScopedAStatus km(int32_t code) { return kmError2ScopedAStatus(code); }

// Fills a key creation result from what the request layer returned.
void fillCreationResult(const keymaster_key_blob_t& blob, const keymaster_key_characteristics_t& chars,
                    const keymaster_cert_chain_t& chain, KeyCreationResult* out) {
  out->keyBlob = kmKeyBlob2AidlVec(blob);
  out->certificateChain.clear();
  for (size_t k = 0; chain.entries != nullptr && k < chain.entry_count; k++) {
    Certificate c;
    c.encodedCertificate = kmBlob2AidlVec(chain.entries[k]);
    out->certificateChain.push_back(std::move(c));
  }
  std::vector<KeyParameter> hw = kmParamSet2Aidl(chars.hw_enforced);
  if (!hw.empty()) out->keyCharacteristics.push_back({SecurityLevel::STRONGBOX, std::move(hw)});
  std::vector<KeyParameter> sw = kmParamSet2Aidl(chars.sw_enforced);
  if (!sw.empty()) out->keyCharacteristics.push_back({SecurityLevel::KEYSTORE, std::move(sw)});
}

// The attestation key of a key creation, as the request layer takes it.
struct Attestation {
  explicit Attestation(const std::optional<AttestationKey>& key) {
    if (key) {
      blob = aidlVec2KmKeyBlob(key->keyBlob);
      params = std::make_unique<KmParamSet>(aidlKeyParams2Km(key->attestKeyParams));
      issuer = aidlVec2KmBlob(key->issuerSubjectName);
    } else {
      params = std::make_unique<KmParamSet>();
    }
  }
  keymaster_key_blob_t blob{nullptr, 0};
  std::unique_ptr<KmParamSet> params;
  keymaster_blob_t issuer{nullptr, 0};
};

// Whether `code` is one of the interface's ErrorCode values; clients read nothing else.
bool isErrorCode(int32_t code) {
  return (code <= -1 && code >= -41) || (code <= -44 && code >= -85) || code == KM_ERROR_UNIMPLEMENTED ||
         code == KM_ERROR_VERSION_MISMATCH || code == KM_ERROR_UNKNOWN_ERROR;
}

}  // namespace

ScopedAStatus kmError2ScopedAStatus(int32_t code) {
  if (code == 0) return ScopedAStatus::ok();
  // The codec's decoder errors are positive and some channel codes lie outside the
  // interface's range: an unreadable answer is an unknown error to the client.
  if (!isErrorCode(code)) {
    ALOGE("code %d is no KeyMint error code: returned as %d", code, KM_ERROR_UNKNOWN_ERROR);
    code = KM_ERROR_UNKNOWN_ERROR;
  }
  return ScopedAStatus::fromServiceSpecificError(code);
}

namespace testing {
void resetConfigured() {
  std::lock_guard<std::mutex> g(gConfigureLock);
  gConfigured = false;
}
}  // namespace testing

AndroidKeyMintDevice::AndroidKeyMintDevice(SecurityLevel securityLevel)
    : impl_(std::make_shared<KeymasterHalDevice>(static_cast<keymaster_security_level_t>(securityLevel))),
      securityLevel_(securityLevel) {}

AndroidKeyMintDevice::~AndroidKeyMintDevice() = default;

ScopedAStatus AndroidKeyMintDevice::init() {
  if (gConfigured.load(std::memory_order_acquire)) return ScopedAStatus::ok();
  std::lock_guard<std::mutex> g(gConfigureLock);
  if (gConfigured.load(std::memory_order_relaxed)) return ScopedAStatus::ok();
  for (const char* key : {"ro.build.version.security_patch", "ro.vendor.build.security_patch",
                          "ro.build.version.release"}) {
    if (!::android::base::WaitForPropertyCreation(key, std::chrono::milliseconds::max())) {
      ALOGE("Android property not present");
      return km(KM_ERROR_UNKNOWN_ERROR);
    }
  }
  bool dateSupported = false;
  int rc = impl_->legacy_get_date_support(&dateSupported);
  if (rc != 0) {
    ALOGE("Failed to get date support");
    return km(rc);
  }
  const std::string osPatch = property("ro.build.version.security_patch");
  keymaster_key_param_t params[] = {
      uintParam(0x300002C1, GetOsVersion(property("ro.build.version.release"))),
      uintParam(0x300002C2,
                dateSupported ? GetPatchlevelWithDate(osPatch)
                              : GetPatchlevel(osPatch, false,
                                              "Platform patchlevel string does not match expected format.  "
                                              "Using patchlevel 0")),
      uintParam(0x300002CE, GetPatchlevelWithDate(property("ro.vendor.build.security_patch"))),
  };
  keymaster_key_param_set_t set{params, 3};
  rc = impl_->configure(&set);
  if (rc != 0) {
    ALOGE("Configure failed");
    return km(rc);
  }
  gConfigured.store(true, std::memory_order_release);
  return ScopedAStatus::ok();
}

ScopedAStatus AndroidKeyMintDevice::getHardwareInfo(KeyMintHardwareInfo* info) {
  if (info == nullptr) return km(KM_ERROR_OUTPUT_PARAMETER_NULL);
  const uint32_t version = impl_->get_keymaster_version();
  info->versionNumber = static_cast<int32_t>(version);
  info->securityLevel = securityLevel_;
  info->keyMintName = "Keymint HAL: " + std::to_string(version);
  info->keyMintAuthorName = "";
  info->timestampTokenRequired = false;
  return ScopedAStatus::ok();
}

ScopedAStatus AndroidKeyMintDevice::addRngEntropy(const std::vector<uint8_t>& data) {
  return km(data.size() > kMaxEntropy ? KM_ERROR_INVALID_INPUT_LENGTH : 0);
}

ScopedAStatus AndroidKeyMintDevice::generateKey(const std::vector<KeyParameter>& keyParams,
                                                const std::optional<AttestationKey>& attestationKey,
                                                KeyCreationResult* creationResult) {
  ScopedAStatus st = init();
  if (!st.isOk()) return st;
  if (creationResult == nullptr) return km(KM_ERROR_OUTPUT_PARAMETER_NULL);
  KmParamSet params(aidlKeyParams2Km(keyParams));
  Attestation attest(attestationKey);
  KmKeyBlob blob;
  KmCharacteristics chars;
  KmCertChain chain;
  int rc = impl_->keymint_generate_key(params.get(), &attest.blob, attest.params->get(), &attest.issuer, blob.get(),
                                       chars.get(), chain.get());
  if (rc != 0) return km(rc);
  fillCreationResult(*blob, *chars, *chain, creationResult);
  return ScopedAStatus::ok();
}

ScopedAStatus AndroidKeyMintDevice::importKey(const std::vector<KeyParameter>& keyParams, KeyFormat keyFormat,
                                              const std::vector<uint8_t>& keyData,
                                              const std::optional<AttestationKey>& attestationKey,
                                              KeyCreationResult* creationResult) {
  ScopedAStatus st = init();
  if (!st.isOk()) return st;
  if (creationResult == nullptr) return km(KM_ERROR_OUTPUT_PARAMETER_NULL);
  KmParamSet params(aidlKeyParams2Km(keyParams));
  Attestation attest(attestationKey);
  keymaster_blob_t data = aidlVec2KmBlob(keyData);
  KmKeyBlob blob;
  KmCharacteristics chars;
  KmCertChain chain;
  int rc = impl_->keymint_import_key(params.get(), static_cast<keymaster_key_format_t>(keyFormat), &data,
                                     &attest.blob, attest.params->get(), &attest.issuer, blob.get(), chars.get(),
                                     chain.get());
  if (rc != 0) return km(rc);
  fillCreationResult(*blob, *chars, *chain, creationResult);
  return ScopedAStatus::ok();
}

ScopedAStatus AndroidKeyMintDevice::importWrappedKey(const std::vector<uint8_t>& wrappedKeyData,
                                                     const std::vector<uint8_t>& wrappingKeyBlob,
                                                     const std::vector<uint8_t>& maskingKey,
                                                     const std::vector<KeyParameter>& unwrappingParams,
                                                     int64_t passwordSid, int64_t biometricSid,
                                                     KeyCreationResult* creationResult) {
  ScopedAStatus st = init();
  if (!st.isOk()) return st;
  if (creationResult == nullptr) return km(KM_ERROR_OUTPUT_PARAMETER_NULL);
  KmParamSet params(aidlKeyParams2Km(unwrappingParams));
  const std::vector<uint8_t> wrapped(wrappedKeyData), wrapping(wrappingKeyBlob), masking(maskingKey);
  keymaster_blob_t wrappedBlob = aidlVec2KmBlob(wrapped), maskingBlob = aidlVec2KmBlob(masking);
  keymaster_key_blob_t wrappingBlob = aidlVec2KmKeyBlob(wrapping);
  KmKeyBlob blob;
  KmCharacteristics chars;
  KmCertChain chain;
  int rc = impl_->keymint_import_wrapped_key(params.get(), static_cast<uint64_t>(passwordSid),
                                             static_cast<uint64_t>(biometricSid), &wrappedBlob, &wrappingBlob,
                                             &maskingBlob, blob.get(), chars.get(), chain.get());
  if (rc != 0) return km(rc);
  fillCreationResult(*blob, *chars, *chain, creationResult);
  return ScopedAStatus::ok();
}

ScopedAStatus AndroidKeyMintDevice::upgradeKey(const std::vector<uint8_t>& keyBlobToUpgrade,
                                               const std::vector<KeyParameter>& upgradeParams,
                                               std::vector<uint8_t>* keyBlob) {
  ScopedAStatus st = init();
  if (!st.isOk()) return st;
  if (keyBlob == nullptr) return km(KM_ERROR_OUTPUT_PARAMETER_NULL);
  KmParamSet params(aidlKeyParams2Km(upgradeParams));
  keymaster_key_blob_t in = aidlVec2KmKeyBlob(keyBlobToUpgrade);
  KmKeyBlob upgraded;
  int rc = impl_->upgrade_key(&in, params.get(), upgraded.get());
  if (rc != 0) return km(rc);
  std::vector<uint8_t> bytes = kmKeyBlob2AidlVec(*upgraded);
  keyBlob->insert(keyBlob->end(), bytes.begin(), bytes.end());
  return ScopedAStatus::ok();
}

ScopedAStatus AndroidKeyMintDevice::deleteKey(const std::vector<uint8_t>& keyBlob) {
  ScopedAStatus st = init();
  if (!st.isOk()) return st;
  keymaster_key_blob_t blob = aidlVec2KmKeyBlob(keyBlob);
  return km(impl_->delete_key(&blob));
}

ScopedAStatus AndroidKeyMintDevice::deleteAllKeys() {
  ScopedAStatus st = init();
  if (!st.isOk()) return st;
  return km(impl_->delete_all_keys());
}

ScopedAStatus AndroidKeyMintDevice::destroyAttestationIds() {
  ScopedAStatus st = init();
  if (!st.isOk()) return st;
  return km(impl_->destroy_device_ids());
}

ScopedAStatus AndroidKeyMintDevice::begin(KeyPurpose purpose, const std::vector<uint8_t>& keyBlob,
                                          const std::vector<KeyParameter>& params,
                                          const std::optional<HardwareAuthToken>& authToken, BeginResult* result) {
  ScopedAStatus st = init();
  if (!st.isOk()) return st;
  if (result == nullptr) return km(KM_ERROR_OUTPUT_PARAMETER_NULL);
  KmParamSet inParams(aidlKeyParams2Km(params));
  const std::vector<uint8_t> token = authToken2AidlVec(authToken);
  if (!token.empty() && !inParams.appendBytes(KM_TAG_AUTH_TOKEN, token)) {
    return km(KM_ERROR_MEMORY_ALLOCATION_FAILED);
  }
  keymaster_key_blob_t blob = aidlVec2KmKeyBlob(keyBlob);
  KmParamSet outParams;
  keymaster_operation_handle_t handle = 0;
  int rc = impl_->keymint_begin_operation(static_cast<keymaster_purpose_t>(purpose), &blob, inParams.get(),
                                          outParams.get(), &handle);
  if (rc != 0) return km(rc);
  result->challenge = static_cast<int64_t>(handle);
  result->params = kmParamSet2Aidl(*outParams);
  result->operation = ::ndk::SharedRefBase::make<AndroidKeyMintOperation>(impl_, handle);
  return ScopedAStatus::ok();
}

ScopedAStatus AndroidKeyMintDevice::deviceLocked(
    bool passwordOnly, const std::optional<::aidl::android::hardware::security::secureclock::TimeStampToken>&) {
  return km(impl_->set_device_locked(passwordOnly));
}

ScopedAStatus AndroidKeyMintDevice::earlyBootEnded() {
  // The channel delivers the notice at its next bring-up; recording it cannot fail in a way
  // the caller could act on.
  impl_->set_early_boot_ended();
  return ScopedAStatus::ok();
}

ScopedAStatus AndroidKeyMintDevice::convertStorageKeyToEphemeral(const std::vector<uint8_t>& storageKeyBlob,
                                                                 std::vector<uint8_t>* ephemeralKeyBlob) {
  ScopedAStatus st = init();
  if (!st.isOk()) return st;
  if (ephemeralKeyBlob == nullptr) return km(KM_ERROR_OUTPUT_PARAMETER_NULL);
  keymaster_key_blob_t blob = aidlVec2KmKeyBlob(storageKeyBlob);
  KmBlob ephemeral;
  int rc = impl_->keymint_convert_storage_key_to_ephemeral(&blob, ephemeral.get());
  if (rc != 0) return km(rc);
  *ephemeralKeyBlob = kmBlob2AidlVec(*ephemeral);
  return ScopedAStatus::ok();
}

ScopedAStatus AndroidKeyMintDevice::getKeyCharacteristics(const std::vector<uint8_t>& keyBlob,
                                                          const std::vector<uint8_t>& appId,
                                                          const std::vector<uint8_t>& appData,
                                                          std::vector<KeyCharacteristics>* keyCharacteristics) {
  ScopedAStatus st = init();
  if (!st.isOk()) return st;
  if (keyCharacteristics == nullptr) return km(KM_ERROR_OUTPUT_PARAMETER_NULL);
  keymaster_key_blob_t blob = aidlVec2KmKeyBlob(keyBlob);
  keymaster_blob_t id = aidlVec2KmBlob(appId), data = aidlVec2KmBlob(appData);
  KmCharacteristics chars;
  int rc = impl_->get_key_characteristics(&blob, appId.empty() ? nullptr : &id, appData.empty() ? nullptr : &data,
                                          chars.get());
  if (rc != 0) return km(rc);
  std::vector<KeyParameter> hw = kmParamSet2Aidl((*chars).hw_enforced);
  if (!hw.empty()) keyCharacteristics->push_back({securityLevel_, std::move(hw)});
  return ScopedAStatus::ok();
}

ScopedAStatus AndroidKeyMintDevice::getRootOfTrustChallenge(std::array<uint8_t, 16>*) {
  return km(KM_ERROR_UNIMPLEMENTED);
}
ScopedAStatus AndroidKeyMintDevice::getRootOfTrust(const std::array<uint8_t, 16>&, std::vector<uint8_t>*) {
  return km(KM_ERROR_UNIMPLEMENTED);
}
ScopedAStatus AndroidKeyMintDevice::sendRootOfTrust(const std::vector<uint8_t>&) {
  return km(KM_ERROR_UNIMPLEMENTED);
}
ScopedAStatus AndroidKeyMintDevice::performOperation(const std::vector<uint8_t>&, std::vector<uint8_t>*) {
  return km(KM_ERROR_UNIMPLEMENTED);
}

AndroidKeyMintDevice* CreateKeyMintDevice(SecurityLevel securityLevel) {
  return new AndroidKeyMintDevice(securityLevel);
}

std::shared_ptr<IKeyMintDevice> GetKeyMintDeviceService(SecurityLevel securityLevel) {
  if (securityLevel != SecurityLevel::STRONGBOX) {
    ALOGE("Unsupported security level %u", static_cast<uint32_t>(securityLevel));
    return nullptr;
  }
  static const char kInstance[] = "android.hardware.security.keymint.IKeyMintDevice/strongbox";
  ::ndk::SpAIBinder binder(AServiceManager_waitForService(kInstance));
  if (binder.get() == nullptr) {
    ALOGE("Failed to get binder to service %s", kInstance);
    return nullptr;
  }
  return IKeyMintDevice::fromBinder(binder);
}

}  // namespace aidl::android::hardware::security::keymint
