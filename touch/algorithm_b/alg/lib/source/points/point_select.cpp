// Point selection: which peaks with computed coordinates become the touch points of the
// frame. Weak, small or new peaks face a stricter test than the touches already followed,
// and a new weak touch is held back one frame.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "luma_env.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_peaks.h"

extern "C" {
int16_t g_ssLastMaxDiff;
uint8_t structForecastPointRange[LUMA_MAX_POINTS][7];
}

namespace {

constexpr int32_t kAreaStart = 500;
constexpr int16_t kHoldLevel = 500;
constexpr int16_t kStrongPeakThr = 220;

uint8_t s_ucFirstTouchHold;

bool Isolated(int tx, int rx) {
  const int16_t around[4] = {
      tx > 0 ? AppMcGetDiff(static_cast<uint8_t>(tx - 1), static_cast<uint8_t>(rx)) : int16_t{0},
      AppMcGetDiff(static_cast<uint8_t>(tx + 1), static_cast<uint8_t>(rx)),
      rx > 0 ? AppMcGetDiff(static_cast<uint8_t>(tx), static_cast<uint8_t>(rx - 1)) : int16_t{0},
      AppMcGetDiff(static_cast<uint8_t>(tx), static_cast<uint8_t>(rx + 1))};
  return std::none_of(std::begin(around), std::end(around), [](int16_t v) { return v > 99; });
}

bool OuterRing(int tx, int rx) {
  return tx == 0 || tx == g_stFwConfig.ucTxNum - 1 || rx == 0 || rx == g_stFwConfig.ucRxNum - 1;
}

}  // namespace

extern "C" {

void AppNormalModeProc(void) {
  LumaPeakData &pd = g_stPeakData;
  const uint8_t peaks = std::min<uint8_t>(pd.ucMcPosPeakNum, LUMA_MAX_PEAKS);
  const uint8_t last = g_stTouchData.ucLastPointNum;
  const uint8_t out = g_ucLastOutputPtCnt;
  const uint8_t held = g_EdgePalmHoldCnt;
  const int16_t largest = pd.ssMcMaxDiff;
  const bool water = AppIsWaterExist() != 0;
  const bool quiet = !(g_usLikeNFNoiseFrame != 0 || AppIsGameMode() != 0 || AppMcNoiseExist() != 0 || water ||
                       last >= 2 || g_ucTypingMode != 0);
  if (peaks == 0 && (!water || last == 0)) s_ucFirstTouchHold = 1;
  if (g_stSysParam.ucFodEnable != 0 || g_fod_resume_pressed != 0) s_ucFirstTouchHold = 0;
  std::memset(structForecastPointRange, 0xFF, sizeof(structForecastPointRange));
  if (peaks == 0) {
    pd.ucOutPeakNum = 0;
    g_stTouchData.ucPointNum = 0;
    g_ucDoubleModeCurPointNum = 0;
    g_ssLastMaxDiff = largest;
    return;
  }
  const bool charger_noise = g_stSysParam.ucChargeState != 0 && !quiet;
  int32_t area_limit = kAreaStart;
  uint8_t k = 0;
  for (uint8_t p = 0; p < peaks; ++p) {
    const int tx = pd.aucMcPeakPos[2 * p];
    const int rx = pd.aucMcPeakPos[2 * p + 1];
    const int16_t d = AppMcPeakGetDiff(p);
    const int32_t area = AppMcGetPeakAreaSum(p, 1);
    const bool isolated = Isolated(tx, rx);
    const LumaMcPeak &entry = pd.astMcPeakList[p];
    int16_t threshold = static_cast<int16_t>(g_stTdParam.usScThr);
    if (p >= 1 && p >= held + out) {
      threshold = static_cast<int16_t>(g_stFwConfig.usScNoTouchPeakThr);
      if (entry.ucStrongCnt >= 7 && entry.ulWeightSum > 1500) threshold = kStrongPeakThr;
    }
    if (d < threshold) {
      const bool survives = held + out == peaks && out == 1 && (area > area_limit || (quiet && peaks == 1)) &&
                            AppMcNoiseExist() == 0 && g_ucFwAdcOverLoadFlag == 0 && !charger_noise && !isolated;
      if (!survives) continue;
    }
    if (d < kHoldLevel && s_ucFirstTouchHold != 0 && !OuterRing(tx, rx)) {
      --s_ucFirstTouchHold;
      continue;
    }
    s_ucFirstTouchHold = 0;
    if (d <= threshold) {
      if (largest <= g_ssLastMaxDiff / 2) continue;
      int expected = peaks;
      if (area <= area_limit) {
        if (!quiet || (area <= 300 && isolated) || !(peaks == 1 && held + out == peaks)) continue;
        expected = 1;
      }
      if (expected != last) continue;
    } else if (AppMcIfMaxPeak(p) == 0) {
      if (out == 1 && 2 * d > area_limit && d < ((largest * 5) >> 3)) area_limit = 2 * d;
      if (area <= area_limit) continue;
    }
    if (AppMcPeakValidityCheck(p) == 0 || k >= LUMA_MAX_POINTS) continue;
    std::memcpy(&g_stTouchData.astPoint[k], &entry, sizeof(LumaPoint));
    uint8_t *f = structForecastPointRange[k];
    const uint8_t *range = &pd.aucMcPeakRange[5 * p];
    f[1] = static_cast<uint8_t>(tx);
    f[2] = static_cast<uint8_t>(rx);
    f[3] = range[2];
    f[4] = range[4];
    f[5] = range[1];
    f[6] = range[3];
    ++k;
  }
  pd.ucOutPeakNum = peaks;
  g_stTouchData.ucPointNum = k;
  g_ucDoubleModeCurPointNum = k;
  g_ssLastMaxDiff = largest;
}

void AppDoubleModeProc(void) { AppNormalModeProc(); }

}  // extern "C"
