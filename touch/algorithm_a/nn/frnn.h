#pragma once
// The network engine's door: the first-fit pool laid over a caller's buffer, the tensor
// record with its views, the weight-stream reader, half-precision conversion, the layer
// kinds and the network entry points. Everything runs on the caller's thread, takes its
// memory only from the pool it is given and keeps no state between calls.
#include <cstddef>
#include <cstdint>

#include "vendor_export.h"

// ---------------------------------------------------------------------------------------
// Result codes shared by every layer.
inline constexpr uint32_t FRNN_OK = 0;
inline constexpr uint32_t FRNN_ERR_STEP = 2;         // a step failed / combination not handled
inline constexpr uint32_t FRNN_ERR_ARG = 3;          // bad dimension, count or mode
inline constexpr uint32_t FRNN_ERR_NOMEM = 4;        // pool exhausted
inline constexpr uint32_t FRNN_ERR_NULL = 5;         // null pointer argument
inline constexpr uint32_t FRNN_ERR_SLOT = 6;         // output slot already holds a tensor
inline constexpr uint32_t FRNN_ERR_WEIGHT = 7;       // weight tensor missing from the stream
inline constexpr uint32_t FRNN_ERR_PARAM = 8;        // inconsistent parameters
inline constexpr uint32_t FRNN_ERR_UNSUPPORTED = 9;  // layout / kind / case not handled
inline constexpr uint32_t FRNN_ERR_ROW = 11;         // half NCHW row stride not a multiple of 8

// Element kinds and layouts.
inline constexpr uint32_t FRNN_KIND_S32 = 0;
inline constexpr uint32_t FRNN_KIND_Q = 1;
inline constexpr uint32_t FRNN_KIND_S16 = 2;
inline constexpr uint32_t FRNN_KIND_QT = 3;
inline constexpr uint32_t FRNN_KIND_F32 = 4;
inline constexpr uint32_t FRNN_KIND_F16 = 5;
inline constexpr uint32_t FRNN_LAYOUT_NCHW = 0;
inline constexpr uint32_t FRNN_LAYOUT_NHWC = 1;
inline constexpr uint32_t FRNN_LAYOUT_CHWN = 2;
inline constexpr uint32_t FRNN_LAYOUT_NC8HW8 = 3;
inline constexpr uint32_t FRNN_LAYOUT_NC4HW4 = 4;

// ---------------------------------------------------------------------------------------
// Memory pool. The handle is the start of the caller's buffer.
struct FrnnMempoolParam {
  uint32_t uiSize;
  uint8_t* pubBuffer;
  uint32_t uiFlag;
};

struct FrnnMempoolBlock {
  uint8_t* pubData;  // header + 160
  FrnnMempoolBlock* pstPrev;
  FrnnMempoolBlock* pstNext;
  uint32_t uiSize;   // data bytes, header not counted
  uint32_t uiInUse;
  uint8_t aubReserved[128];
};
static_assert(sizeof(FrnnMempoolBlock) == 160);

struct FrnnMempool {
  uint32_t uiFlag;
  uint32_t uiSize;
  uint8_t* pubEnd;
  FrnnMempoolBlock* pstFirst;
  uint8_t aubReserved[160];
};
static_assert(sizeof(FrnnMempool) == 184);
static_assert(offsetof(FrnnMempool, pstFirst) == 16);

inline constexpr uint32_t kFrnnPoolHeaderBytes = sizeof(FrnnMempool);
inline constexpr uint32_t kFrnnBlockHeaderBytes = sizeof(FrnnMempoolBlock);
inline constexpr uint32_t kFrnnPoolMinBytes = kFrnnPoolHeaderBytes + kFrnnBlockHeaderBytes;  // 344

uint32_t FrnnMempoolInit(const FrnnMempoolParam* pstParam);
uint32_t FrnnMempoolDestory(void* pvPool);
void* NnPoolAlloc(void* pvPool, int32_t siSize, const char* pcTag, int32_t siLine);
void NnPoolFree(void* pvPool, void* pvData);
void* FrnnMempoolMalloc(void* pvPool, int32_t siSize);
void FrnnMempoolFree(void* pvPool, void* pvData);
// The base library's names for the same pool.
uint32_t FrBaseLibMempoolInit(const FrnnMempoolParam* pstParam);
uint32_t FrBaseLibMempoolDestory(void* pvPool);
void* FrBaseLibMempoolMalloc(void* pvPool, int32_t siSize);
void FrBaseLibMempoolFree(void* pvPool, void* pvData);

// ---------------------------------------------------------------------------------------
// Tensor record.
struct FrnnTensor {
  uint32_t uiN;
  uint32_t uiH;
  uint32_t uiW;
  uint32_t uiC;
  uint32_t uiParamMode;
  uint32_t uiDims;
  uint32_t uiElemSize;
  uint32_t uiRowStride;
  uint32_t uiPlane;
  uint32_t uiKind;
  int32_t siTag1;
  int32_t siTag2;
  uint32_t uiLayout;
  void* pvData;
  void* pvQuant1;
  void* pvQuant2;
  void* pvQuantParam;
};
static_assert(sizeof(FrnnTensor) == 88);
static_assert(offsetof(FrnnTensor, pvData) == 56);
inline constexpr uint32_t kFrnnTensorHeaderBytes = 104;  // room a pool tensor keeps for its header

FrnnTensor* FrnnTensorCreate(uint32_t n, uint32_t w, uint32_t h, uint32_t c, uint32_t dims, uint32_t elemSize,
                             uint32_t layout, uint32_t kind, void* pool);
FrnnTensor* FrnnTensorCreate3D(uint32_t n, uint32_t w, uint32_t h, uint32_t c, uint32_t elemSize, uint32_t layout,
                               uint32_t kind, void* pool);
