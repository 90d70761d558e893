// Luma, Pellon and kv decoders against frames built by the simulated controller's
// encoders.
#include <gtest/gtest.h>

#include "decoder_test_util.h"

using namespace decoder_test;

namespace {

enc::LumaLayoutFrame sample_frame(const DecoderConfig &c, bool two_self_lines = true) {
  enc::LumaLayoutFrame f;
  f.frame_index = 0x0A0B;
  f.reserved8 = 0x01020304;
  f.reserved16 = 0x05060708;
  f.state = {0x20, 0x21, 0x22, 0x23, 4, 0x02};
  f.scan_freq = 0x2627;
  f.counters = {0x2829, 0x2A2B, 0x2C2D, 0x2E2F, 0x3031, 0x3233, 0x3435, 0x3637};
  f.reserved46 = 0x4647;
  f.columns = c.columns;
  f.rows = c.rows;
  f.status_word = 0x5051;
  f.report_rate_hz = 240;
  f.scan_freq_number = 0x54;
  f.frame_type = 4;
  f.reserved57 = 0x5758;
  f.reserved60 = {0x6061, 0x6263};
  f.mutual = ramp(static_cast<size_t>(c.node_count), -300);
  f.self1 = ramp(static_cast<size_t>(c.snode_count), 1000);
  if (two_self_lines) f.self2 = ramp(static_cast<size_t>(c.snode_count), 2000);
  f.reserved_block = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4};
  f.tail_word = 0x9C9D;
  f.text = "touch debug line";
  f.tail_byte0 = 0xA8;
  f.tail_byte1 = 0xA9;
  for (size_t i = 0; i < f.tail_fields.size(); ++i) f.tail_fields[i] = static_cast<uint16_t>(0x7100 + i);
  f.extra1 = ramp(static_cast<size_t>(c.nnode_count), 3000);
  f.extra2 = ramp(static_cast<size_t>(c.snode_count), 4000);
  for (size_t i = 0; i < f.extra_block.size(); ++i) f.extra_block[i] = static_cast<uint8_t>(0xE0 + i);
  return f;
}

// The fields the Luma-layout first-generation decoders share (Luma and Pellon).
void expect_first_gen_common(const DecodedFrame &r, const enc::LumaLayoutFrame &f) {
  EXPECT_EQ(V(r.valid_mark), DECODED_FRAME_VALID_MARK);
  EXPECT_EQ(V(r.state_byte83), f.state[3]);
  EXPECT_EQ(V(r.state_code), f.state[4]);
  EXPECT_EQ(V(r.report_rate_codes), f.state[5]);
  EXPECT_EQ(V(r.scan_freq), f.scan_freq);
  EXPECT_EQ(V(r.ic_frame_count), f.counters[0]);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(V(r.noise_values[i]), f.counters[2 + i]) << i;
  EXPECT_EQ(V(r.frame_watchdog_wanted), f.state[4] == 4 ? 1 : 0);
}

void expect_luma_pellon_fields(const DecodedFrame &r, const enc::LumaLayoutFrame &f) {
  expect_first_gen_common(r, f);
  EXPECT_EQ(V(r.frame_index), f.frame_index);
  EXPECT_EQ(V(r.dropped_frames), f.counters[1]);
  EXPECT_EQ(V(r.ic_time_ms), f.status_word);
  EXPECT_EQ(V(r.state_byte82), f.state[2]);
  EXPECT_EQ(V(r.scan_freq_index), f.scan_freq_number);
  EXPECT_EQ(V(r.frame_type), f.frame_type);
  EXPECT_EQ(V(r.tail_word), f.tail_word);
  EXPECT_EQ(V(r.debug_text_len), static_cast<int16_t>(f.text.size()));
  EXPECT_EQ(std::string(r.text_area, f.text.size()), f.text);
}

// ---- first generation --------------------------------------------------------------------

TEST(LumaFirstGen, DecodesEveryField) {
  install_host();
  const DecoderConfig c = small_config();
  Records rec(luma_operation, c);
  ASSERT_TRUE(rec.ok());
  const enc::LumaLayoutFrame f = sample_frame(c);
  const enc::SlotHeader h = slot_header(77);
  ASSERT_TRUE(rec.decode(0, enc::make_slot(h, enc::encode_luma_v1(f))));
  const DecodedFrame &r = rec[0];
  expect_slot_copy(r, h, 4);
  expect_luma_pellon_fields(r, f);
  EXPECT_EQ(V(r.columns), c.columns);
  EXPECT_EQ(V(r.rows), c.rows);
  EXPECT_EQ(V(r.report_rate_hz), 240);  // rate code 2
  EXPECT_EQ(V(r.high_rate_or_idle), 1);  // type 4
  EXPECT_EQ(read_values(r.mutual, 12), f.mutual);
  EXPECT_EQ(read_values(r.self1, 7), f.self1);
  EXPECT_EQ(read_values(r.self2, 7), f.self2);
  EXPECT_EQ(HostCapture::get().count("frame cnt:77"), 1u);
}

