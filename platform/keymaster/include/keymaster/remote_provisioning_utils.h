#pragma once
// Helpers of remote provisioning: checking MACed public keys and reading P-256 public keys
// out of certificates.
#include <cppbor.h>
#include <hardware/keymaster_defs.h>
#include <keymaster/android_keymaster_utils.h>
#include <keymaster/cppcose/cppcose.h>

#include <utility>

namespace keymaster {

// Service-specific statuses of the remote-provisioning interface. The validator returns
// them negated, as KeyMaster errors.
inline constexpr int32_t kStatusFailed = 1;
inline constexpr int32_t kStatusInvalidMac = 2;
inline constexpr int32_t kStatusProductionKeyInTestRequest = 3;
inline constexpr int32_t kStatusTestKeyInProductionRequest = 4;

// Checks each COSE_Mac0 of `keysToSign` with `macFunction` and the test-key marker of the
// COSE_Key inside against `testMode`, and returns the COSE_Keys in order. On failure the
// array is empty and the error is -kStatusFailed (not a P-256 COSE_Mac0 over a COSE_Key),
// -kStatusInvalidMac, -kStatusProductionKeyInTestRequest or
// -kStatusTestKeyInProductionRequest.
std::pair<cppbor::Array, keymaster_error_t> validateAndExtractPubkeys(bool testMode, size_t numKeys,
                                                                      const KeymasterBlob* keysToSign,
                                                                      const cppcose::HmacSha256Function& macFunction);

// The affine coordinates of the P-256 public key of a DER certificate, each written
// big-endian and zero-padded into its 32-byte buffer.
keymaster_error_t GetEcdsa256KeyFromCert(const keymaster_blob_t* km_cert, uint8_t* x_coord, size_t x_length,
                                         uint8_t* y_coord, size_t y_length);

}  // namespace keymaster