FrnnTensor* FrnnTensorCreate2D(uint32_t n, uint32_t w, uint32_t h, uint32_t elemSize, uint32_t layout, uint32_t kind,
                               void* pool);
FrnnTensor* FrnnTensorCreate1D(uint32_t n, uint32_t w, uint32_t elemSize, uint32_t layout, uint32_t kind, void* pool);
FrnnTensor* TensorCreateUnpadded(uint32_t n, uint32_t w, uint32_t h, uint32_t c, uint32_t dims, uint32_t elemSize,
                                 uint32_t layout, uint32_t kind, void* pool);
FrnnTensor* TensorCreateUnpadded3D(uint32_t n, uint32_t w, uint32_t h, uint32_t c, uint32_t elemSize,
                                   uint32_t layout, uint32_t kind, void* pool);
FrnnTensor* FrnnQuanTensorCreate(uint32_t n, uint32_t w, uint32_t h, uint32_t c, uint32_t elemSize,
                                 uint32_t paramMode, uint32_t layout, uint32_t kind, void* pool);
FrnnTensor* FrnnTensorClone(const FrnnTensor* pstSrc, void* pool);

FrnnTensor FrnnTensor3D(uint32_t n, uint32_t w, uint32_t rowStride, uint32_t h, uint32_t c, uint32_t elemSize,
                        uint32_t layout, uint32_t kind, void* data);
uint32_t FrnnTensor3DPtr(uint32_t n, uint32_t w, uint32_t rowStride, uint32_t h, uint32_t c, uint32_t elemSize,
                         uint32_t layout, uint32_t kind, void* data, FrnnTensor* pstOut);
FrnnTensor FrnnTensor2D(uint32_t n, uint32_t w, uint32_t rowStride, uint32_t h, uint32_t elemSize, uint32_t layout,
                        uint32_t kind, void* data);
FrnnTensor FrnnTensor1D(uint32_t n, uint32_t w, uint32_t rowStride, uint32_t elemSize, uint32_t layout,
                        uint32_t flagA, uint32_t flagB, uint32_t kind, void* data);
FrnnTensor FrnnQuanTensor3D(uint32_t n, uint32_t w, uint32_t h, uint32_t c, uint32_t elemSize, uint32_t paramMode,
                            uint32_t layout, uint32_t kind, void* data);
FrnnTensor FrnnEmptyTensor();

FrnnTensor FrnnTensorImage(const FrnnTensor* pstT, uint32_t i);
FrnnTensor FrnnTensorChannel(const FrnnTensor* pstT, uint32_t k);
uint32_t FrnnIsEmptyTensor(const FrnnTensor* pstT);
uint32_t FrnnTensorSize(const FrnnTensor* pstT);
int32_t* FrnnTensorRow32s(const FrnnTensor* pstT, uint32_t r);
void FrnnTensorFill32s(FrnnTensor* pstT, int32_t value);
uint32_t FrnnTensorGetElement(const FrnnTensor* pstT, uint32_t i, uint32_t k, uint32_t y, uint32_t x, void* pvOut);
uint32_t FrnnTensorDestroy(FrnnTensor** ppstT, void* pool);
uint32_t FrnnCplxTensorDestroy(FrnnTensor** ppstPair, void* pool);

void FrnnTensorFill16f(FrnnTensor* pstT, uint16_t half);
void TensorFillF32(FrnnTensor* pstT, float value);

// Element conversions (a new pool tensor of another kind; q = fraction bits of the
// fixed-point side).
uint32_t TensorQuantizeF32ToS16(const FrnnTensor* src, FrnnTensor** ppstOut, uint32_t q, void* pool);
uint32_t TensorQuantizeF16ToS16(const FrnnTensor* src, FrnnTensor** ppstOut, uint32_t q, void* pool);
uint32_t FrnnTensorConvertF32ToS32(const FrnnTensor* src, FrnnTensor** ppstOut, uint32_t q, void* pool);
uint32_t FrnnTensorConvertS32ToF32(const FrnnTensor* src, FrnnTensor** ppstOut, uint32_t q, void* pool);
uint32_t TensorConvertS32ToF16(const FrnnTensor* src, FrnnTensor** ppstOut, uint32_t q, void* pool);
uint32_t FrnnTensorConvertF32ToF16(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);
uint32_t FrnnTensorConvertF16ToF32(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);
uint32_t TensorConvertS16ToF16(const FrnnTensor* src, FrnnTensor** ppstOut, uint32_t q, void* pool);
uint32_t TensorConvertS32ToS16(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);
uint32_t FrnnTensorConvertS16ToS32(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);
uint32_t TensorConvertS16ToF32(const FrnnTensor* src, FrnnTensor** ppstOut, uint32_t q, void* pool);
void FrnnConvertI16ToF16(const int16_t* src, uint16_t* dst, uint32_t q, int32_t count);
uint32_t FrnnPadMaskAlignedQuanF16(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);

