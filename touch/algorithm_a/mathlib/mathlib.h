#pragma once
// Math library of algorithm A: integer map, vector and scalar operations over the sensor
// arrays, one family per operation in several element types. The library keeps no
// configuration, never allocates and calls nothing but memcpy/memset; every member runs
// on the caller's thread.
//
// Families, by name prefix:
//   LibXpu2  two-dimensional operations; they return a status word (below).
//   LibVpu2  one-dimensional operations with out-parameters; 1 for an empty vector, else 0.
//   Lib      scalar routines and a few map routines.
//   LibVpu   element-wise vector operations; most leave the statistics of their result in
//            gstVpuStatistic; 1 for length 0 (nothing written, statistics untouched), else 0.
//   LibMem   copy, fill and sum of plain arrays.
// Only LibXpu2 members check pointers.
#include <cstddef>
#include <cstdint>

// ---- Status words of the LibXpu2 members: 0x04 | function id | result ----------------------

inline constexpr uint32_t kLibStatusDone = 0x00;       // also an empty window
inline constexpr uint32_t kLibStatusRange = 0x01;      // a size or parameter out of range
inline constexpr uint32_t kLibStatusNullPtr = 0x02;    // a required pointer is null

constexpr uint32_t LibStatus(uint32_t uiFuncId, uint32_t uiResult) { return 0x040000u | (uiFuncId << 8) | uiResult; }

enum LibXpu2FuncId : uint32_t {
  kLibIdRegionSearch = 0x02,
  kLibIdGravityCenter = 0x03,
  kLibIdGaussian2dS16 = 0x04,
  kLibIdGaussian2dU16 = 0x05,
  kLibIdSumU16 = 0x06, kLibIdAvgU16 = 0x07,
  kLibIdSumU32 = 0x08, kLibIdAvgU32 = 0x09,
  kLibIdSumU8 = 0x0A, kLibIdAvgU8 = 0x0B,
  kLibIdSumS16 = 0x0C, kLibIdAvgS16 = 0x0D,
  kLibIdSumS32 = 0x0E, kLibIdAvgS32 = 0x0F,
  kLibIdSumS8 = 0x10, kLibIdAvgS8 = 0x11,
  kLibIdSquareSumU16 = 0x12, kLibIdSquareSumS16 = 0x13,
  kLibIdSquareSumPairU16 = 0x14, kLibIdSquareSumPairS16 = 0x15,
  kLibIdWeightFilterV1V2 = 0x16,
  kLibIdWeightFilterV1 = 0x17,
  kLibIdDiv = 0x19,
  kLibIdListcDone = 0x19, kLibIdListcError = 0x1C,
  kLibIdGaussian1dU16 = 0x1A, kLibIdGaussian1dS16 = 0x1B,
  kLibIdMaxMin = 0x20,          // S16, U32, S32
  kLibIdMaxMinU16 = 0x21,
  kLibIdSubS32 = 0x24, kLibIdSubU32 = 0x25,
  kLibIdSubS16 = 0x26,          // also the S16 pooling
  kLibIdSubU16 = 0x27,
  kLibIdSubConstS32 = 0x28, kLibIdSubConstU32 = 0x29,
  kLibIdSubConstS16 = 0x2A, kLibIdSubConstU16 = 0x2B,
  kLibIdRelu = 0x2C,
  kLibIdCopyU8 = 0x2E,
  kLibIdCopyU16U32 = 0x2F,
  kLibIdPoolingU16 = 0x31,
  kLibIdIntrCount = 0x33,
  kLibIdMultU16 = 0x35, kLibIdMultS16 = 0x36,
  kLibIdMultAddS16 = 0x37,
  kLibIdCustom = 0x38,
};

// Largest map the region search takes: its row mask has 64 bits and its node indexes are
// 16-bit. Larger maps are refused with the range status.
inline constexpr uint32_t kLibRegionMaxRows = 64;
inline constexpr uint32_t kLibRegionMaxNodes = 65535;
// Node limit of the weight filters and the map subtractions.
inline constexpr uint32_t kLibWeightFilterMaxNodes = 8191;

// ---- Module-wide records -------------------------------------------------------------------

// Statistics of the last statistics-writing member. Shared and unguarded: a stage reads it
// right after its own call, on the same thread, before the next such call.
struct VpuStatistic {
  uint32_t ulAcc;        // sum (signed elements sign-extended, modulo 2^32)
  uint16_t uwMinData;    // smallest element (signed compare for the S16 members)
  void* pMinDataAddr;
  uint16_t uwMaxData;    // largest element
  void* pMaxDataAddr;
};
extern VpuStatistic gstVpuStatistic;

// Signedness flags of the two source operands of the last LibXpu2CustomFunction call.
extern uint32_t gemR1Sign;
extern uint32_t gemR2Sign;

uint32_t LibVpuGetAcc();
uint16_t LibVpuGetMinData();
void* LibVpuGetMinDataAddr();
uint16_t LibVpuGetMaxData();
void* LibVpuGetMaxDataAddr();

// ---- Parameter records ---------------------------------------------------------------------

#pragma pack(push, 1)

