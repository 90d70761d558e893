// Ferrant decoders (both generations) against frames built by the simulated controller's
// encoders, and the normalisation table from the CSV files.
#include <gtest/gtest.h>

#include "decoder_test_util.h"
#include "platform/temp_root.h"

using namespace decoder_test;

namespace {

constexpr std::array<uint8_t, 6> kMutualSat = {1, 2, 3, 4, 5, 6};
constexpr std::array<uint8_t, 6> kSelfSat = {11, 12, 13, 14, 15, 16};
constexpr std::array<uint8_t, 6> kExtraSat = {21, 22, 23, 24, 25, 26};

std::array<uint8_t, 16> bytes16(uint8_t base) {
  std::array<uint8_t, 16> b{};
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(base + i);
  return b;
}

std::vector<uint8_t> vec16(uint8_t base) {
  const std::array<uint8_t, 16> b = bytes16(base);
  return {b.begin(), b.end()};
}

std::vector<uint8_t> span(const std::array<uint8_t, 6> &a) { return {a.begin(), a.end()}; }

DecoderConfig ferrant_config(bool normalize = false, bool dump = false) {
  DecoderConfig c = small_config();
  c.kb_raw_normalize = normalize;
  c.save_tic_dump = dump;
  return c;
}

// ---- second generation ---------------------------------------------------------------------

TEST(FerrantV2, DecodesEveryPacketKind) {
  install_host();
  const DecoderConfig c = ferrant_config(true);
  Records rec(ferrant_operation_v2, c);
  ASSERT_TRUE(rec.ok());
  const std::vector<int16_t> matrix = ramp(12, -500);
  const std::vector<int16_t> lines = ramp(7, 700);
  const std::vector<int16_t> extra = ramp(8, 900);
  const std::vector<int16_t> base = ramp(12, 1500);
  enc::FerrantV2Frame f;
  f.head_index = 0x3141;
  f.status_word = 0x5926;
  f.packets = {enc::ferrant_status_packet(0x1111, 0x22, 0x33, 480, 0x80 | 0x02, 0x4444),
               enc::ferrant_mutual_packet(10, 1000, 2, 0x66, 0x77, matrix, kMutualSat, bytes16(0x40)),
               enc::ferrant_self_packet(lines, kSelfSat),
               enc::ferrant_extra_packet(bytes16(0x90), extra, kExtraSat),
               enc::ferrant_base_packet(base, 2000, 0xCAFEBABE, 0xBEEF)};
  const enc::SlotHeader h = slot_header(42);
  const enc::Bytes frame = enc::encode_ferrant_v2(f);
  ASSERT_TRUE(rec.decode(0, enc::make_slot(h, frame)));
  const DecodedFrame &r = rec[0];
  expect_slot_copy(r, h, 4);
  EXPECT_EQ(V(r.driver_word2), 0u);  // Ferrant copies 4 driver bytes only
  EXPECT_EQ(V(r.valid_mark), DECODED_FRAME_VALID_MARK);
  EXPECT_EQ(V(r.frame_index), 0x3141);
  EXPECT_EQ(V(r.frame_length), frame.size());
  EXPECT_EQ(V(r.status_word), 0x5926);
  EXPECT_EQ(V(r.columns), 4);
  EXPECT_EQ(V(r.rows), 3);
  EXPECT_EQ(V(r.dropped_frames), 0);
  // Status packet.
  EXPECT_EQ(V(r.ic_frame_count), 0x1111);
  EXPECT_EQ(V(r.frame_flags), 0x22);
  EXPECT_EQ(V(r.state_byte83), 0x33);
  EXPECT_EQ(V(r.report_rate_codes), 4);  // 480 Hz
  EXPECT_EQ(V(r.kb_reset_request), 1);
  EXPECT_EQ(V(r.state_code), 4);  // bit 1
  EXPECT_EQ(V(r.frame_watchdog_wanted), 1);
  EXPECT_EQ(V(r.ic_time_ms), 0x4444);
  // Mutual packet.
  EXPECT_EQ(V(r.scan_freq_index), 2);
  EXPECT_EQ(V(r.state_byte81), 0x66);
  EXPECT_EQ(V(r.state_byte82), 0);
  EXPECT_EQ(V(r.normalize_byte), 0x77);
  EXPECT_EQ(read_values(r.mutual, 12), matrix);
  EXPECT_EQ(record_span(r, 191, 6), span(kMutualSat));
  EXPECT_EQ(record_span(r, 229, 16), vec16(0x40));
  // Self packet.
  EXPECT_EQ(read_values(r.self1, 7), lines);
  EXPECT_EQ(record_span(r, 197, 6), span(kSelfSat));
  // Extra packet: max(4, 3) lines of 8 / 4 = 2 nodes.
  EXPECT_EQ(V(r.extra1_len), 16);
  EXPECT_EQ(read_values(r.extra1, 8), extra);
  EXPECT_EQ(record_span(r, 175, 16), vec16(0x90));
  EXPECT_EQ(record_span(r, 203, 6), span(kExtraSat));
  // Base packet: type 17 after the mutual packet's 4; frequency from the base data.
  EXPECT_EQ(V(r.frame_type), DECODED_FRAME_TYPE_KB_CHECK);
  EXPECT_EQ(V(r.norm_len), 24);
  EXPECT_EQ(read_values(r.norm_data, 12), base);
  EXPECT_EQ(V(r.scan_freq), 2000 * 61 / 1000);
  EXPECT_EQ(V(r.kdata_check), static_cast<int32_t>(0xCAFEBABE));
  EXPECT_EQ(V(r.kdata_check_word), 0xBEEF);
}

TEST(FerrantV2, MutualFrameTypeAndSumsPacket) {
  install_host();
  Records rec(ferrant_operation_v2, ferrant_config(), 1);
  enc::FerrantV2Frame f;
  f.head_index = 7;
  f.packets = {enc::ferrant_mutual_packet(11, 1000, 1, 0, 0, ramp(12, 0), kMutualSat, bytes16(0)),
               enc::ferrant_sums_packet(0x0102, {{1000, 2000}, {30000, 40000}})};
  ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(1), enc::encode_ferrant_v2(f))));
  EXPECT_EQ(V(rec[0].frame_type), DECODED_FRAME_TYPE_NORMAL);
  EXPECT_EQ(V(rec[0].scan_freq), 61);
  EXPECT_EQ(V(rec[0].kdata_check_word), 0x0102);
  EXPECT_EQ(V(rec[0].kdata_check), 1000 + 2000 + 30000 + 40000);
  EXPECT_EQ(V(rec[0].state_code), 0);
  EXPECT_EQ(V(rec[0].frame_watchdog_wanted), 0);
}

