// Bringing the records into their starting state: in full at module start, partly at
// every resume (the host's parameters, the frame data and the base survive a suspend).
#include <cstring>

#include "luma_core.h"
#include "luma_edge.h"
#include "luma_env.h"
#include "luma_noise.h"
#include "luma_search.h"
#include "luma_smooth.h"
#include "luma_water_proof.h"

namespace {

void FillPoints(LumaPoint *points) { std::memset(points, 0xFF, sizeof(LumaPoint) * LUMA_MAX_POINTS); }

}  // namespace

extern "C" {

void AppSystemParamInit(void) {
  std::memcpy(reinterpret_cast<uint8_t *>(&g_stSysParam) + 6, g_stFwConfig.aucSysParamDefaults,
              sizeof(g_stFwConfig.aucSysParamDefaults));
}

void AppFrameInfoInit(void) {
  const auto *cfg = reinterpret_cast<const uint8_t *>(&g_stFwConfig);
  auto *info = reinterpret_cast<uint8_t *>(&g_stFrmInfo);
  std::memcpy(info + 0, cfg + 112, 64);
  std::memcpy(info + 62, cfg + 174, 8);
  std::memcpy(info + 70, cfg + 9, 16);
  std::memcpy(info + 86, cfg + 25, 4);
  std::memcpy(info + 90, cfg + 29, 16);
  std::memcpy(info + 106, cfg + 45, 16);
  std::memcpy(info + 115, cfg + 54, 16);
  const uint8_t tx = info[4];
  const uint8_t rx = info[5];
  if (g_stFwConfig.ucXYSwap == 1) {
    info[6] = rx;
    info[7] = tx;
  }
  g_stFrmInfo.usNodeNum = static_cast<uint16_t>(rx * tx);
  info[134] = info[0];
  info[143] = info[0];
  info[135] = info[2];
  info[145] = info[2];
  info[136] = info[1];
  info[137] = info[3];
  info[142] = 0;
  info[144] = 0;
  const uint8_t x_lines = g_stFwConfig.ucXYSwap == 1 ? rx : tx;
  const uint8_t y_lines = g_stFwConfig.ucXYSwap == 1 ? tx : rx;
  g_stFrmInfo.usMaxX = static_cast<uint16_t>(x_lines * 1024 - 1);
  g_stFrmInfo.usMaxY = static_cast<uint16_t>(y_lines * 1024 - 1);
}

void AppFrameDataInit(void) {
  g_stFrmData.pssMcRaw = g_stFrmData.assMcRaw;
  g_stFrmData.pssMcBase = g_stFrmData.assMcBase;
  g_stFrmData.pssMcDiff = g_stFrmData.assMcDiff;
  std::memset(g_stFrmData.assMcBase, 0, sizeof(g_stFrmData.assMcBase));
  std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
  g_ucScReportSel &= 3;
  for (int s = 0; s < LUMA_SC_SLOTS; ++s) g_stFrmData.apssScBase[s] = g_stFrmData.assScBase[s];
  g_stFrmData.pssScDiff = g_stFrmData.assScDiff[g_ucScReportSel];
  g_stFrmData.usFrmFlag = static_cast<uint16_t>(g_stFrmData.usFrmFlag & ~LUMA_FRM_VALID);
}

void AppTdParamInit(void) {
  const LumaFwConfig &c = g_stFwConfig;
  LumaTdParam &p = g_stTdParam;
  std::memset(&p, 0, sizeof(p));
  p.ucMaxPoint = c.ucMaxPointNum;
  p.ucByte1 = c.ucTdByte1;
  p.usScThr = c.usScPeakThr;
  p.usMcThr = c.usMcPeakThr;
  p.ssMcNegThr = static_cast<int16_t>(-c.usMcNegPeakThr);
  p.usScThr2 = c.usScPeakThr;
  p.usMcThr2 = c.usMcPeakThr;
  p.ssMcNegThr2 = static_cast<int16_t>(-c.usMcNegPeakThr);
  p.usWord14 = c.usCfg203;
  p.ssNegThr16 = static_cast<int16_t>(-c.usNegPeakThr2);
  p.ucByte18 = c.ucTdByte18;
  for (int i = 0; i < 4; ++i) p.ausWords20[i] = c.ausTdWords[i];
  p.usWord28 = c.ausTdWords[2];
  p.usJitterLimit = c.usJitterLimit;
  p.ucByte33 = c.ucTdByte33;
  p.usWord34 = c.usTdWord34;
  p.usWord36 = 0;
}

void AppTraceInfoInit(void) {
  const LumaFwConfig &c = g_stFwConfig;
  LumaTraceInfo &t = g_stTraceInfo;
  const uint16_t flags = static_cast<uint16_t>(t.usTraceFlag & ~0x0330u);
  std::memset(&t, 0, sizeof(t));
  t.usTraceThr = c.usTraceWord0;
  t.usTraceThr2 = c.usTraceWord1;
  t.usMcThr = c.ausTdWords[0];
  t.ssMcTraceStep = static_cast<int16_t>(c.usTraceWord2);
  t.ucTracePeriod = c.ucTraceByte0;
  t.ucRefreshLimit = 6;
  t.usTraceWord10 = c.usTraceWord3;
  t.usTraceWord12 = c.usTraceWord4;
  t.ucTraceByte14 = c.ucTraceByte1;
  t.ucTraceByte15 = c.ucTraceByte2;
  t.ssScTraceStep = static_cast<int16_t>(c.usTraceWord5);
  t.usTraceFlag = flags;
  g_ucScBaseTraseEn = 0;
  g_ucScBaseRefreshEn = 0;
}

void AppPeakDataInit(void) {
  std::memset(&g_stPeakData, 0, sizeof(g_stPeakData));
  std::memset(g_stPeakData.aucScTxPeakList, 0xFF, sizeof(g_stPeakData.aucScTxPeakList));
  std::memset(g_stPeakData.aucScRxPeakList, 0xFF, sizeof(g_stPeakData.aucScRxPeakList));
  std::memset(g_stPeakData.astMcPeakList, 0xFF, sizeof(g_stPeakData.astMcPeakList));
}

void AppTouchDataInit(void) {
  FillPoints(g_stTouchData.astPoint);
  FillPoints(g_stTouchData.astMapPoint);
  FillPoints(g_stTouchData.astStagePoint);
  for (LumaPointEvent &e : g_stTouchData.astEvent) {
    e.ucEvent = 3;
    e.ucLastEvent = 3;
    e.x = 32767;
    e.y = 32767;
  }
  std::memset(&g_stTouchData.ucPointNum, 0, sizeof(LumaTouchData) - offsetof(LumaTouchData, ucPointNum));
  AppTouchSmoothInit();
  AppPwrFilterInit();
}

void AppGlobalVarInit(void) {
  const uint32_t range_x = g_stFwConfig.aulNotchX[0];
  const uint32_t range_y = g_stFwConfig.aulNotchY[0];
  g_usMaxPosX = static_cast<uint16_t>(range_x - 1);
  g_usMaxPosY = static_cast<uint16_t>(range_y - 1);
}

void AppPanelParamInit(void) {}

void AppAfeModeInit(void) {}

void AppDataStructInit(bool resume) {
  g_bPalmClerFlag = 1;
  g_bPalmFlag = 0;
  g_uCTempDriftFlag = 0;
  AppGlobalVarInit();
  if (!resume) {
    AppSystemParamInit();
    AppFrameInfoInit();
    AppFrameDataInit();
  } else {
    AppFrameInfoInit();
  }
  AppTraceInfoInit();
  AppTdParamInit();
  AppPeakDataInit();
  AppTouchDataInit();
  AppMcNoiseInit();
  AppWaterEnvInit();
  AppWaterProofInit();
  AppPalmDataInit();
  AppEdgePalmInit();
  std::memset(g_stRptInfo, 0xFF, sizeof(g_stRptInfo));
}

}  // extern "C"
