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
