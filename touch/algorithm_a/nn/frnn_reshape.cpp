// Layers that move values without changing them: permute, flatten, reshape and pixel
// shuffle. Each reads through the input's own strides and writes the output's real
// elements only.
#include "frnn_internal.h"
#include "tsa_memory.h"

namespace {

// Raw element move of `es` bytes.
inline void MoveElem(const FrnnTensor* dst, size_t di, const FrnnTensor* src, size_t si) {
  const uint32_t es = src->uiElemSize;
  // The two element sizes the layers use as fixed-size copies: one move, not a call.
  if (es == 2) {
    static_cast<uint16_t*>(dst->pvData)[di] = static_cast<const uint16_t*>(src->pvData)[si];
  } else if (es == 4) {
    static_cast<uint32_t*>(dst->pvData)[di] = static_cast<const uint32_t*>(src->pvData)[si];
  } else {
    memcpy(static_cast<uint8_t*>(dst->pvData) + di * es, static_cast<const uint8_t*>(src->pvData) + si * es, es);
  }
}

inline size_t Index(const FrnnTensor* t, uint32_t i, uint32_t k, uint32_t y, uint32_t x) {
  return (static_cast<size_t>(i) * t->uiC + k) * t->uiPlane + static_cast<size_t>(y) * t->uiRowStride + x;
}

}  // namespace

FrnnPermuteParam FrnnPermuteInit(uint32_t o0, uint32_t o1, uint32_t o2, uint32_t o3, const FrnnWeightReader* r) {
  return FrnnPermuteParam{r != nullptr ? r->uiKind : 0, {o0, o1, o2, o3}};
}