TEST(FerrantV2, StatusRateCodesAndStateBits) {
  install_host();
  Records rec(ferrant_operation_v2, ferrant_config(), 1);
  struct Case {
    uint16_t hz;
    uint8_t bits;
    uint8_t code;
    uint8_t state;
  };
  const Case cases[] = {{120, 0x01, 0, 2}, {116, 0x03, 0, 2}, {180, 0x02, 1, 4}, {240, 0, 2, 0},
                        {364, 0, 3, 0},   {480, 0, 4, 0},    {485, 0, 0, 0},    {60, 0, 0, 0}};
  for (const Case &k : cases) {
    enc::FerrantV2Frame f;
    f.packets = {enc::ferrant_status_packet(1, 0, 0, k.hz, k.bits, 0)};
    ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(1), enc::encode_ferrant_v2(f))));
    EXPECT_EQ(V(rec[0].report_rate_codes), k.code) << k.hz;
    EXPECT_EQ(V(rec[0].state_code), k.state) << int(k.bits);
    EXPECT_EQ(V(rec[0].kb_reset_request), 0);
  }
}

TEST(FerrantV2, NoPacketsAndUnknownPackets) {
  install_host();
  Records rec(ferrant_operation_v2, ferrant_config(), 1);
  enc::FerrantV2Frame empty;
  empty.head_index = 99;
  ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(1), enc::encode_ferrant_v2(empty))));
  EXPECT_EQ(V(rec[0].frame_type), DECODED_FRAME_TYPE_NONE);
  EXPECT_EQ(V(rec[0].frame_index), 99);

  enc::FerrantV2Frame f;
  f.packets = {enc::FerrantPacket{7, {1, 2, 3, 4}, std::nullopt}, enc::ferrant_self_packet(ramp(7, 5), kSelfSat)};
  HostCapture::get().clear();
  ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(1), enc::encode_ferrant_v2(f))));
  EXPECT_EQ(HostCapture::get().count("not support pack type:7"), 1u);
  EXPECT_EQ(read_values(rec[0].self1, 7), ramp(7, 5));
}