TEST(PellonFirstGen, DecodesEveryFieldAndTheReservedBlock) {
  install_host();
  const DecoderConfig c = small_config();
  Records rec(pellon_operation, c);
  ASSERT_TRUE(rec.ok());
  enc::LumaLayoutFrame f = sample_frame(c, false);
  f.frame_type = 15;
  const enc::SlotHeader h = slot_header(5);
  ASSERT_TRUE(rec.decode(0, enc::make_slot(h, enc::encode_pellon_v1(f))));
  const DecodedFrame &r = rec[0];
  expect_slot_copy(r, h, 4);
  expect_luma_pellon_fields(r, f);
  EXPECT_EQ(V(r.columns), c.columns);
  EXPECT_EQ(V(r.rows), c.rows);
  EXPECT_EQ(V(r.high_rate_or_idle), 1);
  EXPECT_EQ(V(r.reserved_block_len), f.reserved_block.size());
  EXPECT_EQ(std::vector<uint8_t>(r.reserved_block, r.reserved_block + 5), f.reserved_block);
  EXPECT_EQ(read_values(r.mutual, 12), f.mutual);
  EXPECT_EQ(read_values(r.self1, 7), f.self1);
}

TEST(KvFirstGen, DecodesItsFields) {
  install_host();
  const DecoderConfig c = small_config();
  Records rec(kv_operation, c);
  ASSERT_TRUE(rec.ok());
  enc::LumaLayoutFrame f = sample_frame(c, false);
  f.frame_index = 0x0304;
  const enc::SlotHeader h = slot_header(9);
  const enc::Bytes frame = enc::encode_kv(f, c.node_count, c.snode_count);
  // The kv header has no frame index: bytes 2 and 3 stay zero whatever the description says.
  EXPECT_EQ(frame[2], 0);
  EXPECT_EQ(frame[3], 0);
  ASSERT_TRUE(rec.decode(0, enc::make_slot(h, frame)));
  const DecodedFrame &r = rec[0];
  expect_slot_copy(r, h, 4);
  expect_first_gen_common(r, f);
  EXPECT_EQ(V(r.frame_index), 0);  // kv frames carry no index for the record
  EXPECT_EQ(V(r.frame_type), 0);
  EXPECT_EQ(V(r.reserved_block_len), 0);
  EXPECT_EQ(V(r.kv_status), f.status_word & 0xFF);
  EXPECT_EQ(read_values(r.mutual, 12), f.mutual);
  EXPECT_EQ(read_values(r.self1, 7), f.self1);
}

struct RateCase {
  const device_operation *op;
  uint8_t rate_code;
  uint8_t frame_type;
  uint16_t hz;
  uint8_t flag356;
};

TEST(FirstGen, ReportRateAndHighRateFlag) {
  install_host();
  const RateCase cases[] = {
      {&kv_operation, 25, 0, 400, 0},    {&kv_operation, 4, 0, 60, 1},       {&kv_operation, 0, 0, 120, 1},
      {&kv_operation, 7, 0, 120, 1},     {&kv_operation, 100, 0, 100, 1},    {&kv_operation, 5, 0, 480, 0},
      {&luma_operation, 1, 2, 180, 1},   {&luma_operation, 3, 15, 360, 1},   {&luma_operation, 5, 5, 480, 0},
      {&luma_operation, 9, 4, 120, 1},   {&pellon_operation, 4, 2, 60, 0},   {&pellon_operation, 2, 4, 240, 1},
  };
  const DecoderConfig c = small_config();
  for (const RateCase &k : cases) {
    Records rec(*k.op, c, 1);
    enc::LumaLayoutFrame f = sample_frame(c, k.op == &luma_operation);
    f.state[5] = k.rate_code;
    f.frame_type = k.frame_type;
    const enc::Bytes frame = k.op == &kv_operation   ? enc::encode_kv(f, c.node_count, c.snode_count)
                             : k.op == &luma_operation ? enc::encode_luma_v1(f)
                                                       : enc::encode_pellon_v1(f);
    ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(1), frame))) << int(k.rate_code);
    EXPECT_EQ(V(rec[0].report_rate_hz), k.hz) << int(k.rate_code);
    EXPECT_EQ(V(rec[0].high_rate_or_idle), k.flag356) << int(k.rate_code) << " type " << int(k.frame_type);
  }
}

