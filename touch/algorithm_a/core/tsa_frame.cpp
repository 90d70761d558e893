// Frame entry and synchronisation of the decoded-frame path.
#include "tsa_frame.h"

#include <cstring>

#include "coord.h"
#include "framework.h"
#include "region.h"
#include "signal_proc.h"
#include "tsa_common.h"
#include "tsa_config.h"
#include "tsa_ctrl.h"
#include "tsa_custdbg.h"
#include "tsa_frame_links.h"
#include "tsa_fwpkt.h"
#include "tsa_memory.h"
#include "tsa_report.h"
#include "tsa_module_links.h"
#include "tsa_os.h"
#include "tsa_pack.h"
#include "tsa_parse.h"
#include "tsa_state.h"

TsaFrameHead gstTsaFrameHead;
AdcSatCnt gstAdcSatCnt;
NormCheckInfo gstNormCheckInfo;
uint8_t gpubKbCheckBuf[kKbCheckBufBytes];
uint8_t gubReceiveRefFlag;
uint8_t gubNotReportFlag;
uint8_t gubCurNoiseIndexBak;
uint8_t gubFreqSyncMissCnt;
uint8_t gubFreqNotMatchCnt;
uint8_t gubStateNotMatchCnt;
uint8_t gubReportRestartSta;
uint8_t gboWakeRefRestored;
uint8_t gubFrameState;
uint64_t gullTickTime;
uint64_t gullProcTimeStampBak;

