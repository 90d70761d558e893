#pragma once
// The reference module of algorithm A: the mutual reference update with its request codes
// and delays, the power-on reference, and the self (Tx/Rx) reference update.
#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
// Module record of the mutual reference update, shared with the power-on build.
struct RefUpdateModuleRec {
  uint8_t ubDriftAcc;         // 0 ticks of one-sided edge drift
  uint8_t ubEnvCountdown;     // 1 ticks left before an environment rebuild
  uint8_t ubAnalysisSpacing;  // 2 frames since the last residue analysis
  uint8_t ubReqCode;          // 3 0 none, 1..13 rebuild now, 14+ delay counting down
  uint8_t ubDriftDir;         // 4 0 none, 1 reference above raw, 2 below
  uint16_t uwEnvBand;         // 5
  uint8_t ubInitLevel;        // 7
  uint8_t ubSpare;            // 8
  uint8_t ubEnvLevel;         // 9
  uint8_t ubLastRebuildFlag;  // 10
  uint8_t ubLinesAbove;       // 11
  uint8_t ubLinesBelow;       // 12
  uint8_t ubPowerOnCnt;       // 13 frames counted towards the power-on build
  uint8_t ubLineCheckEn;      // 14
  uint8_t aubEdgeMarks[2];    // 15
  uint8_t ubResiduePending;   // 17
  int8_t scRebuildTemp;       // 18
  uint8_t ubOne;              // 19 set to 1 at initialisation
  uint8_t aubRes20[6];        // 20
};
static_assert(sizeof(RefUpdateModuleRec) == 26);

// Reference output record: the reference sum, the power-on request and the update mark.
struct RefdataOutputRec {
  uint8_t aubRes0[6];
  uint32_t uiRefSum;          // 6
  uint8_t aubRes10[12];
  uint8_t ubPowerOnReq;       // 22
  uint8_t ubRefUpdated;       // 23
  uint8_t ubRes24;
};
static_assert(sizeof(RefdataOutputRec) == 25);

// Residue trackers of the mutual reference update (the first 31 bytes go to the debug
// record).
struct RefResidualRec {
  uint32_t uiSlopeSum;        // 0  S1
  uint32_t uiMatchSum;        // 4  S2
  uint16_t auwEdgeDevAtRebuild[2];  // 8  left, right
  uint16_t auwEdgeDevCur[2];  // 12
  uint16_t uwEdgeSlopeMax;    // 16 E
  uint16_t uwSpare;           // 18
  uint16_t uwMatchMax;        // 20 M2
  uint16_t uwSlopeResMax;     // 22 R1
  uint16_t uwBigLimit;        // 24
  uint16_t uwMidCount;        // 26 N
  uint8_t ubPhase;            // 28
  uint8_t ubFirstRow;         // 29
  uint8_t ubEndRow;           // 30
  uint8_t ubRes31;
};
static_assert(sizeof(RefResidualRec) == 32);
static_assert(offsetof(RefResidualRec, uwEdgeSlopeMax) == 16 && offsetof(RefResidualRec, ubEndRow) == 30);

// Edge tracking across a frequency hop.
struct RefHopArgsRec {
  uint8_t ubCounter;          // 0
  uint8_t ubEdgeCount;        // 1 edge count before the hop
  uint8_t ubCountAtMark;      // 2 255 = none
  uint32_t uiSumAtMark;       // 3 0x7FFFFFFF = none
  uint16_t uwRegionAtMark;    // 7
  uint16_t uwEdgeMaxAtMark;   // 9
  uint32_t uiRawDrvAtMark;    // 11
};
static_assert(sizeof(RefHopArgsRec) == 15);

// Learnt edge levels of the reference; kept over re-initialisation while the marker holds.
struct AgeingArgsRec {
  int16_t aswLevel[4];        // 0 left sum, left largest, right sum, right largest
  uint8_t ubLearnCnt;         // 8
  uint8_t ubValid;            // 9
  uint32_t uiMarker;          // 10
};
static_assert(sizeof(AgeingArgsRec) == 14);

// Self reference update state.
struct RefUpdateSelfRec {
  uint8_t ubEnable;
  uint8_t ubRequest;
  uint16_t* puwSelfRef;
  uint16_t* puwSelfRaw;
  int16_t* pswSelfDiff;
  uint8_t ubCntA;
  uint8_t ubCntB;
  uint16_t auwThr[4];
};
#pragma pack(pop)

