// Signal conditioning on small fixtures: the controller k/b commands, the flash record
// check and the flash areas, the frequency scan app, the diff statistics and hole
// complement, the raw-data filters, the channel-disconnect evaluation and hopping.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "core_stages.h"
#include "customer_hooks.h"
#include "diff_stages.h"
#include "framework.h"
#include "region.h"
#include "coord.h"
#include "coord_records.h"
#include "tsa_frame.h"
#include "signal_proc.h"
#include "tsa_api.h"
#include "tsa_custdbg.h"
#include "tsa_debug.h"
#include "tsa_frame_test_util.h"
#include "tsa_fwpkt.h"
#include "tsa_kbflash.h"
#include "tsa_parse.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kDrv = 4;
constexpr uint8_t kSen = 6;
constexpr uint32_t kNodes = kDrv * kSen;

Bytes Packet(const std::vector<uint8_t>& request) {
  const Bytes head = frame_test::RequestHead(request);
  return Bytes(head.begin() + 6, head.end());
}
std::vector<Bytes> TakePackets() {
  std::vector<Bytes> out;
  for (const auto& r : frame_test::QueuedRequests()) out.push_back(Packet(r));
  std::vector<uint8_t> sink(TSA_REQUEST_MAX * TSA_REQUEST_BYTES);
  TsaRequestTakeAll(sink.data());
  return out;
}

class SignalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Panel(kDrv, kSen);
    frame_test::SetFreqTable({1000, 1500, 2000});
    memset(&gstNormalize, 0, sizeof(gstNormalize));
    memset(gpubTamrelFlash, 0, kTamrelFlashBytes);
    memset(&gstRawNormalizeCfg, 0, sizeof(gstRawNormalizeCfg));
    memset(&gstRawdataDenoiseCfg, 0, sizeof(gstRawdataDenoiseCfg));
    memset(&gstCompleteHoleCfg, 0, sizeof(gstCompleteHoleCfg));
    memset(&gstDenoiseCommonCfg, 0, sizeof(gstDenoiseCommonCfg));
    memset(&gstChannelDisCfg, 0, sizeof(gstChannelDisCfg));
    gstApp.ubApp = kAppFinger;
    gstApp.ubFlags = 0;  // a hop leaves the stop flag set: the next list would end at once
    std::vector<uint8_t> sink(TSA_REQUEST_MAX * TSA_REQUEST_BYTES);
    TsaRequestTakeAll(sink.data());
  }
  // A cleared common record for a DRV x SEN panel whose maps live in this fixture.
  void Panel(uint8_t drv, uint8_t sen) {
    const uint32_t n = static_cast<uint32_t>(drv) * sen;
    raw_.assign(n, 0);
    ref_.assign(n, 0);
    rawForDiff_.assign(n, 0);
    diff_.assign(n, 0);
    k_.assign(n, 4096);
    b_.assign(n, 0);
    work_.assign(n, 0);
    selfRaw_.assign(drv + sen, 0);
    selfFilt_.assign(drv + sen, 0);
    im_.assign(8u * sen, 0);
    arena_.assign(2 * 5824 + 64, 0);
    frame_test::BindSmallPanel(drv, sen, raw_.data(), ref_.data(), diff_.data(), selfRaw_.data(), im_.data());
    gstCommon.puwRawForDiff = rawForDiff_.data();
    gstCommon.puwKArray = k_.data();
    gstCommon.puwBArray = b_.data();
    gstCommon.puwNodeWorkMap = work_.data();
    gstCommon.puwSelfFilterState = selfFilt_.data();
    gstCommon.pubTempArena = arena_.data();
    gstCommon.swTouchThreshold = 100;
    gstCommon.uwMaskThreshold = 100;
    gppstScanFreqTemp = arena_.data();
  }

  std::vector<uint16_t> raw_, ref_, rawForDiff_, k_, b_, work_, selfRaw_, selfFilt_, im_;
  std::vector<int16_t> diff_;
  std::vector<uint8_t> arena_;
};

// ---- Controller k/b commands --------------------------------------------------------------

TEST_F(SignalTest, BUpdateCommandsByCode) {
  frame_test::SetFreqTable({1000, 1500, 2000, 2500});
  struct Case {
    uint8_t code;
    std::vector<Bytes> packets;  // from the packet length byte on
  } cases[] = {
      {3, {{0x06, 0xEE, 0x02, 0x03, 0xF9, 0x00}}},
      {0x0B, {{0x06, 0xEE, 0x82, 0x03, 0x79, 0x01}}},  // bit 3: area 2
      {4, {}},                                          // not below the frequency count
      {176, {{0x06, 0xEE, 0x85, 0x00, 0x79, 0x01}}},
      {192, {{0x06, 0xEE, 0x05, 0x00, 0xF9, 0x00}}},
      {255, {{0x06, 0xEE, 0x03, 0x00, 0xF7, 0x00}}},
  };
  for (const Case& c : cases) {
    SetFreqBUpdateCmd(c.code);
    std::vector<Bytes> got;
    for (const Bytes& p : TakePackets()) got.emplace_back(p.begin() + 2, p.end());
    EXPECT_EQ(got, c.packets) << int(c.code);
  }
  SetFwBaseNoUpdateCmd(200);  // sum 0x05 + 0xD1 + 200 = 0x19E: only the low byte is sent
  const std::vector<Bytes> p = TakePackets();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0], (Bytes{0x00, 0x00, 0x05, 0xD1, 200, 0x9E, 0x00}));
}

// ---- Flash records ---------------------------------------------------------------------------

// One record of frequency F built by the module's packer into area-1 block F of the mirror.
void PutArea1Record(uint8_t f, uint16_t base, uint32_t block) {
  const uint32_t len = GetOneFreqLen();
  std::vector<uint16_t> values(kNodes);
  for (uint32_t i = 0; i < kNodes; ++i) values[i] = static_cast<uint16_t>(base + i);
  uint8_t trailer[kKbTrailerBytes] = {};
  KbTrailerFill(trailer, f, 11, 22, 3, 0);
  ASSERT_EQ(KbRecordBuild(gpubTamrelFlash + block * 4096u, len, values.data(), trailer), 1);
}

TEST_F(SignalTest, RecordCheckAcceptsOnlyARecordOfThisPanelAndFrequency) {
  const uint16_t len = GetOneFreqLen();
  ASSERT_EQ(len, (kNodes * 2 + 20 + 3) & ~3u);
  struct Case {
    const char* name;
    void (*damage)(uint8_t* record, uint16_t len);
    uint8_t want;
  } cases[] = {
      {"as packed", [](uint8_t*, uint16_t) {}, 1},
      {"one node value changed", [](uint8_t* r, uint16_t) { r[0] ^= 1; }, 0},
      {"drive count of another panel, sum fixed",
       [](uint8_t* r, uint16_t l) {
         r[l - 20 + 7] = kDrv + 1;
         const uint32_t s = KbRecordSum(r, l);
         memcpy(r + l - 4, &s, 4);
       },
       0},
      {"frequency of another index, sum fixed",
       [](uint8_t* r, uint16_t l) {
         r[l - 20 + 2] = 0xDC;  // 1500
         r[l - 20 + 3] = 0x05;
         const uint32_t s = KbRecordSum(r, l);
         memcpy(r + l - 4, &s, 4);
       },
       0},
  };
  for (const Case& c : cases) {
    memset(gpubTamrelFlash, 0, kTamrelFlashBytes);
    PutArea1Record(0, 500, 0);
    c.damage(gpubTamrelFlash, len);
    EXPECT_EQ(JudgeArrayValidOneFreq(0, len, kTamrelFlashBase, kKbModeArea1), c.want) << c.name;
  }
  memset(gpubTamrelFlash, 0, kTamrelFlashBytes);
  PutArea1Record(0, 500, 0);
  // Reads that would leave the mirror, and lengths that cannot hold a record, are refused.
  EXPECT_EQ(JudgeArrayValidOneFreq(0, len, 0, 0), 0) << "address below the mirror";
  EXPECT_EQ(JudgeArrayValidOneFreq(0, 4, kTamrelFlashBase, kKbModeArea1), 0) << "no room for a trailer";
  EXPECT_EQ(JudgeArrayValidOneFreq(7, 4096, kFlashKAddr + 4096 * 3, kKbModeKArea), 0) << "past the mirror end";
  EXPECT_EQ(JudgeArrayValidOneFreq(0, 4100, kTamrelFlashBase, kKbModeArea1), 0) << "longer than a block";
  // A mode other than the three areas reads from base 0 and falls back to 0.
  gstNormalize.st.uwRecordLen = len;
  std::fill(b_.begin(), b_.end(), 77);
  EXPECT_EQ(GetFreqKb(0, b_.data(), 5), 0);
  EXPECT_EQ(b_, std::vector<uint16_t>(kNodes, 0));
  EXPECT_EQ(GetFreqKb(0, b_.data(), kKbModeArea1), 1);
  EXPECT_EQ(b_[3], 503);
  EXPECT_EQ(GetFreqKb(3, b_.data(), kKbModeArea1), 0) << "index beyond the table";
  EXPECT_EQ(b_[3], 503) << "left untouched";
}

