// Pooling: windowed maximum, mean and L2, and the (masked) global mean. The fast window
// routes and the generic table-driven route share one window body, so a shape computes
// the same bits whichever route takes it: the maximum keeps the running value unless it
// is not greater than the next tap, the half-precision mean sums in half (rounded after
// every addition) and divides once, L2 squares in half and sums in single precision.
#include <cmath>

#include "frnn_conv_kernels.h"
#include "frnn_internal.h"

namespace {

constexpr uint16_t kHalfLowest = 0xFC00;  // -infinity: never wins a maximum

bool AnyAmount(const FrnnPaddingParam& p) { return p.siLeft > 0 || p.siRight > 0 || p.siTop > 0 || p.siBottom > 0; }

// The window body for every image, channel and output pixel: element k of the input at
// (y * sH + ky, x * sW + kx), taps in table order (row-major).
template <typename T>
uint32_t Windows(const PoolingLayer* l, const FrnnTensor* in, int32_t oh, int32_t ow, FrnnTensor* out) {
  const uint32_t kW = l->kernelWidth;
  const uint32_t kH = l->kernelHeight;
  const uint32_t taps = kW * kH;
  if (l->poolType > 2) return FRNN_ERR_UNSUPPORTED;
  const T* pi = Elems<const T>(in);
  T* po = Elems<T>(out);
  for (uint32_t n = 0; n < in->uiN; ++n)
    for (uint32_t k = 0; k < in->uiC; ++k)
      for (int32_t y = 0; y < oh; ++y)
        for (int32_t x = 0; x < ow; ++x) {
          const uint32_t y0 = static_cast<uint32_t>(y) * l->strideHeight;
          const uint32_t x0 = static_cast<uint32_t>(x) * l->strideWidth;
          T v = pi[IndexOf(in, n, k, y0, x0)];
          if constexpr (sizeof(T) == 2) {
            if (l->poolType == 0) {
              float run = HF(v);
              for (uint32_t t = 1; t < taps; ++t) {
                const T e = pi[IndexOf(in, n, k, y0 + t / kW, x0 + t % kW)];
                if (!(run > HF(e))) {
                  v = e;
                  run = HF(e);
                }
              }
            } else if (l->poolType == 1) {
              for (uint32_t t = 1; t < taps; ++t) v = HalfAdd(v, pi[IndexOf(in, n, k, y0 + t / kW, x0 + t % kW)]);
              v = FH(HF(v) / static_cast<float>(taps));
            } else {
              float sum = 0.0f;
              for (uint32_t t = 0; t < taps; ++t) {
                const T e = pi[IndexOf(in, n, k, y0 + t / kW, x0 + t % kW)];
                sum += HF(HalfMul(e, e));
              }
              v = FH(NnFastSqrt(sum));
            }
          } else {
            if (l->poolType == 0) {
              for (uint32_t t = 1; t < taps; ++t) {
                const T e = pi[IndexOf(in, n, k, y0 + t / kW, x0 + t % kW)];
                if (!(v > e)) v = e;
              }
            } else if (l->poolType == 1) {
              for (uint32_t t = 1; t < taps; ++t) v += pi[IndexOf(in, n, k, y0 + t / kW, x0 + t % kW)];
              v = v / static_cast<float>(taps);
            } else {
              float sum = 0.0f;
              for (uint32_t t = 0; t < taps; ++t) {
                const T e = pi[IndexOf(in, n, k, y0 + t / kW, x0 + t % kW)];
                sum = std::fma(e, e, sum);
              }
              v = NnFastSqrt(sum);
            }
          }
          po[IndexOf(out, n, k, static_cast<uint32_t>(y), static_cast<uint32_t>(x))] = v;
        }
  return FRNN_OK;
}

// Half-precision maximum windows in the planar or blocked layout with the element addresses
// stepped directly: the same taps in the same order and the same comparison as Windows.
uint32_t MaxWindowsF16(const PoolingLayer* l, const FrnnTensor* in, FrnnTensor* out) {
  const bool bBlocked = in->uiLayout == FRNN_LAYOUT_NC8HW8;
  const size_t lane = bBlocked ? 8 : 1;
  const uint32_t kW = l->kernelWidth;
  const uint32_t taps = kW * l->kernelHeight;
  int32_t off[16];
  for (uint32_t t = 0; t < taps; ++t) off[t] = static_cast<int32_t>(((t / kW) * in->uiRowStride + t % kW) * lane);
  const size_t inRow = static_cast<size_t>(in->uiRowStride) * lane * l->strideHeight;
  const size_t inPix = lane * l->strideWidth;
  const size_t outRow = static_cast<size_t>(out->uiRowStride) * lane;
  const auto* pi = Elems<const uint16_t>(in);
  auto* po = Elems<uint16_t>(out);
  // The planar two-tap windows of the networks, eight outputs at a time.
  const bool bPairs = !bBlocked && kW == 2 && l->kernelHeight == 1 && l->strideWidth == 2;
  const bool bRows = !bBlocked && kW == 1 && l->kernelHeight == 2 && l->strideWidth == 1;
  const bool bVector = FrnnHasHalfVector();
  // Blocked two-tap windows over whole blocks: all eight lanes of a pixel at once (the
  // pad lanes of a last partial block are left to the per-channel loop below).
  const bool bBlockPairs = bBlocked && kW == 2 && l->kernelHeight == 1 && l->strideWidth == 2;
  const bool bBlockRows = bBlocked && kW == 1 && l->kernelHeight == 2 && l->strideWidth == 1;
  for (uint32_t n = 0; n < in->uiN; ++n)
    for (uint32_t k = 0; k < in->uiC; ++k) {
      const uint16_t* src = pi + IndexOf(in, n, k, 0, 0);
      uint16_t* dst = po + IndexOf(out, n, k, 0, 0);
      if ((bBlockPairs || bBlockRows) && k % 8 == 0 && k + 8 <= in->uiC) {
        for (uint32_t y = 0; y < out->uiH; ++y, src += inRow, dst += outRow) {
          if (bBlockRows) {
            FrnnHalfMaxRows(dst, src, src + off[1], out->uiW * 8, bVector);
            continue;
          }
          for (uint32_t x = 0; x < out->uiW; ++x) FrnnHalfMaxRows(dst + x * 8, src + x * inPix, src + x * inPix + 8, 8, bVector);
        }
        k += 7;
        continue;
      }
      for (uint32_t y = 0; y < out->uiH; ++y, src += inRow, dst += outRow) {
        if (bPairs) {
          FrnnHalfMaxPairs(dst, src, out->uiW, bVector);
          continue;
        }
        if (bRows) {
          FrnnHalfMaxRows(dst, src, src + in->uiRowStride, out->uiW, bVector);
          continue;
        }
        const uint16_t* s = src;
        for (uint32_t x = 0; x < out->uiW; ++x, s += inPix) {
          uint16_t v = s[0];
          float run = HF(v);
          for (uint32_t t = 1; t < taps; ++t) {
            const uint16_t e = s[off[t]];
            const float fe = HF(e);
            if (!(run > fe)) {
              v = e;
              run = fe;
            }
          }
          dst[x * lane] = v;
        }
      }
    }
  return FRNN_OK;
}

// Global mean of one channel's (or lane's) plane; the mask, when given, selects the
// positions that count.
template <typename T>
float PlaneMean(const FrnnTensor* in, uint32_t n, uint32_t k, const FrnnTensor* mask) {
  float sum = 0.0f;
  uint32_t count = 0;
  const T* pi = Elems<const T>(in);
  const auto* pm = mask != nullptr ? Elems<const uint8_t>(mask) : nullptr;
  for (uint32_t y = 0; y < in->uiH; ++y)
    for (uint32_t x = 0; x < in->uiW; ++x) {
      if (pm != nullptr && pm[static_cast<size_t>(y) * mask->uiRowStride + x] == 0) continue;
      float e;
      if constexpr (sizeof(T) == 2) {
        e = HF(pi[IndexOf(in, n, k, y, x)]);
      } else {
        e = pi[IndexOf(in, n, k, y, x)];
      }
      sum += e;
      ++count;
    }
  // An empty mask has no mean to take: 0, in every layout.
  return count == 0 ? 0.0f : sum / static_cast<float>(count);
}

// Single-precision NCHW mean of a contiguous plane: four running lanes over consecutive
// elements, the lanes added, then the rest.
float PlaneMeanF32Lanes(const float* p, uint32_t count) {
  float lane[4] = {0, 0, 0, 0};
  uint32_t j = 0;
  for (; j + 4 <= count; j += 4)
    for (uint32_t m = 0; m < 4; ++m) lane[m] += p[j + m];
  float sum = ((lane[0] + lane[1]) + lane[2]) + lane[3];
  for (; j < count; ++j) sum += p[j];
  return sum / static_cast<float>(count);
}

uint32_t GlobalRoute(const PoolingLayer* l, const FrnnTensor* in, const FrnnTensor* mask, FrnnTensor** ppstOut,
                     void* pool) {
  const uint32_t kind = l->elementKind;
  FrnnTensor* out = FrnnTensorCreate3D(in->uiN, 1, 1, in->uiC, in->uiElemSize, in->uiLayout, kind, pool);
  if (out == nullptr) return FRNN_ERR_NOMEM;
  uint32_t r = FRNN_OK;
  const uint32_t lay = in->uiLayout;
  if (l->poolType != 1) {
    r = FRNN_ERR_UNSUPPORTED;
  } else if (in->uiKind != kind) {
    r = FRNN_ERR_UNSUPPORTED;
  } else if (kind == FRNN_KIND_F32 && (lay == FRNN_LAYOUT_NCHW || lay == FRNN_LAYOUT_NC4HW4)) {
    if (lay == FRNN_LAYOUT_NC4HW4) TensorPadFillF32(const_cast<FrnnTensor*>(in), 0, 0.0f);
    for (uint32_t n = 0; n < in->uiN; ++n)
      for (uint32_t k = 0; k < in->uiC; ++k) {
        const bool bFlat = lay == FRNN_LAYOUT_NCHW && mask == nullptr && in->uiRowStride == in->uiW;
        Elems<float>(out)[IndexOf(out, n, k, 0, 0)] =
            bFlat ? PlaneMeanF32Lanes(&At<float>(in, n, k, 0, 0), in->uiH * in->uiW) : PlaneMean<float>(in, n, k, mask);
      }
  } else if (kind == FRNN_KIND_F16 &&
             (lay == FRNN_LAYOUT_NCHW || lay == FRNN_LAYOUT_NC8HW8 || lay == FRNN_LAYOUT_CHWN)) {
    if (lay == FRNN_LAYOUT_CHWN && mask != nullptr) {
      r = FRNN_ERR_UNSUPPORTED;
    } else {
      if (lay != FRNN_LAYOUT_CHWN) TensorPadFillF16(const_cast<FrnnTensor*>(in), 0, kHalfZero);
      for (uint32_t n = 0; n < in->uiN; ++n)
        for (uint32_t k = 0; k < in->uiC; ++k)
          Elems<uint16_t>(out)[IndexOf(out, n, k, 0, 0)] = FH(PlaneMean<uint16_t>(in, n, k, mask));
    }
  } else {
    r = FRNN_ERR_STEP;
  }
  if (r != FRNN_OK) {
    FrnnTensorDestroy(&out, pool);
    return r;
  }
  *ppstOut = out;
  return FRNN_OK;
}

}  // namespace

