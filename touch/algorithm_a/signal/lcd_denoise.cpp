// LCD denoise: the size gate at initialisation.
#include "lcd_denoise.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "diff_stages.h"
#include "framework.h"
#include "frnn.h"
#include "region_lib.h"
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
  AppLcdDenoiseFilter(&in);
  gullDiffOverFlag = in.ullTouchedRows;
  gullHighNoiseB = in.ullNoisyRows;
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
  gboLcdDenoiseUsable = boOk ? 1 : 0;
  FillLcdDenoiseInput();
  if (boOk && gstLcdDenoiseInput.pubScratch != nullptr && gstLcdDenoiseInput.pswDiff != nullptr)
    AppLcdDenoiseInitial(&gstLcdDenoiseInput, ubFirst);
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
  int16_t aswParabola[kMaxCols];
};
FitTables gstFit;

int32_t MeanQ10(int32_t slSum, uint32_t uiCount) {
  return static_cast<int32_t>((static_cast<int64_t>(slSum) * kRecip[uiCount < kQ10RecipCount ? uiCount : 0]) >> 10);
}

bool FitsS32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// Least-squares fit of ROW (COUNT values, offset already known) to a x P + b x Q, both
// bases made mean-free over the row and the profile scaled to at most 256 in magnitude;
// each value loses offset + the fit.
void FitRowTwoBasis(int16_t* pswRow, uint32_t uiCount, int32_t slOffset, const int16_t* pswP, const int16_t* pswQ) {
  int32_t aslP[kMaxCols], aslQ[kMaxCols];
  int32_t slSumP = 0, slSumQ = 0;
  for (uint32_t i = 0; i < uiCount; ++i) {
    slSumP += pswP[i];
    slSumQ += pswQ[i];
  }
  const int32_t slMeanP = MeanQ10(slSumP, uiCount), slMeanQ = MeanQ10(slSumQ, uiCount);
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

// Rows whose sampled values (columns 6, 8, ... short of the last eight) leave the mask
// threshold on either side.
uint64_t SampledNoisyRows(const LcdDenoiseInput& in) {
  const uint32_t R = in.ubRows, C = in.ubCols;
  const uint8_t* pubNodeMask = in.pubScratch + kLcdDenoiseNodeMaskAt;
  uint64_t ull = 0;
  for (uint32_t r = 0; r < R; ++r) {
    int32_t slMax = -32767, slMin = 32767;
    for (uint32_t c = 6; C > 12 && c < C - 8; c += 2) {
      if (pubNodeMask[r * C + c] != kLcdFree) continue;
      slMax = std::max<int32_t>(slMax, in.pswDiff[r * C + c]);
      slMin = std::min<int32_t>(slMin, in.pswDiff[r * C + c]);
    }
    if (std::abs(slMax) > in.uwMaskThreshold || std::abs(slMin) > in.uwMaskThreshold) ull |= 1ull << r;
  }
  return ull;
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
  if (ubFirst != 1) return;
  FitTables& f = gstFit;
  memset(&f, 0, sizeof(f));
  memcpy(gswColumnProfile, pstIn->pswProfile, sizeof(gswColumnProfile));
  memset(gubRowFreeCount, kMaxCols, sizeof(gubRowFreeCount));
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

uint64_t LcdDenoiseCore() {
  LcdDenoiseInput& in = *gpstDiffDenoise;
  const uint32_t R = in.ubRows, C = in.ubCols, N = R * C;
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
  } else if (gstCommon.ubWaterFlag == 0 && in.ubDiffMode != 2) {
    RowFit(in);
  }
  CaculateDiff(reinterpret_cast<const uint16_t*>(in.pswDiff), reinterpret_cast<uint16_t*>(in.pubScratch), 1, 1);
  RestoreShakeLines(in, sv);
  in.ullNoisyRows = SampledNoisyRows(in);
  if (gubNoiseLevel > 3) gubNoiseLevel = 3;
  in.ubNoiseLevelOut = gubNoiseLevel;
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
