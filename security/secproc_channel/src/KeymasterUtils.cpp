// One exchange with the secure processor, the shared buffer, and the bring-up of the
// channel with the replay of saved commands.
#define LOG_TAG "SecProcKeymasterUtils"

#include "KeymasterUtils.h"

#include <hardware_legacy/power.h>
#include <log/log.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "KeymasterTzUtils.h"
#include "sp_client.h"

namespace keymasterutils {

using internal::sp;

namespace {

constexpr uint32_t roundUp4(uint64_t n) { return static_cast<uint32_t>((n + 3) & ~uint64_t{3}); }

// Whether one exchange carries a body of n bytes: behind the command id, and with room left
// for the response header behind the request in the command area.
constexpr bool fitsExchange(uint64_t n) {
  return n <= kBodySpace && roundUp4(n + 4) + sizeof(rsp_header) <= kCmdAreaSize;
}

uint32_t readU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
void writeU32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

void logFailure(const char* what, int rc) {
  ALOGE("%s", what);
  ALOGE("ret: %d", rc);
}

}  // namespace

KeymasterUtils::KeymasterUtils(keymaster_security_level_t level)
    : state_(static_cast<km_channel_state_t*>(std::calloc(1, sizeof(km_channel_state_t)))) {
  LOG_ALWAYS_FATAL_IF(state_ == nullptr, "no memory for the channel state");
  state_->security_level = level;
  state_->hlos_buf.fd = -1;
  state_->tz_buf.fd = -1;
  {
    // Objects of one process share the client and the TZ utilities; a new object neither
    // replaces them nor disturbs another object's bring-up.
    std::lock_guard<std::mutex> g(sp().bring_up);
    sp().users++;
    holdsClient_ = true;
    if (!mKeymasterTzUtils) mKeymasterTzUtils = std::make_unique<KeymasterTzUtils>();
  }
  if (level == KM_SECURITY_LEVEL_STRONGBOX) {
    ALOGD("KeymasterUtils start");
  } else {
    ALOGE("KeymasterUtils::KeymasterUtils wrong security level %u", level);
  }
}

KeymasterUtils::~KeymasterUtils() {
  if (state_ != nullptr) cleanup();
  ALOGD("KeymasterUtils end");
}

void KeymasterUtils::cleanup() {
  ALOGD("KeymasterUtils cleanup");
  if (state_ != nullptr) {
    std::free(const_cast<uint8_t*>(state_->saved_configure.data));
    std::free(const_cast<uint8_t*>(state_->saved_device_locked.data));
    if (state_->buffer_table != nullptr) {
      free_ion_buffer(&state_->hlos_buf);
      std::free(state_->buffer_table);
      state_->buffer_table = nullptr;
    }
    free_ion_buffer(&state_->tz_buf);
    std::free(state_);
    state_ = nullptr;
  }
  releaseClient();
}

void KeymasterUtils::releaseClient() {
  if (!holdsClient_) return;
  holdsClient_ = false;
  std::lock_guard<std::mutex> g(sp().bring_up);
  if (--sp().users > 0) return;
  sp_exit();
  mKeymasterTzUtils.reset();
}

void KeymasterUtils::cleanup_fatal_if(bool cond, const char* msg) {
  if (!cond) return;
  cleanup();
  LOG_ALWAYS_FATAL("cond: %s", msg);
}

// ---------------------------------------------------------------- one exchange

void KeymasterUtils::init(uint32_t cmd_id, keymaster_blob_t* blob) {
  std::memset(cmdArea(), 0, kCmdAreaSize);
  writeU32(cmdArea(), cmd_id);
  if (blob != nullptr) {
    blob->data = cmdArea() + 4;
    blob->data_length = kBodySpace;
  }
}

uint8_t* KeymasterUtils::celvarcom_dev_init() { return cmdArea(); }

int KeymasterUtils::initialize(size_t) { return 0; }

void KeymasterUtils::get_cmd_header(uint32_t body_len, uint8_t** header, uint32_t* frame_len) {
  if (header != nullptr) *header = cmdArea();
  if (frame_len != nullptr) *frame_len = body_len + 4;
}

size_t KeymasterUtils::km_memscpy(void* dst, size_t dst_size, const void* src, size_t src_size) {
  size_t n = dst_size < src_size ? dst_size : src_size;
  if (n != 0) std::memmove(dst, src, n);
  return n;
}

int KeymasterUtils::sendCmd(keymaster_blob_t& req, keymaster_blob_t* rsp) {
  if (rsp == nullptr) {
    ALOGE("Null pointer");
    return KM_ERROR_INVALID_ARGUMENT;
  }
  auto n = static_cast<uint32_t>(req.data_length);
  // The response header must fit behind the request in the command area.
  if (!fitsExchange(n)) {
    ALOGE("cmd.data_length: %u", n);
    return KM_ERROR_INVALID_ARGUMENT;
  }
  const uint32_t frameLen = n + 4;
  const uint32_t r = roundUp4(frameLen);
  keymaster_blob_t frame{cmdArea(), frameLen};
  rsp->data = cmdArea() + r;
  rsp->data_length = kCmdAreaSize - r;
  int rc = sendCmd_common(frame, rsp);
  if (rc != 0) return rc;
  rsp_header hdr;
  std::memcpy(&hdr, cmdArea() + r, sizeof hdr);
  if (hdr.status != 0) {
    ALOGD("rsp_header->status: %d", static_cast<int32_t>(hdr.status));
    return static_cast<int32_t>(hdr.status);
  }
  if (hdr.msg_len <= 7) {
    ALOGE("Response size is too short (%u)", hdr.msg_len);
    return KM_ERROR_UNKNOWN_ERROR;
  }
  // A length that runs past the command area is refused, never handed on.
  if (hdr.msg_len > kCmdAreaSize - r) {
    ALOGE("Response size is too long (%u)", hdr.msg_len);
    return KM_ERROR_UNKNOWN_ERROR;
  }
  rsp->data = cmdArea() + r + sizeof(rsp_header);
  rsp->data_length = hdr.msg_len - sizeof(rsp_header);
  return 0;
}

int KeymasterUtils::secprocCopyReq(keymaster_blob_t req, uint32_t* len_to_send) {
  const uint64_t size = state_->hlos_buf.size;
  const uint64_t rounded = (uint64_t{req.data_length} + 3) & ~uint64_t{3};
  if (rounded > size) {
    ALOGE("cmd.data_length: %u", static_cast<uint32_t>(req.data_length));
    return KM_ERROR_INVALID_ARGUMENT;
  }
  km_memscpy(state_->hlos_buf.addr, size, req.data, req.data_length);
  if (size - rounded < 4) {
    ALOGE("rsp_size: %zu", static_cast<size_t>(size - rounded));
    return KM_ERROR_INVALID_ARGUMENT;
  }
  *len_to_send = static_cast<uint32_t>(req.data_length);
  return 0;
}

int KeymasterUtils::secprocCopyRsp(uint32_t req_len, uint32_t rsp_len, keymaster_blob_t* rsp) {
  const uint32_t offset = roundUp4(req_len);
  const uint64_t room = state_->hlos_buf.size > offset ? state_->hlos_buf.size - offset : 0;
  size_t n = km_memscpy(const_cast<uint8_t*>(rsp->data), rsp->data_length,
                        static_cast<uint8_t*>(state_->hlos_buf.addr) + offset,
                        rsp_len < room ? rsp_len : room);
  ALOGD("reqSizeSecProc %d, rspSizeFromSecProc %d", req_len, rsp_len);
  if (n >= 4 && readU32(rsp->data) == kStatusSucc) writeU32(const_cast<uint8_t*>(rsp->data), 0);
  return 0;
}

int KeymasterUtils::sendCmd_common(keymaster_blob_t& req, keymaster_blob_t* rsp) {
  if (state_->buffer_table == nullptr || !state_->hlos_buf.allocated || rsp == nullptr) {
    ALOGE("shared buffer not set up");
    return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  }
  vaultlink_sync_start(state_->hlos_buf.fd);
  uint32_t reqLen = 0;
  int rc = secprocCopyReq(req, &reqLen);
  cleanup_fatal_if(rc != 0, "secprocCopyReq failed");
  vaultlink_sync_end(state_->hlos_buf.fd);

  if (acquire_wake_lock(PARTIAL_WAKE_LOCK, kWakeLockName) < 0) {
    ALOGE("failed to acquire wake lock [%d:%s]", errno, strerror(errno));
  } else {
    ALOGD("acquired wake lock: %s", kWakeLockName);
  }
  uint32_t rspLen = 0;
  bool unregistered = false;
  rc = callSecProc(reqLen, &rspLen, &unregistered);
  if (release_wake_lock(kWakeLockName) < 0) {
    ALOGE("failed to release wake lock [%d:%s]", errno, strerror(errno));
  } else {
    ALOGD("released wake lock: %s", kWakeLockName);
  }
  // The process's registration is shared: another object may have given it up just before
  // this send. That is no fault of this object's channel, and the next bring-up registers
  // again, so this request alone fails.
  if (unregistered) {
    ALOGE("callSECPROC found no registration");
    return KM_ERROR_SECURE_HW_COMMUNICATION_FAILED;
  }
  cleanup_fatal_if(rc != 0, "callSECPROC failed");

  // A time-out that rebuilt the buffer, or a reply of another type, leaves nothing to
  // read: whatever stands in the caller's response memory is not this request's answer.
  if (rspLen == 0) {
    ALOGE("no response from the secure processor");
    return KM_ERROR_UNKNOWN_ERROR;
  }
  vaultlink_sync_start(state_->hlos_buf.fd);
  secprocCopyRsp(reqLen, rspLen, rsp);
  vaultlink_sync_end(state_->hlos_buf.fd);
  return 0;
}

int KeymasterUtils::send_cmd(void* req, uint32_t req_len, void* rsp, uint32_t rsp_capacity) {
  keymaster_blob_t request{static_cast<uint8_t*>(req), req_len};
  keymaster_blob_t response{static_cast<uint8_t*>(rsp), rsp_capacity};
  return sendCmd_common(request, &response);
}

int KeymasterUtils::callSECPROC(uint32_t req_len, uint32_t* rsp_len) {
  bool unregistered = false;
  return callSecProc(req_len, rsp_len, &unregistered);
}

int KeymasterUtils::callSecProc(uint32_t req_len, uint32_t* rsp_len, bool* unregistered) {
  vaultlink_sync_start(state_->hlos_buf.fd);
  int ret = internal::sendMessage(req_len, rsp_len, kSharedBufSize, state_->buffer_table, unregistered);
  if (ret != 0) {
    ALOGE("error during sp_ext_msg_client_send_message ret = %d, rsp_size = %d", ret,
          rsp_len != nullptr ? static_cast<int>(*rsp_len) : 0);
    if (ret == -4) {
      ALOGE("Timeout. Free the buffer and re-initialize");
      free_ion_buffer(&state_->hlos_buf);
      ret = secproc_hlos_shared_buf_init();
      if (ret != 0) ALOGE("secproc_hlos_shared_buf_init failed after timeout");
    }
  }
  vaultlink_sync_end(state_->hlos_buf.fd);
  return ret;
}

int KeymasterUtils::secproc_hlos_shared_buf_init() {
  if (state_->hlos_buf.allocated) return 0;
  if (state_->buffer_table == nullptr) {
    auto* table = static_cast<vaultlink_ion_info_table*>(std::calloc(1, sizeof(vaultlink_ion_info_table)));
    if (table == nullptr) {
      ALOGE("Failed to allocate ion buffer");
      return KM_ERROR_MEMORY_ALLOCATION_FAILED;
    }
    for (auto& e : table->entry) e.fd = -1;
    state_->buffer_table = table;
  }
  if (sp_init_client() != 0) {
    ALOGE("vaultlink client initialization failed");
    std::free(state_->buffer_table);
    state_->buffer_table = nullptr;
    return KM_ERROR_SECURE_HW_COMMUNICATION_FAILED;
  }
  if (alloc_ion_buffer(SP_ALLOC_SUBSYS_HLOS, kSharedBufSize, &state_->hlos_buf) != 0) {
    ALOGE("HLOS buffer allocation failed");
    sp_exit();
    std::free(state_->buffer_table);
    state_->buffer_table = nullptr;
    return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  }
  state_->buffer_table->entry[0] = {state_->hlos_buf.fd, 6};
  return 0;
}

int alloc_ion_buffer(sp_alloc_subsys_t subsys, uint32_t size, ion_buf_t* buf) {
  if (buf->allocated) return 0;
  int fd = -1;
  void* addr = vaultlink_ion_alloc_ex(size, &fd, subsys);
  if (fd < 0 || (subsys == SP_ALLOC_SUBSYS_HLOS && addr == nullptr)) {
    ALOGE("ION allocation failed, size=%d", static_cast<int>(size));
    return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  }
  int rc = vaultlink_lock_ion_buffer(kChannelName, fd);
  if (rc != 0) {
    ALOGE("Locking vaultlink buf failed: %d", rc);
    vaultlink_ion_free_ex(addr, size, fd, subsys);
    return KM_ERROR_UNKNOWN_ERROR;
  }
  *buf = ion_buf_t{addr, size, fd, subsys, true};
  ALOGD("Allocated shared memory for subsys %d, fd %d", subsys, fd);
  return 0;
}

void free_ion_buffer(ion_buf_t* buf) {
  if (buf == nullptr || !buf->allocated) return;
  ALOGD("Free shared memory for subsys %d, fd %d", buf->subsys, buf->fd);
  if (vaultlink_unlock_ion_buffer(kChannelName, buf->fd) < 0) ALOGE("unlock ION failed");
  if (buf->subsys == SP_ALLOC_SUBSYS_TZ) {
    vaultlink_ion_free_ex(buf->addr, static_cast<uint32_t>(buf->size), buf->fd, SP_ALLOC_SUBSYS_TZ);
  }
  *buf = ion_buf_t{nullptr, 0, -1, SP_ALLOC_SUBSYS_HLOS, false};
}

// ---------------------------------------------------------------- bring-up and replay

bool KeymasterUtils::isLegacy() const {
  return state_->initialised != 0 && state_->km_version <= 4 && state_->api_version == 0;
}

bool KeymasterUtils::isOldKeyblob() const {
  return state_->km_version == 4 && state_->ta_minor_version < 540;
}

int KeymasterUtils::IsSbKmAvailable() {
  if (vaultlink_wait_for_secproc_ready(60) != 0) {
    ALOGE("SECPROC is not available");
    return KM_ERROR_SECURE_HW_ACCESS_DENIED;
  }
  ALOGD("SECPROC available");
  return 0;
}

int KeymasterUtils::secprocGetVersion() {
  state_->km_version = 5;
  state_->api_version = 3;
  state_->ta_minor_version = 3000;
  return 0;
}

int KeymasterUtils::secproc_init() {
  if (state_->security_level == KM_SECURITY_LEVEL_TRUSTED_ENVIRONMENT) return 0;
  bool afterSsr = false;
  const char* fatal = nullptr;
  {
    // The process-wide steps run for one object at a time: a second object brought up at
    // the same moment finds the client registered and the TZ data handed over.
    std::lock_guard<std::mutex> g(sp().bring_up);
    // A restart may arrive at any point of this bring-up (the callback takes no bring-up
    // lock): the flag is cleared only for the restart it was read for, so that a later one
    // is answered by the next bring-up.
    const internal::RestartMark mark = internal::restartMark();
    afterSsr = mark.afterRestart;
    // Other objects may be exchanging on the registration a restart leaves behind: it is
    // replaced, and ends when their exchanges are done.
    if (afterSsr) internal::renewRegistration();
    if (IsSbKmAvailable() != 0) {
      fatal = "SB KM is unavailable";
    } else {
      sp_init_client();
      if (tzSendDataLocked() != 0) {
        fatal = "secproc_tz_send_data failed";
      } else {
        if (afterSsr && !internal::clearAfterRestart(mark.generation)) {
          ALOGI("restarted again during the bring-up: answered by the next one");
        }
        if (secproc_hlos_shared_buf_init() != 0) fatal = "secproc_hlos_shared_buf_init failed";
      }
    }
  }
  // Outside the bring-up lock: the cleanup gives back this object's share under it.
  cleanup_fatal_if(fatal != nullptr, fatal);
  const uint64_t generation = internal::restartGeneration();
  if (afterSsr || generation != state_->restart_generation) {
    state_->initialised = 0;
    state_->restart_generation = generation;
  }
  if (state_->initialised != 0) return 0;
  if (state_->km_version == 0 && state_->api_version == 0) secprocGetVersion();
  int rc = secprocSetVersion();
  if (rc == 0) rc = secprocSetConfigure();
  if (rc == 0) rc = secprocSetEarlyBootEnded();
  if (rc == 0) rc = secprocSetDeviceLocked();
  if (rc != 0) {
    logFailure("secproc_init", rc);
    return rc;
  }
  state_->initialised = 1;
  return 0;
}

int KeymasterUtils::secprocSetVersion() {
  uint32_t request[6] = {kCmdSetVersion, getKeymasterVersion(), getKeymasterHalMinorVersion(), 5, 3, 0};
  uint32_t response = 0;
  keymaster_blob_t req{reinterpret_cast<uint8_t*>(request), sizeof request};
  keymaster_blob_t rsp{reinterpret_cast<uint8_t*>(&response), sizeof response};
  int rc = sendCmd_common(req, &rsp);
  if (rc != 0 || response != 0) {
    ALOGE("failed to set version: %d", rc != 0 ? rc : static_cast<int32_t>(response));
    return KM_ERROR_UNKNOWN_ERROR;
  }
  return 0;
}

int KeymasterUtils::secprocSetCmd(uint32_t cmd_id, keymaster_blob_t& saved) {
  if (saved.data == nullptr || saved.data_length == 0) return 0;
  init(cmd_id, nullptr);
  std::memcpy(cmdArea() + 4, saved.data, saved.data_length);
  keymaster_blob_t req{cmdArea() + 4, saved.data_length};
  keymaster_blob_t rsp{};
  int rc = sendCmd(req, &rsp);
  if (rc != 0) logFailure("secprocSetCmd", rc);
  return rc;
}

int KeymasterUtils::secprocSetConfigure() { return secprocSetCmd(kCmdConfigure, state_->saved_configure); }

int KeymasterUtils::secprocSetDeviceLocked() {
  return secprocSetCmd(kCmdDeviceLocked, state_->saved_device_locked);
}

int KeymasterUtils::secprocSetEarlyBootEnded() {
  if (!state_->early_boot_ended) return 0;
  init(kCmdEarlyBootEnded, nullptr);
  keymaster_blob_t req{cmdArea() + 4, 0};
  keymaster_blob_t rsp{};
  int rc = sendCmd(req, &rsp);
  if (rc != 0) logFailure("secprocSetEarlyBootEnded", rc);
  return rc;
}

int KeymasterUtils::save_cmd(const keymaster_blob_t* body, keymaster_blob_t& slot) {
  if (body == nullptr || (body->data == nullptr && body->data_length != 0)) {
    return KM_ERROR_UNEXPECTED_NULL_POINTER;
  }
  // A saved body is replayed at every bring-up: one the exchange refuses would fail them all.
  if (!fitsExchange(body->data_length)) return KM_ERROR_INVALID_INPUT_LENGTH;
  uint8_t* copy = nullptr;
  if (body->data_length != 0) {
    copy = static_cast<uint8_t*>(std::malloc(body->data_length));
    if (copy == nullptr) return KM_ERROR_MEMORY_ALLOCATION_FAILED;
    std::memcpy(copy, body->data, body->data_length);
  }
  std::free(const_cast<uint8_t*>(slot.data));
  slot.data = copy;
  slot.data_length = body->data_length;
  state_->initialised = 0;
  return 0;
}

int KeymasterUtils::save_configure_cmd(const keymaster_blob_t* body) {
  return save_cmd(body, state_->saved_configure);
}

int KeymasterUtils::save_device_locked(const keymaster_blob_t* body) {
  return save_cmd(body, state_->saved_device_locked);
}

int KeymasterUtils::save_early_boot_ended() {
  state_->early_boot_ended = true;
  state_->initialised = 0;
  return secproc_tz_prepare();
}

int KeymasterUtils::secproc_tz_shared_buf_init() {
  if (state_->tz_buf.allocated) return 0;
  int rc = alloc_ion_buffer(SP_ALLOC_SUBSYS_TZ, kSharedBufSize, &state_->tz_buf);
  if (rc != 0) logFailure("secproc_tz_shared_buf_init", rc);
  return rc;
}

// The process-wide instance; called with the bring-up lock held.
static KeymasterTzUtils& tzUtils() {
  if (!mKeymasterTzUtils) mKeymasterTzUtils = std::make_unique<KeymasterTzUtils>();
  return *mKeymasterTzUtils;
}

int KeymasterUtils::secproc_tz_prepare() {
  std::lock_guard<std::mutex> g(sp().bring_up);
  return tzPrepareLocked();
}

int KeymasterUtils::tzPrepareLocked() {
  vaultlink_client_handle handle;
  if (sp_km_register_client_handle(&handle) != kRegistered) {
    ALOGE("Failed to register client");
    return KM_ERROR_UNKNOWN_ERROR;
  }
  int rc = secproc_tz_shared_buf_init();
  if (rc != 0) {
    logFailure("secproc_tz_prepare", rc);
    return rc;
  }
  bool release = false;
  rc = tzUtils().tzSecProcKmPrepare(state_->tz_buf.fd, &release);
  if (release) free_ion_buffer(&state_->tz_buf);
  if (rc == 0) state_->tz_prepared = true;
  ALOGD("TZ preparation result: %d", rc);
  return rc;
}

int KeymasterUtils::secproc_tz_send_data() {
  std::lock_guard<std::mutex> g(sp().bring_up);
  return tzSendDataLocked();
}

int KeymasterUtils::tzSendDataLocked() {
  const auto start = internal::now();
  for (;;) {
    // A restart clears the flag at any moment: the hand-over is recorded only if none came
    // since the flag was read, else the restarted processor would go without the data.
    const internal::RestartMark mark = internal::restartMark();
    if (mark.tzDataHandedOver) return 0;
    int rc = 0;
    if (!state_->tz_prepared) rc = tzPrepareLocked();
    if (rc == 0) rc = tzUtils().tzSecProcKmInitData();
    if (rc == 0) {
      internal::afterHandOver();
      ALOGI("Initialized TZ-SECPROC data");
      if (!internal::setTzDataHandedOver(mark.generation)) {
        ALOGI("restarted during the TZ hand-over: handed over again by the next bring-up");
      }
      return 0;
    }
    ALOGE("Failed to initialize TZ-SECPROC data, result: %d", rc);
    internal::sleepFor(std::chrono::milliseconds(10));
    if (internal::now() - start >= std::chrono::seconds(5)) {
      ALOGE("TZ initialization timed out");
      return rc;
    }
  }
}

}  // namespace keymasterutils
