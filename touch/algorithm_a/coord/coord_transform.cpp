// Coordinate transform stages: active-area stretch before edge rejection, the final map to
// screen orientation and resolution, the coordinate state copy, the ESD / fast-move state
// and shake counting.
#include "coord_transform.h"

#include <cstring>
#include <utility>

#include "coord_optimize.h"
#include "coord_records.h"
#include "customer_hooks.h"
#include "region.h"
#include "region_records.h"
#include "tsa_common.h"
#include "tsa_custdbg.h"
#include "tsa_frame_links.h"

CoordNoiseProc gstCoordNoiseProc;
CoordTransformRoles gstCoordTranRoles;
int16_t gswDiffDataBake[kFerrantMaxNodes];

namespace {

constexpr uint8_t kSwapXY = 0x01;
constexpr uint8_t kMirrorX = 0x02;
constexpr uint8_t kMirrorY = 0x04;
constexpr int32_t kOutsideAllowance = 200;
constexpr uint8_t kEsdHoldTicks = 100;

enum Margin : uint8_t { kM1 = 1, kM3 = 3, kM5 = 5, kM7 = 7 };
enum OverrideBit : uint8_t { kYLow = 0x01, kYHigh = 0x02, kXLow = 0x04, kXHigh = 0x08 };

uint16_t MarginOf(Margin m, OverrideBit bit) {
  if ((gstCoordTranRoles.ubMarginOverride & bit) != 0) return gstCoordTranRoles.uwSharedMargin;
  const uint8_t* c = gstCoordTranCfg.aubData;
  return static_cast<uint16_t>(c[m] | (c[m + 1] << 8));
}

uint8_t MaxPoints() {
  const uint8_t n = static_cast<uint8_t>(gstCommon.uiPanelValue1 & 0xFFu);
  return n < kCoordPointMax ? n : kCoordPointMax;
}

// One axis of the active-area map: the span runs from the low margin L to the extent E less
// the high margin H and is stretched over OUT. A point more than 200 outside it loses its
// weight. The top of the span is taken signed: margins that together exceed the extent leave
// no active area, and such a span maps every point to 0 like a zero span does, rather than
// wrapping into a huge span that would pass points through unclipped and unscaled.
struct AxisMap {
  uint16_t value;
  uint32_t fine;  // OUT x offset x 10 / span
  bool drop;
};
AxisMap MapAxis(uint16_t v, uint16_t L, uint16_t H, uint16_t E, uint32_t out) {
  const int32_t T = static_cast<int32_t>(E) - H;
  AxisMap m{0, 0, false};
  if (static_cast<int32_t>(v) + kOutsideAllowance < L || T + kOutsideAllowance < v) m.drop = true;
  const int32_t span = T - L;
  if (span <= 0) return m;
  int32_t x = v;
  if (x > T - 1) x = T - 1;
  const uint32_t off = x < L ? 0u : static_cast<uint32_t>(x - L);
  m.value = static_cast<uint16_t>(off * out / static_cast<uint32_t>(span));
  m.fine = static_cast<uint32_t>(static_cast<uint64_t>(out) * off * 10u / static_cast<uint32_t>(span));
  return m;
}

AxisMap BeforeEdgeAxis(uint8_t axis, uint16_t v) {
  if (axis == 0) {
    return MapAxis(v, MarginOf(kM1, kXLow), MarginOf(kM3, kXHigh), gstCommon.uwSenCoordRange, gstCommon.uwSenCoordRange);
  }
  return MapAxis(v, MarginOf(kM5, kYLow), MarginOf(kM7, kYHigh), gstCommon.uwDrvCoordRange, gstCommon.uwDrvCoordRange);
}

// One axis of the final map: X over the margins at bytes 5 and 7 and the output X range,
// Y over bytes 1 and 3 and the output Y range; each over the extent the exchange bit gives it.
AxisMap TailorAxis(uint8_t axis, uint16_t v) {
  const bool swap = (gstCoordTranCfg.aubData[0] & kSwapXY) != 0;
  const uint16_t EX = gstCommon.uwSenCoordRange, EY = gstCommon.uwDrvCoordRange;
  if (axis == 0) return MapAxis(v, MarginOf(kM5, kXLow), MarginOf(kM7, kXHigh), swap ? EY : EX, gstCommon.uwPanelWord0);
  return MapAxis(v, MarginOf(kM1, kYLow), MarginOf(kM3, kYHigh), swap ? EX : EY, gstCommon.uwPanelWord1);
}

void Raise(uint8_t kind, uint8_t hold) {
  if (gstCoordNoiseProc.ubKindCode < kind) gstCoordNoiseProc.ubKindCode = kind;
  if (gstCoordNoiseProc.ubHoldStep < hold) gstCoordNoiseProc.ubHoldStep = hold;
}
void Set(uint8_t kind, uint8_t hold) { gstCoordNoiseProc = CoordNoiseProc{kind, hold}; }

}  // namespace

