// The keybox request on any PEM texts: the input is split at zero bytes into key 0, key 1
// and then key 0's certificates. The request either fits the caller's buffer and starts as
// a keybox request does, or fails without touching the buffer.
#include <platform_binder_test.h>
#include <vaultlink/sim_secproc.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "KeymasterKeyProvision.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace keymasterdevice;
  static KeymasterKeyProvision* provision = [] {
    // No KeyMint service in this process: its wake-up gives up at once.
    platform_binder_test::setWaitForServiceTimeout(std::chrono::milliseconds(0));
    platform::secproc::SimSecureProcessor::get().reset();
    return new KeymasterKeyProvision(KM_SECURITY_LEVEL_STRONGBOX);
  }();

  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < size; i++) {
    if (data[i] == 0) {
      pieces.emplace_back();
    } else {
      pieces.back().push_back(static_cast<char>(data[i]));
    }
  }
  while (pieces.size() < 2) pieces.emplace_back();
  std::vector<km_cert_entry_t> certs;
  for (size_t i = 2; i < pieces.size(); i++) certs.push_back({pieces[i].data(), pieces[i].size()});
  km_install_keybox_t box{};
  box.keys[0] = {KM_ALGORITHM_EC, pieces[0].data(), pieces[0].size(), certs.empty() ? nullptr : certs.data(),
                 certs.size()};
  box.keys[1] = {KM_ALGORITHM_RSA, pieces[1].data(), pieces[1].size(), nullptr, 0};

  // A caller's buffer of a size taken from the input, so that short ones are tried too.
  const uint32_t capacity = size == 0 ? 0 : static_cast<uint32_t>(data[0]) * 64;
  std::vector<uint8_t> out(capacity + 1, 0xC5);
  uint32_t outLength = 0xFFFFFFFF;
  const int rc = provision->KeyMasterInstallKeybox(&box, out.data(), capacity, &outLength);
  if (rc == 0) {
    uint32_t head[2];
    std::memcpy(head, out.data(), sizeof head);
    if (outLength > capacity || head[0] != kCmdInstallKeybox || head[1] != 2) __builtin_trap();
    if (out[capacity] != 0xC5) __builtin_trap();
  } else {
    if (outLength != 0xFFFFFFFF) __builtin_trap();
    for (uint8_t b : out) {
      if (b != 0xC5) __builtin_trap();
    }
  }
  return 0;
}
