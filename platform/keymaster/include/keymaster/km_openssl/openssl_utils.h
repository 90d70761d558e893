#pragma once
// Random bytes from the platform's cryptographic random generator.
#include <hardware/keymaster_defs.h>

#include <cstddef>
#include <cstdint>

namespace keymaster {

keymaster_error_t GenerateRandom(uint8_t* buf, size_t length);

}  // namespace keymaster
