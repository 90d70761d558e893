// Recorded frame data: the frame-variable record and the grid-and-line and last-diff
// copies taken while data recording runs.
#include <cstring>

#include "coord_records.h"
#include "diff_stages.h"
#include "tsa_fwpkt.h"
#include "framework.h"
#include "coord_transform.h"
#include "region_proc.h"
#include "region_records.h"
#include "region_small.h"
#include "signal_proc.h"
#include "tsa_common.h"
#include "tsa_custdbg.h"
#include "tsa_fwpkt.h"

uint8_t gstGlobalVarRcrd[kGlobalVarRcrdBytes];
uint8_t gpuwGridAndLineDataRcrd[kGridAndLineRcrdBytes];
int16_t gpswLastDiffDataRcrd[REPORT_MAX_NODES];

extern uint8_t gubHopFlag;

namespace {

// Bytes of each source in the record, in the record's order. The replay side reads the
// same table: any change here is a change of the recorded format.
constexpr uint32_t kCommonFlagBytes = 62;       // gstCommon bytes 0-61: per-frame flags
constexpr uint32_t kStateMachineBytes = 17;     // state, previous state, request word, sleep byte
constexpr uint32_t kFreqHopBytes = 64;
constexpr uint32_t kCoordInputValuesAt = offsetof(CoordComInput, uwConst256);
constexpr uint32_t kCoordInputValueBytes = offsetof(CoordComInput, aubWrapperRes) - kCoordInputValuesAt;
constexpr uint32_t kCoordOutputCountsAt = offsetof(CoordComOutput, ubLeaveHoldCnt);
constexpr uint32_t kCoordOutputCountBytes = sizeof(CoordComOutput) - kCoordOutputCountsAt;
constexpr uint32_t kRegionOutputValuesAt = offsetof(RegionOutput, ubPairEnable);
constexpr uint32_t kRegionOutputValueBytes = sizeof(RegionOutput) - kRegionOutputValuesAt;
constexpr uint32_t kNormalizeBytes = 64;
// Noise records after the hopping record, in the record's order.
constexpr uint32_t kNoiseRecordBytes = sizeof(LightModeRec) + sizeof(ImGlobalRec) + sizeof(LcdHighNoiseRec) +
                                       sizeof(DurationXdataRec) + sizeof(MutualCfgBak) + sizeof(NoiseXdataRec);
// The results of the normalisation output (its array pointers are not recorded).
constexpr uint32_t kNormalizeResultBytes = 4;
constexpr uint32_t kDiffOutputBytes = sizeof(MutualOfsCancelRec) + sizeof(SelfOfsCancelRec);
constexpr uint32_t kNfNoiseBytes = 24;
// Region stage records whose sizes the record fixes: the floating-self state, the
// iron-cover state and the long-big-thumb state.
constexpr uint32_t kFloatSelfProcBytes = sizeof(gstFloatSelfProc);
constexpr uint32_t kIronCoverProcBytes = sizeof(gstIronCoverProc);
constexpr uint32_t kLongBigThumbBytes = sizeof(gstLongBigThumb);
static_assert(kFloatSelfProcBytes == 12 && kIronCoverProcBytes == 16 && kLongBigThumbBytes == 9);
// The pairing record goes in without its touch-down positions (the slot and previous
// positions say where the touches are); with them the record would not fit.
constexpr uint32_t kPairHeadBytes = offsetof(CoordPair, auwDownSlotX);
constexpr uint32_t kPairTailAt = offsetof(CoordPair, auwSlotCounter);
constexpr uint32_t kPairTailBytes = sizeof(CoordPair) - kPairTailAt;

constexpr uint32_t kRecordedBytes = kCommonFlagBytes + 1 + 3 * sizeof(gpuwNewPointX) + kStateMachineBytes +
                                    kNfNoiseBytes + kFreqHopBytes + kNoiseRecordBytes + kCoordInputValueBytes +
                                    kCoordOutputCountBytes + kNormalizeBytes + sizeof(TimeCtrlEx) +
                                    sizeof(gstDynamicLevel) + kNormalizeResultBytes + sizeof(RefdataOutputRec) +
                                    kRegionOutputValueBytes + sizeof(gstDiffIirFilter) + kFloatSelfProcBytes +
                                    sizeof(MutualRegionSet) + sizeof(SelfRegion) + kPairHeadBytes + kPairTailBytes +
                                    kIronCoverProcBytes + kLongBigThumbBytes + sizeof(SensitiveCmd) +
                                    sizeof(CoordNoiseProc) + kDiffOutputBytes;
static_assert(kRecordedBytes <= kGlobalVarRcrdBytes, "frame-variable record overflows");

struct RecordWriter {
  uint8_t* pubOut;
  uint32_t uiAt;
  // Copies N bytes of SRC (or zeros when the source is missing or shorter).
  void Put(const void* pvSrc, uint32_t uiAvail, uint32_t n) {
    const uint32_t uiCopy = pvSrc != nullptr ? (uiAvail < n ? uiAvail : n) : 0;
    if (uiCopy != 0) memcpy(pubOut + uiAt, pvSrc, uiCopy);
    memset(pubOut + uiAt + uiCopy, 0, n - uiCopy);
    uiAt += n;
  }
};

}  // namespace