uint32_t FrnnPermuteForward(const FrnnPermuteParam* p, const FrnnTensor* in, FrnnTensor** ppstOut, void* pool) {
  if (p == nullptr || in == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (in->uiLayout != FRNN_LAYOUT_NCHW) return FRNN_ERR_UNSUPPORTED;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  if (in->uiElemSize != 2 && in->uiElemSize != 4) return FRNN_ERR_UNSUPPORTED;
  const uint32_t* o = p->auiOrder;
  if (o[0] != 0) return FRNN_ERR_UNSUPPORTED;
  uint32_t c;
  uint32_t h;
  uint32_t w;
  int iCase;
  if (o[1] == 2 && o[2] == 3 && o[3] == 1) {
    c = in->uiH, h = in->uiW, w = in->uiC, iCase = 0;
  } else if (o[1] == 2 && o[2] == 1 && o[3] == 3) {
    c = in->uiH, h = in->uiC, w = in->uiW, iCase = 1;
  } else if (o[1] == 3 && o[2] == 1 && o[3] == 2) {
    c = in->uiW, h = in->uiC, w = in->uiH, iCase = 2;
  } else {
    return FRNN_ERR_UNSUPPORTED;
  }
  FrnnTensor* out = FrnnTensorCreate3D(in->uiN, w, h, c, in->uiElemSize, FRNN_LAYOUT_NCHW, in->uiKind, pool);
  if (out == nullptr) return FRNN_ERR_NOMEM;
  for (uint32_t i = 0; i < in->uiN; ++i)
    for (uint32_t k = 0; k < in->uiC; ++k)
      for (uint32_t y = 0; y < in->uiH; ++y)
        for (uint32_t x = 0; x < in->uiW; ++x) {
          size_t di;
          if (iCase == 0) {
            di = Index(out, i, y, x, k);
          } else if (iCase == 1) {
            di = Index(out, i, y, k, x);
          } else {
            di = Index(out, i, x, k, y);
          }
          MoveElem(out, di, in, Index(in, i, k, y, x));
        }
  *ppstOut = out;
  return FRNN_OK;
}

uint32_t FrnnPermute(const FrnnTensor* in, FrnnTensor** ppstOut, uint32_t o0, uint32_t o1, uint32_t o2, uint32_t o3,
                     const FrnnWeightReader* r, void* pool) {
  if (ppstOut == nullptr || in == nullptr || r == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  const FrnnPermuteParam p = FrnnPermuteInit(o0, o1, o2, o3, r);
  return FrnnPermuteForward(&p, in, ppstOut, pool);
}

FrnnReshapeParam FrnnReshapeInit(uint32_t n, uint32_t c, uint32_t h, uint32_t w, const FrnnWeightReader* r) {
  return FrnnReshapeParam{r != nullptr ? r->uiKind : 0, n, c, h, w};
}

uint32_t FrnnReshapeForward(const FrnnReshapeParam* p, const FrnnTensor* in, FrnnTensor** ppstOut, void* pool) {
  if (p == nullptr || in == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr || in->uiLayout != FRNN_LAYOUT_NCHW) return FRNN_ERR_SLOT;
  const uint64_t ulIn = static_cast<uint64_t>(in->uiN) * in->uiH * in->uiW * in->uiC;
  const uint64_t ulOut = static_cast<uint64_t>(p->uiN) * p->uiC * p->uiH * p->uiW;
  if (ulIn != ulOut) return FRNN_ERR_ARG;
  FrnnTensor* out = FrnnTensorCreate3D(p->uiN, p->uiW, p->uiH, p->uiC, in->uiElemSize, FRNN_LAYOUT_NCHW, in->uiKind,
                                       pool);
  if (out == nullptr) return FRNN_ERR_NOMEM;
  if (in->uiElemSize != 2 && in->uiElemSize != 4) {
    FrnnTensorDestroy(&out, pool);
    return FRNN_ERR_UNSUPPORTED;
  }
  // Walk both in logical order with one running source position.
  uint32_t si = 0, sk = 0, sy = 0, sx = 0;
  for (uint32_t i = 0; i < out->uiN; ++i)
    for (uint32_t k = 0; k < out->uiC; ++k)
      for (uint32_t y = 0; y < out->uiH; ++y)
        for (uint32_t x = 0; x < out->uiW; ++x) {
          MoveElem(out, Index(out, i, k, y, x), in, Index(in, si, sk, sy, sx));
          if (++sx == in->uiW) {
            sx = 0;
            if (++sy == in->uiH) {
              sy = 0;
              if (++sk == in->uiC) {
                sk = 0;
                ++si;
              }
            }
          }
        }
  *ppstOut = out;
  return FRNN_OK;
}

uint32_t FrnnReshape(const FrnnTensor* in, FrnnTensor** ppstOut, uint32_t n, uint32_t c, uint32_t h, uint32_t w,
                     const FrnnWeightReader* r, void* pool) {
  if (ppstOut == nullptr || in == nullptr || r == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  const FrnnReshapeParam p = FrnnReshapeInit(n, c, h, w, r);
  return FrnnReshapeForward(&p, in, ppstOut, pool);
}

FrnnFlattenParam FrnnFlattenInit(uint32_t mode, uint32_t channelFirst, const FrnnWeightReader* r) {
  return FrnnFlattenParam{mode, channelFirst, r != nullptr ? r->uiKind : 0};
}

uint32_t FrnnFlattenForwardInt(const FrnnFlattenParam* p, const FrnnTensor* in, FrnnTensor** ppstOut, void* pool) {
  if (p == nullptr || in == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  if (HalfRowRefused(in)) return FRNN_ERR_ROW;
  if (in->uiKind >= 6) return FRNN_ERR_ARG;
  if (in->uiKind != FRNN_KIND_S32 && in->uiKind != FRNN_KIND_F32 && in->uiKind != FRNN_KIND_F16) {
    return FRNN_ERR_UNSUPPORTED;
  }
  if (p->uiMode != 1 || p->uiChannelFirst > 1) return p->uiMode == 0 ? FRNN_ERR_UNSUPPORTED : FRNN_ERR_STEP;
  if (in->uiLayout != FRNN_LAYOUT_NCHW && in->uiLayout != FRNN_LAYOUT_NC8HW8 && in->uiLayout != FRNN_LAYOUT_NC4HW4 &&
      in->uiLayout != FRNN_LAYOUT_CHWN) {
    return FRNN_ERR_UNSUPPORTED;
  }
  if (in->uiLayout != FRNN_LAYOUT_NCHW && p->uiChannelFirst != 1) return FRNN_ERR_UNSUPPORTED;
  const uint32_t uiRow = in->uiH * in->uiW * in->uiC;
  FrnnTensor* out = FrnnTensorCreate(in->uiN, uiRow, 1, 1, 1, in->uiElemSize, FRNN_LAYOUT_NCHW, in->uiKind, pool);
  if (out == nullptr) return FRNN_ERR_NOMEM;
  const uint8_t* src = static_cast<const uint8_t*>(in->pvData);
  const uint32_t es = in->uiElemSize;
  for (uint32_t i = 0; i < in->uiN; ++i) {
    size_t j = static_cast<size_t>(i) * out->uiPlane;
    if (in->uiLayout == FRNN_LAYOUT_CHWN) {
      // The batch index is innermost: gather image i's values in channel-first order.
      for (uint32_t k = 0; k < in->uiC; ++k)
        for (uint32_t y = 0; y < in->uiH; ++y)
          for (uint32_t x = 0; x < in->uiW; ++x) {
            const size_t si = ((static_cast<size_t>(k) * in->uiH + y) * in->uiW + x) * in->uiN + i;
            memcpy(static_cast<uint8_t*>(out->pvData) + (j++) * es, src + si * es, es);
          }
      continue;
    }
    for (uint32_t k = 0; k < in->uiC && p->uiChannelFirst == 1; ++k)
      for (uint32_t y = 0; y < in->uiH; ++y)
        for (uint32_t x = 0; x < in->uiW; ++x) {
          uint32_t el = 0;
          FrnnTensorGetElement(in, i, k, y, x, &el);
          memcpy(static_cast<uint8_t*>(out->pvData) + (j++) * es, &el, es);
        }
    for (uint32_t y = 0; y < in->uiH && p->uiChannelFirst == 0; ++y)
      for (uint32_t x = 0; x < in->uiW; ++x)
        for (uint32_t k = 0; k < in->uiC; ++k) MoveElem(out, j++, in, Index(in, i, k, y, x));
  }
  *ppstOut = out;
  return FRNN_OK;
}

uint32_t FrnnFlatten(const FrnnTensor* in, FrnnTensor** ppstOut, uint32_t mode, uint32_t channelFirst,
                     const FrnnWeightReader* r, void* pool) {
  if (ppstOut == nullptr || in == nullptr || r == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  const FrnnFlattenParam p = FrnnFlattenInit(mode, channelFirst, r);
  return FrnnFlattenForwardInt(&p, in, ppstOut, pool);
}

FrnnPixelShuffleParam FrnnPixelShuffleInit(uint32_t r, const FrnnWeightReader* rd) {
  return FrnnPixelShuffleParam{rd != nullptr ? rd->uiKind : 0, r, {0, 0}};
}

uint32_t FrnnPixelShuffleForwardInt(const FrnnPixelShuffleParam* p, const FrnnTensor* in, FrnnTensor** ppstOut,
                                    void* pool) {
  if (p == nullptr || in == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  if (HalfRowRefused(in)) return FRNN_ERR_ROW;
  const uint32_t r = p->uiFactor;
  const uint32_t c = r == 0 ? 0 : in->uiC / (r * r);
  FrnnTensor* out = FrnnTensorCreate(in->uiN, in->uiW * r, in->uiH * r, c, in->uiDims, in->uiElemSize, in->uiLayout,
                                     in->uiKind, pool);
  if (out == nullptr) return FRNN_ERR_NOMEM;
  uint32_t res = FRNN_OK;
  if (p->uiKind >= 6) {
    res = FRNN_ERR_ARG;
  } else if (p->uiKind != FRNN_KIND_F16 && p->uiKind != FRNN_KIND_F32) {
    res = FRNN_ERR_UNSUPPORTED;
  } else if (in->uiLayout != FRNN_LAYOUT_NCHW && in->uiLayout != FRNN_LAYOUT_NC8HW8 &&
             in->uiLayout != FRNN_LAYOUT_NC4HW4) {
    res = FRNN_ERR_STEP;
  } else if (r != 2 || in->uiC % 4 != 0) {
    res = FRNN_ERR_UNSUPPORTED;
  } else if (in->uiLayout == FRNN_LAYOUT_NCHW && out->uiLayout == FRNN_LAYOUT_NCHW && in->uiElemSize == 2) {
    // Planar halves: channel 4k + q of a row goes to every other column of one output row.
    for (uint32_t i = 0; i < in->uiN; ++i)
      for (uint32_t k = 0; k < c; ++k)
        for (uint32_t q = 0; q < 4; ++q)
          for (uint32_t y = 0; y < in->uiH; ++y) {
            const uint16_t* s = static_cast<const uint16_t*>(in->pvData) + Index(in, i, 4 * k + q, y, 0);
            uint16_t* d = static_cast<uint16_t*>(out->pvData) + Index(out, i, k, 2 * y + q / 2, q % 2);
            for (uint32_t x = 0; x < in->uiW; ++x) d[2 * x] = s[x];
          }
  } else {
    uint32_t v = 0;
    for (uint32_t i = 0; i < in->uiN; ++i)
      for (uint32_t k = 0; k < c; ++k)
        for (uint32_t y = 0; y < in->uiH; ++y)
          for (uint32_t x = 0; x < in->uiW; ++x)
            for (uint32_t q = 0; q < 4; ++q) {
              FrnnTensorGetElement(in, i, 4 * k + q, y, x, &v);
              const uint32_t oy = 2 * y + q / 2;
              const uint32_t ox = 2 * x + q % 2;
              if (out->uiLayout == FRNN_LAYOUT_NCHW) {
                memcpy(static_cast<uint8_t*>(out->pvData) + Index(out, i, k, oy, ox) * in->uiElemSize, &v,
                       in->uiElemSize);
              } else {
                const uint32_t b = out->uiLayout == FRNN_LAYOUT_NC8HW8 ? 8 : 4;
                const size_t di = static_cast<size_t>(out->uiPlane) * (k / b * b + RoundUp(c, b) * i) +
                                  (ox + static_cast<size_t>(out->uiW) * oy) * b + k % b;
                memcpy(static_cast<uint8_t*>(out->pvData) + di * in->uiElemSize, &v, in->uiElemSize);
              }
            }
  }
  if (res != FRNN_OK) {
    FrnnTensorDestroy(&out, pool);
    return res;
  }
  *ppstOut = out;
  return FRNN_OK;
}

uint32_t FrnnPixelShuffle(const FrnnTensor* in, FrnnTensor** ppstOut, uint32_t r, const FrnnWeightReader* rd,
                          void* pool) {
  if (ppstOut == nullptr || in == nullptr || rd == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  const FrnnPixelShuffleParam p = FrnnPixelShuffleInit(r, rd);
  return FrnnPixelShuffleForwardInt(&p, in, ppstOut, pool);
}

uint32_t FrnnCplxPixelShuffleForward(...) { return FRNN_ERR_STEP; }
