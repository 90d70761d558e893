// The exported reader and writer primitives on hand-written messages.
#include <gtest/gtest.h>

#include <vector>

#include "CborPrimitives.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Reader {
  explicit Reader(Bytes m) : msg(std::move(m)), dec(msg.data(), msg.size()) { r = CborReader{&dec, {}, 0, {}}; }
  Bytes msg;
  vcbor::Decoder dec;
  CborReader r;
};

TEST(CborPrimitives, IntegerGettersAcceptOnlyTheirRange) {
  struct Case {
    const char* what;
    Bytes item;
    int32_t u32, i32, u8, u64, i64;  // resulting error of each plain getter
  };
  const Case cases[] = {
      {"4294967295", {0x1A, 0xFF, 0xFF, 0xFF, 0xFF}, 0, -1, -1, 0, 0},
      {"4294967296", {0x1B, 0, 0, 0, 1, 0, 0, 0, 0}, -1, -1, -1, 0, 0},
      {"-1", {0x20}, -1, 0, -1, 0, 0},
      {"255", {0x18, 0xFF}, 0, 0, 0, 0, 0},
      {"256", {0x19, 0x01, 0x00}, 0, 0, -1, 0, 0},
      {"2^64-1", {0x1B, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, -1, -1, -1, 0, 1},
      {"-2^31-1", {0x3A, 0x80, 0, 0, 0}, -1, -1, -1, 0, 0},
      {"bytes", {0x41, 0x00}, -1, -1, -1, 1, 1},
  };
  for (const Case& c : cases) {
    uint32_t u32 = 7;
    int32_t i32 = 7;
    uint8_t u8 = 7;
    uint64_t u64 = 7;
    int64_t i64 = 7;
    Reader a(c.item), b(c.item), d(c.item), e(c.item), f(c.item);
    CRGetUint32(&a.r, &u32);
    CRGetInt32(&b.r, &i32);
    CRGetUint8(&d.r, &u8);
    CRGetUint64(&e.r, &u64);
    CRGetInt64(&f.r, &i64);
    EXPECT_EQ(a.r.error, c.u32) << c.what;
    EXPECT_EQ(b.r.error, c.i32) << c.what;
    EXPECT_EQ(d.r.error, c.u8) << c.what;
    EXPECT_EQ(e.r.error, c.u64) << c.what;
    EXPECT_EQ(f.r.error, c.i64) << c.what;
    if (c.u32 != 0) {
      EXPECT_EQ(u32, 7u) << "output untouched: " << c.what;
    }
  }
  Reader minus({0x20});
  uint64_t all = 0;
  CRGetUint64(&minus.r, &all);
  EXPECT_EQ(all, UINT64_MAX);
}

TEST(CborPrimitives, LabelledGettersAndStickyErrors) {
  // {1: true, "key": 5, "keys": h'AB', 2: 1}
  const Bytes msg = {0xA4, 0x01, 0xF5, 0x63, 'k', 'e', 'y', 0x05, 0x64, 'k', 'e', 'y', 's', 0x41, 0xAB, 0x02, 0x01};
  Reader rd(msg);
  ASSERT_TRUE(CR_MAP_ENTER(&rd.r));
  EXPECT_EQ(rd.r.item.count, 4u);
  uint8_t b = 9;
  CRGetBoolFromMapWithUint64Label(&rd.r, 1, &b);
  EXPECT_EQ(b, 1);
  uint32_t v = 0;
  CRGetUint32FromMapWithStringLabel(&rd.r, "key", &v);
  EXPECT_EQ(v, 5u);
  UsefulBufC bytes{nullptr, 0};
  CRGetBytesOrStringFromMapWithStringLabel(&rd.r, "key", vcbor::kTypeBytes, &bytes);
  EXPECT_EQ(rd.r.error, 1) << "\"key\" does not match \"keys\"";
  uint8_t flag = 9;
  CRGetBoolFromMapWithUint64Label(&rd.r, 2, &flag);
  EXPECT_EQ(flag, 9) << "nothing is read after a failure";
  EXPECT_EQ(rd.r.error, 1);

  Reader intFlag({0xA1, 0x02, 0x01});
  ASSERT_TRUE(CR_MAP_ENTER(&intFlag.r));
  CRGetBoolFromMapWithUint64Label(&intFlag.r, 2, &flag);
  EXPECT_EQ(intFlag.r.error, -1) << "a bool getter meeting the integer 1";

  Reader sameLength({0xA1, 0x63, 'k', 'e', 'x', 0x01});
  ASSERT_TRUE(CR_MAP_ENTER(&sameLength.r));
  CRGetUint32FromMapWithStringLabel(&sameLength.r, "key", &v);
  EXPECT_LT(sameLength.r.error, 0) << "the byte comparison's result";

  Reader truncated({0x81});
  ASSERT_TRUE(CR_ARRAY_ENTER(&truncated.r));
  CRGetUint32(&truncated.r, &v);
  EXPECT_EQ(truncated.r.error, vcbor::kHitEnd) << "the decoder's code";
  Reader truncatedLoose({0x81});
  ASSERT_TRUE(CR_ARRAY_ENTER(&truncatedLoose.r));
  CRGetUint64FromMapWithUint64Label(&truncatedLoose.r, 1, nullptr);
  EXPECT_EQ(truncatedLoose.r.error, vcbor::kHitEnd);
  Reader plainLoose({0x81});
  ASSERT_TRUE(CR_ARRAY_ENTER(&plainLoose.r));
  uint64_t u = 0;
  CRGetUint64(&plainLoose.r, &u);
  EXPECT_EQ(plainLoose.r.error, 1);
}

TEST(CborPrimitives, EnterFunctionsCheckTypeAndLabel) {
  Reader wrongLabel({0xA1, 0x00, 0xA0});
  ASSERT_TRUE(CR_MAP_ENTER(&wrongLabel.r));
  EXPECT_FALSE(CR_MAP_LABEL_ENTER(&wrongLabel.r, 2));
  EXPECT_EQ(wrongLabel.r.error, -1);
  EXPECT_FALSE(CR_MAP_ENTER(&wrongLabel.r)) << "sticky";

  Reader arrayTwo({0xA1, 0x02, 0x80});
  ASSERT_TRUE(CR_MAP_ENTER(&arrayTwo.r));
  EXPECT_FALSE(CR_MAP_LABEL_ENTER(&arrayTwo.r, 2));
  Reader ok({0xA1, 0x02, 0x82, 0x01, 0x02});
  ASSERT_TRUE(CR_MAP_ENTER(&ok.r));
  ASSERT_TRUE(CR_ARRAY_LABEL_ENTER(&ok.r, 2));
  EXPECT_EQ(ok.r.item.count, 2u);
  Reader broken({0xFF});
  EXPECT_FALSE(CR_ARRAY_ENTER(&broken.r));
  EXPECT_EQ(broken.r.error, -1) << "a decoder failure becomes -1";
}

TEST(CborPrimitives, WritersOpenContainers) {
  uint8_t buf[16];
  vcbor::Encoder enc(buf, sizeof buf);
  EXPECT_TRUE(CW_MAP_ENTER(&enc));
  EXPECT_TRUE(CW_ARRAY_LABEL_ENTER(&enc, -3));
  enc.addUInt64(1);
  enc.closeArray();
  EXPECT_TRUE(CW_MAP_LABEL_ENTER(&enc, 4));
  enc.closeMap();
  enc.closeMap();
  EXPECT_TRUE(CW_ARRAY_ENTER(&enc));
  enc.closeArray();
  size_t len = 0;
  ASSERT_EQ(enc.finish(&len), vcbor::kSuccess);
  EXPECT_EQ(Bytes(buf, buf + len), (Bytes{0xA2, 0x22, 0x81, 0x01, 0x04, 0xA0, 0x80}));
}

}  // namespace
