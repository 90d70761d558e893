// Weak defaults of what the report output, module API and customer debug read in modules
// whose code lands later (low-temperature state); the owners'
// definitions replace them at link time.
#include <cstdint>

#define FERRANT_WEAK __attribute__((weak))

