// The wrapper layer: the debug record, the small utilities, the game-mode filter tables,
// the mutual reference wrapper's backup and requested code, and the raw-filter wrappers.
#include "module_wrappers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "coord_records.h"
#include "region.h"
#include "region_float.h"
#include "region_lib.h"
#include "region_proc.h"
#include "signal_proc.h"
#include "tsa_common.h"
#include "tsa_frame_links.h"

namespace {

TEST(WrapperUtilities, SaturatingCountdownAndRectangleDistance) {
  const struct {
    uint8_t a, b, out;
  } ticks[] = {{3, 5, 0}, {5, 3, 2}, {5, 5, 0}, {255, 0, 255}};
  for (const auto& t : ticks) EXPECT_EQ(Tick100MsDecreaseU8(t.a, t.b), t.out) << int{t.a} << "-" << int{t.b};
  const uint8_t r1[4] = {1, 3, 2, 4}, r2[4] = {3, 5, 2, 4}, r3[4] = {1, 3, 5, 7};
  EXPECT_EQ(GetAbsoluteDisOf2Rect(r1, r2), 16u);
  EXPECT_EQ(GetAbsoluteDisOf2Rect(r1, r3), 36u);
  // The doubled centres are 8-bit sums: 200 + 100 is 44.
  const uint8_t wide[4] = {200, 100, 0, 0}, origin[4] = {0, 0, 0, 0};
  EXPECT_EQ(GetAbsoluteDisOf2Rect(wide, origin), 44u * 44u);
  EXPECT_EQ(GetAlgorithmVersion(), 0x09050002u);
}

// Levels 5 to 7 fit the three-bit fields but not the five-entry tables: they get the last
// (strongest) level.
TEST(WrapperUtilities, GameModeFiltersStayWithinTheirTables) {
  const struct {
    uint32_t first, normal;
    uint16_t firstValue;
    uint8_t normalValue;
  } cases[] = {{0, 0, 122, 47}, {4, 1, 175, 43}, {1, 4, 137, 27}, {5, 5, 175, 27}, {7, 6, 175, 27}, {2, 7, 152, 27}};
  for (const auto& c : cases) {
    const uint16_t g = static_cast<uint16_t>((c.first << 8) | (c.normal << 3) | 0xC007u);
    const GameModeFilter f = GameModeFilterInputs(g);
    EXPECT_EQ(f.uwFirst, c.firstValue) << c.first;
    EXPECT_EQ(f.ubNormal, c.normalValue) << c.normal;
  }
}

TEST(WrapperUtilities, DebugRecordIsCopiedWhole) {
  memset(&gstSelkoAlgoDebugInfo, 0x5A, sizeof(gstSelkoAlgoDebugInfo));
  std::vector<uint8_t> out(kSelkoAlgoDebugBytes + 8, 0xEE);
  EXPECT_EQ(GetSelkoAlgoDebugInfo(out.data()), kSelkoAlgoDebugBytes);
  EXPECT_EQ(out[0], 0x5A);
  EXPECT_EQ(out[kSelkoAlgoDebugBytes - 1], 0x5A);
  EXPECT_EQ(out[kSelkoAlgoDebugBytes], 0xEE);
  EXPECT_EQ(GetSelkoAlgoDebugInfo(nullptr), 0u);
}

constexpr uint8_t kRows = 4;
constexpr uint8_t kCols = 6;
constexpr uint32_t kNodes = kRows * kCols;

class MutualWrapper : public ::testing::Test {
 protected:
  void SetUp() override {
    gstCommon = {};
    memset(&gstRefUpdateCfg, 0, sizeof(gstRefUpdateCfg));
    gstCommon.ubDrvNum = kRows;
    gstCommon.ubSenNum = kCols;
    gstCommon.ubPowerOnRefReady = 1;
    gstCommon.swTouchThreshold = 100;
    gstCommon.stData.puwRefData = ref_;
    gstCommon.puwRawForDiff = raw_;
    gstCommon.stData.puwRawData = raw_;
    gstCommon.stData.pswDiffData = diff_;
    for (uint32_t i = 0; i < kNodes; ++i) {
      ref_[i] = static_cast<uint16_t>(900 + i);
      raw_[i] = 1000;
      diff_[i] = 0;
    }
    RefUpdateInit(100);
    gubRefBarrayIndex = gstNormalize.st.ubFwBIndex;
  }
  uint16_t ref_[kNodes], raw_[kNodes];
  int16_t diff_[kNodes];
};

// The kept copy is what a wake restores: refreshed on rebuilds and every 200th call, kept
// in between; the valid word marks the calls that refreshed it.
TEST_F(MutualWrapper, BackupKeepsTheLastAcceptedReference) {
  memset(gpuwMutualRefDataBak, 0, sizeof(gpuwMutualRefDataBak));
  int refreshed = 0;
  for (int i = 0; i < 200; ++i) {
    RefUpdatePanelMutualWrapper();
    const bool due = RefUpdateWrapperCalls() % kRefBackupEveryCalls == 0;
    EXPECT_EQ(gpuwMutualRefDataBak[kFerrantMaxNodes], due ? 1 : 0) << i;
    refreshed += due ? 1 : 0;
  }
  EXPECT_EQ(refreshed, 1);
  RefUpdatePanelMutualWrapper();
  EXPECT_EQ(gpuwMutualRefDataBak[kFerrantMaxNodes], 0);
  EXPECT_EQ(std::vector<uint16_t>(gpuwMutualRefDataBak, gpuwMutualRefDataBak + kNodes),
            std::vector<uint16_t>(ref_, ref_ + kNodes))
      << "kept on a call that did not refresh it";

  DelayToUpdateRef(0);
  RefUpdatePanelMutualWrapper();
  EXPECT_EQ(gpuwMutualRefDataBak[kFerrantMaxNodes], 1);
  EXPECT_EQ(gpuwMutualRefDataBak[3], 1000) << "the rebuilt reference";
  EXPECT_EQ(gpuwRefUpdateTypeBak[kRefTypeBakMutual], 13);
  uint8_t head[4];
  memcpy(head, &gstRefUpdateModule, sizeof(head));
  EXPECT_EQ(0, memcmp(gstSelkoAlgoDebugInfo.aubRefModuleHead, head, sizeof(head)));
  EXPECT_EQ(0, memcmp(gstSelkoAlgoDebugInfo.aubRefHop, &gstRefHopArgs, sizeof(gstSelkoAlgoDebugInfo.aubRefHop)));
}

// A new controller B index asks the stage for code 6; the request is consumed.
TEST_F(MutualWrapper, NewBIndexRebuildsWithCodeSix) {
  gubRefBarrayIndex = static_cast<uint8_t>(gstNormalize.st.ubFwBIndex + 1);
  RefUpdateMutual();
  EXPECT_EQ(GetMutualRefUpdateType(), 6);
  EXPECT_EQ(ref_[5], 1000);
  EXPECT_EQ(gstCommon.ubRefUpdateType, 0);
  EXPECT_EQ(gstCommon.ubIdleRefStep, 3);
  EXPECT_EQ(gubRefBarrayIndex, gstNormalize.st.ubFwBIndex);
  ref_[5] = 900;
  RefUpdateMutual();
  EXPECT_EQ(ref_[5], 900) << "no second rebuild";
}

// The raw-filter wrappers on a 3 x 4 panel whose maps live in the fixture. The node work
// map is left unset: the filters are handed the scratch arena.
class RawFilterWrappers : public ::testing::Test {
 protected:
  static constexpr uint8_t kDrv = 3, kSen = 4;
  static constexpr uint32_t kN = kDrv * kSen, kSelf = kDrv + kSen;
  void SetUp() override {
    gstCommon = {};
    memset(&gstRawdataDenoiseCfg, 0, sizeof(gstRawdataDenoiseCfg));
    gstRawdataIir = {1, 1};
    gstCommon.ubDrvNum = kDrv;
    gstCommon.ubSenNum = kSen;
    gstCommon.stData.puwRawData = raw_.data();
    gstCommon.puwRawForDiff = rawForDiff_.data();
    gstCommon.stData.puwSelfRawData = selfRaw_.data();
    gstCommon.puwSelfFilterState = selfFilt_.data();
    gstCommon.pubTempArena = arena_.data();
    memset(&gstSelkoAlgoDebugInfo, 0x5A, sizeof(gstSelkoAlgoDebugInfo));
  }
  void TearDown() override {
    for (uint32_t i = 0; i < kSelkoAlgoDebugBytes; ++i)
      ASSERT_EQ(reinterpret_cast<const uint8_t*>(&gstSelkoAlgoDebugInfo)[i], 0x5A) << "debug byte " << i;
    gstCommon = {};
  }
  std::vector<uint16_t> raw_ = std::vector<uint16_t>(kN), rawForDiff_ = std::vector<uint16_t>(kN);
  std::vector<uint16_t> selfRaw_ = std::vector<uint16_t>(kSelf), selfFilt_ = std::vector<uint16_t>(kSelf);
  std::vector<uint8_t> arena_ = std::vector<uint8_t>(4096);
};

// Raw 2000 against a previous output of 1000: the reference flag, the NF noise flag and the
// grid come from the common record; each IIR wrapper writes its own output only.
TEST_F(RawFilterWrappers, IirWrappersTakeTheirInputsFromTheCommonRecord) {
  const struct Case {
    const char* name;
    void (*wrapper)();
    uint8_t cfg[4];
    uint8_t refValid, nfNoise;
    uint16_t mutualOut, selfOut;
  } cases[] = {
      {"mutual, ordinary weight", MutualRawDataIirFilterWrapper, {0x02, 64, 0, 96}, 1, 0, 1500, 1000},
      {"mutual, NF noise weight", MutualRawDataIirFilterWrapper, {0x02, 64, 0, 96}, 1, 1, 1250, 1000},
      {"mutual, no reference: seeds", MutualRawDataIirFilterWrapper, {0x02, 64, 0, 96}, 0, 0, 2000, 1000},
      {"mutual, off: tracks the raw map", MutualRawDataIirFilterWrapper, {0x00, 64, 0, 96}, 1, 0, 2000, 1000},
      {"self, its own weight", SelfRawDataIirFilterWrapper, {0x04, 64, 32, 96}, 1, 1, 1000, 1750},
      {"self, no reference: seeds", SelfRawDataIirFilterWrapper, {0x04, 64, 32, 96}, 0, 0, 1000, 2000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    memcpy(gstRawdataDenoiseCfg.aubData, c.cfg, 4);
    gstCommon.ubPowerOnRefReady = c.refValid;
    gstCommon.ubNfNoiseResult = c.nfNoise;
    std::fill(raw_.begin(), raw_.end(), 2000);
    std::fill(selfRaw_.begin(), selfRaw_.end(), 2000);
    std::fill(rawForDiff_.begin(), rawForDiff_.end(), 1000);
    std::fill(selfFilt_.begin(), selfFilt_.end(), 1000);
    c.wrapper();
    EXPECT_EQ(rawForDiff_, std::vector<uint16_t>(kN, c.mutualOut));
    EXPECT_EQ(selfFilt_, std::vector<uint16_t>(kSelf, c.selfOut));
    EXPECT_EQ(raw_, std::vector<uint16_t>(kN, 2000)) << "the raw map is only read";
    EXPECT_EQ(selfRaw_, std::vector<uint16_t>(kSelf, 2000));
  }
}

// The Gaussian wrappers smooth in place through the scratch arena; the self vector's two
// segments split where the common record's row count says.
TEST_F(RawFilterWrappers, GaussianWrappersSmoothInPlaceThroughTheArena) {
  gstRawdataDenoiseCfg.aubData[0] = 0x01;
  raw_[1 * kSen + 1] = 640;
  selfRaw_[2] = 160;  // last entry of the row segment
  MutualRawDataGaussianFilterWrapper();
  EXPECT_EQ(raw_, (std::vector<uint16_t>{40, 80, 40, 0, 80, 160, 80, 0, 40, 80, 40, 0}));
  EXPECT_EQ(selfRaw_, (std::vector<uint16_t>{0, 0, 160, 0, 0, 0, 0})) << "the mutual wrapper leaves the self vector";
  SelfRawDataGaussianFilterWrapper();
  EXPECT_EQ(selfRaw_, (std::vector<uint16_t>{0, 40, 120, 0, 0, 0, 0})) << "nothing crosses into the column segment";
  EXPECT_EQ(rawForDiff_, std::vector<uint16_t>(kN, 0));

  gstRawdataDenoiseCfg.aubData[0] = 0x06;  // Gaussians off
  const std::vector<uint16_t> before = raw_;
  MutualRawDataGaussianFilterWrapper();
  SelfRawDataGaussianFilterWrapper();
  EXPECT_EQ(raw_, before);
  EXPECT_EQ(selfRaw_, (std::vector<uint16_t>{0, 40, 120, 0, 0, 0, 0}));
}

// The floating wrappers over a 10 x 12 grid: a weak finger (peak 120 in a ring of -80).
class FloatWrappers : public ::testing::Test {
 protected:
  static constexpr uint8_t kR = 10, kC = 12;
  void SetUp() override {
    gstCommon = {};
    gstCommon.ubDrvNum = kR;
    gstCommon.ubSenNum = kC;
    gstCommon.stData.pswDiffData = diff_;
    gstCommon.stData.pswSelfDiffData = self_;  // flat: one peak on every line
    gstCommon.swTouchThreshold = 100;
    gstCommon.uwSecondThreshold = 120;
    gstCommon.uwMaskThreshold = 100;
    memset(diff_, 0, sizeof(diff_));
    memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
    memset(&gstFloatSelfProc, 0, sizeof(gstFloatSelfProc));
    memset(&gstFloatSelfCfg, 0, sizeof(gstFloatSelfCfg));
    memset(&gstRegionOutput, 0, sizeof(gstRegionOutput));
    memset(gaubRegionLabelMap, kRegionLabelNone, sizeof(gaubRegionLabelMap));
    memset(&gstSelkoAlgoDebugInfo, 0, sizeof(gstSelkoAlgoDebugInfo));
    gubTouchMode = 2;
  }
  void TearDown() override { gstCommon = {}; }
  void Fill(RegionRect r, int16_t v) {
    for (int y = r.ubRowStart; y <= r.ubRowEnd; ++y)
      for (int x = r.ubColStart; x <= r.ubColEnd; ++x) diff_[y * kC + x] = v;
  }
  void Region(uint8_t i, RegionRect r, uint16_t peak) {
    gstMutualRegion.astRect[i] = r;
    gstMutualRegion.auwPeak[i] = peak;
    for (int y = r.ubRowStart; y <= r.ubRowEnd; ++y)
      for (int x = r.ubColStart; x <= r.ubColEnd; ++x) gaubRegionLabelMap[y * kC + x] = i;
    gstMutualRegion.ubRegionNum = static_cast<uint8_t>(i + 1);
  }
  int16_t self_[kR + kC] = {};
  int16_t diff_[kR * kC];
};

TEST_F(FloatWrappers, PreJudgeKeepsTheCounterAndFlagsWhereTheOtherStagesReadThem) {
  Fill(RegionRect{2, 8, 2, 8}, -80);
  Fill(RegionRect{4, 6, 4, 6}, 60);
  diff_[5 * kC + 5] = 120;
  gstCommon.swDiffMax = 120;
  gstCommon.swDiffMin = -80;
  Region(0, RegionRect{4, 6, 4, 6}, 120);
  gstFloatSelfProc.ubFloatCnt = 11;
  gstRegionRoles.ubTwoPeak = 1;
  EXPECT_EQ(RegionFloatPreJudgeWrapper(), 0);
  EXPECT_EQ(gstFloatSelfProc.ubFloatCnt, 250);
  EXPECT_EQ(gstCommon.ubFloatingByte, 250);
  EXPECT_EQ(gstFloatSelfProc.ubFloatFlag, 1);
  EXPECT_EQ(gstRegionOutput.ubCoordByte, 1);
  EXPECT_EQ(gstFloatSelfProc.ubTwoPeak, 1);
  EXPECT_EQ(gstFloatSelfProc.ubMainRowSpan, 3);
  EXPECT_EQ(RegionRectWord(gstFloatSelfProc.stMainRect), RegionRectWord(RegionRect{4, 6, 4, 6}));
  gstRegionRoles.ubTwoPeak = 0;

  // Low temperature holds the counter: a floating frame no longer counts, and without a
  // touch it runs down.
  gstFloatSelfProc.ubFloatCnt = 5;
  gstCommon.ubLowTempState = 2;
  RegionFloatPreJudgeWrapper();
  EXPECT_EQ(gstCommon.ubFloatingByte, 4);
}

TEST_F(FloatWrappers, PreJudgeCollapseReachesTheRegionOutputAndTheDebugRecord) {
  Fill(RegionRect{2, 7, 2, 9}, 150);
  Region(0, RegionRect{2, 7, 2, 4}, 150);
  Region(1, RegionRect{2, 7, 5, 9}, 150);
  gstCommon.swDiffMax = 150;
  for (uint8_t mode : {2, 0}) {
    gubTouchMode = mode;
    Region(0, RegionRect{2, 7, 2, 4}, 150);
    Region(1, RegionRect{2, 7, 5, 9}, 150);
    const uint8_t want = mode == 2 ? 1 : 0;
    EXPECT_EQ(RegionFloatPreJudgeWrapper(), want) << int(mode);
    EXPECT_EQ(gstRegionOutput.ubPassFlag, want) << int(mode);
    EXPECT_EQ(gstSelkoAlgoDebugInfo.ubFloatPreJudge, want) << int(mode);
    EXPECT_EQ(gstFloatSelfProc.ubCollapse, want) << int(mode);
    EXPECT_EQ(gstMutualRegion.ubRegionNum, mode == 2 ? 1 : 2) << "weak-touch search: no copper decision";
  }
}

TEST_F(FloatWrappers, CombineWritesTheNewCount) {
  gstFloatSelfCfg.aubData[8] = 30;
  gstFloatSelfCfg.aubData[10] = 0x90;
  gstFloatSelfCfg.aubData[11] = 0x01;
  gstFloatSelfCfg.aubData[12] = 30;
  Fill(RegionRect{3, 5, 2, 5}, 60);
  Region(0, RegionRect{3, 5, 2, 3}, 60);
  Region(1, RegionRect{3, 5, 4, 5}, 60);
  gstFloatSelfProc.ubMainRowSpan = 3;
  gstFloatSelfProc.ubMainColSpan = 4;
  EXPECT_EQ(RegionFloatCombineWrapper(), 1);
  EXPECT_EQ(gstMutualRegion.ubRegionNum, 1);
  EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[0]), RegionRectWord(RegionRect{3, 5, 2, 5}));
  gstFloatSelfCfg.aubData[12] = 0;
}

