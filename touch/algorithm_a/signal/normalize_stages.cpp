// Normalisation with k/b arrays: the controller keeps per frequency a k array (gain, Q12)
// and two alternative B arrays (offset) in its flash; the module keeps a mirror of that
// flash, checks the records, chooses the B array, loads the current frequency's arrays and
// normalises every raw mutual map as raw * k / 4096 + B. It also decides when to ask the
// controller for a re-study and when to switch between the two B arrays.
#include <cstring>

#include "framework.h"
#include "mathlib.h"
#include "region_records.h"
#include "signal_util.h"
#include "tsa_api.h"
#include "tsa_custdbg.h"
#include "tsa_frame.h"
#include "tsa_frame_links.h"
#include "tsa_fwpkt.h"
#include "tsa_kbflash.h"
#include "tsa_os.h"

NormalizeState gstNormalize;
NormalizeOutputRec gstNormalizeOutput;
NormalizeOutputRec* gstRawdataOutput = &gstNormalizeOutput;
uint8_t gubNormTimeCtrl;
uint8_t gubNeedStudyByUidMismatch;
uint8_t gubNormReleaseHold;
uint8_t gubConsisChangeAfterFreqHop;
int16_t gswNormalizeRefDiffMax;
uint32_t guiNormLastCalibTime;
uint8_t* gppstScanFreqTemp;

namespace {

NormalizeFields& Norm() { return gstNormalize.st; }
const uint8_t* RawCfg() { return gstRawNormalizeCfg.aubData; }
uint8_t RawOpt() { return RawCfg()[0]; }
const uint8_t* DoubleB() { return gstDoubleBarrayCfg.aubData; }
uint16_t DoubleBWord(uint32_t i) { return sig::U16(DoubleB(), 2u * i); }

bool sboFirstInitDone;

// Node-count u16 values.
void Fill(uint16_t* puw, uint16_t uwValue) {
  if (puw == nullptr) return;
  const uint32_t n = sig::Nodes();
  for (uint32_t i = 0; i < n; ++i) puw[i] = uwValue;
}

// The area-2 records of frequency i are usable only while area 2 ends before the k area.
bool Area2Fits() { return 2u * sig::HopCfgNum() <= kKbAreaKBlock; }

void PointOutputAt(uint8_t ubArea) {
  NormalizeFields& n = Norm();
  gstNormalizeOutput.puwSv1 = ubArea == 1 ? n.auwSv1Area2 : n.auwSv1Area1;
  gstNormalizeOutput.puwSv2 = ubArea == 1 ? n.auwSv2Area2 : n.auwSv2Area1;
}

uint8_t CurIndex() { return gstFreqHop.st.ubCurIndex; }

// The 240-byte configuration snapshot whose word sum every record carries.
uint16_t ConfigSnapshotSum() {
  uint8_t aubSnap[240] = {};
  uint32_t at = 0;
  memcpy(aubSnap + at, &gstMutualCfgBak, sizeof(gstMutualCfgBak));
  at += 10;
  memcpy(aubSnap + at, RawCfg(), 36);
  at += 36;
  memcpy(aubSnap + at, gstFreqHopCfg.aubData, 48);
  at += 48;
  memcpy(aubSnap + at, gstFreqHopCfg.aubData + 46, 16);
  at += 16;
  memcpy(aubSnap + at, &gstPannelAlignCfg, sizeof(aubSnap) - at);
  uint16_t uwSum = 0;
  for (uint32_t i = 0; i < sizeof(aubSnap); i += 2) uwSum = static_cast<uint16_t>(uwSum + sig::U16(aubSnap, i));
  return uwSum;
}

}  // namespace

uint32_t GetFlashKAddr() { return kFlashKAddr; }

