// Element-wise vector members (LibVpu) with the statistics they leave behind, and the
// statistic family itself.
#include <cstring>
#include <limits>
#include <type_traits>

#include "mathlib_impl.h"

namespace {

using mathlib::CopyVec;
using mathlib::FillVec;
using mathlib::LoadAt;
using mathlib::StatAccumulator;

// Which fields of the statistics record an element-wise member writes about its output.
enum class Stats {
  kNone,
  kSum,        // ulAcc only
  kAll,        // all five, first-occurrence addresses
  kAllAtBase,  // all five, both addresses at out[0]
};

template <typename Out>
StatAccumulator<int32_t> StartStat(const void* pStart) {
  return std::is_signed_v<Out> ? mathlib::MakeSignedStat(pStart) : mathlib::MakeUnsignedStat(pStart);
}

// The one body of the element-wise family: out[i] = f(i), then the statistics of out.
template <Stats kStats, typename Out, typename F>
uint32_t MapVec(Out* pOut, uint16_t uwLen, F f) {
  if (uwLen == 0) return 1;
  if constexpr (kStats == Stats::kAllAtBase) {
    // No positions to follow: plain running extremes, which the compiler vectorises.
    // The record's start values are the element type's own range here.
    Out vMin = std::numeric_limits<Out>::max();
    Out vMax = std::numeric_limits<Out>::min();
    uint32_t uiSum = 0;
    for (uint32_t i = 0; i < uwLen; ++i) {
      const Out v = f(i);
      pOut[i] = v;
      uiSum += static_cast<uint32_t>(static_cast<int32_t>(v));
      vMin = v < vMin ? v : vMin;
      vMax = v > vMax ? v : vMax;
    }
    auto st = StartStat<Out>(pOut);
    st.min = vMin;
    st.max = vMax;
    st.uiAcc = uiSum;
    st.Store();
    return 0;
  }
  auto st = StartStat<Out>(pOut);
  uint32_t uiAcc = 0;
  for (uint32_t i = 0; i < uwLen; ++i) {
    const Out v = f(i);
    pOut[i] = v;
    if constexpr (kStats == Stats::kSum) uiAcc += static_cast<uint32_t>(static_cast<int64_t>(v));
    if constexpr (kStats == Stats::kAll) st.Add(static_cast<int32_t>(v), &pOut[i]);
  }
  if constexpr (kStats == Stats::kSum) gstVpuStatistic.ulAcc = uiAcc;
  if constexpr (kStats == Stats::kAll) st.Store();
  return 0;
}

// Saturating form: the same walk, 3 when any element was clamped, then the optional
// completion function.
template <typename Out, typename F>
uint32_t MapVecSaturating(Out* pOut, uint16_t uwLen, LibVpuDoneFunc pfnDone, F wide) {
  if (uwLen == 0) return 1;
  bool boClamped = false;
  MapVec<Stats::kAll>(pOut, uwLen, [&](uint32_t i) {
    const int64_t v = wide(i);
    const int64_t lo = std::numeric_limits<Out>::min();
    const int64_t hi = std::numeric_limits<Out>::max();
    if (v < lo || v > hi) boClamped = true;
    return static_cast<Out>(v < lo ? lo : (v > hi ? hi : v));
  });
  if (pfnDone != nullptr) pfnDone();
  return boClamped ? 3 : 0;
}

// Results are kept to the element width (wrapping); 16-bit operands are combined in int,
// which holds every sum and difference of two of them.
template <typename T, typename V>
T Wrap(V v) {
  return static_cast<T>(v);
}

// Statistics over a vector whose elements lie uiStride bytes apart. kSigned: signed compares
// from 32767 / -32768; otherwise from 65535 / 0. boFirstAddr false leaves both addresses at
// the first element.
template <typename T>
uint32_t Statistic(const void* pIn, uint16_t uwLen, uint32_t uiStride, bool boFirstAddr) {
  if (uwLen == 0) return 1;
  auto st = StartStat<T>(pIn);
  for (uint32_t i = 0; i < uwLen; ++i) {
    const uint32_t uiAt = i * uiStride;
    st.Add(static_cast<int32_t>(LoadAt<T>(pIn, uiAt)), static_cast<const uint8_t*>(pIn) + uiAt);
  }
  if (!boFirstAddr) st.pMax = st.pMin = pIn;
  st.Store();
  return 0;
}

template <typename T, typename Cmp>
uint32_t Search(const T* pA, uint16_t uwLen, uintptr_t* puxAddr, Cmp match, LibVpuDoneFunc pfnBefore = nullptr) {
  if (uwLen == 0) return 1;
  uint32_t i = 0;
  while (i < uwLen && !match(i)) ++i;
  if (pfnBefore != nullptr) pfnBefore();
  *puxAddr = reinterpret_cast<uintptr_t>(pA + i);
  return 0;
}

// Appends a[i] where the flag test holds; statistics over the appended elements.
template <typename T, typename Pick>
uint32_t ListPick(const T* pA, const uint8_t* pubFlags, T* pOut, uint16_t uwLen, Pick pick) {
  if (uwLen == 0) return 1;
  auto st = StartStat<T>(pOut);
  uint32_t k = 0;
  for (uint32_t i = 0; i < uwLen; ++i) {
    if (!pick(pubFlags[i])) continue;
    pOut[k] = pA[i];
    st.Add(static_cast<int32_t>(pA[i]), &pOut[k]);
    ++k;
  }
  st.Store();
  return 0;
}

template <typename T, typename Pick>
uint32_t IfPick(const T* pA, const uint8_t* pubFlags, T* pOut, uint16_t uwLen, Pick pick) {
  return MapVec<Stats::kAll>(pOut, uwLen, [&](uint32_t i) { return pick(pubFlags[i]) ? pA[i] : pOut[i]; });
}

bool IsZero(uint8_t f) { return f == 0; }
bool IsNonZero(uint8_t f) { return f != 0; }


}  // namespace

