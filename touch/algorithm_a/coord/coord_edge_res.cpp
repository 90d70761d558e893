// Edge rejection set-up: the zone record from the edge configuration or from the zones the
// host sends, the zone geometry helpers and the click-area sizes.
#include <algorithm>
#include <cstring>

#include "coord.h"
#include "coord_edge.h"
#include "coord_game.h"
#include "customer_hooks.h"
#include "framework.h"
#include "tsa_module.h"

// Aligned so that the point arrays can be handed on as plain arrays.
alignas(8) EdgeZoneParam gstEdgeResParam;
alignas(8) EdgeResState gstEdgeRes;
EdgeResWork* gpstEdgeResTemp;
uint8_t gubEdgeResCmd;
uint8_t gubClickAreaLongTouchOutEn;
uint8_t gboEdgeRes;

namespace {

constexpr uint8_t kCfgOn = 0x01;
constexpr uint8_t kCfgHostZones = 0x02;
// The fixed click strips that replace the host's X-side click zone in portrait.
constexpr uint16_t kPortraitClickStrip = 150;

// Stands in for the shared temporary buffer before the core has allocated it.
alignas(8) EdgeResWork sstOwnWork;

uint16_t ExtentX() { return gstCommon.uwSenCoordRange; }
uint16_t ExtentY() { return gstCommon.uwDrvCoordRange; }

void SetSub(EdgeSubRect& r, uint16_t yl, uint16_t xl, uint16_t yh, uint16_t xh) { r = EdgeSubRect{yl, xl, yh, xh}; }

bool SideOn(uint8_t ubSide) { return (gstEdgeRes.ubSideMask & (1u << ubSide)) != 0; }

// A host value at the command resolution on the screen's scale. The host resolution is the
// panel's output resolution; a resolution of 0 or 1 has no scale and turns the value into 0,
// and a value beyond the host resolution stays on the screen rather than wrapping.
uint16_t RescaleHostValue(uint16_t uwValue, uint16_t uwExtent, uint16_t uwCmdExtent) {
  if (uwCmdExtent <= 1) return 0;
  const uint32_t v = static_cast<uint32_t>(uwValue) * uwExtent / (uwCmdExtent - 1u);
  return static_cast<uint16_t>(std::min<uint32_t>(v, uwExtent));
}

void LoadHostZones() {
  const uint16_t uwCmdX = gstCommon.uwPanelWord0;
  const uint16_t uwCmdY = gstCommon.uwPanelWord1;
  for (uint32_t r = 0; r < 4; ++r) {
    uint16_t* puwRow = &gstEdgeResParam.astZone[r][0].uwYLow;
    for (uint32_t k = 0; k < 16; ++k) {
      const uint16_t v = gppuwEdgePramCmd[16 * r + k];
      puwRow[k] = (k % 2 == 0) ? RescaleHostValue(v, ExtentY(), uwCmdY) : RescaleHostValue(v, ExtentX(), uwCmdX);
    }
  }
  UpperCornerZoneInitFromCfg();
  if (gstEdgeRes.ubLevel == 0) {
    EdgeSubRect* click = gstEdgeResParam.astZone[kEdgeZoneClick];
    SetSub(click[kEdgeSideXLow], 0, 0, ExtentY(), kPortraitClickStrip);
    SetSub(click[kEdgeSideXHigh], 0, static_cast<uint16_t>(ExtentX() - kPortraitClickStrip), ExtentY(), ExtentX());
  }
  uint8_t ubMask = 0;
  for (uint8_t j = 0; j < 4; ++j) {
    if (gstEdgeResParam.astZone[kEdgeZoneDead][j].uwYHigh != 0 || gstEdgeResParam.astZone[kEdgeZoneClick][j].uwYHigh != 0)
      ubMask = static_cast<uint8_t>(ubMask | (1u << j));
  }
  gstEdgeRes.ubSideMask = ubMask;
  DeadZoneInitFromCfg();
}

}  // namespace

uint16_t EdgeCfgU16(uint32_t uiAt) {
  const uint8_t* c = gstEdgeResCfg.aubData;
  return static_cast<uint16_t>(c[uiAt] | (c[uiAt + 1] << 8));
}

uint8_t* EdgePairMarks() { return gstCommon.aubEdge; }
static_assert(offsetof(CommonRecord, aubEdge2) == offsetof(CommonRecord, aubEdge) + 8,
              "the twelve pair marks run on from the first edge bytes into the second");

void EdgeRestrainSetTempSizeInit() {
  if (guwTempBufferSizes < sizeof(EdgeResWork)) guwTempBufferSizes = sizeof(EdgeResWork);
}

