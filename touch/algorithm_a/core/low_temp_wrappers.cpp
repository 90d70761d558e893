// The module wrappers of the low-temperature modules and of the quick reference update:
// each builds its callee's input from the common record and the pairing record, calls it
// once and copies the results back.
#include <algorithm>
#include <cstring>

#include "coord_records.h"
#include "diff_stages.h"
#include "framework.h"
#include "low_temp.h"
#include "module_wrappers.h"
#include "quick_ref.h"
#include "signal_proc.h"
#include "tsa_common.h"
#include "tsa_ctrl.h"

namespace {

// The pairing record's slot rectangles as packed words (byte order row start, row end,
// column start, column end).
uint32_t gauiSlotRects[kCoordPointMax];
uint16_t guwCompCounter;
// The optimisation's region list (by region number) and the touch list's region numbers.
uint32_t gauiRegionRects[kCoordPointMax];
uint16_t gauwRegionValues[kCoordPointMax];
uint16_t gauwRegionWeights[kCoordPointMax];
uint16_t gauwTouchValues[kCoordPointMax];
uint8_t gaubTouchRegion[kCoordPointMax];

const uint32_t* SlotRects() {
  for (uint8_t k = 0; k < kCoordPointMax; ++k) memcpy(&gauiSlotRects[k], &gstCoordPair.astLastRect[k], 4);
  return gauiSlotRects;
}

// Bytes 751-905 of the debug record: the slot states, counters and three rectangles of
// the residue slots (their first 85 bytes), then the first 70 bytes of the back-up record
// (its rectangles).
constexpr size_t kSlotSnapshot = 85;
constexpr size_t kBackupSnapshot = sizeof(gstSelkoAlgoDebugInfo.aubLowTempRects) - kSlotSnapshot;
static_assert(kSlotSnapshot <= sizeof(LowTempRectBak) && kBackupSnapshot <= sizeof(LowTmpRectBak2));

}  // namespace

// The touch list is the pairing slots; the region list is the frame's region set, and each
// slot's region number comes from the pairing's region-to-slot order. The point weights go
// to the optimisation by region number; a weight it clears removes that slot's point from
// the report. The state flag of the common record has no writer in this module: it passes 0.
void FillLowTempLists(LowTempInput* p) {
  memset(gaubTouchRegion, 0xFF, sizeof(gaubTouchRegion));
  for (uint8_t r = 0; r < kCoordPointMax; ++r) {
    memcpy(&gauiRegionRects[r], &gstMutualRegion.astRect[r], 4);
    gauwRegionValues[r] = gstMutualRegion.auwPeak[r];
    const uint8_t s = gstCoordPair.aubOrderIndex[r];
    gauwRegionWeights[r] = s < kCoordPointMax ? gpuwNewWeight[s] : 0;
    if (s < kCoordPointMax) gaubTouchRegion[s] = r;
  }
  memcpy(gauwTouchValues, gstCoordPair.auwLastRectMaxDiff, sizeof(gauwTouchValues));
  p->ubTouchListLen = kCoordPointMax;
  p->puiTouchRects = SlotRects();
  p->puiRegionRects = gauiRegionRects;
  p->puwTouchValues = gauwTouchValues;
  p->pubTouchRegion = gaubTouchRegion;
  p->puwRegionWeights = gauwRegionWeights;
  p->puwRegionValues = gauwRegionValues;
  const uint32_t uiNodes = static_cast<uint32_t>(p->ubRows) * p->ubCols;
  if (gstCommon.pubTempArena != nullptr && guwTempBufferSizes >= 4u * uiNodes) {
    p->puwScratchA = reinterpret_cast<uint16_t*>(gstCommon.pubTempArena);
    p->puwScratchB = p->puwScratchA + uiNodes;
  }
}

void WriteBackWeights() {
  for (uint8_t r = 0; r < kCoordPointMax; ++r) {
    const uint8_t s = gstCoordPair.aubOrderIndex[r];
    if (s < kCoordPointMax && gauwRegionWeights[r] == 0) gpuwNewWeight[s] = 0;
  }
}

// The leave events and the coordinate flag have no source on this module's coordinate side:
// they pass 0. The accumulate flag is 1, so warmth has to last 1200 time units (two minutes
// of 100-millisecond ticks) before a cold panel is taken as warm again.
void FillLowTempInput(LowTempInput* p) {
  memset(p, 0, sizeof(*p));
  p->ubRows = gstCommon.ubDrvNum;
  p->ubCols = gstCommon.ubSenNum;
  p->uwRegionSize = gstCommon.ubRegionByte;
  p->uwNodes = static_cast<uint16_t>(p->ubRows * p->ubCols);
  p->ubTick = gstCommon.ubTick100ms;
  p->ubAccumulate = 1;
  p->psbTemperature = gpsbCmdTemperatureValueNcln;
  p->ubTempFlags = gstCommon.ubTempFlags;
  p->ubTouchCount = gstCommon.ubTouchCount;
  p->pswDiff = gstCommon.stData.pswDiffData;
  p->puwRaw = gstCommon.stData.puwRawData;
  p->puwRef = gstCommon.stData.puwRefData;
  p->swFrameMax = gstCommon.swDiffMax;
  p->swFrameMin = gstCommon.swDiffMin;
  p->ullHighNoiseRows = gullHighNoiseB;
}

