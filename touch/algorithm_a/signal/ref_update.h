#pragma once
// The reference module of algorithm A: the mutual reference update with its request codes
// and delays, the power-on reference, and the self (Tx/Rx) reference update.
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
  int16_t swTouchThr;
  uint16_t* puwRaw;        // raw map of the frame: what the power-on build copies
  uint16_t* puwFiltRaw;    // IIR-filtered raw map: what a rebuild copies
  uint16_t* puwSelfRaw;
  uint16_t* puwRef;
  uint16_t* puwCleanRef;
  uint16_t* puwSelfRef;
  int16_t* pswDiff;
  int16_t* pswSelfDiff;
  int8_t scTemp;
  uint8_t ubTouchNum;
  uint8_t ubTick;
  int16_t swDiffMax;
  int16_t swDiffMin;
  uint8_t ubHopFlag;
  uint32_t* puiWakeCheck;  // in/out: the wake-check marker
  // Outputs.
  uint8_t ubBuilt;
  uint8_t ubRebuildCode;
  uint8_t ubRebuildMarker;
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

extern RefUpdateModuleRec gstRefUpdateModule;
extern RefdataOutputRec gstRefdataOutput;
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
void RefDataCommonInit();
void DisConnectInit();
void DataDisconnectProc();
void DataDisconnectMap(uint8_t ubDrv, uint8_t ubSen, uint16_t* puwMap);
void JudgeWakeFpArea();

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
