// The small matrix library: element-wise operations, per-line averages, extremes and
// counts over 16-bit matrices laid out like the mutual matrix, and the whole-frame
// wrappers the filters call it through.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "luma_calc.h"

namespace {

uint8_t Stride() { return g_stFwConfig.ucRxNum; }

inline int16_t Saturate(int64_t v) { return static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767)); }

int32_t Read(const LumaMatOp &op, int16_t v) {
  int32_t x = op.ucUnsigned != 0 ? static_cast<int32_t>(static_cast<uint16_t>(v)) : v;
  return op.ucAbs != 0 ? std::abs(x) : x;
}

// The lines of an operation: rows (direction 0) or columns.
struct Lines {
  const LumaMatOp &op;
  bool columns() const { return op.ucDir != 0; }
  int count() const { return columns() ? op.ucCols : op.ucRows; }
  int length() const { return columns() ? op.ucRows : op.ucCols; }
  int index(int line, int k) const { return columns() ? k * Stride() + line : line * Stride() + k; }
};

template <typename F>
void EachElement(const LumaMatOp &op, F f) {
  for (int r = 0; r < op.ucRows; ++r) {
    for (int c = 0; c < op.ucCols; ++c) f(r * Stride() + c);
  }
}

void Frame(LumaMatOp *op) {
  std::memset(op, 0, sizeof(*op));
  op->ucRows = g_stFrmInfo.aucCfgCopy[4];
  op->ucCols = g_stFrmInfo.aucCfgCopy[5];
}

void ApplyFlags(LumaMatOp *op, uint8_t flags) {
  op->ucUnsigned = flags & LUMA_CAL_UNSIGNED;
  op->ucAbs = (flags & LUMA_CAL_ABS) != 0 ? 1 : 0;
  op->ucDir = (flags & LUMA_CAL_COLUMNS) != 0 ? 1 : 0;
}

// Each wrapper keeps its own descriptor: a caller may hold the one it got while it calls
// a different wrapper.
LumaMatOp s_stAddOp, s_stSubOp, s_stMovOp, s_stAvgOp, s_stFilterOp, s_stSubConstOp, s_stMinMaxOp;

}  // namespace

