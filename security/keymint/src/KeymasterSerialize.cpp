#include "KeymasterSerialize.h"

#include <cbor/cbor.h>
#include <keymaster/android_keymaster_messages.h>
#include <log/log.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace keymasterdevice {

namespace {

using vcbor::Decoder;
using vcbor::Encoder;
using vcbor::Item;

// Labels of the message maps.
enum Label : int64_t {
  kChallengeBytes = 4,
  kPasswordSid = 12,
  kBiometricSid = 13,
  kParamCount = 22,
  kKeyBlob = 23,
  kKeyFormat = 24,
  kKeyMaterial = 25,
  kWrappingKey = 26,
  kWrappedKeyData = 27,
  kMaskingKey = 28,
  kClientId = 29,
  kAppData = 30,
  kCertCount = 32,
  kCert = 33,
  kOpHandle = 34,
  kInput = 35,
  kOutput = 36,
  kConsumed = 37,
  kSignature = 38,
  kValidityStart = 39,
  kValidityEnd = 40,
  kSeed = 41,
  kNonce = 42,
  kSharingParams = 43,
  kSharingCheck = 44,
  kDestroyIds = 45,
  kDeviceLocked = 46,
  kChallenge = 47,
  kTimestamp = 48,
  kSecurityLevel = 49,
  kMac = 50,
  kAttestGroup = 51,
  kNotBefore = 52,
  kNotAfter = 53,
  kIssuerSubject = 54,
  kTestMode = 55,
  kPublicKeys = 56,
  kCsrKeys = 57,
  kEekChain = 58,
  kDeviceInfo = 59,
  kProtectedData = 60,
  kCsrV2 = 61,
};

constexpr size_t kMaxUpdateInput = 8192;
constexpr uint8_t kTypeZeroTagError = 255;

void logRet(const char* fn, int rc) {
  ALOGE("%s", fn);
  ALOGE("ret: %d", rc);
}

uint32_t tagType(uint32_t tag) { return tag >> 28; }

bool given(const keymaster_blob_t* b) { return b != nullptr && b->data != nullptr && b->data_length != 0; }

UsefulBufC buf(const uint8_t* p, size_t n) { return UsefulBufC{p, n}; }
UsefulBufC buf(const keymaster_blob_t* b) { return b != nullptr ? buf(b->data, b->data_length) : buf(nullptr, 0); }
UsefulBufC buf(const keymaster_key_blob_t* b) {
  return b != nullptr ? buf(b->key_material, b->key_material_size) : buf(nullptr, 0);
}

// Starts a request in the output room and opens its top map.
struct Request {
  Request(keymaster_blob_t* out, const char* fn) : out(out), fn(fn) {
    enc.init(const_cast<uint8_t*>(out->data), out->data_length);
    enc.openMap();
  }
  int done() {
    enc.closeMap();
    size_t len = 0;
    uint8_t err = enc.finish(&len);
    if (err != vcbor::kSuccess) {
      ALOGE("CBOR_ERROR | %s returned with error: %d", fn, err);
      return KM_ERROR_INVALID_INPUT_LENGTH;
    }
    out->data_length = len;
    return 0;
  }
  Encoder enc;
  keymaster_blob_t* out;
  const char* fn;
};

void writeParams(Encoder& enc, const keymaster_key_param_set_t* params) {
  size_t n = params != nullptr && params->params != nullptr ? params->length : 0;
  enc.addUInt64ToMapN(kParamCount, n);
  for (size_t k = 0; k < n; k++) KeymasterSerialize::addParams(params->params[k], enc);
}

void writeDate(Encoder& enc, int64_t label, const tztm& t) {
  enc.openArrayInMapN(label);
  for (int32_t v : {t.tm_sec, t.tm_min, t.tm_hour, t.tm_mday, t.tm_mon, t.tm_year, t.tm_wday, t.tm_yday, t.tm_isdst}) {
    enc.addInt64(v);
  }
  enc.closeArray();
}

bool hasParams(const keymaster_key_param_set_t* p) { return p != nullptr && p->params != nullptr && p->length != 0; }

bool isInteger(const Item& it) { return it.type == vcbor::kTypeInt64 || it.type == vcbor::kTypeUint64; }

bool labelIs(const Item& it, int64_t label) {
  return (it.labelType == vcbor::kTypeInt64 || it.labelType == vcbor::kTypeUint64) &&
         it.label.i64 == label;
}

// A response body: one map whose entries are read strictly in order.
class Response {
 public:
  explicit Response(const keymaster_blob_t& body) : dec_(body.data, body.data_length) {}
  // 0, the decoder's code, or -1 when the body is not a map.
  int open() {
    Item it;
    uint8_t e = dec_.getNext(it);
    if (e != vcbor::kSuccess) return e;
    return it.type == vcbor::kTypeMap ? 0 : -1;
  }
  // The next entry with `label` and a value of `type` (an integer type accepts both).
  int expect(int64_t label, uint8_t type, Item* it) {
    uint8_t e = dec_.getNext(*it);
    if (e != vcbor::kSuccess) return e;
    if (!labelIs(*it, label)) return 1;
    bool ok = type == vcbor::kTypeInt64 ? isInteger(*it) : it->type == type;
    return ok ? 0 : -1;
  }
  int expectUint(int64_t label, uint64_t limit, uint64_t* v) {
    Item it;
    int rc = expect(label, vcbor::kTypeInt64, &it);
    if (rc != 0) return rc;
    if (it.type == vcbor::kTypeInt64 && it.val.i64 < 0) return -1;
    if (it.val.u64 > limit) return -1;
    *v = it.val.u64;
    return 0;
  }
  // An optional entry: read when the next item is `label` with a value of `type`,
  // otherwise the decoder is put back so the next read sees the same item.
  bool optional(int64_t label, uint8_t type, Item* it) {
    Decoder saved = dec_;
    if (expect(label, type, it) == 0) return true;
    dec_ = saved;
    return false;
  }
  int finish() { return dec_.finish(); }
  Decoder& decoder() { return dec_; }

