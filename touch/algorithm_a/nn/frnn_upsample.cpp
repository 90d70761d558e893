// Bilinear up-sampling by real scale factors, corner-aligned or half-pixel centred.
#include <cmath>

#include "frnn_conv_kernels.h"
#include "frnn_internal.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

struct Tap {
  uint32_t i0;
  uint32_t i1;
  uint16_t f;   // weight of i1 (half)
  uint16_t g;   // weight of i0 = 1 - f (half)
};

// Sampling table of one axis: input size S, output size D.
void Coordinates(Tap* t, uint32_t S, uint32_t D, bool bAlign) {
  for (uint32_t i = 0; i < D; ++i) {
    double src;
    if (bAlign) {
      // One output sample takes the first input one instead of dividing by zero.
      src = D > 1 ? (static_cast<double>(S) - 1) / (static_cast<double>(D) - 1) * i : 0.0;
    } else {
      src = std::fma(i + 0.5, static_cast<double>(S) / D, -0.5);
    }
    const double dI0 = std::trunc(src);
    uint32_t i0 = dI0 < 0 ? 0 : static_cast<uint32_t>(dI0);
    if (i0 > S - 1) i0 = S - 1;
    t[i].i0 = i0;
    t[i].i1 = i0 < S - 1 ? i0 + 1 : S - 1;
    uint16_t f = DoubleToHalfOnce(src - dI0);
    if (!bAlign && HF(f) < 0.0f) f = kHalfZero;
    t[i].f = f;
    t[i].g = FH(1.0f - HF(f));
  }
}

uint16_t Lerp(uint16_t a, uint16_t b, const Tap& t) { return HalfFma(HalfMul(a, t.g), b, t.f); }

// dst[x] = Lerp(a[x], b[x], t) for x below n: the same two roundings per element, eight
// elements at a time where the processor has the half-precision vector unit.
#if defined(__x86_64__)
__attribute__((target("avx2,f16c"))) void LerpRowVector(uint16_t* dst, const uint16_t* a, const uint16_t* b,
                                                         const Tap& t, uint32_t n) {
  const __m256 g = _mm256_set1_ps(HF(t.g));
  const __m256 f = _mm256_set1_ps(HF(t.f));
  uint32_t x = 0;
  for (; x + 8 <= n; x += 8) {
    const __m256 va = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x)));
    const __m256 vb = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x)));
    const __m256 p = _mm256_cvtph_ps(_mm256_cvtps_ph(_mm256_mul_ps(va, g), _MM_FROUND_TO_NEAREST_INT));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x),
                     _mm256_cvtps_ph(_mm256_add_ps(p, _mm256_mul_ps(vb, f)), _MM_FROUND_TO_NEAREST_INT));
  }
  for (; x < n; ++x) dst[x] = Lerp(a[x], b[x], t);
}

// dst[x] = Lerp(a[x], b[x]) with each column's own weights g[x] (of a) and f[x] (of b).
__attribute__((target("avx2,f16c"))) uint32_t LerpColumnsVector(uint16_t* dst, const uint16_t* a, const uint16_t* b,
                                                                 const uint16_t* g, const uint16_t* f, uint32_t n) {
  uint32_t x = 0;
  for (; x + 8 <= n; x += 8) {
    const __m256 va = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x)));
    const __m256 vg = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(g + x)));
    const __m256 vb = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x)));
    const __m256 vf = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f + x)));
    const __m256 p = _mm256_cvtph_ps(_mm256_cvtps_ph(_mm256_mul_ps(va, vg), _MM_FROUND_TO_NEAREST_INT));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x),
                     _mm256_cvtps_ph(_mm256_add_ps(p, _mm256_mul_ps(vb, vf)), _MM_FROUND_TO_NEAREST_INT));
  }
  return x;
}
#endif

void LerpRow(uint16_t* dst, const uint16_t* a, const uint16_t* b, const Tap& t, uint32_t n, bool bVector) {
#if defined(__x86_64__)
  if (bVector) {
    LerpRowVector(dst, a, b, t, n);
    return;
  }
#else
  (void)bVector;
#endif
  for (uint32_t x = 0; x < n; ++x) dst[x] = Lerp(a[x], b[x], t);
}

