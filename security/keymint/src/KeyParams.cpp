// Parameter lists of the old key-blob layout, the flat parameter form and the tag names.
#define LOG_TAG "SecProcKeyMasterHalDevice"

#include <log/log.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "KeymasterHalDevice.h"

namespace keymasterdevice {

static_assert(sizeof(orvTeeParamsAuthorizationList) == 240);
static_assert(offsetof(orvTeeParamsAuthorizationList, purpose_count) == 20);
static_assert(offsetof(orvTeeParamsAuthorizationList, algorithm) == 25);
static_assert(offsetof(orvTeeParamsAuthorizationList, key_size) == 30);
static_assert(offsetof(orvTeeParamsAuthorizationList, block_mode) == 34);
static_assert(offsetof(orvTeeParamsAuthorizationList, digest) == 58);
static_assert(offsetof(orvTeeParamsAuthorizationList, padding) == 94);
static_assert(offsetof(orvTeeParamsAuthorizationList, caller_nonce) == 130);
static_assert(offsetof(orvTeeParamsAuthorizationList, ec_curve) == 137);
static_assert(offsetof(orvTeeParamsAuthorizationList, rsa_public_exponent) == 142);
static_assert(offsetof(orvTeeParamsAuthorizationList, blob_usage_requirements) == 152);
static_assert(offsetof(orvTeeParamsAuthorizationList, user_secure_id) == 167);
static_assert(offsetof(orvTeeParamsAuthorizationList, user_secure_id_count) == 207);
static_assert(offsetof(orvTeeParamsAuthorizationList, no_auth_required) == 211);
static_assert(offsetof(orvTeeParamsAuthorizationList, auth_timeout) == 218);
static_assert(offsetof(orvTeeParamsAuthorizationList, origin) == 225);
static_assert(offsetof(orvTeeParamsAuthorizationList, rollback_resistance) == 229);
static_assert(offsetof(orvTeeParamsAuthorizationList, os_version) == 231);
static_assert(offsetof(orvTeeParamsAuthorizationList, os_patchlevel) == 236);
static_assert(sizeof(orvTeeParams2AuthorizationList) == 16);
static_assert(offsetof(orvTeeParams2AuthorizationList, vendor_patchlevel) == 6);
static_assert(offsetof(orvTeeParams2AuthorizationList, vendor_patchlevel_set) == 10);
static_assert(offsetof(orvTeeParams2AuthorizationList, boot_patchlevel) == 11);
static_assert(offsetof(orvTeeParams2AuthorizationList, boot_patchlevel_set) == 15);
static_assert(sizeof(orvSwParamsAuthorizationList) == 42);
static_assert(offsetof(orvSwParamsAuthorizationList, active_datetime) == 1);
static_assert(offsetof(orvSwParamsAuthorizationList, origination_expire_datetime) == 10);
static_assert(offsetof(orvSwParamsAuthorizationList, usage_expire_datetime) == 19);
static_assert(offsetof(orvSwParamsAuthorizationList, user_id) == 28);
static_assert(offsetof(orvSwParamsAuthorizationList, allow_while_on_body) == 32);
static_assert(offsetof(orvSwParamsAuthorizationList, creation_datetime) == 34);
static_assert(kOldBlobHwListOffset + sizeof(orvTeeParamsAuthorizationList) + 5 == kOldBlobSwCountOffset);
static_assert(kOldBlobSwListOffset + sizeof(orvSwParamsAuthorizationList) == kOldBlobHw2Offset);

const TagName tag_string[42] = {
    {KM_TAG_INVALID, "KM_TAG_INVALID"},
    {KM_TAG_PURPOSE, "KM_TAG_PURPOSE"},
    {KM_TAG_ALGORITHM, "KM_TAG_ALGORITHM"},
    {KM_TAG_KEY_SIZE, "KM_TAG_KEY_SIZE"},
    {KM_TAG_BLOCK_MODE, "KM_TAG_BLOCK_MODE"},
    {KM_TAG_DIGEST, "KM_TAG_DIGEST"},
    {KM_TAG_PADDING, "KM_TAG_PADDING"},
    {KM_TAG_CALLER_NONCE, "KM_TAG_CALLER_NONCE"},
    {KM_TAG_MIN_MAC_LENGTH, "KM_TAG_MIN_MAC_LENGTH"},
    {KM_TAG_KDF, "KM_TAG_KDF"},
    {KM_TAG_EC_CURVE, "KM_TAG_EC_CURVE"},
    {KM_TAG_RSA_PUBLIC_EXPONENT, "KM_TAG_RSA_PUBLIC_EXPONENT"},
    {KM_TAG_INCLUDE_UNIQUE_ID, "KM_TAG_INCLUDE_UNIQUE_ID"},
    {KM_TAG_BLOB_USAGE_REQUIREMENTS, "KM_TAG_BLOB_USAGE_REQUIREMENTS"},
    {KM_TAG_ACTIVE_DATETIME, "KM_TAG_ACTIVE_DATETIME"},
    {KM_TAG_ORIGINATION_EXPIRE_DATETIME, "KM_TAG_ORIGINATION_EXPIRE_DATETIME"},
    {KM_TAG_USAGE_EXPIRE_DATETIME, "KM_TAG_USAGE_EXPIRE_DATETIME"},
    {KM_TAG_MIN_SECONDS_BETWEEN_OPS, "KM_TAG_MIN_SECONDS_BETWEEN_OPS"},
    {KM_TAG_MAX_USES_PER_BOOT, "KM_TAG_MAX_USES_PER_BOOT"},
    {KM_TAG_ALL_USERS, "KM_TAG_ALL_USERS"},
    {KM_TAG_USER_ID, "KM_TAG_USER_ID"},
    {KM_TAG_USER_SECURE_ID, "KM_TAG_USER_SECURE_ID"},
    {KM_TAG_NO_AUTH_REQUIRED, "KM_TAG_NO_AUTH_REQUIRED"},
    {KM_TAG_USER_AUTH_TYPE, "KM_TAG_USER_AUTH_TYPE"},
    {KM_TAG_AUTH_TIMEOUT, "KM_TAG_AUTH_TIMEOUT"},
    {KM_TAG_ALLOW_WHILE_ON_BODY, "KM_TAG_ALLOW_WHILE_ON_BODY"},
    {KM_TAG_ALL_APPLICATIONS, "KM_TAG_ALL_APPLICATIONS"},
    {KM_TAG_APPLICATION_ID, "KM_TAG_APPLICATION_ID"},
    {KM_TAG_APPLICATION_DATA, "KM_TAG_APPLICATION_DATA"},
    {KM_TAG_CREATION_DATETIME, "KM_TAG_CREATION_DATETIME"},
    {KM_TAG_ORIGIN, "KM_TAG_ORIGIN"},
    {KM_TAG_ROLLBACK_RESISTANT, "KM_TAG_ROLLBACK_RESISTANT"},
    {KM_TAG_ROOT_OF_TRUST, "KM_TAG_ROOT_OF_TRUST"},
    {KM_TAG_OS_VERSION, "KM_TAG_OS_VERSION"},
    {KM_TAG_OS_PATCHLEVEL, "KM_TAG_OS_PATCHLEVEL"},
    {KM_TAG_UNIQUE_ID, "KM_TAG_UNIQUE_ID"},
    {KM_TAG_ATTESTATION_CHALLENGE, "KM_TAG_ATTESTATION_CHALLENGE"},
    {KM_TAG_ASSOCIATED_DATA, "KM_TAG_ASSOCIATED_DATA"},
    {KM_TAG_NONCE, "KM_TAG_NONCE"},
    {KM_TAG_AUTH_TOKEN, "KM_TAG_AUTH_TOKEN"},
    {KM_TAG_MAC_LENGTH, "KM_TAG_MAC_LENGTH"},
    {KM_TAG_RESET_SINCE_ID_ROTATION, "KM_TAG_RESET_SINCE_ID_ROTATION"},
};

const char* KeymasterHalDevice::TagToString(keymaster_tag_t tag) {
  for (const TagName& t : tag_string) {
    if (t.tag == static_cast<uint32_t>(tag)) return t.name;
  }
  return nullptr;
}

namespace {

// Appends parameters to an array of exactly `count` entries; refuses to go beyond it.
class ParamList {
 public:
  explicit ParamList(size_t count) : count_(count) {}
  bool allocate() {
    params_ = static_cast<keymaster_key_param_t*>(std::calloc(count_ != 0 ? count_ : 1, sizeof(keymaster_key_param_t)));
    return params_ != nullptr;
  }
  void u32(keymaster_tag_t tag, uint32_t v) {
    if (auto* p = next(tag)) p->integer = v;
  }
  void u64(keymaster_tag_t tag, uint64_t v) {
    if (auto* p = next(tag)) p->long_integer = v;
  }
  void flag(keymaster_tag_t tag) {
    if (auto* p = next(tag)) p->boolean = true;
  }
  size_t produced() const { return produced_; }
  keymaster_key_param_t* release() {
    keymaster_key_param_t* p = params_;
    params_ = nullptr;
    return p;
  }
  ~ParamList() { std::free(params_); }

