// The software remote-provisioning context, the validator of MACed public keys, public
// keys out of certificates, random bytes, and the stand-in's test control.
#include <keymaster/contexts/pure_soft_remote_provisioning_context.h>
#include <keymaster/km_openssl/openssl_utils.h>
#include <keymaster/remote_provisioning_utils.h>
#include <keymaster/soft_rkp_test.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/obj_mac.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <atomic>
#include <cppbor_parse.h>
#include <cstring>
#include <memory>

#include "soft_rkp_state.h"

namespace keymaster {

namespace {

std::atomic<bool> gMacFails{false};
std::atomic<bool> gRandomFails{false};
std::atomic<bool> gAllocationFails{false};

// HKDF-SHA256 over the software stand-in for the hardware-bound key (32 zero bytes).
cppcose::bytevec deriveFromSoftHbk(const char* context, size_t length) {
  const cppcose::bytevec hbk(32, 0);
  cppcose::bytevec out(length);
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_HKDF, nullptr),
                                                                   EVP_PKEY_CTX_free);
  size_t outLen = out.size();
  if (!ctx || EVP_PKEY_derive_init(ctx.get()) <= 0 || EVP_PKEY_CTX_set_hkdf_md(ctx.get(), EVP_sha256()) <= 0 ||
      EVP_PKEY_CTX_set1_hkdf_key(ctx.get(), hbk.data(), static_cast<int>(hbk.size())) <= 0 ||
      EVP_PKEY_CTX_add1_hkdf_info(ctx.get(), reinterpret_cast<const unsigned char*>(context),
                                  static_cast<int>(std::strlen(context))) <= 0 ||
      EVP_PKEY_derive(ctx.get(), out.data(), &outLen) <= 0 || outLen != length) {
    return {};
  }
  return out;
}

constexpr const char kMacKeyContext[] = "Key to MAC public keys";

keymaster_error_t rkpError(int32_t status) { return static_cast<keymaster_error_t>(-status); }

bool isP256CoseKey(const cppbor::Map& key) {
  auto intIs = [&](int label, int64_t want) {
    const auto& v = key.get(label);
    return v && v->asInt() != nullptr && v->asInt()->value() == want;
  };
  auto coordinate = [&](int label) {
    const auto& v = key.get(label);
    return v && v->asBstr() != nullptr && v->asBstr()->value().size() == 32;
  };
  return intIs(cppcose::KEY_TYPE, cppcose::EC2) && intIs(cppcose::COSE_KEY_ALGORITHM, cppcose::ES256) &&
         intIs(cppcose::CURVE, cppcose::P256) && coordinate(cppcose::PUBKEY_X) && coordinate(cppcose::PUBKEY_Y);
}

}  // namespace

namespace soft_rkp {
bool contextMacFails() { return gMacFails.load(); }
bool randomFails() { return gRandomFails.load(); }
bool takeAllocationFailure() { return gAllocationFails.exchange(false); }
}  // namespace soft_rkp

namespace testing {
cppcose::bytevec softContextMacKey() { return deriveFromSoftHbk(kMacKeyContext, 32); }
void setContextMacFails(bool fails) { gMacFails = fails; }
void setRandomFails(bool fails) { gRandomFails = fails; }
void failNextKeysToSignAllocation() { gAllocationFails = true; }
void reset() {
  gMacFails = false;
  gRandomFails = false;
  gAllocationFails = false;
}
}  // namespace testing

PureSoftRemoteProvisioningContext::PureSoftRemoteProvisioningContext(keymaster_security_level_t level)
    : level_(level) {}
PureSoftRemoteProvisioningContext::~PureSoftRemoteProvisioningContext() = default;

std::optional<cppcose::HmacSha256> PureSoftRemoteProvisioningContext::GenerateHmacSha256(
    const cppcose::bytevec& input) const {
  if (soft_rkp::contextMacFails()) return std::nullopt;
  const cppcose::bytevec key = deriveFromSoftHbk(kMacKeyContext, 32);
  if (key.empty()) return std::nullopt;
  auto mac = cppcose::generateHmacSha256(key, input);
  if (!mac) return std::nullopt;
  return *mac;
}