// Layout transforms (a new pool tensor in the target layout; pad lanes and pad columns of
// the new tensor are not written).
struct LayoutShape {
  int32_t n;
  int32_t c;
  int32_t h;
  int32_t w;
  int32_t rowStride;  // of the NCHW side
  int32_t plane;      // of the NCHW side
};
uint32_t FrnnTensorLayoutNCHWToNC8HW8(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);
uint32_t FrnnTensorLayoutNC8HW8ToNCHW(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);
uint32_t FrnnTensorLayoutNHWCToNC8HW8(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);
uint32_t FrnnTensorLayoutNC8HW8ToNHWC(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);
uint32_t FrnnTensorLayoutNCHWToNHWC(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);
uint32_t FrnnTensorLayoutNCHWToCHWN(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);
uint32_t FrnnTensorLayoutCHWNToNCHW(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);
uint32_t FrnnTensorLayoutNCHWToNC4HW4(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);
uint32_t FrnnTensorLayoutNC4HW4ToNCHW(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);
uint32_t TensorLayoutNC8HW8ToNC4HW4(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);
uint32_t TensorLayoutNC4HW4ToNC8HW8(const FrnnTensor* src, FrnnTensor** ppstOut, void* pool);
// Element movers: (destination, source, shape, element size 1, 2 or 4; another size is
// refused with 9).
uint32_t LayoutKernelNchwToNc8hw8(void* dst, const void* src, const LayoutShape* shape, uint32_t es);
uint32_t LayoutKernelNc8hw8ToNchw(void* dst, const void* src, const LayoutShape* shape, uint32_t es);
uint32_t LayoutKernelNhwcToNc8hw8(void* dst, const void* src, const LayoutShape* shape, uint32_t es);
uint32_t LayoutKernelNc8hw8ToNhwc(void* dst, const void* src, const LayoutShape* shape, uint32_t es);
uint32_t LayoutKernelNchwToNhwc(void* dst, const void* src, const LayoutShape* shape, uint32_t es);
uint32_t LayoutKernelNc8hw8ToNc4hw4(void* dst, const void* src, const LayoutShape* shape, uint32_t es);
uint32_t LayoutKernelNc4hw4ToNc8hw8(void* dst, const void* src, const LayoutShape* shape, uint32_t es);
uint32_t LayoutKernelNchwToNc4hw4(void* dst, const void* src, const LayoutShape* shape, uint32_t es);
uint32_t LayoutKernelNc4hw4ToNchw(void* dst, const void* src, const LayoutShape* shape, uint32_t es);
void TransposeNchwToNhwcU32(uint32_t* dst, const uint32_t* src, uint32_t n, uint32_t c, uint32_t h, uint32_t w,
                            uint32_t plane, uint32_t imageSize);

// Pad fills (mode 0: the value; mode 1: copy of the last real lane or column) and the
// convolution weight packers (shape: O, I, KH, KW).
uint32_t TensorPadFillF16(FrnnTensor* t, uint32_t mode, uint16_t value);
uint32_t TensorPadFillS16(FrnnTensor* t, uint32_t mode, uint32_t value);
uint32_t TensorPadFillF32(FrnnTensor* t, uint32_t mode, float value);
uint32_t TensorPadFillU8(FrnnTensor* t, uint32_t mode, uint32_t value);
void TensorPadFillU16(FrnnTensor* t, uint16_t value);
uint32_t ConvWeightPackO8I8(void* dst, const void* src, const int32_t* shape, uint32_t es);
uint32_t ConvWeightPackO4I4(void* dst, const void* src, const int32_t* shape, uint32_t es);

// ---------------------------------------------------------------------------------------
// Weight stream.
struct FrnnWeightReader {
  uint32_t uiStorageMode;   // non-zero: tensors lie in place; 0: each after a zero lead word
  uint32_t uiWordCount;     // stream length in 4-byte words; nothing past it is ever read
  const uint8_t* pubBase;
  const uint8_t* pubCursor;
  uint32_t uiRes0;
  uint32_t uiWidthSel;      // weight-width selector
  uint32_t uiRes1;
  uint32_t uiFracBits;      // fraction bits of the 16-bit fixed-point form
  uint32_t uiFurther;
  uint32_t uiRes2;
  uint32_t uiKind;          // compute element kind of the layers
  uint32_t uiLayoutChoice;  // 1: the convolution may choose the blocked layout
};
static_assert(sizeof(FrnnWeightReader) == 56);

uint32_t AlignUp(uint32_t x, uint32_t a);
void LoadWeight(FrnnTensor* pstOut, FrnnWeightReader* pstReader, uint32_t count, uint32_t width, uint32_t quantFlag,
                int32_t perChannel, uint32_t mode, uint32_t kind);

// ---------------------------------------------------------------------------------------
// Half precision.
uint16_t SingleToHalfOnce(float f);
uint16_t DoubleToHalfOnce(double d);
uint32_t SingleToHalf(const float* pfIn, uint16_t* puwOut, int32_t count);
uint32_t DoubleToHalf(const double* pdIn, uint16_t* puwOut, int32_t count);
uint32_t HalfToSingle(const uint16_t* puwIn, float* pfOut, int32_t count);
uint32_t FrnnNoTruncateToF16Flag(uint32_t flag);

// ---------------------------------------------------------------------------------------
// Scalar math.
float NnExpApprox(float x);
void NnExpApproxX4(const float* pfIn, float* pfOut);
float NnFastExp(float x);
void NnFastExpX4(const float* pfIn, float* pfOut);
float NnFasterExp(float x);
void NnFasterExpX4(const float* pfIn, float* pfOut);
uint32_t FixedExpQ16Sat(uint32_t x);
uint64_t FixedExpQ16(uint32_t x);
float NnFastSqrt(float x);
uint32_t PreferredBlockLayout(uint32_t kind, uint32_t c);
uint32_t PreferredBlockLayoutPair(uint32_t kind, uint32_t a, uint32_t b);
uint32_t ConvPadCheck(int32_t a, int32_t b, int32_t c);
double NnExpApproxF64(double x);
uint16_t NnExpApproxF16(uint16_t x);
void NnExpApproxF16X8(const uint16_t* puwIn, uint16_t* puwOut);
int32_t NnFasterExpF16Scalar(uint16_t x);
void NnFasterExpF16X8(const uint16_t* puwIn, uint16_t* puwOut);
void RotateBlocks180(FrnnTensor* t, uint32_t k);
uint32_t IntSqrtRound(uint64_t x);
int32_t RoundHalfEven(float x);
void RoundShiftS32(int32_t* psiData, uint32_t count, int32_t r, uint32_t s);
void NarrowShiftS32ToS16(const int32_t* psiSrc, int16_t* pswDst, uint32_t count, uint32_t shift);
void NarrowShiftS32ToS16B(const int32_t* psiSrc, int16_t* pswDst, uint32_t count, uint32_t shift);
void WidenS16ToS32(const int16_t* pswSrc, int32_t* psiDst, uint32_t count);
double NnReciprocal(double x);
double NnAbsF64(double x);
double NnSimpsonLog(int32_t kind, double a, double b, double tol, double whole);
void NnSimpsonLogFrom(int32_t kind, double a, double b, double tol);
double NnLogSimpson(double x);

