// Two-dimensional members (LibXpu2) other than the filters, the region search and the
// strided engine: sums and means over a map, per-row extremes, subtractions, threshold,
// copy, line fit, three-tap filter, and the members that only check their parameters.
#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "mathlib_impl.h"

namespace {

using mathlib::AnyNull;
using mathlib::Checked;
using mathlib::Status;

uint32_t MapNodes(uint8_t ubRows, uint16_t uwCols) { return static_cast<uint32_t>(ubRows) * uwCols; }

// Sum and mean maps: rows 1-61, columns 1-1023 (1-256 for 32-bit elements).
template <typename T>
bool SumSizeOk(uint8_t ubRows, uint16_t uwCols) {
  const uint16_t uwMaxCols = sizeof(T) == 4 ? 256 : 1023;
  return ubRows >= 1 && ubRows <= 61 && uwCols >= 1 && uwCols <= uwMaxCols;
}

template <typename T, typename Acc>
uint32_t SumMap(uint32_t uiId, const T* pIn, Acc* pAcc, uint8_t ubRows, uint16_t uwCols) {
  return Checked(uiId, {pIn, pAcc}, SumSizeOk<T>(ubRows, uwCols), [&] {
    const uint32_t n = MapNodes(ubRows, uwCols);
    for (uint32_t i = 0; i < n; ++i) pAcc[i] = static_cast<Acc>(static_cast<int64_t>(pAcc[i]) + pIn[i]);
  });
}

template <typename T>
uint32_t AvgMap(uint32_t uiId, const T* pIn, T* pOut, uint8_t ubRows, uint16_t uwCols) {
  return Checked(uiId, {pIn, pOut}, SumSizeOk<T>(ubRows, uwCols), [&] {
    const uint32_t n = MapNodes(ubRows, uwCols);
    uint32_t uiSum = 0;
    for (uint32_t i = 0; i < n; ++i) uiSum += static_cast<uint32_t>(static_cast<int64_t>(pIn[i]));
    if constexpr (std::is_signed_v<T>) {
      *pOut = static_cast<T>(static_cast<int32_t>(uiSum) / static_cast<int32_t>(n));
    } else {
      *pOut = static_cast<T>(uiSum / n);
    }
  });
}

template <typename T>
uint32_t RowMaxMin(uint32_t uiId, const T* pIn, uint16_t* puwOut, uint8_t ubRows, uint16_t uwCols) {
  const bool boOk = ubRows >= 1 && ubRows <= 63 && uwCols >= 1 && uwCols <= 1023;
  return Checked(uiId, {pIn, puwOut}, boOk, [&] {
    for (uint32_t r = 0; r < ubRows; ++r) {
      const T* pRow = pIn + r * uwCols;
      T max = pRow[0];
      T min = pRow[0];
      for (uint32_t c = 1; c < uwCols; ++c) {
        if (pRow[c] > max) max = pRow[c];
        if (pRow[c] < min) min = pRow[c];
      }
      uint16_t* pOut = puwOut + 4 * r;
      pOut[0] = static_cast<uint16_t>(max);
      pOut[1] = 0;
      pOut[2] = static_cast<uint16_t>(min);
      pOut[3] = 0;
    }
  });
}

bool NodesOk(uint32_t n) { return n >= 1 && n <= kLibWeightFilterMaxNodes; }

// out[i] = a[i] - b(i), wrapping to the element width, over 1 to 8191 nodes.
template <typename T, typename B>
uint32_t SubMap(uint32_t uiId, const T* pA, const void* pB, T* pOut, uint8_t ubRows, uint16_t uwCols, B b) {
  const uint32_t n = MapNodes(ubRows, uwCols);
  return Checked(uiId, {pA, pB, pOut}, NodesOk(n), [&] {
    for (uint32_t i = 0; i < n; ++i) pOut[i] = static_cast<T>(static_cast<int64_t>(pA[i]) - b(i));
  });
}

template <typename T>
uint32_t Relu(const T* pIn, T* pOut, uint16_t uwLen, T threshold, T floor, bool boSizeOk) {
  return Checked(kLibIdRelu, {pIn, pOut}, boSizeOk, [&] {
    for (uint32_t i = 0; i < uwLen; ++i) pOut[i] = pIn[i] > threshold ? pIn[i] : floor;
  });
}

template <typename T>
uint32_t CopyMap(uint32_t uiId, const T* pSrc, T* pDst, uint16_t uwLen) {
  return Checked(uiId, {pSrc, pDst}, true, [&] {
    if (uwLen != 0) memmove(pDst, pSrc, uwLen * sizeof(T));
  });
}

// Three taps along a vector; the ends repeat their own node for the missing neighbour.
template <typename T>
uint32_t Gaussian1d(uint32_t uiId, const T* pIn, T* pOut, const OneDimGaussianParam* pstParam) {
  const uint16_t uwLen = pstParam != nullptr ? pstParam->uwLength : 0;
  return Checked(uiId, {pIn, pOut, pstParam}, uwLen >= 2, [&] {
    using Wide = std::conditional_t<std::is_signed_v<T>, int32_t, uint32_t>;
    const Wide k0 = static_cast<T>(pstParam->auwKernel[0]);
    const Wide k1 = static_cast<T>(pstParam->auwKernel[1]);
    const Wide k2 = static_cast<T>(pstParam->auwKernel[2]);
    Wide offset = 0;
    if (pstParam->uiOffsetEnable == 1) {
      offset = pstParam->uiOffsetWidth == 1 ? static_cast<Wide>(static_cast<T>(pstParam->uwOffset))
                                            : static_cast<Wide>(static_cast<std::conditional_t<std::is_signed_v<T>, int8_t, uint8_t>>(
                                                  pstParam->uwOffset & 0xFF));
    }
    const uint32_t uiShift = pstParam->uiShift & 31;
    // The previous input is kept aside so that out may be the same array as in.
    Wide prev = pIn[0];
    for (uint32_t i = 0; i < uwLen; ++i) {
      const Wide cur = pIn[i];
      const Wide next = i + 1 < uwLen ? Wide{pIn[i + 1]} : cur;
      // Formed wide, kept to 32 bits as the accumulator holds it.
      const Wide acc = static_cast<Wide>(int64_t{k0} * prev + int64_t{k1} * cur + int64_t{k2} * next);
      pOut[i] = static_cast<T>((acc >> uiShift) + offset);
      prev = cur;
    }
  });
}

// Members whose computation is not settled: their checks and status words only.
uint32_t CheckOnly(uint32_t uiId, std::initializer_list<const void*> pointers, bool boSizeOk) {
  return Checked(uiId, pointers, boSizeOk, [] {});
}
bool LengthOk(uint16_t uwLen) { return uwLen >= 1 && uwLen <= 1023; }
bool SmallMapOk(uint8_t ubRows, uint16_t uwCols) { return ubRows >= 1 && ubRows <= 63 && uwCols >= 1 && uwCols <= 127; }

uint32_t Listc(std::initializer_list<const void*> pointers, uint16_t uwLen) {
  if (AnyNull(pointers)) return Status(kLibIdListcError, kLibStatusNullPtr);
  if (!LengthOk(uwLen)) return Status(kLibIdListcError, kLibStatusRange);
  return Status(kLibIdListcDone, kLibStatusDone);
}

}  // namespace

