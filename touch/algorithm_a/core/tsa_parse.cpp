// Controller frame parsing of the raw-frame path.
#include "tsa_parse.h"

#include <cstring>

#include "mathlib.h"
#include "tsa_custdbg.h"
#include "tsa_ctrl.h"
#include "tsa_frame_links.h"
#include "tsa_os.h"
#include "tsa_pack.h"
#include "tsa_scramble.h"

int16_t gpswIBuffer[kFerrantMaxNodes];
int16_t gpswQBuffer[kFerrantMaxNodes];
uint8_t gpubLineBuffer[kLineBufferBytes];
RxNoiseInfo gstRxNoiseInfo;
TsaParsedFrame gstTsaParsedFrame;

namespace {

constexpr const char* kTag = "ParseFramedata";
constexpr uint32_t kIqPairBytes = 4;

// The IQ section is descrambled here rather than in the caller's frame, which stays as given.
uint8_t gaubIqScratch[kFerrantMaxNodes * kIqPairBytes];

uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
int16_t GetS16(const uint8_t* p) { return static_cast<int16_t>(GetU16(p)); }

void CopySectionHead(const uint8_t* pubSrc, AdcSatGroup* pstHead) {
  if (pstHead == nullptr) return;
  AdcSatGroup stHead;
  stHead.uiValue = static_cast<uint32_t>(GetU16(pubSrc)) | (static_cast<uint32_t>(GetU16(pubSrc + 2)) << 16);
  stHead.uwWord = GetU16(pubSrc + 4);
  memcpy(pstHead, &stHead, sizeof(stHead));
}

struct Sections {
  uint8_t ubFlags;
  uint32_t uiNodes;
  uint32_t uiMutual;   // data bytes of each section, heads excluded
  uint32_t uiSelf;
  uint32_t uiIm;
  uint32_t uiIq;
};

Sections SectionSizes(uint64_t ullDescriptor) {
  const uint32_t uiFreq = static_cast<uint32_t>((ullDescriptor >> 8) & 0xFFu);
  const uint32_t uiDrv = static_cast<uint32_t>((ullDescriptor >> 24) & 0xFFu);
  const uint32_t uiSen = static_cast<uint32_t>((ullDescriptor >> 32) & 0xFFu);
  Sections s{};
  s.ubFlags = static_cast<uint8_t>(ullDescriptor & 0xFFu);
  s.uiNodes = uiDrv * uiSen;
  // Computed in 32 bits: a 16-bit cut would let the next section start inside this one.
  s.uiMutual = s.uiNodes * 2u;
  s.uiSelf = (uiDrv + uiSen) * 2u;
  s.uiIm = uiFreq * 2u * uiSen;
  s.uiIq = s.uiNodes * kIqPairBytes;
  return s;
}

// Descrambles one section into DST, or only steps over it when there is nowhere to put it.
void SectionData(const uint8_t* pubSrc, void* pDst, uint32_t uiBytes) {
  if (pDst == nullptr || uiBytes == 0) return;
  ferx_decrypt(pubSrc, static_cast<uint8_t*>(pDst), uiBytes);
}

void LogIqNull() {
  FerxLogPrint("TpcIQToRawData", FERX_LOG_ERR, "MutualIqBuf or MutualRawData is NULL \n");
  FerxLogPrint("IqToRawDataBySqrt", FERX_LOG_ERR, "swIqData or puwRawData is NULL \n");
}

}  // namespace

uint64_t FrameParseDescriptor(uint8_t ubFlags, uint8_t ubFreqNum, uint8_t ubFreqIndex, uint8_t ubDrv, uint8_t ubSen) {
  return static_cast<uint64_t>(ubFlags) | (static_cast<uint64_t>(ubFreqNum) << 8) |
         (static_cast<uint64_t>(ubFreqIndex) << 16) | (static_cast<uint64_t>(ubDrv) << 24) |
         (static_cast<uint64_t>(ubSen) << 32);
}

