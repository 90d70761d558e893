// Touch report output: the finger app's last stage and the per-frame hand-over of the
// points to the host.
#include "tsa_report.h"

#include <cstring>

#include "coord_records.h"
#include "core_stages.h"
#include "framework.h"
#include "region_records.h"
#include "tsa_common.h"
#include "tsa_config.h"
#include "tsa_custdbg.h"
#include "tsa_pack.h"
#include "tsa_frame.h"
#include "tsa_os.h"


TamrelTouchBak gstTamrelTouchBakInfo[kReportPointMax];
TamrelCoord gstTamrelCoord;
AlgTouchPoint* gpstTamrelTouchInfo;
uint8_t gboCoordSameAsLast;
uint8_t gubFpIndex = kFpNoSlot;
uint8_t gubFpReportPoint;
uint8_t gboFpStaBak;
uint8_t gubFpPointResCnt;

namespace {

constexpr int32_t kNoCoord = ALG_TOUCH_COORD_NONE;
constexpr uint16_t kNoReportPos = 0xFFFF;
constexpr uint16_t kWeightOverPeak = 10;
constexpr uint16_t kShapePeakSaturate = 1020;
constexpr uint8_t kShapeFieldMask = 0x3F;
constexpr uint32_t kShapeRatioScale = 16;
constexpr uint32_t kByteMax = 255;

// Last values handed to the host: large-area state, and the previous frame's report for
// the same-as-last test.
uint8_t gubLargeStaBak;
struct ReportEntry {
  uint8_t ubSlot;
  uint16_t uwX;
  uint16_t uwY;
};
ReportEntry gstLastReport[kReportPointMax];
uint8_t gubLastReportNum;
uint8_t gboShapeRectRefused;

// Slot bound: a configured count above 12 must not walk past the 12-slot arrays.
uint8_t SlotBound(uint8_t ubConfigured) { return ubConfigured < kReportPointMax ? ubConfigured : kReportPointMax; }

uint8_t CommonMaxPoints() { return SlotBound(static_cast<uint8_t>(gstCommon.uiPanelValue1 & 0xFFu)); }

bool WakeCheckArmed() { return guiIsFWakeCheckNcln == kFpWakeArmed; }

void DisarmWakeCheck() {
  gubFpPointResCnt = 0;
  guiIsFWakeCheckNcln = 0;
}

// The region the coordinate output maps to SLOT this frame, or 255.
uint8_t RegionOfSlot(uint8_t ubSlot) {
  const uint8_t ubRegions = SlotBound(gstMutualRegion.ubRegionNum);
  for (uint8_t k = 0; k < ubRegions; ++k) {
    if (gstCoordPair.aubOrderIndex[k] == ubSlot) return k;
  }
  return kRegionLabelNone;
}

uint16_t RegionPeakOfSlot(uint8_t ubSlot) {
  const uint8_t k = RegionOfSlot(ubSlot);
  return k != kRegionLabelNone ? gstMutualRegion.auwPeak[k] : 0;
}

uint16_t SatAdd(uint16_t a, uint16_t b) {
  const uint32_t s = static_cast<uint32_t>(a) + b;
  return s > 0xFFFFu ? 0xFFFFu : static_cast<uint16_t>(s);
}

uint8_t SatByte(uint32_t v) { return v > kByteMax ? static_cast<uint8_t>(kByteMax) : static_cast<uint8_t>(v); }

void StoreShape(uint8_t ubSlot, uint64_t ullShape) {
  for (uint32_t i = 0; i < kShapeRecordBytes; ++i) {
    gstTamrelCoord.aubShape[ubSlot][i] = static_cast<uint8_t>(ullShape >> (8 * i));
  }
}

// Shape ratio of a rectangle that lies on a panel edge: positive diff on the outermost
// lines against the positive diff on the lines next to them.
uint8_t EdgeShapeRatio(const int16_t* pswDiff, const RegionRect& r, uint8_t ubRows, uint8_t ubCols) {
  uint32_t uiOuter = 0;
  uint32_t uiInner = 0;
  for (uint32_t row = r.ubRowStart; row <= r.ubRowEnd; ++row) {
    for (uint32_t col = r.ubColStart; col <= r.ubColEnd; ++col) {
      const int16_t v = pswDiff[row * ubCols + col];
      if (v <= 0) continue;
      const bool boOuter = row == 0 || row + 1u == ubRows || col == 0 || col + 1u == ubCols;
      const bool boInner = row == 1 || row + 2u == ubRows || col == 1 || col + 2u == ubCols;
      if (boOuter) {
        uiOuter += static_cast<uint32_t>(v);
      } else if (boInner) {
        uiInner += static_cast<uint32_t>(v);
      }
    }
  }
  if (uiOuter == 0) uiOuter = 1;
  const uint32_t uiRatio = uiInner != 0 ? kShapeRatioScale * uiOuter / uiInner : uiOuter;
  return SatByte(uiRatio);
}

// Builds the shape record of the point in SLOT from region K.
void BuildShapeRecord(uint8_t ubSlot, uint8_t k) {
  const uint8_t ubRows = gstCommon.ubDrvNum;
  const uint8_t ubCols = gstCommon.ubSenNum;
  const int16_t* pswDiff = gstCommon.stData.pswDiffData;
  RegionRect r = gstMutualRegion.astRect[k];
  // The rectangle comes from region detection: check it against the grid before reading.
  if (pswDiff == nullptr || ubRows < 2 || ubCols < 2 ||
      static_cast<uint32_t>(ubRows) * ubCols > kFerrantMaxNodes || r.ubRowStart > r.ubRowEnd ||
      r.ubColStart > r.ubColEnd || r.ubRowEnd >= ubRows || r.ubColEnd >= ubCols) {
    if (!gboShapeRectRefused) {
      FerxLogPrint("ThpTouchReportCustom", FERX_LOG_ERR, "region %u rect {%u,%u,%u,%u} outside the %ux%u grid", k,
                r.ubRowStart, r.ubRowEnd, r.ubColStart, r.ubColEnd, ubRows, ubCols);
      gboShapeRectRefused = 1;
    }
    return;
  }
  memcpy(gstCommon.aubWorkRect, &r, sizeof(r));
  const uint16_t uwPeak = gstMutualRegion.auwPeak[k];
  const int32_t siOver = GetRectInfoStatistic(pswDiff, r, gstCommon.swTouchThreshold, 3, ubCols);
  uint64_t ullShape = SatByte(static_cast<uint32_t>(siOver));
  ullShape |= static_cast<uint64_t>(uwPeak >= kShapePeakSaturate ? kByteMax : uwPeak / 4u) << 8;
  ullShape |= static_cast<uint64_t>(r.ubRowStart & kShapeFieldMask) << 16;
  ullShape |= static_cast<uint64_t>((r.ubRowEnd - r.ubRowStart + 1) & kShapeFieldMask) << 22;
  ullShape |= static_cast<uint64_t>(r.ubColStart & kShapeFieldMask) << 28;
  ullShape |= static_cast<uint64_t>((r.ubColEnd - r.ubColStart + 1) & kShapeFieldMask) << 34;

  const bool boInside = r.ubRowStart > 0 && r.ubRowEnd + 1u < ubRows && r.ubColStart > 0 && r.ubColEnd + 1u < ubCols;
  if (!boInside) {
    // A one-line rectangle on an edge is widened by one line inward.
    if (r.ubRowStart == r.ubRowEnd) {
      if (r.ubRowStart + 1u == ubRows) {
        r.ubRowStart = static_cast<uint8_t>(ubRows - 2);
      } else if (r.ubRowStart == 0) {
        r.ubRowEnd = 1;
      }
    }
    if (r.ubColStart == r.ubColEnd) {
      if (r.ubColStart + 1u == ubCols) {
        r.ubColStart = static_cast<uint8_t>(ubCols - 2);
      } else if (r.ubColStart == 0) {
        r.ubColEnd = 1;
      }
    }
    memcpy(gstCommon.aubWorkRect, &r, sizeof(r));
    ullShape |= static_cast<uint64_t>(EdgeShapeRatio(pswDiff, r, ubRows, ubCols)) << 40;
  }
  StoreShape(ubSlot, ullShape);
}

void WritePoint(AlgTouchPoint& p, int32_t x, int32_t y, uint8_t ubId, uint32_t uiEvent) {
  p.tool = 0;
  p.x = x;
  p.y = y;
  p.id = ubId;
  p.tilt_x = 0;
  p.tilt_y = 0;
  p.action = static_cast<int32_t>(uiEvent);
}

}  // namespace

