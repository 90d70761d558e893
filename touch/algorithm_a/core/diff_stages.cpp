// Diff-data stages: mutual diff = reference - raw, self diff = self raw - self reference,
// the frame's diff statistics with their positions, the have-touch decision, the hole
// complement inside a configured rectangle, 1-2-1 smoothing across rows under white noise
// and the fingerprint-area coverage.
#include "diff_stages.h"

#include <cstring>

#include "coord.h"
#include "core_stages.h"
#include "framework.h"
#include "lcd_denoise.h"
#include "module_wrappers.h"
#include "mathlib.h"
#include "region.h"
#include "self_ofs_cancel.h"
#include "signal_proc.h"
#include "signal_util.h"
#include "tsa_frame_links.h"

DiffdataInputRec gstDiffdataInput;
DiffdataOutputRec gstDiffdataOutput;
MutualOfsCancelRec gstMutualOfsCancel;
SelfOfsCancelRec gstSelfOfsCancel;
uint64_t gullDiffOverFlag;
uint64_t gullHighNoiseB;

namespace {

constexpr uint8_t kHoleDefaultStrong = 60;

// Signed statistics of COUNT values with the first positions of the extremes.
struct S16Stats {
  int16_t swMax;
  int16_t swMin;
  uint32_t uiSum;
  uint32_t uiMaxAt;
  uint32_t uiMinAt;
};

S16Stats StatsS16(const int16_t* psw, uint32_t uiCount) {
  LibVpuStatisticS16(psw, static_cast<uint16_t>(uiCount), 0, 1);
  const VpuStatistic& v = gstVpuStatistic;
  return {static_cast<int16_t>(v.uwMaxData), static_cast<int16_t>(v.uwMinData), v.ulAcc,
          static_cast<uint32_t>(static_cast<const int16_t*>(v.pMaxDataAddr) - psw),
          static_cast<uint32_t>(static_cast<const int16_t*>(v.pMinDataAddr) - psw)};
}

void HaveTouchRule() {
  const int32_t thr = gstCommon.swTouchThreshold;
  const bool boAbsent =
      gstMutualOfsCancel.swMax < thr && gstMutualOfsCancel.swMin > -2 * thr && gubGloveShakeCnt == 0;
  if (boAbsent) return;
  gstCommon.ubNoTouchCnt = 0;
  gstCommon.ubTouchPresent = 1;
  if (gstCommon.ubTimerHold == 0) reinterpret_cast<uint8_t*>(&gstTimeCtrlEx)[3] = 0;
}

void MirrorStatistics() {
  gstCommon.swDiffMax = gstMutualOfsCancel.swMax;
  gstCommon.swDiffMin = gstMutualOfsCancel.swMin;
  gstCommon.swSelfRowMax = gstSelfOfsCancel.swRowMaxAfter;
  gstCommon.swSelfColMax = gstSelfOfsCancel.swColMaxAfter;
  gstCommon.ubMaxRow = gstMutualOfsCancel.aubPos[0];
  gstCommon.ubMinRow = gstMutualOfsCancel.aubPos[1];
  gstCommon.ubMaxCol = gstMutualOfsCancel.aubPos[2];
  gstCommon.ubMinCol = gstMutualOfsCancel.aubPos[3];
}

// Statistics of the two self sections into the after-cancel slots and the two max indices.
void SelfSectionStats(bool boMeasured) {
  SelfOfsCancelRec& s = gstSelfOfsCancel;
  const int16_t* psw = gstCommon.stData.pswSelfDiffData;
  const uint32_t D = gstCommon.ubDrvNum, S = gstCommon.ubSenNum;
  if (psw == nullptr) return;
  if (D != 0) {
    const S16Stats r = StatsS16(psw, D);
    s.swRowMaxAfter = r.swMax;
    s.swRowMinAfter = r.swMin;
    s.ubRowMaxIndex = static_cast<uint8_t>(r.uiMaxAt);
    if (boMeasured) {
      s.swRowMax = r.swMax;
      s.swRowMin = r.swMin;
    }
  }
  if (S != 0) {
    const S16Stats c = StatsS16(psw + D, S);
    s.swColMaxAfter = c.swMax;
    s.swColMinAfter = c.swMin;
    s.ubColMaxIndex = static_cast<uint8_t>(c.uiMaxAt);
    if (boMeasured) {
      s.swColMax = c.swMax;
      s.swColMin = c.swMin;
    }
  }
}

}  // namespace

