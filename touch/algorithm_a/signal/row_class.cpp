// Row classification routines: running-median baseline and flag runs. No allocation: the
// histogram and the lists live on the stack or in the caller's buffers.
#include "row_class.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "lcd_denoise.h"

int16_t gswMaxMedian;
int16_t gswMinMedian;

namespace {
constexpr uint32_t kBins = 32;
constexpr int32_t kFlatRange = 33;  // rows with a smaller range are their own baseline
constexpr int32_t kMaxBinIndexRange = 63;
}  // namespace

void GetMaxMinValue(const int16_t* pswValues, int16_t* pswMax, int16_t* pswMin, uint16_t uwCount, uint8_t ubStep) {
  int16_t swMax = -32767, swMin = 32767;
  const uint32_t uiStep = ubStep == 0 ? 1 : ubStep;
  for (uint32_t i = 0; i < uwCount; i += uiStep) {
    if (pswValues[i] > swMax) swMax = pswValues[i];
    if (pswValues[i] < swMin) swMin = pswValues[i];
  }
  *pswMax = swMax;
  *pswMin = swMin;
}

void RowRunningMedian(const int16_t* pswRow, int16_t* pswOut, uint16_t* puwBinWidth, uint8_t ubHalf, uint8_t ubWidth,
                      uint8_t /*ubFlag*/) {
  if (ubWidth == 0) {
    *puwBinWidth = 0;
    return;
  }
  int16_t swMax, swMin;
  GetMaxMinValue(pswRow, &swMax, &swMin, ubWidth, 1);
  const int32_t iRange = static_cast<int32_t>(swMax) - swMin + 1;
  if (iRange < kFlatRange) {
    memmove(pswOut, pswRow, ubWidth * sizeof(int16_t));
    *puwBinWidth = 0;
    return;
  }
  uint32_t k = 0;
  while ((iRange >> k) > kMaxBinIndexRange) ++k;
  const int32_t w = 1 << k;
  *puwBinWidth = static_cast<uint16_t>(w);
  const int32_t h = ubHalf;
  // The output may be the input row; the nodes entering the window are then read from a
  // copy of it.
  int16_t aswCopy[256];
  const int16_t* pswSrc = pswRow;
  if (pswOut == pswRow) {
    memcpy(aswCopy, pswRow, ubWidth * sizeof(int16_t));
    pswSrc = aswCopy;
  }
  auto binSrc = [&](int32_t i) {
    const int32_t j = i < 0 ? 0 : (i >= ubWidth ? ubWidth - 1 : i);  // the ends repeat
    return static_cast<uint32_t>((static_cast<int32_t>(pswSrc[j]) - swMin) >> (k + 1));
  };
  uint16_t auwHist[kBins] = {};
  for (int32_t i = -h; i <= h; ++i) ++auwHist[binSrc(i)];
  int16_t swOutMax = -32768, swOutMin = 32767;
  for (int32_t x = 0; x < ubWidth; ++x) {
    if (x > 0) {
      --auwHist[binSrc(x - 1 - h)];
      ++auwHist[binSrc(x + h)];
    }
    uint32_t uiCum = 0, j = 0;
    for (; j < kBins; ++j) {
      uiCum += auwHist[j];
      if (uiCum > static_cast<uint32_t>(h)) break;
    }
    // A bin's representative can sit up to one bin width above the row's largest value;
    // kept inside the row so a row near 32767 does not get a baseline of -32768.
    const auto swRep = static_cast<int16_t>(std::clamp<int32_t>(swMin + w + 2 * w * static_cast<int32_t>(j), swMin, swMax));
    pswOut[x] = swRep;
    if (swRep > swOutMax) swOutMax = swRep;
    if (swRep < swOutMin) swOutMin = swRep;
  }
  gswMaxMedian = swOutMax;
  gswMinMedian = swOutMin;
}