uint32_t LibXpu2SumU8(const uint8_t* pubIn, uint32_t* puiAcc, uint8_t ubRows, uint16_t uwCols) {
  return SumMap(kLibIdSumU8, pubIn, puiAcc, ubRows, uwCols);
}
uint32_t LibXpu2SumU16(const uint16_t* puwIn, uint32_t* puiAcc, uint8_t ubRows, uint16_t uwCols) {
  return SumMap(kLibIdSumU16, puwIn, puiAcc, ubRows, uwCols);
}
uint32_t LibXpu2SumU32(const uint32_t* puiIn, uint32_t* puiAcc, uint8_t ubRows, uint16_t uwCols) {
  return SumMap(kLibIdSumU32, puiIn, puiAcc, ubRows, uwCols);
}
uint32_t LibXpu2SumS8(const int8_t* psbIn, int32_t* psiAcc, uint8_t ubRows, uint16_t uwCols) {
  return SumMap(kLibIdSumS8, psbIn, psiAcc, ubRows, uwCols);
}
uint32_t LibXpu2SumS16(const int16_t* pswIn, int32_t* psiAcc, uint8_t ubRows, uint16_t uwCols) {
  return SumMap(kLibIdSumS16, pswIn, psiAcc, ubRows, uwCols);
}
uint32_t LibXpu2SumS32(const int32_t* psiIn, int32_t* psiAcc, uint8_t ubRows, uint16_t uwCols) {
  return SumMap(kLibIdSumS32, psiIn, psiAcc, ubRows, uwCols);
}
uint32_t LibXpu2AvgU8(const uint8_t* pubIn, uint8_t* pubOut, uint8_t ubRows, uint16_t uwCols) {
  return AvgMap(kLibIdAvgU8, pubIn, pubOut, ubRows, uwCols);
}
uint32_t LibXpu2AvgU16(const uint16_t* puwIn, uint16_t* puwOut, uint8_t ubRows, uint16_t uwCols) {
  return AvgMap(kLibIdAvgU16, puwIn, puwOut, ubRows, uwCols);
}
uint32_t LibXpu2AvgU32(const uint32_t* puiIn, uint32_t* puiOut, uint8_t ubRows, uint16_t uwCols) {
  return AvgMap(kLibIdAvgU32, puiIn, puiOut, ubRows, uwCols);
}
uint32_t LibXpu2AvgS8(const int8_t* psbIn, int8_t* psbOut, uint8_t ubRows, uint16_t uwCols) {
  return AvgMap(kLibIdAvgS8, psbIn, psbOut, ubRows, uwCols);
}
uint32_t LibXpu2AvgS16(const int16_t* pswIn, int16_t* pswOut, uint8_t ubRows, uint16_t uwCols) {
  return AvgMap(kLibIdAvgS16, pswIn, pswOut, ubRows, uwCols);
}
uint32_t LibXpu2AvgS32(const int32_t* psiIn, int32_t* psiOut, uint8_t ubRows, uint16_t uwCols) {
  return AvgMap(kLibIdAvgS32, psiIn, psiOut, ubRows, uwCols);
}