TEST(FerrantV2, ChecksumFailuresAreLoggedAndCounted) {
  install_host();
  Records rec(ferrant_operation_v2, ferrant_config(), 1);
  enc::FerrantV2Frame f;
  f.packets = {enc::ferrant_self_packet(ramp(7, 5), kSelfSat)};
  const enc::Bytes good = enc::make_slot(slot_header(1), enc::encode_ferrant_v2(f));
  ASSERT_TRUE(rec.decode(0, good));
  const uint32_t failures_before = rec[0].check_value;

  enc::Bytes body_off = good;
  body_off[body_off.size() - 4] += 1;  // the body sum, off by one
  HostCapture::get().clear();
  EXPECT_FALSE(rec.decode(0, body_off));
  const uint8_t *sum = &body_off[body_off.size() - 4];
  char expected[64];
  snprintf(expected, sizeof expected, "frame body checksum error, %x %x %x %x", sum[0], sum[1], sum[2], sum[3]);
  EXPECT_EQ(HostCapture::get().count(expected), 1u);
  EXPECT_EQ(HostCapture::get().count("crc err"), 1u);

  enc::Bytes head_off = good;
  head_off[24 + 6] ^= 0x01;  // a header byte: the header sum no longer matches
  HostCapture::get().clear();
  EXPECT_FALSE(rec.decode(0, head_off));
  EXPECT_EQ(HostCapture::get().count("frame head checksum error:"), 1u);

  ASSERT_TRUE(rec.decode(0, good));
  EXPECT_EQ(V(rec[0].check_value), failures_before + 2);
}

TEST(FerrantV2, LengthsAndCountsFromTheFrameAreNotTrusted) {
  install_host();
  Records rec(ferrant_operation_v2, ferrant_config(), 1);
  enc::FerrantV2Frame f;
  f.packets = {enc::ferrant_self_packet(ramp(7, 5), kSelfSat)};
  // More packets announced than the frame holds: the walk stops at the frame's end.
  f.packet_count = 200;
  EXPECT_TRUE(rec.decode(0, enc::make_slot(slot_header(1), enc::encode_ferrant_v2(f))));
  EXPECT_EQ(read_values(rec[0].self1, 7), ramp(7, 5));
  // A packet size running past the frame is not followed.
  f.packet_count.reset();
  f.packets = {enc::ferrant_self_packet(ramp(7, 9), kSelfSat)};
  f.packets[0].size_override = 0xFFF0;
  EXPECT_TRUE(rec.decode(0, enc::make_slot(slot_header(1), enc::encode_ferrant_v2(f))));
  EXPECT_EQ(read_values(rec[0].self1, 7), ramp(7, 5));
  // A mutual packet too short for the panel's matrix is skipped.
  f.packets = {enc::ferrant_mutual_packet(10, 0, 0, 0, 0, ramp(6, 1), kMutualSat, bytes16(0))};
  f.packets[0].data.resize(20);
  f.packets[0].size_override.reset();
  EXPECT_TRUE(rec.decode(0, enc::make_slot(slot_header(1), enc::encode_ferrant_v2(f))));
  EXPECT_EQ(V(rec[0].frame_type), DECODED_FRAME_TYPE_NONE);
  // A frame length beyond the slot.
  enc::Bytes slot = enc::make_slot(slot_header(1), enc::encode_ferrant_v2(f));
  slot.resize(slot.size() - 2);
  EXPECT_FALSE(rec.decode(0, slot));
}