void DiffDataCommonInit() {
  gstDiffdataInput.pstCommon = &gstCommon;
  gstDiffdataInput.pstRawdataOutput = gstRawdataOutput;
  gstDiffdataOutput.pstMutual = &gstMutualOfsCancel;
  gstDiffdataOutput.pstSelf = &gstSelfOfsCancel;
}

void DenoiseDiffInit() {
  gstMutualOfsCancel.uwRes = 0;
  gullDiffOverFlag = ~0ull;
  gullHighNoiseB = ~0ull;
  MutualOfsCancelTempInit(gstCommon.pubTempArena);
  AppLcdDenoiseInitialWrapper(1);
  SelfDiffOffsetCancelInit(gstCommon.pubTempArena);
  memset(&gstSelfOfsCancel, 0, sizeof(gstSelfOfsCancel));
}

void DiffdataInit() {
  DiffDataCommonInit();
  DenoiseDiffInit();
}

void GetMutualDiffData() {
  const uint32_t uiNodes = sig::Nodes();
  const uint16_t* puwRef = gstCommon.stData.puwRefData;
  const uint16_t* puwRaw = gstCommon.puwRawForDiff;
  int16_t* pswDiff = gstCommon.stData.pswDiffData;
  if (uiNodes == 0 || puwRef == nullptr || puwRaw == nullptr || pswDiff == nullptr) return;
  for (uint32_t i = 0; i < uiNodes; ++i) pswDiff[i] = static_cast<int16_t>(static_cast<uint16_t>(puwRef[i] - puwRaw[i]));
  const S16Stats st = StatsS16(pswDiff, uiNodes);
  gstMutualOfsCancel.swMax = st.swMax;
  gstMutualOfsCancel.swMin = st.swMin;
  gstMutualOfsCancel.uiSum = st.uiSum;
  const uint16_t uwPeak = sig::AbsS16(st.swMin) > sig::AbsS16(st.swMax) ? sig::AbsS16(st.swMin) : sig::AbsS16(st.swMax);
  gstMutualOfsCancel.uwPeak = uwPeak;
  gstCommon.uwAbsPeak = uwPeak;
}

void GetDiff() {
  GetMutualDiffData();
  const uint32_t uiSelf = static_cast<uint32_t>(gstCommon.ubDrvNum) + gstCommon.ubSenNum;
  const uint16_t* puwRaw = gstCommon.stData.puwSelfRawData;
  const uint16_t* puwRef = gstCommon.stData.puwSelfRefData;
  int16_t* pswDiff = gstCommon.stData.pswSelfDiffData;
  if (gstCommon.ubSelfEnable == 0 || uiSelf == 0 || puwRaw == nullptr || puwRef == nullptr || pswDiff == nullptr) return;
  for (uint32_t i = 0; i < uiSelf; ++i) pswDiff[i] = static_cast<int16_t>(static_cast<uint16_t>(puwRaw[i] - puwRef[i]));
}

void GetMutualDiffMaxMinAfterSito() {
  const uint32_t uiNodes = sig::Nodes();
  const int16_t* pswDiff = gstCommon.stData.pswDiffData;
  auto* pswCopy = reinterpret_cast<int16_t*>(gstCommon.pubTempArena);
  if (uiNodes == 0 || pswDiff == nullptr || pswCopy == nullptr) return;
  memset(pswCopy, 0, uiNodes * 2u);
  memcpy(pswCopy, pswDiff, uiNodes * 2u);
  const S16Stats st = StatsS16(pswCopy, uiNodes);
  MutualOfsCancelRec& m = gstMutualOfsCancel;
  m.swMax = st.swMax;
  m.swMin = st.swMin;
  m.uiSum = st.uiSum;
  const uint32_t S = gstCommon.ubSenNum, D = gstCommon.ubDrvNum;
  auto row = [&](uint32_t at) { return static_cast<uint8_t>(at / S < D ? at / S : 0); };
  auto col = [&](uint32_t at) { return static_cast<uint8_t>(at % S); };
  m.aubPos[0] = row(st.uiMaxAt);
  m.aubPos[1] = row(st.uiMinAt);
  m.aubPos[2] = col(st.uiMaxAt);
  m.aubPos[3] = col(st.uiMinAt);
  gstCommon.ubMaxRow = m.aubPos[0];
  gstCommon.ubMinRow = m.aubPos[1];
  gstCommon.ubMaxCol = m.aubPos[2];
  gstCommon.ubMinCol = m.aubPos[3];
}

void SetHaveTouchFlag() { HaveTouchRule(); }

