// The wrapper layer: the debug record, the small utilities, the game-mode filter tables,
// and the mutual reference wrapper's backup and requested code.
#include "module_wrappers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

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

}  // namespace
