// LCD denoise network: the mean-free rows of a difference image (resampled to 40
// columns) go through a small convolutional network that predicts four coefficients per
// row; the noise curve of a row is their combination with four fixed basis curves, and
// eight times the curve (scaled back, mean restored) is subtracted from the image.
#include <cmath>
#include <vector>

#include "frnn_internal.h"
#include "net_denoise_internal.h"
#include "net_weights.h"
#include "tsa_memory.h"

float LcdDenoiseNetParams[160];

namespace {

constexpr uint32_t kCols = 40;
constexpr uint32_t kBasis = 4;

NetWeightSlot sWeights;  // installed product weight object (392,328 bytes), or none

constexpr FrnnPaddingParam kP31{1, 1, 0, 0, 0, 0};
constexpr FrnnPaddingParam kP33{1, 1, 1, 1, 0, 0};
constexpr FrnnPaddingParam kP0{0, 0, 0, 0, 0, 0};

// Resamples `src` (srcCols values) to dstCols values by linear interpolation at
// q = j x srcCols / dstCols. The last source value stands for the position past it: the
// row's own edge, never the start of the next row.
void Resample(const float* src, uint32_t srcCols, float* dst, uint32_t dstCols) {
  for (uint32_t j = 0; j < dstCols; ++j) {
    const float q = static_cast<float>(j) * static_cast<float>(srcCols) / static_cast<float>(dstCols);
    uint32_t c0 = static_cast<uint32_t>(q);
    if (c0 > srcCols - 1) c0 = srcCols - 1;
    const float f = q - static_cast<float>(c0);
    const float a = src[c0];
    const float b = c0 + 1 < srcCols ? src[c0 + 1] : src[c0];
    dst[j] = (1.0f - f) * a + f * b;
  }
}

int16_t Saturate16(float v) {
  if (!(v == v)) return 0;
  const float t = std::trunc(v);
  if (t >= 32767.0f) return 32767;
  if (t <= -32768.0f) return -32768;
  return static_cast<int16_t>(t);
}

struct Net {
  FrnnWeightReader* r;
  void* pool;
};

// The layer steps; each consumes its input when `drop` says so.
uint32_t Conv(const Net& n, FrnnTensor*& x, bool drop, FrnnTensor** out, uint32_t C, uint32_t kW, uint32_t kH,
              const FrnnPaddingParam& pad) {
  const uint32_t r = FrnnConvolution(x, out, C, kW, kH, 1, 1, 1, &pad, n.r, 1, n.pool);
  if (drop) DropTensor(x, n.pool);
  return r;
}

uint32_t MaxPool(const Net& n, FrnnTensor*& x, FrnnTensor** out, uint32_t kW, uint32_t kH) {
  const uint32_t r = FrnnPooling(x, nullptr, out, 0, 0, kW, kH, kW, kH, &kP0, n.r, n.pool);
  DropTensor(x, n.pool);
  return r;
}

uint32_t PadTo(const Net& n, FrnnTensor*& x, FrnnTensor** out, uint32_t w, uint32_t h) {
  if (x->uiW > w || x->uiH > h) {
    DropTensor(x, n.pool);
    return FRNN_ERR_ARG;
  }
  const FrnnPaddingParam p = FrnnPaddingInit(0, static_cast<int32_t>(w - x->uiW), 0, static_cast<int32_t>(h - x->uiH), 0,
                                             n.r, 0.0f);
  const uint32_t r = FrnnPadding(x, out, &p, n.r, n.pool);
  DropTensor(x, n.pool);
  return r;
}

uint32_t Flatten(const Net& n, FrnnTensor*& x, FrnnTensor** out) {
  const uint32_t r = FrnnFlatten(x, out, 1, 1, n.r, n.pool);
  DropTensor(x, n.pool);
  return r;
}

uint32_t Dense(const Net& n, FrnnTensor*& x, FrnnTensor** out, uint32_t units) {
  const uint32_t r = FrnnDense(x, out, units, 1, n.r, n.pool);
  DropTensor(x, n.pool);
  return r;
}

// The graph from the mean-free rows A, the padded row means C and the basis B to the
// rows x 40 noise curves.
uint32_t Graph(const Net& n, FrnnTensor* A, FrnnTensor* Cp, const FrnnTensor* B, uint32_t rows, FrnnTensor** noise) {
  FrnnTensor* t[24] = {};
  uint32_t r = FRNN_OK;
  FrnnTensor*& c1 = t[0];
  FrnnTensor*& p1 = t[1];
  FrnnTensor*& c2 = t[2];
  FrnnTensor*& p2 = t[3];
  FrnnTensor*& c3 = t[4];
  FrnnTensor*& p3 = t[5];
  FrnnTensor*& X = t[6];
  FrnnTensor*& d = t[7];
  FrnnTensor*& c5 = t[8];
  FrnnTensor*& p5 = t[9];
  FrnnTensor*& c6 = t[10];
  FrnnTensor*& p6 = t[11];
  FrnnTensor*& p6p = t[12];
  FrnnTensor*& c7 = t[13];
  FrnnTensor*& p7 = t[14];
  FrnnTensor*& c8 = t[15];
  FrnnTensor*& c9 = t[16];
  FrnnTensor*& c8p = t[17];
  FrnnTensor*& f1 = t[18];
  FrnnTensor*& c9p = t[19];
  FrnnTensor*& f2 = t[20];
  FrnnTensor*& e1 = t[21];
  FrnnTensor*& e2 = t[22];
  FrnnTensor*& cat = t[23];
  FrnnTensor* e3 = nullptr;
  FrnnTensor* coef = nullptr;
  FrnnTensor* crop = nullptr;
  auto ok = [&](uint32_t res) { return (r = res) == FRNN_OK; };
  const bool bDone =
      ok(Conv(n, A, false, &c1, 8, 3, 1, kP31)) && ok(MaxPool(n, c1, &p1, 2, 1)) &&
      ok(Conv(n, p1, true, &c2, 8, 3, 1, kP31)) && ok(MaxPool(n, c2, &p2, 2, 1)) &&
      ok(Conv(n, p2, true, &c3, 24, 3, 1, kP31)) && ok(MaxPool(n, c3, &p3, 2, 1)) &&
      ok(Conv(n, p3, true, &X, 24, 3, 1, kP31)) &&
      ok(FrnnDepthwiseConv(X, &d, 1, 3, 3, 1, 1, 1, &kP33, n.r, 1, n.pool)) &&
      ok(Conv(n, d, true, &c5, 8, 1, 1, kP0)) && ok(MaxPool(n, c5, &p5, 1, 2)) &&
      ok(Conv(n, p5, true, &c6, 32, 3, 3, kP33)) && ok(MaxPool(n, c6, &p6, 1, 2)) && ok(PadTo(n, p6, &p6p, 5, 10)) &&
      ok(Conv(n, p6p, true, &c7, 24, 3, 3, kP33)) && ok(MaxPool(n, c7, &p7, 1, 2)) &&
      ok(Conv(n, p7, true, &c8, 16, 3, 3, kP33)) && ok(Conv(n, X, true, &c9, 4, 1, 1, kP0)) &&
      ok(PadTo(n, c8, &c8p, 5, 5)) && ok(Flatten(n, c8p, &f1)) && ok(PadTo(n, c9, &c9p, 5, 40)) &&
      ok(Flatten(n, c9p, &f2)) && ok(Dense(n, Cp, &e1, 4)) && ok(Dense(n, f2, &e2, 120));
  if (bDone) {
    const FrnnTensor* list[3] = {f1, e1, e2};
    if (ok(FrnnConcat(list, &cat, 3, 3, n.r, n.pool))) {
      DropTensor(f1, n.pool);
      DropTensor(e1, n.pool);
      DropTensor(e2, n.pool);
      if (ok(Dense(n, cat, &e3, 160)) && ok(FrnnReshape(e3, &coef, 1, 1, kCols, kBasis, n.r, n.pool)) &&
          ok(FrnnCropToBoundingBox(coef, &crop, 0, 0, static_cast<int32_t>(rows), kBasis, n.pool))) {
        r = FrnnMatMul(crop, B, noise, n.r, n.pool);
      }
    }
  }
  DropTensor(e3, n.pool);
  DropTensor(coef, n.pool);
  DropTensor(crop, n.pool);
  for (FrnnTensor*& p : t) DropTensor(p, n.pool);
  DropTensor(Cp, n.pool);
  return r;
}

}  // namespace

