// LCD denoise: the size gate at initialisation.
#include "lcd_denoise.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "diff_stages.h"
#include "framework.h"
#include "frnn.h"
#include "region_lib.h"
#include "row_denoise.h"
#include "self_ofs_cancel.h"
#include "signal_util.h"
#include "signal_proc.h"
#include "tsa_common.h"
#include "tsa_os.h"

uint8_t gboLcdDenoiseUsable;

namespace {
// The refused size last logged: start-up initialises the diff stages more than once, and
// one line per refused configuration is enough.
uint16_t guwLcdDenoiseRefused;
}  // namespace

bool LcdDenoiseSizeAccepted(uint8_t ubRows, uint8_t ubCols) {
  return ubRows >= kLcdDenoiseMinRows && ubRows <= kLcdDenoiseMaxRows && ubCols >= kLcdDenoiseMinCols &&
         ubCols <= kLcdDenoiseMaxCols;
}

namespace {
LcdDenoiseInput gstLcdDenoiseInput;
int16_t gaswProfileCfg[56];
}  // namespace

// The record the module wrappers hand to the denoise. The per-frame call never runs the
// network; the hold input (reference being rebuilt, low temperature, water, the first 500
// frames) goes into the reference-state byte, where it stops the shaking-line averaging.
static void FillLcdDenoiseInput() {
  LcdDenoiseInput& in = gstLcdDenoiseInput;
  memset(&in, 0, sizeof(in));
  in.ubTouchNum = gstCommon.ubTouchCount;
  in.ubCols = gstCommon.ubSenNum;
  in.ubRows = gstCommon.ubDrvNum;
  in.uwNodes = static_cast<uint16_t>(in.ubCols * in.ubRows);
  in.uwMaskThreshold = gstCommon.uwMaskThreshold;
  in.uwTouchedThreshold = gstCommon.uwThreshold2;
  memcpy(gaswProfileCfg, gstDenoiseCommonCfg.aubData + 18, sizeof(gaswProfileCfg));
  in.pswProfile = gaswProfileCfg;
  in.puwRef = gstCommon.stData.puwRefData;
  in.puwRaw = gstCommon.puwRawForDiff;
  in.ubRefState = (gstCommon.ubLowTempState == 2 || gstCommon.ubWaterResult != 0) ? 1 : gstCommon.ubRefUpdateFlag;
  in.ubLargeTouch = gstCommon.ubLargeAreaFlag;
  in.pubNetBuffer = gpubDlCache;
  in.pubShakeList = gpubShakeRxList;
  in.pswDiff = gstCommon.stData.pswDiffData;
  in.pubScratch = gstCommon.pubTempArena;
}

void AppLcdDenoiseFilterWrapper() {
  if (gboLcdDenoiseUsable == 0 || gpstDiffDenoise != &gstLcdDenoiseInput) return;
  LcdDenoiseInput& in = gstLcdDenoiseInput;
  if (in.pswDiff == nullptr || in.pubScratch == nullptr) return;
  in.ubTouchNum = gstCommon.ubTouchCount;
  gboLargeTouchStaBak = gstCommon.ubLargeAreaFlag;
  AppLcdDenoiseFilter(&in);
  gullDiffOverFlag = in.ullTouchedRows;
  gullHighNoiseB = in.ullNoisyRows;
  gstCommon.ubLcdDenoiseResult = in.ubNoiseLevelOut;
}

namespace {
LcdDenoiseInput gstMapDenoiseInput;
int16_t gaswMapProfile[56];
}  // namespace

void LcdDenoiseMap(int16_t* pswMap, const LcdDenoiseMapArgs& a) {
  if (gboLcdDenoiseUsable == 0 || gstCommon.pubTempArena == nullptr || pswMap == nullptr ||
      !LcdDenoiseSizeAccepted(a.ubRows, a.ubCols))
    return;
  LcdDenoiseInput& in = gstMapDenoiseInput;
  memset(&in, 0, sizeof(in));
  in.ubCols = a.ubCols;
  in.ubRows = a.ubRows;
  in.ubRefRun = 1;
  in.uwNodes = static_cast<uint16_t>(a.ubRows * a.ubCols);
  in.uwMaskThreshold = a.uwMaskThreshold;
  in.uwTouchedThreshold = a.uwTouchedThreshold;
  memcpy(gaswMapProfile, gstDenoiseCommonCfg.aubData + 18, sizeof(gaswMapProfile));
  in.pswProfile = gaswMapProfile;
  in.puwRef = a.puwRef;
  in.puwRaw = a.puwRaw;
  in.pubShakeList = gpubShakeRxList;
  in.pubNetBuffer = a.pubNetBuffer;
  in.ubNetEnable = a.ubNetEnable;
  in.pswDiff = pswMap;
  in.pubScratch = gstCommon.pubTempArena;
  LcdDenoiseInput* pstKept = gpstDiffDenoise;
  AppLcdDenoiseFilter(&in);
  gpstDiffDenoise = pstKept;
}

void AppLcdDenoiseInitialWrapper(uint8_t ubFirst) {
  const uint8_t ubRows = gstCommon.ubDrvNum;
  const uint8_t ubCols = gstCommon.ubSenNum;
  const bool boOk = LcdDenoiseSizeAccepted(ubRows, ubCols);
  // Checked here rather than every frame: the panel size only changes with a new
  // configuration, which initialises again.
  const auto uwSize = static_cast<uint16_t>((ubRows << 8) | ubCols);
  if (!boOk && uwSize != guwLcdDenoiseRefused) {
    FerxLogPrint("LcdDenoiseInit", FERX_LOG_ERR, "LCD denoise off: %u x %u panel outside %u-%u rows, %u-%u columns",
                 static_cast<unsigned>(ubRows), static_cast<unsigned>(ubCols), unsigned{kLcdDenoiseMinRows},
                 unsigned{kLcdDenoiseMaxRows}, unsigned{kLcdDenoiseMinCols}, unsigned{kLcdDenoiseMaxCols});
  }
  guwLcdDenoiseRefused = boOk ? 0 : uwSize;
  // The filters run on the state the initialisation builds: without it they stay off.
  gboLcdDenoiseUsable = 0;
  FillLcdDenoiseInput();
  if (boOk && gstLcdDenoiseInput.pubScratch != nullptr && gstLcdDenoiseInput.pswDiff != nullptr) {
    AppLcdDenoiseInitial(&gstLcdDenoiseInput, ubFirst);
    gboLcdDenoiseUsable = 1;
  }
}

// ---------------------------------------------------------------------------------------
// Denoise core.

