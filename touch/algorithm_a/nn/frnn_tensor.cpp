// Tensor records: pool tensors (elements then header in one pool block), value tensors
// over memory they do not own, views of one image or one channel, and the weight-stream
// reader that hands out value tensors over the network's weight blob.
#include <cstring>

#include "frnn_internal.h"
#include "tsa_memory.h"

namespace {

bool IsQuantKind(uint32_t kind) { return (kind & ~2u) == 1u; }

FrnnTensor* HeaderAt(uint8_t* pubBlock, uint32_t uiDataBytes) {
  return reinterpret_cast<FrnnTensor*>(pubBlock + uiDataBytes);
}

FrnnTensor* CreateImpl(uint32_t n, uint32_t w, uint32_t h, uint32_t c, uint32_t dims, uint32_t elemSize,
                       uint32_t layout, uint32_t kind, void* pool, bool bPadded) {
  uint32_t uiRowStride = w;
  if (bPadded && layout == FRNN_LAYOUT_NCHW && kind == FRNN_KIND_F16 && (elemSize == 2 || elemSize == 4)) {
    uiRowStride = RoundUp(w, 8);
  }
  uint64_t ulPlane;
  if (dims == 1) {
    ulPlane = uiRowStride;
  } else if (dims == 2 || dims == 3) {
    ulPlane = static_cast<uint64_t>(uiRowStride) * h;
  } else {
    return nullptr;
  }
  uint64_t ulSizedC = c;
  if (bPadded && layout == FRNN_LAYOUT_NC4HW4) {
    ulPlane = static_cast<uint64_t>(h) * w;
    ulSizedC = RoundUp(c, 4);
  } else if (bPadded && layout == FRNN_LAYOUT_NC8HW8) {
    ulPlane = static_cast<uint64_t>(h) * w;
    ulSizedC = RoundUp(c, 8);
  }
  const uint64_t ulCount = ulPlane * n * ulSizedC;
  if (ulCount < 1 || ulCount > 0x7FFFFFFFu) return nullptr;
  uint64_t ulBytes = (ulCount * elemSize + 15) & ~uint64_t{15};
  if (IsQuantKind(kind)) ulBytes += 8;
  if (ulBytes + kFrnnTensorHeaderBytes > 0x7FFFFFFFu) return nullptr;
  auto* pubBlock = static_cast<uint8_t*>(
      NnPoolAlloc(pool, static_cast<int32_t>(ulBytes + kFrnnTensorHeaderBytes), "FrnnTensorCreate", 91));
  if (pubBlock == nullptr) return nullptr;
  FrnnTensor* t = HeaderAt(pubBlock, static_cast<uint32_t>(ulBytes));
  *t = FrnnTensor{};
  t->uiN = n;
  t->uiH = h;
  t->uiW = w;
  t->uiC = c;
  t->uiParamMode = c;
  t->uiDims = dims;
  t->uiElemSize = elemSize;
  t->uiRowStride = uiRowStride;
  t->uiPlane = static_cast<uint32_t>(ulPlane);
  t->uiKind = kind;
  t->siTag1 = -1;
  t->siTag2 = -1;
  t->uiLayout = layout;
  t->pvData = pubBlock;
  if (!bPadded && IsQuantKind(kind)) {
    const uint64_t ulElemBytes = (ulCount * elemSize + 15) & ~uint64_t{15};
    t->pvQuant1 = pubBlock + ulElemBytes;
    t->pvQuant2 = pubBlock + ulElemBytes + 4;
  }
  return t;
}

}  // namespace

uint32_t AlignUp(uint32_t x, uint32_t a) { return (x + a - 1u) & (0u - a); }

