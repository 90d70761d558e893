// Frames of the Luma, Pellon and kv controllers: one 64-byte header layout, then the
// matrices and a family-specific tail.
#include <algorithm>

#include "encoder_bytes.h"
#include "tamrel_touch/frame_encoders.h"

namespace tamrel_touch::encode {
namespace {

constexpr size_t kHeader = 64;
constexpr size_t kCheckAt = 4;
constexpr size_t kInvertedAt = 12;
constexpr size_t kLengthAt = 44;
constexpr size_t kCheckedFrom = 20;
constexpr size_t kMatrixArea = 2056;
constexpr size_t kDumpAt = 4096;
constexpr size_t kTextMax = 100;

void write_header(ByteWriter &w, const LumaLayoutFrame &f) {
  w.u8(0xA5);  // frame marker: the record's u16 at 60 reads 0x5FA5
  w.u8(0x5F);
  w.u16(f.frame_index);
  w.u32(0);  // check value, filled last
  w.u32(f.reserved8);
  w.u32(0);  // inverted check value
  w.u32(f.reserved16);
  w.raw(f.state.data(), f.state.size());
  w.u16(f.scan_freq);
  for (uint16_t c : f.counters) w.u16(c);
  w.u16(0);  // length, filled last
  w.u16(f.reserved46);
  w.u8(f.columns);
  w.u8(f.rows);
  w.u16(f.status_word);
  w.u16(f.report_rate_hz);
  w.u8(f.scan_freq_number);
  w.u8(0);
  w.u8(f.frame_type);
  w.u16(f.reserved57);
  w.u8(static_cast<uint8_t>(f.reserved_block.size()));
  w.u16(f.reserved60[0]);
  w.u16(f.reserved60[1]);
}

int16_t text_length_field(const LumaLayoutFrame &f) {
  return f.text_length ? *f.text_length : static_cast<int16_t>(f.text.size());
}

// The frame carries as many text bytes as the reader takes: the length, or 100 when the
// length is negative or above 100.
void write_text(ByteWriter &w, const LumaLayoutFrame &f) {
  const int16_t length = text_length_field(f);
  const size_t placed = (length < 0 || length > static_cast<int16_t>(kTextMax)) ? kTextMax : static_cast<size_t>(length);
  std::string text = f.text;
  text.resize(placed, '\0');
  w.u16(f.tail_word);
  w.u16(static_cast<uint16_t>(length));
  w.raw(text.data(), text.size());
}

void pad_to_words(ByteWriter &w) { w.pad_to((w.size() + 3) / 4 * 4); }

// Luma CRC over little-endian 32-bit words, each fed most significant byte first.
uint32_t crc_over_words(const uint8_t *p, size_t words) {
  std::vector<uint8_t> msb_first;
  for (size_t i = 0; i < words; ++i)
    for (int b = 3; b >= 0; --b) msb_first.push_back(p[4 * i + static_cast<size_t>(b)]);
  return luma_crc32(msb_first.data(), msb_first.size());
}

void finish_first_gen(ByteWriter &w, bool pellon) {
  pad_to_words(w);
  const size_t length = w.size();
  w.put_u16(kLengthAt, static_cast<uint16_t>(length));
  const size_t words = length < 24 ? 0 : length / 4 - 5;
  const uint8_t *data = w.bytes().data() + kCheckedFrom;
  uint32_t check;
  if (pellon)
    check = words == 0 ? 0xA55Au : pellon_checksum(data, words);
  else
    check = words == 0 ? 0u : crc_over_words(data, words);
  w.put_u32(kCheckAt, check);
}

}  // namespace

uint32_t luma_crc32(const uint8_t *bytes, size_t n) {
  uint32_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    crc ^= static_cast<uint32_t>(bytes[i]) << 24;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0xE89061DBu : (crc << 1);
  }
  return crc;
}

uint32_t luma_bcc(const uint8_t *bytes, size_t n) {
  uint32_t x = 0, s = 0;
  for (size_t i = 0; i < n; ++i) {
    const int32_t v = static_cast<int8_t>(bytes[i]);
    x ^= static_cast<uint32_t>(v);
    s += static_cast<uint32_t>(v);
  }
  return (0xA55Au ^ x) + s;
}

