// Reference consistency measures: per-drive-line roughness of a map and the corner blend.
// They read the dimensions and thresholds of the current reference-module call.
#include <cstring>

#include "signal_proc.h"
#include "signal_util.h"

RefConsistanceRec gstRefConsistance;
uint8_t gubNeedJudgeEdgeGrib;

namespace {

constexpr int32_t kNeighbourFloor = 15;
constexpr int32_t kEdgeGripLevel = 151;
constexpr uint8_t kNodeThresholdPos = 8;  // ninth configuration byte
// Second differences of every line of the last second-neighbour pass.
int16_t gaswSecondDiff[kRefMaxLines][kRefMaxCols];

int32_t Abs(int32_t v) { return v < 0 ? -v : v; }
// Excess of |v| over the node threshold, the threshold doubled at a line's first and last
// position, where a single edge node moves more.
uint32_t Excess(int32_t v, uint32_t c, uint32_t uiLast, int32_t iThr) {
  const int32_t t = (c == 0 || c == uiLast) ? 2 * iThr : iThr;
  const int32_t a = Abs(v);
  return a > t ? static_cast<uint32_t>(a - t) : 0;
}

}  // namespace

uint32_t CalcCurConsistencyDrv(const uint16_t* puwMap, uint8_t ubFirst, uint8_t ubEnd, uint8_t ubMode) {
  RefConsistanceRec& rc = gstRefConsistance;
  rc.swLargestDiff = 0;
  const RefUpdateArgs* a = gpstRefUpdateArgs;
  if (a == nullptr || puwMap == nullptr) return 0;
  const uint32_t uiRows = a->ubRows < kRefMaxLines ? a->ubRows : kRefMaxLines;
  const uint32_t uiCols = a->ubCols < kRefMaxCols ? a->ubCols : kRefMaxCols;
  const uint32_t uiEnd = ubEnd < uiRows ? ubEnd : uiRows;
  const uint32_t uiGap = ubMode == kConsistNeighbour ? 1 : 2;
  if (uiCols <= uiGap) return 0;
  const int32_t iThr = gstRefUpdateCfg.aubData[kNodeThresholdPos];
  int32_t aiLineMax[kRefMaxLines] = {};
  for (uint32_t r = ubFirst; r < uiEnd; ++r) {
    const uint16_t* x = puwMap + r * a->ubCols;
    const uint32_t uiN = uiCols - uiGap;
    int32_t iPrev = 0;
    uint32_t uiValue = 0;
    for (uint32_t c = 0; c < uiN; ++c) {
      const int32_t d = static_cast<int16_t>(static_cast<uint16_t>(x[c] - x[c + uiGap]));
      if (Abs(d) > aiLineMax[r]) aiLineMax[r] = Abs(d);
      if (ubMode == kConsistNeighbour) {
        if (Abs(d) > kNeighbourFloor) uiValue += static_cast<uint32_t>(Abs(d) - kNeighbourFloor);
      } else if (c > 0) {
        const int32_t e = iPrev - d;
        gaswSecondDiff[r][c - 1] = static_cast<int16_t>(e);
        uiValue += Excess(e, c - 1, uiN - 2, iThr);
      }
      iPrev = d;
    }
    rc.auiLine[r] = uiValue;
    if (aiLineMax[r] > rc.swLargestDiff) rc.swLargestDiff = static_cast<int16_t>(aiLineMax[r]);
  }
  if (a->uwRefValid == 0 && uiRows >= 1) {
    // At the power-on build a strong step on only an outer line means a hand gripping the
    // panel edge rather than a bad panel.
    bool boInner = false;
    for (uint32_t r = 2; r + 2 < uiRows; ++r) boInner = boInner || aiLineMax[r] > kEdgeGripLevel - 1;
    if (!boInner && (aiLineMax[0] >= kEdgeGripLevel || aiLineMax[uiRows - 1] >= kEdgeGripLevel)) gubNeedJudgeEdgeGrib = 1;
  }
  uint32_t uiSum = 0;
  if (ubMode == kConsistNeighbour) {
    for (uint32_t r = ubFirst; r < uiEnd; ++r) uiSum += rc.auiLine[r];
    return uiSum;
  }
  const uint32_t uiE = uiCols - 3;  // second differences per line
  for (uint32_t r = ubFirst; r + 2 < uiEnd; ++r)
    for (uint32_t c = 0; c < uiE; ++c) uiSum += Excess(gaswSecondDiff[r][c] - gaswSecondDiff[r + 2][c], c, uiE - 1, iThr);
  return uiSum;
}

void CalcConsistBeforeComplentRaw(int16_t* pswMap) {
  const RefUpdateArgs* a = gpstRefUpdateArgs;
  if (a == nullptr || pswMap == nullptr || a->ubRows == 0 || a->ubCols < 2) return;
  const uint32_t C = a->ubCols, R = a->ubRows;
  auto blend = [&](uint32_t uiAt, uint32_t uiInner) {
    pswMap[uiAt] = static_cast<int16_t>((6 * pswMap[uiInner] + 4 * pswMap[uiAt]) / 10);
  };
  blend(0, 1);
  blend(C - 1, C - 2);
  if (R < 2) return;
  blend((R - 1) * C, (R - 1) * C + 1);
  blend(R * C - 1, R * C - 2);
}

uint32_t GetCurScreenConst() { return gstRefConsistance.uiRawDrvConsist; }
uint32_t* GetCurConsistDrvAdr() { return gstRefConsistance.auiLine; }
