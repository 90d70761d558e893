// Row denoise body: free rows, row classes, a baseline per row corrected under touches and
// the node marks the LCD denoise fits its row offsets over. No allocation: the per-node
// cluster ids live on the stack of the call, the rest in the caller's arrays.
#include "row_denoise.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "lcd_denoise.h"
#include "row_class.h"
#include "signal_proc.h"
#include "signal_util.h"

namespace {

constexpr uint32_t kMaxRows = 52;
constexpr uint32_t kMaxWidth = 56;
constexpr uint32_t kMaxNodes = kMaxRows * kMaxWidth;
constexpr uint8_t kLongWindowHalf = 8;   // 17-node running median
constexpr uint8_t kShortWindowHalf = 3;  // 7-node running median
constexpr uint8_t kMaxClass = 5;

int32_t Abs(int32_t v) { return v < 0 ? -v : v; }

int32_t MeanQ10(int32_t slSum, uint32_t uiCount) {
  return static_cast<int32_t>((static_cast<int64_t>(slSum) * gaswQ10Recip[uiCount < kQ10RecipCount ? uiCount : 0]) >> 10);
}

// Row class from the spread of a baseline sampled every (width / 4 - 1)-th column.
uint8_t RowClass(const int16_t* pswBase, uint32_t W) {
  const uint32_t s = W / 4 >= 2 ? W / 4 - 1 : 1;
  int32_t M = -32768, m = 32767;
  for (uint32_t c = 0; c < W; c += s) {
    M = std::max<int32_t>(M, pswBase[c]);
    m = std::min<int32_t>(m, pswBase[c]);
  }
  const int32_t spread = std::max({Abs(M), Abs(m), M - m});
  constexpr int32_t kBounds[kMaxClass] = {400, 700, 1200, 1800, 2600};
  uint8_t ubClass = 0;
  while (ubClass < kMaxClass && spread >= kBounds[ubClass]) ++ubClass;
  return ubClass;
}

// Every neighbour difference (and, with a baseline, every deviation from it) within THR.
bool RowWithin(const int16_t* pswD, const int16_t* pswRow, const int16_t* pswBase, uint32_t W, int32_t thr) {
  if (thr < 0) return false;
  for (uint32_t c = 0; c < W; ++c) {
    if (Abs(pswD[c]) > thr) return false;
    if (pswBase != nullptr && Abs(pswRow[c] - pswBase[c]) > thr) return false;
  }
  return true;
}

// Longest run of columns with a signed difference below H and a baseline step of at most
// twice the bin width: a long quiet stretch means the largest step is the touch's edge.
uint32_t QuietRun(const int16_t* pswD, const int32_t* pslG, uint32_t W, int32_t h, int32_t w) {
  uint32_t uiRun = 0, uiBest = 0;
  for (uint32_t c = 0; c < W; ++c) {
    uiRun = (pswD[c] < h && pslG[c] <= 2 * w) ? uiRun + 1 : 0;
    uiBest = std::max(uiBest, uiRun);
  }
  return uiBest;
}

struct MedianResult {
  uint16_t uwBin;
  int16_t swMax, swMin;
};

// Running median of the row; a row copied unchanged reports its own bounds.
MedianResult Median(const int16_t* pswRow, int16_t* pswOut, uint8_t ubHalf, uint32_t W) {
  MedianResult m{0, 0, 0};
  RowRunningMedian(pswRow, pswOut, &m.uwBin, ubHalf, static_cast<uint8_t>(W), 0);
  if (m.uwBin != 0) {
    m.swMax = gswMaxMedian;
    m.swMin = gswMinMedian;
  } else {
    GetMaxMinValue(pswOut, &m.swMax, &m.swMin, static_cast<uint16_t>(W), 1);
  }
  return m;
}

void SetStepMask(uint8_t* pubMask, uint32_t W, uint32_t uiStep) {
  if (uiStep < 2) return;
  for (uint32_t c = 0; c < W; c += uiStep) pubMask[c] = kNodeFree;
}

// The background cluster of a touched row: the cluster that stands for the row without touch.
uint8_t ChooseBackground(const RowDenoiseBlock& b, uint32_t r, const int16_t* pswCentres, const uint16_t* puwCounts,
                         uint8_t ubTrend, bool boRowFlag, const int16_t* pswBase) {
  const uint32_t W = b.ubWidth;
  const int32_t c0 = puwCounts[0], c1 = puwCounts[1], c2 = puwCounts[2];
  const int32_t L = pswCentres[0], C = pswCentres[1], U = pswCentres[2];
  const uint8_t big = c0 > c1 ? 0 : 1;
  const uint8_t other = static_cast<uint8_t>(1 - big);
  const uint8_t alt = c2 < puwCounts[other] ? other : 2;
  uint8_t bg = big;
  bool boUpperBySize = false;
  if (puwCounts[big] <= puwCounts[alt]) {
    bg = alt;
    if (alt == 2 && b.ubLargeTouch != 0 && boRowFlag) bg = big;
    boUpperBySize = bg == 2;
  }
  if (ubTrend == 1 && bg == 2) return 2;
  if (ubTrend == 2 && bg == 2) return 1;
  const bool boPrev = b.pubPrevFree != nullptr;
  const int32_t slPrev = boPrev ? b.pubPrevFree[r] : 0;
  if (b.ubLargeTouch != 0) {
    if (c0 > static_cast<int32_t>(W / 2) || c0 - c1 > 8) return 0;
    if (boRowFlag && U - C < C - L && C > 150) return (!boPrev || slPrev >= static_cast<int32_t>(W / 2)) ? 1 : 0;
    if (c0 >= 9 && L >= -149 && boPrev && slPrev < static_cast<int32_t>(W / 2)) return 0;
    return 1;
  }
  const uint8_t ubAlternative = bg == big ? alt : big;
  if (puwCounts[bg] > puwCounts[ubAlternative] + 7) return bg;
  if (boUpperBySize && b.ubWater != 0) return big;
  const int32_t slMin01 = std::min(c0, c1);
  if (b.ubLastSuspend == 1 && slMin01 > c2) return 1;
  if (c0 > c1 || slMin01 > c2) return bg;
  int32_t slSum = 0;
  for (uint32_t c = 0; c < W; ++c) slSum += pswBase[c];
  const int32_t a = MeanQ10(slSum * (b.ubStep == 0 ? 1 : b.ubStep), W);
  return Abs(a - U) > Abs(a - C) ? 1 : 2;
}

// Trend flag of an edge row: the reference much rougher than the raw data (1), or the
// other way round (2).
uint8_t TrendFlag(const RowDenoiseBlock& b, uint32_t r) {
  const uint32_t W = b.ubWidth;
  const uint16_t* puwRef = b.puwRef + r * W;
  const uint16_t* puwRaw = b.puwRaw + r * W;
  int32_t sR = 0, sW = 0;
  for (uint32_t c = 0; c + 1 < W; ++c) {
    sR += Abs(puwRef[c] - puwRef[c + 1]);
    sW += Abs(puwRaw[c] - puwRaw[c + 1]);
  }
  const int32_t K = 2 * sig::U16(gstRefUpdateCfg.aubData, 1);
  if (sR > sW + K) return 1;
  if (sR + K < sW) return 2;
  return 0;
}

struct RowState {
  int32_t slLevel;
  int32_t slThr;
  uint8_t ubClass;
  int32_t w;       // bin width of the baseline
  int32_t slSlope;
  bool boClustered;
};

// Marks every node of a row that reached classification; returns the free count.
uint32_t ClassifyNodes(const RowDenoiseBlock& b, const RowState& s, const int16_t* pswRow, const int16_t* pswBase,
                       const int16_t* pswD, uint8_t* pubMask) {
  const uint32_t W = b.ubWidth;
  const bool boMutual = b.ubSelfGroup == kRowDenoiseMutual;
  const bool boWater = b.ubWater != 0;
  int16_t* pswQ = b.pswWorkC;
  // The neighbour differences are those of the untilted row: a levelled row's steps are
  // d[c] - slope (a row sloping down by m per column was levelled by adding k x m).
  for (uint32_t c = 0; c < W; ++c) pswQ[c] = static_cast<int16_t>(std::min(Abs(pswD[c] - s.slSlope), 32767));
  const int32_t lo = 30 * s.ubClass + 2 * s.w + 2 * s.slLevel + 30;
  int32_t hi0 = 15 * s.ubClass + 2 * s.w + 2 * s.slLevel + 40;
  if (b.ubAfe != 0) hi0 = std::min(hi0, 50);
  const int32_t hi = hi0 + ((boMutual && b.ubTouchNum >= 6) ? 80 : 0);
  uint32_t uiFree = 0;
  for (uint32_t c = 0; c < W; ++c) {
    const bool boOuter = c == 0 || c + 1 == W;
    const bool boNearSide = c < 3 || c + 3 >= W;
    const int32_t hiC = (boWater && boNearSide) ? 2 * hi0 : hi0;
    const int32_t dev = pswRow[c] - pswBase[c];
    int32_t t = dev;
    if (b.ubStep == 2 && !boOuter && dev > 50)
      t = std::max({dev, pswRow[c - 1] - pswBase[c - 1], pswRow[c + 1] - pswBase[c + 1]});
    const bool boEdgeRule = pswQ[c] < 2 * lo && Abs(t) < 15 && !boWater;
    bool boFree = false;
    if (Abs(t) < hi0 || (t > 0 && t < hi)) {
      boFree = pswQ[c] < lo || (c > 0 && pswQ[c - 1] < lo) || (c == 0 && boEdgeRule);
    }
    if (!boFree && boOuter && boEdgeRule) boFree = true;
    if (boFree) {
      pubMask[c] = kNodeFree;
      ++uiFree;
    } else {
      pubMask[c] = dev < -hiC ? kNodeNegative : kNodeTouched;
    }
  }
  return uiFree;
}

// A row with few touched inner nodes: a steep step near a side whose baseline stands well
// above the inner free baseline is a touch at that side, so its columns stop counting as
// free.
uint32_t EdgeColumnRescue(const RowDenoiseBlock& b, const RowState& s, const int16_t* pswBase, const int16_t* pswD,
                          uint8_t* pubMask, uint32_t uiFree) {
  const uint32_t W = b.ubWidth;
  uint32_t uiTouched = 0, f = W, l = W;
  for (uint32_t c = 6; c + 7 <= W; ++c) {
    if (pubMask[c] != kNodeFree) {
      ++uiTouched;
    } else {
      if (f == W) f = c;
      l = c;
    }
  }
  if (uiTouched > 3) return uiFree;
  // With every inner column touched (widths 13 to 15 only) the middle column stands in
  // for the first and last free one.
  if (f == W) f = l = W / 2;
  const int32_t S = 2 * std::min<int32_t>(60, std::max<int32_t>(5 * s.ubClass + 30, b.uwRescueLowerBound));
  auto unfree = [&](uint32_t c) {
    if (pubMask[c] == kNodeFree && uiFree > 0) --uiFree;
    if (pubMask[c] == kNodeFree) pubMask[c] = kNodeTouched;
  };
  for (uint32_t k = 0; k <= 5; ++k) {
    if (pswD[k] > S && pswBase[0] - pswBase[f] > S) {
      for (uint32_t c = 0; c <= std::min<uint32_t>(k + 1, 5); ++c) unfree(c);
      break;
    }
  }
  for (uint32_t k = W - 6; k < W; ++k) {
    if (pswD[k] < -S && pswBase[W - 1] - pswBase[l] > S) {
      for (uint32_t c = std::max<uint32_t>(k >= 2 ? k - 2 : 0, W - 6); c < W; ++c) unfree(c);
      break;
    }
  }
  return uiFree;
}

// The second pass over one row: baseline, class, tilt, edges, background and node marks.
void RowPass(const RowDenoiseBlock& b, uint32_t r, const uint8_t* pubRowFlags) {
  const uint32_t W = b.ubWidth;
  const uint32_t uiStep = b.ubStep == 0 ? 1 : b.ubStep;
  const bool boMutual = b.ubSelfGroup == kRowDenoiseMutual;
  const int16_t* pswD = b.pswNeighbourDiff + r * W;
  uint8_t* pubMask = b.pubNodeMask + r * W;
  int16_t* pswRow = b.pswWorkA;
  int16_t* pswBase = b.pswBaseline;
  b.puwMedianOut[r] = 0;
  if (W == 0) {
    b.pubRowTouch[r] = kNodeFree;
    b.pubFreeCount[r] = 0;
    return;
  }
  memcpy(pswRow, b.pswMap + r * W, W * sizeof(int16_t));
  RowState s{};
  s.slLevel = b.puwLevel != nullptr ? b.puwLevel[r] : 0;
  s.slThr = 20 * static_cast<int32_t>(uiStep) + 2 * s.slLevel + 20;
  MedianResult med = Median(pswRow, pswBase, kLongWindowHalf, W);
  s.w = med.uwBin;
  bool boFree = RowWithin(pswD, pswRow, pswBase, W, s.slThr);
  uint32_t uiFree = boFree ? W : 0;
  if (boFree) SetStepMask(pubMask, W, uiStep);
  s.ubClass = RowClass(pswBase, W);

  // A steadily sloping row (the panel bends) is levelled for the classification only.
  if (boMutual && !boFree) {
    const int32_t m = RowTiltSlope(pswBase, static_cast<uint8_t>(W), static_cast<uint8_t>(uiStep), static_cast<uint16_t>(s.w));
    if (m != 0) {
      for (uint32_t k = 1; k < W; ++k) pswRow[k] = static_cast<int16_t>(pswRow[k] + static_cast<int32_t>(k) * m);
      med = Median(pswRow, pswBase, kLongWindowHalf, W);
      s.w = med.uwBin;
      s.slSlope = m;
    }
  }

  if (boMutual && s.ubClass >= 2) {
    boFree = RowWithin(pswD, pswRow, pswBase, W, s.slThr + 60 * s.ubClass);
    uiFree = boFree ? W : 0;
  }
  b.pubRowTouch[r] = boFree ? kNodeFree : kNodeTouched;
  if (s.ubClass > *b.pubNoiseLevel) *b.pubNoiseLevel = s.ubClass;
  if (boMutual) {
    if (*b.pubNoiseLevel >= 4) s.ubClass = std::max<uint8_t>(s.ubClass, 2);
    if ((!boFree && s.ubClass >= 3) || (boFree && s.ubClass >= 2)) {
      med = Median(pswRow, b.pswWorkB, kShortWindowHalf, W);
      for (uint32_t c = 0; c < W; ++c)
        if (Abs(pswBase[c] - b.pswWorkB[c]) < 50 * s.ubClass) pswBase[c] = b.pswWorkB[c];
    }
  }
  b.pubRowClass[r] = s.ubClass;
  if (boFree) {
    b.pubFreeCount[r] = static_cast<uint8_t>(uiFree);
    return;
  }
  b.puwMedianOut[r] = static_cast<uint16_t>(med.swMax);

  if (med.swMax - med.swMin >= 80) {
    int32_t aslG[kMaxWidth];
    int32_t G = 0;
    for (uint32_t c = 0; c < W; ++c) {
      aslG[c] = c + 1 < W ? Abs(pswBase[c] - pswBase[c + 1]) : 0;
      G = std::max(G, aslG[c]);
    }
    const int32_t slRange = med.swMax - med.swMin;
    if (!(s.ubClass >= 1 && slRange >= (10 - s.ubClass) * G)) {
      uint8_t aubEdge[kMaxWidth] = {};
      const bool boBusy = b.ubTouchNum >= 6 || b.ubWater != 0;
      const int32_t thrA = (s.ubClass == 0 ? 80 : 60 * s.ubClass + 40) + s.w - (boBusy ? 20 : 0);
      int32_t thrU = thrA;
      if (s.ubClass == 0 && G >= 35 && G < thrA) {
        const int32_t h = std::max<int32_t>(10, (G * gaswQ10Recip[2]) >> 10);
        if (QuietRun(pswD, aslG, W, h, s.w) > 3 * W / 4) thrU = G - 1;
      }
      uint32_t P = 0, Q = 0, Lw = 0;
      for (uint32_t c = 0; c < W; ++c) {
        if (aslG[c] < thrU) continue;
        aubEdge[c] = 1;
        ++P;
      }
      const bool boEdgeRow = r < 2 || r + 2 >= b.ubRows;
      if (boMutual && boEdgeRow && s.ubClass < 2 && Abs(pswBase[0] - pswBase[W - 1]) <= 99) {
        int32_t slDev = 0;
        for (uint32_t c = 0; c < W; ++c) slDev = std::max(slDev, Abs(pswRow[c] - pswBase[c]));
        if (slDev > 6 * std::max(s.w, 16)) {
          for (uint32_t c = 0; c + 2 < W; ++c) {
            if (aslG[c] + aslG[c + 1] <= thrA + 2 * s.slSlope - 25) continue;
            aubEdge[c] = aubEdge[c + 1] = 1;
            ++Q;
          }
        }
      }
      if (s.slSlope == 0 && P == 0 && Q == 0 && s.ubClass < 2 && (s.w < 9 || b.ubTouchNum >= 5)) {
        for (uint32_t c = 0; c < W; ++c) {
          if (aslG[c] < thrA / 2 + 10) continue;
          aubEdge[c] = 1;
          ++Lw;
        }
      }
      if (P != 0 || Q != 0 || Lw >= 2) {
        s.boClustered = true;
        int32_t slSum = 0;
        for (uint32_t c = 0; c < W; ++c) slSum += pswBase[c];
        uint8_t aubIds[kMaxWidth];
        int16_t aswCentres[3];
        uint16_t auwCounts[3];
        ClusterThreeLevels(pswRow, aubIds, aswCentres, auwCounts, static_cast<uint16_t>(W), 1, 0,
                           static_cast<int16_t>(slSum / static_cast<int32_t>(W)));
        for (uint32_t c = 0; c < W; ++c) b.pswWorkB[c] = aubIds[c];
        b.puwMedianOut[r] = static_cast<uint16_t>(aswCentres[1]);
        const bool boTrendRow = r < 4 || r + 4 >= b.ubRows;
        if (boMutual && boTrendRow && (b.ubTouchNum < 5 || Q > 0) && b.puwRef != nullptr && b.puwRaw != nullptr)
          b.pubTrend[r] = TrendFlag(b, r);
        const uint8_t ubTrend = boMutual ? b.pubTrend[r] : 0;
        const uint8_t bg = ChooseBackground(b, r, aswCentres, auwCounts, ubTrend, pubRowFlags[r] != 0, pswBase);
        const RowClassSettings st{static_cast<uint8_t>(W), static_cast<uint8_t>(uiStep), bg, b.ubLargeTouch, b.ubWater};
        CorrectBaselineByCluster(pswRow, pswBase, pswD, aubIds, aswCentres, static_cast<int16_t>(thrU - 10), aubEdge,
                                 &st);
      }
    }
  }

  uiFree = ClassifyNodes(b, s, pswRow, pswBase, pswD, pubMask);
  // Rows narrower than 13 columns have no inner range to judge the sides against: no rescue.
  if (W >= 13 && !s.boClustered && b.ubPass == 0 && b.ubRescueBlock == 0 && b.ubLastSuspend == 0 && s.ubClass <= 2 &&
      b.ubTouchNum <= 4)
    uiFree = EdgeColumnRescue(b, s, pswBase, pswD, pubMask, uiFree);
  b.pubFreeCount[r] = static_cast<uint8_t>(uiFree);
  if (uiFree * uiStep >= W) b.pubRowTouch[r] = kNodeFree;
}

// After all rows of the mutual map: a lone touched row between free rows is noise, and a
// free row beside a barely touched one takes its marks.
void FinalPass(const RowDenoiseBlock& b) {
  const uint32_t R = b.ubRows, W = b.ubWidth;
  uint8_t aubCopy[kMaxRows];
  memcpy(aubCopy, b.pubRowTouch, R);
  uint32_t Z = 0;
  for (uint32_t r = 0; r < R; ++r) Z += aubCopy[r] != kNodeFree ? 1 : 0;
  const uint32_t uiSparse = W - W / 4;
  uint8_t* live = b.pubRowTouch;
  for (uint32_t r = 0; r < R; ++r) {
    uint8_t* pubMask = b.pubNodeMask + r * W;
    const int16_t* pswD = b.pswNeighbourDiff + r * W;
    if (r > 0 && r + 1 < R && live[r] != kNodeFree) {
      if (live[r - 1] == kNodeFree && live[r + 1] == kNodeFree && b.pubFreeCount[r] < uiSparse) {
        memset(pubMask, kNodeFree, W);
        b.pubFreeCount[r] = static_cast<uint8_t>(W);
        live[r] = kNodeFree;
      } else if (live[r - 1] != kNodeFree || live[r + 1] != kNodeFree) {
        for (uint32_t c = 0; c < W; ++c) {
          if (c == 6 && W > 12) c = W - 6;
          const bool boQuiet = Abs(pswD[c]) <= 59 && (c == 0 || Abs(pswD[c - 1]) <= 59);
          const bool boFreeAround = (pubMask - W)[c] == kNodeFree && (pubMask + W)[c] == kNodeFree;
          if (boQuiet && pubMask[c] != kNodeFree && boFreeAround && b.pubFreeCount[r] < uiSparse) {
            pubMask[c] = kNodeFree;
            ++b.pubFreeCount[r];
          }
        }
      }
    }
    if (Z <= 6 && aubCopy[r] == kNodeFree) {
      const uint32_t uiEnough = W / 4 + W / 2;
      auto qualifies = [&](uint32_t n) { return aubCopy[n] != kNodeFree && b.pubFreeCount[n] >= uiEnough; };
      int32_t from = -1;
      if (r + 1 < R && qualifies(r + 1)) {
        from = static_cast<int32_t>(r + 1);
      } else if (r > 0 && qualifies(r - 1)) {
        from = static_cast<int32_t>(r - 1);
      }
      if (from >= 0) {
        memcpy(pubMask, b.pubNodeMask + from * W, W);
        b.pubFreeCount[r] = b.pubFreeCount[from];
      }
    }
    if (b.pubFreeCount[r] < W) live[r] = kNodeTouched;
  }
}

}  // namespace

