#pragma once
// Edge rejection of algorithm A: the zone record built from the edge configuration (or from
// the zones the host sends), the per-frame work area, the edge state kept from frame to
// frame, the stage that suppresses, holds or releases the points near the panel border, and
// the customer edge layer the stage delegates its zone, click and flag rules to.
//
// Coordinates are the module's point coordinates: X along the diff map's fast index
// (gpuwNewPointX, extent gstCommon.uwSenCoordRange), Y along the slow index
// (gpuwNewPointY, extent gstCommon.uwDrvCoordRange); one node is 512 units.
#include <cstddef>
#include <cstdint>

#include "coord_records.h"
#include "vendor_export.h"

inline constexpr uint8_t kEdgeZoneKinds = 8;
inline constexpr uint8_t kEdgeZoneDead = 0;
inline constexpr uint8_t kEdgeZoneClick = 1;
inline constexpr uint8_t kEdgeZoneCorner = 2;
inline constexpr uint8_t kEdgeZoneGameCorner = 3;
inline constexpr uint8_t kEdgeZoneUpperCorner = 5;
inline constexpr uint8_t kEdgeZoneSquareCorner = 6;
// Sides of a zone: 0 X-low, 1 X-high, 2 Y-low, 3 Y-high (the side-mask bit of side j is 1 << j).
inline constexpr uint8_t kEdgeSideXLow = 0;
inline constexpr uint8_t kEdgeSideXHigh = 1;
inline constexpr uint8_t kEdgeSideYLow = 2;
inline constexpr uint8_t kEdgeSideYHigh = 3;

// Zone flags of a point.
inline constexpr uint8_t kEdgeFlagDead = 1;
inline constexpr uint8_t kEdgeFlagClick = 2;
inline constexpr uint8_t kEdgeFlagCornerLow = 4;    // corner zone, sides 0-1
inline constexpr uint8_t kEdgeFlagCornerHigh = 8;   // corner zone, sides 2-3
inline constexpr uint8_t kEdgeFlagSquare = 16;
inline constexpr uint8_t kEdgeFlagUpper = 32;
inline constexpr uint8_t kEdgeFlagGameLow = 64;
inline constexpr uint8_t kEdgeFlagGameHigh = 128;
inline constexpr uint8_t kEdgeFlagAnyCorner = 204;  // 4, 8, 64, 128

// Edge results of a point.
inline constexpr uint8_t kEdgeResultReleased = 1;
inline constexpr uint8_t kEdgeResultSuppressed = 3;

// Pair marks of the common record (one per point slot).
inline constexpr uint8_t kEdgeMarkNone = 255;
inline constexpr uint8_t kEdgeMarkYLowPair = 3;
inline constexpr uint8_t kEdgeMarkYHighPair = 4;
inline constexpr uint8_t kEdgeMarkSteady = 5;

inline constexpr uint16_t kEdgeNoAnchor = 0xFFFF;
inline constexpr uint32_t kEdgeNoRect = 0xFFFFFFFFu;
inline constexpr int16_t kEdgeNoPeak = 32767;

#pragma pack(push, 1)

// One sub-rectangle of a zone, inclusive; off while uwYHigh is 0.
struct EdgeSubRect {
  uint16_t uwYLow;
  uint16_t uwXLow;
  uint16_t uwYHigh;
  uint16_t uwXHigh;
};

// gstEdgeResParam: word 0 reserved; zone kind k side j at word 1 + 16 k + 4 j; the eight
// long-corner sub-rectangles at words 129 to 160.
struct EdgeZoneParam {
  uint16_t uwReserved;
  EdgeSubRect astZone[kEdgeZoneKinds][4];
  EdgeSubRect astLongCorner[8];
  uint16_t auwTail[2];
};
static_assert(offsetof(EdgeZoneParam, astZone) == 2);
static_assert(offsetof(EdgeZoneParam, astLongCorner) == 2 * 129);
static_assert(sizeof(EdgeZoneParam) == 2 * 163);

