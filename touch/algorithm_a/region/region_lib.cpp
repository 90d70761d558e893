// Region library: rectangle geometry, the special-area list, track-slot queries, integer
// square root, the CORDIC arc tangent and region orientation, and the LibAndr vector
// statistics with their result record.
#include <cstring>

#include "coord_records.h"
#include "region_lib.h"
#include "region_proc.h"

LibAndrStat gstLibAndrStat;
SpecialAreaTable gstSpecialArea;

RegionRect CalcAllRect(const RegionRect* pstRects, uint8_t ubCount) {
  RegionRect out = RegionRectFromWord(kRegionRectEmptyBound);
  for (uint8_t i = 0; pstRects != nullptr && i < ubCount; ++i) {
    const RegionRect r = pstRects[i];
    if (r.ubRowStart < out.ubRowStart) out.ubRowStart = r.ubRowStart;
    if (r.ubRowEnd > out.ubRowEnd) out.ubRowEnd = r.ubRowEnd;
    if (r.ubColStart < out.ubColStart) out.ubColStart = r.ubColStart;
    if (r.ubColEnd > out.ubColEnd) out.ubColEnd = r.ubColEnd;
  }
  return out;
}

uint8_t RectIsInclude(RegionRect a, RegionRect b) { return RectInside(b, a) ? 1 : 0; }

uint8_t GetRectOverlapAxes(RegionRect a, RegionRect b) {
  const bool rows = a.ubRowStart <= b.ubRowEnd && b.ubRowStart <= a.ubRowEnd;
  const bool cols = a.ubColStart <= b.ubColEnd && b.ubColStart <= a.ubColEnd;
  return static_cast<uint8_t>((rows ? 1u : 0u) | (cols ? 2u : 0u));
}

uint16_t GetNotMuchOutCnt() { return guwNotMuchOutCnt; }

uint16_t GetProfileSpanOverThr(const uint16_t* puwProfile, uint8_t ubCount, uint16_t uwThr, uint8_t* pubFirst,
                               uint8_t* pubLast) {
  uint8_t ubFirst = 255, ubLast = 255;
  uint16_t uwMax = 0;
  for (uint8_t i = 0; puwProfile != nullptr && i < ubCount; ++i) {
    const uint16_t v = puwProfile[i];
    if (v > uwMax) uwMax = v;
    if (v > uwThr) {
      if (ubFirst == 255) ubFirst = i;
      ubLast = i;
    }
  }
  if (pubFirst != nullptr) *pubFirst = ubFirst;
  if (pubLast != nullptr) *pubLast = ubLast;
  return uwMax;
}

uint32_t CalcRectCoverSize(RegionRect a, RegionRect b) {
  if (a.ubRowStart > b.ubRowEnd || b.ubRowStart > a.ubRowEnd || a.ubColStart > b.ubColEnd ||
      b.ubColStart > a.ubColEnd)
    return 0;
  const uint32_t h = static_cast<uint32_t>((a.ubRowEnd < b.ubRowEnd ? a.ubRowEnd : b.ubRowEnd) -
                                           (a.ubRowStart > b.ubRowStart ? a.ubRowStart : b.ubRowStart) + 1);
  const uint32_t w = static_cast<uint32_t>((a.ubColEnd < b.ubColEnd ? a.ubColEnd : b.ubColEnd) -
                                           (a.ubColStart > b.ubColStart ? a.ubColStart : b.ubColStart) + 1);
  return h * w;
}

uint8_t GetRectAdjacentLength(RegionRect a, RegionRect b) {
  const bool boRows = !(a.ubRowStart > b.ubRowEnd || b.ubRowStart > a.ubRowEnd);
  const bool boCols = !(a.ubColStart > b.ubColEnd || b.ubColStart > a.ubColEnd);
  const int32_t rows = (a.ubRowEnd < b.ubRowEnd ? a.ubRowEnd : b.ubRowEnd) -
                       (a.ubRowStart > b.ubRowStart ? a.ubRowStart : b.ubRowStart) + 1;
  const int32_t cols = (a.ubColEnd < b.ubColEnd ? a.ubColEnd : b.ubColEnd) -
                       (a.ubColStart > b.ubColStart ? a.ubColStart : b.ubColStart) + 1;
  if (boRows && !boCols) return static_cast<uint8_t>(50 + rows);
  if (!boRows && boCols) return static_cast<uint8_t>(cols);
  return 0;
}

