#pragma once
// Background removal on lines: basis fits, masked-run bridging and the self-capacitance
// line filter with its masks.
#include <stdint.h>

#include "luma_core.h"

#ifdef __cplusplus
extern "C" {
#endif

// Coefficient store of a fit: at most this many basis vectors take part.
#define LUMA_ACF_MAX_VECTORS 10
// Longest line the steep-step mask and the filters built on it handle.
#define LUMA_ACF_MAX_LINE 128
#define LUMA_SC_FEAT_VECTORS 5
#define LUMA_SC_RX_LEN 38
#define LUMA_SC_TX_LEN 17
#define LUMA_SC_STEEP_STEP 450
#define LUMA_SC_MC_MARK 150

// ---- Basis fits and line filters --------------------------------------------------
LUMA_EXPORT void LibAcfTrans(const int16_t *line, const int16_t *basis, uint16_t n, uint8_t m, int16_t *out);
LUMA_EXPORT void LibAcfTransWithMask(const int16_t *line, const int16_t *basis, uint16_t n, uint8_t m,
                                     int16_t *out, const uint8_t *mask);
LUMA_EXPORT void LibAcfTransDownSample(const int16_t *line, const int16_t *short_basis, uint16_t n_short,
                                       const int16_t *full_basis, uint16_t n_full, uint8_t m, int16_t *out);
LUMA_EXPORT void LibAcfTransDownSampleWithMask(const int16_t *line, const int16_t *short_basis, uint16_t n_short,
                                               const int16_t *full_basis, uint16_t n_full, uint8_t m,
                                               int16_t *out, const uint8_t *mask);
LUMA_EXPORT void LmxGetMask(const int16_t *line, uint16_t n, int16_t t1, int16_t t2, uint8_t *mask);
LUMA_EXPORT void LmxRowFilter(const int16_t *line, uint16_t n, int16_t t1, int16_t t2, int16_t *out);
LUMA_EXPORT uint8_t LibAppAcfFilter(const int16_t *line, const int16_t *basis, uint16_t n, uint8_t m, int16_t *out);
LUMA_EXPORT uint8_t LibAppAcfFilterWithMask(const int16_t *line, const int16_t *basis, uint16_t n, uint8_t m,
                                            int16_t t1, int16_t t2, int16_t *out);
LUMA_EXPORT uint8_t LibAppAcfFilterInputRefData(const void *p);

// The fit behind every variant: coefficients of the first m vectors of coef_basis (vector j
// at j x coef_stride) over coef_n entries, rebuilt from fit_basis over fit_n entries into
// out, only where mask is non-zero when a mask is given. out may alias line.
void LumaAcfFit(const int16_t *line, const int16_t *coef_basis, uint16_t coef_stride, uint16_t coef_n,
                const int16_t *fit_basis, uint16_t fit_stride, uint16_t fit_n, uint8_t m, int16_t *out,
                const uint8_t *mask);

// Marked runs (entries whose mask byte, read as signed, is >= 1) become a straight line
// between their unmarked neighbours.
LUMA_EXPORT void AppMcAcfPeakFilter(const int16_t *line, const uint8_t *mask, uint16_t n, int16_t *out);

// ---- Mutual background tools, row by row (rows x cols, row-major) --------------------------
#define LUMA_DYNAMIC_BASE_SIZE 1812
extern LUMA_EXPORT uint8_t gDynamicBaseData[LUMA_DYNAMIC_BASE_SIZE];
struct LumaMatOp;
LUMA_EXPORT void AppMcFrameAcfPeakFilter(const int16_t *matrix, const uint8_t *masks, uint8_t rows, uint8_t cols,
                                         int16_t *out);
LUMA_EXPORT uint8_t AppMcAcfByRowData(const int16_t *row, const int16_t *basis, const uint8_t *mask, uint8_t n,
                                      uint8_t m, int16_t *out);
LUMA_EXPORT void AppMcFrameAcfTrans(const int16_t *matrix, uint8_t rows, uint8_t cols, const int16_t *basis,
                                    const int8_t *counts, int16_t *out);
LUMA_EXPORT void AppMcFrameAcfTransWithMask(const int16_t *matrix, uint8_t rows, uint8_t cols, const int16_t *basis,
                                            const int8_t *counts, int16_t *out, const uint8_t *masks);
LUMA_EXPORT struct LumaMatOp *AppMcAcfSubMean(int16_t *matrix, uint8_t n, const void *unused, int16_t *means);
LUMA_EXPORT void AppMcNoiseLevelEval(const int16_t *a, const int16_t *b, const void *, const void *, int16_t *out);
LUMA_EXPORT void AppMcAcfSubNoise(const int16_t *a, const void *, const void *, const int16_t *d, const void *,
                                  int16_t *out);
LUMA_EXPORT void AppMcCalcBaseUpdateStatus(const uint8_t *mask, uint8_t rows, uint8_t cols, uint8_t *counts,
                                           uint8_t *status);
LUMA_EXPORT void AppMcMaskEnhance(uint8_t *mask, uint8_t rows, uint8_t cols, int8_t *budget, uint8_t level,
                                  const int16_t *diff);
LUMA_EXPORT void AppMcAcfDilate_3x3(const uint8_t *source, uint8_t rows, uint8_t cols, uint8_t *target);
LUMA_EXPORT void AppInitDynamicBase(const void *block);

// ---- Self-capacitance masks and basis filter ----------------------------------------
typedef struct LumaScAcfParam {
  uint16_t usMaskVectors1;
  uint16_t usMaskThr1;
  uint16_t usMaskVectors2;
  uint16_t usMaskThr2;
  uint16_t usFitVectors;
} LumaScAcfParam;

extern LUMA_EXPORT int16_t gScFeatRx[LUMA_SC_FEAT_VECTORS * LUMA_SC_RX_LEN];
extern LUMA_EXPORT int16_t gScFeatTx[LUMA_SC_FEAT_VECTORS * LUMA_SC_TX_LEN];
extern LUMA_EXPORT int16_t gScFeatRxNormal_1[LUMA_SC_FEAT_VECTORS * 13];
extern LUMA_EXPORT int16_t gScFeatRxNormal_2[LUMA_SC_FEAT_VECTORS * 13];
extern LUMA_EXPORT int16_t gScFeatRxNormal_3[LUMA_SC_FEAT_VECTORS * 12];
extern LUMA_EXPORT uint8_t gucScRxMask[LUMA_SC_RX_LEN];
extern LUMA_EXPORT uint8_t gucScTxMask[LUMA_SC_TX_LEN];
extern LUMA_EXPORT uint8_t gucScRxNormalMask[LUMA_SC_RX_LEN];
extern LUMA_EXPORT uint8_t gucRxMaskReadyFlg;
extern LUMA_EXPORT uint8_t gucTxMaskReadyFlg;
extern LUMA_EXPORT uint8_t gucRxNormalMaskReadyFlg;

// axis 0: Rx line, 1: Tx line, 2: Rx line as three interleaved sub-lines.
LUMA_EXPORT uint8_t AppScDiffAcfFilter(const int16_t *line, uint8_t n, int16_t *out, uint8_t axis,
                                       const LumaScAcfParam *param);
LUMA_EXPORT uint8_t AppGetScMask(const int16_t *line, const int16_t *basis, uint8_t n, uint8_t *mask,
                                 const LumaScAcfParam *param);
LUMA_EXPORT void AppAcfCalcMaskBySrcRowData(const int16_t *line, uint8_t n, int16_t threshold, uint8_t *mask);
// stride: distance between basis vectors (0: n).
LUMA_EXPORT uint8_t AppScFilteredWhenMaskFull(const int16_t *line, const int16_t *basis, uint8_t *mask, uint8_t n,
                                              uint8_t stride, int16_t *out);
LUMA_EXPORT uint8_t AppScMaskByMcDiff(const int16_t *matrix, uint8_t tx, uint8_t rx);
LUMA_EXPORT int16_t *AppScFullMskDiffFilter(int16_t *line, uint8_t n, int16_t threshold);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
extern "C" {
#endif

// ---- One-dimensional line filters ------------------------------------------------------
#define LUMA_LINE_NO_POSITION 127

LUMA_EXPORT int16_t *AppLineEquFilterLR(int16_t *dst, const int16_t *src, uint8_t n, uint8_t p, uint16_t c);
LUMA_EXPORT int32_t AppLineEquFilterAll(int16_t *dst, const int16_t *src, uint8_t n, uint8_t p, uint16_t c);
LUMA_EXPORT int16_t *AppScDiffRateLRFilter(int16_t *line, uint8_t n, uint8_t k, uint16_t c);
LUMA_EXPORT int16_t *AppDiffLineMeanFilter(int16_t *line, uint8_t n, int16_t c, uint8_t two_pass, uint8_t mode);
LUMA_EXPORT int16_t *AppDiffLineCompressFilter(int16_t *line, uint8_t n, int16_t s);
LUMA_EXPORT int16_t *AppLineSubRefPosFilter(int16_t *dst, const int16_t *src, uint8_t n, uint8_t p);
LUMA_EXPORT uint8_t AppLineSubAbsMinFilter(int16_t *dst, const int16_t *src, uint8_t n, uint8_t phase);
// The quietest entry of a line against the reference projection (entry i against projection
// channel stride x i + offset while the line is not a drive line); 127 for an empty line.
uint8_t LumaLineQuietest(const int16_t *line, uint8_t n, uint8_t stride, uint8_t offset);
LUMA_EXPORT uint8_t AppLineABSMinPosGet(const int16_t *line, uint8_t n, uint8_t m, uint8_t phase);
LUMA_EXPORT int16_t *AppMcNoiseCountVectorizer(int16_t *line, uint8_t n);
LUMA_EXPORT int16_t *AppABSNullNoise(int16_t *line, uint8_t n);
LUMA_EXPORT int16_t *AppNoiseDiffBak(int16_t *dst, const int16_t *src);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
extern "C" {
#endif

// ---- Matrix mean and rate filters ------------------------------------------------------
// Direction of a matrix filter: per Tx row, or per Rx column.
#define LUMA_DIR_ROW 0
#define LUMA_DIR_COL 4

extern LUMA_EXPORT uint8_t g_ucNFColByPassFlag;
extern LUMA_EXPORT uint16_t g_usMaxOriMcAvg;
extern LUMA_EXPORT uint16_t g_ucDbgOriDiffNoiseCnt[3];

LUMA_EXPORT void AppDiffMatrixMeanFilter(int16_t *matrix, uint8_t direction, uint16_t clip, uint8_t two_pass,
                                         uint8_t mode);
LUMA_EXPORT uint8_t AppCalOriDiffRowMatrixMeanLvl(uint16_t clip, uint8_t two_pass);
LUMA_EXPORT int16_t *AppMcDiffMatrixLRMeanFilter(int16_t *matrix, const uint8_t *pos, uint16_t clip);
LUMA_EXPORT void AppMcDiffABSMinPosGet(const int16_t *matrix, uint8_t *out);
LUMA_EXPORT int16_t *AppMcDiffRateFilter(int16_t *matrix, const uint8_t *pivot, uint16_t *slope, uint8_t clip);
LUMA_EXPORT void AppMcDiffRateFilterLR(int16_t *matrix, const uint8_t *pivot, const void *unused, uint16_t clip);
LUMA_EXPORT uint8_t AppDiffCompressFilter(int16_t *matrix, uint16_t step);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
extern "C" {
#endif

// ---- Time moving average of the diff ---------------------------------------------------
#pragma pack(push, 1)
typedef struct LumaTmaFrame {
  int16_t assMc[LUMA_MAX_NODES];     // 0: averaged mutual matrix, configured Rx count per row
  int16_t assSc[LUMA_SC_LINE_LEN];   // 1804: averaged self line
  uint8_t reserved1930[2314 - 1930];
} LumaTmaFrame;
#pragma pack(pop)

// 3: full data rate; 1: reduced rate, the diff is time-averaged.
extern LUMA_EXPORT uint8_t g_ucFWDataRateFlag;
extern LUMA_EXPORT LumaTmaFrame g_stTMAFifoFrame;

LUMA_EXPORT void AppMcTMA(int16_t *acc, int16_t *cur, uint32_t gain, int8_t count);
LUMA_EXPORT void AppMcAdd(int16_t *acc, int16_t *m, uint32_t gain, int8_t count);
LUMA_EXPORT void AppMcDiffAmp(int16_t *m, uint16_t gain, uint8_t divisor);
LUMA_EXPORT void AppScTMA(int16_t *acc, int16_t *line, uint32_t gain, int8_t count);
LUMA_EXPORT void AppScAdd(int16_t *acc, int16_t *line, uint32_t gain, int8_t count);
LUMA_EXPORT void AppScDiffAmp(int16_t *line, uint16_t gain, uint8_t divisor);
LUMA_EXPORT int16_t *AppCalScAdd(int16_t *dst, const int16_t *a, const int16_t *b);
LUMA_EXPORT int16_t *AppCalScSub(int16_t *dst, const int16_t *a, const int16_t *b);
LUMA_EXPORT void AppTMAFIFOClear(void);
LUMA_EXPORT void AppTMAFifoProc(uint8_t mc_count, uint8_t sc_count);
LUMA_EXPORT void AppDiffFrontFifo(void);

#ifdef __cplusplus
static_assert(sizeof(LumaTmaFrame) == 2314);
static_assert(offsetof(LumaTmaFrame, assSc) == 1804);
}
#endif

#ifdef __cplusplus
extern "C" {
#endif

// ---- 3x3 smoothing and line widths -----------------------------------------------------
// rect: {tx0, rx0, tx1, rx1}, inclusive; null smooths the whole matrix.
LUMA_EXPORT int16_t AppConvolution(int16_t *matrix, int16_t *peak, int16_t threshold, const uint8_t *rect);
LUMA_EXPORT void AppPosPeakConvolution(int16_t *matrix);
LUMA_EXPORT uint8_t GetScWidth(uint8_t pos, const int16_t *line, uint8_t n, uint8_t *start, uint8_t *end);

#ifdef __cplusplus
}
#endif
