// Profiles of the diff map: the rotated-rectangle profile that the two-peak judgement
// reads across a touch area, and the peak and valley analysis of such a profile.
#include <algorithm>
#include <cstring>

#include "region_lib.h"
#include "region_proc.h"

void MarkProfilePeakValley(const int16_t* pswP, uint8_t* pubMarks, int16_t swThr, uint8_t* pubMinIdx,
                           uint8_t* pubMaxIdx, uint8_t* pubPeakNum, uint8_t* pubValleyNum) {
  if (pswP == nullptr || pubMarks == nullptr || pubMinIdx == nullptr || pubMaxIdx == nullptr ||
      pubPeakNum == nullptr || pubValleyNum == nullptr)
    return;
  const int32_t thr = swThr;
  int32_t siMax = 0;
  if (pswP[0] >= 1) {
    siMax = pswP[0];
    *pubMaxIdx = 0;
  }
  for (uint8_t i = 0; i + 2 < kProfileLen; ++i) {
    if (pswP[i + 1] > siMax) {
      siMax = pswP[i + 1];
      *pubMaxIdx = static_cast<uint8_t>(i + 1);
    }
  }
  bool boRising = pswP[1] - pswP[0] > thr && pswP[1] > thr;
  if (*pubPeakNum == 0 && pswP[1] + 20 < pswP[0]) {
    pubMarks[0] = 1;
    ++*pubPeakNum;
    boRising = false;
  }
  for (uint8_t i = 0; i + 2 < kProfileLen; ++i) {
    const int32_t d = pswP[i + 2] - pswP[i + 1];
    if (d > thr && pswP[i + 2] > thr) {
      boRising = true;
    } else if (d < -thr && boRising) {
      pubMarks[i + 1] = 1;
      ++*pubPeakNum;
      boRising = false;
    }
  }
  int32_t siMin = 100;
  bool boFalling = false;
  for (uint8_t i = 0; i + 1 < kProfileLen; ++i) {
    if (pswP[i] < siMin) {
      siMin = pswP[i];
      *pubMinIdx = i;
    }
    const int32_t d = pswP[i + 1] - pswP[i];
    if (d < -(thr + 5)) {
      boFalling = true;
    } else if (d > thr + 5 && boFalling) {
      pubMarks[i] = 2;
      ++*pubValleyNum;
      boFalling = false;
    }
  }
}

void CalcPeakValleyDepth(const int16_t* pswP, const uint16_t* puwW, const uint8_t* pubMarks, int16_t* pswDepth,
                         uint8_t* pubValleyIdx) {
  if (pswP == nullptr || puwW == nullptr || pubMarks == nullptr || pswDepth == nullptr || pubValleyIdx == nullptr) return;
  int32_t siDepth = *pswDepth;
  int32_t siRunMin = 32767;
  // Consecutive peaks only: the last peak has no partner to its right.
  for (uint8_t i = 0; i + 1 < kProfileLen; ++i) {
    if (pubMarks[i] != 1) continue;
    uint8_t j = static_cast<uint8_t>(i + 1);
    while (j < kProfileLen && pubMarks[j] != 1) ++j;
    if (j >= kProfileLen) break;
    if (pswP[i] <= 39 && pswP[j] <= 39 && puwW[i] < 200 && puwW[j] < 200) continue;
    for (uint8_t k = static_cast<uint8_t>(i + 1); k < j; ++k) {
      if (pswP[k] >= siRunMin) continue;
      if (8u * puwW[k] > 7u * puwW[i] || 8u * puwW[k] > 7u * puwW[j]) continue;
      siDepth = std::max<int32_t>(siDepth, std::max(pswP[i] - pswP[k], pswP[j] - pswP[k]));
      *pubValleyIdx = k;
      siRunMin = pswP[k];
    }
  }
  *pswDepth = static_cast<int16_t>(siDepth);
}

int16_t CalcProfileValleyDepth(const int16_t* pswP, const uint16_t* puwW, uint8_t* pubMarks, int16_t swThr,
                               uint8_t* pubValleyIdx, uint8_t* pubMaxIdx) {
  if (pswP == nullptr || puwW == nullptr || pubMarks == nullptr || pubValleyIdx == nullptr || pubMaxIdx == nullptr)
    return 0;
  uint8_t ubMin = 255;
  uint8_t ubPeaks = 0;
  uint8_t ubValleys = 0;
  MarkProfilePeakValley(pswP, pubMarks, swThr, &ubMin, pubMaxIdx, &ubPeaks, &ubValleys);
  if (ubPeaks == 1 && ubValleys == 1) {
    *pubValleyIdx = ubMin;
    // Without a positive maximum or a value below 100 there is no rise to measure.
    if (ubMin >= kProfileLen || *pubMaxIdx >= kProfileLen) return 0;
    return static_cast<int16_t>(pswP[*pubMaxIdx] - pswP[ubMin]);
  }
  if (ubPeaks < 2) return 0;
  int16_t swDepth = 0;
  CalcPeakValleyDepth(pswP, puwW, pubMarks, &swDepth, pubValleyIdx);
  int32_t siDepth = swDepth;
  if (ubPeaks == 3 && ubValleys == 2) {
    uint32_t uiValleyMax = 0;
    uint32_t uiPeakMin = UINT32_MAX;
    for (uint8_t i = 0; i < kProfileLen; ++i) {
      if (pubMarks[i] == 2) uiValleyMax = std::max<uint32_t>(uiValleyMax, puwW[i]);
      if (pubMarks[i] == 1) uiPeakMin = std::min<uint32_t>(uiPeakMin, puwW[i]);
    }
    if (uiValleyMax < uiPeakMin) siDepth += 400;
  }
  return static_cast<int16_t>(siDepth);
}

