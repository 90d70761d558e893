#pragma once
// Test-side encoder of configuration blobs, written from the blob layout (header sum over
// bytes 0-61, L = body + 4 at 59-60, section count at 61, u32 sum of body words at 60+L).
#include <cstdint>
#include <vector>

namespace cfgtest {

using Bytes = std::vector<uint8_t>;

inline Bytes Section(uint8_t ubId, const Bytes& data) {
  Bytes s{static_cast<uint8_t>(data.size() + 2), ubId};
  s.insert(s.end(), data.begin(), data.end());
  return s;
}

inline Bytes Fill(uint8_t ubValue, size_t n) { return Bytes(n, ubValue); }

struct BlobDesc {
  std::vector<Bytes> sections;
  uint8_t ubFlags = 0;
  uint32_t uiId = 0;
  uint8_t ubByte34 = 0;
  int iCountOverride = -1;  // section count to write instead of sections.size()
};

inline void PutU16(Bytes& b, size_t pos, uint16_t v) {
  b[pos] = static_cast<uint8_t>(v);
  b[pos + 1] = static_cast<uint8_t>(v >> 8);
}

// The time section of the end-to-end panels: word 3 (the scan period) 5000.
inline Bytes TimeSection() {
  Bytes time(32, 0);
  PutU16(time, 3, 5000);
  return time;
}

// The panel section of the end-to-end panels: the screen extents, touch threshold 100
// (bytes 4-5), second level 120 (bytes 6-7) and byte 20 = 10.
inline Bytes PanelSection(uint16_t uwScreenX, uint16_t uwScreenY) {
  Bytes panel(38, 0);
  PutU16(panel, 0, uwScreenX);
  PutU16(panel, 2, uwScreenY);
  PutU16(panel, 4, 100);
  PutU16(panel, 6, 120);
  panel[20] = 10;
  return panel;
}

// Recomputes the header sum after a test edits header bytes.
inline void ResealHeader(Bytes& b) {
  uint16_t sum = 0;
  for (size_t i = 0; i < 62; ++i) sum = static_cast<uint16_t>(sum + b[i]);
  PutU16(b, 62, sum);
}

inline Bytes BuildBlob(const BlobDesc& desc) {
  Bytes body;
  for (const Bytes& s : desc.sections) body.insert(body.end(), s.begin(), s.end());
  Bytes b(64, 0);
  for (size_t i = 0; i < 64; ++i) b[i] = static_cast<uint8_t>(i * 7 + 1);  // arbitrary header bytes
  b[30] = static_cast<uint8_t>(desc.uiId);
  b[31] = static_cast<uint8_t>(desc.uiId >> 8);
  b[32] = static_cast<uint8_t>(desc.uiId >> 16);
  b[33] = static_cast<uint8_t>(desc.uiId >> 24);
  b[34] = desc.ubByte34;
  b[58] = desc.ubFlags;
  const uint16_t L = static_cast<uint16_t>(body.size() + 4);
  PutU16(b, 59, L);
  b[61] = static_cast<uint8_t>(desc.iCountOverride >= 0 ? desc.iCountOverride : static_cast<int>(desc.sections.size()));
  ResealHeader(b);
  b.insert(b.end(), body.begin(), body.end());
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < body.size(); i += 2) sum += static_cast<uint32_t>(body[i] | (body[i + 1] << 8));
  for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(sum >> (8 * k)));
  return b;
}

}  // namespace cfgtest
