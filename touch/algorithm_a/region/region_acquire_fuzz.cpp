// Fuzz entry point: region acquisition on an arbitrary diff map. Input: rows, columns (any
// values; sizes the grid cannot hold must find nothing), a flags byte (bit 0 common mode,
// bit 1 float flag, bit 2 static-electricity search, bit 3 weak-touch mode, bit 4 edge
// column scale, bit 5 previous points), the touch threshold, then the diff values (s16,
// little-endian, missing ones 0).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "coord_records.h"
#include "diff_stages.h"
#include "region_float.h"
#include "region_proc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int16_t aswDiff[kRegionMaxNodes];
  static int16_t aswSelf[2 * 256];
  static uint8_t aubWork[kRegionSavedDiffAt + 2 * kRegionMaxNodes];
  static int16_t aswPrev[kRegionMaxNodes];
  if (size < 4) return 0;
  const uint8_t R = data[0];
  const uint8_t C = data[1];
  const uint8_t f = data[2];
  memset(aswDiff, 0, sizeof(aswDiff));
  const size_t n = (size - 4) / 2 < kRegionMaxNodes ? (size - 4) / 2 : kRegionMaxNodes;
  memcpy(aswDiff, data + 4, n * 2);
  for (size_t i = 0; i < sizeof(aswSelf) / 2; ++i) aswSelf[i] = aswDiff[i % kRegionMaxNodes];
  RegionCommonInit();
  RegionAcquireInit(aubWork);
  memset(&gstCoordPair, 0, sizeof(gstCoordPair));
  gstCoordPair.uwFirstPairLimit = 10;
  memset(gastFloatRegionRecord, 0, sizeof(gastFloatRegionRecord));
  // The previous frame: the map shifted by one node, so that stillness tests see change.
  memset(aswPrev, 0, sizeof(aswPrev));
  memcpy(aswPrev + 1, aswDiff, (kRegionMaxNodes - 1) * sizeof(int16_t));
  gullDiffOverFlag = (f & 0x40) != 0 ? 0x0FFFFFFFFFFFFFFFull : ~0ull;
  for (int frame = 0; frame < 2; ++frame) {
    RegionAcquireInput in;
    memset(&in, 0, sizeof(in));
    in.uwTouchThreshold = data[3];
    in.uwSecondThreshold = static_cast<uint16_t>(data[3] + 20);
    in.ubCommonMode = f & 1;
    in.ubFloatFlag = (f >> 1) & 1;
    in.ubStaticElecSearch = (f >> 2) & 1;
    in.ubWeakTouchMode = (f >> 3) & 1;
    in.ubEdgeColScale = (f & 0x10) != 0 ? 64 : 0;
    in.ubPrevPointNum = (f & 0x20) != 0 ? 2 : 0;
    in.ubColNum = C;
    in.ubRowNum = R;
    in.ubSelfEnable = 1;
    in.pubLabelMap = gaubRegionLabelMap;
    in.pswDiff = aswDiff;
    in.pswSelfDiff = aswSelf;
    in.pswPrevDiff = aswPrev;
    in.pubWorkBuf = aubWork;
    in.ullDiffOverRows = gullDiffOverFlag;
    in.pvCoordPair = &gstCoordPair;
    in.puwPairLastPeak = gstCoordPair.auwLastRectMaxDiff;
    in.stFloatRect = RegionRectFromWord(kRegionRectNone);
    in.pstRect = gstMutualRegion.astRect;
    in.puwPeak = gstMutualRegion.auwPeak;
    in.puwPeakPos = gstMutualRegion.auwPeakPos;
    in.puwWaterValue = gstMutualRegion.auwWaterValue;
    RegionAcquire(&in);
    if (in.ubRegionNum > kRegionMax) __builtin_trap();
    gstMutualRegion.ubRegionNum = in.ubRegionNum;
    // The filters on the same regions, over the same grid.
    gstCommon.ubDrvNum = R;
    gstCommon.ubSenNum = C;
    gstCommon.stData.pswDiffData = static_cast<uint32_t>(R) * C <= kRegionMaxNodes ? aswDiff : nullptr;
    gstRegionRoles.ubBarFilter = 1;
    DeleteIncludeRect();
    NfDeleteBarRegion();
    DeleteSingleRegion();
    MergeSingleRect();
    // A second frame with a slot made steady from the first region, followed by the
    // pairing's slot 0 over the same rectangle: the put-back and the per-slot update.
    if (in.ubRegionNum != 0) {
      RegionTrackSlot& slot = gstRegionAcquireState.astSlot[0];
      slot.ubActive = 1;
      slot.ubFrameCnt = (f & 0x80) != 0 ? 20 : 6;
      slot.uwPeak = 300;
      slot.stRect = slot.stRectCopy1 = gstMutualRegion.astRect[0];
      const RegionRect r = gstMutualRegion.astRect[0];
      gstCoordPair.astLastRect[0] = r;
      gstCoordPair.auwLastRectMaxDiff[0] = 300;
      gstCoordPair.auwDownSlotX[0] = gstCoordPair.auwSlotX[0] = static_cast<uint16_t>(2 * (r.ubColStart + r.ubColEnd));
      gstCoordPair.auwDownSlotY[0] = gstCoordPair.auwSlotY[0] = static_cast<uint16_t>(2 * (r.ubRowStart + r.ubRowEnd));
      gastFloatRegionRecord[0].stRect = r;
      for (uint32_t k = 0; k < kRegionMaxNodes && static_cast<uint32_t>(R) * C <= kRegionMaxNodes; ++k) {
        if (gaubRegionLabelMap[k] == 0) gstRegionAcquireState.aubSlotLabel[k] = 0;
      }
    }
  }
  gstCommon.stData.pswDiffData = nullptr;
  return 0;
}