uint16_t CalcRotatedRectProfile(const int16_t* pswMap, uint8_t ubCols, uint8_t ubRows, uint32_t uiRect,
                                int16_t swAngle, int16_t swThr, uint8_t* pubMaxCount, int16_t* pswProfile,
                                uint16_t* puwSums) {
  if (pubMaxCount != nullptr) *pubMaxCount = 0;
  const RegionRect r = RegionRectFromWord(uiRect);
  if (pswMap == nullptr || pswProfile == nullptr || puwSums == nullptr || !RectValidOn(r, ubRows, ubCols))
    return kProfileNone;
  const uint8_t W = static_cast<uint8_t>(2 * (r.ubColEnd - r.ubColStart + 1));
  const uint8_t H = static_cast<uint8_t>(2 * (r.ubRowEnd - r.ubRowStart + 1));
  if (W == 0 || H == 0 || W > kProfileLen) return kProfileNone;
  const int32_t a = std::clamp<int32_t>(swAngle, 0, 179);
  const int32_t s = RegionSinTable[a];
  const int32_t c = RegionCosTable[a];
  int32_t siLineCol = (r.ubColStart + r.ubColEnd) * 1024 + s * H - c * W;
  int32_t siLineRow = (r.ubRowStart + r.ubRowEnd) * 1024 - s * W - c * H;
  const int32_t e = r.ubColEnd + 1 < ubCols ? 1 : 0;
  const int32_t f = r.ubRowEnd + 1 < ubRows ? 1 : 0;
  const RegionGrid g{const_cast<int16_t*>(pswMap), ubRows, ubCols};
  uint8_t aubCount[kProfileLen] = {};
  int32_t jmin = W;
  int32_t jmax = 0;
  for (int32_t line = 0; line < H; ++line) {
    int32_t col = siLineCol;
    int32_t row = siLineRow;
    for (int32_t j = 0; j < W; ++j, col += 2 * c, row += 2 * s) {
      const int32_t cx = col >> 11;
      const int32_t ry = row >> 11;
      const int32_t fx = col & 2047;
      const int32_t fy = row & 2047;
      if (cx < r.ubColStart || cx >= r.ubColEnd + e || ry < r.ubRowStart || ry >= r.ubRowEnd + f) continue;
      if ((cx == r.ubColEnd && fx > 512) || (ry == r.ubRowEnd && fy > 512)) continue;
      // The window above keeps cx + 1 and ry + 1 on the grid; the reads go through the
      // grid accessor all the same.
      const int16_t top = static_cast<int16_t>(((2048 - fx) * g.At(ry, cx) + fx * g.At(ry, cx + 1)) >> 11);
      const int16_t bottom = static_cast<int16_t>(((2048 - fx) * g.At(ry + 1, cx) + fx * g.At(ry + 1, cx + 1)) >> 11);
      const int16_t v = static_cast<int16_t>((top * (2048 - fy) + bottom * fy) >> 11);
      pswProfile[j] = static_cast<int16_t>(pswProfile[j] + v);
      if (v > swThr) {
        ++aubCount[j];
        puwSums[j] = static_cast<uint16_t>(puwSums[j] + v);
        jmin = std::min(jmin, j);
        jmax = std::max(jmax, j);
      }
    }
    siLineCol -= 2 * s;
    siLineRow += 2 * c;
  }
  const uint8_t ubMaxCount = *std::max_element(aubCount, aubCount + kProfileLen);
  if (pubMaxCount != nullptr) *pubMaxCount = ubMaxCount;
  if (ubMaxCount == 0) return kProfileNone;
  int32_t m = 0;
  for (uint8_t j = 0; j < W; ++j) m = std::max<int32_t>(m, pswProfile[j]);
  if (m == 0) return kProfileNone;
  for (uint8_t j = 0; j < W; ++j) pswProfile[j] = static_cast<int16_t>(pswProfile[j] * 100 / m);
  return static_cast<uint16_t>(((jmax - jmin + 1) & 255) * 10 / ubMaxCount);
}
