// Frames of the zet50210 controller: a 64-byte header with a 16-bit negated word sum, then
// the mutual matrix or, in a stylus frame, the stylus arrays and one quarter of the matrix.
#include "encoder_bytes.h"
#include "tamrel_touch/frame_encoders.h"

namespace tamrel_touch::encode {

Bytes encode_zet50210(const Zet50210Frame &f) {
  ByteWriter w;
  std::array<uint8_t, 64> header = f.header;
  header[0] = f.skip_check ? 0xFF : header[0] == 0xFF ? 0 : header[0];
  header[56] = f.frame_type;
  w.raw(header.data(), header.size());
  if (f.frame_type == 29) {
    std::array<uint8_t, 36> stylus = f.stylus_header;
    w.raw(stylus.data(), stylus.size());
    for (const auto &a : f.stylus) w.values(a);
    w.raw(f.stylus_trailer.data(), f.stylus_trailer.size());
    w.values(f.quarter);
  } else {
    w.values(f.mutual);
  }
  w.pad_to((w.size() + 3) / 4 * 4);
  // The check covers every 16-bit word from byte 20: twice the stored 32-bit word count.
  const uint32_t words32 = static_cast<uint32_t>((w.size() - 20) / 4);
  w.put_u32(8, words32);
  uint32_t sum = 0;
  for (size_t i = 20; i < 20 + 4 * static_cast<size_t>(words32); i += 2)
    sum += static_cast<uint32_t>(w.bytes()[i] | (w.bytes()[i + 1] << 8));
  uint16_t check = static_cast<uint16_t>(0u - sum);
  if (f.corrupt_check) ++check;
  w.put_u32(4, check);
  return w.bytes();
}

}  // namespace tamrel_touch::encode
