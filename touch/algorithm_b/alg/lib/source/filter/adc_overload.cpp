// ADC overload: the controller counts the conversions that overloaded its ADC in every
// frame. Those counts become grades averaged over 20 frames, and a held grade that the
// heavier filter paths read for 480 frames after the last overloaded average.
#include <cstring>

#include "luma_front.h"
#include "luma_noise.h"

extern "C" {
uint16_t g_usMcAdcOverCntFifo[LUMA_ADC_FIFO_LEN];
uint16_t g_usScAdcOverCntFifo[LUMA_ADC_FIFO_LEN];
uint16_t g_usMcAdcOverCnt;
uint16_t g_usScAdcOverCnt;
uint8_t g_ucMcAdcOverLoadFlag;
uint8_t g_ucScAdcOverLoadFlag;
uint8_t g_ucFwScAdcOverLoadFlag;
// Expired at start: nothing is held before the first overloaded frame.
uint16_t g_usFwAdcOverDelayCnt = LUMA_ADC_HOLD_FRAMES;
uint16_t g_usFwScAdcOverDelayCnt = LUMA_ADC_HOLD_FRAMES;
}

namespace {

uint16_t FifoAverage(uint16_t *fifo, uint16_t x) {
  std::memmove(fifo + 1, fifo, (LUMA_ADC_FIFO_LEN - 1) * sizeof(uint16_t));
  fifo[0] = x;
  uint32_t sum = 0;
  for (int i = 0; i < LUMA_ADC_FIFO_LEN; ++i) sum += fifo[i];
  return static_cast<uint16_t>(sum / LUMA_ADC_FIFO_LEN);
}

uint8_t Grade(uint16_t average, uint16_t g1, uint16_t g2, uint16_t g3) {
  return average >= g3 ? 3 : (average >= g2 ? 2 : (average >= g1 ? 1 : 0));
}

uint8_t McGrade() {
  const auto x = static_cast<uint16_t>(g_stAdcOverSta[2] + g_stAdcOverSta[3]);
  g_usMcAdcOverCnt = FifoAverage(g_usMcAdcOverCntFifo, x);
  g_ucMcAdcOverLoadFlag = Grade(g_usMcAdcOverCnt, 5, 10, 40);
  return g_ucMcAdcOverLoadFlag;
}

}  // namespace

extern "C" {

uint8_t AppMcAdcOverLoadGet(void) {
  McGrade();
  return (g_stAdcOverSta[2] + g_stAdcOverSta[3]) > 5 ? 1 : 0;
}

uint8_t AppScAdcOverLoadGet(void) {
  const uint16_t x = g_stAdcOverSta[19];
  g_usScAdcOverCnt = FifoAverage(g_usScAdcOverCntFifo, x);
  g_ucScAdcOverLoadFlag = Grade(g_usScAdcOverCnt, 10, 40, 80);
  return x > 10 ? 1 : 0;
}

uint8_t AppFwAdcOverLoadGet(void) {
  const uint8_t grade = McGrade();
  if (grade != 0) {
    g_ucFwAdcOverLoadFlag = grade;
    g_usFwAdcOverDelayCnt = 0;
  }
  if (g_ucScAdcOverLoadFlag != 0) {
    g_ucFwScAdcOverLoadFlag = g_ucScAdcOverLoadFlag >= 3 ? 3 : g_ucScAdcOverLoadFlag;
    g_usFwScAdcOverDelayCnt = 0;
  }
  if (g_usFwAdcOverDelayCnt >= LUMA_ADC_HOLD_FRAMES) {
    g_ucFwAdcOverLoadFlag = 0;
    g_usFwAdcOverDelayCnt = LUMA_ADC_HOLD_FRAMES;
  }
  if (g_usFwScAdcOverDelayCnt >= LUMA_ADC_HOLD_FRAMES) {
    g_ucFwScAdcOverLoadFlag = 0;
    g_usFwScAdcOverDelayCnt = LUMA_ADC_HOLD_FRAMES;
  }
  ++g_usFwAdcOverDelayCnt;
  ++g_usFwScAdcOverDelayCnt;
  return g_ucFwAdcOverLoadFlag;
}

int32_t AppScMovingAverage(int16_t *fifo, uint8_t n, int16_t value) {
  if (fifo == nullptr || n == 0) return 0;
  int32_t sum = value;
  for (int i = n - 1; i >= 1; --i) {
    fifo[i] = fifo[i - 1];
    sum += fifo[i];
  }
  fifo[0] = value;
  return sum / n;
}

}  // extern "C"
