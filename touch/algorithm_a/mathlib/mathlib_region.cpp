// Region search: seeds at local peaks of an s16 map, regions grown breadth-first with
// acceptance thresholds that are fractions (64ths) of the node being expanded.
#include <cstring>

#include "mathlib_impl.h"

namespace {

using mathlib::Status;

constexpr uint8_t kNoLabel = 255;
constexpr uint32_t kQueueSlots = 30;   // pending strong members; the surplus is labelled, not grown
constexpr uint32_t kRecordedRegions = 15;

// rows and columns are bytes, so any map the record can name has 16-bit node indexes.
static_assert(255u * 255u <= kLibRegionMaxNodes);

struct Node {
  uint8_t ubRow;
  uint8_t ubCol;
};

class Search {
 public:
  Search(const int16_t* pswMap, const RegionSearchParam& stParam)
      : pswMap_(pswMap), pubLabels_(stParam.pubLabelMap), stParam_(stParam), rows_(stParam.ubRows), cols_(stParam.ubCols) {}

  int32_t At(int32_t r, int32_t c) const { return pswMap_[r * cols_ + c]; }
  bool Inside(int32_t r, int32_t c) const { return r >= 0 && r < rows_ && c >= 0 && c < cols_; }
  uint8_t& Label(int32_t r, int32_t c) { return pubLabels_[r * cols_ + c]; }

  // A seed is at or above the threshold and not below any neighbour; a neighbour outside
  // the map counts as the node itself.
  bool IsSeed(int32_t r, int32_t c) {
    if (Label(r, c) != kNoLabel) return false;
    const int32_t v = At(r, c);
    if (v < stParam_.swSeedThreshold) return false;
    for (int32_t dr = -1; dr <= 1; ++dr) {
      for (int32_t dc = -1; dc <= 1; ++dc) {
        if (Inside(r + dr, c + dc) && At(r + dr, c + dc) > v) return false;
      }
    }
    return true;
  }

