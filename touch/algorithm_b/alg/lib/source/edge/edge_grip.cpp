// The grip state machine: from the ratio and position histories of a touch resting at an edge
// or a corner, decide once per touch whether it is a gripping hand (palm, thumb ball) rather
// than a finger. A finger's ratio stays flat; a hand that settles into a grip spreads inward
// and its ratio climbs, or swings about. The grip kind and the grip flags it leaves in the
// record widen the edge bands, raise the movement thresholds and change the contact and up
// decisions of the edge restraint.
//
// The machine keeps no sample count of its own beside the history count: the grip sample
// counter of the block stays as the record reset left it (0), so the back-gesture check's
// condition on it holds for every grip.
#include <algorithm>

#include "edge_internal.h"

using namespace edge;

namespace {

constexpr uint8_t kCornerNoSignal = 201;
constexpr uint8_t kUnstableDev = 25;    // mean absolute deviation of an unsteady ratio
constexpr uint8_t kEarlyCheckAt = 18;   // samples at which the early grip check runs
constexpr uint8_t kMovingCountdown = 70;
constexpr uint8_t kMax = LUMA_EDGE_HIS_LEN;      // summary bytes after the entries
constexpr uint8_t kMin = LUMA_EDGE_HIS_LEN + 1;
constexpr uint8_t kMean = LUMA_EDGE_HIS_LEN + 2;

uint8_t Tx() { return g_stFrmInfo.aucCfgCopy[4]; }
uint8_t Rx() { return g_stFrmInfo.aucCfgCopy[5]; }
uint8_t HisLimit() { return std::min<uint8_t>(EdgeTime(LUMA_ET_EARLY), LUMA_EDGE_HIS_LEN); }
uint8_t Samples(const LumaGripSta &g) { return std::min<uint8_t>(g.ucHisCnt, LUMA_EDGE_HIS_LEN); }
uint8_t MovingCentre() { return g_stGrabSta.ucMovingCenterCnt; }

// Maximum, minimum and rounded mean of the first n entries, kept after the entries.
void Summarise(uint8_t *h, uint8_t n) {
  n = std::min<uint8_t>(n, LUMA_EDGE_HIS_LEN);
  if (n == 0) {
    h[kMax] = h[kMin] = h[kMean] = 0;
    return;
  }
  h[kMax] = *std::max_element(h, h + n);
  h[kMin] = *std::min_element(h, h + n);
  h[kMean] = CalAvrage(h, n);
}

// Per collecting frame: an unsteady ratio raises the first grip flag; the position spread
// is measured from the touch's second frame.
void TrackSample(LumaGripSta &g, const uint8_t *h, uint8_t n) {
  if (n < 2) return;
  if (CalStdDev(h, n, h[kMean]) >= kUnstableDev) {
    g.ucUnstableCnt = Inc255(g.ucUnstableCnt);
    if (g.ucUnstableCnt >= 3) g.ucGripFlag1 = 1;
  }
}

void TrackSpread(LumaGripSta &g, uint8_t n) {
  if (n < 2) return;
  const auto spread = [](uint16_t a, uint16_t b) { return static_cast<uint16_t>(a > b ? a - b : b - a); };
  g.usMaxSpreadX = std::max(g.usMaxSpreadX, spread(g.ausPosX[n - 1], g.ausPosX[1]));
  g.usMaxSpreadY = std::max(g.usMaxSpreadY, spread(g.ausPosY[n - 1], g.ausPosY[1]));
}

// The common score: how far the strongest three-frame stretch of the ratio rose above the
// first three frames, in tenths.
uint8_t Score(const uint8_t *h, uint8_t n, uint8_t largest_count, bool corner) {
  const uint32_t sum = CalSum(h, n);
  const uint32_t mean = (sum + n / 2) / n;
  const uint8_t most = *std::max_element(h, h + n);
  if (corner ? (most < 10 || mean < 3) : (most <= 7 || mean < 2)) return 0;
  if (n <= 3) return 10;
  const auto mean3 = [&](int at) { return (uint32_t{h[at]} + h[at + 1] + h[at + 2] + 1) / 3; };
  int best = 0;
  uint32_t best_sum = 0;
  for (int at = 0; at <= n - 3; ++at) {
    const uint32_t s = uint32_t{h[at]} + h[at + 1] + h[at + 2];
    if (s > best_sum) {
      best_sum = s;
      best = at;
    }
  }
  const uint32_t mf = mean3(0);
  const uint32_t mp = mean3(best);
  const uint32_t ml = mean3(n - 3);
  if (mf > mp || ml > mp) return 10;
  uint32_t score;
  if (mf == 0) {
    score = mp * 10;
    if (corner && score < 12) score = 11;
  } else {
    score = mp * 10 / mf;
    if (!corner && largest_count < 7) {
      const uint32_t p = std::min<uint32_t>(mf > 5 ? mf * 10 - 25 : mf * 5, 90);
      score = score * (100 - p) / 100;
    }
    if (score < 12) score = 11;
  }
  return static_cast<uint8_t>(std::min<uint32_t>(score, 220));
}

// The reason why a corner touch is a grip, 0 when there is none.
uint8_t CornerReason(LumaGripSta &g, uint8_t n) {
  const uint8_t modified = AppCornerPointRatioModify(&g);
  uint8_t s[4];
  for (int k = 0; k < 4; ++k) s[k] = RatioAnalyseCorner(g.aaucRatio[k], n);
  const uint8_t *h0 = g.aaucRatio[0];
  const uint8_t *h1 = g.aaucRatio[1];
  const uint8_t a0 = h0[0];
  const uint8_t b0 = h1[0];
  const bool zero = s[0] == 0 && s[1] == 0 && s[2] == 0 && s[3] == 0;
  const uint8_t moving = MovingCentre();
  const bool full = n >= HisLimit();

  // The last two chances, shared by several of the branches below.
  const auto by_recent_grip = [&]() -> uint8_t {
    return (Portrait() && moving != 0 && g_stGrabSta.usSinceGrip <= 719) ? 8 : 0;
  };
  const auto by_second_axis = [&]() -> uint8_t {
    if (b0 <= 99 && a0 >= 101 && CornerPalmDetect(&g, 1, s[1], s[3]) != 0) return 7;
    return by_recent_grip();
  };

  if (a0 > 99) return zero ? 1 : by_second_axis();
  if (b0 > 99) {
    if (zero) return 1;
    if (b0 >= 101 && CornerPalmDetect(&g, 0, s[0], s[2]) != 0) return 6;
    return by_recent_grip();
  }
  uint8_t c = zero ? 1 : 0;
  if (modified != 0 && h0[kMin] <= 4 && h1[kMin] <= 4 && h0[kMean] <= 14 && h1[kMean] < 15) c = 2;
  if (s[0] <= 14 && s[1] <= 14) {
    if (h0[kMin] <= 4 && h1[kMin] < 5) c = 2;
  } else {
    if (s[0] > 24 || s[1] > 24) return 4;
    if (full || moving != 0) {
      if (s[2] > 44 || s[3] > 44) return 2;
      if (s[2] > 29 && s[3] > 29) c = 3;
    }
  }
  if (c != 0) return c;
  if (moving != 0) return (s[2] == 0 || s[3] == 0) ? 5 : by_second_axis();
  return by_recent_grip();
}

// The moving state of one touch ID, for the moving-centre-touch countdown.
struct MovingSta {
  uint8_t ucBorder;     // 1 when the touch was last seen outside the inner area
  uint8_t ucState;      // 0 idle, 1 moved, 2 anchored
  uint8_t ucCountdown;
  uint16_t usAnchorX;   // pixels
  uint16_t usAnchorY;
};
static_assert(sizeof(MovingSta) == 8);
static_assert(offsetof(MovingSta, usAnchorX) == 4);
static_assert(offsetof(MovingSta, usAnchorY) == 6);

MovingSta s_astMoving[LUMA_MAX_POINTS];

bool Inner(uint32_t x, uint32_t y) {
  const int64_t w = PanelW() >> 4;
  const int64_t h = PanelH() >> 4;
  const int64_t px = x;
  const int64_t py = y;
  if (px < 150 || px > w - 150 || py < 150 || py > h - 150) return false;
  const bool corner_x = px < 300 || px > w - 300;
  const bool corner_y = py < 300 || py > h - 300;
  return !(corner_x && corner_y);
}

}  // namespace

