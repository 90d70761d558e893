// Edge areas: where a touch lies against the edges and corners, how palm-like the signal
// along the edge line is, and the restraint decided when a touch goes down and when it
// lifts.
#include <cstring>

#include "edge_internal.h"
#include "luma_env.h"
#include "luma_peaks.h"

using namespace edge;

namespace {

enum : uint8_t { kModePortrait = 0, kModeLandscape = 16, kModeGame = 32 };

uint8_t Tx() { return g_stFrmInfo.aucCfgCopy[4]; }
uint8_t Rx() { return g_stFrmInfo.aucCfgCopy[5]; }

uint16_t Host16(int k) { return static_cast<uint16_t>(static_cast<uint16_t>(g_stHostEdgePara[k]) * 16u); }

bool NearSides(const EdgeAreaPara &p, uint32_t w) {
  return int64_t{p.usX} < int64_t{p.ulMinX} + w || int64_t{p.usX} > int64_t{p.ulMaxX} - w;
}
bool NearEnds(const EdgeAreaPara &p, uint32_t w) {
  return int64_t{p.usY} < int64_t{p.ulMinY} + w || int64_t{p.usY} > int64_t{p.ulMaxY} - w;
}

// The corner band test shared by the bottom (outer W7, middle W9, inner W12) and the top
// corners (W6, W8, W10).
uint8_t CornerBands(const EdgeAreaPara &p, uint16_t outer, uint16_t middle, uint16_t inner) {
  const int64_t x = p.usX;
  if (NearSides(p, outer)) return 17;
  if (x <= int64_t{p.ulMinX} + middle || x >= int64_t{p.ulMaxX} - middle) return 18;
  if ((x < int64_t{p.ulMinX} + inner && x > middle) || x > int64_t{p.ulMaxX} - inner) return 20;
  return 0;
}

int16_t Diff(int row, int column) {
  if (row < 0 || column < 0 || row >= Tx() || column >= Rx()) return 0;
  return AppMcGetDiff(static_cast<uint8_t>(row), static_cast<uint8_t>(column));
}

// The walk along an edge line (a grid row when along_columns, else a grid column) from the
// touch's node while the diff stays above 100. Writes ratio, span and count of that line.
struct EdgeWalk {
  uint8_t ratio = 0;
  uint8_t span = 0;
  uint8_t count = 0;
  uint8_t near_max = 0;
};

int16_t LineDiff(bool along_columns, int line, int pos) {
  return along_columns ? Diff(line, pos) : Diff(pos, line);
}

EdgeWalk WalkEdge(bool along_columns, int edge, int inner, int start, int16_t node_diff) {
  EdgeWalk w;
  const int last = (along_columns ? Rx() : Tx()) - 1;
  if (start < 0 || start > last || LineDiff(along_columns, edge, start) <= 100) return w;
  int64_t edge_sum = 0;
  int64_t inner_sum = 0;
  auto take = [&](int pos) {
    edge_sum += LineDiff(along_columns, edge, pos);
    inner_sum += std::max<int16_t>(LineDiff(along_columns, inner, pos), 0);
  };
  int low = start;
  for (int j = start; j >= 0 && LineDiff(along_columns, edge, j) > 100; --j) {
    take(j);
    low = j;
  }
  int high = start;
  for (int j = start + 1; j <= last && LineDiff(along_columns, edge, j) > 100; ++j) {
    take(j);
    high = j;
  }
  w.count = static_cast<uint8_t>(high - low + 1);
  w.span = CalSpan(static_cast<uint8_t>(start), static_cast<uint8_t>(low), static_cast<uint8_t>(high), 0,
                   static_cast<uint8_t>(last));
  if (edge_sum == 0) {
    w.ratio = 0;
  } else if (inner_sum == 0) {
    w.ratio = 255;
  } else if (edge_sum > inner_sum) {
    w.ratio = static_cast<uint8_t>(std::min<int64_t>(edge_sum * 16 / (inner_sum + 1), 255));
  }
  // The sharpest step between neighbours on the edge line among the strong nodes: a palm
  // lies flat along the edge, a finger's signal falls off fast.
  const int16_t floor = static_cast<int16_t>(node_diff / 2);
  int32_t best = 0;
  for (int j = low; j < high; ++j) {
    const int16_t first = LineDiff(along_columns, edge, j);
    const int16_t next = LineDiff(along_columns, edge, j + 1);
    if (first > floor && next >= 17) best = std::max<int32_t>(best, first * 16 / next);
  }
  w.near_max = static_cast<uint8_t>(std::min<int32_t>(best, 255));
  return w;
}

void StoreNearMax(LumaEdgePalmSta &r, uint8_t ratio) {
  r.ucNearMaxRatio = ratio;
  r.ucNearMaxRatioMax = std::max(r.ucNearMaxRatioMax, ratio);
}

int FindIndex(uint8_t id) {
  for (uint8_t i = 0; i < PointCount(); ++i) {
    if (IdOf(Entry(i)) == id) return i;
  }
  return -1;
}

void Sample(LumaEdgePalmSta &r, const LumaPoint &p) {
  if (p.ucTx >= Tx() || p.ucRx >= Rx()) return;
  r.ssMaxDiff = std::max(r.ssMaxDiff, AppMcGetDiff(p.ucTx, p.ucRx));
  r.ssMaxPeakValue = std::max(r.ssMaxPeakValue, g_stPeakData.ssMcMaxDiff);
}

// Steps 3 to 7 of the down classification. With record set, the side codes and the
// inner-corner flag of the record are written and the result is the down area.
uint8_t Classify(const EdgeAreaPara &para, uint8_t id, bool record) {
  LumaEdgePalmSta &r = Rec(id);
  const int64_t x = para.usX;
  const int64_t y = para.usY;
  const uint16_t *w = para.ausW;
  uint8_t area = 0;
  if (y > int64_t{para.ulMaxY} - w[13]) {
    if (record) r.ucCornerSide = x < para.ulMaxX / 2 ? 1 : 2;
    area = GetAreaDownCorner(&para, id, 0);
    if (record && y > int64_t{para.ulMaxY} - w[15] && NearSides(para, w[14])) r.ucInnerCorner = 1;
  }
  if (y < int64_t{para.ulMinY} + w[11]) {
    if (record) r.ucCornerSide = x < para.ulMaxX / 2 ? 4 : 3;
    area = GetAreaUpCorner(&para, id, record ? 1 : 0);
  }
  if (area != 0) return area;
  if (record) r.ucEdgeSide = x < para.ulMaxX / 2 ? 1 : 2;
  area = GetAreaLREdgeNonCorner(&para, id, record ? 1 : 0);
  if (area != 0) return area;
  if (record) r.ucEdgeSide = y < para.ulMaxY / 2 ? 3 : 4;
  return GetAreaUDEdgeNonCorner(&para, id, record ? 1 : 0);
}

}  // namespace

