// Customer debug state, the report debug and flash blocks, and the frame-parse record step.
#include "tsa_custdbg.h"

#include <cstring>

#include "coord.h"
#include "coord_records.h"
#include "region_records.h"
#include "signal_proc.h"
#include "tsa_api.h"
#include "tsa_common.h"
#include "tsa_ctrl.h"
#include "tsa_frame_links.h"
#include "tsa_memory.h"
#include "tsa_replay.h"
#include "tsa_os.h"


uint8_t gstTamrelDebugStateInfo[kCustDebugStateBytes];
uint8_t* gpstTamrelDebugInfo;

// B-array study count of the customer hooks.
uint8_t GetBarrayStudyTimes();

namespace {

constexpr uint8_t kBit0 = 0x01, kBit1 = 0x02, kBit2 = 0x04, kBit3 = 0x08, kBit4 = 0x10, kBit5 = 0x20, kBit6 = 0x40,
                  kBit7 = 0x80;
constexpr uint32_t kHopCurWordAt = 28;
constexpr uint32_t kHopWordsAt = 44;
constexpr uint32_t kHopEvent0FlagAt = 176;
constexpr uint32_t kRawNormalizeCfgLevelAt = 10;
constexpr uint32_t kPairCfgLeaveHoldAt = 6;
constexpr uint32_t kPairCfgDelayAt = 7;
constexpr uint32_t kEvent6RecordAt = 163;
constexpr uint8_t kNormStudyBase = 10;
constexpr uint32_t kNormByte26 = 26;
constexpr uint32_t kNormByte28 = 28;
constexpr uint32_t kMutualOfsThirdAt = 4;

uint8_t* State() { return gstTamrelDebugStateInfo; }

// v / d, 255 from LIMIT on (negative values count as 0).
uint8_t Scaled(int32_t v, int32_t d, int32_t limit) {
  if (v >= limit) return 0xFF;
  if (v <= 0) return 0;
  return static_cast<uint8_t>(v / d);
}

void SetBit(uint8_t& b, uint8_t mask, bool on) { b = static_cast<uint8_t>(on ? (b | mask) : (b & ~mask)); }

uint8_t SatInc(uint8_t v) { return v == 0xFF ? v : static_cast<uint8_t>(v + 1); }

}  // namespace

void CustomDebugInit() {
  memset(gstTamrelDebugStateInfo, 0, sizeof(gstTamrelDebugStateInfo));
  gpstTamrelDebugInfo = gstTamrelDebugStateInfo;
}

void SetCustomDebugDataFrom(const CustomDebugFrameInputs& in) {
  uint8_t* s = State();
  const CommonRecord& c = gstCommon;
  SetBit(s[0], kBit0, c.ubCoordOption != 0);
  SetBit(s[0], kBit1, c.ubChargerFlag != 0);
  SetBit(s[0], kBit2, c.ubWaterFlag != 0);
  SetBit(s[0], kBit3, c.ubTimerHold != 0);
  SetBit(s[0], kBit6, c.ubLowTempState == 2);
  s[1] = static_cast<uint8_t>((c.ubGameModeFlag != 0 ? kBit0 : 0) | (in.ubNormByte16 == 0 ? kBit1 : 0) |
                              ((in.ubNormByte28 & 1) != 0 ? kBit2 : 0) | (in.ubNormByte25 == 0 ? kBit3 : 0) |
                              ((in.ubNormByte30 & 0x0F) << 4));
  s[2] = static_cast<uint8_t>((c.ubNoiseType & 0x0F) | ((in.ubHopCurIndex & 0x0F) << 4));
  int32_t siOfs = in.swOfsThird / 200;  // toward zero
  if (siOfs >= 16) siOfs = 15;
  s[3] = static_cast<uint8_t>((in.ubRegionNum & 0x0F) | ((siOfs & 0x0F) << 4));
  s[4] = 0;
  SetBit(s[6], kBit3, false);
  s[10] = Scaled(c.uwThreshold2, 2, 510);
  s[11] = Scaled(in.uwHopCurWord, 4, 1020);
  s[12] = Scaled(in.swOfsMax, 4, 1024);
  s[13] = Scaled(-static_cast<int32_t>(in.swOfsMin), 4, 1024);
  SetBit(s[14], kBit5, in.boNfNoiseEn != 0);
  for (uint32_t i = 0; i < 4; ++i) s[16 + i] = Scaled(in.auwHopWords[i], 2, 510);
}

