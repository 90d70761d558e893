#pragma once
// Large-area check of region detection: decides once per frame whether the panel is covered
// by a large object (palm, cheek, flat hand) rather than by fingers, and holds that verdict
// for a configured number of frames. The stage's record is built by the core's wrapper
// (RegionLargeAreaProcWrapper); the thresholds come from the large-touch configuration
// section (gstLargeTouchCfg).
#include <cstddef>
#include <cstdint>

#include "region_lib.h"
#include "region_records.h"
#include "vendor_export.h"

// Bytes of gstLargeTouchCfg read by the check.
inline constexpr uint8_t kLargeCfgFlags = 0;         // bit 1 node-count test, bit 0 rectangle test
inline constexpr uint8_t kLargeCfgHoldFrames = 1;    // hold counter reload on a large frame
inline constexpr uint8_t kLargeCfgSideLimit = 3;
inline constexpr uint8_t kLargeCfgAreaLimit = 4;
inline constexpr uint8_t kLargeCfgRegionCount = 5;   // per-region owned-node threshold; strong nodes
inline constexpr uint8_t kLargeCfgTotalCount = 6;
inline constexpr uint8_t kLargeCfgSpanCount = 12;    // regions spanning the grid; 0 = off
inline constexpr uint8_t kLargeCfgRectCount = 13;    // owned nodes of the rectangle test
inline constexpr uint8_t kLargeCfgSelCount = 23;     // per-region threshold when selected
inline constexpr uint8_t kLargeCfgCountTest = 0x02;
inline constexpr uint8_t kLargeCfgRectTest = 0x01;

#pragma pack(push, 1)

// gstLargeRegionCheck: the working thresholds (loaded from the configuration, or set by the
// host) and the hold counter in the high byte of word 2.
struct LargeRegionCheck {
  uint16_t uwRegionCountThr;  // 0: word 0
  uint16_t uwTotalCountThr;   // 2: word 1
  uint16_t uwHoldWord;        // 4: word 2, high byte = hold counter
  uint16_t uwSideLimit;       // 6: word 3
  uint16_t uwAreaLimit;       // 8: word 4
};
static_assert(sizeof(LargeRegionCheck) == 10);
static_assert(offsetof(LargeRegionCheck, uwHoldWord) == 4);
static_assert(offsetof(LargeRegionCheck, uwAreaLimit) == 8);

// The stage's input/output record, built by the wrapper for every call.
struct LargeAreaInput {
  uint16_t uwNodeNum;           // 0   rows x columns
  uint8_t* pubScratch;          // 2   work buffer of the component confirmation
  uint8_t ubComponentSkip;      // 10
  uint8_t ubModeA;              // 11  A and B: extra margin, no rectangle test; A alone: clear all
  uint8_t ubModeB;              // 12
  uint8_t ubHoldDecrement;      // 13  taken off the hold counter every call
  uint8_t ubKeepCount;          // 14  the held verdict survives only while non-zero
  uint8_t ubRows;               // 15
  uint8_t ubCols;               // 16  row stride of every map
  uint8_t* pubLabelMap;         // 17  region index per node, 255 = none
  uint8_t ubEnable;             // 25  0 = off for the frame (hold counter cleared)
  uint8_t ubThresholdSelect;    // 26  per-region threshold from configuration byte 23
  uint8_t ubSpanEnable;         // 27
  int16_t swLatchCount;         // 28  the latch stays while this exceeds 99
  int16_t* pswDiff;             // 30  row-major
  uint16_t uwTouchThreshold;    // 38
  uint8_t ubFloatCounter;       // 40
  uint8_t ubCollapse;           // 41
  uint8_t ubRegionNum;          // 42
  uint8_t ubExtraMargin;        // 43
  uint8_t ubComponentSize;      // 44
  int16_t swComponentThr;       // 45
  uint8_t ubComponentEnable;    // 47
  uint16_t* puwKeep;            // 48  keep flags, 0 = empty slot
  uint16_t* puwNodeCount;       // 56  out: owned nodes per region (12 entries)
  RegionRect* pstRect;          // 64
  uint16_t uwTotal;             // 72  out
  uint8_t ubLarge;              // 74  out
  uint8_t ubHeld;               // 75  in/out
  uint8_t ubOversize;           // 76  out
  uint16_t uwMaxCount;          // 77  out
  uint16_t uwSumCount;          // 79  out
};
static_assert(sizeof(LargeAreaInput) == 81);
static_assert(offsetof(LargeAreaInput, pubScratch) == 2);
static_assert(offsetof(LargeAreaInput, ubComponentSkip) == 10);
static_assert(offsetof(LargeAreaInput, pubLabelMap) == 17);
static_assert(offsetof(LargeAreaInput, ubEnable) == 25);
static_assert(offsetof(LargeAreaInput, swLatchCount) == 28);
static_assert(offsetof(LargeAreaInput, pswDiff) == 30);
static_assert(offsetof(LargeAreaInput, uwTouchThreshold) == 38);
static_assert(offsetof(LargeAreaInput, ubRegionNum) == 42);
static_assert(offsetof(LargeAreaInput, swComponentThr) == 45);
static_assert(offsetof(LargeAreaInput, puwKeep) == 48);
static_assert(offsetof(LargeAreaInput, puwNodeCount) == 56);
static_assert(offsetof(LargeAreaInput, pstRect) == 64);
static_assert(offsetof(LargeAreaInput, uwTotal) == 72);
static_assert(offsetof(LargeAreaInput, ubLarge) == 74);
static_assert(offsetof(LargeAreaInput, uwMaxCount) == 77);
static_assert(offsetof(LargeAreaInput, uwSumCount) == 79);

