// Low temperature judged from a resting touch: a small touch that stays in place away from
// the borders is followed; frames in which its signal fades slowly are counted, as a finger
// resting on a cold panel does. Also the rectangle statistics the low-temperature code
// shares.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "low_temp.h"

alignas(4) LowTempInfo gstLowTempInfo;

namespace {

constexpr uint16_t kNoPos = 0xFFFF;
constexpr uint16_t kTolUnset = 32767;
constexpr uint8_t kTrackFrames = 5;
constexpr uint8_t kHoldFrames = 3;

void ShiftStore(LowTempInfo& t, int32_t slPeak, int32_t slMean) {
  t.uwPeakOld = t.auwPeakHist[4];
  memmove(&t.auwPeakHist[1], &t.auwPeakHist[0], 4 * sizeof(uint16_t));
  t.auwPeakHist[0] = static_cast<uint16_t>(slPeak);
  t.uwMeanOld = t.auwMeanHist[4];
  memmove(&t.auwMeanHist[1], &t.auwMeanHist[0], 4 * sizeof(uint16_t));
  t.auwMeanHist[0] = static_cast<uint16_t>(slMean);
}

// Histories hold signed means and peaks in their u16 words.
int32_t S(uint16_t uw) { return static_cast<int16_t>(uw); }

bool SharesRowsOrCols(uint32_t a, uint32_t b) {
  const LtRect x = LtUnpack(a), y = LtUnpack(b);
  return (x.r0 <= y.r1 && y.r0 <= x.r1) || (x.c0 <= y.c1 && y.c0 <= x.c1);
}

bool Near(uint16_t a, uint16_t b) { return std::abs(static_cast<int32_t>(a) - static_cast<int32_t>(b)) <= 3; }

RectStatsRecord DiffStats(const LowTempTouchInput& in, uint32_t uiRect) {
  RectStatsRecord st{};
  st.pswDiff = in.pswDiff;
  st.uiRect = uiRect;
  st.ubRows = in.ubRows;
  st.ubCols = in.ubCols;
  RectStatistics(&st);
  return st;
}

}  // namespace

void RectStatistics(RectStatsRecord* p) {
  p->swMax = INT16_MIN;
  p->swMin = INT16_MAX;
  p->swTotal = 0;
  p->slStrongSum = 0;
  p->uwStrongCnt = 0;
  p->uiTotalB = 0;
  p->uwMaxB = 0;
  p->uwCntB = 0;
  p->uiStrongSumB = 0;
  p->uiTotalC = 0;
  p->uiStrongSumC = 0;
  p->uwNodes = 0;
  const LtRect r = LtUnpack(p->uiRect);
  if (LtEmpty(r) || r.r1 >= p->ubRows || r.c1 >= p->ubCols) return;
  const int32_t C = p->ubCols;
  uint16_t uwTotal = 0;
  for (int32_t row = r.r0; row <= r.r1; ++row)
    for (int32_t c = r.c0; c <= r.c1; ++c) {
      const int32_t i = row * C + c;
      ++p->uwNodes;
      if (p->pswDiff != nullptr) {
        const int16_t v = p->pswDiff[i];
        p->swMax = std::max(p->swMax, v);
        p->swMin = std::min(p->swMin, v);
        uwTotal = static_cast<uint16_t>(uwTotal + static_cast<uint16_t>(v));
        if (v >= p->swThreshold) p->slStrongSum += v, ++p->uwStrongCnt;
      }
      if (p->puwMapB != nullptr) {
        const uint16_t v = p->puwMapB[i];
        p->uiTotalB += v;
        p->uwMaxB = std::max(p->uwMaxB, v);
        if (v >= p->uwThreshold) ++p->uwCntB, p->uiStrongSumB += v;
      }
      if (p->puwMapC != nullptr) {
        const uint16_t v = p->puwMapC[i];
        p->uiTotalC += v;
        if (v >= p->uwThreshold) p->uiStrongSumC += v;
      }
    }
  p->swTotal = static_cast<int16_t>(uwTotal);
}

void HistoryPush6(uint16_t* puwHist, uint16_t uwValue) {
  memmove(puwHist + 1, puwHist, 5 * sizeof(uint16_t));
  puwHist[0] = uwValue;
}

void LowTempInfoReset() {
  gstLowTempInfo.ubFrameCnt = 0;
  gstLowTempInfo.ubFadingCnt = 0;
  gstLowTempInfo.uwBestPeak = 0;
  gstLowTempInfo.auwPos[0] = gstLowTempInfo.auwPos[1] = kNoPos;
}

