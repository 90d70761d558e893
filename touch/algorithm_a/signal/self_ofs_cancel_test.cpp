// Self-diff offset cancel: groups by their free channels, the base capture, the stylus
// hold, the linear calibration's slope limit, and the mutual step mask.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "diff_stages.h"
#include "ref_update.h"
#include "signal_proc.h"
#include "tsa_common.h"
#include "self_ofs_cancel.h"

namespace {

constexpr uint8_t kDrv = 16;
constexpr uint8_t kSen = 24;

class SelfCancel : public ::testing::Test {
 protected:
  void SetUp() override {
    SelfDiffOffsetCancelInit(scratch_.data());
    gubBaseCount = 0;
    gubBaseFlag = 0;
    memset(gubSelfTxFree, 255, sizeof(gubSelfTxFree));
    memset(gubSelfRxFree, 255, sizeof(gubSelfRxFree));
    in_ = {};
    in_.ubDrvNum = kDrv;
    in_.ubSenNum = kSen;
    in_.ubMode = 1;
    in_.pswSelfDiff = v_.data();
    in_.uwStylusTest = 1000;
    in_.swStylusUpper = 500;
  }
  int32_t Peak(uint32_t from, uint32_t n) const {
    int32_t m = 0;
    for (uint32_t i = from; i < from + n; ++i) m = std::max<int32_t>(m, std::abs(v_[i]));
    return m;
  }

