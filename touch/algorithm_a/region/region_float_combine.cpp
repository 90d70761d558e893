// Floating region combination: a finger on an ungrounded device, or a weak finger, often
// splits into neighbouring regions with a negative ring between them. Pairs of nearby weak
// regions merge when their joint profiles still show one peak and the union is not mostly
// negative. Only the first mode (merge by distance) is built; the wrapper always asks for it.
#include <algorithm>
#include <cstdlib>

#include "region.h"
#include "region_float.h"
#include "region_proc.h"

uint8_t RegionOnlyOneJudge(uint8_t ubStart, uint8_t ubEnd, int16_t swThr, int16_t swLow, const int16_t* pswP) {
  if (pswP == nullptr) return 0;
  if (ubStart >= ubEnd) return ubStart == ubEnd ? 1 : 0;
  const int32_t thr = swThr;
  bool boFalling = false;
  for (int32_t i = ubStart; i < ubEnd; ++i) {
    const int32_t p0 = pswP[i], p1 = pswP[i + 1];
    const bool boHas2 = i < ubEnd - 1;
    const int32_t p2 = boHas2 ? pswP[i + 2] : 0;
    if (boFalling) {
      if (p1 - p0 > thr || (boHas2 && p2 - p0 > thr)) return 0;
    } else if (p1 + thr < p0 || (boHas2 && p2 + thr < p0)) {
      boFalling = true;
    }
  }
  if (swLow == 0) return 1;
  uint32_t n = 0;
  for (int32_t i = ubStart + 1; i <= ubEnd - 1; ++i) n += pswP[i] <= swLow ? 1u : 0u;
  return n < 2 ? 1 : 0;
}

namespace {

uint32_t NegativeNodes(const FloatCombineInput& in, RegionRect r, int32_t lim) {
  const RegionGrid g{const_cast<int16_t*>(in.pswNodeMap), in.ubRows, in.ubCols};
  uint32_t n = 0;
  for (int32_t y = r.ubRowStart; y <= r.ubRowEnd; ++y)
    for (int32_t x = r.ubColStart; x <= r.ubColEnd; ++x) n += g.At(y, x) < lim ? 1u : 0u;
  return n;
}

}  // namespace

void RegionFloatCombine(FloatCombineInput* pstIn) {
  if (pstIn == nullptr) return;
  FloatCombineInput& in = *pstIn;
  const uint8_t* cfg = gstFloatSelfCfg.aubData;
  if ((cfg[18] & 1u) != 0 || cfg[12] == 0 || in.ubCount < 2) return;
  if (in.ubCount >= 6 && in.ubElong == 0 && (in.ubMainRowSpan > 10 || in.ubMainColSpan > 10)) return;
  if (in.pswNodeMap == nullptr || in.pstRect == nullptr || in.puwKeep == nullptr || in.ubRows == 0 || in.ubCols == 0 ||
      static_cast<uint32_t>(in.ubRows) * in.ubCols > kRegionMaxNodes)
    return;
  const uint8_t n = std::min<uint8_t>(in.ubCount, kRegionMax);
  const int16_t thr = cfg[12];
  const int16_t low = cfg[14];
  const uint16_t uwLimit = static_cast<uint16_t>(cfg[10] | (cfg[11] << 8));
  const uint16_t M = static_cast<uint16_t>((cfg[8] | (cfg[9] << 8)) + (in.ubElong != 0 ? cfg[13] : 0));
  const int32_t neg = -(in.uwNegThr / 2);
  for (uint8_t i = 0; i < n; ++i) {
    if (in.puwKeep[i] == 0) continue;
    for (uint8_t j = static_cast<uint8_t>(i + 1); j < n; ++j) {
      if (in.puwKeep[j] == 0 || (in.puwKeep[i] > uwLimit && in.puwKeep[j] > uwLimit)) continue;
      const RegionRect a = in.pstRect[i], b = in.pstRect[j];
      const uint8_t da = static_cast<uint8_t>(std::abs((a.ubRowStart + a.ubRowEnd) - (b.ubRowStart + b.ubRowEnd)));
      const uint8_t db = static_cast<uint8_t>(std::abs((a.ubColStart + a.ubColEnd) - (b.ubColStart + b.ubColEnd)));
      const uint16_t dist = static_cast<uint16_t>(da * da + db * db);
      if (dist >= M) continue;
      const RegionRect U{std::min(a.ubRowStart, b.ubRowStart), std::max(a.ubRowEnd, b.ubRowEnd),
                         std::min(a.ubColStart, b.ubColStart), std::max(a.ubColEnd, b.ubColEnd)};
      if (U.ubRowEnd == U.ubRowStart || U.ubColEnd == U.ubColStart) continue;
      // The column test reads the map as a profile laid out rows first (as the self data
      // is); the row test and the negative counts read it as the grid.
      if (in.ubRows + U.ubColEnd > 255 || static_cast<uint32_t>(in.ubRows) + U.ubColEnd >= static_cast<uint32_t>(in.ubRows) * in.ubCols)
        continue;
      if (RegionOnlyOneJudge(static_cast<uint8_t>(in.ubRows + U.ubColStart), static_cast<uint8_t>(in.ubRows + U.ubColEnd),
                             thr, low, in.pswNodeMap) != 1)
        continue;
      if (RegionOnlyOneJudge(U.ubRowStart, U.ubRowEnd, thr, low, in.pswNodeMap) != 1) continue;
      const uint32_t ni = NegativeNodes(in, a, neg);
      const uint32_t nu = NegativeNodes(in, U, neg);
      const uint32_t area = static_cast<uint32_t>(U.ubRowEnd - U.ubRowStart + 1) * (U.ubColEnd - U.ubColStart + 1);
      if (ni + 6 < nu && nu * 100 > area * 40) continue;
      // The absorbed region's nodes join i, so that the label map still names a region
      // for each of them once the set is compacted.
      const RegionRect bc = RegionRectClip(b, in.ubRows, in.ubCols);
      for (int32_t y = bc.ubRowStart; in.pubLabel != nullptr && y <= bc.ubRowEnd; ++y) {
        for (int32_t x = bc.ubColStart; x <= bc.ubColEnd; ++x) {
          uint8_t& l = in.pubLabel[y * in.ubCols + x];
          if (l == j) l = i;
        }
      }
      in.pstRect[i] = U;
      in.pstRect[j] = RegionRect{0, 0, 0, 0};
      in.puwKeep[i] = std::max(in.puwKeep[i], in.puwKeep[j]);
      in.puwKeep[j] = 0;
    }
  }
  in.ubCount = RearrangeRegion(n, in.puwKeep, in.pstRect, in.puwSecond, in.puwThird, in.pubLabel, in.ubRows, in.ubCols);
}
