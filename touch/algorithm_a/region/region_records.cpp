// Region records: the module globals and the small routines that read them as a whole.
#include "region_records.h"

#include <cstring>

MutualRegionSet gstMutualRegion;
SelfRegion gstSelfRegion;
RegionInput gstRegionInput;
RegionOutput gstRegionOutput;
RegionAcquireState gstRegionAcquireState;
uint32_t guiRegionAcquireWord;

namespace {

constexpr uint32_t kWorkBufTailOffset = 40;
constexpr uint32_t kCfgCapAt = 12;
constexpr uint32_t kCfgPenaltyAt = 14;
constexpr uint32_t kCfgNodeLevelAt = 16;

uint16_t CfgU16(const CoordPairCfg& stCfg, uint32_t uiAt) {
  return static_cast<uint16_t>(stCfg.aubData[uiAt] | (stCfg.aubData[uiAt + 1] << 8));
}

}  // namespace

void RegionTrackCfgLoad(RegionAcquireState* pstState, const CoordPairCfg* pstCfg) {
  if (pstState == nullptr) return;
  if (pstCfg == nullptr || CfgU16(*pstCfg, kCfgPenaltyAt) == 0) {
    pstState->uwFrameCntCap = kRegionFrameCntCapDefault;
    pstState->uwFrameCntPenalty = kRegionFrameCntPenaltyDefault;
    pstState->uwNodeLevel = kRegionNodeLevelDefault;
    return;
  }
  pstState->uwFrameCntCap = CfgU16(*pstCfg, kCfgCapAt);
  pstState->uwFrameCntPenalty = CfgU16(*pstCfg, kCfgPenaltyAt);
  pstState->uwNodeLevel = CfgU16(*pstCfg, kCfgNodeLevelAt);
}

void RegionAcquireStateInit(uint8_t* pubWorkBuf) {
  RegionAcquireState& s = gstRegionAcquireState;
  memset(&s, 0, sizeof(s));
  s.pubWorkBuf = pubWorkBuf;
  s.pubWorkBufTail = pubWorkBuf != nullptr ? pubWorkBuf + kWorkBufTailOffset : nullptr;
  memset(s.aubSlotLabel, kRegionLabelNone, sizeof(s.aubSlotLabel));
  RegionTrackCfgLoad(&s, &gstCoordPairCfg);
  guiRegionAcquireWord = 0xFFFFFFFFu;
}

uint8_t SelfRegionSearch(const int16_t* pswData, uint8_t ubNum, uint16_t uwThreshold, uint8_t* pubSpan) {
  if (pubSpan != nullptr) *pubSpan = 0;
  if (pswData == nullptr || ubNum < 3) return 0;
  const int32_t siThr = uwThreshold;
  bool boRising = false;
  uint8_t ubCount = 0;
  uint32_t uiFirst = 0;
  uint32_t uiLast = 0;
  for (uint32_t i = 0; i + 2 < ubNum; ++i) {
    const int32_t p0 = pswData[i];
    const int32_t p1 = pswData[i + 1];
    const int32_t p2 = pswData[i + 2];
    // The neighbour differences are taken in 16 bits, as the channel values are.
    const int32_t d1 = static_cast<int16_t>(p1 - p0);
    const int32_t d2 = static_cast<int16_t>(p2 - p0);
    const bool boRiseNow = (p1 > siThr && d1 > siThr) || (d2 > siThr && d1 > -siThr && p2 > siThr);
    if (!boRiseNow && ubCount != 0 && !boRising) continue;
    if (boRiseNow) boRising = true;
    const bool boPeak = (p0 >= 1 && d1 < -siThr) || (i + 3 < ubNum && d2 < -siThr);
    if (!boPeak) continue;
    if (ubCount == 0) uiFirst = i;
    uiLast = i;
    if (ubCount != UINT8_MAX) ++ubCount;
    boRising = false;
  }
  if (ubCount != 0 && pubSpan != nullptr) *pubSpan = static_cast<uint8_t>(uiLast - uiFirst + 1);
  return ubCount;
}

int32_t GetRectInfoStatistic(const int16_t* pswMap, RegionRect stRect, int16_t swThreshold, int8_t scMode,
                             uint8_t ubColNum) {
  if (pswMap == nullptr || stRect.ubRowStart > stRect.ubRowEnd) return 0;
  int32_t siResult = 0;
  for (uint32_t r = stRect.ubRowStart; r <= stRect.ubRowEnd; ++r) {
    int16_t swRowMax = INT16_MIN;
    for (uint32_t c = stRect.ubColStart; c <= stRect.ubColEnd; ++c) {
      const uint16_t uwNode = static_cast<uint16_t>(r * ubColNum + c);
      const int16_t v = pswMap[uwNode];
      switch (scMode) {
        case 1:
          if (v > swThreshold) siResult += v;
          break;
        case 2:
          if (v < swThreshold) ++siResult;
          break;
        case 3:
          if (v > swThreshold) ++siResult;
          break;
        case 4:
          if (v > swRowMax) swRowMax = v;
          break;
        default:
          return 0;
      }
    }
    if (scMode == 4) {
      if (swRowMax < swThreshold) return 0;
      siResult = swRowMax;
    }
  }
  return siResult;
}
