// Conversions between the KeyMint interface's parameters and auth tokens and the platform's
// KeyMaster records.
#include <gtest/gtest.h>

#include <cstring>

#include "KeyMintConversions.h"
#include "key_param_test.h"

namespace {

namespace km = ::aidl::android::hardware::security::keymint;
using namespace km::km_utils;
using V = km::KeyParameterValue;
using Bytes = std::vector<uint8_t>;

km::KeyParameter invalid() { return {km::Tag::INVALID, V::make<V::boolValue>(false)}; }

TEST(KmToAidl, EachTagTypeLandsInItsMember) {
  const Bytes bytes = {1, 2, 3};
  keymaster_key_param_t blobParam = kmtest::KeyParam(KM_TAG_APPLICATION_ID, 0);
  blobParam.blob = {bytes.data(), bytes.size()};
  struct Case {
    keymaster_key_param_t in;
    km::KeyParameter out;
  };
  const Case cases[] = {
      {kmtest::KeyParam(0x10000002, 3), {km::Tag::ALGORITHM, V::make<V::algorithm>(km::Algorithm::EC)}},
      {kmtest::KeyParam(0x1000000A, 4), {km::Tag::EC_CURVE, V::make<V::ecCurve>(km::EcCurve::CURVE_25519)}},
      {kmtest::KeyParam(0x100001F8, 2),
       {km::Tag::USER_AUTH_TYPE, V::make<V::hardwareAuthenticatorType>(km::HardwareAuthenticatorType::FINGERPRINT)}},
      {kmtest::KeyParam(0x100002BE, 2), {km::Tag::ORIGIN, V::make<V::origin>(km::KeyOrigin::IMPORTED)}},
      {kmtest::KeyParam(0x20000001, 2), {km::Tag::PURPOSE, V::make<V::keyPurpose>(km::KeyPurpose::SIGN)}},
      {kmtest::KeyParam(0x20000004, 32), {km::Tag::BLOCK_MODE, V::make<V::blockMode>(km::BlockMode::GCM)}},
      {kmtest::KeyParam(0x20000005, 4), {km::Tag::DIGEST, V::make<V::digest>(km::Digest::SHA_2_256)}},
      {kmtest::KeyParam(0x20000006, 64), {km::Tag::PADDING, V::make<V::paddingMode>(km::PaddingMode::PKCS7)}},
      {kmtest::KeyParam(0x200000CB, 2), {km::Tag::RSA_OAEP_MGF_DIGEST, V::make<V::digest>(km::Digest::SHA1)}},
      {kmtest::KeyParam(0x30000003, 256), {km::Tag::KEY_SIZE, V::make<V::integer>(256)}},
      {kmtest::KeyParam(0x500000C8, 65537), {km::Tag::RSA_PUBLIC_EXPONENT, V::make<V::longInteger>(65537)}},
      {kmtest::KeyParam(0xA00001F6, 0xFFFFFFFFFFull), {km::Tag::USER_SECURE_ID, V::make<V::longInteger>(0xFFFFFFFFFF)}},
      {kmtest::KeyParam(0x600002BD, 1700000000000ull), {km::Tag::CREATION_DATETIME, V::make<V::dateTime>(1700000000000)}},
      {kmtest::KeyParam(0x700001F7, 1), {km::Tag::NO_AUTH_REQUIRED, V::make<V::boolValue>(true)}},
      {blobParam, {km::Tag::APPLICATION_ID, V::make<V::blob>(bytes)}},
      // An enumeration outside the table, and a type the interface does not know.
      {kmtest::KeyParam(0x10000130, 2), invalid()},
      {kmtest::KeyParam(0xB0000001, 5), invalid()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<uint32_t>(c.in.tag));
    EXPECT_EQ(kmParam2Aidl(c.in), c.out);
  }
  keymaster_key_param_t list[] = {kmtest::KeyParam(0x10000130, 2), kmtest::KeyParam(0x30000003, 256)};
  auto converted = kmParamSet2Aidl({list, 2});
  ASSERT_EQ(converted.size(), 2u) << "an invalid entry stays in the list";
  EXPECT_EQ(converted[0], invalid());
  EXPECT_TRUE(kmParamSet2Aidl({nullptr, 3}).empty());
  EXPECT_TRUE(kmParamSet2Aidl({list, 0}).empty());
}

TEST(AidlToKm, ValuesCopiedAndMismatchesZeroed) {
  const Bytes id = {9, 8, 7};
  std::vector<km::KeyParameter> in = {
      {km::Tag::ALGORITHM, V::make<V::algorithm>(km::Algorithm::EC)},
      {km::Tag::DIGEST, V::make<V::algorithm>(km::Algorithm::RSA)},            // wrong member
      {km::Tag::HARDWARE_TYPE, V::make<V::securityLevel>(km::SecurityLevel::STRONGBOX)},  // not in the table
      {km::Tag::NO_AUTH_REQUIRED, V::make<V::boolValue>(false)},               // presence is truth
      {km::Tag::KEY_SIZE, V::make<V::longInteger>(256)},                       // wrong member
      {km::Tag::APPLICATION_ID, V::make<V::blob>(id)},
      {km::Tag::APPLICATION_DATA, V::make<V::integer>(1)},                     // wrong member
      {km::Tag::ACTIVE_DATETIME, V::make<V::dateTime>(42)},
      {static_cast<km::Tag>(0xC0000001), V::make<V::integer>(1)},              // unknown type
  };
  KmParamSet set(aidlKeyParams2Km(in));
  ASSERT_EQ(set.size(), in.size());
  const keymaster_key_param_t* p = (*set).params;
  EXPECT_EQ(p[0].tag, KM_TAG_ALGORITHM);
  EXPECT_EQ(p[0].enumerated, 3u);
  EXPECT_EQ(p[1].tag, KM_TAG_INVALID);
  EXPECT_EQ(p[1].long_integer, 0u);
  EXPECT_EQ(static_cast<uint32_t>(p[2].tag), 0x10000130u);
  EXPECT_EQ(p[2].enumerated, 0u);
  EXPECT_EQ(p[3].tag, KM_TAG_NO_AUTH_REQUIRED);
  EXPECT_TRUE(p[3].boolean);
  EXPECT_EQ(p[4].tag, KM_TAG_INVALID);
  EXPECT_EQ(p[5].tag, KM_TAG_APPLICATION_ID);
  ASSERT_EQ(p[5].blob.data_length, 3u);
  EXPECT_NE(p[5].blob.data, id.data()) << "a copy";
  EXPECT_EQ(std::memcmp(p[5].blob.data, id.data(), 3), 0);
  EXPECT_EQ(p[6].tag, KM_TAG_INVALID);
  EXPECT_EQ(p[6].blob.data, nullptr);
  EXPECT_EQ(p[7].date_time, 42u);
  EXPECT_EQ(p[8].tag, KM_TAG_INVALID);

  KmParamSet empty(aidlKeyParams2Km({}));
  EXPECT_EQ((*empty).params, nullptr);
  EXPECT_EQ(empty.size(), 0u);
}

TEST(AidlToKm, ValidParametersRoundTrip) {
  std::vector<km::KeyParameter> in = {
      {km::Tag::PURPOSE, V::make<V::keyPurpose>(km::KeyPurpose::VERIFY)},
      {km::Tag::USER_AUTH_TYPE, V::make<V::hardwareAuthenticatorType>(km::HardwareAuthenticatorType::ANY)},
      {km::Tag::MIN_MAC_LENGTH, V::make<V::integer>(128)},
      {km::Tag::USER_SECURE_ID, V::make<V::longInteger>(-2)},
      {km::Tag::CALLER_NONCE, V::make<V::boolValue>(true)},
      {km::Tag::CERTIFICATE_SERIAL, V::make<V::blob>(Bytes{0x01, 0x00})},
      {km::Tag::ATTESTATION_CHALLENGE, V::make<V::blob>(Bytes(300, 0x77))},
  };
  KmParamSet set(aidlKeyParams2Km(in));
  EXPECT_EQ(kmParamSet2Aidl(*set), in);
}

TEST(Blobs, EmptyIsNullAndViewsDoNotCopy) {
  Bytes empty, some = {1, 2};
  EXPECT_EQ(aidlVec2KmBlob(empty).data, nullptr);
  EXPECT_EQ(aidlVec2KmKeyBlob(empty).key_material_size, 0u);
  EXPECT_EQ(aidlVec2KmBlob(some).data, some.data());
  EXPECT_TRUE(kmBlob2AidlVec({nullptr, 0}).empty());
  EXPECT_TRUE(kmKeyBlob2AidlVec({some.data(), 0}).empty());
  EXPECT_EQ(kmKeyBlob2AidlVec({some.data(), 2}), some);
}

TEST(AuthToken, SixtyNineBytesWithTheTypeAndTimeBigEndian) {
  km::HardwareAuthToken t;
  t.challenge = 0x0102030405060708;
  t.userId = 0x1112131415161718;
  t.authenticatorId = 0x2122232425262728;
  t.authenticatorType = km::HardwareAuthenticatorType::FINGERPRINT;
  t.timestamp.milliSeconds = 0x3132333435363738;
  for (size_t k = 0; k < 32; k++) t.mac.push_back(static_cast<uint8_t>(0xA0 + k));
  Bytes got = authToken2AidlVec(t);
  ASSERT_EQ(got.size(), 69u);
  Bytes want = {0, 8, 7, 6, 5, 4, 3, 2, 1, 0x18, 0x17, 0x16, 0x15, 0x14, 0x13, 0x12, 0x11,
                0x28, 0x27, 0x26, 0x25, 0x24, 0x23, 0x22, 0x21, 0, 0, 0, 2,
                0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38};
  want.insert(want.end(), t.mac.begin(), t.mac.end());
  EXPECT_EQ(got, want);

  EXPECT_TRUE(authToken2AidlVec(std::nullopt).empty());
  for (size_t macLength : {0u, 31u, 33u, 64u}) {
    SCOPED_TRACE(macLength);
    t.mac.assign(macLength, 1);
    EXPECT_TRUE(authToken2AidlVec(t).empty()) << "never cut or padded";
  }
}

}  // namespace
