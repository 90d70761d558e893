// Floating region combination: pairs of nearby weak regions whose union still shows one
// peak along its rows and its columns, and is not dominated by negative nodes, become one
// region.
#include "region_float_combine.h"

#include "region.h"
#include "region_proc.h"

namespace {

constexpr uint8_t kCfgMergeDist = 8;     // u16
constexpr uint8_t kCfgStrength = 10;     // u16
constexpr uint8_t kCfgRise = 12;
constexpr uint8_t kCfgElongDist = 13;
constexpr uint8_t kCfgLow = 14;
constexpr uint8_t kCfgFlags = 18;
constexpr uint8_t kCfgOff = 0x01;
constexpr uint8_t kManyRegions = 6;
constexpr uint8_t kLongSpan = 10;
constexpr uint32_t kNegSlack = 6;
constexpr uint32_t kNegPercent = 40;

uint8_t Cfg(uint8_t b) { return gstFloatSelfCfg.aubData[b]; }
uint16_t CfgU16(uint8_t b) { return static_cast<uint16_t>(Cfg(b) | (Cfg(static_cast<uint8_t>(b + 1)) << 8)); }

uint8_t AbsDiff8(uint8_t a, uint8_t b) {
  const int32_t d = static_cast<int32_t>(a) - b;
  return static_cast<uint8_t>(d < 0 ? -d : d);
}

// Centre-distance measure: the squared differences of the row and column sums, each sum
// and difference on 8 bits, the total on 16.
uint16_t Distance(RegionRect a, RegionRect b) {
  const uint8_t dr = AbsDiff8(static_cast<uint8_t>(a.ubRowStart + a.ubRowEnd), static_cast<uint8_t>(b.ubRowStart + b.ubRowEnd));
  const uint8_t dc = AbsDiff8(static_cast<uint8_t>(a.ubColStart + a.ubColEnd), static_cast<uint8_t>(b.ubColStart + b.ubColEnd));
  return static_cast<uint16_t>(dr * dr + dc * dc);
}

RegionRect Union(RegionRect a, RegionRect b) {
  auto mn = [](uint8_t x, uint8_t y) { return x < y ? x : y; };
  auto mx = [](uint8_t x, uint8_t y) { return x > y ? x : y; };
  return RegionRect{mn(a.ubRowStart, b.ubRowStart), mx(a.ubRowEnd, b.ubRowEnd), mn(a.ubColStart, b.ubColStart),
                    mx(a.ubColEnd, b.ubColEnd)};
}

uint32_t NegativeNodes(const FloatCombineInput& in, RegionRect r) {
  if (!RectValidOn(r, in.ubRows, in.ubCols)) return 0;
  const int32_t lim = -static_cast<int32_t>(in.uwNegThreshold / 2);
  uint32_t n = 0;
  for (uint32_t row = r.ubRowStart; row <= r.ubRowEnd; ++row) {
    for (uint32_t col = r.ubColStart; col <= r.ubColEnd; ++col) {
      if (in.pswNodeMap[row * in.ubCols + col] < lim) ++n;
    }
  }
  return n;
}

void RelabelInto(const FloatCombineInput& in, RegionRect r, uint8_t ubFrom, uint8_t ubTo) {
  if (in.pubLabelMap == nullptr || !RectValidOn(r, in.ubRows, in.ubCols)) return;
  for (uint32_t row = r.ubRowStart; row <= r.ubRowEnd; ++row) {
    for (uint32_t col = r.ubColStart; col <= r.ubColEnd; ++col) {
      uint8_t& b = in.pubLabelMap[row * in.ubCols + col];
      if (b == ubFrom) b = ubTo;
    }
  }
}

bool Gated(const FloatCombineInput& in) {
  if ((Cfg(kCfgFlags) & kCfgOff) != 0 || Cfg(kCfgRise) == 0 || in.ubCount < 2) return true;
  // The node and label maps hold at most kRegionMaxNodes nodes: a larger grid is no panel
  // of this module and is left as it is.
  if (static_cast<uint32_t>(in.ubRows) * in.ubCols > kRegionMaxNodes) return true;
  return in.ubCount >= kManyRegions && in.ubElongation == 0 &&
         (in.ubMainRowSpan > kLongSpan || in.ubMainColSpan > kLongSpan);
}

}  // namespace

// The wrapper hands the self diff as the profile and the mutual diff as the node map; a
// union that does not lie on the grid is not merged, so neither map is read beyond it.
void RegionFloatCombine(FloatCombineInput* pstIn) {
  if (pstIn == nullptr) return;
  FloatCombineInput& in = *pstIn;
  if (in.pstRect == nullptr || in.puwKeep == nullptr || in.pswNodeMap == nullptr || in.pswProfile == nullptr) return;
  if (in.ubCount > kRegionMax) in.ubCount = kRegionMax;
  if (Gated(in)) return;
  const int16_t thr = Cfg(kCfgRise), low = Cfg(kCfgLow);
  const uint16_t M = static_cast<uint16_t>(CfgU16(kCfgMergeDist) + (in.ubElongation != 0 ? Cfg(kCfgElongDist) : 0));
  const uint16_t uwStrong = CfgU16(kCfgStrength);
  for (uint8_t i = 0; i < in.ubCount; ++i) {
    if (in.puwKeep[i] == 0) continue;
    for (uint8_t j = static_cast<uint8_t>(i + 1); j < in.ubCount; ++j) {
      if (in.puwKeep[j] == 0 || (in.puwKeep[i] > uwStrong && in.puwKeep[j] > uwStrong)) continue;
      if (Distance(in.pstRect[i], in.pstRect[j]) >= M) continue;
      const RegionRect U = Union(in.pstRect[i], in.pstRect[j]);
      if (U.ubRowEnd == U.ubRowStart || U.ubColEnd == U.ubColStart) continue;
      if (!RectValidOn(U, in.ubRows, in.ubCols)) continue;
      if (RegionOnlyOneJudge(static_cast<uint8_t>(in.ubRows + U.ubColStart), static_cast<uint8_t>(in.ubRows + U.ubColEnd),
                             thr, low, in.pswProfile) == 0 ||
          RegionOnlyOneJudge(U.ubRowStart, U.ubRowEnd, thr, low, in.pswProfile) == 0) {
        continue;
      }
      const uint32_t ni = NegativeNodes(in, in.pstRect[i]);
      const uint32_t nu = NegativeNodes(in, U);
      const uint32_t area = static_cast<uint32_t>(U.ubRowEnd - U.ubRowStart + 1) * (U.ubColEnd - U.ubColStart + 1);
      if (ni + kNegSlack < nu && nu * 100 > area * kNegPercent) continue;
      // Region j's nodes become region i's before its rectangle is cleared, so that the
      // label map keeps naming each node's region through the compaction.
      RelabelInto(in, in.pstRect[j], j, i);
      in.pstRect[i] = U;
      in.pstRect[j] = RegionRectFromWord(kRegionRectCleared);
      if (in.puwKeep[j] > in.puwKeep[i]) in.puwKeep[i] = in.puwKeep[j];
      in.puwKeep[j] = 0;
    }
  }
  in.ubCount = RearrangeRegion(in.ubCount, in.puwKeep, in.pstRect, in.puwSecond, in.puwThird, in.pubLabelMap,
                               in.ubRows, in.ubCols);
}
