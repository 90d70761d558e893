// Padding layer: every channel plane grows by rows above and below and columns left and
// right, filled by constant, symmetric, reflect or edge rule. One plane padder serves
// every element kind and layout; the routines differ only in the unit they move (one
// element, or one pixel of a channel block).
#include "frnn_internal.h"
#include "tsa_memory.h"

namespace {

struct Pix16 {
  uint8_t aub[16];
};

constexpr int32_t kModeConstant = 0;
constexpr int32_t kModeSymmetric = 1;
constexpr int32_t kModeReflect = 2;
constexpr int32_t kModeEdge = 3;

// Checks that the mode is known and that a mirror never reaches outside the plane.
uint32_t CheckPad(int32_t H, int32_t W, int32_t top, int32_t bottom, int32_t left, int32_t right, int32_t mode) {
  if (mode < kModeConstant || mode > kModeEdge) return FRNN_ERR_ARG;
  if (top < 0 || bottom < 0 || left < 0 || right < 0) return FRNN_ERR_PARAM;
  if (mode == kModeSymmetric && (top > H || bottom > H || left > W || right > W)) return FRNN_ERR_PARAM;
  if (mode == kModeReflect && (top >= H || bottom >= H || left >= W || right >= W)) return FRNN_ERR_PARAM;
  return FRNN_OK;
}

template <typename U>
void Copy(U* dst, const U* src, size_t count) {
  FrMemcpy(dst, src, static_cast<uint32_t>(count * sizeof(U)));
}

// Pads one plane (rows of units at the given strides) into another.
template <typename U>
void PadPlane(const U* in, size_t inRS, U* out, size_t outRS, int32_t H, int32_t W, int32_t top, int32_t bottom,
              int32_t left, int32_t right, int32_t mode, const U& fill) {
  const int32_t outW = left + W + right;
  const int32_t outH = top + H + bottom;
  auto row = [&](int32_t y) { return out + static_cast<size_t>(y) * outRS; };
  if (mode == kModeConstant) {
    for (int32_t y = 0; y < outH; ++y) {
      U* r = row(y);
      if (y < top || y >= top + H) {
        for (int32_t x = 0; x < outW; ++x) r[x] = fill;
        continue;
      }
      // An inner row: its pads on either side, and the input row between them.
      for (int32_t x = 0; x < left; ++x) r[x] = fill;
      for (int32_t x = left + W; x < outW; ++x) r[x] = fill;
      std::memcpy(r + left, in + static_cast<size_t>(y - top) * inRS, static_cast<size_t>(W) * sizeof(U));
    }
    return;
  }
  if (mode == kModeEdge) {
    for (int32_t y = 0; y < outH; ++y) {
      int32_t sy = y - top;
      sy = sy < 0 ? 0 : (sy >= H ? H - 1 : sy);
      const U* s = in + static_cast<size_t>(sy) * inRS;
      U* r = row(y);
      for (int32_t x = 0; x < left; ++x) r[x] = s[0];
      Copy(r + left, s, static_cast<size_t>(W));
      for (int32_t x = 0; x < right; ++x) r[left + W + x] = s[W - 1];
    }
    return;
  }
  const int32_t shift = mode == kModeReflect ? 1 : 0;
  for (int32_t y = 0; y < H; ++y) Copy(row(top + y) + left, in + static_cast<size_t>(y) * inRS, static_cast<size_t>(W));
  for (int32_t i = 0; i < top; ++i) Copy(row(top - 1 - i) + left, row(top + i + shift) + left, static_cast<size_t>(W));
  for (int32_t i = 0; i < bottom; ++i) {
    Copy(row(top + H + i) + left, row(top + H - 1 - i - shift) + left, static_cast<size_t>(W));
  }
  for (int32_t y = 0; y < outH; ++y) {
    U* r = row(y);
    for (int32_t j = 0; j < left; ++j) r[left - 1 - j] = r[left + j + shift];
    for (int32_t j = 0; j < right; ++j) r[left + W + j] = r[left + W - 1 - j - shift];
  }
}

// NCHW: plane by plane, one element per unit.
template <typename U>
uint32_t PadNchw(const FrnnTensor* in, FrnnTensor* out, int32_t top, int32_t bottom, int32_t left, int32_t right,
                 int32_t mode, U fill, bool bZeroRowPad) {
  const int32_t H = static_cast<int32_t>(in->uiH);
  const int32_t W = static_cast<int32_t>(in->uiW);
  const uint32_t r = CheckPad(H, W, top, bottom, left, right, mode);
  if (r != FRNN_OK) return r;
  for (uint32_t i = 0; i < in->uiN; ++i) {
    const FrnnTensor si = FrnnTensorImage(in, i);
    const FrnnTensor so = FrnnTensorImage(out, i);
    for (uint32_t k = 0; k < in->uiC; ++k) {
      const FrnnTensor ci = FrnnTensorChannel(&si, k);
      const FrnnTensor co = FrnnTensorChannel(&so, k);
      U* po = static_cast<U*>(co.pvData);
      PadPlane(static_cast<const U*>(ci.pvData), in->uiRowStride, po, out->uiRowStride, H, W, top, bottom, left,
               right, mode, fill);
      if (bZeroRowPad) {
        for (uint32_t y = 0; y < out->uiH; ++y) {
          for (uint32_t x = out->uiW; x < out->uiRowStride; ++x) po[static_cast<size_t>(y) * out->uiRowStride + x] = U{};
        }
      }
    }
  }
  return FRNN_OK;
}

// Blocked layouts: one 16-byte pixel of a channel block per unit.
uint32_t PadBlocked(const FrnnTensor* in, FrnnTensor* out, int32_t top, int32_t bottom, int32_t left, int32_t right,
                    int32_t mode, const Pix16& fill, uint32_t uiBlock) {
  const int32_t H = static_cast<int32_t>(in->uiH);
  const int32_t W = static_cast<int32_t>(in->uiW);
  const uint32_t r = CheckPad(H, W, top, bottom, left, right, mode);
  if (r != FRNN_OK) return r;
  for (uint32_t i = 0; i < in->uiN; ++i) {
    const FrnnTensor si = FrnnTensorImage(in, i);
    const FrnnTensor so = FrnnTensorImage(out, i);
    for (uint32_t k = 0; k < in->uiC; k += uiBlock) {
      const FrnnTensor ci = FrnnTensorChannel(&si, k);
      const FrnnTensor co = FrnnTensorChannel(&so, k);
      PadPlane(static_cast<const Pix16*>(ci.pvData), in->uiW, static_cast<Pix16*>(co.pvData), out->uiW, H, W, top,
               bottom, left, right, mode, fill);
    }
  }
  return FRNN_OK;
}

template <typename T>
Pix16 Lanes(T v) {
  Pix16 p;
  for (size_t j = 0; j < 16 / sizeof(T); ++j) memcpy(p.aub + j * sizeof(T), &v, sizeof(T));
  return p;
}

void TakeOverTags(FrnnTensor* out, const FrnnTensor* in) {
  out->uiParamMode = in->uiParamMode;
  out->siTag1 = in->siTag1;
  out->siTag2 = in->siTag2;
}

}  // namespace

