// Region filters run by the acquisition stage: pocket, bar, single line, camera hole,
// included regions and the one-line merge. Each marks a dropped region by clearing its
// peak and compacts the record once.
#include <cstring>

#include "coord_records.h"
#include "region.h"
#include "region_lib.h"
#include "region_proc.h"
#include "signal_proc.h"

uint8_t gubPocketErrorTouchMode;
uint8_t gubPocketTouchLevelIncFlag;

namespace {

constexpr uint16_t kPocketEnableBit = 1u << 10;

uint8_t Rows() { return gstCommon.ubDrvNum; }
uint8_t Cols() { return gstCommon.ubSenNum; }

void Examined(RegionRect r) { memcpy(gstCommon.aubWorkRect, &r, sizeof(r)); }

uint8_t RegionCount() { return gstMutualRegion.ubRegionNum > kRegionMax ? kRegionMax : gstMutualRegion.ubRegionNum; }

void Compact() {
  MutualRegionSet& m = gstMutualRegion;
  m.ubRegionNum = RearrangeRegion(RegionCount(), m.auwPeak, m.astRect, m.auwPeakPos, m.auwWaterValue,
                                  gaubRegionLabelMap, Rows(), Cols());
}

bool OneRow(RegionRect r) { return r.ubRowStart == r.ubRowEnd; }
bool OneCol(RegionRect r) { return r.ubColStart == r.ubColEnd; }

}  // namespace

RegionRect ExpandRect(RegionRect r, uint8_t ubRows, uint8_t ubCols) {
  if (r.ubColStart > 0) --r.ubColStart;
  if (r.ubColEnd + 1 < ubCols) ++r.ubColEnd;
  if (r.ubRowStart > 0) --r.ubRowStart;
  if (r.ubRowEnd + 1 < ubRows) ++r.ubRowEnd;
  return r;
}

uint8_t RectNoConnectJudge(RegionRect a, RegionRect b, uint8_t ubGap) {
  return (b.ubRowEnd + ubGap < a.ubRowStart || a.ubRowEnd + ubGap < b.ubRowStart ||
          b.ubColEnd + ubGap < a.ubColStart || a.ubColEnd + ubGap < b.ubColStart)
             ? 1
             : 0;
}

void PocketErrorTouchProc() {
  const uint16_t uwCfg = static_cast<uint16_t>(gstTestModeCtrCfg.aubData[0] | (gstTestModeCtrCfg.aubData[1] << 8));
  if ((uwCfg & kPocketEnableBit) == 0 || (gstCommon.ubLargePocket == 0 && gstRegionRoles.ubPocketAux == 0)) {
    gubPocketTouchLevelIncFlag = 0;
    return;
  }
  if (gstCommon.swDiffMax >= gstTestModeCtrCfg.aubData[2]) {
    gubPocketErrorTouchMode = 0;
    return;
  }
  const RegionGrid g{gstCommon.stData.pswDiffData, Rows(), Cols()};
  uint32_t n = 0;
  for (int32_t r = 0; r < g.ubRows; ++r) {
    for (int32_t c = 0; c < g.ubCols; ++c) {
      const int16_t v = g.At(r, c);
      if ((v >= 31 && v <= 79) || (v >= -79 && v <= -31)) ++n;
    }
  }
  if (n > 50) {
    gubPocketErrorTouchMode = gstTestModeCtrCfg.aubData[3];
    gubPocketTouchLevelIncFlag = 1;
  }
  if (gubPocketErrorTouchMode == 0) return;
  const uint8_t ubTick = gstCommon.ubTick100ms;
  gubPocketErrorTouchMode = gubPocketErrorTouchMode > ubTick ? static_cast<uint8_t>(gubPocketErrorTouchMode - ubTick) : 0;
  if (gubPocketErrorTouchMode == 0 || RegionCount() == 0) return;
  const uint16_t uwLimit = n <= 100 ? 250 : n <= 150 ? 288 : 300;
  bool boDropped = false;
  for (uint8_t i = 0; i < RegionCount(); ++i) {
    Examined(gstMutualRegion.astRect[i]);
    if (gstMutualRegion.auwPeak[i] < uwLimit && gstMutualRegion.auwPeak[i] != 0) {
      gstMutualRegion.auwPeak[i] = 0;
      boDropped = true;
    }
  }
  if (boDropped) Compact();
}

