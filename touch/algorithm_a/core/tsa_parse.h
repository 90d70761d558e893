#pragma once
// Controller frame parsing: the first step of a raw controller frame. Copies and checks the
// 14-byte header (checksum, data length, end index), records it for the per-frame report,
// and unpacks the payload sections (mutual raw, self raw, IM, receive-noise block, IQ) into
// the module's frame buffers, turning IQ pairs into one amplitude per node. Also the
// parsed-frame record of the module API and the frame-side buffers handed out to tools.
#include <cstddef>
#include <cstdint>

#include "tsa_common.h"
#include "tsa_frame.h"
#include "vendor_export.h"

// Raw frame header: byte positions.
inline constexpr uint32_t kParseHeadBytes = 14;
inline constexpr uint32_t kParseHeadSumBytes = 12;    // bytes 0..11 make the checksum
inline constexpr uint32_t kParseHeadState = 1;
inline constexpr uint32_t kParseHeadDataType = 2;
inline constexpr uint32_t kParseHeadScanMode = 3;
inline constexpr uint32_t kParseHeadFrameIndex = 4;   // u16
inline constexpr uint32_t kParseHeadDataLen = 6;      // u16
inline constexpr uint32_t kParseHeadFreqIndex = 8;
inline constexpr uint32_t kParseHeadReserved = 9;
inline constexpr uint32_t kParseHeadCustomInfo = 11;
inline constexpr uint32_t kParseHeadChecksum = 12;    // u16
inline constexpr uint32_t kParseEndIndexBytes = 2;

// Section flags (header byte 2), walked in this order.
inline constexpr uint8_t kParseSecMutual = 0x01;
inline constexpr uint8_t kParseSecSelf = 0x02;
inline constexpr uint8_t kParseSecIm = 0x04;
inline constexpr uint8_t kParseSecRxNoise = 0x08;
inline constexpr uint8_t kParseSecIq = 0x10;
inline constexpr uint32_t kParseSecHeadBytes = 6;     // {u32, u16}
inline constexpr uint32_t kRxNoiseInfoBytes = 208;
inline constexpr uint32_t kLineBufferBytes = 648;

// Controller states of header byte 1: 1..4 carry sections; 4 passes without raw data.
inline constexpr uint8_t kParseStateFirst = 1;
inline constexpr uint8_t kParseStateNoRaw = 4;

// Results of ParseFramedata.
inline constexpr uint32_t kParseOk = 0;
inline constexpr uint32_t kParseRejected = 1;
inline constexpr uint32_t kParseShortData = 3;

#pragma pack(push, 1)
struct FrameParseInput {
  uint32_t uiFrameLength;     // 0: bytes at pubFrame
  uint8_t ubFreqNum;          // 4: F
  uint8_t ubDrvNum;           // 5: D
  uint8_t ubSenNum;           // 6: S
  const uint8_t* pubFrame;    // 7: advanced past the header by ParseFramedata
};
#pragma pack(pop)
static_assert(sizeof(FrameParseInput) == 7 + sizeof(void*));
static_assert(offsetof(FrameParseInput, ubFreqNum) == 4);
static_assert(offsetof(FrameParseInput, ubDrvNum) == 5);
static_assert(offsetof(FrameParseInput, ubSenNum) == 6);
static_assert(offsetof(FrameParseInput, pubFrame) == 7);

// Where the sections go. Each buffer must hold what the counts of FrameParseInput make:
// mutual D*S, self D+S, IM F*S u16 values. A null buffer (other than the mutual one) skips
// its section's data.
struct FrameParseTargets {
  AdcSatGroup* pstMutualHead;
  uint16_t* puwMutualRaw;
  AdcSatGroup* pstSelfHead;
  uint16_t* puwSelfRaw;
  AdcSatGroup* pstImHead;
  uint16_t* puwImData;
  uint8_t* pubRxNoise;        // kRxNoiseInfoBytes
  uint8_t* pubHead;           // kParseHeadBytes
};

// The record TpcIQToRawData reads.
#pragma pack(push, 1)
struct TpcIqRecord {
  uint8_t ubRes;
  uint8_t ubDrvNum;
  uint8_t ubSenNum;
  const int16_t* pswIq;       // interleaved (I, Q), node by node
};
#pragma pack(pop)
static_assert(offsetof(TpcIqRecord, ubDrvNum) == 1);
static_assert(offsetof(TpcIqRecord, ubSenNum) == 2);
static_assert(offsetof(TpcIqRecord, pswIq) == 3);

struct RxNoiseInfo {
  uint8_t aubData[kRxNoiseInfoBytes];
};

