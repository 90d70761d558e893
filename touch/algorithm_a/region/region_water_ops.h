#pragma once
// The operations of waterproof processing: the union operations, the wet-area statistics,
// the union build with its pair split, and the per-frame body with its network step.
#include <cstdint>

#include "region_water.h"

inline constexpr uint8_t kWaterLabelMax = 63;  // labels 1..63 per frame
inline constexpr uint8_t kWaterLabelSlots = 64;

#pragma pack(push, 1)
// What MatchUnionLabels keeps between its two runs. The best counts share their place with
// the union coverage of the pair split, which has finished by then.
struct WaterMatchWork {
  uint16_t auwBest[kWaterLabelSlots];
  uint8_t aubLabelUnion[kWaterLabelSlots];
};

// Wet-area statistics; 464 bytes, at the head of the mask buffer.
struct WetAreaStats {
  uint16_t negCount;
  uint16_t posCount;
  uint16_t negNearPos;
  uint16_t mixedCount;
  uint16_t negIsolated;
  uint16_t posIsolated;
  int16_t rowCorr;
  int16_t colCorr;
  uint8_t colSpan;
  uint8_t rowSpan;
  uint16_t holeRatio;
  // Signed: a positive node among positive neighbours gives a negative share, and an
  // unsigned reading would turn that into a large "negative surround".
  int16_t negAround;
  uint16_t changingCount;
  uint16_t steadyCount;
  uint16_t negSum;  // the three sums stop at 65535 rather than wrap
  uint16_t posSum;
  uint16_t mixedSum;
  // Positive rows, positive columns, negative rows, negative columns, packed by the grid.
  uint16_t auwProfile[2 * (52 + 56)];
};
static_assert(sizeof(WetAreaStats) == 464);
#pragma pack(pop)

// ---- Union operations -------------------------------------------------------------------
uint8_t RemoveWaterMarkedRegions(WaterproofInput* pstIn);
void FindRegionByWaterMark(const WaterproofInput* pstIn, uint16_t* puwKeep, uint32_t* puiRect, uint8_t ubMark);
void BoxSum3x3(uint16_t* puwMap, uint16_t* puwScratch, RegionRect stRect, uint8_t ubCols, uint8_t ubRows);
uint8_t JudgeRegionsSteady(const WaterproofInput* pstIn, RectDiffStats* pstStats, uint8_t ubMode);
uint8_t WaterSteadyCounter();
void MarkUnionNodes(uint8_t ubCols, uint8_t ubRows, const uint8_t* pubUnionMap, RegionRect stRect, uint8_t ubUnion);
uint8_t LabelNodeUnion(const uint8_t* pubNb, uint32_t uiNode, uint8_t ubLast, uint8_t* pubEquiv, uint8_t* pubLabels);
uint8_t WaterLabelRoot(const uint8_t* pubEquiv, uint8_t ubLabel);
void MatchUnionLabels(const WaterproofInput* pstIn, const uint16_t* puwSizes, const uint8_t* pubLabels,
                      const uint8_t* pubSlots, uint8_t* pubUnionLabel, WaterMatchWork* pstWork, uint8_t ubReset);
void CountUnionRiseRows(const WaterproofInput* pstIn, uint8_t ubUnion);
uint8_t ArmUnionFromSlotDip(const WaterproofInput* pstIn);
uint8_t JudgeProfileSplit(const WaterproofInput* pstIn, const int16_t* pswProfile, uint8_t ubAxis, RegionRect stRect,
                          RegionRect stRef, uint8_t* pubOut);
void FindUnionPeakRect(const WaterproofInput* pstIn, uint8_t ubUnion, uint8_t ubSlot, uint8_t ubMode,
                       const int16_t* pswScore, uint16_t* puwPeak, uint32_t* puiRect);
void FindUnionSlotPeakRect(const WaterproofInput* pstIn, uint8_t ubUnion, const int16_t* pswScore, uint16_t* puwPeak,
                           uint32_t* puiRect);

// ---- Wet-area statistics ----------------------------------------------------------------
void CalcWetAreaStats(const WaterproofInput* pstIn, WetAreaStats* pstStats, uint16_t* puwScratch);
uint8_t JudgeWetArea(const WetAreaStats* pstStats, uint8_t ubFlag);

// ---- Union build and pair split ---------------------------------------------------------
// Scratch of the union build. It is module-global rather than carved from the caller's mask
// buffer: the buffer's size follows the grid, and on a small grid it is shorter than the
// fixed 64-label tables.
struct WaterBuildScratch {
  uint8_t aubLabel[kRegionMaxNodes];
  uint8_t aubEquiv[kWaterLabelSlots];
  uint16_t auwSize[kWaterLabelSlots];
  RegionRect astBox[kWaterLabelSlots];
  WaterMatchWork stWork;  // begins with the union coverage
  uint8_t aubUnionLabel[kWaterUnionMax];
};
extern WaterBuildScratch gstWaterBuildScratch;
uint8_t* WaterBuildUnions(WaterproofInput* pstIn);
void WaterPairSplit(WaterproofInput* pstIn, WaterBuildScratch* pstScr);
void WaterPairIdle();

// ---- Per-frame body ---------------------------------------------------------------------
uint64_t WaterproofProc(WaterproofInput* pstIn);
// Neighbourhood value: the node and its four direct neighbours over five, the one existing
// neighbour counted twice at the grid edge.
int32_t WaterNeighbourValue(const int16_t* pswMap, uint8_t ubRows, uint8_t ubCols, int32_t r, int32_t c);
// Whether RECT holds a finger's peak: a node whose own diff exceeds PEAKLEVEL and whose
// neighbourhood value exceeds BODYLEVEL. The wet-area removal keeps exactly such regions.
bool WaterFingerPeakIn(const int16_t* pswMap, uint8_t ubRows, uint8_t ubCols, RegionRect stRect, int32_t peakLevel,
                       int32_t bodyLevel);

// The core's wrapper: builds the call record from the module records and writes the
// results back.
void WaterproofProcWrapper();

// Small grid helpers shared by the water files.
inline uint32_t WaterRectNodes(RegionRect r) {
  if (r.ubRowStart > r.ubRowEnd || r.ubColStart > r.ubColEnd) return 0;
  return static_cast<uint32_t>(r.ubRowEnd - r.ubRowStart + 1) * (r.ubColEnd - r.ubColStart + 1);
}
inline bool WaterRectOverlap(RegionRect a, RegionRect b) {
  return a.ubRowStart <= b.ubRowEnd && b.ubRowStart <= a.ubRowEnd && a.ubColStart <= b.ubColEnd &&
         b.ubColStart <= a.ubColEnd;
}
inline bool WaterUnionLive(const WaterUnion& u) { return u.label != kWaterUnionFree; }
// A freed union: all zero but for its label.
void WaterUnionFree(WaterUnion& u);
