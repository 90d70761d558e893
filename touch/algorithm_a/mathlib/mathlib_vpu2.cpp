// One-dimensional members with out-parameters (LibVpu2) and the plain memory members (LibMem).
#include <cstring>
#include <limits>
#include <type_traits>

#include "mathlib_impl.h"

namespace {

using mathlib::CopyVec;
using mathlib::LoadAt;
using mathlib::StoreAt;
using mathlib::Sum32;

// Maximum, address of the first maximum, minimum, address of the first minimum, each in the
// element's own width (the addresses truncated to it).
template <typename T>
uint32_t MaxMin(const T* pIn, uint16_t uwLen, T* pOut) {
  if (uwLen == 0) return 1;
  T max = std::numeric_limits<T>::min();
  T min = std::numeric_limits<T>::max();
  const T* pMax = pIn;
  const T* pMin = pIn;
  for (uint32_t i = 0; i < uwLen; ++i) {
    if (pIn[i] > max) {
      max = pIn[i];
      pMax = &pIn[i];
    }
    if (pIn[i] < min) {
      min = pIn[i];
      pMin = &pIn[i];
    }
  }
  pOut[0] = max;
  pOut[1] = static_cast<T>(reinterpret_cast<uintptr_t>(pMax));
  pOut[2] = min;
  pOut[3] = static_cast<T>(reinterpret_cast<uintptr_t>(pMin));
  return 0;
}


template <typename T>
uint32_t Sum(const T* pIn, uint16_t uwLen, uint32_t* puiSum) {
  if (uwLen == 0) return 1;
  *puiSum = Sum32(pIn, uwLen);
  return 0;
}

// Truncating mean: signed elements divide their signed 32-bit sum.
template <typename T>
uint32_t Ave(const T* pIn, uint16_t uwLen, T* pAve) {
  if (uwLen == 0) return 1;
  const uint32_t uiSum = Sum32(pIn, uwLen);
  if constexpr (std::is_signed_v<T>) {
    *pAve = static_cast<T>(static_cast<int32_t>(uiSum) / static_cast<int32_t>(uwLen));
  } else {
    *pAve = static_cast<T>(uiSum / uwLen);
  }
  return 0;
}

template <typename T, typename F>
uint32_t Each(T* pOut, uint16_t uwLen, F f) {
  if (uwLen == 0) return 1;
  for (uint32_t i = 0; i < uwLen; ++i) pOut[i] = static_cast<T>(f(i));
  return 0;
}


// Appends in[i] at out[*count] for each flag that equals the wanted value.
template <typename T>
uint32_t ListFlag(const T* pIn, const uint8_t* pubFlags, T* pOut, uint16_t* puwCount, uint16_t uwLen, uint8_t ubWant) {
  if (uwLen == 0) return 1;
  for (uint32_t i = 0; i < uwLen; ++i) {
    if (pubFlags[i] != ubWant) continue;
    pOut[*puwCount] = pIn[i];
    ++*puwCount;
  }
  return 0;
}

}  // namespace

uint32_t LibVpu2MaxMinU16(const uint16_t* puwIn, uint16_t uwLen, uint16_t* puwOut) { return MaxMin(puwIn, uwLen, puwOut); }
uint32_t LibVpu2MaxMinS16(const int16_t* pswIn, uint16_t uwLen, int16_t* pswOut) { return MaxMin(pswIn, uwLen, pswOut); }
uint32_t LibVpu2MaxMinU32(const uint32_t* puiIn, uint16_t uwLen, uint32_t* puiOut) { return MaxMin(puiIn, uwLen, puiOut); }
uint32_t LibVpu2MaxMinS32(const int32_t* psiIn, uint16_t uwLen, int32_t* psiOut) { return MaxMin(psiIn, uwLen, psiOut); }

uint32_t LibVpu2SumU16(const uint16_t* puwIn, uint16_t uwLen, uint32_t* puiSum) { return Sum(puwIn, uwLen, puiSum); }
uint32_t LibVpu2SumS16(const int16_t* pswIn, uint16_t uwLen, uint32_t* puiSum) { return Sum(pswIn, uwLen, puiSum); }
uint32_t LibVpu2SumU32(const uint32_t* puiIn, uint16_t uwLen, uint32_t* puiSum) { return Sum(puiIn, uwLen, puiSum); }
uint32_t LibVpu2SumS32(const int32_t* psiIn, uint16_t uwLen, uint32_t* puiSum) { return Sum(psiIn, uwLen, puiSum); }

uint32_t LibVpu2AveU16(const uint16_t* puwIn, uint16_t uwLen, uint16_t* puwAve) { return Ave(puwIn, uwLen, puwAve); }
uint32_t LibVpu2AveS16(const int16_t* pswIn, uint16_t uwLen, int16_t* pswAve) { return Ave(pswIn, uwLen, pswAve); }
uint32_t LibVpu2AveU32(const uint32_t* puiIn, uint16_t uwLen, uint32_t* puiAve) { return Ave(puiIn, uwLen, puiAve); }
uint32_t LibVpu2AveS32(const int32_t* psiIn, uint16_t uwLen, int32_t* psiAve) { return Ave(psiIn, uwLen, psiAve); }

