#pragma once
// Edge restraint: the per-ID edge-palm records, the edge and corner areas, the decisions
// on point down, contact and up, the edge ratios and the grip state machine. The stage runs
// once per frame inside the point filter, on the touch list and the per-ID event table of
// g_stTouchData, before the touch IDs are output.
#include <stddef.h>
#include <stdint.h>

#include "luma_core.h"

#define LUMA_EDGE_HIS_LEN 40       // entries of a ratio or position history
#define LUMA_EDGE_RATIO_HIS 7      // ratio histories per touch
#define LUMA_EDGE_RATIO_REC 43     // 40 entries, then maximum, minimum and mean
#define LUMA_EDGE_ACTIONS 12       // slots of the per-frame action array

// Down and contact actions.
#define LUMA_EDGE_ACT_NONE 0
#define LUMA_EDGE_ACT_HOLD 1
#define LUMA_EDGE_ACT_AT_DOWN 2    // let through at the down position
#define LUMA_EDGE_ACT_NEW 3        // let through, starting as a new touch now
#define LUMA_EDGE_ACT_AT_DOWN_5 5  // let through at the down position (released by a slide)
// Up actions.
#define LUMA_EDGE_ACT_INSERT 4     // report the held touch once, as a new down at its down position
#define LUMA_EDGE_ACT_DROP_UP 8    // no up report for a touch that was never reported

// Event states of the per-ID event table.
#define LUMA_EV_DOWN 0
#define LUMA_EV_UP 1
#define LUMA_EV_CONTACT 2
#define LUMA_EV_IDLE 3

// Display orientations.
#define LUMA_DISP_PORTRAIT 0
#define LUMA_DISP_USB_RIGHT 1
#define LUMA_DISP_USB_LEFT 3
#define LUMA_DISP_UNDEFINED 170

// Grip block of an edge-palm record: what the ratio recording and the grip state machine
// keep for one touch. The block knows its touch ID so that routines handed only the block
// can reach the rest of the record.
typedef struct LumaGripSta {
  uint8_t ucId;                                                 // 0
  uint8_t aaucRatio[LUMA_EDGE_RATIO_HIS][LUMA_EDGE_RATIO_REC];  // 1: 40 entries, max, min, mean
  uint16_t ausPosX[LUMA_EDGE_HIS_LEN];                          // 302: mapped x >> 4
  uint16_t ausPosY[LUMA_EDGE_HIS_LEN];                          // 382: mapped y >> 4
  // Grip counters, cleared together.
  uint16_t usMaxSpreadX;                                        // 462
  uint16_t usMaxSpreadY;                                        // 464
  int16_t ssMaxPeakDiff;                                        // 466: largest diff at the ratio node
  uint16_t usSampleCnt;                                         // 468
  uint8_t ucRatioRow;                                           // 470
  uint8_t ucRatioCol;                                           // 471
  // Area code: 1 row edge, 2 column edge, 16/32/48/64 the corners, 0 none. The three
  // bytes after it are cleared with it.
  uint8_t ucAreaCode;                                           // 472
  uint8_t ucHisCnt;                                             // 473
  uint8_t ucStop;                                               // 474: recording stopped
  uint8_t ucGripKind;                                           // 475
  uint8_t ucUnstableCnt;                                        // 476
  uint8_t ucGripFlag1;                                          // 477
  uint8_t ucGripFlag2;                                          // 478
  uint8_t ucMaxCnt;                                             // 479: largest end/side count
  uint8_t ucFrameRatio;                                         // 480
  uint8_t ucDecidedPre;                                         // 481: cleared with the decided flag
  uint8_t ucDecided;                                            // 482
} LumaGripSta;

// The last eight bytes of a record before the corner diffs; cleared in one store when a
// touch starts.
typedef struct LumaEdgeFinal {
  uint8_t ucPeakNearby;        // 0: another peak lies near; blocks the back-gesture check
  uint8_t ucCenterTouchSeen;   // 1
  uint8_t ucCornerStopConfirm; // 2
  uint8_t ucCornerNodeRatio;   // 3
  uint8_t aucReserved[4];      // 4
} LumaEdgeFinal;

