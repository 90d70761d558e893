// Floating-finger records: the complement network's rate gate and decoder, the
// floating-region record lookup and the steady track rectangles they compare with.
#include "region_float.h"

#include <cstring>

#include "frnn.h"
#include "region_lib.h"
#include "region_proc.h"

NetFloatInfo gstNetFloatInfo;
uint8_t gboNetFloatInit;
FloatRegionRecord gastFloatRegionRecord[kFloatRecordMax];
uint8_t gubFloatAreaCnt;
uint16_t guwIsDlProc;

uint8_t RunFloatNetSequence(const int16_t* pswDiff, const uint16_t* puwKeep, const RegionRect* pstRects,
                            uint8_t ubRows, uint8_t ubCols, void* pvCache, uint8_t ubTrigger) {
  NetFloatInfo& n = gstNetFloatInfo;
  if (gboNetFloatInit == 0) GateFloatNetResult(0, 0);
  if (n.ubFresh != 0 || ubTrigger == 0 || !(n.uwFramesSinceRun > 19 || n.ubRunState != 3)) return 0;
  // Without the work buffer there is nothing to run the network in.
  if (pswDiff == nullptr || pvCache == nullptr || ubRows == 0 || ubCols == 0) return 0;
  // The engine leaves its maps (56-wide rows behind a zero border) in the work buffer; the
  // likelihood values are small positive numbers, read here as s16.
  uint16_t* puwMap1 = nullptr;
  uint16_t* puwMap2 = nullptr;
  if (NetFloatComplement(pswDiff, static_cast<uint8_t*>(pvCache), ubRows, ubCols, &puwMap1, &puwMap2) != FRNN_OK)
    return 0;
  n.pswOutputMap = reinterpret_cast<int16_t*>(puwMap1);
  n.pvSecondOutput = puwMap2;
  DecodeFloatNetOutput(pswDiff, puwKeep, pstRects, ubRows, ubCols, 0);
  n.ubFresh = 1;
  n.uwFramesSinceRun = 0;
  n.aubParam[0] = 56;
  n.aubParam[1] = 52;
  if (n.ubRunState <= 2) ++n.ubRunState;
  return 1;
}

uint32_t GateFloatNetResult(uint32_t uiValue, int8_t scEvent) {
  NetFloatInfo& n = gstNetFloatInfo;
  if (gboNetFloatInit == 0) {
    gboNetFloatInit = 1;
    n.ubFresh = 0;
    n.ubFreshPad = 0;
    n.uwFramesSinceRun = 20;
    return uiValue & 1u;
  }
  if (scEvent == 0) return uiValue & 1u;
  if (scEvent == -1) {
    n.ubFresh = 0;
    n.ubFreshPad = 0;
    n.ubRectNum = 0;
    if (n.uwFramesSinceRun != 0xFFFF) ++n.uwFramesSinceRun;
    if (n.uwFramesSinceRun > 19) n.ubRunState = 0;
    return 0;
  }
  if (n.ubFresh != 0) return 0;
  return uiValue & ((n.uwFramesSinceRun > 19 || n.ubRunState != 3) ? 1u : 0u);
}

uint8_t GetFloatAreaCnt() { return gubFloatAreaCnt; }

uint8_t GetSteadyTrackRects(uint32_t* puiRects, uint16_t* puwFlag) {
  if (puwFlag != nullptr) *puwFlag = guwIsDlProc;
  uint8_t n = 0;
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    const RegionTrackSlot& s = gstRegionAcquireState.astSlot[k];
    if (s.ubFrameCnt < 6 || s.ubActive == 0 || RegionRectWord(s.stRect) == 0) continue;
    if (puiRects != nullptr) puiRects[n] = RegionRectWord(s.stRect);
    ++n;
  }
  for (uint8_t k = n; puiRects != nullptr && k < kRegionMax; ++k) puiRects[k] = 0;
  return n;
}

