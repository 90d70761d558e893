// Single-layer GRU over a sequence of rows; the caller's state tensor carries the hidden
// state in and out, and every step's state becomes one output row.
#include <cmath>

#include "frnn_internal.h"

namespace {

using ExpFn = float (*)(float);

ExpFn ExpOf(uint32_t mode) {
  if (mode == 0) return NnExpApprox;
  if (mode == 2) return NnFasterExp;
  return NnFastExp;
}

// Position of the weight for unit j (0 .. 3H-1 across the gates) and input k, for rows
// of `len` inputs: whole blocks of 8 units of a gate are stored input-major.
size_t WeightIndex(uint32_t j, uint32_t k, uint32_t H, uint32_t len) {
  const uint32_t g = j / H;
  const uint32_t u = j % H;
  const uint32_t uiWhole = H / 8 * 8;
  const size_t gate = static_cast<size_t>(g) * H * len;
  if (u < uiWhole) {
    const uint32_t b = u / 8;
    return gate + static_cast<size_t>(b) * 8 * len + static_cast<size_t>(k) * 8 + (u % 8);
  }
  return gate + static_cast<size_t>(u) * len + k;
}

template <typename T>
struct Arith;

template <>
struct Arith<uint16_t> {
  static float F(uint16_t v) { return HF(v); }
  static uint16_t R(float v) { return FH(v); }
  static uint16_t Fma(uint16_t acc, uint16_t a, uint16_t b) { return HalfFma(acc, a, b); }
  static uint16_t Add(uint16_t a, uint16_t b) { return HalfAdd(a, b); }
};
template <>
struct Arith<float> {
  static float F(float v) { return v; }
  static float R(float v) { return v; }
  static float Fma(float acc, float a, float b) { return std::fma(a, b, acc); }
  static float Add(float a, float b) { return a + b; }
};

template <typename T>
uint32_t GruSequence(const FrnnGRUParam* p, const FrnnTensor* in, FrnnTensor* state, FrnnTensor* out, void* pool) {
  using A = Arith<T>;
  const uint32_t H = p->uiHidden;
  const uint32_t I = p->uiInput;
  auto* z = static_cast<T*>(FRNN_POOL_ALLOC(pool, H * sizeof(T) + 16));
  auto* nn = static_cast<T*>(FRNN_POOL_ALLOC(pool, H * sizeof(T) + 16));
  if (z == nullptr || nn == nullptr) {
    NnPoolFree(pool, z);
    NnPoolFree(pool, nn);
    return FRNN_ERR_NOMEM;
  }
  const T* wih = Elems<const T>(&p->stWih);
  const T* whh = Elems<const T>(&p->stWhh);
  const T* bih = p->uiBias ? Elems<const T>(&p->stBih) : nullptr;
  const T* bhh = p->uiBias ? Elems<const T>(&p->stBhh) : nullptr;
  T* h = Elems<T>(state);
  const ExpFn E = ExpOf(p->uiExpMode);
  const uint32_t uiLen = in->uiW < I ? in->uiW : I;
  for (uint32_t t = 0; t < in->uiH; ++t) {
    const T* x = Elems<const T>(in) + static_cast<size_t>(t) * in->uiRowStride;
    for (uint32_t j = 0; j < H; ++j) {
      T ar{};
      T az{};
      T sin{};
      T shid{};
      for (uint32_t k = 0; k < uiLen; ++k) {
        ar = A::Fma(ar, wih[WeightIndex(j, k, H, I)], x[k]);
        az = A::Fma(az, wih[WeightIndex(H + j, k, H, I)], x[k]);
        sin = A::Fma(sin, wih[WeightIndex(2 * H + j, k, H, I)], x[k]);
      }
      for (uint32_t k = 0; k < H; ++k) {
        ar = A::Fma(ar, whh[WeightIndex(j, k, H, H)], h[k]);
        az = A::Fma(az, whh[WeightIndex(H + j, k, H, H)], h[k]);
        shid = A::Fma(shid, whh[WeightIndex(2 * H + j, k, H, H)], h[k]);
      }
      if (bih != nullptr) {
        ar = A::Add(ar, A::Add(bih[j], bhh[j]));
        az = A::Add(az, A::Add(bih[H + j], bhh[H + j]));
        sin = A::Add(sin, bih[2 * H + j]);
        shid = A::Add(shid, bhh[2 * H + j]);
      }
      const T r = A::R(1.0f / (1.0f + E(-A::F(ar))));
      z[j] = A::R(1.0f / (1.0f + E(-A::F(az))));
      const T pre = A::Fma(sin, r, shid);
      const float e = E(A::F(pre));
      nn[j] = A::R((e - 1.0f / e) / (e + 1.0f / e));
    }
    T* o = Elems<T>(out) + static_cast<size_t>(t) * out->uiRowStride;
    for (uint32_t j = 0; j < H; ++j) {
      const T one_z = A::R(1.0f - A::F(z[j]));
      const T hn = A::Fma(A::R(A::F(one_z) * A::F(nn[j])), z[j], h[j]);
      h[j] = hn;
      o[j] = hn;
    }
  }
  NnPoolFree(pool, z);
  NnPoolFree(pool, nn);
  return FRNN_OK;
}

uint32_t GruSequenceF16(const FrnnGRUParam* p, const FrnnTensor* in, FrnnTensor* state, FrnnTensor* out, void* pool) {
  return GruSequence<uint16_t>(p, in, state, out, pool);
}
uint32_t GruSequenceF32(const FrnnGRUParam* p, const FrnnTensor* in, FrnnTensor* state, FrnnTensor* out, void* pool) {
  return GruSequence<float>(p, in, state, out, pool);
}

}  // namespace

