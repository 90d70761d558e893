#pragma once
// Replay and trace records: the item stream {u32 type, u32 length, payload} that carries
// everything the module hands to a recorder and everything a replay feeds back, the group
// markers, the packer and the bounded walker, and the "replay head" (versions, front-end
// capabilities, configuration) with the records it fills.
#include <cstddef>
#include <cstdint>

// ---- Item stream -----------------------------------------------------------------------
// Item: u32 type (high byte = value kind, low 24 bits = item id), u32 payload length, then
// the payload; little-endian, items back to back.
#define REPLAY_ITEM_HEAD_BYTES 8u
#define REPLAY_TYPE_KIND(type) ((type) >> 24)
#define REPLAY_TYPE_ID(type) ((type) & 0xFFFFFFu)

#define REPLAY_GROUP_OPEN 0x01000000u
#define REPLAY_GROUP_CLOSE 0x01000001u
#define REPLAY_GROUP_MARKER_BYTES (REPLAY_ITEM_HEAD_BYTES + 2u)

// Group tags.
#define REPLAY_TAG_VERSIONS 1u
#define REPLAY_TAG_AFE_CAPS 2u
#define REPLAY_TAG_CONFIG 3u
#define REPLAY_TAG_FLASH 4u
#define REPLAY_TAG_FRAME 5u
#define REPLAY_TAG_CMD_BACKUP 6u
#define REPLAY_TAG_FRAME_VALUES 7u
#define REPLAY_TAG_DATA_ARRAYS 8u
#define REPLAY_TAG_TOUCH_REPORT 10u

// Init (replay head) item types.
#define REPLAY_INIT_AREA_1000 0x100003E8u
#define REPLAY_INIT_VERSION_TSA 0x100003E9u
#define REPLAY_INIT_IGNORED_1002 0x080003EAu
#define REPLAY_INIT_TEXT_1002 0x100003EAu
#define REPLAY_INIT_VERSION_SYS 0x100003EBu
#define REPLAY_INIT_VERSION_TSC 0x100003ECu
#define REPLAY_INIT_VERSION_HAL 0x100003EDu
#define REPLAY_INIT_VERSION_FW 0x100003EEu
#define REPLAY_INIT_PROJECT_ID 0x100003EFu
#define REPLAY_INIT_AREA_1008 0x100003F0u
#define REPLAY_INIT_AREA_1009 0x000003F1u
#define REPLAY_INIT_AREA_1010 0x020003F2u
#define REPLAY_INIT_DEV_UID 0x080003F4u
#define REPLAY_INIT_DRV_NUM 0x010007D0u
#define REPLAY_INIT_SEN_NUM 0x010007D1u
#define REPLAY_INIT_X_RESOLUTION 0x010007D7u
#define REPLAY_INIT_Y_RESOLUTION 0x010007D8u
#define REPLAY_INIT_X_REVERSAL 0x000007D9u
#define REPLAY_INIT_Y_REVERSAL 0x000007DAu
#define REPLAY_INIT_XY_SWAP 0x000007DBu
#define REPLAY_INIT_SCAN_RATE_NUM 0x000007DCu
#define REPLAY_INIT_SCAN_RATE 0x010007DDu
#define REPLAY_INIT_NOISE_FREQ 0x010007E9u
#define REPLAY_INIT_DATA_TYPE 0x090007EFu
#define REPLAY_INIT_CONFIG 0x08000BB8u
#define REPLAY_INIT_CONFIG_VERSION 0x10000BB9u
#define REPLAY_INIT_CONFIG_COPY 0x08000BBAu
#define REPLAY_INIT_REPLAY_HEAD 0x08000003u

#define REPLAY_TEXT_BYTES 64u
#define REPLAY_DEV_UID_BYTES 16u
#define REPLAY_CONFIG_BYTES 4096u
#define REPLAY_AFE_LIST_MAX 100u
#define REPLAY_ITEM_LIST_MAX 250u
#define REPLAY_TARGET_POINTS 12u
// The data type the replay head reports for the module's frames.
#define REPLAY_HEAD_DATA_TYPE 64u