namespace {

constexpr std::array<int16_t, kQ10RecipCount> MakeQ10Recip() {
  std::array<int16_t, kQ10RecipCount> a{};
  for (uint32_t n = 1; n < kQ10RecipCount; ++n) a[n] = static_cast<int16_t>((1024u + n / 2u) / n);
  return a;
}
constexpr std::array<int16_t, kQ10RecipCount> kRecip = MakeQ10Recip();

constexpr uint8_t kMaxCols = 56;
constexpr int32_t kBigOffset = 500;
constexpr uint8_t kRects = 12;
constexpr uint8_t kShakeListLen = 56;
constexpr uint8_t kNoBasisRow = 255;

// The fit tables: abscissa terms of every column and the mean-free profile copy.
struct FitTables {
  uint16_t auwX[kMaxCols];
  int16_t aswXc[kMaxCols];
  uint16_t auwX2[kMaxCols];
  int32_t aslX3[kMaxCols];
  uint64_t ullSumX3Sq;
  uint64_t ullSumX3Xc;
  uint32_t ulSumX;
  uint32_t ulSumX2;
  int32_t slSumX3;
  int16_t aswProfile[kMaxCols + 1];  // mean-free; 255 just past the last column
  // A bowl kept beside the profile. No fit uses it: a row's own shape, taken as the basis
  // of a later pass, goes to the basis copy below instead.
  int16_t aswParabola[kMaxCols];
  uint32_t uiRescueLowerBound;  // 0: the body's edge-column rescue works from its class alone
  int16_t aswBasis[kMaxCols];   // profile basis of the current fit
  uint8_t ubBasisRow;           // row whose values are the basis, 255 = the configured profile
  uint8_t aubRowFlag[52];       // trend flags of the row denoise body
  uint8_t aubRowClass[52];      // row classes, then the re-fit requests of the offset cancel
};
FitTables gstFit;

// The mean through the rounded Q10 reciprocal: exact for widths that divide 1024, a little
// off for others (1024/56 rounds to 18, 1024/52 to 20), which moves the 500 row-offset gate
// to 508 on 56 columns and 493 on 52. Kept as the module computes it.
int32_t MeanQ10(int32_t slSum, uint32_t uiCount) {
  return static_cast<int32_t>((static_cast<int64_t>(slSum) * kRecip[uiCount < kQ10RecipCount ? uiCount : 0]) >> 10);
}

bool FitsS32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// Least-squares fit of ROW (COUNT values, offset already known) to a x P + b x Q over the
// selected nodes (SEL[c] non-zero; null: all), both bases made mean-free over those nodes
// and the profile scaled to at most 256 in magnitude; every value loses offset + the fit.
void FitRowTwoBasisSel(int16_t* pswRow, uint32_t uiCount, const uint8_t* pubSel, int32_t slOffset, const int16_t* pswP,
                       const int16_t* pswQ) {
  int32_t aslP[kMaxCols], aslQ[kMaxCols];
  int32_t slSumP = 0, slSumQ = 0;
  uint32_t uiN = 0;
  for (uint32_t i = 0; i < uiCount; ++i) {
    if (pubSel != nullptr && pubSel[i] == 0) continue;
    slSumP += pswP[i];
    slSumQ += pswQ[i];
    ++uiN;
  }
  const int32_t slMeanP = MeanQ10(slSumP, uiN), slMeanQ = MeanQ10(slSumQ, uiN);
  int32_t slMaxP = 0;
  for (uint32_t i = 0; i < uiCount; ++i) {
    aslP[i] = pswP[i] - slMeanP;
    aslQ[i] = pswQ[i] - slMeanQ;
    slMaxP = std::max(slMaxP, std::abs(aslP[i]));
  }
  uint32_t uiShift = 0;
  while ((slMaxP >> uiShift) > 256) ++uiShift;
  int64_t PP = 0, PQ = 0, QQ = 0, Pr = 0, Qr = 0;
  for (uint32_t i = 0; i < uiCount; ++i) {
    aslP[i] >>= uiShift;
    if (pubSel != nullptr && pubSel[i] == 0) continue;
    const int64_t r = pswRow[i] - slOffset;
    PP += static_cast<int64_t>(aslP[i]) * aslP[i];
    PQ += static_cast<int64_t>(aslP[i]) * aslQ[i];
    QQ += static_cast<int64_t>(aslQ[i]) * aslQ[i];
    Pr += aslP[i] * r;
    Qr += aslQ[i] * r;
  }
  int64_t det = PP * QQ - PQ * PQ;
  int64_t numA = Pr * QQ - Qr * PQ;
  int64_t numB = PP * Qr - PQ * Pr;
  while (!FitsS32(det) || !FitsS32(numA) || !FitsS32(numB)) {
    det /= 2;
    numA /= 2;
    numB /= 2;
  }
  const int64_t a = det == 0 ? 0 : (numA * 1024) / det;
  const int64_t b = det == 0 ? 0 : (numB * 1024) / det;
  for (uint32_t i = 0; i < uiCount; ++i) {
    const int64_t fit = slOffset + ((a * aslP[i] + b * aslQ[i]) >> 10);
    pswRow[i] = static_cast<int16_t>(std::clamp<int64_t>(pswRow[i] - fit, INT16_MIN, INT16_MAX));
  }
}

void FitRowTwoBasis(int16_t* pswRow, uint32_t uiCount, int32_t slOffset, const int16_t* pswP, const int16_t* pswQ) {
  FitRowTwoBasisSel(pswRow, uiCount, nullptr, slOffset, pswP, pswQ);
}

// A fit that roughens the row is undone: one step grown by more than the level and above
// level + 30, or the steps together grown by more than 50.
bool FitRoughened(const int16_t* pswNew, const int16_t* pswOld, uint32_t uiCount, int32_t slLevel) {
  int32_t slOld = 0, slNew = 0;
  for (uint32_t j = 0; j + 1 < uiCount; ++j) {
    const int32_t o = std::abs(pswOld[j] - pswOld[j + 1]);
    const int32_t n = std::abs(pswNew[j] - pswNew[j + 1]);
    if (n - o > slLevel && n > slLevel + 30) return true;
    slOld += o;
    slNew += n;
  }
  return slOld + 50 < slNew;
}

void RowFit(LcdDenoiseInput& in) {
  const uint32_t R = in.ubRows, C = in.ubCols;
  for (uint32_t r = 0; r < R; ++r) {
    int16_t* pswRow = in.pswDiff + r * C;
    int32_t slSum = 0;
    for (uint32_t c = 0; c < C; ++c) slSum += pswRow[c];
    const int32_t slOffset = MeanQ10(slSum, C);
    const int32_t slAbs = std::abs(slOffset);
    if (slAbs < kBigOffset) continue;
    const int32_t slLevel = slAbs < 3200 ? (slAbs >> 5) : 100;
    FitRowTwoBasis(pswRow, C, slOffset, gstFit.aswProfile, gstFit.aswXc);
    const int16_t* pswOld = gswDiffBackup + r * C;
    if (FitRoughened(pswRow, pswOld, C, slLevel)) {
      memcpy(pswRow, pswOld, C * 2u);
      guwRowNoiseLevel[r] = 0;
    } else {
      guwRowNoiseLevel[r] = static_cast<uint16_t>(slLevel);
    }
  }
}

struct RowStats {
  uint64_t ullBigRows;
  uint8_t ubMinFree;
  uint8_t ubLongestRun;
};

RowStats RowStatistics(const LcdDenoiseInput& in) {
  const uint32_t R = in.ubRows, C = in.ubCols;
  RowStats st{0, 255, 0};
  uint8_t ubRun = 0;
  for (uint32_t r = 0; r < R; ++r) {
    const bool boMasked = gpubMutualTouchTX[r] != kLcdFree && in.ubWholeRow == 0;
    int32_t slSum = 0;
    uint32_t uiN = 0;
    for (uint32_t c = 0; c < C; ++c) {
      if (boMasked && gpubMutualTouchRX[c] != kLcdFree) continue;
      slSum += in.pswDiff[r * C + c];
      ++uiN;
    }
    if (std::abs(MeanQ10(slSum, uiN)) > kBigOffset) st.ullBigRows |= 1ull << r;
    st.ubMinFree = std::min(st.ubMinFree, gubRowFreeCount[r]);
    ubRun = gubRowFreeCount[r] < C ? static_cast<uint8_t>(ubRun + 1) : 0;
    st.ubLongestRun = std::max(st.ubLongestRun, ubRun);
  }
  return st;
}

// Steps 4 and 5 of a call: whether the rows or the tracked touches ask for the network.
bool NetworkAsked(const LcdDenoiseInput& in, const RowStats& st) {
  const uint32_t R = in.ubRows, C = in.ubCols;
  bool boEdge = false, boAtOnce = false;
  if (in.ubRefRun == 0 && in.puiRects != nullptr && in.puwRectNodes != nullptr) {
    for (uint32_t k = 0; k < kRects; ++k) {
      const uint16_t uwNodes = in.puwRectNodes[k];
      if (uwNodes == 0) continue;
      const uint32_t rc = in.puiRects[k];
      const uint32_t rs = rc & 0xFFu, re = (rc >> 8) & 0xFFu, cs = (rc >> 16) & 0xFFu, ce = rc >> 24;
      if (uwNodes <= 84 && (cs == 0 || ce == C - 1)) boEdge = true;
      if (st.ullBigRows == 0) continue;
      const bool boNearEdge = cs < 5 || ce + 6 > C;
      const uint64_t ullLow = re >= 63 ? ~0ull : ((1ull << re) - 1);
      const bool boOverlap = rs < 64 && ((st.ullBigRows >> rs) & ullLow) != 0;
      if (boOverlap && boNearEdge && in.ubTouchNum != 0) boAtOnce = true;
    }
  }
  if (boAtOnce || boEdge) return true;
  if (C / 2 > st.ubMinFree && (((R * kRecip[3]) >> 10) < st.ubLongestRun || in.ubTouchNum > 5)) return true;
  const uint32_t uiNear = C - ((C * 171) >> 9);
  if (gubRowFreeCount[0] < C / 2 + 3 && gubRowFreeCount[1] < uiNear) return true;
  return gubRowFreeCount[R - 1] < C / 2 + 3 && gubRowFreeCount[R - 2] < uiNear;
}

// Edge shaking lines are replaced by their inner neighbour while the rows are fitted.
struct ShakeSave {
  bool boFirst = false;
  bool boLast = false;
};

ShakeSave ReplaceShakeLines(LcdDenoiseInput& in) {
  ShakeSave sv;
  const uint32_t R = in.ubRows, C = in.ubCols;
  uint8_t* pubList = in.pubShakeList;
  gubShakeNum = 0;
  if (pubList == nullptr) return sv;
  if ((gstDenoiseCommonCfg.aubData[0] & 0x10u) == 0) memset(pubList, kLcdFree, kShakeListLen);
  while (gubShakeNum < kShakeListLen && pubList[gubShakeNum] != kLcdFree) ++gubShakeNum;
  if (gubShakeNum == 0 || gubShakeNum > 2) return sv;
  for (uint32_t k = 0; k < gubShakeNum; ++k) {
    if (pubList[k] == 0 && !sv.boFirst) {
      sv.boFirst = true;
      for (uint32_t r = 0; r < R; ++r) {
        guwShakeFirstColumn[r] = static_cast<uint16_t>(in.pswDiff[r * C]);
        in.pswDiff[r * C] = in.pswDiff[r * C + 1];
      }
    } else if (pubList[k] == C - 1 && !sv.boLast) {
      sv.boLast = true;
      for (uint32_t r = 0; r < R; ++r) {
        guwShakeLastColumn[r] = static_cast<uint16_t>(in.pswDiff[r * C + C - 1]);
        in.pswDiff[r * C + C - 1] = in.pswDiff[r * C + C - 2];
      }
    }
  }
  return sv;
}

void RestoreShakeLines(LcdDenoiseInput& in, const ShakeSave& sv) {
  const uint32_t R = in.ubRows, C = in.ubCols;
  for (uint32_t r = 0; r < R; ++r) {
    if (sv.boFirst) in.pswDiff[r * C] = static_cast<int16_t>(guwShakeFirstColumn[r]);
    if (sv.boLast) in.pswDiff[r * C + C - 1] = static_cast<int16_t>(guwShakeLastColumn[r]);
  }
}

}  // namespace

