// Flash k/b records: the record check and packing of one frequency's calibration array,
// the controller k/b commands and the k/b test state machine that runs before every
// normalisation check.
#include "tsa_kbflash.h"

#include <cstring>

#include "framework.h"
#include "mathlib.h"
#include "signal_util.h"
#include "tsa_api.h"
#include "tsa_frame.h"
#include "tsa_frame_links.h"
#include "tsa_fwpkt.h"
#include "tsa_os.h"

KbBakState gstKBBakSta;
uint8_t gpubBarrayCheckBuf[kBarrayCheckBufBytes];

namespace {

NormalizeFields& Norm() { return gstNormalize.st; }
KbBakFields& Kb() { return gstKBBakSta.st; }

// The mirror bytes of a record at controller address uiAddr, or null when the record does
// not lie wholly inside the mirror.
const uint8_t* MirrorRecord(uint32_t uiAddr, uint32_t uiLen) {
  if (uiAddr < kTamrelFlashBase) return nullptr;
  const uint64_t ullAt = static_cast<uint64_t>(uiAddr) - kTamrelFlashBase;
  if (ullAt + uiLen > kTamrelFlashBytes) return nullptr;
  return gpubTamrelFlash + ullAt;
}

}  // namespace

uint16_t GetOneFreqLen() { return static_cast<uint16_t>((sig::Nodes() * 2u + 23u) & ~3u); }

uint32_t KbRecordSum(const uint8_t* pubRecord, uint32_t uiLen) {
  uint32_t uiSum = 0;
  const uint32_t uiWords = (uiLen - 4u) / 2u;
  for (uint32_t i = 0; i < uiWords; ++i) uiSum += sig::U16(pubRecord, 2u * i);
  return uiSum;
}

void KbTrailerFill(uint8_t* pubTrailer, uint8_t ubIndex, uint16_t uwSv1, uint16_t uwSv2, uint16_t uwWriteCnt,
                   uint16_t uwCfgSum) {
  const uint8_t ubOption = sig::HopCfgOption(ubIndex);
  sig::PutU16(pubTrailer, 0, sig::HopCfgSecond(0));
  sig::PutU16(pubTrailer, 2, sig::HopCfgFreq(ubIndex));
  pubTrailer[4] = static_cast<uint8_t>(ubOption & 0x0Fu);
  pubTrailer[5] = static_cast<uint8_t>(ubOption >> 4);
  pubTrailer[6] = gstCommon.ubSenNum;
  pubTrailer[7] = gstCommon.ubDrvNum;
  sig::PutU16(pubTrailer, 8, uwSv1);
  sig::PutU16(pubTrailer, 10, uwSv2);
  sig::PutU16(pubTrailer, 12, uwWriteCnt);
  sig::PutU16(pubTrailer, 14, uwCfgSum);
}

uint8_t KbRecordBuild(uint8_t* pubRecord, uint32_t uiLen, const uint16_t* puwData, uint8_t* pubTrailer) {
  if (pubRecord == nullptr || uiLen < kKbTrailerBytes || uiLen > kKbRecordMaxBytes) return 0;
  memset(pubRecord, 0, uiLen);
  uint32_t uiDataBytes = sig::Nodes() * 2u;
  if (uiDataBytes > uiLen - kKbTrailerBytes) uiDataBytes = uiLen - kKbTrailerBytes;
  if (puwData != nullptr) memcpy(pubRecord, puwData, uiDataBytes);
  memcpy(pubRecord + uiLen - kKbTrailerBytes, pubTrailer, 16);
  const uint32_t uiSum = KbRecordSum(pubRecord, uiLen);
  sig::PutU32(pubRecord, uiLen - 4u, uiSum);
  sig::PutU32(pubTrailer, 16, uiSum);
  return 1;
}

