#pragma once
// LCD denoise of the mutual diff map: the panel sizes it accepts.
#include <cstdint>

// The denoise samples every (cols / 4 - 1)-th column and sizes its tables for at most
// 52 rows and 56 columns: narrower, wider or taller panels would read outside them.
inline constexpr uint8_t kLcdDenoiseMinRows = 2;
inline constexpr uint8_t kLcdDenoiseMaxRows = 52;
inline constexpr uint8_t kLcdDenoiseMinCols = 8;
inline constexpr uint8_t kLcdDenoiseMaxCols = 56;

// 1 when the panel of the last initialisation lies within those sizes; the denoise runs
// only then.
extern uint8_t gboLcdDenoiseUsable;
bool LcdDenoiseSizeAccepted(uint8_t ubRows, uint8_t ubCols);
void AppLcdDenoiseInitialWrapper(uint8_t ubFirst);
