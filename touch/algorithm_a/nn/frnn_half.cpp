// IEEE 754 binary16 conversions: round to nearest even, no flush to zero, infinities and
// NaNs kept. Done on the bit patterns, so the result never depends on the host's modes.
#include <cmath>
#include <cstring>

#include "frnn_internal.h"

namespace {
uint32_t suiNoTruncateFlag;
}

float HalfToSingleOnce(uint16_t h) { return HF(h); }

uint16_t SingleToHalfOnce(float f) { return FH(f); }

uint16_t DoubleToHalfOnce(double d) {
  if (std::isnan(d)) {
    uint64_t u;
    memcpy(&u, &d, 8);
    const uint16_t uwSign = static_cast<uint16_t>((u >> 48) & 0x8000u);
    return static_cast<uint16_t>(uwSign | 0x7E00u | ((u >> 42) & 0x3FFu));
  }
  const uint16_t uwSign = std::signbit(d) ? 0x8000u : 0u;
  const double a = std::fabs(d);
  if (a >= 65520.0) return static_cast<uint16_t>(uwSign | 0x7C00u);
  if (a < 6.103515625e-05) {
    // Scaling by a power of two is exact; rint rounds to nearest even once.
    return static_cast<uint16_t>(uwSign | static_cast<uint16_t>(std::rint(a * 16777216.0)));
  }
  int e = 0;
  (void)std::frexp(a, &e);  // a = m x 2^e, m in [0.5, 1)
  double m = std::rint(std::ldexp(a, 11 - e));  // 1024 .. 2048
  int biased = e - 1 + 15;
  if (m >= 2048.0) {
    m = 1024.0;
    ++biased;
  }
  if (biased >= 31) return static_cast<uint16_t>(uwSign | 0x7C00u);
  return static_cast<uint16_t>(uwSign | (biased << 10) | (static_cast<uint32_t>(m) - 1024u));
}

uint32_t SingleToHalf(const float* pfIn, uint16_t* puwOut, int32_t count) {
  if (pfIn == nullptr || puwOut == nullptr) return FRNN_OK;
  for (int32_t j = 0; j < count; ++j) puwOut[j] = SingleToHalfOnce(pfIn[j]);
  return FRNN_OK;
}

uint32_t DoubleToHalf(const double* pdIn, uint16_t* puwOut, int32_t count) {
  if (pdIn == nullptr || puwOut == nullptr) return FRNN_OK;
  for (int32_t j = 0; j < count; ++j) puwOut[j] = DoubleToHalfOnce(pdIn[j]);
  return FRNN_OK;
}

uint32_t HalfToSingle(const uint16_t* puwIn, float* pfOut, int32_t count) {
  if (puwIn == nullptr || pfOut == nullptr) return FRNN_ERR_NULL;
  for (int32_t j = 0; j < count; ++j) pfOut[j] = HalfToSingleOnce(puwIn[j]);
  return FRNN_OK;
}

uint32_t FrnnNoTruncateToF16Flag(uint32_t flag) {
  suiNoTruncateFlag = flag;
  return suiNoTruncateFlag;
}