FrnnGRUParam FrnnGRUInit(uint32_t bias, uint32_t inputSize, uint32_t hiddenSize, uint32_t layerMode,
                         const FrnnWeightReader* r) {
  FrnnGRUParam p{};
  p.uiHidden = hiddenSize;
  p.uiLayerMode = layerMode;
  p.uiInput = inputSize;
  p.uiBias = bias;
  p.uiExpMode = 1;
  p.uiWihCount = 3 * hiddenSize * inputSize;
  p.uiWhhCount = 3 * hiddenSize * hiddenSize;
  if (r != nullptr) {
    p.uiKind = r->uiKind;
    p.uiReaderWord = r->uiRes0;
    p.uiFracBits = r->uiFracBits;
  }
  return p;
}

uint32_t FrnnGRULoadWeight(FrnnGRUParam* p, FrnnWeightReader* r) {
  if (p == nullptr || r == nullptr) return FRNN_ERR_NULL;
  if (p->uiKind != FRNN_KIND_F32 && p->uiKind != FRNN_KIND_F16) return FRNN_ERR_UNSUPPORTED;
  const uint32_t es = p->uiKind == FRNN_KIND_F32 ? 4 : 2;
  LoadWeight(&p->stWih, r, p->uiWihCount, es, 0, 0, 1, p->uiKind);
  if (FrnnIsEmptyTensor(&p->stWih)) return FRNN_ERR_WEIGHT;
  LoadWeight(&p->stWhh, r, p->uiWhhCount, es, 0, 0, 1, p->uiKind);
  if (FrnnIsEmptyTensor(&p->stWhh)) return FRNN_ERR_WEIGHT;
  if (p->uiBias != 0) {
    LoadWeight(&p->stBih, r, 3 * p->uiHidden, es, 0, 0, 1, p->uiKind);
    if (FrnnIsEmptyTensor(&p->stBih)) return FRNN_ERR_WEIGHT;
    LoadWeight(&p->stBhh, r, 3 * p->uiHidden, es, 0, 0, 1, p->uiKind);
    if (FrnnIsEmptyTensor(&p->stBhh)) return FRNN_ERR_WEIGHT;
  }
  return FRNN_OK;
}

uint32_t FrnnGRUForwardInt(const FrnnGRUParam* p, const FrnnTensor* in, FrnnTensor* state, FrnnTensor** ppstOut,
                           void* pool) {
  if (p == nullptr || in == nullptr || state == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  if (p->uiOptionA != 0 || p->uiOptionB != 0 || p->uiLayerMode != 1 || in->uiN != 1) return FRNN_ERR_UNSUPPORTED;
  if (in->uiW < 1 || in->uiH < 1 || in->uiC < 1) return FRNN_ERR_ARG;
  if (p->uiKind > FRNN_KIND_F16) return FRNN_ERR_ARG;
  if (p->uiKind != FRNN_KIND_F32 && p->uiKind != FRNN_KIND_F16) return FRNN_ERR_UNSUPPORTED;
  // The weights, the input and the state must agree on what they hold.
  const uint32_t es = p->uiKind == FRNN_KIND_F32 ? 4 : 2;
  if (in->uiKind != p->uiKind || state->uiKind != p->uiKind || in->uiElemSize != es || state->uiElemSize != es ||
      state->pvData == nullptr || state->uiW < p->uiHidden || p->uiHidden == 0 ||
      p->stWih.uiW != p->uiWihCount || p->stWhh.uiW != p->uiWhhCount ||
      (p->uiBias != 0 && (p->stBih.uiW != 3 * p->uiHidden || p->stBhh.uiW != 3 * p->uiHidden))) {
    return FRNN_ERR_PARAM;
  }
  FrnnTensor* out = FrnnTensorCreate(1, p->uiHidden, in->uiH, in->uiC, 3, in->uiElemSize, in->uiLayout, p->uiKind,
                                     pool);
  if (out == nullptr) return FRNN_ERR_NOMEM;
  const uint32_t r = p->uiKind == FRNN_KIND_F16 ? GruSequenceF16(p, in, state, out, pool)
                                                : GruSequenceF32(p, in, state, out, pool);
  if (r != FRNN_OK) {
    FrnnTensorDestroy(&out, pool);
    return r;
  }
  *ppstOut = out;
  return FRNN_OK;
}

uint32_t FrnnGRU(const FrnnTensor* in, FrnnTensor* state, FrnnTensor** ppstOut, uint32_t bias, uint32_t inputSize,
                 uint32_t hiddenSize, uint32_t layerMode, FrnnWeightReader* r, void* pool) {
  if (ppstOut == nullptr || in == nullptr || r == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  FrnnGRUParam p = FrnnGRUInit(bias, inputSize, hiddenSize, layerMode, r);
  const uint32_t res = FrnnGRULoadWeight(&p, r);
  if (res != FRNN_OK) return res;
  return FrnnGRUForwardInt(&p, in, state, ppstOut, pool);
}