// The per-frame work area (lent by the shared temporary buffer), a byte layout the
// customer edge layer shares.
struct EdgeResWork {
  uint8_t ubRegionNum;                   // 0
  uint16_t uwY;                          // 1: the point under judgement
  uint16_t uwX;                          // 3
  uint16_t uwAnchorY;                    // 5
  uint16_t uwAnchorX;                    // 7
  uint16_t uwDy;                         // 9: absolute distance from the anchor
  uint16_t uwDx;                         // 11
  uint8_t aubType[kCoordPointMax];       // 13: judged rectangle state | side bits << 4
  uint8_t aubRect[kCoordPointMax][4];    // 25: {X start, X end, Y start, Y end} in nodes
  uint16_t auwY[kCoordPointMax];         // 73
  uint16_t auwX[kCoordPointMax];         // 97
  uint16_t auwHistY[kCoordPointMax][3];  // 121: the optimiser's history
  uint16_t auwHistX[kCoordPointMax][3];  // 193
  uint16_t uwEdgeLine;                   // 265: diff index of the edge line
  uint16_t uwInnerLine;                  // 267: one node inward
  uint8_t ubThin;                        // 269: one node deep against the border
  uint8_t ubSideBits;                    // 270: side bits found for the current point
};
static_assert(offsetof(EdgeResWork, aubType) == 13);
static_assert(offsetof(EdgeResWork, aubRect) == 25);
static_assert(offsetof(EdgeResWork, auwY) == 73);
static_assert(offsetof(EdgeResWork, auwX) == 97);
static_assert(offsetof(EdgeResWork, auwHistY) == 121);
static_assert(offsetof(EdgeResWork, auwHistX) == 193);
static_assert(offsetof(EdgeResWork, uwEdgeLine) == 265);
static_assert(offsetof(EdgeResWork, ubThin) == 269);
static_assert(sizeof(EdgeResWork) == 271);

// gstEdgeRes: the edge state, per-point arrays indexed by point slot.
struct EdgeResState {
  uint8_t aubDelayOut[kCoordPointMax];     // 0: frames the moved test still runs
  uint8_t aubCustFrameCnt[kCoordPointMax]; // 12: cleared for every judged point
  uint8_t aubMoved[kCoordPointMax];        // 24
  uint8_t ubSideMask;                      // 36
  uint8_t ubLevel;                         // 37: 0 portrait, 1 and 2 landscape
  uint8_t ubActive;                        // 38
  uint8_t aubHold[3];                      // 39: X-low half, X-high half, any
  uint8_t ubClasses;                       // 42: middle-touch classes of the frame
  uint8_t ubSpare43;                       // 43
  uint8_t ubXLowFrames;                    // 44: frames with an X-low-half middle touch
  uint8_t ubXHighFrames;                   // 45
  uint8_t ubNoMidFrames;                   // 46: frames with no middle touch
  uint8_t ubSpare47;                       // 47
  uint8_t ubNoXLowFrames;                  // 48: frames without an X-low-half middle touch
  uint8_t ubNoXHighFrames;                 // 49
  uint8_t aubSideBits[kCoordPointMax];     // 50
  uint8_t aubRectState[kCoordPointMax];    // 62
  uint8_t aubMaxState[kCoordPointMax];     // 74
  uint8_t aubZoneFlags[kCoordPointMax];    // 86
  uint8_t aubFirstZoneFlags[kCoordPointMax];  // 98
  uint8_t aubResult[kCoordPointMax];       // 110: 0 undecided, 1 released, 3 suppressed
  uint8_t aubScratch[kCoordPointMax];      // 122: per frame
  uint8_t aubAccClasses[kCoordPointMax];   // 134
  uint16_t uwGameCornerMask;               // 146: the click mask
  uint16_t uwSideClickMask1;               // 148
  uint16_t uwSideClickMask2;               // 150
  uint16_t uwSpareMask;                    // 152
  uint16_t uwHeldMask1;                    // 154
  uint16_t uwHeldMask2;                    // 156
  uint8_t aubFrameTime[kCoordPointMax];    // 158
  uint16_t auwAnchorY[kCoordPointMax];     // 170
  uint16_t auwAnchorX[kCoordPointMax];     // 194: 65535 = no anchor
  uint8_t ubThickEdge;                     // 218
  uint8_t ubThickEdgeFrame;                // 219
  uint8_t ubCornerPressTime;               // 220
  uint8_t ubCornerPressTimeGame;           // 221
  uint8_t ubSavedLevel;                    // 222: the dynamic zone's saved values
  uint8_t ubSaved;                         // 223
  uint16_t auwSavedZone[4];                // 224: two strip edges, two corner edges
  uint8_t ubPairSides;                     // 232
  uint8_t ubYLowBorderCnt;                 // 233
  uint8_t ubYHighBorderCnt;                // 234
  uint8_t ubYLowTenFrames;                 // 235
  uint8_t ubYHighTenFrames;                // 236
  uint8_t ubLastYLowSlot;                  // 237
  uint8_t ubLastYHighSlot;                 // 238
  uint8_t ubYLowMarks;                     // 239
  uint8_t ubYHighMarks;                    // 240
  uint16_t auwAge[kCoordPointMax];         // 241
  uint8_t aubBigState[kCoordPointMax];     // 265: big-rectangle state (customer layer)
  uint16_t auwBigArea[2][kCoordPointMax];  // 277: snapshots at age 4 and age 20
  uint16_t auwBigStrength[2][kCoordPointMax];  // 325
  uint16_t auwBigSize[2][kCoordPointMax];  // 373
  uint8_t aubBorderRatio[kCoordPointMax];  // 421: ten times border-line / inner strength
  uint32_t auiStoredRect[kCoordPointMax];  // 433
  uint8_t aubPeakSlot[kCoordPointMax];     // 481
  int16_t aswPeakValue[kCoordPointMax];    // 493
  uint16_t auwLastPeak[kCoordPointMax];    // 517
  uint8_t aubLastPeakSlot[kCoordPointMax]; // 541
  uint8_t aubSteadyCnt[kCoordPointMax];    // 553
  uint8_t ubEdgeLineFlag;                  // 565
  uint8_t aubSpare566[2];                  // 566
};
static_assert(offsetof(EdgeResState, ubSideMask) == 36);
static_assert(offsetof(EdgeResState, aubSideBits) == 50);
static_assert(offsetof(EdgeResState, uwGameCornerMask) == 146);
static_assert(offsetof(EdgeResState, aubFrameTime) == 158);
static_assert(offsetof(EdgeResState, auwAnchorX) == 194);
static_assert(offsetof(EdgeResState, ubThickEdge) == 218);
static_assert(offsetof(EdgeResState, ubPairSides) == 232);
static_assert(offsetof(EdgeResState, auwAge) == 241);
static_assert(offsetof(EdgeResState, auiStoredRect) == 433);
static_assert(offsetof(EdgeResState, aubSteadyCnt) == 553);
static_assert(sizeof(EdgeResState) == 568);

