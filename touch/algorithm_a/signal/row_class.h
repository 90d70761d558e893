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
