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

RestartMark restartMark() {
  std::lock_guard<std::mutex> g(sp().lock);
  return RestartMark{sp().after_ssr, sp().tz_data_initialized, sp().restart_generation};
}

bool clearAfterRestart(uint64_t generation) {
  std::lock_guard<std::mutex> g(sp().lock);
  if (sp().restart_generation != generation) return false;
  sp().after_ssr = false;
  return true;
}

bool setTzDataHandedOver(uint64_t generation) {
  std::lock_guard<std::mutex> g(sp().lock);
  if (sp().restart_generation != generation) return false;
  sp().tz_data_initialized = true;
  return true;
}

namespace {
std::mutex gClockLock;
testing::Clock gClock;
std::function<void()> gAfterHandOver;  // under gClockLock
}  // namespace

void afterHandOver() {
  std::function<void()> fn;
  {
    std::lock_guard<std::mutex> g(gClockLock);
    fn = gAfterHandOver;
  }
  if (fn) fn();
}

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

void setAfterHandOver(std::function<void()> fn) {
  std::lock_guard<std::mutex> g(internal::gClockLock);
  internal::gAfterHandOver = std::move(fn);
}

void resetProcessState() {
  internal::RegistrationRef registration;
  {
    std::lock_guard<std::mutex> g(internal::sp().lock);
    registration = std::move(internal::sp().client);
    internal::sp().client_connected = false;
    internal::sp().after_ssr = false;
    internal::sp().tz_data_initialized = false;
  }
}

}  // namespace keymasterutils::testing

using keymasterutils::internal::Registration;
using keymasterutils::internal::RegistrationRef;
using keymasterutils::internal::sleepFor;
using keymasterutils::internal::sp;
using keymasterutils::kChannelName;
using keymasterutils::kRegistered;

namespace {
constexpr int kPollRounds = 100;
constexpr std::chrono::milliseconds kPollInterval{10};
constexpr int kSpErrNotConnected = -108;

// A new registration of the process on the channel, not yet the process's; null on failure.
RegistrationRef registerClient() {
  int rc = vaultlink_create_shareable_channel(kChannelName);
  if (rc != 0) {
    ALOGE("vaultlink_create_shareable_channel failed. ret = %d", rc);
  } else {
    vaultlink_client_reg reg{kChannelName, ssr_cb};
    if (vaultlink_client_handle h = vaultlink_register_client(&reg); h != nullptr) {
      return std::make_shared<Registration>(h);
    }
  }
  ALOGE("sp_ext_msg_register_client() failed, returned null");
  return nullptr;
}

// Polls until the server side of `registration` is connected (bounded).
bool waitForServer(const RegistrationRef& registration) {
  ALOGI("Wait for ch [%s] connection.", kChannelName);
  const vaultlink_client_handle handle = registration != nullptr ? registration->handle() : nullptr;
  bool connected = false;
  int attempts = 0;
  while (attempts < kPollRounds && !connected) {
    connected = vaultlink_client_is_server_connected(handle);
    attempts++;
    sleepFor(kPollInterval);
  }
  if (connected) {
    ALOGI("ch [%s] is connected in [%d] attempts.", kChannelName, attempts);
  } else {
    ALOGE("ch [%s] is NOT connected.", kChannelName);
  }
  return connected;
}

}  // namespace

namespace keymasterutils::internal {

Registration::~Registration() {
  if (vaultlink_unregister_client(handle_) != 0) {
    ALOGE("sp_ext_msg_unregister_client() failed. ret [%d]", -2);
  }
}

RegistrationRef currentRegistration() {
  std::lock_guard<std::mutex> g(sp().lock);
  return sp().client;
}

void dropRegistration(const RegistrationRef& used) {
  RegistrationRef dropped;
  {
    std::lock_guard<std::mutex> g(sp().lock);
    if (sp().client != used) return;
    dropped = std::move(sp().client);
    sp().client_connected = false;
  }
}

namespace {
// A new registration put in place of the process's current one, or of `used` only (when
// given) if that still is the process's. False when none could be made; nothing changed.
bool putNewRegistration(const RegistrationRef* used) {
  RegistrationRef fresh = registerClient();
  if (fresh == nullptr) return false;
  const bool connected = waitForServer(fresh);
  RegistrationRef old;  // unregistered outside the lock, or by the last exchange on it
  std::lock_guard<std::mutex> g(sp().lock);
  // Replaced meanwhile (a restart, another object's time-out): the newer one stays, and
  // `fresh` ends when this returns, after the lock is released.
  if (used != nullptr && sp().client != *used) return true;
  old = std::move(sp().client);
  sp().client = std::move(fresh);
  sp().client_connected = connected;
  return true;
}
}  // namespace

void renewRegistration() {
  // Nothing to put in its place: the old one goes as it always did, and the next step of
  // the bring-up tries to register again.
  if (!putNewRegistration(nullptr)) sp_exit();
}

void replaceRegistration(const RegistrationRef& used) {
  // Without a new one the old one stays: other objects' exchanges go on on it.
  putNewRegistration(&used);
}

}  // namespace keymasterutils::internal