namespace {

constexpr uint8_t kFpCfgAreaBit = 0x01;

constexpr uint8_t kHeadMarker = 0x80;
constexpr uint8_t kFlagsDropped = 0x0C;
constexpr uint8_t kFlagReference = DECODED_FRAME_FLAG_REFERENCE;
constexpr uint8_t kFlagRestoreRef = DECODED_FRAME_FLAG_RESTORE_REFERENCE;
constexpr uint8_t kFlagFreqScan = DECODED_FRAME_FLAG_FREQ_SCAN;
constexpr uint8_t kFlagGameOnly = DECODED_FRAME_FLAG_GAME_ONLY;
constexpr uint8_t kScanModeA = 2;
constexpr uint8_t kScanModeB = 4;
constexpr uint16_t kFreqChangeQuietFrames = 19;
constexpr uint64_t kTickUs = 100000u;
constexpr uint8_t kResultBeautyRawScaleBit = 0x20;
constexpr uint8_t kRefRequestWant = 1;
constexpr uint8_t kRefRequestDone = 0;
constexpr uint8_t kWakeRefPowerOnTimes = 9;
constexpr uint8_t kFpPointResFrames = 10;
constexpr uint8_t kTimeCfgIdleTickPos = 8;

enum class FrameData : uint8_t { kNone, kMain, kKbCheck, kRefBak };

uint8_t SatInc(uint8_t ubValue) { return ubValue == 0xFF ? ubValue : static_cast<uint8_t>(ubValue + 1); }

uint32_t NodeNum() {
  const uint32_t uiNodes = static_cast<uint32_t>(gstCommon.ubDrvNum) * gstCommon.ubSenNum;
  return uiNodes <= kFerrantMaxNodes ? uiNodes : kFerrantMaxNodes;
}

uint32_t SelfNum() { return static_cast<uint32_t>(gstCommon.ubDrvNum) + gstCommon.ubSenNum; }

// The IM block holds one row of max(drive, sense) values per configured frequency.
uint32_t ImNum() {
  uint32_t uiFreq = gstFreqHopCfg.aubData[kFreqHopCfgFreqNumPos];
  if (uiFreq > kMemMaxFreqNum) uiFreq = kMemMaxFreqNum;
  const uint32_t uiMaxDs = gstCommon.ubDrvNum > gstCommon.ubSenNum ? gstCommon.ubDrvNum : gstCommon.ubSenNum;
  return uiMaxDs * uiFreq;
}

uint8_t* Kb() { return gstKBBakSta.aubData; }
uint8_t CurFreqIndex() { return gstFreqHop.aubData[kFreqHopCurIndex]; }
void StopApp() { gstApp.ubFlags |= kAppFlagStop; }

void LogNotResumed() {
  if (gubSuspendSta == 0) FerxLogPrint("TsaUpdateFrameData", FERX_LOG_INFO, "update_frame_data: NOT RECEIVE SUSPEND!\n");
}

void LogOnce(bool* pboLogged, const char* pcWhat) {
  if (*pboLogged) return;
  *pboLogged = true;
  FerxLogPrint("TsaUpdateFrameData", FERX_LOG_ERR, "%s\n", pcWhat);
}

void QueueRefRequest(uint8_t ubParam) { FwPktQueueCmd(kFwCmdRefRequest, &ubParam, 1); }

// Step 7: what the frame carries and how the k/b state moves with it.
FrameData ChooseFrameData(const DecodedFrame& f, uint32_t* puiKbState) {
  uint8_t* kb = Kb();
  uint32_t& st = *puiKbState;
  if (f.frame_type == DECODED_FRAME_TYPE_KB_CHECK) {
    kb[kKbCheckValid] = 0;
    kb[kKbPendingCheck] = 1;
    if (st <= 2) {
      st = 5;
      kb[kKbCounter1] = 0;
    } else if (st == 3) {
      st = 6;
    } else if (st == 13 || st == 14) {
      st = 17;
      kb[kKbCounter1] = 0;
    } else if (st == 15) {
      st = 18;
    }
    return FrameData::kKbCheck;
  }
  if (f.frame_type != DECODED_FRAME_TYPE_NORMAL) {
    FerxLogPrint("TsaUpdateFrameData", FERX_LOG_ERR, "unsupported data type: %x\n", f.frame_type);
    return FrameData::kNone;
  }
  if ((f.frame_flags & kFlagReference) != 0) return FrameData::kRefBak;
  if (st == 0 || st == 4 || st == 16) {
    if (kb[kKbCondition6] != 0) {
      st = st == 16 ? 13 : 1;
      kb[kKbCounter3] = 5;
    } else if (kb[kKbCheckValid] != 0) {
      st = st == 16 ? 21 : 9;
    } else {
      st = st == 16 ? 16 : 4;
    }
  }
  return FrameData::kMain;
}

// Step 10: copy what the frame carries. Copies are bounded by the module's buffers.
void CopyFrameData(const DecodedFrame& f, FrameData eData) {
  const uint32_t uiNodes = NodeNum();
  switch (eData) {
    case FrameData::kMain: {
      if (uiNodes != 0 && f.mutual != nullptr) {
        memcpy(gstCommon.stData.puwRawData, f.mutual, uiNodes * sizeof(uint16_t));
        gstAdcSatCnt.stMutual = {f.tail.sat.mutual_adc_sat, f.tail.sat.mutual_adc_sat_word};
      }
      const uint32_t uiSelf = SelfNum();
      if (uiSelf != 0 && f.self1 != nullptr && gstCommon.stData.puwSelfRawData != nullptr) {
        memcpy(gstCommon.stData.puwSelfRawData, f.self1, uiSelf * sizeof(uint16_t));
        gstAdcSatCnt.stSelf = {f.tail.sat.self_adc_sat, f.tail.sat.self_adc_sat_word};
      }
      const uint32_t uiIm = ImNum();
      if (uiIm != 0 && f.extra1 != nullptr && gstCommon.puwImNoiseData != nullptr) {
        // The frame says how many IM bytes it carries; a shorter block than the
        // configured frequencies need leaves the rest of the IM rows zero.
        const uint32_t uiWant = uiIm * sizeof(uint16_t);
        const uint32_t uiHave = f.extra1_len > 0 ? static_cast<uint32_t>(f.extra1_len) : 0;
        const uint32_t uiCopy = uiHave < uiWant ? uiHave : uiWant;
        if (uiCopy < uiWant) {
          static bool sboLogged;
          LogOnce(&sboLogged, "IM data shorter than the configured frequencies need, rest cleared");
          memset(reinterpret_cast<uint8_t*>(gstCommon.puwImNoiseData) + uiCopy, 0, uiWant - uiCopy);
        }
        memcpy(gstCommon.puwImNoiseData, f.extra1, uiCopy);
        gstAdcSatCnt.stIm = {f.tail.sat.im_adc_sat, f.tail.sat.im_adc_sat_word};
      }
      break;
    }
    case FrameData::kKbCheck: {
      memset(gpubKbCheckBuf, 0, sizeof(gpubKbCheckBuf));
      // The check buffer also carries the 20-byte trailer behind the node values.
      static bool sboLogged;
      uint32_t uiBytes = uiNodes * sizeof(uint16_t);
      if (uiBytes + kKbTrailerBytes > kKbCheckBufBytes) {
        LogOnce(&sboLogged, "k/b check frame larger than the check buffer, cut");
        uiBytes = kKbCheckBufBytes - kKbTrailerBytes;
      }
      const uint32_t uiNormHave = f.norm_len > 0 ? static_cast<uint32_t>(f.norm_len) : 0;
      if (uiBytes > uiNormHave) uiBytes = uiNormHave;
      if (uiBytes != 0 && f.norm_data != nullptr) memcpy(gpubKbCheckBuf, f.norm_data, uiBytes);
      gstNormCheckInfo.uwFreqCode = f.scan_freq;
      gstNormCheckInfo.uiCheckValue = static_cast<uint32_t>(f.kdata_check);
      gstNormCheckInfo.uwCheckWord = f.kdata_check_word;
      break;
    }
    case FrameData::kRefBak: {
      if (uiNodes == 0 || f.mutual == nullptr) break;
      int16_t swFirst;
      memcpy(&swFirst, f.mutual, sizeof(swFirst));
      if (swFirst > 0) memcpy(gpuwMutualRefDataBak, f.mutual, uiNodes * sizeof(uint16_t));
      break;
    }
    case FrameData::kNone: break;
  }
  if (Kb()[kKbCheckValid] != 0) {
    gstNormCheckInfo.uwCheckWord = f.kdata_check_word;
    gstNormCheckInfo.uiCheckValue2 = static_cast<uint32_t>(f.kdata_check);
  }
}

// Step 11, the pending check of a k/b check frame: the trailer for the frequency the
// frame was sampled with. Returns false when no configured frequency matches.
bool KbCheckPending(uint32_t* puiKbState) {
  uint8_t* kb = Kb();
  uint32_t& st = *puiKbState;
  const uint32_t uiOrig = st;
  const uint8_t ubNum = FreqTableNum();
  uint8_t ubIndex = ubNum;
  for (uint8_t i = 0; i < ubNum; ++i) {
    if (static_cast<uint32_t>(FreqTableValue(i)) * 61u / 1000u == gstNormCheckInfo.uwFreqCode) {
      ubIndex = i;
      break;
    }
  }
  if (st == 6) st = 7;
  if (st == 18) st = 19;
  kb[kKbPendingCheck] = 0;
  if (ubIndex >= ubNum) return false;
  uint8_t aubTrailer[kKbTrailerBytes] = {};
  PackFlashKBInfo(reinterpret_cast<uint16_t*>(gpubKbCheckBuf), aubTrailer, ubIndex);
  const uint32_t uiFlags = (uiOrig == 17 || uiOrig == 18) ? kKbArea2Flags : kKbArea1Flags;
  kb[uiFlags + ubIndex] = 1;
  uint32_t uiAt = NodeNum() * sizeof(uint16_t);
  if (uiAt + kKbTrailerBytes > kKbCheckBufBytes) uiAt = kKbCheckBufBytes - kKbTrailerBytes;
  memcpy(gpubKbCheckBuf + uiAt, aubTrailer, sizeof(aubTrailer));
  uint32_t uiLen = LinkGetU16(gstNormalize.aubData, kNormRecordLen);
  if (uiLen > kBarrayCheckSlotBytes) uiLen = kBarrayCheckSlotBytes;
  if (uiLen != 0 && static_cast<uint32_t>(ubIndex + 1) * kBarrayCheckSlotBytes <= kBarrayCheckBufBytes) {
    memcpy(gpubBarrayCheckBuf + ubIndex * kBarrayCheckSlotBytes, gpubKbCheckBuf, uiLen);
  }
  return true;
}

void KbClearCounters234() {
  uint8_t* kb = Kb();
  kb[kKbCounter2] = 0;
  kb[kKbCounter3] = 0;
  kb[kKbCounter4] = 0;
}

// Counts one of the k/b counters up; past 5 it is cleared and the caller acts.
bool KbCountPast5(uint8_t ubCounter) {
  uint8_t* kb = Kb();
  kb[ubCounter] = SatInc(kb[ubCounter]);
  if (kb[ubCounter] <= 5) return false;
  kb[ubCounter] = 0;
  return true;
}

// Step 11: the k/b back-up state's advance with every frame.
void KbStateAdvance(uint32_t* puiKbState) {
  uint8_t* kb = Kb();
  uint32_t& st = *puiKbState;
  if (kb[kKbResetRequest] != 0) {
    kb[kKbCounter8] = 0;
    st = gstNormalize.aubData[kNormReStudyIndex] == 1 ? 20 : 8;
  } else {
    if (st == 22 || st == 10) kb[kKbDone9] = 1;
    kb[kKbCounter8] = 0;
  }
  if (kb[kKbPendingCheck] != 0 && (st == 5 || st == 6 || st == 17 || st == 18)) {
    if (!KbCheckPending(&st)) return;
  }
  switch (st) {
    case 1:
    case 13:
      if (KbCountPast5(kKbCounter3)) SetFreqBUpdateCmd(static_cast<uint8_t>(st == 13 ? 0xFFFFFFD0u : 0xFFFFFFFFu));
      break;
    case 2:
    case 14:
      if (KbCountPast5(kKbCounter3)) st = st == 14 ? 20 : 8;
      break;
    case 3:
    case 15:
      if (KbCountPast5(kKbCounter2)) st = st == 15 ? 19 : 7;
      break;
    case 4:
    case 16:
      kb[kKbCounter4] = SatInc(kb[kKbCounter4]);
      if (kb[kKbCounter4] == 6) {
        SetFreqBUpdateCmd(static_cast<uint8_t>(st == 16 ? 0xFFFFFFE0u : 0xFFFFFFF0u));
        KbClearCounters234();
      }
      break;
    case 5:
    case 17:
      kb[kKbCounter1] = SatInc(kb[kKbCounter1]);
      if (kb[kKbCounter1] > FreqTableNum() + 1u) st = st == 17 ? 19 : 7;
      KbClearCounters234();
      break;
    default: KbClearCounters234(); break;
  }
}

// Step 14: the raw scaling of panels whose raw data arrive unnormalised.
bool RawScalingOn() {
  return gstNormalize.aubData[kNormRawScale] == 1 && (gstResultBeautyCfg.aubData[0] & kResultBeautyRawScaleBit) != 0;
}

int16_t ScaleDiff(int16_t swValue) {
  const int32_t siScaled = static_cast<int32_t>(swValue) * 10 / 4;
  if (siScaled > INT16_MAX) return INT16_MAX;
  if (siScaled < INT16_MIN) return INT16_MIN;
  return static_cast<int16_t>(siScaled);
}

// Step 17: the firmware's frequency against the module's choice.
void FreqInfoSync(uint8_t ubFwIndex) {
  const uint32_t uiLimit = 3u * FreqTableNum() + 1u;
  if (gubFreqSyncMissCnt > uiLimit) {
    FwPktResendFreq(CurFreqIndex());
    gubFreqSyncMissCnt = 0;
  }
  if (ubFwIndex == CurFreqIndex()) {
    if (gboThpFirstFrame == 0) gubFreqSyncMissCnt = 0;
    return;
  }
  gubFreqSyncMissCnt = SatInc(gubFreqSyncMissCnt);
  gstCommon.ubFrameSkipped = 1;
  StopApp();
  FerxLogPrint("TsaFreqInfoSync", FERX_LOG_INFO, "freq not matching count :%d\n", gubFreqSyncMissCnt);
  FerxLogPrint("TsaFreqInfoSync", FERX_LOG_INFO, "ubFwCurNoiseIndex :%d, ubCurNoiseIndex: %d\n", ubFwIndex,
               CurFreqIndex());
  if (gubFpOneClickSta == 1) gubFpOneClickSta = 2;
}

// Step 18: the request bits the firmware state answers.
void StateInfoSync(uint32_t uiState) {
  uint64_t& ullReq = gstStateMachine.ullRequest;
  if (uiState == kFwStateGameOnly) {
    ullReq &= ~(kReqFinger14 | kReqFinger15);
    gstApp.ubApp = kAppFinger;
  } else if (uiState == kFwStateFinger) {
    if ((ullReq & kReqFinger14) != 0) {
      ullReq &= ~kReqFinger14;
    } else if ((ullReq & kReqFinger16) != 0) {
      ullReq &= ~kReqFinger16;
    }
    gstApp.ubApp = kAppFinger;
  }
  ullReq &= ~kReqFreqScanEnd;
}

// Step 16, state 240: the reference frame after a wake.
uint32_t TakeReferenceFrame(uint8_t ubFlagsReceived) {
  gubFpOneClickSta = 0;
  const uint32_t uiNodes = NodeNum();
  if ((ubFlagsReceived & kFlagRestoreRef) != 0 && gpuwMutualRefDataBak[0] != 0 && uiNodes != 0 &&
      gstCommon.stData.puwRefData != nullptr) {
    memcpy(gstCommon.stData.puwRefData, gpuwMutualRefDataBak, uiNodes * sizeof(uint16_t));
    SetPowerOnTimes(kWakeRefPowerOnTimes);
    gboWakeRefRestored = 1;
    gubFpOneClickSta = 1;
    guiIsFWakeCheckNcln = kNclnMarker;
    gubFpPointResCnt = kFpPointResFrames;
  }
  gubReceiveRefFlag = 1;
  QueueRefRequest(kRefRequestDone);
  gubReportRestartSta = 0;
  FerxLogPrint("TsaUpdateFrameData", FERX_LOG_INFO, "FRAME NOT RUN: %d\n", 2);
  return kFrameRefTaken;
}

uint32_t DeclineFrame() {
  FerxLogPrint("TsaUpdateFrameData", FERX_LOG_INFO, "FRAME NOT RUN: %d\n", 3);
  return kFrameNotRun;
}

// Step 19: run the app's stage list and hand the diff back in the frame.
uint32_t RunFrame(DecodedFrame* pstFrame, uint32_t uiState, uint16_t uwIndex, bool boScaled) {
  if (gboThpFirstFrame != 0) {
    gstApp.ubApp = kAppFinger;
    gubReportRestartSta = 2;
  }
  if (gubReceiveRefFlag == 0) {
    QueueRefRequest(kRefRequestWant);
    return DeclineFrame();
  }
  NoiseRawdataProc();
  BArrayChoose(gstCommon.stData.puwRawData);
  UpdateTickTime();
  UpdateFrameMissingFlag(uwIndex);
  gboThpFirstFrame = 0;
  // While the reference is being rebuilt after a wake, a finger left on the fingerprint
  // area must not end up in it. A panel without a fingerprint area has nothing to guard.
  if ((gstFingerPrintCfg.aubData[0] & kFpCfgAreaBit) != 0) JudgeWakeFpArea();
  // Screen off in gesture mode: the finger state runs its alternate app, the gesture list.
  if (gubSuspendSta == 0 && gstApp.ubApp == kAppFinger) gstApp.ubApp = kAppFingerGes;
  AppExecute();
  if (gstApp.ubApp == kAppFinger) IdleDelayCheck(uiState, uwIndex);
  if (gstCommon.ubFrameSkipped == 1) gubNotReportFlag = 2;

  const uint32_t uiNodes = NodeNum();
  int16_t* pswDiff = gstCommon.stData.pswDiffData;
  if (boScaled && pswDiff != nullptr) {
    for (uint32_t i = 0; i < uiNodes; ++i) {
      pswDiff[i] = ScaleDiff(pswDiff[i]);
      gswDiffDataBake[i] = ScaleDiff(gswDiffDataBake[i]);
    }
  }
  if (pswDiff != nullptr && pstFrame->mutual != nullptr && uiNodes != 0) {
    memcpy(pstFrame->mutual, pswDiff, uiNodes * sizeof(int16_t));
  }
  return kFrameRan;
}

uint32_t UpdateFrameDataLocked(DecodedFrame* pstFrame) {
  ClearAppExecEnd();
  uint16_t* puwRaw = gstCommon.stData.puwRawData;
  if (pstFrame == nullptr || puwRaw == nullptr) {
    FerxLogPrint("TsaUpdateFrameData", FERX_LOG_ERR, "pubFrameAddr or MutualRawData is NULL \n");
    LogNotResumed();
    return kFrameRefused;
  }
  const DecodedFrame& f = *pstFrame;
  // The frame's buffers are as long as the rows and columns it says it has; read at this
  // panel's size they would be read past. A frame that names no panel (0 x 0) says nothing
  // of its buffers and is refused as well.
  if (f.rows != gstCommon.ubDrvNum || f.columns != gstCommon.ubSenNum) {
    FerxLogPrint("TsaUpdateFrameData", FERX_LOG_ERR, "frame of %dx%d refused: the panel is %dx%d\n", f.rows, f.columns,
                 gstCommon.ubDrvNum, gstCommon.ubSenNum);
    LogNotResumed();
    return kFrameRefused;
  }
  const uint8_t ubFlags = f.frame_flags;
  const uint16_t uwIndex = f.ic_frame_count;

  // Step 4: the frame head.
  TsaFrameHead& h = gstTsaFrameHead;
  h.ubMarker = kHeadMarker;
  h.ubFwState = static_cast<uint8_t>(ubFlags & ~kFlagsDropped);
  h.ubDataType = f.frame_type;
  h.ubScanMode = f.state_code;
  h.uwFrameIndex = uwIndex;
  h.uwFrameWord = f.frame_length;
  h.ubFwFreqIndex = f.scan_freq_index;
  h.uwLast = 0;
  gstNormalize.aubData[kNormFwBIndex] = f.normalize_byte;
  ThpCmdBakFrameStart(reinterpret_cast<const uint8_t*>(&h));
  FrameHeadInfoBak(&h, 0);

  // Step 5: k/b flags.
  uint8_t* kb = Kb();
  kb[kKbResetRequest] = f.kb_reset_request;
  kb[kKbCheckValid] = (f.kdata_check != 0 && f.kdata_check_word != 0) ? 1 : 0;

  // Step 6: a change of the firmware's frequency right after start suppresses a report.
  if (f.scan_freq_index != gubCurNoiseIndexBak) {
    gubCurNoiseIndexBak = f.scan_freq_index;
    if (uwIndex <= kFreqChangeQuietFrames) gubNotReportFlag = 1;
  }

  // Step 7: data type.
  uint32_t uiKbState = LinkGetU32(kb, kKbState);
  const FrameData eData = ChooseFrameData(f, &uiKbState);
  LinkSetU32(kb, kKbState, uiKbState);

  // Step 8: scan mode.
  uint8_t ubScan;
  if (f.state_code == kScanModeA) {
    ubScan = kScanModeB;
  } else if (f.state_code == kScanModeB) {
    ubScan = kScanModeA;
  } else {
    FerxLogPrint("TsaUpdateFrameData", FERX_LOG_ERR, "unsupported scan mode: %x\n", f.state_code);
    LogNotResumed();
    return kFrameRefused;
  }
  if (eData == FrameData::kNone) {
    LogNotResumed();
    return kFrameRefused;
  }
  h.ubScanMode = ubScan;

  // Step 9: the firmware state.
  const uint32_t uiState = FrameDecodeFwState(ubFlags);
  h.ubFwState = static_cast<uint8_t>(uiState);

  // Steps 10 and 11.
  CopyFrameData(f, eData);
  uiKbState = LinkGetU32(kb, kKbState);
  KbStateAdvance(&uiKbState);
  LinkSetU32(kb, kKbState, uiKbState);

  // Step 12: an all-zero raw head means the data did not arrive.
  if (eData == FrameData::kKbCheck || uiState == kFwStateReference || uiState == kFwStateFreqScan) {
    StopApp();
  } else {
    const uint32_t uiHead = NodeNum() < 5 ? NodeNum() : 5;
    uint32_t uiSum = 0;
    for (uint32_t i = 0; i < uiHead; ++i) uiSum += puwRaw[i];
    if (uiSum == 0) {
      FerxLogPrint("TsaUpdateFrameData", FERX_LOG_ERR, "puwRawData error, puwRawData[0]: %d\n",
                   uiHead != 0 ? puwRaw[0] : 0);
      LogNotResumed();
      return kFrameRefused;
    }
  }

  // Step 13. With the screen off the frame runs only for gesture mode.
  if (gubSuspendSta == 0 && GestureModeEnabled() == 0) {
    LogNotResumed();
    return kFrameRan;
  }

  // Step 14.
  const bool boScaled = RawScalingOn();
  if (boScaled) {
    const uint32_t uiNodes = NodeNum();
    for (uint32_t i = 0; i < uiNodes; ++i) puwRaw[i] = static_cast<uint16_t>(puwRaw[i] * 2u / 5u + 6000u);
  }

  // Step 15.
  gullProcTimeStamp = TsaNowUs();
  gullProcTimeStampBak = gullProcTimeStamp;
  gubFrameState = static_cast<uint8_t>(ubScan & 0x02u);
  gstCommon.ubIdleAutoWake = static_cast<uint8_t>((ubScan >> 2) & 0x01u);
  gstStateMachine.uiState = uiState;

  // Step 16.
  if (uiState == kFwStateFinger || uiState == kFwStateGameOnly) {
    FreqInfoSync(f.scan_freq_index);
    StateInfoSync(uiState);
    return RunFrame(pstFrame, uiState, uwIndex, boScaled);
  }
  if (uiState == kFwStateReference) return TakeReferenceFrame(ubFlags);
  if (gubReceiveRefFlag == 0) QueueRefRequest(kRefRequestWant);
  return DeclineFrame();
}

}  // namespace

