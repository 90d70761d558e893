// Convolution layer: prepares the input (padding, row alignment), creates the output and
// hands the arithmetic to path A (half-precision planar kernels) or, when a path declines,
// to path C, the generic direct convolution. Both add the input channels in ascending
// order and the taps row-major, rounding to half after every term, so they agree bit for
// bit.
#include <cmath>

#include "frnn_conv_kernels.h"
#include "frnn_internal.h"
#include "frnn_stats.h"


namespace {

uint32_t StoredWidth(uint32_t kind, uint32_t storage) {
  switch (kind) {
    case FRNN_KIND_S32:
      return storage == 1 ? 2 : 4;
    case FRNN_KIND_S16:
    case FRNN_KIND_F16:
      return 2;
    case FRNN_KIND_F32:
      return storage == 2 ? 2 : 4;
    default:
      return 4;
  }
}

// The padding record handed to the padding layer; the three kind families differ only in
// how the pad value word is kept.
uint32_t PaddingParams(const ConvolutionLayer* l, const FrnnTensor* in, FrnnPaddingParam* out, bool* pbAny) {
  if (l->outChannels < 1 || l->kernelWidth < 1 || l->kernelHeight < 1 || l->strideWidth < 1 ||
      l->strideHeight < 1 || static_cast<int32_t>(l->dilationWidth) < 0 || static_cast<int32_t>(l->dilationHeight) < 0) {
    return FRNN_ERR_ARG;
  }
  FrnnPaddingParam p{};
  if (l->paddingMode == 2) {
    p = FrnnPaddingParam{};
  } else if (l->paddingMode == 1) {
    auto total = [](int64_t X, int64_t k, int64_t d, int64_t s) {
      const int64_t t = d * (k - 1) + ((X + s - 1) / s - 1) * s + 1 - X;
      return t < 0 ? int64_t{0} : t;
    };
    const int64_t tw = total(in->uiW, l->kernelWidth, l->dilationWidth, l->strideWidth);
    const int64_t th = total(in->uiH, l->kernelHeight, l->dilationHeight, l->strideHeight);
    p.siLeft = static_cast<int32_t>(tw / 2);
    p.siRight = static_cast<int32_t>(tw - tw / 2);
    p.siTop = static_cast<int32_t>(th / 2);
    p.siBottom = static_cast<int32_t>(th - th / 2);
  } else if (l->paddingMode == 0) {
    p = l->padding;
  } else {
    return FRNN_ERR_ARG;
  }
  if (p.siLeft < 0 || p.siRight < 0 || p.siTop < 0 || p.siBottom < 0) return FRNN_ERR_ARG;
  *pbAny = p.siLeft != 0 || p.siRight != 0 || p.siTop != 0 || p.siBottom != 0;
  *out = p;
  return FRNN_OK;
}

uint32_t ConvPaddingParamsInt(const ConvolutionLayer* l, const FrnnTensor* in, FrnnPaddingParam* out, bool* pbAny) {
  return PaddingParams(l, in, out, pbAny);
}
uint32_t ConvPaddingParamsF32(const ConvolutionLayer* l, const FrnnTensor* in, FrnnPaddingParam* out, bool* pbAny) {
  return PaddingParams(l, in, out, pbAny);
}
uint32_t ConvPaddingParamsF16(const ConvolutionLayer* l, const FrnnTensor* in, FrnnPaddingParam* out, bool* pbAny) {
  const uint32_t r = PaddingParams(l, in, out, pbAny);
  out->uiValue &= 0xFFFFu;  // a half value in the low 16 bits
  return r;
}

// The optional layout conversion: the input goes to the layout the kind and the two
// channel counts prefer; *ppstOwned receives the converted copy, if one was made.
uint32_t ConvAutoLayout(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor** ppstOwned, void* pool) {
  const uint32_t pref = PreferredBlockLayoutPair(l->weightKind, in->uiC, l->outChannels);
  if (l->weightKind == FRNN_KIND_F16 && pref == FRNN_LAYOUT_NCHW && in->uiLayout == FRNN_LAYOUT_NC8HW8) {
    return FrnnTensorLayoutNC8HW8ToNCHW(in, ppstOwned, pool);
  }
  if (l->weightKind == FRNN_KIND_F16 && pref == FRNN_LAYOUT_NC8HW8 && in->uiLayout == FRNN_LAYOUT_NCHW) {
    return FrnnTensorLayoutNCHWToNC8HW8(in, ppstOwned, pool);
  }
  if (l->weightKind == FRNN_KIND_F32 && in->uiLayout == FRNN_LAYOUT_NC4HW4) {
    return FrnnTensorLayoutNC4HW4ToNCHW(in, ppstOwned, pool);
  }
  return FRNN_OK;
}

}  // namespace

