// Base compensation: from the environment of the frame, its peaks and the self data,
// decide whether the base is refreshed outright, traced slowly toward the raw data, or
// left alone, and with which step and period.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "luma_env.h"
#include "luma_filter.h"
#include "luma_noise.h"
#include "luma_peaks.h"

extern "C" {
uint8_t s_ucRefreshCnt;
uint16_t g_usRefreshCnt;
uint16_t g_usBaseDbgInfo[38];
int16_t g_ssTempDriftDebug[16];
uint8_t g_ucBaseTraceMode;
}

namespace {

constexpr uint8_t kUnconfirmedLimit = 250;
constexpr uint8_t kUnconfirmedTrace = 200;
constexpr int32_t kSelfLevelLimit = 4000;
constexpr uint8_t kDriftFrames = 11;
constexpr uint8_t kTempDriftState = 3;

uint8_t s_ucUnconfirmedCnt;
uint8_t s_ucHighLevelCnt;
uint8_t s_ucLowLevelCnt;
uint8_t s_ucTraceFrameCnt = 1;
// The serious-floating merge record of the peak merge: its words are read here only.
uint16_t s_ausFloatingMerge[4];

uint16_t Flags() { return g_stTraceInfo.usTraceFlag; }
bool Bit(int b) { return (Flags() & (1u << b)) != 0; }
uint8_t &TempDriftState() { return reinterpret_cast<uint8_t *>(&g_stFrmInfo)[147]; }
uint8_t PeakByte(int pos) { return reinterpret_cast<const uint8_t *>(&g_stPeakData)[pos]; }
uint16_t PeakU16(int pos) {
  uint16_t v;
  std::memcpy(&v, reinterpret_cast<const uint8_t *>(&g_stPeakData) + pos, sizeof(v));
  return v;
}

// Mean raw self level over the Rx part of a slot: base plus the backed-up diff.
int32_t SelfLevel(int slot) {
  const int r = std::min<int>(g_stFrmInfo.aucCfgCopy[5], LUMA_SC_LINE_LEN);
  if (r == 0) return 0;
  int32_t sum = 0;
  for (int i = 0; i < r; ++i) {
    sum += static_cast<int16_t>(g_stFrmData.assScBase[slot][i] + g_stFrmData.assScBackDiff[slot][i]);
  }
  return sum / r;
}

// Peaks that the self line never confirms: after 200 such frames the base may trace even
// under them. True when tracing is to be enabled for that reason.
bool CountUnconfirmedPeaks() {
  const uint8_t peaks = std::min<uint8_t>(g_stPeakData.ucMcPosPeakNum, LUMA_MAX_PEAKS);
  const int r = g_stFrmInfo.aucCfgCopy[5];
  const auto threshold = static_cast<int32_t>(g_stTdParam.ausWords20[3]);
  int confirmed = 0;
  for (uint8_t p = 0; p < peaks; ++p) {
    const int rx = g_stPeakData.aucMcPeakPos[2 * p + 1];
    if (rx >= LUMA_SC_LINE_LEN) continue;
    const int16_t v = g_stFrmData.assScDiff[0][rx];
    if ((rx < r ? std::abs(v) : v) > threshold) ++confirmed;
  }
  if (peaks != 0 && confirmed == 0) {
    const uint8_t before = s_ucUnconfirmedCnt;
    if (s_ucUnconfirmedCnt < kUnconfirmedLimit) ++s_ucUnconfirmedCnt;
    return before >= kUnconfirmedTrace;
  }
  if (peaks != 0) {
    s_ucUnconfirmedCnt = 0;
    return false;
  }
  return s_ucUnconfirmedCnt > kUnconfirmedTrace;
}

}  // namespace

