// Water-detection network: block A, an encoder-decoder of separable convolutions with
// skip connections at full resolution, then block B, a masked mean of the features fed
// to two small heads, one of them through a GRU whose state the caller keeps.
#include "net_water_internal.h"

#include <vector>

#include "frnn_internal.h"
#include "net_weights.h"
#include "tsa_memory.h"

namespace {

constexpr uint32_t kWaterPlanes = 3;
constexpr uint32_t kGroups = 4;
constexpr float kMaskThreshold = 50.0f;
constexpr uint32_t kHidden = 8;
constexpr uint32_t kGruInput = 16;

NetWeightSlot sWeights;  // installed product weights (12,164 bytes), or none

constexpr FrnnPaddingParam kP1{1, 1, 1, 1, 0, 0};
constexpr FrnnPaddingParam kP0{0, 0, 0, 0, 0, 0};
constexpr FrnnPaddingParam kPV{0, 0, 1, 1, 0, 0};
constexpr FrnnPaddingParam kPH{1, 1, 0, 0, 0, 0};
constexpr FrnnPaddingParam kP2{2, 2, 2, 2, 0, 0};

struct Run {
  FrnnWeightReader* r;
  void* pool;
};

// Each helper returns its result tensor (null on failure) and leaves its inputs alone.
FrnnTensor* Conv(const Run& run, const FrnnTensor* x, uint32_t C, uint32_t k, const FrnnPaddingParam& pad,
                 uint32_t act) {
  FrnnTensor* out = nullptr;
  if (FrnnConvolution(x, &out, C, k, k, 1, 1, 1, &pad, run.r, act, run.pool) != FRNN_OK) DropTensor(out, run.pool);
  return out;
}

FrnnTensor* WaterSepConv(const Run& run, const FrnnTensor* x, uint32_t C, uint32_t s) {
  FrnnTensor* d1 = nullptr;
  if (FrnnDepthwiseConv(x, &d1, 1, 1, 3, 1, s, 1, &kPV, run.r, 0, run.pool) != FRNN_OK) {
    DropTensor(d1, run.pool);
    return nullptr;
  }
  FrnnTensor* d2 = nullptr;
  const uint32_t res = FrnnDepthwiseConv(d1, &d2, 1, 3, 1, s, 1, 1, &kPH, run.r, 1, run.pool);
  DropTensor(d1, run.pool);
  if (res != FRNN_OK) {
    DropTensor(d2, run.pool);
    return nullptr;
  }
  FrnnTensor* out = Conv(run, d2, C, 1, kP0, 0);
  DropTensor(d2, run.pool);
  return out;
}

bool WaterDownStage(const Run& run, FrnnTensor* x, FrnnTensor** r1, FrnnTensor** r2) {
  if (FrnnRelu(x, run.r, run.pool, 0.0f) != FRNN_OK) return false;
  *r1 = WaterSepConv(run, x, 16, 2);
  if (*r1 == nullptr || FrnnGroupNorm(*r1, kGroups, run.r, run.pool) != FRNN_OK) return false;
  FrnnTensor* c = FrnnTensorClone(*r1, run.pool);
  if (c == nullptr || FrnnRelu(c, run.r, run.pool, 0.0f) != FRNN_OK) {
    DropTensor(c, run.pool);
    return false;
  }
  *r2 = WaterSepConv(run, c, 16, 2);
  DropTensor(c, run.pool);
  return *r2 != nullptr && FrnnGroupNorm(*r2, kGroups, run.r, run.pool) == FRNN_OK;
}

FrnnTensor* WaterDilatedUnit(const Run& run, const FrnnTensor* x) {
  const FrnnTensor* cur = x;
  FrnnTensor* owned = nullptr;
  for (int pass = 0; pass < 2; ++pass) {
    DepthwiseConvLayer l{};
    l.weightKind = FRNN_KIND_F16;
    l.outChannels = 16;
    l.depthMultiplier = 1;
    l.kernelWidth = 3;
    l.kernelHeight = 3;
    l.dilationWidth = 2;
    l.dilationHeight = 2;
    l.strideWidth = 1;
    l.strideHeight = 1;
    l.hasBias = 1;
    l.weightCount = 144;
    l.padding = kP2;
    FrnnTensor* d = nullptr;
    if (FrnnDepthwiseConvLoadWeight(&l, run.r) != FRNN_OK || FrnnDepthwiseConvForwardInt(&l, cur, &d, run.pool) != FRNN_OK ||
        FrnnRelu(d, run.r, run.pool, 0.0f) != FRNN_OK) {
      DropTensor(d, run.pool);
      DropTensor(owned, run.pool);
      return nullptr;
    }
    FrnnTensor* next = Conv(run, d, 16, 1, kP0, pass == 0 ? 1 : 0);
    DropTensor(d, run.pool);
    DropTensor(owned, run.pool);
    if (next == nullptr) return nullptr;
    owned = next;
    cur = next;
  }
  return owned;
}

FrnnTensor* WaterUpStage(const Run& run, const FrnnTensor* x, const FrnnTensor* skip) {
  FrnnTensor* s = nullptr;
  if (FrnnAddForwardInt(x, skip, &s, run.pool) != FRNN_OK || FrnnRelu(s, run.r, run.pool, 0.0f) != FRNN_OK) {
    DropTensor(s, run.pool);
    return nullptr;
  }
  FrnnTensor* t = WaterSepConv(run, s, 64, 1);
  DropTensor(s, run.pool);
  if (t == nullptr) return nullptr;
  FrnnTensor* u = nullptr;
  const uint32_t res = FrnnPixelShuffle(t, &u, 2, run.r, run.pool);
  DropTensor(t, run.pool);
  if (res != FRNN_OK || FrnnGroupNorm(u, kGroups, run.r, run.pool) != FRNN_OK) {
    DropTensor(u, run.pool);
    return nullptr;
  }
  return u;
}

FrnnTensor* WaterNetBlockA(const Run& run, const FrnnTensor* x) {
  FrnnTensor* c0 = Conv(run, x, 16, 3, kP1, 0);
  if (c0 == nullptr) return nullptr;
  FrnnTensor* cl = FrnnTensorClone(c0, run.pool);
  FrnnTensor* r1 = nullptr;
  FrnnTensor* r2 = nullptr;
  FrnnTensor* b = nullptr;
  FrnnTensor* u1 = nullptr;
  FrnnTensor* u2 = nullptr;
  FrnnTensor* a = nullptr;
  FrnnTensor* result = nullptr;
  bool bOk = cl != nullptr && WaterDownStage(run, cl, &r1, &r2);
  DropTensor(cl, run.pool);
  if (bOk) bOk = (b = WaterDilatedUnit(run, r2)) != nullptr;
  if (bOk) bOk = (u1 = WaterUpStage(run, b, r2)) != nullptr;
  DropTensor(b, run.pool);
  DropTensor(r2, run.pool);
  if (bOk) bOk = (u2 = WaterUpStage(run, u1, r1)) != nullptr;
  DropTensor(u1, run.pool);
  DropTensor(r1, run.pool);
  if (bOk) bOk = FrnnAddForwardInt(u2, c0, &a, run.pool) == FRNN_OK;
  DropTensor(u2, run.pool);
  DropTensor(c0, run.pool);
  if (bOk) result = WaterSepConv(run, a, 16, 1);
  DropTensor(a, run.pool);
  return result;
}

FrnnTensor* WaterMaskedMean(const Run& run, const FrnnTensor* x, const FrnnTensor* mask) {
  const uint32_t hw = x->uiH * x->uiW;
  FrnnTensor* p = nullptr;
  FrnnTensor* pr = nullptr;
  FrnnTensor* ps = nullptr;
  FrnnTensor* mr = nullptr;
  FrnnTensor* ms = nullptr;
  FrnnTensor* g = nullptr;
  bool bOk = FrnnMultiply(x, mask, &p, run.r, run.pool) == FRNN_OK &&
             FrnnReshape(p, &pr, x->uiN, x->uiC, hw, 1, run.r, run.pool) == FRNN_OK &&
             FrnnSumForward(pr, &ps, 2, run.pool) == FRNN_OK &&
             FrnnReshape(mask, &mr, mask->uiN, mask->uiC, hw, 1, run.r, run.pool) == FRNN_OK &&
             FrnnSumForward(mr, &ms, 2, run.pool) == FRNN_OK && FrnnDivForward(ps, ms, &g, 1, run.pool) == FRNN_OK;
  DropTensor(p, run.pool);
  DropTensor(pr, run.pool);
  DropTensor(ps, run.pool);
  DropTensor(mr, run.pool);
  DropTensor(ms, run.pool);
  if (!bOk) DropTensor(g, run.pool);
  return g;
}

void WaterStateStore(WaterNetState* state, const FrnnTensor* st) {
  FrMemcpy(state->auwHidden, st->pvData, sizeof(state->auwHidden));
}

FrnnTensor* Head(const Run& run, const FrnnTensor* x) {
  FrnnTensor* a = Conv(run, x, 4, 1, kP0, 1);
  if (a == nullptr) return nullptr;
  FrnnTensor* s = Conv(run, a, 1, 1, kP0, 0);
  DropTensor(a, run.pool);
  if (s != nullptr && FrnnSigmoid(s, run.r, run.pool) != FRNN_OK) DropTensor(s, run.pool);
  return s;
}

bool WaterNetBlockB(const Run& run, const FrnnTensor* x, const FrnnTensor* mask, WaterNetState* state, FrnnTensor** s1,
            FrnnTensor** s2) {
  FrnnTensor* a = Conv(run, x, 16, 1, kP0, 0);
  if (a == nullptr) return false;
  FrnnTensor* g = WaterMaskedMean(run, a, mask);
  DropTensor(a, run.pool);
  if (g == nullptr) return false;
  FrnnTensor* q0 = nullptr;
  FrnnTensor* st = nullptr;
  FrnnTensor* gru = nullptr;
  FrnnTensor* q = nullptr;
  bool bOk = FrnnPermute(g, &q0, 0, 2, 3, 1, run.r, run.pool) == FRNN_OK &&
             (st = FrnnTensorCreate3D(1, kHidden, 1, 1, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, run.pool)) != nullptr;
  if (bOk) {
    FrMemcpy(st->pvData, state->auwHidden, sizeof(state->auwHidden));
    bOk = FrnnGRU(q0, st, &gru, 1, kGruInput, kHidden, 1, run.r, run.pool) == FRNN_OK;
    if (bOk) WaterStateStore(state, st);
  }
  DropTensor(q0, run.pool);
  DropTensor(st, run.pool);
  if (bOk) bOk = FrnnPermute(gru, &q, 0, 3, 1, 2, run.r, run.pool) == FRNN_OK;
  DropTensor(gru, run.pool);
  if (bOk) bOk = (*s1 = Head(run, g)) != nullptr;
  DropTensor(g, run.pool);
  if (bOk) bOk = (*s2 = Head(run, q)) != nullptr;
  DropTensor(q, run.pool);
  if (!bOk) {
    DropTensor(*s1, run.pool);
    DropTensor(*s2, run.pool);
  }
  return bOk;
}

}  // namespace