ConvolutionLayer FrnnConvolutionInit(uint32_t inChannels, uint32_t outChannels, uint32_t kernelWidth,
                                     uint32_t kernelHeight, uint32_t strideWidth, uint32_t strideHeight,
                                     uint32_t hasBias, const FrnnPaddingParam* pstPad, const FrnnWeightReader* r) {
  ConvolutionLayer l{};
  l.outChannels = outChannels;
  l.outChannels2 = outChannels;
  l.kernelWidth = kernelWidth;
  l.kernelHeight = kernelHeight;
  l.dilationWidth = 1;
  l.dilationHeight = 1;
  l.strideWidth = strideWidth;
  l.strideHeight = strideHeight;
  l.hasBias = hasBias;
  l.weightCount = inChannels * outChannels * kernelWidth * kernelHeight;
  if (pstPad != nullptr) l.padding = *pstPad;
  if (r != nullptr) {
    l.weightKind = r->uiKind;
    l.autoLayout = r->uiLayoutChoice;
    l.weightStorage = r->uiWidthSel;
    l.q1 = r->uiFracBits;
    l.q2 = r->uiFurther;
  }
  return l;
}

uint32_t FrnnConvolutionLoadWeight(ConvolutionLayer* l, FrnnWeightReader* r) {
  if (l == nullptr || r == nullptr) return FRNN_ERR_NULL;
  const uint32_t width = StoredWidth(l->weightKind, l->weightStorage);
  LoadWeight(&l->weights, r, l->weightCount, width, 0, 0, r->uiStorageMode != 0 ? 1 : 0, l->weightKind);
  if (FrnnIsEmptyTensor(&l->weights)) return FRNN_ERR_WEIGHT;
  if (l->hasBias == 0) return FRNN_OK;
  const bool bQuant = l->weightKind == FRNN_KIND_Q || l->weightKind == FRNN_KIND_QT || l->weightKind >= 6;
  LoadWeight(&l->bias, r, l->outChannels, width, bQuant ? 1 : 0, 0, 1, bQuant ? FRNN_KIND_S32 : l->weightKind);
  return FrnnIsEmptyTensor(&l->bias) ? FRNN_ERR_WEIGHT : FRNN_OK;
}

namespace {
uint32_t ConvolutionForwardBody(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor** ppstOut, void* pool);
}

uint32_t FrnnConvolutionForwardInt(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor** ppstOut,
                                   void* pool) {
  const uint64_t t0 = FrnnStatsClock();
  const uint32_t r = ConvolutionForwardBody(l, in, ppstOut, pool);
  if (r == FRNN_OK && FrnnStatsOn()) {
    const FrnnTensor* o = *ppstOut;
    FrnnStatsAdd({"conv", in->uiC, o->uiC, o->uiH, o->uiW, l->kernelHeight, l->kernelWidth,
                  static_cast<uint64_t>(o->uiN) * o->uiC * o->uiH * o->uiW * in->uiC * l->kernelHeight * l->kernelWidth,
                  FrnnStatsClock() - t0});
  }
  return r;
}