const std::array<int16_t, kQ10RecipCount> gaswQ10Recip = kRecip;

LcdDenoiseInput* gpstDiffDenoise;
uint8_t gubNoiseLevel;
uint8_t gubNeedDlSito;
uint8_t gubShakeNum;
uint8_t gubLastLastOutNum;
uint8_t gubSuspendNum;
uint8_t gubShakecalcAveNum;
uint8_t gubRowFreeCount[52];
uint16_t guwRowNoiseLevel[52];
int16_t gswDiffBackup[2912];
int16_t gswColumnProfile[56];
uint16_t guwShakeFirstColumn[52];
uint16_t guwShakeLastColumn[52];
uint8_t* gpubMutualTouchTX;
uint8_t* gpubMutualTouchRX;

void DenoiseSetTempSizeInit() {
  if (guwTempBufferSizes < kLcdDenoiseScratchBytes) guwTempBufferSizes = kLcdDenoiseScratchBytes;
}

void AppLcdDenoiseInitial(LcdDenoiseInput* pstIn, uint8_t ubFirst) {
  gpstDiffDenoise = pstIn;
  DenoiseNetInit();
  gubNoiseLevel = 0;
  gubLastLastOutNum = 0;
  gubSuspendNum = 0;
  gubShakecalcAveNum = 0;
  pstIn->ubNoiseLevelOut = 0;
  const uint32_t R = pstIn->ubRows, C = pstIn->ubCols;
  gpubMutualTouchTX = pstIn->pubScratch + pstIn->uwNodes + kLcdDenoiseNodeMaskAt;
  gpubMutualTouchRX = gpubMutualTouchTX + R;
  // Before the first run no row has been classified: every row and column starts free.
  memset(gpubMutualTouchTX, kLcdFree, R + C);
  gstCoeCfg = {};
  gstCoeCfg.ubRows = 1;
  gstCoeCfg.ubCols = static_cast<uint8_t>(C);
  gstCoeCfg.swWeight1 = 1;
  gstCoeCfg.ubShift2 = 6;
  memset(gubShakeSpikeCount, 0, sizeof(gubShakeSpikeCount));
  memset(gscShakeLineMean, 0, sizeof(gscShakeLineMean));
  if (ubFirst != 1) return;
  FitTables& f = gstFit;
  memset(&f, 0, sizeof(f));
  memcpy(gswColumnProfile, pstIn->pswProfile, sizeof(gswColumnProfile));
  memset(gubRowFreeCount, kMaxCols, sizeof(gubRowFreeCount));
  memset(gastRowFitRecord, 0, R * 8u);
  f.ubBasisRow = kNoBasisRow;
  int32_t slSum = 0;
  for (uint32_t c = 0; c < C; ++c) slSum += gswColumnProfile[c];
  const int32_t slMean = slSum / static_cast<int32_t>(C);
  for (uint32_t c = 0; c < C; ++c) f.aswProfile[c] = static_cast<int16_t>(gswColumnProfile[c] - slMean);
  f.aswProfile[C] = 255;
  for (uint32_t c = 0; c < C; ++c) {
    const int32_t xc = static_cast<int32_t>(c) - static_cast<int32_t>(C / 2);
    f.auwX[c] = static_cast<uint16_t>(c);
    f.aswXc[c] = static_cast<int16_t>(xc);
    f.auwX2[c] = static_cast<uint16_t>(c * c);
    f.aslX3[c] = (xc * xc * xc) >> 8;
    f.ulSumX += c;
    f.ulSumX2 += c * c;
    f.slSumX3 += f.aslX3[c];
    f.ullSumX3Sq += static_cast<uint64_t>(static_cast<int64_t>(f.aslX3[c]) * f.aslX3[c]);
    f.ullSumX3Xc += static_cast<uint64_t>(static_cast<int64_t>(f.aslX3[c]) * xc);
    f.aswParabola[c] = static_cast<int16_t>(((xc * xc) >> 1) - 100);
  }
  const int32_t slMeanX3 = f.slSumX3 / static_cast<int32_t>(C);
  for (uint32_t c = 0; c < C; ++c) f.aslX3[c] -= slMeanX3;
  f.aswParabola[0] = static_cast<int16_t>(f.aswParabola[0] + 90);
  f.aswParabola[C - 1] = static_cast<int16_t>(f.aswParabola[C - 1] - 20);
}

