#define LOG_TAG "weaver-service-secproc"

#include "WeaverSerialize.h"

#include <cbor/cbor.h>
#include <log/log.h>

namespace {

constexpr int64_t kLabelSlotId = 68;
constexpr int64_t kLabelKey = 67;
constexpr int64_t kLabelValue = 66;
constexpr int64_t kLabelTimeout = 65;
constexpr int64_t kLabelStatus = 69;
constexpr int64_t kLabelSlots = 62;
constexpr int64_t kLabelKeySize = 63;
constexpr int64_t kLabelValueSize = 64;
constexpr int kDecodeFailed = KM_ERROR_UNKNOWN_ERROR;

int finishEncoding(vcbor::Encoder& enc, keymaster_blob_t* out) {
  size_t len = 0;
  uint8_t err = enc.finish(&len);
  if (err != vcbor::kSuccess) {
    ALOGE("CBOR encoding failed: %s", vcbor::errorName(err));
    return KM_ERROR_UNKNOWN_ERROR;
  }
  out->data_length = len;
  return 0;
}

bool integerLabel(const vcbor::Item& item, int64_t want) {
  return (item.labelType == vcbor::kTypeInt64 || item.labelType == vcbor::kTypeUint64) &&
         item.label.u64 == static_cast<uint64_t>(want);
}

bool isInteger(const vcbor::Item& item) {
  return item.type == vcbor::kTypeInt64 || item.type == vcbor::kTypeUint64;
}

// The next entry, required to carry `label`.
bool nextEntry(vcbor::Decoder& dec, int64_t label, vcbor::Item* item) {
  return dec.getNext(*item) == vcbor::kSuccess && integerLabel(*item, label);
}

bool openMap(vcbor::Decoder& dec) {
  vcbor::Item item;
  return dec.getNext(item) == vcbor::kSuccess && item.type == vcbor::kTypeMap;
}

}  // namespace

int WeaverSerialize::serializeRead(int32_t slotId, const std::vector<uint8_t>& key,
                                   keymaster_blob_t* out) const {
  vcbor::Encoder enc(const_cast<uint8_t*>(out->data), out->data_length);
  enc.openMap();
  // The slot id goes out sign-extended: slot -1 is 2^64 - 1.
  enc.addUInt64ToMapN(kLabelSlotId, static_cast<uint64_t>(static_cast<int64_t>(slotId)));
  enc.addBytesToMapN(kLabelKey, UsefulBufC{key.data(), key.size()});
  enc.closeMap();
  return finishEncoding(enc, out);
}

int WeaverSerialize::serializeWrite(int32_t slotId, const std::vector<uint8_t>& key,
                                    const std::vector<uint8_t>& value, keymaster_blob_t* out) const {
  vcbor::Encoder enc(const_cast<uint8_t*>(out->data), out->data_length);
  enc.openMap();
  enc.addUInt64ToMapN(kLabelSlotId, static_cast<uint64_t>(static_cast<int64_t>(slotId)));
  enc.addBytesToMapN(kLabelKey, UsefulBufC{key.data(), key.size()});
  enc.addBytesToMapN(kLabelValue, UsefulBufC{value.data(), value.size()});
  enc.closeMap();
  return finishEncoding(enc, out);
}

int WeaverSerialize::deserializeConfig(const keymaster_blob_t& body,
                                       aidl::android::hardware::weaver::WeaverConfig* config) const {
  vcbor::Decoder dec(body.data, body.data_length);
  if (!openMap(dec)) return kDecodeFailed;
  int64_t values[3];
  const int64_t labels[3] = {kLabelSlots, kLabelKeySize, kLabelValueSize};
  for (int k = 0; k < 3; k++) {
    vcbor::Item item;
    if (!nextEntry(dec, labels[k], &item) || item.type != vcbor::kTypeInt64 || item.val.i64 < 0) {
      return kDecodeFailed;
    }
    // Clients get each size as a signed 32-bit number: one beyond INT32_MAX would reach them
    // negative (2^32 - 1 slots as -1), so such an answer is refused whole.
    if (item.val.i64 > INT32_MAX) {
      ALOGE("configuration entry %lld is %lld, beyond a 32-bit size: refused", static_cast<long long>(labels[k]),
            static_cast<long long>(item.val.i64));
      return kDecodeFailed;
    }
    values[k] = item.val.i64;
  }
  if (dec.finish() != vcbor::kSuccess) return kDecodeFailed;
  config->slots = static_cast<int32_t>(values[0]);
  config->keySize = static_cast<int32_t>(values[1]);
  config->valueSize = static_cast<int32_t>(values[2]);
  return 0;
}

int WeaverSerialize::deserializeRead(const keymaster_blob_t& body,
                                     aidl::android::hardware::weaver::WeaverReadResponse* response) const {
  vcbor::Decoder dec(body.data, body.data_length);
  if (!openMap(dec)) return kDecodeFailed;
  vcbor::Item status, timeout, value;
  if (!nextEntry(dec, kLabelStatus, &status) || !isInteger(status)) return kDecodeFailed;
  if (!nextEntry(dec, kLabelTimeout, &timeout) || !isInteger(timeout)) return kDecodeFailed;
  if (!nextEntry(dec, kLabelValue, &value) || value.type != vcbor::kTypeBytes) return kDecodeFailed;
  if (dec.finish() != vcbor::kSuccess) return kDecodeFailed;
  response->timeout = timeout.val.i64;
  response->status = static_cast<aidl::android::hardware::weaver::WeaverReadStatus>(
      static_cast<int32_t>(static_cast<uint32_t>(status.val.u64)));
  if (response->status == aidl::android::hardware::weaver::WeaverReadStatus::OK) {
    const auto* p = static_cast<const uint8_t*>(value.val.str.ptr);
    response->value.assign(p, p + value.val.str.len);
  } else {
    response->value.clear();
  }
  return 0;
}
