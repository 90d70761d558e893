#pragma once
// Small calculation helpers of algorithm B and its assignment solver and peak finder.
#include <stdbool.h>
#include <stdint.h>

#include "luma_core.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LUMA_KM_N 11
#define LUMA_KM_ABSENT 32767

LUMA_EXPORT uint8_t GetMin(const uint8_t *array, uint8_t n);
LUMA_EXPORT uint8_t GetMax(const uint8_t *array, uint8_t n);
LUMA_EXPORT uint16_t GetLineMax(const int16_t *line, uint8_t n, uint8_t *index);
LUMA_EXPORT uint16_t GetLineAbsMax(const int16_t *line, uint8_t n, uint8_t *index);
LUMA_EXPORT void *memcpy_16bit(void *destination, const void *source, uint16_t bytes);
LUMA_EXPORT bool AppIsInAreaCheck(const uint8_t rect[4], uint8_t x, uint8_t y);
LUMA_EXPORT bool AppIsEdgePeak(uint8_t tx, uint8_t rx);
LUMA_EXPORT bool AppScTxDataIsExist(uint8_t line);
LUMA_EXPORT bool AppScRxDataIsExist(uint8_t line);
LUMA_EXPORT bool IsDispVertical(void);
LUMA_EXPORT bool IsDispHorizontal(void);
LUMA_EXPORT bool IsDispHorizontal_UsbLeft(void);
LUMA_EXPORT bool IsDispHorizontal_UsbRight(void);
LUMA_EXPORT uint16_t CRC16Check(const uint8_t *bytes, uint16_t length);
LUMA_EXPORT void MurmurHash3_x86_32(const void *key, int32_t length, uint32_t seed, uint32_t *out);
LUMA_EXPORT uint32_t ByteReverse(uint32_t value, uint8_t n);
LUMA_EXPORT uint32_t WordReverse(uint32_t value, uint8_t n);
LUMA_EXPORT uint32_t AppCalcDistance(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2);
LUMA_EXPORT void TimerCountDownbyActiveFrame(void);

// Assignment of previous to current points.
typedef struct LumaKmIdCtx {
  uint8_t ucOldNum;
  uint8_t ucNewNum;
  const uint16_t *pusOldPos;  // (x, y) pairs; x = 32767: absent
  const uint16_t *pusNewPos;
  uint16_t *pusResult;        // LUMA_KM_N entries: the column matched to each row
} LumaKmIdCtx;

typedef struct LumaKmResult {
  uint16_t ausCol[LUMA_KM_N];
} LumaKmResult;

extern LUMA_EXPORT LumaKmResult g_assCalOut;

LUMA_EXPORT uint8_t DrvCal_KmID(LumaKmIdCtx *ctx);
// The solver alone: a maximum-weight perfect matching over 11 x 11 weights (row stride 11).
LUMA_EXPORT LumaKmResult *Cal_ID(const int32_t *weights);

// Local extremum search over a row-major matrix.
#pragma pack(push, 1)
typedef struct LumaScPeakParam {
  uint8_t ucCols;
  uint8_t ucRows;
  uint8_t ucMaxPeak;
  uint8_t ucMode;  // 1: eight neighbours, otherwise four
  const int16_t *pssData;
  uint16_t *pusPosPeak;
  uint16_t *pusNegPeak;
  int16_t ssPosThr;
  int16_t ssNegThr;
  int16_t ssHighLevel;
  int16_t ssLowLevel;
} LumaScPeakParam;

typedef struct LumaScPeakResult {
  uint8_t ucPosNum;
  uint8_t ucNegNum;
  uint16_t usHighCnt;
  uint16_t usLowCnt;
  int16_t ssMin;
  uint16_t usMinPos;  // row | column << 8
  int16_t ssMax;
  uint16_t usMaxPos;
} LumaScPeakResult;
#pragma pack(pop)

LUMA_EXPORT void DrvCal_ScPeak(const LumaScPeakParam *param, LumaScPeakResult *result);


// ---- Matrix library ---------------------------------------------------------------------
// Element (r, c) of every matrix operand sits at r x ucRxNum + c.
#define LUMA_MAT_ADD 1
#define LUMA_MAT_SUB 2
#define LUMA_MAT_MOV 4
#define LUMA_MAT_MIN 8192
#define LUMA_MAT_MAX 16384

