#include "tsa_pack.h"

#include <cstring>

#include "tsa_debug.h"
#include "tsa_replay.h"
#include "tsa_os.h"

FrameReportInfo gstFrameReportInfo;
TsaTouchReportInfo gstTsaTouchReportInfo;
uint8_t gubDebugSelkoAlgoData[REPORT_DEBUG_BLOCK_BYTES];
uint8_t gpubDebugData[REPORT_DEBUG_DATA_BYTES];
extern "C" {
__attribute__((visibility("default"))) uint8_t gubDataRecordStartCnt = 0;
}

namespace {

// Frame-record item types.
constexpr uint32_t kItemCmdBackup = 0x00001388u;       // 5000
constexpr uint32_t kItemGridAndLine = 0x08001B58u;     // 7000
constexpr uint32_t kItemLastDiff = 0x05001B59u;        // 7001
constexpr uint32_t kItemMutualRefBak = 0x01001B5Bu;    // 7003
constexpr uint32_t kItemSelfRef = 0x01001B5Cu;         // 7004
constexpr uint32_t kItemDebugBlock = 0x01001B5Du;      // 7005
constexpr uint32_t kItemCoordShape = 0x01001B5Eu;      // 7006
constexpr uint32_t kItemRefUpdateType = 0x01001B61u;   // 7009
constexpr uint32_t kItemProcTime = 0x03001770u;        // 6000
constexpr uint32_t kItemFrameIndex = 0x01001772u;      // 6002
constexpr uint32_t kItemReportRate = 0x01001773u;      // 6003
constexpr uint32_t kItemReportWord = 0x0A001774u;      // 6004
constexpr uint32_t kItemScaledMutual = 0x01001777u;    // 6007
constexpr uint32_t kItemCurMutualFreq = 0x01001778u;   // 6008
constexpr uint32_t kItemMutualRaw = 0x0100177Au;       // 6010
constexpr uint32_t kItemValue6011 = 0x0100177Bu;
constexpr uint32_t kItemValue6012 = 0x0100177Cu;
constexpr uint32_t kItemValue6013 = 0x0100177Du;
constexpr uint32_t kItemValue6014 = 0x0100177Eu;
constexpr uint32_t kItemSelfRaw = 0x0100177Fu;         // 6015
constexpr uint32_t kItemImData = 0x01001782u;          // 6018
constexpr uint32_t kItemMutualHead = 0x01001789u;      // 6025
constexpr uint32_t kItemSelfHead = 0x0100178Au;        // 6026
constexpr uint32_t kItemFramePeriod = 0x0000178Cu;     // 6028
constexpr uint32_t kItemEnvFlags = 0x0000178Du;        // 6029
constexpr uint32_t kItemFrameState = 0x0800178Fu;      // 6031
constexpr uint32_t kItemEnvBlock = 0x0B001790u;        // 6032
constexpr uint32_t kItemImHead = 0x01001791u;          // 6033
constexpr uint32_t kItemFreqHop44 = 0x01001792u;       // 6034
constexpr uint32_t kItemFreqHop28 = 0x01001793u;       // 6035
constexpr uint32_t kItemFreqIndex = 0x00001794u;       // 6036
constexpr uint32_t kItemTemperature = 0x04001798u;     // 6040
constexpr uint32_t kItemIBuffer = 0x05001799u;         // 6041
constexpr uint32_t kItemQBuffer = 0x0500179Au;         // 6042
constexpr uint32_t kItemFixed6044 = 0x0B00179Cu;       // 6044
constexpr uint32_t kItemFrameHeadBlock = 0x0800179Fu;  // 6047
constexpr uint64_t kValue6044 = 4;
// Touch-report item types.
constexpr uint32_t kItemTouchTime = 0x03002328u;       // 9000
constexpr uint32_t kItemTouchNum = 0x00002329u;        // 9001
constexpr uint32_t kItemPointIndex = 0x00000004u;      // 4
constexpr uint32_t kItemTrackId = 0x0000232Au;         // 9002
constexpr uint32_t kItemPointType = 0x0000232Bu;       // 9003
constexpr uint32_t kItemCoverFp = 0x00002333u;         // 9011
constexpr uint32_t kItemFullHover = 0x00002334u;       // 9012
constexpr uint32_t kItemLargeTouch = 0x00002335u;      // 9013
// Flash-record item type.
constexpr uint32_t kItemFlashImage = 0x08000FA4u;      // 4004

constexpr uint32_t kFreqHopFirstAt = 44;
constexpr uint32_t kFreqHopSecondAt = 28;
constexpr uint32_t kFreqHopCopyBytes = 16;
constexpr uint8_t kDataRecordRequested = 1;
constexpr uint8_t kDataRecordDone = 3;
constexpr uint32_t kScanPeriodNumerator = 500000;

// ---- Writer state shared by the three packers --------------------------------------------
// Each item goes in whole or not at all; a skipped item sets the overflow flag and packing
// goes on, so that the caller can see what fitted. Two packers never run at once (the frame
// pipeline and the tool commands are serialised by the command mutex).
struct ReportPackWriter {
  uint8_t* pubBase;
  uint32_t uiCapacity;
  uint32_t uiOffset;
  uint8_t boOverflow;
};
ReportPackWriter gstReportPackWriter;

void WriterBegin(uint8_t* buffer, uint32_t capacity) {
  gstReportPackWriter = ReportPackWriter{buffer, buffer != nullptr ? capacity : 0, 0, 0};
}

// Room for an item of LENGTH payload bytes, its head written; null (overflow set) if none.
uint8_t* WriterReserve(uint32_t type, uint32_t length) {
  ReportPackWriter& w = gstReportPackWriter;
  const uint64_t end = static_cast<uint64_t>(w.uiOffset) + REPLAY_ITEM_HEAD_BYTES + length;
  if (end > w.uiCapacity) {
    w.boOverflow = 1;
    return nullptr;
  }
  uint8_t* head = w.pubBase + w.uiOffset;
  ReplayPutU32(head, type);
  ReplayPutU32(head + 4, length);
  w.uiOffset = static_cast<uint32_t>(end);
  return head + REPLAY_ITEM_HEAD_BYTES;
}

// A null DATA packs zeros: the record keeps its shape when a source is missing.
void PutItem(uint32_t type, uint32_t length, const void* data) {
  uint8_t* payload = WriterReserve(type, length);
  if (payload == nullptr || length == 0) return;
  if (data != nullptr) {
    std::memcpy(payload, data, length);
  } else {
    std::memset(payload, 0, length);
  }
}

void PutU8(uint32_t type, uint8_t v) { PutItem(type, 1, &v); }
void PutU16(uint32_t type, uint16_t v) {
  uint8_t b[2];
  ReplayPutU16(b, v);
  PutItem(type, 2, b);
}
void PutU32(uint32_t type, uint32_t v) {
  uint8_t b[4];
  ReplayPutU32(b, v);
  PutItem(type, 4, b);
}
void PutU64(uint32_t type, uint64_t v) {
  uint8_t b[8];
  ReplayPutU64(b, v);
  PutItem(type, 8, b);
}
void PutGroup(uint32_t marker, uint16_t tag) { PutU16(marker, tag); }

// Ends a packer: on overflow one message, length 0 and result 3.
uint32_t WriterEnd(uint32_t* length, const char* message) {
  if (gstReportPackWriter.boOverflow) {
    FerxLogPrint("ReportPack", FERX_LOG_ERR, "%s", message);
    *length = 0;
    return REPORT_PACK_NO_ROOM;
  }
  *length = gstReportPackWriter.uiOffset;
  return REPORT_PACK_OK;
}

// ---- Sources, callbacks, registries ------------------------------------------------------
ReportPackSources gstReportPackSources;
TsaReplayDataCallback gpfnReplayDataCallback;
TsaTraceDataCallback gpfnTraceDataCallback;

struct DataRegistryEntry {
  const void* pvData;
  uint32_t uiBytes;
};
enum CapTestKind : uint32_t { kCapMutualRef, kCapMutualDiff, kCapSelfRef, kCapSelfDiff, kCapKinds };
DataRegistryEntry gstCapTestData[kCapKinds];
enum DataGroup : uint32_t {
  kGroupDebugFlex, kGroupMutualDiff, kGroupMutualRef, kGroupB, kGroupK, kGroupRefUpdateType, kGroupSelfDiff,
  kDataGroups
};
DataRegistryEntry gstDataGroup[kDataGroups];

WatchEntry gstWatchList[WATCH_LIST_MAX];
const void* gpvWatchData[WATCH_LIST_MAX];
uint32_t guiWatchNum;

// Trace record: u32 fields, then for node and outline traces up to 400 u64 values.
uint8_t gubTraceRecord[12 + 8 * TRACE_NODES_MAX];

// ---- Frame record --------------------------------------------------------------------------
uint8_t FrameStateFlags(const ReportFrameInputs& in) {
  uint8_t flags = 0;
  if (in.boCharger || in.boGameMode) flags |= 0x80;
  if (in.ubCoordOption) flags |= 0x40;
  if (in.boGameMode) flags |= 0x20;
  if (in.boNormalizeFlag) flags |= 0x10;
  if (in.boWater) flags |= 0x08;
  if (in.ubLowTempState == 2) flags |= 0x04;
  if (in.ubSelfOcHold) flags |= 0x02;
  return flags;
}

uint8_t NoiseFlags(const ReportFrameInputs& in) {
  uint8_t flags = 0;
  if (in.boNfNoiseByte0) flags |= 0x80;
  if (in.boNfNoiseByte21) flags |= 0x40;
  if (in.aboNoiseFlag[1]) flags |= 0x20;
  if (in.aboNoiseFlag[0]) flags |= 0x10;
  if (in.aboNoiseFlag[3]) flags |= 0x08;
  if (in.aboNoiseFlag[2]) flags |= 0x04;
  if (in.ubDurationStateB) flags |= 0x02;
  return flags;
}

uint8_t FrameTemperature(const ReportFrameInputs& in) {
  if ((in.ubTempFlags & 0x04) && in.pubCmdTemperatureValue != nullptr) return in.pubCmdTemperatureValue[0];
  return REPORT_DEFAULT_TEMPERATURE;
}

uint16_t FreqIndex(const ReportFrameInputs& in, uint16_t freq) {
  if (in.pubFreqList == nullptr) return 0;
  const uint32_t count = in.ubFreqNum < REPORT_FREQ_LIST_MAX ? in.ubFreqNum : REPORT_FREQ_LIST_MAX;
  for (uint32_t i = 0; i < count; ++i) {
    if (ReplayGetU16(in.pubFreqList + 2 * i) == freq) return static_cast<uint16_t>(i);
  }
  return 0;
}

void FillFrameReportInfo(const ReportFrameInputs& in) {
  FrameReportInfo& info = gstFrameReportInfo;
  info.uwDataReadyCnt = in.uwDataReadyCnt;
  info.ubFrameStateFlags = FrameStateFlags(in);
  info.ubLcdDenoiseResult = in.ubLcdDenoiseResult;
  info.uwReportRate =
      in.uwScanPeriod == 0 ? 0 : static_cast<uint16_t>(2 * (kScanPeriodNumerator / in.uwScanPeriod));
  info.stEnv.ubNoiseType = in.ubNoiseType;
  info.stEnv.ubNoiseFlags = NoiseFlags(in);
  info.stEnv.uwNoiseTypeMask = in.uwNoiseTypeMask;
  info.stEnv.uwImSmoothLevel = in.uwImSmoothLevel;
  info.stEnv.ubTemperature = FrameTemperature(in);
  info.stEnv.ubSpare = 0;
  info.ubFramePeriodFlag = in.boTick100ms;
  info.uiEnvFlags = (in.boLcdHighNoise ? 1u : 0u) | (in.boPowerOnRefReady == 0 ? 2u : 0u) |
                    (in.ubFreqHopState == 1 ? 4u : 0u);
  info.uwCurMutualFreq = in.uwMutualCfgBak[0];
  info.uwFreqIndex = FreqIndex(in, in.uwMutualCfgBak[0]);
  info.uwScaledMutualWord = static_cast<uint16_t>(static_cast<uint32_t>(in.uwMutualCfgBak[1]) * 62500u / 100000u);
}

void CopyOrZero(uint8_t* dst, const void* src, uint32_t n) {
  if (src != nullptr) {
    std::memcpy(dst, src, n);
  } else {
    std::memset(dst, 0, n);
  }
}

// The frame-head block: header backup, the recorded globals while a record is on, then the
// host temperature command, three zero bytes and the low-temperature power-on byte.
uint32_t BuildFrameHeadBlock(const ReportFrameInputs& in, uint8_t* block) {
  uint32_t n = 0;
  CopyOrZero(block, in.pubFrameHeadInfoBak, REPORT_HEAD_BACKUP_BYTES);
  n += REPORT_HEAD_BACKUP_BYTES;
  if (gubDataRecordStartCnt == kDataRecordDone) {
    CopyOrZero(block + n, in.pubGlobalVarRcrd, REPORT_GLOBAL_VAR_RCRD_BYTES);
    n += REPORT_GLOBAL_VAR_RCRD_BYTES;
  }
  CopyOrZero(block + n, in.pubCmdTemperatureValue, REPORT_CMD_TEMPERATURE_BYTES);
  n += REPORT_CMD_TEMPERATURE_BYTES + 3;
  block[n++] = in.ubLowTempPowerOn;
  return n;
}
static_assert(REPORT_HEAD_BACKUP_BYTES + REPORT_GLOBAL_VAR_RCRD_BYTES + REPORT_FRAME_HEAD_TAIL_BYTES <=
              REPORT_FRAME_HEAD_BLOCK_MAX);

uint32_t Min(uint32_t a, uint32_t b) { return a < b ? a : b; }

void PackCommandBackup(const ReportFrameInputs& in) {
  uint32_t count = 0;
  if (in.pubThpCmdBak != nullptr && in.uiThpCmdBakBytes > REPORT_CMD_BAK_KEEP_FLAG) {
    count = (in.pubThpCmdBak[0] + 1u) & 0xFFu;
    in.pubThpCmdBak[REPORT_CMD_BAK_KEEP_FLAG] = 0;
    // The count byte comes from the command history; never read past the backup.
    count = Min(count, in.uiThpCmdBakBytes);
  }
  PutGroup(REPLAY_GROUP_OPEN, REPLAY_TAG_CMD_BACKUP);
  PutItem(kItemCmdBackup, count, in.pubThpCmdBak);
  PutGroup(REPLAY_GROUP_CLOSE, REPLAY_TAG_CMD_BACKUP);
}

void PackDataArrays(const ReportFrameInputs& in, uint32_t nodes, uint32_t lines) {
  PutGroup(REPLAY_GROUP_OPEN, REPLAY_TAG_DATA_ARRAYS);
  if (gubDataRecordStartCnt == kDataRecordDone) {
    const uint32_t gridBytes = Min((nodes * 2 + lines * 4) & 0xFFFFu, REPORT_GRID_LINE_RCRD_BYTES);
    PutItem(kItemGridAndLine, gridBytes, in.pubGridAndLineDataRcrd);
    PutItem(kItemLastDiff, nodes * 2, in.pswLastDiffDataRcrd);
  }
  if (in.uwMutualRefBakValid != 0) {
    PutItem(kItemMutualRefBak, nodes * 2, in.puwMutualRefDataBak);
    PutItem(kItemSelfRef, lines * 2, in.puwSelfRefData);
  }
  PutItem(kItemRefUpdateType, REPORT_REF_UPDATE_TYPE_BYTES, in.pubRefUpdateTypeBak);
  if (in.pfnPackReportDebugInfo != nullptr) in.pfnPackReportDebugInfo(gubDebugSelkoAlgoData);
  CopyOrZero(gubDebugSelkoAlgoData + REPORT_SELKO_DEBUG_AT, in.pubSelkoAlgoDebugInfo, REPORT_SELKO_DEBUG_BYTES);
  PutItem(kItemDebugBlock, REPORT_DEBUG_BLOCK_BYTES, gubDebugSelkoAlgoData);
  PutGroup(REPLAY_GROUP_CLOSE, REPLAY_TAG_DATA_ARRAYS);
}
static_assert(REPORT_SELKO_DEBUG_AT + REPORT_SELKO_DEBUG_BYTES <= REPORT_DEBUG_BLOCK_BYTES);

void PackFrameValues(const ReportFrameInputs& in, const uint8_t* headBlock, uint32_t headBytes, uint32_t nodes,
                     uint32_t lines) {
  const FrameReportInfo& info = gstFrameReportInfo;
  const uint8_t* head = info.aubFrameHead;
  PutGroup(REPLAY_GROUP_OPEN, REPLAY_TAG_FRAME_VALUES);
  PutU64(kItemProcTime, in.ullProcTimeStampBak);
  PutItem(kItemFrameHeadBlock, headBytes, headBlock);
  PutU8(kItemFrameState, info.ubFrameStateFlags);
  PutItem(kItemEnvBlock, sizeof(FrameEnvBlock), &info.stEnv);
  PutU8(kItemFramePeriod, info.ubFramePeriodFlag);
  PutU32(kItemEnvFlags, info.uiEnvFlags);
  PutU16(kItemFrameIndex, ReplayGetU16(head + 4));
  PutU16(kItemReportRate, info.uwReportRate);
  PutU32(kItemReportWord, info.uiReportWord);
  PutU64(kItemFixed6044, kValue6044);
  PutItem(kItemSelfRaw, lines * 2, in.puwSelfRawData);
  PutU16(kItemValue6013, info.uwValue6013);
  PutU16(kItemValue6014, info.uwValue6014);
  PutU16(kItemValue6011, info.uwValue6011);
  PutU16(kItemValue6012, info.uwValue6012);
  PutItem(kItemSelfHead, REPORT_SECTION_HEAD_BYTES, in.pubSelfSectionHead);
  PutU16(kItemCurMutualFreq, info.uwCurMutualFreq);
  PutU8(kItemFreqIndex, static_cast<uint8_t>(info.uwFreqIndex));
  PutU16(kItemScaledMutual, info.uwScaledMutualWord);
  PutItem(kItemMutualHead, REPORT_SECTION_HEAD_BYTES, in.pubMutualSectionHead);
  PutItem(kItemMutualRaw, nodes * 2, in.puwRawData);
  PutItem(kItemFreqHop44, kFreqHopCopyBytes, in.pubFreqHop != nullptr ? in.pubFreqHop + kFreqHopFirstAt : nullptr);
  PutItem(kItemFreqHop28, kFreqHopCopyBytes, in.pubFreqHop != nullptr ? in.pubFreqHop + kFreqHopSecondAt : nullptr);
  const uint32_t maxLines = in.ubDrvNum > in.ubSenNum ? in.ubDrvNum : in.ubSenNum;
  const uint32_t imBytes = Min((in.ubFreqNum * maxLines * 2) & 0xFFFEu, in.puwImData != nullptr ? in.uiImDataBytes : 0);
  PutItem(kItemImData, imBytes, in.puwImData);
  PutItem(kItemImHead, REPORT_SECTION_HEAD_BYTES, in.pubImSectionHead);
  if (head[2] & REPORT_SECTION_IQ_BIT) {
    PutItem(kItemIBuffer, nodes * 2, in.pswIBuffer);
    PutItem(kItemQBuffer, nodes * 2, in.pswQBuffer);
  }
  PutU8(kItemTemperature, info.stEnv.ubTemperature);
  PutGroup(REPLAY_GROUP_CLOSE, REPLAY_TAG_FRAME_VALUES);
}
static_assert(kFreqHopFirstAt + kFreqHopCopyBytes <= REPORT_FREQ_HOP_BYTES);

// ---- Touch report --------------------------------------------------------------------------
void BuildDebugData(const ReportInfoInputs& in) {
  CopyOrZero(gpubDebugData, in.pubTamrelDebugState, REPORT_DEBUG_STATE_BYTES);
  uint16_t sum = 0;
  for (uint32_t i = 0; i < REPORT_DEBUG_STATE_BYTES; ++i) sum = static_cast<uint16_t>(sum + gpubDebugData[i]);
  gpubDebugData[20] = static_cast<uint8_t>(sum >> 8);
  gpubDebugData[21] = static_cast<uint8_t>(sum);
}

TsaTouchPointSlot* Slot(uint8_t slot) {
  return slot < REPORT_POINTS ? &gstTsaTouchReportInfo.astPoint[slot] : nullptr;
}

// Fills the trace record with the u32 WORDS (and COUNT u64 VALUES) and hands it over.
void EmitTrace(uint32_t kind, const uint32_t* words, uint32_t wordCount, const uint64_t* values, uint32_t count) {
  uint32_t n = 0;
  for (uint32_t i = 0; i < wordCount; ++i, n += 4) ReplayPutU32(gubTraceRecord + n, words[i]);
  for (uint32_t i = 0; i < count; ++i, n += 8) ReplayPutU64(gubTraceRecord + n, values[i]);
  gpfnTraceDataCallback(kind, gubTraceRecord, n);
}

void TraceValues(uint32_t kind, uint32_t a, uint32_t b, const uint64_t* values, uint32_t count) {
  if (gpfnTraceDataCallback == nullptr || count > TRACE_NODES_MAX) return;
  if (values == nullptr && count != 0) return;
  const uint32_t words[] = {b, a, count};
  EmitTrace(kind, words, 3, values, count);
}

}  // namespace