TEST(FerrantV2, ExtraPacketWithMoreRowsThanColumnsStaysInItsBuffer) {
  install_host();
  DecoderConfig c = ferrant_config();
  c.columns = 3;
  c.rows = 4;
  c.nnode_count = 6;  // 2 nodes per line; 4 lines would need 8 values
  Records rec(ferrant_operation_v2, c, 1);
  enc::FerrantV2Frame f;
  const std::vector<int16_t> values = ramp(8, 100);
  f.packets = {enc::ferrant_extra_packet(bytes16(0), values, kExtraSat)};
  ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(1), enc::encode_ferrant_v2(f))));
  EXPECT_EQ(V(rec[0].extra1_len), 12);
  EXPECT_EQ(read_values(rec[0].extra1, 6), std::vector<int16_t>(values.begin(), values.begin() + 6));
  EXPECT_EQ(record_span(rec[0], 203, 6), span(kExtraSat));  // read from the packet's own position
}

// ---- first generation -----------------------------------------------------------------------

enc::FerrantV1Frame v1_frame(uint16_t head_index) {
  enc::FerrantV1Frame f;
  f.first_byte = 0x5A;
  f.head_index = head_index;
  f.report_rate_hz = 240;
  f.status = 0x0002;
  f.byte146 = 0x46;
  f.word148 = 0x1480;
  f.normalize_scan_count = 3;
  f.tx_freq = 0x2222;
  f.freq_number = 1;
  f.kind = 4;
  f.mutual = ramp(12, -800);
  f.block16 = bytes16(0x10);
  f.self = ramp(7, 800);
  for (size_t i = 0; i < f.block38.size(); ++i) f.block38[i] = static_cast<uint8_t>(0x60 + i);
  f.extra = ramp(8, 1200);
  f.tail_index = head_index;
  return f;
}

class FerrantV1 : public ::testing::Test {
 protected:
  void SetUp() override { install_host(false); }
};

TEST_F(FerrantV1, DecodesEveryField) {
  const DecoderConfig c = ferrant_config();
  Records rec(ferrant_operation, c);
  ASSERT_TRUE(rec.ok());
  const enc::FerrantV1Frame f = v1_frame(500);
  const enc::SlotHeader h = slot_header(321);
  ASSERT_TRUE(rec.decode(1, enc::make_slot(h, enc::encode_ferrant_v1(f))));
  const DecodedFrame &r = rec[1];
  expect_slot_copy(r, h, 4);
  EXPECT_EQ(V(r.valid_mark), DECODED_FRAME_VALID_MARK);
  EXPECT_EQ(V(r.frame_index), 500);
  EXPECT_EQ(V(r.dropped_frames), 0xFFFF);
  EXPECT_EQ(V(r.ic_frame_count), 0x1480);
  EXPECT_EQ(V(r.ic_time_ms), 0x46);
  EXPECT_EQ(V(r.state_byte83), 0);
  EXPECT_EQ(V(r.report_rate_codes), 2);
  EXPECT_EQ(V(r.report_rate_hz), 240);
  EXPECT_EQ(V(r.frame_type), 3);  // kind 4
  EXPECT_EQ(V(r.high_rate_or_idle), 1);
  for (int i = 0; i < 6; ++i) {
    const uint16_t expected = static_cast<uint16_t>(f.block38[6 + 2 * i] | (f.block38[7 + 2 * i] << 8));
    EXPECT_EQ(V(r.noise_values[i]), expected) << i;
  }
  EXPECT_EQ(record_span(r, 175, 6), std::vector<uint8_t>(f.block38.begin() + 22, f.block38.begin() + 28));  // F = 3
  EXPECT_EQ(V(r.scan_freq), 0x2222);
  EXPECT_EQ(V(r.scan_freq_index), 1);
  EXPECT_EQ(V(r.kb_reset_request), 0);
  EXPECT_EQ(V(r.normalize_status), 1);
  EXPECT_EQ(V(r.frame_watchdog_wanted), 1);  // status & 3 = 2
  EXPECT_EQ(V(r.normalize_scan_count), 3);
  EXPECT_EQ(read_values(r.mutual, 12), f.mutual);
  EXPECT_EQ(read_values(r.self1, 7), f.self);
  EXPECT_EQ(HostCapture::get().count("frame cnt:321"), 1u);
}

