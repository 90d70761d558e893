// Noise measurement of the current scan frequency and its publication to the jitter limit
// and the power setting.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "luma_noise.h"

extern "C" {

LumaMcNoise g_stMcNoise;
LumaMcNoiseRepo g_stMcNoiseRepo;
int16_t g_ucFreqChargeNoiseFifo[6];
uint16_t g_ssMcNullFreqNoise[6][22];
uint16_t g_usFreqNoiseMax;
uint16_t g_usLikeNFNoiseFlg[3];
uint16_t g_usLikeNFNoiseFrame;
uint8_t g_stPowerInfo[16];
uint16_t g_stAdcOverSta[20];  // mutual counts at words 2 and 3, the self count at word 19
uint8_t g_ucFwAdcOverLoadFlag;
uint8_t g_ucOriMcDiffLargeMeanLevel;
uint8_t g_stScNoise[16];
uint8_t g_stScNoiseRepo[168];
int16_t g_ssScWaterTxNoise[17];
int16_t g_ssScWaterRxNoise[38];

}  // extern "C"

namespace {

constexpr int kFreqs = 6;
constexpr int kHistory = 20;
constexpr int kRing = 8;
constexpr uint16_t kLikeNfHold = 2500;
constexpr int16_t kNoiseSeenLevel = 131;
constexpr uint16_t kQuietLimit = 200;
constexpr uint8_t kRingBQuietLimit = 32;

uint8_t s_ucSnapIdx;
uint8_t s_ucRingAIdx;
uint8_t s_ucRingBIdx;
uint16_t s_usQuietCnt;
uint8_t s_ucRingBQuietCnt;

int RingCount(const uint8_t *ring) { return static_cast<int>(std::count(ring, ring + kRing, uint8_t{1})); }

int16_t *ScLine(int slot) { return g_stFrmData.assScDiff[slot]; }

}  // namespace