extern "C" {

void DrvCal_MatrixProc(const LumaMatOp *op) {
  if (op == nullptr || op->pssSrc1 == nullptr || op->pssDst == nullptr) return;
  const LumaMatOp &o = *op;
  if (o.usOp == LUMA_MAT_MOV) {
    for (int r = 0; r < o.ucRows; ++r) {
      for (int c = 0; c < o.ucCols; ++c) {
        const int16_t v = o.pssSrc1[r * Stride() + c];
        if (o.ucUnsigned != 0) o.pssDst[c * g_stFwConfig.ucTxNum + r] = v;
        else o.pssDst[r * Stride() + c] = v;
      }
    }
    return;
  }
  if ((o.usOp != LUMA_MAT_ADD && o.usOp != LUMA_MAT_SUB) || o.pssSrc2 == nullptr) return;
  const int shift = o.ucShift & 31;
  EachElement(o, [&](int i) {
    const int64_t a = Read(o, o.pssSrc1[i]);
    const int64_t b = Read(o, o.pssSrc2[i]);
    o.pssDst[i] = Saturate((o.usOp == LUMA_MAT_ADD ? a + b : a - b) >> shift);
  });
}

void DrvCal_MatrixAmp(const LumaMatOp *op, int16_t gain) {
  if (op == nullptr || op->pssSrc1 == nullptr || op->pssDst == nullptr) return;
  const LumaMatOp &o = *op;
  EachElement(o, [&](int i) {
    const int64_t v = (static_cast<int64_t>(Read(o, o.pssSrc1[i])) * gain) >> (o.ucShift & 31);
    o.pssDst[i] = v < -32767 ? static_cast<int16_t>(-32768) : Saturate(v);
  });
}

void DrvCal_McMac(const LumaMacCtx *ctx) {
  if (ctx == nullptr || ctx->pusOut == nullptr) return;
  std::memset(ctx->pusOut, 0, 6 * sizeof(uint16_t));
  if (ctx->pssData == nullptr || ctx->ucRows == 0 || ctx->ucMode > 3) return;
  const bool compact = ctx->ucMode >= 2;
  const bool absolute = (ctx->ucMode & 1) != 0;
  uint32_t weight = 0, row_moment = 0, col_moment = 0;
  for (int r = 0; r < ctx->ucRows; ++r) {
    for (int c = 0; c < ctx->ucCols; ++c) {
      const int row = ctx->ucRow0 + r;
      const int col = ctx->ucCol0 + c;
      if (!compact && (row >= g_stFwConfig.ucTxNum || col >= g_stFwConfig.ucRxNum)) continue;
      int32_t v = compact ? ctx->pssData[r * ctx->ucCols + c] : ctx->pssData[row * Stride() + col];
      if (absolute) v = std::abs(v);
      const int32_t w = v - ctx->ucThr;
      if (w < 1) continue;
      weight += static_cast<uint32_t>(w);
      row_moment += static_cast<uint32_t>(w) * static_cast<uint32_t>(compact ? r : row);
      col_moment += static_cast<uint32_t>(w) * static_cast<uint32_t>(compact ? c : col);
    }
  }
  const uint32_t values[3] = {weight, row_moment, col_moment};
  for (int k = 0; k < 3; ++k) {
    ctx->pusOut[2 * k] = static_cast<uint16_t>(values[k] >> 16);
    ctx->pusOut[2 * k + 1] = static_cast<uint16_t>(values[k]);
  }
}

void DrvCal_MatrixCompensation(const LumaMatOp *op, uint16_t threshold, uint8_t step) {
  if (op == nullptr || op->pssSrc1 == nullptr || op->pssSrc2 == nullptr || op->pssDst == nullptr) return;
  const LumaMatOp &o = *op;
  const int32_t t = threshold;
  if (o.ucUnsigned == 1) {
    const Lines lines{o};
    for (int line = 0; line < lines.count(); ++line) {
      for (int k = 0; k < lines.length(); ++k) {
        const int i = lines.index(line, k);
        const int32_t v = o.pssSrc1[i];
        if (v > t) o.pssDst[i] = static_cast<int16_t>(v - o.pssSrc2[line]);
        else if (v < -t) o.pssDst[i] = static_cast<int16_t>(v + o.pssSrc2[line]);
        else o.pssDst[i] = static_cast<int16_t>(v);
      }
    }
    return;
  }
  EachElement(o, [&](int i) {
    const int32_t v = o.pssSrc1[i];
    const int32_t b = o.pssSrc2[i];
    o.pssDst[i] = static_cast<int16_t>(v > t ? b + step : (v < -t ? b - step : b));
  });
}

void DrvCal_MatrixAvg(const LumaMatOp *op, uint8_t h) {
  if (op == nullptr || op->pssSrc1 == nullptr || op->pssSrc2 == nullptr || op->pssDst == nullptr) return;
  const LumaMatOp &o = *op;
  const Lines lines{o};
  const int count = lines.count();
  for (int line = 0; line < count; ++line) {
    // The bound vector holds the upper bounds of all lines, then their lower bounds.
    const int32_t upper = o.pssSrc2[line];
    const int32_t lower = o.pssSrc2[count + line];
    int64_t sum = 0;
    int32_t used = 0;
    for (int k = 0; k < lines.length(); ++k) {
      int32_t v = Read(o, o.pssSrc1[lines.index(line, k)]);
      if (v > upper || v < lower) {
        if (h == 1) continue;
        v = v > upper ? upper : lower;
      }
      sum += v;
      ++used;
    }
    o.pssDst[line] = used == 0 ? static_cast<int16_t>(32767) : static_cast<int16_t>(sum / used);
  }
}

void DrvCal_MatrixMin(const LumaMatOp *op) {
  if (op == nullptr || op->pssSrc1 == nullptr || op->pssDst == nullptr) return;
  const Lines lines{*op};
  for (int line = 0; line < lines.count(); ++line) {
    int32_t best = 32767;
    for (int k = 0; k < lines.length(); ++k) best = std::min(best, Read(*op, op->pssSrc1[lines.index(line, k)]));
    op->pssDst[line] = static_cast<int16_t>(best);
  }
}

void DrvCal_MatrixMax(const LumaMatOp *op) {
  if (op == nullptr || op->pssSrc1 == nullptr || op->pssDst == nullptr) return;
  const Lines lines{*op};
  for (int line = 0; line < lines.count(); ++line) {
    int32_t best = op->ucUnsigned != 0 ? 0 : -32768;
    for (int k = 0; k < lines.length(); ++k) best = std::max(best, Read(*op, op->pssSrc1[lines.index(line, k)]));
    op->pssDst[line] = static_cast<int16_t>(best);
  }
}

void DrvCal_MatrixMaxMin(const LumaMatOp *op) {
  if (op == nullptr) return;
  if (op->usOp == LUMA_MAT_MAX) DrvCal_MatrixMax(op);
  else if (op->usOp == LUMA_MAT_MIN) DrvCal_MatrixMin(op);
}

void DrvCal_MatrixSubConst(const LumaMatOp *op) {
  if (op == nullptr || op->pssSrc1 == nullptr || op->pssSrc2 == nullptr || op->pssDst == nullptr) return;
  const Lines lines{*op};
  for (int line = 0; line < lines.count(); ++line) {
    for (int k = 0; k < lines.length(); ++k) {
      const int i = lines.index(line, k);
      op->pssDst[i] = Saturate(static_cast<int64_t>(Read(*op, op->pssSrc1[i])) - op->pssSrc2[line]);
    }
  }
}

uint16_t DrvCal_MatrixCount(const LumaMatOp *op, int16_t low, int16_t high) {
  if (op == nullptr || op->pssSrc1 == nullptr) return 0;
  uint16_t n = 0;
  EachElement(*op, [&](int i) {
    const int32_t v = Read(*op, op->pssSrc1[i]);
    if (v >= low && v <= high) ++n;
  });
  return n;
}

uint16_t DrvCal_MatrixSubMax(const LumaMatOp *op) {
  if (op == nullptr || op->pssSrc1 == nullptr || op->pssSrc2 == nullptr) return 0;
  int32_t most = 0;
  EachElement(*op, [&](int i) {
    const int32_t d = Read(*op, op->pssSrc1[i]) - Read(*op, op->pssSrc2[i]);
    if (op->pssDst != nullptr) op->pssDst[i] = Saturate(d);
    most = std::max(most, std::abs(d));
  });
  return static_cast<uint16_t>(std::min(most, 65535));
}

LumaMatOp *AppCal_MatrixCommOp(LumaMatOp *op, int16_t *dst, const int16_t *src1, const int16_t *src2, uint8_t kind) {
  if (op == nullptr) return nullptr;
  Frame(op);
  op->pssSrc1 = src1;
  if (kind == 1) op->pssSrc2 = src2;
  if (kind != 3) op->pssDst = dst;
  return op;
}

LumaMatOp *AppCal_MatrixAdd(int16_t *dst, const int16_t *src1, const int16_t *src2) {
  LumaMatOp *op = AppCal_MatrixCommOp(&s_stAddOp, dst, src1, src2, 1);
  op->usOp = LUMA_MAT_ADD;
  DrvCal_MatrixProc(op);
  return op;
}

LumaMatOp *AppCal_MatrixSub(int16_t *dst, const int16_t *src1, const int16_t *src2, uint8_t shift) {
  LumaMatOp *op = AppCal_MatrixCommOp(&s_stSubOp, dst, src1, src2, 1);
  op->usOp = LUMA_MAT_SUB;
  op->ucShift = shift;
  DrvCal_MatrixProc(op);
  return op;
}

LumaMatOp *AppCal_MatrixMov(int16_t *dst, const int16_t *src) {
  LumaMatOp *op = AppCal_MatrixCommOp(&s_stMovOp, dst, src, nullptr, 0);
  op->usOp = LUMA_MAT_MOV;
  DrvCal_MatrixProc(op);
  return op;
}

LumaMatOp *AppCal_MatrixLineColAvg(int16_t *dst, const int16_t *src, const int16_t *bounds, uint8_t flags, uint8_t h) {
  LumaMatOp *op = AppCal_MatrixCommOp(&s_stAvgOp, dst, src, nullptr, 0);
  op->pssSrc2 = bounds;
  ApplyFlags(op, flags);
  DrvCal_MatrixAvg(op, h);
  return op;
}

LumaMatOp *AppCal_MatrixLineFilter(int16_t *dst, const int16_t *src, const int16_t *steps, uint32_t threshold,
                                   uint8_t flags) {
  LumaMatOp *op = AppCal_MatrixCommOp(&s_stFilterOp, dst, src, nullptr, 0);
  op->pssSrc2 = steps;
  ApplyFlags(op, flags);
  op->ucUnsigned = 1;  // the line form of the compensation
  op->ucAbs = 0;
  DrvCal_MatrixCompensation(op, static_cast<uint16_t>(std::min<uint32_t>(threshold, 65535)), 0);
  return op;
}

LumaMatOp *AppCal_MatrixSubConst(int16_t *dst, const int16_t *src, const int16_t *values, uint8_t flags) {
  LumaMatOp *op = AppCal_MatrixCommOp(&s_stSubConstOp, dst, src, nullptr, 0);
  op->pssSrc2 = values;
  ApplyFlags(op, flags);
  DrvCal_MatrixSubConst(op);
  return op;
}

LumaMatOp *AppCal_MatrixLineMinMax(int16_t *dst, const int16_t *src, uint8_t flags) {
  LumaMatOp *op = AppCal_MatrixCommOp(&s_stMinMaxOp, dst, src, nullptr, 0);
  const auto selector = static_cast<int8_t>(flags);
  op->usOp = (selector < 0 || selector > 7) ? LUMA_MAT_MIN : LUMA_MAT_MAX;
  ApplyFlags(op, static_cast<uint8_t>(flags & 7));
  DrvCal_MatrixMaxMin(op);
  return op;
}

uint16_t AppCal_MatrixCount(const int16_t *src, int16_t low, int16_t high) {
  LumaMatOp op;
  AppCal_MatrixCommOp(&op, nullptr, src, nullptr, 3);
  return DrvCal_MatrixCount(&op, low, high);
}

int16_t AppCal_MatrixMax(const int16_t *src) {
  if (src == nullptr) return 0;
  uint16_t pos[1], neg[1];
  LumaScPeakParam param{};
  param.ucCols = g_stFrmInfo.aucCfgCopy[5];
  param.ucRows = g_stFrmInfo.aucCfgCopy[4];
  param.pssData = src;
  param.pusPosPeak = pos;
  param.pusNegPeak = neg;
  param.ssPosThr = 32767;
  param.ssNegThr = -32768;
  LumaScPeakResult result{};
  DrvCal_ScPeak(&param, &result);
  if (param.ucRows == 0) return 0;
  return static_cast<int16_t>(std::max(std::abs(static_cast<int32_t>(result.ssMax)),
                                       std::min(std::abs(static_cast<int32_t>(result.ssMin)), 32767)));
}

int16_t AppCal_MatrixAvg(const int16_t *src) {
  if (src == nullptr) return 0;
  const int rows = g_stFrmInfo.aucCfgCopy[4];
  const int cols = g_stFrmInfo.aucCfgCopy[5];
  if (rows * cols == 0) return 0;
  int64_t sum = 0;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) sum += src[r * Stride() + c];
  }
  return static_cast<int16_t>(sum / (rows * cols));
}

}  // extern "C"
