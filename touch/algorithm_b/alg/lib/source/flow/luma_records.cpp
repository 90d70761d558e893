// Definitions of the module-global records and the compiled-in configuration.
#include "luma_records.h"

#include <cstring>

namespace {

constexpr LumaFwConfig MakeDefaultConfig() {
  LumaFwConfig c{};
  c.ucNotchMapEn = 1;
  c.usTxNum = 17;
  c.usRxNum = 38;
  c.ucTxNum = 17;
  c.ucRxNum = 38;
  c.ucScTxNum = 17;
  c.ucScRxNum = 38;
  constexpr uint8_t kTable1[18] = {0, 9, 8, 3, 5, 2, 6, 4, 7, 10, 12, 16, 14, 19, 18, 17, 11, 13};
  constexpr uint8_t kTable2[38] = {39, 37, 38, 27, 26, 31, 25, 24, 35, 33, 32, 36, 28, 34, 29, 30, 23, 17, 22,
                                   21, 19, 20, 18, 16, 13, 15, 10, 14, 12, 11, 9,  7,  5,  8,  2,  4,  0,  1};
  for (int i = 0; i < 18; ++i) c.aucChannelTable1[i] = kTable1[i];
  for (int i = 0; i < 38; ++i) c.aucChannelTable2[i] = kTable2[i];
  c.ucMaxPointNum = 10;
  c.ucMaxPeakNum = 30;
  c.ucTdByte1 = 32;
  c.ucMaxScPeakNum = 21;
  c.ucTdByte18 = 32;
  c.ucTdByte33 = 8;
  c.usTdWord34 = 100;
  c.usCfg193 = 3500;
  c.usCfg195 = 200;
  c.usScPeakThr = 200;
  c.usMcPeakThr = 180;
  c.usMcNegPeakThr = 180;
  c.usCfg203 = 100;
  c.usNegPeakThr2 = 100;
  c.usJitterLimit = 1000;
  c.usScNoTouchPeakThr = 280;
  c.ausTdWords[0] = 180;
  c.ausTdWords[1] = 140;
  c.ausTdWords[2] = 120;
  c.ausTdWords[3] = 120;
  // System-parameter defaults, indexed by their position in g_stSysParam minus 6.
  c.aucSysParamDefaults[13 - 6] = 2;    // game edge level
  c.aucSysParamDefaults[23 - 6] = 127;  // temperature level: middle of its range
  c.ucXYSwap = 0;
  // Our choice: the internal coordinate at the display centre is the middle of the
  // internal range, 1024 per line pitch over 17 and 38 lines.
  c.usMapCentreX = (17 * 1024 - 1) / 2;
  c.usMapCentreY = (38 * 1024 - 1) / 2;
  constexpr uint32_t kNotchX[8] = {19520, 9760, 1024, 1024, 550, 550, 256, 256};
  constexpr uint32_t kNotchY[8] = {43392, 21696, 1024, 1024, 550, 550, 256, 256};
  for (int i = 0; i < 8; ++i) {
    c.aulNotchX[i] = kNotchX[i];
    c.aulNotchY[i] = kNotchY[i];
  }
  c.usTraceWord0 = 300;
  c.usTraceWord1 = 80;
  c.usTraceWord2 = 1;
  c.ucTraceByte0 = 5;
  c.ucTraceByte1 = 6;
  c.usTraceWord3 = 50;
  c.usTraceWord4 = 120;
  c.usTraceWord5 = 1;
  c.ucTraceByte2 = 69;
  // Our choice: a blob of 20 nodes or more is a palm candidate whose size the narrow side
  // of its rectangle corrects.
  c.ucPalmCorrectSize = 20;
  // The self reference level from which a column counts as touched in the noise tests.
  c.usScNoTouchThr = 180;
  c.usNoiseRingAThr = 240;
  c.usNoiseRingBThr = 60;
  return c;
}

}  // namespace