// One edge-palm record per touch ID.
typedef struct LumaEdgePalmSta {
  uint8_t ucDownArea;            // 0
  uint8_t ucFramesSinceDown;     // 1: saturates at 255
  uint8_t ucRestrainKind;        // 2: 0 free, 1..8 the reason for the hold
  uint8_t ucSideRatio;           // 3: palm extent along the side line
  uint8_t ucSideSpan;            // 4
  uint8_t ucEndRatio;            // 5: palm extent along the end line
  uint8_t ucEndSpan;             // 6
  LumaGripSta stGrip;            // 8
  uint8_t ucHold;                // 492: held out of the report
  uint8_t ucEndCnt;              // 493
  uint8_t ucSideCnt;             // 494
  uint8_t ucMaxWidth;            // 495
  uint8_t ucRestrainTime;        // 496: frames
  uint8_t ucCornerSide;          // 497: 1/2 bottom corner, 4/3 top corner
  uint8_t ucEdgeSide;            // 498: 1/2 left/right, 3/4 upper/lower
  uint8_t ucCurArea;             // 499
  uint8_t ucInnerCorner;         // 500
  uint8_t ucNearMaxRatio;        // 501
  uint8_t ucNearMaxRatioMax;     // 502
  int16_t ssMaxDiff;             // 504: largest diff at the peak node in the edge process
  int16_t ssMaxPeakValue;        // 506: largest peak value of the frame in that time
  uint8_t ucEdgeInProcess;       // 508: 0 none, 1 started, 2 restarted by a new touch
  uint8_t ucCenterDownCnt;       // 509
  uint8_t ucMaxArea;             // 510
  uint8_t ucMoving;              // 511
  uint32_t ulFreeX;              // 512: last free position
  uint32_t ulFreeY;              // 516
  uint32_t ulSecondX;            // 520: raw position of the touch's second frame
  uint32_t ulSecondY;            // 524
  uint8_t ucReported;            // 528
  LumaPoint stDown;              // 529: the touch-list entry at down
  alignas(8) LumaEdgeFinal stFinal;  // 552
  int16_t ssMaxCornerDiff;       // 560
  int16_t ssMaxInnerDiagDiff;    // 562
} LumaEdgePalmSta;

// Classification parameters of one position.
typedef struct EdgeAreaPara {
  uint16_t ausW[16];
  uint32_t ulMinX;
  uint32_t ulMinY;
  uint32_t ulMaxX;
  uint32_t ulMaxY;
  uint16_t usX;
  uint16_t usY;
} EdgeAreaPara;

#pragma pack(push, 1)
typedef struct LumaGrabSta {
  uint8_t ucGripKindCnt;        // records with a grip kind
  uint8_t ucGripFlagCnt;        // records with the first grip flag
  uint8_t ucMovingCenterCnt;    // moving-centre-touch countdown
  uint8_t ucHoldOff;            // grip hold-off countdown
  uint16_t usSinceGrip;         // frames since the last grip, at most 10000
} LumaGrabSta;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(LumaGripSta) == 484);
static_assert(offsetof(LumaGripSta, ausPosX) == 302);
static_assert(offsetof(LumaGripSta, usMaxSpreadX) == 462);
static_assert(offsetof(LumaGripSta, ucAreaCode) == 472);
static_assert(offsetof(LumaGripSta, ucDecided) == 482);
static_assert(sizeof(LumaEdgeFinal) == 8);
static_assert(sizeof(LumaEdgePalmSta) == 568);
static_assert(offsetof(LumaEdgePalmSta, ucEndSpan) == 6);
static_assert(offsetof(LumaEdgePalmSta, stGrip) == 8);
static_assert(offsetof(LumaEdgePalmSta, ucHold) == 492);
static_assert(offsetof(LumaEdgePalmSta, ucInnerCorner) == 500);
static_assert(offsetof(LumaEdgePalmSta, ssMaxDiff) == 504);
static_assert(offsetof(LumaEdgePalmSta, ucMoving) == 511);
static_assert(offsetof(LumaEdgePalmSta, ulFreeX) == 512);
static_assert(offsetof(LumaEdgePalmSta, ulSecondX) == 520);
static_assert(offsetof(LumaEdgePalmSta, ucReported) == 528);
static_assert(offsetof(LumaEdgePalmSta, stDown) == 529);
static_assert(offsetof(LumaEdgePalmSta, stFinal) == 552);
static_assert(offsetof(LumaEdgePalmSta, ssMaxCornerDiff) == 560);
static_assert(offsetof(LumaEdgePalmSta, ssMaxInnerDiagDiff) == 562);
static_assert(sizeof(EdgeAreaPara) == 52);
static_assert(sizeof(LumaGrabSta) == 6);
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Edge times (frames), normal and game mode.
#define LUMA_ET_EARLY 0          // early-contact window; also the history length
#define LUMA_ET_AREA4 1
#define LUMA_ET_AREA18 2
#define LUMA_ET_AREA2 3
#define LUMA_ET_CORNER 4
#define LUMA_ET_CORNER_FAR 5
#define LUMA_ET_CONTACT6 6
#define LUMA_ET_CENTER 7
#define LUMA_ET_CONTACT8 8
#define LUMA_ET_IN_PROCESS 9

