// Quick reference update: the masked blend, its gate and frame limit, and the ghost check of
// a persistent object, confirmed twice before the reference is corrected.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "lcd_denoise.h"
#include "low_temp.h"
#include "quick_ref.h"

namespace {

constexpr uint8_t kR = 16, kC = 16;
constexpr uint32_t kN = kR * kC;

uint32_t Rect(int r0, int r1, int c0, int c1) { return LtPack({r0, r1, c0, c1}); }

class QuickRef : public ::testing::Test {
 protected:
  void SetUp() override {
    QuickRefUpdateInit();
    gboLcdDenoiseUsable = 0;  // the cleaned map is reference - raw as it stands
    ref_.assign(kN, 2000);
    raw_.assign(kN, 2000);
    diff_.assign(kN, 0);
    scratch_.assign(kN, 0);
    memset(values_, 0, sizeof(values_));
    memset(rects_, 0xFF, sizeof(rects_));
  }
  QuickRefUpdateInput Input() {
    QuickRefUpdateInput in{};
    in.uwTick = 1;
    in.ubRows = kR;
    in.ubCols = kC;
    in.puwTouchValues = values_;
    in.puwRef = ref_.data();
    in.puwRaw = raw_.data();
    in.puwScratch = scratch_.data();
    in.uwNodes = kN;
    in.pswDiff = diff_.data();
    in.puiTouchRects = rects_;
    for (uint32_t i = 0; i < kN; ++i) {
      diff_[i] = static_cast<int16_t>(ref_[i] - raw_[i]);
      in.swMaxDiff = std::max(in.swMaxDiff, diff_[i]);
      in.swMinDiff = std::min(in.swMinDiff, diff_[i]);
    }
    return in;
  }
  // A blob over RECT at LEVEL in the reference (a ghost) reported as touch 0.
  void Blob(uint32_t rect, int16_t level) {
    const LtRect r = LtUnpack(rect);
    for (int row = r.r0; row <= r.r1; ++row)
      for (int c = r.c0; c <= r.c1; ++c) ref_[row * kC + c] = static_cast<uint16_t>(2000 + level);
    values_[0] = static_cast<uint16_t>(level);
    rects_[0] = rect;
  }
  std::vector<uint16_t> ref_, raw_, scratch_;
  std::vector<int16_t> diff_;
  uint16_t values_[12];
  uint32_t rects_[12];
};

TEST_F(QuickRef, ActiveModuleBlendsHalfwayOutsideTheTouches) {
  gstQuickRefUpdateModule.ubActive = 1;
  gstQuickRefUpdateModule.ubFrameCnt = 14;
  gstQuickRefUpdateModule.uwLevelCountdown = 100;
  for (uint32_t i = 0; i < kN; ++i) raw_[i] = 2100;  // the reference lags 100 behind
  values_[0] = 300;
  rects_[0] = Rect(5, 6, 5, 6);
  QuickRefUpdateInput in = Input();
  QuickRefUpdate(&in);
  EXPECT_EQ(in.ubRequest, kQuickRefRequest);
  EXPECT_EQ(ref_[0], 2050) << "half way to the raw level";
  EXPECT_EQ(ref_[5 * kC + 5], 2000) << "under the touch the reference stays";
  EXPECT_EQ(ref_[4 * kC + 7], 2000) << "the masks are grown by one node";
  EXPECT_EQ(ref_[4 * kC + 8], 2050) << "a touch row outside the touch columns is blended";
  EXPECT_EQ(gstQuickRefUpdateModule.ubFrameCnt, 0);
}

TEST_F(QuickRef, NoBlendBeforeFifteenFramesBeyond999OrOutsideTheGate) {
  struct Case {
    const char* name;
    uint8_t frames, noise, lowTemp;
    int16_t spike;
  };
  const Case cases[] = {{"thirteenth frame", 13, 0, 0, 0},
                        {"difference beyond 999", 14, 0, 0, 1000},
                        {"difference below -999", 14, 0, 0, -1000},
                        {"noise", 14, 1, 0, 0},
                        {"low temperature", 14, 0, 2, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    gstQuickRefUpdateModule.ubActive = 1;
    gstQuickRefUpdateModule.ubFrameCnt = c.frames;
    gstQuickRefUpdateModule.uwLevelCountdown = 100;
    for (uint32_t i = 0; i < kN; ++i) raw_[i] = 2100;
    raw_[kN - 1] = static_cast<uint16_t>(2000 - c.spike);
    QuickRefUpdateInput in = Input();
    in.ubNoise = c.noise;
    in.ubLowTempState = c.lowTemp;
    QuickRefUpdate(&in);
    EXPECT_EQ(in.ubRequest, 0);
    EXPECT_EQ(ref_[0], 2000);
  }
}

TEST_F(QuickRef, CountdownEndsActivity) {
  gstQuickRefUpdateModule.ubActive = 1;
  gstQuickRefUpdateModule.ubFrameCnt = 14;
  gstQuickRefUpdateModule.uwLevelCountdown = 1;
  QuickRefUpdateInput in = Input();
  QuickRefUpdate(&in);
  EXPECT_EQ(in.ubRequest, kQuickRefRequest) << "the last frame still runs";
  EXPECT_EQ(gstQuickRefUpdateModule.ubActive, 0);
  in = Input();
  QuickRefUpdate(&in);
  EXPECT_EQ(in.ubRequest, 0);
}

TEST_F(QuickRef, PersistentGhostIsCorrectedAtTheSecondConfirmation) {
  const uint32_t rect = Rect(3, 11, 3, 11);  // 9 x 9
  // The object is seen at 600, then the blob settles at 150: far below its recorded peak.
  Blob(rect, 600);
  QuickRefUpdateInput in = Input();
  QuickRefUpdate(&in);
  ASSERT_EQ(gastQuickRefObject[0].ubAge, 0);
  Blob(rect, 150);
  for (int i = 0; i < 4; ++i) {
    in = Input();
    in.uwTick = 0;  // the age byte stays 0: a fresh object
    QuickRefUpdate(&in);
  }
  EXPECT_EQ(gstQuickRefUpdateModule.ubConfirmCnt, 1);
  EXPECT_EQ(gastQuickRefObject[0].ubRecheck, 1);
  EXPECT_EQ(ref_[7 * kC + 7], 2150) << "one confirmation does not touch the reference";
  in = Input();
  in.uwTick = 0;
  QuickRefUpdate(&in);
  EXPECT_EQ(gstQuickRefUpdateModule.ubActive, 1);
  EXPECT_EQ(gstQuickRefUpdateModule.ubConfirmCnt, 0);
  EXPECT_EQ(gstQuickRefUpdateModule.uwLevelCountdown, 150);
  EXPECT_EQ(in.ubRequest, kQuickRefRequest) << "the corrected reference asks for the clean-up";
  EXPECT_EQ(ref_[7 * kC + 7], 2000);
  EXPECT_EQ(ref_[3 * kC + 3], 2000);
}

TEST_F(QuickRef, GhostLevelsOutsideTheBandAreRejected) {
  for (int16_t level : {50, 300}) {
    SCOPED_TRACE(level);
    SetUp();
    const uint32_t rect = Rect(3, 11, 3, 11);
    Blob(rect, 600);
    QuickRefUpdateInput in = Input();
    QuickRefUpdate(&in);
    Blob(rect, level);
    for (int i = 0; i < 10; ++i) {
      in = Input();
      in.uwTick = 0;
      QuickRefUpdate(&in);
    }
    EXPECT_EQ(gstQuickRefUpdateModule.ubConfirmCnt, 0);
    EXPECT_EQ(gstQuickRefUpdateModule.ubActive, 0);
    EXPECT_EQ(ref_[7 * kC + 7], 2000 + level);
  }
}

TEST(QuickRefMasks, RegionRefUpdateRestoresByMode) {
  std::vector<int16_t> a(4 * 4, 100), b(4 * 4, 300);
  const struct {
    uint8_t mode;
    int16_t inBoth, inNeither, rowOnly;
  } cases[] = {{1, 300, 200, 200}, {0, 200, 300, 200}, {2, 200, 200, 200}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int{c.mode});
    std::fill(a.begin(), a.end(), 100);
    RegionRefUpdateRecord rec{a.data(), b.data(), 4, 4, 8};
    RegionRefUpdate(&rec, 0b0010, 0b0100, c.mode);
    EXPECT_EQ(a[1 * 4 + 2], c.inBoth);
    EXPECT_EQ(a[0], c.inNeither);
    EXPECT_EQ(a[1 * 4 + 0], c.rowOnly);
  }
  uint64_t rows = 0, cols = 0;
  RectToMasks(Rect(0, 1, 3, 3), 4, 4, &rows, &cols, 0);
  EXPECT_EQ(rows, 0b0111u);
  EXPECT_EQ(cols, 0b1100u) << "grown and clipped to the map";
  rows = cols = 0;
  RectToMasks(Rect(0, 1, 3, 3), 4, 4, &rows, &cols, 1);
  EXPECT_EQ(rows, 0b0011u);
  EXPECT_EQ(cols, 0b1000u);
}

}  // namespace
