// Path A of the convolution: the half-precision planar (NCHW) kernels. The output is the
// accumulator: every plane starts at its bias, then each input channel in ascending order
// adds its taps row-major, rounded to half after every term. The 8-lane body (F16C/AVX2,
// chosen at run time) does the same arithmetic on eight columns at once; it only reads
// input columns that lie inside the row, and the scalar body finishes each row.
#include <atomic>
#include <cstring>

#include "frnn_conv_kernels.h"
#include "frnn_fast.h"
#include "frnn_internal.h"
#include "frnn_prepared.h"

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

std::atomic<bool> sbAllowVector{true};

struct PlanarShape {
  uint32_t kW, kH, sW, sH;
};

// The planar shapes path A runs (kernel width x height, strides along width, height).
constexpr PlanarShape kPlanar[] = {
    {3, 3, 2, 2}, {3, 3, 1, 1}, {3, 3, 2, 1}, {3, 1, 1, 1}, {1, 3, 1, 1},
    {1, 1, 1, 1}, {5, 5, 1, 1}, {5, 1, 1, 1}, {1, 5, 1, 1}, {2, 2, 2, 2},
};

#if defined(__x86_64__)
// acc[x] += w * in[x] for x below count, eight columns per step; the last partial step
// goes through a small buffer so that nothing past count is read or written.
__attribute__((target("avx2,f16c"))) void TapRowVector(uint16_t* acc, const uint16_t* in, uint16_t w,
                                                        uint32_t count) {
  const __m256 vw = _mm256_set1_ps(HalfToSingleOnce(w));
  uint32_t x = 0;
  for (; x + 8 <= count; x += 8) {
    const __m256 va = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(acc + x)));
    const __m256 vi = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x)));
    const __m256 vs = _mm256_add_ps(va, _mm256_mul_ps(vw, vi));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(acc + x), _mm256_cvtps_ph(vs, _MM_FROUND_TO_NEAREST_INT));
  }
  if (x == count) return;
  alignas(16) uint16_t ta[8] = {};
  alignas(16) uint16_t ti[8] = {};
  const uint32_t rest = count - x;
  memcpy(ta, acc + x, rest * 2);
  memcpy(ti, in + x, rest * 2);
  const __m256 va = _mm256_cvtph_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(ta)));
  const __m256 vi = _mm256_cvtph_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(ti)));
  _mm_store_si128(reinterpret_cast<__m128i*>(ta),
                  _mm256_cvtps_ph(_mm256_add_ps(va, _mm256_mul_ps(vw, vi)), _MM_FROUND_TO_NEAREST_INT));
  memcpy(acc + x, ta, rest * 2);
}

__attribute__((target("avx2,f16c"))) inline __m256 RoundHalf(__m256 v) {
  return _mm256_cvtph_ps(_mm256_cvtps_ph(v, _MM_FROUND_TO_NEAREST_INT));
}

__attribute__((target("avx2,f16c"))) void TileFmaVector(uint16_t* acc, const uint16_t* w64, const uint16_t* in8) {
  __m256 va = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(acc)));
  const __m256 vin = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in8)));
  for (uint32_t l = 0; l < 8; ++l) {
    const __m256 vw = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w64 + l * 8)));
    const __m256 vx = _mm256_permutevar8x32_ps(vin, _mm256_set1_epi32(static_cast<int>(l)));
    va = RoundHalf(_mm256_add_ps(va, _mm256_mul_ps(vw, vx)));
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(acc), _mm256_cvtps_ph(va, _MM_FROUND_TO_NEAREST_INT));
}

