// Raw-data filters: a recursive blend over time of the mutual map and of the self vector,
// and a spatial Gaussian of each, before the reference update and the diff stages see the
// raw data.
#include <cstring>

#include "framework.h"
#include "mathlib.h"
#include "signal_util.h"

RawdataIirRec gstRawdataIir;

namespace {

const uint8_t* Cfg() { return gstRawdataDenoiseCfg.aubData; }

// One IIR step of COUNT values: out = (raw * (128 - w)) >> 7 + (out * w) >> 7.
void IirBlend(const uint16_t* puwRaw, uint16_t* puwOut, uint8_t ubRows, uint8_t ubCols, uint8_t w) {
  const WeightFilterV1V2Param p = {ubRows, ubCols, 0, static_cast<int16_t>(128 - w), static_cast<int16_t>(w), 0, 7, 7};
  LibXpu2WeightFilterV1V2S16(reinterpret_cast<const int16_t*>(puwRaw), reinterpret_cast<const int16_t*>(puwOut), &p,
                             reinterpret_cast<int16_t*>(puwOut));
}

// 4 8 4 over one segment of the self vector, divided by 16; the ends weigh themselves 12.
void SmoothSegment(const uint16_t* x, uint16_t* y, uint32_t n) {
  if (n < 2) return;
  y[0] = static_cast<uint16_t>((12u * x[0] + 4u * x[1]) >> 4);
  for (uint32_t i = 1; i + 1 < n; ++i) y[i] = static_cast<uint16_t>((4u * x[i - 1] + 8u * x[i] + 4u * x[i + 1]) >> 4);
  y[n - 1] = static_cast<uint16_t>((4u * x[n - 2] + 12u * x[n - 1]) >> 4);
}

}  // namespace

void RawDataIirInit() { gstRawdataIir = {}; }

void MutualRawDataIirFilter() {
  const uint16_t* puwRaw = gstCommon.stData.puwRawData;
  uint16_t* puwOut = gstCommon.puwRawForDiff;
  const uint32_t uiNodes = sig::Nodes();
  if (puwRaw == nullptr || puwOut == nullptr || uiNodes == 0) return;
  if (gstCommon.ubPowerOnRefReady == 0 || gstRawdataIir.ubMutualPrimed == 0) {
    gstRawdataIir.ubMutualPrimed = 1;
    memcpy(puwOut, puwRaw, uiNodes * 2u);
    return;
  }
  if ((Cfg()[0] & 0x02u) == 0) {
    memcpy(puwOut, puwRaw, uiNodes * 2u);
    return;
  }
  const uint8_t w = gstCommon.ubNfNoiseResult != 0 ? Cfg()[3] : Cfg()[1];
  if (w == 255) {
    memcpy(puwOut, puwRaw, uiNodes * 2u);
    return;
  }
  IirBlend(puwRaw, puwOut, gstCommon.ubDrvNum, gstCommon.ubSenNum, w);
}

void SelfRawDataIirFilter() {
  const uint16_t* puwRaw = gstCommon.stData.puwSelfRawData;
  uint16_t* puwOut = gstCommon.puwSelfFilterState;
  const uint32_t uiLen = static_cast<uint32_t>(gstCommon.ubDrvNum) + gstCommon.ubSenNum;
  if (puwRaw == nullptr || puwOut == nullptr || uiLen == 0) return;
  if (gstCommon.ubPowerOnRefReady == 0 || gstRawdataIir.ubSelfPrimed == 0) {
    gstRawdataIir.ubSelfPrimed = 1;
    memcpy(puwOut, puwRaw, uiLen * 2u);
    return;
  }
  if ((Cfg()[0] & 0x04u) == 0) {
    memcpy(puwOut, puwRaw, uiLen * 2u);
    return;
  }
  IirBlend(puwRaw, puwOut, 1, static_cast<uint8_t>(uiLen > 255 ? 255 : uiLen), Cfg()[2]);
}

void MutualRawDataGaussianFilter() {
  if ((Cfg()[0] & 0x01u) == 0) return;
  uint16_t* puwRaw = gstCommon.stData.puwRawData;
  uint16_t* puwScratch = gstCommon.puwNodeWorkMap;
  const uint8_t D = gstCommon.ubDrvNum, S = gstCommon.ubSenNum;
  if (puwRaw == nullptr || puwScratch == nullptr || D == 0 || S == 0) return;
  TwoDimGaussianParam p{};
  const uint16_t k[9] = {4, 8, 4, 8, 16, 8, 4, 8, 4};
  memcpy(p.auwKernel, k, sizeof(k));
  p.uiShift = 6;
  p.ubLastRow = static_cast<uint8_t>(D - 1);
  p.ubLastCol = static_cast<uint8_t>(S - 1);
  p.ubRows = D;
  p.ubCols = S;
  if (LibXpu2TwoDimGaussianFilterU16(puwRaw, puwScratch, &p) != LibStatus(0x05, kLibStatusDone)) return;
  memcpy(puwRaw, puwScratch, sig::Nodes() * 2u);
}

void SelfRawDataGaussianFilter() {
  if ((Cfg()[0] & 0x01u) == 0) return;
  uint16_t* puwSelf = gstCommon.stData.puwSelfRawData;
  auto* puwScratch = reinterpret_cast<uint16_t*>(gstCommon.pubTempArena);
  if (puwSelf == nullptr || puwScratch == nullptr) return;
  const uint32_t D = gstCommon.ubDrvNum, S = gstCommon.ubSenNum;
  memcpy(puwScratch, puwSelf, (D + S) * 2u);
  SmoothSegment(puwSelf, puwScratch, D);
  SmoothSegment(puwSelf + D, puwScratch + D, S);
  memcpy(puwSelf, puwScratch, (D + S) * 2u);
}

void RawdataDenoise() {
  MutualRawDataIirFilter();
  SelfRawDataIirFilter();
  MutualRawDataGaussianFilter();
  SelfRawDataGaussianFilter();
}

void RawDataIirFilter() { MutualRawDataIirFilter(); }
