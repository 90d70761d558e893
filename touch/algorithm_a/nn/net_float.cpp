// Floating-finger complement network: a small U-shaped network (three down-sampling
// stages with row/column projections, a bottleneck, three up-sampling stages with skip
// connections and a head) that turns a difference image into two maps of scores 0..1000.
#include <cmath>
#include <vector>

#include "frnn_conv_kernels.h"
#include "frnn_internal.h"
#include "net_float_internal.h"
#include "net_weights.h"
#include "tsa_memory.h"

namespace {

constexpr uint32_t kGroups = 4;
constexpr uint32_t kInCols = 40;
constexpr FrnnPaddingParam kP1{1, 1, 1, 1, 0, 0};
constexpr FrnnPaddingParam kP0{0, 0, 0, 0, 0, 0};

NetWeightSlot sWeights;  // installed product weights, or none

struct Net {
  FrnnWeightReader* r;
  void* pool;
};

// Each step takes its input by reference and destroys it when `drop` is set; on failure
// the output slot is left empty.
uint32_t Conv(const Net& n, FrnnTensor*& x, bool drop, FrnnTensor** out, uint32_t C, uint32_t k,
              const FrnnPaddingParam& pad, uint32_t act) {
  const uint32_t r = FrnnConvolution(x, out, C, k, k, 1, 1, 1, &pad, n.r, act, n.pool);
  if (drop) DropTensor(x, n.pool);
  return r;
}

uint32_t Dw(const Net& n, FrnnTensor*& x, FrnnTensor** out, uint32_t s) {
  const uint32_t r = FrnnDepthwiseConv(x, out, 1, 3, 3, s, s, 1, &kP1, n.r, 1, n.pool);
  DropTensor(x, n.pool);
  return r;
}

uint32_t NormRelu(const Net& n, FrnnTensor* x) {
  uint32_t r = FrnnGroupNorm(x, kGroups, n.r, n.pool);
  if (r == FRNN_OK) r = FrnnRelu(x, n.r, n.pool, 0.0f);
  return r;
}

uint32_t Join(const Net& n, const FrnnTensor* a, const FrnnTensor* b, FrnnTensor** out) {
  const FrnnTensor* list[2] = {a, b};
  return FrnnConcat(list, out, 1, 2, n.r, n.pool);
}

// Per channel: element (y, x) = (sum of the positive values of row y) x (sum of the
// positive values of column x), all in half precision.
FrnnTensor* Projection(const Net& n, const FrnnTensor* x) {
  FrnnTensor* p = FrnnTensorCreate3D(x->uiN, x->uiW, x->uiH, x->uiC, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, n.pool);
  if (p == nullptr) return nullptr;
  FrnnTensorFill16f(p, kHalfZero);
  constexpr uint32_t kMax = 256;
  uint16_t rowSum[kMax];
  uint16_t colSum[kMax];
  uint16_t positives[8 * kMax];
  if (x->uiH > kMax || x->uiW > kMax) {
    DropTensor(p, n.pool);
    return nullptr;
  }
  // Each sum takes its terms in the same order either way; the vector bodies run the
  // columns, and eight rows' sums, side by side. A row's sum adds +0 where a value is not
  // positive, which leaves the sum (never negative) as it was.
  const bool bVector = FrnnHasHalfVector();
  for (uint32_t i = 0; i < x->uiN; ++i)
    for (uint32_t k = 0; k < x->uiC; ++k) {
      for (uint32_t c = 0; c < x->uiW; ++c) colSum[c] = kHalfZero;
      for (uint32_t y0 = 0; y0 < x->uiH; y0 += 8) {
        const uint32_t lanes = x->uiH - y0 < 8 ? x->uiH - y0 : 8;
        for (uint32_t l = 0; l < lanes; ++l) {
          const uint16_t* row = &At<uint16_t>(x, i, k, y0 + l, 0);
          uint16_t* pos = positives + l * kMax;
          for (uint32_t c = 0; c < x->uiW; ++c) pos[c] = kHalfZero;
          FrnnHalfAddPositives(pos, row, x->uiW, bVector);
          FrnnHalfAddPositives(colSum, row, x->uiW, bVector);
        }
        FrnnHalfSumChains(rowSum + y0, positives, kMax, 1, lanes, x->uiW, bVector);
      }
      for (uint32_t y = 0; y < x->uiH; ++y) FrnnHalfScaleRow(&At<uint16_t>(p, i, k, y, 0), colSum, rowSum[y], x->uiW, bVector);
    }
  return p;
}

uint32_t DownStage(const Net& n, const FrnnTensor* x, FrnnTensor** out, uint32_t C) {
  FrnnTensor* proj = Projection(n, x);
  if (proj == nullptr) return FRNN_ERR_NOMEM;
  FrnnTensor* cat = nullptr;
  FrnnTensor* a = nullptr;
  FrnnTensor* d = nullptr;
  uint32_t r = Join(n, x, proj, &cat);
  DropTensor(proj, n.pool);
  if (r == FRNN_OK) r = Conv(n, cat, true, &a, C, 1, kP0, 1);
  if (r == FRNN_OK) r = Dw(n, a, &d, 2);
  if (r == FRNN_OK) r = Conv(n, d, true, out, C, 1, kP0, 0);
  if (r == FRNN_OK) r = NormRelu(n, *out);
  DropTensor(cat, n.pool);
  DropTensor(a, n.pool);
  DropTensor(d, n.pool);
  return r;
}

uint32_t Bottleneck(const Net& n, const FrnnTensor* x, FrnnTensor** out) {
  FrnnTensor* cur = FrnnTensorClone(x, n.pool);
  if (cur == nullptr) return FRNN_ERR_NOMEM;
  uint32_t r = FRNN_OK;
  for (int pass = 0; pass < 2 && r == FRNN_OK; ++pass) {
    FrnnTensor* d = nullptr;
    const uint32_t C = cur->uiC;
    r = Dw(n, cur, &d, 1);
    if (r == FRNN_OK) r = Conv(n, d, true, &cur, C, 1, kP0, 0);
    DropTensor(d, n.pool);
  }
  if (r == FRNN_OK) r = NormRelu(n, cur);
  if (r != FRNN_OK) {
    DropTensor(cur, n.pool);
    return r;
  }
  *out = cur;
  return FRNN_OK;
}

uint32_t UpStage(const Net& n, const FrnnTensor* x, const FrnnTensor* skip, bool crop, FrnnTensor** out, uint32_t C) {
  FrnnTensor* xc = nullptr;
  FrnnTensor* sc = nullptr;
  FrnnTensor* cat = nullptr;
  FrnnTensor* a = nullptr;
  FrnnTensor* u = nullptr;
  FrnnTensor* d = nullptr;
  uint32_t r = FRNN_OK;
  if (crop) {
    r = FrnnCropToBoundingBox(x, &xc, 0, 0, 5, 10, n.pool);
    if (r == FRNN_OK) r = FrnnCropToBoundingBox(skip, &sc, 0, 0, 5, 10, n.pool);
  }
  if (r == FRNN_OK) r = Join(n, crop ? xc : x, crop ? sc : skip, &cat);
  DropTensor(xc, n.pool);
  DropTensor(sc, n.pool);
  if (r == FRNN_OK) r = Conv(n, cat, true, &a, C, 1, kP0, 0);
  if (r == FRNN_OK) r = FrnnUpSample(a, &u, 2, 0, n.r, n.pool, 2.0f, 2.0f);
  DropTensor(a, n.pool);
  if (r == FRNN_OK) r = Dw(n, u, &d, 1);
  if (r == FRNN_OK) r = Conv(n, d, true, out, C, 1, kP0, 0);
  if (r == FRNN_OK) r = NormRelu(n, *out);
  DropTensor(cat, n.pool);
  DropTensor(u, n.pool);
  DropTensor(d, n.pool);
  return r;
}

// Channels [k0, k1) of t as a new tensor.
FrnnTensor* Channels(const Net& n, const FrnnTensor* t, uint32_t k0, uint32_t k1) {
  FrnnTensor* m = FrnnTensorCreate3D(1, t->uiW, t->uiH, k1 - k0, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, n.pool);
  if (m == nullptr) return nullptr;
  for (uint32_t k = k0; k < k1; ++k)
    FrMemcpy(Elems<uint16_t>(m) + static_cast<size_t>(k - k0) * m->uiPlane,
             Elems<const uint16_t>(t) + static_cast<size_t>(k) * t->uiPlane, t->uiPlane * 2);
  return m;
}

// A NaN score is no score. The hard sigmoid's clamp would turn it into 0, so the maps are
// checked before it and the run fails before either is written out.
bool AnyNan(const FrnnTensor* m) {
  for (uint32_t y = 0; y < m->uiH; ++y)
    for (uint32_t x = 0; x < m->uiW; ++x) {
      if (std::isnan(HF(At<uint16_t>(m, 0, 0, y, x)))) return true;
    }
  return false;
}

// The whole graph from the input tensor to the two hard-sigmoid maps.
uint32_t Graph(const Net& n, FrnnTensor* A, FrnnTensor** map1, FrnnTensor** map2) {
  FrnnTensor* t[16] = {};
  FrnnTensor*& c0 = t[0];
  FrnnTensor*& e1 = t[1];
  FrnnTensor*& e2 = t[2];
  FrnnTensor*& pd = t[3];
  FrnnTensor*& e3 = t[4];
  FrnnTensor*& b = t[5];
  FrnnTensor*& d1 = t[6];
  FrnnTensor*& d2 = t[7];
  FrnnTensor*& d3 = t[8];
  FrnnTensor*& cat = t[9];
  FrnnTensor*& k = t[10];
  FrnnTensor*& hd = t[11];
  FrnnTensor*& o = t[12];
  FrnnTensor*& g = t[13];
  FrnnTensor*& q = t[14];
  FrnnTensor*& tt = t[15];
  uint32_t r = FRNN_OK;
  auto ok = [&](uint32_t res) { return (r = res) == FRNN_OK; };
  bool bTen = false;
  bool bDone = ok(Conv(n, A, false, &c0, 8, 3, kP1, 0)) && ok(DownStage(n, c0, &e1, 8)) && ok(DownStage(n, e1, &e2, 16));
  if (bDone) {
    bTen = e2->uiH == 10;
    const FrnnPaddingParam pb{0, 0, 0, bTen ? 0 : 1, 0, 0};
    bDone = ok(FrnnPadding(e2, &pd, &pb, n.r, n.pool));
    DropTensor(e2, n.pool);
  }
  bDone = bDone && ok(DownStage(n, pd, &e3, 32)) && ok(Bottleneck(n, e3, &b)) && ok(UpStage(n, b, e3, false, &d1, 32));
  if (bDone) {
    DropTensor(b, n.pool);
    DropTensor(e3, n.pool);
  }
  bDone = bDone && ok(UpStage(n, d1, pd, !bTen, &d2, 24));
  if (bDone) {
    DropTensor(d1, n.pool);
    DropTensor(pd, n.pool);
  }
  bDone = bDone && ok(UpStage(n, d2, e1, false, &d3, 16));
  if (bDone) {
    DropTensor(d2, n.pool);
    DropTensor(e1, n.pool);
  }
  bDone = bDone && ok(Join(n, d3, c0, &cat)) && ok(Conv(n, cat, true, &k, 12, 1, kP0, 0));
  if (bDone) {
    DropTensor(d3, n.pool);
    DropTensor(c0, n.pool);
    const uint32_t C = k->uiC;
    bDone = ok(Dw(n, k, &hd, 1)) && ok(Conv(n, hd, true, &o, C, 1, kP0, 0));
  }
  if (bDone) {
    const uint32_t C = o->uiC;
    bDone = ok(Dw(n, o, &g, 1)) && ok(Conv(n, g, true, &q, C, 1, kP0, 0)) && ok(FrnnRelu(q, n.r, n.pool, 0.0f)) &&
            ok(Conv(n, q, true, &tt, 2, 3, kP1, 0));
  }
  if (bDone) {
    *map1 = Channels(n, tt, 0, 1);
    *map2 = Channels(n, tt, 1, tt->uiC);
    if (*map1 == nullptr || *map2 == nullptr) {
      r = FRNN_ERR_NOMEM;
    } else if (AnyNan(*map1) || AnyNan(*map2)) {
      r = FRNN_ERR_STEP;
    } else {
      if (ok(FrnnHardSigmoid(*map1, n.r, n.pool))) ok(FrnnHardSigmoid(*map2, n.r, n.pool));
    }
    if (r != FRNN_OK) {
      DropTensor(*map1, n.pool);
      DropTensor(*map2, n.pool);
    }
  }
  for (FrnnTensor*& p : t) DropTensor(p, n.pool);
  return r;
}

void Emit(const FrnnTensor* m, uint16_t* area) {
  for (uint32_t y = 0; y < m->uiH; ++y)
    for (uint32_t x = 0; x < m->uiW; ++x) {
      const float v = HF(At<uint16_t>(m, 0, 0, y, x)) * 1000.0f;
      // The hard sigmoid keeps v within 0..1000.
      const float c = v >= 0.0f ? (v <= 1000.0f ? v : 1000.0f) : 0.0f;
      area[(y + 1) * kFloatNetMapPitch + x + 1] = static_cast<uint16_t>(static_cast<int32_t>(c));
    }
}

}  // namespace

