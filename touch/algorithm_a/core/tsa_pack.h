#pragma once
// Report frame packing: the per-frame data record (group 5), the per-frame touch report
// (group 10) and the initial flash record (group 4), all as replay items, plus the small
// tables read beside them: touch report setters, capacitance-test and data-group
// registries, the watch list of named arrays, the replay and trace callbacks and the
// data-record state.
//
// The packers read records that other modules own. They do not reach into them: the module
// start-up registers ReportPackSources once, whose functions fill the narrow input records
// below from the common frame record and the other module records at packing time.
#include <cstddef>
#include <cstdint>

#include "vendor_export.h"

#define REPORT_MAX_NODES 2912u
#define REPORT_POINTS 12u
#define REPORT_FRAME_HEAD_BYTES 14u
#define REPORT_FRAME_HEAD_BLOCK_MAX 2048u
#define REPORT_HEAD_BACKUP_BYTES 226u
#define REPORT_GLOBAL_VAR_RCRD_BYTES 1146u
#define REPORT_CMD_TEMPERATURE_BYTES 6u
#define REPORT_FRAME_HEAD_TAIL_BYTES 10u
#define REPORT_CMD_BAK_BYTES 204u
#define REPORT_CMD_BAK_KEEP_FLAG 197u
#define REPORT_GRID_LINE_RCRD_BYTES 6256u
#define REPORT_REF_UPDATE_TYPE_BYTES 8u
#define REPORT_DEBUG_BLOCK_BYTES 1200u
#define REPORT_SELKO_DEBUG_BYTES 973u
#define REPORT_SELKO_DEBUG_AT 100u
#define REPORT_SECTION_HEAD_BYTES 6u
#define REPORT_FREQ_HOP_BYTES 60u
#define REPORT_FREQ_LIST_MAX 30u
#define REPORT_DEBUG_DATA_BYTES 22u
#define REPORT_DEBUG_STATE_BYTES 20u
#define REPORT_COORD_SHAPE_AT 20u
#define REPORT_COORD_SHAPE_BYTES 6u
#define REPORT_FLASH_IMAGE_BYTES 106504u
#define REPORT_DEFAULT_TEMPERATURE 127u
#define REPORT_SECTION_IQ_BIT 0x10u

// Packer results.
#define REPORT_PACK_OK 0u
#define REPORT_PACK_HOLD 4u          // GetReportInfo: same coordinates while idle
#define REPORT_PACK_NO_ROOM 3u

#define REPORT_REQUEST_BYTES 40u
#define REPORT_REQUEST_MAX 10u

#define WATCH_LIST_MAX 250u
#define WATCH_NAME_BYTES 64u
#define WATCH_TYPE_U16 1u
#define WATCH_TYPE_S16 5u

#define TRACE_KIND_RECTANGLE 1u
#define TRACE_KIND_NODES 2u
#define TRACE_KIND_ELLIPSE 3u
#define TRACE_KIND_OUTLINE 4u
#define TRACE_NODES_MAX 400u

#pragma pack(push, 1)

// Environment block of a frame (item 6032).
struct FrameEnvBlock {
  uint8_t ubNoiseType;
  uint8_t ubNoiseFlags;
  uint16_t uwNoiseTypeMask;
  uint16_t uwImSmoothLevel;
  uint8_t ubTemperature;  // host temperature, or 127 when none was given
  uint8_t ubSpare;
};

// The current frame's header (written by the frame parser) and the report fields.
struct FrameReportInfo {
  uint8_t aubFrameHead[REPORT_FRAME_HEAD_BYTES];
  uint16_t uwDataReadyCnt;
  uint8_t ubFrameStateFlags;
  uint8_t ubLcdDenoiseResult;
  uint16_t uwReportRate;
  uint32_t uiReportWord;
  FrameEnvBlock stEnv;
  uint8_t ubFramePeriodFlag;
  uint32_t uiEnvFlags;
  uint16_t uwScaledMutualWord;
  uint16_t uwCurMutualFreq;
  uint16_t uwFreqIndex;
  uint16_t uwValue6011;
  uint16_t uwValue6012;
  uint16_t uwValue6013;
  uint16_t uwValue6014;
};

struct TsaTouchPointSlot {
  uint8_t ubTrackId;
  uint8_t ubType;
  uint16_t uwXPos;
  uint16_t uwYPos;
  uint16_t uwPressure;
  uint16_t uwDistance;
  uint16_t uwTouchMajor;
  uint16_t uwTouchMinor;
  uint16_t uwOrientation;
};