// Region search parameters (36 bytes).
struct RegionSearchParam {
  uint8_t* pubLabelMap;     // u8 rows x columns, written by the search
  uint32_t uiRowMaskLow;    // bit r: row r (0-31) may seed a region
  uint32_t uiRowMaskHigh;   // bit r - 32: rows 32-63
  int16_t swSeedThreshold;
  uint8_t ubRows;
  uint8_t ubCols;
  uint8_t ubMaxRegions;
  uint8_t ubSaddleFactor;       // fS, 64ths of the node being expanded
  uint8_t ubDiagStrongFactor;   // fDs
  uint8_t ubDiagWeakFactor;     // fDw
  uint8_t ubOrthStrongFactor;   // fOs
  uint8_t ubOrthWeakFactor;     // fOw
  uint8_t aubReserved[2];
  uint32_t uiKeepLines;         // non-zero keeps line-shaped regions
  uint32_t uiLookAhead;         // 1: weak orthogonal members must beat the node two steps on
};
static_assert(sizeof(RegionSearchParam) == 36);
static_assert(offsetof(RegionSearchParam, uiRowMaskLow) == 8);
static_assert(offsetof(RegionSearchParam, swSeedThreshold) == 16);
static_assert(offsetof(RegionSearchParam, ubMaxRegions) == 20);
static_assert(offsetof(RegionSearchParam, ubOrthWeakFactor) == 25);
static_assert(offsetof(RegionSearchParam, uiKeepLines) == 28);
static_assert(offsetof(RegionSearchParam, uiLookAhead) == 32);

// One found region (12 bytes).
struct RegionSearchRecord {
  uint8_t ubTop;
  uint8_t ubBottom;
  uint8_t ubLeft;
  uint8_t ubRight;
  int16_t swPeak;
  uint8_t ubPeakRow;
  uint8_t ubPeakCol;
  uint16_t uwScore;
  uint16_t uwNodeCount;
};
static_assert(sizeof(RegionSearchRecord) == 12);
static_assert(offsetof(RegionSearchRecord, swPeak) == 4);
static_assert(offsetof(RegionSearchRecord, uwScore) == 8);

// 3 x 3 filter record (42 bytes); the kernel is read as s16 by the S16 member.
struct TwoDimGaussianParam {
  uint32_t uiOffsetEnable;   // 1 adds the constant offset to every output
  uint32_t uiBorderMode;     // 0 replicates the edge, non-zero reads outside nodes as 0
  uint32_t uiOffsetWidth;    // 1 the whole 16-bit offset, otherwise its low byte
  uint32_t uiShift;
  uint16_t auwKernel[9];     // row-major, up-left first
  uint16_t uwOffset;
  uint8_t ubFirstRow;
  uint8_t ubFirstCol;
  uint8_t ubLastRow;
  uint8_t ubLastCol;
  uint8_t ubRows;
  uint8_t ubCols;
};
static_assert(sizeof(TwoDimGaussianParam) == 42);
static_assert(offsetof(TwoDimGaussianParam, auwKernel) == 16);
static_assert(offsetof(TwoDimGaussianParam, uwOffset) == 34);
static_assert(offsetof(TwoDimGaussianParam, ubFirstRow) == 36);

// Weighted sum of two maps (11 bytes).
struct WeightFilterV1V2Param {
  uint8_t ubRows;
  uint8_t ubCols;
  int16_t swBias;          // added before the final shift
  int16_t swWeight1;
  int16_t swWeight2;
  uint8_t ubShift;         // final shift
  uint8_t ubShift1;        // shift of the first product
  uint8_t ubShift2;        // shift of the second product
};
static_assert(sizeof(WeightFilterV1V2Param) == 11);
static_assert(offsetof(WeightFilterV1V2Param, ubShift) == 8);

// Weighted one map (8 bytes).
struct WeightFilterV1Param {
  uint8_t ubRows;
  uint8_t ubCols;
  int16_t swBias;
  int16_t swWeight;
  uint8_t ubShift;         // final shift
  uint8_t ubShift1;        // product shift
};
static_assert(sizeof(WeightFilterV1Param) == 8);

// Three-tap filter along a vector (24 bytes).
struct OneDimGaussianParam {
  uint16_t uwLength;
  uint16_t auwKernel[3];   // previous, centre, next
  uint16_t uwOffset;
  uint8_t aubReserved[2];
  uint32_t uiOffsetEnable;
  uint32_t uiOffsetWidth;  // 1 the whole 16 bits, otherwise the low byte (sign-extended in S16)
  uint32_t uiShift;
};
static_assert(sizeof(OneDimGaussianParam) == 24);
static_assert(offsetof(OneDimGaussianParam, uiOffsetEnable) == 12);

// Least-squares fit (8 bytes).
struct LinearRegressParam {
  uint16_t uwCount;        // 1 to 1023 pairs
  uint8_t ubQ;
  uint8_t ubP;
  uint16_t uwMeanX;
  uint16_t uwMeanY;
};
static_assert(sizeof(LinearRegressParam) == 8);

#pragma pack(pop)

// Operand of the custom strided operation (32 bytes): elements at row base + column index
// x column stride; after the last column the row base advances by the row stride.
struct CustomOperand {
  void* pBase;
  uint32_t uiReserved;
  uint32_t uiSigned;        // non-zero: elements are signed (sources only)
  uint32_t uiWidth;         // 0: 8 bits, 1: 16 bits, other: 32 bits
  uint16_t uwRowStride;     // bytes
  uint16_t uwReserved;
  uint16_t uwColStride;     // bytes
  uint16_t uwLastCol;       // columns - 1
  uint32_t uiReserved2;
};
static_assert(sizeof(CustomOperand) == 32);
static_assert(offsetof(CustomOperand, uiSigned) == 12);
static_assert(offsetof(CustomOperand, uwRowStride) == 20);
static_assert(offsetof(CustomOperand, uwColStride) == 24);
static_assert(offsetof(CustomOperand, uwLastCol) == 26);

