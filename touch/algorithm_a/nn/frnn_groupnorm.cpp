// Group normalisation, in place: each group of channels to zero mean and unit deviation,
// then every channel scaled and shifted by its own gamma and beta.
#include <cmath>

#include "frnn_conv_kernels.h"
#include "frnn_internal.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif


namespace {

constexpr float kEpsilon = 1e-5f;       // 0x3727C5AC
constexpr float kHalfDevFloor = 0.0001f;

uint32_t StoredWidth(uint32_t kind, uint32_t sel) {
  if (kind == FRNN_KIND_S16 || kind == FRNN_KIND_F16) return 2;
  if (kind == FRNN_KIND_S32) return sel == 1 ? 2 : 4;
  if (kind == FRNN_KIND_F32) return sel == 2 ? 2 : 4;
  return 4;
}

// Statistics of one group in single precision: eight lane sums over the contiguous run,
// then the lanes added in order (the same order a vector body gives).
#if defined(__x86_64__)
// The eight lane sums of Sums in one register each: the same additions in the same order.
__attribute__((target("avx2,f16c"))) size_t LaneSumsVector(const uint16_t* p, size_t count, float* s, float* q) {
  __m256 vs = _mm256_setzero_ps();
  __m256 vq = _mm256_setzero_ps();
  size_t j = 0;
  for (; j + 8 <= count; j += 8) {
    const __m256 f = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j)));
    vs = _mm256_add_ps(vs, f);
    vq = _mm256_add_ps(vq, _mm256_mul_ps(f, f));
  }
  _mm256_storeu_ps(s, vs);
  _mm256_storeu_ps(q, vq);
  return j;
}

// p[j] = beta + scale x (p[j] - mean), both steps rounded to half as NormaliseRow does.
__attribute__((target("avx2,f16c"))) size_t NormaliseVector(uint16_t* p, size_t count, uint16_t mean,
                                                             uint16_t scale, uint16_t beta) {
  const __m256 m = _mm256_set1_ps(HF(mean));
  const __m256 sc = _mm256_set1_ps(HF(scale));
  const __m256 b = _mm256_set1_ps(HF(beta));
  size_t j = 0;
  for (; j + 8 <= count; j += 8) {
    const __m256 x = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j)));
    const __m256 d = _mm256_cvtph_ps(_mm256_cvtps_ph(_mm256_sub_ps(x, m), _MM_FROUND_TO_NEAREST_INT));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + j),
                     _mm256_cvtps_ph(_mm256_add_ps(b, _mm256_mul_ps(sc, d)), _MM_FROUND_TO_NEAREST_INT));
  }
  return j;
}
#endif

void NormaliseRow(uint16_t* p, size_t count, uint16_t mean, uint16_t scale, uint16_t beta) {
  size_t j = 0;
#if defined(__x86_64__)
  if (FrnnHasHalfVector()) j = NormaliseVector(p, count, mean, scale, beta);
#endif
  for (; j < count; ++j) p[j] = HalfFma(beta, scale, HalfSub(p[j], mean));
}

void Sums(const uint16_t* p, size_t count, float* pfSum, float* pfSq) {
  float s[8] = {};
  float q[8] = {};
  size_t j = 0;
#if defined(__x86_64__)
  if (FrnnHasHalfVector()) j = LaneSumsVector(p, count, s, q);
#endif
  for (; j + 8 <= count; j += 8) {
    for (int l = 0; l < 8; ++l) {
      const float f = HF(p[j + l]);
      s[l] += f;
      q[l] += f * f;
    }
  }
  float fS = 0.0f;
  float fQ = 0.0f;
  for (int l = 0; l < 8; ++l) {
    fS += s[l];
    fQ += q[l];
  }
  for (; j < count; ++j) {
    const float f = HF(p[j]);
    fS += f;
    fQ += f * f;
  }
  *pfSum = fS;
  *pfSq = fQ;
}

// Half mean and half inverse deviation from single-precision sums over N elements.
void MeanInverse(float fSum, float fSq, double dN, uint16_t* puwMean, uint16_t* puwInv) {
  const uint16_t uwMean = FH(static_cast<float>(fSum / dN));
  const double dMeanSq = static_cast<double>(fSq) / dN;
  const double dMean = HF(uwMean);
  double dVar = dMeanSq - dMean * dMean;
  if (dVar < 0) dVar = 0;
  float fDev = std::sqrt(static_cast<float>(dVar));
  if (!(fDev > kHalfDevFloor)) fDev = kHalfDevFloor;
  const uint16_t uwDev = FH(fDev);
  *puwMean = uwMean;
  *puwInv = FH(1.0f / HF(uwDev));
}