void SetCustomDebugData() {
  CustomDebugFrameInputs in{};
  const uint8_t* norm = gstNormalize.aubData;
  const uint8_t* hop = gstFreqHop.aubData;
  in.ubNormByte16 = norm[kNormEnabled];
  in.ubNormByte25 = norm[kNormRawScale];
  in.ubNormByte28 = norm[kNormByte28];
  in.ubNormByte30 = norm[kNormCheckState];
  in.ubHopCurIndex = hop[kFreqHopCurIndex];
  // The index comes from the hopping record: read its word only inside the record.
  const uint32_t uiWordAt = kHopCurWordAt + 2u * in.ubHopCurIndex;
  in.uwHopCurWord = uiWordAt + 1 < sizeof(gstFreqHop.aubData) ? LinkGetU16(hop, uiWordAt) : 0;
  for (uint32_t i = 0; i < 4; ++i) in.auwHopWords[i] = LinkGetU16(hop, kHopWordsAt + 2 * i);
  in.swOfsThird = static_cast<int16_t>(gstMutualOfsCancel.uwPeak);
  static_assert(offsetof(MutualOfsCancelRec, uwPeak) == kMutualOfsThirdAt);
  in.swOfsMax = gstMutualOfsCancel.swMax;
  in.swOfsMin = gstMutualOfsCancel.swMin;
  in.ubRegionNum = gstMutualRegion.ubRegionNum;
  in.boNfNoiseEn = gstNfNoiseProc.aubData[kNfNoiseEnable];
  SetCustomDebugDataFrom(in);
}

void GetCustomDebugData(uint8_t ubKind, const uint8_t* pubData, uint8_t ubFlags) {
  uint8_t* s = State();
  switch (ubKind) {
    case 0:
      SetBit(s[14], kBit7, gstFreqHop.aubData[kHopEvent0FlagAt] != 0);
      break;
    case 1:
      s[15] = SatInc(s[15]);
      break;
    case 2:
      SetBit(s[0], kBit5, false);
      SetBit(s[14], kBit4, false);
      break;
    case 3: {
      if (pubData == nullptr) return;
      const uint16_t v = LinkGetU16(pubData, 0);
      if (v > gstRawNormalizeCfg.aubData[kRawNormalizeCfgLevelAt] && gstCommon.ubNormFlagA != 0) {
        SetBit(s[0], kBit5, true);
      } else if (v == 0) {
        SetBit(s[0], kBit5, false);
      } else {
        SetBit(s[14], kBit4, true);
      }
      break;
    }
    case 4:
      if (pubData == nullptr) return;
      s[7] = SatInc(s[7]);
      s[6] = pubData[0];
      break;
    case 5: {
      if (pubData == nullptr) return;
      const uint8_t ubDelay = gstCoordComInput.ubReportDelayCode;
      const uint8_t ubHold = gstCoordComInput.ubLeaveHoldCnt;
      const uint8_t ubDelayLimit = static_cast<uint8_t>((gstCoordPairCfg.aubData[kPairCfgDelayAt] & 0x0F) * 16);
      const uint8_t ubHoldLimit = gstCoordPairCfg.aubData[kPairCfgLeaveHoldAt];
      if (ubDelay <= ubDelayLimit && ubHold <= ubHoldLimit) return;
      s[9] = SatInc(s[9]);
      s[8] = pubData[0];
      s[6] = static_cast<uint8_t>((s[6] & ~(kBit4 | kBit5 | kBit6)) | (ubFlags & (kBit4 | kBit5 | kBit6)));
      // Report delay in the low nibbles (in frames), leave hold in the high ones.
      if (ubDelay > ubDelayLimit) s[28] = static_cast<uint8_t>((s[28] & 0xF0) | ((ubDelay >> 4) & 0x0F));
      if (ubHold > ubHoldLimit) s[29] = static_cast<uint8_t>((s[29] & 0xF0) | (ubHold & 0x0F));
      break;
    }
    case 6:
      if (pubData == nullptr) return;
      SetBit(s[6], kBit7, (pubData[kEvent6RecordAt] & kBit0) != 0);
      break;
    default:
      break;
  }
}

