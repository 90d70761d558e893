// Sizes and offsets of the shared records are pinned at compile time in the headers; this
// program checks at run time that fields written by name land on the documented bytes,
// that the different readers' views of one byte range agree, and that C (layout_c.c) and
// C++ lay the records out alike.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "alg_module.h"
#include "common_data.h"
#include "decoded_frame.h"
#include "hal_module.h"
#include "timer_tool.h"
#include "vendor_export.h"
#include "vendor_layout.h"
#if __has_include("brax_haptics.h")
#include "brax_haptics.h"
#endif

extern "C" {
size_t layout_c_size_of(int record);
void layout_c_fill_frame(DecodedFrame *frame);
void layout_c_fill_point(AlgTouchPoint *point);
}

namespace {

// Little-endian bytes of `value`, as an independent reference of what must be in memory.
std::vector<uint8_t> le(uint64_t value, size_t width) {
  std::vector<uint8_t> out(width);
  for (size_t i = 0; i < width; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
  return out;
}

std::vector<uint8_t> bytes_at(const void *record, size_t offset, size_t width) {
  const auto *p = static_cast<const uint8_t *>(record) + offset;
  return std::vector<uint8_t>(p, p + width);
}

struct FieldCase {
  const char *name;
  size_t offset;  // byte position the layout documents
  size_t width;
  uint64_t value;
  std::function<void(DecodedFrame &, uint64_t)> write;
};

TEST(DecodedFrameLayout, NamedFieldsLandOnDocumentedBytes) {
  const std::vector<FieldCase> cases = {
      {"frame_count", 44, 8, 0x1122334455667788ull, [](DecodedFrame &f, uint64_t v) { f.frame_count = v; }},
      {"driver_word", 52, 4, 0xCAFEF00Du, [](DecodedFrame &f, uint64_t v) { f.driver_word = uint32_t(v); }},
      {"valid_mark", 60, 2, DECODED_FRAME_VALID_MARK, [](DecodedFrame &f, uint64_t v) { f.valid_mark = uint16_t(v); }},
      {"frame_index", 62, 2, 0x1234, [](DecodedFrame &f, uint64_t v) { f.frame_index = uint16_t(v); }},
      {"frame_flags", 80, 1, 0x19, [](DecodedFrame &f, uint64_t v) { f.frame_flags = uint8_t(v); }},
      {"state_code", 84, 1, 4, [](DecodedFrame &f, uint64_t v) { f.state_code = uint8_t(v); }},
      {"report_rate_codes", 85, 1, 0x40, [](DecodedFrame &f, uint64_t v) { f.report_rate_codes = uint8_t(v); }},
      {"scan_freq", 86, 2, 0x0F0E, [](DecodedFrame &f, uint64_t v) { f.scan_freq = uint16_t(v); }},
      {"ic_frame_count", 88, 2, 0xFFFF, [](DecodedFrame &f, uint64_t v) { f.ic_frame_count = uint16_t(v); }},
      {"frame_length", 104, 2, 0x0A0B, [](DecodedFrame &f, uint64_t v) { f.frame_length = uint16_t(v); }},
      {"ic_time_ms", 110, 2, 0x4321, [](DecodedFrame &f, uint64_t v) { f.ic_time_ms = uint16_t(v); }},
      {"report_rate_hz", 112, 2, 240, [](DecodedFrame &f, uint64_t v) { f.report_rate_hz = uint16_t(v); }},
      {"scan_freq_index", 114, 1, 3, [](DecodedFrame &f, uint64_t v) { f.scan_freq_index = uint8_t(v); }},
      {"frame_type", 116, 1, 17, [](DecodedFrame &f, uint64_t v) { f.frame_type = uint8_t(v); }},
      {"reserved_block_len", 119, 1, 0xEE, [](DecodedFrame &f, uint64_t v) { f.reserved_block_len = uint8_t(v); }},
      {"mutual", 124, 8, 0x00007F0012345678ull,
       [](DecodedFrame &f, uint64_t v) { f.mutual = reinterpret_cast<int16_t *>(v); }},
      {"self1", 132, 8, 0x00007F00AABBCCD0ull,
       [](DecodedFrame &f, uint64_t v) { f.self1 = reinterpret_cast<int16_t *>(v); }},
      {"debug_text_len", 158, 2, 150, [](DecodedFrame &f, uint64_t v) { f.debug_text_len = int16_t(v); }},
      {"tail_byte1", 169, 1, 0x01, [](DecodedFrame &f, uint64_t v) { f.tail_byte1 = uint8_t(v); }},
      {"mutual_adc_sat", 191, 4, 0x05DC0001u, [](DecodedFrame &f, uint64_t v) { f.tail.sat.mutual_adc_sat = uint32_t(v); }},
      {"mutual_adc_sat_word", 195, 2, 0x1357, [](DecodedFrame &f, uint64_t v) { f.tail.sat.mutual_adc_sat_word = uint16_t(v); }},
      {"self_adc_sat", 197, 4, 0x2468ACE0u, [](DecodedFrame &f, uint64_t v) { f.tail.sat.self_adc_sat = uint32_t(v); }},
      {"im_adc_sat_word", 207, 2, 0x9876, [](DecodedFrame &f, uint64_t v) { f.tail.sat.im_adc_sat_word = uint16_t(v); }},
      {"extra1_len", 209, 2, 0x0102, [](DecodedFrame &f, uint64_t v) { f.extra1_len = int16_t(v); }},
      {"extra1", 211, 8, 0x00005555AAAA0000ull,
       [](DecodedFrame &f, uint64_t v) { f.extra1 = reinterpret_cast<int16_t *>(v); }},
      {"extra2_count", 219, 2, 7, [](DecodedFrame &f, uint64_t v) { f.extra2_count = uint16_t(v); }},
      {"norm_len", 245, 2, 1440, [](DecodedFrame &f, uint64_t v) { f.norm_len = int16_t(v); }},
      {"norm_data", 247, 8, 0x0000123400005678ull,
       [](DecodedFrame &f, uint64_t v) { f.norm_data = reinterpret_cast<int16_t *>(v); }},
      {"kdata_check", 255, 4, 0x7FFFFFFFu, [](DecodedFrame &f, uint64_t v) { f.kdata_check = int32_t(v); }},
      {"kdata_check_word", 259, 2, 0xABCD, [](DecodedFrame &f, uint64_t v) { f.kdata_check_word = uint16_t(v); }},
      {"normalize_byte", 261, 1, 0x5A, [](DecodedFrame &f, uint64_t v) { f.normalize_byte = uint8_t(v); }},
      {"stylus[3]", 325, 8, 0x0000000011110000ull,
       [](DecodedFrame &f, uint64_t v) { f.stylus[3] = reinterpret_cast<int16_t *>(v); }},
      {"frame_watchdog_wanted", 358, 1, 1, [](DecodedFrame &f, uint64_t v) { f.frame_watchdog_wanted = uint8_t(v); }},
      {"normalize_scan_count", 359, 2, 0x8001, [](DecodedFrame &f, uint64_t v) { f.normalize_scan_count = int16_t(v); }},
      {"kb_reset_request", 362, 1, 0x80, [](DecodedFrame &f, uint64_t v) { f.kb_reset_request = uint8_t(v); }},
      {"decode_fail_count", 484, 4, 0x01020304u, [](DecodedFrame &f, uint64_t v) { f.decode_fail_count = int32_t(v); }},
      {"dump_type", 1252, 4, 0x11, [](DecodedFrame &f, uint64_t v) { f.dump_type = int32_t(v); }},
      {"dump_block", 1284, 8, 0x0000222233334444ull,
       [](DecodedFrame &f, uint64_t v) { f.dump_block = reinterpret_cast<uint8_t *>(v); }},
      {"dump_block_size", 1292, 4, 2500, [](DecodedFrame &f, uint64_t v) { f.dump_block_size = int32_t(v); }},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    DecodedFrame frame;
    std::memset(&frame, 0, sizeof(frame));
    c.write(frame, c.value);
    EXPECT_EQ(bytes_at(&frame, c.offset, c.width), le(c.value, c.width));
    // Nothing outside the field's bytes changed.
    size_t stray = 0;
    for (size_t i = 0; i < sizeof(frame); ++i) {
      if ((i < c.offset || i >= c.offset + c.width) && bytes_at(&frame, i, 1)[0] != 0) ++stray;
    }
    EXPECT_EQ(stray, 0u);
  }
}

TEST(DecodedFrameLayout, LumaTailWordsAndSaturationViewShareBytes) {
  // The Luma decoders copy nineteen u16 fields to bytes 171..208; the Ferrant side reads
  // a u32 at 191 and a u16 at 201 from the same bytes.
  DecodedFrame frame;
  std::memset(&frame, 0, sizeof(frame));
  for (int i = 0; i < 19; ++i) frame.tail.words[i] = static_cast<uint16_t>(0x0100 * i + i);
  EXPECT_EQ(uint32_t{frame.tail.sat.mutual_adc_sat}, (uint32_t(frame.tail.words[11]) << 16) | frame.tail.words[10]);
  EXPECT_EQ(uint16_t{frame.tail.sat.self_adc_sat_word}, uint16_t{frame.tail.words[15]});
  EXPECT_EQ(uint16_t{frame.tail.sat.im_adc_sat_word}, uint16_t{frame.tail.words[18]});
  EXPECT_EQ(bytes_at(&frame, 207, 2), le(frame.tail.words[18], 2));
}

TEST(DecodedFrameLayout, ValidMarkLowByteIsWhatAlgorithmBTests) {
  DecodedFrame frame;
  std::memset(&frame, 0, sizeof(frame));
  frame.valid_mark = DECODED_FRAME_VALID_MARK;
  EXPECT_EQ(bytes_at(&frame, 60, 1)[0], DECODED_FRAME_VALID_MARK_LOW);
}

TEST(CommonDataLayout, BlockBuiltByteByByteReadsThroughNamedFields) {
  // A block as the driver writes it: id 1, command 7, mode 15, count 3, values 8.. .
  uint8_t raw[COMMON_DATA_SIZE] = {};
  raw[0] = 1;
  raw[1] = 7;
  raw[2] = 15;
  raw[3] = 0;
  raw[4] = 3;
  raw[5] = 0;
  const uint32_t values[3] = {0xDEADBEEF, 2, 0x01000000};
  for (int i = 0; i < 3; ++i) {
    const auto b = le(values[i], 4);
    std::memcpy(raw + 8 + 4 * i, b.data(), 4);
  }
  raw[COMMON_DATA_SIZE - 1] = 0x99;  // last byte: high byte of values[255]

  common_data block;
  std::memcpy(&block, raw, sizeof(block));
  // Packed members are copied out before comparing (no references to packed fields).
  EXPECT_EQ(int{block.touch_id}, 1);
  EXPECT_EQ(int{block.cmd}, COMMON_DATA_CMD_SET_LONG_VALUE);
  EXPECT_EQ(int{block.mode}, COMMON_DATA_MODE_EDGE_ZONES);
  EXPECT_EQ(int{block.count}, 3);
  EXPECT_EQ(uint32_t{block.values[0]}, 0xDEADBEEFu);
  EXPECT_EQ(uint32_t{block.values[2]}, 0x01000000u);
  EXPECT_EQ(uint32_t{block.values[255]}, 0x99000000u);
}

TEST(TimerToolLayout, HooksAtTheBytesAlgorithmModulesCall) {
  // The algorithm modules call the start hook at byte 16 and the stop hook at byte 24.
  timer_tool timer;
  std::memset(&timer, 0, sizeof(timer));
  timer.start = reinterpret_cast<timer_tool_start_fn>(uintptr_t{0x1111});
  timer.stop = reinterpret_cast<timer_tool_stop_fn>(uintptr_t{0x2222});
  timer.running = 1;
  EXPECT_EQ(bytes_at(&timer, 16, 8), le(0x1111, 8));
  EXPECT_EQ(bytes_at(&timer, 24, 8), le(0x2222, 8));
  EXPECT_EQ(bytes_at(&timer, 8, 1)[0], 1);
}

TEST(AlgTouchPointLayout, ActionIsWordThirteen) {
  AlgTouchPoint points[2];
  std::memset(points, 0, sizeof(points));
  points[1].action = ALG_TOUCH_ACTION_UP;
  points[1].x = 1080;
  // Second entry starts 56 bytes on; its action word is at 56 + 52.
  EXPECT_EQ(bytes_at(points, 56 + 52, 4), le(ALG_TOUCH_ACTION_UP, 4));
  EXPECT_EQ(bytes_at(points, 56 + 4, 4), le(1080, 4));
}

// A record of `slots` 8-byte slots from byte `offset`, slot i holding the word base + i.
template <typename Record>
Record record_with_slots(size_t offset, int slots, uint64_t base) {
  uint8_t raw[sizeof(Record)] = {};
  for (int slot = 0; slot < slots; ++slot) {
    const auto b = le(base + slot, 8);
    std::memcpy(raw + offset + 8 * slot, b.data(), 8);
  }
  Record record;
  std::memcpy(&record, raw, sizeof(record));
  return record;
}

TEST(ModuleRecords, SlotIndexesMatchTheirMembers) {
  // A module record filled slot by slot as raw 8-byte words must read back through the
  // named members at the same indexes.
  const auto alg = record_with_slots<AlgModule>(ALG_MODULE_SLOTS_OFFSET, ALG_MODULE_SLOT_COUNT, 0x1000);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(alg.init), 0x1000u + ALG_SLOT_INIT);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(alg.receive_common_data.luma), 0x1000u + ALG_SLOT_RECEIVE_COMMON_DATA);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(alg.update_diff_data.ferrant), 0x1000u + ALG_SLOT_UPDATE_DIFF_DATA);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(alg.dump_csv.luma), 0x1000u + ALG_SLOT_DUMP_CSV);

  const auto hal = record_with_slots<HalModule>(HAL_MODULE_SLOTS_OFFSET, HAL_MODULE_SLOT_COUNT, 0x2000);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(hal.report_points), 0x2000u + HAL_SLOT_REPORT_POINTS);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(hal.get_frame), 0x2000u + HAL_SLOT_GET_FRAME);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(hal.get_util_functions), 0x2000u + HAL_SLOT_GET_UTIL_FUNCTIONS);

  // HAL host table: slots 1..7 from byte 8, byte 0 is the replay flag.
  const auto host = record_with_slots<HalHostCallbacks>(8, 7, 0x3001);
  EXPECT_EQ(int{host.replay_flag}, 0);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(host.driver_common_data), 0x3001u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(host.log), 0x3005u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(host.dump_start_info), 0x3007u);

  const auto callbacks = record_with_slots<AlgHostCallbacks>(0, ALG_HOST_CALLBACK_COUNT, 0x4000);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(callbacks.driver_request.luma), 0x4000u + ALG_HOST_DRIVER_REQUEST);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(callbacks.register_timer), 0x4000u + ALG_HOST_REGISTER_TIMER);
}