uint8_t gubLastSuspend;
uint8_t gubLastSuspendNew;
uint8_t gboLargeTouchStaBak;
uint8_t gubStep = 1;
uint8_t gubFitPointNum;
uint8_t gubNeedSitoNum;
uint8_t gubShakeSpikeCount[104];
int8_t gscShakeLineMean[104];
uint8_t gastRowFitRecord[52 * 8];
int16_t gswColumnWorkA[56];
int16_t gswColumnWorkB[56];
int16_t gswColumnWorkC[56];
int16_t gswRowWork[52];
int16_t gswRowMinimum[52];
uint8_t gubRowRefitCount[52];
uint16_t guwRowMedian[52];

namespace {

constexpr uint8_t kRefitDone = 3;
constexpr uint32_t kBaselineAt = kLcdDenoiseScratchBytes - 2u * kMaxCols;  // the body's baseline row

bool WaterSet() { return gstCommon.ubWaterFlag != 0; }
bool NetAsked(const LcdDenoiseInput& in) { return in.ubNetEnable != 0 && gubNeedDlSito == 1; }
uint8_t* NodeMask(const LcdDenoiseInput& in) { return in.pubScratch + kLcdDenoiseNodeMaskAt; }

struct Rect {
  int32_t rs, re, cs, ce;
};
Rect Unpack(uint32_t ui) {
  return {static_cast<int32_t>(ui & 0xFFu), static_cast<int32_t>((ui >> 8) & 0xFFu),
          static_cast<int32_t>((ui >> 16) & 0xFFu), static_cast<int32_t>(ui >> 24)};
}
bool Shares(const Rect& a, const Rect& b) {
  if (a.re < a.rs || a.ce < a.cs || b.re < b.rs || b.ce < b.cs) return false;
  return a.rs <= b.re && b.rs <= a.re && a.cs <= b.ce && b.cs <= a.ce;
}

// Sampled extremes of the restored rows over nodes free of touch, columns 6, 8, ... up to
// the first at or beyond cols - 8.
struct Samples {
  int16_t aswMax[52];
  int16_t aswMin[52];
};

void SampleRows(const LcdDenoiseInput& in, Samples& sm) {
  const uint32_t R = in.ubRows, C = in.ubCols;
  const uint8_t* pubMask = NodeMask(in);
  for (uint32_t r = 0; r < R; ++r) {
    int32_t slMax = -32767, slMin = 32767;
    for (uint32_t c = 6; C > 12; c += 2) {
      if (pubMask[r * C + c] == kLcdFree) {
        slMax = std::max<int32_t>(slMax, in.pswDiff[r * C + c]);
        slMin = std::min<int32_t>(slMin, in.pswDiff[r * C + c]);
      }
      if (c >= C - 8) break;
    }
    sm.aswMax[r] = static_cast<int16_t>(slMax);
    sm.aswMin[r] = static_cast<int16_t>(slMin);
  }
}

void RunRowClassification(LcdDenoiseInput& in) {
  const uint32_t R = in.ubRows, C = in.ubCols;
  uint8_t aubFree[52] = {};
  RowDenoiseBlock b{};
  b.pswMap = in.pswDiff;
  b.pswNeighbourDiff = reinterpret_cast<const int16_t*>(in.pubScratch);
  b.puwRef = in.puwRef;
  b.puwRaw = in.puwRaw;
  b.pswBaseline = reinterpret_cast<int16_t*>(in.pubScratch + kBaselineAt);
  b.pswWorkA = gswColumnWorkA;
  b.pswWorkB = gswColumnWorkB;
  b.pswWorkC = gswColumnWorkC;
  b.puwMedianOut = guwRowMedian;
  b.pubNodeMask = NodeMask(in);
  b.pubRowTouch = gpubMutualTouchTX;
  b.pubRowClass = gstFit.aubRowClass;
  b.pubFreeCount = aubFree;
  b.pubNoiseLevel = &gubNoiseLevel;
  b.pubTrend = gstFit.aubRowFlag;
  b.pubPrevFree = gubRowFreeCount;
  b.puwLevel = guwRowNoiseLevel;
  b.ubRows = static_cast<uint8_t>(R);
  b.ubWidth = static_cast<uint8_t>(C);
  b.ubStep = gubStep;
  b.ubTouchNum = in.ubTouchNum;
  b.ubLastSuspend = gubLastSuspend;
  b.ubDiffMode = in.ubDiffMode;
  b.uwRescueLowerBound = static_cast<uint16_t>(gstFit.uiRescueLowerBound);
  b.ubSelfGroup = kRowDenoiseMutual;
  b.ubLargeTouch = in.ubLargeTouch;
  b.ubWater = WaterSet() ? 1 : 0;
  b.ubAfe = in.ubBodyOption;
  memset(gstFit.aubRowFlag, 0, sizeof(gstFit.aubRowFlag));
  if (NetAsked(in)) {
    LcdDenoiseNetPost(&b);
  } else {
    RowDenoiseBody(&b);
  }
  if (in.ubRefRun == 0 && in.puwRowLevelOut != nullptr) {
    memcpy(in.puwRowLevelOut, guwRowNoiseLevel, R * sizeof(uint16_t));
    in.puwRowLevelOut[R] = gubNeedDlSito;
    in.puwRowLevelOut[R + 1] = static_cast<uint16_t>(gswColumnProfile[0]);
    in.puwRowLevelOut[R + 2] = static_cast<uint16_t>(gswColumnProfile[C - 1]);
  }
  memcpy(gubRowFreeCount, aubFree, R);
}

// Touch count steady at 2 to 4 near a side: the count of such frames rises unless a span
// between two tracked touches holds a markedly negative companion.
void CountSuspend(const LcdDenoiseInput& in) {
  const int32_t C = in.ubCols;
  gubLastSuspendNew = 1;
  const bool boSteady = in.ubTouchNum >= 2 && in.ubTouchNum <= 4 && in.ubTouchNum == gubLastLastOutNum &&
                        in.ubWholeRow == 0 && in.ubSuspendEnable != 0;
  if (!boSteady) {
    gubSuspendNum = 0;
    return;
  }
  gubLastSuspendNew = 0;
  Rect aRects[kRects];
  bool abUsed[kRects] = {};
  bool boNearSide = false;
  for (uint32_t k = 0; k < kRects && in.puiRects != nullptr && in.puwRectNodes != nullptr; ++k) {
    if (in.puwRectNodes[k] == 0) continue;
    abUsed[k] = true;
    aRects[k] = Unpack(in.puiRects[k]);
    boNearSide = boNearSide || aRects[k].cs < 2 || aRects[k].ce > C - 3;
  }
  auto overlapsAny = [&](const Rect& sp) {
    for (uint32_t k = 0; k < kRects; ++k)
      if (abUsed[k] && Shares(sp, aRects[k])) return true;
    return false;
  };
  auto negative = [&](const Rect& sp) {
    if (in.pswNodeMap == nullptr || sp.re < sp.rs || sp.ce < sp.cs) return false;
    int32_t n = 0, neg = 0, mn = 32767;
    for (int32_t r = sp.rs; r <= sp.re && r < in.ubRows; ++r) {
      for (int32_t c = sp.cs; c <= sp.ce && c < C; ++c) {
        const int32_t v = in.pswNodeMap[r * C + c];
        ++n;
        neg += v < -35 ? 1 : 0;
        mn = std::min(mn, v);
      }
    }
    return 2 * neg > n && mn < -80;
  };
  bool boFound = false;
  for (uint32_t a = 0; boNearSide && !boFound && a < kRects; ++a) {
    for (uint32_t bI = 0; abUsed[a] && !boFound && bI < kRects; ++bI) {
      if (bI == a || !abUsed[bI]) continue;
      const Rect& A = aRects[a];
      const Rect& B = aRects[bI];
      for (const Rect& sp : {Rect{B.rs, B.re, A.cs, A.ce}, Rect{A.rs, A.re, B.cs, B.ce}}) {
        if (overlapsAny(sp) || !negative(sp)) continue;
        boFound = true;
        break;
      }
    }
  }
  if (boFound) {
    gubLastSuspendNew = 1;
    gubSuspendNum = 0;
  } else if (gubSuspendNum < 200) {
    ++gubSuspendNum;
  }
}

// The incoming map goes back into the diff map for the offset cancel; the backup keeps the
// denoised one for the rows the network is trusted with.
void SwapMaps(LcdDenoiseInput& in) {
  const uint32_t R = in.ubRows, C = in.ubCols, N = R * C;
  auto* pswScratch = reinterpret_cast<int16_t*>(in.pubScratch);
  memcpy(pswScratch, in.pswDiff, N * 2u);
  memcpy(in.pswDiff, gswDiffBackup, N * 2u);
  memcpy(gswDiffBackup, pswScratch, N * 2u);
  CaculateDiff(reinterpret_cast<const uint16_t*>(in.pswDiff), reinterpret_cast<uint16_t*>(in.pubScratch), 1, 0);
  if (in.ubRefRun != 0) return;
  const uint8_t* pubMask = NodeMask(in);
  for (uint32_t r = 0; r < R; ++r) {
    if (in.pullRowNodeMask != nullptr) {
      uint64_t ull = 0;
      for (uint32_t c = 0; c < C; ++c)
        if (pubMask[r * C + c] != kLcdFree) ull |= 1ull << c;
      in.pullRowNodeMask[r] = ull;
    }
    if (in.puwRestoredEnds != nullptr) {
      in.puwRestoredEnds[2 * r] = static_cast<uint16_t>(in.pswDiff[r * C]);
      in.puwRestoredEnds[2 * r + 1] = static_cast<uint16_t>(in.pswDiff[r * C + C - 1]);
    }
    if (in.puwDenoisedEnds != nullptr) {
      in.puwDenoisedEnds[2 * r] = static_cast<uint16_t>(gswDiffBackup[r * C]);
      in.puwDenoisedEnds[2 * r + 1] = static_cast<uint16_t>(gswDiffBackup[r * C + C - 1]);
    }
  }
}

// Column touch counts for the next run's masks: a column is touched when an inner row has
// a touched node there with a touched node directly above or below it.
void ColumnCounts(const LcdDenoiseInput& in, uint8_t* pubCount) {
  const uint32_t R = in.ubRows, C = in.ubCols;
  const uint8_t* m = NodeMask(in);
  memset(pubCount, 0, C);
  if (R < 3) return;
  for (uint32_t r = 1; r + 1 < R; ++r) {
    const bool boFlagged = gstFit.aubRowFlag[r] != 0;
    for (uint32_t c = 0; c < C; ++c) {
      if (boFlagged && c >= 6 && c + 7 <= C) continue;
      const bool boHere = m[r * C + c] != kLcdFree;
      const bool boVert = m[(r - 1) * C + c] != kLcdFree || m[(r + 1) * C + c] != kLcdFree;
      if (boHere && boVert && pubCount[c] < 255) ++pubCount[c];
    }
  }
}

// The masks the next run starts from, and the self masks. Rows whose free nodes still
// hold a large mean, or too few free columns, free the outermost columns instead.
void NextRunMasks(LcdDenoiseInput& in) {
  const uint32_t R = in.ubRows, C = in.ubCols;
  const uint8_t* m = NodeMask(in);
  bool boResidual = false;
  for (uint32_t r = 0; r < R && in.ubWholeRow == 0; ++r) {
    if (gpubMutualTouchTX[r] == kLcdFree) continue;
    int32_t slSum = 0;
    uint32_t uiN = 0;
    for (uint32_t c = 0; c < C; ++c) {
      if (m[r * C + c] != kLcdFree) continue;
      slSum += in.pswDiff[r * C + c];
      ++uiN;
    }
    if (std::abs(MeanQ10(slSum, uiN)) >= 292) {
      boResidual = true;
      break;
    }
  }
  uint8_t aubCount[kMaxCols];
  ColumnCounts(in, aubCount);
  uint32_t uiFreeCols = 0, uiFirst = C, uiLast = 0;
  for (uint32_t c = 0; c < C; ++c) {
    const bool boFree = aubCount[c] == 0;
    gpubMutualTouchRX[c] = boFree ? kLcdFree : 0;
    if (!boFree) continue;
    ++uiFreeCols;
    uiFirst = std::min(uiFirst, c);
    uiLast = c;
  }
  if (in.ubSuspendEnable != 0 && uiFreeCols < C / 2 + C / 8 && !(uiFirst <= 6 && uiLast + 7 >= C)) boResidual = true;
  if (gubSuspendNum >= 2 || in.ubDiffMode != 0 || boResidual) {
    for (uint32_t c = 0; c < 6 && c < C; ++c) {
      gpubMutualTouchRX[c] = kLcdFree;
      gpubMutualTouchRX[C - 1 - c] = kLcdFree;
    }
  }
  for (uint32_t r = 0; r < R; ++r) {
    uint8_t ubTx = gpubMutualTouchTX[r];
    if (r > 0 && r + 1 < R && ubTx != kLcdFree) {
      int32_t slPeak = 0;
      for (uint32_t c = 0; c < C; ++c) slPeak = std::max<int32_t>(slPeak, std::abs(in.pswDiff[r * C + c]));
      if (slPeak < 80 || WaterSet()) ubTx = kLcdFree;
    }
    gubSelfTxFree[r] = ubTx;
  }
  for (uint32_t c = 0; c < C; ++c) gubSelfRxFree[c] = aubCount[c] == 0 ? kLcdFree : 0;
}

// Quarter spans of a quiet row that disagree mean the panel's shape is not the configured
// profile: touched rows then get the two-basis fit as well.
bool ShapeMarker(const LcdDenoiseInput& in, const Samples& sm, bool boBigOffset) {
  if (boBigOffset) return true;
  if (in.ubLargeTouch != 0) return false;
  const uint32_t R = in.ubRows, C = in.ubCols, q = C / 4;
  auto freeRow = [&](int32_t r) { return r < 0 || r >= static_cast<int32_t>(R) || gpubMutualTouchTX[r] == kLcdFree; };
  uint32_t uiQuiet = 0;
  for (uint32_t r = 0; r < R; ++r) {
    if (!freeRow(static_cast<int32_t>(r)) || !freeRow(static_cast<int32_t>(r) - 1) || !freeRow(static_cast<int32_t>(r) + 1))
      continue;
    ++uiQuiet;
    const int16_t* v = in.pswDiff + r * C;
    const int32_t S1 = v[0] - v[q - 1], S2 = v[q] - v[2 * q - 1], S3 = v[2 * q] - v[3 * q - 1], S4 = v[3 * q] - v[C - 1];
    if (sm.aswMax[r] - sm.aswMin[r] >= 101 &&
        (std::abs(S1 - S3) > 80 || std::abs(S2 - S4) > 80 || std::abs(S1 - S4) > 80))
      return true;
  }
  return uiQuiet < 2 && !WaterSet();
}

// Largest magnitude over the row's nodes that lie free of touch with all their neighbours;
// the last column's own value counts when its node is free.
int32_t RowResidual(const LcdDenoiseInput& in, uint32_t r) {
  const int32_t R = in.ubRows, C = in.ubCols;
  const uint8_t* m = NodeMask(in);
  const int16_t* v = in.pswDiff + r * C;
  int32_t slRes = 0;
  for (int32_t c = 0; c < C; ++c) {
    if (gpubMutualTouchRX[c] != kLcdFree || m[r * C + c] != kLcdFree) continue;
    bool boAround = true;
    for (int32_t dr = -1; dr <= 1 && boAround; ++dr) {
      for (int32_t dc = -1; dc <= 1; ++dc) {
        const int32_t rr = static_cast<int32_t>(r) + dr, cc = c + dc;
        if (rr < 0 || rr >= R || cc < 0 || cc >= C) continue;
        if (m[rr * C + cc] != kLcdFree) {
          boAround = false;
          break;
        }
      }
    }
    if (boAround) slRes = std::max(slRes, std::abs(static_cast<int32_t>(v[c])));
  }
  if (gubStep != 0 && m[r * C + C - 1] == kLcdFree) slRes = std::max<int32_t>(slRes, v[C - 1]);
  return slRes;
}

// Profile-only fit over the selected nodes: a = S_Pr / S_PP in Q10.
void FitRowProfile(int16_t* pswRow, uint32_t C, const uint8_t* pubSel, int32_t slOffset, const int16_t* pswBasis) {
  int32_t slSumP = 0;
  uint32_t uiN = 0;
  for (uint32_t c = 0; c < C; ++c) {
    if (pubSel != nullptr && pubSel[c] == 0) continue;
    slSumP += pswBasis[c];
    ++uiN;
  }
  const int32_t slMeanP = MeanQ10(slSumP, uiN);
  int32_t aslP[kMaxCols];
  int32_t slMaxP = 0;
  for (uint32_t c = 0; c < C; ++c) {
    aslP[c] = pswBasis[c] - slMeanP;
    slMaxP = std::max(slMaxP, std::abs(aslP[c]));
  }
  uint32_t uiShift = 0;
  while ((slMaxP >> uiShift) > 256) ++uiShift;
  int64_t PP = 0, Pr = 0;
  for (uint32_t c = 0; c < C; ++c) {
    aslP[c] >>= uiShift;
    if (pubSel != nullptr && pubSel[c] == 0) continue;
    PP += static_cast<int64_t>(aslP[c]) * aslP[c];
    Pr += static_cast<int64_t>(aslP[c]) * (pswRow[c] - slOffset);
  }
  const int64_t a = PP == 0 ? 0 : (Pr * 1024) / PP;
  for (uint32_t c = 0; c < C; ++c) {
    const int64_t v = ((static_cast<int64_t>(pswRow[c] - slOffset) * 1024) - a * aslP[c]) >> 10;
    pswRow[c] = static_cast<int16_t>(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX));
  }
}

