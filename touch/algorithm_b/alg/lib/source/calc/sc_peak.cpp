// Local maxima and minima of a row-major 16-bit matrix, with counts above and below two
// levels and the matrix extremes. A flat top counts every node of it as a peak.
#include "luma_calc.h"

extern "C" {

void DrvCal_ScPeak(const LumaScPeakParam *param, LumaScPeakResult *result) {
  result->ucPosNum = 0;
  result->ucNegNum = 0;
  result->usHighCnt = 0;
  result->usLowCnt = 0;
  result->ssMin = 32767;
  result->ssMax = -32767;
  result->usMinPos = 0xFFFF;
  result->usMaxPos = 0xFFFF;
  const int rows = param->ucRows;
  const int cols = param->ucCols;
  if (rows == 0 || cols == 0) return;
  const int16_t *m = param->pssData;
  // Neighbours are bounded by the matrix handed in: a single line has no rows above or
  // below it to read.
  const auto at = [&](int r, int c) -> int16_t {
    if (r < 0 || r >= rows || c < 0 || c >= cols) return 0;
    return m[r * cols + c];
  };
  bool first = true;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const int16_t v = m[r * cols + c];
      const bool pos = v >= param->ssPosThr;
      const bool neg = v <= param->ssNegThr;
      if (pos || neg) {
        const bool last_col = c == cols - 1;
        const int16_t direct[4] = {at(r - 1, c), at(r + 1, c), at(r, c - 1), last_col ? v : at(r, c + 1)};
        const int16_t diagonal[4] = {at(r - 1, c - 1), at(r - 1, c + 1), at(r + 1, c - 1), at(r + 1, c + 1)};
        bool is_max = true;
        bool is_min = true;
        for (int16_t d : direct) {
          is_max = is_max && v >= d;
          is_min = is_min && v <= d;
        }
        if (param->ucMode == 1) {
          for (int16_t d : diagonal) {
            is_max = is_max && v >= d;
            is_min = is_min && v <= d;
          }
        }
        const auto word = static_cast<uint16_t>((r << 8) | c);
        if (pos && is_max && result->ucPosNum < param->ucMaxPeak) param->pusPosPeak[result->ucPosNum++] = word;
        if (neg && is_min && result->ucNegNum < param->ucMaxPeak) param->pusNegPeak[result->ucNegNum++] = word;
      }
      if (v >= param->ssHighLevel) ++result->usHighCnt;
      if (v <= param->ssLowLevel) ++result->usLowCnt;
      const auto where = static_cast<uint16_t>(r | (c << 8));
      if (first || v >= result->ssMax) {
        result->ssMax = v;
        result->usMaxPos = where;
      }
      if (first || v <= result->ssMin) {
        result->ssMin = v;
        result->usMinPos = where;
      }
      first = false;
    }
  }
}

}  // extern "C"