void TouchReportReset() {
  memset(gstTamrelTouchBakInfo, 0, sizeof(gstTamrelTouchBakInfo));
  memset(gstLastReport, 0, sizeof(gstLastReport));
  gubLastReportNum = 0;
  gubLargeStaBak = 0;
  gboFpStaBak = 0;
  gboCoordSameAsLast = 0;
  gubFpIndex = kFpNoSlot;
  gubFpReportPoint = 0;
  gboShapeRectRefused = 0;
  gpstTamrelTouchInfo = nullptr;
}

void ThpTouchReport() {
  TsaTouchReportInfo& rep = gstTsaTouchReportInfo;
  const uint8_t ubBound = SlotBound(static_cast<uint8_t>(gstTouchPannelCfg.uiValue20 & 0xFFu));
  uint8_t ubNum = 0;
  uint8_t boSame = 1;
  for (uint8_t s = 0; s < ubBound; ++s) {
    if (gpuwNewWeight[s] == 0) {
      if (ubNum < kReportPointMax) {
        rep.astPoint[ubNum].uwXPos = kNoReportPos;
        rep.astPoint[ubNum].uwYPos = kNoReportPos;
      }
      continue;
    }
    const uint16_t uwPeak = RegionPeakOfSlot(s);
    if (gpuwNewWeight[s] < uwPeak) gpuwNewWeight[s] = SatAdd(uwPeak, kWeightOverPeak);
    TsaTouchPointSlot& e = rep.astPoint[ubNum];
    e = TsaTouchPointSlot{};
    e.ubTrackId = s;
    e.uwXPos = gpuwNewPointX[s];
    e.uwYPos = gpuwNewPointY[s];
    e.uwPressure = gpuwNewWeight[s];
    const ReportEntry& last = gstLastReport[ubNum];
    if (ubNum >= gubLastReportNum || last.ubSlot != s || last.uwX != e.uwXPos || last.uwY != e.uwYPos) boSame = 0;
    gstLastReport[ubNum] = ReportEntry{s, e.uwXPos, e.uwYPos};
    ++ubNum;
  }
  if (ubNum != gubLastReportNum) boSame = 0;
  gubLastReportNum = ubNum;
  gboCoordSameAsLast = boSame;

  gstCommon.ubPointCount = ubNum;
  rep.ubTouchNum = gstCommon.ubLargeAreaFlag != 0 ? 0 : ubNum;
  rep.ubCoverFpState = gstCommon.ubFpStatus;
  rep.ubFullHoverState = gstCommon.ubFullHover;
  rep.ubLargeState = gstCommon.ubLargeAreaFlag;
  rep.ullTimeStamp = gullProcTimeStamp;
  ThpTouchReportCustom();
}

