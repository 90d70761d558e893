// Small numeric routines the layers share: exponential approximations (scalar, 4-lane and
// fixed point), a fast square root, layout preferences and a few utilities.
#include <cmath>

#include "frnn_internal.h"

namespace {

constexpr float kExpBase = 2.7182817f;
constexpr float kLog2E = 1.4426950216f;  // 0x3FB8AA3B
constexpr float kTwo23 = 8388608.0f;
// The bit-construction exponentials: below -126 the exponent field would underflow and
// above 127 it would run into the sign bit (e^88.7 and up would come out negative).
constexpr float kBitExpMin = -126.0f;
constexpr float kBitExpMax = 127.0f;

float ExpSeries(float f) {
  // 1 + f + f^2/2 + ... + f^9/9!, term by term in single precision.
  float fSum = 1.0f;
  float fTerm = 1.0f;
  for (int j = 1; j <= 9; ++j) {
    fTerm = fTerm * f / static_cast<float>(j);
    fSum += fTerm;
  }
  return fSum;
}

constexpr uint32_t kLnSteps[][2] = {{181704, 4}, {90852, 2}, {45426, 1}};
constexpr uint32_t kLnFine[][2] = {{26573, 1}, {14624, 2}, {7719, 3}, {3973, 4}, {2017, 5}, {1016, 6}, {510, 7},
                                    {256, 8},   {128, 9},   {64, 10},  {32, 11},  {16, 12},  {8, 13},   {4, 14},
                                    {2, 15},    {1, 16}};

template <typename T>
T FixedExpCore(uint32_t x) {
  T r = 65536;
  if (x > 363408u) {
    x -= 363408u;
    r = 16777216;
  }
  for (const auto& s : kLnSteps) {
    if (x > s[0]) {
      x -= s[0];
      r <<= s[1];
    }
  }
  for (const auto& s : kLnFine) {
    if (x > s[0]) {
      x -= s[0];
      r += r >> s[1];
    }
  }
  return r;
}

// Refinement stops at this depth or after this many interval splits in all.
constexpr int kSimpsonMaxDepth = 40;
constexpr int kSimpsonMaxSplits = 1 << 14;

double SimpsonPart(int32_t kind, double a, double b) {
  if (kind == 1) {
    const double m = a + (b - a) / 2;
    return (b - a) * (1 / a + 4 / m + 1 / b) / 6;
  }
  return kind == 2 ? -1.0 : -2.0;
}

double SimpsonRec(int32_t kind, double a, double b, double tol, double whole, int depth, int* piBudget) {
  const double m = a + (b - a) / 2;
  const double s1 = SimpsonPart(kind, a, m);
  const double s2 = SimpsonPart(kind, m, b);
  const double d = s1 + s2 - whole;
  // A tolerance that cannot be met (the placeholder kinds, a NaN, or rounding at the
  // smallest intervals) ends the refinement instead of recursing without end.
  if (!(std::fabs(d) > 15 * tol) || depth >= kSimpsonMaxDepth || kind != 1 || --*piBudget <= 0) {
    return s1 + s2 + d / 15;
  }
  return SimpsonRec(kind, a, m, tol / 2, s1, depth + 1, piBudget) +
         SimpsonRec(kind, m, b, tol / 2, s2, depth + 1, piBudget);
}

}  // namespace

float NnExpApprox(float x) {
  if (std::isnan(x)) return x;
  if (x > 80.0f) return 5.827e34f;
  if (x < -80.0f) return 1.71e-35f;
  const int k = static_cast<int>(x);
  const float f = x - static_cast<float>(k);
  float p = 1.0f;
  for (int j = 0; j < (k < 0 ? -k : k); ++j) p *= kExpBase;
  if (k < 0) p = 1.0f / p;
  return p * ExpSeries(f);
}

void NnExpApproxX4(const float* pfIn, float* pfOut) {
  for (int l = 0; l < 4; ++l) {
    float x = pfIn[l];
    x = x > 80.0f ? 80.0f : (x < -80.0f ? -80.0f : x);
    pfOut[l] = NnExpApprox(x);
  }
}

float NnFastExp(float x) {
  if (std::isnan(x)) return x;
  float y = x * kLog2E;
  const float yc = std::fmin(std::fmax(y, kBitExpMin), kBitExpMax);
  const float z = yc - std::trunc(yc) + (y < 0 ? 1.0f : 0.0f);
  const float v = (yc + 121.274055f + 27.728024f / (4.8425255f - z) - 1.4901291f * z) * kTwo23;
  return BitsToFloat(static_cast<uint32_t>(v));
}

