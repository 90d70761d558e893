// Weak defaults of the records and procedures the frame entry, module commands and state
// machine reach in modules whose code lands later (see tsa_frame_links.h). Each owning
// module's own definition replaces the default at link time.
#include "tsa_frame_links.h"

#define FERRANT_WEAK __attribute__((weak))

FERRANT_WEAK uint8_t gubScreenSta;