#pragma pack(pop)

extern EdgeZoneParam gstEdgeResParam;
extern EdgeResState gstEdgeRes;
extern EdgeResWork* gpstEdgeResTemp;
extern uint8_t gubEdgeResCmd;
extern uint8_t gubClickAreaLongTouchOutEn;
extern uint8_t gboEdgeRes;

// The common record's per-point pair marks (12 bytes from its edge bytes; 255 none).
uint8_t* EdgePairMarks();

// ---- Configuration and zones ------------------------------------------------------------

void EdgeRestrainSetTempSizeInit();
void EdgeResInit(uint8_t ubKind, uint8_t ubLevel);
uint8_t SideAreaJudge(uint8_t ubZone, uint8_t ubSide, uint8_t ubPoint);
uint8_t EdgeZoneJudge(uint8_t ubZone, uint8_t ubXValue, uint8_t ubYValue, uint8_t ubPoint);
uint32_t EdgeFlagJudge(uint32_t uiA, uint32_t uiB);
uint8_t EdgeSymbolJudge(uint16_t uwWord, uint8_t ubBit);
void EdgeSymbolSet(uint16_t* puwWord, uint8_t ubBit);
void EdgeZoneParamAnFromCfgEdgeSd(uint8_t ubZone, uint16_t uwYLow, uint16_t uwYHigh, uint16_t uwXLow,
                                  uint16_t uwXHigh);
void EdgeZoneParamAnFromCfgCorner(uint8_t ubZone, uint16_t a1, uint16_t a2, uint16_t b1, uint16_t b2, uint16_t c1,
                                  uint16_t c2, uint16_t d1, uint16_t d2);
void EdgeLZoneParamAnFromCfgCorner(uint8_t ubZone, uint16_t a1, uint16_t a2, uint16_t a3, uint16_t a4, uint16_t b1,
                                   uint16_t b2, uint16_t b3, uint16_t b4);
// Rewrites the click zone for click-area size 0, 1 or 2; other sizes change nothing.
void SetClickAreaSize(const uint8_t* pubSize);

// ---- The stage ---------------------------------------------------------------------------

uint8_t NotVerLowerEdge(uint8_t ubPoint);
uint8_t NoRectAtSamePosition(uint8_t ubPoint);
void EdgeSlideJudge(uint8_t ubPoint, uint8_t ubGroup, uint8_t* pubVerdict, uint16_t uwYLimit, uint16_t uwXLimit);

