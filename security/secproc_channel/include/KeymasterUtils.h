#pragma once
// The secure-processor channel of one user: the command area in which requests are built,
// the exchange through the shared buffer on the channel "sp_keymaster", the bring-up of the
// channel and the replay of saved commands after a restart of the secure processor.
#include <hardware/keymaster_defs.h>
#include <vaultlink/vaultlink.h>

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "secproc_api.h"

namespace keymasterutils {

inline constexpr uint32_t kCmdAreaSize = 20480;
inline constexpr uint32_t kSharedBufSize = 20480;
inline constexpr uint32_t kBodySpace = kCmdAreaSize - 4;
inline constexpr uint32_t kStatusSucc = 0x73756363;  // counts as 0
inline constexpr uint32_t kRspTypeSuccess = 100;
inline constexpr uint32_t kWaitMs = 120000;
inline constexpr char kChannelName[] = "sp_keymaster";
inline constexpr char kWakeLockName[] = "vaultss_send_cmd";

inline constexpr uint32_t kCmdSetVersion = 0x207;
inline constexpr uint32_t kCmdConfigure = 0x2116;
inline constexpr uint32_t kCmdEarlyBootEnded = 0x211C;
inline constexpr uint32_t kCmdDeviceLocked = 0x211D;

inline constexpr int kRegistered = 0x1B2D0E10;

struct rsp_header {
  uint32_t status;
  uint32_t msg_len;
};
static_assert(sizeof(rsp_header) == 8);

struct __attribute__((packed)) sp_msg_request {
  uint32_t reserved;
  uint16_t req_len;
  uint64_t shared_buf_ref;
  uint32_t shared_buf_size;
};
static_assert(sizeof(sp_msg_request) == 18);
static_assert(offsetof(sp_msg_request, req_len) == 4);
static_assert(offsetof(sp_msg_request, shared_buf_ref) == 6);
static_assert(offsetof(sp_msg_request, shared_buf_size) == 14);

struct sp_msg_reply {
  uint32_t rsp_type;
  int32_t ret;
  uint32_t msg_len;
};
static_assert(sizeof(sp_msg_reply) == 12);

struct ion_buf_t {
  void* addr;
  uint64_t size;
  int32_t fd;
  sp_alloc_subsys_t subsys;
  bool allocated;
};

struct km_channel_state_t {
  uint32_t security_level;
  uint32_t km_version;
  uint32_t api_version;
  uint32_t ta_minor_version;
  vaultlink_ion_info_table* buffer_table;
  ion_buf_t hlos_buf;
  ion_buf_t tz_buf;
  uint32_t initialised;
  uint8_t cmd_area[kCmdAreaSize];
  keymaster_blob_t saved_configure;
  keymaster_blob_t saved_device_locked;
  bool early_boot_ended;
  bool tz_prepared;
  // Restart count of the process when this object last brought its channel up: every
  // object replays its saved commands after a restart, not only the first to notice it.
  uint64_t restart_generation;
};

class SECPROC_API KeymasterUtils {
 public:
  explicit KeymasterUtils(keymaster_security_level_t level);
  virtual ~KeymasterUtils();
  KeymasterUtils(const KeymasterUtils&) = delete;
  KeymasterUtils& operator=(const KeymasterUtils&) = delete;

  // One request at a time: take this around a whole request, from init until the response
  // body has been decoded (binder calls may arrive on several threads).
  std::unique_lock<std::mutex> lockRequest() { return std::unique_lock<std::mutex>(request_lock_); }

