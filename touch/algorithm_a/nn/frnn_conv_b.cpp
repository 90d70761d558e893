// Path B of the convolution: single precision. The NCHW kernels fill each output plane
// with its bias and then add every input channel's taps (ascending, row-major) into the
// stored output with fused multiply-adds, which is exactly path C's order: the two agree
// bit for bit. The NC4HW4 kernel packs the weights into 4 x 4 tiles and adds, per output
// pixel, the input blocks ascending, the taps row-major and the 4 lanes of each tile in
// order; its sums follow another order than the planar kernels.
#include <cmath>

#include "frnn_internal.h"
#include "tsa_memory.h"

namespace {

// One NCHW image: bias first, then input channel by channel, tap by tap.
void DirectNchw(const FrnnTensor* in, FrnnTensor* out, const FrnnTensor* weights, const FrnnTensor* bias,
                uint32_t hasBias, uint32_t kW, uint32_t kH, uint32_t sW, uint32_t sH) {
  const uint32_t C = in->uiC;
  const uint32_t taps = kW * kH;
  const float* w = Elems<const float>(weights);
  for (uint32_t o = 0; o < out->uiC; ++o) {
    FrnnTensor oc = FrnnTensorChannel(out, o);
    TensorFillF32(&oc, hasBias ? Elems<const float>(bias)[o] : 0.0f);
    float* po = Elems<float>(&oc);
    for (uint32_t i = 0; i < C; ++i) {
      const FrnnTensor ic = FrnnTensorChannel(in, i);
      const float* pi = Elems<const float>(&ic);
      const float* wt = w + (static_cast<size_t>(o) * C + i) * taps;
      for (uint32_t y = 0; y < out->uiH; ++y) {
        float* row = po + static_cast<size_t>(y) * out->uiRowStride;
        for (uint32_t ky = 0; ky < kH; ++ky) {
          const float* src = pi + static_cast<size_t>(y * sH + ky) * in->uiRowStride;
          for (uint32_t kx = 0; kx < kW; ++kx) {
            const float wv = wt[ky * kW + kx];
            for (uint32_t x = 0; x < out->uiW; ++x) row[x] = std::fma(src[x * sW + kx], wv, row[x]);
          }
        }
      }
    }
  }
}

}  // namespace

void Conv3x3S1Kernel(const FrnnTensor* in, FrnnTensor* out, const FrnnTensor* w, const FrnnTensor* b, uint32_t hasBias) {
  DirectNchw(in, out, w, b, hasBias == 1 ? 1 : 0, 3, 3, 1, 1);
}
void Conv3x3S2Kernel(const FrnnTensor* in, FrnnTensor* out, const FrnnTensor* w, const FrnnTensor* b, uint32_t hasBias) {
  DirectNchw(in, out, w, b, hasBias, 3, 3, 2, 2);
}
void Conv5x5S1Kernel(const FrnnTensor* in, FrnnTensor* out, const FrnnTensor* w, const FrnnTensor* b, uint32_t hasBias) {
  DirectNchw(in, out, w, b, hasBias, 5, 5, 1, 1);
}
void Conv2x2S2Kernel(const FrnnTensor* in, FrnnTensor* out, const FrnnTensor* w, const FrnnTensor* b, uint32_t hasBias) {
  DirectNchw(in, out, w, b, hasBias, 2, 2, 2, 2);
}

// 1x1 stride 1: the output (filters x pixels) is the weight matrix times the input
// (channels x pixels); each output value is summed from its bias in registers and
// stored once.
void Conv1x1GemmKernel(const FrnnTensor* in, FrnnTensor* out, const FrnnTensor* weights, const FrnnTensor* bias,
                       uint32_t hasBias) {
  const uint32_t C = in->uiC;
  const uint32_t P = out->uiH * out->uiW;
  const float* w = Elems<const float>(weights);
  const float* pi = Elems<const float>(in);
  float* po = Elems<float>(out);
  for (uint32_t o = 0; o < out->uiC; ++o)
    for (uint32_t p = 0; p < P; ++p) {
      float acc = hasBias ? Elems<const float>(bias)[o] : 0.0f;
      for (uint32_t i = 0; i < C; ++i) acc = std::fma(w[static_cast<size_t>(o) * C + i], pi[static_cast<size_t>(i) * in->uiPlane + p], acc);
      po[static_cast<size_t>(o) * out->uiPlane + p] = acc;
    }
}

