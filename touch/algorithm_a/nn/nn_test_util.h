#pragma once
// Test helpers of the network engine: a pool over a private buffer, tensors filled from
// float values, and reading them back.
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "frnn.h"
#include "frnn_fast.h"

// Keeps every layer on the reference kernels for a test's scope: the tests that pin the
// per-term rounding and the order of the sums (the fast paths sum otherwise).
struct ReferenceKernelsOnly {
  ReferenceKernelsOnly() { FrnnSetFastPaths(false); }
  ~ReferenceKernelsOnly() { FrnnSetFastPaths(true); }
  ReferenceKernelsOnly(const ReferenceKernelsOnly&) = delete;
  ReferenceKernelsOnly& operator=(const ReferenceKernelsOnly&) = delete;
};

float HalfToSingleOnce(uint16_t h);

// Fixed-seed normal halves behind `skip` zero bytes, as product weight blocks look: what the
// weight tests and the benchmarks install.
inline std::vector<uint8_t> SeededHalfBlock(uint32_t bytes, uint32_t seed, float sd, uint32_t skip) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> d(0.0f, sd);
  std::vector<uint8_t> b(bytes, 0);
  for (size_t j = skip; j + 1 < b.size(); j += 2) {
    const uint16_t h = SingleToHalfOnce(d(rng));
    memcpy(b.data() + j, &h, 2);
  }
  return b;
}

class NnPool {
 public:
  explicit NnPool(uint32_t uiBytes = 1u << 20) : buf_(uiBytes + 16) {
    const FrnnMempoolParam p{uiBytes, buf_.data(), 0xFFFFFFFFu};
    FrnnMempoolInit(&p);
  }
  void* get() { return buf_.data(); }
  // Bytes held by allocated blocks: 0 once everything taken was given back.
  uint32_t InUse() const {
    const auto* pool = reinterpret_cast<const FrnnMempool*>(buf_.data());
    uint32_t n = 0;
    const FrnnMempoolBlock* b = pool->pstFirst;
    do {
      if (b->uiInUse) n += b->uiSize;
      b = b->pstNext;
    } while (b != pool->pstFirst);
    return n;
  }

 private:
  std::vector<uint8_t> buf_;
};

// A half NCHW pool tensor (n, c, h, w) filled from values in logical order.
inline FrnnTensor* MakeHalf(void* pool, uint32_t n, uint32_t c, uint32_t h, uint32_t w, const std::vector<float>& v) {
  FrnnTensor* t = FrnnTensorCreate3D(n, w, h, c, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, pool);
  if (t == nullptr) return t;
  FrnnTensorFill16f(t, 0);
  size_t j = 0;
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t k = 0; k < c; ++k)
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x, ++j) {
          static_cast<uint16_t*>(t->pvData)[(static_cast<size_t>(i) * c + k) * t->uiPlane + y * t->uiRowStride + x] =
              SingleToHalfOnce(j < v.size() ? v[j] : 0.0f);
        }
  return t;
}

inline FrnnTensor* MakeFloat(void* pool, uint32_t n, uint32_t c, uint32_t h, uint32_t w, const std::vector<float>& v) {
  FrnnTensor* t = FrnnTensorCreate3D(n, w, h, c, 4, FRNN_LAYOUT_NCHW, FRNN_KIND_F32, pool);
  if (t == nullptr) return t;
  size_t j = 0;
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t k = 0; k < c; ++k)
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x, ++j)
          static_cast<float*>(t->pvData)[(static_cast<size_t>(i) * c + k) * t->uiPlane + y * t->uiRowStride + x] =
              j < v.size() ? v[j] : 0.0f;
  return t;
}

