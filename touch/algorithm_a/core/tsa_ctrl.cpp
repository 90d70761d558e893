// Module commands: the command FIFO, the dispatcher and the command history.
#include "tsa_ctrl.h"

#include <cstring>

#include "coord.h"
#include "coord_records.h"
#include "framework.h"
#include "region.h"
#include "signal_proc.h"
#include "tsa_common.h"
#include "tsa_config.h"
#include "tsa_frame_links.h"
#include "tsa_fwpkt.h"
#include "tsa_memory.h"
#include "tsa_report.h"
#include "tsa_startup.h"
#include "tsa_module_links.h"

uint8_t gpubTsaCmdFifo[kCmdFifoBytes];
CmdFifoVar gstCmdFifoVar;
uint8_t gubSuspendSta;
uint8_t gubPowerOnFlag;
uint8_t gstChrgResultNcln[2];
int8_t gpsbCmdTemperatureValueNcln[6];

namespace {

constexpr uint8_t kScreenOff = 0;
constexpr uint8_t kScreenOnNoIdle = 136;
constexpr uint8_t kFreqUnfix = 255;
constexpr uint8_t kChargerKind = 4;
constexpr uint8_t kChargerOn = 1;
constexpr uint8_t kTempFlagsFromCmd = 3;
constexpr uint8_t kEdgeCfgGameBit = 0x02;
constexpr uint8_t kTimeCfgSecondIdleBit = 0x08;
constexpr uint16_t kIdleTimeNever = 65535;
constexpr uint8_t kIdleTimeFallback = 2;

struct CmdFields {
  uint32_t uiId;
  uint16_t uwCount;
  uint8_t ubP1;
  uint8_t ubP2;
};

CmdFields SplitCmd(uint64_t ullCmd) {
  return {static_cast<uint32_t>(ullCmd & 0xFFFFFFFFu), static_cast<uint16_t>((ullCmd >> 32) & 0xFFFFu),
          static_cast<uint8_t>((ullCmd >> 48) & 0xFFu), static_cast<uint8_t>(ullCmd >> 56)};
}

void SlotWords(const uint8_t* pubSlot, uint64_t* pullCmd, uint64_t* pullArg) {
  memcpy(pullCmd, pubSlot, sizeof(*pullCmd));
  memcpy(pullArg, pubSlot + 8, sizeof(*pullArg));
}

// ---- History ----------------------------------------------------------------------------

void HistoryReset(uint8_t* pubBak) {
  memset(pubBak, 0, kCmdBakTagPos);
  gubThpCmdCnt = 0;
  gubThpCmdOffset = static_cast<uint8_t>(kCmdBakFirstEntry);
}

// Step 1 of CtrlState: a new frame's first command starts a new history; the entry is
// recorded only while it fits (14 per frame); the command is applied either way.
void HistoryRecord(uint64_t ullCmd, uint64_t ullArg) {
  uint8_t* pubBak = gpubThpCmdBak;
  if (pubBak == nullptr) return;
  if (pubBak[kCmdBakTagPos] != pubBak[kCmdBakHeldTagPos]) {
    HistoryReset(pubBak);
    pubBak[kCmdBakHeldTagPos] = pubBak[kCmdBakTagPos];
  }
  uint32_t uiOffset = gubThpCmdOffset;
  if (uiOffset < kCmdBakFirstEntry) uiOffset = kCmdBakFirstEntry;
  if (uiOffset + kCmdBakEntryBytes > kCmdBakCountPos) return;
  const CmdFields f = SplitCmd(ullCmd);
  uint8_t aubEntry[kCmdBakEntryBytes];
  aubEntry[0] = static_cast<uint8_t>(f.uwCount & 0xFFu);
  aubEntry[1] = static_cast<uint8_t>(f.uiId & 0xFFu);
  aubEntry[2] = f.ubP1;
  aubEntry[3] = f.ubP2;
  memcpy(&aubEntry[4], &ullArg, sizeof(ullArg));
  uint16_t uwSum = 0;
  for (uint32_t i = 0; i < 12; ++i) uwSum = static_cast<uint16_t>(uwSum + aubEntry[i]);
  aubEntry[12] = static_cast<uint8_t>(uwSum & 0xFFu);
  aubEntry[13] = static_cast<uint8_t>(uwSum >> 8);
  memcpy(pubBak + uiOffset, aubEntry, sizeof(aubEntry));
  gubThpCmdOffset = static_cast<uint8_t>(uiOffset + kCmdBakEntryBytes);
  gubThpCmdCnt = static_cast<uint8_t>(gubThpCmdCnt + kCmdBakEntryBytes);
  pubBak[kCmdBakUsedPos] = gubThpCmdCnt;
  pubBak[kCmdBakCountPos] = static_cast<uint8_t>(pubBak[kCmdBakCountPos] + 1);
}

// ---- Commands ---------------------------------------------------------------------------

void NfNoiseEnable(bool boOn) {
  gstNfNoiseProc.aubData[kNfNoiseEnable] = boOn ? 1 : 0;
  gstNfNoiseProc.aubData[kNfNoiseLevel] = boOn ? gstNoiseNfProcCfg.aubData[kNoiseNfCfgLevel] : 0;
}

void CmdTemperature(uint8_t ubValue) {
  memmove(&gpsbCmdTemperatureValueNcln[1], &gpsbCmdTemperatureValueNcln[0], sizeof(gpsbCmdTemperatureValueNcln) - 1);
  gpsbCmdTemperatureValueNcln[0] = static_cast<int8_t>(ubValue);
  gstCommon.ubTempFlags = kTempFlagsFromCmd;
}

void CmdScreen(uint8_t ubP1) {
  if (ubP1 == kScreenOff) {
    SoftwareInit();
    gubCmdIdleEn = 1;
    gubPowerOnFlag = 0;
    gubSuspendSta = 0;
    return;
  }
  CmdScreenOnProc();
  gubSuspendSta = 1;
  gubFpReportPoint = 0;
  if (ubP1 == kScreenOnNoIdle) gubCmdIdleEn = 0;
}

void CmdFreqLock(uint8_t ubP1) { gstFreqHop.aubData[kFreqHopLock] = ubP1 == 1 ? 0 : 1; }

void CmdFixedFreq(uint8_t ubP1) {
  if (ubP1 == kFreqUnfix) {
    gstFreqHop.aubData[kFreqHopFixed] &= static_cast<uint8_t>(~kFreqHopFixedBit);
    return;
  }
  if (ubP1 >= FreqTableNum()) return;
  gstFreqHop.aubData[kFreqHopFixed] |= kFreqHopFixedBit;
  SetNewFrequence(FreqTableValue(ubP1));
  if (gstNormalize.aubData[kNormRawScale] == 0 || gstNormalize.aubData[kNormEnabled] == 0) {
    gstCommon.ubPowerOnRefReady = 0;
    RebuildPowerOnRef(7);
  }
}

void CmdCharger(uint8_t ubP1) {
  if (ubP1 == kChargerKind) {
    gstCommon.ubChargerKind = 1;
    gstChrgResultNcln[0] = gstCommon.ubChargerFlag;
    gstChrgResultNcln[1] = 1;
  } else if (ubP1 == kChargerOn) {
    gstCommon.ubChargerFlag = 1;
    gstChrgResultNcln[0] = 1;
    gstChrgResultNcln[1] = gstCommon.ubChargerKind;
  } else {
    gstCommon.ubChargerFlag = 0;
    gstCommon.ubChargerKind = 0;
    gstChrgResultNcln[0] = 0;
    gstChrgResultNcln[1] = 0;
  }
  NfNoiseEnable(ubP1 == kChargerOn || (ubP1 == kChargerKind && gstCommon.ubChargerFlag != 0));
}

void CmdGameMode(uint8_t ubP1) {
  uint16_t uwPeriod;
  if (ubP1 == 1) {
    gstCommon.ubGameModeFlag = 1;
    gstCommon.ubWaterDetectEn = 0;
    uwPeriod = gstTimeCtrlCfg.uwPeriodState3;
  } else {
    gstCommon.ubGameModeFlag = 0;
    gstCommon.ubWaterDetectEn = static_cast<uint8_t>(gstConstWaterCfg.aubData[0] & 0x01u);
    uwPeriod = gstTimeCtrlCfg.uwPeriodState2;
  }
  gstCommon.uwScanPeriod = uwPeriod;
}

uint8_t GameModeLevel() { return static_cast<uint8_t>((gstGameMode.auwWord[0] & 0xFFu) >> 6); }

void CmdGameModeEdge(uint8_t ubP1, uint8_t ubP2) {
  const uint16_t uwWord = static_cast<uint16_t>(ubP1 + 256u * ubP2);
  if ((gstEdgeResCfg.aubData[0] & kEdgeCfgGameBit) != 0) {
    GetGameModeInfo(1, uwWord);
    if (gstCommon.ubGameModeFlag == 0) return;
  } else {
    gstCommon.ubLargeAreaFlag = 0;  // common bytes 6 to 8: the game-mode edge state
    gstCommon.ubLargeAreaCompanion = 0;
    gstCommon.ubWaterFlag = 0;
    GetGameModeInfo(1, uwWord);
  }
  EdgeResInit(0, GameModeLevel());
}

void CmdActiveToIdleTime(uint8_t ubP1, uint8_t ubP2) {
  if (ubP1 == 0) {
    guwCmdActiveToIdleTime = 0;
  } else if (ubP1 == 255) {
    guwCmdActiveToIdleTime = kIdleTimeNever;
  } else {
    guwCmdActiveToIdleTime = ubP1;
    const uint8_t ubP2Less1 = static_cast<uint8_t>(ubP2 - 1u);
    if (ubP2Less1 < ubP1 && (gstTimeCtrlCfg.ubRes0 & kTimeCfgSecondIdleBit) != 0) {
      guwCmdActiveToIdleTime = ubP2 < ubP1 ? ubP2 : kIdleTimeFallback;
    }
  }
}

void CmdCoordOption(uint8_t ubP1) {
  const uint8_t ubLevel = gstCoordOptmCfg.aubData[kCoordOptmCfgLevel];
  if (ubP1 == 0) {
    gstCommon.ubCoordOption = 0;
    gstCoordComInput.ubMaxPointNum = ubLevel;
  } else if (ubP1 == 1) {
    gstCommon.ubCoordOption = 1;
    gstCoordComInput.ubMaxPointNum = static_cast<uint8_t>(ubLevel * 2u);
  }
}

}  // namespace

