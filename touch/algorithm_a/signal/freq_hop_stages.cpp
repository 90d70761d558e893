// Frequency hopping stage (body comes with frequency hopping).
#include "signal_proc.h"

void FreqHoppingProc() {}  // choose the quietest frequency and request a hop when the current one is noisy
