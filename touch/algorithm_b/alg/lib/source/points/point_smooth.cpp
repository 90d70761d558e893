// The point smoother. A finger at rest jitters by a few units from frame to frame; a moving
// finger must follow without lag. Each tracked point therefore sits in a dead zone until it
// leaves it, and then moves toward its new position by a share (alpha / 256) of the way
// that grows with the distance. All of it works in doubled panel units.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "luma_calc.h"
#include "luma_edge.h"
#include "luma_env.h"
#include "luma_noise.h"
#include "luma_search.h"
#include "luma_smooth.h"

extern "C" {
LumaTouchAlpha g_stTouchAlpha[LUMA_MAX_POINTS];
LumaTouchSmooth g_stTouchSmooth[LUMA_MAX_POINTS];
LumaStablePoint stStablePoint[LUMA_MAX_POINTS];
uint8_t OnePointStableCnt[2];
}

namespace {

constexpr uint8_t kEventDown = 0;
constexpr uint8_t kEventUp = 1;
constexpr uint8_t kEventContact = 2;
constexpr uint16_t kFree = 500;
constexpr uint32_t kEdgeStart = 3200;

struct SpeedTriple {
  uint32_t limit;
  uint32_t step;
  uint32_t frames;
};

// The game level lives in byte 2 of the game-mode record (the host's game jitter level).
uint8_t GameLevel() { return g_stGameModeCfg[2]; }

SpeedTriple GameTriple() {
  switch (GameLevel()) {
    case 1: return {1600, 800, 30};
    case 2: return {1280, 640, 30};
    case 3: return {1120, 480, 30};
    default: return {1920, 800, 40};
  }
}

bool Game() { return AppIsGameMode() != 0; }
bool MutualNoise() { return g_stMcNoiseRepo.ucState != 0 || g_stMcNoiseRepo.ucFlag != 0; }
uint32_t XMax2() { return 2 * g_stFwConfig.aulNotchX[0]; }
uint32_t YMax2() { return 2 * g_stFwConfig.aulNotchY[0]; }
uint32_t Delta(uint32_t a, uint32_t b) { return a > b ? a - b : b - a; }
// Inside the band of 3200 (doubled units) from either x border.
bool InsideX(uint32_t x2) { return x2 >= kEdgeStart && x2 + kEdgeStart <= XMax2(); }

// The coordinate record the point was computed from: the peak list entry at the point's
// Tx and Rx lines; null when none matches (a point held over from an earlier frame).
const LumaMcPeak *CoordRecord(const LumaPoint &p) {
  const uint8_t n = std::min<uint8_t>(g_stPeakData.ucMcPosPeakNum, LUMA_MAX_PEAKS);
  for (uint8_t k = 0; k < n; ++k) {
    const LumaMcPeak &e = g_stPeakData.astMcPeakList[k];
    if (e.ucTx == p.ucTx && e.ucRx == p.ucRx) return &e;
  }
  return nullptr;
}

void ForgetId(uint8_t id) {
  g_ForceAlpha[id] = 0;
  g_stTouchAlpha[id] = LumaTouchAlpha{0, 0, 0, 0};
  g_stTouchSmooth[id].ucValid = 0;
  if (id < 2) OnePointStableCnt[id] = 0;
}

uint32_t RoundDown(uint32_t v, uint32_t unit) { return unit <= 1 ? v : v - v % unit; }

// One axis: move from the reference toward the new position by alpha / 256 of the way.
uint32_t StepAxis(uint32_t ref, int64_t move, uint32_t alpha, uint32_t unit, int32_t *applied) {
  const auto magnitude = static_cast<uint32_t>(std::min<int64_t>(std::llabs(move) * std::min<uint32_t>(alpha, 256) / 256,
                                                                 UINT32_MAX));
  const uint32_t step = RoundDown(magnitude, unit);
  *applied = static_cast<int32_t>(move < 0 ? -static_cast<int64_t>(step) : step);
  return static_cast<uint32_t>(std::max<int64_t>(int64_t{ref} + *applied, 0));
}

}  // namespace