TEST_F(SignalTest, SecondBAreaIsUsedOnlyWhileItEndsBeforeTheKArea) {
  for (uint8_t n : {5, 6}) {
    std::vector<uint16_t> freqs;
    for (uint8_t i = 0; i < n; ++i) freqs.push_back(static_cast<uint16_t>(1000 + 100 * i));
    frame_test::SetFreqTable(freqs);
    memset(gpubTamrelFlash, 0, kTamrelFlashBytes);
    memset(&gstNormalize, 0, sizeof(gstNormalize));
    gstNormalize.st.uwRecordLen = GetOneFreqLen();
    for (uint8_t f = 0; f < n; ++f) {
      PutArea1Record(f, 100, f);
      PutArea1Record(f, 200, n + f);  // area 2: blocks n .. 2n - 1
    }
    ASSERT_EQ(JudgeBarrayValid(), 1) << int(n);
    if (n == 5) {
      EXPECT_EQ(gstNormalize.st.ubDoubleBValid, 1) << "blocks 5-9 lie before the k area";
      EXPECT_EQ(GetFreqKb(4, b_.data(), kKbModeArea2), 1);
      EXPECT_EQ(b_[0], 200);
    } else {
      EXPECT_EQ(gstNormalize.st.ubDoubleBValid, 0) << "blocks 10 and 11 belong to the k area";
      EXPECT_EQ(gstNormalize.st.ubReStudyIndex, 0) << "no study may rewrite area 2";
      EXPECT_EQ(GetFreqKb(4, b_.data(), kKbModeArea2), 0);
      EXPECT_EQ(b_[0], 0);
    }
  }
}

TEST_F(SignalTest, PanelWhoseRecordsExceedAFlashBlockKeepsNormalisationOff) {
  Panel(52, 56);
  gstRawNormalizeCfg.aubData[0] = 0x05;
  NormalizeInit();
  EXPECT_EQ(gstNormalize.st.ubEnabled, 0);
  EXPECT_EQ(uint16_t{gstNormalize.st.uwRecordLen}, 0);
  EXPECT_EQ(JudgeArrayValidOneFreq(0, GetOneFreqLen(), kTamrelFlashBase, kKbModeArea1), 0);
  // Unit gain and no offset: the raw map passes unchanged.
  raw_.assign(raw_.size(), 1234);
  MutualRawDataNormalize(0);
  EXPECT_EQ(raw_, std::vector<uint16_t>(raw_.size(), 1234));
}

// ---- Frequency scan -------------------------------------------------------------------------

// Raw map of frequency F in this fixture: a per-frequency level plus a column pattern.
uint16_t ScanRaw(uint8_t f, uint32_t node) { return static_cast<uint16_t>(1000 + 50 * f + 3 * (node % kSen)); }

// Runs the scan app frame by frame; each frame carries the raw map of the current
// frequency, disturbed at frequency DISTURBED during the second visit.
uint32_t RunScan(std::vector<uint16_t>& raw, int disturbed) {
  gstApp.ubApp = kAppFreqScan;
  uint32_t frames = 0;
  while (frames < 64) {
    const uint8_t f = gstFreqHop.st.ubCurIndex;
    const bool disturb = f == disturbed && gstNormalize.st.ubScanPhase == 1 && gstNormalize.st.ubScanRunning == 1;
    for (uint32_t i = 0; i < kNodes; ++i) {
      raw[i] = ScanRaw(f, i);
      if (disturb && i % kSen == 2) raw[i] = static_cast<uint16_t>(raw[i] + 500);
    }
    AppExecute();
    ++frames;
    if (gstNormalize.st.ubScanRunning == 0) break;
  }
  return frames;
}

TEST_F(SignalTest, ScanAppWritesOneRecordPerFrequencyThatTheCheckAccepts) {
  for (uint8_t n : {3, 8}) {
    std::vector<uint16_t> freqs;
    for (uint8_t i = 0; i < n; ++i) freqs.push_back(static_cast<uint16_t>(1000 + 100 * i));
    frame_test::SetFreqTable(freqs);
    memset(gpubTamrelFlash, 0, kTamrelFlashBytes);
    memset(&gstNormalize, 0, sizeof(gstNormalize));
    gstNormalize.st.uwRecordLen = GetOneFreqLen();
    gstRawNormalizeCfg.aubData[2] = 0xD0;  // target level 2000
    gstRawNormalizeCfg.aubData[3] = 0x07;
    gstRawNormalizeCfg.aubData[4] = 50;  // revisit bound
    gstFreqHop.st.ubCurIndex = 0;
    gstFreqHop.st.uwCurFreq = freqs[0];
    for (uint32_t i = 0; i < kNodes; ++i) ref_[i] = ScanRaw(0, i);
    const uint32_t frames = RunScan(raw_, -1);
    EXPECT_EQ(frames, 3u * n + 1u) << int(n);
    EXPECT_EQ(gstNormalize.st.ubScanFail, 0) << int(n);
    EXPECT_EQ(uint16_t{gstNormalize.st.uwArea1WriteCnt}, 1) << int(n);
    EXPECT_EQ(uint16_t{gstFreqHop.st.uwCurFreq}, freqs[0]) << "back on the start frequency";
    for (uint8_t f = 0; f < n; ++f) {
      ASSERT_EQ(JudgeArrayValidOneFreq(f, gstNormalize.st.uwRecordLen, kTamrelFlashBase, kKbModeArea1), 1)
          << int(n) << " frequency " << int(f);
      ASSERT_EQ(GetFreqKb(f, b_.data(), kKbModeArea1), 1);
      for (uint32_t i = 0; i < kNodes; ++i) ASSERT_EQ(b_[i], 2000 - ScanRaw(f, i)) << int(f) << " node " << i;
    }
    EXPECT_EQ(gstNormalize.st.ubBValid, 1);
  }
}

TEST_F(SignalTest, ScanWhoseSecondVisitDiffersWritesNothingAndClearsB) {
  frame_test::SetFreqTable({1000, 1100, 1200});
  gstNormalize.st.uwRecordLen = GetOneFreqLen();
  gstRawNormalizeCfg.aubData[4] = 50;
  gstFreqHop.st.ubCurIndex = 0;
  gstFreqHop.st.uwCurFreq = 1000;
  for (uint32_t i = 0; i < kNodes; ++i) ref_[i] = ScanRaw(0, i);
  std::fill(b_.begin(), b_.end(), 9);
  const uint32_t frames = RunScan(raw_, 1);
  EXPECT_EQ(frames, 2u * 3u + 1u) << "ends with the last frame of the second visit";
  EXPECT_EQ(gstNormalize.st.aubScanMarks[1], 1);
  EXPECT_EQ(gstNormalize.st.ubScanFail, 1);
  EXPECT_EQ(b_, std::vector<uint16_t>(kNodes, 0));
  for (uint8_t f = 0; f < 3; ++f) {
    EXPECT_EQ(JudgeArrayValidOneFreq(f, gstNormalize.st.uwRecordLen, kTamrelFlashBase, kKbModeArea1), 0);
  }
}

