// Encoder and decoder behaviour that the message codecs rely on: in-place nesting with
// widened heads, labels, nesting levels, saving and restoring the decoder, sticky errors
// and leftover detection.
#include <gtest/gtest.h>

#include <vector>

#include "cbor_tree.h"

namespace vcbor::testing {
namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> list) {
  std::vector<uint8_t> out;
  for (int b : list) out.push_back(static_cast<uint8_t>(b));
  return out;
}

TEST(CborEncoder, NestedMapsWithLabelsAreWrittenInPlace) {
  uint8_t buf[64];
  Encoder enc(buf, sizeof buf);
  enc.openMap();
  enc.addUInt64ToMapN(22, 0);
  enc.openMapInMapN(51);
  enc.addBytesToMapN(23, UsefulBufC{"\x01\x02", 2});
  enc.closeMap();
  enc.openArrayInMapN(-1);
  enc.addInt64(-500);
  enc.closeArray();
  enc.addBoolToMapN(46, true);
  enc.closeMap();
  size_t len = 0;
  ASSERT_EQ(enc.finish(&len), kSuccess);
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + len),
            bytes({0xA4, 0x16, 0x00, 0x18, 0x33, 0xA1, 0x17, 0x42, 0x01, 0x02, 0x20, 0x81,
                   0x39, 0x01, 0xF3, 0x18, 0x2E, 0xF5}));
}

TEST(CborEncoder, ContainerHeadsWidenWhenTheCountNeedsMoreBytes) {
  for (uint32_t count : {23u, 24u, 255u, 256u, 70000u}) {
    std::vector<uint8_t> buf(count + 16);
    Encoder enc(buf.data(), buf.size());
    enc.openArray();
    for (uint32_t k = 0; k < count; k++) enc.addUInt64(k % 20);
    enc.closeArray();
    size_t len = 0;
    ASSERT_EQ(enc.finish(&len), kSuccess) << count;
    buf.resize(len);
    Node tree;
    ASSERT_EQ(decodeTree(buf, &tree), kSuccess) << count;
    ASSERT_EQ(tree.kids.size(), count);
    EXPECT_EQ(tree.kids.back().u, (count - 1) % 20);
  }
}

TEST(CborEncoder, ErrorsAreStickyAndReported) {
  uint8_t buf[4];
  Encoder enc(buf, sizeof buf);
  enc.openMap();
  enc.addBytesToMapN(1, UsefulBufC{"abcdef", 6});  // does not fit
  enc.addUInt64ToMapN(2, 3);                         // would fit, must not be written
  enc.closeMap();
  size_t len = 77;
  EXPECT_EQ(enc.finish(&len), kBufferTooSmall);
  EXPECT_EQ(len, 77u);

  Encoder open(buf, sizeof buf);
  open.openArray();
  EXPECT_EQ(open.finish(&len), kStillOpen);

  Encoder mismatch(buf, sizeof buf);
  mismatch.openArray();
  mismatch.closeMap();
  EXPECT_EQ(mismatch.finish(&len), kCloseMismatch);

  Encoder extra(buf, sizeof buf);
  extra.closeArray();
  EXPECT_EQ(extra.finish(&len), kTooManyCloses);

  Encoder caller(buf, sizeof buf);
  caller.openMap();
  caller.setError(kCallerError);
  caller.closeMap();
  EXPECT_EQ(caller.finish(&len), kCallerError);

  Encoder deep(buf, sizeof buf);
  uint8_t big[64];
  deep.init(big, sizeof big);
  for (int k = 0; k <= kMaxNesting; k++) deep.openArray();
  EXPECT_EQ(deep.finish(&len), kEncodeNestingTooDeep);
}

TEST(CborEncoder, FloatsUseTheShortestExactWidth) {
  struct Case {
    double value;
    std::vector<uint8_t> want;
  };
  const Case cases[] = {
      {1.5, bytes({0xF9, 0x3E, 0x00})},
      {5.960464477539063e-8, bytes({0xF9, 0x00, 0x01})},
      {100000.0, bytes({0xFA, 0x47, 0xC3, 0x50, 0x00})},
      {1.1, bytes({0xFB, 0x3F, 0xF1, 0x99, 0x99, 0x99, 0x99, 0x99, 0x9A})},
      {-0.0, bytes({0xF9, 0x80, 0x00})},
  };
  for (const Case& c : cases) {
    uint8_t buf[16];
    Encoder enc(buf, sizeof buf);
    enc.addDouble(c.value);
    size_t len = 0;
    ASSERT_EQ(enc.finish(&len), kSuccess);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + len), c.want) << c.value;
  }
}

