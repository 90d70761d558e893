#define LOG_TAG "SecProcKeyMasterCryptoDevice"

#include <log/log.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/param_build.h>
#include <openssl/x509.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "KeymasterCryptoDevice.h"

namespace keymasterdevice {

namespace {

// KeyMaster errors these conversions return that the C definitions do not name.
constexpr int32_t kUnsupportedAlgorithm = -4;
constexpr int32_t kKeyExportOptionsInvalid = -22;
constexpr int32_t kVerificationFailed = -30;

// The curve of every EC key whose public point arrives without a curve.
constexpr const char kExportCurve[] = "prime256v1";
constexpr size_t kExportCoordinateBytes = 32;

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using Pkey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using Pkcs8 = std::unique_ptr<PKCS8_PRIV_KEY_INFO, Deleter<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free>>;
using Bn = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;
using ParamBld = std::unique_ptr<OSSL_PARAM_BLD, Deleter<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>>;
using Params = std::unique_ptr<OSSL_PARAM, Deleter<OSSL_PARAM, OSSL_PARAM_free>>;
using EcdsaSig = std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG, ECDSA_SIG_free>>;

// Big-number lengths are handed to OpenSSL as int: a longer one would be cut short.
bool fitsInt(size_t length) { return length <= static_cast<size_t>(INT32_MAX); }

// A malloc'd copy of the number's minimal big-endian bytes, or nullptr with length 0.
uint8_t* bnToBytes(const BIGNUM* bn, size_t* length) {
  *length = 0;
  const int n = BN_num_bytes(bn);
  if (n <= 0) return nullptr;
  auto* out = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(n)));
  if (out == nullptr) return nullptr;
  *length = static_cast<size_t>(BN_bn2bin(bn, out));
  return out;
}

int expectedPkeyType(keymaster_algorithm_t algorithm) {
  switch (algorithm) {
    case KM_ALGORITHM_RSA:
      return EVP_PKEY_RSA;
    case KM_ALGORITHM_EC:
      return EVP_PKEY_EC;
    default:
      return -1;
  }
}

Pkey pkcs8ToEvp(keymaster_algorithm_t algorithm, const keymaster_blob_t* key) {
  if (key->data_length > static_cast<size_t>(LONG_MAX)) return nullptr;
  const uint8_t* p = key->data;
  Pkcs8 info(d2i_PKCS8_PRIV_KEY_INFO(nullptr, &p, static_cast<long>(key->data_length)));
  if (!info) return nullptr;
  Pkey pkey(EVP_PKCS82PKEY(info.get()));
  if (!pkey) return nullptr;
  const int type = EVP_PKEY_get_base_id(pkey.get());
  if (type != expectedPkeyType(algorithm)) {
    ALOGE("EVP key algorithm was %d, not the expected %d", type, expectedPkeyType(algorithm));
    return nullptr;
  }
  return pkey;
}

Pkey fromParams(const char* type, OSSL_PARAM_BLD* bld) {
  Params params(OSSL_PARAM_BLD_to_param(bld));
  PkeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, type, nullptr));
  EVP_PKEY* made = nullptr;
  if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) <= 0 ||
      EVP_PKEY_fromdata(ctx.get(), &made, EVP_PKEY_PUBLIC_KEY, params.get()) <= 0) {
    return nullptr;
  }
  return Pkey(made);
}

int32_t rsaPublicKey(const _keymaster_export_internal_t& key, Pkey* out) {
  if (key.public_exponent == nullptr || key.public_exponent_length == 0) {
    ALOGE("Key blob appears to have incorrect exponent");
    return kKeyExportOptionsInvalid;
  }
  if (key.modulus == nullptr || key.modulus_length == 0) {
    ALOGE("Key blob appears to have incorrect modulus");
    return kKeyExportOptionsInvalid;
  }
  if (!fitsInt(key.modulus_length) || !fitsInt(key.public_exponent_length)) {
    ALOGE("Failed to initialize  modulus");
    return kKeyExportOptionsInvalid;
  }
  Bn n(BN_bin2bn(key.modulus, static_cast<int>(key.modulus_length), nullptr));
  if (!n) {
    ALOGE("Failed to initialize  modulus");
    return kKeyExportOptionsInvalid;
  }
  Bn e(BN_bin2bn(key.public_exponent, static_cast<int>(key.public_exponent_length), nullptr));
  if (!e) {
    ALOGE("Failed to initialize public exponent");
    return kKeyExportOptionsInvalid;
  }
  ParamBld bld(OSSL_PARAM_BLD_new());
  if (!bld || OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) != 1 ||
      OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) != 1) {
    ALOGE("Could not allocate RSA structure");
    return kKeyExportOptionsInvalid;
  }
  *out = fromParams("RSA", bld.get());
  if (!*out) {
    ALOGE("Failed to assign rsa  parameters \n");
    return kKeyExportOptionsInvalid;
  }
  return KM_ERROR_OK;
}

