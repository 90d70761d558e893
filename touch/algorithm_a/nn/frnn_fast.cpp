// Shared pieces of the fast paths (see frnn_fast.h): the switch and the 8-lane helpers.
#include "frnn_fast.h"

#include <atomic>
#include <cmath>

#include "frnn_conv_kernels.h"
#include "frnn_internal.h"
#include "frnn_prepared.h"
#include "tsa_memory.h"

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

std::atomic<bool> sbAllowFast{true};

#if defined(__x86_64__)
bool CpuHasFma() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
  return (c & (1u << 12)) != 0;
}

__attribute__((target("avx2,f16c,fma"))) inline __m256 Load8(const uint16_t* p) {
  return _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

__attribute__((target("avx2,f16c,fma"))) float DotVector(const uint16_t* w, const float* x, uint32_t n) {
  __m256 a0 = _mm256_setzero_ps(), a1 = _mm256_setzero_ps(), a2 = _mm256_setzero_ps(), a3 = _mm256_setzero_ps();
  uint32_t j = 0;
  for (; j + 32 <= n; j += 32) {
    a0 = _mm256_fmadd_ps(Load8(w + j), _mm256_loadu_ps(x + j), a0);
    a1 = _mm256_fmadd_ps(Load8(w + j + 8), _mm256_loadu_ps(x + j + 8), a1);
    a2 = _mm256_fmadd_ps(Load8(w + j + 16), _mm256_loadu_ps(x + j + 16), a2);
    a3 = _mm256_fmadd_ps(Load8(w + j + 24), _mm256_loadu_ps(x + j + 24), a3);
  }
  for (; j + 8 <= n; j += 8) a0 = _mm256_fmadd_ps(Load8(w + j), _mm256_loadu_ps(x + j), a0);
  const __m256 s = _mm256_add_ps(_mm256_add_ps(a0, a1), _mm256_add_ps(a2, a3));
  __m128 q = _mm_add_ps(_mm256_castps256_ps128(s), _mm256_extractf128_ps(s, 1));
  q = _mm_add_ps(q, _mm_movehl_ps(q, q));
  q = _mm_add_ss(q, _mm_movehdup_ps(q));
  float acc = _mm_cvtss_f32(q);
  for (; j < n; ++j) acc = std::fma(HF(w[j]), x[j], acc);
  return acc;
}

__attribute__((target("avx2,f16c,fma"))) void WidenVector(const uint16_t* src, float* dst, uint32_t n) {
  uint32_t j = 0;
  for (; j + 8 <= n; j += 8) _mm256_storeu_ps(dst + j, Load8(src + j));
  for (; j < n; ++j) dst[j] = HF(src[j]);
}
#endif

}  // namespace

bool FrnnFastPaths() {
#if defined(__x86_64__)
  static const bool sbHas = CpuHasFma();
  return sbHas && FrnnHasHalfVector() && sbAllowFast.load(std::memory_order_relaxed);
#else
  return false;
#endif
}

void FrnnSetFastPaths(bool bAllow) { sbAllowFast.store(bAllow, std::memory_order_relaxed); }

float FrnnFastDotHalf(const uint16_t* w, const float* x, uint32_t n) {
#if defined(__x86_64__)
  return DotVector(w, x, n);
#else
  float acc = 0.0f;
  for (uint32_t j = 0; j < n; ++j) acc = std::fma(HF(w[j]), x[j], acc);
  return acc;
#endif
}

void FrnnFastWiden(const uint16_t* src, float* dst, uint32_t n) {
#if defined(__x86_64__)
  WidenVector(src, dst, n);
#else
  for (uint32_t j = 0; j < n; ++j) dst[j] = HF(src[j]);
#endif
}