TEST_F(FerrantV1, RateKindAndStatusTables) {
  Records rec(ferrant_operation, ferrant_config(), 1);
  struct Case {
    uint16_t hz;
    uint8_t kind;
    uint16_t status;
    uint8_t code, hz_out, type, reset, norm_status, watchdog;
  };
  // hz_out: 0 means "the same as hz".
  const Case cases[] = {
      {60, 2, 0x0001, 4, 0, 0, 0, 1, 0},      {180, 3, 0x0081, 1, 0, 14, 0x80, 0, 0},
      {240, 5, 0x0003, 2, 0, 3, 0, 1, 1},     {360, 6, 0x0000, 3, 0, 3, 0, 1, 1},
      {480, 7, 0x0080, 5, 0, 17, 0x80, 0, 1}, {0, 9, 0x0000, 0, 120, 3, 0, 1, 1},
      {100, 4, 0x0000, 0, 0, 3, 0, 1, 1},
  };
  uint16_t head = 1000;
  for (const Case &k : cases) {
    enc::FerrantV1Frame f = v1_frame(++head);
    f.report_rate_hz = k.hz;
    f.kind = k.kind;
    f.status = k.status;
    ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(head), enc::encode_ferrant_v1(f)))) << k.hz;
    EXPECT_EQ(V(rec[0].report_rate_codes), k.code) << k.hz;
    EXPECT_EQ(V(rec[0].report_rate_hz), k.hz_out ? k.hz_out : k.hz) << k.hz;
    EXPECT_EQ(V(rec[0].frame_type), k.type) << int(k.kind);
    EXPECT_EQ(V(rec[0].kb_reset_request), k.reset) << k.status;
    EXPECT_EQ(V(rec[0].normalize_status), k.norm_status) << k.status;
    EXPECT_EQ(V(rec[0].frame_watchdog_wanted), k.watchdog) << k.status;
  }
}

TEST_F(FerrantV1, RepeatedHeadIndexIsComparedWithTheLastAcceptedFrame) {
  Records rec(ferrant_operation, ferrant_config(), 3);
  ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(1), enc::encode_ferrant_v1(v1_frame(7)))));
  // The same controller frame again, into another record: rejected.
  HostCapture::get().clear();
  EXPECT_FALSE(rec.decode(1, enc::make_slot(slot_header(2), enc::encode_ferrant_v1(v1_frame(7)))));
  EXPECT_EQ(HostCapture::get().count("already get frame, ic_head_cnt: 7"), 1u);
  // A recycled record still holding index 8 from long ago does not block a new frame 8.
  rec[2].frame_index = 8;
  EXPECT_TRUE(rec.decode(2, enc::make_slot(slot_header(3), enc::encode_ferrant_v1(v1_frame(8)))));
  EXPECT_EQ(V(rec[2].frame_index), 8);
}

TEST_F(FerrantV1, ChecksumFailures) {
  Records rec(ferrant_operation, ferrant_config(), 1);
  ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(1), enc::encode_ferrant_v1(v1_frame(20)))));
  const int32_t before = rec[0].decode_fail_count;
  enc::Bytes body_off = enc::make_slot(slot_header(1), enc::encode_ferrant_v1(v1_frame(21)));
  body_off[body_off.size() - 4] ^= 0x01;
  HostCapture::get().clear();
  EXPECT_FALSE(rec.decode(0, body_off));
  EXPECT_EQ(HostCapture::get().count("frame body checksum error"), 1u);
  EXPECT_EQ(HostCapture::get().count("frame_index_head=[00021], frame_index_tail=[00021]"), 1u);
  EXPECT_EQ(HostCapture::get().count("tp_frame crc error"), 1u);
  enc::Bytes head_off = enc::make_slot(slot_header(1), enc::encode_ferrant_v1(v1_frame(22)));
  head_off[24 + 14] ^= 0x01;
  HostCapture::get().clear();
  EXPECT_FALSE(rec.decode(0, head_off));
  EXPECT_EQ(HostCapture::get().count("frame head checksum error"), 1u);
  ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(1), enc::encode_ferrant_v1(v1_frame(23)))));
  EXPECT_EQ(V(rec[0].decode_fail_count), before + 2);
}