void CoordTransformBeforeEdgeRes(uint16_t* puwX, uint16_t* puwY, uint16_t* puwWeight) {
  for (uint8_t i = 0; i < MaxPoints(); ++i) {
    if (puwWeight[i] == 0) continue;
    const AxisMap mx = BeforeEdgeAxis(0, puwX[i]);
    const AxisMap my = BeforeEdgeAxis(1, puwY[i]);
    if (mx.drop || my.drop) puwWeight[i] = 0;
    puwX[i] = mx.value;
    puwY[i] = my.value;
  }
}

uint16_t CoordTailorAndZoomBeforeEdgeRes(uint8_t ubIndex, uint8_t ubAxis, const uint16_t* puwX,
                                         const uint16_t* puwY) {
  if (ubIndex >= kCoordPointMax) return 0;
  return BeforeEdgeAxis(ubAxis, ubAxis == 0 ? puwX[ubIndex] : puwY[ubIndex]).value;
}

void CoordTransform(uint16_t* puwX, uint16_t* puwY, uint16_t* puwWeight) {
  for (uint8_t i = 0; i < MaxPoints(); ++i) {
    if (puwWeight[i] == 0) continue;
    CoordReversal(i, puwX, puwY, 1);
    const AxisMap mx = TailorAxis(0, puwX[i]);
    const AxisMap my = TailorAxis(1, puwY[i]);
    if (mx.drop || my.drop) puwWeight[i] = 0;
    puwX[i] = mx.value;
    puwY[i] = my.value;
    gpuiTamrelNewPointX[i] = mx.fine;
    gpuiTamrelNewPointY[i] = my.fine;
  }
}

uint16_t CoordTailorAndZoom(uint8_t ubIndex, uint8_t ubAxis, const uint16_t* puwX, const uint16_t* puwY) {
  if (ubIndex >= kCoordPointMax || puwX == nullptr || puwY == nullptr) return 0;
  const AxisMap m = TailorAxis(ubAxis, ubAxis == 0 ? puwX[ubIndex] : puwY[ubIndex]);
  if (m.drop && gstCoordComOutput.puwNewWeight != nullptr) gstCoordComOutput.puwNewWeight[ubIndex] = 0;
  (ubAxis == 0 ? gpuiTamrelNewPointX : gpuiTamrelNewPointY)[ubIndex] = m.fine;
  return m.value;
}

uint16_t CoordZoom(uint8_t ubIndex, uint8_t ubAxis, const uint16_t* puwX, const uint16_t* puwY) {
  if (ubIndex >= kCoordPointMax) return 0;
  const bool swap = (gstCoordTranCfg.aubData[0] & kSwapXY) != 0;
  uint16_t EX = gstCommon.uwSenCoordRange, EY = gstCommon.uwDrvCoordRange;
  if (swap) std::swap(EX, EY);
  const uint32_t E = ubAxis == 0 ? EX : EY;
  const uint32_t res = ubAxis == 0 ? gstCommon.uwPanelWord0 : gstCommon.uwPanelWord1;
  const uint32_t v = ubAxis == 0 ? puwX[ubIndex] : puwY[ubIndex];
  return E == 0 ? 0 : static_cast<uint16_t>(v * res / E);
}

