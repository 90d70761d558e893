// Moving the base toward the raw data: a slow trace by a fixed step, an immediate refresh
// that absorbs the whole diff, and a recalibration request to the controller.
#include <algorithm>

#include "luma_calc.h"
#include "luma_core.h"

extern "C" {

uint8_t g_bTracePosScPeak;
uint8_t g_ucRefreshBaseFlag;
uint8_t g_ucScBaseTraseEn;
uint8_t g_ucScBaseRefreshEn;

}  // extern "C"

namespace {

constexpr uint32_t kCalibrationValue = 17;

int ScLineLength() { return std::min(g_stFwConfig.ucTxNum + g_stFwConfig.ucRxNum, LUMA_SC_LINE_LEN); }
int NodeNum() { return std::min<int>(g_stFrmInfo.usNodeNum, LUMA_MAX_NODES); }

int16_t Wrap(int v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

}  // namespace

extern "C" {

void AppScBaseTrace(void) {
  const int s = g_stTraceInfo.ssScTraceStep;
  for (int slot = 0; slot < LUMA_SC_SLOTS; ++slot) {
    for (int i = 0; i < ScLineLength(); ++i) {
      const int diff = g_stFrmData.assScBackDiff[slot][i];
      int16_t &base = g_stFrmData.assScBase[slot][i];
      if (diff < -s) {
        base = Wrap(base - s);
      } else if (diff > s && g_bTracePosScPeak == 1) {
        base = Wrap(base + s);
      }
    }
  }
}

void AppMcBaseTrace(void) {
  // The mutual diff is base minus raw: a positive diff lowers the base toward the raw value.
  const int s = g_stTraceInfo.ssMcTraceStep;
  int16_t *base = g_stFrmData.pssMcBase;
  for (int i = 0; i < NodeNum(); ++i) {
    const int diff = g_stFrmData.assMcBackDiff[i];
    if (diff > s) {
      base[i] = Wrap(base[i] - s);
    } else if (diff < -s) {
      base[i] = Wrap(base[i] + s);
    }
  }
}

void AppBaseTrace(uint8_t mode) {
  if (mode != 2) AppScBaseTrace();
  AppMcBaseTrace();
}

void AppScBaseRefresh(void) {
  for (int slot = 0; slot < LUMA_SC_SLOTS; ++slot) {
    for (int i = 0; i < ScLineLength(); ++i) {
      g_stFrmData.assScBase[slot][i] = Wrap(g_stFrmData.assScBase[slot][i] + g_stFrmData.assScBackDiff[slot][i]);
    }
  }
}

LumaMatOp *AppMcBaseRefresh(void) {
  return AppCal_MatrixSub(g_stFrmData.pssMcBase, g_stFrmData.pssMcBase, g_stFrmData.assMcBackDiff, 0);
}

void AppBaseRefresh(void) {
  g_ucRefreshBaseFlag = g_stTraceInfo.ucRefreshReq;
  if (g_ucRefreshBaseFlag == 0) return;
  AlgHostLog("Set Calibration!!!");
  uint32_t value = kCalibrationValue;
  AlgHostRequest(ALG_DRIVER_REQUEST_CALIBRATION, &value, sizeof(value));
  g_ucRefreshBaseFlag = 0;
}

void AppScCollectBase(void) {}

}  // extern "C"