uint32_t GroupNormComputeF16(const FrnnGroupNormParam* p, FrnnTensor* t, void* pool) {
  if (t->uiLayout != FRNN_LAYOUT_NCHW && t->uiLayout != FRNN_LAYOUT_NC8HW8) return FRNN_ERR_UNSUPPORTED;
  TensorPadFillF16(t, 0, kHalfZero);
  const uint32_t G = p->uiGroups;
  const uint32_t cg = t->uiC / G;
  const auto* gamma = Elems<const uint16_t>(&p->stGamma);
  const auto* beta = Elems<const uint16_t>(&p->stBeta);
  const double dN = static_cast<double>(cg) * t->uiH * t->uiW;
  if (t->uiLayout == FRNN_LAYOUT_NCHW) {
    for (uint32_t i = 0; i < t->uiN; ++i) {
      for (uint32_t g = 0; g < G; ++g) {
        uint16_t* pg = &At<uint16_t>(t, i, g * cg, 0, 0);
        float fSum;
        float fSq;
        Sums(pg, static_cast<size_t>(cg) * t->uiPlane, &fSum, &fSq);
        uint16_t uwMean;
        uint16_t uwInv;
        MeanInverse(fSum, fSq, dN, &uwMean, &uwInv);
        for (uint32_t k = 0; k < cg; ++k) {
          const uint32_t ch = g * cg + k;
          const uint16_t uwScale = HalfMul(uwInv, gamma[ch]);
          uint16_t* pc = &At<uint16_t>(t, i, ch, 0, 0);
          NormaliseRow(pc, t->uiPlane, uwMean, uwScale, beta[ch]);
        }
      }
    }
    return FRNN_OK;
  }
  // NC8HW8: per-channel sums first, then the groups from them.
  const uint32_t C8 = RoundUp(t->uiC, 8);
  auto* pfScratch = static_cast<float*>(FRNN_POOL_ALLOC(pool, 16 + 8 * C8));
  if (pfScratch == nullptr) return FRNN_ERR_NOMEM;
  float* pfSum = pfScratch;
  float* pfSq = pfScratch + C8;
  const size_t szPix = static_cast<size_t>(t->uiH) * t->uiW;
  for (uint32_t i = 0; i < t->uiN; ++i) {
    uint16_t* img = Elems<uint16_t>(t) + static_cast<size_t>(i) * C8 * szPix;
    for (uint32_t b = 0; b < C8; b += 8) {
      const uint16_t* blk = img + static_cast<size_t>(b) * szPix;
      for (int l = 0; l < 8; ++l) {
        pfSum[b + l] = 0;
        pfSq[b + l] = 0;
      }
      for (size_t px = 0; px < szPix; ++px) {
        for (int l = 0; l < 8; ++l) {
          const float f = HF(blk[px * 8 + l]);
          pfSum[b + l] += f;
          pfSq[b + l] += f * f;
        }
      }
    }
    uint16_t auwMean[8];
    uint16_t auwScale[8];
    for (uint32_t b = 0; b < C8; b += 8) {
      for (uint32_t l = 0; l < 8; ++l) {
        const uint32_t ch = b + l;
        if (ch >= t->uiC) {
          auwMean[l] = kHalfZero;
          auwScale[l] = kHalfZero;
          continue;
        }
        const uint32_t g = ch / cg;
        float fS = 0;
        float fQ = 0;
        for (uint32_t k = g * cg; k < (g + 1) * cg; ++k) {
          fS += pfSum[k];
          fQ += pfSq[k];
        }
        uint16_t uwInv;
        MeanInverse(fS, fQ, dN, &auwMean[l], &uwInv);
        auwScale[l] = HalfMul(uwInv, gamma[ch]);
      }
      uint16_t* blk = img + static_cast<size_t>(b) * szPix;
      for (size_t px = 0; px < szPix; ++px) {
        for (uint32_t l = 0; l < 8; ++l) {
          const uint16_t uwBeta = b + l < t->uiC ? beta[b + l] : kHalfZero;
          blk[px * 8 + l] = HalfFma(uwBeta, auwScale[l], HalfSub(blk[px * 8 + l], auwMean[l]));
        }
      }
    }
  }
  NnPoolFree(pool, pfScratch);
  return FRNN_OK;
}

uint32_t GroupNormComputeF32(const FrnnGroupNormParam* p, FrnnTensor* t) {
  if (t->uiLayout != FRNN_LAYOUT_NCHW) return FRNN_ERR_UNSUPPORTED;
  const uint32_t cg = t->uiC / p->uiGroups;
  const auto* gamma = Elems<const float>(&p->stGamma);
  const auto* beta = Elems<const float>(&p->stBeta);
  for (uint32_t i = 0; i < t->uiN; ++i) {
    for (uint32_t g = 0; g < p->uiGroups; ++g) {
      float* pg = &At<float>(t, i, g * cg, 0, 0);
      const size_t N = static_cast<size_t>(cg) * t->uiPlane;
      float fSum = 0;
      float fSq = 0;
      for (size_t j = 0; j < N; ++j) {
        fSum += pg[j];
        fSq = std::fma(pg[j], pg[j], fSq);
      }
      const float fMean = fSum / static_cast<float>(N);
      const float fVar = std::fma(-fMean, fMean, fSq / static_cast<float>(N));
      float fDev = std::sqrt(fVar);
      if (!(fDev > p->fEpsilon)) fDev = p->fEpsilon;
      const float fInv = 1.0f / fDev;
      for (uint32_t k = 0; k < cg; ++k) {
        const uint32_t ch = g * cg + k;
        const float fScale = fInv * gamma[ch];
        float* pc = pg + static_cast<size_t>(k) * t->uiPlane;
        for (size_t j = 0; j < t->uiPlane; ++j) pc[j] = std::fma(pc[j] - fMean, fScale, beta[ch]);
      }
    }
  }
  return FRNN_OK;
}

}  // namespace

