// The result of the frame: the points of the output list with their IDs and events, after
// the power hold, the single-tap precision rule and the weight and area smoothing.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "luma_core.h"
#include "luma_env.h"
#include "luma_search.h"

extern "C" {
uint8_t g_ucLastTouchWeight[LUMA_MAX_POINTS];
uint8_t g_ucLastTouchArea[LUMA_MAX_POINTS];
uint8_t Precision_Step;
uint32_t Precision_usPosX_Deta[2];
uint32_t Precision_usPosY_Deta[2];
uint32_t Precision_usPosX_DetaMax;
uint32_t Precision_usPosY_DetaMax;
uint8_t Precision_FrameIndx;
}

namespace {

constexpr uint8_t kEventUp = 1;
constexpr uint8_t kEventNone = 3;
// A second tap this close to the first is taken as a repeat of it.
constexpr uint32_t kTapSpan = 240;
// A tap that wanders further than this is a stroke, not a tap.
constexpr uint32_t kTapWander = 48;

uint8_t MaxPoints() { return std::min<uint8_t>(g_stFwConfig.ucMaxPointNum, LUMA_MAX_POINTS); }

uint32_t Distance(uint32_t a, uint32_t b) { return a > b ? a - b : b - a; }

void PrecisionReset() {
  Precision_Step = 0;
  Precision_usPosX_DetaMax = 0xFFFFFFFFu;
  Precision_usPosY_DetaMax = 0xFFFFFFFFu;
  Precision_FrameIndx = 0;
}

// A remembered value moves one step toward a new one that differs by more than `band`.
uint8_t Follow(uint8_t remembered, int32_t value, int32_t band, int32_t step) {
  if (remembered == 0) return static_cast<uint8_t>(value);
  const int32_t r = remembered;
  if (std::abs(value - r) <= band) return remembered;
  return static_cast<uint8_t>(value > r ? r + step : r - step);
}

const LumaPoint *LastOutput(uint8_t id) {
  for (const LumaPoint &p : g_stTouchData.astLastOutput) {
    if (p.id == id) return &p;
  }
  return nullptr;
}

}  // namespace