void FindFlagRuns(uint8_t* pubStarts, uint8_t* pubEnds, uint8_t* pubLastStart, uint8_t* pubLastEnd,
                  const uint8_t* pubFlags, uint8_t ubStep, uint8_t ubCount) {
  memset(pubStarts, kNoRun, kMaxFlagRuns);
  memset(pubEnds, kNoRun, kMaxFlagRuns);
  const uint32_t uiStep = ubStep == 0 ? 1 : ubStep;
  uint32_t uiStarts = 0, uiEnds = 0;
  for (uint32_t i = 0; i < ubCount; i += uiStep) {
    if (pubFlags[i] != 1) continue;
    if ((i == 0 || pubFlags[i - uiStep] == 0) && uiStarts < kMaxFlagRuns) pubStarts[uiStarts++] = static_cast<uint8_t>(i);
    const bool boLast = i + uiStep >= ubCount;
    if ((boLast || pubFlags[i + uiStep] == 0) && uiEnds < kMaxFlagRuns) pubEnds[uiEnds++] = static_cast<uint8_t>(i + uiStep);
  }
  *pubLastStart = static_cast<uint8_t>(uiStarts - 1);  // 255 when none
  *pubLastEnd = static_cast<uint8_t>(uiEnds - 1);
}

void ClusterThreeLevels(const int16_t* pswValues, uint8_t* pubIds, int16_t* pswCentres, uint16_t* puwCounts,
                        uint16_t uwCount, uint8_t ubStep, uint16_t uwClip, int16_t swMiddleHint) {
  const uint32_t uiStep = ubStep == 0 ? 1 : ubStep;
  const int32_t slLimit = static_cast<int32_t>(uwClip) + 256;
  // Clipping bounds what the clustering sees; the caller's values stay as they are.
  auto value = [&](uint32_t i) {
    const int32_t v = pswValues[i];
    return uwClip > 0 ? std::clamp(v, -slLimit, slLimit) : v;
  };
  int16_t swMaxRaw, swMinRaw;
  GetMaxMinValue(pswValues, &swMaxRaw, &swMinRaw, uwCount, ubStep);
  int32_t M = swMaxRaw, m = swMinRaw;
  int32_t c[3];
  if (uwClip > 0) {
    c[0] = std::max(m, -slLimit);
    c[2] = std::min(M, slLimit);
    c[1] = 0;
  } else {
    c[0] = m + ((M - m) >> 3);
    c[2] = M - ((M - m) >> 3);
    c[1] = (M + m) >> 1;
    if (swMiddleHint != 32767) c[1] = std::clamp<int32_t>(swMiddleHint, (M + m) >> 1, std::max((M + m) >> 1, M - ((M - m) >> 2)));
  }
  int64_t sum[3] = {};
  uint32_t n[3] = {};
  for (uint32_t iter = 0; iter < 5; ++iter) {
    sum[0] = sum[1] = sum[2] = 0;
    n[0] = n[1] = n[2] = 0;
    for (uint32_t i = 0; i < uwCount; i += uiStep) {
      const int32_t v = value(i);
      const int32_t d0 = std::abs(v - c[0]), d1 = std::abs(v - c[1]), d2 = std::abs(v - c[2]);
      const uint8_t id = (d0 <= d1 && d0 <= d2) ? 0 : (d1 <= d2 ? 1 : 2);
      pubIds[i] = id;
      sum[id] += v;
      ++n[id];
    }
    auto mean = [&](int k) { return n[k] == 0 ? 0 : static_cast<int32_t>(sum[k] / static_cast<int64_t>(n[k])); };
    if (n[0] == 0) {
      c[0] = 0;
      c[2] = mean(2);
      break;
    }
    if (n[1] == 0) {
      c[0] = mean(0);
      c[2] = mean(2);
      break;
    }
    if (n[2] == 0) break;
    const int32_t nc[3] = {mean(0), mean(1), mean(2)};
    const bool boSettled = std::abs(nc[0] - c[0]) < 2 && std::abs(nc[1] - c[1]) < 2 && std::abs(nc[2] - c[2]) < 2;
    std::copy(nc, nc + 3, c);
    if (boSettled) break;
  }
  for (uint32_t k = 0; k < 3; ++k) {
    pswCentres[k] = static_cast<int16_t>(c[k]);
    puwCounts[k] = static_cast<uint16_t>(n[k]);
  }
}

