// Region acquisition: the frame's touch mode, the wrapper that gathers the acquisition
// record, RegionAcquire itself (slot reset or upkeep, pre-search smoothing, the search, the
// self peak count) and the hover-entry count.
#include <bitset>
#include <cstdlib>
#include <cstring>

#include "coord_records.h"
#include "diff_stages.h"
#include "module_wrappers.h"
#include "region.h"
#include "region_float.h"
#include "region_proc.h"
#include "region_small.h"
#include "signal_proc.h"
#include "tsa_config.h"

uint8_t gubTouchMode = 2;
uint8_t gubGloveSat;
// Frames with glove evidence (up to 10); the diff stage's have-touch rule reads it.
uint8_t gubGloveShakeCnt;
uint32_t gunGloveRect = kRegionRectNone;
uint8_t gubEnterHoverCnt;
uint8_t gboStaticElecSearch;

namespace {

constexpr uint16_t kWeakTouchThreshold = 45;
constexpr int16_t kNormalModeExtreme = 199;
constexpr uint32_t kGloveCfgBit = 1u << 28;  // byte 3, bit 4 of the AFE word
constexpr uint8_t kHoverColumns = 4;
constexpr uint8_t kHoverCountMax = 200;
constexpr uint8_t kHoverSeenCount = 41;

int16_t SelfThreshold(uint32_t uiAt) {
  return static_cast<int16_t>(gstSelfRegionCfg.aubData[uiAt] | (gstSelfRegionCfg.aubData[uiAt + 1] << 8));
}

bool GridUsable(uint8_t R, uint8_t C) {
  return R <= kRegionMaxRows && static_cast<uint32_t>(R) * C <= kRegionMaxNodes;
}

}  // namespace

void RegionSmoothFlaggedRows(const RegionAcquireInput& in, const int16_t* pswSaved) {
  const uint8_t R = in.ubRowNum;
  const uint8_t C = in.ubColNum;
  if (R < 3 || C < 3) return;
  const RegionGrid saved{const_cast<int16_t*>(pswSaved), R, C};
  const RegionGrid g{in.pswDiff, R, C};
  const int32_t T = in.uwTouchThreshold;
  for (int32_t r = 1; r + 1 < R; ++r) {
    if (((gullDiffOverFlag >> r) & 1u) == 0) continue;
    for (int32_t c = 1; c + 1 < C; ++c) {
      const int32_t v = saved.At(r, c);
      // The neighbour sum is taken in 32 bits: four strong nodes overflow 16.
      const int32_t sum = saved.At(r - 1, c) + saved.At(r + 1, c) + saved.At(r, c - 1) + saved.At(r, c + 1);
      if (v >= T && sum <= 4 * T) g.Set(r, c, static_cast<int16_t>((sum + v) / 5));
    }
  }
}

void RegionAcquireInit(uint8_t* pubWorkBuf) { RegionAcquireStateInit(pubWorkBuf); }

void RegionAbsorbNodes(const RegionAcquireInput& in) {
  const uint8_t R = in.ubRowNum;
  const uint8_t C = in.ubColNum;
  const RegionGrid g{in.pswDiff, R, C};
  const uint8_t ubCount = in.ubRegionNum > kRegionMax ? kRegionMax : in.ubRegionNum;
  const int32_t siLevel = gstRegionAcquireState.uwMergeLevel;
  for (uint8_t i = 0; i < ubCount; ++i) {
    if (in.puwPeak[i] == 0 || !RectValidOn(in.pstRect[i], R, C)) continue;
    const RegionRect r = in.pstRect[i];
    const RegionRect grown = RegionRectGrow(r, 2, R, C);
    bool boAlone = true;
    for (uint8_t j = static_cast<uint8_t>(i + 1); j < ubCount && boAlone; ++j) {
      if (in.puwPeak[j] == 0) continue;
      const RegionRect o = in.pstRect[j];
      boAlone = grown.ubRowStart > o.ubRowEnd || o.ubRowStart > grown.ubRowEnd || grown.ubColStart > o.ubColEnd ||
                o.ubColStart > grown.ubColEnd;
    }
    if (!boAlone) continue;
    for (int32_t rr = r.ubRowStart; rr <= r.ubRowEnd; ++rr) {
      for (int32_t cc = r.ubColStart; cc <= r.ubColEnd; ++cc) {
        uint8_t& b = in.pubLabelMap[rr * C + cc];
        if (b == kRegionLabelNone && g.At(rr, cc) >= siLevel) b = i;
      }
    }
  }
}