// ---------------------------------------------------------------------------------------
// Padding.
struct FrnnPaddingParam {
  int32_t siLeft;
  int32_t siRight;
  int32_t siTop;
  int32_t siBottom;
  uint32_t uiMode;  // 0 constant, 1 symmetric, 2 reflect, 3 edge
  uint32_t uiValue;
};
static_assert(sizeof(FrnnPaddingParam) == 24);

FrnnPaddingParam FrnnPaddingInit(int32_t left, int32_t right, int32_t top, int32_t bottom, int32_t mode,
                                 const FrnnWeightReader* pstReader, float value);
uint32_t FrnnPadding(const FrnnTensor* pstIn, FrnnTensor** ppstOut, const FrnnPaddingParam* pstParam,
                     const FrnnWeightReader* pstReader, void* pool);
uint32_t FrnnPaddingForwardInt(const FrnnPaddingParam* pstParam, const FrnnTensor* pstIn, FrnnTensor** ppstOut,
                               void* pool);
uint32_t PadNchwF32(const FrnnTensor* in, FrnnTensor* out, int32_t top, int32_t bottom, int32_t left, int32_t right,
                    int32_t mode, uint32_t value);
uint32_t PadNc4hw4F32(const FrnnTensor* in, FrnnTensor* out, int32_t top, int32_t bottom, int32_t left,
                      int32_t right, int32_t mode, uint32_t value);
uint32_t PadNc8hw8F16(const FrnnTensor* in, FrnnTensor* out, int32_t top, int32_t bottom, int32_t left,
                      int32_t right, int32_t mode, uint32_t value);
uint32_t PadChwnF16(const FrnnTensor* in, FrnnTensor* out, int32_t top, int32_t bottom, int32_t left, int32_t right,
                    int32_t mode, uint32_t value);
uint32_t PadNchwF16(const FrnnTensor* in, FrnnTensor* out, int32_t top, int32_t bottom, int32_t left, int32_t right,
                    int32_t mode, uint32_t value);

// ---------------------------------------------------------------------------------------
// Relu and ReluN (in place).
struct FrnnReluParam {
  uint32_t uiValue;  // slope bits (float kinds) or integer; ReluN: bound N as i32
  uint32_t uiFracBits;
  uint32_t uiFurther;
  uint32_t uiKind;
};
using FrnnReluNParam = FrnnReluParam;
FrnnReluParam FrnnReluInit(const FrnnWeightReader* pstReader, float slope);
uint32_t FrnnReluForwardInplaceInt(const FrnnReluParam* pstParam, FrnnTensor* pstT);
uint32_t FrnnRelu(FrnnTensor* pstT, const FrnnWeightReader* pstReader, void* pool, float slope);
FrnnReluNParam FrnnReluNInit(int32_t n, const FrnnWeightReader* pstReader);
uint32_t FrnnReluNForwardInplaceInt(const FrnnReluNParam* pstParam, FrnnTensor* pstT);
uint32_t FrnnReluN(FrnnTensor* pstT, int32_t n, const FrnnWeightReader* pstReader);
// The fused activation of the convenience layer calls: 0 none, 1 ReLU, 2 ReLU6, else 3.
uint32_t FrnnApplyActivation(FrnnTensor* pstT, uint32_t activation, const FrnnWeightReader* pstReader);

// ---------------------------------------------------------------------------------------
// Sigmoid and hard sigmoid.
struct FrnnSigmoidParam {
  uint32_t uiKind;
  uint32_t uiFracBits;
};
FrnnSigmoidParam FrnnSigmoidInit(const FrnnWeightReader* pstReader);
int32_t FrnnSigmoidForwardInplaceInt(const FrnnSigmoidParam* pstParam, FrnnTensor* pstIn, FrnnTensor** ppstOut,
                                     void* pool);
uint32_t FrnnSigmoid(FrnnTensor* pstT, const FrnnWeightReader* pstReader, void* pool);
FrnnSigmoidParam FrnnHardSigmoidInit(const FrnnWeightReader* pstReader);
uint32_t FrnnHardSigmoidForwardInplaceInt(const FrnnSigmoidParam* pstParam, FrnnTensor* pstT);
uint32_t FrnnHardSigmoid(FrnnTensor* pstT, const FrnnWeightReader* pstReader, void* pool);
int16_t SigmoidFixedScalar(int16_t v, uint32_t q);
int32_t SigmoidFixedScalarWide(int16_t v, uint32_t q);