uint8_t MatchFloatRegionRecord(uint8_t ubRows, uint8_t ubCols, uint32_t uiRect, FloatRegionRecord* pstOut) {
  const RegionRect r = RegionRectFromWord(uiRect);
  for (const FloatRegionRecord& rec : gastFloatRegionRecord) {
    if (RegionRectWord(rec.stRect) == 0) continue;
    const RegionRect R = rec.stRect;
    bool boMatch = RectInside(r, RegionRectGrow(R, 1, ubRows, ubCols));
    if (!boMatch && gstNetFloatInfo.ubFresh != 0) {
      const int32_t half = r.ubRowEnd + r.ubColEnd - r.ubRowStart - r.ubColStart;
      const int32_t halfR = R.ubRowEnd + R.ubColEnd - R.ubRowStart - R.ubColStart;
      const uint32_t area = static_cast<uint32_t>(r.ubRowEnd - r.ubRowStart + 1) * (r.ubColEnd - r.ubColStart + 1);
      boMatch = half > halfR && 3 * CalcRectCoverSize(R, r) > 2 * area;
    }
    if (!boMatch) continue;
    if (pstOut != nullptr) *pstOut = rec;
    return 1;
  }
  return 0;
}

namespace {

// The output map in bordered coordinates; entries beyond the map's 56-wide rows or the
// grid's border read as 0.
struct NetMap {
  const int16_t* p;
  int32_t rows;  // bordered rows: grid rows + 1 (the border row above)
  int32_t cols;
  int16_t At(int32_t r, int32_t c) const {
    if (p == nullptr || r < 0 || c < 0 || r > rows || c > cols || c >= static_cast<int32_t>(kFloatNetStride)) return 0;
    return p[r * static_cast<int32_t>(kFloatNetStride) + c];
  }
};

// A candidate line (bordered coordinates, FROM..TO along the other axis) joins the box
// when it holds at least two finger values and no entry rises more than 7 over its inside
// neighbour.
template <class ReadLine, class ReadInside>
bool LineJoins(ReadLine line, ReadInside inside, int32_t from, int32_t to) {
  int32_t n = 0;
  for (int32_t i = from; i <= to; ++i) {
    if (line(i) >= 201) ++n;
    if (line(i) - inside(i) > 7) return false;
  }
  return n >= 2;
}

}  // namespace

