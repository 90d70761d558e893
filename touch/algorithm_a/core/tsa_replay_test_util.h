#pragma once
// Test side of the item stream: an encoder and a decoder written from the record layout
// ({u32 type, u32 length, payload}, little-endian, back to back), independent of the
// module's packer and walker, plus a capture of the module's log lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tsa_pack.h"
#include "tsa_replay.h"
#include "ferx_syslog_capture_test.h"
#include "tsa_os.h"

namespace replay_test {

using Bytes = std::vector<uint8_t>;

class ItemEncoder {
 public:
  ItemEncoder& U8(uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  ItemEncoder& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
  ItemEncoder& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  ItemEncoder& U64(uint64_t v) { return U32(static_cast<uint32_t>(v)).U32(static_cast<uint32_t>(v >> 32)); }
  ItemEncoder& Raw(const Bytes& b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
  }
  ItemEncoder& Item(uint32_t type, const Bytes& payload) {
    return U32(type).U32(static_cast<uint32_t>(payload.size())).Raw(payload);
  }
  ItemEncoder& ItemU8(uint32_t type, uint8_t v) { return Item(type, {v}); }
  ItemEncoder& ItemU16(uint32_t type, uint16_t v) { return Item(type, {uint8_t(v), uint8_t(v >> 8)}); }
  ItemEncoder& ItemU32(uint32_t type, uint32_t v) { return Item(type, ItemEncoder().U32(v).bytes()); }
  ItemEncoder& ItemU64(uint32_t type, uint64_t v) { return Item(type, ItemEncoder().U64(v).bytes()); }
  ItemEncoder& Open(uint16_t tag) { return ItemU16(0x01000000u, tag); }
  ItemEncoder& Close(uint16_t tag) { return ItemU16(0x01000001u, tag); }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

struct DecodedItem {
  uint32_t type;
  Bytes payload;
};

inline uint32_t LoadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t LoadU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// Splits a well-formed stream; sets *ok to false when an item runs past the end.
inline std::vector<DecodedItem> Decode(const uint8_t* data, size_t size, bool* ok = nullptr) {
  std::vector<DecodedItem> items;
  size_t at = 0;
  bool good = true;
  while (at < size) {
    if (size - at < 8 || LoadU32(data + at + 4) > size - at - 8) {
      good = false;
      break;
    }
    const uint32_t length = LoadU32(data + at + 4);
    items.push_back({LoadU32(data + at), Bytes(data + at + 8, data + at + 8 + length)});
    at += 8 + length;
  }
  if (ok != nullptr) *ok = good;
  return items;
}

inline std::vector<uint32_t> Types(const std::vector<DecodedItem>& items) {
  std::vector<uint32_t> types;
  for (const auto& item : items) types.push_back(item.type);
  return types;
}

inline Bytes Pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
  return b;
}

using LogCapture = fxtest::SysLogCapture;

// Every test starts and ends with the module's replay and report records as at load.
class CleanReplayState : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    ReplayResetForTest();
    ReportPackResetForTest();
  }
  LogCapture log_;
};

}  // namespace replay_test
