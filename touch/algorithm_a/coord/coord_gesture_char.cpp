// Swipes and drawn characters of a one-finger stroke.
//
// The character matching of this system: the stroke, normalised to 0-255 in both axes, is
// resampled to 64 points evenly spaced along its path and turned into 63 direction codes
// (16 directions). Each template of our own (a polyline in the same normalised square) is
// resampled and coded the same way once. A stroke is aligned with each template by dynamic
// time warping: a pair of codes costs 100 less its similarity (100, 70, 30 for a circular
// code difference of 0, 1, 2; else 0), every cell adds its cost to the cheapest of its three
// neighbours, and the template whose total, divided by 63, is lowest wins when it is at
// most kCharAcceptCost and its character group is enabled (configuration byte 0) and not
// suppressed (host mask bits 0-6).
#include <algorithm>
#include <cstring>
#include <iterator>

#include "coord_gesture.h"
#include "coord_records.h"
#include "region.h"
#include "tsa_common.h"

namespace {

constexpr uint32_t kSteps = kGesResampleMax - 1;
constexpr uint32_t kCharAcceptCost = 15;
constexpr uint16_t kBottomEdge = 768;
constexpr uint8_t kCfgCharEnable = 0, kCfgSwipeEnable = 1, kCfgBits = 2, kCfgFlags = 3, kCfgMinSize = 18,
                  kCfgFlat = 20, kCfgSteep = 21, kCfgMinX = 22, kCfgMinY = 23;
constexpr uint8_t kBottomEdgeRule = 0x80;  // byte 2 bit 7
constexpr uint8_t kKeyPointMode = 0x02;    // byte 3 bit 1

// Character groups: the bit of configuration byte 0 that enables them and of the host mask
// that suppresses them (group 7 has no mask bit: bit 7 of the mask is the single-tap switch).
enum CharGroup : uint8_t { kGroupC, kGroupE, kGroupF, kGroupM, kGroupO, kGroupSZ, kGroupAt, kGroupFold };

struct Pt {
  uint8_t x, y;
};
struct CharTemplate {
  uint8_t ubChar;
  uint8_t ubGroup;
  uint8_t ubPoints;
  Pt astPts[16];
};

// Y grows downward, as on the screen.
const CharTemplate kTemplates[] = {
    {'c', kGroupC, 7, {{230, 40}, {128, 0}, {30, 50}, {0, 128}, {30, 205}, {128, 255}, {230, 215}}},
    {'c', kGroupC, 5, {{255, 0}, {60, 20}, {0, 128}, {60, 235}, {255, 255}}},
    {'e', kGroupE, 9, {{10, 140}, {240, 140}, {220, 40}, {128, 0}, {30, 50}, {0, 150}, {50, 230}, {150, 255}, {245, 215}}},
    {'w', kGroupFold, 5, {{0, 0}, {60, 255}, {128, 40}, {195, 255}, {255, 0}}},
    {'m', kGroupM, 11, {{0, 255}, {0, 30}, {40, 0}, {100, 20}, {128, 90}, {128, 255}, {128, 90}, {160, 20}, {215, 0}, {255, 40}, {255, 255}}},
    {'s', kGroupSZ, 8, {{235, 25}, {128, 0}, {25, 45}, {60, 115}, {200, 145}, {245, 210}, {128, 255}, {15, 225}}},
    {'z', kGroupSZ, 4, {{0, 0}, {255, 0}, {0, 255}, {255, 255}}},
    {'f', kGroupF, 7, {{230, 25}, {150, 0}, {100, 45}, {100, 255}, {100, 130}, {20, 130}, {220, 130}}},
    {'@', kGroupAt, 16, {{175, 110}, {130, 75}, {90, 115}, {110, 165}, {160, 155}, {175, 110}, {185, 175}, {235, 155}, {255, 100}, {220, 30}, {128, 0}, {30, 40}, {0, 128}, {40, 220}, {128, 255}, {215, 230}}},
    {'v', kGroupFold, 3, {{0, 0}, {128, 255}, {255, 0}}},
    {'>', kGroupFold, 3, {{0, 0}, {255, 128}, {0, 255}}},
    {'^', kGroupFold, 3, {{0, 255}, {128, 0}, {255, 255}}},
    {'o', kGroupO, 9, {{128, 0}, {40, 35}, {0, 128}, {40, 220}, {128, 255}, {215, 220}, {255, 128}, {215, 35}, {130, 5}}},
    {'o', kGroupO, 9, {{128, 0}, {215, 35}, {255, 128}, {215, 220}, {128, 255}, {40, 220}, {0, 128}, {40, 35}, {126, 5}}},
    // A circle drawn from 3 or 9 o'clock, either way round: the same "o".
    {'o', kGroupO, 9, {{255, 128}, {218, 38}, {128, 1}, {38, 38}, {1, 128}, {38, 218}, {128, 255}, {218, 218}, {250, 125}}},
    {'o', kGroupO, 9, {{255, 128}, {218, 218}, {128, 255}, {38, 218}, {1, 128}, {38, 38}, {128, 1}, {218, 38}, {250, 131}}},
    {'o', kGroupO, 9, {{1, 128}, {38, 218}, {128, 255}, {218, 218}, {255, 128}, {218, 38}, {128, 1}, {38, 38}, {6, 131}}},
    {'o', kGroupO, 9, {{1, 128}, {38, 38}, {128, 1}, {218, 38}, {255, 128}, {218, 218}, {128, 255}, {38, 218}, {6, 125}}},
};
constexpr uint32_t kTemplateNum = sizeof(kTemplates) / sizeof(kTemplates[0]);

uint8_t saubTemplateCodes[kTemplateNum][kSteps];
bool sboTemplatesReady;

// Scratch of one recognition (module statics: nothing is allocated per stroke).
int32_t saiX[kGesTraceMax], saiY[kGesTraceMax];
int32_t saiRX[kGesResampleMax], saiRY[kGesResampleMax];
uint8_t saubCodes[kSteps];
uint16_t sauwCost[kSteps][kSteps];

uint32_t Abs(int32_t v) { return static_cast<uint32_t>(v < 0 ? -v : v); }

// Direction code of one step (16 directions: 0 and 15 toward larger X, 3 and 4 toward
// larger Y, 7 and 8 toward smaller X, 11 and 12 toward smaller Y).
uint8_t DirectionCode(int32_t sx, int32_t sy) {
  const uint32_t dX = Abs(sx), dY = Abs(sy);
  uint8_t ubClass;
  if (dY >= 5 * dX) {
    ubClass = 3;
  } else {
    const uint32_t r = (dY * 10 + dX / 2) / dX;
    ubClass = r < 5 ? 0 : (r < 11 ? 1 : (r <= 24 ? 2 : 3));
  }
  if (sy > 0 && sx >= 0) return ubClass;
  if (sy >= 0 && sx <= 0) return static_cast<uint8_t>(7 - ubClass);
  if (sy < 0 && sx <= 0) return static_cast<uint8_t>(8 + ubClass);
  return static_cast<uint8_t>(15 - ubClass);
}

// N points resampled to 64 evenly spaced along the path (coordinates x16 for precision).
// Returns false for a path of no length.
bool ResamplePath(const int32_t* piX, const int32_t* piY, uint32_t n, int32_t* piOutX, int32_t* piOutY) {
  uint32_t uiTotal = 0;
  for (uint32_t i = 1; i < n; ++i) {
    const int32_t dx = (piX[i] - piX[i - 1]) * 16, dy = (piY[i] - piY[i - 1]) * 16;
    uiTotal += GestureIsqrt(static_cast<uint32_t>(dx * dx + dy * dy));
  }
  if (n < 2 || uiTotal == 0) return false;
  uint32_t uiSeg = 1, uiDone = 0;
  uint32_t uiSegLen = 0;
  {
    const int32_t dx = (piX[1] - piX[0]) * 16, dy = (piY[1] - piY[0]) * 16;
    uiSegLen = GestureIsqrt(static_cast<uint32_t>(dx * dx + dy * dy));
  }
  for (uint32_t k = 0; k < kGesResampleMax; ++k) {
    const uint32_t uiAt = k * uiTotal / kSteps;
    while (uiSeg < n - 1 && uiDone + uiSegLen < uiAt) {
      uiDone += uiSegLen;
      ++uiSeg;
      const int32_t dx = (piX[uiSeg] - piX[uiSeg - 1]) * 16, dy = (piY[uiSeg] - piY[uiSeg - 1]) * 16;
      uiSegLen = GestureIsqrt(static_cast<uint32_t>(dx * dx + dy * dy));
    }
    const int32_t x0 = piX[uiSeg - 1] * 16, y0 = piY[uiSeg - 1] * 16;
    const int32_t x1 = piX[uiSeg] * 16, y1 = piY[uiSeg] * 16;
    uint32_t uiIn = uiAt > uiDone ? uiAt - uiDone : 0;
    if (uiIn > uiSegLen) uiIn = uiSegLen;
    if (uiSegLen == 0) {
      piOutX[k] = x1;
      piOutY[k] = y1;
    } else {
      piOutX[k] = x0 + (x1 - x0) * static_cast<int32_t>(uiIn) / static_cast<int32_t>(uiSegLen);
      piOutY[k] = y0 + (y1 - y0) * static_cast<int32_t>(uiIn) / static_cast<int32_t>(uiSegLen);
    }
  }
  return true;
}

// Codes of the 63 steps; a step of no length repeats the code before it.
void PathCodes(const int32_t* piX, const int32_t* piY, uint8_t* pubCodes) {
  uint8_t ubLast = 0;
  bool boAny = false;
  for (uint32_t i = 0; i < kSteps; ++i) {
    const int32_t sx = piX[i + 1] - piX[i], sy = piY[i + 1] - piY[i];
    if (sx == 0 && sy == 0) {
      pubCodes[i] = ubLast;
      continue;
    }
    ubLast = DirectionCode(sx, sy);
    if (!boAny) {
      for (uint32_t j = 0; j < i; ++j) pubCodes[j] = ubLast;
      boAny = true;
    }
    pubCodes[i] = ubLast;
  }
}

void TemplatesInit() {
  if (sboTemplatesReady) return;
  for (uint32_t t = 0; t < kTemplateNum; ++t) {
    const CharTemplate& c = kTemplates[t];
    int32_t aiX[16], aiY[16];
    for (uint32_t i = 0; i < c.ubPoints; ++i) {
      aiX[i] = c.astPts[i].x;
      aiY[i] = c.astPts[i].y;
    }
    int32_t aiRX[kGesResampleMax], aiRY[kGesResampleMax];
    ResamplePath(aiX, aiY, c.ubPoints, aiRX, aiRY);
    PathCodes(aiRX, aiRY, saubTemplateCodes[t]);
  }
  sboTemplatesReady = true;
}

uint32_t CodeCost(uint8_t a, uint8_t b) {
  uint32_t d = a > b ? a - b : b - a;
  if (d > 8) d = 16 - d;
  static const uint32_t kSimilarity[3] = {100, 70, 30};
  return 100 - (d < 3 ? kSimilarity[d] : 0);
}

// Total alignment cost of the stroke's codes against template T.
uint32_t AlignCost(const uint8_t* pubA, const uint8_t* pubB) {
  for (uint32_t i = 0; i < kSteps; ++i) {
    for (uint32_t j = 0; j < kSteps; ++j) {
      uint32_t uiBest;
      if (i == 0 && j == 0) {
        uiBest = 0;
      } else if (i == 0) {
        uiBest = sauwCost[0][j - 1];
      } else if (j == 0) {
        uiBest = sauwCost[i - 1][0];
      } else {
        uiBest = sauwCost[i - 1][j - 1];
        if (sauwCost[i - 1][j] < uiBest) uiBest = sauwCost[i - 1][j];
        if (sauwCost[i][j - 1] < uiBest) uiBest = sauwCost[i][j - 1];
      }
      const uint32_t v = uiBest + CodeCost(pubA[i], pubB[j]);
      sauwCost[i][j] = static_cast<uint16_t>(v > 0xFFFF ? 0xFFFF : v);
    }
  }
  return sauwCost[kSteps - 1][kSteps - 1];
}

// Shape checks a character's template alone does not make: a "z" opens with a straight
// stroke toward larger X (most of its first steps within one code of 0), which the round
// top of a "2" lacks.
constexpr uint32_t kZOpeningSteps = 12, kZOpeningStraight = 10;
bool ShapeAllowed(uint8_t ubChar, const uint8_t* pubCodes) {
  if (ubChar != 'z') return true;
  uint32_t uiStraight = 0;
  for (uint32_t i = 0; i < kZOpeningSteps; ++i) {
    if (pubCodes[i] <= 1 || pubCodes[i] == 15) ++uiStraight;
  }
  return uiStraight >= kZOpeningStraight;
}

bool GroupAllowed(uint8_t ubGroup) {
  if ((gstGestureCfg.aubData[kCfgCharEnable] & (1u << ubGroup)) == 0) return false;
  return ubGroup >= 7 || (gstGestureState.uwEnableMask & (1u << ubGroup)) == 0;
}

bool SwipeAllowed(uint8_t ubCfgBit, uint8_t ubMaskBit) {
  return (gstGestureCfg.aubData[kCfgSwipeEnable] & (1u << ubCfgBit)) != 0 &&
         (gstGestureState.uwEnableMask & (1u << ubMaskBit)) == 0;
}

// Key points of a stroke: start, end, width, height, box centre, then the points where the
// stroke reached its smallest X, largest X, smallest Y and largest Y.
void StrokeKeys(uint32_t n, uint16_t uwW, uint16_t uwH) {
  PendingGesture& p = gstPendingGesture;
  const GestureState& s = gstGestureState;
  const uint16_t* t = p.auwTrace;
  p.auwKey[0] = t[0];
  p.auwKey[1] = t[1];
  p.auwKey[2] = t[2 * (n - 1)];
  p.auwKey[3] = t[2 * (n - 1) + 1];
  p.auwKey[4] = uwW;
  p.auwKey[5] = uwH;
  p.auwKey[6] = static_cast<uint16_t>((s.uwMinX + s.uwMaxX) / 2u);
  p.auwKey[7] = static_cast<uint16_t>((s.uwMinY + s.uwMaxY) / 2u);
  uint32_t aiAt[4] = {0, 0, 0, 0};
  for (uint32_t i = 1; i < n; ++i) {
    if (t[2 * i] <= t[2 * aiAt[0]]) aiAt[0] = i;
    if (t[2 * i] >= t[2 * aiAt[1]]) aiAt[1] = i;
    if (t[2 * i + 1] <= t[2 * aiAt[2] + 1]) aiAt[2] = i;
    if (t[2 * i + 1] >= t[2 * aiAt[3] + 1]) aiAt[3] = i;
  }
  for (uint32_t k = 0; k < 4; ++k) {
    p.auwKey[8 + 2 * k] = t[2 * aiAt[k]];
    p.auwKey[9 + 2 * k] = t[2 * aiAt[k] + 1];
  }
}

// Key points of a recognised character, kept in the gesture state. An "o", "@" or "f" gives
// its start, then the points where X and Y reached their last new minimum and maximum, in
// trace order, and for "@" and "f" its last point; an "o" that ran on past its start is cut
// first, where walking back from its end the distance to the start stops falling. Any other
// character gives its start and its end.
void CharKeyPoints(uint8_t ubChar, const uint16_t* t, uint32_t n) {
  GestureState& s = gstGestureState;
  s.ubCharKeyCount = 0;
  auto add = [&](uint32_t i) {
    if (s.ubCharKeyCount >= 6) return;
    s.auwCharKeyX[s.ubCharKeyCount] = t[2 * i];
    s.auwCharKeyY[s.ubCharKeyCount] = t[2 * i + 1];
    ++s.ubCharKeyCount;
  };
  if (n == 0) return;
  if (ubChar != 'o' && ubChar != '@' && ubChar != 'f') {
    add(0);
    if (n > 1) add(n - 1);
    return;
  }
  uint32_t m = n;
  if (ubChar == 'o') {
    auto dist = [&](uint32_t i) {
      const int32_t dx = t[2 * i] - t[0], dy = t[2 * i + 1] - t[1];
      return GestureIsqrt(static_cast<uint32_t>(dx * dx + dy * dy));
    };
    for (uint32_t i = n - 1; i-- > n / 2;) {
      if (dist(i) > dist(i + 1)) {
        m = i + 1;
        break;
      }
    }
  }
  uint32_t at[4] = {0, 0, 0, 0};  // last new minimum X, maximum X, minimum Y, maximum Y
  for (uint32_t i = 1; i < m; ++i) {
    if (t[2 * i] < t[2 * at[0]]) at[0] = i;
    if (t[2 * i] > t[2 * at[1]]) at[1] = i;
    if (t[2 * i + 1] < t[2 * at[2] + 1]) at[2] = i;
    if (t[2 * i + 1] > t[2 * at[3] + 1]) at[3] = i;
  }
  std::sort(std::begin(at), std::end(at));
  add(0);
  for (uint32_t i : at) add(i);
  if (ubChar != 'o') add(m - 1);
}

// The packet's start and end of an "m" are the box corners nearest them.
void BoxCornerKeys(PendingGesture& p) {
  const GestureState& s = gstGestureState;
  for (uint32_t k = 0; k < 2; ++k) {
    const uint16_t x = p.auwKey[2 * k], y = p.auwKey[2 * k + 1];
    p.auwKey[2 * k] = x - s.uwMinX <= s.uwMaxX - x ? s.uwMinX : s.uwMaxX;
    p.auwKey[2 * k + 1] = y - s.uwMinY <= s.uwMaxY - y ? s.uwMinY : s.uwMaxY;
  }
}

bool StepsSteep(const uint16_t* t, uint32_t n, uint32_t k) {
  for (uint32_t i = 0; i + 1 < n; ++i) {
    const uint32_t dX = Abs(t[2 * i + 2] - t[2 * i]), dY = Abs(t[2 * i + 3] - t[2 * i + 1]);
    if (4 * dY < (k + 4) * dX) return false;
  }
  return true;
}

bool StepsFlat(const uint16_t* t, uint32_t n, int32_t iFlat) {
  for (uint32_t i = 0; i + 1 < n; ++i) {
    const int64_t dX = Abs(t[2 * i + 2] - t[2 * i]), dY = Abs(t[2 * i + 3] - t[2 * i + 1]);
    if ((21 - iFlat) * dX < 25 * dY) return false;
  }
  return true;
}

uint8_t SwipeCode(uint32_t n, uint16_t w, uint16_t h) {
  const uint8_t* c = gstGestureCfg.aubData;
  const uint16_t* t = gstPendingGesture.auwTrace;
  const uint32_t k = c[kCfgSteep];
  const int32_t iFlat = c[kCfgFlat];
  const uint16_t x0 = t[0], y0 = t[1], xl = t[2 * (n - 1)], yl = t[2 * (n - 1) + 1];
  // The common record's stroke-check byte (byte 8) waives the step-by-step test: then only
  // the stroke's overall proportions count.
  const bool boSteps = gstCommon.ubWaterFlag == 0 && n > 1;
  if (gstGestureTurns.ubYTurns == 0 && 4u * h > (k + 4) * w && (!boSteps || StepsSteep(t, n, k)) &&
      (h >> 9) > c[kCfgMinY]) {
    if (yl < y0 && SwipeAllowed(0, 8)) return kGesSwipeUp;
    if (yl > y0 && SwipeAllowed(1, 9)) return kGesSwipeDown;
  }
  if (gstGestureTurns.ubXTurns != 0 || !(25 * static_cast<int64_t>(h) < (21 - iFlat) * static_cast<int64_t>(w)) ||
      (boSteps && !StepsFlat(t, n, iFlat)) || (w >> 9) <= c[kCfgMinX]) {
    return kGesNone;
  }
  uint8_t ubCode = kGesNone;
  if (x0 < xl && SwipeAllowed(2, 10)) ubCode = kGesSwipeRight;
  if (x0 > xl && SwipeAllowed(3, 11)) ubCode = kGesSwipeLeft;
  if (ubCode != kGesNone && (c[kCfgBits] & kBottomEdgeRule) != 0) {
    const GestureState& s = gstGestureState;
    const bool boSwap = (gstCoordTranCfg.aubData[0] & 0x01) != 0;
    const uint16_t EX = gstCommon.uwSenCoordRange, EY = gstCommon.uwDrvCoordRange;
    const bool boNearBottom = boSwap ? s.uwMinY + kBottomEdge >= EX
                                     : (s.uwMinY + kBottomEdge >= EY && s.uwMaxY + kBottomEdge >= EY);
    if (!boNearBottom) ubCode = kGesNone;
  }
  return ubCode;
}

}  // namespace