uint32_t PadNchwF32(const FrnnTensor* in, FrnnTensor* out, int32_t top, int32_t bottom, int32_t left, int32_t right,
                    int32_t mode, uint32_t value) {
  return PadNchw<float>(in, out, top, bottom, left, right, mode, BitsToFloat(value), false);
}

uint32_t PadNc4hw4F32(const FrnnTensor* in, FrnnTensor* out, int32_t top, int32_t bottom, int32_t left,
                      int32_t right, int32_t mode, uint32_t value) {
  return PadBlocked(in, out, top, bottom, left, right, mode, Lanes<uint32_t>(value), 4);
}

uint32_t PadNc8hw8F16(const FrnnTensor* in, FrnnTensor* out, int32_t top, int32_t bottom, int32_t left,
                      int32_t right, int32_t mode, uint32_t value) {
  return PadBlocked(in, out, top, bottom, left, right, mode, Lanes<uint16_t>(static_cast<uint16_t>(value)), 8);
}

uint32_t PadChwnF16(const FrnnTensor* in, FrnnTensor* out, int32_t top, int32_t bottom, int32_t left, int32_t right,
                    int32_t mode, uint32_t value) {
  if (mode < kModeConstant || mode > kModeEdge) return FRNN_ERR_ARG;
  if (mode != kModeConstant) return FRNN_ERR_UNSUPPORTED;
  const int32_t n = static_cast<int32_t>(in->uiN);
  const uint32_t r = CheckPad(static_cast<int32_t>(in->uiH), static_cast<int32_t>(in->uiW) * n, top, bottom,
                              left * n, right * n, mode);
  if (r != FRNN_OK) return r;
  const uint16_t fill = static_cast<uint16_t>(value);
  for (uint32_t k = 0; k < in->uiC; ++k) {
    const auto* pi = static_cast<const uint16_t*>(in->pvData) + static_cast<size_t>(k) * in->uiPlane * in->uiN;
    auto* po = static_cast<uint16_t*>(out->pvData) + static_cast<size_t>(k) * out->uiPlane * out->uiN;
    PadPlane(pi, static_cast<size_t>(in->uiRowStride) * in->uiN, po, static_cast<size_t>(out->uiRowStride) * out->uiN,
             static_cast<int32_t>(in->uiH), static_cast<int32_t>(in->uiW) * n, top, bottom, left * n, right * n,
             mode, fill);
  }
  return FRNN_OK;
}

uint32_t PadNchwF16(const FrnnTensor* in, FrnnTensor* out, int32_t top, int32_t bottom, int32_t left, int32_t right,
                    int32_t mode, uint32_t value) {
  return PadNchw<uint16_t>(in, out, top, bottom, left, right, mode, static_cast<uint16_t>(value), true);
}