uint8_t GetFreqKb(uint8_t ubIndex, uint16_t* puwOut, uint8_t ubMode) {
  const uint8_t ubNum = sig::HopCfgNum();
  if (ubIndex >= ubNum || puwOut == nullptr) return 0;
  uint32_t uiBase = 0;
  uint16_t uwDefault = 0;
  switch (ubMode) {
    case kKbModeArea2: uiBase = kTamrelFlashBase + ubNum * kBarrayCheckSlotBytes; break;
    case kKbModeArea1: uiBase = kTamrelFlashBase; break;
    case kKbModeKArea:
      uiBase = kFlashKAddr;
      uwDefault = 4096;
      break;
    default: break;
  }
  const bool boUsable = ubMode != kKbModeArea2 || Area2Fits();
  if (boUsable && JudgeArrayValidOneFreq(ubIndex, Norm().uwRecordLen, uiBase, ubMode) != 0) {
    memcpy(puwOut, gstCommon.pubTempArena, sig::Nodes() * 2u);
    return 1;
  }
  Fill(puwOut, uwDefault);
  if (ubMode == kKbModeArea1) Norm().ubBValid = 0;
  return 0;
}

void GetNewFreqInfo() {
  NormalizeFields& n = Norm();
  const uint8_t ubIndex = CurIndex();
  if (ubIndex == 0xFF) {
    n.ubEnabled = 0;
    return;
  }
  if (n.ubEnabled == 0 || n.ubScanRunning == 1 || n.ubBValid == 0) return;
  if ((RawOpt() & 0x04u) != 0 && ubIndex < sig::HopCfgNum()) GetFreqKb(ubIndex, gstCommon.puwKArray, kKbModeKArea);
  GetFreqKb(ubIndex, gstCommon.puwBArray, n.ubFwBIndex == 1 ? kKbModeArea2 : kKbModeArea1);
  gubConsisChangeAfterFreqHop = 1;
}

void ThpGetCurFreqKArray(uint8_t ubIndex) {
  if (Norm().ubKValid == 0) {
    Fill(gstCommon.puwKArray, 4096);
  } else if (ubIndex < sig::HopCfgNum()) {
    GetFreqKb(ubIndex, gstCommon.puwKArray, kKbModeKArea);
  }
}

void CheckNormalizeKArray() {
  if ((RawOpt() & 0x04u) == 0) return;
  NormalizeFields& n = Norm();
  n.uwRecordLen = GetOneFreqLen();
  const uint8_t ubCount = gstFreqHop.st.ubEnabled != 0 ? sig::HopCfgNum() : (sig::HopCfgNum() != 0 ? 1 : 0);
  uint8_t ubValid = ubCount != 0 ? 1 : 0;
  for (uint8_t i = 0; i < ubCount; ++i) {
    if (JudgeArrayValidOneFreq(i, n.uwRecordLen, kFlashKAddr, kKbModeKArea) == 0) ubValid = 0;
  }
  n.ubKValid = ubValid;
}

uint8_t JudgeBarrayValid() {
  NormalizeFields& n = Norm();
  const uint8_t ubNum = sig::HopCfgNum();
  if (ubNum == 0) return 0;
  for (uint8_t i = 0; i < ubNum; ++i) {
    if (JudgeArrayValidOneFreq(i, n.uwRecordLen, kTamrelFlashBase, kKbModeArea1) == 0) return 0;
  }
  n.ubDoubleBValid = 1;
  bool boArea2 = Area2Fits();
  for (uint8_t i = 0; boArea2 && i < ubNum; ++i) {
    if (JudgeArrayValidOneFreq(i, n.uwRecordLen, kTamrelFlashBase + ubNum * kBarrayCheckSlotBytes, kKbModeArea2) == 0)
      boArea2 = false;
  }
  const uint16_t uwMax = n.uwArea1WriteCnt > n.uwArea2WriteCnt ? n.uwArea1WriteCnt : n.uwArea2WriteCnt;
  n.uwMaxWriteCnt = uwMax;
  if (!boArea2) {
    n.ubDoubleBValid = 0;
    // Without room for area 2 beside the k area, the next study keeps rewriting area 1.
    n.ubReStudyIndex = Area2Fits() ? 1 : 0;
    return 1;
  }
  n.ubReStudyIndex = 0;
  const int16_t swD = static_cast<int16_t>(n.auwSv2Area1[0] - n.auwSv2Area2[0]);
  const uint16_t uwAbs = sig::AbsS16(swD);
  if (uwAbs < DoubleBWord(3)) {
    if (n.uwArea1WriteCnt <= n.uwArea2WriteCnt) return 1;
  } else if (n.auwSv2Area1[0] >= n.auwSv2Area2[0]) {
    return 1;
  }
  n.ubReStudyIndex = 1;
  return 1;
}

