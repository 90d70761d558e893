// The ring of decoded frames: order, the full ring, the consumer's deep copy and stop.
#include "core/frame_ring.h"

#include <gtest/gtest.h>

#include <future>

#include "core/frame_data.h"
#include "core/test_decoder.h"

namespace {

using namespace std::chrono_literals;
using hal::FrameRing;

DecoderConfig small_config() {
  DecoderConfig c = hal::FrameData::defaultConfig();
  c.node_count = 8;
  c.snode_count = 4;
  c.nnode_count = 6;
  c.scan_freq_num = 2;
  c.stylus_col1 = 2;
  c.stylus_row1 = 3;
  c.stylus_col2 = 1;
  c.stylus_row2 = 2;
  return c;
}

// Fills the spare record the way a decoder would and publishes it.
int publish_frame(FrameRing &ring, uint16_t index) {
  DecodedFrame *r = ring.spare();
  r->frame_index = index;
  r->frame_count = index;
  for (int i = 0; i < 8; ++i) r->mutual[i] = static_cast<int16_t>(index * 100 + i);
  return ring.publish(1000 + index);
}

class FrameRingTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(ring_.prepare(op_, small_config()), 0); }
  void TearDown() override { ring_.release(op_); }
  device_operation op_ = hal::testing::test_decoder();
  FrameRing ring_;
};

TEST_F(FrameRingTest, FramesComeOutInArrivalOrder) {
  for (uint16_t i = 1; i <= 5; ++i) publish_frame(ring_, i);
  EXPECT_EQ(ring_.pending(), 5);
  for (uint16_t i = 1; i <= 5; ++i) {
    DecodedFrame *frame = nullptr;
    DecodedFrame *copy = nullptr;
    uint64_t stamp = 0;
    ASSERT_EQ(ring_.take(&frame, &copy, &stamp), 0);
    EXPECT_EQ(frame->frame_index, i);
    EXPECT_EQ(copy->frame_index, i);
    EXPECT_EQ(copy->mutual[3], i * 100 + 3);
    EXPECT_EQ(stamp, 1000u + i);
  }
  EXPECT_EQ(ring_.pending(), 0);
}

TEST_F(FrameRingTest, SeventeenthUnreadFrameDropsTheOldest) {
  for (uint16_t i = 1; i <= 16; ++i) EXPECT_EQ(publish_frame(ring_, i), -1) << i;
  EXPECT_EQ(publish_frame(ring_, 17), 0);  // ring index 0, frame 1, overwritten
  EXPECT_EQ(ring_.pending(), 16);
  for (uint16_t i = 2; i <= 17; ++i) {
    DecodedFrame *copy = nullptr;
    ASSERT_EQ(ring_.take(nullptr, &copy, nullptr), 0);
    EXPECT_EQ(copy->frame_index, i);
    EXPECT_EQ(copy->mutual[0], i * 100);
  }
  EXPECT_EQ(ring_.pending(), 0);
}

// Every buffer a decoder can hang on a record is copied into storage of the copy's own:
// after the copy no pointer refers to the ring, and releasing the ring frees each buffer
// exactly once (the address sanitizer would see a double free or a stale read).
TEST_F(FrameRingTest, DeepCopyOwnsEveryBuffer) {
  DecodedFrame *r = ring_.spare();
  for (int i = 0; i < 8; ++i) r->mutual[i] = static_cast<int16_t>(i + 1);
  for (int i = 0; i < 4; ++i) r->self1[i] = static_cast<int16_t>(-i), r->self2[i] = static_cast<int16_t>(50 + i);
  r->reserved_block_len = 3;
  memcpy(r->reserved_block, "\x01\x02\x03", 3);
  r->debug_text_len = 5;
  memcpy(r->text_area, "hello", 5);
  r->extra1_len = 12;
  r->extra1[5] = 77;
  r->extra2[1] = 78;
  r->norm_len = 32;
  r->norm_data[15] = 79;
  r->stylus[0][5] = 80;
  r->stylus[1][1] = 81;
  r->dump_block_size = 10;
  r->dump_block[9] = 82;
  ring_.publish(1);

  DecodedFrame *frame = nullptr;
  DecodedFrame *copy = nullptr;
  ASSERT_EQ(ring_.take(&frame, &copy, nullptr), 0);
  ASSERT_NE(static_cast<void *>(frame), static_cast<void *>(copy));
  const void *pointers_frame[] = {frame->mutual, frame->self1, frame->self2, frame->reserved_block,
                                  frame->debug_text, frame->extra1, frame->extra2, frame->norm_data,
                                  frame->stylus[0], frame->stylus[1], frame->stylus[2], frame->stylus[3],
                                  frame->dump_mutual, frame->dump_self1, frame->dump_self2, frame->dump_block};
  const void *pointers_copy[] = {copy->mutual, copy->self1, copy->self2, copy->reserved_block,
                                 copy->debug_text, copy->extra1, copy->extra2, copy->norm_data,
                                 copy->stylus[0], copy->stylus[1], copy->stylus[2], copy->stylus[3],
                                 copy->dump_mutual, copy->dump_self1, copy->dump_self2, copy->dump_block};
  for (size_t i = 0; i < std::size(pointers_copy); ++i) {
    ASSERT_NE(pointers_copy[i], nullptr) << i;
    EXPECT_NE(pointers_copy[i], pointers_frame[i]) << i;
  }
  EXPECT_EQ(static_cast<const void *>(copy->debug_text), static_cast<const void *>(copy->text_area));  // the text area moves with the record
  EXPECT_EQ(memcmp(copy->mutual, frame->mutual, 16), 0);
  EXPECT_EQ(copy->self1[3], -3);
  EXPECT_EQ(copy->self2[3], 53);
  EXPECT_EQ(copy->reserved_block[2], 3);
  EXPECT_EQ(std::string(copy->debug_text, 5), "hello");
  EXPECT_EQ(copy->extra1[5], 77);
  EXPECT_EQ(copy->extra2[1], 78);
  EXPECT_EQ(copy->norm_data[15], 79);
  EXPECT_EQ(copy->stylus[0][5], 80);
  EXPECT_EQ(copy->stylus[1][1], 81);
  EXPECT_EQ(copy->dump_block[9], 82);
  // Writing the copy leaves the ring alone.
  copy->mutual[0] = -1;
  EXPECT_EQ(frame->mutual[0], 1);
}