extern LUMA_EXPORT LumaEdgePalmSta s_stEdgePalmSta[LUMA_MAX_POINTS];
extern LUMA_EXPORT uint8_t g_stEdgeTime[10];
extern LUMA_EXPORT LumaGrabSta g_stGrabSta;
extern LUMA_EXPORT uint8_t g_ucEdgePointCnt;
extern LUMA_EXPORT uint8_t g_ucLastEdgePointCnt;
extern LUMA_EXPORT uint8_t g_ucCenterTouchCnt;
extern LUMA_EXPORT uint8_t g_ucTouchUpCnt;
extern LUMA_EXPORT uint8_t g_ForceAlpha[LUMA_MAX_POINTS];

// ---- Frame, records and actions -----------------------------------------------------
LUMA_EXPORT void AppEdgePalmFilter(void);
LUMA_EXPORT void AppEdgePalmInit(void);
LUMA_EXPORT uint8_t AppEdgeTimeParaUpdate(void);
LUMA_EXPORT void AppEdgeRatioInit(uint8_t id);
LUMA_EXPORT void EdgePalmInitID(uint8_t id);
LUMA_EXPORT void EdgeStsInit(EdgeAreaPara *state, uint8_t index, uint8_t id);
LUMA_EXPORT void AppGrapStausUpdateStop(uint8_t id);
LUMA_EXPORT void AppCollectTouchInfo(void);
LUMA_EXPORT void ActionOnPointDownOrContact(const uint8_t *actions);
LUMA_EXPORT void ActionOnPointUp(const uint8_t *actions);
LUMA_EXPORT void EdgePalmAlphaFilter(uint8_t index, uint8_t id);
LUMA_EXPORT void EdgePalmHoldPoint(uint8_t index, uint8_t id);
LUMA_EXPORT void EdgePalmReport(uint8_t index, uint8_t id);
LUMA_EXPORT void EdgePalmStopReport(uint8_t index, uint8_t id);
LUMA_EXPORT void EdgePalmInsertPoint(uint8_t id);
LUMA_EXPORT void RemovePointUpPacket(uint8_t id);
LUMA_EXPORT void ReArrangePointArray(void);
LUMA_EXPORT uint8_t AppCheckIdEqu(uint8_t id);
LUMA_EXPORT void AppClearCenterDownCnt(void);
LUMA_EXPORT void AppRunCenterDownCnt(void);
LUMA_EXPORT void AppGrapStausUpdate(LumaGripSta *grip, uint8_t state);

// Mapped position (after the notch mapping) of a touch-list entry.
LUMA_EXPORT uint16_t AppEdgeMappedX(const LumaPoint *entry);
LUMA_EXPORT uint16_t AppEdgeMappedY(const LumaPoint *entry);
// Corner size of the landscape game corners for a game edge level; one map for the corner
// bands, the corner restraint and the down decision.
LUMA_EXPORT uint16_t AppGameEdgeCornerSize(uint8_t level);

