// Long big-thumb judgement: all regions of the frame taken together; when they form one
// large single-peaked contact the verdict holds for up to 100 frames, a frame with two
// peaks blocks it for 199. A narrow band off the centre gives a verdict of its own.
#include <algorithm>
#include <cstring>

#include "mathlib.h"
#include "region.h"
#include "region_lib.h"
#include "region_proc.h"
#include "region_small.h"

LongBigThumbState gstLongBigThumb;

namespace {

// Row sums then column sums of the diff map over the union of the frame's regions. The
// projections are the stage's own (nothing else reads them), so they live here rather than
// in a shared work buffer another stage of the frame may be using.
int16_t gaswThumbProjection[2 * UINT8_MAX];

constexpr uint8_t kThumbHold = 100;
constexpr uint8_t kThumbBlock = 199;
constexpr uint8_t kNarrowHold = 50;
constexpr uint8_t kNarrowBlock = 200;

uint8_t Cfg(uint32_t at) { return gstLongThumbCfg.aubData[at]; }

void Project(RegionRect u, uint8_t ubRows, uint8_t ubCols, const int16_t* pswDiff) {
  memset(gaswThumbProjection, 0, sizeof(int16_t) * (static_cast<size_t>(ubRows) + ubCols));
  if (pswDiff == nullptr || !RectValidOn(u, ubRows, ubCols)) return;
  const uint16_t uwWidth = static_cast<uint16_t>(u.ubColEnd - u.ubColStart + 1);
  const uint16_t uwHeight = static_cast<uint16_t>(u.ubRowEnd - u.ubRowStart + 1);
  // The line sums go through the math library, so its statistics record holds the sum,
  // minimum and maximum of the last line summed, as the diff-data routines expect.
  for (uint32_t r = u.ubRowStart; r <= u.ubRowEnd; ++r) {
    LibVpuStatisticS16(pswDiff + r * ubCols + u.ubColStart, uwWidth, 0, 1);
    gaswThumbProjection[r] = static_cast<int16_t>(LibVpuGetAcc());
  }
  const uint16_t uwGap = static_cast<uint16_t>((ubCols - 1) * sizeof(int16_t));
  for (uint32_t c = u.ubColStart; c <= u.ubColEnd; ++c) {
    LibVpuStatisticOffsetS16(pswDiff + u.ubRowStart * ubCols + c, uwHeight, uwGap);
    gaswThumbProjection[ubRows + c] = static_cast<int16_t>(LibVpuGetAcc());
  }
}

}  // namespace

void LongBigThumbProc() {
  if (Cfg(0) == 0) return;
  LongBigThumbState& s = gstLongBigThumb;
  const MutualRegionSet& m = gstMutualRegion;
  const uint8_t ubRows = gstCommon.ubDrvNum;
  const uint8_t ubCols = gstCommon.ubSenNum;
  RegionRect U = RegionRectFromWord(kRegionRectEmptyBound);
  RegionRect V = U;
  const uint8_t ubCount = std::min(m.ubRegionNum, kRegionMax);
  int32_t n = ubCount;
  bool boCentre = false;
  for (uint8_t i = 0; i < ubCount; ++i) {
    if (m.auwPeak[i] == 0) continue;
    GetTwoRegionCombineSide(&U, m.astRect[i]);
    memcpy(gstCommon.aubWorkRect, &U, sizeof(U));
    if (ubCols * 3 / 8 < U.ubColStart && U.ubColStart < ubCols * 5 / 8) boCentre = true;
    const bool boRowEdge = U.ubRowStart == 0 || U.ubRowEnd + 1 == ubRows;
    const bool boColEdge = U.ubColStart == 0 || U.ubColEnd + 1 == ubCols;
    if (boRowEdge && U.ubRowEnd - U.ubRowStart < 4) {
      --n;
    } else if (boColEdge && U.ubColEnd - U.ubColStart < 3) {
      --n;
    } else {
      GetTwoRegionCombineSide(&V, m.astRect[i]);
    }
  }
  Project(U, ubRows, ubCols, gstCommon.stData.pswDiffData);

  bool boBlock = false;  // step 7b: a shape that is not one contact
  // n counts only regions that joined V; V stays empty when none did.
  if (n > 0 && V.ubRowStart <= V.ubRowEnd && V.ubColStart <= V.ubColEnd) {
    const uint8_t h = static_cast<uint8_t>(V.ubRowEnd - V.ubRowStart + 1);
    const uint8_t w = static_cast<uint8_t>(V.ubColEnd - V.ubColStart + 1);
    if (h < Cfg(3) && w > Cfg(4) && !boCentre && n <= 4) {
      s.ubNarrowHold = kNarrowHold;
    } else if (boCentre) {
      s.ubNarrowBlock = kNarrowBlock;
    }
    uint8_t ubShape = 3;
    if (n != 1) {
      const int16_t swThr = Cfg(5);
      const uint8_t c = RegionOnlyOneJudge(static_cast<uint16_t>(ubRows + V.ubColStart),
                                           static_cast<uint16_t>(ubRows + V.ubColEnd), swThr, 0, gaswThumbProjection);
      const uint8_t r = RegionOnlyOneJudge(V.ubRowStart, V.ubRowEnd, swThr, 0, gaswThumbProjection);
      if (r != 1) {
        boBlock = true;
      } else if (c != 1) {
        ubShape = 2;
      }
    }
    bool boThumb = false;
    if (!boBlock && ubShape == 3) {
      const uint16_t uwMaxLimit = static_cast<uint16_t>(Cfg(6) | (Cfg(7) << 8));
      boThumb = gstCommon.swDiffMax > uwMaxLimit && n <= 2 && h > Cfg(1) && w > Cfg(1) && h + w > Cfg(2);
      if (boThumb) s.ubThumbHold = kThumbHold;
    }
    if (!boBlock && !boThumb && !(n < 3 && ubShape == 3)) boBlock = true;
  }

  s.stUnion = U;
  s.ubResult = 0;
  if (boBlock) {
    s.ubThumbHold = 0;
    s.ubBlock = kThumbBlock;
  } else if (s.ubBlock == 0) {
    if (s.ubThumbHold != 0) {
      --s.ubThumbHold;
      s.ubResult = 1;
    }
  } else {
    s.ubThumbHold = 0;
    --s.ubBlock;
  }

  if (s.ubNarrowBlock != 0) {
    s.ubNarrowHold = 0;
    --s.ubNarrowBlock;
  } else if (s.ubNarrowHold != 0) {
    --s.ubNarrowHold;
    s.ubResult = 2;
  }
}
