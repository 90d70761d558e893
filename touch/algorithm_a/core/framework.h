#pragma once

#include "vendor_export.h"
// The framework of algorithm A: apps as fixed stage lists (gpstAppTable), the stage
// runner AppExecute, the framework start-up ThpAppInit with the software initialisation,
// the frame lock ubTpLock and the per-state period and sleep-mode copies.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "tsa_config.h"

using AppStage = void (*)();

enum AppId : uint8_t {
  kAppNull = 0,
  kAppFinger = 1,
  kAppFingerGes = 2,
  kAppIdleAbnormalTouch = 3,
  kAppHighRate = 4,
  kAppPccScan = 5,
  kAppJitterTest = 6,
  kAppIdle = 7,
  kAppSampleStart = 8,
  kAppSwitch = 9,
  kAppFreqScan = 10,
  kAppTableEntries = 12,
};

inline constexpr uint8_t kAppFlagStop = 0x01;

#pragma pack(push, 1)
// The app execution record.
struct AppExec {
  uint8_t ubFlags;          // bit 0: stop after the current stage
  uint8_t ubApp;            // current app id, index into gpstAppTable
  uint16_t uwStageIndex;    // slot being run; a stage may overwrite it to jump
  uint16_t uwStageCount;    // slots of the current list
  uint32_t uiWord;
  const AppStage* ppList;   // the current app's stage list
};
static_assert(sizeof(AppExec) == 18);
static_assert(offsetof(AppExec, uwStageIndex) == 2);
static_assert(offsetof(AppExec, uwStageCount) == 4);
static_assert(offsetof(AppExec, uiWord) == 6);
static_assert(offsetof(AppExec, ppList) == 10);

// One state of the controller state table: this framework reads the period and the sleep
// mode; the state machine owns the remaining columns.
struct StateTableEntry {
  uint16_t uwPeriod;
  uint8_t ubSleepMode;
  uint8_t aubStateMachine[13];
};
static_assert(sizeof(StateTableEntry) == 16);

// The fields of the state machine record the framework resets.
struct StateMachineRec {
  uint32_t uiState;         // 0
  uint32_t uiPrevState;     // 4: written by the raw-frame entry only
  uint64_t ullRequest;      // 8: request flags
  uint8_t ubByte16;         // 16
};
static_assert(offsetof(StateMachineRec, uiPrevState) == 4);
static_assert(offsetof(StateMachineRec, ullRequest) == 8);
static_assert(offsetof(StateMachineRec, ubByte16) == 16);

// Running time control: 19 bytes of state, then a copy of the time configuration.
struct TimeCtrlEx {
  uint8_t aubHead[12];
  uint16_t uwExWord;        // 12
  uint8_t aubHead14[5];
  TimeCtrlCfg stCfg;        // 19
};
static_assert(sizeof(TimeCtrlEx) == 51);
static_assert(offsetof(TimeCtrlEx, uwExWord) == 12);
static_assert(offsetof(TimeCtrlEx, stCfg) == 19);
#pragma pack(pop)

struct AppTableEntry {
  uint16_t uwSlotCount;
  const AppStage* ppList;
};

inline constexpr uint32_t kStateNum = 14;
inline constexpr uint16_t kFingerListSlots = 52;
inline constexpr uint16_t kFingerGesListSlots = 43;
inline constexpr uint16_t kHighRateListSlots = 36;

extern AppExec gstApp;
extern const AppTableEntry gpstAppTable[kAppTableEntries];
extern const AppStage gppAPP_NULLList[1];
extern const AppStage gppAPP_FINGERList[kFingerListSlots];
extern const AppStage gppAPP_FINGER_GESList[kFingerGesListSlots];
extern const AppStage gppAPP_IDLE_ABNORMAL_TOUCHList[1];
extern const AppStage gppAPP_HIGH_RATEList[kHighRateListSlots];
extern const AppStage gppAPP_PCC_SCANList[1];
extern const AppStage gppAPP_JITTER_TESTList[1];
extern const AppStage gppAPP_IDLEList[3];
extern const AppStage gppAPP_SAMPLE_STARTList[1];
extern const AppStage gppAPP_SWITCHList[1];
extern const AppStage gppAPP_FREQ_SCANList[3];

extern std::atomic<uint8_t> ubTpLock;
extern StateTableEntry gpstStateTable[kStateNum];
extern StateMachineRec gstStateMachine;
extern TimeCtrlEx gstTimeCtrlEx;
extern uint16_t gpuwPeriod[kStateNum];
extern uint8_t gpubSleepMode[kStateNum];
extern uint16_t guwTempBufferSizes;

// Framework and common variables reset by the software initialisation.
extern uint8_t gubHaveSendRstIdleBaseLine;
// Start of the current no-touch stretch in microseconds (0: none running).
extern uint64_t guiiNoTouchRecordTime;
extern uint64_t gullProcTimeStamp;
extern uint8_t gboCheckDozeFlag;
extern uint8_t gboSuspend;
extern uint8_t gubPowerOnTimes;
extern uint8_t gubDataPrepareOkFlag;
extern uint8_t gubTouchDataPrepareOkFlag;
extern uint8_t gboEnterMutilFreqTest;
extern uint8_t gubSelfCount;
extern uint16_t guwCmdActiveToIdleTime;
extern uint8_t gboThpFirstFrame;
extern uint8_t gubSpiCmdAllow;
extern uint8_t gubThpCmdOffset;
extern uint8_t gubThpCmdCnt;
extern uint8_t gubCmdIdleEn;
extern uint8_t gboDataIsNormalized;
extern uint8_t gubJitterTest;
extern uint8_t gubClearNonAbnormalCnt;
extern uint8_t gubFpOneClickSta;
extern uint32_t guiIsFWakeCheckNcln;
extern uint8_t flag_version;
extern uint8_t gubAgeingFlagNcln;
extern uint8_t gboRlsStudyTmLmtNcln;
extern uint8_t gubIdleAutoWake;
extern uint8_t gubIQbaseReady;