extern "C" {

uint8_t RatioAnalyse(const uint8_t *history, uint8_t n, uint8_t largest_count) {
  if (history == nullptr) return 0;
  if (history[0] == kCornerNoSignal) return 1;
  n = std::min<uint8_t>(n, LUMA_EDGE_HIS_LEN);
  if (n == 0) return 0;
  return Score(history, n, largest_count, false);
}

uint8_t RatioAnalyseCorner(const uint8_t *history, uint8_t n) {
  if (history == nullptr) return 0;
  if (history[0] == kCornerNoSignal) return 1;
  n = std::min<uint8_t>(n, LUMA_EDGE_HIS_LEN);
  // Only the stretch before the first sample without signal counts.
  n = static_cast<uint8_t>(std::find(history, history + n, kCornerNoSignal) - history);
  if (n == 0) return 0;
  return Score(history, n, 0, true);
}

uint8_t AppCornerPointRatioModify(LumaGripSta *grip) {
  if (grip == nullptr) return 0;
  const int row = grip->ucRatioRow;
  const int col = grip->ucRatioCol;
  const int last_row = Tx() - 1;
  const int last_col = Rx() - 1;
  if (row != 0 && row != last_row) return 0;
  if (row == last_row && row != 0 && col != 0 && col != last_col) return 0;
  const uint8_t n = Samples(*grip);
  for (int k = 0; k < 4; ++k) {
    uint8_t *h = grip->aaucRatio[k];
    std::replace(h, h + n, kCornerNoSignal, uint8_t{0});
    // All three summaries again, so that the decision reads the cleaned history throughout.
    Summarise(h, n);
  }
  return 1;
}

uint8_t CornerFingerChk(LumaGripSta *grip) {
  if (grip == nullptr) return 0;
  const auto within = [](uint8_t v, uint8_t low) { return v >= low && v <= 200; };
  const uint8_t a0 = grip->aaucRatio[0][0];
  const uint8_t b0 = grip->aaucRatio[1][0];
  const uint8_t c0 = grip->aaucRatio[2][0];
  const uint8_t d0 = grip->aaucRatio[3][0];
  if (within(a0, 101) && within(b0, 101) && within(c0, 101) && within(d0, 101)) {
    grip->ucGripFlag2 = 1;
  } else if (within(a0, 121) && within(b0, 121)) {
    grip->ucGripFlag2 = 3;
  } else {
    grip->ucGripFlag2 = 0;
  }
  return grip->ucGripFlag2;
}

uint8_t CornerPalmDetect(LumaGripSta *grip, uint8_t second, uint8_t score, uint8_t other) {
  if (grip == nullptr) return 0;
  const uint8_t *h = grip->aaucRatio[second != 0 ? 1 : 0];
  const uint8_t m = h[kMin];
  const uint8_t a = h[kMean];
  const uint8_t moving = MovingCentre();
  bool d = score == 0 || score > 50;
  if (score >= 31 && m <= (moving != 0 ? 10 : 5)) d = true;
  const bool landscape_game = Game() && (UsbLeft() || UsbRight());
  if (!landscape_game && score >= 16 && m < (moving != 0 ? 6 : 1)) d = true;
  if (d) return 1;
  const uint8_t q = (score < 15 && m < 5 && a < 15) ? 1 : 0;
  if (Landscape() || moving == 0 || score < 11) return q;
  return (other == 0 && grip->ucHisCnt < HisLimit()) ? 1 : q;
}

// How far the touch went down from the nearer side and from the nearer end, in pixels; the
// smaller of the two. Both come from the down sample itself.
uint16_t DownPositionDistanceToEdge(const LumaGripSta *grip) {
  if (grip == nullptr || grip->ucHisCnt < 3) return 0;
  const auto distance = [](uint32_t v, uint32_t extent) -> uint32_t {
    const uint32_t full = extent / 16;
    if (v <= extent / 32) return v;
    return full > v ? full - v : 0;
  };
  const uint32_t dx = distance(grip->ausPosX[0], PanelW());
  const uint32_t dy = distance(grip->ausPosY[0], PanelH());
  return static_cast<uint16_t>(std::min<uint32_t>(std::min(dx, dy), 0xFFFF));
}

void AppGrapStausUpdateEdge(LumaGripSta *grip, uint8_t state) {
  if (grip == nullptr) return;
  LumaGripSta &g = *grip;
  if (g.ucStop == 0 && g.ucDecided == 0) {
    const uint8_t n = Samples(g);
    if (n == 0) return;
    uint8_t *h = g.aaucRatio[0];
    Summarise(h, n);
    TrackSample(g, h, n);
    if (n == kEarlyCheckAt) {
      const uint8_t s = RatioAnalyse(h, n, g.ucMaxCnt);
      if (s == 0 || s >= 20) g.ucGripFlag1 = 1;
    }
    TrackSpread(g, n);
    if (state != LUMA_EV_UP && n < HisLimit()) return;
    g.ucDecided = 1;
    const uint8_t s = RatioAnalyse(h, n, g.ucMaxCnt);
    const uint8_t range = static_cast<uint8_t>(h[kMax] - h[kMin]);
    if (s == 0) {
      g.ucGripKind = 2;
    } else if (s >= 40) {
      g.ucGripKind = 1;
    } else if (s >= 30) {
      if (g.ucMaxCnt >= 9 || range >= 70 || h[kMin] < 6) g.ucGripKind = 1;
    } else if (s >= 11) {
      if (g.ucMaxCnt >= 9 && range >= 70) g.ucGripKind = 1;
    }
  }
  if (g.ucGripKind == 0) g.ucGripFlag1 = 0;
}

void AppGrapStausUpdateCorner(LumaGripSta *grip, uint8_t state) {
  if (grip == nullptr) return;
  LumaGripSta &g = *grip;
  if (g.ucStop == 0 && g.ucDecided == 0) {
    const uint8_t n = Samples(g);
    if (n == 0) return;
    for (int k = 0; k < 4; ++k) Summarise(g.aaucRatio[k], n);
    uint8_t *h = g.aaucRatio[Landscape() ? 1 : 0];
    TrackSample(g, h, n);
    if (n == kEarlyCheckAt) {
      const uint8_t s = RatioAnalyseCorner(h, n);
      if (s == 0 || s >= 20) g.ucGripFlag1 = 1;
      LumaEdgePalmSta &r = Rec(g.ucId);
      if (r.stFinal.ucCenterTouchSeen != 0) {
        for (int k = 4; k < 7; ++k) Summarise(g.aaucRatio[k], n);
        if (g.aaucRatio[4][kMean] >= 51 && g.aaucRatio[5][kMean] >= 91 && g.aaucRatio[6][kMean] >= 91 &&
            r.ssMaxInnerDiagDiff < r.ssMaxCornerDiff / 2) {
          r.stFinal.ucCornerStopConfirm = 1;
        }
      }
    }
    TrackSpread(g, n);
    if (state != LUMA_EV_UP && n < HisLimit()) return;
    g.ucDecided = 1;
    if (CornerFingerChk(&g) == 0) {
      const uint8_t reason = CornerReason(g, n);
      g.ucGripKind = reason != 0 ? static_cast<uint8_t>(100 + reason) : 0;
      g.ucGripFlag1 = g.ucGripKind;
    }
  }
  if (g.ucGripKind == 0) g.ucGripFlag1 = 0;
}

void AppTouchPointMovingStatus(void) {
  if (!Portrait()) {
    g_stGrabSta.ucMovingCenterCnt = 0;
    return;
  }
  for (uint8_t k = 0; k < LUMA_MAX_POINTS; ++k) {
    if (Event(k).ucEvent == LUMA_EV_UP) s_astMoving[k].ucState = 0;
  }
  for (uint8_t i = 0; i < PointCount(); ++i) {
    const LumaPoint &p = Entry(i);
    const uint8_t id = IdOf(p);
    if (id >= LUMA_MAX_POINTS) continue;
    MovingSta &m = s_astMoving[id];
    const uint16_t x = Clip16(p.x >> 4);
    const uint16_t y = Clip16(p.y >> 4);
    const bool inner = Inner(x, y);
    const uint8_t state = Event(id).ucEvent;
    if (state == LUMA_EV_DOWN) {
      if (inner) {
        m.ucState = 2;
        m.usAnchorX = x;
        m.usAnchorY = y;
      }
      m.ucBorder = inner ? 0 : 1;
    } else if (state == LUMA_EV_CONTACT) {
      if (m.ucBorder != 0) {
        // A touch that came in from the border is anchored where it is now.
        m.ucBorder = inner ? 0 : 1;
        m.ucState = 2;
        m.usAnchorX = x;
        m.usAnchorY = y;
      } else {
        if (m.ucCountdown > 0 && --m.ucCountdown == 0) m.ucState = 2;
        if (AbsDiff(x, m.usAnchorX) >= 26 || AbsDiff(y, m.usAnchorY) >= 26) {
          m.usAnchorX = x;
          m.usAnchorY = y;
          m.ucCountdown = kMovingCountdown;
          m.ucState = 1;
          g_stGrabSta.ucMovingCenterCnt = kMovingCountdown;
        }
      }
    }
  }
  if (g_stGrabSta.ucMovingCenterCnt > 0) --g_stGrabSta.ucMovingCenterCnt;
}

}  // extern "C"
