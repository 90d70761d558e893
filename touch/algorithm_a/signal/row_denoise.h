#pragma once
// Row-by-row touch classification of a diff map (or of one self group as a one-row map):
// which rows are free of touch, how noisy each row is, a baseline per row corrected under
// a touch, and a mark per node (free, touched, markedly negative).
#include <cstdint>

inline constexpr uint8_t kNodeFree = 255;
inline constexpr uint8_t kNodeTouched = 0;
inline constexpr uint8_t kNodeNegative = 4;

// Self-group flag of the block: the mutual map, or one self group.
inline constexpr uint8_t kRowDenoiseMutual = 0;
inline constexpr uint8_t kRowDenoiseSelf = 2;

// Built by the caller on its stack for one call. The map is only read: a tilted row is
// worked on in the backup column array.
struct RowDenoiseBlock {
  const int16_t* pswMap;            // rows x width
  const int16_t* pswNeighbourDiff;  // d[c] = v[c] - v[c + 1], the last column repeating the one before
  const uint16_t* puwRef;           // mutual reference and raw maps for the trend flag; null for a self group
  const uint16_t* puwRaw;
  int16_t* pswBaseline;   // 56 values
  int16_t* pswWorkA;      // working copy of the current row (tilted in place)
  int16_t* pswWorkB;      // short-window median
  int16_t* pswWorkC;      // corrected neighbour-difference magnitudes of the row
  uint16_t* puwMedianOut;    // per row
  uint16_t* puwSelfAux;      // unused by both callers
  uint8_t* pubNodeMask;      // per node
  uint8_t* pubRowTouch;      // per row, 255 = free of touch
  uint8_t* pubRowClass;      // per row, 0..5
  uint8_t* pubFreeCount;     // per row
  uint8_t* pubNoiseLevel;    // largest row class
  uint8_t* pubTrend;         // per row, cleared by the caller
  const uint8_t* pubPrevFree;  // free counts of the previous run; null for a self group
  const uint16_t* puwLevel;    // per-row noise levels; null for a self group
  uint8_t ubPass;
  uint8_t ubRows;
  uint8_t ubWidth;
  uint8_t ubStep;
  uint8_t ubTouchNum;
  uint8_t ubRescueBlock;  // non-zero bars the edge-column rescue
  uint8_t ubLastSuspend;
  uint8_t ubDiffMode;
  uint16_t uwRescueLowerBound;
  uint8_t ubSelfGroup;
  uint8_t ubLargeTouch;
  uint8_t ubWater;
  uint8_t ubAfe;
};

// Slope of a baseline sloping steadily from its first to its last value (first - last at
// least 135): the mean step of the neighbour pairs within a tolerance set by the drop and
// the bin width BIN. 0 when the row does not qualify or the slope exceeds 29.
int32_t RowTiltSlope(const int16_t* pswBase, uint8_t ubWidth, uint8_t ubStep, uint16_t uwBin);
void RowDenoiseBody(const RowDenoiseBlock* pstBlock);
// In place of the body after the denoise network: the whole map clustered at once, its
// middle cluster taken as every row's background.
void LcdDenoiseNetPost(const RowDenoiseBlock* pstBlock);
