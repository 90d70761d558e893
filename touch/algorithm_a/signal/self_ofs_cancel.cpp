// Self-diff offset cancel and the mutual step mask. No allocation: the group work areas
// lie in the scratch pointer set at initialisation.
#include "self_ofs_cancel.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "lcd_denoise.h"
#include "ref_update.h"
#include "row_denoise.h"
#include "signal_util.h"
#include "tsa_common.h"
#include "tsa_frame_links.h"

SelfDiffOffsetCancelInput* gpstDiffOfsSelfDenoise;
uint8_t* gpstSelfOfsCancelTemp;
uint8_t* gpstMutualOfsCancelTemp;
uint8_t gubBaseCount;
uint8_t gubBaseFlag;
int16_t gswSelfBaseShape[kSelfMaxLines];
int16_t gswSelfLastOutput[kSelfMaxLines];
uint8_t gubSelfTxFree[kSelfMaxDrv];
uint8_t gubSelfRxFree[kSelfMaxSen];
WeightFilterV1V2Param gstCoeCfg;
uint8_t gubKflag;

namespace {

constexpr uint32_t kPairStride = 56;  // basis values lie this many entries after the values
constexpr uint8_t kBaseFrames = 5;
constexpr int32_t kFlatSpan = 40;
constexpr int32_t kBaseLimit = 256;

// Layout of the self scratch.
struct SelfScratch {
  int16_t aswDiff[kSelfMaxLines];
  uint8_t aubMask[kSelfMaxLines];
  int16_t aswWork[kSelfMaxSen];
  int16_t aswPairs[2 * kPairStride];
  int16_t aswBaseline[kSelfMaxSen];
  int16_t aswWorkA[kSelfMaxSen];
  int16_t aswWorkB[kSelfMaxSen];
  int16_t aswWorkC[kSelfMaxSen];
};
static_assert(sizeof(SelfScratch) <= kSelfOfsScratchBytes);

int32_t MeanQ10(int32_t slSum, uint32_t uiCount) {
  return static_cast<int32_t>((static_cast<int64_t>(slSum) * gaswQ10Recip[uiCount < kQ10RecipCount ? uiCount : 0]) >> 10);
}

// A captured base keeps only its shape: mean-free, halved until it fits +-256.
void NormaliseBaseGroup(int16_t* psw, uint32_t n) {
  if (n == 0) return;
  int32_t slSum = 0;
  for (uint32_t i = 0; i < n; ++i) slSum += psw[i];
  const int32_t slMean = slSum / static_cast<int32_t>(n);
  int32_t slPeak = 0;
  for (uint32_t i = 0; i < n; ++i) {
    psw[i] = static_cast<int16_t>(psw[i] - slMean);
    slPeak = std::max(slPeak, std::abs(static_cast<int32_t>(psw[i])));
  }
  while (slPeak > kBaseLimit) {
    slPeak = 0;
    for (uint32_t i = 0; i < n; ++i) {
      psw[i] = static_cast<int16_t>(psw[i] >> 1);
      slPeak = std::max(slPeak, std::abs(static_cast<int32_t>(psw[i])));
    }
  }
}

// Base capture of a wholly free drive-line-sized group: a shape that stays uneven over five
// frames without touch is the panel's own and is fitted out from then on.
void BaseCapture(const int16_t* pswGroup, uint32_t n, bool boAllFree, const SelfDiffOffsetCancelInput& in) {
  if (n != in.ubDrvNum) return;
  if (!boAllFree || pswGroup[0] == 0) {
    gubBaseCount = 0;
    return;
  }
  gubBaseCount = sig::Inc8(gubBaseCount);
  if (gubBaseCount < kBaseFrames || n < 4) return;
  const uint32_t q = n / 4;
  int32_t span[4];
  for (uint32_t k = 0; k < 4; ++k) {
    const uint32_t end = k == 3 ? n - 1 : (k + 1) * q - 1;
    span[k] = pswGroup[k * q] - pswGroup[end];
  }
  const bool boFlat = std::abs(span[0] - span[2]) <= kFlatSpan && std::abs(span[1] - span[3]) <= kFlatSpan &&
                      std::abs(span[0] - span[3]) <= kFlatSpan;
  if (boFlat) return;
  gubBaseCount = 0;
  gubBaseFlag = 1;
  const uint32_t D = std::min<uint32_t>(in.ubDrvNum, kSelfMaxDrv), S = std::min<uint32_t>(in.ubSenNum, kSelfMaxSen);
  memcpy(gswSelfBaseShape, in.pswSelfDiff, (D + S) * sizeof(int16_t));
  NormaliseBaseGroup(gswSelfBaseShape, D);
  NormaliseBaseGroup(gswSelfBaseShape + D, S);
}

// The mode-0 mask of a group: the row denoise body on the group as a one-row map.
uint32_t GroupMaskByBody(SelfScratch& sc, const int16_t* pswGroup, uint32_t uiOff, uint32_t n,
                         const SelfDiffOffsetCancelInput& in) {
  uint8_t ubTouch = 0, ubFree = 0, ubLevel = 0, ubTrend = 0;
  uint16_t uwMedian = 0;
  RowDenoiseBlock b{};
  b.pswMap = pswGroup;
  b.pswNeighbourDiff = sc.aswDiff + uiOff;
  b.pswBaseline = sc.aswBaseline;
  b.pswWorkA = sc.aswWorkA;
  b.pswWorkB = sc.aswWorkB;
  b.pswWorkC = sc.aswWorkC;
  b.puwMedianOut = &uwMedian;
  b.pubNodeMask = sc.aubMask + uiOff;
  b.pubRowTouch = &ubTouch;
  b.pubRowClass = &ubLevel;
  b.pubFreeCount = &ubFree;
  b.pubNoiseLevel = &ubLevel;
  b.pubTrend = &ubTrend;
  b.ubRows = 1;
  b.ubWidth = static_cast<uint8_t>(n);
  b.ubStep = 1;
  b.ubSelfGroup = kRowDenoiseSelf;
  // The self data carries no water or AFE state of its own: both stay clear.
  (void)in;
  RowDenoiseBody(&b);
  return ubFree;
}

}  // namespace

