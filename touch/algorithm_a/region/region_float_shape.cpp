// Shape tests of the floating-finger judgement: whether the signal of a box is one compact
// blob or shows a valley along its principal axis (and, for the main rectangle of a frame
// with three regions, whether the regions form the multi-piece shape of a large plate), and
// the saddle analysis that tells a two-finger record from a floating ring.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "region_float.h"
#include "region_lib.h"
#include "region_proc.h"

namespace {

int32_t Height(RegionRect r) { return r.ubRowEnd - r.ubRowStart + 1; }
int32_t Width(RegionRect r) { return r.ubColEnd - r.ubColStart + 1; }

constexpr uint8_t kOtherFirst[3] = {1, 0, 0};
constexpr uint8_t kOtherSecond[3] = {2, 2, 1};

bool Near1(int32_t a, int32_t b) { return std::abs(a - b) <= 1; }
bool Touches(RegionRect a, RegionRect b) {
  return a.ubRowEnd >= b.ubRowStart && b.ubRowEnd >= a.ubRowStart && a.ubColEnd >= b.ubColStart &&
         b.ubColEnd >= a.ubColStart;
}

uint8_t ThreeRegionShape(const FloatJudgeInput& in, const uint8_t* marks, const int16_t* prof) {
  if (in.ubCount == 2) return 4;
  auto s = [&](uint8_t i) { return Height(in.pstRect[i]) + Width(in.pstRect[i]); };
  uint8_t k = 255;
  for (uint8_t i = 0; i < kRegionMax && k == 255; ++i) {
    if (in.puwKeep[i] == 0 || Height(in.pstRect[i]) * Width(in.pstRect[i]) == 1) continue;
    bool boLargest = true;
    for (uint8_t j = 0; j < kRegionMax; ++j)
      if (j != i && in.puwKeep[j] != 0 && s(j) > s(i)) boLargest = false;
    if (boLargest) k = i;
  }
  if (k == 255 || k > 2) return 4;
  int32_t M = 50;
  for (uint8_t j = 0; j < kRegionMax; ++j)
    if (j != k && in.puwKeep[j] != 0 && s(k) < s(j) + 4) M = 35;
  const RegionRect G = in.pstRect[k];
  const RegionRect A = in.pstRect[kOtherFirst[k]];
  const RegionRect B = in.pstRect[kOtherSecond[k]];
  const RegionRect Mr = in.stMainRect;
  const int32_t lng = std::max(Height(Mr), Width(Mr)), sht = std::min(Height(Mr), Width(Mr));
  const bool E = in.ubTouchNum == 3 && lng <= 10 && sht <= 5 && lng >= 2 * sht;
  const bool P1 = Near1(A.ubRowStart, B.ubRowStart) && Near1(A.ubRowEnd, B.ubRowEnd) &&
                  (Near1(A.ubColStart, B.ubColEnd) || Near1(A.ubColEnd, B.ubColStart)) &&
                  G.ubRowEnd < A.ubRowStart && G.ubRowEnd < B.ubRowStart;
  const bool P2 = Near1(A.ubColStart, B.ubColStart) && Near1(A.ubColEnd, B.ubColEnd) &&
                  (Near1(A.ubRowStart, B.ubRowEnd) || Near1(A.ubRowEnd, B.ubRowStart)) &&
                  G.ubColEnd < A.ubColStart && G.ubColEnd < B.ubColStart;
  const RegionRect U{std::min(A.ubRowStart, B.ubRowStart), std::max(A.ubRowEnd, B.ubRowEnd),
                     std::min(A.ubColStart, B.ubColStart), std::max(A.ubColEnd, B.ubColEnd)};
  const bool C = (P1 || P2) && GetRectAdjacentLength(U, G) >= 2;
  bool D = false;
  if (gubFloatAreaCnt == 2) {
    const FloatRegionRecord* r[2] = {nullptr, nullptr};
    uint8_t n = 0;
    for (const FloatRegionRecord& rec : gastFloatRegionRecord) {
      if (RegionRectWord(rec.stRect) != 0 && n < 2) r[n++] = &rec;
    }
    if (n < 2) {
      D = true;
    } else {
      const RegionRect a = r[0]->stRect, b = r[1]->stRect;
      if (Height(Mr) >= Width(Mr)) {
        D = std::min(std::abs(a.ubRowStart - b.ubRowEnd), std::abs(a.ubRowEnd - b.ubRowStart)) > 2;
      } else {
        D = std::min(std::abs(a.ubColStart - b.ubColEnd), std::abs(a.ubColEnd - b.ubColStart)) > 2;
      }
    }
  }
  if ((C || D) && !E) return 0;
  int32_t i1 = 0, i2 = 0, i3 = 0, v1 = 0, v2 = 0;
  int32_t q1 = 200, q2 = 200, q3 = 200, y1 = 200, y2 = 200;
  uint8_t peaks = 0;
  bool boV1 = false;
  for (int32_t i = 0; i <= 38; ++i) {
    if (marks[i] == 1) {
      if (peaks == 0) {
        i1 = i;
        q1 = prof[i];
      } else if (peaks == 1) {
        i2 = i;
        q2 = prof[i];
      } else {
        i3 = i;
        q3 = prof[i];
      }
      if (peaks < 2) ++peaks;
      else peaks = 2;
    } else if (marks[i] == 2) {
      if (!boV1) {
        v1 = i;
        y1 = prof[i];
        boV1 = true;
      } else {
        v2 = i;
        y2 = prof[i];
      }
    }
  }
  if (!(i1 < v1 && v1 < i2 && i2 < v2 && v2 < i3)) return 0;
  const bool S1 = y1 >= 1 && (y1 + M > q1 || y1 + M > q2);
  const bool S2 = y2 >= 1 && (y2 + M > q2 || y2 + M > q3);
  if ((!S1 && !S2) || E) return 4;
  if (Touches(A, G) || Touches(B, G)) return 4;
  const bool boApart = B.ubRowEnd + 1 < A.ubRowStart || A.ubRowEnd + 1 < B.ubRowStart ||
                       B.ubColEnd + 1 < A.ubColStart || A.ubColEnd + 1 < B.ubColStart;
  return boApart ? 4 : 0;
}

}  // namespace