void NfDeleteBarRegion() {
  if (gstRegionRoles.ubBarFilter == 0 || RegionCount() < 2) return;
  bool boDropped = false;
  for (uint8_t i = 0; i < RegionCount(); ++i) {
    const RegionRect r = gstMutualRegion.astRect[i];
    Examined(r);
    const int32_t w = r.ubColEnd - r.ubColStart;
    const int32_t h = r.ubRowEnd - r.ubRowStart + 1;
    if ((h == 1 && w > 2) || (h == 2 && w >= 4)) {
      gstMutualRegion.auwPeak[i] = 0;
      boDropped = true;
    }
  }
  if (boDropped) Compact();
}

void DeleteSingleRegion() {
  const RegionCommonRoles& k = gstRegionRoles;
  const RegionGrid g{gstCommon.stData.pswDiffData, Rows(), Cols()};
  const uint8_t ubCount = RegionCount();
  if (ubCount == 0 || g.pswMap == nullptr) return;
  uint8_t ubMask = 0;
  uint8_t ubDropped = 0;
  auto drop = [&](uint8_t i, uint8_t bit) {
    gstMutualRegion.auwPeak[i] = 0;
    ubMask |= bit;
    ++ubDropped;
  };
  const bool boGate = (k.ubOlderPointCount == 1 && ubCount > 1 && k.aubGate[0] != 0) || k.aubGate[1] != 0 ||
                      k.aubGate[2] != 0;
  // The first byte of the raw-data output record was meant as a skip flag, but that record
  // is the normalisation output, whose first field is an array address: its first byte
  // would switch the filter by where the array happens to lie. Nothing in this module sets
  // such a flag, so it reads as clear.
  const uint8_t ubRawSkip = 0;
  if (boGate || (ubRawSkip == 0 && k.aubSkip[0] == 0 && k.aubSkip[1] == 0)) {
    for (uint8_t i = 0; i < ubCount; ++i) {
      const RegionRect r = RegionRectClip(gstMutualRegion.astRect[i], g.ubRows, g.ubCols);
      Examined(r);
      if (gstMutualRegion.auwPeak[i] == 0) continue;
      if (r.ubRowStart == 0 || r.ubRowEnd == k.ubExemptRow || (!OneRow(r) && !OneCol(r))) continue;
      const RegionRect e = ExpandRect(r, g.ubRows, g.ubCols);
      bool boNegative = false;
      for (int32_t c = e.ubColStart; c <= e.ubColEnd; ++c) {
        boNegative = boNegative || g.At(e.ubRowStart, c) < -39 || g.At(e.ubRowEnd, c) < -39;
      }
      if (boNegative) {
        drop(i, 1);
        continue;
      }
      if (gstMutualRegion.auwPeak[i] > 250) continue;
      int32_t siSum = 0;
      for (int32_t rr = r.ubRowStart; rr <= r.ubRowEnd; ++rr) {
        for (int32_t cc = r.ubColStart; cc <= r.ubColEnd; ++cc) siSum += g.At(rr, cc);
      }
      if (siSum < 301) drop(i, 1);
    }
  }
  if (k.aubSkip[0] == 0) {
    const uint16_t A = gstCommon.uwAbsPeak;
    const bool boRun = ((A > 1500 || (A > 800 && k.ubHighSignal != 0)) && ubCount != 0) ||
                       (k.ubNoiseFlag != 0 && ubCount >= 5);
    const bool boStrong = k.ubSignalCount > 2 || A > 1500;
    for (uint8_t i = 0; boRun && i < ubCount; ++i) {
      const RegionRect r = gstMutualRegion.astRect[i];
      if (gstMutualRegion.auwPeak[i] == 0 || r.ubRowStart == 0 || r.ubRowEnd == k.ubExemptRow) continue;
      Examined(r);
      const bool boWideTwo = r.ubRowEnd - r.ubRowStart == 1 && r.ubColEnd - r.ubColStart >= 4;
      const bool boWeak = gstMutualRegion.auwPeak[i] < 200;
      if (boStrong ? (OneRow(r) || OneCol(r) || (boWideTwo && boWeak)) : ((OneRow(r) || boWideTwo) && boWeak)) {
        drop(i, 2);
      }
    }
  }
  if (ubDropped == 0) return;
  Compact();
  (void)ubMask;  // the phase mask is for the phone maker's debug record
}

