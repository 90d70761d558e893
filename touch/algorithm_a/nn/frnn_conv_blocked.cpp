// Path A's kernels for the two layouts other than NCHW. Blocked (NC8HW8): every pixel of a
// channel block is 8 lanes, the weights are packed into 8 x 8 tiles (input lane by output
// lane) and each output block starts at its bias and takes the input blocks ascending, the
// taps row-major and the 8 lanes of each tile in order, rounded to half after every term.
// Batch-interleaved (CHWN): the images are innermost, every image of a pixel gets the same
// scalar taps in the planar order (input channels ascending, taps row-major).
#include "frnn_conv_kernels.h"
#include "frnn_fast.h"
#include "frnn_internal.h"
#include "tsa_memory.h"

namespace {

// Scratch of the blocked kernel, released in the order it was taken.
struct BlockedScratch {
  void* pool;
  uint16_t* puwWeights = nullptr;
  uint16_t* puwBias = nullptr;
  uint16_t* puwPacked = nullptr;
  ~BlockedScratch() {
    NnPoolFree(pool, puwWeights);
    NnPoolFree(pool, puwBias);
    NnPoolFree(pool, puwPacked);
  }
};

inline uint16_t* BlockPixel(const FrnnTensor* t, uint32_t i, uint32_t b, uint32_t y, uint32_t x) {
  return Elems<uint16_t>(t) + IndexOf(t, i, b * 8, y, x);
}

}  // namespace

uint32_t ConvBlockedNc8F16(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor* out, void* pool) {
  const uint32_t kW = l->kernelWidth;
  const uint32_t kH = l->kernelHeight;
  const uint32_t taps = kW * kH;
  const uint32_t cin = in->uiC;
  const uint32_t cout = out->uiC;
  const uint32_t cin8 = RoundUp(cin, 8);
  const uint32_t cout8 = RoundUp(cout, 8);
  const size_t szWeights = static_cast<size_t>(cout8) * cin8 * taps;
  if (szWeights * 2 + 16 > 0x7FFFFFFFu) return FRNN_ERR_NOMEM;
  TensorPadFillF16(const_cast<FrnnTensor*>(in), 0, kHalfZero);
  // Installed weights are packed already: nothing to pad or pack on this run.
  if (FrnnFastConvBlocked(l, in, out, nullptr, nullptr, pool) == FRNN_OK) return FRNN_OK;
  BlockedScratch s{pool};
  const uint16_t* src = Elems<const uint16_t>(&l->weights);
  const uint16_t* bias = l->hasBias ? Elems<const uint16_t>(&l->bias) : nullptr;
  if (cin8 != cin || cout8 != cout) {
    // Padding channels carry zero weights (and a zero bias), so their lanes come out 0.
    s.puwWeights = static_cast<uint16_t*>(NnPoolAlloc(pool, static_cast<int32_t>(szWeights * 2 + 16), __func__, 11609));
    if (s.puwWeights == nullptr) return FRNN_ERR_NOMEM;
    FrMemset(s.puwWeights, 0, static_cast<uint32_t>(szWeights * 2));
    for (uint32_t o = 0; o < cout; ++o) {
      FrMemcpy(s.puwWeights + static_cast<size_t>(o) * cin8 * taps, src + static_cast<size_t>(o) * cin * taps,
               cin * taps * 2);
    }
    src = s.puwWeights;
    if (l->hasBias) {
      s.puwBias = static_cast<uint16_t*>(NnPoolAlloc(pool, static_cast<int32_t>(cout8 * 2 + 16), __func__, 11624));
      if (s.puwBias == nullptr) return FRNN_ERR_NOMEM;
      FrMemcpy(s.puwBias, bias, cout * 2);
      FrMemset(s.puwBias + cout, 0, (cout8 - cout) * 2);
      bias = s.puwBias;
    }
  }
  s.puwPacked = static_cast<uint16_t*>(NnPoolAlloc(pool, static_cast<int32_t>(szWeights * 2 + 16), __func__, 11631));
  if (s.puwPacked == nullptr) return FRNN_ERR_NOMEM;
  const int32_t shape[4] = {static_cast<int32_t>(cout8), static_cast<int32_t>(cin8), static_cast<int32_t>(kH),
                            static_cast<int32_t>(kW)};
  ConvWeightPackO8I8(s.puwPacked, src, shape, 2);
  // The fast path reads the pad lanes too; they were set to zero above.
  if (FrnnFastConvBlocked(l, in, out, s.puwPacked, bias, pool) == FRNN_OK) return FRNN_OK;
  const bool bVector = FrnnHasHalfVector();
  const uint32_t sW = l->strideWidth;
  const uint32_t sH = l->strideHeight;
  const uint32_t nb = cout8 / 8;
  const uint32_t jb = cin8 / 8;
  const size_t szBlockTiles = static_cast<size_t>(jb) * taps * 64;  // one output block's tiles
  // Output rows in runs of up to 12 pixels, each pixel's accumulator starting at the bias.
  constexpr uint32_t kRun = 12;
  for (uint32_t i = 0; i < in->uiN; ++i)
    for (uint32_t b = 0; b < nb; ++b)
      for (uint32_t y = 0; y < out->uiH; ++y)
        for (uint32_t x = 0; x < out->uiW; x += kRun) {
          const uint32_t count = out->uiW - x < kRun ? out->uiW - x : kRun;
          alignas(16) uint16_t acc[kRun * 8];
          for (uint32_t p = 0; p < count; ++p)
            for (uint32_t m = 0; m < 8; ++m) acc[p * 8 + m] = bias != nullptr ? bias[b * 8 + m] : kHalfZero;
          FrnnHalfBlockedPixels(acc, count, s.puwPacked + b * szBlockTiles, BlockPixel(in, i, 0, y * sH, x * sW),
                                static_cast<size_t>(in->uiPlane) * 8, jb, kH, kW,
                                static_cast<size_t>(in->uiRowStride) * 8, static_cast<size_t>(sW) * 8, bVector);
          memcpy(BlockPixel(out, i, b, y, x), acc, count * 16);
        }
  return FRNN_OK;
}