int32_t RowTiltSlope(const int16_t* pswBase, uint8_t ubWidth, uint8_t ubStep, uint16_t uwBin) {
  const uint32_t W = ubWidth;
  const uint32_t uiStep = ubStep == 0 ? 1 : ubStep;
  if (W < 2) return 0;
  const int32_t first = pswBase[0], last = pswBase[W - 1];
  const int32_t D = Abs(first - last);
  if (D * 21 < 2816) return 0;
  const int32_t w = uwBin;
  const int32_t e = (D * 21) >> 8;
  const int32_t tol = std::min(e < 2 * w ? 2 * w : (e < 4 * w ? 3 * w : 4 * w), 80);
  int32_t slSum = 0;
  uint32_t uiCount = 0;
  for (uint32_t c = 0; c + 1 < W; ++c) {
    const int32_t diff = pswBase[c] - pswBase[c + 1];
    if (Abs(diff) > tol) continue;
    slSum += diff;
    ++uiCount;
  }
  if (uiCount * uiStep <= W / 2) return 0;
  const int32_t m = MeanQ10(slSum, uiCount);
  const int32_t mSigned = first > last ? m : -m;
  return (Abs(m) <= 29 && mSigned >= 1) ? m : 0;
}

void RowDenoiseBody(const RowDenoiseBlock* pstBlock) {
  const RowDenoiseBlock& b = *pstBlock;
  *b.pubNoiseLevel = 0;
  const uint32_t R = std::min<uint32_t>(b.ubRows, kMaxRows), W = std::min<uint32_t>(b.ubWidth, kMaxWidth);
  if (R == 0) return;
  uint8_t aubIds[kMaxNodes];
  memset(aubIds, 0, R * W);
  uint8_t aubRowFlags[kMaxRows] = {};
  const uint32_t uiStep = b.ubStep == 0 ? 1 : b.ubStep;
  for (uint32_t r = 0; r < R; ++r) {
    if (W == 0) {
      b.pubRowTouch[r] = kNodeFree;
      continue;
    }
    const int32_t slLevel = b.puwLevel != nullptr ? b.puwLevel[r] : 0;
    const int32_t thr = 20 * static_cast<int32_t>(uiStep) + 2 * slLevel + 20;
    if (RowWithin(b.pswNeighbourDiff + r * W, nullptr, nullptr, W, thr)) {
      b.pubRowTouch[r] = kNodeFree;
      SetStepMask(b.pubNodeMask + r * W, W, uiStep);
      continue;
    }
    b.pubRowTouch[r] = kNodeTouched;
    int16_t aswCentres[3];
    uint16_t auwCounts[3];
    ClusterThreeLevels(b.pswMap + r * W, aubIds + r * W, aswCentres, auwCounts, static_cast<uint16_t>(W), 1, 0, 32767);
  }
  // A strong node with strong nodes above and below is a touch that spans rows.
  if (R >= 3 && W >= 3) {
    for (uint32_t r = 1; r + 1 < R; ++r) {
      if (b.pubRowTouch[r] != kNodeTouched) continue;
      for (uint32_t c = 1; c + 1 < W; ++c) {
        if (aubIds[r * W + c] != 2) continue;
        const uint8_t* up = aubIds + (r - 1) * W + c;
        const uint8_t* dn = aubIds + (r + 1) * W + c;
        if (up[-1] + up[0] + up[1] + dn[-1] + dn[0] + dn[1] <= 4) continue;
        aubRowFlags[r] = 1;
        if (up[0] != 0) aubRowFlags[r - 1] = 1;
        if (dn[0] != 0) aubRowFlags[r + 1] = 1;
        break;
      }
    }
  }
  for (uint32_t r = 0; r < R; ++r) RowPass(b, r, aubRowFlags);
  if (b.ubSelfGroup == kRowDenoiseMutual && b.ubPass == 0 && W != 0) FinalPass(b);
}