// ---------------------------------------------------------------------------------------
// Group normalisation (in place).
struct FrnnGroupNormParam {
  uint32_t uiKind;
  uint32_t uiChannels;
  uint32_t uiGroups;
  uint32_t uiFracBits;
  uint32_t uiFurther;
  uint32_t uiWidthSel;
  uint32_t uiAffine;
  float fEpsilon;
  uint8_t aubReserved[8];
  FrnnTensor stGamma;
  FrnnTensor stBeta;
};
FrnnGroupNormParam FrnnGroupNormInit(uint32_t channels, uint32_t groups, const FrnnWeightReader* pstReader);
uint32_t FrnnGroupNormLoadWeight(FrnnGroupNormParam* pstParam, FrnnWeightReader* pstReader);
uint32_t FrnnGroupNormForwardInplace(const FrnnGroupNormParam* pstParam, FrnnTensor* pstT, void* pool);
uint32_t FrnnGroupNorm(FrnnTensor* pstT, uint32_t groups, FrnnWeightReader* pstReader, void* pool);

// ---------------------------------------------------------------------------------------
// Elementwise arithmetic.
struct FrnnMultiplyParam {
  uint32_t uiKind;
  uint32_t uiFracBits;
  uint32_t uiThird;
};
uint32_t FrnnAddForwardInt(const FrnnTensor* pstA, const FrnnTensor* pstB, FrnnTensor** ppstOut, void* pool);
uint32_t FrnnSubForwardInt(const FrnnTensor* pstA, const FrnnTensor* pstB, FrnnTensor** ppstOut, void* pool);
FrnnMultiplyParam FrnnMultiplyInit(uint32_t third, const FrnnWeightReader* pstReader);
uint32_t FrnnMultiplyForwardInt(const FrnnMultiplyParam* pstParam, const FrnnTensor* pstA, const FrnnTensor* pstB,
                                FrnnTensor** ppstOut, void* pool);
uint32_t FrnnMultiply(const FrnnTensor* pstA, const FrnnTensor* pstB, FrnnTensor** ppstOut,
                      const FrnnWeightReader* pstReader, void* pool);
uint32_t MultiplyFixedS32(const FrnnMultiplyParam* pstParam, const FrnnTensor* pstA, const FrnnTensor* pstB,
                          FrnnTensor* pstOut);
uint32_t FrnnDivForward(const FrnnTensor* pstA, const FrnnTensor* pstB, FrnnTensor** ppstOut, uint32_t elementwise,
                        void* pool);
uint32_t FrnnSumForward(const FrnnTensor* pstIn, FrnnTensor** ppstOut, uint32_t axis, void* pool);
uint32_t FrnnLogForward(...);
uint32_t FrnnLogsumexpForward(...);
uint32_t FrnnCplxMathForward(...);

// ---------------------------------------------------------------------------------------
// Permute, flatten, reshape.
struct FrnnPermuteParam {
  uint32_t uiKind;
  uint32_t auiOrder[4];
};
FrnnPermuteParam FrnnPermuteInit(uint32_t o0, uint32_t o1, uint32_t o2, uint32_t o3,
                                 const FrnnWeightReader* pstReader);
uint32_t FrnnPermuteForward(const FrnnPermuteParam* pstParam, const FrnnTensor* pstIn, FrnnTensor** ppstOut,
                            void* pool);
uint32_t FrnnPermute(const FrnnTensor* pstIn, FrnnTensor** ppstOut, uint32_t o0, uint32_t o1, uint32_t o2,
                     uint32_t o3, const FrnnWeightReader* pstReader, void* pool);

struct FrnnReshapeParam {
  uint32_t uiKind;
  uint32_t uiN;
  uint32_t uiC;
  uint32_t uiH;
  uint32_t uiW;
};
FrnnReshapeParam FrnnReshapeInit(uint32_t n, uint32_t c, uint32_t h, uint32_t w, const FrnnWeightReader* pstReader);
uint32_t FrnnReshapeForward(const FrnnReshapeParam* pstParam, const FrnnTensor* pstIn, FrnnTensor** ppstOut,
                            void* pool);
uint32_t FrnnReshape(const FrnnTensor* pstIn, FrnnTensor** ppstOut, uint32_t n, uint32_t c, uint32_t h, uint32_t w,
                     const FrnnWeightReader* pstReader, void* pool);

struct FrnnFlattenParam {
  uint32_t uiMode;
  uint32_t uiChannelFirst;
  uint32_t uiKind;
};
FrnnFlattenParam FrnnFlattenInit(uint32_t mode, uint32_t channelFirst, const FrnnWeightReader* pstReader);
uint32_t FrnnFlattenForwardInt(const FrnnFlattenParam* pstParam, const FrnnTensor* pstIn, FrnnTensor** ppstOut,
                               void* pool);
uint32_t FrnnFlatten(const FrnnTensor* pstIn, FrnnTensor** ppstOut, uint32_t mode, uint32_t channelFirst,
                     const FrnnWeightReader* pstReader, void* pool);

// ---------------------------------------------------------------------------------------
// Pixel shuffle.
struct FrnnPixelShuffleParam {
  uint32_t uiKind;
  uint32_t uiFactor;
  uint32_t auiZero[2];
};
FrnnPixelShuffleParam FrnnPixelShuffleInit(uint32_t r, const FrnnWeightReader* pstReader);
uint32_t FrnnPixelShuffleForwardInt(const FrnnPixelShuffleParam* pstParam, const FrnnTensor* pstIn,
                                    FrnnTensor** ppstOut, void* pool);
uint32_t FrnnPixelShuffle(const FrnnTensor* pstIn, FrnnTensor** ppstOut, uint32_t r,
                          const FrnnWeightReader* pstReader, void* pool);
uint32_t FrnnCplxPixelShuffleForward(...);

// ---------------------------------------------------------------------------------------
// Up-sampling.
struct FrnnUpSampleParam {
  uint32_t uiKind;
  uint32_t uiReaderWord;
  uint32_t uiMode;          // stored; sampling is always bilinear
  uint32_t uiAlignCorners;
  float fHeightScale;
  float fWidthScale;
  uint32_t auiZero[2];
  uint32_t uiFracBits;
  uint32_t uiFurther;
};
FrnnUpSampleParam FrnnUpSampleInit(uint32_t mode, uint32_t alignCorners, const FrnnWeightReader* pstReader,
                                   float hScale, float wScale);
