// The Weaver maps: responses built with libcbor (independent of our encoder) decoded by the
// service's codec, and requests checked by decoding them with libcbor.
#include <gtest/gtest.h>

#include <cbor.h>

#include <cstdlib>
#include <vector>

#include "WeaverSerialize.h"

namespace {

using aidl::android::hardware::weaver::WeaverConfig;
using aidl::android::hardware::weaver::WeaverReadResponse;
using aidl::android::hardware::weaver::WeaverReadStatus;

struct Entry {
  uint64_t label;
  cbor_item_t* value;
};

std::vector<uint8_t> mapOf(std::initializer_list<Entry> entries) {
  cbor_item_t* map = cbor_new_definite_map(entries.size());
  for (const Entry& e : entries) cbor_map_add(map, {cbor_move(cbor_build_uint64(e.label)), cbor_move(e.value)});
  unsigned char* buf = nullptr;
  size_t size = 0;
  size_t len = cbor_serialize_alloc(map, &buf, &size);
  std::vector<uint8_t> out(buf, buf + len);
  std::free(buf);
  cbor_decref(&map);
  return out;
}

cbor_item_t* u(uint64_t v) { return cbor_build_uint64(v); }
cbor_item_t* neg(uint64_t n) { return cbor_build_negint64(n); }
cbor_item_t* bytes(std::vector<uint8_t> b) { return cbor_build_bytestring(b.data(), b.size()); }

keymaster_blob_t blob(const std::vector<uint8_t>& v) { return {v.data(), v.size()}; }

TEST(WeaverSerialize, ConfigMustBeExactlyTheThreeEntriesInOrder) {
  struct Case {
    const char* what;
    std::vector<uint8_t> body;
    bool ok;
  };
  const Case cases[] = {
      {"valid", mapOf({{62, u(16)}, {63, u(16)}, {64, u(16)}}), true},
      {"largest", mapOf({{62, u(0x7FFFFFFF)}, {63, u(0)}, {64, u(16)}}), true},
      {"reordered", mapOf({{63, u(16)}, {62, u(16)}, {64, u(16)}}), false},
      {"fourth entry", mapOf({{62, u(16)}, {63, u(16)}, {64, u(16)}, {65, u(1)}}), false},
      {"2^32", mapOf({{62, u(0x100000000)}, {63, u(16)}, {64, u(16)}}), false},
      {"negative", mapOf({{62, neg(0)}, {63, u(16)}, {64, u(16)}}), false},
      {"bytes value", mapOf({{62, bytes({1})}, {63, u(16)}, {64, u(16)}}), false},
      {"missing entry", mapOf({{62, u(16)}, {63, u(16)}}), false},
      {"not a map", std::vector<uint8_t>{0x83, 0x10, 0x10, 0x10}, false},
      {"trailing byte", [] { auto v = mapOf({{62, u(16)}, {63, u(16)}, {64, u(16)}}); v.push_back(0); return v; }(), false},
  };
  WeaverSerialize s;
  for (const Case& c : cases) {
    WeaverConfig config{1, 2, 3};
    int rc = s.deserializeConfig(blob(c.body), &config);
    EXPECT_EQ(rc == 0, c.ok) << c.what;
    if (c.ok) {
      EXPECT_EQ(config.keySize, c.what == std::string("largest") ? 0 : 16) << c.what;
    } else {
      EXPECT_EQ(rc, -1000) << c.what;
      EXPECT_EQ(config, (WeaverConfig{1, 2, 3})) << "untouched on failure: " << c.what;
    }
  }
}

// The three sizes reach clients as 32-bit signed numbers: a size the processor gives beyond
// 2^31 - 1 would read as a negative count, so the whole answer is refused instead.
TEST(WeaverSerialize, ConfigSizesMustFitASignedInt) {
  constexpr uint64_t kMax = 0x7FFFFFFF;
  const struct {
    const char* what;
    uint64_t slots, keySize, valueSize;
    bool ok;
  } cases[] = {
      {"every size at 2^31 - 1", kMax, kMax, kMax, true},
      {"zero sizes", 0, 0, 0, true},
      {"slots 2^31", kMax + 1, 16, 16, false},
      {"slots 2^32 - 1", 0xFFFFFFFF, 16, 16, false},
      {"key size 2^31", 16, kMax + 1, 16, false},
      {"key size 2^32 - 1", 16, 0xFFFFFFFF, 16, false},
      {"value size 2^31", 16, 16, kMax + 1, false},
      {"value size 2^32 - 1", 16, 16, 0xFFFFFFFF, false},
  };
  WeaverSerialize s;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> body = mapOf({{62, u(c.slots)}, {63, u(c.keySize)}, {64, u(c.valueSize)}});
    WeaverConfig config{1, 2, 3};
    const int rc = s.deserializeConfig(blob(body), &config);
    if (c.ok) {
      EXPECT_EQ(rc, 0);
      EXPECT_EQ(config, (WeaverConfig{static_cast<int32_t>(c.slots), static_cast<int32_t>(c.keySize),
                                      static_cast<int32_t>(c.valueSize)}));
    } else {
      EXPECT_EQ(rc, -1000);
      EXPECT_EQ(config, (WeaverConfig{1, 2, 3})) << "nothing handed out";
    }
  }
}