void DenoiseNetInit() {
  for (uint32_t k = 0; k < kCols; ++k) {
    const float d = static_cast<float>(static_cast<int32_t>(k) - 20);
    LcdDenoiseNetParams[k] = 64.0f;
    LcdDenoiseNetParams[kCols + k] = 0.125f * static_cast<float>(k);
    LcdDenoiseNetParams[2 * kCols + k] = 0.0125f * (d * d);
    LcdDenoiseNetParams[3 * kCols + k] = 0.00125f * (d * d * d);
  }
}

// One run on a quiet 18 x 32 panel passes every layer of the graph.
void DenoiseNetPrepareRun(const uint8_t* weights, uint32_t bytes) {
  std::vector<int16_t> diff(18 * 32, 0);
  std::vector<uint16_t> means(kDenoiseNetMaxRows, kHalfZero);
  std::vector<uint8_t> buffer(kDenoiseNetPoolBytes);
  const DenoiseNetRunArgs a{diff.data(), means.data(), buffer.data(), 18, 32, weights, bytes};
  (void)DenoiseNetRun(a, nullptr);
}

uint32_t DenoiseNetSetWeights(const void* pvBlob, uint32_t uiBytes) {
  return sWeights.Install(pvBlob, uiBytes, kDenoiseNetWeightBytes, DenoiseNetPrepareRun);
}