// The tables of the component confirmation, kept in the record's scratch buffer right after
// the label image (one byte per node). Labels run 1..15; entry 0 is unused.
inline constexpr uint8_t kLargeComponentLabels = 16;
struct LargeComponentTables {
  uint8_t aubParent[kLargeComponentLabels];      // 0 = the label is a root
  uint16_t auwCount[kLargeComponentLabels];      // nodes of each root
  RegionRect astBox[kLargeComponentLabels];      // bounding box of each root
};
static_assert(sizeof(LargeComponentTables) == 112);
static_assert(offsetof(LargeComponentTables, auwCount) == 16);
static_assert(offsetof(LargeComponentTables, astBox) == 48);

#pragma pack(pop)

// What every caller that may enable the component confirmation hands as scratch: a label
// image of the largest grid, then the tables. The confirmation does not run on a grid whose
// label image would not fit.
inline constexpr uint32_t kLargeComponentScratchBytes = kRegionMaxNodes + sizeof(LargeComponentTables);

extern LargeRegionCheck gstLargeRegionCheck;
extern uint8_t gboLastLargeArea;   // verdict of the component confirmation of the last call
extern uint8_t gboWaterLargeBak;   // large touch latched: the water clear is skipped
// This frame's final verdict; LCD denoise starts its next run from it (defined there).
extern uint8_t gboLargeTouchStaBak;

// The owned-node count of each region, as the node-count test leaves it. The region record
// has no array of its own for them: its fourth array holds the waterproof values, which the
// waterproof stage reads and moves with the rectangles, so the counts are kept here.
extern uint16_t gauwLargeRegionNodeCount[kRegionMax];

// Loads the working thresholds from the configuration and clears the hold counter and the
// component verdict.
VENDOR_EXPORT void RegionLargeAreaInit(void);
// The host's thresholds: words 0, 1, 3 and 4; the hold counter is left alone.
VENDOR_EXPORT void SetLargeRegionTopsignThrd(uint16_t uwCountThr, uint16_t uwTotalThr, uint16_t uwSideLimit,
                                             uint16_t uwAreaLimit);
// The stage: the verdict and the held state go back through the record and the flags.
VENDOR_EXPORT void RegionLargeAreaProc(LargeAreaInput* pstIn);
// The hold and latch steps alone, on a record whose large field holds the verdict.
VENDOR_EXPORT void RegionLargeStaRct(LargeAreaInput* pstIn);
// The rectangle of the first live water union, packed (byte 0 row start, 1 row end, 2 column
// start, 3 column end): 1 and the rectangle when the union table is valid and some entry
// is live, else 0 with *puiRect untouched.
VENDOR_EXPORT uint8_t GetFirstWaterUnionRect(uint32_t* puiRect);

// The hold counter (high byte of word 2).
inline uint8_t LargeHoldCounter() { return static_cast<uint8_t>(gstLargeRegionCheck.uwHoldWord >> 8); }
