#pragma once
// The platform's legacy KeyMaster C definitions that this system's secure-processor code
// uses: tags, enums, error codes and the parameter, blob and characteristics records, with
// the header's inline helpers.
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
  KM_INVALID = 0 << 28,
  KM_ENUM = 1 << 28,
  KM_ENUM_REP = 2 << 28,
  KM_UINT = 3 << 28,
  KM_UINT_REP = 4 << 28,
  KM_ULONG = 5 << 28,
  KM_DATE = 6 << 28,
  KM_BOOL = 7 << 28,
  KM_BIGNUM = 8u << 28,
  KM_BYTES = 9u << 28,
  KM_ULONG_REP = 10u << 28,
} keymaster_tag_type_t;

typedef enum {
  KM_TAG_INVALID = KM_INVALID | 0,
  KM_TAG_PURPOSE = KM_ENUM_REP | 1,
  KM_TAG_ALGORITHM = KM_ENUM | 2,
  KM_TAG_KEY_SIZE = KM_UINT | 3,
  KM_TAG_BLOCK_MODE = KM_ENUM_REP | 4,
  KM_TAG_DIGEST = KM_ENUM_REP | 5,
  KM_TAG_PADDING = KM_ENUM_REP | 6,
  KM_TAG_CALLER_NONCE = KM_BOOL | 7,
  KM_TAG_MIN_MAC_LENGTH = KM_UINT | 8,
  KM_TAG_KDF = KM_ENUM_REP | 9,
  KM_TAG_EC_CURVE = KM_ENUM | 10,
  KM_TAG_RSA_PUBLIC_EXPONENT = KM_ULONG | 200,
  KM_TAG_ECIES_SINGLE_HASH_MODE = KM_BOOL | 201,
  KM_TAG_INCLUDE_UNIQUE_ID = KM_BOOL | 202,
  KM_TAG_RSA_OAEP_MGF_DIGEST = KM_ENUM_REP | 203,
  KM_TAG_BLOB_USAGE_REQUIREMENTS = KM_ENUM | 301,
  KM_TAG_BOOTLOADER_ONLY = KM_BOOL | 302,
  KM_TAG_ROLLBACK_RESISTANCE = KM_BOOL | 303,
  KM_TAG_EARLY_BOOT_ONLY = KM_BOOL | 305,
  KM_TAG_ACTIVE_DATETIME = KM_DATE | 400,
  KM_TAG_ORIGINATION_EXPIRE_DATETIME = KM_DATE | 401,
  KM_TAG_USAGE_EXPIRE_DATETIME = KM_DATE | 402,
  KM_TAG_MIN_SECONDS_BETWEEN_OPS = KM_UINT | 403,
  KM_TAG_MAX_USES_PER_BOOT = KM_UINT | 404,
  KM_TAG_USAGE_COUNT_LIMIT = KM_UINT | 405,
  KM_TAG_ALL_USERS = KM_BOOL | 500,
  KM_TAG_USER_ID = KM_UINT | 501,
  KM_TAG_USER_SECURE_ID = KM_ULONG_REP | 502,
  KM_TAG_NO_AUTH_REQUIRED = KM_BOOL | 503,
  KM_TAG_USER_AUTH_TYPE = KM_ENUM | 504,
  KM_TAG_AUTH_TIMEOUT = KM_UINT | 505,
  KM_TAG_ALLOW_WHILE_ON_BODY = KM_BOOL | 506,
  KM_TAG_TRUSTED_USER_PRESENCE_REQUIRED = KM_BOOL | 507,
  KM_TAG_TRUSTED_CONFIRMATION_REQUIRED = KM_BOOL | 508,
  KM_TAG_UNLOCKED_DEVICE_REQUIRED = KM_BOOL | 509,
  KM_TAG_ALL_APPLICATIONS = KM_BOOL | 600,
  KM_TAG_APPLICATION_ID = KM_BYTES | 601,
  KM_TAG_EXPORTABLE = KM_BOOL | 602,
  KM_TAG_APPLICATION_DATA = KM_BYTES | 700,
  KM_TAG_CREATION_DATETIME = KM_DATE | 701,
  KM_TAG_ORIGIN = KM_ENUM | 702,
  KM_TAG_ROLLBACK_RESISTANT = KM_BOOL | 703,
  KM_TAG_ROOT_OF_TRUST = KM_BYTES | 704,
  KM_TAG_OS_VERSION = KM_UINT | 705,
  KM_TAG_OS_PATCHLEVEL = KM_UINT | 706,
  KM_TAG_UNIQUE_ID = KM_BYTES | 707,
  KM_TAG_ATTESTATION_CHALLENGE = KM_BYTES | 708,
  KM_TAG_ATTESTATION_APPLICATION_ID = KM_BYTES | 709,
  KM_TAG_ATTESTATION_ID_BRAND = KM_BYTES | 710,
  KM_TAG_ATTESTATION_ID_DEVICE = KM_BYTES | 711,
  KM_TAG_ATTESTATION_ID_PRODUCT = KM_BYTES | 712,
  KM_TAG_ATTESTATION_ID_SERIAL = KM_BYTES | 713,
  KM_TAG_ATTESTATION_ID_IMEI = KM_BYTES | 714,
  KM_TAG_ATTESTATION_ID_MEID = KM_BYTES | 715,
  KM_TAG_ATTESTATION_ID_MANUFACTURER = KM_BYTES | 716,
  KM_TAG_ATTESTATION_ID_MODEL = KM_BYTES | 717,
  KM_TAG_VENDOR_PATCHLEVEL = KM_UINT | 718,
  KM_TAG_BOOT_PATCHLEVEL = KM_UINT | 719,
  KM_TAG_DEVICE_UNIQUE_ATTESTATION = KM_BOOL | 720,
  KM_TAG_IDENTITY_CREDENTIAL_KEY = KM_BOOL | 721,
  KM_TAG_STORAGE_KEY = KM_BOOL | 722,
  KM_TAG_ATTESTATION_ID_SECOND_IMEI = KM_BYTES | 723,
  KM_TAG_ASSOCIATED_DATA = KM_BYTES | 1000,
  KM_TAG_NONCE = KM_BYTES | 1001,
  KM_TAG_AUTH_TOKEN = KM_BYTES | 1002,
  KM_TAG_MAC_LENGTH = KM_UINT | 1003,
  KM_TAG_RESET_SINCE_ID_ROTATION = KM_BOOL | 1004,
  KM_TAG_CONFIRMATION_TOKEN = KM_BYTES | 1005,
  KM_TAG_CERTIFICATE_SERIAL = KM_BIGNUM | 1006,
  KM_TAG_CERTIFICATE_SUBJECT = KM_BYTES | 1007,
  KM_TAG_CERTIFICATE_NOT_BEFORE = KM_DATE | 1008,
  KM_TAG_CERTIFICATE_NOT_AFTER = KM_DATE | 1009,
  KM_TAG_MAX_BOOT_LEVEL = KM_UINT | 1010,
} keymaster_tag_t;

