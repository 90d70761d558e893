// Optional water filters: self support of mutual peaks in water, quiet self lines, and
// weak row or column means. They work on the current frame's records only.
#include <stdint.h>

#include <algorithm>

#include "luma_calc.h"
#include "luma_env.h"
#include "luma_noise.h"
#include "luma_peaks.h"
#include "luma_water_aux.h"

namespace {

// The self data set these filters compare against.
constexpr uint8_t kScSet = 1;
// A water frame never asks a peak for more self signal than this.
constexpr int kWaterLevelCap = 300;
// The strongest peak keeps its place without self support when it is this large.
constexpr int16_t kStrongPeakDiff = 401;
constexpr int16_t kStrongProjection = 300;
// Row and column means below this mark a peak on a weak line.
constexpr int16_t kWeakMean = 20;
constexpr uint8_t kRowHalfWidth = 7;

int FrameTx() { return g_stFrmInfo.aucCfgCopy[4]; }
int FrameRx() { return g_stFrmInfo.aucCfgCopy[5]; }
int16_t ScRxThr() { return static_cast<int16_t>(g_stTdParam.ausWords20[3]); }
int16_t ScQuietLevel() { return static_cast<int16_t>(g_stTdParam.ausWords20[0]); }

const int16_t *ScRxLine() { return g_stFrmData.assScDiff[kScSet]; }
int16_t ScRx(int rx) { return rx >= 0 && rx < LUMA_SC_LINE_LEN ? ScRxLine()[rx] : 0; }
int16_t RxProj1(int rx) { return rx >= 0 && rx < LUMA_SC_LINE_LEN ? g_stFrmData.assMcRxAbsProj[rx] : 0; }
int16_t RxProj2(int rx) { return rx >= 0 && rx < LUMA_SC_LINE_LEN ? g_stFrmData.assMcRxProj[rx] : 0; }

uint8_t PeakCount() { return std::min<uint8_t>(g_stPeakData.ucMcPosPeakNum, LUMA_MAX_PEAKS); }
uint8_t PeakTx(uint8_t k) { return g_stPeakData.aucMcPeakPos[2 * k]; }
uint8_t PeakRx(uint8_t k) { return g_stPeakData.aucMcPeakPos[2 * k + 1]; }

bool RxSupported(int rx, int16_t level) {
  if (AppScRxPeakCheck(kScSet, static_cast<uint8_t>(rx), level) != 0) return true;
  if (rx > 0 && AppScRxPeakCheck(kScSet, static_cast<uint8_t>(rx - 1), level) != 0) return true;
  return rx + 1 < FrameRx() && AppScRxPeakCheck(kScSet, static_cast<uint8_t>(rx + 1), level) != 0;
}

bool TxSupported(int tx, int16_t level) {
  for (int t = tx - 1; t <= tx + 1; ++t)
    if (t >= 0 && t < FrameTx() && AppScTxPeakCheck(kScSet, static_cast<uint8_t>(t), level) != 0) return true;
  return false;
}

// The one peak that may stand without self support: the frame's largest, sharp and with
// clear mutual projection along its column.
bool StrongLonePeak(uint8_t k, int16_t diff, int rx) {
  return AppMcIfMaxPeak(k) != 0 && diff >= kStrongPeakDiff && AppMcGetPeakAreaSum(k, 1) > 3 * diff &&
         RxProj2(rx) > kStrongProjection;
}

}  // namespace

extern "C" {

void AppSmallScPeakFilter(void) {
  if (!AppScRxDataIsExist(kScSet) && !AppScTxDataIsExist(kScSet)) return;
  const int quiet = ScQuietLevel();
  if (g_stPeakData.ucMcPosPeakNum != 0 && g_stPeakData.assScMin[kScSet] > -quiet &&
      g_stPeakData.assScMax[kScSet] < quiet / 2)
    g_stPeakData.ucMcPosPeakNum = 0;
}

void AppMcScWaterReportPtFilter(void) {
  if (!AppScRxDataIsExist(kScSet) || AppIsWaterExist() == 0) return;
  const bool water_frame = AppCurrentFrmIsWaterSta() != 0;
  const bool near_field_sensitive = g_usLikeNFNoiseFrame != 0 && g_stSysParam.ucHighSensitivity != 0;
  if (!water_frame && (g_stPeakData.assScMin[kScSet] < -2 * ScQuietLevel() || near_field_sensitive)) return;
  const bool floating = AppCurrentFrmIsFloatingWater() != 0;
  const int rx_count = FrameRx();

  bool edge = false;
  const uint8_t n = PeakCount();
  for (uint8_t k = 0; k < n; ++k) {
    if (AppMcPeakValidityCheck(k) == 0) continue;
    const int tx = PeakTx(k), rx = PeakRx(k);
    const int16_t diff = AppMcPeakGetDiff(k);
    if (rx == 0 || rx == rx_count - 1) edge = true;

    int16_t level = ScRxThr();
    if (water_frame) level = static_cast<int16_t>(std::min<int>(std::max<int>(4 * diff / 10, level), kWaterLevelCap));
    const bool supported = RxSupported(rx, level) && (!water_frame || TxSupported(tx, level));
    if (!supported && (RxProj2(rx) < ScRx(rx) || floating) && !StrongLonePeak(k, diff, rx))
      AppMcSetPeakValidity(k, 0);

    if (floating) {
      const int16_t near = AppWaterChGetNearDiff(ScRxLine(), static_cast<uint8_t>(rx), 0,
                                                 static_cast<uint8_t>(std::max(rx_count - 1, 0)));
      if (RxProj2(rx) < near && near < RxProj1(rx)) AppMcSetPeakValidity(k, 0);
    }
  }
  AppGetValidPeak();
  // A peak on the outer Rx lines sees only half its self support; the quiet-self test
  // would misjudge the frame, so it is left out.
  if (!edge) AppSmallScPeakFilter();
}

int16_t AppMcTxAveGet(uint8_t tx, uint8_t rx, uint8_t half) {
  const int first = std::max(static_cast<int>(rx) - half, 0);
  const int last = std::min(static_cast<int>(rx) + half - 1, FrameRx() - 1);
  if (tx >= FrameTx() || first > last) return 0;
  int32_t sum = 0;
  for (int c = first; c <= last; ++c) sum += AppMcGetDiff(tx, static_cast<uint8_t>(c));
  return static_cast<int16_t>(sum / (last - first + 1));
}

int16_t AppMcRxAveGet(uint8_t, uint8_t rx) {
  const int rows = FrameTx();
  if (rows == 0 || rx >= FrameRx()) return 0;
  int32_t sum = 0;
  for (int t = 0; t < rows; ++t) sum += AppMcGetDiff(static_cast<uint8_t>(t), rx);
  return static_cast<int16_t>(sum / rows);
}

void AppMcWaterRxTxAveFilter(void) {
  const uint8_t n = PeakCount();
  if (n >= 2 && n <= 4 && (g_stTraceInfo.usTraceFlag & LUMA_TRACE_WATER) != 0 && g_stPeakData.ucMcNegPeakNum >= 2) {
    for (uint8_t k = 0; k < n; ++k) {
      if (AppMcPeakValidityCheck(k) == 0) continue;
      const uint8_t tx = PeakTx(k), rx = PeakRx(k);
      if (AppMcRxAveGet(tx, rx) < kWeakMean || AppMcTxAveGet(tx, rx, kRowHalfWidth) < kWeakMean)
        AppMcSetPeakValidity(k, 0);
    }
  }
  AppGetValidPeak();
}

}  // extern "C"