// ---- Statistics ----------------------------------------------------------------------------

uint32_t LibVpuStatisticU8(const uint8_t* pubIn, uint16_t uwLen) { return Statistic<uint8_t>(pubIn, uwLen, 1, true); }
uint32_t LibVpuStatisticU16(const uint16_t* puwIn, uint16_t uwLen) { return Statistic<uint16_t>(puwIn, uwLen, 2, true); }
uint32_t LibVpuStatisticOffsetU16(const void* pIn, uint16_t uwLen, uint16_t uwGap) {
  return Statistic<uint16_t>(pIn, uwLen, uwGap + 2u, true);
}
uint32_t LibVpuStatisticS16(const int16_t* pswIn, uint16_t uwLen, uint32_t, uint32_t uiMode) {
  return Statistic<int16_t>(pswIn, uwLen, 2, uiMode == 1);
}
uint32_t LibVpuStatisticOffsetS16(const void* pIn, uint16_t uwLen, uint16_t uwGap) {
  return Statistic<int16_t>(pIn, uwLen, uwGap + 2u, true);
}
uint32_t LibVpuStatisticU8Tiny(const uint8_t* pubIn, uint16_t uwLen) { return LibVpuStatisticU8(pubIn, uwLen); }
uint32_t LibVpuStatisticU16Tiny(const uint16_t* puwIn, uint16_t uwLen) { return LibVpuStatisticU16(puwIn, uwLen); }
uint32_t LibVpuStatisticS16Tiny(const int16_t* pswIn, uint16_t uwLen) { return LibVpuStatisticS16(pswIn, uwLen, 0, 1); }

// ---- Add / subtract ------------------------------------------------------------------------