// N output pixels side by side (their inputs pixelStep halves apart), so that the
// rounding chains of the accumulators overlap.
template <uint32_t N>
__attribute__((target("avx2,f16c"))) void BlockedPixelsVector(uint16_t* acc, const uint16_t* tiles,
                                                               const uint16_t* in, size_t blockStride, uint32_t jb,
                                                               uint32_t kH, uint32_t kW, size_t rowStep,
                                                               size_t pixelStep) {
  __m256 va[N];
  for (uint32_t p = 0; p < N; ++p) va[p] = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(acc + p * 8)));
  for (uint32_t j = 0; j < jb; ++j)
    for (uint32_t ky = 0; ky < kH; ++ky)
      for (uint32_t kx = 0; kx < kW; ++kx, tiles += 64) {
        const uint16_t* px = in + j * blockStride + ky * rowStep + kx * 8;
        __m256 vin[N];
        for (uint32_t p = 0; p < N; ++p) {
          vin[p] = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(px + p * pixelStep)));
        }
        for (uint32_t l = 0; l < 8; ++l) {
          const __m256 vw = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(tiles + l * 8)));
          const __m256i sel = _mm256_set1_epi32(static_cast<int>(l));
          for (uint32_t p = 0; p < N; ++p) {
            va[p] = RoundHalf(_mm256_add_ps(va[p], _mm256_mul_ps(vw, _mm256_permutevar8x32_ps(vin[p], sel))));
          }
        }
      }
  for (uint32_t p = 0; p < N; ++p) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(acc + p * 8), _mm256_cvtps_ph(va[p], _MM_FROUND_TO_NEAREST_INT));
  }
}

// acc[x] += in[x] where in[x] > 0, and dst[x] = s x v[x], each rounded to half.
__attribute__((target("avx2,f16c"))) uint32_t AddPositivesVector(uint16_t* acc, const uint16_t* in, uint32_t count) {
  uint32_t x = 0;
  const __m256 zero = _mm256_setzero_ps();
  for (; x + 8 <= count; x += 8) {
    const __m256 va = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(acc + x)));
    const __m256 vi = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x)));
    const __m256 pos = _mm256_cmp_ps(vi, zero, _CMP_GT_OQ);
    const __m256 sum = _mm256_cvtph_ps(_mm256_cvtps_ph(_mm256_add_ps(va, vi), _MM_FROUND_TO_NEAREST_INT));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(acc + x),
                     _mm256_cvtps_ph(_mm256_blendv_ps(va, sum, pos), _MM_FROUND_TO_NEAREST_INT));
  }
  return x;
}

__attribute__((target("avx2,f16c"))) uint32_t ScaleRowVector(uint16_t* dst, const uint16_t* v, uint16_t s,
                                                              uint32_t count) {
  uint32_t x = 0;
  const __m256 vs = _mm256_set1_ps(HF(s));
  for (; x + 8 <= count; x += 8) {
    const __m256 vv = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm256_cvtps_ph(_mm256_mul_ps(vs, vv), _MM_FROUND_TO_NEAREST_INT));
  }
  return x;
}

__attribute__((target("avx2,f16c"))) size_t BinaryVector(uint16_t* o, const uint16_t* a, const uint16_t* b, size_t n,
                                                          bool bMul) {
  size_t j = 0;
  for (; j + 8 <= n; j += 8) {
    const __m256 va = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + j)));
    const __m256 vb = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + j)));
    const __m256 r = bMul ? _mm256_mul_ps(va, vb) : _mm256_add_ps(va, vb);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + j), _mm256_cvtps_ph(r, _MM_FROUND_TO_NEAREST_INT));
  }
  return j;
}

__attribute__((target("avx2,f16c"))) void SumChainsVector(uint16_t* out, const uint16_t* base, size_t laneStride,
                                                           size_t stepStride, uint32_t lanes, uint32_t len) {
  __m256 acc = _mm256_setzero_ps();
  alignas(16) uint16_t v[8] = {};
  for (uint32_t j = 0; j < len; ++j) {
    const uint16_t* p = base + static_cast<size_t>(j) * stepStride;
    for (uint32_t l = 0; l < lanes; ++l) v[l] = p[l * laneStride];
    const __m256 x = _mm256_cvtph_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(v)));
    acc = _mm256_cvtph_ps(_mm256_cvtps_ph(_mm256_add_ps(acc, x), _MM_FROUND_TO_NEAREST_INT));
  }
  alignas(16) uint16_t r[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(r), _mm256_cvtps_ph(acc, _MM_FROUND_TO_NEAREST_INT));
  for (uint32_t l = 0; l < lanes; ++l) out[l] = r[l];
}

// Of two halves a and b, a where a > b (a NaN on either side takes b), as 8 lanes.
__attribute__((target("avx2,f16c"))) inline __m128i MaxRule(__m128i a, __m128i b) {
  const __m256 gt = _mm256_cmp_ps(_mm256_cvtph_ps(a), _mm256_cvtph_ps(b), _CMP_GT_OQ);
  const __m256i m = _mm256_castps_si256(gt);
  const __m128i m16 = _mm_packs_epi32(_mm256_castsi256_si128(m), _mm256_extracti128_si256(m, 1));
  return _mm_blendv_epi8(b, a, m16);
}