void LcdDenoiseNetPost(const RowDenoiseBlock* pstBlock) {
  const RowDenoiseBlock& b = *pstBlock;
  const uint32_t R = std::min<uint32_t>(b.ubRows, kMaxRows), W = std::min<uint32_t>(b.ubWidth, kMaxWidth);
  if (R == 0 || W == 0) return;
  const uint32_t uiStep = b.ubStep == 0 ? 1 : b.ubStep;
  uint32_t uiLevelSum = 0;
  for (uint32_t r = 0; r < R; ++r) uiLevelSum += b.puwLevel != nullptr ? b.puwLevel[r] : 0;
  const auto uwClip = static_cast<uint16_t>(uiLevelSum < R ? 1 : uiLevelSum / R);
  uint8_t aubIds[kMaxNodes];
  int16_t aswCentres[3];
  uint16_t auwCounts[3];
  ClusterThreeLevels(b.pswMap, aubIds, aswCentres, auwCounts, static_cast<uint16_t>(R * W), 1, uwClip, 32767);
  MergeNearClusters(b.pswMap, aubIds, aswCentres, auwCounts, static_cast<uint8_t>(R), static_cast<uint8_t>(W));
  for (uint32_t r = 0; r < R; ++r) {
    const int16_t* pswRow = b.pswMap + r * W;
    const int16_t* pswD = b.pswNeighbourDiff + r * W;
    const uint8_t* pubIds = aubIds + r * W;
    uint8_t* pubMask = b.pubNodeMask + r * W;
    const int32_t slLevel = b.puwLevel != nullptr ? b.puwLevel[r] : 0;
    b.puwMedianOut[r] = 0;
    if (RowWithin(pswD, nullptr, nullptr, W, slLevel + 20)) {
      b.pubRowTouch[r] = kNodeFree;
      b.pubFreeCount[r] = static_cast<uint8_t>(W);
      if (uiStep >= 2) memset(pubMask, kNodeFree, W);
      continue;
    }
    int16_t* pswBase = b.pswBaseline;
    const MedianResult med = Median(pswRow, pswBase, kLongWindowHalf, W);
    const int32_t w = med.uwBin;
    int32_t aslG[kMaxWidth];
    int32_t G = 0;
    uint32_t uiRun2 = 0, uiBest2 = 0;
    for (uint32_t c = 0; c < W; ++c) {
      aslG[c] = c + 1 < W ? Abs(pswBase[c] - pswBase[c + 1]) : 0;
      G = std::max(G, aslG[c]);
      uiRun2 = pubIds[c] == 2 ? uiRun2 + 1 : 0;
      uiBest2 = std::max(uiBest2, uiRun2);
    }
    int32_t t = slLevel + 50;
    if (G < t && uiBest2 > 8) t = G;
    if (G >= 20 && G < t) {
      const int32_t h = std::max<int32_t>(10, (G * gaswQ10Recip[2]) >> 10);
      if (QuietRun(pswD, aslG, W, h, w) > 3 * W / 4) t = G - 1;
    }
    uint8_t aubEdge[kMaxWidth] = {};
    bool boAnyEdge = false;
    for (uint32_t c = 0; c < W; ++c) {
      if (aslG[c] < t * static_cast<int32_t>(uiStep)) continue;
      aubEdge[c] = 1;
      boAnyEdge = true;
    }
    if (boAnyEdge) {
      const RowClassSettings st{static_cast<uint8_t>(W), static_cast<uint8_t>(uiStep), 1, b.ubLargeTouch, b.ubWater};
      CorrectBaselineByCluster(pswRow, pswBase, pswD, pubIds, aswCentres, static_cast<int16_t>(t), aubEdge, &st);
    }
    // Nodes off the background, with short gaps between them closed; the second copy keeps
    // only runs longer than 4 columns.
    uint8_t aubFlags[kMaxWidth], aubLong[kMaxWidth];
    for (uint32_t c = 0; c < W; ++c) aubFlags[c] = pubIds[c] != 1 ? 1 : 0;
    uint8_t aubS[kMaxFlagRuns], aubE[kMaxFlagRuns], ubLastS, ubLastE;
    FindFlagRuns(aubS, aubE, &ubLastS, &ubLastE, aubFlags, 1, static_cast<uint8_t>(W));
    for (uint32_t k = 0; ubLastS != kNoRun && ubLastS == ubLastE && k < ubLastS; ++k)
      if (aubS[k + 1] - aubE[k] < 3) std::fill(aubFlags + aubE[k], aubFlags + aubS[k + 1], 1);
    memcpy(aubLong, aubFlags, W);
    FindFlagRuns(aubS, aubE, &ubLastS, &ubLastE, aubFlags, 1, static_cast<uint8_t>(W));
    for (uint32_t k = 0; ubLastS != kNoRun && k <= ubLastS && k <= ubLastE; ++k)
      if (aubE[k] - aubS[k] <= 4) std::fill(aubLong + aubS[k], aubLong + aubE[k], 0);
    const int32_t thr2 = (slLevel >> 1) + 30;
    uint32_t uiFree = 0;
    for (uint32_t c = 0; c < W; ++c) {
      const int32_t v = pswRow[c], bs = pswBase[c];
      const uint8_t ubMark = v + thr2 < bs ? kNodeNegative : kNodeTouched;
      if (pubIds[c] != 1 && Abs(v - bs) > thr2) {
        pubMask[c] = ubMark;
      } else if (c >= 6 && c + 6 <= W && aubLong[c] != 0) {
        pubMask[c] = ubMark;
      } else {
        pubMask[c] = kNodeFree;
        ++uiFree;
      }
    }
    b.pubFreeCount[r] = static_cast<uint8_t>(uiFree);
    b.pubRowTouch[r] = uiFree * uiStep >= W ? kNodeFree : kNodeTouched;
  }
}