TEST_F(FerrantV1, FrameShorterThanItsLayoutIsRefused) {
  Records rec(ferrant_operation, ferrant_config(), 1);
  enc::FerrantV1Frame f = v1_frame(30);
  f.extra.resize(2);  // a frame whose checked length ends before the panel's arrays
  EXPECT_FALSE(rec.decode(0, enc::make_slot(slot_header(1), enc::encode_ferrant_v1(f))));
}

TEST_F(FerrantV1, DumpCopy) {
  const DecoderConfig c = ferrant_config(false, true);
  Records rec(ferrant_operation, c, 1);
  const enc::FerrantV1Frame f = v1_frame(40);
  const enc::Bytes frame = enc::encode_ferrant_v1(f);
  enc::Bytes slot = enc::make_slot(slot_header(1), frame, 4096);
  const int32_t dump_type = 2;
  memcpy(&slot[2524], &dump_type, 4);
  for (size_t i = 0; i < 178; ++i) slot[2528 + i] = static_cast<uint8_t>(i);
  const std::vector<int16_t> dump_mutual = ramp(12, 4242);
  memcpy(&slot[2706], dump_mutual.data(), 24);
  ASSERT_TRUE(rec.decode(0, slot));
  const DecodedFrame &r = rec[0];
  EXPECT_EQ(V(r.dump_type), 2);
  EXPECT_EQ(read_values(r.dump_mutual, 12), dump_mutual);
  EXPECT_EQ(read_values(r.dump_self1, 7), f.self);
  ASSERT_EQ(V(r.dump_block_size), 16 + 244);
  std::vector<uint8_t> block(slot.begin() + 2528, slot.begin() + 2528 + 178);
  block.insert(block.end(), f.block16.begin(), f.block16.end());
  block.insert(block.end(), f.block38.begin(), f.block38.end());
  const auto *extra = reinterpret_cast<const uint8_t *>(f.extra.data());
  block.insert(block.end(), extra, extra + 16);
  block.insert(block.end(), frame.end() - 12, frame.end());
  EXPECT_EQ(std::vector<uint8_t>(r.dump_block, r.dump_block + block.size()), block);

  // With the dump copy on, a frame carrying the debug flag is a misplaced debug frame.
  enc::FerrantV1Frame debug = v1_frame(41);
  debug.debug_flag = 1;
  EXPECT_FALSE(rec.decode(0, enc::make_slot(slot_header(1), enc::encode_ferrant_v1(debug), 4096)));
  // A slot too short for the dump area it announces.
  EXPECT_FALSE(rec.decode(0, enc::Bytes(slot.begin(), slot.begin() + 2600)));
}

TEST_F(FerrantV1, NormalisationBaseFramesFillTheStore) {
  const DecoderConfig c = ferrant_config(true);
  Records rec(ferrant_operation, c, 1);
  ASSERT_NE(V(rec[0].norm_data), nullptr);
  uint16_t head = 100;
  for (uint8_t freq = 0; freq < 3; ++freq) {
    enc::FerrantV1Frame f = v1_frame(++head);
    f.kind = 7;  // base data
    f.freq_number = freq;
    f.mutual = ramp(12, 100 * freq);
    ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(head), enc::encode_ferrant_v1(f))));
    EXPECT_EQ(V(rec[0].frame_type), DECODED_FRAME_TYPE_KB_CHECK);
  }
  for (uint8_t freq = 0; freq < 3; ++freq)
    EXPECT_EQ(read_values(rec[0].norm_data + 12 * freq, 12), ramp(12, 100 * freq)) << int(freq);
  enc::FerrantV1Frame normal = v1_frame(++head);
  ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(head), enc::encode_ferrant_v1(normal))));
  EXPECT_EQ(V(rec[0].normalize_all_freqs), 1);

  // A changed scan count empties the set; a frequency number beyond F is refused.
  normal = v1_frame(++head);
  normal.normalize_scan_count = 4;
  ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(head), enc::encode_ferrant_v1(normal))));
  EXPECT_EQ(V(rec[0].normalize_all_freqs), 0);
  enc::FerrantV1Frame wrong = v1_frame(++head);
  wrong.kind = 7;
  wrong.freq_number = 3;
  wrong.normalize_scan_count = 4;
  HostCapture::get().clear();
  ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(head), enc::encode_ferrant_v1(wrong))));
  EXPECT_EQ(HostCapture::get().count("b data is error!"), 1u);
}