int32_t ecPublicKey(const _keymaster_export_internal_t& key, Pkey* out) {
  if (key.ec_x == nullptr || key.ec_x_length == 0) {
    ALOGE("Key blob appears to have incorrect pubkey_x length");
    return kKeyExportOptionsInvalid;
  }
  if (key.ec_y == nullptr || key.ec_y_length == 0) {
    ALOGE("Key blob appears to have incorrect pubkey_y length");
    return kKeyExportOptionsInvalid;
  }
  // The record carries no curve: the point must lie on P-256, the one curve whose public
  // keys the secure processor exports this way.
  if (key.ec_x_length > kExportCoordinateBytes || key.ec_y_length > kExportCoordinateBytes) {
    ALOGE("EC_KEY_set_public_key_affine_coordinates get failed");
    return KM_ERROR_INVALID_KEY_BLOB;
  }
  uint8_t point[1 + 2 * kExportCoordinateBytes] = {POINT_CONVERSION_UNCOMPRESSED};
  std::memcpy(point + 1 + kExportCoordinateBytes - key.ec_x_length, key.ec_x, key.ec_x_length);
  std::memcpy(point + 1 + 2 * kExportCoordinateBytes - key.ec_y_length, key.ec_y, key.ec_y_length);
  ParamBld bld(OSSL_PARAM_BLD_new());
  if (!bld || OSSL_PARAM_BLD_push_utf8_string(bld.get(), OSSL_PKEY_PARAM_GROUP_NAME, kExportCurve, 0) != 1 ||
      OSSL_PARAM_BLD_push_octet_string(bld.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point) != 1) {
    ALOGE("group get failed");
    return KM_ERROR_INVALID_KEY_BLOB;
  }
  Pkey pkey = fromParams("EC", bld.get());
  PkeyCtx check(pkey ? EVP_PKEY_CTX_new_from_pkey(nullptr, pkey.get(), nullptr) : nullptr);
  if (!check || EVP_PKEY_public_check(check.get()) != 1) {
    ALOGE("EC_KEY_set_public_key_affine_coordinates get failed");
    return KM_ERROR_INVALID_KEY_BLOB;
  }
  *out = std::move(pkey);
  return KM_ERROR_OK;
}

bool isDer(const ECDSA_SIG* sig, const keymaster_blob_t& encoded) {
  uint8_t* der = nullptr;
  const int len = i2d_ECDSA_SIG(sig, &der);
  const bool same = len > 0 && static_cast<size_t>(len) == encoded.data_length &&
                    std::memcmp(der, encoded.data, encoded.data_length) == 0;
  OPENSSL_free(der);
  return same;
}

}  // namespace

KeymasterCryptoDevice::~KeymasterCryptoDevice() = default;

int32_t KeymasterCryptoDevice::pkcs8_to_internal(keymaster_algorithm_t algorithm, const keymaster_blob_t* key,
                                                 _keymaster_ec_import_internal_t* out) {
  if (key == nullptr || key->data == nullptr || out == nullptr || key->data_length == 0) {
    return KM_ERROR_UNEXPECTED_NULL_POINTER;
  }
  Pkey pkey = pkcs8ToEvp(algorithm, key);
  if (!pkey) {
    ALOGE("convert_pkcs8_blob_to_evp failed with ret:%d", KM_ERROR_INVALID_KEY_BLOB);
    ALOGE("import_alg:%u", static_cast<unsigned>(algorithm));
    ALOGE("key_data->data_length:%zu", key->data_length);
    return KM_ERROR_INVALID_KEY_BLOB;
  }
  if (EVP_PKEY_get_base_id(pkey.get()) != EVP_PKEY_EC) {
    ALOGE("pEcKey get failed");
    return KM_ERROR_INVALID_KEY_BLOB;
  }
  BIGNUM* raw = nullptr;
  if (EVP_PKEY_get_bn_param(pkey.get(), OSSL_PKEY_PARAM_PRIV_KEY, &raw) != 1) {
    ALOGE("pEcPrivKey get failed");
    return KM_ERROR_INVALID_KEY_BLOB;
  }
  Bn priv(raw);
  BIGNUM* rawX = nullptr;
  BIGNUM* rawY = nullptr;
  const bool gotX = EVP_PKEY_get_bn_param(pkey.get(), OSSL_PKEY_PARAM_EC_PUB_X, &rawX) == 1;
  Bn x(rawX);
  const bool gotY = EVP_PKEY_get_bn_param(pkey.get(), OSSL_PKEY_PARAM_EC_PUB_Y, &rawY) == 1;
  Bn y(rawY);
  if (!gotX || !gotY) {
    ALOGE("EC_POINT_get_affine_coordinates_GFp failed");
    return KM_ERROR_INVALID_KEY_BLOB;
  }

  _keymaster_ec_import_internal_t r{};
  r.private_key = bnToBytes(priv.get(), &r.private_key_length);
  r.public_x = bnToBytes(x.get(), &r.public_x_length);
  r.public_y = bnToBytes(y.get(), &r.public_y_length);
  if (r.private_key == nullptr || r.public_x == nullptr || r.public_y == nullptr) {
    ALOGE("Could not allocate memory for public key data");
    std::free(r.private_key);
    std::free(r.public_x);
    std::free(r.public_y);
    return kKeyExportOptionsInvalid;
  }
  int bits = EVP_PKEY_get_bits(pkey.get());
  if (bits <= 0) {
    char group[64] = {};
    size_t len = 0;
    const bool named = EVP_PKEY_get_utf8_string_param(pkey.get(), OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                                      &len) == 1;
    bits = named && OBJ_txt2nid(group) == NID_secp224r1 ? 224 : 0;
  }
  r.key_size = static_cast<uint32_t>(bits);
  *out = r;
  return KM_ERROR_OK;
}