void ThpTouchReportCustom() {
  const uint8_t ubBound = CommonMaxPoints();
  for (uint8_t s = 0; s < ubBound; ++s) {
    if (gpuwNewWeight[s] == 0) continue;
    // A point the pairing still holds from the previous frame keeps its shape record.
    if (gstCoordPair.aubLeaveTouchTimer[s] & kLeaveHoldMask) continue;
    const uint8_t k = RegionOfSlot(s);
    if (k == kRegionLabelNone || gstMutualRegion.auwPeak[k] == 0) continue;
    BuildShapeRecord(s, k);
  }
}

uint8_t ThpReportJudgeCustom() { return 1; }

// The customer coordinate record starts with a copy of the customer debug state, so a tool
// reading the shape records sees the frame's situation beside them.
void CustomReportDataTrans() {
  static_assert(sizeof(gstTamrelCoord.aubDebugCopy) <= sizeof(gstTamrelDebugStateInfo));
  memcpy(gstTamrelCoord.aubDebugCopy, gstTamrelDebugStateInfo, sizeof(gstTamrelCoord.aubDebugCopy));
}

uint8_t GetReportCoordInfoCustom(uint8_t ubSlot, uint8_t* pubLength, uint8_t** ppubRecord) {
  if (ubSlot >= kReportPointMax || pubLength == nullptr || ppubRecord == nullptr) return 1;
  *pubLength = kShapeRecordBytes;
  *ppubRecord = gstTamrelCoord.aubShape[ubSlot];
  return 0;
}