TEST_F(FrameRingTest, LengthsFromTheRecordAreBoundedAndNullPointersStayNull) {
  DecodedFrame *r = ring_.spare();
  r->extra1_len = 32767;       // far beyond the 12 bytes behind extra1
  r->norm_len = -5;
  r->debug_text_len = 30000;   // the text area holds 100
  r->dump_block_size = 1 << 30;
  free(r->extra2);
  r->extra2 = nullptr;
  ring_.publish(1);
  DecodedFrame *copy = nullptr;
  ASSERT_EQ(ring_.take(nullptr, &copy, nullptr), 0);
  EXPECT_EQ(static_cast<const void *>(copy->extra2), nullptr);
  EXPECT_NE(static_cast<const void *>(copy->extra1), nullptr);
}

TEST_F(FrameRingTest, StopWakesAWaitingConsumer) {
  auto waiting = std::async(std::launch::async, [&] { return ring_.take(nullptr, nullptr, nullptr); });
  EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
  ring_.stop();
  ASSERT_EQ(waiting.wait_for(2s), std::future_status::ready);
  EXPECT_EQ(waiting.get(), HAL_RESULT_FAILED);
  publish_frame(ring_, 1);
  EXPECT_EQ(ring_.take(nullptr, nullptr, nullptr), HAL_RESULT_FAILED);  // exit is final
}

TEST(FrameRingPrepare, FailedInitIsReportedAndASecondInitStartsAfresh) {
  FrameRing ring;
  const device_operation op = hal::testing::test_decoder();
  hal::testing::g_test_decoder_fail_allocation_at = 4;
  EXPECT_EQ(ring.prepare(op, small_config()), -1);
  hal::testing::g_test_decoder_fail_allocation_at = -1;
  ASSERT_EQ(ring.prepare(op, small_config()), 0);
  EXPECT_NE(static_cast<const void *>(ring.spare()->mutual), nullptr);
  ring.release(op);
  EXPECT_EQ(static_cast<const void *>(ring.spare()->mutual), nullptr);
}

TEST(ReportRate, ChangesBetweenCodesZeroAndFourAreAnnounced) {
  struct Case {
    uint8_t codes;  // high nibble previous, low nibble current
    uint16_t rate;
    bool announced;
    uint32_t derived;
  };
  const Case cases[] = {{0x40, 240, true, 121}, {0x04, 120, true, 239}, {0x12, 120, false, 0},
                        {0x44, 240, false, 0},  {0x00, 240, false, 0},  {0x40, 0, false, 0}};
  for (const Case &c : cases) {
    DecodedFrame frame{};
    frame.report_rate_codes = c.codes;
    frame.report_rate_hz = c.rate;
    uint32_t rate = 0, derived = 0;
    EXPECT_EQ(hal::report_rate_change(frame, &rate, &derived), c.announced) << int(c.codes);
    if (c.announced) {
      EXPECT_EQ(rate, c.rate);
      EXPECT_EQ(derived, c.derived);
    }
  }
}

}  // namespace