void SelfDiffOffsetCancelInit(uint8_t* pubTemp) {
  gpstSelfOfsCancelTemp = pubTemp;
  gboStylusTouch = 0;
}

void MutualOfsCancelTempInit(uint8_t* pubTemp) { gpstMutualOfsCancelTemp = pubTemp; }

void SelfLinearCalibrate(int16_t* pswValues, const int16_t* pswPairs, uint8_t ubPairs, const int16_t* pswBasis,
                         uint8_t ubCount, uint8_t ubMode) {
  const int16_t* pswV = pswPairs;
  const int16_t* pswB = pswPairs + kPairStride;
  int32_t slSumV = 0, slSumB = 0;
  for (uint32_t i = 0; i < ubPairs; ++i) {
    slSumV += pswV[i];
    slSumB += pswB[i];
  }
  const int32_t slMeanV = ubPairs != 0 ? slSumV / ubPairs : 0;
  const int32_t slMeanB = ubPairs != 0 ? slSumB / ubPairs : 0;
  // The slope of the values over the basis: the basis is the abscissa, so its spread is the
  // denominator.
  int64_t llSbb = 0, llSbv = 0;
  for (uint32_t i = 0; i < ubPairs; ++i) {
    llSbb += static_cast<int64_t>(pswB[i] - slMeanB) * (pswB[i] - slMeanB);
    llSbv += static_cast<int64_t>(pswB[i] - slMeanB) * (pswV[i] - slMeanV);
  }
  const int64_t k = llSbb == 0 ? 0 : (llSbv * 64) / llSbb;
  if (ubMode == 1 && (k >= 832 || k <= -832)) {
    gubKflag = 1;
    return;
  }
  gubKflag = 0;
  const int64_t kClamped = std::clamp<int64_t>(k, -32767, 32767);
  gstCoeCfg.ubRows = 1;
  gstCoeCfg.ubCols = ubCount;
  gstCoeCfg.swBias = static_cast<int16_t>(std::clamp<int64_t>(((slMeanB * kClamped) >> 6) - slMeanV, -32768, 32767));
  gstCoeCfg.swWeight1 = 1;
  gstCoeCfg.swWeight2 = static_cast<int16_t>(-kClamped);
  gstCoeCfg.ubShift = 0;
  gstCoeCfg.ubShift1 = 0;
  gstCoeCfg.ubShift2 = 6;
  if (ubCount != 0) LibXpu2WeightFilterV1V2S16(pswValues, pswBasis, &gstCoeCfg, pswValues);
}