// ---- Customer edge layer -----------------------------------------------------------------

void DeadZoneInitFromCfg();
void ClickZoneInitFromCfg();
void CornerZoneInitFromCfg();
void UpperCornerZoneInitFromCfg();
uint8_t EdgeZoneFlagAnalysis(uint8_t ubPoint);
uint8_t EdgePointStateSet(uint8_t ubPoint);
void EdgeClickJudge(uint8_t ubPoint, uint8_t ubMode, uint8_t* pubOut, uint8_t ubLimit, uint8_t ubAllow);
uint8_t EdgeJugdeRectState(uint8_t ubPoint, uint8_t ubSize, uint8_t ubReference, uint8_t ubMode);
uint8_t SetEdgeResFlagCustom(uint8_t ubA, uint8_t ubB, uint8_t ubC, uint8_t ubPoint);
void EdgeResDynamicZone(uint16_t* puwValue1, uint16_t* puwValue2);
void MidTouchTimerCount();
void EdgeRectStateBigCustom(uint8_t* pubOut, uint8_t ubPoint);
uint16_t Vt90ScaMagnitude(int16_t swX, int16_t swY);
VENDOR_EXPORT uint16_t LibSqrtU16Rounding(uint32_t uiValue);
// The region-strength measure of the big-rectangle rule: mean of the strong nodes (diff of
// 80 or more) inside RECT {X start, X end, Y start, Y end}, their count in *PUWCOUNT; a
// rectangle on a grid corner also updates the point's border ratio and the edge-line flag.
uint16_t EdgeRectStrength(const uint8_t* pubRect, uint8_t ubPoint, uint16_t* puwCount);

// Hooks a phone maker may fill; empty here.
void CornerDZIFromCfgCustom();
void EdgeResInitCustom();
void InitBeforeEdgeResCustom();
void EdgeResTypeJudgeCustom();
void OutCornerDeadZoneJudgeCustom();
uint32_t EdgeResTypeJudgeAgainCustom(uint32_t uiValue);
uint32_t EdgeResSetCustom(uint32_t uiValue);
VENDOR_EXPORT void EdgeResPreJudgeCustom();

// Small hooks of the customer layer (exported; the stage uses the rules inline).
VENDOR_EXPORT void EdgeDelayOutTimerCustom(uint8_t ubPoint);
VENDOR_EXPORT void EdgeResJudgeCustom(uint8_t ubPoint, uint8_t* pubOut, uint8_t ubLimit);
VENDOR_EXPORT void EdgeUpperCornerJudgeCustom(uint8_t* pubOut1, uint8_t* pubOut2, uint8_t ubPoint);
VENDOR_EXPORT void EdgeRectSuperBigCustom(uint8_t ubPoint);
VENDOR_EXPORT uint8_t EdgeFlagJudgeCustom(uint8_t ubPoint);
VENDOR_EXPORT uint8_t EdgePointRectJudgeCustom(uint8_t ubPoint);
VENDOR_EXPORT uint8_t EdgeDeadAreaJugdeCustom(uint8_t ubOut, uint8_t ubPoint);
VENDOR_EXPORT uint8_t EdgeResFlagJudgeCustom(uint8_t ubValue, uint8_t ubPoint);
VENDOR_EXPORT uint8_t SameTimeTouchProcEnable();
VENDOR_EXPORT void SetSlideThXYCustom(uint16_t* puwX, uint16_t* puwY, uint8_t ubPoint);
VENDOR_EXPORT uint16_t SetEdgeSlideThCustom(uint16_t uwValue, uint8_t ubPoint);
VENDOR_EXPORT void SetEdgeResXYTouchBak(uint8_t ubPoint);
VENDOR_EXPORT void EdgeRectStateCustom(uint8_t* pubOut, uint8_t ubPoint);
VENDOR_EXPORT uint8_t SetCornerPressTimer(uint8_t ubPoint);
VENDOR_EXPORT void SetSameTimeTouchFlag(uint8_t ubI, uint8_t ubJ, uint8_t ubValue);
VENDOR_EXPORT void SetClickAreaLaregTouch(uint8_t* pubOut);
VENDOR_EXPORT void EdgeRectWeightAnalysis(uint8_t ubPoint);
VENDOR_EXPORT void EdgeSameTimeTouchCntCustom(uint8_t ubPoint);

// The edge configuration's little-endian u16 at byte AT.
uint16_t EdgeCfgU16(uint32_t uiAt);