extern "C" {

uint8_t AppMcCalFreqNullNoiseData(void) {
  int32_t overall = 0;
  int b = 0;
  for (int f = 0; f < kFreqs; ++f) {
    uint16_t *h = g_ssMcNullFreqNoise[f];
    std::memmove(&h[2], &h[1], (kHistory - 1) * sizeof(uint16_t));
    h[1] = static_cast<uint16_t>(g_stMcNoise.assSmooth[f]);
    int16_t most = 0;
    for (int i = 1; i <= kHistory; ++i) most = std::max(most, static_cast<int16_t>(h[i]));
    h[21] = static_cast<uint16_t>(most);
    overall = std::max<int32_t>(overall, most);
    if (most > 500) ++b;
  }
  g_usFreqNoiseMax = static_cast<uint16_t>(overall);
  int a = 0;
  uint16_t m = 0;
  for (int f = 0; f < kFreqs; ++f) {
    const auto reported = static_cast<uint16_t>(g_stMcNoise.assReported[f]);
    if (f < 3 && reported > 800) ++a;
    m = std::max(m, reported);
  }
  std::memset(g_usLikeNFNoiseFlg, 0, sizeof(g_usLikeNFNoiseFlg));
  if (g_stSysParam.ucChargeState == 0) {
    g_usLikeNFNoiseFrame = 0;
    return 0;
  }
  bool rule1 = false;
  if (m >= 2001 && a == 3) {
    g_usLikeNFNoiseFlg[0] = 111;
    g_usLikeNFNoiseFrame = kLikeNfHold;
    rule1 = true;
  }
  if (!rule1 && m >= 801 && a >= 2 && g_stAdcOverSta[2] != 0 && g_stAdcOverSta[3] == 0) {
    g_usLikeNFNoiseFlg[1] = 222;
    g_usLikeNFNoiseFrame = kLikeNfHold;
  }
  if (g_usFreqNoiseMax >= 801 && b >= 3) {
    g_usLikeNFNoiseFlg[2] = 333;
    g_usLikeNFNoiseFrame = kLikeNfHold;
  }
  if (g_usLikeNFNoiseFrame != 0 && g_stPeakData.ucLastOutPeakNum != 0) --g_usLikeNFNoiseFrame;
  return 0;
}

void AppMcNoiseCheck(void) {
  LumaMcNoiseRepo &r = g_stMcNoiseRepo;
  const int16_t v = g_stMcNoise.ssCurSmooth;
  const bool touch = g_stTouchData.ucLastPointNum != 0;
  if (v >= kNoiseSeenLevel) {
    s_usQuietCnt = 0;
    r.ucState = 1;
  }
  if (v > static_cast<int16_t>(g_stFwConfig.usNoiseRingAThr)) {
    r.aucRingA[s_ucRingAIdx++] = 1;
    s_usQuietCnt = 0;
  } else if (touch) {
    // Quiet frames are counted only while a touch is present: an empty panel proves nothing
    // about the noise.
    r.aucRingA[s_ucRingAIdx++] = 0;
    ++s_usQuietCnt;
  }
  const int sa = RingCount(r.aucRingA);
  int sb = 0;
  if (sa > 0) {
    std::memset(r.aucRingB, 0, sizeof(r.aucRingB));
  } else {
    if (g_stMcNoise.ssCurSecond > static_cast<int16_t>(g_stFwConfig.usNoiseRingBThr)) {
      r.aucRingB[s_ucRingBIdx++] = 1;
      s_ucRingBQuietCnt = 0;
    } else {
      r.aucRingB[s_ucRingBIdx++] = 0;
      ++s_ucRingBQuietCnt;
    }
    sb = RingCount(r.aucRingB);
  }
  s_ucRingAIdx %= kRing;
  s_ucRingBIdx %= kRing;
  if (sa >= 3) {
    std::memset(r.aucRingA, 0, sizeof(r.aucRingA));
    r.ucState = 2;
    g_stMcNoise.ucNoiseFound = 1;
  } else if (r.ucState == 0) {
    if (sb > 0) {
      std::memset(r.aucRingB, 0, sizeof(r.aucRingB));
      r.ucFlag = 1;
      g_stMcNoise.ucNoiseFound = 1;
    } else if (g_ucOriMcDiffLargeMeanLevel >= 3) {
      r.ucFlag = 1;
      g_stMcNoise.ucNoiseFound = 1;
    }
  }
  if (s_usQuietCnt >= kQuietLimit) {
    s_usQuietCnt = kQuietLimit;
    if (!touch) r.ucState = 0;
  }
  if (s_ucRingBQuietCnt >= kRingBQuietLimit) {
    r.ucFlag = 0;
    s_ucRingBQuietCnt = kRingBQuietLimit;
  }
}

uint8_t AppMcGetNullNoise(void) {
  for (int f = 0; f < kFreqs; ++f) {
    const auto s = static_cast<int16_t>((3 * g_stMcNoise.assReported[f] + g_ucFreqChargeNoiseFifo[f]) >> 2);
    g_stMcNoise.assSmooth[f] = s;
    g_ucFreqChargeNoiseFifo[f] = s;
  }
  const uint8_t idx = std::min<uint8_t>(g_stMcNoise.ucFreqIdx, kFreqs - 1);
  g_stMcNoise.ssCurSmooth = g_stMcNoise.assSmooth[idx];
  g_stMcNoise.ssCurSecond = g_stMcNoise.assSecond[idx];
  return AppMcCalFreqNullNoiseData();
}

uint8_t AppMainFreNoiseProc(void) {
  AppMcGetNullNoise();
  g_stMcNoiseRepo.astSnap[s_ucSnapIdx] = g_stMcNoise;
  s_ucSnapIdx = static_cast<uint8_t>((s_ucSnapIdx + 1) % kRing);
  AppMcNoiseCheck();
  const bool quiet = g_stMcNoiseRepo.ucFlag != 1 && g_stMcNoiseRepo.ucState < 2 && g_ucFwAdcOverLoadFlag == 0;
  g_stPowerInfo[12] = quiet ? 0 : 3;
  const uint8_t game = AppIsGameMode();
  if (game == 0) {
    g_stTdParam.usJitterLimit = static_cast<uint16_t>(quiet ? g_stFwConfig.usJitterLimit : 2 * g_stFwConfig.usJitterLimit);
  }
  return game;
}

uint8_t AppMcNoiseExist(void) { return g_stMcNoiseRepo.ucState; }

void AppMcNoiseInit(void) {
  std::memset(&g_stMcNoise, 0, sizeof(g_stMcNoise));
  std::memset(&g_stMcNoiseRepo, 0, sizeof(g_stMcNoiseRepo));
}

void AppMcCollectNoise(void) {}

void AppScNoiseInit(void) {
  std::memset(g_stScNoise, 0, sizeof(g_stScNoise));
  std::memset(g_stScNoiseRepo, 0, sizeof(g_stScNoiseRepo));
}

uint8_t AppScHighNoise(void) { return g_stScNoiseRepo[83]; }

uint8_t AppGetScNouchPosEn(uint8_t pos, uint8_t n, int8_t r, int16_t thr) {
  if (r < 0) return 1;
  const int16_t *line = ScLine(2) + (n == g_stFwConfig.ucTxNum ? g_stFwConfig.ucRxNum : 0);
  for (int j = std::max(pos - r, 0); j <= std::min(pos + r, n - 1); ++j) {
    if (line[j] >= thr) return 0;
  }
  return 1;
}

void AppScNoiseFilter(uint8_t line, uint8_t axis) {
  if (line >= LUMA_SC_SLOTS) return;
  const int16_t *host = g_stFrmData.assScExtra[line];
  const uint8_t tx = std::min<uint8_t>(g_stFwConfig.ucTxNum, 17);
  const uint8_t rx = std::min<uint8_t>(g_stFwConfig.ucRxNum, 38);
  if (axis == 0) {
    if (tx == 0) return;
    const int16_t *entries = host + g_stFwConfig.ucRxNum;
    int16_t m = 32767;
    for (int i = 0; i < tx; ++i) {
      g_ssScWaterTxNoise[i] = entries[i];
      if (std::abs(entries[i]) < m) m = entries[i];
    }
    for (int i = 0; i < tx; ++i) g_ssScWaterTxNoise[i] = static_cast<int16_t>(std::abs(g_ssScWaterTxNoise[i] - m));
    return;
  }
  if (rx == 0) return;
  const int16_t thr = static_cast<int16_t>(g_stFwConfig.usScNoTouchThr);
  int32_t sum = 0;
  int quiet = 0;
  for (int i = 0; i < rx; ++i) {
    if (AppGetScNouchPosEn(static_cast<uint8_t>(i), rx, 2, thr) != 0) {
      sum += host[i];
      ++quiet;
    }
  }
  const int32_t mean = quiet == 0 ? sum : sum / quiet;
  for (int i = 0; i < rx; ++i) g_ssScWaterRxNoise[i] = static_cast<int16_t>(std::abs(host[i] - mean));
}

int16_t AppScDiffRemoveNoise(int16_t value, uint8_t k) {
  const auto v = static_cast<int16_t>(value - 4 * k);
  return v < 0 ? 0 : v;
}

}  // extern "C"
