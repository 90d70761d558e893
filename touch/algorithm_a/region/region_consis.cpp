// Result-side conditioning driven by gstResultBeautyCfg: raw-data consistency optimisation
// (per-column gains learned once from the raw data, applied every frame) and diff
// beautification (amplify/shrink, temporal smoothing, self remainder and self blending).
#include <algorithm>
#include <cstring>

#include "mathlib.h"
#include "region.h"
#include "region_records.h"
#include "region_small.h"
#include "tsa_pack.h"

RawConsisState gstRawConsis;

namespace {

constexpr uint8_t kConsisOn = 1u << 0;
constexpr uint8_t kBeautyAmplify = 1u << 1;
constexpr uint8_t kBeautyIir = 1u << 2;
constexpr uint8_t kBeautySelfRemainder = 1u << 3;
constexpr uint8_t kBeautySelfBlend = 1u << 4;
constexpr uint8_t kProgressStarted = 1u << 0;
constexpr uint8_t kProgressLearned = 1u << 1;
constexpr uint16_t kUnityGain = 128;
constexpr uint8_t kHighSignal = 128;
constexpr uint32_t kWatchGroupMap = 10;
constexpr uint32_t kWatchGroupLine = 11;

// The buffers a tool can watch: the raw map before and after the gains, their difference,
// the per-column target means, the column sums and the per-column means the gains were
// learned from (the test buffer). The gains themselves are the state's table.
uint16_t gauwConsisBefore[kRegionMaxNodes];
uint16_t gauwConsisAfter[kRegionMaxNodes];
int16_t gaswConsisDiff[kRegionMaxNodes];
uint16_t gauwConsisTarget[UINT8_MAX];
uint32_t gauiConsisSum[UINT8_MAX];
uint16_t gauwConsisMean[UINT8_MAX];
// The gained map in 32 bits, so that a gain above 1.0 saturates instead of wrapping.
uint32_t gauiConsisScaled[kRegionMaxNodes];

uint8_t Cfg(uint32_t at) { return gstResultBeautyCfg.aubData[at]; }

int16_t Sat16(int32_t v) { return static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX)); }

bool GridFits(uint8_t ubRows, uint8_t ubCols) {
  return ubRows != 0 && ubCols != 0 && static_cast<uint32_t>(ubRows) * ubCols <= kRegionMaxNodes;
}

// Column sums through the math library's strided engine: down one column per group (an
// element step of one map row), the next group one column on.
void SumColumns(const uint16_t* puwRaw, uint8_t ubRows, uint8_t ubCols) {
  CustomFunctionParam p{};
  p.stSrc1.pBase = const_cast<uint16_t*>(puwRaw);
  p.stSrc1.uiWidth = 1;
  p.stSrc1.uwRowStride = sizeof(uint16_t);
  p.stSrc1.uwColStride = static_cast<uint16_t>(ubCols * sizeof(uint16_t));
  p.stSrc1.uwLastCol = static_cast<uint16_t>(ubRows - 1);
  p.stDst.pBase = gauiConsisSum;
  p.stDst.uiWidth = 2;
  p.stDst.uwRowStride = static_cast<uint16_t>(ubCols * sizeof(uint32_t));
  p.stDst.uwColStride = sizeof(uint32_t);
  p.stDst.uwLastCol = static_cast<uint16_t>(ubCols - 1);
  LibCustomSetGroupSum(&p, 0, 0, ubRows, 0, ubCols);
  LibXpu2CustomFunction(&p);
}

