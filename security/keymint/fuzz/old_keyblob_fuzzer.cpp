// The old key-blob layout parser on any bytes.
#include <cstdint>
#include <memory>

#include "KeymasterHalDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto* device = new keymasterdevice::KeymasterHalDevice(KM_SECURITY_LEVEL_STRONGBOX);
  keymaster_key_characteristics_t c{};
  if (device->getCharacteristicsLegacy(data, size, &c) == 0) keymaster_free_characteristics(&c);
  return 0;
}