extern "C" {

constinit LumaFwConfig g_stFwConfig = MakeDefaultConfig();

int32_t LumaFwConfigLoad(const void *image, uint32_t length) {
  if (image == nullptr) {
    g_stFwConfig = MakeDefaultConfig();
    return 0;
  }
  if (length != sizeof(LumaFwConfig)) return -1;
  LumaFwConfig c;
  std::memcpy(&c, image, sizeof(c));
  // The matrices, lines, per-row scratch and per-point lists are sized for this panel at
  // most; shifts by the weight byte stay within a 32-bit value.
  const bool geometry = c.ucTxNum >= 3 && c.ucTxNum <= 17 && c.ucRxNum >= 3 && c.ucRxNum <= 38 &&
                        c.usTxNum == c.ucTxNum && c.usRxNum == c.ucRxNum && c.ucScTxNum == c.ucTxNum &&
                        c.ucScRxNum == c.ucRxNum;
  const bool counts = c.ucMaxPointNum >= 1 && c.ucMaxPointNum <= LUMA_MAX_POINTS && c.ucMaxPeakNum >= 1 &&
                      c.ucMaxPeakNum <= LUMA_MAX_PEAKS && c.ucMaxScPeakNum <= 21 && c.ucTdByte33 <= 15;
  const bool ranges = c.aulNotchX[0] >= 2 && c.aulNotchY[0] >= 2 && c.aulNotchX[0] <= 65536 && c.aulNotchY[0] <= 65536;
  if (!geometry || !counts || !ranges) return -1;
  g_stFwConfig = c;
  return 0;
}
LumaFrmInfo g_stFrmInfo;
LumaFrmData g_stFrmData;
LumaPeakData g_stPeakData;
LumaTouchData g_stTouchData;
LumaSysParam g_stSysParam;
LumaTdParam g_stTdParam;
LumaTraceInfo g_stTraceInfo;
LumaRptPoint g_stRptInfo[LUMA_MAX_POINTS];
AlgTouchPoint g_stReportPoint[LUMA_MAX_POINTS];
AlgTouchPoint g_stReportPointBack[LUMA_MAX_POINTS];
LumaRptSave g_stRptSave;
uint8_t g_ucEventNum;
uint8_t g_ucEventNumBack;
uint16_t g_usAlgPrintfBuf[1024];
int16_t g_stHostEdgePara[8];
uint8_t g_stGameModeCfg[8];

uint16_t g_usFlowWorkCnt[10];
uint16_t g_usAlgDropFrmNum;
uint16_t g_usAlgVersion;
uint8_t g_ucBaseState;
uint8_t g_ucUpdataBaseCnt;
uint8_t g_ucBaseType;
uint8_t g_ucFirmVersion;
uint8_t g_ucTicDropFrameFlg;
uint8_t g_ucDropFrmReportFlg;
uint16_t g_usIcFrameCnt;
uint16_t g_usIcMsTimeLast;
uint16_t g_usIcMsTimeGap;
uint8_t g_bLcdOffState;
uint8_t g_ucTypingMode;
uint8_t g_ucHostParaUpDateFlg;
uint8_t g_ucScReportSel;
uint16_t g_usMaxPosX;
uint16_t g_usMaxPosY;
uint8_t g_ucSuspendFodEnBack;
uint8_t s_ucInvalidFrames;
uint32_t g_fod_resume_pressed;
uint64_t g_ullFrameTimeNs;
uint64_t g_ullFrameCount;

uint8_t g_bReportFingDownFlg;
uint8_t g_bFodReportOnePointState;
uint8_t g_bForceChangeIDFlg;
uint8_t g_ucAlgFodUpFlg;
uint8_t g_ucFodPointID = 255;
uint8_t resume_fod_id = 255;
uint8_t g_bScreenSwitchFlg;
uint8_t g_fod_resume_pressed_back;
uint8_t s_ucFodCheckEnable = 1;
uint8_t g_ucDoubleModeCurPointNum;
uint8_t g_EdgePalmHoldCnt;

}  // extern "C"