void RegionGrowSides(RegionAcquireInput& in) {
  const uint8_t R = in.ubRowNum;
  const uint8_t C = in.ubColNum;
  const RegionGrid g{in.pswDiff, R, C};
  const RegionAcquireState& s = gstRegionAcquireState;
  const uint8_t ubCount = in.ubRegionNum > kRegionMax ? kRegionMax : in.ubRegionNum;
  const int32_t siLevel = s.uwMergeLevel;
  auto label = [&](int32_t r, int32_t c) { return g.In(r, c) ? in.pubLabelMap[r * C + c] : kRegionLabelNone; };
  auto tracked = [&](RegionRect r) {
    for (const RegionTrackSlot& slot : s.astSlot) {
      if (slot.ubFrameCnt != 0 && RegionRectWord(slot.stRect) == RegionRectWord(r)) return true;
    }
    return false;
  };
  // A pass counts as a change only when a side moves, and the nodes of the outside line take
  // the region's label only with it: the label map never holds a region's label outside its
  // rectangle, and every pass that changes something moves a side outward, so the passes end.
  bool boChanged = true;
  while (boChanged) {
    boChanged = false;
    for (uint8_t i = 0; i < ubCount; ++i) {
      if (in.puwPeak[i] == 0 || !RectValidOn(in.pstRect[i], R, C) || tracked(in.pstRect[i])) continue;
      const uint8_t ubPeakCol = static_cast<uint8_t>(in.puwPeakPos[i]);
      const uint8_t ubPeakRow = static_cast<uint8_t>(in.puwPeakPos[i] >> 8);
      if (in.ubFloatFlag == 0) {
        const RegionRect r = in.pstRect[i];
        const bool boRowsOk = (ubPeakRow != 0 && ubPeakRow != R - 1) || r.ubRowEnd - r.ubRowStart + 1 > 2;
        const bool boColsOk = (ubPeakCol != 0 && ubPeakCol != C - 1) || r.ubColEnd - r.ubColStart + 1 > 2;
        if (!boRowsOk || !boColsOk) continue;
      }
      for (int side = 0; side < 4; ++side) {
        const RegionRect r = in.pstRect[i];
        const bool boRow = side < 2;
        // The outside line, the inside line beside it and the span along it.
        int32_t siOut;
        int32_t siIn;
        if (side == 0) {
          siOut = r.ubRowStart - 1;
          siIn = r.ubRowStart;
        } else if (side == 1) {
          siOut = r.ubRowEnd + 1;
          siIn = r.ubRowEnd;
        } else if (side == 2) {
          siOut = r.ubColStart - 1;
          siIn = r.ubColStart;
        } else {
          siOut = r.ubColEnd + 1;
          siIn = r.ubColEnd;
        }
        if (siOut < 0 || siOut >= (boRow ? R : C)) continue;
        const int32_t lo = boRow ? r.ubColStart : r.ubRowStart;
        const int32_t hi = boRow ? r.ubColEnd : r.ubRowEnd;
        auto at = [&](int32_t line, int32_t k) { return boRow ? g.At(line, k) : g.At(k, line); };
        auto lab = [&](int32_t line, int32_t k) { return boRow ? label(line, k) : label(k, line); };
        bool boForeign = false;
        for (int32_t k = lo; k <= hi && !boForeign; ++k) {
          const uint8_t b = lab(siOut, k);
          boForeign = b != kRegionLabelNone && b != i;
        }
        if (boForeign) continue;
        // A side can run the whole width of a wide grid (up to 255 nodes).
        std::bitset<256> take;
        for (int32_t k = lo; k <= hi; ++k) {
          const int16_t v = at(siOut, k);
          if (v >= siLevel && v < at(siIn, k) && lab(siIn, k) == i) take.set(static_cast<size_t>(k - lo));
        }
        if (take.none()) continue;
        RegionRect moved = r;
        if (side == 0) --moved.ubRowStart;
        if (side == 1) ++moved.ubRowEnd;
        if (side == 2) --moved.ubColStart;
        if (side == 3) ++moved.ubColEnd;
        if (JudgeRectOverlapOthers(in, i, moved, s.uwBlockerMask) != 0) continue;
        for (int32_t k = lo; k <= hi; ++k) {
          if (take.test(static_cast<size_t>(k - lo))) in.pubLabelMap[boRow ? siOut * C + k : k * C + siOut] = i;
        }
        in.pstRect[i] = moved;
        boChanged = true;
      }
    }
  }
}