// ---- Diff statistics and hole complement ----------------------------------------------------

TEST_F(SignalTest, DiffStatisticsPositionsAndTouchRule) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint32_t, int16_t>> nodes;  // diff values, the rest 0
    int16_t max, min;
    uint8_t maxRow, maxCol, minRow, minCol;
    uint8_t touch;
  } cases[] = {
      {"all zero", {}, 0, 0, 0, 0, 0, 0, 0},
      {"two equal maxima: the first wins", {{7, 80}, {15, 80}, {20, -30}}, 80, -30, 1, 1, 3, 2, 0},
      {"max exactly at the threshold", {{5, 100}}, 100, 0, 0, 5, 0, 0, 1},
      {"min exactly minus twice the threshold", {{23, -200}}, 0, -200, 0, 0, 3, 5, 1},
      {"min just above", {{23, -199}}, 0, -199, 0, 0, 3, 5, 0},
  };
  for (const Case& c : cases) {
    std::fill(ref_.begin(), ref_.end(), 1000);
    std::fill(rawForDiff_.begin(), rawForDiff_.end(), 1000);
    for (auto [at, v] : c.nodes) rawForDiff_[at] = static_cast<uint16_t>(1000 - v);  // diff = ref - raw
    gstCommon.ubTouchPresent = 0;
    GetDiff();
    DenoiseDiff();
    DiffDataStateAcquire();
    EXPECT_EQ(int16_t{gstCommon.swDiffMax}, c.max) << c.name;
    EXPECT_EQ(int16_t{gstCommon.swDiffMin}, c.min) << c.name;
    EXPECT_EQ(gstCommon.ubMaxRow, c.maxRow) << c.name;
    EXPECT_EQ(gstCommon.ubMaxCol, c.maxCol) << c.name;
    EXPECT_EQ(gstCommon.ubMinRow, c.minRow) << c.name;
    EXPECT_EQ(gstCommon.ubMinCol, c.minCol) << c.name;
    EXPECT_EQ(gstCommon.ubTouchPresent, c.touch) << c.name;
    EXPECT_EQ(uint16_t{gstCommon.uwAbsPeak}, std::max<int>(c.max, -c.min)) << c.name;
  }
}

TEST_F(SignalTest, HoleComplementFromOutsideNeighbours) {
  // A 4 x 6 map, touch threshold 50; the hole is rows 1-2, columns 2-3 (strong neighbours
  // from 60). Node (1, 2) sees above 120 and left 60, both strong: a = 2 * 180 / (4 - 2) =
  // 180, within 2 * 120. Node (1, 3) sees above 90 and right 90: a = 360 / 2 = 180. Nodes
  // (2, 2) and (2, 3) are below the touch threshold with a weak neighbour (left 40, below 5):
  // kept. Inner nodes would have no neighbour from outside the hole.
  struct Case {
    const char* name;
    uint8_t flags, firstRow, lastRow, firstCol, lastCol;
    int16_t want12, want13, want22, want23;
  } cases[] = {
      {"hole inside the map", 0x01, 1, 2, 2, 3, 180, 180, 10, 10},
      {"quarter of the node added", 0x03, 1, 2, 2, 3, 182, 182, 10, 10},
      {"disabled", 0x00, 1, 2, 2, 3, 10, 10, 10, 10},
      {"last row past the map", 0x01, 1, 4, 2, 3, 10, 10, 10, 10},
  };
  gstCommon.swTouchThreshold = 50;
  for (const Case& c : cases) {
    const std::vector<int16_t> m = {
        0, 0,  120, 90, 0,  0,  //
        0, 60, 10,  10, 90, 0,  //
        0, 40, 10,  10, 20, 0,  //
        0, 0,  300, 5,  0,  0,  //
    };
    diff_.assign(m.begin(), m.end());
    gstCompleteHoleCfg.aubData[0] = c.flags;
    gstCompleteHoleCfg.aubData[1] = c.firstRow;
    gstCompleteHoleCfg.aubData[2] = c.lastRow;
    gstCompleteHoleCfg.aubData[3] = c.firstCol;
    gstCompleteHoleCfg.aubData[4] = c.lastCol;
    gstCommon.ubDiffModified = 0;
    ComplementDiff();
    EXPECT_EQ(diff_[1 * kSen + 2], c.want12) << c.name;
    EXPECT_EQ(diff_[1 * kSen + 3], c.want13) << c.name;
    EXPECT_EQ(diff_[2 * kSen + 2], c.want22) << c.name;
    EXPECT_EQ(diff_[2 * kSen + 3], c.want23) << c.name;
    EXPECT_EQ(gstCommon.ubDiffModified, c.want12 != 10 ? 1 : 0) << c.name;
  }
}

// ---- Raw-data filters ------------------------------------------------------------------------

TEST_F(SignalTest, RawIirSeedsBlendsAndPassesThrough) {
  gstRawdataDenoiseCfg.aubData[0] = 0x02;
  gstCommon.ubPowerOnRefReady = 1;
  RawDataIirInit();
  std::fill(raw_.begin(), raw_.end(), 1000);
  RawDataIirFilter();
  EXPECT_EQ(rawForDiff_, raw_) << "the first frame seeds the filter";
  struct Case {
    uint8_t weight;
    uint16_t want;  // previous output 1000, raw 2000
  } cases[] = {{0, 2000}, {64, 1500}, {96, 1250}, {128, 1000}, {255, 2000}};
  for (const Case& c : cases) {
    std::fill(rawForDiff_.begin(), rawForDiff_.end(), 1000);
    std::fill(raw_.begin(), raw_.end(), 2000);
    gstRawdataDenoiseCfg.aubData[1] = c.weight;
    RawDataIirFilter();
    EXPECT_EQ(rawForDiff_, std::vector<uint16_t>(kNodes, c.want)) << int(c.weight);
  }
  gstRawdataDenoiseCfg.aubData[0] = 0;  // filter off: the output still tracks the raw map
  raw_[5] = 777;
  RawDataIirFilter();
  EXPECT_EQ(rawForDiff_, raw_);
}

TEST_F(SignalTest, GaussianFiltersSmoothInPlace) {
  gstRawdataDenoiseCfg.aubData[0] = 0x01;
  std::fill(raw_.begin(), raw_.end(), 0);
  raw_[1 * kSen + 2] = 640;  // one peak
  for (uint32_t i = 0; i < selfRaw_.size(); ++i) selfRaw_[i] = static_cast<uint16_t>(i == 1 ? 160 : 0);
  selfRaw_[kDrv + 2] = 160;
  RawdataDenoise();
  // 4 8 4 / 8 16 8 / 4 8 4 over 64: the peak keeps a quarter, its edge neighbours an
  // eighth, the diagonal ones a sixteenth.
  EXPECT_EQ(raw_[1 * kSen + 2], 160);
  EXPECT_EQ(raw_[0 * kSen + 2], 80);
  EXPECT_EQ(raw_[1 * kSen + 3], 80);
  EXPECT_EQ(raw_[2 * kSen + 3], 40);
  EXPECT_EQ(raw_[3 * kSen + 5], 0);
  // Self: drive segment {0, 160, 0, 0}, sense segment {0, 0, 160, 0, 0, 0}, filtered apart.
  EXPECT_EQ(selfRaw_, (std::vector<uint16_t>{40, 80, 40, 0, 0, 40, 80, 40, 0, 0}));
}

// ---- Channel disconnect ----------------------------------------------------------------------