uint32_t pellon_checksum(const uint8_t *words, size_t n) {
  uint32_t x = 0, s = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t *p = words + 4 * i;
    const uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
    x ^= v;
    s += v;
  }
  return (0xA55Au ^ x) + s;
}

Bytes make_slot(const SlotHeader &header, const Bytes &frame, size_t slot_size) {
  ByteWriter w;
  w.u32(static_cast<uint32_t>(header.time_ns));
  w.u32(static_cast<uint32_t>(header.time_ns >> 32));
  w.u32(static_cast<uint32_t>(header.frame_count));
  w.u32(static_cast<uint32_t>(header.frame_count >> 32));
  w.raw(header.driver.data(), header.driver.size());
  w.raw(frame.data(), frame.size());
  w.pad_to(slot_size);
  return w.bytes();
}

namespace {

// The little-endian layout: header, matrices, reserved block, tail word, text, then the
// family's closing bytes; the check goes in last.
Bytes encode_little_endian(const LumaLayoutFrame &f, bool second_self_line, const Bytes &closing, bool pellon) {
  ByteWriter w;
  write_header(w, f);
  w.values(f.mutual);
  w.values(f.self1);
  if (second_self_line) w.values(f.self2);
  w.raw(f.reserved_block.data(), f.reserved_block.size());
  write_text(w, f);
  w.raw(closing.data(), closing.size());
  finish_first_gen(w, pellon);
  return w.bytes();
}

}  // namespace

Bytes encode_luma_v1(const LumaLayoutFrame &f) { return encode_little_endian(f, true, {0, 0}, false); }

Bytes encode_pellon_v1(const LumaLayoutFrame &f) { return encode_little_endian(f, false, {0}, true); }

Bytes encode_kv(const LumaLayoutFrame &f, int mutual_count, int self_count) {
  LumaLayoutFrame copy = f;
  copy.reserved_block.clear();  // kv frames have none
  copy.frame_index = 0;         // nor a frame index: header bytes 2 and 3 stay zero
  ByteWriter w;
  write_header(w, copy);
  w.values(f.mutual);
  w.values(f.self1);
  const size_t words = static_cast<size_t>(((mutual_count + self_count) * 2 + 64) / 4 - 5);
  w.pad_to(kCheckedFrom + 4 * words);
  pad_to_words(w);
  w.put_u16(kLengthAt, static_cast<uint16_t>(w.size()));
  w.put_u32(kCheckAt, crc_over_words(w.bytes().data() + kCheckedFrom, words));
  return w.bytes();
}

Bytes encode_luma_v2(const LumaLayoutFrame &f, LumaCheck check) {
  ByteWriter w(true);
  write_header(w, f);
  w.values(f.mutual);
  w.values(f.self1);
  w.values(f.self2);
  w.pad_to(kHeader + kMatrixArea);
  w.raw(f.reserved_block.data(), f.reserved_block.size());
  write_text(w, f);
  w.u8(f.tail_byte0);
  w.u8(f.tail_byte1);
  w.u8(0);
  for (uint16_t v : f.tail_fields) w.u16(v);
  w.u16(static_cast<uint16_t>(f.extra1.size()));
  w.values(f.extra1);
  w.u16(static_cast<uint16_t>(f.extra2.size()));
  w.values(f.extra2);
  w.raw(f.extra_block.data(), f.extra_block.size());
  const size_t length = w.size();
  w.put_u16(kLengthAt, static_cast<uint16_t>(length));
  const uint8_t *checked = w.bytes().data() + kCheckedFrom;
  const uint32_t value =
      check == LumaCheck::kBlockCheck ? luma_bcc(checked, length - kCheckedFrom) : luma_crc32(checked, length - kCheckedFrom);
  w.put_u32(kCheckAt, value);
  w.put_u32(kInvertedAt, ~value);
  if (f.dump_type) {
    w.pad_to(kDumpAt);
    w.u32(static_cast<uint32_t>(*f.dump_type));
    w.u16(f.dump_word);
    w.values(f.dump_mutual);
    w.values(f.dump_self1);
    w.values(f.dump_self2);
    w.raw(f.dump_block.data(), f.dump_block.size());
  }
  return w.bytes();
}

Bytes encode_pellon_v2(const LumaLayoutFrame &f) { return encode_little_endian(f, false, {f.tail_byte0}, true); }

}  // namespace tamrel_touch::encode