#define LIB_VPU_BINARY(name, T, stats, expr)                                                \
  uint32_t name(const T* pA, const T* pB, T* pOut, uint16_t uwLen) {                          \
    return MapVec<stats>(pOut, uwLen, [&](uint32_t i) { return Wrap<T>(expr); });             \
  }
#define LIB_VPU_CONST(name, T, stats, expr)                                                 \
  uint32_t name(const T* pA, T k, T* pOut, uint16_t uwLen) {                                  \
    return MapVec<stats>(pOut, uwLen, [&](uint32_t i) { return Wrap<T>(expr); });             \
  }

LIB_VPU_BINARY(LibVpuAddU16, uint16_t, Stats::kSum, int32_t{pA[i]} + pB[i])
LIB_VPU_BINARY(LibVpuAddS16, int16_t, Stats::kSum, int32_t{pA[i]} + pB[i])
LIB_VPU_CONST(LibVpuAddConstU16, uint16_t, Stats::kAll, int32_t{pA[i]} + k)
LIB_VPU_CONST(LibVpuAddConstS16, int16_t, Stats::kSum, int32_t{pA[i]} + k)
LIB_VPU_BINARY(LibVpuSubU16, uint16_t, Stats::kSum, int32_t{pA[i]} - pB[i])
LIB_VPU_BINARY(LibVpuSubS16, int16_t, Stats::kSum, int32_t{pA[i]} - pB[i])
LIB_VPU_CONST(LibVpuSubConstU16, uint16_t, Stats::kSum, int32_t{pA[i]} - k)
LIB_VPU_CONST(LibVpuSubConstS16, int16_t, Stats::kAll, int32_t{pA[i]} - k)
LIB_VPU_BINARY(LibVpuQaddU16, uint16_t, Stats::kAll, int32_t{pA[i]} + pB[i])
LIB_VPU_BINARY(LibVpuQaddS16, int16_t, Stats::kSum, int32_t{pA[i]} + pB[i])
LIB_VPU_CONST(LibVpuQaddConstU16, uint16_t, Stats::kAll, int32_t{pA[i]} + k)
LIB_VPU_BINARY(LibVpuQsubU16, uint16_t, Stats::kSum, int32_t{pA[i]} - pB[i])
LIB_VPU_BINARY(LibVpuQsubS16, int16_t, Stats::kAllAtBase, int32_t{pA[i]} - pB[i])
LIB_VPU_BINARY(LibVpuQsubS16Tiny, int16_t, Stats::kAllAtBase, int32_t{pA[i]} - pB[i])
LIB_VPU_CONST(LibVpuQsubConstS16, int16_t, Stats::kSum, int32_t{pA[i]} - k)

uint32_t LibVpuQaddConstS16(const int16_t* pswA, int16_t swK, int16_t* pswOut, uint16_t uwLen, LibVpuDoneFunc pfnDone) {
  return MapVecSaturating(pswOut, uwLen, pfnDone, [&](uint32_t i) { return int64_t{pswA[i]} + swK; });
}
uint32_t LibVpuQsubConstU16(const uint16_t* puwA, uint16_t uwK, int16_t* pswOut, uint16_t uwLen, LibVpuDoneFunc pfnDone) {
  return MapVecSaturating(pswOut, uwLen, pfnDone, [&](uint32_t i) { return int64_t{puwA[i]} - uwK; });
}

// ---- Multiply / accumulate (32-bit results, no statistics) ---------------------------------

namespace {
template <typename T, typename W, typename B>
uint32_t Mul(const T* pA, B b, W* pOut, uint16_t uwLen, bool boAccumulate) {
  if (uwLen == 0) return 1;
  for (uint32_t i = 0; i < uwLen; ++i) {
    const int64_t p = int64_t{pA[i]} * b(i);
    pOut[i] = boAccumulate ? Wrap<W>(int64_t{pOut[i]} + p) : Wrap<W>(p);
  }
  return 0;
}
}  // namespace

