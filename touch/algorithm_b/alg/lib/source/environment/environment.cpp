// The touch environment of a frame, kept as bits of the trace state word: a real touch,
// stable peaks, a large area, residual touch or water after power-on, water on the panel
// (latched with hysteresis) and the floating (ungrounded) state; plus a temperature-drift
// detector and the self-line tests behind them.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "luma_env.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_peaks.h"

extern "C" {
uint8_t g_ucWaterOnStsCnt;
uint8_t g_ucExitWaterOnStsCnt;
uint8_t g_ucCurFrmWaterFlag;
uint8_t g_ucCurFrmFloatingWaterFlag;
uint8_t g_ucUnlockWaterState;
uint16_t g_usWaterHistory;
uint16_t g_usRainWaterCnt;
uint8_t g_ucScWaterBigNum;
uint8_t g_ucScWaterRxConnectNum;
uint8_t g_ucScWaterTxConnectNum;
uint8_t g_ucLastMcPeakNum;
uint8_t g_aucLastMcPosPeakPos[2 * LUMA_MAX_PEAKS];
uint16_t g_ausLastMcPosPeakDiff[LUMA_MAX_PEAKS];
int16_t g_assScRxNormalFifo[3];
int16_t g_assScRxWaterFifo[3];
int16_t g_ssScFloatingCheckDebug[10];
uint8_t g_ucLastTraceTempState;
uint8_t g_usMayBeCdmaNoiseFlag;
uint16_t g_usMcScPeakNotMatchNum;
int16_t g_ssRefreshSetPos;
}

namespace {

constexpr uint8_t kWaterLatchCount = 6;
constexpr uint8_t kWaterExitLimit = 120;
constexpr uint16_t kWaterHistory = 719;
constexpr uint16_t kRainHold = 1000;

uint8_t s_ucNoPointFrames;
uint8_t s_ucPrevFloatingState;
uint8_t s_ucTempPosCnt;
uint8_t s_ucTempNegCnt;

uint16_t &Flags() { return g_stTraceInfo.usTraceFlag; }
void Set(uint16_t bits) { Flags() = static_cast<uint16_t>(Flags() | bits); }
void Clear(uint16_t bits) { Flags() = static_cast<uint16_t>(Flags() & ~bits); }
bool Has(uint16_t bits) { return (Flags() & bits) != 0; }

uint8_t TxCount() { return g_stFrmInfo.aucCfgCopy[4]; }
uint8_t RxCount() { return std::min<uint8_t>(g_stFrmInfo.aucCfgCopy[5], LUMA_SC_LINE_LEN); }
int16_t McThr() { return static_cast<int16_t>(g_stFwConfig.usMcPeakThr); }
const int16_t *Slot(int s) { return g_stFrmData.assScDiff[s]; }

// Self water threshold and self residual threshold of the trace state. The residual
// threshold is the trace byte taken from configuration byte 433.
int16_t Sw() { return static_cast<int16_t>(g_stTraceInfo.usTraceWord12); }
int16_t Sr() { return g_stTraceInfo.ucTraceByte15; }
int16_t TdWord(int k) { return static_cast<int16_t>(g_stTdParam.ausWords20[k - 10]); }

// Fields of the peak search read by position in the peak record.
int16_t PeakI16(int pos) {
  int16_t v;
  std::memcpy(&v, reinterpret_cast<const uint8_t *>(&g_stPeakData) + pos, sizeof(v));
  return v;
}
uint8_t PeakU8(int pos) { return reinterpret_cast<const uint8_t *>(&g_stPeakData)[pos]; }

uint8_t PeakCount() { return std::min<uint8_t>(g_stPeakData.ucMcPosPeakNum, LUMA_MAX_PEAKS); }
uint8_t NegCount() { return std::min<uint8_t>(g_stPeakData.ucMcNegPeakNum, LUMA_MAX_PEAKS); }
uint8_t PeakTx(int p) { return g_stPeakData.aucMcPeakPos[2 * p]; }
uint8_t PeakRx(int p) { return g_stPeakData.aucMcPeakPos[2 * p + 1]; }
uint8_t NegTx(int p) { return g_stPeakData.aucMcNegPeakPos[2 * p]; }
uint8_t NegRx(int p) { return g_stPeakData.aucMcNegPeakPos[2 * p + 1]; }

// Largest (M) and smallest (m) slot value over the Rx entries that the mutual projection
// marks as touched; false when none is marked.
bool MarkedExtremes(int slot, int16_t *largest, int16_t *smallest, uint8_t *index) {
  bool any = false;
  int16_t most = -32768, least = 32767;
  for (int i = 0; i < RxCount(); ++i) {
    if (Slot(2)[i] < McThr() / 2) continue;
    any = true;
    const int16_t v = Slot(slot)[i];
    most = std::max(most, v);
    if (v < least) {
      least = v;
      *index = static_cast<uint8_t>(i);
    }
  }
  *largest = most;
  *smallest = least;
  return any;
}

// |m| against |M|: larger, and by half again in game mode or while water exists.
bool NegativeDominates(int16_t most, int16_t least, bool strict) {
  const int32_t a = std::abs(static_cast<int32_t>(least));
  const int32_t b = std::abs(static_cast<int32_t>(most));
  if (a <= b) return false;
  return strict ? 2 * a > 3 * b : true;
}

bool DropTest(int16_t t0, int16_t t1, int start) {
  for (int i = start; i <= RxCount() - start - 1; ++i) {
    if (std::abs(Slot(1)[i]) < t1 && Slot(2)[i] > McThr() / 2 && Slot(0)[i] - Slot(1)[i] > t0) return true;
  }
  return false;
}

bool RxNormalWaterAt(int rx, int16_t limit) {
  const int r = RxCount();
  if (Slot(0)[rx] < Sr() / 2 || g_stFrmData.assMcRxAbsProj[rx] < 201) return false;
  int16_t most = std::max(Slot(1)[rx - 1], Slot(1)[rx]);
  if (rx + 1 < r) most = std::max(most, Slot(1)[rx + 1]);
  return most < 80 && g_stFrmData.assMcRxProj[rx] < limit;
}

bool AnyPeakFailsRxCheck(int slot, int16_t level, bool negative_list) {
  const uint8_t n = negative_list ? NegCount() : PeakCount();
  for (uint8_t p = 0; p < n; ++p) {
    const uint8_t rx = negative_list ? NegRx(p) : PeakRx(p);
    if (rx < RxCount() && AppScRxPeakCheck(static_cast<uint8_t>(slot), rx, level) == 0) return true;
  }
  return false;
}

}  // namespace

