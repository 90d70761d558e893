// Map measures and map routines: the consistency measures of a map, k.x+b normalisation,
// finger-move test and node counting and clearing.
#include <cstring>

#include "mathlib_impl.h"

namespace {

// Largest magnitude of the signed extremes M and m, 16-bit.
uint16_t MaxMagnitude(int32_t siMax, int32_t siMin) {
  const int32_t a = siMax < 0 ? -siMax : siMax;
  const int32_t b = siMin < 0 ? -siMin : siMin;
  return static_cast<uint16_t>(a > b ? a : b);
}

// Tracks the overall signed extremes across the per-row subtractions, each of which leaves
// its row's statistics in the record.
struct Extremes {
  int32_t siMax = -32768;
  int32_t siMin = 32767;

  void RowDiff(const int16_t* pswA, const int16_t* pswB, int16_t* pswOut, uint16_t uwLen) {
    if (LibVpuQsubS16(pswA, pswB, pswOut, uwLen) != 0) return;
    const int32_t siRowMax = static_cast<int16_t>(gstVpuStatistic.uwMaxData);
    const int32_t siRowMin = static_cast<int16_t>(gstVpuStatistic.uwMinData);
    if (siRowMax > siMax) siMax = siRowMax;
    if (siRowMin < siMin) siMin = siRowMin;
  }
};

// map[k] := |diff[k]| over the first n nodes; returns their sum.
uint32_t AbsIntoMap(uint16_t* puwMap, const int16_t* pswDiff, uint32_t n) {
  uint32_t uiSum = 0;
  for (uint32_t k = 0; k < n; ++k) {
    puwMap[k] = LibAbsS16(pswDiff[k]);
    uiSum += puwMap[k];
  }
  return uiSum;
}

uint32_t NoDifference(uint16_t* puwMaxAbs) {
  *puwMaxAbs = 32767;
  return 0;
}

}  // namespace

uint32_t LibCalcConsistencyDrv(uint16_t* puwMap, uint16_t* puwDiff, uint16_t* puwMaxAbs, uint8_t ubRows, uint8_t ubCols,
                               uint8_t ubStep) {
  if (ubRows == 0 || ubStep >= ubCols) return NoDifference(puwMaxAbs);
  const uint32_t w = ubCols - ubStep;
  const int16_t* pswMap = reinterpret_cast<const int16_t*>(puwMap);
  int16_t* pswDiff = reinterpret_cast<int16_t*>(puwDiff);
  Extremes ext;
  for (uint32_t r = 0; r < ubRows; ++r) {
    const int16_t* pswRow = pswMap + r * ubCols;
    ext.RowDiff(pswRow, pswRow + ubStep, pswDiff + r * w, static_cast<uint16_t>(w));
  }
  *puwMaxAbs = MaxMagnitude(ext.siMax, ext.siMin);
  return AbsIntoMap(puwMap, pswDiff, ubRows * w);
}

uint32_t LibCalcConsistencyAll(uint16_t* puwMap, uint16_t* puwDiff, uint16_t* puwMaxAbs, uint8_t ubRows, uint8_t ubCols,
                               uint8_t ubStep) {
  if (ubStep >= ubRows || ubStep >= ubCols) return NoDifference(puwMaxAbs);
  const uint32_t h = ubRows - ubStep;
  const uint32_t w = ubCols - ubStep;
  const int16_t* pswMap = reinterpret_cast<const int16_t*>(puwMap);
  int16_t* pswDiff = reinterpret_cast<int16_t*>(puwDiff);
  // Row r minus row r + step over the whole width.
  LibVpuQsubS16(pswMap, pswMap + ubStep * ubCols, pswDiff, static_cast<uint16_t>(h * ubCols));
  // Then along each of those rows, packed in place: every write lands at or below the
  // positions still to be read.
  Extremes ext;
  for (uint32_t r = 0; r < h; ++r) {
    const int16_t* pswRow = pswDiff + r * ubCols;
    ext.RowDiff(pswRow, pswRow + ubStep, pswDiff + r * w, static_cast<uint16_t>(w));
  }
  *puwMaxAbs = MaxMagnitude(ext.siMax, ext.siMin);
  return AbsIntoMap(puwMap, pswDiff, h * w);
}

