#pragma once
// Quick reference update: blobs in the mutual difference that are residues of the reference
// (ghosts) are found among persistent touch-like objects, checked on an LCD-noise-cleaned
// map, corrected in the reference at once, and for a while the whole reference is pulled
// halfway to the raw level outside the touches.
#include <cstddef>
#include <cstdint>

#include "vendor_export.h"

inline constexpr uint8_t kQuickRefObjects = 12;
inline constexpr uint8_t kQuickRefObjectFree = 255;  // age byte of a free entry
inline constexpr uint8_t kQuickRefRequest = 12;      // mutual request: clean-up without copying

struct QuickRefModule {
  uint8_t ubActive;
  uint8_t ubFrameCnt;        // saturates at 15
  uint8_t ubConfirmCnt;
  uint16_t uwLevelCountdown; // largest mean ghost level seen; runs down by the tick
  uint8_t ubInitDone;        // 1 after QuickRefUpdateInit
};

#pragma pack(push, 1)
// One tracked object, 18 bytes.
struct QuickRefObject {
  uint32_t uiRect;           // 0 packed rectangle
  uint8_t ubPersist;         // 4 frames matched; examined at 5 or more
  uint8_t ubRecheck;         // 5
  uint8_t ubAge;             // 6 255 = free
  int16_t swPeak;            // 7 recorded signed extreme
  uint16_t uwMean;           // 9 recorded mean magnitude
  uint8_t ubTouchSlot;       // 11 touch matched in the last frame, 255 = none
  uint8_t ubMatched;         // 12 matched in this frame
  uint8_t aubRes[5];         // 13
};
#pragma pack(pop)
static_assert(sizeof(QuickRefObject) == 18);

struct QuickRefUpdateInput {
  uint8_t ubLargeTouch;
  uint16_t uwStatus;
  uint16_t uwSpare;
  uint8_t ubNoise;
  uint8_t ubTouchCount;
  uint16_t uwTick;
  uint8_t ubRows;
  uint8_t ubCols;
  uint8_t ubLowTempState;
  uint8_t* pubNetBuffer;
  uint8_t* pubShakeList;
  const uint16_t* puwTouchValues;  // 12, 0 = not in use
  uint16_t* puwRef;
  const uint16_t* puwRaw;
  uint16_t* puwScratch;            // node count entries
  uint16_t uwNodes;
  const int16_t* pswDiff;
  int16_t swMaxDiff;
  int16_t swMinDiff;
  uint16_t uwMaskThreshold;
  uint16_t uwThreshold2;
  const uint32_t* puiTouchRects;   // 12 packed rectangles
  uint8_t ubRequest;               // out
};

struct RegionRefUpdateRecord {
  int16_t* pswMap;                 // in/out
  const int16_t* pswSecond;
  uint8_t ubRows;
  uint8_t ubCols;
  uint8_t ubWeight;                // w: first map x (16 - w) / 16 + second map x w / 16
};

extern QuickRefModule gstQuickRefUpdateModule;
extern QuickRefObject gastQuickRefObject[kQuickRefObjects];

void QuickRefUpdateInit();
void QuickRefUpdate(QuickRefUpdateInput* pstIn);
void RegionRefUpdate(RegionRefUpdateRecord* pstRec, uint64_t ullRowMask, uint64_t ullColMask, uint8_t ubMode);
void RectToMasks(uint32_t uiRect, uint8_t ubRows, uint8_t ubCols, uint64_t* pullRowMask, uint64_t* pullColMask,
                 uint8_t ubNoGrow);
VENDOR_EXPORT void UpdateRectRef(uint32_t uiRect, uint16_t* puwRef, const int16_t* pswDiff, uint8_t ubCols,
                                 uint8_t ubRows);
