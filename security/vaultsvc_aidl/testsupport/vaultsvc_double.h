#pragma once
// Test double of the outside trusted service behind IRERoririz, served in this process
// through the binder stand-in. getFid answers a settable FID; eccSign signs the SHA-256
// digest it is given (64 hexadecimal characters) with its own P-256 key and answers the raw
// r||s as hexadecimal text. Every other method records its call and answers a value made
// from its arguments, so that a test sees what crossed the binder both ways.
#include <aidl/vendor/tamrel/hardware/aidl/vaultsvc/BnRERoririz.h>
#include <openssl/evp.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vaultsvc_testing {

using ::aidl::vendor::tamrel::hardware::aidl::vaultsvc::BnRERoririz;
using ::aidl::vendor::tamrel::hardware::aidl::vaultsvc::IRERoririz;
using ::aidl::vendor::tamrel::hardware::aidl::vaultsvc::RERoririzResult;

// The instance clients look up: descriptor + "/default".
std::string vaultServiceInstance();

class VaultServiceDouble : public BnRERoririz {
 public:
  VaultServiceDouble();
  ~VaultServiceDouble() override;

  // ---- test control
  void setFid(std::string fid);
  // Answers of eccSign instead of a real signature (for malformed and oversized texts).
  void setSignatureText(std::optional<std::string> text);
  // getFid / eccSign answer this service-specific error instead (0: none).
  void setFidError(int32_t serviceSpecific);
  void setSignError(int32_t serviceSpecific);
  // The public key of eccSign, for verifying what it signed.
  EVP_PKEY* publicKey() const { return key_.get(); }
  // The calls received, in order: method name and its arguments joined with '|'.
  std::vector<std::string> calls() const;
  int fidCalls() const;
  int signCalls() const;

  // ---- IRERoririz
  Status eccSign(int32_t in_keyType, const Str& in_text, Str* _aidl_return) override;
  Status enroll(const Str& in_data, int32_t in_type, Str* _aidl_return) override;
  Status external_id_load(int32_t in_id, bool* _aidl_return) override;
  Status external_key_dump(int32_t in_id, Str* _aidl_return) override;
  Status external_key_load(int32_t in_id, const Str& in_key, const Str& in_cert, int32_t* _aidl_return) override;
  Status external_key_prepare(int32_t in_id, Str* _aidl_return) override;
  Status external_key_version(int32_t in_id, int32_t* _aidl_return) override;
  Status fido_key_get_version(int32_t* _aidl_return) override;
  Status fido_key_load(const Str& in_key, const Str& in_cert, int32_t* _aidl_return) override;
  Status fido_key_prepare(Str* _aidl_return) override;
  Status getFid(Str* _aidl_return) override;
  Status getTAVersion(Str* _aidl_return) override;
  Status get_device_rmpb_counter(int32_t* _aidl_return) override;
  Status get_device_secure_status(std::vector<int32_t>* _aidl_return) override;
  Status payauth_key_dump(Str* _aidl_return) override;
  Status payauth_key_get_version(int32_t* _aidl_return) override;
  Status payauth_key_load(const Str& in_key, const Str& in_cert, int32_t* _aidl_return) override;
  Status payauth_key_prepare(Str* _aidl_return) override;
  Status persist_read(int32_t in_area, const Str& in_name, RERoririzResult* _aidl_return) override;
  Status persist_remove(int32_t in_area, const Str& in_name, int32_t* _aidl_return) override;
  Status persist_write(int32_t in_area, const Str& in_name, const Bytes& in_data, int32_t in_flags,
                       int32_t* _aidl_return) override;
  Status refreash_device_rpmb_status(int32_t* _aidl_return) override;
  Status reload(const Str& in_key, const Str& in_cert, int32_t* _aidl_return) override;
  Status bioauth_generate(Str* _aidl_return) override;
  Status bioauth_get_state(int32_t* _aidl_return) override;
  Status bioauth_set_state(int32_t in_state) override;
  Status drmkey_dump(Str* _aidl_return) override;
  Status drmkey_get_version(int32_t* _aidl_return) override;
  Status drmkey_load(const Str& in_key, const Str& in_cert, int32_t* _aidl_return) override;
  Status drmkey_prepare(Str* _aidl_return) override;

 private:
  struct KeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
  };
  // Records the call; answers a string "name(args)" and an int of the argument count.
  Status note(const char* name, std::string args, Str* text, int32_t* number = nullptr);

  std::unique_ptr<EVP_PKEY, KeyFree> key_;
  mutable std::mutex lock_;
  std::vector<std::string> calls_;
  std::string fid_ = "FID0123456789ABCDEF";
  std::optional<std::string> signatureText_;
  int32_t fidError_ = 0;
  int32_t signError_ = 0;
  int fidCalls_ = 0;
  int signCalls_ = 0;
};

}  // namespace vaultsvc_testing