// The region threshold: 45 outside the normal touch mode, written over the common record's
// mask threshold (the touch threshold of the diff stages stays); in the normal mode the
// mask threshold itself. Either way it is the region set's threshold word.
TEST_F(FloatWrappers, AcquisitionThresholdIsTheMaskThresholdAndFortyFiveOutsideTheNormalMode) {
  std::vector<uint8_t> work(kRegionSavedDiffAt + 2 * kRegionMaxNodes, 0);
  RegionAcquireInit(work.data());
  gstCommon.pubTempArena = work.data();
  struct Case {
    uint8_t mode;
    uint16_t region, mask;
  } cases[] = {{2, 90, 90}, {1, 45, 45}, {0, 45, 45}};
  for (const Case& c : cases) {
    gstCommon.swTouchThreshold = 100;
    gstCommon.uwMaskThreshold = 90;
    gubTouchMode = c.mode;
    RegionAcquireWrapper();
    EXPECT_EQ(uint16_t{gstMutualRegion.uwTouchThreshold}, c.region) << int(c.mode);
    EXPECT_EQ(uint16_t{gstCommon.uwMaskThreshold}, c.mask) << int(c.mode);
    EXPECT_EQ(int16_t{gstCommon.swTouchThreshold}, 100) << int(c.mode);
  }
  gubTouchMode = 2;
}

// Acquisition leaves the pairing summary (the per-slot pairing states) in the first 12
// debug bytes, and nothing beyond them.
TEST_F(FloatWrappers, AcquisitionCopiesThePairingSummaryToTheDebugRecord) {
  std::vector<uint8_t> work(kRegionSavedDiffAt + 2 * kRegionMaxNodes, 0);
  RegionAcquireInit(work.data());
  gstCommon.pubTempArena = work.data();
  uint8_t want[12];
  for (uint8_t k = 0; k < 12; ++k) want[k] = gstCoordPair.aubSlotState[k] = static_cast<uint8_t>(k + 1);
  memset(&gstSelkoAlgoDebugInfo, 0xEE, sizeof(gstSelkoAlgoDebugInfo));
  RegionAcquireWrapper();
  EXPECT_EQ(0, memcmp(gstSelkoAlgoDebugInfo.aubPairSummary, want, sizeof(want)));
  EXPECT_EQ(+gstSelkoAlgoDebugInfo.ubFloatPreJudge, 0xEE);
  memset(gstCoordPair.aubSlotState, 0, sizeof(gstCoordPair.aubSlotState));
}

}  // namespace
