// Two-region split: one region holding two fingers side by side becomes two regions on
// either side of its weighted centre along the judged orientation.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

#include "coord_records.h"
#include "region_proc.h"

namespace {

// 1024 x sin and cos of whole degrees cut toward zero. The only whole-degree values that
// land on an integer are 0, 1/2 and 1, which a double computes a hair short of the integer
// (sin 30 = 511.99...); a nudge far below the table's step keeps those exact. The sine of
// the right angle is held at 1023, as the tables have always had it.
int16_t CutScaled(double v) {
  const double scaled = 1024.0 * v;
  return static_cast<int16_t>(std::trunc(scaled + (scaled >= 0.0 ? 1e-9 : -1e-9)));
}

struct TrigTables {
  std::array<int16_t, 180> cos{};
  std::array<int16_t, 180> sin{};
  TrigTables() {
    for (int d = 0; d < 180; ++d) {
      const double rad = d * std::numbers::pi / 180.0;
      cos[d] = CutScaled(std::cos(rad));
      sin[d] = CutScaled(std::sin(rad));
    }
    sin[90] = 1023;
  }
};
const TrigTables gTrig;

}  // namespace

const int16_t* const RegionCosTable = gTrig.cos.data();
const int16_t* const RegionSinTable = gTrig.sin.data();
int16_t RegionTwoPeakAngle;
int16_t RegionTwoPeakLastAngle = 400;
uint8_t RegionTwoPeakSpan;

void CalcShiftedRect(uint8_t ubCols, uint8_t ubRows, const int16_t* pswDiff, int16_t swX, uint16_t uwY, int32_t siDx,
                     int32_t siDy, RegionRect* pstOut) {
  if (pstOut == nullptr || ubCols == 0 || ubRows == 0) return;
  const RegionGrid g{const_cast<int16_t*>(pswDiff), ubRows, ubCols};
  const int32_t siXMax = (ubCols - 1) * 64;
  const int32_t siYMax = (ubRows - 1) * 64;
  // The start point is held to the grid as the displaced one is: a centre handed in from
  // outside never yields a rectangle beyond the map.
  const int32_t X = std::clamp<int32_t>(swX, 0, siXMax);
  const int32_t Y = std::clamp<int32_t>(uwY, 0, siYMax);
  const int32_t X2 = std::clamp<int32_t>(X + siDx, 0, siXMax);
  const int32_t Y2 = std::clamp<int32_t>(Y + siDy, 0, siYMax);
  int32_t c0 = std::min(X, X2) >> 6;
  int32_t c1 = std::max(X, X2) >> 6;
  int32_t r0 = std::min(Y, Y2) >> 6;
  int32_t r1 = std::max(Y, Y2) >> 6;
  const int32_t w = c1 - c0 + 1;
  const int32_t h = r1 - r0 + 1;
  if (w != 3 || h != 3) {
    if (w == 1 && c0 > 0 && c0 < ubCols - 1) {
      int32_t L = 0;
      int32_t R = 0;
      for (int32_t r = r0; r <= r1; ++r) {
        L += g.At(r, c0 - 1);
        R += g.At(r, c0 + 1);
      }
      if (L > R + 200) {
        --c0;
      } else if (L + 200 < R) {
        ++c1;
      }
    }
    if (h == 1 && r0 > 0 && r0 < ubRows - 1) {
      int32_t U = 0;
      int32_t D = 0;
      for (int32_t c = c0; c < c0 + w; ++c) {
        U += g.At(r0 - 1, c);
        D += g.At(r0 + 1, c);
      }
      if (U > D + 200) {
        --r0;
      } else if (U + 200 < D) {
        ++r1;
      }
    }
  } else {
    auto weak = [&](int32_t r, int32_t c) { return g.At(r, c) < 70; };
    const int32_t c0s = c0;
    const int32_t c1s = c1;
    const int32_t r1s = r1;
    if (weak(r0, c0 + 1) && weak(r0, c0 + 2) && weak(r0 + 1, c0) && weak(r0 + 2, c0)) {
      ++r0;
      c0 = c0s + 1;
    }
    if (weak(r0, c1 - 1) && weak(r0, c1 - 2) && weak(r0 + 1, c1) && weak(r0 + 2, c1)) {
      ++r0;
      c1 = c1s - 1;
    }
    if (weak(r1, c0 + 1) && weak(r1, c0 + 2) && weak(r1 - 1, c0) && weak(r1 - 2, c0)) {
      ++c0;
      r1 = r1s - 1;
    }
    if (weak(r1, c1 - 1) && weak(r1, c1 - 2) && weak(r1 - 1, c1) && weak(r1 - 2, c1)) {
      --r1;
      --c1;
    }
  }
  *pstOut = RegionRect{static_cast<uint8_t>(r0), static_cast<uint8_t>(r1), static_cast<uint8_t>(c0),
                       static_cast<uint8_t>(c1)};
}