uint32_t FrnnUpSampleForward(const FrnnUpSampleParam* pstParam, const FrnnTensor* pstIn, FrnnTensor** ppstOut,
                             void* pool);
uint32_t FrnnUpSample(const FrnnTensor* pstIn, FrnnTensor** ppstOut, uint32_t mode, uint32_t alignCorners,
                      const FrnnWeightReader* pstReader, void* pool, float hScale, float wScale);

// ---------------------------------------------------------------------------------------
// GRU.
struct FrnnGRUParam {
  uint32_t uiKind;
  uint32_t uiReaderWord;
  uint32_t uiHidden;
  uint32_t uiLayerMode;
  uint32_t uiInput;
  uint32_t uiOptionA;
  uint32_t uiOptionB;
  uint32_t uiBias;
  uint32_t uiFracBits;
  uint32_t uiZero;
  uint32_t uiExpMode;
  uint32_t uiWihCount;
  uint32_t uiWhhCount;
  FrnnTensor stWih;
  FrnnTensor stWhh;
  FrnnTensor stBih;
  FrnnTensor stBhh;
};
FrnnGRUParam FrnnGRUInit(uint32_t bias, uint32_t inputSize, uint32_t hiddenSize, uint32_t layerMode,
                         const FrnnWeightReader* pstReader);
uint32_t FrnnGRULoadWeight(FrnnGRUParam* pstParam, FrnnWeightReader* pstReader);
uint32_t FrnnGRUForwardInt(const FrnnGRUParam* pstParam, const FrnnTensor* pstIn, FrnnTensor* pstState,
                           FrnnTensor** ppstOut, void* pool);
uint32_t FrnnGRU(const FrnnTensor* pstIn, FrnnTensor* pstState, FrnnTensor** ppstOut, uint32_t bias,
                 uint32_t inputSize, uint32_t hiddenSize, uint32_t layerMode, FrnnWeightReader* pstReader,
                 void* pool);

// ---------------------------------------------------------------------------------------
// Depthwise convolution.
#pragma pack(push, 4)
struct DepthwiseConvLayer {
  uint32_t weightKind;
  uint32_t outChannels;
  uint32_t depthMultiplier;
  uint32_t kernelWidth;
  uint32_t kernelHeight;
  uint32_t dilationWidth;
  uint32_t dilationHeight;
  uint32_t strideWidth;
  uint32_t strideHeight;
  uint32_t hasBias;
  uint32_t weightCount;
  uint32_t uiReaderWord1;
  uint32_t uiReaderWord2;
  uint32_t weightStorage;
  FrnnPaddingParam padding;
  uint32_t auiOutputOffset[4];
  uint64_t ulZero;
  FrnnTensor weights;
  FrnnTensor bias;
};
#pragma pack(pop)
static_assert(offsetof(DepthwiseConvLayer, padding) == 56);
static_assert(offsetof(DepthwiseConvLayer, weights) == 104);

DepthwiseConvLayer FrnnDepthwiseConvInit(uint32_t inChannels, uint32_t multiplier, uint32_t kernelWidth,
                                         uint32_t kernelHeight, uint32_t strideWidth, uint32_t strideHeight,
                                         uint32_t hasBias, const FrnnPaddingParam* pstPad,
                                         const FrnnWeightReader* pstReader);
uint32_t FrnnDepthwiseConvLoadWeight(DepthwiseConvLayer* pstLayer, FrnnWeightReader* pstReader);
uint32_t FrnnDepthwiseConvForwardInt(const DepthwiseConvLayer* pstLayer, const FrnnTensor* pstIn,
                                     FrnnTensor** ppstOut, void* pool);
uint32_t FrnnDepthwiseConv(const FrnnTensor* pstIn, FrnnTensor** ppstOut, uint32_t multiplier, uint32_t kernelWidth,
                           uint32_t kernelHeight, uint32_t strideWidth, uint32_t strideHeight, uint32_t hasBias,
                           const FrnnPaddingParam* pstPad, FrnnWeightReader* pstReader, uint32_t activation,
                           void* pool);
uint32_t DepthwiseConvReferenceForward(const DepthwiseConvLayer* pstLayer, const FrnnTensor* pstIn,
                                       FrnnTensor* pstPadded, FrnnTensor* pstOut, void* pool);
uint32_t FrnnCplxDepthwiseConvLoadWeight(...);
uint32_t FrnnCplxDepthwiseConvForward(...);

// ---------------------------------------------------------------------------------------
// Convolution.
#pragma pack(push, 4)
struct ConvolutionLayer {
  uint32_t weightKind;
  uint32_t autoLayout;
  uint32_t outChannels;
  uint32_t outChannels2;
  uint32_t kernelWidth;
  uint32_t kernelHeight;
  uint32_t dilationWidth;
  uint32_t dilationHeight;
  uint32_t strideWidth;
  uint32_t strideHeight;
  uint32_t hasBias;
  uint32_t weightCount;
  uint32_t q1;
  uint32_t q2;
  uint32_t q3;
  uint32_t outputLayout;
  uint32_t paddingMode;
  uint32_t weightStorage;
  FrnnPaddingParam padding;
  int32_t outputOffsets[4];
  uint64_t ulZero;
  FrnnTensor weights;
  FrnnTensor bias;
  FrnnTensor stUnused;
};
#pragma pack(pop)
static_assert(offsetof(ConvolutionLayer, padding) == 72);
static_assert(offsetof(ConvolutionLayer, weights) == 120);