void CustomDebugDataTrans(uint8_t* pubBuffer, uint32_t uiLength) {
  if (pubBuffer == nullptr || uiLength == 0) return;
  // Never more than the state holds.
  memcpy(pubBuffer, gstTamrelDebugStateInfo, uiLength < kCustDebugStateBytes ? uiLength : kCustDebugStateBytes);
}

void CustomDebugDataShow() {}

void CustomDebugSignalSlices(RecordSlice* pstNfNoise, RecordSlice* pstFreqHop, RecordSlice* pstNormalize) {
  if (pstNfNoise != nullptr) *pstNfNoise = RecordSlice{&gstNfNoiseProc, sizeof(gstNfNoiseProc)};
  if (pstFreqHop != nullptr) *pstFreqHop = RecordSlice{&gstFreqHop, sizeof(gstFreqHop)};
  if (pstNormalize != nullptr) *pstNormalize = RecordSlice{&gstNormalize, sizeof(gstNormalize)};
}

uint8_t PackReportDebugInfo(uint8_t* pubOut) {
  const uint8_t ubStudy = GetBarrayStudyTimes();
  if (pubOut == nullptr) return ubStudy;
  const CommonRecord& c = gstCommon;
  const uint8_t info[kReportDebugInfoBytes] = {
      ubStudy,
      static_cast<uint8_t>(kNormStudyBase - gstNormalize.aubData[kNormByte26]),
      c.ubGameModeFlag,
      c.ubCoordOption,
      c.ubChargerFlag,
      c.ubChargerKind,
      c.ubWaterResult,
      c.ubLowTempState,
      c.ubLargeAreaFlag,
      c.ubLowTempOutput,
      c.ubPointCount,
      gstMutualRegion.ubRegionNum,
  };
  memcpy(pubOut, info, sizeof(info));
  return ubStudy;
}

void PackReportFlashData(uint8_t* pubOut) {
  if (pubOut == nullptr) return;
  ReplayPutU32(pubOut, kFlashBlockWord0);
  ReplayPutU32(pubOut + 4, kFlashBlockWord1);
  uint32_t uiConfig = *GetConfigBlobLength();
  if (uiConfig > kTsaConfigMax) {
    FerxLogPrint("FyTpReadConfig", FERX_LOG_ERR, "Config length Error: %u", kTsaConfigMax);
    uiConfig = kTsaConfigMax;
  }
  memset(pubOut + kFlashBlockHeadBytes, 0, kFlashBlockConfigArea);
  memcpy(pubOut + kFlashBlockHeadBytes, GetConfigBlob(), uiConfig);
  static_assert(kFlashBlockMirrorBytes <= kTamrelFlashBytes);
  memcpy(pubOut + kFlashBlockMirrorAt, gpubTamrelFlash, kFlashBlockMirrorBytes);
}

void FillFrameParseData(const uint8_t* pubHead, uint8_t ubTag) {
  if (pubHead == nullptr) return;
  uint8_t aubHead[kFrameHeadBytes];
  memcpy(aubHead, pubHead, sizeof(aubHead));
  ThpCmdBakFrameStart(aubHead);
  memset(gpuwRefUpdateTypeBak, 0, sizeof(gpuwRefUpdateTypeBak));
  if (gpubFrameHeadInfoBak != nullptr) {
    memcpy(gpubFrameHeadInfoBak, aubHead, sizeof(aubHead));
    gpubFrameHeadInfoBak[sizeof(aubHead)] = ubTag;
  }
  if (gubDataRecordStartCnt == kDataRecordCapture) {
    FillFrameGlobalVarRcrd();
    gubDataRecordStartCnt = kDataRecordDone;
  } else if (gubDataRecordStartCnt == kDataRecordDone) {
    gubDataRecordStartCnt = kDataRecordOff;
  }
}