  std::array<uint8_t, kSelfOfsScratchBytes> scratch_{};
  std::array<int16_t, kDrv + kSen> v_{};
  SelfDiffOffsetCancelInput in_{};
};

// Enough free channels spread over the group: offset and slope come off (the basis is the
// ramp until a base shape is captured). Fewer: the mean of at least 3 free channels comes
// off; with 2 the group is zeroed.
TEST_F(SelfCancel, GroupsByTheirFreeChannels) {
  const struct {
    const char* name;
    uint32_t freeSen;  // free sense channels, from channel 4 on
    int32_t peakAfter;
    uint8_t result;
  } cases[] = {{"fit", 24, 4, 0}, {"mean of three", 3, 0, 0}, {"two: zeroed", 2, 0, 0}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    for (uint32_t i = 0; i < kDrv; ++i) v_[i] = static_cast<int16_t>(200 + 7 * i);
    for (uint32_t i = 0; i < kSen; ++i) v_[kDrv + i] = static_cast<int16_t>(-300 + 5 * i);
    memset(gubSelfRxFree, 0, sizeof(gubSelfRxFree));
    for (uint32_t i = 0; i < k.freeSen; ++i) gubSelfRxFree[(k.freeSen == kSen ? 0 : 4) + i] = 255;
    const int16_t before5 = v_[kDrv + 5];
    SelfDiffOffsetCancel(&in_);
    // Integer means (7 for 7.5 over 16 channels) leave a few counts.
    EXPECT_LE(Peak(0, kDrv), 4) << "the free drive-line ramp is fitted out";
    EXPECT_EQ(in_.ubResult, k.result);
    if (k.freeSen == 3) {
      EXPECT_EQ(v_[kDrv + 5], before5 - (-300 + 5 * 5)) << "loses the mean of channels 4 to 6";
      EXPECT_EQ(v_[kDrv + 0], -300 - (-275));
    } else {
      EXPECT_LE(Peak(kDrv, kSen), k.peakAfter);
    }
  }
  // Both groups below 3 free channels: the result flag.
  memset(gubSelfTxFree, 0, sizeof(gubSelfTxFree));
  memset(gubSelfRxFree, 0, sizeof(gubSelfRxFree));
  v_.fill(50);
  SelfDiffOffsetCancel(&in_);
  EXPECT_EQ(in_.ubResult, 1);
  EXPECT_EQ(Peak(0, kDrv + kSen), 0);
}

// Wholly free drive-line groups: from the fifth frame on an uneven shape (quarter spans
// apart by more than 40) is captured; 40 apart keeps counting; a zero first value resets.
TEST_F(SelfCancel, BaseCaptureAfterFiveUnevenFrames) {
  auto fill = [&](int32_t extra, int16_t first) {
    // Quarters of 4 channels, each falling by 10, the third by 10 + EXTRA.
    for (uint32_t q = 0; q < 4; ++q)
      for (uint32_t j = 0; j < 4; ++j)
        v_[4 * q + j] = static_cast<int16_t>(100 - (q == 2 ? (10 + extra) * j / 3 : 10 * j / 3));
    v_[0] = first;
    for (uint32_t i = 0; i < kSen; ++i) v_[kDrv + i] = 0;
  };
  for (int32_t extra : {40, 41}) {
    SCOPED_TRACE(extra);
    gubBaseCount = 0;
    gubBaseFlag = 0;
    for (int frame = 1; frame <= 5; ++frame) {
      fill(extra, 100);
      SelfDiffOffsetCancel(&in_);
      if (frame < 5) {
        EXPECT_EQ(gubBaseCount, frame);
      }
    }
    EXPECT_EQ(gubBaseFlag, extra == 41 ? 1 : 0);
    EXPECT_EQ(gubBaseCount, extra == 41 ? 0 : 5);
  }
  // The captured shape is mean-free.
  int32_t sum = 0;
  for (uint32_t i = 0; i < kDrv; ++i) sum += gswSelfBaseShape[i];
  EXPECT_LT(std::abs(sum), kDrv);
  fill(40, 0);
  gubBaseCount = 3;
  SelfDiffOffsetCancel(&in_);
  EXPECT_EQ(gubBaseCount, 0) << "a zero first value resets the count";
}

// Mask mode decides the stylus; while it touches, mode 0 copies the last result back.
TEST_F(SelfCancel, StylusHoldsTheLastOutput) {
  v_.fill(0);
  for (uint32_t i = 0; i < kDrv + kSen; ++i) v_[i] = static_cast<int16_t>(i % 2);
  in_.uwStylusTest = 399;
  in_.swStylusUpper = 500;
  in_.swStylusMargin = 100;
  SelfDiffOffsetCancel(&in_);
  EXPECT_EQ(gboStylusTouch, 1);
  const std::array<int16_t, kDrv + kSen> last = v_;
  v_.fill(777);
  in_.ubMode = 0;
  SelfDiffOffsetCancel(&in_);
  EXPECT_EQ(v_, last);
  in_.ubMode = 1;
  in_.uwStylusTest = 400;
  SelfDiffOffsetCancel(&in_);
  EXPECT_EQ(gboStylusTouch, 0) << "400 is not below 500 - 100";
}

// Mode 0: each group goes through the row denoise body; a touch bump on the sense lines
// survives while their offset and slope come off.
TEST_F(SelfCancel, ModeZeroMarksTheGroupsByThemselves) {
  gboStylusTouch = 0;
  in_.ubMode = 0;
  for (uint32_t i = 0; i < kDrv; ++i) v_[i] = 150;
  for (uint32_t i = 0; i < kSen; ++i) v_[kDrv + i] = static_cast<int16_t>(-100 + 2 * i);
  for (uint32_t i = 10; i < 13; ++i) v_[kDrv + i] = static_cast<int16_t>(v_[kDrv + i] + 500);
  SelfDiffOffsetCancel(&in_);
  EXPECT_LE(Peak(0, kDrv), 1);
  EXPECT_LE(std::abs(v_[kDrv + 2]), 3);
  EXPECT_LE(std::abs(v_[kDrv + 20]), 3);
  EXPECT_GE(v_[kDrv + 11], 490);
}

// The diff stage's road: with the self cancel configured, the stage's wrapper hands the
// frame's self diff over; a hold byte of 0 means mask mode, and the result flag comes back
// into the common record.
TEST_F(SelfCancel, DiffStageRunsTheCancelThroughItsWrapper) {
  gstCommon = {};
  gstCommon.ubDrvNum = kDrv;
  gstCommon.ubSenNum = kSen;
  gstCommon.ubSelfEnable = 1;
  gstCommon.stData.pswSelfDiffData = v_.data();
  gstCommon.swTouchThreshold = 100;
  memset(&gstSelfOfsCancelCfg, 0, sizeof(gstSelfOfsCancelCfg));
  gstSelfOfsCancelCfg.aubData[0] = 0x01;
  for (uint32_t i = 0; i < kDrv + kSen; ++i) v_[i] = static_cast<int16_t>(400 + 3 * i);
  DenoiseSelfDiff();
  EXPECT_LE(Peak(0, kDrv + kSen), 4) << "both groups lose offset and slope";
  EXPECT_EQ(gstCommon.ubSelfOfsResult, 0);
  EXPECT_EQ(gboStylusTouch, 0);
  memset(gubSelfTxFree, 0, sizeof(gubSelfTxFree));
  memset(gubSelfRxFree, 0, sizeof(gubSelfRxFree));
  v_.fill(30);
  DenoiseSelfDiff();
  EXPECT_EQ(gstCommon.ubSelfOfsResult, 1) << "no free channel in either group";
  // Without the configuration bit the stage leaves the self diff.
  gstSelfOfsCancelCfg.aubData[0] = 0;
  v_.fill(30);
  DenoiseSelfDiff();
  EXPECT_EQ(v_[0], 30);
}

// The slope over the basis is in Q6; mode 1 refuses 13.0 and more.
TEST(SelfLinearCalibrate, SlopeLimitInModeOne) {
  const struct {
    int16_t rise;
    uint8_t kflag;
  } cases[] = {{831, 0}, {832, 1}, {-832, 1}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.rise);
    std::array<int16_t, 112> pairs{};
    pairs[1] = k.rise;
    pairs[56 + 1] = 64;
    std::array<int16_t, 2> values = {0, k.rise};
    const std::array<int16_t, 2> basis = {0, 64};
    SelfLinearCalibrate(values.data(), pairs.data(), 2, basis.data(), 2, 1);
    EXPECT_EQ(gubKflag, k.kflag);
    if (k.kflag == 1) {
      EXPECT_EQ(values[1], k.rise) << "left unchanged";
    } else {
      EXPECT_LE(std::abs(values[0]) + std::abs(values[1]), 2) << "the line through both points comes off";
    }
  }
}