uint32_t SelfDiffOffsetCancel(SelfDiffOffsetCancelInput* pstIn) {
  gpstDiffOfsSelfDenoise = pstIn;
  SelfDiffOffsetCancelInput& in = *pstIn;
  in.ubResult = 0;
  int16_t* v = in.pswSelfDiff;
  if (v == nullptr || gpstSelfOfsCancelTemp == nullptr) return 0;
  auto& sc = *reinterpret_cast<SelfScratch*>(gpstSelfOfsCancelTemp);
  const uint32_t D = std::min<uint32_t>(in.ubDrvNum, kSelfMaxDrv), S = std::min<uint32_t>(in.ubSenNum, kSelfMaxSen);
  const uint32_t uiGroups[2][2] = {{0, D}, {D, S}};
  if (in.ubMode == 0) {
    if (gboStylusTouch != 0) {
      memcpy(v, gswSelfLastOutput, (D + S) * sizeof(int16_t));
      return 0;
    }
    for (const auto& g : uiGroups) {
      const uint32_t o = g[0], n = g[1];
      for (uint32_t i = 0; i + 1 < n; ++i) sc.aswDiff[o + i] = static_cast<int16_t>(v[o + i] - v[o + i + 1]);
      if (n >= 2) sc.aswDiff[o + n - 1] = sc.aswDiff[o + n - 2];
      if (n == 1) sc.aswDiff[o] = 0;
    }
    memset(sc.aubMask, 0, sizeof(sc.aubMask));
  }
  uint32_t uiEmptied = 0, uiSeen = 0;
  for (uint32_t gi = 0; gi < 2; ++gi) {
    const uint32_t o = uiGroups[gi][0], n = uiGroups[gi][1];
    if (n == 0) continue;
    ++uiSeen;
    int16_t* pswGroup = v + o;
    const uint8_t* pubMask = nullptr;
    if (in.ubMode == 0) {
      GroupMaskByBody(sc, pswGroup, o, n, in);
      pubMask = sc.aubMask + o;
    } else {
      pubMask = gi == 0 ? gubSelfTxFree : gubSelfRxFree;
    }
    uint32_t uiFree = 0, uiFirst = n, uiLast = 0;
    for (uint32_t i = 0; i < n; ++i) {
      if (pubMask[i] != kNodeFree) continue;
      ++uiFree;
      uiFirst = std::min(uiFirst, i);
      uiLast = i;
    }
    if (in.ubMode != 0) BaseCapture(pswGroup, n, uiFree == n, in);
    if (uiFree >= std::max<uint32_t>(n / 4, 8) && uiLast - uiFirst > n / 2) {
      int16_t* pswWork = sc.aswWork;
      memcpy(pswWork, pswGroup, n * sizeof(int16_t));
      int16_t aswRamp[kSelfMaxSen];
      for (uint32_t i = 0; i < n; ++i) aswRamp[i] = static_cast<int16_t>(i);
      int32_t slSum = 0;
      uint8_t aubSel[kSelfMaxSen];
      for (uint32_t i = 0; i < n; ++i) {
        aubSel[i] = pubMask[i] == kNodeFree ? 1 : 0;
        slSum += aubSel[i] != 0 ? pswGroup[i] : 0;
      }
      if (gubBaseFlag != 0) {
        int16_t aswXc[kSelfMaxSen];
        for (uint32_t i = 0; i < n; ++i) aswXc[i] = static_cast<int16_t>(static_cast<int32_t>(i) - static_cast<int32_t>(n / 2));
        LcdFitTwoBasis(pswWork, n, aubSel, MeanQ10(slSum, uiFree), gswSelfBaseShape + o, aswXc);
      } else {
        uint32_t k = 0;
        for (uint32_t i = 0; i < n; ++i) {
          if (aubSel[i] == 0) continue;
          sc.aswPairs[k] = pswGroup[i];
          sc.aswPairs[kPairStride + k] = aswRamp[i];
          ++k;
        }
        SelfLinearCalibrate(pswWork, sc.aswPairs, static_cast<uint8_t>(k), aswRamp, static_cast<uint8_t>(n), 0);
      }
      memcpy(pswGroup, pswWork, n * sizeof(int16_t));
    } else if (uiFree >= 3) {
      int32_t slSum = 0;
      for (uint32_t i = 0; i < n; ++i) slSum += pubMask[i] == kNodeFree ? pswGroup[i] : 0;
      const int32_t slMean = MeanQ10(slSum, uiFree);
      for (uint32_t i = 0; i < n; ++i) pswGroup[i] = static_cast<int16_t>(std::clamp(pswGroup[i] - slMean, -32768, 32767));
    } else {
      memset(pswGroup, 0, n * sizeof(int16_t));
      ++uiEmptied;
    }
  }
  in.ubResult = (uiSeen == 2 && uiEmptied == 2) ? 1 : 0;
  if (in.ubMode != 0) {
    const bool boStylus = static_cast<int32_t>(in.uwStylusTest) < in.swStylusUpper - in.swStylusMargin;
    gboStylusTouch = (boStylus || in.ubStylusFlag != 0) ? 1 : 0;
    memcpy(gswSelfLastOutput, v, (D + S) * sizeof(int16_t));
  }
  return 0;
}

