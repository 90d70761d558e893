// The software provisioning context, the MACed-key validator, public keys from
// certificates and the COSE helpers, checked against OpenSSL and libcbor directly.
#include <gtest/gtest.h>
#include <keymaster/contexts/pure_soft_remote_provisioning_context.h>
#include <keymaster/km_openssl/openssl_utils.h>
#include <keymaster/remote_provisioning_utils.h>
#include <keymaster/soft_rkp_test.h>

#include "ec_test_keys.h"
#include "libcbor_build.h"

namespace {

using namespace kmtest;
using cppcose::HmacSha256;

class Rkp : public ::testing::Test {
 protected:
  void TearDown() override { keymaster::testing::reset(); }

  // A COSE_Mac0 over a P-256 COSE_Key, built with libcbor and OpenSSL's HMAC.
  static Bytes macedKey(const Bytes& macKey, bool testKey, const Bytes& x = Bytes(32, 1)) {
    cbor_item_t* k = cbor_new_definite_map(testKey ? 6 : 5);
    cbor_map_add(k, {cbor_move(integer(1)), cbor_move(integer(2))});
    cbor_map_add(k, {cbor_move(integer(3)), cbor_move(integer(-7))});
    cbor_map_add(k, {cbor_move(integer(-1)), cbor_move(integer(1))});
    cbor_map_add(k, {cbor_move(integer(-2)), cbor_move(bytes(x))});
    cbor_map_add(k, {cbor_move(integer(-3)), cbor_move(bytes(Bytes(32, 2)))});
    if (testKey) cbor_map_add(k, {cbor_move(integer(-70000)), cbor_move(cbor_new_null())});
    const Bytes payload = encode(k);
    const Bytes protectedHeader = encode(map({{1, integer(5)}}));
    const Bytes toMac = encode(array({cbor_build_string("MAC0"), bytes(protectedHeader), bytes({}), bytes(payload)}));
    return encode(array({bytes(protectedHeader), map({}), bytes(payload), bytes(ectest::hmacSha256(macKey, toMac))}));
  }