FrnnTensor* FrnnTensorCreate(uint32_t n, uint32_t w, uint32_t h, uint32_t c, uint32_t dims, uint32_t elemSize,
                             uint32_t layout, uint32_t kind, void* pool) {
  return CreateImpl(n, w, h, c, dims, elemSize, layout, kind, pool, true);
}
FrnnTensor* FrnnTensorCreate3D(uint32_t n, uint32_t w, uint32_t h, uint32_t c, uint32_t elemSize, uint32_t layout,
                               uint32_t kind, void* pool) {
  return FrnnTensorCreate(n, w, h, c, 3, elemSize, layout, kind, pool);
}
FrnnTensor* FrnnTensorCreate2D(uint32_t n, uint32_t w, uint32_t h, uint32_t elemSize, uint32_t layout, uint32_t kind,
                               void* pool) {
  return FrnnTensorCreate(n, w, h, 1, 2, elemSize, layout, kind, pool);
}
FrnnTensor* FrnnTensorCreate1D(uint32_t n, uint32_t w, uint32_t elemSize, uint32_t layout, uint32_t kind, void* pool) {
  return FrnnTensorCreate(n, w, 1, 1, 1, elemSize, layout, kind, pool);
}
FrnnTensor* TensorCreateUnpadded(uint32_t n, uint32_t w, uint32_t h, uint32_t c, uint32_t dims, uint32_t elemSize,
                                 uint32_t layout, uint32_t kind, void* pool) {
  return CreateImpl(n, w, h, c, dims, elemSize, layout, kind, pool, false);
}
FrnnTensor* TensorCreateUnpadded3D(uint32_t n, uint32_t w, uint32_t h, uint32_t c, uint32_t elemSize,
                                   uint32_t layout, uint32_t kind, void* pool) {
  return TensorCreateUnpadded(n, w, h, c, 3, elemSize, layout, kind, pool);
}

FrnnTensor* FrnnQuanTensorCreate(uint32_t n, uint32_t w, uint32_t h, uint32_t c, uint32_t elemSize,
                                 uint32_t paramMode, uint32_t layout, uint32_t kind, void* pool) {
  if (kind < 1 || kind > 4) return nullptr;
  const uint64_t ulC = layout == FRNN_LAYOUT_NC4HW4 ? RoundUp(c, 4) : c;
  const uint64_t ulElemBytes = ((static_cast<uint64_t>(h) * w * n * ulC + 3) & ~uint64_t{3}) * elemSize;
  const uint64_t ulParamBytes = paramMode < 2 ? 8 : 8ull * c;
  const uint64_t ulTotal = ulElemBytes + ulParamBytes;
  if (ulTotal < 1 || ulTotal > 0x7FFF0000u) return nullptr;
  const uint64_t ulBlock = (ulTotal + 15) & ~uint64_t{15};
  auto* pubBlock = static_cast<uint8_t*>(
      NnPoolAlloc(pool, static_cast<int32_t>(ulBlock + kFrnnTensorHeaderBytes), "FrnnQuanTensorCreate", 526));
  if (pubBlock == nullptr) return nullptr;
  FrnnTensor* t = HeaderAt(pubBlock, static_cast<uint32_t>(ulBlock));
  *t = FrnnTensor{};
  t->uiN = n;
  t->uiH = h;
  t->uiW = w;
  t->uiC = c;
  t->uiParamMode = paramMode;
  t->uiDims = 3;
  t->uiElemSize = elemSize;
  t->uiRowStride = w;
  t->uiPlane = h * w;
  t->uiKind = kind;
  t->siTag1 = -1;
  t->siTag2 = -1;
  t->uiLayout = layout;
  t->pvData = pubBlock;
  t->pvQuantParam = pubBlock + ulElemBytes;
  return t;
}

FrnnTensor* FrnnTensorClone(const FrnnTensor* src, void* pool) {
  if (src == nullptr || src->pvData == nullptr) return nullptr;
  if (src->uiKind == FRNN_KIND_QT) {
    FrnnTensor* t = FrnnQuanTensorCreate(src->uiN, src->uiW, src->uiH, src->uiC, src->uiElemSize, src->uiParamMode,
                                         src->uiLayout, src->uiKind, pool);
    if (t == nullptr) return nullptr;
    t->siTag1 = src->siTag1;
    const uint64_t ulBytes = static_cast<uint64_t>(src->uiN) * src->uiC * src->uiH * src->uiW * src->uiElemSize;
    FrMemcpy(t->pvData, src->pvData, static_cast<uint32_t>(ulBytes));
    if (src->pvQuantParam != nullptr) {
      const uint32_t uiSets = src->uiParamMode < 2 ? 1 : src->uiC;
      FrMemcpy(t->pvQuantParam, src->pvQuantParam, uiSets * 8);
    }
    return t;
  }
  FrnnTensor* t = FrnnTensorCreate(src->uiN, src->uiW, src->uiH, src->uiC, src->uiDims, src->uiElemSize,
                                   src->uiLayout, src->uiKind, pool);
  if (t == nullptr) return nullptr;
  t->siTag1 = src->siTag1;
  const uint32_t es = src->uiElemSize;
  if (src->uiLayout == FRNN_LAYOUT_CHWN) {
    FrMemcpy(t->pvData, src->pvData, src->uiC * src->uiN * src->uiH * src->uiW * es);
    return t;
  }
  if (src->uiLayout == FRNN_LAYOUT_NC8HW8 || src->uiLayout == FRNN_LAYOUT_NC4HW4) {
    // Blocked: images are (rounded channels) x h x w values with no row padding.
    FrMemcpy(t->pvData, src->pvData, src->uiN * SizedChannels(src) * src->uiH * src->uiW * es);
    return t;
  }
  const uint32_t uiRows = src->uiDims == 1 ? 1 : src->uiH;
  auto* pubDst = static_cast<uint8_t*>(t->pvData);
  const auto* pubSrc = static_cast<const uint8_t*>(src->pvData);
  for (uint32_t i = 0; i < src->uiN; ++i) {
    for (uint32_t k = 0; k < src->uiC; ++k) {
      const size_t szSrcPlane = (static_cast<size_t>(i) * src->uiC + k) * src->uiPlane;
      const size_t szDstPlane = (static_cast<size_t>(i) * t->uiC + k) * t->uiPlane;
      for (uint32_t y = 0; y < uiRows; ++y) {
        FrMemcpy(pubDst + (szDstPlane + static_cast<size_t>(y) * t->uiRowStride) * es,
                 pubSrc + (szSrcPlane + static_cast<size_t>(y) * src->uiRowStride) * es, src->uiW * es);
      }
    }
  }
  return t;
}