FrnnGroupNormParam FrnnGroupNormInit(uint32_t channels, uint32_t groups, const FrnnWeightReader* r) {
  FrnnGroupNormParam p{};
  p.uiChannels = channels;
  p.uiGroups = groups;
  p.uiAffine = 1;
  p.fEpsilon = kEpsilon;
  if (r != nullptr) {
    p.uiKind = r->uiKind;
    p.uiFracBits = r->uiFracBits;
    p.uiFurther = r->uiFurther;
    p.uiWidthSel = r->uiWidthSel;
  }
  return p;
}

uint32_t FrnnGroupNormLoadWeight(FrnnGroupNormParam* p, FrnnWeightReader* r) {
  if (p == nullptr || r == nullptr) return FRNN_ERR_NULL;
  if (p->uiKind > FRNN_KIND_F16 || p->uiKind == FRNN_KIND_Q || p->uiKind == FRNN_KIND_QT) return FRNN_ERR_UNSUPPORTED;
  const uint32_t width = StoredWidth(p->uiKind, p->uiWidthSel);
  LoadWeight(&p->stGamma, r, p->uiChannels, width, 0, 0, r->uiStorageMode != 0 ? 1 : 0, p->uiKind);
  if (FrnnIsEmptyTensor(&p->stGamma)) return FRNN_ERR_WEIGHT;
  LoadWeight(&p->stBeta, r, p->uiChannels, width, 0, 0, 1, p->uiKind);
  if (FrnnIsEmptyTensor(&p->stBeta)) return FRNN_ERR_WEIGHT;
  return FRNN_OK;
}

uint32_t FrnnGroupNormForwardInplace(const FrnnGroupNormParam* p, FrnnTensor* t, void* pool) {
  if (p == nullptr || t == nullptr) return FRNN_ERR_NULL;
  if (p->uiAffine != 1) return FRNN_ERR_UNSUPPORTED;
  if (p->uiGroups == 0 ? t->uiC != 0 : (t->uiC % p->uiGroups) != 0) return FRNN_ERR_ARG;
  // The weights must cover every channel of the tensor.
  if (t->uiC != p->uiChannels || FrnnIsEmptyTensor(&p->stGamma) || FrnnIsEmptyTensor(&p->stBeta)) {
    return FRNN_ERR_PARAM;
  }
  if (t->pvData == nullptr || t->uiN == 0 || p->uiGroups == 0) return FRNN_OK;
  if (p->uiKind == FRNN_KIND_F16) {
    if (HalfRowRefused(t)) return FRNN_ERR_ROW;
    FrnnGroupNormParam w = *p;
    return GroupNormComputeF16(&w, t, pool);
  }
  if (p->uiKind > FRNN_KIND_F16) return FRNN_ERR_ARG;
  if (p->uiKind != FRNN_KIND_F32) return FRNN_ERR_UNSUPPORTED;
  FrnnGroupNormParam w = *p;
  float* pfGamma = nullptr;
  float* pfBeta = nullptr;
  if (p->uiWidthSel == 2) {
    pfGamma = static_cast<float*>(FRNN_POOL_ALLOC(pool, p->uiChannels * 4 + 16));
    pfBeta = static_cast<float*>(FRNN_POOL_ALLOC(pool, p->uiChannels * 4 + 16));
    if (pfGamma == nullptr || pfBeta == nullptr) {
      NnPoolFree(pool, pfGamma);
      NnPoolFree(pool, pfBeta);
      return FRNN_ERR_NOMEM;
    }
    HalfToSingle(Elems<const uint16_t>(&p->stGamma), pfGamma, static_cast<int32_t>(p->uiChannels));
    HalfToSingle(Elems<const uint16_t>(&p->stBeta), pfBeta, static_cast<int32_t>(p->uiChannels));
    w.stGamma.pvData = pfGamma;
    w.stGamma.uiElemSize = 4;
    w.stBeta.pvData = pfBeta;
    w.stBeta.uiElemSize = 4;
  }
  const uint32_t r = GroupNormComputeF32(&w, t);
  NnPoolFree(pool, pfGamma);
  NnPoolFree(pool, pfBeta);
  return r;
}

uint32_t FrnnGroupNorm(FrnnTensor* t, uint32_t groups, FrnnWeightReader* r, void* pool) {
  if (t == nullptr || r == nullptr) return FRNN_ERR_NULL;
  FrnnGroupNormParam p = FrnnGroupNormInit(t->uiC, groups, r);
  const uint32_t res = FrnnGroupNormLoadWeight(&p, r);
  if (res != FRNN_OK) return res;
  return FrnnGroupNormForwardInplace(&p, t, pool);
}