// ---- Corner restraint -------------------------------------------------------------------
LUMA_EXPORT uint8_t AppCornerPointChkCenterTouch(uint8_t id, uint16_t size, uint8_t new_only);
LUMA_EXPORT uint8_t AppCornerPointChkCenterTouchHor(uint8_t id, uint16_t size, uint8_t new_only, uint8_t flags);
LUMA_EXPORT uint8_t QuonCornerRestrainDispVerticalCase1(uint8_t index, uint8_t id);
LUMA_EXPORT uint8_t QuonCornerRestrainDispHorizontalCase1(uint8_t index, uint8_t id);
LUMA_EXPORT uint8_t QuonCornerRestrainDispHorizontalCase2(uint8_t id);
LUMA_EXPORT uint8_t QuonCornerRestrain(uint8_t index, uint8_t id);
LUMA_EXPORT uint8_t DispHorizontalCornerOnPointDown(uint8_t id);
LUMA_EXPORT uint8_t AppCheckIfHaveTouchInCenterArea(uint8_t id);

// ---- Edge areas, palm tests, down and up ----------------------------------------------
LUMA_EXPORT void AppSetEdgePalmPara(EdgeAreaPara *para, uint8_t id);
LUMA_EXPORT uint8_t GetDownArea(uint8_t index, uint8_t id);
LUMA_EXPORT uint8_t AppGetArea(uint16_t x, uint16_t y, uint8_t id);
LUMA_EXPORT uint8_t GetCurArea(uint8_t index, uint8_t id);
LUMA_EXPORT uint8_t GetAreaLREdgeNonCorner(const EdgeAreaPara *para, uint8_t id, uint8_t clear);
LUMA_EXPORT uint8_t GetAreaUDEdgeNonCorner(const EdgeAreaPara *para, uint8_t id, uint8_t clear);
LUMA_EXPORT uint8_t GetAreaDownCorner(const EdgeAreaPara *para, uint8_t id, uint8_t clear);
LUMA_EXPORT uint8_t GetAreaUpCorner(const EdgeAreaPara *para, uint8_t id, uint8_t clear);
LUMA_EXPORT void AreaParaSet(EdgeAreaPara *para, uint8_t mode);
LUMA_EXPORT uint16_t GetDistanceToEdge(uint16_t x, uint16_t y);
LUMA_EXPORT uint16_t DistanceToEdgeX(uint16_t x);
LUMA_EXPORT uint16_t DistanceToEdgeY(uint16_t y);
LUMA_EXPORT uint8_t AppIsInRect(uint32_t x, uint32_t y, const uint32_t *rect);
LUMA_EXPORT uint8_t IsEdgePalmArea(uint8_t id);
LUMA_EXPORT uint8_t IsEdgePalm(uint8_t id);
LUMA_EXPORT uint8_t MaybeEdgePalm(uint8_t id);
LUMA_EXPORT void CalRatioAndWidth(const LumaPoint *entry);
LUMA_EXPORT void EdgePalmWitdh(uint8_t row, uint8_t column, uint8_t id, uint8_t top);
LUMA_EXPORT void EdgePalmHigh(uint8_t row, uint8_t column, uint8_t id, uint8_t left);
LUMA_EXPORT uint8_t AppCalNearMaxRatioY(uint8_t low, uint8_t high, uint8_t row, uint8_t column, uint8_t edge_line);
LUMA_EXPORT uint8_t CalSpan(uint8_t centre, uint8_t low, uint8_t high, uint8_t min, uint8_t max);
LUMA_EXPORT void AppRecordMaxDiff(uint8_t index);
LUMA_EXPORT void AppRecEdgeInProcessMaxDiff(uint8_t id);
LUMA_EXPORT uint8_t EdgePalmOnPointDown(uint8_t index, uint8_t id);
LUMA_EXPORT uint8_t EdgePalmOnPointUp(uint8_t id);