// Gained map: node x gain of its column >> 7, the gain row read again for every map row.
void ApplyGains(const uint16_t* puwRaw, uint8_t ubRows, uint8_t ubCols) {
  CustomFunctionParam p{};
  p.stSrc1.pBase = const_cast<uint16_t*>(puwRaw);
  p.stSrc1.uiWidth = 1;
  p.stSrc1.uwRowStride = static_cast<uint16_t>(ubCols * sizeof(uint16_t));
  p.stSrc1.uwColStride = sizeof(uint16_t);
  p.stSrc1.uwLastCol = static_cast<uint16_t>(ubCols - 1);
  p.stSrc2.pBase = gstRawConsis.auwGain;
  p.stSrc2.uiWidth = 1;
  p.stSrc2.uwRowStride = 0;
  p.stSrc2.uwColStride = sizeof(uint16_t);
  p.stSrc2.uwLastCol = static_cast<uint16_t>(ubCols - 1);
  p.stDst.pBase = gauiConsisScaled;
  p.stDst.uiWidth = 2;
  p.stDst.uwRowStride = static_cast<uint16_t>(ubCols * sizeof(uint32_t));
  p.stDst.uwColStride = sizeof(uint32_t);
  p.stDst.uwLastCol = static_cast<uint16_t>(ubCols - 1);
  LibCustomSetMultiply(&p, 0, static_cast<uint16_t>(ubRows * ubCols), 7, 0);
  LibXpu2CustomFunction(&p);
}

uint32_t MeanOf(uint32_t first, uint32_t last) {
  uint32_t s = 0;
  for (uint32_t i = first; i <= last; ++i) s += gauwConsisMean[i];
  return s / (last - first + 1);
}

void LearnGains(const uint16_t* puwRaw, uint8_t ubRows, uint8_t ubCols) {
  SumColumns(puwRaw, ubRows, ubCols);
  const uint32_t last = static_cast<uint32_t>(ubRows - 1) * ubCols;
  for (uint32_t i = 0; i < ubCols; ++i) {
    // The two end nodes of a column are left out when there are inner nodes to average.
    gauwConsisMean[i] = ubRows >= 3 ? static_cast<uint16_t>((gauiConsisSum[i] - puwRaw[i] - puwRaw[last + i]) /
                                                            (ubRows - 2u))
                                    : static_cast<uint16_t>(gauiConsisSum[i] / ubRows);
  }
  const uint32_t C = ubCols;
  for (uint32_t i = 0; i < C; ++i) {
    uint32_t first = 0, lastLine = 0;
    if (i == 0) {
      lastLine = std::min<uint32_t>(2, C - 1);
    } else if (i == 1) {
      lastLine = std::min<uint32_t>(3, C - 1);
    } else {
      first = i - 2;
      lastLine = std::min<uint32_t>(i + 2, C - 1);
    }
    const uint32_t avg = MeanOf(first, lastLine);
    gauwConsisTarget[i] = static_cast<uint16_t>(avg);
    // A line with a mean of 0 carries nothing to equalise: it keeps a gain of 1.0.
    uint32_t g = gauwConsisMean[i] != 0 ? avg * kUnityGain / gauwConsisMean[i] : kUnityGain;
    g = std::max<uint32_t>(g, Cfg(2));
    g = std::min<uint32_t>(g, Cfg(1));
    gstRawConsis.auwGain[i] = static_cast<uint16_t>(g);
  }
  gstRawConsis.ubProgress |= kProgressLearned;
}

// Step 1 on one node: amplify above the second level, then shrink below the limit.
int16_t BeautyNode(int16_t v, int16_t swSecond, uint8_t ubHigh) {
  int32_t x = v;
  if (x > swSecond) x = Sat16((x * Cfg(4)) >> 3);
  const int32_t limit = Cfg(3);
  if (x < limit) {
    if (Cfg(5) != 0 && ubHigh < kHighSignal) {
      x /= Cfg(5);
    } else if (Cfg(10) != 0 && ubHigh >= kHighSignal) {
      x /= Cfg(10);
    }
  }
  return static_cast<int16_t>(x);
}

// Weights above the scale would turn the blend into an extrapolation; they are held to it.
int16_t Blend(int16_t v, int16_t prev, uint32_t w, uint32_t shift) {
  const int32_t scale = 1 << shift;
  const int32_t ww = std::min<int32_t>(static_cast<int32_t>(w), scale);
  return Sat16(((scale - ww) * v + ww * prev) >> shift);
}