namespace {

// Stillness of the nodes of R between this frame and the previous one: whether no node
// moved by more than LIMIT, and the sums of both frames over the nodes where both exceed 49.
struct Stillness {
  bool boStill = true;
  int32_t siNow = 0;
  int32_t siPrev = 0;
};
Stillness MeasureStillness(const RegionGrid& now, const RegionGrid& prev, RegionRect r, int32_t siLimit) {
  Stillness st;
  for (int32_t rr = r.ubRowStart; rr <= r.ubRowEnd; ++rr) {
    for (int32_t cc = r.ubColStart; cc <= r.ubColEnd; ++cc) {
      const int32_t a = now.At(rr, cc);
      const int32_t b = prev.At(rr, cc);
      if (std::abs(a - b) > siLimit) st.boStill = false;
      if (a > 49 && b > 49) {
        st.siNow += a;
        st.siPrev += b;
      }
    }
  }
  return st;
}

// Writes part I of a split: the largest node above 49 is its peak (stored only when it
// reaches the second threshold), and the labelled nodes above 49 inside take index I.
void TakeSplitPart(RegionAcquireInput& in, const RegionGrid& now, RegionRect r, uint8_t i) {
  int32_t siPeak = 0;
  uint16_t uwPos = 0;
  for (int32_t rr = r.ubRowStart; rr <= r.ubRowEnd; ++rr) {
    for (int32_t cc = r.ubColStart; cc <= r.ubColEnd; ++cc) {
      const int32_t v = now.At(rr, cc);
      if (v <= 49) continue;
      uint8_t& b = in.pubLabelMap[rr * now.ubCols + cc];
      if (b != kRegionLabelNone) b = i;
      if (v > siPeak) {
        siPeak = v;
        uwPos = static_cast<uint16_t>(cc | (rr << 8));
      }
    }
  }
  in.pstRect[i] = r;
  if (siPeak >= in.uwSecondThreshold && siPeak > 0) {
    in.puwPeak[i] = static_cast<uint16_t>(siPeak);
    in.puwPeakPos[i] = uwPos;
  }
}

}  // namespace

