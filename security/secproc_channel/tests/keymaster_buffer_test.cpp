#include <gtest/gtest.h>

#include <cstring>

#include "KeymasterBuffer.h"

namespace {

using keymasterdevice::KeymasterBuffer;

TEST(KeymasterBuffer, RoundedAppendsAdvanceByFourAndRefuseWhatDoesNotFit) {
  uint8_t mem[16];
  std::memset(mem, 0xEE, sizeof mem);
  KeymasterBuffer buf(mem, 8);
  const uint8_t five[5] = {1, 2, 3, 4, 5};
  ASSERT_EQ(buf.append_to_buf_roundup(five, 5), 0);
  EXPECT_EQ(buf.get_offset(), 8u);
  EXPECT_EQ(buf.get_buf_size_remaining(), 0u);
  EXPECT_EQ(mem[4], 5);
  EXPECT_EQ(mem[5], 0xEE) << "filler bytes are not written";

  KeymasterBuffer small(mem, 6);
  EXPECT_EQ(small.append_to_buf_roundup(five, 5), -21);
  EXPECT_EQ(small.get_offset(), 0u);
  EXPECT_EQ(small.get_buf_size_remaining(), 6u);
  EXPECT_EQ(small.append_to_buf(five, 5), 0);
  EXPECT_EQ(small.append_to_buf(five, 2), -21);
  EXPECT_EQ(small.get_curr_addr(), mem + 5);
}

TEST(KeymasterBuffer, IndirectAreaFollowsTheReservedRecords) {
  uint8_t mem[100] = {};
  KeymasterBuffer buf(mem, 100);
  ASSERT_EQ(buf.set_indirect_buf(16), 0);
  EXPECT_EQ(buf.get_indirect_buf_size_remaining(), 84u);
  EXPECT_EQ(buf.get_offset(), 0u);
  const uint8_t data[10] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 7};
  ASSERT_EQ(buf.append_to_indirect_buf(data, 10), 0);
  EXPECT_EQ(mem[16], 9);
  EXPECT_EQ(mem[25], 7);
  EXPECT_EQ(buf.get_indirect_buf_offset_from_main(), 26u);
  const uint8_t record[16] = {1};
  ASSERT_EQ(buf.append_to_buf(record, 16), 0);
  buf.reset_indirect_buf();
  EXPECT_EQ(buf.get_offset(), 26u);
  EXPECT_EQ(buf.get_buf_size_remaining(), 74u);
  EXPECT_EQ(buf.get_indirect_buf_offset(), 0u);
  EXPECT_EQ(buf.set_indirect_buf(75), -21);
  ASSERT_EQ(buf.set_indirect_buf(70), 0);
  EXPECT_EQ(buf.append_to_indirect_buf(data, 5), -21);
}

}  // namespace