void DenoiseNetRemoveWeights() { sWeights.Remove(); }

uint32_t DenoiseNetRun(const DenoiseNetRunArgs& a, DenoiseNetRunReport* pstReport) {
  if (pstReport != nullptr) pstReport->uiConsumedBytes = 0;
  if (a.pswDiff == nullptr || a.puwRowHalfMeans == nullptr || a.pubBuffer == nullptr) return FRNN_ERR_NULL;
  // Without a row there is no row-mean tensor: the first padding step has nothing to pad.
  if (a.rows == 0) return FRNN_ERR_NULL;
  // The working arrays hold 40 rows, and the output copy counts below 65,536 values.
  if (a.rows < 0 || a.rows > static_cast<int32_t>(kDenoiseNetMaxRows) || a.cols < 1 ||
      static_cast<int64_t>(a.rows) * a.cols >= 65536) {
    return FRNN_ERR_ARG;
  }
  if (a.pvWeights == nullptr || a.uiWeightBytes < kDenoiseNetHeaderBytes) return FRNN_ERR_WEIGHT;
  const uint32_t rows = static_cast<uint32_t>(a.rows);
  const uint32_t cols = static_cast<uint32_t>(a.cols);
  const FrnnMempoolParam param{kDenoiseNetPoolBytes, a.pubBuffer, 0};
  uint32_t r = FrnnMempoolInit(&param);
  if (r != FRNN_OK) return r;
  void* pool = a.pubBuffer;
  auto* scratch = static_cast<int16_t*>(FrnnMempoolMalloc(pool, static_cast<int32_t>(rows * cols * 2)));
  // One scaled row (or curve) of cols values, beside the 40-column working arrays.
  auto* line = static_cast<float*>(FrnnMempoolMalloc(pool, static_cast<int32_t>(cols * 4 + 16)));
  if (scratch == nullptr || line == nullptr) {
    FrnnMempoolFree(pool, scratch);
    FrnnMempoolFree(pool, line);
    FrnnMempoolDestory(pool);
    return FRNN_ERR_NOMEM;
  }
  FrnnWeightReader reader{};
  reader.uiStorageMode = 1;
  // The reader stops at the end of the object it was given.
  reader.uiWordCount = (a.uiWeightBytes - kDenoiseNetHeaderBytes) / 4;
  reader.pubBase = static_cast<const uint8_t*>(a.pvWeights) + kDenoiseNetHeaderBytes;
  reader.pubCursor = reader.pubBase;
  reader.uiKind = FRNN_KIND_F16;
  reader.uiLayoutChoice = 1;

  float rowsIn[kDenoiseNetMaxRows][kCols];
  float means[kDenoiseNetMaxRows];
  for (uint32_t y = 0; y < rows; ++y) {
    for (uint32_t x = 0; x < cols; ++x) line[x] = static_cast<float>(a.pswDiff[y * cols + x]) * 0.125f;
    if (cols == kCols) {
      for (uint32_t x = 0; x < kCols; ++x) rowsIn[y][x] = line[x];
    } else {
      Resample(line, cols, rowsIn[y], kCols);
    }
    float sum = 0.0f;
    for (uint32_t x = 0; x < kCols; ++x) sum += rowsIn[y][x];
    means[y] = sum / static_cast<float>(kCols);
    for (uint32_t x = 0; x < kCols; ++x) rowsIn[y][x] -= means[y];
    const int32_t m = static_cast<int32_t>(std::trunc(means[y]));  // |mean| <= 4096
    a.puwRowHalfMeans[y] = static_cast<uint16_t>(static_cast<uint32_t>(m < 0 ? -m : m) >> 1);
  }

  const uint32_t H = rows <= 20 ? 20 : 40;
  FrnnTensor* A = FrnnTensorCreate3D(1, kCols, H, 1, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, pool);
  FrnnTensor* B = FrnnTensorCreate3D(1, kCols, kBasis, 1, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, pool);
  FrnnTensor* C = FrnnTensorCreate3D(1, rows, 1, 1, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, pool);
  FrnnTensor* Cp = nullptr;
  FrnnTensor* noise = nullptr;
  if (A == nullptr || B == nullptr || C == nullptr) {
    r = FRNN_ERR_NOMEM;
  } else {
    FrnnTensorFill16f(A, kHalfZero);
    FrnnTensorFill16f(B, kHalfZero);
    FrnnTensorFill16f(C, kHalfZero);
    for (uint32_t y = 0; y < rows; ++y) {
      for (uint32_t x = 0; x < kCols; ++x) At<uint16_t>(A, 0, 0, y, x) = FH(rowsIn[y][x]);
      At<uint16_t>(C, 0, 0, 0, y) = FH(means[y]);
    }
    for (uint32_t k = 0; k < kBasis; ++k)
      for (uint32_t x = 0; x < kCols; ++x) At<uint16_t>(B, 0, 0, k, x) = FH(LcdDenoiseNetParams[k * kCols + x]);
    const FrnnPaddingParam pc = FrnnPaddingInit(0, static_cast<int32_t>(kCols - rows), 0, 0, 0, &reader, 0.0f);
    r = FrnnPadding(C, &Cp, &pc, &reader, pool);
    DropTensor(C, pool);
    if (r == FRNN_OK) {
      const Net net{&reader, pool};
      r = Graph(net, A, Cp, B, rows, &noise);
      Cp = nullptr;  // the graph consumed it
    }
  }
  if (pstReport != nullptr) pstReport->uiConsumedBytes = static_cast<uint32_t>(reader.pubCursor - reader.pubBase);
  if (r == FRNN_OK) {
    float curve[kCols];
    for (uint32_t y = 0; y < rows && r == FRNN_OK; ++y) {
      for (uint32_t x = 0; x < kCols; ++x) {
        curve[x] = HF(At<uint16_t>(noise, 0, 0, y, x)) + means[y];
        // A NaN is no noise level: the run fails and the image keeps its values.
        if (std::isnan(curve[x])) r = FRNN_ERR_STEP;
      }
      if (cols == kCols) {
        for (uint32_t x = 0; x < kCols; ++x) line[x] = curve[x];
      } else {
        Resample(curve, kCols, line, cols);
      }
      // A value the 16 bits cannot hold saturates instead of wrapping around.
      for (uint32_t x = 0; x < cols; ++x) {
        scratch[y * cols + x] = Saturate16(std::fma(-8.0f, line[x], static_cast<float>(a.pswDiff[y * cols + x])));
      }
    }
    if (r == FRNN_OK) FrMemcpy(a.pswDiff, scratch, rows * cols * 2);
  }
  DropTensor(noise, pool);
  DropTensor(Cp, pool);
  DropTensor(C, pool);
  DropTensor(B, pool);
  DropTensor(A, pool);
  FrnnMempoolFree(pool, line);
  FrnnMempoolFree(pool, scratch);
  const uint32_t rd = FrnnMempoolDestory(pool);
  return r != FRNN_OK ? r : rd;
}

uint32_t DlNetInterface(int16_t* pswDiff, uint16_t* puwRowHalfMeans, uint8_t* pubBuffer, int32_t rows, int32_t cols) {
  const NetWeightRun held(sWeights);
  const DenoiseNetRunArgs args{pswDiff, puwRowHalfMeans, pubBuffer, rows, cols,
                               held.Bytes(), held ? kDenoiseNetWeightBytes : 0};
  return DenoiseNetRun(args, nullptr);
}
