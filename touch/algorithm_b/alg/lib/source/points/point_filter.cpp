// The point stages around the touch-ID assignment. Stage 2 holds a touch that water hides
// for one frame; stage 3 keeps the thumb-palm statistic, drops points that jump further
// than a finger moves in a frame, shifts the peak ranges by the movement, keeps this
// frame's points for the next, sets the power hold level, maps the points to panel
// coordinates, smooths every tracked point (luma_smooth.cpp) and watches for two touches
// lying along one sense-line span.
#include <algorithm>
#include <cstring>

#include "luma_edge.h"
#include "luma_env.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_search.h"
#include "luma_smooth.h"
#include "luma_water_proof.h"

extern "C" {
uint16_t g_usFrameTimes;
uint8_t stTruMbRx[7];
}

namespace {

uint8_t s_ucLiftUpHold;

// Per touch ID: the jumps of the last three frames, running means of twice the movement
// per axis, the frames followed and a grace frame before the first judgement.
struct FlyingHistory {
  uint32_t last;
  uint32_t before;
  uint32_t before2;
  uint32_t mean_x;
  uint32_t mean_y;
  uint8_t frames;
  uint8_t grace;
};
FlyingHistory s_astFlying[LUMA_MAX_POINTS];

constexpr uint8_t kThumbFramesMax = 250;
constexpr uint8_t kLightWeight = 40;

constexpr uint32_t kSlowJump = 960;
constexpr uint32_t kWildJump = 5120;

void FlyingRestart() {
  for (FlyingHistory &h : s_astFlying) h = FlyingHistory{0, 0, 0, 0, 0, 0, 1};
  std::memset(g_stTouchData.astStagePoint, 0xFF, sizeof(g_stTouchData.astStagePoint));
}

const LumaPoint *Saved(uint8_t id) {
  for (const LumaPoint &p : g_stTouchData.astStagePoint) {
    if (p.id == id) return &p;
  }
  return nullptr;
}

uint32_t Delta(uint32_t a, uint32_t b) { return a > b ? a - b : b - a; }

// The largest jump a point may make this frame, from its history and the frame's state.
uint32_t JumpLimit(const FlyingHistory &h, uint32_t jump, uint32_t prev, uint32_t prev2, uint8_t now, uint8_t last) {
  const bool game = AppIsGameMode() != 0;
  const bool typing = g_ucTypingMode != 0;
  uint32_t limit = (game || typing || g_usLikeNFNoiseFrame != 0) ? 2560 : 3200;
  if (prev > 480 && !game) limit += 640;
  if (typing && jump >= 2561 && prev <= 319 && h.frames > 9) limit = 2560;
  if (jump >= 2561 && jump <= 3519 && prev <= 959 && now > last && h.frames >= 251) limit = 3520;
  const uint8_t settled = game ? 8 : 4;
  if (AppMcNoiseExist() != 0) {
    const bool single_after_one_lost = now == 1 && last == 1 && s_ucInvalidFrames == 1 && jump > 2560 && prev < 480 &&
                                       prev2 < 480 && h.frames >= settled;
    if (!single_after_one_lost) limit *= 2;
  }
  if (AppIsWaterExist() != 0 && !typing) {
    const bool sudden = h.frames >= settled && prev <= 319 && prev2 <= 319 && jump >= 2561 && jump > 10 * prev;
    const bool accelerating = jump >= 5121 && prev >= 961 && prev2 <= 319 && prev > 6 * prev2;
    const bool far_leap = jump > 9600 && jump > 6 * prev && prev2 < 15 * 1024 && prev >= 481 && prev <= 2559;
    if (!sudden && !accelerating && !far_leap) limit *= 4;
  }
  // One elongated touch, alone now and last frame, is a finger sliding flat: it may cover
  // far more ground in a frame than a fingertip.
  if (g_PeakRatioMax >= 50 && now == 1 && last == 1 && g_stPeakData.ucOutPeakNum == 1 &&
      g_stPeakData.ucLastOutPeakNum == 1 && g_usLikeNFNoiseFrame == 0)
    limit = 9600;
  return limit;
}

void FlyingLineFilter() {
  LumaTouchData &t = g_stTouchData;
  const uint8_t last = t.ucLastPointNum;
  if (t.ucPointNum == 0 || (last == 0 && g_EdgePalmHoldCnt == 0)) {
    FlyingRestart();
    return;
  }
  g_usFrameTimes = 0;
  const uint8_t listed = std::min<uint8_t>(t.ucPointNum, LUMA_MAX_POINTS);
  // The lifts the ID assignment appended after the points, and those dropped here: each is
  // reported once more, from a record that names only the ID.
  uint8_t lifted[LUMA_MAX_POINTS];
  uint8_t lifts = 0;
  for (uint8_t i = listed; i < LUMA_MAX_POINTS; ++i) {
    if (t.astPoint[i].id < LUMA_MAX_POINTS) lifted[lifts++] = t.astPoint[i].id;
  }
  uint8_t k = 0;
  while (k < std::min<uint8_t>(t.ucPointNum, LUMA_MAX_POINTS)) {
    LumaPoint &p = t.astPoint[k];
    const LumaPoint *s = p.id < LUMA_MAX_POINTS ? Saved(p.id) : nullptr;
    if (s == nullptr) {
      ++k;
      continue;
    }
    FlyingHistory &h = s_astFlying[p.id];
    const uint32_t dx = Delta(p.x, s->x);
    const uint32_t dy = Delta(p.y, s->y);
    uint32_t jump = dx + dy;
    AppSetCurrentDeltaPos(p.id, dx, dy);
    const uint32_t prev = h.last;
    const uint32_t prev2 = h.before;
    h.before2 = h.before;
    h.before = h.last;
    if (h.frames < 255) ++h.frames;
    const bool graced = h.grace != 0;
    if (h.grace > 0) --h.grace;
    const bool judged = (!graced || jump >= kWildJump) && (prev <= kSlowJump || jump > prev + kWildJump || jump <= kSlowJump);
    if (judged) {
      if (s_ucInvalidFrames != 0) jump /= s_ucInvalidFrames + 1u;
      const uint32_t limit = JumpLimit(h, jump, prev, prev2, t.ucPointNum, last);
      LumaPointEvent &e = t.astEvent[p.id];
      if (jump > limit && e.ucEvent != 0) {
        // A jump no finger makes: the point is dropped and its touch ends here.
        e.ucEvent = 1;
        e.ucLastEvent = 3;
        e.x = e.y = 32767;
        if (t.ucTrackedIdNum > 0) --t.ucTrackedIdNum;
        h.last = 0;
        if (lifts < LUMA_MAX_POINTS) lifted[lifts++] = p.id;
        const uint8_t n = --t.ucPointNum;
        p = t.astPoint[n];
        std::memset(&t.astPoint[n], 0xFF, sizeof(LumaPoint));
        continue;
      }
    }
    h.last = jump;
    ++k;
  }
  const uint8_t kept = std::min<uint8_t>(t.ucPointNum, LUMA_MAX_POINTS);
  std::memset(&t.astPoint[kept], 0xFF, sizeof(LumaPoint) * (LUMA_MAX_POINTS - kept));
  for (uint8_t i = 0; i < lifts && kept + i < LUMA_MAX_POINTS; ++i) t.astPoint[kept + i].id = lifted[i];
  for (LumaPoint &s : t.astStagePoint) {
    if (s.id < LUMA_MAX_POINTS && t.astEvent[s.id].ucEvent == 1) {
      s_astFlying[s.id] = FlyingHistory{0, 0, 0, 0, 0, 0, 1};
      s.id = 255;
    }
  }
  s_ucInvalidFrames = 0;
}

// Frames with one or two points: how many of them are light. A heavy point that stays
// alone after a second, light one left is a thumb, not a palm.
void ThumbPalmStatistic() {
  uint8_t *t = g_stThumbExculdePalm;
  const uint8_t n = g_stTouchData.ucPointNum;
  if (n != 1 && n != 2) {
    std::memset(g_stThumbExculdePalm, 0, sizeof(g_stThumbExculdePalm));
    return;
  }
  if (n == 2 && t[4] < kThumbFramesMax) ++t[4];
  uint8_t light = 0, heavy = 0;
  for (uint8_t k = 0; k < n; ++k) {
    const LumaPoint &p = g_stTouchData.astPoint[k];
    if (p.id > 9) continue;
    if (p.weight < kLightWeight) ++light;
    else ++heavy;
  }
  if (t[4] >= 4) {
    const uint8_t last = g_stTouchData.ucLastPointNum;
    if (last == 2 && light == 0 && heavy == 1) t[2] = 1;
    else if (last == 1 && light != 0 && heavy == 0) t[2] = 0;
    t[3] = light;
  }
}

// Each point's peak range moves with the point, so that the next frame's search looks
// where the finger is going.
void ShiftPeakRanges() {
  const LumaTouchData &t = g_stTouchData;
  if (t.ucLiftUp != 0) return;
  const int x_lines = g_stFrmInfo.aucCfgCopy[6];
  const int y_lines = g_stFrmInfo.aucCfgCopy[7];
  const uint8_t n = std::min<uint8_t>(t.ucPointNum, LUMA_MAX_POINTS);
  for (uint8_t k = 0; k < n; ++k) {
    const LumaPoint &p = t.astPoint[k];
    if (p.id >= LUMA_MAX_POINTS || t.astEvent[p.id].ucEvent == 1) continue;
    const LumaPoint *s = Saved(p.id);
    uint8_t *range = structForecastPointRange[k];
    if (s == nullptr || range[0] == 255) continue;
    const int64_t sx = (static_cast<int64_t>(p.x) - s->x) / 1024;
    const int64_t sy = (static_cast<int64_t>(p.y) - s->y) / 1024;
    auto move = [](uint8_t &b, int64_t shift, int lines) {
      b = static_cast<uint8_t>(std::clamp<int64_t>(b + shift, 0, std::max(lines - 1, 0)));
    };
    if (sx != 0) {
      for (int i : {1, 3, 5}) move(range[i], sx, x_lines);
    }
    if (sy != 0) {
      for (int i : {2, 4, 6}) move(range[i], sy, y_lines);
    }
  }
}

}  // namespace