void DenoiseSelfDiff() {
  if (gstCommon.ubSelfEnable == 0) return;
  SelfSectionStats(true);
  if ((gstSelfOfsCancelCfg.aubData[0] & 0x01u) != 0) {
    SelfDiffOffsetCancelWrapper();
    SelfSectionStats(false);
  }
}

void DenoiseMutualDiff() {
  if ((gstDenoiseCommonCfg.aubData[0] & 0x01u) != 0) AppLcdDenoiseFilterWrapper();
  GetMutualDiffMaxMinAfterSito();
  if (gstCommon.ubLowTempState != 2 && gstCommon.ubWaterFlag == 0 && gullDiffOverFlag == 0) gstCommon.ubRefUpdateFlag = 0;
  HaveTouchRule();
}

void DenoiseDiff() {
  DenoiseMutualDiff();
  DenoiseSelfDiff();
  gstCommon.ubDiffModified = 0;
  NormalizeFields& n = gstNormalize.st;
  const int16_t* pswDiff = gstCommon.stData.pswDiffData;
  if (n.uwMaxDiffNode != 0xFFFF && n.ubErrCheck != 0 && pswDiff != nullptr && n.uwMaxDiffNode < sig::Nodes()) {
    const uint16_t uwAbs = sig::AbsS16(pswDiff[n.uwMaxDiffNode]);
    if (uwAbs > sig::U16(gstDoubleBarrayCfg.aubData, 8)) {
      n.ubExceedCnt = sig::Inc8(n.ubExceedCnt);
      if (n.ubExceedCnt > gstDoubleBarrayCfg.aubData[0]) {
        n.ubExceedCnt = 0;
        n.ubChoiceMode = 2;
        n.ubErrCheck = static_cast<uint8_t>(n.ubErrCheck - 1);
      }
    }
  }
}

void DiffDataStateAcquire() { MirrorStatistics(); }

void ResetDiffInfo() {
  if (gstCommon.ubDiffModified == 0) return;
  const int16_t* pswDiff = gstCommon.stData.pswDiffData;
  if (pswDiff != nullptr) gullDiffOverFlag = ResetMaskFlag(pswDiff, gstCommon.ubDrvNum, gstCommon.ubSenNum, gstCommon.uwMaskThreshold);
  GetMutualDiffMaxMinAfterSito();
  HaveTouchRule();
  MirrorStatistics();
}

void ComplementDiff() {
  int16_t* d = gstCommon.stData.pswDiffData;
  const int32_t R = gstCommon.ubDrvNum, C = gstCommon.ubSenNum;
  if (d == nullptr || R == 0 || C == 0) return;
  const uint8_t* h = gstCompleteHoleCfg.aubData;
  const int32_t r0 = h[1], r1 = h[2], c0 = h[3], c1 = h[4];
  const bool boRun = (h[0] & 0x01u) != 0 && r0 <= r1 && c0 <= c1 && r1 < R && c1 < C &&
                     gstCommon.ubNfNoiseResult == 0 && gstCommon.ubWhiteNoiseResult == 0;
  if (boRun) {
    const int32_t T = h[5] != 0 ? h[5] : kHoleDefaultStrong;
    const int32_t thr = gstCommon.swTouchThreshold;
    for (int32_t r = r0; r <= r1; ++r) {
      for (int32_t c = c0; c <= c1; ++c) {
        int32_t nb[4];
        int32_t n = 0;
        if (r == r0 && r != 0) nb[n++] = d[(r - 1) * C + c];
        if (r == r1 && r != R - 1) nb[n++] = d[(r + 1) * C + c];
        if (c == c0 && c != 0) nb[n++] = d[r * C + c - 1];
        if (c == c1 && c != C - 1) nb[n++] = d[r * C + c + 1];
        if (n == 0) continue;
        int32_t sum = 0, m = 0, s = 0;
        bool boWeak = false;
        for (int32_t k = 0; k < n; ++k) {
          sum += nb[k];
          m = nb[k] > m ? nb[k] : m;
          s += nb[k] >= T ? 1 : 0;
          boWeak = boWeak || nb[k] < thr;
        }
        const int32_t cv = d[r * C + c];
        if (cv > m || (cv < thr && boWeak)) continue;
        gstCommon.ubDiffModified = 1;
        const int32_t div = 2 * n - s;
        const int32_t a = div != 0 ? static_cast<int16_t>(2 * sum) / div : 0;
        const int32_t q = (h[0] & 0x02u) != 0 ? (cv >> 2) : 0;
        const int32_t rr = (h[0] & 0x04u) != 0 ? m / 4 : 0;
        d[r * C + c] = static_cast<int16_t>(q + (a < 2 * m ? a : 2 * m) + rr);
      }
    }
  }
  if ((gstDenoiseCommonCfg.aubData[10] & 0x04u) != 0 && R >= 2 && C >= 2) {
    auto at = [&](int32_t r, int32_t c) -> int16_t& { return d[r * C + c]; };
    at(0, 0) = static_cast<int16_t>((at(0, 1) + at(1, 0)) / 2);
    at(0, C - 1) = static_cast<int16_t>((at(1, C - 1) + at(0, C - 2)) / 2);
    at(R - 1, 0) = static_cast<int16_t>((at(R - 2, 0) + at(R - 1, 1)) / 2);
    at(R - 1, C - 1) = static_cast<int16_t>((at(R - 1, C - 2) + at(R - 2, C - 1)) / 2);
    gstCommon.ubDiffModified = 1;
  }
}

