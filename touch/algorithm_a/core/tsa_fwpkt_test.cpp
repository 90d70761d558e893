// Firmware command packets: layout, checksum, builders, queueing, CRC-16/KERMIT.
#include "tsa_fwpkt.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "framework.h"
#include "tsa_debug.h"
#include "tsa_frame_test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReqBytes(const TsaRequest& r, size_t n) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&r);
  return Bytes(p, p + n);
}

class FwPktTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TsaDebugResetForTest();
    frame_test::SetFreqTable({1000, 2000, 3000});
    gstApp.ubApp = kAppFinger;
    memset(&gstMutualCfgBak, 0, sizeof(gstMutualCfgBak));
  }
};

TEST(FwPktCrc, KermitKnownAnswers) {
  struct Case {
    std::string text;
    uint16_t crc;
  };
  const Case cases[] = {{"123456789", 0x2189}, {"abc", 0x58E9}, {"", 0x0000}};
  for (const Case& c : cases) {
    EXPECT_EQ(FyTpCcittCRC16(reinterpret_cast<const uint8_t*>(c.text.data()), static_cast<uint32_t>(c.text.size())),
              c.crc)
        << c.text;
  }
}

TEST_F(FwPktTest, BuildersGiveTheStatedBytes) {
  struct Case {
    const char* name;
    void (*build)(TsaRequest*);
    Bytes want;  // bytes 0 .. end of checksum
  };
  const Case cases[] = {
      {"idle baseline", [](TsaRequest* r) { SetIdleBaseLineCmd(r); }, {1, 0, 0, 0, 6, 0, 0, 0, 4, 0xA2, 0xA6, 0x00}},
      // 5 + 0x9F + 3 = 0xA7
      {"idle 3", [](TsaRequest* r) { SetIdleCmd(r, 3); }, {1, 0, 0, 0, 7, 0, 0, 0, 5, 0x9F, 3, 0xA7, 0x00}},
      // 5 + 0x9F + 100 = 0x108: only the low byte is carried
      {"idle 100", [](TsaRequest* r) { SetIdleCmd(r, 100); }, {1, 0, 0, 0, 7, 0, 0, 0, 5, 0x9F, 100, 0x08, 0x00}},
      // 5 + 0x9D + 1 = 0xA3
      {"scan rate 1", [](TsaRequest* r) { SetScanRateCmd(r, 1); }, {1, 0, 0, 0, 7, 0, 0, 0, 5, 0x9D, 1, 0xA3, 0x00}},
      // the generic builder keeps the full 16-bit sum: 5 + 0xEE + 0xFF = 0x1F2
      {"generic EE FF",
       [](TsaRequest* r) {
         const uint8_t p = 0xFF;
         PacketFwCmdMsg(0xEE, &p, r, 1);
       },
       {1, 0, 0, 0, 7, 0, 0, 0, 5, 0xEE, 0xFF, 0xF2, 0x01}},
  };
  for (const Case& c : cases) {
    TsaRequest r;
    memset(&r, 0x5A, sizeof(r));
    c.build(&r);
    EXPECT_EQ(ReqBytes(r, c.want.size()), c.want) << c.name;
  }
}

TEST_F(FwPktTest, PayloadLengthBound) {
  Bytes payload(26);
  std::iota(payload.begin(), payload.end(), static_cast<uint8_t>(200));
  TsaRequest r;
  ASSERT_EQ(PacketFwCmdMsg(0x42, payload.data(), &r, 26), 1);
  EXPECT_EQ(uint16_t{r.uwLength}, 32);
  EXPECT_EQ(r.ubPktLen, 30);
  uint32_t sum = 30 + 0x42;
  for (uint8_t b : payload) sum += b;
  EXPECT_EQ(r.aubBody[26], sum & 0xFF);
  EXPECT_EQ(r.aubBody[27], (sum >> 8) & 0xFF);

  payload.push_back(0);
  TsaRequest untouched;
  memset(&untouched, 0x77, sizeof(untouched));
  const TsaRequest before = untouched;
  EXPECT_EQ(PacketFwCmdMsg(0x42, payload.data(), &untouched, 27), 0);
  EXPECT_EQ(memcmp(&before, &untouched, sizeof(before)), 0);
  EXPECT_EQ(PacketFwCmdMsg(0x42, payload.data(), nullptr, 1), 0);
  EXPECT_EQ(PacketFwCmdMsg(0x42, nullptr, &untouched, 1), 0);
  // Only the low 8 bits of the length count: 256 + 1 is one byte.
  EXPECT_EQ(PacketFwCmdMsg(0x42, payload.data(), &untouched, 257), 1);
  EXPECT_EQ(untouched.ubPktLen, 5);
}

TEST_F(FwPktTest, QueuedCommandsReachTheRingAndAnEleventhIsLost) {
  const uint8_t one = 1;
  FyTpChipRst();
  FyTpSampleStart(&one);
  auto q = frame_test::QueuedRequests();
  ASSERT_EQ(q.size(), 2u);
  // 5 + 0xBF + 1 = 0xC5; 5 + 0xF1 + 1 = 0xF7
  EXPECT_EQ(frame_test::RequestHead(q[0]), (Bytes{1, 0, 0, 0, 7, 0, 0, 0, 5, 0xBF, 1, 0xC5, 0x00}));
  EXPECT_EQ(frame_test::RequestHead(q[1]), (Bytes{1, 0, 0, 0, 7, 0, 0, 0, 5, 0xF1, 1, 0xF7, 0x00}));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(FwPktQueueCmd(0x86, &one, 1), 1);
  EXPECT_EQ(FwPktQueueCmd(0x86, &one, 1), 0);
  EXPECT_EQ(tsa_request_num, 10);
}

TEST_F(FwPktTest, SampleConfigStoresTheBackupAndSwitchesUnlessScanning) {
  const MutualCfgBak cfg = {2000, 7, 1, 2};
  SampleSetMutualCfg(&cfg);
  MutualCfgBak out{};
  SampleGetMutualCfg(&out);
  EXPECT_EQ(memcmp(&out, &cfg, sizeof(cfg)), 0);
  auto q = frame_test::QueuedRequests();
  ASSERT_EQ(q.size(), 1u);
  // index 1: 5 + 0x9C + 1 = 0xA2
  EXPECT_EQ(frame_test::RequestHead(q[0]), (Bytes{1, 0, 0, 0, 7, 0, 0, 0, 5, 0x9C, 1, 0xA2, 0x00}));

  // An unknown frequency switches to index 0; in the frequency scan nothing is queued.
  const MutualCfgBak unknown = {1234, 0, 0, 0};
  SampleSetMutualCfgCustom(&unknown);
  q = frame_test::QueuedRequests();
  ASSERT_EQ(q.size(), 2u);
  EXPECT_EQ(q[1][10], 0);
  gstApp.ubApp = kAppFreqScan;
  SampleSetMutualCfg(&cfg);
  EXPECT_EQ(tsa_request_num, 2);

  const MutualCfgBak bak = {3000, 1, 2, 3};
  SampleSetMutualBakCfg(&bak);
  SampleGetMutualCfg(&out);
  EXPECT_EQ(uint16_t{out.uwFreq}, 3000);
  EXPECT_EQ(tsa_request_num, 2);

  SampleGetMutualDftCfg(&out);
  EXPECT_EQ(uint16_t{out.uwFreq}, 1000);
  EXPECT_EQ(uint16_t{out.uwFreqWord}, 100);
  EXPECT_EQ(out.ubOptHigh, 0x0A);
  EXPECT_EQ(out.ubOptLow, 0x0B);
}

}  // namespace