// ---- normalisation table --------------------------------------------------------------------

std::string csv_block(int freq, int columns, int rows, int base) {
  std::string text = "freq" + std::to_string(freq) + ",1,2,3,4," + std::to_string(columns) + "," +
                     std::to_string(rows) + ",8,9,10\n";
  for (int r = 0; r < rows; ++r) {
    for (int col = 0; col < columns; ++col) text += (col ? "," : "") + std::to_string(base + r * columns + col);
    text += "\n";
  }
  return text;
}

std::vector<int32_t> expected_block(int columns, int rows, int base) {
  std::vector<int32_t> v;
  for (int i = 0; i < columns * rows; ++i) v.push_back(base + i);
  return v;
}

TEST(FerrantNormalize, LockdownSelectsTheFileAndTheTableReachesTheHost) {
  struct Case {
    const char *lockdown;  // null: no node
    const char *path;
  };
  const Case cases[] = {
      {"0x53,0x42,0x32,0x03,0x4d,0x31,0x32,0x01,0x00", "/odm/firmware/ferrant_normalize_1.csv"},
      {"0x53,0x42,0x32,0x03,0x4d,0x31,0x32,0x01", "/vendor/firmware/ferrant_normalize_1.csv"},
      {"0x11,0x42", "/odm/firmware/ferrant_normalize.csv"},
      {nullptr, "/vendor/firmware/ferrant_normalize.csv"},
  };
  for (const Case &k : cases) {
    platform::testing::TempRoot root;
    if (k.lockdown != nullptr) root.writeFile("/proc/tp_lockdown_info", k.lockdown);
    root.writeFile(k.path, csv_block(1, 4, 3, 10) + "junk line\n" + csv_block(2, 4, 3, -50) + csv_block(3, 4, 3, 7000));
    install_host(true);
    Records rec(ferrant_operation, ferrant_config(true), 1);
    ASSERT_TRUE(rec.ok());
    ASSERT_EQ(HostCapture::get().tables.size(), 1u) << k.path;
    const std::vector<int32_t> &table = HostCapture::get().tables[0];
    ASSERT_EQ(table.size(), 36u);
    EXPECT_EQ(std::vector<int32_t>(table.begin(), table.begin() + 12), expected_block(4, 3, 10)) << k.path;
    EXPECT_EQ(std::vector<int32_t>(table.begin() + 12, table.begin() + 24), expected_block(4, 3, -50));
    EXPECT_EQ(std::vector<int32_t>(table.begin() + 24, table.end()), expected_block(4, 3, 7000));
  }
}

TEST(FerrantNormalize, MissingLabelsAndShortFilesLeaveZeros) {
  platform::testing::TempRoot root;
  // freq2 is absent; freq3's label has too few fields.
  root.writeFile("/odm/firmware/ferrant_normalize.csv", csv_block(1, 4, 3, 1) + "freq3,1,2\n1,2,3,4\n");
  install_host(true);
  Records rec(ferrant_operation, ferrant_config(true), 1);
  ASSERT_EQ(HostCapture::get().tables.size(), 1u);
  const std::vector<int32_t> &table = HostCapture::get().tables[0];
  EXPECT_EQ(std::vector<int32_t>(table.begin(), table.begin() + 12), expected_block(4, 3, 1));
  EXPECT_EQ(std::vector<int32_t>(table.begin() + 12, table.end()), std::vector<int32_t>(24, 0));
  EXPECT_EQ(HostCapture::get().count("not found label"), 2u);

  // No file at all: an all-zero table still reaches the host.
  platform::testing::TempRoot empty_root;
  install_host(true);
  Records again(ferrant_operation, ferrant_config(true), 1);
  ASSERT_EQ(HostCapture::get().tables.size(), 1u);
  EXPECT_EQ(HostCapture::get().tables[0], std::vector<int32_t>(36, 0));
  EXPECT_EQ(HostCapture::get().count("can't open normalize csv file"), 1u);
}

}  // namespace