TEST(FirstGen, CorruptCheckIsCountedAndDropped) {
  install_host();
  const DecoderConfig c = small_config();
  struct Case {
    const device_operation *op;
    enc::Bytes frame;
  };
  const enc::LumaLayoutFrame f = sample_frame(c);
  const Case cases[] = {{&luma_operation, enc::encode_luma_v1(f)},
                        {&pellon_operation, enc::encode_pellon_v1(f)},
                        {&kv_operation, enc::encode_kv(f, c.node_count, c.snode_count)}};
  for (const Case &k : cases) {
    Records rec(*k.op, c, 1);
    enc::Bytes slot = enc::make_slot(slot_header(2), k.frame);
    ASSERT_TRUE(rec.decode(0, slot));
    const int32_t before = rec[0].decode_fail_count;
    enc::Bytes bad = slot;
    bad[28] ^= 0x01;  // the check value (slot byte 28, frame byte 4)
    HostCapture::get().clear();
    EXPECT_FALSE(rec.decode(0, bad));
    EXPECT_EQ(HostCapture::get().count("tp_frame crc error"), 1u);
    ASSERT_TRUE(rec.decode(0, slot));
    if (k.op != &kv_operation) {
      EXPECT_EQ(V(rec[0].decode_fail_count), before + 1);
    }
  }
}

TEST(FirstGen, LengthsFromTheFrameAreCheckedAgainstTheSlot) {
  install_host();
  const DecoderConfig c = small_config();
  Records rec(luma_operation, c, 1);
  const enc::LumaLayoutFrame f = sample_frame(c);
  const enc::Bytes slot = enc::make_slot(slot_header(3), enc::encode_luma_v1(f));
  // A slot cut short: the checked length runs past it.
  enc::Bytes cut(slot.begin(), slot.end() - 8);
  EXPECT_FALSE(rec.decode(0, cut));
  // A length field of 0xFFFC claims far more than the slot holds.
  enc::Bytes huge = slot;
  huge[24 + 44] = 0xFC;
  huge[24 + 45] = 0xFF;
  EXPECT_FALSE(rec.decode(0, huge));
  // Slots shorter than the two headers.
  EXPECT_FALSE(rec.decode(0, enc::Bytes(slot.begin(), slot.begin() + 60)));
}

TEST(FirstGen, TextLengthIsClampedTo100) {
  install_host();
  const DecoderConfig c = small_config();
  Records rec(pellon_operation, c, 1);
  enc::LumaLayoutFrame f = sample_frame(c, false);
  f.text = std::string(150, 'x');
  f.text_length = 150;
  ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(4), enc::encode_pellon_v1(f))));
  EXPECT_EQ(V(rec[0].debug_text_len), 150);
  EXPECT_EQ(std::string(rec[0].text_area, 100), std::string(100, 'x'));
}

// ---- second-generation Luma -----------------------------------------------------------------

class LumaV2 : public ::testing::Test {
 protected:
  void SetUp() override { install_host(); }
  static DecoderConfig config(bool convert, bool dump) {
    DecoderConfig c = small_config();
    c.big_little_convert = convert;
    c.save_tic_dump = dump;
    return c;
  }
};

