#pragma once
// Test fixture of region detection: a small diff map wired to an acquisition record, the
// module's region record and label map, and a work buffer of the size the core hands out.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "coord_records.h"
#include "diff_stages.h"
#include "region.h"
#include "region_large.h"
#include "region_float.h"
#include "region_lib.h"
#include "region_proc.h"
#include "region_water.h"

namespace regiontest {

inline RegionRect Rect(uint8_t r0, uint8_t r1, uint8_t c0, uint8_t c1) { return RegionRect{r0, r1, c0, c1}; }

// Loads the region set with REGIONS (rectangle and peak each), the rest cleared.
inline void LoadRegions(const std::vector<std::pair<RegionRect, uint16_t>>& regions) {
  memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
  for (size_t i = 0; i < regions.size(); ++i) {
    gstMutualRegion.astRect[i] = regions[i].first;
    gstMutualRegion.auwPeak[i] = regions[i].second;
  }
  gstMutualRegion.ubRegionNum = static_cast<uint8_t>(regions.size());
}

// The rectangles the region set still holds, as packed words.
inline std::vector<uint32_t> KeptRegionWords() {
  std::vector<uint32_t> out;
  for (uint8_t i = 0; i < gstMutualRegion.ubRegionNum; ++i) out.push_back(RegionRectWord(gstMutualRegion.astRect[i]));
  return out;
}

// A ROWS x COLS diff map with an acquisition record wired to it, to the module's region
// record and label map, and to a work buffer of the size the core hands out.
class AcquireFixture : public ::testing::Test {
 protected:
  void Init(uint8_t rows, uint8_t cols) {
    rows_ = rows;
    cols_ = cols;
    diff_.assign(static_cast<size_t>(rows) * cols, 0);
    self_.assign(static_cast<size_t>(rows) + cols, 0);
    work_.assign(kRegionSavedDiffAt + 2 * kRegionMaxNodes, 0);
    memset(&gstCoordPair, 0, sizeof(gstCoordPair));
    gstCoordPair.uwFirstPairLimit = 10;
    RegionCommonInit();
    RegionAcquireInit(work_.data());
    memset(&gstRegionSearchState, 0, sizeof(gstRegionSearchState));
    memset(&gstPairCoreCounters, 0, sizeof(gstPairCoreCounters));
    gullDiffOverFlag = ~0ull;
  }
  // A blob: PEAK at (r, c), PEAK / 2 on its four neighbours, PEAK / 4 on the diagonals.
  void Blob(int r, int c, int16_t peak) {
    for (int dr = -1; dr <= 1; ++dr) {
      for (int dc = -1; dc <= 1; ++dc) {
        const int rr = r + dr, cc = c + dc;
        if (rr < 0 || cc < 0 || rr >= rows_ || cc >= cols_) continue;
        const int16_t v = (dr == 0 && dc == 0) ? peak : (dr == 0 || dc == 0) ? peak / 2 : peak / 4;
        int16_t& n = diff_[static_cast<size_t>(rr) * cols_ + cc];
        if (v > n) n = v;
      }
    }
  }
  RegionAcquireInput Input() {
    RegionAcquireInput in;
    memset(&in, 0, sizeof(in));
    in.uwTouchThreshold = 100;
    in.uwSecondThreshold = 120;
    in.ubRowNum = rows_;
    in.ubColNum = cols_;
    in.pubLabelMap = gaubRegionLabelMap;
    in.pswDiff = diff_.data();
    in.pswSelfDiff = self_.data();
    in.pubWorkBuf = work_.data();
    in.ullDiffOverRows = ~0ull;
    in.pvCoordPair = &gstCoordPair;
    in.puwPairLastPeak = gstCoordPair.auwLastRectMaxDiff;
    in.stFloatRect = RegionRectFromWord(kRegionRectNone);
    in.ubSecondSearchEn = 1;
    in.pstRect = gstMutualRegion.astRect;
    in.puwPeak = gstMutualRegion.auwPeak;
    in.puwPeakPos = gstMutualRegion.auwPeakPos;
    in.puwWaterValue = gstMutualRegion.auwWaterValue;
    return in;
  }
  uint8_t Label(int r, int c) const { return gaubRegionLabelMap[r * cols_ + c]; }
  int16_t& D(int r, int c) { return diff_[static_cast<size_t>(r) * cols_ + c]; }
  // Fills R with V on the diff map.
  void Fill(RegionRect r, int16_t v) {
    for (int y = r.ubRowStart; y <= r.ubRowEnd; ++y)
      for (int x = r.ubColStart; x <= r.ubColEnd; ++x) D(y, x) = v;
  }
  // The region set holds exactly these rectangles (keep value = their largest diff); their
  // nodes carry their index in the label map, every other node 255.
  void SetRegions(const std::vector<RegionRect>& rects) {
    memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
    memset(gaubRegionLabelMap, kRegionLabelNone, sizeof(gaubRegionLabelMap));
    for (size_t i = 0; i < rects.size(); ++i) {
      const RegionRect r = rects[i];
      int16_t m = 1;
      for (int y = r.ubRowStart; y <= r.ubRowEnd; ++y) {
        for (int x = r.ubColStart; x <= r.ubColEnd; ++x) {
          gaubRegionLabelMap[y * cols_ + x] = static_cast<uint8_t>(i);
          if (D(y, x) > m) m = D(y, x);
        }
      }
      gstMutualRegion.astRect[i] = r;
      gstMutualRegion.auwPeak[i] = static_cast<uint16_t>(m);
    }
    gstMutualRegion.ubRegionNum = static_cast<uint8_t>(rects.size());
  }
  // The floating judgement's input over this map and the region set, with the frame's
  // extremes, the bounding rectangle of the regions as the main rectangle and no pairing
  // slot occupied; the floating state, thresholds and history start cleared.
  FloatJudgeInput FloatInput() {
    FloatJudgeInput in;
    memset(&in, 0, sizeof(in));
    int16_t mx = 0, mn = 0;
    for (int16_t v : diff_) {
      mx = v > mx ? v : mx;
      mn = v < mn ? v : mn;
    }
    in.swDiffMax = mx;
    in.swDiffMin = mn;
    in.uwRefLevel = 100;
    in.uwNodeThr = 100;
    in.swHalfThr = 60;
    in.pubLabel = gaubRegionLabelMap;
    in.ubRows = rows_;
    in.ubCols = cols_;
    in.pswDiff = diff_.data();
    in.pswSecond = diff_.data();
    in.puwPairValue = gstCoordPair.auwLastRectMaxDiff;
    in.pstPairRect = gstCoordPair.astLastRect;
    in.pstRect = gstMutualRegion.astRect;
    in.puwKeep = gstMutualRegion.auwPeak;
    in.ubCount = gstMutualRegion.ubRegionNum;
    in.stMainRect = gstMutualRegion.ubRegionNum != 0 ? CalcAllRect(gstMutualRegion.astRect, in.ubCount)
                                                     : RegionRectFromWord(kRegionRectEmptyBound);
    return in;
  }
  static void ClearFloatState() {
    memset(&gstFloatSelfCfg, 0, sizeof(gstFloatSelfCfg));
    memset(gastFloatJudgeHistory, 0, sizeof(gastFloatJudgeHistory));
    memset(gstFloatOutPutCnt, 0, sizeof(gstFloatOutPutCnt));
    memset(gastFloatRegionRecord, 0, sizeof(gastFloatRegionRecord));
    gubLargeCopperCnt = 0;
  }

