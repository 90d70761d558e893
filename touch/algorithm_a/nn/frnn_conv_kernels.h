#pragma once
// Compute routines of the convolution layer's paths (not part of the engine's door).
#include "frnn.h"

void ConvGenericF16(const ConvolutionLayer* l, const FrnnTensor* in, const int32_t* table, int32_t outHeight,
                    int32_t outWidth, FrnnTensor* out);
void ConvGenericF32(const ConvolutionLayer* l, const FrnnTensor* in, const int32_t* table, int32_t outHeight,
                    int32_t outWidth, FrnnTensor* out);

// Path A's planar kernel for one accepted shape: kW x kH taps at strides sW, sH.
// bVector selects the 8-lane body where the processor has it; the bits are the same.
void ConvPlanarF16(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor* out, bool bVector);
// acc[x] = acc[x] + w * in[x] for x below count, rounded to half after the term: the
// 8-lane body when bVector and the processor has it, else the scalar one (same bits).
void FrnnHalfTapRow(uint16_t* acc, const uint16_t* in, uint16_t w, uint32_t count, bool bVector);
// Whether the processor runs the 8-lane half-precision kernels (F16C and AVX2).
bool FrnnHasHalfVector();
// Test and benchmark control: 0 forces the scalar kernels, 1 allows the vector ones.
void FrnnSetVectorKernels(bool bAllow);

// Blocked (8 channels per pixel) half-precision steps, each lane rounded to half after
// every term; the 8-lane body when bVector and the processor has it (same bits).
// acc[m] = acc[m] + w[l * 8 + m] * in[l] for l = 0..7 in order: one pixel of an input
// block through one packed 8 x 8 weight tile.
void FrnnHalfTileFma(uint16_t* acc, const uint16_t* w64, const uint16_t* in8, bool bVector);
// The whole sums of `count` blocked output pixels of a row (accumulators 8 halves apart,
// inputs pixelStep halves apart): for each input block j (blockStride halves apart),
// kernel row and column (rowStep and 8 halves apart), one tile of the packed weights (64
// halves each, in that order) as FrnnHalfTileFma does it.
void FrnnHalfBlockedPixels(uint16_t* acc, uint32_t count, const uint16_t* tiles, const uint16_t* in,
                           size_t blockStride, uint32_t jb, uint32_t kH, uint32_t kW, size_t rowStep,
                           size_t pixelStep, bool bVector);
// acc[x] = acc[x] + in[x] for the x below count where in[x] > 0, and dst[x] = s * v[x],
// rounded to half; the 8-lane body when bVector (same bits).
void FrnnHalfAddPositives(uint16_t* acc, const uint16_t* in, uint32_t count, bool bVector);
void FrnnHalfScaleRow(uint16_t* dst, const uint16_t* v, uint16_t s, uint32_t count, bool bVector);
// o[j] = a[j] + b[j] (or a[j] * b[j] when bMul) for j below n, rounded to half.
void FrnnHalfBinaryRow(uint16_t* o, const uint16_t* a, const uint16_t* b, size_t n, bool bMul, bool bVector);
// out[l] = 0 + base[l * laneStride] + base[l * laneStride + stepStride] + ... (len terms),
// each sum rounded to half, for l below lanes (at most 8): chains side by side.
void FrnnHalfSumChains(uint16_t* out, const uint16_t* base, size_t laneStride, size_t stepStride, uint32_t lanes,
                       uint32_t len, bool bVector);
// Two-tap maximum windows: dst[x] = a[x] where a[x] > b[x], else b[x] (a NaN on either
// side takes b), for x below n; Pairs takes a = src[2x], b = src[2x + 1]. The 8-lane body
// when bVector (same bits).
void FrnnHalfMaxRows(uint16_t* dst, const uint16_t* a, const uint16_t* b, uint32_t n, bool bVector);
void FrnnHalfMaxPairs(uint16_t* dst, const uint16_t* src, uint32_t n, bool bVector);
// acc[m] = acc[m] + w[m] * in[m]: one depthwise tap over a block pixel.
void FrnnHalfLaneFma(uint16_t* acc, const uint16_t* w8, const uint16_t* in8, bool bVector);

// Path A's blocked (NC8HW8) and batch-interleaved (CHWN) kernels.
uint32_t ConvBlockedNc8F16(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor* out, void* pool);
void ConvChwn3x3Kernel(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor* out);
void ConvChwn1x1Kernel(const FrnnTensor* in, FrnnTensor* out, const FrnnTensor* weights, const FrnnTensor* bias,
                       uint32_t hasBias);

// Depthwise convolution: the planar body every NCHW kernel and the reference route share
// (off: the tap offsets of DepthwiseTapOffsets), and the kernel dispatch.
bool AnyDepthwisePad(const DepthwiseConvLayer* l);
void DepthwiseTapOffsets(const DepthwiseConvLayer* l, const FrnnTensor* in, const FrnnTensor* padded, int32_t* off);
void DepthwiseNchwBody(const DepthwiseConvLayer* l, const FrnnTensor* in, FrnnTensor* padded, FrnnTensor* out,
                       const int32_t* off, uint32_t* pres);
uint32_t DepthwiseConvKernelDispatch(const DepthwiseConvLayer* l, const FrnnTensor* in, FrnnTensor* padded,
                                     FrnnTensor* out, void* pool);

// Path B: single precision, NCHW kernels per image (input, output, weights, bias, flag)
// and the NC4HW4 kernel on whole tensors.
uint32_t ConvDirectDispatch(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor* out, void* pool);
uint32_t ConvNC4HW4Kernel(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor* out, void* pool);
void Conv3x3S1Kernel(const FrnnTensor* in, FrnnTensor* out, const FrnnTensor* w, const FrnnTensor* b, uint32_t hasBias);
void Conv3x3S2Kernel(const FrnnTensor* in, FrnnTensor* out, const FrnnTensor* w, const FrnnTensor* b, uint32_t hasBias);
void Conv5x5S1Kernel(const FrnnTensor* in, FrnnTensor* out, const FrnnTensor* w, const FrnnTensor* b, uint32_t hasBias);
void Conv2x2S2Kernel(const FrnnTensor* in, FrnnTensor* out, const FrnnTensor* w, const FrnnTensor* b, uint32_t hasBias);
void Conv1x1GemmKernel(const FrnnTensor* in, FrnnTensor* out, const FrnnTensor* w, const FrnnTensor* b,
                       uint32_t hasBias);