struct TsaTouchReportInfo {
  uint64_t ullTimeStamp;
  TsaTouchPointSlot astPoint[REPORT_POINTS];
  uint8_t ubTouchNum;
  uint8_t ubCoverFpState;
  uint8_t ubFullHoverState;
  uint8_t ubLargeState;
  uint8_t ubErrorFlag;
};

// One named array a tool can read (the descriptor it is handed).
struct WatchEntry {
  uint32_t uiIndex;
  uint32_t uiGroup;
  char acName[WATCH_NAME_BYTES];
  uint32_t uiType;
  uint32_t uiSize;
  uint32_t uiColumns;
  uint32_t uiRows;
  int32_t siDisplayMin;
  int32_t siDisplayMax;
  uint32_t uiNominal;
  uint32_t uiNominalFlag;
};

#pragma pack(pop)

static_assert(sizeof(FrameEnvBlock) == 8);
static_assert(offsetof(FrameEnvBlock, ubTemperature) == 6);
static_assert(sizeof(FrameReportInfo) == 51);
static_assert(offsetof(FrameReportInfo, uwDataReadyCnt) == 14);
static_assert(offsetof(FrameReportInfo, uwReportRate) == 18);
static_assert(offsetof(FrameReportInfo, uiReportWord) == 20);
static_assert(offsetof(FrameReportInfo, stEnv) == 24);
static_assert(offsetof(FrameReportInfo, ubFramePeriodFlag) == 32);
static_assert(offsetof(FrameReportInfo, uiEnvFlags) == 33);
static_assert(offsetof(FrameReportInfo, uwCurMutualFreq) == 39);
static_assert(offsetof(FrameReportInfo, uwValue6014) == 49);
static_assert(sizeof(TsaTouchPointSlot) == 16);
static_assert(offsetof(TsaTouchPointSlot, uwOrientation) == 14);
static_assert(sizeof(TsaTouchReportInfo) == 205);
static_assert(offsetof(TsaTouchReportInfo, astPoint) == 8);
static_assert(offsetof(TsaTouchReportInfo, ubTouchNum) == 200);
static_assert(offsetof(TsaTouchReportInfo, ubErrorFlag) == 204);
static_assert(sizeof(WatchEntry) == 104);
static_assert(offsetof(WatchEntry, acName) == 8);
static_assert(offsetof(WatchEntry, uiType) == 72);
static_assert(offsetof(WatchEntry, uiSize) == 76);
static_assert(offsetof(WatchEntry, siDisplayMin) == 88);
static_assert(offsetof(WatchEntry, uiNominalFlag) == 100);

