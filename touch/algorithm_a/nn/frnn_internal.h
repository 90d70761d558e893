#pragma once
// Helpers the engine's own files share: scalar half arithmetic (every step computed in
// single precision and rounded to half, the rule the vector kernels follow too), the
// pool tag of a caller, and small shape helpers.
#include <cstdint>
#include <cstring>

#include "frnn.h"

#define FRNN_POOL_ALLOC(pool, bytes) NnPoolAlloc((pool), static_cast<int32_t>(bytes), __func__, __LINE__)

float HalfToSingleOnce(uint16_t h);

inline float BitsToFloat(uint32_t u);
// Exact widening on the bit pattern, inline because every scalar kernel calls it per term.
inline float HF(uint16_t h) {
  const uint32_t uiSign = static_cast<uint32_t>(h & 0x8000u) << 16;
  const uint32_t uiExp = (h >> 10) & 0x1Fu;
  const uint32_t uiMant = h & 0x3FFu;
  if (uiExp == 0) {
    // Zero or subnormal: mant x 2^-24, exact in single precision.
    const float f = static_cast<float>(uiMant) * 5.9604644775390625e-8f;
    return uiSign ? -f : f;
  }
  if (uiExp == 31) {
    // Infinity, or a NaN made quiet as every IEEE conversion does.
    return BitsToFloat(uiSign | 0x7F800000u | (uiMant << 13) | (uiMant != 0 ? 0x00400000u : 0u));
  }
  return BitsToFloat(uiSign | ((uiExp + 112u) << 23) | (uiMant << 13));
}
inline uint32_t FloatToBits(float f);
// Round to nearest even on the bit pattern, inline for the same reason.
inline uint16_t FH(float f) {
  const uint32_t x = FloatToBits(f);
  const uint16_t uwSign = static_cast<uint16_t>((x >> 16) & 0x8000u);
  const uint32_t ax = x & 0x7FFFFFFFu;
  if (ax >= 0x7F800000u) {
    if (ax > 0x7F800000u) return static_cast<uint16_t>(uwSign | 0x7E00u | ((ax >> 13) & 0x3FFu));
    return static_cast<uint16_t>(uwSign | 0x7C00u);
  }
  if (ax >= 0x477FF000u) return static_cast<uint16_t>(uwSign | 0x7C00u);  // 65520 and above
  if (ax < 0x38800000u) {                                                 // below 2^-14
    if (ax <= 0x33000000u) return uwSign;                                 // at most 2^-25: ties to 0
    const uint32_t e = ax >> 23;
    const uint32_t m = (ax & 0x7FFFFFu) | 0x800000u;
    const uint32_t s = 126u - e;  // 14..24
    uint32_t q = m >> s;
    const uint32_t rem = m & ((1u << s) - 1u);
    const uint32_t half = 1u << (s - 1u);
    if (rem > half || (rem == half && (q & 1u))) ++q;
    return static_cast<uint16_t>(uwSign | q);
  }
  const uint32_t r = ax - 0x38000000u;
  const uint32_t q = (r + 0xFFFu + ((r >> 13) & 1u)) >> 13;
  return static_cast<uint16_t>(uwSign | q);
}

// acc + a * b: the product of two halves is exact in single precision, so this is one
// rounding to single and one to half, whether or not the hardware fuses it.
inline uint16_t HalfFma(uint16_t acc, uint16_t a, uint16_t b) { return FH(HF(acc) + HF(a) * HF(b)); }
inline uint16_t HalfAdd(uint16_t a, uint16_t b) { return FH(HF(a) + HF(b)); }
inline uint16_t HalfSub(uint16_t a, uint16_t b) { return FH(HF(a) - HF(b)); }
inline uint16_t HalfMul(uint16_t a, uint16_t b) { return FH(HF(a) * HF(b)); }

inline constexpr uint16_t kHalfOne = 0x3C00;
inline constexpr uint16_t kHalfZero = 0x0000;

inline uint32_t RoundUp(uint32_t x, uint32_t a) { return (x + a - 1) / a * a; }

// Outputs along one axis of a window layer: 0 when the (dilated) window is larger than the
// input it slides over. Integer division alone would round the negative span of a window
// one node too large to 0 at a stride above 1, and so give one output that reads past the
// plane.
inline int64_t WindowOutputs(int64_t in, uint32_t dilation, uint32_t kernel, uint32_t stride) {
  const int64_t span = static_cast<int64_t>(dilation) * (static_cast<int64_t>(kernel) - 1) + 1;
  if (kernel == 0 || stride == 0 || in < span) return 0;
  return (in - span) / static_cast<int64_t>(stride) + 1;
}

// Channel count a blocked layout sizes its images with.
inline uint32_t SizedChannels(const FrnnTensor* t) {
  if (t->uiLayout == FRNN_LAYOUT_NC8HW8) return RoundUp(t->uiC, 8);
  if (t->uiLayout == FRNN_LAYOUT_NC4HW4) return RoundUp(t->uiC, 4);
  return t->uiC;
}

// A half-precision NCHW tensor whose rows are not whole 8-value vectors.
inline bool HalfRowRefused(const FrnnTensor* t) {
  return t->uiKind == FRNN_KIND_F16 && t->uiLayout == FRNN_LAYOUT_NCHW && (t->uiRowStride % 8) != 0;
}

template <typename T>
inline T* Elems(const FrnnTensor* t) {
  return static_cast<T*>(t->pvData);
}

// Element (i, k, y, x) of an NCHW tensor.
template <typename T>
inline T& At(const FrnnTensor* t, uint32_t i, uint32_t k, uint32_t y, uint32_t x) {
  return Elems<T>(t)[(static_cast<size_t>(i) * t->uiC + k) * t->uiPlane + static_cast<size_t>(y) * t->uiRowStride +
                     x];
}

// Element (i, k, y, x) of a tensor in any layout but NHWC.
inline size_t IndexOf(const FrnnTensor* t, uint32_t i, uint32_t k, uint32_t y, uint32_t x) {
  switch (t->uiLayout) {
    case FRNN_LAYOUT_CHWN:
      return (x + static_cast<size_t>(t->uiPlane) * k + static_cast<size_t>(t->uiRowStride) * y) * t->uiN + i;
    case FRNN_LAYOUT_NC8HW8:
    case FRNN_LAYOUT_NC4HW4: {
      const uint32_t b = t->uiLayout == FRNN_LAYOUT_NC8HW8 ? 8 : 4;
      return static_cast<size_t>(t->uiPlane) * (k / b * b + static_cast<size_t>(RoundUp(t->uiC, b)) * i) +
             (x + static_cast<size_t>(t->uiRowStride) * y) * b + k % b;
    }
    default:
      return (static_cast<size_t>(i) * t->uiC + k) * t->uiPlane + static_cast<size_t>(y) * t->uiRowStride + x;
  }
}

inline float BitsToFloat(uint32_t u) {
  float f;
  memcpy(&f, &u, 4);
  return f;
}
inline uint32_t FloatToBits(float f) {
  uint32_t u;
  memcpy(&u, &f, 4);
  return u;
}

// Destroys a pool tensor held in a local pointer (null is fine).
inline void DropTensor(FrnnTensor*& t, void* pool) {
  if (t != nullptr) FrnnTensorDestroy(&t, pool);
}