 private:
  Decoder dec_;
};

uint8_t* copyBytes(const UsefulBufC& s) {
  auto* p = static_cast<uint8_t*>(std::malloc(s.len != 0 ? s.len : 1));
  if (p != nullptr && s.len != 0) std::memcpy(p, s.ptr, s.len);
  return p;
}

bool isContainer(const Item& it) { return it.type == vcbor::kTypeArray || it.type == vcbor::kTypeMap; }

// An unsigned integer that the 32-bit value member holds whole.
bool fitsUint32(const Item& it) {
  return it.type == vcbor::kTypeInt64 && it.val.i64 >= 0 && it.val.i64 <= INT64_C(0xFFFFFFFF);
}

// Whether a response parameter's value has the CBOR type its tag type carries: unsigned
// integers below 2^32 for the 32-bit types 1 to 4, any 64-bit integer for 5, 6 and 10
// (written signed), true for a bool and a byte string for 8 and 9. Types 11 to 15 name no
// value kind and keep only their tag; their value must still be a single item, since the
// entries of a container would be read as the answer's own next entries.
bool valueFitsTagType(uint32_t type, const Item& it) {
  switch (type) {
    case 1:
    case 2:
    case 3:
    case 4:
      return fitsUint32(it);
    case 5:
    case 6:
    case 10:
      return isInteger(it);
    case 7:
      return it.type == vcbor::kTypeTrue;
    case 8:
    case 9:
      return it.type == vcbor::kTypeBytes;
    default:
      return !isContainer(it);
  }
}

// Reads the entry of a response parameter list into `param`.
int parseParams(Decoder& dec, keymaster_key_param_t* param, int32_t* readerError) {
  Item it;
  uint8_t e = dec.getNext(it);
  // Tags travel as signed 32-bit labels (types 8 to 10 negative); both forms are taken.
  if (e != vcbor::kSuccess || (it.labelType != vcbor::kTypeInt64 && it.labelType != vcbor::kTypeUint64) ||
      (it.labelType == vcbor::kTypeUint64) || it.label.i64 < INT32_MIN || it.label.i64 > INT64_C(0xFFFFFFFF)) {
    ALOGE("CBOR_ERROR | %s", "parseParams");
    return KM_ERROR_INVALID_TAG;
  }
  std::memset(param, 0, sizeof *param);
  param->tag = static_cast<keymaster_tag_t>(static_cast<uint32_t>(it.label.i64));
  // The value member is read by the tag's type, so a value of another CBOR type would hand
  // the client whatever that item holds (a byte string's pointer, say) as the tag's value.
  if (!valueFitsTagType(tagType(param->tag), it)) {
    ALOGE("CBOR_ERROR | %s", "parseParams");
    return KM_ERROR_INVALID_TAG;
  }
  switch (tagType(param->tag)) {
    case 0:
      ALOGE("CBOR_ERROR | %s", "parseParams");
      *readerError = KM_ERROR_UNKNOWN_ERROR;
      return KM_ERROR_INVALID_TAG;
    case 1:
    case 2:
    case 3:
    case 4:
      param->integer = static_cast<uint32_t>(it.val.u64);
      break;
    case 5:
    case 6:
    case 10:
      param->long_integer = it.val.u64;
      break;
    case 7:
      param->boolean = true;
      break;
    case 8:
    case 9:
      param->blob.data = copyBytes(it.val.str);
      param->blob.data_length = it.val.str.len;
      if (param->blob.data == nullptr) return KM_ERROR_MEMORY_ALLOCATION_FAILED;
      break;
    default:
      break;
  }
  return 0;
}

// [22 n and n parameter entries]
int readOutputParams(Response& r, keymaster_key_param_set_t* out) {
  Item it;
  if (!r.optional(kParamCount, vcbor::kTypeInt64, &it)) return 0;  // absent: the next expected entry decides
  // A count that is no parameter count is refused, never read as "no parameters".
  if (!fitsUint32(it)) {
    ALOGE("CBOR_ERROR | %s", "readOutputParams");
    return -1;
  }
  size_t n = static_cast<size_t>(it.val.i64);
  if (n == 0) return 0;
  if (out == nullptr) {
    ALOGE("CBOR_ERROR | %s", "readOutputParams");
    return KM_ERROR_OUTPUT_PARAMETER_NULL;
  }
  // A body fits the 20 KiB command area and each entry takes at least two bytes.
  if (n > 20480) return -1;
  auto* params = static_cast<keymaster_key_param_t*>(std::calloc(n, sizeof(keymaster_key_param_t)));
  if (params == nullptr) return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  int32_t readerError = 0;
  for (size_t k = 0; k < n; k++) {
    int rc = parseParams(r.decoder(), &params[k], &readerError);
    if (rc != 0) {
      keymaster_free_param_values(params, k);
      std::free(params);
      return rc;
    }
  }
  out->params = params;
  out->length = n;
  return 0;
}

void freeChain(keymaster_blob_t* entries, size_t n) {
  if (entries == nullptr) return;
  for (size_t k = 0; k < n; k++) std::free(const_cast<uint8_t*>(entries[k].data));
  std::free(entries);
}

// 32 n, then n entries 33.
int readChain(Response& r, size_t bodyLen, keymaster_cert_chain_t* chain) {
  uint64_t n = 0;
  int rc = r.expectUint(kCertCount, 0xFFFFFFFF, &n);
  if (rc != 0) return rc;
  // Each certificate takes at least two bytes of the body.
  if (n > bodyLen) return -1;
  keymaster_blob_t* entries = nullptr;
  if (n != 0) {
    entries = static_cast<keymaster_blob_t*>(std::calloc(n, sizeof(keymaster_blob_t)));
    if (entries == nullptr) {
      ALOGE("CBOR_ERROR | %s", "readChain");
      return KM_ERROR_MEMORY_ALLOCATION_FAILED;
    }
  }
  for (uint64_t k = 0; k < n; k++) {
    Item it;
    rc = r.expect(kCert, vcbor::kTypeBytes, &it);
    if (rc == 0) {
      entries[k].data = copyBytes(it.val.str);
      entries[k].data_length = it.val.str.len;
      if (entries[k].data == nullptr) {
        ALOGE("CBOR_ERROR | %s", "readChain");
        rc = KM_ERROR_MEMORY_ALLOCATION_FAILED;
      }
    }
    if (rc != 0) {
      freeChain(entries, n);
      return rc;
    }
  }
  chain->entries = entries;
  chain->entry_count = n;
  return 0;
}

int fail(const char* fn, int rc) {
  if (rc != 0) logRet(fn, rc);
  return rc;
}

// Skips the contents of a container item just read.
uint8_t skipContents(Decoder& dec, const Item& container) {
  Item it = container;
  while (it.nextNestLevel > container.nestingLevel) {
    uint8_t e = dec.getNext(it);
    if (e != vcbor::kSuccess) return e;
  }
  return vcbor::kSuccess;
}

}  // namespace