// Destination operand (24 bytes): as a source operand without the signed flag.
struct CustomDestOperand {
  void* pBase;
  uint32_t uiReserved;
  uint32_t uiWidth;         // 0: 8 bits, 1: 16 bits, other: 32 bits
  uint16_t uwRowStride;     // bytes
  uint16_t uwReserved;
  uint16_t uwColStride;     // bytes
  uint16_t uwLastCol;       // columns - 1
};
static_assert(sizeof(CustomDestOperand) == 24);
static_assert(offsetof(CustomDestOperand, uiWidth) == 12);
static_assert(offsetof(CustomDestOperand, uwColStride) == 20);

inline constexpr int32_t kLibCustomGroupSum = 1;
inline constexpr int32_t kLibCustomMultiply = 4;
inline constexpr int32_t kLibCustomGroupMaxMin = 2048;
inline constexpr int32_t kLibCustomSubtract = 4096;

// Request of LibXpu2CustomFunction (112 bytes). The 16 parameter bytes at 88 are read by
// operation code through the accessors below.
struct CustomFunctionParam {
  CustomOperand stSrc1;
  CustomOperand stSrc2;
  CustomDestOperand stDst;
  uint8_t aubOpParam[16];   // bytes 88-103
  uint8_t ubOutputs;        // grouped sum: number of outputs
  uint8_t aubReserved[3];
  int32_t siOpCode;
};
static_assert(sizeof(CustomFunctionParam) == 112);
static_assert(offsetof(CustomFunctionParam, stDst) == 64);
static_assert(offsetof(CustomFunctionParam, aubOpParam) == 88);
static_assert(offsetof(CustomFunctionParam, ubOutputs) == 104);
static_assert(offsetof(CustomFunctionParam, siOpCode) == 108);

// Operation parameters, by code (offsets within aubOpParam).
// 1 grouped sum:    u32 average flag @0, u32 remainder flag @4, u16 group length @8, u8 shift @12
// 4 multiply:       u32 mode @0 (0 product, other k.x+b), u16 element count @4, u32 shift 1 @8, u32 shift 2 @12
// 2048 max/min:     u16 group length @0, u8 group count @2
// 4096 subtract:    u32 constant @0, u16 element count @4, u32 mode @8 (0 two operands, other constant)
void LibCustomSetGroupSum(CustomFunctionParam* pstParam, uint32_t uiAverage, uint32_t uiRemainder,
                          uint16_t uwGroupLen, uint8_t ubShift, uint8_t ubOutputs);
void LibCustomSetMultiply(CustomFunctionParam* pstParam, uint32_t uiMode, uint16_t uwCount, uint32_t uiShift1,
                          uint32_t uiShift2);
void LibCustomSetGroupMaxMin(CustomFunctionParam* pstParam, uint16_t uwGroupLen, uint8_t ubGroups);
void LibCustomSetSubtract(CustomFunctionParam* pstParam, uint32_t uiMode, uint32_t uiConstant, uint16_t uwCount);

// Optional completion function of the saturating members and LibVpuSrchGtU16.
using LibVpuDoneFunc = void (*)();

// ---- Two-dimensional members (LibXpu2) -----------------------------------------------------

// Seeded region growing over an s16 map; 0 when done, 0x040202 for a null pointer, and
// 0x040201 for a map of more than 64 rows or 65535 nodes (nothing written).
uint32_t LibXpu2RegionSearch(const int16_t* pswMap, uint8_t* pubRegionCount, uint16_t* puwScoreTotal,
                             RegionSearchParam* pstParam, RegionSearchRecord* pstRegions);

// 3 x 3 weighted filter over the record's window; output packed to the window.
uint32_t LibXpu2TwoDimGaussianFilterU16(const uint16_t* puwIn, uint16_t* puwOut, const TwoDimGaussianParam* pstParam);
uint32_t LibXpu2TwoDimGaussianFilterS16(const int16_t* pswIn, uint16_t* puwOut, const TwoDimGaussianParam* pstParam);

// out = ((a*w1 >> s1) + (b*w2 >> s2) + bias) >> shift; out may be a or b. 1 to 8191 nodes.
uint32_t LibXpu2WeightFilterV1V2S16(const int16_t* pswA, const int16_t* pswB, const WeightFilterV1V2Param* pstParam,
                                    int16_t* pswOut);
// out = (((in*w) >> s1) + bias) >> shift; out may be in. 1 to 8191 nodes.
uint32_t LibXpu2WeightFilterV1S16(const int16_t* pswIn, const WeightFilterV1Param* pstParam, int16_t* pswOut);

uint32_t LibXpu2OneDimGaussianFilterU16(const uint16_t* puwIn, uint16_t* puwOut, const OneDimGaussianParam* pstParam);
uint32_t LibXpu2OneDimGaussianFilterS16(const int16_t* pswIn, int16_t* pswOut, const OneDimGaussianParam* pstParam);

