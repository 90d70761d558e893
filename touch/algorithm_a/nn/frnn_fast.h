#pragma once
// The engine's fast paths: sums kept in single precision over 8 lanes with fused
// multiply-adds, half-precision values widened as they are loaded and each output rounded
// to half once. They order their sums differently from the reference kernels (which round
// to half after every term as the target's half-precision units do), so they agree with
// those within the half-precision rounding, not bit for bit. A processor check picks them.
#include <cstddef>
#include <cstdint>

// Whether the fast paths run: the processor has AVX2, F16C and FMA and they are allowed.
bool FrnnFastPaths();
// Test and benchmark control: false keeps every layer on the reference kernels.
void FrnnSetFastPaths(bool bAllow);

// sum over j below n of w[j] x x[j] (halves by floats), in single precision.
float FrnnFastDotHalf(const uint16_t* w, const float* x, uint32_t n);
// Path A's planar kernel on the fast path: half NCHW at stride 1 and dilation 1 (any
// kernel size); 9 when it does not take the case, 4 when the pool has no room for its
// scratch (the input planes and the weights widened), 0 when it computed the output.
struct ConvolutionLayer;
struct FrnnTensor;
uint32_t FrnnFastConvPlanar(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor* out, void* pool);
// Path A's blocked kernel on the fast path, given the weights already packed into 8 x 8
// tiles (and the bias padded to whole blocks, or null): results as FrnnFastConvPlanar.
// Weights installed through a slot are read in their prepared form instead; tiles may
// then be null (without a prepared form, null tiles leave the case to the caller).
uint32_t FrnnFastConvBlocked(const ConvolutionLayer* l, const FrnnTensor* in, FrnnTensor* out, const uint16_t* tiles,
                             const uint16_t* bias, void* pool);
// One output row of a depthwise layer on the fast path: out[x] = bias + sum over k of
// w[k] x rows[k][x] in single precision, rounded to half once (rows[k]: tap k's inputs,
// contiguous).
void FrnnFastDepthwiseRow(uint16_t* out, const uint16_t* const* rows, const float* w, uint32_t taps, float bias,
                          uint32_t count);
// The same with the input rows already widened to single precision.
void FrnnFastDepthwiseRowWide(uint16_t* out, const float* const* rows, const float* w, uint32_t taps, float bias,
                              uint32_t count);
// The same over one row of blocked (NC8HW8) pixels: pixel x of the row at src + x x
// pixelStep, tap k at offset off[k] from it (in halves), its 8 lanes' weights at w[k x 8].
void FrnnFastDepthwiseBlockedRow(uint16_t* dst, const uint16_t* src, size_t pixelStep, const int32_t* off,
                                 uint32_t taps, const float* w, const float* bias8, uint32_t count);
// dst[j] = the half w[j] widened, for j below n.
void FrnnFastWiden(const uint16_t* src, float* dst, uint32_t n);
