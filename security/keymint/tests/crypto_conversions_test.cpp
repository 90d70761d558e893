// The crypto conversions: PKCS#8 and SubjectPublicKeyInfo against OpenSSL's own encodings,
// and the DER <-> (r, s) signature conversions driven by the Wycheproof P-256 vectors.
#include <gtest/gtest.h>
#include <json/json.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "KeymasterCryptoDevice.h"
#include "ec_test_keys.h"

namespace {

using keymasterdevice::_keymaster_ec_import_internal_t;
using keymasterdevice::_keymaster_ec_sig_internal_t;
using keymasterdevice::_keymaster_export_internal_t;
using keymasterdevice::KeymasterCryptoDevice;
using Bytes = std::vector<uint8_t>;

const std::string kWycheproof = VENDOR_TESTDATA_DIR "/wycheproof/testvectors_v1/";

Bytes hex(const std::string& s) {
  Bytes out;
  for (size_t i = 0; i + 1 < s.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoul(s.substr(i, 2), nullptr, 16)));
  return out;
}

Bytes strip(Bytes b) {
  size_t i = 0;
  while (i < b.size() && b[i] == 0) i++;
  return Bytes(b.begin() + static_cast<long>(i), b.end());
}

Json::Value loadVectors(const std::string& file) {
  std::ifstream in(kWycheproof + file);
  Json::Value root;
  Json::CharReaderBuilder builder;
  std::string errs;
  EXPECT_TRUE(Json::parseFromStream(builder, in, &root, &errs)) << file << ": " << errs;
  return root;
}

ectest::Key publicKeyFromDer(const Bytes& der) {
  const uint8_t* p = der.data();
  return ectest::Key(d2i_PUBKEY(nullptr, &p, static_cast<long>(der.size())), EVP_PKEY_free);
}

bool verifies(EVP_PKEY* key, const Bytes& msg, const Bytes& derSig) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  return EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key) == 1 &&
         EVP_DigestVerify(ctx.get(), derSig.data(), derSig.size(), msg.data(), msg.size()) == 1;
}

// The SubjectPublicKeyInfo OpenSSL writes for `key`.
Bytes spki(EVP_PKEY* key) {
  unsigned char* der = nullptr;
  const int len = i2d_PUBKEY(key, &der);
  Bytes out(der, der + (len > 0 ? len : 0));
  OPENSSL_free(der);
  return out;
}

struct Owned {
  ~Owned() {
    std::free(sig.r);
    std::free(sig.s);
    std::free(const_cast<uint8_t*>(blob.data));
  }
  _keymaster_ec_sig_internal_t sig{};
  keymaster_blob_t blob{};
};

// Flags of the vectors whose DER is not a strict encoding of two non-negative integers.
const std::set<std::string> kMalformed = {"InvalidEncoding", "BerEncodedSignature", "MissingZero",
                                          "InvalidTypesInSignature"};