void FillFrameGlobalVarRcrd() {
  RecordSlice stNf{}, stHop{}, stNorm{};
  CustomDebugSignalSlices(&stNf, &stHop, &stNorm);
  RecordWriter w{gstGlobalVarRcrd, 0};
  w.Put(&gstCommon, sizeof(gstCommon), kCommonFlagBytes);
  w.Put(&gubHopFlag, 1, 1);
  w.Put(gpuwNewPointX, sizeof(gpuwNewPointX), sizeof(gpuwNewPointX));
  w.Put(gpuwNewPointY, sizeof(gpuwNewPointY), sizeof(gpuwNewPointY));
  w.Put(gpuwNewWeight, sizeof(gpuwNewWeight), sizeof(gpuwNewWeight));
  w.Put(&gstStateMachine, sizeof(gstStateMachine), kStateMachineBytes);
  w.Put(stNf.pvData, stNf.uiBytes, kNfNoiseBytes);
  w.Put(stHop.pvData, stHop.uiBytes, kFreqHopBytes);
  w.Put(&gstLightModeNcln, sizeof(gstLightModeNcln), sizeof(gstLightModeNcln));
  w.Put(&gstImGlobal, sizeof(gstImGlobal), sizeof(gstImGlobal));
  w.Put(&gstLcdHighNoise, sizeof(gstLcdHighNoise), sizeof(gstLcdHighNoise));
  w.Put(&gstDurationXdata, sizeof(gstDurationXdata), sizeof(gstDurationXdata));
  static_assert(sizeof(MutualCfgBak) == kGlobalVarMutualCfgBakBytes);
  static_assert(kCommonFlagBytes + 1 + 3 * sizeof(gpuwNewPointX) + kStateMachineBytes + kNfNoiseBytes +
                    kFreqHopBytes + sizeof(LightModeRec) + sizeof(ImGlobalRec) + sizeof(LcdHighNoiseRec) +
                    sizeof(DurationXdataRec) ==
                kGlobalVarMutualCfgBakAt);
  w.Put(&gstMutualCfgBak, sizeof(gstMutualCfgBak), sizeof(gstMutualCfgBak));
  w.Put(&gstNoiseXdata, sizeof(gstNoiseXdata), sizeof(gstNoiseXdata));
  w.Put(reinterpret_cast<const uint8_t*>(&gstCoordComInput) + kCoordInputValuesAt, kCoordInputValueBytes,
        kCoordInputValueBytes);
  w.Put(reinterpret_cast<const uint8_t*>(&gstCoordComOutput) + kCoordOutputCountsAt, kCoordOutputCountBytes,
        kCoordOutputCountBytes);
  w.Put(stNorm.pvData, stNorm.uiBytes, kNormalizeBytes);
  w.Put(&gstTimeCtrlEx, sizeof(gstTimeCtrlEx), sizeof(gstTimeCtrlEx));
  w.Put(&gstDynamicLevel, sizeof(gstDynamicLevel), sizeof(gstDynamicLevel));
  w.Put(&gstNormalizeOutput.ubBValid, kNormalizeResultBytes, kNormalizeResultBytes);
  w.Put(&gstRefdataOutput, sizeof(gstRefdataOutput), sizeof(gstRefdataOutput));
  w.Put(reinterpret_cast<const uint8_t*>(&gstRegionOutput) + kRegionOutputValuesAt, kRegionOutputValueBytes,
        kRegionOutputValueBytes);
  w.Put(&gstDiffIirFilter, sizeof(gstDiffIirFilter), sizeof(gstDiffIirFilter));
  w.Put(&gstFloatSelfProc, kFloatSelfProcBytes, kFloatSelfProcBytes);
  w.Put(&gstMutualRegion, sizeof(gstMutualRegion), sizeof(gstMutualRegion));
  w.Put(&gstSelfRegion, sizeof(gstSelfRegion), sizeof(gstSelfRegion));
  w.Put(&gstCoordPair, kPairHeadBytes, kPairHeadBytes);
  w.Put(reinterpret_cast<const uint8_t*>(&gstCoordPair) + kPairTailAt, kPairTailBytes, kPairTailBytes);
  w.Put(&gstIronCoverProc, kIronCoverProcBytes, kIronCoverProcBytes);
  w.Put(&gstLongBigThumb, kLongBigThumbBytes, kLongBigThumbBytes);
  w.Put(&gstSensitiveCmd, sizeof(gstSensitiveCmd), sizeof(gstSensitiveCmd));
  w.Put(&gstCoordNoiseProc, sizeof(gstCoordNoiseProc), sizeof(gstCoordNoiseProc));
  w.Put(&gstMutualOfsCancel, sizeof(gstMutualOfsCancel), sizeof(gstMutualOfsCancel));
  w.Put(&gstSelfOfsCancel, sizeof(gstSelfOfsCancel), sizeof(gstSelfOfsCancel));
  w.Put(nullptr, 0, kGlobalVarRcrdBytes - w.uiAt);

  // The frame's maps: mutual raw values, then the self raw and self reference lines.
  const uint32_t uiNodes = static_cast<uint32_t>(gstCommon.ubDrvNum) * gstCommon.ubSenNum;
  const uint32_t uiLines = static_cast<uint32_t>(gstCommon.ubDrvNum) + gstCommon.ubSenNum;
  memset(gpuwGridAndLineDataRcrd, 0, sizeof(gpuwGridAndLineDataRcrd));
  memset(gpswLastDiffDataRcrd, 0, sizeof(gpswLastDiffDataRcrd));
  if (uiNodes > REPORT_MAX_NODES) return;
  RecordWriter g{gpuwGridAndLineDataRcrd, 0};
  const uint32_t uiMapBytes = uiNodes * 2;
  const uint32_t uiLineBytes = uiLines * 2;
  const uint32_t uiRoom = kGridAndLineRcrdBytes;
  auto put = [&](const void* pv, uint32_t n) {
    const uint32_t uiTake = g.uiAt + n <= uiRoom ? n : uiRoom - g.uiAt;
    g.Put(pv, uiTake, uiTake);
  };
  put(gstCommon.stData.puwRawData, uiMapBytes);
  put(gstCommon.stData.puwSelfRawData, uiLineBytes);
  put(gstCommon.stData.puwSelfRefData, uiLineBytes);
  // The diff map still holds the previous frame's diff when a parsed frame is recorded.
  const int16_t* pswDiff = gstCommon.stData.pswDiffData;
  if (pswDiff != nullptr) memcpy(gpswLastDiffDataRcrd, pswDiff, uiMapBytes);
}
