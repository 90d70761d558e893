// Frames of the Ferrant controllers: a 16-byte header closed by its byte sum, a body closed
// by the tail frame index and the 32-bit sum of all 16-bit words before it.
#include "encoder_bytes.h"
#include "tamrel_touch/frame_encoders.h"

namespace tamrel_touch::encode {
namespace {

constexpr size_t kLengthAt = 3;
constexpr size_t kHeaderSumAt = 14;
constexpr size_t kV1MatrixAt = 178;

void write_header(ByteWriter &w, uint8_t first, uint16_t head_index, uint16_t status, uint8_t packets) {
  w.u8(first);
  w.u16(head_index);
  w.u16(0);  // length, filled last
  w.u16(status);
  w.zeros(3);
  w.u8(packets);
  w.zeros(3);
  w.u16(0);  // header sum
}

// Closes a frame: tail index, word sum, then the length and the header sum (which covers
// the length field).
Bytes close_frame(ByteWriter &w, uint16_t tail_index) {
  if (w.size() % 2) w.u8(0);
  w.u16(tail_index);
  const size_t length = w.size() + 4;
  w.put_u16(kLengthAt, static_cast<uint16_t>(length));
  uint16_t header_sum = 0;
  for (size_t i = 0; i < 14; ++i) header_sum = static_cast<uint16_t>(header_sum + w.bytes()[i]);
  w.put_u16(kHeaderSumAt, header_sum);
  uint32_t sum = 0;
  for (size_t i = 0; i < w.size(); i += 2) sum += static_cast<uint32_t>(w.bytes()[i] | (w.bytes()[i + 1] << 8));
  w.u32(sum);
  return w.bytes();
}

FerrantPacket packet(uint16_t type, ByteWriter &data) { return FerrantPacket{type, data.bytes(), std::nullopt}; }

}  // namespace

Bytes encode_ferrant_v1(const FerrantV1Frame &f) {
  ByteWriter w;
  write_header(w, f.first_byte, f.head_index, 0, 0);
  w.pad_to(20);
  w.u16(f.report_rate_hz);
  w.u16(f.status);
  w.pad_to(146);
  w.u8(f.byte146);
  w.u8(0);
  w.u16(f.word148);
  w.pad_to(168);
  w.u16(static_cast<uint16_t>(f.normalize_scan_count));
  w.u16(0);
  w.u16(f.tx_freq);
  w.u8(f.freq_number);
  w.u8(0);
  w.u8(f.kind);
  w.u8(f.debug_flag);
  w.pad_to(kV1MatrixAt);
  w.values(f.mutual);
  w.raw(f.block16.data(), f.block16.size());
  w.values(f.self);
  w.raw(f.block38.data(), f.block38.size());
  w.values(f.extra);
  w.zeros(6);  // trailer: 6 bytes, tail index, sum (12 bytes)
  return close_frame(w, f.tail_index);
}

Bytes encode_ferrant_v2(const FerrantV2Frame &f) {
  ByteWriter w;
  const uint8_t count = f.packet_count ? *f.packet_count : static_cast<uint8_t>(f.packets.size());
  write_header(w, 0, f.head_index, f.status_word, count);
  for (const FerrantPacket &p : f.packets) {
    const size_t padded = (p.data.size() + 1) / 2 * 2;
    w.u16(p.size_override ? *p.size_override : static_cast<uint16_t>(4 + padded));
    w.u16(p.type);
    w.raw(p.data.data(), p.data.size());
    w.zeros(padded - p.data.size());
  }
  return close_frame(w, f.tail_index);
}

FerrantPacket ferrant_status_packet(uint16_t frame_count, uint8_t flags, uint8_t byte3, uint16_t rate_hz,
                                    uint8_t state_bits, uint16_t time_word) {
  ByteWriter d;
  d.u16(frame_count);  // 0
  d.u8(flags);         // 2
  d.u8(byte3);         // 3
  d.u16(rate_hz);      // 4
  d.u8(state_bits);    // 6
  d.zeros(10);         // 7..16
  d.u16(time_word);    // 17
  return packet(1, d);
}

FerrantPacket ferrant_mutual_packet(uint16_t type, uint16_t freq_code, uint8_t freq_index, uint8_t byte6,
                                    uint8_t byte7, const std::vector<int16_t> &matrix,
                                    const std::array<uint8_t, 6> &saturation, const std::array<uint8_t, 16> &block) {
  ByteWriter d;
  d.u16(0);
  d.u16(freq_code);
  d.u8(freq_index);
  d.u8(0);
  d.u8(byte6);
  d.u8(byte7);
  d.values(matrix);
  d.raw(saturation.data(), saturation.size());
  d.raw(block.data(), block.size());
  return packet(type, d);
}

FerrantPacket ferrant_self_packet(const std::vector<int16_t> &lines, const std::array<uint8_t, 6> &saturation) {
  ByteWriter d;
  d.zeros(10);
  d.values(lines);
  d.raw(saturation.data(), saturation.size());
  return packet(20, d);
}

FerrantPacket ferrant_extra_packet(const std::array<uint8_t, 16> &noise, const std::vector<int16_t> &values,
                                   const std::array<uint8_t, 6> &saturation) {
  ByteWriter d;
  d.zeros(16);
  d.raw(noise.data(), noise.size());
  d.values(values);
  d.raw(saturation.data(), saturation.size());
  return packet(30, d);
}

FerrantPacket ferrant_base_packet(const std::vector<int16_t> &matrix, uint16_t freq_code, uint32_t kdata,
                                  uint16_t kword) {
  ByteWriter d;
  d.values(matrix);
  d.u16(0);
  d.u16(freq_code);
  d.zeros(4);
  d.u32(kdata);
  d.u16(kword);
  return packet(50, d);
}

FerrantPacket ferrant_sums_packet(uint16_t word, const std::vector<std::pair<uint16_t, uint16_t>> &pairs) {
  ByteWriter d;
  d.u16(word);
  for (auto [a, b] : pairs) {
    d.u16(a);
    d.u16(b);
  }
  return packet(51, d);
}

}  // namespace tamrel_touch::encode