TEST(CborDecoder, LabelsAndNestingLevels) {
  // {1: [2, 3], "k": {-2: h'aa'}, 4: 5}
  const auto msg = bytes({0xA3, 0x01, 0x82, 0x02, 0x03, 0x61, 0x6B, 0xA1, 0x21, 0x41, 0xAA,
                          0x04, 0x05});
  Decoder dec(msg.data(), msg.size());
  Item it;
  ASSERT_EQ(dec.getNext(it), kSuccess);
  EXPECT_EQ(it.type, kTypeMap);
  EXPECT_EQ(it.count, 3u);
  EXPECT_EQ(it.nestingLevel, 0);
  EXPECT_EQ(it.nextNestLevel, 1);

  ASSERT_EQ(dec.getNext(it), kSuccess);
  EXPECT_EQ(it.type, kTypeArray);
  EXPECT_EQ(it.labelType, kTypeInt64);
  EXPECT_EQ(it.label.i64, 1);
  EXPECT_EQ(it.nextNestLevel, 2);
  ASSERT_EQ(dec.getNext(it), kSuccess);
  EXPECT_EQ(it.labelType, kTypeNone);
  EXPECT_EQ(it.val.i64, 2);
  ASSERT_EQ(dec.getNext(it), kSuccess);
  EXPECT_EQ(it.nestingLevel, 2);
  EXPECT_EQ(it.nextNestLevel, 1);  // the array ended with this item

  ASSERT_EQ(dec.getNext(it), kSuccess);
  EXPECT_EQ(it.type, kTypeMap);
  ASSERT_EQ(it.labelType, kTypeText);
  EXPECT_EQ(std::string(static_cast<const char*>(it.label.str.ptr), it.label.str.len), "k");
  ASSERT_EQ(dec.getNext(it), kSuccess);
  EXPECT_EQ(it.label.i64, -2);
  EXPECT_EQ(it.type, kTypeBytes);
  EXPECT_EQ(it.val.str.len, 1u);
  EXPECT_EQ(it.nextNestLevel, 1);

  ASSERT_EQ(dec.getNext(it), kSuccess);
  EXPECT_EQ(it.label.i64, 4);
  EXPECT_EQ(it.nextNestLevel, 0);
  EXPECT_EQ(dec.getNext(it), kNoMoreItems);
  EXPECT_EQ(dec.finish(), kSuccess);
}

TEST(CborDecoder, CopiedStateReReadsTheSameItem) {
  const auto msg = bytes({0xA2, 0x16, 0x00, 0x18, 0x22, 0x07});  // {22: 0, 34: 7}
  Decoder dec(msg.data(), msg.size());
  Item it;
  ASSERT_EQ(dec.getNext(it), kSuccess);
  Decoder saved = dec;
  ASSERT_EQ(dec.getNext(it), kSuccess);
  EXPECT_EQ(it.label.i64, 22);
  dec = saved;
  ASSERT_EQ(dec.getNext(it), kSuccess);
  EXPECT_EQ(it.label.i64, 22);
  ASSERT_EQ(dec.getNext(it), kSuccess);
  EXPECT_EQ(it.label.i64, 34);
  EXPECT_EQ(it.val.i64, 7);
  EXPECT_EQ(dec.finish(), kSuccess);
}

TEST(CborDecoder, LeftoversAndStickyErrors) {
  struct Case {
    const char* what;
    std::vector<uint8_t> msg;
    int reads;  // items read before finish
    uint8_t want;
  };
  const Case cases[] = {
      {"entry left in the map", bytes({0xA2, 0x01, 0x02, 0x03, 0x04}), 2, kUnconsumed},
      {"bytes after the map", bytes({0xA1, 0x01, 0x02, 0x00}), 2, kExtraBytes},
      {"indefinite map not closed", bytes({0xBF, 0x01, 0x02}), 2, kUnconsumed},
      {"all read", bytes({0xBF, 0x01, 0x02, 0xFF}), 2, kSuccess},
      {"map label is an array", bytes({0xA1, 0x80, 0x01}), 2, kLabelType},
      {"tag on a label", bytes({0xA1, 0xC1, 0x01, 0x01}), 2, kLabelType},
      {"epoch date on a string", bytes({0xC1, 0x61, 0x61}), 1, kBadTagContent},
      {"indefinite string without pool", bytes({0x5F, 0x41, 0x00, 0xFF}), 1, kNoStringPool},
  };
  for (const Case& c : cases) {
    Decoder dec(c.msg.data(), c.msg.size());
    Item it;
    uint8_t first = kSuccess;
    for (int k = 0; k < c.reads && first == kSuccess; k++) first = dec.getNext(it);
    uint8_t got = first != kSuccess ? first : dec.finish();
    EXPECT_EQ(got, c.want) << c.what;
    if (c.want != kSuccess) {
      // Once failed, nothing more is read.
      EXPECT_EQ(dec.getNext(it), c.want) << c.what;
      EXPECT_EQ(it.type, kTypeNone) << c.what;
    }
  }
}

TEST(CborDecoder, NestingDeeperThanTheLimitIsRefused) {
  std::vector<uint8_t> ok(kMaxNesting, 0x81);
  ok.push_back(0x00);
  EXPECT_EQ(walkAll(ok.data(), ok.size()), kSuccess);
  std::vector<uint8_t> deep(kMaxNesting + 1, 0x81);
  deep.push_back(0x00);
  EXPECT_EQ(walkAll(deep.data(), deep.size()), kNestingTooDeep);
}

TEST(CborDecoder, SkipNextPassesAWholeContainer) {
  // [[1, {2: [3]}], 4]
  const auto msg = bytes({0x82, 0x82, 0x01, 0xA1, 0x02, 0x81, 0x03, 0x04});
  Decoder dec(msg.data(), msg.size());
  Item it;
  ASSERT_EQ(dec.getNext(it), kSuccess);
  ASSERT_EQ(dec.skipNext(), kSuccess);
  ASSERT_EQ(dec.getNext(it), kSuccess);
  EXPECT_EQ(it.val.i64, 4);
  EXPECT_EQ(dec.finish(), kSuccess);
}

}  // namespace
}  // namespace vcbor::testing