extern "C" uint32_t TsaReceiveModuleCmdData(const uint8_t* pubSlot) {
  if (pubSlot == nullptr) return 0;
  CmdFifoVar& v = gstCmdFifoVar;
  if (v.ubWrite >= kCmdFifoBytes || v.ubWrite % kCmdSlotBytes != 0) v = {};  // damaged offsets: start over
  memcpy(&gpubTsaCmdFifo[v.ubWrite], pubSlot, kCmdSlotBytes);
  v.ubWrite = static_cast<uint8_t>((v.ubWrite + kCmdSlotBytes) % kCmdFifoBytes);
  v.ubCount = static_cast<uint8_t>(v.ubCount + 1);
  if (v.ubCount > kCmdFifoSlots) {
    v.ubRead = v.ubWrite;
    v.ubCount = kCmdFifoSlots;
  }
  return 0;
}

extern "C" uint32_t TsaProcessModuleCmdData(void) {
  CmdFifoVar& v = gstCmdFifoVar;
  if (v.ubCount == 0) return 0;
  if (v.ubRead >= kCmdFifoBytes || v.ubCount > kCmdFifoSlots) {
    v = {};
    return 0;
  }
  uint8_t aubLocal[kCmdFifoBytes];
  uint32_t uiBytes;
  if (v.ubWrite > v.ubRead) {
    uiBytes = static_cast<uint32_t>(v.ubWrite - v.ubRead);
    memcpy(aubLocal, &gpubTsaCmdFifo[v.ubRead], uiBytes);
  } else {
    const uint32_t uiTail = kCmdFifoBytes - v.ubRead;
    memcpy(aubLocal, &gpubTsaCmdFifo[v.ubRead], uiTail);
    memcpy(aubLocal + uiTail, gpubTsaCmdFifo, v.ubWrite);
    uiBytes = uiTail + v.ubWrite;
  }
  v.ubRead = v.ubWrite;
  uint32_t uiSlots = uiBytes / kCmdSlotBytes;
  if (uiSlots > v.ubCount) uiSlots = v.ubCount;
  for (uint32_t i = 0; i < uiSlots; ++i) {
    uint64_t ullCmd;
    uint64_t ullArg;
    SlotWords(&aubLocal[i * kCmdSlotBytes], &ullCmd, &ullArg);
    CtrlState(ullCmd, ullArg);
  }
  v.ubCount = 0;
  return 0;
}

