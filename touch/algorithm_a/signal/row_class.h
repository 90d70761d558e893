#pragma once
// Row classification routines of the denoise: a running-median baseline per row and the
// search for runs of flagged nodes.
#include <cstdint>

inline constexpr uint8_t kMaxFlagRuns = 28;  // the most runs that 56 columns allow
inline constexpr uint8_t kNoRun = 255;

// Bounds of the last running median that formed a histogram.
extern int16_t gswMaxMedian;
extern int16_t gswMinMedian;

void RowRunningMedian(const int16_t* pswRow, int16_t* pswOut, uint16_t* puwBinWidth, uint8_t ubHalf, uint8_t ubWidth,
                      uint8_t ubFlag);
void FindFlagRuns(uint8_t* pubStarts, uint8_t* pubEnds, uint8_t* pubLastStart, uint8_t* pubLastEnd,
                  const uint8_t* pubFlags, uint8_t ubStep, uint8_t ubCount);
void GetMaxMinValue(const int16_t* pswValues, int16_t* pswMax, int16_t* pswMin, uint16_t uwCount, uint8_t ubStep);

// The row settings the baseline correction reads from the caller's row state.
struct RowClassSettings {
  uint8_t ubWidth;
  uint8_t ubStep;
  uint8_t ubBackground;  // cluster index of the row's background
  uint8_t ubLargeTouch;  // shift count of the edge threshold
  uint8_t ubWater;       // non-zero: every cluster change is an edge
};

// Three-level clustering of every STEP-th of COUNT values into low (0), middle (1) and
// upper (2); CLIP > 0 limits the values to +-(CLIP + 256); MIDDLE_HINT 32767 = none.
void ClusterThreeLevels(const int16_t* pswValues, uint8_t* pubIds, int16_t* pswCentres, uint16_t* puwCounts,
                        uint16_t uwCount, uint8_t ubStep, uint16_t uwClip, int16_t swMiddleHint);
// Near clusters join the middle one: when L + 50 > C, low values above C - 100; when
// C + 30 > U, upper values below C + 30. The sizes follow.
void MergeNearClusters(const int16_t* pswValues, uint8_t* pubIds, const int16_t* pswCentres, uint16_t* puwCounts,
                       uint8_t ubRows, uint8_t ubCols);
// Fills the entries strictly between START and END of a profile of LENGTH values: inside,
// the straight line from values[START] to values[END] in steps of the difference times the
// Q10 reciprocal of the distance; past an edge (START < 0 or END > LENGTH - 1) by point
// reflection about the last valid value for up to 5 entries, then by repeating the fifth.
void FillProfileGap(int16_t* pswValues, int8_t scStart, int8_t scEnd, uint8_t ubLength);
// TARGET[k x STEP] -= the [1 6 1] / 8 smoothing of SOURCE at k ([7 1] / 8 at the ends).
void SubtractSmoothedProfile(uint16_t* puwTarget, const int16_t* pswSource, uint16_t uwCount, uint8_t ubStep);
// Under a touch the baseline takes the background centre; runs of off-background nodes
// are joined, bounded by edge marks, or dropped.
void CorrectBaselineByCluster(const int16_t* pswRow, int16_t* pswBaseline, const int16_t* pswNeighbourDiff,
                              const uint8_t* pubIds, const int16_t* pswCentres, int16_t swThreshold,
                              uint8_t* pubEdgeMarks, const RowClassSettings* pstRow);