uint16_t GestureIsqrt(uint32_t uiValue) {
  uint32_t uiRoot = 0, uiBit = 1u << 30;
  while (uiBit > uiValue) uiBit >>= 2;
  while (uiBit != 0) {
    if (uiValue >= uiRoot + uiBit) {
      uiValue -= uiRoot + uiBit;
      uiRoot = (uiRoot >> 1) + uiBit;
    } else {
      uiRoot >>= 1;
    }
    uiBit >>= 2;
  }
  return static_cast<uint16_t>(uiRoot);
}

void GestureTurnAnalysis(const uint16_t* puwX, const uint16_t* puwY, uint32_t uiCount, GestureTurns* pstTurns) {
  GestureTurns& r = *pstTurns;
  memset(&r, 0, sizeof(r));
  if (uiCount < 2) return;
  bool boXRise = puwX[1] > puwX[0];
  bool boYRise = puwY[1] > puwY[0];
  for (uint32_t i = 0; i + 1 < uiCount; ++i) {
    const uint32_t dX = Abs(puwX[i + 1] - puwX[i]), dY = Abs(puwY[i + 1] - puwY[i]);
    const bool boX = dX == 0 ? boXRise : puwX[i + 1] > puwX[i];
    if (boX != boXRise && dX * 10 > dY) {
      if (r.ubXTurns < 5) r.aubXTurnAt[r.ubXTurns] = static_cast<uint8_t>(i);
      if (r.ubXTurns < 255) ++r.ubXTurns;
      boXRise = boX;
    }
    const bool boY = dY == 0 ? boYRise : puwY[i + 1] > puwY[i];
    if (boY != boYRise && dY * 10 > dX) {
      if (r.ubYTurns < 6) r.aubYTurnAt[r.ubYTurns] = static_cast<uint8_t>(i);
      if (r.ubYTurns < 255) ++r.ubYTurns;
      if (boYRise) {
        if (r.ubYTurnsAfterRise < 2) r.aubYTurnAfterRiseAt[r.ubYTurnsAfterRise++] = static_cast<uint8_t>(i);
      } else if (r.ubYTurnsAfterFall < 2) {
        r.aubYTurnAfterFallAt[r.ubYTurnsAfterFall++] = static_cast<uint8_t>(i);
      }
      boYRise = boY;
    }
  }
}

