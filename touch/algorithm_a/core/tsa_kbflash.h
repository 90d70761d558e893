#pragma once
// Flash k/b records: every calibration array the controller keeps in its flash is stored
// as the node values followed by a 20-byte trailer that ties it to the panel and frequency
// configuration and carries a 32-bit word sum. Check, packing, the controller k/b commands
// and the k/b test state machine.
#include <cstdint>

#include "signal_proc.h"

// Mode bytes of the three flash areas.
inline constexpr uint8_t kKbModeArea1 = 112;
inline constexpr uint8_t kKbModeArea2 = 96;
inline constexpr uint8_t kKbModeKArea = 128;
// A record fits one 4096-byte flash block: panels whose records would not (more than 2038
// nodes) keep normalisation off.
inline constexpr uint32_t kKbRecordMaxBytes = 4096;
// The k area starts at block 10 of the mirror; B area 2 (blocks n..2n-1) must end before it.
inline constexpr uint32_t kKbAreaKBlock = 10;
inline constexpr uint32_t kFlashKAddr = 0xB001;

// State machine request bits of the study start and end.
inline constexpr uint64_t kReqStudyStart = 0x2000u;
inline constexpr uint64_t kReqStudyEnd = 0x4000u;

// Record length: node data plus the trailer, rounded up to 4 bytes.
uint16_t GetOneFreqLen();
// Sum of the (L - 4) / 2 little-endian words before the record's last four bytes.
uint32_t KbRecordSum(const uint8_t* pubRecord, uint32_t uiLen);
// Trailer bytes 0-15 for frequency ubIndex of the hopping table and the panel.
void KbTrailerFill(uint8_t* pubTrailer, uint8_t ubIndex, uint16_t uwSv1, uint16_t uwSv2, uint16_t uwWriteCnt,
                   uint16_t uwCfgSum);
// Lays one record of uiLen bytes out in pubRecord: node values of puwData (zeros when null),
// trailer bytes 0-15 at the end, then the word sum into the record and into trailer bytes
// 16-19. 0 when the length cannot hold a record.
uint8_t KbRecordBuild(uint8_t* pubRecord, uint32_t uiLen, const uint16_t* puwData, uint8_t* pubTrailer);

uint8_t JudgeArrayValidOneFreq(uint8_t ubIndex, uint16_t uwLen, uint32_t uiBase, uint8_t ubMode);
void SetFwBaseNoUpdateCmd(uint8_t ubParam);
void SetKbStudyCmd();
void SetKbStudyFinishCmd();
void ScanFreqStartInit();
void ClearScanFlag();
void ThpFlashKBStatusRst(uint8_t ubFlag);
uint8_t ThpFlashKBCheckValid();
uint32_t CalcBarrayConsistency(const uint16_t* puwMap, uint32_t* puiOut);
