#pragma once
// Provisioning requests of the StrongBox KeyMint application: the attestation keybox
// (0x702) and the attestation device identifiers (0x703). Each request is framed in the
// channel's command area exactly as it would be sent (command id, then body) and copied out
// whole to the caller, who delivers it to the secure processor by its own means.
#include <hardware/keymaster_defs.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#define KM_PROVISION_API __attribute__((visibility("default")))

namespace keymasterutils {
class KeymasterUtils;
}

namespace keymasterdevice {

inline constexpr uint32_t kCmdInstallKeybox = 0x702;
inline constexpr uint32_t kCmdProvisionDeviceId = 0x703;
inline constexpr uint32_t kKeyboxKeys = 2;
// The largest framed request: the whole command area.
inline constexpr uint32_t kMaxProvisionCmd = 20480;
// Codes beyond the platform's error enumeration that this library returns.
inline constexpr int kErrorInsufficientBufferSpace = -29;

// One X.509 certificate in PEM.
struct km_cert_entry_t {
  const char* cert_pem;
  uint64_t cert_pem_length;
};
static_assert(sizeof(km_cert_entry_t) == 16);

// One attestation key: its algorithm, the private key in PEM and its certificate chain.
struct km_key_entry_t {
  uint32_t algorithm;  // keymaster_algorithm_t
  const char* key_pem;
  uint64_t key_pem_length;
  const km_cert_entry_t* certs;
  uint64_t cert_count;
};
static_assert(sizeof(km_key_entry_t) == 40);
static_assert(offsetof(km_key_entry_t, key_pem) == 8);
static_assert(offsetof(km_key_entry_t, certs) == 24);

struct km_install_keybox_t {
  uint8_t reserved[16];  // the caller's; not read
  km_key_entry_t keys[kKeyboxKeys];
};
static_assert(sizeof(km_install_keybox_t) == 96);
static_assert(offsetof(km_install_keybox_t, keys) == 16);

// Up to two identifiers of one kind (IMEIs, MEIDs); the first `count` are used.
struct keymaster_device_id_t {
  uint64_t count = 0;
  std::string ids[2];
};

class KM_PROVISION_API KeymasterKeyProvision {
 public:
  explicit KeymasterKeyProvision(keymaster_security_level_t level);
  virtual ~KeymasterKeyProvision();
  KeymasterKeyProvision(const KeymasterKeyProvision&) = delete;
  KeymasterKeyProvision& operator=(const KeymasterKeyProvision&) = delete;

  // -100 unless the object is of the StrongBox level; otherwise prepares the channel.
  int KeyMasterProvisionInit();
  // Makes the StrongBox KeyMint HAL bring the secure processor up, then brings up this
  // object's own channel.
  int SecProcInit();

  // Each of the calls below writes the framed request into out, which holds out_size bytes,
  // and its length into *out_length. A request that does not fit out_size returns -29; on
  // any failure out and *out_length are left untouched.
  int KeyMasterInstallKeybox(const km_install_keybox_t* keybox, uint8_t* out, uint32_t out_size,
                             uint32_t* out_length);
  // Copies the request of body_length bytes standing in the command area (the last one
  // framed). Waits for a request being framed on another thread, so it never copies one half
  // built.
  int CopyCmd(uint32_t body_length, uint8_t* out, uint32_t out_size, uint32_t* out_length);
  int KeyMasterProvisionDeviceId(const std::string& brand, const std::string& device, const std::string& product,
                                 const std::string& serial, const std::string& manufacturer, const std::string& model,
                                 const keymaster_device_id_t& imeis, const keymaster_device_id_t& meids,
                                 uint8_t* out, uint32_t out_size, uint32_t* out_length);

 private:
  // SecProcInit's bring-up of this object's channel, with the request lock held.
  int bringUpLocked();
  // CopyCmd with the request lock held.
  int copyCmdLocked(uint32_t body_length, uint8_t* out, uint32_t out_size, uint32_t* out_length);
  std::unique_ptr<keymasterutils::KeymasterUtils> utils_;
  keymaster_security_level_t security_level_;
};

}  // namespace keymasterdevice