extern "C" {

void AppPrecisionModifyProcess(void) {
  if (AppIsGameMode() != 0) return;
  const LumaTouchData &t = g_stTouchData;
  LumaPoint &p = g_stTouchData.astMapPoint[0];
  const uint8_t now = t.ucPointNum;
  const uint8_t last = t.ucLastPointNum;
  if (now >= 2 || last >= 2) {
    PrecisionReset();
    return;
  }
  if (now == 1 && last == 0) {
    if (Precision_Step == 0) {
      Precision_usPosX_Deta[0] = Precision_usPosX_Deta[1] = p.x;
      Precision_usPosY_Deta[0] = Precision_usPosY_Deta[1] = p.y;
      Precision_usPosX_DetaMax = Precision_usPosY_DetaMax = 0;
      return;
    }
    Precision_usPosX_Deta[1] = p.x;
    Precision_usPosY_Deta[1] = p.y;
    if (Distance(p.x, Precision_usPosX_Deta[0]) <= kTapSpan && Distance(p.y, Precision_usPosY_Deta[0]) <= kTapSpan) {
      p.x = (Precision_usPosX_Deta[0] + Precision_usPosX_Deta[1]) / 2;
      p.y = (Precision_usPosY_Deta[0] + Precision_usPosY_Deta[1]) / 2;
    } else {
      Precision_Step = 0;
      Precision_usPosX_Deta[0] = p.x;
      Precision_usPosY_Deta[0] = p.y;
    }
    return;
  }
  if (last != 1) return;
  const uint8_t step = Precision_Step;
  if (now == 1) {
    Precision_usPosX_DetaMax = std::max(Precision_usPosX_DetaMax, Distance(p.x, Precision_usPosX_Deta[step]));
    Precision_usPosY_DetaMax = std::max(Precision_usPosY_DetaMax, Distance(p.y, Precision_usPosY_Deta[step]));
  }
  if (Precision_usPosX_DetaMax > kTapWander || Precision_usPosY_DetaMax > kTapWander ||
      Distance(Precision_usPosX_Deta[0], Precision_usPosX_Deta[1]) > kTapSpan ||
      Distance(Precision_usPosY_Deta[0], Precision_usPosY_Deta[1]) > kTapSpan) {
    PrecisionReset();
    return;
  }
  if (now == 0 && step == 0) {
    Precision_Step = 1;
  } else if (step == 1 && now == 1) {
    p.x = (Precision_usPosX_Deta[0] + Precision_usPosX_Deta[1]) / 2;
    p.y = (Precision_usPosY_Deta[0] + Precision_usPosY_Deta[1]) / 2;
  }
}

void AppGetTouchPressure(uint8_t *weight, uint8_t *area, uint8_t index) {
  const LumaPoint &p = g_stTouchData.astMapPoint[index];
  const uint8_t id = p.id;
  if (id >= LUMA_MAX_POINTS) {
    *weight = *area = 0;
    return;
  }
  if (g_stTouchData.astEvent[id].ucEvent == kEventUp) {
    g_ucLastTouchWeight[id] = g_ucLastTouchArea[id] = 0;
  } else {
    g_ucLastTouchWeight[id] = Follow(g_ucLastTouchWeight[id], p.weight, 15, 1);
    // The area byte counts nodes; sixteen times a large finger's count must not wrap into a
    // small area.
    const int32_t scaled = std::min(p.area * 16, 255);
    g_ucLastTouchArea[id] = Follow(g_ucLastTouchArea[id], scaled, 32, 16);
  }
  *weight = g_ucLastTouchWeight[id];
  *area = g_ucLastTouchArea[id];
}

uint8_t AppTouchResultOutput(void) {
  LumaTouchData &t = g_stTouchData;
  uint8_t written = 0;
  if (t.ucTouching != 0 || t.ucAllRelease != 0 || t.ucReportRequest != 0) {
    g_ucLastOutputPtCnt = 0;
    std::memset(g_stRptInfo, 0xFF, sizeof(g_stRptInfo));
    AppPrecisionModifyProcess();
    const uint8_t walk = std::min<uint8_t>(g_stTdParam.ucMaxPoint, LUMA_MAX_POINTS);
    for (uint8_t k = 0; k < walk; ++k) {
      const LumaPoint &p = t.astMapPoint[k];
      if (p.id >= MaxPoints()) continue;
      uint8_t event = t.astEvent[p.id].ucEvent;
      if (event == kEventNone) continue;
      if (AppPwrProcess(p.id, &event) == 0) continue;
      uint32_t x = p.x;
      uint32_t y = p.y;
      if (event == kEventUp) {
        const LumaPoint *before = LastOutput(p.id);
        if (before == nullptr) continue;
        x = before->x;
        y = before->y;
      }
      if (t.ucLiftUp == 0) {
        uint8_t weight;
        uint8_t area;
        AppGetTouchPressure(&weight, &area, k);
      }
      LumaRptPoint &out = g_stRptInfo[written];
      out.id = p.id;
      out.x = x;
      out.y = y;
      out.event = event;
      ++written;
      if (event != kEventUp) ++g_ucLastOutputPtCnt;
    }
    if (t.ucAllRelease != 0 && g_EdgePalmHoldCnt == 0) AppPointEventInfoInit(t.astEvent);
    t.ucTouching = 0;
    t.ucAllRelease = 0;
    t.ucReportRequest = 0;
  }
  std::memcpy(t.astLastOutput, t.astMapPoint, sizeof(t.astLastOutput));
  if (written == 0) std::memset(t.astLastOutput, 0xFF, sizeof(t.astLastOutput));
  return written;
}

}  // extern "C"
