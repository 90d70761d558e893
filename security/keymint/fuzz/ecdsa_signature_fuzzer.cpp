// The DER signature conversion on any input: what it accepts must encode back to the very
// same bytes (no second encoding of a signature gets through), and whatever it hands out
// is released again.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "KeymasterCryptoDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  keymasterdevice::KeymasterCryptoDevice dev;
  const keymaster_blob_t in{data, size};
  keymasterdevice::_keymaster_ec_sig_internal_t sig{};
  if (dev.ecsig_to_internal(&in, &sig) != 0) return 0;
  keymaster_blob_t back{};
  if (dev.internal_to_ecsig(&sig, &back) != 0 || back.data_length != size ||
      std::memcmp(back.data, data, size) != 0) {
    std::abort();
  }
  std::free(sig.r);
  std::free(sig.s);
  std::free(const_cast<uint8_t*>(back.data));
  return 0;
}