uint32_t LibXpu2MaxMinS16(const int16_t* pswIn, uint16_t* puwOut, uint8_t ubRows, uint16_t uwCols) {
  return RowMaxMin(kLibIdMaxMin, pswIn, puwOut, ubRows, uwCols);
}
uint32_t LibXpu2MaxMinU16(const uint16_t* puwIn, uint16_t* puwOut, uint8_t ubRows, uint16_t uwCols) {
  return RowMaxMin(kLibIdMaxMinU16, puwIn, puwOut, ubRows, uwCols);
}

uint32_t LibXpu2SubS16(const int16_t* pswA, const int16_t* pswB, int16_t* pswOut, uint8_t ubRows, uint16_t uwCols) {
  return SubMap(kLibIdSubS16, pswA, pswB, pswOut, ubRows, uwCols, [&](uint32_t i) { return pswB[i]; });
}
uint32_t LibXpu2SubU16(const uint16_t* puwA, const uint16_t* puwB, uint16_t* puwOut, uint8_t ubRows, uint16_t uwCols) {
  return SubMap(kLibIdSubU16, puwA, puwB, puwOut, ubRows, uwCols, [&](uint32_t i) { return puwB[i]; });
}
uint32_t LibXpu2SubS32(const int32_t* psiA, const int32_t* psiB, int32_t* psiOut, uint8_t ubRows, uint16_t uwCols) {
  return SubMap(kLibIdSubS32, psiA, psiB, psiOut, ubRows, uwCols, [&](uint32_t i) { return psiB[i]; });
}
uint32_t LibXpu2SubU32(const uint32_t* puiA, const uint32_t* puiB, uint32_t* puiOut, uint8_t ubRows, uint16_t uwCols) {
  return SubMap(kLibIdSubU32, puiA, puiB, puiOut, ubRows, uwCols, [&](uint32_t i) { return puiB[i]; });
}
uint32_t LibXpu2SubConstS16(const int16_t* pswA, int16_t swK, int16_t* pswOut, uint8_t ubRows, uint16_t uwCols) {
  return SubMap(kLibIdSubConstS16, pswA, pswA, pswOut, ubRows, uwCols, [&](uint32_t) { return swK; });
}
uint32_t LibXpu2SubConstU16(const uint16_t* puwA, uint16_t uwK, uint16_t* puwOut, uint8_t ubRows, uint16_t uwCols) {
  return SubMap(kLibIdSubConstU16, puwA, puwA, puwOut, ubRows, uwCols, [&](uint32_t) { return uwK; });
}
uint32_t LibXpu2SubConstS32(const int32_t* psiA, int32_t siK, int32_t* psiOut, uint8_t ubRows, uint16_t uwCols) {
  return SubMap(kLibIdSubConstS32, psiA, psiA, psiOut, ubRows, uwCols, [&](uint32_t) { return siK; });
}
uint32_t LibXpu2SubConstU32(const uint32_t* puiA, uint32_t uiK, uint32_t* puiOut, uint8_t ubRows, uint16_t uwCols) {
  return SubMap(kLibIdSubConstU32, puiA, puiA, puiOut, ubRows, uwCols, [&](uint32_t) { return uiK; });
}