void NoiseDiffDrvSmooth() {
  if (gstCommon.ubWhiteNoiseResult == 0) return;
  gstCommon.ubDiffModified = 1;
  int16_t* d = gstCommon.stData.pswDiffData;
  const uint32_t R = gstCommon.ubDrvNum, C = gstCommon.ubSenNum;
  if (d == nullptr || R < 3) return;
  for (uint32_t c = 0; c < C; ++c) {
    int32_t up = d[c];
    for (uint32_t r = 1; r + 1 < R; ++r) {
      const int32_t cur = d[r * C + c];
      d[r * C + c] = static_cast<int16_t>((up + 2 * cur + d[(r + 1) * C + c]) >> 2);
      up = cur;
    }
  }
}

void NoiseDiffReduce() {
  int16_t* d = gstCommon.stData.pswDiffData;
  const uint32_t uiNodes = gstCommon.uwNodeNum;
  if (gstCommon.ubWhiteNoiseResult == 0 || gstCommon.ubTouchCount == 0 || d == nullptr || uiNodes == 0 || uiNodes > 8191)
    return;
  for (uint32_t i = 0; i < uiNodes && i < kFerrantMaxNodes; ++i) d[i] = static_cast<int16_t>((d[i] * 85) >> 7);
}

void LowTempCompensatePro() {
  const uint8_t ubCfg = gstLowTempCfg.aubData[0];
  if ((ubCfg & 0x01u) != 0 && gstCommon.ubLowTempState != 0 && (ubCfg & 0x04u) == 0) LowTempCompensateRectWrapper();
}

void JudgeLowTempByTouchPkg() {
  if ((gstLowTempCfg.aubData[0] & 0x01u) == 0) return;
  if (gstCommon.ubWaterFlag != 0 || gstCommon.ubGameModeFlag != 0 || gstCommon.ubLargeAreaFlag != 0 ||
      gstCommon.ubNfNoiseResult != 0 || gstCommon.ubLowTempState == 2)
    return;
  JudgeLowTempByTouchWrapper();
}

void JudgeFpTouchState() {
  if ((gstFingerPrintCfg.aubData[0] & 0x01u) == 0) return;
  const uint8_t* rc = gstCommon.aubFpRect;
  const int16_t* d = gstCommon.stData.pswDiffData;
  const uint32_t C = gstCommon.ubSenNum;
  const int16_t swThr = gstFingerPrintCfg.aubData[21];
  uint8_t ubCount = 0;
  if (d != nullptr && rc[0] <= rc[1] && rc[2] <= rc[3] && rc[1] < gstCommon.ubDrvNum && rc[3] < C) {
    for (uint32_t r = rc[0]; r <= rc[1]; ++r) {
      for (uint32_t c = rc[2]; c <= rc[3]; ++c) {
        // The count is a byte that stops at 255: a 16 x 16 area must not fold to 0.
        if (d[r * C + c] >= swThr && ubCount != 0xFF) ++ubCount;
      }
    }
  }
  gstCommon.ubFpNodeCount = ubCount;
  const uint8_t ubArea = gstCommon.ubFpAreaThreshold;
  gstCommon.ubFpCovered = ubCount >= ubArea ? 1 : 0;
  const uint32_t uiDouble = 2u * ubCount > 0xFFu ? 0xFFu : 2u * ubCount;
  gstCommon.ubFpHalfCovered = (uiDouble >= ubArea || gstCommon.ubFpCovered != 0) ? 1 : 0;
}