// Planar layout: every input row is interpolated along the width once (each output row
// of the plain loop recomputes exactly these values), then the output rows between them.
void UpSamplePlanarF16(const FrnnTensor* in, FrnnTensor* out, const Tap* tw, const Tap* th, uint16_t* rows) {
  const bool bVector = FrnnHasHalfVector();
  const uint32_t W = out->uiW;
  // The columns' taps gathered once per row and their weights once per call, so that the
  // row's interpolation runs eight columns at a time.
  constexpr uint32_t kCols = 512;
  uint16_t g[kCols], f[kCols], a[kCols], b[kCols];
  const bool bColumns = bVector && W <= kCols;
  if (bColumns) {
    for (uint32_t x = 0; x < W; ++x) {
      g[x] = tw[x].g;
      f[x] = tw[x].f;
    }
  }
  for (uint32_t i = 0; i < in->uiN; ++i)
    for (uint32_t k = 0; k < in->uiC; ++k) {
      for (uint32_t r = 0; r < in->uiH; ++r) {
        const uint16_t* src = &At<uint16_t>(in, i, k, r, 0);
        uint16_t* h = rows + static_cast<size_t>(r) * W;
        uint32_t x = 0;
#if defined(__x86_64__)
        if (bColumns) {
          for (uint32_t c = 0; c < W; ++c) {
            a[c] = src[tw[c].i0];
            b[c] = src[tw[c].i1];
          }
          x = LerpColumnsVector(h, a, b, g, f, W);
        }
#endif
        for (; x < W; ++x) h[x] = Lerp(src[tw[x].i0], src[tw[x].i1], tw[x]);
      }
      for (uint32_t y = 0; y < out->uiH; ++y) {
        const Tap& ty = th[y];
        LerpRow(&At<uint16_t>(out, i, k, y, 0), rows + static_cast<size_t>(ty.i0) * W,
                rows + static_cast<size_t>(ty.i1) * W, ty, W, bVector);
      }
    }
}

uint32_t UpSampleKernelF16(const FrnnUpSampleParam* p, const FrnnTensor* in, FrnnTensor* out, void* pool) {
  if (in->uiLayout != FRNN_LAYOUT_NCHW && in->uiLayout != FRNN_LAYOUT_NC8HW8) return FRNN_ERR_UNSUPPORTED;
  auto* tw = static_cast<Tap*>(FRNN_POOL_ALLOC(pool, sizeof(Tap) * out->uiW + 16));
  auto* th = static_cast<Tap*>(FRNN_POOL_ALLOC(pool, sizeof(Tap) * out->uiH + 16));
  if (tw == nullptr || th == nullptr) {
    NnPoolFree(pool, tw);
    NnPoolFree(pool, th);
    return FRNN_ERR_NOMEM;
  }
  Coordinates(tw, in->uiW, out->uiW, p->uiAlignCorners != 0);
  Coordinates(th, in->uiH, out->uiH, p->uiAlignCorners != 0);
  const bool bBlocked = in->uiLayout == FRNN_LAYOUT_NC8HW8;
  if (!bBlocked) {
    auto* rows = static_cast<uint16_t*>(FRNN_POOL_ALLOC(pool, static_cast<size_t>(in->uiH) * out->uiW * 2 + 16));
    if (rows != nullptr) {
      UpSamplePlanarF16(in, out, tw, th, rows);
      NnPoolFree(pool, rows);
      NnPoolFree(pool, tw);
      NnPoolFree(pool, th);
      return FRNN_OK;
    }
  }
  const uint32_t C = bBlocked ? RoundUp(in->uiC, 8) : in->uiC;
  for (uint32_t i = 0; i < in->uiN; ++i)
    for (uint32_t k = 0; k < C; ++k)
      for (uint32_t y = 0; y < out->uiH; ++y)
        for (uint32_t x = 0; x < out->uiW; ++x) {
          auto at = [&](const FrnnTensor* t, uint32_t yy, uint32_t xx) -> uint16_t& {
            if (!bBlocked) return At<uint16_t>(t, i, k, yy, xx);
            const size_t idx = (((static_cast<size_t>(i) * (C / 8) + k / 8) * t->uiH + yy) * t->uiW + xx) * 8 + k % 8;
            return Elems<uint16_t>(t)[idx];
          };
          const Tap& ty = th[y];
          const Tap& tx = tw[x];
          const uint16_t top = Lerp(at(in, ty.i0, tx.i0), at(in, ty.i0, tx.i1), tx);
          const uint16_t bot = Lerp(at(in, ty.i1, tx.i0), at(in, ty.i1, tx.i1), tx);
          at(out, y, x) = Lerp(top, bot, ty);
        }
  NnPoolFree(pool, tw);
  NnPoolFree(pool, th);
  return FRNN_OK;
}

