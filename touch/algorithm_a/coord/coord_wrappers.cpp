// The coordinate stages' side of the core: the common coordinate records wired at
// initialisation, the pairing wrapper that gathers CoordPairInput from the common state,
// the pairing and low-temperature stages, and pairing's side of the water removal.
#include <cstring>

#include "coord_game.h"
#include "coord_pair.h"
#include "coord_smooth.h"
#include "coord_transform.h"
#include "module_wrappers.h"
#include "framework.h"
#include "region_water.h"
#include "signal_proc.h"
#include "signal_records.h"
#include "tsa_config.h"
#include "tsa_frame_links.h"
#include "tsa_api.h"
#include "tsa_pack.h"

uint8_t& gubWaterUnionFlag = gstWaterState.WaterUnionFlag;
uint8_t& gubWaterLargeSta = gstWaterState.WaterLargeSta;
uint8_t& gubWaterMoveFlag = gstWaterState.WaterMoveFlag;
uint8_t gubContinueSkipNum;
LowTempStageState gstLowTempStage;

namespace {

constexpr uint32_t kFpWakePending = 0x12345678u;
constexpr uint8_t kMutualFloatDefaults[8] = {10, 10, 80, 0, 6, 6, 4, 12};
constexpr uint32_t kSpeedStretchGloveAt = 13;
constexpr uint8_t kGloveSatBit = 0x01;
// A gloved finger is reported no sooner than three frames after it lands.
constexpr uint8_t kGloveReportDelayCode = 48;
// Skip counts from which the jump gate of the frame is off.
constexpr uint8_t kSkipGateOff = 2;
// NF-noise state bytes that mute the floating and early-report inputs of pairing: the
// active flag and the white-noise flag.
constexpr uint32_t kNfActiveByte = 0;
constexpr uint32_t kNfWhiteByte = 21;
// Jump-check steps in a frame in which water processing removed regions.
constexpr uint8_t kWaterSmallMove = 1;
constexpr uint8_t kWaterMoveFloor = 3;

// The last frame's diff map, which pairing keeps for its change measures.
int16_t sswPrevDiff[kRegionMaxNodes];
uint32_t suiMoveNow[kCoordPointMax];
uint32_t suiMoveLast[kCoordPointMax];

uint16_t CfgU16(const uint8_t* p, uint32_t at) { return static_cast<uint16_t>(p[at] | (p[at + 1] << 8)); }

// The edge hold of pairing, from the speed-stretch configuration: the normal set at byte 0,
// the glove set of the same seven fields at byte 13 while glove saturation is on. The
// normal axes are cleared in game mode so that a game's edge swipes are not held back.
void FillEdgeHold(CoordPairInput& in, bool boGlove) {
  const uint8_t* c = gstNewSpeedStretchCfg.aubData + (boGlove ? kSpeedStretchGloveAt : 0u);
  in.ubEdgeHoldAxes = c[0];
  if (!boGlove && gstCommon.ubGameModeFlag != 0) in.ubEdgeHoldAxes = 0;
  in.auwEdgeInner[0] = CfgU16(c, 1);
  in.auwEdgeHold[0] = CfgU16(c, 3);
  in.auwEdgeSnap[0] = CfgU16(c, 5);
  in.auwEdgeInner[1] = CfgU16(c, 7);
  in.auwEdgeHold[1] = CfgU16(c, 9);
  in.auwEdgeSnap[1] = CfgU16(c, 11);
}

}  // namespace