extern "C" {

// ---- Queries ---------------------------------------------------------------------------

uint8_t AppIsWaterExist(void) {
  return (Has(LUMA_TRACE_WATER) || g_ucUnlockWaterState != 0 || g_stSysParam.ucWaterFlag == 1) ? 1 : 0;
}
uint8_t AppIsWaterDetectingSta(void) { return g_ucWaterOnStsCnt >= 2 && AppIsWaterExist() == 0 ? 1 : 0; }
uint8_t AppCurrentFrmIsWaterSta(void) { return AppIsWaterExist() != 0 && g_ucCurFrmWaterFlag != 0 ? 1 : 0; }
uint8_t AppCurrentFrmIsFloatingWater(void) {
  return AppIsWaterExist() != 0 && g_ucCurFrmFloatingWaterFlag != 0 ? 1 : 0;
}
uint16_t AppExistWaterHistory(void) { return g_usWaterHistory; }
void AppWaterClearStatus(void) {
  Clear(LUMA_TRACE_WATER);
  g_ucWaterOnStsCnt = 0;
}

int16_t AppWaterChGetNearDiff(const int16_t *line, uint8_t index, uint8_t first, uint8_t last) {
  if (line == nullptr || index < first || index > last) return 0;
  int16_t most = line[index];
  if (index > first) most = std::max(most, line[index - 1]);
  if (index < last) most = std::max(most, line[index + 1]);
  return most;
}

void AppTemperatureStsCheckLite(void) {}

// ---- Detectors -------------------------------------------------------------------------

uint8_t AppScRxDropWaterDetect(int16_t t0, int16_t t1, uint8_t start) { return DropTest(t0, t1, start) ? 1 : 0; }
uint8_t AppMcTouchFloatingDetect(int16_t t0, int16_t t1, uint8_t start) { return DropTest(t0, t1, start) ? 1 : 0; }

uint8_t AppFloatingCheck(uint8_t start) {
  int32_t s0 = 0, s2 = 0;
  for (int i = start; i <= RxCount() - start - 1; ++i) {
    if (Slot(2)[i] <= McThr() / 2) continue;
    s2 += Slot(2)[i];
    s0 += Slot(0)[i];
  }
  return 3 * s0 <= s2 ? 1 : 0;
}

uint8_t ScNegPeakValidCheck(uint8_t slot, uint8_t *index) {
  if (slot >= LUMA_SC_SLOTS) return 0;
  int16_t most, least;
  uint8_t at = 0;
  if (!MarkedExtremes(slot, &most, &least, &at)) return 0;
  if (index != nullptr) *index = at;
  if (!NegativeDominates(most, least, false)) return 0;
  if (AppIsGameMode() != 0 || AppIsWaterExist() != 0) return NegativeDominates(most, least, true) ? 1 : 0;
  return 1;
}

uint8_t AppRemoveTouchAfterPowerOnCheck(uint8_t rx) {
  if (AppScHighNoise() != 0 || NegCount() == 0) return 0;
  const int16_t w13 = TdWord(13);
  if (PeakU8(178) == 0 && (rx >= RxCount() || Slot(0)[rx] >= -w13)) return 0;
  return AnyPeakFailsRxCheck(0, static_cast<int16_t>(-w13), true) ? 1 : 0;
}

uint8_t RemoveWaterAfterPowerOnCheck(void) {
  if (AppScHighNoise() != 0) return 0;
  return AnyPeakFailsRxCheck(0, static_cast<int16_t>(-Sr()), false) ? 1 : 0;
}

uint16_t AppCalMcScPeakNotMatchNum(void) {
  const int32_t largest = g_stPeakData.ssMcMaxDiff;
  const int32_t limit = std::max<int32_t>(largest < 1202 ? 2 * largest / 3 : 800, 280);
  const auto rx_level = static_cast<int16_t>(TdWord(13) / 2);
  const auto tx_level = static_cast<int16_t>(TdWord(12) / 2);
  uint16_t count = 0;
  for (uint8_t p = 0; p < PeakCount(); ++p) {
    if (AppMcPeakValidityCheck(p) == 0) continue;
    const int tx = PeakTx(p);
    const int rx = PeakRx(p);
    if (AppMcPeakGetDiff(p) < limit) g_usMayBeCdmaNoiseFlag = 1;
    auto near_rx = [&](int i) { return i >= 0 && i < RxCount() && AppScRxPeakCheck(1, static_cast<uint8_t>(i), rx_level) != 0; };
    auto near_tx = [&](int i) { return i >= 0 && i < TxCount() && AppScTxPeakCheck(1, static_cast<uint8_t>(i), tx_level) != 0; };
    const bool rx_ok = near_rx(rx) || near_rx(rx - 1) || near_rx(rx + 1);
    const bool tx_ok = near_tx(tx) || near_tx(tx - 1) || near_tx(tx + 1);
    if (!(rx_ok && tx_ok)) ++count;
  }
  g_usMcScPeakNotMatchNum = count;
  return count;
}

uint8_t AppIsolatedNegPeakDetect(void) {
  if (g_ucScWaterBigNum > 10 || NegCount() == 0) return 0;
  int32_t limit = McThr();
  const int16_t *m = g_stFrmData.pssMcDiff;
  const int stride = g_stFwConfig.ucRxNum;
  for (uint8_t p = 0; p < NegCount(); ++p) {
    const int tx = NegTx(p);
    const int rx = NegRx(p);
    if (tx >= TxCount() || rx >= RxCount()) continue;
    limit = std::max<int32_t>(limit, std::abs(static_cast<int32_t>(AppMcGetDiff(static_cast<uint8_t>(tx), static_cast<uint8_t>(rx)))) / 2);
    if (rx == 0 || rx == RxCount() - 1 || Slot(0)[rx] < Sr() / 2) continue;
    bool quiet = true;
    for (int t = 0; t < TxCount() && quiet; ++t) quiet = m[t * stride + rx] <= limit;
    for (int r = 0; r < RxCount() && quiet; ++r) quiet = m[tx * stride + r] <= limit;
    if (quiet) return 1;
  }
  return 0;
}

uint8_t AppMcRxNormalWaterCheck(void) {
  bool visited[LUMA_SC_LINE_LEN] = {};
  const int r = RxCount();
  for (uint8_t p = 0; p < PeakCount(); ++p) {
    const int rx = PeakRx(p);
    if (rx <= 0 || rx >= r - 1 || visited[rx]) continue;
    visited[rx] = true;
    if (RxNormalWaterAt(rx, -30)) return 1;
  }
  // The peaks of the absolute projection, strongest at or above 201, not visited yet.
  int found = 0;
  for (int rx = 1; rx < r - 1 && found < g_stFwConfig.ucMaxScPeakNum; ++rx) {
    const int16_t *line = g_stFrmData.assMcRxAbsProj;
    if (line[rx] <= 200 || line[rx] < line[rx - 1] || line[rx] < line[rx + 1]) continue;
    ++found;
    if (visited[rx]) continue;
    visited[rx] = true;
    if (RxNormalWaterAt(rx, -50)) return 1;
  }
  return 0;
}

uint8_t AppMcHugeWaterDetect(void) {
  if (g_ucScWaterBigNum > 10 || PeakCount() == 0) return 0;
  const LumaFrmData &d = g_stFrmData;
  for (int i = 0; i < RxCount(); ++i) {
    if (d.assMcRxProj[i] > 300) return 0;
  }
  for (int i = 0; i < TxCount() && i < LUMA_SC_LINE_LEN; ++i) {
    if (d.assMcTxProj[i] > 300) return 0;
  }
  const int32_t low = std::abs(static_cast<int32_t>(g_stPeakData.ssMcMinDiff));
  const int32_t high = std::abs(static_cast<int32_t>(g_stPeakData.ssMcMaxDiff));
  if (low <= high * 4 / 5) return 0;
  return d.slMcRxProjSum < PeakCount() * 500 ? 1 : 0;
}

uint8_t AppCheckTemperatureDrift(void) {
  const int16_t *m = g_stFrmData.pssMcDiff;
  int32_t n = 0, p = 0, q = 0;
  for (int t = 0; t < TxCount(); t += 2) {
    for (int r = 0; r < RxCount(); r += 2) {
      const int16_t v = m[t * g_stFwConfig.ucRxNum + r];
      ++n;
      if (v >= 51 && v <= 599) ++p;
      if (v >= -599 && v <= -51) ++q;
    }
  }
  if (4 * p > 3 * n && 8 * q < n) {
    s_ucTempNegCnt = 0;
    if (s_ucTempPosCnt < 255) ++s_ucTempPosCnt;
    if (s_ucTempPosCnt >= 6) g_ucLastTraceTempState = 1;
  } else if (4 * q > 3 * n && 8 * p < n) {
    s_ucTempPosCnt = 0;
    if (s_ucTempNegCnt < 255) ++s_ucTempNegCnt;
    if (s_ucTempNegCnt >= 6) g_ucLastTraceTempState = 2;
  } else {
    g_ucLastTraceTempState = 0;
    s_ucTempPosCnt = s_ucTempNegCnt = 0;
  }
  return g_ucLastTraceTempState;
}

int8_t AppTemperatureScAbnormalCheck(const int16_t *line, int16_t t) {
  if (line == nullptr || RxCount() < 3) return 0;
  int16_t least = 32767, most = -32768;
  for (int i = 1; i <= RxCount() - 2; ++i) {
    least = std::min(least, line[i]);
    most = std::max(most, line[i]);
  }
  if (least > t) return 1;
  if (most < -t) return -1;
  return 0;
}

// ---- Per-frame entries ------------------------------------------------------------------

uint16_t AppWaterStsCheck(void) {
  if (g_stTouchData.ucLastPointNum == 0) {
    if (s_ucNoPointFrames >= 10) g_ucCurFrmWaterFlag = 0;
    if (s_ucNoPointFrames < 255) ++s_ucNoPointFrames;
  } else {
    s_ucNoPointFrames = 0;
  }
  g_ucCurFrmFloatingWaterFlag = 0;
  g_ucUnlockWaterState = 0;
  if (Has(LUMA_TRACE_WATER) || g_stSysParam.ucWaterFlag == 1) {
    g_usWaterHistory = kWaterHistory;
  } else if (g_ucWaterOnStsCnt >= 3 && g_usWaterHistory < 240) {
    g_usWaterHistory = 239;
  } else if (g_usWaterHistory > 0) {
    --g_usWaterHistory;
  }

  // Strong touches spread across the panel are hands, not water.
  int strong = 0, tx_lo = 255, tx_hi = 0, rx_lo = 255, rx_hi = 0;
  for (uint8_t p = 0; p < PeakCount(); ++p) {
    if (AppMcPeakGetDiff(p) < 601) continue;
    ++strong;
    tx_lo = std::min<int>(tx_lo, PeakTx(p));
    tx_hi = std::max<int>(tx_hi, PeakTx(p));
    rx_lo = std::min<int>(rx_lo, PeakRx(p));
    rx_hi = std::max<int>(rx_hi, PeakRx(p));
  }
  if (AppIsWaterExist() == 0 && strong >= 3 && (tx_hi - tx_lo > 10 || rx_hi - rx_lo > 17)) {
    return static_cast<uint16_t>(Sr());
  }

  const int r = RxCount();
  const int t = std::min<int>(TxCount(), LUMA_SC_LINE_LEN - r);
  int a = 0, b = 0, g = 0;
  for (int i = 0; i < r + t; ++i) a += Slot(1)[i] > Sw() ? 1 : 0;
  for (int i = 0; i < r; ++i) b += Slot(2)[i] > McThr() ? 1 : 0;
  for (int i = 0; i < r; ++i) g += g_stFrmData.assMcRxProj[i] < -300 ? 1 : 0;
  for (int i = 0; i < t; ++i) g += g_stFrmData.assMcTxProj[i] < -300 ? 1 : 0;

  uint8_t water = 0;
  if (a == 0 && b > 0 && r >= 5 && DropTest(Sr(), Sw(), 2)) water = 1;
  if (water == 0) {
    if (AppMcHugeWaterDetect() != 0) {
      water = 1;
      g_ucCurFrmFloatingWaterFlag |= 1;
    } else if (AppIsolatedNegPeakDetect() != 0 || AppMcRxNormalWaterCheck() != 0) {
      water = 1;
    }
  }
  g_ucCurFrmWaterFlag |= water;
  if (g >= 2) {
    g_ucCurFrmWaterFlag |= 1;
    water = 1;
  }

  if (water != 0) {
    if (!Has(LUMA_TRACE_RESIDUAL | LUMA_TRACE_RESIDUAL_WATER) && g_ucFwAdcOverLoadFlag == 0) {
      const uint8_t before = g_ucWaterOnStsCnt;
      if (g_ucWaterOnStsCnt < kWaterLatchCount) {
        ++g_ucWaterOnStsCnt;
        if (g_ucExitWaterOnStsCnt > 0) --g_ucExitWaterOnStsCnt;
      } else {
        Set(LUMA_TRACE_WATER);
        g_ucExitWaterOnStsCnt = 0;
      }
      if (before > 2) g_usRainWaterCnt = kRainHold;
    }
  } else if (Has(LUMA_TRACE_WATER)) {
    if (b == 0) {
      ++g_ucExitWaterOnStsCnt;
      if (g_ucWaterOnStsCnt > 0) --g_ucWaterOnStsCnt;
    }
    if (g_ucExitWaterOnStsCnt > kWaterExitLimit) {
      g_ucExitWaterOnStsCnt = kWaterExitLimit;
      Clear(LUMA_TRACE_WATER);
      g_ucWaterOnStsCnt = 0;
    }
  } else if (g_ucWaterOnStsCnt > 0) {
    --g_ucWaterOnStsCnt;
  }
  if (b == 0 && g_usRainWaterCnt > 0) --g_usRainWaterCnt;
  return water;
}

uint8_t AppEnvironmentCheck(void) {
  Clear(LUMA_TRACE_TOUCH);
  for (uint8_t p = 0; p < PeakCount(); ++p) {
    if (AppMcPeakGetDiff(p) > McThr()) {
      Set(LUMA_TRACE_TOUCH);
      break;
    }
  }
  Clear(LUMA_TRACE_LARGE | LUMA_TRACE_STABLE);
  if (g_stPeakData.usMcOverCnt + g_stPeakData.usMcUnderCnt > g_stTraceInfo.usMcThr) Set(LUMA_TRACE_LARGE);

  bool stable = true;
  for (uint8_t j = 0; j < std::min<uint8_t>(g_ucLastMcPeakNum, LUMA_MAX_PEAKS) && stable; ++j) {
    const int16_t now = AppMcGetDiff(g_aucLastMcPosPeakPos[2 * j], g_aucLastMcPosPeakPos[2 * j + 1]);
    stable = std::abs(now - static_cast<int16_t>(g_ausLastMcPosPeakDiff[j])) <= g_stTraceInfo.usTraceThr2;
  }
  if (stable) Set(LUMA_TRACE_STABLE);
  for (uint8_t p = 0; p < PeakCount(); ++p) {
    g_aucLastMcPosPeakPos[2 * p] = PeakTx(p);
    g_aucLastMcPosPeakPos[2 * p + 1] = PeakRx(p);
    g_ausLastMcPosPeakDiff[p] = static_cast<uint16_t>(AppMcPeakGetDiff(p));
  }
  g_ucLastMcPeakNum = PeakCount();
  Clear(LUMA_TRACE_RESIDUAL | LUMA_TRACE_RESIDUAL2 | LUMA_TRACE_RESIDUAL_WATER);

  // Residual touch and water left on the panel at power-on: the base was taken with them,
  // so they show as negative self values where the mutual projection sees a touch.
  int16_t most, least;
  uint8_t at = 0;
  const bool strict = AppIsGameMode() != 0 || AppIsWaterExist() != 0;
  if (MarkedExtremes(0, &most, &least, &at) && NegativeDominates(most, least, strict)) {
    if (AppRemoveTouchAfterPowerOnCheck(at) != 0) Set(LUMA_TRACE_RESIDUAL | LUMA_TRACE_RESIDUAL2);
    if (RemoveWaterAfterPowerOnCheck() != 0) Set(LUMA_TRACE_RESIDUAL_WATER);
  }

  if (AppIsGameMode() == 0 && AppCalMcScPeakNotMatchNum() != 0 && g_stPeakData.ssMcMaxDiff < 500 &&
      AppScHighNoise() == 0 && (PeakI16(208) < -300 || PeakI16(216) < -300 || PeakI16(206) < -300)) {
    Set(LUMA_TRACE_RESIDUAL);
    g_ssRefreshSetPos = static_cast<int16_t>(g_ssRefreshSetPos | 4);
  }
  return static_cast<uint8_t>(AppWaterStsCheck());
}

void AppGetTouchEnvironmentStates(void) {
  Clear(LUMA_TRACE_FLOAT_MASK);
  if (g_stSysParam.ucChargeState != 0) {
    Set(LUMA_TRACE_FLOAT_MASK);
    return;
  }
  auto mean_above = [](const int16_t *line) {
    int32_t sum = 0, n = 0;
    for (int i = 0; i < RxCount(); ++i) {
      if (line[i] > 100) {
        sum += line[i];
        ++n;
      }
    }
    return static_cast<int16_t>(n != 0 ? sum / n : sum);
  };
  const int32_t normal = AppScMovingAverage(g_assScRxNormalFifo, 3, mean_above(Slot(0)));
  const int32_t water = AppScMovingAverage(g_assScRxWaterFifo, 3, mean_above(Slot(1)));
  const int32_t ratio = water >= 1 ? normal * 100 / water : 0;
  const int16_t f224 = PeakI16(224);
  const int16_t f222 = PeakI16(222);
  uint8_t state;
  int16_t code = 0;
  if (normal < 100) {
    state = 0;
  } else if (normal <= water) {
    state = water >= 301 ? 3 : 2;
    code = water >= 301 ? 111 : 222;
  } else if (water < 200 && f224 <= 99 && f222 >= 101 && PeakU8(43) == 0 && PeakU8(44) == 0) {
    state = 1;
    code = 333;
  } else if (PeakU8(44) >= 3 && f224 >= 651 && f222 - 80 < f224) {
    state = 3;
    code = 444;
  } else if (f224 >= 801 && f224 > f222 && ratio <= 124) {
    state = 3;
    code = 555;
  } else {
    state = 2;
    code = 666;
  }
  // The word publishes the state of the frame before; this frame's waits for the next.
  const uint8_t published = s_ucPrevFloatingState;
  Set(static_cast<uint16_t>(published << LUMA_TRACE_FLOAT_SHIFT));
  s_ucPrevFloatingState = state;
  std::memset(g_ssScFloatingCheckDebug, 0, sizeof(g_ssScFloatingCheckDebug));
  g_ssScFloatingCheckDebug[0] = 666;
  g_ssScFloatingCheckDebug[1] = static_cast<int16_t>(800 + published);
  g_ssScFloatingCheckDebug[2] = static_cast<int16_t>(normal);
  g_ssScFloatingCheckDebug[3] = static_cast<int16_t>(water);
  g_ssScFloatingCheckDebug[4] = static_cast<int16_t>(ratio);
  g_ssScFloatingCheckDebug[5] = code;
}

void AppMcFloatingEnvironmentCheck(void) { AppGetTouchEnvironmentStates(); }

void AppWaterEnvInit(void) {
  g_ucWaterOnStsCnt = 0;
  g_ucExitWaterOnStsCnt = 0;
  g_ucCurFrmWaterFlag = 0;
  g_ucCurFrmFloatingWaterFlag = 0;
  g_ucUnlockWaterState = 0;
  g_usWaterHistory = 0;
  g_usRainWaterCnt = 0;
  g_ucLastMcPeakNum = 0;
  s_ucNoPointFrames = 0;
  s_ucPrevFloatingState = 0;
}

}  // extern "C"