extern "C" {

uint8_t AppTRGameParamsRefresh(uint8_t, uint8_t, uint32_t *limit, uint32_t *step, uint32_t *frames) {
  if (!Game()) return 0;
  const SpeedTriple t = GameTriple();
  if (limit != nullptr) *limit = t.limit;
  if (step != nullptr) *step = t.step;
  if (frames != nullptr) *frames = t.frames;
  return 1;
}

void AppStableInit(void) { std::memset(stStablePoint, 0, sizeof(stStablePoint)); }

void AppTouchSmoothInit(void) {
  std::memset(g_stTouchAlpha, 0, sizeof(g_stTouchAlpha));
  std::memset(g_stTouchSmooth, 0, sizeof(g_stTouchSmooth));
  std::memset(OnePointStableCnt, 0, sizeof(OnePointStableCnt));
  std::memset(stTruMbRx, 0, sizeof(stTruMbRx));
  AppStableInit();
  g_stTouchData.pstTouchAlpha = g_stTouchAlpha;
  g_stTouchData.pstTouchSmooth = g_stTouchSmooth;
}

void AppStableInforRefresh(void) {
  const LumaTouchData &t = g_stTouchData;
  const uint8_t n = std::min<uint8_t>(t.ucPointNum, LUMA_MAX_POINTS);
  for (uint8_t k = 0; k < n; ++k) {
    const LumaPoint &p = t.astPoint[k];
    if (p.id >= LUMA_MAX_POINTS) continue;
    LumaStablePoint &s = stStablePoint[p.id];
    const LumaMcPeak *c = CoordRecord(p);
    const int32_t signal = c != nullptr ? c->ucWeight : 0;
    const uint8_t event = t.astEvent[p.id].ucEvent;
    const uint32_t x2 = 2 * p.x;
    if (event == kEventDown) {
      g_stTouchAlpha[p.id].usHold = 0;
      g_stTouchAlpha[p.id].ulLimit = 800;
      s.ucContactFrames = 0;
      s.ucLightCnt = 0;
      s.ulStartX = x2;
      s.ulStartY = 2 * p.y;
      s.ucEdgeState = InsideX(x2) ? 0 : 1;
      s.ucLastWeight = s.ucMaxWeight = p.weight;
      s.ucLastArea = s.ucMaxArea = p.area;
      s.slMaxSignal = signal;
    } else if (event == kEventContact) {
      s.ucLastWeight = p.weight;
      s.ucLastArea = p.area;
      if (p.weight > s.ucMaxWeight) s.ucMaxWeight = p.weight;
      if (p.area > s.ucMaxArea) s.ucMaxArea = p.area;
      if (signal > s.slMaxSignal) s.slMaxSignal = signal;
      if (s.ucContactFrames < 250) ++s.ucContactFrames;
    }
  }
  AppNoGameStabelParaSet();
}

void AppNoGameStabelParaSet(void) {
  if (Game() || !IsDispVertical()) return;
  const LumaTouchData &t = g_stTouchData;
  const uint8_t n = std::min<uint8_t>(t.ucPointNum, LUMA_MAX_POINTS);
  for (uint8_t k = 0; k < n; ++k) {
    const LumaPoint &p = t.astPoint[k];
    if (p.id >= LUMA_MAX_POINTS || t.astEvent[p.id].ucEvent != kEventContact) continue;
    LumaStablePoint &s = stStablePoint[p.id];
    const uint32_t x2 = 2 * p.x;
    if (InsideX(x2)) s.ucEdgeState = 0;
    else if (s.ucEdgeState == 1 && s.ucMaxWeight >= 31) s.ucEdgeState = 2;
  }
}

void AppFilterTouchPoint(void) {
  LumaTouchData &t = g_stTouchData;
  const uint8_t n = std::min<uint8_t>(t.ucPointNum, LUMA_MAX_POINTS);
  if (n == 0) {
    if (t.ucLastPointNum != 0) t.ucLiftUp = 0;
    for (uint8_t id = 0; id < LUMA_MAX_POINTS; ++id) {
      g_stTouchAlpha[id].usAlpha = 0;
      g_stTouchAlpha[id].ulDist = 0;
      g_stTouchAlpha[id].usHold = 0;
      g_stTouchSmooth[id].ucValid = 0;
    }
    std::memset(OnePointStableCnt, 0, sizeof(OnePointStableCnt));
    for (uint8_t id = 0; id < LUMA_MAX_POINTS; ++id) {
      if (t.astEvent[id].ucEvent == kEventUp) ForgetId(id);
    }
    return;
  }
  if (t.ucLastPointNum == 0) {
    for (LumaTouchSmooth &s : g_stTouchSmooth) s.ucValid = 0;
  }
  AppStableInforRefresh();

  const bool game = Game();
  const bool noise = MutualNoise();
  const bool near_field = g_usLikeNFNoiseFrame != 0;
  const SpeedTriple triple = game ? GameTriple() : SpeedTriple{1920, 800, 32};
  const uint32_t unit = std::max<uint32_t>(g_stTdParam.usJitterLimit, 1);
  const int last_tx = g_stFwConfig.ucTxNum - 1;
  const int last_rx = g_stFwConfig.ucRxNum - 1;

  for (uint8_t k = 0; k < n; ++k) {
    LumaPoint &p = t.astPoint[k];
    const uint32_t nx = 2 * p.x, ny = 2 * p.y;
    if (p.id >= LUMA_MAX_POINTS) continue;
    const uint8_t i = p.id;
    const uint8_t event = t.astEvent[i].ucEvent;
    LumaTouchSmooth &sm = g_stTouchSmooth[i];
    // The reference: where this touch was reported last frame; a new touch starts at its
    // own raw position.
    const bool continued = event != kEventDown && sm.ucValid != 0;
    const uint32_t rx = continued ? sm.ulX : nx;
    const uint32_t ry = continued ? sm.ulY : ny;
    uint32_t ox = nx, oy = ny;
    if (t.ucLastPointNum != 0) {
      LumaTouchAlpha &a = g_stTouchAlpha[i];
      LumaStablePoint &st = stStablePoint[i];
      const LumaMcPeak *coord = CoordRecord(p);
      const int nodes = coord != nullptr ? coord->ucStrongCnt : 0;
      const int signal = coord != nullptr ? coord->ucWeight : 0;
      const uint32_t d = Delta(nx, rx) + Delta(ny, ry);

      // Base alpha from the distance; a point slowing down keeps the alpha it had.
      uint32_t alpha = d < 4 * unit ? std::max<uint32_t>(256 * d / (4 * unit), 16) : 256;
      if (a.ulDist > d) alpha = a.usAlpha;
      else a.usAlpha = static_cast<uint16_t>(alpha);
      a.ulDist = d;
      alpha = std::min<uint32_t>(alpha, 256);

      if (g_stPowerInfo[LUMA_PWR_MODE] == 2 && n == 2 && noise) alpha = std::max<uint32_t>(alpha / 2, 8);

      // A large contact moves as a whole: it does not sit in the dead zone.
      const int big = game ? 27 : 15;
      if (nodes > big && g_ForceAlpha[i] == 0 && a.usHold <= 499) a.usHold = 0;
      if (n > g_ucLastOutputPtCnt && !game && nodes > big && event != kEventDown) a.usHold = 0;
      if (i < 2) {
        uint8_t &drift = sm.ucDriftCnt;
        if (nodes > 9) {
          if (drift >= 51) a.usHold = 0;
        } else {
          if (drift > 0) --drift;
          if (drift >= 51) a.usHold = 0;
        }
      }

      // Dead zone.
      if (a.usHold >= triple.frames) {
        if (a.ulLimit < triple.step) a.ulLimit = triple.step;
        if (game && a.ulLimit > triple.step) a.ulLimit = triple.step;
        if (a.ulLimit > triple.limit) a.ulLimit = triple.limit;
      } else {
        if (a.usHold == 0) a.ulLimit = triple.step;
        const bool light_steady = st.ucContactFrames >= 3 && st.ucMaxArea < 5 && st.ucMaxWeight < 15 && !near_field &&
                                  !noise;
        if (light_steady) a.ulLimit = triple.step;
        else if (a.ulLimit < d + 128 && triple.limit > d) a.ulLimit = d + 128;
      }

      // Still or free.
      const bool forced = g_ForceAlpha[i] >= 4;
      if (a.ulLimit > d && a.usHold < kFree) {
        a.usHold = static_cast<uint16_t>(std::min<uint32_t>(a.usHold + 1u, triple.frames));
        if (i < 2 && n <= 2 && noise) OnePointStableCnt[i] = 0;
        if (!forced) alpha = 0;
        if (IsDispVertical() && !game && st.ucEdgeState == 2 && st.ucContactFrames < 240 && st.ucMaxWeight >= 31 &&
            4 * st.ucLastWeight < 3 * st.ucMaxWeight)
          alpha = 0;
      } else {
        a.usHold = kFree;
        if (i < 2 && n <= 2 && OnePointStableCnt[i] <= 1 && noise) {
          if (!forced) alpha = 0;
          ++OnePointStableCnt[i];
        }
      }

      // Shaping.
      uint32_t round = 4;
      if (alpha >= 2 && alpha <= 63) {
        if (game || (p.ucTx != 0 && p.ucTx != last_tx)) {
          if (near_field || game) {
            const uint32_t sq = alpha * alpha + 32;
            alpha = sq < 256 ? 4 : sq / 64;
          }
          if (!(signal < 12 || g_stPeakData.ssMcMaxDiff >= 600)) {
            alpha /= 4;
            round = 8;
          }
        }
      }

      // A slow, steady finger never jumps: cap alpha by its running movement.
      const uint32_t mean = AppFlyingMeanSum(i);
      if (mean < 1025) {
        const uint32_t allowed = std::max<uint32_t>({3 * mean / 2, d / 16, 96});
        alpha = std::min<uint32_t>(alpha, static_cast<uint32_t>(uint64_t{allowed} * 256 / (uint64_t{d} + 1) + 1));
      }

      if (g_ForceAlpha[i] != 0) {
        --g_ForceAlpha[i];
        a.usHold = kFree;
        alpha = std::min<uint32_t>(alpha / 2, 160);
      }

      int64_t mx = int64_t{nx} - rx;
      int64_t my = int64_t{ny} - ry;
      // A heavy touch turning light is a finger rolling off: its centre slides without the
      // finger moving, so most of that movement is not followed.
      if (!game && st.ucContactFrames < 40) {
        if (st.ucLastWeight > 34) st.ucLightCnt = 0;
        else if (st.ucLightCnt < 255) ++st.ucLightCnt;
        const bool light_last = st.ucLastWeight <= 34;
        if (st.ucMaxWeight >= 36 && (!light_last || st.ucLightCnt < 6) &&
            (st.ucMaxWeight - st.ucLastWeight > 20 || st.ucMaxArea > 2 * st.ucLastArea)) {
          mx /= 4;
          my /= 4;
          if (d < 3200) mx = my = 0;
        }
      }

      // Toward an edge: follow faster so that the edge stays reachable.
      if (alpha < 32) {
        const uint32_t xm = XMax2(), ym = YMax2();
        const uint32_t yin = alpha == 4 ? 32 : 160, yout = alpha == 4 ? 64 : 192;
        const bool to_edge = (nx <= 96 && rx >= 128 && p.ucTx == 0) ||
                             (nx + 96 >= xm && rx + 128 <= xm && p.ucTx == last_tx) ||
                             (ny <= yin && ry >= yout && p.ucRx == 0) ||
                             (ny + yin >= ym && ry + yout <= ym && p.ucRx == last_rx);
        if (to_edge) {
          alpha = 32;
          round = 1;
        }
      }

      int32_t sx = 0, sy = 0;
      ox = StepAxis(rx, mx, alpha, round, &sx);
      oy = StepAxis(ry, my, alpha, round, &sy);

      if (i < 2 && g_stSysParam.ucHighSensitivity != 0 && noise) {
        sm.slDriftX += std::abs(sx);
        sm.slDriftY += std::abs(sy);
        if (sm.slDriftX > 255 || sm.slDriftY > 127) {
          sm.ucDriftCnt = 0;
          sm.slDriftX /= 2;
          sm.slDriftY /= 2;
        } else if (sm.ucDriftCnt < 255) {
          ++sm.ucDriftCnt;
        }
      } else {
        sm.ucDriftCnt = 0;
      }
    }
    sm.ulX = ox;
    sm.ulY = oy;
    sm.ucValid = 1;
    p.x = ox / 2;
    p.y = oy / 2;
  }
  for (uint8_t id = 0; id < LUMA_MAX_POINTS; ++id) {
    if (t.astEvent[id].ucEvent == kEventUp) ForgetId(id);
  }
}

}  // extern "C"