void NormalizeSetTempSizeInit() { MemTempBufferSizeSet(0, 0, 2, 0); }

void NormalizeInit() {
  NormalizeFields& n = Norm();
  gppstScanFreqTemp = gstCommon.pubTempArena;
  memset(&gstNormalize, 0, sizeof(gstNormalize));
  gstNormalizeOutput.ubBValid = gstNormalizeOutput.ubCheckState = 0;
  gstNormalizeOutput.ubEnabled = gstNormalizeOutput.ubBErrFlag = 0;
  PointOutputAt(0);
  Fill(gstCommon.puwBArray, 0);
  // Unit gain until a k record is loaded: a cleared k array would wipe every raw map.
  Fill(gstCommon.puwKArray, 4096);
  n.uwCfgSum = ConfigSnapshotSum();
  n.ubStudyBudget = 10;
  n.uwMaxDiffNode = 0xFFFF;
  n.ubFwBIndex = n.ubModuleBIndex = 0xFF;
  n.ubCheckState = 5;
  if ((RawOpt() & 0x01u) != 0) {
    n.uwRecordLen = GetOneFreqLen();
    if (n.uwRecordLen > kKbRecordMaxBytes) {
      FerxLogPrint("NormalizeInit", FERX_LOG_ERR, "record length %d exceeds a flash block, normalisation off\n",
                   n.uwRecordLen);
      n.uwRecordLen = 0;
    } else {
      n.ubEnabled = 1;
      if (!sboFirstInitDone) {
        sboFirstInitDone = true;
        gubNeedStudyByUidMismatch = 0;
      }
      if (JudgeBarrayValid() != 0 && gubNeedStudyByUidMismatch == 0) {
        n.ubBValid = 1;
      } else {
        n.ubBValid = 0;
        n.ubRestudyNeeded = 1;
        n.ubDoubleBValid = 0;
        n.ubReStudyIndex = 0;
        guiNormLastCalibTime = 0;
      }
    }
  }
  gubNormTimeCtrl |= kNormTimeCtrlBit4;
  KbBakFields& kb = gstKBBakSta.st;
  kb.ubRestudyCopy = n.ubRestudyNeeded;
  memset(kb.aubCounter, 0, sizeof(kb.aubCounter));
  kb.ubFirstFlag = 1;
  memset(gpubBarrayCheckBuf, 0, sizeof(gpubBarrayCheckBuf));
}

void MutualRawDataNormalize(uint8_t ubHook) {
  (void)ubHook;  // no hook is passed on any path of this module
  NormalizeFields& n = Norm();
  uint16_t* puwRaw = gstCommon.stData.puwRawData;
  const uint32_t uiNodes = sig::Nodes();
  if (puwRaw == nullptr || uiNodes == 0) return;
  if ((RawOpt() & 0x02u) != 0) {
    const uint32_t m = gstFreqHop.st.ubSegMul;
    if (m != 0 && uiNodes < 8192) {
      for (uint32_t i = 0; i < uiNodes; ++i) puwRaw[i] = static_cast<uint16_t>((m * puwRaw[i]) >> 7);
    }
  } else if ((RawOpt() & 0x04u) != 0 && gstCommon.puwKArray != nullptr) {
    if (n.ubScanRunning == 1) ThpGetCurFreqKArray(CurIndex());
    const uint16_t* k = gstCommon.puwKArray;
    for (uint32_t i = 0; i < uiNodes; ++i) {
      const uint32_t v = (static_cast<uint32_t>(k[i]) * puwRaw[i]) >> 12;
      puwRaw[i] = static_cast<uint16_t>(v > 0xFFFFu ? 0xFFFFu : v);
    }
  }
  if (n.ubEnabled == 0) return;
  if (n.ubScanRunning != 1 && n.ubBValid != 0 && n.ubCmdBlocked == 0 && gstCommon.puwBArray != nullptr) {
    const uint16_t* b = gstCommon.puwBArray;
    for (uint32_t i = 0; i < uiNodes; ++i) puwRaw[i] = static_cast<uint16_t>(puwRaw[i] + b[i]);
  }
}