int32_t KeymasterCryptoDevice::internal_to_x509(_keymaster_export_internal_t* key, keymaster_blob_t* out) {
  if (key == nullptr || out == nullptr) return KM_ERROR_UNEXPECTED_NULL_POINTER;
  Pkey pkey;
  int32_t rc;
  switch (key->algorithm) {
    case KM_ALGORITHM_RSA:
      rc = rsaPublicKey(*key, &pkey);
      break;
    case KM_ALGORITHM_EC:
      rc = ecPublicKey(*key, &pkey);
      break;
    default:
      ALOGE("Unsupported Alg: %u", key->algorithm);
      return kUnsupportedAlgorithm;
  }
  if (rc != KM_ERROR_OK) return rc;
  const int len = i2d_PUBKEY(pkey.get(), nullptr);
  if (len <= 0) {
    ALOGE("Len returned is < 0 len = %d", len);
    return kKeyExportOptionsInvalid;
  }
  auto* der = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(len)));
  if (der == nullptr) {
    ALOGE("Could not allocate memory for public key data");
    return kKeyExportOptionsInvalid;
  }
  uint8_t* p = der;
  const int len2 = i2d_PUBKEY(pkey.get(), &p);
  if (len2 != len) {
    ALOGE("Len 2 returned is < 0 len = %d", len2);
    std::free(der);
    return kKeyExportOptionsInvalid;
  }
  out->data = der;
  out->data_length = static_cast<size_t>(len);
  return KM_ERROR_OK;
}

int32_t KeymasterCryptoDevice::ecsig_to_internal(const keymaster_blob_t* signature, _keymaster_ec_sig_internal_t* out) {
  if (signature == nullptr || signature->data == nullptr || out == nullptr) return KM_ERROR_UNEXPECTED_NULL_POINTER;
  if (signature->data_length > static_cast<size_t>(LONG_MAX)) return kVerificationFailed;
  const uint8_t* p = signature->data;
  EcdsaSig sig(d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(signature->data_length)));
  // Only the DER form is taken: a BER variant (long-form or padded lengths) would give a
  // second encoding of the same signature.
  if (!sig || p != signature->data + signature->data_length || !isDer(sig.get(), *signature)) {
    ALOGE("ecdsa_sig NULL or validation failed");
    return kVerificationFailed;
  }
  const BIGNUM* r = nullptr;
  const BIGNUM* s = nullptr;
  ECDSA_SIG_get0(sig.get(), &r, &s);
  if (BN_num_bytes(r) <= 0 || BN_num_bytes(s) <= 0) return kVerificationFailed;
  _keymaster_ec_sig_internal_t v{};
  v.r = bnToBytes(r, &v.r_length);
  v.s = bnToBytes(s, &v.s_length);
  if (v.r == nullptr || v.s == nullptr) {
    std::free(v.r);
    std::free(v.s);
    return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  }
  *out = v;
  return KM_ERROR_OK;
}

int32_t KeymasterCryptoDevice::internal_to_ecsig(_keymaster_ec_sig_internal_t* signature, keymaster_blob_t* out) {
  if (signature == nullptr || out == nullptr || signature->r == nullptr || signature->r_length == 0 ||
      signature->s == nullptr || signature->s_length == 0) {
    return KM_ERROR_UNEXPECTED_NULL_POINTER;
  }
  if (!fitsInt(signature->r_length) || !fitsInt(signature->s_length)) return KM_ERROR_INVALID_INPUT_LENGTH;
  EcdsaSig sig(ECDSA_SIG_new());
  if (!sig) {
    ALOGE("ECDSA_SIG_new failed");
    return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  }
  Bn r(BN_bin2bn(signature->r, static_cast<int>(signature->r_length), nullptr));
  Bn s(BN_bin2bn(signature->s, static_cast<int>(signature->s_length), nullptr));
  if (!r || !s || ECDSA_SIG_set0(sig.get(), r.get(), s.get()) != 1) {
    ALOGE("ECDSA_SIG_new failed");
    return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  }
  r.release();  // now the signature's
  s.release();
  const int len = i2d_ECDSA_SIG(sig.get(), nullptr);
  if (len <= 0) {
    ALOGE("i2d_ECDSA_SIG failed");
    return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  }
  auto* der = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(len)));
  if (der == nullptr) return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  uint8_t* p = der;
  const int len2 = i2d_ECDSA_SIG(sig.get(), &p);
  if (len2 != len || len2 == 0) {
    ALOGE("i2d_ECDSA_SIG failed");
    std::free(der);
    return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  }
  out->data = der;
  out->data_length = static_cast<size_t>(len);
  return KM_ERROR_OK;
}

}  // namespace keymasterdevice