void RegionSplitMerged(RegionAcquireInput& in, const int16_t* pswNow) {
  const uint8_t R = in.ubRowNum;
  const uint8_t C = in.ubColNum;
  const CoordPair* pstPair = static_cast<const CoordPair*>(in.pvCoordPair);
  if (pswNow == nullptr || in.pswPrevDiff == nullptr || pstPair == nullptr || in.ubRegionNum >= 11) return;
  const RegionGrid now{const_cast<int16_t*>(pswNow), R, C};
  const RegionGrid prev{in.pswPrevDiff, R, C};
  const uint8_t ubCount = in.ubRegionNum;
  const int32_t siThr = in.uwTouchThreshold;
  for (uint8_t i = 0; i < ubCount; ++i) {
    const RegionRect g = in.pstRect[i];
    if (in.puwPeak[i] == 0 || !RectValidOn(g, R, C)) continue;
    const int32_t h = g.ubRowEnd - g.ubRowStart + 1;
    const int32_t w = g.ubColEnd - g.ubColStart + 1;
    if (!((h >= 5 && w >= 3) || (w >= 5 && h >= 3))) continue;
    const RegionRect grown = RegionRectGrow(g, 1, R, C);
    uint8_t ubFound = 0;
    RegionRect A{};
    RegionRect B{};
    for (uint8_t k = 0; k < kCoordPointMax && k < kRegionMax; ++k) {
      if (pstPair->auwLastRectMaxDiff[k] == 0 || pstPair->aubLeaveTouchTimer[k] != 0) continue;
      const RegionRect last = pstPair->astLastRect[k];
      if (!RectValidOn(last, R, C) || !RectInside(last, grown)) continue;
      if (ubFound == 0) A = last;
      if (ubFound == 1) B = last;
      ++ubFound;
    }
    RegionRect first{};
    RegionRect second{};
    bool boSplit = false;
    if (ubFound == 2) {
      if (h < 10 && w < 10) {
        const Stillness st = MeasureStillness(now, prev, g, siThr);
        boSplit = st.boStill && std::abs(st.siNow - st.siPrev) < 351;
      } else {
        int32_t n = 0, c = 0, b = 0;
        for (int32_t rr = g.ubRowStart; rr <= g.ubRowEnd; ++rr) {
          for (int32_t cc = g.ubColStart; cc <= g.ubColEnd; ++cc) {
            const int32_t x = now.At(rr, cc);
            const int32_t y = prev.At(rr, cc);
            if (x <= 50 && y <= 50) continue;
            ++n;
            if (std::abs(x - y) < 51) ++c;
            if (x > 50 && y > 50) ++b;
          }
        }
        boSplit = 8 * n <= 10 * b && 8 * n <= 10 * c;
      }
      first = A;
      second = B;
    } else if (ubFound == 1 && in.ubFloatFlag == 0 && in.ubRegionOutputFlag == 0) {
      const RegionRect r = A;
      const bool boSmaller = (r.ubRowEnd - r.ubRowStart + 1) + 2 < h || (r.ubColEnd - r.ubColStart + 1) + 2 < w;
      if (boSmaller) {
        const Stillness st = MeasureStillness(now, prev, g, siThr);
        boSplit = st.boStill && std::abs(st.siNow - st.siPrev) < 351;
        RegionRect q = g;
        if (r.ubRowStart > g.ubRowStart + 2) {
          q.ubRowEnd = r.ubRowStart;
        } else if (g.ubRowEnd > r.ubRowEnd + 2) {
          q.ubRowStart = r.ubRowEnd;
        } else if (r.ubColStart > g.ubColStart + 2) {
          q.ubColEnd = r.ubColStart;
        } else if (g.ubColEnd > r.ubColEnd + 2) {
          q.ubColStart = r.ubColEnd;
        }
        first = r;
        second = q;
      }
    }
    if (!boSplit) continue;
    uint8_t j = static_cast<uint8_t>(i + 1);
    while (j < kRegionMax && in.puwPeak[j] != 0) ++j;
    if (j >= kRegionMax) continue;
    TakeSplitPart(in, now, first, i);
    TakeSplitPart(in, now, second, j);
  }
}

void RegionMarkBlockers(const RegionAcquireInput& in, const int16_t* pswNow) {
  RegionAcquireState& s = gstRegionAcquireState;
  const uint8_t R = in.ubRowNum;
  const uint8_t C = in.ubColNum;
  if (pswNow == nullptr || in.pswPrevDiff == nullptr) return;
  const RegionGrid now{const_cast<int16_t*>(pswNow), R, C};
  const RegionGrid prev{in.pswPrevDiff, R, C};
  const uint8_t ubCount = in.ubRegionNum > kRegionMax ? kRegionMax : in.ubRegionNum;
  for (uint8_t i = 0; i < ubCount; ++i) {
    if (in.puwPeak[i] == 0 || !RectValidOn(in.pstRect[i], R, C)) continue;
    const RegionRect r = in.pstRect[i];
    bool boStill = true;
    for (int32_t rr = r.ubRowStart; rr <= r.ubRowEnd && boStill; ++rr) {
      for (int32_t cc = r.ubColStart; cc <= r.ubColEnd && boStill; ++cc) {
        const int32_t d = now.At(rr, cc) - prev.At(rr, cc);
        boStill = (d < 0 ? -d : d) <= s.uwNodeLevel;
      }
    }
    for (uint8_t k = 0; k < kRegionMax; ++k) {
      RegionTrackSlot& slot = s.astSlot[k];
      if (slot.ubFrameCnt <= 5 || RegionRectWord(slot.stRect) == RegionRectWord(r)) continue;
      if (!RectInside(r, RegionRectGrow(slot.stRect, 1, R, C))) continue;
      if (!boStill || in.puwPeak[i] >= in.uwSecondThreshold) break;
      s.uwBlockerMask = static_cast<uint16_t>(s.uwBlockerMask | (1u << i));
      slot.ubSeedState = 1;
    }
  }
}