  // Grows the region of label ubLabel from (r0, c0) into stRegion; returns its score.
  uint32_t Grow(int32_t r0, int32_t c0, uint8_t ubLabel, RegionSearchRecord& stRegion) {
    Label(r0, c0) = ubLabel;
    stRegion = RegionSearchRecord{static_cast<uint8_t>(r0), static_cast<uint8_t>(r0), static_cast<uint8_t>(c0),
                                  static_cast<uint8_t>(c0), static_cast<int16_t>(At(r0, c0)), static_cast<uint8_t>(r0),
                                  static_cast<uint8_t>(c0), 0, 1};
    uint32_t uiScore = 0;
    uint32_t uiCount = 1;
    Node astQueue[kQueueSlots];
    uint32_t uiHead = 0;
    uint32_t uiSize = 0;
    const auto push = [&](int32_t r, int32_t c) {
      if (uiSize < kQueueSlots) {
        astQueue[(uiHead + uiSize) % kQueueSlots] = Node{static_cast<uint8_t>(r), static_cast<uint8_t>(c)};
        ++uiSize;
      }
    };
    push(r0, c0);

    while (uiSize != 0) {
      const Node n = astQueue[uiHead];
      uiHead = (uiHead + 1) % kQueueSlots;
      --uiSize;
      const int32_t r = n.ubRow;
      const int32_t c = n.ubCol;
      const int32_t v = At(r, c);

      const uint32_t uiBorders = (r == 0) + (r == rows_ - 1) + (c == 0) + (c == cols_ - 1);
      // A node on every border is a one-node map: it scores nothing.
      uiScore = uiBorders == 4 ? 0 : uiScore + 2 * uiBorders;

      const auto frac = [v](uint8_t f) { return static_cast<int32_t>(static_cast<int16_t>(f * v / 64)); };
      const int32_t tS = frac(stParam_.ubSaddleFactor);
      const int32_t tDs = frac(stParam_.ubDiagStrongFactor);
      const int32_t tDw = frac(stParam_.ubDiagWeakFactor);
      const int32_t tOs = frac(stParam_.ubOrthStrongFactor);
      const int32_t tOw = frac(stParam_.ubOrthWeakFactor);

      const bool boLook = stParam_.uiLookAhead == 1;
      const int32_t up2 = boLook && r >= 2 ? At(r - 2, c) : -1;
      const int32_t left2 = boLook && c >= 2 ? At(r, c - 2) : -1;
      const int32_t right2 = boLook && c < cols_ - 2 ? At(r, c + 2) : -1;
      const int32_t down2 = boLook && r < rows_ - 2 ? At(r + 2, c) : -1;

      bool boAbove = false, boBelow = false, boLeft = false, boRight = false;
      const auto accept = [&](int32_t nr, int32_t nc, uint32_t uiAdd, bool boStrong) {
        Label(nr, nc) = ubLabel;
        uiScore += uiAdd;
        ++uiCount;
        if (boStrong) {
          push(nr, nc);
          if (At(nr, nc) > stRegion.swPeak) {
            stRegion.swPeak = static_cast<int16_t>(At(nr, nc));
            stRegion.ubPeakRow = static_cast<uint8_t>(nr);
            stRegion.ubPeakCol = static_cast<uint8_t>(nc);
          }
        }
        boAbove |= nr < r;
        boBelow |= nr > r;
        boLeft |= nc < c;
        boRight |= nc > c;
      };
      const auto free = [&](int32_t nr, int32_t nc) { return Inside(nr, nc) && Label(nr, nc) == kNoLabel; };
      const auto orth = [&](int32_t nr, int32_t nc, int32_t two) {
        if (!free(nr, nc)) return;
        const int32_t nv = At(nr, nc);
        if (nv > tOs) {
          accept(nr, nc, nv > v ? 6 : 3, true);
        } else if (nv > tOw && nv > two) {
          accept(nr, nc, 1, false);
        }
      };
      // A diagonal joins only across a valley-free saddle: both flanking orthogonal nodes
      // lower than the node and their halves summing above the saddle threshold.
      const auto diag = [&](int32_t dr, int32_t dc) {
        const int32_t nr = r + dr;
        const int32_t nc = c + dc;
        if (!free(nr, nc)) return;
        const int32_t a = At(nr, c);
        const int32_t b = At(r, nc);
        if (!(a < v && b < v && (a >> 1) + (b >> 1) > tS)) return;
        const int32_t nv = At(nr, nc);
        if (nv > tDs) {
          accept(nr, nc, 3, true);
        } else if (nv > tDw) {
          accept(nr, nc, 1, false);
        }
      };
      diag(-1, -1);
      orth(r - 1, c, up2);
      diag(-1, 1);
      orth(r, c - 1, left2);
      orth(r, c + 1, right2);
      diag(1, -1);
      orth(r + 1, c, down2);
      diag(1, 1);

      if (boAbove && r == stRegion.ubTop && stRegion.ubTop > 0) --stRegion.ubTop;
      if (boBelow && r == stRegion.ubBottom && stRegion.ubBottom < rows_ - 1) ++stRegion.ubBottom;
      if (boLeft && c == stRegion.ubLeft && stRegion.ubLeft > 0) --stRegion.ubLeft;
      if (boRight && c == stRegion.ubRight && stRegion.ubRight < cols_ - 1) ++stRegion.ubRight;
    }
    stRegion.uwScore = static_cast<uint16_t>(uiScore);
    stRegion.uwNodeCount = static_cast<uint16_t>(uiCount);
    return uiScore;
  }

  bool KeepShape(const RegionSearchRecord& stRegion) const {
    if (stParam_.uiKeepLines != 0) return true;
    const bool boRowLine = stRegion.ubTop == stRegion.ubBottom && stRegion.ubRight - stRegion.ubLeft >= 5;
    const bool boColLine = stRegion.ubLeft == stRegion.ubRight && stRegion.ubBottom - stRegion.ubTop >= 5;
    return !boRowLine && !boColLine;
  }