uint8_t JudgeArrayValidOneFreq(uint8_t ubIndex, uint16_t uwLen, uint32_t uiBase, uint8_t ubMode) {
  // A record must hold its trailer and fit one 4096-byte block; a shorter one has no
  // checksum of its own to compare.
  if (uwLen < kKbTrailerBytes || uwLen > kKbRecordMaxBytes || ubIndex >= kMaxHopFreq) return 0;
  const uint32_t uiAddr = (ubMode == kKbModeKArea) ? uiBase + static_cast<uint32_t>(uwLen) * ubIndex
                                                   : uiBase + static_cast<uint32_t>(ubIndex) * kBarrayCheckSlotBytes;
  const uint8_t* pubSrc = MirrorRecord(uiAddr, uwLen);
  uint8_t* pubCopy = gstCommon.pubTempArena;
  if (pubSrc == nullptr || pubCopy == nullptr) return 0;
  memcpy(pubCopy, pubSrc, uwLen);
  const uint8_t* t = pubCopy + uwLen - kKbTrailerBytes;
  const uint8_t ubOption = sig::HopCfgOption(ubIndex);
  if (sig::U32(pubCopy, uwLen - 4u) != KbRecordSum(pubCopy, uwLen)) return 0;
  if (sig::U16(t, 0) != sig::HopCfgSecond(0)) return 0;
  if (sig::U16(t, 2) != sig::HopCfgFreq(ubIndex)) return 0;
  if (t[4] != (ubOption & 0x0Fu) || t[5] != (ubOption >> 4)) return 0;
  if (t[6] != gstCommon.ubSenNum || t[7] != gstCommon.ubDrvNum) return 0;
  NormalizeFields& n = Norm();
  if (ubMode == kKbModeArea2) {
    n.auwSv1Area2[ubIndex] = sig::U16(t, 8);
    n.auwSv2Area2[ubIndex] = sig::U16(t, 10);
    n.uwArea2WriteCnt = sig::U16(t, 12);
  } else {
    n.auwSv1Area1[ubIndex] = sig::U16(t, 8);
    n.auwSv2Area1[ubIndex] = sig::U16(t, 10);
    n.uwArea1WriteCnt = sig::U16(t, 12);
  }
  return 1;
}

void PackFlashKBInfo(uint16_t* puwData, uint8_t* pubTrailer, uint8_t ubFreqIndex) {
  if (pubTrailer == nullptr) return;
  const uint16_t uwSv1 = static_cast<uint16_t>(gstNormCheckInfo.uiCheckValue & 0xFFFFu);
  const uint16_t uwSv2 = static_cast<uint16_t>(gstNormCheckInfo.uiCheckValue >> 16);
  const uint16_t uwWrite = gstNormCheckInfo.uwCheckWord;
  KbTrailerFill(pubTrailer, ubFreqIndex, uwSv1, uwSv2, uwWrite, Norm().uwCfgSum);
  FerxLogPrint("PackFlashKBInfo", FERX_LOG_INFO, "B freq index: %d, flash write time: %d\n", ubFreqIndex, uwWrite);
  uint32_t uiLen = Norm().uwRecordLen;
  if (uiLen == 0) uiLen = GetOneFreqLen();
  KbRecordBuild(gstCommon.pubTempArena, uiLen, puwData, pubTrailer);
}

void SetFreqBUpdateCmd(uint8_t ubCode) {
  static constexpr struct {
    uint8_t ubCode;
    uint8_t ubParam;
  } kFixed[] = {{176, 0x85}, {192, 0x05}, {208, 0x83}, {224, 0x84}, {240, 0x04}, {255, 0x03}};
  for (const auto& f : kFixed) {
    if (f.ubCode != ubCode) continue;
    const uint8_t aubParam[2] = {f.ubParam, 0x00};
    FwPktQueueCmd(kFwCmdKbStudy, aubParam, 2);
  }
  const uint8_t ubIndex = static_cast<uint8_t>(ubCode & 0xF7u);
  if (ubIndex < sig::HopCfgNum()) {
    const uint8_t aubParam[2] = {static_cast<uint8_t>((ubCode & 0x08u) != 0 ? 0x82 : 0x02), ubIndex};
    FwPktQueueCmd(kFwCmdKbStudy, aubParam, 2);
  }
}

void SetFwBaseNoUpdateCmd(uint8_t ubParam) {
  TsaRequest stReq{};
  if (PacketFwCmdMsg(kFwCmdRefRequest, &ubParam, &stReq, 1) == 0) return;
  stReq.aubBody[2] = 0;  // the controller reads the low byte of the sum only
  FwPktQueue(&stReq);
}

void SetKbStudyCmd() {
  NormalizeFields& n = Norm();
  FerxLogPrint("SetKbStudyCmd", FERX_LOG_INFO, "kb restudy array index = %d\n", n.ubReStudyIndex);
  const uint8_t ubParam = n.ubReStudyIndex == 1 ? 0x80 : 0x00;
  FwPktQueueCmd(kFwCmdKbStudy, &ubParam, 1);
  gstStateMachine.ullRequest |= kReqStudyStart;
  n.ubStudyInProgress = 1;
  n.ubScanPhase = n.ubScanIndex = n.ubScanRunning = 0;
  if (n.ubReStudyIndex == 1) {
    Kb().uiTestState = 14;
    memset(Kb().aubArea2Flags, 0, sizeof(Kb().aubArea2Flags));
  } else {
    Kb().uiTestState = 2;
    memset(Kb().aubArea1Flags, 0, sizeof(Kb().aubArea1Flags));
  }
  memset(gpubBarrayCheckBuf, 0, sizeof(gpubBarrayCheckBuf));
}