uint8_t JudgeProfileShallowValley(const uint16_t* puwP) {
  if (puwP == nullptr) return 1;
  int32_t f = 255, l = 255;
  for (int32_t i = 0; i < kProfileLen; ++i) {
    if (puwP[i] == 0) continue;
    if (f == 255) f = i;
    l = i;
  }
  if (f == 255 || l == 255 || f + 1 >= l) return 1;
  int32_t M = 0;
  for (int32_t i = f; i <= l; ++i) M = std::max<int32_t>(M, puwP[i]);
  int32_t v = 65535;
  for (int32_t i = f + 1; i <= l - 1; ++i) {
    const int32_t c = puwP[i], left = puwP[i - 1], right = puwP[i + 1];
    if (c + 400 < left && c + 400 < right) return 0;
    if ((c < left && c <= right) || (c <= left && c < right)) v = std::min(v, c);
  }
  if (v == 65535) return 1;
  if (v + 600 < M || M - v > 200 * (l - f + 1)) return 0;
  return 1;
}

uint8_t JudgeFloatBoxShape(const FloatJudgeInput* pstIn, uint32_t uiBox, uint8_t ubRecord) {
  if (pstIn == nullptr || pstIn->pswDiff == nullptr || pstIn->pstRect == nullptr || pstIn->puwKeep == nullptr) return 0;
  const FloatJudgeInput& in = *pstIn;
  RegionRect box = RegionRectFromWord(uiBox);
  const uint8_t H = static_cast<uint8_t>(box.ubRowEnd - box.ubRowStart + 1);
  const uint8_t W = static_cast<uint8_t>(box.ubColEnd - box.ubColStart + 1);
  if (H > 15 || W > 15) return 0;
  const bool boMain = ubRecord == 255;
  if (boMain && std::max(H, W) <= 10) {
    if (box.ubRowStart > 0) --box.ubRowStart;
    if (box.ubRowEnd + 1 < in.ubRows) ++box.ubRowEnd;
    if (box.ubColStart > 0) --box.ubColStart;
    if (box.ubColEnd + 1 < in.ubCols) ++box.ubColEnd;
  }
  FloatRegionRecord* R = (!boMain && ubRecord < kFloatRecordMax) ? &gastFloatRegionRecord[ubRecord] : nullptr;
  if (R != nullptr) {
    const int32_t kmax = FloatRecordKeepMax(*R), kmin = FloatRecordKeepMin(*R);
    if (kmax - kmin >= 201 && kmin < in.uwNodeThr && R->ubCoverNum != 0) return 0;
  }
  if (!RectValidOn(box, in.ubRows, in.ubCols)) return 0;
  const int16_t angle = CalcRegionOrientation(in.pswDiff, box, in.ubCols);
  if (R != nullptr) R->uwAngle = static_cast<uint16_t>(angle);
  int16_t prof[kProfileLen] = {};
  uint16_t sums[kProfileLen] = {};
  uint8_t marks[kProfileLen] = {};
  uint8_t ubCount = 0;
  const FloatJudgeThr& t = gstFloatJudgeThr;
  if (CalcRotatedRectProfile(in.pswDiff, in.ubCols, in.ubRows, RegionRectWord(box), angle, t.aubShape[1], &ubCount,
                             prof, sums) == kProfileNone)
    return 0;
  uint8_t ubValley = 255, ubMax = 255;
  const int16_t depth = CalcProfileValleyDepth(prof, sums, marks, t.aubShape[0], &ubValley, &ubMax);
  if (boMain && depth >= 400) return ThreeRegionShape(in, marks, prof);
  if (ubMax >= kProfileLen || ubValley >= kProfileLen) {
    if (in.ubCount != 2 || std::abs(static_cast<int32_t>(in.puwKeep[0]) - in.puwKeep[1]) < 301) return 3;
    const RegionRect a = in.pstRect[0], b = in.pstRect[1];
    const bool boStrict = a.ubColStart < b.ubColEnd && b.ubColStart < a.ubColEnd && a.ubRowStart < b.ubRowEnd &&
                          b.ubRowStart < a.ubRowEnd;
    return boStrict ? 3 : 0;
  }
  if (prof[ubValley] < -50) return 0;
  const int32_t T23 = t.aubShape[2], T24 = t.aubShape[3];
  const int32_t ratio = sums[ubMax] > sums[ubValley] ? (sums[ubMax] - sums[ubValley]) * 100 / sums[ubMax] : 0;
  if (depth < T23 || (ratio < T23 && depth < T24)) return 3;
  if (depth < T24) return 2;
  if (ratio >= T24 || depth >= 50) return JudgeProfileShallowValley(sums);
  return 2;
}