uint8_t FrameDecodeFwState(uint8_t ubFlags) {
  if ((ubFlags & kFlagGameOnly) != 0) return kFwStateGameOnly;
  if ((ubFlags & kFlagFreqScan) != 0) return kFwStateFreqScan;
  if ((ubFlags & kFlagReference) != 0) return kFwStateReference;
  return kFwStateFinger;
}

extern "C" uint32_t TsaUpdateFrameData(DecodedFrame* pstFrame) {
  MutexLock();
  const uint32_t uiResult = UpdateFrameDataLocked(pstFrame);
  MutexUnlock();
  return uiResult;
}

namespace {

constexpr uint32_t kScanRateNumerator = 500000;

// The parsed-frame record of the module API after a raw frame. The scan rate is the
// report rate of the common scan period (as the frame report gives it); frequency A is
// the sampling back-up's frequency with its duration word and the controller's frequency
// index of the frame; status and request are the state machine's. This module's frames
// carry no self-scan frequencies or durations, stylus, hover, button, force or frame-log
// data, so those fields stay as ResetFrameData leaves them (0 and null).
void FillParsedFrame(uint8_t ubState) {
  TsaParsedFrameData& d = gstTsaParsedFrame.stData;
  d.ullProcTimeStamp = gullProcTimeStamp;
  d.uwFrameIndex = gstTsaFrameHead.uwFrameIndex;
  const uint16_t uwPeriod = gstCommon.uwScanPeriod;
  d.uwScanRate = uwPeriod == 0 ? 0 : static_cast<uint16_t>(2 * (kScanRateNumerator / uwPeriod));
  d.uiStatus = gstStateMachine.uiState;
  d.uiRequest = static_cast<uint32_t>(gstStateMachine.ullRequest);
  d.uwMutualDuration = gstMutualCfgBak.uwFreqWord;
  d.uwMutualFreqA = gstMutualCfgBak.uwFreq;
  d.uwMutualFreqAIndex = gstTsaFrameHead.ubFwFreqIndex;
  d.uiNoiseType = gstCommon.ubNoiseType;
  d.ubFwMode = gstTsaFrameHead.ubScanMode;
  d.puwMutualData = gstCommon.stData.puwRawData;
  d.puwSelfData = gstCommon.stData.puwSelfRawData;
  d.pswIData = gpswIBuffer;
  d.pswQData = gpswQBuffer;
  d.pubNoiseData = gstRxNoiseInfo.aubData;
  d.puwImData = gstCommon.puwImNoiseData;
  d.pstMutualAdc = &gstAdcSatCnt.stMutual;
  d.pstSelfAdc = &gstAdcSatCnt.stSelf;
  d.pstImAdc = &gstAdcSatCnt.stIm;
  d.ubTick100ms = gstCommon.ubTick100ms;
  d.ubFrameStatus = ubState;
  d.pubFrameInfo = gstFrameReportInfo.aubFrameHead;
  gstTsaParsedFrame.stExtend.puwMutualRefData = gstCommon.stData.puwRefData;
}

uint32_t ProcessFramedataLocked(uint8_t* pubFrame, uint32_t uiLength) {
  uint8_t ubFreqNum = FreqTableNum();
  if (ubFreqNum > kMemMaxFreqNum) ubFreqNum = kMemMaxFreqNum;
  FrameParseInput stIn = {uiLength, ubFreqNum, gstCommon.ubDrvNum, gstCommon.ubSenNum, pubFrame};
  FrameParseTargets stTargets = {&gstAdcSatCnt.stMutual, gstCommon.stData.puwRawData, &gstAdcSatCnt.stSelf,
                                 gstCommon.stData.puwSelfRawData, &gstAdcSatCnt.stIm, gstCommon.puwImNoiseData,
                                 gstRxNoiseInfo.aubData, gstFrameReportInfo.aubFrameHead};
  const uint32_t uiStatus = ParseFramedata(&stIn, &stTargets);
  static_assert(sizeof(gstTsaFrameHead) == kParseHeadBytes);
  if (pubFrame != nullptr && uiLength >= kParseHeadBytes) {
    memcpy(&gstTsaFrameHead, gstFrameReportInfo.aubFrameHead, kParseHeadBytes);
  }
  if (uiStatus != kParseOk) return uiStatus;

  const TsaFrameHead& h = gstTsaFrameHead;
  const uint8_t ubState = h.ubFwState;
  if (ubState == kParseStateNoRaw) return kParseOk;
  gubFrameState = static_cast<uint8_t>(h.ubScanMode & 0x02u);
  gstStateMachine.uiPrevState = gstStateMachine.uiState;
  gstStateMachine.uiState = ubState;
  gstCommon.ubIdleAutoWake = static_cast<uint8_t>((h.ubScanMode >> 2) & 0x01u);
  UpdateFrameMissingFlag(h.uwFrameIndex);
  static_assert(kParseHeadBytes + sizeof(uint32_t) + kRxNoiseInfoBytes <= kMemFrameHeadBakBytes);
  if (gpubFrameHeadInfoBak != nullptr) {
    memcpy(gpubFrameHeadInfoBak + kParseHeadBytes + sizeof(uint32_t), gstRxNoiseInfo.aubData, kRxNoiseInfoBytes);
  }
  gullProcTimeStamp = TsaNowUs();
  gullProcTimeStampBak = gullProcTimeStamp;
  FirstFrameFreqInit(&h);
  FrameworkRawDataPrep(ubState);
  UpdateTickTime();
  ClearAppExecEnd();
  ProductTestJudge();
  // The request bits only: a game-only frame keeps the app the requests choose.
  StateRequestSync(0);
  // A game-only frame keeps whatever app runs and leaves the mismatch counter alone.
  if (ubState == kFwStateGameOnly) {
    FerxLogPrint("FwStateMatching", FERX_LOG_INFO, "state matching 7-finger_only_game\n");
  } else {
    FwStateMatching(ubState);
  }
  FwFreqHopMatching(h.ubFwFreqIndex);
  AppExecute();
  if (gstApp.ubApp == kAppFinger) IdleDelayCheck(ubState, h.uwFrameIndex);
  SetCustomDebugData();
  CustomReportDataTrans();
  FillParsedFrame(ubState);
  return kParseOk;
}

}  // namespace