TEST_F(SignalTest, DisconnectCheckReportsIsolatedWeakRowsOnly) {
  struct Case {
    const char* name;
    std::vector<uint8_t> weakRows;
    uint8_t ratio;
    std::vector<uint8_t> listed;  // the rows left in the list (255 = withdrawn)
    uint8_t count;
  } cases[] = {
      {"one weak row", {1}, 4, {1}, 1},
      {"two adjacent weak rows", {1, 2}, 4, {255}, 0},
      {"weak last row after a weak row", {2, 3}, 4, {255}, 0},
      {"first row and a separate one", {0, 2}, 4, {0, 2}, 2},
      {"ratio 0 changes nothing", {1}, 0, {}, 9},
  };
  for (const Case& c : cases) {
    std::vector<uint16_t> map(kNodes, 1000);
    for (uint8_t r : c.weakRows)
      for (uint32_t s = 0; s < kSen; ++s) map[r * kSen + s] = 300;
    memset(&gstChannelDisconnect, 0, sizeof(gstChannelDisconnect));
    gstChannelDisconnect.ubRowCount = 9;
    DisconnectCheckInput in{map.data(), static_cast<uint16_t>(kNodes), 100, c.ratio, kDrv, kSen, 0, 0};
    DisconnectCheckProc(0, &in);
    EXPECT_EQ(gstChannelDisconnect.ubRowCount, c.count) << c.name;
    for (size_t i = 0; i < c.listed.size(); ++i) EXPECT_EQ(gstChannelDisconnect.aubRows[i], c.listed[i]) << c.name;
    EXPECT_EQ(in.ubFound, c.count != 0 && c.count != 9 ? 1 : 0) << c.name;
  }
}

// ---- Frequency hopping ----------------------------------------------------------------------

// IM rows: the frequencies' swing (x[k] - x[k + 3]) and mean come from LEVEL and SWING.
void ImRows(std::vector<uint16_t>& im, const std::vector<std::pair<uint16_t, uint16_t>>& rows) {
  for (size_t f = 0; f < rows.size(); ++f)
    for (uint32_t k = 0; k < kSen; ++k)
      im[f * kSen + k] = static_cast<uint16_t>(rows[f].first + ((k % 2) != 0 ? rows[f].second : 0));
}

TEST_F(SignalTest, HoppingChoosesTheQuietestConfiguredFrequency) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint16_t, uint16_t>> rows;  // {level, swing} per frequency
    uint8_t want;                                      // index switched to; 255 = none
  } cases[] = {
      // Frequency 1 is held back at 65535 whatever its noise: the quieter of the others wins.
      {"frequency 1 quietest", {{100, 3000}, {100, 0}, {100, 300}}, 2},
      {"frequency 2 quietest", {{100, 3000}, {100, 300}, {100, 0}}, 2},
      {"current frequency quiet", {{100, 0}, {100, 3000}, {100, 300}}, 255},
      // A loud mean level on frequency 1 adds its penalty without wrapping to a small metric.
      {"loud level on frequency 1", {{100, 3000}, {3000, 0}, {100, 0}}, 2},
  };
  gstThpAfeMoudleCfg.uiAfeWord = 0x400;
  gstFreqHopCfg.aubData[21] = 10;
  gstFreqHopCfg.aubData[22] = 10;
  gstFreqHopCfg.aubData[59] = 0x60;  // mean-level ceiling 60000
  gstFreqHopCfg.aubData[60] = 0xEA;
  for (const Case& c : cases) {
    memset(&gstHopResultNcln, 0, sizeof(gstHopResultNcln));  // start on frequency 0
    FreqHopInit();
    ImRows(im_, c.rows);
    TakePackets();
    gstApp.ubFlags = 0;
    gstCommon.ubFrameSkipped = 0;
    NoiseRawdataProc();
    FreqHoppingProc();
    const std::vector<Bytes> p = TakePackets();
    if (c.want == 255) {
      EXPECT_TRUE(p.empty()) << c.name;
      EXPECT_EQ(gstCommon.ubFrameSkipped, 0) << c.name;
      continue;
    }
    ASSERT_EQ(p.size(), 1u) << c.name;
    EXPECT_EQ(p[0][3], 0x9C) << c.name;
    EXPECT_EQ(p[0][4], c.want) << c.name;
    EXPECT_EQ(gstFreqHop.st.ubCurIndex, c.want) << c.name;
    EXPECT_EQ(gstCommon.ubFrameSkipped, 1) << c.name;
    EXPECT_NE(gstApp.ubFlags & kAppFlagStop, 0) << c.name;
  }
}

}  // namespace

namespace {

// The frame-variable record carries the noise records right after the hopping record:
// light mode, IM statistics, LCD high noise, duration, sampling backup, noise type.
TEST_F(SignalTest, FrameVariableRecordCarriesTheNoiseRecordsInOrder) {
  constexpr uint32_t kHopEnd = 62 + 1 + 3 * 24 + 17 + 24 + 64;
  gstLightModeNcln = {0x5A, 0, 1};
  gstImGlobal.uwSmoothed = 0x1234;
  gstLcdHighNoise.uwHold = 0x0BCD;
  FillFrameGlobalVarRcrd();
  EXPECT_EQ(gstGlobalVarRcrd[kHopEnd], 0x5A);
  EXPECT_EQ(gstGlobalVarRcrd[kHopEnd + 2], 1);
  const uint32_t im = kHopEnd + sizeof(LightModeRec);
  EXPECT_EQ(gstGlobalVarRcrd[im + 42] | (gstGlobalVarRcrd[im + 43] << 8), 0x1234);
  const uint32_t lcd = im + sizeof(ImGlobalRec);
  EXPECT_EQ(gstGlobalVarRcrd[lcd + 60] | (gstGlobalVarRcrd[lcd + 61] << 8), 0x0BCD);
}

}  // namespace