ConvolutionLayer FrnnConvolutionInit(uint32_t inChannels, uint32_t outChannels, uint32_t kernelWidth,
                                     uint32_t kernelHeight, uint32_t strideWidth, uint32_t strideHeight,
                                     uint32_t hasBias, const FrnnPaddingParam* pstPad,
                                     const FrnnWeightReader* pstReader);
uint32_t FrnnConvolutionLoadWeight(ConvolutionLayer* pstLayer, FrnnWeightReader* pstReader);
uint32_t FrnnConvolutionForwardInt(const ConvolutionLayer* pstLayer, const FrnnTensor* pstIn, FrnnTensor** ppstOut,
                                   void* pool);
uint32_t FrnnConvolution(const FrnnTensor* pstIn, FrnnTensor** ppstOut, uint32_t outChannels, uint32_t kernelWidth,
                         uint32_t kernelHeight, uint32_t strideWidth, uint32_t strideHeight, uint32_t hasBias,
                         const FrnnPaddingParam* pstPad, FrnnWeightReader* pstReader, uint32_t activation,
                         void* pool);
uint32_t FrnnCplxConvolutionLoadWeight(...);
uint32_t FrnnCplxConvolutionForward(...);
uint32_t ConvGenericForward(const ConvolutionLayer* pstLayer, const FrnnTensor* pstIn, int32_t outHeight,
                            int32_t outWidth, FrnnTensor* pstOut, void* pool);
int32_t* ConvTapOffsetTable(int32_t* psiTable, int32_t rowStride, int32_t dilationHeight, int32_t dilationWidth,
                            int32_t kernelHeight, int32_t kernelWidth);
uint32_t ConvUnrolledKernel(const ConvolutionLayer* pstLayer, const FrnnTensor* pstIn, FrnnTensor* pstOut,
                            void* pool);

// ---------------------------------------------------------------------------------------
// Pooling: maximum, mean or L2 over windows, or a (masked) global mean per channel.
#pragma pack(push, 4)
struct PoolingLayer {
  uint32_t elementKind;
  uint32_t poolType;    // 0 maximum, 1 mean, 2 square root of the sum of squares
  uint32_t globalPool;
  uint32_t kernelWidth;
  uint32_t kernelHeight;
  uint32_t strideWidth;
  uint32_t strideHeight;
  FrnnPaddingParam padding;
  int32_t outputOffsets[4];
  uint32_t auiZero[2];
  uint32_t paddingMode;  // 0 as given, 1 same size, 2 none
};
#pragma pack(pop)
static_assert(sizeof(PoolingLayer) == 80);
static_assert(offsetof(PoolingLayer, padding) == 28);

PoolingLayer FrnnPoolingInit(uint32_t poolType, uint32_t globalPool, uint32_t kernelWidth, uint32_t kernelHeight,
                             uint32_t strideWidth, uint32_t strideHeight, const FrnnPaddingParam* pstPad,
                             const FrnnWeightReader* pstReader);
uint32_t FrnnPoolingForwardInt(const PoolingLayer* pstLayer, const FrnnTensor* pstIn, const FrnnTensor* pstMask,
                               FrnnTensor** ppstOut, void* pool);
uint32_t FrnnPooling(const FrnnTensor* pstIn, const FrnnTensor* pstMask, FrnnTensor** ppstOut, uint32_t poolType,
                     uint32_t globalPool, uint32_t kernelWidth, uint32_t kernelHeight, uint32_t strideWidth,
                     uint32_t strideHeight, const FrnnPaddingParam* pstPad, const FrnnWeightReader* pstReader,
                     void* pool);
uint32_t PoolingPaddingParams(const PoolingLayer* pstLayer, const FrnnTensor* pstIn, FrnnPaddingParam* pstOut);
uint32_t PoolingKernelDispatch(const PoolingLayer* pstLayer, const FrnnTensor* pstIn, FrnnTensor* pstOut, void* pool);
uint32_t PoolingGenericForward(const PoolingLayer* pstLayer, const FrnnTensor* pstIn, int32_t outHeight,
                               int32_t outWidth, FrnnTensor* pstOut, void* pool);

// ---------------------------------------------------------------------------------------
// Dense (fully connected) layer.
struct FrnnDenseParam {
  uint32_t uiKind;
  uint32_t uiReaderWord;
  uint32_t uiUnits;
  uint32_t uiBias;
  uint32_t uiOutputForm;  // 0 one-dimensional, else 1 x 1 x units
  uint32_t uiWeightCount;
  uint32_t uiFracBits;
  uint32_t uiFurther;
  uint32_t uiWidthSel;
  FrnnTensor stWeights;
  FrnnTensor stBias;
};
FrnnDenseParam FrnnDenseInit(uint32_t a, uint32_t b, uint32_t c, uint32_t units, uint32_t bias,
                             const FrnnWeightReader* pstReader);
uint32_t FrnnDenseLoadWeight(FrnnDenseParam* pstParam, FrnnWeightReader* pstReader);
uint32_t FrnnDenseForward(const FrnnDenseParam* pstParam, const FrnnTensor* pstIn, FrnnTensor** ppstOut, void* pool);
uint32_t FrnnDense(const FrnnTensor* pstIn, FrnnTensor** ppstOut, uint32_t units, uint32_t bias,
                   FrnnWeightReader* pstReader, void* pool);

// ---------------------------------------------------------------------------------------
// Concat, crop and the plane-wise matrix product.
inline constexpr uint32_t kFrnnConcatMaxInputs = 256;
struct FrnnConcatParam {
  uint32_t uiKind;
  uint32_t uiAxis;  // 0 batch, 1 channel, 2 height, 3 width
  uint32_t uiCount;
  uint32_t auiWords[4];  // must not be positive
};
FrnnConcatParam FrnnConcatInit(uint32_t axis, uint32_t count, const FrnnWeightReader* pstReader);
uint32_t FrnnConcatForwardInt(const FrnnConcatParam* pstParam, const FrnnTensor* const* ppstIn, FrnnTensor** ppstOut,
                              void* pool);
