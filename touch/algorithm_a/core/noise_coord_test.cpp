// Noise coordinate smoothing (when it damps, the same-column and fast flags) and the
// repeated-tap recognition that asks the noise duration for its game mode.
#include <gtest/gtest.h>

#include <cstring>

#include "coord_records.h"
#include "core_stages.h"
#include "customer_hooks.h"
#include "noise_coord.h"
#include "signal_proc.h"
#include "tsa_common.h"
#include "tsa_frame_links.h"

namespace {

class NoiseSmooth : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(gpuwNewWeight, 0, sizeof(gpuwNewWeight));
    memset(gpuwNewPointX, 0, sizeof(gpuwNewPointX));
    memset(gpuwNewPointY, 0, sizeof(gpuwNewPointY));
    NoiseCoordAddSmooth();  // every slot empty: their state is cleared
    gstCommon.ubWhiteNoiseResult = 1;
    gstCommon.aubNoiseFlags[1] = 0;
  }
  // Slot 0 at (x, y) for one frame; the other slots keep their x, weight 0.
  void Frame(uint16_t x, uint16_t y) {
    gpuwNewWeight[0] = 100;
    gpuwNewPointX[0] = x;
    gpuwNewPointY[0] = y;
    NoiseCoordAddSmooth();
  }
};

TEST_F(NoiseSmooth, StillPointIsSmoothedFromItsEleventhCountedFrame) {
  for (uint16_t x : {0, 1, 2, 3, 4}) gpuwNewPointX[x] = 20000;  // no shared column
  Frame(5000, 6000);  // new: not counted
  for (int i = 1; i <= 10; ++i) {
    Frame(static_cast<uint16_t>(5000 + (i % 2) * 40), 6000);
    EXPECT_EQ(gpubSmoothFlag[0], 0) << i;
  }
  EXPECT_EQ(gstCommon.aubNoiseFlags[1], 0);
  Frame(5040, 6030);  // eleventh counted frame: last output (5000, 6000)
  EXPECT_EQ(gstCommon.aubNoiseFlags[1], 1);
  EXPECT_EQ(gpuwNewPointX[0], (5040 + 5000) >> 1);
  EXPECT_EQ(gpuwNewPointY[0], (2 * 6000 + 6030) / 3);
  EXPECT_EQ(gpubSmoothFlag[0], 4) << "five frames per trigger, one used";
  // Without white noise the remaining frames still run out.
  gstCommon.ubWhiteNoiseResult = 0;
  for (int i = 0; i < 4; ++i) Frame(5000, 6000);
  EXPECT_EQ(gpubSmoothFlag[0], 0);
  const uint16_t x = 5200;
  Frame(x, 6000);
  EXPECT_EQ(gpuwNewPointX[0], x) << "no smoothing once the count ran out";
}

