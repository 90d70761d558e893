// The module wrappers of the reference update, the debug record they fill and the small
// utilities of the wrapper layer.
#include "module_wrappers.h"

#include <cstring>

#include "coord_edge.h"
#include "coord_records.h"
#include "coord_smooth.h"
#include "customer_hooks.h"
#include "diff_stages.h"
#include "framework.h"
#include "region_water_ops.h"
#include "signal_proc.h"
#include "signal_util.h"
#include "tsa_common.h"
#include "tsa_ctrl.h"
#include "tsa_custdbg.h"
#include "tsa_frame_links.h"
#include "tsa_report.h"

SelkoAlgoDebugInfo gstSelkoAlgoDebugInfo;
uint16_t gpuwMutualRefDataBak[kFerrantMaxNodes + 1];
uint16_t gpuwRefUpdateTypeBak[4];


extern uint8_t gubGloveSat;  // region acquisition

namespace {

constexpr uint8_t kChannelDisJudge = 0x01;
constexpr uint32_t kMaxDisconnectRatio = 20;
constexpr uint8_t kGloveSatBit = 0x01;

RefUpdateArgs gstRefArgs;
uint16_t gauwCleanRef[kFerrantMaxNodes];
int16_t gaswRefScratch[3][kFerrantMaxNodes];
uint8_t gaubLowTempConsist[2];
uint16_t guwLowTempConsistFrames;
uint16_t guwMutualWrapperCalls;
uint16_t gauwRefDisconArena[kFerrantMaxNodes];

// Fills the argument record of the reference module from the common frame record.
RefUpdateArgs* BuildRefArgs() {
  RefUpdateArgs& a = gstRefArgs;
  a = RefUpdateArgs{};
  a.uwRefValid = gstCommon.ubPowerOnRefReady;
  a.ubRows = gstCommon.ubDrvNum;
  a.ubCols = gstCommon.ubSenNum;
  a.uwSelfLen = static_cast<uint16_t>(gstCommon.ubDrvNum + gstCommon.ubSenNum);
  a.uwNodeNum = static_cast<uint16_t>(sig::Nodes());
  a.ubNormFlagA = gstCommon.ubNormFlagA;
  a.ubNormFlagB = gstCommon.ubNormFlagB;
  a.ubNormFlagC = gstCommon.ubRefState;
  a.ubNormByte4 = gstNormalize.st.ubDoubleBValid;
  a.swQuietThr = static_cast<int16_t>(gstCommon.uwThreshold2);
  // The raw level normalisation brings every node to: what the clean reference is
  // measured from.
  a.uwNormBase = sig::U16(gstRawNormalizeCfg.aubData, 2);
  a.swTouchThr = gstCommon.swTouchThreshold;
  a.ubLowTempState = gstCommon.ubLowTempState;
  a.puwRaw = gstCommon.stData.puwRawData;
  a.puwFiltRaw = gstCommon.puwRawForDiff;
  a.puwSelfRaw = gstCommon.stData.puwSelfRawData;
  for (uint32_t i = 0; i < 3; ++i) a.apswScratch[i] = gaswRefScratch[i];
  a.puwRef = gstCommon.stData.puwRefData;
  a.puwCleanRef = gauwCleanRef;
  a.puwSelfRef = gstCommon.stData.puwSelfRefData;
  a.pswDiff = gstCommon.stData.pswDiffData;
  a.pswSelfDiff = gstCommon.stData.pswSelfDiffData;
  a.scTemp = gpsbCmdTemperatureValueNcln[0];
  a.aubLowTempConsist[0] = gaubLowTempConsist[0];
  a.aubLowTempConsist[1] = gaubLowTempConsist[1];
  a.uwLowTempConsistFrames = guwLowTempConsistFrames;
  a.ubIdleUpdate = gstCommon.ubIdleAutoWake;
  a.ubTouchNum = gstCommon.ubTouchCount;
  a.ubTick = gstCommon.ubTick100ms;
  a.ubGloveSat = gubGloveSat & kGloveSatBit;
  a.ubNormState = gstNormalize.st.ubCheckState;
  a.swDiffMax = gstCommon.swDiffMax;
  a.swDiffMin = gstCommon.swDiffMin;
  a.ubHopFlag = gubHopFlag;
  a.puiWakeCheck = &guiIsFWakeCheckNcln;
  a.ubGameStatus = gstCommon.ubGameModeFlag;
  a.ubLongMode = gstCommon.ubCoordOption;
  a.ubDoubledThr = gstCommon.scLcdNoiseState != 0 ? 1 : 0;
  a.ubLargeArea = gstCommon.ubLargeAreaFlag;
  a.ubTimerHold = gstCommon.ubTimerHold;
  a.ubIronCover = gstCommon.ubLargePocket;
  a.ubFpFlag = gstCommon.ubFpCovered;
  // The fingerprint area words name the reference nodes of the edge-grip test: three
  // nodes, then the two they must stay above.
  memcpy(a.auwGripNodes, gstCommon.auwFpAreaWords, sizeof(a.auwGripNodes));
  memcpy(a.aubTouchedRect, gstCommon.aubWorkRect, sizeof(a.aubTouchedRect));
  a.puwCurX = gstCoordPair.auwSlotX;
  a.puwCurY = gstCoordPair.auwSlotY;
  a.puwPrevX = gstCoordPair.auwPrevSlotX;
  a.puwPrevY = gstCoordPair.auwPrevSlotY;
  return &a;
}

void KeepLowTempConsist(const RefUpdateArgs& a) {
  gaubLowTempConsist[0] = a.aubLowTempConsist[0];
  gaubLowTempConsist[1] = a.aubLowTempConsist[1];
  if (a.aubLowTempConsist[0] == 0) {
    guwLowTempConsistFrames = 0;
  } else if (guwLowTempConsistFrames != 0xFFFF) {
    ++guwLowTempConsistFrames;
  }
}

// The grid every raw-filter record carries.
RawFilterInput RawFilterGrid() {
  RawFilterInput in{};
  in.ubRows = gstCommon.ubDrvNum;
  in.ubCols = gstCommon.ubSenNum;
  in.uwNodeNum = static_cast<uint16_t>(sig::Nodes());
  in.uwSelfNum = static_cast<uint16_t>(gstCommon.ubDrvNum + gstCommon.ubSenNum);
  return in;
}

void CopyMutualDebug() {
  SelkoAlgoDebugInfo& d = gstSelkoAlgoDebugInfo;
  memcpy(d.aubRefResidual, &gstRefResidual, sizeof(d.aubRefResidual));
  memcpy(d.aubAgeing, &gstAgeingArgsNcln, sizeof(d.aubAgeing));
  memcpy(d.aubRefHop, &gstRefHopArgs, sizeof(d.aubRefHop));
  memcpy(d.aubRefModuleHead, &gstRefUpdateModule, sizeof(d.aubRefModuleHead));
}

}  // namespace