void SubtractFromRow(int16_t* pswRow, uint32_t C, int32_t slOffset) {
  for (uint32_t c = 0; c < C; ++c)
    pswRow[c] = static_cast<int16_t>(std::clamp<int32_t>(pswRow[c] - slOffset, INT16_MIN, INT16_MAX));
}

// One row of one pass of the offset cancel; returns true when the row got a correction
// whose residual is to be judged.
bool CancelRow(LcdDenoiseInput& in, uint32_t r, const Samples& sm, uint8_t ubPrevBasis) {
  const uint32_t R = in.ubRows, C = in.ubCols;
  const uint8_t* m = NodeMask(in) + r * C;
  int16_t* pswRow = in.pswDiff + r * C;
  const bool boFree = gpubMutualTouchTX[r] == kLcdFree;
  auto freeAt = [&](int32_t rr) { return rr < 0 || rr >= static_cast<int32_t>(R) || gpubMutualTouchTX[rr] == kLcdFree; };
  gubFitPointNum = 0;
  if (boFree) {
    if ((in.ubFreeRowZero & 0x01u) != 0 && freeAt(static_cast<int32_t>(r) - 1) && freeAt(static_cast<int32_t>(r) + 1)) {
      memset(pswRow, 0, C * 2u);
      gubRowRefitCount[r] = kRefitDone;
      return false;
    }
    if (r == gstFit.ubBasisRow || r == ubPrevBasis) {
      // The basis row's own shape is what the other rows were fitted to: it is damped.
      uint32_t k = 0;
      while (gswRowWork[r] >= 257 && (gswRowWork[r] >> k) > 256) ++k;
      for (uint32_t c = 0; c < C; ++c) pswRow[c] = static_cast<int16_t>(pswRow[c] >> (k + 5));
      gubRowRefitCount[r] = kRefitDone;
      return false;
    }
    int32_t slSum = 0;
    uint32_t uiN = 0;
    for (uint32_t c = 0; c < C; ++c) {
      if (m[c] != kLcdFree) continue;
      slSum += pswRow[c];
      ++uiN;
    }
    FitRowProfile(pswRow, C, nullptr, MeanQ10(slSum, uiN), gstFit.aswBasis);
    gubKflag = 0;
    return true;
  }
  uint32_t uiFree = 0;
  for (uint32_t c = 0; c < C; ++c) uiFree += m[c] == kLcdFree ? 1 : 0;
  const bool boNet = NetAsked(in);
  if (uiFree <= 1 && !boNet) return false;
  bool boFitted = false;
  if (uiFree >= 3) {
    uint8_t aubSel[kMaxCols];
    uint32_t uiN = 0, uiFirst = C, uiLast = 0;
    int32_t slSum = 0;
    for (uint32_t c = 0; c < C; ++c) {
      aubSel[c] = (m[c] == kLcdFree && gpubMutualTouchRX[c] == kLcdFree) ? 1 : 0;
      if (aubSel[c] == 0) continue;
      ++uiN;
      slSum += pswRow[c];
      uiFirst = std::min(uiFirst, c);
      uiLast = c;
    }
    gubFitPointNum = static_cast<uint8_t>(uiN);
    if (uiN >= 5 && uiLast - uiFirst >= C / 2) {
      const int32_t slOffset = MeanQ10(slSum, uiN);
      const bool boWide = uiN >= C / 2 || (uiFirst <= 10 && uiLast + 11 >= C);
      const bool boNarrowOrRough = uiN <= C / 2 + C / 4 || sm.aswMax[r] - sm.aswMin[r] > 49;
      bool boKept = false;
      if (boWide && boNarrowOrRough) {
        FitRowTwoBasisSel(pswRow, C, aubSel, slOffset, gstFit.aswBasis, gstFit.aswXc);
        const int32_t slRes = RowResidual(in, r);
        boKept = slRes < 41 || slRes <= gswRowWork[r];
        if (!boKept) memcpy(pswRow, gswColumnWorkB, C * 2u);
      }
      if (!boKept) FitRowProfile(pswRow, C, aubSel, slOffset, gstFit.aswBasis);
      gubKflag = 0;
      boFitted = true;
    }
  }
  if (boFitted) return true;
  if (boNet && (guwRowNoiseLevel[r] >= 16 || uiFree < 3)) memcpy(pswRow, gswDiffBackup + r * C, C * 2u);
  if (uiFree < 2) return false;
  const bool boWater = WaterSet();
  auto freeNode = [&](int32_t c, bool boColumn) {
    return m[c] == kLcdFree && (!boColumn || gpubMutualTouchRX[c] == kLcdFree);
  };
  int32_t slSum = 0;
  uint32_t uiN = 0;
  for (int32_t c = 0; c < static_cast<int32_t>(C); ++c) {
    if (!freeNode(c, in.ubWholeRow == 0)) continue;
    const bool boEnd = c == 0 || c + 1 == static_cast<int32_t>(C);
    const bool boNb = (c > 0 && freeNode(c - 1, !boWater)) || (c + 1 < static_cast<int32_t>(C) && freeNode(c + 1, !boWater));
    if (!boEnd && !boNb) continue;
    slSum += pswRow[c];
    ++uiN;
  }
  const int32_t slOffset = (uiN >= 2 || boNet) ? MeanQ10(slSum, uiN) : static_cast<int16_t>(guwRowMedian[r]);
  SubtractFromRow(pswRow, C, slOffset);
  return true;
}

