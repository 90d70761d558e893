// Normalisation check stage (body comes with k/b normalisation).
#include "signal_proc.h"

void NormalizeCheck() {}  // check the k/b normalisation state and start a re-study when needed