__attribute__((target("avx2,f16c"))) uint32_t MaxRowsVector(uint16_t* dst, const uint16_t* a, const uint16_t* b,
                                                             uint32_t n) {
  uint32_t x = 0;
  for (; x + 8 <= n; x += 8) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), MaxRule(va, vb));
  }
  return x;
}

__attribute__((target("avx2,f16c"))) uint32_t MaxPairsVector(uint16_t* dst, const uint16_t* src, uint32_t n) {
  // Bytes of the even (then odd) 16-bit lanes of one register gathered into its low half.
  const __m128i even = _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i odd = _mm_setr_epi8(2, 3, 6, 7, 10, 11, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1);
  uint32_t x = 0;
  for (; x + 8 <= n; x += 8) {
    const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * x));
    const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * x + 8));
    const __m128i e = _mm_unpacklo_epi64(_mm_shuffle_epi8(p0, even), _mm_shuffle_epi8(p1, even));
    const __m128i o = _mm_unpacklo_epi64(_mm_shuffle_epi8(p0, odd), _mm_shuffle_epi8(p1, odd));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), MaxRule(e, o));
  }
  return x;
}

__attribute__((target("avx2,f16c"))) void LaneFmaVector(uint16_t* acc, const uint16_t* w8, const uint16_t* in8) {
  const __m256 va = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(acc)));
  const __m256 vw = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w8)));
  const __m256 vi = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in8)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(acc),
                   _mm256_cvtps_ph(_mm256_add_ps(va, _mm256_mul_ps(vw, vi)), _MM_FROUND_TO_NEAREST_INT));
}
#endif

}  // namespace

#if defined(__x86_64__)
namespace {
// F16C and AVX2, with the operating system saving the 256-bit registers.
bool CpuHasHalfVector() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
  const bool bF16c = (c & (1u << 29)) != 0;
  const bool bOsxsave = (c & (1u << 27)) != 0;
  const bool bAvx = (c & (1u << 28)) != 0;
  if (!bF16c || !bOsxsave || !bAvx) return false;
  unsigned lo = 0, hi = 0;
  __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  if ((lo & 6u) != 6u) return false;
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return false;
  return (b & (1u << 5)) != 0;
}
}  // namespace
#endif

bool FrnnHasHalfVector() {
#if defined(__x86_64__)
  static const bool sbHas = CpuHasHalfVector();
  return sbHas && sbAllowVector.load(std::memory_order_relaxed);
#else
  return false;
#endif
}

void FrnnHalfTapRow(uint16_t* acc, const uint16_t* in, uint16_t w, uint32_t count, bool bVector) {
#if defined(__x86_64__)
  if (bVector) {
    TapRowVector(acc, in, w, count);
    return;
  }
#else
  (void)bVector;
#endif
  for (uint32_t x = 0; x < count; ++x) acc[x] = HalfFma(acc[x], w, in[x]);
}

void FrnnHalfTileFma(uint16_t* acc, const uint16_t* w64, const uint16_t* in8, bool bVector) {
#if defined(__x86_64__)
  if (bVector) {
    TileFmaVector(acc, w64, in8);
    return;
  }
#else
  (void)bVector;
#endif
  for (uint32_t l = 0; l < 8; ++l)
    for (uint32_t m = 0; m < 8; ++m) acc[m] = HalfFma(acc[m], w64[l * 8 + m], in8[l]);
}

void FrnnHalfBlockedPixels(uint16_t* acc, uint32_t count, const uint16_t* tiles, const uint16_t* in,
                           size_t blockStride, uint32_t jb, uint32_t kH, uint32_t kW, size_t rowStep,
                           size_t pixelStep, bool bVector) {
#if defined(__x86_64__)
  if (bVector) {
    uint32_t p = 0;
    for (; p + 4 <= count; p += 4) {
      BlockedPixelsVector<4>(acc + p * 8, tiles, in + p * pixelStep, blockStride, jb, kH, kW, rowStep, pixelStep);
    }
    for (; p < count; ++p) {
      BlockedPixelsVector<1>(acc + p * 8, tiles, in + p * pixelStep, blockStride, jb, kH, kW, rowStep, pixelStep);
    }
    return;
  }
#endif
  for (uint32_t p = 0; p < count; ++p) {
    const uint16_t* t = tiles;
    for (uint32_t j = 0; j < jb; ++j)
      for (uint32_t ky = 0; ky < kH; ++ky)
        for (uint32_t kx = 0; kx < kW; ++kx, t += 64) {
          FrnnHalfTileFma(acc + p * 8, t, in + p * pixelStep + j * blockStride + ky * rowStep + kx * 8, false);
        }
  }
}

