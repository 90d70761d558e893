// Depthwise convolution kernels and their dispatch table. Every kernel computes what the
// reference route defines (bias, then one multiply-add per tap in tap order, rounded to
// half after every term for half precision), so each is bit-equal to it; they differ in
// how they walk the data. The planar (NCHW) members share the tap-row body of the
// reference route; the blocked members put 8 (half) or 4 (single) channels in the lanes
// of one pixel and read weights repacked per block.
#include <cmath>

#include "frnn_conv_kernels.h"
#include "frnn_fast.h"
#include "frnn_internal.h"
#include "tsa_memory.h"

namespace {

// Most taps the fast path keeps (a 5 x 5 kernel).
constexpr uint32_t kFastTaps = 25;

struct Geometry {
  uint32_t kH, kW, sH, sW, dH, dW;
};

bool Is(const DepthwiseConvLayer* l, const Geometry& g) {
  return l->kernelHeight == g.kH && l->kernelWidth == g.kW && l->strideHeight == g.sH && l->strideWidth == g.sW &&
         l->dilationHeight == g.dH && l->dilationWidth == g.dW;
}

// The planar half-precision shapes with a kernel of their own (kH x kW, strides, dilations).
constexpr Geometry kNchwF16[] = {
    {3, 3, 1, 1, 1, 1},  // built-in 3x3 stride-1 route
    {3, 3, 2, 2, 1, 1},  // DepthwiseKernel3x3S2NchwF16
    {3, 1, 1, 1, 1, 1},  // DepthwiseKernel3x1S1NchwF16
    {1, 3, 1, 1, 1, 1},  // DepthwiseKernel1x3S1NchwF16
    {1, 1, 1, 1, 1, 1},  // DepthwiseKernel1x1NchwF16
    {1, 3, 1, 2, 1, 1},  // DepthwiseKernel1x3S1x2NchwF16
    {3, 1, 2, 1, 1, 1},  // DepthwiseKernel3x1S2x1NchwF16
    {3, 3, 1, 1, 2, 2},  // DepthwiseKernel3x3D2NchwF16
};
constexpr Geometry kNchwF32[] = {
    {3, 3, 1, 1, 1, 1},  // DepthwiseKernel3x3S1NchwF32
    {3, 3, 2, 2, 1, 1},  // DepthwiseKernel3x3S2NchwF32
    {1, 1, 1, 1, 1, 1},  // DepthwiseKernel1x1NchwF32
};
constexpr Geometry kNc4F32[] = {
    {1, 1, 1, 1, 1, 1},  // DepthwiseKernel1x1Nc4F32
    {3, 3, 2, 2, 1, 1},  // DepthwiseKernel3x3S2Nc4F32
    {3, 3, 1, 1, 1, 1},  // DepthwiseKernel3x3S1Nc4F32
};

template <size_t N>
bool AnyOf(const DepthwiseConvLayer* l, const Geometry (&table)[N]) {
  for (const Geometry& g : table) {
    if (Is(l, g)) return true;
  }
  return false;
}

uint32_t RunNchw(const DepthwiseConvLayer* l, const FrnnTensor* in, FrnnTensor* padded, FrnnTensor* out) {
  int32_t off[9];
  DepthwiseTapOffsets(l, in, padded, off);
  uint32_t res = FRNN_OK;
  DepthwiseNchwBody(l, in, padded, out, off, &res);
  return res;
}

// Packed weights of a blocked layout: per block and tap, B consecutive lanes (lane l =
// channel B x block + l, 0 past the channel count); the bias rounded up the same way.
template <typename T, uint32_t B>
struct Packed {
  void* pool;
  T* pW = nullptr;
  T* pB = nullptr;
  ~Packed() {
    NnPoolFree(pool, pW);
    NnPoolFree(pool, pB);
  }
  uint32_t Build(const DepthwiseConvLayer* l, uint32_t C) {
    const uint32_t taps = l->kernelHeight * l->kernelWidth;
    const uint32_t CB = RoundUp(C, B);
    const uint64_t ulBytes = static_cast<uint64_t>(CB) * taps * sizeof(T);
    if (ulBytes + 16 > 0x7FFFFFFFu) return FRNN_ERR_NOMEM;
    pW = static_cast<T*>(NnPoolAlloc(pool, static_cast<int32_t>(ulBytes + 16), "DepthwiseConvKernelDispatch", 0));
    if (pW == nullptr) return FRNN_ERR_NOMEM;
    FrMemset(pW, 0, static_cast<uint32_t>(ulBytes));
    const T* w = Elems<const T>(&l->weights);
    for (uint32_t c = 0; c < C; ++c)
      for (uint32_t t = 0; t < taps; ++t) pW[(static_cast<size_t>(c / B) * taps + t) * B + c % B] = w[c * taps + t];
    if (l->hasBias) {
      pB = static_cast<T*>(NnPoolAlloc(pool, static_cast<int32_t>(CB * sizeof(T) + 16), "DepthwiseConvKernelDispatch", 0));
      if (pB == nullptr) return FRNN_ERR_NOMEM;
      FrMemcpy(pB, l->bias.pvData, C * sizeof(T));
      FrMemset(pB + C, 0, (CB - C) * sizeof(T));
    }
    return FRNN_OK;
  }
};

// One blocked kernel body: for each image and channel block, pad the block if asked, then
// every output pixel = bias lanes + the taps in order, lane by lane.
template <typename T, uint32_t B>
uint32_t RunBlocked(const DepthwiseConvLayer* l, const FrnnTensor* in, FrnnTensor* padded, FrnnTensor* out,
                    const Packed<T, B>& pk) {
  const uint32_t taps = l->kernelHeight * l->kernelWidth;
  const bool bPad = AnyDepthwisePad(l);
  const bool bVector = FrnnHasHalfVector();
  for (uint32_t n = 0; n < in->uiN; ++n) {
    const FrnnTensor img = FrnnTensorImage(in, n);
    for (uint32_t b = 0; b * B < in->uiC; ++b) {
      const FrnnTensor blk = FrnnTensorChannel(&img, b * B);
      const T* plane = Elems<const T>(&blk);
      uint32_t rs = in->uiRowStride;
      if (bPad) {
        const uint32_t r =
            B == 8 ? PadNc8hw8F16(&blk, padded, l->padding.siTop, l->padding.siBottom, l->padding.siLeft,
                                  l->padding.siRight, static_cast<int32_t>(l->padding.uiMode), l->padding.uiValue)
                   : PadNc4hw4F32(&blk, padded, l->padding.siTop, l->padding.siBottom, l->padding.siLeft,
                                  l->padding.siRight, static_cast<int32_t>(l->padding.uiMode), l->padding.uiValue);
        if (r != FRNN_OK) return r;
        plane = Elems<const T>(padded);
        rs = padded->uiRowStride;
      }
      const T* w = pk.pW + static_cast<size_t>(b) * taps * B;
      if constexpr (B == 8) {
        // The fast path: every tap of a pixel summed in registers, rounded once.
        if (FrnnFastPaths() && taps <= kFastTaps) {
          float wf[kFastTaps * 8];
          float bf[8];
          int32_t off[kFastTaps];
          for (uint32_t k = 0; k < taps * 8; ++k) wf[k] = HF(w[k]);
          for (uint32_t m = 0; m < 8; ++m) bf[m] = pk.pB != nullptr ? HF(pk.pB[b * 8 + m]) : 0.0f;
          for (uint32_t ky = 0; ky < l->kernelHeight; ++ky)
            for (uint32_t kx = 0; kx < l->kernelWidth; ++kx) {
              off[ky * l->kernelWidth + kx] =
                  static_cast<int32_t>((ky * l->dilationHeight * rs + kx * l->dilationWidth) * 8);
            }
          for (uint32_t y = 0; y < out->uiH; ++y) {
            FrnnFastDepthwiseBlockedRow(Elems<uint16_t>(out) + IndexOf(out, n, b * 8, y, 0),
                                        plane + static_cast<size_t>(y) * l->strideHeight * rs * 8,
                                        static_cast<size_t>(l->strideWidth) * 8, off, taps, wf, bf, out->uiW);
          }
          continue;
        }
      }
      for (uint32_t y = 0; y < out->uiH; ++y)
        for (uint32_t x = 0; x < out->uiW; ++x) {
          alignas(16) T acc[B];
          for (uint32_t m = 0; m < B; ++m) acc[m] = pk.pB != nullptr ? pk.pB[b * B + m] : T{};
          for (uint32_t ky = 0; ky < l->kernelHeight; ++ky)
            for (uint32_t kx = 0; kx < l->kernelWidth; ++kx) {
              const size_t iy = static_cast<size_t>(y) * l->strideHeight + ky * l->dilationHeight;
              const size_t ix = static_cast<size_t>(x) * l->strideWidth + kx * l->dilationWidth;
              const T* px = plane + (iy * rs + ix) * B;
              const T* tw = w + (ky * l->kernelWidth + kx) * B;
              if constexpr (B == 8) {
                FrnnHalfLaneFma(acc, tw, px, bVector);
              } else {
                for (uint32_t m = 0; m < B; ++m) acc[m] = std::fma(tw[m], px[m], acc[m]);
              }
            }
          memcpy(Elems<T>(out) + IndexOf(out, n, b * B, y, x), acc, sizeof acc);
        }
    }
  }
  (void)taps;
  return FRNN_OK;
}

// The CHWN members: every image of a pixel in the lanes, the taps as scalars.
uint32_t RunChwn(const DepthwiseConvLayer* l, const FrnnTensor* in, FrnnTensor* padded, FrnnTensor* out) {
  const uint32_t taps = l->kernelHeight * l->kernelWidth;
  const uint32_t C = in->uiC;
  const uint32_t M = l->depthMultiplier;
  const uint32_t N = in->uiN;
  const bool bPad = AnyDepthwisePad(l);
  for (uint32_t o = 0; o < out->uiC; ++o) {
    const FrnnTensor ic = FrnnTensorChannel(in, o / M);
    const uint16_t* plane = Elems<const uint16_t>(&ic);
    uint32_t rs = in->uiRowStride;
    if (bPad) {
      const uint32_t r = PadChwnF16(&ic, padded, l->padding.siTop, l->padding.siBottom, l->padding.siLeft,
                                    l->padding.siRight, static_cast<int32_t>(l->padding.uiMode), l->padding.uiValue);
      if (r != FRNN_OK) return r;
      plane = Elems<const uint16_t>(padded);
      rs = padded->uiRowStride;
    }
    const uint16_t* w = Elems<const uint16_t>(&l->weights) + static_cast<size_t>((o % M) * C + o / M) * taps;
    const uint16_t b = l->hasBias ? Elems<const uint16_t>(&l->bias)[o] : kHalfZero;
    const FrnnTensor oc = FrnnTensorChannel(out, o);
    auto* po = Elems<uint16_t>(&oc);
    for (uint32_t y = 0; y < out->uiH; ++y)
      for (uint32_t x = 0; x < out->uiW; ++x) {
        uint16_t* acc = po + (static_cast<size_t>(y) * out->uiRowStride + x) * N;
        for (uint32_t n = 0; n < N; ++n) acc[n] = b;
        for (uint32_t t = 0; t < taps; ++t) {
          const size_t iy = static_cast<size_t>(y) * l->strideHeight + t / l->kernelWidth;
          const size_t ix = static_cast<size_t>(x) * l->strideWidth + t % l->kernelWidth;
          const uint16_t* src = plane + (iy * rs + ix) * N;
          for (uint32_t n = 0; n < N; ++n) acc[n] = HalfFma(acc[n], w[t], src[n]);
        }
      }
  }
  return FRNN_OK;
}

}  // namespace

