// The touch feature service object.
#include "TouchFeatureImpl.h"

#include <android/binder_manager.h>
#include <android/binder_process.h>
#include <android/log.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>

#include "TouchDevice.h"
#include "TouchReport.h"
#include "platform/paths.h"
#include "platform/properties.h"

namespace touchfeature {
namespace {

constexpr const char* kTag = "[AIDL] TouchFeatureImpl";
#define ILOGE(...) __android_log_print(ANDROID_LOG_ERROR, kTag, __VA_ARGS__)
#define ILOGI(...) __android_log_print(ANDROID_LOG_INFO, kTag, __VA_ARGS__)
#define ILOGD(...) __android_log_print(ANDROID_LOG_DEBUG, kTag, __VA_ARGS__)

constexpr int32_t kExceptionIllegal = -22;
constexpr int32_t kExceptionTooLong = -38;

std::atomic<TouchFeatureImpl*> g_service{nullptr};

::ndk::ScopedAStatus ok() { return ::ndk::ScopedAStatus::ok(); }

int32_t remapMode18(int32_t value) {
  switch (value) {
    case 0:
    case 8: return 3;
    case 16: return 4;
    case 32: return 5;
    default: return value;
  }
}

std::string readWhole(const char* path) {
  std::ifstream in(plat_path(path), std::ios::binary);
  if (!in) {
    ILOGE("failed to open file:%s ", path);
    return "";
  }
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

EventsNode::EventsNode() { __android_log_print(ANDROID_LOG_INFO, "[AIDL] TouchFeatureEvents", "%s struct", "EventsNode"); }
EventsNode::~EventsNode() {
  __android_log_print(ANDROID_LOG_INFO, "[AIDL] TouchFeatureEvents", "%s destroy", "~EventsNode");
  if (thread.joinable()) thread.join();
}

TouchFeatureImpl::TouchFeatureImpl() : mDeathRecipient(AIBinder_DeathRecipient_new(onBinderDied)) {
  ILOGD("HW TouchFeatureImpl contruct");
}

TouchFeatureImpl::~TouchFeatureImpl() {
  ILOGI("HW TouchFeatureImpl destroy");
  close_socket();
  stop_poll_thread();
  close_touch_nodes();
  touch_report_exit();
  TouchFeatureImpl* self = this;
  g_service.compare_exchange_strong(self, nullptr);
}

void TouchFeatureImpl::init() {
  g_service.store(this);
  touch_report_init(thp_update_finger_status);
  start_poll_thread([this] { mGameTurboTool.gameTurboToolCallback(); });
  mGameTurboTool.init(this);
}

void TouchFeatureImpl::thp_update_finger_status(int* status) {
  TouchFeatureImpl* service = g_service.load();
  if (service == nullptr || status == nullptr) return;
  service->sendModeToClient(0, COMMON_DATA_MODE_VSYNC_REQUEST, *status, {1}, "touchscheduler", {"touchscheduler"});
}

// ---- modes ----------------------------------------------------------------------------

::ndk::ScopedAStatus TouchFeatureImpl::setModeValue(int32_t id, int32_t mode, int32_t value, int32_t* out) {
  if (mode != 28) {
    ILOGD("setModeValue id:%d, mode:%d, value:%d", id, mode, value);
    if (mode < 0) return ::ndk::ScopedAStatus::fromExceptionCode(kExceptionIllegal);
    if (mode == COMMON_DATA_MODE_GAME || mode == COMMON_DATA_MODE_VSYNC_REQUEST) {
      setClientCtl(id, mode, value);
    } else if (mode == COMMON_DATA_MODE_DEBUG_LOG_LEVEL) {
      value = remapMode18(value);
    } else if (mode == COMMON_DATA_MODE_WATERPROOF) {
      if (value == 100) {
        *out = 0;
        return ok();
      }
      ILOGI("set persist.vendor.hostprocess.waterproof to %d", value);
      property_set("persist.vendor.hostprocess.waterproof", value == 0 ? "0" : "1");
    } else if (mode == COMMON_DATA_MODE_GLOVE) {
      ILOGI("set persist.vendor.hostprocess.glovestatus to %d", value);
      property_set("persist.vendor.hostprocess.glovestatus", value == 0 ? "0" : value == 1 ? "1" : "2");
    } else if (mode != 102 && (GameTurboTool::isGameTurboToolMode(mode) ||
                               GameTurboTool::isGameTurboToolModeCommand(mode))) {
      *out = mGameTurboTool.setModeValue(id, mode, value);
      write_abnormal_event(2, mode, value);
      return ok();
    }
  }
  *out = write_touch_device(id, mode, value);
  return ok();
}

::ndk::ScopedAStatus TouchFeatureImpl::getModeCurValue(int32_t id, int32_t mode, int32_t* out) {
  ILOGD("getModeCurValue id:%d, mode:%d", id, mode);
  *out = get_touch_device(id, COMMON_DATA_CMD_GET_CUR_VALUE, mode);
  return ok();
}

::ndk::ScopedAStatus TouchFeatureImpl::getModeDefaultValue(int32_t id, int32_t mode, int32_t* out) {
  ILOGD("getModeDefaultValue id:%d, mode:%d", id, mode);
  *out = GameTurboTool::isGameTurboToolMode(mode) ? mGameTurboTool.getModeDefaultValue(id, mode)
                                                  : get_touch_device(id, COMMON_DATA_CMD_GET_DEFAULT_VALUE, mode);
  return ok();
}

::ndk::ScopedAStatus TouchFeatureImpl::getModeMaxValue(int32_t id, int32_t mode, int32_t* out) {
  ILOGD("getModeMaxValue id:%d, mode:%d", id, mode);
  *out = get_touch_device(id, COMMON_DATA_CMD_GET_MAX_VALUE, mode);
  return ok();
}

::ndk::ScopedAStatus TouchFeatureImpl::getModeMinValue(int32_t id, int32_t mode, int32_t* out) {
  ILOGD("getModeMinValue id:%d, mode:%d", id, mode);
  *out = get_touch_device(id, COMMON_DATA_CMD_GET_MIN_VALUE, mode);
  return ok();
}

::ndk::ScopedAStatus TouchFeatureImpl::getModeValue(int32_t id, int32_t mode, std::vector<int32_t>* values) {
  ILOGD("id:%d, getModeValue:%d", id, mode);
  int32_t four[4] = {};
  get_mode_value(id, mode, four);
  ILOGD("getModeValue:%d, %d, %d, %d, %d", mode, four[0], four[1], four[2], four[3]);
  values->insert(values->end(), four, four + 4);
  return ok();
}

::ndk::ScopedAStatus TouchFeatureImpl::modeReset(int32_t id, int32_t mode, int32_t* out) {
  ILOGD("modeReset id:%d, mode:%d", id, mode);
  if (GameTurboTool::isGameTurboToolMode(mode)) {
    *out = mGameTurboTool.resetMode(id, mode);
  } else {
    *out = get_touch_device(id, COMMON_DATA_CMD_RESET_MODE, mode);
  }
  setClientCtl(id, mode, 0);
  return ok();
}

::ndk::ScopedAStatus TouchFeatureImpl::setModeLongValue(int32_t id, int32_t mode, int32_t count,
                                                        const std::vector<int32_t>& values, int32_t* out) {
  if (count >= COMMON_DATA_VALUE_COUNT || count < 0) {
    ILOGE("id:%d, mode value is too long or illegal:%d", id, count);
    return ::ndk::ScopedAStatus::fromExceptionCode(kExceptionTooLong);
  }
  uint32_t buffer[COMMON_DATA_VALUE_COUNT] = {};
  const size_t n = std::min(static_cast<size_t>(count), values.size());
  for (size_t i = 0; i < n; ++i) buffer[i] = static_cast<uint32_t>(values[i]);
  if (mode == COMMON_DATA_MODE_STYLUS_PRESSURE) {
    *out = send_stylus_pressure_to_thp(id, count, buffer);
  } else {
    *out = tamrel_touch_ioctl(id, COMMON_DATA_CMD_SET_LONG_VALUE, mode, count, buffer);
  }
  return ok();
}

::ndk::ScopedAStatus TouchFeatureImpl::getModeCurValueString(int32_t id, int32_t mode, std::string* out) {
  if (id < 0 || id >= kMaxTouchId) {
    ILOGE("error touch id %d, max touch id is %d", id, kMaxTouchId);
    return ::ndk::ScopedAStatus::fromServiceSpecificError(-1);
  }
  if (touch_node(id) < 0) return ::ndk::ScopedAStatus::fromServiceSpecificError(-1);
  common_data block;
  memset(&block, 0, sizeof block);
  block.touch_id = static_cast<uint8_t>(id);
  block.cmd = COMMON_DATA_CMD_GET_CUR_VALUE;
  block.mode = static_cast<uint16_t>(mode);
  int pass = 1;
  send_to_thp(id, &block, &pass);
  if (GameTurboTool::isGameTurboToolMode(mode)) {
    *out = mGameTurboTool.getModeList();
  } else if (pass == 0) {
    const char* text = reinterpret_cast<const char*>(block.values);
    *out = std::string(text, strnlen(text, sizeof block.values));
  } else {
    // The host has seen this block already: it goes to the driver alone, not through the
    // command path, which would offer the host a second one.
    if (driver_common_data(id, &block) < 0 && block.values[0] == 0) {
      return ::ndk::ScopedAStatus::fromServiceSpecificError(-1);
    }
    *out = std::to_string(static_cast<int32_t>(block.values[0]));
  }
  return ok();
}

::ndk::ScopedAStatus TouchFeatureImpl::getModeWhiteList(int32_t, const std::vector<int32_t>& modes, std::string* out) {
  const int32_t mode = modes.empty() ? -1 : modes[0];
  ILOGD("getModeWhiteList mode: %d", mode);
  if (mode == COMMON_DATA_MODE_VSYNC_REQUEST) {
    *out = readWhole(kDynamicRateFile);
  } else if (mode == COMMON_DATA_MODE_GAME_TURBO_WHITE_LIST) {
    *out = GameTurboTool::readJsonConfigFile();
  }
  ILOGD("%s", out->c_str());
  return ok();
}

::ndk::ScopedAStatus TouchFeatureImpl::setModePackageName(int32_t id, int32_t mode, const std::string& text,
                                                          std::string* out) {
  if (mode == COMMON_DATA_MODE_STYLUS_FW_VERSION) {
    send_stylus_fw_version_to_thp(id, static_cast<int>(text.size()) + 1, text.c_str());
  } else {
    mGameTurboTool.setPackageLevel(id, mode, text);
  }
  *out = text;
  ILOGD("%s", out->c_str());
  return ok();
}

::ndk::ScopedAStatus TouchFeatureImpl::getTouchEvent(std::string* out) {
  const int rc = read_touch_events(out);
  if (rc != 0) return ::ndk::ScopedAStatus::fromServiceSpecificError(rc);
  return ok();
}

// ---- clients --------------------------------------------------------------------------

::ndk::ScopedAStatus TouchFeatureImpl::registerCallback(int32_t, const std::shared_ptr<ITouchFeatureCallback>& callback,
                                                        const std::string& name, int32_t* out) {
  std::lock_guard<std::mutex> guard(mClientLock);
  auto old = mClients.find(name);
  if (old != mClients.end()) {
    AIBinder_unlinkToDeath(old->second->asBinder().get(), mDeathRecipient.get(), this);
    mClients.erase(old);
  }
  if (callback == nullptr) {
    ILOGE("cb is nullptr");
  } else {
    mClients[name] = callback;
    ILOGI("Client %s Connected", name.c_str());
    AIBinder_linkToDeath(callback->asBinder().get(), mDeathRecipient.get(), this);
  }
  *out = 0;
  return ok();
}

::ndk::ScopedAStatus TouchFeatureImpl::unregisterCallback(int32_t, const std::shared_ptr<ITouchFeatureCallback>& callback,
                                                          const std::string& name, int32_t* out) {
  std::lock_guard<std::mutex> guard(mClientLock);
  ILOGI("Client %s Disconnect", name.c_str());
  if (callback == nullptr) {
    ILOGE("cb is nullptr");
  } else if (auto it = mClients.find(name); it != mClients.end()) {
    AIBinder_unlinkToDeath(it->second->asBinder().get(), mDeathRecipient.get(), this);
    mClients.erase(it);
  } else {
    ILOGE("cb is empty or %s not exist in cb", name.c_str());
  }
  *out = 0;
  return ok();
}

void TouchFeatureImpl::onBinderDied(void* cookie) {
  ILOGI("Binder Died.");
  if (cookie != nullptr) static_cast<TouchFeatureImpl*>(cookie)->onServiceDied();
}

void TouchFeatureImpl::onServiceDied() {
  std::lock_guard<std::mutex> guard(mClientLock);
  for (auto it = mClients.begin(); it != mClients.end();) {
    if (!AIBinder_isAlive(it->second->asBinder().get())) {
      ILOGI("Client %s Died", it->first.c_str());
      it = mClients.erase(it);
    } else {
      ++it;
    }
  }
}

size_t TouchFeatureImpl::clientCount() {
  std::lock_guard<std::mutex> guard(mClientLock);
  return mClients.size();
}

void TouchFeatureImpl::sendModeToClient(int32_t id, int32_t mode, int32_t value, const std::vector<int32_t>& values,
                                        const std::string& name, const std::vector<std::string>& names) {
  // The callbacks run outside the client lock: a client that registers or unregisters from
  // inside its callback must not deadlock the service.
  std::vector<std::pair<std::string, std::shared_ptr<ITouchFeatureCallback>>> targets;
  {
    std::lock_guard<std::mutex> guard(mClientLock);
    for (const auto& [client, callback] : mClients)
      if (name == "ALL" || client == name) targets.emplace_back(client, callback);
  }
  for (const auto& [client, callback] : targets) {
    ILOGD("sendMode to Client %s, Mode: %d, value: %d", client.c_str(), mode, value);
    int32_t result = 0;
    callback->onModeChanged(id, mode, value, values, names, &result);
  }
}

void TouchFeatureImpl::setClientCtl(int32_t id, int32_t mode, int32_t value) {
  if (mode == COMMON_DATA_MODE_VSYNC_REQUEST && value == 0) sendModeToClient(id, mode, 0, {1}, "touchscheduler", {});
}

int runTouchFeatureService() {
  ABinderProcess_setThreadPoolMaxThreadCount(10);
  std::shared_ptr<TouchFeatureImpl> service = ::ndk::SharedRefBase::make<TouchFeatureImpl>();
  if (service == nullptr) {
    __android_log_print(ANDROID_LOG_ERROR, "touchfeature-service", "Create TouchFeatureImpl FAILED!");
    return 1;
  }
  service->init();
  const std::string instance = std::string(TouchFeatureImpl::descriptor) + "/default";
  const binder_exception_t status = AServiceManager_addService(service->asBinder().get(), instance.c_str());
  __android_log_print(ANDROID_LOG_INFO, "touchfeature-service", "Add TouchFeatureImpl Service!");
  if (status != EX_NONE) {
    __android_log_print(ANDROID_LOG_FATAL, "touchfeature-service", "Check failed: status == STATUS_OK");
    abort();
  }
  ABinderProcess_startThreadPool();
  __android_log_print(ANDROID_LOG_INFO, "touchfeature-service", "this project do not use sensor service");
  ABinderProcess_joinThreadPool();
  return 0;
}

}  // namespace touchfeature
