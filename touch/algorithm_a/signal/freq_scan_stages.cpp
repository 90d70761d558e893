// Frequency scan stage of the FREQ_SCAN app (body comes with the frequency scan).
#include "signal_proc.h"

void FreqScan() {}  // measure every frequency during a scan and study the B arrays