TEST_F(NoiseSmooth, FarTravelExemptsOnlyAPointAloneInItsColumn) {
  const struct {
    const char* name;
    uint16_t neighbourX;
    bool smoothed;
  } cases[] = {{"alone: 1280 away", 5100 - 1280, false}, {"shared column: 1279 away", 5100 - 1279, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    for (uint16_t s : {1, 2, 3, 4}) gpuwNewPointX[s] = 30000;
    gpuwNewPointX[1] = c.neighbourX;
    Frame(4000, 6000);
    // Slow steps toward larger x: far travelled (> 399) after eleven frames, never fast.
    for (int i = 1; i <= 11; ++i) Frame(static_cast<uint16_t>(4000 + 100 * i), 6000);
    EXPECT_EQ(gpubSameColumFlag[0], c.smoothed ? 1 : 0);
    EXPECT_EQ(gpubFastMoveFlag[0], 0);
    EXPECT_EQ(gpubSmoothFlag[0] != 0, c.smoothed);
  }
}

TEST_F(NoiseSmooth, FastFlagFollowsPositiveMotionOnly) {
  for (uint16_t s : {1, 2, 3, 4}) gpuwNewPointX[s] = 60000;
  Frame(30000, 30000);
  Frame(30900, 30000);  // nx = 900 > 815
  EXPECT_EQ(gpubFastMoveFlag[0], 1);
  Frame(30950, 30000);  // nx = 15 x 56 + 50 = 890, still above 815
  EXPECT_EQ(gpubFastMoveFlag[0], 1);
  SetUp();
  for (uint16_t s : {1, 2, 3, 4}) gpuwNewPointX[s] = 60000;
  Frame(30000, 30000);
  Frame(29000, 30000);  // a fast movement toward smaller x
  EXPECT_EQ(gpubFastMoveFlag[0], 0) << "negative motion does not set the flag";
  gpswSpeedX[0] = 60;
  FastMoveCheck(0);
  EXPECT_EQ(gpubFastMoveFlag[0], 1);
  gpswSpeedX[0] = 10;
  FastMoveCheck(0);
  EXPECT_EQ(gpubFastMoveFlag[0], 1) << "between the limits the flag stays";
  gpswSpeedX[0] = 4;
  gpswSpeedY[0] = 7;
  FastMoveCheck(0);
  EXPECT_EQ(gpubFastMoveFlag[0], 0);
}

// Taps of one finger in slot 0 (down for a frame, then up) at positions inside the
// recognition zone, with the duration mode allowed at frequency index 0.
class Taps : public ::testing::Test {
 protected:
  void SetUp() override {
    JitaiModeRecongniseInit();
    memset(&gstDurationXdata, 0, sizeof(gstDurationXdata));
    gstNoiseDurationCfg.aubData[1] = 0x01;
    gstThpAfeMoudleCfg.uiAfeWord = 0x0400;
    gstFreqHop.st.ubCurIndex = 0;
    memset(weight_, 0, sizeof(weight_));
    memset(rects_, 0, sizeof(rects_));
  }
  void Down(uint16_t x, uint16_t y, uint8_t points = 1) {
    weight_[0] = 100;
    x_[0] = x;
    y_[0] = y;
    Run(points);
  }
  void Up() {
    weight_[0] = 0;
    Run(0);
  }
  void Run(uint8_t points) {
    JitaiInput in{x_, y_, weight_, rects_, 1080 * 2, 2400 * 2, points};
    JitaiModeRecongniseProc(in);
  }
  void Tap(uint16_t x, uint16_t y, int n) {
    for (int i = 0; i < n; ++i) {
      Down(x, y);
      Up();
    }
  }
  uint16_t x_[12] = {}, y_[12] = {}, weight_[12];
  uint8_t rects_[48];
};

// A series is two taps in a row at one place. The very first tap matches the unset last
// position; at a new place the first tap only moves the last position, so a later series
// takes three taps there.
TEST_F(Taps, ThreeTapSeriesEnterTheModeAndThreeFingersLeaveIt) {
  Tap(500, 3000, 2);
  EXPECT_EQ(gstFingerJitai.aubCounter[1], 1);
  Tap(900, 4000, 3);  // more than 200 away
  EXPECT_EQ(gstFingerJitai.aubCounter[1], 2);
  Tap(500, 2000, 2);
  EXPECT_EQ(gstDurationXdata.ubKind, 0);
  Down(500, 2000);  // the third series completes with this tap
  EXPECT_EQ(gstFingerJitai.aubCounter[2], 1);
  EXPECT_EQ(gstDurationXdata.ubKind, 4);
  EXPECT_EQ(gstDurationXdata.ubCode, 5);
  Up();
  Down(1000, 1500);  // recognised: any tap in the zone keeps the mode
  EXPECT_EQ(gstDurationXdata.ubKind, 4);
  Down(1000, 1500, 3);
  EXPECT_EQ(gstFingerJitai.aubCounter[2], 0);
  EXPECT_EQ(gstDurationXdata.ubKind, 0);
  EXPECT_EQ(gstDurationXdata.ubCode, 6);
}

TEST_F(Taps, SlidingBeyondTheToleranceResetsAndLeaves) {
  Tap(500, 3000, 2);
  Tap(900, 4000, 3);
  Tap(500, 2000, 2);
  Down(500, 2000);
  ASSERT_EQ(gstDurationXdata.ubKind, 4);
  Down(500 + 400, 2000);  // a point without region extent: tolerance 500
  EXPECT_EQ(gstDurationXdata.ubKind, 4);
  Down(500 + 501, 2000);
  EXPECT_EQ(gstDurationXdata.ubKind, 0);
  EXPECT_EQ(gstFingerJitai.aubCounter[2], 0);
  EXPECT_EQ(gstFingerJitai.ubSlot, 0xFF);
}

TEST_F(Taps, TapsOutsideTheZoneOrFarApartAreNoPattern) {
  const struct {
    const char* name;
    uint16_t x, y, step;
  } cases[] = {{"below the zone", 500, 6000, 0},
               {"between the zones", 1050, 3000, 0},
               {"every tap 300 further", 1090, 1000, 300}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    for (int i = 0; i < 8; ++i) {
      Down(static_cast<uint16_t>(c.x + i * c.step), c.y);
      Up();
    }
    Down(c.x, c.y);
    EXPECT_EQ(gstDurationXdata.ubKind, 0);
    EXPECT_EQ(gstFingerJitai.aubCounter[2], 0);
  }
}

TEST_F(Taps, ModeIsNotTakenWhenTheFrequencyIsNotAllowed) {
  gstFreqHop.st.ubCurIndex = 1;
  Tap(300, 3000, 2);
  Tap(600, 3000, 3);
  Tap(300, 3000, 2);
  Down(300, 3000);
  EXPECT_EQ(gstFingerJitai.aubCounter[2], 1) << "recognised";
  EXPECT_EQ(gstDurationXdata.ubKind, 0) << "but the duration logic may not take the mode";
}

}  // namespace
