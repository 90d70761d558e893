// The per-frame flow: the stages in their fixed order, the frame counters, the packing of
// the result points into the host report and the debug marker rows.
#include <cstring>

#include "luma_core.h"
#include "luma_util.h"

namespace {

LumaHostDebugInfo s_stHostDebugInfo;

uint16_t *DebugRow(int row) { return &g_usAlgPrintfBuf[row * g_stFwConfig.ucRxNum]; }

uint16_t Flag(uint32_t v) { return static_cast<uint16_t>(v | 100u); }

// Fingerprint-area centre, 1/16 pixel.
constexpr uint32_t kFodCentreX = 9744;
constexpr uint32_t kFodCentreY = 38992;
constexpr uint32_t kFodReportId = 9;

void FodPoint(uint32_t x, uint32_t y, uint32_t event) {
  std::memset(g_stRptInfo, 0xFF, sizeof(g_stRptInfo));
  g_stRptInfo[0].id = kFodReportId;
  g_stRptInfo[0].x = x;
  g_stRptInfo[0].y = y;
  g_stRptInfo[0].event = event;
  g_ucEventNum = 1;
}

}  // namespace

extern "C" {

void AppFlowCntRunning(uint8_t k) {
  if (k < 10) ++g_usFlowWorkCnt[k];
}

void AppPointReportInit(void) {
  std::memset(g_stReportPoint, 0, sizeof(g_stReportPoint));
  std::memset(&g_stRptSave, 0, sizeof(g_stRptSave));
}

void ReportPoint(void) {
  g_stRptSave.ucEventNum = g_ucEventNum;
  for (uint8_t k = 0; k < g_ucEventNum && k < LUMA_MAX_POINTS; ++k) {
    const LumaRptPoint &in = g_stRptInfo[k];
    if (in.id > 9) continue;
    AlgTouchPoint &out = g_stReportPoint[k];
    out.tool = 0;
    out.x = static_cast<int32_t>(in.x) * 100 / 16;
    out.y = static_cast<int32_t>(in.y) * 100 / 16;
    out.id = static_cast<int32_t>(in.id);
    if (in.event == 1) {
      out.action = ALG_TOUCH_ACTION_UP;
    } else if (in.event == 2) {
      out.action = ALG_TOUCH_ACTION_MOVE;
    } else {
      out.action = ALG_TOUCH_ACTION_DOWN;
      AlgHostLog("Touch Down:%d", static_cast<int>(in.id));
    }
    g_stRptSave.astPoint[k] = {static_cast<uint8_t>(in.id), static_cast<uint8_t>(in.event),
                               static_cast<uint16_t>(in.x >> 4), static_cast<uint16_t>(in.y >> 4)};
  }
}

void UpdatePointReportPack(void) {
  const uint32_t valid = AppFrameIsValid();
  uint16_t *row = DebugRow(10);
  row[22] = 1111;
  row[23] = Flag(valid);
  row[24] = static_cast<uint16_t>(g_ucEventNum + 100);
  row[25] = Flag(g_bFodReportOnePointState);
  row[26] = static_cast<uint16_t>(g_bForceChangeIDFlg + 200);
  row[27] = resume_fod_id;
  row[28] = 0;
  if (valid != 0 && g_bFodReportOnePointState != 0) {
    int found = -1;
    for (uint8_t k = 0; k < g_ucEventNum && k < LUMA_MAX_POINTS; ++k) {
      const LumaRptPoint &p = g_stRptInfo[k];
      if (p.id <= 9 && g_bForceChangeIDFlg == 1 && p.id == resume_fod_id) {
        found = k;
        break;
      }
    }
    if (found >= 0) {
      g_ucAlgFodUpFlg = 0;
      const LumaRptPoint kept = g_stRptInfo[found];
      FodPoint(kept.x, kept.y, kept.event);
      row[28] = 111;
      ReportPoint();
    } else {
      std::memset(g_stRptInfo, 0xFF, sizeof(g_stRptInfo));
      g_ucEventNum = 0;
      if (g_ucAlgFodUpFlg != 0) {
        g_ucAlgFodUpFlg = 0;
        FodPoint(kFodCentreX, kFodCentreY, 1);
        ReportPoint();
      }
      row[28] = 222;
    }
    if (g_ucDoubleModeCurPointNum == 0) g_bFodReportOnePointState = 0;
  } else if (g_ucEventNum != 0 && valid != 0) {
    ReportPoint();
  }
  row[29] = 1111;
  row[30] = static_cast<uint16_t>(g_ucEventNum + 100);
  row[31] = static_cast<uint16_t>(g_ucDoubleModeCurPointNum + 200);
  row[32] = Flag(g_bFodReportOnePointState);
  row[33] = static_cast<uint16_t>(g_bForceChangeIDFlg + 100);
  row[34] = resume_fod_id;
}

void AppBackLastState(void) {
  g_stTouchData.ucFirstTouch = 0;
  g_stPeakData.ucLastOutPeakNum = g_stPeakData.ucOutPeakNum;
  g_stTouchData.ucLastPointNum = static_cast<uint8_t>(g_stTouchData.ucPointNum + g_EdgePalmHoldCnt);
}

void AppFrmInvalid(void) {
  AppInvalidFramesInc();
  AppTimeMaClear();
}

uint8_t FlowReportWork(void) {
  if (g_bLcdOffState != 0 || AppFrameIsValid() == 0) return 255;
  AppPointReportInit();
  AppFlowCntRunning(1);
  AppSearchPeakThSet(0);
  AppSearchPeakPoint();
  McUpDownFiFoRestore();
  AppBaseCompensate();
  AppPeakFilter();
  uint16_t *row = DebugRow(10);
  row[4] = 555;
  row[5] = Flag(AppFrameIsValid());
  row[6] = g_stPeakData.ucMcPosPeakNum;
  if (AppFrameIsValid() != 0) {
    AppMcFloatingEnvironmentCheck();
    AppFlowCntRunning(2);
    AppCalculateCoordinate();
    AppFastReadPointNum(0);
    AppDoubleModeProc();
    AppFastReadPointNum(1);
    AppPointFilter(2);
    AppFastReadPointNum(2);
    AppPointIDProcess();
    AppFastReadPointNum(3);
    AppPointFilter(3);
    AppFastReadPointNum(6);
    AppPosMapping();
    AppPointFilter(4);
    AppCheckFodArea();
    g_ucEventNum = AppTouchResultOutput();
    AppFastReadPointNum(7);
    AppBackLastState();
  } else {
    AppInvalidFramesInc();
    ++g_usAlgDropFrmNum;
  }
  UpdatePointReportPack();
  AppDebugPrintLog();
  AppHostReadDebufInfo();
  doze_check();
  return 0;
}

uint8_t update_diff_data(DecodedFrame *frame) {
  LUMA_TRACE_OPERATION();
  std::memset(DebugRow(10), 0, 2 * g_stFwConfig.ucRxNum * sizeof(uint16_t));
  uint16_t *row10 = DebugRow(10);
  row10[0] = 666;
  row10[1] = Flag(AppFrameIsValid());
  row10[2] = Flag(g_bLcdOffState);
  row10[3] = Flag(g_bFodReportOnePointState);
  const uint8_t status = FlowReportWork();
  uint16_t *row11 = DebugRow(11);
  row11[0] = 777;
  row11[1] = Flag(AppFrameIsValid());
  row11[2] = Flag(g_bLcdOffState);
  row11[3] = Flag(g_bFodReportOnePointState);
  row11[4] = g_ucEventNum;
  const bool valid = AppFrameIsValid() != 0;
  if (valid && (g_fod_resume_pressed == 0 || (g_fod_resume_pressed == 1 && g_ucEventNum != 0))) {
    g_ucEventNumBack = g_ucEventNum;
    std::memcpy(g_stReportPointBack, g_stReportPoint, sizeof(g_stReportPoint));
    if (alg_module_callback != nullptr && alg_module_callback->report_points != nullptr) {
      alg_module_callback->report_points(g_stReportPoint, g_ucEventNum);
    }
  }
  if (alg_module_callback != nullptr && alg_module_callback->debug_frame_info != nullptr) {
    LumaHostDebugInfo &d = s_stHostDebugInfo;
    d.pssMcDiff = g_stFrmData.pssMcDiff;
    d.pssScDiff = g_stFrmData.pssScDiff;
    d.pssMcBackDiff = g_stFrmData.assMcBackDiff;
    d.pssMcBase = g_stFrmData.pssMcBase;
    d.slPeakDiff = g_stPeakData.ssMcMaxDiff;
    d.ulPeakTx = g_stPeakData.ucMcMaxTx;
    d.ulPeakRx = g_stPeakData.ucMcMaxRx;
    d.ullFrameTimeNs = frame != nullptr ? frame->frame_time_ns : 0;
    d.ullFrameCount = frame != nullptr ? frame->frame_count : 0;
    d.usMarker = 256;
    alg_module_callback->debug_frame_info(&d);
  }
  if (status == 255 || !valid) return 255;
  return 0;
}

}  // extern "C"
