#pragma once

#include "vendor_export.h"
// Controller state machine: the state columns of gpstStateTable, the state-transfer and
// sample-mode tables (carried as data), the transition actions, the idle delay check run
// after each finger frame, the idle pre-judgement and the period set-up. The state record
// gstStateMachine and the table's period/sleep columns belong to the framework
// (framework.h); this module fills the remaining columns and works the request bits.
#include <cstddef>
#include <cstdint>

#include "framework.h"

// Request bits of gstStateMachine.ullRequest.
inline constexpr uint64_t kReqToIdle = 1ull << 2;
inline constexpr uint64_t kReqIdleRef = 1ull << 6;
inline constexpr uint64_t kReqJitterExit = 1ull << 11;
inline constexpr uint64_t kReqFreqScanEnd = 1ull << 13;
inline constexpr uint64_t kReqFinger14 = 1ull << 14;
inline constexpr uint64_t kReqFinger15 = 1ull << 15;
inline constexpr uint64_t kReqFinger16 = 1ull << 16;

// Firmware states decoded from the frame flags.
inline constexpr uint32_t kFwStateFreqScan = 1;
inline constexpr uint32_t kFwStateFinger = 2;
inline constexpr uint32_t kFwStateGameOnly = 3;
inline constexpr uint32_t kFwStateReference = 240;

inline constexpr uint32_t kStateTransferRows = 25;
inline constexpr uint32_t kSampleModeRows = 8;

#pragma pack(push, 1)
// Idle-process record.
struct IdleProcRec {
  uint8_t ubRes0;
  uint8_t ubSenNum;            // 1
  uint16_t uwDrvRelated;       // 2: common word at 88
  uint8_t aubRes4[2];
  uint16_t* puwCrossRaw;       // 6
  uint16_t* puwCrossRef;       // 14
  uint8_t* pubWork;            // 22
  uint16_t* puwCrossBak;       // 30
  uint8_t ubRes38;
  uint8_t ubInitMark;          // 39
  uint8_t ubIdleRefRequest;    // 40
  uint8_t aubRes41[2];
  uint8_t ubScreenOnFrames;    // 43
  uint8_t ubIdleEntryMark;     // 44
};
static_assert(sizeof(IdleProcRec) == 45);
static_assert(offsetof(IdleProcRec, uwDrvRelated) == 2);
static_assert(offsetof(IdleProcRec, puwCrossRaw) == 6);
static_assert(offsetof(IdleProcRec, puwCrossRef) == 14);
static_assert(offsetof(IdleProcRec, pubWork) == 22);
static_assert(offsetof(IdleProcRec, puwCrossBak) == 30);
static_assert(offsetof(IdleProcRec, ubInitMark) == 39);
static_assert(offsetof(IdleProcRec, ubIdleRefRequest) == 40);
static_assert(offsetof(IdleProcRec, ubScreenOnFrames) == 43);
static_assert(offsetof(IdleProcRec, ubIdleEntryMark) == 44);

// One transition: from state, event, to state, action.
struct StateTransfer {
  uint32_t uiFrom;
  uint32_t uiEvent;
  uint32_t uiTo;
  uint32_t uiZero;
  void (*pfnAction)();
};
static_assert(sizeof(StateTransfer) == 24);
static_assert(offsetof(StateTransfer, pfnAction) == 16);

// Cross-register record: the self diff it watches and the idle batch bytes.
struct CrossRegRec {
  int16_t* pswSelfDiff;        // 0
  uint8_t ubSenNum;            // 8
  uint16_t uwDrvRelated;       // 9
  uint8_t ubRes11;
  uint8_t ubBatchActive;       // 12
  uint8_t ubIdleJudge;         // 13
  uint8_t aubRes14[2];
};
static_assert(sizeof(CrossRegRec) == 16);
#pragma pack(pop)

// One sample mode: its synchronous procedures.
struct SampleDataPrep {
  uint32_t uiProcNum;
  void (*const* ppProcList)();
};
static_assert(sizeof(SampleDataPrep) == 16);

// The state table's columns after period and sleep mode (row r of gpstStateTable).
uint32_t StateTableSampleMode(uint32_t uiRow);
uint32_t StateTableApp(uint32_t uiRow);
uint32_t StateTableAltApp(uint32_t uiRow);
// Writes those columns into gpstStateTable (done once when the module is loaded).
void StateTableFill();

extern IdleProcRec gstIdleProc;
extern CrossRegRec gstCrossReg;
extern const StateTransfer gpstStateTransferTable[kStateTransferRows];
extern const SampleDataPrep gpstSampleDataPrep[kSampleModeRows];
extern uint8_t gubIdleDelayFlag;
extern uint8_t gubLowDelayFlag;
extern uint8_t gubCmdExeLock;
extern uint8_t gboPrdSleepContinue;
extern uint8_t gubSyncCurFrameInvalid;
extern uint8_t gboCrsbCtlBatchEn;
extern uint8_t gubAbnoramlCrossRef;
extern uint8_t gubCrossRefUpdateFlag;

// Time in microseconds (the host layer's wall clock; 0 when it fails). Tests bind their own clock.
using TsaClockFn = uint64_t (*)();
uint64_t TsaNowUs();
void TsaBindClock(TsaClockFn pfnClock);

void StateFunctionInit();
void StatePeriodInit();
void SetStatePeriod();
void ActiveToIdleAction();
void IdleToActiveAction();
void IdleToUpdateRef();
void SwitchToFreqScan();
void ExitFreqScan();
void SwitchToJitterScan();
void ExitJitterScan();
void SetEventToIdle();
void ClrIdleDelay();
void AppSyncInitial();
void SyncProcess();
void SyncCurFrameInvalidProc();
void SetActiveState();
void DeterminDozeOrGreenThp();
void IdleProcInitThp();
void InitIdleVariable();
// The software initialisation's reset of the cross-reference and idle records: their flags,
// requests and counters start again; the idle record's buffer pointers stay as wired.
void StateRecordsReset();
void DeterminUpdateMutualRef();
uint8_t IsMutualDiffSmall();
uint8_t FPCheck();
void IdleDelayCheck(uint32_t uiState, uint16_t uwFrameIndex);
VENDOR_EXPORT void IdlePreJudge();