TEST(CAndCxx, AgreeOnSizesAndFieldPositions) {
  const size_t cxx_sizes[] = {sizeof(common_data),      sizeof(timer_tool), sizeof(DecodedFrame),
                              sizeof(AlgTouchPoint),    sizeof(AlgHostCallbacks), sizeof(AlgModule),
                              sizeof(HalHostCallbacks), sizeof(HalModule),  sizeof(TouchPanelInfo)};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(layout_c_size_of(i), cxx_sizes[i]) << "record " << i;

  DecodedFrame frame;
  layout_c_fill_frame(&frame);
  EXPECT_EQ(bytes_at(&frame, 44, 8), le(0x0102030405060708ull, 8));
  EXPECT_EQ(bytes_at(&frame, 60, 2), le(DECODED_FRAME_VALID_MARK, 2));
  EXPECT_EQ(bytes_at(&frame, 88, 2), le(0xBEEF, 2));
  EXPECT_EQ(bytes_at(&frame, 191, 4), le(0xA1B2C3D4u, 4));
  EXPECT_EQ(bytes_at(&frame, 362, 1), le(0x77, 1));
  EXPECT_EQ(bytes_at(&frame, 1292, 4), le(0x0A0B0C0D, 4));

  AlgTouchPoint point;
  layout_c_fill_point(&point);
  EXPECT_EQ(int32_t{point.x}, 0x11);
  EXPECT_EQ(int32_t{point.y}, 0x22);
  EXPECT_EQ(int32_t{point.id}, 0x33);
  EXPECT_EQ(int32_t{point.action}, ALG_TOUCH_ACTION_UP);
}

}  // namespace
