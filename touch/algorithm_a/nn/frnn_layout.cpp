// Layout transforms between the five layouts, element conversions between the kinds, the
// pad fills that give blocked pad lanes and NCHW pad columns a defined value, and the
// convolution weight packers. Every transform moves real elements only, through one mover.
#include <cmath>
#include <limits>

#include "frnn_internal.h"
#include "tsa_memory.h"

namespace {

// Element address of (i, k, y, x) under a layout, from a shape record (the NCHW side's
// row stride and plane in the last two values; the other layouts are unpadded).
size_t Addr(uint32_t layout, const LayoutShape& s, uint32_t i, uint32_t k, uint32_t y, uint32_t x) {
  const size_t n = static_cast<uint32_t>(s.n), c = static_cast<uint32_t>(s.c), h = static_cast<uint32_t>(s.h),
               w = static_cast<uint32_t>(s.w);
  switch (layout) {
    case FRNN_LAYOUT_NCHW:
      return (i * c + k) * static_cast<uint32_t>(s.plane) + y * static_cast<size_t>(static_cast<uint32_t>(s.rowStride)) + x;
    case FRNN_LAYOUT_NHWC:
      return ((i * h + y) * w + x) * c + k;
    case FRNN_LAYOUT_CHWN:
      return ((k * h + y) * w + x) * n + i;
    default: {
      const size_t b = layout == FRNN_LAYOUT_NC8HW8 ? 8 : 4;
      const size_t cb = (c + b - 1) / b;
      return (((i * cb + k / b) * h + y) * w + x) * b + k % b;
    }
  }
}

uint32_t Mover(void* dst, const void* src, const LayoutShape* s, uint32_t es, uint32_t from, uint32_t to) {
  if (dst == nullptr || src == nullptr || s == nullptr) return FRNN_ERR_NULL;
  if (es != 1 && es != 2 && es != 4) return FRNN_ERR_UNSUPPORTED;
  if (s->n < 0 || s->c < 0 || s->h < 0 || s->w < 0) return FRNN_ERR_ARG;
  auto* d = static_cast<uint8_t*>(dst);
  const auto* p = static_cast<const uint8_t*>(src);
  if (s->w == 0) return FRNN_OK;
  // Along a row every layout steps by a fixed count of elements: the addresses are worked
  // out once per row and the row's elements moved at those steps.
  for (uint32_t i = 0; i < static_cast<uint32_t>(s->n); ++i)
    for (uint32_t k = 0; k < static_cast<uint32_t>(s->c); ++k)
      for (uint32_t y = 0; y < static_cast<uint32_t>(s->h); ++y) {
        const size_t dBase = Addr(to, *s, i, k, y, 0), pBase = Addr(from, *s, i, k, y, 0);
        const size_t dStep = s->w > 1 ? Addr(to, *s, i, k, y, 1) - dBase : 0;
        const size_t pStep = s->w > 1 ? Addr(from, *s, i, k, y, 1) - pBase : 0;
        const uint32_t w = static_cast<uint32_t>(s->w);
        if (es == 2) {
          auto* dr = reinterpret_cast<uint16_t*>(d) + dBase;
          const auto* pr = reinterpret_cast<const uint16_t*>(p) + pBase;
          for (uint32_t x = 0; x < w; ++x) memcpy(dr + x * dStep, pr + x * pStep, 2);
        } else {
          for (uint32_t x = 0; x < w; ++x) memcpy(d + (dBase + x * dStep) * es, p + (pBase + x * pStep) * es, es);
        }
      }
  return FRNN_OK;
}

// The new tensor of a transform: the general creator, or built in place (unpadded rows;
// blocked channels sized to whole blocks).
FrnnTensor* NewLike(const FrnnTensor* src, uint32_t layout, bool bPadded, void* pool) {
  if (src->uiKind == FRNN_KIND_QT && layout == FRNN_LAYOUT_CHWN) {
    return FrnnQuanTensorCreate(src->uiN, src->uiW, src->uiH, src->uiC, src->uiElemSize, src->uiParamMode, layout,
                                src->uiKind, pool);
  }
  if (bPadded) {
    return FrnnTensorCreate(src->uiN, src->uiW, src->uiH, src->uiC, src->uiDims, src->uiElemSize, layout,
                            src->uiKind, pool);
  }
  const uint32_t b = layout == FRNN_LAYOUT_NC4HW4 ? 4 : (layout == FRNN_LAYOUT_NC8HW8 ? 8 : 1);
  FrnnTensor* t = TensorCreateUnpadded(src->uiN, src->uiW, src->uiH, RoundUp(src->uiC, b), src->uiDims,
                                       src->uiElemSize, layout, src->uiKind, pool);
  if (t != nullptr) {
    t->uiC = src->uiC;
    t->uiParamMode = src->uiC;
    t->pvQuant1 = t->pvQuant2 = nullptr;
  }
  return t;
}

uint32_t Transform(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool, uint32_t from, uint32_t to, bool bPadded,
                   bool bCopyC) {
  if (src == nullptr || ppstOut == nullptr) return FRNN_ERR_ARG;
  // A source in another layout than the entry's would be read at the wrong places.
  if (src->uiLayout != from) return FRNN_ERR_UNSUPPORTED;
  const uint32_t es = src->uiElemSize;
  // Elements are moved whole; a size the mover does not know is refused before anything
  // is made, rather than handing back a tensor that was never written.
  if (es != 1 && es != 2 && es != 4) return FRNN_ERR_UNSUPPORTED;
  FrnnTensor* out = NewLike(src, to, bPadded, pool);
  if (out == nullptr) return FRNN_ERR_NOMEM;
  if (src->uiKind == FRNN_KIND_QT) {
    out->siTag1 = src->siTag1;
    if (to == FRNN_LAYOUT_CHWN || from == FRNN_LAYOUT_CHWN) {
      if (src->pvQuantParam != nullptr && out->pvQuantParam != nullptr) {
        FrMemcpy(out->pvQuantParam, src->pvQuantParam, (src->uiParamMode < 2 ? 1 : src->uiC) * 8);
      }
    } else {
      out->pvQuant1 = src->pvQuant1;
      out->pvQuantParam = src->pvQuantParam;
    }
  }
  const FrnnTensor* planar = to == FRNN_LAYOUT_NCHW ? out : src;
  LayoutShape s{static_cast<int32_t>(src->uiN), static_cast<int32_t>(src->uiC), static_cast<int32_t>(src->uiH),
                static_cast<int32_t>(src->uiW), static_cast<int32_t>(planar->uiRowStride),
                static_cast<int32_t>(planar->uiPlane)};
  Mover(out->pvData, src->pvData, &s, es, from, to);
  if (bCopyC) {
    out->uiC = src->uiC;
    out->uiParamMode = src->uiParamMode;
  }
  *ppstOut = out;
  return FRNN_OK;
}

// ---------------------------------------------------------------------------------------
// Element conversions.

// Scale to q fraction bits: 2^q for every q below 32 (a shifted 16-bit integer would turn
// negative at 15 and vanish above).
float ToFixedScale(uint32_t q) { return std::ldexp(1.0f, static_cast<int>(q & 31u)); }
float FromFixedScale(uint32_t q) { return std::ldexp(1.0f, -static_cast<int>(q & 31u)); }

template <typename T>
T RoundSaturate(double v) {
  if (std::isnan(v)) return 0;
  v = v > 0 ? v + 0.5 : v - 0.5;
  if (v >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
  if (v <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
  return static_cast<T>(std::trunc(v));
}

enum class Maker { General, InPlace };

// Converts every real element with fn(source element bits) -> destination element.
template <typename S, typename D, typename Fn>
uint32_t Convert(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool, uint32_t kind, Maker maker, bool bLayout0,
                 int32_t tag, Fn fn) {
  if (src == nullptr || ppstOut == nullptr) return FRNN_ERR_ARG;
  if (bLayout0 && maker == Maker::InPlace && src->uiLayout != FRNN_LAYOUT_NCHW) return FRNN_ERR_UNSUPPORTED;
  if (src->uiElemSize != sizeof(S)) return FRNN_ERR_UNSUPPORTED;
  FrnnTensor* tmp = nullptr;
  const FrnnTensor* from = src;
  if (src->uiLayout == FRNN_LAYOUT_NC8HW8 && (kind == FRNN_KIND_S16 || kind == FRNN_KIND_S32) && sizeof(S) == 2) {
    const uint32_t r = FrnnTensorLayoutNC8HW8ToNCHW(src, &tmp, pool);
    if (r != FRNN_OK) return r;
    from = tmp;
  }
  FrnnTensor* out = maker == Maker::General
                        ? FrnnTensorCreate(from->uiN, from->uiW, from->uiH, from->uiC, from->uiDims, sizeof(D),
                                           from->uiLayout, kind, pool)
                        : TensorCreateUnpadded(from->uiN, from->uiW, from->uiH, from->uiC, from->uiDims, sizeof(D),
                                               FRNN_LAYOUT_NCHW, kind, pool);
  if (out == nullptr || (bLayout0 && from->uiLayout != FRNN_LAYOUT_NCHW)) {
    if (out != nullptr) FrnnTensorDestroy(&out, pool);
    DropTensor(tmp, pool);
    return out == nullptr ? FRNN_ERR_NOMEM : FRNN_ERR_UNSUPPORTED;
  }
  // Plane by plane and row by row through both tensors' strides; a blocked source is
  // converted in buffer order over its whole (sized) extent.
  if (from->uiLayout == FRNN_LAYOUT_NCHW) {
    for (uint32_t i = 0; i < from->uiN; ++i)
      for (uint32_t k = 0; k < from->uiC; ++k)
        for (uint32_t y = 0; y < from->uiH; ++y)
          for (uint32_t x = 0; x < from->uiW; ++x) At<D>(out, i, k, y, x) = fn(At<S>(from, i, k, y, x));
  } else {
    const size_t count = static_cast<size_t>(from->uiN) * SizedChannels(from) * from->uiH * from->uiW;
    for (size_t j = 0; j < count; ++j) Elems<D>(out)[j] = fn(Elems<const S>(from)[j]);
  }
  DropTensor(tmp, pool);
  out->siTag1 = tag;
  *ppstOut = out;
  return FRNN_OK;
}

// Pad-lane and pad-column fill of one element type; mode 0 writes the value, mode 1
// copies the last real lane or column.
template <typename T>
uint32_t PadFill(FrnnTensor* t, uint32_t mode, T value, uint32_t blockLayout, uint32_t maxMode) {
  if (t == nullptr) return FRNN_ERR_NULL;
  if (mode > maxMode) return FRNN_ERR_UNSUPPORTED;
  if (t->pvData == nullptr) return FRNN_OK;
  T* p = Elems<T>(t);
  if (t->uiLayout == blockLayout) {
    const uint32_t b = blockLayout == FRNN_LAYOUT_NC8HW8 ? 8 : 4;
    if (t->uiC % b == 0) return FRNN_OK;
    const uint32_t real = t->uiC % b;
    const size_t pix = static_cast<size_t>(t->uiH) * t->uiW;
    for (uint32_t i = 0; i < t->uiN; ++i) {
      T* blk = p + static_cast<size_t>(i) * pix * RoundUp(t->uiC, b) + static_cast<size_t>(t->uiC / b * b) * pix;
      for (size_t px = 0; px < pix; ++px)
        for (uint32_t l = real; l < b; ++l) blk[px * b + l] = mode == 0 ? value : blk[px * b + real - 1];
    }
    return FRNN_OK;
  }
  if (t->uiLayout == FRNN_LAYOUT_NCHW) {
    if (t->uiRowStride <= t->uiW || t->uiH == 0 || t->uiW == 0) return FRNN_OK;
    const size_t rows = static_cast<size_t>(t->uiN) * t->uiC * t->uiH;
    for (size_t r = 0; r < rows; ++r) {
      T* row = p + r * t->uiRowStride;
      for (uint32_t x = t->uiW; x < t->uiRowStride; ++x) row[x] = mode == 0 ? value : row[t->uiW - 1];
    }
  }
  return FRNN_OK;
}

uint32_t Pack(void* dst, const void* src, const int32_t* shape, uint32_t es, int32_t B) {
  if (dst == nullptr || src == nullptr || shape == nullptr) return FRNN_OK;
  if (es != 1 && es != 2 && es != 4) return FRNN_OK;
  const int32_t O = shape[0], I = shape[1], KH = shape[2], KW = shape[3];
  if (O < B || I < 0 || KH < 0 || KW < 0) return FRNN_OK;
  auto* d = static_cast<uint8_t*>(dst);
  const auto* s = static_cast<const uint8_t*>(src);
  for (int32_t o0 = 0; o0 < O - (B - 1); o0 += B)
    for (int32_t i0 = 0; i0 < I - (B - 1); i0 += B)
      for (int32_t r = 0; r < KH; ++r)
        for (int32_t c = 0; c < KW; ++c)
          for (int32_t i = i0; i < i0 + B; ++i)
            for (int32_t o = o0; o < o0 + B; ++o) {
              const size_t di = static_cast<size_t>(o0) * I * KH * KW + static_cast<size_t>(i / B) * KH * KW * B * B +
                                static_cast<size_t>(r * KW + c) * B * B + static_cast<size_t>(i % B) * B + (o % B);
              const size_t si = ((static_cast<size_t>(o) * I + i) * KH + r) * KW + c;
              memcpy(d + di * es, s + si * es, es);
            }
  return FRNN_OK;
}

}  // namespace

uint32_t LayoutKernelNchwToNc8hw8(void* d, const void* s, const LayoutShape* sh, uint32_t es) {
  return Mover(d, s, sh, es, FRNN_LAYOUT_NCHW, FRNN_LAYOUT_NC8HW8);
}
uint32_t LayoutKernelNc8hw8ToNchw(void* d, const void* s, const LayoutShape* sh, uint32_t es) {
  return Mover(d, s, sh, es, FRNN_LAYOUT_NC8HW8, FRNN_LAYOUT_NCHW);
}
uint32_t LayoutKernelNhwcToNc8hw8(void* d, const void* s, const LayoutShape* sh, uint32_t es) {
  return Mover(d, s, sh, es, FRNN_LAYOUT_NHWC, FRNN_LAYOUT_NC8HW8);
}
uint32_t LayoutKernelNc8hw8ToNhwc(void* d, const void* s, const LayoutShape* sh, uint32_t es) {
  return Mover(d, s, sh, es, FRNN_LAYOUT_NC8HW8, FRNN_LAYOUT_NHWC);
}
uint32_t LayoutKernelNchwToNhwc(void* d, const void* s, const LayoutShape* sh, uint32_t es) {
  return Mover(d, s, sh, es, FRNN_LAYOUT_NCHW, FRNN_LAYOUT_NHWC);
}
uint32_t LayoutKernelNc8hw8ToNc4hw4(void* d, const void* s, const LayoutShape* sh, uint32_t es) {
  return Mover(d, s, sh, es, FRNN_LAYOUT_NC8HW8, FRNN_LAYOUT_NC4HW4);
}
uint32_t LayoutKernelNc4hw4ToNc8hw8(void* d, const void* s, const LayoutShape* sh, uint32_t es) {
  return Mover(d, s, sh, es, FRNN_LAYOUT_NC4HW4, FRNN_LAYOUT_NC8HW8);
}
uint32_t LayoutKernelNchwToNc4hw4(void* d, const void* s, const LayoutShape* sh, uint32_t es) {
  return Mover(d, s, sh, es, FRNN_LAYOUT_NCHW, FRNN_LAYOUT_NC4HW4);
}
uint32_t LayoutKernelNc4hw4ToNchw(void* d, const void* s, const LayoutShape* sh, uint32_t es) {
  return Mover(d, s, sh, es, FRNN_LAYOUT_NC4HW4, FRNN_LAYOUT_NCHW);
}

void TransposeNchwToNhwcU32(uint32_t* dst, const uint32_t* src, uint32_t n, uint32_t c, uint32_t h, uint32_t w,
                            uint32_t plane, uint32_t imageSize) {
  if (dst == nullptr || src == nullptr) return;
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t k = 0; k < c; ++k)
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
          dst[static_cast<size_t>(i) * imageSize + (static_cast<size_t>(y) * w + x) * c + k] =
              src[(static_cast<size_t>(i) * c + k) * plane + static_cast<size_t>(y) * w + x];
}

uint32_t FrnnTensorLayoutNCHWToNC8HW8(const FrnnTensor* s, FrnnTensor** o, void* pool) {
  return Transform(s, o, pool, FRNN_LAYOUT_NCHW, FRNN_LAYOUT_NC8HW8, true, false);
}
uint32_t FrnnTensorLayoutNC8HW8ToNCHW(const FrnnTensor* s, FrnnTensor** o, void* pool) {
  return Transform(s, o, pool, FRNN_LAYOUT_NC8HW8, FRNN_LAYOUT_NCHW, true, true);
}
uint32_t FrnnTensorLayoutNHWCToNC8HW8(const FrnnTensor* s, FrnnTensor** o, void* pool) {
  return Transform(s, o, pool, FRNN_LAYOUT_NHWC, FRNN_LAYOUT_NC8HW8, true, false);
}
uint32_t FrnnTensorLayoutNC8HW8ToNHWC(const FrnnTensor* s, FrnnTensor** o, void* pool) {
  return Transform(s, o, pool, FRNN_LAYOUT_NC8HW8, FRNN_LAYOUT_NHWC, false, true);
}
uint32_t FrnnTensorLayoutNCHWToNHWC(const FrnnTensor* s, FrnnTensor** o, void* pool) {
  return Transform(s, o, pool, FRNN_LAYOUT_NCHW, FRNN_LAYOUT_NHWC, false, false);
}
uint32_t FrnnTensorLayoutNCHWToCHWN(const FrnnTensor* s, FrnnTensor** o, void* pool) {
  return Transform(s, o, pool, FRNN_LAYOUT_NCHW, FRNN_LAYOUT_CHWN, false, false);
}
uint32_t FrnnTensorLayoutCHWNToNCHW(const FrnnTensor* s, FrnnTensor** o, void* pool) {
  return Transform(s, o, pool, FRNN_LAYOUT_CHWN, FRNN_LAYOUT_NCHW, true, false);
}
uint32_t FrnnTensorLayoutNCHWToNC4HW4(const FrnnTensor* s, FrnnTensor** o, void* pool) {
  return Transform(s, o, pool, FRNN_LAYOUT_NCHW, FRNN_LAYOUT_NC4HW4, false, false);
}
uint32_t FrnnTensorLayoutNC4HW4ToNCHW(const FrnnTensor* s, FrnnTensor** o, void* pool) {
  return Transform(s, o, pool, FRNN_LAYOUT_NC4HW4, FRNN_LAYOUT_NCHW, true, true);
}
uint32_t TensorLayoutNC8HW8ToNC4HW4(const FrnnTensor* s, FrnnTensor** o, void* pool) {
  return Transform(s, o, pool, FRNN_LAYOUT_NC8HW8, FRNN_LAYOUT_NC4HW4, false, true);
}
uint32_t TensorLayoutNC4HW4ToNC8HW8(const FrnnTensor* s, FrnnTensor** o, void* pool) {
  return Transform(s, o, pool, FRNN_LAYOUT_NC4HW4, FRNN_LAYOUT_NC8HW8, true, true);
}

uint32_t TensorQuantizeF32ToS16(const FrnnTensor* s, FrnnTensor** o, uint32_t q, void* pool) {
  const float sc = ToFixedScale(q);
  return Convert<float, int16_t>(s, o, pool, FRNN_KIND_S16, Maker::General, false, 3,
                                 [&](float v) { return RoundSaturate<int16_t>(static_cast<double>(v * sc)); });
}

uint32_t TensorQuantizeF16ToS16(const FrnnTensor* s, FrnnTensor** o, uint32_t q, void* pool) {
  const uint16_t uwS = FH(ToFixedScale(q));
  const uint16_t uwHalf = FH(0.5f);
  return Convert<uint16_t, int16_t>(s, o, pool, FRNN_KIND_S16, Maker::General, false, 3, [&](uint16_t v) -> int16_t {
    // Multiply, add the half and truncate, each in half precision.
    const uint16_t p = HalfMul(v, uwS);
    const float r = HF(HF(p) > 0 ? HalfAdd(p, uwHalf) : HalfSub(p, uwHalf));
    if (std::isnan(r)) return 0;
    if (r >= 32767.0f) return 32767;
    if (r <= -32768.0f) return -32768;
    return static_cast<int16_t>(std::trunc(r));
  });
}

uint32_t FrnnTensorConvertF32ToS32(const FrnnTensor* s, FrnnTensor** o, uint32_t q, void* pool) {
  const float sc = ToFixedScale(q);
  return Convert<float, int32_t>(s, o, pool, FRNN_KIND_S32, Maker::InPlace, true, 5,
                                 [&](float v) { return RoundSaturate<int32_t>(static_cast<double>(v * sc)); });
}

uint32_t FrnnTensorConvertS32ToF32(const FrnnTensor* s, FrnnTensor** o, uint32_t q, void* pool) {
  const float sc = FromFixedScale(q);
  return Convert<int32_t, float>(s, o, pool, FRNN_KIND_F32, Maker::InPlace, true, 7,
                                 [&](int32_t v) { return static_cast<float>(v) * sc; });
}

uint32_t TensorConvertS32ToF16(const FrnnTensor* s, FrnnTensor** o, uint32_t q, void* pool) {
  const float sc = FromFixedScale(q);
  return Convert<int32_t, uint16_t>(s, o, pool, FRNN_KIND_F16, Maker::General, true, 8,
                                    [&](int32_t v) { return FH(static_cast<float>(v) * sc); });
}

uint32_t FrnnTensorConvertF32ToF16(const FrnnTensor* s, FrnnTensor** o, void* pool) {
  return Convert<float, uint16_t>(s, o, pool, FRNN_KIND_F16, Maker::General, false, 8,
                                  [](float v) { return FH(v); });
}

uint32_t FrnnTensorConvertF16ToF32(const FrnnTensor* s, FrnnTensor** o, void* pool) {
  return Convert<uint16_t, float>(s, o, pool, FRNN_KIND_F32, Maker::General, false, 7,
                                  [](uint16_t v) { return HF(v); });
}

uint32_t TensorConvertS16ToF16(const FrnnTensor* s, FrnnTensor** o, uint32_t q, void* pool) {
  const float sc = FromFixedScale(q);
  return Convert<int16_t, uint16_t>(s, o, pool, FRNN_KIND_F16, Maker::General, false, 3,
                                    [&](int16_t v) { return FH(static_cast<float>(v) * sc); });
}

uint32_t TensorConvertS32ToS16(const FrnnTensor* s, FrnnTensor** o, void* pool) {
  return Convert<int32_t, int16_t>(s, o, pool, FRNN_KIND_S16, Maker::General, true, 3, [](int32_t v) {
    return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
  });
}

uint32_t FrnnTensorConvertS16ToS32(const FrnnTensor* s, FrnnTensor** o, void* pool) {
  return Convert<int16_t, int32_t>(s, o, pool, FRNN_KIND_S32, Maker::InPlace, false, 5,
                                   [](int16_t v) { return static_cast<int32_t>(v); });
}

uint32_t TensorConvertS16ToF32(const FrnnTensor* s, FrnnTensor** o, uint32_t q, void* pool) {
  const float sc = FromFixedScale(q);
  return Convert<int16_t, float>(s, o, pool, FRNN_KIND_F32, Maker::General, false, 3,
                                 [&](int16_t v) { return static_cast<float>(v) * sc; });
}

void FrnnConvertI16ToF16(const int16_t* src, uint16_t* dst, uint32_t q, int32_t count) {
  if (src == nullptr || dst == nullptr) return;
  const float sc = FromFixedScale(q);
  for (int32_t j = 0; j < count; ++j) dst[j] = FH(static_cast<float>(src[j]) * sc);
}

uint32_t FrnnPadMaskAlignedQuanF16(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool) {
  if (src == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  const uint32_t w8 = RoundUp(src->uiW, 8);
  const uint64_t ulRows = static_cast<uint64_t>(src->uiN) * src->uiC * src->uiH;
  const uint64_t ulBytes = (ulRows * w8 + 15) / 16 * 16 + 112;
  if (ulBytes > 0x7FFFFFFFu || src->pvData == nullptr) return FRNN_ERR_STEP;
  auto* pubBlock = static_cast<uint8_t*>(NnPoolAlloc(pool, static_cast<int32_t>(ulBytes), "FrnnTensorCreate", 91));
  if (pubBlock == nullptr) return FRNN_ERR_STEP;
  auto* t = reinterpret_cast<FrnnTensor*>(pubBlock + (ulRows * w8 + 15) / 16 * 16 + 8);
  *t = FrnnTensor{};
  t->uiN = src->uiN;
  t->uiH = src->uiH;
  t->uiC = src->uiC;
  t->uiW = w8;
  t->uiParamMode = src->uiC;
  t->uiDims = 3;
  t->uiElemSize = 1;
  t->uiRowStride = w8;
  t->uiPlane = src->uiH * w8;
  t->uiKind = FRNN_KIND_Q;
  t->siTag1 = -1;
  t->siTag2 = -1;
  t->pvData = pubBlock;
  for (uint64_t r = 0; r < ulRows; ++r) {
    FrMemcpy(pubBlock + r * w8, static_cast<const uint8_t*>(src->pvData) + r * src->uiW, src->uiW);
    FrMemset(pubBlock + r * w8 + src->uiW, 0, w8 - src->uiW);
  }
  *ppstOut = t;
  return FRNN_OK;
}

uint32_t TensorPadFillF16(FrnnTensor* t, uint32_t mode, uint16_t value) {
  return PadFill<uint16_t>(t, mode, value, FRNN_LAYOUT_NC8HW8, 1);
}
uint32_t TensorPadFillS16(FrnnTensor* t, uint32_t mode, uint32_t value) {
  return PadFill<uint16_t>(t, mode, static_cast<uint16_t>(value), FRNN_LAYOUT_NC8HW8, 1);
}
uint32_t TensorPadFillF32(FrnnTensor* t, uint32_t mode, float value) {
  return PadFill<float>(t, mode, value, FRNN_LAYOUT_NC4HW4, 1);
}
uint32_t TensorPadFillU8(FrnnTensor* t, uint32_t mode, uint32_t value) {
  return PadFill<uint8_t>(t, mode, static_cast<uint8_t>(value), FRNN_LAYOUT_NC8HW8, 0);
}
void TensorPadFillU16(FrnnTensor* t, uint16_t value) { (void)PadFill<uint16_t>(t, 0, value, FRNN_LAYOUT_NC8HW8, 0); }

uint32_t ConvWeightPackO8I8(void* dst, const void* src, const int32_t* shape, uint32_t es) {
  return Pack(dst, src, shape, es, 8);
}
uint32_t ConvWeightPackO4I4(void* dst, const void* src, const int32_t* shape, uint32_t es) {
  return Pack(dst, src, shape, es, 4);
}
