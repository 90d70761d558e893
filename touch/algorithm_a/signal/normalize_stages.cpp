// Normalisation check stage (body comes with k/b normalisation).
#include "signal_proc.h"

void NormalizeCheck() {}  // check the k/b normalisation state and start a re-study when needed
void MutualRawDataScale() {}         // scale the mutual raw map by the configured raw factor
void MutualRawDataNormalize(uint8_t) {}  // apply the k/b normalisation to the mutual raw map
