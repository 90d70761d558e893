#pragma once
// A freshly initialised module with an empty 17 x 38 diff matrix and empty self lines, for
// the tests of the peak filters: nodes and self values are set by hand, the peak list is
// found by the real peak search or, where a rule is tested on its own, written directly.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "luma_debug.h"
#include "luma_env.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_peak_filter.h"
#include "luma_peaks.h"
#include "luma_search.h"
#include "module_state_test.h"

namespace {

class LumaPeakFixture : public ::testing::Test {
 protected:
  static constexpr int kTx = 17;
  static constexpr int kRx = 38;

  void SetUp() override {
    luma_test::ResetModuleState();
    ASSERT_EQ(g_stFrmData.pssMcDiff, g_stFrmData.assMcDiff);
    ASSERT_EQ(g_stFwConfig.ucTxNum, kTx);
    ASSERT_EQ(g_stFwConfig.ucRxNum, kRx);
    std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
    std::memset(g_stFrmData.assScDiff, 0, sizeof(g_stFrmData.assScDiff));
    std::memset(g_ssMcDiffLast, 0, sizeof(g_ssMcDiffLast));
    std::memset(g_ssMc2TxDiffer, 0, sizeof(g_ssMc2TxDiffer));
    std::memset(g_stFrmData.assMcRxProj, 0, sizeof(g_stFrmData.assMcRxProj));
    std::memset(g_stFrmData.assMcTxProj, 0, sizeof(g_stFrmData.assMcTxProj));
    std::memset(stWaterRect, 0, sizeof(stWaterRect));
    std::memset(g_ssScWaterTxNoise, 0, sizeof(g_ssScWaterTxNoise));
    std::memset(g_ssScWaterRxNoise, 0, sizeof(g_ssScWaterRxNoise));
    std::memset(structForecastPointRange, 0xFF, sizeof(structForecastPointRange));
    g_stSysParam.ucChargeState = 0;
    g_stTouchData.ucLastPointNum = 0;
    g_stTouchData.ucPointNum = 0;
    g_stPeakData.ucLastOutPeakNum = 0;
    g_stPeakData.ucPeakSearchAux = 0;
    g_ucMcPeakSearchMod = 0;
    AppSearchPeakThSet(1);  // mutual threshold 130, negative -180
    g_usFrameDropPos = 0;
    Valid(true);
  }

  static void Set(int tx, int rx, int16_t v) { g_stFrmData.assMcDiff[tx * kRx + rx] = v; }
  static int16_t At(int tx, int rx) { return g_stFrmData.assMcDiff[tx * kRx + rx]; }
  // Slot-1 self values: sense line rx, drive line tx.
  static int16_t &ScRx(int rx) { return g_stFrmData.assScDiff[1][rx]; }
  static int16_t &ScTx(int tx) { return g_stFrmData.assScDiff[1][kRx + tx]; }
  // A fingertip: `centre` at the node, half of it on the four direct neighbours.
  static void Finger(int tx, int rx, int16_t centre) {
    Set(tx, rx, centre);
    const int16_t side = static_cast<int16_t>(centre / 2);
    if (tx > 0) Set(tx - 1, rx, side);
    if (tx < kTx - 1) Set(tx + 1, rx, side);
    if (rx > 0) Set(tx, rx - 1, side);
    if (rx < kRx - 1) Set(tx, rx + 1, side);
  }
  // The real peak search over the matrix as it stands.
  static void Search() { AppSearchPeakPoint(); }
  // A peak list written directly, all valid; the frame's extremes come from the matrix.
  static void Peaks(const std::vector<std::pair<int, int>> &peaks) {
    LumaPeakData &pd = g_stPeakData;
    std::memset(pd.aucMcPeakValidMap, 0, sizeof(pd.aucMcPeakValidMap));
    pd.ucMcPosPeakNum = static_cast<uint8_t>(peaks.size());
    int16_t most = -32767, least = 32767;
    for (int t = 0; t < kTx; ++t) {
      for (int r = 0; r < kRx; ++r) {
        if (At(t, r) > most) {
          most = At(t, r);
          pd.ucMcMaxTx = static_cast<uint8_t>(t);
          pd.ucMcMaxRx = static_cast<uint8_t>(r);
        }
        least = std::min(least, At(t, r));
      }
    }
    pd.ssMcMaxDiff = most;
    pd.ssMcMinDiff = least;
    for (size_t k = 0; k < peaks.size(); ++k) {
      pd.aucMcPeakPos[2 * k] = static_cast<uint8_t>(peaks[k].first);
      pd.aucMcPeakPos[2 * k + 1] = static_cast<uint8_t>(peaks[k].second);
      uint8_t *range = &pd.aucMcPeakRange[5 * k];
      range[0] = 1;
      range[1] = range[2] = static_cast<uint8_t>(peaks[k].first);
      range[3] = range[4] = static_cast<uint8_t>(peaks[k].second);
      AppMcSetPeakValidity(static_cast<uint8_t>(k), 1);
    }
  }
  static std::vector<std::pair<int, int>> PeakList() {
    std::vector<std::pair<int, int>> out;
    for (int k = 0; k < g_stPeakData.ucMcPosPeakNum; ++k)
      out.emplace_back(g_stPeakData.aucMcPeakPos[2 * k], g_stPeakData.aucMcPeakPos[2 * k + 1]);
    return out;
  }
  static void Valid(bool valid) {
    g_stFrmData.usFrmFlag = static_cast<uint16_t>(valid ? (g_stFrmData.usFrmFlag | LUMA_FRM_VALID)
                                                        : (g_stFrmData.usFrmFlag & ~LUMA_FRM_VALID));
  }
  static bool IsValid() { return AppFrameIsValid() != 0; }
  static void NearField() {
    g_stSysParam.ucChargeState = 1;
    g_usLikeNFNoiseFrame = 10;
  }
};

}  // namespace