uint8_t JudgeFloatSaddle(const FloatJudgeInput& in, RegionRect R, uint8_t k) {
  constexpr uint8_t kRing = 255;
  constexpr uint8_t kRowGate = 254;
  const RegionGrid g{in.pswDiff, in.ubRows, in.ubCols};
  const int32_t L = in.uwRefLevel;
  const int32_t a = k < kFloatRecordMax ? gastFloatRegionRecord[k].uwAngle : 0;
  uint32_t sw = 0, sr = 0, sc = 0;
  int32_t ul = 0, ur = 0, ll = 0, lr = 0;
  const int32_t rs = R.ubRowStart + R.ubRowEnd, cs = R.ubColStart + R.ubColEnd;
  for (int32_t r = R.ubRowStart; r <= R.ubRowEnd; ++r) {
    for (int32_t c = R.ubColStart; c <= R.ubColEnd; ++c) {
      const int32_t v = g.At(r, c);
      if (v < 15) continue;
      sw += static_cast<uint32_t>(v);
      sr += static_cast<uint32_t>(v * r);
      sc += static_cast<uint32_t>(v * c);
      if (2 * r == rs || 2 * c == cs) continue;
      if (2 * r < rs) (2 * c < cs ? ul : ur) += v;
      else (2 * c < cs ? ll : lr) += v;
    }
  }
  const int32_t T = ul + ur + ll + lr;
  sr = std::min<uint32_t>(sr, (1u << 28) - 1);
  sc = std::min<uint32_t>(sc, (1u << 28) - 1);
  const int32_t cr = sw != 0 ? static_cast<int32_t>(sr * 16 / sw) : 0;
  const int32_t cc = sw != 0 ? static_cast<int32_t>(sc * 16 / sw) : 0;
  const bool boMain = std::abs(a - 45) <= 10 || (3 * T < 4 * (ul + lr) && std::min(ul, lr) > std::max(ur, ll));
  if (!boMain && std::abs(a - 135) > 10 && (std::min(ur, ll) <= std::max(ul, lr) || 3 * T >= 4 * (ur + ll)))
    return kRing;
  // Clockwise from the upper-left neighbour.
  static constexpr int8_t kDr[8] = {-1, -1, -1, 0, 1, 1, 1, 0};
  static constexpr int8_t kDc[8] = {-1, 0, 1, 1, 1, 0, -1, -1};
  uint16_t uwSum = 0;
  uint32_t n = 0;
  bool boInner = false;
  for (int32_t r = R.ubRowStart + 1; r < R.ubRowEnd; ++r) {
    for (int32_t c = R.ubColStart + 1; c < R.ubColEnd; ++c) {
      boInner = true;
      const int32_t v = g.At(r, c);
      if (v > L) continue;
      const int32_t d1 = boMain ? g.At(r - 1, c - 1) : g.At(r - 1, c + 1);
      const int32_t d2 = boMain ? g.At(r + 1, c + 1) : g.At(r + 1, c - 1);
      const int32_t m = std::min(d1, d2), s = d1 + d2;
      bool boCount = m > 49 && v < L && m - v >= 50 && v + 100 <= s / 2;
      if (!boCount && v >= 16 && v < in.uwNodeThr) {
        int8_t mark[8];
        int32_t first = -1;
        for (int i = 0; i < 8; ++i) {
          const int32_t u = g.At(r + kDr[i], c + kDc[i]);
          mark[i] = u >= v + 25 ? 1 : u <= v - 25 ? -1 : 0;
          if (first < 0 && mark[i] == -1) first = i;
        }
        if (first >= 0) {
          static constexpr int8_t kWant[3] = {1, -1, 1};
          int step = 0;
          for (int j = 1; j < 8 && step < 3; ++j)
            if (mark[(first + j) % 8] == kWant[step]) ++step;
          boCount = step == 3;
        }
      }
      if (!boCount) continue;
      const int32_t dr = 16 * r - cr, dc = 16 * c - cc;
      uwSum = static_cast<uint16_t>(uwSum + CalcIntegerSqrt(static_cast<uint32_t>(dr * dr + dc * dc)));
      ++n;
    }
  }
  if (!boInner || n == 0) return kRing;
  return uwSum / n > 24 ? kRing : kRowGate;
}