void NnFastExpX4(const float* pfIn, float* pfOut) {
  for (int l = 0; l < 4; ++l) pfOut[l] = NnFastExp(pfIn[l]);
}

float NnFasterExp(float x) {
  if (std::isnan(x)) return x;
  const float y = std::fmin(std::fmax(x * kLog2E, kBitExpMin), kBitExpMax);
  return BitsToFloat(static_cast<uint32_t>((y + 126.942696f) * kTwo23));
}

void NnFasterExpX4(const float* pfIn, float* pfOut) {
  for (int l = 0; l < 4; ++l) pfOut[l] = NnFasterExp(pfIn[l]);
}

uint32_t FixedExpQ16Sat(uint32_t x) { return FixedExpCore<uint32_t>(x > 655360u ? 655360u : x); }
uint64_t FixedExpQ16(uint32_t x) { return FixedExpCore<uint64_t>(x); }

float NnFastSqrt(float x) {
  float y = BitsToFloat(0x5F375A86u - (FloatToBits(x) >> 1));
  for (int j = 0; j < 3; ++j) y = y * std::fma(-0.5f * x, y * y, 1.5f);
  return y == 0.0f ? 0.0f : 1.0f / y;
}

uint32_t PreferredBlockLayout(uint32_t kind, uint32_t c) {
  const uint32_t w = RoundUp(c, 8) - c;
  const int32_t sc = static_cast<int32_t>(c);
  if (kind == FRNN_KIND_S16) return static_cast<int32_t>(w) > (sc >> 3) ? 0 : FRNN_LAYOUT_NC8HW8;
  if (kind == FRNN_KIND_F16) return static_cast<int32_t>(w) > ((sc >> 2) & ~1) ? 0 : FRNN_LAYOUT_NC8HW8;
  return FRNN_LAYOUT_NCHW;
}

uint32_t PreferredBlockLayoutPair(uint32_t kind, uint32_t a, uint32_t b) {
  if (kind != FRNN_KIND_S16 && kind != FRNN_KIND_F16) return FRNN_LAYOUT_NCHW;
  return (PreferredBlockLayout(kind, a) == FRNN_LAYOUT_NC8HW8 && PreferredBlockLayout(kind, b) == FRNN_LAYOUT_NC8HW8)
             ? FRNN_LAYOUT_NC8HW8
             : FRNN_LAYOUT_NCHW;
}

uint32_t ConvPadCheck(int32_t a, int32_t b, int32_t c) {
  if (c < 1) return FRNN_OK;
  const int64_t d = static_cast<int64_t>(a) + b - c;
  return (d >= 0 && d <= a && d <= b) ? FRNN_OK : FRNN_ERR_PARAM;
}

double NnExpApproxF64(double x) {
  if (x > 700) return 1.578e304;
  if (x < -600) return 1.81e-261;
  const long k = static_cast<long>(x);
  const double f = x - static_cast<double>(k);
  double p = 1.0;
  for (long j = 0; j < (k < 0 ? -k : k); ++j) p *= 2.7182817459106445;
  if (k < 0) p = 1.0 / p;
  double sum = 1.0;
  double term = 1.0;
  double fact = 1.0;
  double pw = 1.0;
  for (int j = 1; j <= 19; ++j) {
    pw *= f;
    fact *= j;
    term = pw / fact;
    sum += term;
  }
  return p * sum;
}

uint32_t IntSqrtRound(uint64_t x) {
  if (x < 2) return static_cast<uint32_t>(x);
  uint64_t rem = x;
  uint64_t root = 0;
  uint64_t bit = uint64_t{1} << 62;
  while (bit > rem) bit >>= 2;
  while (bit != 0) {
    if (rem >= root + bit) {
      rem -= root + bit;
      root = (root >> 1) + bit;
    } else {
      root >>= 1;
    }
    bit >>= 2;
  }
  if (rem > root) ++root;
  return static_cast<uint32_t>(root);
}