void FrnnHalfLaneFma(uint16_t* acc, const uint16_t* w8, const uint16_t* in8, bool bVector) {
#if defined(__x86_64__)
  if (bVector) {
    LaneFmaVector(acc, w8, in8);
    return;
  }
#else
  (void)bVector;
#endif
  for (uint32_t m = 0; m < 8; ++m) acc[m] = HalfFma(acc[m], w8[m], in8[m]);
}

void FrnnHalfAddPositives(uint16_t* acc, const uint16_t* in, uint32_t count, bool bVector) {
  uint32_t x = 0;
#if defined(__x86_64__)
  if (bVector) x = AddPositivesVector(acc, in, count);
#else
  (void)bVector;
#endif
  for (; x < count; ++x) {
    if (HF(in[x]) > 0.0f) acc[x] = HalfAdd(acc[x], in[x]);
  }
}

void FrnnHalfScaleRow(uint16_t* dst, const uint16_t* v, uint16_t s, uint32_t count, bool bVector) {
  uint32_t x = 0;
#if defined(__x86_64__)
  if (bVector) x = ScaleRowVector(dst, v, s, count);
#else
  (void)bVector;
#endif
  for (; x < count; ++x) dst[x] = HalfMul(s, v[x]);
}

void FrnnHalfBinaryRow(uint16_t* o, const uint16_t* a, const uint16_t* b, size_t n, bool bMul, bool bVector) {
  size_t j = 0;
#if defined(__x86_64__)
  if (bVector) j = BinaryVector(o, a, b, n, bMul);
#else
  (void)bVector;
#endif
  for (; j < n; ++j) o[j] = bMul ? HalfMul(a[j], b[j]) : HalfAdd(a[j], b[j]);
}

void FrnnHalfSumChains(uint16_t* out, const uint16_t* base, size_t laneStride, size_t stepStride, uint32_t lanes,
                       uint32_t len, bool bVector) {
#if defined(__x86_64__)
  if (bVector) {
    SumChainsVector(out, base, laneStride, stepStride, lanes, len);
    return;
  }
#else
  (void)bVector;
#endif
  for (uint32_t l = 0; l < lanes; ++l) {
    uint16_t acc = kHalfZero;
    for (uint32_t j = 0; j < len; ++j) acc = HalfAdd(acc, base[l * laneStride + static_cast<size_t>(j) * stepStride]);
    out[l] = acc;
  }
}

namespace {
uint16_t MaxRuleScalar(uint16_t a, uint16_t b) { return HF(a) > HF(b) ? a : b; }
}  // namespace

void FrnnHalfMaxRows(uint16_t* dst, const uint16_t* a, const uint16_t* b, uint32_t n, bool bVector) {
  uint32_t x = 0;
#if defined(__x86_64__)
  if (bVector) x = MaxRowsVector(dst, a, b, n);
#else
  (void)bVector;
#endif
  for (; x < n; ++x) dst[x] = MaxRuleScalar(a[x], b[x]);
}

void FrnnHalfMaxPairs(uint16_t* dst, const uint16_t* src, uint32_t n, bool bVector) {
  uint32_t x = 0;
#if defined(__x86_64__)
  if (bVector) x = MaxPairsVector(dst, src, n);
#else
  (void)bVector;
#endif
  for (; x < n; ++x) dst[x] = MaxRuleScalar(src[2 * x], src[2 * x + 1]);
}

void FrnnSetVectorKernels(bool bAllow) { sbAllowVector.store(bAllow, std::memory_order_relaxed); }