void AddSpecialRectSet(uint32_t uiRect, const uint8_t* pubParams) {
  SpecialAreaTable& t = gstSpecialArea;
  if (t.ubCount >= kRegionMax || pubParams == nullptr) return;
  SpecialArea& e = t.astEntry[t.ubCount++];
  e.uiRect = uiRect;
  memcpy(&e.ubBoost, pubParams, 5);
}

void ReleaseTrackSlotsByRect(uint32_t uiRect, uint8_t ubRows, uint8_t ubCols) {
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    if (RegionRectWord(gstRegionAcquireState.astSlot[k].stRect) != uiRect) continue;
    ReleaseTrackSlot(k, ubRows, ubCols);
    gstCoordPair.aubSlotState[k] = 9;
  }
}

void MarkSteadyTrackSlots(uint8_t* pubFlags, uint32_t* puiRects) {
  if (pubFlags == nullptr || puiRects == nullptr) return;
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    const RegionTrackSlot& s = gstRegionAcquireState.astSlot[k];
    if (s.ubFrameCnt < 6) continue;
    pubFlags[k] = 1;
    puiRects[k] = RegionRectWord(s.stRect);
  }
}

uint8_t GetRegionAcquireFlag() { return gstRegionAcquireState.ubAcquireFlag; }

uint8_t JudgeValleyRectWeak(const int16_t* pswDiff, const int16_t* pswSecond, uint32_t uiRect, uint16_t uwNode,
                            int8_t scLabel, uint8_t ubRows, uint8_t ubCols) {
  if (pswDiff == nullptr || ubCols == 0) return 0;
  const uint32_t uiRow = uwNode / ubCols;
  const uint32_t uiCol = uwNode % ubCols;
  if (uiRow == 0 || uiCol == 0 || uiRow + 1 >= ubRows || uiCol + 1u >= ubCols) return 0;
  const uint8_t* pubLabel = gstRegionAcquireState.aubSlotLabel;
  const uint8_t ubLabel = static_cast<uint8_t>(scLabel);
  bool boFound = false;
  int32_t siTop = 0;
  for (int32_t dr = -1; dr <= 1; ++dr) {
    for (int32_t dc = -1; dc <= 1; ++dc) {
      if (dr == 0 && dc == 0) continue;
      const uint32_t n = (uiRow + dr) * ubCols + (uiCol + dc);
      if (pubLabel[n] != ubLabel) continue;
      if (!boFound || pswDiff[n] > siTop) siTop = pswDiff[n];
      boFound = true;
    }
  }
  // The node is no valley unless it lies clearly (25) below the strongest neighbour of the
  // slot it would join.
  if (pswDiff[uwNode] + 25 > siTop) return 0;
  const RegionRect r = RegionRectFromWord(uiRect);
  int32_t siSum = 0;
  int32_t siRise = 0;
  for (uint32_t row = r.ubRowStart; row <= r.ubRowEnd && row < ubRows; ++row) {
    for (uint32_t col = r.ubColStart; col <= r.ubColEnd && col < ubCols; ++col) {
      const uint32_t n = row * ubCols + col;
      if (pubLabel[n] == kRegionLabelNone) continue;
      siSum += pswDiff[n];
      // Without a second map there is nothing to rise against.
      const int32_t siStep = pswSecond != nullptr ? pswDiff[n] - pswSecond[n] : 0;
      if (siStep > siRise) siRise = siStep;
    }
  }
  return (siRise <= gstRegionAcquireState.uwNodeLevel || static_cast<int16_t>(siSum) < 400) ? 1 : 0;
}

uint32_t CalcIntegerSqrt(uint32_t v) {
  uint32_t uiBit = 1u << 30;
  while (uiBit > v) uiBit >>= 2;
  uint32_t uiRoot = 0;
  while (uiBit != 0) {
    if (v >= uiRoot + uiBit) {
      v -= uiRoot + uiBit;
      uiRoot = (uiRoot >> 1) + uiBit;
    } else {
      uiRoot >>= 1;
    }
    uiBit >>= 2;
  }
  return uiRoot;
}

