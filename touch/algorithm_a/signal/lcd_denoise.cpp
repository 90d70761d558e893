// LCD denoise: the size gate at initialisation.
#include "lcd_denoise.h"

#include "tsa_os.h"
#include "tsa_common.h"

uint8_t gboLcdDenoiseUsable;

namespace {
// The refused size last logged: start-up initialises the diff stages more than once, and
// one line per refused configuration is enough.
uint16_t guwLcdDenoiseRefused;
}  // namespace

bool LcdDenoiseSizeAccepted(uint8_t ubRows, uint8_t ubCols) {
  return ubRows >= kLcdDenoiseMinRows && ubRows <= kLcdDenoiseMaxRows && ubCols >= kLcdDenoiseMinCols &&
         ubCols <= kLcdDenoiseMaxCols;
}

void AppLcdDenoiseInitialWrapper(uint8_t /*ubFirst*/) {
  const uint8_t ubRows = gstCommon.ubDrvNum;
  const uint8_t ubCols = gstCommon.ubSenNum;
  const bool boOk = LcdDenoiseSizeAccepted(ubRows, ubCols);
  // Checked here rather than every frame: the panel size only changes with a new
  // configuration, which initialises again.
  const auto uwSize = static_cast<uint16_t>((ubRows << 8) | ubCols);
  if (!boOk && uwSize != guwLcdDenoiseRefused) {
    FerxLogPrint("LcdDenoiseInit", FERX_LOG_ERR, "LCD denoise off: %u x %u panel outside %u-%u rows, %u-%u columns",
                 static_cast<unsigned>(ubRows), static_cast<unsigned>(ubCols), unsigned{kLcdDenoiseMinRows},
                 unsigned{kLcdDenoiseMaxRows}, unsigned{kLcdDenoiseMinCols}, unsigned{kLcdDenoiseMaxCols});
  }
  guwLcdDenoiseRefused = boOk ? 0 : uwSize;
  gboLcdDenoiseUsable = boOk ? 1 : 0;
}