PoolingLayer FrnnPoolingInit(uint32_t poolType, uint32_t globalPool, uint32_t kernelWidth, uint32_t kernelHeight,
                             uint32_t strideWidth, uint32_t strideHeight, const FrnnPaddingParam* pstPad,
                             const FrnnWeightReader* r) {
  PoolingLayer l{};
  l.elementKind = r != nullptr ? r->uiKind : 0;
  l.poolType = poolType;
  l.globalPool = globalPool;
  l.kernelWidth = kernelWidth;
  l.kernelHeight = kernelHeight;
  l.strideWidth = strideWidth;
  l.strideHeight = strideHeight;
  if (pstPad != nullptr) l.padding = *pstPad;
  return l;
}

uint32_t PoolingPaddingParams(const PoolingLayer* l, const FrnnTensor* in, FrnnPaddingParam* p) {
  if (l->elementKind == FRNN_KIND_F32 && (l->paddingMode == 1 || l->paddingMode == 2)) return FRNN_ERR_UNSUPPORTED;
  *p = FrnnPaddingParam{};
  if (l->paddingMode == 0) {
    *p = l->padding;
    return FRNN_OK;
  }
  if (l->paddingMode == 2) return FRNN_OK;
  if (l->paddingMode != 1 || l->globalPool != 0) return FRNN_ERR_ARG;
  if (l->strideWidth == 0 || l->strideHeight == 0) return FRNN_ERR_ARG;
  auto total = [](int64_t X, int64_t k, int64_t s) {
    const int64_t t = ((X + s - 1) / s - 1) * s + k - X;
    return t < 0 ? int64_t{0} : t;
  };
  const int64_t tw = total(in->uiW, l->kernelWidth, l->strideWidth);
  const int64_t th = total(in->uiH, l->kernelHeight, l->strideHeight);
  p->siLeft = static_cast<int32_t>(tw / 2);
  p->siRight = static_cast<int32_t>(tw - tw / 2);
  p->siTop = static_cast<int32_t>(th / 2);
  p->siBottom = static_cast<int32_t>(th - th / 2);
  if (l->poolType == 0) {
    // A pad cell must never win a maximum: the lowest value, not +0.0, which would
    // replace an all-negative window.
    p->uiMode = 0;
    p->uiValue = l->elementKind == FRNN_KIND_F16 ? kHalfLowest : 0x80000000u;
  } else {
    p->uiMode = 1;
    p->uiValue = 0;
  }
  return FRNN_OK;
}

