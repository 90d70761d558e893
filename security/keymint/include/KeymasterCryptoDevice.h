#pragma once
// Conversions between the standard key and signature encodings (PKCS#8, X.509
// SubjectPublicKeyInfo, DER ECDSA signatures) and the split records in which the secure
// processor takes and gives raw big-endian numbers. Every byte string of these records is
// an unsigned big-endian number of minimal length (no leading zero bytes); memory an
// operation hands out is allocated with malloc and belongs to the caller.
#include <hardware/keymaster_defs.h>

#include <cstddef>
#include <cstdint>

#include "secproc_api.h"

namespace keymasterdevice {

struct _keymaster_ec_import_internal_t {
  uint8_t* private_key;
  size_t private_key_length;
  uint8_t* public_x;
  size_t public_x_length;
  uint8_t* public_y;
  size_t public_y_length;
  uint32_t key_size;  // bits
};

struct _keymaster_export_internal_t {
  uint32_t algorithm;  // keymaster_algorithm_t: 1 RSA, 3 EC
  uint8_t* modulus;
  size_t modulus_length;
  uint8_t* public_exponent;
  size_t public_exponent_length;
  // An EC key is a P-256 key: the record names no curve.
  uint8_t* ec_x;
  size_t ec_x_length;
  uint8_t* ec_y;
  size_t ec_y_length;
};

struct _keymaster_ec_sig_internal_t {
  uint8_t* r;
  size_t r_length;
  uint8_t* s;
  size_t s_length;
};

class SECPROC_API KeymasterCryptoDevice {
 public:
  KeymasterCryptoDevice() = default;
  virtual ~KeymasterCryptoDevice();

  int32_t pkcs8_to_internal(keymaster_algorithm_t algorithm, const keymaster_blob_t* key,
                            _keymaster_ec_import_internal_t* out);
  int32_t internal_to_x509(_keymaster_export_internal_t* key, keymaster_blob_t* out);
  int32_t ecsig_to_internal(const keymaster_blob_t* signature, _keymaster_ec_sig_internal_t* out);
  int32_t internal_to_ecsig(_keymaster_ec_sig_internal_t* signature, keymaster_blob_t* out);
};

}  // namespace keymasterdevice
