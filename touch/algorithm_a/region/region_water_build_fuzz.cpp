// Fuzz entry point: the water union build on an arbitrary diff map, frame after frame, and
// waterproof processing around it. Input: rows, columns (any values; sizes the grid cannot
// hold must change nothing), a flags byte (bit 0 guard ring, bit 1 strong check, bit 2 pair
// tracker, bit 3 two fingers down, bit 4 waterproof processing as well, bit 5 self-cap),
// a frame count (1-4), then the diff values (s16, little-endian, missing ones 0). Regions
// and pairing slots are taken from the first values, so that their rectangles are arbitrary
// too.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "coord_records.h"
#include "region_proc.h"
#include "region_water_ops.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int16_t aswDiff[kRegionMaxNodes];
  static int16_t aswPrev[kRegionMaxNodes];
  static int16_t aswLast[kRegionMaxNodes];
  static int16_t aswSelf[2 * 256];
  static uint8_t aubLabel[kRegionMaxNodes];
  static uint8_t aubMask[5 * kRegionMaxNodes];
  if (size < 4) return 0;
  const uint8_t R = data[0], C = data[1], f = data[2];
  const uint8_t frames = static_cast<uint8_t>(1 + (data[3] & 3));
  memset(aswDiff, 0, sizeof(aswDiff));
  const size_t n = (size - 4) / 2 < kRegionMaxNodes ? (size - 4) / 2 : kRegionMaxNodes;
  memcpy(aswDiff, data + 4, n * 2);
  const auto byteAt = [&](size_t i) -> uint8_t { return size > 4 ? data[4 + i % (size - 4)] : 0; };
  for (size_t i = 0; i < sizeof(aswSelf) / 2; ++i) aswSelf[i] = aswDiff[(i * 7) % kRegionMaxNodes];
  WaterInit(nullptr);
  memset(&gstCoordPair, 0, sizeof(gstCoordPair));
  memset(aswPrev, 0, sizeof(aswPrev));
  memset(aswLast, 0, sizeof(aswLast));
  memset(aubLabel, 255, sizeof(aubLabel));
  uint16_t keep[kRegionMax] = {};
  uint16_t arrA[kRegionMax] = {}, arrB[kRegionMax] = {};
  RegionRect rects[kRegionMax];
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    rects[k] = RegionRect{byteAt(4u * k), byteAt(4u * k + 1), byteAt(4u * k + 2), byteAt(4u * k + 3)};
    keep[k] = (k < 4) ? static_cast<uint16_t>(byteAt(50u + k) * 2) : 0;
    if (static_cast<uint32_t>(R) * C <= kRegionMaxNodes && RectValidOn(rects[k], R, C)) {
      for (int r = rects[k].ubRowStart; r <= rects[k].ubRowEnd; ++r)
        for (int c = rects[k].ubColStart; c <= rects[k].ubColEnd; ++c) aubLabel[r * C + c] = k;
    }
  }
  for (uint8_t s = 0; s < 3; ++s) {
    gstCoordPair.astLastRect[s] = rects[(s + 1) % kRegionMax];
    gstCoordPair.auwLastRectMaxDiff[s] = byteAt(60u + s);
    gstCoordPair.auwSlotX[s] = byteAt(70u + s);
    gstCoordPair.auwSlotY[s] = byteAt(80u + s);
    gstWaterState.astSlotTrack[s].ubState = byteAt(90u + s);
    for (uint8_t h = 0; h < kWaterHistory; ++h) {
      gstWaterState.astSlotTrack[s].asiPresence[h] = byteAt(100u + h) * 16;
      gstWaterState.astSlotTrack[s].astRect[h] = rects[h % kRegionMax];
    }
  }
  WaterModuleState& w = gstWaterState;
  w.WaterGuardOn = f & 1;
  w.WaterGuardRect = rects[0];
  if ((f & 2) != 0) {
    w.WaterCheckScore = 100;
    w.WaterOneFingerCnt = 5;
  }
  if ((f & 4) != 0) {
    w.WaterPairTrack = 1;
    w.WaterPairIdxA = byteAt(40);
    w.WaterPairIdxB = byteAt(41);
  }
  for (uint8_t frame = 0; frame < frames; ++frame) {
    WaterproofInput in;
    memset(&in, 0, sizeof(in));
    in.pswDiff = aswDiff;
    in.ubRowNum = R;
    in.ubColNum = C;
    in.ubFingerNum = (f & 8) != 0 ? 2 : 0;
    in.swDiffMax = 300;
    in.swDiffMin = -300;
    in.pswSelfDiff = aswSelf;
    in.pswSecondProfile = aswSelf;
    in.ubSelfCapEn = (f >> 5) & 1;
    in.uwTouchLevel = 120;
    in.swLowLevel = 100;
    in.pubMaskBuf = aubMask;
    in.pubSlotIndex = gstCoordPair.aubOrderIndex;
    in.puwSlotPeak = gstCoordPair.auwLastRectMaxDiff;
    in.puwSlotX = gstCoordPair.auwSlotX;
    in.puwSlotY = gstCoordPair.auwSlotY;
    in.pvCoordPair = &gstCoordPair;
    in.ubRegionNum = 4;
    in.pstRect = rects;
    in.puwKeep = keep;
    in.pswPrevDiff = aswPrev;
    in.pswDiffLastLast = aswLast;
    in.pubLabelMap = aubLabel;
    in.puwRegionArrayA = arrA;
    in.puwRegionArrayB = arrB;
    ArmUnionFromSlotDip(&in);
    WaterBuildUnions(&in);
    uint8_t live = 0;
    for (const WaterUnion& u : w.astUnion) {
      if (u.label == kWaterUnionFree) continue;
      ++live;
      if (u.label == 0 || u.label >= kWaterLabelSlots) __builtin_trap();
    }
    if (live != w.WaterUnionCount) __builtin_trap();
    if ((f & 0x10) != 0) {
      WaterproofProc(&in);
      if (in.ubRegionNum > kRegionMax) __builtin_trap();
    }
    // The next frame: this one becomes the previous, and the map drifts by one node.
    memcpy(aswLast, aswPrev, sizeof(aswLast));
    memcpy(aswPrev, aswDiff, sizeof(aswPrev));
    memmove(aswDiff + 1, aswDiff, (kRegionMaxNodes - 1) * sizeof(int16_t));
  }
  return 0;
}