namespace {
void ScaleSigned(uint16_t* puw, uint32_t uiCount, uint32_t f) {
  for (uint32_t i = 0; i < uiCount; ++i) {
    const int32_t v = static_cast<int16_t>(puw[i]);
    puw[i] = static_cast<uint16_t>(static_cast<uint32_t>(static_cast<int32_t>(f) * v) >> 7);
  }
}
}  // namespace

void MutualRawDataScale() {
  const uint8_t* c = gstRawDataCorrectCfg.aubData;
  const uint32_t uiNodes = sig::Nodes();
  if ((c[0] & 0x01u) == 0 || uiNodes == 0 || uiNodes >= 8192 || gstCommon.stData.puwRawData == nullptr) return;
  ScaleSigned(gstCommon.stData.puwRawData, uiNodes, c[3]);
}

void SelfRawDataScale() {
  const uint8_t* c = gstRawDataCorrectCfg.aubData;
  uint16_t* puwSelf = gstCommon.stData.puwSelfRawData;
  if ((c[0] & 0x02u) == 0 || puwSelf == nullptr) return;
  ScaleSigned(puwSelf, gstCommon.ubDrvNum, c[1]);
  ScaleSigned(puwSelf + gstCommon.ubDrvNum, gstCommon.ubSenNum, c[2]);
}

void BArrayChoose(uint16_t* puwRaw) {
  NormalizeFields& n = Norm();
  const uint8_t ubCur = CurIndex();
  uint16_t* puwB = gstCommon.puwBArray;
  const uint32_t uiNodes = sig::Nodes();
  if (n.ubFwBIndex != n.ubModuleBIndex) {
    FerxLogPrint("BArrayChoose", FERX_LOG_INFO, "FW B ARRAY = %d, tsa need b array = %d not equal\n", n.ubFwBIndex,
                 n.ubModuleBIndex);
    PointOutputAt(n.ubFwBIndex);
    n.ubModuleBIndex = n.ubFwBIndex;
    GetFreqKb(ubCur, puwB, n.ubFwBIndex == 1 ? kKbModeArea2 : kKbModeArea1);
  }
  if (n.ubChoiceMode == 0) return;
  if (n.ubChoiceMode == 1) {
    n.ubModuleBIndex = n.ubFwBIndex;
    PointOutputAt(n.ubFwBIndex);
    n.ubChoiceMode = 0;
    return;
  }
  if (puwRaw == nullptr || puwB == nullptr || uiNodes == 0 || ubCur >= kMaxHopFreq) {
    n.ubChoiceMode = 0;
    return;
  }
  // Candidates: the current diff against each B array; the smoother map wins.
  static int16_t sswDiff[kFerrantMaxNodes];
  static uint16_t suwCand[kFerrantMaxNodes];
  const uint8_t cur = n.ubFwBIndex == 1 ? 1 : 0;
  GetFreqKb(ubCur, puwB, cur == 1 ? kKbModeArea2 : kKbModeArea1);
  for (uint32_t i = 0; i < uiNodes; ++i) sswDiff[i] = static_cast<int16_t>(puwRaw[i] - puwB[i]);
  uint32_t c[2] = {0, 0};
  GetFreqKb(ubCur, puwB, kKbModeArea1);
  for (uint32_t i = 0; i < uiNodes; ++i) suwCand[i] = static_cast<uint16_t>(sswDiff[i] + puwB[i]);
  CalcBarrayConsistency(suwCand, &c[0]);
  const uint8_t ubBValid = n.ubBValid;
  GetFreqKb(ubCur, puwB, kKbModeArea2);
  n.ubBValid = ubBValid;
  for (uint32_t i = 0; i < uiNodes; ++i) suwCand[i] = static_cast<uint16_t>(sswDiff[i] + puwB[i]);
  CalcBarrayConsistency(suwCand, &c[1]);
  const uint8_t oth = static_cast<uint8_t>(1 - cur);
  const uint32_t w1 = DoubleBWord(1), w2 = DoubleBWord(2), w6 = DoubleBWord(6);
  const uint16_t* sv2[2] = {n.auwSv2Area1, n.auwSv2Area2};
  if (c[oth] + w1 >= c[cur] || c[oth] >= w2) {
    if (w6 + sv2[cur][ubCur] < sv2[oth][ubCur] && c[cur] + w6 < c[oth] && n.ubErrCheck == 0) {
      n.ubBErrFlag = 1;
      n.ubBErrSeen = 1;
      FerxLogPrint("BArrayChoose", FERX_LOG_INFO, "have error b array ,need stary = true\n");
    }
  } else if (n.ubSwitchCnt >= 2) {
    n.ubSwitchCnt = 0;
    n.ubModuleBIndex = oth;
    n.ubErrCheck = 0;
    SetFreqBUpdateCmd(cur == 1 ? 192 : 176);
    FerxLogPrint("BArrayChoose", FERX_LOG_INFO, "SWITCH TO BARRAY: %d\n", n.ubModuleBIndex);
  } else {
    n.ubSwitchCnt = static_cast<uint8_t>(n.ubSwitchCnt + 1);
  }
  GetFreqKb(ubCur, puwB, n.ubFwBIndex == 1 ? kKbModeArea2 : kKbModeArea1);
  n.ubChoiceMode = 0;
}