extern "C" {

bool AppMCScNormalPeakValidCheck(void) {
  CountUnconfirmedPeaks();
  return s_ucUnconfirmedCnt <= kUnconfirmedTrace;
}

void DrvBaseRefreshTraceRun(void) {
  LumaTraceInfo &t = g_stTraceInfo;
  if (t.ucRefreshReq != 0) {
    t.ucTraceEn = 0;
    if (s_ucRefreshCnt < t.ucRefreshLimit) {
      t.ucRefreshReq = 0;
      ++s_ucRefreshCnt;
    } else {
      s_ucRefreshCnt = 0;
    }
    return;
  }
  s_ucRefreshCnt = 0;
  if (t.ucTraceEn == 0) return;
  if (s_ucTraceFrameCnt < t.ucTracePeriod) {
    t.ucTraceEn = 0;
    ++s_ucTraceFrameCnt;
  } else {
    s_ucTraceFrameCnt = 1;
  }
}

uint8_t AppBaseCompensateCondition(void) {
  LumaTraceInfo &t = g_stTraceInfo;
  AppEnvironmentCheck();
  t.ucTraceEn = 1;
  const uint8_t peaks = std::min<uint8_t>(g_stPeakData.ucMcPosPeakNum, LUMA_MAX_PEAKS);
  const uint8_t last_points = g_stTouchData.ucLastPointNum;
  bool skip_to_reasons = false;
  if (Bit(7)) {
    g_ucBaseTraceMode = 1;
    if (PeakByte(185) >= 7 && (last_points != 0 || Bit(0))) g_ucBaseTraceMode = 2;
    t.ucRefreshReq = 0;
    skip_to_reasons = true;
  } else {
    g_ucBaseTraceMode = 0;
  }
  if (!skip_to_reasons) {
    if (Bit(0)) t.ucTraceEn = 0;
    if (Bit(10) || last_points != 0 || AppFrameIsValid() == 0) t.ucTraceEn = 0;
    if (CountUnconfirmedPeaks()) t.ucTraceEn = 1;
    t.ucRefreshReq = 0;
    if (Bit(7) && peaks == 0 && PeakU16(224) > 800 && PeakByte(185) <= 6) g_ucBaseTraceMode = 2;
  }
  if (Bit(1)) {
    t.ucRefreshReq = 1;
    g_ssRefreshSetPos = static_cast<int16_t>(g_ssRefreshSetPos | 1);
  }
  if (Bit(3)) {
    t.ucRefreshReq = 1;
    g_ssRefreshSetPos = static_cast<int16_t>(g_ssRefreshSetPos | 2);
  }
  if (!(Bit(6) && !Bit(10) && !Bit(8) && AppFrameIsValid() != 0)) {
    t.ucRefreshReq = 0;
    g_ssRefreshSetPos = static_cast<int16_t>(g_ssRefreshSetPos | 0x100);
  }

  const int32_t a1 = SelfLevel(0);
  const int32_t a2 = SelfLevel(1);
  if (a2 > kSelfLevelLimit || a1 > kSelfLevelLimit) {
    if (s_ucHighLevelCnt < 255) ++s_ucHighLevelCnt;
    s_ucLowLevelCnt = 0;
  }
  if (a2 < -kSelfLevelLimit || a1 < -kSelfLevelLimit) {
    if (s_ucLowLevelCnt < 255) ++s_ucLowLevelCnt;
    s_ucHighLevelCnt = 0;
  }
  if (AppScHighNoise() != 0) {
    s_ucHighLevelCnt = s_ucLowLevelCnt = 0;
    g_uCTempDriftFlag = 0;
  } else if (s_ucHighLevelCnt >= kDriftFrames || s_ucLowLevelCnt >= kDriftFrames) {
    TempDriftState() = kTempDriftState;
  }
  g_ssTempDriftDebug[11] = static_cast<int16_t>(s_ucHighLevelCnt + 800);
  g_ssTempDriftDebug[12] = static_cast<int16_t>(s_ucLowLevelCnt + 900);
  g_ssTempDriftDebug[13] = static_cast<int16_t>(a2);
  g_ssTempDriftDebug[14] = static_cast<int16_t>(a1);
  if (TempDriftState() == kTempDriftState) {
    s_ucHighLevelCnt = s_ucLowLevelCnt = 0;
    g_uCTempDriftFlag = 1;
  }
  if ((TempDriftState() == kTempDriftState || g_uCTempDriftFlag == 1) &&
      (g_bPalmFlag == 1 || g_stPeakData.usMcUnderCnt > 150) &&
      (g_stSysParam.ucTemperature < 10 || g_stSysParam.ucTemperature > 45)) {
    t.ucRefreshReq = 1;
  }

  const int32_t v = g_stPeakData.ssMcMinDiff;
  const int32_t neg = g_stTdParam.ssMcNegThr;
  int32_t multiplier = v < 2 * neg ? 4 : (v < neg ? 3 : (v < neg / 2 ? 2 : 1));
  if (AppMcNoiseExist() != 0) multiplier = 1;
  else if (Bit(7)) multiplier = 4;
  t.ucTracePeriod = g_stFwConfig.ucTraceByte0;
  t.ssMcTraceStep = static_cast<int16_t>(multiplier * g_stFwConfig.usTraceWord2);
  t.ssScTraceStep = static_cast<int16_t>(multiplier * g_stFwConfig.usTraceWord5);
  if (peaks != 0 && !Bit(0)) {
    if (t.ssMcTraceStep < 2) t.ucTracePeriod = static_cast<uint8_t>(t.ucTracePeriod * 2);
    else t.ssMcTraceStep = static_cast<int16_t>(t.ssMcTraceStep / 2);
  }
  if (g_stSysParam.ucIcIdleFlag == 1) {
    t.ssMcTraceStep = static_cast<int16_t>(t.ssMcTraceStep * 5);
    t.ucTracePeriod = 1;
  }
  t.ucRefreshLimit = (s_ausFloatingMerge[2] != 0 && last_points > 2) ? 12 : 6;
  DrvBaseRefreshTraceRun();
  return AppMcNoiseExist();
}

void AppBaseCompensate(void) {
  std::memset(g_usBaseDbgInfo, 0, sizeof(g_usBaseDbgInfo));
  AppBaseCompensateCondition();
  const LumaTraceInfo &t = g_stTraceInfo;
  g_usBaseDbgInfo[0] = static_cast<uint16_t>(1000 + (Bit(1) ? 100 : 0) + (Bit(3) ? 10 : 0) + (Bit(6) ? 1 : 0));
  g_usBaseDbgInfo[1] = t.ucRefreshLimit;
  g_usBaseDbgInfo[2] = s_ucRefreshCnt;
  g_usBaseDbgInfo[3] = Bit(0) ? 1 : 0;
  g_usBaseDbgInfo[4] = g_stTouchData.ucLastPointNum;
  g_usBaseDbgInfo[5] = s_ausFloatingMerge[2];
  g_usBaseDbgInfo[6] = s_ausFloatingMerge[3];
  g_usBaseDbgInfo[7] = static_cast<uint16_t>(t.ucRefreshReq + 100);
  g_usBaseDbgInfo[8] = static_cast<uint16_t>(t.ucTraceEn + 100);
  g_usBaseDbgInfo[9] = static_cast<uint16_t>(t.ssMcTraceStep);
  if (t.ucRefreshReq != 0) {
    ++g_usRefreshCnt;
    g_ucBaseTraceMode = 0;
    AppBaseRefresh();
    AppTMAFIFOClear();
  }
  if (t.ucTraceEn != 0) AppBaseTrace(g_ucBaseTraceMode);
}

void AppBaseCompensateInit(void) {
  s_ucUnconfirmedCnt = 0;
  s_ucHighLevelCnt = s_ucLowLevelCnt = 0;
  s_ucTraceFrameCnt = 1;
  s_ucRefreshCnt = 0;
  g_ucBaseTraceMode = 0;
}

}  // extern "C"
