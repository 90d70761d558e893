#pragma once
// Coordinate pairing: the per-frame input record the pairing wrapper builds, the pairing
// scratch (in the shared temporary buffer), the statics beside gstCoordPair, and the
// operations of the pairing core (region coordinates, rectangle tests, matching, split
// judgement, complement pass and the phases after matching).
#include <cstddef>
#include <cstdint>

#include "coord_records.h"
#include "region_float.h"
#include "region_lib.h"
#include "region_proc.h"
#include "region_records.h"

#pragma pack(push, 1)

// Built on the stack by the pairing wrapper every frame and handed to CoordPair.
struct CoordPairInput {
  uint8_t ubSplitSwitch;           // 0: enables the complement pass and the split pair road
  int8_t scOffsetX;                // panel offsets added to every computed coordinate
  int8_t scOffsetY;
  uint16_t uwExtentX;              // screen extents, node coordinates (0 = not given)
  uint16_t uwExtentY;
  uint8_t ubColumns;
  uint8_t ubRows;
  uint8_t ubMaxPoints;             // slots that may be taken
  uint8_t ubRegionCount;           // n
  uint8_t ubHoldCount;             // leave-hold frames of a slot whose region went
  uint8_t ubHoldByMask;            // SlotMask may shorten the hold to one frame
  uint8_t ubReportDelayCode;       // multiple of 16
  uint8_t ubLastReportCount;       // points reported by the previous frame
  uint16_t uwNewPointThreshold;    // peak a new point must exceed
  uint8_t ubRateFlag;              // shake-count flag: scales the motion limits
  uint16_t uwFrameInterval;        // compared with 8000
  uint8_t ubMultiTouchFlag;        // enables the multi-region column count
  uint16_t uwMoveLimit;            // D (2400 in, written by CoordPair)
  uint16_t uwStepLimit;            // d (40 in, written by CoordPair)
  uint16_t uwReassignNear;         // 144
  uint16_t uwReassignFar;          // 192
  uint16_t uwMergeDistance;        // M, squared quarter nodes
  uint16_t uwPairGapDistance;
  uint16_t uwReleaseMargin;
  uint16_t uwJitterDistance;       // 512: a move at first report
  uint8_t ubEdgeHoldAxes;          // bit 0 X, bit 1 Y
  uint16_t auwEdgeInner[2];        // per axis, X then Y
  uint16_t auwEdgeHold[2];
  uint16_t auwEdgeSnap[2];
  uint8_t ubEarlyReportSwitch;
  uint8_t aubEarlyVeto[6];         // veto flags of the early report
  uint8_t ubOptDelayFlag;          // coordinate-optimisation delay flag
  uint8_t ubQuickReleaseSwitch;
  uint8_t ubShakeFlag;
  uint16_t uwShakeCount;
  uint16_t uwShakeLimit;
  uint8_t ubShakeLevel;
  uint8_t ubVoteSwitch;
  uint8_t ubDirectionSwitch;
  uint8_t ubWideToleranceFlag;
  uint8_t ubMergeBonusFlag;
  uint8_t ubFloatSwitch;
  uint8_t ubFloatSelf;             // floating-self flag
  uint8_t ubSubRectSwitch;
  uint8_t ubGeometryOff;           // the core's geometry-off flag of the split merge
  uint8_t ubColumnJudge;           // column-judge flag of the two-big-rect judgement
  uint8_t ubFloatConfirmIn;        // floating-confirm flag of the matching
  uint8_t ubCommonBlock;           // the common-state flag that blocks the complement pass
  uint8_t ubRegionBlock;           // the region-output flag that blocks it
  RegionRect stTouchRect;          // main rectangle of the floating judgement
  uint8_t ubJumpGateFlag;
  uint8_t ubFastMoveA;
  uint8_t ubFastMoveB;
  uint8_t ubSmallMove;
  uint8_t ubMoveFloor;
  uint8_t ubDirectionTolerance;
  uint8_t ubRatioLimit;            // L0 of the jump check (written)
  uint16_t uwRegionLevel;
  uint8_t ubRecentroidSwitch;
  uint8_t aubSelfGate[2];
  uint16_t uwSelfValue;
  uint16_t uwSelfLimit;
  uint16_t uwSelfFloor;
  uint8_t aubWindowGate[3];        // window gate flags
  uint8_t ubWindowConfirm;
  uint8_t ubWindowRaised;
  uint8_t ubWindowHigh;
  uint8_t ubWindowColumnsOnly;
  uint16_t uwWindowCounter;
  uint16_t uwWindowThreshold;
  RegionRect stWindowRect;
  uint8_t ubWindowMargin;
  uint8_t ubCloseReportSwitch;     // reference-update module's close-report switch
  uint8_t ubCloseLeft;
  uint8_t ubCloseRight;
  uint8_t ubLastRectNumOut;        // LastRectNum, returned
  uint16_t* puwPeak;               // region peak diffs (gstMutualRegion)
  RegionRect* pstRect;             // region rectangles
  uint16_t* puwPeakPos;            // low byte column, high byte row
  uint8_t* pubLabelMap;
  int16_t* pswDiff;
  int16_t* pswPrevDiff;            // last frame's map, overwritten at the end of the frame
  uint8_t* pubRegionEdge;          // 12 per-region edge flags, may be null
  uint8_t* pubSlotKind;            // per-slot kind array of the core, may be null
  uint8_t* pubSlotKindCount;       // per-slot count of the core, may be null
  uint32_t* puiMoveNow;            // per-slot squared moves, may be null
  uint32_t* puiMoveLast;
};