namespace {

// ---- Customer hooks and noise details --------------------------------------------------------

TEST_F(SignalTest, ImFrequencyListStepsAroundTheFirstFiveFrequencies) {
  frame_test::SetFreqTable({100, 1000, 2000, 3000, 4000});
  CustomerFuncInit();  // step 0 in the configuration: 262
  EXPECT_EQ(gpuwImFreqList[0], static_cast<uint16_t>(100 - 262)) << "wraps in 16 bits";
  EXPECT_EQ(gpuwImFreqList[1], 100);
  EXPECT_EQ(gpuwImFreqList[5], 1262);
  EXPECT_EQ(gpuwImFreqList[14], 4262);
  gstFreqHopCfg.aubData[61] = 50;
  SampleImFreqSet();
  EXPECT_EQ(gpuwImFreqList[3], 950);
  EXPECT_EQ(gemDftState, 2);
}

TEST_F(SignalTest, NfExitNeedsFiveConsecutivePassingFrames) {
  gstNoiseNfProcCfg.aubData[0] = 0x02;
  gstNoiseNfProcCfg.aubData[kNfExitMaskPos] = 0x01;
  gstNoiseNfProcCfg.aubData[kNfExitImThrPos] = 10;
  gstNoiseNfProcCfg.aubData[kNfExitCountPos] = 2;
  gstFreqHop.st.ubCurIndex = 0;
  gstImGlobal = {};
  gstImGlobal.uwMaxCombined = 11;
  gstNfNoiseProc.st.ubActive = 1;
  gstNfExit = {};
  for (int i = 0; i < 4; ++i) ExitNfModeJudgeCustom();
  EXPECT_EQ(gstNfExit.ubFlag, 0);
  gstImGlobal.auwImMax[1] = 51;  // one compared IM value 51 above its reference: fails
  ExitNfModeJudgeCustom();
  EXPECT_EQ(gstNfExit.ubCounter, 0);
  gstImGlobal.auwImMax[1] = 50;
  for (int i = 0; i < 5; ++i) ExitNfModeJudgeCustom();
  EXPECT_EQ(gstNfExit.ubFlag, 1);
}

TEST_F(SignalTest, LcdHighNoiseCountsRowsOnlyAboveThePeakBound) {
  gstLcdHighNoiseCfg.aubData[0] = 0x01;
  memset(&gstLcdHighNoise, 0, sizeof(gstLcdHighNoise));
  memset(&gstAdcSatCnt, 0, sizeof(gstAdcSatCnt));
  for (uint16_t peak : {1000, 1001}) {
    std::fill(diff_.begin(), diff_.end(), static_cast<int16_t>(-1001));
    gstMutualOfsCancel.uwPeak = peak;
    LcdHighNoiseProc();
    EXPECT_EQ(gstLcdHighNoise.ubRowCount, peak == 1000 ? 0 : kDrv) << peak;
  }
  // Disabled: nothing of the state changes.
  gstLcdHighNoiseCfg.aubData[0] = 0;
  gstCommon.scLcdNoiseState = 5;
  gstLcdHighNoise.ubHandleReq = 1;
  LcdHighNoiseProc();
  EXPECT_EQ(gstCommon.scLcdNoiseState, 5);
  EXPECT_EQ(gstLcdHighNoise.ubHandleReq, 1);
  EXPECT_EQ(gstLcdHighNoise.ubRowCount, kDrv);
}

TEST_F(SignalTest, TopTwoTakesTheFirstMaxima) {
  uint8_t lines[4] = {10, 11, 12, 13};
  uint16_t levels[4] = {5, 9, 9, 2};
  GetTopTwoRx(lines, levels, 4);
  EXPECT_EQ(gstNoiseRxShake.ubTopLine1, 11);
  EXPECT_EQ(gstNoiseRxShake.ubTopLine2, 12);
  EXPECT_EQ(lines[0], 11);
  EXPECT_EQ(levels[1], 9);
}

TEST_F(SignalTest, DriveSmoothingAndFingerprintCoverage) {
  gstCommon.ubWhiteNoiseResult = 1;
  for (uint32_t i = 0; i < kNodes; ++i) diff_[i] = static_cast<int16_t>((i / kSen) % 2 == 0 ? 0 : 100);
  gstCommon.ubDiffModified = 0;
  NoiseDiffDrvSmooth();
  EXPECT_EQ(gstCommon.ubDiffModified, 1);
  // Rows 0 100 0 100 down each column: row 1 = (0 + 200 + 0) / 4, row 2 = (100 + 0 + 100) / 4.
  EXPECT_EQ(diff_[1 * kSen + 3], 50);
  EXPECT_EQ(diff_[2 * kSen + 3], 50);
  EXPECT_EQ(diff_[0 * kSen + 3], 0);
  EXPECT_EQ(diff_[3 * kSen + 3], 100);

  gstFingerPrintCfg.aubData[0] = 0x01;
  gstFingerPrintCfg.aubData[21] = 60;
  const uint8_t rect[4] = {1, 2, 2, 4};  // rows 1-2, columns 2-4: six nodes, all 50
  memcpy(gstCommon.aubFpRect, rect, 4);
  gstCommon.ubFpAreaThreshold = 3;
  JudgeFpTouchState();
  EXPECT_EQ(gstCommon.ubFpNodeCount, 0);
  gstFingerPrintCfg.aubData[21] = 50;
  JudgeFpTouchState();
  EXPECT_EQ(gstCommon.ubFpNodeCount, 6);
  EXPECT_EQ(gstCommon.ubFpCovered, 1);
  const uint8_t inverted[4] = {2, 1, 2, 4};
  memcpy(gstCommon.aubFpRect, inverted, 4);
  gstCommon.ubFpAreaThreshold = 0;
  JudgeFpTouchState();
  EXPECT_EQ(gstCommon.ubFpNodeCount, 0);
  EXPECT_EQ(gstCommon.ubFpCovered, 1) << "an area threshold of 0 is always covered";
}

// A large fingerprint area: the node count and its double stop at 255 instead of
// wrapping, so a fully covered 16 x 16 area reads covered and a half one half-covered.
TEST_F(SignalTest, FingerprintCoverageCountSaturates) {
  Panel(16, 16);
  gstFingerPrintCfg.aubData[0] = 0x01;
  gstFingerPrintCfg.aubData[21] = 50;
  const uint8_t rect[4] = {0, 15, 0, 15};
  memcpy(gstCommon.aubFpRect, rect, 4);
  gstCommon.ubFpAreaThreshold = 200;
  struct Case {
    uint32_t touched;  // nodes of the area at the threshold, in row order
    uint8_t count, covered, half;
  } cases[] = {
      {256, 255, 1, 1},
      {255, 255, 1, 1},
      {199, 199, 0, 1},
      {130, 130, 0, 1},  // 2 x 130 does not fold to 4
      {99, 99, 0, 0},
  };
  for (const Case& c : cases) {
    for (uint32_t i = 0; i < 256; ++i) diff_[i] = static_cast<int16_t>(i < c.touched ? 50 : 49);
    JudgeFpTouchState();
    EXPECT_EQ(gstCommon.ubFpNodeCount, c.count) << c.touched;
    EXPECT_EQ(gstCommon.ubFpCovered, c.covered) << c.touched;
    EXPECT_EQ(gstCommon.ubFpHalfCovered, c.half) << c.touched;
  }
}

}  // namespace

namespace {

// Without a valid B array and with a quiet panel, the normalisation check asks the
// controller to study B array 0 and opens the study.
TEST_F(SignalTest, NormalisationCheckAsksForAStudyWhenBIsMissing) {
  gstKBBakSta.st.uiTestState = 12;  // the k/b test lets the check proceed
  gstCommon.ubNormalizeCheckEn = 1;
  gstRawNormalizeCfg.aubData[0] = 0x01;
  NormalizeFields& n = gstNormalize.st;
  n.ubEnabled = 1;
  n.ubBValid = 0;
  n.ubRestudyNeeded = 1;
  n.ubStudyBudget = 10;
  n.ubCheckState = 5;
  gubNormReleaseHold = 1;
  gstStateMachine.ullRequest = 0;
  NormalizeCheck();
  const std::vector<Bytes> p = TakePackets();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0], (Bytes{0x00, 0x00, 0x05, 0xEE, 0x00, 0xF3, 0x00}));
  EXPECT_EQ(n.ubStudyInProgress, 1);
  EXPECT_EQ(n.ubStudyBudget, 9);
  EXPECT_EQ(uint32_t{gstKBBakSta.st.uiTestState}, 2u);
  EXPECT_NE(gstStateMachine.ullRequest & kReqStudyStart, 0u);
  EXPECT_EQ(gstNormalizeOutput.ubBValid, 0);
  // A study in progress is not asked for again.
  NormalizeCheck();
  EXPECT_TRUE(TakePackets().empty());
  gubNormReleaseHold = 0;
}

}  // namespace

namespace {

TEST_F(SignalTest, SwitchFallsBackToEntryZeroAndHonoursTheLock) {
  frame_test::SetFreqTable({1000, 1500, 2000});
  gstFreqHopCfg.aubData[42 + 2 * 2] = 0;  // entry 2 has no second value: unusable
  FreqHopInit();
  TakePackets();
  SetNewFrequence(1500);
  EXPECT_EQ(gstFreqHop.st.ubCurIndex, 1);
  EXPECT_EQ(uint16_t{gstMutualCfgBak.uwFreq}, 1500);
  SetNewFrequence(2000);
  EXPECT_EQ(gstFreqHop.st.ubCurIndex, 0) << "entry 2 is unusable";
  EXPECT_EQ(uint16_t{gstFreqHop.st.uwCurFreq}, 1000);
  EXPECT_EQ(gstFreqHop.st.ubPrevIndex, 1);
  gstFreqHop.st.ubLock = 1;
  SetNewFrequence(1500);
  EXPECT_EQ(gstFreqHop.st.ubCurIndex, 0) << "the lock keeps the frequency";
  EXPECT_EQ(uint16_t{gstHopResultNcln.auwWord[1]}, 1000);
  const std::vector<Bytes> p = TakePackets();
  ASSERT_EQ(p.size(), 2u) << "one switch command per unlocked switch";
  EXPECT_EQ(p[0][4], 1);
  EXPECT_EQ(p[1][4], 0);
  // The kept hop result checks itself: the negated sum of its first four words.
  uint16_t sum = 0;
  for (uint16_t w : gstHopResultNcln.auwWord) sum = static_cast<uint16_t>(sum + w);
  EXPECT_EQ(static_cast<uint16_t>(sum + gstHopResultNcln.uwCheck), 0);
  gstFreqHop.st.ubLock = 0;
}

TEST_F(SignalTest, RxJitterListsStayEmptyWhileNoShakeDataIsReady) {
  NoiseProcInit();
  memset(gstRxNoiseInfo.aubData, 0x40, sizeof(gstRxNoiseInfo.aubData));
  GetRxJitter();
  JitterTestProc();
  for (uint32_t i = 0; i < kSen; ++i) {
    EXPECT_EQ(gpubShakeRxList[i], 255) << i;
    EXPECT_EQ(gpuwNoiseList[i], 255) << i;
  }
  EXPECT_NE(gstStateMachine.ullRequest & 0x40000000u, 0u) << "the jitter sample still reports done";
}

}  // namespace

