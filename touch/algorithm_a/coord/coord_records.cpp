// Coordinate records: the module globals, their initial state and the pairing accessors.
#include "coord_records.h"

#include <cstring>

uint16_t gpuwNewPointX[kCoordPointMax];
uint16_t gpuwNewPointY[kCoordPointMax];
uint16_t gpuwNewWeight[kCoordPointMax];
uint16_t gpuwCur2LastAbsDis[kCoordPointMax];
uint16_t gpuwLast2LastLastAbsDis[kCoordPointMax];

// Aligned so that the u16 arrays (all at even offsets) can be handed out as u16 pointers.
alignas(8) CoordPair gstCoordPair;
CoordComOutput gstCoordComOutput;
CoordComInput gstCoordComInput;
FingerUpFilter gstFingerUpFilter;
FpJudge gstFpJudge;
GestureRecord gstGesture;
uint8_t gubRectTrimFlag;

namespace {

constexpr uint32_t kCfgFirstLimitAt = 10;
constexpr uint32_t kCfgSecondLimitAt = 18;

uint16_t* PairU16Array(size_t uiOffset) {
  return reinterpret_cast<uint16_t*>(reinterpret_cast<uint8_t*>(&gstCoordPair) + uiOffset);
}
static_assert(offsetof(CoordPair, auwLastRectMaxDiff) % 2 == 0 && offsetof(CoordPair, auwCurRectMaxDiff) % 2 == 0);

uint16_t CfgU16OrDefault(uint32_t uiAt, uint16_t uwDefault) {
  const uint8_t* p = gstCoordPairCfg.aubData + uiAt;
  const uint16_t v = static_cast<uint16_t>(p[0] | (p[1] << 8));
  return v != 0 ? v : uwDefault;
}

}  // namespace

void CoordPairRecordInit() {
  CoordPair& p = gstCoordPair;
  memset(&p, 0, sizeof(p));
  memset(p.astLastRect, 0xFF, sizeof(p.astLastRect));
  memset(p.auwSlotX, 0xFF, sizeof(p.auwSlotX));
  memset(p.auwSlotY, 0xFF, sizeof(p.auwSlotY));
  memset(p.auwPrevSlotX, 0xFF, sizeof(p.auwPrevSlotX));
  memset(p.auwPrevSlotY, 0xFF, sizeof(p.auwPrevSlotY));
  memset(p.auwDownSlotX, 0xFF, sizeof(p.auwDownSlotX));
  memset(p.auwDownSlotY, 0xFF, sizeof(p.auwDownSlotY));
  memset(p.aubOrderIndex, kCoordNoSlot, sizeof(p.aubOrderIndex));
  p.uwFirstPairLimit = CfgU16OrDefault(kCfgFirstLimitAt, kFirstPairLimitDefault);
  p.uwSecondPairLimit = CfgU16OrDefault(kCfgSecondLimitAt, kSecondPairLimitDefault);
  gubRectTrimFlag = 0;
}

void CoordComOutputInit(void* pvReportRecord) {
  memset(gpuwNewPointX, 0, sizeof(gpuwNewPointX));
  memset(gpuwNewPointY, 0, sizeof(gpuwNewPointY));
  memset(gpuwNewWeight, 0, sizeof(gpuwNewWeight));
  memset(gpuwCur2LastAbsDis, 0xFF, sizeof(gpuwCur2LastAbsDis));
  memset(gpuwLast2LastLastAbsDis, 0xFF, sizeof(gpuwLast2LastLastAbsDis));
  gstCoordComOutput = CoordComOutput{gpuwNewPointX,          gpuwNewPointY,  gpuwNewWeight,
                                     gpuwCur2LastAbsDis,     gpuwLast2LastLastAbsDis,
                                     &gstCoordPair,          gstCoordPair.aubOrderIndex,
                                     pvReportRecord,         0, 0, 0};
}

VENDOR_EXPORT uint8_t* GetCoordPairLastRectArr(void) {
  return reinterpret_cast<uint8_t*>(gstCoordPair.astLastRect);
}
VENDOR_EXPORT uint16_t* GetCoordPairLastRectMaxDiffArr(void) {
  return PairU16Array(offsetof(CoordPair, auwLastRectMaxDiff));
}
VENDOR_EXPORT uint16_t* GetCoordPairCurRectMaxDiffArr(void) {
  return PairU16Array(offsetof(CoordPair, auwCurRectMaxDiff));
}
VENDOR_EXPORT uint8_t* GetCoordPairLeaveTouchTimerArr(void) { return gstCoordPair.aubLeaveTouchTimer; }
VENDOR_EXPORT uint8_t* GetCoordPairOrderIndexArr(void) { return gstCoordPair.aubOrderIndex; }
VENDOR_EXPORT uint8_t GetCoordPairLastRectNum(void) { return gstCoordPair.ubLastRectNum; }
VENDOR_EXPORT uint8_t GetRectTrimFlag(void) { return gubRectTrimFlag; }