void GetBarrayMaxDiffIndex(uint8_t ubIndex) {
  NormalizeFields& n = Norm();
  const uint32_t uiNodes = sig::Nodes();
  int16_t* pswDiff = gstCommon.stData.pswDiffData;
  uint16_t* puwB = gstCommon.puwBArray;
  if (pswDiff == nullptr || puwB == nullptr || uiNodes == 0) return;
  static uint16_t suwB1[kFerrantMaxNodes];
  GetFreqKb(ubIndex, suwB1, kKbModeArea1);
  const uint8_t ubBValid = n.ubBValid;
  GetFreqKb(ubIndex, puwB, kKbModeArea2);
  n.ubBValid = ubBValid;
  for (uint32_t i = 0; i < uiNodes; ++i) pswDiff[i] = static_cast<int16_t>(suwB1[i] - puwB[i]);
  GetMutualDiffMaxMinAfterSito();
  n.uwMaxDiffNode = 0xFFFF;
  n.ubErrCheck = DoubleB()[1];
  const uint16_t uwBound = DoubleBWord(4);
  const uint16_t uwMax = sig::AbsS16(gstCommon.swDiffMax);
  const uint16_t uwMin = sig::AbsS16(gstCommon.swDiffMin);
  if (uwMax >= uwMin && uwMax > uwBound) {
    n.uwMaxDiffNode = static_cast<uint16_t>(gstCommon.ubMaxCol + gstCommon.ubSenNum * gstCommon.ubMaxRow);
  } else if (uwMin > uwMax && uwMin > uwBound) {
    n.uwMaxDiffNode = static_cast<uint16_t>(gstCommon.ubMinCol + gstCommon.ubSenNum * gstCommon.ubMinRow);
  }
  // Reload the array of the current frequency over the comparison copy.
  GetFreqKb(CurIndex(), puwB, n.ubFwBIndex == 1 ? kKbModeArea2 : kKbModeArea1);
}

void GetDoubleBarrayMaxDiffIndex() {
  Norm().uwMaxDiffNode = 0xFFFF;
  if (Norm().ubDoubleBValid != 0) GetBarrayMaxDiffIndex(0);
}

uint8_t IsBarrayNormalizeOk() {
  const NormalizeFields& n = Norm();
  return n.ubEnabled != 0 && n.ubBValid != 0 && n.ubBErrFlag != 1 && n.ubCmdBlocked != 1;
}