TEST_F(LumaV2, ConvertedFrameFillsEveryField) {
  const DecoderConfig c = config(true, true);
  Records rec(luma_operation_v2, c);
  ASSERT_TRUE(rec.ok());
  enc::LumaLayoutFrame f = sample_frame(c);
  f.frame_type = 16;
  f.dump_type = 3;
  f.dump_word = 0x1234;
  f.dump_mutual = ramp(12, 5000);
  f.dump_self1 = ramp(7, 6000);
  f.dump_self2 = ramp(7, 7000);
  const int32_t reserved = luma_get_reserved_data_size(12, 7);  // 2056 - 24 - 28
  ASSERT_EQ(reserved, 2004);
  for (int i = 0; i < reserved; ++i) f.dump_block.push_back(static_cast<uint8_t>(i * 7));
  const enc::SlotHeader h = slot_header(1234);
  ASSERT_TRUE(rec.decode(1, enc::make_slot(h, enc::encode_luma_v2(f, enc::LumaCheck::kCrc))));
  const DecodedFrame &r = rec[1];
  expect_slot_copy(r, h, 8);
  EXPECT_EQ(V(r.valid_mark), DECODED_FRAME_VALID_MARK);
  EXPECT_EQ(V(r.frame_index), f.frame_index);
  EXPECT_EQ(V(r.check_value) + V(r.inverted_check_value), 0xFFFFFFFFu);
  EXPECT_EQ(V(r.header_reserved68), f.reserved8);
  EXPECT_EQ(V(r.header_reserved76), f.reserved16);
  EXPECT_EQ(record_span(r, 80, 6), std::vector<uint8_t>(f.state.begin(), f.state.end()));
  EXPECT_EQ(V(r.scan_freq), f.scan_freq);
  EXPECT_EQ(V(r.ic_frame_count), f.counters[0]);
  EXPECT_EQ(V(r.dropped_frames), f.counters[1]);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(V(r.noise_values[i]), f.counters[2 + i]);
  EXPECT_EQ(V(r.status_word), f.reserved46);
  EXPECT_EQ(V(r.columns), c.columns);
  EXPECT_EQ(V(r.rows), c.rows);
  EXPECT_EQ(V(r.ic_time_ms), f.status_word);
  EXPECT_EQ(V(r.report_rate_hz), f.report_rate_hz);
  EXPECT_EQ(V(r.scan_freq_index), f.scan_freq_number);
  EXPECT_EQ(V(r.frame_type), 16);
  EXPECT_EQ(V(r.header_reserved117), f.reserved57);
  EXPECT_EQ(V(r.reserved_block_len), 5);
  EXPECT_EQ(V(r.header_reserved120[0]), f.reserved60[0]);
  EXPECT_EQ(V(r.header_reserved120[1]), f.reserved60[1]);
  EXPECT_EQ(read_values(r.mutual, 12), f.mutual);
  EXPECT_EQ(read_values(r.self1, 7), f.self1);
  EXPECT_EQ(read_values(r.self2, 7), f.self2);
  EXPECT_EQ(std::vector<uint8_t>(r.reserved_block, r.reserved_block + 5), f.reserved_block);
  EXPECT_EQ(V(r.tail_word), f.tail_word);
  EXPECT_EQ(V(r.debug_text_len), static_cast<int16_t>(f.text.size()));
  ASSERT_EQ(V(r.debug_text), r.text_area);
  EXPECT_EQ(std::string(r.debug_text, f.text.size()), f.text);
  EXPECT_EQ(V(r.tail_byte0), f.tail_byte0);
  EXPECT_EQ(V(r.tail_byte1), f.tail_byte1);
  for (size_t i = 0; i < 19; ++i) EXPECT_EQ(V(r.tail.words[i]), f.tail_fields[i]) << i;
  EXPECT_EQ(V(r.extra1_len), 16);  // the controller's count of 8 values, as bytes
  EXPECT_EQ(read_values(r.extra1, 8), f.extra1);
  EXPECT_EQ(V(r.extra2_count), 7);
  EXPECT_EQ(read_values(r.extra2, 7), f.extra2);
  EXPECT_EQ(std::vector<uint8_t>(r.extra_block, r.extra_block + 16),
            std::vector<uint8_t>(f.extra_block.begin(), f.extra_block.end()));
  EXPECT_EQ(V(r.high_rate_or_idle), 1);  // type 16
  EXPECT_EQ(V(r.frame_watchdog_wanted), 1);  // state code 4
  EXPECT_EQ(V(r.dump_type), 3);
  EXPECT_EQ(V(r.dump_word), 0x1234);
  EXPECT_EQ(read_values(r.dump_mutual, 12), f.dump_mutual);
  EXPECT_EQ(read_values(r.dump_self1, 7), f.dump_self1);
  EXPECT_EQ(read_values(r.dump_self2, 7), f.dump_self2);
  ASSERT_EQ(V(r.dump_block_size), reserved);
  // The dump block is converted as 16-bit words.
  std::vector<uint8_t> swapped = f.dump_block;
  for (size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
  EXPECT_EQ(std::vector<uint8_t>(r.dump_block, r.dump_block + reserved), swapped);
}

TEST_F(LumaV2, UnconvertedFrameKeepsTheControllerByteOrder) {
  const DecoderConfig c = config(false, false);
  Records rec(luma_operation_v2, c);
  enc::LumaLayoutFrame f = sample_frame(c);
  f.frame_index = 0x0102;
  f.frame_type = 3;
  const enc::Bytes frame = enc::encode_luma_v2(f, enc::LumaCheck::kBlockCheck);
  ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(1), frame)));
  const DecodedFrame &r = rec[0];
  EXPECT_EQ(record_span(r, 60, 64), std::vector<uint8_t>(frame.begin(), frame.begin() + 64));
  EXPECT_EQ(V(r.valid_mark), DECODED_FRAME_VALID_MARK);
  EXPECT_EQ(V(r.frame_index), 0x0201);  // bytes 0x01 0x02 as stored
  EXPECT_EQ(read_values(r.mutual, 12), byte_swapped(f.mutual));
  EXPECT_EQ(read_values(r.extra1, 8), byte_swapped(f.extra1));
  EXPECT_EQ(V(r.extra1_len), 16);  // the count is read big-endian, kept as bytes in host order
  EXPECT_EQ(V(r.high_rate_or_idle), 0);  // type 3
  EXPECT_EQ(V(r.dump_block), nullptr);
  EXPECT_EQ(V(r.dump_block_size), 0);

  Records converted(luma_operation_v2, config(true, false), 1);
  ASSERT_TRUE(converted.decode(0, enc::make_slot(slot_header(1), frame)));
  EXPECT_EQ(V(converted[0].frame_index), 0x0102);
}