// One run on a quiet 20 x 40 panel passes every layer of the graph.
void NetWaterPrepareRun(const uint8_t* weights, uint32_t bytes) {
  std::vector<float> frame(kWaterPlanes * 20 * 40, 0.0f);
  std::vector<uint8_t> buffer(kWaterNetPoolBytes);
  WaterNetState st{};
  uint32_t s1 = 0, s2 = 0;
  const WaterNetRunArgs a{frame.data(), &st, 20, 40, static_cast<int32_t>(kWaterPlanes), &s1, &s2, buffer.data(),
                          weights, bytes};
  (void)NetWaterRun(a, nullptr);
}

uint32_t NetWaterSetWeights(const void* pvBlob, uint32_t uiBytes) {
  return sWeights.Install(pvBlob, uiBytes, kWaterNetWeightBytes, NetWaterPrepareRun);
}

void NetWaterRemoveWeights() { sWeights.Remove(); }

WaterNetState* InitNetWater(WaterNetState* pstState) {
  if (pstState != nullptr) FrMemset(pstState, 0, sizeof(*pstState));
  return pstState;
}

uint32_t NetWaterRun(const WaterNetRunArgs& a, WaterNetRunReport* pstReport) {
  if (a.pfInput == nullptr || a.pstState == nullptr || a.puiScore1 == nullptr || a.puiScore2 == nullptr ||
      a.pvWeights == nullptr) {
    return 1;
  }
  // The weight layout fixes three planes; the two stride-2 stages and their skip
  // connections need both extents to be multiples of 4.
  if (a.c != static_cast<int32_t>(kWaterPlanes) || a.h < 4 || a.w < 4 || a.h % 4 != 0 || a.w % 4 != 0 ||
      a.h > 256 || a.w > 256) {
    return 1;
  }
  const FrnnMempoolParam param{kWaterNetPoolBytes, a.pubBuffer, 0xFFFFFFFFu};
  if (FrnnMempoolInit(&param) != FRNN_OK) return 1;
  void* pool = a.pubBuffer;
  FrnnWeightReader reader{};
  reader.uiStorageMode = 1;
  // The reader stops at the end of the stream it was given; a short stream fails the
  // layer that runs out.
  reader.uiWordCount = a.uiWeightBytes / 4;
  reader.pubBase = static_cast<const uint8_t*>(a.pvWeights);
  reader.pubCursor = reader.pubBase;
  reader.uiKind = FRNN_KIND_F16;
  const Run run{&reader, pool};
  const uint32_t H = static_cast<uint32_t>(a.h);
  const uint32_t W = static_cast<uint32_t>(a.w);
  const uint32_t C = static_cast<uint32_t>(a.c);
  FrnnTensor* in = FrnnTensorCreate3D(1, W, H, C, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, pool);
  FrnnTensor* mask = FrnnTensorCreate3D(1, W, H, 1, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, pool);
  if (in == nullptr || mask == nullptr) {
    FrnnMempoolDestory(pool);
    return 1;
  }
  FrnnTensorFill16f(in, kHalfZero);
  FrnnTensorFill16f(mask, kHalfZero);
  for (uint32_t k = 0; k < C; ++k)
    for (uint32_t y = 0; y < H; ++y)
      for (uint32_t x = 0; x < W; ++x) At<uint16_t>(in, 0, k, y, x) = FH(a.pfInput[(k * H + y) * W + x]);
  for (uint32_t y = 0; y < H; ++y)
    for (uint32_t x = 0; x < W; ++x) {
      At<uint16_t>(mask, 0, 0, y, x) = HF(At<uint16_t>(in, 0, C - 1, y, x)) > kMaskThreshold ? kHalfOne : kHalfZero;
    }
  FrnnTensor* feat = WaterNetBlockA(run, in);
  DropTensor(in, pool);
  FrnnTensor* s1 = nullptr;
  FrnnTensor* s2 = nullptr;
  // The state changes only with a run that delivers its scores.
  WaterNetState stNext = *a.pstState;
  const bool bOk = feat != nullptr && WaterNetBlockB(run, feat, mask, &stNext, &s1, &s2);
  DropTensor(feat, pool);
  DropTensor(mask, pool);
  if (pstReport != nullptr) pstReport->uiConsumedBytes = static_cast<uint32_t>(reader.pubCursor - reader.pubBase);
  if (!bOk) {
    FrnnMempoolDestory(pool);
    return 1;
  }
  const uint16_t uw1 = Elems<uint16_t>(s1)[0];
  const uint16_t uw2 = Elems<uint16_t>(s2)[0];
  const float f1 = HF(uw1);
  const float f2 = HF(uw2);
  DropTensor(s1, pool);
  DropTensor(s2, pool);
  FrnnMempoolDestory(pool);
  // Weights that drive a head to NaN give no score at all.
  if (!(f1 >= 0.0f && f1 <= 1.0f && f2 >= 0.0f && f2 <= 1.0f)) return 1;
  if (pstReport != nullptr) {
    pstReport->uwScore1 = uw1;
    pstReport->uwScore2 = uw2;
  }
  *a.pstState = stNext;
  *a.puiScore1 = static_cast<uint32_t>(static_cast<int32_t>(f1 * 100.0f));
  *a.puiScore2 = static_cast<uint32_t>(static_cast<int32_t>(f2 * 100.0f));
  return 0;
}

uint32_t NetWaterDetection(const float* pfInput, WaterNetState* pstState, int32_t h, int32_t w, int32_t c,
                           uint32_t* puiScore1, uint32_t* puiScore2, uint8_t* pubBuffer) {
  const NetWeightRun held(sWeights);
  const WaterNetRunArgs args{pfInput, pstState, h, w, c, puiScore1, puiScore2, pubBuffer,
                             held.Bytes(), held ? kWaterNetWeightBytes : 0};
  return NetWaterRun(args, nullptr);
}