extern "C" uint32_t CtrlState(uint64_t ullCmd, uint64_t ullArg) {
  HistoryRecord(ullCmd, ullArg);
  const CmdFields f = SplitCmd(ullCmd);
  switch (f.uiId) {
    case kCmdTemperature: CmdTemperature(f.ubP1); break;
    case kCmdScreen: CmdScreen(f.ubP1); break;
    case kCmdFreqLock: CmdFreqLock(f.ubP1); break;
    case kCmdFixedFreq: CmdFixedFreq(f.ubP1); break;
    case 166:
    case 189: break;
    case kCmdCharger: CmdCharger(f.ubP1); break;
    case kCmdNormalizeBlock: gstNormalize.aubData[kNormCmdBlocked] = f.ubP1; break;
    case kCmdGameMode: CmdGameMode(f.ubP1); break;
    default: CmdProcCustom(ullCmd); break;
  }
  return 0;
}

void CmdProcCustom(uint64_t ullCmd) {
  const CmdFields f = SplitCmd(ullCmd);
  switch (f.uiId) {
    case kCmdGameMode23:
    case kCmdGameMode24: CmdGameModeEdge(f.ubP1, f.ubP2); break;
    case kCmdEdgeReinit: EdgeResInit(1, GameModeLevel()); break;
    case kCmdActiveToIdleTime: CmdActiveToIdleTime(f.ubP1, f.ubP2); break;
    case kCmdLargePocket: gstCommon.ubLargePocket = f.ubP1; break;
    case kCmdCoordOption: CmdCoordOption(f.ubP1); break;
    default: break;  // customer ids without an effect
  }
}