extern "C" uint32_t TsaUpdateDiffData(uint64_t, uint64_t, AlgTouchPoint* pstPoints, uint8_t* pubFpStatus,
                                      uint8_t* pubFpChanged, uint8_t* pubLargeState, uint8_t* pubLargeChanged) {
  gstApp.ubFlags = static_cast<uint8_t>(gstApp.ubFlags & ~kAppFlagStop);
  if (gubSuspendSta == 0) FerxLogPrint("TsaUpdateDiffData", FERX_LOG_INFO, "update_diff_data: NOT RECEIVE SUSPEND!");
  if (gubSuspendSta == 0 || gstCommon.ubPowerOnRefReady == 0 || gubNotReportFlag != 0) {
    if (gstCommon.ubPowerOnRefReady == 0) FerxLogPrint("TsaUpdateDiffData", FERX_LOG_INFO, "update_diff_data: wait for Ref OK");
    if (gubNotReportFlag != 0) {
      FerxLogPrint("TsaUpdateDiffData", FERX_LOG_INFO, "update_diff_data: Not Report Point %d", gubNotReportFlag);
      gubNotReportFlag = 0;
    }
    return kReportNoReport;
  }
  if (gubReportRestartSta == 2) {
    memset(gstTamrelTouchBakInfo, 0, sizeof(gstTamrelTouchBakInfo));
    for (TamrelTouchBak& b : gstTamrelTouchBakInfo) b.uiLastEvent = ALG_TOUCH_ACTION_UP;
  }
  gpstTamrelTouchInfo = pstPoints;
  gubFpOneClickSta = 0;
  if (gboWakeRefRestored) {
    gboWakeRefRestored = 0;
    if (gubReportRestartSta == 2) gubReportRestartSta = 1;
    return kReportNoReport;
  }
  if (pstPoints == nullptr) return kReportNoReport;

  const uint8_t ubBound = CommonMaxPoints();
  uint8_t ubNum = 0;
  // The fingerprint point borrows id 9. When a real touch takes slot 9 that id is needed
  // back: id 9 goes up at the fingerprint point's last position first, so the host never
  // sees two downs for it, and the point left in its own slot starts again as a new down.
  if (WakeCheckArmed() && gubFpPointResCnt == 0 && gubFpIndex < kReportPointMax && gubFpIndex != kFpPointId &&
      kFpPointId < ubBound && gpuwNewWeight[kFpPointId] != 0) {
    FerxLogPrint("TsaPackPointRes", FERX_LOG_INFO, "Release FP ID: slot %u holds id %u", kFpPointId, kFpPointId);
    TamrelTouchBak& fp = gstTamrelTouchBakInfo[gubFpIndex];
    if (fp.uiDown == 1) {
      WritePoint(pstPoints[ubNum++], static_cast<int32_t>(fp.uiLastX), static_cast<int32_t>(fp.uiLastY), kFpPointId,
                 ALG_TOUCH_ACTION_UP);
      fp = TamrelTouchBak{0, static_cast<uint32_t>(kNoCoord), static_cast<uint32_t>(kNoCoord), ALG_TOUCH_ACTION_UP};
    }
    DisarmWakeCheck();
    gubFpIndex = kFpNoSlot;
  }

  uint8_t boFpReported = 0;
  for (uint8_t s = 0; s < ubBound; ++s) {
    TamrelTouchBak& bak = gstTamrelTouchBakInfo[s];
    const bool boArmed = WakeCheckArmed();
    // The host's array holds 12 entries; a released fingerprint id can use one of them, so
    // a slot that finds none left waits for the next frame (its back-up stays as it was).
    if (ubNum >= kReportPointMax) continue;
    if (gpuwNewWeight[s] != 0) {
      const int32_t x = gpuwNewPointX[s];
      const int32_t y = gpuwNewPointY[s];
      uint8_t ubId = s;
      bool boFpPoint = false;
      if (boArmed && gubFpPointResCnt != 0) {
        // Only the point on the fingerprint area is reported while the wake check waits.
        if (s != gstFpJudge.ubFpSlot) continue;
        ubId = kFpPointId;
        gubFpIndex = s;
        --gubFpPointResCnt;
        gubFpReportPoint = 1;
        boFpPoint = true;
      } else if (boArmed && s == gubFpIndex) {
        ubId = kFpPointId;
        boFpPoint = true;
      }
      const uint32_t uiEvent = bak.uiDown == 1 ? ALG_TOUCH_ACTION_MOVE : ALG_TOUCH_ACTION_DOWN;
      WritePoint(pstPoints[ubNum++], x, y, ubId, uiEvent);
      if (boFpPoint) boFpReported = 1;
      bak = TamrelTouchBak{1, static_cast<uint32_t>(x), static_cast<uint32_t>(y), uiEvent};
      continue;
    }
    if (bak.uiDown == 1) {
      uint8_t ubId = s;
      if (s == gubFpIndex && boArmed) {
        FerxLogPrint("TsaPackPointRes", FERX_LOG_INFO, "Release FP ID");
        ubId = kFpPointId;
        DisarmWakeCheck();
        gubFpIndex = kFpNoSlot;
      }
      WritePoint(pstPoints[ubNum++], static_cast<int32_t>(bak.uiLastX), static_cast<int32_t>(bak.uiLastY), ubId,
                 ALG_TOUCH_ACTION_UP);
    } else if (ubNum < kReportPointMax) {
      pstPoints[ubNum].x = kNoCoord;
      pstPoints[ubNum].y = kNoCoord;
    }
    bak = TamrelTouchBak{0, static_cast<uint32_t>(kNoCoord), static_cast<uint32_t>(kNoCoord), bak.uiLastEvent};
  }
  if (gubFpIndex > 254 && WakeCheckArmed()) DisarmWakeCheck();

  gstCommon.ubPointCount = ubNum;
  const uint32_t uiResult = gstCommon.ubLargeAreaFlag != 0 ? 0 : ubNum;
  if (gubReportRestartSta == 2) gubReportRestartSta = 1;

  if (gstCommon.ubLargeAreaFlag != gubLargeStaBak) {
    gubLargeStaBak = gstCommon.ubLargeAreaFlag;
    if (pubLargeChanged != nullptr) *pubLargeChanged = 1;
    if (pubLargeState != nullptr) *pubLargeState = gubLargeStaBak;
  }
  const uint8_t ubFpStatus = gstCommon.ubFpStatus;
  if (pubFpStatus != nullptr) *pubFpStatus = ubFpStatus;
  if ((ubFpStatus != 0) != (gboFpStaBak != 0)) {
    if (pubFpChanged != nullptr) *pubFpChanged = 1;
  }
  gboFpStaBak = ubFpStatus;

  const uint16_t uwFrameIndex = gstTsaFrameHead.uwFrameIndex;
  if (WakeCheckArmed() && !boFpReported && uiResult == 0 && uwFrameIndex < kFpHoldFrameIndexLimit) {
    return kReportHold;
  }
  return uiResult;
}
