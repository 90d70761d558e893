// Sub-node coordinates of a mutual peak in line-pitch units: a weighted centroid over a
// window that discounts nodes shared with neighbouring peaks, a virtual-key position at the
// node centre, and the seven-tap neighbourhood of a one-dimensional centroid. The frame flow
// has its own coordinate stage; these serve callers of the library.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "luma_calc.h"
#include "luma_search.h"

extern "C" {
uint8_t g_ucFilterMethod_Cur = 1;
uint8_t g_ucFilterMethod_Last = 0;
}

namespace {

uint8_t FrameTx() { return g_stFrmInfo.aucCfgCopy[4]; }
uint8_t FrameRx() { return g_stFrmInfo.aucCfgCopy[5]; }
uint8_t PeakCount() { return std::min<uint8_t>(g_stPeakData.ucMcPosPeakNum, LUMA_MAX_PEAKS); }
uint8_t PeakTx(int k) { return g_stPeakData.aucMcPeakPos[2 * k]; }
uint8_t PeakRx(int k) { return g_stPeakData.aucMcPeakPos[2 * k + 1]; }

uint32_t Word32(const uint16_t *high_first) { return (uint32_t{high_first[0]} << 16) | high_first[1]; }

}  // namespace

extern "C" {

uint8_t DrvMcGetCalLen(uint8_t p, uint8_t n, uint8_t w, uint8_t *start) {
  if (p >= w) {
    *start = static_cast<uint8_t>(p - w);
    return static_cast<uint8_t>(p + w >= n ? n - p + w : 2 * w + 1);
  }
  *start = 0;
  return static_cast<uint8_t>(p + w + 1);
}

uint32_t DrvMcCalculateCoordinate(uint8_t half_tx, uint8_t half_rx, uint8_t peak, uint8_t entry) {
  LumaMcPeak &e = g_stPeakData.astMcPeakList[entry % LUMA_MAX_PEAKS];
  e.ucWeight = 0;
  e.ucStrongCnt = 0;
  const int tx = PeakTx(peak);
  const int rx = PeakRx(peak);
  uint8_t tx0;
  uint8_t rx0;
  const uint8_t rows = DrvMcGetCalLen(static_cast<uint8_t>(tx), FrameTx(), half_tx, &tx0);
  const uint8_t cols = DrvMcGetCalLen(static_cast<uint8_t>(rx), FrameRx(), half_rx, &rx0);
  const uint8_t offset = g_stTdParam.ucByte1;
  uint16_t moments[6];
  const LumaMacCtx mac{rx0, tx0, cols, rows, offset, 0, g_stFrmData.pssMcDiff, moments};
  DrvCal_McMac(&mac);
  // The window routine writes its three sums as consecutive pairs of words.
  uint32_t s = Word32(&moments[0]);
  uint32_t mt = Word32(&moments[2]);
  uint32_t mr = Word32(&moments[4]);
  uint32_t s2 = s;
  uint32_t strong = 0;
  for (int t = tx0; t < tx0 + rows && t < FrameTx(); ++t) {
    for (int r = rx0; r < rx0 + cols && r < FrameRx(); ++r) {
      const int32_t d = g_stFrmData.pssMcDiff[t * FrameRx() + r] - offset;
      if (d < 1) continue;
      if (d >= g_stTdParam.usWord34) ++strong;
      if (std::abs(t - tx) < 2 && std::abs(r - rx) < 2) continue;
      for (int q = 0; q < PeakCount(); ++q) {
        if (q == peak) continue;
        const int dt = std::abs(t - PeakTx(q));
        const int dr = std::abs(r - PeakRx(q));
        if (dt >= 3 || dr >= 3) continue;
        // A node next to another peak is that peak's; two lines off it is shared.
        const auto removed = static_cast<uint32_t>(dt < 2 && dr < 2 ? d : d >> 1);
        s -= removed;
        s2 -= removed;
        mt -= removed * static_cast<uint32_t>(t);
        mr -= removed * static_cast<uint32_t>(r);
        break;
      }
    }
  }
  // Wide sums: a strong window times a line index of up to 16 pitches of 1024 would not fit
  // 32 bits.
  const uint64_t x = (uint64_t{mt} << 10) / (s == 0 ? 1 : s) + 512;
  const uint64_t y = (uint64_t{mr} << 10) / (s2 == 0 ? 1 : s2) + 512;
  e.x = static_cast<uint32_t>(x & 0xFFFF);
  e.y = static_cast<uint32_t>(y & 0xFFFF);
  e.ucWeight = static_cast<uint8_t>(std::min<uint32_t>(s2 >> g_stTdParam.ucByte33, 127));
  e.ucStrongCnt = static_cast<uint8_t>(std::min<uint32_t>(strong, 49));
  e.ucTx = static_cast<uint8_t>(tx);
  e.ucRx = static_cast<uint8_t>(rx);
  return s2;
}

uint8_t DrvMcCheckRoundPeaks(uint8_t tx, uint8_t rx, uint8_t peak, uint8_t wide) {
  for (int q = 0; q < PeakCount(); ++q) {
    if (q == peak) continue;
    const int dt = std::abs(tx - PeakTx(q));
    const int dr = std::abs(rx - PeakRx(q));
    if (dt < 2 && dr < 2) return 1;
    if (dt < 3 && dr < 3) return 2;
    if (wide != 0 && dt <= 3 && dr < 4) return 3;
  }
  return 0;
}

void DrvVKeyCalculateCoordinate(uint8_t peak, uint8_t entry) {
  LumaMcPeak &e = g_stPeakData.astMcPeakList[entry % LUMA_MAX_PEAKS];
  e.x = (uint32_t{PeakTx(peak)} << 10) | 512u;
  e.y = (uint32_t{PeakRx(peak)} << 10) | 512u;
}

uint8_t AppLineNewCalculateArray(const int16_t *line, uint8_t p, uint8_t n, int32_t taps[7], uint8_t *start,
                                 uint8_t *end) {
  for (int i = 0; i < 7; ++i) {
    const auto index = static_cast<uint8_t>(p - 3 + i);
    taps[i] = index < n ? line[index] : 0;
  }
  const uint8_t code = p < 1 ? 3 : p < 2 ? 2 : p < 3 ? 1 : 0;
  *start = static_cast<uint8_t>(p >= 3 ? p - 3 : 0);
  *end = static_cast<uint8_t>(p + 3 < n ? p + 3 : n - 1);
  for (int i = 0; i < 6; ++i) taps[i] = std::max(taps[i], 0);
  const auto a2 = static_cast<uint32_t>(taps[2]);
  const auto a4 = static_cast<uint32_t>(taps[4]);
  const uint32_t r = (a2 << 11) / (a2 + a4 == 0 ? 1 : a2 + a4);
  if (r < 1024) {
    taps[0] = 0;
    taps[1] = static_cast<int32_t>((int64_t{taps[1]} * r) >> 10);
    taps[6] = static_cast<int32_t>((int64_t{std::max(taps[6], 0)} * (1024 - r)) >> 10);
  } else if (r == 1024) {
    taps[0] = 0;
    taps[6] = 0;
  } else {
    taps[0] = static_cast<int32_t>(int64_t{taps[0]} * (r - 1024) / 1024);
    taps[5] = static_cast<int32_t>(int64_t{taps[5]} * (2048 - static_cast<int64_t>(r)) / 1024);
    taps[6] = 0;
  }
  return code;
}

void confirmFilterMod(void) {
  g_ucFilterMethod_Cur = 1;
  g_ucFilterMethod_Last = 1;
}

}  // extern "C"
