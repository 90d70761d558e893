// In-place activations: ReLU (with an optional negative slope), ReLU-N, sigmoid and hard
// sigmoid, plus the fused activation the convolution layers apply after their forward.
#include <cmath>

#include "frnn_internal.h"

namespace {

bool IsFloatKind(uint32_t kind) { return kind == FRNN_KIND_F32 || kind == FRNN_KIND_F16; }

template <typename Op>
void ForRun(uint16_t* p, size_t count, Op op) {
  for (size_t j = 0; j < count; ++j) p[j] = op(p[j]);
}
template <typename Op>
void ForRun(float* p, size_t count, Op op) {
  for (size_t j = 0; j < count; ++j) p[j] = op(p[j]);
}

// Elements a kernel visits: every image's (sized channels) x plane, or the real elements.
size_t Span(const FrnnTensor* t, uint32_t c) { return static_cast<size_t>(t->uiN) * c * t->uiPlane; }

uint32_t ReluKernelF16(FrnnTensor* t, float slope) {
  const uint16_t uwSlope = FH(slope);
  auto op = [&](uint16_t x) -> uint16_t {
    if (!(HF(x) < 0.0f)) return x;
    return slope == 0.0f ? kHalfZero : HalfMul(x, uwSlope);
  };
  auto* p = Elems<uint16_t>(t);
  if (slope == 0.0f) {
    // The same test on the bit pattern: 0x8001..0xFC00 are the halves below zero (-0 and
    // the NaNs above 0xFC00 are not), so whole runs go eight or more at a time.
    const size_t n = t->uiLayout == FRNN_LAYOUT_NC8HW8 ? Span(t, RoundUp(t->uiC, 8)) : Span(t, t->uiC);
    if (t->uiLayout != FRNN_LAYOUT_NCHW && t->uiLayout != FRNN_LAYOUT_CHWN && t->uiLayout != FRNN_LAYOUT_NC8HW8) {
      return FRNN_ERR_ROW;
    }
    for (size_t j = 0; j < n; ++j) {
      const uint16_t x = p[j];
      p[j] = (x > 0x8000u && x <= 0xFC00u) ? kHalfZero : x;
    }
    return FRNN_OK;
  }
  switch (t->uiLayout) {
    case FRNN_LAYOUT_NCHW:
      ForRun(p, Span(t, t->uiC), op);
      return FRNN_OK;
    case FRNN_LAYOUT_CHWN:
      if (slope != 0.0f) return FRNN_ERR_UNSUPPORTED;
      ForRun(p, Span(t, t->uiC), op);
      return FRNN_OK;
    case FRNN_LAYOUT_NC8HW8:
      if (slope != 0.0f) return FRNN_ERR_UNSUPPORTED;
      ForRun(p, Span(t, RoundUp(t->uiC, 8)), op);
      return FRNN_OK;
    default:
      return FRNN_ERR_ROW;
  }
}

uint32_t ReluKernelF32(FrnnTensor* t, float slope) {
  auto op = [&](float x) { return x < 0.0f ? (slope == 0.0f ? 0.0f : x * slope) : x; };
  if (t->uiLayout == FRNN_LAYOUT_NCHW) {
    ForRun(Elems<float>(t), Span(t, t->uiC), op);
  } else if (t->uiLayout == FRNN_LAYOUT_NC4HW4) {
    ForRun(Elems<float>(t), Span(t, RoundUp(t->uiC, 4)), op);
  } else {
    return FRNN_ERR_ROW;
  }
  return FRNN_OK;
}

uint32_t ReluKernelDispatch(uint32_t kind, uint32_t value, FrnnTensor* t) {
  if (static_cast<int32_t>(kind) > 5) return FRNN_ERR_ARG;
  if (kind == FRNN_KIND_F32) return ReluKernelF32(t, BitsToFloat(value));
  if (kind == FRNN_KIND_F16) return ReluKernelF16(t, BitsToFloat(value));
  return FRNN_ERR_UNSUPPORTED;
}

uint32_t ReluNKernelF16(FrnnTensor* t, int32_t n) {
  const float fN = HF(FH(static_cast<float>(n)));
  auto op = [&](uint16_t x) -> uint16_t {
    const float f = HF(x);
    if (f < 0.0f) return kHalfZero;
    return f > fN ? FH(fN) : x;
  };
  if (t->uiLayout == FRNN_LAYOUT_NCHW) {
    ForRun(Elems<uint16_t>(t), Span(t, t->uiC), op);
  } else if (t->uiLayout == FRNN_LAYOUT_NC8HW8) {
    ForRun(Elems<uint16_t>(t), Span(t, RoundUp(t->uiC, 8)), op);
  } else {
    return FRNN_ERR_UNSUPPORTED;
  }
  return FRNN_OK;
}

uint32_t ReluNKernelF32(FrnnTensor* t, int32_t n) {
  const float fN = static_cast<float>(n);
  auto op = [&](float x) { return std::fmin(std::fmax(x, 0.0f), fN); };
  if (t->uiLayout == FRNN_LAYOUT_NCHW) {
    ForRun(Elems<float>(t), Span(t, t->uiC), op);
  } else if (t->uiLayout == FRNN_LAYOUT_NC4HW4) {
    ForRun(Elems<float>(t), Span(t, RoundUp(t->uiC, 4)), op);
  } else {
    return FRNN_ERR_UNSUPPORTED;
  }
  return FRNN_OK;
}

uint16_t SigmoidHalf(uint16_t x) { return FH(1.0f / (NnExpApprox(-HF(x)) + 1.0f)); }

uint32_t SigmoidKernelF16(FrnnTensor* t) {
  auto* p = Elems<uint16_t>(t);
  switch (t->uiLayout) {
    case FRNN_LAYOUT_NC8HW8:
      ForRun(p, static_cast<size_t>(t->uiN) * t->uiH * t->uiW * RoundUp(t->uiC, 8), SigmoidHalf);
      return FRNN_OK;
    case FRNN_LAYOUT_CHWN:
      ForRun(p, static_cast<size_t>(t->uiN) * t->uiC * t->uiH * t->uiW, SigmoidHalf);
      return FRNN_OK;
    case FRNN_LAYOUT_NCHW:
      for (uint32_t i = 0; i < t->uiN; ++i)
        for (uint32_t k = 0; k < t->uiC; ++k)
          for (uint32_t y = 0; y < t->uiH; ++y) ForRun(&At<uint16_t>(t, i, k, y, 0), t->uiW, SigmoidHalf);
      return FRNN_OK;
    default:
      return FRNN_ERR_UNSUPPORTED;
  }
}

uint32_t SigmoidKernelF32(FrnnTensor* t) {
  auto op = [](float x) { return 1.0f / (NnExpApprox(-x) + 1.0f); };
  if (t->uiLayout == FRNN_LAYOUT_NCHW) {
    ForRun(Elems<float>(t), static_cast<size_t>(t->uiN) * t->uiC * t->uiH * t->uiRowStride, op);
  } else if (t->uiLayout == FRNN_LAYOUT_NC4HW4) {
    ForRun(Elems<float>(t), static_cast<size_t>(t->uiN) * RoundUp(t->uiC, 4) * t->uiH * t->uiRowStride, op);
  } else {
    return FRNN_ERR_UNSUPPORTED;
  }
  return FRNN_OK;
}

int16_t SigmoidFixedOne(int16_t v, uint32_t q, bool bLimit) {
  q &= 15u;
  const uint32_t uiMag = static_cast<uint32_t>(v < 0 ? -static_cast<int32_t>(v) : v);
  const uint32_t a = uiMag << (16u - q);
  int64_t e = static_cast<int64_t>(FixedExpQ16Sat(a) >> (16u - q));
  const int64_t one2 = int64_t{1} << (2 * q);
  if (v >= 0) e = e == 0 ? 0 : one2 / e;
  const int64_t d = e + (int64_t{1} << q);
  int64_t r = d == 0 ? 0 : (one2 + d / 2) / d;
  if (bLimit) {
    if (r > 32767) r = 32767;
    if (r < -32767) r = -32768;
  }
  return static_cast<int16_t>(r);
}

uint32_t SigmoidKernelFixed16(FrnnTensor* t, uint32_t q) {
  auto* p = Elems<int16_t>(t);
  const size_t count = static_cast<size_t>(t->uiN) * t->uiC * t->uiH * t->uiRowStride;
  for (size_t j = 0; j < count; ++j) p[j] = SigmoidFixedOne(p[j], q, true);
  return FRNN_OK;
}

}  // namespace