void SelfRemainder(int16_t* pswSelf, uint32_t first, uint32_t last, uint8_t ubMod) {
  if (ubMod < 1 || ubMod > 29) return;
  for (uint32_t i = first; i < last; ++i) pswSelf[i] = static_cast<int16_t>(pswSelf[i] % ubMod);
}

}  // namespace

void RawDataConsisOptmInit() {
  memset(&gstRawConsis, 0, sizeof(gstRawConsis));
  const uint32_t d = gstCommon.ubDrvNum, s = gstCommon.ubSenNum;
  const uint32_t map = d * s * 2;
  AddWatchData(gauwConsisBefore, kWatchGroupMap, "gauwConsisRawBefore", WATCH_TYPE_U16, map, s, d, 9500, 10500, 10000,
               1);
  AddWatchData(gauwConsisAfter, kWatchGroupMap, "gauwConsisRawAfter", WATCH_TYPE_U16, map, s, d, 9500, 10500, 10000,
               1);
  AddWatchData(gaswConsisDiff, kWatchGroupMap, "gaswConsisRawDiff", WATCH_TYPE_S16, map, s, d, -200, 200, 0, 0);
  AddWatchData(gauwConsisTarget, kWatchGroupLine, "gauwConsisTarget", WATCH_TYPE_U16, s * 2, s, 1, 9500, 10500, 10000,
               1);
  AddWatchData(gstRawConsis.auwGain, kWatchGroupLine, "gauwConsisGain", WATCH_TYPE_U16, s * 2, s, 1, 64, 192, 128, 1);
  // The sums are 32-bit; a tool reads each as two u16 halves, low half first.
  AddWatchData(gauiConsisSum, kWatchGroupLine, "gauiConsisSum", WATCH_TYPE_U16, s * 4, s * 2, 1, 0, 65535, 0, 0);
  AddWatchData(gauwConsisMean, kWatchGroupLine, "gauwConsisTest", WATCH_TYPE_U16, s * 2, s, 1, 9500, 10500, 10000, 1);
}

void RawDataConsisOptmProc() {
  gstRawConsis.ubProgress |= kProgressStarted;
  if ((Cfg(0) & kConsisOn) == 0) return;
  const uint8_t R = gstCommon.ubDrvNum, C = gstCommon.ubSenNum;
  uint16_t* puwRaw = gstCommon.stData.puwRawData;
  if (puwRaw == nullptr || !GridFits(R, C)) return;
  if ((gstRawConsis.ubProgress & kProgressLearned) == 0) LearnGains(puwRaw, R, C);
  const uint32_t n = static_cast<uint32_t>(R) * C;
  memcpy(gauwConsisBefore, puwRaw, n * sizeof(uint16_t));
  ApplyGains(puwRaw, R, C);
  for (uint32_t i = 0; i < n; ++i) {
    const uint16_t after = static_cast<uint16_t>(std::min<uint32_t>(gauiConsisScaled[i], UINT16_MAX));
    puwRaw[i] = after;
    gauwConsisAfter[i] = after;
    gaswConsisDiff[i] = Sat16(int32_t{after} - gauwConsisBefore[i]);
  }
}

void DiffDataBeautyInit() {}