// ---------------------------------------------------------------------------------------
// Planar (NCHW) half-precision convolution at stride 1: the input planes and the weights
// widened once into pool scratch, then tiles of 4 output channels x 16 columns kept in
// registers while every input channel and tap adds into them; each output rounded to half
// once. Columns past a row's end are computed from whatever follows it and never stored.
#if defined(__x86_64__)
namespace {

// NO output channels x NV vectors of 8 columns: NO x NV accumulators, each input value
// loaded once per tap for all NO outputs.
template <uint32_t NO, uint32_t NV>
__attribute__((target("avx2,f16c,fma"))) void PlanarTile(const float* x, size_t cStride, uint32_t C,
                                                          const float* w, size_t wStride, const int32_t* off,
                                                          uint32_t taps, const float* bias, uint16_t* const* dst,
                                                          uint32_t count) {
  __m256 acc[NO][NV];
  for (uint32_t j = 0; j < NO; ++j)
    for (uint32_t v = 0; v < NV; ++v) acc[j][v] = _mm256_set1_ps(bias[j]);
  for (uint32_t c = 0; c < C; ++c) {
    const float* xc = x + c * cStride;
    const float* wc = w + static_cast<size_t>(c) * taps;
    for (uint32_t t = 0; t < taps; ++t) {
      __m256 xv[NV];
      for (uint32_t v = 0; v < NV; ++v) xv[v] = _mm256_loadu_ps(xc + off[t] + v * 8);
      for (uint32_t j = 0; j < NO; ++j) {
        const __m256 vw = _mm256_broadcast_ss(wc + j * wStride + t);
        for (uint32_t v = 0; v < NV; ++v) acc[j][v] = _mm256_fmadd_ps(vw, xv[v], acc[j][v]);
      }
    }
  }
  for (uint32_t j = 0; j < NO; ++j) {
    alignas(32) uint16_t tmp[NV * 8];
    for (uint32_t v = 0; v < NV; ++v) {
      _mm_store_si128(reinterpret_cast<__m128i*>(tmp + v * 8), _mm256_cvtps_ph(acc[j][v], _MM_FROUND_TO_NEAREST_INT));
    }
    if (count == NV * 8) {
      memcpy(dst[j], tmp, sizeof tmp);
    } else {
      for (uint32_t k = 0; k < count; ++k) dst[j][k] = tmp[k];
    }
  }
}

template <uint32_t NV>
__attribute__((target("avx2,f16c,fma"))) void PlanarTileAny(uint32_t no, const float* x, size_t cStride, uint32_t C,
                                                             const float* w, size_t wStride, const int32_t* off,
                                                             uint32_t taps, const float* bias, uint16_t* const* dst,
                                                             uint32_t count) {
  switch (no) {
    case 4: PlanarTile<4, NV>(x, cStride, C, w, wStride, off, taps, bias, dst, count); break;
    case 3: PlanarTile<3, NV>(x, cStride, C, w, wStride, off, taps, bias, dst, count); break;
    case 2: PlanarTile<2, NV>(x, cStride, C, w, wStride, off, taps, bias, dst, count); break;
    default: PlanarTile<1, NV>(x, cStride, C, w, wStride, off, taps, bias, dst, count); break;
  }
}

__attribute__((target("avx2,f16c,fma"))) void PlanarRun(const ConvolutionLayer* l, const FrnnTensor* in,
                                                         FrnnTensor* out, float* xs, const float* ws,
                                                         const float* bs, int32_t* off) {
  const uint32_t C = in->uiC, O = out->uiC, kW = l->kernelWidth, kH = l->kernelHeight, taps = kW * kH;
  const size_t cStride = in->uiPlane;
  // A 1x1 kernel over planes of one row stride is one flat row per plane.
  const bool bFlat = taps == 1 && in->uiRowStride == out->uiRowStride;
  const uint32_t rows = bFlat ? 1 : out->uiH;
  const uint32_t cols = bFlat ? out->uiH * out->uiRowStride : out->uiW;
  for (uint32_t ky = 0; ky < kH; ++ky)
    for (uint32_t kx = 0; kx < kW; ++kx) off[ky * kW + kx] = static_cast<int32_t>(ky * in->uiRowStride + kx);
  for (uint32_t n = 0; n < in->uiN; ++n) {
    FrnnFastWiden(Elems<const uint16_t>(in) + static_cast<size_t>(n) * C * cStride, xs, static_cast<uint32_t>(C * cStride));
    for (uint32_t o = 0; o < O;) {
      const uint32_t no = O - o >= 4 ? 4 : O - o;
      const float* w = ws + static_cast<size_t>(o) * C * taps;
      // Three vectors of columns where rows are long, two where they are short.
      const uint32_t span = cols >= 24 ? 24 : 16;
      for (uint32_t y = 0; y < rows; ++y)
        for (uint32_t x = 0; x < cols; x += span) {
          const uint32_t count = cols - x < span ? cols - x : span;
          uint16_t* dst[4];
          for (uint32_t j = 0; j < no; ++j) {
            dst[j] = Elems<uint16_t>(out) + (static_cast<size_t>(n) * O + o + j) * out->uiPlane +
                     static_cast<size_t>(y) * out->uiRowStride + x;
          }
          const float* px = xs + static_cast<size_t>(y) * in->uiRowStride + x;
          if (count > 16) {
            PlanarTileAny<3>(no, px, cStride, C, w, static_cast<size_t>(C) * taps, off, taps, bs + o, dst, count);
          } else {
            PlanarTileAny<2>(no, px, cStride, C, w, static_cast<size_t>(C) * taps, off, taps, bs + o, dst, count);
          }
        }
      o += no;
    }
  }
}

}  // namespace
#endif