void LowTempOptWrapper() {
  LowTempInput in;
  FillLowTempInput(&in);
  LowTempJudge(&in);
  gstSelkoAlgoDebugInfo.ubLowTempJudge = in.ubStateOut;
  if (in.ubStateOut == kLowTempStateLow) {
    FillLowTempLists(&in);
    LowTempOpt(&in);
    WriteBackWeights();
    memcpy(gstSelkoAlgoDebugInfo.aubLowTempRects, &gstLowTempRectBak, kSlotSnapshot);
    memcpy(gstSelkoAlgoDebugInfo.aubLowTempRects + kSlotSnapshot, &gstLowTmpRectBak2, kBackupSnapshot);
    gpuwRefUpdateTypeBak[kRefTypeBakLowTemp] = in.ubRefChanged;
    if (in.ubRefChanged != 0 && in.puwRef != nullptr && in.uwNodes <= kFerrantMaxNodes)
      memcpy(gpuwMutualRefDataBak, in.puwRef, in.uwNodes * sizeof(uint16_t));
  } else {
    gpuwRefUpdateTypeBak[kRefTypeBakLowTemp] = in.ubRefChanged;
  }
  gstCommon.ubTempFlags = in.ubTempFlags;
  gstCommon.ubTouchCount = in.ubTouchCount;
  gstCommon.ubLowTempState = in.ubStateOut;
  gstCommon.ubLowTempOutput = in.ubSlotReleased;
  // A rebuild asked by the optimisation goes to the next mutual reference update.
  if (gubLowTempRebuildRequest != 0) gstCommon.ubRefUpdateType = gubLowTempRebuildRequest;
}

// The history enable of the compensation is on: the border histories are what tells a
// confirmed residue from a finger that comes back beside it.
void LowTempCompensateRectWrapper() {
  LowTempCompInput in{};
  in.pswDiff = gstCommon.stData.pswDiffData;
  in.ubRows = gstCommon.ubDrvNum;
  in.ubCols = gstCommon.ubSenNum;
  in.puiRegionRects = SlotRects();
  in.ubTick = gstCommon.ubTick100ms;
  in.ubHistEnable = 1;
  in.uwCompCnt = guwCompCounter;
  LowTempCompensateRect(&in);
  guwCompCounter = in.uwCompCnt;
  if (in.ubChanged != 0) gstCommon.ubDiffModified = 1;
}

void JudgeLowTempByTouchWrapper() {
  LowTempTouchInput in{};
  in.ubRows = gstCommon.ubDrvNum;
  in.ubCols = gstCommon.ubSenNum;
  in.ubTouchCount = gstCommon.ubTouchCount;
  in.pswDiff = gstCommon.stData.pswDiffData;
  if (in.pswDiff == nullptr) return;
  in.puiRects = SlotRects();
  in.puwValues = gstCoordPair.auwLastRectMaxDiff;
  in.puwX = gstCoordPair.auwSlotX;
  in.puwY = gstCoordPair.auwSlotY;
  in.puwPrevX = gstCoordPair.auwPrevSlotX;
  in.puwPrevY = gstCoordPair.auwPrevSlotY;
  JudgeLowTempByTouch(&in);
}

// No map of the coordinate input is handed to the initialisation: there is nothing of its
// own for it to clear.
void LowTempInitWrapper() { LowTempInit(nullptr, 0); }

void QuickRefUpInitWrapper(void) { QuickRefUpdateInit(); }

// Touch values and rectangles are the pairing record's slots; the scratch map is the
// temporary arena (the ghost check's cleaned map has its own buffer).
void QuickRefUpdateWrapper(void) {
  QuickRefUpdateInput in{};
  in.ubLargeTouch = gstCommon.ubWaterResult != 0 ? 1 : 0;
  in.uwStatus = gstCommon.ubGameModeFlag;
  in.uwSpare = gstCommon.ubLargeAreaFlag;
  in.ubNoise = gstCommon.ubNfNoiseResult;
  in.ubTouchCount = gstCommon.ubTouchCount;
  in.uwTick = gstCommon.ubTick100ms;
  in.ubRows = gstCommon.ubDrvNum;
  in.ubCols = gstCommon.ubSenNum;
  in.ubLowTempState = gstCommon.ubLowTempState;
  in.pubNetBuffer = gpubDlCache;
  in.pubShakeList = gpubShakeRxList;
  in.puwTouchValues = gstCoordPair.auwLastRectMaxDiff;
  in.puwRef = gstCommon.stData.puwRefData;
  in.puwRaw = gstCommon.stData.puwRawData;
  in.puwScratch = reinterpret_cast<uint16_t*>(gstCommon.pubTempArena);
  in.uwNodes = gstCommon.uwNodeNum;
  in.pswDiff = gstCommon.stData.pswDiffData;
  in.swMaxDiff = gstCommon.swDiffMax;
  in.swMinDiff = gstCommon.swDiffMin;
  in.uwMaskThreshold = gstCommon.uwMaskThreshold;
  in.uwThreshold2 = gstCommon.uwThreshold2;
  in.puiTouchRects = SlotRects();
  QuickRefUpdate(&in);
  gstCommon.ubRefUpdateType = in.ubRequest;
}

void RefQuickUpdate() { QuickRefUpdateWrapper(); }