// Argument record of the mutual reference update and the power-on build, built by the
// wrappers from the common frame record each frame.
struct RefUpdateArgs {
  uint16_t uwRefValid;
  uint8_t ubRows;
  uint8_t ubCols;
  uint16_t uwSelfLen;
  uint16_t uwNodeNum;
  uint8_t ubNormFlagA;
  uint8_t ubNormFlagB;
  uint8_t ubNormFlagC;
  uint8_t ubNormByte4;     // double-B valid: a fourth normalisation byte of the edge-grip test
  int16_t swQuietThr;      // Q
  uint16_t uwNormBase;     // level the clean reference is measured from
  int16_t swTouchThr;      // T
  uint8_t ubLowTempState;
  uint16_t* puwRaw;        // raw map of the frame: what the power-on build copies
  uint16_t* puwFiltRaw;    // IIR-filtered raw map: what a rebuild copies
  uint16_t* puwSelfRaw;
  int16_t* apswScratch[3];
  uint16_t* puwRef;
  uint16_t* puwCleanRef;
  uint16_t* puwSelfRef;
  int16_t* pswDiff;
  int16_t* pswSelfDiff;
  int8_t scTemp;
  uint8_t aubLowTempConsist[2];  // in/out
  uint16_t uwLowTempConsistFrames;
  uint8_t ubIdleUpdate;
  uint8_t ubTouchNum;
  uint8_t ubTick;
  uint8_t ubGloveSat;
  uint8_t ubNormState;
  int16_t swDiffMax;             // D
  int16_t swDiffMin;             // m
  uint8_t ubReqCodeIn;           // in; cleared on return
  uint8_t ubHopFlag;             // in/out
  uint32_t* puiWakeCheck;        // in/out: the wake-check marker
  uint8_t ubGameStatus;          // status of the game-mode command
  uint8_t ubLongMode;
  uint8_t ubDoubledThr;
  uint8_t ubLargeArea;
  uint8_t ubTimerHold;
  uint8_t ubIronCover;
  uint8_t ubFpFlag;
  uint16_t auwGripNodes[5];      // three nodes, then the two they are compared with
  uint8_t aubTouchedRect[4];     // first drive, last drive, first sense, last sense
  uint16_t uwRegionSize;
  const uint16_t* puwCurX;       // 12 points each, 65535 = none
  const uint16_t* puwCurY;
  const uint16_t* puwPrevX;
  const uint16_t* puwPrevY;
  // Outputs.
  uint8_t ubBuilt;
  uint16_t uwScreenConsistOut;
  uint32_t uiWholeAtRebuildOut;
  uint32_t uiRefDrvConsistOut;
  uint8_t ubRebuildCode;
  uint8_t ubRebuildDetail;
  uint8_t ubRebuildMarker;
  uint8_t ubResidueConfirm;
  uint8_t ubEdgeGrip;
  uint8_t ubCleanRefDev;
};

struct RefUpdateTRxInput {
  const int16_t* pswExtremes;  // minA, maxA, minB, maxB
  const uint16_t* puwFiltSelfRaw;
  uint8_t ubSelfLen;
  int16_t swMutualMax;
  int16_t swMutualMin;
  int16_t swTouchThr;
  uint8_t ubTick;
  uint8_t ubStylus;
  int16_t* pswSelfDiff;
  uint16_t* puwSelfRef;
};

inline constexpr uint8_t kRefCodeDelayed = 13;
inline constexpr uint8_t kRefCodeResidue = 11;
inline constexpr uint8_t kRefCodePartial = 10;

extern RefResidualRec gstRefResidual;
extern RefHopArgsRec gstRefHopArgs;
extern AgeingArgsRec gstAgeingArgsNcln;
extern uint8_t gboLowTmpStaExit;
extern uint8_t gubConsistenceRefUp;
extern uint8_t gubHopWaitHandUpCnt;
extern uint8_t gboIsGloRefExist;
extern uint8_t gboIsMove;

extern RefUpdateModuleRec gstRefUpdateModule;
extern RefdataOutputRec gstRefdataOutput;
// The diff IIR gate's state: 1 while the previous diff map holds a filtered frame.
extern uint8_t gstDiffIirFilter;
extern RefUpdateSelfRec gstRefUpdateSelf;
extern RefUpdateSelfRec* gpstRefUpdateTRx;
extern RefUpdateArgs* gpstRefUpdateArgs;
extern uint8_t gubRefUpdateBook[2];  // rebuild count, code of the last rebuild
extern uint8_t gboSelfForceRefUpdate;
extern uint8_t gboStylusTouch;
extern uint8_t gubCnt;
extern uint8_t gubIsFWakeLeaveCnt;
extern uint32_t guiIsFWakeCheckNcln;  // kept by the framework
extern uint8_t gubRefBarrayIndex;
extern uint8_t gboSRefOffUpFlag;
extern uint8_t gboSRefEnviUpdateFlag;
extern uint8_t gboNeedConsisUpdate;
extern uint8_t gubTxResNumSmall;