// The parsed-frame record of the module API, cleared in three pieces.
struct TsaParsedFrameData {
  uint64_t ullProcTimeStamp;
  uint16_t uwSampleTimeStamp;
  uint16_t uwFrameIndex;
  uint16_t uwScanRate;
  uint32_t uiStatus;
  uint32_t uiRequest;
  uint32_t uiGesture;
  uint16_t uwMutualDuration;
  uint16_t uwMutualFreqA;
  uint16_t uwMutualFreqAIndex;
  const uint16_t* puwMutualData;
  uint16_t uwSelfTxDuration;
  uint16_t uwSelfRxDuration;
  uint16_t uwSelfTxFreq;
  uint16_t uwSelfRxFreq;
  const uint16_t* puwSelfData;
  const int16_t* pswIData;
  const int16_t* pswQData;
  const uint8_t* pubNoiseData;
  const void* pHoverData;
  const uint16_t* puwImData;
  const void* pIqData;
  const void* pButtonData;
  const void* pForceData;
  uint32_t uiNoiseType;
  const void* pStylusData;
  const void* pStylus2Data;
  const AdcSatGroup* pstMutualAdc;
  const AdcSatGroup* pstSelfAdc;
  const AdcSatGroup* pstImAdc;
  uint8_t ubTick100ms;
  uint8_t ubFrameStatus;
  const void* pFrameLog;
  const uint8_t* pubFrameInfo;
  uint8_t ubFwMode;
  const void* pNoiseState;
};
struct TsaParsedFrameAssist {
  uint16_t uwDistance;
  uint8_t ubTemplateStage;
  uint16_t uwVelocity;
  uint16_t uwTemplateRound;
};
struct TsaParsedFrameExtend {
  const uint16_t* puwMutualRefData;
};
struct TsaParsedFrame {
  TsaParsedFrameData stData;
  TsaParsedFrameAssist stAssist;
  TsaParsedFrameExtend stExtend;
};

extern int16_t gpswIBuffer[kFerrantMaxNodes];
extern int16_t gpswQBuffer[kFerrantMaxNodes];
extern uint8_t gpubLineBuffer[kLineBufferBytes];
extern RxNoiseInfo gstRxNoiseInfo;
extern TsaParsedFrame gstTsaParsedFrame;

// 0 frame accepted; 1 rejected; 3 data length below 14. The header is copied, the command
// backup, head backup and data-record state updated before the checks; sections are
// written only when every flagged section fits inside the frame's data length.
uint32_t ParseFramedata(FrameParseInput* pstIn, FrameParseTargets* pstTargets);
// Walks the flagged sections of PAYLOAD (PAYLOAD_BYTES long). Descriptor bits 0..7 section
// flags, 8..15 F, 16..23 frequency index, 24..31 D, 32..39 S. False (nothing written) when
// the sections do not fit or the node count exceeds the module's limit.
bool ParseFrameSections(uint64_t ullDescriptor, const uint8_t* pubPayload, uint32_t uiPayloadBytes,
                        FrameParseTargets* pstTargets);
// Bytes the flagged sections take; sets *pboTooMany when D*S is above the node limit.
uint32_t FrameSectionBytes(uint64_t ullDescriptor, bool* pboTooMany);
uint64_t FrameParseDescriptor(uint8_t ubFlags, uint8_t ubFreqNum, uint8_t ubFreqIndex, uint8_t ubDrv, uint8_t ubSen);

void IqToRawDataBySqrt(const int16_t* pswIq, uint16_t uwCount, uint16_t* puwRaw);
void TpcIQToRawData(const TpcIqRecord* pstRecord, uint16_t** ppuwOut);
void TpdGetIqData(int16_t** ppswOut);
uint8_t* TpdGetLineBufferAddr();
void TpdRsvDataProc(uint8_t* pubReserved);
void TpdCustomInfoDataProc(uint8_t ubInfo, const uint8_t* pubFrameEnd);

const TsaParsedFrame* GetTsaParsedFrame();

extern "C" {
VENDOR_EXPORT uint32_t TsaProcessingFrame(uint8_t* frame, uint32_t length);
VENDOR_EXPORT void ResetFrameData(void);
VENDOR_EXPORT void ResetFrameAssistData(void);
VENDOR_EXPORT void ResetExtendData(void);
}

// The raw-frame entry: parses FRAME and, unless the controller state is 4, runs the frame
// like the decoded path. Returns ParseFramedata's status.
uint32_t ProcessFramedata(uint8_t* pubFrame, uint32_t uiLength);
