// Layers that join, cut and multiply whole planes: concat along one axis, crop to a
// bounding box, and the plane-wise matrix product with broadcasting of a single image or
// channel.
#include <algorithm>
#include <cmath>

#include "frnn_conv_kernels.h"
#include "frnn_internal.h"
#include "tsa_memory.h"

namespace {

// Moves one element of `es` bytes between two tensors of the same element size.
inline void Move(const FrnnTensor* dst, size_t di, const FrnnTensor* src, size_t si) {
  const uint32_t es = src->uiElemSize;
  FrMemcpy(static_cast<uint8_t*>(dst->pvData) + di * es, static_cast<const uint8_t*>(src->pvData) + si * es, es);
}

uint32_t Dim(const FrnnTensor* t, uint32_t axis) {
  switch (axis) {
    case 0:
      return t->uiN;
    case 1:
      return t->uiC;
    case 2:
      return t->uiH;
    default:
      return t->uiW;
  }
}

// Copies every element of `in` into `out` shifted by `off` along the axis; NCHW rows go
// as whole runs, blocked layouts element by element.
void Place(const FrnnTensor* in, FrnnTensor* out, uint32_t axis, uint32_t off) {
  const uint32_t di = axis == 0 ? off : 0, dk = axis == 1 ? off : 0, dy = axis == 2 ? off : 0,
                 dx = axis == 3 ? off : 0;
  const uint32_t es = in->uiElemSize;
  for (uint32_t i = 0; i < in->uiN; ++i)
    for (uint32_t k = 0; k < in->uiC; ++k)
      for (uint32_t y = 0; y < in->uiH; ++y) {
        if (in->uiLayout == FRNN_LAYOUT_NCHW) {
          FrMemcpy(static_cast<uint8_t*>(out->pvData) + IndexOf(out, i + di, k + dk, y + dy, dx) * es,
                   static_cast<const uint8_t*>(in->pvData) + IndexOf(in, i, k, y, 0) * es, in->uiW * es);
          continue;
        }
        for (uint32_t x = 0; x < in->uiW; ++x) Move(out, IndexOf(out, i + di, k + dk, y + dy, x + dx), in, IndexOf(in, i, k, y, x));
      }
}

uint32_t ConcatKernel(const FrnnConcatParam* p, const FrnnTensor* const* list, FrnnTensor** ppstOut, void* pool,
                      uint32_t kind, uint32_t layout) {
  if (p->uiAxis > 3) return FRNN_ERR_UNSUPPORTED;
  const FrnnTensor* a = list[0];
  uint32_t total = 0;
  for (uint32_t j = 0; j < p->uiCount; ++j) total += Dim(list[j], p->uiAxis);
  uint32_t n = a->uiN, c = a->uiC, h = a->uiH, w = a->uiW;
  (p->uiAxis == 0 ? n : p->uiAxis == 1 ? c : p->uiAxis == 2 ? h : w) = total;
  FrnnTensor* out = FrnnTensorCreate(n, w, h, c, a->uiDims, a->uiElemSize, layout, kind, pool);
  if (out == nullptr) return FRNN_ERR_NOMEM;
  uint32_t off = 0;
  for (uint32_t j = 0; j < p->uiCount; ++j) {
    Place(list[j], out, p->uiAxis, off);
    off += Dim(list[j], p->uiAxis);
  }
  *ppstOut = out;
  return FRNN_OK;
}

// Brings the inputs to one layout (the blocked one when the joined channels fill their
// blocks well enough); converted inputs are marked for release.
uint32_t ConcatAlignLayouts(const FrnnConcatParam* p, const FrnnTensor** list, FrnnTensor** owned, void* pool) {
  if (p->uiCount < 2) return FRNN_OK;
  bool bSame = true;
  for (uint32_t j = 1; j < p->uiCount; ++j) bSame = bSame && list[j]->uiLayout == list[0]->uiLayout;
  if (bSame) return FRNN_OK;
  uint32_t c = list[0]->uiC;
  if (p->uiAxis == 1) {
    c = 0;
    for (uint32_t j = 0; j < p->uiCount; ++j) c += list[j]->uiC;
  }
  const uint32_t pref = PreferredBlockLayout(p->uiKind, c);
  for (uint32_t j = 0; j < p->uiCount; ++j) {
    const uint32_t lay = list[j]->uiLayout;
    uint32_t r = FRNN_OK;
    if (pref == FRNN_LAYOUT_NC8HW8 && lay == FRNN_LAYOUT_NCHW) {
      r = FrnnTensorLayoutNCHWToNC8HW8(list[j], &owned[j], pool);
    } else if (pref == FRNN_LAYOUT_NC4HW4 && lay == FRNN_LAYOUT_NCHW) {
      r = FrnnTensorLayoutNCHWToNC4HW4(list[j], &owned[j], pool);
    } else if (pref == FRNN_LAYOUT_NCHW && lay == FRNN_LAYOUT_NC8HW8) {
      r = FrnnTensorLayoutNC8HW8ToNCHW(list[j], &owned[j], pool);
    } else if (pref == FRNN_LAYOUT_NCHW && lay == FRNN_LAYOUT_NC4HW4) {
      r = FrnnTensorLayoutNC4HW4ToNCHW(list[j], &owned[j], pool);
    }
    if (r != FRNN_OK) return r;
    if (owned[j] != nullptr) list[j] = owned[j];
  }
  return FRNN_OK;
}

}  // namespace