bool secondsToTztm(uint64_t seconds, tztm* out) {
  if (seconds > static_cast<uint64_t>(INT64_MAX)) return false;
  time_t t = static_cast<time_t>(seconds);
  struct tm tm;
  if (gmtime_r(&t, &tm) == nullptr) return false;
  out->tm_sec = tm.tm_sec;
  out->tm_min = tm.tm_min;
  out->tm_hour = tm.tm_hour;
  out->tm_mday = tm.tm_mday;
  out->tm_mon = tm.tm_mon + 1;
  out->tm_year = tm.tm_year + 1900;
  return true;
}

KeymasterSerialize::~KeymasterSerialize() = default;

void KeymasterSerialize::addParams(const keymaster_key_param_t& p, Encoder& enc) {
  const auto label = static_cast<int64_t>(static_cast<int32_t>(p.tag));
  switch (tagType(p.tag)) {
    case 0:
      enc.setError(kTypeZeroTagError);
      break;
    case 1:
    case 2:
    case 3:
    case 4:
      enc.addUInt64ToMapN(label, p.integer);
      break;
    case 5:
    case 6:
    case 10:
      enc.addInt64ToMapN(label, static_cast<int64_t>(p.long_integer));
      break;
    case 7:
      enc.addBoolToMapN(label, true);
      break;
    case 8:
    case 9:
      enc.addBytesToMapN(label, buf(&p.blob));
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------- requests

int KeymasterSerialize::serializeClientParams(const keymaster_key_param_set_t* params, keymaster_blob_t* out) {
  Request r(out, "serializeClientParams");
  writeParams(r.enc, params);
  return r.done();
}

int KeymasterSerialize::serializeClientKeyblob(const keymaster_key_blob_t* blob, keymaster_blob_t* out) {
  Request r(out, "serializeClientKeyblob");
  r.enc.addBytesToMapN(kKeyBlob, buf(blob));
  return r.done();
}

int KeymasterSerialize::serializeClientParamsKeyblob(const keymaster_key_param_set_t* params,
                                                     const keymaster_key_blob_t* blob, keymaster_blob_t* out) {
  Request r(out, "serializeClientParamsKeyblob");
  writeParams(r.enc, params);
  r.enc.addBytesToMapN(kKeyBlob, buf(blob));
  return r.done();
}

int KeymasterSerialize::serializeGetKeyCharacterisitcs(const keymaster_key_blob_t* blob,
                                                       const keymaster_blob_t* clientId,
                                                       const keymaster_blob_t* appData, keymaster_blob_t* out) {
  Request r(out, "serializeGetKeyCharacterisitcs");
  r.enc.addBytesToMapN(kKeyBlob, buf(blob));
  if (given(clientId)) r.enc.addBytesToMapN(kClientId, buf(clientId));
  if (given(appData)) r.enc.addBytesToMapN(kAppData, buf(appData));
  return r.done();
}

int KeymasterSerialize::serializeClientImpKey(const keymaster_key_param_set_t* params, keymaster_key_format_t format,
                                              const keymaster_blob_t* keyData, keymaster_blob_t* out) {
  Request r(out, "serializeClientImpKey");
  writeParams(r.enc, params);
  r.enc.addUInt64ToMapN(kKeyFormat, format);
  r.enc.addBytesToMapN(kKeyMaterial, buf(keyData));
  return r.done();
}

int KeymasterSerialize::serializeClientExpKey(keymaster_key_format_t format, const keymaster_key_blob_t* blob,
                                              const keymaster_blob_t* clientId, const keymaster_blob_t* appData,
                                              keymaster_blob_t* out) {
  Request r(out, "serializeClientExpKey");
  r.enc.addUInt64ToMapN(kParamCount, (given(clientId) ? 1 : 0) + (given(appData) ? 1 : 0));
  if (given(clientId)) {
    keymaster_key_param_t p{};
    p.tag = KM_TAG_APPLICATION_ID;
    p.blob = *clientId;
    addParams(p, r.enc);
  }
  if (given(appData)) {
    keymaster_key_param_t p{};
    p.tag = KM_TAG_APPLICATION_DATA;
    p.blob = *appData;
    addParams(p, r.enc);
  }
  r.enc.addBytesToMapN(kKeyBlob, buf(blob));
  r.enc.addUInt64ToMapN(kKeyFormat, format);
  return r.done();
}

int KeymasterSerialize::serializeClientAttestKey(const keymaster_key_param_set_t* params,
                                                 const keymaster_key_blob_t* blob, tztm start, tztm end,
                                                 keymaster_blob_t* out) {
  Request r(out, "serializeClientAttestKey");
  writeParams(r.enc, params);
  r.enc.addBytesToMapN(kKeyBlob, buf(blob));
  writeDate(r.enc, kValidityStart, start);
  writeDate(r.enc, kValidityEnd, end);
  return r.done();
}

int KeymasterSerialize::serializeClientBegin(keymaster_purpose_t purpose, const keymaster_key_param_set_t* params,
                                             const keymaster_key_blob_t* blob, keymaster_blob_t* out) {
  Request r(out, "serializeClientBegin");
  size_t n = params != nullptr && params->params != nullptr ? params->length : 0;
  bool hasPurpose = false;
  for (size_t k = 0; k < n; k++) hasPurpose |= params->params[k].tag == KM_TAG_PURPOSE;
  r.enc.addUInt64ToMapN(kParamCount, n + (hasPurpose ? 0 : 1));
  for (size_t k = 0; k < n; k++) addParams(params->params[k], r.enc);
  if (!hasPurpose) {
    keymaster_key_param_t p{};
    p.tag = KM_TAG_PURPOSE;
    p.enumerated = purpose;
    addParams(p, r.enc);
  }
  r.enc.addBytesToMapN(kKeyBlob, buf(blob));
  return r.done();
}

int KeymasterSerialize::serializeClientUpdate(uint64_t handle, const keymaster_key_param_set_t* params,
                                              const keymaster_blob_t* input, keymaster_blob_t* out) {
  Request r(out, "serializeClientUpdate");
  r.enc.addUInt64ToMapN(kOpHandle, handle);
  if (hasParams(params)) writeParams(r.enc, params);
  if (given(input)) {
    size_t n = input->data_length < kMaxUpdateInput ? input->data_length : kMaxUpdateInput;
    r.enc.addBytesToMapN(kInput, buf(input->data, n));
  }
  return r.done();
}

int KeymasterSerialize::serializeClientFinish(uint64_t handle, const keymaster_key_param_set_t* params,
                                              const keymaster_blob_t* input, const keymaster_blob_t* signature,
                                              keymaster_blob_t* out) {
  Request r(out, "serializeClientFinish");
  r.enc.addUInt64ToMapN(kOpHandle, handle);
  if (hasParams(params)) writeParams(r.enc, params);
  if (given(input)) r.enc.addBytesToMapN(kInput, buf(input));
  if (given(signature)) r.enc.addBytesToMapN(kSignature, buf(signature));
  return r.done();
}

int KeymasterSerialize::serializeClientAbort(uint64_t handle, keymaster_blob_t* out) {
  Request r(out, "serializeClientAbort");
  r.enc.addUInt64ToMapN(kOpHandle, handle);
  return r.done();
}

int KeymasterSerialize::serializeClientDestroyDeviceIds(bool flag, keymaster_blob_t* out) {
  Request r(out, "serializeClientDestroyDeviceIds");
  r.enc.addBoolToMapN(kDestroyIds, flag);
  return r.done();
}

int KeymasterSerialize::serializeClientSecureImportKey(const keymaster_key_param_set_t* params, uint64_t passwordSid,
                                                       uint64_t biometricSid, const keymaster_blob_t* wrappedKeyData,
                                                       const keymaster_key_blob_t* wrappingKeyBlob,
                                                       const keymaster_blob_t* maskingKey, keymaster_blob_t* out) {
  Request r(out, "serializeClientSecureImportKey");
  writeParams(r.enc, params);
  r.enc.addUInt64ToMapN(kPasswordSid, passwordSid);
  r.enc.addUInt64ToMapN(kBiometricSid, biometricSid);
  r.enc.addBytesToMapN(kWrappedKeyData, buf(wrappedKeyData));
  r.enc.addBytesToMapN(kWrappingKey, buf(wrappingKeyBlob));
  r.enc.addBytesToMapN(kMaskingKey, buf(maskingKey));
  return r.done();
}

int KeymasterSerialize::serializeClientComputeHmacParams(const std::vector<hmac_sharing_params_t>& params,
                                                          keymaster_blob_t* out) {
  Request r(out, "serializeClientComputeHmacParams");
  r.enc.addBytesToMapN(kSharingParams, buf(reinterpret_cast<const uint8_t*>(params.data()),
                                           params.size() * sizeof(hmac_sharing_params_t)));
  return r.done();
}

int KeymasterSerialize::serializeClientSetDeviceLocked(bool locked, keymaster_blob_t* out) {
  Request r(out, "serializeClientSetDeviceLocked");
  r.enc.addBoolToMapN(kDeviceLocked, locked);
  return r.done();
}

int KeymasterSerialize::serializeverifyAuthorization(uint64_t challenge, keymaster_blob_t* out) {
  Request r(out, "serializeverifyAuthorization");
  r.enc.addUInt64ToMapN(kChallenge, challenge);
  return r.done();
}

static void writeAttestGroup(Encoder& enc, const keymaster_key_blob_t* attestKey,
                             const keymaster_key_param_set_t* attestKeyParams, const keymaster_blob_t* issuer) {
  enc.openMapInMapN(kAttestGroup);
  enc.addBytesToMapN(kKeyBlob, buf(attestKey));
  writeParams(enc, attestKeyParams);
  enc.addBytesToMapN(kIssuerSubject, buf(issuer));
  enc.closeMap();
}

int KeymasterSerialize::serializeKeymintGenerateKey(const keymaster_key_param_set_t* params,
                                                    const keymaster_key_blob_t* attestKey,
                                                    const keymaster_key_param_set_t* attestKeyParams,
                                                    const keymaster_blob_t* issuerSubject, tztm notBefore,
                                                    tztm notAfter, keymaster_blob_t* out) {
  Request r(out, "serializeKeymintGenerateKey");
  writeParams(r.enc, params);
  writeAttestGroup(r.enc, attestKey, attestKeyParams, issuerSubject);
  writeDate(r.enc, kNotBefore, notBefore);
  writeDate(r.enc, kNotAfter, notAfter);
  return r.done();
}

int KeymasterSerialize::serializeKeymintImportKey(const keymaster_key_param_set_t* params, keymaster_key_format_t format,
                                                  const keymaster_blob_t* keyData, const keymaster_key_blob_t* attestKey,
                                                  const keymaster_key_param_set_t* attestKeyParams,
                                                  const keymaster_blob_t* issuerSubject, tztm notBefore,
                                                  tztm notAfter, keymaster_blob_t* out) {
  Request r(out, "serializeKeymintImportKey");
  writeParams(r.enc, params);
  r.enc.addUInt64ToMapN(kKeyFormat, format);
  r.enc.addBytesToMapN(kKeyMaterial, buf(keyData));
  writeAttestGroup(r.enc, attestKey, attestKeyParams, issuerSubject);
  writeDate(r.enc, kNotBefore, notBefore);
  writeDate(r.enc, kNotAfter, notAfter);
  return r.done();
}

int KeymasterSerialize::serializeKeymintUpdateAad(uint64_t handle, const keymaster_key_param_set_t* params,
                                                  keymaster_blob_t* out) {
  Request r(out, "serializeKeymintUpdateAad");
  r.enc.addUInt64ToMapN(kOpHandle, handle);
  if (hasParams(params)) writeParams(r.enc, params);
  return r.done();
}

int KeymasterSerialize::serializeConvertStorageKey(const keymaster_key_blob_t* blob, keymaster_blob_t* out) {
  Request r(out, "serializeConvertStorageKey");
  r.enc.addBytesToMapN(kKeyBlob, buf(blob));
  return r.done();
}

int KeymasterSerialize::serializeGenerateCsr(keymaster_blob_t* out, const keymaster::GenerateCsrRequest& request,
                                             const std::vector<uint8_t>& keysToSign,
                                             const keymaster_blob_t& keysToSignMac) {
  Request r(out, "serializeGenerateCsr");
  r.enc.addUInt64ToMapN(kTestMode, request.test_mode ? 1 : 0);
  r.enc.addBytesToMapN(kChallengeBytes, buf(&request.challenge));
  r.enc.addBytesToMapN(kPublicKeys, buf(keysToSign.data(), keysToSign.size()));
  r.enc.addBytesToMapN(kCsrKeys, buf(&keysToSignMac));
  r.enc.addBytesToMapN(kEekChain, buf(&request.endpoint_enc_cert_chain));
  return r.done();
}

int KeymasterSerialize::serializeGenerateCsrV2(keymaster_blob_t* out, const std::vector<uint8_t>& challenge,
                                               const std::vector<uint8_t>& keysToSign) {
  Request r(out, "serializeGenerateCsrV2");
  r.enc.addBytesToMapN(kChallengeBytes, buf(challenge.data(), challenge.size()));
  r.enc.addBytesToMapN(kCsrKeys, buf(keysToSign.data(), keysToSign.size()));
  return r.done();
}

int KeymasterSerialize::serializeGetRootOfTrust(keymaster_blob_t* out, const std::vector<uint8_t>& challenge) {
  Request r(out, "serializeGetRootOfTrust");
  r.enc.addBytesToMapN(kChallengeBytes, buf(challenge.data(), challenge.size()));
  return r.done();
}

// ---------------------------------------------------------------- responses

int KeymasterSerialize::deserializeClientKeyblob(const keymaster_blob_t& rsp, keymaster_key_blob_t* blob) {
  if (blob == nullptr) return KM_ERROR_OUTPUT_PARAMETER_NULL;
  uint8_t* copy = copyBytes(buf(rsp.data, rsp.data_length));
  if (copy == nullptr) return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  blob->key_material = copy;
  blob->key_material_size = rsp.data_length;
  return 0;
}

// Reads {label: bytes} as the whole body.
static int readSingleBytes(const keymaster_blob_t& rsp, int64_t label, const char* fn, UsefulBufC* value) {
  Response r(rsp);
  Item it;
  int rc = r.open();
  if (rc == 0) rc = r.expect(label, vcbor::kTypeBytes, &it);
  if (rc == 0) rc = r.finish();
  if (rc != 0) return fail(fn, rc);
  if (it.val.str.ptr == nullptr) {
    ALOGE("CBOR_ERROR | %s", fn);
    return KM_ERROR_UNKNOWN_ERROR;
  }
  *value = it.val.str;
  return 0;
}

// {label: bytes} as the whole body, copied into a new allocation.
static int readCopiedBytes(const keymaster_blob_t& rsp, int64_t label, const char* fn, const uint8_t** data,
                           size_t* length) {
  UsefulBufC v;
  int rc = readSingleBytes(rsp, label, fn, &v);
  if (rc != 0) return rc;
  uint8_t* copy = copyBytes(v);
  if (copy == nullptr) return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  *data = copy;
  *length = v.len;
  return 0;
}

int KeymasterSerialize::deserializeClientKeyblobLegacy(const keymaster_blob_t& rsp, keymaster_key_blob_t* blob) {
  return readCopiedBytes(rsp, kKeyBlob, "deserializeClientKeyblobLegacy", &blob->key_material,
                         &blob->key_material_size);
}

int KeymasterSerialize::deserializeClientExpKey(const keymaster_blob_t& rsp, keymaster_blob_t* exported) {
  return readCopiedBytes(rsp, kOutput, "deserializeClientExpKey", &exported->data, &exported->data_length);
}

int KeymasterSerialize::deserializeGetRootOfTrust(const keymaster_blob_t& rsp, keymaster_blob_t* rootOfTrust) {
  if (rootOfTrust == nullptr) return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  UsefulBufC v;
  int rc = readSingleBytes(rsp, kOutput, "deserializeGetRootOfTrust", &v);
  if (rc != 0) return rc;
  rootOfTrust->data = static_cast<const uint8_t*>(v.ptr);
  rootOfTrust->data_length = v.len;
  return 0;
}

int KeymasterSerialize::deserializeGenerateCsrV2(const keymaster_blob_t& rsp, std::vector<uint8_t>* csr) {
  UsefulBufC v;
  int rc = readSingleBytes(rsp, kCsrV2, "deserializeGenerateCsrV2", &v);
  if (rc != 0) return rc;
  const auto* p = static_cast<const uint8_t*>(v.ptr);
  csr->assign(p, p + v.len);
  return 0;
}

int KeymasterSerialize::deserializeClientComputeHmacParams(const keymaster_blob_t& rsp,
                                                           std::vector<uint8_t>* sharingCheck) {
  UsefulBufC v;
  int rc = readSingleBytes(rsp, kSharingCheck, "deserializeClientComputeHmacParams", &v);
  if (rc != 0) return rc;
  const auto* p = static_cast<const uint8_t*>(v.ptr);
  sharingCheck->insert(sharingCheck->end(), p, p + v.len);
  return 0;
}

int KeymasterSerialize::deserializeGenerateCsr(const keymaster_blob_t& rsp, std::vector<uint8_t>* deviceInfo,
                                               std::vector<uint8_t>* protectedData) {
  Response r(rsp);
  Item info, prot;
  int rc = r.open();
  if (rc == 0) rc = r.expect(kDeviceInfo, vcbor::kTypeBytes, &info);
  if (rc == 0) rc = r.expect(kProtectedData, vcbor::kTypeBytes, &prot);
  if (rc == 0) rc = r.finish();
  if (rc != 0) return fail("deserializeGenerateCsr", rc);
  const auto* a = static_cast<const uint8_t*>(info.val.str.ptr);
  const auto* b = static_cast<const uint8_t*>(prot.val.str.ptr);
  deviceInfo->assign(a, a + info.val.str.len);
  protectedData->assign(b, b + prot.val.str.len);
  return 0;
}

int KeymasterSerialize::deserializeClientGetHmacParams(const keymaster_blob_t& rsp, hmac_sharing_params_t* params) {
  Response r(rsp);
  Item seed, nonce;
  int rc = r.open();
  if (rc == 0) rc = r.expect(kSeed, vcbor::kTypeBytes, &seed);
  if (rc == 0) rc = r.expect(kNonce, vcbor::kTypeBytes, &nonce);
  if (rc == 0) rc = r.finish();
  if (rc != 0) return fail("deserializeClientGetHmacParams", rc);
  if (seed.val.str.ptr == nullptr || nonce.val.str.ptr == nullptr) {
    ALOGE("CBOR_ERROR | %s", "deserializeClientGetHmacParams");
    return KM_ERROR_UNKNOWN_ERROR;
  }
  keymasterutils::KeymasterUtils::km_memscpy(params->seed, sizeof params->seed, seed.val.str.ptr, seed.val.str.len);
  keymasterutils::KeymasterUtils::km_memscpy(params->nonce, sizeof params->nonce, nonce.val.str.ptr, nonce.val.str.len);
  return 0;
}

static int readToken(const keymaster_blob_t& rsp, bool withLevel, const char* fn, verification_token_t* token) {
  Response r(rsp);
  uint64_t challenge = 0, timestamp = 0, level = 0;
  Item mac;
  int rc = r.open();
  if (rc == 0) rc = r.expectUint(kChallenge, UINT64_MAX, &challenge);
  if (rc == 0) rc = r.expectUint(kTimestamp, UINT64_MAX, &timestamp);
  if (rc == 0 && withLevel) rc = r.expectUint(kSecurityLevel, 0xFFFFFFFF, &level);
  if (rc == 0) rc = r.expect(kMac, vcbor::kTypeBytes, &mac);
  if (rc == 0) rc = r.finish();
  if (rc != 0) return fail(fn, rc);
  if (mac.val.str.ptr == nullptr) {
    ALOGE("CBOR_ERROR | %s", fn);
    return KM_ERROR_UNKNOWN_ERROR;
  }
  token->challenge = challenge;
  token->timestamp = timestamp;
  token->security_level = static_cast<uint32_t>(level);
  keymasterutils::KeymasterUtils::km_memscpy(token->mac, sizeof token->mac, mac.val.str.ptr, mac.val.str.len);
  return 0;
}

int KeymasterSerialize::deserializeverifyAuthorization(const keymaster_blob_t& rsp, verification_token_t* token) {
  return readToken(rsp, true, "deserializeverifyAuthorization", token);
}

int KeymasterSerialize::deserializeGenerateTimestamp(const keymaster_blob_t& rsp, verification_token_t* token) {
  return readToken(rsp, false, "deserializeGenerateTimestamp", token);
}

int KeymasterSerialize::deserializeClientAttestKey(const keymaster_blob_t& rsp, keymaster_cert_chain_t* chain) {
  Response r(rsp);
  keymaster_cert_chain_t got{};
  int rc = r.open();
  if (rc == 0) rc = readChain(r, rsp.data_length, &got);
  if (rc == 0) {
    rc = r.finish();
    if (rc != 0) freeChain(got.entries, got.entry_count);
  }
  if (rc != 0) return fail("deserializeClientAttestKey", rc);
  *chain = got;
  return 0;
}

int KeymasterSerialize::deserializeClientBegin(const keymaster_blob_t& rsp, keymaster_key_param_set_t* outParams,
                                               uint64_t* handle) {
  Response r(rsp);
  keymaster_key_param_set_t params{};
  uint64_t h = 0;
  int rc = r.open();
  if (rc == 0) rc = readOutputParams(r, &params);
  if (rc == 0 && params.length != 0 && outParams == nullptr) rc = KM_ERROR_OUTPUT_PARAMETER_NULL;
  if (rc == 0) rc = r.expectUint(kOpHandle, UINT64_MAX, &h);
  if (rc == 0) rc = r.finish();
  if (rc != 0) {
    keymaster_free_param_set(&params);
    return fail("deserializeClientBegin", rc);
  }
  if (outParams != nullptr && params.length != 0) *outParams = params;
  *handle = h;
  return 0;
}

// [22 n and parameters], [36 output], then, for an update, 37 the input consumed.
static int readOperationAnswer(const keymaster_blob_t& rsp, const char* fn, keymaster_key_param_set_t* outParams,
                               keymaster_blob_t* output, size_t* consumed) {
  if (output == nullptr) {
    ALOGE("CBOR_ERROR | %s", fn);
    return KM_ERROR_OUTPUT_PARAMETER_NULL;
  }
  Response r(rsp);
  keymaster_key_param_set_t params{};
  Item out;
  bool hasOutput = false;
  uint64_t used = 0;
  int rc = r.open();
  if (rc == 0) rc = readOutputParams(r, outParams != nullptr ? &params : nullptr);
  if (rc == 0) hasOutput = r.optional(kOutput, vcbor::kTypeBytes, &out);
  if (rc == 0 && consumed != nullptr) rc = r.expectUint(kConsumed, 0xFFFFFFFF, &used);
  if (rc == 0) rc = r.finish();
  uint8_t* copy = nullptr;
  if (rc == 0 && hasOutput && out.val.str.len != 0 && (copy = copyBytes(out.val.str)) == nullptr) {
    rc = KM_ERROR_MEMORY_ALLOCATION_FAILED;
  }
  if (rc != 0) {
    keymaster_free_param_set(&params);
    return fail(fn, rc);
  }
  if (params.length != 0) *outParams = params;
  if (copy != nullptr) {
    output->data = copy;
    output->data_length = out.val.str.len;
  }
  if (consumed != nullptr) *consumed = used;
  return 0;
}

int KeymasterSerialize::deserializeClientUpdate(const keymaster_blob_t& rsp, keymaster_key_param_set_t* outParams,
                                                keymaster_blob_t* output, size_t* consumed) {
  size_t ignored = 0;
  return readOperationAnswer(rsp, "deserializeClientUpdate", outParams, output,
                             consumed != nullptr ? consumed : &ignored);
}

int KeymasterSerialize::deserializeClientFinish(const keymaster_blob_t& rsp, keymaster_key_param_set_t* outParams,
                                                keymaster_blob_t* output) {
  return readOperationAnswer(rsp, "deserializeClientFinish", outParams, output, nullptr);
}

int KeymasterSerialize::deserializeKeyCreationResult(const keymaster_blob_t& rsp, keymaster_key_blob_t* blob,
                                                     keymaster_key_characteristics_t* characteristics,
                                                     keymaster_cert_chain_t* chain) {
  Response r(rsp);
  Item keyBlob;
  keymaster_cert_chain_t got{};
  int rc = r.open();
  if (rc == 0) rc = r.expect(kKeyBlob, vcbor::kTypeBytes, &keyBlob);
  if (rc == 0) rc = readChain(r, rsp.data_length, &got);
  if (rc == 0) {
    rc = r.finish();
    if (rc != 0) freeChain(got.entries, got.entry_count);
  }
  if (rc != 0) return fail("deserializeKeyCreationResult", rc);
  if (keyBlob.val.str.ptr == nullptr) {
    freeChain(got.entries, got.entry_count);
    ALOGE("CBOR_ERROR | %s", "deserializeKeyCreationResult");
    return KM_ERROR_UNKNOWN_ERROR;
  }
  uint8_t* copy = copyBytes(keyBlob.val.str);
  if (copy == nullptr) {
    freeChain(got.entries, got.entry_count);
    return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  }
  blob->key_material = copy;
  blob->key_material_size = keyBlob.val.str.len;
  rc = getCharacteristics(copy, keyBlob.val.str.len, characteristics);
  if (rc != 0) {
    freeChain(got.entries, got.entry_count);
    return fail("deserializeKeyCreationResult", rc);
  }
  *chain = got;
  return 0;
}

// ---------------------------------------------------------------- key blobs

int KeymasterSerialize::parseKeyBlob(const uint8_t* blob, size_t length, keymaster_blob_t* characteristics) {
  Decoder d(blob, length);
  Item it;
  if (d.getNext(it) != vcbor::kSuccess || it.type != vcbor::kTypeArray) return -1;
  if (d.getNext(it) != vcbor::kSuccess || !isInteger(it) || !is_km_20_blob(it.val.u64)) {
    ALOGE("CBOR_ERROR | %s", "parseKeyBlob");
    return KM_ERROR_INVALID_KEY_BLOB;
  }
  for (int k = 0; k < 2; k++) {
    if (d.getNext(it) != vcbor::kSuccess || !isInteger(it)) return 1;
  }
  if (d.getNext(it) != vcbor::kSuccess || it.type != vcbor::kTypeBytes) return 1;
  characteristics->data = static_cast<const uint8_t*>(it.val.str.ptr);
  characteristics->data_length = it.val.str.len;
  return 0;
}

namespace {

// Enters the map labelled `level` and counts the parameters it holds (an array entry of k
// values gives k). -1 when the next item is not that map.
int countLevel(Decoder& d, int64_t level, size_t* count) {
  Item map;
  if (d.getNext(map) != vcbor::kSuccess || map.type != vcbor::kTypeMap || !labelIs(map, level)) return -1;
  size_t n = 0;
  Item it = map;
  while (it.nextNestLevel > map.nestingLevel) {
    uint8_t e = d.getNext(it);
    if (e != vcbor::kSuccess) return e;
    if (it.type == vcbor::kTypeArray) {
      Item el = it;
      const uint8_t arrayLevel = it.nestingLevel;
      while (el.nextNestLevel > arrayLevel) {
        e = d.getNext(el);
        if (e != vcbor::kSuccess) return e;
        if (el.nestingLevel == arrayLevel + 1) n++;
      }
      it = el;
    } else {
      n++;
      if (it.type == vcbor::kTypeMap) {
        e = skipContents(d, it);
        if (e != vcbor::kSuccess) return e;
        it.nextNestLevel = static_cast<uint8_t>(d.currentNesting());
      }
    }
  }
  *count = n;
  return 0;
}

}  // namespace

int KeymasterSerialize::parseKeyParam(const Item& label, const Item& value, keymaster_key_param_t* param) {
  if ((label.labelType != vcbor::kTypeInt64 && label.labelType != vcbor::kTypeUint64) ||
      label.label.u64 > 0xFFFFFFFFull) {
    ALOGE("CBOR_ERROR | %s", "parseKeyParam");
    return KM_ERROR_INVALID_TAG;
  }
  const auto tag = static_cast<uint32_t>(label.label.u64);
  const uint32_t type = tagType(tag);
  if (type == 0 || type == 8 || type == 9) {
    ALOGE("CBOR_ERROR | %s", "parseKeyParam");
    return KM_ERROR_INVALID_TAG;
  }
  // One value per parameter, of the kind its type holds: a uint or enum that does not fit
  // its 32-bit member would be cut, and the entries of a container would be read as
  // parameters of their own.
  if ((type != 7 && type <= 10 && !isInteger(value)) || (type <= 4 && !fitsUint32(value)) || isContainer(value)) {
    ALOGE("CBOR_ERROR | %s", "parseKeyParam");
    return KM_ERROR_INVALID_TAG;
  }
  std::memset(param, 0, sizeof *param);
  param->tag = static_cast<keymaster_tag_t>(tag);
  switch (type) {
    case 1:
    case 2:
    case 3:
    case 4:
      param->integer = static_cast<uint32_t>(value.val.u64);
      if (tag == KM_TAG_EC_CURVE && param->enumerated == KM_EC_CURVE_CURVE_25519) curve25519_ = 1;
      break;
    case 5:
    case 6:
    case 10:
      param->long_integer = value.val.u64;
      break;
    case 7:
      param->boolean = true;
      break;
    default:
      break;
  }
  return 0;
}

namespace {

// Fills `params` (room for `cap`) from the map labelled `level`; *filled gets the count.
int fillLevel(KeymasterSerialize& s, Decoder& d, int64_t level, keymaster_key_param_t* params, size_t cap,
              size_t* filled) {
  Item map;
  if (d.getNext(map) != vcbor::kSuccess || map.type != vcbor::kTypeMap || !labelIs(map, level)) return -1;
  size_t n = 0;
  Item it = map;
  while (it.nextNestLevel > map.nestingLevel) {
    if (d.getNext(it) != vcbor::kSuccess) {
      ALOGE("CBOR_ERROR | %s", "getParamsFromMap");
      return KM_ERROR_INVALID_TAG;
    }
    if (it.type == vcbor::kTypeArray) {
      Item label = it;
      Item el = it;
      while (el.nextNestLevel > label.nestingLevel) {
        if (d.getNext(el) != vcbor::kSuccess) {
          ALOGE("CBOR_ERROR | %s", "getParamsFromMap");
          return KM_ERROR_INVALID_TAG;
        }
        if (n == cap) return KM_ERROR_INVALID_TAG;
        int rc = s.parseKeyParam(label, el, &params[n]);
        if (rc != 0) return rc;
        n++;
      }
      it = el;
    } else {
      if (n == cap) return KM_ERROR_INVALID_TAG;
      int rc = s.parseKeyParam(it, it, &params[n]);
      if (rc != 0) return rc;
      n++;
    }
  }
  *filled = n;
  return 0;
}

}  // namespace

int KeymasterSerialize::deserializeCharacteristics(const keymaster_blob_t& bytes, keymaster_key_characteristics_t* out) {
  size_t hw = 0, sw = 0;
  {
    Decoder d(bytes.data, bytes.data_length);
    Item top;
    uint8_t e = d.getNext(top);
    if (e != vcbor::kSuccess) return e;
    if (top.type != vcbor::kTypeMap) return -1;
    int rc = countLevel(d, 2, &hw);
    if (rc == 0) rc = countLevel(d, 0, &sw);
    if (rc == 0) rc = d.finish();
    if (rc != 0) return rc;
  }
  Decoder d(bytes.data, bytes.data_length);
  Item top;
  d.getNext(top);
  auto* hwParams = static_cast<keymaster_key_param_t*>(std::calloc(hw != 0 ? hw : 1, sizeof(keymaster_key_param_t)));
  auto* swParams = static_cast<keymaster_key_param_t*>(std::calloc(sw != 0 ? sw : 1, sizeof(keymaster_key_param_t)));
  if (hwParams == nullptr || swParams == nullptr) {
    std::free(hwParams);
    std::free(swParams);
    return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  }
  size_t hwFilled = 0, swFilled = 0;
  int rc = fillLevel(*this, d, 2, hwParams, hw, &hwFilled);
  if (rc == 0) rc = fillLevel(*this, d, 0, swParams, sw, &swFilled);
  if (rc == 0) rc = d.finish();
  if (rc != 0 || hwFilled != hw || swFilled != sw) {
    std::free(hwParams);
    std::free(swParams);
    return rc != 0 ? rc : -1;
  }
  out->hw_enforced = {hwParams, hw};
  out->sw_enforced = {swParams, sw};
  return 0;
}

int KeymasterSerialize::getCharacteristics(const uint8_t* blob, size_t length, keymaster_key_characteristics_t* out) {
  if (out == nullptr) return KM_ERROR_OUTPUT_PARAMETER_NULL;
  keymaster_blob_t chars{};
  int rc = parseKeyBlob(blob, length, &chars);
  if (rc == 0) rc = deserializeCharacteristics(chars, out);
  return fail("getCharacteristics", rc);
}

int KeymasterSerialize::getCertNotBeforeAfter(const keymaster_key_param_set_t* params, tztm* notBefore, tztm* notAfter) {
  bool hasBefore = false, hasAfter = false;
  uint64_t before = 0, after = 0;
  size_t n = params != nullptr && params->params != nullptr ? params->length : 0;
  for (size_t k = 0; k < n; k++) {
    if (params->params[k].tag == KM_TAG_CERTIFICATE_NOT_BEFORE) {
      hasBefore = true;
      before = params->params[k].date_time / 1000;
    } else if (params->params[k].tag == KM_TAG_CERTIFICATE_NOT_AFTER) {
      hasAfter = true;
      after = params->params[k].date_time / 1000;
    }
  }
  if (hasBefore && !secondsToTztm(before, notBefore)) {
    ALOGE("certNotBefore is NULL");
    return KM_ERROR_INVALID_ARGUMENT;
  }
  if (hasAfter && !secondsToTztm(after, notAfter)) {
    ALOGE("certNotAfter is NULL");
    return KM_ERROR_INVALID_ARGUMENT;
  }
  return 0;
}

int KeymasterSerialize::getTimeDateTags(const keymaster_blob_t& characteristics, uint64_t* activeSeconds,
                                        uint64_t* expireSeconds) {
  Decoder d(characteristics.data, characteristics.data_length);
  Item top;
  uint8_t e = d.getNext(top);
  if (e != vcbor::kSuccess) return e;
  if (top.type != vcbor::kTypeMap) return -1;
  size_t ignored = 0;
  int rc = countLevel(d, 2, &ignored);
  if (rc != 0) return rc;
  Item map;
  if (d.getNext(map) != vcbor::kSuccess || map.type != vcbor::kTypeMap || !labelIs(map, 0)) return -1;
  uint64_t active = 0, expire = 0xFFFFFFFF;
  Item it = map;
  while (it.nextNestLevel > map.nestingLevel) {
    e = d.getNext(it);
    if (e != vcbor::kSuccess) return e;
    if (it.type == vcbor::kTypeArray || it.type == vcbor::kTypeMap) {
      e = skipContents(d, it);
      if (e != vcbor::kSuccess) return e;
      it.nextNestLevel = static_cast<uint8_t>(d.currentNesting());
      continue;
    }
    if (labelIs(it, KM_TAG_ACTIVE_DATETIME) && isInteger(it)) active = it.val.u64 / 1000;
    if (labelIs(it, KM_TAG_USAGE_EXPIRE_DATETIME) && isInteger(it)) expire = it.val.u64 / 1000;
  }
  e = d.finish();
  if (e != vcbor::kSuccess) return e;
  *activeSeconds = active;
  *expireSeconds = expire;
  return 0;
}

int KeymasterSerialize::get_gm_time(const keymaster_key_blob_t* blob, tztm* start, tztm* end) {
  keymaster_blob_t chars{};
  uint64_t active = 0, expire = 0;
  int rc = parseKeyBlob(blob->key_material, blob->key_material_size, &chars);
  if (rc == 0) rc = getTimeDateTags(chars, &active, &expire);
  if (rc != 0) return fail("get_gm_time", rc);
  if (!secondsToTztm(active, start)) {
    ALOGE("activeDateTime handle is NULL");
    return KM_ERROR_INVALID_KEY_BLOB;
  }
  if (!secondsToTztm(expire, end)) {
    ALOGE("usageExpireDateTime handle is NULL");
    return KM_ERROR_INVALID_KEY_BLOB;
  }
  return 0;
}

}  // namespace keymasterdevice