uint32_t UpSampleKernelF32(const FrnnUpSampleParam* p, const FrnnTensor* in, FrnnTensor* out, void* pool) {
  if (in->uiLayout != FRNN_LAYOUT_NCHW) return FRNN_ERR_UNSUPPORTED;
  auto* tw = static_cast<Tap*>(FRNN_POOL_ALLOC(pool, sizeof(Tap) * out->uiW + 16));
  auto* th = static_cast<Tap*>(FRNN_POOL_ALLOC(pool, sizeof(Tap) * out->uiH + 16));
  if (tw == nullptr || th == nullptr) {
    NnPoolFree(pool, tw);
    NnPoolFree(pool, th);
    return FRNN_ERR_NOMEM;
  }
  Coordinates(tw, in->uiW, out->uiW, p->uiAlignCorners != 0);
  Coordinates(th, in->uiH, out->uiH, p->uiAlignCorners != 0);
  for (uint32_t i = 0; i < in->uiN; ++i)
    for (uint32_t k = 0; k < in->uiC; ++k)
      for (uint32_t y = 0; y < out->uiH; ++y)
        for (uint32_t x = 0; x < out->uiW; ++x) {
          const Tap& ty = th[y];
          const Tap& tx = tw[x];
          const float fx = HF(tx.f), gx = HF(tx.g), fy = HF(ty.f), gy = HF(ty.g);
          const float top = gx * At<float>(in, i, k, ty.i0, tx.i0) + fx * At<float>(in, i, k, ty.i0, tx.i1);
          const float bot = gx * At<float>(in, i, k, ty.i1, tx.i0) + fx * At<float>(in, i, k, ty.i1, tx.i1);
          At<float>(out, i, k, y, x) = gy * top + fy * bot;
        }
  NnPoolFree(pool, tw);
  NnPoolFree(pool, th);
  return FRNN_OK;
}

}  // namespace

FrnnUpSampleParam FrnnUpSampleInit(uint32_t mode, uint32_t alignCorners, const FrnnWeightReader* r, float hScale,
                                   float wScale) {
  FrnnUpSampleParam p{};
  p.uiMode = mode;
  p.uiAlignCorners = alignCorners;
  p.fHeightScale = hScale;
  p.fWidthScale = wScale;
  if (r != nullptr) {
    p.uiKind = r->uiKind;
    p.uiReaderWord = r->uiLayoutChoice;
    p.uiFracBits = r->uiFracBits;
    p.uiFurther = r->uiFurther;
  }
  return p;
}

uint32_t FrnnUpSampleForward(const FrnnUpSampleParam* p, const FrnnTensor* in, FrnnTensor** ppstOut, void* pool) {
  if (p == nullptr || in == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  const double dW = std::trunc(static_cast<double>(in->uiW) * p->fWidthScale);
  const double dH = std::trunc(static_cast<double>(in->uiH) * p->fHeightScale);
  if (!(dW >= 1 && dH >= 1 && dW <= 65535 && dH <= 65535) || in->uiW == 0 || in->uiH == 0) return FRNN_ERR_ARG;
  FrnnTensor* out = FrnnTensorCreate3D(in->uiN, static_cast<uint32_t>(dW), static_cast<uint32_t>(dH), in->uiC,
                                       in->uiElemSize, in->uiLayout, p->uiKind, pool);
  if (out == nullptr) return FRNN_ERR_NOMEM;
  uint32_t r;
  if (p->uiKind >= 6) {
    r = FRNN_ERR_ARG;
  } else if (p->uiKind == FRNN_KIND_F16 && in->uiKind == FRNN_KIND_F16) {
    r = UpSampleKernelF16(p, in, out, pool);
  } else if (p->uiKind == FRNN_KIND_F32 && in->uiKind == FRNN_KIND_F32) {
    // Only NCHW is computed; another layout is refused rather than stored unwritten.
    r = UpSampleKernelF32(p, in, out, pool);
  } else {
    r = FRNN_ERR_UNSUPPORTED;
  }
  if (r != FRNN_OK) {
    FrnnTensorDestroy(&out, pool);
    return r;
  }
  *ppstOut = out;
  return FRNN_OK;
}

uint32_t FrnnUpSample(const FrnnTensor* in, FrnnTensor** ppstOut, uint32_t mode, uint32_t alignCorners,
                      const FrnnWeightReader* r, void* pool, float hScale, float wScale) {
  if (ppstOut == nullptr || in == nullptr || r == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  const FrnnUpSampleParam p = FrnnUpSampleInit(mode, alignCorners, r, hScale, wScale);
  return FrnnUpSampleForward(&p, in, ppstOut, pool);
}