void MergeNearClusters(const int16_t* pswValues, uint8_t* pubIds, const int16_t* pswCentres, uint16_t* puwCounts,
                       uint8_t ubRows, uint8_t ubCols) {
  const int32_t L = pswCentres[0], C = pswCentres[1], U = pswCentres[2];
  const bool boLow = L + 50 > C, boHigh = C + 30 > U;
  const uint32_t uiNodes = static_cast<uint32_t>(ubRows) * ubCols;
  for (uint32_t i = 0; i < uiNodes; ++i) {
    const uint8_t id = pubIds[i];
    const bool boJoin = (id == 0 && boLow && pswValues[i] > C - 100) || (id == 2 && boHigh && pswValues[i] < C + 30);
    if (!boJoin) continue;
    pubIds[i] = 1;
    --puwCounts[id];
    ++puwCounts[1];
  }
}

void CorrectBaselineByCluster(const int16_t* pswRow, int16_t* pswBaseline, const int16_t* pswNeighbourDiff,
                              const uint8_t* pubIds, const int16_t* pswCentres, int16_t swThreshold,
                              uint8_t* pubEdgeMarks, const RowClassSettings* pstRow) {
  const uint32_t W = pstRow->ubWidth;
  const uint32_t S = pstRow->ubStep == 0 ? 1 : pstRow->ubStep;
  if (W == 0 || W > 56 || pstRow->ubBackground > 2) return;
  const int32_t T = std::min<int32_t>(swThreshold, 100);
  const int32_t slBack = pswCentres[pstRow->ubBackground];
  uint8_t aubOff[56] = {};
  for (uint32_t j = 0; j < W; ++j) {
    const uint32_t at = j * S;
    const bool boFar = std::abs(pswCentres[pubIds[at]] - slBack) > T;
    const bool boLifted = pubIds[at] == pstRow->ubBackground && std::abs(pswRow[at] - pswBaseline[at]) > T;
    aubOff[j] = (boFar || boLifted) ? 1 : 0;
  }
  uint8_t aubS[kMaxFlagRuns], aubE[kMaxFlagRuns], ubLastS, ubLastE;
  FindFlagRuns(aubS, aubE, &ubLastS, &ubLastE, aubOff, 1, static_cast<uint8_t>(W));
  if (ubLastS != ubLastE) return;
  if (ubLastS != kNoRun) {
    for (uint32_t k = 0; k < ubLastS; ++k)
      if (aubS[k + 1] - aubE[k] < 5) std::fill(aubOff + aubE[k], aubOff + aubS[k + 1], 1);
    FindFlagRuns(aubS, aubE, &ubLastS, &ubLastE, aubOff, 1, static_cast<uint8_t>(W));
    if (ubLastS != ubLastE) return;
  }
  const int32_t slEdge = pstRow->ubLargeTouch < 16 ? (swThreshold >> pstRow->ubLargeTouch) : 0;
  for (uint32_t k = 0; ubLastS != kNoRun && k <= ubLastS; ++k) {
    const uint32_t s = aubS[k], e = aubE[k];
    const uint32_t w0 = s >= 2 ? s - 2 : 0;
    const uint32_t w1 = e >= W ? W - 1 : e;
    bool boMarked = false;
    for (uint32_t j = w0; j <= w1; ++j) boMarked = boMarked || pubEdgeMarks[j * S] != 0;
    if (!boMarked) {
      std::fill(aubOff + s, aubOff + e, 0);
      continue;
    }
    if (w0 + 1 < W) aubOff[w0 + 1] = 1;
    aubOff[w1] = 1;
    for (uint32_t j = w0; j <= w1 && j + 1 < W; ++j) {
      const bool boChange = pubIds[j * S] != pubIds[(j + 1) * S];
      if (boChange && (pstRow->ubWater != 0 || std::abs(pswNeighbourDiff[j * S]) > slEdge)) pubEdgeMarks[j * S] = 1;
    }
    if (w0 != 0) {
      uint32_t j = w0;
      while (j <= w1 && pubEdgeMarks[j * S] == 0) aubOff[j++] = 0;
      if (j <= w1 && j > 0) aubOff[j - 1] = 1;
    }
    if (w1 + 1 < W) {
      int32_t j = static_cast<int32_t>(w1);
      while (j >= static_cast<int32_t>(w0) && pubEdgeMarks[j * S] == 0) aubOff[j--] = 0;
      if (j >= static_cast<int32_t>(w0) && static_cast<uint32_t>(j) + 1 < W) aubOff[j + 1] = 1;
    }
  }
  for (uint32_t j = 0; j < W; ++j)
    if (aubOff[j] != 0) pswBaseline[j * S] = static_cast<int16_t>(slBack);
}