uint32_t LibVpu2SubU16(const uint16_t* puwA, const uint16_t* puwB, uint16_t* puwOut, uint16_t uwLen) {
  return Each(puwOut, uwLen, [&](uint32_t i) { return int64_t{puwA[i]} - puwB[i]; });
}
uint32_t LibVpu2SubS16(const int16_t* pswA, const int16_t* pswB, int16_t* pswOut, uint16_t uwLen) {
  return Each(pswOut, uwLen, [&](uint32_t i) { return int64_t{pswA[i]} - pswB[i]; });
}
uint32_t LibVpu2SubU32(const uint32_t* puiA, const uint32_t* puiB, uint32_t* puiOut, uint16_t uwLen) {
  return Each(puiOut, uwLen, [&](uint32_t i) { return int64_t{puiA[i]} - puiB[i]; });
}
uint32_t LibVpu2SubS32(const int32_t* psiA, const int32_t* psiB, int32_t* psiOut, uint16_t uwLen) {
  return Each(psiOut, uwLen, [&](uint32_t i) { return int64_t{psiA[i]} - psiB[i]; });
}
uint32_t LibVpu2SubConstU16(const uint16_t* puwA, uint16_t uwK, uint16_t* puwOut, uint16_t uwLen) {
  return Each(puwOut, uwLen, [&](uint32_t i) { return int64_t{puwA[i]} - uwK; });
}
uint32_t LibVpu2SubConstS16(const int16_t* pswA, int16_t swK, int16_t* pswOut, uint16_t uwLen) {
  return Each(pswOut, uwLen, [&](uint32_t i) { return int64_t{pswA[i]} - swK; });
}
uint32_t LibVpu2SubConstU32(const uint32_t* puiA, uint32_t uiK, uint32_t* puiOut, uint16_t uwLen) {
  return Each(puiOut, uwLen, [&](uint32_t i) { return int64_t{puiA[i]} - uiK; });
}
uint32_t LibVpu2SubConstS32(const int32_t* psiA, int32_t siK, int32_t* psiOut, uint16_t uwLen) {
  return Each(psiOut, uwLen, [&](uint32_t i) { return int64_t{psiA[i]} - siK; });
}

uint32_t LibVpu2SubConstOffsetS32(const void* pIn, int32_t siK, void* pOut, uint16_t uwLen, uint16_t uwSrcGap,
                                  uint16_t uwDstGap) {
  if (uwLen == 0) return 1;
  for (uint32_t i = 0; i < uwLen; ++i) {
    const int64_t v = int64_t{LoadAt<int32_t>(pIn, i * (uwSrcGap + 4u))} - siK;
    StoreAt<int32_t>(pOut, i * (uwDstGap + 4u), static_cast<int32_t>(v));
  }
  return 0;
}

uint32_t LibVpu2CopyU8(const uint8_t* pubSrc, uint8_t* pubDst, uint16_t uwLen) { return CopyVec(pubSrc, pubDst, uwLen); }
uint32_t LibVpu2CopyU16(const uint16_t* puwSrc, uint16_t* puwDst, uint16_t uwLen) { return CopyVec(puwSrc, puwDst, uwLen); }
uint32_t LibVpu2CopyU32(const uint32_t* puiSrc, uint32_t* puiDst, uint16_t uwLen) { return CopyVec(puiSrc, puiDst, uwLen); }

uint32_t LibVpu2CopyOffsetU16(const void* pSrc, uint16_t* puwDst, uint16_t uwLen, uint16_t uwGap) {
  if (uwLen == 0) return 1;
  const uint32_t uiStride = uwGap + 4u;
  // Walking backwards when the source lies below the destination keeps a gather within one
  // buffer from overwriting elements it has yet to read.
  if (static_cast<const void*>(pSrc) < static_cast<const void*>(puwDst)) {
    for (uint32_t i = uwLen; i-- > 0;) puwDst[i] = LoadAt<uint16_t>(pSrc, i * uiStride);
  } else {
    for (uint32_t i = 0; i < uwLen; ++i) puwDst[i] = LoadAt<uint16_t>(pSrc, i * uiStride);
  }
  return 0;
}