  // ---- one exchange
  // Clears the command area, writes the command id and hands out the body space.
  void init(uint32_t cmd_id, keymaster_blob_t* blob);
  // Sends the request standing in the command area (body length from req.data_length);
  // on 0 the response blob is the response body.
  int sendCmd(keymaster_blob_t& req, keymaster_blob_t* rsp);
  // The exchange of a request anywhere in memory; the response is copied to rsp's memory.
  // 0, -1000 when the secure processor sent nothing back, or -49 when the process had no
  // registration to send on (given up by another object; the next secproc_init registers
  // again). Other channel failures end the process.
  int sendCmd_common(keymaster_blob_t& req, keymaster_blob_t* rsp);
  int send_cmd(void* req, uint32_t req_len, void* rsp, uint32_t rsp_capacity);
  void get_cmd_header(uint32_t body_len, uint8_t** header, uint32_t* frame_len);
  uint8_t* celvarcom_dev_init();
  int initialize(size_t size);
  static size_t km_memscpy(void* dst, size_t dst_size, const void* src, size_t src_size);
  int secprocCopyReq(keymaster_blob_t req, uint32_t* len_to_send);
  int secprocCopyRsp(uint32_t req_len, uint32_t rsp_len, keymaster_blob_t* rsp);
  int callSECPROC(uint32_t req_len, uint32_t* rsp_len);
  int secproc_hlos_shared_buf_init();
  void cleanup();
  void cleanup_fatal_if(bool cond, const char* msg);

  // ---- bring-up, versions and replay
  int secproc_init();
  bool isLegacy() const;
  bool isOldKeyblob() const;
  static uint32_t getKeymasterVersion() { return 5; }
  static uint32_t getKeymasterHalMinorVersion() { return 3; }
  uint32_t getKeymasterAPIVersion() const { return state_->api_version; }
  uint32_t getKeymasterTaMinorVersion() const { return state_->ta_minor_version; }
  int IsSbKmAvailable();
  int save_configure_cmd(const keymaster_blob_t* body);
  int save_device_locked(const keymaster_blob_t* body);
  int save_cmd(const keymaster_blob_t* body, keymaster_blob_t& slot);
  int save_early_boot_ended();
  int secprocSetVersion();
  int secprocSetConfigure();
  int secprocSetEarlyBootEnded();
  int secprocSetDeviceLocked();
  int secprocSetCmd(uint32_t cmd_id, keymaster_blob_t& saved);
  int secprocGetVersion();
  int secproc_tz_prepare();
  int secproc_tz_send_data();
  int secproc_tz_shared_buf_init();

  const km_channel_state_t* state() const { return state_; }

 private:
  uint8_t* cmdArea() { return state_->cmd_area; }
  // callSECPROC, telling apart a send that found no registration of the process.
  int callSecProc(uint32_t req_len, uint32_t* rsp_len, bool* unregistered);
  // The TZ steps with the process-wide bring-up lock already held.
  int tzPrepareLocked();
  int tzSendDataLocked();
  // Gives back this object's share of the process-wide client (once); the last share's
  // return ends the registration and drops the TZ utilities.
  void releaseClient();
  km_channel_state_t* state_;
  std::mutex request_lock_;
  bool holdsClient_ = false;
};

// Shared memory for the channel (HLOS) or the trusted environment (TZ).
SECPROC_API int alloc_ion_buffer(sp_alloc_subsys_t subsys, uint32_t size, ion_buf_t* buf);
SECPROC_API void free_ion_buffer(ion_buf_t* buf);

}  // namespace keymasterutils

// Process-wide client of the channel.
extern "C" {
SECPROC_API int sp_init_client(void);
SECPROC_API int sp_register_client(void);
// Registers the process if it is not registered yet; kRegistered, or -108 on failure.
// *handle is borrowed, not owned: the registration is the process's, and a restart or a
// time-out seen by any channel object of the process replaces it and unregisters the old one
// once the exchanges running on it are done. Use the handle for one exchange started at once,
// never keep it; the library's own exchanges hold the registration itself for their length.
SECPROC_API int sp_km_register_client_handle(vaultlink_client_handle* handle);
SECPROC_API int sp_deinit_client(void);
SECPROC_API void sp_exit(void);
SECPROC_API void ssr_cb(void);
SECPROC_API bool is_after_ssr(void);
SECPROC_API void disable_is_after_ssr_flag(void);
SECPROC_API bool is_secproc_tz_data_initialized(void);
SECPROC_API void set_secproc_tz_data_initialized(bool value);
SECPROC_API int sp_ext_msg_client_send_message(uint32_t req_len, uint32_t* rsp_len,
                                               uint32_t buf_size,
                                               vaultlink_ion_info_table* table);
}