namespace {

// Drive consistency (step 2) of a copy of a map, into the second half of the arena.
uint16_t DrvConsistency(const uint16_t* puwMap, uint32_t* puiSum) {
  uint16_t uwMaxAbs = 32767;
  uint8_t* pubArena = gstCommon.pubTempArena;
  const uint32_t uiNodes = sig::Nodes();
  if (pubArena == nullptr || puwMap == nullptr || uiNodes == 0) {
    if (puiSum != nullptr) *puiSum = 0;
    return uwMaxAbs;
  }
  auto* puwCopy = reinterpret_cast<uint16_t*>(pubArena);
  auto* puwScratch = reinterpret_cast<uint16_t*>(pubArena + kFerrantMaxNodes * 2u);
  memcpy(puwCopy, puwMap, uiNodes * 2u);
  const uint32_t uiSum = LibCalcConsistencyDrv(puwCopy, puwScratch, &uwMaxAbs, gstCommon.ubDrvNum, gstCommon.ubSenNum, 2);
  if (puiSum != nullptr) *puiSum = uiSum;
  return uwMaxAbs;
}

}  // namespace

void NormalizeStateCheck() {
  NormalizeFields& n = Norm();
  const uint16_t* puwRef = gstCommon.stData.puwRefData;
  const uint32_t uiNodes = sig::Nodes();
  if (n.ubBValid == 0) {
    n.ubEdgeLatched = 0;
    n.ubWaitCnt = 0;
  }
  if (puwRef == nullptr || uiNodes == 0) return;
  LibVpuStatisticU16(puwRef, static_cast<uint16_t>(uiNodes));
  const uint16_t uwLevel = sig::U16(RawCfg(), 2);
  if (n.ubEnabled != 0 && n.ubBValid != 0 && gstCommon.ubRefState < 4) {
    if (gstVpuStatistic.uwMaxData > uwLevel + 2000u || gstVpuStatistic.uwMinData + 2000 < uwLevel) n.ubBErrFlag = 1;
  }
  uint32_t uiRefSum = 0;
  gswNormalizeRefDiffMax = static_cast<int16_t>(DrvConsistency(puwRef, &uiRefSum));
  const uint32_t uiCur = CurIndex() < kMaxHopFreq ? CurIndex() : 0;
  uint32_t uiLimit = (3u * n.auwSv1Area1[uiCur]) >> 1;
  const uint32_t uiCfgLimit = sig::U16(RawCfg(), 6);
  if (uiCfgLimit != 0 && uiLimit >= uiCfgLimit) uiLimit = uiCfgLimit - 1;
  const bool boConsistent =
      static_cast<uint16_t>(gswNormalizeRefDiffMax) <= sig::U16(RawCfg(), 10) && uiRefSum <= uiLimit;
  if (boConsistent && n.ubBErrSeen == 0) {
    n.ubBErrFlag = 0;
    n.ubWaitCnt = 0;
  }
  if (!(n.ubEnabled != 0 && n.ubBValid != 0 && (RawOpt() & 0x80u) != 0)) {
    n.ubCheckState = 5;
    return;
  }
  if (boConsistent) {
    if (n.ubCheckState == 4) n.ubStableCnt = 0;
    n.ubCheckState = 5;
    gstCommon.ubDisconnectCorrect = 0;
    if (gpstTamrelDebugInfo != nullptr) gpstTamrelDebugInfo[0] &= static_cast<uint8_t>(~0x20u);
  } else {
    if (gstCommon.ubRefState == 0) {
      n.uiRefSum = uiRefSum;
      n.ubCheckState = 1;
    }
    gstCommon.ubDisconnectCorrect = 1;
    if (gpstTamrelDebugInfo != nullptr) gpstTamrelDebugInfo[0] |= 0x20u;
  }
}