// acc[i] += in[i] over rows x columns; columns 1-1023 (1-256 for 32-bit sources), rows 1-61.
uint32_t LibXpu2SumU8(const uint8_t* pubIn, uint32_t* puiAcc, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2SumU16(const uint16_t* puwIn, uint32_t* puiAcc, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2SumU32(const uint32_t* puiIn, uint32_t* puiAcc, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2SumS8(const int8_t* psbIn, int32_t* psiAcc, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2SumS16(const int16_t* pswIn, int32_t* psiAcc, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2SumS32(const int32_t* psiIn, int32_t* psiAcc, uint8_t ubRows, uint16_t uwCols);
// Mean of rows x columns nodes into *out (truncating); same limits as the sums.
uint32_t LibXpu2AvgU8(const uint8_t* pubIn, uint8_t* pubOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2AvgU16(const uint16_t* puwIn, uint16_t* puwOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2AvgU32(const uint32_t* puiIn, uint32_t* puiOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2AvgS8(const int8_t* psbIn, int8_t* psbOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2AvgS16(const int16_t* pswIn, int16_t* pswOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2AvgS32(const int32_t* psiIn, int32_t* psiOut, uint8_t ubRows, uint16_t uwCols);

// Per row four u16: maximum, 0, minimum, 0. Columns 1-1023, rows 1-63.
uint32_t LibXpu2MaxMinS16(const int16_t* pswIn, uint16_t* puwOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2MaxMinU16(const uint16_t* puwIn, uint16_t* puwOut, uint8_t ubRows, uint16_t uwCols);

// out = a - b / a - k, wrapping; 1 to 8191 nodes.
uint32_t LibXpu2SubS16(const int16_t* pswA, const int16_t* pswB, int16_t* pswOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2SubU16(const uint16_t* puwA, const uint16_t* puwB, uint16_t* puwOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2SubS32(const int32_t* psiA, const int32_t* psiB, int32_t* psiOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2SubU32(const uint32_t* puiA, const uint32_t* puiB, uint32_t* puiOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2SubConstS16(const int16_t* pswA, int16_t swK, int16_t* pswOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2SubConstU16(const uint16_t* puwA, uint16_t uwK, uint16_t* puwOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2SubConstS32(const int32_t* psiA, int32_t siK, int32_t* psiOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2SubConstU32(const uint32_t* puiA, uint32_t uiK, uint32_t* puiOut, uint8_t ubRows, uint16_t uwCols);

// out = in when in > threshold, else the floor value. S16: 1 to 4095 nodes; U16 any (0: nothing).
uint32_t LibXpu2ReluS16(const int16_t* pswIn, int16_t* pswOut, uint16_t uwLen, int16_t swThreshold, int16_t swFloor);
uint32_t LibXpu2ReluU16(const uint16_t* puwIn, uint16_t* puwOut, uint16_t uwLen, uint16_t uwThreshold, uint16_t uwFloor);

uint32_t LibXpu2CopyU8(const uint8_t* pubSrc, uint8_t* pubDst, uint16_t uwLen);
uint32_t LibXpu2CopyU16(const uint16_t* puwSrc, uint16_t* puwDst, uint16_t uwLen);
uint32_t LibXpu2CopyU32(const uint32_t* puiSrc, uint32_t* puiDst, uint16_t uwLen);

// Least squares over n pairs; six u32 out: slope, remainder, intercept, Sxx, Syy, Sxy.
// Returns 1 when computed, 0 for a null pointer or a count outside 1-1023.
uint32_t LibXpu2LinearRegress(const uint16_t* puwX, const uint16_t* puwY, const LinearRegressParam* pstParam,
                              uint32_t* puiOut);

// Strided fill/copy/arithmetic engine; always 0x043800.
uint32_t LibXpu2CustomFunction(CustomFunctionParam* pstParam);

// Members that only check their parameters (02 null pointer, 01 out of range, else 00).
uint32_t LibXpu2GravityCenter(const int16_t* pswIn, const uint8_t* pubParam, uint16_t* puwOut);
uint32_t LibXpu2SquareSumU16(const uint16_t* puwIn, uint32_t* puiOut, uint16_t uwLen);
uint32_t LibXpu2SquareSumS16(const int16_t* pswIn, uint32_t* puiOut, uint16_t uwLen);
uint32_t LibXpu2SquareSumPairU16(const uint16_t* puwA, const uint16_t* puwB, uint32_t* puiOut, uint16_t uwLen);
uint32_t LibXpu2SquareSumPairS16(const int16_t* pswA, const int16_t* pswB, uint32_t* puiOut, uint16_t uwLen);
uint32_t LibXpu2DivU32U16(const uint32_t* puiA, const uint16_t* puwB, uint32_t* puiOut, uint16_t uwLen);
uint32_t LibXpu2DivS32U16(const int32_t* psiA, const uint16_t* puwB, int32_t* psiOut, uint16_t uwLen);
uint32_t LibXpu2ListcS16(const int16_t* pswIn, const uint8_t* pubFlags, int16_t* pswOut, uint16_t uwLen);
uint32_t LibXpu2ListcU16(const uint16_t* puwIn, const uint8_t* pubFlags, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibXpu2ListcS32(const int32_t* psiIn, const uint8_t* pubFlags, int32_t* psiOut, uint16_t uwLen);
uint32_t LibXpu2ListcU32(const uint32_t* puiIn, const uint8_t* pubFlags, uint32_t* puiOut, uint16_t uwLen);
uint32_t LibXpu2MaxMinU32(const uint32_t* puiIn, uint32_t* puiOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2MaxMinS32(const int32_t* psiIn, int32_t* psiOut, uint16_t uwLen);
uint32_t LibXpu2PoolingS16(const int16_t* pswIn, int16_t* pswOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2PoolingU16(const uint16_t* puwIn, uint16_t* puwOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2IntrCountS16(const int16_t* pswIn, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibXpu2IntrCountU16(const uint16_t* puwIn, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibXpu2MultU16(const uint16_t* puwA, const uint16_t* puwB, uint32_t* puiOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2MultS16(const int16_t* pswA, const int16_t* pswB, int32_t* psiOut, uint8_t ubRows, uint16_t uwCols);
uint32_t LibXpu2MultAddS16(const int16_t* pswA, const int16_t* pswB, int32_t* psiOut, uint8_t ubRows, uint16_t uwCols);

// ---- One-dimensional members (LibVpu2): 1 for length 0, else 0 -----------------------------

// Four fields of the element width: maximum, address of the first maximum, minimum, address
// of the first minimum (addresses truncated to the field width).
uint32_t LibVpu2MaxMinU16(const uint16_t* puwIn, uint16_t uwLen, uint16_t* puwOut);
uint32_t LibVpu2MaxMinS16(const int16_t* pswIn, uint16_t uwLen, int16_t* pswOut);
uint32_t LibVpu2MaxMinU32(const uint32_t* puiIn, uint16_t uwLen, uint32_t* puiOut);
uint32_t LibVpu2MaxMinS32(const int32_t* psiIn, uint16_t uwLen, int32_t* psiOut);
uint32_t LibVpu2SumU16(const uint16_t* puwIn, uint16_t uwLen, uint32_t* puiSum);
uint32_t LibVpu2SumS16(const int16_t* pswIn, uint16_t uwLen, uint32_t* puiSum);
uint32_t LibVpu2SumU32(const uint32_t* puiIn, uint16_t uwLen, uint32_t* puiSum);
uint32_t LibVpu2SumS32(const int32_t* psiIn, uint16_t uwLen, uint32_t* puiSum);
uint32_t LibVpu2AveU16(const uint16_t* puwIn, uint16_t uwLen, uint16_t* puwAve);
uint32_t LibVpu2AveS16(const int16_t* pswIn, uint16_t uwLen, int16_t* pswAve);
uint32_t LibVpu2AveU32(const uint32_t* puiIn, uint16_t uwLen, uint32_t* puiAve);
uint32_t LibVpu2AveS32(const int32_t* psiIn, uint16_t uwLen, int32_t* psiAve);
uint32_t LibVpu2SubU16(const uint16_t* puwA, const uint16_t* puwB, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibVpu2SubS16(const int16_t* pswA, const int16_t* pswB, int16_t* pswOut, uint16_t uwLen);
uint32_t LibVpu2SubU32(const uint32_t* puiA, const uint32_t* puiB, uint32_t* puiOut, uint16_t uwLen);
uint32_t LibVpu2SubS32(const int32_t* psiA, const int32_t* psiB, int32_t* psiOut, uint16_t uwLen);
uint32_t LibVpu2SubConstU16(const uint16_t* puwA, uint16_t uwK, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibVpu2SubConstS16(const int16_t* pswA, int16_t swK, int16_t* pswOut, uint16_t uwLen);
uint32_t LibVpu2SubConstU32(const uint32_t* puiA, uint32_t uiK, uint32_t* puiOut, uint16_t uwLen);
uint32_t LibVpu2SubConstS32(const int32_t* psiA, int32_t siK, int32_t* psiOut, uint16_t uwLen);
// 32-bit elements (srcGap + 4) bytes apart in, (dstGap + 4) bytes apart out.
uint32_t LibVpu2SubConstOffsetS32(const void* pIn, int32_t siK, void* pOut, uint16_t uwLen, uint16_t uwSrcGap,
                                  uint16_t uwDstGap);
uint32_t LibVpu2CopyU8(const uint8_t* pubSrc, uint8_t* pubDst, uint16_t uwLen);
uint32_t LibVpu2CopyU16(const uint16_t* puwSrc, uint16_t* puwDst, uint16_t uwLen);
uint32_t LibVpu2CopyU32(const uint32_t* puiSrc, uint32_t* puiDst, uint16_t uwLen);
// Gathers u16 elements (gap + 4) bytes apart into a packed vector; like a move, it copies
// backwards when the source lies below the destination.
uint32_t LibVpu2CopyOffsetU16(const void* pSrc, uint16_t* puwDst, uint16_t uwLen, uint16_t uwGap);
// Append in[i] at out[*counter] (counter += 1) for each flag byte equal to 0 / 1.
uint32_t LibVpu2ListZeroU16(const uint16_t* puwIn, const uint8_t* pubFlags, uint16_t* puwOut, uint16_t* puwCount,
                            uint16_t uwLen);
uint32_t LibVpu2ListZeroS16(const int16_t* pswIn, const uint8_t* pubFlags, int16_t* pswOut, uint16_t* puwCount,
                            uint16_t uwLen);
uint32_t LibVpu2ListZeroU32(const uint32_t* puiIn, const uint8_t* pubFlags, uint32_t* puiOut, uint16_t* puwCount,
                            uint16_t uwLen);
uint32_t LibVpu2ListZeroS32(const int32_t* psiIn, const uint8_t* pubFlags, int32_t* psiOut, uint16_t* puwCount,
                            uint16_t uwLen);
uint32_t LibVpu2ListOneU16(const uint16_t* puwIn, const uint8_t* pubFlags, uint16_t* puwOut, uint16_t* puwCount,
                           uint16_t uwLen);
uint32_t LibVpu2ListOneS16(const int16_t* pswIn, const uint8_t* pubFlags, int16_t* pswOut, uint16_t* puwCount,
                           uint16_t uwLen);
uint32_t LibVpu2ListOneU32(const uint32_t* puiIn, const uint8_t* pubFlags, uint32_t* puiOut, uint16_t* puwCount,
                           uint16_t uwLen);

// ---- Scalar and map routines (Lib) ---------------------------------------------------------

// Magnitude of an I/Q pair by CORDIC; the low 16 bits of each argument are used, signed.
uint32_t LibCordicSqrt(int32_t siI, int32_t siQ);

// Consistency of a u16 map: differences at distance step along the rows (Drv) or mixed
// second differences (All). diff is scratch of rows x (cols - step) (Drv) or
// (rows - step) x cols (All) nodes holding s16 values; the map's first nodes are
// overwritten with the absolute differences; maxAbs gets the largest magnitude; returns
// their sum. With no difference to take, maxAbs is 32767 and the sum 0.
uint32_t LibCalcConsistencyAll(uint16_t* puwMap, uint16_t* puwDiff, uint16_t* puwMaxAbs, uint8_t ubRows, uint8_t ubCols,
                               uint8_t ubStep);
uint32_t LibCalcConsistencyDrv(uint16_t* puwMap, uint16_t* puwDiff, uint16_t* puwMaxAbs, uint8_t ubRows, uint8_t ubCols,
                               uint8_t ubStep);

// Integer square roots: Newton steps (below 2 gives 1) and bit-by-bit rounded down.
uint32_t LibSqrtU32(uint32_t uiX);
uint16_t LibSqrtU16(uint16_t uwX);
uint16_t LibSqrtU16RoundingLib(uint16_t uwX);

uint16_t LibAbsS16(int16_t swX);
uint32_t LibAbsS32(int32_t siX);
uint16_t LibAbsDiffS16(int16_t swA, int16_t swB);
uint16_t LibAbsDiffU16(uint16_t uwA, uint16_t uwB);
uint32_t LibAbsDiffS32(int32_t siA, int32_t siB);
uint8_t LibAbsDiffU8(uint8_t ubA, uint8_t ubB);

// True when x < margin or x > max - margin.
bool LibBoundaryJudge(int32_t siX, int32_t siMax, int32_t siMargin);
// (right - left + 1) x (bottom - top + 1) of {top, bottom, left, right}.
uint16_t LibGetRectSize(const uint8_t* pubRect);
// c x a + b.
uint16_t LibGetCellIndex(uint8_t ubA, uint8_t ubB, uint8_t ubC);
// Sum of n u16; 0 for n = 0 (a checksum never inherits a previous call's statistics).
uint32_t LibCheckSumU16(const uint16_t* puwIn, uint16_t uwLen);
// Moves old towards new by at most step.
int32_t LibFilterXY(int32_t siOld, int32_t siNew, int32_t siStep);

// x[i] = min((x[i] * k[i]) >> shift, 65535), then + b[i] when addB is 1 (the statistics
// sum then holds the sum of the new x). Returns x.
uint16_t* LibNormalizeKaddB(uint16_t* puwX, uint32_t* puiScratch, const uint16_t* puwK, uint8_t ubShift,
                            const uint16_t* puwB, uint8_t ubAddB, uint16_t uwLen);

uint32_t LibBezierControlPoint(uint32_t uiP0, uint32_t uiP1, uint32_t uiP2);
// Quadratic Bezier in sixteenths: p1 at t = 0, p0 at t = 16, p2 the control point.
uint32_t LibBezierInterpolation(uint32_t uiP0, uint32_t uiP1, uint32_t uiP2, uint32_t uiT);

// Temporal blend: hist = ((128 - a) * cur + a * hist) >> 7 over rows x cols nodes.
uint32_t LibIIRDataProcess(const int16_t* pswCur, int16_t* pswHist, uint8_t ubRows, uint8_t ubCols, uint8_t ubAlpha);

// Whether any row difference at distance step exceeds threshold in magnitude.
bool LibIsFingerMove(const uint16_t* puwMap, int16_t* pswScratch, uint16_t uwThreshold, uint8_t ubCols, uint8_t ubRows,
                     uint8_t ubStep);
// data[i] = (a - 1) * data[i] / b, or 0 when b is 0.
void LibClearPartNoise(uint16_t uwLen, int16_t* pswData, int16_t swA, int16_t swB);
// Nodes of the inclusive rectangle above threshold.
uint16_t LibGetTouchNode(uint8_t ubTop, uint8_t ubBottom, uint8_t ubLeft, uint8_t ubRight, const int16_t* pswMap,
                         int16_t swThreshold, uint8_t ubCols);
// Zeroes nRows rows at top and bottom and nCols columns at both sides.
void LibEdgeClear(uint8_t ubClearRows, uint8_t ubClearCols, uint8_t ubRows, uint8_t ubCols, int16_t* pswMap);
// out[i] = |in[i]|; returns the sum.
uint32_t LibGetAbsSumS16(const int16_t* pswIn, uint16_t* puwOut, uint16_t uwLen);

// ---- Element-wise vector members (LibVpu): 1 for length 0, else 0 --------------------------

// Statistics of a vector into gstVpuStatistic (first-occurrence addresses).
uint32_t LibVpuStatisticU8(const uint8_t* pubIn, uint16_t uwLen);
uint32_t LibVpuStatisticU16(const uint16_t* puwIn, uint16_t uwLen);
uint32_t LibVpuStatisticOffsetU16(const void* pIn, uint16_t uwLen, uint16_t uwGap);   // gap + 2 bytes apart
// Signed compares from 32767 / -32768. Mode 1: first-occurrence addresses; otherwise both
// addresses are in[0].
uint32_t LibVpuStatisticS16(const int16_t* pswIn, uint16_t uwLen, uint32_t uiUnused, uint32_t uiMode);
uint32_t LibVpuStatisticOffsetS16(const void* pIn, uint16_t uwLen, uint16_t uwGap);
uint32_t LibVpuStatisticU8Tiny(const uint8_t* pubIn, uint16_t uwLen);
uint32_t LibVpuStatisticU16Tiny(const uint16_t* puwIn, uint16_t uwLen);
uint32_t LibVpuStatisticS16Tiny(const int16_t* pswIn, uint16_t uwLen);

// out = a - b, wrapping; statistics of out (signed; both addresses out[0]).
uint32_t LibVpuQsubS16(const int16_t* pswA, const int16_t* pswB, int16_t* pswOut, uint16_t uwLen);
uint32_t LibVpuQsubS16Tiny(const int16_t* pswA, const int16_t* pswB, int16_t* pswOut, uint16_t uwLen);

uint32_t LibVpuAddU16(const uint16_t* puwA, const uint16_t* puwB, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibVpuAddS16(const int16_t* pswA, const int16_t* pswB, int16_t* pswOut, uint16_t uwLen);
uint32_t LibVpuAddConstU16(const uint16_t* puwA, uint16_t uwK, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibVpuAddConstS16(const int16_t* pswA, int16_t swK, int16_t* pswOut, uint16_t uwLen);
uint32_t LibVpuSubU16(const uint16_t* puwA, const uint16_t* puwB, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibVpuSubS16(const int16_t* pswA, const int16_t* pswB, int16_t* pswOut, uint16_t uwLen);
uint32_t LibVpuSubConstU16(const uint16_t* puwA, uint16_t uwK, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibVpuSubConstS16(const int16_t* pswA, int16_t swK, int16_t* pswOut, uint16_t uwLen);
uint32_t LibVpuQaddU16(const uint16_t* puwA, const uint16_t* puwB, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibVpuQaddS16(const int16_t* pswA, const int16_t* pswB, int16_t* pswOut, uint16_t uwLen);
uint32_t LibVpuQaddConstU16(const uint16_t* puwA, uint16_t uwK, uint16_t* puwOut, uint16_t uwLen);
// a + k saturated to s16; 3 when any element saturated; pfnDone (may be null) called at the end.
uint32_t LibVpuQaddConstS16(const int16_t* pswA, int16_t swK, int16_t* pswOut, uint16_t uwLen,
                            LibVpuDoneFunc pfnDone = nullptr);
uint32_t LibVpuQsubU16(const uint16_t* puwA, const uint16_t* puwB, uint16_t* puwOut, uint16_t uwLen);
// a - k saturated to s16 (a read unsigned); 3 when any element saturated.
uint32_t LibVpuQsubConstU16(const uint16_t* puwA, uint16_t uwK, int16_t* pswOut, uint16_t uwLen,
                            LibVpuDoneFunc pfnDone = nullptr);
uint32_t LibVpuQsubConstS16(const int16_t* pswA, int16_t swK, int16_t* pswOut, uint16_t uwLen);

uint32_t LibVpuMulU16(const uint16_t* puwA, const uint16_t* puwB, uint32_t* puiOut, uint16_t uwLen);
uint32_t LibVpuMulS16(const int16_t* pswA, const int16_t* pswB, int32_t* psiOut, uint16_t uwLen);
uint32_t LibVpuMulConstU16(const uint16_t* puwA, uint16_t uwK, uint32_t* puiOut, uint16_t uwLen);
uint32_t LibVpuMulConstS16(const int16_t* pswA, int16_t swK, int32_t* psiOut, uint16_t uwLen);
uint32_t LibVpuMacU16(const uint16_t* puwA, const uint16_t* puwB, uint32_t* puiAcc, uint16_t uwLen);
uint32_t LibVpuMacS16(const int16_t* pswA, const int16_t* pswB, int32_t* psiAcc, uint16_t uwLen);
uint32_t LibVpuMacConstU16(const uint16_t* puwA, uint16_t uwK, uint32_t* puiAcc, uint16_t uwLen);
uint32_t LibVpuMacConstS16(const int16_t* pswA, int16_t swK, int32_t* psiAcc, uint16_t uwLen);

uint32_t LibVpuAndU8(const uint8_t* pubA, const uint8_t* pubB, uint8_t* pubOut, uint16_t uwLen);
uint32_t LibVpuAndU16(const uint16_t* puwA, const uint16_t* puwB, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibVpuOrU8(const uint8_t* pubA, const uint8_t* pubB, uint8_t* pubOut, uint16_t uwLen);
uint32_t LibVpuOrU16(const uint16_t* puwA, const uint16_t* puwB, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibVpuXorU8(const uint8_t* pubA, const uint8_t* pubB, uint8_t* pubOut, uint16_t uwLen);
uint32_t LibVpuAndConstU8(const uint8_t* pubA, uint8_t ubK, uint8_t* pubOut, uint16_t uwLen);
uint32_t LibVpuAndConstU16(const uint16_t* puwA, uint16_t uwK, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibVpuOrConstU8(const uint8_t* pubA, uint8_t ubK, uint8_t* pubOut, uint16_t uwLen);
uint32_t LibVpuOrConstU16(const uint16_t* puwA, uint16_t uwK, uint16_t* puwOut, uint16_t uwLen);

// u8 flags: 1 where the comparison holds.
uint32_t LibVpuEqU16(const uint16_t* puwA, const uint16_t* puwB, uint8_t* pubOut, uint16_t uwLen);
uint32_t LibVpuEqConstU16(const uint16_t* puwA, uint16_t uwK, uint8_t* pubOut, uint16_t uwLen);
uint32_t LibVpuGtU16(const uint16_t* puwA, const uint16_t* puwB, uint8_t* pubOut, uint16_t uwLen);
uint32_t LibVpuGtS16(const int16_t* pswA, const int16_t* pswB, uint8_t* pubOut, uint16_t uwLen);
uint32_t LibVpuGtConstU16(const uint16_t* puwA, uint16_t uwK, uint8_t* pubOut, uint16_t uwLen);
// Also leaves the number of flags set in the statistics sum.
uint32_t LibVpuGtConstS16(const int16_t* pswA, int16_t swK, uint8_t* pubOut, uint16_t uwLen);

// Address of the first element that matches, or of the element just past the end.
uint32_t LibVpuSrchEqU16(const uint16_t* puwA, const uint16_t* puwB, uintptr_t* puxAddr, uint16_t uwLen);
uint32_t LibVpuSrchEqConstU16(const uint16_t* puwA, uint16_t uwK, uintptr_t* puxAddr, uint16_t uwLen);
uint32_t LibVpuSrchGtU16(const uint16_t* puwA, const uint16_t* puwB, uintptr_t* puxAddr, uint16_t uwLen,
                         LibVpuDoneFunc pfnBefore = nullptr);
uint32_t LibVpuSrchGtConstU16(const uint16_t* puwA, uint16_t uwK, uintptr_t* puxAddr, uint16_t uwLen);

// Append a[i] to out where the flag is 0 (Z) / not 0 (Nz); statistics of the appended elements.
uint32_t LibVpuListZU16(const uint16_t* puwA, const uint8_t* pubFlags, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibVpuListNzU16(const uint16_t* puwA, const uint8_t* pubFlags, uint16_t* puwOut, uint16_t uwLen);
// out[i] = a[i] where the flag is 0 (Z) / not 0 (Nz), other out[i] kept; statistics of out.
uint32_t LibVpuIfZU16(const uint16_t* puwA, const uint8_t* pubFlags, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibVpuIfNzU16(const uint16_t* puwA, const uint8_t* pubFlags, uint16_t* puwOut, uint16_t uwLen);

uint32_t LibVpuRightShiftU16(const uint16_t* puwA, uint8_t ubK, uint16_t* puwOut, uint16_t uwLen);
uint32_t LibVpuRightShiftS16(const int16_t* pswA, uint8_t ubK, int16_t* pswOut, uint16_t uwLen);
uint32_t LibVpuRightShiftU32(uint32_t* puiVec, uint8_t ubK, uint16_t uwLen);   // in place
uint32_t LibVpuRightShiftS32(int32_t* psiVec, uint8_t ubK, uint16_t uwLen);    // in place

uint32_t LibVpuCopyU8(const uint8_t* pubSrc, uint8_t* pubDst, uint16_t uwLen);
uint32_t LibVpuCopyU16(const uint16_t* puwSrc, uint16_t* puwDst, uint16_t uwLen);
uint32_t LibVpuCopyU32(const uint32_t* puiSrc, uint32_t* puiDst, uint16_t uwLen);
uint32_t LibVpuCopyU8Tiny(const uint8_t* pubSrc, uint8_t* pubDst, uint16_t uwLen);
uint32_t LibVpuCopyU16Tiny(const uint16_t* puwSrc, uint16_t* puwDst, uint16_t uwLen);
uint32_t LibVpuMemSetU8(uint8_t* pubDst, uint8_t ubK, uint16_t uwLen);
uint32_t LibVpuMemSetU16(uint16_t* puwDst, uint16_t uwK, uint16_t uwLen);
uint32_t LibVpuMemSetU8Tiny(uint8_t* pubDst, uint8_t ubK, uint16_t uwLen);
uint32_t LibVpuMemSetU16Tiny(uint16_t* puwDst, uint16_t uwK, uint16_t uwLen);

uint32_t LibVpuU16ToU8(const uint16_t* puwA, uint8_t* pubOut, uint16_t uwLen);    // min(a, 255)
uint32_t LibVpuS16ToU8(const int16_t* pswA, uint8_t* pubOut, uint16_t uwLen);     // clamp 0-255
uint32_t LibVpuS16ToU16(const int16_t* pswA, uint16_t* puwOut, uint16_t uwLen);   // max(a, 0)
uint32_t LibVpuU32ToU16(const uint32_t* puiA, uint16_t* puwOut, uint16_t uwLen);  // min(a, 65535)

// ---- Memory members (LibMem), memcpy/memset-shaped ------------------------------------------

void LibMemCpyU8(uint8_t* pubDst, const uint8_t* pubSrc, uint32_t uiLen);
void LibMemCpyU16(uint16_t* puwDst, const uint16_t* puwSrc, uint32_t uiLen);
void LibMemCpyU32(uint32_t* puiDst, const uint32_t* puiSrc, uint32_t uiLen);
uint8_t* LibMemSetU8(uint8_t* pubDst, uint8_t ubValue, uint32_t uiLen);
uint16_t* LibMemSetU16(uint16_t* puwDst, uint16_t uwValue, uint32_t uiLen);
uint32_t* LibMemSetU32(uint32_t* puiDst, uint32_t uiValue, uint32_t uiLen);
uint16_t LibMemSumU8(const uint8_t* pubSrc, uint32_t uiLen);     // modulo 65536
uint32_t LibMemSumU16(const uint16_t* puwSrc, uint32_t uiLen);
uint32_t LibMemSumU32(const uint32_t* puiSrc, uint32_t uiLen);
void LibMemCpyU8Tiny(uint8_t* pubDst, const uint8_t* pubSrc, uint32_t uiLen);
void LibMemCpyU16Tiny(uint16_t* puwDst, const uint16_t* puwSrc, uint32_t uiLen);
void LibMemCpyU32Tiny(uint32_t* puiDst, const uint32_t* puiSrc, uint32_t uiLen);
uint8_t* LibMemSetU8Tiny(uint8_t* pubDst, uint8_t ubValue, uint32_t uiLen);
uint16_t* LibMemSetU16Tiny(uint16_t* puwDst, uint16_t uwValue, uint32_t uiLen);
uint32_t* LibMemSetU32Tiny(uint32_t* puiDst, uint32_t uiValue, uint32_t uiLen);
uint16_t LibMemSumU8Tiny(const uint8_t* pubSrc, uint32_t uiLen);
uint32_t LibMemSumU16Tiny(const uint16_t* puwSrc, uint32_t uiLen);
uint32_t LibMemSumU32Tiny(const uint32_t* puiSrc, uint32_t uiLen);
