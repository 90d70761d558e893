// Iron-cover detection: a metal cover lying on the panel shows as many nodes of moderate
// positive and negative diff at once, with a raised corner. When that persists for 16 ticks
// of 100 ms the mutual reference is rebuilt at once.
#include <cstring>

#include "region.h"
#include "region_records.h"
#include "region_small.h"
#include "signal_proc.h"
#include "tsa_config.h"

IronCoverState gstIronCoverProc;

namespace {

constexpr uint8_t kIronEnableBit = 1u << 3;  // gstLargeTouchCfg byte 0
constexpr uint8_t kIronLimitDefault = 15;
constexpr uint8_t kIronWindow = 16;
constexpr uint8_t kIronHoldArm = 200;
constexpr uint16_t kIronMinFrameValue = 5;
constexpr uint8_t kIronNoiseLimit = 4;
constexpr uint8_t kIronEvidenceFull = 16;

uint16_t LeaveThreshold() {
  return static_cast<uint16_t>(gstTouchPannelCfg.aubHead[4] | (gstTouchPannelCfg.aubHead[5] << 8));
}

// The frame value: nodes of the moderate bands (t/4, L] and (20 - L, -t/4] over the nodes
// above L (plus one). The counts are taken directly; the mask buffer, which other stages
// expect this stage to leave cleared over the map, is cleared.
uint16_t IronFrameValue(const int16_t* pswDiff, uint16_t uwNodes, int32_t t, int32_t L) {
  uint8_t* pubMask = gstCommon.pubRegionNodeBuf;
  int32_t A = 0, B = 0, C = 0, D = 0;
  for (uint32_t i = 0; i < uwNodes; ++i) {
    const int32_t v = pswDiff[i];
    A += v > (t >> 2);
    B += v > L;
    C += v > 20 - L;
    D += v > -(t >> 2);
  }
  if (pubMask != nullptr) memset(pubMask, 0, uwNodes);
  const int32_t E = B;
  const int16_t swMeasure = static_cast<int16_t>((A + C) - (B + D));
  // With the thresholds out of order (t/4 above L) the measure can turn negative; that is
  // no evidence of a cover, and as an unsigned frame value it would look like strong
  // evidence, so it counts as 0.
  if (swMeasure <= 0) return 0;
  return static_cast<uint16_t>(swMeasure / (E + 1));
}

}  // namespace

void IronStateProcInit() {
  memset(&gstIronCoverProc, 0, sizeof(gstIronCoverProc));
  gstIronCoverProc.ubLimit = kIronLimitDefault;
}

void IronCoverProc() {
  IronCoverState& s = gstIronCoverProc;
  const CommonRecord& c = gstCommon;
  if ((gstLargeTouchCfg.aubData[0] & kIronEnableBit) == 0 || gstRegionRoles.aubSkip[0] != 0 ||
      gstRegionRoles.ubCameraHoleState == 2 || gstRegionRoles.ubHighSignal != 0) {
    s.ubEvidence = 0;
    return;
  }
  s.ubEvidenceFlag = 0;
  s.ubFrameByte = 0;

  const int32_t t = LeaveThreshold();
  const int32_t L = c.uwThreshold2;
  const uint16_t uwNodes = (c.stData.pswDiffData != nullptr && c.uwNodeNum <= kRegionMaxNodes) ? c.uwNodeNum : 0;
  const uint16_t v = IronFrameValue(c.stData.pswDiffData, uwNodes, t, L);
  s.uwFrameValue = v;

  if (s.ubFrameCnt < kIronWindow) {
    ++s.ubFrameCnt;
    s.uwSum = static_cast<uint16_t>(s.uwSum + v);
  } else {
    const uint16_t uwNew = static_cast<uint16_t>(s.uwSum / s.ubFrameCnt);
    if (s.uwAverage > s.ubLimit) s.ubHold = kIronHoldArm;
    s.uwAverage = uwNew;
    s.ubFrameCnt = 0;
    s.uwSum = 0;
  }

  const uint8_t ubTick = c.ubTick100ms;
  const uint8_t ubHold = v >= kIronMinFrameValue ? s.ubHold : 0;
  s.ubHold = ubHold > ubTick ? static_cast<uint8_t>(ubHold - ubTick) : 0;
  if (ubHold <= ubTick) {
    s.ubEvidence = 0;
    return;
  }
  // The noise count is the core's noise hold counter: 5 or 9 in a noisy frame, counting
  // down in quiet ones.
  if (c.ubNoiseHoldCnt > kIronNoiseLimit) {
    s.ubEvidence = 0;
    return;
  }

  const int16_t h = static_cast<int16_t>((t >> 1) & ~1);
  const uint8_t ubCols = c.ubSenNum;
  bool boCorner = false;
  if (uwNodes != 0 && ubCols != 0 && ubCols <= uwNodes) {
    const int16_t* d = c.stData.pswDiffData;
    boCorner = d[uwNodes - 1] > h || d[uwNodes - ubCols] > h || d[ubCols - 1] > h || d[0] > h;
  }
  if (!boCorner || gstRegionRoles.ubHighSignal != 0) {
    s.ubEvidence = 0;
    return;
  }
  s.ubEvidenceFlag = 1;
  s.ubEvidence = static_cast<uint8_t>(s.ubEvidence + ubTick);
  if (s.ubEvidence >= kIronEvidenceFull) {
    s.ubEvidence = 0;
    DelayToUpdateRef(0);
  }
}