void NormalizeCheck() {
  NormalizeFields& n = Norm();
  const uint16_t* puwRef = gstCommon.stData.puwRefData;
  const uint32_t uiNodes = sig::Nodes();
  if (ThpFlashKBCheckValid() == 0) return;
  if (gstCommon.ubRefState != 0) NormalizeStateCheck();
  if (gstCommon.ubNormalizeCheckEn != 0) {
    const int16_t thr = gstCommon.swTouchThreshold;
    n.ubStudyAllowed = 0;
    if (n.ubEnabled != 0 && n.ubCmdBlocked == 0 && n.ubBValid != 0 && (RawOpt() & 0x80u) != 0 && n.ubCheckState != 5) {
      if (n.ubCheckState == 4 && gstCommon.ubRefState == 2 && n.ubEdgeGrip == 0 && puwRef != nullptr) {
        LibVpuStatisticU16(puwRef, static_cast<uint16_t>(uiNodes));
        const uint32_t uiSum = gstVpuStatistic.ulAcc;
        const uint32_t uiMoved = uiSum > n.uiRefSum ? uiSum - n.uiRefSum : n.uiRefSum - uiSum;
        if (uiMoved < sig::U16(RawCfg(), 11)) n.ubStableCnt = sig::Inc8(n.ubStableCnt);
        if (n.ubStableCnt >= 3) n.ubBErrFlag = 1;
      }
      if (n.ubCheckState == 2 && gstCommon.swDiffMax < thr) n.ubCheckState = 4;
      if (n.ubCheckState == 1 && n.ubEdgeLatched != 0) n.ubCheckState = 2;
    }
    const int32_t half = thr / 2;
    const uint16_t uwLevel = sig::U16(RawCfg(), 2);
    auto withinLevel = [&](const uint16_t* puw) {
      if (puw == nullptr || uiNodes == 0) return false;
      LibVpuStatisticU16(puw, static_cast<uint16_t>(uiNodes));
      return gstVpuStatistic.uwMaxData <= uwLevel + 300u && gstVpuStatistic.uwMinData + 300u >= uwLevel;
    };
    if (n.ubBErrSeen != 0) {
      n.ubStudyAllowed = 0;
    } else if (n.ubCheckState == 5 && n.ubEdgeLatched != 0 && gstCommon.swDiffMax < half && gstCommon.swDiffMin > -half &&
               gswNormalizeRefDiffMax < static_cast<int32_t>(gstCommon.uwThreshold2 / 2u) && withinLevel(puwRef) &&
               withinLevel(gstCommon.stData.puwRawData)) {
      n.ubStudyAllowed = 1;
      n.ubLimitCnt = 0;
    } else {
      const uint64_t ullSec = gullProcTimeStamp / 1000000u;
      const uint64_t ullSince = ullSec >= guiNormLastCalibTime ? (ullSec - guiNormLastCalibTime) >> 8 : 0;
      if (ullSince < 675 && gubNormReleaseHold == 0) n.ubStudyAllowed = 1;
    }
    if (n.ubStudyAllowed != 0 && n.ubBErrFlag != 0) {
      n.ubLimitCnt = sig::Inc8(n.ubLimitCnt);
      if (n.ubLimitCnt >= 2) {
        n.ubStudyAllowed = 0;
        n.ubLimitCnt = 0;
        guiNormLastCalibTime = 0;
      }
      n.ubBErrFlag = 0;
      n.ubCheckState = 5;
    }
    // Edge condition: one small touch away from the panel border, as seen by region output.
    if (n.ubEdgeLatched == 0) {
      const RegionRect& r = gstRegionOutput.stFirstRect;
      const uint32_t D = gstCommon.ubDrvNum, S = gstCommon.ubSenNum;
      const int32_t mask = gstCommon.uwMaskThreshold;
      const uint32_t area = static_cast<uint32_t>(r.ubColEnd - r.ubColStart) * static_cast<uint32_t>(r.ubRowEnd - r.ubRowStart);
      if (gstRegionOutput.ubRegionNum == 1 && gstCommon.ubTouchCount == 1 && gstCommon.swDiffMax > 2 * mask &&
          gstCommon.swDiffMin > -mask && r.ubRowEnd >= r.ubRowStart && r.ubColEnd >= r.ubColStart && r.ubRowStart >= 2 &&
          r.ubColStart >= 2 && r.ubRowEnd + 2u < D && r.ubColEnd + 2u < S && area >= 4 && area <= 25) {
        gstCommon.aubWorkRect[0] = r.ubRowStart;
        gstCommon.aubWorkRect[1] = r.ubRowEnd;
        gstCommon.aubWorkRect[2] = r.ubColStart;
        gstCommon.aubWorkRect[3] = r.ubColEnd;
        n.ubEdgeLatched = 1;
      }
    }
    if (n.ubEdgeLatched == 0 && (RawOpt() & 0x40u) != 0) {
      gstNormalizeOutput.ubBValid = n.ubBValid;
      gstNormalizeOutput.ubCheckState = n.ubCheckState;
      gstNormalizeOutput.ubEnabled = n.ubEnabled;
      gstNormalizeOutput.ubBErrFlag = n.ubBErrFlag;
      return;
    }
    if (gstCommon.ubDurationA == 0 && n.ubStudyAllowed == 0) {
      const bool boNeed = n.ubBErrFlag != 0 || n.ubBValid == 0;
      if (n.ubCheckState != 5 || boNeed) {
        gubNormTimeCtrl |= kNormTimeCtrlBit4;
      } else {
        gubNormTimeCtrl &= static_cast<uint8_t>(~kNormTimeCtrlBit4);
      }
      if (n.ubStudyInProgress == 0 && boNeed && n.ubStudyBudget != 0 && gstCommon.ubLowTempState != 2 &&
          gstCommon.ubWaterFlag == 0 && gstCommon.ubLargeAreaFlag == 0 && gstCommon.swDiffMax < thr &&
          gstCommon.swDiffMin > -thr && n.uwArea1WriteCnt < 10001) {
        if (n.ubWaitCnt <= gstRawNormalizeCfg.aubData[1] && n.ubRestudyNeeded == 0) {
          n.ubWaitCnt = static_cast<uint8_t>(n.ubWaitCnt + gstCommon.ubTick100ms);
        } else {
          SetKbStudyCmd();
          FerxLogPrint("NormalizeCheck", FERX_LOG_INFO, "KbDbg-send kb restudy!!!\n");
          n.ubStudyBudget = sig::Dec8(n.ubStudyBudget);
        }
      }
      if (gstCommon.ubLowTempState == 2) {
        n.ubWaitCnt = 0;
        n.ubBErrFlag = 0;
      }
    }
  }
  gstNormalizeOutput.ubBValid = n.ubBValid;
  gstNormalizeOutput.ubCheckState = n.ubCheckState;
  gstNormalizeOutput.ubEnabled = n.ubEnabled;
  gstNormalizeOutput.ubBErrFlag = n.ubBErrFlag;
}