extern "C" {

void AppNfTrbInRxStatuCheck(void) {
  uint8_t *r = stTruMbRx;
  const LumaTouchData &t = g_stTouchData;
  bool along = false;
  if (t.ucPointNum == 2) {
    const LumaPoint &a = t.astPoint[0];
    const LumaPoint &b = t.astPoint[1];
    if (a.id <= 9 && b.id <= 9 && a.area >= 16 && b.area >= 16) {
      r[2] = a.ucRx;
      r[3] = b.ucRx;
      along = a.ucRx == b.ucRx;
      if (!along) {
        along = true;
        const int lo = std::min(a.ucRx, b.ucRx), hi = std::max(a.ucRx, b.ucRx);
        for (int c = lo; c <= hi && c < static_cast<int>(sizeof(g_ssMc2RxDiffer) / sizeof(g_ssMc2RxDiffer[0])); ++c)
          along = along && g_ssMc2RxDiffer[c] >= 200;
      }
    }
  }
  if (along) {
    if (r[6] == 0 && ++r[0] >= 21) {
      r[6] = 1;
      r[0] = 0;
      r[1] = 0;
    }
    return;
  }
  r[0] = 0;
  if (r[6] != 0 && ++r[1] >= 3) {
    r[6] = 0;
    r[1] = 0;
  }
}

void AppBigThumbTouchCheck(void) { ThumbPalmStatistic(); }

void AppPointForecast(void) { ShiftPeakRanges(); }

void AppSetCurrentDeltaPos(uint8_t id, uint32_t dx, uint32_t dy) {
  if (id >= LUMA_MAX_POINTS) return;
  FlyingHistory &h = s_astFlying[id];
  // A steady movement is averaged; a change of pace restarts the means.
  if (Delta(h.mean_x + h.mean_y, 2 * (dx + dy)) < 257) {
    h.mean_x = (h.mean_x + 2 * dx) / 2;
    h.mean_y = (h.mean_y + 2 * dy) / 2;
  } else {
    h.mean_x = 2 * dx;
    h.mean_y = 2 * dy;
  }
}

uint32_t AppFlyingMeanSum(uint8_t id) {
  return id < LUMA_MAX_POINTS ? s_astFlying[id].mean_x + s_astFlying[id].mean_y : UINT32_MAX;
}

void AppPointFilterLiftup(void) {
  LumaTouchData &t = g_stTouchData;
  const bool lost = t.ucPointNum == 0 && t.ucLastPointNum != 0 && AppIsWaterExist() != 0 && g_fod_resume_pressed == 0;
  if (!lost) {
    t.ucLiftUp = 0;
    s_ucLiftUpHold = 0;
    return;
  }
  // Water can hide a finger for a frame: keep last frame's points once, not twice.
  if (s_ucLiftUpHold == 0) {
    t.ucPointNum = std::min<uint8_t>(t.ucLastPointNum, LUMA_MAX_POINTS);
    t.ucLiftUp = 1;
    s_ucLiftUpHold = 1;
  } else {
    s_ucLiftUpHold = 0;
  }
}

void AppSaveLastPointStatus(void) {
  const uint8_t most = std::min<uint8_t>(g_stFwConfig.ucMaxPointNum, LUMA_MAX_POINTS);
  std::memcpy(g_stTouchData.astStagePoint, g_stTouchData.astPoint, sizeof(LumaPoint) * most);
}

void AppPwrPointFilter(void) {
  if (g_stTouchData.ucLiftUp != 0) return;
  uint8_t &level = g_stPowerInfo[LUMA_PWR_LEVEL];
  const uint8_t mode = g_stPowerInfo[LUMA_PWR_MODE];
  if (mode == 0) {
    level = 0;
  } else if (mode == 2) {
    if (g_stSysParam.ucHighSensitivity != 0 || g_ucFwAdcOverLoadFlag != 0 || g_ucFwScAdcOverLoadFlag != 0) {
      level = 2;
    } else if (g_usMcScPeakNotMatchNum != 0) {
      level = 1;
    } else if (g_usMayBeCdmaNoiseFlag != 1 || g_stPeakData.ucOutPeakNum < 2) {
      level = 0;
    } else {
      level = 1;
    }
  }
  level = std::max(level, g_stPowerInfo[LUMA_PWR_LEVEL_MIN]);
}

void AppPointFilter(uint8_t stage) {
  if (stage == 2) {
    AppPointFilterLiftup();
  } else if (stage == 3) {
    AppBigThumbTouchCheck();
    FlyingLineFilter();
    AppPointForecast();
    AppSaveLastPointStatus();
    AppPwrPointFilter();
    AppEdgePalmFilter();
    AppPosPreMapping();
    AppFilterTouchPoint();
    AppNfTrbInRxStatuCheck();
  }
}

}  // extern "C"