void CharRecognitionSimple() {
  GestureState& s = gstGestureState;
  PendingGesture& p = gstPendingGesture;
  const GestureTrace& tr = gstGestureTrace;
  const uint8_t* cfg = gstGestureCfg.aubData;
  memset(&p, 0, sizeof(p));
  p.ubCode = kGesNone;
  const uint32_t c = s.ubTraceCount;
  if (c == 0) return;
  // At most 64 points stay: point i of 64 is trace point i x c / 64.
  const uint32_t n = c > kGesResampleMax ? kGesResampleMax : c;
  uint16_t auwX[kGesResampleMax], auwY[kGesResampleMax];
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t j = c > kGesResampleMax ? i * c / kGesResampleMax : i;
    auwX[i] = tr.auwX[j];
    auwY[i] = tr.auwY[j];
    p.auwTrace[2 * i] = auwX[i];
    p.auwTrace[2 * i + 1] = auwY[i];
  }
  p.ubTraceCount = static_cast<uint8_t>(n);
  const uint16_t w = static_cast<uint16_t>(s.uwMaxX - s.uwMinX), h = static_cast<uint16_t>(s.uwMaxY - s.uwMinY);
  p.uwWidth = w;
  p.uwHeight = h;
  GestureTurnAnalysis(auwX, auwY, n, &gstGestureTurns);

  const uint8_t ubSwipe = SwipeCode(n, w, h);
  if (ubSwipe != kGesNone) {
    StrokeKeys(n, w, h);
    p.ubCode = p.ubPacketCode = ubSwipe;
    p.ubPacketCount = 0;
    return;
  }

  const uint32_t uiMin = static_cast<uint32_t>(cfg[kCfgMinSize]) * 256u;
  if (w < uiMin || h < uiMin || 6u * w < h || 6u * h < w || w == 0 || h == 0 || n < 3) return;
  for (uint32_t i = 0; i < n; ++i) {
    saiX[i] = static_cast<int32_t>(((auwX[i] - s.uwMinX) * 255u + w / 2u) / w);
    saiY[i] = static_cast<int32_t>(((auwY[i] - s.uwMinY) * 255u + h / 2u) / h);
  }
  if (!ResamplePath(saiX, saiY, n, saiRX, saiRY)) return;
  PathCodes(saiRX, saiRY, saubCodes);
  TemplatesInit();
  uint32_t uiBest = 0xFFFFFFFFu;
  uint8_t ubBest = kGesNone;
  for (uint32_t t = 0; t < kTemplateNum; ++t) {
    if (!GroupAllowed(kTemplates[t].ubGroup) || !ShapeAllowed(kTemplates[t].ubChar, saubCodes)) continue;
    const uint32_t uiCost = AlignCost(saubCodes, saubTemplateCodes[t]);
    if (uiCost < uiBest) {
      uiBest = uiCost;
      ubBest = kTemplates[t].ubChar;
    }
  }
  if (ubBest == kGesNone || uiBest / kSteps > kCharAcceptCost) return;
  StrokeKeys(n, w, h);
  if (ubBest == 'm') BoxCornerKeys(p);
  CharKeyPoints(ubBest, p.auwTrace, n);
  p.ubCode = p.ubPacketCode = ubBest;
  // Key-point mode sends the key points alone; otherwise the resampled trace follows them.
  p.ubPacketCount = (cfg[kCfgFlags] & kKeyPointMode) != 0 ? 0 : static_cast<uint8_t>(n);
}

// Test access: the cost per step of the best template for a normalised polyline, and its
// character (255 when every group is disabled).
uint8_t GestureCharMatchForTest(const int32_t* piX, const int32_t* piY, uint32_t n, uint32_t* puiCost) {
  int32_t aiRX[kGesResampleMax], aiRY[kGesResampleMax];
  uint8_t aubCodes[kSteps];
  *puiCost = 0xFFFFFFFFu;
  if (!ResamplePath(piX, piY, n, aiRX, aiRY)) return kGesNone;
  PathCodes(aiRX, aiRY, aubCodes);
  TemplatesInit();
  uint8_t ubBest = kGesNone;
  for (uint32_t t = 0; t < kTemplateNum; ++t) {
    if (!ShapeAllowed(kTemplates[t].ubChar, aubCodes)) continue;
    const uint32_t uiCost = AlignCost(aubCodes, saubTemplateCodes[t]) / kSteps;
    if (uiCost < *puiCost) {
      *puiCost = uiCost;
      ubBest = kTemplates[t].ubChar;
    }
  }
  return ubBest;
}
