#pragma once
// Between the KeyMint interface's types and the platform's KeyMaster C records that the
// request layer takes and returns, and owning holders for the records the request layer
// allocates, so that every path releases them.
#include <aidl/android/hardware/security/keymint/HardwareAuthToken.h>
#include <aidl/android/hardware/security/keymint/KeyParameter.h>
#include <hardware/keymaster_defs.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "secproc_api.h"

namespace aidl::android::hardware::security::keymint::km_utils {

// The 69-byte hardware auth token string; empty for an absent token or one whose MAC is
// not exactly 32 bytes.
SECPROC_API std::vector<uint8_t> authToken2AidlVec(const std::optional<HardwareAuthToken>& token);

SECPROC_API KeyParameter kmParam2Aidl(const keymaster_key_param_t& param);
SECPROC_API std::vector<KeyParameter> kmParamSet2Aidl(const keymaster_key_param_set_t& set);
// The caller owns the array and every bytes value (malloc); KmParamSet takes them over.
SECPROC_API keymaster_key_param_set_t aidlKeyParams2Km(const std::vector<KeyParameter>& params);

// Views of a vector's bytes, valid while it lives; an empty vector gives a null pointer.
inline keymaster_blob_t aidlVec2KmBlob(const std::vector<uint8_t>& v) {
  return {v.empty() ? nullptr : v.data(), v.size()};
}
inline keymaster_key_blob_t aidlVec2KmKeyBlob(const std::vector<uint8_t>& v) {
  return {v.empty() ? nullptr : v.data(), v.size()};
}
inline std::vector<uint8_t> kmBlob2AidlVec(const keymaster_blob_t& b) {
  return b.data != nullptr && b.data_length != 0 ? std::vector<uint8_t>(b.data, b.data + b.data_length)
                                                  : std::vector<uint8_t>{};
}
inline std::vector<uint8_t> kmKeyBlob2AidlVec(const keymaster_key_blob_t& b) {
  return b.key_material != nullptr && b.key_material_size != 0
             ? std::vector<uint8_t>(b.key_material, b.key_material + b.key_material_size)
             : std::vector<uint8_t>{};
}

// A parameter list whose array and bytes values were allocated with malloc.
class SECPROC_API KmParamSet {
 public:
  KmParamSet() = default;
  explicit KmParamSet(keymaster_key_param_set_t set) : set_(set) {}
  ~KmParamSet() { keymaster_free_param_set(&set_); }
  KmParamSet(const KmParamSet&) = delete;
  KmParamSet& operator=(const KmParamSet&) = delete;

  // Appends a bytes parameter holding a copy of `value`; false when memory runs out.
  bool appendBytes(keymaster_tag_t tag, const std::vector<uint8_t>& value);
  keymaster_key_param_set_t* get() { return &set_; }
  const keymaster_key_param_set_t& operator*() const { return set_; }
  size_t size() const { return set_.length; }

 private:
  keymaster_key_param_set_t set_{nullptr, 0};
};

class KmKeyBlob {
 public:
  KmKeyBlob() = default;
  ~KmKeyBlob() { std::free(const_cast<uint8_t*>(blob_.key_material)); }
  KmKeyBlob(const KmKeyBlob&) = delete;
  KmKeyBlob& operator=(const KmKeyBlob&) = delete;
  keymaster_key_blob_t* get() { return &blob_; }
  const keymaster_key_blob_t& operator*() const { return blob_; }

 private:
  keymaster_key_blob_t blob_{nullptr, 0};
};

class KmBlob {
 public:
  KmBlob() = default;
  ~KmBlob() { std::free(const_cast<uint8_t*>(blob_.data)); }
  KmBlob(const KmBlob&) = delete;
  KmBlob& operator=(const KmBlob&) = delete;
  keymaster_blob_t* get() { return &blob_; }
  const keymaster_blob_t& operator*() const { return blob_; }

 private:
  keymaster_blob_t blob_{nullptr, 0};
};

class KmCharacteristics {
 public:
  KmCharacteristics() = default;
  ~KmCharacteristics() { keymaster_free_characteristics(&c_); }
  KmCharacteristics(const KmCharacteristics&) = delete;
  KmCharacteristics& operator=(const KmCharacteristics&) = delete;
  keymaster_key_characteristics_t* get() { return &c_; }
  const keymaster_key_characteristics_t& operator*() const { return c_; }

 private:
  keymaster_key_characteristics_t c_{{nullptr, 0}, {nullptr, 0}};
};

class KmCertChain {
 public:
  KmCertChain() = default;
  ~KmCertChain() { keymaster_free_cert_chain(&chain_); }
  KmCertChain(const KmCertChain&) = delete;
  KmCertChain& operator=(const KmCertChain&) = delete;
  keymaster_cert_chain_t* get() { return &chain_; }
  const keymaster_cert_chain_t& operator*() const { return chain_; }

 private:
  keymaster_cert_chain_t chain_{nullptr, 0};
};

}  // namespace aidl::android::hardware::security::keymint::km_utils
