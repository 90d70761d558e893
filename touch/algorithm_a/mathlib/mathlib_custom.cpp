// The strided operation engine: up to three strided 2-D operands of 8, 16 or 32-bit
// elements, and one of four operations chosen by code.
#include <cstring>

#include "mathlib_impl.h"

uint32_t gemR1Sign;
uint32_t gemR2Sign;

namespace {

using mathlib::LoadAt;
using mathlib::StoreAt;

uint32_t WidthBytes(uint32_t uiWidth) { return uiWidth == 0 ? 1 : (uiWidth == 1 ? 2 : 4); }

// One operand's row-major walk: column index times column stride from the row base; after
// the last column the row base moves on by the row stride. The walk carries on across
// groups and outputs within one call.
class Walk {
 public:
  Walk(void* pBase, uint32_t uiWidth, uint16_t uwRowStride, uint16_t uwColStride, uint16_t uwLastCol)
      : pRow_(static_cast<uint8_t*>(pBase)),
        uiBytes_(WidthBytes(uiWidth)),
        uwRowStride_(uwRowStride),
        uwColStride_(uwColStride),
        uwLastCol_(uwLastCol) {}

  int64_t Read(uint32_t uiSigned) {
    const uint8_t* p = Next();
    switch (uiBytes_) {
      case 1:
        return uiSigned != 0 ? int64_t{LoadAt<int8_t>(p, 0)} : int64_t{LoadAt<uint8_t>(p, 0)};
      case 2:
        return uiSigned != 0 ? int64_t{LoadAt<int16_t>(p, 0)} : int64_t{LoadAt<uint16_t>(p, 0)};
      default:
        return uiSigned != 0 ? int64_t{LoadAt<int32_t>(p, 0)} : int64_t{LoadAt<uint32_t>(p, 0)};
    }
  }
  uint32_t ReadWord() { return LoadAt<uint32_t>(Next(), 0); }

  void Write(int64_t v) {
    uint8_t* p = Next();
    switch (uiBytes_) {
      case 1:
        StoreAt<uint8_t>(p, 0, static_cast<uint8_t>(v));
        break;
      case 2:
        StoreAt<uint16_t>(p, 0, static_cast<uint16_t>(v));
        break;
      default:
        StoreAt<uint32_t>(p, 0, static_cast<uint32_t>(v));
        break;
    }
  }

 private:
  uint8_t* Next() {
    uint8_t* p = pRow_ + static_cast<uint32_t>(uwCol_) * uwColStride_;
    if (uwCol_ == uwLastCol_) {
      uwCol_ = 0;
      pRow_ += uwRowStride_;
    } else {
      ++uwCol_;
    }
    return p;
  }