// The row offset cancel: up to three passes; after a pass that left rows asking for
// another, the worst of the free rows becomes the basis of the next.
void RowOffsetCancel(LcdDenoiseInput& in, const Samples& sm, bool boShape) {
  const uint32_t R = in.ubRows, C = in.ubCols;
  gubNeedSitoNum = 0;
  for (uint32_t r = 0; r < R; ++r) {
    gswRowMinimum[r] = 32767;
    gubRowRefitCount[r] = 0;
    gswRowWork[r] = static_cast<int16_t>(std::min<int32_t>(std::max(std::abs(sm.aswMax[r]), std::abs(sm.aswMin[r])), 32767));
  }
  memcpy(gstFit.aswBasis, gstFit.aswProfile, sizeof(gstFit.aswBasis));
  gstFit.ubBasisRow = kNoBasisRow;
  uint8_t ubPrevBasis = kNoBasisRow;
  uint8_t* pubReq = gstFit.aubRowClass;
  const bool boTwo = (in.ubLargeTouch == 0 || in.ubRefitSelA != 0) && in.ubRefRun == 0 && in.ubRefitSelB == 0;
  for (uint32_t r = 0; r < R; ++r) pubReq[r] = (boTwo && (boShape || gpubMutualTouchTX[r] == kLcdFree)) ? 2 : 1;
  auto freeAt = [&](int32_t rr) { return rr < 0 || rr >= static_cast<int32_t>(R) || gpubMutualTouchTX[rr] == kLcdFree; };
  for (uint32_t uiPass = 0; uiPass < 3; ++uiPass) {
    gubNeedSitoNum = 0;
    for (uint32_t r = 0; r < R; ++r) {
      if (pubReq[r] == 0 || gubRowRefitCount[r] > 2) continue;
      int16_t* pswRow = in.pswDiff + r * C;
      memcpy(gswColumnWorkB, pswRow, C * 2u);
      if (!CancelRow(in, r, sm, ubPrevBasis)) {
        // No correction to judge: the row is finished.
        gubRowRefitCount[r] = kRefitDone;
        continue;
      }
      const bool boFree = gpubMutualTouchTX[r] == kLcdFree;
      const int32_t slRes = RowResidual(in, r);
      if (slRes >= 31 && (boFree || gubFitPointNum >= 2) && pubReq[r] == 2) {
        gubNeedSitoNum = sig::Inc8(gubNeedSitoNum);
        if (gswRowMinimum[r] < slRes) {
          memcpy(pswRow, gswColumnWorkB, C * 2u);
        } else {
          gswRowMinimum[r] = static_cast<int16_t>(slRes);
        }
        if (boFree)
          gubRowRefitCount[r] = (freeAt(static_cast<int32_t>(r) - 1) && freeAt(static_cast<int32_t>(r) + 1)) ? 2 : 1;
      } else {
        gubRowRefitCount[r] = kRefitDone;
      }
    }
    if (gubNeedSitoNum == 0 || uiPass == 2) break;
    int32_t slBest = -1;
    uint32_t uiBest = R;
    for (uint32_t r = 0; r < R; ++r) {
      if (gubRowRefitCount[r] != 2 || r == gstFit.ubBasisRow) continue;
      if (std::abs(gswRowMinimum[r]) > slBest) {
        slBest = std::abs(gswRowMinimum[r]);
        uiBest = r;
      }
    }
    if (uiBest == R) break;
    const int16_t* pswRow = in.pswDiff + uiBest * C;
    memcpy(gstFit.aswBasis, pswRow, C * 2u);
    for (uint32_t k = 0; k < gubShakeNum && in.pubShakeList != nullptr; ++k) {
      const uint32_t c = in.pubShakeList[k];
      if (c >= C) continue;
      if (c == 0) {
        gstFit.aswBasis[0] = pswRow[1];
      } else if (c == C - 1) {
        gstFit.aswBasis[c] = pswRow[C - 2];
      } else {
        gstFit.aswBasis[c] = static_cast<int16_t>((pswRow[c - 1] + pswRow[c + 1]) / 2);
      }
    }
    ubPrevBasis = gstFit.ubBasisRow;
    gstFit.ubBasisRow = static_cast<uint8_t>(uiBest);
  }
}

