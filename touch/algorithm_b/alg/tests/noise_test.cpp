// Noise measurement: smoothing and history, the near-field-like rules and the noise state.
#include <gtest/gtest.h>

#include <cstring>

#include "luma_noise.h"

namespace {

class Noise : public ::testing::Test {
 protected:
  void SetUp() override {
    register_alg_module(nullptr);
    alg_module_init();
    std::memset(g_ucFreqChargeNoiseFifo, 0, sizeof(g_ucFreqChargeNoiseFifo));
    std::memset(g_ssMcNullFreqNoise, 0, sizeof(g_ssMcNullFreqNoise));
    // Ring positions and quiet counters live on from earlier frames: settle them quiet.
    g_stTouchData.ucLastPointNum = 1;
    for (int i = 0; i < 210; ++i) Frame({0, 0, 0, 0, 0, 0}, 0);
    g_stTouchData.ucLastPointNum = 0;
    Frame({0, 0, 0, 0, 0, 0}, 0);
    AppMcNoiseInit();
    g_ucOriMcDiffLargeMeanLevel = 0;
    g_stSysParam.ucChargeState = 0;
  }
  static void Frame(std::initializer_list<int16_t> reported, int16_t second) {
    int f = 0;
    for (int16_t v : reported) g_stMcNoise.assReported[f++] = v;
    for (int16_t &s : g_stMcNoise.assSecond) s = second;
    AppMainFreNoiseProc();
  }
};

TEST_F(Noise, SmoothingAndHistory) {
  Frame({400, 0, 0, 0, 0, 0}, 0);
  EXPECT_EQ(g_stMcNoise.assSmooth[0], 300);
  Frame({400, 0, 0, 0, 0, 0}, 0);
  EXPECT_EQ(g_stMcNoise.assSmooth[0], 375);  // (1200 + 300) / 4
  EXPECT_EQ(g_ssMcNullFreqNoise[0][1], 375);
  EXPECT_EQ(g_ssMcNullFreqNoise[0][2], 300);
  EXPECT_EQ(g_ssMcNullFreqNoise[0][21], 375);
  EXPECT_EQ(g_usFreqNoiseMax, 375);
  // Twenty negative values: the maximum floors at 0.
  for (int i = 0; i < 25; ++i) Frame({0, -40, 0, 0, 0, 0}, 0);
  EXPECT_EQ(static_cast<int16_t>(g_ssMcNullFreqNoise[1][1]), -40);
  EXPECT_EQ(g_ssMcNullFreqNoise[1][21], 0);
}

TEST_F(Noise, NearFieldLikeRulesOnlyWithACharger) {
  Frame({2500, 2500, 2500, 0, 0, 0}, 0);
  EXPECT_EQ(g_usLikeNFNoiseFrame, 0);
  EXPECT_EQ(g_usLikeNFNoiseFlg[0], 0);

  g_stSysParam.ucChargeState = 1;
  // Build history maxima above 500 on three frequencies, then a frame that fires rules 1 and 3.
  for (int i = 0; i < 4; ++i) Frame({2500, 2500, 2500, 0, 0, 0}, 0);
  EXPECT_EQ(g_usLikeNFNoiseFlg[0], 111);
  EXPECT_EQ(g_usLikeNFNoiseFlg[1], 0);
  EXPECT_EQ(g_usLikeNFNoiseFlg[2], 333);
  EXPECT_EQ(g_usLikeNFNoiseFrame, 2500);
  // With peaks output the frame before, the hold counts down in the same frame.
  g_stPeakData.ucLastOutPeakNum = 1;
  Frame({2500, 2500, 2500, 0, 0, 0}, 0);
  EXPECT_EQ(g_usLikeNFNoiseFrame, 2499);
  g_stPeakData.ucLastOutPeakNum = 0;
  g_stSysParam.ucChargeState = 0;
  Frame({0, 0, 0, 0, 0, 0}, 0);
  EXPECT_EQ(g_usLikeNFNoiseFrame, 0);
}

TEST_F(Noise, ThreeNoisyFramesMakeTheStateNoisyAndQuietTouchedFramesReleaseIt) {
  for (int i = 0; i < 3; ++i) Frame({400, 0, 0, 0, 0, 0}, 0);
  EXPECT_EQ(AppMcNoiseExist(), 2);
  EXPECT_EQ(g_stMcNoise.ucNoiseFound, 1);
  EXPECT_EQ(g_stPowerInfo[12], 3);
  EXPECT_EQ(g_stTdParam.usJitterLimit, 2000);

  // Quiet frames count only while touched; 200 of them and then an untouched frame
  // release the state.
  for (int i = 0; i < 10; ++i) Frame({0, 0, 0, 0, 0, 0}, 0);  // smoothing settles below 131
  g_stTouchData.ucLastPointNum = 0;
  for (int i = 0; i < 250; ++i) Frame({0, 0, 0, 0, 0, 0}, 0);
  EXPECT_EQ(AppMcNoiseExist(), 2);  // no touch: nothing counted
  g_stTouchData.ucLastPointNum = 1;
  for (int i = 0; i < 200; ++i) Frame({0, 0, 0, 0, 0, 0}, 0);
  EXPECT_EQ(AppMcNoiseExist(), 2);  // touched: the state stays
  g_stTouchData.ucLastPointNum = 0;
  Frame({0, 0, 0, 0, 0, 0}, 0);
  EXPECT_EQ(AppMcNoiseExist(), 0);
  EXPECT_EQ(g_stPowerInfo[12], 0);
  EXPECT_EQ(g_stTdParam.usJitterLimit, 1000);
}

TEST_F(Noise, SecondValueRaisesTheFlagOnAQuietState) {
  Frame({0, 0, 0, 0, 0, 0}, 80);
  EXPECT_EQ(g_stMcNoiseRepo.ucFlag, 1);
  EXPECT_EQ(g_stPowerInfo[12], 3);
  for (int i = 0; i < 32; ++i) Frame({0, 0, 0, 0, 0, 0}, 0);
  EXPECT_EQ(g_stMcNoiseRepo.ucFlag, 0);
}

TEST_F(Noise, ScHelpers) {
  // Tx water-line noise {5, -3, 2}: the reference becomes 5, then -3 and stays.
  std::memset(g_stFrmData.assScExtra[1], 0, sizeof(g_stFrmData.assScExtra[1]));
  g_stFrmData.assScExtra[1][38 + 0] = 5;
  g_stFrmData.assScExtra[1][38 + 1] = -3;
  g_stFrmData.assScExtra[1][38 + 2] = 2;
  AppScNoiseFilter(1, 0);
  EXPECT_EQ(g_ssScWaterTxNoise[0], 8);
  EXPECT_EQ(g_ssScWaterTxNoise[1], 0);
  EXPECT_EQ(g_ssScWaterTxNoise[2], 5);
  EXPECT_EQ(g_ssScWaterTxNoise[3], 3);

  std::memset(g_stFrmData.assScDiff[2], 0, sizeof(g_stFrmData.assScDiff[2]));
  g_stFrmData.assScDiff[2][10] = 300;
  EXPECT_EQ(AppGetScNouchPosEn(12, 38, 2, 280), 0);
  EXPECT_EQ(AppGetScNouchPosEn(13, 38, 2, 280), 1);
  EXPECT_EQ(AppGetScNouchPosEn(10, 38, -1, 280), 1);
  EXPECT_EQ(AppScDiffRemoveNoise(100, 5), 80);
  EXPECT_EQ(AppScDiffRemoveNoise(10, 5), 0);
}

TEST_F(Noise, SelfNoiseInitClearsBothRecords) {
  std::memset(g_stScNoise, 0x5A, sizeof(g_stScNoise));
  std::memset(g_stScNoiseRepo, 0x5A, sizeof(g_stScNoiseRepo));
  AppScNoiseInit();
  for (uint8_t b : g_stScNoise) EXPECT_EQ(b, 0);
  for (uint8_t b : g_stScNoiseRepo) EXPECT_EQ(b, 0);
  EXPECT_EQ(AppScHighNoise(), 0);
}

}  // namespace