std::pair<cppbor::Array, keymaster_error_t> validateAndExtractPubkeys(bool testMode, size_t numKeys,
                                                                      const KeymasterBlob* keysToSign,
                                                                      const cppcose::HmacSha256Function& macFunction) {
  cppbor::Array pubKeys;
  if (numKeys != 0 && keysToSign == nullptr) return {cppbor::Array(), rkpError(kStatusFailed)};
  for (size_t i = 0; i < numKeys; i++) {
    auto [macedKey, end, err] = cppbor::parse(keysToSign[i].begin(), keysToSign[i].size());
    const cppbor::Array* mac = macedKey ? macedKey->asArray() : nullptr;
    if (mac == nullptr || end != keysToSign[i].end() || mac->size() != cppcose::kCoseMac0EntryCount ||
        mac->get(cppcose::kCoseMac0Payload)->asBstr() == nullptr ||
        mac->get(cppcose::kCoseMac0Tag)->asBstr() == nullptr) {
      return {cppbor::Array(), rkpError(kStatusFailed)};
    }
    const cppbor::Bstr* protectedParms = mac->get(cppcose::kCoseMac0ProtectedParams)->asBstr();
    if (protectedParms == nullptr || mac->get(cppcose::kCoseMac0UnprotectedParams)->asMap() == nullptr ||
        protectedParms->value() != cppbor::Map().add(cppcose::ALGORITHM, cppcose::HMAC_256).encode()) {
      return {cppbor::Array(), rkpError(kStatusFailed)};
    }
    const cppcose::bytevec& payload = mac->get(cppcose::kCoseMac0Payload)->asBstr()->value();
    auto expected = cppcose::generateCoseMac0Mac(macFunction, {}, payload);
    const cppcose::bytevec& tag = mac->get(cppcose::kCoseMac0Tag)->asBstr()->value();
    if (!expected || tag.size() != expected->size() ||
        CRYPTO_memcmp(tag.data(), expected->data(), tag.size()) != 0) {
      return {cppbor::Array(), rkpError(kStatusInvalidMac)};
    }
    auto [coseKey, keyEnd, keyErr] = cppbor::parse(payload);
    if (!coseKey || coseKey->asMap() == nullptr || keyEnd != payload.data() + payload.size() ||
        !isP256CoseKey(*coseKey->asMap())) {
      return {cppbor::Array(), rkpError(kStatusFailed)};
    }
    const bool testKey = static_cast<bool>(coseKey->asMap()->get(cppcose::TEST_KEY));
    if (testMode && !testKey) return {cppbor::Array(), rkpError(kStatusProductionKeyInTestRequest)};
    if (!testMode && testKey) return {cppbor::Array(), rkpError(kStatusTestKeyInProductionRequest)};
    pubKeys.add(std::move(coseKey));
  }
  return {std::move(pubKeys), KM_ERROR_OK};
}

keymaster_error_t GetEcdsa256KeyFromCert(const keymaster_blob_t* km_cert, uint8_t* x_coord, size_t x_length,
                                         uint8_t* y_coord, size_t y_length) {
  if (km_cert == nullptr || km_cert->data == nullptr || x_coord == nullptr || y_coord == nullptr) {
    return KM_ERROR_UNEXPECTED_NULL_POINTER;
  }
  if (x_length != 32 || y_length != 32) return KM_ERROR_INVALID_ARGUMENT;
  const uint8_t* p = km_cert->data;
  std::unique_ptr<X509, decltype(&X509_free)> cert(d2i_X509(nullptr, &p, static_cast<long>(km_cert->data_length)),
                                                   X509_free);
  if (!cert || p != km_cert->data + km_cert->data_length) return KM_ERROR_INVALID_ARGUMENT;
  EVP_PKEY* key = X509_get0_pubkey(cert.get());
  if (key == nullptr || EVP_PKEY_get_base_id(key) != EVP_PKEY_EC) return KM_ERROR_INVALID_ARGUMENT;
  char curve[64] = {};
  size_t curveLen = 0;
  if (EVP_PKEY_get_utf8_string_param(key, "group", curve, sizeof curve, &curveLen) != 1 ||
      OBJ_txt2nid(curve) != NID_X9_62_prime256v1) {
    return KM_ERROR_INVALID_ARGUMENT;
  }
  BIGNUM* x = nullptr;
  BIGNUM* y = nullptr;
  keymaster_error_t rc = KM_ERROR_OK;
  if (EVP_PKEY_get_bn_param(key, "qx", &x) != 1 || EVP_PKEY_get_bn_param(key, "qy", &y) != 1 ||
      BN_bn2binpad(x, x_coord, 32) != 32 || BN_bn2binpad(y, y_coord, 32) != 32) {
    rc = KM_ERROR_INVALID_ARGUMENT;
  }
  BN_free(x);
  BN_free(y);
  return rc;
}

keymaster_error_t GenerateRandom(uint8_t* buf, size_t length) {
  if (soft_rkp::randomFails()) return KM_ERROR_UNKNOWN_ERROR;
  if (length == 0) return KM_ERROR_OK;
  if (buf == nullptr || length > INT32_MAX) return KM_ERROR_UNEXPECTED_NULL_POINTER;
  return RAND_bytes(buf, static_cast<int>(length)) == 1 ? KM_ERROR_OK : KM_ERROR_UNKNOWN_ERROR;
}

}  // namespace keymaster