inline constexpr uint32_t kNclnMarker = 0x12345678u;
inline constexpr uint64_t kReqJitterTestFirst = 0x20000000u;
inline constexpr uint64_t kReqAfterReinit = 0x800u;
inline constexpr uint64_t kReqFingerWakeCheck = 2u;
inline constexpr uint16_t kTempBufferBase = 11648;
inline constexpr uint64_t kReqPccBaseReady = 0x1000u;

// Per-stage time record of the stage runner, for measurements. Off by default: with no
// clock bound the runner reads no clock and writes nothing. With one bound, every stage the
// runner calls is timed with it and its time lands at the stage's slot: the time of the
// latest run of the list (slots not run in that run read 0) and the sum over the runs since
// the record was bound or the app's list changed (a new list clears the sums, so they never
// mix two lists' slots). Marker stages and empty slots are not timed.
inline constexpr uint16_t kStageTimeSlots = 64;  // more than the longest list (52)
struct StageTimeRecord {
  const AppStage* ppList;                   // the list the times belong to
  uint16_t uwSlotCount;                     // its slot count
  uint32_t uiRuns;                          // runs of the list summed
  uint64_t aullLastNs[kStageTimeSlots];     // time of each slot in the latest run
  uint64_t aullTotalNs[kStageTimeSlots];    // summed over uiRuns runs
  uint32_t auiCalls[kStageTimeSlots];       // calls summed (a jump back may call a slot twice)
};
// A monotonic clock in nanoseconds.
using StageClock = uint64_t (*)();
// Binds CLOCK and RECORD (both or neither: a null one turns the timing off). The record is
// cleared on binding.
void AppStageTimingBind(StageClock pfnClock, StageTimeRecord* pstRecord);

// Stage runner.
void AppExecute();
// Runs one stage list of uwSlotCount slots with the runner's rules (used by AppExecute).
void AppExecuteList(const AppStage* ppList, uint16_t uwSlotCount);
void AppExecInit();
void AppExecEnd();
void ClearAppExecEnd();
void PowerOnIgnoreFrame();
// Marker stages: never called; the runner queues the sample-start request in their place.
void Test1();
void Test2();
void SampleStart(uint8_t ubParam);

// Where queued controller requests go (the request ring of the debug glue binds itself
// here). Returns 0 when queued, non-zero when the ring was full and the request dropped.
using FrameworkRequestSink = uint8_t (*)(uint32_t uiType, const uint8_t* pubPacket, uint16_t uwLen);
void FrameworkBindRequestSink(FrameworkRequestSink pfnSink);

// Where the start-up information comes from (controller firmware text whose first eight
// characters are the chip type, and the front-end drive and sense counts).
struct FrameworkStartupSource {
  const char* (*pfnGetVersionFw)();
  uint8_t (*pfnGetAfeDrvNum)();
  uint8_t (*pfnGetAfeSenNum)();
};
void FrameworkBindStartupSource(const FrameworkStartupSource* pstSource);

// Framework start-up. Returns 0 when the module is ready; 2 when no configuration has
// ever been applied, 3 when the panel does not fit the arena (nothing is laid out).
uint8_t ThpAppInit(uint8_t ubSkipChipCheck);
// Software initialisation (the module's soft reset). 0 on success, non-zero when the
// panel configuration is refused.
uint8_t SoftwareInit();
VENDOR_EXPORT uint8_t SoftwareReInit1();
VENDOR_EXPORT void SoftwareReInit2();
void CommonVariableInit();
void FrameworkStateMachineInit();
void ThpDataReportInit();
void MemTempBufferSizeInit();
void MemTempBufferSizeSet(uint16_t a, uint16_t b, uint16_t c, uint16_t d);
void MutexLock();
void MutexUnlock();

// State-table actions of the controller state machine.
void CommonStateToFinger();
void SwitchToPccScan();
void ExitPccScan();
void CommonStateToSuspend();
void SelfPCCScanReadyProc();

// Mutual raw-data preparation of a frame that is not yet normalised: edge-line scaling,
// raw scale and normalisation, channel repair, and the data-ready count.
void MutualDataReadyProc();
// The sample procedures of the controller's data-ready events: the mutual preparation above,
// and the self raw-data scaling.
void MutualDataSyncProc();
void SelfDataReadyProc();
// Raw-data preparation of a frame of firmware state KIND: the noise gathering for the finger
// and game-only states (2, 3), then, for the frequency-scan, finger and game-only states
// (1 to 3) while the data is not yet normalised, the mutual preparation.
void FrameworkRawDataPrep(uint8_t ubKind);

// Helpers exported for tools.
void RefUpdate();
uint16_t GetDataAvg(const uint16_t* puwData, uint16_t uwNum);
void ArrayMultiplyBase1024(uint16_t* puwData, uint32_t* puiWork, uint16_t uwFactor, uint16_t uwNum);