uint32_t FrameSectionBytes(uint64_t ullDescriptor, bool* pboTooMany) {
  const Sections s = SectionSizes(ullDescriptor);
  if (pboTooMany != nullptr) *pboTooMany = s.uiNodes > kFerrantMaxNodes;
  uint32_t uiBytes = 0;
  if ((s.ubFlags & kParseSecMutual) != 0) uiBytes += kParseSecHeadBytes + s.uiMutual;
  if ((s.ubFlags & kParseSecSelf) != 0) uiBytes += kParseSecHeadBytes + s.uiSelf;
  if ((s.ubFlags & kParseSecIm) != 0) uiBytes += kParseSecHeadBytes + s.uiIm;
  if ((s.ubFlags & kParseSecRxNoise) != 0) uiBytes += kRxNoiseInfoBytes;
  if ((s.ubFlags & kParseSecIq) != 0) uiBytes += kParseSecHeadBytes + s.uiIq;
  return uiBytes;
}

bool ParseFrameSections(uint64_t ullDescriptor, const uint8_t* pubPayload, uint32_t uiPayloadBytes,
                        FrameParseTargets* pstTargets) {
  if (pstTargets == nullptr) return false;
  bool boTooMany = false;
  const uint32_t uiNeed = FrameSectionBytes(ullDescriptor, &boTooMany);
  const Sections s = SectionSizes(ullDescriptor);
  if (boTooMany && (s.ubFlags & (kParseSecMutual | kParseSecIq)) != 0) {
    FerxLogPrint(kTag, FERX_LOG_ERR, "frame nodes %u above the limit %u", s.uiNodes, kFerrantMaxNodes);
    return false;
  }
  if (uiNeed > uiPayloadBytes || (uiNeed != 0 && pubPayload == nullptr)) {
    FerxLogPrint(kTag, FERX_LOG_ERR, "sections 0x%x need %u bytes, frame holds %u", s.ubFlags, uiNeed,
                 uiPayloadBytes);
    return false;
  }
  const uint8_t* p = pubPayload;
  if ((s.ubFlags & kParseSecMutual) != 0) {
    CopySectionHead(p, pstTargets->pstMutualHead);
    SectionData(p + kParseSecHeadBytes, pstTargets->puwMutualRaw, s.uiMutual);
    p += kParseSecHeadBytes + s.uiMutual;
  }
  if ((s.ubFlags & kParseSecSelf) != 0) {
    CopySectionHead(p, pstTargets->pstSelfHead);
    SectionData(p + kParseSecHeadBytes, pstTargets->puwSelfRaw, s.uiSelf);
    p += kParseSecHeadBytes + s.uiSelf;
  }
  if ((s.ubFlags & kParseSecIm) != 0) {
    CopySectionHead(p, pstTargets->pstImHead);
    SectionData(p + kParseSecHeadBytes, pstTargets->puwImData, s.uiIm);
    p += kParseSecHeadBytes + s.uiIm;
  }
  if ((s.ubFlags & kParseSecRxNoise) != 0) {
    SectionData(p, pstTargets->pubRxNoise, kRxNoiseInfoBytes);
    p += kRxNoiseInfoBytes;
  }
  if ((s.ubFlags & kParseSecIq) != 0) {
    CopySectionHead(p, pstTargets->pstMutualHead);
    ferx_decrypt(p + kParseSecHeadBytes, gaubIqScratch, s.uiIq);
    for (uint32_t i = 0; i < s.uiNodes; ++i) {
      gpswIBuffer[i] = GetS16(gaubIqScratch + i * kIqPairBytes);
      gpswQBuffer[i] = GetS16(gaubIqScratch + i * kIqPairBytes + 2);
    }
    if (pstTargets->puwMutualRaw == nullptr) {
      LogIqNull();
    } else {
      for (uint32_t k = 0; k < s.uiNodes; ++k) {
        pstTargets->puwMutualRaw[k] = static_cast<uint16_t>(LibCordicSqrt(gpswIBuffer[k], gpswQBuffer[k]));
      }
    }
  }
  return true;
}

