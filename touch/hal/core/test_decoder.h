#pragma once
// A decoder for the core's tests, written for them: it allocates every buffer a decoder
// may hang on a record, and decodes a tiny slot format of its own:
//   bytes 0..23   the driver's slot header (0..7 frame time, 8..15 frame count)
//   byte 24       0xA5 for a valid frame (anything else is rejected)
//   bytes 25..26  frame index (u16)
//   byte 27       controller state code (4: the frame watchdog is wanted)
//   byte 28       report-rate codes (low nibble current, high nibble previous)
//   bytes 29..30  report rate in Hz (u16)
//   bytes 32..    the mutual matrix, node count x i16 (bounded by the slot)
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "core/decoder_api.h"

namespace hal::testing {

inline std::atomic<int> g_test_decoder_inits{0};
inline std::atomic<int> g_test_decoder_releases{0};
inline std::atomic<int> g_test_decoder_fail_allocation_at{-1};  // record index, -1: never

inline void test_release(DecodedFrame *first, int32_t count) {
  if (first == nullptr) return;
  for (int32_t i = 0; i < count; ++i) {
    DecodedFrame &r = first[i];
    free(r.mutual); r.mutual = nullptr;
    free(r.self1); r.self1 = nullptr;
    free(r.self2); r.self2 = nullptr;
    free(r.reserved_block); r.reserved_block = nullptr;
    r.debug_text = nullptr;
    free(r.extra1); r.extra1 = nullptr;
    free(r.extra2); r.extra2 = nullptr;
    free(r.norm_data); r.norm_data = nullptr;
    for (int k = 0; k < 4; ++k) {
      int16_t *p = r.stylus[k];
      free(p);
      r.stylus[k] = nullptr;
    }
    free(r.dump_mutual); r.dump_mutual = nullptr;
    free(r.dump_self1); r.dump_self1 = nullptr;
    free(r.dump_self2); r.dump_self2 = nullptr;
    free(r.dump_block); r.dump_block = nullptr;
  }
  ++g_test_decoder_releases;
}

inline int32_t test_init(DecodedFrame *first, const DecoderConfig *c, int32_t count) {
  ++g_test_decoder_inits;
  const size_t mutual = static_cast<size_t>(c->node_count) * 2;
  const size_t self = static_cast<size_t>(c->snode_count) * 2;
  for (int32_t i = 0; i < count; ++i) {
    if (i == g_test_decoder_fail_allocation_at.load()) {
      test_release(first, count);
      return -1;
    }
    DecodedFrame &r = first[i];
    r.mutual = static_cast<int16_t *>(calloc(1, mutual));
    r.self1 = static_cast<int16_t *>(calloc(1, self));
    r.self2 = static_cast<int16_t *>(calloc(1, self));
    r.reserved_block = static_cast<uint8_t *>(calloc(1, 255));
    r.debug_text = r.text_area;
    r.extra1 = static_cast<int16_t *>(calloc(1, static_cast<size_t>(c->nnode_count) * 2));
    r.extra2 = static_cast<int16_t *>(calloc(1, self));
    r.norm_data = static_cast<int16_t *>(calloc(1, mutual * c->scan_freq_num));
    for (int k = 0; k < 4; ++k) {
      const size_t n = (k % 2 == 0) ? size_t{c->stylus_col1} * c->stylus_row1 : size_t{c->stylus_col2} * c->stylus_row2;
      r.stylus[k] = static_cast<int16_t *>(calloc(1, n * 2));
    }
    r.dump_mutual = static_cast<int16_t *>(calloc(1, mutual));
    r.dump_self1 = static_cast<int16_t *>(calloc(1, self));
    r.dump_self2 = static_cast<int16_t *>(calloc(1, self));
    r.dump_block = static_cast<uint8_t *>(calloc(1, 2500));
  }
  return 0;
}

inline bool test_decode(DecodedFrame *r, const uint8_t *slot, uint32_t slot_len, PanelGeometry *g) {
  if (r == nullptr || slot == nullptr || g == nullptr || slot_len < 32 || slot[24] != 0xA5) return false;
  memcpy(&r->frame_time_ns, slot, 8);
  memcpy(&r->frame_count, slot + 8, 8);
  r->valid_mark = 0x5FA5;
  memcpy(&r->frame_index, slot + 25, 2);
  r->state_code = slot[27];
  r->report_rate_codes = slot[28];
  memcpy(&r->report_rate_hz, slot + 29, 2);
  r->frame_watchdog_wanted = r->state_code == 4 ? 1 : 0;
  r->rows = g->rows;  // the panel the buffers hold, as every decoder stamps it
  r->columns = g->columns;
  const size_t bytes = static_cast<size_t>(g->node_count) * 2;
  if (r->mutual != nullptr && 32 + bytes <= slot_len) memcpy(r->mutual, slot + 32, bytes);
  return true;
}

inline device_operation test_decoder() { return device_operation{test_init, test_release, test_decode}; }

// Builds a slot in the format above.
inline std::vector<uint8_t> test_slot(uint16_t frame_index, uint64_t frame_count, uint8_t state = 0,
                                      uint8_t rate_codes = 0, uint16_t rate_hz = 0, bool valid = true) {
  std::vector<uint8_t> slot(32 + 16, 0);
  const uint64_t time = 1000000ull + frame_index;
  memcpy(slot.data(), &time, 8);
  memcpy(slot.data() + 8, &frame_count, 8);
  slot[24] = valid ? 0xA5 : 0x00;
  memcpy(slot.data() + 25, &frame_index, 2);
  slot[27] = state;
  slot[28] = rate_codes;
  memcpy(slot.data() + 29, &rate_hz, 2);
  for (int i = 0; i < 8; ++i) {
    const int16_t v = static_cast<int16_t>(frame_index * 10 + i);
    memcpy(slot.data() + 32 + 2 * i, &v, 2);
  }
  return slot;
}

}  // namespace hal::testing