uint32_t ProcessFramedata(uint8_t* pubFrame, uint32_t uiLength) {
  MutexLock();
  const uint32_t uiStatus = ProcessFramedataLocked(pubFrame, uiLength);
  MutexUnlock();
  return uiStatus;
}

extern "C" uint8_t GetCurNoiseIndex(void) { return gubCurNoiseIndexBak; }

extern "C" void SetReceiveRefFlag(uint8_t ubValue) { gubReceiveRefFlag = ubValue; }

void UpdateFrameMissingFlag(uint16_t uwFrameIndex) {
  const uint16_t uwLast = gstCommon.uwLastFrameIndex;
  // The next index is counted without wrapping: a 0 after 65535 is taken as a gap, which
  // costs at most one frame's pairing hold.
  const uint32_t uiNext = uwLast + 1u;
  if (uwFrameIndex == uwLast) {
    FerxLogPrint("UpdateFrameMissingFlag", FERX_LOG_INFO,
                 "frameidxcheck - Same frame, curFrameIdx(%d), lastFrameIdx(%d)\n", uwFrameIndex, uwLast);
    StopApp();
  } else if (uwFrameIndex != uiNext) {
    FerxLogPrint("UpdateFrameMissingFlag", FERX_LOG_INFO,
                 "frameidxcheck - Missing frame, curFrameIdx(%d), lastFrameIdx(%d)\n", uwFrameIndex, uwLast);
    gstCommon.ubMissingFrame = 1;
  } else {
    const int16_t swSatCount = static_cast<int16_t>(gstAdcSatCnt.stMutual.uiValue >> 16);
    gstCommon.ubMissingFrame = swSatCount >= static_cast<int16_t>(kMissingSatCount) ? 1 : 0;
  }
  gstCommon.uwLastFrameIndex = uwFrameIndex;
}