namespace {

// Labels the nodes of A at 51 or more with LABEL and stores the part as region LABEL.
void TakePart(RegionAcquireInput& in, const RegionGrid& g, uint8_t* pubLabel, RegionRect a, uint8_t ubLabel) {
  int16_t swPeak = 0;
  uint16_t uwPos = 0;
  for (int32_t r = a.ubRowStart; r <= a.ubRowEnd; ++r) {
    for (int32_t c = a.ubColStart; c <= a.ubColEnd; ++c) {
      if (!g.In(r, c)) continue;
      const int16_t v = g.At(r, c);
      if (v < 51) continue;
      pubLabel[r * g.ubCols + c] = ubLabel;
      if (v > swPeak) {
        swPeak = v;
        uwPos = static_cast<uint16_t>(c | (r << 8));
      }
    }
  }
  in.pstRect[ubLabel] = a;
  in.puwPeak[ubLabel] = static_cast<uint16_t>(swPeak);
  if (swPeak != 0) in.puwPeakPos[ubLabel] = uwPos;
}

}  // namespace

void RegionSplitByAngle(uint8_t* pubCount, RegionAcquireInput& in, uint8_t* pubLabel, RegionRect stR) {
  const RegionGrid g{in.pswDiff, in.ubRowNum, in.ubColNum};
  if (g.Nodes() == 0 || in.pstRect == nullptr || in.puwPeak == nullptr || in.puwPeakPos == nullptr ||
      pubLabel == nullptr) {
    return;
  }
  stR = RegionRectClip(stR, in.ubRowNum, in.ubColNum);
  // Weights are signed (a node below 15 pulls the centre away from it); the sums are kept
  // wide and divided as signed values, so a region with weak nodes does not send its centre
  // off the grid.
  int64_t W = 0;
  int64_t Sx = 0;
  int64_t Sy = 0;
  const bool boEmpty = stR.ubRowStart > stR.ubRowEnd || stR.ubColStart > stR.ubColEnd;
  if (!boEmpty) {
    for (int32_t r = stR.ubRowStart; r <= stR.ubRowEnd; ++r) {
      for (int32_t c = stR.ubColStart; c <= stR.ubColEnd; ++c) {
        const int32_t w = static_cast<int16_t>(g.At(r, c) - 15);
        W += w;
        Sx += static_cast<int64_t>(w) * c;
        Sy += static_cast<int64_t>(w) * r;
      }
    }
  }
  gstFingerUpFilter.auwWeight[0] = W <= 0 ? 1 : (W > 65534 ? 65535 : static_cast<uint16_t>(W + 1));
  int32_t X;
  int32_t Y;
  if (W > 0) {
    X = static_cast<int32_t>(((Sx * 512) / W + 256) >> 3);
    Y = static_cast<int32_t>(((Sy * 512) / W + 256) >> 3);
    // The centre of R's own weights lies within R.
    X = std::clamp<int32_t>(X, stR.ubColStart * 64, stR.ubColEnd * 64 + 63);
    Y = std::clamp<int32_t>(Y, stR.ubRowStart * 64, stR.ubRowEnd * 64 + 63);
  } else {
    // No net weight: the middle of R stands for its centre.
    X = boEmpty ? 32 : (stR.ubColStart + stR.ubColEnd) * 32 + 32;
    Y = boEmpty ? 32 : (stR.ubRowStart + stR.ubRowEnd) * 32 + 32;
  }
  const int32_t a = ((RegionTwoPeakAngle % 180) + 180) % 180;
  const int32_t dx = (RegionCosTable[a] * RegionTwoPeakSpan) >> 5;
  const int32_t dy = (RegionSinTable[a] * RegionTwoPeakSpan) >> 5;
  const int32_t sign = std::abs(RegionTwoPeakLastAngle - a) < 90 ? 1 : -1;
  RegionRect A{};
  RegionRect B{};
  CalcShiftedRect(in.ubColNum, in.ubRowNum, in.pswDiff, static_cast<int16_t>(X), static_cast<uint16_t>(Y), sign * dx,
                  sign * dy, &A);
  CalcShiftedRect(in.ubColNum, in.ubRowNum, in.pswDiff, static_cast<int16_t>(X), static_cast<uint16_t>(Y), -sign * dx,
                  -sign * dy, &B);
  memset(pubLabel, kRegionLabelNone, g.Nodes());
  TakePart(in, g, pubLabel, A, 0);
  TakePart(in, g, pubLabel, B, 1);
  if (pubCount != nullptr) *pubCount = 2;
}
