// Palm and pocket-palm: the size of the largest touch blob decides whether a frame is a
// palm; the decision is held a few frames and drops every peak of a palm frame. When the
// host has armed pocket-palm detection, two palm frames in a row enter the pocket-palm
// state and the first frame without a palm leaves it.
#include <algorithm>
#include <cstring>

#include "luma_env.h"
#include "luma_peaks.h"

extern "C" {
uint8_t g_FlgPockeyPlam;
uint8_t g_EnterPocketCnt = 1;
uint8_t g_PocketPlamInt;
uint16_t g_PocketPlamCnt;
uint8_t g_bPalmFlag;
uint8_t g_bPalmClerFlag;
uint8_t g_uCTempDriftFlag;
uint8_t g_stThumbExculdePalm[5];
uint8_t g_ucMcWaterCnt;
uint8_t g_stPalmData[4];
int16_t g_usDbgPocketPlamBuf[15];
}

namespace {

constexpr uint8_t kPocketArmed = 5;
constexpr uint8_t kPalmHold = 20;

uint8_t s_ucThumbHold;
uint8_t s_ucPalmHold;
uint8_t s_ucLargestSize;

bool Armed() { return g_stSysParam.ucPocketPalmFlag == kPocketArmed; }
bool Entered() { return g_stSysParam.ucPocketPalmState != 0; }
uint8_t Area1222Low() { return static_cast<uint8_t>(g_stPeakData.usMcOverCnt & 0xFF); }

void NotifyPocket(uint8_t state, const char *text) {
  if (alg_module_callback != nullptr && alg_module_callback->state_change != nullptr) {
    alg_module_callback->state_change(state);
  }
  AlgHostLog("%s", text);
}

// Edge-weighted level of a peak and the node threshold of its blob.
int32_t BlobThreshold(int tx, int rx, int32_t d) {
  int32_t u;
  if (tx == 0) {
    u = 5 * d / 8;
  } else {
    int32_t d1 = AppMcGetDiff(static_cast<uint8_t>(tx - 1), static_cast<uint8_t>(rx));
    if (d1 < 101) d1 = 100;
    u = 5 * (d1 / 4 + 3 * d / 4) / 8;
  }
  if (d >= 600) return u;
  if (d >= 400) return u >= 200 ? u / 2 : 100;
  return u >= 320 ? u / 4 : 80;
}

// Nodes of the rectangle below the threshold, scanned inward from both Rx ends of each row.
int32_t OutsideCount(const uint8_t *rect, int32_t threshold) {
  int32_t total = 0;
  for (int t = rect[0]; t <= rect[1]; ++t) {
    int32_t row = 0;
    int first = rect[3] + 1;
    for (int r = rect[2]; r <= rect[3]; ++r) {
      if (AppMcGetDiff(static_cast<uint8_t>(t), static_cast<uint8_t>(r)) >= threshold) {
        first = r;
        break;
      }
      if (row < 250) ++row;
    }
    for (int r = rect[3]; r > first; --r) {
      if (AppMcGetDiff(static_cast<uint8_t>(t), static_cast<uint8_t>(r)) >= threshold) break;
      if (row < 250) ++row;
    }
    total += row;
  }
  return total;
}

}  // namespace