TEST_F(LumaV2, CheckValueCases) {
  const DecoderConfig c = config(false, false);
  Records rec(luma_operation_v2, c, 1);
  enc::LumaLayoutFrame f = sample_frame(c);
  // Bytes above 0x7F in the checked data: the block check takes them signed.
  f.mutual = std::vector<int16_t>(12, static_cast<int16_t>(0x80F0));
  auto patch32 = [](enc::Bytes &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
  };
  auto with_length = [&](enc::Bytes b, uint16_t length, uint32_t check, uint32_t inverted) {
    b[44] = static_cast<uint8_t>(length >> 8);
    b[45] = static_cast<uint8_t>(length);
    patch32(b, 4, check);
    patch32(b, 12, inverted);
    return b;
  };
  const enc::Bytes by_bcc = enc::encode_luma_v2(f, enc::LumaCheck::kBlockCheck);
  const enc::Bytes by_crc = enc::encode_luma_v2(f, enc::LumaCheck::kCrc);
  enc::Bytes crc_bad_inverse = by_crc;
  crc_bad_inverse[15] ^= 1;
  enc::Bytes body_flipped = by_crc;
  body_flipped[64 + 5] ^= 0x10;
  struct Case {
    const char *what;
    enc::Bytes frame;
    bool accepted;
  };
  const Case cases[] = {
      {"block check", by_bcc, true},
      {"crc", by_crc, true},
      {"crc right, inverse wrong", crc_bad_inverse, false},
      {"body changed", body_flipped, false},
      {"length 20, seed", with_length(by_crc, 20, 0xA55A, ~0xA55Au), true},
      {"length 20, zero", with_length(by_crc, 20, 0, 0xFFFFFFFFu), true},
      {"length 20, other", with_length(by_crc, 20, 5, ~5u), false},
      {"length beyond the frame", with_length(by_crc, 0xFFF0, 0, 0xFFFFFFFFu), false},
  };
  for (const Case &k : cases) {
    HostCapture::get().clear();
    EXPECT_EQ(rec.decode(0, enc::make_slot(slot_header(1), k.frame)), k.accepted) << k.what;
    EXPECT_EQ(HostCapture::get().count("crc err"), k.accepted ? 0u : 1u) << k.what;
  }
  // The data discriminates: a block check over unsigned bytes would give another value.
  const uint16_t length = static_cast<uint16_t>((by_bcc[44] << 8) | by_bcc[45]);
  uint32_t x = 0, sum = 0;
  for (size_t i = 20; i < length; ++i) {
    x ^= by_bcc[i];
    sum += by_bcc[i];
  }
  EXPECT_NE((0xA55Au ^ x) + sum, enc::luma_bcc(by_bcc.data() + 20, length - 20u));
}

