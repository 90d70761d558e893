// Depthwise convolution: every input channel convolved with its own kernel(s), plus an
// optional bias and fused activation. The shapes here run on the reference route.
#include <cmath>

#include "frnn_conv_kernels.h"
#include "frnn_fast.h"
#include "frnn_internal.h"
#include "frnn_stats.h"

namespace {

uint32_t StoredWidth(uint32_t kind, uint32_t storage) {
  if (kind == FRNN_KIND_S32) return storage == 1 ? 2 : 4;
  if (kind == FRNN_KIND_S16 || kind == FRNN_KIND_F16) return 2;
  if (kind == FRNN_KIND_F32) return storage == 2 ? 2 : 4;
  return 4;
}

// Widest output row a strided half-precision tap gathers on the stack.
constexpr uint32_t kGatherMax = 256;
// Most taps the fast path keeps (a 5 x 5 kernel).
constexpr uint32_t kFastTaps = 25;
// Largest plane (rows x row stride) the fast path widens on the stack.
constexpr uint32_t kWidePlane = 4096;

bool AnyPad(const FrnnPaddingParam& p) { return p.siLeft > 0 || p.siRight > 0 || p.siTop > 0 || p.siBottom > 0; }

}  // namespace

bool AnyDepthwisePad(const DepthwiseConvLayer* l) { return AnyPad(l->padding); }

DepthwiseConvLayer FrnnDepthwiseConvInit(uint32_t inChannels, uint32_t multiplier, uint32_t kernelWidth,
                                         uint32_t kernelHeight, uint32_t strideWidth, uint32_t strideHeight,
                                         uint32_t hasBias, const FrnnPaddingParam* pstPad,
                                         const FrnnWeightReader* r) {
  DepthwiseConvLayer l{};
  l.outChannels = inChannels * multiplier;
  l.depthMultiplier = multiplier;
  l.kernelWidth = kernelWidth;
  l.kernelHeight = kernelHeight;
  l.dilationWidth = 1;
  l.dilationHeight = 1;
  l.strideWidth = strideWidth;
  l.strideHeight = strideHeight;
  l.hasBias = hasBias;
  l.weightCount = l.outChannels * kernelWidth * kernelHeight;
  if (pstPad != nullptr) l.padding = *pstPad;
  if (r != nullptr) {
    l.weightKind = r->uiKind;
    l.uiReaderWord1 = r->uiFracBits;
    l.uiReaderWord2 = r->uiFurther;
    l.weightStorage = r->uiWidthSel;
  }
  return l;
}

uint32_t FrnnDepthwiseConvLoadWeight(DepthwiseConvLayer* l, FrnnWeightReader* r) {
  if (l == nullptr || r == nullptr) return FRNN_ERR_NULL;
  const uint32_t width = StoredWidth(l->weightKind, l->weightStorage);
  LoadWeight(&l->weights, r, l->weightCount, width, 0, 0, r->uiStorageMode != 0 ? 1 : 0, l->weightKind);
  if (FrnnIsEmptyTensor(&l->weights)) return FRNN_ERR_WEIGHT;
  if (l->hasBias == 0) return FRNN_OK;
  LoadWeight(&l->bias, r, l->outChannels, width, 0, 0, 1, l->weightKind);
  return FrnnIsEmptyTensor(&l->bias) ? FRNN_ERR_WEIGHT : FRNN_OK;
}