void UpdateTickTime() {
  const uint64_t ullNow = TsaNowUs();
  if (gullTickTime == 0 || gullTickTime > ullNow) gullTickTime = ullNow;
  gstCommon.ubTick100ms = 0;
  if (ullNow - gullTickTime > kTickUs) {
    gstCommon.ubTick100ms = 1;
    gullTickTime = 0;
  }
  if (gstCommon.ubIdleAutoWake != 0) {
    gstCommon.ubTick100ms = reinterpret_cast<const uint8_t*>(&gstTimeCtrlCfg)[kTimeCfgIdleTickPos];
  }
}

void FwStateRecordReset() {
  gubStateNotMatchCnt = 0;
  gubFreqNotMatchCnt = 0;
  gubFreqSyncMissCnt = 0;
}

void FirstFrameFreqInit(const TsaFrameHead* pstHead) {
  if (pstHead == nullptr || gboThpFirstFrame == 0) return;
  uint8_t ubIndex = pstHead->ubFwFreqIndex;
  if (ubIndex >= FreqTableNum()) ubIndex = 0;
  gstFreqHop.aubData[kFreqHopCurIndex] = ubIndex;
  gstFreqHop.aubData[kFreqHopPrevIndex] = ubIndex;
  LinkSetU16(gstFreqHop.aubData, kFreqHopCurFreq, FreqTableValue(ubIndex));
  GetNewFreqInfo();
  FreqTableSampleCfg(ubIndex, &gstMutualCfgBak);
  gstApp.ubApp = kAppFinger;
  gboThpFirstFrame = 0;
}