// One run on a quiet 18 x 32 panel passes every layer of the graph.
void NetFloatPrepareRun(const uint8_t* weights, uint32_t bytes) {
  std::vector<int16_t> diff(18 * 32, 0);
  std::vector<uint8_t> buffer(kFloatNetBufferBytes);
  uint16_t* m1 = nullptr;
  uint16_t* m2 = nullptr;
  const FloatNetRunArgs a{diff.data(), buffer.data(), 18, 32, &m1, &m2, weights, bytes};
  (void)NetFloatRun(a, nullptr);
}

uint32_t NetFloatSetWeights(const void* pvBlob, uint32_t uiBytes) {
  return sWeights.Install(pvBlob, uiBytes, kFloatNetWeightBytes, NetFloatPrepareRun);
}

void NetFloatRemoveWeights() { sWeights.Remove(); }

uint32_t NetFloatRun(const FloatNetRunArgs& a, uint32_t* puiConsumed) {
  if (puiConsumed != nullptr) *puiConsumed = 0;
  if (a.pswDiff == nullptr || a.pubBuffer == nullptr || a.ppuwMap1 == nullptr || a.ppuwMap2 == nullptr) {
    return FRNN_ERR_NULL;
  }
  if (a.rows < 1 || a.cols < 1) return FRNN_ERR_ARG;
  if (a.pvWeights == nullptr) return FRNN_ERR_WEIGHT;
  const FrnnMempoolParam param{kFloatNetPoolBytes, a.pubBuffer, 0};
  uint32_t r = FrnnMempoolInit(&param);
  if (r != FRNN_OK) return r;
  void* pool = a.pubBuffer;
  auto* in = reinterpret_cast<uint16_t*>(a.pubBuffer + kFloatNetInputOffset);
  auto* area1 = reinterpret_cast<uint16_t*>(a.pubBuffer + kFloatNetMap1Offset);
  auto* area2 = reinterpret_cast<uint16_t*>(a.pubBuffer + kFloatNetMap2Offset);
  FrMemsetU16(in, 0, kFloatNetAreaValues);
  FrMemsetU16(area1, 0, kFloatNetAreaValues);
  FrMemsetU16(area2, 0, kFloatNetAreaValues);
  const uint32_t h = a.rows < 30 ? 20 : 40;
  const uint32_t rows = static_cast<uint32_t>(a.rows) < h ? static_cast<uint32_t>(a.rows) : h;
  const uint32_t cols = static_cast<uint32_t>(a.cols) < kInCols ? static_cast<uint32_t>(a.cols) : kInCols;
  for (uint32_t y = 0; y < rows; ++y) FrMemcpy(in + y * kInCols, a.pswDiff + static_cast<size_t>(y) * a.cols, cols * 2);

  FrnnWeightReader reader{};
  reader.uiStorageMode = 1;
  // The reader stops at the end of the block it was given.
  reader.uiWordCount = a.uiWeightBytes / 4;
  reader.pubBase = static_cast<const uint8_t*>(a.pvWeights);
  reader.pubCursor = reader.pubBase;
  reader.uiKind = FRNN_KIND_F16;
  FrnnTensor* A = FrnnTensorCreate3D(1, kInCols, h, 1, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, pool);
  FrnnTensor* m1 = nullptr;
  FrnnTensor* m2 = nullptr;
  if (A == nullptr) {
    r = FRNN_ERR_NOMEM;
  } else {
    FrnnTensorFill16f(A, kHalfZero);
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < kInCols; ++x)
        At<uint16_t>(A, 0, 0, y, x) = FH(static_cast<float>(static_cast<int16_t>(in[y * kInCols + x])) * 0.00390625f);
    const Net net{&reader, pool};
    r = Graph(net, A, &m1, &m2);
  }
  if (puiConsumed != nullptr) *puiConsumed = static_cast<uint32_t>(reader.pubCursor - reader.pubBase);
  if (r == FRNN_OK) {
    Emit(m1, area1);
    Emit(m2, area2);
  }
  DropTensor(m1, pool);
  DropTensor(m2, pool);
  DropTensor(A, pool);
  FrnnMempoolDestory(pool);
  if (r != FRNN_OK) return r;
  *a.ppuwMap1 = area1;
  *a.ppuwMap2 = area2;
  return FRNN_OK;
}

uint32_t NetFloatComplement(const int16_t* pswDiff, uint8_t* pubBuffer, int32_t rows, int32_t cols,
                            uint16_t** ppuwMap1, uint16_t** ppuwMap2) {
  const NetWeightRun held(sWeights);
  const FloatNetRunArgs args{pswDiff, pubBuffer, rows, cols, ppuwMap1, ppuwMap2,
                             held.Bytes(), held ? kFloatNetWeightBytes : 0};
  return NetFloatRun(args, nullptr);
}