uint32_t PoolingKernelDispatch(const PoolingLayer* l, const FrnnTensor* in, FrnnTensor* out, void* /*pool*/) {
  struct Fast {
    uint32_t kW, kH, sW, sH, kind, layout, types;  // types: bit per pool type taken
  };
  static constexpr Fast kFast[] = {
      {2, 2, 2, 2, FRNN_KIND_F16, FRNN_LAYOUT_NCHW, 3},   {2, 2, 2, 2, FRNN_KIND_F16, FRNN_LAYOUT_NC8HW8, 3},
      {2, 2, 2, 2, FRNN_KIND_F32, FRNN_LAYOUT_NC4HW4, 3}, {2, 2, 2, 2, FRNN_KIND_F32, FRNN_LAYOUT_NCHW, 1},
      {2, 1, 2, 1, FRNN_KIND_F16, FRNN_LAYOUT_NC8HW8, 3}, {2, 1, 2, 1, FRNN_KIND_F16, FRNN_LAYOUT_NCHW, 3},
      {1, 2, 1, 2, FRNN_KIND_F16, FRNN_LAYOUT_NC8HW8, 1}, {1, 2, 1, 2, FRNN_KIND_F16, FRNN_LAYOUT_NCHW, 3},
  };
  bool bShape = false;
  for (const Fast& f : kFast) {
    if (f.kW != l->kernelWidth || f.kH != l->kernelHeight || f.sW != l->strideWidth || f.sH != l->strideHeight) {
      continue;
    }
    bShape = true;
    if (f.kind != l->elementKind || f.layout != in->uiLayout) continue;
    if (l->poolType > 2 || ((f.types >> l->poolType) & 1u) == 0) return FRNN_ERR_UNSUPPORTED;
    if (in->uiKind != l->elementKind) return FRNN_ERR_UNSUPPORTED;
    const int32_t oh = static_cast<int32_t>(out->uiH);
    const int32_t ow = static_cast<int32_t>(out->uiW);
    if (l->elementKind == FRNN_KIND_F16 && l->poolType == 0) return MaxWindowsF16(l, in, out);
    return l->elementKind == FRNN_KIND_F16 ? Windows<uint16_t>(l, in, oh, ow, out) : Windows<float>(l, in, oh, ow, out);
  }
  if (bShape && l->elementKind > FRNN_KIND_F16) return FRNN_ERR_ARG;
  if (bShape && l->elementKind == FRNN_KIND_F16 && in->uiLayout != FRNN_LAYOUT_NCHW &&
      in->uiLayout != FRNN_LAYOUT_NC8HW8) {
    return FRNN_ERR_STEP;
  }
  return FRNN_ERR_UNSUPPORTED;
}

