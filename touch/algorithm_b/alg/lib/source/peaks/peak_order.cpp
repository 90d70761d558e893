// Peak thresholds of the frame and the order of the peaks: peaks that continue last
// frame's touches keep last frame's order, new peaks follow strongest first, and in water a
// new touch must be present for some frames before it is taken.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "luma_calc.h"
#include "luma_env.h"
#include "luma_noise.h"
#include "luma_peaks.h"

extern "C" {
uint8_t g_ucLastOutputPtCnt;
}

namespace {

constexpr uint8_t kTaken = 0xFF;

uint8_t s_aucLastPeakOrder[2 * LUMA_MAX_PEAKS];
uint32_t s_uiLastPeakOrderNum;
uint8_t s_ucOrderWaterHold;
uint8_t s_aucPeakNumStableCnt[LUMA_MAX_POINTS];

bool AnyOf(std::initializer_list<bool> tests) {
  for (bool t : tests) {
    if (t) return true;
  }
  return false;
}

}  // namespace

extern "C" {

void AppSearchPeakThSet(uint8_t mode) {
  const LumaFwConfig &c = g_stFwConfig;
  LumaTdParam &p = g_stTdParam;
  p.ucByte1 = c.ucTdByte1;
  p.usScThr = c.usScPeakThr;
  p.usMcThr = static_cast<uint16_t>(c.usMcPeakThr - 50);
  if (mode == 1) return;
  // The tests stop at the first that holds: each may be costly to ask.
  if (g_usLikeNFNoiseFrame != 0 || g_stSysParam.ucGameMode != 0 || AppMcNoiseExist() != 0 ||
      AppIsWaterExist() != 0) {
    p.usMcThr = c.usMcPeakThr;
  }
  p.ssMcNegThr = static_cast<int16_t>(-c.usMcNegPeakThr);
  p.usScThr = (g_ucLastOutputPtCnt + g_EdgePalmHoldCnt == 0) ? c.usScNoTouchPeakThr : c.usScPeakThr;
}

void AppMcPeakInOrder(void) {
  LumaPeakData &pd = g_stPeakData;
  const uint8_t n = std::min<uint8_t>(pd.ucMcPosPeakNum, LUMA_MAX_PEAKS);
  const uint32_t last = std::min<uint32_t>(s_uiLastPeakOrderNum, LUMA_MAX_PEAKS);
  const uint8_t max_points = std::min<uint8_t>(g_stFwConfig.ucMaxPointNum, LUMA_MAX_POINTS);
  const uint8_t max_peaks = std::min<uint8_t>(g_stFwConfig.ucMaxPeakNum, LUMA_MAX_PEAKS);
  uint8_t work[2 * LUMA_MAX_PEAKS];
  std::memcpy(work, pd.aucMcPeakPos, 2 * n);

  uint8_t &h = s_ucOrderWaterHold;
  if (AppIsGameMode() == 0 && AppCurrentFrmIsWaterSta() != 0) {
    h = 3;
  } else if (AppIsGameMode() == 0 && AppIsWaterExist() != 0) {
    h = static_cast<uint8_t>(std::max(h - 1, 1));
  } else if (h > 0) {
    --h;
  }
  for (uint8_t k = 1; k <= LUMA_MAX_POINTS; ++k) {
    uint8_t &stable = s_aucPeakNumStableCnt[k - 1];
    if (n >= k) {
      if (stable < 255) ++stable;
    } else if (last <= n) {
      stable = 0;
    } else {
      stable = std::min(stable, h);
    }
  }

  uint8_t order[2 * LUMA_MAX_PEAKS];
  uint8_t q = 0;
  if (last > 0 && n > 0) {
    for (uint32_t j = 0; j < last; ++j) {
      int best = -1;
      int best_distance = 1023;
      for (uint8_t i = 0; i < n; ++i) {
        if (work[2 * i] == kTaken || AppMcPeakValidityCheck(i) == 0) continue;
        const int distance = std::abs(work[2 * i] - s_aucLastPeakOrder[2 * j]) +
                             std::abs(work[2 * i + 1] - s_aucLastPeakOrder[2 * j + 1]);
        if (distance < best_distance) {
          best_distance = distance;
          best = i;
        }
      }
      if (best < 0) continue;
      const uint8_t tx = work[2 * best];
      const uint8_t rx = work[2 * best + 1];
      if (AppMcGetDiff(tx, rx) < static_cast<int16_t>(AppGetTouchThr(tx))) continue;
      order[2 * q] = tx;
      order[2 * q + 1] = rx;
      ++q;
      work[2 * best] = kTaken;
    }
  }
  for (uint8_t k = q; k < max_points; ++k) {
    int best = -1;
    int16_t best_diff = 0;
    for (uint8_t i = 0; i < n; ++i) {
      if (work[2 * i] == kTaken || AppMcPeakValidityCheck(i) == 0) continue;
      const int16_t d = AppMcGetDiff(work[2 * i], work[2 * i + 1]);
      if (d > best_diff) {
        best_diff = d;
        best = i;
      }
    }
    if (best < 0) continue;
    const uint8_t tx = work[2 * best];
    const uint8_t rx = work[2 * best + 1];
    work[2 * best] = kTaken;
    if (AnyOf({s_aucPeakNumStableCnt[k] > h, n == 1 && AppIsEdgePeak(tx, rx), g_fod_resume_pressed != 0}) &&
        q < LUMA_MAX_PEAKS) {
      order[2 * q] = tx;
      order[2 * q + 1] = rx;
      ++q;
    }
  }

  std::memset(s_aucLastPeakOrder, 0xFF, 2 * max_points);
  if (q != 0) {
    uint8_t ranges[5 * LUMA_MAX_PEAKS];
    for (uint8_t j = 0; j < q; ++j) {
      for (uint8_t i = 0; i < n; ++i) {
        if (pd.aucMcPeakPos[2 * i] == order[2 * j] && pd.aucMcPeakPos[2 * i + 1] == order[2 * j + 1]) {
          std::memcpy(&ranges[5 * j], &pd.aucMcPeakRange[5 * i], 5);
          break;
        }
      }
    }
    const uint8_t kept = std::min(q, max_peaks);
    std::memcpy(pd.aucMcPeakRange, ranges, 5 * kept);
    std::memcpy(pd.aucMcPeakPos, order, 2 * kept);
    std::memcpy(s_aucLastPeakOrder, order, 2 * q);
    for (uint8_t j = 0; j < kept; ++j) AppMcSetPeakValidity(j, 1);
  }
  s_uiLastPeakOrderNum = q;
  pd.ucMcPosPeakNum = std::min(q, max_points);
}

uint8_t AppPeakInOrder(void) {
  AppMcPeakInOrder();
  return AppScRxDataIsExist(g_ucScReportSel) && AppScTxDataIsExist(g_ucScReportSel) ? 1 : 0;
}

void AppScPeakInOrder(void) {}

}  // extern "C"