uint32_t GetSelkoAlgoDebugInfo(void* pvOut) {
  if (pvOut == nullptr) return 0;
  memcpy(pvOut, &gstSelkoAlgoDebugInfo, kSelkoAlgoDebugBytes);
  return kSelkoAlgoDebugBytes;
}

uint32_t GetAlgorithmVersion(void) { return 0x09050002u; }

uint8_t Tick100MsDecreaseU8(uint8_t ubA, uint8_t ubB) { return ubA < ubB ? 0 : static_cast<uint8_t>(ubA - ubB); }

uint32_t GetAbsoluteDisOf2Rect(const uint8_t* pubR1, const uint8_t* pubR2) {
  if (pubR1 == nullptr || pubR2 == nullptr) return 0;
  const auto s1 = static_cast<uint8_t>(pubR1[0] + pubR1[1]), t1 = static_cast<uint8_t>(pubR1[2] + pubR1[3]);
  const auto s2 = static_cast<uint8_t>(pubR2[0] + pubR2[1]), t2 = static_cast<uint8_t>(pubR2[2] + pubR2[3]);
  const uint32_t dx = static_cast<uint8_t>(s1 > s2 ? s1 - s2 : s2 - s1);
  const uint32_t dy = static_cast<uint8_t>(t1 > t2 ? t1 - t2 : t2 - t1);
  return dx * dx + dy * dy;
}