uint32_t PoolingGenericForward(const PoolingLayer* l, const FrnnTensor* in, int32_t outHeight, int32_t outWidth,
                               FrnnTensor* out, void* pool) {
  // The window body walks the taps row-major itself; the table of the offsets is kept so
  // that a pool too small for it fails here as it would anywhere else.
  const uint32_t taps = l->kernelWidth * l->kernelHeight;
  void* table = NnPoolAlloc(pool, static_cast<int32_t>(taps * 4 + 16), __func__, 1131);
  if (table == nullptr) return FRNN_ERR_NOMEM;
  uint32_t r;
  if (l->elementKind > FRNN_KIND_F16) {
    r = FRNN_ERR_ARG;
  } else if (l->elementKind == FRNN_KIND_F16 && in->uiKind == FRNN_KIND_F16 &&
             (in->uiLayout == FRNN_LAYOUT_NCHW || (in->uiLayout == FRNN_LAYOUT_NC8HW8 && l->poolType == 0))) {
    r = Windows<uint16_t>(l, in, outHeight, outWidth, out);
  } else if (l->elementKind == FRNN_KIND_F32 && in->uiKind == FRNN_KIND_F32 && in->uiLayout == FRNN_LAYOUT_NCHW) {
    r = Windows<float>(l, in, outHeight, outWidth, out);
  } else {
    r = FRNN_ERR_UNSUPPORTED;
  }
  NnPoolFree(pool, table);
  return r;
}