// Walker results beyond the two the callers know: a stream whose item runs past its end
// (or ends in part of an item head) is refused as a whole at that item.
#define REPLAY_UNPACK_OK 0
#define REPLAY_UNPACK_NO_CALLBACK (-1)
#define REPLAY_UNPACK_CALLBACK_FAILED (-2)
#define REPLAY_UNPACK_MALFORMED (-3)

#pragma pack(push, 1)

// Input of the packer: one item to write.
struct ReplayItemDesc {
  uint32_t uiType;
  uint32_t uiLength;
  const void* pvData;  // null with a non-zero length writes zeros
};

// Analog front-end capabilities of the panel, as the replay head describes them.
struct AfeCaps {
  uint16_t uwDrvNum;
  uint16_t uwSenNum;
  uint8_t ubButtonNum;
  uint8_t ubForceNum;
  uint16_t uwPitchSize;
  uint8_t ubSensorArch;
  uint8_t ubSensorPattern;
  uint16_t uwXResolution;
  uint16_t uwYResolution;
  uint8_t ubXReversal;
  uint8_t ubYReversal;
  uint8_t ubXYSwap;
  uint8_t ubScanRateNum;
  uint16_t uwScanRate[REPLAY_AFE_LIST_MAX];
  uint8_t ubMutualFreqNum;
  uint8_t ubMutualFreqSpare;
  uint16_t uwMutualFreq[REPLAY_AFE_LIST_MAX];
  uint8_t ubSelfTxFreqNum;
  uint8_t ubSelfTxFreqSpare;
  uint16_t uwSelfTxFreq[REPLAY_AFE_LIST_MAX];
  uint8_t ubSelfRxFreqNum;
  uint8_t ubSelfRxFreqSpare;
  uint16_t uwSelfRxFreq[REPLAY_AFE_LIST_MAX];
  uint8_t ubStylusFreqNum;
  uint8_t ubStylusFreqSpare;
  uint16_t uwStylusFreq[REPLAY_AFE_LIST_MAX];
  uint16_t uwNoiseDuration;
  uint16_t uwNoiseFreqStart;
  uint16_t uwNoiseFreqNum;
  uint16_t uwNoiseFreq[REPLAY_AFE_LIST_MAX];
  uint16_t uwNoiseDetFeature;
  uint16_t uwFreqHopFeature;
  uint16_t uwCalibFeature;
  uint16_t uwGestureFeature;
  uint16_t uwStylusFeature;
  uint16_t uwDataType;
};

// The touch target a replay feeds back (item ids 11000..11026).
struct TsaTargetInfo {
  uint8_t ubValue11000;
  uint8_t ubValue11001;
  uint64_t ullValue11002;
  uint32_t uiValue11003[6];
  uint16_t uwFrameNumber;
  uint8_t ubTouchNum;
  uint8_t ubPointIndex;
  uint8_t ubTrackId[REPLAY_TARGET_POINTS];
  uint8_t ubType[REPLAY_TARGET_POINTS];
  uint16_t uwXPos[REPLAY_TARGET_POINTS];
  uint16_t uwYPos[REPLAY_TARGET_POINTS];
  uint16_t uwPressure[REPLAY_TARGET_POINTS];
  uint16_t uwDistance[REPLAY_TARGET_POINTS];
  uint16_t uwTouchMajor[REPLAY_TARGET_POINTS];
  uint16_t uwTouchMinor[REPLAY_TARGET_POINTS];
  uint16_t uwOrientation[REPLAY_TARGET_POINTS];
  uint8_t ubValue11020;
  uint8_t ubValue11021;
  uint8_t ubLargeTouch;
  uint64_t ullValue11023;
  uint16_t uwTargetType;
  uint8_t ubTemplateStage;
  uint16_t uwValue11026;
};

#pragma pack(pop)