void DecodeFloatNetOutput(const int16_t* pswDiff, const uint16_t* puwKeep, const RegionRect* pstRects, uint8_t ubRows,
                          uint8_t ubCols, uint32_t uiMode) {
  NetFloatInfo& n = gstNetFloatInfo;
  // A grid wider than the map's row leaves no room for its border column.
  if (ubRows == 0 || ubCols == 0 || n.pswOutputMap == nullptr || ubCols + 1u >= kFloatNetStride) return;
  const NetMap O{n.pswOutputMap, ubRows, ubCols};
  const RegionGrid g{const_cast<int16_t*>(pswDiff), ubRows, ubCols};
  for (int32_t r = 1; r <= ubRows; ++r) {
    for (int32_t c = 1; c <= ubCols; ++c) {
      if (n.ubRectNum > 10) return;
      const int16_t p = O.At(r, c);
      if (p < 201 || p < O.At(r - 1, c) || p < O.At(r, c - 1) || p < O.At(r, c + 1) || p < O.At(r + 1, c)) continue;
      // Box in bordered coordinates while growing.
      int32_t r0 = O.At(r - 1, c) >= 101 ? r - 1 : r;
      int32_t r1 = (r < ubRows - 2 + 1 && O.At(r + 1, c) >= 101) ? r + 1 : r;
      int32_t c0 = O.At(r, c - 1) >= 101 ? c - 1 : c;
      int32_t c1 = (c < ubCols - 2 + 1 && O.At(r, c + 1) >= 101) ? c + 1 : c;
      if (r0 < 1) r0 = 1;
      if (c0 < 1) c0 = 1;
      while (r0 - 1 > 0 && LineJoins([&](int32_t i) { return static_cast<int32_t>(O.At(r0 - 1, i)); },
                                     [&](int32_t i) { return static_cast<int32_t>(O.At(r0, i)); }, c0, c1))
        --r0;
      while (r1 - 1 < ubRows - 2 && LineJoins([&](int32_t i) { return static_cast<int32_t>(O.At(r1 + 1, i)); },
                                              [&](int32_t i) { return static_cast<int32_t>(O.At(r1, i)); }, c0, c1))
        ++r1;
      while (c0 - 1 > 0 && LineJoins([&](int32_t i) { return static_cast<int32_t>(O.At(i, c0 - 1)); },
                                     [&](int32_t i) { return static_cast<int32_t>(O.At(i, c0)); }, r0, r1))
        --c0;
      while (c1 - 1 < ubCols - 2 && LineJoins([&](int32_t i) { return static_cast<int32_t>(O.At(i, c1 + 1)); },
                                              [&](int32_t i) { return static_cast<int32_t>(O.At(i, c1)); }, r0, r1))
        ++c1;
      RegionRect B = RegionRectClip(RegionRect{static_cast<uint8_t>(r0 - 1), static_cast<uint8_t>(r1 - 1),
                                               static_cast<uint8_t>(c0 - 1), static_cast<uint8_t>(c1 - 1)},
                                    ubRows, ubCols);
      bool boAnyKeep = false;
      for (uint8_t i = 0; puwKeep != nullptr && i < kRegionMax; ++i) boAnyKeep = boAnyKeep || puwKeep[i] != 0;
      if ((uiMode & 1u) == 0 && boAnyKeep && pstRects != nullptr) {
        uint32_t steady[kRegionMax];
        const uint8_t ubSteady = GetSteadyTrackRects(steady, nullptr);
        bool boDone = false;
        for (uint8_t k = 0; k < ubSteady && !boDone; ++k) {
          const RegionRect s = RegionRectFromWord(steady[k]);
          if (RectInside(B, s) || RectInside(s, B)) {
            B = s;
            boDone = true;
          }
        }
        if (!boDone) {
          const RegionRect B0 = B;
          const uint32_t uiB0 = static_cast<uint32_t>(B0.ubRowEnd - B0.ubRowStart + 1) + (B0.ubColEnd - B0.ubColStart + 1) - 1;
          for (uint8_t i = 0; i < kRegionMax; ++i) {
            if (puwKeep[i] == 0) continue;
            const RegionRect R = pstRects[i];
            const int edges = (R.ubRowStart == B0.ubRowStart) + (R.ubRowEnd == B0.ubRowEnd) +
                              (R.ubColStart == B0.ubColStart) + (R.ubColEnd == B0.ubColEnd);
            const uint32_t uiR = static_cast<uint32_t>(R.ubRowEnd - R.ubRowStart + 1) + (R.ubColEnd - R.ubColStart + 1);
            if (edges >= 2 && static_cast<uint8_t>(CalcRectCoverSize(R, B0)) >= 2 && uiB0 >= uiR) B = R;
          }
        }
      }
      bool boStrong = false;
      for (int32_t rr = B.ubRowStart; rr <= B.ubRowEnd; ++rr)
        for (int32_t cc = B.ubColStart; cc <= B.ubColEnd; ++cc) boStrong = boStrong || g.At(rr, cc) >= 51;
      if (!boStrong) continue;
      const uint32_t A = static_cast<uint32_t>(B.ubRowEnd - B.ubRowStart + 1) * (B.ubColEnd - B.ubColStart + 1);
      bool boAdd = true;
      for (uint8_t k = 0; k < n.ubRectNum && boAdd; ++k) {
        RegionRect& S = n.astRect[k];
        const uint32_t ov = CalcRectCoverSize(B, S);
        if (ov == 0) continue;
        const uint32_t uiS = static_cast<uint32_t>(S.ubRowEnd - S.ubRowStart + 1) * (S.ubColEnd - S.ubColStart + 1);
        if (ov < A && 2 * ov >= uiS) {
          S = B;
          boAdd = false;
        } else if (2 * ov > A) {
          boAdd = false;
        }
      }
      if (boAdd && n.ubRectNum < kFloatComplementMax) n.astRect[n.ubRectNum++] = B;
    }
  }
}
