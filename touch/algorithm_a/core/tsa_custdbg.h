#pragma once
// Customer debug state of algorithm A: the 40-byte bit record that summarises each frame
// for the phone maker's tools, the debug events that set it, the small debug and flash
// blocks handed to the report and replay packing, and the recorded module variables of
// each parsed frame while data recording runs.
#include <cstdint>

#include "tsa_pack.h"

inline constexpr uint32_t kCustDebugStateBytes = 40;
inline constexpr uint32_t kCustDebugForceUpdatePos = 5;
inline constexpr uint32_t kReportDebugInfoBytes = 12;
inline constexpr uint32_t kFlashBlockHeadBytes = 8;
inline constexpr uint32_t kFlashBlockConfigArea = 24576;
inline constexpr uint32_t kFlashBlockMirrorAt = kFlashBlockHeadBytes + kFlashBlockConfigArea;
inline constexpr uint32_t kFlashBlockMirrorBytes = 40960;
inline constexpr uint32_t kFlashBlockWord0 = 0x00040000u;
inline constexpr uint32_t kFlashBlockWord1 = 0x0001A000u;
static_assert(kFlashBlockMirrorAt + kFlashBlockMirrorBytes <= REPORT_FLASH_IMAGE_BYTES);
inline constexpr uint32_t kGlobalVarRcrdBytes = REPORT_GLOBAL_VAR_RCRD_BYTES;
// Where the sampling back-up (frequency, frequency word, option nibbles; 6 bytes) stands in
// the frame-variable record: after the common flags, hop flag, new points, state machine,
// NF-noise and hopping slices and the light-mode, IM, LCD-noise and duration records.
inline constexpr uint32_t kGlobalVarMutualCfgBakAt = 374;
inline constexpr uint32_t kGlobalVarMutualCfgBakBytes = 6;
inline constexpr uint32_t kGridAndLineRcrdBytes = REPORT_GRID_LINE_RCRD_BYTES;
inline constexpr uint32_t kFrameHeadBytes = REPORT_FRAME_HEAD_BYTES;

// Data-record states of gubDataRecordStartCnt.
inline constexpr uint8_t kDataRecordOff = 0;
inline constexpr uint8_t kDataRecordStart = 1;
inline constexpr uint8_t kDataRecordCapture = 2;
inline constexpr uint8_t kDataRecordDone = 3;

extern uint8_t gstTamrelDebugStateInfo[kCustDebugStateBytes];
extern uint8_t* gpstTamrelDebugInfo;
extern uint8_t gstGlobalVarRcrd[kGlobalVarRcrdBytes];
extern uint8_t gpuwGridAndLineDataRcrd[kGridAndLineRcrdBytes];
extern int16_t gpswLastDiffDataRcrd[REPORT_MAX_NODES];

// What the debug state reads of the frame besides gstCommon: the hopping, normalisation,
// offset-cancel and NF-noise records, kept as the values the bit record takes.
struct CustomDebugFrameInputs {
  uint8_t ubNormByte16;      // gstNormalize byte 16
  uint8_t ubNormByte25;      // gstNormalize byte 25
  uint8_t ubNormByte28;      // gstNormalize byte 28
  uint8_t ubNormByte30;      // gstNormalize byte 30
  uint8_t ubHopCurIndex;     // current frequency index of the hopping record
  uint16_t uwHopCurWord;     // hopping word at byte 28 + 2 x index
  uint16_t auwHopWords[4];   // hopping words at bytes 44, 46, 48, 50
  int16_t swOfsThird;        // third 16-bit value of the mutual offset-cancel record
  int16_t swOfsMax;          // offset-cancel maximum
  int16_t swOfsMin;          // offset-cancel minimum
  uint8_t ubRegionNum;       // region count
  uint8_t boNfNoiseEn;       // NF-noise procedure enabled
};

void CustomDebugInit();
// Fills the bit record after a raw frame from the module records.
void SetCustomDebugData();
void SetCustomDebugDataFrom(const CustomDebugFrameInputs& in);
void GetCustomDebugData(uint8_t ubKind, const uint8_t* pubData, uint8_t ubFlags);
void CustomDebugDataTrans(uint8_t* pubBuffer, uint32_t uiLength);
void CustomDebugDataShow();

// Report debug info (12 bytes into OUT); returns the B-array study count.
uint8_t PackReportDebugInfo(uint8_t* pubOut);
// The flash block of the initial replay data (REPORT_FLASH_IMAGE_BYTES, cleared by the
// caller): header, stored configuration, first 40960 bytes of the flash mirror.
void PackReportFlashData(uint8_t* pubOut);
// Frame-record step of a parsed frame: command-history tag, frame-head backup and the
// data-record counter.
void FillFrameParseData(const uint8_t* pubHead, uint8_t ubTag);
void FillFrameGlobalVarRcrd();

// Signal-conditioning records the frame-variable record snapshots (NF-noise procedure,
// frequency hopping, normalisation), as address and size.
struct RecordSlice {
  const void* pvData;
  uint32_t uiBytes;
};
void CustomDebugSignalSlices(RecordSlice* pstNfNoise, RecordSlice* pstFreqHop, RecordSlice* pstNormalize);

// Registers the report packing's sources (the module's records behind the packers).
void TsaReportBindPackSources();