FrnnTensor FrnnTensor3D(uint32_t n, uint32_t w, uint32_t rowStride, uint32_t h, uint32_t c, uint32_t elemSize,
                        uint32_t layout, uint32_t kind, void* data) {
  FrnnTensor t{};
  t.uiN = n;
  t.uiW = w;
  t.uiRowStride = rowStride;
  t.uiH = h;
  t.uiC = c;
  t.uiDims = 3;
  t.uiElemSize = elemSize;
  t.uiPlane = h * rowStride;
  t.uiLayout = layout;
  t.uiKind = kind;
  t.pvData = data;
  return t;
}

uint32_t FrnnTensor3DPtr(uint32_t n, uint32_t w, uint32_t rowStride, uint32_t h, uint32_t c, uint32_t elemSize,
                         uint32_t layout, uint32_t kind, void* data, FrnnTensor* pstOut) {
  if (pstOut == nullptr) return FRNN_ERR_NULL;
  pstOut->uiN = n;
  pstOut->uiH = h;
  pstOut->uiW = w;
  pstOut->uiC = c;
  pstOut->uiDims = 3;
  pstOut->uiElemSize = elemSize;
  pstOut->uiRowStride = rowStride;
  pstOut->uiPlane = h * rowStride;
  pstOut->uiKind = kind;
  pstOut->uiLayout = layout;
  pstOut->pvData = data;
  return FRNN_OK;
}

FrnnTensor FrnnTensor2D(uint32_t n, uint32_t w, uint32_t rowStride, uint32_t h, uint32_t elemSize, uint32_t layout,
                        uint32_t kind, void* data) {
  FrnnTensor t = FrnnTensor3D(n, w, rowStride, h, 1, elemSize, layout, kind, data);
  t.uiDims = 2;
  return t;
}

FrnnTensor FrnnTensor1D(uint32_t n, uint32_t w, uint32_t rowStride, uint32_t elemSize, uint32_t layout,
                        uint32_t flagA, uint32_t flagB, uint32_t kind, void* data) {
  FrnnTensor t{};
  t.uiN = n;
  t.uiW = w;
  t.uiH = 1;
  t.uiC = 1;
  t.uiDims = 1;
  t.uiElemSize = elemSize;
  t.uiRowStride = rowStride;
  t.uiPlane = rowStride;
  t.uiLayout = layout;
  t.uiKind = kind;
  t.pvData = data;
  if ((flagA != 0 || flagB != 0) && IsQuantKind(kind) && data != nullptr) {
    t.pvQuantParam = static_cast<uint8_t*>(data) + AlignUp(rowStride * n * elemSize, 4);
  }
  return t;
}

FrnnTensor FrnnQuanTensor3D(uint32_t n, uint32_t w, uint32_t h, uint32_t c, uint32_t elemSize, uint32_t paramMode,
                            uint32_t layout, uint32_t kind, void* data) {
  FrnnTensor t = FrnnTensor3D(n, w, w, h, c, elemSize, layout, kind, data);
  t.uiParamMode = paramMode;
  if (data != nullptr) t.pvQuantParam = static_cast<uint8_t*>(data) + AlignUp(c * n * h * w * elemSize, 4);
  return t;
}

FrnnTensor FrnnEmptyTensor() { return FrnnTensor{}; }

