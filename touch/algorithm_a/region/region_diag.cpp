// Diagonal finger-pair test: whether a region four columns wide holds two touches lying
// along one of its diagonals, judged from the nodes around two opposite corners.
#include "region_proc.h"

uint16_t RegionTwoPeakStrongCount;

bool JudgeDiagonalPair(uint8_t ubCols, uint8_t ubRows, const int16_t* pswDiff, uint16_t uwPeak, RegionRect stRect,
                       uint16_t uwAngle, bool f1, bool f2, bool f3, uint8_t f4, bool* pboCornerBlock) {
  const int32_t c0 = stRect.ubColStart;
  const int32_t c1 = stRect.ubColEnd;
  const int32_t r0 = stRect.ubRowStart;
  const int32_t r1 = stRect.ubRowEnd;
  if (c1 - c0 + 1 != 4 || uwAngle > 180) return false;
  const int32_t h = r1 - r0 + 1;
  const int32_t siLevel = uwPeak < 401 ? 150 : 200;
  const bool X = f1 && f4 != 0;
  const bool Y = f2 && f3;
  // The test is written for the top-left / bottom-right pair; from 91 degrees on the
  // columns are mirrored. 'L' counts from the near corner's column inward, 'R' from the far
  // one. Nodes beyond the grid (a rectangle on the edge) read as empty.
  const bool boMirror = uwAngle > 90;
  const RegionGrid g{const_cast<int16_t*>(pswDiff), ubRows, ubCols};
  auto L = [&](int32_t r, int32_t k) { return static_cast<int32_t>(g.At(r, boMirror ? c1 - k : c0 + k)); };
  auto R = [&](int32_t r, int32_t k) { return static_cast<int32_t>(g.At(r, boMirror ? c0 - k : c1 + k)); };

  int32_t k = 0;
  if (X || Y) {
    const int32_t corner[12] = {L(r0 - 1, 0), L(r0 - 1, 1), L(r0 - 1, 2), L(r0, -1),     L(r0 + 1, -1), L(r0 + 2, -1),
                                R(r1 + 1, 0), R(r1 + 1, -1), R(r1 + 1, -2), R(r1, 1), R(r1 - 1, 1),  R(r1 - 2, 1)};
    for (int32_t v : corner) k += v > 35 ? 1 : 0;
  }
  bool a = false;
  if (h == 5 && X) {
    a = true;
    if (R(r1 - 3, -1) < 141 && (L(r0 + 2, 0) < 141 || L(r0 + 2, 1) < 141)) {
      a = L(r0 + 2, 1) >= 201 && R(r1 - 1, -2) < 40;
    }
  }
  const bool b = h == 5 && Y && L(r0 + 2, 2) > 140;
  bool c = false;
  if (f1 && f3 && !f2) {
    if (RegionTwoPeakStrongCount >= 10) {
      c = true;
    } else if (h == 4) {
      c = L(r0 + 1, 2) > siLevel && L(r0 + 2, 1) > siLevel;
    }
  }
  if (pboCornerBlock != nullptr) {
    *pboCornerBlock = (X && L(r0, 0) > 100 && L(r0, 1) > 100 && L(r0 + 1, 0) > 100 && L(r0 + 1, 1) > 100) ||
                      (Y && R(r1, 0) > 100 && R(r1, -1) > 100 && R(r1 - 1, 0) > 100 && R(r1 - 1, -1) > 100);
  }
  if (a || b || c) return true;
  if (f1 && f3 && h == 3) k = 0;
  return k >= 2;
}
