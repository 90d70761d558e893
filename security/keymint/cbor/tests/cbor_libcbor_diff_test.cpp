// Differential test against Debian's libcbor on generated maps of the shapes the secure
// processor's messages use: both encoders must write the same bytes, and our decoder must
// read libcbor's encoding back to the values libcbor itself decodes.
#include <gtest/gtest.h>

#include <cbor.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "cbor_tree.h"

namespace vcbor::testing {
namespace {

cbor_item_t* buildUint(uint64_t v) {
  if (v <= 0xFF) return cbor_build_uint8(static_cast<uint8_t>(v));
  if (v <= 0xFFFF) return cbor_build_uint16(static_cast<uint16_t>(v));
  if (v <= 0xFFFFFFFFull) return cbor_build_uint32(static_cast<uint32_t>(v));
  return cbor_build_uint64(v);
}

cbor_item_t* buildNeg(uint64_t n) {  // the integer -1 - n
  if (n <= 0xFF) return cbor_build_negint8(static_cast<uint8_t>(n));
  if (n <= 0xFFFF) return cbor_build_negint16(static_cast<uint16_t>(n));
  if (n <= 0xFFFFFFFFull) return cbor_build_negint32(static_cast<uint32_t>(n));
  return cbor_build_negint64(n);
}

cbor_item_t* toLibcbor(const Node& n) {
  switch (n.type) {
    case kTypeInt64: {
      auto v = static_cast<int64_t>(n.u);
      return v >= 0 ? buildUint(n.u) : buildNeg(~n.u);
    }
    case kTypeUint64: return buildUint(n.u);
    case kTypeBytes: return cbor_build_bytestring(n.s.data(), n.s.size());
    case kTypeText: return cbor_build_stringn(reinterpret_cast<const char*>(n.s.data()), n.s.size());
    case kTypeTrue: return cbor_build_bool(true);
    case kTypeFalse: return cbor_build_bool(false);
    case kTypeNull: return cbor_new_null();
    case kTypeArray: {
      cbor_item_t* a = cbor_new_definite_array(n.kids.size());
      for (const Node& k : n.kids) {
        cbor_item_t* c = toLibcbor(k);
        cbor_array_push(a, c);
        cbor_decref(&c);
      }
      return a;
    }
    case kTypeMap: {
      cbor_item_t* m = cbor_new_definite_map(n.kids.size() / 2);
      for (size_t k = 0; k + 1 < n.kids.size(); k += 2) {
        cbor_item_t* key = toLibcbor(n.kids[k]);
        cbor_item_t* value = toLibcbor(n.kids[k + 1]);
        cbor_map_add(m, cbor_pair{key, value});
        cbor_decref(&key);
        cbor_decref(&value);
      }
      return m;
    }
    default: std::abort();
  }
}

Node fromLibcbor(const cbor_item_t* item) {
  Node n;
  switch (cbor_typeof(item)) {
    case CBOR_TYPE_UINT:
      n.u = cbor_get_int(item);
      n.type = n.u <= INT64_MAX ? kTypeInt64 : kTypeUint64;
      break;
    case CBOR_TYPE_NEGINT:
      n.u = ~cbor_get_int(item);  // the bits of -1 - value
      n.type = kTypeInt64;
      break;
    case CBOR_TYPE_BYTESTRING:
      n.type = kTypeBytes;
      n.s.assign(cbor_bytestring_handle(item),
                 cbor_bytestring_handle(item) + cbor_bytestring_length(item));
      break;
    case CBOR_TYPE_STRING:
      n.type = kTypeText;
      n.s.assign(cbor_string_handle(item), cbor_string_handle(item) + cbor_string_length(item));
      break;
    case CBOR_TYPE_ARRAY:
      n.type = kTypeArray;
      for (size_t k = 0; k < cbor_array_size(item); k++) {
        cbor_item_t* c = cbor_array_get(item, k);
        n.kids.push_back(fromLibcbor(c));
        cbor_decref(&c);
      }
      break;
    case CBOR_TYPE_MAP: {
      n.type = kTypeMap;
      cbor_pair* pairs = cbor_map_handle(item);
      for (size_t k = 0; k < cbor_map_size(item); k++) {
        n.kids.push_back(fromLibcbor(pairs[k].key));
        n.kids.push_back(fromLibcbor(pairs[k].value));
      }
      break;
    }
    case CBOR_TYPE_FLOAT_CTRL:
      if (cbor_is_null(item)) {
        n.type = kTypeNull;
      } else {
        n.type = cbor_get_bool(item) ? kTypeTrue : kTypeFalse;
      }
      break;
    default: std::abort();
  }
  return n;
}

// A map shaped like a KeyMint or Weaver body: integer labels (negative ones as key
// parameter tags with the top bit set), scalars, byte strings, one level of nesting.
Node randomMap(std::mt19937_64& rng, int depth) {
  Node map;
  map.type = kTypeMap;
  int entries = static_cast<int>(rng() % (depth == 0 ? 40 : 6));
  for (int e = 0; e < entries; e++) {
    Node label;
    label.type = kTypeInt64;
    label.u = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(rng())) >> (rng() % 32));
    map.kids.push_back(label);
    Node value;
    switch (rng() % 8) {
      case 0:
        value.type = kTypeInt64;
        value.u = rng() >> (rng() % 64);
        if (value.u > INT64_MAX) value.type = kTypeUint64;
        break;
      case 1:
        value.type = kTypeInt64;
        value.u = static_cast<uint64_t>(-static_cast<int64_t>(rng() >> (1 + rng() % 63)) - 1);
        break;
      case 2:
      case 3: {
        value.type = kTypeBytes;
        size_t len = rng() % 4 == 0 ? rng() % 600 : rng() % 40;
        for (size_t k = 0; k < len; k++) value.s.push_back(static_cast<uint8_t>(rng()));
        break;
      }
      case 4: {
        value.type = kTypeText;
        size_t len = rng() % 30;
        for (size_t k = 0; k < len; k++) value.s.push_back(static_cast<uint8_t>('a' + rng() % 26));
        break;
      }
      case 5: value.type = rng() % 2 ? kTypeTrue : kTypeFalse; break;
      case 6:
        if (depth < 2) {
          value = randomMap(rng, depth + 1);
        } else {
          value.type = kTypeNull;
        }
        break;
      default: {
        value.type = kTypeArray;
        size_t len = rng() % 30;
        for (size_t k = 0; k < len; k++) {
          Node el;
          el.type = kTypeInt64;
          el.u = rng() % 100000;
          value.kids.push_back(el);
        }
        break;
      }
    }
    map.kids.push_back(value);
  }
  return map;
}

TEST(CborAgainstLibcbor, GeneratedMapsEncodeAndDecodeAlike) {
  std::mt19937_64 rng(0x5ECB0F);
  for (int round = 0; round < 400; round++) {
    Node map = randomMap(rng, 0);
    std::vector<uint8_t> ours = encodeTree(map);
    ASSERT_FALSE(ours.empty());

    cbor_item_t* theirs = toLibcbor(map);
    unsigned char* buf = nullptr;
    size_t bufSize = 0;
    size_t len = cbor_serialize_alloc(theirs, &buf, &bufSize);
    cbor_decref(&theirs);
    ASSERT_GT(len, 0u);
    std::vector<uint8_t> ref(buf, buf + len);
    std::free(buf);
    ASSERT_EQ(ours, ref) << "round " << round;

    Node decoded;
    ASSERT_EQ(decodeTree(ref, &decoded), kSuccess) << "round " << round;
    cbor_load_result result;
    cbor_item_t* loaded = cbor_load(ref.data(), ref.size(), &result);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(decoded, fromLibcbor(loaded)) << "round " << round;
    EXPECT_EQ(decoded, map) << "round " << round;
    cbor_decref(&loaded);
  }
}

}  // namespace
}  // namespace vcbor::testing