void DepthwiseNchwBody(const DepthwiseConvLayer* l, const FrnnTensor* in, FrnnTensor* padded, FrnnTensor* out,
                       const int32_t* off, uint32_t* pres) {
  const uint32_t taps = l->kernelWidth * l->kernelHeight;
  const bool bPad = AnyPad(l->padding);
  const FrnnTensor* src = bPad ? padded : in;
  const uint32_t rs = src->uiRowStride;
  const uint32_t C = in->uiC;
  const uint32_t M = l->depthMultiplier;
  // The fast path sums every tap of a row in registers and rounds once (frnn_fast.h).
  const bool bFast = in->uiKind == FRNN_KIND_F16 && taps <= kFastTaps && FrnnFastPaths();
  uint16_t gather[kGatherMax * kFastTaps];
  float wide[kWidePlane];
  uint32_t res = FRNN_OK;
  for (uint32_t n = 0; n < in->uiN && res == FRNN_OK; ++n) {
    const FrnnTensor img = FrnnTensorImage(in, n);
    for (uint32_t c = 0; c < C && res == FRNN_OK; ++c) {
      const FrnnTensor ch = FrnnTensorChannel(&img, c);
      const void* plane = ch.pvData;
      if (bPad) {
        res = in->uiKind == FRNN_KIND_F16
                  ? PadNchwF16(&ch, padded, l->padding.siTop, l->padding.siBottom, l->padding.siLeft,
                               l->padding.siRight, static_cast<int32_t>(l->padding.uiMode), l->padding.uiValue)
                  : PadNchwF32(&ch, padded, l->padding.siTop, l->padding.siBottom, l->padding.siLeft,
                               l->padding.siRight, static_cast<int32_t>(l->padding.uiMode), l->padding.uiValue);
        if (res != FRNN_OK) break;
        plane = padded->pvData;
      }
      for (uint32_t m = 0; m < M; ++m) {
        const uint32_t o = c * M + m;
        const size_t kbase = static_cast<size_t>(m * C + c) * taps;
        if (in->uiKind == FRNN_KIND_F16 && (l->strideWidth == 1 || out->uiW <= kGatherMax)) {
          // Row by row, tap by tap: each element still takes its bias and then its taps
          // in order, one rounding per term, so the rows can run eight columns at once.
          // A wider stride first gathers the tap's columns into one contiguous row.
          const auto* pi = static_cast<const uint16_t*>(plane);
          const auto* w = Elems<const uint16_t>(&l->weights) + kbase;
          const uint16_t b = l->hasBias ? Elems<const uint16_t>(&l->bias)[o] : kHalfZero;
          const bool bVector = FrnnHasHalfVector();
          if (bFast) {
            float wf[kFastTaps];
            for (uint32_t k = 0; k < taps; ++k) wf[k] = HF(w[k]);
            // A plane that fits is widened once, so that every tap reads single precision.
            const uint32_t srcH = bPad ? padded->uiH : in->uiH;
            if (l->strideWidth == 1 && static_cast<size_t>(srcH) * rs <= kWidePlane) {
              FrnnFastWiden(pi, wide, srcH * rs);
              for (uint32_t y = 0; y < out->uiH; ++y) {
                const float* rows[kFastTaps];
                const size_t base = static_cast<size_t>(y) * l->strideHeight * rs;
                for (uint32_t k = 0; k < taps; ++k) rows[k] = wide + base + off[k];
                FrnnFastDepthwiseRowWide(&At<uint16_t>(out, n, o, y, 0), rows, wf, taps, HF(b), out->uiW);
              }
              continue;
            }
            for (uint32_t y = 0; y < out->uiH; ++y) {
              const uint16_t* rows[kFastTaps];
              const size_t base = static_cast<size_t>(y) * l->strideHeight * rs;
              for (uint32_t k = 0; k < taps; ++k) {
                rows[k] = pi + base + off[k];
                if (l->strideWidth != 1) {
                  uint16_t* g = gather + static_cast<size_t>(k) * kGatherMax;
                  for (uint32_t x = 0; x < out->uiW; ++x) g[x] = rows[k][static_cast<size_t>(x) * l->strideWidth];
                  rows[k] = g;
                }
              }
              FrnnFastDepthwiseRow(&At<uint16_t>(out, n, o, y, 0), rows, wf, taps, HF(b), out->uiW);
            }
            continue;
          }
          for (uint32_t y = 0; y < out->uiH; ++y) {
            uint16_t* acc = &At<uint16_t>(out, n, o, y, 0);
            for (uint32_t x = 0; x < out->uiW; ++x) acc[x] = b;
            const size_t base = static_cast<size_t>(y) * l->strideHeight * rs;
            for (uint32_t k = 0; k < taps; ++k) {
              const uint16_t* row = pi + base + off[k];
              if (l->strideWidth != 1) {
                for (uint32_t x = 0; x < out->uiW; ++x) gather[x] = row[static_cast<size_t>(x) * l->strideWidth];
                row = gather;
              }
              FrnnHalfTapRow(acc, row, w[k], out->uiW, bVector);
            }
          }
          continue;
        }
        for (uint32_t y = 0; y < out->uiH; ++y) {
          for (uint32_t x = 0; x < out->uiW; ++x) {
            const size_t base = static_cast<size_t>(y) * l->strideHeight * rs + static_cast<size_t>(x) * l->strideWidth;
            if (in->uiKind == FRNN_KIND_F16) {
              const auto* pi = static_cast<const uint16_t*>(plane);
              const auto* w = Elems<const uint16_t>(&l->weights) + kbase;
              uint16_t acc = l->hasBias ? Elems<const uint16_t>(&l->bias)[o] : kHalfZero;
              for (uint32_t k = 0; k < taps; ++k) acc = HalfFma(acc, w[k], pi[base + off[k]]);
              At<uint16_t>(out, n, o, y, x) = acc;
            } else {
              const auto* pi = static_cast<const float*>(plane);
              const auto* w = Elems<const float>(&l->weights) + kbase;
              float acc = l->hasBias ? Elems<const float>(&l->bias)[o] : 0.0f;
              for (uint32_t k = 0; k < taps; ++k) acc = std::fma(w[k], pi[base + off[k]], acc);
              At<float>(out, n, o, y, x) = acc;
            }
          }
        }
      }
    }
  }
  *pres = res;
}

