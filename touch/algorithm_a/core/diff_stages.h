#pragma once

#include "vendor_export.h"
// Diff-data stages: their input and output records, the mutual and self diff statistics,
// the row masks and the procedures beside the stages of core_stages.h.
#include <cstdint>

#include "signal_proc.h"
#include "tsa_common.h"
#include "tsa_frame_links.h"

#pragma pack(push, 1)
struct DiffdataInputRec {
  CommonRecord* pstCommon;
  NormalizeOutputRec* pstRawdataOutput;
};
struct DiffdataOutputRec {
  MutualOfsCancelRec* pstMutual;
  struct SelfOfsCancelRec* pstSelf;
};
// Self diff statistics as measured, then after self offset cancel, then the indices of
// the column and row maxima within their sections.
struct SelfOfsCancelRec {
  int16_t swColMin;
  int16_t swColMax;
  int16_t swRowMin;
  int16_t swRowMax;
  int16_t swColMinAfter;
  int16_t swColMaxAfter;
  int16_t swRowMinAfter;
  int16_t swRowMaxAfter;
  uint8_t ubColMaxIndex;
  uint8_t ubRowMaxIndex;
};
#pragma pack(pop)
static_assert(sizeof(SelfOfsCancelRec) == 18);

extern DiffdataInputRec gstDiffdataInput;
extern DiffdataOutputRec gstDiffdataOutput;
extern SelfOfsCancelRec gstSelfOfsCancel;
extern uint64_t gullDiffOverFlag;
extern uint64_t gullHighNoiseB;
extern uint8_t gubGloveShakeCnt;

void DiffdataInit();
void DiffDataCommonInit();
void DenoiseDiffInit();
void GetMutualDiffData();
VENDOR_EXPORT void DenoiseMutualDiff();
VENDOR_EXPORT void SetHaveTouchFlag();
void DenoiseSelfDiff();
VENDOR_EXPORT void NoiseDiffReduce();