FrnnConcatParam FrnnConcatInit(uint32_t axis, uint32_t count, const FrnnWeightReader* r) {
  FrnnConcatParam p{};
  p.uiKind = r != nullptr ? r->uiKind : 0;
  p.uiAxis = axis;
  p.uiCount = count;
  return p;
}

uint32_t FrnnConcatForwardInt(const FrnnConcatParam* p, const FrnnTensor* const* in, FrnnTensor** ppstOut,
                              void* pool) {
  if (p == nullptr || in == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  // The list is copied into a fixed table: its length is bounded, and every entry must be
  // a tensor.
  if (p->uiCount < 1 || p->uiCount > kFrnnConcatMaxInputs) return FRNN_ERR_ARG;
  const FrnnTensor* list[kFrnnConcatMaxInputs];
  FrnnTensor* owned[kFrnnConcatMaxInputs] = {};
  for (uint32_t j = 0; j < p->uiCount; ++j) {
    if (in[j] == nullptr || in[j]->pvData == nullptr) return FRNN_ERR_NULL;
    list[j] = in[j];
    if (p->uiKind == FRNN_KIND_F16 && HalfRowRefused(in[j])) return FRNN_ERR_ROW;
  }
  if (p->uiKind > FRNN_KIND_F16) return FRNN_ERR_ARG;
  for (uint32_t v : p->auiWords) {
    if (static_cast<int32_t>(v) > 0) return FRNN_ERR_ARG;
  }
  // Every input must match the first in every dimension but the joined one, and in its
  // element size and kind: the copies are sized from the first.
  for (uint32_t j = 1; j < p->uiCount && p->uiAxis <= 3; ++j) {
    for (uint32_t ax = 0; ax < 4; ++ax) {
      if (ax != p->uiAxis && Dim(list[j], ax) != Dim(list[0], ax)) return FRNN_ERR_ARG;
    }
    if (list[j]->uiElemSize != list[0]->uiElemSize || list[j]->uiKind != list[0]->uiKind) return FRNN_ERR_ARG;
  }
  uint32_t r = FRNN_OK;
  const uint32_t lay0 = list[0]->uiLayout;
  if ((p->uiKind == FRNN_KIND_F16 || p->uiKind == FRNN_KIND_S16) &&
      (lay0 == FRNN_LAYOUT_NCHW || lay0 == FRNN_LAYOUT_NC8HW8 || lay0 == FRNN_LAYOUT_NC4HW4)) {
    r = ConcatAlignLayouts(p, list, owned, pool);
  }
  if (r == FRNN_OK) {
    bool bSame = true;
    for (uint32_t j = 1; j < p->uiCount; ++j) bSame = bSame && list[j]->uiLayout == list[0]->uiLayout;
    const uint32_t lay = list[0]->uiLayout;
    if (!bSame || list[0]->uiKind != p->uiKind) {
      r = FRNN_ERR_UNSUPPORTED;
    } else if (p->uiKind == FRNN_KIND_F32 && lay == FRNN_LAYOUT_NCHW) {
      r = ConcatKernel(p, list, ppstOut, pool, FRNN_KIND_F32, FRNN_LAYOUT_NCHW);
    } else if (p->uiKind == FRNN_KIND_F16 && (lay == FRNN_LAYOUT_NCHW || lay == FRNN_LAYOUT_NC8HW8)) {
      r = ConcatKernel(p, list, ppstOut, pool, FRNN_KIND_F16, lay);
    } else {
      r = FRNN_ERR_UNSUPPORTED;
    }
  }
  for (uint32_t j = 0; j < p->uiCount; ++j) DropTensor(owned[j], pool);
  return r;
}

uint32_t FrnnConcat(const FrnnTensor* const* in, FrnnTensor** ppstOut, uint32_t axis, uint32_t count,
                    const FrnnWeightReader* r, void* pool) {
  if (ppstOut == nullptr || in == nullptr || r == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  const FrnnConcatParam p = FrnnConcatInit(axis, count, r);
  return FrnnConcatForwardInt(&p, in, ppstOut, pool);
}

FrnnCropParam FrnnCropToBoundingInit(int32_t rowOffset, int32_t colOffset, int32_t height, int32_t width) {
  return FrnnCropParam{rowOffset, colOffset, height, width};
}

uint32_t FrnnTensorCropToBoundingBox(const FrnnCropParam* p, const FrnnTensor* in, FrnnTensor** ppstOut, void* pool) {
  if (p == nullptr || in == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  if (p->siRowOffset < 0 || p->siColOffset < 0 || p->siHeight < 1 || p->siWidth < 1) return FRNN_ERR_ARG;
  if (static_cast<int64_t>(p->siRowOffset) + p->siHeight > in->uiH ||
      static_cast<int64_t>(p->siColOffset) + p->siWidth > in->uiW) {
    return FRNN_ERR_ARG;
  }
  FrnnTensor* out = FrnnTensorCreate3D(in->uiN, static_cast<uint32_t>(p->siWidth), static_cast<uint32_t>(p->siHeight),
                                       in->uiC, in->uiElemSize, in->uiLayout, in->uiKind, pool);
  if (out == nullptr) return FRNN_ERR_NOMEM;
  uint32_t r = FRNN_OK;
  const uint32_t es = in->uiElemSize;
  if (es != 2 && es != 4) {
    r = FRNN_ERR_STEP;
  } else if (in->uiLayout == FRNN_LAYOUT_NCHW || in->uiLayout == FRNN_LAYOUT_NC8HW8) {
    // NCHW copies each channel's rows; NC8HW8 whole 8-channel blocks, 8 values a pixel.
    const uint32_t lanes = in->uiLayout == FRNN_LAYOUT_NC8HW8 ? 8 : 1;
    const uint32_t planes = in->uiLayout == FRNN_LAYOUT_NC8HW8 ? RoundUp(in->uiC, 8) / 8 : in->uiC;
    const auto* src = static_cast<const uint8_t*>(in->pvData);
    auto* dst = static_cast<uint8_t*>(out->pvData);
    for (uint32_t i = 0; i < in->uiN; ++i)
      for (uint32_t k = 0; k < planes; ++k)
        for (int32_t y = 0; y < p->siHeight; ++y) {
          const uint32_t ck = k * lanes;
          FrMemcpy(dst + IndexOf(out, i, ck, static_cast<uint32_t>(y), 0) * es,
                   src + IndexOf(in, i, ck, static_cast<uint32_t>(y + p->siRowOffset),
                                 static_cast<uint32_t>(p->siColOffset)) * es,
                   static_cast<uint32_t>(p->siWidth) * lanes * es);
        }
  } else {
    r = FRNN_ERR_UNSUPPORTED;
  }
  if (r != FRNN_OK) {
    FrnnTensorDestroy(&out, pool);
    return r;
  }
  *ppstOut = out;
  return FRNN_OK;
}

uint32_t FrnnCropToBoundingBox(const FrnnTensor* in, FrnnTensor** ppstOut, int32_t rowOffset, int32_t colOffset,
                               int32_t height, int32_t width, void* pool) {
  if (in == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  const FrnnCropParam p = FrnnCropToBoundingInit(rowOffset, colOffset, height, width);
  return FrnnTensorCropToBoundingBox(&p, in, ppstOut, pool);
}

FrnnMatMulParam FrnnMatMulInit(const FrnnWeightReader* r) {
  if (r == nullptr) return FrnnMatMulParam{};
  return FrnnMatMulParam{r->uiKind, r->uiFracBits, r->uiLayoutChoice};
}

uint32_t FrnnMatMulForwardInt(const FrnnMatMulParam* p, const FrnnTensor* a, const FrnnTensor* b, FrnnTensor** ppstOut,
                              void* pool) {
  if (p == nullptr || a == nullptr || b == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  if (a->uiLayout != b->uiLayout || a->uiW != b->uiH) return FRNN_ERR_ARG;
  FrnnTensor* out = FrnnTensorCreate3D(a->uiN, b->uiW, a->uiH, std::max(a->uiC, b->uiC), a->uiElemSize, a->uiLayout,
                                       p->uiKind, pool);
  if (out == nullptr) return FRNN_ERR_NOMEM;
  uint32_t r = FRNN_OK;
  if (p->uiKind >= 6) {
    r = FRNN_ERR_ARG;
  } else if (p->uiKind != FRNN_KIND_F32 && p->uiKind != FRNN_KIND_F16) {
    r = FRNN_ERR_UNSUPPORTED;
  } else if (a->uiLayout != FRNN_LAYOUT_NCHW) {
    r = FRNN_ERR_STEP;
  } else if (a->uiKind != p->uiKind || b->uiKind != p->uiKind) {
    r = FRNN_ERR_UNSUPPORTED;
  } else {
    const uint32_t J = a->uiW;
    for (uint32_t i = 0; i < out->uiN; ++i)
      for (uint32_t k = 0; k < out->uiC; ++k) {
        const uint32_t ai = std::min(i, a->uiN - 1), ak = std::min(k, a->uiC - 1);
        const uint32_t bi = std::min(i, b->uiN - 1), bk = std::min(k, b->uiC - 1);
        if (p->uiKind == FRNN_KIND_F16) {
          // Row by row: every element still adds its terms in order, one rounding per term,
          // so a whole output row takes each term at once.
          const bool bVector = FrnnHasHalfVector();
          for (uint32_t y = 0; y < a->uiH; ++y) {
            uint16_t* row = &At<uint16_t>(out, i, k, y, 0);
            for (uint32_t x = 0; x < b->uiW; ++x) row[x] = kHalfZero;
            for (uint32_t j = 0; j < J; ++j) {
              FrnnHalfTapRow(row, &At<uint16_t>(b, bi, bk, j, 0), At<uint16_t>(a, ai, ak, y, j), b->uiW, bVector);
            }
          }
          continue;
        }
        for (uint32_t y = 0; y < a->uiH; ++y)
          for (uint32_t x = 0; x < b->uiW; ++x) {
            if (p->uiKind == FRNN_KIND_F16) {
              uint16_t acc = kHalfZero;
              for (uint32_t j = 0; j < J; ++j) acc = HalfFma(acc, At<uint16_t>(a, ai, ak, y, j), At<uint16_t>(b, bi, bk, j, x));
              At<uint16_t>(out, i, k, y, x) = acc;
            } else {
              float acc = 0.0f;
              for (uint32_t j = 0; j < J; ++j) acc = std::fma(At<float>(a, ai, ak, y, j), At<float>(b, bi, bk, j, x), acc);
              At<float>(out, i, k, y, x) = acc;
            }
          }
      }
  }
  if (r != FRNN_OK) {
    FrnnTensorDestroy(&out, pool);
    return r;
  }
  *ppstOut = out;
  return FRNN_OK;
}

uint32_t FrnnMatMul(const FrnnTensor* a, const FrnnTensor* b, FrnnTensor** ppstOut, const FrnnWeightReader* r,
                    void* pool) {
  if (ppstOut == nullptr || b == nullptr || a == nullptr || r == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  const FrnnMatMulParam p = FrnnMatMulInit(r);
  return FrnnMatMulForwardInt(&p, a, b, ppstOut, pool);
}
