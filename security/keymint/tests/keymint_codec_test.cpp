// The KeyMint message codec: request bodies compared with libcbor's reading of them, and
// answers built with libcbor decoded by the codec.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "KeymasterSerialize.h"
#include "key_param_test.h"
#include "libcbor_build.h"
#include <cbor/cbor.h>

namespace {

using keymasterdevice::KeymasterSerialize;
using namespace kmtest;

keymaster_blob_t blob(const Bytes& b) { return {b.data(), b.size()}; }


class Codec : public ::testing::Test {
 protected:
  // Runs a serializer over a fresh request area; the body written.
  template <typename F>
  Bytes body(F serialize, int* rc = nullptr) {
    area.assign(512, 0xEE);
    keymaster_blob_t out{area.data(), area.size()};
    int r = serialize(&out);
    if (rc != nullptr) *rc = r;
    lastLength = out.data_length;
    if (r != 0) return {};
    return Bytes(area.begin(), area.begin() + out.data_length);
  }
  KeymasterSerialize s{nullptr};
  Bytes area;
  size_t lastLength = 0;
};

TEST_F(Codec, ParameterEntriesFollowTheirTagTypes) {
  EXPECT_EQ(body([&](keymaster_blob_t* o) { return s.serializeClientParams(nullptr, o); }), (Bytes{0xA1, 0x16, 0x00}));

  Bytes appId = {1, 2, 3};
  keymaster_key_param_t params[] = {
      KeyParam(KM_TAG_ALGORITHM, 3),
      KeyParam(KM_TAG_NO_AUTH_REQUIRED, 0),  // a bool goes out as true whatever is stored
      KeyParam(KM_TAG_USER_SECURE_ID, 0x8000000000000001ull),
      KeyParam(static_cast<keymaster_tag_t>(0xB0000001), 5),  // type 11: counted, not written
      KeyParam(KM_TAG_APPLICATION_ID, 0),
  };
  params[4].blob = {appId.data(), appId.size()};
  keymaster_key_param_set_t set{params, 5};
  Bytes got = body([&](keymaster_blob_t* o) { return s.serializeClientParams(&set, o); });
  Bytes want = encode(map({{22, integer(5)},
                           {0x10000002, integer(3)},
                           {0x700001F7, boolean(true)},
                           {static_cast<int32_t>(0xA00001F6), integer(static_cast<int64_t>(0x8000000000000001ull))},
                           {-1879047591, bytes(appId)}}));
  EXPECT_EQ(got, want);

  keymaster_key_param_t invalid[] = {KeyParam(KM_TAG_ALGORITHM, 1), KeyParam(KM_TAG_INVALID, 0)};
  keymaster_key_param_set_t bad{invalid, 2};
  int rc = 0;
  body([&](keymaster_blob_t* o) { return s.serializeClientParams(&bad, o); }, &rc);
  EXPECT_EQ(rc, -21);
  EXPECT_EQ(lastLength, 512u) << "the output length stays as the caller set it";
}

TEST_F(Codec, BeginUpdateAndExportBodies) {
  keymaster_key_param_t withPurpose[] = {KeyParam(KM_TAG_PURPOSE, 2)};
  keymaster_key_param_set_t set{withPurpose, 1};
  Bytes key = {9};
  keymaster_key_blob_t kb{key.data(), 1};
  EXPECT_EQ(body([&](keymaster_blob_t* o) { return s.serializeClientBegin(KM_PURPOSE_ENCRYPT, &set, &kb, o); }),
            encode(map({{22, integer(1)}, {0x20000001, integer(2)}, {23, bytes(key)}})));
  EXPECT_EQ(body([&](keymaster_blob_t* o) { return s.serializeClientBegin(KM_PURPOSE_VERIFY, nullptr, &kb, o); }),
            encode(map({{22, integer(1)}, {0x20000001, integer(3)}, {23, bytes(key)}})));

  Bytes big(10000, 0x42);
  keymaster_blob_t input{big.data(), big.size()};
  area.assign(20000, 0);
  keymaster_blob_t out{area.data(), area.size()};
  ASSERT_EQ(s.serializeClientUpdate(7, nullptr, &input, &out), 0);
  EXPECT_EQ(Bytes(area.begin(), area.begin() + out.data_length),
            encode(map({{34, integer(7)}, {35, bytes(Bytes(8192, 0x42))}})));

  Bytes data = {5, 5};
  keymaster_blob_t appData{data.data(), 2};
  EXPECT_EQ(body([&](keymaster_blob_t* o) { return s.serializeClientExpKey(KM_KEY_FORMAT_X509, &kb, nullptr, &appData, o); }),
            encode(map({{22, integer(1)}, {-1879047492, bytes(data)}, {23, bytes(key)}, {24, integer(0)}})));
  EXPECT_EQ(body([&](keymaster_blob_t* o) { return s.serializeClientExpKey(KM_KEY_FORMAT_RAW, &kb, nullptr, nullptr, o); }),
            encode(map({{22, integer(0)}, {23, bytes(key)}, {24, integer(3)}})));
}

TEST_F(Codec, OptionalEntriesAndStrictOrderInAnswers) {
  uint64_t handle = 0;
  keymaster_key_param_set_t out{};
  Bytes justHandle = encode(map({{34, integer(77)}}));
  ASSERT_EQ(s.deserializeClientBegin(blob(justHandle), &out, &handle), 0);
  EXPECT_EQ(handle, 77u);
  Bytes zeroCount = encode(map({{22, integer(0)}, {34, integer(78)}}));
  ASSERT_EQ(s.deserializeClientBegin(blob(zeroCount), &out, &handle), 0);
  EXPECT_EQ(handle, 78u);
  Bytes withParams = encode(map({{22, integer(2)}, {0x20000001, integer(2)}, {-1879047191, bytes({1, 2})}, {34, integer(79)}}));
  ASSERT_EQ(s.deserializeClientBegin(blob(withParams), &out, &handle), 0);
  ASSERT_EQ(out.length, 2u);
  EXPECT_EQ(out.params[1].tag, KM_TAG_NONCE);
  EXPECT_EQ(out.params[1].blob.data_length, 2u);
  keymaster_free_param_set(&out);
  EXPECT_EQ(s.deserializeClientBegin(blob(withParams), nullptr, &handle), -27);

  keymaster_blob_t output{};
  Bytes empty = encode(map({}));
  ASSERT_EQ(s.deserializeClientFinish(blob(empty), &out, &output), 0);
  EXPECT_EQ(output.data, nullptr);
  Bytes extra = encode(map({{36, bytes({1})}, {99, integer(1)}}));
  EXPECT_EQ(s.deserializeClientFinish(blob(extra), &out, &output), vcbor::kUnconsumed);
  EXPECT_EQ(output.data, nullptr) << "untouched on failure";
  EXPECT_EQ(s.deserializeClientFinish(blob(empty), &out, nullptr), -27);

  hmac_sharing_params_t hmac{};
  Bytes swapped = encode(map({{42, bytes(Bytes(32, 1))}, {41, bytes(Bytes(32, 2))}}));
  EXPECT_EQ(s.deserializeClientGetHmacParams(blob(swapped), &hmac), 1);
  std::memset(&hmac, 0xAA, sizeof hmac);
  Bytes sized = encode(map({{41, bytes(Bytes(40, 3))}, {42, bytes(Bytes(4, 4))}}));
  ASSERT_EQ(s.deserializeClientGetHmacParams(blob(sized), &hmac), 0);
  EXPECT_EQ(hmac.seed[31], 3) << "a long seed is cut to 32";
  EXPECT_EQ(hmac.nonce[3], 4);
  EXPECT_EQ(hmac.nonce[4], 0xAA) << "a short nonce fills only its length";

  keymaster_cert_chain_t chain{};
  Bytes none = encode(map({{32, integer(0)}}));
  ASSERT_EQ(s.deserializeClientAttestKey(blob(none), &chain), 0);
  EXPECT_EQ(chain.entry_count, 0u);
  Bytes tooMany = encode(map({{32, integer(3)}, {33, bytes({1})}}));
  EXPECT_NE(s.deserializeClientAttestKey(blob(tooMany), &chain), 0);
  EXPECT_EQ(s.deserializeClientAttestKey(blob(Bytes{0x80}), &chain), -1) << "not a map";
}

TEST_F(Codec, CharacteristicsInsideKeyBlobs) {
  Bytes chars = encode(map({{2, map({{0x10000002, integer(3)},
                                     {0x20000001, array({integer(2), integer(3)})},
                                     {0x20000005, array({})},
                                     {0x1000000A, integer(4)}})},
                            {0, map({{0x60000190, integer(1000)}})}}));
  Bytes kb = keyBlob(chars);
  keymaster_key_characteristics_t c{};
  ASSERT_EQ(s.getCharacteristics(kb.data(), kb.size(), &c), 0);
  ASSERT_EQ(c.hw_enforced.length, 4u);
  EXPECT_EQ(c.hw_enforced.params[1].tag, KM_TAG_PURPOSE);
  EXPECT_EQ(c.hw_enforced.params[2].tag, KM_TAG_PURPOSE);
  EXPECT_EQ(c.hw_enforced.params[2].enumerated, 3u);
  EXPECT_EQ(c.hw_enforced.params[3].tag, KM_TAG_EC_CURVE);
  ASSERT_EQ(c.sw_enforced.length, 1u);
  EXPECT_EQ(c.sw_enforced.params[0].date_time, 1000u);
  EXPECT_TRUE(s.curve25519());
  keymaster_free_characteristics(&c);

  Bytes wrongMagic = keyBlob(chars, 0x4B4D4B45);
  EXPECT_EQ(s.getCharacteristics(wrongMagic.data(), wrongMagic.size(), &c), -33);
  Bytes bytesTag = keyBlob(encode(map({{2, map({{0x90000259, bytes({1})}})}, {0, map({})}})));
  EXPECT_EQ(s.getCharacteristics(bytesTag.data(), bytesTag.size(), &c), -40);
  Bytes swapped = keyBlob(encode(map({{0, map({})}, {2, map({})}})));
  EXPECT_EQ(s.getCharacteristics(swapped.data(), swapped.size(), &c), -1);
}

TEST_F(Codec, DatesOfKeysAndCertificates) {
  keymaster_key_param_t params[] = {KeyParam(KM_TAG_CERTIFICATE_NOT_AFTER, 253402300799000ull)};
  keymaster_key_param_set_t set{params, 1};
  tztm before{}, after{};
  before.tm_year = 1234;
  ASSERT_EQ(s.getCertNotBeforeAfter(&set, &before, &after), 0);
  EXPECT_EQ(before.tm_year, 1234) << "absent date untouched";
  EXPECT_EQ(after.tm_year, 9999);
  EXPECT_EQ(after.tm_mon, 12);
  EXPECT_EQ(after.tm_mday, 31);
  EXPECT_EQ(after.tm_hour, 23);
  EXPECT_EQ(after.tm_min, 59);
  EXPECT_EQ(after.tm_sec, 59);

  Bytes kb = keyBlob(encode(map({{2, map({{0x60000192, integer(5000)}})}, {0, map({})}})));
  keymaster_key_blob_t key{kb.data(), kb.size()};
  tztm start{}, end{};
  ASSERT_EQ(s.get_gm_time(&key, &start, &end), 0);
  EXPECT_EQ(start.tm_year, 1970);
  EXPECT_EQ(start.tm_mday, 1);
  EXPECT_EQ(end.tm_year, 2106) << "the hardware list's date is not looked at";
  EXPECT_EQ(end.tm_mon, 2);
  EXPECT_EQ(end.tm_mday, 7);
  EXPECT_EQ(end.tm_hour, 6);
  EXPECT_EQ(end.tm_min, 28);
  EXPECT_EQ(end.tm_sec, 15);
}

}  // namespace

