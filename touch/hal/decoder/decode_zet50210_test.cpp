// zet50210 decoder against frames built by the simulated controller's encoder.
#include <gtest/gtest.h>

#include "decoder_test_util.h"

using namespace decoder_test;

namespace {

DecoderConfig zet_config() {
  DecoderConfig c = small_config();
  c.stylus_en = 1;
  return c;  // stylus arrays 2 x 3 and 4 x 1 values
}

enc::Zet50210Frame normal_frame(const std::vector<int16_t> &mutual) {
  enc::Zet50210Frame f;
  for (size_t i = 1; i < f.header.size(); ++i) f.header[i] = static_cast<uint8_t>(0x80 + i);
  f.header[24] = 4;  // state code: frames continuous
  f.frame_type = 1;
  f.mutual = mutual;
  return f;
}

enc::Zet50210Frame stylus_frame(uint8_t quarter, int base) {
  enc::Zet50210Frame f = normal_frame({});
  f.frame_type = DECODED_FRAME_TYPE_STYLUS;
  for (size_t i = 0; i < f.stylus_header.size(); ++i) f.stylus_header[i] = static_cast<uint8_t>(0x30 + i);
  f.stylus_header[11] = quarter;
  f.stylus[0] = ramp(6, base + 1);
  f.stylus[1] = ramp(4, base + 2);
  f.stylus[2] = ramp(6, base + 3);
  f.stylus[3] = ramp(4, base + 4);
  for (size_t i = 0; i < f.stylus_trailer.size(); ++i) f.stylus_trailer[i] = static_cast<uint8_t>(0xC0 + i);
  f.quarter = ramp(3, base + 1000 * quarter);  // 12 / 4 values
  return f;
}

class Zet50210 : public ::testing::Test {
 protected:
  void SetUp() override { install_host(); }
  bool decode(Records &rec, const enc::Zet50210Frame &f, size_t i = 0) {
    return rec.decode(i, enc::make_slot(slot_header(55), enc::encode_zet50210(f)));
  }
};

TEST_F(Zet50210, NormalFrame) {
  Records rec(zet50210_operation_v2, zet_config());
  ASSERT_TRUE(rec.ok());
  const std::vector<int16_t> mutual = ramp(12, -40);
  const enc::Zet50210Frame f = normal_frame(mutual);
  const enc::Bytes frame = enc::encode_zet50210(f);
  const enc::SlotHeader h = slot_header(55);
  ASSERT_TRUE(rec.decode(0, enc::make_slot(h, frame)));
  const DecodedFrame &r = rec[0];
  EXPECT_EQ(V(r.frame_time_ns), h.time_ns);
  EXPECT_EQ(V(r.frame_count), h.frame_count);
  EXPECT_EQ(V(r.driver_word), 0u);  // zet50210 copies no driver words
  // The header is copied as it stands but for the bytes that tell the record's readers its
  // panel: they name the configured one (4 columns x 3 rows), which the buffers hold.
  std::vector<uint8_t> header(frame.begin(), frame.begin() + 64);
  header[48] = 4;
  header[49] = 3;
  EXPECT_EQ(record_span(r, 60, 64), header);
  EXPECT_EQ(V(r.frame_type), 1);
  EXPECT_EQ(read_values(r.mutual, 12), mutual);
  EXPECT_EQ(V(r.stylus_frame), 0);
  EXPECT_EQ(V(r.stylus_frame2), 0);
  EXPECT_EQ(V(r.frame_watchdog_wanted), 1);
  EXPECT_EQ(V(r.high_rate_or_idle), 0);
}

TEST_F(Zet50210, CheckValue) {
  Records rec(zet50210_operation_v2, zet_config(), 1);
  enc::Zet50210Frame f = normal_frame(ramp(12, 3));
  f.corrupt_check = true;
  HostCapture::get().clear();
  EXPECT_FALSE(decode(rec, f));
  EXPECT_EQ(HostCapture::get().count("crc err"), 1u);
  f.skip_check = true;  // 0xFF in byte 0: accepted whatever the check value
  EXPECT_TRUE(decode(rec, f));
  // A word count that reaches beyond the frame.
  enc::Bytes frame = enc::encode_zet50210(normal_frame(ramp(12, 3)));
  frame[8] = 0xFF;
  frame[9] = 0xFF;
  EXPECT_FALSE(rec.decode(0, enc::make_slot(slot_header(1), frame)));
  // A frame shorter than its matrix.
  frame = enc::encode_zet50210(normal_frame(ramp(12, 3)));
  EXPECT_FALSE(rec.decode(0, enc::make_slot(slot_header(1), enc::Bytes(frame.begin(), frame.end() - 8))));
}

TEST_F(Zet50210, StylusFrameFields) {
  Records rec(zet50210_operation_v2, zet_config(), 1);
  const std::vector<int16_t> before = ramp(12, -7);
  ASSERT_TRUE(decode(rec, normal_frame(before)));
  const enc::Zet50210Frame f = stylus_frame(2, 0);
  ASSERT_TRUE(decode(rec, f));
  const DecodedFrame &r = rec[0];
  EXPECT_EQ(V(r.frame_type), DECODED_FRAME_TYPE_STYLUS);
  EXPECT_EQ(record_span(r, 265, 36), std::vector<uint8_t>(f.stylus_header.begin(), f.stylus_header.end()));
  EXPECT_EQ(read_values(r.stylus[0], 6), f.stylus[0]);
  EXPECT_EQ(read_values(r.stylus[1], 4), f.stylus[1]);
  EXPECT_EQ(read_values(r.stylus[2], 6), f.stylus[2]);
  EXPECT_EQ(read_values(r.stylus[3], 4), f.stylus[3]);
  EXPECT_EQ(record_span(r, 333, 20), std::vector<uint8_t>(f.stylus_trailer.begin(), f.stylus_trailer.end()));
  EXPECT_EQ(V(r.stylus_frame), 1);
  EXPECT_EQ(V(r.stylus_frame2), 1);
  // Quarter 2 lands at values 3..5; the rest keeps the previous frame's matrix.
  std::vector<int16_t> expected = before;
  std::copy(f.quarter.begin(), f.quarter.end(), expected.begin() + 3);
  EXPECT_EQ(read_values(r.mutual, 12), expected);
}

TEST_F(Zet50210, QuarterRunsMarkTheMatrixComplete) {
  struct Case {
    std::vector<uint8_t> quarters;
    std::vector<uint8_t> complete;  // record 353 after each frame
  };
  const Case cases[] = {
      {{1, 2, 3, 4}, {0, 0, 0, 1}},
      {{1, 3, 4, 1, 2, 3, 4}, {0, 0, 0, 0, 0, 0, 1}},
      {{4, 2, 4}, {0, 0, 0}},
      {{1, 2, 3, 4, 4}, {0, 0, 0, 1, 0}},
      // Numbers outside 1..4 are not placed and do not count.
      {{1, 2, 0, 3, 9, 4}, {0, 0, 0, 0, 0, 1}},
  };
  for (const Case &k : cases) {
    Records rec(zet50210_operation_v2, zet_config(), 1);
    rec[0].stylus_matrix_complete = 1;  // stale flag of a recycled record
    ASSERT_TRUE(decode(rec, stylus_frame(4, 0)));  // closes any run a previous case left open
    for (size_t i = 0; i < k.quarters.size(); ++i) {
      ASSERT_TRUE(decode(rec, stylus_frame(k.quarters[i], 10 * static_cast<int>(i))));
      EXPECT_EQ(V(rec[0].stylus_matrix_complete), k.complete[i]) << "frame " << i;
    }
  }
}

TEST_F(Zet50210, FourQuartersAssembleTheMatrix) {
  Records rec(zet50210_operation_v2, zet_config(), 1);
  std::vector<int16_t> expected;
  for (uint8_t q = 1; q <= 4; ++q) {
    const enc::Zet50210Frame f = stylus_frame(q, 0);
    expected.insert(expected.end(), f.quarter.begin(), f.quarter.end());
    ASSERT_TRUE(decode(rec, f));
  }
  EXPECT_EQ(read_values(rec[0].mutual, 12), expected);
  // Out-of-range quarters leave the matrix as it was.
  ASSERT_TRUE(decode(rec, stylus_frame(0, 500)));
  ASSERT_TRUE(decode(rec, stylus_frame(200, 500)));
  EXPECT_EQ(read_values(rec[0].mutual, 12), expected);
}

TEST_F(Zet50210, StylusArraysNeedTheStylusBuffers) {
  DecoderConfig c = zet_config();
  c.stylus_en = 2;  // only exactly 1 enables the stylus buffers
  Records rec(zet50210_operation_v2, c, 1);
  EXPECT_EQ(V(rec[0].stylus[0]), nullptr);
  ASSERT_TRUE(decode(rec, stylus_frame(1, 0)));
  EXPECT_EQ(V(rec[0].stylus_frame), 1);
  // A stylus frame cut inside its arrays.
  Records with(zet50210_operation_v2, zet_config(), 1);
  enc::Bytes frame = enc::encode_zet50210(stylus_frame(1, 0));
  frame.resize(64 + 36 + 10);
  frame[8] = frame[9] = frame[10] = frame[11] = 0;  // check over no words
  frame[4] = frame[5] = 0;
  EXPECT_FALSE(with.decode(0, enc::make_slot(slot_header(1), frame)));
}

}  // namespace