GameModeFilter GameModeFilterInputs(uint16_t uwGameMode) {
  return GameModeFilter{GameModeFstFilter(uwGameMode), GameModeNorFilter(uwGameMode)};
}

uint16_t RefUpdateWrapperCalls() { return guwMutualWrapperCalls; }

void GetPanelPowerOnRefEntranceWrapper() {
  RefUpdateArgs* a = BuildRefArgs();
  if (a->puwRef == nullptr || a->puwRaw == nullptr || a->pswDiff == nullptr || a->uwNodeNum == 0) return;
  const uint8_t ubDone = GetPanelPowerOnRefEntrance(a) != 0 ? 1 : 0;
  gstCommon.ubPowerOnRefReady = ubDone;
  KeepLowTempConsist(*a);
  // The frame that built the reference asks the raw-data stage to settle the k/b state and
  // repair lines once, before the first difference is taken against it.
  gstRefdataOutput.ubPowerOnReq = a->ubBuilt;
  if (a->ubBuilt != 0) {
    gstCommon.ubNormFlagA = a->ubNormFlagA;
    gstCommon.ubNormFlagB = a->ubNormFlagB;
    gstCommon.ubRefState = a->ubNormFlagC;
    if ((gstChannelDisCfg.aubData[0] & kChannelDisJudge) != 0) {
      DisconnectJudgeInput in{};
      in.puwRaw = gstCommon.stData.puwRawData;
      in.puwB = gstCommon.puwBArray;
      in.puwArena = gauwRefDisconArena;
      in.uwNodeNum = a->uwNodeNum;
      in.uwDropThreshold = static_cast<uint16_t>(gstChannelDisCfg.aubData[1] * 10u);
      in.ubRatio = static_cast<uint8_t>(gstChannelDisCfg.aubData[2] < kMaxDisconnectRatio ? gstChannelDisCfg.aubData[2]
                                                                                          : kMaxDisconnectRatio);
      in.ubStudyProgress = gstNormalize.st.ubScanRunning;
      in.ubBValid = gstNormalize.st.ubBValid;
      in.ubCmdBlock = gstNormalize.st.ubCmdBlocked;
      in.ubRows = a->ubRows;
      in.ubCols = a->ubCols;
      DisconnecChannelJudgeProc(&in);
      gstCommon.ubDisconnectState = in.ubFound;
      gstCommon.ubDisconnectResult = in.ubEdgeFlags;
    }
  }
  gpuwRefUpdateTypeBak[kRefTypeBakPowerOn] = ubDone;
  gpuwRefUpdateTypeBak[kRefTypeBakAgeing] = gubAgeingFlagNcln;
}

void RefUpdatePanelMutualWrapper() {
  RefUpdateArgs* a = BuildRefArgs();
  a->ubReqCodeIn = gstCommon.ubRefUpdateType;
  RefUpdatePanelMutual(a);
  KeepLowTempConsist(*a);
  gstCommon.ubRefUpdateType = a->ubReqCodeIn;
  gubHopFlag = a->ubHopFlag;
  gstCommon.ubRefOutput = a->ubResidueConfirm;
  const uint8_t ubType = a->ubRebuildCode;
  if (ubType != 0) gstCommon.ubRefState = a->ubNormFlagC;
  // The reference's roughness, which the reference-update flag follows with hysteresis,
  // and the code of this frame's rebuild.
  gstRefdataOutput.uiRefSum = GetCurScreenConst();
  gstRefdataOutput.ubRefUpdated = ubType;
  const uint32_t uiNodes = a->uwNodeNum < kFerrantMaxNodes ? a->uwNodeNum : kFerrantMaxNodes;
  // The backup is what a wake restores, so it keeps the last copy; its valid word says
  // whether this frame refreshed it (the report emits it only then).
  guwMutualWrapperCalls = static_cast<uint16_t>(guwMutualWrapperCalls + 1);
  gpuwMutualRefDataBak[kFerrantMaxNodes] = 0;
  if ((ubType != 0 || gstRefdataOutput.ubPowerOnReq == 1 || guwMutualWrapperCalls % kRefBackupEveryCalls == 0) &&
      a->puwRef != nullptr) {
    memcpy(gpuwMutualRefDataBak, a->puwRef, uiNodes * sizeof(uint16_t));
    gpuwMutualRefDataBak[kFerrantMaxNodes] = 1;
  }
  gpuwRefUpdateTypeBak[kRefTypeBakMutual] = ubType;
  gpuwRefUpdateTypeBak[kRefTypeBakAgeing] = gubAgeingFlagNcln;
  if (gpstTamrelDebugInfo != nullptr && a->ubRebuildDetail != 0) gpstTamrelDebugInfo[5] = a->ubRebuildDetail;
  CopyMutualDebug();
}

