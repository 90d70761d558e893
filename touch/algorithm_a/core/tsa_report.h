#pragma once
// Touch report output of algorithm A: the last finger stage ThpTouchReport fills the report
// record (gstTsaTouchReportInfo, read by the report packing) from the coordinate output,
// its customer hook adds a 48-bit shape record per point, and TsaUpdateDiffData turns the
// points into the host's AlgTouchPoint entries with down/move/up per slot and the
// fingerprint wake point.
#include <cstddef>
#include <cstdint>

#include "alg_module.h"
#include "core_stages.h"  // ThpTouchReport, the stage itself

inline constexpr uint8_t kReportPointMax = 12;
inline constexpr uint32_t kReportNoReport = 255;          // TsaUpdateDiffData: nothing reported
inline constexpr uint32_t kReportHold = 0xFFFFFFFFu;      // TsaUpdateDiffData: hold (low byte 255)
inline constexpr uint8_t kFpPointId = ALG_TOUCH_ID_FINGERPRINT;
inline constexpr uint32_t kFpWakeArmed = 0x12345678u;     // guiIsFWakeCheckNcln while armed
inline constexpr uint8_t kFpNoSlot = 255;
inline constexpr uint16_t kFpHoldFrameIndexLimit = 100;
inline constexpr uint8_t kShapeRecordBytes = 6;
inline constexpr uint8_t kCoordDebugCopyBytes = 20;

#pragma pack(push, 1)

// Touch back-up of one slot.
struct TamrelTouchBak {
  uint32_t uiDown;
  uint32_t uiLastX;
  uint32_t uiLastY;
  uint32_t uiLastEvent;
};
static_assert(sizeof(TamrelTouchBak) == 16);

// gstTamrelCoord: a copy of the first 20 bytes of the customer debug state, then one
// 6-byte shape record (48-bit little-endian) per slot.
struct TamrelCoord {
  uint8_t aubDebugCopy[kCoordDebugCopyBytes];
  uint8_t aubShape[kReportPointMax][kShapeRecordBytes];
};
static_assert(sizeof(TamrelCoord) == 92);
static_assert(offsetof(TamrelCoord, aubShape) == 20);

#pragma pack(pop)

extern TamrelTouchBak gstTamrelTouchBakInfo[kReportPointMax];
static_assert(sizeof(gstTamrelTouchBakInfo) == 192);
extern TamrelCoord gstTamrelCoord;
extern AlgTouchPoint* gpstTamrelTouchInfo;
extern uint8_t gboCoordSameAsLast;
extern uint8_t gubFpIndex;
extern uint8_t gubFpReportPoint;
extern uint8_t gboFpStaBak;

// Module flags kept by frame entry and the module commands, read here.
extern uint8_t gubSuspendSta;
extern uint8_t gubNotReportFlag;
extern uint8_t gubReportRestartSta;
extern uint8_t gboWakeRefRestored;
extern uint8_t gubFpPointResCnt;

// Customer hooks of the report stage.
void ThpTouchReportCustom();
uint8_t ThpReportJudgeCustom();
// Length 6 and the slot's shape record; 1 (nothing set) for a slot above 11 or a null
// argument, else 0.
uint8_t GetReportCoordInfoCustom(uint8_t ubSlot, uint8_t* pubLength, uint8_t** ppubRecord);
void CustomReportDataTrans();

// Turns the coordinate output into host touch points (at most 12 entries in pstPoints,
// which the caller zeroed). Returns the point count, 255 for no report, or 0xFFFFFFFF to
// hold while the fingerprint wake check waits for its point.
extern "C" uint32_t TsaUpdateDiffData(uint64_t ullArg0, uint64_t ullArg1, AlgTouchPoint* pstPoints,
                                      uint8_t* pubFpStatus, uint8_t* pubFpChanged, uint8_t* pubLargeState,
                                      uint8_t* pubLargeChanged);

// Forgets the report history (back-up, previous report, last states handed out).
void TouchReportReset();
