// cppbor over the system's CBOR library, checked against encodings libcbor makes.
#include <cppbor.h>
#include <cppbor_parse.h>
#include <gtest/gtest.h>

#include "libcbor_build.h"

namespace {

using namespace kmtest;

TEST(Cppbor, EncodesAsLibcborDoes) {
  const Bytes x(32, 0x11);
  cppbor::Map key;
  key.add(1, 2).add(3, -7).add(-1, 1).add(-2, x).add(-70000, cppbor::Null());
  EXPECT_EQ(key.encode(), encode(map({{1, integer(2)},
                                      {3, integer(-7)},
                                      {-1, integer(1)},
                                      {-2, bytes(x)},
                                      {-70000, cbor_new_null()}})));

  // Sizes at every head width, text, booleans and nesting.
  const Bytes big(300, 0xAB);
  cppbor::Array a;
  a.add(23u).add(24u).add(255u).add(256u).add(65536u).add(uint64_t{1} << 33).add(int64_t{-25}).add(big);
  a.add("MAC0").add(true).add(false).add(cppbor::Array(1, 2));
  cbor_item_t* expected = array({integer(23), integer(24), integer(255), integer(256), integer(65536),
                                 integer(int64_t{1} << 33), integer(-25), bytes(big), cbor_build_string("MAC0"),
                                 boolean(true), boolean(false), array({integer(1), integer(2)})});
  EXPECT_EQ(a.encode(), encode(expected));
  EXPECT_EQ(a.encodedSize(), a.encode().size());
}

TEST(Cppbor, CanonicalizeOrdersKeysByLengthThenBytes) {
  cppbor::Map m;
  m.add(-70000, 0).add(-3, 0).add("a", 0).add(24, 0).add(1, 0).add(-1, 0);
  m.canonicalize();
  std::vector<Bytes> keys;
  for (const auto& [k, v] : m) keys.push_back(k->encode());
  // One-byte keys in byte order, then the two-byte 24 (0x18 0x18) before "a" (0x61 0x61),
  // then the five bytes of -70000.
  EXPECT_EQ(keys, (std::vector<Bytes>{{0x01}, {0x20}, {0x22}, {0x18, 0x18}, {0x61, 0x61}, {0x3A, 0x00, 0x01, 0x11, 0x6F}}));
}

TEST(Cppbor, ParsesWhatItEncodesAndStopsAfterTheFirstItem) {
  cppbor::Map inner;
  inner.add(1, 5);
  cppbor::Array a;
  a.add(inner.encode()).add(cppbor::Map()).add(Bytes{1, 2, 3}).add(cppbor::Array(cppbor::Map(std::move(inner)), "t"));
  Bytes wire = a.encode();
  const size_t itemLength = wire.size();
  wire.push_back(0x00);  // a second item follows
  auto [item, end, err] = cppbor::parse(wire);
  ASSERT_TRUE(item) << err;
  EXPECT_EQ(end, wire.data() + itemLength);
  EXPECT_EQ(*item, a);
  ASSERT_NE(item->asArray(), nullptr);
  EXPECT_EQ(item->asArray()->get(3)->asArray()->get(0)->asMap()->get(1)->asInt()->value(), 5);
  EXPECT_FALSE(item->asArray()->get(1)->asMap()->get(7));
}

TEST(Cppbor, RefusesWhatItDoesNotModel) {
  const std::vector<Bytes> refused = {
      {},                            // nothing
      {0x82, 0x01},                  // array cut short
      {0xC1, 0x01},                  // a tag
      {0xF9, 0x3C, 0x00},            // a half float
      {0xF7},                        // undefined
      {0xA1, 0x81, 0x01, 0x01},      // a map key that is an array
      {0x3B, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // below INT64_MIN
  };
  for (const Bytes& b : refused) {
    auto [item, end, err] = cppbor::parse(b);
    EXPECT_FALSE(item) << testing::PrintToString(b);
    EXPECT_FALSE(err.empty());
  }
  // Indefinite lengths are read (and re-encoded definite).
  auto [item, end, err] = cppbor::parse(Bytes{0x9F, 0x01, 0x5F, 0x41, 0xAA, 0x41, 0xBB, 0xFF, 0xFF});
  ASSERT_TRUE(item) << err;
  EXPECT_EQ(item->encode(), (Bytes{0x82, 0x01, 0x42, 0xAA, 0xBB}));
}

}  // namespace