FrnnPaddingParam FrnnPaddingInit(int32_t left, int32_t right, int32_t top, int32_t bottom, int32_t mode,
                                 const FrnnWeightReader* pstReader, float value) {
  FrnnPaddingParam p{left, right, top, bottom, static_cast<uint32_t>(mode), 0};
  const uint32_t kind = pstReader != nullptr ? pstReader->uiKind : FRNN_KIND_F16;
  if (kind == FRNN_KIND_F16) {
    p.uiValue = SingleToHalfOnce(value);
  } else if (kind == FRNN_KIND_F32) {
    p.uiValue = FloatToBits(value);
  } else {
    p.uiValue = static_cast<uint32_t>(static_cast<int32_t>(value));
  }
  return p;
}

uint32_t FrnnPadding(const FrnnTensor* pstIn, FrnnTensor** ppstOut, const FrnnPaddingParam* pstParam,
                     const FrnnWeightReader* pstReader, void* pool) {
  if (ppstOut == nullptr || pstIn == nullptr || pstReader == nullptr || pstParam == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  FrnnPaddingParam p = *pstParam;
  if (pstReader->uiKind == FRNN_KIND_F16) {
    p.uiValue &= 0xFFFFu;
  } else if (pstReader->uiKind != FRNN_KIND_F32) {
    p.uiValue = static_cast<uint32_t>(static_cast<int32_t>(static_cast<float>(static_cast<int32_t>(p.uiValue))));
  }
  return FrnnPaddingForwardInt(&p, pstIn, ppstOut, pool);
}

uint32_t FrnnPaddingForwardInt(const FrnnPaddingParam* p, const FrnnTensor* in, FrnnTensor** ppstOut, void* pool) {
  if (p == nullptr || in == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  if (p->siLeft == 0 && p->siRight == 0 && p->siTop == 0 && p->siBottom == 0) {
    FrnnTensor* c = FrnnTensorClone(in, pool);
    if (c == nullptr) return FRNN_ERR_STEP;
    TakeOverTags(c, in);
    *ppstOut = c;
    return FRNN_OK;
  }
  if (p->siLeft < 0 || p->siRight < 0 || p->siTop < 0 || p->siBottom < 0) return FRNN_ERR_PARAM;
  const int64_t llW = static_cast<int64_t>(in->uiW) + p->siLeft + p->siRight;
  const int64_t llH = static_cast<int64_t>(in->uiH) + p->siTop + p->siBottom;
  if (llW > 0xFFFF || llH > 0xFFFF) return FRNN_ERR_ARG;
  FrnnTensor* out = FrnnTensorCreate3D(in->uiN, static_cast<uint32_t>(llW), static_cast<uint32_t>(llH), in->uiC,
                                       in->uiElemSize, in->uiLayout, in->uiKind, pool);
  if (out == nullptr) return FRNN_ERR_NOMEM;
  uint32_t r;
  const int32_t mode = static_cast<int32_t>(p->uiMode);
  if (in->uiKind > FRNN_KIND_F16) {
    r = FRNN_ERR_ARG;
  } else if (in->uiKind == FRNN_KIND_F16) {
    if (in->uiElemSize != 2) {
      r = FRNN_ERR_PARAM;
    } else if (in->uiLayout == FRNN_LAYOUT_NCHW) {
      r = PadNchwF16(in, out, p->siTop, p->siBottom, p->siLeft, p->siRight, mode, p->uiValue);
    } else if (in->uiLayout == FRNN_LAYOUT_CHWN) {
      r = PadChwnF16(in, out, p->siTop, p->siBottom, p->siLeft, p->siRight, mode, p->uiValue);
    } else if (in->uiLayout == FRNN_LAYOUT_NC8HW8) {
      r = PadNc8hw8F16(in, out, p->siTop, p->siBottom, p->siLeft, p->siRight, mode, p->uiValue);
    } else {
      r = FRNN_ERR_STEP;
    }
  } else if (in->uiKind == FRNN_KIND_F32) {
    if (in->uiElemSize != 4) {
      r = FRNN_ERR_PARAM;
    } else if (in->uiLayout == FRNN_LAYOUT_NC4HW4) {
      r = PadNc4hw4F32(in, out, p->siTop, p->siBottom, p->siLeft, p->siRight, mode, p->uiValue);
    } else if (in->uiLayout == FRNN_LAYOUT_NCHW) {
      r = PadNchwF32(in, out, p->siTop, p->siBottom, p->siLeft, p->siRight, mode, p->uiValue);
    } else {
      r = FRNN_ERR_STEP;
    }
  } else {
    r = FRNN_ERR_UNSUPPORTED;
  }
  if (r != FRNN_OK) {
    FrnnTensorDestroy(&out, pool);
    return r;
  }
  TakeOverTags(out, in);
  *ppstOut = out;
  return FRNN_OK;
}