void CoordCommonInit() {
  CoordComInput& ci = gstCoordComInput;
  memset(&ci, 0, sizeof(ci));
  uint8_t* pubCommon = reinterpret_cast<uint8_t*>(&gstCommon);
  ci.pvCommon = &gstCommon;
  ci.pvGridSizes = pubCommon + offsetof(CommonRecord, ubSenNum);
  ci.pvScreenExtents = pubCommon + offsetof(CommonRecord, uwSenCoordRange);
  ci.pvShakeCount = pubCommon + offsetof(CommonRecord, ubShakeByte);
  ci.pvPairBytes = pubCommon + offsetof(CommonRecord, aubPairState);
  ci.pvBufferPtrs = pubCommon + offsetof(CommonRecord, stData);
  ci.pvRegionOutput = &gstRegionOutput;
  ci.uwConst256 = 256;
  ci.uwConst512 = 512;
  ci.ubMaxPointNum = kCoordPointMax;
  const uint8_t* cfg = gstCoordPairCfg.aubData;
  ci.uwPairCfg0 = CfgU16(cfg, 0);
  memcpy(&ci.uiPairCfg2, cfg + 2, sizeof(ci.uiPairCfg2));
  ci.uwCommonWord = gstCommon.uwMaskThreshold;
  ci.auwConst[0] = 2400;
  ci.auwConst[1] = 40;
  ci.auwConst[2] = 144;
  ci.auwConst[3] = 192;
  ci.uwJitterDistance = 512;
  ci.ubLeaveHoldCnt = cfg[6];
  ci.ubReportDelayCode = static_cast<uint8_t>(cfg[7] * 16u);
  ci.ubConst36 = 36;
  ci.uwConst7232 = 7232;
  const uint8_t tail[6] = {3, 5, 1, 1, 1, 0};
  memcpy(ci.aubConstTail, tail, sizeof(tail));
  CoordComOutputInit(&gstTsaTouchReportInfo);
  gstCommon.pvPairRecord = &gstCoordPair;
  gstCommon.pvPairRecord2 = gstCoordPair.auwLastRectMaxDiff;
  gstCommon.puwNewWeight = gpuwNewWeight;
  memcpy(gstMutualFloatCfg, kMutualFloatDefaults, sizeof(kMutualFloatDefaults));
  gstMutualFloatCfg[8] = 0;
}

int16_t* CoordPairPrevDiffMap() { return sswPrevDiff; }

void CoordPairInitWrapper() {
  CoordPairSetTempSizeInit();
  CoordPairInit(gstCommon.pubTempArena);
  memset(sswPrevDiff, 0, sizeof(sswPrevDiff));
}

void TrackInit() {
  CoordCommonInit();
  FpJudgeInit();
  CoordPairInitWrapper();
  LowTempInitWrapper();
  CoordOptimizeInitEncapsulationWrapper();
  GetGameModeInfo(0, 0);
  EdgeResInit(0, static_cast<uint8_t>((gstGameMode.auwWord[0] & 0xFFu) >> 6));
  FirstCoordSmoothPowerOnInit();
  memset(&gstLowTempStage, 0, sizeof(gstLowTempStage));
  memset(&gstCoordTranRoles, 0, sizeof(gstCoordTranRoles));
  gstCoordNoiseProc = CoordNoiseProc{0, 0};
}

void CoordSoftwareInit() { TrackInit(); }