void ConvChwn3x3Kernel(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor* out) {
  const uint32_t C = in->uiC;
  const uint32_t N = in->uiN;
  const auto* w = Elems<const uint16_t>(&l->weights);
  for (uint32_t o = 0; o < out->uiC; ++o) {
    FrnnTensor oc = FrnnTensorChannel(out, o);
    FrnnTensorFill16f(&oc, l->hasBias ? Elems<const uint16_t>(&l->bias)[o] : kHalfZero);
    auto* po = Elems<uint16_t>(&oc);
    for (uint32_t k = 0; k < C; ++k) {
      const FrnnTensor ic = FrnnTensorChannel(in, k);
      const auto* pi = Elems<const uint16_t>(&ic);
      const uint16_t* tw = w + (static_cast<size_t>(o) * C + k) * 9;
      for (uint32_t y = 0; y < out->uiH; ++y)
        for (uint32_t x = 0; x < out->uiW; ++x) {
          uint16_t* acc = po + (static_cast<size_t>(y) * out->uiRowStride + x) * N;
          for (uint32_t t = 0; t < 9; ++t) {
            const uint32_t iy = y * l->strideHeight + t / 3;
            const uint32_t ix = x * l->strideWidth + t % 3;
            const uint16_t* src = pi + (static_cast<size_t>(iy) * in->uiRowStride + ix) * N;
            for (uint32_t n = 0; n < N; ++n) acc[n] = HalfFma(acc[n], tw[t], src[n]);
          }
        }
    }
  }
}

void ConvChwn1x1Kernel(const FrnnTensor* in, FrnnTensor* out, const FrnnTensor* weights, const FrnnTensor* bias,
                       uint32_t hasBias) {
  const uint32_t C = in->uiC;
  const size_t E = static_cast<size_t>(out->uiPlane) * out->uiN;
  const auto* w = Elems<const uint16_t>(weights);
  for (uint32_t o = 0; o < out->uiC; ++o) {
    const FrnnTensor oc = FrnnTensorChannel(out, o);
    auto* po = Elems<uint16_t>(&oc);
    const uint16_t b = hasBias ? Elems<const uint16_t>(bias)[o] : kHalfZero;
    for (size_t e = 0; e < E; ++e) {
      uint16_t acc = b;
      for (uint32_t k = 0; k < C; ++k) {
        const FrnnTensor ic = FrnnTensorChannel(in, k);
        acc = HalfFma(acc, w[static_cast<size_t>(o) * C + k], Elems<const uint16_t>(&ic)[e]);
      }
      po[e] = acc;
    }
  }
}