int32_t CordicAtan2(int32_t y, int32_t* px) {
  if (px == nullptr) return 0;
  const int32_t x = *px;
  // Magnitudes in 64 bits: |INT32_MIN| does not fit 32.
  const int64_t ax = x < 0 ? -static_cast<int64_t>(x) : x;
  const int64_t ay = y < 0 ? -static_cast<int64_t>(y) : y;
  if (ay == 0) {
    *px = static_cast<int32_t>(ax > INT32_MAX ? INT32_MAX : ax);
    return x < 1 ? 12868 : 0;
  }
  if (ax == 0) {
    *px = static_cast<int32_t>(ay > INT32_MAX ? INT32_MAX : ay);
    return y < 1 ? -6434 : 6434;
  }
  const int64_t d = ay - ax;
  const int64_t x1 = ax + ay;
  const int64_t y1 = d;
  int64_t x2, y2;
  int32_t a;
  if (d < 0) {
    x2 = x1 - (y1 >> 1);
    y2 = y1 + (x1 >> 1);
    a = 1318;
  } else {
    x2 = x1 + (y1 >> 1);
    y2 = y1 - (x1 >> 1);
    a = d > 0 ? 5116 : 3217;
  }
  const int64_t x3 = x2 + ((y2 >> 2) < 0 ? -(y2 >> 2) : (y2 >> 2));
  const int64_t y3 = y2 >= 0 ? y2 - (x2 >> 2) : y2 + (x2 >> 2);
  if (d != 0 && y2 != 0) a += y2 > 0 ? 1003 : -1003;
  const int64_t x4 = x3 + ((y3 >> 3) < 0 ? -(y3 >> 3) : (y3 >> 3));
  if (d != 0 && y2 != 0 && y3 != 0) a += y3 > 0 ? 509 : -509;
  const int64_t len = (x4 * 39898 + 32768) >> 16;
  *px = static_cast<int32_t>(len > INT32_MAX ? INT32_MAX : len);
  if (x >= 1) return y < 0 ? -a : a;
  return y < 1 ? a - 12868 : 12868 - a;
}

uint32_t CalcVectorLength(int16_t x, int16_t y) {
  // x*x + y*y reaches 2^31 only for (-32768, -32768); taken in 32 unsigned bits it fits.
  const uint32_t uiSum = static_cast<uint32_t>(x * x) + static_cast<uint32_t>(y * y);
  return CalcIntegerSqrt(uiSum);
}

// Whole degrees outside 0..179 have no entry; they give 0.
int16_t GetSinQ10(int16_t swDegree) { return swDegree >= 0 && swDegree < 180 ? RegionSinTable[swDegree] : 0; }
int16_t GetCosQ10(int16_t swDegree) { return swDegree >= 0 && swDegree < 180 ? RegionCosTable[swDegree] : 0; }

int16_t CalcRegionOrientation(const int16_t* pswMap, RegionRect r, uint8_t ubCols) {
  uint32_t Sw = 0, Sr = 0, Sc = 0, Src = 0, Scc = 0, Srr = 0;
  for (uint32_t row = r.ubRowStart; pswMap != nullptr && row <= r.ubRowEnd; ++row) {
    for (uint32_t col = r.ubColStart; col <= r.ubColEnd; ++col) {
      const int16_t v = pswMap[row * ubCols + col];
      if (v < 25) continue;
      const uint32_t w = v < 64 ? 1u : static_cast<uint32_t>(v >> 5);
      const uint32_t dr = row - r.ubRowStart;
      const uint32_t dc = col - r.ubColStart;
      Sw += w;
      Sr += w * dr;
      Sc += w * dc;
      Src += w * dc * dr;
      Scc += w * dc * dc;
      Srr += w * dr * dr;
    }
  }
  // The moments wrap at 32 bits, as the accumulation does.
  const int32_t y = static_cast<int32_t>(2u * (Sw * Src - Sr * Sc));
  int32_t x = static_cast<int32_t>(Sr * Sr - Sc * Sc + (Scc - Srr) * Sw);
  const int16_t a = static_cast<int16_t>(CordicAtan2(y, &x));
  const int32_t t = 90 * a;
  int32_t deg = (t + 6434) / 12868;
  if (t < -19301) deg += 180;
  if (deg >= 180) deg -= 180;
  return static_cast<int16_t>(deg);
}

