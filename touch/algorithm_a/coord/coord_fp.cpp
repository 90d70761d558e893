// Fingerprint area: the area in nodes and in screen units, and the per-frame judgement of
// the one touch that lies on it. A touch that lands on the area and stays still is a
// fingerprint press; one that slid on from outside, or moves, is not.
#include <cstdlib>
#include <cstring>

#include "coord_game.h"
#include "coord_records.h"
#include "framework.h"
#include "region_records.h"
#include "tsa_config.h"
#include "tsa_debug.h"
#include "tsa_fwpkt.h"
#include "tsa_module.h"
#include "tsa_report.h"

uint8_t gboIsFpAreaPoint;
uint8_t gubFpIntLastSent;
uint16_t gpuwSmoothCoeffBuf[3];

namespace {

constexpr uint8_t kFpCfgJudgeBit = 0x01;
constexpr uint8_t kFwCmdFpInt = 0x3F;
// A region wider than this many node steps is a palm or a flat finger, not a fingerprint.
constexpr int32_t kFpRegionSpanMax = 6;

uint16_t FpCfgU16(uint32_t uiPos) { return LinkGetU16(gstFingerPrintCfg.aubData, uiPos); }

uint16_t ToScreen(uint32_t uiExtent, uint16_t uwModule, uint32_t uiGrid) {
  if (uiGrid == 0) return 0;
  return static_cast<uint16_t>(((uiExtent * uwModule) / uiGrid) >> 9);
}

bool StrictlyInside(int32_t v, int32_t lo, int32_t hi, int32_t pad) { return v > lo - pad && v < hi + pad; }

uint8_t PointLimit() {
  const uint8_t ubMax = static_cast<uint8_t>(gstTouchPannelCfg.uiValue20 & 0xFFu);
  return ubMax < kCoordPointMax ? ubMax : kCoordPointMax;
}

// Step 1 of the stage: the slot of the one valid point near the area, else 255.
void FindFpSlot() {
  FpJudge& j = gstFpJudge;
  if (j.ubState >= kFpStatePressed) return;
  j.ubFpSlot = kCoordNoSlot;
  const uint8_t ubRegions = gstMutualRegion.ubRegionNum < kCoordPointMax ? gstMutualRegion.ubRegionNum : kCoordPointMax;
  if (ubRegions == 0 || (fod_report_en == 0 && guiIsFWakeCheckNcln != kFpWakeArmed)) return;
  uint8_t ubCount = 0;
  uint8_t ubFound = kCoordNoSlot;
  for (uint8_t s = 0; s < ubRegions; ++s) {
    if (gpuwNewWeight[s] == 0 || gpuwNewPointX[s] == kCoordNoPosition) continue;
    if (StrictlyInside(gpuwNewPointX[s], j.uwAreaXLow, j.uwAreaXHigh, j.uwNodePitch) &&
        StrictlyInside(gpuwNewPointY[s], j.uwAreaYLow, j.uwAreaYHigh, j.uwNodePitch)) {
      ++ubCount;
      ubFound = s;
    }
  }
  if (ubCount == 1) j.ubFpSlot = ubFound;
}

}  // namespace

void FpJudgeInit() {
  FpJudge& j = gstFpJudge;
  CommonRecord& c = gstCommon;
  const uint32_t G1 = c.ubSenNum;
  const uint32_t G2 = c.ubDrvNum;
  const uint32_t E1 = c.uwSenCoordRange;
  const uint32_t E2 = c.uwDrvCoordRange;
  const uint16_t uwXLow = FpCfgU16(1), uwXHigh = FpCfgU16(3), uwYLow = FpCfgU16(5), uwYHigh = FpCfgU16(7);
  const uint8_t ubShare = gstFingerPrintCfg.aubData[11];
  const uint8_t ubSideOffset = gstFingerPrintCfg.aubData[16];

  const uint8_t ubNodeXLow = static_cast<uint8_t>(uwXLow >> 9), ubNodeXHigh = static_cast<uint8_t>(uwXHigh >> 9);
  const uint8_t ubNodeYLow = static_cast<uint8_t>(uwYLow >> 9), ubNodeYHigh = static_cast<uint8_t>(uwYHigh >> 9);
  c.aubFpRect[0] = ubNodeXLow;
  c.aubFpRect[1] = ubNodeXHigh;
  c.aubFpRect[2] = ubNodeYLow;
  c.aubFpRect[3] = ubNodeYHigh;
  const uint8_t ubNodes = static_cast<uint8_t>((ubNodeXHigh - ubNodeXLow + 1) * (ubNodeYHigh - ubNodeYLow + 1));
  c.ubFpNodeCount = ubNodes;
  c.ubFpAreaThreshold = static_cast<uint8_t>(ubNodes * ubShare / 8u);
  const uint32_t uiCentreX = (ubNodeXLow + ubNodeXHigh) / 2u;
  const uint32_t uiCentreY = (ubNodeYLow + ubNodeYHigh) / 2u;
  const uint16_t uwCentre = static_cast<uint16_t>(uiCentreX * G1 + uiCentreY);
  c.auwFpAreaWords[0] = uwCentre;
  c.auwFpAreaWords[1] = static_cast<uint16_t>(uwCentre - G1);
  c.auwFpAreaWords[2] = static_cast<uint16_t>(uwCentre + G1);
  c.auwFpAreaWords[3] = static_cast<uint16_t>(uiCentreY + G1 * ubSideOffset);
  c.auwFpAreaWords[4] = static_cast<uint16_t>(uiCentreY + G1 * static_cast<uint8_t>(G2 - ubSideOffset));

  j.uwAreaXLow = ToScreen(E1, uwXLow, G2);
  j.uwAreaXHigh = ToScreen(E1, uwXHigh, G2);
  j.uwAreaYLow = ToScreen(E2, uwYLow, G1);
  j.uwAreaYHigh = ToScreen(E2, uwYHigh, G1);
  j.uwCentreX = static_cast<uint16_t>((j.uwAreaXLow + j.uwAreaXHigh) / 2u);
  j.uwHalfWidth = static_cast<uint16_t>(((j.uwAreaXHigh - j.uwAreaXLow) / 2) & 0x7FFF);
  j.uwCentreY = static_cast<uint16_t>((j.uwAreaYLow + j.uwAreaYHigh) / 2u);
  j.uwHalfHeight = static_cast<uint16_t>(((j.uwAreaYHigh - j.uwAreaYLow) / 2) & 0x7FFF);

  const uint32_t uiPitchY = G1 != 0 ? E2 / G1 : 0;
  const uint32_t uiPitchX = G2 != 0 ? E1 / G2 : 0;
  j.uwNodePitch = static_cast<uint16_t>(uiPitchY < uiPitchX ? uiPitchY : uiPitchX);
  const uint16_t uwMargin = FpCfgU16(19);
  j.uwMargin = uwMargin != 0 ? uwMargin : static_cast<uint16_t>(j.uwNodePitch * 3u / 2u);

  j.ubState = 0;
  j.ubFpSlot = kCoordNoSlot;
  gboIsFpAreaPoint = 0;
  gubFpIntLastSent = 0;
  memset(j.auwDownX, 0xFF, sizeof(j.auwDownX));
  memset(j.auwDownY, 0xFF, sizeof(j.auwDownY));
  memset(j.auwPrevX, 0xFF, sizeof(j.auwPrevX));
  memset(j.auwPrevY, 0xFF, sizeof(j.auwPrevY));
}