void SetKbStudyFinishCmd() {
  const uint8_t ubParam = 0x01;
  FwPktQueueCmd(kFwCmdKbStudy, &ubParam, 1);
  gstStateMachine.ullRequest |= kReqStudyEnd;
  Norm().ubStudyInProgress = 0;
  Norm().ubScanIndex = Norm().ubScanRunning = 0;
}

void ScanFreqStartInit() {
  gstStateMachine.ullRequest |= kReqStudyStart;
  Norm().ubStudyInProgress = 1;
  Norm().ubScanPhase = Norm().ubScanIndex = Norm().ubScanRunning = 0;
}

void ClearScanFlag() {
  NormalizeFields& n = Norm();
  n.ubScanIndex = n.ubScanRunning = 0;
  n.ubStudyInProgress = 0;
  n.ubCheckState = 5;
  n.ubStableCnt = 0;
}

void ThpFlashKBStatusRst(uint8_t ubFlag) {
  KbBakFields& kb = Kb();
  if ((ubFlag & 1u) == 0) {
    gubNormTimeCtrl |= kNormTimeCtrlBit4;
    kb.uiTestState = 0;
    memset(kb.aubCounter, 0, sizeof(kb.aubCounter));
    kb.ubUpdatePending = kb.ubCopyPending = 0;
    kb.ubRestudyCopy = Norm().ubRestudyNeeded;
    kb.ubFirstFlag = 1;
    memset(kb.aubArea2Flags, 0, sizeof(kb.aubArea2Flags));
  } else if (Norm().ubReStudyIndex != 1) {
    kb.uiTestState = 2;
    memset(kb.aubArea1Flags, 0, sizeof(kb.aubArea1Flags));
  } else {
    kb.uiTestState = 14;
    memset(kb.aubArea2Flags, 0, sizeof(kb.aubArea2Flags));
  }
  memset(gpubBarrayCheckBuf, 0, sizeof(gpubBarrayCheckBuf));
}

namespace {

// States 10 and 22: the records the controller wrote back go into the mirror.
void KbCopyBackToMirror(bool boArea2) {
  NormalizeFields& n = Norm();
  KbBakFields& kb = Kb();
  const uint8_t ubNum = sig::HopCfgNum();
  const uint32_t uiLen = n.uwRecordLen;
  const uint32_t uiBlocks = boArea2 ? ubNum : 0;
  uint16_t uwMaxWrite = 0;
  if (uiLen >= kKbTrailerBytes && uiLen <= kBarrayCheckSlotBytes) {
    for (uint8_t i = 0; i < ubNum; ++i) {
      const uint16_t uwCnt = sig::U16(gpubBarrayCheckBuf + i * kBarrayCheckSlotBytes, uiLen - kKbTrailerBytes + 12);
      if (uwCnt > uwMaxWrite) uwMaxWrite = uwCnt;
    }
    for (uint8_t i = 0; i < ubNum; ++i) {
      uint8_t* pubRec = gpubBarrayCheckBuf + i * kBarrayCheckSlotBytes;
      sig::PutU16(pubRec, uiLen - kKbTrailerBytes + 12, uwMaxWrite);
      sig::PutU32(pubRec, uiLen - 4u, KbRecordSum(pubRec, uiLen));
      const uint32_t uiBlock = uiBlocks + i;
      // Area 2 must stay clear of the k area: a configuration with more frequencies than
      // fit beside it never writes area 2.
      if (uiBlock >= kKbAreaKBlock) continue;
      memcpy(gpubTamrelFlash + uiBlock * kBarrayCheckSlotBytes, pubRec, kBarrayCheckSlotBytes);
    }
  }
  kb.ubCopyPending = 0;
  kb.ubRestudyCopy = 0;
  n.ubBValid = 1;
  n.ubRestudyNeeded = 0;
  gubNeedStudyByUidMismatch = 0;
  gubAgeingFlagNcln = 5;
  if (n.ubBErrFlag != 0) {
    n.ubStudyBudget = 0;
    n.ubBErrFlag = 0;
  }
  n.ubBErrSeen = 0;
  gubNormReleaseHold = 1;
  kb.uiTestState = boArea2 ? 23 : 11;
  if (boArea2) n.ubDoubleBValid = 1;
  JudgeBarrayValid();
  n.uwMaxDiffNode = 0xFFFF;
  if (n.ubDoubleBValid != 0) GetBarrayMaxDiffIndex(0);
  const uint8_t ubCur = gstFreqHop.st.ubCurIndex;
  GetFreqKb(ubCur, gstCommon.puwBArray, boArea2 ? kKbModeArea2 : kKbModeArea1);
  if (n.ubReStudyIndex == n.ubFwBIndex) DelayToUpdateRef(2);
}

}  // namespace