// Design of the pairing input where the sources are given by role only:
// - the jump gate is the region output's pairing byte; the skip counter beside it is
//   raised by whoever skips frames of the core (no stage of this library does so today),
//   and is cleared here every frame;
// - a gloved finger takes the glove copy of all seven edge-hold fields, not a mix of sets;
// - in a frame after water removals the two jump-check steps SmallMove and MoveFloor
//   become 1 and 3 (from 3 and 5);
// - of the bytes pairing leaves in its record, the region count after merging goes to the
//   first byte of the common pairing block and the jump ratio limit to byte 106 of the
//   coordinate input.
void CoordPairGatherInput(CoordPairInput& in) {
  memset(&in, 0, sizeof(in));
  const CoordComInput& ci = gstCoordComInput;
  const uint8_t* nf = gstNfNoiseProc.aubData;
  const bool boGlove = (gubGloveSat & kGloveSatBit) != 0;
  in.scOffsetX = gstTouchPannelCfg.scOffsetX;
  in.scOffsetY = gstTouchPannelCfg.scOffsetY;
  in.uwExtentX = gstCommon.uwSenCoordRange;
  in.uwExtentY = gstCommon.uwDrvCoordRange;
  in.ubColumns = gstCommon.ubSenNum;
  in.ubRows = gstCommon.ubDrvNum;
  const uint8_t ubMax = static_cast<uint8_t>(gstCommon.uiPanelValue1 & 0xFFu);
  in.ubMaxPoints = ubMax < kCoordPointMax ? ubMax : kCoordPointMax;
  in.ubRegionCount = gstMutualRegion.ubRegionNum < kCoordPointMax ? gstMutualRegion.ubRegionNum : kCoordPointMax;
  in.ubHoldCount = ci.ubLeaveHoldCnt;
  in.ubReportDelayCode = ci.ubReportDelayCode;
  if (boGlove && in.ubReportDelayCode < kGloveReportDelayCode) in.ubReportDelayCode = kGloveReportDelayCode;
  in.ubLastReportCount = gstCoordComOutput.ubPointNum;
  in.uwNewPointThreshold = gstMutualRegion.uwTouchThreshold;
  in.uwMoveLimit = ci.auwConst[0];
  in.uwStepLimit = ci.auwConst[1];
  in.uwReassignNear = ci.auwConst[2];
  in.uwReassignFar = ci.auwConst[3];
  in.uwMergeDistance = ci.uwPairCfg0;
  if (guiIsFWakeCheckNcln == kFpWakePending) in.uwMergeDistance = static_cast<uint16_t>(in.uwMergeDistance * 4u);
  in.uwPairGapDistance = static_cast<uint16_t>(ci.uiPairCfg2 & 0xFFFFu);
  in.uwReleaseMargin = static_cast<uint16_t>(ci.uiPairCfg2 >> 16);
  in.uwJitterDistance = ci.uwJitterDistance;
  FillEdgeHold(in, boGlove);
  // Early report only while the noise module is idle and no glove is on the panel.
  const bool boNfBusy = nf[kNfActiveByte] != 0 || nf[kNfWhiteByte] != 0;
  in.ubEarlyReportSwitch = (boNfBusy || boGlove) ? 0 : gstCoordPairCfg.aubData[8];
  in.ubWideToleranceFlag = gstCommon.ubChargerFlag;
  // The floating judgement of this frame: its counter is pairing's floating switch (muted
  // while NF or white noise is on), its two-peak byte the floating-self flag and its main
  // rectangle the touch rectangle.
  const FloatSelfProc& f = gstFloatSelfProc;
  in.ubFloatSwitch = (gstCommon.ubNfNoiseResult != 0 || nf[kNfWhiteByte] != 0) ? 0 : f.ubFloatCnt;
  in.ubFloatSelf = f.ubTwoPeak != 0 ? 1 : 0;
  in.stTouchRect = f.stMainRect;
  in.ubJumpGateFlag = gubContinueSkipNum < kSkipGateOff ? gstRegionOutput.ubPairEnable : 0;
  in.ubSmallMove = ci.aubConstTail[0];
  in.ubMoveFloor = ci.aubConstTail[1];
  in.ubDirectionTolerance = ci.aubConstTail[2];
  // After water processing removed regions in this frame the remaining touches may be
  // drops that slid along: the jump check counts smaller moves and steps.
  if (gstCommon.ubRemovedCount != 0) {
    in.ubSmallMove = kWaterSmallMove;
    in.ubMoveFloor = kWaterMoveFloor;
  }
  in.uwRegionLevel = gstCommon.uwMaskThreshold;
  in.ubRecentroidSwitch = 1;
  in.uwShakeLimit = 0xFFFF;
  in.puwPeak = gstMutualRegion.auwPeak;
  in.pstRect = gstMutualRegion.astRect;
  in.puwPeakPos = gstMutualRegion.auwPeakPos;
  in.pubLabelMap = gaubRegionLabelMap;
  in.pswDiff = gstCommon.stData.pswDiffData;
  in.pswPrevDiff = sswPrevDiff;
  in.puiMoveNow = suiMoveNow;
  in.puiMoveLast = suiMoveLast;
  // A grid the shared maps cannot hold is not paired (its maps would be read past).
  if (in.pswDiff == nullptr || static_cast<uint32_t>(in.ubRows) * in.ubColumns > kRegionMaxNodes) {
    in.ubRegionCount = 0;
    in.pswDiff = nullptr;
  }
}

void CoordPairWrapper() {
  CoordPairInput in;
  CoordPairGatherInput(in);
  gubContinueSkipNum = 0;
  // A gloved finger's report delay holds for the later coordinate stages too.
  gstCoordComInput.ubReportDelayCode = in.ubReportDelayCode;
  gstCoordComOutput.ubPointNumLast = gstCoordComOutput.ubPointNum;
  gstCommon.ubTouchCount = gstCoordComOutput.ubPointNum;
  CoordPair(&in);
  gstCoordPairStatics.pstInput = nullptr;
  // The two byte results pairing leaves in its record: the region count after merging goes
  // to the common pairing block, the jump ratio limit to the coordinate input.
  gstCommon.aubPairState[0] = in.ubLastRectNumOut;
  gstCoordComInput.ubPairRatioLimit = in.ubRatioLimit;
  SelkoAlgoDebugInfo& d = gstSelkoAlgoDebugInfo;
  const struct CoordPair& p = gstCoordPair;
  memcpy(d.aubPairSummaryAfter, p.aubSlotState, sizeof(d.aubPairSummaryAfter));
  d.aubPairState[0] = p.ubFreshStart;
  d.aubPairState[1] = p.ubGapFlag;
  d.aubPairState[2] = p.ubComplementByte;
  memcpy(d.aubPairRects, p.astLastRect, sizeof(d.aubPairRects));
}