// The pairing scratch, rebuilt every frame.
struct CoordPairScratch {
  uint16_t auwDist[kCoordPointMax];         // per region: distance to its slot, 0xFFFF none
  uint16_t auwX[kCoordPointMax];            // per region, node coordinates
  uint16_t auwY[kCoordPointMax];
  uint16_t auwWeight[kCoordPointMax];
  uint16_t auwQx[kCoordPointMax];           // per region, quarter nodes
  uint16_t auwQy[kCoordPointMax];
  uint8_t aubTaken[kCoordPointMax];         // per slot: taken this frame
  uint8_t ubMergedCount;                    // regions left after merging
  uint8_t ubTimer;                          // working copy of a slot's timer
  uint8_t aubColCover[56];
  uint8_t aubWritten[kCoordPointMax];       // per slot: point written
  uint8_t aubSlotRegionCount[kCoordPointMax];
  uint8_t aubByIndex[kCoordPointMax];       // candidates of the slot in hand, region order
  uint8_t aubByDistance[kCoordPointMax];    // the same sorted by distance
  uint8_t ubListCount;
};
static_assert(sizeof(CoordPairScratch) <= 502);

#pragma pack(pop)

inline constexpr uint16_t kPairScratchBytes = 502;

// Statics of the pairing core.
struct CoordPairStatics {
  CoordPairScratch* pstScratch;
  CoordPairInput* pstInput;
  uint16_t uwComplementState;
  uint8_t aubComplementPartner[kCoordPointMax];
  uint8_t ubComplementDone;
  uint8_t ubOccupiedCount;
  uint8_t aubSlotArray[kCoordPointMax];
  uint16_t uwCompCnt;
  uint8_t ubCompCntA;
  uint8_t ubCompCntB;
  uint8_t ubTrimFrameCnt;
  uint8_t ubTrimCandidate;
  uint8_t ubTrimDir;
  uint8_t ubOneShotMark;
  uint16_t uwSmallMask;
  uint8_t ubLastCloseLeft;
  uint8_t ubLastCloseRight;
  uint8_t ubLastRows;     // the grid of the last frame paired: the previous map is laid out
  uint8_t ubLastColumns;  // by it
  uint32_t ulFrame;                           // frames paired
  uint32_t aulJoinFrame[kCoordPointMax];      // the last frame a slot's pieces were kept as one
  uint8_t aubJoinRun[kCoordPointMax];         // frames in a row (gaps of one allowed) they were
};
extern CoordPairStatics gstCoordPairStatics;

extern uint8_t gubLastTwoBigRectSameColm;
extern uint8_t gubHaveComplement;
extern uint16_t guwCurCompleFlag;
extern uint16_t guwLastCompleFlag;
extern uint8_t gubJumpCompFlag[kCoordPointMax];
extern uint8_t gubMaybeLargeCopper;
extern uint8_t gubThumbStateErrId;
extern uint16_t guwNotMuchOutCnt;
// gstMutualFloatCfg: bytes 0-7 the floating thresholds, byte 8 a frame counter that stops
// at 100, byte 9 the frame's region count.
extern uint8_t gstMutualFloatCfg[12];