typedef struct LumaMatOp {
  uint8_t ucRows;
  uint8_t ucCols;
  uint8_t ucShift;
  uint8_t ucUnsigned;     // operands read as u16; in a move: transpose
  const int16_t *pssSrc1;
  const int16_t *pssSrc2; // second operand, or one value per line
  int16_t *pssDst;
  uint16_t usOp;
  uint8_t ucAbs;
  uint8_t ucDir;          // 0: one result per row, otherwise per column
} LumaMatOp;

typedef struct LumaMacCtx {
  uint8_t ucCol0;
  uint8_t ucRow0;
  uint8_t ucCols;
  uint8_t ucRows;
  uint8_t ucThr;
  uint8_t ucMode;
  const int16_t *pssData;
  uint16_t *pusOut;       // six words: weight, row moment, column moment, high half first
} LumaMacCtx;

LUMA_EXPORT void DrvCal_MatrixProc(const LumaMatOp *op);
LUMA_EXPORT void DrvCal_MatrixAmp(const LumaMatOp *op, int16_t gain);
LUMA_EXPORT void DrvCal_McMac(const LumaMacCtx *ctx);
LUMA_EXPORT void DrvCal_MatrixCompensation(const LumaMatOp *op, uint16_t threshold, uint8_t step);
// h = 0: a value past its line's bound counts as the bound; 1: it is left out.
LUMA_EXPORT void DrvCal_MatrixAvg(const LumaMatOp *op, uint8_t h);
LUMA_EXPORT void DrvCal_MatrixMaxMin(const LumaMatOp *op);
LUMA_EXPORT void DrvCal_MatrixMin(const LumaMatOp *op);
LUMA_EXPORT void DrvCal_MatrixMax(const LumaMatOp *op);
LUMA_EXPORT void DrvCal_MatrixSubConst(const LumaMatOp *op);
LUMA_EXPORT uint16_t DrvCal_MatrixCount(const LumaMatOp *op, int16_t low, int16_t high);
LUMA_EXPORT uint16_t DrvCal_MatrixSubMax(const LumaMatOp *op);

// Whole-frame wrappers: drive count rows, sense count columns. Flag bits: 0 unsigned,
// 1 absolute values, 2 per column. The descriptor returned is the wrapper's own and
// stays valid until its next call.
#define LUMA_CAL_UNSIGNED 1
#define LUMA_CAL_ABS 2
#define LUMA_CAL_COLUMNS 4
LUMA_EXPORT LumaMatOp *AppCal_MatrixCommOp(LumaMatOp *op, int16_t *dst, const int16_t *src1, const int16_t *src2,
                                           uint8_t kind);
LUMA_EXPORT LumaMatOp *AppCal_MatrixAdd(int16_t *dst, const int16_t *src1, const int16_t *src2);
LUMA_EXPORT LumaMatOp *AppCal_MatrixSub(int16_t *dst, const int16_t *src1, const int16_t *src2, uint8_t shift);
LUMA_EXPORT LumaMatOp *AppCal_MatrixMov(int16_t *dst, const int16_t *src);
LUMA_EXPORT LumaMatOp *AppCal_MatrixLineColAvg(int16_t *dst, const int16_t *src, const int16_t *bounds, uint8_t flags,
                                               uint8_t h);
LUMA_EXPORT LumaMatOp *AppCal_MatrixLineFilter(int16_t *dst, const int16_t *src, const int16_t *steps,
                                               uint32_t threshold, uint8_t flags);
LUMA_EXPORT LumaMatOp *AppCal_MatrixSubConst(int16_t *dst, const int16_t *src, const int16_t *values, uint8_t flags);
LUMA_EXPORT LumaMatOp *AppCal_MatrixLineMinMax(int16_t *dst, const int16_t *src, uint8_t flags);
LUMA_EXPORT uint16_t AppCal_MatrixCount(const int16_t *src, int16_t low, int16_t high);
LUMA_EXPORT int16_t AppCal_MatrixMax(const int16_t *src);
LUMA_EXPORT int16_t AppCal_MatrixAvg(const int16_t *src);

#ifdef __cplusplus
static_assert(sizeof(LumaScPeakResult) == 14);
}
#endif
