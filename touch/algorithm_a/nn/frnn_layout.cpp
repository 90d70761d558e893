// Layout transforms between NCHW and the blocked layouts, the pad fills that give blocked
// pad lanes and NCHW pad columns a defined value, and the 16-bit fixed-point quantisers.
#include <cmath>

#include "frnn_internal.h"

uint32_t TensorPadFillF16(FrnnTensor* t, uint32_t mode, uint16_t value);

namespace {

size_t BlockedIndex(const FrnnTensor* t, uint32_t b, uint32_t i, uint32_t k, uint32_t y, uint32_t x) {
  const size_t cb = RoundUp(t->uiC, b) / b;
  return (((static_cast<size_t>(i) * cb + k / b) * t->uiH + y) * t->uiW + x) * b + k % b;
}

size_t NchwIndex(const FrnnTensor* t, uint32_t i, uint32_t k, uint32_t y, uint32_t x) {
  return (static_cast<size_t>(i) * t->uiC + k) * t->uiPlane + static_cast<size_t>(y) * t->uiRowStride + x;
}

uint32_t Transform(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool, uint32_t target) {
  if (src == nullptr || ppstOut == nullptr) return FRNN_ERR_ARG;
  const uint32_t es = src->uiElemSize;
  // Elements are moved whole; a size the movers do not know is refused before anything
  // is made, rather than handing back a tensor that was never written.
  if (es != 1 && es != 2 && es != 4) return FRNN_ERR_UNSUPPORTED;
  FrnnTensor* out = FrnnTensorCreate(src->uiN, src->uiW, src->uiH, src->uiC, src->uiDims, es, target, src->uiKind,
                                     pool);
  if (out == nullptr) return FRNN_ERR_NOMEM;
  const bool bToBlocked = target != FRNN_LAYOUT_NCHW;
  const FrnnTensor* blocked = bToBlocked ? out : src;
  const FrnnTensor* planar = bToBlocked ? src : out;
  const uint32_t b = blocked->uiLayout == FRNN_LAYOUT_NC8HW8 ? 8 : 4;
  auto* pubOut = static_cast<uint8_t*>(out->pvData);
  const auto* pubSrc = static_cast<const uint8_t*>(src->pvData);
  for (uint32_t i = 0; i < src->uiN; ++i)
    for (uint32_t k = 0; k < src->uiC; ++k)
      for (uint32_t y = 0; y < src->uiH; ++y)
        for (uint32_t x = 0; x < src->uiW; ++x) {
          const size_t bi = BlockedIndex(blocked, b, i, k, y, x);
          const size_t pi = NchwIndex(planar, i, k, y, x);
          memcpy(pubOut + (bToBlocked ? bi : pi) * es, pubSrc + (bToBlocked ? pi : bi) * es, es);
        }
  if (!bToBlocked) {
    out->uiC = src->uiC;
    out->uiParamMode = src->uiParamMode;
  }
  *ppstOut = out;
  return FRNN_OK;
}

// Scale to q fraction bits: 2^q for every q below 32 (a shifted 16-bit integer would turn
// negative at 15 and vanish above).
float ToFixedScale(uint32_t q) { return std::ldexp(1.0f, static_cast<int>(q & 31u)); }

int16_t Saturate16(float v) {
  if (std::isnan(v)) return 0;
  v = v > 0 ? v + 0.5f : v - 0.5f;
  if (v >= 32767.0f) return 32767;
  if (v <= -32768.0f) return -32768;
  return static_cast<int16_t>(v);
}

uint32_t Quantize(const FrnnTensor* src, FrnnTensor** ppstOut, uint32_t q, void* pool, bool bHalf) {
  if (src == nullptr || ppstOut == nullptr) return FRNN_ERR_ARG;
  FrnnTensor* out = FrnnTensorCreate(src->uiN, src->uiW, src->uiH, src->uiC, src->uiDims, 2, src->uiLayout,
                                     FRNN_KIND_S16, pool);
  if (out == nullptr) return FRNN_ERR_NOMEM;
  const float s = ToFixedScale(q);
  const uint16_t uwS = FH(s);
  for (uint32_t i = 0; i < src->uiN; ++i)
    for (uint32_t k = 0; k < src->uiC; ++k)
      for (uint32_t y = 0; y < src->uiH; ++y)
        for (uint32_t x = 0; x < src->uiW; ++x) {
          int16_t v;
          if (bHalf) {
            const uint16_t p = HalfMul(Elems<const uint16_t>(src)[NchwIndex(src, i, k, y, x)], uwS);
            const float f = HF(p);
            const float r = HF(FH(f > 0 ? f + 0.5f : f - 0.5f));
            v = std::isnan(r) ? 0
                : r >= 32767.0f ? 32767
                : (r <= -32768.0f ? -32768 : static_cast<int16_t>(std::trunc(r)));
          } else {
            v = Saturate16(Elems<const float>(src)[NchwIndex(src, i, k, y, x)] * s);
          }
          Elems<int16_t>(out)[NchwIndex(out, i, k, y, x)] = v;
        }
  out->siTag1 = 3;
  *ppstOut = out;
  return FRNN_OK;
}

}  // namespace