// Coordinate-optimisation history that pairing reads and seeds: per slot three X and Y
// entries (entry 0 the last position optimisation produced, entry 1 the first position of
// a new point), a weight and the optimisation state.
struct CoordOptHistory {
  uint16_t auwX[kCoordPointMax][3];
  uint16_t auwY[kCoordPointMax][3];
  uint16_t auwWeight[kCoordPointMax];
  uint8_t aubState[kCoordPointMax];
};
extern CoordOptHistory gstCoordOptHistory;

// Region-module flags that pairing consults (pairing-mode flags, vote switch, large-touch
// flags); region detection sets them, clear by default.
struct CoordRegionFlags {
  uint8_t ubF1;
  uint8_t ubF2;
  uint8_t ubF3;
  uint8_t ubVote;
  uint8_t aubLargeTouch[3];
};
extern CoordRegionFlags gstCoordRegionFlags;
uint8_t JudgePairStateMatch(int8_t a, int8_t b);

// ---- region coordinates and rectangle tests
struct CoordCalcInput;
void CalcRegionCoord(uint8_t k, RegionRect r);
VENDOR_EXPORT void NewCoordCalcSoftWare(CoordCalcInput* pstIn);
void MergeRegions(uint8_t a, uint8_t b);
uint8_t JudgeRectsTouch(RegionRect a, RegionRect b);
void JudgeLastTwoBigRect();
uint8_t CountAdjacentSlots(uint8_t i, uint8_t* pubRowSpan);
VENDOR_EXPORT void CalcQuarterDeltas(const uint16_t* puwA, int16_t* pswOut, uint8_t n);
VENDOR_EXPORT uint8_t LcdNoiseAddShakeCount();
void MergeCloseRegionsOfSlot(uint8_t s);
void GrowRectBy2(RegionRect* pstRect, uint8_t ubRows, uint8_t ubCols);
int16_t MinDiffInTouchRect();
uint8_t JudgeFloatPairByNet(uint8_t a, uint8_t b);
uint32_t CountPeaksInRect(RegionRect r);
uint8_t JudgeSteadyTrackInRegion(uint8_t a, uint8_t b);
uint8_t JudgeEdgeNarrowRegion(uint8_t k);
void SplitRegionBySlotRects(uint8_t r, uint8_t i, uint8_t j, uint8_t ubSelector);

#pragma pack(push, 1)
struct CoordCalcInput {
  uint8_t ubRowStart;    // 0
  uint8_t ubRowEnd;      // 1
  uint8_t ubColStart;    // 2
  uint8_t ubColEnd;      // 3
  uint8_t ubRes4;        // 4
  uint8_t ubColNum;      // 5: row stride of the map
  uint8_t ubSlot;        // 6: 12 or more writes no filter entry
  int16_t swBase;        // 7
  int16_t swGate;        // 9
  const int16_t* pswMap; // 11
  int8_t scOffsetX;      // 19
  int8_t scOffsetY;      // 20
  uint16_t uwX;          // 21
  uint16_t uwY;          // 23
  uint16_t uwWeight;     // 25
};
#pragma pack(pop)
static_assert(offsetof(CoordCalcInput, swBase) == 7);
static_assert(offsetof(CoordCalcInput, pswMap) == 11);
static_assert(offsetof(CoordCalcInput, scOffsetX) == 19);
static_assert(offsetof(CoordCalcInput, uwX) == 21);
static_assert(offsetof(CoordCalcInput, uwWeight) == 25);
static_assert(sizeof(CoordCalcInput) == 27);

// ---- pairing
void CoordPairInit(void* pvScratch);
void CoordPair(CoordPairInput* pstIn);
// Regions paired with slot S: lists them (region order and by distance) and returns the
// one that keeps the slot, or the region count when none.
uint8_t ResolveSlotRegion(uint8_t s);

// ---- split judgement, complement pass, post-match phases
uint16_t ScoreFloatPairByRecord(uint8_t a, uint8_t b, uint8_t c, uint8_t t);
uint16_t ScoreDiagonalPair(uint8_t a, uint8_t b);
uint8_t SplitPairTest(uint8_t a, uint8_t b, uint8_t ubMode);
void PairSplitJudge();
// True when regions A and B, both paired with slot S, may be merged as pieces of one finger
// (the rule is at its definition).
bool PiecesOfOneFinger(uint8_t s, uint8_t a, uint8_t b);
// A steady slot's rectangle that the region search put back with no top of its own on the
// map, beside a region the search found, is dropped: the finger it remembers has slid on
// into that region, and the rectangle left behind is its trailing flank.
void DropRememberedFlanks();
void ComplementPass();
void PairPostMatchPhases();
void ResetRectTrim();

