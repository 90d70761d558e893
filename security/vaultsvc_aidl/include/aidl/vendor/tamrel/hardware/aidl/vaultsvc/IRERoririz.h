#pragma once
// The trusted service's binder interface (version 1). The server runs outside this system;
// this library carries its proxy, the stub base for a server and the default implementation.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <android/binder_interface_utils.h>
#include <aidl/vendor/tamrel/hardware/aidl/vaultsvc/RERoririzResult.h>

namespace aidl::vendor::tamrel::hardware::aidl::vaultsvc {

class IRERoririz : public ::ndk::ICInterface {
 public:
  using Status = ::ndk::ScopedAStatus;
  using Str = std::string;
  using Bytes = std::vector<uint8_t>;

  static const char* descriptor;
  static const int32_t version = 1;
  static inline const std::string hash = "5c07e9d2a4b1f36e80d9c2b7a15f4e6093d8b1ac";

  static constexpr uint32_t TRANSACTION_eccSign = FIRST_CALL_TRANSACTION + 0;
  static constexpr uint32_t TRANSACTION_enroll = FIRST_CALL_TRANSACTION + 1;
  static constexpr uint32_t TRANSACTION_external_id_load = FIRST_CALL_TRANSACTION + 2;
  static constexpr uint32_t TRANSACTION_external_key_dump = FIRST_CALL_TRANSACTION + 3;
  static constexpr uint32_t TRANSACTION_external_key_load = FIRST_CALL_TRANSACTION + 4;
  static constexpr uint32_t TRANSACTION_external_key_prepare = FIRST_CALL_TRANSACTION + 5;
  static constexpr uint32_t TRANSACTION_external_key_version = FIRST_CALL_TRANSACTION + 6;
  static constexpr uint32_t TRANSACTION_fido_key_get_version = FIRST_CALL_TRANSACTION + 7;
  static constexpr uint32_t TRANSACTION_fido_key_load = FIRST_CALL_TRANSACTION + 8;
  static constexpr uint32_t TRANSACTION_fido_key_prepare = FIRST_CALL_TRANSACTION + 9;
  static constexpr uint32_t TRANSACTION_getFid = FIRST_CALL_TRANSACTION + 10;
  static constexpr uint32_t TRANSACTION_getTAVersion = FIRST_CALL_TRANSACTION + 11;
  static constexpr uint32_t TRANSACTION_get_device_rmpb_counter = FIRST_CALL_TRANSACTION + 12;
  static constexpr uint32_t TRANSACTION_get_device_secure_status = FIRST_CALL_TRANSACTION + 13;
  static constexpr uint32_t TRANSACTION_payauth_key_dump = FIRST_CALL_TRANSACTION + 14;
  static constexpr uint32_t TRANSACTION_payauth_key_get_version = FIRST_CALL_TRANSACTION + 15;
  static constexpr uint32_t TRANSACTION_payauth_key_load = FIRST_CALL_TRANSACTION + 16;
  static constexpr uint32_t TRANSACTION_payauth_key_prepare = FIRST_CALL_TRANSACTION + 17;
  static constexpr uint32_t TRANSACTION_persist_read = FIRST_CALL_TRANSACTION + 18;
  static constexpr uint32_t TRANSACTION_persist_remove = FIRST_CALL_TRANSACTION + 19;
  static constexpr uint32_t TRANSACTION_persist_write = FIRST_CALL_TRANSACTION + 20;
  static constexpr uint32_t TRANSACTION_refreash_device_rpmb_status = FIRST_CALL_TRANSACTION + 21;
  static constexpr uint32_t TRANSACTION_reload = FIRST_CALL_TRANSACTION + 22;
  static constexpr uint32_t TRANSACTION_bioauth_generate = FIRST_CALL_TRANSACTION + 23;
  static constexpr uint32_t TRANSACTION_bioauth_get_state = FIRST_CALL_TRANSACTION + 24;
  static constexpr uint32_t TRANSACTION_bioauth_set_state = FIRST_CALL_TRANSACTION + 25;
  static constexpr uint32_t TRANSACTION_drmkey_dump = FIRST_CALL_TRANSACTION + 26;
  static constexpr uint32_t TRANSACTION_drmkey_get_version = FIRST_CALL_TRANSACTION + 27;
  static constexpr uint32_t TRANSACTION_drmkey_load = FIRST_CALL_TRANSACTION + 28;
  static constexpr uint32_t TRANSACTION_drmkey_prepare = FIRST_CALL_TRANSACTION + 29;
  static constexpr uint32_t TRANSACTION_getInterfaceVersion = 16777215;
  static constexpr uint32_t TRANSACTION_getInterfaceHash = 16777214;