uint32_t ConvNC4HW4Kernel(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor* out, void* pool) {
  const uint32_t C = in->uiC, F = out->uiC;
  const uint32_t C4 = RoundUp(C, 4), F4 = RoundUp(F, 4);
  const uint32_t kH = l->kernelHeight, kW = l->kernelWidth, taps = kH * kW;
  const uint64_t ulCount = static_cast<uint64_t>(F4) * C4 * taps;
  if (ulCount * 4 + 16 > 0x7FFFFFFFu) return FRNN_ERR_NOMEM;
  const float* w = Elems<const float>(&l->weights);
  const float* b = l->hasBias ? Elems<const float>(&l->bias) : nullptr;
  float* pW = nullptr;
  float* pB = nullptr;
  float* pPacked = nullptr;
  uint32_t r = FRNN_OK;
  if (F != F4 || C != C4) {
    pW = static_cast<float*>(NnPoolAlloc(pool, static_cast<int32_t>(ulCount * 4 + 16), "ConvNC4HW4Kernel", 11984));
    if (pW == nullptr) {
      r = FRNN_ERR_NOMEM;
    } else {
      FrMemset(pW, 0, static_cast<uint32_t>(ulCount * 4));
      for (uint32_t o = 0; o < F; ++o) FrMemcpy(pW + static_cast<size_t>(o) * C4 * taps, w + static_cast<size_t>(o) * C * taps, C * taps * 4);
      w = pW;
    }
    if (r == FRNN_OK && l->hasBias == 1) {
      pB = static_cast<float*>(NnPoolAlloc(pool, static_cast<int32_t>(F4 * 4 + 16), "ConvNC4HW4Kernel", 11999));
      if (pB == nullptr) {
        r = FRNN_ERR_NOMEM;
      } else {
        FrMemcpy(pB, b, F * 4);
        FrMemset(pB + F, 0, (F4 - F) * 4);
        b = pB;
      }
    }
  }
  if (r == FRNN_OK) {
    pPacked = static_cast<float*>(NnPoolAlloc(pool, static_cast<int32_t>(ulCount * 4 + 16), "ConvNC4HW4Kernel", 12006));
    if (pPacked == nullptr) r = FRNN_ERR_NOMEM;
  }
  if (r == FRNN_OK) {
    const int32_t shape[4] = {static_cast<int32_t>(F4), static_cast<int32_t>(C4), static_cast<int32_t>(kH),
                              static_cast<int32_t>(kW)};
    ConvWeightPackO4I4(pPacked, w, shape, 4);
    if (C != C4) TensorPadFillF32(const_cast<FrnnTensor*>(in), 0, 0.0f);
    if (l->dilationWidth != 1 || l->dilationHeight != 1) r = FRNN_ERR_UNSUPPORTED;
  }
  if (r == FRNN_OK) {
    const float* pi = Elems<const float>(in);
    float* po = Elems<float>(out);
    for (uint32_t n = 0; n < in->uiN; ++n)
      for (uint32_t fb = 0; fb < F4 / 4; ++fb)
        for (uint32_t y = 0; y < out->uiH; ++y)
          for (uint32_t x = 0; x < out->uiW; ++x) {
            float acc[4];
            for (uint32_t m = 0; m < 4; ++m) acc[m] = b != nullptr ? b[fb * 4 + m] : 0.0f;
            const float* tile = pPacked + static_cast<size_t>(fb) * 16 * taps * (C4 / 4);
            for (uint32_t jb = 0; jb < C4 / 4; ++jb)
              for (uint32_t ky = 0; ky < kH; ++ky)
                for (uint32_t kx = 0; kx < kW; ++kx, tile += 16) {
                  const float* px = pi + IndexOf(in, n, jb * 4, y * l->strideHeight + ky, x * l->strideWidth + kx);
                  for (uint32_t lane = 0; lane < 4; ++lane)
                    for (uint32_t m = 0; m < 4; ++m) acc[m] = std::fma(tile[lane * 4 + m], px[lane], acc[m]);
                }
            float* dst = po + IndexOf(out, n, fb * 4, y, x);
            for (uint32_t m = 0; m < 4; ++m) dst[m] = acc[m];
          }
  }
  NnPoolFree(pool, pW);
  NnPoolFree(pool, pB);
  NnPoolFree(pool, pPacked);
  return r;
}

uint32_t ConvDirectDispatch(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor* out, void* pool) {
  if (in->uiLayout == FRNN_LAYOUT_NC4HW4) return ConvNC4HW4Kernel(l, in, out, pool);
  if (in->uiLayout != FRNN_LAYOUT_NCHW || in->uiKind != FRNN_KIND_F32) return FRNN_ERR_UNSUPPORTED;
  if (l->dilationWidth != 1 || l->dilationHeight != 1) return FRNN_ERR_UNSUPPORTED;
  using Kernel = void (*)(const FrnnTensor*, FrnnTensor*, const FrnnTensor*, const FrnnTensor*, uint32_t);
  const uint32_t kW = l->kernelWidth, kH = l->kernelHeight, sW = l->strideWidth, sH = l->strideHeight;
  Kernel k = nullptr;
  if (kW == 3 && kH == 3 && sW == 1 && sH == 1) k = Conv3x3S1Kernel;
  if (kW == 3 && kH == 3 && sW == 2 && sH == 2) k = Conv3x3S2Kernel;
  if (kW == 1 && kH == 1 && sW == 1 && sH == 1) k = Conv1x1GemmKernel;
  if (kW == 5 && kH == 5 && sW == 1 && sH == 1) k = Conv5x5S1Kernel;
  if (kW == 2 && kH == 2 && sW == 2 && sH == 2) k = Conv2x2S2Kernel;
  if (k == nullptr) return FRNN_ERR_UNSUPPORTED;
  for (uint32_t n = 0; n < in->uiN; ++n) {
    const FrnnTensor ii = FrnnTensorImage(in, n);
    FrnnTensor oi = FrnnTensorImage(out, n);
    k(&ii, &oi, &l->weights, &l->bias, l->hasBias);
  }
  return FRNN_OK;
}
