#pragma once

#include "vendor_export.h"
// Configuration blob of algorithm A: the check, the 62-entry routing map gpstCfg from
// section ids into the modules' configuration records, and the configuration records the
// core itself owns. Records of the other modules live in their own headers
// (signal_proc.h, region.h, coord.h); this file only routes sections into them.
#include <cstddef>
#include <cstdint>

// A configuration record whose fields its owning module names as it needs them; until
// then it is the bytes its section carries.
#define FERRANT_CFG_BYTES(Type, n)   \
  struct Type {                      \
    uint8_t aubData[n];              \
  };                                 \
  static_assert(sizeof(Type) == (n), #Type)

#pragma pack(push, 1)

// Section 8: the touch panel configuration.
struct TouchPannelCfg {
  uint8_t aubHead[16];        // 0: words 0/1 screen extents, 4 leave threshold, 6 touch threshold
  uint16_t uwValue16;         // 16
  uint16_t uwValue18;         // 18
  uint32_t uiValue20;         // 20: low byte = maximum touch count
  uint32_t uiValue24;         // 24
  uint8_t aubRes28[2];        // 28
  int8_t scOffsetX;           // 30
  int8_t scOffsetY;           // 31
  uint8_t ubValue32;          // 32
  uint8_t aubRes33[2];        // 33
  uint16_t uwThresholdDrop;   // 35
  uint8_t ubRes37;            // 37
};
static_assert(sizeof(TouchPannelCfg) == 38);
static_assert(offsetof(TouchPannelCfg, uwValue16) == 16);
static_assert(offsetof(TouchPannelCfg, uwValue18) == 18);
static_assert(offsetof(TouchPannelCfg, uiValue20) == 20);
static_assert(offsetof(TouchPannelCfg, uiValue24) == 24);
static_assert(offsetof(TouchPannelCfg, scOffsetX) == 30);
static_assert(offsetof(TouchPannelCfg, scOffsetY) == 31);
static_assert(offsetof(TouchPannelCfg, ubValue32) == 32);
static_assert(offsetof(TouchPannelCfg, uwThresholdDrop) == 35);

// Section 32: scan periods and sleep modes of the controller states, and the idle timing.
struct TimeCtrlCfg {
  uint8_t ubRes0;
  uint8_t ubSleepModeState2;     // 1
  uint8_t ubRes2;
  uint16_t uwPeriodState2;       // 3
  uint16_t uwPeriodState89;      // 5
  uint8_t aubRes7[2];
  uint8_t ubSleepModeState89;    // 9
  uint16_t uwPeriodState3;       // 10
  uint8_t aubRes12[2];
  uint16_t uwPeriodState11;      // 14
  uint16_t uwExWord;             // 16: copied into gstTimeCtrlEx bytes 12-13
  uint8_t aubRes18[6];
  uint16_t uwIdleDozePeriod;     // 24 (0 = 500 ms)
  uint16_t uwIdlePeriodLimit;    // 26 (0 = 10000 ms)
  uint16_t uwHighSpeedIdlePeriod;  // 28 (0 = 20000 ms)
  uint16_t uwHighSpeedDozeValue;   // 30 (0 = 100)
};
static_assert(sizeof(TimeCtrlCfg) == 32);
static_assert(offsetof(TimeCtrlCfg, ubSleepModeState2) == 1);
static_assert(offsetof(TimeCtrlCfg, uwPeriodState2) == 3);
static_assert(offsetof(TimeCtrlCfg, uwPeriodState89) == 5);
static_assert(offsetof(TimeCtrlCfg, ubSleepModeState89) == 9);
static_assert(offsetof(TimeCtrlCfg, uwPeriodState3) == 10);
static_assert(offsetof(TimeCtrlCfg, uwPeriodState11) == 14);
static_assert(offsetof(TimeCtrlCfg, uwExWord) == 16);
static_assert(offsetof(TimeCtrlCfg, uwIdleDozePeriod) == 24);
static_assert(offsetof(TimeCtrlCfg, uwIdlePeriodLimit) == 26);
static_assert(offsetof(TimeCtrlCfg, uwHighSpeedIdlePeriod) == 28);
static_assert(offsetof(TimeCtrlCfg, uwHighSpeedDozeValue) == 30);

// Section 10: the AFE module word (bit 4 of byte 3 glove handling, bit 10 hop permission,
// bit 28 LCD denoise threshold override, bit 4 of byte 0 idle report).
struct ThpAfeMoudleCfg {
  uint32_t uiAfeWord;
};
static_assert(sizeof(ThpAfeMoudleCfg) == 4);

FERRANT_CFG_BYTES(ScanRateCfg, 12);       // section 38
FERRANT_CFG_BYTES(EdgeRawAdjustCfg, 10);  // section 54: byte 0 flags, 1-4 edge factors (64ths), 5-8 rows, 9 factor
FERRANT_CFG_BYTES(DoubleBarrayCfg, 14);   // section 57: byte 0 limit, u16 at 8 diff threshold

// Panel alignment: drive count at byte 1, sense count at byte 2 (from the controller's
// front-end capabilities at start-up; not carried by the blob).
struct PannelAlignCfg {
  uint8_t ubRes0;
  uint8_t ubDrvNum;  // 1
  uint8_t ubSenNum;  // 2
  uint8_t aubRes3[127];
};
static_assert(sizeof(PannelAlignCfg) == 130);
static_assert(offsetof(PannelAlignCfg, ubDrvNum) == 1);
static_assert(offsetof(PannelAlignCfg, ubSenNum) == 2);

// Cross (idle self-capacitance) control: byte 0 = number of cross lines, byte 7 = batch
// enable taken over by the idle pre-judgement.
struct CrsbCfg {
  uint8_t ubCrossNum;
  uint8_t aubRes1[6];
  uint8_t ubBatchEn;  // 7
};
static_assert(sizeof(CrsbCfg) == 8);
static_assert(offsetof(CrsbCfg, ubBatchEn) == 7);

// One entry of the routing map: {section id, record size, 2 spare bytes, record}.
struct CfgMapEntry {
  uint8_t ubId;
  uint8_t ubSize;
  uint8_t aubRes[2];
  void* pvRecord;
};
static_assert(sizeof(CfgMapEntry) == 12);
static_assert(offsetof(CfgMapEntry, pvRecord) == 4);

#pragma pack(pop)

extern TouchPannelCfg gstTouchPannelCfg;
extern ThpAfeMoudleCfg gstThpAfeMoudleCfg;
extern TimeCtrlCfg gstTimeCtrlCfg;
extern ScanRateCfg gstScanRateCfg;
extern EdgeRawAdjustCfg gstEdgeRawAdjustCfg;
extern DoubleBarrayCfg gstDoubleBarrayCfg;
extern PannelAlignCfg gstPannelAlignCfg;
extern CrsbCfg gstCrsbCfg;

// Blob layout.
inline constexpr uint32_t kCfgBlobMax = 4096;
inline constexpr uint32_t kCfgHeadLen = 64;
inline constexpr uint32_t kCfgIdPos = 30;
inline constexpr uint32_t kCfgHeadBytePos = 34;
inline constexpr uint32_t kCfgFlagsPos = 58;
inline constexpr uint32_t kCfgBodyLenPos = 59;
inline constexpr uint32_t kCfgSectionCountPos = 61;
inline constexpr uint32_t kCfgHeadSumPos = 62;
inline constexpr uint32_t kCfgBodyLenMin = 4;
inline constexpr uint32_t kCfgBodyLenMax = 4092;
inline constexpr uint8_t kCfgFlagPartial = 0x01;
inline constexpr uint32_t kCfgVersionPos = 4086;  // four version bytes in the stored area
inline constexpr uint32_t kCfgMapEntries = 62;

extern const CfgMapEntry gpstCfg[kCfgMapEntries];
extern uint8_t gstCfgHeadBakNcln[kCfgHeadLen];
extern uint32_t guiConfigId;
extern uint8_t gubDefaultFreqForMutualcap;

// Why a blob was refused (0 = it passes).
enum CfgCheckResult : uint8_t {
  kCfgOk = 0,
  kCfgShort,          // fewer bytes than the header and its declared body
  kCfgHeadSum,        // header sum mismatch
  kCfgBodyLen,        // L outside 4..4092
  kCfgNoSection,      // section count 0
  kCfgBodySum,        // body sum mismatch
};

// Checks a blob of uiAvail bytes (header sum, L, section count, body sum), never reading
// past uiAvail.
CfgCheckResult FirmwareConfigCheck(const uint8_t* pubBlob, uint32_t uiAvail);
// Applies a blob that passed FirmwareConfigCheck; the section walk stays inside the body.
void FirmwareConfigApply(const uint8_t* pubBlob);

// The stored configuration area (4096 bytes and its length) belongs to the module's
// configuration accessors; they bind it here once so the loader can read it.
void FirmwareConfigBindStore(const uint8_t* pubData, const uint32_t* puiLen);
// Four configuration version bytes of the stored area (zero when no store is bound).
void FirmwareConfigVersion(uint8_t aubVersion[4]);

// Load, check and apply the stored blob. Returns 0 when a blob was applied, 1 when the
// stored blob was refused (the records keep what they had).
uint8_t FirmwareConfigInit();
// Applies the blob that stands in the temporary arena (the check must have passed).
void FirmwareConfigUpdate();
// 1 when the blob in the temporary arena passes the header and body checks, else 0.
VENDOR_EXPORT uint8_t FirmwareConfigCheckValid();
// 1 once any blob has been applied since the module was loaded.
uint8_t FirmwareConfigHasApplied();