// Each parameter in an answer's list is read into the member its tag type names, so a value
// of another CBOR type must refuse the answer rather than hand out what that item holds.
TEST_F(Codec, AnswerParameterValuesMustHaveTheirTagsCborType) {
  enum Kind { kUint, kNegInt, kBytes, kText, kArray, kMap, kTrue, kFalse, kNull, kUndefined, kFloat, kKinds };
  auto value = [](Kind k) -> cbor_item_t* {
    switch (k) {
      case kUint: return integer(5);
      case kNegInt: return integer(-5);
      case kBytes: return bytes({0x41, 0x42, 0x43, 0x44});
      case kText: return cbor_build_string("ABCD");
      case kArray: return array({integer(1)});
      case kMap: return map({{1, integer(1)}});
      case kTrue: return boolean(true);
      case kFalse: return boolean(false);
      case kNull: return cbor_new_null();
      case kUndefined: return cbor_new_undef();
      default: return cbor_build_float8(1.5);
    }
  };
  struct TagType {
    uint32_t tag;
    std::vector<Kind> accepted;
  };
  const TagType types[] = {
      {0x10000002, {kUint}},                          // 1: enum (algorithm)
      {0x20000001, {kUint}},                          // 2: repeated enum (purpose)
      {0x30000003, {kUint}},                          // 3: uint (key size)
      {0x400001F5, {kUint}},                          // 4: repeated uint
      {0x500000C8, {kUint, kNegInt}},                 // 5: ulong (rsa exponent)
      {0x60000190, {kUint, kNegInt}},                 // 6: date (active date time)
      {0x700001F7, {kTrue}},                          // 7: bool (no auth required)
      {0x800003E8, {kBytes}},                         // 8: bignum
      {0x900003E9, {kBytes}},                         // 9: bytes (nonce)
      {0xA00001F6, {kUint, kNegInt}},                 // 10: repeated ulong (user secure id)
  };
  for (const TagType& t : types) {
    for (int k = 0; k < kKinds; k++) {
      const Kind kind = static_cast<Kind>(k);
      const bool accepted = std::find(t.accepted.begin(), t.accepted.end(), kind) != t.accepted.end();
      Bytes answer = encode(map({{22, integer(1)}, {static_cast<int32_t>(t.tag), value(kind)}, {34, integer(7)}}));
      keymaster_key_param_set_t out{};
      uint64_t handle = 0;
      int rc = s.deserializeClientBegin(blob(answer), &out, &handle);
      SCOPED_TRACE(::testing::Message() << std::hex << "tag 0x" << t.tag << std::dec << ", value kind " << k);
      if (!accepted) {
        EXPECT_EQ(rc, KM_ERROR_INVALID_TAG);
        EXPECT_EQ(out.params, nullptr) << "nothing handed out";
        continue;
      }
      ASSERT_EQ(rc, 0);
      ASSERT_EQ(out.length, 1u);
      const keymaster_key_param_t& p = out.params[0];
      switch (t.tag >> 28) {
        case 7: EXPECT_TRUE(p.boolean); break;
        case 8:
        case 9: EXPECT_EQ(Bytes(p.blob.data, p.blob.data + p.blob.data_length), (Bytes{0x41, 0x42, 0x43, 0x44})); break;
        case 5:
        case 6:
        case 10: EXPECT_EQ(p.long_integer, kind == kUint ? 5u : static_cast<uint64_t>(-5)); break;
        default: EXPECT_EQ(p.integer, 5u); break;
      }
      keymaster_free_param_set(&out);
    }
  }
}