void DepthwiseTapOffsets(const DepthwiseConvLayer* l, const FrnnTensor* in, const FrnnTensor* padded, int32_t* off) {
  const uint32_t rs = AnyPad(l->padding) ? padded->uiRowStride : in->uiRowStride;
  for (uint32_t r = 0; r < l->kernelHeight; ++r)
    for (uint32_t c = 0; c < l->kernelWidth; ++c)
      off[r * l->kernelWidth + c] = static_cast<int32_t>(r * l->dilationHeight * rs + c * l->dilationWidth);
}

uint32_t DepthwiseConvReferenceForward(const DepthwiseConvLayer* l, const FrnnTensor* in, FrnnTensor* padded,
                                       FrnnTensor* out, void* pool) {
  if (in->uiLayout != FRNN_LAYOUT_NCHW) return FRNN_ERR_UNSUPPORTED;
  if (in->uiKind != FRNN_KIND_F16 && in->uiKind != FRNN_KIND_F32) return FRNN_ERR_UNSUPPORTED;
  const uint32_t taps = l->kernelWidth * l->kernelHeight;
  auto* off = static_cast<int32_t*>(FRNN_POOL_ALLOC(pool, taps * 4 + 16));
  if (off == nullptr) return FRNN_ERR_NOMEM;
  DepthwiseTapOffsets(l, in, padded, off);
  uint32_t res = FRNN_OK;
  DepthwiseNchwBody(l, in, padded, out, off, &res);
  NnPoolFree(pool, off);
  return res;
}

namespace {
uint32_t DepthwiseForwardBody(const DepthwiseConvLayer* l, const FrnnTensor* in, FrnnTensor** ppstOut, void* pool);
}

uint32_t FrnnDepthwiseConvForwardInt(const DepthwiseConvLayer* l, const FrnnTensor* in, FrnnTensor** ppstOut,
                                     void* pool) {
  const uint64_t t0 = FrnnStatsClock();
  const uint32_t r = DepthwiseForwardBody(l, in, ppstOut, pool);
  if (r == FRNN_OK && FrnnStatsOn()) {
    const FrnnTensor* o = *ppstOut;
    FrnnStatsAdd({"depthwise", in->uiC, o->uiC, o->uiH, o->uiW, l->kernelHeight, l->kernelWidth,
                  static_cast<uint64_t>(o->uiN) * o->uiC * o->uiH * o->uiW * l->kernelHeight * l->kernelWidth,
                  FrnnStatsClock() - t0});
  }
  return r;
}

