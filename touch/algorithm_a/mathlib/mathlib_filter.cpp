// Map filters: the 3 x 3 weighted filter and the weighted sums of one or two s16 maps that
// serve as the temporal blend of raw data.
#include <type_traits>

#include "mathlib_impl.h"

namespace {

using mathlib::Checked;
using mathlib::Status;

int32_t ArithShift(int32_t v, uint32_t uiShift) { return v >> (uiShift > 31 ? 31 : uiShift); }

// One body for both element types: T is the map element, the kernel and the 32-bit sum take
// its signedness.
template <typename T>
uint32_t Gaussian2d(uint32_t uiId, const T* pIn, uint16_t* puwOut, const TwoDimGaussianParam* pstParam) {
  if (pIn == nullptr || puwOut == nullptr || pstParam == nullptr) return Status(uiId, kLibStatusNullPtr);
  const TwoDimGaussianParam p = *pstParam;
  if (p.ubRows < 2 || p.ubCols < 2) return Status(uiId, kLibStatusRange);
  if (p.ubLastRow < p.ubFirstRow || p.ubLastCol < p.ubFirstCol) return Status(uiId, kLibStatusDone);
  // A window reaching past the map would read outside it.
  if (p.ubLastRow >= p.ubRows || p.ubLastCol >= p.ubCols) return Status(uiId, kLibStatusRange);

  constexpr bool kSigned = std::is_signed_v<T>;
  using Acc = std::conditional_t<kSigned, int32_t, uint32_t>;
  Acc k[9];
  for (int i = 0; i < 9; ++i) k[i] = static_cast<Acc>(static_cast<T>(p.auwKernel[i]));
  Acc offset = 0;
  if (p.uiOffsetEnable == 1) {
    if (p.uiOffsetWidth == 1) {
      offset = static_cast<Acc>(p.uwOffset);
    } else {
      offset = kSigned ? static_cast<Acc>(static_cast<int8_t>(p.uwOffset & 0xFF)) : static_cast<Acc>(p.uwOffset & 0xFF);
    }
  }
  const bool boReplicate = p.uiBorderMode == 0;
  const int32_t rows = p.ubRows;
  const int32_t cols = p.ubCols;
  // A neighbour outside the map: the nearest node inside it, or 0.
  const auto at = [&](int32_t r, int32_t c) -> Acc {
    if (r < 0 || r >= rows || c < 0 || c >= cols) {
      if (!boReplicate) return 0;
      r = r < 0 ? 0 : (r >= rows ? rows - 1 : r);
      c = c < 0 ? 0 : (c >= cols ? cols - 1 : c);
    }
    return static_cast<Acc>(pIn[r * cols + c]);
  };
  // Products and sums are formed modulo 2^32, which is the 32-bit accumulator's own sum
  // whether it is read signed or unsigned.
  uint32_t ku[9];
  for (int i = 0; i < 9; ++i) ku[i] = static_cast<uint32_t>(k[i]);
  const auto load = [&](const T* pRow, int32_t c) { return static_cast<uint32_t>(static_cast<Acc>(pRow[c])); };
  const auto finish = [&](uint32_t uiSum) -> uint16_t {
    const Acc sum = static_cast<Acc>(uiSum);
    Acc v;
    if constexpr (kSigned) {
      v = ArithShift(sum, p.uiShift);
    } else {
      v = p.uiShift > 31 ? 0 : sum >> p.uiShift;
    }
    return static_cast<uint16_t>(static_cast<uint32_t>(v) + static_cast<uint32_t>(offset));
  };
  const auto border = [&](int32_t r, int32_t c) {
    uint32_t uiSum = 0;
    for (int32_t dr = -1, i = 0; dr <= 1; ++dr) {
      for (int32_t dc = -1; dc <= 1; ++dc, ++i) uiSum += ku[i] * static_cast<uint32_t>(at(r + dr, c + dc));
    }
    return finish(uiSum);
  };

  uint16_t* pOut = puwOut;
  for (int32_t r = p.ubFirstRow; r <= p.ubLastRow; ++r) {
    int32_t c = p.ubFirstCol;
    if (r > 0 && r < rows - 1) {
      // Interior nodes of the row need no border handling: a straight loop the compiler
      // can vectorise, with the border columns on either side done node by node.
      const int32_t lo = c > 1 ? c : 1;
      const int32_t hi = p.ubLastCol < cols - 2 ? p.ubLastCol : cols - 2;
      for (; c < lo && c <= p.ubLastCol; ++c) *pOut++ = border(r, c);
      const T* pUp = pIn + (r - 1) * cols;
      const T* pMid = pIn + r * cols;
      const T* pDown = pIn + (r + 1) * cols;
      for (; c <= hi; ++c) {
        const uint32_t uiSum = ku[0] * load(pUp, c - 1) + ku[1] * load(pUp, c) + ku[2] * load(pUp, c + 1) +
                               ku[3] * load(pMid, c - 1) + ku[4] * load(pMid, c) + ku[5] * load(pMid, c + 1) +
                               ku[6] * load(pDown, c - 1) + ku[7] * load(pDown, c) + ku[8] * load(pDown, c + 1);
        *pOut++ = finish(uiSum);
      }
    }
    for (; c <= p.ubLastCol; ++c) *pOut++ = border(r, c);
  }
  return Status(uiId, kLibStatusDone);
}

bool WeightNodesOk(uint32_t n) { return n >= 1 && n <= kLibWeightFilterMaxNodes; }

// p = (x * w) >> shift with a 32-bit signed product.
int32_t Product(int16_t x, int16_t w, uint32_t uiShift) { return ArithShift(int32_t{x} * w, uiShift); }

// The 32-bit sum of the shifted products and the bias, shifted and kept to 16 bits.
int16_t Blend(int64_t slSum, uint32_t uiShift) { return static_cast<int16_t>(ArithShift(static_cast<int32_t>(slSum), uiShift)); }

}  // namespace