extern "C" {

void SetReportPackSources(const ReportPackSources* sources) {
  gstReportPackSources = sources != nullptr ? *sources : ReportPackSources{};
}

FrameReportInfo* GetFrameReportInfo(void) { return &gstFrameReportInfo; }

uint32_t ReportFramePrePackFrom(const ReportFrameInputs* inputs, uint8_t* buffer, uint32_t* length) {
  if (inputs == nullptr || length == nullptr) return REPORT_PACK_NO_ROOM;
  const ReportFrameInputs& in = *inputs;
  const uint32_t nodes = static_cast<uint32_t>(in.ubDrvNum) * in.ubSenNum;
  const uint32_t lines = static_cast<uint32_t>(in.ubDrvNum) + in.ubSenNum;
  if (nodes > REPORT_MAX_NODES) {
    FerxLogPrint("ReportFramePrePack", FERX_LOG_ERR, "panel %ux%u exceeds %u nodes, frame not packed", in.ubDrvNum,
              in.ubSenNum, REPORT_MAX_NODES);
    *length = 0;
    return REPORT_PACK_NO_ROOM;
  }
  uint8_t headBlock[REPORT_FRAME_HEAD_BLOCK_MAX] = {};
  std::memset(gubDebugSelkoAlgoData, 0, sizeof(gubDebugSelkoAlgoData));
  FillFrameReportInfo(in);
  const uint32_t headBytes = BuildFrameHeadBlock(in, headBlock);

  WriterBegin(buffer, *length);
  PutGroup(REPLAY_GROUP_OPEN, REPLAY_TAG_FRAME);
  PackCommandBackup(in);
  PackDataArrays(in, nodes, lines);
  PackFrameValues(in, headBlock, headBytes, nodes, lines);
  PutGroup(REPLAY_GROUP_CLOSE, REPLAY_TAG_FRAME);
  return WriterEnd(length, "Pack rep frame error, out of memory");
}

uint32_t ReportFramePrePack(uint8_t* buffer, uint32_t* length) {
  if (gstReportPackSources.pfnFrameInputs == nullptr) {
    FerxLogPrint("ReportFramePrePack", FERX_LOG_ERR, "no frame sources registered");
    if (length != nullptr) *length = 0;
    return REPORT_PACK_NO_ROOM;
  }
  ReportFrameInputs inputs{};
  gstReportPackSources.pfnFrameInputs(&inputs);
  return ReportFramePrePackFrom(&inputs, buffer, length);
}

uint32_t PackReportFrame(uint8_t* buffer, uint32_t* length) {
  if (ReportFramePrePack(buffer, length) != REPORT_PACK_OK) return REPORT_PACK_NO_ROOM;
  PrintReplayData(buffer, *length);
  return REPORT_PACK_OK;
}

uint32_t GetReportInfoFrom(const ReportInfoInputs* inputs, uint8_t* buffer, uint32_t* length) {
  if (inputs == nullptr || length == nullptr) return REPORT_PACK_NO_ROOM;
  const ReportInfoInputs& in = *inputs;
  const TsaTouchReportInfo& report = gstTsaTouchReportInfo;
  // The report holds 12 point slots: a larger count is packed as 12.
  const uint8_t count = report.ubTouchNum < REPORT_POINTS ? report.ubTouchNum : REPORT_POINTS;
  BuildDebugData(in);

  WriterBegin(buffer, *length);
  PutGroup(REPLAY_GROUP_OPEN, REPLAY_TAG_TOUCH_REPORT);
  PutU64(kItemTouchTime, report.ullTimeStamp);
  PutU8(kItemTouchNum, count);
  for (uint8_t i = 0; i < count; ++i) {
    const TsaTouchPointSlot& p = report.astPoint[i];
    PutU8(kItemPointIndex, i);
    PutU8(kItemTrackId, p.ubTrackId);
    PutU8(kItemPointType, p.ubType);
    const uint16_t values[] = {p.uwXPos,       p.uwYPos,       p.uwPressure,   p.uwDistance,
                               p.uwTouchMajor, p.uwTouchMinor, p.uwOrientation};
    // Items 9004..9010 follow one another.
    for (uint32_t k = 0; k < sizeof(values) / sizeof(values[0]); ++k) PutU16(0x0100232Cu + k, values[k]);
    PutItem(kItemCoordShape, REPORT_COORD_SHAPE_BYTES,
            in.pubTamrelCoord != nullptr ? in.pubTamrelCoord + REPORT_COORD_SHAPE_AT + REPORT_COORD_SHAPE_BYTES * i
                                         : nullptr);
  }
  PutU8(kItemCoverFp, report.ubCoverFpState);
  PutU8(kItemFullHover, report.ubFullHoverState);
  PutU8(kItemLargeTouch, report.ubLargeState);
  PutU8(kItemFullHover, report.ubFullHoverState);
  PutItem(kItemDebugBlock, REPORT_DEBUG_DATA_BYTES, gpubDebugData);
  PutGroup(REPLAY_GROUP_CLOSE, REPLAY_TAG_TOUCH_REPORT);
  const uint32_t result = WriterEnd(length, "GetReportInfo error, out of memory");
  if (result != REPORT_PACK_OK) return result;
  if (*length != 0) PrintReplayData(buffer, *length);
  if ((in.ubThpAfeMoudleCfg & 0x10) && in.boCoordSameAsLast && count != 0 && in.ubCmdIdleEn) {
    return REPORT_PACK_HOLD;
  }
  return REPORT_PACK_OK;
}

uint32_t GetReportInfo(uint8_t* buffer, uint32_t* length) {
  ReportInfoInputs inputs{};
  if (gstReportPackSources.pfnReportInputs != nullptr) gstReportPackSources.pfnReportInputs(&inputs);
  return GetReportInfoFrom(&inputs, buffer, length);
}

uint32_t PackReportInitialData(uint8_t* buffer, uint32_t* length) {
  if (length == nullptr) return REPORT_PACK_NO_ROOM;
  WriterBegin(buffer, *length);
  PutGroup(REPLAY_GROUP_OPEN, REPLAY_TAG_FLASH);
  // The flash image is filled straight into the output: no 104 KiB copy on the stack.
  if (uint8_t* image = WriterReserve(kItemFlashImage, REPORT_FLASH_IMAGE_BYTES)) {
    std::memset(image, 0, REPORT_FLASH_IMAGE_BYTES);
    if (gstReportPackSources.pfnPackReportFlashData != nullptr) gstReportPackSources.pfnPackReportFlashData(image);
  }
  PutGroup(REPLAY_GROUP_CLOSE, REPLAY_TAG_FLASH);
  return WriterEnd(length, "Pack Initial Data error, out of memory");
}

void SetTouchTimeStamp(uint64_t timeStamp) { gstTsaTouchReportInfo.ullTimeStamp = timeStamp; }
void SetTouchNum(uint8_t count) { gstTsaTouchReportInfo.ubTouchNum = count; }
void SetTouchCoverFpState(uint8_t state) { gstTsaTouchReportInfo.ubCoverFpState = state; }
void SetTouchFullHoverState(uint8_t state) { gstTsaTouchReportInfo.ubFullHoverState = state; }
void SetTouchLargeState(uint8_t state) { gstTsaTouchReportInfo.ubLargeState = state; }
void SetTouchErrorFlag(uint8_t flag) { gstTsaTouchReportInfo.ubErrorFlag = flag; }

#define SET_SLOT_FIELD(name, type, field) \
  void name(uint8_t slot, type value) {   \
    if (TsaTouchPointSlot* p = Slot(slot)) p->field = value; \
  }
SET_SLOT_FIELD(SetTouchTrackId, uint8_t, ubTrackId)
SET_SLOT_FIELD(SetTouchType, uint8_t, ubType)
SET_SLOT_FIELD(SetTouchXPos, uint16_t, uwXPos)
SET_SLOT_FIELD(SetTouchYPos, uint16_t, uwYPos)
SET_SLOT_FIELD(SetTouchPressure, uint16_t, uwPressure)
SET_SLOT_FIELD(SetTouchDistance, uint16_t, uwDistance)
SET_SLOT_FIELD(SetTouchMajor, uint16_t, uwTouchMajor)
SET_SLOT_FIELD(SetTouchMinor, uint16_t, uwTouchMinor)
SET_SLOT_FIELD(SetTouchOrientaion, uint16_t, uwOrientation)

uint16_t GetTouchXPos(uint8_t slot) {
  const TsaTouchPointSlot* p = Slot(slot);
  return p != nullptr ? p->uwXPos : 0xFFFF;
}
uint16_t GetTouchYPos(uint8_t slot) {
  const TsaTouchPointSlot* p = Slot(slot);
  return p != nullptr ? p->uwYPos : 0xFFFF;
}

// The request queue is the debug glue's ring; every access goes through its locked
// functions, since the frame thread and the host's command thread both queue requests.
static_assert(REPORT_REQUEST_BYTES == TSA_REQUEST_BYTES && REPORT_REQUEST_MAX == TSA_REQUEST_MAX);

int32_t SetRequest(const void* entry) { return TsaRequestPush(static_cast<const uint8_t*>(entry)); }

uint32_t GetRequest(void* out) {
  if (out == nullptr) return 2;
  return TsaRequestTakeAll(static_cast<uint8_t*>(out)) == 0 ? 2 : 0;
}

uint32_t GetRequestItem(void* out) {
  if (out == nullptr) return 2;
  return TsaRequestTakeNewest(static_cast<uint8_t*>(out)) == 0 ? 0 : 2;
}

uint8_t GetRequestNum(void) { return TsaRequestCount(); }

void SetCapTestMutualRefData(const void* data, uint32_t bytes) { gstCapTestData[kCapMutualRef] = {data, bytes}; }
void SetCapTestMutualDiffData(const void* data, uint32_t bytes) { gstCapTestData[kCapMutualDiff] = {data, bytes}; }
void SetCapTestSelfRefData(const void* data, uint32_t bytes) { gstCapTestData[kCapSelfRef] = {data, bytes}; }
void SetCapTestSelfDiffData(const void* data, uint32_t bytes) { gstCapTestData[kCapSelfDiff] = {data, bytes}; }

uint32_t GetCapTestData(uint32_t kind, uint8_t* out, uint32_t* capacity) {
  if (kind >= kCapKinds || out == nullptr || capacity == nullptr) return 1;
  const DataRegistryEntry& entry = gstCapTestData[kind];
  if (*capacity < entry.uiBytes) return 3;
  if (entry.uiBytes == 0) return 2;
  if (kind == kCapMutualDiff || kind == kCapSelfDiff) {
    CopyOrZero(out, entry.pvData, entry.uiBytes);
    return 0;
  }
  // Reference kinds give reference − diff per value, computed straight into the caller's
  // buffer (it holds the size), so no scratch limits the panel; a diff array registered
  // shorter than the reference counts as 0 beyond its end.
  const DataRegistryEntry& diff = gstCapTestData[kind + 1];
  const uint8_t* ref = static_cast<const uint8_t*>(entry.pvData);
  const uint8_t* dif = static_cast<const uint8_t*>(diff.pvData);
  const uint32_t values = entry.uiBytes / 2;
  const uint32_t diffValues = dif != nullptr ? diff.uiBytes / 2 : 0;
  for (uint32_t i = 0; i < values; ++i) {
    const uint16_t r = ref != nullptr ? ReplayGetU16(ref + 2 * i) : 0;
    const uint16_t d = i < diffValues ? ReplayGetU16(dif + 2 * i) : 0;
    ReplayPutU16(out + 2 * i, static_cast<uint16_t>(r - d));
  }
  if (entry.uiBytes & 1) out[entry.uiBytes - 1] = 0;
  return 0;
}

void SetDataGroupDebugFlexData(const void* data, uint32_t bytes) { gstDataGroup[kGroupDebugFlex] = {data, bytes}; }
void SetDataGroupMutualDiff(const void* data, uint32_t bytes) { gstDataGroup[kGroupMutualDiff] = {data, bytes}; }
void SetDataGroupMutualRef(const void* data, uint32_t bytes) { gstDataGroup[kGroupMutualRef] = {data, bytes}; }
void SetBGroupData(const void* data, uint32_t bytes) { gstDataGroup[kGroupB] = {data, bytes}; }
void SetKGroupData(const void* data, uint32_t bytes) { gstDataGroup[kGroupK] = {data, bytes}; }
void SetRefUpdateType(const void* data, uint32_t bytes) { gstDataGroup[kGroupRefUpdateType] = {data, bytes}; }
void SetDataGroupSelfDiff(const void* data, uint32_t bytes) { gstDataGroup[kGroupSelfDiff] = {data, bytes}; }

VENDOR_EXPORT void ClearWatch(void) {
  guiWatchNum = 0;
  std::memset(gstWatchList, 0, sizeof(gstWatchList));
  std::memset(gpvWatchData, 0, sizeof(gpvWatchData));
}

VENDOR_EXPORT int32_t AddWatchData(const void* data, uint32_t group, const char* name, uint32_t type, uint32_t size,
                                   uint32_t columns, uint32_t rows, int32_t min, int32_t max, uint32_t nominal,
                                   uint32_t flag) {
  if (guiWatchNum >= WATCH_LIST_MAX) return -1;
  const void* nul = name != nullptr ? std::memchr(name, '\0', WATCH_NAME_BYTES) : nullptr;
  if (nul == nullptr) return -2;
  WatchEntry& entry = gstWatchList[guiWatchNum];
  entry = WatchEntry{};
  entry.uiIndex = guiWatchNum;
  entry.uiGroup = group;
  std::memcpy(entry.acName, name, static_cast<const char*>(nul) - name + 1);
  entry.uiType = type;
  entry.uiSize = size;
  entry.uiColumns = columns;
  entry.uiRows = rows;
  entry.siDisplayMin = min;
  entry.siDisplayMax = max;
  entry.uiNominal = nominal;
  entry.uiNominalFlag = flag;
  gpvWatchData[guiWatchNum] = data;
  ++guiWatchNum;
  return 0;
}

VENDOR_EXPORT uint32_t GetWatchDataNum(void) { return guiWatchNum; }

VENDOR_EXPORT uint32_t GetWatchDataList(WatchEntry* out) {
  if (guiWatchNum == 0) return 2;
  if (out == nullptr) return 1;
  std::memcpy(static_cast<void*>(out), gstWatchList, guiWatchNum * sizeof(WatchEntry));
  return 0;
}

VENDOR_EXPORT uint32_t GetWatchData(uint32_t index, uint8_t* out, uint32_t size) {
  if (index >= guiWatchNum) return 2;
  if (size == 0) return 0;
  if (out == nullptr) return 1;
  const uint32_t n = Min(size, gstWatchList[index].uiSize);
  CopyOrZero(out, gpvWatchData[index], n);
  std::memset(out + n, 0, size - n);
  return 0;
}

VENDOR_EXPORT void InitWatchData(void) {
  ClearWatch();
  const uint32_t d = gstAfeCaps.uwDrvNum & 0xFFu;
  const uint32_t s = gstAfeCaps.uwSenNum;
  if (d * s > REPORT_MAX_NODES) {
    FerxLogPrint("InitWatchData", FERX_LOG_ERR, "panel %ux%u exceeds %u nodes, no watch entries", d, s,
              REPORT_MAX_NODES);
    return;
  }
  WatchDataPointers p{};
  if (gstReportPackSources.pfnWatchPointers != nullptr) gstReportPackSources.pfnWatchPointers(&p);
  const uint32_t map = d * s * 2;
  const uint32_t line = (d + s) * 2;
  AddWatchData(p.pvDiffDataBake, 10, "gswDiffDataBake", WATCH_TYPE_S16, map, s, d, -200, 500, 0, 0);
  AddWatchData(p.pvRawData, 10, "gstCommon.stData.puwRawData", WATCH_TYPE_U16, map, s, d, 9500, 10500, 10000, 1);
  AddWatchData(p.pvRefData, 10, "gstCommon.stData.puwRefData", WATCH_TYPE_U16, map, s, d, 9500, 10500, 10000, 1);
  AddWatchData(p.pvSelfDiffData, 11, "gstCommon.stData.pswSelfDiffData", WATCH_TYPE_S16, line, 1, d + s, -200, 300,
               0, 0);
  AddWatchData(p.pvSelfRawData, 11, "gstCommon.stData.puwSelfRawData", WATCH_TYPE_U16, line, 1, d + s, 2000, 8000,
               5000, 1);
  AddWatchData(p.pvSelfRefData, 11, "gstCommon.stData.puwSelfRefData", WATCH_TYPE_U16, line, 1, d + s, 2000, 8000,
               5000, 1);
}

VENDOR_EXPORT uint32_t SetReplayDataCallbackFunc(TsaReplayDataCallback callback) {
  gpfnReplayDataCallback = callback;
  return 0;
}

TsaReplayDataCallback GetReplayDataCallbackFunc(void) { return gpfnReplayDataCallback; }

VENDOR_EXPORT uint32_t SetTraceDataCallback(TsaTraceDataCallback callback) {
  gpfnTraceDataCallback = callback;
  return 0;
}

void PrintReplayData(uint8_t* buffer, uint32_t length) {
  if (gpfnReplayDataCallback != nullptr) gpfnReplayDataCallback(buffer, length);
}

void TraceRectangle(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t e, uint32_t f) {
  if (gpfnTraceDataCallback == nullptr) return;
  const uint32_t words[] = {b, a, c, d, e, f};
  EmitTrace(TRACE_KIND_RECTANGLE, words, 6, nullptr, 0);
}

void TraceNodes(uint32_t a, uint32_t b, const uint64_t* nodes, uint32_t count) {
  TraceValues(TRACE_KIND_NODES, a, b, nodes, count);
}

void TraceEllipse(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t e, uint32_t f, uint32_t g) {
  if (gpfnTraceDataCallback == nullptr) return;
  const uint32_t words[] = {b, a, c, d, e, f, g};
  EmitTrace(TRACE_KIND_ELLIPSE, words, 7, nullptr, 0);
}

void TraceOutline(uint32_t a, uint32_t b, const uint64_t* points, uint32_t count) {
  TraceValues(TRACE_KIND_OUTLINE, a, b, points, count);
}

void SetDataRecordState(void) {
  if (gstReportPackSources.pfnFrameInputs == nullptr) return;
  ReportFrameInputs inputs{};
  gstReportPackSources.pfnFrameInputs(&inputs);
  if (inputs.boPowerOnRefReady) gubDataRecordStartCnt = kDataRecordRequested;
}

void ReportPackResetForTest(void) {
  gstReportPackSources = ReportPackSources{};
  gpfnReplayDataCallback = nullptr;
  gpfnTraceDataCallback = nullptr;
  std::memset(gstCapTestData, 0, sizeof(gstCapTestData));
  std::memset(gstDataGroup, 0, sizeof(gstDataGroup));
  std::memset(&gstFrameReportInfo, 0, sizeof(gstFrameReportInfo));
  std::memset(&gstTsaTouchReportInfo, 0, sizeof(gstTsaTouchReportInfo));
  gubDataRecordStartCnt = 0;
  ClearWatch();
}

}  // extern "C"
