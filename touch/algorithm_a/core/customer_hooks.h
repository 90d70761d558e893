#pragma once

#include "vendor_export.h"
// Customer hook layer: the fixed hooks a phone maker may fill, their records and the
// customer initialisation.
#include <cstdint>

inline constexpr uint32_t kImFreqListLen = 15;
// NF-noise configuration bytes of the NF-mode exit judgement: IM threshold, per-frequency
// enable mask and the number of IM values compared.
inline constexpr uint32_t kNfExitImThrPos = 14;
inline constexpr uint32_t kNfExitMaskPos = 15;
inline constexpr uint32_t kNfExitCountPos = 16;

#pragma pack(push, 1)
// Repeated-tap recognition state: reset to positions 0xFFFF, counters 0, slot 255.
// Positions: first x of tracked touches 0 and 1, first y, last x, last y. Counters:
// consecutive taps, tap series, recognised flag.
struct FingerJitaiRec {
  uint16_t auwPos[8];
  uint8_t aubCounter[3];
  uint8_t ubSlot;
};
static_assert(sizeof(FingerJitaiRec) == 20);
struct ChannelDisconnectRec {
  uint8_t ubRowCount;
  uint8_t ubColCount;
  uint8_t ubByte2;
  uint8_t aubRows[52];
  uint8_t aubCols[56];
};
// Input of one disconnect check (rows or columns of a u16 map).
struct DisconnectCheckInput {
  const uint16_t* puwMap;
  uint16_t uwCount;          // values for the overall mean
  uint16_t uwDropThreshold;  // absolute drop
  uint8_t ubRatio;           // drop ratio in units of 5 % of the overall mean
  uint8_t ubRows;
  uint8_t ubCols;
  uint8_t ubEdgeFlags;       // out
  uint8_t ubFound;           // out
};
struct SensitiveCmdRec {
  uint32_t auiWord[2];
};
// Frames counted towards leaving NF mode, and the exit flag.
struct NfExitRec {
  uint8_t ubCounter;
  uint8_t ubFlag;
};
#pragma pack(pop)

extern uint16_t gpuwImFreqList[kImFreqListLen];
extern uint8_t gemDftState;
extern FingerJitaiRec gstFingerJitai;
extern ChannelDisconnectRec gstChannelDisconnect;
extern NfExitRec gstNfExit;
extern SensitiveCmdRec gstSensitiveCmd;
extern uint32_t gpuiTamrelNewPointX[12];
extern uint32_t gpuiTamrelNewPointY[12];
// Reference counter of the reference output (kept by the reference update).

void CustomerFuncInit();
VENDOR_EXPORT void CustomGlobalVarInit();
VENDOR_EXPORT void SampleImFreqSet();
VENDOR_EXPORT void DefaultStateInit();
VENDOR_EXPORT uint32_t DynamicLevelCustom();
VENDOR_EXPORT void JitaiModeRecongniseInit();
VENDOR_EXPORT void JitaiModeStateClear();
void CmdScreenOnProc();
void LcdHighNoiseJudgeCustom(uint8_t a, uint8_t b, uint8_t c);
void ExitNfModeJudgeCustom();
void DisconnectCheckProc(uint8_t ubKind, DisconnectCheckInput* pstIn);
VENDOR_EXPORT uint8_t GetRefAndBarrayErrSta(int16_t swValue);
void NoiseRawdataProCustom();
void UpdateBArrayStudyTimes();
uint8_t GetBarrayStudyTimes();
void ProductTestJudge();
VENDOR_EXPORT uint32_t PowerSavingCustomer();
VENDOR_EXPORT uint32_t CustomHopTestHandle();
VENDOR_EXPORT void CustomLastTouchReleaseHandle();
VENDOR_EXPORT void StaticJitterAndDiffMax();
VENDOR_EXPORT void StaticMutualDiffPeakNoise();
VENDOR_EXPORT void StaticMutualDiffSensitivity();