void CoordReversal(uint8_t ubIndex, uint16_t* puwX, uint16_t* puwY, int32_t slWhich) {
  if (ubIndex >= kCoordPointMax) return;
  const uint8_t cfg = gstCoordTranCfg.aubData[0];
  const uint16_t EX = slWhich == 1 ? gstCommon.uwSenCoordRange : gstCoordTranRoles.auwSecondExtent[0];
  const uint16_t EY = slWhich == 1 ? gstCommon.uwDrvCoordRange : gstCoordTranRoles.auwSecondExtent[1];
  uint16_t& x = puwX[ubIndex];
  uint16_t& y = puwY[ubIndex];
  if ((cfg & kMirrorX) != 0) x = static_cast<uint16_t>(EX - x);
  if ((cfg & kMirrorY) != 0) y = static_cast<uint16_t>(EY - y);
  if ((cfg & kSwapXY) != 0) std::swap(x, y);
}

void AppCoordTransformBeforeEdgeRes() {
  if (gstCoordComOutput.puwNewWeight == nullptr) return;  // before the coordinate records are wired
  CoordTransformBeforeEdgeRes(gstCoordComOutput.puwNewPointX, gstCoordComOutput.puwNewPointY,
                              gstCoordComOutput.puwNewWeight);
}

void AppCoordTransform() {
  uint16_t* x = gstCoordComOutput.puwNewPointX;
  uint16_t* y = gstCoordComOutput.puwNewPointY;
  uint16_t* w = gstCoordComOutput.puwNewWeight;
  if (w != nullptr && gstCommon.ubCoordTransByte == 0) CoordTransform(x, y, w);
  if (w != nullptr && w[0] != 0 && gstMutualRegion.ubRegionNum == 1 && x[0] >= 4301 && x[0] < 4500 && y[0] >= 901 && y[0] <= 999) {
    y[0] = static_cast<uint16_t>(y[0] + 100);
  }
  uint32_t n = gstCommon.uwNodeNum;
  if (n > kFerrantMaxNodes) n = kFerrantMaxNodes;
  if (gstCommon.stData.pswDiffData != nullptr) memcpy(gswDiffDataBake, gstCommon.stData.pswDiffData, n * 2u);
}

void CoordStateAcquire() {
  gstRegionRoles.ubPrevPointCount = gstCoordComOutput.ubPointNum;
  gstRegionRoles.ubOlderPointCount = gstCoordComOutput.ubPointNumLast;
}

void JudgeEsdFastMove() {
  uint8_t& s = gstCoordTranRoles.ubEsdState;
  uint8_t& h = gstRegionRoles.ubEsdHold;
  const int32_t thr = gstCommon.uwMaskThreshold;
  const int32_t D = gstCommon.swDiffMin;
  const bool delay = GetTouchDelayCnt() != 0;
  const bool quiet = gstCommon.uwNoiseTypeMask < 2;
  if (s == 2) {
    if (h > gstCommon.ubTick100ms) {
      h = static_cast<uint8_t>(h - gstCommon.ubTick100ms);
    } else {
      s = 0;
    }
    if (delay && quiet && D < -thr) h = kEsdHoldTicks;
  } else if (s == 1) {
    const int32_t a = gstRegionRoles.ubPrevPointCount, b = gstRegionRoles.ubOlderPointCount;
    if (D < -thr && (a > b ? a - b : b - a) < 4) {
      s = 2;
      h = kEsdHoldTicks;
    } else {
      s = delay ? 1 : 0;
    }
  } else {
    h = 0;
    if (delay && quiet) s = D > -(thr >> 1) ? 1 : 0;
  }
  if (gstMutualRegion.ubRegionNum == 0) h = 0;
}