 private:
  keymaster_key_param_t* next(keymaster_tag_t tag) {
    size_t k = produced_++;
    if (k >= count_) return nullptr;  // counted, never stored
    params_[k].tag = tag;
    return &params_[k];
  }
  size_t count_;
  size_t produced_ = 0;
  keymaster_key_param_t* params_ = nullptr;
};

template <typename T>
T readPacked(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

// The most parameters each list can produce: its groups full and every field present.
constexpr size_t kMaxTeeParams = 5 + 5 + 8 + 8 + 5 + 20 + 5;
constexpr size_t kMaxSwParams = 7;

int KeymasterHalDevice::parseTeeParams(const orvTeeParamsAuthorizationList* list,
                                       const orvTeeParams2AuthorizationList* list2, size_t count,
                                       keymaster_key_characteristics_t* out) {
  // A stored count no list can reach is refused before anything is allocated for it.
  if (count > kMaxTeeParams) {
    ALOGE("teeparams mismatch");
    ALOGE("teeParamsCount: %zu", count);
    return KM_ERROR_INVALID_ARGUMENT;
  }
  // Copies, so that the packed fields are read without unaligned references.
  orvTeeParamsAuthorizationList l;
  std::memcpy(&l, list, sizeof l);
  if (l.purpose_count > 5 || l.block_mode_count > 5 || l.digest_count > 8 || l.padding_count > 8 ||
      l.user_secure_id_count > 5) {
    ALOGE("teeparams group count beyond its array");
    return KM_ERROR_INVALID_KEY_BLOB;
  }
  ParamList p(count);
  if (!p.allocate()) {
    ALOGE("hw_enforced allocation failed: %zu", count);
    return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  }
  for (uint32_t k = 0; k < l.purpose_count; k++) p.u32(KM_TAG_PURPOSE, l.purpose[k]);
  for (uint32_t k = 0; k < l.block_mode_count; k++) p.u32(KM_TAG_BLOCK_MODE, l.block_mode[k]);
  for (uint32_t k = 0; k < l.digest_count; k++) p.u32(KM_TAG_DIGEST, l.digest[k]);
  for (uint32_t k = 0; k < l.padding_count; k++) p.u32(KM_TAG_PADDING, l.padding[k]);
  for (uint32_t k = 0; k < l.user_secure_id_count; k++) p.u64(KM_TAG_USER_SECURE_ID, l.user_secure_id[k]);
  if (l.algorithm_set) p.u32(KM_TAG_ALGORITHM, l.algorithm);
  if (l.key_size_set) p.u32(KM_TAG_KEY_SIZE, l.key_size);
  if (l.caller_nonce) p.flag(KM_TAG_CALLER_NONCE);
  if (l.min_mac_length_set) p.u32(KM_TAG_MIN_MAC_LENGTH, l.min_mac_length);
  if (l.ec_curve_set) p.u32(KM_TAG_EC_CURVE, l.ec_curve);
  if (l.rsa_public_exponent_set) p.u64(KM_TAG_RSA_PUBLIC_EXPONENT, l.rsa_public_exponent);
  if (l.include_unique_id) p.flag(KM_TAG_INCLUDE_UNIQUE_ID);
  if (l.blob_usage_requirements_set) p.u32(KM_TAG_BLOB_USAGE_REQUIREMENTS, l.blob_usage_requirements);
  if (l.min_seconds_between_ops_set) p.u32(KM_TAG_MIN_SECONDS_BETWEEN_OPS, l.min_seconds_between_ops);
  if (l.max_uses_per_boot_set) p.u32(KM_TAG_MAX_USES_PER_BOOT, l.max_uses_per_boot);
  if (l.all_users) p.flag(KM_TAG_ALL_USERS);
  if (l.no_auth_required) p.flag(KM_TAG_NO_AUTH_REQUIRED);
  if (l.user_auth_type_set) p.u32(KM_TAG_USER_AUTH_TYPE, l.user_auth_type);
  if (l.auth_timeout_set) p.u32(KM_TAG_AUTH_TIMEOUT, list2 != nullptr ? l.auth_timeout : l.auth_timeout / 1000);
  if (l.all_applications) p.flag(KM_TAG_ALL_APPLICATIONS);
  if (l.exportable) p.flag(KM_TAG_EXPORTABLE);
  if (l.origin_set) p.u32(KM_TAG_ORIGIN, l.origin);
  if (l.rollback_resistance) p.flag(list2 != nullptr ? KM_TAG_ROLLBACK_RESISTANCE : KM_TAG_ROLLBACK_RESISTANT);
  if (l.os_version_set) p.u32(KM_TAG_OS_VERSION, l.os_version);
  if (l.os_patchlevel_set) p.u32(KM_TAG_OS_PATCHLEVEL, l.os_patchlevel);
  if (list2 != nullptr) {
    orvTeeParams2AuthorizationList l2;
    std::memcpy(&l2, list2, sizeof l2);
    if (l2.boot_patchlevel_set) p.u32(KM_TAG_BOOT_PATCHLEVEL, l2.boot_patchlevel);
    if (l2.vendor_patchlevel_set) p.u32(KM_TAG_VENDOR_PATCHLEVEL, l2.vendor_patchlevel);
    p.u32(static_cast<keymaster_tag_t>(0x10000130), l2.hardware_type);
    if (l2.trusted_user_presence_required) p.flag(KM_TAG_TRUSTED_USER_PRESENCE_REQUIRED);
    if (l2.trusted_confirmation_required) p.flag(KM_TAG_TRUSTED_CONFIRMATION_REQUIRED);
  }
  if (p.produced() != count) {
    ALOGE("teeparams mismatch");
    ALOGE("teeParamsCount: %zu", count);
    ALOGE("teeParamsCountTemp: %zu", p.produced());
    return KM_ERROR_INVALID_ARGUMENT;
  }
  out->hw_enforced.params = p.release();
  out->hw_enforced.length = count;
  return 0;
}

int KeymasterHalDevice::parseSwParams(const orvSwParamsAuthorizationList* list,
                                      const orvSwParams2AuthorizationList* list2, size_t count,
                                      keymaster_key_characteristics_t* out) {
  if (count > kMaxSwParams) {
    ALOGE("swParamsCount mismatch");
    ALOGE("swParamsCount: %zu", count);
    return KM_ERROR_INVALID_ARGUMENT;
  }
  orvSwParamsAuthorizationList l;
  std::memcpy(&l, list, sizeof l);
  ParamList p(count);
  if (!p.allocate()) {
    ALOGE("hw_enforced allocation failed: %zu", count);
    return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  }
  if (l.active_datetime_set) p.u64(KM_TAG_ACTIVE_DATETIME, l.active_datetime);
  if (l.origination_expire_datetime_set) p.u64(KM_TAG_ORIGINATION_EXPIRE_DATETIME, l.origination_expire_datetime);
  if (l.usage_expire_datetime_set) p.u64(KM_TAG_USAGE_EXPIRE_DATETIME, l.usage_expire_datetime);
  if (l.user_id_set) p.u32(KM_TAG_USER_ID, l.user_id);
  if (l.allow_while_on_body) p.flag(KM_TAG_ALLOW_WHILE_ON_BODY);
  if (list2 != nullptr && list2->unlocked_device_required) p.flag(KM_TAG_UNLOCKED_DEVICE_REQUIRED);
  if (l.creation_datetime_set) p.u64(KM_TAG_CREATION_DATETIME, l.creation_datetime);
  if (p.produced() != count) {
    ALOGE("swParamsCount mismatch");
    ALOGE("swParamsCount: %zu", count);
    ALOGE("swParamsCountTemp: %zu", p.produced());
    return KM_ERROR_INVALID_ARGUMENT;
  }
  out->sw_enforced.params = p.release();
  out->sw_enforced.length = count;
  return 0;
}

int KeymasterHalDevice::getCharacteristicsLegacy(const uint8_t* blob, size_t length,
                                                 keymaster_key_characteristics_t* out) {
  if (out == nullptr) return 0;
  // Every offset read below must lie inside the blob.
  if (blob == nullptr || length < kOldBlobMinSize) return KM_ERROR_INVALID_KEY_BLOB;
  const bool newer = readPacked<uint64_t>(blob + kOldBlobVersionOffset) > kOldBlobNewerVersion;
  if (newer && length < kOldBlobMinSizeNewer) return KM_ERROR_INVALID_KEY_BLOB;
  const auto* hw = reinterpret_cast<const orvTeeParamsAuthorizationList*>(blob + kOldBlobHwListOffset);
  const auto* sw = reinterpret_cast<const orvSwParamsAuthorizationList*>(blob + kOldBlobSwListOffset);
  const auto* hw2 = newer ? reinterpret_cast<const orvTeeParams2AuthorizationList*>(blob + kOldBlobHw2Offset) : nullptr;
  const auto* sw2 = newer ? reinterpret_cast<const orvSwParams2AuthorizationList*>(blob + kOldBlobSw2Offset) : nullptr;
  keymaster_key_characteristics_t got{};
  int rc = parseTeeParams(hw, hw2, readPacked<uint32_t>(blob + kOldBlobHwCountOffset), &got);
  if (rc != 0) return rc;
  rc = parseSwParams(sw, sw2, readPacked<uint32_t>(blob + kOldBlobSwCountOffset), &got);
  if (rc != 0) {
    keymaster_free_param_set(&got.hw_enforced);
    return rc;
  }
  *out = got;
  return 0;
}

int KeymasterHalDevice::params_serialize(KeymasterBuffer& buf, const keymaster_key_param_t* params, size_t count) {
  int rc = buf.set_indirect_buf(count * 12);
  if (rc != 0) return rc;
  for (size_t k = 0; k < count; k++) {
    uint8_t entry[12] = {};
    const keymaster_key_param_t& p = params[k];
    std::memcpy(entry, &p.tag, 4);
    switch (static_cast<uint32_t>(p.tag) >> 28) {
      case 1:
      case 2:
      case 3:
      case 4:
        std::memcpy(entry + 4, &p.integer, 4);
        break;
      case 5:
      case 6:
      case 10:
        std::memcpy(entry + 4, &p.long_integer, 8);
        break;
      case 7:
        entry[4] = p.boolean ? 1 : 0;
        break;
      case 8:
      case 9: {
        auto offset = static_cast<uint32_t>(buf.get_offset() - k * 12 + buf.get_indirect_buf_offset_from_main());
        auto len = static_cast<uint32_t>(p.blob.data_length);
        std::memcpy(entry + 4, &offset, 4);
        std::memcpy(entry + 8, &len, 4);
        rc = buf.append_to_indirect_buf(p.blob.data, p.blob.data_length);
        if (rc != 0) return rc;
        break;
      }
      case 0:
        return KM_ERROR_INVALID_TAG;
      default:
        break;
    }
    rc = buf.append_to_buf(entry, sizeof entry);
    if (rc != 0) return rc;
  }
  buf.reset_indirect_buf();
  return 0;
}

}  // namespace keymasterdevice
