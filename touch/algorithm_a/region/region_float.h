#pragma once
// Floating-finger records: the complement network's state and decoded rectangles, its rate
// gate and decoder, the floating-region record table and its lookup.
#include <cstdint>

#include "region_float_combine.h"
#include "region_records.h"

inline constexpr uint8_t kFloatComplementMax = 11;
inline constexpr uint8_t kFloatRecordMax = 16;
inline constexpr uint32_t kFloatNetStride = 56;  // output map row stride, one border row/column

#pragma pack(push, 1)
struct NetFloatInfo {
  uint8_t ubFresh;                             // 0: 1 after a run until the frame reset
  uint8_t ubFreshPad;                          // 1: cleared with it
  uint16_t uwFramesSinceRun;                   // 2
  int16_t* pswOutputMap;                       // 4: filled by the network
  void* pvSecondOutput;                        // 12
  uint8_t ubRectNum;                           // 20
  uint8_t aubParam[2];                         // 21: 56 and 52 after a run
  uint8_t ubRunState;                          // 23: runs in a row, 0..3
  RegionRect astRect[kFloatComplementMax];     // 24
};
static_assert(sizeof(NetFloatInfo) == 68);
static_assert(offsetof(NetFloatInfo, ubRectNum) == 20);
static_assert(offsetof(NetFloatInfo, astRect) == 24);

struct FloatRegionRecord {
  RegionRect stRect;       // 0: all zero = free record
  uint8_t ubClass;         // 4: 0 none, 1-3
  uint8_t ubShape;         // 5
  uint8_t ubRes6;          // 6
  uint8_t ubBalanceExempt; // 7
  uint8_t ubInsideNum;     // 8
  uint8_t ubCoverNum;      // 9
  uint8_t ubSideCode;      // 10: 0, 1, 15, 255
  uint8_t ubExclude;       // 11
  uint8_t ubStable;        // 12
  uint8_t ubRes13;         // 13
  uint16_t uwAngle;        // 14: degrees 0..179, 65535 none
  uint8_t aubWork[6];      // 16: working values of the floating judgement
};
static_assert(sizeof(FloatRegionRecord) == 22);
static_assert(offsetof(FloatRegionRecord, uwAngle) == 14);

// Dip between two peaks of a line profile.
struct ProfileValley {
  uint16_t uwLeftIdx;
  uint16_t uwLeftPeak;
  uint16_t uwRightIdx;
  uint16_t uwRightPeak;
  uint8_t ubValleyIdx;   // 255 = no valley
  uint16_t uwValley;
  uint8_t ubZero;        // 1 when the valley value is 0
};
static_assert(sizeof(ProfileValley) == 12);

// Row and column profiles of a floating candidate, indexes in grid rows and columns.
struct CandidateProfiles {
  uint32_t uiRect;           // in: the candidate rectangle
  ProfileValley stRow;
  uint8_t ubRowQuiet;        // the valley row holds no node above its level
  ProfileValley stCol;
  uint8_t ubColQuiet;
};
static_assert(sizeof(CandidateProfiles) == 30);

// Judgement thresholds of the floating-finger module, reloaded from the pairing
// configuration (bytes 20-44) before each use.
struct FloatJudgeThr {
  uint16_t auwThr[6];        // 0: T0..T5
  uint8_t aubCandidate[9];   // 12: candidate judgement; byte 20 the large-copper spread
  uint8_t aubShape[4];       // 21: shape judgement
  uint8_t ubRes25;           // 25
};
static_assert(sizeof(FloatJudgeThr) == 26);
#pragma pack(pop)

extern NetFloatInfo gstNetFloatInfo;
extern uint8_t gboNetFloatInit;
extern FloatRegionRecord gastFloatRegionRecord[kFloatRecordMax];
extern uint8_t gubFloatAreaCnt;

// The network sequence: when the gate allows (not fresh, the caller's TRIGGER, and fewer
// than three runs in a row or 20 frames since the last), runs the complement network of
// the engine on DIFF with the network work buffer CACHE, decodes its map into complement
// rectangles and marks the run. Returns 1 when the network ran and succeeded.
uint8_t RunFloatNetSequence(const int16_t* pswDiff, const uint16_t* puwKeep, const RegionRect* pstRects,
                            uint8_t ubRows, uint8_t ubCols, void* pvCache, uint8_t ubTrigger);