uint8_t ThpFlashKBCheckValid() {
  NormalizeFields& n = Norm();
  KbBakFields& kb = Kb();
  const uint8_t ubNum = sig::HopCfgNum();
  uint32_t& st = kb.uiTestState;
  if (st == 12) return 1;
  if (st == 7 || st == 19) {
    const bool boArea2 = st == 19;
    const uint8_t* pubFlags = boArea2 ? kb.aubArea2Flags : kb.aubArea1Flags;
    for (uint8_t i = 0; i < ubNum; ++i) {
      if (pubFlags[i] != 0) continue;
      SetFreqBUpdateCmd(static_cast<uint8_t>(i | (boArea2 ? 0x08u : 0u)));
      st = boArea2 ? 15 : 3;
      FerxLogPrint("ThpFlashKBCheckValid", FERX_LOG_INFO, "KBTest B not OK: need update freq [%d] B array\n", i);
      return 0;
    }
    kb.ubUpdatePending = 0;
    st = boArea2 ? 22 : 10;
  }
  if ((st == 10 || st == 22) && kb.ubCopyPending == 1) KbCopyBackToMirror(st == 22);
  if (st == 9) {
    uint32_t uiTotal = 0;
    for (uint8_t i = 0; i < ubNum; ++i) {
      uiTotal += static_cast<uint32_t>(n.auwSv1Area1[i]) + n.auwSv2Area1[i] + n.auwSv1Area2[i] + n.auwSv2Area2[i];
    }
    if (uiTotal != gstNormCheckInfo.uiCheckValue2) {
      st = 1;
      FerxLogPrint("ThpFlashKBCheckValid", FERX_LOG_INFO, "KBTest KB normalize info check failed\n");
      return 0;
    }
    memset(kb.aubArea1Flags, 1, ubNum);
    st = 11;
  }
  const bool boProceed = st == 8 || st == 11 || st == 20 || st == 23;
  if (!boProceed) return 0;
  if (n.ubStudyInProgress != 0) {
    SetFreqBUpdateCmd(n.ubReStudyIndex == 1 ? 176 : 192);
    n.ubStudyInProgress = 0;
    n.ubCheckState = 5;
    n.ubStableCnt = 0;
    gubNormReleaseHold = 0;
  }
  if (st == 8 || st == 20) {
    n.ubBErrFlag = 1;
    if (kb.ubFirstFlag != 0 && gstCommon.ubLargeAreaFlag != 0) DelayToUpdateRef(1);
  } else {
    kb.ubFirstFlag = 0;
    gubNormTimeCtrl &= static_cast<uint8_t>(~kNormTimeCtrlBit4);
    if (st == 23) kb.ubArea2Done = 1;
  }
  return 1;
}

uint32_t CalcBarrayConsistency(const uint16_t* puwMap, uint32_t* puiOut) {
  const uint32_t S = gstCommon.ubSenNum;
  const uint32_t D = gstCommon.ubDrvNum;
  uint32_t uiSum = 0;
  if (puwMap != nullptr && S >= 4 && D >= 2 && S * D <= kFerrantMaxNodes && gstCommon.pubTempArena != nullptr) {
    // Three passes over the arena: a(k) = M(k) - M(k+2), b(k) = a(k) - a(k+1),
    // C(k) = b(k) - b(k+S); only the nodes whose window lies inside the map count.
    int16_t* a = reinterpret_cast<int16_t*>(gstCommon.pubTempArena);
    const uint32_t N = S * D;
    for (uint32_t k = 0; k + 2 < N; ++k) a[k] = static_cast<int16_t>(puwMap[k] - puwMap[k + 2]);
    for (uint32_t k = 0; k + 3 < N; ++k) a[k] = static_cast<int16_t>(a[k] - a[k + 1]);
    const uint16_t uwT = gstRefUpdateCfg.aubData[8];
    for (uint32_t r = 0; r + 1 < D; ++r) {
      for (uint32_t c = 0; c + 3 < S; ++c) {
        const uint32_t k = r * S + c;
        const int16_t swC = static_cast<int16_t>(a[k] - a[k + S]);
        const uint16_t uwAbs = sig::AbsS16(swC);
        if (uwAbs > uwT) uiSum += uwAbs - uwT;
      }
    }
  }
  if (puiOut != nullptr) *puiOut = uiSum;
  return uiSum;
}
