#pragma once
// Test helper: P-256 keys and self-signed certificates made directly with OpenSSL, for
// tests that need a certificate the way a secure processor returns it.
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace ectest {

using Bytes = std::vector<uint8_t>;
using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

inline Key newKey(const char* curve = "P-256") { return Key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", curve), EVP_PKEY_free); }

// A DER X.509 certificate for `key`, signed by itself.
inline Bytes selfSignedCert(EVP_PKEY* key) {
  std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("test key"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  X509_set_pubkey(cert.get(), key);
  if (X509_sign(cert.get(), key, EVP_sha256()) == 0) return {};
  int len = i2d_X509(cert.get(), nullptr);
  Bytes out(static_cast<size_t>(len > 0 ? len : 0));
  unsigned char* p = out.data();
  i2d_X509(cert.get(), &p);
  return out;
}

// The public point's affine coordinates, 32 bytes each.
inline std::pair<Bytes, Bytes> coordinates(EVP_PKEY* key) {
  BIGNUM* x = nullptr;
  BIGNUM* y = nullptr;
  Bytes bx(32), by(32);
  EVP_PKEY_get_bn_param(key, "qx", &x);
  EVP_PKEY_get_bn_param(key, "qy", &y);
  BN_bn2binpad(x, bx.data(), 32);
  BN_bn2binpad(y, by.data(), 32);
  BN_free(x);
  BN_free(y);
  return {bx, by};
}

inline Bytes hmacSha256(const Bytes& key, const Bytes& data) {
  Bytes out(32);
  size_t len = out.size();
  EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA256", nullptr, key.data(), key.size(), data.data(), data.size(), out.data(),
            out.size(), &len);
  return out;
}

}  // namespace ectest