namespace {
int16_t Clamp16(int32_t v) { return static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX)); }
}  // namespace

void FillProfileGap(int16_t* pswValues, int8_t scStart, int8_t scEnd, uint8_t ubLength) {
  if (pswValues == nullptr || ubLength == 0) return;
  const int32_t n = ubLength, s = scStart, e = scEnd;
  const bool boLeftOpen = s < 0, boRightOpen = e > n - 1;
  if (boLeftOpen && boRightOpen) return;  // no value to start from
  constexpr int32_t kMirrored = 5;
  if (boLeftOpen) {
    const int32_t a = pswValues[e];
    for (int32_t i = e - 1; i >= 0; --i) {
      const int32_t k = e - i;
      if (k <= kMirrored) {
        pswValues[i] = e + k < n ? Clamp16(2 * a - pswValues[e + k]) : static_cast<int16_t>(a);
      } else {
        pswValues[i] = pswValues[e - kMirrored];
      }
    }
  } else if (boRightOpen) {
    const int32_t a = pswValues[s];
    for (int32_t i = s + 1; i < n; ++i) {
      const int32_t k = i - s;
      if (k <= kMirrored) {
        pswValues[i] = s - k >= 0 ? Clamp16(2 * a - pswValues[s - k]) : static_cast<int16_t>(a);
      } else {
        pswValues[i] = pswValues[s + kMirrored];
      }
    }
  } else {
    const int32_t d = e - s;
    if (d < 2) return;
    const int32_t r = d < static_cast<int32_t>(kQ10RecipCount) ? gaswQ10Recip[d] : 0;
    const int32_t step = ((pswValues[e] - pswValues[s]) * r) >> 10;
    int32_t acc = pswValues[s];
    for (int32_t i = s + 1; i < e; ++i) {
      acc += step;
      pswValues[i] = Clamp16(acc);
    }
  }
}

void SubtractSmoothedProfile(uint16_t* puwTarget, const int16_t* pswSource, uint16_t uwCount, uint8_t ubStep) {
  if (puwTarget == nullptr || pswSource == nullptr || uwCount == 0) return;
  const uint32_t step = ubStep == 0 ? 1 : ubStep;
  const int16_t* x = pswSource;
  for (uint32_t k = 0; k < uwCount; ++k) {
    int32_t v;
    if (uwCount == 1) {
      v = x[0];
    } else if (k == 0) {
      v = (7 * x[0] + x[1]) >> 3;
    } else if (k + 1 == uwCount) {
      v = (7 * x[k] + x[k - 1]) >> 3;
    } else {
      v = (x[k - 1] + 6 * x[k] + x[k + 1]) >> 3;
    }
    puwTarget[k * step] = static_cast<uint16_t>(puwTarget[k * step] - v);
  }
}