void SavebArrayToFlash(uint8_t (*paubTrailer)[kKbTrailerBytes], uint16_t* const* ppuwData) {
  const uint8_t ubNum = sig::HopCfgNum();
  const uint32_t uiLen = Norm().uwRecordLen;
  uint8_t* pubArena = gstCommon.pubTempArena;
  if (paubTrailer == nullptr || ppuwData == nullptr || pubArena == nullptr) return;
  if (uiLen < kKbTrailerBytes || uiLen > kBarrayCheckSlotBytes) return;
  for (uint8_t i = 0; i < ubNum && i < kKbAreaKBlock; ++i) {
    memset(pubArena, 0, kBarrayCheckSlotBytes);
    KbRecordBuild(pubArena, uiLen, ppuwData[i], paubTrailer[i]);
    memcpy(gpubTamrelFlash + i * kBarrayCheckSlotBytes, pubArena, kBarrayCheckSlotBytes);
  }
}

void SavekValueToFlash() {}
void SetFreqScanCntDbgData() {}
void SetBStateDbgData() {}
void SaveNormalizeDbgInfoToFlash() {}

void CheckScanFreqConfig() {
  gppstScanFreqTemp = gstCommon.pubTempArena;
  Norm().uwCfgSum = ConfigSnapshotSum();
}
