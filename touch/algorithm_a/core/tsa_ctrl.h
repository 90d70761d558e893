#pragma once

#include "vendor_export.h"
// Module commands and control state: the 10-slot command FIFO the host's commands wait in
// until the next frame, the dispatcher CtrlState with the customer commands, and the
// per-frame command history that travels with the frame record.
#include <cstddef>
#include <cstdint>

inline constexpr uint32_t kCmdSlotBytes = 16;
inline constexpr uint32_t kCmdFifoSlots = 10;
inline constexpr uint32_t kCmdFifoBytes = kCmdSlotBytes * kCmdFifoSlots;

// Command history block (the arena's 204-byte block behind gpubThpCmdBak).
inline constexpr uint32_t kCmdBakEntryBytes = 14;
inline constexpr uint32_t kCmdBakUsedPos = 0;
inline constexpr uint32_t kCmdBakFirstEntry = 1;
inline constexpr uint32_t kCmdBakCountPos = 197;
inline constexpr uint32_t kCmdBakTagPos = 198;
inline constexpr uint32_t kCmdBakHeldTagPos = 199;

#pragma pack(push, 1)
struct CmdFifoVar {
  uint8_t ubRead;    // byte offsets, multiples of 16, modulo 160
  uint8_t ubWrite;
  uint8_t ubCount;
};
static_assert(sizeof(CmdFifoVar) == 3);
#pragma pack(pop)

// Command ids handled here.
enum CtrlCmdId : uint32_t {
  kCmdGameMode23 = 23,
  kCmdGameMode24 = 24,
  kCmdEdgeReinit = 25,
  kCmdActiveToIdleTime = 37,
  kCmdTemperature = 96,
  kCmdLargePocket = 112,
  kCmdScreen = 144,
  kCmdFreqLock = 155,
  kCmdFixedFreq = 156,
  kCmdCharger = 175,
  kCmdNormalizeBlock = 178,
  kCmdCoordOption = 192,
  kCmdGameMode = 194,
};

// A command word: id in bits 0-31, parameter count in 32-47, p1 in 48-55, p2 in 56-63.
constexpr uint64_t CtrlCmdWord(uint32_t uiId, uint16_t uwCount, uint8_t ubP1, uint8_t ubP2) {
  return static_cast<uint64_t>(uiId) | (static_cast<uint64_t>(uwCount) << 32) |
         (static_cast<uint64_t>(ubP1) << 48) | (static_cast<uint64_t>(ubP2) << 56);
}

extern uint8_t gpubTsaCmdFifo[kCmdFifoBytes];
extern CmdFifoVar gstCmdFifoVar;
extern uint8_t gubSuspendSta;
extern uint8_t gubPowerOnFlag;
extern uint8_t gstChrgResultNcln[2];
extern int8_t gpsbCmdTemperatureValueNcln[6];

extern "C" {
// Pushes one 16-byte slot; the caller holds the host's command mutex. Returns 0.
uint32_t TsaReceiveModuleCmdData(const uint8_t* pubSlot);
// Drains the FIFO into CtrlState, oldest first. Returns 0.
uint32_t TsaProcessModuleCmdData(void);
uint32_t CtrlState(uint64_t ullCmd, uint64_t ullArg);
}
void CmdProcCustom(uint64_t ullCmd);
uint32_t ProcessCmdData(const uint8_t* pubBytes, uint64_t ullArg);
VENDOR_EXPORT uint32_t TsaProcessingCmd(const uint8_t* pubBytes, uint64_t ullArg);
VENDOR_EXPORT uint32_t TsaCtrlState(uint64_t ullCmd, uint64_t ullArg);
VENDOR_EXPORT const uint8_t* GetCmdTsaCmdData();
void CmdChargeCustomProc();

// History steps of the frame-record table. pubHead is the 14-byte frame head.
void ThpCmdBakFrameStart(const uint8_t* pubHead);
void ThpCmdBakCheckReset();
void ThpCmdBakAppend(const uint8_t* pubSlot);