#if defined(__x86_64__)
namespace {
__attribute__((target("avx2,f16c,fma"))) inline __m256 LoadRow8(const uint16_t* p) { return Load8(p); }
__attribute__((target("avx2,f16c,fma"))) inline __m256 LoadRow8(const float* p) { return _mm256_loadu_ps(p); }
inline float RowValue(uint16_t v) { return HF(v); }
inline float RowValue(float v) { return v; }

// One output row of a depthwise layer from its TAPS input rows, half-precision or already
// widened.
template <typename T>
__attribute__((target("avx2,f16c,fma"))) void DepthwiseRowVector(uint16_t* out, const T* const* rows, const float* w,
                                                                  uint32_t taps, float bias, uint32_t count) {
  uint32_t x = 0;
  for (; x + 8 <= count; x += 8) {
    __m256 acc = _mm256_set1_ps(bias);
    for (uint32_t k = 0; k < taps; ++k) acc = _mm256_fmadd_ps(_mm256_set1_ps(w[k]), LoadRow8(rows[k] + x), acc);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm256_cvtps_ph(acc, _MM_FROUND_TO_NEAREST_INT));
  }
  for (; x < count; ++x) {
    float acc = bias;
    for (uint32_t k = 0; k < taps; ++k) acc = std::fma(w[k], RowValue(rows[k][x]), acc);
    out[x] = FH(acc);
  }
}
}  // namespace
#endif

#if defined(__x86_64__)
namespace {
__attribute__((target("avx2,f16c,fma"))) void DepthwiseBlockedRowVector(uint16_t* dst, const uint16_t* src,
                                                                         size_t pixelStep, const int32_t* off,
                                                                         uint32_t taps, const float* w,
                                                                         const float* bias8, uint32_t count) {
  const __m256 b = _mm256_loadu_ps(bias8);
  for (uint32_t x = 0; x < count; ++x, src += pixelStep) {
    __m256 acc = b;
    for (uint32_t k = 0; k < taps; ++k) acc = _mm256_fmadd_ps(_mm256_loadu_ps(w + k * 8), Load8(src + off[k]), acc);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x * 8), _mm256_cvtps_ph(acc, _MM_FROUND_TO_NEAREST_INT));
  }
}
}  // namespace
#endif

void FrnnFastDepthwiseBlockedRow(uint16_t* dst, const uint16_t* src, size_t pixelStep, const int32_t* off,
                                 uint32_t taps, const float* w, const float* bias8, uint32_t count) {
#if defined(__x86_64__)
  DepthwiseBlockedRowVector(dst, src, pixelStep, off, taps, w, bias8, count);
#else
  for (uint32_t x = 0; x < count; ++x, src += pixelStep)
    for (uint32_t m = 0; m < 8; ++m) {
      float acc = bias8[m];
      for (uint32_t k = 0; k < taps; ++k) acc = std::fma(w[k * 8 + m], HF(src[off[k] + m]), acc);
      dst[x * 8 + m] = FH(acc);
    }
#endif
}

void FrnnFastDepthwiseRowWide(uint16_t* out, const float* const* rows, const float* w, uint32_t taps, float bias,
                              uint32_t count) {
#if defined(__x86_64__)
  DepthwiseRowVector(out, rows, w, taps, bias, count);
#else
  for (uint32_t x = 0; x < count; ++x) {
    float acc = bias;
    for (uint32_t k = 0; k < taps; ++k) acc = std::fma(w[k], rows[k][x], acc);
    out[x] = FH(acc);
  }
#endif
}

void FrnnFastDepthwiseRow(uint16_t* out, const uint16_t* const* rows, const float* w, uint32_t taps, float bias,
                          uint32_t count) {
#if defined(__x86_64__)
  DepthwiseRowVector(out, rows, w, taps, bias, count);
#else
  for (uint32_t x = 0; x < count; ++x) {
    float acc = bias;
    for (uint32_t k = 0; k < taps; ++k) acc = std::fma(w[k], HF(rows[k][x]), acc);
    out[x] = FH(acc);
  }
#endif
}