uint32_t GateFloatNetResult(uint32_t uiValue, int8_t scEvent);
void DecodeFloatNetOutput(const int16_t* pswDiff, const uint16_t* puwKeep, const RegionRect* pstRects, uint8_t ubRows,
                          uint8_t ubCols, uint32_t uiMode);
uint8_t MatchFloatRegionRecord(uint8_t ubRows, uint8_t ubCols, uint32_t uiRect, FloatRegionRecord* pstOut);
uint8_t GetFloatAreaCnt();
// The steady track rectangles (frame count 6 or more, active, non-zero) in slot order;
// the rest of the 12 entries 0. *PUWFLAG (when given) gets the network-processing word.
uint8_t GetSteadyTrackRects(uint32_t* puiRects, uint16_t* puwFlag);

extern FloatJudgeThr gstFloatJudgeThr;
// Thresholds from the configuration, each group falling back to its defaults when the
// group's first configured value is 0.
void FloatJudgeThrLoad();

// Fits RECT (4 bytes, in/out) to the nodes that carry signal: each side with no node at or
// above TRIM moves in by one line; then, in mode 1 (one pass) or 2 (two passes), each side
// moves out by one line where a node just beyond it exceeds GROW. Other modes only trim.
void AdjustRectByThreshold(uint8_t* pubRect, uint8_t ubCols, uint8_t ubRows, uint8_t ubTrim, uint8_t ubGrow,
                           const int16_t* pswMap, uint8_t ubMode);
// The deepest dip of P[START..END] (first on ties) and the highest value on either side.
void FindProfileValley(const uint16_t* puwP, uint8_t ubStart, uint8_t ubEnd, ProfileValley* pstOut);
// Row and column profiles of the candidate (over its rectangle grown by one), their
// valleys and the quiet flags of the valley lines.
void AnalyseCandidateProfiles(const int16_t* pswDiff, uint8_t ubRows, uint8_t ubCols, CandidateProfiles* pstCand);
// Signature of a floating finger in the ring structure of RECT: 0 none, 1, 2 or 3.
uint8_t JudgeFloatRing(uint8_t ubCols, const int16_t* pswDiff, uint8_t ubRecord, uint32_t uiRect);

// ---- Floating-finger judgement -------------------------------------------------------------

#pragma pack(push, 1)
// Input of the floating-finger judgement, built per call by its wrapper.
struct FloatJudgeInput {
  const int16_t* pswSelf;        // 0   self-capacitance data of the frame
  uint8_t ubSelfTestEn;          // 8   enables the self-value evidence
  uint8_t ubHold;                // 9   set: the floating counter does not count up
  uint8_t ubLargeCopperBlock;    // 10  set: no large-copper decision
  uint8_t ubBlock;               // 11  set: no three-region path
  int16_t swDiffMax;             // 12
  int16_t swDiffMin;             // 14
  uint16_t uwRefLevel;           // 16  base level of the second map, per-node trimming level
  uint16_t uwNodeThr;            // 18  node level of the candidate judgement
  int16_t swHalfThr;             // 20  half of the touch threshold
  const int16_t* pswSelfStat;    // 22  entries 1 and 3 are compared with the self limit
  uint8_t* pubLabel;             // 30  region label map
  uint8_t ubCols;                // 38  row stride
  uint8_t ubRows;                // 39
  int16_t* pswDiff;              // 40
  const int16_t* pswSecond;      // 48  second per-node map (stable test)
  uint8_t ubTouchNum;            // 56  touches reported in the previous frame
  const uint16_t* puwPairValue;  // 57  pairing slot values, non-zero = occupied
  const RegionRect* pstPairRect; // 65  pairing slot rectangles
  uint8_t ubNetEnable;           // 73
  uint8_t ubForced;              // 74
  void* pvNetCache;              // 75
  uint8_t ubFloatFlag;           // 83  out
  uint8_t ubFloatCnt;            // 84  in/out
  RegionRect stMainRect;         // 85  in/out
  RegionRect* pstRect;           // 89  region rectangles
  uint16_t* puwKeep;             // 97  region keep values (peaks), 0 = none
  uint8_t ubCount;               // 105 in/out
  uint8_t ubElong;               // 106 out: 0, 1 long across columns, 2 long across rows
  uint8_t ubMainRowSpan;         // 107 out: 255 when not measured
  uint8_t ubMainColSpan;         // 108 out
  uint8_t ubTwoPeak;             // 109 in
  uint8_t ubCollapse;            // 110 in/out
  uint8_t ubSplitState;          // 111 out: a candidate split over several regions while floating
  uint8_t ubFloatFinger;         // 112 out: some candidate carries a floating class
};
static_assert(sizeof(FloatJudgeInput) == 113);
static_assert(offsetof(FloatJudgeInput, ubCols) == 38);
static_assert(offsetof(FloatJudgeInput, ubTouchNum) == 56);
static_assert(offsetof(FloatJudgeInput, pvNetCache) == 75);
static_assert(offsetof(FloatJudgeInput, stMainRect) == 85);
static_assert(offsetof(FloatJudgeInput, ubCount) == 105);
static_assert(offsetof(FloatJudgeInput, ubCollapse) == 110);

