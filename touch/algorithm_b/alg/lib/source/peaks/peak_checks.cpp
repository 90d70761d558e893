// Further peak checks the library exports for its callers: earlier or alternative forms of
// the near-field, sensitivity and line-noise rules. The per-frame flow does not call them;
// they work on the same records and keep the same rules as the filters it does call.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "luma_env.h"
#include "luma_noise.h"
#include "luma_peak_filter.h"
#include "luma_peaks.h"

using namespace luma_peak;

extern "C" {
uint16_t g_ucScNotMatchMcFrmCnt;
uint16_t g_usCheckNoiseDbgInfo[10];
uint16_t s_usNfInvalidDropCnt;
uint8_t s_ucSensAbnormalState;
}

namespace {

int16_t Diff(int tx, int rx) {
  if (tx < 0 || rx < 0 || tx > 255 || rx > 255) return 0;
  return AppMcGetDiff(static_cast<uint8_t>(tx), static_cast<uint8_t>(rx));
}

// 1 when peak k lies more than one line from peak 0 in either direction.
bool FarFromFirst(uint8_t k) {
  return std::abs(PeakTx(k) - PeakTx(0)) >= 2 || std::abs(PeakRx(k) - PeakRx(0)) >= 2;
}

}  // namespace

extern "C" {

void IsCoaxialJudgeByAllPeak(void) {
  if (PeakNum() == 0) {
    g_stSeriousFloatingMergeInfo[0] = 0;
    return;
  }
  const Spread s = PeakSpread();
  uint8_t cls = 0;
  if (s.tx > 8 && s.rx < 8) cls = 2;
  else if (s.tx < 8 && s.rx > 8) cls = 1;
  g_stSeriousFloatingMergeInfo[0] = cls;
}

void IsPeakInSameRowCheck(void) {
  const uint8_t n = PeakNum();
  uint8_t flag = 0;
  for (uint8_t i = 0; i < n && flag == 0; ++i) {
    for (uint8_t j = 0; j < n; ++j) {
      if (j != i && std::abs(PeakTx(j) - PeakTx(i)) < 4) {
        flag = 1;
        break;
      }
    }
  }
  g_bIsPeakInSameRowFlag = flag;
}

void AppNfInvalidFilter(void) {
  if (g_stSysParam.ucChargeState == 0 || g_usLikeNFNoiseFrame == 0) return;
  if (g_stPeakData.ssMcMaxDiff >= 2001 || g_stPeakData.ssMcMinDiff < -2000) DropFrame(0);
  LimitDropRun(s_usNfInvalidDropCnt);
}

uint8_t IsMayBeOneTouch(void) {
  const uint8_t n = PeakNum();
  for (uint8_t k = 1; k < n; ++k) {
    if (FarFromFirst(k)) return 0;
  }
  return 1;
}

void AppSensitivityAbnormalFilter(void) {
  uint8_t &s = s_ucSensAbnormalState;
  if (s == 255 && g_stTouchData.ucLastPointNum == 0 && g_stTouchData.ucPointNum == 0) {
    s = 0;
    return;
  }
  if (g_stTouchData.ucLastPointNum == 1 && g_stPeakData.ssMcMaxDiff < 600 && IsMayBeOneTouch() != 0) {
    const uint8_t n = PeakNum();
    for (uint8_t k = 0; k < n; ++k) {
      const int tx = PeakTx(k), rx = PeakRx(k);
      if (rx == 0 || rx == RxNum() - 1) continue;
      int pos = 0, neg = 0;
      for (int t = 0; t < TxNum(); ++t) {
        if (t == tx) continue;
        const int v = Diff(t, rx);
        pos += v > 130;
        neg += v < -130;
      }
      // A column with strong values of both signs beside a single touch: the panel's
      // sensitivity is off for a moment.
      if (pos != 0 && neg != 0 && pos + neg > 2 && s == 0) s = 2;
      if (pos == 1 && neg == 0) s = 0;
    }
  }
  if (s >= 1 && s <= 254) {
    s = static_cast<uint8_t>(s - 1 == 0 ? 255 : s - 1);
    DropFrame(0);
  }
}

uint8_t AppGetBigDiffNode(uint8_t rx, int16_t limit) {
  uint8_t count = 0;
  for (int t = 0; t < TxNum(); ++t) {
    if (std::abs(Diff(t, rx)) > limit) ++count;
  }
  return count;
}

void CheckUpDownNoiseFeature(void) {
  const uint8_t n = PeakNum();
  if (n == 0 || g_stPeakData.ssMcMaxDiff < 50) {
    g_ucScNotMatchMcFrmCnt = 0;
    std::memset(g_usCheckNoiseDbgInfo, 0, sizeof(g_usCheckNoiseDbgInfo));
    return;
  }
  uint16_t strong_edge = 0, inner = 0, big_first = 0, big_last = 0;
  for (uint8_t k = 0; k < n; ++k) {
    const int tx = PeakTx(k), rx = PeakRx(k);
    if (rx != 0 && rx < RxNum() - 1) inner = 1;
    if (rx != 0 && rx != RxNum() - 1) continue;
    const uint8_t big = AppGetBigDiffNode(static_cast<uint8_t>(rx), 130);
    (rx == 0 ? big_first : big_last) = big;
    // Strong nodes down an edge column that neither self line sees: noise of the edge
    // columns rather than a touch.
    if (big > 1 && ScRx1(rx) < 50 && ScTx1(tx) < 50) ++strong_edge;
  }
  if (strong_edge > 0) g_ucScNotMatchMcFrmCnt = 100;
  else if (g_ucScNotMatchMcFrmCnt != 0) --g_ucScNotMatchMcFrmCnt;
  g_usCheckNoiseDbgInfo[0] = strong_edge;
  g_usCheckNoiseDbgInfo[1] = static_cast<uint16_t>(inner + 880);
  g_usCheckNoiseDbgInfo[2] = g_ucScNotMatchMcFrmCnt;
  g_usCheckNoiseDbgInfo[3] = big_first;
  g_usCheckNoiseDbgInfo[4] = big_last;
}

void AppFilterSmallPeak(void) {
  if ((g_stTraceInfo.usTraceFlag & LUMA_TRACE_FLOAT_MASK) != 0x1000 || g_stSysParam.ucChargeState == 1 ||
      g_stTouchData.ucLastPointNum < 5)
    return;
  const int limit = std::max(250, g_stPeakData.ssMcMaxDiff >> 2);
  const uint8_t n = PeakNum();
  for (uint8_t k = 0; k < n; ++k) {
    const int tx = PeakTx(k), rx = PeakRx(k);
    const int v = AppMcPeakGetDiff(k);
    if (tx == 0 || rx == 0 || tx >= TxNum() - 1 || rx >= RxNum() - 1 || v >= limit) continue;
    bool higher = false;
    for (int dt = -1; dt <= 1 && !higher; ++dt) {
      for (int dr = -1; dr <= 1; ++dr) {
        if ((dt != 0 || dr != 0) && Diff(tx + dt, rx + dr) > v) {
          higher = true;
          break;
        }
      }
    }
    if (higher) AppMcSetPeakValidity(k, 0);
  }
  AppGetValidPeak();
}

// The near-field rule's first form, kept in the interface; its work is done by the
// frame filter that replaced it.
void AppMayBeNfNoiseFilter(void) {}

}  // extern "C"
