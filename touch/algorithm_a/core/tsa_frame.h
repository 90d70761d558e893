#pragma once

#include "vendor_export.h"
// Frame entry and synchronisation: every decoded frame the host hands to update frame
// data passes TsaUpdateFrameData before any stage runs. It checks the frame, copies its
// data into the module's buffers, decodes the firmware state and scan mode, keeps the
// firmware's sampling frequency and the module's own choice in step, detects repeated and
// missing frames, and then runs the current app's stage list or declines the frame and
// asks the controller for what is missing.
#include <cstddef>
#include <cstdint>

#include "decoded_frame.h"

#pragma pack(push, 1)

// The frame head (one static instance).
struct TsaFrameHead {
  uint8_t ubMarker;        // 0: 0x80 on the decoded-frame path
  uint8_t ubFwState;       // 1: frame flags without bits 2 and 3, then the decoded state
  uint8_t ubDataType;      // 2
  uint8_t ubScanMode;      // 3: swapped (2 <-> 4)
  uint16_t uwFrameIndex;   // 4
  uint16_t uwFrameWord;    // 6: the frame's word at byte 104, carried
  uint8_t ubFwFreqIndex;   // 8
  uint8_t aubRes9[3];      // 9: left as they are
  uint16_t uwLast;         // 12: cleared
};
static_assert(sizeof(TsaFrameHead) == 14);
static_assert(offsetof(TsaFrameHead, ubFwState) == 1);
static_assert(offsetof(TsaFrameHead, ubDataType) == 2);
static_assert(offsetof(TsaFrameHead, ubScanMode) == 3);
static_assert(offsetof(TsaFrameHead, uwFrameIndex) == 4);
static_assert(offsetof(TsaFrameHead, uwFrameWord) == 6);
static_assert(offsetof(TsaFrameHead, ubFwFreqIndex) == 8);
static_assert(offsetof(TsaFrameHead, uwLast) == 12);

// ADC-saturation values: mutual, self, IM.
struct AdcSatGroup {
  uint32_t uiValue;
  uint16_t uwWord;
};
struct AdcSatCnt {
  AdcSatGroup stMutual;    // high 16 bits of the u32, signed: the mutual saturation count
  AdcSatGroup stSelf;
  AdcSatGroup stIm;
};
static_assert(sizeof(AdcSatCnt) == 18);
static_assert(offsetof(AdcSatCnt, stSelf) == 6);
static_assert(offsetof(AdcSatCnt, stIm) == 12);

// k/b check header.
struct NormCheckInfo {
  uint16_t uwFreqCode;     // 0
  uint32_t uiCheckValue;   // 2
  uint16_t uwCheckWord;    // 6
  uint32_t uiCheckValue2;  // 8
};
static_assert(sizeof(NormCheckInfo) == 12);
static_assert(offsetof(NormCheckInfo, uiCheckValue) == 2);
static_assert(offsetof(NormCheckInfo, uwCheckWord) == 6);
static_assert(offsetof(NormCheckInfo, uiCheckValue2) == 8);

#pragma pack(pop)

// Results of TsaUpdateFrameData.
inline constexpr uint32_t kFrameRan = 0;
inline constexpr uint32_t kFrameRefused = 1;
inline constexpr uint32_t kFrameRefTaken = 2;
inline constexpr uint32_t kFrameNotRun = 3;

inline constexpr uint32_t kKbCheckBufBytes = 4096;
inline constexpr uint16_t kMissingSatCount = 1500;

extern TsaFrameHead gstTsaFrameHead;
extern AdcSatCnt gstAdcSatCnt;
extern NormCheckInfo gstNormCheckInfo;
extern uint8_t gpubKbCheckBuf[kKbCheckBufBytes];
extern uint8_t gubReceiveRefFlag;
extern uint8_t gubNotReportFlag;
extern uint8_t gubCurNoiseIndexBak;
extern uint8_t gubFreqSyncMissCnt;
extern uint8_t gubFreqNotMatchCnt;
extern uint8_t gubStateNotMatchCnt;
extern uint8_t gubReportRestartSta;
extern uint8_t gboWakeRefRestored;
extern uint8_t gubFrameState;
extern uint64_t gullTickTime;
extern uint64_t gullProcTimeStampBak;

extern "C" {
// Runs one decoded frame: 0 ran (or the module is not resumed), 1 refused, 2 reference
// taken, 3 not run for want of a reference or of a usable state.
uint32_t TsaUpdateFrameData(DecodedFrame* pstFrame);
VENDOR_EXPORT uint8_t GetCurNoiseIndex(void);
VENDOR_EXPORT void SetReceiveRefFlag(uint8_t ubValue);
}

// Frame-processing steps.
void FirstFrameFreqInit(const TsaFrameHead* pstHead);
void StateRequestSync(uint32_t uiState);
void FwStateMatching(uint32_t uiState);
void FwFreqHopMatching(uint8_t ubFwFreqIndex);
void UpdateTickTime();
void UpdateFrameMissingFlag(uint16_t uwFrameIndex);
// The software initialisation's reset of the firmware-state record: the state and
// frequency mismatch counters start again.
void FwStateRecordReset();

// Frame-record steps: the head backup (head bytes and the frame length).
void FrameHeadInfoBak(const TsaFrameHead* pstHead, uint32_t uiLength);

struct TsaFrameProcFunc {
  void (*pfnIdleDelayCheck)(uint32_t uiState, uint16_t uwFrameIndex);
  void (*pfnFirstFrameFreqInit)(const TsaFrameHead* pstHead);
  void (*pfnStateRequestSync)(uint32_t uiState);
  void (*pfnFwStateMatching)(uint32_t uiState);
  void (*pfnFwFreqHopMatching)(uint8_t ubFwFreqIndex);
  void (*pfnUpdateTickTime)();
  void (*pfnUpdateFrameMissingFlag)(uint16_t uwFrameIndex);
};
struct TsaFrameDataBakFunc {
  void (*pfnFrameHeadInfoBak)(const TsaFrameHead* pstHead, uint32_t uiLength);
  void (*pfnThpCmdBakAppend)(const uint8_t* pubSlot);
  void (*pfnThpCmdBakFrameStart)(const uint8_t* pubHead);
  void (*pfnThpCmdBakCheckReset)();
};
VENDOR_EXPORT const TsaFrameProcFunc* GetTsaFrameProcFunc();
VENDOR_EXPORT const TsaFrameDataBakFunc* GetTsaFrameDataBakFunc();

// Decoding helpers shared by the frame entries.
uint8_t FrameDecodeFwState(uint8_t ubFlags);