extern "C" {

uint8_t AppIsCameraMode(void) { return g_stSysParam.ucCameraMode; }
uint8_t AppIsHiSampleRate(void) { return g_stSysParam.ucHiSampleRate; }

void AppPalmDataInit(void) { std::memset(g_stPalmData, 0, sizeof(g_stPalmData)); }

void AppBigHandCheck(void) {
  const int16_t *line = g_stFrmData.assScDiff[1];
  const int r = std::min<int>(g_stFrmInfo.aucCfgCopy[5], LUMA_SC_LINE_LEN);
  const int t = std::min<int>(g_stFrmInfo.aucCfgCopy[4], LUMA_SC_LINE_LEN - r);
  auto longest_run = [&](int from, int count, int *big) {
    int run = 0, most = 0;
    for (int i = from; i < from + count; ++i) {
      if (line[i] >= 101) {
        ++run;
        if (big != nullptr) ++*big;
        most = std::max(most, run);
      } else {
        run = 0;
      }
    }
    return static_cast<uint8_t>(std::min(most, 255));
  };
  int big = 0;
  g_ucScWaterRxConnectNum = longest_run(0, r, &big);
  g_ucScWaterBigNum = static_cast<uint8_t>(std::min(big, 255));
  g_ucScWaterTxConnectNum = longest_run(r, t, nullptr);
}

void AppSetPockeyFlag(void) {
  if (Armed() && !Entered() && g_FlgPockeyPlam == 0) {
    g_FlgPockeyPlam = 1;
    g_EnterPocketCnt = 1;
  }
}

void AppPockeyPlamEnter(void) {
  if (!Armed() || Entered() || g_FlgPockeyPlam != 1) return;
  if (g_EnterPocketCnt > 0) --g_EnterPocketCnt;
  if (g_EnterPocketCnt != 0) return;
  g_stSysParam.ucPocketPalmState = 1;
  g_PocketPlamInt = 1;
  ++g_PocketPlamCnt;
  NotifyPocket(1, "PocketPalmEnter");
}

void AppPockeyPlamEixt(void) {
  if (!Armed() || !Entered()) return;
  g_stSysParam.ucPocketPalmState = 0;
  g_PocketPlamInt = 1;
  NotifyPocket(0, "PocketPalmExit");
}

void AppPalmProcess(void) {
  const uint8_t c = g_stTouchData.ucLastPointNum;
  const uint8_t p = std::min<uint8_t>(g_stPeakData.ucMcPosPeakNum, LUMA_MAX_PEAKS);
  g_PocketPlamInt = 0;
  if ((c == 2 && p == 1) || (c == 1 && p >= 2)) s_ucThumbHold = 2;
  if (c == 2 && p == 2 && g_stThumbExculdePalm[3] == 2) g_stThumbExculdePalm[0] = 1;
  AppBigHandCheck();
  if (s_ucThumbHold != 0) {
    --s_ucThumbHold;
    if (g_stThumbExculdePalm[2] <= 1) g_stThumbExculdePalm[0] = g_stThumbExculdePalm[2];
    return;
  }
  const bool palm_current = g_bPalmFlag != 0;
  if (g_stThumbExculdePalm[0] == 1 && !palm_current) return;

  int32_t size = 0;
  int w = 0, h = 0;
  if (p == 0) {
    size = Area1222Low();
  } else {
    for (uint8_t k = 0; k < p; ++k) {
      if (AppMcPeakValidityCheck(k) == 0) continue;
      const int tx = g_stPeakData.aucMcPeakPos[2 * k];
      const int rx = g_stPeakData.aucMcPeakPos[2 * k + 1];
      const uint8_t *rect = &g_stPeakData.aucMcPeakRange[5 * k + 1];
      if (rect[1] < rect[0] || rect[3] < rect[2]) continue;
      const int kw = rect[1] - rect[0] + 1;
      const int kh = rect[3] - rect[2] + 1;
      int32_t candidate;
      if ((kw < 5 || kh < 5) && !palm_current) {
        candidate = std::min(kw, 250);
      } else {
        const int32_t threshold = BlobThreshold(tx, rx, AppMcPeakGetDiff(k));
        candidate = std::clamp<int32_t>(kw * kh - OutsideCount(rect, threshold), 0, 250);
      }
      if (candidate > size || (w == 0 && h == 0)) {
        size = std::max(size, candidate);
        w = kw;
        h = kh;
      }
    }
  }
  if (size > g_stFwConfig.ucPalmCorrectSize) {
    if (h < w) {
      size = std::min<int32_t>(size, std::min(h * h, 255));
      if (reinterpret_cast<const uint8_t *>(&g_stPeakData)[43] >= 2) size = std::max<int32_t>(size - 7, 0);
    } else if (size > std::min((h - w) * 4, 20)) {
      size -= std::min((h - w) * 4, 20);
    }
    if ((w > 10 || h > 10) && !Armed() && (AppIsWaterExist() != 0 || g_ucMcWaterCnt > 20)) {
      size = std::min<int32_t>(size, g_stPeakData.usMcOverCnt);
    }
  }
  if (size == 0) size = Area1222Low();

  int16_t *dbg = g_usDbgPocketPlamBuf;
  std::fill(dbg + 3, dbg + 10, 0);
  dbg[0] = static_cast<int16_t>(g_stSysParam.ucPocketPalmState + 100 * g_stSysParam.ucPocketPalmFlag);
  dbg[1] = static_cast<int16_t>(2000 * g_EnterPocketCnt + 20 * g_FlgPockeyPlam);
  dbg[2] = static_cast<int16_t>(size);
  if (g_bPalmClerFlag == 1) {
    g_bPalmClerFlag = 0;
    s_ucPalmHold = 0;
    g_bPalmFlag = 0;
  }
  int32_t low = 49;
  int32_t high = 16;
  if (AppIsWaterExist() != 0 && !Armed()) low = AppCurrentFrmIsWaterSta() != 0 ? 99 : 79;
  if (Armed() && s_ucRefreshCnt == 0) {
    low = 40;
    high = 20;
  }
  if (size == 0 || size > s_ucLargestSize) s_ucLargestSize = static_cast<uint8_t>(size);
  if (s_ucLargestSize < 70 && g_stPeakData.usMcOverCnt < 35) high = Armed() ? 1 : 10;
  dbg[3] = static_cast<int16_t>(low + 1000);
  dbg[4] = static_cast<int16_t>(high + 2000);
  dbg[5] = static_cast<int16_t>(s_ucPalmHold + 2000);

  bool palm;
  bool fresh = false;
  const int32_t nodes = g_stFrmInfo.aucCfgCopy[4] * g_stFrmInfo.aucCfgCopy[5];
  const int32_t over = g_stPeakData.usMcOverCnt;
  const int32_t under = g_stPeakData.usMcUnderCnt;
  if (size > low || (s_ucPalmHold != 0 && size > high)) {
    palm = fresh = true;
    dbg[6] = 2222;
  } else if (size == 0) {
    palm = false;
    s_ucPalmHold = 0;
    dbg[6] = 3333;
  } else if (over + under > nodes / 2 || over > nodes / 4 || under > nodes / 4) {
    palm = fresh = true;
    dbg[6] = 6666;
  } else {
    palm = s_ucPalmHold != 0;
  }
  if (palm) {
    if (fresh) {
      s_ucPalmHold = kPalmHold;
      dbg[7] = kPalmHold;
    }
    if ((under < 20 || g_uCTempDriftFlag == 1 || AppCurrentFrmIsWaterSta() != 0) && s_ucPalmHold > 0) --s_ucPalmHold;
    g_stPeakData.ucMcPosPeakNum = 0;
    g_bPalmFlag = 1;
  } else {
    g_bPalmFlag = 0;
    AppPockeyPlamEixt();
    g_FlgPockeyPlam = 0;
    g_EnterPocketCnt = 1;
  }
  dbg[8] = static_cast<int16_t>(g_stSysParam.ucPocketPalmState + 1000 * g_stSysParam.ucPocketPalmFlag);
  dbg[9] = static_cast<int16_t>(3000 * g_EnterPocketCnt + 30 * g_FlgPockeyPlam);
  AppPockeyPlamEnter();
  if (palm && Armed() && !Entered() && g_FlgPockeyPlam == 0) {
    g_FlgPockeyPlam = 1;
    g_EnterPocketCnt = 1;
  }
  dbg[10] = static_cast<int16_t>(5000 * g_EnterPocketCnt + 50 * g_FlgPockeyPlam);
}

}  // extern "C"
