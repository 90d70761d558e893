// The fingerprint-area stage. Once per valid frame, after the points are mapped to panel
// units, it decides whether a finger rests on the under-display sensor and tells the host
// "finger down" once and "finger up" once through its fingerprint-area slot. Only a finger
// that went down inside the slide area around the sensor can become that touch; once a
// tracked finger leaves, checking stays off until every finger is lifted, so a finger that
// slides in from elsewhere is never taken.
#include "luma_fod.h"

#include <algorithm>
#include <cstdint>

#include "luma_debug.h"
#include "luma_peaks.h"

extern "C" {
uint8_t g_aucFodSlideDownFlg[LUMA_FOD_IDS];
uint8_t g_ucFodReportID = 255;
uint8_t g_ucFodTouchFlg;
uint8_t gGestureFodTouchFlg;
uint8_t g_ucFodCoordinate[4];
uint8_t g_ucTouchArea;
uint8_t g_ucFodEvent = 3;
uint8_t g_ucFodID;
uint8_t g_ucFodFingerSta;
uint8_t ucFingerDownCnt;
uint8_t g_ucFodArea;
}

namespace {

constexpr uint8_t kNoId = 255;
constexpr uint8_t kEventDown = 0;
constexpr uint8_t kEventUp = 1;
constexpr uint8_t kEventNothing = 3;
// The value of g_ucFodID on a frame that carries a fingerprint event.
constexpr uint8_t kFodFrameMark = 38;
constexpr uint8_t kDownCntMax = 250;
// The sensor reports on bit 1 of the host's fingerprint-area byte.
constexpr uint8_t kFodReportBit = 0x02;

struct Window {
  uint16_t x0, x1, y0, y1;
  bool Holds(const LumaPoint &p) const {
    const auto x = static_cast<uint16_t>(p.x);
    const auto y = static_cast<uint16_t>(p.y);
    return x >= x0 && x <= x1 && y >= y0 && y <= y1;
  }
};

// Panel units (1/16 pixel).
constexpr Window kSlideArea{4704, 14784, 33952, 44032};
// A touch already taken is kept within the wide window; a new one must land in the narrow.
constexpr Window kWideArea{7728, 11760, 36976, 41008};
constexpr Window kNarrowArea{7904, 11584, 37152, 40832};

// Coverage weights over the mutual nodes above the sensor: a finger resting on it fills
// the centre most.
constexpr uint8_t kWindowTx = 6;
constexpr uint8_t kWindowRx = 31;
constexpr int kWindowSide = 5;
constexpr int32_t kWeights[kWindowSide][kWindowSide] = {
    {3, 10, 10, 10, 3}, {10, 23, 23, 23, 10}, {10, 33, 33, 33, 10}, {10, 23, 23, 23, 10}, {3, 10, 10, 10, 3}};
constexpr int32_t kWeightSum = 369;
constexpr int32_t kCentreWeight = 33;
constexpr int32_t kCoverageBase = 8000;
constexpr uint8_t kCoverageMin = 35;

void HostFingerprint(uint8_t touched) {
  if (alg_module_callback != nullptr && alg_module_callback->fingerprint_area != nullptr) {
    alg_module_callback->fingerprint_area(touched);
  }
}

bool ReportingEnabled() { return (g_stSysParam.ucFodEnable & kFodReportBit) != 0; }

void ForgetTouch() { g_ucFodPointID = kNoId; }

uint8_t EventOf(uint8_t id) { return id < LUMA_MAX_POINTS ? g_stTouchData.astEvent[id].ucEvent : kEventNothing; }

void DownStep() {
  g_ucFodEvent = kEventDown;
  g_ucFodReportID = g_ucFodPointID;
  if (g_ucFodFingerSta == 0) g_ucFodFingerSta = 1;
  if (ucFingerDownCnt < kDownCntMax) ++ucFingerDownCnt;
  if (ucFingerDownCnt == 1 && g_fod_resume_pressed == 0) {
    AlgHostLog("finger down");
    HostFingerprint(1);
    g_bReportFingDownFlg = 1;
  }
  g_ucFodID = kFodFrameMark;
  g_stTouchData.ucReportRequest = 1;
}

void UpStep() {
  if (g_ucFodFingerSta == 1) g_ucFodFingerSta = 2;
  g_ucFodEvent = kEventUp;
  const bool sent = g_ucFodReportID != kNoId;
  if (sent) {
    AlgHostLog("finger up");
    HostFingerprint(0);
    g_bReportFingDownFlg = 0;
    g_ucFodPointID = g_ucFodReportID;
  } else {
    g_ucFodPointID = kNoId;
  }
  g_ucFodReportID = kNoId;
  ucFingerDownCnt = 0;
  if (sent) {
    g_ucFodID = kFodFrameMark;
    g_stTouchData.ucReportRequest = 1;
  } else {
    g_ucFodID = 0;
  }
}

// The tracked touch, or the first new one, as an output-list index; -1 when none.
int TrackedIndex() {
  for (int k = 0; k < LUMA_MAX_POINTS; ++k) {
    if (g_stTouchData.astMapPoint[k].id == g_ucFodPointID) return k;
  }
  return -1;
}

}  // namespace