  uint8_t* pRow_;
  uint32_t uiBytes_;
  uint16_t uwRowStride_;
  uint16_t uwColStride_;
  uint16_t uwLastCol_;
  uint16_t uwCol_ = 0;
};

Walk SourceWalk(const CustomOperand& op) { return Walk(op.pBase, op.uiWidth, op.uwRowStride, op.uwColStride, op.uwLastCol); }
Walk DestWalk(const CustomDestOperand& op) { return Walk(op.pBase, op.uiWidth, op.uwRowStride, op.uwColStride, op.uwLastCol); }

template <typename T>
T Param(const CustomFunctionParam& stParam, uint32_t uiAt) {
  return LoadAt<T>(stParam.aubOpParam, uiAt);
}

int64_t ShiftRight(int64_t v, uint64_t uiShift) { return v >> (uiShift % 64); }

void GroupSum(const CustomFunctionParam& stParam) {
  const uint32_t uiOutputs = stParam.ubOutputs;
  const bool boAverage = Param<uint32_t>(stParam, 0) == 1;
  const bool boRemainder = Param<uint32_t>(stParam, 4) == 1;
  const uint32_t uiGroup = Param<uint16_t>(stParam, 8);
  const uint8_t ubShift = Param<uint8_t>(stParam, 12);
  if (uiOutputs == 0) return;
  Walk src = SourceWalk(stParam.stSrc1);
  Walk dst = DestWalk(stParam.stDst);
  if (uiGroup == 0) {
    for (uint32_t i = 0; i < uiOutputs * (boRemainder ? 2u : 1u); ++i) dst.Write(0);
    return;
  }
  for (uint32_t i = 0; i < uiOutputs; ++i) {
    int64_t s = 0;
    for (uint32_t g = 0; g < uiGroup; ++g) s += src.Read(gemR1Sign);
    s = ShiftRight(s, ubShift);
    const int64_t q = s / static_cast<int64_t>(uiGroup);
    dst.Write(boAverage ? q : s);
    if (boRemainder) dst.Write(s - q * static_cast<int64_t>(uiGroup));
  }
}

void Multiply(const CustomFunctionParam& stParam) {
  const uint32_t uiMode = Param<uint32_t>(stParam, 0);
  const uint32_t uiCount = Param<uint16_t>(stParam, 4);
  const uint32_t uiShift1 = Param<uint32_t>(stParam, 8);
  const uint32_t uiShift2 = Param<uint32_t>(stParam, 12);
  Walk src1 = SourceWalk(stParam.stSrc1);
  Walk src2 = SourceWalk(stParam.stSrc2);
  Walk dst = DestWalk(stParam.stDst);
  if (uiMode == 0) {
    for (uint32_t i = 0; i < uiCount; ++i) {
      const int64_t x1 = src1.Read(gemR1Sign);
      const int64_t x2 = src2.Read(gemR2Sign);
      // The product is kept to 64 bits.
      const int64_t p = static_cast<int64_t>(static_cast<uint64_t>(x1) * static_cast<uint64_t>(x2));
      dst.Write(ShiftRight(p, uiShift1));
    }
    return;
  }
  // k.x + b with the coefficients packed in one 32-bit word: k high, b low.
  if (stParam.stSrc2.uiWidth != 2) return;
  for (uint32_t i = 0; i < uiCount; ++i) {
    const int64_t x1 = src1.Read(gemR1Sign);
    const uint32_t uiWord = src2.ReadWord();
    const int64_t k = static_cast<int16_t>(uiWord >> 16);
    const int64_t b = static_cast<int16_t>(uiWord & 0xFFFFu);
    dst.Write(ShiftRight(ShiftRight(k * x1, uiShift1) + b, uiShift2));
  }
}

void GroupMaxMin(const CustomFunctionParam& stParam) {
  const uint32_t uiGroup = Param<uint16_t>(stParam, 0);
  const uint32_t uiGroups = Param<uint8_t>(stParam, 2);
  Walk src = SourceWalk(stParam.stSrc1);
  Walk dst = DestWalk(stParam.stDst);
  for (uint32_t k = 0; k < uiGroups; ++k) {
    int64_t max = src.Read(gemR1Sign);
    int64_t min = max;
    uint32_t uiMaxAt = 0;
    uint32_t uiMinAt = 0;
    for (uint32_t i = 1; i < uiGroup; ++i) {
      const int64_t v = src.Read(gemR1Sign);
      if (v > max) {
        max = v;
        uiMaxAt = i;
      } else if (v < min) {
        min = v;
        uiMinAt = i;
      }
    }
    dst.Write(max);
    dst.Write(uiMaxAt);
    dst.Write(min);
    dst.Write(uiMinAt);
  }
}

void Subtract(const CustomFunctionParam& stParam) {
  const uint32_t uiConstant = Param<uint32_t>(stParam, 0);
  const uint32_t uiCount = Param<uint16_t>(stParam, 4);
  const bool boConstant = Param<uint32_t>(stParam, 8) != 0;
  Walk src1 = SourceWalk(stParam.stSrc1);
  Walk src2 = SourceWalk(stParam.stSrc2);
  Walk dst = DestWalk(stParam.stDst);
  for (uint32_t i = 0; i < uiCount; ++i) {
    const int64_t x1 = src1.Read(gemR1Sign);
    const int64_t x2 = boConstant ? int64_t{uiConstant} : src2.Read(gemR2Sign);
    dst.Write(x1 - x2);
  }
}

}  // namespace