uint16_t RefUpdateInit(uint16_t uwBand);
void RefUpdatePanelMutual(RefUpdateArgs* pstArgs);
uint8_t GetPanelPowerOnRefEntrance(RefUpdateArgs* pstArgs);
uint8_t GetMutualRefUpdateCnt();
uint8_t GetMutualRefUpdateType();
void RefUpdateTRxInit(uint16_t* puwSelfRaw, int16_t* pswSelfDiff, uint16_t* puwSelfRef);
void RefUpdateTRx(const RefUpdateTRxInput* pstIn);
void SetSelfForceUpdate(uint8_t ubValue);
void RefdataInit();
void RawdataInit();
void RefDataCommonInit();
// The raw-data output record is the normalisation output.
void RawDataCommonInit();
void DisConnectInit();
void DataDisconnectProc();
void DataDisconnectMap(uint8_t ubDrv, uint8_t ubSen, uint16_t* puwMap);
void JudgeWakeFpArea();
void DisconnectChannelJudge();
void ResetIdleBaseLineCmd();
void NoiseDiffIIRFIlter();
void CrossDiffSetTempSizeInit();
void RefDataSetTempSizeInit();
// Line repair input of the disconnect judgement.
struct DisconnectJudgeInput {
  const uint16_t* puwRaw;
  const uint16_t* puwB;
  uint16_t* puwArena;       // node count u16: the un-normalised map
  uint16_t uwNodeNum;
  uint16_t uwDropThreshold;
  uint8_t ubRatio;
  uint8_t ubStudyProgress;
  uint8_t ubBValid;
  uint8_t ubCmdBlock;
  uint8_t ubRows;
  uint8_t ubCols;
  uint8_t ubEdgeFlags;      // out
  uint8_t ubFound;          // out
};
void DisconnecChannelJudgeProc(DisconnectJudgeInput* pstIn);
// The map the disconnect judgement reads: raw - B (16-bit) in the arena while a valid B
// array is in force, no study is running and no command blocks it; else the raw map.
const uint16_t* GetRawDataNoNormalize(DisconnectJudgeInput* pstIn);

// Parts of the per-frame mutual update that the power-on build shares.
void RefCleanUp();
void RefConsistencyEvaluate(uint8_t ubCode);
uint8_t CheckVXNState(const int16_t* pswMap, uint8_t ubCols, uint8_t ubRows, int16_t* pswOffsets);
void RefResetLineEntries();
// Edge statistics: per side (0 left, 1 right) the sum and the largest absolute deviation
// of the drive lines' outer columns; a side is steady when its deviations keep one sign,
// active when its two outer columns show a difference above 30.
struct RefEdgeStats {
  int32_t aiSum[2];
  int32_t aiMax[2];
  uint8_t aboSteady[2];
  uint8_t aboActive[2];
};
void RefEdgeStatistics(uint8_t ubResidueMode, RefEdgeStats* pstOut);
uint16_t RefEdgeDeviation(const RefEdgeStats& st, uint32_t uiSide);
// Whole-map consistency of a - b, corner-blended first.
uint32_t RefWholeConsistency(const uint16_t* puwA, const uint16_t* puwB);
uint8_t RefLineCopyMark(uint8_t ubLine);

// ---- Reference consistency measures ----------------------------------------------------
inline constexpr uint32_t kRefMaxLines = 64;
inline constexpr uint32_t kRefMaxCols = 64;
#pragma pack(push, 1)
struct RefConsistanceRec {
  uint8_t ubRebuilt;
  uint8_t ubTickAcc;
  uint8_t ubCheckPending;
  uint8_t ubChangeCnt;
  uint8_t ubSampleCnt;
  uint8_t ubSampleTarget;
  int16_t swLargestDiff;      // largest |neighbour difference| of the last drive pass
  int16_t swPrevLargestDiff;
  uint16_t uwScreenConsist;
  uint16_t uwSignalPersist;
  uint16_t uwRecheckCnt;
  uint32_t uiRawDrvConsist;   // current raw map, second-neighbour mode
  uint32_t uiAlignDrvConsist;
  uint32_t uiWholeConsist;
  uint32_t uiRefDrvConsist;
  uint32_t uiCleanDrvConsist;
  uint32_t uiWholeAtRebuild;
  uint32_t auiSums[3];
  uint32_t auiAverages[2];
  uint32_t uiMinimum;
  uint32_t auiLine[kRefMaxLines];  // consistency of each drive line
};
#pragma pack(pop)
extern RefConsistanceRec gstRefConsistance;
extern uint8_t gubNeedJudgeEdgeGrib;

inline constexpr uint8_t kConsistSecondNeighbour = 0;
inline constexpr uint8_t kConsistNeighbour = 1;
uint32_t CalcCurConsistencyDrv(const uint16_t* puwMap, uint8_t ubFirst, uint8_t ubEnd, uint8_t ubMode);
void CalcConsistBeforeComplentRaw(int16_t* pswMap);
uint32_t GetCurScreenConst();
uint32_t* GetCurConsistDrvAdr();