void RegionCommonInit() {
  memset(reinterpret_cast<uint8_t*>(&gstRegionOutput) + offsetof(RegionOutput, ubPairEnable), 0, 8);
  memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
  memset(&gstSelfRegion, 0, sizeof(gstSelfRegion));
  gstRegionInput.pvCommon = &gstCommon;
  gstRegionInput.pvRawOutput = gstRawdataOutput;
  gstRegionInput.pvDiffOutput = &gstDiffdataOutput;
  gstRegionOutput.pstMutualRegion = &gstMutualRegion;
  gstRegionOutput.pstSelfRegion = &gstSelfRegion;
  gstRegionOutput.ubPairEnable = 1;
  memset(&gstRegionRoles, 0, sizeof(gstRegionRoles));
  gstRegionRoles.ubTouchEnable = 1;
  memset(gaubRegionLabelMap, kRegionLabelNone, sizeof(gaubRegionLabelMap));
  memset(&gstRegionSearchState, 0, sizeof(gstRegionSearchState));
  memset(&gstPairCoreCounters, 0, sizeof(gstPairCoreCounters));
  gubTouchMode = 2;
  gubGloveSat = 0;
  gunGloveRect = kRegionRectNone;
  gubEnterHoverCnt = 0;
}

void RegionAcquire(RegionAcquireInput* pstIn) {
  if (pstIn == nullptr) return;
  RegionAcquireInput& in = *pstIn;
  in.ubThresholdScale = 3;
  in.uwRes142 = 0;
  in.ubRowPeakNum = in.ubRowPeakSpan = in.ubColPeakNum = in.ubColPeakSpan = 0;
  const uint8_t R = in.ubRowNum;
  const uint8_t C = in.ubColNum;
  // A grid the label map, the slot map or the row masks cannot hold finds no region.
  if (!GridUsable(R, C) || in.pswDiff == nullptr || in.pubLabelMap == nullptr || in.pubWorkBuf == nullptr ||
      in.pstRect == nullptr || in.puwPeak == nullptr || in.puwPeakPos == nullptr) {
    in.ubRegionNum = 0;
    in.uwSearchScore = 0;
    return;
  }
  RegionAcquireState& s = gstRegionAcquireState;
  const uint32_t N = static_cast<uint32_t>(R) * C;

  if (in.ubStaticElecSearch != 0) {
    in.uwRegionThreshold = in.uwTouchThreshold;
    auto* pstParam = reinterpret_cast<RegionSearchParam*>(in.pubWorkBuf);
    auto* pstRec = reinterpret_cast<RegionSearchRecord*>(in.pubWorkBuf + 40);
    memset(pstParam, 0, sizeof(*pstParam));
    *pstParam = RegionSearchParam{in.pubLabelMap,
                                  static_cast<uint32_t>(in.ullDiffOverRows),
                                  static_cast<uint32_t>(in.ullDiffOverRows >> 32),
                                  static_cast<int16_t>(in.uwTouchThreshold > 0x7FFF ? 0x7FFF : in.uwTouchThreshold),
                                  R,
                                  C,
                                  kRegionMax,
                                  28,
                                  40,
                                  16,
                                  48,
                                  14,
                                  {0, 0},
                                  1,
                                  1};
    for (uint8_t i = 0; i < kRegionMax; ++i) {
      pstRec[i] = RegionSearchRecord{255, 255, 255, 255, 0, 255, 255, 0, 0};
      in.pstRect[i] = RegionRectFromWord(kRegionRectNone);
      in.puwPeak[i] = 0;
    }
    memset(in.pubLabelMap, kRegionLabelNone, N);
    uint8_t ubCount = 0;
    uint16_t uwScore = 0;
    LocalPeakRegionSearch(in.pswDiff, &ubCount, &uwScore, pstParam, pstRec);
    in.ubRegionNum = ubCount;
    in.uwSearchScore = uwScore;
    in.ubPairNum = s.ubSearchCount;
    for (uint8_t i = 0; i < ubCount; ++i) {
      in.pstRect[i] = RegionRect{pstRec[i].ubTop, pstRec[i].ubBottom, pstRec[i].ubLeft, pstRec[i].ubRight};
      in.puwPeak[i] = static_cast<uint16_t>(pstRec[i].swPeak < 0 ? 0 : pstRec[i].swPeak);
      in.puwPeakPos[i] = static_cast<uint16_t>(pstRec[i].ubPeakCol | (pstRec[i].ubPeakRow << 8));
    }
    return;
  }

  // The complement network's gate takes its frame reset (its first call initialises it).
  GateFloatNetResult(0, -1);
  s.uwMergeLevel = static_cast<uint16_t>(s.uwNodeLevel + in.uwTouchThreshold / 5);
  s.uwBlockerMask = 0;
  auto* pswSaved = reinterpret_cast<int16_t*>(in.pubWorkBuf + kRegionSavedDiffAt);
  if (N != 0) memcpy(pswSaved, in.pswDiff, N * sizeof(int16_t));
  const uint8_t W =
      in.ubWaterOverride != 0 ? 0 : ((gstRegionRoles.aubWaterFlag[0] | gstRegionRoles.aubWaterFlag[1]) != 0 ? 1 : 0);

  // Slots are carried across frames only while touches are reported and nothing (floating,
  // two peaks, water, a fresh pairing) disturbs the picture.
  const CoordPair* pstPair = static_cast<const CoordPair*>(in.pvCoordPair);
  const bool boTrack = in.ubFloatMode == 0 && in.ubTwoPeakState == 0 && pstPair != nullptr &&
                       pstPair->ubPairCounter < pstPair->uwFirstPairLimit && W == 0 && in.ubPrevPointNum != 0;
  if (boTrack) {
    RegionTrackSlots(in);
    RegionSlotUpkeep(R, C);
    if (s.ubSteadySlotNum != 0) {
      for (uint8_t i = 0; i < kRegionMax; ++i) {
        const RegionTrackSlot& slot = s.astSlot[i];
        if (slot.ubFrameCnt <= 5 || !RectValidOn(slot.stRect, R, C)) continue;
        for (uint32_t r = slot.stRect.ubRowStart; r <= slot.stRect.ubRowEnd; ++r) {
          for (uint32_t c = slot.stRect.ubColStart; c <= slot.stRect.ubColEnd; ++c) {
            if (s.aubSlotLabel[r * C + c] == i) in.pswDiff[r * C + c] = 0;
          }
        }
      }
    }
  } else {
    s.ubSteadySlotNum = 0;
    memset(s.astSlot, 0, sizeof(s.astSlot));
    memset(s.aubSlotLabel, kRegionLabelNone, sizeof(s.aubSlotLabel));
  }

  uint8_t ubSearchFlag = 0;
  if ((in.ubCommonMode != 0 || W == 1) && in.ubWeakTouchMode == 0) {
    ubSearchFlag = 1;
    RegionSmoothFlaggedRows(in, pswSaved);
  }
  RegionSearchProc(&in, ubSearchFlag);
  RegionMarkBlockers(in, pswSaved);
  if (in.ubRegionNum != 0 && in.ubCommonMode == 0 && ubSearchFlag == 0 && in.ubPairOverride != 1) {
    RegionAbsorbNodes(in);
    RegionGrowSides(in);
  }

  if (in.ubRegionNum > kRegionMax) in.ubRegionNum = kRegionMax;
  RegionSplitMerged(in, pswSaved);
  if (in.ubRegionNum != 0) {
    in.ubRegionNum = RearrangeRegion(kRegionMax, in.puwPeak, in.pstRect, in.puwPeakPos, in.puwWaterValue,
                                     in.pubLabelMap, R, C);
  }
  if (N != 0) memcpy(in.pswDiff, pswSaved, N * sizeof(int16_t));

  if (in.ubSelfEnable != 0 && in.ubRegionNum != 0 && in.pswSelfDiff != nullptr) {
    in.ubRowPeakNum = SelfRegionSearch(in.pswSelfDiff, R, static_cast<uint16_t>(SelfThreshold(0)), &in.ubRowPeakSpan);
    in.ubColPeakNum =
        SelfRegionSearch(in.pswSelfDiff + R, C, static_cast<uint16_t>(SelfThreshold(2)), &in.ubColPeakSpan);
  }
  s.ubPrevFloatFlag = in.ubFloatFlag;
}