namespace {

template <class T>
void Track(T v, const T* p, int32_t& siMin, const void*& pvMin, int32_t& siMax, const void*& pvMax, uint32_t& uiSum) {
  if (static_cast<int32_t>(v) > siMax) {
    siMax = v;
    pvMax = p;
  }
  if (static_cast<int32_t>(v) < siMin) {
    siMin = v;
    pvMin = p;
  }
  uiSum += static_cast<uint32_t>(static_cast<int32_t>(v));
}

template <class T>
void Store(int32_t siMin, const void* pvMin, int32_t siMax, const void* pvMax, uint32_t uiSum) {
  gstLibAndrStat.uwMin = static_cast<uint16_t>(siMin);
  gstLibAndrStat.pvMinAddr = pvMin;
  gstLibAndrStat.uwMax = static_cast<uint16_t>(siMax);
  gstLibAndrStat.pvMaxAddr = pvMax;
  gstLibAndrStat.uiSum = uiSum;
}

template <class T>
uint32_t Statistic(const T* p, uint16_t n, int32_t siMin, int32_t siMax) {
  if (n == 0 || p == nullptr) return 1;
  const void* pvMin = p;
  const void* pvMax = p;
  uint32_t uiSum = 0;
  for (uint16_t i = 0; i < n; ++i) Track<T>(p[i], p + i, siMin, pvMin, siMax, pvMax, uiSum);
  Store<T>(siMin, pvMin, siMax, pvMax, uiSum);
  return 0;
}

}  // namespace

uint32_t LibAndrStatisticU8(const uint8_t* p, uint16_t n, LibAndrDone) { return Statistic(p, n, 65535, 0); }
uint32_t LibAndrStatisticU16(const uint16_t* p, uint16_t n, LibAndrDone) { return Statistic(p, n, 65535, 0); }
uint32_t LibAndrStatisticS16(const int16_t* p, uint16_t n, LibAndrDone) { return Statistic(p, n, 32767, -32768); }

uint32_t LibAndrAddConstS16(const int16_t* src, int16_t k, int16_t* dst, uint16_t n, LibAndrDone) {
  if (n == 0 || src == nullptr || dst == nullptr) return 1;
  for (uint16_t i = 0; i < n; ++i) dst[i] = static_cast<int16_t>(src[i] + k);
  return Statistic(dst, n, 32767, -32768);
}

uint32_t LibAndrSubS16(const int16_t* a, const int16_t* b, int16_t* dst, uint16_t n, LibAndrDone) {
  if (n == 0 || a == nullptr || b == nullptr || dst == nullptr) return 1;
  for (uint16_t i = 0; i < n; ++i) dst[i] = static_cast<int16_t>(a[i] - b[i]);
  return Statistic(dst, n, 32767, -32768);
}

uint32_t LibAndrGtConstS16(const int16_t* src, int16_t k, uint8_t* mask, uint16_t n, LibAndrDone) {
  if (n == 0 || src == nullptr || mask == nullptr) return 1;
  for (uint16_t i = 0; i < n; ++i) mask[i] = src[i] > k ? 1 : 0;
  return Statistic(mask, n, 65535, 0);
}

int16_t LibAndrGetMinData() { return static_cast<int16_t>(gstLibAndrStat.uwMin); }
const void* LibAndrGetMinDataAddr() { return gstLibAndrStat.pvMinAddr; }
int16_t LibAndrGetMaxData() { return static_cast<int16_t>(gstLibAndrStat.uwMax); }
const void* LibAndrGetMaxDataAddr() { return gstLibAndrStat.pvMaxAddr; }
uint32_t LibAndrGetAcc() { return gstLibAndrStat.uiSum; }

void NormalizeShadowProfile(const int16_t* pswIn, int16_t* pswOut, uint8_t ubCount) {
  if (pswIn == nullptr || pswOut == nullptr || ubCount == 0) return;
  LibAndrStatisticS16(pswIn, ubCount);
  const int32_t siMin = LibAndrGetMinData();
  const int32_t siMax = LibAndrGetMaxData();
  const int32_t m = (siMin < 0 ? -siMin : siMin) > siMax ? (siMin < 0 ? -siMin : siMin) : siMax;
  if (m == 0) {
    for (uint8_t i = 0; i < ubCount; ++i) pswOut[i] = pswIn[i];
    return;
  }
  // The factor is kept in 32 bits: for m of 16 or less 524288 / m does not fit 16, and
  // truncated it would turn the profile's sign or scale it to nothing. So the largest
  // magnitude becomes 512 for every m.
  const int32_t f = 524288 / m;
  for (uint8_t i = 0; i < ubCount; ++i) pswOut[i] = static_cast<int16_t>((f * pswIn[i]) >> 10);
}

