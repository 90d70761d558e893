#pragma once
// The small region-side stages and their records: the result-common record that carries
// the region count, iron-cover detection, the self-capacitance region filter, the long
// big-thumb judgement, the floating-self state they read, raw-data consistency
// optimisation and diff beautification. Every record is a packed module global; nothing is
// allocated per frame.
#include <cstddef>
#include <cstdint>

#include "region_float.h"
#include "region_records.h"

#pragma pack(push, 1)

// gstResultCommonInput: where the result-side steps find the common record, and the
// frame's region count.
struct ResultCommonInputRec {
  const uint8_t* pubGrid;     // the grid block (sense count, drive count, ...)
  const void* pvBuffers;      // the buffer block (the frame maps)
  const uint16_t* puwScreen;  // the screen-extent block
  const void* pvCommon;       // the common record itself
  uint8_t ubRegionNum;
};
static_assert(sizeof(ResultCommonInputRec) == 33);
static_assert(offsetof(ResultCommonInputRec, ubRegionNum) == 32);

// gstIronCoverProc: iron-cover detection state.
struct IronCoverState {
  uint16_t uwSum;          // 0: running sum of the frame values of the current window
  uint16_t uwAverage;      // 2: average of the last full window of 16 frames
  uint16_t uwFrameValue;   // 4: v of the last frame
  uint8_t ubHold;          // 6: countdown (in ticks) that lets the evidence grow
  uint8_t ubFrameCnt;      // 7: frames in the current window, 0..16
  uint8_t ubEvidence;      // 8: evidence accumulator (ticks)
  uint8_t ubEvidenceFlag;  // 9: set in a frame that met the corner test
  uint8_t aubRes10[3];     // 10
  uint8_t ubFrameByte;     // 13: cleared with the evidence flag every enabled frame
  uint8_t ubRes14;         // 14
  uint8_t ubLimit;         // 15: the average must exceed it to arm the hold
};
static_assert(sizeof(IronCoverState) == 16);
static_assert(offsetof(IronCoverState, ubHold) == 6);
static_assert(offsetof(IronCoverState, ubEvidenceFlag) == 9);
static_assert(offsetof(IronCoverState, ubFrameByte) == 13);
static_assert(offsetof(IronCoverState, ubLimit) == 15);

// gstSelfCapProc: self-capacitance filter state.
struct SelfCapProcState {
  uint8_t ubDropped;  // regions dropped by the last run
  uint8_t ubRes1;
  uint8_t ubEnable;   // configuration byte 0 bit 0
  uint8_t ubSecond;   // configuration byte 0 bit 4
};
static_assert(sizeof(SelfCapProcState) == 4);

// gstLongBigThumb: the long big-thumb verdict and its countdowns.
struct LongBigThumbState {
  uint8_t ubResult;       // 0: 0 none, 1 long big thumb, 2 narrow band
  uint8_t ubThumbHold;    // 1: frames the thumb verdict still holds
  uint8_t ubBlock;        // 2: frames the thumb verdict stays blocked
  uint8_t ubNarrowHold;   // 3: frames the narrow-band verdict still holds
  uint8_t ubNarrowBlock;  // 4: frames the narrow-band verdict stays blocked
  RegionRect stUnion;     // 5: union rectangle of the frame's regions
};
static_assert(sizeof(LongBigThumbState) == 9);
static_assert(offsetof(LongBigThumbState, stUnion) == 5);

// Raw-data consistency optimisation state.
struct RawConsisState {
  uint8_t ubProgress;                    // bit 0 started, bit 1 gains learned
  uint16_t auwGain[UINT8_MAX];           // per column, 128 = 1.0
};

#pragma pack(pop)

// Context of diff beautification, built by its callers.
struct DiffBeautyCtx {
  uint8_t ubHavePrev;          // a previous frame exists
  uint8_t ubRegionNum;
  const int16_t* pswPrevDiff;  // previous mutual diff map
  const int16_t* pswPrevSelf;  // previous self data
  int16_t* pswDiff;            // mutual diff map to change
  int16_t* pswSelf;            // self data to change
  uint16_t uwNodeNum;
  int16_t swTouchLevel;
  int16_t swSecondLevel;
  uint8_t ubSelfRows;          // self row entries (the row part comes first)
  uint16_t uwSelfTotal;        // all self entries
  int16_t swSelfRowThr;
  int16_t swSelfColThr;
};

extern ResultCommonInputRec gstResultCommonInput;
extern IronCoverState gstIronCoverProc;
extern SelfCapProcState gstSelfCapProc;
extern LongBigThumbState gstLongBigThumb;
extern RawConsisState gstRawConsis;

// Result-common record and the result steps no stage list calls.
void ResultCommonInit();
void ResultInit();
void ResultProc();
// Full region-module initialisation (the core calls its parts one by one instead).
void RegionInit();
void RegionFloatSelfProcInit();

// Iron-cover detection.
void IronStateProcInit();

// Self-capacitance region filter.
void RegFilterBySelfCapInit();
uint8_t NeedRegFilterBySelf();
void SelfFilterRectGeneral(uint16_t uwRowThr, uint16_t uwColThr);
// PREDICATE (region index) returning bit 0 set keeps a region from the self test.
uint8_t SelfFilterRectCommonSub(uint32_t uiRowThr, uint32_t uiColThr, uint8_t (*pfnPredicate)(uint8_t));

// Raw-data consistency optimisation and diff beautification.
void RawDataConsisOptmInit();
void DiffDataBeautyInit();
void DiffDataBeauty(const DiffBeautyCtx* pstCtx);
void DiffDataBeautyProc();
// The amplify/shrink step alone: IN (N nodes) into OUT.
void MutualDiffDataBeauty(const int16_t* pswIn, uint16_t* puwOut, uint16_t uwNodes, int16_t swSecondLevel);
// The temporal step alone: IN and PREV into OUT.
void MutualDiffDataIir(const int16_t* pswIn, int16_t* pswOut, const int16_t* pswPrev, uint16_t uwNodes,
                       int16_t swTouchLevel);

// The part of the software initialisation that belongs to these stages (run after the
// coordinate initialisation): raw-data consistency, and the iron-cover and self-filter
// states (see region_result.cpp for why the core runs the last two).
void ResultSoftwareInit();