uint32_t ParseFramedata(FrameParseInput* pstIn, FrameParseTargets* pstTargets) {
  if (pstIn == nullptr || pstTargets == nullptr || pstIn->pubFrame == nullptr || pstTargets->puwMutualRaw == nullptr) {
    FerxLogPrint(kTag, FERX_LOG_ERR, "pubFrameAddr or MutualRawData is NULL \n");
    return kParseRejected;
  }
  const uint32_t uiFrameLength = pstIn->uiFrameLength;
  if (uiFrameLength < kParseHeadBytes) {
    FerxLogPrint(kTag, FERX_LOG_ERR, "frame of %u bytes shorter than its header", uiFrameLength);
    return kParseRejected;
  }
  const uint8_t* pubFrame = pstIn->pubFrame;
  uint8_t aubHead[kParseHeadBytes];
  memcpy(aubHead, pubFrame, sizeof(aubHead));
  if (pstTargets->pubHead != nullptr) memcpy(pstTargets->pubHead, aubHead, sizeof(aubHead));
  pstIn->pubFrame = pubFrame + kParseHeadBytes;

  // Command backup (frame index low byte, reset unless kept) and the reference-update types.
  ThpCmdBakFrameStart(aubHead);
  TsaFrameHead stHead;
  static_assert(sizeof(stHead) == sizeof(aubHead));
  memcpy(&stHead, aubHead, sizeof(aubHead));
  FrameHeadInfoBak(&stHead, uiFrameLength);
  if (gubDataRecordStartCnt == kDataRecordDone) {
    gubDataRecordStartCnt = kDataRecordOff;
  } else if (gubDataRecordStartCnt == kDataRecordCapture) {
    FillFrameGlobalVarRcrd();
    gubDataRecordStartCnt = kDataRecordDone;
  }

  uint32_t uiSum = 0;
  for (uint32_t i = 0; i < kParseHeadSumBytes; ++i) uiSum += aubHead[i];
  const uint16_t uwSum = static_cast<uint16_t>(uiSum);
  const uint16_t uwStored = GetU16(aubHead + kParseHeadChecksum);
  if (uwSum != uwStored) {
    FerxLogPrint(kTag, FERX_LOG_ERR, "frame checksum error: fw: %d, tsa: %d", uwStored, uwSum);
    return kParseRejected;
  }
  const uint16_t uwDataLen = GetU16(aubHead + kParseHeadDataLen);
  if (uwDataLen < kParseHeadBytes) {
    FerxLogPrint(kTag, FERX_LOG_ERR, "frame DataLen error, len: %d", uwDataLen);
    return kParseShortData;
  }
  // The end index must lie inside the bytes given.
  if (uwDataLen > uiFrameLength) {
    FerxLogPrint(kTag, FERX_LOG_ERR, "frame DataLen error, len: %d, frame bytes: %u", uwDataLen, uiFrameLength);
    return kParseRejected;
  }
  const uint16_t uwIndex = GetU16(aubHead + kParseHeadFrameIndex);
  const uint16_t uwEnd = GetU16(pubFrame + uwDataLen - kParseEndIndexBytes);
  if (uwIndex != uwEnd) {
    FerxLogPrint(kTag, FERX_LOG_ERR, "uwFrameIndex error, start:%u, end:%u", uwIndex, uwEnd);
    return kParseRejected;
  }
  TpdRsvDataProc(aubHead + kParseHeadReserved);
  TpdCustomInfoDataProc(aubHead[kParseHeadCustomInfo], pubFrame + uwDataLen);

  const uint8_t ubState = aubHead[kParseHeadState];
  if (ubState == 0) {
    FerxLogPrint(kTag, FERX_LOG_ERR, "frame ubState: %u", ubState);
    return kParseRejected;
  }
  if (ubState <= kParseStateNoRaw) {
    // Sections lie between the header and the end index.
    const uint32_t uiPayload =
        uwDataLen >= kParseHeadBytes + kParseEndIndexBytes ? uwDataLen - kParseHeadBytes - kParseEndIndexBytes : 0;
    const uint64_t ullDesc = FrameParseDescriptor(aubHead[kParseHeadDataType], pstIn->ubFreqNum,
                                                  aubHead[kParseHeadFreqIndex], pstIn->ubDrvNum, pstIn->ubSenNum);
    if (!ParseFrameSections(ullDesc, pubFrame + kParseHeadBytes, uiPayload, pstTargets)) return kParseRejected;
  } else {
    FerxLogPrint(kTag, FERX_LOG_ERR, "error ubState: %x", ubState);
  }

  const uint16_t* puwRaw = pstTargets->puwMutualRaw;
  uint32_t uiHead = static_cast<uint32_t>(pstIn->ubDrvNum) * pstIn->ubSenNum;
  if (uiHead > 5) uiHead = 5;
  uint32_t uiRawSum = 0;
  for (uint32_t i = 0; i < uiHead; ++i) uiRawSum += puwRaw[i];
  if (uiRawSum != 0 || ubState == kParseStateNoRaw) return kParseOk;
  FerxLogPrint(kTag, FERX_LOG_ERR, "puwRawData error, puwRawData[0]: %d", uiHead != 0 ? puwRaw[0] : 0);
  return kParseRejected;
}