FrnnTensor FrnnTensorImage(const FrnnTensor* t, uint32_t i) {
  if (t == nullptr) return FrnnEmptyTensor();
  FrnnTensor v = *t;
  v.uiN = 1;
  v.siTag2 = 0;
  v.pvQuant1 = nullptr;
  v.pvQuant2 = nullptr;
  v.pvQuantParam = t->uiKind == FRNN_KIND_QT ? t->pvQuantParam : nullptr;
  if (t->pvData != nullptr) {
    v.pvData = static_cast<uint8_t*>(t->pvData) +
               static_cast<size_t>(i) * t->uiElemSize * t->uiPlane * SizedChannels(t);
  }
  return v;
}

FrnnTensor FrnnTensorChannel(const FrnnTensor* t, uint32_t k) {
  if (t == nullptr || t->uiLayout == FRNN_LAYOUT_NHWC || t->uiLayout > FRNN_LAYOUT_NC4HW4) return FrnnEmptyTensor();
  FrnnTensor v = *t;
  v.uiC = 1;
  v.siTag2 = 0;
  v.uiPlane = t->uiRowStride * t->uiH;
  size_t szOffset = static_cast<size_t>(t->uiElemSize) * k * t->uiPlane;
  switch (t->uiLayout) {
    case FRNN_LAYOUT_NCHW:
      v.uiDims = 2;
      v.uiN = 1;
      break;
    case FRNN_LAYOUT_NC8HW8:
    case FRNN_LAYOUT_NC4HW4: {
      const uint32_t uiBlock = t->uiLayout == FRNN_LAYOUT_NC8HW8 ? 8 : 4;
      if (k % uiBlock != 0) return FrnnEmptyTensor();
      v.uiN = 1;
      v.uiC = uiBlock;
      v.uiPlane = t->uiPlane;
      break;
    }
    case FRNN_LAYOUT_CHWN:
      szOffset *= t->uiN;
      break;
    default:
      break;
  }
  if (t->pvData != nullptr) v.pvData = static_cast<uint8_t*>(t->pvData) + szOffset;
  if (IsQuantKind(t->uiKind)) {
    if ((t->uiParamMode == 2 || t->uiParamMode == 3) && t->pvQuantParam != nullptr) {
      v.pvQuantParam = static_cast<uint8_t*>(t->pvQuantParam) + 32ull * k;
    }
  } else {
    v.pvQuant1 = v.pvQuant2 = v.pvQuantParam = nullptr;
  }
  return v;
}

uint32_t FrnnIsEmptyTensor(const FrnnTensor* t) {
  if (t == nullptr) return 1;
  return (t->pvData == nullptr || static_cast<uint64_t>(t->uiC) * t->uiPlane * t->uiN == 0) ? 1 : 0;
}

uint32_t FrnnTensorSize(const FrnnTensor* t) { return t == nullptr ? 0 : t->uiC * t->uiPlane * t->uiN; }

int32_t* FrnnTensorRow32s(const FrnnTensor* t, uint32_t r) {
  if (t == nullptr || t->pvData == nullptr) return nullptr;
  return reinterpret_cast<int32_t*>(static_cast<uint8_t*>(t->pvData) + static_cast<size_t>(t->uiRowStride) * r * 4);
}

void FrnnTensorFill32s(FrnnTensor* t, int32_t value) {
  if (t == nullptr || t->pvData == nullptr) return;
  FrMemsetS32(static_cast<int32_t*>(t->pvData), value, FrnnTensorSize(t));
}

void FrnnTensorFill16f(FrnnTensor* t, uint16_t half) {
  if (t == nullptr || t->pvData == nullptr) return;
  const uint32_t c = t->uiLayout == FRNN_LAYOUT_NC8HW8 ? RoundUp(t->uiC, 8) : t->uiC;
  FrMemsetF16(static_cast<uint16_t*>(t->pvData), t->uiN * t->uiPlane * c, half);
}

void TensorFillF32(FrnnTensor* t, float value) {
  if (t == nullptr || t->pvData == nullptr) return;
  const uint32_t c = t->uiLayout == FRNN_LAYOUT_NC4HW4 ? RoundUp(t->uiC, 4) : t->uiC;
  FrMemsetF32(static_cast<float*>(t->pvData), t->uiN * t->uiPlane * c, value);
}