void CoordPairEncapsulation() {
  gstCoordComInput.ubLeaveHoldCnt = gstCoordPairCfg.aubData[6];
  gstCoordComInput.ubReportDelayCode = static_cast<uint8_t>(gstCoordPairCfg.aubData[7] * 16u);
  if (gstCoordTranRoles.ubShakeCountFlag != 0) ShakeCountTimeProc();
  CoordPairWrapper();
  gstCommon.ubPairByte = 0;
}

// The part of coordinate optimisation that pairing relies on: every tracked point's output
// becomes history entry 0, where a held point is reported from.
void CoordOptHistoryUpdate() {
  for (uint8_t k = 0; k < kCoordPointMax; ++k) {
    if (gpuwNewWeight[k] == 0 || (gstCoordPair.aubLeaveTouchTimer[k] & kLeaveHoldMask) != 0) continue;
    gstCoordOptHistory.auwX[k][0] = gpuwNewPointX[k];
    gstCoordOptHistory.auwY[k][0] = gpuwNewPointY[k];
    gstCoordOptHistory.auwWeight[k] = gpuwNewWeight[k];
  }
}

void LowTempOptEncapsulation() {
  const uint8_t ubCfg = gstLowTempCfg.aubData[0];
  if ((ubCfg & 0x01u) == 0) return;
  LowTempStageState& st = gstLowTempStage;
  if (st.ubSuspend != 0) {
    gstCommon.ubLowTempState = 0;
    LowTempExit();
    return;
  }
  LowTempOptWrapper();
  if ((ubCfg & 0x02u) == 0) return;
  FreqHopFields& hop = gstFreqHop.st;
  if (st.ubApplied == 0 && gstCommon.ubLowTempState == 2) {
    hop.ubEnabled = 0;
    const uint8_t ubIndex = gstLowTempCfg.aubData[20];
    const uint8_t ubCount = gstFreqHopCfg.aubData[1];
    if ((ubCfg & 0x80u) != 0 && ubIndex < ubCount && 2u + 2u * ubIndex + 1u < sizeof(gstFreqHopCfg.aubData)) {
      const uint16_t uwFreq = CfgU16(gstFreqHopCfg.aubData, 2u + 2u * ubIndex);
      if (hop.uwCurFreq != uwFreq) {
        SetNewFrequence(uwFreq);
        st.ubRebuildCnt = 0;
        RebuildPowerOnRef(7);
      }
    }
    if (gubLowTempPowerOn == 0) {
      st.ubRebuildCnt = 0;
      RebuildPowerOnRef(7);
    }
    st.ubApplied = 1;
  } else if (st.ubApplied != 0 && gstCommon.ubLowTempState == 0) {
    st.ubApplied = 0;
    hop.ubEnabled = static_cast<uint8_t>((gstThpAfeMoudleCfg.uiAfeWord >> 10) & 1u);
  }
}

// Pairing's side of the water removal: the frame's points against last frame's slots.
// Every point removed has its peak cleared and its mask entry set.
uint8_t RemoveWaterRect(const int16_t* pswDiff, RegionRect* pstRects, uint16_t* puwPeaks, uint8_t ubCount,
                        uint8_t* pubRemovedMask) {
  const CoordPairInput& in = PairIn();
  const CoordPairScratch& sc = PairScratch();
  uint16_t auwWeight[kCoordPointMax] = {};
  const uint8_t n = ubCount < kCoordPointMax ? ubCount : kCoordPointMax;
  memcpy(auwWeight, puwPeaks, n * sizeof(auwWeight[0]));
  RemoveWaterArg arg{};
  arg.ubRows = in.ubRows;
  arg.ubColumns = in.ubColumns;
  arg.ubMinFingers = in.ubLastReportCount;
  arg.pswPointMap = pswDiff;
  arg.pswSlotMap = in.pswPrevDiff != nullptr ? in.pswPrevDiff : pswDiff;
  arg.pstSlotRects = gstCoordPair.astLastRect;
  arg.pstPointRects = pstRects;
  arg.puwPointX = sc.auwQx;
  arg.puwPointY = sc.auwQy;
  arg.pubSlotIndex = gstCoordPair.aubOrderIndex;
  arg.puwWeight = auwWeight;
  const uint8_t removed = RemoveWaterRect(&arg);
  for (uint8_t k = 0; k < n; ++k) {
    if (auwWeight[k] != 0 || puwPeaks[k] == 0) continue;
    puwPeaks[k] = 0;
    pubRemovedMask[k] = 1;
  }
  return removed;
}