extern "C" int sp_km_register_client_handle(vaultlink_client_handle* handle) {
  {
    std::lock_guard<std::mutex> g(sp().lock);
    if (sp().client != nullptr) {
      if (handle != nullptr) *handle = sp().client->handle();
      ALOGD("Already registered ch [%s].", kChannelName);
      return kRegistered;
    }
  }
  RegistrationRef fresh = registerClient();
  if (fresh == nullptr) return kSpErrNotConnected;
  vaultlink_client_handle h;
  {
    std::lock_guard<std::mutex> g(sp().lock);
    // Another thread may have registered meanwhile: keep one registration (the extra one
    // ends when `fresh` goes, outside the lock).
    if (sp().client == nullptr) sp().client = fresh;
    h = sp().client->handle();
  }
  if (handle != nullptr) *handle = h;
  return kRegistered;
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
    RegistrationRef registration = keymasterutils::internal::currentRegistration();
    if (registration == nullptr) {
      vaultlink_client_handle handle;
      int rc = sp_km_register_client_handle(&handle);
      if (rc != kRegistered) {
        ALOGE("sp_init failed with ret: %d", rc);
        reported = true;
      }
      registration = keymasterutils::internal::currentRegistration();
    }
    if (!reported && waitForServer(registration)) {
      std::lock_guard<std::mutex> g(sp().lock);
      if (sp().client == registration) sp().client_connected = true;
      return 0;
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
  RegistrationRef dropped;
  {
    std::lock_guard<std::mutex> g(sp().lock);
    dropped = std::move(sp().client);
    sp().client_connected = false;
  }
  // Unregistered here, or by the last exchange still running on it.
  if (dropped == nullptr) ALOGD("Already unregistered");
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
  bool unregistered = false;
  return keymasterutils::internal::sendMessage(req_len, rsp_len, buf_size, table, &unregistered);
}

int keymasterutils::internal::sendMessage(uint32_t req_len, uint32_t* rsp_len, uint32_t buf_size,
                                          vaultlink_ion_info_table* table, bool* unregistered) {
  *unregistered = false;
  if (table == nullptr) {
    ALOGE("ionTable is NULL");
    return -3;
  }
  // Held until this exchange is done: a registration given up meanwhile stays registered
  // under it, and a failure here gives up only this one.
  const RegistrationRef registration = keymasterutils::internal::currentRegistration();
  if (registration == nullptr) {
    // Given up by another object's failed exchange or bring-up: nothing of this object's is
    // wrong, and its next bring-up registers again.
    ALOGE("ch [%s] has no registration", kChannelName);
    *unregistered = true;
    return -3;
  }
  const vaultlink_client_handle handle = registration->handle();
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
    keymasterutils::internal::dropRegistration(registration);
    return -3;
  }
  ALOGD("Sanity check ok , ch [%s].", kChannelName);
  if (req_len >= 0xFFFF) {
    ALOGE("req too big");
    keymasterutils::internal::dropRegistration(registration);
    return -1;
  }
  keymasterutils::sp_msg_request req{0, static_cast<uint16_t>(req_len), UINT64_MAX, buf_size};
  keymasterutils::sp_msg_reply reply{};
  int rc = vaultlink_client_send_modified_command(handle, &req, sizeof req, &reply, sizeof reply,
                                                  table, keymasterutils::kWaitMs);
  if (rc < 0) {
    ALOGE("vaultlink_client_send_modified_command failed ret: %d", rc);
    if (rc == -110) {
      // Other objects may be exchanging on this registration: it is replaced, never given up
      // under them (they would find none).
      keymasterutils::internal::replaceRegistration(registration);
      return -4;
    }
    keymasterutils::internal::dropRegistration(registration);
    return -2;
  }
  if (reply.rsp_type == keymasterutils::kRspTypeSuccess) {
    ALOGD("%s: rsp_hdr->msg_len: %u", "sp_ext_msg_client_send_message", reply.msg_len);
    if (rsp_len != nullptr) *rsp_len = reply.msg_len;
    return 0;
  }
  ALOGE("Invalid response rsp_hdr->rsp_type: %u rsp_hdr->ret: %d", reply.rsp_type, reply.ret);
  if (reply.ret != 0) {
    keymasterutils::internal::dropRegistration(registration);
    return reply.ret;
  }
  return 0;
}
