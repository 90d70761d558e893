// Fuzz entry point: the floating-finger judgement and the floating region combination on
// an arbitrary diff map. Input: rows, columns (any values; sizes the grid cannot hold must
// change nothing), a flags byte (bit 0 self test, bit 1 hold, bit 2 forced floating, bit 3
// large-copper block, bit 4 combination as well), a frame count (1-4), then the diff values
// (s16, little-endian, missing ones 0). Region rectangles, keep values, pairing slots and
// the floating configuration are taken from the first values, so they are arbitrary too.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "coord_records.h"
#include "region.h"
#include "region_float.h"
#include "region_proc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int16_t aswDiff[kRegionMaxNodes];
  static int16_t aswSecond[kRegionMaxNodes];
  static uint8_t aubLabel[kRegionMaxNodes];
  if (size < 4) return 0;
  const uint8_t R = data[0], C = data[1], f = data[2];
  const uint8_t frames = static_cast<uint8_t>(1 + (data[3] & 3));
  memset(aswDiff, 0, sizeof(aswDiff));
  const size_t n = (size - 4) / 2 < kRegionMaxNodes ? (size - 4) / 2 : kRegionMaxNodes;
  memcpy(aswDiff, data + 4, n * 2);
  const auto byteAt = [&](size_t i) -> uint8_t { return size > 4 ? data[4 + i % (size - 4)] : 0; };
  for (size_t i = 0; i < kRegionMaxNodes; ++i) aswSecond[i] = aswDiff[(i * 3) % kRegionMaxNodes];
  memset(&gstCoordPair, 0, sizeof(gstCoordPair));
  memset(aubLabel, 255, sizeof(aubLabel));
  memset(gastFloatJudgeHistory, 0, sizeof(gastFloatJudgeHistory));
  memset(gstFloatOutPutCnt, 0, sizeof(gstFloatOutPutCnt));
  gubLargeCopperCnt = 0;
  for (size_t i = 0; i < sizeof(gstFloatSelfCfg.aubData); ++i) gstFloatSelfCfg.aubData[i] = byteAt(120 + i);
  gstFloatSelfCfg.aubData[18] &= 0xFE;  // judgement on
  RegionAcquireStateInit(nullptr);
  uint16_t keep[kRegionMax] = {};
  uint16_t arrA[kRegionMax] = {}, arrB[kRegionMax] = {};
  RegionRect rects[kRegionMax];
  const uint8_t count = static_cast<uint8_t>(byteAt(49) % 14);  // 12 and 13: more than the set holds
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    rects[k] = RegionRect{byteAt(4u * k), byteAt(4u * k + 1), byteAt(4u * k + 2), byteAt(4u * k + 3)};
    keep[k] = k < count ? static_cast<uint16_t>(byteAt(50u + k) * 3) : 0;
    if (static_cast<uint32_t>(R) * C <= kRegionMaxNodes && RectValidOn(rects[k], R, C)) {
      for (int r = rects[k].ubRowStart; r <= rects[k].ubRowEnd; ++r)
        for (int c = rects[k].ubColStart; c <= rects[k].ubColEnd; ++c) aubLabel[r * C + c] = k;
    }
  }
  for (uint8_t s = 0; s < kRegionMax; ++s) {
    gstCoordPair.astLastRect[s] = rects[(s + 3) % kRegionMax];
    gstCoordPair.auwLastRectMaxDiff[s] = static_cast<uint16_t>(byteAt(70u + s) * 4);
  }
  gstCoordPair.ubLargeCopperCnt = byteAt(90);
  int16_t aswSelfStat[4] = {static_cast<int16_t>(byteAt(91)), static_cast<int16_t>(byteAt(92) * 8),
                            static_cast<int16_t>(byteAt(93)), static_cast<int16_t>(byteAt(94) * 8)};
  uint8_t ubCnt = byteAt(95);
  RegionRect main = RegionRect{byteAt(96), byteAt(97), byteAt(98), byteAt(99)};
  uint8_t ubCount = count;
  for (uint8_t fr = 0; fr < frames; ++fr) {
    FloatJudgeInput in;
    memset(&in, 0, sizeof(in));
    in.ubSelfTestEn = f & 1;
    in.ubHold = (f >> 1) & 1;
    in.ubForced = (f >> 2) & 1;
    in.ubLargeCopperBlock = (f >> 3) & 1;
    in.ubBlock = byteAt(100) & 1;
    in.swDiffMax = static_cast<int16_t>(byteAt(101) * 4);
    in.swDiffMin = static_cast<int16_t>(-byteAt(102) * 2);
    in.uwRefLevel = byteAt(103);
    in.uwNodeThr = byteAt(104);
    in.swHalfThr = byteAt(105);
    in.pswSelfStat = aswSelfStat;
    in.pubLabel = aubLabel;
    in.ubCols = C;
    in.ubRows = R;
    in.pswDiff = aswDiff;
    in.pswSecond = aswSecond;
    in.ubTouchNum = byteAt(106) % 6;
    in.puwPairValue = gstCoordPair.auwLastRectMaxDiff;
    in.pstPairRect = gstCoordPair.astLastRect;
    in.ubFloatCnt = ubCnt;
    in.stMainRect = main;
    in.pstRect = rects;
    in.puwKeep = keep;
    in.ubCount = ubCount;
    in.ubTwoPeak = byteAt(107) & 1;
    RegionFloatPreJudge(&in);
    ubCnt = in.ubFloatCnt;
    main = in.stMainRect;
    ubCount = in.ubCount;
    if ((f & 0x10) != 0) {
      FloatCombineInput ci;
      memset(&ci, 0, sizeof(ci));
      ci.ubMode = 1;
      ci.ubElongation = in.ubElong;
      ci.ubMainRowSpan = in.ubMainRowSpan;
      ci.ubMainColSpan = in.ubMainColSpan;
      ci.ubRows = R;
      ci.ubCols = C;
      ci.uwNegThreshold = byteAt(108);
      ci.pswNodeMap = aswDiff;
      ci.pswProfile = aswDiff;  // rows + columns values lie within the map
      ci.pstRect = rects;
      ci.puwKeep = keep;
      ci.puwSecond = arrA;
      ci.puwThird = arrB;
      ci.pubLabelMap = aubLabel;
      ci.ubCount = ubCount;
      RegionFloatCombine(&ci);
      ubCount = ci.ubCount;
    }
  }
  return 0;
}