TEST(CryptoConversions, WycheproofDerSignaturesConvertOrAreRefused) {
  const Json::Value root = loadVectors("ecdsa_secp256r1_sha256_test.json");
  KeymasterCryptoDevice dev;
  int valid = 0, malformed = 0, acceptedInvalid = 0;
  for (const Json::Value& group : root["testGroups"]) {
    auto key = publicKeyFromDer(hex(group["publicKeyDer"].asString()));
    ASSERT_TRUE(key);
    for (const Json::Value& t : group["tests"]) {
      const Bytes der = hex(t["sig"].asString());
      const Bytes msg = hex(t["msg"].asString());
      const std::string id = "tcId " + t["tcId"].asString() + " " + t["comment"].asString();
      bool isMalformed = false;
      for (const Json::Value& f : t["flags"]) isMalformed |= kMalformed.count(f.asString()) != 0;
      Owned o;
      static const uint8_t kNothing = 0;
      keymaster_blob_t in{der.empty() ? &kNothing : der.data(), der.size()};
      const int32_t rc = dev.ecsig_to_internal(&in, &o.sig);
      if (t["result"].asString() == "valid") {
        valid++;
        ASSERT_EQ(rc, 0) << id;
        // r and s come out minimal, and going back gives the very same DER, which verifies.
        ASSERT_TRUE(o.sig.r_length > 0 && o.sig.r[0] != 0 && o.sig.s_length > 0 && o.sig.s[0] != 0) << id;
        ASSERT_EQ(dev.internal_to_ecsig(&o.sig, &o.blob), 0) << id;
        EXPECT_EQ(Bytes(o.blob.data, o.blob.data + o.blob.data_length), der) << id;
        EXPECT_TRUE(verifies(key.get(), msg, Bytes(o.blob.data, o.blob.data + o.blob.data_length))) << id;
      } else if (isMalformed) {
        malformed++;
        EXPECT_EQ(rc, -30) << id;
        EXPECT_EQ(o.sig.r, nullptr) << id;
      } else if (rc == 0) {
        // A well-formed but wrong signature may convert; then nothing is lost on the way:
        // the numbers encode back to the same bytes, which still do not verify.
        acceptedInvalid++;
        ASSERT_EQ(dev.internal_to_ecsig(&o.sig, &o.blob), 0) << id;
        const Bytes back(o.blob.data, o.blob.data + o.blob.data_length);
        EXPECT_EQ(back, der) << id;
        EXPECT_FALSE(verifies(key.get(), msg, back)) << id;
      }
    }
  }
  EXPECT_GT(valid, 150);
  EXPECT_GT(malformed, 150);
  EXPECT_GT(acceptedInvalid, 0);
  std::printf("valid %d, malformed %d, well-formed invalid accepted %d\n", valid, malformed, acceptedInvalid);
}

TEST(CryptoConversions, WycheproofRawSignaturesBecomeDerThatVerifies) {
  const Json::Value root = loadVectors("ecdsa_secp256r1_sha256_p1363_test.json");
  KeymasterCryptoDevice dev;
  int converted = 0;
  for (const Json::Value& group : root["testGroups"]) {
    auto key = publicKeyFromDer(hex(group["publicKeyDer"].asString()));
    ASSERT_TRUE(key);
    for (const Json::Value& t : group["tests"]) {
      const Bytes raw = hex(t["sig"].asString());
      if (t["result"].asString() != "valid") continue;
      ASSERT_EQ(raw.size(), 64u);
      Bytes r = strip(Bytes(raw.begin(), raw.begin() + 32));
      Bytes s = strip(Bytes(raw.begin() + 32, raw.end()));
      _keymaster_ec_sig_internal_t in{r.data(), r.size(), s.data(), s.size()};
      Owned o;
      ASSERT_EQ(dev.internal_to_ecsig(&in, &o.blob), 0) << t["tcId"].asString();
      const Bytes der(o.blob.data, o.blob.data + o.blob.data_length);
      EXPECT_TRUE(verifies(key.get(), hex(t["msg"].asString()), der)) << t["tcId"].asString();
      // And back to the same numbers.
      ASSERT_EQ(dev.ecsig_to_internal(&o.blob, &o.sig), 0);
      EXPECT_EQ(Bytes(o.sig.r, o.sig.r + o.sig.r_length), r);
      EXPECT_EQ(Bytes(o.sig.s, o.sig.s + o.sig.s_length), s);
      converted++;
    }
  }
  EXPECT_GT(converted, 50);
}

