#pragma once
// The second half of peak detection: the peak filter chain that drops noise frames and
// removes peaks that are not fingers, the near-field and self-support frame filters, the
// merge of peaks that belong to one touch, and further exported peak checks that the
// per-frame flow does not call.
#include <stdint.h>

#include "luma_core.h"
#include "luma_search.h"

// Why a frame was dropped (bits of g_usFrameDropPos).
#define LUMA_DROP_NF_NEG_PEAK 0x0001u   // negative peak beside a strong column
#define LUMA_DROP_NF_MAX 0x0002u        // largest diff above 2000
#define LUMA_DROP_NF_MIN 0x0004u        // smallest diff below -2000
#define LUMA_DROP_COL_STRIPE 0x0010u    // a noise stripe down a column
#define LUMA_DROP_SC_TX 0x0020u         // peak without self support along Tx
#define LUMA_DROP_SC_RX 0x0040u         // peak without self support along Rx
#define LUMA_DROP_MC_TX_DIFF 0x0080u    // weak Tx row between strong self lines
#define LUMA_DROP_AREA_JUMP 0x0100u     // jump of the touch-area node count
#define LUMA_DROP_TX_ROW 0x0200u        // Tx row maximum without self support

// A noise filter drops at most this many frames in a row; the next one is let through.
#define LUMA_DROP_RUN_LIMIT 5

#ifdef __cplusplus
extern "C" {
#endif

// ---- Peak filter chain --------------------------------------------------------------------
// A copy of the diff matrix taken by the chain before any peak is removed; the near-field
// rule of the next frame reads it as the previous frame's matrix.
extern LUMA_EXPORT int16_t g_ssMcDiffLast[LUMA_MAX_NODES];
// Byte 0 all-peak line class, byte 1 merged-peak line class (0 none, 1 along Rx, 2 along
// Tx), u16 at 4 and 6 the holds of class 1 and 2 in frames.
extern LUMA_EXPORT uint8_t g_stSeriousFloatingMergeInfo[8];
extern LUMA_EXPORT uint8_t g_bIsPeakInSameRowFlag;
// 0 idle, 1 a touch began with decode noise and lost its first frame, 2 its merge rule ran.
extern LUMA_EXPORT uint8_t s_ucCdmaDecodeState;
extern LUMA_EXPORT uint8_t s_aucColStripeDropCnt[40];

LUMA_EXPORT void AppFilterPeakByCdmaDecode(void);
LUMA_EXPORT void IsCoaxialJudgeByMergePeak(void);
LUMA_EXPORT void AppCameraPeakValidCheck(void);
LUMA_EXPORT void AppSmallWaterFilter(void);
LUMA_EXPORT void AppFloatingMoreFingerFilter(void);
// The column stripe test of the chain; 1 when it dropped the frame.
LUMA_EXPORT uint8_t AppMcColStripeFilter(void);

// ---- Near-field noise and self support ----------------------------------------------------
extern LUMA_EXPORT uint8_t s_ucNfNoiseDropCnt;
extern LUMA_EXPORT uint8_t s_ucScFilterDropCnt;
extern LUMA_EXPORT uint8_t s_ucNfGhostCnt;
// The big-thumb record of the point stage; byte 6 is 1 while a thumb lies along the Rx
// lines.
extern LUMA_EXPORT uint8_t stTruMbRx[7];

LUMA_EXPORT void AppMayBeNfNoiseFilterNew(void);
LUMA_EXPORT void AppPeakFilterBySc(void);
LUMA_EXPORT void AppNFGhostCheck(void);
LUMA_EXPORT uint8_t AppSearchLRThr(uint8_t tx, uint8_t rx, uint8_t axis);
LUMA_EXPORT void AppPeakFilterByMcTxDiff(void);

// ---- Peak merge ---------------------------------------------------------------------------
// Byte 1 merge window in lines, byte 2 the type decided for the pair under test (0 none,
// 1 adjacent, 2 pair test), byte 5 the spread class of the peaks.
extern LUMA_EXPORT uint8_t g_stPeakMergeInfo[8];
extern LUMA_EXPORT uint8_t g_aucBasicflag[2];
extern LUMA_EXPORT uint8_t g_ucBasicPeakNum;
extern LUMA_EXPORT uint8_t g_aucBasicPeak[2 * LUMA_MAX_PEAKS];
extern LUMA_EXPORT uint16_t *pBasicPeakDiff;
extern LUMA_EXPORT uint8_t ucPeakMatchID[LUMA_MAX_PEAKS];
extern LUMA_EXPORT uint8_t m_ucTxTwoPeakIsBigDis;
extern LUMA_EXPORT uint8_t m_ucRxTwoPeakIsBigDis;
extern LUMA_EXPORT uint8_t m_ucAllPeakIsBigDis;
extern LUMA_EXPORT int32_t siSumCalc;
extern LUMA_EXPORT int32_t siSumMerge;
extern LUMA_EXPORT uint8_t s_aucPeakMergeGroup[LUMA_MAX_PEAKS];
extern LUMA_EXPORT uint8_t s_ucMergeNegLevel;
extern LUMA_EXPORT uint8_t s_ucMergeSelfWeakHold;
extern LUMA_EXPORT uint8_t s_ucMinPeakGap;

#define LUMA_MERGE_ADJACENT 0x01u
#define LUMA_MERGE_PAIR_TEST 0x02u

LUMA_EXPORT void AppMcPeakMergeProcess(void);
LUMA_EXPORT void AppMcPeakPairMerge(uint8_t flags);
LUMA_EXPORT uint8_t AppPeakIDMatch(uint8_t peak);
LUMA_EXPORT void AppInitPeakMerge(void);
LUMA_EXPORT void AppMergeToNewID(uint8_t a, uint8_t b, uint8_t count);
LUMA_EXPORT uint16_t AppCalConnectedPathPeakOtoC(const LumaPeakPair *pair);
LUMA_EXPORT int16_t AppFindMinDiffInRangeP2P(const LumaPeakPair *pair);
LUMA_EXPORT int16_t AppMinAveDiffInRangeP2P(uint8_t tx0, uint8_t tx1, uint8_t rx0, uint8_t rx1);
LUMA_EXPORT void AppDoPeakMerge(void);
// 1 when the ridge between the pair is narrow (see the merge's design notes).
LUMA_EXPORT uint8_t AppMergeRidgeIsNarrow(const LumaPeakPair *pair, uint8_t tx0, uint8_t tx1, uint8_t rx0,
                                          uint8_t rx1, int16_t floor);

// ---- Exported peak checks the frame path does not call ------------------------------------
extern LUMA_EXPORT uint16_t g_ucScNotMatchMcFrmCnt;
extern LUMA_EXPORT uint16_t g_usCheckNoiseDbgInfo[10];
extern LUMA_EXPORT uint16_t s_usNfInvalidDropCnt;
extern LUMA_EXPORT uint8_t s_ucSensAbnormalState;

LUMA_EXPORT void IsCoaxialJudgeByAllPeak(void);
LUMA_EXPORT void IsPeakInSameRowCheck(void);
LUMA_EXPORT void AppNfInvalidFilter(void);
LUMA_EXPORT uint8_t IsMayBeOneTouch(void);
LUMA_EXPORT void AppSensitivityAbnormalFilter(void);
LUMA_EXPORT uint8_t AppGetBigDiffNode(uint8_t rx, int16_t limit);
LUMA_EXPORT void CheckUpDownNoiseFeature(void);
LUMA_EXPORT void AppFilterSmallPeak(void);
LUMA_EXPORT void AppFilterCdmaDecodeFrame(void);
LUMA_EXPORT void AppMayBeNfNoiseFilter(void);

#ifdef __cplusplus
}