uint32_t LibVpuMulU16(const uint16_t* puwA, const uint16_t* puwB, uint32_t* puiOut, uint16_t uwLen) {
  return Mul(puwA, [&](uint32_t i) { return puwB[i]; }, puiOut, uwLen, false);
}
uint32_t LibVpuMulS16(const int16_t* pswA, const int16_t* pswB, int32_t* psiOut, uint16_t uwLen) {
  return Mul(pswA, [&](uint32_t i) { return pswB[i]; }, psiOut, uwLen, false);
}
uint32_t LibVpuMulConstU16(const uint16_t* puwA, uint16_t uwK, uint32_t* puiOut, uint16_t uwLen) {
  return Mul(puwA, [&](uint32_t) { return uwK; }, puiOut, uwLen, false);
}
uint32_t LibVpuMulConstS16(const int16_t* pswA, int16_t swK, int32_t* psiOut, uint16_t uwLen) {
  return Mul(pswA, [&](uint32_t) { return swK; }, psiOut, uwLen, false);
}
uint32_t LibVpuMacU16(const uint16_t* puwA, const uint16_t* puwB, uint32_t* puiAcc, uint16_t uwLen) {
  return Mul(puwA, [&](uint32_t i) { return puwB[i]; }, puiAcc, uwLen, true);
}
uint32_t LibVpuMacS16(const int16_t* pswA, const int16_t* pswB, int32_t* psiAcc, uint16_t uwLen) {
  return Mul(pswA, [&](uint32_t i) { return pswB[i]; }, psiAcc, uwLen, true);
}
uint32_t LibVpuMacConstU16(const uint16_t* puwA, uint16_t uwK, uint32_t* puiAcc, uint16_t uwLen) {
  return Mul(puwA, [&](uint32_t) { return uwK; }, puiAcc, uwLen, true);
}
uint32_t LibVpuMacConstS16(const int16_t* pswA, int16_t swK, int32_t* psiAcc, uint16_t uwLen) {
  return Mul(pswA, [&](uint32_t) { return swK; }, psiAcc, uwLen, true);
}

// ---- Bitwise -------------------------------------------------------------------------------

LIB_VPU_BINARY(LibVpuAndU8, uint8_t, Stats::kAll, pA[i] & pB[i])
LIB_VPU_BINARY(LibVpuAndU16, uint16_t, Stats::kAll, pA[i] & pB[i])
LIB_VPU_BINARY(LibVpuOrU8, uint8_t, Stats::kAll, pA[i] | pB[i])
LIB_VPU_BINARY(LibVpuOrU16, uint16_t, Stats::kAll, pA[i] | pB[i])
LIB_VPU_BINARY(LibVpuXorU8, uint8_t, Stats::kAll, pA[i] ^ pB[i])
LIB_VPU_CONST(LibVpuAndConstU8, uint8_t, Stats::kAll, pA[i] & k)
LIB_VPU_CONST(LibVpuAndConstU16, uint16_t, Stats::kAll, pA[i] & k)
LIB_VPU_CONST(LibVpuOrConstU8, uint8_t, Stats::kAll, pA[i] | k)
LIB_VPU_CONST(LibVpuOrConstU16, uint16_t, Stats::kAll, pA[i] | k)

#undef LIB_VPU_BINARY
#undef LIB_VPU_CONST

// ---- Compare and search --------------------------------------------------------------------