FrnnReluParam FrnnReluInit(const FrnnWeightReader* r, float slope) {
  FrnnReluParam p{};
  if (r == nullptr) return p;
  p.uiKind = r->uiKind;
  p.uiFracBits = r->uiFracBits;
  p.uiFurther = r->uiFurther;
  p.uiValue = IsFloatKind(r->uiKind) ? FloatToBits(slope) : static_cast<uint32_t>(static_cast<int32_t>(slope));
  return p;
}

uint32_t FrnnReluForwardInplaceInt(const FrnnReluParam* p, FrnnTensor* t) {
  if (p == nullptr || t == nullptr) return FRNN_ERR_NULL;
  if (HalfRowRefused(t)) return FRNN_ERR_ROW;
  if (t->pvData == nullptr || t->uiN == 0) return static_cast<int32_t>(p->uiKind) > 5 ? FRNN_ERR_ARG : FRNN_OK;
  return ReluKernelDispatch(p->uiKind, p->uiValue, t);
}

uint32_t FrnnRelu(FrnnTensor* t, const FrnnWeightReader* r, void* /*pool*/, float slope) {
  if (t == nullptr || r == nullptr) return FRNN_ERR_NULL;
  const FrnnReluParam p = FrnnReluInit(r, slope);
  return FrnnReluForwardInplaceInt(&p, t);
}

