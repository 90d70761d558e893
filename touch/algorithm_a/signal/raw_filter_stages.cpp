// Raw-data filters: a recursive blend over time of the mutual map and of the self vector,
// and a spatial Gaussian of each, before the reference update and the diff stages see the
// raw data.
#include <cstring>

#include "framework.h"
#include "mathlib.h"
#include "module_wrappers.h"
#include "signal_proc.h"

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

// Whether the record's counts agree with its grid (the filters index by both).
bool MutualGridOk(const RawFilterInput* in) {
  return in != nullptr && in->uwNodeNum != 0 && in->uwNodeNum == static_cast<uint32_t>(in->ubRows) * in->ubCols;
}
bool SelfGridOk(const RawFilterInput* in) {
  return in != nullptr && in->uwSelfNum != 0 && in->uwSelfNum == static_cast<uint32_t>(in->ubRows) + in->ubCols;
}

}  // namespace

void RawDataIirInit() { gstRawdataIir = {}; }

void MutualRawDataIirFilter(const RawFilterInput* in) {
  if (!MutualGridOk(in) || in->puwRaw == nullptr || in->puwRawFiltered == nullptr) return;
  const uint16_t* puwRaw = in->puwRaw;
  uint16_t* puwOut = in->puwRawFiltered;
  const uint32_t uiNodes = in->uwNodeNum;
  if (in->ubRefValid == 0 || gstRawdataIir.ubMutualPrimed == 0) {
    gstRawdataIir.ubMutualPrimed = 1;
    memcpy(puwOut, puwRaw, uiNodes * 2u);
    return;
  }
  if ((Cfg()[0] & 0x02u) == 0) {
    memcpy(puwOut, puwRaw, uiNodes * 2u);
    return;
  }
  const uint8_t w = in->ubNfNoise != 0 ? Cfg()[3] : Cfg()[1];
  if (w == 255) {
    memcpy(puwOut, puwRaw, uiNodes * 2u);
    return;
  }
  IirBlend(puwRaw, puwOut, in->ubRows, in->ubCols, w);
}

void SelfRawDataIirFilter(const RawFilterInput* in) {
  if (!SelfGridOk(in) || in->puwSelfRaw == nullptr || in->puwSelfFiltered == nullptr) return;
  const uint16_t* puwRaw = in->puwSelfRaw;
  uint16_t* puwOut = in->puwSelfFiltered;
  const uint32_t uiLen = in->uwSelfNum;
  if (in->ubRefValid == 0 || gstRawdataIir.ubSelfPrimed == 0) {
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

void MutualRawDataGaussianFilter(const RawFilterInput* in) {
  if ((Cfg()[0] & 0x01u) == 0) return;
  if (!MutualGridOk(in) || in->puwRaw == nullptr || in->pubScratch == nullptr) return;
  uint16_t* puwRaw = in->puwRaw;
  auto* puwScratch = reinterpret_cast<uint16_t*>(in->pubScratch);
  TwoDimGaussianParam p{};
  const uint16_t k[9] = {4, 8, 4, 8, 16, 8, 4, 8, 4};
  memcpy(p.auwKernel, k, sizeof(k));
  p.uiShift = 6;
  p.ubLastRow = static_cast<uint8_t>(in->ubRows - 1);
  p.ubLastCol = static_cast<uint8_t>(in->ubCols - 1);
  p.ubRows = in->ubRows;
  p.ubCols = in->ubCols;
  if (LibXpu2TwoDimGaussianFilterU16(puwRaw, puwScratch, &p) != LibStatus(0x05, kLibStatusDone)) return;
  memcpy(puwRaw, puwScratch, in->uwNodeNum * 2u);
}

void SelfRawDataGaussianFilter(const RawFilterInput* in) {
  if ((Cfg()[0] & 0x01u) == 0) return;
  if (!SelfGridOk(in) || in->puwSelfRaw == nullptr || in->pubScratch == nullptr) return;
  uint16_t* puwSelf = in->puwSelfRaw;
  auto* puwScratch = reinterpret_cast<uint16_t*>(in->pubScratch);
  const uint32_t D = in->ubRows, S = in->ubCols;
  memcpy(puwScratch, puwSelf, (D + S) * 2u);
  SmoothSegment(puwSelf, puwScratch, D);
  SmoothSegment(puwSelf + D, puwScratch + D, S);
  memcpy(puwSelf, puwScratch, (D + S) * 2u);
}

// The stages reach the filters through their wrappers, which gather the inputs from the
// common frame record.
void RawdataDenoise() {
  MutualRawDataIirFilterWrapper();
  SelfRawDataIirFilterWrapper();
  MutualRawDataGaussianFilterWrapper();
  SelfRawDataGaussianFilterWrapper();
}

void RawDataIirFilter() { MutualRawDataIirFilterWrapper(); }
