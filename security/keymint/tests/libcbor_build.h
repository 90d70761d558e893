#pragma once
// Test helper: CBOR built with libcbor, independent of the system's own encoder, for the
// answers the simulated secure processor gives and for expected request bodies.
#include <cbor.h>

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <utility>
#include <vector>

namespace kmtest {

using Bytes = std::vector<uint8_t>;

// Integers in their shortest form, as preferred serialisation writes them.
inline cbor_item_t* unsignedInt(uint64_t v) {
  if (v <= 0xFF) return cbor_build_uint8(static_cast<uint8_t>(v));
  if (v <= 0xFFFF) return cbor_build_uint16(static_cast<uint16_t>(v));
  if (v <= 0xFFFFFFFFull) return cbor_build_uint32(static_cast<uint32_t>(v));
  return cbor_build_uint64(v);
}
inline cbor_item_t* negativeInt(uint64_t n) {  // the integer -1 - n
  if (n <= 0xFF) return cbor_build_negint8(static_cast<uint8_t>(n));
  if (n <= 0xFFFF) return cbor_build_negint16(static_cast<uint16_t>(n));
  if (n <= 0xFFFFFFFFull) return cbor_build_negint32(static_cast<uint32_t>(n));
  return cbor_build_negint64(n);
}
inline cbor_item_t* integer(int64_t v) {
  return v >= 0 ? unsignedInt(static_cast<uint64_t>(v)) : negativeInt(static_cast<uint64_t>(-1 - v));
}
inline cbor_item_t* bytes(const Bytes& b) { return cbor_build_bytestring(b.data(), b.size()); }
inline cbor_item_t* boolean(bool b) { return cbor_build_bool(b); }
inline cbor_item_t* array(std::initializer_list<cbor_item_t*> items) {
  cbor_item_t* a = cbor_new_definite_array(items.size());
  for (cbor_item_t* i : items) cbor_array_push(a, cbor_move(i));
  return a;
}
inline cbor_item_t* map(std::initializer_list<std::pair<int64_t, cbor_item_t*>> entries) {
  cbor_item_t* m = cbor_new_definite_map(entries.size());
  for (const auto& e : entries) cbor_map_add(m, cbor_pair{cbor_move(integer(e.first)), cbor_move(e.second)});
  return m;
}
inline Bytes encode(cbor_item_t* item) {
  unsigned char* buf = nullptr;
  size_t size = 0;
  size_t len = cbor_serialize_alloc(item, &buf, &size);
  Bytes out(buf, buf + len);
  std::free(buf);
  cbor_decref(&item);
  return out;
}
inline cbor_item_t* date(int32_t sec, int32_t min, int32_t hour, int32_t day, int32_t mon, int32_t year) {
  return array({integer(sec), integer(min), integer(hour), integer(day), integer(mon), integer(year), integer(0),
                integer(0), integer(0)});
}

// A key blob as the secure processor makes it: [magic, 1, 2, characteristics bytes].
inline Bytes keyBlob(const Bytes& characteristics, uint64_t magic = 0x4B4D4B44) {
  return encode(array({unsignedInt(magic), integer(1), integer(2), bytes(characteristics)}));
}

}  // namespace kmtest
