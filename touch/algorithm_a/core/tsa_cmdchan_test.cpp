#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tsa_cmdchan.h"
#include "tsa_module.h"
#include "tsa_module_test_util.h"

namespace {

using fxtest::Bytes;
using fxtest::LogCapture;
using fxtest::V;

struct Writes {
  static inline std::vector<Bytes> packets;
  static inline uint32_t reg = 0;
  static inline uint32_t flag = 0;
  static inline int32_t result = 0;
  static int32_t Write(uint32_t r, uint8_t* packet, uint32_t length, uint32_t f) {
    reg = r;
    flag = f;
    packets.emplace_back(packet, packet + length);
    return result;
  }
};

class CmdChan : public ::testing::Test {
 protected:
  void SetUp() override {
    TsaModuleResetForTest();
    Writes::packets.clear();
    Writes::result = 0;
    LogCapture::Clear();
    host_.log = LogCapture::Log;
    host_.controller_write = Writes::Write;
    register_alg_module(&host_);
  }
  void TearDown() override { TsaModuleResetForTest(); }
  AlgHostCallbacks host_{};
};

TEST_F(CmdChan, StartAndStopReportingWriteTheirPackets) {
  ASSERT_EQ(start_report_framedata(), 0);
  ASSERT_EQ(stop_report_framedata(), 0);
  ASSERT_EQ(Writes::packets.size(), 2u);
  EXPECT_EQ(Writes::packets[0], (Bytes{0x00, 0x00, 0x06, 0x90, 0x01, 0x01, 0x98, 0x00}));
  EXPECT_EQ(Writes::packets[1], (Bytes{0x00, 0x00, 0x05, 0x90, 0x00, 0x95, 0x00}));
  EXPECT_EQ(Writes::reg, 0x10174u);
  EXPECT_EQ(Writes::flag, 1u);
}

TEST_F(CmdChan, DataLengthUpToARequestPayloadIsSentLongerRefused) {
  uint8_t data[27];
  for (int i = 0; i < 27; ++i) data[i] = static_cast<uint8_t>(0xF0 + i % 16);
  ASSERT_EQ(ferx_send_cmd(0xEE, data, 26), 0);
  ASSERT_EQ(Writes::packets.size(), 1u);
  const Bytes& p = Writes::packets[0];
  ASSERT_EQ(p.size(), 32u);
  EXPECT_EQ(p[2], 30);
  EXPECT_EQ(p[3], 0xEE);
  EXPECT_EQ(0, std::memcmp(p.data() + 4, data, 26));
  uint32_t sum = 0;
  for (int i = 0; i < 30; ++i) sum += p[i];
  EXPECT_EQ(p[30] | (p[31] << 8), static_cast<int>(sum & 0xFFFF));
  EXPECT_EQ(ferx_send_cmd(0xEE, data, 27), FERX_EINVAL);
  EXPECT_EQ(Writes::packets.size(), 1u);
}

TEST_F(CmdChan, MissingOrFailingWriteIsMinus22) {
  Writes::result = 5;
  EXPECT_EQ(start_report_framedata(), FERX_EINVAL);
  EXPECT_TRUE(LogCapture::Has("[ferx]: ic_cmd_callback failed, ret=5"));
  host_.controller_write = nullptr;
  EXPECT_EQ(start_report_framedata(), FERX_EINVAL);
  EXPECT_TRUE(LogCapture::Has("ic_cmd_callback is null"));
  register_alg_module(nullptr);
  EXPECT_EQ(stop_report_framedata(), FERX_EINVAL);
}

// ---- Controller information ----------------------------------------------------------

int32_t Parse(const Bytes& block, IcInfo* info) {
  Bytes padded(IC_INFO_BLOCK_MAX, 0);
  std::memcpy(padded.data(), block.data(), std::min<size_t>(block.size(), padded.size()));
  return ferx_parse_ic_info(padded.data(), static_cast<uint32_t>(padded.size()), info);
}

TEST_F(CmdChan, GoodBlockFillsEveryPartOfTheRecord) {
  fxtest::IcInfoDesc desc;
  const Bytes block = fxtest::BuildIcInfoBlock(desc);
  IcInfo info{};
  ASSERT_EQ(Parse(block, &info), 0);
  EXPECT_EQ(V(info.ic_info_len), block.size());
  EXPECT_EQ(V(info.config_id), 0x00A1B2C3u);
  EXPECT_EQ(V(info.drv_num), 16);
  EXPECT_EQ(V(info.sen_num), 30);
  EXPECT_EQ(V(info.button_num), 2);
  EXPECT_EQ(V(info.freqhop_feature), 0x0102);
  EXPECT_EQ(V(info.stylus_feature), 0x0708);
  EXPECT_EQ(V(info.active_scan_rate.num), 2);
  EXPECT_EQ(V(info.mutual_freq.num), 3);
  uint16_t third;
  std::memcpy(&third, reinterpret_cast<uint8_t*>(&info.mutual_freq.freq) + 4, 2);
  EXPECT_EQ(third, 300);
  EXPECT_EQ(V(info.self_rx_freq.num), 2);
  EXPECT_EQ(V(info.stylus_freq.num), 0);
  EXPECT_EQ(V(info.cmd.addr), 0x20001000u);
  EXPECT_EQ(V(info.screen_real_max_x), 1080);
  EXPECT_EQ(V(info.screen_real_max_y), 2400);
  EXPECT_EQ(V(info.data_type), 64);
  // A tail byte between: the record holds the tail as the block carries it.
  EXPECT_EQ(V(info.pack_max_num), 0x40 + 34);
}

TEST_F(CmdChan, RefusedBlocksSayWhy) {
  const Bytes good = fxtest::BuildIcInfoBlock({});
  Bytes badSum = good;
  badSum[40] ^= 0x01;
  Bytes allFf(IC_INFO_BLOCK_MAX, 0xFF);  // erased storage
  Bytes zeroLen = good;
  zeroLen[0] = zeroLen[1] = 0;
  Bytes tooLong = good;
  fxtest::Put16(tooLong, 0, 513);
  struct Case {
    const char* name;
    Bytes block;
    const char* why;
  } cases[] = {
      {"zero length", zeroLen, "fw info's length[0] is illegal!"},
      {"past the block", tooLong, "fw info's length[513] is illegal!"},
      {"all 0xFF", allFf, "ic info data invalid"},
      {"checksum", badSum, "ic info is invalid: checksum error!"},
  };
  for (const Case& c : cases) {
    LogCapture::Clear();
    IcInfo info{};
    EXPECT_EQ(Parse(c.block, &info), FERX_EINVAL) << c.name;
    EXPECT_TRUE(LogCapture::Has(c.why)) << c.name;
    EXPECT_EQ(LogCapture::Count("[ferx]: "), 1u) << c.name;  // one refusal line, no later check ran
  }
}

TEST_F(CmdChan, LengthBeyondTheBytesLeftIsRefusedNotRead) {
  const Bytes good = fxtest::BuildIcInfoBlock({});
  IcInfo info{};
  // Exactly the block: accepted. One byte fewer available than the length claims: refused.
  EXPECT_EQ(ferx_parse_ic_info(good.data(), static_cast<uint32_t>(good.size()), &info), 0);
  EXPECT_EQ(ferx_parse_ic_info(good.data(), static_cast<uint32_t>(good.size() - 1), &info), FERX_EINVAL);
}

TEST_F(CmdChan, FieldsRunningPastTheLengthAreRefused) {
  // A sealed block whose lists claim more bytes than it carries.
  fxtest::IcInfoDesc desc;
  Bytes block = fxtest::BuildIcInfoBlock(desc);
  block.resize(32 + 10);          // fixed fields and part of the lists only
  block[32] = 8;                  // eight scan rates: 16 bytes, more than are left
  fxtest::Put16(block, 0, static_cast<uint16_t>(block.size() + 2));
  uint16_t sum = 0;
  for (uint8_t v : block) sum = static_cast<uint16_t>(sum + v);
  block.push_back(static_cast<uint8_t>(sum));
  block.push_back(static_cast<uint8_t>(sum >> 8));
  IcInfo info{};
  EXPECT_EQ(ferx_parse_ic_info(block.data(), static_cast<uint32_t>(block.size()), &info), FERX_EINVAL);
  EXPECT_TRUE(LogCapture::Has("cannot hold its fields"));
}

TEST_F(CmdChan, CountAboveEightEndsTheUnpackingButSucceeds) {
  fxtest::IcInfoDesc desc;
  desc.lists[1] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const Bytes block = fxtest::BuildIcInfoBlock(desc);
  IcInfo info{};
  std::memset(&info, 0xCC, sizeof(info));
  ASSERT_EQ(Parse(block, &info), 0);
  EXPECT_TRUE(LogCapture::Has("invalid mntual freq num 9 > 8"));
  EXPECT_EQ(V(info.drv_num), 16);
  EXPECT_EQ(V(info.active_scan_rate.num), 2);
  EXPECT_EQ(V(info.mutual_freq.num), 9);  // the count is kept
  EXPECT_EQ(V(info.self_tx_freq.num), 0xCC);  // later lists and the memory map untouched
  EXPECT_EQ(V(info.data_type), 0xCCCC);
  EXPECT_EQ(V(info.cmd.addr), 0xCCCCCCCCu);
}

TEST_F(CmdChan, PrintShowsPaddedLabels) {
  const Bytes block = fxtest::BuildIcInfoBlock({});
  IcInfo info{};
  ASSERT_EQ(Parse(block, &info), 0);
  LogCapture::Clear();
  print_ic_info(&info);
  std::string label = "Drv*Sen,Button,Force num:";
  label.resize(33, ' ');
  EXPECT_TRUE(LogCapture::Has("[ferx]: " + label + "16 x 30, 2, 0\n"));
  std::string mutual = "mutual_freq[2]:";
  mutual.resize(33, ' ');
  EXPECT_TRUE(LogCapture::Has(mutual + "300\n"));
  std::string cmd = "Cmd:";
  cmd.resize(33, ' ');
  EXPECT_TRUE(LogCapture::Has(cmd + "0x20001000, "));
}

TEST_F(CmdChan, ChecksumHelpersRoundTrip) {
  uint8_t buf[16] = {1, 2, 3, 250, 5, 6};
  EXPECT_EQ(ferrant_append_checksum(buf, 6, 0), 267u);
  EXPECT_EQ(buf[6], 267 & 0xFF);
  EXPECT_EQ(buf[7], 1);
  EXPECT_EQ(checksum_cmp(buf, 8, 0), 0);
  buf[0] = 9;
  EXPECT_EQ(checksum_cmp(buf, 8, 0), 1);
  // Wide: sum of little-endian words 0x0201 + 0xFA03 + 0x0605.
  uint8_t w[12] = {1, 2, 3, 0xFA, 5, 6};
  EXPECT_EQ(ferrant_append_checksum(w, 6, 1), 0x0201u + 0xFA03u + 0x0605u);
  EXPECT_EQ(checksum_cmp(w, 10, 1), 0);
  w[9] ^= 0x80;
  EXPECT_EQ(checksum_cmp(w, 10, 1), 1);
  EXPECT_EQ(checksum_cmp(w, 1, 0), 1);
  const uint8_t zeros[4] = {}, ff[3] = {0xFF, 0xFF, 0xFF}, mixed[2] = {0x00, 0xFF};
  EXPECT_EQ(is_risk_data(zeros, 4), 1);
  EXPECT_EQ(is_risk_data(ff, 3), 1);
  EXPECT_EQ(is_risk_data(mixed, 2), 0);
  EXPECT_EQ(is_risk_data(mixed, 0), 1);
}

}  // namespace