namespace {

// The reference error of the customer layer compares the reference's screen constant, as
// the mutual reference update leaves it in the reference output, with 3/2 of the current
// frequency's B value, capped by the configured limit.
TEST_F(SignalTest, ReferenceErrorComparesTheScreenConstantWithTheBValue) {
  gstRawNormalizeCfg.aubData[10] = 50;
  gstFreqHop.st.ubCurIndex = 1;
  gstNormalize.st.auwSv1Area1[1] = 100;  // limit 150
  struct Case {
    uint16_t cap;
    uint32_t refSum;
    int16_t value;
    uint8_t want;
  } cases[] = {
      {0, 150, 10, 0}, {0, 151, 10, 1}, {120, 119, 10, 0}, {120, 120, 10, 1}, {0, 0, 51, 1}, {0, 0, 50, 0},
  };
  for (const Case& c : cases) {
    gstRawNormalizeCfg.aubData[6] = static_cast<uint8_t>(c.cap);
    gstRawNormalizeCfg.aubData[7] = static_cast<uint8_t>(c.cap >> 8);
    gstRefdataOutput.uiRefSum = c.refSum;
    EXPECT_EQ(GetRefAndBarrayErrSta(c.value), c.want) << c.cap << " " << c.refSum << " " << c.value;
  }
  gstRefdataOutput.uiRefSum = 0;
}

}  // namespace

namespace {

// The NF hold, once entered, counts down only in frames that report points (the
// coordinate output's point count); NF noise is active while it counts, and a hold run
// out clears it. A frame without points leaves hold and state as they were.
TEST_F(SignalTest, NfHoldCountsDownOnlyInFramesWithPoints) {
  // No LCD hold and no saturation: nothing else keeps NF noise from entering.
  memset(&gstLcdHighNoise, 0, sizeof(gstLcdHighNoise));
  memset(&gstLcdHighNoiseCfg, 0, sizeof(gstLcdHighNoiseCfg));
  memset(&gstAdcSatCnt, 0, sizeof(gstAdcSatCnt));
  memset(&gstNoiseNfProcCfg, 0, sizeof(gstNoiseNfProcCfg));
  gstNoiseNfProcCfg.aubData[0] = 0x01;
  gstNoiseNfProcCfg.aubData[1] = 0x01;  // NF frequency set: frequency 0
  gstNoiseNfProcCfg.aubData[10] = 3;    // hold of three frames
  NoiseNfProcInit();
  ASSERT_EQ(gstNfNoiseProc.st.ubHoldLen, 3);
  gstNfNoiseProc.st.ubForcedEntry = 1;  // as a power-on after NF noise was held
  gstCommon.ubPowerOnRefReady = 1;
  gstImGlobal = {};
  guiNfPowerOnCheckNcln = 0;
  struct Frame {
    uint8_t points;
    uint8_t hold, active;
  } frames[] = {
      {0, 3, 0},  // entered; no points: the hold waits
      {1, 2, 1}, {0, 2, 1}, {2, 1, 1}, {1, 0, 1},
      {1, 0, 0},  // run out
  };
  int n = 0;
  for (const Frame& f : frames) {
    gstCoordComOutput.ubPointNum = f.points;
    NFnoiseJudge();
    EXPECT_EQ(gstNfNoiseProc.st.ubHold, f.hold) << "frame " << n;
    EXPECT_EQ(gstNfNoiseProc.st.ubActive, f.active) << "frame " << n;
    EXPECT_EQ(gstCommon.ubNfNoiseResult, f.active) << "frame " << n;
    ++n;
  }
  EXPECT_EQ(guiNfPowerOnCheckNcln, 0x11223344u);
  gstCoordComOutput.ubPointNum = 0;
  memset(&gstNoiseNfProcCfg, 0, sizeof(gstNoiseNfProcCfg));
  memset(&gstNfNoiseProc, 0, sizeof(gstNfNoiseProc));
  guiNfPowerOnCheckNcln = 0;
}

}  // namespace

namespace {

// NF noise under way asks for a noise duration while the current frequency is in the
// duration mask and the AFE word allows it; where it does not, a pending NF duration is
// left (kind 0, code 6), and a pending white-noise duration is not NF's to leave.
TEST_F(SignalTest, NfDurationIsRequestedWhereAllowedAndLeftWhereNot) {
  memset(&gstLcdHighNoise, 0, sizeof(gstLcdHighNoise));
  memset(&gstLcdHighNoiseCfg, 0, sizeof(gstLcdHighNoiseCfg));
  memset(&gstAdcSatCnt, 0, sizeof(gstAdcSatCnt));
  memset(&gstNoiseNfProcCfg, 0, sizeof(gstNoiseNfProcCfg));
  gstNoiseNfProcCfg.aubData[0] = 0x01 | 0x04 | 0x40;  // on, durations, NF forced
  gstNoiseNfProcCfg.aubData[1] = 0x01;               // NF frequency set: frequency 0
  struct Case {
    const char* what;
    uint8_t mask;
    uint32_t afe;
    uint8_t kindBefore, codeBefore, kind, code;
  } cases[] = {
      {"allowed: requested", 0x01, 0x400, 0, 0, 1, 5},
      {"allowed and pending: kept", 0x01, 0x400, 1, 0, 1, 0},
      {"outside the duration mask: left", 0x02, 0x400, 1, 0, 0, 6},
      {"AFE word without the bit: left", 0x01, 0, 1, 0, 0, 6},
      {"a pending white-noise duration stays", 0x02, 0x400, 2, 0, 2, 0},
  };
  for (const Case& c : cases) {
    NoiseNfProcInit();
    gstFreqHop.st.ubCurIndex = 0;
    gstNoiseDurationCfg.aubData[1] = c.mask;
    gstThpAfeMoudleCfg.uiAfeWord = c.afe;
    gstDurationXdata.ubKind = c.kindBefore;
    gstDurationXdata.ubCode = c.codeBefore;
    gstCoordComOutput.ubPointNum = 1;
    NFnoiseJudge();
    EXPECT_EQ(gstNfNoiseProc.st.ubActive, 1) << c.what;
    EXPECT_EQ(gstDurationXdata.ubKind, c.kind) << c.what;
    EXPECT_EQ(gstDurationXdata.ubCode, c.code) << c.what;
  }
  gstCoordComOutput.ubPointNum = 0;
  memset(&gstNoiseNfProcCfg, 0, sizeof(gstNoiseNfProcCfg));
  memset(&gstNfNoiseProc, 0, sizeof(gstNfNoiseProc));
  memset(&gstNoiseDurationCfg, 0, sizeof(gstNoiseDurationCfg));
  memset(&gstDurationXdata, 0, sizeof(gstDurationXdata));
  gstThpAfeMoudleCfg.uiAfeWord = 0;
  guiNfPowerOnCheckNcln = 0;
}

}  // namespace