  static cppcose::HmacSha256Function macWith(const Bytes& key) {
    return [key](const cppcose::bytevec& in) { return cppcose::generateHmacSha256(key, in); };
  }
};

TEST_F(Rkp, EveryContextMacsWithTheOneProcessKey) {
  const Bytes key = keymaster::testing::softContextMacKey();
  ASSERT_EQ(key.size(), 32u);
  const Bytes input = {1, 2, 3};
  keymaster::PureSoftRemoteProvisioningContext a(KM_SECURITY_LEVEL_STRONGBOX);
  keymaster::PureSoftRemoteProvisioningContext b(KM_SECURITY_LEVEL_TRUSTED_ENVIRONMENT);
  auto ma = a.GenerateHmacSha256(input);
  auto mb = b.GenerateHmacSha256(input);
  ASSERT_TRUE(ma && mb);
  EXPECT_EQ(*ma, *mb);
  EXPECT_EQ(Bytes(ma->begin(), ma->end()), ectest::hmacSha256(key, input));
  keymaster::testing::setContextMacFails(true);
  EXPECT_FALSE(a.GenerateHmacSha256(input));
}

TEST_F(Rkp, CoseMac0IsTheStructureRfc8152Describes) {
  const Bytes key(32, 0x5A), payload = {0xA0};
  auto mac0 = cppcose::constructCoseMac0(macWith(key), {}, payload);
  ASSERT_TRUE(mac0) << mac0.message();
  const Bytes protectedHeader = encode(map({{1, integer(5)}}));
  const Bytes toMac = encode(array({cbor_build_string("MAC0"), bytes(protectedHeader), bytes({}), bytes(payload)}));
  EXPECT_EQ(mac0->encode(),
            encode(array({bytes(protectedHeader), map({}), bytes(payload), bytes(ectest::hmacSha256(key, toMac))})));
  auto back = cppcose::verifyAndParseCoseMac0(&*mac0, key);
  ASSERT_TRUE(back) << back.message();
  EXPECT_EQ(*back, payload);
  EXPECT_FALSE(cppcose::verifyAndParseCoseMac0(&*mac0, Bytes(32, 0x5B)));
  auto failing = cppcose::constructCoseMac0([](const cppcose::bytevec&) -> cppcose::ErrMsgOr<HmacSha256> {
    return "no key";
  }, {}, payload);
  ASSERT_FALSE(failing);
  EXPECT_EQ(failing.message(), "no key");
}

TEST_F(Rkp, ValidatorChecksMacsAndTestMarkers) {
  const Bytes key(32, 7), other(32, 8);
  struct Case {
    const char* what;
    bool testMode;
    std::vector<Bytes> keys;
    keymaster_error_t want;
  } cases[] = {
      {"two good production keys", false, {macedKey(key, false), macedKey(key, false, Bytes(32, 3))}, KM_ERROR_OK},
      {"good test key in test mode", true, {macedKey(key, true)}, KM_ERROR_OK},
      {"no keys", false, {}, KM_ERROR_OK},
      {"second key MACed with another key", false, {macedKey(key, false), macedKey(other, false)},
       static_cast<keymaster_error_t>(-2)},
      {"production key in a test request", true, {macedKey(key, false)}, static_cast<keymaster_error_t>(-3)},
      {"test key in a production request", false, {macedKey(key, true)}, static_cast<keymaster_error_t>(-4)},
      {"not CBOR", false, {Bytes{0xFF}}, static_cast<keymaster_error_t>(-1)},
      {"x of 31 bytes", false, {macedKey(key, false, Bytes(31, 1))}, static_cast<keymaster_error_t>(-1)},
  };
  for (const Case& c : cases) {
    std::vector<keymaster::KeymasterBlob> blobs;
    for (const Bytes& k : c.keys) blobs.emplace_back(k.data(), k.size());
    auto [pubKeys, err] = keymaster::validateAndExtractPubkeys(c.testMode, blobs.size(), blobs.data(), macWith(key));
    EXPECT_EQ(err, c.want) << c.what;
    if (c.want == KM_ERROR_OK) {
      ASSERT_EQ(pubKeys.size(), c.keys.size()) << c.what;
      for (size_t i = 0; i < c.keys.size(); i++) {
        cbor_load_result res;
        cbor_item_t* mac0 = cbor_load(c.keys[i].data(), c.keys[i].size(), &res);
        cbor_item_t* payload = cbor_array_get(mac0, 2);
        EXPECT_EQ(pubKeys[i]->encode(), Bytes(cbor_bytestring_handle(payload),
                                              cbor_bytestring_handle(payload) + cbor_bytestring_length(payload)))
            << c.what;
        cbor_decref(&payload);
        cbor_decref(&mac0);
      }
    } else {
      EXPECT_EQ(pubKeys.size(), 0u) << c.what;
    }
  }
}

TEST_F(Rkp, PublicKeyComesOutOfACertificatePadded) {
  auto key = ectest::newKey();
  const Bytes cert = ectest::selfSignedCert(key.get());
  const auto [x, y] = ectest::coordinates(key.get());
  uint8_t gx[32], gy[32];
  keymaster_blob_t blob{cert.data(), cert.size()};
  ASSERT_EQ(keymaster::GetEcdsa256KeyFromCert(&blob, gx, 32, gy, 32), KM_ERROR_OK);
  EXPECT_EQ(Bytes(gx, gx + 32), x);
  EXPECT_EQ(Bytes(gy, gy + 32), y);

  EXPECT_EQ(keymaster::GetEcdsa256KeyFromCert(&blob, gx, 31, gy, 32), KM_ERROR_INVALID_ARGUMENT);
  keymaster_blob_t cut{cert.data(), cert.size() - 1};
  EXPECT_NE(keymaster::GetEcdsa256KeyFromCert(&cut, gx, 32, gy, 32), KM_ERROR_OK);
  auto p384 = ectest::newKey("P-384");
  const Bytes other = ectest::selfSignedCert(p384.get());
  keymaster_blob_t wrongCurve{other.data(), other.size()};
  EXPECT_EQ(keymaster::GetEcdsa256KeyFromCert(&wrongCurve, gx, 32, gy, 32), KM_ERROR_INVALID_ARGUMENT);
}

TEST_F(Rkp, RandomBytesAndTheirInjectedFailure) {
  uint8_t a[32] = {}, b[32] = {};
  ASSERT_EQ(keymaster::GenerateRandom(a, sizeof a), KM_ERROR_OK);
  ASSERT_EQ(keymaster::GenerateRandom(b, sizeof b), KM_ERROR_OK);
  EXPECT_NE(Bytes(a, a + 32), Bytes(b, b + 32));
  keymaster::testing::setRandomFails(true);
  EXPECT_NE(keymaster::GenerateRandom(a, sizeof a), KM_ERROR_OK);
}

}  // namespace