void JudgeFpTouchSta(uint8_t ubSlot) {
  FpJudge& j = gstFpJudge;
  const int32_t LX = j.uwMargin + j.uwHalfWidth;
  const int32_t LY = j.uwMargin + j.uwHalfHeight;
  const int32_t L = FpCfgU16(13);
  const int32_t x = gpuwNewPointX[ubSlot], y = gpuwNewPointY[ubSlot];
  const int32_t cx = j.uwCentreX, cy = j.uwCentreY;
  if (std::abs(j.auwDownX[ubSlot] - cx) < LX && std::abs(j.auwDownY[ubSlot] - cy) < LY) {
    if (std::abs(x - j.auwPrevX[ubSlot]) > L || std::abs(y - j.auwPrevY[ubSlot]) > L || std::abs(x - cx) > LX ||
        std::abs(y - cy) > LY) {
      gstCommon.ubFpStatus = 0;
      return;
    }
    if (j.ubState < kFpStatePressed) {
      j.ubState = kFpStatePressed;
      gstCommon.ubFpStatus = 1;
    }
  } else if (j.ubState == 0) {
    gstCommon.ubFpStatus = 0;
  }
}

void JudgeFpTouch() {
  FpJudge& j = gstFpJudge;
  FindFpSlot();
  const uint8_t ubMax = PointLimit();
  const bool boJudge = (gstFingerPrintCfg.aubData[0] & kFpCfgJudgeBit) != 0;
  for (uint8_t i = 0; i < ubMax; ++i) {
    if (gpuwNewWeight[i] != 0) {
      if (j.auwDownX[i] == kCoordNoPosition) {
        j.auwDownX[i] = j.auwPrevX[i] = gpuwNewPointX[i];
        j.auwDownY[i] = j.auwPrevY[i] = gpuwNewPointY[i];
      }
      const RegionRect& r = gstCoordPair.astLastRect[i];
      const bool boSmall = r.ubRowEnd - r.ubRowStart <= kFpRegionSpanMax && r.ubColEnd - r.ubColStart <= kFpRegionSpanMax;
      if (boJudge && i == j.ubFpSlot && j.auwPrevX[i] != kCoordNoPosition && boSmall) JudgeFpTouchSta(i);
      j.auwPrevX[i] = gpuwNewPointX[i];
      j.auwPrevY[i] = gpuwNewPointY[i];
    } else {
      j.auwDownX[i] = j.auwDownY[i] = j.auwPrevX[i] = j.auwPrevY[i] = kCoordNoPosition;
      if (i == j.ubFpSlot) {
        j.ubState = 0;
        gstCommon.ubFpStatus = 0;
      }
    }
  }
}

void GetFpTouchIndex() { FindFpSlot(); }

uint8_t IsFpTouchArea(uint8_t ubSlot, uint16_t uwMargin) {
  if (ubSlot >= kCoordPointMax) return 0;
  const FpJudge& j = gstFpJudge;
  return StrictlyInside(gpuwNewPointX[ubSlot], j.uwAreaXLow, j.uwAreaXHigh, uwMargin) &&
                 StrictlyInside(gpuwNewPointY[ubSlot], j.uwAreaYLow, j.uwAreaYHigh, uwMargin)
             ? 1
             : 0;
}

void CmdSetFpInt(uint8_t ubValue) {
  if (ubValue == gubFpIntLastSent) return;
  TsaRequest stReq;
  memset(&stReq, 0, sizeof(stReq));
  if (PacketFwCmdMsg(kFwCmdFpInt, &ubValue, &stReq, 1) == 0) return;
  if (TsaRequestPush(reinterpret_cast<const uint8_t*>(&stReq)) != 0) return;
  gubFpIntLastSent = ubValue;
}

void SmoothCoeffBufInit() { memset(gpuwSmoothCoeffBuf, 0, sizeof(gpuwSmoothCoeffBuf)); }

void IdleJudgeInit() {}