uint32_t FrnnPoolingForwardInt(const PoolingLayer* l, const FrnnTensor* in, const FrnnTensor* mask,
                               FrnnTensor** ppstOut, void* pool) {
  if (l == nullptr || in == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  if (HalfRowRefused(in)) return FRNN_ERR_ROW;
  if (mask != nullptr && in->uiKind == FRNN_KIND_F16 && in->uiLayout == FRNN_LAYOUT_NCHW &&
      (mask->uiRowStride % 8) != 0) {
    return FRNN_ERR_ROW;
  }
  if (mask != nullptr && (mask->pvData == nullptr || mask->uiElemSize != 1 || mask->uiH < in->uiH ||
                          mask->uiW < in->uiW)) {
    return FRNN_ERR_ARG;
  }
  FrnnPaddingParam pad{};
  uint32_t r = PoolingPaddingParams(l, in, &pad);
  if (r != FRNN_OK) return r;
  if (l->globalPool != 0) {
    if (l->elementKind > FRNN_KIND_F16) return FRNN_ERR_ARG;
    if (l->elementKind != FRNN_KIND_F16 && l->elementKind != FRNN_KIND_F32) return FRNN_ERR_UNSUPPORTED;
    return GlobalRoute(l, in, mask, ppstOut, pool);
  }
  // Output offsets would place the windows outside an output that is not enlarged for
  // them: any nonzero offset is refused.
  for (int32_t o : l->outputOffsets) {
    if (o != 0) return FRNN_ERR_ARG;
  }
  if (l->kernelWidth == 0 || l->kernelHeight == 0 || l->strideWidth == 0 || l->strideHeight == 0) return FRNN_ERR_ARG;
  const FrnnTensor* cur = in;
  FrnnTensor* padded = nullptr;
  if (AnyAmount(pad)) {
    r = FrnnPaddingForwardInt(&pad, in, &padded, pool);
    if (r != FRNN_OK) return r;
    cur = padded;
  }
  const int64_t ow = WindowOutputs(cur->uiW, 1, l->kernelWidth, l->strideWidth);
  const int64_t oh = WindowOutputs(cur->uiH, 1, l->kernelHeight, l->strideHeight);
  if (ow < 1 || oh < 1) {
    DropTensor(padded, pool);
    return FRNN_ERR_ARG;
  }
  FrnnTensor* out = FrnnTensorCreate3D(cur->uiN, static_cast<uint32_t>(ow), static_cast<uint32_t>(oh), cur->uiC,
                                       cur->uiElemSize, in->uiLayout, l->elementKind, pool);
  if (out == nullptr) {
    DropTensor(padded, pool);
    return FRNN_ERR_NOMEM;
  }
  out->uiParamMode = in->uiParamMode;
  r = PoolingKernelDispatch(l, cur, out, pool);
  if (r != FRNN_OK) r = PoolingGenericForward(l, cur, static_cast<int32_t>(oh), static_cast<int32_t>(ow), out, pool);
  DropTensor(padded, pool);
  if (r != FRNN_OK) {
    FrnnTensorDestroy(&out, pool);
    return r;
  }
  *ppstOut = out;
  return FRNN_OK;
}

uint32_t FrnnPooling(const FrnnTensor* in, const FrnnTensor* mask, FrnnTensor** ppstOut, uint32_t poolType,
                     uint32_t globalPool, uint32_t kernelWidth, uint32_t kernelHeight, uint32_t strideWidth,
                     uint32_t strideHeight, const FrnnPaddingParam* pstPad, const FrnnWeightReader* r, void* pool) {
  if (ppstOut == nullptr || in == nullptr || r == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  const PoolingLayer l = FrnnPoolingInit(poolType, globalPool, kernelWidth, kernelHeight, strideWidth, strideHeight,
                                         pstPad, r);
  return FrnnPoolingForwardInt(&l, in, mask, ppstOut, pool);
}
