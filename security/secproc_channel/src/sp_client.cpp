// The process's client of the channel "sp_keymaster": registration with the restart
// callback, the connection wait, the flags a restart sets, and one message exchange.
#define LOG_TAG "SecProcKeymasterUtils"

#include "sp_client.h"

#include <log/log.h>

#include <thread>

#include "KeymasterUtils.h"
#include "secproc_channel_test.h"

namespace keymasterutils::internal {

SpState& sp() {
  static SpState* state = new SpState;
  return *state;
}

uint64_t restartGeneration() {
  std::lock_guard<std::mutex> g(sp().lock);
  return sp().restart_generation;
}

namespace {
std::mutex gClockLock;
testing::Clock gClock;
}  // namespace

std::chrono::steady_clock::time_point now() {
  std::function<std::chrono::steady_clock::time_point()> fn;
  {
    std::lock_guard<std::mutex> g(gClockLock);
    fn = gClock.now;
  }
  return fn ? fn() : std::chrono::steady_clock::now();
}

void sleepFor(std::chrono::milliseconds ms) {
  std::function<void(std::chrono::milliseconds)> fn;
  {
    std::lock_guard<std::mutex> g(gClockLock);
    fn = gClock.sleep;
  }
  if (fn) {
    fn(ms);
  } else {
    std::this_thread::sleep_for(ms);
  }
}

}  // namespace keymasterutils::internal

namespace keymasterutils::testing {

void setClock(Clock clock) {
  std::lock_guard<std::mutex> g(internal::gClockLock);
  internal::gClock = std::move(clock);
}

void resetProcessState() {
  vaultlink_client_handle handle;
  {
    std::lock_guard<std::mutex> g(internal::sp().lock);
    handle = internal::sp().client_handle;
    internal::sp().client_handle = nullptr;
    internal::sp().client_connected = false;
    internal::sp().after_ssr = false;
    internal::sp().tz_data_initialized = false;
  }
  if (handle != nullptr) vaultlink_unregister_client(handle);
}

}  // namespace keymasterutils::testing

using keymasterutils::internal::sleepFor;
using keymasterutils::internal::sp;
using keymasterutils::kChannelName;
using keymasterutils::kRegistered;

namespace {
constexpr int kPollRounds = 100;
constexpr std::chrono::milliseconds kPollInterval{10};
constexpr int kSpErrNotConnected = -108;
}  // namespace

extern "C" int sp_km_register_client_handle(vaultlink_client_handle* handle) {
  {
    std::lock_guard<std::mutex> g(sp().lock);
    if (sp().client_handle != nullptr) {
      if (handle != nullptr) *handle = sp().client_handle;
      ALOGD("Already registered ch [%s].", kChannelName);
      return kRegistered;
    }
  }
  int rc = vaultlink_create_shareable_channel(kChannelName);
  if (rc != 0) {
    ALOGE("vaultlink_create_shareable_channel failed. ret = %d", rc);
  } else {
    vaultlink_client_reg reg{kChannelName, ssr_cb};
    vaultlink_client_handle h = vaultlink_register_client(&reg);
    if (h != nullptr) {
      vaultlink_client_handle extra = nullptr;
      {
        std::lock_guard<std::mutex> g(sp().lock);
        // Another thread may have registered meanwhile: keep one registration.
        if (sp().client_handle == nullptr) {
          sp().client_handle = h;
        } else {
          extra = h;
          h = sp().client_handle;
        }
      }
      if (extra != nullptr) vaultlink_unregister_client(extra);
      if (handle != nullptr) *handle = h;
      return kRegistered;
    }
  }
  ALOGE("sp_ext_msg_register_client() failed, returned null");
  return kSpErrNotConnected;
}

extern "C" int sp_init_client(void) {
  {
    std::lock_guard<std::mutex> g(sp().lock);
    if (sp().client_connected) return 0;
  }
  ALOGI("=== SP Keymaster Lib version 1.0 25-April-2017 ===");
  bool reported = false;
  int attempts = 0;
  bool up = false;
  while (attempts < kPollRounds && !up) {
    up = vaultlink_is_sp_subsystem_link_up();
    attempts++;
    sleepFor(kPollInterval);
  }
  if (!up) {
    ALOGE("communication LINK is DOWN.");
  } else {
    ALOGI("LINK is UP in [%d] attempts.", attempts);
    vaultlink_client_handle handle;
    {
      std::lock_guard<std::mutex> g(sp().lock);
      handle = sp().client_handle;
    }
    if (handle == nullptr) {
      int rc = sp_km_register_client_handle(&handle);
      if (rc != kRegistered) {
        ALOGE("sp_init failed with ret: %d", rc);
        reported = true;
      }
    }
    if (!reported) {
      ALOGI("Wait for ch [%s] connection.", kChannelName);
      bool connected = false;
      attempts = 0;
      while (attempts < kPollRounds && !connected) {
        connected = vaultlink_client_is_server_connected(handle);
        attempts++;
        sleepFor(kPollInterval);
      }
      if (connected) {
        ALOGI("ch [%s] is connected in [%d] attempts.", kChannelName, attempts);
        std::lock_guard<std::mutex> g(sp().lock);
        sp().client_connected = true;
        return 0;
      }
      ALOGE("ch [%s] is NOT connected.", kChannelName);
    }
  }
  if (!reported) ALOGE("sp_init failed with ret: %d", kSpErrNotConnected);
  ALOGE("error during sp_init ret = %d", KM_ERROR_SECURE_HW_COMMUNICATION_FAILED);
  return -3;
}