uint32_t LibXpu2TwoDimGaussianFilterU16(const uint16_t* puwIn, uint16_t* puwOut, const TwoDimGaussianParam* pstParam) {
  return Gaussian2d(kLibIdGaussian2dU16, puwIn, puwOut, pstParam);
}
uint32_t LibXpu2TwoDimGaussianFilterS16(const int16_t* pswIn, uint16_t* puwOut, const TwoDimGaussianParam* pstParam) {
  return Gaussian2d(kLibIdGaussian2dS16, pswIn, puwOut, pstParam);
}

// Each output depends on its own inputs only and both products are formed before it is
// stored, so out may be either input without keeping a copy of the maps.
uint32_t LibXpu2WeightFilterV1V2S16(const int16_t* pswA, const int16_t* pswB, const WeightFilterV1V2Param* pstParam,
                                    int16_t* pswOut) {
  const uint32_t n = pstParam != nullptr ? static_cast<uint32_t>(pstParam->ubRows) * pstParam->ubCols : 0;
  return Checked(kLibIdWeightFilterV1V2, {pswA, pswB, pstParam, pswOut}, WeightNodesOk(n), [&] {
    const WeightFilterV1V2Param p = *pstParam;
    for (uint32_t i = 0; i < n; ++i) {
      const int32_t p1 = Product(pswA[i], p.swWeight1, p.ubShift1);
      const int32_t p2 = Product(pswB[i], p.swWeight2, p.ubShift2);
      pswOut[i] = Blend(int64_t{p1} + p2 + p.swBias, p.ubShift);
    }
  });
}

uint32_t LibXpu2WeightFilterV1S16(const int16_t* pswIn, const WeightFilterV1Param* pstParam, int16_t* pswOut) {
  const uint32_t n = pstParam != nullptr ? static_cast<uint32_t>(pstParam->ubRows) * pstParam->ubCols : 0;
  return Checked(kLibIdWeightFilterV1, {pswIn, pstParam, pswOut}, WeightNodesOk(n), [&] {
    const WeightFilterV1Param p = *pstParam;
    for (uint32_t i = 0; i < n; ++i) pswOut[i] = Blend(int64_t{Product(pswIn[i], p.swWeight, p.ubShift1)} + p.swBias, p.ubShift);
  });
}

uint32_t LibIIRDataProcess(const int16_t* pswCur, int16_t* pswHist, uint8_t ubRows, uint8_t ubCols, uint8_t ubAlpha) {
  // Weights in 128ths: the new frame gets 128 - a, the history a.
  WeightFilterV1V2Param stParam{};
  stParam.ubRows = ubRows;
  stParam.ubCols = ubCols;
  stParam.swWeight1 = static_cast<int16_t>(128 - ubAlpha);
  stParam.swWeight2 = ubAlpha;
  stParam.ubShift1 = 7;
  stParam.ubShift2 = 7;
  return LibXpu2WeightFilterV1V2S16(pswCur, pswHist, &stParam, pswHist);
}