uint32_t LibVpu2ListZeroU16(const uint16_t* puwIn, const uint8_t* pubFlags, uint16_t* puwOut, uint16_t* puwCount,
                            uint16_t uwLen) {
  return ListFlag(puwIn, pubFlags, puwOut, puwCount, uwLen, 0);
}
uint32_t LibVpu2ListZeroS16(const int16_t* pswIn, const uint8_t* pubFlags, int16_t* pswOut, uint16_t* puwCount,
                            uint16_t uwLen) {
  return ListFlag(pswIn, pubFlags, pswOut, puwCount, uwLen, 0);
}
uint32_t LibVpu2ListZeroU32(const uint32_t* puiIn, const uint8_t* pubFlags, uint32_t* puiOut, uint16_t* puwCount,
                            uint16_t uwLen) {
  return ListFlag(puiIn, pubFlags, puiOut, puwCount, uwLen, 0);
}
uint32_t LibVpu2ListZeroS32(const int32_t* psiIn, const uint8_t* pubFlags, int32_t* psiOut, uint16_t* puwCount,
                            uint16_t uwLen) {
  return ListFlag(psiIn, pubFlags, psiOut, puwCount, uwLen, 0);
}
uint32_t LibVpu2ListOneU16(const uint16_t* puwIn, const uint8_t* pubFlags, uint16_t* puwOut, uint16_t* puwCount,
                           uint16_t uwLen) {
  return ListFlag(puwIn, pubFlags, puwOut, puwCount, uwLen, 1);
}
uint32_t LibVpu2ListOneS16(const int16_t* pswIn, const uint8_t* pubFlags, int16_t* pswOut, uint16_t* puwCount,
                           uint16_t uwLen) {
  return ListFlag(pswIn, pubFlags, pswOut, puwCount, uwLen, 1);
}
uint32_t LibVpu2ListOneU32(const uint32_t* puiIn, const uint8_t* pubFlags, uint32_t* puiOut, uint16_t* puwCount,
                           uint16_t uwLen) {
  return ListFlag(puiIn, pubFlags, puiOut, puwCount, uwLen, 1);
}

// ---- LibMem ----------------------------------------------------------------------------------

namespace {
template <typename T>
T* MemSet(T* pDst, T value, uint32_t uiLen) {
  for (uint32_t i = 0; i < uiLen; ++i) pDst[i] = value;
  return pDst;
}
template <typename T>
void MemCpy(T* pDst, const T* pSrc, uint32_t uiLen) {
  if (uiLen != 0) memmove(pDst, pSrc, static_cast<size_t>(uiLen) * sizeof(T));
}
}  // namespace

void LibMemCpyU8(uint8_t* pubDst, const uint8_t* pubSrc, uint32_t uiLen) { MemCpy(pubDst, pubSrc, uiLen); }
void LibMemCpyU16(uint16_t* puwDst, const uint16_t* puwSrc, uint32_t uiLen) { MemCpy(puwDst, puwSrc, uiLen); }
void LibMemCpyU32(uint32_t* puiDst, const uint32_t* puiSrc, uint32_t uiLen) { MemCpy(puiDst, puiSrc, uiLen); }
uint8_t* LibMemSetU8(uint8_t* pubDst, uint8_t ubValue, uint32_t uiLen) { return MemSet(pubDst, ubValue, uiLen); }
uint16_t* LibMemSetU16(uint16_t* puwDst, uint16_t uwValue, uint32_t uiLen) { return MemSet(puwDst, uwValue, uiLen); }
uint32_t* LibMemSetU32(uint32_t* puiDst, uint32_t uiValue, uint32_t uiLen) { return MemSet(puiDst, uiValue, uiLen); }
uint16_t LibMemSumU8(const uint8_t* pubSrc, uint32_t uiLen) { return static_cast<uint16_t>(Sum32(pubSrc, uiLen)); }
uint32_t LibMemSumU16(const uint16_t* puwSrc, uint32_t uiLen) { return Sum32(puwSrc, uiLen); }
uint32_t LibMemSumU32(const uint32_t* puiSrc, uint32_t uiLen) { return Sum32(puiSrc, uiLen); }
void LibMemCpyU8Tiny(uint8_t* pubDst, const uint8_t* pubSrc, uint32_t uiLen) { MemCpy(pubDst, pubSrc, uiLen); }
void LibMemCpyU16Tiny(uint16_t* puwDst, const uint16_t* puwSrc, uint32_t uiLen) { MemCpy(puwDst, puwSrc, uiLen); }
void LibMemCpyU32Tiny(uint32_t* puiDst, const uint32_t* puiSrc, uint32_t uiLen) { MemCpy(puiDst, puiSrc, uiLen); }
uint8_t* LibMemSetU8Tiny(uint8_t* pubDst, uint8_t ubValue, uint32_t uiLen) { return MemSet(pubDst, ubValue, uiLen); }
uint16_t* LibMemSetU16Tiny(uint16_t* puwDst, uint16_t uwValue, uint32_t uiLen) { return MemSet(puwDst, uwValue, uiLen); }
uint32_t* LibMemSetU32Tiny(uint32_t* puiDst, uint32_t uiValue, uint32_t uiLen) { return MemSet(puiDst, uiValue, uiLen); }
uint16_t LibMemSumU8Tiny(const uint8_t* pubSrc, uint32_t uiLen) { return LibMemSumU8(pubSrc, uiLen); }
uint32_t LibMemSumU16Tiny(const uint16_t* puwSrc, uint32_t uiLen) { return Sum32(puwSrc, uiLen); }
uint32_t LibMemSumU32Tiny(const uint32_t* puiSrc, uint32_t uiLen) { return Sum32(puiSrc, uiLen); }

uint32_t LibCheckSumU16(const uint16_t* puwIn, uint16_t uwLen) { return Sum32(puwIn, uwLen); }
