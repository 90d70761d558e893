// Firmware command packets and the sampling backup.
#include "tsa_fwpkt.h"

#include <cstring>

#include "framework.h"
#include "signal_proc.h"
#include "tsa_debug.h"

MutualCfgBak gstMutualCfgBak;

static_assert(sizeof(TsaRequest) == TSA_REQUEST_BYTES);

namespace {

constexpr uint8_t kPktHeadBytes = 4;  // packet length, id, and the two checksum bytes

uint16_t PacketSum(const TsaRequest& r, uint8_t ubPayload) {
  uint16_t uwSum = static_cast<uint16_t>(r.ubPktLen + r.ubCmdId);
  for (uint8_t i = 0; i < ubPayload; ++i) uwSum = static_cast<uint16_t>(uwSum + r.aubBody[i]);
  return uwSum;
}

// The one-byte commands whose checksum carries only the low byte of the sum.
void BuildLowSumCmd(TsaRequest* pstReq, uint8_t ubCmdId, uint8_t ubValue) {
  if (PacketFwCmdMsg(ubCmdId, &ubValue, pstReq, 1) == 0) return;
  pstReq->aubBody[2] = 0;
}

}  // namespace

extern "C" {

uint8_t PacketFwCmdMsg(uint8_t ubCmdId, const uint8_t* pubPayload, TsaRequest* pstReq, uint32_t uiLength) {
  const uint8_t ubLen = static_cast<uint8_t>(uiLength & 0xFFu);
  if (pstReq == nullptr || ubLen > kFwPktMaxPayload) return 0;
  if (ubLen != 0 && pubPayload == nullptr) return 0;
  pstReq->uiType = kTsaRequestTypeCmd;
  pstReq->uwLength = static_cast<uint16_t>(ubLen + kFwPktPacketOffset);
  pstReq->uwZero = 0;
  pstReq->ubPktLen = static_cast<uint8_t>(ubLen + kPktHeadBytes);
  pstReq->ubCmdId = ubCmdId;
  if (ubLen != 0) memcpy(pstReq->aubBody, pubPayload, ubLen);
  const uint16_t uwSum = PacketSum(*pstReq, ubLen);
  pstReq->aubBody[ubLen] = static_cast<uint8_t>(uwSum & 0xFFu);
  pstReq->aubBody[ubLen + 1] = static_cast<uint8_t>(uwSum >> 8);
  return 1;
}

uint16_t FyTpCcittCRC16(const uint8_t* pubData, uint32_t uiLength) {
  if (pubData == nullptr) return 0;
  uint16_t uwCrc = 0;
  for (uint32_t i = 0; i < uiLength; ++i) {
    uwCrc = static_cast<uint16_t>(uwCrc ^ pubData[i]);
    for (int b = 0; b < 8; ++b) {
      uwCrc = (uwCrc & 1u) != 0 ? static_cast<uint16_t>((uwCrc >> 1) ^ 0x8408u) : static_cast<uint16_t>(uwCrc >> 1);
    }
  }
  return uwCrc;
}

void SetIdleCmd(TsaRequest* pstReq, uint8_t ubValue) { BuildLowSumCmd(pstReq, kFwCmdIdle, ubValue); }

void SetScanRateCmd(TsaRequest* pstReq, uint8_t ubRate) { BuildLowSumCmd(pstReq, kFwCmdScanRate, ubRate); }

void SetIdleBaseLineCmd(TsaRequest* pstReq) { PacketFwCmdMsg(kFwCmdIdleBaseLine, nullptr, pstReq, 0); }

void FyTpChipRst() {
  const uint8_t ubParam = 1;
  FwPktQueueCmd(kFwCmdChipReset, &ubParam, 1);
}

void FyTpSampleStart(const uint8_t* pubParam) {
  if (pubParam == nullptr) return;
  FwPktQueueCmd(kFwCmdSampleStart, pubParam, 1);
}

void SampleSetMutualCfg(const MutualCfgBak* pstCfg) {
  if (pstCfg == nullptr) return;
  gstMutualCfgBak = *pstCfg;
  const uint8_t ubIndex = FreqTableIndexOf(pstCfg->uwFreq);
  if (gstApp.ubApp != kAppFreqScan) FwPktQueueCmd(kFwCmdSetFreq, &ubIndex, 1);
}

void SampleSetMutualCfgCustom(const MutualCfgBak* pstCfg) { SampleSetMutualCfg(pstCfg); }

void SampleGetMutualCfg(MutualCfgBak* pstOut) {
  if (pstOut != nullptr) *pstOut = gstMutualCfgBak;
}

void SampleSetMutualBakCfg(const MutualCfgBak* pstCfg) {
  if (pstCfg != nullptr) gstMutualCfgBak = *pstCfg;
}

void SampleGetMutualDftCfg(MutualCfgBak* pstOut) {
  if (pstOut != nullptr) FreqTableSampleCfg(0, pstOut);
}

}  // extern "C"

uint8_t FwPktQueue(const TsaRequest* pstReq) {
  if (pstReq == nullptr) return 0;
  return TsaRequestPush(reinterpret_cast<const uint8_t*>(pstReq)) == 0 ? 1 : 0;
}

uint8_t FwPktQueueCmd(uint8_t ubCmdId, const uint8_t* pubPayload, uint8_t ubLength) {
  TsaRequest stReq{};
  if (PacketFwCmdMsg(ubCmdId, pubPayload, &stReq, ubLength) == 0) return 0;
  return FwPktQueue(&stReq);
}

uint8_t FreqTableNum() {
  const uint8_t ubNum = gstFreqHopCfg.aubData[kFreqHopCfgFreqNumPos];
  return ubNum > kFreqMaxNum ? kFreqMaxNum : ubNum;
}

namespace {
uint16_t CfgWord(uint32_t uiPos) {
  uint16_t uwValue;
  memcpy(&uwValue, &gstFreqHopCfg.aubData[uiPos], sizeof(uwValue));
  return uwValue;
}
}  // namespace

uint16_t FreqTableValue(uint8_t ubIndex) {
  if (ubIndex >= kFreqMaxNum) return 0;
  return CfgWord(kFreqHopCfgFreqPos + 2u * ubIndex);
}

uint8_t FreqTableIndexOf(uint16_t uwFreq) {
  const uint8_t ubNum = FreqTableNum();
  for (uint8_t i = 0; i < ubNum; ++i) {
    if (FreqTableValue(i) == uwFreq) return i;
  }
  return 0;
}

void FreqTableSampleCfg(uint8_t ubIndex, MutualCfgBak* pstOut) {
  if (pstOut == nullptr) return;
  if (ubIndex >= kFreqMaxNum) ubIndex = 0;
  const uint8_t ubOption = gstFreqHopCfg.aubData[kFreqHopCfgOptionPos + ubIndex];
  pstOut->uwFreq = FreqTableValue(ubIndex);
  pstOut->uwFreqWord = CfgWord(kFreqHopCfgWordPos + 2u * ubIndex);
  pstOut->ubOptHigh = static_cast<uint8_t>(ubOption >> 4);
  pstOut->ubOptLow = static_cast<uint8_t>(ubOption & 0x0Fu);
}

void FwPktResendFreq(uint8_t ubIndex) {
  FwPktQueueCmd(kFwCmdSetFreq, &ubIndex, 1);
  FreqTableSampleCfg(ubIndex, &gstMutualCfgBak);
}
