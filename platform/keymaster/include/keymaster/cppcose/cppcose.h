#pragma once
// The platform's COSE helpers that remote provisioning uses: HMAC-SHA256 and COSE_Mac0
// (RFC 8152) over cppbor items, with a value-or-message result.
#include <cppbor.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cppcose {

using bytevec = std::vector<uint8_t>;
using HmacSha256 = std::array<uint8_t, 32>;

// A value, or the message saying why there is none.
template <typename T>
class ErrMsgOr {
 public:
  ErrMsgOr(std::string errMsg) : errMsg_(std::move(errMsg)) {}  // NOLINT: implicit by design
  ErrMsgOr(const char* errMsg) : errMsg_(errMsg) {}               // NOLINT
  ErrMsgOr(T value) : value_(std::move(value)) {}                 // NOLINT

  bool isOk() const { return value_.has_value(); }
  explicit operator bool() const { return isOk(); }
  const std::string& message() const { return errMsg_; }

  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T moveValue() { return std::move(*value_); }

 private:
  std::optional<T> value_;
  std::string errMsg_;
};

using HmacSha256Function = std::function<ErrMsgOr<HmacSha256>(const bytevec&)>;

// Positions in a COSE_Mac0 array.
inline constexpr int kCoseMac0EntryCount = 4;
inline constexpr int kCoseMac0ProtectedParams = 0;
inline constexpr int kCoseMac0UnprotectedParams = 1;
inline constexpr int kCoseMac0Payload = 2;
inline constexpr int kCoseMac0Tag = 3;

// Header and COSE_Key labels.
enum Label : int {
  ALGORITHM = 1,
  KEY_ID = 4,
};
enum CoseKeyLabel : int {
  KEY_TYPE = 1,
  COSE_KEY_ALGORITHM = 3,
  CURVE = -1,
  PUBKEY_X = -2,
  PUBKEY_Y = -3,
  PRIVATE_KEY = -4,
  TEST_KEY = -70000,
};
enum CoseKeyType : int { OCTET_KEY_PAIR = 1, EC2 = 2, SYMMETRIC_KEY = 4 };
enum CoseKeyCurve : int { P256 = 1, X25519 = 4, ED25519 = 6 };
enum Algorithm : int { HMAC_256 = 5, ES256 = -7, EDDSA = -8 };

ErrMsgOr<HmacSha256> generateHmacSha256(const bytevec& key, const bytevec& data);

// The tag of a COSE_Mac0 whose protected header is {1: HMAC 256/256}: the MAC of the
// MAC_structure ["MAC0", protected, external data, payload].
ErrMsgOr<HmacSha256> generateCoseMac0Mac(HmacSha256Function macFunction, const bytevec& externalAad,
                                         const bytevec& payload);

// [protected {1: 5}, unprotected {}, payload, tag].
ErrMsgOr<cppbor::Array> constructCoseMac0(HmacSha256Function macFunction, const bytevec& externalAad,
                                          const bytevec& payload);

// The payload of a COSE_Mac0 whose tag verifies with `macKey`.
ErrMsgOr<bytevec> verifyAndParseCoseMac0(const cppbor::Item* macItem, const bytevec& macKey);

}  // namespace cppcose