uint16_t* LibNormalizeKaddB(uint16_t* puwX, uint32_t* puiScratch, const uint16_t* puwK, uint8_t ubShift,
                            const uint16_t* puwB, uint8_t ubAddB, uint16_t uwLen) {
  if (uwLen == 0) return puwX;
  uint32_t uiSum = 0;
  for (uint32_t i = 0; i < uwLen; ++i) {
    puiScratch[i] = static_cast<uint32_t>(puwX[i]) * puwK[i];
    const uint32_t uiScaled = ubShift > 31 ? 0 : puiScratch[i] >> ubShift;
    puwX[i] = static_cast<uint16_t>(uiScaled > 65535 ? 65535 : uiScaled);
    if (ubAddB == 1) {
      puwX[i] = static_cast<uint16_t>(puwX[i] + puwB[i]);
      uiSum += puwX[i];
    }
  }
  if (ubAddB == 1) gstVpuStatistic.ulAcc = uiSum;
  return puwX;
}

bool LibIsFingerMove(const uint16_t* puwMap, int16_t* pswScratch, uint16_t uwThreshold, uint8_t ubCols, uint8_t ubRows,
                     uint8_t ubStep) {
  const int16_t* pswMap = reinterpret_cast<const int16_t*>(puwMap);
  Extremes ext;
  if (ubStep < ubCols) {
    const uint16_t uwLen = static_cast<uint16_t>(ubCols - ubStep);
    for (uint32_t r = 0; r < ubRows; ++r) ext.RowDiff(pswMap + r * ubCols, pswMap + r * ubCols + ubStep, pswScratch, uwLen);
  }
  const int32_t siMinMag = ext.siMin < 0 ? -ext.siMin : ext.siMin;
  const int32_t siLarger = ext.siMax > siMinMag ? ext.siMax : siMinMag;
  return static_cast<uint16_t>(siLarger) > uwThreshold;
}

void LibClearPartNoise(uint16_t uwLen, int16_t* pswData, int16_t swA, int16_t swB) {
  for (uint32_t i = 0; i < uwLen; ++i) {
    pswData[i] = swB == 0 ? int16_t{0} : static_cast<int16_t>((int32_t{swA} - 1) * pswData[i] / swB);
  }
}

uint16_t LibGetTouchNode(uint8_t ubTop, uint8_t ubBottom, uint8_t ubLeft, uint8_t ubRight, const int16_t* pswMap,
                         int16_t swThreshold, uint8_t ubCols) {
  if (ubTop > ubBottom || ubLeft > ubRight) return 0;
  uint32_t uiCount = 0;
  for (uint32_t r = ubTop; r <= ubBottom; ++r) {
    for (uint32_t c = ubLeft; c <= ubRight; ++c) uiCount += pswMap[r * ubCols + c] > swThreshold;
  }
  return static_cast<uint16_t>(uiCount);
}

void LibEdgeClear(uint8_t ubClearRows, uint8_t ubClearCols, uint8_t ubRows, uint8_t ubCols, int16_t* pswMap) {
  // Bands wider than the map clear the whole map and no more.
  const uint32_t uiBandRows = ubClearRows < ubRows ? ubClearRows : ubRows;
  const uint32_t uiBandCols = ubClearCols < ubCols ? ubClearCols : ubCols;
  for (uint32_t r = 0; r < uiBandRows; ++r) {
    memset(pswMap + r * ubCols, 0, ubCols * sizeof(int16_t));
    memset(pswMap + (ubRows - 1 - r) * ubCols, 0, ubCols * sizeof(int16_t));
  }
  for (uint32_t r = 0; r < ubRows; ++r) {
    for (uint32_t c = 0; c < uiBandCols; ++c) {
      pswMap[r * ubCols + c] = 0;
      pswMap[r * ubCols + ubCols - 1 - c] = 0;
    }
  }
}

uint32_t LibGetAbsSumS16(const int16_t* pswIn, uint16_t* puwOut, uint16_t uwLen) {
  uint32_t uiSum = 0;
  for (uint32_t i = 0; i < uwLen; ++i) {
    puwOut[i] = LibAbsS16(pswIn[i]);
    uiSum += puwOut[i];
  }
  return uiSum;
}
