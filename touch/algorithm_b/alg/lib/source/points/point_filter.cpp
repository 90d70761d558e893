// The point stages around the touch-ID assignment. Stage 2 holds a touch that water hides
// for one frame; stage 3 drops points that jump further than a finger moves in a frame,
// keeps this frame's points for the next, sets the power hold level and maps the points to
// panel coordinates.
#include <algorithm>
#include <cstring>

#include "luma_edge.h"
#include "luma_env.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_search.h"

extern "C" {
uint16_t g_usFrameTimes;
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
    if (Delta(h.mean_x + h.mean_y, 2 * jump) < 257) {
      h.mean_x = (h.mean_x + 2 * dx) / 2;
      h.mean_y = (h.mean_y + 2 * dy) / 2;
    } else {
      h.mean_x = 2 * dx;
      h.mean_y = 2 * dy;
    }
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

}  // namespace

extern "C" {

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
    if (g_ucFwAdcOverLoadFlag != 0 || g_ucFwScAdcOverLoadFlag != 0) {
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
    FlyingLineFilter();
    AppSaveLastPointStatus();
    AppPwrPointFilter();
    AppEdgePalmFilter();
    AppPosPreMapping();
  }
}

}  // extern "C"
