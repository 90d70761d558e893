#pragma once
// What the frame entry, the module commands and the state machine reach in other modules:
// signal conditioning (frequency hopping, normalisation, k/b flash records, power-on
// reference), edges and game mode, the customer hooks and the module wrappers, each
// declared with the name its module gives it. Records are reached by the byte positions
// their modules give, through the constants below.
#include <cstdint>

#include "signal_records.h"
#include "tsa_common.h"

// ---- Records ----------------------------------------------------------------------------

// Normalisation state (signal conditioning; fields in signal_records.h).
inline constexpr uint8_t kNormReStudyIndex = 1;
inline constexpr uint8_t kNormFwBIndex = 8;        // B index the controller reports with the frame
inline constexpr uint8_t kNormScanWord10 = 20;     // u16 word 10: scan index and scan running
inline constexpr uint8_t kNormScanWord15 = 30;     // u16 word 15: check state and stable counter
inline constexpr uint8_t kNormEnabled = 16;
inline constexpr uint8_t kNormStudyRunning = 18;
inline constexpr uint8_t kNormRawScale = 25;
inline constexpr uint8_t kNormCmdBlocked = 29;
inline constexpr uint8_t kNormCheckState = 30;
inline constexpr uint8_t kNormRecordLen = 42;      // u16 configured record length

// Frequency-hopping state (signal conditioning).
inline constexpr uint8_t kFreqHopCurFreq = 8;      // u16 current frequency value
inline constexpr uint8_t kFreqHopFixed = 149;      // bit 2: fixed frequency
inline constexpr uint8_t kFreqHopFixedBit = 0x04;
inline constexpr uint8_t kFreqHopLock = 150;       // frequency-change lock
inline constexpr uint8_t kFreqHopCurIndex = 160;
inline constexpr uint8_t kFreqHopPrevIndex = 161;

// k/b back-up state (flash k/b records).
inline constexpr uint8_t kKbPendingCheck = 0;
inline constexpr uint8_t kKbCounter1 = 1;
inline constexpr uint8_t kKbCounter2 = 2;
inline constexpr uint8_t kKbCounter3 = 3;
inline constexpr uint8_t kKbCounter4 = 4;
inline constexpr uint8_t kKbResetRequest = 5;
inline constexpr uint8_t kKbCondition6 = 6;
inline constexpr uint8_t kKbCheckValid = 7;
inline constexpr uint8_t kKbCounter8 = 8;
inline constexpr uint8_t kKbDone9 = 9;
inline constexpr uint8_t kKbArea1Flags = 10;      // one byte per frequency
inline constexpr uint8_t kKbState = 32;           // u32 test state
inline constexpr uint8_t kKbArea2Flags = 37;      // one byte per frequency

// NF-noise procedure state (noise detection): byte 0 enable, byte 3 level.
inline constexpr uint8_t kNfNoiseEnable = 0;
inline constexpr uint8_t kNfNoiseLevel = 3;
inline constexpr uint8_t kNoiseNfCfgLevel = 10;   // configured level in the NF configuration

// Game-mode record (edges): u16 words; the first byte's top two bits are the level.
struct GameModeState {
  uint16_t auwWord[4];
};

// Byte of the coordinate-optimisation configuration that host command 192 turns into the
// coordinate option level (byte 84 of gstCoordComInput, coord_records.h).
inline constexpr uint8_t kCoordOptmCfgLevel = 18;  // byte of the coordinate-optimisation configuration

// Mutual diff statistics (diff-data stages): s16 max at 0, s16 min at 2.
#pragma pack(push, 1)
struct MutualOfsCancelRec {
  int16_t swMax;
  int16_t swMin;
  uint16_t uwPeak;
  uint32_t uiSum;
  uint16_t uwRes;
  uint8_t aubPos[4];
};
#pragma pack(pop)
static_assert(sizeof(MutualOfsCancelRec) == 16);

inline constexpr uint32_t kBarrayCheckSlotBytes = 4096;
inline constexpr uint32_t kBarrayCheckBufBytes = 40960;
inline constexpr uint8_t kKbTrailerBytes = 20;

extern NormalizeState gstNormalize;
extern FreqHopState gstFreqHop;
extern KbBakState gstKBBakSta;
extern NfNoiseProcState gstNfNoiseProc;
extern GameModeState gstGameMode;
extern MutualOfsCancelRec gstMutualOfsCancel;
// Reference backup: 2912 node values and a valid word after them.
extern uint16_t gpuwMutualRefDataBak[kFerrantMaxNodes + 1];
extern uint8_t gpubBarrayCheckBuf[kBarrayCheckBufBytes];
extern int16_t gswDiffDataBake[kFerrantMaxNodes];
extern uint16_t gpuwRefUpdateTypeBak[4];
extern uint8_t gubScreenSta;

// ---- Procedures -------------------------------------------------------------------------

void NoiseRawdataProc();
void BArrayChoose(uint16_t* puwRaw);
void SetNewFrequence(uint16_t uwFreq);
void GetNewFreqInfo();
void RebuildPowerOnRef(uint8_t ubTimes);
void SetPowerOnTimes(uint8_t ubTimes);
void PackFlashKBInfo(uint16_t* puwData, uint8_t* pubTrailer, uint8_t ubFreqIndex);
void SetFreqBUpdateCmd(uint8_t ubCode);
void GetGameModeInfo(uint8_t ubKind, uint16_t uwWord);
void EdgeResInit(uint8_t ubKind, uint8_t ubLevel);
void CmdScreenOnProc();
void JitterTestProc();
void ProductTestJudge();

// Byte access to the records above (they are packed byte images).
inline uint16_t LinkGetU16(const uint8_t* pubBase, uint32_t uiPos) {
  return static_cast<uint16_t>(pubBase[uiPos] | (pubBase[uiPos + 1] << 8));
}
inline void LinkSetU16(uint8_t* pubBase, uint32_t uiPos, uint16_t uwValue) {
  pubBase[uiPos] = static_cast<uint8_t>(uwValue & 0xFFu);
  pubBase[uiPos + 1] = static_cast<uint8_t>(uwValue >> 8);
}
inline uint32_t LinkGetU32(const uint8_t* pubBase, uint32_t uiPos) {
  return static_cast<uint32_t>(LinkGetU16(pubBase, uiPos)) | (static_cast<uint32_t>(LinkGetU16(pubBase, uiPos + 2)) << 16);
}
inline void LinkSetU32(uint8_t* pubBase, uint32_t uiPos, uint32_t uiValue) {
  LinkSetU16(pubBase, uiPos, static_cast<uint16_t>(uiValue & 0xFFFFu));
  LinkSetU16(pubBase, uiPos + 2, static_cast<uint16_t>(uiValue >> 16));
}
