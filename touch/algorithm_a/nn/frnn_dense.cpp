// Dense layer: out[i][u] = B[u] + sum over f of in_i[f] x W[u x F + f], the features in
// channel, row, column order. Every kernel starts from the bias and adds the features in
// order with single-precision fused multiply-adds (a product of two halves is exact in
// single precision); the half-precision kernels round the sum to half once at the end.
#include <cmath>

#include "frnn_fast.h"
#include "frnn_internal.h"
#include "frnn_stats.h"

namespace {

uint32_t WeightWidth(uint32_t kind, uint32_t widthSel) {
  if (kind == FRNN_KIND_S16 || kind == FRNN_KIND_F16) return 2;
  if (kind == FRNN_KIND_F32) return widthSel == 2 ? 2 : 4;
  if (kind == FRNN_KIND_S32) return widthSel == 1 ? 2 : 4;
  return 4;
}

// Features of image i in order, as floats.
template <typename T>
float Feature(const FrnnTensor* in, uint32_t i, uint32_t f) {
  const uint32_t hw = in->uiH * in->uiW;
  const uint32_t k = f / hw;
  const uint32_t y = (f % hw) / in->uiW;
  const uint32_t x = f % in->uiW;
  const T v = Elems<const T>(in)[IndexOf(in, i, k, y, x)];
  if constexpr (sizeof(T) == 2) {
    return HF(v);
  } else {
    return v;
  }
}

template <typename T>
void DenseKernel(const FrnnTensor* in, FrnnTensor* out, const T* w, const T* b, uint32_t U) {
  const uint32_t F = in->uiC * in->uiH * in->uiW;
  for (uint32_t i = 0; i < in->uiN; ++i)
    for (uint32_t u = 0; u < U; ++u) {
      float acc = 0.0f;
      if (b != nullptr) {
        if constexpr (sizeof(T) == 2) {
          acc = HF(b[u]);
        } else {
          acc = b[u];
        }
      }
      const T* wu = w + static_cast<size_t>(u) * F;
      for (uint32_t f = 0; f < F; ++f) {
        float wf;
        if constexpr (sizeof(T) == 2) {
          wf = HF(wu[f]);
        } else {
          wf = wu[f];
        }
        acc = std::fma(Feature<T>(in, i, f), wf, acc);
      }
      // The output is one-dimensional (or 1 x 1 x U): unit u of image i.
      const size_t di = out->uiLayout == FRNN_LAYOUT_CHWN
                            ? static_cast<size_t>(u) * out->uiN + i
                            : static_cast<size_t>(i) * out->uiPlane * SizedChannels(out) +
                                  (out->uiDims == 1 ? u : static_cast<size_t>(u) * out->uiPlane);
      if constexpr (sizeof(T) == 2) {
        Elems<uint16_t>(out)[di] = FH(acc);
      } else {
        Elems<float>(out)[di] = acc;
      }
    }
}

// The fast path of the half-precision kernel: the features widened once into x, each
// unit's sum over 8 lanes (see frnn_fast.h), rounded to half once as the kernel does.
void DenseFast(const FrnnTensor* in, FrnnTensor* out, const uint16_t* w, const uint16_t* b, uint32_t U, float* x) {
  const uint32_t F = in->uiC * in->uiH * in->uiW;
  for (uint32_t i = 0; i < in->uiN; ++i) {
    uint32_t f = 0;
    for (uint32_t k = 0; k < in->uiC; ++k)
      for (uint32_t y = 0; y < in->uiH; ++y, f += in->uiW) FrnnFastWiden(&At<const uint16_t>(in, i, k, y, 0), x + f, in->uiW);
    for (uint32_t u = 0; u < U; ++u) {
      const float acc = FrnnFastDotHalf(w + static_cast<size_t>(u) * F, x, F) + (b != nullptr ? HF(b[u]) : 0.0f);
      const size_t di = static_cast<size_t>(i) * out->uiPlane * SizedChannels(out) +
                        (out->uiDims == 1 ? u : static_cast<size_t>(u) * out->uiPlane);
      Elems<uint16_t>(out)[di] = FH(acc);
    }
  }
}

}  // namespace

