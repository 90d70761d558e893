#pragma once
// Floating-finger records: the complement network's state and decoded rectangles, its rate
// gate and decoder, the floating-region record table and its lookup.
#include <cstdint>

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

// The floating-complement network. It is built elsewhere; this module calls it through a
// weak entry that does nothing (no map, nothing decoded) until the network is linked in.
void NetFloatComplement(const int16_t* pswDiff, void* pvCache, uint8_t ubRows, uint8_t ubCols, int16_t** ppswOut,
                        void** ppvSecond);

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