uint32_t FrnnTensorGetElement(const FrnnTensor* t, uint32_t i, uint32_t k, uint32_t y, uint32_t x, void* pvOut) {
  if (t == nullptr) return FRNN_ERR_NULL;
  if (i >= t->uiN || k >= t->uiC || y >= t->uiH || x >= t->uiW) return FRNN_ERR_ARG;
  if (pvOut == nullptr || t->pvData == nullptr) return FRNN_ERR_NULL;
  if (t->uiLayout == FRNN_LAYOUT_NHWC || t->uiLayout > FRNN_LAYOUT_NC4HW4) return FRNN_OK;
  if (IsQuantKind(t->uiKind) || t->uiKind > FRNN_KIND_F16) return FRNN_OK;
  size_t szIndex = 0;
  switch (t->uiLayout) {
    case FRNN_LAYOUT_NCHW:
      szIndex = (static_cast<size_t>(i) * t->uiC + k) * t->uiPlane + static_cast<size_t>(y) * t->uiRowStride + x;
      break;
    case FRNN_LAYOUT_CHWN:
      szIndex = (x + static_cast<size_t>(t->uiPlane) * k + static_cast<size_t>(t->uiRowStride) * y) * t->uiN + i;
      break;
    default: {
      const uint32_t b = t->uiLayout == FRNN_LAYOUT_NC8HW8 ? 8 : 4;
      szIndex = static_cast<size_t>(t->uiPlane) * (k / b * b + RoundUp(t->uiC, b) * static_cast<size_t>(i)) +
                (x + static_cast<size_t>(t->uiRowStride) * y) * b + k % b;
      break;
    }
  }
  if (t->uiElemSize == 2) {
    FrMemcpy(pvOut, static_cast<uint8_t*>(t->pvData) + szIndex * 2, 2);
  } else {
    FrMemcpy(pvOut, static_cast<uint8_t*>(t->pvData) + szIndex * 4, 4);
  }
  return FRNN_OK;
}

uint32_t FrnnTensorDestroy(FrnnTensor** ppstT, void* pool) {
  if (ppstT == nullptr || *ppstT == nullptr) return FRNN_ERR_NULL;
  NnPoolFree(pool, (*ppstT)->pvData);
  *ppstT = nullptr;
  return FRNN_OK;
}

uint32_t FrnnCplxTensorDestroy(FrnnTensor** ppstPair, void* pool) {
  if (ppstPair == nullptr) return FRNN_ERR_NULL;
  for (int j = 0; j < 2; ++j) {
    if (ppstPair[j] != nullptr) FrnnTensorDestroy(&ppstPair[j], pool);
  }
  return FRNN_OK;
}

// ---------------------------------------------------------------------------------------
// Weight stream.

void LoadWeight(FrnnTensor* pstOut, FrnnWeightReader* r, uint32_t count, uint32_t width, uint32_t quantFlag,
                int32_t perChannel, uint32_t mode, uint32_t kind) {
  if (pstOut == nullptr) return;
  *pstOut = FrnnEmptyTensor();
  if (r == nullptr || r->pubBase == nullptr || r->pubCursor == nullptr) return;
  // Everything read must lie inside the stream the reader was given.
  const uint8_t* pubEnd = r->pubBase + static_cast<size_t>(r->uiWordCount) * 4;
  if (r->pubCursor < r->pubBase || r->pubCursor > pubEnd) return;
  const uint64_t ulAvail = static_cast<uint64_t>(pubEnd - r->pubCursor);
  if (perChannel < 0) return;
  const uint64_t ulTail = 4ull * static_cast<uint32_t>(perChannel);
  const uint64_t ulData = static_cast<uint64_t>(count) * width;
  if (mode == 1) {
    const uint64_t ulStep = IsQuantKind(kind) ? (ulData + 3) & ~uint64_t{3} : ulData;
    if (ulStep + ulTail > ulAvail) return;
    *pstOut = FrnnTensor1D(1, count, count, width, FRNN_LAYOUT_NCHW, quantFlag, static_cast<uint32_t>(perChannel),
                           kind, const_cast<uint8_t*>(r->pubCursor));
    r->pubCursor += ulStep + ulTail;
    return;
  }
  if (mode != 0 || (width != 2 && width != 4)) return;
  if (width > ulAvail) return;
  uint32_t uiLead = 0;
  FrMemcpy(&uiLead, r->pubCursor, width);
  r->pubCursor += width;
  if (uiLead != 0) return;
  if (ulData + ulTail > ulAvail - width) return;
  *pstOut = FrnnTensor1D(1, count, count, width, FRNN_LAYOUT_NCHW, quantFlag, static_cast<uint32_t>(perChannel), kind,
                         const_cast<uint8_t*>(r->pubCursor));
  r->pubCursor += ulData + ulTail;
}