uint32_t LibXpu2ReluS16(const int16_t* pswIn, int16_t* pswOut, uint16_t uwLen, int16_t swThreshold, int16_t swFloor) {
  return Relu(pswIn, pswOut, uwLen, swThreshold, swFloor, uwLen >= 1 && uwLen <= 4095);
}
uint32_t LibXpu2ReluU16(const uint16_t* puwIn, uint16_t* puwOut, uint16_t uwLen, uint16_t uwThreshold, uint16_t uwFloor) {
  return Relu(puwIn, puwOut, uwLen, uwThreshold, uwFloor, true);
}

uint32_t LibXpu2CopyU8(const uint8_t* pubSrc, uint8_t* pubDst, uint16_t uwLen) {
  return CopyMap(kLibIdCopyU8, pubSrc, pubDst, uwLen);
}
uint32_t LibXpu2CopyU16(const uint16_t* puwSrc, uint16_t* puwDst, uint16_t uwLen) {
  return CopyMap(kLibIdCopyU16U32, puwSrc, puwDst, uwLen);
}
uint32_t LibXpu2CopyU32(const uint32_t* puiSrc, uint32_t* puiDst, uint16_t uwLen) {
  return CopyMap(kLibIdCopyU16U32, puiSrc, puiDst, uwLen);
}

uint32_t LibXpu2OneDimGaussianFilterU16(const uint16_t* puwIn, uint16_t* puwOut, const OneDimGaussianParam* pstParam) {
  return Gaussian1d(kLibIdGaussian1dU16, puwIn, puwOut, pstParam);
}
uint32_t LibXpu2OneDimGaussianFilterS16(const int16_t* pswIn, int16_t* pswOut, const OneDimGaussianParam* pstParam) {
  return Gaussian1d(kLibIdGaussian1dS16, pswIn, pswOut, pstParam);
}

uint32_t LibXpu2LinearRegress(const uint16_t* puwX, const uint16_t* puwY, const LinearRegressParam* pstParam,
                              uint32_t* puiOut) {
  if (AnyNull({puwX, puwY, pstParam, puiOut})) return 0;
  const uint32_t n = pstParam->uwCount;
  if (n < 1 || n > 1023) return 0;
  uint32_t uiSxx = 0;
  uint32_t uiSyy = 0;
  uint32_t uiSxy = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const int32_t dx = static_cast<int16_t>(puwX[i] - pstParam->uwMeanX);
    const int32_t dy = static_cast<int16_t>(puwY[i] - pstParam->uwMeanY);
    uiSxx += static_cast<uint32_t>(dx * dx);
    uiSyy += static_cast<uint32_t>(dy * dy);
    uiSxy += static_cast<uint32_t>(dx * dy);
  }
  // The cross sum keeps its sign: a falling line has a negative slope, not a huge one.
  const uint32_t q = pstParam->ubQ & 31;
  const uint32_t p = pstParam->ubP & 31;
  const int64_t slDen = uiSxx >> p;
  int64_t slSlope = 0;
  int64_t slRem = 0;
  if (slDen != 0) {
    const int64_t slNum = static_cast<int64_t>(static_cast<int32_t>(uiSxy)) * (int64_t{1} << q);
    slSlope = slNum / slDen;
    slRem = slNum % slDen;
  }
  const int64_t slIntercept = int64_t{pstParam->uwMeanY} - ((slSlope * pstParam->uwMeanX) >> ((q + p) & 63));
  puiOut[0] = static_cast<uint32_t>(slSlope);
  puiOut[1] = static_cast<uint32_t>(slRem);
  puiOut[2] = static_cast<uint32_t>(slIntercept);
  puiOut[3] = uiSxx;
  puiOut[4] = uiSyy;
  puiOut[5] = uiSxy;
  return 1;
}