void EdgeResInit(uint8_t ubKind, uint8_t ubLevel) {
  gpstEdgeResTemp = gstCommon.pubTempArena != nullptr && guwTempBufferSizes >= sizeof(EdgeResWork)
                        ? reinterpret_cast<EdgeResWork*>(gstCommon.pubTempArena)
                        : &sstOwnWork;
  EdgeResState& s = gstEdgeRes;
  memset(&s, 0, sizeof(s));
  for (uint8_t i = 0; i < kCoordPointMax; ++i) s.auwAnchorX[i] = kEdgeNoAnchor;
  EdgeResInitCustom();
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    s.auiStoredRect[i] = kEdgeNoRect;
    s.aswPeakValue[i] = kEdgeNoPeak;
    s.aubPeakSlot[i] = kCoordNoSlot;
  }
  s.ubLevel = ubLevel;
  memset(&gstEdgeResParam, 0, sizeof(gstEdgeResParam));

  const uint8_t* c = gstEdgeResCfg.aubData;
  if ((c[0] & kCfgOn) == 0) return;
  if (ubKind == 0) {
    s.ubSideMask = static_cast<uint8_t>(ubLevel == 0 ? (c[1] & 0x0Fu) : (c[1] >> 4));
    DeadZoneInitFromCfg();
    ClickZoneInitFromCfg();
    CornerZoneInitFromCfg();
    CornerDZIFromCfgCustom();
  } else if (ubKind == 1 && (c[0] & kCfgHostZones) != 0) {
    LoadHostZones();
  }
  s.ubThickEdge = c[4] & 0x0Fu;
  s.ubThickEdgeFrame = static_cast<uint8_t>((c[4] & 0x0Fu) + (c[4] >> 4));
  s.ubCornerPressTime = c[3] & 0x0Fu;
  s.ubCornerPressTimeGame = c[3] >> 4;
  gubEdgeResCmd = 1;
}

uint8_t SideAreaJudge(uint8_t ubZone, uint8_t ubSide, uint8_t) {
  if (ubZone >= kEdgeZoneKinds || ubSide >= 4 || gpstEdgeResTemp == nullptr) return 0;
  const EdgeSubRect& r = gstEdgeResParam.astZone[ubZone][ubSide];
  if (r.uwYHigh == 0) return 0;
  const uint16_t y = gpstEdgeResTemp->uwY;
  const uint16_t x = gpstEdgeResTemp->uwX;
  return (r.uwYLow <= y && y <= r.uwYHigh && r.uwXLow <= x && x <= r.uwXHigh) ? 1 : 0;
}

uint8_t EdgeZoneJudge(uint8_t ubZone, uint8_t ubXValue, uint8_t ubYValue, uint8_t ubPoint) {
  if (SideAreaJudge(ubZone, kEdgeSideXLow, ubPoint) != 0 || SideAreaJudge(ubZone, kEdgeSideXHigh, ubPoint) != 0)
    return ubXValue;
  if (SideAreaJudge(ubZone, kEdgeSideYLow, ubPoint) != 0 || SideAreaJudge(ubZone, kEdgeSideYHigh, ubPoint) != 0)
    return ubYValue;
  return 0;
}

uint32_t EdgeFlagJudge(uint32_t uiA, uint32_t uiB) { return uiA & uiB; }

uint8_t EdgeSymbolJudge(uint16_t uwWord, uint8_t ubBit) {
  return static_cast<uint8_t>((static_cast<uint32_t>(uwWord) >> (ubBit % 32u)) & 1u);
}

void EdgeSymbolSet(uint16_t* puwWord, uint8_t ubBit) {
  if (ubBit % 32u < 16u) *puwWord = static_cast<uint16_t>(*puwWord | (1u << (ubBit % 32u)));
}

void EdgeZoneParamAnFromCfgEdgeSd(uint8_t ubZone, uint16_t uwYLow, uint16_t uwYHigh, uint16_t uwXLow,
                                  uint16_t uwXHigh) {
  if (ubZone >= kEdgeZoneKinds) return;
  EdgeSubRect* z = gstEdgeResParam.astZone[ubZone];
  const uint16_t eX = ExtentX(), eY = ExtentY();
  if (uwXLow != 0 && SideOn(kEdgeSideXLow)) SetSub(z[kEdgeSideXLow], 0, 0, eY, uwXLow);
  if (uwXHigh != 0 && SideOn(kEdgeSideXHigh))
    SetSub(z[kEdgeSideXHigh], 0, static_cast<uint16_t>(eX - uwXHigh), eY, eX);
  if (uwYLow != 0 && SideOn(kEdgeSideYLow)) SetSub(z[kEdgeSideYLow], 0, 0, uwYLow, eX);
  if (uwYHigh != 0 && SideOn(kEdgeSideYHigh))
    SetSub(z[kEdgeSideYHigh], static_cast<uint16_t>(eY - uwYHigh), 0, eY, eX);
}