// gstFloatSelfProc: the floating state the wrappers keep between frames (12 bytes).
struct FloatSelfProc {
  uint8_t ubFloatCnt;       // 0: floating counter (also the common floating byte)
  uint8_t ubFloatFlag;      // 1: 1 while floating (halves the self-cap filter thresholds)
  uint8_t ubElong;          // 2
  uint8_t ubMainRowSpan;    // 3
  uint8_t ubMainColSpan;    // 4
  uint8_t ubCollapse;       // 5: the large-copper path collapsed the regions
  uint8_t ubRes6;           // 6
  RegionRect stMainRect;    // 7: bounding rectangle of the frame's regions
  uint8_t ubTwoPeak;        // 11: two-peak byte of region acquisition
};
static_assert(sizeof(FloatSelfProc) == 12);
static_assert(offsetof(FloatSelfProc, stMainRect) == 7);
static_assert(offsetof(FloatSelfProc, ubTwoPeak) == 11);

// One entry of the judgement history: last frame's record rectangle, class and shape.
struct FloatJudgeHistory {
  RegionRect stRect;
  uint8_t ubClass;
  uint8_t ubShape;
  uint8_t ubRes;
};
static_assert(sizeof(FloatJudgeHistory) == 7);
#pragma pack(pop)

extern FloatSelfProc gstFloatSelfProc;
extern FloatJudgeHistory gastFloatJudgeHistory[kFloatRecordMax];  // 112 bytes
// Consecutive-frame counters of the touch count: [0] = 1, [1] = 2, [2] < 3, [3] > 1.
extern uint16_t gstFloatOutPutCnt[4];
extern uint8_t gubLargeCopperCnt;
extern uint8_t gaubFloatPresenceAge[kRegionMax];

// Floating-region record byte 16 (steady flag) and 17 (working flag).
inline constexpr uint32_t kFloatRecSteady = 0;
inline constexpr uint32_t kFloatRecWork = 1;
// Keep-value extremes of the regions lying wholly inside the record (bytes 18 and 20).
uint16_t FloatRecordKeepMax(const FloatRegionRecord& r);
uint16_t FloatRecordKeepMin(const FloatRegionRecord& r);

// The floating-finger judgement stage; see the design notes in region_float_judge.cpp.
void RegionFloatPreJudge(FloatJudgeInput* pstIn);
// Saddle analysis of a 2- or 3-region record and its ring/row gate (class of record K).
uint8_t JudgeFloatSaddle(const FloatJudgeInput& in, RegionRect R, uint8_t k);
// Shape code of BOX: record mode (index 0..15) or main mode (255).
uint8_t JudgeFloatBoxShape(const FloatJudgeInput* pstIn, uint32_t uiBox, uint8_t ubRecord);
// 1 when the 40-entry profile shows no deep valley.
uint8_t JudgeProfileShallowValley(const uint16_t* puwP);
// Large-copper evidence of the candidate C (design in region_float_judge.cpp).
bool JudgeLargeCopperEvidence(const FloatJudgeInput& in, RegionRect C);