void StateRequestSync(uint32_t uiState) {
  static constexpr uint64_t kOrder[] = {kReqFreqScanEnd, kReqFinger14, kReqFinger15, kReqFinger16};
  uint64_t& ullReq = gstStateMachine.ullRequest;
  for (const uint64_t ullBit : kOrder) {
    if ((ullReq & ullBit) == 0) continue;
    ullReq &= ~ullBit;
    gstApp.ubApp = ullBit == kReqFreqScanEnd ? kAppFreqScan : kAppFinger;
    break;
  }
  if (uiState == kFwStateGameOnly) gstApp.ubApp = kAppFinger;
}

void FwStateMatching(uint32_t uiState) {
  bool boMatch = false;
  if (uiState == kFwStateFreqScan) {
    boMatch = gstApp.ubApp == kAppFreqScan;
    if (!boMatch) {
      StopApp();
      FerxLogPrint("FwStateMatching", FERX_LOG_INFO, "state not matching 10-freqscan\n");
    }
  } else if (uiState == kFwStateGameOnly) {
    boMatch = true;
    FerxLogPrint("FwStateMatching", FERX_LOG_INFO, "state matching 7-finger_only_game\n");
  } else if (uiState == kFwStateFinger) {
    boMatch = gstApp.ubApp == kAppFinger;
    if (!boMatch) {
      StopApp();
      gubStateNotMatchCnt = SatInc(gubStateNotMatchCnt);
      FerxLogPrint("FwStateMatching", FERX_LOG_INFO, "state not matching 1-finger\n");
    }
  } else {
    StopApp();
    FerxLogPrint("FwStateMatching", FERX_LOG_INFO, "state not matching, current fw State is: %d\n",
                 static_cast<int>(uiState));
  }
  if (boMatch) gubStateNotMatchCnt = 0;
  if (gubStateNotMatchCnt > FreqTableNum()) {
    gubStateNotMatchCnt = 0;
    if (gstApp.ubApp == kAppFreqScan) {
      LinkSetU16(gstNormalize.aubData, kNormScanWord10, 0);
      gstNormalize.aubData[kNormStudyRunning] = 0;
      LinkSetU16(gstNormalize.aubData, kNormScanWord15, 5);
      gstStateMachine.ullRequest |= kReqFinger14;
    }
  }
}