void ConvPlanarF16(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor* out, bool bVector) {
  const uint32_t kW = l->kernelWidth;
  const uint32_t kH = l->kernelHeight;
  const uint32_t sW = l->strideWidth;
  const uint32_t sH = l->strideHeight;
  const uint32_t C = in->uiC;
  const auto* wts = Elems<const uint16_t>(&l->weights);
  const uint32_t uiOutW = out->uiW;
#if !defined(__x86_64__)
  bVector = false;
#endif
  for (uint32_t n = 0; n < in->uiN; ++n) {
    const FrnnTensor ii = FrnnTensorImage(in, n);
    FrnnTensor oi = FrnnTensorImage(out, n);
    for (uint32_t o = 0; o < out->uiC; ++o) {
      FrnnTensor oc = FrnnTensorChannel(&oi, o);
      FrnnTensorFill16f(&oc, l->hasBias ? Elems<const uint16_t>(&l->bias)[o] : kHalfZero);
      auto* po = Elems<uint16_t>(&oc);
      for (uint32_t k = 0; k < C; ++k) {
        const FrnnTensor ic = FrnnTensorChannel(&ii, k);
        const auto* pi = Elems<const uint16_t>(&ic);
        const uint16_t* w = wts + (static_cast<size_t>(o) * C + k) * kH * kW;
        // A 1x1 kernel reads and writes planes of the same row stride: one flat run each.
        const bool bFlat = kW == 1 && kH == 1 && sW == 1 && sH == 1 && in->uiRowStride == out->uiRowStride;
        for (uint32_t ky = 0; ky < kH; ++ky) {
          for (uint32_t kx = 0; kx < kW; ++kx) {
            const uint16_t uwW = w[ky * kW + kx];
            const uint32_t uiRows = bFlat ? 1 : out->uiH;
            const uint32_t uiCols = bFlat ? out->uiH * out->uiRowStride : uiOutW;
            for (uint32_t y = 0; y < uiRows; ++y) {
              uint16_t* acc = po + static_cast<size_t>(y) * out->uiRowStride;
              const uint16_t* src = pi + static_cast<size_t>(y * sH + ky) * in->uiRowStride + kx;
              if (sW == 1) {
                FrnnHalfTapRow(acc, src, uwW, uiCols, bVector);
                continue;
              }
              for (uint32_t x = 0; x < uiCols; ++x) acc[x] = HalfFma(acc[x], uwW, src[static_cast<size_t>(x) * sW]);
            }
          }
        }
      }
    }
  }
}

uint32_t ConvUnrolledKernel(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor* out, void* pool) {
  const bool bDil1 = l->dilationWidth == 1 && l->dilationHeight == 1;
  if (!bDil1 || in->uiKind != FRNN_KIND_F16) return FRNN_ERR_UNSUPPORTED;
  // A block being installed has its weights widened and packed here, once.
  FrnnPreparedRecord(l, in->uiC, out->uiC);
  const uint32_t kW = l->kernelWidth, kH = l->kernelHeight, sW = l->strideWidth, sH = l->strideHeight;
  if (in->uiLayout == FRNN_LAYOUT_NC8HW8) return ConvBlockedNc8F16(l, in, out, pool);
  if (in->uiLayout == FRNN_LAYOUT_CHWN) {
    if (kW == 3 && kH == 3 && ((sW == 1 && sH == 1) || (sW == 2 && sH == 2) || (sW == 2 && sH == 1))) {
      ConvChwn3x3Kernel(l, in, out);
      return FRNN_OK;
    }
    if (kW == 1 && kH == 1 && sW == 1 && sH == 1) {
      ConvChwn1x1Kernel(in, out, &l->weights, &l->bias, l->hasBias);
      return FRNN_OK;
    }
    return FRNN_ERR_UNSUPPORTED;
  }
  if (in->uiLayout != FRNN_LAYOUT_NCHW) return FRNN_ERR_UNSUPPORTED;
  if ((in->uiRowStride % 8) != 0 || (out->uiRowStride % 8) != 0) {
    return FRNN_ERR_UNSUPPORTED;
  }
  for (const PlanarShape& s : kPlanar) {
    if (s.kW == l->kernelWidth && s.kH == l->kernelHeight && s.sW == l->strideWidth && s.sH == l->strideHeight) {
      // The fast path takes stride 1; when the pool cannot hold its scratch, the
      // reference kernel (which needs none) runs instead.
      if (FrnnFastConvPlanar(l, in, out, pool) == FRNN_OK) return FRNN_OK;
      ConvPlanarF16(l, in, out, FrnnHasHalfVector());
      return FRNN_OK;
    }
  }
  return FRNN_ERR_UNSUPPORTED;
}