uint32_t ProcessCmdData(const uint8_t* pubBytes, uint64_t ullArg) {
  if (pubBytes == nullptr) return 0;
  const uint64_t ullCmd = static_cast<uint64_t>(pubBytes[1]) | (static_cast<uint64_t>(pubBytes[0]) << 32) |
                          (static_cast<uint64_t>(pubBytes[2]) << 48);
  CtrlState(ullCmd, ullArg);
  return 0;
}

uint32_t TsaProcessingCmd(const uint8_t* pubBytes, uint64_t ullArg) {
  TsaEnsureModuleBound();
  return ProcessCmdData(pubBytes, ullArg);
}

uint32_t TsaCtrlState(uint64_t ullCmd, uint64_t ullArg) {
  TsaEnsureModuleBound();
  CtrlState(ullCmd, ullArg);
  return 0;
}

const uint8_t* GetCmdTsaCmdData() { return nullptr; }

void CmdChargeCustomProc() {
  gstChrgResultNcln[0] = gstCommon.ubChargerFlag;
  gstChrgResultNcln[1] = gstCommon.ubChargerKind;
  NfNoiseEnable(gstCommon.ubChargerFlag != 0);
}

void ThpCmdBakFrameStart(const uint8_t* pubHead) {
  uint8_t* pubBak = gpubThpCmdBak;
  if (pubBak == nullptr || pubHead == nullptr) return;
  pubBak[kCmdBakTagPos] = pubHead[4];  // low byte of the head's frame index
  if (pubBak[kCmdBakCountPos] == 0) HistoryReset(pubBak);
  memset(gpuwRefUpdateTypeBak, 0, sizeof(gpuwRefUpdateTypeBak));
}

void ThpCmdBakCheckReset() {
  uint8_t* pubBak = gpubThpCmdBak;
  if (pubBak == nullptr) return;
  if (pubBak[kCmdBakTagPos] != pubBak[kCmdBakHeldTagPos]) HistoryReset(pubBak);
  pubBak[kCmdBakHeldTagPos] = pubBak[kCmdBakTagPos];
}

void ThpCmdBakAppend(const uint8_t* pubSlot) {
  if (pubSlot == nullptr) return;
  uint64_t ullCmd;
  uint64_t ullArg;
  SlotWords(pubSlot, &ullCmd, &ullArg);
  HistoryRecord(ullCmd, ullArg);
}