static_assert(sizeof(ReplayItemDesc) == 8 + sizeof(void*));
static_assert(sizeof(AfeCaps) == 1244);
static_assert(offsetof(AfeCaps, uwSenNum) == 2);
static_assert(offsetof(AfeCaps, uwPitchSize) == 6);
static_assert(offsetof(AfeCaps, uwXResolution) == 10);
static_assert(offsetof(AfeCaps, ubXYSwap) == 16);
static_assert(offsetof(AfeCaps, ubScanRateNum) == 17);
static_assert(offsetof(AfeCaps, uwScanRate) == 18);
static_assert(offsetof(AfeCaps, ubMutualFreqNum) == 218);
static_assert(offsetof(AfeCaps, uwMutualFreq) == 220);
static_assert(offsetof(AfeCaps, uwSelfTxFreq) == 422);
static_assert(offsetof(AfeCaps, uwSelfRxFreq) == 624);
static_assert(offsetof(AfeCaps, uwStylusFreq) == 826);
static_assert(offsetof(AfeCaps, uwNoiseDuration) == 1026);
static_assert(offsetof(AfeCaps, uwNoiseFreq) == 1032);
static_assert(offsetof(AfeCaps, uwNoiseDetFeature) == 1232);
static_assert(offsetof(AfeCaps, uwDataType) == 1242);
static_assert(sizeof(TsaTargetInfo) == 246);
static_assert(offsetof(TsaTargetInfo, ullValue11002) == 2);
static_assert(offsetof(TsaTargetInfo, uwFrameNumber) == 34);
static_assert(offsetof(TsaTargetInfo, ubTrackId) == 38);
static_assert(offsetof(TsaTargetInfo, uwXPos) == 62);
static_assert(offsetof(TsaTargetInfo, uwOrientation) == 206);
static_assert(offsetof(TsaTargetInfo, ubLargeTouch) == 232);
static_assert(offsetof(TsaTargetInfo, ullValue11023) == 233);
static_assert(offsetof(TsaTargetInfo, uwValue11026) == 244);