void RegionAcquireWrapper() {
  RegionAcquireInput in;
  memset(&in, 0, sizeof(in));
  uint16_t uwThr;
  // The region threshold is the mask threshold; outside the normal touch mode a fixed 45
  // replaces it for this and the later stages, while the diff stages keep their touch
  // threshold.
  if (gubTouchMode != 2) {
    uwThr = kWeakTouchThreshold;
    gstCommon.uwMaskThreshold = kWeakTouchThreshold;
  } else {
    uwThr = gstCommon.uwMaskThreshold;
  }
  gstMutualRegion.uwTouchThreshold = uwThr;
  in.uwTouchThreshold = uwThr;
  in.ubWaterOverride = gstRegionRoles.ubWaterOverride;
  in.ubCommonMode = gstRegionRoles.ubCommonMode;
  in.ubColNum = gstCommon.ubSenNum;
  in.ubRowNum = gstCommon.ubDrvNum;
  in.uwSecondThreshold = gstCommon.uwSecondThreshold;
  in.pubLabelMap = gaubRegionLabelMap;
  in.pswDiff = gstCommon.stData.pswDiffData;
  in.ubLongThumb = (gstLongBigThumb.ubResult != 0 || gstCoordPair.ubGapFlag != 0) ? 1 : 0;
  in.pswSelfDiff = gstCommon.stData.pswSelfDiffData;
  in.pubWorkBuf = gstCommon.pubTempArena;
  in.uwThresholdDrop = gstTouchPannelCfg.uwThresholdDrop;
  in.ubSelfEnable = gstCommon.ubSelfEnable;
  in.ullDiffOverRows = gullDiffOverFlag;
  in.ubEdgeColScale = gstRegionRoles.ubEdgeColScale;
  in.ubFloatFlag = gstCommon.ubFloatingByte != 0 ? 1 : 0;
  in.ubTwoPeakState = gstRegionRoles.ubTwoPeak;
  in.ubPrevPointNum = gstRegionRoles.ubPrevPointCount;
  in.swFrameMin = gstCommon.swDiffMin;
  in.pswPrevDiff = gaswRegionPrevDiff;
  in.pvCoordPair = &gstCoordPair;
  in.puwPairLastPeak = gstCoordPair.auwLastRectMaxDiff;
  in.stFloatRect = RegionRectFromWord(kRegionRectNone);
  in.ubRegionOutputFlag = gstRegionOutput.ubPassFlag;
  in.ubFloatMode = gstCommon.ubFloatingByte;
  in.ubWeakTouchMode = gubTouchMode != 2 ? 1 : 0;
  in.ubStaticElecSearch = gboStaticElecSearch;
  in.ubSecondSearchEn = 1;
  in.pstRect = gstMutualRegion.astRect;
  in.puwPeak = gstMutualRegion.auwPeak;
  in.puwPeakPos = gstMutualRegion.auwPeakPos;
  in.puwWaterValue = gstMutualRegion.auwWaterValue;
  in.ubPairNum = gstMutualRegion.ubPairNum;
  RegionAcquire(&in);
  gstSelfRegion = SelfRegion{in.ubRowPeakNum, in.ubRowPeakSpan, in.ubColPeakNum, in.ubColPeakSpan};
  gstMutualRegion.uwSearchScore = in.uwSearchScore;
  gstMutualRegion.ubPairNum = in.ubPairNum;
  gstMutualRegion.ubRegionNum = in.ubRegionNum;
  gstRegionRoles.ubTwoPeak = in.ubTwoPeakState;
  // The pairing summary the debug record carries: the per-slot state bytes of pairing, as
  // the last frame left them (the pairing wrapper writes them again after this frame's).
  uint8_t* pubSummary = gstSelkoAlgoDebugInfo.aubPairSummary;
  memcpy(pubSummary, gstCoordPair.aubSlotState, sizeof(gstSelkoAlgoDebugInfo.aubPairSummary));
}