namespace {

// The frame's noise type from the smoothed IM level, the saturation counts, the charger and
// the combined IM level, with the noise configuration's bounds (8 x the configured bytes).
TEST_F(SignalTest, NoiseTypeFollowsTheImLevelsAndTheCharger) {
  memset(&gstNoiseProcessCfg, 0, sizeof(gstNoiseProcessCfg));
  memset(&gstNoiseNfProcCfg, 0, sizeof(gstNoiseNfProcCfg));
  memset(&gstLcdHighNoise, 0, sizeof(gstLcdHighNoise));
  memset(&gstDurationXdata, 0, sizeof(gstDurationXdata));
  uint8_t* c = gstNoiseProcessCfg.aubData;
  c[0] = 1;
  c[1] = 10;   // 80: top of type 0
  c[2] = 20;   // 160: top of type 1
  c[4] = 12;   // 96: top of type 4 with a charger
  c[5] = 25;   // 200: top of type 5
  c[10] = 100; // saturation limit
  NoiseProcInit();
  struct Case {
    const char* what;
    uint16_t smoothed, combined, sat0;
    uint8_t charger, water, type;
  } cases[] = {
      {"quiet", 80, 0, 0, 0, 0, 0},
      {"low", 81, 0, 0, 0, 0, 1},
      {"high", 161, 0, 0, 0, 0, 2},
      {"charger quiet", 96, 0, 0, 1, 0, 4},
      {"charger low", 97, 0, 0, 1, 0, 5},
      {"charger high", 201, 0, 0, 1, 0, 6},
      {"above the second IM bound", 1001, 0, 0, 0, 0, 11},
      {"saturation above the limit", 10, 0, 101, 0, 0, 9},
      {"saturation at the limit", 10, 0, 100, 0, 0, 0},
      {"quiet with a loud combined level", 10, 501, 0, 0, 0, 8},
      {"charger quiet with a loud combined level", 10, 501, 0, 1, 0, 8},
      {"the same on a wet panel", 10, 501, 0, 0, 1, 0},
  };
  for (const Case& k : cases) {
    gstImGlobal = {};
    gstImGlobal.uwBoundL2 = 1000;
    gstImGlobal.uwBoundL1 = 500;
    gstImGlobal.uwSmoothed = k.smoothed;
    gstImGlobal.uwCurCombined = k.combined;
    memset(&gstAdcSatCnt, 0, sizeof(gstAdcSatCnt));
    memcpy(&gstAdcSatCnt, &k.sat0, sizeof(k.sat0));
    gstCommon.ubChargerFlag = k.charger;
    gstCommon.ubWaterFlag = k.water;
    NoiseTypeDetectProc();
    EXPECT_EQ(gstCommon.ubNoiseType, k.type) << k.what;
    EXPECT_EQ(gstCommon.uwNoiseTypeMask, 1u << k.type) << k.what;
  }
  memset(&gstNoiseProcessCfg, 0, sizeof(gstNoiseProcessCfg));
  memset(&gstAdcSatCnt, 0, sizeof(gstAdcSatCnt));
  NoiseProcInit();
}

}  // namespace

namespace {

// A duration request (code 5) enters: command 0x86 with 1, and a controller copy still at
// the frequency's own second value is scaled up by the shift (its nibble down). A leave
// request (code 6) undoes both and sends 0x86 with 0; the request code is consumed.
TEST_F(SignalTest, NoiseDurationEntersAndLeavesWithTheControllerCopy) {
  memset(&gstNoiseDurationCfg, 0, sizeof(gstNoiseDurationCfg));
  gstNoiseDurationCfg.aubData[0] = 0x01 | 0x02 | 0x08;  // on, shift 2, suspend hopping
  gstNoiseDurationCfg.aubData[1] = 0x01;
  NoiseDurationProcInit();
  gstFreqHop.st.ubCurIndex = 0;
  gstFreqHop.st.ubSuspended = 0;
  gstMutualCfgBak.uwFreqWord = 100;  // the configured second value of frequency 0
  gstMutualCfgBak.ubOptHigh = 8;
  TakePackets();
  gstDurationXdata.ubCode = 5;
  NoiseDurationPostProcess();
  std::vector<Bytes> p = TakePackets();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0][3], 0x86);
  EXPECT_EQ(p[0][4], 1);
  EXPECT_EQ(gstMutualCfgBak.uwFreqWord, 400);
  EXPECT_EQ(gstMutualCfgBak.ubOptHigh, 6);
  EXPECT_EQ(gstFreqHop.st.ubSuspended & 0x02, 0x02) << "hopping waits while the duration lasts";
  EXPECT_EQ(gstCommon.ubDurationA, 1);
  EXPECT_EQ(gstCommon.ubDurationB, 1);
  EXPECT_EQ(gstDurationXdata.ubCode, 0);

  NoiseDurationPostProcess();  // nothing asked: nothing sent
  EXPECT_TRUE(TakePackets().empty());

  gstDurationXdata.ubCode = 6;
  NoiseDurationPostProcess();
  p = TakePackets();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0][3], 0x86);
  EXPECT_EQ(p[0][4], 0);
  EXPECT_EQ(gstMutualCfgBak.uwFreqWord, 100);
  EXPECT_EQ(gstMutualCfgBak.ubOptHigh, 8);
  EXPECT_EQ(gstFreqHop.st.ubSuspended & 0x02, 0);
  EXPECT_EQ(gstCommon.ubDurationA, 0);
  EXPECT_EQ(gstCommon.ubDurationB, 0);
  memset(&gstNoiseDurationCfg, 0, sizeof(gstNoiseDurationCfg));
  NoiseDurationProcInit();
}

}  // namespace

namespace {

// White noise counts frames whose quietest noise peak lies above the configured bound (one
// step, two once active) and, under a touch, counts quiet frames back down; it is active
// above the configured count and ends when the count is back at 0. Quiet frames without a
// touch leave the count.
TEST_F(SignalTest, WhiteNoiseCountsUpAndUnderATouchDown) {
  memset(&gstNoiseNfProcCfg, 0, sizeof(gstNoiseNfProcCfg));
  uint8_t* c = gstNoiseNfProcCfg.aubData;
  c[0] = 0x20;
  c[12] = 50;  // peak bound
  c[13] = 3;   // active above 3
  NoiseNfProcInit();
  memset(gstFreqHop.st.auwMetric, 0, sizeof(gstFreqHop.st.auwMetric));
  struct Frame {
    uint16_t minPeak;
    uint8_t touches;
    uint8_t count, active;
  } frames[] = {
      {100, 0, 1, 0}, {100, 0, 2, 0}, {51, 1, 3, 0}, {100, 0, 4, 1},  // active above 3
      {100, 0, 6, 1},                                                  // two steps while active
      {10, 0, 6, 1},                                                   // quiet, no touch: kept
      {50, 1, 5, 1},  {10, 1, 4, 1}, {10, 1, 3, 1}, {10, 1, 2, 1}, {10, 1, 1, 1},
      {10, 1, 0, 0},  // back at 0: over
  };
  int n = 0;
  for (const Frame& f : frames) {
    gstFreqHop.st.uwMinPeak = f.minPeak;
    gstCommon.ubTouchCount = f.touches;
    WhiteNoiseJudge();
    EXPECT_EQ(gstNfNoiseProc.st.ubWhiteCnt, f.count) << "frame " << n;
    EXPECT_EQ(gstNfNoiseProc.st.ubWhiteActive, f.active) << "frame " << n;
    EXPECT_EQ(gstCommon.ubWhiteNoiseResult, f.active) << "frame " << n;
    ++n;
  }
  memset(&gstNoiseNfProcCfg, 0, sizeof(gstNoiseNfProcCfg));
  memset(&gstNfNoiseProc, 0, sizeof(gstNfNoiseProc));
}

}  // namespace