namespace {
uint32_t ConvolutionForwardBody(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor** ppstOut, void* pool) {
  if (l == nullptr || in == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  if (in->uiN < 1 || in->uiW < 1 || in->uiRowStride < 1 || in->uiH < 1 || in->uiC < 1) return FRNN_ERR_ARG;
  if (l->weightKind > FRNN_KIND_F16) return FRNN_ERR_ARG;
  if ((l->weightKind == FRNN_KIND_S32 || l->weightKind == FRNN_KIND_S16) && l->q3 >= 1 &&
      ConvPadCheck(static_cast<int32_t>(l->q1), static_cast<int32_t>(l->q2), static_cast<int32_t>(l->q3)) != 0) {
    return FRNN_ERR_PARAM;
  }
  // The weights were read for a channel count: an input with another one would index
  // past them.
  const uint64_t ulNeed = static_cast<uint64_t>(in->uiC) * l->outChannels * l->kernelWidth * l->kernelHeight;
  if (ulNeed != l->weightCount || l->weights.pvData == nullptr || l->weights.uiW < l->weightCount ||
      (l->hasBias != 0 && (l->bias.pvData == nullptr || l->bias.uiW < l->outChannels))) {
    return FRNN_ERR_PARAM;
  }
  ConvolutionLayer w = *l;
  float* pfW = nullptr;
  float* pfB = nullptr;
  auto release = [&]() {
    NnPoolFree(pool, pfW);
    NnPoolFree(pool, pfB);
  };
  if (l->weightKind == FRNN_KIND_F32 && l->weightStorage == 2) {
    pfW = static_cast<float*>(NnPoolAlloc(pool, static_cast<int32_t>(l->weightCount * 4 + 16),
                                          "FrnnConvolutionForwardInt", 631));
    if (l->hasBias) {
      pfB = static_cast<float*>(
          NnPoolAlloc(pool, static_cast<int32_t>(l->outChannels * 4 + 16), "FrnnConvolutionForwardInt", 643));
    }
    if (pfW == nullptr || (l->hasBias && pfB == nullptr)) {
      release();
      return FRNN_ERR_NOMEM;
    }
    HalfToSingle(Elems<const uint16_t>(&l->weights), pfW, static_cast<int32_t>(l->weightCount));
    w.weights.pvData = pfW;
    w.weights.uiElemSize = 4;
    if (pfB != nullptr) {
      HalfToSingle(Elems<const uint16_t>(&l->bias), pfB, static_cast<int32_t>(l->outChannels));
      w.bias.pvData = pfB;
      w.bias.uiElemSize = 4;
    }
  }
  const FrnnTensor* cur = in;
  FrnnTensor* owned = nullptr;
  if (l->autoLayout == 1) {
    const uint32_t r = ConvAutoLayout(l, in, &owned, pool);
    if (r != FRNN_OK) {
      release();
      return r;
    }
    if (owned != nullptr) cur = owned;
  }
  FrnnPaddingParam pad{};
  bool bAny = false;
  uint32_t r = l->weightKind == FRNN_KIND_F16   ? ConvPaddingParamsF16(&w, cur, &pad, &bAny)
               : l->weightKind == FRNN_KIND_F32 ? ConvPaddingParamsF32(&w, cur, &pad, &bAny)
                                                : ConvPaddingParamsInt(&w, cur, &pad, &bAny);
  for (int j = 0; j < 4 && r == FRNN_OK; ++j) {
    // Float kinds take no offsets: a positive one is refused by design and a negative one
    // would make the generic route write in front of an output plane.
    const int32_t o = l->outputOffsets[j];
    if ((l->weightKind == FRNN_KIND_F32 || l->weightKind == FRNN_KIND_F16) ? o != 0 : o < 0) r = FRNN_ERR_ARG;
  }
  if (r != FRNN_OK) {
    DropTensor(owned, pool);
    release();
    return r;
  }
  if (bAny) {
    FrnnTensor* padded = nullptr;
    r = FrnnPaddingForwardInt(&pad, cur, &padded, pool);
    DropTensor(owned, pool);
    if (r != FRNN_OK) {
      release();
      return r;
    }
    owned = padded;
    cur = padded;
  } else if (in->uiLayout == FRNN_LAYOUT_NCHW && cur->uiLayout == FRNN_LAYOUT_NCHW &&
             (cur->uiRowStride % 8) != 0 && l->weightKind == FRNN_KIND_F16) {
    FrnnTensor* clone = FrnnTensorClone(cur, pool);
    DropTensor(owned, pool);
    if (clone == nullptr) {
      release();
      return FRNN_ERR_NOMEM;
    }
    owned = clone;
    cur = clone;
  }
  const int64_t ow = WindowOutputs(cur->uiW, l->dilationWidth, l->kernelWidth, l->strideWidth);
  const int64_t oh = WindowOutputs(cur->uiH, l->dilationHeight, l->kernelHeight, l->strideHeight);
  FrnnTensor* out = nullptr;
  if (ow >= 1 && oh >= 1) {
    const uint32_t layout = (l->weightKind == FRNN_KIND_S16 || l->weightKind == FRNN_KIND_F32 ||
                             l->weightKind == FRNN_KIND_F16)
                                ? cur->uiLayout
                                : l->outputLayout;
    out = FrnnTensorCreate3D(cur->uiN, static_cast<uint32_t>(ow), static_cast<uint32_t>(oh), l->outChannels,
                             in->uiElemSize, layout, l->weightKind, pool);
  }
  if (out == nullptr) {
    DropTensor(owned, pool);
    release();
    return ow >= 1 && oh >= 1 ? FRNN_ERR_NOMEM : FRNN_ERR_ARG;
  }
  r = FRNN_ERR_UNSUPPORTED;
  if (l->weightKind == FRNN_KIND_F16) r = ConvUnrolledKernel(&w, cur, out, pool);
  if (l->weightKind == FRNN_KIND_F32) r = ConvDirectDispatch(&w, cur, out, pool);
  // A fast path that ran out of pool for its scratch reports it; the others fall back.
  if (r != FRNN_OK && r != FRNN_ERR_NOMEM) r = ConvGenericForward(&w, cur, static_cast<int32_t>(oh), static_cast<int32_t>(ow), out, pool);
  DropTensor(owned, pool);
  release();
  if (r != FRNN_OK) {
    FrnnTensorDestroy(&out, pool);
    return r;
  }
  *ppstOut = out;
  return FRNN_OK;
}
}  // namespace

uint32_t FrnnConvolution(const FrnnTensor* in, FrnnTensor** ppstOut, uint32_t outChannels, uint32_t kernelWidth,
                         uint32_t kernelHeight, uint32_t strideWidth, uint32_t strideHeight, uint32_t hasBias,
                         const FrnnPaddingParam* pstPad, FrnnWeightReader* r, uint32_t activation, void* pool) {
  if (ppstOut == nullptr || in == nullptr || r == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  ConvolutionLayer l = FrnnConvolutionInit(in->uiC, outChannels, kernelWidth, kernelHeight, strideWidth, strideHeight,
                                           hasBias, pstPad, r);
  uint32_t res = FrnnConvolutionLoadWeight(&l, r);
  if (res != FRNN_OK) return res;
  res = FrnnConvolutionForwardInt(&l, in, ppstOut, pool);
  if (res != FRNN_OK) return res;
  return FrnnApplyActivation(*ppstOut, activation, r);
}

uint32_t FrnnCplxConvolutionLoadWeight(...) { return FRNN_ERR_UNSUPPORTED; }
uint32_t FrnnCplxConvolutionForward(...) { return FRNN_ERR_STEP; }

// ---------------------------------------------------------------------------------------
// Path C.

int32_t* ConvTapOffsetTable(int32_t* t, int32_t rowStride, int32_t dilationHeight, int32_t dilationWidth,
                            int32_t kernelHeight, int32_t kernelWidth) {
  if (t == nullptr) return t;
  for (int32_t r = 0; r < kernelHeight; ++r)
    for (int32_t c = 0; c < kernelWidth; ++c) t[r * kernelWidth + c] = r * dilationHeight * rowStride + c * dilationWidth;
  return t;
}

uint32_t ConvGenericForward(const ConvolutionLayer* l, const FrnnTensor* in, int32_t outHeight, int32_t outWidth,
                            FrnnTensor* out, void* pool) {
  const uint32_t taps = l->kernelWidth * l->kernelHeight;
  auto* table = static_cast<int32_t*>(NnPoolAlloc(pool, static_cast<int32_t>(taps * 4 + 16), __func__, 447));
  if (table == nullptr) return FRNN_ERR_NOMEM;
  ConvTapOffsetTable(table, static_cast<int32_t>(in->uiRowStride), static_cast<int32_t>(l->dilationHeight),
                     static_cast<int32_t>(l->dilationWidth), static_cast<int32_t>(l->kernelHeight),
                     static_cast<int32_t>(l->kernelWidth));
  uint32_t r;
  if (l->weightKind > FRNN_KIND_F16) {
    r = FRNN_ERR_ARG;
  } else if (l->weightKind == FRNN_KIND_F16 && in->uiLayout == FRNN_LAYOUT_NCHW) {
    ConvGenericF16(l, in, table, outHeight, outWidth, out);
    r = FRNN_OK;
  } else if (l->weightKind == FRNN_KIND_F32 && in->uiLayout == FRNN_LAYOUT_NCHW) {
    ConvGenericF32(l, in, table, outHeight, outWidth, out);
    r = FRNN_OK;
  } else {
    r = FRNN_ERR_UNSUPPORTED;
  }
  NnPoolFree(pool, table);
  return r;
}

template <typename T>
static void ConvGeneric(const ConvolutionLayer* l, const FrnnTensor* in, const int32_t* table, int32_t outHeight,
                        int32_t outWidth, FrnnTensor* out) {
  const uint32_t taps = l->kernelWidth * l->kernelHeight;
  const uint32_t C = in->uiC;
  const T* wts = Elems<const T>(&l->weights);
  for (uint32_t n = 0; n < in->uiN; ++n) {
    const FrnnTensor oi = FrnnTensorImage(out, n);
    const FrnnTensor ii = FrnnTensorImage(in, n);
    for (uint32_t o = 0; o < out->uiC; ++o) {
      const FrnnTensor oc = FrnnTensorChannel(&oi, o);
      T* row = Elems<T>(&oc);
      for (int32_t y = 0; y < outHeight; ++y) {
        for (int32_t x = 0; x < outWidth; ++x) {
          T acc{};
          if (l->hasBias) acc = Elems<const T>(&l->bias)[o];
          for (uint32_t i = 0; i < C; ++i) {
            const FrnnTensor ic = FrnnTensorChannel(&ii, i);
            const T* pi = Elems<const T>(&ic);
            const size_t base = static_cast<size_t>(y) * l->strideHeight * in->uiRowStride +
                                static_cast<size_t>(x) * l->strideWidth;
            const T* w = wts + (static_cast<size_t>(o) * C + i) * taps;
            for (uint32_t t = 0; t < taps; ++t) {
              if constexpr (sizeof(T) == 2) {
                acc = HalfFma(acc, pi[base + table[t]], w[t]);
              } else {
                acc = std::fma(pi[base + table[t]], w[t], acc);
              }
            }
          }
          row[x] = acc;
        }
        row += out->uiRowStride;
      }
    }
  }
}

void ConvGenericF16(const ConvolutionLayer* l, const FrnnTensor* in, const int32_t* table, int32_t outHeight,
                    int32_t outWidth, FrnnTensor* out) {
  ConvGeneric<uint16_t>(l, in, table, outHeight, outWidth, out);
}

void ConvGenericF32(const ConvolutionLayer* l, const FrnnTensor* in, const int32_t* table, int32_t outHeight,
                    int32_t outWidth, FrnnTensor* out) {
  ConvGeneric<float>(l, in, table, outHeight, outWidth, out);
}
