#define LOG_TAG "android.hardware.security.keymint-secproc-impl"

#include <cstring>

#include "AndroidSharedSecret.h"

namespace aidl::android::hardware::security::sharedsecret {

using ::ndk::ScopedAStatus;
using keymint::kmError2ScopedAStatus;

AndroidSharedSecret::AndroidSharedSecret(const std::shared_ptr<keymint::AndroidKeyMintDevice>& keyMintDevice)
    : impl_(keyMintDevice->getKeymasterImpl()) {}

AndroidSharedSecret::~AndroidSharedSecret() = default;

ScopedAStatus AndroidSharedSecret::getSharedSecretParameters(SharedSecretParameters* params) {
  if (params == nullptr) return kmError2ScopedAStatus(KM_ERROR_OUTPUT_PARAMETER_NULL);
  hmac_sharing_params_t record{};
  int rc = impl_->get_hmac_sharing_parameters(&record);
  if (rc != 0) return kmError2ScopedAStatus(rc);
  params->seed.assign(record.seed, record.seed + sizeof record.seed);
  params->nonce.assign(record.nonce, record.nonce + sizeof record.nonce);
  return ScopedAStatus::ok();
}

ScopedAStatus AndroidSharedSecret::computeSharedSecret(const std::vector<SharedSecretParameters>& params,
                                                       std::vector<uint8_t>* sharingCheck) {
  if (sharingCheck == nullptr) return kmError2ScopedAStatus(KM_ERROR_OUTPUT_PARAMETER_NULL);
  std::vector<hmac_sharing_params_t> records;
  records.reserve(params.size());
  for (const SharedSecretParameters& p : params) {
    hmac_sharing_params_t r{};
    // A malformed entry travels as zeros; the secure processor's answer decides.
    if ((p.seed.empty() || p.seed.size() == sizeof r.seed) && p.nonce.size() == sizeof r.nonce) {
      if (!p.seed.empty()) std::memcpy(r.seed, p.seed.data(), sizeof r.seed);
      std::memcpy(r.nonce, p.nonce.data(), sizeof r.nonce);
    }
    records.push_back(r);
  }
  std::vector<uint8_t> check;
  int rc = impl_->compute_shared_hmac(records, &check);
  if (rc != 0) return kmError2ScopedAStatus(rc);
  *sharingCheck = std::move(check);
  return ScopedAStatus::ok();
}

}  // namespace aidl::android::hardware::security::sharedsecret