FrnnReluNParam FrnnReluNInit(int32_t n, const FrnnWeightReader* r) {
  FrnnReluNParam p{};
  if (r == nullptr) return p;
  p.uiKind = r->uiKind;
  p.uiFracBits = r->uiFracBits;
  p.uiFurther = r->uiFurther;
  p.uiValue = static_cast<uint32_t>(n);
  return p;
}

uint32_t FrnnReluNForwardInplaceInt(const FrnnReluNParam* p, FrnnTensor* t) {
  if (p == nullptr || t == nullptr) return FRNN_ERR_NULL;
  if (HalfRowRefused(t)) return FRNN_ERR_ROW;
  if (static_cast<int32_t>(p->uiKind) > 5) return FRNN_ERR_ARG;
  if (t->pvData == nullptr || t->uiN == 0) return FRNN_OK;
  if (p->uiKind == FRNN_KIND_F32) return ReluNKernelF32(t, static_cast<int32_t>(p->uiValue));
  if (p->uiKind == FRNN_KIND_F16) return ReluNKernelF16(t, static_cast<int32_t>(p->uiValue));
  return FRNN_ERR_UNSUPPORTED;
}

uint32_t FrnnReluN(FrnnTensor* t, int32_t n, const FrnnWeightReader* r) {
  if (t == nullptr || r == nullptr) return FRNN_ERR_NULL;
  const FrnnReluNParam p = FrnnReluNInit(n, r);
  return FrnnReluNForwardInplaceInt(&p, t);
}

uint32_t FrnnApplyActivation(FrnnTensor* t, uint32_t activation, const FrnnWeightReader* r) {
  if (activation == 0) return FRNN_OK;
  if (activation == 1) {
    const FrnnReluParam p = FrnnReluInit(r, 0.0f);
    return FrnnReluForwardInplaceInt(&p, t);
  }
  if (activation == 2) {
    const FrnnReluNParam p = FrnnReluNInit(6, r);
    return FrnnReluNForwardInplaceInt(&p, t);
  }
  return FRNN_ERR_ARG;
}

FrnnSigmoidParam FrnnSigmoidInit(const FrnnWeightReader* r) {
  if (r == nullptr) return FrnnSigmoidParam{};
  return FrnnSigmoidParam{r->uiKind, r->uiFracBits};
}

FrnnSigmoidParam FrnnHardSigmoidInit(const FrnnWeightReader* r) { return FrnnSigmoidInit(r); }


int32_t FrnnSigmoidForwardInplaceInt(const FrnnSigmoidParam* p, FrnnTensor* in, FrnnTensor** ppstOut, void* pool) {
  if (p == nullptr || in == nullptr) return FRNN_ERR_NULL;
  if (HalfRowRefused(in)) return FRNN_ERR_ROW;
  const bool bBlocked = in->uiLayout == FRNN_LAYOUT_NC8HW8;
  if (bBlocked && p->uiKind != FRNN_KIND_F16) return FRNN_ERR_UNSUPPORTED;
  if (static_cast<int32_t>(p->uiKind) > 5) return FRNN_ERR_ARG;
  if (!IsFloatKind(p->uiKind)) return FRNN_ERR_UNSUPPORTED;
  if (ppstOut == nullptr) {
    return static_cast<int32_t>(p->uiKind == FRNN_KIND_F32 ? SigmoidKernelF32(in) : SigmoidKernelF16(in));
  }
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  uint32_t r;
  if (p->uiKind == FRNN_KIND_F32) {
    r = TensorQuantizeF32ToS16(in, ppstOut, p->uiFracBits, pool);
  } else {
    FrnnTensor* tmp = nullptr;
    const FrnnTensor* src = in;
    if (bBlocked) {
      r = FrnnTensorLayoutNC8HW8ToNCHW(in, &tmp, pool);
      if (r != FRNN_OK) return static_cast<int32_t>(r);
      src = tmp;
    }
    r = TensorQuantizeF16ToS16(src, ppstOut, p->uiFracBits, pool);
    DropTensor(tmp, pool);
  }
  // A conversion that made no tensor leaves nothing for the fixed-point kernel to run on.
  if (r != FRNN_OK || *ppstOut == nullptr) return static_cast<int32_t>(r != FRNN_OK ? r : FRNN_ERR_NOMEM);
  return static_cast<int32_t>(SigmoidKernelFixed16(*ppstOut, p->uiFracBits));
}