void ShakeCountTimeProc() {
  gstCoordNoiseProc = CoordNoiseProc{0, 0};
  const uint8_t cfg = gstCoordNoiseProcCfg.aubData[0];
  const CoordTransformRoles& r = gstCoordTranRoles;
  if ((cfg & 0x01u) == 0 || r.ubShakeActive == 0) return;
  const uint8_t* f = r.aubFlag;  // A .. G
  uint8_t F = 0;
  const uint16_t n = gstCommon.uwNoiseTypeMask;
  switch (n) {
    case 2:
    case 32:
      f[0] != 0 ? Set(32, 2) : Set(16, 1);
      F |= 0x01;
      break;
    case 4:
    case 64:
    case 256:
      Set(32, 2);
      F |= 0x01;
      break;
    case 512:
    case 2048:
      f[1] != 0 ? Set(32, 2) : Set(48, 3);
      F |= 0x01;
      break;
    default:
      if (f[0] != 0) {
        Set(32, 2);
        F |= 0x01;
      } else if (f[2] != 0 && gstMutualRegion.ubRegionNum >= 2) {
        Set(16, 1);
      }
      break;
  }
  if (f[3] != 0) Set(48, 3);
  if ((gstRegionRoles.ubHighSignal == 0 && gstCommon.uwAbsPeak >= 801) || gstRegionRoles.ubSignalCount >= 3) {
    Raise(32, 2);
    F |= 0x02;
  }
  if (f[4] != 0 && f[5] != 0 && r.uwLevelWord < 400) {
    Raise(32, 2);
    F |= 0x08;
  }
  const uint8_t skip1 = gstRegionRoles.aubSkip[0], skip2 = gstRegionRoles.aubSkip[1];
  if (gstRegionRoles.ubPrevPointCount >= 5 && skip1 == 0) {
    Set(48, 3);
    F |= 0x10;
  }
  if (f[6] != 0) {
    Raise(skip2 != 0 ? 48 : 32, 0);
    F |= 0x20;
  }
  uint8_t ubDebug6 = 0;
  if (gstRegionRoles.ubEsdHold != 0) {
    Raise(48, 0);
    F |= 0x40;
    if (r.ubModeK == 1) ubDebug6 = 64;
  } else if (r.ubModeK == 1) {
    Raise(32, 0);
    ubDebug6 = 64;
  }
  CoordNoiseProc& p = gstCoordNoiseProc;
  if (skip1 != 0 || skip2 != 0) {
    if (p.ubHoldStep > 2) p.ubHoldStep = 2;
    if (p.ubKindCode > 32) p.ubKindCode = 32;
  }
  CoordComInput& ci = gstCoordComInput;
  if ((cfg & 0x04u) != 0) {
    const uint32_t hold = ci.ubLeaveHoldCnt + p.ubHoldStep;
    ci.ubLeaveHoldCnt = static_cast<uint8_t>(hold < 6 ? hold : 6);
    if (p.ubHoldStep != 0) {
      for (uint8_t k = 0; k < kCoordPointMax; ++k) {
        uint8_t& t = gstCoordPair.aubLeaveTouchTimer[k];
        uint8_t& fl = gstCoordPair.aubSlotFlag[k];
        if ((t & kLeaveHoldMask) == 0 || (fl & 0x01u) != 0) continue;
        t = static_cast<uint8_t>(t + p.ubHoldStep);
        fl |= 0x01u;
      }
    }
  }
  if ((cfg & 0x02u) != 0) {
    const uint32_t code = ci.ubReportDelayCode + p.ubKindCode;
    ci.ubReportDelayCode = static_cast<uint8_t>(code < 96 ? code : 96);
    if (ci.ubReportDelayCode != 0) {
      for (uint8_t k = 0; k < kCoordPointMax; ++k) {
        uint8_t& t = gstCoordPair.aubLeaveTouchTimer[k];
        uint8_t& fl = gstCoordPair.aubSlotFlag[k];
        if (t < 16 || (fl & 0x10u) != 0) continue;
        t = static_cast<uint8_t>(t + ci.ubReportDelayCode);
        fl |= 0x10u;
      }
    }
  }
  const uint8_t* pc = gstCoordPairCfg.aubData;
  if ((ci.ubReportDelayCode > (pc[7] & 15u) * 16u || ci.ubLeaveHoldCnt > pc[6]) && gpstTamrelDebugInfo != nullptr) {
    uint8_t* d = gpstTamrelDebugInfo;
    d[kShakeDebugReasonAt] = static_cast<uint8_t>(((F & ~0x70u) | ubDebug6) & 0xFFu);
    d[kShakeDebugCounterAt] = static_cast<uint8_t>(d[kShakeDebugCounterAt] + 1);
    d[kShakeDebugCountsAt] = static_cast<uint8_t>(((ci.ubReportDelayCode >> 4) & 0x0Fu) | (ci.ubLeaveHoldCnt << 4));
  }
}

void CheckTouchLeaveTimer(uint8_t ubKind, uint8_t ubHold) { Raise(ubKind, ubHold); }
