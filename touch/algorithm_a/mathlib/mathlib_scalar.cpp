// Scalar routines: CORDIC magnitude, integer square roots, absolute values, rectangle and
// index helpers, Bezier interpolation.
#include <cstdint>

#include "mathlib_impl.h"

VpuStatistic gstVpuStatistic;

uint32_t LibVpuGetAcc() { return gstVpuStatistic.ulAcc; }
uint16_t LibVpuGetMinData() { return gstVpuStatistic.uwMinData; }
void* LibVpuGetMinDataAddr() { return gstVpuStatistic.pMinDataAddr; }
uint16_t LibVpuGetMaxData() { return gstVpuStatistic.uwMaxData; }
void* LibVpuGetMaxDataAddr() { return gstVpuStatistic.pMaxDataAddr; }

uint32_t LibCordicSqrt(int32_t siI, int32_t siQ) {
  // The magnitude of the sign-extended 16-bit value is taken in 32 bits: kept in 16 bits,
  // -32768 would stay negative and the rotations would turn a full-scale pair into a value
  // far below its magnitude. 622/1024 cancels the gain of the rotations below.
  const auto abs16 = [](int32_t v) {
    const int32_t si = static_cast<int16_t>(v);
    return si < 0 ? -si : si;
  };
  int32_t x = 622 * abs16(siI);
  int32_t y = 622 * abs16(siQ);
  // d = +1 while x >= 1, else -1, applied as a conditional negation (mask 0 or -1).
  const auto step = [](int32_t v, int32_t mask) { return (v ^ mask) - mask; };
  for (int s = 0; s < 9; ++s) {
    const int32_t mask = x >= 1 ? 0 : -1;
    const int32_t nx = x - step(y >> s, mask);
    y = y + step(x >> s, mask);
    x = nx;
  }
  y = y + step(x >> 9, x >= 1 ? 0 : -1);
  return static_cast<uint32_t>(y) >> 10;
}

namespace {

// Newton steps from e = x, stopping once a step moves by at most 1.
template <typename T>
T NewtonSqrt(T x) {
  if (x < 2) return 1;
  // The first step from e = x sums x + 1: formed in 64 bits so the largest input does not
  // wrap to 0 and divide by it.
  uint64_t e = x;
  for (;;) {
    const uint64_t next = (x / e + e) >> 1;
    const uint64_t delta = next > e ? next - e : e - next;
    e = next;
    if (delta <= 1) return static_cast<T>(e);
  }
}

template <typename T, typename U>
U AbsDiff(T a, T b) {
  return a > b ? static_cast<U>(static_cast<U>(a) - static_cast<U>(b)) : static_cast<U>(static_cast<U>(b) - static_cast<U>(a));
}

}  // namespace

uint32_t LibSqrtU32(uint32_t uiX) { return NewtonSqrt<uint32_t>(uiX); }
uint16_t LibSqrtU16(uint16_t uwX) { return NewtonSqrt<uint16_t>(uwX); }

uint16_t LibSqrtU16RoundingLib(uint16_t uwX) {
  uint32_t uiRoot = 0;
  for (uint32_t uiBit = 1u << 7; uiBit != 0; uiBit >>= 1) {
    const uint32_t uiTry = uiRoot | uiBit;
    if (uiTry * uiTry <= uwX) uiRoot = uiTry;
  }
  return static_cast<uint16_t>(uiRoot);
}

uint16_t LibAbsS16(int16_t swX) { return AbsDiff<int32_t, uint16_t>(swX, 0); }
uint32_t LibAbsS32(int32_t siX) { return AbsDiff<int64_t, uint32_t>(siX, 0); }
uint16_t LibAbsDiffS16(int16_t swA, int16_t swB) { return AbsDiff<int32_t, uint16_t>(swA, swB); }
uint16_t LibAbsDiffU16(uint16_t uwA, uint16_t uwB) { return AbsDiff<int32_t, uint16_t>(uwA, uwB); }
uint32_t LibAbsDiffS32(int32_t siA, int32_t siB) { return AbsDiff<int64_t, uint32_t>(siA, siB); }
uint8_t LibAbsDiffU8(uint8_t ubA, uint8_t ubB) { return AbsDiff<int32_t, uint8_t>(ubA, ubB); }

bool LibBoundaryJudge(int32_t siX, int32_t siMax, int32_t siMargin) {
  return siX < siMargin || static_cast<int64_t>(siX) > static_cast<int64_t>(siMax) - siMargin;
}

uint16_t LibGetRectSize(const uint8_t* pubRect) {
  // {top, bottom, left, right}
  return static_cast<uint16_t>((pubRect[3] - pubRect[2] + 1) * (pubRect[1] - pubRect[0] + 1));
}

uint16_t LibGetCellIndex(uint8_t ubA, uint8_t ubB, uint8_t ubC) { return static_cast<uint16_t>(ubC * ubA + ubB); }

int32_t LibFilterXY(int32_t siOld, int32_t siNew, int32_t siStep) {
  const int64_t slGap = static_cast<int64_t>(siNew) - siOld;
  if (slGap > siStep) return static_cast<int32_t>(static_cast<int64_t>(siOld) + siStep);
  if (-slGap > siStep) return static_cast<int32_t>(static_cast<int64_t>(siOld) - siStep);
  return siNew;
}

uint32_t LibBezierControlPoint(uint32_t uiP0, uint32_t uiP1, uint32_t uiP2) {
  const uint32_t uiMid = (uiP1 + 1 + uiP2) >> 1;
  return uiMid + uiP1 - ((uiMid + ((uiP1 + 1 + uiP0) >> 1)) >> 1);
}

uint32_t LibBezierInterpolation(uint32_t uiP0, uint32_t uiP1, uint32_t uiP2, uint32_t uiT) {
  const uint32_t uiU = 16 - uiT;
  return (uiT * uiT * uiP0 + uiU * uiU * uiP1 + 2 * uiT * uiU * uiP2) >> 8;
}