  uint8_t rows_ = 0, cols_ = 0;
  std::vector<int16_t> diff_, self_;
  std::vector<uint8_t> work_;
};

// A ROWS x COLS grid with its own region arrays, label map and diff map, and a large-area
// record wired to them the way the core's wrapper wires it (mode B 1, the stage and the
// spanning test on, hold decrement 1). The large-touch configuration, the working
// thresholds, the water states and the latch start cleared.
class LargeAreaFixture : public ::testing::Test {
 protected:
  void Init(uint8_t rows, uint8_t cols) {
    rows_ = rows;
    cols_ = cols;
    diff_.assign(static_cast<size_t>(rows) * cols, 0);
    label_.assign(static_cast<size_t>(rows) * cols, kRegionLabelNone);
    memset(rect_, 0, sizeof(rect_));
    memset(keep_, 0, sizeof(keep_));
    memset(counts_, 0, sizeof(counts_));
    memset(&gstLargeTouchCfg, 0, sizeof(gstLargeTouchCfg));
    memset(&gstLargeRegionCheck, 0, sizeof(gstLargeRegionCheck));
    gstWaterState.WaterLargeSta = gstWaterState.WaterUnionFlag = gstWaterState.WaterMoveFlag = 0;
    // The union table laid out with every entry free, as waterproof processing leaves it.
    for (WaterUnion& u : gstWaterState.astUnion) {
      memset(&u, 0, sizeof(u));
      u.label = kWaterUnionFree;
    }
    gstWaterState.ubUnionTableValid = 1;
    scratch_.assign(kLargeComponentScratchBytes, 0xA5);
    gboLastLargeArea = 0;
    gboWaterLargeBak = 0;
    gboLargeTouchStaBak = 0;
    held_ = 0;
    num_ = 0;
  }
  void Cfg(uint8_t byte, uint8_t value) { gstLargeTouchCfg.aubData[byte] = value; }
  // Loads the working thresholds from the configuration, as initialisation does.
  void Load() { RegionLargeAreaInit(); }
  // Region NUM_: rectangle R; OWNED of its nodes (row by row) carry its label; every node
  // of the rectangle gets DIFF.
  uint8_t AddRegion(RegionRect r, int owned = -1, int16_t diff = 200) {
    const uint8_t i = num_++;
    rect_[i] = r;
    keep_[i] = 300;
    int n = 0;
    for (int row = r.ubRowStart; row <= r.ubRowEnd; ++row) {
      for (int col = r.ubColStart; col <= r.ubColEnd; ++col) {
        const size_t k = static_cast<size_t>(row) * cols_ + col;
        diff_[k] = diff;
        if (owned < 0 || n < owned) label_[k] = i;
        ++n;
      }
    }
    return i;
  }
  // Union INDEX of the water table live with rectangle R.
  static void AddWaterUnion(uint8_t index, RegionRect r) {
    gstWaterState.astUnion[index].label = static_cast<uint8_t>(index + 1);
    gstWaterState.astUnion[index].rect = r;
  }
  // Diff DIFF over the nodes of R (the component confirmation's foreground).
  void Paint(RegionRect r, int16_t diff = 200) {
    for (int row = r.ubRowStart; row <= r.ubRowEnd; ++row) {
      for (int col = r.ubColStart; col <= r.ubColEnd; ++col) diff_[static_cast<size_t>(row) * cols_ + col] = diff;
    }
  }
  LargeAreaInput Input() {
    LargeAreaInput in;
    memset(&in, 0, sizeof(in));
    in.uwNodeNum = static_cast<uint16_t>(rows_ * cols_);
    in.ubModeB = 1;
    in.ubHoldDecrement = 1;
    in.ubKeepCount = 1;
    in.ubRows = rows_;
    in.ubCols = cols_;
    in.pubLabelMap = label_.data();
    in.ubEnable = 1;
    in.ubSpanEnable = 1;
    in.pswDiff = diff_.data();
    in.uwTouchThreshold = 100;
    in.ubRegionNum = num_;
    in.ubExtraMargin = 30;
    in.ubComponentSize = 12;
    in.swComponentThr = 50;
    in.puwKeep = keep_;
    in.puwNodeCount = counts_;
    in.pstRect = rect_;
    in.ubHeld = held_;
    in.pubScratch = scratch_.data();
    return in;
  }
  // One call with the record as the wrapper builds it, adjusted by EDIT; the held state
  // is carried to the next call as the wrapper carries it.
  template <typename Edit>
  LargeAreaInput Run(Edit edit) {
    LargeAreaInput in = Input();
    edit(in);
    RegionLargeAreaProc(&in);
    held_ = in.ubHeld;
    return in;
  }
  LargeAreaInput Run() {
    return Run([](LargeAreaInput&) {});
  }

  uint8_t rows_ = 0, cols_ = 0, num_ = 0, held_ = 0;
  std::vector<int16_t> diff_;
  std::vector<uint8_t> label_;
  std::vector<uint8_t> scratch_;  // exactly what the component confirmation may use
  RegionRect rect_[kRegionMax];
  uint16_t keep_[kRegionMax];
  uint16_t counts_[kRegionMax];
};

}  // namespace regiontest
