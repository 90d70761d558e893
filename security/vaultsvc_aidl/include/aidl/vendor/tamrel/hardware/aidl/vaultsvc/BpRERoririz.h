#pragma once
#include <atomic>
#include <mutex>

#include <aidl/vendor/tamrel/hardware/aidl/vaultsvc/IRERoririz.h>

namespace aidl::vendor::tamrel::hardware::aidl::vaultsvc {

// The client side: every call is a transaction on the remote binder. A server that does not
// know a call falls back to the process's default implementation, when one is set.
class BpRERoririz : public ::ndk::BpCInterface<IRERoririz> {
 public:
  explicit BpRERoririz(const ::ndk::SpAIBinder& binder);
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
  Status persist_write(int32_t in_area, const Str& in_name, const Bytes& in_data, int32_t in_flags, int32_t* _aidl_return) override;
  Status refreash_device_rpmb_status(int32_t* _aidl_return) override;
  Status reload(const Str& in_key, const Str& in_cert, int32_t* _aidl_return) override;
  Status bioauth_generate(Str* _aidl_return) override;
  Status bioauth_get_state(int32_t* _aidl_return) override;
  Status bioauth_set_state(int32_t in_state) override;
  Status drmkey_dump(Str* _aidl_return) override;
  Status drmkey_get_version(int32_t* _aidl_return) override;
  Status drmkey_load(const Str& in_key, const Str& in_cert, int32_t* _aidl_return) override;
  Status drmkey_prepare(Str* _aidl_return) override;
  Status getInterfaceVersion(int32_t* _aidl_return) override;
  Status getInterfaceHash(std::string* _aidl_return) override;

 private:
  std::atomic<int32_t> cachedVersion_{-1};
  std::mutex cachedHashLock_;
  std::string cachedHash_ = "-1";
};

}  // namespace aidl::vendor::tamrel::hardware::aidl::vaultsvc
