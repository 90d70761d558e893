#pragma once
// Check-value fix-ups of the decoder fuzz entries' custom mutator (checksum_mutator.h): each
// rewrites the check value(s) of a mutated slot so that the family's decoder accepts it and
// decodes its body. Lengths and counts stay as mutated; where the slot cannot hold the
// checked length, the check is left as it is.
#include "checksum_mutator.h"
#include "decoder_internal.h"
#include "fuzz_decode_common.h"

namespace decoder_fuzz {

inline void put_le32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void put_be32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// Luma-layout frames: the 64-byte header with its check value at frame byte 4 over 32-bit
// words from byte 20; `words` of them.
inline bool frame_has_words(size_t frame_size, size_t words) { return frame_size >= 64 && words <= (frame_size - 20) / 4; }
inline size_t luma_layout_words(const uint8_t *frame) {
  const uint16_t length = hal_decoder::le16(frame + 44);
  return length < 24 ? 0 : length / 4u - 5;
}

inline void fix_luma_v1(uint8_t *frame, size_t frame_size) {
  const size_t words = luma_layout_words(frame);
  if (frame_has_words(frame_size, words)) put_le32(frame + 4, hal_decoder::luma_crc_words(frame + 20, words));
}

inline void fix_pellon(uint8_t *frame, size_t frame_size) {
  const size_t words = luma_layout_words(frame);
  if (frame_has_words(frame_size, words))
    put_le32(frame + 4, words == 0 ? 0xA55Au : hal_decoder::pellon_sum(frame + 20, words));
}

// kv checks a length given by the panel, not by the frame.
inline void fix_kv(uint8_t *frame, size_t frame_size) {
  const DecoderConfig c = fuzz_config();
  const size_t words = static_cast<size_t>(((c.node_count + c.snode_count) * 2 + 64) / 4 - 5);
  if (frame_has_words(frame_size, words)) put_le32(frame + 4, hal_decoder::luma_crc_words(frame + 20, words));
}

// Second-generation Luma: big-endian check at 4 and its inverse at 12; bytes 20..length-1
// under the block check or the CRC (either is accepted; `seed` picks).
inline void fix_luma_v2(uint8_t *frame, size_t frame_size, unsigned seed) {
  const uint16_t length = hal_decoder::be16(frame + 44);
  uint32_t check = 0xA55Au;
  if (length > 20) {
    const size_t n = length - 20u;
    if (n > frame_size - 20) return;
    check = (seed & 1) ? hal_decoder::luma_crc_update(0, frame + 20, n) : hal_decoder::luma_block_check(frame + 20, n);
  }
  put_be32(frame + 4, check);
  put_be32(frame + 12, ~check);
}

// Ferrant: header byte sum at 14, then the body's word sum in its last four bytes.
inline void fix_ferrant(uint8_t *frame, size_t frame_size) {
  const uint16_t head = hal_decoder::ferrant_header_sum(frame);
  frame[14] = static_cast<uint8_t>(head);
  frame[15] = static_cast<uint8_t>(head >> 8);
  const uint16_t length = hal_decoder::le16(frame + 3);
  if (length < 20 || length > frame_size) return;
  put_le32(frame + length - 4, hal_decoder::ferrant_body_sum(frame, length));
}

// zet50210: the negated sum of 2 * (word count at 8) halfwords from byte 20, at byte 4.
inline void fix_zet50210(uint8_t *frame, size_t frame_size) {
  const int32_t word_count = static_cast<int32_t>(hal_decoder::le32(frame + 8));
  const uint64_t halfwords = word_count > 0 ? 2ull * static_cast<uint32_t>(word_count) : 0;
  if (halfwords > (frame_size - 20) / 2) return;
  const uint16_t value = hal_decoder::zet50210_check_value(frame, halfwords);
  frame[4] = static_cast<uint8_t>(value);
  frame[5] = static_cast<uint8_t>(value >> 8);
}

// The controller frame behind the slot header, when there is room for its header.
template <typename Fix>
inline void fix_frame(uint8_t *slot, size_t slot_size, size_t header_size, Fix fix) {
  if (slot_size < DECODER_SLOT_HEADER_SIZE + header_size) return;
  fix(slot + DECODER_SLOT_HEADER_SIZE, slot_size - DECODER_SLOT_HEADER_SIZE);
}

}  // namespace decoder_fuzz