uint32_t LibXpu2GravityCenter(const int16_t* pswIn, const uint8_t* pubParam, uint16_t* puwOut) {
  return CheckOnly(kLibIdGravityCenter, {pswIn, pubParam, puwOut}, pubParam != nullptr && pubParam[2] != 0);
}
uint32_t LibXpu2SquareSumU16(const uint16_t* puwIn, uint32_t* puiOut, uint16_t uwLen) {
  return CheckOnly(kLibIdSquareSumU16, {puwIn, puiOut}, LengthOk(uwLen));
}
uint32_t LibXpu2SquareSumS16(const int16_t* pswIn, uint32_t* puiOut, uint16_t uwLen) {
  return CheckOnly(kLibIdSquareSumS16, {pswIn, puiOut}, LengthOk(uwLen));
}
uint32_t LibXpu2SquareSumPairU16(const uint16_t* puwA, const uint16_t* puwB, uint32_t* puiOut, uint16_t uwLen) {
  return CheckOnly(kLibIdSquareSumPairU16, {puwA, puwB, puiOut}, LengthOk(uwLen));
}
uint32_t LibXpu2SquareSumPairS16(const int16_t* pswA, const int16_t* pswB, uint32_t* puiOut, uint16_t uwLen) {
  return CheckOnly(kLibIdSquareSumPairS16, {pswA, pswB, puiOut}, LengthOk(uwLen));
}
uint32_t LibXpu2DivU32U16(const uint32_t* puiA, const uint16_t* puwB, uint32_t* puiOut, uint16_t uwLen) {
  return CheckOnly(kLibIdDiv, {puiA, puwB, puiOut}, LengthOk(uwLen));
}
uint32_t LibXpu2DivS32U16(const int32_t* psiA, const uint16_t* puwB, int32_t* psiOut, uint16_t uwLen) {
  return CheckOnly(kLibIdDiv, {psiA, puwB, psiOut}, LengthOk(uwLen));
}
uint32_t LibXpu2ListcS16(const int16_t* pswIn, const uint8_t* pubFlags, int16_t* pswOut, uint16_t uwLen) {
  return Listc({pswIn, pubFlags, pswOut}, uwLen);
}
uint32_t LibXpu2ListcU16(const uint16_t* puwIn, const uint8_t* pubFlags, uint16_t* puwOut, uint16_t uwLen) {
  return Listc({puwIn, pubFlags, puwOut}, uwLen);
}
uint32_t LibXpu2ListcS32(const int32_t* psiIn, const uint8_t* pubFlags, int32_t* psiOut, uint16_t uwLen) {
  return Listc({psiIn, pubFlags, psiOut}, uwLen);
}
uint32_t LibXpu2ListcU32(const uint32_t* puiIn, const uint8_t* pubFlags, uint32_t* puiOut, uint16_t uwLen) {
  return Listc({puiIn, pubFlags, puiOut}, uwLen);
}
uint32_t LibXpu2MaxMinU32(const uint32_t* puiIn, uint32_t* puiOut, uint8_t ubRows, uint16_t uwCols) {
  return CheckOnly(kLibIdMaxMin, {puiIn, puiOut}, ubRows >= 1 && ubRows <= 63 && uwCols >= 1 && uwCols <= 1023);
}
uint32_t LibXpu2MaxMinS32(const int32_t* psiIn, int32_t* psiOut, uint16_t uwLen) {
  return CheckOnly(kLibIdMaxMin, {psiIn, psiOut}, LengthOk(uwLen));
}
uint32_t LibXpu2PoolingS16(const int16_t* pswIn, int16_t* pswOut, uint8_t ubRows, uint16_t uwCols) {
  return CheckOnly(kLibIdSubS16, {pswIn, pswOut}, SmallMapOk(ubRows, uwCols));
}
uint32_t LibXpu2PoolingU16(const uint16_t* puwIn, uint16_t* puwOut, uint8_t ubRows, uint16_t uwCols) {
  return CheckOnly(kLibIdPoolingU16, {puwIn, puwOut}, SmallMapOk(ubRows, uwCols));
}
uint32_t LibXpu2IntrCountS16(const int16_t* pswIn, uint16_t* puwOut, uint16_t uwLen) {
  return CheckOnly(kLibIdIntrCount, {pswIn, puwOut}, LengthOk(uwLen));
}
uint32_t LibXpu2IntrCountU16(const uint16_t* puwIn, uint16_t* puwOut, uint16_t uwLen) {
  return CheckOnly(kLibIdIntrCount, {puwIn, puwOut}, LengthOk(uwLen));
}
uint32_t LibXpu2MultU16(const uint16_t* puwA, const uint16_t* puwB, uint32_t* puiOut, uint8_t ubRows, uint16_t uwCols) {
  return CheckOnly(kLibIdMultU16, {puwA, puwB, puiOut}, SmallMapOk(ubRows, uwCols));
}
uint32_t LibXpu2MultS16(const int16_t* pswA, const int16_t* pswB, int32_t* psiOut, uint8_t ubRows, uint16_t uwCols) {
  return CheckOnly(kLibIdMultS16, {pswA, pswB, psiOut}, SmallMapOk(ubRows, uwCols));
}
uint32_t LibXpu2MultAddS16(const int16_t* pswA, const int16_t* pswB, int32_t* psiOut, uint8_t ubRows, uint16_t uwCols) {
  return CheckOnly(kLibIdMultAddS16, {pswA, pswB, psiOut}, SmallMapOk(ubRows, uwCols));
}