// ---- Contact rules and release by movement ----------------------------------------------
LUMA_EXPORT uint8_t EdgePalmOnPointContact(uint8_t index, uint8_t id);
LUMA_EXPORT uint8_t ContactEventRestrainRule_ABS(uint8_t index, uint8_t id, uint8_t strict);
LUMA_EXPORT uint8_t ContactEventRestrainRule_LP(uint8_t index, uint8_t id, uint8_t strict);
LUMA_EXPORT uint8_t ContactEventRestrainRule_Feat(uint8_t index, uint8_t id, uint8_t strict);
LUMA_EXPORT uint8_t ContactEventRestrainRule_EdgePalm(void);
LUMA_EXPORT uint8_t IsPointMoving(uint8_t index, uint8_t id, uint8_t mode, uint8_t flag);
LUMA_EXPORT void AppGrapGetMoveThreshold(LumaEdgePalmSta *record, uint32_t *tp, uint32_t *tl);
LUMA_EXPORT uint8_t AppGrabMoveChk(LumaEdgePalmSta *record, uint32_t tp, uint32_t tl, uint32_t p, uint32_t l);
LUMA_EXPORT uint8_t AppBackGestureMoveChk(uint8_t id, uint8_t flag);
LUMA_EXPORT int16_t AppMcGetRxMax(uint8_t column);
LUMA_EXPORT uint8_t IsNeededReleaseRestraint(uint8_t index, uint8_t id);
LUMA_EXPORT uint8_t IsPointDepartFromEdge(uint8_t index, uint8_t id);
LUMA_EXPORT uint8_t AppCheckEdgeFingerAgain(uint8_t id);

// ---- Edge ratios and statistics -----------------------------------------------------------
LUMA_EXPORT void AppCalEdgeRatio(const LumaPoint *entry, uint8_t id);
LUMA_EXPORT void CalEdgeRatio(uint8_t row, uint8_t column, uint8_t id, uint8_t side);
LUMA_EXPORT uint8_t CalCorEdgeRatio(uint8_t row, uint8_t column, uint8_t id, uint8_t corner);
LUMA_EXPORT uint8_t CornerRatio(int32_t edge_sum, int32_t inner_sum);
LUMA_EXPORT uint8_t AppIsPeakNearby(uint8_t row, uint8_t column);
LUMA_EXPORT uint32_t CalSum(const uint8_t *values, uint8_t n);
LUMA_EXPORT uint8_t CalAvrage(const uint8_t *values, uint8_t n);
LUMA_EXPORT uint8_t CalStdDev(const uint8_t *values, uint8_t n, uint8_t mean);
LUMA_EXPORT uint8_t *SlidingWindowAvgFilter(uint8_t *out, const uint8_t *in, uint8_t n);
LUMA_EXPORT uint16_t FindMaxAvrageIdx(const uint8_t *values, uint8_t n, uint8_t w);
LUMA_EXPORT uint8_t AppMark(uint8_t row, uint8_t column, const int16_t *diff);
// The visited map handed to Mark has one byte per node of the largest grid (LUMA_MAX_NODES),
// indexed row x Rx count + column of the frame's grid.
LUMA_EXPORT void Mark(uint8_t row, uint8_t column, const int16_t *diff, uint8_t *visited, uint8_t *count);

// ---- Grip state machine ----------------------------------------------------------------
LUMA_EXPORT void AppGrapStausUpdateEdge(LumaGripSta *grip, uint8_t state);
LUMA_EXPORT void AppGrapStausUpdateCorner(LumaGripSta *grip, uint8_t state);
LUMA_EXPORT uint8_t RatioAnalyse(const uint8_t *history, uint8_t n, uint8_t largest_count);
LUMA_EXPORT uint8_t RatioAnalyseCorner(const uint8_t *history, uint8_t n);
LUMA_EXPORT uint8_t AppCornerPointRatioModify(LumaGripSta *grip);
LUMA_EXPORT uint8_t CornerFingerChk(LumaGripSta *grip);
LUMA_EXPORT uint8_t CornerPalmDetect(LumaGripSta *grip, uint8_t second, uint8_t score, uint8_t other);
LUMA_EXPORT uint16_t DownPositionDistanceToEdge(const LumaGripSta *grip);
LUMA_EXPORT void AppTouchPointMovingStatus(void);

#ifdef __cplusplus
}
#endif