uint32_t LibXpu2CustomFunction(CustomFunctionParam* pstParam) {
  const uint32_t uiDone = LibStatus(kLibIdCustom, kLibStatusDone);
  if (pstParam == nullptr) return uiDone;
  const CustomFunctionParam& stParam = *pstParam;
  switch (stParam.siOpCode) {
    case kLibCustomGroupSum:
      gemR1Sign = stParam.stSrc1.uiSigned;
      GroupSum(stParam);
      break;
    case kLibCustomMultiply:
      gemR1Sign = stParam.stSrc1.uiSigned;
      gemR2Sign = stParam.stSrc2.uiSigned;
      Multiply(stParam);
      break;
    case kLibCustomGroupMaxMin:
      gemR1Sign = stParam.stSrc1.uiSigned;
      GroupMaxMin(stParam);
      break;
    case kLibCustomSubtract:
      gemR1Sign = stParam.stSrc1.uiSigned;
      gemR2Sign = stParam.stSrc2.uiSigned;
      Subtract(stParam);
      break;
    default:
      break;
  }
  return uiDone;
}

void LibCustomSetGroupSum(CustomFunctionParam* pstParam, uint32_t uiAverage, uint32_t uiRemainder, uint16_t uwGroupLen,
                          uint8_t ubShift, uint8_t ubOutputs) {
  memset(pstParam->aubOpParam, 0, sizeof(pstParam->aubOpParam));
  StoreAt(pstParam->aubOpParam, 0, uiAverage);
  StoreAt(pstParam->aubOpParam, 4, uiRemainder);
  StoreAt(pstParam->aubOpParam, 8, uwGroupLen);
  StoreAt(pstParam->aubOpParam, 12, ubShift);
  pstParam->ubOutputs = ubOutputs;
  pstParam->siOpCode = kLibCustomGroupSum;
}

void LibCustomSetMultiply(CustomFunctionParam* pstParam, uint32_t uiMode, uint16_t uwCount, uint32_t uiShift1,
                          uint32_t uiShift2) {
  memset(pstParam->aubOpParam, 0, sizeof(pstParam->aubOpParam));
  StoreAt(pstParam->aubOpParam, 0, uiMode);
  StoreAt(pstParam->aubOpParam, 4, uwCount);
  StoreAt(pstParam->aubOpParam, 8, uiShift1);
  StoreAt(pstParam->aubOpParam, 12, uiShift2);
  pstParam->siOpCode = kLibCustomMultiply;
}

void LibCustomSetGroupMaxMin(CustomFunctionParam* pstParam, uint16_t uwGroupLen, uint8_t ubGroups) {
  memset(pstParam->aubOpParam, 0, sizeof(pstParam->aubOpParam));
  StoreAt(pstParam->aubOpParam, 0, uwGroupLen);
  StoreAt(pstParam->aubOpParam, 2, ubGroups);
  pstParam->siOpCode = kLibCustomGroupMaxMin;
}

void LibCustomSetSubtract(CustomFunctionParam* pstParam, uint32_t uiMode, uint32_t uiConstant, uint16_t uwCount) {
  memset(pstParam->aubOpParam, 0, sizeof(pstParam->aubOpParam));
  StoreAt(pstParam->aubOpParam, 0, uiConstant);
  StoreAt(pstParam->aubOpParam, 4, uwCount);
  StoreAt(pstParam->aubOpParam, 8, uiMode);
  pstParam->siOpCode = kLibCustomSubtract;
}