// Helpers the filters of this header share.
namespace luma_peak {

inline uint8_t TxNum() { return g_stFwConfig.ucTxNum; }
inline uint8_t RxNum() { return g_stFwConfig.ucRxNum; }
inline uint8_t PeakNum() { return g_stPeakData.ucMcPosPeakNum < LUMA_MAX_PEAKS ? g_stPeakData.ucMcPosPeakNum : LUMA_MAX_PEAKS; }
inline uint8_t PeakTx(uint8_t k) { return g_stPeakData.aucMcPeakPos[2 * k]; }
inline uint8_t PeakRx(uint8_t k) { return g_stPeakData.aucMcPeakPos[2 * k + 1]; }
inline bool FrameValid() { return (g_stFrmData.usFrmFlag & LUMA_FRM_VALID) != 0; }
inline void SetFrameValid(bool valid) {
  g_stFrmData.usFrmFlag = static_cast<uint16_t>(valid ? (g_stFrmData.usFrmFlag | LUMA_FRM_VALID)
                                                      : (g_stFrmData.usFrmFlag & ~LUMA_FRM_VALID));
}
// Drops the frame, naming the rule (0: a rule without a bit of its own).
void DropFrame(uint16_t why);
// Near-field mode: charger connected and near-field-like noise measured.
bool NearFieldMode();
// The self value of slot 1 on Rx column rx or Tx line tx; 0 for a line the panel lacks.
int16_t ScRx1(int rx);
int16_t ScTx1(int tx);
// Counts a frame a noise filter has judged; a run of dropped frames longer than
// LUMA_DROP_RUN_LIMIT lets the next frame through and starts again.
template <typename Count>
void LimitDropRun(Count &count) {
  if (!FrameValid()) {
    if (count + 1 > LUMA_DROP_RUN_LIMIT) {
      SetFrameValid(true);
      count = 0;
    } else {
      ++count;
    }
  } else {
    count = 0;
  }
}
// The hold in frames of line class 1 or 2 of g_stSeriousFloatingMergeInfo.
uint16_t ClassHold(int cls);
// The thumb flag of the point stage's big-thumb record.
uint8_t ThumbFlag();
// Spreads (largest - smallest line) of the peak list; both 0 with no peaks.
struct Spread {
  int tx;
  int rx;
};
Spread PeakSpread();

}  // namespace luma_peak
#endif