// What ReportFramePrePack reads of other modules' records for one frame. Null pointers
// pack zeros in their place. Maps hold D·S values, self vectors D+S values.
struct ReportFrameInputs {
  uint8_t ubDrvNum;  // gstPannelAlignCfg drive count (D)
  uint8_t ubSenNum;  // gstPannelAlignCfg sense count (S)
  // Common frame record.
  uint8_t boCharger;           // byte 0
  uint8_t boGameMode;          // byte 1
  uint8_t ubCoordOption;       // byte 23
  uint8_t boWater;             // byte 8
  uint8_t ubLowTempState;      // byte 22
  uint8_t ubSelfOcHold;        // byte 42
  uint8_t aboNoiseFlag[4];     // first, second, third, fourth noise flag
  uint8_t ubDurationStateB;
  uint8_t ubNoiseType;
  uint16_t uwNoiseTypeMask;
  uint16_t uwImSmoothLevel;
  uint8_t ubTempFlags;         // bit 2: a host temperature was given
  uint16_t uwScanPeriod;
  uint16_t uwDataReadyCnt;
  uint8_t ubLcdDenoiseResult;
  uint8_t boTick100ms;
  uint8_t boPowerOnRefReady;
  // Other module records.
  uint8_t boNormalizeFlag;     // gstNormalize
  uint8_t boNfNoiseByte0;      // gstNfNoiseProc byte 0
  uint8_t boNfNoiseByte21;     // gstNfNoiseProc byte 21
  uint8_t boLcdHighNoise;      // gstLcdHighNoise
  uint8_t ubFreqHopState;      // gstFreqHop state byte
  const uint8_t* pubFreqHop;   // gstFreqHop, REPORT_FREQ_HOP_BYTES
  uint16_t uwMutualCfgBak[2];  // gstMutualCfgBak: current frequency, mutual word
  uint8_t ubFreqNum;           // gstFreqHopCfg frequency count (F)
  const uint8_t* pubFreqList;  // gstFreqHopCfg frequency list, F little-endian u16
  const uint8_t* pubCmdTemperatureValue;  // gpsbCmdTemperatureValueNcln, 6 bytes
  uint8_t ubLowTempPowerOn;    // gubLowTempPowerOn
  uint64_t ullProcTimeStampBak;
  const uint8_t* pubFrameHeadInfoBak;  // REPORT_HEAD_BACKUP_BYTES
  const uint8_t* pubGlobalVarRcrd;     // gstGlobalVarRcrd, REPORT_GLOBAL_VAR_RCRD_BYTES
  uint8_t* pubThpCmdBak;               // command backup (its keep flag is cleared)
  uint32_t uiThpCmdBakBytes;
  const uint8_t* pubGridAndLineDataRcrd;  // REPORT_GRID_LINE_RCRD_BYTES
  const int16_t* pswLastDiffDataRcrd;
  const uint16_t* puwMutualRefDataBak;
  uint16_t uwMutualRefBakValid;           // the word after the 2912 backup values
  const uint16_t* puwSelfRefData;
  const uint8_t* pubRefUpdateTypeBak;     // REPORT_REF_UPDATE_TYPE_BYTES
  void (*pfnPackReportDebugInfo)(uint8_t* debugBlock);  // fills bytes before 100
  const uint8_t* pubSelkoAlgoDebugInfo;   // REPORT_SELKO_DEBUG_BYTES
  const uint16_t* puwSelfRawData;
  const uint16_t* puwRawData;
  const uint8_t* pubMutualSectionHead;    // REPORT_SECTION_HEAD_BYTES each
  const uint8_t* pubSelfSectionHead;
  const uint8_t* pubImSectionHead;
  const uint16_t* puwImData;
  uint32_t uiImDataBytes;
  const int16_t* pswIBuffer;
  const int16_t* pswQBuffer;
};

// What GetReportInfo reads of other modules' records.
struct ReportInfoInputs {
  const uint8_t* pubTamrelDebugState;  // gstTamrelDebugStateInfo, at least 20 bytes
  const uint8_t* pubTamrelCoord;       // gstTamrelCoord: shape records from byte 20
  uint8_t ubThpAfeMoudleCfg;           // gstThpAfeMoudleCfg (bit 4 used)
  uint8_t boCoordSameAsLast;
  uint8_t ubCmdIdleEn;
};

// The arrays of the standard watch entries.
struct WatchDataPointers {
  const void* pvDiffDataBake;
  const void* pvRawData;
  const void* pvRefData;
  const void* pvSelfDiffData;
  const void* pvSelfRawData;
  const void* pvSelfRefData;
};

struct ReportPackSources {
  void (*pfnFrameInputs)(ReportFrameInputs* inputs);
  void (*pfnReportInputs)(ReportInfoInputs* inputs);
  void (*pfnPackReportFlashData)(uint8_t* image);  // REPORT_FLASH_IMAGE_BYTES
  void (*pfnWatchPointers)(WatchDataPointers* pointers);
};

typedef void (*TsaReplayDataCallback)(uint8_t* buffer, uint32_t length);
typedef void (*TsaTraceDataCallback)(uint32_t kind, uint8_t* record, uint32_t size);