extern "C" {

extern AfeCaps gstAfeCaps;
extern TsaTargetInfo gstTsaTargetInfo;

// What the replay side needs of the framework's records, bound by the module's start-up (the
// host's init or the first tool entry). Unbound, a configuration item is stored but refused
// as not applied, and resolution and orientation items change nothing.
struct ReplayInitHooks {
  uint8_t (*pfnAppInit)(uint8_t mode);  // ThpAppInit: re-read the stored configuration; 0 applied
  const uint8_t* pubPannelCfg;       // first two u16: x and y resolution
  const uint8_t* pubCoordTranCfg;    // first byte: bit 0 x/y swap, bit 1 x, bit 2 y reversal
};
void SetReplayInitHooks(const ReplayInitHooks* hooks);

// ---- Little-endian field access over byte buffers --------------------------------------
static inline void ReplayPutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
static inline void ReplayPutU32(uint8_t* p, uint32_t v) {
  ReplayPutU16(p, static_cast<uint16_t>(v));
  ReplayPutU16(p + 2, static_cast<uint16_t>(v >> 16));
}
static inline void ReplayPutU64(uint8_t* p, uint64_t v) {
  ReplayPutU32(p, static_cast<uint32_t>(v));
  ReplayPutU32(p + 4, static_cast<uint32_t>(v >> 32));
}
static inline uint16_t ReplayGetU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
static inline uint32_t ReplayGetU32(const uint8_t* p) {
  return static_cast<uint32_t>(ReplayGetU16(p)) | (static_cast<uint32_t>(ReplayGetU16(p + 2)) << 16);
}

// ---- Packer and walker -----------------------------------------------------------------
// Writes (with a non-zero tag) the open marker, the items, the close marker at OFFSET.
// Returns the new offset, or 0 when any field did not fit below CAPACITY (the fields that
// fitted stay written).
uint32_t ThpReplayPack(uint16_t tag, uint32_t count, const ReplayItemDesc* items, uint8_t* out,
                       uint32_t capacity, uint32_t offset);

typedef uint32_t (*ReplayItemCallback)(uint32_t type, uint8_t* payload, uint32_t length);

// Hands every item to CALLBACK in order. 0 when all were handed (also for length 0); -1 for
// a null callback with a non-zero length; -2 as soon as the callback returns non-zero; -3
// when an item head or payload runs past the end of the stream (logged, nothing more walked).
int32_t ThpReplayUnpack(uint8_t* stream, uint32_t length, ReplayItemCallback callback);

// ---- Init items ------------------------------------------------------------------------
// One init item into the module's records: 0 accepted, 1 bad input, 3 out of range.
uint32_t ReplayUnpackInitInfo(uint32_t type, uint8_t* payload, uint32_t length);
// One target item into gstTsaTargetInfo; always 0 (unknown and short items are logged).
uint32_t ReplayUnpackTargetInfo(uint32_t type, uint8_t* payload, uint32_t length);
// One init item (or, for REPLAY_INIT_REPLAY_HEAD, the whole replay head) into OUT.
// *length: in = capacity of OUT, out = bytes written. 0, 1 null argument, 2 nothing to give,
// 3 does not fit.
uint32_t GetInitInfo(uint32_t type, uint8_t* out, uint32_t* length);

// ---- Configuration and versions --------------------------------------------------------
uint32_t SetTsaConfig(const uint8_t* blob, uint32_t length);
// *length: in = capacity, out = stored length. 1 null argument, 3 capacity too small.
uint32_t GetConfig(uint8_t* out, uint32_t* length);
// The stored blob and its length word, for the framework's configuration parser
// (FirmwareConfigBindStore(GetConfigBlob(), GetConfigBlobLength())).
const uint8_t* GetConfigBlob(void);
const uint32_t* GetConfigBlobLength(void);
const char* GetVersionInfo(void);
const char* GetVersionTsa(void);
uint32_t SetVersionTsa(const char* text);
uint32_t SetCfgVersion(uint32_t version);
const char* GetCfgVersion(void);
const char* GetVersionSys(void);
const char* GetVersionTsc(void);
const char* GetVersionHal(void);
const char* GetVersionFw(void);
const char* GetVersionProjectId(void);
const uint8_t* GetDevUid(void);
void PrintConfigDbgInfo(void);
// Test control: back to the start-up texts, an empty configuration, cleared records.
void ReplayResetForTest(void);

// ---- Front-end capability accessors ----------------------------------------------------
uint8_t GetAfeDrvNum(void);
uint8_t GetAfeSenNum(void);
uint8_t GetAfeButtonNum(void);
uint8_t GetAfeForceNum(void);
uint16_t GetAfePitchSize(void);
uint8_t GetAfeSensorArch(void);
uint8_t GetAfeSensorPattern(void);
uint16_t GetAfeXResolution(void);
uint16_t GetAfeYResolution(void);
uint8_t GetAfeXReveral(void);
uint8_t GetAfeYReveral(void);
uint8_t GetAfeXYSwap(void);
uint8_t GetAfeScanRateNum(void);
uint8_t GetAfeMutualFreqNum(void);
uint8_t GetAfeSelfTxFreqNum(void);
uint8_t GetAfeSelfRxFreqNum(void);
uint8_t GetAfeStylusFreqNum(void);
uint16_t* GetAfeScanRate(void);
uint16_t* GetAfeMutualFreq(void);
uint16_t* GetAfeSelfTxFreq(void);
uint16_t* GetAfeSelfRxFreq(void);
uint16_t* GetAfeStylusFreq(void);
uint16_t* GetAfeNoiseFreq(void);
uint16_t GetAfeNoiseDuration(void);
uint16_t GetAfeNoiseFreqStart(void);
uint16_t GetAfeNoiseFreqNum(void);
uint16_t GetAfeNoiseDetFeature(void);
uint16_t GetAfeFreqHopFeature(void);
uint16_t GetAfeCalibFeature(void);
uint16_t GetAfeGestureFeature(void);
uint16_t GetAfeStylusFeature(void);
uint16_t GetAfeDataType(void);
void SetAfeXResolution(uint16_t value);
void SetAfeYResolution(uint16_t value);

// ---- Target accessors ------------------------------------------------------------------
uint16_t GetFrameNumber(void);
uint8_t GetTouchNum(void);
uint8_t GetMiscPointIndex(void);
uint8_t GetLargeTouch(void);
uint16_t GetTargetType(void);
uint8_t GetTemplateStage(void);
uint8_t* GetTrackingId(void);
uint8_t* GetType(void);
uint16_t* GetXPos(void);
uint16_t* GetYPos(void);
uint16_t* GetPressure(void);
uint16_t* GetDistance(void);
uint16_t* GetTouchMajor(void);
uint16_t* GetTouchMinor(void);
uint16_t* GetOrientation(void);

}  // extern "C"