uint32_t FrnnSigmoid(FrnnTensor* t, const FrnnWeightReader* r, void* pool) {
  if (t == nullptr || r == nullptr) return FRNN_ERR_NULL;
  const FrnnSigmoidParam p = FrnnSigmoidInit(r);
  return static_cast<uint32_t>(FrnnSigmoidForwardInplaceInt(&p, t, nullptr, pool));
}

uint32_t FrnnHardSigmoidForwardInplaceInt(const FrnnSigmoidParam* p, FrnnTensor* t) {
  if (p == nullptr || t == nullptr) return FRNN_ERR_NULL;
  if (static_cast<int32_t>(p->uiKind) > 5) return FRNN_ERR_ARG;
  if (p->uiKind == FRNN_KIND_F32) {
    auto op = [](float x) { return std::fma(std::fmin(std::fmax(x, -3.0f), 3.0f), 0.16666667f, 0.5f); };
    if (t->uiLayout == FRNN_LAYOUT_NCHW) {
      ForRun(Elems<float>(t), Span(t, t->uiC), op);
    } else if (t->uiLayout == FRNN_LAYOUT_NC4HW4) {
      ForRun(Elems<float>(t), static_cast<size_t>(RoundUp(t->uiC, 4)) * t->uiN * t->uiH * t->uiW, op);
    } else {
      return FRNN_ERR_UNSUPPORTED;
    }
    return FRNN_OK;
  }
  if (p->uiKind == FRNN_KIND_F16) {
    const uint16_t uwSixth = FH(0.16666667f);
    auto op = [&](uint16_t x) {
      const float f = std::fmin(std::fmax(HF(x), -3.0f), 3.0f);
      return HalfFma(0x3800u, FH(f), uwSixth);
    };
    if (t->uiLayout == FRNN_LAYOUT_NCHW) {
      ForRun(Elems<uint16_t>(t), Span(t, t->uiC), op);
    } else if (t->uiLayout == FRNN_LAYOUT_NC8HW8) {
      ForRun(Elems<uint16_t>(t), static_cast<size_t>(RoundUp(t->uiC, 8)) * t->uiN * t->uiH * t->uiW, op);
    } else {
      return FRNN_ERR_UNSUPPORTED;
    }
    return FRNN_OK;
  }
  return FRNN_ERR_UNSUPPORTED;
}

uint32_t FrnnHardSigmoid(FrnnTensor* t, const FrnnWeightReader* r, void* /*pool*/) {
  if (t == nullptr || r == nullptr) return FRNN_ERR_NULL;
  const FrnnSigmoidParam p = FrnnHardSigmoidInit(r);
  return FrnnHardSigmoidForwardInplaceInt(&p, t);
}

int16_t SigmoidFixedScalar(int16_t v, uint32_t q) { return SigmoidFixedOne(v, q, false); }

int32_t SigmoidFixedScalarWide(int16_t v, uint32_t q) {
  q &= 15u;
  const uint32_t uiMag = static_cast<uint32_t>(v < 0 ? -static_cast<int32_t>(v) : v);
  int64_t e = static_cast<int64_t>(FixedExpQ16(uiMag << (16u - q)) >> (16u - q));
  const int64_t one2 = int64_t{1} << (2 * q);
  auto divide = [](int64_t a, int64_t b) -> int64_t {
    if (b == 0) return 0;
    constexpr int64_t kSingleMax = 15999999;
    if (a <= kSingleMax && a >= -kSingleMax && b <= kSingleMax && b >= -kSingleMax) {
      return static_cast<int64_t>(static_cast<float>(a) / static_cast<float>(b));
    }
    return static_cast<int64_t>(static_cast<double>(a) / static_cast<double>(b));
  };
  if (v >= 0) e = divide(one2, e);
  const int64_t d = e + (int64_t{1} << q);
  const int64_t r = divide(one2 + d / 2, d);
  return static_cast<int32_t>(r);
}