TEST(ResetMaskFlag, RowsAboveTheThresholdWidenedWhereTheyStep) {
  constexpr uint8_t kRows = 6, kCols = 10;
  const struct {
    int16_t neighbourStep;
    uint64_t mask;
  } cases[] = {{9, 0b1110}, {8, 0b0100}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.neighbourStep);
    std::vector<int16_t> map(kRows * kCols, 0);
    map[2 * kCols + 5] = 100;  // row 2: two-column step 100
    map[1 * kCols + 5] = k.neighbourStep;
    map[3 * kCols + 5] = static_cast<int16_t>(-k.neighbourStep);
    map[5 * kCols + 5] = 8;
    EXPECT_EQ(ResetMaskFlag(map.data(), kRows, kCols, 60), k.mask);
    std::array<uint16_t, kRows> steps{};
    CalcRowMaxDelta(map.data(), steps.data(), kRows, kCols);
    EXPECT_EQ(steps[2], 100);
    uint64_t viaSteps = 0;
    ResetMaskFlagBySteps(steps.data(), 60, kRows, &viaSteps);
    EXPECT_EQ(viaSteps, k.mask);
  }
  EXPECT_EQ(ResetMaskFlag(nullptr, 0, kCols, 60), 0u) << "zero rows give an empty mask";
}

}  // namespace