void DiffDataBeauty(const DiffBeautyCtx* pstCtx) {
  if (gstCommon.ubBeautyByte == 0 || pstCtx == nullptr) return;
  const DiffBeautyCtx& x = *pstCtx;
  const uint8_t ubOpt = Cfg(0);
  const uint8_t ubHigh = gstRegionRoles.ubHighSignal;
  if (x.pswDiff != nullptr) {
    if ((ubOpt & kBeautyAmplify) != 0) {
      for (uint32_t i = 0; i < x.uwNodeNum; ++i) x.pswDiff[i] = BeautyNode(x.pswDiff[i], x.swSecondLevel, ubHigh);
    }
    if ((ubOpt & kBeautyIir) != 0 && x.ubHavePrev != 0 && x.pswPrevDiff != nullptr) {
      for (uint32_t i = 0; i < x.uwNodeNum; ++i) {
        if (x.pswDiff[i] > x.swTouchLevel) x.pswDiff[i] = Blend(x.pswDiff[i], x.pswPrevDiff[i], Cfg(6), 6);
      }
    }
  }
  if (x.pswSelf == nullptr) return;
  const uint32_t rows = std::min<uint32_t>(x.ubSelfRows, x.uwSelfTotal);
  if ((ubOpt & kBeautySelfRemainder) != 0 && x.ubRegionNum == 0) {
    SelfRemainder(x.pswSelf, 0, rows, Cfg(7));
    SelfRemainder(x.pswSelf, rows, x.uwSelfTotal, Cfg(8));
  }
  if ((ubOpt & kBeautySelfBlend) != 0 && x.ubHavePrev != 0 && x.pswPrevSelf != nullptr) {
    for (uint32_t i = 0; i < x.uwSelfTotal; ++i) {
      const int16_t thr = i < rows ? x.swSelfRowThr : x.swSelfColThr;
      if (x.pswSelf[i] > thr) x.pswSelf[i] = Blend(x.pswSelf[i], x.pswPrevSelf[i], Cfg(9), 4);
    }
  }
}

// The context of the common record: the previous maps are the two beautification pointers
// of its buffer block (no previous frame while either is unset); the self thresholds are
// the configured ones of the self-capacitance filter, the only self thresholds the module
// keeps.
void DiffDataBeautyProc() {
  const CommonRecord& c = gstCommon;
  DiffBeautyCtx x{};
  x.pswPrevDiff = static_cast<const int16_t*>(c.apvBeautyPtr[0]);
  x.pswPrevSelf = static_cast<const int16_t*>(c.apvBeautyPtr[1]);
  x.ubHavePrev = (x.pswPrevDiff != nullptr && x.pswPrevSelf != nullptr) ? 1 : 0;
  x.ubRegionNum = gstResultCommonInput.ubRegionNum;
  x.pswDiff = c.stData.pswDiffData;
  x.pswSelf = c.stData.pswSelfDiffData;
  x.uwNodeNum = std::min<uint16_t>(c.uwNodeNum, kRegionMaxNodes);
  x.swTouchLevel = c.swTouchThreshold;
  x.swSecondLevel = Sat16(c.uwSecondThreshold);
  x.ubSelfRows = c.ubDrvNum;
  x.uwSelfTotal = static_cast<uint16_t>(c.ubDrvNum + c.ubSenNum);
  const uint8_t* cfg = gstSelfCapProcCfg.aubData;
  x.swSelfRowThr = static_cast<int16_t>(cfg[15] | (cfg[16] << 8));
  x.swSelfColThr = static_cast<int16_t>(cfg[17] | (cfg[18] << 8));
  DiffDataBeauty(&x);
}

void MutualDiffDataBeauty(const int16_t* pswIn, uint16_t* puwOut, uint16_t uwNodes, int16_t swSecondLevel) {
  if (pswIn == nullptr || puwOut == nullptr) return;
  const uint8_t ubHigh = gstRegionRoles.ubHighSignal;
  for (uint32_t i = 0; i < uwNodes; ++i) puwOut[i] = static_cast<uint16_t>(BeautyNode(pswIn[i], swSecondLevel, ubHigh));
}

void MutualDiffDataIir(const int16_t* pswIn, int16_t* pswOut, const int16_t* pswPrev, uint16_t uwNodes,
                       int16_t swTouchLevel) {
  if (pswIn == nullptr || pswOut == nullptr || pswPrev == nullptr) return;
  for (uint32_t i = 0; i < uwNodes; ++i) {
    pswOut[i] = pswIn[i] > swTouchLevel ? Blend(pswIn[i], pswPrev[i], Cfg(6), 6) : pswIn[i];
  }
}