uint32_t FrnnTensorLayoutNCHWToNC8HW8(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool) {
  if (src != nullptr && src->uiLayout != FRNN_LAYOUT_NCHW) return FRNN_ERR_UNSUPPORTED;
  return Transform(src, ppstOut, pool, FRNN_LAYOUT_NC8HW8);
}
uint32_t FrnnTensorLayoutNC8HW8ToNCHW(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool) {
  if (src != nullptr && src->uiLayout != FRNN_LAYOUT_NC8HW8) return FRNN_ERR_UNSUPPORTED;
  return Transform(src, ppstOut, pool, FRNN_LAYOUT_NCHW);
}
uint32_t FrnnTensorLayoutNCHWToNC4HW4(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool) {
  if (src != nullptr && src->uiLayout != FRNN_LAYOUT_NCHW) return FRNN_ERR_UNSUPPORTED;
  return Transform(src, ppstOut, pool, FRNN_LAYOUT_NC4HW4);
}
uint32_t FrnnTensorLayoutNC4HW4ToNCHW(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool) {
  if (src != nullptr && src->uiLayout != FRNN_LAYOUT_NC4HW4) return FRNN_ERR_UNSUPPORTED;
  return Transform(src, ppstOut, pool, FRNN_LAYOUT_NCHW);
}

uint32_t TensorQuantizeF32ToS16(const FrnnTensor* src, FrnnTensor** ppstOut, uint32_t q, void* pool) {
  return Quantize(src, ppstOut, q, pool, false);
}

uint32_t TensorQuantizeF16ToS16(const FrnnTensor* src, FrnnTensor** ppstOut, uint32_t q, void* pool) {
  if (src != nullptr && src->uiLayout == FRNN_LAYOUT_NC8HW8) {
    FrnnTensor* tmp = nullptr;
    uint32_t r = FrnnTensorLayoutNC8HW8ToNCHW(src, &tmp, pool);
    if (r != FRNN_OK) return r;
    r = Quantize(tmp, ppstOut, q, pool, true);
    DropTensor(tmp, pool);
    return r;
  }
  return Quantize(src, ppstOut, q, pool, true);
}

uint32_t TensorPadFillF16(FrnnTensor* t, uint32_t mode, uint16_t value) {
  if (t == nullptr) return FRNN_ERR_NULL;
  if (mode > 1) return FRNN_ERR_UNSUPPORTED;
  auto* p = Elems<uint16_t>(t);
  if (t->uiLayout == FRNN_LAYOUT_NC8HW8) {
    if (t->uiC % 8 == 0) return FRNN_OK;
    const uint32_t real = t->uiC % 8;
    const size_t pix = static_cast<size_t>(t->uiH) * t->uiW;
    for (uint32_t i = 0; i < t->uiN; ++i) {
      uint16_t* blk = p + static_cast<size_t>(i) * pix * RoundUp(t->uiC, 8) + static_cast<size_t>(t->uiC / 8 * 8) * pix;
      for (size_t px = 0; px < pix; ++px)
        for (uint32_t l = real; l < 8; ++l) blk[px * 8 + l] = mode == 0 ? value : blk[px * 8 + real - 1];
    }
    return FRNN_OK;
  }
  if (t->uiLayout == FRNN_LAYOUT_NCHW) {
    if (t->uiRowStride == t->uiW || t->uiH == 0 || t->uiW == 0) return FRNN_OK;
    const size_t rows = static_cast<size_t>(t->uiN) * t->uiC * t->uiH;
    for (size_t r = 0; r < rows; ++r) {
      uint16_t* row = p + r * t->uiRowStride;
      for (uint32_t x = t->uiW; x < t->uiRowStride; ++x) row[x] = mode == 0 ? value : row[t->uiW - 1];
    }
  }
  return FRNN_OK;
}
