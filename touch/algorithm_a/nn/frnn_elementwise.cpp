// Binary elementwise layers (add, subtract, multiply, divide) and the sum over one axis.
// Add and multiply broadcast by clamping every index to the input's last valid one.
#include "frnn_conv_kernels.h"
#include <type_traits>

#include "frnn_internal.h"

namespace {

uint16_t AddH(uint16_t a, uint16_t b);
uint16_t MulH(uint16_t a, uint16_t b);

// Half add and multiply over whole runs go through the 8-lane body where the processor has
// it (the same rounding per element); other operations return false.
template <typename Op>
bool HalfRun(uint16_t* o, const uint16_t* a, const uint16_t* b, size_t n, Op op) {
  if constexpr (std::is_same_v<Op, uint16_t (*)(uint16_t, uint16_t)>) {
    if (op != &AddH && op != &MulH) return false;
    FrnnHalfBinaryRow(o, a, b, n, op == &MulH, FrnnHasHalfVector());
    return true;
  } else {
    (void)o;
    (void)a;
    (void)b;
    (void)n;
    (void)op;
    return false;
  }
}

constexpr uint16_t kHalfDivFloor = 0x068E;  // the half stand-in for a zero divisor
constexpr float kDivFloor = 0.0001f;

struct Shape {
  uint32_t n, c, h, w;
};

Shape ShapeOf(const FrnnTensor* t) { return Shape{t->uiN, t->uiC, t->uiH, t->uiW}; }
bool SameShape(const FrnnTensor* t, const Shape& s) {
  return t->uiN == s.n && t->uiC == s.c && t->uiH == s.h && t->uiW == s.w;
}
uint32_t Max(uint32_t a, uint32_t b) { return a > b ? a : b; }
uint32_t Clamp(uint32_t i, uint32_t n) { return i < n ? i : n - 1; }
size_t ElemCount(const FrnnTensor* t) { return static_cast<size_t>(t->uiN) * t->uiC * t->uiH * t->uiW; }

// Generic broadcast: out = op(A[clamped], B[clamped]) over the output's real elements,
// every index (the batch index too) clamped to the input's last valid one.
template <typename T, typename Op>
void Broadcast(const FrnnTensor* a, const FrnnTensor* b, FrnnTensor* o, Op op) {
  for (uint32_t i = 0; i < o->uiN; ++i)
    for (uint32_t k = 0; k < o->uiC; ++k)
      for (uint32_t y = 0; y < o->uiH; ++y)
        for (uint32_t x = 0; x < o->uiW; ++x) {
          const T va = Elems<const T>(a)[IndexOf(a, Clamp(i, a->uiN), Clamp(k, a->uiC), Clamp(y, a->uiH), Clamp(x, a->uiW))];
          const T vb = Elems<const T>(b)[IndexOf(b, Clamp(i, b->uiN), Clamp(k, b->uiC), Clamp(y, b->uiH), Clamp(x, b->uiW))];
          Elems<T>(o)[IndexOf(o, i, k, y, x)] = op(va, vb);
        }
}

// Equal shapes and layouts: one flat run per image over its (sized) channels x plane.
template <typename T, typename Op>
void Flat(const FrnnTensor* a, const FrnnTensor* b, FrnnTensor* o, Op op) {
  const size_t per = static_cast<size_t>(SizedChannels(a)) * a->uiPlane;
  const T* pa = Elems<const T>(a);
  const T* pb = Elems<const T>(b);
  T* po = Elems<T>(o);
  if constexpr (sizeof(T) == 2) {
    if (HalfRun(po, pa, pb, per * o->uiN, op)) return;
  }
  for (size_t j = 0; j < per * o->uiN; ++j) po[j] = op(pa[j], pb[j]);
}

// Every element of A with B's single value.
template <typename T, typename Op>
void Scalar(const FrnnTensor* a, const FrnnTensor* b, FrnnTensor* o, Op op) {
  const size_t per = static_cast<size_t>(SizedChannels(a)) * a->uiPlane;
  const T vb = Elems<const T>(b)[0];
  for (size_t j = 0; j < per * o->uiN; ++j) Elems<T>(o)[j] = op(Elems<const T>(a)[j], vb);
}

bool OneElement(const FrnnTensor* t) { return ElemCount(t) == 1; }

bool Compatible(const FrnnTensor* a, const FrnnTensor* b) {
  return a->uiRowStride == b->uiRowStride && a->uiPlane == b->uiPlane && a->uiC == b->uiC && a->uiH == b->uiH &&
         a->uiW == b->uiW;
}

// Runs op over (A, B) into o: a fast flat path for equal shapes or a scalar B, else the
// generic broadcast for NCHW; returns 11 when no path handles the layout.
template <typename T, typename Op>
uint32_t Compute(const FrnnTensor* a, const FrnnTensor* b, FrnnTensor* o, Op op) {
  if (a->uiLayout == b->uiLayout && o->uiLayout == a->uiLayout && a->uiN == o->uiN && b->uiN == o->uiN &&
      Compatible(a, b) && Compatible(a, o)) {
    Flat<T>(a, b, o, op);
    return FRNN_OK;
  }
  if (OneElement(b) && a->uiLayout == o->uiLayout && Compatible(a, o) && a->uiN == o->uiN && ElemCount(o) > 1) {
    Scalar<T>(a, b, o, op);
    return FRNN_OK;
  }
  if (a->uiLayout != b->uiLayout || o->uiLayout != a->uiLayout || a->uiLayout == FRNN_LAYOUT_NHWC ||
      a->uiLayout > FRNN_LAYOUT_NC4HW4) {
    return FRNN_ERR_ROW;
  }
  // One plane of B against every channel of A (the water network's mask): plane by plane.
  if constexpr (sizeof(T) == 2) {
    if (a->uiLayout == FRNN_LAYOUT_NCHW && b->uiC == 1 && a->uiC == o->uiC && b->uiN == a->uiN && a->uiN == o->uiN &&
        a->uiH == b->uiH && a->uiW == b->uiW && a->uiPlane == b->uiPlane && a->uiRowStride == b->uiRowStride &&
        Compatible(a, o)) {
      bool bDone = true;
      for (uint32_t i = 0; i < a->uiN && bDone; ++i)
        for (uint32_t k = 0; k < a->uiC && bDone; ++k) {
          bDone = HalfRun(&At<T>(o, i, k, 0, 0), &At<const T>(a, i, k, 0, 0), &At<const T>(b, i, 0, 0, 0),
                          a->uiPlane, op);
        }
      if (bDone) return FRNN_OK;
    }
  }
  Broadcast<T>(a, b, o, op);
  return FRNN_OK;
}

uint32_t PrepareOutput(const FrnnTensor* a, const Shape& s, FrnnTensor** ppstOut, void* pool, bool* pbCreated) {
  *pbCreated = false;
  if (*ppstOut != nullptr) {
    FrnnTensor* o = *ppstOut;
    if (!SameShape(o, s) || o->uiLayout != a->uiLayout || o->uiKind != a->uiKind) return FRNN_ERR_PARAM;
    return FRNN_OK;
  }
  FrnnTensor* o = FrnnTensorCreate(s.n, s.w, s.h, s.c, a->uiDims < 3 && s.c > 1 ? 3 : a->uiDims, a->uiElemSize,
                                   a->uiLayout, a->uiKind, pool);
  if (o == nullptr) return FRNN_ERR_NOMEM;
  *ppstOut = o;
  *pbCreated = true;
  return FRNN_OK;
}

void Finish(uint32_t r, bool bCreated, FrnnTensor** ppstOut, void* pool) {
  if (r != FRNN_OK && bCreated) FrnnTensorDestroy(ppstOut, pool);
}

uint32_t BinaryArithAligned(const FrnnTensor* a, const FrnnTensor* b, FrnnTensor** ppstOut, void* pool,
                            const Shape& s, uint16_t (*opH)(uint16_t, uint16_t), float (*opF)(float, float)) {
  if (a->uiLayout != b->uiLayout) return FRNN_ERR_UNSUPPORTED;
  if (a->uiKind > FRNN_KIND_F16) return FRNN_ERR_PARAM;
  if (a->uiKind != FRNN_KIND_F16 && a->uiKind != FRNN_KIND_F32) return FRNN_ERR_ROW;
  bool bCreated = false;
  uint32_t r = PrepareOutput(a, s, ppstOut, pool, &bCreated);
  if (r != FRNN_OK) return r;
  if (a->uiKind == FRNN_KIND_F16) {
    r = Compute<uint16_t>(a, b, *ppstOut, opH);
  } else {
    r = Compute<float>(a, b, *ppstOut, opF);
  }
  Finish(r, bCreated, ppstOut, pool);
  return r;
}

// Brings A and B to one layout when they differ: the preset output's layout, else the
// layout A's kind and channel count prefer; the converted input is a temporary the
// caller destroys.
uint32_t ElementwiseAlignLayouts(const FrnnTensor** pa, const FrnnTensor** pb, const FrnnTensor* ref,
                                 uint32_t* puiDiffer, FrnnTensor** ppstTmp, void* pool) {
  const FrnnTensor* a = *pa;
  const FrnnTensor* b = *pb;
  *ppstTmp = nullptr;
  *puiDiffer = 0;
  if (a->uiLayout == b->uiLayout) return FRNN_OK;
  *puiDiffer = 1;
  const uint32_t target = ref != nullptr ? ref->uiLayout : PreferredBlockLayout(a->uiKind, a->uiC);
  const FrnnTensor** conv = nullptr;
  uint32_t r = FRNN_ERR_UNSUPPORTED;
  if (target == FRNN_LAYOUT_NC4HW4 || target == FRNN_LAYOUT_NC8HW8) {
    if ((a->uiLayout == target) != (b->uiLayout == target)) {
      conv = a->uiLayout == target ? pb : pa;
      r = target == FRNN_LAYOUT_NC4HW4 ? FrnnTensorLayoutNCHWToNC4HW4(*conv, ppstTmp, pool)
                                       : FrnnTensorLayoutNCHWToNC8HW8(*conv, ppstTmp, pool);
    }
  } else if (a->uiLayout == FRNN_LAYOUT_NC8HW8 || b->uiLayout == FRNN_LAYOUT_NC8HW8) {
    conv = a->uiLayout == FRNN_LAYOUT_NC8HW8 ? pa : pb;
    r = FrnnTensorLayoutNC8HW8ToNCHW(*conv, ppstTmp, pool);
  } else if (a->uiLayout == FRNN_LAYOUT_NC4HW4 || b->uiLayout == FRNN_LAYOUT_NC4HW4) {
    conv = a->uiLayout == FRNN_LAYOUT_NC4HW4 ? pa : pb;
    r = FrnnTensorLayoutNC4HW4ToNCHW(*conv, ppstTmp, pool);
  }
  if (r != FRNN_OK) return r;
  *conv = *ppstTmp;
  return FRNN_OK;
}

uint32_t BinaryArith(const FrnnTensor* a, const FrnnTensor* b, FrnnTensor** ppstOut, void* pool, const Shape& s,
                     uint16_t (*opH)(uint16_t, uint16_t), float (*opF)(float, float)) {
  if (a->uiKind == FRNN_KIND_F16 && (HalfRowRefused(a) || HalfRowRefused(b))) return FRNN_ERR_ROW;
  if (a->uiKind != b->uiKind) return FRNN_ERR_UNSUPPORTED;
  FrnnTensor* tmp = nullptr;
  if (a->uiLayout != b->uiLayout) {
    uint32_t uiDiffer = 0;
    const uint32_t r = ElementwiseAlignLayouts(&a, &b, *ppstOut, &uiDiffer, &tmp, pool);
    if (r != FRNN_OK) return r;
  }
  const uint32_t r = BinaryArithAligned(a, b, ppstOut, pool, s, opH, opF);
  DropTensor(tmp, pool);
  return r;
}

uint16_t AddH(uint16_t a, uint16_t b) { return HalfAdd(a, b); }
float AddF(float a, float b) { return a + b; }
uint16_t SubH(uint16_t a, uint16_t b) { return HalfSub(a, b); }
float SubF(float a, float b) { return a - b; }
uint16_t MulH(uint16_t a, uint16_t b) { return HalfMul(a, b); }
float MulF(float a, float b) { return a * b; }
uint16_t DivH(uint16_t a, uint16_t b) { return FH(HF(a) / HF((b & 0x7FFFu) == 0 ? kHalfDivFloor : b)); }
float DivF(float a, float b) { return a / (b == 0.0f ? kDivFloor : b); }

template <typename T, typename Op>
void SumAxis(const FrnnTensor* in, FrnnTensor* o, uint32_t axis, T zero, Op add) {
  const uint32_t len = axis == 0 ? in->uiN : axis == 1 ? in->uiC : axis == 2 ? in->uiH : in->uiW;
  if constexpr (sizeof(T) == 2) {
    // Down the rows of a planar half tensor: the chains of eight channels side by side,
    // each still adding its rows in order.
    if (axis == 2 && in->uiLayout == FRNN_LAYOUT_NCHW && o->uiLayout == FRNN_LAYOUT_NCHW && zero == kHalfZero) {
      for (uint32_t i = 0; i < o->uiN; ++i)
        for (uint32_t x = 0; x < o->uiW; ++x)
          for (uint32_t k = 0; k < o->uiC; k += 8) {
            const uint32_t lanes = o->uiC - k < 8 ? o->uiC - k : 8;
            uint16_t sums[8];
            FrnnHalfSumChains(sums, &At<const T>(in, i, k, 0, x), in->uiPlane, in->uiRowStride, lanes, len,
                              FrnnHasHalfVector());
            for (uint32_t l = 0; l < lanes; ++l) At<T>(o, i, k + l, 0, x) = sums[l];
          }
      return;
    }
  }
  for (uint32_t i = 0; i < o->uiN; ++i)
    for (uint32_t k = 0; k < o->uiC; ++k)
      for (uint32_t y = 0; y < o->uiH; ++y)
        for (uint32_t x = 0; x < o->uiW; ++x) {
          T acc = zero;
          for (uint32_t j = 0; j < len; ++j) {
            acc = add(acc, Elems<const T>(in)[IndexOf(in, axis == 0 ? j : i, axis == 1 ? j : k, axis == 2 ? j : y,
                                                      axis == 3 ? j : x)]);
          }
          Elems<T>(o)[IndexOf(o, i, k, y, x)] = acc;
        }
}

}  // namespace