uint32_t DepthwiseConvKernelDispatch(const DepthwiseConvLayer* l, const FrnnTensor* in, FrnnTensor* padded,
                                     FrnnTensor* out, void* pool) {
  const uint32_t kind = in->uiKind;
  if (kind > FRNN_KIND_F16) return FRNN_ERR_PARAM;
  const bool bMult1 = l->depthMultiplier == 1;
  if (kind == FRNN_KIND_F16) {
    switch (in->uiLayout) {
      case FRNN_LAYOUT_NCHW:
        if (!AnyOf(l, kNchwF16)) return FRNN_ERR_UNSUPPORTED;
        return RunNchw(l, in, padded, out);
      case FRNN_LAYOUT_CHWN:
        if (!Is(l, {3, 3, 1, 1, 1, 1}) && !Is(l, {1, 1, 1, 1, 1, 1})) return FRNN_ERR_UNSUPPORTED;
        return RunChwn(l, in, padded, out);
      case FRNN_LAYOUT_NC8HW8: {
        if (!bMult1) return FRNN_ERR_UNSUPPORTED;
        Packed<uint16_t, 8> pk{pool};
        const uint32_t r = pk.Build(l, in->uiC);
        if (r != FRNN_OK) return r;
        return RunBlocked(l, in, padded, out, pk);
      }
      default:
        return FRNN_ERR_UNSUPPORTED;
    }
  }
  if (kind == FRNN_KIND_F32) {
    if (in->uiLayout == FRNN_LAYOUT_NCHW) {
      if (!AnyOf(l, kNchwF32)) return FRNN_ERR_UNSUPPORTED;
      return RunNchw(l, in, padded, out);
    }
    if (in->uiLayout == FRNN_LAYOUT_NC4HW4 && bMult1) {
      // The repacking comes first, so it can fail even for a shape without a kernel.
      Packed<float, 4> pk{pool};
      const uint32_t r = pk.Build(l, in->uiC);
      if (r != FRNN_OK) return r;
      if (!AnyOf(l, kNc4F32)) return FRNN_ERR_STEP;
      return RunBlocked(l, in, padded, out, pk);
    }
    return FRNN_ERR_UNSUPPORTED;
  }
  return FRNN_ERR_UNSUPPORTED;
}