void JudgeLowTempByTouch(const LowTempTouchInput* pstIn) {
  const LowTempTouchInput& in = *pstIn;
  LowTempInfo& t = gstLowTempInfo;
  if ((in.ubTouchCount == 0 && t.uwHold == 0) || gstLowTempNcln.ubHold != 0 || in.ubTouchCount >= 3) {
    LowTempInfoReset();
    return;
  }
  const int32_t R = in.ubRows, C = in.ubCols;
  if (in.ubTouchCount == 2) {
    uint32_t auiUsed[2];
    uint8_t n = 0;
    for (uint8_t k = 0; k < 12 && n < 2; ++k)
      if (in.puwValues[k] != 0) auiUsed[n++] = LtGrow(in.puiRects[k], in.ubRows, in.ubCols);
    if (n == 2 && SharesRowsOrCols(auiUsed[0], auiUsed[1])) {
      LowTempInfoReset();
      return;
    }
  }
  if (t.ubFrameCnt < kTrackFrames) {
    uint8_t ubFound = 0xFF;
    for (uint8_t k = 0; k < 12; ++k) {
      if (in.puwValues[k] == 0) continue;
      const uint32_t uiRect = in.puiRects[k];
      const LtRect r = LtUnpack(uiRect);
      if (LtEmpty(r) || LtArea(uiRect) >= 43 || r.r0 <= 1 || r.r1 >= R - 2 || r.c0 < 2 || r.c1 >= C - 2) continue;
      if (t.auwPos[0] != kNoPos || t.auwPos[1] != kNoPos) {
        if (!Near(in.puwX[k], t.auwPos[0]) || !Near(in.puwY[k], t.auwPos[1])) continue;
      } else {
        if (!Near(in.puwX[k], in.puwPrevX[k]) || !Near(in.puwY[k], in.puwPrevY[k])) continue;
        t.auwPos[0] = in.puwX[k];
        t.auwPos[1] = in.puwY[k];
      }
      ubFound = k;
      break;
    }
    if (ubFound == 0xFF) {
      LowTempInfoReset();
      return;
    }
    const uint32_t uiRect = in.puiRects[ubFound];
    if (in.ubTouchCount == 1) {
      const LtRect r = LtUnpack(uiRect);
      uint32_t uiNeg = 0;
      for (int32_t row = r.r0; row <= r.r1; ++row)
        for (int32_t c = r.c0; c <= r.c1; ++c) uiNeg += in.pswDiff[row * C + c] < -50 ? 1 : 0;
      if (uiNeg >= 5) {
        LowTempInfoReset();
        return;
      }
    }
    t.uiRect = LtArea(uiRect) >= 10 ? LtGrow(uiRect, in.ubRows, in.ubCols) : uiRect;
    ++t.ubFrameCnt;
    const uint16_t uwValue = in.puwValues[ubFound];
    const RectStatsRecord st = DiffStats(in, t.uiRect);
    ShiftStore(t, uwValue, st.uwNodes != 0 ? st.swTotal / st.uwNodes : 0);
    t.uwBestPeak = std::max(t.uwBestPeak, uwValue);
    if (t.ubFrameCnt == kTrackFrames) t.uwPeakTol = t.uwMeanTol = kTolUnset;
    return;
  }

  bool boSeen = false, boOther = false;
  for (uint8_t k = 0; k < 12; ++k) {
    if (in.puwValues[k] == 0) continue;
    if (LtInside(in.puiRects[k], t.uiRect)) boSeen = true;
  }
  if (boSeen) {
    t.uwHold = kHoldFrames;
  } else {
    for (uint8_t k = 0; k < 12; ++k)
      if (in.puwValues[k] != 0 && RectOverlapCount(in.puiRects[k], t.uiRect) != 0) boOther = true;
    if (t.uwHold == 0) {
      LowTempInfoReset();
      return;
    }
    --t.uwHold;
  }
  if (t.ubFrameCnt < 255) ++t.ubFrameCnt;
  const RectStatsRecord st = DiffStats(in, t.uiRect);
  const int32_t peak = st.swMax;
  const int32_t mean = st.uwNodes != 0 ? st.swTotal / st.uwNodes : 0;
  const int32_t oldPeak = S(t.auwPeakHist[4]), oldMean = S(t.auwMeanHist[4]);
  if (!boSeen && (oldPeak - peak > 150 || oldMean - mean > 80 || st.swTotal < 0 || boOther)) {
    t.uwHold = 0;
    return;
  }
  if (std::abs(peak - static_cast<int32_t>(t.uwBestPeak)) <= 50) {
    ShiftStore(t, peak, mean);
    return;
  }
  const bool boSlow = (peak + 10 <= oldPeak && oldPeak <= peak + t.uwPeakTol) ||
                      (mean + 5 <= oldMean && oldMean <= mean + t.uwMeanTol);
  if (t.uwPeakTol == kTolUnset && boSlow) {
    t.uwPeakTol = static_cast<uint16_t>(S(t.uwPeakOld) - peak + 10);
    t.uwMeanTol = static_cast<uint16_t>(S(t.uwMeanOld) - mean + 5);
  }
  const int32_t d = oldPeak - S(t.auwPeakHist[0]);
  if (d < 1) {
    if (t.ubFadingCnt > 0) --t.ubFadingCnt;
  } else {
    if (peak - S(t.auwPeakHist[0]) > 4 * d) t.ubFadingCnt = 0;
    if (boSlow) {
      if (t.ubFadingCnt < 255) ++t.ubFadingCnt;
    } else if (t.ubFadingCnt > 0) {
      --t.ubFadingCnt;
    }
  }
  ShiftStore(t, peak, mean);
}