uint8_t RegionTouchModeNext(uint8_t ubMode, int16_t swMax, int16_t swMin, bool boForceNormal) {
  if (swMax > kNormalModeExtreme || swMin < -kNormalModeExtreme || boForceNormal) return 2;
  if (swMax < static_cast<int16_t>(kWeakTouchThreshold)) return 0;
  return ubMode == 2 ? 2 : 1;
}

void RegionHoverCount() {
  gstRegionRoles.ubHoverSeen = 0;
  if (gstCommon.ubHoverInput == 0 || gstRegionRoles.ubTouchEnable == 0) {
    gubEnterHoverCnt = 0;
    return;
  }
  const RegionGrid g{gstCommon.stData.pswDiffData, gstCommon.ubDrvNum, gstCommon.ubSenNum};
  const int16_t swLeave = static_cast<int16_t>(gstCommon.uwMaskThreshold);
  uint32_t n = 0;
  for (int32_t r = 0; r < g.ubRows; ++r) {
    for (int32_t c = 0; c < kHoverColumns && c < g.ubCols; ++c) n += g.At(r, c) > swLeave ? 1u : 0u;
  }
  const uint8_t ubBefore = gubEnterHoverCnt;
  if (n >= 2 && gubEnterHoverCnt < kHoverCountMax) {
    ++gubEnterHoverCnt;
  } else if (gubEnterHoverCnt != 0) {
    --gubEnterHoverCnt;
  }
  if (gubEnterHoverCnt == ubBefore) return;
  if (gstCommon.swDiffMax >= swLeave) {
    if (gubEnterHoverCnt >= kHoverSeenCount) gstRegionRoles.ubHoverSeen = 1;
  } else {
    gubEnterHoverCnt = 0;
  }
}