void EdgeZoneParamAnFromCfgCorner(uint8_t ubZone, uint16_t a1, uint16_t a2, uint16_t b1, uint16_t b2, uint16_t c1,
                                  uint16_t c2, uint16_t d1, uint16_t d2) {
  if (ubZone >= kEdgeZoneKinds) return;
  EdgeSubRect* z = gstEdgeResParam.astZone[ubZone];
  const uint16_t eX = ExtentX(), eY = ExtentY();
  if (gstEdgeRes.ubLevel != 0) {
    if (a1 != 0 && a2 != 0) SetSub(z[0], 0, 0, a1, a2);
    if (b1 != 0 && b2 != 0) SetSub(z[1], static_cast<uint16_t>(eY - b1), 0, eY, b2);
  }
  if (c1 != 0 && c2 != 0) SetSub(z[2], 0, static_cast<uint16_t>(eX - c2), c1, eX);
  if (d1 != 0 && d2 != 0) SetSub(z[3], static_cast<uint16_t>(eY - d1), static_cast<uint16_t>(eX - d2), eY, eX);
}

void EdgeLZoneParamAnFromCfgCorner(uint8_t ubZone, uint16_t a1, uint16_t a2, uint16_t a3, uint16_t a4, uint16_t b1,
                                   uint16_t b2, uint16_t b3, uint16_t b4) {
  // The record holds one set of long corners; a further zone would be written past its end.
  if (ubZone != 0) return;
  EdgeSubRect* L = gstEdgeResParam.astLongCorner;
  const uint16_t eX = ExtentX(), eY = ExtentY();
  const bool boPortrait = gstEdgeRes.ubLevel == 0;
  if (a1 != 0 && a2 != 0 && a3 != 0 && a4 != 0) {
    if (!boPortrait) {
      SetSub(L[0], 0, 0, a1, a2);
      SetSub(L[1], a1, 0, static_cast<uint16_t>(a1 + a3), a4);
    }
    SetSub(L[4], 0, static_cast<uint16_t>(eX - a2), a1, eX);
    SetSub(L[5], a1, static_cast<uint16_t>(eX - a4), static_cast<uint16_t>(a1 + a3), eX);
  }
  if (b1 != 0 && b2 != 0 && b3 != 0 && b4 != 0) {
    if (!boPortrait) {
      SetSub(L[2], static_cast<uint16_t>(eY - b1), 0, eY, b2);
      SetSub(L[3], static_cast<uint16_t>(eY - b1 - b3), 0, static_cast<uint16_t>(eY - b1), b4);
    }
    SetSub(L[6], static_cast<uint16_t>(eY - b1), static_cast<uint16_t>(eX - b2), eY, eX);
    SetSub(L[7], static_cast<uint16_t>(eY - b1 - b3), static_cast<uint16_t>(eX - b4), static_cast<uint16_t>(eY - b1),
           eX);
  }
}

void SetClickAreaSize(const uint8_t* pubSize) {
  if (pubSize == nullptr || *pubSize > 2) return;
  const uint8_t* c = gstEdgeResCfg.aubData;
  static constexpr uint8_t kYWidthByte[3] = {7, 32, 33};
  const uint16_t uwX = static_cast<uint16_t>(c[8] * 8u);
  const uint16_t uwY = static_cast<uint16_t>(c[kYWidthByte[*pubSize]] * 8u);
  EdgeSubRect* z = gstEdgeResParam.astZone[kEdgeZoneClick];
  const uint16_t eX = ExtentX(), eY = ExtentY();
  if (uwX != 0 && SideOn(kEdgeSideXLow)) {
    z[kEdgeSideXLow].uwYLow = 0;
    z[kEdgeSideXLow].uwYHigh = eY;
    z[kEdgeSideXLow].uwXHigh = uwX;
  }
  if (uwX != 0 && SideOn(kEdgeSideXHigh)) SetSub(z[kEdgeSideXHigh], 0, static_cast<uint16_t>(eX - uwX), eY, eX);
  if (uwY != 0 && SideOn(kEdgeSideYLow)) {
    z[kEdgeSideYLow].uwYLow = 0;
    z[kEdgeSideYLow].uwYHigh = uwY;
    z[kEdgeSideYLow].uwXHigh = eX;
  }
  if (uwY != 0 && SideOn(kEdgeSideYHigh)) SetSub(z[kEdgeSideYHigh], static_cast<uint16_t>(eY - uwY), 0, eY, eX);
}