TEST(CryptoConversions, SignatureArgumentsAndTrailingBytes) {
  KeymasterCryptoDevice dev;
  Bytes der = {0x30, 0x06, 0x02, 0x01, 0x05, 0x02, 0x01, 0x07};
  Owned o;
  keymaster_blob_t in{der.data(), der.size()};
  ASSERT_EQ(dev.ecsig_to_internal(&in, &o.sig), 0);
  EXPECT_EQ(Bytes(o.sig.r, o.sig.r + o.sig.r_length), Bytes{5});
  der.push_back(0x00);
  keymaster_blob_t longer{der.data(), der.size()};
  _keymaster_ec_sig_internal_t untouched{};
  EXPECT_EQ(dev.ecsig_to_internal(&longer, &untouched), -30);
  EXPECT_EQ(untouched.r, nullptr);
  const Bytes zero = {0x30, 0x06, 0x02, 0x01, 0x00, 0x02, 0x01, 0x07};  // r = 0 has no bytes
  keymaster_blob_t z{zero.data(), zero.size()};
  EXPECT_EQ(dev.ecsig_to_internal(&z, &untouched), -30);
  EXPECT_EQ(dev.ecsig_to_internal(nullptr, &untouched), -32);
  EXPECT_EQ(dev.ecsig_to_internal(&in, nullptr), -32);

  uint8_t one = 1;
  _keymaster_ec_sig_internal_t noS{&one, 1, &one, 0};
  keymaster_blob_t out{};
  EXPECT_EQ(dev.internal_to_ecsig(&noS, &out), -32);
  // A length OpenSSL cannot take is refused before a byte is read.
  _keymaster_ec_sig_internal_t huge{&one, (size_t{1} << 32) + 1, &one, 1};  // as an int: 1
  EXPECT_EQ(dev.internal_to_ecsig(&huge, &out), -21);
  EXPECT_EQ(out.data, nullptr);
}

TEST(CryptoConversions, Pkcs8EcKeySplitsIntoItsNumbers) {
  KeymasterCryptoDevice dev;
  for (int i = 0; i < 4; i++) {
    auto key = ectest::newKey();
    std::unique_ptr<PKCS8_PRIV_KEY_INFO, decltype(&PKCS8_PRIV_KEY_INFO_free)> info(EVP_PKEY2PKCS8(key.get()),
                                                                                  PKCS8_PRIV_KEY_INFO_free);
    unsigned char* der = nullptr;
    const int len = i2d_PKCS8_PRIV_KEY_INFO(info.get(), &der);
    keymaster_blob_t blob{der, static_cast<size_t>(len)};
    _keymaster_ec_import_internal_t out{};
    ASSERT_EQ(dev.pkcs8_to_internal(KM_ALGORITHM_EC, &blob, &out), 0);
    BIGNUM* priv = nullptr;
    EVP_PKEY_get_bn_param(key.get(), "priv", &priv);
    Bytes want(static_cast<size_t>(BN_num_bytes(priv)));
    BN_bn2bin(priv, want.data());
    BN_free(priv);
    EXPECT_EQ(Bytes(out.private_key, out.private_key + out.private_key_length), want);
    const auto [x, y] = ectest::coordinates(key.get());
    EXPECT_EQ(Bytes(out.public_x, out.public_x + out.public_x_length), strip(x));
    EXPECT_EQ(Bytes(out.public_y, out.public_y + out.public_y_length), strip(y));
    EXPECT_EQ(out.key_size, 256u);

    // An EC key asked for as RSA, and an empty blob.
    _keymaster_ec_import_internal_t untouched{};
    EXPECT_EQ(dev.pkcs8_to_internal(KM_ALGORITHM_RSA, &blob, &untouched), -33);
    EXPECT_EQ(dev.pkcs8_to_internal(KM_ALGORITHM_AES, &blob, &untouched), -33);
    keymaster_blob_t empty{der, 0};
    EXPECT_EQ(dev.pkcs8_to_internal(KM_ALGORITHM_EC, &empty, &untouched), -32);
    EXPECT_EQ(untouched.private_key, nullptr);
    OPENSSL_free(der);
    std::free(out.private_key);
    std::free(out.public_x);
    std::free(out.public_y);
  }
}

