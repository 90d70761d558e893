#pragma once
// What a remote-provisioning implementation asks of its device: the MAC over public keys.
#include <keymaster/cppcose/cppcose.h>

#include <optional>

namespace keymaster {

class RemoteProvisioningContext {
 public:
  virtual ~RemoteProvisioningContext() = default;
  // HMAC-SHA256 of `input` under the device's key for MACing public keys; nothing when
  // the device cannot make one.
  virtual std::optional<cppcose::HmacSha256> GenerateHmacSha256(const cppcose::bytevec& input) const = 0;
};

}  // namespace keymaster