// ---- judges of other modules that pairing calls: the water judges, the rectangle trim
// and the valley judge come from region detection
uint8_t JudgeDropWetFinger(RegionRect r, uint8_t ubMode);
uint8_t JudgeInSameUnion(RegionRect a, RegionRect b);
uint8_t RemoveWaterRect(const int16_t* pswDiff, RegionRect* pstRects, uint16_t* puwPeaks, uint8_t ubCount,
                        uint8_t* pubRemovedMask);
uint8_t JudgeSubRect(uint32_t uiA, uint32_t uiB);
void AdjustRectByThreshold(uint8_t* pubRect, uint8_t ubCols, uint8_t ubRows, uint8_t ubTrim, uint8_t ubGrow,
                           const int16_t* pswMap, uint8_t ubMode);
// Pairing reads the waterproof stage's own states: these name them in its module state.
extern uint8_t& gubWaterUnionFlag;
extern uint8_t& gubWaterLargeSta;
extern uint8_t& gubWaterMoveFlag;


// Geometry helpers shared by the pairing files.
inline uint32_t RectH(RegionRect r) { return static_cast<uint32_t>(r.ubRowEnd - r.ubRowStart + 1); }
inline uint32_t RectW(RegionRect r) { return static_cast<uint32_t>(r.ubColEnd - r.ubColStart + 1); }
inline bool RectEmpty(RegionRect r) { return r.ubRowStart > r.ubRowEnd || r.ubColStart > r.ubColEnd; }
inline RegionRect RectUnion(RegionRect a, RegionRect b) {
  return RegionRect{a.ubRowStart < b.ubRowStart ? a.ubRowStart : b.ubRowStart,
                    a.ubRowEnd > b.ubRowEnd ? a.ubRowEnd : b.ubRowEnd,
                    a.ubColStart < b.ubColStart ? a.ubColStart : b.ubColStart,
                    a.ubColEnd > b.ubColEnd ? a.ubColEnd : b.ubColEnd};
}
inline bool RectOverlap(RegionRect a, RegionRect b) {
  return !(a.ubRowEnd < b.ubRowStart || b.ubRowEnd < a.ubRowStart || a.ubColEnd < b.ubColStart ||
           b.ubColEnd < a.ubColStart);
}
inline int32_t AbsI(int32_t v) { return v < 0 ? -v : v; }
// The frame's region count (at most 12), and whether region K is present (non-zero peak).
uint8_t PairRegions();
bool PairPresent(uint8_t k);
// Squared distance of two regions' quarter-node positions, taken as 16 bits.
uint16_t RegionSqDist(uint8_t a, uint8_t b);
CoordPairInput& PairIn();
CoordPairScratch& PairScratch();
uint8_t JudgeValleyRectWeak(const int16_t* pswDiff, const int16_t* pswSecond, uint32_t uiRect, uint16_t uwNode,
                            int8_t scLabel, uint8_t ubRows, uint8_t ubCols);

// ---- the core's side: initialisation, the pairing wrapper, low temperature
void CoordCommonInit();
void CoordPairInitWrapper();
// Builds the frame's pairing input from the module records (no record is changed); the
// wrapper then takes its side effects and calls CoordPair.
void CoordPairGatherInput(CoordPairInput& in);
void CoordPairWrapper();
// Frames the core skipped in a row; at 2 or more the pairing wrapper turns the jump gate of
// the frame off. The wrapper clears it every frame.
extern uint8_t gubContinueSkipNum;
void CoordOptHistoryUpdate();
// The low-temperature optimisation of signal conditioning (gathers its input and runs the
// optimisation and judgement) and its exit.
void LowTempOptWrapper();
void LowTempExit();

// State of the low-temperature stage: the low-temperature frequency applied for this stay,
// the suspend flag (set by the core), the reference-rebuild counter.
struct LowTempStageState {
  uint8_t ubApplied;
  uint8_t ubSuspend;
  uint8_t ubRebuildCnt;
};
extern LowTempStageState gstLowTempStage;
