#pragma once
// Floating region combination: merges neighbouring weak regions of the region record into
// one when their joint profiles still show a single peak and their union is not mostly
// negative (a finger on an ungrounded device that split into several regions).
#include <cstddef>
#include <cstdint>

#include "region_lib.h"
#include "region_records.h"
#include "vendor_export.h"

#pragma pack(push, 1)

// The record of one call, built by its wrapper.
//
// The two single-peak tests read a profile laid out like the self data (one value per row,
// then one per column: the column test indexes it at rows + column), while the negative
// counts read a row-major node map. One map cannot be both, so the record carries the two
// separately: pswProfile for the single-peak tests (the self diff) and pswNodeMap for the
// negative counts (the mutual diff).
struct FloatCombineInput {
  uint8_t ubMode;               // 0   1: merge neighbouring regions (the only mode built)
  uint8_t ubElongation;         // 1   0 none, 1 long across columns, 2 long across rows
  uint8_t ubMainRowSpan;        // 2   255 = not measured
  uint8_t ubMainColSpan;        // 3
  uint8_t ubRows;               // 4
  uint8_t ubCols;               // 5   row stride of the node map
  uint16_t uwNegThreshold;      // 6   a node is negative below -(this / 2)
  uint8_t ubRefCountLimit;      // 8   second mode only
  uint8_t* pubRefFlags;         // 9   second mode only
  uint32_t* puiRefRects;        // 17  second mode only
  int16_t* pswNodeMap;          // 25  row-major: the negative counts
  int16_t* pswProfile;          // 33  rows, then columns: the single-peak tests
  RegionRect* pstRect;          // 41
  uint16_t* puwKeep;            // 49  0 = empty slot, larger = stronger
  uint16_t* puwSecond;          // 57  moved with the rectangles
  uint16_t* puwThird;           // 65  moved with the rectangles
  uint8_t* pubLabelMap;         // 73
  uint8_t ubCount;              // 81  in/out
};
static_assert(sizeof(FloatCombineInput) == 82);
static_assert(offsetof(FloatCombineInput, uwNegThreshold) == 6);
static_assert(offsetof(FloatCombineInput, pubRefFlags) == 9);
static_assert(offsetof(FloatCombineInput, pswNodeMap) == 25);
static_assert(offsetof(FloatCombineInput, pswProfile) == 33);
static_assert(offsetof(FloatCombineInput, pstRect) == 41);
static_assert(offsetof(FloatCombineInput, pubLabelMap) == 73);
static_assert(offsetof(FloatCombineInput, ubCount) == 81);

#pragma pack(pop)

// The combination; changes the region arrays and the count in place.
VENDOR_EXPORT void RegionFloatCombine(FloatCombineInput* pstIn);