uint32_t LibVpuEqU16(const uint16_t* puwA, const uint16_t* puwB, uint8_t* pubOut, uint16_t uwLen) {
  return MapVec<Stats::kNone>(pubOut, uwLen, [&](uint32_t i) { return uint8_t{puwA[i] == puwB[i]}; });
}
uint32_t LibVpuEqConstU16(const uint16_t* puwA, uint16_t uwK, uint8_t* pubOut, uint16_t uwLen) {
  return MapVec<Stats::kNone>(pubOut, uwLen, [&](uint32_t i) { return uint8_t{puwA[i] == uwK}; });
}
uint32_t LibVpuGtU16(const uint16_t* puwA, const uint16_t* puwB, uint8_t* pubOut, uint16_t uwLen) {
  return MapVec<Stats::kNone>(pubOut, uwLen, [&](uint32_t i) { return uint8_t{puwA[i] > puwB[i]}; });
}
uint32_t LibVpuGtS16(const int16_t* pswA, const int16_t* pswB, uint8_t* pubOut, uint16_t uwLen) {
  return MapVec<Stats::kNone>(pubOut, uwLen, [&](uint32_t i) { return uint8_t{pswA[i] > pswB[i]}; });
}
uint32_t LibVpuGtConstU16(const uint16_t* puwA, uint16_t uwK, uint8_t* pubOut, uint16_t uwLen) {
  return MapVec<Stats::kNone>(pubOut, uwLen, [&](uint32_t i) { return uint8_t{puwA[i] > uwK}; });
}
uint32_t LibVpuGtConstS16(const int16_t* pswA, int16_t swK, uint8_t* pubOut, uint16_t uwLen) {
  // The flags are 0 or 1, so their sum is the number set.
  return MapVec<Stats::kSum>(pubOut, uwLen, [&](uint32_t i) { return uint8_t{pswA[i] > swK}; });
}

uint32_t LibVpuSrchEqU16(const uint16_t* puwA, const uint16_t* puwB, uintptr_t* puxAddr, uint16_t uwLen) {
  return Search(puwA, uwLen, puxAddr, [&](uint32_t i) { return puwA[i] == puwB[i]; });
}
uint32_t LibVpuSrchEqConstU16(const uint16_t* puwA, uint16_t uwK, uintptr_t* puxAddr, uint16_t uwLen) {
  return Search(puwA, uwLen, puxAddr, [&](uint32_t i) { return puwA[i] == uwK; });
}
uint32_t LibVpuSrchGtU16(const uint16_t* puwA, const uint16_t* puwB, uintptr_t* puxAddr, uint16_t uwLen,
                         LibVpuDoneFunc pfnBefore) {
  return Search(puwA, uwLen, puxAddr, [&](uint32_t i) { return puwA[i] > puwB[i]; }, pfnBefore);
}
uint32_t LibVpuSrchGtConstU16(const uint16_t* puwA, uint16_t uwK, uintptr_t* puxAddr, uint16_t uwLen) {
  return Search(puwA, uwLen, puxAddr, [&](uint32_t i) { return puwA[i] > uwK; });
}

// ---- Select by flags -----------------------------------------------------------------------

uint32_t LibVpuListZU16(const uint16_t* puwA, const uint8_t* pubFlags, uint16_t* puwOut, uint16_t uwLen) {
  return ListPick(puwA, pubFlags, puwOut, uwLen, IsZero);
}
uint32_t LibVpuListNzU16(const uint16_t* puwA, const uint8_t* pubFlags, uint16_t* puwOut, uint16_t uwLen) {
  return ListPick(puwA, pubFlags, puwOut, uwLen, IsNonZero);
}
uint32_t LibVpuIfZU16(const uint16_t* puwA, const uint8_t* pubFlags, uint16_t* puwOut, uint16_t uwLen) {
  return IfPick(puwA, pubFlags, puwOut, uwLen, IsZero);
}
uint32_t LibVpuIfNzU16(const uint16_t* puwA, const uint8_t* pubFlags, uint16_t* puwOut, uint16_t uwLen) {
  return IfPick(puwA, pubFlags, puwOut, uwLen, IsNonZero);
}

// ---- Shifts, copies, fills, conversions ------------------------------------------------------