uint32_t FrnnFastConvPlanar(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor* out, void* pool) {
#if defined(__x86_64__)
  if (!FrnnFastPaths() || l->strideWidth != 1 || l->strideHeight != 1 || l->dilationWidth != 1 ||
      l->dilationHeight != 1 || in->uiLayout != FRNN_LAYOUT_NCHW || in->uiKind != FRNN_KIND_F16) {
    return FRNN_ERR_UNSUPPORTED;
  }
  const uint32_t taps = l->kernelWidth * l->kernelHeight;
  // Slack behind the widened planes: the last tile's unused columns read into it.
  const size_t xsN = static_cast<size_t>(in->uiC) * in->uiPlane + 48 + taps * in->uiRowStride;
  const size_t wsN = static_cast<size_t>(out->uiC) * in->uiC * taps;
  if (xsN * 4 > 0x7FFFFFF0u || wsN * 4 > 0x7FFFFFF0u) return FRNN_ERR_UNSUPPORTED;
  // Installed weights come widened already; others are widened here for this run.
  const FrnnPreparedConv* prep = FrnnPreparedFind(l, in->uiC, out->uiC);
  auto* xs = static_cast<float*>(FRNN_POOL_ALLOC(pool, xsN * 4 + 16));
  float* ws = nullptr;
  float* bs = nullptr;
  if (prep == nullptr) {
    ws = static_cast<float*>(FRNN_POOL_ALLOC(pool, wsN * 4 + 16));
    bs = static_cast<float*>(FRNN_POOL_ALLOC(pool, out->uiC * 4 + 16));
  }
  auto* off = static_cast<int32_t*>(FRNN_POOL_ALLOC(pool, taps * 4 + 16));
  uint32_t r = FRNN_ERR_NOMEM;
  if (xs != nullptr && (prep != nullptr || (ws != nullptr && bs != nullptr)) && off != nullptr) {
    for (size_t j = static_cast<size_t>(in->uiC) * in->uiPlane; j < xsN; ++j) xs[j] = 0.0f;
    if (prep == nullptr) {
      FrnnFastWiden(Elems<const uint16_t>(&l->weights), ws, static_cast<uint32_t>(wsN));
      for (uint32_t o = 0; o < out->uiC; ++o) bs[o] = l->hasBias ? HF(Elems<const uint16_t>(&l->bias)[o]) : 0.0f;
    }
    PlanarRun(l, in, out, xs, prep != nullptr ? prep->planar.data() : ws, prep != nullptr ? prep->planarBias.data() : bs,
              off);
    r = FRNN_OK;
  }
  NnPoolFree(pool, off);
  NnPoolFree(pool, bs);
  NnPoolFree(pool, ws);
  NnPoolFree(pool, xs);
  return r;
#else
  (void)l;
  (void)in;
  (void)out;
  (void)pool;
  return FRNN_ERR_UNSUPPORTED;
#endif
}

// ---------------------------------------------------------------------------------------
// Blocked (NC8HW8) half-precision convolution: the input widened once, the packed 8 x 8
// tiles widened once, and runs of 4 output pixels of one output block kept in registers
// over every input block, tap and lane; each output lane rounded to half once.
#if defined(__x86_64__)
namespace {

template <uint32_t N>
__attribute__((target("avx2,f16c,fma"))) void BlockedRun(uint16_t* dst, const float* tiles, const float* x,
                                                          size_t blockStride, uint32_t jb, uint32_t kH, uint32_t kW,
                                                          size_t rowStep, size_t pixelStep, const float* bias8) {
  __m256 acc[N];
  for (uint32_t p = 0; p < N; ++p) acc[p] = _mm256_loadu_ps(bias8);
  for (uint32_t j = 0; j < jb; ++j)
    for (uint32_t ky = 0; ky < kH; ++ky)
      for (uint32_t kx = 0; kx < kW; ++kx, tiles += 64) {
        const float* px = x + j * blockStride + ky * rowStep + kx * 8;
        for (uint32_t l = 0; l < 8; ++l) {
          const __m256 w = _mm256_loadu_ps(tiles + l * 8);
          for (uint32_t p = 0; p < N; ++p) acc[p] = _mm256_fmadd_ps(w, _mm256_broadcast_ss(px + p * pixelStep + l), acc[p]);
        }
      }
  for (uint32_t p = 0; p < N; ++p) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + p * 8), _mm256_cvtps_ph(acc[p], _MM_FROUND_TO_NEAREST_INT));
  }
}

}  // namespace
#endif