TEST(CryptoConversions, Pkcs8RsaKeyPassesTheTypeCheckAndStopsThere) {
  KeymasterCryptoDevice dev;
  ectest::Key rsa(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", size_t{1024}), EVP_PKEY_free);
  std::unique_ptr<PKCS8_PRIV_KEY_INFO, decltype(&PKCS8_PRIV_KEY_INFO_free)> info(EVP_PKEY2PKCS8(rsa.get()),
                                                                                PKCS8_PRIV_KEY_INFO_free);
  unsigned char* der = nullptr;
  const int len = i2d_PKCS8_PRIV_KEY_INFO(info.get(), &der);
  keymaster_blob_t blob{der, static_cast<size_t>(len)};
  _keymaster_ec_import_internal_t out{};
  EXPECT_EQ(dev.pkcs8_to_internal(KM_ALGORITHM_RSA, &blob, &out), -33);
  EXPECT_EQ(out.private_key, nullptr);
  OPENSSL_free(der);
}

// The export record names no curve: its EC public point is taken as P-256, and a point that
// is not on P-256 is refused instead of being encoded without a group.
TEST(CryptoConversions, EcExportIsAP256SubjectPublicKeyInfo) {
  KeymasterCryptoDevice dev;
  auto key = ectest::newKey();
  auto [x, y] = ectest::coordinates(key.get());
  Bytes sx = strip(x), sy = strip(y);
  _keymaster_export_internal_t rec{};
  rec.algorithm = KM_ALGORITHM_EC;
  rec.ec_x = sx.data();
  rec.ec_x_length = sx.size();
  rec.ec_y = sy.data();
  rec.ec_y_length = sy.size();
  Owned o;
  ASSERT_EQ(dev.internal_to_x509(&rec, &o.blob), 0);
  EXPECT_EQ(Bytes(o.blob.data, o.blob.data + o.blob.data_length), spki(key.get()));

  // Off the curve, too long, missing, and another algorithm.
  Bytes badY = sy;
  badY.back() ^= 1;
  rec.ec_y = badY.data();
  keymaster_blob_t none{};
  EXPECT_EQ(dev.internal_to_x509(&rec, &none), -33);
  Bytes longX(33, 1);
  rec.ec_y = sy.data();
  rec.ec_x = longX.data();
  rec.ec_x_length = longX.size();
  EXPECT_EQ(dev.internal_to_x509(&rec, &none), -33);
  rec.ec_x_length = 0;
  EXPECT_EQ(dev.internal_to_x509(&rec, &none), -22);
  rec.algorithm = 2;
  EXPECT_EQ(dev.internal_to_x509(&rec, &none), -4);
  EXPECT_EQ(none.data, nullptr);
  EXPECT_EQ(dev.internal_to_x509(nullptr, &none), -32);
}

TEST(CryptoConversions, RsaExportIsTheSubjectPublicKeyInfoOfModulusAndExponent) {
  KeymasterCryptoDevice dev;
  ectest::Key rsa(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", size_t{1024}), EVP_PKEY_free);
  BIGNUM* n = nullptr;
  BIGNUM* e = nullptr;
  EVP_PKEY_get_bn_param(rsa.get(), "n", &n);
  EVP_PKEY_get_bn_param(rsa.get(), "e", &e);
  Bytes bn(static_cast<size_t>(BN_num_bytes(n))), be(static_cast<size_t>(BN_num_bytes(e)));
  BN_bn2bin(n, bn.data());
  BN_bn2bin(e, be.data());
  BN_free(n);
  BN_free(e);
  _keymaster_export_internal_t rec{};
  rec.algorithm = KM_ALGORITHM_RSA;
  rec.modulus = bn.data();
  rec.modulus_length = bn.size();
  rec.public_exponent = be.data();
  rec.public_exponent_length = be.size();
  Owned o;
  ASSERT_EQ(dev.internal_to_x509(&rec, &o.blob), 0);
  EXPECT_EQ(Bytes(o.blob.data, o.blob.data + o.blob.data_length), spki(rsa.get()));
  rec.public_exponent_length = 0;
  keymaster_blob_t none{};
  EXPECT_EQ(dev.internal_to_x509(&rec, &none), -22);
}

}  // namespace