uint32_t LibVpuRightShiftU16(const uint16_t* puwA, uint8_t ubK, uint16_t* puwOut, uint16_t uwLen) {
  return MapVec<Stats::kNone>(puwOut, uwLen, [&](uint32_t i) { return static_cast<uint16_t>(puwA[i] >> (ubK & 31)); });
}
uint32_t LibVpuRightShiftS16(const int16_t* pswA, uint8_t ubK, int16_t* pswOut, uint16_t uwLen) {
  return MapVec<Stats::kNone>(pswOut, uwLen, [&](uint32_t i) { return static_cast<int16_t>(pswA[i] >> (ubK & 31)); });
}
uint32_t LibVpuRightShiftU32(uint32_t* puiVec, uint8_t ubK, uint16_t uwLen) {
  return MapVec<Stats::kNone>(puiVec, uwLen, [&](uint32_t i) { return puiVec[i] >> (ubK & 31); });
}
uint32_t LibVpuRightShiftS32(int32_t* psiVec, uint8_t ubK, uint16_t uwLen) {
  return MapVec<Stats::kNone>(psiVec, uwLen, [&](uint32_t i) { return psiVec[i] >> (ubK & 31); });
}

uint32_t LibVpuCopyU8(const uint8_t* pubSrc, uint8_t* pubDst, uint16_t uwLen) { return CopyVec(pubSrc, pubDst, uwLen); }
uint32_t LibVpuCopyU16(const uint16_t* puwSrc, uint16_t* puwDst, uint16_t uwLen) { return CopyVec(puwSrc, puwDst, uwLen); }
uint32_t LibVpuCopyU32(const uint32_t* puiSrc, uint32_t* puiDst, uint16_t uwLen) { return CopyVec(puiSrc, puiDst, uwLen); }
uint32_t LibVpuCopyU8Tiny(const uint8_t* pubSrc, uint8_t* pubDst, uint16_t uwLen) { return CopyVec(pubSrc, pubDst, uwLen); }
uint32_t LibVpuCopyU16Tiny(const uint16_t* puwSrc, uint16_t* puwDst, uint16_t uwLen) {
  return CopyVec(puwSrc, puwDst, uwLen);
}
uint32_t LibVpuMemSetU8(uint8_t* pubDst, uint8_t ubK, uint16_t uwLen) { return FillVec(pubDst, ubK, uwLen); }
uint32_t LibVpuMemSetU16(uint16_t* puwDst, uint16_t uwK, uint16_t uwLen) { return FillVec(puwDst, uwK, uwLen); }
uint32_t LibVpuMemSetU8Tiny(uint8_t* pubDst, uint8_t ubK, uint16_t uwLen) { return FillVec(pubDst, ubK, uwLen); }
uint32_t LibVpuMemSetU16Tiny(uint16_t* puwDst, uint16_t uwK, uint16_t uwLen) { return FillVec(puwDst, uwK, uwLen); }

namespace {
template <typename In, typename Out>
uint32_t Clamp(const In* pA, Out* pOut, uint16_t uwLen) {
  return MapVec<Stats::kNone>(pOut, uwLen, [&](uint32_t i) {
    const int64_t v = pA[i];
    const int64_t hi = std::numeric_limits<Out>::max();
    return static_cast<Out>(v < 0 ? 0 : (v > hi ? hi : v));
  });
}
}  // namespace

uint32_t LibVpuU16ToU8(const uint16_t* puwA, uint8_t* pubOut, uint16_t uwLen) { return Clamp(puwA, pubOut, uwLen); }
uint32_t LibVpuS16ToU8(const int16_t* pswA, uint8_t* pubOut, uint16_t uwLen) { return Clamp(pswA, pubOut, uwLen); }
uint32_t LibVpuS16ToU16(const int16_t* pswA, uint16_t* puwOut, uint16_t uwLen) { return Clamp(pswA, puwOut, uwLen); }
uint32_t LibVpuU32ToU16(const uint32_t* puiA, uint16_t* puwOut, uint16_t uwLen) { return Clamp(puiA, puwOut, uwLen); }