void RegionAcquireProcPkg() {
  const MutualOfsCancelRec* pstStat = gstDiffdataOutput.pstMutual;
  // Copied out one by one: a conditional would bind references into packed records.
  int16_t swMax = gstCommon.swDiffMax;
  int16_t swMin = gstCommon.swDiffMin;
  if (pstStat != nullptr) {
    swMax = pstStat->swMax;
    swMin = pstStat->swMin;
  }
  const bool boForce = gstRegionRoles.ubStateByte != 0 || gstRegionRoles.ubTouchEnable == 0 ||
                       gstCommon.ubWaterResult != 0 || (gstThpAfeMoudleCfg.uiAfeWord & kGloveCfgBit) == 0;
  const uint8_t ubNext = RegionTouchModeNext(gubTouchMode, swMax, swMin, boForce);
  if (ubNext == 2 && (swMax > kNormalModeExtreme || swMin < -kNormalModeExtreme || boForce)) {
    gubGloveSat = 0;
    gunGloveRect = kRegionRectNone;
  }
  if (ubNext == 1) gullDiffOverFlag = ~0ull;  // every row may seed a weak region
  gubTouchMode = ubNext;

  RegionAcquireWrapper();
  GloveTouchDetect();
  RegionHoverCount();
  DeleteIncludeRect();
  PocketErrorTouchProc();
  LandscapeHandleJudge();

  const uint8_t ubCount = gstMutualRegion.ubRegionNum;
  uint8_t a = 0;
  uint8_t b = 0;
  for (uint8_t i = 0; i < ubCount && i < kRegionMax; ++i) {
    const RegionRect r = gstMutualRegion.astRect[i];
    if (r.ubRowStart == 0) {
      ++a;
    } else if (r.ubRowEnd == gstCommon.ubDrvLast) {
      ++b;
    }
  }
  if (ubCount != 0 && ubCount <= kRegionMax) gstRegionRoles.uiLastRect = RegionRectWord(gstMutualRegion.astRect[ubCount - 1]);
  if (a != 0 || b != 0) gstNormalize.st.ubEdgeGrip = 1;  // the normalisation's edge-touch byte
  NfDeleteBarRegion();
  DeleteSingleRegion();
  DeleteCameraSingleRegion();
  const uint32_t N = static_cast<uint32_t>(gstCommon.ubDrvNum) * gstCommon.ubSenNum;
  if (gstCommon.stData.pswDiffData != nullptr && N <= kRegionMaxNodes) {
    memcpy(gaswRegionPrevDiff, gstCommon.stData.pswDiffData, N * sizeof(int16_t));
  }
}