TEST_F(LumaV2, CountsAndSizesFromTheFrameAreNotTrusted) {
  const DecoderConfig c = config(false, true);
  Records rec(luma_operation_v2, c, 1);
  enc::LumaLayoutFrame f = sample_frame(c);
  // More extra values than the configured extra nodes.
  f.extra1 = ramp(9, 1);
  EXPECT_FALSE(rec.decode(0, enc::make_slot(slot_header(1), enc::encode_luma_v2(f, enc::LumaCheck::kCrc))));
  // A frame whose dump area lies beyond the slot.
  f = sample_frame(c);
  f.dump_type = 1;
  enc::Bytes frame = enc::encode_luma_v2(f, enc::LumaCheck::kCrc);
  frame.resize(4096 + 4 + 2 + 10);
  EXPECT_FALSE(rec.decode(0, enc::make_slot(slot_header(1), frame)));
  // Truncated inside the tail block.
  frame = enc::encode_luma_v2(sample_frame(c), enc::LumaCheck::kCrc);
  const uint16_t length = static_cast<uint16_t>((frame[44] << 8) | frame[45]);
  frame.resize(length - 30);
  EXPECT_FALSE(rec.decode(0, enc::make_slot(slot_header(1), frame)));
}

TEST_F(LumaV2, PanelLargerThanTheMatrixAreaIsRefused) {
  DecoderConfig c = config(false, false);
  c.rows = 23;  // 943 mutual and 64 self nodes: 2142 bytes
  c.columns = 41;
  c.node_count = 943;
  c.snode_count = 64;
  Records rec(luma_operation_v2, c, 1);
  ASSERT_TRUE(rec.ok());
  enc::LumaLayoutFrame f = sample_frame(c);
  EXPECT_FALSE(rec.decode(0, enc::make_slot(slot_header(1), enc::encode_luma_v2(f, enc::LumaCheck::kCrc))));
}

// ---- second-generation Pellon ---------------------------------------------------------------

TEST(PellonV2, DecodesEveryField) {
  install_host();
  const DecoderConfig c = small_config();
  Records rec(pellon_operation_v2, c);
  ASSERT_TRUE(rec.ok());
  const uint8_t types[] = {1, 4, 15, 2, 16};
  for (uint8_t type : types) {
    enc::LumaLayoutFrame f = sample_frame(c, false);
    f.frame_type = type;
    f.tail_byte0 = 0x6C;
    const enc::SlotHeader h = slot_header(type);
    const enc::Bytes frame = enc::encode_pellon_v2(f);
    ASSERT_TRUE(rec.decode(0, enc::make_slot(h, frame))) << int(type);
    const DecodedFrame &r = rec[0];
    expect_slot_copy(r, h, 8);
    EXPECT_EQ(record_span(r, 60, 64), std::vector<uint8_t>(frame.begin(), frame.begin() + 64));
    EXPECT_EQ(V(r.valid_mark), DECODED_FRAME_VALID_MARK);
    EXPECT_EQ(V(r.frame_index), f.frame_index);
    EXPECT_EQ(read_values(r.mutual, 12), f.mutual);
    EXPECT_EQ(read_values(r.self1, 7), f.self1);
    EXPECT_EQ(std::vector<uint8_t>(r.reserved_block, r.reserved_block + 5), f.reserved_block);
    EXPECT_EQ(V(r.tail_word), f.tail_word);
    EXPECT_EQ(V(r.debug_text_len), static_cast<int16_t>(f.text.size()));
    EXPECT_EQ(std::string(r.debug_text, f.text.size()), f.text);
    EXPECT_EQ(V(r.tail_byte0), 0x6C);
    EXPECT_EQ(V(r.high_rate_or_idle), (type == 1 || type == 4 || type == 15) ? 1 : 0) << int(type);
    EXPECT_EQ(V(r.frame_watchdog_wanted), 1);
  }
}

TEST(PellonV2, ChecksTheSumAndTheShortSeed) {
  install_host();
  const DecoderConfig c = small_config();
  Records rec(pellon_operation_v2, c, 1);
  enc::Bytes frame = enc::encode_pellon_v2(sample_frame(c, false));
  enc::Bytes bad = frame;
  bad[70] ^= 1;
  EXPECT_FALSE(rec.decode(0, enc::make_slot(slot_header(1), bad)));
  // A length below 24 expects the seed 0xA55A and checks nothing else.
  frame[44] = 20;
  frame[45] = 0;
  frame[4] = 0x5A;
  frame[5] = 0xA5;
  frame[6] = frame[7] = 0;
  EXPECT_TRUE(rec.decode(0, enc::make_slot(slot_header(1), frame)));
}

}  // namespace
