#pragma once
// The software remote-provisioning context: its MAC key is derived from a fixed software
// stand-in for the hardware-bound key, the same in every instance of the process.
#include <hardware/keymaster_defs.h>
#include <keymaster/remote_provisioning_context.h>

namespace keymaster {

class PureSoftRemoteProvisioningContext : public RemoteProvisioningContext {
 public:
  explicit PureSoftRemoteProvisioningContext(keymaster_security_level_t level);
  ~PureSoftRemoteProvisioningContext() override;

  std::optional<cppcose::HmacSha256> GenerateHmacSha256(const cppcose::bytevec& input) const override;
  keymaster_security_level_t security_level() const { return level_; }

 private:
  keymaster_security_level_t level_;
};

}  // namespace keymaster