void RefUpdateTRxWrapper() {
  RefUpdateTRxInput in{};
  in.pswExtremes = &gstSelfOfsCancel.swColMinAfter;
  in.puwFiltSelfRaw = gstCommon.puwSelfFilterState != nullptr ? gstCommon.puwSelfFilterState : gstCommon.stData.puwSelfRawData;
  const uint32_t uiLen = static_cast<uint32_t>(gstCommon.ubDrvNum) + gstCommon.ubSenNum;
  in.ubSelfLen = static_cast<uint8_t>(uiLen > 255 ? 255 : uiLen);
  in.swMutualMax = gstCommon.swDiffMax;
  in.swMutualMin = gstCommon.swDiffMin;
  in.swTouchThr = gstCommon.swTouchThreshold;
  in.ubTick = gstCommon.ubTick100ms;
  in.ubStylus = gstCommon.ubSelfOfsHold;
  in.pswSelfDiff = gstCommon.stData.pswSelfDiffData;
  in.puwSelfRef = gstCommon.stData.puwSelfRefData;
  RefUpdateTRx(&in);
}

void RefUpdateTRxInitWrapper() {
  RefUpdateTRxInit(gstCommon.stData.puwSelfRawData, gstCommon.stData.pswSelfDiffData, gstCommon.stData.puwSelfRefData);
}

void MutualRawDataIirFilterWrapper() {
  RawFilterInput in = RawFilterGrid();
  in.ubRefValid = gstCommon.ubPowerOnRefReady;
  in.ubNfNoise = gstCommon.ubNfNoiseResult;
  in.ubTouchNum = gstCommon.ubTouchCount;
  in.puwRaw = gstCommon.stData.puwRawData;
  in.puwRawFiltered = gstCommon.puwRawForDiff;
  MutualRawDataIirFilter(&in);
}

void SelfRawDataIirFilterWrapper() {
  RawFilterInput in = RawFilterGrid();
  in.ubRefValid = gstCommon.ubPowerOnRefReady;
  in.puwSelfRaw = gstCommon.stData.puwSelfRawData;
  in.puwSelfFiltered = gstCommon.puwSelfFilterState;
  SelfRawDataIirFilter(&in);
}

void MutualRawDataGaussianFilterWrapper() {
  RawFilterInput in = RawFilterGrid();
  in.pubScratch = gstCommon.pubTempArena;
  in.puwRaw = gstCommon.stData.puwRawData;
  MutualRawDataGaussianFilter(&in);
}

void SelfRawDataGaussianFilterWrapper() {
  RawFilterInput in = RawFilterGrid();
  in.pubScratch = gstCommon.pubTempArena;
  in.puwSelfRaw = gstCommon.stData.puwSelfRawData;
  SelfRawDataGaussianFilter(&in);
}

void EdgeCoordSmoothSetWrapper(uint8_t ubPoint) {
  EdgeResState& s = gstEdgeRes;
  // The common record's normalisation-check byte (1 from initialisation) doubles as the
  // start mode: 1 starts the smoothing.
  EdgeSmoothArg arg{s.aubFirstZoneFlags, s.aubResult,  s.auwAnchorX, s.auwAnchorY, gstCommon.ubNormalizeCheckEn,
                    ubPoint,             EdgePairMarks()};
  EdgeCoordSmoothSet(&arg);
}