FrnnDenseParam FrnnDenseInit(uint32_t a, uint32_t b, uint32_t c, uint32_t units, uint32_t bias,
                             const FrnnWeightReader* r) {
  FrnnDenseParam p{};
  p.uiUnits = units;
  p.uiBias = bias;
  p.uiWeightCount = a * b * c * units;
  if (r != nullptr) {
    p.uiKind = r->uiKind;
    p.uiReaderWord = r->uiLayoutChoice;
    p.uiFracBits = r->uiFracBits;
    p.uiFurther = r->uiFurther;
    p.uiWidthSel = r->uiWidthSel;
  }
  return p;
}

uint32_t FrnnDenseLoadWeight(FrnnDenseParam* p, FrnnWeightReader* r) {
  if (p == nullptr || r == nullptr) return FRNN_ERR_NULL;
  const uint32_t width = WeightWidth(p->uiKind, p->uiWidthSel);
  LoadWeight(&p->stWeights, r, p->uiWeightCount, width, 0, 0, r->uiStorageMode != 0 ? 1 : 0, p->uiKind);
  if (FrnnIsEmptyTensor(&p->stWeights)) return FRNN_ERR_WEIGHT;
  if (p->uiBias == 0) return FRNN_OK;
  LoadWeight(&p->stBias, r, p->uiUnits, width, 0, 0, 1, p->uiKind);
  return FrnnIsEmptyTensor(&p->stBias) ? FRNN_ERR_WEIGHT : FRNN_OK;
}

namespace {
uint32_t DenseForwardBody(const FrnnDenseParam* p, const FrnnTensor* in, FrnnTensor** ppstOut, void* pool);
}

uint32_t FrnnDenseForward(const FrnnDenseParam* p, const FrnnTensor* in, FrnnTensor** ppstOut, void* pool) {
  const uint64_t t0 = FrnnStatsClock();
  const uint32_t r = DenseForwardBody(p, in, ppstOut, pool);
  if (r == FRNN_OK && FrnnStatsOn()) {
    const uint32_t F = in->uiC * in->uiH * in->uiW;
    FrnnStatsAdd({"dense", F, p->uiUnits, 1, 1, 1, 1, static_cast<uint64_t>(in->uiN) * F * p->uiUnits,
                  FrnnStatsClock() - t0});
  }
  return r;
}