void DeleteCameraSingleRegion() {
  const uint8_t* h = gstCompleteHoleCfg.aubData;
  const RegionRect hole{h[1], h[2], h[3], h[4]};
  if (!RectValidOn(hole, Rows(), Cols()) || gstRegionRoles.ubCameraHoleState != 2 || RegionCount() == 0) return;
  bool boDropped = false;
  for (uint8_t i = 0; i < RegionCount(); ++i) {
    Examined(gstMutualRegion.astRect[i]);
    if (RectInside(gstMutualRegion.astRect[i], hole)) {
      gstMutualRegion.auwPeak[i] = 0;
      boDropped = true;
    }
  }
  if (boDropped) Compact();
}

void DeleteIncludeRect() {
  const uint8_t ubCount = RegionCount();
  if (ubCount < 2) return;
  bool boDropped = false;
  for (uint8_t i = 0; i < ubCount; ++i) {
    for (uint8_t j = 0; j < ubCount; ++j) {
      if (j == i || gstMutualRegion.auwPeak[j] == 0) continue;
      if (RectInside(gstMutualRegion.astRect[i], gstMutualRegion.astRect[j])) {
        gstMutualRegion.auwPeak[i] = 0;
        boDropped = true;
        break;
      }
    }
  }
  if (boDropped) Compact();
}

uint8_t MergeSingleRect() {
  const uint8_t ubCount = RegionCount();
  if (ubCount < 2) return ubCount;
  const uint8_t R = Rows();
  const uint8_t C = Cols();
  const uint8_t ubGap = gstCoordPair.ubGapFlag != 0 ? 1 : 0;
  bool boMerged = false;
  for (uint8_t i = 0; i < ubCount; ++i) {
    for (uint8_t j = 0; j < ubCount; ++j) {
      if (j == i || gstMutualRegion.auwPeak[j] == 0) continue;
      const RegionRect a = gstMutualRegion.astRect[i];
      const bool boInner = a.ubRowStart > 0 && a.ubRowEnd + 1 < R && a.ubColStart > 0 && a.ubColEnd + 1 < C;
      if (!boInner || (!OneRow(a) && !OneCol(a))) continue;
      RegionRect& b = gstMutualRegion.astRect[j];
      if (RectNoConnectJudge(ExpandRect(a, R, C), b, ubGap) != 0) continue;
      gstMutualRegion.auwPeak[i] = 0;
      b = RegionRect{a.ubRowStart < b.ubRowStart ? a.ubRowStart : b.ubRowStart,
                     a.ubRowEnd > b.ubRowEnd ? a.ubRowEnd : b.ubRowEnd,
                     a.ubColStart < b.ubColStart ? a.ubColStart : b.ubColStart,
                     a.ubColEnd > b.ubColEnd ? a.ubColEnd : b.ubColEnd};
      boMerged = true;
    }
  }
  if (boMerged) Compact();
  return gstMutualRegion.ubRegionNum;
}

void RegionSearchTrx() {
  if (gstRegionRoles.ubSelfDisable != 0) return;
  const int16_t* pswSelf = gstCommon.stData.pswSelfDiffData;
  if (pswSelf == nullptr) return;
  const uint16_t uwThr = static_cast<uint16_t>(gstFloatSelfCfg.aubData[15] | (gstFloatSelfCfg.aubData[16] << 8));
  uint8_t ubSpan = 0;
  gstSelfRegion.ubRowPeakNum = SelfRegionSearch(pswSelf, Rows(), uwThr, &ubSpan);
  gstSelfRegion.ubColPeakNum = SelfRegionSearch(pswSelf + Rows(), Cols(), uwThr, &ubSpan);
}

// The bounding rectangle of the frame's regions, kept for the floating judgement.
uint32_t guiRegionBoundRect = kRegionRectEmptyBound;

void CalcSumDiffShadow() {
  const uint8_t ubCount = RegionCount();
  if (ubCount == 0 || gstCommon.stData.pswSelfDiffData == nullptr) return;
  const RegionRect all = CalcAllRect(gstMutualRegion.astRect, ubCount);
  guiRegionBoundRect = RegionRectWord(all);
  CalcSumDiffShadowSub(guiRegionBoundRect, Rows(), Cols(), gstCommon.stData.pswDiffData,
                       gstCommon.stData.pswSelfDiffData);
  RegionSearchTrx();
}