// The parameters of an answer are entries of the answer's own map, each with one value its
// tag type can hold. A container value (tag types 11 to 15 name no value kind) would have its
// entries read as the answer's next entries; a count or an integer too large for its field
// would be cut. Such answers are refused and nothing of them is handed out; their
// well-formed neighbours still parse.
TEST_F(Codec, AnswersWhoseParametersDoNotFitAreRefused) {
  constexpr int32_t kType11 = static_cast<int32_t>(0xB0000001u);
  constexpr int32_t kType15 = static_cast<int32_t>(0xF0000002u);
  constexpr int64_t kKeySize = 0x30000003, kAlgorithm = 0x10000002, kPurpose = 0x20000001;
  constexpr int32_t kNonce = static_cast<int32_t>(0x900003E9u), kBignum = static_cast<int32_t>(0x800003E8u);
  enum Answer { kBegin, kFinish };
  struct Case {
    const char* what;
    Answer answer;
    Bytes body;
    int rc;
    size_t params;  // parameters handed out when accepted
  };
  const Case cases[] = {
      {"handle inside a type-11 map", kBegin, encode(map({{22, integer(1)}, {kType11, map({{34, integer(9)}})}})),
       KM_ERROR_INVALID_TAG, 0},
      {"key size inside a type-11 map", kBegin,
       encode(map({{22, integer(2)}, {kType11, map({{kKeySize, integer(256)}})}, {34, integer(7)}})),
       KM_ERROR_INVALID_TAG, 0},
      {"type-15 array", kBegin,
       encode(map({{22, integer(1)}, {kType15, array({integer(34), integer(9)})}, {34, integer(7)}})),
       KM_ERROR_INVALID_TAG, 0},
      {"type-11 map under an unsigned label", kBegin,
       [] {
         cbor_item_t* m = cbor_new_definite_map(2);
         cbor_map_add(m, cbor_pair{cbor_move(integer(22)), cbor_move(integer(1))});
         cbor_map_add(m, cbor_pair{cbor_move(unsignedInt(0xB0000001u)), cbor_move(map({{34, integer(9)}}))});
         return encode(m);
       }(),
       KM_ERROR_INVALID_TAG, 0},
      {"output inside a type-11 map", kFinish,
       encode(map({{22, integer(1)}, {kType11, map({{36, bytes({1, 2, 3})}})}})), KM_ERROR_INVALID_TAG, 0},
      {"count of 2^40", kBegin, encode(map({{22, integer(INT64_C(1) << 40)}, {34, integer(7)}})), -1, 0},
      {"negative count", kBegin, encode(map({{22, integer(-1)}, {34, integer(7)}})), -1, 0},
      {"count of 2^40 in a finish answer", kFinish, encode(map({{22, integer(INT64_C(1) << 40)}})), -1, 0},
      {"key size 2^32 + 5", kBegin,
       encode(map({{22, integer(1)}, {kKeySize, integer((INT64_C(1) << 32) + 5)}, {34, integer(7)}})),
       KM_ERROR_INVALID_TAG, 0},
      {"algorithm 2^32 + 3", kBegin,
       encode(map({{22, integer(1)}, {kAlgorithm, integer((INT64_C(1) << 32) + 3)}, {34, integer(7)}})),
       KM_ERROR_INVALID_TAG, 0},
      // Neighbours that must still parse.
      {"type-11 scalar keeps its tag", kBegin, encode(map({{22, integer(1)}, {kType11, integer(5)}, {34, integer(7)}})),
       0, 1},
      {"bignum bytes", kBegin, encode(map({{22, integer(1)}, {kBignum, bytes({0x01, 0x00, 0x01})}, {34, integer(7)}})),
       0, 1},
      {"nonce bytes and a purpose", kBegin,
       encode(map({{22, integer(2)}, {kNonce, bytes(Bytes(12, 0x4E))}, {kPurpose, integer(2)}, {34, integer(7)}})), 0,
       2},
      {"key size 2^32 - 1, the largest a uint holds", kBegin,
       encode(map({{22, integer(1)}, {kKeySize, integer(0xFFFFFFFF)}, {34, integer(7)}})), 0, 1},
      {"zero count", kBegin, encode(map({{22, integer(0)}, {34, integer(7)}})), 0, 0},
      {"finish with a parameter and its output", kFinish,
       encode(map({{22, integer(1)}, {kNonce, bytes({4})}, {36, bytes({1, 2, 3})}})), 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    keymaster_key_param_set_t out{};
    uint64_t handle = 0xABAB;
    keymaster_blob_t output{};
    const int rc = c.answer == kBegin ? s.deserializeClientBegin(blob(c.body), &out, &handle)
                                      : s.deserializeClientFinish(blob(c.body), &out, &output);
    EXPECT_EQ(rc, c.rc);
    if (rc != 0) {
      EXPECT_EQ(out.params, nullptr) << "no parameters handed out";
      EXPECT_EQ(out.length, 0u);
      EXPECT_EQ(handle, 0xABABu) << "no handle handed out";
      EXPECT_EQ(output.data, nullptr) << "no output handed out";
      continue;
    }
    EXPECT_EQ(out.length, c.params);
    if (c.answer == kBegin) {
      EXPECT_EQ(handle, 7u);
    } else {
      EXPECT_EQ(Bytes(output.data, output.data + output.data_length), (Bytes{1, 2, 3}));
    }
    if (c.params != 0 && out.length != 0) {
      const keymaster_key_param_t& p = out.params[0];
      switch (p.tag >> 28) {
        case 3: EXPECT_EQ(p.integer, 0xFFFFFFFFu); break;
        case 8: EXPECT_EQ(Bytes(p.blob.data, p.blob.data + p.blob.data_length), (Bytes{0x01, 0x00, 0x01})); break;
        case 9: EXPECT_EQ(p.blob.data_length, c.answer == kBegin ? 12u : 1u); break;
        default: EXPECT_EQ(p.tag, 0xB0000001u); break;
      }
    }
    keymaster_free_param_set(&out);
    std::free(const_cast<uint8_t*>(output.data));
  }
}

// The same limits hold for the characteristics inside a key blob: a uint or enum value that
// does not fit 32 bits, or a container where a value stands, is refused.
TEST_F(Codec, CharacteristicsWhoseValuesDoNotFitAreRefused) {
  constexpr int64_t kKeySize = 0x30000003, kPurpose = 0x20000001, kType11 = 0xB0000001;
  struct Case {
    const char* what;
    cbor_item_t* hw;
    int rc;
  };
  const Case cases[] = {
      {"key size 2^32 + 5", map({{kKeySize, integer((INT64_C(1) << 32) + 5)}}), KM_ERROR_INVALID_TAG},
      {"negative key size", map({{kKeySize, integer(-1)}}), KM_ERROR_INVALID_TAG},
      {"purpose 2^32 + 2 in an array", map({{kPurpose, array({integer(3), integer((INT64_C(1) << 32) + 2)})}}),
       KM_ERROR_INVALID_TAG},
      {"key size inside a type-11 map", map({{kType11, map({{kKeySize, integer(256)}})}}), KM_ERROR_INVALID_TAG},
      {"key size 2^32 - 1", map({{kKeySize, integer(0xFFFFFFFF)}}), 0},
      {"type-11 scalar", map({{kType11, integer(1)}}), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes kb = keyBlob(encode(map({{2, c.hw}, {0, map({})}})));
    keymaster_key_characteristics_t chars{};
    EXPECT_EQ(s.getCharacteristics(kb.data(), kb.size(), &chars), c.rc);
    if (c.rc != 0) {
      EXPECT_EQ(chars.hw_enforced.params, nullptr);
      continue;
    }
    EXPECT_EQ(chars.hw_enforced.length, 1u);
    if (chars.hw_enforced.length != 0 && chars.hw_enforced.params[0].tag == KM_TAG_KEY_SIZE) {
      EXPECT_EQ(chars.hw_enforced.params[0].integer, 0xFFFFFFFFu);
    }
    keymaster_free_characteristics(&chars);
  }
}