uint32_t FrnnFastConvBlocked(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor* out, const uint16_t* tiles,
                             const uint16_t* bias, void* pool) {
#if defined(__x86_64__)
  if (!FrnnFastPaths() || l->dilationWidth != 1 || l->dilationHeight != 1) return FRNN_ERR_UNSUPPORTED;
  const uint32_t kW = l->kernelWidth, kH = l->kernelHeight, taps = kW * kH;
  const uint32_t cin8 = RoundUp(in->uiC, 8), cout8 = RoundUp(out->uiC, 8);
  const size_t xsN = static_cast<size_t>(in->uiN) * cin8 * in->uiPlane;
  const size_t wsN = static_cast<size_t>(cout8) * cin8 * taps;
  if (xsN * 4 > 0x7FFFFFF0u || wsN * 4 > 0x7FFFFFF0u) return FRNN_ERR_UNSUPPORTED;
  // Installed weights come packed and widened already; others are widened here.
  const FrnnPreparedConv* prep = FrnnPreparedFind(l, in->uiC, out->uiC);
  if (prep == nullptr && tiles == nullptr) return FRNN_ERR_UNSUPPORTED;
  auto* xs = static_cast<float*>(FRNN_POOL_ALLOC(pool, xsN * 4 + 16));
  float* wsOwn = nullptr;
  float* bsOwn = nullptr;
  if (prep == nullptr) {
    wsOwn = static_cast<float*>(FRNN_POOL_ALLOC(pool, wsN * 4 + 16));
    bsOwn = static_cast<float*>(FRNN_POOL_ALLOC(pool, cout8 * 4 + 16));
  }
  uint32_t r = FRNN_ERR_NOMEM;
  if (xs != nullptr && (prep != nullptr || (wsOwn != nullptr && bsOwn != nullptr))) {
    FrnnFastWiden(Elems<const uint16_t>(in), xs, static_cast<uint32_t>(xsN));
    if (prep == nullptr) {
      FrnnFastWiden(tiles, wsOwn, static_cast<uint32_t>(wsN));
      for (uint32_t o = 0; o < cout8; ++o) bsOwn[o] = bias != nullptr ? HF(bias[o]) : 0.0f;
    }
    const float* ws = prep != nullptr ? prep->tiles.data() : wsOwn;
    const float* bs = prep != nullptr ? prep->bias8.data() : bsOwn;
    const uint32_t sW = l->strideWidth, sH = l->strideHeight, nb = cout8 / 8, jb = cin8 / 8;
    const size_t blockTiles = static_cast<size_t>(jb) * taps * 64;
    const size_t blockStride = static_cast<size_t>(in->uiPlane) * 8;
    const size_t rowStep = static_cast<size_t>(in->uiRowStride) * 8;
    const size_t pixelStep = static_cast<size_t>(sW) * 8;
    for (uint32_t i = 0; i < in->uiN; ++i)
      for (uint32_t b = 0; b < nb; ++b)
        for (uint32_t y = 0; y < out->uiH; ++y) {
          const float* row = xs + IndexOf(in, i, 0, y * sH, 0);
          uint16_t* dst = Elems<uint16_t>(out) + IndexOf(out, i, b * 8, y, 0);
          const float* t = ws + b * blockTiles;
          uint32_t x = 0;
          for (; x + 4 <= out->uiW; x += 4) {
            BlockedRun<4>(dst + x * 8, t, row + x * pixelStep, blockStride, jb, kH, kW, rowStep, pixelStep, bs + b * 8);
          }
          for (; x < out->uiW; ++x) {
            BlockedRun<1>(dst + x * 8, t, row + x * pixelStep, blockStride, jb, kH, kW, rowStep, pixelStep, bs + b * 8);
          }
        }
    r = FRNN_OK;
  }
  NnPoolFree(pool, bsOwn);
  NnPoolFree(pool, wsOwn);
  NnPoolFree(pool, xs);
  return r;
#else
  (void)l;
  (void)in;
  (void)out;
  (void)tiles;
  (void)bias;
  (void)pool;
  return FRNN_ERR_UNSUPPORTED;
#endif
}