void IqToRawDataBySqrt(const int16_t* pswIq, uint16_t uwCount, uint16_t* puwRaw) {
  if (pswIq == nullptr || puwRaw == nullptr) {
    FerxLogPrint("IqToRawDataBySqrt", FERX_LOG_ERR, "swIqData or puwRawData is NULL \n");
    return;
  }
  for (uint32_t k = 0; k < uwCount; ++k) puwRaw[k] = static_cast<uint16_t>(LibCordicSqrt(pswIq[2 * k], pswIq[2 * k + 1]));
}

void TpcIQToRawData(const TpcIqRecord* pstRecord, uint16_t** ppuwOut) {
  const int16_t* pswIq = pstRecord != nullptr ? pstRecord->pswIq : nullptr;
  uint16_t* puwOut = ppuwOut != nullptr ? *ppuwOut : nullptr;
  if (pswIq == nullptr || puwOut == nullptr) {
    LogIqNull();
    return;
  }
  uint32_t uiCount = static_cast<uint32_t>(pstRecord->ubDrvNum) * pstRecord->ubSenNum;
  if (uiCount > kFerrantMaxNodes) uiCount = kFerrantMaxNodes;
  IqToRawDataBySqrt(pswIq, static_cast<uint16_t>(uiCount), puwOut);
}

void TpdGetIqData(int16_t** ppswOut) {
  if (ppswOut == nullptr) return;
  ppswOut[0] = gpswIBuffer;
  ppswOut[1] = gpswQBuffer;
}

uint8_t* TpdGetLineBufferAddr() { return gpubLineBuffer; }

void TpdRsvDataProc(uint8_t*) {}
void TpdCustomInfoDataProc(uint8_t, const uint8_t*) {}

const TsaParsedFrame* GetTsaParsedFrame() { return &gstTsaParsedFrame; }

extern "C" {
VENDOR_EXPORT void ResetFrameData(void) { gstTsaParsedFrame.stData = TsaParsedFrameData{}; }
VENDOR_EXPORT void ResetFrameAssistData(void) { gstTsaParsedFrame.stAssist = TsaParsedFrameAssist{}; }
VENDOR_EXPORT void ResetExtendData(void) { gstTsaParsedFrame.stExtend = TsaParsedFrameExtend{}; }
}
