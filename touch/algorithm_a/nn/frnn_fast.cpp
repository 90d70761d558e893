// Shared pieces of the fast paths (see frnn_fast.h): the switch and the 8-lane helpers.
#include "frnn_fast.h"

#include <atomic>
#include <cmath>

#include "frnn_conv_kernels.h"
#include "frnn_internal.h"

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