namespace {
uint32_t DenseForwardBody(const FrnnDenseParam* p, const FrnnTensor* in, FrnnTensor** ppstOut, void* pool) {
  if (p == nullptr || in == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  const FrnnTensor* cur = in;
  FrnnTensor* tmp = nullptr;
  uint32_t r = FRNN_OK;
  if (in->uiKind == FRNN_KIND_F16 && in->uiLayout == FRNN_LAYOUT_NC8HW8) {
    r = FrnnTensorLayoutNC8HW8ToNCHW(in, &tmp, pool);
  } else if (HalfRowRefused(in)) {
    return FRNN_ERR_ROW;
  } else if (in->uiKind == FRNN_KIND_F32 && in->uiLayout == FRNN_LAYOUT_NC4HW4) {
    r = FrnnTensorLayoutNC4HW4ToNCHW(in, &tmp, pool);
  }
  if (r != FRNN_OK) return r;
  if (tmp != nullptr) cur = tmp;
  const uint32_t U = p->uiUnits;
  // The weights were read for one feature count; another input would index past them.
  const uint64_t ulNeed = static_cast<uint64_t>(cur->uiC) * cur->uiH * cur->uiW * U;
  if (U == 0 || ulNeed != p->uiWeightCount || p->stWeights.pvData == nullptr || p->stWeights.uiW < p->uiWeightCount ||
      (p->uiBias != 0 && (p->stBias.pvData == nullptr || p->stBias.uiW < U))) {
    DropTensor(tmp, pool);
    return FRNN_ERR_PARAM;
  }
  FrnnTensor* out = p->uiOutputForm == 0
                        ? FrnnTensorCreate(cur->uiN, U, 1, 1, 1, cur->uiElemSize, cur->uiLayout, p->uiKind, pool)
                        : FrnnTensorCreate3D(cur->uiN, 1, 1, U, cur->uiElemSize, cur->uiLayout, p->uiKind, pool);
  if (out == nullptr) {
    DropTensor(tmp, pool);
    return FRNN_ERR_NOMEM;
  }
  float* pfW = nullptr;
  float* pfB = nullptr;
  if (p->uiKind > FRNN_KIND_F16) {
    r = FRNN_ERR_ARG;
  } else if (p->uiKind == FRNN_KIND_F16 && cur->uiKind == FRNN_KIND_F16 &&
             (cur->uiLayout == FRNN_LAYOUT_NCHW || cur->uiLayout == FRNN_LAYOUT_CHWN)) {
    if (cur->uiLayout == FRNN_LAYOUT_NCHW) TensorPadFillF16(const_cast<FrnnTensor*>(cur), 0, kHalfZero);
    const uint32_t F = cur->uiC * cur->uiH * cur->uiW;
    float* pfX = nullptr;
    if (FrnnFastPaths() && cur->uiLayout == FRNN_LAYOUT_NCHW &&
        (pfX = static_cast<float*>(FRNN_POOL_ALLOC(pool, F * 4 + 16))) != nullptr) {
      DenseFast(cur, out, Elems<const uint16_t>(&p->stWeights), p->uiBias ? Elems<const uint16_t>(&p->stBias) : nullptr,
                U, pfX);
      NnPoolFree(pool, pfX);
    } else {
      DenseKernel<uint16_t>(cur, out, Elems<const uint16_t>(&p->stWeights),
                            p->uiBias ? Elems<const uint16_t>(&p->stBias) : nullptr, U);
    }
  } else if (p->uiKind == FRNN_KIND_F32 && cur->uiKind == FRNN_KIND_F32 && cur->uiLayout == FRNN_LAYOUT_NCHW) {
    const float* w = Elems<const float>(&p->stWeights);
    const float* b = p->uiBias ? Elems<const float>(&p->stBias) : nullptr;
    if (p->uiWidthSel == 2) {
      pfW = static_cast<float*>(NnPoolAlloc(pool, static_cast<int32_t>(p->uiWeightCount * 4 + 16), __func__, 252));
      pfB = p->uiBias ? static_cast<float*>(NnPoolAlloc(pool, static_cast<int32_t>(U * 4 + 16), __func__, 264))
                      : nullptr;
      if (pfW == nullptr || (p->uiBias && pfB == nullptr)) {
        r = FRNN_ERR_NOMEM;
      } else {
        HalfToSingle(Elems<const uint16_t>(&p->stWeights), pfW, static_cast<int32_t>(p->uiWeightCount));
        if (pfB != nullptr) HalfToSingle(Elems<const uint16_t>(&p->stBias), pfB, static_cast<int32_t>(U));
        w = pfW;
        b = pfB;
      }
    }
    if (r == FRNN_OK) DenseKernel<float>(cur, out, w, b, U);
  } else {
    // A layout or kind no kernel computes is refused rather than handed out unwritten.
    r = FRNN_ERR_UNSUPPORTED;
  }
  NnPoolFree(pool, pfW);
  NnPoolFree(pool, pfB);
  DropTensor(tmp, pool);
  if (r != FRNN_OK) {
    FrnnTensorDestroy(&out, pool);
    return r;
  }
  *ppstOut = out;
  return FRNN_OK;
}
}  // namespace

uint32_t FrnnDense(const FrnnTensor* in, FrnnTensor** ppstOut, uint32_t units, uint32_t bias, FrnnWeightReader* r,
                   void* pool) {
  if (ppstOut == nullptr || in == nullptr || r == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  FrnnDenseParam p = FrnnDenseInit(in->uiC, in->uiH, in->uiW, units, bias, r);
  const uint32_t res = FrnnDenseLoadWeight(&p, r);
  if (res != FRNN_OK) return res;
  return FrnnDenseForward(&p, in, ppstOut, pool);
}