static inline keymaster_tag_type_t keymaster_tag_get_type(keymaster_tag_t tag) {
  return (keymaster_tag_type_t)(tag & (0xFu << 28));
}

typedef enum {
  KM_ALGORITHM_RSA = 1,
  KM_ALGORITHM_EC = 3,
  KM_ALGORITHM_AES = 32,
  KM_ALGORITHM_TRIPLE_DES = 33,
  KM_ALGORITHM_HMAC = 128,
} keymaster_algorithm_t;

typedef enum {
  KM_MODE_ECB = 1,
  KM_MODE_CBC = 2,
  KM_MODE_CTR = 3,
  KM_MODE_GCM = 32,
} keymaster_block_mode_t;

typedef enum {
  KM_PAD_NONE = 1,
  KM_PAD_RSA_OAEP = 2,
  KM_PAD_RSA_PSS = 3,
  KM_PAD_RSA_PKCS1_1_5_ENCRYPT = 4,
  KM_PAD_RSA_PKCS1_1_5_SIGN = 5,
  KM_PAD_PKCS7 = 64,
} keymaster_padding_t;

typedef enum {
  KM_DIGEST_NONE = 0,
  KM_DIGEST_MD5 = 1,
  KM_DIGEST_SHA1 = 2,
  KM_DIGEST_SHA_2_224 = 3,
  KM_DIGEST_SHA_2_256 = 4,
  KM_DIGEST_SHA_2_384 = 5,
  KM_DIGEST_SHA_2_512 = 6,
} keymaster_digest_t;

typedef enum {
  KM_ORIGIN_GENERATED = 0,
  KM_ORIGIN_DERIVED = 1,
  KM_ORIGIN_IMPORTED = 2,
  KM_ORIGIN_UNKNOWN = 3,
} keymaster_key_origin_t;

typedef enum {
  KM_EC_CURVE_P_224 = 0,
  KM_EC_CURVE_P_256 = 1,
  KM_EC_CURVE_P_384 = 2,
  KM_EC_CURVE_P_521 = 3,
  KM_EC_CURVE_CURVE_25519 = 4,
} keymaster_ec_curve_t;