// Listed shaking sense lines: learned per-row means come off, lone spikes are smoothed and
// a strong node marks its row touched.
void ShakeLines(LcdDenoiseInput& in) {
  const int32_t R = in.ubRows, C = in.ubCols;
  if (in.pubShakeList == nullptr || gubShakeNum == 0 || gubShakeNum > 2) return;
  int16_t* d = in.pswDiff;
  auto at = [&](int32_t r, int32_t c) -> int16_t& { return d[r * C + c]; };
  auto colFree = [&](int32_t c) { return c < 0 || c >= C || gpubMutualTouchRX[c] == kLcdFree; };
  bool boDisturbed = false;
  for (uint32_t k = 0; k < gubShakeNum; ++k) {
    const int32_t c = in.pubShakeList[k];
    if (c >= C) continue;
    if (!colFree(c - 1) || !colFree(c + 1)) {
      boDisturbed = true;
      continue;
    }
    if (in.ubTouchNum == 0) continue;
    for (int32_t r = 0; r < R && !boDisturbed; ++r) {
      if (c == 0 || c == C - 1) {
        const int32_t nb = c == 0 ? 1 : C - 2;
        boDisturbed = std::abs(at(r, c) - at(r, nb)) > 80;
      } else {
        boDisturbed = std::abs(at(r, c) - at(r, c - 1)) + std::abs(at(r, c) - at(r, c + 1)) > 160;
      }
    }
  }
  bool boBarred = false;
  if (in.ubDiffMode == 2 || in.ubRefState != 0 || in.ubWholeRow != 0) {
    memset(gscShakeLineMean, 0, sizeof(gscShakeLineMean));
    gubShakecalcAveNum = 0;
    boBarred = in.ubDiffMode == 2 || in.ubWholeRow != 0;
  } else if (!boDisturbed && gubShakecalcAveNum < 20) {
    ++gubShakecalcAveNum;
  }
  const bool boLearn = gubShakecalcAveNum >= 1 && gubShakecalcAveNum <= 19 && !boDisturbed && in.ubRefState == 0 &&
                       in.ubDiffMode != 2 && in.ubWholeRow == 0;
  const int32_t T1 = in.uwMaskThreshold, T2 = in.uwTouchedThreshold;
  for (uint32_t k = 0; k < gubShakeNum; ++k) {
    const int32_t c = in.pubShakeList[k];
    if (c >= C) continue;
    const bool boEdge = c == 0 || c == C - 1;
    // A small tracked touch right beside the line is a real touch, not a spike.
    bool boSmallTouchNear = false;
    for (uint32_t t = 0; in.ubTouchNum != 0 && t < kRects && in.puiRects != nullptr && in.puwRectNodes != nullptr; ++t) {
      if (in.puwRectNodes[t] == 0) continue;
      const Rect rc = Unpack(in.puiRects[t]);
      if (rc.re - rc.rs + 1 > 2 || rc.ce - rc.cs + 1 > 2) continue;
      if (c >= rc.cs - 1 && c <= rc.ce + 1) boSmallTouchNear = true;
    }
    for (int32_t r = 0; r < R; ++r) {
      const uint32_t idx = static_cast<uint32_t>(r + R * static_cast<int32_t>(k));
      int32_t v = at(r, c);
      const int32_t l = at(r, c == 0 ? 1 : c - 1), rt = at(r, c == C - 1 ? C - 2 : c + 1);
      if (std::abs(v) >= T2 && gpubMutualTouchTX[r] == kLcdFree) {
        gpubMutualTouchTX[r] = 0;
        in.ullTouchedRows |= 1ull << r;
      }
      int32_t mean = gscShakeLineMean[idx];
      if (boLearn && colFree(c - 1) && colFree(c + 1)) {
        const int32_t n = gubShakecalcAveNum;
        mean = std::clamp(((n - 1) * mean + v) / n, -80, 80);
        gscShakeLineMean[idx] = static_cast<int8_t>(mean);
      }
      if (!boBarred && ((mean > 0 && v > 0) || (mean < 0 && v < 0)) && std::abs(v) > std::abs(mean)) v -= mean;
      const int32_t av = std::abs(v);
      bool boNear = false;
      if (boSmallTouchNear) {
        for (uint32_t t = 0; t < kRects; ++t) {
          if (in.puwRectNodes[t] == 0) continue;
          const Rect rc = Unpack(in.puiRects[t]);
          if (rc.re - rc.rs + 1 <= 2 && rc.ce - rc.cs + 1 <= 2 && c >= rc.cs - 1 && c <= rc.ce + 1 && r >= rc.rs - 1 &&
              r <= rc.re + 1)
            boNear = true;
        }
      }
      const bool boSpike = av < 250 && av - std::abs(l) >= 61 && av - std::abs(rt) >= 61 && std::abs(l) <= T1 &&
                           std::abs(rt) <= T1 && !boEdge && !boNear;
      if (boSpike) {
        uint8_t& cnt = gubShakeSpikeCount[idx];
        if (cnt < 2) {
          if (av >= 81) ++cnt;
          int32_t nv = (l + 2 * v + rt) >> 2;
          if (av > 150) nv += (v > 0 ? 1 : -1) * ((9 * av - 1350) >> 3);
          v = nv;
        }
      } else {
        gubShakeSpikeCount[idx] = 0;
      }
      at(r, c) = static_cast<int16_t>(v);
    }
  }
}