uint32_t FrnnAddForwardInt(const FrnnTensor* a, const FrnnTensor* b, FrnnTensor** ppstOut, void* pool) {
  if (a == nullptr || b == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  const Shape s{a->uiN, Max(a->uiC, b->uiC), Max(a->uiH, b->uiH), Max(a->uiW, b->uiW)};
  return BinaryArith(a, b, ppstOut, pool, s, AddH, AddF);
}

uint32_t FrnnSubForwardInt(const FrnnTensor* a, const FrnnTensor* b, FrnnTensor** ppstOut, void* pool) {
  if (a == nullptr || b == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (a->uiKind != FRNN_KIND_S32 && a->uiKind != FRNN_KIND_F32 && a->uiKind != FRNN_KIND_F16) {
    return FRNN_ERR_UNSUPPORTED;
  }
  const Shape s = ShapeOf(a);
  if (!SameShape(b, s) || a->uiLayout != b->uiLayout || a->uiKind != b->uiKind || !Compatible(a, b)) {
    return FRNN_ERR_PARAM;
  }
  if (a->uiKind == FRNN_KIND_S32) {
    bool bCreated = false;
    const uint32_t r = PrepareOutput(a, s, ppstOut, pool, &bCreated);
    if (r != FRNN_OK) return r;
    Flat<int32_t>(a, b, *ppstOut, [](int32_t x, int32_t y) {
      return static_cast<int32_t>(static_cast<uint32_t>(x) - static_cast<uint32_t>(y));
    });
    return FRNN_OK;
  }
  return BinaryArith(a, b, ppstOut, pool, s, SubH, SubF);
}

FrnnMultiplyParam FrnnMultiplyInit(uint32_t third, const FrnnWeightReader* r) {
  FrnnMultiplyParam p{};
  p.uiThird = third;
  if (r != nullptr) {
    p.uiKind = r->uiKind;
    p.uiFracBits = r->uiFracBits;
  }
  return p;
}

uint32_t FrnnMultiplyForwardInt(const FrnnMultiplyParam* p, const FrnnTensor* a, const FrnnTensor* b,
                                FrnnTensor** ppstOut, void* pool) {
  if (p == nullptr || a == nullptr || b == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (p->uiKind > FRNN_KIND_F16) return FRNN_ERR_PARAM;
  const Shape s{Max(a->uiN, b->uiN), Max(a->uiC, b->uiC), Max(a->uiH, b->uiH), Max(a->uiW, b->uiW)};
  const uint32_t r = BinaryArith(a, b, ppstOut, pool, s, MulH, MulF);
  return r == FRNN_ERR_ROW && !HalfRowRefused(a) && !HalfRowRefused(b) ? FRNN_ERR_UNSUPPORTED : r;
}

uint32_t FrnnMultiply(const FrnnTensor* a, const FrnnTensor* b, FrnnTensor** ppstOut, const FrnnWeightReader* r,
                      void* pool) {
  if (ppstOut == nullptr || r == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  const FrnnMultiplyParam p = FrnnMultiplyInit(r->uiFracBits, r);
  return FrnnMultiplyForwardInt(&p, a, b, ppstOut, pool);
}

uint32_t FrnnDivForward(const FrnnTensor* a, const FrnnTensor* b, FrnnTensor** ppstOut, uint32_t elementwise,
                        void* pool) {
  if (a == nullptr || b == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  if (a->uiKind != FRNN_KIND_F32 && a->uiKind != FRNN_KIND_F16) return FRNN_ERR_UNSUPPORTED;
  if (a->uiLayout != b->uiLayout) return FRNN_ERR_ARG;
  if (b->uiKind != a->uiKind || FrnnIsEmptyTensor(b)) return FRNN_ERR_UNSUPPORTED;
  if (a->uiKind == FRNN_KIND_F16 && (HalfRowRefused(a) || HalfRowRefused(b))) return FRNN_ERR_ROW;
  FrnnTensor* o = FrnnTensorCreate(a->uiN, a->uiW, a->uiH, a->uiC, a->uiDims, a->uiElemSize, a->uiLayout, a->uiKind,
                                   pool);
  if (o == nullptr) return FRNN_ERR_NOMEM;
  uint32_t r = FRNN_OK;
  if (elementwise == 0) {
    if (a->uiKind != FRNN_KIND_F32 || a->uiLayout != FRNN_LAYOUT_NCHW) {
      r = FRNN_ERR_UNSUPPORTED;
    } else {
      const float d = Elems<const float>(b)[0];
      const float dv = d == 0.0f ? kDivFloor : d;
      const size_t count = static_cast<size_t>(a->uiN) * a->uiC * a->uiPlane;
      for (size_t j = 0; j < count; ++j) Elems<float>(o)[j] = Elems<const float>(a)[j] / dv;
    }
  } else if (a->uiLayout == FRNN_LAYOUT_NCHW) {
    // Per output channel: B's channel (clamped to its last), one value when its plane is
    // 1 x 1, else B must have A's plane and batch.
    const bool bPoint = b->uiH == 1 && b->uiW == 1;
    if (!bPoint && (b->uiH != a->uiH || b->uiW != a->uiW || (b->uiN != 1 && b->uiN != a->uiN))) {
      r = FRNN_ERR_UNSUPPORTED;
    } else {
      for (uint32_t i = 0; i < a->uiN; ++i)
        for (uint32_t k = 0; k < a->uiC; ++k)
          for (uint32_t y = 0; y < a->uiH; ++y)
            for (uint32_t x = 0; x < a->uiW; ++x) {
              const uint32_t bi = Clamp(i, b->uiN);
              const uint32_t bk = Clamp(k, b->uiC);
              if (a->uiKind == FRNN_KIND_F16) {
                const uint16_t vb = bPoint ? At<uint16_t>(b, bi, bk, 0, 0) : At<uint16_t>(b, bi, bk, y, x);
                At<uint16_t>(o, i, k, y, x) = DivH(At<uint16_t>(a, i, k, y, x), vb);
              } else {
                const float vb = bPoint ? At<float>(b, bi, bk, 0, 0) : At<float>(b, bi, bk, y, x);
                At<float>(o, i, k, y, x) = DivF(At<float>(a, i, k, y, x), vb);
              }
            }
    }
  } else if ((a->uiKind == FRNN_KIND_F16 && a->uiLayout == FRNN_LAYOUT_NC8HW8) ||
             (a->uiKind == FRNN_KIND_F32 && a->uiLayout == FRNN_LAYOUT_NC4HW4)) {
    // Blocked layouts: a divisor of A's very shape, or a single value.
    if (SameShape(b, ShapeOf(a))) {
      r = a->uiKind == FRNN_KIND_F16 ? (Flat<uint16_t>(a, b, o, DivH), FRNN_OK) : (Flat<float>(a, b, o, DivF), FRNN_OK);
    } else if (OneElement(b)) {
      r = a->uiKind == FRNN_KIND_F16 ? (Scalar<uint16_t>(a, b, o, DivH), FRNN_OK)
                                     : (Scalar<float>(a, b, o, DivF), FRNN_OK);
    } else {
      r = FRNN_ERR_UNSUPPORTED;
    }
  } else {
    r = FRNN_ERR_UNSUPPORTED;
  }
  if (r != FRNN_OK) {
    FrnnTensorDestroy(&o, pool);
    return r;
  }
  *ppstOut = o;
  return FRNN_OK;
}

uint32_t FrnnSumForward(const FrnnTensor* in, FrnnTensor** ppstOut, uint32_t axis, void* pool) {
  if (in == nullptr || ppstOut == nullptr) return FRNN_ERR_NULL;
  if (*ppstOut != nullptr) return FRNN_ERR_SLOT;
  if (in->uiKind > FRNN_KIND_F16) return FRNN_ERR_PARAM;
  if (in->uiKind != FRNN_KIND_F16 && in->uiKind != FRNN_KIND_F32) return FRNN_ERR_UNSUPPORTED;
  if (axis > 3) return FRNN_ERR_UNSUPPORTED;
  // Half sums take NCHW and NC8HW8 (blocked output except for the channel sum); single
  // sums take NCHW only.
  const bool bBlocked = in->uiLayout == FRNN_LAYOUT_NC8HW8 && in->uiKind == FRNN_KIND_F16;
  if (in->uiLayout != FRNN_LAYOUT_NCHW && !bBlocked) return FRNN_ERR_UNSUPPORTED;
  const uint32_t n = axis == 0 ? 1 : in->uiN;
  const uint32_t c = axis == 1 ? 1 : in->uiC;
  const uint32_t h = axis == 2 ? 1 : in->uiH;
  const uint32_t w = axis == 3 ? 1 : in->uiW;
  const uint32_t layout = bBlocked && axis != 1 ? FRNN_LAYOUT_NC8HW8 : FRNN_LAYOUT_NCHW;
  FrnnTensor* o = FrnnTensorCreate3D(n, w, h, c, in->uiElemSize, layout, in->uiKind, pool);
  if (o == nullptr) return FRNN_ERR_NOMEM;
  if (in->uiKind == FRNN_KIND_F16) {
    FrnnTensorFill16f(o, kHalfZero);
    SumAxis<uint16_t>(in, o, axis, kHalfZero, HalfAdd);
  } else {
    SumAxis<float>(in, o, axis, 0.0f, [](float x, float y) { return x + y; });
  }
  *ppstOut = o;
  return FRNN_OK;
}

uint32_t MultiplyFixedS32(const FrnnMultiplyParam* p, const FrnnTensor* a, const FrnnTensor* b, FrnnTensor* o) {
  if (p == nullptr || a == nullptr || b == nullptr || o == nullptr) return FRNN_ERR_NULL;
  if (a->uiN != b->uiN || !SameShape(a, ShapeOf(b)) || !SameShape(o, ShapeOf(a)) || a->uiLayout != b->uiLayout ||
      o->uiLayout != a->uiLayout || a->uiLayout == FRNN_LAYOUT_NHWC || a->uiLayout > FRNN_LAYOUT_NC4HW4) {
    return FRNN_ERR_UNSUPPORTED;
  }
  const uint32_t shift = p->uiFracBits & 63u;
  const int64_t round = shift == 0 ? 0 : int64_t{1} << (shift - 1);
  Broadcast<int32_t>(a, b, o, [&](int32_t x, int32_t y) {
    const int64_t v = (static_cast<int64_t>(x) * y + round) >> shift;
    return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : v));
  });
  return FRNN_OK;
}

uint32_t FrnnLogForward(...) { return FRNN_ERR_UNSUPPORTED; }
uint32_t FrnnLogsumexpForward(...) { return FRNN_ERR_UNSUPPORTED; }
uint32_t FrnnCplxMathForward(...) { return FRNN_ERR_STEP; }