  static std::shared_ptr<IRERoririz> fromBinder(const ::ndk::SpAIBinder& binder);
  static binder_status_t writeToParcel(AParcel* parcel, const std::shared_ptr<IRERoririz>& instance);
  static binder_status_t readFromParcel(const AParcel* parcel, std::shared_ptr<IRERoririz>* instance);
  // A null implementation is refused (false) and the previous one kept.
  static bool setDefaultImpl(const std::shared_ptr<IRERoririz>& impl);
  static std::shared_ptr<IRERoririz> getDefaultImpl();

  virtual Status eccSign(int32_t in_keyType, const Str& in_text, Str* _aidl_return) = 0;
  virtual Status enroll(const Str& in_data, int32_t in_type, Str* _aidl_return) = 0;
  virtual Status external_id_load(int32_t in_id, bool* _aidl_return) = 0;
  virtual Status external_key_dump(int32_t in_id, Str* _aidl_return) = 0;
  virtual Status external_key_load(int32_t in_id, const Str& in_key, const Str& in_cert, int32_t* _aidl_return) = 0;
  virtual Status external_key_prepare(int32_t in_id, Str* _aidl_return) = 0;
  virtual Status external_key_version(int32_t in_id, int32_t* _aidl_return) = 0;
  virtual Status fido_key_get_version(int32_t* _aidl_return) = 0;
  virtual Status fido_key_load(const Str& in_key, const Str& in_cert, int32_t* _aidl_return) = 0;
  virtual Status fido_key_prepare(Str* _aidl_return) = 0;
  virtual Status getFid(Str* _aidl_return) = 0;
  virtual Status getTAVersion(Str* _aidl_return) = 0;
  virtual Status get_device_rmpb_counter(int32_t* _aidl_return) = 0;
  virtual Status get_device_secure_status(std::vector<int32_t>* _aidl_return) = 0;
  virtual Status payauth_key_dump(Str* _aidl_return) = 0;
  virtual Status payauth_key_get_version(int32_t* _aidl_return) = 0;
  virtual Status payauth_key_load(const Str& in_key, const Str& in_cert, int32_t* _aidl_return) = 0;
  virtual Status payauth_key_prepare(Str* _aidl_return) = 0;
  virtual Status persist_read(int32_t in_area, const Str& in_name, RERoririzResult* _aidl_return) = 0;
  virtual Status persist_remove(int32_t in_area, const Str& in_name, int32_t* _aidl_return) = 0;
  virtual Status persist_write(int32_t in_area, const Str& in_name, const Bytes& in_data, int32_t in_flags,
                               int32_t* _aidl_return) = 0;
  virtual Status refreash_device_rpmb_status(int32_t* _aidl_return) = 0;
  virtual Status reload(const Str& in_key, const Str& in_cert, int32_t* _aidl_return) = 0;
  virtual Status bioauth_generate(Str* _aidl_return) = 0;
  virtual Status bioauth_get_state(int32_t* _aidl_return) = 0;
  virtual Status bioauth_set_state(int32_t in_state) = 0;
  virtual Status drmkey_dump(Str* _aidl_return) = 0;
  virtual Status drmkey_get_version(int32_t* _aidl_return) = 0;
  virtual Status drmkey_load(const Str& in_key, const Str& in_cert, int32_t* _aidl_return) = 0;
  virtual Status drmkey_prepare(Str* _aidl_return) = 0;
  virtual Status getInterfaceVersion(int32_t* _aidl_return) = 0;
  virtual Status getInterfaceHash(std::string* _aidl_return) = 0;
};

// Every method answers STATUS_UNKNOWN_TRANSACTION, except the version (0) and hash ("").
class IRERoririzDefault : public IRERoririz {
 public:
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
  Status getInterfaceVersion(int32_t* _aidl_return) override;
  Status getInterfaceHash(std::string* _aidl_return) override;
  ::ndk::SpAIBinder asBinder() override;
  bool isRemote() override;
};

}  // namespace aidl::vendor::tamrel::hardware::aidl::vaultsvc