int32_t RoundHalfEven(float x) {
  if (std::isnan(x) || x == 0.0f) return 0;
  const float r = std::nearbyint(x);
  if (r >= 2147483648.0f) return INT32_MAX;
  if (r < -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(r);
}

void RoundShiftS32(int32_t* psiData, uint32_t count, int32_t r, uint32_t s) {
  if (psiData == nullptr || s > 31) return;
  for (uint32_t j = 0; j < count; ++j) {
    const int64_t v = static_cast<int64_t>(psiData[j]) + r + (psiData[j] < 0 ? -1 : 0);
    psiData[j] = static_cast<int32_t>(v >> s);
  }
}

void NarrowShiftS32ToS16(const int32_t* psiSrc, int16_t* pswDst, uint32_t count, uint32_t shift) {
  if (psiSrc == nullptr || pswDst == nullptr || shift > 16) return;
  for (uint32_t j = 0; j < count; ++j) {
    int64_t v = psiSrc[j];
    if (shift > 0) v = (v + (int64_t{1} << (shift - 1))) >> shift;
    pswDst[j] = static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
  }
}

void NarrowShiftS32ToS16B(const int32_t* psiSrc, int16_t* pswDst, uint32_t count, uint32_t shift) {
  NarrowShiftS32ToS16(psiSrc, pswDst, count, shift);
}

void WidenS16ToS32(const int16_t* pswSrc, int32_t* psiDst, uint32_t count) {
  if (pswSrc == nullptr || psiDst == nullptr) return;
  for (uint32_t j = 0; j < count; ++j) psiDst[j] = pswSrc[j];
}

double NnReciprocal(double x) { return 1.0 / x; }
double NnAbsF64(double x) { return std::fabs(x); }

double NnSimpsonLog(int32_t kind, double a, double b, double tol, double whole) {
  int iBudget = kSimpsonMaxSplits;
  return SimpsonRec(kind, a, b, tol, whole, 0, &iBudget);
}

void NnSimpsonLogFrom(int32_t kind, double a, double b, double tol) {
  (void)NnSimpsonLog(kind, a, b, tol, SimpsonPart(kind, a, b));
}

double NnLogSimpson(double x) { return NnSimpsonLog(1, 1.0, x, 1e-8, SimpsonPart(1, 1.0, x)); }

uint16_t NnExpApproxF16(uint16_t x) {
  const float fx = HF(x);
  if (std::isnan(fx)) return x;
  if (fx > 11.0f) return FH(59874.12f);
  if (fx < -11.0f) return FH(1.7e-5f);
  const int k = static_cast<int>(fx);
  const uint16_t f = FH(fx - static_cast<float>(k));
  const uint16_t e = FH(2.71875f);
  uint16_t p = kHalfOne;
  for (int j = 0; j < (k < 0 ? -k : k); ++j) p = HalfMul(p, e);
  if (k < 0) p = FH(1.0f / HF(p));
  // Powers of the fraction over exact factorials, summed in half precision.
  uint16_t sum = kHalfOne;
  uint16_t pw = kHalfOne;
  float fact = 1.0f;
  for (int j = 1; j <= 9; ++j) {
    pw = HalfMul(pw, f);
    fact *= static_cast<float>(j);
    sum = HalfAdd(sum, FH(HF(pw) / fact));
  }
  return HalfMul(p, sum);
}

void NnExpApproxF16X8(const uint16_t* puwIn, uint16_t* puwOut) {
  for (int l = 0; l < 8; ++l) {
    const float f = HF(puwIn[l]);
    puwOut[l] = NnExpApproxF16(std::isnan(f) ? puwIn[l] : FH(std::fmin(std::fmax(f, -11.0f), 11.0f)));
  }
}

int32_t NnFasterExpF16Scalar(uint16_t x) {
  const float fx = HF(x);
  if (std::isnan(fx)) return 0;
  const float y = std::fmin(std::fmax(HF(HalfMul(x, FH(1.4423828125f))), -14.5f), 14.5f);
  return static_cast<int32_t>(HF(HalfMul(HalfAdd(FH(y), FH(14.9453125f)), FH(1024.0f))));
}

void NnFasterExpF16X8(const uint16_t* puwIn, uint16_t* puwOut) {
  for (int l = 0; l < 8; ++l) puwOut[l] = static_cast<uint16_t>(NnFasterExpF16Scalar(puwIn[l]));
}

void RotateBlocks180(FrnnTensor* t, uint32_t k) {
  if (t == nullptr || t->pvData == nullptr || k == 0) return;
  const uint64_t ulBlock = static_cast<uint64_t>(k) * k;
  if (ulBlock * 4 < 4) return;
  const uint64_t ulBlocks = static_cast<uint64_t>(t->uiC) * t->uiN * t->uiPlane / ulBlock;
  auto* p = static_cast<int32_t*>(t->pvData);
  for (uint64_t b = 0; b < ulBlocks; ++b) {
    int32_t* blk = p + b * ulBlock;
    // A half turn maps (r, c) to (k-1-r, k-1-c): the block read backwards.
    for (uint64_t j = 0; j < ulBlock / 2; ++j) {
      const int32_t v = blk[j];
      blk[j] = blk[ulBlock - 1 - j];
      blk[ulBlock - 1 - j] = v;
    }
  }
}
