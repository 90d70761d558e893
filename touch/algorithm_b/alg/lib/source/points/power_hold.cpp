// The power hold: when peaks stand close together a new touch may be a ghost of the
// neighbouring finger, so it is reported only after it has lasted the hold level's frames.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "luma_noise.h"
#include "luma_search.h"

extern "C" {

void AppPwrFilterInit(void) { std::memset(g_stPowerInfo, 0, sizeof(g_stPowerInfo)); }

void AppPeakInSameColCheck(void) {
  const LumaPeakData &pd = g_stPeakData;
  const uint8_t n = std::min<uint8_t>(pd.ucMcPosPeakNum, LUMA_MAX_PEAKS);
  uint8_t mode = 0;
  for (uint8_t a = 0; a < n && mode == 0; ++a) {
    for (uint8_t b = static_cast<uint8_t>(a + 1); b < n; ++b) {
      if (std::abs(pd.aucMcPeakPos[2 * a + 1] - pd.aucMcPeakPos[2 * b + 1]) < 4) {
        mode = 2;
        break;
      }
    }
  }
  g_stPowerInfo[LUMA_PWR_MODE] = mode;
}

uint8_t AppPwrProcess(uint8_t id, uint8_t *event) {
  if (id >= LUMA_MAX_POINTS) return 0;
  uint8_t &hold = g_stPowerInfo[LUMA_PWR_HOLD + id];
  if (*event == 0 || *event == 2) {
    if (hold >= g_stPowerInfo[LUMA_PWR_LEVEL]) {
      if (hold < 255) *event = 0;
      hold = 255;
      return 1;
    }
    ++hold;
    return 0;
  }
  // The lift of a touch that was never reported is not reported either.
  const bool released = hold == 255;
  hold = 0;
  return released ? 1 : 0;
}

}  // extern "C"