extern "C" {

uint8_t AppCheckPeakPercent(int32_t peak) {
  if (peak < 1) return 0;
  // The scale stands for the centre node's expected share, peak / 33, so that a node of
  // weight w may contribute at most w * peak / 33. For a peak above 8000 the integer
  // quotient 8000 / peak is 0; that share is then taken directly instead of dividing by 0.
  const int64_t scale = static_cast<int64_t>(kCoverageBase / peak) * kCentreWeight;
  int64_t sum = 0;
  for (int r = 0; r < kWindowSide; ++r) {
    for (int c = 0; c < kWindowSide; ++c) {
      const int32_t diff = AppMcGetDiff(static_cast<uint8_t>(kWindowTx + r), static_cast<uint8_t>(kWindowRx + c));
      if (diff < 1) continue;
      const int64_t w = kWeights[r][c];
      const int64_t cap = scale != 0 ? w * kCoverageBase / scale : w * peak / kCentreWeight;
      sum += std::min<int64_t>(cap, diff) * w;
    }
  }
  const int64_t percent = sum * 100 / (static_cast<int64_t>(peak) * kWeightSum);
  g_ucFodArea = static_cast<uint8_t>(std::min<int64_t>(percent, 255));
  return g_ucFodArea;
}

uint8_t AppCheakFodPeakInArea(uint8_t index, uint8_t wide) {
  if (index >= LUMA_MAX_POINTS) return 0;
  const LumaPoint &p = g_stTouchData.astMapPoint[index];
  if (p.id >= LUMA_FOD_IDS) return 0;
  if (!(wide != 0 ? kWideArea : kNarrowArea).Holds(p)) return 0;
  if (g_aucFodSlideDownFlg[p.id] == 0) return 0;
  g_ucFodPointID = p.id;
  g_ucFodTouchFlg = 1;
  gGestureFodTouchFlg = 1;
  const auto x = static_cast<uint16_t>(p.x);
  const auto y = static_cast<uint16_t>(p.y);
  g_ucFodCoordinate[0] = static_cast<uint8_t>(x >> 8);
  g_ucFodCoordinate[1] = static_cast<uint8_t>(x);
  g_ucFodCoordinate[2] = static_cast<uint8_t>(y >> 8);
  g_ucFodCoordinate[3] = static_cast<uint8_t>(y);
  g_ucTouchArea = p.area;
  return 1;
}

void AppCheckDownEvtInFodSlideArea(void) {
  const uint8_t n = std::min<uint8_t>(g_stTouchData.ucPointNum, LUMA_MAX_POINTS);
  for (uint8_t k = 0; k < n; ++k) {
    const LumaPoint &p = g_stTouchData.astPoint[k];
    if (p.id > 9 || EventOf(p.id) != kEventDown || !kSlideArea.Holds(p)) continue;
    g_aucFodSlideDownFlg[p.id] = 1;
  }
}

void AppClearTouchDownInFodSlideFlag(void) {
  for (uint8_t &f : g_aucFodSlideDownFlg) f = 0;
}

void AlgReportFodUp(uint8_t kind) {
  HostFingerprint(0);
  if (alg_module_callback != nullptr && alg_module_callback->log != nullptr) {
    alg_module_callback->log(0, "Resume Up%d", static_cast<int>(kind));
  }
  if (kind != 0 && kind != 2) return;
  // What the panel saw when the host gave up waiting for the finger, for the bug report.
  const uint32_t rx = g_stFwConfig.ucRxNum;
  const uint32_t nodes = std::min<uint32_t>(g_stFrmInfo.usNodeNum, LUMA_MAX_NODES);
  print_buffer_s16(g_stFrmData.pssMcDiff, nodes, static_cast<int32_t>(rx));
  print_buffer_s16(reinterpret_cast<const int16_t *>(g_usAlgPrintfBuf), LUMA_DEBUG_ROWS_DUMPED * rx,
                   static_cast<int32_t>(rx));
}

void AppFreeFodCheck(void) {
  if (g_fod_resume_pressed == 0) {
    g_bForceChangeIDFlg = 0;
    resume_fod_id = kNoId;
    g_bFodReportOnePointState = 0;
    g_fod_resume_pressed_back = 0;
    return;
  }
  const LumaTouchData &t = g_stTouchData;
  if (t.ucPointNum == 0) {
    if (resume_fod_id == kNoId) {
      AlgReportFodUp(2);
      g_ucAlgFodUpFlg = 1;
    }
  } else if (g_fod_resume_pressed_back == 0) {
    for (const LumaPoint &p : t.astMapPoint) {
      if (p.id <= 9 && kWideArea.Holds(p)) {
        resume_fod_id = p.id;
        g_bForceChangeIDFlg = 1;
        break;
      }
    }
    if (resume_fod_id == kNoId) {
      AlgReportFodUp(0);
      g_ucAlgFodUpFlg = 1;
    }
  }
  // The lift of the bound finger: its up still stands in the output list in the frame
  // after the last point went away.
  for (const LumaPoint &p : t.astMapPoint) {
    if (resume_fod_id == kNoId || p.id != resume_fod_id || EventOf(p.id) != kEventUp) continue;
    HostFingerprint(0);
    AlgHostLog("Resume Up%d", 3);
    g_ucAlgFodUpFlg = 1;
  }
  g_fod_resume_pressed_back = static_cast<uint8_t>(g_fod_resume_pressed != 0);
}

void AppCheckFodArea(void) {
  if (AppFrameIsValid() == 0) return;
  g_ucFodTouchFlg = 0;
  gGestureFodTouchFlg = 0;
  g_ucFodEvent = kEventNothing;
  g_ucFodID = 0;
  AppFreeFodCheck();
  if ((!ReportingEnabled() && g_ucFodPointID == kNoId) || g_fod_resume_pressed != 0) {
    s_ucFodCheckEnable = 1;
    AppClearTouchDownInFodSlideFlag();
    return;
  }
  if (g_stTouchData.ucPointNum == 0) {
    g_ucFodFingerSta = 0;
    ucFingerDownCnt = 0;
    s_ucFodCheckEnable = 1;
    AppClearTouchDownInFodSlideFlag();
    ForgetTouch();
    UpStep();
    return;
  }
  if (s_ucFodCheckEnable == 0) return;
  if (g_ucFodPointID != kNoId) {
    const int k = TrackedIndex();
    if (k < 0) {
      ForgetTouch();
      UpStep();
      return;
    }
    if (AppCheakFodPeakInArea(static_cast<uint8_t>(k), 1) == 0) {
      s_ucFodCheckEnable = 0;
      AppClearTouchDownInFodSlideFlag();
      ForgetTouch();
      UpStep();
      return;
    }
    DownStep();
    return;
  }
  AppCheckDownEvtInFodSlideArea();
  int taken = -1;
  for (uint8_t k = 0; k < LUMA_MAX_POINTS; ++k) {
    if (AppCheakFodPeakInArea(k, 0) != 0) {
      taken = k;
      break;
    }
  }
  if (taken < 0) {
    ForgetTouch();
    UpStep();
    return;
  }
  const LumaPoint &p = g_stTouchData.astMapPoint[taken];
  const int32_t diff = AppMcGetDiff(p.ucTx, p.ucRx);
  const int32_t peak = 7 * diff < 640 ? 80 : 7 * diff / 8;
  if (AppCheckPeakPercent(peak) < kCoverageMin) {
    ForgetTouch();
    g_ucFodTouchFlg = 0;
    gGestureFodTouchFlg = 0;
    UpStep();
    return;
  }
  DownStep();
}

}  // extern "C"