extern "C" {

// Game edge levels name the size of the landscape game corners. The level is a byte the
// host sends unchecked; levels without a size of their own take the largest one, so that the
// corner bands, the corner restraint and the down decision always agree on one size.
uint16_t AppGameEdgeCornerSize(uint8_t level) {
  switch (level) {
    case 1: return 2400;
    case 0:
    case 2: return 4480;
    default: return 6400;
  }
}

void AreaParaSet(EdgeAreaPara *para, uint8_t mode) {
  uint16_t *w = para->ausW;
  if (mode == kModeGame) {
    const uint16_t corner = AppGameEdgeCornerSize(g_stSysParam.ucGameEdgeLevel);
    const uint16_t set[16] = {0, 320, 1280, 0, 960, 1280, 0, 80, 0, 480, 0, 0, corner, corner, 1600, 1600};
    std::memcpy(w, set, sizeof(set));
    return;
  }
  if (mode != kModePortrait && mode != kModeLandscape) return;
  const bool portrait = mode == kModePortrait;
  const uint16_t set[16] = {Host16(0), static_cast<uint16_t>(portrait && Game() ? 160 : Host16(2)), 1280, Host16(1),
                            Host16(3), static_cast<uint16_t>(portrait ? 640 : 1280), 0, 80, 0, 480, Host16(4),
                            Host16(5), Host16(6), Host16(7), 1600, 1600};
  std::memcpy(w, set, sizeof(set));
}

void AppSetEdgePalmPara(EdgeAreaPara *para, uint8_t id) {
  para->ulMinX = 0;
  para->ulMinY = 0;
  para->ulMaxX = g_usMaxPosX;
  para->ulMaxY = g_usMaxPosY;
  para->usX = static_cast<uint16_t>(std::min<uint32_t>(para->usX, para->ulMaxX));
  para->usY = static_cast<uint16_t>(std::min<uint32_t>(para->usY, para->ulMaxY));
  if (!Landscape()) {
    AreaParaSet(para, kModePortrait);
  } else {
    std::swap(para->ulMaxX, para->ulMaxY);
    std::swap(para->usX, para->usY);
    if (UsbRight()) para->usY = static_cast<uint16_t>(para->ulMaxY - para->usY);
    if (UsbLeft()) para->usX = static_cast<uint16_t>(para->ulMaxX - para->usX);
    AreaParaSet(para, Game() ? kModeGame : kModeLandscape);
    return;
  }
  // A gripping hand widens the bands in which a new touch is restrained.
  uint16_t *w = para->ausW;
  auto widen = [w](uint16_t side, uint16_t corner) {
    w[2] = static_cast<uint16_t>(w[2] + side);
    if (w[5] != 0) w[5] = static_cast<uint16_t>(w[5] + side);
    w[12] = static_cast<uint16_t>(w[12] + corner);
    if (w[10] != 0) w[10] = static_cast<uint16_t>(w[10] + corner);
  };
  const LumaEdgePalmSta &r = Rec(id);
  if (g_stGrabSta.ucGripKindCnt != 0) {
    if ((r.ucRestrainKind == 4 || r.ucRestrainKind == 8) && r.ucMaxWidth >= 9) {
      widen(1920, 960);
    } else if (g_ucLastEdgePointCnt >= 3) {
      widen(1920, 3840);
    } else if (g_ucLastEdgePointCnt == 2) {
      widen(960, 1920);
    }
  } else if (g_stGrabSta.ucGripFlagCnt != 0) {
    widen(640, 1280);
  }
}

uint8_t GetAreaLREdgeNonCorner(const EdgeAreaPara *para, uint8_t id, uint8_t clear) {
  const EdgeAreaPara &p = *para;
  const uint16_t *w = p.ausW;
  uint8_t area = 0;
  if (NearSides(p, w[0])) {
    area = 1;
  } else if (!NearSides(p, w[1]) && !NearEnds(p, w[1])) {
    area = NearSides(p, w[2]) ? 4 : 0;
  } else if (Orientation() < LUMA_DISP_UNDEFINED && NearSides(p, w[1])) {
    area = 2;
  }
  if (area == 0 && clear != 0) Rec(id).ucEdgeSide = 0;
  return area;
}

uint8_t GetAreaUDEdgeNonCorner(const EdgeAreaPara *para, uint8_t id, uint8_t clear) {
  const uint16_t *w = para->ausW;
  uint8_t area = 0;
  if (NearEnds(*para, w[3])) {
    area = 1;
  } else if (NearEnds(*para, w[4])) {
    area = 2;
  } else if (NearEnds(*para, w[5])) {
    area = 4;
  }
  if (area == 0 && clear != 0) Rec(id).ucEdgeSide = 0;
  return area;
}

uint8_t GetAreaDownCorner(const EdgeAreaPara *para, uint8_t id, uint8_t clear) {
  const uint8_t area = CornerBands(*para, para->ausW[7], para->ausW[9], para->ausW[12]);
  if (area == 0 && clear != 0) Rec(id).ucCornerSide = 0;
  return area;
}

uint8_t GetAreaUpCorner(const EdgeAreaPara *para, uint8_t id, uint8_t clear) {
  const uint8_t area = CornerBands(*para, para->ausW[6], para->ausW[8], para->ausW[10]);
  if (area == 0 && clear != 0) Rec(id).ucCornerSide = 0;
  return area;
}

uint16_t DistanceToEdgeX(uint16_t x) {
  return static_cast<uint16_t>(std::min<uint32_t>(AbsDiff(x, PanelW()), x));
}

uint16_t DistanceToEdgeY(uint16_t y) {
  return static_cast<uint16_t>(std::min<uint32_t>(AbsDiff(y, PanelH()), y));
}

uint16_t GetDistanceToEdge(uint16_t x, uint16_t y) { return std::max(DistanceToEdgeX(x), DistanceToEdgeY(y)); }

uint8_t AppIsInRect(uint32_t x, uint32_t y, const uint32_t *rect) {
  return (x >= rect[0] && y >= rect[1] && x <= rect[2] && y <= rect[3]) ? 1 : 0;
}

uint8_t GetDownArea(uint8_t index, uint8_t id) {
  LumaEdgePalmSta &r = Rec(id);
  EdgeAreaPara para{};
  EdgeStsInit(&para, index, id);
  AppSetEdgePalmPara(&para, id);
  if (Portrait()) {
    const int64_t x = para.usX;
    const int64_t y = para.usY;
    const int64_t max_x = g_usMaxPosX;
    const int64_t max_y = g_usMaxPosY;
    const bool lower_middle = int64_t{para.ulMaxY} / 2 < y && y < max_y - 4800 && 1280 < x && x < max_x - 1280;
    const bool bottom_middle = y > max_y - 4800 && 2400 < x && x < max_x - 2400;
    if (lower_middle || bottom_middle) AppClearCenterDownCnt();
  }
  r.ucDownArea = Classify(para, id, true);
  return r.ucDownArea;
}

uint8_t AppGetArea(uint16_t x, uint16_t y, uint8_t id) {
  EdgeAreaPara para{};
  para.usX = x;
  para.usY = y;
  AppSetEdgePalmPara(&para, id);
  const uint8_t area = Classify(para, id % LUMA_MAX_POINTS, false);
  uint16_t row[19];
  for (int k = 0; k < 16; ++k) row[k] = static_cast<uint16_t>(para.ausW[k] >> 4);
  row[16] = static_cast<uint16_t>(g_stSysParam.ucGameEdgeLevel + 1000);
  row[17] = static_cast<uint16_t>(AppIsGameMode() + 1000);
  row[18] = static_cast<uint16_t>(Orientation() + 1000);
  std::memcpy(&g_usAlgPrintfBuf[2 * Rx()], row, std::min<size_t>(Rx(), 19) * sizeof(uint16_t));
  return area;
}

uint8_t GetCurArea(uint8_t index, uint8_t id) {
  const LumaPoint &p = Entry(index);
  return AppGetArea(MapX(p.x), MapY(p.y), id);
}

uint8_t IsEdgePalmArea(uint8_t id) {
  const LumaPoint &down = Rec(id).stDown;
  if (UsbLeft()) return down.ucTx >= 8 ? 1 : 0;
  if (UsbRight()) return int{down.ucTx} <= int{Tx()} - 8 ? 1 : 0;
  return down.ucRx >= 5 ? 1 : 0;
}

uint8_t IsEdgePalm(uint8_t id) {
  if (IsEdgePalmArea(id) == 0) return 0;
  const LumaEdgePalmSta &r = Rec(id);
  const int r1 = r.ucSideRatio;
  const int s1 = r.ucSideSpan;
  const int r2 = r.ucEndRatio;
  const int s2 = r.ucEndSpan;
  if (s1 < 8) return 0;
  if (r1 > 180 || s1 > 10 || r2 > 180 || s2 > 10 || (r1 >= 41 && s1 > 9) || (r2 > 40 && s2 > 9) || r1 > 80) return 1;
  if ((r2 >= 81 && s2 > 7) || (r2 >= 131 && s2 > 5) || (r2 >= 151 && s2 == 5)) return 1;
  if (r1 < 41) return 0;
  return Landscape() ? 1 : 0;
}

uint8_t MaybeEdgePalm(uint8_t id) {
  if (IsEdgePalmArea(id) == 0) return 0;
  const LumaEdgePalmSta &r = Rec(id);
  if (r.ucCornerSide == 1 || r.ucCornerSide == 2) return 0;
  const int r1 = r.ucSideRatio;
  const int s1 = r.ucSideSpan;
  const int r2 = r.ucEndRatio;
  const int s2 = r.ucEndSpan;
  const bool side = r1 > 85 || s1 > 7 || (r1 >= 56 && s1 > 5) || (r1 >= 46 && s1 > 6);
  const bool end = r2 > 85 || s2 > 7 || (r2 >= 56 && s2 >= 6) || (r2 > 45 && s2 > 6);
  return (side || end) ? 1 : 0;
}

uint8_t CalSpan(uint8_t centre, uint8_t low, uint8_t high, uint8_t min, uint8_t max) {
  const int mirror_high = 2 * centre - low;
  const int mirror_low = 2 * centre - high;
  const int upper = mirror_high > max ? mirror_high : high;
  const int lower = mirror_low < min ? mirror_low : low;
  return static_cast<uint8_t>(std::clamp(upper - lower + 1, 0, 255));
}

uint8_t AppCalNearMaxRatioY(uint8_t low, uint8_t high, uint8_t row, uint8_t column, uint8_t edge_line) {
  const int16_t floor = static_cast<int16_t>(Diff(row, column) / 2);
  int32_t best = 0;
  for (int j = low; j < high; ++j) {
    const int16_t first = Diff(edge_line, j);
    const int16_t next = Diff(edge_line, j + 1);
    if (first > floor && next >= 17) best = std::max<int32_t>(best, first * 16 / next);
  }
  return static_cast<uint8_t>(std::min<int32_t>(best, 255));
}

void EdgePalmHigh(uint8_t row, uint8_t column, uint8_t id, uint8_t left) {
  LumaEdgePalmSta &r = Rec(id);
  const int edge = left != 0 ? 0 : Tx() - 1;
  const int inner = left != 0 ? 1 : Tx() - 2;
  const EdgeWalk w = WalkEdge(true, edge, inner, column, Diff(row, column));
  r.ucSideRatio = w.ratio;
  r.ucSideSpan = w.span;
  r.ucSideCnt = w.count;
  StoreNearMax(r, w.near_max);
}

void EdgePalmWitdh(uint8_t row, uint8_t column, uint8_t id, uint8_t top) {
  LumaEdgePalmSta &r = Rec(id);
  const int edge = top != 0 ? 0 : Rx() - 1;
  const int inner = top != 0 ? 1 : Rx() - 2;
  const EdgeWalk w = WalkEdge(false, edge, inner, row, Diff(row, column));
  r.ucEndRatio = w.ratio;
  r.ucEndSpan = w.span;
  r.ucEndCnt = w.count;
  StoreNearMax(r, w.near_max);
}

void CalRatioAndWidth(const LumaPoint *entry) {
  const uint8_t id = IdOf(*entry);
  if (id >= LUMA_MAX_POINTS) return;
  LumaEdgePalmSta &r = Rec(id);
  r.ucSideRatio = r.ucSideSpan = r.ucEndRatio = r.ucEndSpan = 0;
  r.ucEndCnt = r.ucSideCnt = 0;
  const uint32_t x = MapX(entry->x);
  const uint32_t y = MapY(entry->y);
  const uint32_t w = PanelW();
  const uint32_t h = PanelH();
  if (y <= h / 4 || (y >= 3 * h / 4 && y <= h)) EdgePalmWitdh(entry->ucTx, entry->ucRx, id, y <= h / 4 ? 1 : 0);
  if (x < w / 4 || (x > 3 * w / 4 && x <= w)) EdgePalmHigh(entry->ucTx, entry->ucRx, id, x < w / 4 ? 1 : 0);
  if (Landscape()) {
    std::swap(r.ucSideRatio, r.ucEndRatio);
    std::swap(r.ucSideSpan, r.ucEndSpan);
    std::swap(r.ucSideCnt, r.ucEndCnt);
  }
  r.ucSideSpan = static_cast<uint8_t>(std::min(r.ucSideSpan + r.ucEndSpan / 2, 255));
  r.ucSideCnt = static_cast<uint8_t>(std::min(r.ucSideCnt + r.ucEndCnt / 2, 255));
  const uint8_t count = (r.ucEdgeSide == 3 || r.ucEdgeSide == 4) ? r.ucEndCnt : r.ucSideCnt;
  r.stGrip.ucMaxCnt = std::max(r.stGrip.ucMaxCnt, count);
}

void AppRecordMaxDiff(uint8_t index) {
  const LumaPoint &p = Entry(index);
  const uint8_t id = IdOf(p);
  if (id < LUMA_MAX_POINTS) Sample(Rec(id), p);
}

void AppRecEdgeInProcessMaxDiff(uint8_t id) {
  if (!Portrait()) return;
  const int index = FindIndex(id);
  if (index < 0) return;
  LumaEdgePalmSta &r = Rec(id);
  const LumaPoint &p = Entry(static_cast<uint8_t>(index));
  r.ucMaxArea = std::max(r.ucMaxArea, p.area);
  if (r.ucEdgeInProcess != 0) {
    Sample(r, p);
    return;
  }
  if (r.ucCenterDownCnt < EdgeTime(LUMA_ET_IN_PROCESS)) {
    r.ucEdgeInProcess = 1;
    Sample(r, p);
    return;
  }
  if (r.ucFramesSinceDown >= EdgeTime(LUMA_ET_IN_PROCESS)) return;
  for (uint8_t i = 0; i < PointCount(); ++i) {
    const LumaPoint &other = Entry(i);
    const uint8_t k = IdOf(other);
    if (k < LUMA_MAX_POINTS && Event(k).ucEvent == LUMA_EV_DOWN && other.ucTx != 0 && other.ucTx != Tx() - 1) {
      r.ucEdgeInProcess = 2;
      Sample(r, p);
      return;
    }
  }
}

uint8_t EdgePalmOnPointDown(uint8_t index, uint8_t id) {
  LumaEdgePalmSta &r = Rec(id);
  const uint8_t area = GetDownArea(index, id);
  r.ucCurArea = area;
  r.stDown = Entry(index);
  if (area == 0) return 0;
  AppRecEdgeInProcessMaxDiff(id);
  if (IsEdgePalm(id) != 0) {
    r.ucRestrainKind = 4;
    return 1;
  }
  switch (area) {
    case 1: r.ucRestrainKind = 1; return 1;
    case 2:
      r.ucRestrainKind = 2;
      r.ucRestrainTime = EdgeTime(LUMA_ET_AREA2);
      return 1;
    case 4:
      r.ucRestrainKind = 3;
      r.ucRestrainTime = EdgeTime(LUMA_ET_AREA4);
      return 1;
    case 17: r.ucRestrainKind = 5; return 1;
    case 18:
      r.ucRestrainKind = 6;
      r.ucRestrainTime = EdgeTime(LUMA_ET_AREA18);
      DispHorizontalCornerOnPointDown(id);
      return 1;
    case 20: break;
    default: return 0;
  }
  if (DispHorizontalCornerOnPointDown(id) != 0) return 1;
  r.ucRestrainKind = 7;
  r.ucRestrainTime = EdgeTime(LUMA_ET_CORNER);
  if (Landscape()) {
    const uint16_t size = Game() ? AppGameEdgeCornerSize(g_stSysParam.ucGameEdgeLevel) : 2720;
    const uint16_t x = MapX(Entry(index).x);
    const uint16_t y = MapY(Entry(index).y);
    const uint16_t d = GetDistanceToEdge(x, y);
    if (d > size) {
      if (DistanceToEdgeX(x) > 1280 && DistanceToEdgeY(y) > 1280) {
        r.ucRestrainKind = 0;
        r.ucRestrainTime = 0;
        return 0;
      }
      r.ucRestrainTime = EdgeTime(LUMA_ET_EARLY);
    } else if (d > 1599) {
      r.ucRestrainTime = EdgeTime(LUMA_ET_CORNER_FAR);
    }
  }
  return 1;
}

uint8_t EdgePalmOnPointUp(uint8_t id) {
  LumaEdgePalmSta &r = Rec(id);
  const uint8_t k = r.ucRestrainKind;
  const bool palm = g_bPalmFlag != 0;
  const uint8_t palm_or_insert = palm ? LUMA_EDGE_ACT_DROP_UP : LUMA_EDGE_ACT_INSERT;
  uint8_t action = LUMA_EDGE_ACT_NONE;
  if (k == 1 || k == 4 || k == 5 || k == 8) {
    action = LUMA_EDGE_ACT_DROP_UP;
  } else if (k == 2 || k == 6) {
    const int64_t down_x = r.stDown.x;
    if (r.ucFramesSinceDown >= EdgeTime(LUMA_ET_CORNER)) {
      action = LUMA_EDGE_ACT_DROP_UP;
    } else if (down_x >= 240 && down_x <= int64_t{PanelW()} - 256) {
      action = palm_or_insert;
    } else if (Portrait() && r.ucNearMaxRatioMax < 52) {
      action = LUMA_EDGE_ACT_DROP_UP;
    } else if (Portrait() && r.ssMaxDiff >= 1 && r.ssMaxPeakValue >= 1 && 2 * r.ssMaxPeakValue / 3 > r.ssMaxDiff &&
               r.ucSideRatio > 29) {
      action = LUMA_EDGE_ACT_DROP_UP;
    } else {
      action = palm_or_insert;
    }
  } else if (k == 3 || k == 7) {
    action = palm_or_insert;
  } else if (k == 0) {
    const int64_t fx = r.ulFreeX;
    const int64_t fy = r.ulFreeY;
    const bool outside_middle = fy < 4801 || fy >= int64_t{g_usMaxPosY} - 4800;
    if (UsbRight()) g_ucTouchUpCnt = (fx <= 4800 && outside_middle) ? 255 : 0;
    if (UsbLeft()) g_ucTouchUpCnt = (fx >= int64_t{g_usMaxPosX} - 4000 && outside_middle) ? 255 : 0;
  }
  if (r.stGrip.ucGripFlag2 != 0) {
    // A corner finger that was held is reported once on its lift. A touch that was never
    // held has been reported all along: its up must stay an up.
    if (k != 0) {
      action = LUMA_EDGE_ACT_INSERT;
      r.ucReported = 1;
    }
  } else if (r.stGrip.ucGripKind != 0 && (k == 2 || k == 3 || k == 6 || k == 7)) {
    action = LUMA_EDGE_ACT_DROP_UP;
  } else if (r.ucFramesSinceDown < 3 && k != 0) {
    action = LUMA_EDGE_ACT_DROP_UP;
  }
  r.ucRestrainKind = 0;
  r.ucFramesSinceDown = 0;
  r.ucMoving = 0;
  r.ucNearMaxRatioMax = 0;
  return action;
}

}  // extern "C"
