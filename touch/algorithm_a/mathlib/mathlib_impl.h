#pragma once
// Shared pieces of the math library's member bodies (not part of its interface).
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "mathlib.h"

namespace mathlib {

inline uint32_t Status(uint32_t uiFuncId, uint32_t uiResult) { return LibStatus(uiFuncId, uiResult); }

inline bool AnyNull(std::initializer_list<const void*> pointers) {
  for (const void* p : pointers) {
    if (p == nullptr) return true;
  }
  return false;
}

// The shape of every status-word member: null pointers (02), then the size check (01), then
// the work (00). Nothing is written on an error.
template <typename Work>
uint32_t Checked(uint32_t uiId, std::initializer_list<const void*> pointers, bool boSizeOk, Work work) {
  if (AnyNull(pointers)) return Status(uiId, kLibStatusNullPtr);
  if (!boSizeOk) return Status(uiId, kLibStatusRange);
  work();
  return Status(uiId, kLibStatusDone);
}

// Copy and fill of the vector families: 1 for an empty vector, else 0. Copies may overlap.
template <typename T>
uint32_t CopyVec(const T* pSrc, T* pDst, uint16_t uwLen) {
  if (uwLen == 0) return 1;
  memmove(pDst, pSrc, uwLen * sizeof(T));
  return 0;
}
template <typename T>
uint32_t FillVec(T* pDst, T value, uint16_t uwLen) {
  if (uwLen == 0) return 1;
  for (uint32_t i = 0; i < uwLen; ++i) pDst[i] = value;
  return 0;
}

// 32-bit sum, signed elements sign-extended.
template <typename T>
uint32_t Sum32(const T* pIn, uint32_t uiLen) {
  uint32_t uiSum = 0;
  for (uint32_t i = 0; i < uiLen; ++i) uiSum += static_cast<uint32_t>(static_cast<int64_t>(pIn[i]));
  return uiSum;
}

// Reads and writes of elements lying at byte offsets (the Offset members and the strided
// engine), with no alignment assumed.
template <typename T>
inline T LoadAt(const void* pBase, uint32_t uiByteOffset) {
  T value;
  __builtin_memcpy(&value, static_cast<const uint8_t*>(pBase) + uiByteOffset, sizeof(T));
  return value;
}
template <typename T>
inline void StoreAt(void* pBase, uint32_t uiByteOffset, T value) {
  __builtin_memcpy(static_cast<uint8_t*>(pBase) + uiByteOffset, &value, sizeof(T));
}

// Running statistics as the record keeps them: sum modulo 2^32, extremes compared in the
// member's own sense (signed or unsigned), first-occurrence addresses.
template <typename Cmp>
struct StatAccumulator {
  uint32_t uiAcc = 0;
  Cmp max;
  Cmp min;
  const void* pMax;
  const void* pMin;

  StatAccumulator(Cmp startMin, Cmp startMax, const void* pStart)
      : max(startMax), min(startMin), pMax(pStart), pMin(pStart) {}

  void Add(Cmp value, const void* pAt) {
    uiAcc += static_cast<uint32_t>(static_cast<int64_t>(value));
    if (value > max) {
      max = value;
      pMax = pAt;
    }
    if (value < min) {
      min = value;
      pMin = pAt;
    }
  }

  void Store() const {
    gstVpuStatistic.ulAcc = uiAcc;
    gstVpuStatistic.uwMinData = static_cast<uint16_t>(min);
    gstVpuStatistic.uwMaxData = static_cast<uint16_t>(max);
    gstVpuStatistic.pMinDataAddr = const_cast<void*>(pMin);
    gstVpuStatistic.pMaxDataAddr = const_cast<void*>(pMax);
  }
};

// Start values of the record's extremes: unsigned members start from 65535 / 0, signed ones
// from 32767 / -32768.
using UnsignedStat = StatAccumulator<int32_t>;
inline UnsignedStat MakeUnsignedStat(const void* pStart) { return UnsignedStat(65535, 0, pStart); }
inline UnsignedStat MakeSignedStat(const void* pStart) { return UnsignedStat(32767, -32768, pStart); }

}  // namespace mathlib
