#pragma once
// Small helpers shared by the signal-conditioning modules: panel sizes from the common
// record, little-endian words of the configuration byte images, and saturating counters.
#include <cstdint>
#include <cstring>

#include "signal_proc.h"
#include "tsa_common.h"

namespace sig {

// Mutual nodes of the panel, never more than the buffers hold.
inline uint32_t Nodes() {
  const uint32_t uiNodes = static_cast<uint32_t>(gstCommon.ubDrvNum) * gstCommon.ubSenNum;
  return uiNodes <= kFerrantMaxNodes ? uiNodes : kFerrantMaxNodes;
}

inline uint16_t U16(const uint8_t* pubBase, uint32_t uiPos) {
  uint16_t uwValue;
  memcpy(&uwValue, pubBase + uiPos, sizeof(uwValue));
  return uwValue;
}
inline int16_t S16(const uint8_t* pubBase, uint32_t uiPos) { return static_cast<int16_t>(U16(pubBase, uiPos)); }
inline uint32_t U32(const uint8_t* pubBase, uint32_t uiPos) {
  uint32_t uiValue;
  memcpy(&uiValue, pubBase + uiPos, sizeof(uiValue));
  return uiValue;
}
inline void PutU16(uint8_t* pubBase, uint32_t uiPos, uint16_t uwValue) { memcpy(pubBase + uiPos, &uwValue, 2); }
inline void PutU32(uint8_t* pubBase, uint32_t uiPos, uint32_t uiValue) { memcpy(pubBase + uiPos, &uiValue, 4); }

inline uint8_t Inc8(uint8_t ubValue) { return ubValue == 0xFF ? ubValue : static_cast<uint8_t>(ubValue + 1); }
inline uint8_t Dec8(uint8_t ubValue) { return ubValue == 0 ? ubValue : static_cast<uint8_t>(ubValue - 1); }
inline uint16_t AddSat16(uint16_t uwA, uint32_t uiB) {
  const uint32_t uiSum = uwA + uiB;
  return uiSum > 0xFFFFu ? 0xFFFFu : static_cast<uint16_t>(uiSum);
}
inline uint16_t AbsS16(int16_t swValue) {
  return static_cast<uint16_t>(swValue < 0 ? -static_cast<int32_t>(swValue) : swValue);
}

// Frequency-hopping configuration fields.
inline const uint8_t* HopCfg() { return gstFreqHopCfg.aubData; }
inline uint8_t HopCfgNum() {
  const uint8_t ubNum = HopCfg()[kFreqHopCfgFreqNumPos];
  return ubNum > 8 ? 8 : ubNum;
}
inline uint16_t HopCfgFreq(uint8_t i) { return i < 8 ? U16(HopCfg(), 2u + 2u * i) : 0; }
inline uint8_t HopCfgOption(uint8_t i) { return i < 8 ? HopCfg()[34u + i] : 0; }
inline uint16_t HopCfgSecond(uint8_t i) { return i < 8 ? U16(HopCfg(), 42u + 2u * i) : 0; }
inline uint8_t HopCfgSegMul(uint8_t i) { return i < 8 ? HopCfg()[26u + i] : 0xFF; }

}  // namespace sig