extern "C" int sp_register_client(void) {
  vaultlink_client_handle handle;
  return sp_km_register_client_handle(&handle) == kRegistered ? 0 : -3;
}

extern "C" void sp_exit(void) {
  vaultlink_client_handle handle;
  {
    std::lock_guard<std::mutex> g(sp().lock);
    handle = sp().client_handle;
    sp().client_connected = false;
  }
  if (handle == nullptr) {
    ALOGD("Already unregistered");
    return;
  }
  if (vaultlink_unregister_client(handle) != 0) {
    ALOGE("sp_ext_msg_unregister_client() failed. ret [%d]", -2);
  }
  std::lock_guard<std::mutex> g(sp().lock);
  if (sp().client_handle == handle) sp().client_handle = nullptr;
}

extern "C" int sp_deinit_client(void) {
  sp_exit();
  return 0;
}

extern "C" void ssr_cb(void) {
  std::lock_guard<std::mutex> g(sp().lock);
  sp().after_ssr = true;
  sp().tz_data_initialized = false;
  sp().restart_generation++;
}

extern "C" bool is_after_ssr(void) {
  std::lock_guard<std::mutex> g(sp().lock);
  return sp().after_ssr;
}

extern "C" void disable_is_after_ssr_flag(void) {
  std::lock_guard<std::mutex> g(sp().lock);
  sp().after_ssr = false;
}

extern "C" bool is_secproc_tz_data_initialized(void) {
  std::lock_guard<std::mutex> g(sp().lock);
  return sp().tz_data_initialized;
}

extern "C" void set_secproc_tz_data_initialized(bool value) {
  std::lock_guard<std::mutex> g(sp().lock);
  sp().tz_data_initialized = value;
}

extern "C" int sp_ext_msg_client_send_message(uint32_t req_len, uint32_t* rsp_len,
                                              uint32_t buf_size,
                                              vaultlink_ion_info_table* table) {
  if (table == nullptr) {
    ALOGE("ionTable is NULL");
    return -3;
  }
  vaultlink_client_handle handle;
  {
    std::lock_guard<std::mutex> g(sp().lock);
    handle = sp().client_handle;
  }
  bool sane = true;
  if (!vaultlink_is_sp_subsystem_link_up()) {
    ALOGE("communication LINK is DOWN.");
    sane = false;
  } else if (!vaultlink_client_is_server_connected(handle)) {
    ALOGE("ch [%s] is NOT connected.", kChannelName);
    sane = false;
  }
  if (!sane) {
    ALOGE("error during sp_km_sanity_check ret = %d", kSpErrNotConnected);
    sp_exit();
    return -3;
  }
  ALOGD("Sanity check ok , ch [%s].", kChannelName);
  if (req_len >= 0xFFFF) {
    ALOGE("req too big");
    sp_exit();
    return -1;
  }
  keymasterutils::sp_msg_request req{0, static_cast<uint16_t>(req_len), UINT64_MAX, buf_size};
  keymasterutils::sp_msg_reply reply{};
  int rc = vaultlink_client_send_modified_command(handle, &req, sizeof req, &reply, sizeof reply,
                                                  table, keymasterutils::kWaitMs);
  if (rc < 0) {
    ALOGE("vaultlink_client_send_modified_command failed ret: %d", rc);
    int ret = rc == -110 ? -4 : -2;
    sp_exit();
    return ret;
  }
  if (reply.rsp_type == keymasterutils::kRspTypeSuccess) {
    ALOGD("%s: rsp_hdr->msg_len: %u", "sp_ext_msg_client_send_message", reply.msg_len);
    if (rsp_len != nullptr) *rsp_len = reply.msg_len;
    return 0;
  }
  ALOGE("Invalid response rsp_hdr->rsp_type: %u rsp_hdr->ret: %d", reply.rsp_type, reply.ret);
  if (reply.ret != 0) {
    sp_exit();
    return reply.ret;
  }
  return 0;
}