typedef enum {
  KM_PURPOSE_ENCRYPT = 0,
  KM_PURPOSE_DECRYPT = 1,
  KM_PURPOSE_SIGN = 2,
  KM_PURPOSE_VERIFY = 3,
  KM_PURPOSE_DERIVE_KEY = 4,
  KM_PURPOSE_WRAP = 5,
  KM_PURPOSE_AGREE_KEY = 6,
  KM_PURPOSE_ATTEST_KEY = 7,
} keymaster_purpose_t;

typedef enum {
  KM_SECURITY_LEVEL_SOFTWARE = 0,
  KM_SECURITY_LEVEL_TRUSTED_ENVIRONMENT = 1,
  KM_SECURITY_LEVEL_STRONGBOX = 2,
} keymaster_security_level_t;

typedef enum {
  KM_KEY_FORMAT_X509 = 0,
  KM_KEY_FORMAT_PKCS8 = 1,
  KM_KEY_FORMAT_RAW = 3,
} keymaster_key_format_t;

typedef enum {
  KM_VERIFIED_BOOT_VERIFIED = 0,
  KM_VERIFIED_BOOT_SELF_SIGNED = 1,
  KM_VERIFIED_BOOT_UNVERIFIED = 2,
  KM_VERIFIED_BOOT_FAILED = 3,
} keymaster_verified_boot_t;

typedef uint64_t keymaster_operation_handle_t;

typedef enum {
  KM_ERROR_OK = 0,
  KM_ERROR_UNSUPPORTED_PURPOSE = -2,
  KM_ERROR_INVALID_INPUT_LENGTH = -21,
  KM_ERROR_OUTPUT_PARAMETER_NULL = -27,
  KM_ERROR_INVALID_OPERATION_HANDLE = -28,
  KM_ERROR_UNEXPECTED_NULL_POINTER = -32,
  KM_ERROR_INVALID_KEY_BLOB = -33,
  KM_ERROR_INVALID_ARGUMENT = -38,
  KM_ERROR_UNSUPPORTED_TAG = -39,
  KM_ERROR_INVALID_TAG = -40,
  KM_ERROR_MEMORY_ALLOCATION_FAILED = -41,
  KM_ERROR_SECURE_HW_ACCESS_DENIED = -45,
  KM_ERROR_SECURE_HW_COMMUNICATION_FAILED = -49,
  KM_ERROR_UNIMPLEMENTED = -100,
  KM_ERROR_VERSION_MISMATCH = -101,
  KM_ERROR_UNKNOWN_ERROR = -1000,
} keymaster_error_t;

typedef struct {
  const uint8_t* data;
  size_t data_length;
} keymaster_blob_t;

typedef struct {
  const uint8_t* key_material;
  size_t key_material_size;
} keymaster_key_blob_t;

typedef struct {
  keymaster_tag_t tag;
  union {
    uint32_t enumerated;
    bool boolean;
    uint32_t integer;
    uint64_t long_integer;
    uint64_t date_time;
    keymaster_blob_t blob;
  };
} keymaster_key_param_t;

typedef struct {
  keymaster_key_param_t* params;
  size_t length;
} keymaster_key_param_set_t;

typedef struct {
  keymaster_key_param_set_t hw_enforced;
  keymaster_key_param_set_t sw_enforced;
} keymaster_key_characteristics_t;

typedef struct {
  keymaster_blob_t* entries;
  size_t entry_count;
} keymaster_cert_chain_t;

static inline void keymaster_free_param_values(keymaster_key_param_t* param, size_t count) {
  while (count-- > 0) {
    keymaster_tag_type_t t = keymaster_tag_get_type(param->tag);
    if (t == KM_BIGNUM || t == KM_BYTES) {
      free((void*)param->blob.data);
      param->blob.data = NULL;
    }
    ++param;
  }
}

static inline void keymaster_free_param_set(keymaster_key_param_set_t* set) {
  if (set) {
    keymaster_free_param_values(set->params, set->length);
    free(set->params);
    set->params = NULL;
    set->length = 0;
  }
}

static inline void keymaster_free_characteristics(keymaster_key_characteristics_t* c) {
  if (c) {
    keymaster_free_param_set(&c->hw_enforced);
    keymaster_free_param_set(&c->sw_enforced);
  }
}

static inline void keymaster_free_cert_chain(keymaster_cert_chain_t* chain) {
  if (chain) {
    for (size_t i = 0; i < chain->entry_count; ++i) {
      free((uint8_t*)chain->entries[i].data);
      chain->entries[i].data = NULL;
      chain->entries[i].data_length = 0;
    }
    free(chain->entries);
    chain->entries = NULL;
    chain->entry_count = 0;
  }
}

#ifdef __cplusplus
}
#endif