namespace {
uint32_t DepthwiseForwardBody(const DepthwiseConvLayer* l, const FrnnTensor* in, FrnnTensor** ppstOut, void* pool) {
  if (l == nullptr || in == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  if (l->outChannels != l->depthMultiplier * in->uiC || l->depthMultiplier == 0) return FRNN_ERR_PARAM;
  const FrnnPaddingParam& pd = l->padding;
  if (pd.siLeft < 0 || pd.siRight < 0 || pd.siTop < 0 || pd.siBottom < 0) return FRNN_ERR_PARAM;
  for (uint32_t v : l->auiOutputOffset) {
    if (v != 0) return FRNN_ERR_PARAM;
  }
  if (HalfRowRefused(in)) return FRNN_ERR_ROW;
  // The weights and bias must be what this input needs.
  if (l->weightCount != l->outChannels * l->kernelWidth * l->kernelHeight || l->weights.uiW < l->weightCount ||
      l->weights.pvData == nullptr || (l->hasBias != 0 && (l->bias.pvData == nullptr || l->bias.uiW < l->outChannels))) {
    return FRNN_ERR_PARAM;
  }
  if (in->uiKind >= 6) return FRNN_ERR_PARAM;
  // A zero stride would take one window again and again, and the kernels step past the
  // plane doing it: refused as the convolution and pooling layers refuse it.
  if (l->kernelWidth == 0 || l->kernelHeight == 0 || l->strideWidth == 0 || l->strideHeight == 0) {
    return FRNN_ERR_ARG;
  }
  const int64_t W = static_cast<int64_t>(in->uiW) + pd.siLeft + pd.siRight;
  const int64_t H = static_cast<int64_t>(in->uiH) + pd.siTop + pd.siBottom;
  FrnnTensor* padded = nullptr;
  if (AnyPad(pd)) {
    uint32_t n = 1;
    uint32_t c = 1;
    switch (in->uiLayout) {
      case FRNN_LAYOUT_NCHW:
        break;
      case FRNN_LAYOUT_CHWN:
        n = in->uiN;
        break;
      case FRNN_LAYOUT_NC8HW8:
        c = 8;
        break;
      case FRNN_LAYOUT_NC4HW4:
        c = 4;
        break;
      default:
        return FRNN_ERR_PARAM;
    }
    padded = FrnnTensorCreate3D(n, static_cast<uint32_t>(W), static_cast<uint32_t>(H), c, in->uiElemSize,
                                in->uiLayout, in->uiKind, pool);
    if (padded == nullptr) return FRNN_ERR_NOMEM;
  }
  const int64_t ow = WindowOutputs(W, l->dilationWidth, l->kernelWidth, l->strideWidth);
  const int64_t oh = WindowOutputs(H, l->dilationHeight, l->kernelHeight, l->strideHeight);
  if (ow < 1 || oh < 1) {
    DropTensor(padded, pool);
    return FRNN_ERR_ARG;
  }
  FrnnTensor* out = FrnnTensorCreate3D(in->uiN, static_cast<uint32_t>(ow), static_cast<uint32_t>(oh), l->outChannels,
                                       in->uiElemSize, in->uiLayout, in->uiKind, pool);
  if (out == nullptr) {
    DropTensor(padded, pool);
    return FRNN_ERR_NOMEM;
  }
  DepthwiseConvLayer w = *l;
  float* pfW = nullptr;
  float* pfB = nullptr;
  uint32_t res = FRNN_OK;
  if (l->weightKind == FRNN_KIND_F32 && l->weightStorage == 2) {
    pfW = static_cast<float*>(FRNN_POOL_ALLOC(pool, l->weightCount * 4 + 16));
    pfB = l->hasBias ? static_cast<float*>(FRNN_POOL_ALLOC(pool, l->outChannels * 4 + 16)) : nullptr;
    if (pfW == nullptr || (l->hasBias && pfB == nullptr)) {
      res = FRNN_ERR_NOMEM;
    } else {
      HalfToSingle(Elems<const uint16_t>(&l->weights), pfW, static_cast<int32_t>(l->weightCount));
      w.weights.pvData = pfW;
      w.weights.uiElemSize = 4;
      if (pfB != nullptr) {
        HalfToSingle(Elems<const uint16_t>(&l->bias), pfB, static_cast<int32_t>(l->outChannels));
        w.bias.pvData = pfB;
        w.bias.uiElemSize = 4;
      }
    }
  } else if (l->weightKind != in->uiKind) {
    res = FRNN_ERR_UNSUPPORTED;
  }
  if (res == FRNN_OK) {
    res = DepthwiseConvKernelDispatch(&w, in, padded, out, pool);
    // Pool exhaustion and a failed padding step are failures, not a missing kernel.
    if (res != FRNN_OK && res != FRNN_ERR_NOMEM) res = DepthwiseConvReferenceForward(&w, in, padded, out, pool);
  }
  DropTensor(padded, pool);
  NnPoolFree(pool, pfW);
  NnPoolFree(pool, pfB);
  if (res != FRNN_OK) {
    FrnnTensorDestroy(&out, pool);
    return res;
  }
  *ppstOut = out;
  return FRNN_OK;
}
}  // namespace

uint32_t FrnnDepthwiseConv(const FrnnTensor* in, FrnnTensor** ppstOut, uint32_t multiplier, uint32_t kernelWidth,
                           uint32_t kernelHeight, uint32_t strideWidth, uint32_t strideHeight, uint32_t hasBias,
                           const FrnnPaddingParam* pstPad, FrnnWeightReader* r, uint32_t activation, void* pool) {
  if (ppstOut == nullptr || in == nullptr || r == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  DepthwiseConvLayer l = FrnnDepthwiseConvInit(in->uiC, multiplier, kernelWidth, kernelHeight, strideWidth,
                                               strideHeight, hasBias, pstPad, r);
  uint32_t res = FrnnDepthwiseConvLoadWeight(&l, r);
  if (res != FRNN_OK) return res;
  res = FrnnDepthwiseConvForwardInt(&l, in, ppstOut, pool);
  if (res != FRNN_OK) return res;
  return FrnnApplyActivation(*ppstOut, activation, r);
}

uint32_t FrnnCplxDepthwiseConvLoadWeight(...) { return FRNN_ERR_UNSUPPORTED; }
uint32_t FrnnCplxDepthwiseConvForward(...) { return FRNN_ERR_STEP; }