void CalcSumDiffShadowSub(uint32_t uiRect, uint8_t ubRows, uint8_t ubCols, const int16_t* pswDiff, int16_t* pswOut) {
  if (pswOut == nullptr) return;
  const uint32_t uiLen = static_cast<uint32_t>(ubRows) + ubCols;
  for (uint32_t i = 0; i < uiLen; ++i) pswOut[i] = 0;
  if (pswDiff == nullptr || ubRows == 0 || ubCols == 0) return;
  const RegionRect e = RegionRectClip(ExpandRect(RegionRectFromWord(uiRect), ubRows, ubCols), ubRows, ubCols);
  const RegionGrid g{const_cast<int16_t*>(pswDiff), ubRows, ubCols};
  const int32_t r0 = e.ubRowStart, r1 = e.ubRowEnd, c0 = e.ubColStart, c1 = e.ubColEnd;
  for (int32_t r = r0; r <= r1; ++r) {
    int32_t siRow = 0;
    for (int32_t c = c0; c <= c1; ++c) {
      const int16_t v = g.At(r, c);
      if (v >= 0 || (r0 + 1 < r && r < r1 - 1)) pswOut[ubRows + c] = static_cast<int16_t>(pswOut[ubRows + c] + v);
      if (v >= 0 || (c0 + 1 < c && c < c1 - 1)) siRow += v;
    }
    pswOut[r] = c0 > c1 ? 0 : static_cast<int16_t>(siRow);
  }
  NormalizeShadowProfile(pswOut, pswOut, ubRows);
  NormalizeShadowProfile(pswOut + ubRows, pswOut + ubRows, ubCols);
}

void GetTwoRegionCombineSide(RegionRect* pstA, RegionRect stB) {
  if (pstA == nullptr) return;
  if (stB.ubRowStart < pstA->ubRowStart) pstA->ubRowStart = stB.ubRowStart;
  if (stB.ubRowEnd > pstA->ubRowEnd) pstA->ubRowEnd = stB.ubRowEnd;
  if (stB.ubColStart < pstA->ubColStart) pstA->ubColStart = stB.ubColStart;
  if (stB.ubColEnd > pstA->ubColEnd) pstA->ubColEnd = stB.ubColEnd;
}

uint8_t RegionOnlyOneJudge(uint16_t uwStart, uint16_t uwEnd, int16_t swThr, int16_t swLow, const int16_t* pswProfile) {
  if (uwStart >= uwEnd) return uwStart == uwEnd ? 1 : 0;
  if (pswProfile == nullptr) return 0;
  const int16_t* p = pswProfile;
  const int32_t thr = swThr;
  bool boFalling = false;
  for (uint32_t i = uwStart; i < uwEnd; ++i) {
    const bool boSecond = i + 1 < uwEnd;  // p[i + 2] still lies inside the range
    if (boFalling) {
      if (p[i + 1] - p[i] > thr || (boSecond && p[i + 2] - p[i] > thr)) return 0;
    } else if (p[i + 1] + thr < p[i] || (boSecond && p[i + 2] + thr < p[i])) {
      boFalling = true;
    }
  }
  if (swLow == 0) return 1;
  uint32_t uiLow = 0;
  for (uint32_t i = uwStart + 1u; i < uwEnd; ++i) {
    if (p[i] <= swLow) ++uiLow;
  }
  return uiLow < 2 ? 1 : 0;
}

uint8_t RectSelfConfirm(int16_t swRowThr, int16_t swColThr, const int16_t* pswSelf, uint8_t ubRows, uint32_t uiRect) {
  if (pswSelf == nullptr) return 0;
  const RegionRect r = RegionRectFromWord(uiRect);
  bool boRow = false;
  for (uint32_t i = r.ubRowStart; i <= r.ubRowEnd && i < ubRows && !boRow; ++i) boRow = pswSelf[i] >= swRowThr;
  if (!boRow) return 0;
  for (uint32_t c = r.ubColStart; c <= r.ubColEnd; ++c) {
    if (pswSelf[ubRows + c] >= swColThr) return 1;
  }
  return 0;
}
