// The module wrappers of the floating-finger judgement and the floating region combination.
//
// Where the judgement's inputs come from (this system's choice where the sources were
// named by role only): the node threshold is the touch threshold in force (the one region
// acquisition used this frame), the half threshold half of the second touch level, the
// reference level the default leave level; the second map is the previous frame's diff
// as region detection saw it, so that a record is stable when it barely changed since the
// last frame. The two self values compared with the self limit are the largest row and the
// largest column value of the self diff. The counter is held in low temperature; the large-copper decision
// is left out while weak touches are searched (touch mode other than 2); the three-region
// path is blocked while any water byte is set. The main rectangle is the bounding
// rectangle of the frame's regions, as the shadow stage before it measures it, taken here
// so that the app lists without that stage judge the current frame too.
#include <cstring>

#include "coord_records.h"
#include "module_wrappers.h"
#include "region.h"
#include "region_float.h"
#include "region_lib.h"
#include "region_proc.h"
#include "tsa_common.h"

namespace {

// Smallest and largest self diff of the rows, then of the columns: a finger on a floating
// device leaves a weak self signal, which is what the judgement's self limit looks for.
void SelfExtremes(int16_t* pswOut) {
  const CommonRecord& c = gstCommon;
  pswOut[0] = pswOut[1] = pswOut[2] = pswOut[3] = 0;
  const int16_t* p = c.stData.pswSelfDiffData;
  if (p == nullptr) return;
  for (int part = 0; part < 2; ++part) {
    const uint32_t from = part == 0 ? 0 : c.ubDrvNum;
    const uint32_t n = part == 0 ? c.ubDrvNum : c.ubSenNum;
    for (uint32_t i = 0; i < n; ++i) {
      const int16_t v = p[from + i];
      if (i == 0 || v < pswOut[2 * part]) pswOut[2 * part] = v;
      if (i == 0 || v > pswOut[2 * part + 1]) pswOut[2 * part + 1] = v;
    }
  }
}

}  // namespace

uint8_t RegionFloatPreJudgeWrapper() {
  FloatJudgeInput in;
  memset(&in, 0, sizeof(in));
  const CommonRecord& c = gstCommon;
  MutualRegionSet& m = gstMutualRegion;
  FloatSelfProc& f = gstFloatSelfProc;
  static int16_t sswSelfStat[4];
  SelfExtremes(sswSelfStat);
  in.pswSelf = c.stData.pswSelfDiffData;
  in.ubSelfTestEn = c.ubSelfEnable;
  in.ubHold = c.ubLowTempState == 2 ? 1 : 0;
  in.ubLargeCopperBlock = gubTouchMode != 2 ? 1 : 0;
  in.ubBlock = (c.ubWaterFlag != 0 || c.ubWaterResult != 0) ? 1 : 0;
  in.swDiffMax = c.swDiffMax;
  in.swDiffMin = c.swDiffMin;
  in.uwRefLevel = c.uwMaskThreshold;
  in.uwNodeThr = static_cast<uint16_t>(c.swTouchThreshold < 0 ? 0 : c.swTouchThreshold);
  in.swHalfThr = static_cast<int16_t>(c.uwSecondThreshold / 2);
  in.pswSelfStat = sswSelfStat;
  in.pubLabel = gaubRegionLabelMap;
  in.ubCols = c.ubSenNum;
  in.ubRows = c.ubDrvNum;
  in.pswDiff = c.stData.pswDiffData;
  in.pswSecond = gaswRegionPrevDiff;
  in.ubTouchNum = c.ubTouchCount;
  in.puwPairValue = gstCoordPair.auwLastRectMaxDiff;
  in.pstPairRect = gstCoordPair.astLastRect;
  in.ubNetEnable = 0;
  in.ubForced = 0;
  in.pvNetCache = gpubDlCache;
  in.ubFloatCnt = f.ubFloatCnt;
  const uint8_t ubCount = m.ubRegionNum < kRegionMax ? m.ubRegionNum : kRegionMax;
  in.stMainRect = ubCount != 0 ? CalcAllRect(m.astRect, ubCount) : f.stMainRect;
  in.pstRect = m.astRect;
  in.puwKeep = m.auwPeak;
  in.ubCount = m.ubRegionNum;
  f.ubTwoPeak = gstRegionRoles.ubTwoPeak;
  in.ubTwoPeak = f.ubTwoPeak;
  in.ubCollapse = 0;
  RegionFloatPreJudge(&in);
  gstCommon.ubFloatingByte = in.ubFloatCnt;
  f.ubFloatCnt = in.ubFloatCnt;
  f.ubFloatFlag = in.ubFloatFlag;
  f.ubElong = in.ubElong;
  f.ubMainRowSpan = in.ubMainRowSpan;
  f.ubMainColSpan = in.ubMainColSpan;
  f.ubCollapse = in.ubCollapse;
  f.stMainRect = in.stMainRect;
  m.ubRegionNum = in.ubCount;
  gstRegionOutput.ubCoordByte = in.ubFloatFlag;
  gstRegionOutput.ubPassFlag = in.ubCollapse;
  gstSelkoAlgoDebugInfo.ubFloatPreJudge = in.ubCollapse;
  return in.ubCollapse;
}

uint8_t RegionFloatCombineWrapper() {
  FloatCombineInput in;
  memset(&in, 0, sizeof(in));
  const CommonRecord& c = gstCommon;
  MutualRegionSet& m = gstMutualRegion;
  in.ubMode = 1;
  in.ubElongation = gstFloatSelfProc.ubElong;
  in.ubMainRowSpan = gstFloatSelfProc.ubMainRowSpan;
  in.ubMainColSpan = gstFloatSelfProc.ubMainColSpan;
  in.ubRows = c.ubDrvNum;
  in.ubCols = c.ubSenNum;
  in.uwNegThreshold = static_cast<uint16_t>(c.swTouchThreshold < 0 ? 0 : c.swTouchThreshold);
  // The negative counts read the frame's diff as the grid it is; the single-peak tests read
  // the self diff, rows then columns.
  in.pswNodeMap = c.stData.pswDiffData;
  in.pswProfile = c.stData.pswSelfDiffData;
  in.pstRect = m.astRect;
  in.puwKeep = m.auwPeak;
  in.puwSecond = m.auwPeakPos;
  in.puwThird = m.auwWaterValue;
  in.pubLabelMap = gaubRegionLabelMap;
  in.ubCount = m.ubRegionNum;
  RegionFloatCombine(&in);
  m.ubRegionNum = in.ubCount;
  return in.ubCount;
}