TEST(WeaverSerialize, ReadResponseKeepsTheValueOnlyOnSuccess) {
  WeaverSerialize s;
  WeaverReadResponse r;
  auto ok = mapOf({{69, u(0)}, {65, u(0)}, {66, bytes({1, 2, 3})}});
  ASSERT_EQ(s.deserializeRead(blob(ok), &r), 0);
  EXPECT_EQ(r.status, WeaverReadStatus::OK);
  EXPECT_EQ(r.value, (std::vector<uint8_t>{1, 2, 3}));

  auto wrong = mapOf({{69, u(2)}, {65, u(30000)}, {66, bytes({9, 9})}});
  ASSERT_EQ(s.deserializeRead(blob(wrong), &r), 0);
  EXPECT_EQ(r.status, WeaverReadStatus::INCORRECT_KEY);
  EXPECT_EQ(r.timeout, 30000);
  EXPECT_TRUE(r.value.empty());

  auto signedStatus = mapOf({{69, neg(0)}, {65, neg(4)}, {66, bytes({})}});
  ASSERT_EQ(s.deserializeRead(blob(signedStatus), &r), 0);
  EXPECT_EQ(static_cast<int32_t>(r.status), -1);
  EXPECT_EQ(r.timeout, -5);

  auto textValue = mapOf({{69, u(0)}, {65, u(0)}, {66, cbor_build_string("x")}});
  EXPECT_EQ(s.deserializeRead(blob(textValue), &r), -1000);
}

TEST(WeaverSerialize, RequestsCarryTheirEntriesInOrderWithTheSlotSignExtended) {
  WeaverSerialize s;
  uint8_t area[64];
  keymaster_blob_t out{area, sizeof area};
  ASSERT_EQ(s.serializeWrite(-1, {0xAA}, {0xBB, 0xCC}, &out), 0);
  cbor_load_result res;
  cbor_item_t* map = cbor_load(area, out.data_length, &res);
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(res.read, out.data_length);
  ASSERT_TRUE(cbor_isa_map(map));
  ASSERT_EQ(cbor_map_size(map), 3u);
  cbor_pair* p = cbor_map_handle(map);
  EXPECT_EQ(cbor_get_int(p[0].key), 68u);
  EXPECT_EQ(cbor_get_int(p[0].value), UINT64_MAX);
  EXPECT_EQ(cbor_get_int(p[1].key), 67u);
  EXPECT_EQ(cbor_bytestring_length(p[1].value), 1u);
  EXPECT_EQ(cbor_get_int(p[2].key), 66u);
  EXPECT_EQ(cbor_bytestring_length(p[2].value), 2u);
  cbor_decref(&map);

  keymaster_blob_t tiny{area, 4};
  EXPECT_EQ(s.serializeRead(1, std::vector<uint8_t>(16), &tiny), -1000);
  EXPECT_EQ(tiny.data_length, 4u);
}

}  // namespace
