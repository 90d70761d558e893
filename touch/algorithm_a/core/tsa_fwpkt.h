#pragma once
// Firmware command packets: the 40-byte controller request TsaRequest, its packet and
// byte-sum checksum, the builders of the commands the module sends, the sampling backup
// gstMutualCfgBak and the CRC-16/KERMIT offered to outside callers. Requests leave the
// module only through the request ring of the debug glue (tsa_debug.h).
#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

// One queued controller request, little-endian.
struct TsaRequest {
  uint32_t uiType;         // 0: 1 = controller command
  uint16_t uwLength;       // 4: packet bytes from byte 6 (payload + 6)
  uint16_t uwZero;         // 6
  uint8_t ubPktLen;        // 8: bytes from here through the checksum (payload + 4)
  uint8_t ubCmdId;         // 9
  uint8_t aubBody[30];     // 10: payload, then the u16 checksum, then unused
};
static_assert(sizeof(TsaRequest) == 40);
static_assert(offsetof(TsaRequest, uiType) == 0);
static_assert(offsetof(TsaRequest, uwLength) == 4);
static_assert(offsetof(TsaRequest, uwZero) == 6);
static_assert(offsetof(TsaRequest, ubPktLen) == 8);
static_assert(offsetof(TsaRequest, ubCmdId) == 9);
static_assert(offsetof(TsaRequest, aubBody) == 10);

// Sampling backup: the controller's copy of the current frequency configuration.
struct MutualCfgBak {
  uint16_t uwFreq;         // 0: sampling frequency
  uint16_t uwFreqWord;     // 2: the hopping table's second value of the frequency
  uint8_t ubOptHigh;       // 4: high nibble of the frequency's option byte
  uint8_t ubOptLow;        // 5: low nibble
};
static_assert(sizeof(MutualCfgBak) == 6);
static_assert(offsetof(MutualCfgBak, uwFreqWord) == 2);
static_assert(offsetof(MutualCfgBak, ubOptHigh) == 4);
static_assert(offsetof(MutualCfgBak, ubOptLow) == 5);

#pragma pack(pop)

inline constexpr uint32_t kTsaRequestTypeCmd = 1;
inline constexpr uint8_t kFwPktMaxPayload = 26;
inline constexpr uint8_t kFwPktPacketOffset = 6;  // the packet starts at TsaRequest byte 6

// Command ids the module sends.
inline constexpr uint8_t kFwCmdDuration = 0x86;
inline constexpr uint8_t kFwCmdSetFreq = 0x9C;
inline constexpr uint8_t kFwCmdScanRate = 0x9D;
inline constexpr uint8_t kFwCmdIdle = 0x9F;
inline constexpr uint8_t kFwCmdIdleBaseLine = 0xA2;
inline constexpr uint8_t kFwCmdChipReset = 0xBF;
inline constexpr uint8_t kFwCmdRefRequest = 0xD1;
inline constexpr uint8_t kFwCmdKbStudy = 0xEE;
inline constexpr uint8_t kFwCmdSampleStart = 0xF1;

// Hopping table access (frequency-hopping configuration, at most 8 frequencies).
inline constexpr uint8_t kFreqMaxNum = 8;
inline constexpr uint8_t kFreqHopCfgFreqPos = 2;     // 8 x u16 frequency values
inline constexpr uint8_t kFreqHopCfgOptionPos = 34;  // 8 x u8 option bytes
inline constexpr uint8_t kFreqHopCfgWordPos = 42;    // 8 x u16 second values

extern MutualCfgBak gstMutualCfgBak;

extern "C" {

// Builds a request for a payload of uiLength bytes (low 8 bits). 1 when built; 0 with
// nothing written when the request is null, the length is 27 or more, or a non-empty
// payload pointer is null.
uint8_t PacketFwCmdMsg(uint8_t ubCmdId, const uint8_t* pubPayload, TsaRequest* pstReq, uint32_t uiLength);
// CRC-16/KERMIT (reflected 0x8408, initial 0, no final inversion); 0 for length 0.
uint16_t FyTpCcittCRC16(const uint8_t* pubData, uint32_t uiLength);

void SetIdleCmd(TsaRequest* pstReq, uint8_t ubValue);
void SetScanRateCmd(TsaRequest* pstReq, uint8_t ubRate);
void SetIdleBaseLineCmd(TsaRequest* pstReq);
void FyTpChipRst();
void FyTpSampleStart(const uint8_t* pubParam);

void SampleSetMutualCfg(const MutualCfgBak* pstCfg);
void SampleSetMutualCfgCustom(const MutualCfgBak* pstCfg);
void SampleGetMutualCfg(MutualCfgBak* pstOut);
void SampleSetMutualBakCfg(const MutualCfgBak* pstCfg);
void SampleGetMutualDftCfg(MutualCfgBak* pstOut);

}  // extern "C"

// Hands a built request to the request ring. 1 when queued, 0 when the ring was full
// (the request is then dropped without a message).
uint8_t FwPktQueue(const TsaRequest* pstReq);
// Builds and queues one command. 1 when queued, 0 when refused or dropped.
uint8_t FwPktQueueCmd(uint8_t ubCmdId, const uint8_t* pubPayload, uint8_t ubLength);

// Hopping table: number of configured frequencies (at most 8), the frequency of an index
// and its sampling configuration in the backup's layout.
uint8_t FreqTableNum();
uint16_t FreqTableValue(uint8_t ubIndex);
uint8_t FreqTableIndexOf(uint16_t uwFreq);   // 0 when absent
void FreqTableSampleCfg(uint8_t ubIndex, MutualCfgBak* pstOut);
// Queues the frequency switch 0x9C for the index and rewrites the sampling backup from the
// table (the frequency sync of the frame entries).
void FwPktResendFreq(uint8_t ubIndex);
