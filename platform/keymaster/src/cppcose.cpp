// HMAC-SHA256 and COSE_Mac0 with OpenSSL.
#include <keymaster/cppcose/cppcose.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace cppcose {

namespace {

bytevec macProtectedHeader() { return cppbor::Map().add(ALGORITHM, HMAC_256).encode(); }

bytevec macStructure(const bytevec& protectedHeader, const bytevec& externalAad, const bytevec& payload) {
  return cppbor::Array().add("MAC0").add(protectedHeader).add(externalAad).add(payload).encode();
}

}  // namespace

ErrMsgOr<HmacSha256> generateHmacSha256(const bytevec& key, const bytevec& data) {
  HmacSha256 mac{};
  unsigned int len = 0;
  static const uint8_t kEmpty = 0;
  if (HMAC(EVP_sha256(), key.empty() ? &kEmpty : key.data(), static_cast<int>(key.size()),
           data.empty() ? &kEmpty : data.data(), data.size(), mac.data(), &len) == nullptr ||
      len != mac.size()) {
    return "Error computing HMAC";
  }
  return mac;
}

ErrMsgOr<HmacSha256> generateCoseMac0Mac(HmacSha256Function macFunction, const bytevec& externalAad,
                                         const bytevec& payload) {
  if (!macFunction) return "No MAC function";
  return macFunction(macStructure(macProtectedHeader(), externalAad, payload));
}

ErrMsgOr<cppbor::Array> constructCoseMac0(HmacSha256Function macFunction, const bytevec& externalAad,
                                          const bytevec& payload) {
  auto tag = generateCoseMac0Mac(std::move(macFunction), externalAad, payload);
  if (!tag) return tag.message();
  return cppbor::Array()
      .add(cppbor::Bstr(macProtectedHeader()))
      .add(cppbor::Map())
      .add(cppbor::Bstr(payload))
      .add(cppbor::Bstr(bytevec(tag->begin(), tag->end())));
}

ErrMsgOr<bytevec> verifyAndParseCoseMac0(const cppbor::Item* macItem, const bytevec& macKey) {
  const cppbor::Array* mac = macItem != nullptr ? macItem->asArray() : nullptr;
  if (mac == nullptr || mac->size() != kCoseMac0EntryCount) return "Invalid COSE_Mac0";
  const cppbor::Bstr* protectedParms = mac->get(kCoseMac0ProtectedParams)->asBstr();
  const cppbor::Map* unprotectedParms = mac->get(kCoseMac0UnprotectedParams)->asMap();
  const cppbor::Bstr* payload = mac->get(kCoseMac0Payload)->asBstr();
  const cppbor::Bstr* tag = mac->get(kCoseMac0Tag)->asBstr();
  if (protectedParms == nullptr || unprotectedParms == nullptr || payload == nullptr || tag == nullptr) {
    return "Invalid COSE_Mac0 contents";
  }
  if (protectedParms->value() != macProtectedHeader()) return "Unsupported COSE_Mac0 algorithm";
  auto expected = generateCoseMac0Mac(
      [&](const bytevec& input) { return generateHmacSha256(macKey, input); }, {}, payload->value());
  if (!expected) return expected.message();
  if (tag->value().size() != expected->size() ||
      CRYPTO_memcmp(tag->value().data(), expected->data(), expected->size()) != 0) {
    return "MAC tag mismatch";
  }
  return payload->value();
}

}  // namespace cppcose