void FwFreqHopMatching(uint8_t ubFwFreqIndex) {
  if (gboEnterMutilFreqTest != 0) {
    FerxLogPrint("FwFreqHopMatching", FERX_LOG_INFO, "Enter Muti Freq test mode\n");
    return;
  }
  if (gubFreqNotMatchCnt > 3u * FreqTableNum() + 1u) {
    FwPktResendFreq(CurFreqIndex());
    gubFreqNotMatchCnt = 0;
  }
  if (ubFwFreqIndex != CurFreqIndex()) {
    gubFreqNotMatchCnt = SatInc(gubFreqNotMatchCnt);
    StopApp();
    FerxLogPrint("FwFreqHopMatching", FERX_LOG_INFO, "freq not matching count :%d\n", gubFreqNotMatchCnt);
  } else {
    gubFreqNotMatchCnt = 0;
  }
}

void FrameHeadInfoBak(const TsaFrameHead* pstHead, uint32_t uiLength) {
  uint8_t* pubBak = gpubFrameHeadInfoBak;
  if (pubBak == nullptr || pstHead == nullptr) return;
  static_assert(sizeof(TsaFrameHead) + sizeof(uint32_t) <= kMemFrameHeadBakBytes);
  memcpy(pubBak, pstHead, sizeof(TsaFrameHead));
  memcpy(pubBak + sizeof(TsaFrameHead), &uiLength, sizeof(uiLength));
}

namespace {
const TsaFrameProcFunc kFrameProcFunc = {IdleDelayCheck,     FirstFrameFreqInit, StateRequestSync,
                                         FwStateMatching,    FwFreqHopMatching,  UpdateTickTime,
                                         UpdateFrameMissingFlag};
const TsaFrameDataBakFunc kFrameDataBakFunc = {FrameHeadInfoBak, ThpCmdBakAppend, ThpCmdBakFrameStart,
                                               ThpCmdBakCheckReset};
}  // namespace

const TsaFrameProcFunc* GetTsaFrameProcFunc() { return &kFrameProcFunc; }
const TsaFrameDataBakFunc* GetTsaFrameDataBakFunc() { return &kFrameDataBakFunc; }