void DecideLastSuspend(const LcdDenoiseInput& in) {
  const uint32_t R = in.ubRows, C = in.ubCols;
  uint32_t uiRows = 0;
  for (uint32_t r = 0; r < R; ++r) {
    if (gpubMutualTouchTX[r] == kLcdFree || gubRowFreeCount[r] + 10u >= C) continue;
    uint32_t uiLow = 0;
    for (uint32_t c = 0; c < C; ++c) uiLow += in.pswDiff[r * C + c] < -100 ? 1 : 0;
    uiRows += uiLow > 3 ? 1 : 0;
  }
  gubLastSuspend = uiRows >= 5 ? 1 : 0;
}

}  // namespace

void LcdFitTwoBasis(int16_t* pswRow, uint32_t uiCount, const uint8_t* pubSel, int32_t slOffset, const int16_t* pswP,
                    const int16_t* pswQ) {
  FitRowTwoBasisSel(pswRow, uiCount, pubSel, slOffset, pswP, pswQ);
}

uint64_t LcdDenoiseCore() {
  LcdDenoiseInput& in = *gpstDiffDenoise;
  const uint32_t R = in.ubRows, C = in.ubCols, N = R * C;
  in.ubLargeTouch = gboLargeTouchStaBak;
  const ShakeSave sv = ReplaceShakeLines(in);
  memset(gpubMutualTouchRX, kLcdFree, C);
  memset(guwRowNoiseLevel, 0, sizeof(guwRowNoiseLevel));
  memcpy(gswDiffBackup, in.pswDiff, N * 2u);
  gubNeedDlSito = 0;
  const RowStats st = RowStatistics(in);
  if (NetworkAsked(in, st)) gubNeedDlSito = 1;
  if (gubNeedDlSito != 0 && in.ubNetEnable != 0) {
    if (in.pubNetBuffer != nullptr)
      DlNetInterface(in.pswDiff, guwRowNoiseLevel, in.pubNetBuffer, static_cast<int32_t>(R), static_cast<int32_t>(C));
  } else if (!WaterSet() && in.ubDiffMode != 2) {
    RowFit(in);
  }
  CaculateDiff(reinterpret_cast<const uint16_t*>(in.pswDiff), reinterpret_cast<uint16_t*>(in.pubScratch), 1, 1);
  RunRowClassification(in);
  if (in.ubRefRun == 0) CountSuspend(in);
  SwapMaps(in);
  if (in.ubLargeTouch == 0) NextRunMasks(in);
  Samples sm;
  SampleRows(in, sm);
  const bool boShape = ShapeMarker(in, sm, st.ullBigRows != 0);
  RestoreShakeLines(in, sv);
  if (gubNoiseLevel > 3) gubNoiseLevel = 3;
  for (uint32_t r = 0; r < R; ++r) {
    if (gpubMutualTouchTX[r] == 0) in.ullTouchedRows |= 1ull << r;
    const bool boQuiet = std::abs(sm.aswMax[r]) <= in.uwMaskThreshold && std::abs(sm.aswMin[r]) <= in.uwMaskThreshold &&
                         gstFit.aubRowClass[r] < 3;
    if (!boQuiet) in.ullNoisyRows |= 1ull << r;
  }
  RowOffsetCancel(in, sm, boShape);
  in.ubNoiseLevelOut = gubNoiseLevel;
  ShakeLines(in);
  if (in.ubLargeTouch == 0) DecideLastSuspend(in);
  gubLastLastOutNum = in.ubTouchNum;
  return in.ullTouchedRows;
}

uint64_t AppLcdDenoiseFilter(LcdDenoiseInput* pstIn) {
  pstIn->ullTouchedRows = 0;
  pstIn->ullNoisyRows = 0;
  gpstDiffDenoise = pstIn;
  const uint64_t ull = LcdDenoiseCore();
  memset(&gstSpecialArea, 0, sizeof(gstSpecialArea));
  return ull;
}

uint8_t ConfigTouchLevel() { return gubNoiseLevel < 2 ? 90 : (gubNoiseLevel == 2 ? 110 : 145); }

uint8_t ConfigTouchNumDeshake() { return gubNoiseLevel < 2 ? 0 : (gubNoiseLevel == 2 ? 1 : 2); }

void CaculateDiff(const uint16_t* puwMap, uint16_t* puwOut, uint8_t ubMaskMode, uint8_t ubResetMasks) {
  const LcdDenoiseInput& in = *gpstDiffDenoise;
  const uint32_t R = in.ubRows, C = in.ubCols, N = R * C;
  if (ubResetMasks == 1) {
    memset(in.pubScratch + kLcdDenoiseNodeMaskAt, ubMaskMode == 1 ? kLcdFree : 0, N);
    memset(gpubMutualTouchTX, kLcdFree, R + C);
  }
  for (uint32_t i = 0; i + 1 < N; ++i) puwOut[i] = static_cast<uint16_t>(puwMap[i] - puwMap[i + 1]);
  for (uint32_t r = 0; r < R; ++r)
    puwOut[r * C + C - 1] = static_cast<uint16_t>(puwMap[r * C + C - 2] - puwMap[r * C + C - 1]);
}
