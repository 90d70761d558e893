#pragma once
// A synthetic decoded frame as the HAL hands it to algorithm B: a 17 x 38 mutual matrix
// (row by row by drive line) and two self lines (drive values, then sense values), the
// record naming that panel as the HAL's decoders stamp it.
#include <array>
#include <cstdint>
#include <cstring>

#include "decoded_frame.h"

struct LumaFrame {
  static constexpr int kTx = 17;
  static constexpr int kRx = 38;
  static constexpr int kNodes = kTx * kRx;
  static constexpr int16_t kRawLevel = 3000;

  alignas(8) std::array<uint8_t, DECODED_FRAME_SIZE> bytes{};
  std::array<int16_t, kNodes> mutual{};
  std::array<int16_t, kTx + kRx> self1{};
  std::array<int16_t, kTx + kRx> self2{};

  LumaFrame() {
    mutual.fill(kRawLevel);
    self1.fill(kRawLevel);
    self2.fill(kRawLevel);
    frame()->valid_mark = DECODED_FRAME_VALID_MARK;
    frame()->rows = kTx;
    frame()->columns = kRx;
    Wire();
  }
  LumaFrame(const LumaFrame &other) : bytes(other.bytes), mutual(other.mutual), self1(other.self1), self2(other.self2) {
    Wire();
  }
  LumaFrame &operator=(const LumaFrame &) = delete;

  DecodedFrame *frame() { return reinterpret_cast<DecodedFrame *>(bytes.data()); }
  int16_t &At(int tx, int rx) { return mutual[tx * kRx + rx]; }

  // A touch lowers the mutual raw values: a bump of `depth` at the centre node and half of
  // it on the eight neighbours.
  void Bump(int tx, int rx, int16_t depth) {
    for (int dt = -1; dt <= 1; ++dt) {
      for (int dr = -1; dr <= 1; ++dr) {
        At(tx + dt, rx + dr) = static_cast<int16_t>(kRawLevel - ((dt == 0 && dr == 0) ? depth : depth / 2));
      }
    }
  }

 private:
  void Wire() {
    const int16_t *m = mutual.data();
    const int16_t *s1 = self1.data();
    const int16_t *s2 = self2.data();
    std::memcpy(&bytes[124], &m, 8);
    std::memcpy(&bytes[132], &s1, 8);
    std::memcpy(&bytes[140], &s2, 8);
  }
};