uint32_t FrnnConcat(const FrnnTensor* const* ppstIn, FrnnTensor** ppstOut, uint32_t axis, uint32_t count,
                    const FrnnWeightReader* pstReader, void* pool);

struct FrnnCropParam {
  int32_t siRowOffset;
  int32_t siColOffset;
  int32_t siHeight;
  int32_t siWidth;
};
FrnnCropParam FrnnCropToBoundingInit(int32_t rowOffset, int32_t colOffset, int32_t height, int32_t width);
uint32_t FrnnTensorCropToBoundingBox(const FrnnCropParam* pstParam, const FrnnTensor* pstIn, FrnnTensor** ppstOut,
                                     void* pool);
uint32_t FrnnCropToBoundingBox(const FrnnTensor* pstIn, FrnnTensor** ppstOut, int32_t rowOffset, int32_t colOffset,
                               int32_t height, int32_t width, void* pool);

struct FrnnMatMulParam {
  uint32_t uiKind;
  uint32_t uiFracBits;
  uint32_t uiReaderWord;
};
FrnnMatMulParam FrnnMatMulInit(const FrnnWeightReader* pstReader);
uint32_t FrnnMatMulForwardInt(const FrnnMatMulParam* pstParam, const FrnnTensor* pstA, const FrnnTensor* pstB,
                              FrnnTensor** ppstOut, void* pool);
uint32_t FrnnMatMul(const FrnnTensor* pstA, const FrnnTensor* pstB, FrnnTensor** ppstOut,
                    const FrnnWeightReader* pstReader, void* pool);

// ---------------------------------------------------------------------------------------
// LCD denoise network.
inline constexpr uint32_t kDenoiseNetWeightBytes = 392328;  // 24-byte header, then the stream
inline constexpr uint32_t kDenoiseNetHeaderBytes = 24;
inline constexpr uint32_t kDenoiseNetPoolBytes = 0xfa000;
inline constexpr uint32_t kDenoiseNetMaxRows = 40;
extern float LcdDenoiseNetParams[160];

// The weight object is product data: the caller installs it (exactly 392,328 bytes, else
// 3; null, 5); until then, and after its removal, every run fails with 7. The engine
// copies the object, and installing or removing it is safe while another thread runs a
// frame: that frame finishes with the object it started with. The plug-in exports the
// installation doors of the three networks with C names, so that the host that loads it
// can hand them their product data.
VENDOR_EXPORT uint32_t DenoiseNetSetWeights(const void* pvBlob, uint32_t uiBytes);
VENDOR_EXPORT void DenoiseNetRemoveWeights();
void DenoiseNetInit();
uint32_t DlNetInterface(int16_t* pswDiff, uint16_t* puwRowHalfMeans, uint8_t* pubBuffer, int32_t rows, int32_t cols);

// ---------------------------------------------------------------------------------------
// Floating-finger complement network. The work buffer holds the pool in its first MiB,
// then the input copy and the two output maps (rows of 56 values behind a zero border).
inline constexpr uint32_t kFloatNetWeightHalves = 14078;
inline constexpr uint32_t kFloatNetWeightBytes = kFloatNetWeightHalves * 2;
inline constexpr uint32_t kFloatNetPoolBytes = 0x100000;
inline constexpr uint32_t kFloatNetInputOffset = 0x100000;
inline constexpr uint32_t kFloatNetMap1Offset = 1054400;
inline constexpr uint32_t kFloatNetMap2Offset = 1060224;
inline constexpr uint32_t kFloatNetAreaValues = 2912;
inline constexpr uint32_t kFloatNetMapPitch = 56;
inline constexpr uint32_t kFloatNetBufferBytes = kFloatNetMap2Offset + kFloatNetAreaValues * 2;

// The weight block is product data: the caller installs it (exactly 28,156 bytes, else 3;
// null, 5); until then, and after its removal, every run fails with 7. Copied and
// installed as the denoise object is.
VENDOR_EXPORT uint32_t NetFloatSetWeights(const void* pvBlob, uint32_t uiBytes);
VENDOR_EXPORT void NetFloatRemoveWeights();
uint32_t NetFloatComplement(const int16_t* pswDiff, uint8_t* pubBuffer, int32_t rows, int32_t cols,
                            uint16_t** ppuwMap1, uint16_t** ppuwMap2);

// ---------------------------------------------------------------------------------------
// Water-detection network.
struct WaterNetState {
  uint16_t auwHidden[8];
  uint8_t aubUnused[16];
};
static_assert(sizeof(WaterNetState) == 32);

inline constexpr uint32_t kWaterNetWeightHalves = 6082;
inline constexpr uint32_t kWaterNetWeightBytes = kWaterNetWeightHalves * 2;
inline constexpr uint32_t kWaterNetPoolBytes = 0x200000;

// The weight block is product data: the caller installs it (exactly the layout's 12,164
// bytes, else 3; null, 5); until then, and after its removal, every run fails. Copied and
// installed as the denoise object is.
VENDOR_EXPORT uint32_t NetWaterSetWeights(const void* pvBlob, uint32_t uiBytes);
VENDOR_EXPORT void NetWaterRemoveWeights();
WaterNetState* InitNetWater(WaterNetState* pstState);
uint32_t NetWaterDetection(const float* pfInput, WaterNetState* pstState, int32_t h, int32_t w, int32_t c,
                           uint32_t* puiScore1, uint32_t* puiScore2, uint8_t* pubBuffer);
