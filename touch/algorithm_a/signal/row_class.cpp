// Row classification routines: running-median baseline and flag runs. No allocation: the
// histogram and the lists live on the stack or in the caller's buffers.
#include "row_class.h"

#include <cstring>

int16_t gswMaxMedian;
int16_t gswMinMedian;

namespace {
constexpr uint32_t kBins = 32;
constexpr int32_t kFlatRange = 33;  // rows with a smaller range are their own baseline
constexpr int32_t kMaxBinIndexRange = 63;
}  // namespace

void GetMaxMinValue(const int16_t* pswValues, int16_t* pswMax, int16_t* pswMin, uint16_t uwCount, uint8_t ubStep) {
  int16_t swMax = -32767, swMin = 32767;
  const uint32_t uiStep = ubStep == 0 ? 1 : ubStep;
  for (uint32_t i = 0; i < uwCount; i += uiStep) {
    if (pswValues[i] > swMax) swMax = pswValues[i];
    if (pswValues[i] < swMin) swMin = pswValues[i];
  }
  *pswMax = swMax;
  *pswMin = swMin;
}

void RowRunningMedian(const int16_t* pswRow, int16_t* pswOut, uint16_t* puwBinWidth, uint8_t ubHalf, uint8_t ubWidth,
                      uint8_t /*ubFlag*/) {
  if (ubWidth == 0) {
    *puwBinWidth = 0;
    return;
  }
  int16_t swMax, swMin;
  GetMaxMinValue(pswRow, &swMax, &swMin, ubWidth, 1);
  const int32_t iRange = static_cast<int32_t>(swMax) - swMin + 1;
  if (iRange < kFlatRange) {
    memmove(pswOut, pswRow, ubWidth * sizeof(int16_t));
    *puwBinWidth = 0;
    return;
  }
  uint32_t k = 0;
  while ((iRange >> k) > kMaxBinIndexRange) ++k;
  const int32_t w = 1 << k;
  *puwBinWidth = static_cast<uint16_t>(w);
  const int32_t h = ubHalf;
  // The output may be the input row; the nodes entering the window are then read from a
  // copy of it.
  int16_t aswCopy[256];
  const int16_t* pswSrc = pswRow;
  if (pswOut == pswRow) {
    memcpy(aswCopy, pswRow, ubWidth * sizeof(int16_t));
    pswSrc = aswCopy;
  }
  auto binSrc = [&](int32_t i) {
    const int32_t j = i < 0 ? 0 : (i >= ubWidth ? ubWidth - 1 : i);  // the ends repeat
    return static_cast<uint32_t>((static_cast<int32_t>(pswSrc[j]) - swMin) >> (k + 1));
  };
  uint16_t auwHist[kBins] = {};
  for (int32_t i = -h; i <= h; ++i) ++auwHist[binSrc(i)];
  int16_t swOutMax = -32768, swOutMin = 32767;
  for (int32_t x = 0; x < ubWidth; ++x) {
    if (x > 0) {
      --auwHist[binSrc(x - 1 - h)];
      ++auwHist[binSrc(x + h)];
    }
    uint32_t uiCum = 0, j = 0;
    for (; j < kBins; ++j) {
      uiCum += auwHist[j];
      if (uiCum > static_cast<uint32_t>(h)) break;
    }
    const auto swRep = static_cast<int16_t>(swMin + w + 2 * w * static_cast<int32_t>(j));
    pswOut[x] = swRep;
    if (swRep > swOutMax) swOutMax = swRep;
    if (swRep < swOutMin) swOutMin = swRep;
  }
  gswMaxMedian = swOutMax;
  gswMinMedian = swOutMin;
}

void FindFlagRuns(uint8_t* pubStarts, uint8_t* pubEnds, uint8_t* pubLastStart, uint8_t* pubLastEnd,
                  const uint8_t* pubFlags, uint8_t ubStep, uint8_t ubCount) {
  memset(pubStarts, kNoRun, kMaxFlagRuns);
  memset(pubEnds, kNoRun, kMaxFlagRuns);
  const uint32_t uiStep = ubStep == 0 ? 1 : ubStep;
  uint32_t uiStarts = 0, uiEnds = 0;
  for (uint32_t i = 0; i < ubCount; i += uiStep) {
    if (pubFlags[i] != 1) continue;
    if ((i == 0 || pubFlags[i - uiStep] == 0) && uiStarts < kMaxFlagRuns) pubStarts[uiStarts++] = static_cast<uint8_t>(i);
    const bool boLast = i + uiStep >= ubCount;
    if ((boLast || pubFlags[i + uiStep] == 0) && uiEnds < kMaxFlagRuns) pubEnds[uiEnds++] = static_cast<uint8_t>(i + uiStep);
  }
  *pubLastStart = static_cast<uint8_t>(uiStarts - 1);  // 255 when none
  *pubLastEnd = static_cast<uint8_t>(uiEnds - 1);
}