extern "C" {

extern FrameReportInfo gstFrameReportInfo;
extern TsaTouchReportInfo gstTsaTouchReportInfo;
extern uint8_t gubDebugSelkoAlgoData[REPORT_DEBUG_BLOCK_BYTES];
extern uint8_t gpubDebugData[REPORT_DEBUG_DATA_BYTES];
// Data-record state: 1 requested, 2 record the next frame (set by a tool), 3 recorded.
VENDOR_EXPORT uint8_t gubDataRecordStartCnt;

void SetReportPackSources(const ReportPackSources* sources);
FrameReportInfo* GetFrameReportInfo(void);

// Packers: *length in = capacity, out = bytes written (0 on failure).
uint32_t ReportFramePrePack(uint8_t* buffer, uint32_t* length);
uint32_t ReportFramePrePackFrom(const ReportFrameInputs* inputs, uint8_t* buffer, uint32_t* length);
uint32_t PackReportFrame(uint8_t* buffer, uint32_t* length);
uint32_t GetReportInfo(uint8_t* buffer, uint32_t* length);
uint32_t GetReportInfoFrom(const ReportInfoInputs* inputs, uint8_t* buffer, uint32_t* length);
uint32_t PackReportInitialData(uint8_t* buffer, uint32_t* length);

// Touch report.
void SetTouchTimeStamp(uint64_t timeStamp);
void SetTouchNum(uint8_t count);
void SetTouchCoverFpState(uint8_t state);
void SetTouchFullHoverState(uint8_t state);
void SetTouchLargeState(uint8_t state);
void SetTouchErrorFlag(uint8_t flag);
void SetTouchTrackId(uint8_t slot, uint8_t value);
void SetTouchType(uint8_t slot, uint8_t value);
void SetTouchXPos(uint8_t slot, uint16_t value);
void SetTouchYPos(uint8_t slot, uint16_t value);
void SetTouchPressure(uint8_t slot, uint16_t value);
void SetTouchDistance(uint8_t slot, uint16_t value);
void SetTouchMajor(uint8_t slot, uint16_t value);
void SetTouchMinor(uint8_t slot, uint16_t value);
void SetTouchOrientaion(uint8_t slot, uint16_t value);
uint16_t GetTouchXPos(uint8_t slot);  // 0xFFFF for a slot past the last
uint16_t GetTouchYPos(uint8_t slot);

// Request queue accessors over the controller request ring of the debug glue (10
// TsaRequest entries of 40 bytes), taken under the ring's lock.
int32_t SetRequest(const void* entry);  // 0, or -1 when 10 are queued (or no ring)
uint32_t GetRequest(void* out);         // all queued entries in order, queue emptied; 2 if empty
uint32_t GetRequestItem(void* out);     // the newest entry, removed; 2 if empty
uint8_t GetRequestNum(void);

// Capacitance-test and data-group registries.
void SetCapTestMutualRefData(const void* data, uint32_t bytes);
void SetCapTestMutualDiffData(const void* data, uint32_t bytes);
void SetCapTestSelfRefData(const void* data, uint32_t bytes);
void SetCapTestSelfDiffData(const void* data, uint32_t bytes);
uint32_t GetCapTestData(uint32_t kind, uint8_t* out, uint32_t* capacity);
void SetDataGroupDebugFlexData(const void* data, uint32_t bytes);
void SetDataGroupMutualDiff(const void* data, uint32_t bytes);
void SetDataGroupMutualRef(const void* data, uint32_t bytes);
void SetBGroupData(const void* data, uint32_t bytes);
void SetKGroupData(const void* data, uint32_t bytes);
void SetRefUpdateType(const void* data, uint32_t bytes);
void SetDataGroupSelfDiff(const void* data, uint32_t bytes);

// Watch list.
VENDOR_EXPORT void ClearWatch(void);
VENDOR_EXPORT int32_t AddWatchData(const void* data, uint32_t group, const char* name, uint32_t type, uint32_t size,
                                   uint32_t columns, uint32_t rows, int32_t min, int32_t max, uint32_t nominal,
                                   uint32_t flag);
VENDOR_EXPORT uint32_t GetWatchDataNum(void);
// OUT holds GetWatchDataNum() entries.
VENDOR_EXPORT uint32_t GetWatchDataList(WatchEntry* out);
// Copies SIZE bytes of entry INDEX's array; bytes past the entry's own size read as 0.
VENDOR_EXPORT uint32_t GetWatchData(uint32_t index, uint8_t* out, uint32_t size);
VENDOR_EXPORT void InitWatchData(void);

// Callbacks and traces.
VENDOR_EXPORT uint32_t SetReplayDataCallbackFunc(TsaReplayDataCallback callback);
TsaReplayDataCallback GetReplayDataCallbackFunc(void);
VENDOR_EXPORT uint32_t SetTraceDataCallback(TsaTraceDataCallback callback);
void PrintReplayData(uint8_t* buffer, uint32_t length);
void TraceRectangle(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t e, uint32_t f);
void TraceNodes(uint32_t a, uint32_t b, const uint64_t* nodes, uint32_t count);
void TraceEllipse(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t e, uint32_t f, uint32_t g);
void TraceOutline(uint32_t a, uint32_t b, const uint64_t* points, uint32_t count);

// Starts a data record (state 1) once the power-on reference is ready.
void SetDataRecordState(void);

// Test control: forget sources, callbacks, registries and the watch list.
void ReportPackResetForTest(void);

}  // extern "C"