// Real elements in logical order, as floats.
inline std::vector<float> Values(const FrnnTensor* t) {
  std::vector<float> v;
  for (uint32_t i = 0; i < t->uiN; ++i)
    for (uint32_t k = 0; k < t->uiC; ++k)
      for (uint32_t y = 0; y < t->uiH; ++y)
        for (uint32_t x = 0; x < t->uiW; ++x) {
          uint32_t raw = 0;
          FrnnTensorGetElement(t, i, k, y, x, &raw);
          if (t->uiKind == FRNN_KIND_F16) {
            v.push_back(HalfToSingleOnce(static_cast<uint16_t>(raw)));
          } else {
            float f;
            memcpy(&f, &raw, 4);
            v.push_back(f);
          }
        }
  return v;
}

// A reader over a caller's half-precision weight values (padded to whole words).
inline FrnnWeightReader HalfReader(std::vector<uint16_t>& blob) {
  if (blob.size() % 2 != 0) blob.push_back(0);
  FrnnWeightReader r{};
  r.uiStorageMode = 1;
  r.uiWordCount = static_cast<uint32_t>(blob.size() / 2);
  r.pubBase = reinterpret_cast<const uint8_t*>(blob.data());
  r.pubCursor = r.pubBase;
  r.uiKind = FRNN_KIND_F16;
  return r;
}

inline std::vector<uint16_t> Halves(const std::vector<float>& v) {
  std::vector<uint16_t> out;
  for (float f : v) out.push_back(SingleToHalfOnce(f));
  return out;
}

// Uniform values in [-scale, scale) from a fixed seed.
inline std::vector<float> Random(size_t n, uint32_t seed, float scale = 1.0f) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(-scale, scale);
  std::vector<float> v(n);
  for (float& x : v) x = d(rng);
  return v;
}

// The same values in another layout (a new pool tensor).
inline FrnnTensor* ToLayout(const FrnnTensor* t, uint32_t layout, void* pool) {
  FrnnTensor* out = nullptr;
  if (layout == FRNN_LAYOUT_NC8HW8) FrnnTensorLayoutNCHWToNC8HW8(t, &out, pool);
  if (layout == FRNN_LAYOUT_NC4HW4) FrnnTensorLayoutNCHWToNC4HW4(t, &out, pool);
  if (layout == FRNN_LAYOUT_CHWN) FrnnTensorLayoutNCHWToCHWN(t, &out, pool);
  return out;
}

// The water network's weight stream, built by layer: every kernel half WEIGHT and every
// bias half BIAS (kernels 0 with a bias b make each head's score sigmoid(b)).
namespace waternet {

// The stream layout in layer order: count of halves and whether it is a bias vector.
struct Share {
  uint32_t count;
  bool bias;
};

inline void Sep(std::vector<Share>& v, uint32_t ci, uint32_t co) {
  v.insert(v.end(), {{ci * 3, false}, {ci, true}, {ci * 3, false}, {ci, true}, {ci * co, false}, {co, true}});
}
inline void Gn(std::vector<Share>& v) { v.insert(v.end(), {{16, false}, {16, false}}); }

inline std::vector<Share> Layout() {
  std::vector<Share> v{{16 * 3 * 9, false}, {16, true}};
  Sep(v, 16, 16);
  Gn(v);
  Sep(v, 16, 16);
  Gn(v);
  for (int p = 0; p < 2; ++p) v.insert(v.end(), {{144, false}, {16, true}, {256, false}, {16, true}});
  for (int u = 0; u < 2; ++u) {
    Sep(v, 16, 64);
    Gn(v);
  }
  Sep(v, 16, 16);
  v.insert(v.end(), {{256, false}, {16, true}});                            // block B 1x1
  v.insert(v.end(), {{384, false}, {192, false}, {24, true}, {24, true}});  // GRU
  v.insert(v.end(), {{64, false}, {4, true}, {4, false}, {1, true}});       // head 1 (16 in)
  v.insert(v.end(), {{32, false}, {4, true}, {4, false}, {1, true}});       // head 2 (8 in)
  return v;
}

inline std::vector<uint16_t> Blob(float weight, float bias) {
  std::vector<uint16_t> b;
  for (const Share& s : Layout()) b.insert(b.end(), s.count, SingleToHalfOnce(s.bias ? bias : weight));
  return b;
}

}  // namespace waternet