void WaterproofProcWrapper() {
  CommonRecord& c = gstCommon;
  MutualRegionSet& m = gstMutualRegion;
  WaterproofInput in;
  memset(&in, 0, sizeof(in));
  in.pswDiff = c.stData.pswDiffData;
  in.ubRowNum = c.ubDrvNum;
  in.ubColNum = c.ubSenNum;
  in.ubFingerNum = gstCoordPair.ubLastPointCount;
  in.swDiffMax = c.swDiffMax;
  in.swDiffMin = c.swDiffMin;
  // The noise level stands for the frame level that the wet-area test compares with 20.
  in.swLevel = static_cast<int16_t>(c.uwImCurLevel > 0x7FFF ? 0x7FFF : c.uwImCurLevel);
  in.pswSelfDiff = c.stData.pswSelfDiffData;
  in.ubSelfCapEn = (c.ubSelfEnable != 0 && gstRegionRoles.ubSelfDisable == 0) ? 1 : 0;
  // The second level is the higher touch level, the touch threshold in force the lower one
  // (the leave level, or 45 while weak touches are searched).
  in.uwTouchLevel = c.uwSecondThreshold;
  in.swLowLevel = c.swTouchThreshold;
  in.pubMaskBuf = c.pubRegionNodeBuf;
  // The shared network buffer is handed on, so that the water network takes part.
  in.pubNetWork = gpubDlCache;
  in.pubSlotIndex = gstCoordPair.aubOrderIndex;
  in.puwSlotPeak = gstCoordPair.auwLastRectMaxDiff;
  in.puwSlotX = gstCoordPair.auwSlotX;
  in.puwSlotY = gstCoordPair.auwSlotY;
  in.pvCoordPair = &gstCoordPair;
  in.ubRegionSkip = gstRegionOutput.ubPassFlag;
  in.ubPairByte = gstCoordPair.ubStillTrimMark;
  in.ubSelfLineSum = 150;
  in.scConst = static_cast<int8_t>(246);
  in.ubRegionNum = m.ubRegionNum;
  in.pstRect = m.astRect;
  in.puwKeep = m.auwPeak;
  in.pswPrevDiff = CoordPairPrevDiffMap();
  in.pswDiffLastLast = gpswDiffLastLast;
  in.pubLabelMap = gaubRegionLabelMap;
  in.ubWaterState = c.ubWaterFlag;
  if (c.ubWaterMode == 2) in.ubWaterState = 1;
  in.puwRegionArrayB = m.auwWaterValue;
  in.puwRegionArrayA = m.auwPeakPos;
  const uint8_t ubBefore = m.ubRegionNum;
  WaterproofProc(&in);
  if (c.ubWaterMode == 2) in.ubWaterState = 1;
  m.ubRegionNum = in.ubRegionNum;
  const uint8_t ubRemoved = ubBefore > in.ubRegionNum ? static_cast<uint8_t>(ubBefore - in.ubRegionNum) : 0;
  c.ubRemovedCount = ubRemoved;
  m.ubPairNum = m.ubPairNum > ubRemoved ? static_cast<uint8_t>(m.ubPairNum - ubRemoved) : 0;
  // The removed rectangles sit at their old region index; the debug record lists them in
  // index order, so that every listed rectangle is one that was removed.
  SelkoAlgoDebugInfo& d = gstSelkoAlgoDebugInfo;
  d.ubWaterRemoved = ubRemoved;
  memset(d.aubWaterRemovedRects, 0, sizeof(d.aubWaterRemovedRects));
  uint8_t n = 0;
  for (uint8_t k = 0; k < kRegionMax && n < ubRemoved && in.pstRemoved != nullptr; ++k) {
    if (RegionRectWord(in.pstRemoved[k]) == kRegionRectEmptyBound) continue;
    memcpy(d.aubWaterRemovedRects + 4 * n, &in.pstRemoved[k], 4);
    ++n;
  }
  c.ubWaterFlag = in.ubWaterState;
  c.ubWaterResult = in.ubAnyWater;
  gstRegionRoles.aubWaterFlag[0] = in.ubWaterState;
  gstRegionRoles.aubWaterFlag[1] = in.ubAnyWater;
  d.ubWaterByte = in.ubUnionFlag;
  d.aubWaterWord[0] = in.ubMoveFlag;
  d.aubWaterWord[1] = in.ubAnyWater;
}
