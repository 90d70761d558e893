#pragma once
// Test-side encoder of raw controller frames as the module's raw-frame entry reads them:
// header fields, scrambled sections in flag order, the end index and the header's 16-bit
// byte sum.
#include <algorithm>
#include <cstdint>
#include <vector>

namespace fxtest {

using RawBytes = std::vector<uint8_t>;

// The module's block scrambler (ferx_encrypt): linked in by unit tests, looked up in the
// loaded plug-in by end-to-end tests.
inline void (*gRawFrameScramble)(const uint8_t* in, uint8_t* out, uint32_t length) = nullptr;

inline void PutU16(RawBytes* b, uint16_t v) {
  b->push_back(static_cast<uint8_t>(v & 0xFF));
  b->push_back(static_cast<uint8_t>(v >> 8));
}

// Section data as the controller sends it: scrambled, then appended.
inline void PutScrambled(RawBytes* b, const RawBytes& plain) {
  RawBytes out(plain.size());
  gRawFrameScramble(plain.data(), out.data(), static_cast<uint32_t>(plain.size()));
  b->insert(b->end(), out.begin(), out.end());
}

inline RawBytes U16s(const std::vector<uint16_t>& v) {
  RawBytes b;
  for (uint16_t x : v) PutU16(&b, x);
  return b;
}

// The controller's side of a raw frame: header fields, sections in flag order, the end
// index, and the header's 16-bit byte sum.
struct RawFrame {
  uint8_t type = 0x5A;
  uint8_t state = 2;
  uint8_t scan = 0x04;
  uint16_t index = 7;
  uint8_t freqIndex = 0;
  std::vector<uint16_t> mutual, self, im;
  RawBytes rxNoise;
  std::vector<int16_t> iq;  // interleaved
  RawBytes sectionHead = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

  uint8_t Flags() const {
    return static_cast<uint8_t>((mutual.empty() ? 0 : 1) | (self.empty() ? 0 : 2) | (im.empty() ? 0 : 4) |
                                (rxNoise.empty() ? 0 : 8) | (iq.empty() ? 0 : 16));
  }
  RawBytes Payload() const {
    RawBytes p;
    auto section = [&](const RawBytes& data) {
      p.insert(p.end(), sectionHead.begin(), sectionHead.end());
      PutScrambled(&p, data);
    };
    if (!mutual.empty()) section(U16s(mutual));
    if (!self.empty()) section(U16s(self));
    if (!im.empty()) section(U16s(im));
    if (!rxNoise.empty()) PutScrambled(&p, rxNoise);
    if (!iq.empty()) {
      std::vector<uint16_t> w(iq.begin(), iq.end());
      section(U16s(w));
    }
    return p;
  }
  RawBytes Build() const {
    const RawBytes payload = Payload();
    const uint16_t len = static_cast<uint16_t>(14 + payload.size() + 2);
    RawBytes b = {type, state, Flags(), scan};
    PutU16(&b, index);
    PutU16(&b, len);
    b.push_back(freqIndex);
    b.push_back(0);  // reserved
    b.push_back(0);  // spare
    b.push_back(0);  // custom info
    Checksum(&b);
    b.insert(b.end(), payload.begin(), payload.end());
    PutU16(&b, index);
    return b;
  }
  static void Checksum(RawBytes* b) {
    uint32_t sum = 0;
    for (int i = 0; i < 12; ++i) sum += (*b)[i];
    b->resize(std::max<size_t>(b->size(), 14));
    (*b)[12] = static_cast<uint8_t>(sum & 0xFF);
    (*b)[13] = static_cast<uint8_t>((sum >> 8) & 0xFF);
  }
};


}  // namespace fxtest