namespace {

// The reasons of a hop away from frequency 0 (three frequencies, H = 20, S = 10), each from
// the metrics and the noise state that call for it: 3 a plain gap, 4 a long stay in the NF
// set with a small gap, 2 NF noise into the NF set, 1 the LCD hold out of its mask, 9 a
// watch confirmed over frames, 10 persistent noise on the current frequency.
TEST_F(SignalTest, HopReasonsFromTheirConditions) {
  struct Case {
    const char* what;
    std::array<uint16_t, 3> metric;
    uint8_t nfSet;       // NF frequency set (NF handling on when not 0)
    uint8_t nfActive;
    uint8_t lcdMask;     // LCD hold on when not 0
    uint8_t longStayCnt, persistCur;
    int frames;          // frames to the switch
    uint8_t best, reason;
  } cases[] = {
      {"gap", {200, 65535, 20}, 0, 0, 0, 0, 0, 1, 2, 3},
      {"long stay", {25, 65535, 20}, 0x01, 0, 0, 199, 0, 1, 2, 4},
      {"NF noise into the NF set", {15, 65535, 2}, 0x04, 1, 0, 0, 0, 1, 2, 2},
      {"LCD hold out of its mask", {15, 65535, 2}, 0, 0, 0x04, 0, 0, 1, 2, 1},
      {"watch confirmed", {15, 65535, 2}, 0, 0, 0, 0, 0, 4, 2, 9},
      {"persistent noise", {18, 65535, 2}, 0, 0, 0, 0, 60, 1, 2, 10},
  };
  for (const Case& c : cases) {
    memset(&gstNoiseNfProcCfg, 0, sizeof(gstNoiseNfProcCfg));
    memset(&gstLcdHighNoiseCfg, 0, sizeof(gstLcdHighNoiseCfg));
    memset(&gstLcdHighNoise, 0, sizeof(gstLcdHighNoise));
    memset(&gstHopResultNcln, 0, sizeof(gstHopResultNcln));
    memset(&gstAdcSatCnt, 0, sizeof(gstAdcSatCnt));
    gstThpAfeMoudleCfg.uiAfeWord = 0x400;
    if (c.nfSet != 0) {
      gstNoiseNfProcCfg.aubData[0] = 0x01;
      gstNoiseNfProcCfg.aubData[1] = c.nfSet;
    }
    gstFreqHopCfg.aubData[19] = c.reason == 9 ? 2 : 5;  // watch confirmation count
    gstFreqHopCfg.aubData[21] = 10;                     // H = 20
    gstFreqHopCfg.aubData[22] = 10;                     // S = 10
    gstFreqHopCfg.aubData[23] = 0;
    gstFreqHopCfg.aubData[59] = 0x60;                   // mean-level ceiling 60000
    gstFreqHopCfg.aubData[60] = 0xEA;
    FreqHopInit();
    FreqHopFields& h = gstFreqHop.st;
    ASSERT_EQ(h.ubCurIndex, 0) << c.what;
    gstNfNoiseProc.st.ubActive = c.nfActive;
    if (c.lcdMask != 0) {
      gstLcdHighNoiseCfg.aubData[24] = c.lcdMask;
      gstLcdHighNoise.uwHold = 5;
    }
    h.ubLongStayCnt = c.longStayCnt;
    h.aubPersist[0] = c.persistCur;
    h.ubPrevBest = c.reason == 10 ? 2 : 0xFF;
    TakePackets();
    int frames = 0;
    while (frames < 8 && h.ubCurIndex == 0) {
      for (uint8_t i = 0; i < 3; ++i) h.auwMetric[i] = c.metric[i];
      gstApp.ubFlags = 0;
      FreqHoppingProc();
      ++frames;
    }
    EXPECT_EQ(frames, c.frames) << c.what;
    EXPECT_EQ(h.ubCurIndex, c.best) << c.what;
    EXPECT_EQ(h.ubLastReason, c.reason) << c.what;
    const std::vector<Bytes> p = TakePackets();
    ASSERT_EQ(p.size(), 1u) << c.what;
    EXPECT_EQ(p[0][3], 0x9C) << c.what;
    EXPECT_EQ(p[0][4], c.best) << c.what;
  }
  memset(&gstNoiseNfProcCfg, 0, sizeof(gstNoiseNfProcCfg));
  memset(&gstNfNoiseProc, 0, sizeof(gstNfNoiseProc));
  memset(&gstLcdHighNoiseCfg, 0, sizeof(gstLcdHighNoiseCfg));
  memset(&gstLcdHighNoise, 0, sizeof(gstLcdHighNoise));
  gstThpAfeMoudleCfg.uiAfeWord = 0;
  gstApp.ubFlags = 0;
}

}  // namespace

namespace {

// LCD light mode from the frequencies' averaged noise: loud on frequency 0 and some noise
// on frequency 1 count frames up; the sixth sets the flag and loads the LCD hold with the
// configured byte. A charger clears it all at once.
TEST_F(SignalTest, LightModeFromTheAveragedNoise) {
  memset(&gstLcdHighNoiseCfg, 0, sizeof(gstLcdHighNoiseCfg));
  memset(&gstLcdHighNoise, 0, sizeof(gstLcdHighNoise));
  gstLcdHighNoiseCfg.aubData[21] = 33;
  gstThpAfeMoudleCfg.uiAfeWord = 0x400;
  memset(&gstHopResultNcln, 0, sizeof(gstHopResultNcln));
  FreqHopInit();
  gstLightModeNcln = {0, 0, 0};
  int setAt = -1;
  for (int f = 0; f < 20 && setAt < 0; ++f) {
    ImRows(im_, {{100, 3000}, {100, 400}, {100, 0}});
    const uint8_t before = gstLightModeNcln.ubCounter;
    NoiseRawdataProc();
    if (gstLightModeNcln.ubFlag != 0) {
      setAt = f;
      EXPECT_EQ(gstLightModeNcln.ubCounter, 6) << "the sixth counted frame";
      EXPECT_EQ(before, 5);
    }
  }
  ASSERT_GE(setAt, 0) << "light mode never set";
  EXPECT_EQ(gstLcdHighNoise.uwHold, 33);
  gstCommon.ubChargerFlag = 1;
  NoiseRawdataProc();
  EXPECT_EQ(gstLightModeNcln.ubFlag, 0);
  EXPECT_EQ(gstLightModeNcln.ubCounter, 0);
  EXPECT_EQ(gstLcdHighNoise.uwHold, 0) << "the hold the flag loaded is released";
  gstCommon.ubChargerFlag = 0;
  memset(&gstLcdHighNoiseCfg, 0, sizeof(gstLcdHighNoiseCfg));
  memset(&gstLcdHighNoise, 0, sizeof(gstLcdHighNoise));
  gstLightModeNcln = {0, 0, 0};
  gstThpAfeMoudleCfg.uiAfeWord = 0;
}

}  // namespace

namespace {

// NF noise enters once its counter passes the entry threshold (5 by default) with peaks
// seen on every low frequency (the marks reach their target).
TEST_F(SignalTest, NfNoiseEntersOnceEveryLowFrequencyPeaked) {
  memset(&gstLcdHighNoise, 0, sizeof(gstLcdHighNoise));
  memset(&gstLcdHighNoiseCfg, 0, sizeof(gstLcdHighNoiseCfg));
  memset(&gstAdcSatCnt, 0, sizeof(gstAdcSatCnt));
  memset(&gstNoiseNfProcCfg, 0, sizeof(gstNoiseNfProcCfg));
  gstNoiseNfProcCfg.aubData[0] = 0x01;
  gstNoiseNfProcCfg.aubData[1] = 0x07;
  gstNoiseNfProcCfg.aubData[10] = 4;
  NoiseNfProcInit();
  ASSERT_EQ(gstNfNoiseProc.st.ubMarksTarget, 0x07);
  ASSERT_EQ(gstNfNoiseProc.st.ubEntryThr, 5);
  gstImGlobal = {};
  gstImGlobal.uwMaxPeak = 100;
  gstCoordComOutput.ubPointNum = 1;
  // Peaks on frequencies 0, 0, 1, 0, 1, then 2: the counter passes 5 only on the sixth frame,
  // which also completes the marks.
  const uint8_t peakAt[] = {0, 0, 1, 0, 1, 2};
  for (size_t f = 0; f < std::size(peakAt); ++f) {
    gstImGlobal.ubMaxPeakIndex = peakAt[f];
    NFnoiseJudge();
    const bool last = f + 1 == std::size(peakAt);
    EXPECT_EQ(gstNfNoiseProc.st.ubActive, last ? 1 : 0) << "frame " << f;
    EXPECT_EQ(gstNfNoiseProc.st.ubHold, last ? 3 : 0) << "frame " << f;
  }
  gstCoordComOutput.ubPointNum = 0;
  memset(&gstNoiseNfProcCfg, 0, sizeof(gstNoiseNfProcCfg));
  memset(&gstNfNoiseProc, 0, sizeof(gstNfNoiseProc));
  guiNfPowerOnCheckNcln = 0;
}

}  // namespace