 private:
  const int16_t* pswMap_;
  uint8_t* pubLabels_;
  const RegionSearchParam& stParam_;
  int32_t rows_;
  int32_t cols_;
};

bool RowEnabled(const RegionSearchParam& stParam, uint32_t r) {
  return r < 32 ? ((stParam.uiRowMaskLow >> r) & 1u) != 0 : ((stParam.uiRowMaskHigh >> (r - 32)) & 1u) != 0;
}

bool Contains(const RegionSearchRecord& stRegion, uint32_t r, uint32_t c) {
  return r >= stRegion.ubTop && r <= stRegion.ubBottom && c >= stRegion.ubLeft && c <= stRegion.ubRight;
}

}  // namespace

uint32_t LibXpu2RegionSearch(const int16_t* pswMap, uint8_t* pubRegionCount, uint16_t* puwScoreTotal,
                             RegionSearchParam* pstParam, RegionSearchRecord* pstRegions) {
  if (pswMap == nullptr || pubRegionCount == nullptr || puwScoreTotal == nullptr || pstParam == nullptr ||
      pstRegions == nullptr || pstParam->pubLabelMap == nullptr) {
    return Status(kLibIdRegionSearch, kLibStatusNullPtr);
  }
  const RegionSearchParam stParam = *pstParam;
  // The row mask names 64 rows; a taller map has rows no bit can enable.
  if (stParam.ubRows > kLibRegionMaxRows) return Status(kLibIdRegionSearch, kLibStatusRange);

  const uint32_t rows = stParam.ubRows;
  const uint32_t cols = stParam.ubCols;
  const uint32_t uiMax = stParam.ubMaxRegions;
  for (uint32_t i = 0; i < uiMax; ++i) pstRegions[i] = RegionSearchRecord{255, 255, 255, 255, 0, 255, 255, 0, 0};
  memset(stParam.pubLabelMap, kNoLabel, rows * cols);

  Search search(pswMap, stParam);
  uint32_t uiLabel = 0;
  uint32_t uiTotal = 0;
  for (uint32_t r = 0; r < rows && uiLabel < uiMax; ++r) {
    if (!RowEnabled(stParam, r)) continue;
    for (uint32_t c = 0; c < cols && uiLabel < uiMax; ++c) {
      if (!search.IsSeed(static_cast<int32_t>(r), static_cast<int32_t>(c))) continue;
      RegionSearchRecord stRegion;
      uiTotal += search.Grow(static_cast<int32_t>(r), static_cast<int32_t>(c), static_cast<uint8_t>(uiLabel), stRegion);
      // A rejected line keeps its label on its nodes; the next region reuses the label and
      // the final relabelling sorts the nodes out by box.
      if (!search.KeepShape(stRegion)) continue;
      if (uiLabel < kRecordedRegions) pstRegions[uiLabel] = stRegion;
      ++uiLabel;
    }
  }

  *pubRegionCount = static_cast<uint8_t>(uiLabel);
  *puwScoreTotal = static_cast<uint16_t>(uiTotal);
  const uint32_t uiRecorded = uiLabel < kRecordedRegions ? uiLabel : kRecordedRegions;
  for (uint32_t r = 0; r < rows; ++r) {
    for (uint32_t c = 0; c < cols; ++c) {
      uint8_t& ubLabel = stParam.pubLabelMap[r * cols + c];
      if (ubLabel == kNoLabel) continue;
      ubLabel = kNoLabel;
      for (uint32_t i = 0; i < uiRecorded; ++i) {
        if (Contains(pstRegions[i], r, c)) {
          ubLabel = static_cast<uint8_t>(i);
          break;
        }
      }
    }
  }
  return 0;
}