void CalcRowMaxDelta(const int16_t* pswMap, uint16_t* puwOut, uint8_t ubRows, uint8_t ubCols) {
  for (uint32_t r = 0; r < ubRows; ++r) {
    int32_t slMax = 0;
    const int16_t* pswRow = pswMap + r * ubCols;
    for (uint32_t c = 0; c + 2 < ubCols; ++c) slMax = std::max(slMax, std::abs(pswRow[c + 2] - pswRow[c]));
    puwOut[r] = static_cast<uint16_t>(std::min(slMax, 65535));
  }
}

void ResetMaskFlagBySteps(const uint16_t* puwSteps, uint16_t uwThreshold, uint8_t ubRows, uint64_t* pullMask) {
  uint64_t ullStrong = 0, ullWeak = 0;
  for (uint32_t r = 0; r < ubRows && r < 64; ++r) {
    if (puwSteps[r] > uwThreshold) ullStrong |= 1ull << r;
    if (puwSteps[r] >= 9 || puwSteps[r] > uwThreshold) ullWeak |= 1ull << r;
  }
  *pullMask = (ullStrong | (ullStrong << 1) | (ullStrong >> 1)) & ullWeak;
}

uint64_t ResetMaskFlag(const int16_t* pswDiff, uint8_t ubRows, uint8_t ubCols, uint16_t uwThreshold) {
  uint16_t auwLocal[kSelfMaxDrv];
  const uint32_t R = std::min<uint32_t>(ubRows, kSelfMaxDrv);
  // The per-row steps live in the mutual cancel's scratch once it is set.
  uint16_t* puwSteps = gpstMutualOfsCancelTemp != nullptr ? reinterpret_cast<uint16_t*>(gpstMutualOfsCancelTemp) : auwLocal;
  CalcRowMaxDelta(pswDiff, puwSteps, static_cast<uint8_t>(R), ubCols);
  uint64_t ullMask = 0;
  ResetMaskFlagBySteps(puwSteps, uwThreshold, static_cast<uint8_t>(R), &ullMask);
  return ullMask;
}

// The record from the module's records. The hold byte, inverted, is the mode: masks from
// the LCD denoise normally, the row denoise body per group while the hold is set. The
// stylus test compares the frame's mutual maximum with the second threshold less the touch
// threshold (the two words as one, halves swapped).
void SelfDiffOffsetCancelWrapper() {
  if (gstCommon.stData.pswSelfDiffData == nullptr || gpstSelfOfsCancelTemp == nullptr) return;
  SelfDiffOffsetCancelInput in{};
  in.ubDrvNum = gstCommon.ubDrvNum;
  in.ubSenNum = gstCommon.ubSenNum;
  in.ubMode = static_cast<uint8_t>(gstCommon.ubSelfOfsHold ^ 1u);
  in.uwStylusTest = static_cast<uint16_t>(gstMutualOfsCancel.swMax);
  in.swStylusUpper = static_cast<int16_t>(gstCommon.uwSecondThreshold);
  in.swStylusMargin = gstCommon.swTouchThreshold;
  in.pswSelfDiff = gstCommon.stData.pswSelfDiffData;
  SelfDiffOffsetCancel(&in);
  gstCommon.ubSelfOfsResult = in.ubResult;
}
